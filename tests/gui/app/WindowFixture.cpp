#include "WindowFixture.h"

#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/CMsgBox.h"
#include "ui/TkImage.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

quint16 deadPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

Phone::Phone(int contacts, int deletedContacts, int messages) {
    kestrova::samplephone::Options o;
    o.outDir = dir.path().toStdString();
    o.contacts = contacts;
    o.deletedContacts = deletedContacts;
    o.messages = messages;
    o.bulk = contacts > 1000;
    std::string error;
    if (!kestrova::samplephone::generate(o, made, error))
        ADD_FAILURE() << "cannot make the phone: " << error;
}

EmuPhone::EmuPhone(const Phone& phone, const QString& mode) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The phone ends with the test, even when the test is killed.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(QStringLiteral(KESTROVA_PROGRAM_DIR "/kestrova-emuphone"),
                   {"--port", "0", "--contacts", QString::fromStdString(phone.made.contactsPath),
                    "--sms", QString::fromStdString(phone.made.smsPath), "--mode", mode});
    QByteArray out;
    (void)QTest::qWaitFor(
        [&] {
            out += process_.readAllStandardOutput();
            const int at = out.indexOf("port ");
            const int end = at >= 0 ? out.indexOf('\n', at) : -1;
            if (end > at)
                port_ = out.mid(at + 5, end - at - 5).trimmed().toInt();
            return port_ > 0 || process_.state() == QProcess::NotRunning;
        },
        15000);
    if (port_ <= 0)
        ADD_FAILURE() << "the emulated phone did not start";
}

EmuPhone::~EmuPhone() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void WindowTest::SetUp() {
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit());
    qunsetenv("ANDROID_SERIAL");
    qputenv("KAVRI_UPDATE_HOST", "127.0.0.1:" + QByteArray::number(deadPort()));
    qputenv("KESTROVA_SHELL_LOG", (home.path() + "/shell.log").toLocal8Bit());
    useSocket("tcp:127.0.0.1:" + QByteArray::number(deadPort()));
    setImageFolder(QStringLiteral(KESTROVA_PROGRAM_DIR "/image/"));
    CMsgBox::clearNextAnswers();
    CMsgBox::setInspectHook([this](CMsgBox& box) { boxTexts << box.Text(); });
    FolderPicker::setNextAnswer(std::nullopt);
}

void WindowTest::TearDown() {
    window.reset();
    CMsgBox::setInspectHook(nullptr);
    CMsgBox::clearNextAnswers();
}

MainDlgSettings WindowTest::defaults() const {
    MainDlgSettings s;
    s.programFolder = QStringLiteral(KESTROVA_PROGRAM_DIR);
    s.copyFolder = home.path() + "/Kavri";
    s.acquireDelayMs = 0;
    return s;
}

CMainDlg& WindowTest::open(MainDlgSettings settings) {
    if (settings.programFolder.isEmpty())
        settings = defaults();
    window = std::make_unique<CMainDlg>(settings);
    window->show();
    return *window;
}

void WindowTest::useSocket(const QByteArray& socket) {
    qputenv("ADB_SERVER_SOCKET", socket);
}

bool WindowTest::waitForResults(int ms) {
    return QTest::qWaitFor(
        [&] {
            return window->currentScreen() == CMainDlg::ResultsScreen && !window->workerRunning() &&
                   window->button(CMainDlg::IdRecover)->isVisible();
        },
        ms);
}

bool WindowTest::waitForFailed(int ms) {
    return QTest::qWaitFor([&] { return window->loadState() == 0; }, ms);
}

void WindowTest::answerNextBox(int id) {
    CMsgBox::setNextAnswer(id);
}

void WindowTest::clickButton(int id) {
    CImgButton* b = window->button(id);
    ASSERT_TRUE(b && b->isVisible()) << "button " << id << " is hidden";
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
}

void WindowTest::clickTick(int row) {
    CListViewCheck1* list = window->list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->TickBoxRect(row).center());
}

QString WindowTest::shellLog() const {
    QFile f(home.path() + "/shell.log");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
