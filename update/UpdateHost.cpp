#include "update/UpdateCheck.h"

#include <cstdlib>
#include <unistd.h>

namespace update {

std::string updateHost() {
    const char* fromEnvironment = std::getenv("KAVRI_UPDATE_HOST");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    return kDefaultUpdateHost;
}

std::string updaterPath() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    const auto slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/" +
           kUpdaterProgram;
}

} // namespace update
