#include "engine/Carve.h"

#include "engine/DbFile.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrova::engine {

ScratchBuffer::ScratchBuffer() : data_(kSize, 0) {}

void ScratchBuffer::clearFrom(int64_t len) {
    if (dirty_ > len)
        std::memset(data_.data() + len, 0, static_cast<size_t>(dirty_ - len));
    dirty_ = len;
}

void ScratchBuffer::load(const DbFile& file, int64_t pos, int64_t len) {
    len = std::clamp<int64_t>(len, 0, kSize);
    clearFrom(len);
    file.readAt(pos, data_.data(), len);
}

void ScratchBuffer::loadBytes(const uint8_t* bytes, int64_t len) {
    len = std::clamp<int64_t>(len, 0, kSize);
    clearFrom(len);
    if (len > 0)
        std::memcpy(data_.data(), bytes, static_cast<size_t>(len));
}

CarveStart freeblockCarveStart(int64_t freeblockSize, uint8_t b) {
    if (b < 7)
        return {4, freeblockSize - 4};
    return {5, freeblockSize - 5};
}

namespace {

// Walks a record inside a freeblock. Returns the position just past it, or -1 when the
// record does not fit: it stops once the walk reaches L before the last column, and drops
// a record whose last column ends past L.
int64_t walkInFreeblock(ColumnWalk& walk, int64_t p, int64_t L, int C) {
    for (int j = 0; j < C; ++j) {
        walk.step();
        const int64_t E = p + walk.total();
        if (j < C - 1 ? E >= L : E > L)
            return -1;
    }
    return p + walk.total();
}

// One record of a freeblock: where it ends and its target columns' bytes.
template <int N> struct FreeblockRecord {
    int64_t end = -1;      // -1: the record does not fit, and the freeblock ends here
    bool valuesOk = false; // every target's bytes lie inside the buffer
    std::string_view values[N];
};

#if defined(__SSE2__)
// The widths of a record header's one-byte serial types, 16 at a time: a type t of 12 or more
// is (t - 12) / 2 bytes wide, the types below 12 have fixed widths.
class WideWidths {
public:
    // Reads the first C types at t; false when there are more than 64 or the 16-byte chunks
    // that hold them are not all readable.
    bool load(const uint8_t* t, int64_t readable, int C) {
        chunks_ = (C + 15) / 16;
        if (C > 64 || readable < 16 * chunks_)
            return false;
        __m128i any = _mm_setzero_si128();
        for (int c = 0; c < chunks_; ++c) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * c));
            any = _mm_or_si128(any, _mm_and_si128(x, firstBytes(C - 16 * c)));
            widths_[c] = widthsOf(x);
        }
        high_ = _mm_movemask_epi8(any) != 0;
        return true;
    }
    // Whether a type has its top bit set (a type of more than one byte); the widths are then
    // of no use.
    bool high() const { return high_; }
    // The sum of the widths of the first n types.
    int64_t prefix(int n) const {
        __m128i sum = _mm_setzero_si128();
        for (int c = 0; c < chunks_ && 16 * c < n; ++c)
            sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_and_si128(widths_[c], firstBytes(n - 16 * c)),
                                                  _mm_setzero_si128()));
        return _mm_cvtsi128_si64(sum) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum));
    }

private:
    // All ones in the first k bytes (k clamped to 0..16).
    static __m128i firstBytes(int k) {
        alignas(16) static constexpr uint8_t kOnesThenZeros[32] = {
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0};
        k = std::clamp(k, 0, 16);
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kOnesThenZeros + 16 - k));
    }
    static __m128i widthsOf(__m128i x) {
        // 12 and above: (t - 12) >> 1, shifted within 16-bit lanes and masked to the byte.
        const __m128i ge12 = _mm_cmpgt_epi8(x, _mm_set1_epi8(11));
        const __m128i big =
            _mm_and_si128(_mm_and_si128(_mm_srli_epi16(_mm_sub_epi8(x, _mm_set1_epi8(12)), 1),
                                        _mm_set1_epi8(0x7F)),
                          ge12);
        // 0 to 4: t; 5: 6; 6 and 7: 8; 8 to 11: 0.
        const __m128i upTo4 = _mm_and_si128(x, _mm_cmplt_epi8(x, _mm_set1_epi8(5)));
        const __m128i five = _mm_and_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(5)), _mm_set1_epi8(6));
        const __m128i sixSeven = _mm_and_si128(
            _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(1)), _mm_set1_epi8(7)), _mm_set1_epi8(8));
        return _mm_or_si128(_mm_or_si128(big, upTo4), _mm_or_si128(five, sixSeven));
    }
    __m128i widths_[4];
    int chunks_ = 0;
    bool high_ = false;
};
#endif

// Walks the record at p. Most records have one-byte serial types only: those are summed at
// once (the running end only grows, so the checks after every column reduce to the checks
// after the last two); any other record goes through the column walk.
template <int N>
FreeblockRecord<N> walkFreeblockRecord(ByteView buf, int64_t p, int64_t L, int C,
                                       const int (&targets)[N]) {
    FreeblockRecord<N> r;
    bool targetsInRecord = true;
    for (int k = 0; k < N; ++k)
        targetsInRecord = targetsInRecord && targets[k] >= 0 && targets[k] < C;
    if (targetsInRecord && p >= 0 && p + C <= buf.size) {
        const uint8_t* t = buf.data + p;
        const auto& width = kSingleByteWidths.width;
        uint32_t high = 0;
        int64_t widths = 0;
        int64_t offsets[N];
#if defined(__SSE2__)
        WideWidths wide;
        if (wide.load(t, buf.size - p, C)) {
            high = wide.high() ? 0x80 : 0;
            if (high == 0) {
                widths = wide.prefix(C - 1);
                for (int k = 0; k < N; ++k)
                    offsets[k] = wide.prefix(targets[k]);
            }
        } else
#endif
        {
            // The targets in column order: the running sum of widths passes each of them once.
            int order[N];
            for (int k = 0; k < N; ++k) {
                int at = k;
                while (at > 0 && targets[order[at - 1]] > targets[k]) {
                    order[at] = order[at - 1];
                    --at;
                }
                order[at] = k;
            }
            high = t[C - 1];
            int j = 0;
            for (int k = 0; k < N; ++k) {
                for (; j < targets[order[k]]; ++j) {
                    high |= t[j];
                    widths += width[t[j] & 0x7F];
                }
                offsets[order[k]] = widths;
            }
            for (; j < C - 1; ++j) {
                high |= t[j];
                widths += width[t[j] & 0x7F];
            }
        }
        if ((high & 0x80) == 0) {
            if (C > 1 && p + (C - 1) + widths >= L)
                return r;
            const int64_t end = p + C + widths + width[t[C - 1]];
            if (end > L)
                return r;
            r.end = end;
            r.valuesOk = true;
            for (int k = 0; k < N; ++k) {
                const int64_t begin = p + C + offsets[k];
                const int64_t length = width[t[targets[k]]];
                if (begin + length > buf.size) {
                    r.valuesOk = false;
                    break;
                }
                r.values[k] = std::string_view(reinterpret_cast<const char*>(buf.data) + begin,
                                               static_cast<size_t>(length));
            }
            return r;
        }
    }
    ColumnWalk walk(buf, p, targets, N);
    r.end = walkInFreeblock(walk, p, L, C);
    if (r.end >= 0) {
        r.valuesOk = true;
        for (int k = 0; k < N && r.valuesOk; ++k)
            r.valuesOk = walk.value(k, r.values[k]);
    }
    return r;
}

// Walks a record in an unallocated area; the walk stops before a column once the running
// total is no longer below the whole area length. Returns true when every column was walked.
bool walkInArea(ColumnWalk& walk, int64_t A, int C) {
    for (int j = 0; j < C; ++j) {
        if (walk.total() >= A)
            return false;
        walk.step();
    }
    return true;
}

} // namespace

void carveContactFreeblock(ByteView buf, int64_t L, int P, int Q, int C, CarvedContacts& out) {
    if (L <= 0 || C < 1)
        return;
    const int targets[2] = {P, Q};
    int64_t p = 0;
    while (true) {
        const FreeblockRecord<2> r = walkFreeblockRecord(buf, p, L, C, targets);
        const int64_t E = r.end;
        if (E < 0)
            return;
        if (r.valuesOk)
            out.add(r.values[0], r.values[1]);
        // The four bytes after a record are the next cell's payload-length and rowid
        // varints; the byte after them is a serial type when below C, else the header length.
        const uint8_t x = buf.at(E + 4);
        p = x < C ? E + 4 : E + 5;
        if (p >= L)
            return;
    }
}

void carveContactArea(ByteView buf, int64_t A, int P, int Q, int C, int K, CarvedContacts& out) {
    if (A <= 0 || C < 1 || K < 0)
        return;
    const int targets[2] = {P, Q};
    int64_t g = 0;
    int64_t small = 0; // the bytes from g up to here are all 7 or less
    while (g < A) {
        if (g + K >= A)
            break;
        // A candidate needs K bytes of 7 or less at g. A larger byte among them rules out
        // every start up to it as well, so the scan goes on after it.
        small = std::max(small, g);
        while (small < g + K && buf.at(small) <= 7)
            ++small;
        if (small < g + K) {
            g = small + 1;
            continue;
        }
        if (checkDataType(buf.at(g + K)) != kClassText) {
            // When the eight bytes from g + K on are all 7 or less, none of them is a text
            // type, and the next eight starts fail alike (zeroed stretches are common).
            uint64_t word = ~uint64_t{0};
            if (g + K + 8 <= buf.size)
                std::memcpy(&word, buf.data + g + K, 8);
            g += (word & 0xF8F8F8F8F8F8F8F8ull) == 0 ? 8 : 1;
            continue;
        }
        ColumnWalk walk(buf, g, targets, 2);
        if (walkInArea(walk, A, C)) {
            std::string_view id, value;
            if (walk.value(0, id) && walk.value(1, value))
                out.add(id, value);
        }
        const int64_t T = walk.total();
        g += (T < A && T > 0) ? T : 1;
    }
}

void carveSmsFreeblock(ByteView buf, int64_t L, int A, int P, int B, int C,
                       std::vector<CarvedMessage>& out) {
    if (L <= 0 || C < 1)
        return;
    const int targets[3] = {A, P, B};
    int64_t p = 0;
    while (true) {
        const FreeblockRecord<3> r = walkFreeblockRecord(buf, p, L, C, targets);
        const int64_t E = r.end;
        if (E < 0)
            return;
        if (r.valuesOk)
            out.push_back(CarvedMessage{std::string(r.values[0]), std::string(r.values[1]),
                                        std::string(r.values[2])});
        // Unlike the contacts carver, a byte equal to C still counts as a serial type here.
        const uint8_t x = buf.at(E + 4);
        p = x <= C ? E + 4 : E + 5;
        if (p >= L)
            return;
    }
}

void carveSmsArea(ByteView buf, int64_t S, int A, int P, int B, int C, int bodyColumn,
                  std::vector<CarvedMessage>& out) {
    if (S <= 0 || C < 1 || bodyColumn < 0)
        return;
    const int targets[3] = {A, P, B};
    int64_t g = 0;
    while (g < S) {
        if (g + 11 >= S)
            break;
        bool ok =
            buf.at(g) <= 7 && buf.at(g + 1) <= 7 && checkDataType(buf.at(g + 2)) == kClassText;
        for (int i = 3; ok && i <= 9; ++i)
            ok = buf.at(g + i) <= 7;
        // The address is always tested at position 2 and the body at its own position; the
        // bytes in between are not tested.
        if (!ok || checkDataType(buf.at(g + bodyColumn)) != kClassText) {
            ++g;
            continue;
        }
        ColumnWalk walk(buf, g, targets, 3);
        if (walkInArea(walk, S, C)) {
            CarvedMessage m;
            if (walk.value(0, m.address) && walk.value(1, m.person) && walk.value(2, m.body))
                out.push_back(std::move(m));
        }
        const int64_t T = walk.total();
        g += (T < S && T > 0) ? T : 1;
    }
}

} // namespace kestrova::engine
