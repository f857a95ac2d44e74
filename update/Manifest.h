// The update manifest: a small JSON document, one member per product, each an array whose
// first object carries "Version", "Nversion" and "Update_URL". Pure functions of their inputs;
// callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace update {

inline constexpr std::size_t kManifestReadSize = 1024;
inline constexpr const char* kManifestPath = "/download/update/kavri_update.txt";
inline constexpr const char* kAgent = "Kavri@Update";

struct ManifestEntry {
    std::string version;       // "Version": carried, never decided on
    std::string newestVersion; // "Nversion": compared with the installed version
    std::string updateUrl;     // "Update_URL": where the installer lies
};

// The document text of one first read: its bytes up to the first zero byte, at most
// kManifestReadSize of them.
std::string manifestText(std::string_view firstRead);

// Reads document[productKey][0] from the first read's bytes with the reader's lenient
// rules (comments allowed, any value at the top level). A parse that fails leaves whatever
// the parser built; a missing key, element or member reads as "", true and false as "true"
// and "false", and every other shape (an object or a scalar where the array belongs, a
// number, array or object in a member) as "". Never throws.
ManifestEntry readManifestEntry(std::string_view firstRead, std::string_view productKey);

// An update is available exactly when the two texts differ in any byte or in length: there is
// no ordering, so a lower newest version, other case or a trailing blank all count.
bool isUpdateAvailable(std::string_view newestVersion, std::string_view installedVersion);

// "http://" + host + kManifestPath; the host may carry a port.
std::string manifestUrl(const std::string& hostAndPort);

} // namespace update
