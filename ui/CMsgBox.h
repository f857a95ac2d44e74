// The program's own modal message box: a borderless skinned window the size of its
// background picture, with the product name as title, a kind icon, the message, a close
// button and up to two answer buttons. ShowMsg returns the id of the button that closed it.
// Esc does not close it; it is dragged by any free spot. Window thread only.
#pragma once

#include "ui/CImgButton.h"
#include "ui/TkImage.h"

#include <QDialog>
#include <cstdint>
#include <functional>

// A borderless modal box of the skin: dragged by any free spot, deaf to the keyboard (Esc and
// Enter do nothing), and closed only by its own buttons, which set `closing_` first.
class CSkinBox : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void reject() override;

    bool closing_ = false;

private:
    QPoint dragFrom_;
    bool dragging_ = false;
};

class CMsgBox : public CSkinBox {
    Q_OBJECT
public:
    enum Kind { Warn = 0, Error = 1, Info = 2, Right = 3 };
    enum Buttons : uint16_t { MbOk = 0x1, MbYes = 0x2, MbCancel = 0x4, MbNo = 0x8 };
    enum Id { IdClose = 1010, IdOk = 1011, IdYes = 1012, IdNo = 1014, IdCancel = 1015 };

    CMsgBox();
    ~CMsgBox() override;

    // Runs the box modally over `owner` (the active window when null) and returns the id of
    // the button that closed it, or -1 when the box cannot be shown.
    int ShowMsg(int kind, uint16_t buttons, const QString& text, QWidget* owner = nullptr);

    // For tests and automated runs: the next ShowMsg still builds and shows its box, calls
    // the inspect hook (if any) with it, then closes it with the queued answer instead of
    // waiting for a person. Answers are used in the order they were queued.
    static void setNextAnswer(int id);
    static void clearNextAnswers();
    static int pendingAnswers();
    static void setInspectHook(std::function<void(CMsgBox&)> hook);

    // Where things were laid out, for reviewing and tests.
    CImgButton* Button(int id);
    QRect TextRect() const { return textRect_; }
    int TextLines() const { return textLines_; }
    QRect IconRect() const { return iconRect_; }
    bool HasIcon() const { return !icon_.IsNull(); }
    QString Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void InitDialog(QWidget* owner);
    void Layout(const QSize& client);

    TkImage background_; // msgbox.png
    TkImage icon_;
    CImgButton close_, ok_, cancel_, yes_, no_;
    QString text_;
    int kind_ = 0;
    uint16_t buttons_ = 0;
    QRect textRect_;
    int textLines_ = 0;
    QRect iconRect_;
};

// The about box: product name, version line and a link to the maker's home page, with a
// close button (1024) and an OK button (1027). Esc does not close it; it is dragged by any
// free spot.
class CAboutBox : public CSkinBox {
    Q_OBJECT
public:
    enum Id { IdClose = 1024, IdOk = 1027 };

    explicit CAboutBox(QWidget* owner = nullptr);

    // Runs the box modally; returns 1024 or 1027 (or an answer queued with
    // CMsgBox::setNextAnswer, which automated runs use for every box of the program).
    int DoModal();

    // The home page the link opens; and the program-wide version text shown after "Version: ".
    static void setHomePage(const QString& url);
    static QString homePage();
    static void setVersionText(const QString& text);
    static QString versionText();

    CImgButton* Button(int id) { return id == IdClose ? &close_ : id == IdOk ? &ok_ : nullptr; }
    CHyperLink* Link() { return &link_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    TkImage background_; // aboutbk.png
    CImgButton close_, ok_;
    CHyperLink link_;
};
