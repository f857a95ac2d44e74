// The carvers on hand-built freeblock and area bytes. Contacts use a four-column table
// (_id, mimetype_id, raw_contact_id, data1): P = 2, Q = 3, C = 4. Messages use a 13-column
// table like sms (address at 2, person at 3, body at 12).
#include "engine/Carve.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kestrova::engine;

namespace {

using Rows = PairList;

// _id NULL, mimetype 1 byte, raw_contact_id 1 byte, data1 text.
Bytes contactRecord(uint8_t id, const std::string& data1) {
    return record({0, 1, 1, 13 + 2 * data1.size()}, cat({{5}, {id}, textBytes(data1)}));
}

Rows carveFreeblock(const Bytes& bytes, int64_t L) {
    ScratchBuffer s;
    s.loadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
    PairRows out;
    carveContactFreeblock(s.view(), L, 2, 3, 4, out);
    return pairsOf(out);
}

// The engine also carves a freeblock where the file keeps its bytes: a view of exactly L bytes,
// followed by whatever the file holds next. That must give the rows of the zeroed buffer.
Rows carveFreeblockInPlace(const Bytes& bytes, int64_t L) {
    Bytes file(bytes.begin(), bytes.begin() + std::min<int64_t>(L, bytes.size()));
    file.resize(static_cast<size_t>(L), 0);
    file.resize(static_cast<size_t>(L) + 64, 0xFF);
    PairRows out;
    carveContactFreeblock(ByteView{file.data(), L}, L, 2, 3, 4, out);
    return pairsOf(out);
}

Rows carveArea(const Bytes& bytes, int64_t A) {
    ScratchBuffer s;
    s.loadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
    PairRows out;
    carveContactArea(s.view(), A, 2, 3, 4, 3, out);
    return pairsOf(out);
}

Rows rows(std::initializer_list<std::pair<uint8_t, const char*>> r) {
    Rows out;
    for (auto [id, v] : r)
        out.emplace_back(std::string(1, static_cast<char>(id)), v);
    return out;
}

struct FreeblockCase {
    const char* name;
    Bytes bytes;
    int64_t L; // -1: the length of the bytes
    Rows expected;
};

void PrintTo(const FreeblockCase& c, std::ostream* os) {
    *os << c.name;
}

class ContactFreeblock : public testing::TestWithParam<FreeblockCase> {};

TEST_P(ContactFreeblock, Carves) {
    const auto& c = GetParam();
    const int64_t L = c.L < 0 ? static_cast<int64_t>(c.bytes.size()) : c.L;
    EXPECT_EQ(carveFreeblock(c.bytes, L), c.expected);
    if (L > 0) {
        EXPECT_EQ(carveFreeblockInPlace(c.bytes, L), c.expected);
    }
}

const Bytes kAlice = contactRecord(7, "Alice");
const Bytes kPhone = contactRecord(7, "555");

INSTANTIATE_TEST_SUITE_P(
    Cases, ContactFreeblock,
    testing::Values(
        FreeblockCase{"EndsExactlyAtLastByte", kAlice, -1, rows({{7, "Alice"}})},
        FreeblockCase{
            "OneByteTooLongIsDropped", kAlice, static_cast<int64_t>(kAlice.size()) - 1, {}},
        FreeblockCase{"NotPositiveLength", kAlice, 0, {}},
        // Four bytes of payload length and rowid, then a serial type below C.
        FreeblockCase{"NextRecordAfterFourBytes", cat({kAlice, {0x11, 0x81, 0x02, 0x05}, kPhone}),
                      -1, rows({{7, "Alice"}, {7, "555"}})},
        // The byte after the four is not below C: it is the header length, skipped too.
        FreeblockCase{"HeaderLengthByteSkipped",
                      cat({kAlice, {0x11, 0x81, 0x02, 0x82}, {5}, kPhone}), -1,
                      rows({{7, "Alice"}, {7, "555"}})},
        // x == C is a header-length byte for contacts (messages take it as a serial type).
        FreeblockCase{"ByteEqualToColumnCountSkipped",
                      cat({kAlice, {0x11, 0x81, 0x02, 0x82}, {4}, kPhone}), -1,
                      rows({{7, "Alice"}, {7, "555"}})},
        FreeblockCase{
            "IncompleteSecondRecordDropped", cat({kAlice, {0x11, 0x81, 0x02, 0x82}, {5}, kPhone}),
            static_cast<int64_t>(kAlice.size() + 5 + kPhone.size() - 2), rows({{7, "Alice"}})},
        // A garbage serial type claiming gigabytes overruns the freeblock: dropped.
        FreeblockCase{
            "HugeWidthDropped", record({0, 1, 1, 0x8F}, Bytes{0xFF, 0xFF, 0xFF, 0x7F}), -1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FreeblockStart, ByteBelowSevenIsAColumnSerialType) {
    struct Case {
        uint8_t b;
        int64_t offset, length;
    } cases[] = {{0, 4, 96}, {6, 4, 96}, {7, 5, 95}, {0x30, 5, 95}};
    for (const auto& c : cases) {
        const CarveStart s = freeblockCarveStart(100, c.b);
        EXPECT_EQ(s.offset, c.offset) << int(c.b);
        EXPECT_EQ(s.length, c.length) << int(c.b);
    }
}

TEST(ContactFreeblock, IdColumnAfterTheValueColumn) {
    // raw_contact_id at 3 after data1 at 2: each value comes from its own column.
    const Bytes rec = record({0, 1, 13 + 2 * 5, 1}, cat({{5}, textBytes("Alice"), {7}}));
    PairRows out;
    ScratchBuffer s;
    s.loadBytes(rec.data(), static_cast<int64_t>(rec.size()));
    carveContactFreeblock(s.view(), static_cast<int64_t>(rec.size()), 3, 2, 4, out);
    EXPECT_EQ(pairsOf(out), rows({{7, "Alice"}}));
}

TEST(ContactFreeblock, EveryOneByteSerialTypeHasItsWidth) {
    // Records of many columns whose types run through every one-byte serial type at every
    // position: the id and the value come out right only when the widths before them add up.
    // Below 65 columns the widths are summed 16 at a time, beyond that one by one.
    auto formatWidth = [](uint64_t t) -> size_t {
        constexpr size_t kFixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
        return t < 12 ? kFixed[t] : static_cast<size_t>((t - 12) / 2);
    };
    for (const int C : {17, 40, 64, 70}) {
        const int P = C / 2, Q = C - 2;
        for (int shift = 0; shift < 128; ++shift) {
            const std::string value = "v" + std::to_string(shift);
            Bytes types, body;
            for (int k = 0; k < C; ++k) {
                uint64_t t = static_cast<uint64_t>((shift + 7 * k) % 128);
                if (k == P)
                    t = 1;
                if (k == Q)
                    t = 13 + 2 * value.size();
                appendVarint(types, t);
                if (k == P)
                    body.push_back(static_cast<uint8_t>(shift));
                else if (k == Q)
                    body.insert(body.end(), value.begin(), value.end());
                else
                    for (size_t i = 0; i < formatWidth(t); ++i)
                        body.push_back(static_cast<uint8_t>(k * 31 + i));
            }
            const Bytes rec = cat({types, body});
            const Rows expected{{std::string(1, static_cast<char>(shift)), value}};
            for (const bool inPlace : {false, true}) {
                PairRows out;
                ScratchBuffer s;
                s.loadBytes(rec.data(), static_cast<int64_t>(rec.size()));
                const ByteView view =
                    inPlace ? ByteView{rec.data(), static_cast<int64_t>(rec.size())} : s.view();
                carveContactFreeblock(view, static_cast<int64_t>(rec.size()), P, Q, C, out);
                EXPECT_EQ(pairsOf(out), expected)
                    << "C " << C << " shift " << shift << " in place " << inPlace;
            }
        }
    }
}

struct AreaCase {
    const char* name;
    Bytes bytes;
    int64_t A; // -1: the length of the bytes
    Rows expected;
};

void PrintTo(const AreaCase& c, std::ostream* os) {
    *os << c.name;
}

class ContactArea : public testing::TestWithParam<AreaCase> {};

TEST_P(ContactArea, Carves) {
    const auto& c = GetParam();
    EXPECT_EQ(carveArea(c.bytes, c.A < 0 ? static_cast<int64_t>(c.bytes.size()) : c.A), c.expected);
}

// A data1 serial-type byte that is not odd and 13 or more rejects the candidate.
Bytes withData1Type(uint8_t t) {
    return cat({Bytes(6, 0), {0, 1, 1, t, 5, 7}, Bytes(8, 0)});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContactArea,
    testing::Values(
        AreaCase{"RecordAfterZeros", cat({Bytes(5, 0), kAlice, Bytes(3, 0)}), -1,
                 rows({{7, "Alice"}})},
        // A byte above 7 rules out the starts before it; the record right after it counts.
        AreaCase{"RecordRightAfterALargeByte", cat({{0, 0, 9}, kAlice, Bytes(3, 0)}), -1,
                 rows({{7, "Alice"}})},
        AreaCase{"TwoRecordsBackToBack", cat({kAlice, contactRecord(9, "Bob"), Bytes(4, 0)}), -1,
                 rows({{7, "Alice"}, {9, "Bob"}})},
        AreaCase{"NullData1Skipped", withData1Type(0), -1, {}},
        AreaCase{"IntegerData1Skipped", withData1Type(1), -1, {}},
        AreaCase{"EmptyBlobSkipped", withData1Type(12), -1, {}},
        AreaCase{"BlobData1Skipped", withData1Type(14), -1, {}},
        AreaCase{"EmptyTextCarved", withData1Type(13), -1, rows({{7, ""}})},
        // Header byte above 7 before data1: no candidate there.
        AreaCase{"HeaderByteAboveSeven", cat({{0, 8, 1, 0x17, 5, 7}, textBytes("Alice")}), -1, {}},
        // The record runs past the area: still carved, the missing bytes read as zeros.
        AreaCase{"RunsPastAreaEnd",
                 Bytes(kAlice.begin(), kAlice.end() - 2),
                 static_cast<int64_t>(kAlice.size()) - 2,
                 {CarvedContact{"\x07", std::string("Ali\0\0", 5)}}},
        AreaCase{"EmptyArea", kAlice, 0, {}},
        AreaCase{"ShorterThanData1Position", Bytes{0, 1, 1}, -1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContactArea, SkippingAheadFindsWhatTestingEveryStartFinds) {
    // The carver skips starts that cannot hold a candidate. On random areas (zeroed stretches,
    // small bytes, text types, anything) it must find what testing every start in turn finds.
    auto everyStart = [](ByteView buf, int64_t A, int P, int Q, int C, int K) {
        Rows out;
        const int targets[2] = {P, Q};
        int64_t g = 0;
        while (g < A && g + K < A) {
            bool candidate = checkDataType(buf.at(g + K)) == kClassText;
            for (int i = 0; i < K && candidate; ++i)
                candidate = buf.at(g + i) <= 7;
            if (!candidate) {
                ++g;
                continue;
            }
            ColumnWalk walk(buf, g, targets, 2);
            bool all = true;
            for (int j = 0; j < C && all; ++j) {
                all = walk.total() < A;
                if (all)
                    walk.step();
            }
            std::string id, value;
            if (all && walk.value(0, id) && walk.value(1, value))
                out.emplace_back(id, value);
            const int64_t T = walk.total();
            g += (T < A && T > 0) ? T : 1;
        }
        return out;
    };
    std::mt19937 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const int C = trial % 2 == 0 ? 4 : 12;
        const int P = C - 2, Q = C - 1, K = Q;
        Bytes area(static_cast<size_t>(1 + rng() % 600));
        for (uint8_t& b : area) {
            const unsigned kind = rng() % 10;
            b = kind < 6   ? 0
                : kind < 8 ? static_cast<uint8_t>(1 + rng() % 7)
                : kind < 9 ? static_cast<uint8_t>(13 + 2 * (rng() % 20))
                           : static_cast<uint8_t>(rng());
        }
        ScratchBuffer s;
        s.loadBytes(area.data(), static_cast<int64_t>(area.size()));
        const auto A = static_cast<int64_t>(area.size());
        PairRows out;
        carveContactArea(s.view(), A, P, Q, C, K, out);
        ASSERT_EQ(pairsOf(out), everyStart(s.view(), A, P, Q, C, K)) << "trial " << trial;
    }
}

TEST(ContactArea, ValueReachingPastTheScratchBufferIsDropped) {
    // A candidate at the very end of a full-size area whose data1 claims 8 KiB: the bytes it
    // claims would lie past the 65,535-byte buffer.
    const int64_t A = ScratchBuffer::kSize - 7;
    Bytes area(static_cast<size_t>(A), 0xAA);
    const Bytes tail = {0, 1, 1, 0xFF, 0xFF};
    std::copy(tail.begin(), tail.end(), area.end() - 5);
    EXPECT_TRUE(carveArea(area, A).empty());
}

TEST(ScratchBuffer, BytesPastEachLoadReadZero) {
    ScratchBuffer s;
    const Bytes big(100, 0xEE), small = {1, 2, 3};
    s.loadBytes(big.data(), 100);
    s.loadBytes(small.data(), 3);
    const ByteView v = s.view();
    EXPECT_EQ(v.at(2), 3);
    for (int64_t i = 3; i < 100; ++i)
        ASSERT_EQ(v.at(i), 0) << i;
}

// ---- messages

using Msgs = std::vector<CarvedMessage>;

// _id, thread_id, address, person, date, date_sent, protocol, read, status, type,
// reply_path_present, subject, body.
Bytes smsRecord(const std::string& address, uint8_t person, const std::string& body) {
    return record(
        {0, 1, 13 + 2 * address.size(), 1, 5, 1, 1, 1, 1, 1, 1, 0, 13 + 2 * body.size()},
        cat({{3}, textBytes(address), {person}, Bytes(6, 0x11), Bytes(6, 0), textBytes(body)}));
}

Msgs carveSms(const Bytes& bytes, int64_t L, bool area, int bodyColumn = 12) {
    ScratchBuffer s;
    s.loadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
    Msgs out;
    if (area)
        carveSmsArea(s.view(), L, 2, 3, 12, 13, bodyColumn, out);
    else
        carveSmsFreeblock(s.view(), L, 2, 3, 12, 13, out);
    return out;
}

TEST(SmsFreeblock, ByteEqualToColumnCountIsASerialType) {
    // After the first record, four bytes, then x == C (13). Messages take x as the next
    // record's first serial type, so the walk starts on it: the record read from there is
    // not the second message. With x below C both messages come back.
    const Bytes first = smsRecord("+8613800000001", 0, "hi");
    const Bytes second = smsRecord("10086", 0, "hello");
    const Bytes gap = {0x30, 0x81, 0x02, 0x0E};
    const Bytes both = cat({first, gap, second});
    const Msgs good = carveSms(both, static_cast<int64_t>(both.size()), false);
    ASSERT_EQ(good.size(), 2u);
    EXPECT_EQ(good[1].address, "10086");
    EXPECT_EQ(good[1].body, "hello");

    Bytes shifted = cat({first, gap, {13}, second});
    const Msgs quirk = carveSms(shifted, static_cast<int64_t>(shifted.size()), false);
    ASSERT_GE(quirk.size(), 1u);
    EXPECT_EQ(quirk[0].address, "+8613800000001");
    for (size_t i = 1; i < quirk.size(); ++i)
        EXPECT_NE(quirk[i].body, "hello");
}

TEST(SmsFreeblock, BodyAsLastColumnCarriesExactlyItsBytes) {
    const Bytes rec = smsRecord("10086", 4, "Balance: 12.30");
    const Msgs m = carveSms(rec, static_cast<int64_t>(rec.size()), false);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], (CarvedMessage{"10086", "\x04", "Balance: 12.30"}));
}

struct SmsAreaCase {
    const char* name;
    Bytes bytes;
    int bodyColumn;
    size_t expected;
};

void PrintTo(const SmsAreaCase& c, std::ostream* os) {
    *os << c.name;
}

class SmsArea : public testing::TestWithParam<SmsAreaCase> {};

TEST_P(SmsArea, Carves) {
    const auto& c = GetParam();
    EXPECT_EQ(carveSms(c.bytes, static_cast<int64_t>(c.bytes.size()), true, c.bodyColumn).size(),
              c.expected);
}

Bytes smsWithAddressType(uint8_t t) {
    Bytes r = smsRecord("10086", 0, "hello");
    r[2] = t;
    return cat({Bytes(4, 0), r});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmsArea,
    testing::Values(
        SmsAreaCase{"Plain", cat({Bytes(4, 0), smsRecord("10086", 0, "hi there")}), 12, 1},
        SmsAreaCase{"AddressNotText", smsWithAddressType(14), 12, 0},
        SmsAreaCase{"AddressNull", smsWithAddressType(0), 12, 0},
        // The body test looks at the body member's position: pointing it at an
        // integer column rejects every candidate.
        SmsAreaCase{"BodyPositionNotText", cat({Bytes(4, 0), smsRecord("10086", 0, "hi")}), 4, 0},
        SmsAreaCase{"ShorterThanTwelveBytes", Bytes{0, 1, 0x17, 1, 5, 1, 1, 1, 1, 1, 1}, 12, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
