// The result texts of a run. Every line ends with CR LF, fields are separated by one TAB and
// an empty field shows as "N/A". Nothing is escaped.
//
//   contacts: name TAB number
//   messages: contact name TAB address TAB body
#pragma once

#include "engine/Carve.h"
#include "engine/PairRows.h"

#include <cstdint>
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
std::string buildContactText(const PairRows& rows, size_t maxBytes = kMaxContactTextBytes);

// The live rows of table data as (raw_contact_id text, data1 text).
using LiveRows = PairRows;

// One line per message; the name comes from the live (raw_contact_id, data1) rows: the first
// row whose data1 equals the address without its first "+86" names the contact, and another
// row of that contact gives the name.
std::string buildSmsText(const std::vector<CarvedMessage>& messages, const LiveRows& live);

} // namespace kestrova::engine
