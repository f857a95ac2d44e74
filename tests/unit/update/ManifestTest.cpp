#include "update/Manifest.h"

#include <gtest/gtest.h>

#include <string>

using update::isUpdateAvailable;
using update::readManifestEntry;

namespace {

struct EntryCase {
    const char* name;
    std::string document;
    std::string key;
    std::string version;
    std::string newest;
    std::string url;
};

std::string entry(const std::string& version, const std::string& newest, const std::string& url) {
    return R"({"Version":")" + version + R"(","Nversion":")" + newest + R"(","Update_URL":")" +
           url + R"("})";
}

// A document of exactly `size` bytes whose "Palomine" entry names `newest`, padded with a
// string member so that the closing brace is the last byte.
std::string documentOfSize(std::size_t size, const std::string& newest) {
    const std::string head = R"({"Palomine":[)" + entry("1", newest, "http://h/u") + R"(],"pad":")";
    const std::string tail = "\"}";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class ManifestEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(ManifestEntryTest, ReadsFirstEntryOfProduct) {
    const EntryCase& c = GetParam();
    const update::ManifestEntry e = readManifestEntry(c.document, c.key);
    EXPECT_EQ(e.version, c.version);
    EXPECT_EQ(e.newestVersion, c.newest);
    EXPECT_EQ(e.updateUrl, c.url);
}

const std::string kBoth = R"({"Kestrova":[)" + entry("2.0", "1.0.0.2", "http://h/k.exe") +
                          R"(],"Palomine":[)" + entry("3.0", "1.0.0.3", "http://h/p.exe") + "]}";

INSTANTIATE_TEST_SUITE_P(
    Shapes, ManifestEntryTest,
    ::testing::Values(
        EntryCase{"RecoveryKey", kBoth, "Kestrova", "2.0", "1.0.0.2", "http://h/k.exe"},
        EntryCase{"UpdaterKey", kBoth, "Palomine", "3.0", "1.0.0.3", "http://h/p.exe"},
        EntryCase{"OnlyFirstOfSeveral",
                  R"({"Palomine":[)" + entry("a", "1.0.0.5", "u1") + "," + entry("b", "9", "u2") +
                      "]}",
                  "Palomine", "a", "1.0.0.5", "u1"},
        EntryCase{"MissingKey", kBoth, "Other", "", "", ""},
        EntryCase{"MissingMember", R"({"Palomine":[{"Nversion":"1.2"}]})", "Palomine", "", "1.2",
                  ""},
        EntryCase{"EmptyArray", R"({"Palomine":[]})", "Palomine", "", "", ""},
        EntryCase{"TrueAndFalse", R"({"Palomine":[{"Version":false,"Nversion":true}]})", "Palomine",
                  "false", "true", ""},
        EntryCase{"NullMember", R"({"Palomine":[{"Nversion":null}]})", "Palomine", "", "", ""},
        EntryCase{"CommentsAllowed",
                  "// products\n{\"Palomine\": /* newest */ [" + entry("1", "1.1", "u") + "]}",
                  "Palomine", "1", "1.1", "u"},
        EntryCase{"DuplicateKeyLastWins",
                  R"({"Palomine":[)" + entry("1", "old", "u") + R"(],"Palomine":[)" +
                      entry("2", "new", "v") + "]}",
                  "Palomine", "2", "new", "v"},
        EntryCase{"TextStopsAtZeroByte",
                  R"({"Palomine":[)" + entry("1", "1.1", "u") + std::string("]}\0garbage", 10),
                  "Palomine", "1", "1.1", "u"},
        EntryCase{"CutDocumentKeepsWhatWasParsed",
                  R"({"Palomine":[{"Version":"1","Nversion":"1.4","Update_UR)", "Palomine", "1",
                  "1.4", ""},
        EntryCase{"Exactly1024Bytes", documentOfSize(1024, "1.0.0.9"), "Palomine", "1", "1.0.0.9",
                  "http://h/u"},
        // Past 1024 bytes the closing brace is cut away; the entry parsed before the cut
        // still reads.
        EntryCase{"LongerIsCutAt1024", documentOfSize(1100, "1.0.0.9"), "Palomine", "1", "1.0.0.9",
                  "http://h/u"},
        EntryCase{"EntryCutAway", std::string(1024, ' ') + kBoth, "Palomine", "", "", ""},
        // Wrong shapes read as a missing entry and never throw.
        EntryCase{"ProductIsObject", R"({"Palomine":{"Nversion":"1"}})", "Palomine", "", "", ""},
        EntryCase{"ProductIsScalar", R"({"Palomine":"1.0"})", "Palomine", "", "", ""},
        EntryCase{"ElementIsScalar", R"({"Palomine":["1.0"]})", "Palomine", "", "", ""},
        EntryCase{"MemberIsNumber", R"({"Palomine":[{"Nversion":1.5,"Version":"v"}]})", "Palomine",
                  "v", "", ""},
        EntryCase{"MemberIsArray", R"({"Palomine":[{"Nversion":["1"],"Update_URL":{}}]})",
                  "Palomine", "", "", ""},
        EntryCase{"TopLevelArray", R"([{"Palomine":[{"Nversion":"1"}]}])", "Palomine", "", "", ""},
        EntryCase{"TopLevelScalar", "42", "Palomine", "", "", ""},
        EntryCase{"NotJson", "<html><body>Not Found</body></html>", "Palomine", "", "", ""},
        EntryCase{"Empty", "", "Palomine", "", "", ""},
        EntryCase{"DeepNesting", std::string(1000, '['), "Palomine", "", "", ""}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

struct VersionCase {
    const char* newest;
    const char* installed;
    bool update;
};

class VersionRuleTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionRuleTest, UpdateExactlyWhenTextsDiffer) {
    const VersionCase& c = GetParam();
    EXPECT_EQ(isUpdateAvailable(c.newest, c.installed), c.update)
        << '"' << c.newest << "\" vs installed \"" << c.installed << '"';
}

INSTANTIATE_TEST_SUITE_P(Rule, VersionRuleTest,
                         ::testing::Values(VersionCase{"1.0.0.1", "1.0.0.1", false},
                                           VersionCase{"1.0.0.2", "1.0.0.1", true},
                                           VersionCase{"1.0.0.1 ", "1.0.0.1", true},
                                           VersionCase{"1.0.0.0", "1.0.0.1", true},
                                           VersionCase{"1.0.0.10", "1.0.0.1", true},
                                           VersionCase{"V1", "v1", true},
                                           VersionCase{"", "1.0.0.1", true},
                                           VersionCase{"", "", false}));

} // namespace
