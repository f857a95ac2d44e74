#include "Profile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

const char* const kSample = "; settings\r\n"
                            "[Basic]\r\n"
                            "appver = 2.1.0.7 \r\n"
                            "Name=\"quoted value\"\r\n"
                            "count=42\r\n"
                            "\r\n"
                            "[Other]\r\n"
                            "appver=other\r\n";

struct ReadCase {
    const char* what;
    const char* section;
    const char* key;
    std::size_t room;
    const char* expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.what;
}

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsValueOrDefault) {
    TempDir dir;
    const std::string path = dir.write("config.ini", kSample);
    const ReadCase& c = GetParam();
    EXPECT_EQ(osplat::readProfileString(c.section, c.key, "dflt", c.room, path), c.expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(ReadCase{"exact match, blanks trimmed", "Basic", "appver", 20, "2.1.0.7"},
                      ReadCase{"section and key without regard to case", "bASIC", "APPVER", 20,
                               "2.1.0.7"},
                      ReadCase{"same key in another section", "Other", "appver", 20, "other"},
                      ReadCase{"quotes dropped", "Basic", "name", 64, "quoted value"},
                      ReadCase{"missing key", "Basic", "nothing", 20, "dflt"},
                      ReadCase{"missing section", "Absent", "appver", 20, "dflt"},
                      ReadCase{"cut to room - 1", "Basic", "appver", 4, "2.1"},
                      ReadCase{"room 1 gives empty", "Basic", "appver", 1, ""},
                      ReadCase{"room 0 gives empty", "Basic", "appver", 0, ""},
                      ReadCase{"default cut too", "Basic", "nothing", 3, "df"},
                      ReadCase{"comment is no key", "Basic", "; settings", 20, "dflt"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Profile, MissingFileGivesDefaultAndCutNeverSplitsUtf8) {
    TempDir dir;
    EXPECT_EQ(osplat::readProfileString("Basic", "appver", "1.0.0.1", 20, dir.file("none.ini")),
              "1.0.0.1");
    const std::string path = dir.write("u.ini", "[S]\nk=a\xC3\xA9z\n");
    // Three bytes of room would end inside the two-byte e-acute.
    EXPECT_EQ(osplat::readProfileString("S", "k", "", 3, path), "a");
    EXPECT_EQ(osplat::readProfileString("S", "k", "", 4, path), "a\xC3\xA9");
}

TEST(Profile, ReadsIntegers) {
    TempDir dir;
    const std::string path = dir.write("config.ini", kSample);
    EXPECT_EQ(osplat::readProfileInt("basic", "count", 7, path), 42);
    EXPECT_EQ(osplat::readProfileInt("basic", "name", 7, path), 7);
    EXPECT_EQ(osplat::readProfileInt("basic", "absent", 7, path), 7);
}

TEST(Profile, WriteKeepsOtherSectionsKeysAndComments) {
    TempDir dir;
    const std::string path = dir.write("config.ini", kSample);
    ASSERT_TRUE(osplat::writeProfileString("BASIC", "AppVer", "3.0", path));
    ASSERT_TRUE(osplat::writeProfileString("Basic", "added", "yes", path));
    ASSERT_TRUE(osplat::writeProfileString("New", "k", "v", path));
    EXPECT_EQ(TempDir::read(path), "; settings\r\n"
                                   "[Basic]\r\n"
                                   "appver=3.0\r\n"
                                   "Name=\"quoted value\"\r\n"
                                   "count=42\r\n"
                                   "added=yes\r\n"
                                   "\r\n"
                                   "[Other]\r\n"
                                   "appver=other\r\n"
                                   "\r\n"
                                   "[New]\r\n"
                                   "k=v\r\n");
    EXPECT_EQ(osplat::readProfileString("basic", "appver", "", 20, path), "3.0");
}

TEST(Profile, WriteRemovesKeyOrSection) {
    TempDir dir;
    const std::string path = dir.write("config.ini", kSample);
    ASSERT_TRUE(osplat::writeProfileString("Basic", "count", nullptr, path));
    ASSERT_TRUE(osplat::writeProfileString("other", nullptr, nullptr, path));
    EXPECT_EQ(TempDir::read(path), "; settings\r\n"
                                   "[Basic]\r\n"
                                   "appver = 2.1.0.7 \r\n"
                                   "Name=\"quoted value\"\r\n"
                                   "\r\n");
}

TEST(Profile, WriteCreatesFileButNeverItsFolder) {
    TempDir dir;
    const std::string fresh = dir.file("fresh.ini");
    ASSERT_TRUE(osplat::writeProfileString("Basic", "appver", "1.0", fresh));
    EXPECT_EQ(TempDir::read(fresh), "[Basic]\nappver=1.0\n");

    const std::string nested = dir.file("profiles/config.ini");
    EXPECT_FALSE(osplat::writeProfileString("Basic", "appver", "1.0", nested));
    EXPECT_FALSE(std::filesystem::exists(dir.file("profiles")));
}

TEST(Profile, DeploySettingReadsDeployIniOfTheGivenFolder) {
    TempDir dir;
    EXPECT_EQ(osplat::deploySetting("web_host", "www.example.test", dir.path()),
              "www.example.test");
    dir.write("deploy.ini", "[deploy]\nWEB_HOST=127.0.0.1:8080\n");
    EXPECT_EQ(osplat::deploySetting("web_host", "www.example.test", dir.path()), "127.0.0.1:8080");
    EXPECT_EQ(osplat::deploySetting("update_host", "up.example.test", dir.path()),
              "up.example.test");
}

TEST(Profile, ProgramFolderIsTheExecutablesFolder) {
    EXPECT_EQ(osplat::programFolder(),
              std::filesystem::canonical("/proc/self/exe").parent_path().string());
}

} // namespace
