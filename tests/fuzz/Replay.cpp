// Replays the fuzzer's seed corpus and every saved regression input through both kinds of
// run: each must finish (no crash, no hang, no sanitizer report), and its texts must be well
// formed lines.
#include "FuzzEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> savedInputs() {
    std::vector<std::string> files;
    for (const char* sub : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(KESTROVA_SOURCE_DIR) / "tests" / "fuzz" / sub;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.is_regular_file() && e.path().filename().string()[0] != '.' &&
                e.path().extension() != ".md")
                files.push_back(fs::relative(e.path(), dir.parent_path()).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class SavedInput : public testing::TestWithParam<std::string> {};

// Each line ends in CR LF and has the kind's number of TAB-separated fields, unless a field
// carries a TAB or line break of its own, which the text does not escape; so only the ending
// is checked.
void expectLines(const std::string& text) {
    if (!text.empty()) {
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

TEST_P(SavedInput, BothRunsFinishWithWellFormedText) {
    const fs::path file = fs::path(KESTROVA_SOURCE_DIR) / "tests" / "fuzz" / GetParam();
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    kestrova::fuzz::FuzzOutcome out;
    ASSERT_TRUE(kestrova::fuzz::runEngineOnBytes(bytes.data(), bytes.size(), out));
    expectLines(out.contactsText);
    expectLines(out.smsText);
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string n = info.param;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SavedInput, testing::ValuesIn(savedInputs()), testName);

} // namespace
