// The page map (b-tree walk and freeblock chains) on hand-built database images, and its
// guards against damaged trees and chains.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using A = SqliteParseTestAccess;
using Leaves = std::vector<uint32_t>;
using Chains = std::map<uint32_t, std::vector<uint32_t>>;

struct MapResult {
    Leaves leaves;
    Chains chains;
};

MapResult mapOf(PageFile& f, int64_t root) {
    TempDir dir;
    const std::string path = dir.file("contacts2.db");
    EXPECT_TRUE(f.write(path));
    SqliteParse p(path, dir.file("mmssms.db"));
    A::getDbPageSize(p, path);
    EXPECT_TRUE(A::dbFile(p).open(path));
    A::loopPage(p, root);
    A::sortLeafPage(p);
    A::loadFreelistCell(p);
    return {A::leafPages(p), A::freeblocks(p)};
}

TEST(PageMap, RootThatIsALeaf) {
    PageFile f(1024, 3);
    f.leaf(2, 1024);
    EXPECT_EQ(mapOf(f, 2).leaves, Leaves{2});
}

TEST(PageMap, InteriorPagesAreWalkedAndLeavesSorted) {
    PageFile f(1024, 8);
    f.interior(2, {7, 3}, 4); // left children out of order, right-most child an interior page
    f.interior(4, {}, 6);     // zero cells: only its right-most child
    for (uint32_t leaf : {3u, 6u, 7u})
        f.leaf(leaf, 1024);
    f.leaf(5, 1024); // not reached
    EXPECT_EQ(mapOf(f, 2).leaves, (Leaves{3, 6, 7}));
}

TEST(PageMap, LeafReachedTwiceIsListedTwice) {
    PageFile f(1024, 4);
    f.interior(2, {3, 3}, 3);
    f.leaf(3, 1024);
    EXPECT_EQ(mapOf(f, 2).leaves, (Leaves{3, 3, 3}));
}

struct DamagedTree {
    const char* name;
    void (*build)(PageFile&);
    Leaves leaves;
};

void PrintTo(const DamagedTree& c, std::ostream* os) {
    *os << c.name;
}

class PageMapDamaged : public testing::TestWithParam<DamagedTree> {};

TEST_P(PageMapDamaged, StopsTheBranch) {
    PageFile f(512, 6);
    GetParam().build(f);
    EXPECT_EQ(mapOf(f, 2).leaves, GetParam().leaves);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageMapDamaged,
    testing::Values(DamagedTree{"IndexPageRoot", [](PageFile& f) { f.type(2, 2); }, {}},
                    DamagedTree{"IndexLeafRoot", [](PageFile& f) { f.type(2, 10); }, {}},
                    DamagedTree{"GarbageTypes",
                                [](PageFile& f) {
                                    f.interior(2, {3, 4}, 5);
                                    f.type(3, 0x41);
                                    f.type(4, 0xFF);
                                    f.leaf(5, 512);
                                },
                                {5}},
                    DamagedTree{"ChildPastEndOfFile",
                                [](PageFile& f) {
                                    f.interior(2, {99, 0xFFFFFFFFu}, 3);
                                    f.leaf(3, 512);
                                },
                                {3}},
                    DamagedTree{"ChildZero", [](PageFile& f) { f.interior(2, {0}, 0); }, {}},
                    DamagedTree{"CycleBackToRoot",
                                [](PageFile& f) {
                                    f.interior(2, {3}, 4);
                                    f.interior(3, {2}, 3); // to the root and to itself
                                    f.leaf(4, 512);
                                },
                                {4}},
                    DamagedTree{"CellCountPastThePage",
                                [](PageFile& f) {
                                    f.interior(2, {3}, 0);
                                    f.u16(2, 3, 0xFFFF); // pointers past the page are not followed
                                    f.leaf(3, 512);
                                },
                                {3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageMap, SharedSubtreesDoNotMultiplyTheWork) {
    // Every interior page points 60 times at the next one: without the guard the walk would
    // visit 60^5 paths.
    PageFile f(512, 8);
    for (uint32_t p = 2; p <= 6; ++p) {
        f.interior(p, {}, p + 1);
        f.u16(p, 3, 60);
        for (uint32_t k = 0; k < 60; ++k) {
            f.u16(p, 12 + 2 * k, 500);
        }
        f.u32(p, 500, p + 1);
    }
    f.leaf(7, 512);
    const Leaves leaves = mapOf(f, 2).leaves;
    ASSERT_FALSE(leaves.empty());
    EXPECT_TRUE(std::all_of(leaves.begin(), leaves.end(), [](uint32_t l) { return l == 7; }));
}

// A leaf with one carvable record in a freeblock and one in its unallocated area, each with
// the page number as raw_contact_id (columns: _id, mimetype_id, raw_contact_id, data1).
void carvableLeaf(PageFile& f, uint32_t n) {
    auto rec = [n](const std::string& v) {
        return record({0, 1, 1, 13 + 2 * v.size()},
                      cat({{5}, {static_cast<uint8_t>(n)}, textBytes(v)}));
    };
    f.leaf(n, 300);
    f.bytes(n, 20, rec("area" + std::to_string(n)));
    f.u16(n, 1, 400);
    const Bytes block = rec("free" + std::to_string(n));
    f.freeblock(n, 400, static_cast<uint32_t>(block.size() + 4), 0);
    f.bytes(n, 404, block);
}

TEST(PageMap, OnePassCarveGivesTheRowsOfTheStepsOneAfterAnother) {
    // Leaves on two levels: the second level is many pages of one block (read block by block,
    // carved as they come) and holds an interior page whose leaves lie before pages already
    // carved; one leaf is reached from both levels and one twice from the same page.
    PageFile f(512, 60);
    std::vector<uint32_t> children{50};
    for (uint32_t leaf = 3; leaf <= 42; ++leaf) {
        children.push_back(leaf);
        carvableLeaf(f, leaf);
    }
    f.interior(2, {}, 51);
    f.u16(2, 3, static_cast<uint32_t>(children.size()));
    for (size_t k = 0; k < children.size(); ++k) {
        const uint32_t cell = 500 - 4 * static_cast<uint32_t>(k) - 4;
        f.u16(2, 12 + 2 * k, cell);
        f.u32(2, cell, children[k]);
    }
    f.interior(50, {45, 3, 44, 45}, 0);
    for (uint32_t leaf : {44u, 45u, 51u})
        carvableLeaf(f, leaf);

    TempDir dir;
    const std::string path = dir.file("contacts2.db");
    ASSERT_TRUE(f.write(path));
    SqliteParse steps(path, dir.file("mmssms.db")), onePass(path, dir.file("mmssms.db"));
    for (SqliteParse* p : {&steps, &onePass}) {
        A::getDbPageSize(*p, path);
        ASSERT_TRUE(A::dbFile(*p).open(path));
    }
    const PairList expected = A::stepsContacts(steps, 2, 2, 3, 4);
    // 43 leaves give their freeblock row once; leaves 3 and 45 are listed twice and give their
    // area row twice.
    ASSERT_EQ(expected.size(), 43u + 45u);
    EXPECT_EQ(A::carveTableContacts(onePass, 2, 2, 3, 4), expected);
    EXPECT_EQ(A::leafPages(onePass), A::leafPages(steps));
}

struct ChainCase {
    const char* name;
    void (*build)(PageFile&);
    std::vector<uint32_t> chain; // empty: no entry
};

void PrintTo(const ChainCase& c, std::ostream* os) {
    *os << c.name;
}

class FreeblockChain : public testing::TestWithParam<ChainCase> {};

TEST_P(FreeblockChain, Offsets) {
    PageFile f(1024, 3);
    f.leaf(2, 100);
    GetParam().build(f);
    const Chains chains = mapOf(f, 2).chains;
    if (GetParam().chain.empty()) {
        EXPECT_TRUE(chains.empty());
    } else {
        ASSERT_EQ(chains.count(2), 1u);
        EXPECT_EQ(chains.at(2), GetParam().chain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreeblockChain,
    testing::Values(ChainCase{"None", [](PageFile&) {}, {}},
                    ChainCase{"ThreeInChainOrder",
                              [](PageFile& f) {
                                  f.u16(2, 1, 600);
                                  f.freeblock(2, 600, 20, 300);
                                  f.freeblock(2, 300, 20, 900);
                                  f.freeblock(2, 900, 20, 0);
                              },
                              {600, 300, 900}},
                    ChainCase{"Loop",
                              [](PageFile& f) {
                                  f.u16(2, 1, 600);
                                  f.freeblock(2, 600, 20, 300);
                                  f.freeblock(2, 300, 20, 600);
                              },
                              {600, 300}},
                    ChainCase{"SelfLoop",
                              [](PageFile& f) {
                                  f.u16(2, 1, 600);
                                  f.freeblock(2, 600, 20, 600);
                              },
                              {600}},
                    ChainCase{"PointerOutsideThePage",
                              [](PageFile& f) {
                                  f.u16(2, 1, 600);
                                  f.freeblock(2, 600, 20, 5000);
                              },
                              {600}},
                    ChainCase{"HeaderAtTheLastBytes",
                              [](PageFile& f) {
                                  f.u16(2, 1, 1022); // its 4-byte header would leave the page
                              },
                              {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageSize, HeaderField) {
    struct Case {
        uint32_t field;
        int32_t size;
    } cases[] = {{1, 65536}, {1024, 1024}, {4096, 4096}, {0, 0}, {513, 513}};
    for (const auto& c : cases) {
        TempDir dir;
        Bytes header(100, 0);
        put16(header, 16, c.field);
        const std::string path = dir.file("contacts2.db");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(header.data()), 100);
        SqliteParse p(path, dir.file("mmssms.db"));
        A::getDbPageSize(p, path);
        EXPECT_EQ(A::pageSize(p), c.size) << c.field;
    }
}

TEST(PageMap, PositionsPastTwoGibibytes) {
    // A sparse file of about 4.3 GiB: 65,536-byte pages, the leaf at page 66000, which starts
    // past 4 GiB. 32-bit positions would read the wrong place.
    TempDir dir;
    const std::string path = dir.file("contacts2.db");
    constexpr uint32_t kLeaf = 66000;
    constexpr int64_t kPage = 65536;
    const int64_t base = (kLeaf - 1) * kPage;
    Bytes page(kPage, 0);
    page[0] = 13;
    put16(page, 1, 1000); // first freeblock
    put16(page, 5, 0);    // content area from 65536
    const Bytes rec = record({0, 1, 1, 13 + 2 * 5}, cat({{5}, {7}, textBytes("Alice")}));
    put16(page, 1000, 0);
    put16(page, 1002, static_cast<uint32_t>(4 + rec.size()));
    std::copy(rec.begin(), rec.end(), page.begin() + 1004);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        uint8_t header[100] = {};
        header[16] = 0;
        header[17] = 1; // 65536
        ASSERT_EQ(::pwrite(fd, header, 100, 0), 100);
        ASSERT_EQ(::pwrite(fd, page.data(), page.size(), base), static_cast<ssize_t>(page.size()));
        ::close(fd);
    }
    SqliteParse p(path, dir.file("mmssms.db"));
    A::getDbPageSize(p, path);
    ASSERT_TRUE(A::dbFile(p).open(path));
    A::loopPage(p, kLeaf);
    A::sortLeafPage(p);
    A::loadFreelistCell(p);
    A::parseContactFreelistCell(p, 2, 3, 4);
    ASSERT_EQ(A::leafPages(p), Leaves{kLeaf});
    EXPECT_EQ(A::carvedContacts(p),
              (std::vector<std::pair<std::string, std::string>>{{"\x07", "Alice"}}));
}

} // namespace
