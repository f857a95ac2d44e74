#include "engine/LargeBlock.h"

#include <algorithm>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace kestrova::engine {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kPage = 4096;
#ifdef MADV_COLLAPSE
constexpr int kCollapse = MADV_COLLAPSE;
#else
constexpr int kCollapse = 25; // Linux 6.1 and later; older systems refuse it
#endif
} // namespace

LargeBlock::LargeBlock(size_t bytes) {
    if (bytes == 0)
        return;
    size_ = bytes;
    mapped_ = (bytes + kPage - 1) / kPage * kPage;
    // From a quarter of a huge page on, a whole huge page costs less to fill than its small
    // pages would.
    if (mapped_ < kHugePage / 4) {
        void* p =
            ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        data_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    } else {
        // Map a huge page more than asked and give back the unaligned head and tail.
        mapped_ = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = ::mmap(nullptr, mapped_ + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            const auto at = reinterpret_cast<uintptr_t>(p);
            const uintptr_t aligned = (at + kHugePage - 1) / kHugePage * kHugePage;
            if (aligned > at)
                ::munmap(p, aligned - at);
            if (aligned + mapped_ < at + mapped_ + kHugePage)
                ::munmap(reinterpret_cast<void*>(aligned + mapped_),
                         at + mapped_ + kHugePage - (aligned + mapped_));
            data_ = reinterpret_cast<uint8_t*>(aligned);
            ::madvise(data_, mapped_, MADV_HUGEPAGE); // a hint; without it, plain pages
        }
    }
    if (data_ == nullptr)
        throw std::bad_alloc();
}

LargeBlock::~LargeBlock() {
    release();
}

LargeBlock::LargeBlock(LargeBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void reserveOnHugePages(std::string& text, size_t bytes) {
    if (bytes < kHugePage / 2) {
        text.reserve(bytes);
        return;
    }
    // Room of at least 34 MiB: the allocator gives room that large a mapping of its own
    // instead of reusing memory of its heap, which is already laid out in small pages. A
    // little less than whole huge pages, as the allocator adds its own few bytes, so that
    // the system can place the mapping on huge page boundaries. Untouched room costs nothing.
    constexpr size_t kSlack = 64;
    constexpr size_t kOwnMapping = size_t{34} << 20;
    const size_t room =
        std::max((bytes + kSlack + kHugePage - 1) / kHugePage * kHugePage, kOwnMapping);
    text.reserve(room - kSlack);
    const auto at = reinterpret_cast<uintptr_t>(text.data());
    const uintptr_t from = at / kHugePage * kHugePage;
    const uintptr_t to = (at + text.capacity() + kHugePage - 1) / kHugePage * kHugePage;
    ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE); // a hint; may fail
    // The allocator has already written its header into the first huge page, which made it
    // small pages; it becomes one huge page again (where the system can do so).
    ::madvise(reinterpret_cast<void*>(from), kHugePage, kCollapse);
}

void LargeBlock::release() {
    if (data_ != nullptr)
        ::munmap(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

} // namespace kestrova::engine
