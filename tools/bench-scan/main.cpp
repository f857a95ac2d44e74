// kestrova-bench-scan [--contacts N]
//
// Runs Kestrova's window (offscreen) against an emulated phone with N contacts (20,000 by
// default) and measures how long the window thread goes without handling a 5 ms timer in
// each phase: acquisition, the engine runs, the scan worker, and filling the list. A gap of
// a few tens of milliseconds is invisible to a person; seconds are a frozen window.
#include "MainDlg.h"
#include "tools/samplephone/SamplePhone.h"
#include "ui/CAnimateImg.h"
#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/Messages.h"
#include "ui/TkImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <csignal>
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum Phase { Acquiring, Engines, Scanning, Listing, Done, PhaseCount };
const char* const kPhaseNames[] = {"acquisition", "engine runs", "scan worker", "list fill",
                                   "idle"};

struct Probe : QObject {
    QElapsedTimer clock;
    qint64 lastTick = -1;
    Phase phase = Acquiring;
    qint64 phaseStart[PhaseCount] = {};
    qint64 maxGap[PhaseCount] = {};
    int ticks[PhaseCount] = {};
    int progressChanges = 0;

    void enter(Phase p) {
        phase = p;
        phaseStart[p] = clock.elapsed();
    }
    void tick() {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) {
            const qint64 gap = now - lastTick;
            if (gap > maxGap[phase])
                maxGap[phase] = gap;
        }
        ++ticks[phase];
        lastTick = now;
        // The engine runs block the window thread inside the handler of the acquisition's
        // message: the first tick after it ends them, and the scan worker runs from there.
        if (phase == Engines)
            enter(Scanning);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        const int n = kmsg::messageNumber(e->type());
        if (n == kmsg::AcquisitionDone && phase == Acquiring) {
            tick();
            enter(Engines);
        } else if (n == kmsg::ScanDone) {
            tick();
            enter(Listing);
        }
        Q_UNUSED(o);
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int contacts = 20000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--contacts")
            contacts = std::atoi(argv[i + 1]);
    }

    QTemporaryDir work;
    qputenv("HOME", work.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (work.path() + "/cache").toLocal8Bit());
    qunsetenv("ANDROID_SERIAL");
    {
        QTcpServer s; // a port on which nothing answers: the update check stays silent
        s.listen(QHostAddress::LocalHost, 0);
        qputenv("KAVRI_UPDATE_HOST", "127.0.0.1:" + QByteArray::number(s.serverPort()));
    }

    kestrova::samplephone::Options o;
    o.outDir = (work.path() + "/phone").toStdString();
    o.contacts = contacts;
    o.messages = contacts / 10;
    o.bulk = true;
    kestrova::samplephone::Result phone;
    std::string error;
    QElapsedTimer gen;
    gen.start();
    if (!kestrova::samplephone::generate(o, phone, error)) {
        std::fprintf(stderr, "bench-scan: %s\n", error.c_str());
        return 1;
    }
    std::printf("phone: %d contacts (%lld data rows, %lld deleted), made in %lld ms\n", contacts,
                static_cast<long long>(phone.dataRows),
                static_cast<long long>(phone.deletedDataRows),
                static_cast<long long>(gen.elapsed()));

    QProcess emu;
    emu.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    emu.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    emu.start(QStringLiteral(KESTROVA_PROGRAM_DIR "/kestrova-emuphone"),
              {"--port", "0", "--contacts", QString::fromStdString(phone.contactsPath), "--sms",
               QString::fromStdString(phone.smsPath)});
    int port = 0;
    QByteArray out;
    (void)QTest::qWaitFor(
        [&] {
            out += emu.readAllStandardOutput();
            const int at = out.indexOf("port ");
            if (at >= 0 && out.indexOf('\n', at) > at)
                port = out.mid(at + 5, out.indexOf('\n', at) - at - 5).trimmed().toInt();
            return port > 0 || emu.state() == QProcess::NotRunning;
        },
        10000);
    if (port <= 0) {
        std::fprintf(stderr, "bench-scan: the emulated phone did not start\n");
        return 1;
    }
    qputenv("ADB_SERVER_SOCKET", "tcp:127.0.0.1:" + QByteArray::number(port));

    MainDlgSettings settings;
    settings.programFolder = QStringLiteral(KESTROVA_PROGRAM_DIR);
    settings.copyFolder = work.path() + "/Kavri";
    settings.acquireDelayMs = 0;
    setImageFolder(settings.programFolder + "/image/");

    Probe probe;
    probe.clock.start();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] { probe.tick(); });

    CMainDlg dlg(settings);
    dlg.installEventFilter(&probe);
    QObject::connect(dlg.progressBar(), &QProgressBar::valueChanged,
                     [&] { ++probe.progressChanges; });
    dlg.show();
    ticker.start();

    const bool finished =
        QTest::qWaitFor([&] { return probe.phase == Listing && dlg.list()->isVisible(); }, 600000);
    probe.tick();
    probe.enter(Done);
    QTest::qWait(200);
    ticker.stop();

    if (!finished) {
        std::fprintf(stderr, "bench-scan: the scan did not end (load state %d)\n", dlg.loadState());
        emu.terminate();
        emu.waitForFinished(5000);
        return 1;
    }
    std::printf("list: %d rows\n", dlg.list()->GetItemCount());
    for (int p = Acquiring; p < Done; ++p) {
        const qint64 end = probe.phaseStart[p + 1];
        std::printf("%-12s %7lld ms, longest pause of the window thread %5lld ms (%d ticks)\n",
                    kPhaseNames[p], static_cast<long long>(end - probe.phaseStart[p]),
                    static_cast<long long>(probe.maxGap[p]), probe.ticks[p]);
    }
    std::printf("progress bar changes: %d\n", probe.progressChanges);
    dlg.closeMainWindow(0);
    emu.terminate();
    emu.waitForFinished(5000);
    return 0;
}
