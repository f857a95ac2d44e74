#include "engine/Carve.h"

#include "engine/DbFile.h"

#include <algorithm>
#include <cstring>

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

// Walks the record at p. Most records have one-byte serial types only: those are walked with
// table lookups (the running end only grows, so the checks after every column reduce to the
// checks after the last two); any other record goes through the column walk.
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
        uint32_t high = t[C - 1];
        int64_t widths = 0;
        int64_t offsets[N];
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
            ++g;
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
