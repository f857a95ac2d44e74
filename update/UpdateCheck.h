// The update check both programs run: connected state, the manifest's single first read, the
// product's entry and the version rule.
//
// Thread rules: checkForUpdate() and newVersionAvailable() block for as long as the network
// takes (bounded by a time-out) and touch no window and no shared state, so call them from a
// worker thread; they may run while the program quits. updateHost() reads the deployment
// settings file on each call and may be called from any thread.
#pragma once

#include "update/Manifest.h"

#include <atomic>
#include <string>

namespace update {

// Product keys of the manifest.
inline constexpr const char* kRecoveryProductKey = "Kestrova";
inline constexpr const char* kUpdaterProductKey = "Palomine";
// Kestrova's question when the manifest names another version.
inline constexpr const char* kUpdatePrompt = "New version found,are you sure to Update?";
// The window message Kestrova's check sends when an update is available (WM_USER + 112),
// carried as a Qt event of type QEvent::User + kUpdateAvailableMessage.
inline constexpr int kUpdateAvailableMessage = 112;
// The updater's file name in the program folder.
inline constexpr const char* kUpdaterProgram = "Fresnaro";

// The update host, host or host:port: the environment variable KAVRI_UPDATE_HOST when set
// (for automated runs), else "update_host" in section "Deploy" of deploy.ini in the program
// folder, else the build's default (CMake cache variable KESTROVA_UPDATE_HOST). Tests must set
// one of the first two to a loopback server, so that no test reaches beyond this machine.
std::string updateHost();

enum class CheckStatus {
    Offline,         // no connection configured
    OpenFailed,      // the manifest address could not be opened (or answered with an error)
    ReadFailed,      // the first read failed or was empty
    UpToDate,        // the newest version equals the installed one
    UpdateAvailable, // they differ
};

struct CheckResult {
    CheckStatus status = CheckStatus::Offline;
    int connectionFlags = 0; // the connection-state flags, for the offline message
    ManifestEntry entry;     // filled when the manifest was read
};

// One check against the manifest on `hostAndPort`. Setting `*cancel` ends a check that waits
// for the network within about a second (then OpenFailed).
CheckResult checkForUpdate(const std::string& productKey, const std::string& installedVersion,
                           const std::string& hostAndPort,
                           const std::atomic<bool>* cancel = nullptr);

// Kestrova's decision: true only when the manifest could be read and its "Kestrova" entry names
// another version than `installedVersion`. Silent: every failure, a cancel included, gives false.
bool newVersionAvailable(const std::string& installedVersion,
                         const std::string& hostAndPort = updateHost(),
                         const std::atomic<bool>* cancel = nullptr);

// The updater's full path: the program folder + "/" + kUpdaterProgram.
std::string updaterPath();

} // namespace update
