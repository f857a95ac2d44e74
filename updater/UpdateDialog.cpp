#include "UpdateDialog.h"

#include "MsgBox.h"
#include "Settings.h"
#include "SkinSE.h"
#include "update/UpdateCheck.h"
#include "x11/NamedGuard.h"
#include "x11/WindowSearch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <limits>

namespace fresnaro {

const QEvent::Type CDravonelSoftwareUpdateDlg::kDownloadEndEvent =
    static_cast<QEvent::Type>(QEvent::User + 10);

namespace {

constexpr int kWindowWidth = 420;
constexpr int kWindowHeight = 300;

class DownloadEndEvent : public QEvent {
public:
    explicit DownloadEndEvent(bool ok)
        : QEvent(CDravonelSoftwareUpdateDlg::kDownloadEndEvent), ok_(ok) {}
    bool ok() const { return ok_; }

private:
    bool ok_;
};

QString tr8(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

UpdaterPaths UpdaterPaths::fromEnvironment() {
    UpdaterPaths p;
    p.programFolder = QCoreApplication::applicationDirPath();
    p.tempFolder = QDir::tempPath();
    p.updateHost = update::updateHost();
    return p;
}

CDravonelSoftwareUpdateDlg::CDravonelSoftwareUpdateDlg(UpdaterPaths paths, QWidget* parent)
    : QDialog(parent), paths_(std::move(paths)) {
    setObjectName(QStringLiteral("fresnaro"));
    // The controls of the window, each named by its identifier.
    progress_ = new QProgressBar(this);
    minimise_ = new QPushButton(QStringLiteral("\u2013"), this);
    close_ = new QPushButton(QStringLiteral("\u00d7"), this);
    rateText_ = new QLabel(this);
    min_ = new QPushButton(QStringLiteral("Min"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    animation_ = new QLabel(this);
    const std::pair<QWidget*, int> ids[] = {
        {progress_, kProgressId},  {minimise_, kMinimiseId}, {close_, kCloseId},
        {rateText_, kRateTextId},  {min_, kMinId},           {cancel_, kCancelId},
        {animation_, kAnimationId}};
    for (const auto& [w, id] : ids) {
        w->setObjectName(QString::number(id));
    }
    progress_->setGeometry(28, 132, 364, 20);
    progress_->setTextVisible(false);
    rateText_->setGeometry(28, 106, 364, 20);
    animation_->setGeometry(28, 120, 364, 24);
    animation_->setAlignment(Qt::AlignCenter);
    close_->setGeometry(kWindowWidth - 32, 4, 28, 24);
    minimise_->setGeometry(kWindowWidth - 62, 4, 28, 24);
    for (QPushButton* b : {minimise_, close_, min_, cancel_}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);
    }
    min_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &CDravonelSoftwareUpdateDlg::onCancel);
    connect(close_, &QPushButton::clicked, this, &CDravonelSoftwareUpdateDlg::onClose);
    connect(min_, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(minimise_, &QPushButton::clicked, this, &QWidget::showMinimized);

    setWindowTitle(tr8(text::kWindowTitle));
    applySkinAndLayout();
    progress_->hide();
    rateText_->hide();
    bytesThisSecond_ = 0;

    // The download folder lies below the temporary folder; a file left there by an earlier
    // run is removed so that it never passes for a new download.
    QDir temp(paths_.tempFolder);
    temp.mkdir(QStringLiteral("Kavri"));
    QDir kavri(temp.filePath(QStringLiteral("Kavri")));
    kavri.mkdir(QStringLiteral("Palomine"));
    downloadFolder_ = kavri.filePath(QStringLiteral("Palomine"));
    installerPath_ = downloadFolder_ + QStringLiteral("/update.exe");

    timer101_.setInterval(300);
    connect(&timer101_, &QTimer::timeout, this, &CDravonelSoftwareUpdateDlg::onAnimationTick);
    timer100_.setInterval(1000);
    timer100_.setSingleShot(true);
    connect(&timer100_, &QTimer::timeout, this, &CDravonelSoftwareUpdateDlg::CheckUpdate);
    timer1_.setInterval(1000);
    connect(&timer1_, &QTimer::timeout, this, &CDravonelSoftwareUpdateDlg::onRateTick);
    timer101_.start();
    timer100_.start();

    if (QFile::exists(installerPath_)) {
        QFile::remove(installerPath_);
    }
}

CDravonelSoftwareUpdateDlg::~CDravonelSoftwareUpdateDlg() {
    stopWorker();
}

QString CDravonelSoftwareUpdateDlg::settingsFile() const {
    return paths_.programFolder + QStringLiteral("/profiles/config.ini");
}

QWidget* CDravonelSoftwareUpdateDlg::control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CDravonelSoftwareUpdateDlg::applySkinAndLayout() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    resize(kWindowWidth, kWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    }
    SkinSE_SubclassWindow(this, "main.wnd");
    SkinSE_SubclassWindow(close_, "button.system.close");
    SkinSE_SubclassWindow(minimise_, "button.system.min");
    minimise_->hide();
    SkinSE_SubclassWindow(rateText_, "download");
    SkinSE_SubclassWindow(animation_, "updateani");
    SkinSE_SubclassWindow(progress_, "progress.def2");
    SkinSE_SubclassWindow(min_, "std.button");
    SkinSE_SetLayoutWindowPos(min_, 100, -40, 180, -10);
    min_->hide();
    SkinSE_SubclassWindow(cancel_, "std.button");
    SkinSE_SetLayoutWindowPos(cancel_, 170, -50, 250, -20);
}

void CDravonelSoftwareUpdateDlg::setSkinText(QWidget* control, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    SkinSE_DirectUI_SetSubItemValue(control, "text.normal", bytes.constData(), 1);
}

void CDravonelSoftwareUpdateDlg::onAnimationTick() {
    static const char* const frames[] = {"Checking Updates.", "Checking Updates. .",
                                         "Checking Updates. . ."};
    setSkinText(animation_, tr8(frames[animationStep_ % 3]));
    if (animationStep_ == 0) {
        emit stateChanged(QStringLiteral("checking"));
    }
    ++animationStep_;
}

void CDravonelSoftwareUpdateDlg::onRateTick() {
    // Read and reset in one step, so that no byte counted meanwhile is lost.
    const int bytes = bytesThisSecond_.exchange(0);
    setSkinText(rateText_, tr8(text::kRate).arg(bytes / 1024));
}

void CDravonelSoftwareUpdateDlg::CheckUpdate() {
    timer100_.stop();
    const std::string installed = readInstalledVersion(settingsFile());
    const update::CheckResult check =
        update::checkForUpdate(update::kUpdaterProductKey, installed, paths_.updateHost);
    const QString title = tr8(text::kBoxTitle);
    switch (check.status) {
    case update::CheckStatus::Offline:
        timer101_.stop();
        MsgBox::show(nullptr, tr8(text::kNoConnection).arg(check.connectionFlags), title,
                     QMessageBox::Critical, QMessageBox::Ok);
        finish(QDialog::Rejected);
        return;
    case update::CheckStatus::OpenFailed:
        timer101_.stop();
        MsgBox::show(nullptr, tr8(text::kManifestUnreachable), title, QMessageBox::Critical,
                     QMessageBox::Ok | QMessageBox::Cancel);
        finish(QDialog::Rejected);
        return;
    case update::CheckStatus::ReadFailed:
        timer101_.stop();
        MsgBox::show(this, tr8(text::kRunFailed), title, QMessageBox::Critical, QMessageBox::Ok);
        finish(QDialog::Rejected);
        return;
    case update::CheckStatus::UpToDate:
        timer101_.stop();
        MsgBox::show(this, tr8(text::kNewest), title, QMessageBox::Information, QMessageBox::Ok);
        finish(QDialog::Rejected);
        return;
    case update::CheckStatus::UpdateAvailable:
        break;
    }
    newVersion_ = check.entry.newestVersion;
    timer101_.stop();
    animation_->hide();
    progress_->show();
    rateText_->show();
    installerUrl_ = QString::fromUtf8(check.entry.updateUrl.c_str());
    emit stateChanged(QStringLiteral("downloading"));
    startDownload();
}

void CDravonelSoftwareUpdateDlg::startDownload() {
    try {
        workerRunning_ = true;
        worker_ = std::thread([this] { downloadThread(); });
    } catch (const std::system_error&) {
        workerRunning_ = false;
        MsgBox::show(this, tr8(text::kRunFailed), tr8(text::kBoxTitle), QMessageBox::Critical,
                     QMessageBox::Ok);
        finish(QDialog::Rejected);
    }
}

namespace {

// Writes the installer file chunk by chunk and feeds the window's progress and rate.
class InstallerFile : public net::DownloadSink {
public:
    using Post = std::function<void(std::function<void()>)>;
    InstallerFile(const QString& path, std::atomic<int>& bytesThisSecond,
                  std::atomic<qint64>& position, Post post)
        : path_(QFile::encodeName(path)), bytes_(bytesThisSecond), position_(position),
          post_(std::move(post)) {}
    ~InstallerFile() override { close(); }

    bool begin(std::int64_t contentLength) override {
        file_ = std::fopen(path_.constData(), "wb");
        if (file_ == nullptr) {
            return false;
        }
        length_ = contentLength;
        return true;
    }
    bool chunk(const char* data, std::size_t size, bool last) override {
        if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
            return false;
        }
        if (!last) {
            bytes_.fetch_add(static_cast<int>(size));
        }
        position_.fetch_add(static_cast<qint64>(size));
        return true;
    }
    bool close() {
        if (file_ == nullptr) {
            return true;
        }
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }
    std::int64_t length() const { return length_; }

private:
    QByteArray path_;
    std::atomic<int>& bytes_;
    std::atomic<qint64>& position_;
    Post post_;
    std::FILE* file_ = nullptr;
    std::int64_t length_ = -1;
};

} // namespace

void CDravonelSoftwareUpdateDlg::downloadThread() {
    // Everything the worker changes on the window goes through the window's event queue, in
    // the order it happens; calls still queued when the window is gone are dropped.
    auto post = [this](std::function<void()> f) {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    };
    auto showPosition = [this, post] {
        if (!positionQueued_.exchange(true)) {
            post([this] {
                positionQueued_ = false;
                progress_->setValue(static_cast<int>(position_.load() >> progressShift_));
            });
        }
    };

    class Sink : public InstallerFile {
    public:
        using InstallerFile::InstallerFile;
        std::function<void(std::int64_t)> onBegin;
        std::function<void()> onChunk;
        bool begin(std::int64_t length) override {
            if (!InstallerFile::begin(length)) {
                return false;
            }
            onBegin(length);
            return true;
        }
        bool chunk(const char* data, std::size_t size, bool last) override {
            if (!InstallerFile::chunk(data, size, last)) {
                return false;
            }
            onChunk();
            return true;
        }
    };

    const std::string url = installerUrl_.toUtf8().toStdString();
    Sink sink(installerPath_, bytesThisSecond_, position_, post);
    sink.onBegin = [this, post](std::int64_t length) {
        post([this, length] {
            if (!questionOpen_) {
                timer1_.start();
            }
            // Without a Content-Length the bar runs as a busy indicator.
            int shift = 0;
            while (length > 0 && (length >> shift) > std::numeric_limits<int>::max()) {
                shift += 10;
            }
            progressShift_ = shift;
            progress_->setRange(0, length > 0 ? static_cast<int>(length >> shift) : 0);
        });
    };
    sink.onChunk = showPosition;

    net::DownloadResult result = net::download(url, sink, gate_);
    if (!sink.close() && result.outcome == net::DownloadOutcome::Complete) {
        result.outcome = net::DownloadOutcome::NetworkError; // the file could not be flushed
    }
    post([this] {
        timer1_.stop();
        const int position = static_cast<int>(position_.load() >> progressShift_);
        if (progress_->maximum() == 0 && position > 0) {
            progress_->setRange(0, position); // the length is known now: a full bar
        }
        progress_->setValue(position);
    });
    switch (result.outcome) {
    case net::DownloadOutcome::Complete:
    case net::DownloadOutcome::NotStarted:
    // An address the updater cannot fetch leaves no installer, which the window reports,
    // instead of leaving a window that nothing but Esc can end.
    case net::DownloadOutcome::BadScheme:
        QCoreApplication::postEvent(this, new DownloadEndEvent(true));
        break;
    case net::DownloadOutcome::NetworkError:
        QCoreApplication::postEvent(this, new DownloadEndEvent(false));
        break;
    case net::DownloadOutcome::Stopped:
        break;
    }
    workerRunning_ = false;
}

bool CDravonelSoftwareUpdateDlg::event(QEvent* e) {
    if (e->type() == kDownloadEndEvent) {
        OnDownloadEnd(static_cast<DownloadEndEvent*>(e)->ok());
        return true;
    }
    return QDialog::event(e);
}

void CDravonelSoftwareUpdateDlg::OnDownloadEnd(bool withoutInternetError) {
    if (questionOpen_) {
        // The download ended while the user is being asked whether to stop it: the answer
        // decides first.
        pendingEnd_ = withoutInternetError ? 1 : 0;
        return;
    }
    if (ending_) {
        return;
    }
    ending_ = true;
    emit stateChanged(QStringLiteral("ending"));
    if (worker_.joinable()) {
        worker_.join();
    }
    const QString title = tr8(text::kBoxTitle);
    if (!withoutInternetError) {
        MsgBox::show(this, tr8(text::kInternetFailed), title, QMessageBox::Critical,
                     QMessageBox::Ok);
        finish(QDialog::Accepted);
        return;
    }
    QFile installer(installerPath_);
    if (!installer.open(QIODevice::ReadOnly)) {
        MsgBox::show(this, tr8(text::kRunFailed), title, QMessageBox::Critical, QMessageBox::Ok);
        finish(QDialog::Accepted);
        return;
    }
    installer.close();

    // From here on the new version counts as installed, whatever follows.
    writeInstalledVersion(settingsFile(), newVersion_);

    productGuard_ = std::make_unique<x11window::NamedGuard>(paths_.productGuard.toStdString());
    const auto probe = productGuard_->acquire();
    if (probe == x11window::NamedGuard::Result::Failed) {
        finish(QDialog::Accepted); // the probe cannot be made: the installer is not started
        return;
    }
    if (probe == x11window::NamedGuard::Result::HeldElsewhere) {
        // The product is running: it must end before its installer may run.
        const auto answer =
            MsgBox::show(this, tr8(text::kExitProduct), title, QMessageBox::Information,
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer != QMessageBox::Yes) {
            finish(QDialog::Accepted);
            return;
        }
        const auto found = x11window::findTopLevelWindow(kProductWindowClass, kProductWindowTitle);
        if (!found || !x11window::endWindowOwner(*found)) {
            finish(QDialog::Accepted);
            return;
        }
    }

    QFile::setPermissions(installerPath_, QFile::permissions(installerPath_) | QFile::ExeOwner |
                                              QFile::ReadOwner | QFile::WriteOwner);
    if (!QProcess::startDetached(installerPath_, {})) {
        MsgBox::show(this, tr8(text::kRunFailed), title, QMessageBox::Critical, QMessageBox::Ok);
        finish(QDialog::Rejected);
        return;
    }
    finish(QDialog::Accepted);
}

void CDravonelSoftwareUpdateDlg::onCancel() {
    if (!worker_.joinable()) {
        finish(QDialog::Rejected);
        return;
    }
    askToStop(tr8(text::kStopFromCancel), tr8(text::kWindowTitle));
}

void CDravonelSoftwareUpdateDlg::onClose() {
    if (!worker_.joinable()) {
        return;
    }
    askToStop(tr8(text::kStopFromClose), tr8(text::kBoxTitle));
}

void CDravonelSoftwareUpdateDlg::askToStop(const QString& question, const QString& title) {
    if (!workerRunning_ || ending_ || !gate_.pause()) {
        // The worker has ended or is held already: let it go on and ask nothing.
        gate_.resume();
        return;
    }
    timer1_.stop();
    questionOpen_ = true;
    const auto answer = MsgBox::show(this, question, title, QMessageBox::Question,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    questionOpen_ = false;
    if (answer == QMessageBox::Yes) {
        // Stopped for good: no end message, no installer, the partial file stays.
        pendingEnd_ = -1;
        stopWorker();
        finish(QDialog::Rejected);
        return;
    }
    timer1_.start();
    gate_.resume();
    if (pendingEnd_ >= 0) {
        const bool ok = pendingEnd_ == 1;
        pendingEnd_ = -1;
        OnDownloadEnd(ok);
    }
}

void CDravonelSoftwareUpdateDlg::stopWorker() {
    gate_.stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void CDravonelSoftwareUpdateDlg::finish(int result) {
    done(result);
}

void CDravonelSoftwareUpdateDlg::done(int result) {
    // Esc, the window's close and every end of the updater stop a running download first.
    ending_ = true;
    stopWorker();
    timer100_.stop();
    timer101_.stop();
    timer1_.stop();
    QDialog::done(result);
}

void CDravonelSoftwareUpdateDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDravonelSoftwareUpdateDlg::closeEvent(QCloseEvent* e) {
    e->accept();
    done(QDialog::Rejected);
}

void CDravonelSoftwareUpdateDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(e);
}

void CDravonelSoftwareUpdateDlg::contextMenuEvent(QContextMenuEvent* e) {
    // The window has no caption, so its system menu opens on a right click.
    QMenu menu(this);
    menu.addAction(QStringLiteral("&Minimize"), this, &QWidget::showMinimized);
    menu.addAction(QStringLiteral("&Close"), this, &QDialog::reject);
    menu.addSeparator();
    menu.addAction(tr8(text::kAboutItem), this, &CDravonelSoftwareUpdateDlg::showAbout);
    menu.exec(e->globalPos());
}

void CDravonelSoftwareUpdateDlg::showAbout() {
    QMessageBox::about(
        this, QStringLiteral("About Kavri Update"),
        QStringLiteral("Kavri Fresnaro\nVersion %1").arg(QCoreApplication::applicationVersion()));
}

} // namespace fresnaro
