#include "engine/DbFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::engine {

DbFile::~DbFile() {
    close();
}

bool DbFile::open(const std::string& path) {
    close();
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    if (size_ > 0) {
        void* m = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fd_, 0);
        if (m != MAP_FAILED)
            map_ = static_cast<const uint8_t*>(m);
    }
    return true;
}

void DbFile::close() {
    if (map_ != nullptr)
        ::munmap(const_cast<uint8_t*>(map_), static_cast<size_t>(size_));
    map_ = nullptr;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

int64_t DbFile::readAt(int64_t pos, uint8_t* dst, int64_t len) const {
    if (len <= 0)
        return 0;
    int64_t got = 0;
    if (fd_ >= 0 && pos < size_ && pos + len > 0) {
        // Bytes before the start of the file (a negative position) read as zero too.
        const int64_t lead = pos < 0 ? -pos : 0;
        const int64_t from = pos + lead;
        const int64_t n = std::min(len - lead, size_ - from);
        if (lead > 0)
            std::memset(dst, 0, static_cast<size_t>(lead));
        if (map_ != nullptr) {
            std::memcpy(dst + lead, map_ + from, static_cast<size_t>(n));
            got = n;
        } else {
            while (got < n) {
                const ssize_t r = ::pread(fd_, dst + lead + got, static_cast<size_t>(n - got),
                                          static_cast<off_t>(from + got));
                if (r < 0 && errno == EINTR)
                    continue;
                if (r <= 0)
                    break;
                got += r;
            }
        }
        if (lead + got < len)
            std::memset(dst + lead + got, 0, static_cast<size_t>(len - lead - got));
        return got;
    }
    std::memset(dst, 0, static_cast<size_t>(len));
    return 0;
}

uint32_t DbFile::readU8(int64_t pos) const {
    uint8_t b = 0;
    readAt(pos, &b, 1);
    return b;
}

uint32_t DbFile::readU16(int64_t pos) const {
    uint8_t b[2];
    readAt(pos, b, 2);
    return (uint32_t{b[0]} << 8) | b[1];
}

uint32_t DbFile::readU32(int64_t pos) const {
    uint8_t b[4];
    readAt(pos, b, 4);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

} // namespace kestrova::engine
