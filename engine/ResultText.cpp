#include "engine/ResultText.h"

#include <algorithm>
#include <cstring>
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

// The converted value, appended without a string of its own.
std::string_view convertedView(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    if (zero != std::string_view::npos)
        bytes = bytes.substr(0, zero);
    return validUtf8(bytes) ? bytes : std::string_view();
}

void appendField(std::string& out, std::string_view bytes) {
    out += convertedView(bytes);
}

// Ids of up to seven bytes packed with their length into one number that orders and compares
// them as exactly as their bytes; longer ids all get the largest number and are compared as
// bytes.
constexpr uint64_t kLongId = ~uint64_t{0};
uint64_t packedId(const std::string& id) {
    if (id.size() > 7)
        return kLongId;
    uint64_t v = 0;
    for (unsigned char c : id)
        v = (v << 8) | c;
    return (uint64_t{id.size()} << 56) | v;
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

std::string buildContactText(const std::vector<CarvedContact>& rows, size_t maxBytes) {
    const size_t n = rows.size();
    std::string out;
    // Rows with a value, grouped by id and ordered by position within a group: the rows of one
    // id form a run in ascending row order. The pairing pass compares a row only with later
    // rows of the same id, which are the rows after it in its run.
    std::vector<uint64_t> key(n);
    std::vector<uint32_t> order;
    order.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (!rows[i].second.empty()) {
            key[i] = packedId(rows[i].first);
            order.push_back(static_cast<uint32_t>(i));
        }
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if (key[a] != key[b])
            return key[a] < key[b];
        if (key[a] == kLongId) {
            const int c = rows[a].first.compare(rows[b].first);
            if (c != 0)
                return c < 0;
        }
        return a < b;
    });
    auto sameId = [&](size_t a, size_t b) {
        return key[a] == key[b] && (key[a] != kLongId || rows[a].first == rows[b].first);
    };
    std::vector<uint32_t> rank(n, 0);
    for (size_t r = 0; r < order.size(); ++r)
        rank[order[r]] = static_cast<uint32_t>(r);
    // Room for the usual text at once: most values are written once or twice. Reserved pages
    // that stay unwritten cost no memory.
    size_t valueBytes = 0;
    for (const CarvedContact& row : rows)
        valueBytes += row.second.size();
    out.reserve(std::min(maxBytes, 2 * valueBytes + 8 * order.size()) + 256);
    std::vector<char> used(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const std::string& vi = rows[i].second;
        if (vi.empty())
            continue;
        const bool digits = isAllDigits(vi);
        for (size_t r = rank[i] + 1; r < order.size(); ++r) {
            const size_t j = order[r];
            if (!sameId(i, j))
                break;
            const std::string& vj = rows[j].second;
            if (vi == vj)
                continue;
            if (out.size() >= maxBytes)
                return out;
            if (digits) {
                appendField(out, vj);
                out += '\t';
                appendField(out, vi);
            } else {
                appendField(out, vi);
                out += '\t';
                appendField(out, vj);
            }
            out += "\r\n";
            used[i] = 1;
            used[j] = 1;
        }
    }
    for (size_t j = 0; j < n; ++j) {
        const std::string& v = rows[j].second;
        if (v.empty() || used[j])
            continue;
        if (out.size() >= maxBytes)
            return out;
        if (isAllDigits(v)) {
            out += "N/A\t";
            appendField(out, v);
        } else {
            appendField(out, v);
            out += "\tN/A";
        }
        out += "\r\n";
    }
    return out;
}

LiveRows::LiveRows(const std::vector<std::pair<std::string, std::string>>& rows) : LiveRows() {
    for (const auto& [id, data1] : rows)
        add(id, data1);
}

void LiveRows::add(std::string_view id, std::string_view data1) {
    // A text longer than 4 GiB cannot come out of one row; cut to what an entry can hold.
    const size_t idLength = std::min<size_t>(id.size(), UINT32_MAX);
    const size_t dataLength = std::min<size_t>(data1.size(), UINT32_MAX);
    const size_t need = idLength + dataLength;
    char* at;
    if (need > kBlockBytes / 4) {
        // A large row gets a block of its own; the current block stays in use.
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(need));
        at = blocks_.back().get();
    } else {
        if (left_ < need) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
            cursor_ = blocks_.back().get();
            left_ = kBlockBytes;
        }
        at = cursor_;
        cursor_ += need;
        left_ -= need;
    }
    if (idLength > 0)
        std::memcpy(at, id.data(), idLength);
    if (dataLength > 0)
        std::memcpy(at + idLength, data1.data(), dataLength);
    if ((size_ & (kEntriesPerBlock - 1)) == 0)
        entries_.push_back(std::make_unique_for_overwrite<Entry[]>(kEntriesPerBlock));
    entries_.back()[size_ & (kEntriesPerBlock - 1)] =
        Entry{at, static_cast<uint32_t>(idLength), static_cast<uint32_t>(dataLength)};
    ++size_;
}

void LiveRows::clear() {
    blocks_.clear();
    entries_.clear();
    cursor_ = nullptr;
    left_ = 0;
    size_ = 0;
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
        const std::string_view value = live.data1(j);
        if (!mayMatch(value.size()))
            continue;
        const auto it = firstByValue.find(value);
        if (it != firstByValue.end() && it->second == kNone) {
            it->second = j;
            firstRowsById.emplace(live.id(j), std::make_pair(kNone, kNone));
        }
    }
    for (size_t j = 0; j < live.size() && !firstRowsById.empty(); ++j) {
        const auto it = firstRowsById.find(live.id(j));
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
            const auto& rows = firstRowsById.find(live.id(j))->second;
            const size_t k = rows.first != j ? rows.first : rows.second;
            if (k != kNone) {
                appendField(out, live.data1(k));
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
