#include "FuzzEngine.h"

#include "engine/SqliteParse.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace kestrova::fuzz {

namespace {

// The folder lives until the process ends; it is kept on the heap so that the exit handler
// that removes it never sees a destroyed string.
const std::string& workDir() {
    static const std::string* dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl =
            std::string(base != nullptr && *base ? base : "/tmp") + "/kestrova-fuzz-XXXXXX";
        auto* made = new std::string(::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string());
        if (!made->empty()) {
            std::atexit([] {
                const std::string& d = workDir();
                ::unlink((d + "/contacts2.db").c_str());
                ::unlink((d + "/mmssms.db").c_str());
                ::rmdir(d.c_str());
            });
        }
        return made;
    }();
    return *dir;
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}

} // namespace

bool runEngineOnBytes(const uint8_t* data, size_t size, FuzzOutcome& out) {
    const std::string& dir = workDir();
    if (dir.empty())
        return false;
    const std::string contacts = dir + "/contacts2.db";
    const std::string sms = dir + "/mmssms.db";
    if (!writeFile(contacts, data, size) || !writeFile(sms, data, size))
        return false;
    {
        SqliteParse engine(contacts, sms);
        engine.startParse(ePaserContacts);
        out.contactsText = engine.get_contacts_mem();
    }
    {
        SqliteParse engine(contacts, sms);
        engine.startParse(ePaserSms);
        out.smsText = engine.get_contacts_mem();
    }
    return true;
}

} // namespace kestrova::fuzz
