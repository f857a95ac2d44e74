// Zeroed memory for the large blocks a run fills once (carved rows, their index, the blocks
// read from the file). It is mapped straight from the system, aligned to 2 MiB and marked
// for huge pages where the system offers them, so that filling it costs one page fault per
// 2 MiB instead of one per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrova::engine {

class LargeBlock {
public:
    LargeBlock() = default;
    // `bytes` zeroed bytes; throws std::bad_alloc when the system refuses them, as new does.
    explicit LargeBlock(size_t bytes);
    ~LargeBlock();
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void release();
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;
};

// Reserves room for at least `bytes` in `text`. A large text gets room that ends where a whole
// 2 MiB page ends, and the 2 MiB pages its room lies on are marked for huge pages, so that
// filling it costs a page fault per 2 MiB instead of one per 4 KiB. The mark is only a hint
// about how the memory is backed.
void reserveOnHugePages(std::string& text, size_t bytes);

} // namespace kestrova::engine
