#include "engine/RecordDecode.h"

#include <algorithm>
#include <cstring>

namespace kestrova::engine {

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
    for (int k = 0; k < targetCount_; ++k) {
        targets_[k] = targets[k];
        if (targets[k] >= 0 && targets[k] < 64)
            targetMask_ |= uint64_t{1} << targets[k];
        else if (targets[k] >= 64)
            highTargets_ = true;
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
