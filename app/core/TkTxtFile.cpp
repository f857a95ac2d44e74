#include "TkTxtFile.h"

#include "FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int TkTxtFile::WriteLine(const std::u16string& text) {
    // A new file starts with the byte-order mark; an existing one is appended to.
    bool created = true;
    int fd = ::open(filePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(filePath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0)
        return 0;

    std::u16string block;
    block.reserve(text.size() + 3);
    if (created)
        block.push_back(u'\uFEFF');
    for (char16_t c : text) {
        if (c == u'\n')
            block.push_back(u'\r');
        block.push_back(c);
    }
    block += u"\r\n";

    // Little-endian bytes whatever the machine.
    std::string bytes;
    bytes.reserve(block.size() * 2);
    for (char16_t c : block) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }

    bool ok = osplat::writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0)
        ok = false;
    return ok ? 1 : 0;
}
