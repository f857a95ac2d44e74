#include "engine/ResultText.h"

#include "engine/LargeBlock.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace kestrova::engine {

namespace {

bool validUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: no byte has its top bit set.
        if (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        unsigned cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            min = 0x80;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            min = 0x800;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            min = 0x10000;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned cc = p[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

uint64_t load64(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

uint32_t load32(const char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// True when all n bytes are plain ASCII: none is zero, none has its top bit set. Eight bytes
// at a time, the last eight overlapping the ones before; short values in two overlapping
// halves.
bool plainAscii(const char* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    auto plain = [](uint64_t w) { return ((((w - kOnes) & ~w) | w) & kHigh) == 0; };
    if (n >= 8) {
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            if (!plain(load64(p + i)))
                return false;
        }
        return i == n || plain(load64(p + n - 8));
    }
    if (n >= 4)
        return plain(load32(p) | (uint64_t{load32(p + n - 4)} << 32));
    if (n == 0)
        return true;
    // One to three bytes: the first, the middle and the last cover them; the rest reads 1.
    const auto byte = [&](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
    return plain((kOnes & ~uint64_t{0xFFFFFF}) | byte(0) | (byte(n / 2) << 8) |
                 (byte(n - 1) << 16));
}

[[gnu::noinline]] std::string_view convertedSlow(std::string_view bytes) {
    const char* p = bytes.data();
    const size_t n = bytes.size();
    size_t i = 0;
    for (; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c == 0 || c >= 0x80)
            break;
    }
    // The plain bytes before i are valid on their own; the rest is checked from there.
    size_t end = i;
    while (end < n && p[end] != 0)
        ++end;
    return validUtf8(std::string_view(p + i, end - i)) ? bytes.substr(0, end) : std::string_view();
}

// The converted value, appended without a string of its own. Most values are plain ASCII.
std::string_view convertedView(std::string_view bytes) {
    return plainAscii(bytes.data(), bytes.size()) ? bytes : convertedSlow(bytes);
}

void appendField(std::string& out, std::string_view bytes) {
    out += convertedView(bytes);
}

uint32_t idHash(std::string_view id) {
    uint64_t k;
    if (id.size() <= 7) {
        // Short ids (the usual integer ids) packed with their length, then mixed.
        k = id.size();
        for (unsigned char c : id)
            k = (k << 8) | c;
    } else {
        k = std::hash<std::string_view>{}(id);
    }
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    return static_cast<uint32_t>(k);
}

// Links every row with a non-empty value to the next such row with the same id, in row order:
// next[i] is that row plus one, or 0 after the last. The arrays of a run are large and filled
// once, so they live in large blocks.
LargeBlock chainRowsById(const PairRows& rows) {
    const size_t n = rows.size();
    LargeBlock chain(n * sizeof(uint32_t));
    auto* next = reinterpret_cast<uint32_t*>(chain.data());
    // Open addressing over the ids: per slot the id's hash and its latest row plus one (0: a
    // free slot). A hash match is confirmed on the bytes of that row's id. At most 70 % of the
    // slots are used; the table starts at the size a usual run needs.
    struct Slot {
        uint32_t hash;
        uint32_t tail; // row + 1
    };
    size_t capacity = 1024;
    while (capacity < n / 2)
        capacity *= 2;
    LargeBlock table(capacity * sizeof(Slot));
    auto* slots = reinterpret_cast<Slot*>(table.data());
    size_t used = 0;
    bool haveLast = false; // the previous row's id and slot, while the slot is valid
    std::string_view lastId;
    size_t lastSlot = 0;
    // The slots are read in no useful order: the slot of a row a little ahead is fetched into
    // the cache while this row is handled, and its hash is kept so that each id is hashed once.
    constexpr size_t kAhead = 16;
    uint32_t ahead[kAhead];
    for (size_t i = 0; i < kAhead && i < n; ++i)
        ahead[i] = idHash(rows.first(i));
    for (size_t i = 0; i < n; ++i) {
        const uint32_t hashHere = ahead[i % kAhead];
        if (i + kAhead < n) {
            const uint32_t later = idHash(rows.first(i + kAhead));
            ahead[i % kAhead] = later;
            __builtin_prefetch(&slots[later & (capacity - 1)]);
        }
        if (rows.second(i).empty())
            continue;
        const std::string_view id = rows.first(i);
        if (haveLast && id == lastId) {
            // The rows of one contact mostly follow each other: the same slot again.
            next[slots[lastSlot].tail - 1] = static_cast<uint32_t>(i + 1);
            slots[lastSlot].tail = static_cast<uint32_t>(i + 1);
            continue;
        }
        const uint32_t hash = hashHere;
        size_t h = hash & (capacity - 1);
        while (slots[h].tail != 0 && (slots[h].hash != hash || rows.first(slots[h].tail - 1) != id))
            h = (h + 1) & (capacity - 1);
        haveLast = true;
        lastId = id;
        lastSlot = h;
        if (slots[h].tail != 0) {
            next[slots[h].tail - 1] = static_cast<uint32_t>(i + 1);
            slots[h].tail = static_cast<uint32_t>(i + 1);
            continue;
        }
        slots[h] = Slot{hash, static_cast<uint32_t>(i + 1)};
        if (++used * 10 > capacity * 7) {
            LargeBlock bigger(capacity * 2 * sizeof(Slot));
            auto* moved = reinterpret_cast<Slot*>(bigger.data());
            const size_t mask = capacity * 2 - 1;
            for (size_t k = 0; k < capacity; ++k) {
                if (slots[k].tail == 0)
                    continue;
                size_t t = slots[k].hash & mask;
                while (moved[t].tail != 0)
                    t = (t + 1) & mask;
                moved[t] = slots[k];
            }
            table = std::move(bigger);
            slots = moved;
            capacity *= 2;
            haveLast = false;
        }
    }
    return chain;
}

} // namespace

std::string utf8ToAnsi(std::string_view bytes) {
    return std::string(convertedView(bytes));
}

bool isAllDigits(std::string_view bytes) {
    for (char c : bytes) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

namespace {

// Writes a text through a cursor into room made ahead, a megabyte at a time, so that a line
// costs a few copies and no checks per field. The room is reserved for the expected size at
// once, so that it rarely moves.
class TextWriter {
public:
    explicit TextWriter(size_t expected) {
        reserveOnHugePages(text_, expected);
        cursor_ = end_ = text_.data();
    }

    // Room for `n` more bytes.
    void room(size_t n) {
        if (static_cast<size_t>(end_ - cursor_) < n)
            grow(n);
    }
    void put(const char* p, size_t n) {
        // Values are mostly short: copied in two overlapping pieces, without a call.
        if (n >= 8 && n <= 16) {
            const uint64_t head = load64(p), tail = load64(p + n - 8);
            std::memcpy(cursor_, &head, 8);
            std::memcpy(cursor_ + n - 8, &tail, 8);
        } else if (n >= 4 && n < 8) {
            const uint32_t head = load32(p), tail = load32(p + n - 4);
            std::memcpy(cursor_, &head, 4);
            std::memcpy(cursor_ + n - 4, &tail, 4);
        } else {
            std::memcpy(cursor_, p, n);
        }
        cursor_ += n;
    }
    template <size_t N> void put(const char (&literal)[N]) { put(literal, N - 1); }
    size_t size() const { return static_cast<size_t>(cursor_ - text_.data()); }
    // The text written.
    std::string finish() {
        text_.resize(size());
        return std::move(text_);
    }

private:
    void grow(size_t n) {
        const size_t used = size();
        text_.resize(std::max(used + n, text_.size() + kStep));
        cursor_ = text_.data() + used;
        end_ = text_.data() + text_.size();
    }
    static constexpr size_t kStep = size_t{1} << 20;
    std::string text_;
    char* cursor_;
    char* end_;
};

} // namespace

std::string buildContactText(const PairRows& rows, size_t maxBytes) {
    const size_t n = rows.size();
    if (n == 0)
        return std::string();
    // The pairing pass compares a row only with later rows of the same id: the rows its chain
    // leads to, in ascending row order.
    const LargeBlock chain = chainRowsById(rows);
    const auto* next = reinterpret_cast<const uint32_t*>(chain.data());
    // Room for the usual text at once: most values are written once or twice. Reserved pages
    // that stay unwritten cost no memory.
    TextWriter text(std::min(maxBytes, 2 * rows.secondBytes() + 8 * n) + 256);
    // Per row: its value's converted length plus one (0 before first use: a value appears in
    // one line per pair it is part of and is converted once), and whether it has paired.
    LargeBlock rowState(n * (sizeof(uint32_t) + 1));
    auto* converted = reinterpret_cast<uint32_t*>(rowState.data());
    uint8_t* used = rowState.data() + n * sizeof(uint32_t);
    auto field = [&](size_t row, std::string_view v) {
        if (converted[row] == 0)
            converted[row] = static_cast<uint32_t>(convertedView(v).size()) + 1;
        text.put(v.data(), converted[row] - 1);
    };
    for (size_t i = 0; i < n; ++i) {
        if (next[i] == 0)
            continue; // no later row of its id, or an empty value
        const std::string_view vi = rows.second(i);
        int digits = -1; // whether vi is all digits, once asked
        for (uint32_t j = next[i] - 1; j != UINT32_MAX; j = next[j] - 1) {
            const std::string_view vj = rows.second(j);
            if (vi == vj)
                continue;
            if (text.size() >= maxBytes)
                return text.finish();
            if (digits < 0)
                digits = isAllDigits(vi) ? 1 : 0;
            text.room(vi.size() + vj.size() + 3);
            if (digits != 0) {
                field(j, vj);
                text.put("\t");
                field(i, vi);
            } else {
                field(i, vi);
                text.put("\t");
                field(j, vj);
            }
            text.put("\r\n");
            used[i] = 1;
            used[j] = 1;
        }
    }
    for (size_t j = 0; j < n; ++j) {
        if (used[j])
            continue;
        const std::string_view v = rows.second(j);
        if (v.empty())
            continue;
        if (text.size() >= maxBytes)
            return text.finish();
        text.room(v.size() + 6);
        if (isAllDigits(v)) {
            text.put("N/A\t");
            field(j, v);
        } else {
            field(j, v);
            text.put("\tN/A");
        }
        text.put("\r\n");
    }
    return text.finish();
}

std::string buildSmsText(const std::vector<CarvedMessage>& messages, const LiveRows& live) {
    std::string out;
    if (messages.empty())
        return out;
    constexpr size_t kNone = static_cast<size_t>(-1);
    // The lookup keys of the messages (address without its first "+86"), each with the first
    // live row whose data1 equals it; then, for the contacts those rows belong to, their first
    // two rows. Indexing only what the messages ask for keeps this small next to the live rows.
    std::vector<std::string> keys(messages.size());
    std::unordered_map<std::string_view, size_t> firstByValue;
    uint64_t keyLengths = 0; // bit n: some key is n bytes long
    bool longKeys = false;
    for (size_t i = 0; i < messages.size(); ++i) {
        keys[i] = messages[i].address;
        const auto cc = keys[i].find("+86");
        if (cc != std::string::npos)
            keys[i].erase(cc, 3);
        // An empty address names nobody: it would otherwise match any live row whose data1
        // is empty and put an unrelated contact's name on the message.
        if (!keys[i].empty()) {
            firstByValue.emplace(keys[i], kNone);
            if (keys[i].size() < 64)
                keyLengths |= uint64_t{1} << keys[i].size();
            else
                longKeys = true;
        }
    }
    // Most live values cannot match by their length alone; only the others are looked up.
    auto mayMatch = [&](size_t length) {
        return length < 64 ? ((keyLengths >> length) & 1) != 0 : longKeys;
    };
    std::unordered_map<std::string_view, std::pair<size_t, size_t>> firstRowsById;
    for (size_t j = 0; j < live.size(); ++j) {
        const std::string_view value = live.second(j);
        if (!mayMatch(value.size()))
            continue;
        const auto it = firstByValue.find(value);
        if (it != firstByValue.end() && it->second == kNone) {
            it->second = j;
            firstRowsById.emplace(live.first(j), std::make_pair(kNone, kNone));
        }
    }
    for (size_t j = 0; j < live.size() && !firstRowsById.empty(); ++j) {
        const auto it = firstRowsById.find(live.first(j));
        if (it == firstRowsById.end())
            continue;
        if (it->second.first == kNone)
            it->second.first = j;
        else if (it->second.second == kNone)
            it->second.second = j;
    }
    for (size_t i = 0; i < messages.size(); ++i) {
        const CarvedMessage& m = messages[i];
        bool named = false;
        const auto hit = keys[i].empty() ? firstByValue.end() : firstByValue.find(keys[i]);
        if (hit != firstByValue.end() && hit->second != kNone) {
            const size_t j = hit->second;
            const auto& rows = firstRowsById.find(live.first(j))->second;
            const size_t k = rows.first != j ? rows.first : rows.second;
            if (k != kNone) {
                appendField(out, live.second(k));
                named = true;
            }
        }
        if (!named)
            out += "N/A";
        out += '\t';
        if (!m.address.empty())
            appendField(out, m.address);
        else
            out += "N/A";
        out += '\t';
        if (!m.body.empty())
            appendField(out, m.body);
        else
            out += "N/A";
        out += "\r\n";
    }
    return out;
}

} // namespace kestrova::engine
