// Decoding of SQLite 3 record headers: varints, serial types and the column walk that
// locates wanted columns inside a carved record.
//
// A record is a header (a varint holding the header's length, then one varint serial type
// per column) followed by the body: the column values back to back in column order. The
// carvers never decode the header-length varint; they place the walk on the serial type of
// column 0 themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova::engine {

// Decodes one varint (most significant group first; eight 7-bit groups, a ninth byte gives
// all 8 bits) and returns the number of bytes it occupies, 1 to 9. `bytes` must have 9
// readable bytes. A value that does not fit in 32 bits is delivered as 0xFFFFFFFF.
inline int readVarint32(const uint8_t* bytes, uint32_t& value) {
    if (bytes[0] < 0x80) {
        value = bytes[0];
        return 1;
    }
    uint64_t v = 0;
    for (int n = 0; n < 8; ++n) {
        v = (v << 7) | (bytes[n] & 0x7F);
        if ((bytes[n] & 0x80) == 0) {
            value = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
            return n + 1;
        }
    }
    // Ninth byte: all eight bits. Anything past 2^56 is far beyond 32 bits anyway.
    v = (v << 8) | bytes[8];
    value = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    return 9;
}

// Width in bytes of a value stored under `serialType`: fixed for the types below 12, then
// (N - 12) / 2 for a BLOB (even N) and (N - 13) / 2 for a TEXT (odd N).
constexpr int32_t calculateDataWidth(uint32_t serialType) {
    constexpr int8_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (serialType < 12)
        return kFixed[serialType];
    return static_cast<int32_t>((serialType - 12 - (serialType & 1)) / 2);
}

// Coarse class of a serial type: 1 integer (types 2 to 5), 2 BLOB, 3 float, 4 TEXT; any
// other type (0, 1, 6, 8 to 12) is returned unchanged.
constexpr int32_t kClassText = 4;
constexpr int32_t checkDataType(uint32_t serialType) {
    if (serialType >= 2 && serialType <= 5)
        return 1;
    if (serialType == 7)
        return 3;
    if (serialType > 12)
        return serialType % 2 == 0 ? 2 : kClassText;
    return static_cast<int32_t>(serialType);
}

// A read-only view of the scratch buffer. Bytes past `size` read as zero, like the zeroed
// rest of the buffer, so a walk never reads outside it.
struct ByteView {
    const uint8_t* data = nullptr;
    int64_t size = 0;
    uint8_t at(int64_t i) const { return (i >= 0 && i < size) ? data[i] : 0; }
};

// Walks the serial types of a record one column at a time, from the serial type of column
// 0 at `start`, and remembers where up to three target columns lie in the body.
class ColumnWalk {
public:
    static constexpr int kMaxTargets = 3;

    ColumnWalk(ByteView buf, int64_t start, const int* targets, int targetCount);

    // Decodes the serial type of the next column and accounts for it.
    void step();

    int columnsWalked() const { return column_; }
    // Bytes from the serial type of column 0 to the end of the walked columns' values.
    int64_t total() const { return total_; }
    // Start of the body, valid once every column has been walked.
    int64_t bodyStart() const { return cursor_; }

    // Copies target `k`'s value out of the buffer. Returns false when the value would reach
    // past the end of the buffer (a garbage serial type can claim gigabytes).
    bool value(int k, std::string& out) const;
    // The same bytes as a view into the buffer, valid while the buffer keeps them.
    bool value(int k, std::string_view& out) const;

private:
    void advance(int n, int64_t w);
    void stepSlow();
    void noteTarget(int64_t w);
    ByteView buf_;
    int64_t cursor_;
    int64_t total_ = 0;
    int64_t widthSum_ = 0;
    int column_ = 0;
    int targets_[kMaxTargets] = {-1, -1, -1};
    int64_t offset_[kMaxTargets] = {0, 0, 0};
    int64_t length_[kMaxTargets] = {0, 0, 0};
    int targetCount_;
    uint64_t targetMask_ = 0;  // bit c: column c is a target (columns below 64)
    bool highTargets_ = false; // a target lies at column 64 or later
};

// Widths of the serial types that fit in one varint byte.
struct SingleByteWidths {
    int8_t width[128];
    constexpr SingleByteWidths() : width() {
        for (uint32_t t = 0; t < 128; ++t)
            width[t] = static_cast<int8_t>(calculateDataWidth(t));
    }
};
inline constexpr SingleByteWidths kSingleByteWidths{};

inline ColumnWalk::ColumnWalk(ByteView buf, int64_t start, const int* targets, int targetCount)
    : buf_(buf), cursor_(start),
      targetCount_(targetCount < kMaxTargets ? targetCount : kMaxTargets) {
    for (int k = 0; k < targetCount_; ++k) {
        targets_[k] = targets[k];
        if (targets[k] >= 0 && targets[k] < 64)
            targetMask_ |= uint64_t{1} << targets[k];
        else if (targets[k] >= 64)
            highTargets_ = true;
    }
}

// The walk runs once per column of every candidate record: the usual case (a one-byte serial
// type well inside the buffer) is inlined, the rest is not.
[[gnu::always_inline]] inline void ColumnWalk::step() {
    if (cursor_ >= 0 && cursor_ + 9 <= buf_.size) [[likely]] {
        const uint8_t first = buf_.data[cursor_];
        if (first < 0x80) [[likely]] {
            // The width comes from a table, without a branch on the kind of the type.
            advance(1, kSingleByteWidths.width[first]);
            return;
        }
    }
    stepSlow();
}

[[gnu::always_inline]] inline void ColumnWalk::advance(int n, int64_t w) {
    const bool target = column_ < 64 ? ((targetMask_ >> column_) & 1) != 0 : highTargets_;
    if (target) [[unlikely]]
        noteTarget(w);
    cursor_ += n;
    total_ += n + w;
    widthSum_ += w;
    ++column_;
}

} // namespace kestrova::engine
