// Read-only access to a database file as raw bytes, by position. Positions are 64-bit, so
// files of 2 GiB and more are read correctly. The file is never written and never locked.
//
// Small reads are served from a few blocks of the file read whole with pread: the passes over
// a table's pages run mostly in ascending order, so each block is read once per pass, with few
// system calls and little memory. A read that does not fit in one block is read directly.
#pragma once

#include "engine/LargeBlock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::engine {

class DbFile {
public:
    DbFile() = default;
    ~DbFile();
    DbFile(const DbFile&) = delete;
    DbFile& operator=(const DbFile&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int64_t size() const { return size_; }

    // Copies `len` bytes from `pos` into `dst`. The part that lies outside the file is filled
    // with zeros. Returns the number of bytes that came from the file.
    int64_t readAt(int64_t pos, uint8_t* dst, int64_t len) const {
        return read(pos, dst, len, true);
    }
    // The same, read from the file on its own: for a few scattered pages, where reading whole
    // blocks would cost more than it saves.
    int64_t readDirect(int64_t pos, uint8_t* dst, int64_t len) const {
        return read(pos, dst, len, false);
    }

    // The `len` bytes at `pos` where the file keeps them in memory, valid until the next read;
    // null when they do not all lie inside the file and inside one block.
    const uint8_t* view(int64_t pos, int64_t len) const;

    uint32_t readU8(int64_t pos) const;
    uint32_t readU16(int64_t pos) const;
    uint32_t readU32(int64_t pos) const;

    // The passes over a table read one block after another.
    static constexpr int64_t kBlockSize = int64_t{2} << 20;
    static constexpr int kBlocks = 1;

private:
    struct Block {
        int64_t base = -1;
        int64_t length = 0; // bytes of the file in the block
        LargeBlock data;    // only the `length` bytes read are used
        uint64_t lastUse = 0;
    };
    int64_t read(int64_t pos, uint8_t* dst, int64_t len, bool cached) const;
    const Block* blockFor(int64_t pos, int64_t len) const;
    int64_t preadAll(int64_t pos, uint8_t* dst, int64_t len) const;

    int fd_ = -1;
    int64_t size_ = 0;
    mutable Block blocks_[kBlocks];
    mutable uint64_t clock_ = 0;
    mutable const Block* last_ = nullptr; // the block of the latest read, checked first
};

} // namespace kestrova::engine
