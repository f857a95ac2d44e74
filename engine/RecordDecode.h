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

namespace kestrova::engine {

// Decodes one varint (most significant group first; eight 7-bit groups, a ninth byte gives
// all 8 bits) and returns the number of bytes it occupies, 1 to 9. `bytes` must have 9
// readable bytes. A value that does not fit in 32 bits is delivered as 0xFFFFFFFF.
int readVarint32(const uint8_t* bytes, uint32_t& value);

// Width in bytes of a value stored under `serialType`.
int32_t calculateDataWidth(uint32_t serialType);

// Coarse class of a serial type: 1 integer (types 2 to 5), 2 BLOB, 3 float, 4 TEXT; any
// other type (0, 1, 6, 8 to 12) is returned unchanged.
int32_t checkDataType(uint32_t serialType);

constexpr int32_t kClassText = 4;

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

private:
    ByteView buf_;
    int64_t cursor_;
    int64_t total_ = 0;
    int64_t widthSum_ = 0;
    int column_ = 0;
    int targets_[kMaxTargets] = {-1, -1, -1};
    int64_t offset_[kMaxTargets] = {0, 0, 0};
    int64_t length_[kMaxTargets] = {0, 0, 0};
    int targetCount_;
};

} // namespace kestrova::engine
