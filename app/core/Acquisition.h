// Copies the phone's contacts database with the bridge client `adb_help` of the program
// folder: after an initial pause, two shell commands make the contacts and telephony
// databases readable, and a pull copies contacts2.db into the copy folder. The outcome is
// judged by whether a copy exists afterwards.
//
// The bridge client has no time-out of its own and, ended mid-transfer, leaves a partial
// file behind. So every command is ended once it makes no progress for the idle limit (a
// pull whose file still grows is progressing), and the pull writes to a temporary name that
// becomes contacts2.db only when the client exits with success: a pull that fails or has to
// be ended leaves no copy.
//
// Thread rules: run() blocks its thread (the acquisition worker); cancel() may be called
// from any thread and makes a running run() end its pause or command at once.
#pragma once

#include "ManualResetEvent.h"
#include "Process.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace core {

inline constexpr const char* kContactsDbOnPhone =
    "/data/data/com.android.providers.contacts/databases/contacts2.db";
inline constexpr const char* kMessagesDbOnPhone =
    "/data/data/com.android.providers.telephony/databases/mmssms.db";

// The per-user copy folder: $XDG_CACHE_HOME/Kavri, or ~/.cache/Kavri.
std::string defaultCopyFolder();

struct AcquisitionConfig {
    std::string programFolder; // holds adb_help
    std::string copyFolder;    // receives contacts2.db (and is where mmssms.db is looked for)
    // The bridge client's environment (ADB_SERVER_SOCKET, HOME, ...); none: the program's.
    std::optional<std::vector<std::string>> environment;
    int initialDelayMs = 5000;
    int commandIdleLimitMs = 3000;
};

class Acquisition {
public:
    explicit Acquisition(AcquisitionConfig config);

    std::string contactCopyPath() const { return config_.copyFolder + "/contacts2.db"; }
    std::string messageCopyPath() const { return config_.copyFolder + "/mmssms.db"; }
    std::string bridgeProgram() const { return config_.programFolder + "/adb_help"; }
    // Where the pull writes before the copy is known to be whole.
    std::string partialCopyPath() const { return contactCopyPath() + ".part"; }

    // The three command lines as argument vectors, in the order they run.
    std::vector<std::vector<std::string>> commandLines() const;

    // Pauses, runs the three commands in order (each result ignored but the pull's) and
    // returns whether a copy exists afterwards. Ends early, with no new copy, when cancelled.
    bool run();
    void cancel();
    // Whether either copy exists.
    bool copyExists() const;

    // What each command did in the last run, in order (fewer when cancelled).
    const std::vector<osplat::ProcessResult>& lastResults() const { return results_; }

private:
    AcquisitionConfig config_;
    std::atomic<int> cancelled_{0};
    osplat::ManualResetEvent cancelEvent_;
    std::vector<osplat::ProcessResult> results_;
};

} // namespace core
