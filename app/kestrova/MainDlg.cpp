#include "MainDlg.h"

#include "InstanceGuard.h"
#include "Profile.h"
#include "Shell.h"
#include "app/core/RecoveryState.h"
#include "app/core/WorkerReporter.h"
#include "ui/CAnimateImg.h"
#include "ui/CContactInfoBoard.h"
#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/CMsgBox.h"
#include "ui/CTreeViewEx1.h"
#include "ui/Messages.h"
#include "ui/TkFontPool.h"
#include "update/UpdateCheck.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>

#include <future>

namespace {

constexpr int kWidth = 984;
constexpr int kHeight = 674;
const QRect kLoadingRect(QPoint(120, 230), QPoint(905, 561 - 1));

const char* const kWindowTitle = "Kavri Kestrova";
const char* const kDefaultWebHost = KESTROVA_WEB_HOST;

struct ButtonSpec {
    int id;
    const char* picture;
    int x, y, frames;
    bool shown;
};
// The window's image buttons: pictures, places (negative = from the right or bottom edge)
// and frame counts. Pause and continue share one place; at most one of them is shown.
constexpr ButtonSpec kButtons[11] = {
    {CMainDlg::IdMinimise, "min.png", -29, 5, 4, true},
    {CMainDlg::IdClose, "close.png", -8, 5, 4, true},
    {CMainDlg::IdMenu, "menu.png", -50, 5, 3, true},
    {CMainDlg::IdHome, "btn_home.png", -120, 5, 4, true},
    {CMainDlg::IdSupport, "btn_help.png", -90, 5, 4, true},
    {CMainDlg::IdBack, "back.png", 20, -20, 3, false},
    {CMainDlg::IdPause, "pause.png", -92, -20, 4, false},
    {CMainDlg::IdContinue, "continue.png", -92, -20, 4, false},
    {CMainDlg::IdStop, "stop.png", -20, -20, 4, false},
    {CMainDlg::IdRecover, "recover.png", -30, -20, 3, false},
    {CMainDlg::IdRefresh, "refresh.png", -30, -35, 3, false},
};

// The rounded outline of a borderless window: a rounded rectangle from (0, 0) to
// (width + 1, height + 1) with 5 by 5 corner ellipses.
QRegion roundedRegion(int w, int h) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, w + 1, h + 1), 2.5, 2.5);
    return QRegion(path.toFillPolygon().toPolygon());
}

} // namespace

// Routes the workers' reports to the window's thread, in the order the worker makes them.
// Progress positions are coalesced: however many arrive before the window gets to them,
// the window applies only the latest, once.
class WindowReporter : public core::WorkerReporter {
public:
    explicit WindowReporter(CMainDlg* window) : window_(window) {}

    void setProgress(int position) override {
        progress_.store(position);
        if (!progressQueued_.exchange(true)) {
            QMetaObject::invokeMethod(
                window_,
                [this] {
                    progressQueued_.store(false);
                    window_->applyProgress(progress_.load());
                },
                Qt::QueuedConnection);
        }
    }
    void setCategory(const std::string& text, int hasData) override {
        const QString t = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            window_, [this, t, hasData] { window_->applyCategory(t, hasData); },
            Qt::QueuedConnection);
    }
    void showButton(int id, bool shown) override {
        QMetaObject::invokeMethod(
            window_, [this, id, shown] { window_->applyButton(id, shown); }, Qt::QueuedConnection);
    }
    void postDone(int message, std::intptr_t wParam, std::intptr_t lParam) override {
        // The done messages keep their numbers: WM_USER (0x400) + n is our message n.
        kmsg::postMessage(window_, message - 0x400, wParam, lParam);
    }

private:
    CMainDlg* window_;
    std::atomic<int> progress_{0};
    std::atomic<bool> progressQueued_{false};
};

// ---- settings and folder picker --------------------------------------------------------

MainDlgSettings MainDlgSettings::fromEnvironment() {
    MainDlgSettings s;
    s.programFolder = QCoreApplication::applicationDirPath();
    bool ok = false;
    const int delay = qEnvironmentVariableIntValue("KESTROVA_ACQUIRE_DELAY_MS", &ok);
    if (ok && delay >= 0)
        s.acquireDelayMs = delay;
    return s;
}

std::optional<std::optional<QString>>& FolderPicker::next() {
    static std::optional<std::optional<QString>> answer;
    return answer;
}

void FolderPicker::setNextAnswer(std::optional<QString> answer) {
    next() = std::move(answer);
}

std::optional<QString> FolderPicker::pick(QWidget* owner, const QString& prompt) {
    if (next()) {
        const std::optional<QString> answer = *next();
        next().reset();
        return answer;
    }
    const QString folder =
        QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt; // cancelled
    return folder;
}

// ---- construction and set-up -----------------------------------------------------------

CMainDlg::CMainDlg(const MainDlgSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    if (settings_.copyFolder.isEmpty()) {
        settings_.copyFolder =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            QStringLiteral("/Kavri");
    }
    initMainWindow();
}

CMainDlg::~CMainDlg() {
    // Whatever way the window ends (a quit from the update prompt skips closeMainWindow), no
    // worker and no update check outlives it.
    stopWorker();
    updateAbandoned_ = true;
    if (updateThread_.joinable())
        updateThread_.join();
}

CImgButton* CMainDlg::button(int id) const {
    for (int i = 0; i < 11; ++i) {
        if (kButtons[i].id == id)
            return buttons_[i];
    }
    return nullptr;
}

QString CMainDlg::webHost() const {
    return QString::fromStdString(
        osplat::deploySetting("web_host", kDefaultWebHost, settings_.programFolder.toStdString()));
}

QUrl CMainDlg::homePage() const {
    return shell::webPage(webHost(), QStringLiteral("/"));
}
QUrl CMainDlg::supportPage() const {
    return shell::webPage(webHost(), QStringLiteral("/support.html"));
}
QUrl CMainDlg::productPage() const {
    return shell::webPage(webHost(), QStringLiteral("/kestrova.html"));
}

void CMainDlg::initMainWindow() {
    // 1. Title, no caption, at (0, 0) with its fixed size.
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(kWidth, kHeight);
    move(0, 0);

    // 2. The start pictures.
    mainBg1_.Load(QStringLiteral("mainbg1.png"));
    mainBg2_.Load(QStringLiteral("mainbg2.png"));
    step1_.Load(QStringLiteral("step1.png"));

    // 3. Rounded corners; centred on the owner or on the screen's work area.
    setMask(roundedRegion(width(), height()));
    const QRect area = parentWidget() && parentWidget()->isVisible()
                           ? parentWidget()->frameGeometry()
                           : (QWidget::screen() ? QWidget::screen()->availableGeometry() : QRect());
    if (area.isValid())
        move(area.center() - QPoint(kWidth / 2, kHeight / 2));

    // 4.1 The help link, hidden until acquisition fails. Links open pages through the shell.
    CHyperLink::SetOpener([](const QUrl& url) { return shell::openUrl(url); });
    helpLink_ = new CMyHyperLink(this);
    static const QFont linkFont = [] {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(16);
        f.setWeight(QFont::Normal);
        return f;
    }();
    helpLink_->SetLinkFont(&linkFont);
    helpLink_->SetLabel(QStringLiteral("Have Problems?"));
    helpLink_->SetHyperLink(productPage().toString());
    helpLink_->SizeToText();
    helpLink_->move(470, 630);
    helpLink_->hide();

    // 4.2 Pictures of the category and the loading screen.
    contactsPic_.Load(QStringLiteral("contacts.png"));
    loadData_.Load(QStringLiteral("loaddata.gif"));
    loadFail_.Load(QStringLiteral("loadfail.png"));
    gifStepper_ = std::make_unique<TkGifStepper>(
        &loadData_,
        TkGifStepper::Hooks{[this](int ms) { timer2_.start(ms, this); }, [this] { timer2_.stop(); },
                            [this] { update(kLoadingRect); }});

    // 4.3 The image buttons.
    for (int i = 0; i < 11; ++i) {
        const ButtonSpec& b = kButtons[i];
        auto* button = new CImgButton(this);
        button->Attach(this, b.id, QString::fromLatin1(b.picture), b.x, b.y, b.frames);
        button->setVisible(b.shown);
        connect(button, &CImgButton::command, this, &CMainDlg::onCommand);
        buttons_[i] = button;
    }

    // 4.4 The category tree: the root row and the contacts category under it.
    tree_ = new CTreeViewEx1(this);
    tree_->Init();
    tree_->setGeometry(1, 32, 221, 577);
    tree_->hide();
    rootRow_ = tree_->InsertRoot(QStringLiteral("android phone"), true);
    contactsRow_ = tree_->AddContactsCategory(rootRow_, &contactsPic_);
    tree_->Expand(rootRow_);
    connect(tree_, &CTreeViewEx1::selectionChanged, this, [this] { showCategory(); });

    // 4.5 The record list.
    list_ = new CListViewCheck1(this);
    list_->setObjectName(QStringLiteral("datalistview"));
    list_->SetRowHeight(30);
    list_->Init();
    list_->setGeometry(QRect(QPoint(225, 32), QPoint(748 - 1, 576 - 1)));
    list_->hide();
    connect(list_, &CListViewCheck1::rowClicked, this, &CMainDlg::onListClick);

    // 4.6 The progress bar.
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setGeometry(42, 639, 730, 20);
    progress_->hide();

    // 4.7 The busy animation.
    busy_ = new CAnimateImg(this);
    busy_->Load(QStringLiteral("animate.png"));
    busy_->SplitFrames();
    busy_->SetInterval(100);
    busy_->SetPos(20, 641, true);

    // 5. The installed version.
    installedVersion_ = QString::fromStdString(osplat::readProfileString(
        "Basic", "appver", "1.0.0.1", 20,
        (settings_.programFolder + QStringLiteral("/config.ini")).toStdString()));

    // 6. Paths and copy folder; no copy of an earlier run is ever taken for a new one.
    state_ = std::make_unique<core::RecoveryState>(settings_.copyFolder.toStdString(),
                                                   settings_.programFolder.toStdString());
    reporter_ = std::make_unique<WindowReporter>(this);
    QDir().mkpath(settings_.copyFolder);
    deleteCopies();

    // 7. The update check, a second from now.
    timer3_.start(1000, this);

    // 8, 9. The acquisition.
    startAcquisition();
}

// ---- painting --------------------------------------------------------------------------

void CMainDlg::paintEvent(QPaintEvent*) {
    if (surface_.size() != QSize(kWidth, kHeight))
        surface_ = QImage(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&surface_);
        paintMainWindow(p);
    }
    QPainter screenPainter(this);
    screenPainter.drawImage(0, 0, surface_);

    // The buttons draw over the window's finished surface.
    static const int always[] = {IdMinimise, IdClose, IdMenu, IdHome, IdSupport, IdRefresh};
    static const int results[] = {IdBack, IdRecover, IdPause, IdContinue, IdStop};
    for (int id : always) {
        CImgButton* b = button(id);
        b->CaptureBackground(surface_, b->x(), b->y());
    }
    if (screen_ == ResultsScreen) {
        for (int id : results) {
            CImgButton* b = button(id);
            b->CaptureBackground(surface_, b->x(), b->y());
        }
    }
}

void CMainDlg::paintMainWindow(QPainter& p) {
    p.fillRect(0, 0, kWidth, kHeight, Qt::white);
    if (screen_ == StartScreen && !mainBg1_.IsNull()) {
        mainBg1_.Draw(p, 0, 0);
        if (stepPicture_ == 1) {
            step1_.Draw(p, 1, 74);
            const int load = loadState();
            if (load == -1 && !loadData_.IsNull()) {
                loadData_.Draw(p, kLoadingRect);
                if (!gifStepper_->Running())
                    gifStepper_->Painted();
            } else if (load == 0) {
                drawFailure(p);
            }
        }
    } else {
        // A missing start background shows the results background instead.
        mainBg2_.Draw(p, 0, 0);
    }
}

void CMainDlg::drawFailure(QPainter& p) {
    loadFail_.Draw(p, kLoadingRect);
    struct Line {
        const char* text;
        int x, y;
        QColor colour;
        uint16_t font;
    };
    static const Line lines[] = {
        {"Cannot load data from Android Phone, please : ", 100, 570, QColor(189, 58, 6), 0x200},
        {"1. Be sure you've installed the drive of your device", 120, 590, QColor(10, 0, 0), 0x100},
        {"2. Make sure device enables USB Debugging(Setting >> Applications >> Development >> "
         "USB debugging).",
         120, 610, QColor(10, 0, 0), 0x100},
        {"3. Make sure you've got ROOT access on your Android phone.", 120, 630, QColor(10, 0, 0),
         0x100},
    };
    p.save();
    for (const Line& l : lines) {
        if (const QFont* f = TkFontPool::GetFont(l.font))
            p.setFont(*f);
        const QString text = QString::fromLatin1(l.text);
        const QFontMetrics fm(p.font());
        // Opaque text: a white box lies behind the whole text, its trailing blank included.
        const QRect box(l.x, l.y, fm.horizontalAdvance(text), fm.height());
        p.fillRect(box, Qt::white);
        p.setPen(l.colour);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    p.restore();
}

bool CMainDlg::loadingAnimationRunning() const {
    return gifStepper_ && gifStepper_->Running();
}

void CMainDlg::stopLoadingAnimation() {
    timer2_.stop();
    gifStepper_->Reset();
}

// ---- input -----------------------------------------------------------------------------

void CMainDlg::keyPressEvent(QKeyEvent* e) {
    // Enter and Esc are consumed: the window does not close.
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void CMainDlg::reject() {
    // Esc never ends the window; only its close request, the close button and "Exit" do.
}

void CMainDlg::closeEvent(QCloseEvent* e) {
    if (!closing_)
        closeMainWindow(0);
    e->accept();
}

void CMainDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(e);
        return;
    }
    // A press on a free spot drags the window, as a press on a caption would.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        e->accept();
        return;
    }
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    e->accept();
}

void CMainDlg::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - dragOffset_);
        e->accept();
        return;
    }
    QDialog::mouseMoveEvent(e);
}

void CMainDlg::mouseReleaseEvent(QMouseEvent* e) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(e);
}

void CMainDlg::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer2_.timerId()) {
        gifStepper_->Tick();
    } else if (e->timerId() == timer3_.timerId()) {
        timer3_.stop();
        startUpdateCheck();
    } else {
        QDialog::timerEvent(e);
    }
}

// ---- commands and menu -----------------------------------------------------------------

void CMainDlg::onCommand(int id) {
    switch (id) {
    case IdClose:
        closeMainWindow(IdClose);
        break;
    case IdMinimise:
        showMinimized();
        break;
    case IdMenu:
        showMenu();
        break;
    case IdHome:
        shell::openUrl(homePage());
        break;
    case IdSupport:
        shell::openUrl(supportPage());
        break;
    case IdPause:
        onPause();
        break;
    case IdContinue:
        onContinue();
        break;
    case IdStop:
        onStop();
        break;
    case IdRecover:
        onRecover();
        break;
    case IdBack:
        goBack();
        break;
    case IdRefresh:
        retry();
        break;
    default:
        break;
    }
}

void CMainDlg::showMenu() {
    // Built anew on every press; the chosen entry is acted on directly.
    QMenu menu(this);
    const std::pair<const char*, int> entries[] = {{"Home", MenuHome},
                                                   {"About", MenuAbout},
                                                   {"Help", MenuHelp},
                                                   {"Update", MenuUpdate},
                                                   {"Exit", MenuExit}};
    for (const auto& [text, id] : entries)
        menu.addAction(QString::fromLatin1(text))->setData(id);
    QAction* chosen = menu.exec(mapToGlobal(QPoint(884, 32)));
    if (chosen)
        onMenuEntry(chosen->data().toInt());
}

void CMainDlg::onMenuEntry(int id) {
    switch (id) {
    case MenuHome:
        shell::openUrl(homePage());
        break;
    case MenuAbout:
        showAbout();
        break;
    case MenuHelp:
        shell::openUrl(productPage());
        break;
    case MenuUpdate:
        startUpdater();
        break;
    case MenuExit:
        closeMainWindow(0);
        break;
    default:
        break;
    }
}

void CMainDlg::showAbout() {
    CAboutBox::setHomePage(homePage().toString());
    CAboutBox::setVersionText(installedVersion_);
    CAboutBox about(this);
    about.DoModal();
}

void CMainDlg::startUpdater() {
    // Started from the program folder, with the program folder as working folder, so it
    // finds its skin; a failed start is not reported.
    shell::startProgram(settings_.programFolder + QStringLiteral("/Fresnaro"),
                        settings_.programFolder);
}

// ---- shutdown, going back, retry -------------------------------------------------------

void CMainDlg::stopWorker() {
    if (state_)
        state_->stopAndJoin();
}

void CMainDlg::closeMainWindow(int code) {
    if (closing_)
        return;
    closing_ = true;
    // A running worker is released from a pause, told to stop and joined before anything
    // it uses is freed.
    stopWorker();
    clearViews();
    state_->clearRecords();
    deleteCopies();
    if (timer2_.isActive())
        stopLoadingAnimation();
    done(code);
}

void CMainDlg::deleteCopies() {
    QFile::remove(contactCopyPath());
    QFile::remove(messageCopyPath());
}

QString CMainDlg::contactCopyPath() const {
    return QString::fromStdString(state_->contactCopyPath());
}

QString CMainDlg::messageCopyPath() const {
    return QString::fromStdString(state_->messageCopyPath());
}

int CMainDlg::loadState() const {
    return state_ ? state_->loadState.load() : -1;
}

bool CMainDlg::workerRunning() const {
    return state_ && state_->workerRunning.load();
}

void CMainDlg::goBack() {
    CMsgBox box;
    if (box.ShowMsg(
            CMsgBox::Warn, CMsgBox::MbYes | CMsgBox::MbNo,
            QStringLiteral("Are you sure to go back to reload the data from Android phone?"),
            this) != CMsgBox::IdYes)
        return;
    clearViews();
    state_->clearRecords();

    tree_->SetCategory(contactsRow_, QStringLiteral("Contacts"), 0);
    tree_->SetCheckState(rootRow_, false);
    tree_->SetCheckState(contactsRow_, false);
    tree_->SelectItem(rootRow_);

    list_->hide();
    tree_->hide();
    button(IdRecover)->hide();
    button(IdBack)->hide();

    progress_->setValue(0);
    state_->scanTotal = 0;
    state_->exportTotal = 0;
    state_->processedCount = 0;

    screen_ = StartScreen;
    stepPicture_ = 1;
    state_->loadState = -1;
    gifStepper_->Reset();
    repaint();

    deleteCopies();
    startAcquisition();
}

void CMainDlg::retry() {
    // In the failed state neither copy exists, so nothing is deleted here.
    button(IdRefresh)->hide();
    helpLink_->hide();
    state_->loadState = -1;
    gifStepper_->Reset();
    repaint();
    startAcquisition();
}

// ---- acquisition, scan, export ---------------------------------------------------------

void CMainDlg::startAcquisition() {
    state_->startAcquisition(*reporter_, settings_.acquireDelayMs);
}

void CMainDlg::onAcquisitionDone(int wParam) {
    state_->joinWorker();
    if (timer2_.isActive() || gifStepper_->Running())
        stopLoadingAnimation();
    gifStepper_->Reset();
    if (wParam != 1)
        return;
    if (!QFile::exists(contactCopyPath()) && !QFile::exists(messageCopyPath())) {
        state_->loadState = 0;
        button(IdRefresh)->show();
        helpLink_->show();
        repaint();
        return;
    }
    // The two engine runs happen here, on the window's thread, before the scan starts.
    state_->runEngines();

    state_->loadState = 1;
    screen_ = ResultsScreen;
    tree_->show();
    progress_->setValue(0);
    progress_->show();
    button(IdBack)->hide();
    repaint();
    busy_->show();
    busy_->Start();

    state_->startScan(*reporter_);
}

void CMainDlg::onScanDone() {
    state_->joinWorker();
    busy_->Stop();
    busy_->hide();
    button(IdPause)->hide();
    button(IdContinue)->hide();
    button(IdStop)->hide();
    progress_->hide();
    button(IdBack)->show();
    button(IdRecover)->show();
    tree_->SetCheckState(rootRow_, true);
    tree_->SetCheckState(contactsRow_, true);
    // Selecting the category fills the list; when it is selected already, fill it here.
    if (tree_->GetSelectedItem() == contactsRow_)
        showCategory();
    else
        tree_->SelectItem(contactsRow_);
    update();
}

void CMainDlg::onPause() {
    if (!workerRunning())
        return;
    state_->resumeEvent.reset();
    busy_->Stop();
    button(IdPause)->hide();
    button(IdContinue)->show();
}

void CMainDlg::onContinue() {
    if (!workerRunning())
        return;
    state_->resumeEvent.set();
    busy_->Start();
    button(IdContinue)->hide();
    button(IdPause)->show();
}

void CMainDlg::onStop() {
    state_->resumeEvent.set();
    state_->stopRequested = 1;
}

void CMainDlg::onRecover() {
    const int count = state_->categoryHasData() ? state_->countTicked() : 0;
    if (count == 0) {
        CMsgBox box;
        box.ShowMsg(CMsgBox::Warn, CMsgBox::MbOk,
                    QStringLiteral("Please select the file(s) you want to recover."), this);
        return;
    }
    const std::optional<QString> picked = FolderPicker::pick(this, QDir::currentPath());
    if (!picked)
        return;
    state_->stopRequested = 0;
    if (picked->isEmpty()) {
        CMsgBox box;
        box.ShowMsg(CMsgBox::Warn, CMsgBox::MbOk,
                    QStringLiteral("Please select the directory to save the files recovered."),
                    this);
        return;
    }
    const std::string root = core::exportRootFor(picked->toStdString(), std::time(nullptr));
    QDir().mkpath(QString::fromStdString(root));

    state_->exportTotal = count;
    state_->processedCount = 0;
    progress_->setValue(0);
    progress_->show();
    button(IdRecover)->hide();
    button(IdBack)->hide();
    button(IdPause)->show();
    button(IdStop)->show();
    busy_->show();
    busy_->Start();
    state_->resumeEvent.set();
    // The category counts as wholly ticked as the tree shows it.
    state_->startExport(*reporter_, root, tree_->GetCheckState(contactsRow_));
}

void CMainDlg::onExportDone(int linesLost) {
    state_->joinWorker();
    progress_->setValue(100);
    progress_->hide();
    button(IdPause)->hide();
    button(IdContinue)->hide();
    button(IdStop)->hide();
    busy_->Stop();
    busy_->hide();
    button(IdRecover)->show();
    update();
    CMsgBox box;
    if (linesLost > 0) {
        // Lines that could not be written are lost records: never report that as success.
        const QString file = QString::fromStdString(state_->lastExportFile());
        box.ShowMsg(CMsgBox::Error, CMsgBox::MbOk,
                    QStringLiteral("Recovering failed, %1 line(s) could not be written to %2.")
                        .arg(linesLost)
                        .arg(QDir::toNativeSeparators(file)),
                    this);
        return;
    }
    box.ShowMsg(CMsgBox::Right, CMsgBox::MbOk,
                QStringLiteral("Recovering finished, %1 files have been recovered.")
                    .arg(state_->processedCount.load()),
                this);
}

// ---- what the workers report, on the window's thread ----------------------------------

void CMainDlg::applyProgress(int position) {
    progress_->setValue(position);
}

void CMainDlg::applyButton(int id, bool shown) {
    if (CImgButton* b = button(id))
        b->setVisible(shown);
}

void CMainDlg::applyCategory(const QString& text, int hasData) {
    tree_->SetCategory(contactsRow_, text, hasData);
}

// ---- the update check ------------------------------------------------------------------

void CMainDlg::startUpdateCheck() {
    if (updateThread_.joinable())
        return;
    const std::string installed = installedVersion_.toStdString();
    updateThread_ = std::thread([this, installed] {
        // Closing the window cancels a check that still waits for the server.
        if (!update::newVersionAvailable(installed, update::updateHost(), &updateAbandoned_))
            return;
        // Ask the window and wait for the answer, unless the window ends first.
        auto answered = std::make_shared<std::promise<void>>();
        std::future<void> done = answered->get_future();
        QMetaObject::invokeMethod(
            this,
            [this, answered] {
                onUpdateFound();
                answered->set_value();
            },
            Qt::QueuedConnection);
        while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            if (updateAbandoned_)
                return;
        }
    });
}

void CMainDlg::onUpdateFound() {
    if (closing_)
        return;
    CMsgBox box;
    const int answer = box.ShowMsg(CMsgBox::Info, CMsgBox::MbYes | CMsgBox::MbNo,
                                   QString::fromLatin1(update::kUpdatePrompt), this);
    if (answer != CMsgBox::IdYes)
        return;
    startUpdater();
    // Quit as a posted request: the window ends with code 0 and the copies stay until the
    // next start deletes them.
    QMetaObject::invokeMethod(
        this, [this] { done(0); }, Qt::QueuedConnection);
}

// ---- message dispatch ------------------------------------------------------------------

bool CMainDlg::event(QEvent* e) {
    switch (kmsg::messageNumber(e->type())) {
    case kmsg::RowTickChanged: {
        auto* m = static_cast<kmsg::Message*>(e);
        onRowTickChanged(int(m->wParam()), int(m->lParam()));
        return true;
    }
    case kmsg::CategoryTickChanged: {
        auto* m = static_cast<kmsg::Message*>(e);
        onCategoryTickChanged(reinterpret_cast<HTREEITEM>(m->wParam()), int(m->lParam()));
        return true;
    }
    case kmsg::ScanDone:
        onScanDone();
        return true;
    case kmsg::ExportDone:
        onExportDone(int(static_cast<kmsg::Message*>(e)->wParam()));
        return true;
    case kmsg::AcquisitionDone:
        onAcquisitionDone(int(static_cast<kmsg::Message*>(e)->wParam()));
        return true;
    case kmsg::UpdateFound:
        onUpdateFound();
        static_cast<kmsg::Message*>(e)->result = 0;
        return true;
    default:
        return QDialog::event(e);
    }
}
