#include "ModelFixture.h"
#include "RecordingReporter.h"
#include "RecoveryState.h"
#include "TempDir.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using core::RecoveryState;
using core::ScanMode;
using namespace std::chrono_literals;

// The lists the stand-in reader hands out; every call returns them unticked, as a fresh
// read of the file would.
ModelLists* gLists = nullptr;
int gReaderCalls = 0;

int fakeReader(const char*, void** first, ContactRecord** contacts, DataRow** rows,
               MimetypeEntry** mimetypes) {
    ++gReaderCalls;
    core::RecordModel heads;
    if (gLists) {
        for (auto& c : gLists->contacts)
            c.checked = 0;
        gLists->attach(heads);
    }
    *first = heads.readerFirstList;
    *contacts = heads.contactList;
    *rows = heads.dataRowList;
    *mimetypes = heads.mimetypeList;
    heads.readerFirstList = nullptr;
    heads.contactList = nullptr;
    heads.dataRowList = nullptr;
    heads.mimetypeList = nullptr;
    return 0;
}

class StateFixture : public ::testing::Test {
protected:
    void SetUp() override {
        gLists = &lists;
        gReaderCalls = 0;
        state = std::make_unique<RecoveryState>(dir.file("copies"), dir.path());
        state->setReader(&fakeReader);
        std::ofstream(state->contactCopyPath()) << "";
    }
    void TearDown() override {
        state.reset();
        gLists = nullptr;
    }
    // Runs the scan worker to its end, as the window does.
    void scan() {
        ASSERT_TRUE(state->startScan(reporter));
        ASSERT_TRUE(reporter.waitDone());
        state->joinWorker();
    }
    void addLive(int n) {
        for (int i = 0; i < n; ++i)
            lists.contact(100 + i, ("P" + std::to_string(i)).c_str());
    }

    TempDir dir;
    ModelLists lists;
    RecordingReporter reporter;
    std::unique_ptr<RecoveryState> state;
};

TEST_F(StateFixture, ScanBuildsLiveAndRecoveredRecordsWithProgress) {
    addLive(2);
    state->contactResultText = "A\t1\r\nB\t2\r\n";
    scan();
    EXPECT_EQ(state->scanTotal, 4);
    EXPECT_EQ(state->processedCount, 4);
    EXPECT_EQ(reporter.progress, (std::vector<int>{25, 50, 75, 100}));
    ASSERT_EQ(state->recoveredContacts.size(), 2u);
    EXPECT_EQ(state->recoveredContacts[0]->id, 0);
    EXPECT_STREQ(state->recoveredContacts[0]->text, "A\t1");
    EXPECT_EQ(state->recoveredContacts[1]->id, 1);
    EXPECT_STREQ(state->recoveredContacts[1]->text, "B\t2");
    EXPECT_EQ(state->categoryText(), "Contacts (4)");
    EXPECT_TRUE(state->categoryHasData());
    EXPECT_EQ(state->countTicked(), 4);
    EXPECT_EQ(gReaderCalls, 2); // once per pass
    ASSERT_EQ(reporter.done.size(), 1u);
    EXPECT_EQ(reporter.done[0].message, core::ScanDoneMessage);
    EXPECT_EQ(reporter.buttons, (std::vector<std::pair<int, bool>>{{core::PauseButton, true},
                                                                   {core::StopButton, true}}));
    EXPECT_FALSE(state->workerRunning);
}

struct PassCase {
    const char* what;
    int live;
    const char* resultText;
    bool copyExists;
    int counted;   // counting mode's result
    int recovered; // records built by the main pass
    const char* category;
};

void PrintTo(const PassCase& c, std::ostream* os) {
    *os << c.what;
}

class ScanPasses : public StateFixture, public ::testing::WithParamInterface<PassCase> {};

TEST_P(ScanPasses, CountAndBuild) {
    const PassCase& c = GetParam();
    addLive(c.live);
    state->contactResultText = c.resultText;
    if (!c.copyExists)
        std::filesystem::remove(state->contactCopyPath());
    EXPECT_EQ(state->scanPass(ScanMode::Counting, reporter), c.counted) << c.what;
    state->resumeEvent.set();
    if (c.counted != 0)
        state->scanPass(ScanMode::Main, reporter);
    EXPECT_EQ(int(state->recoveredContacts.size()), c.recovered) << c.what;
    EXPECT_EQ(state->categoryText(), c.category) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanPasses,
    ::testing::Values(
        PassCase{"last line without CR LF is neither counted nor built", 1, "A\t1\r\nB\t2", true, 2,
                 1, "Contacts (2)"},
        PassCase{"no live contacts: nothing from the result text either", 0, "A\t1\r\n", true, 0, 0,
                 "Contacts"},
        PassCase{"no copy: the reader is not asked", 2, "A\t1\r\n", false, 0, 0, "Contacts"},
        PassCase{"live contacts only", 3, "", true, 3, 0, "Contacts (3)"},
        PassCase{"empty lines still count", 1, "\r\n\r\n", true, 3, 2, "Contacts (3)"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(StateFixture, StopAfterThreeLiveRecordsKeepsThemAndBuildsNoRecovered) {
    addLive(5);
    state->contactResultText = "A\t1\r\n";
    int seen = 0;
    reporter.onProgress = [&](int) {
        if (++seen == 3)
            state->stopRequested = 1; // the user presses stop after the third record
    };
    scan();
    EXPECT_EQ(state->categoryText(), "Contacts (3)");
    EXPECT_TRUE(state->recoveredContacts.empty());
    EXPECT_EQ(state->countTicked(), 3);
    EXPECT_EQ(reporter.done.size(), 1u);
}

TEST_F(StateFixture, StopBeforeFirstRecordLeavesCategoryEmpty) {
    addLive(2);
    reporter.onButton = [&](int id, bool) {
        if (id == core::StopButton)
            state->stopRequested = 1;
    };
    scan();
    EXPECT_EQ(state->categoryText(), "Contacts");
    EXPECT_FALSE(state->categoryHasData());
    EXPECT_TRUE(reporter.categories.empty());
}

TEST_F(StateFixture, PauseHoldsTheWorkerAndStopReleasesIt) {
    addLive(3);
    reporter.onButton = [&](int id, bool) {
        if (id == core::PauseButton)
            state->resumeEvent.reset(); // paused as soon as the button appears
    };
    ASSERT_TRUE(state->startScan(reporter));
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(state->workerRunning);
    EXPECT_EQ(state->processedCount, 0);
    EXPECT_TRUE(reporter.done.empty());
    // The stop button: release the wait, then raise the request.
    state->resumeEvent.set();
    state->stopRequested = 1;
    ASSERT_TRUE(reporter.waitDone(2s));
    state->joinWorker();
    EXPECT_EQ(state->processedCount, 0);

    // Going back and scanning again runs to the end.
    state->clearRecords();
    state->scanTotal = 0;
    state->processedCount = 0;
    reporter.onButton = nullptr;
    reporter.done.clear();
    scan();
    EXPECT_EQ(state->categoryText(), "Contacts (3)");
}

TEST_F(StateFixture, OnlyOneWorkerAtATimeAndStopAndJoinEndsAPausedOne) {
    addLive(2);
    state->resumeEvent.reset();
    reporter.onButton = [&](int, bool) { state->resumeEvent.reset(); };
    ASSERT_TRUE(state->startScan(reporter));
    std::this_thread::sleep_for(50ms);
    RecordingReporter other;
    EXPECT_FALSE(state->startScan(other));
    EXPECT_FALSE(state->startExport(other, dir.file("out")));
    state->stopAndJoin();
    EXPECT_FALSE(state->workerRunning);
    EXPECT_EQ(reporter.done.size(), 1u);
}

// ---- export ------------------------------------------------------------------------------

std::string le(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
    return out;
}

class ExportFixture : public StateFixture {
protected:
    // Ann (structured name) with a Mobile phone 555 and company Acme; another contact named
    // from its e-mail with a Home e-mail x; one recovered line Bob TAB 123.
    void SetUp() override {
        StateFixture::SetUp();
        lists.contact(1, "Ann", 40);
        lists.contact(2, "x@example.test", 10);
        lists.row(1, ModelLists::Phone, "555", "2");
        lists.row(1, ModelLists::Name, "Ann", nullptr);
        lists.row(1, ModelLists::Org, "Acme", "1");
        lists.row(2, ModelLists::Email, "x", "1");
        state->contactResultText = "Bob\t123\r\n";
        scan();
        reporter.done.clear();
        reporter.progress.clear();
    }
    std::string exportAll(std::optional<bool> wholly = std::nullopt) {
        const std::string root = core::exportRootFor(dir.file("picked"), std::time(nullptr));
        EXPECT_TRUE(state->startExport(reporter, root, wholly));
        EXPECT_TRUE(reporter.waitDone());
        state->joinWorker();
        return root;
    }
};

TEST_F(ExportFixture, WritesTheTickedRecordsByteForByte) {
    const std::string root = exportAll();
    const std::string file = root + "/Contacts (3)/contacts.txt";
    EXPECT_EQ(state->lastExportFile(), file);
    EXPECT_EQ(TempDir::read(file),
              le(u"Contacts:\r\n"
                 u"Ann(Mobile) : 555\r\n"
                 u"Ann(Company) : Acme\r\n"
                 u"No Name0(Home Email) : x\r\n"
                 u"------------------------------------------------------------------\r\n"
                 u"Deleted:\r\n"
                 u"Bob : 123\r\n"));
    EXPECT_EQ(state->processedCount, 3);
    EXPECT_EQ(reporter.progress.back(), 100);
    ASSERT_EQ(reporter.done.size(), 1u);
    EXPECT_EQ(reporter.done[0].message, core::ExportDoneMessage);
    EXPECT_EQ(reporter.done[0].wParam, 0); // no line lost
}

TEST_F(ExportFixture, UntickedRecordsWriteNothingButTheSeparatorStays) {
    state->setChecked(state->recoveredContacts[0], 0);
    state->setChecked(&lists.contacts[1], 0);
    const std::string root = exportAll();
    // Not wholly ticked: the folder carries the ticked count.
    EXPECT_EQ(TempDir::read(root + "/Contacts (1)/contacts.txt"),
              le(u"Contacts:\r\nAnn(Mobile) : 555\r\nAnn(Company) : Acme\r\n"
                 u"------------------------------------------------------------------\r\n"
                 u"Deleted:\r\n"));
    EXPECT_EQ(state->processedCount, 1);
}

TEST_F(ExportFixture, RecoveredRecordWithoutTabIsCountedButWritesNoLine) {
    state->addRecovered(1, "no tab here");
    const std::string root = exportAll(true);
    EXPECT_EQ(TempDir::read(root + "/Contacts (3)/contacts.txt"),
              le(u"Contacts:\r\nAnn(Mobile) : 555\r\nAnn(Company) : Acme\r\n"
                 u"No Name0(Home Email) : x\r\n"
                 u"------------------------------------------------------------------\r\n"
                 u"Deleted:\r\nBob : 123\r\n"));
    EXPECT_EQ(state->processedCount, 4);
    EXPECT_EQ(reporter.progress.back(), 100);
}

TEST_F(ExportFixture, NothingTickedCreatesNothing) {
    state->setAllTicked(0);
    const std::string root = exportAll();
    EXPECT_FALSE(std::filesystem::exists(root + "/Contacts (3)"));
    EXPECT_EQ(reporter.done.size(), 1u);
    EXPECT_EQ(state->processedCount, 0);
}

TEST_F(ExportFixture, StopWhilePausedEndsAtOnceAndKeepsWhatWasWritten) {
    reporter.onProgress = [&](int) { state->resumeEvent.reset(); }; // pause after Ann
    const std::string root = core::exportRootFor(dir.file("picked"), std::time(nullptr));
    ASSERT_TRUE(state->startExport(reporter, root));
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(reporter.done.empty());
    state->resumeEvent.set();
    state->stopRequested = 1;
    ASSERT_TRUE(reporter.waitDone(2s));
    state->joinWorker();
    EXPECT_EQ(TempDir::read(root + "/Contacts (3)/contacts.txt"),
              le(u"Contacts:\r\nAnn(Mobile) : 555\r\nAnn(Company) : Acme\r\n"));
}

TEST_F(ExportFixture, LinesThatCannotBeWrittenAreReported) {
    // The export root is taken by a file, so no folder and no line can be made.
    const std::string root = dir.write("taken", "x");
    ASSERT_TRUE(state->startExport(reporter, root));
    ASSERT_TRUE(reporter.waitDone());
    state->joinWorker();
    EXPECT_EQ(state->exportLinesLost(), 7);
    EXPECT_EQ(reporter.done[0].wParam, 7);
}

struct LabelCase {
    const char* text;
    bool wholly;
    int ticked;
    const char* label;
};

void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << c.text << (c.wholly ? " wholly ticked" : " partly ticked");
}

class ExportLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(ExportLabels, FollowTheTickState) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(core::exportLabel(c.text, c.wholly, c.ticked), c.label);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportLabels,
                         ::testing::Values(LabelCase{"Contacts (42)", true, 42, "Contacts (42)"},
                                           LabelCase{"Contacts (42)", false, 40, "Contacts (40)"},
                                           LabelCase{"Contacts", false, 3, "Contacts(3)"},
                                           LabelCase{"A (1) (2)", false, 5, "A (5)"}));

TEST(ExportRoot, IsKestrovaAndAFourteenDigitLocalTimeStamp) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    EXPECT_EQ(core::exportRootFor("/home/u/out/", std::mktime(&t)),
              "/home/u/out/Kestrova20240305070809");
}

} // namespace
