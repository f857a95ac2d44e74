// Rows of two byte strings each, kept compactly: a run yields hundreds of thousands of them
// (carved contact rows, live contact rows), so the bytes go into fixed blocks that are never
// moved or copied again, and each row costs one small entry beside its bytes.
#pragma once

#include "engine/LargeBlock.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova::engine {

class PairRows {
public:
    PairRows() = default;
    explicit PairRows(const std::vector<std::pair<std::string, std::string>>& rows);
    PairRows(const PairRows&) = delete;
    PairRows& operator=(const PairRows&) = delete;
    PairRows(PairRows&& other) noexcept { *this = std::move(other); }
    // Leaves `other` empty.
    PairRows& operator=(PairRows&& other) noexcept;

    // Copies both byte strings; a string longer than 4 GiB is cut to what an entry holds.
    // Inlined for the usual row, which fits in the current blocks.
    void add(std::string_view first, std::string_view second) {
        const size_t need = first.size() + second.size();
        if (need > left_ || entryRoom_ == 0) {
            addSlow(first, second);
            return;
        }
        char* at = cursor_;
        if (!first.empty())
            std::memcpy(at, first.data(), first.size());
        if (!second.empty())
            std::memcpy(at + first.size(), second.data(), second.size());
        cursor_ += need;
        left_ -= need;
        *nextEntry_++ =
            Entry{at, static_cast<uint32_t>(first.size()), static_cast<uint32_t>(second.size())};
        --entryRoom_;
        ++size_;
        secondBytes_ += second.size();
    }
    void swap(PairRows& other) noexcept;
    // Copies rows [from, to) of `other` (which may be this object) to the end.
    void append(const PairRows& other, size_t from, size_t to);

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view first(size_t j) const {
        const Entry& e = entry(j);
        return std::string_view(e.bytes, e.firstLength);
    }
    std::string_view second(size_t j) const {
        const Entry& e = entry(j);
        return std::string_view(e.bytes + e.firstLength, e.secondLength);
    }
    // Total bytes of the second strings.
    size_t secondBytes() const { return secondBytes_; }
    void clear();

private:
    struct Entry {
        const char* bytes; // first, then second
        uint32_t firstLength;
        uint32_t secondLength;
    };
    // The first blocks are small, so that a store of few rows stays small.
    static constexpr size_t kFirstBlockBytes = size_t{64} << 10;
    static constexpr size_t kBlockBytes = size_t{2} << 20;
    static constexpr size_t kFirstEntries = 4096;
    static constexpr size_t kEntryShift = 17;
    static constexpr size_t kEntriesPerBlock = size_t{1} << kEntryShift;
    Entry* entryAt(size_t j) const {
        if (j < kFirstEntries)
            return entryBlocks_.data()[0] + j;
        j -= kFirstEntries;
        return entryBlocks_.data()[1 + (j >> kEntryShift)] + (j & (kEntriesPerBlock - 1));
    }
    const Entry& entry(size_t j) const { return *entryAt(j); }
    void addEntryBlock(size_t entries);
    void addSlow(std::string_view first, std::string_view second);
    std::vector<LargeBlock> blocks_;
    char* cursor_ = nullptr; // free bytes of the block that small rows fill
    size_t left_ = 0;
    std::vector<LargeBlock> entries_;
    std::vector<Entry*> entryBlocks_; // the entries' blocks, for reading without a detour
    Entry* nextEntry_ = nullptr;      // the next free entry of the last block
    size_t entryRoom_ = 0;            // free entries left there
    size_t size_ = 0;
    size_t secondBytes_ = 0;
};

} // namespace kestrova::engine
