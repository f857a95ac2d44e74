#include "Settings.h"

#include "Profile.h"

#include <QFile>

namespace fresnaro {

namespace {
constexpr const char* kSection = "basic";
constexpr const char* kKey = "appver";
constexpr std::size_t kRoom = 260; // 259 characters and the terminator
} // namespace

std::string readInstalledVersion(const QString& settingsFile) {
    return osplat::readProfileString(kSection, kKey, "", kRoom,
                                     QFile::encodeName(settingsFile).toStdString());
}

bool writeInstalledVersion(const QString& settingsFile, const std::string& version) {
    return osplat::writeProfileString(kSection, kKey, version.c_str(),
                                      QFile::encodeName(settingsFile).toStdString());
}

} // namespace fresnaro
