// The hand-over to the installer with the sibling product running, on a private X display.
#include "UpdaterHarness.h"

#include <QApplication>
#include <QProcess>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using harness::UpdaterFixture;
namespace text = fresnaro::text;

const QString kStandIn = QStringLiteral(KESTROVA_TOOLS_DIR "/kavri-product-standin");

struct HandoverCase {
    const char* name;
    const char* productTitle; // nullptr: the product is not running
    QMessageBox::StandardButton answer;
    bool productEnded;
    bool installerStarts;
};

void PrintTo(const HandoverCase& c, std::ostream* os) {
    *os << c.name;
}

class HandoverTest : public UpdaterFixture, public ::testing::WithParamInterface<HandoverCase> {
protected:
    // Starts a stand-in window; with `guard` it also holds the product's guard.
    std::unique_ptr<QProcess> startWindow(const QString& cls, const QString& title,
                                          const QString& guard) {
        auto p = std::make_unique<QProcess>();
        const QString ready = dir.filePath(QStringLiteral("ready-") + cls);
        QStringList args{
            QStringLiteral("--class"), cls,   QStringLiteral("--title"),    title,
            QStringLiteral("--ready"), ready, QStringLiteral("--lifetime"), QStringLiteral("60")};
        if (!guard.isEmpty()) {
            args << QStringLiteral("--guard") << guard;
        }
        p->start(kStandIn, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        EXPECT_TRUE(harness::waitUntil([&] { return QFile::exists(ready); }, 5000))
            << p->readAllStandardError().toStdString();
        return p;
    }
    void TearDown() override {
        for (auto* p : {product.get(), bystander.get()}) {
            if (p != nullptr && p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
        UpdaterFixture::TearDown();
    }
    std::unique_ptr<QProcess> product;
    std::unique_ptr<QProcess> bystander;
};

TEST_P(HandoverTest, EndsOnlyTheProductsWindowOwner) {
    const HandoverCase& c = GetParam();
    setInstalled("1.0.0.1");
    serveManifest("1.0.0.2");
    serveInstaller(2048);
    // Same title, other class, no guard: never to be touched.
    bystander = startWindow(QStringLiteral("Bystander"), QStringLiteral("Kavri  Palomine"), {});
    if (c.productTitle != nullptr) {
        product = startWindow(QString::fromUtf8(fresnaro::kProductWindowClass),
                              QString::fromUtf8(c.productTitle), paths.productGuard);
    }
    answers = {c.answer};

    ASSERT_NE(run(), -1);

    if (c.productTitle != nullptr) {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text.toStdString(), text::kExitProduct);
        EXPECT_EQ(shown[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const bool ended = product->state() == QProcess::NotRunning ||
                           product->waitForFinished(c.productEnded ? 5000 : 300);
        EXPECT_EQ(ended, c.productEnded);
        if (c.productEnded) {
            EXPECT_EQ(product->exitStatus(), QProcess::CrashExit);
        }
    } else {
        EXPECT_TRUE(shown.empty());
    }
    EXPECT_EQ(bystander->state(), QProcess::Running);
    EXPECT_EQ(installerRan(c.installerStarts ? 5000 : 300), c.installerStarts);
    // The new version counts as installed whatever the hand-over did.
    EXPECT_EQ(installed(), "1.0.0.2");
}

INSTANTIATE_TEST_SUITE_P(
    Handover, HandoverTest,
    ::testing::Values(
        HandoverCase{"ProductFoundAndEnded", "Kavri  Palomine", QMessageBox::Yes, true, true},
        HandoverCase{"OneBlankTitleNotFound", "Kavri Palomine", QMessageBox::Yes, false, false},
        HandoverCase{"AnswerNo", "Kavri  Palomine", QMessageBox::No, false, false},
        HandoverCase{"ProductNotRunning", nullptr, QMessageBox::Ok, false, true}),
    [](const ::testing::TestParamInfo<HandoverCase>& info) {
        return std::string(info.param.name);
    });

// A private X server for this process, so that windows of other tests never meet ours.
pid_t startXvfb() {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24",
                 "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char ch = 0;
    while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &ch, 1) == 1 && ch != '\n') {
        number += ch;
    }
    ::close(fds[0]);
    if (number.empty()) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    const pid_t xvfb = listing ? 0 : startXvfb();
    if (xvfb < 0) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    int rc = 0;
    {
        QApplication app(argc, argv);
        rc = RUN_ALL_TESTS();
    }
    if (xvfb > 0) {
        ::kill(xvfb, SIGTERM);
        ::waitpid(xvfb, nullptr, 0);
    }
    return rc;
}
