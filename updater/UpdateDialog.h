// Fresnaro's only window: checks the manifest's "Palomine" entry, downloads the installer with
// a progress bar and a transfer rate, and hands over to the installer.
//
// Thread rules: every member function runs on the user-interface thread. The download runs on
// one worker thread that touches only the installer file, the byte counter and the transfer
// gate; everything it changes on the window travels as queued calls, in order. Ending the
// window in any way stops the worker and waits for it.
#pragma once

#include "net/Internet.h"

#include <QDialog>
#include <QEvent>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;

namespace x11window {
class NamedGuard;
}

namespace fresnaro {

// Fixed texts of the updater, letter for letter.
namespace text {
inline const char* const kBoxTitle = "Kavri Update";
inline const char* const kWindowTitle = "Kavri Fresnaro";
inline const char* const kNoConnection = "No available Internet Connection: %1";
inline const char* const kManifestUnreachable = "Fail to get update infomation,please try again";
inline const char* const kRunFailed = "Update program run failed,please try again!";
inline const char* const kNewest = "This is the newest version";
inline const char* const kInternetFailed = "Update failed,please checkup the internet statue.";
inline const char* const kStopFromCancel = "Are you sure to stop updateing?";
inline const char* const kStopFromClose = "Are you sure to stop updating?";
inline const char* const kExitProduct =
    "Download Finish,are you sure to exit Larkspindle Palomine and update right now?";
inline const char* const kRate = "Downloading(%1KB/sec): ";
inline const char* const kAboutItem = "&About Kavri Update...";
} // namespace text

// The product whose running copy the hand-over closes.
inline const char* const kProductGuard = "KavriPalomine";
inline const char* const kProductWindowClass = "DEDARozerEvorEde";
inline const char* const kProductWindowTitle = "Kavri  Palomine";

// Where the updater looks and writes; the defaults come from the running program.
struct UpdaterPaths {
    QString programFolder; // holds profiles/config.ini
    QString tempFolder;    // the download folder goes below it
    std::string updateHost;
    QString productGuard = QString::fromUtf8(kProductGuard); // the running product's guard
    static UpdaterPaths fromEnvironment();
};

enum ControlId {
    kProgressId = 1000,
    kMinimiseId = 1001,
    kCloseId = 1002,
    kRateTextId = 1003,
    kMinId = 1004,
    kCancelId = 1005,
    kAnimationId = 1007,
};

class CDravonelSoftwareUpdateDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDravonelSoftwareUpdateDlg(UpdaterPaths paths, QWidget* parent = nullptr);
    ~CDravonelSoftwareUpdateDlg() override;

    QString installerPath() const { return installerPath_; }
    QString downloadFolder() const { return downloadFolder_; }
    QString settingsFile() const;
    QString installerUrl() const { return installerUrl_; }
    std::string newVersion() const { return newVersion_; }
    bool workerExists() const { return worker_.joinable(); }
    bool checkPending() const { return timer100_.isActive(); }

    // Test and demo access to the controls by their identifiers.
    QWidget* control(int id) const;

    // The window's handlers, public so that tests can drive each state.
    void CheckUpdate();
    void OnDownloadEnd(bool withoutInternetError);
    void onCancel();
    void onClose();

    // The event that carries the download's end (wParam in `ok`).
    static const QEvent::Type kDownloadEndEvent;

signals:
    void stateChanged(const QString& state); // "checking", "downloading", "ending"

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

public slots:
    void done(int result) override;

private:
    void applySkinAndLayout();
    void setSkinText(QWidget* control, const QString& text);
    void onAnimationTick();
    void onRateTick();
    void askToStop(const QString& question, const QString& title);
    void startDownload();
    void downloadThread();
    void stopWorker();
    void showAbout();
    void finish(int result);

    UpdaterPaths paths_;
    QString installerPath_;
    QString downloadFolder_;
    QString installerUrl_;
    std::string newVersion_;

    QProgressBar* progress_ = nullptr;
    QPushButton* minimise_ = nullptr;
    QPushButton* close_ = nullptr;
    QLabel* rateText_ = nullptr;
    QPushButton* min_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* animation_ = nullptr;

    QTimer timer100_; // the check, once
    QTimer timer101_; // the "Checking Updates" animation
    QTimer timer1_;   // the rate text
    int animationStep_ = 0;

    std::thread worker_;
    std::atomic<bool> workerRunning_{false};
    net::TransferGate gate_;
    std::atomic<int> bytesThisSecond_{0};
    std::atomic<qint64> position_{0};
    std::atomic<bool> positionQueued_{false};
    int progressShift_ = 0; // positions are bytes >> shift, so that they fit the bar

    bool questionOpen_ = false;
    int pendingEnd_ = -1; // a download end that arrived while a question was open
    bool ending_ = false;
    std::unique_ptr<x11window::NamedGuard> productGuard_;
};

} // namespace fresnaro
