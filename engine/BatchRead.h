// Many reads of one file at once. A pass over a table reads thousands of pages that lie apart
// in the file; where the kernel offers an io_uring, they are handed to it in batches, one
// system call per batch instead of one per range. Without one (an old kernel, or a sandbox
// that forbids it) every range is read with pread. Either way the bytes are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrova::engine {

// Reads `len` bytes at `pos` of `fd` into `dst`, retrying after interruptions and short
// reads; returns the bytes read, fewer only at the end of the file or on an error.
int64_t preadFully(int fd, int64_t pos, uint8_t* dst, int64_t len);

class BatchReader {
public:
    struct Range {
        int64_t pos = 0;
        uint8_t* dst = nullptr;
        int64_t len = 0;
        int64_t got = 0; // set by read: the bytes that came from the file
    };

    BatchReader();
    ~BatchReader();
    BatchReader(const BatchReader&) = delete;
    BatchReader& operator=(const BatchReader&) = delete;

    // Reads every range of `fd`; the ranges' destinations must not overlap. When this returns,
    // the kernel has finished with every destination.
    void read(int fd, std::vector<Range>& ranges);

    // Whether a read of many ranges costs about one system call per batch rather than one
    // per range (sets the ring up on first use).
    bool batchesCheaply();
    // Reads through pread alone from now on (tests compare both ways).
    void usePreadOnly() { mode_ = Mode::Pread; }
    // Whether the last read went through the ring.
    bool usedRing() const { return usedRing_; }

private:
    enum class Mode { Untried, Ring, Pread };
    struct Ring;
    bool setUpRing();
    // Reads every range through the ring; false when the ring failed before the kernel took
    // any of them.
    bool readThroughRing(int fd, std::vector<Range>& ranges);

    Mode mode_ = Mode::Untried;
    std::unique_ptr<Ring> ring_;
    bool usedRing_ = false;
};

} // namespace kestrova::engine
