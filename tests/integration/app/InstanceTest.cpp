// One Kestrova per user: a second start ends at once with code 0 while the first runs on,
// and a holder that dies (even by SIGKILL) leaves no stale lock behind.
#include "InstanceGuard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>

namespace {

const QString kGuardName = QStringLiteral("Kavri Kestrova");

// A loopback port on which nothing answers.
quint16 deadPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when s goes
}

// Whether some process listens under the guard's name (connecting does not take it).
bool guardHeld(const QString& socketName) {
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(socketName);
    const bool held = probe.waitForConnected(500);
    probe.abort();
    return held;
}

class KestrovaProcess {
public:
    explicit KestrovaProcess(const QTemporaryDir& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_CACHE_HOME", home.path() + "/cache");
        env.insert("ADB_SERVER_SOCKET", QString("tcp:127.0.0.1:%1").arg(deadPort()));
        env.insert("KAVRI_UPDATE_HOST", QString("127.0.0.1:%1").arg(deadPort()));
        env.insert("KESTROVA_SHELL_LOG", home.path() + "/shell.log");
        env.insert("KESTROVA_ACQUIRE_DELAY_MS", "0");
        env.remove("ANDROID_SERIAL");
        process.setProcessEnvironment(env);
        // A Kestrova left behind by a killed test would hold the guard for the next one.
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.setWorkingDirectory(KESTROVA_PROGRAM_DIR);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    ~KestrovaProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    void start() { process.start(QStringLiteral(KESTROVA_PROGRAM_DIR "/Kestrova"), {}); }
    QProcess process;
};

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        InstanceGuard probe(kGuardName);
        socketName = probe.socketName();
        // Another Kestrova of this user would make every case here meaningless.
        ASSERT_FALSE(guardHeld(socketName)) << "a Kestrova of this user is already running";
    }
    QTemporaryDir home;
    QString socketName;
};

TEST_F(InstanceTest, SecondGuardInOneProcessIsRefusedUntilTheFirstGoes) {
    auto first = std::make_unique<InstanceGuard>(kGuardName);
    ASSERT_TRUE(first->acquire());
    InstanceGuard second(kGuardName);
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.held());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

TEST_F(InstanceTest, SecondStartEndsAtOnceWithCodeZeroAndTheFirstRunsOn) {
    KestrovaProcess first(home);
    first.start();
    ASSERT_TRUE(first.process.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return guardHeld(socketName); }, 10000));

    KestrovaProcess second(home);
    QElapsedTimer clock;
    clock.start();
    second.start();
    ASSERT_TRUE(second.process.waitForFinished(10000));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_LT(clock.elapsed(), 5000);

    EXPECT_EQ(first.process.state(), QProcess::Running);
    EXPECT_TRUE(guardHeld(socketName));
}

TEST_F(InstanceTest, AKilledHolderLeavesNoStaleLock) {
    KestrovaProcess first(home);
    first.start();
    ASSERT_TRUE(first.process.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return guardHeld(socketName); }, 10000));
    ::kill(pid_t(first.process.processId()), SIGKILL);
    ASSERT_TRUE(first.process.waitForFinished(5000));

    InstanceGuard after(kGuardName);
    EXPECT_TRUE(after.acquire());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
