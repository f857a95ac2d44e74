// What the window takes from its program folder and its surroundings: the installed version
// from config.ini, the web host from deploy.ini, the pages and the updater it starts through
// the shell, the update prompt, and the menu.
#include "WindowFixture.h"

#include "TestHttpServer.h"
#include "ui/CImgButton.h"
#include "ui/CMsgBox.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

// A program folder of its own: settings files only (no bridge client, so acquisition fails).
class FolderTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(folder.isValid());
    }
    CMainDlg& openInFolder() {
        MainDlgSettings s = defaults();
        s.programFolder = folder.path();
        return open(s);
    }
    QTemporaryDir folder;
};

struct VersionCase {
    const char* name;
    const char* configIni; // null: no config.ini
    const char* expected;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.name;
}

class InstalledVersionTest : public FolderTest,
                             public ::testing::WithParamInterface<VersionCase> {};

TEST_P(InstalledVersionTest, ComesFromConfigIni) {
    if (GetParam().configIni)
        writeFile(folder.path() + "/config.ini", GetParam().configIni);
    EXPECT_EQ(openInFolder().installedVersion(), QString(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstalledVersionTest,
    ::testing::Values(VersionCase{"Missing", nullptr, "1.0.0.1"},
                      VersionCase{"NoKey", "[Basic]\nother=1\n", "1.0.0.1"},
                      VersionCase{"Set", "[Basic]\nappver=2.3.4.5\n", "2.3.4.5"},
                      VersionCase{"AnyCase", "[basic]\nAppVer=3.0.0.0\n", "3.0.0.0"},
                      VersionCase{"CutTo19", "[Basic]\nappver=1234567890123456789012345\n",
                                  "1234567890123456789"}),
    [](const auto& info) { return std::string(info.param.name); });

// Pages open through the shell at the deployment's web host; the updater starts from the
// program folder with the program folder as its working folder.
struct PageCase {
    const char* name;
    std::function<void(CMainDlg&)> trigger;
    const char* logLine; // %1 = the program folder
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.name;
}

class PageTest : public FolderTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageTest, GoesThroughTheShell) {
    writeFile(folder.path() + "/deploy.ini", "[Deploy]\nweb_host=127.0.0.1:9\n");
    CMainDlg& w = openInFolder();
    ASSERT_TRUE(waitForFailed());
    GetParam().trigger(w);
    EXPECT_EQ(shellLog(), QString(GetParam().logLine).arg(folder.path()) + "\n");
    EXPECT_TRUE(w.isVisible());
}

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, PageTest,
    ::testing::Values(
        PageCase{"HomeButton", [](CMainDlg& w) { click(w.button(CMainDlg::IdHome)); },
                 "open http://127.0.0.1:9/"},
        PageCase{"SupportButton", [](CMainDlg& w) { click(w.button(CMainDlg::IdSupport)); },
                 "open http://127.0.0.1:9/support.html"},
        PageCase{"MenuHome", [](CMainDlg& w) { w.onMenuEntry(CMainDlg::MenuHome); },
                 "open http://127.0.0.1:9/"},
        PageCase{"MenuHelp", [](CMainDlg& w) { w.onMenuEntry(CMainDlg::MenuHelp); },
                 "open http://127.0.0.1:9/kestrova.html"},
        PageCase{"HelpLink", [](CMainDlg& w) { click(reinterpret_cast<QWidget*>(w.helpLink())); },
                 "open http://127.0.0.1:9/kestrova.html"},
        PageCase{"MenuUpdate", [](CMainDlg& w) { w.onMenuEntry(CMainDlg::MenuUpdate); },
                 "start %1/Fresnaro IN %1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FolderTest, WithoutDeploySettingsPagesUseTheBuiltInHost) {
    CMainDlg& w = openInFolder();
    EXPECT_EQ(w.homePage().host(), QString(KESTROVA_TEST_WEB_HOST));
}

// The update check a second after start: a prompt only when the manifest names another
// version; Yes starts the updater and ends the window, No keeps it running.
struct UpdateCase {
    const char* name;
    const char* newest;
    int answer; // 0: no prompt expected
    bool updaterStarted;
};

void PrintTo(const UpdateCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdatePromptTest : public FolderTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdatePromptTest, FollowsTheManifest) {
    teststand::TestHttpServer server;
    teststand::Route manifest;
    manifest.body = std::string("{\"Kestrova\":[{\"Version\":\"1.0.0.1\",\"Nversion\":\"") +
                    GetParam().newest + "\",\"Update_URL\":\"http://127.0.0.1:9/setup\"}]}";
    server.setRoute("/download/update/kavri_update.txt", manifest);
    ASSERT_TRUE(server.start(std::chrono::seconds(60)));
    qputenv("KAVRI_UPDATE_HOST", QByteArray::fromStdString(server.hostAndPort()));
    writeFile(folder.path() + "/config.ini", "[Basic]\nappver=1.0.0.1\n");
    if (GetParam().answer)
        answerNextBox(GetParam().answer);

    CMainDlg& w = openInFolder();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.hits("/download/update/kavri_update.txt") > 0; }, 10000));
    if (GetParam().answer) {
        // The prompt, and after Yes the window's end, may come late on a busy machine.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !boxTexts.isEmpty() && (!GetParam().updaterStarted || !w.isVisible()); },
            20000));
        EXPECT_EQ(boxTexts, QStringList{"New version found,are you sure to Update?"});
    } else {
        QTest::qWait(800); // time for a prompt that must not come
        EXPECT_TRUE(boxTexts.isEmpty());
    }
    EXPECT_EQ(shellLog().contains("start " + folder.path() + "/Fresnaro"),
              GetParam().updaterStarted);
    EXPECT_EQ(w.isVisible(), !GetParam().updaterStarted);
    if (GetParam().updaterStarted) {
        EXPECT_EQ(w.result(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, UpdatePromptTest,
    ::testing::Values(UpdateCase{"SameVersion", "1.0.0.1", 0, false},
                      UpdateCase{"OtherVersionNo", "1.0.0.2", CMsgBox::IdNo, false},
                      UpdateCase{"OtherVersionYes", "1.0.0.2", CMsgBox::IdYes, true},
                      UpdateCase{"LowerVersionYes", "0.9", CMsgBox::IdYes, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FolderTest, MenuDismissedChangesNothing) {
    CMainDlg& w = openInFolder();
    ASSERT_TRUE(waitForFailed());
    QStringList menuEntries;
    QTimer::singleShot(300, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* a : menu->actions())
            menuEntries << a->text();
        menu->close();
    });
    clickButton(CMainDlg::IdMenu);
    EXPECT_EQ(menuEntries, (QStringList{"Home", "About", "Help", "Update", "Exit"}));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.loadState(), 0);
    EXPECT_TRUE(w.button(CMainDlg::IdRefresh)->isVisible());
    EXPECT_TRUE(shellLog().isEmpty());
}

} // namespace
