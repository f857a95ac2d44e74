#include "engine/PairRows.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrova::engine {

PairRows::PairRows(const std::vector<std::pair<std::string, std::string>>& rows) : PairRows() {
    for (const auto& [first, second] : rows)
        add(first, second);
}

void PairRows::addSlow(std::string_view first, std::string_view second) {
    const size_t firstLength = std::min<size_t>(first.size(), UINT32_MAX);
    const size_t secondLength = std::min<size_t>(second.size(), UINT32_MAX);
    const size_t need = firstLength + secondLength;
    char* at;
    if (need > kBlockBytes / 4) {
        // A large row gets a block of its own; the current block stays in use.
        blocks_.emplace_back(need);
        at = reinterpret_cast<char*>(blocks_.back().data());
    } else {
        if (left_ < need) {
            const size_t size =
                blocks_.empty() && need <= kFirstBlockBytes ? kFirstBlockBytes : kBlockBytes;
            blocks_.emplace_back(size);
            cursor_ = reinterpret_cast<char*>(blocks_.back().data());
            left_ = size;
        }
        at = cursor_;
        cursor_ += need;
        left_ -= need;
    }
    if (firstLength > 0)
        std::memcpy(at, first.data(), firstLength);
    if (secondLength > 0)
        std::memcpy(at + firstLength, second.data(), secondLength);
    if (size_ == 0)
        addEntryBlock(kFirstEntries);
    else if (size_ >= kFirstEntries && ((size_ - kFirstEntries) & (kEntriesPerBlock - 1)) == 0)
        addEntryBlock(kEntriesPerBlock);
    Entry* e = entryAt(size_);
    *e = Entry{at, static_cast<uint32_t>(firstLength), static_cast<uint32_t>(secondLength)};
    nextEntry_ = e + 1;
    entryRoom_ = size_ < kFirstEntries
                     ? kFirstEntries - size_ - 1
                     : kEntriesPerBlock - ((size_ - kFirstEntries) & (kEntriesPerBlock - 1)) - 1;
    ++size_;
    secondBytes_ += secondLength;
}

PairRows& PairRows::operator=(PairRows&& other) noexcept {
    if (this != &other) {
        clear();
        swap(other);
    }
    return *this;
}

void PairRows::swap(PairRows& other) noexcept {
    blocks_.swap(other.blocks_);
    entries_.swap(other.entries_);
    entryBlocks_.swap(other.entryBlocks_);
    std::swap(cursor_, other.cursor_);
    std::swap(nextEntry_, other.nextEntry_);
    std::swap(entryRoom_, other.entryRoom_);
    std::swap(left_, other.left_);
    std::swap(size_, other.size_);
    std::swap(secondBytes_, other.secondBytes_);
}

void PairRows::addEntryBlock(size_t entries) {
    entries_.emplace_back(entries * sizeof(Entry));
    entryBlocks_.push_back(reinterpret_cast<Entry*>(entries_.back().data()));
}

void PairRows::append(const PairRows& other, size_t from, size_t to) {
    // The bytes of a row never move, so a row of this object can be added to it again.
    for (size_t j = from; j < to; ++j)
        add(other.first(j), other.second(j));
}

void PairRows::clear() {
    blocks_.clear();
    entries_.clear();
    entryBlocks_.clear();
    nextEntry_ = nullptr;
    entryRoom_ = 0;
    cursor_ = nullptr;
    left_ = 0;
    size_ = 0;
    secondBytes_ = 0;
}

} // namespace kestrova::engine
