#include "update/UpdateCheck.h"

#include "net/Internet.h"

namespace update {

CheckResult checkForUpdate(const std::string& productKey, const std::string& installedVersion,
                           const std::string& hostAndPort, const std::atomic<bool>* cancel) {
    CheckResult result;
    const net::ConnectedState state = net::connectedState(hostAndPort);
    result.connectionFlags = state.flags;
    if (!state.connected) {
        result.status = CheckStatus::Offline;
        return result;
    }
    const net::FirstRead read =
        net::fetchFirstRead(manifestUrl(hostAndPort), kAgent, kManifestReadSize, 30, cancel);
    if (!read.opened) {
        result.status = CheckStatus::OpenFailed;
        return result;
    }
    if (read.data.empty()) {
        result.status = CheckStatus::ReadFailed;
        return result;
    }
    result.entry = readManifestEntry(read.data, productKey);
    result.status = isUpdateAvailable(result.entry.newestVersion, installedVersion)
                        ? CheckStatus::UpdateAvailable
                        : CheckStatus::UpToDate;
    return result;
}

bool newVersionAvailable(const std::string& installedVersion, const std::string& hostAndPort,
                         const std::atomic<bool>* cancel) {
    return checkForUpdate(kRecoveryProductKey, installedVersion, hostAndPort, cancel).status ==
           CheckStatus::UpdateAvailable;
}

} // namespace update
