#include "engine/BatchRead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#if __has_include(<linux/io_uring.h>)
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#define KESTROVA_HAVE_IO_URING 1
#endif

namespace kestrova::engine {

int64_t preadFully(int fd, int64_t pos, uint8_t* dst, int64_t len) {
    int64_t got = 0;
    while (got < len) {
        const ssize_t r =
            ::pread(fd, dst + got, static_cast<size_t>(len - got), static_cast<off_t>(pos + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += r;
    }
    return got;
}

#ifdef KESTROVA_HAVE_IO_URING

// The rings shared with the kernel: submissions go in at the tail of the submission ring,
// completions come out at the head of the completion ring.
struct BatchReader::Ring {
    int fd = -1;
    void* sqMap = MAP_FAILED;
    size_t sqMapSize = 0;
    void* cqMap = MAP_FAILED;
    size_t cqMapSize = 0;
    io_uring_sqe* sqes = static_cast<io_uring_sqe*>(MAP_FAILED);
    size_t sqesSize = 0;
    unsigned* sqTail = nullptr;
    unsigned sqMask = 0;
    unsigned* sqArray = nullptr;
    unsigned* cqHead = nullptr;
    unsigned* cqTail = nullptr;
    unsigned cqMask = 0;
    io_uring_cqe* cqes = nullptr;
    unsigned entries = 0;

    ~Ring() {
        if (sqes != MAP_FAILED)
            ::munmap(sqes, sqesSize);
        if (cqMap != MAP_FAILED && cqMap != sqMap)
            ::munmap(cqMap, cqMapSize);
        if (sqMap != MAP_FAILED)
            ::munmap(sqMap, sqMapSize);
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

constexpr unsigned kRingEntries = 128;

int ringEnter(int ringFd, unsigned toSubmit, unsigned minComplete) {
    return static_cast<int>(::syscall(__NR_io_uring_enter, ringFd, toSubmit, minComplete,
                                      minComplete > 0 ? IORING_ENTER_GETEVENTS : 0u, nullptr, 0));
}

} // namespace

BatchReader::BatchReader() = default;
BatchReader::~BatchReader() = default;

bool BatchReader::setUpRing() {
    io_uring_params params{};
    const int fd = static_cast<int>(::syscall(__NR_io_uring_setup, kRingEntries, &params));
    if (fd < 0)
        return false;
    auto r = std::make_unique<Ring>();
    r->fd = fd;
    r->entries = params.sq_entries;
    r->sqMapSize = params.sq_off.array + params.sq_entries * sizeof(unsigned);
    r->cqMapSize = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
    const bool single = (params.features & IORING_FEAT_SINGLE_MMAP) != 0;
    if (single)
        r->sqMapSize = r->cqMapSize = std::max(r->sqMapSize, r->cqMapSize);
    r->sqMap = ::mmap(nullptr, r->sqMapSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                      IORING_OFF_SQ_RING);
    if (r->sqMap != MAP_FAILED) {
        r->cqMap = single ? r->sqMap
                          : ::mmap(nullptr, r->cqMapSize, PROT_READ | PROT_WRITE,
                                   MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_CQ_RING);
        r->sqesSize = params.sq_entries * sizeof(io_uring_sqe);
        r->sqes =
            static_cast<io_uring_sqe*>(::mmap(nullptr, r->sqesSize, PROT_READ | PROT_WRITE,
                                              MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQES));
    }
    if (r->sqMap == MAP_FAILED || r->cqMap == MAP_FAILED || r->sqes == MAP_FAILED) {
        return false;
    }
    auto* sq = static_cast<char*>(r->sqMap);
    auto* cq = static_cast<char*>(r->cqMap);
    r->sqTail = reinterpret_cast<unsigned*>(sq + params.sq_off.tail);
    r->sqMask = *reinterpret_cast<unsigned*>(sq + params.sq_off.ring_mask);
    r->sqArray = reinterpret_cast<unsigned*>(sq + params.sq_off.array);
    r->cqHead = reinterpret_cast<unsigned*>(cq + params.cq_off.head);
    r->cqTail = reinterpret_cast<unsigned*>(cq + params.cq_off.tail);
    r->cqMask = *reinterpret_cast<unsigned*>(cq + params.cq_off.ring_mask);
    r->cqes = reinterpret_cast<io_uring_cqe*>(cq + params.cq_off.cqes);
    ring_ = std::move(r);
    return true;
}

bool BatchReader::readThroughRing(int fd, std::vector<Range>& ranges) {
    Ring& r = *ring_;
    const size_t to = ranges.size();
    size_t next = 0;
    while (next < to) {
        // One batch: at most as many reads as the ring holds, so completions never overflow.
        unsigned tail = __atomic_load_n(r.sqTail, __ATOMIC_RELAXED);
        unsigned batch = 0;
        for (; next < to && batch < r.entries; ++next, ++batch) {
            const Range& g = ranges[next];
            const unsigned slot = tail & r.sqMask;
            io_uring_sqe& e = r.sqes[slot];
            std::memset(&e, 0, sizeof e);
            e.opcode = IORING_OP_READ;
            e.fd = fd;
            e.off = static_cast<uint64_t>(g.pos);
            e.addr = reinterpret_cast<uint64_t>(g.dst);
            e.len = static_cast<uint32_t>(g.len);
            e.user_data = next;
            r.sqArray[slot] = slot;
            ++tail;
        }
        __atomic_store_n(r.sqTail, tail, __ATOMIC_RELEASE);
        unsigned submitted = 0, completed = 0;
        while (completed < batch) {
            const unsigned toSubmit = batch - submitted;
            const unsigned inFlight = submitted - completed;
            const int rc = ringEnter(r.fd, toSubmit, toSubmit > 0 ? 0 : inFlight);
            if (rc >= 0) {
                submitted += static_cast<unsigned>(rc);
            } else if (errno != EINTR && inFlight == 0) {
                // Nothing of this batch is with the kernel: its reads are taken elsewhere, and
                // the ring, which still holds them unsubmitted, is never entered again.
                if (next == batch && submitted == 0)
                    return false;
                for (size_t k = next - toSubmit; k < to; ++k)
                    ranges[k].got = preadFully(fd, ranges[k].pos, ranges[k].dst, ranges[k].len);
                mode_ = Mode::Pread;
                next = to;
                break;
            } else if (errno != EINTR) {
                // The kernel takes no more for now: wait for a read it has before trying again.
                ringEnter(r.fd, 0, 1);
            }
            // Reads already with the kernel are always waited for: their destinations are the
            // caller's memory.
            unsigned head = __atomic_load_n(r.cqHead, __ATOMIC_RELAXED);
            const unsigned ready = __atomic_load_n(r.cqTail, __ATOMIC_ACQUIRE);
            for (; head != ready; ++head, ++completed) {
                const io_uring_cqe& c = r.cqes[head & r.cqMask];
                Range& g = ranges[static_cast<size_t>(c.user_data)];
                g.got = c.res > 0 ? c.res : 0;
            }
            __atomic_store_n(r.cqHead, head, __ATOMIC_RELEASE);
        }
    }
    // A read cut short (the end of the file, or an error the kernel gave for one read) is
    // finished, or found to be short, by pread.
    for (Range& g : ranges) {
        if (g.got < g.len)
            g.got += preadFully(fd, g.pos + g.got, g.dst + g.got, g.len - g.got);
    }
    return true;
}

bool BatchReader::batchesCheaply() {
    if (mode_ == Mode::Untried)
        mode_ = setUpRing() ? Mode::Ring : Mode::Pread;
    return mode_ == Mode::Ring;
}

void BatchReader::read(int fd, std::vector<Range>& ranges) {
    usedRing_ = false;
    for (Range& g : ranges)
        g.got = 0;
    // A single read gains nothing from the ring.
    if (ranges.size() > 1 && batchesCheaply()) {
        bool fits = true;
        for (const Range& g : ranges)
            fits = fits && g.len >= 0 && g.len <= int64_t{1} << 30;
        if (fits && readThroughRing(fd, ranges)) {
            usedRing_ = true;
            return;
        }
        if (fits)
            mode_ = Mode::Pread;
    }
    for (Range& g : ranges)
        g.got = preadFully(fd, g.pos, g.dst, g.len);
}

#else

struct BatchReader::Ring {};

BatchReader::BatchReader() = default;
BatchReader::~BatchReader() = default;

bool BatchReader::setUpRing() {
    return false;
}

bool BatchReader::batchesCheaply() {
    return false;
}

bool BatchReader::readThroughRing(int, std::vector<Range>&) {
    return false;
}

void BatchReader::read(int fd, std::vector<Range>& ranges) {
    usedRing_ = false;
    for (Range& g : ranges)
        g.got = preadFully(fd, g.pos, g.dst, g.len);
}

#endif

} // namespace kestrova::engine
