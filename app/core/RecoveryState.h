// The state the main window keeps for one recovery: the record model, the copy paths, the
// worker controls shared with the window, and the one worker thread (acquisition, scan or
// export) it may run at a time. The window owns one object for its whole life.
//
// Thread rules:
// - Every member function is to be called on the window's thread, except those marked
//   "worker thread", which the running worker calls itself (tests may call them directly
//   while no worker runs).
// - While a worker runs, the window's thread only reads the counters, changes resumeEvent
//   and stopRequested, and reads loadState/workerRunning; it does not change the model.
// - Workers report through the WorkerReporter given at their start; the reporter must stay
//   alive until the worker is joined.
// - A worker's done message is its last act. The window calls joinWorker() in its handler
//   of that message; stopAndJoin() (at close) releases a paused worker, asks it to stop,
//   ends a running bridge command and joins. No worker outlives this object.
#pragma once

#include "Acquisition.h"
#include "ManualResetEvent.h"
#include "RecordModel.h"
#include "WorkerReporter.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace core {

enum class ScanMode { Counting, Main };

// The contacts category's text before a scan has processed records.
inline constexpr const char* kContactsCategory = "Contacts";
// The separator line of the export between live and recovered contacts (66 hyphens).
inline constexpr const char* kExportSeparator =
    "------------------------------------------------------------------";

// The export root for a folder picked at `when` (local time): picked + "/Kestrova" + the
// time stamp "%Y%m%d%H%M%S".
std::string exportRootFor(const std::string& picked, std::time_t when);

// The export's folder label: the category text as it is when the category is wholly ticked;
// otherwise the text from its first "(" on is replaced by "(N)" with the ticked count (and
// "(N)" is appended to a text without "(").
std::string exportLabel(const std::string& categoryText, bool whollyTicked, int ticked);

class RecoveryState : public RecordModel {
public:
    // `copyFolder`: where the database copies go (created when missing); empty: the per-user
    // copy folder. `programFolder`: where adb_help and the contacts reader lie.
    RecoveryState(std::string copyFolder, std::string programFolder);
    ~RecoveryState();

    const std::string& copyFolder() const { return copyFolder_; }
    const std::string& programFolder() const { return programFolder_; }
    std::string contactCopyPath() const { return copyFolder_ + "/contacts2.db"; }
    std::string messageCopyPath() const { return copyFolder_ + "/mmssms.db"; }
    // Whether either copy exists (the acquisition's success test).
    bool copyExists() const;
    // Deletes both copies, ignoring errors.
    void deleteCopies() const;

    // Settings, changed only while no worker runs.
    // The bridge client's environment; none: the program's own.
    void setChildEnvironment(std::optional<std::vector<std::string>> env);
    void setCommandIdleLimitMs(int ms) { commandIdleLimitMs_ = ms; }
    // The contacts reader; by default the entry of libostrany.so in the program folder,
    // loaded when first needed. A missing library reads as a reader that finds nothing.
    void setReader(OstranyReadFn reader);

    // Shared with the window (see the thread rules above).
    osplat::ManualResetEvent resumeEvent; // set = a worker may go on; reset = paused
    std::atomic<int> stopRequested{0};    // 1 = stop at the next check
    std::atomic<bool> workerRunning{false};
    std::atomic<int> loadState{-1}; // -1 loading, 0 failed, 1 loaded
    std::atomic<int> scanTotal{0};
    std::atomic<int> processedCount{0};
    std::atomic<int> exportTotal{0};

    // The contacts category as the scan left it.
    std::string categoryText() const;
    bool categoryHasData() const { return categoryHasData_.load() != 0; }
    // Back to "Contacts" without data (going back; every acquisition start does it too).
    void resetCategory();

    // Workers. Each start returns false, starting nothing, while another worker runs.
    // The acquisition: pauses `initialDelayMs`, runs the bridge commands, posts
    // AcquisitionDoneMessage (1, 0). It sets loadState to -1 and resets the category.
    bool startAcquisition(WorkerReporter& reporter, int initialDelayMs = 5000);
    // The two engine runs on the copies (contacts, then messages), on the calling thread;
    // fills contactResultText and messageResultText.
    void runEngines();
    // The scan: clears stopRequested, sets resumeEvent and starts scanThread.
    bool startScan(WorkerReporter& reporter);
    // The export of the ticked records into `exportRoot` (created when missing): clears
    // stopRequested, sets resumeEvent and starts the export worker. The category counts as
    // wholly ticked when `whollyTicked` says so, or, when not given, when every record is.
    bool startExport(WorkerReporter& reporter, const std::string& exportRoot,
                     std::optional<bool> whollyTicked = std::nullopt);
    // Joins a finished (or finishing) worker and clears workerRunning.
    void joinWorker();
    // Releases a paused worker, asks it to stop, ends a running bridge command and joins.
    void stopAndJoin();

    // Worker thread: the bodies of the scan and export workers.
    void scanThread(WorkerReporter& reporter);
    // Returns the count, or -1 when stopped.
    int scanPass(ScanMode mode, WorkerReporter& reporter);
    // Returns the ticked count, or -1 when stopped.
    int exportContacts(WorkerReporter& reporter, const std::string& exportRoot, bool whollyTicked);
    // Lines of the last export that could not be written.
    int exportLinesLost() const { return exportLinesLost_.load(); }
    // Where the last export wrote its contacts file.
    std::string lastExportFile() const;

    // The acquisition of the running or last acquisition worker; for tests.
    const Acquisition* lastAcquisition() const { return acquisition_.get(); }

private:
    bool startWorker(std::function<void()> body);
    bool whollyTicked() const;
    void callReader();
    void moveProgress(WorkerReporter& reporter, int total);
    void setCategory(WorkerReporter& reporter, int count);

    std::string copyFolder_;
    std::string programFolder_;
    std::optional<std::vector<std::string>> childEnvironment_;
    int commandIdleLimitMs_ = 3000;
    OstranyReadFn reader_ = nullptr;
    bool readerLoaded_ = false;

    std::thread worker_;
    std::unique_ptr<Acquisition> acquisition_;
    int lastProgress_ = -1;

    mutable std::mutex categoryMutex_;
    std::string categoryText_ = kContactsCategory;
    std::atomic<int> categoryHasData_{0};

    std::atomic<int> exportLinesLost_{0};
    mutable std::mutex exportFileMutex_;
    std::string lastExportFile_;
};

} // namespace core
