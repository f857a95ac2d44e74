// The updater's window from check to hand-over, against a loopback server.
#include "LoopbackPort.h"
#include "Profile.h"
#include "SkinSE.h"
#include "UpdaterHarness.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QProgressBar>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using harness::UpdaterFixture;
namespace text = fresnaro::text;

enum class Manifest { Normal, NotFound, Empty, ServerDown, NoEntry };

struct FlowCase {
    const char* name;
    const char* installed; // written to the settings file
    Manifest manifest;
    const char* newest;
    const char* url;           // installer path on the server, or a whole address
    std::size_t installerSize; // 0: the server has no installer
    std::size_t cutAfter;      // npos: the whole installer is sent
    const char* message;       // the one box shown, or nullptr
    QMessageBox::Icon icon;
    bool installerStarts;
    const char* appverAfter;
};

void PrintTo(const FlowCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdaterFlowTest : public UpdaterFixture, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(UpdaterFlowTest, EndsAsExpected) {
    const FlowCase& c = GetParam();
    setInstalled(c.installed);
    switch (c.manifest) {
    case Manifest::Normal:
        serveManifest(c.newest, c.url);
        break;
    case Manifest::NotFound:
        break;
    case Manifest::Empty:
        server.setRoute(update::kManifestPath, {200, ""});
        break;
    case Manifest::ServerDown:
        paths.updateHost = "127.0.0.1:" + std::to_string(testsupport::refusedLoopbackPort());
        break;
    case Manifest::NoEntry:
        server.setRoute(update::kManifestPath, {200, R"({"Kestrova":[{"Nversion":"9"}]})"});
        break;
    }
    if (c.installerSize > 0) {
        teststand::Route r{200, harness::installerScript(marker, c.installerSize)};
        r.cutAfter = c.cutAfter;
        server.setRoute("/setup.exe", r);
    }

    ASSERT_NE(run(), -1) << "the window did not end";

    if (c.message == nullptr) {
        EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
    } else {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text.toStdString(), c.message);
        EXPECT_EQ(shown[0].title.toStdString(), text::kBoxTitle);
        EXPECT_EQ(shown[0].icon, c.icon);
    }
    EXPECT_EQ(installerRan(c.installerStarts ? 5000 : 300), c.installerStarts);
    EXPECT_EQ(installed(), c.appverAfter);
    if (c.installerStarts) {
        EXPECT_EQ(QFileInfo(dlg->installerPath()).size(), static_cast<qint64>(c.installerSize));
        const auto* bar = qobject_cast<QProgressBar*>(dlg->control(fresnaro::kProgressId));
        EXPECT_EQ(bar->maximum(), static_cast<int>(c.installerSize));
        EXPECT_EQ(bar->value(), static_cast<int>(c.installerSize)); // ends at the total
    }
}

constexpr auto npos = std::string::npos;
constexpr auto kError = QMessageBox::Critical;
constexpr auto kInfo = QMessageBox::Information;

INSTANTIATE_TEST_SUITE_P(
    Updater, UpdaterFlowTest,
    ::testing::Values(
        FlowCase{"EqualVersions", "1.0.0.2", Manifest::Normal, "1.0.0.2", "/setup.exe", 2000, npos,
                 text::kNewest, kInfo, false, "1.0.0.2"},
        FlowCase{"NoEntryAndNoVersion", "", Manifest::NoEntry, "", "", 0, npos, text::kNewest,
                 kInfo, false, ""},
        FlowCase{"InstallerMultipleOf1024", "1.0.0.1", Manifest::Normal, "1.0.0.2", "/setup.exe",
                 3072, npos, nullptr, kInfo, true, "1.0.0.2"},
        FlowCase{"InstallerBelow1024", "1.0.0.1", Manifest::Normal, "1.0.0.0", "/setup.exe", 300,
                 npos, nullptr, kInfo, true, "1.0.0.0"},
        FlowCase{"InstallerNotFound", "1.0.0.1", Manifest::Normal, "1.0.0.2", "/setup.exe", 0, npos,
                 text::kRunFailed, kError, false, "1.0.0.1"},
        // A transfer cut before its announced length never starts a truncated installer.
        FlowCase{"TransferCutMidway", "1.0.0.1", Manifest::Normal, "1.0.0.2", "/setup.exe", 5000,
                 2100, text::kInternetFailed, kError, false, "1.0.0.1"},
        FlowCase{"ManifestNotFound", "1.0.0.1", Manifest::NotFound, "", "", 0, npos,
                 text::kManifestUnreachable, kError, false, "1.0.0.1"},
        FlowCase{"ServerDown", "1.0.0.1", Manifest::ServerDown, "", "", 0, npos,
                 text::kManifestUnreachable, kError, false, "1.0.0.1"},
        FlowCase{"EmptyManifest", "1.0.0.1", Manifest::Empty, "", "", 0, npos, text::kRunFailed,
                 kError, false, "1.0.0.1"},
        // An address the updater cannot fetch is reported, not left as a stuck window.
        FlowCase{"InstallerNotHttp", "1.0.0.1", Manifest::Normal, "1.0.0.2", "ftp://127.0.0.1/x", 0,
                 npos, text::kRunFailed, kError, false, "1.0.0.1"}),
    [](const ::testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

TEST_F(UpdaterFixture, ManifestFailureBoxHasNoOwner) {
    setInstalled("1.0.0.1");
    EXPECT_NE(run(), -1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].owned);
    EXPECT_EQ(shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

// Presses Cancel (or close) once the download runs, answering the question with `answer`.
struct CancelCase {
    const char* name;
    int button;
    QMessageBox::StandardButton answer;
    const char* question;
    const char* title;
};

void PrintTo(const CancelCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdaterCancelTest : public UpdaterFixture,
                          public ::testing::WithParamInterface<CancelCase> {};

TEST_P(UpdaterCancelTest, QuestionHoldsTheDownload) {
    const CancelCase& c = GetParam();
    setInstalled("1.0.0.1");
    serveManifest("1.0.0.2");
    serveInstaller(120 * 1024, 25ms);
    answers = {c.answer};
    qint64 sizeWhenAsked = -1;
    qint64 sizeWhenAnswered = -1;
    onMessage = [&](const harness::ShownMessage&) {
        // The question is open: once a chunk already past the gate is written, the transfer
        // stands still.
        QThread::msleep(100);
        sizeWhenAsked = QFileInfo(dlg->installerPath()).size();
        QThread::msleep(400);
        sizeWhenAnswered = QFileInfo(dlg->installerPath()).size();
    };
    onOpen = [&](fresnaro::CDravonelSoftwareUpdateDlg& d) {
        QObject::connect(&d, &fresnaro::CDravonelSoftwareUpdateDlg::stateChanged, &d,
                         [&d, &c](const QString& state) {
                             if (state == QStringLiteral("downloading")) {
                                 QTimer::singleShot(800, &d, [&d, &c] {
                                     qobject_cast<QAbstractButton*>(d.control(c.button))->click();
                                 });
                             }
                         });
    };
    QString rateAfterResume;
    if (c.answer != QMessageBox::Yes) {
        onOpen = [&, open = onOpen](fresnaro::CDravonelSoftwareUpdateDlg& d) {
            open(d);
            QObject::connect(&d, &fresnaro::CDravonelSoftwareUpdateDlg::finished, &d, [&] {
                rateAfterResume = qobject_cast<QLabel*>(d.control(fresnaro::kRateTextId))->text();
            });
        };
    }
    const int result = run(30000);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.toStdString(), c.question);
    EXPECT_EQ(shown[0].title.toStdString(), c.title);
    EXPECT_EQ(shown[0].icon, QMessageBox::Question);
    EXPECT_EQ(sizeWhenAsked, sizeWhenAnswered);
    if (c.answer == QMessageBox::Yes) {
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_FALSE(installerRan(500));
        EXPECT_EQ(installed(), "1.0.0.1");
        EXPECT_LT(QFileInfo(dlg->installerPath()).size(), 120 * 1024); // the partial file stays
    } else {
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_TRUE(installerRan());
        EXPECT_EQ(installed(), "1.0.0.2");
        EXPECT_EQ(QFileInfo(dlg->installerPath()).size(), 120 * 1024);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Downloading\\(\\d+KB/sec\\): $"))
                        .match(rateAfterResume)
                        .hasMatch())
            << rateAfterResume.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Updater, UpdaterCancelTest,
    ::testing::Values(CancelCase{"CancelThenNo", fresnaro::kCancelId, QMessageBox::No,
                                 text::kStopFromCancel, text::kWindowTitle},
                      CancelCase{"CancelThenYes", fresnaro::kCancelId, QMessageBox::Yes,
                                 text::kStopFromCancel, text::kWindowTitle},
                      CancelCase{"CloseThenCancel", fresnaro::kCloseId, QMessageBox::Cancel,
                                 text::kStopFromClose, text::kBoxTitle},
                      CancelCase{"CloseThenYes", fresnaro::kCloseId, QMessageBox::Yes,
                                 text::kStopFromClose, text::kBoxTitle}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST_F(UpdaterFixture, EscDuringDownloadEndsAtOnce) {
    setInstalled("1.0.0.1");
    serveManifest("1.0.0.2");
    serveInstaller(200 * 1024, 25ms);
    onOpen = [](fresnaro::CDravonelSoftwareUpdateDlg& d) {
        QObject::connect(&d, &fresnaro::CDravonelSoftwareUpdateDlg::stateChanged, &d,
                         [&d](const QString& state) {
                             if (state == QStringLiteral("downloading")) {
                                 QTimer::singleShot(500, &d, [&d] {
                                     QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape,
                                                   Qt::NoModifier);
                                     QApplication::sendEvent(&d, &esc);
                                 });
                             }
                         });
    };
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(run(), QDialog::Rejected);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(installerRan(300));
    EXPECT_EQ(installed(), "1.0.0.1");
}

TEST_F(UpdaterFixture, BeforeTheDownloadCloseDoesNothingAndCancelEnds) {
    serveManifest("1.0.0.2");
    bool visibleAfterClose = false;
    onOpen = [&](fresnaro::CDravonelSoftwareUpdateDlg& d) {
        QTimer::singleShot(100, &d, [&] {
            d.onClose();
            visibleAfterClose = d.isVisible() && d.checkPending();
            d.onCancel();
        });
    };
    EXPECT_EQ(run(), QDialog::Rejected);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(server.hits(update::kManifestPath), 0);
}

TEST_F(UpdaterFixture, StartDeletesLeftOverInstallerAndAnimates) {
    QDir(paths.tempFolder).mkpath(QStringLiteral("Kavri/Palomine"));
    const QString leftOver = paths.tempFolder + QStringLiteral("/Kavri/Palomine/update.exe");
    QFile f(leftOver);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    fresnaro::CDravonelSoftwareUpdateDlg d(paths);
    EXPECT_EQ(d.installerPath(), leftOver);
    EXPECT_FALSE(QFile::exists(leftOver));
    auto* animation = qobject_cast<QLabel*>(d.control(fresnaro::kAnimationId));
    std::vector<QString> frames;
    harness::waitUntil(
        [&] {
            if (frames.empty() || frames.back() != animation->text()) {
                frames.push_back(animation->text());
            }
            return frames.size() >= 3 || !d.checkPending();
        },
        950);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], QString());
    EXPECT_EQ(frames[1], QStringLiteral("Checking Updates."));
    EXPECT_EQ(frames[2], QStringLiteral("Checking Updates. ."));
    EXPECT_FALSE(d.control(fresnaro::kProgressId)->isVisibleTo(&d));
    EXPECT_FALSE(d.control(fresnaro::kRateTextId)->isVisibleTo(&d));
    EXPECT_TRUE(d.control(fresnaro::kCancelId)->isVisibleTo(&d));
    EXPECT_FALSE(d.control(fresnaro::kMinId)->isVisibleTo(&d));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Kavri Fresnaro"));
    // The skin engine's layout rule places Cancel from the bottom edge of the 420 x 300 window.
    EXPECT_EQ(d.size(), QSize(420, 300));
    EXPECT_EQ(d.control(fresnaro::kCancelId)->geometry(), QRect(170, 250, 80, 30));
}

TEST(SkinEngine, SkinFolderIsOptionalAndTextsAlwaysApply) {
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("skin.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[updateani]\nstyle=QLabel { background-image: url(@skin@/a.png); }\n");
    ini.close();
    QImage(1, 1, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("a.png")));
    QWidget parent;
    parent.resize(200, 100);
    parent.show();
    QLabel plain(&parent);
    ASSERT_EQ(SkinSE_LoadSkinResourceFromFolder("/nonexistent/frskin"), 0);
    SkinSE_SubclassWindow(&plain, "updateani");
    EXPECT_TRUE(plain.styleSheet().isEmpty());
    SkinSE_DirectUI_SetSubItemValue(&plain, "text.normal", "Checking Updates.", 1);
    EXPECT_EQ(plain.text(), QStringLiteral("Checking Updates."));

    ASSERT_EQ(SkinSE_LoadSkinResourceFromFolder(dir.path().toUtf8().constData()), 1);
    QLabel skinned(&parent);
    EXPECT_EQ(SkinSE_SubclassWindow(&skinned, "updateani"), 1);
    EXPECT_TRUE(skinned.styleSheet().contains(dir.path() + QStringLiteral("/a.png")));
    EXPECT_EQ(SkinSE_SubclassWindow(&skinned, "no.such.element"), 0);
    SkinSE_SetLayoutWindowPos(&skinned, 10, -30, -10, -5);
    EXPECT_EQ(skinned.geometry(), QRect(10, 70, 180, 25));
    parent.resize(300, 200);
    EXPECT_EQ(skinned.geometry(), QRect(10, 170, 280, 25));
}

TEST_F(UpdaterFixture, MissingProfilesFolderReadsEmptyAndIsNeverCreated) {
    QDir(paths.programFolder + QStringLiteral("/profiles")).removeRecursively();
    serveManifest("1.0.0.2");
    serveInstaller(1500);
    EXPECT_EQ(run(), QDialog::Accepted);
    EXPECT_TRUE(installerRan());
    EXPECT_FALSE(QFileInfo::exists(paths.programFolder + QStringLiteral("/profiles")));
}

TEST(UpdaterSettings, KeepsOtherContentAndMatchesSectionInAnyCase) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("config.ini"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Other]\nappver=x\n[BASIC]\nlang=en\nAppVer=1.0\n");
    f.close();
    EXPECT_EQ(fresnaro::readInstalledVersion(file), "1.0");
    ASSERT_TRUE(fresnaro::writeInstalledVersion(file, "2.0"));
    EXPECT_EQ(fresnaro::readInstalledVersion(file), "2.0");
    EXPECT_EQ(osplat::readProfileString("Other", "appver", "", 260, file.toStdString()), "x");
    EXPECT_EQ(osplat::readProfileString("basic", "lang", "", 260, file.toStdString()), "en");
    EXPECT_FALSE(
        fresnaro::writeInstalledVersion(dir.filePath(QStringLiteral("no/config.ini")), "1"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
