// Read-only access to a database file as raw bytes, by position. Positions are 64-bit, so
// files of 2 GiB and more are read correctly. The file is never written and never locked.
//
// Small reads are served from one block of the file kept in memory: the passes over a table's
// pages run in ascending order, so each block is read once per pass, with few system calls and
// little memory. A pass may load only the pages it needs of a block, read in one batch. A read
// that the block does not hold is read from the file directly.
#pragma once

#include "engine/BatchRead.h"
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

    // Reads the pages of `pageBytes` bytes at `positions` (ascending, all in one block) into
    // memory in place of that whole block, in one batch of reads; without a ring, pages one
    // apart are read together with the page between. Later reads inside the pages read are
    // served from memory, others from the file.
    void loadPages(const std::vector<int64_t>& positions, int64_t pageBytes) const;

    // Small big-endian reads; inlined for the usual case of bytes at hand.
    uint32_t readU8(int64_t pos) const {
        const uint8_t* p = atHand(pos, 1);
        return p != nullptr ? p[0] : readU8Slow(pos);
    }
    uint32_t readU16(int64_t pos) const {
        const uint8_t* p = atHand(pos, 2);
        return p != nullptr ? loadU16(p) : readU16Slow(pos);
    }
    uint32_t readU32(int64_t pos) const;

    // The passes over a table read one block after another.
    static constexpr int64_t kBlockSize = int64_t{2} << 20;

    // Big-endian numbers at `p`.
    static uint32_t loadU16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
    static uint32_t loadU32(const uint8_t* p) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }

private:
    struct Block {
        int64_t base = -1;
        int64_t length = 0; // bytes of the file in the block
        LargeBlock data;    // only the `length` bytes read are used
        // A block read page by page holds only the pages marked here (bit per page of
        // 2^pageShift bytes); a block read whole has pageShift 0 and holds all its bytes.
        int pageShift = 0;
        std::vector<uint64_t> pages;
    };
    static bool holds(const Block& b, int64_t pos, int64_t len) {
        if (b.base < 0 || pos < b.base || len > b.length || pos - b.base > b.length - len)
            return false;
        if (b.pageShift == 0 || len <= 0)
            return true;
        const int64_t first = (pos - b.base) >> b.pageShift;
        const int64_t last = (pos - b.base + len - 1) >> b.pageShift;
        for (int64_t k = first; k <= last; ++k) {
            if (((b.pages[static_cast<size_t>(k >> 6)] >> (k & 63)) & 1) == 0)
                return false;
        }
        return true;
    }
    // The bytes at `pos` in the block in memory, or null.
    const uint8_t* atHand(int64_t pos, int64_t len) const {
        return holds(block_, pos, len) ? block_.data.data() + (pos - block_.base) : nullptr;
    }
    uint32_t readU8Slow(int64_t pos) const;
    uint32_t readU16Slow(int64_t pos) const;
    Block& emptyBlock() const;
    int64_t read(int64_t pos, uint8_t* dst, int64_t len, bool cached) const;
    const Block* blockFor(int64_t pos, int64_t len) const;

    int fd_ = -1;
    int64_t size_ = 0;
    mutable Block block_;
    mutable BatchReader reader_;
    mutable std::vector<BatchReader::Range> ranges_;
};

} // namespace kestrova::engine
