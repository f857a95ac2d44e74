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
        ColumnWalk walk(buf, p, targets, 2);
        const int64_t E = walkInFreeblock(walk, p, L, C);
        if (E < 0)
            return;
        std::string_view id, value;
        if (walk.value(0, id) && walk.value(1, value))
            out.add(id, value);
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
    while (g < A) {
        if (g + K >= A)
            break;
        bool header = true;
        for (int i = 0; i < K; ++i) {
            if (buf.at(g + i) > 7) {
                header = false;
                break;
            }
        }
        if (!header || checkDataType(buf.at(g + K)) != kClassText) {
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
        ColumnWalk walk(buf, p, targets, 3);
        const int64_t E = walkInFreeblock(walk, p, L, C);
        if (E < 0)
            return;
        CarvedMessage m;
        if (walk.value(0, m.address) && walk.value(1, m.person) && walk.value(2, m.body))
            out.push_back(std::move(m));
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
