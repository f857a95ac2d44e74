// The result texts of a run. Every line ends with CR LF, fields are separated by one TAB and
// an empty field shows as "N/A". Nothing is escaped.
//
//   contacts: name TAB number
//   messages: contact name TAB address TAB body
#pragma once

#include "engine/Carve.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova::engine {

// Narrow text is UTF-8 here: the bytes up to the first zero byte, or the empty string when
// they are not valid UTF-8.
std::string utf8ToAnsi(std::string_view bytes);

// True when every byte is an ASCII digit (checked on the carved bytes).
bool isAllDigits(std::string_view bytes);

// Pairs the rows of one contact (same raw_contact_id bytes, different non-empty values) into
// lines; one row can pair with several others. Rows that paired with nothing follow alone.
//
// The pairs of one id grow with the square of its rows: a hostile file that gives thousands of
// carved rows one id would ask for billions of lines. The text therefore stops, at a line's
// end, once it reaches `maxBytes`; a real phone's text stays far below the default.
constexpr size_t kMaxContactTextBytes = size_t{256} << 20;
std::string buildContactText(const std::vector<CarvedContact>& rows,
                             size_t maxBytes = kMaxContactTextBytes);

// The live rows of table data as (raw_contact_id text, data1 text). A phone holds hundreds of
// thousands of them, so the bytes go into fixed blocks that are never moved or copied again,
// and each row costs one small entry beside its bytes.
class LiveRows {
public:
    LiveRows() = default;
    explicit LiveRows(const std::vector<std::pair<std::string, std::string>>& rows);
    LiveRows(const LiveRows&) = delete;
    LiveRows& operator=(const LiveRows&) = delete;
    void add(std::string_view id, std::string_view data1);
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view id(size_t j) const {
        const Entry& e = entry(j);
        return std::string_view(e.bytes, e.idLength);
    }
    std::string_view data1(size_t j) const {
        const Entry& e = entry(j);
        return std::string_view(e.bytes + e.idLength, e.dataLength);
    }
    void clear();

private:
    struct Entry {
        const char* bytes; // id, then data1
        uint32_t idLength;
        uint32_t dataLength;
    };
    static constexpr size_t kBlockBytes = size_t{1} << 20;
    static constexpr size_t kEntryShift = 16;
    static constexpr size_t kEntriesPerBlock = size_t{1} << kEntryShift;
    const Entry& entry(size_t j) const {
        return entries_[j >> kEntryShift][j & (kEntriesPerBlock - 1)];
    }
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* cursor_ = nullptr; // free bytes of the block that small rows fill
    size_t left_ = 0;
    std::vector<std::unique_ptr<Entry[]>> entries_;
    size_t size_ = 0;
};

// One line per message; the name comes from the live (raw_contact_id, data1) rows: the first
// row whose data1 equals the address without its first "+86" names the contact, and another
// row of that contact gives the name.
std::string buildSmsText(const std::vector<CarvedMessage>& messages, const LiveRows& live);

} // namespace kestrova::engine
