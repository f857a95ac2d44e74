#include "engine/RecordDecode.h"

#include <algorithm>
#include <cstring>

namespace kestrova::engine {

int readVarint32(const uint8_t* bytes, uint32_t& value) {
    uint64_t v = 0;
    int n = 0;
    for (; n < 8; ++n) {
        v = (v << 7) | (bytes[n] & 0x7F);
        if ((bytes[n] & 0x80) == 0) {
            ++n;
            value = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
            return n;
        }
    }
    // Ninth byte: all eight bits. Anything past 2^56 is far beyond 32 bits anyway.
    v = (v << 8) | bytes[8];
    value = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    return 9;
}

int32_t calculateDataWidth(uint32_t serialType) {
    switch (serialType) {
    case 0:
        return 0;
    case 1:
    case 2:
    case 3:
    case 4:
        return static_cast<int32_t>(serialType);
    case 5:
        return 6;
    case 6:
    case 7:
        return 8;
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
        return 0;
    default:
        break;
    }
    if (serialType % 2 == 0)
        return static_cast<int32_t>((serialType - 12) / 2);
    return static_cast<int32_t>((serialType - 13) / 2);
}

int32_t checkDataType(uint32_t serialType) {
    if (serialType >= 2 && serialType <= 5)
        return 1;
    if (serialType == 7)
        return 3;
    if (serialType > 12)
        return serialType % 2 == 0 ? 2 : kClassText;
    return static_cast<int32_t>(serialType);
}

ColumnWalk::ColumnWalk(ByteView buf, int64_t start, const int* targets, int targetCount)
    : buf_(buf), cursor_(start), targetCount_(std::min(targetCount, kMaxTargets)) {
    for (int k = 0; k < targetCount_; ++k)
        targets_[k] = targets[k];
}

void ColumnWalk::step() {
    uint8_t tmp[9] = {};
    const uint8_t* p;
    if (cursor_ >= 0 && cursor_ + 9 <= buf_.size) {
        p = buf_.data + cursor_;
    } else {
        for (int i = 0; i < 9; ++i)
            tmp[i] = buf_.at(cursor_ + i);
        p = tmp;
    }
    uint32_t type = 0;
    int n = readVarint32(p, type) & 0xFF;
    if (n == 0)
        n = 1;
    const int64_t w = calculateDataWidth(type);
    for (int k = 0; k < targetCount_; ++k) {
        if (targets_[k] == column_) {
            // The body offset of a column is the sum of the widths before it.
            offset_[k] = widthSum_;
            length_[k] = w;
        }
    }
    cursor_ += n;
    total_ += n + w;
    widthSum_ += w;
    ++column_;
}

bool ColumnWalk::value(int k, std::string& out) const {
    const int64_t begin = cursor_ + offset_[k];
    const int64_t end = begin + length_[k];
    if (begin < 0 || end > buf_.size)
        return false;
    out.assign(reinterpret_cast<const char*>(buf_.data) + begin, static_cast<size_t>(length_[k]));
    return true;
}

} // namespace kestrova::engine
