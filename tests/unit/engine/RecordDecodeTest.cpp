#include "engine/RecordDecode.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kestrova::engine;

namespace {

struct VarintCase {
    Bytes bytes;
    uint32_t value;
    int length;
};

class Varint : public testing::TestWithParam<VarintCase> {};

TEST_P(Varint, DecodesValueAndLength) {
    Bytes b = GetParam().bytes;
    b.resize(9, 0);
    uint32_t v = 0;
    EXPECT_EQ(readVarint32(b.data(), v), GetParam().length);
    EXPECT_EQ(v, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Varint,
    testing::Values(VarintCase{{0x7F}, 127, 1}, VarintCase{{0x81, 0x00}, 128, 2},
                    VarintCase{{0x00}, 0, 1},
                    VarintCase{{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, 0xFFFFFFFFu, 5},
                    // 2^32 does not fit: all 32 bits set.
                    VarintCase{{0x90, 0x80, 0x80, 0x80, 0x00}, 0xFFFFFFFFu, 5},
                    VarintCase{Bytes(9, 0xFF), 0xFFFFFFFFu, 9},
                    VarintCase{{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x05}, 5, 9}));

struct TypeCase {
    uint32_t type;
    int32_t width;
    int32_t cls;
};

class SerialType : public testing::TestWithParam<TypeCase> {};

TEST_P(SerialType, WidthAndClass) {
    EXPECT_EQ(calculateDataWidth(GetParam().type), GetParam().width) << GetParam().type;
    EXPECT_EQ(checkDataType(GetParam().type), GetParam().cls) << GetParam().type;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialType,
    testing::Values(TypeCase{0, 0, 0}, TypeCase{1, 1, 1}, TypeCase{2, 2, 1}, TypeCase{3, 3, 1},
                    TypeCase{4, 4, 1}, TypeCase{5, 6, 1}, TypeCase{6, 8, 6}, TypeCase{7, 8, 3},
                    TypeCase{8, 0, 8}, TypeCase{9, 0, 9}, TypeCase{10, 0, 10}, TypeCase{11, 0, 11},
                    TypeCase{12, 0, 12}, TypeCase{13, 0, 4}, TypeCase{14, 1, 2}, TypeCase{25, 6, 4},
                    TypeCase{0xFFFFFFFFu, static_cast<int32_t>((0xFFFFFFFFu - 13) / 2), 4}));

TEST(ColumnWalk, LocatesTargetsAndRecordLength) {
    // Serial types 0, 1, 23, 1 with targets 1 and 2: body offsets 0 and 1, lengths 1 and 5,
    // a record of 4 header bytes and 7 body bytes.
    const Bytes rec = record({0, 1, 23, 1}, cat({{0x2A}, textBytes("hello"), {0x07}}));
    const int targets[2] = {1, 2};
    ColumnWalk walk(ByteView{rec.data(), static_cast<int64_t>(rec.size())}, 0, targets, 2);
    for (int j = 0; j < 4; ++j)
        walk.step();
    EXPECT_EQ(walk.total(), 11);
    EXPECT_EQ(walk.bodyStart(), 4);
    std::string a, b;
    ASSERT_TRUE(walk.value(0, a));
    ASSERT_TRUE(walk.value(1, b));
    EXPECT_EQ(a, "\x2A");
    EXPECT_EQ(b, "hello");
}

TEST(ColumnWalk, TwoByteSerialTypeAndTargetAtColumnZero) {
    const std::string text(70, 'x'); // serial type 153 needs two bytes
    const Bytes rec = record({13 + 2 * 70, 1}, cat({textBytes(text), {0x09}}));
    const int targets[2] = {0, 1};
    ColumnWalk walk(ByteView{rec.data(), static_cast<int64_t>(rec.size())}, 0, targets, 2);
    walk.step();
    walk.step();
    EXPECT_EQ(walk.total(), 3 + 71);
    std::string a, b;
    ASSERT_TRUE(walk.value(0, a));
    ASSERT_TRUE(walk.value(1, b));
    EXPECT_EQ(a, text);
    EXPECT_EQ(b, "\x09");
}

TEST(ColumnWalk, TargetsOnBothSidesOfColumnSixtyFour) {
    // Seventy 1-byte integer columns with texts at 63 and 66: targets below and past the
    // columns the walk tracks with one bit each are both found.
    std::vector<uint64_t> types(70, 1);
    types[63] = 13 + 2 * 2;
    types[66] = 13 + 2 * 3;
    Bytes header, body;
    for (size_t c = 0; c < types.size(); ++c) {
        appendVarint(header, types[c]);
        if (c == 63)
            body.insert(body.end(), {'h', 'i'});
        else if (c == 66)
            body.insert(body.end(), {'y', 'o', 'u'});
        else
            body.push_back(static_cast<uint8_t>(c));
    }
    const Bytes rec = cat({header, body});
    const int targets[3] = {66, 2, 63};
    ColumnWalk walk(ByteView{rec.data(), static_cast<int64_t>(rec.size())}, 0, targets, 3);
    for (size_t c = 0; c < types.size(); ++c)
        walk.step();
    std::string a, b, c;
    ASSERT_TRUE(walk.value(0, a));
    ASSERT_TRUE(walk.value(1, b));
    ASSERT_TRUE(walk.value(2, c));
    EXPECT_EQ(a, "you");
    EXPECT_EQ(b, "\x02");
    EXPECT_EQ(c, "hi");
}

TEST(ColumnWalk, ValuePastTheBufferIsRefusedAndHeaderPastItReadsZero) {
    // A serial type claiming 2 GiB, and a header whose last varint runs off the buffer.
    const Bytes rec = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const int targets[1] = {0};
    ColumnWalk walk(ByteView{rec.data(), static_cast<int64_t>(rec.size())}, 0, targets, 1);
    walk.step();
    std::string v;
    EXPECT_FALSE(walk.value(0, v));
    ColumnWalk tail(ByteView{rec.data(), static_cast<int64_t>(rec.size())}, 3, targets, 1);
    tail.step(); // 0xFF 0xFF, then a zero from past the buffer ends the varint
    EXPECT_EQ(tail.bodyStart(), 6);
}

} // namespace
