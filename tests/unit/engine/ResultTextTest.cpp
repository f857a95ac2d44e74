#include "engine/ResultText.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kestrova::engine;

namespace {

using Rows = PairList;
using Live = std::vector<std::pair<std::string, std::string>>;

// The passes as the result is defined: every row against every later row, and a linear
// search of the live rows per message.
std::string referenceContactText(const Rows& R) {
    std::string out;
    std::vector<size_t> used;
    const size_t n = R.size();
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i; j < n; ++j) {
            if (R[i].second.empty() || R[j].second.empty() || R[i].first != R[j].first ||
                R[i].second == R[j].second)
                continue;
            if (isAllDigits(R[i].second))
                out += utf8ToAnsi(R[j].second) + "\t" + utf8ToAnsi(R[i].second) + "\r\n";
            else
                out += utf8ToAnsi(R[i].second) + "\t" + utf8ToAnsi(R[j].second) + "\r\n";
            used.push_back(i);
            used.push_back(j);
        }
    }
    for (size_t j = 0; j < n; ++j) {
        if (R[j].second.empty() || std::find(used.begin(), used.end(), j) != used.end())
            continue;
        if (isAllDigits(R[j].second))
            out += "N/A\t" + utf8ToAnsi(R[j].second) + "\r\n";
        else
            out += utf8ToAnsi(R[j].second) + "\tN/A\r\n";
    }
    return out;
}

std::string referenceSmsText(const std::vector<CarvedMessage>& messages, const Live& L) {
    std::string out;
    for (const CarvedMessage& m : messages) {
        std::string name = "N/A";
        for (size_t j = 0; j < L.size(); ++j) {
            std::string copy = m.address;
            const auto at = copy.find("+86");
            if (at != std::string::npos)
                copy.erase(at, 3);
            if (copy.empty() || copy != L[j].second)
                continue;
            for (size_t k = 0; k < L.size(); ++k) {
                if (k != j && L[k].first == L[j].first) {
                    name = utf8ToAnsi(L[k].second);
                    break;
                }
            }
            break;
        }
        out += name + "\t" + (m.address.empty() ? "N/A" : utf8ToAnsi(m.address)) + "\t" +
               (m.body.empty() ? "N/A" : utf8ToAnsi(m.body)) + "\r\n";
    }
    return out;
}

struct ContactCase {
    const char* name;
    Rows rows;
    std::string text;
};

void PrintTo(const ContactCase& c, std::ostream* os) {
    *os << c.name;
}

class ContactText : public testing::TestWithParam<ContactCase> {};

TEST_P(ContactText, Lines) {
    EXPECT_EQ(buildContactText(PairRows(GetParam().rows)), GetParam().text);
    EXPECT_EQ(referenceContactText(GetParam().rows), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContactText,
    testing::Values(
        ContactCase{"NameThenNumber", {{"\x07", "Alice"}, {"\x07", "555"}}, "Alice\t555\r\n"},
        ContactCase{"NumberThenName", {{"\x07", "555"}, {"\x07", "Alice"}}, "Alice\t555\r\n"},
        ContactCase{"NameAndTwoNumbers",
                    {{"\x07", "Alice"}, {"\x07", "555"}, {"\x07", "777"}},
                    "Alice\t555\r\nAlice\t777\r\n777\t555\r\n"},
        ContactCase{
            "DashedNumberIsNotDigits", {{"\x07", "55-5"}, {"\x07", "Alice"}}, "55-5\tAlice\r\n"},
        ContactCase{"LoneRows", {{"\x01", "555"}, {"\x02", "Bob"}}, "N/A\t555\r\nBob\tN/A\r\n"},
        ContactCase{"EqualValuesDoNotPair",
                    {{"\x07", "Alice"}, {"\x07", "Alice"}},
                    "Alice\tN/A\r\nAlice\tN/A\r\n"},
        ContactCase{"EmptyValueNeverWritten", {{"\x07", ""}, {"\x07", "555"}}, "N/A\t555\r\n"},
        ContactCase{"InvalidUtf8GivesEmptyField", {{"\x07", "\xC3\x28"}}, "\tN/A\r\n"},
        // Ids differ in width: the bytes must be equal, not the numbers.
        ContactCase{"IdBytesCompared",
                    {{"\x07", "Alice"}, {std::string("\x00\x07", 2), "555"}},
                    "Alice\tN/A\r\nN/A\t555\r\n"},
        ContactCase{"NothingCarved", {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContactText, GroupedPassEqualsQuadraticPassOnGeneratedRows) {
    std::mt19937 rng(42);
    const char* values[] = {"Alice", "555",   "555",  "",         "Боб", "13800138000",
                            "55-5",  "a@b.c", "王伟", "\xFF\xFE", "0"};
    for (int round = 0; round < 200; ++round) {
        Rows rows;
        const int n = static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i) {
            // Few ids so that they repeat across the list, some in a wider encoding.
            const int id = static_cast<int>(rng() % 6);
            std::string idBytes = rng() % 7 == 0 ? std::string(1, '\0') : std::string();
            // Some ids longer than seven bytes, which are grouped by their bytes.
            if (id >= 4)
                idBytes += std::string(7, '\x01');
            idBytes += static_cast<char>(id);
            rows.emplace_back(idBytes, values[rng() % std::size(values)]);
        }
        ASSERT_EQ(buildContactText(PairRows(rows)), referenceContactText(rows))
            << "round " << round;
    }
}

TEST(ContactText, StopsAtALineEndOnceTheBoundIsReached) {
    // One id with many different values: the pairs grow with the square of the rows.
    Rows rows;
    for (int i = 0; i < 300; ++i)
        rows.emplace_back("\x07", "name" + std::to_string(i));
    const std::string full = buildContactText(PairRows(rows));
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 300 * 299 / 2);
    const std::string cut = buildContactText(PairRows(rows), 1000);
    EXPECT_GE(cut.size(), 1000u);
    EXPECT_LT(cut.size(), 1100u);
    EXPECT_EQ(cut, full.substr(0, cut.size()));
    EXPECT_EQ(cut.substr(cut.size() - 2), "\r\n");
}

TEST(SmsText, NameLookupAndFields) {
    const Live live = {{"3", "王伟"}, {"3", "138"}, {"4", "Bob"}, {"4", "200"},
                       {"5", "300"},  {"6", ""},    {"6", "Eve"}};
    const std::vector<CarvedMessage> msgs = {
        {"+86138", "", "hi"},      // "+86" removed for the lookup only
        {"200", "\x04", ""},       // empty body shows N/A
        {"999", "", "who?"},       // no live number
        {"300", "", "x"},          // the contact has no other row
        {"", "", "no address"},    // an empty address names nobody
        {"+86", "", "only code"}}; // nor does one that is empty once "+86" is removed
    const std::string expected = "王伟\t+86138\thi\r\n"
                                 "Bob\t200\tN/A\r\n"
                                 "N/A\t999\twho?\r\n"
                                 "N/A\t300\tx\r\n"
                                 "N/A\tN/A\tno address\r\n"
                                 "N/A\t+86\tonly code\r\n";
    EXPECT_EQ(buildSmsText(msgs, LiveRows(live)), expected);
    EXPECT_EQ(referenceSmsText(msgs, live), expected);
    EXPECT_EQ(buildSmsText({}, LiveRows(live)), "");
}

TEST(SmsText, HashedLookupEqualsLinearLookupOnGeneratedRows) {
    std::mt19937 rng(7);
    const char* numbers[] = {"138", "+86138", "138+86", "200", "", "+86+86138", "\xC3"};
    const char* names[] = {"Alice", "", "Боб", "138", "200"};
    for (int round = 0; round < 200; ++round) {
        Live live;
        const int n = static_cast<int>(rng() % 20);
        for (int i = 0; i < n; ++i) {
            const std::string id = std::to_string(rng() % 5);
            live.emplace_back(id, rng() % 2 ? numbers[rng() % std::size(numbers)]
                                            : names[rng() % std::size(names)]);
        }
        std::vector<CarvedMessage> msgs;
        for (int i = 0; i < 10; ++i)
            msgs.push_back({numbers[rng() % std::size(numbers)], "", rng() % 3 ? "b" : ""});
        ASSERT_EQ(buildSmsText(msgs, LiveRows(live)), referenceSmsText(msgs, live))
            << "round " << round;
    }
}

TEST(LiveRows, KeepsEveryRowAcrossItsBlocks) {
    // Enough rows to fill several entry and byte blocks, with empty values and rows larger than
    // a block's share in between: every row must come back as it was added.
    LiveRows live;
    std::vector<std::pair<std::string, std::string>> added;
    for (int i = 0; i < 150000; ++i) {
        std::string id = std::to_string(i / 3);
        std::string value = i % 7 == 0 ? std::string() : "value-" + std::to_string(i);
        if (i % 40000 == 5)
            value.assign(700000, static_cast<char>('a' + i % 26));
        live.add(id, value);
        added.emplace_back(std::move(id), std::move(value));
    }
    ASSERT_EQ(live.size(), added.size());
    for (size_t j = 0; j < added.size(); ++j) {
        ASSERT_EQ(live.first(j), added[j].first) << j;
        ASSERT_EQ(live.second(j), added[j].second) << j;
    }
    live.clear();
    EXPECT_TRUE(live.empty());
    live.add("1", "x");
    EXPECT_EQ(live.second(0), "x");
}

TEST(LiveRows, MovedRowsStayAndTheSourceStartsAgainEmpty) {
    // The run swaps row stores while it carves; a moved-from store must be empty and usable.
    LiveRows a;
    for (int i = 0; i < 5000; ++i)
        a.add(std::to_string(i), "v" + std::to_string(i));
    LiveRows b = std::move(a);
    EXPECT_TRUE(a.empty());
    a.add("x", "y");
    std::swap(a, b);
    ASSERT_EQ(a.size(), 5000u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a.second(4999), "v4999");
    EXPECT_EQ(b.first(0), "x");
    a.add("last", "row");
    EXPECT_EQ(a.second(5000), "row");
}

struct ConvCase {
    std::string in;
    std::string out;
};

class Utf8ToAnsi : public testing::TestWithParam<ConvCase> {};

TEST_P(Utf8ToAnsi, Converts) {
    EXPECT_EQ(utf8ToAnsi(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToAnsi,
    testing::Values(ConvCase{"Alice", "Alice"}, ConvCase{"王伟 🎉", "王伟 🎉"},
                    ConvCase{std::string("Ali\0ce", 6), "Ali"},
                    ConvCase{std::string("\xFF\0ok", 4), ""}, ConvCase{"\xC3\x28", ""},
                    ConvCase{"\xE2\x82", ""},         // cut short
                    ConvCase{"\xC0\xAF", ""},         // overlong
                    ConvCase{"\xED\xA0\x80", ""},     // surrogate
                    ConvCase{"\xF4\x90\x80\x80", ""}, // past U+10FFFF
                    // Past eight plain bytes, which are read eight at once.
                    ConvCase{"alice@example.org", "alice@example.org"},
                    ConvCase{std::string("0123456789\0\xFF", 12), "0123456789"},
                    ConvCase{"0123456789\xFF", ""},
                    ConvCase{"Aleksandr Ivanov \xD0\x98", "Aleksandr Ivanov \xD0\x98"},
                    ConvCase{"Aleksandr Ivanov \xD0", ""}, ConvCase{"", ""}));

TEST(Utf8ToAnsi, ZeroOrInvalidByteAtEveryPositionOfEveryShortLength) {
    // Plain values are recognised a word at a time, with overlapping loads for the bytes
    // left over: a zero byte or a byte that is not ASCII must be seen wherever it lies.
    for (size_t n = 1; n <= 20; ++n) {
        const std::string plain = std::string("0123456789abcdefghij").substr(0, n);
        EXPECT_EQ(utf8ToAnsi(plain), plain);
        for (size_t k = 0; k < n; ++k) {
            std::string zero = plain, high = plain;
            zero[k] = '\0';
            high[k] = '\xFF';
            EXPECT_EQ(utf8ToAnsi(zero), plain.substr(0, k)) << n << " " << k;
            EXPECT_EQ(utf8ToAnsi(high), "") << n << " " << k;
        }
    }
}

} // namespace
