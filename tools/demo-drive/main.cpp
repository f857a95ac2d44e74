// kestrova-demo-drive OUTDIR --program DIR --sample-port P --big-port Q --dead-port D
//                     [--update-host HOST:PORT]
//
// Runs Kestrova's main window and drives it like a person would: a first acquisition that
// finds no phone (failed screen), a retry against a large phone (scanning, paused, an export
// with its progress), going back to a sample phone with deleted contacts (results in red),
// unticking, the warnings of the recover button, an export, the menu and the about box.
// Every screen is saved as a PNG in OUTDIR, and the exported file as OUTDIR/contacts.txt.
// The window is the program's own; the driver only clicks, answers boxes through their
// next-answer hooks and reads what the window shows.
#include "MainDlg.h"
#include "app/core/Records.h"
#include "ui/CAnimateImg.h"
#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/CMsgBox.h"
#include "ui/TkImage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>

namespace {

QString outDir;
CMainDlg* window = nullptr;
int shots = 0;
std::deque<QString> boxNames; // names of the pictures of the next message boxes

bool onScreen() {
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

// Saves what the person would see: the screen around the main window when there is a
// screen, or the given widget's own picture.
void shot(const QString& name, QWidget* widget = nullptr) {
    QCoreApplication::processEvents();
    QPixmap picture;
    if (onScreen()) {
        QTest::qWait(150);
        const QRect r = window->frameGeometry();
        picture =
            QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
    } else {
        picture = (widget ? widget : window)->grab();
    }
    const QString path =
        QStringLiteral("%1/%2-%3.png").arg(outDir).arg(++shots, 2, 10, QLatin1Char('0')).arg(name);
    if (!picture.save(path))
        std::fprintf(stderr, "demo-drive: cannot save %s\n", qPrintable(path));
    else
        std::printf("demo-drive: %s\n", qPrintable(QFileInfo(path).fileName()));
    std::fflush(stdout);
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "demo-drive: %s\n", what);
    shot(QStringLiteral("failure"));
    std::exit(1);
}

void waitFor(const std::function<bool()>& condition, int ms, const char* what) {
    if (!QTest::qWaitFor(condition, ms))
        fail(what);
}

void click(QWidget* w, QPoint at = QPoint()) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at.isNull() ? w->rect().center() : at);
}

void clickButton(int id) {
    CImgButton* b = window->button(id);
    if (!b || !b->isVisible())
        fail("a button that should be shown is hidden");
    click(b);
}

void useCopyPhone(int port) {
    qputenv("ADB_SERVER_SOCKET", QByteArray("tcp:127.0.0.1:") + QByteArray::number(port));
}

// A box answered through the hook: its picture is taken before it closes.
void answerNextBox(int id, const QString& name) {
    boxNames.push_back(name);
    CMsgBox::setNextAnswer(id);
}

// Opens the window's menu, and while it is up runs `whileOpen` with it.
void withMenu(const std::function<void(QMenu*)>& whileOpen) {
    QTimer::singleShot(400, [whileOpen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            fail("the menu did not open");
        whileOpen(menu);
    });
    clickButton(CMainDlg::IdMenu);
}

// Pauses the worker as soon as the pause button appears, before the work can end.
class PauseWhenShown : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (armed && e->type() == QEvent::Show) {
            armed = false;
            window->onCommand(CMainDlg::IdPause);
        }
        return QObject::eventFilter(watched, e);
    }
    bool armed = false;
};

QString findExport(const QString& root) {
    QDirIterator it(root, {QStringLiteral("contacts.txt")}, QDir::Files,
                    QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

int portArg(const QStringList& args, const QString& name) {
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int i = args.indexOf(QStringLiteral("--program"));
    if (args.size() < 2 || i < 0 || i + 1 >= args.size()) {
        std::fputs("usage: kestrova-demo-drive OUTDIR --program DIR --sample-port P "
                   "--big-port Q --dead-port D\n",
                   stderr);
        return 2;
    }
    outDir = QDir(args[1]).absolutePath();
    QDir().mkpath(outDir);
    const int samplePort = portArg(args, QStringLiteral("--sample-port"));
    const int bigPort = portArg(args, QStringLiteral("--big-port"));
    const int deadPort = portArg(args, QStringLiteral("--dead-port"));

    QTemporaryDir work;
    MainDlgSettings settings;
    settings.programFolder = QDir(args[i + 1]).absolutePath();
    settings.copyFolder = work.path() + QStringLiteral("/Kavri");
    settings.acquireDelayMs = 1500;
    setImageFolder(settings.programFolder + QStringLiteral("/image/"));

    // Nothing here waits for a person; a run that stalls is a failure, not a hang.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { fail("the demo stalled"); });
    watchdog.start(240000);

    CMsgBox::setInspectHook([](CMsgBox& box) {
        QTest::qWait(onScreen() ? 250 : 50);
        shot(boxNames.empty() ? QStringLiteral("msgbox") : boxNames.front(), &box);
        if (!boxNames.empty())
            boxNames.pop_front();
    });

    // 1. No phone answers: loading, then the failed screen.
    useCopyPhone(deadPort);
    auto first = std::make_unique<CMainDlg>(settings);
    window = first.get();
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        std::fputs("demo-drive: the window was not exposed\n", stderr);
    QTest::qWait(700);
    shot(QStringLiteral("loading"));
    waitFor([] { return window->loadState() == 0; }, 20000, "the failed screen did not come");
    QTest::qWait(200);
    shot(QStringLiteral("failed"));

    // 2. Retry against a large phone: scanning, paused, continued, results.
    useCopyPhone(bigPort);
    PauseWhenShown pauser;
    window->button(CMainDlg::IdPause)->installEventFilter(&pauser);
    pauser.armed = true;
    clickButton(CMainDlg::IdRefresh);
    waitFor(
        [] {
            return window->button(CMainDlg::IdContinue)->isVisible() ||
                   window->button(CMainDlg::IdRecover)->isVisible();
        },
        60000, "the scan did not start");
    if (window->button(CMainDlg::IdContinue)->isVisible()) {
        QTest::qWait(300);
        shot(QStringLiteral("scan-paused"));
        clickButton(CMainDlg::IdContinue);
        shot(QStringLiteral("scanning"));
    } else {
        std::fputs("demo-drive: the scan ended before it could be paused\n", stderr);
    }
    waitFor([] { return window->button(CMainDlg::IdRecover)->isVisible(); }, 120000,
            "the scan did not end");
    QTest::qWait(300);
    shot(QStringLiteral("results-large-phone"));

    // 3. An export of the large phone: exporting, paused, the closing message.
    FolderPicker::setNextAnswer(work.path() + QStringLiteral("/export-large"));
    pauser.armed = false;
    // The closing message is answered whenever it comes, even before the pause below.
    answerNextBox(CMsgBox::IdOk, QStringLiteral("msgbox-export-finished-large"));
    clickButton(CMainDlg::IdRecover);
    if (window->workerRunning()) {
        // Paused at once, then continued: the pictures show both states of the export.
        clickButton(CMainDlg::IdPause);
        QTest::qWait(300);
        shot(QStringLiteral("export-paused"));
        clickButton(CMainDlg::IdContinue);
        shot(QStringLiteral("exporting"));
    } else {
        std::fputs("demo-drive: the export ended before it could be paused\n", stderr);
    }
    waitFor([] { return CMsgBox::pendingAnswers() == 0; }, 300000, "the export did not end");

    // After an export there is no way back: the program is started again, this time with
    // the sample phone attached.
    clickButton(CMainDlg::IdClose);
    first.reset();
    useCopyPhone(samplePort);
    auto second = std::make_unique<CMainDlg>(settings);
    window = second.get();
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        std::fputs("demo-drive: the window was not exposed\n", stderr);
    waitFor([] { return window->list()->isVisible(); }, 60000, "the sample phone gave no results");
    QTest::qWait(300);
    shot(QStringLiteral("results-first-look"));

    // 4. Back to the start, and the sample phone read again.
    answerNextBox(CMsgBox::IdYes, QStringLiteral("msgbox-go-back"));
    clickButton(CMainDlg::IdBack);
    QTest::qWait(500);
    shot(QStringLiteral("loading-again"));
    waitFor(
        [] {
            return window->button(CMainDlg::IdRecover)->isVisible() && window->list()->isVisible();
        },
        60000, "the sample phone gave no results");
    QTest::qWait(300);
    shot(QStringLiteral("results"));

    // Look at a live contact, untick it.
    CListViewCheck1* list = window->list();
    int firstLive = 0;
    while (firstLive < list->GetItemCount() &&
           static_cast<ContactRecord*>(list->GetItemData(firstLive))->deleted)
        ++firstLive;
    if (firstLive < list->GetItemCount()) {
        list->EnsureVisible(firstLive);
        QTest::qWait(100);
        click(list->viewport(), list->ItemRect(firstLive).center());
        click(list->viewport(), list->TickBoxRect(firstLive).center());
        QTest::qWait(200);
        shot(QStringLiteral("results-contact-unticked"));
    }

    // 5. The recover button's warnings: nothing ticked, then no folder.
    QCheckBox* tickAll = list->Header()->TickAllBox();
    if (!tickAll->isChecked())
        click(tickAll); // every row ticked
    click(tickAll);     // every row unticked
    QTest::qWait(200);
    answerNextBox(CMsgBox::IdOk, QStringLiteral("msgbox-nothing-ticked"));
    clickButton(CMainDlg::IdRecover);
    click(tickAll); // every row ticked again
    if (firstLive < list->GetItemCount())
        click(list->viewport(), list->TickBoxRect(firstLive).center());
    FolderPicker::setNextAnswer(QString());
    answerNextBox(CMsgBox::IdOk, QStringLiteral("msgbox-no-folder"));
    clickButton(CMainDlg::IdRecover);

    // 6. The export of the ticked contacts.
    const QString exportRoot = work.path() + QStringLiteral("/export");
    FolderPicker::setNextAnswer(exportRoot);
    answerNextBox(CMsgBox::IdOk, QStringLiteral("msgbox-export-finished"));
    clickButton(CMainDlg::IdRecover);
    waitFor([] { return CMsgBox::pendingAnswers() == 0 && !window->workerRunning(); }, 60000,
            "the export did not end");
    QTest::qWait(200);
    shot(QStringLiteral("results-after-export"));
    const QString exported = findExport(exportRoot);
    if (exported.isEmpty())
        fail("no exported file");
    QFile::remove(outDir + QStringLiteral("/contacts.txt"));
    QFile::copy(exported, outDir + QStringLiteral("/contacts.txt"));
    std::printf("demo-drive: exported %s\n", qPrintable(exported.mid(exportRoot.size() + 1)));

    // 7. The menu, dismissed; then the about box from it.
    withMenu([](QMenu* menu) {
        shot(QStringLiteral("menu"), menu);
        menu->close();
    });
    QTest::qWait(300);
    withMenu([](QMenu* menu) {
        QTimer::singleShot(600, [] {
            auto* about = qobject_cast<CAboutBox*>(QApplication::activeModalWidget());
            if (!about)
                fail("the about box did not open");
            shot(QStringLiteral("about"), about);
            click(about->Button(CAboutBox::IdOk));
        });
        for (QAction* a : menu->actions()) {
            if (a->text() == QLatin1String("About")) {
                menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
            }
        }
    });
    QTest::qWait(300);

    // 8. Closing ends the window with the close button's code.
    clickButton(CMainDlg::IdClose);
    const int code = window->result();
    std::printf("demo-drive: window ended with code %d\n", code);

    // 9. A start while the update server names another version: the prompt a second after
    // the window opens, answered No, so the program keeps running.
    const int u = args.indexOf(QStringLiteral("--update-host"));
    if (u >= 0 && u + 1 < args.size()) {
        qputenv("KAVRI_UPDATE_HOST", args[u + 1].toUtf8());
        useCopyPhone(samplePort);
        auto third = std::make_unique<CMainDlg>(settings);
        window = third.get();
        answerNextBox(CMsgBox::IdNo, QStringLiteral("msgbox-update-prompt"));
        window->show();
        waitFor([] { return CMsgBox::pendingAnswers() == 0; }, 30000,
                "the update prompt did not come");
        QTest::qWait(200);
        clickButton(CMainDlg::IdClose);
    }
    return code == CMainDlg::IdClose ? 0 : 1;
}
