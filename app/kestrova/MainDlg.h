// Kestrova's only window: a borderless, skinned 984x674 dialog with rounded corners that the
// user drags by any free spot. It lays out the skin, the image buttons, the category tree,
// the record list, the detail panel, the progress bar and the busy animation, runs the
// program's screens, and dispatches every message, button and menu entry.
//
// Thread rules: every member function is to be called on the window's thread. Workers reach
// the window only through the WorkerReporter calls (which route every change to the
// window's thread, in the order the worker makes them) and through posted messages.
#pragma once

#include "ui/TkImage.h"

#include <QBasicTimer>
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class CAnimateImg;
class CContactInfoBoard;
class CImgButton;
class CListViewCheck1;
class CMyHyperLink;
class CTreeViewEx1;
class QProgressBar;
struct CTreeItem;
using HTREEITEM = CTreeItem*;
class WindowReporter;
struct ContactRecord;
struct CategoryInfo;

namespace core {
class RecoveryState;
}

// Where the window finds its program folder and keeps its database copies.
struct MainDlgSettings {
    // adb_help, config.ini, deploy.ini, image/ and Fresnaro lie here.
    QString programFolder;
    // Where both database copies go; empty: the per-user copy folder.
    QString copyFolder;
    // The acquisition's pause before the first bridge command.
    int acquireDelayMs = 5000;

    // The running program's folder, the per-user copy folder, and the pause from
    // KESTROVA_ACQUIRE_DELAY_MS when that is set (5000 ms otherwise).
    static MainDlgSettings fromEnvironment();
};

// The export's folder picker: the chosen folder, or nothing when the user cancels. An
// automated run can queue the next answer (a path, or nothing for a cancel); the picker then
// returns it without showing a dialog.
class FolderPicker {
public:
    static std::optional<QString> pick(QWidget* owner, const QString& prompt);
    static void setNextAnswer(std::optional<QString> answer);

private:
    static std::optional<std::optional<QString>>& next();
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    // Control ids of the window's buttons and menu entries.
    enum Id {
        IdClose = 1000,
        IdMinimise = 1001,
        IdTree = 1003,
        IdList = 1004,
        IdProgress = 1005,
        IdPause = 1006,
        IdStop = 1007,
        IdContinue = 1008,
        IdBusy = 1009,
        IdRecover = 1010,
        IdMenu = 1024,
        IdHome = 1029,
        IdSupport = 1031,
        IdBack = 1032,
        IdRefresh = 1033,
        MenuHome = 32771,
        MenuAbout = 104,
        MenuHelp = 32775,
        MenuUpdate = 32777,
        MenuExit = 105,
    };
    enum Screen { StartScreen = 1, ResultsScreen = 2 };

    explicit CMainDlg(const MainDlgSettings& settings, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Ends the window with `code` after releasing the records and both database copies;
    // a running worker is stopped and joined first, so no worker outlives the window.
    void closeMainWindow(int code);

    // Commands and menu entries, as the buttons and the menu invoke them.
    void onCommand(int id);
    void onMenuEntry(int id);

    // The web pages the window opens.
    QString webHost() const;
    QUrl homePage() const;
    QUrl supportPage() const;
    QUrl productPage() const;

    // What tests and the demo driver look at.
    int currentScreen() const { return screen_; }
    int loadState() const;
    bool workerRunning() const;
    QString installedVersion() const { return installedVersion_; }
    CImgButton* button(int id) const;
    CTreeViewEx1* tree() const { return tree_; }
    CListViewCheck1* list() const { return list_; }
    CContactInfoBoard* panel() const { return panel_; }
    QProgressBar* progressBar() const { return progress_; }
    CAnimateImg* busyAnimation() const { return busy_; }
    CMyHyperLink* helpLink() const { return helpLink_; }
    core::RecoveryState& state() { return *state_; }
    QString contactCopyPath() const;
    QString messageCopyPath() const;
    bool loadingAnimationRunning() const;
    HTREEITEM contactsRow() const { return contactsRow_; }
    HTREEITEM rootRow() const { return rootRow_; }
    HTREEITEM currentCategory() const { return currentCategory_; }

    // The record views.
    bool showCategory();
    void onListClick(int row);
    void onRowTickChanged(int row, int ticked);
    void onCategoryTickChanged(HTREEITEM row, int ticked);
    void clearViews();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void reject() override;

private:
    friend class WindowReporter;

    void initMainWindow();
    void paintMainWindow(QPainter& p);
    void drawFailure(QPainter& p);
    void showMenu();
    void showAbout();
    void startUpdater();
    void goBack();
    void retry();
    void startAcquisition();
    void deleteCopies();
    void stopLoadingAnimation();

    void onAcquisitionDone(int wParam);
    void onScanDone();
    void onExportDone(int linesLost);
    void onUpdateFound();
    void onRecover();
    void onPause();
    void onContinue();
    void onStop();
    void startUpdateCheck();
    void stopWorker();

    // Called from the reporter on the window's thread.
    void applyProgress(int position);
    void applyButton(int id, bool shown);
    void applyCategory(const QString& text, int hasData);

    MainDlgSettings settings_;
    std::unique_ptr<core::RecoveryState> state_;
    std::unique_ptr<WindowReporter> reporter_;

    CImgButton* buttons_[11] = {};
    CTreeViewEx1* tree_ = nullptr;
    CListViewCheck1* list_ = nullptr;
    CContactInfoBoard* panel_ = nullptr;
    CAnimateImg* busy_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CMyHyperLink* helpLink_ = nullptr;
    HTREEITEM rootRow_ = nullptr;
    HTREEITEM contactsRow_ = nullptr;
    HTREEITEM currentCategory_ = nullptr;

    TkImage mainBg1_, mainBg2_, step1_, contactsPic_, loadData_, loadFail_;
    std::unique_ptr<TkGifStepper> gifStepper_;
    QImage surface_;

    int screen_ = StartScreen;
    int stepPicture_ = 1;
    QString installedVersion_;
    bool closing_ = false;

    QBasicTimer timer2_; // the loading picture's frames
    QBasicTimer timer3_; // the update check, once

    // Dragging by a free spot when the platform cannot move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;

    // The update check runs on its own thread and asks the window synchronously.
    std::thread updateThread_;
    std::atomic<bool> updateAbandoned_{false};
};
