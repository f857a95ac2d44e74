#include "engine/DbFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    return true;
}

void DbFile::close() {
    block_.base = -1;
    block_.length = 0;
    block_.pageShift = 0;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

DbFile::Block& DbFile::emptyBlock() const {
    if (block_.data.data() == nullptr)
        block_.data = LargeBlock(static_cast<size_t>(kBlockSize));
    block_.base = -1;
    block_.pageShift = 0;
    return block_;
}

const DbFile::Block* DbFile::blockFor(int64_t pos, int64_t len) const {
    const int64_t base = pos - pos % kBlockSize;
    if (pos + len > base + kBlockSize)
        return nullptr;
    if (holds(block_, pos, len))
        return &block_;
    // A block read page by page serves only its pages, and once pages are loaded for a pass,
    // whole blocks are no longer read: a read elsewhere (a damaged page can point past its end)
    // goes to the file instead of replacing them.
    if (block_.base == base || block_.pageShift != 0)
        return nullptr;
    Block& b = emptyBlock();
    b.length = preadFully(fd_, base, b.data.data(), std::min(kBlockSize, size_ - base));
    b.base = base;
    return &b;
}

void DbFile::loadPages(const std::vector<int64_t>& positions, int64_t pageBytes) const {
    if (fd_ < 0 || positions.empty() || positions.front() < 0 || pageBytes < 512 ||
        pageBytes > kBlockSize || (pageBytes & (pageBytes - 1)) != 0)
        return;
    const int64_t base = positions.front() - positions.front() % kBlockSize;
    if (base >= size_)
        return;
    Block& v = emptyBlock();
    v.base = base;
    v.length = std::min(kBlockSize, size_ - base);
    while ((int64_t{1} << v.pageShift) < pageBytes)
        ++v.pageShift;
    v.pages.assign(static_cast<size_t>((kBlockSize >> v.pageShift) / 64 + 1), 0);
    // Pages next to each other are read in one piece. Through a ring a read of its own costs
    // less than reading a page that is not wanted; with a system call per read, reading the
    // page between two wanted ones costs less.
    const int64_t gap = reader_.batchesCheaply() ? 0 : pageBytes;
    ranges_.clear();
    size_t i = 0;
    while (i < positions.size()) {
        const int64_t from = positions[i];
        if (from < base || from >= base + v.length)
            break;
        int64_t to = from + pageBytes;
        ++i;
        while (i < positions.size() && positions[i] >= to - pageBytes && positions[i] <= to + gap &&
               positions[i] < base + v.length) {
            to = std::max(to, positions[i] + pageBytes);
            ++i;
        }
        to = std::min(to, base + v.length);
        ranges_.push_back({from, v.data.data() + (from - base), to - from, 0});
    }
    reader_.read(fd_, ranges_);
    for (const BatchReader::Range& g : ranges_) {
        const int64_t end = g.pos + g.got;
        for (int64_t k = (g.pos - base) >> v.pageShift; (k << v.pageShift) < end - base; ++k)
            v.pages[static_cast<size_t>(k >> 6)] |= uint64_t{1} << (k & 63);
    }
}

int64_t DbFile::read(int64_t pos, uint8_t* dst, int64_t len, bool cached) const {
    if (len <= 0)
        return 0;
    // Most reads fall inside the block in memory.
    if (const uint8_t* p = cached ? atHand(pos, len) : nullptr) {
        std::memcpy(dst, p, static_cast<size_t>(len));
        return len;
    }
    if (fd_ < 0 || pos >= size_ || pos + len <= 0) {
        std::memset(dst, 0, static_cast<size_t>(len));
        return 0;
    }
    // Bytes before the start of the file (a negative position) read as zero too.
    const int64_t lead = pos < 0 ? -pos : 0;
    if (lead > 0)
        std::memset(dst, 0, static_cast<size_t>(lead));
    const int64_t from = pos + lead;
    const int64_t n = std::min(len - lead, size_ - from);
    int64_t got;
    const Block* b = cached && n <= 65536 ? blockFor(from, n) : nullptr;
    if (b != nullptr) {
        got = std::clamp<int64_t>(b->base + b->length - from, 0, n);
        std::memcpy(dst + lead, b->data.data() + (from - b->base), static_cast<size_t>(got));
    } else {
        got = preadFully(fd_, from, dst + lead, n);
    }
    if (lead + got < len)
        std::memset(dst + lead + got, 0, static_cast<size_t>(len - lead - got));
    return got;
}

const uint8_t* DbFile::view(int64_t pos, int64_t len) const {
    if (fd_ < 0 || pos < 0 || len < 0 || len > kBlockSize || pos + len > size_)
        return nullptr;
    const Block* b = blockFor(pos, len);
    return b != nullptr ? b->data.data() + (pos - b->base) : nullptr;
}

uint32_t DbFile::readU8Slow(int64_t pos) const {
    uint8_t b = 0;
    readAt(pos, &b, 1);
    return b;
}

uint32_t DbFile::readU16Slow(int64_t pos) const {
    uint8_t b[2];
    readAt(pos, b, 2);
    return loadU16(b);
}

uint32_t DbFile::readU32(int64_t pos) const {
    uint8_t b[4];
    readAt(pos, b, 4);
    return loadU32(b);
}

} // namespace kestrova::engine
