#include "engine/RecordDecode.h"

#include <algorithm>
#include <cstring>

namespace kestrova::engine {

void ColumnWalk::stepSlow() {
    uint32_t type = 0;
    int n;
    if (cursor_ >= 0 && cursor_ + 9 <= buf_.size) {
        n = readVarint32(buf_.data + cursor_, type) & 0xFF;
    } else {
        uint8_t tmp[9];
        for (int i = 0; i < 9; ++i)
            tmp[i] = buf_.at(cursor_ + i);
        n = readVarint32(tmp, type) & 0xFF;
    }
    if (n == 0)
        n = 1;
    advance(n, calculateDataWidth(type));
}

void ColumnWalk::noteTarget(int64_t w) {
    for (int k = 0; k < targetCount_; ++k) {
        if (targets_[k] == column_) {
            // The body offset of a column is the sum of the widths before it.
            offset_[k] = widthSum_;
            length_[k] = w;
        }
    }
}

bool ColumnWalk::value(int k, std::string_view& out) const {
    const int64_t begin = cursor_ + offset_[k];
    const int64_t end = begin + length_[k];
    if (begin < 0 || end > buf_.size)
        return false;
    out = std::string_view(reinterpret_cast<const char*>(buf_.data) + begin,
                           static_cast<size_t>(length_[k]));
    return true;
}

bool ColumnWalk::value(int k, std::string& out) const {
    std::string_view v;
    if (!value(k, v))
        return false;
    out.assign(v);
    return true;
}

} // namespace kestrova::engine
