#include "update/UpdateCheck.h"

#include "Profile.h"

#include <cstdlib>

namespace update {

std::string updateHost() {
    const char* fromEnvironment = std::getenv("KAVRI_UPDATE_HOST");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    return osplat::deploySetting("update_host", KESTROVA_UPDATE_HOST);
}

std::string updaterPath() {
    return osplat::programFolder() + "/" + kUpdaterProgram;
}

} // namespace update
