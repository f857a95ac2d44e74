#include "TempDir.h"
#include "Text.h"
#include "TkTxtFile.h"

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
    const char* what;
    std::string in;
    std::u16string out;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.what;
}

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, Converts) {
    EXPECT_EQ(core::utf8ToUtf16(GetParam().in), GetParam().out) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"ascii", "Ann\t555", u"Ann\t555"},
                      Utf8Case{"two bytes", "Ren\xC3\xA9", u"Ren\u00E9"},
                      Utf8Case{"three bytes", "\xE6\x9D\x8E", u"\u674E"},
                      Utf8Case{"four bytes become a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf8Case{"stray continuation", "a\x80z", u"a\uFFFDz"},
                      Utf8Case{"cut at the end", "a\xE6\x9D", u"a\uFFFD"},
                      Utf8Case{"cut before ascii", "\xC3z", u"\uFFFDz"},
                      Utf8Case{"overlong slash", "\xC0\xAF", u"\uFFFD"},
                      Utf8Case{"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
                      Utf8Case{"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
                      Utf8Case{"invalid lead", "\xFF", u"\uFFFD"},
                      Utf8Case{"embedded NUL kept", std::string("a\0b", 3),
                               std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Utf16ToUtf8, RoundTripsAndReplacesUnpairedSurrogates) {
    const std::string text = "Ren\xC3\xA9 \xE6\x9D\x8E \xF0\x9F\x98\x80";
    EXPECT_EQ(core::utf16ToUtf8(core::utf8ToUtf16(text)), text);
    EXPECT_EQ(core::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

std::string le(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
    return out;
}

TEST(TkTxtFile, WritesUtf16LeWithOneBomAndCrLfPerLine) {
    TempDir dir;
    TkTxtFile file(dir.file("contacts.txt"));
    EXPECT_EQ(file.WriteLine(u"Contacts:"), 1);
    EXPECT_EQ(file.WriteLine(u"Ren\u00E9(Mobile) : 5"), 1);
    EXPECT_EQ(file.WriteLine(u"a\nb"), 1); // a line feed inside is stored as CR LF
    EXPECT_EQ(TempDir::read(file.filePath),
              "\xFF\xFE" + le(u"Contacts:\r\nRen\u00E9(Mobile) : 5\r\na\r\nb\r\n"));
}

TEST(TkTxtFile, AppendsToAnExistingFileWithoutSecondBom) {
    TempDir dir;
    const std::string path = dir.write("old.txt", "\xFF\xFE" + le(u"x\r\n"));
    TkTxtFile file(path);
    EXPECT_EQ(file.WriteLine(u"y"), 1);
    EXPECT_EQ(TempDir::read(path), "\xFF\xFE" + le(u"x\r\ny\r\n"));
}

TEST(TkTxtFile, ReportsFailure) {
    TempDir dir;
    TkTxtFile missingFolder(dir.file("absent/contacts.txt"));
    EXPECT_EQ(missingFolder.WriteLine(u"lost"), 0);
    // A device that accepts the open but no byte.
    TkTxtFile full("/dev/full");
    EXPECT_EQ(full.WriteLine(u"lost"), 0);
}

} // namespace
