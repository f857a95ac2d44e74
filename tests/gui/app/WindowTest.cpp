// Kestrova's window against the emulated phone: whole runs from acquisition to export, the
// failed state and its retry, going back, the worker controls, shutdown and the pages the
// window opens.
#include "WindowFixture.h"

#include "app/core/RecoveryState.h"
#include "ui/CContactInfoBoard.h"
#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/CMsgBox.h"
#include "ui/CTreeViewEx1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <map>
#include <set>
#include <sqlite3.h>
#include <string>

namespace {

const char* const kPhoneLabels[] = {
    nullptr, "Home",  "Mobile",  "Work",        "WorkFax",   "HomeFax",   "Pager",
    "Other", nullptr, nullptr,   "CompanyMain", "ISDN",      nullptr,     "OtherFax",
    "Radio", "Telex", "TTY_TTD", "WorkMobile",  "WorkPager", "Assistant", "MMS"};
const char* const kEmailLabels[] = {nullptr, "Home Email", "Work Email", "Other Email",
                                    "Mobile Email"};

// The export lines of live contacts, in the order given, read straight from the phone's
// database: name(label) : value for every phone, e-mail and organization row.
QStringList liveExportLines(const std::string& dbPath, const std::vector<int>& contactIds) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(("file:" + dbPath + "?immutable=1").c_str(), &db,
                    SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    sqlite3_stmt* contact = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT display_name, display_name_source FROM raw_contacts "
                       "WHERE _id = ?",
                       -1, &contact, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT m.mimetype, d.data1, d.data2 FROM data d JOIN mimetypes m "
                       "ON m._id = d.mimetype_id WHERE d.raw_contact_id = ? ORDER BY d._id",
                       -1, &rows, nullptr);
    QStringList lines;
    int noName = 0;
    for (int id : contactIds) {
        sqlite3_bind_int(contact, 1, id);
        QString name;
        bool structured = false;
        if (sqlite3_step(contact) == SQLITE_ROW) {
            name =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(contact, 0)));
            structured = sqlite3_column_int(contact, 1) == 40;
        }
        sqlite3_reset(contact);
        bool named = false;
        QString exportName;
        sqlite3_bind_int(rows, 1, id);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            const QString mimetype =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows, 0)));
            const QString value =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows, 1)));
            const int code = sqlite3_column_int(rows, 2);
            QString label;
            if (mimetype == "vnd.android.cursor.item/phone_v2")
                label = code >= 0 && code <= 20 && kPhoneLabels[code] ? kPhoneLabels[code] : "";
            else if (mimetype == "vnd.android.cursor.item/email_v2")
                label = code >= 0 && code <= 4 && kEmailLabels[code] ? kEmailLabels[code] : "";
            else if (mimetype == "vnd.android.cursor.item/organization")
                label = "Company";
            else
                continue;
            if (!named) {
                exportName = structured ? name : QString("No Name%1").arg(noName++);
                named = true;
            }
            lines << exportName + "(" + label + ") : " + value;
        }
        sqlite3_reset(rows);
    }
    sqlite3_finalize(contact);
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return lines;
}

QByteArray utf16File(const QStringList& lines) {
    QByteArray bytes("\xFF\xFE", 2);
    for (const QString& l : lines) {
        const QString withEnd = l + "\r\n";
        bytes.append(reinterpret_cast<const char*>(withEnd.utf16()), withEnd.size() * 2);
    }
    return bytes;
}

QString findFile(const QString& root, const QString& name) {
    QDirIterator it(root, {name}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

int redPixels(const QImage& image, const QRect& rowRect) {
    const QRect r = rowRect & image.rect();
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    return n;
}

ContactRecord* recordOf(CListViewCheck1* list, int row) {
    return static_cast<ContactRecord*>(list->GetItemData(row));
}

} // namespace

// One whole run: acquisition, scan, the list with the recovered rows first and in red, one
// row unticked, the export, the file's exact bytes and the count in the closing message.
TEST_F(WindowTest, WholeRunRecoversTicksAndExportsExactly) {
    Phone phone(12, 4);
    EmuPhone emu(phone);
    useSocket(emu.socket());
    CMainDlg& w = open();
    ASSERT_TRUE(waitForResults());

    CListViewCheck1* list = w.list();
    ASSERT_TRUE(list->isVisible());
    // The engine's lines, in order: each becomes one recovered row.
    const QStringList engineLines =
        QString::fromStdString(w.state().contactResultText).split("\r\n", Qt::SkipEmptyParts);
    const int recovered = int(engineLines.size());
    ASSERT_EQ(int(w.state().recoveredContacts.size()), recovered);
    ASSERT_GT(list->GetItemCount(), recovered);

    // Recovered rows first, in the engine's order; then the live ones. Every contact the
    // phone deleted is among them.
    std::multiset<std::pair<QString, QString>> shown;
    for (int r = 0; r < list->GetItemCount(); ++r) {
        ASSERT_EQ(recordOf(list, r)->deleted, r < recovered ? 1 : 0) << "row " << r;
        EXPECT_TRUE(list->GetCheckState(r));
        if (r < recovered) {
            EXPECT_EQ(list->GetItemText(r, 0) + "\t" + list->GetItemText(r, 1), engineLines[r]);
            shown.insert({list->GetItemText(r, 0), list->GetItemText(r, 1)});
        }
    }
    for (const auto& [name, number] : phone.made.expectedContacts)
        EXPECT_EQ(shown.count({QString::fromStdString(name), QString::fromStdString(number)}), 1u)
            << name << " " << number;
    EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()),
              QString("Contacts (%1)").arg(list->GetItemCount()));

    // Recovered rows are drawn in red, live ones are not.
    const QImage picture = list->viewport()->grab().toImage();
    EXPECT_GT(redPixels(picture, list->ItemRect(0)), 20);
    EXPECT_EQ(redPixels(picture, list->ItemRect(recovered)), 0);
    EXPECT_EQ(w.panel()->Name(), list->GetItemText(0, 0));

    // Untick the first live row: the tick-all box, the category and the root follow.
    clickTick(recovered);
    EXPECT_EQ(recordOf(list, recovered)->checked, 0);
    EXPECT_FALSE(list->Header()->TickAllBox()->isChecked());
    EXPECT_FALSE(w.tree()->GetCheckState(w.contactsRow()));
    EXPECT_FALSE(w.tree()->GetCheckState(w.rootRow()));
    const int ticked = list->GetItemCount() - 1;
    EXPECT_EQ(w.state().countTicked(), ticked);

    FolderPicker::setNextAnswer(home.path() + "/out");
    answerNextBox(CMsgBox::IdOk);
    clickButton(CMainDlg::IdRecover);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CMsgBox::pendingAnswers() == 0; }, 60000));
    ASSERT_EQ(boxTexts.size(), 1);
    EXPECT_EQ(boxTexts[0],
              QString("Recovering finished, %1 files have been recovered.").arg(ticked));
    EXPECT_FALSE(w.button(CMainDlg::IdBack)->isVisible());
    EXPECT_TRUE(w.button(CMainDlg::IdRecover)->isVisible());
    EXPECT_FALSE(w.progressBar()->isVisible());

    const QString file = findFile(home.path() + "/out", "contacts.txt");
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(QRegularExpression(
                    QString("/out/Kestrova\\d{14}/Contacts \\(%1\\)/contacts\\.txt$").arg(ticked))
                    .match(file)
                    .hasMatch())
        << file.toStdString();

    std::vector<int> liveIds;
    for (int r = recovered + 1; r < list->GetItemCount(); ++r)
        liveIds.push_back(recordOf(list, r)->id);
    QStringList lines{"Contacts:"};
    lines << liveExportLines(phone.made.contactsPath, liveIds);
    lines << QString(66, '-') << "Deleted:";
    for (int r = 0; r < recovered; ++r)
        lines << list->GetItemText(r, 0) + " : " + list->GetItemText(r, 1);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), utf16File(lines));
}

// A tick in the tree reaches every list row and every record, recovered ones included; the
// tick-all box of the list does the same from the other side.
TEST_F(WindowTest, TicksStayInStepBetweenTreeListAndModel) {
    Phone phone(6, 2);
    EmuPhone emu(phone);
    useSocket(emu.socket());
    CMainDlg& w = open();
    ASSERT_TRUE(waitForResults());
    CListViewCheck1* list = w.list();
    CTreeViewEx1* tree = w.tree();
    const int rows = list->GetItemCount();
    ASSERT_EQ(w.state().countTicked(), rows);

    auto allRows = [&](bool ticked) {
        for (int r = 0; r < rows; ++r)
            if (list->GetCheckState(r) != ticked)
                return false;
        return true;
    };
    QTest::mouseClick(tree, Qt::LeftButton, Qt::NoModifier,
                      tree->TickBoxRect(w.contactsRow()).center());
    EXPECT_FALSE(tree->GetCheckState(w.contactsRow()));
    EXPECT_FALSE(tree->GetCheckState(w.rootRow()));
    EXPECT_TRUE(allRows(false));
    EXPECT_FALSE(list->Header()->TickAllBox()->isChecked());
    EXPECT_EQ(w.state().countTicked(), 0);

    QTest::mouseClick(list->Header()->TickAllBox(), Qt::LeftButton);
    EXPECT_TRUE(allRows(true));
    EXPECT_EQ(w.state().countTicked(), rows);
    EXPECT_TRUE(tree->GetCheckState(w.contactsRow()));
    EXPECT_TRUE(tree->GetCheckState(w.rootRow()));
}

// An export whose file cannot be written must not be reported as a success.
TEST_F(WindowTest, ExportThatCannotWriteIsReportedAsFailed) {
    Phone phone(6, 2);
    EmuPhone emu(phone);
    useSocket(emu.socket());
    CMainDlg& w = open();
    ASSERT_TRUE(waitForResults());
    // A file where the export's folder would go: no folder, no file, no line written.
    const QString blocked = home.path() + "/blocked";
    QFile(blocked).open(QIODevice::WriteOnly);
    FolderPicker::setNextAnswer(blocked);
    answerNextBox(CMsgBox::IdOk);
    clickButton(CMainDlg::IdRecover);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CMsgBox::pendingAnswers() == 0; }, 30000));
    ASSERT_EQ(boxTexts.size(), 1);
    EXPECT_TRUE(boxTexts[0].startsWith("Recovering failed, ")) << boxTexts[0].toStdString();
    EXPECT_TRUE(w.button(CMainDlg::IdRecover)->isVisible());
}

TEST_F(WindowTest, FailedStateShowsAdviceAndRetryLoads) {
    CMainDlg& w = open(); // nothing answers on the socket
    ASSERT_TRUE(waitForFailed());
    EXPECT_EQ(w.currentScreen(), CMainDlg::StartScreen);
    EXPECT_TRUE(w.button(CMainDlg::IdRefresh)->isVisible());
    EXPECT_TRUE(w.helpLink()->isVisible());
    EXPECT_FALSE(QFile::exists(w.contactCopyPath()));

    Phone phone(6, 2);
    EmuPhone emu(phone);
    useSocket(emu.socket());
    clickButton(CMainDlg::IdRefresh);
    EXPECT_FALSE(w.button(CMainDlg::IdRefresh)->isVisible());
    EXPECT_FALSE(w.helpLink()->isVisible());
    EXPECT_EQ(w.loadState(), -1);
    ASSERT_TRUE(waitForResults());
    EXPECT_EQ(w.loadState(), 1);
    EXPECT_GT(w.list()->GetItemCount(), 0);
}

TEST_F(WindowTest, FailedStateWhenThePhoneRefusesRoot) {
    Phone phone(6, 2);
    EmuPhone emu(phone, "noroot");
    useSocket(emu.socket());
    CMainDlg& w = open();
    ASSERT_TRUE(waitForFailed());
    EXPECT_TRUE(w.button(CMainDlg::IdRefresh)->isVisible());
    EXPECT_FALSE(QFile::exists(w.contactCopyPath()));
}

TEST_F(WindowTest, GoingBackAsksThenReloadsAfresh) {
    Phone phone(8, 3);
    EmuPhone emu(phone);
    useSocket(emu.socket());
    CMainDlg& w = open();
    ASSERT_TRUE(waitForResults());
    const int rows = w.list()->GetItemCount();

    answerNextBox(CMsgBox::IdNo);
    clickButton(CMainDlg::IdBack);
    EXPECT_EQ(boxTexts.value(0), "Are you sure to go back to reload the data from Android phone?");
    EXPECT_EQ(w.currentScreen(), CMainDlg::ResultsScreen);
    EXPECT_EQ(w.list()->GetItemCount(), rows);

    answerNextBox(CMsgBox::IdYes);
    clickButton(CMainDlg::IdBack);
    EXPECT_EQ(w.currentScreen(), CMainDlg::StartScreen);
    EXPECT_EQ(w.loadState(), -1);
    EXPECT_FALSE(w.list()->isVisible());
    EXPECT_FALSE(w.tree()->isVisible());
    EXPECT_FALSE(w.button(CMainDlg::IdBack)->isVisible());
    EXPECT_FALSE(w.button(CMainDlg::IdRecover)->isVisible());
    EXPECT_EQ(w.panel(), nullptr);
    EXPECT_TRUE(w.state().recoveredContacts.empty());
    EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()), "Contacts");

    ASSERT_TRUE(waitForResults());
    EXPECT_EQ(w.list()->GetItemCount(), rows);
    EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()), QString("Contacts (%1)").arg(rows));
}

// The program folder's contacts reader, held at its second call (the start of the scan's
// main pass) until the test has pressed pause. However late the window's thread gets to the
// pause button, the scan then cannot have passed its first record. A held call goes on by
// itself after a minute, so a fault never hangs the test.
struct GatedReader {
    static inline OstranyReadFn real = nullptr;
    static inline std::atomic<int> calls{0};
    static inline osplat::ManualResetEvent pausePressed{false};

    static OstranyReadFn arm() {
        if (!real) {
            const std::string path = std::string(KESTROVA_PROGRAM_DIR) + "/" + kOstranyLibrary;
            void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            real = lib ? reinterpret_cast<OstranyReadFn>(::dlsym(lib, kOstranyEntry)) : nullptr;
        }
        calls = 0;
        pausePressed.reset();
        return real ? &read : nullptr;
    }
    static int read(const char* path, void** firstList, ContactRecord** contacts,
                    DataRow** dataRows, MimetypeEntry** mimetypes) {
        if (++calls == 2)
            pausePressed.waitFor(std::chrono::seconds(60));
        return real(path, firstList, contacts, dataRows, mimetypes);
    }
};

// The worker controls, on a phone of some thousands of contacts.
class WorkerControlTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        phone = std::make_unique<Phone>(4000, 200, 50);
        emu = std::make_unique<EmuPhone>(*phone);
        useSocket(emu->socket());
    }
    void TearDown() override {
        WindowTest::TearDown();
        GatedReader::pausePressed.set();
        emu.reset();
        phone.reset();
    }
    // Opens the window and presses pause the moment the scan shows the pause button.
    void openAndPauseTheScan() {
        CMainDlg& w = open();
        // Only the scan calls the reader; the acquisition running now never does.
        const OstranyReadFn reader = GatedReader::arm();
        ASSERT_NE(reader, nullptr) << "no contacts reader in the program folder";
        w.state().setReader(reader);
        struct PauseOnShow : QObject {
            CMainDlg* w;
            bool eventFilter(QObject*, QEvent* e) override {
                if (w && e->type() == QEvent::Show && w->workerRunning()) {
                    w->onCommand(CMainDlg::IdPause);
                    GatedReader::pausePressed.set();
                    w = nullptr; // once
                }
                return false;
            }
        };
        auto* filter = new PauseOnShow;
        filter->w = &w;
        filter->setParent(&w);
        w.button(CMainDlg::IdPause)->installEventFilter(filter);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return w.button(CMainDlg::IdContinue)->isVisible(); }, 60000));
    }
    std::unique_ptr<Phone> phone;
    std::unique_ptr<EmuPhone> emu;
};

TEST_F(WorkerControlTest, PauseHoldsTheScanAndContinueFinishesIt) {
    openAndPauseTheScan();
    CMainDlg& w = *window;
    EXPECT_FALSE(w.button(CMainDlg::IdPause)->isVisible());
    EXPECT_TRUE(w.button(CMainDlg::IdStop)->isVisible());
    const int held = w.state().processedCount;
    QTest::qWait(300);
    EXPECT_EQ(w.state().processedCount, held);
    EXPECT_TRUE(w.workerRunning());

    clickButton(CMainDlg::IdContinue);
    EXPECT_TRUE(w.button(CMainDlg::IdPause)->isVisible());
    EXPECT_FALSE(w.button(CMainDlg::IdContinue)->isVisible());
    ASSERT_TRUE(waitForResults());
    EXPECT_EQ(w.state().processedCount, w.state().scanTotal);
    EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()),
              QString("Contacts (%1)").arg(w.state().scanTotal.load()));
    EXPECT_EQ(w.list()->GetItemCount(), w.state().scanTotal.load());
}

TEST_F(WorkerControlTest, StopWhilePausedEndsTheScanAtOnce) {
    openAndPauseTheScan();
    CMainDlg& w = *window;
    const int processed = w.state().processedCount;
    clickButton(CMainDlg::IdStop);
    ASSERT_TRUE(waitForResults(5000));
    EXPECT_TRUE(w.state().recoveredContacts.empty());
    if (processed == 0) {
        EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()), "Contacts");
        EXPECT_FALSE(w.list()->isVisible());
        answerNextBox(CMsgBox::IdOk);
        clickButton(CMainDlg::IdRecover);
        EXPECT_EQ(boxTexts.value(0), "Please select the file(s) you want to recover.");
    } else {
        EXPECT_EQ(w.tree()->GetItemText(w.contactsRow()), QString("Contacts (%1)").arg(processed));
    }
}

// Threads of ours besides the main one: std::threads keep the process's name, while Qt's
// own helper threads carry names of their own.
int plainThreads() {
    auto comm = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    };
    const QByteArray self = comm("/proc/self/comm");
    int n = 0;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        n += comm("/proc/self/task/" + task + "/comm") == self;
    return n - 1;
}

TEST_F(WorkerControlTest, ClosingDuringAScanStopsAndJoinsTheWorker) {
    openAndPauseTheScan();
    ASSERT_TRUE(window->workerRunning());
    EXPECT_GE(plainThreads(), 1);
    QElapsedTimer clock;
    clock.start();
    window->closeMainWindow(0);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(window->workerRunning());
    EXPECT_FALSE(QFile::exists(window->contactCopyPath()));
    EXPECT_EQ(window->result(), 0);
    window.reset();
    EXPECT_EQ(plainThreads(), 0);
}

// Every way out ends in the same shutdown: its end code, both copies deleted.
struct ShutdownCase {
    const char* name;
    std::function<void(WindowTest&, CMainDlg&)> trigger;
    int code;
};

void PrintTo(const ShutdownCase& c, std::ostream* os) {
    *os << c.name;
}

class ShutdownTest : public WindowTest, public ::testing::WithParamInterface<ShutdownCase> {};

TEST_P(ShutdownTest, EndsWithItsCodeAndDeletesBothCopies) {
    CMainDlg& w = open();
    ASSERT_TRUE(waitForFailed());
    for (const QString& copy : {w.contactCopyPath(), w.messageCopyPath()}) {
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    GetParam().trigger(*this, w);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), GetParam().code);
    EXPECT_FALSE(QFile::exists(w.contactCopyPath()));
    EXPECT_FALSE(QFile::exists(w.messageCopyPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, ShutdownTest,
    ::testing::Values(ShutdownCase{"CloseButton",
                                   [](WindowTest&, CMainDlg& w) {
                                       QTest::mouseClick(w.button(CMainDlg::IdClose),
                                                         Qt::LeftButton);
                                   },
                                   1000},
                      ShutdownCase{"SystemClose", [](WindowTest&, CMainDlg& w) { w.close(); }, 0},
                      ShutdownCase{
                          "MenuExit",
                          [](WindowTest&, CMainDlg& w) { w.onMenuEntry(CMainDlg::MenuExit); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, EnterAndEscLeaveTheWindowOpen) {
    CMainDlg& w = open();
    ASSERT_TRUE(waitForFailed());
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&w, Qt::Key(key));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.loadState(), 0);
}

TEST_F(WindowTest, DraggingAFreeSpotMovesTheWindow) {
    CMainDlg& w = open();
    const QPoint start = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(400, 15));
    QMouseEvent move(QEvent::MouseMove, QPointF(440, 45), w.mapToGlobal(QPointF(440, 45)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(440, 45));
    EXPECT_EQ(w.pos(), start + QPoint(40, 30));
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
