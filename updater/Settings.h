// The updater's settings file: "appver" in section "basic" of profiles/config.ini. Reading a
// missing file, folder or key gives ""; writing creates the file but never its folder.
#pragma once

#include <QString>

#include <string>

namespace fresnaro {

// At most 259 characters are kept.
std::string readInstalledVersion(const QString& settingsFile);
bool writeInstalledVersion(const QString& settingsFile, const std::string& version);

} // namespace fresnaro
