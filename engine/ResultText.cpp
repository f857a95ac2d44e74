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

void appendField(std::string& out, std::string_view bytes) {
    out += utf8ToAnsi(bytes);
}

} // namespace

std::string utf8ToAnsi(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    if (zero != std::string_view::npos)
        bytes = bytes.substr(0, zero);
    if (!validUtf8(bytes))
        return {};
    return std::string(bytes);
}

bool isAllDigits(std::string_view bytes) {
    for (char c : bytes) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

std::string buildContactText(const std::vector<CarvedContact>& rows) {
    const size_t n = rows.size();
    std::string out;
    // Rows grouped by id bytes, each group in ascending row order: the pairing pass compares
    // a row only with later rows of the same id, so only its own group needs visiting.
    std::unordered_map<std::string_view, std::vector<size_t>> groups;
    groups.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (!rows[i].second.empty())
            groups[rows[i].first].push_back(i);
    }
    std::vector<char> used(n, 0);
    std::vector<std::string> converted(n);
    std::vector<char> convertedDone(n, 0);
    auto conv = [&](size_t k) -> const std::string& {
        if (!convertedDone[k]) {
            converted[k] = utf8ToAnsi(rows[k].second);
            convertedDone[k] = 1;
        }
        return converted[k];
    };
    for (size_t i = 0; i < n; ++i) {
        const std::string& vi = rows[i].second;
        if (vi.empty())
            continue;
        const auto& group = groups.find(rows[i].first)->second;
        const bool digits = isAllDigits(vi);
        auto it = std::upper_bound(group.begin(), group.end(), i);
        for (; it != group.end(); ++it) {
            const size_t j = *it;
            const std::string& vj = rows[j].second;
            if (vi == vj)
                continue;
            if (digits) {
                out += conv(j);
                out += '\t';
                out += conv(i);
            } else {
                out += conv(i);
                out += '\t';
                out += conv(j);
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
        if (isAllDigits(v)) {
            out += "N/A\t";
            out += conv(j);
        } else {
            out += conv(j);
            out += "\tN/A";
        }
        out += "\r\n";
    }
    return out;
}

std::string buildSmsText(const std::vector<CarvedMessage>& messages,
                         const std::vector<std::pair<std::string, std::string>>& live) {
    std::string out;
    if (messages.empty())
        return out;
    // First live row for each data1 text, and the first two rows of each raw_contact_id.
    std::unordered_map<std::string_view, size_t> byValue;
    std::unordered_map<std::string_view, std::pair<size_t, size_t>> byId;
    constexpr size_t kNone = static_cast<size_t>(-1);
    byValue.reserve(live.size());
    byId.reserve(live.size());
    for (size_t j = 0; j < live.size(); ++j) {
        byValue.emplace(live[j].second, j);
        auto [it, fresh] = byId.emplace(live[j].first, std::make_pair(j, kNone));
        if (!fresh && it->second.second == kNone)
            it->second.second = j;
    }
    for (const CarvedMessage& m : messages) {
        std::string key = m.address;
        const auto cc = key.find("+86");
        if (cc != std::string::npos)
            key.erase(cc, 3);
        bool named = false;
        // An empty address names nobody: it would otherwise match any live row whose data1
        // is empty and put an unrelated contact's name on the message.
        const auto hit = key.empty() ? byValue.end() : byValue.find(key);
        if (hit != byValue.end()) {
            const size_t j = hit->second;
            const auto& ids = byId.find(live[j].first)->second;
            const size_t k = ids.first != j ? ids.first : ids.second;
            if (k != kNone) {
                appendField(out, live[k].second);
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
