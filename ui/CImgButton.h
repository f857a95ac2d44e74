// Image push buttons and text links.
//
// CImgButton takes its whole look from one picture that holds its states side by side
// (frame 0 normal, 1 pointer over it, 2 pressed), drawn over a copy of the parent's own
// background so the picture's transparent pixels blend with the skin behind it. It clicks
// like a push button: a press and a release both on the button; the pressed look follows
// the pointer while the press lasts. Window thread only.
#pragma once

#include "ui/TkImage.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QUrl>
#include <functional>

class CImgButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CImgButton(QWidget* parent = nullptr);

    // Places the button in `parent` as control `id` with the strip `imageName` (a name in
    // the image folder) of `frameCount` frames. A negative x or y counts in from the right or
    // bottom edge of the parent: x + parent width - frame width. Shows the button. Returns
    // false, changing nothing, when there is no parent.
    bool Attach(QWidget* parent, int id, const QString& imageName, int x, int y, int frameCount);
    // Copies the frame-sized area at (x, y) of the parent's finished surface as the
    // background the button draws on.
    void CaptureBackground(const QImage& surface, int x, int y);

    int ControlId() const { return id_; }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    bool IsHovering() const { return hovering_; }
    // The state frame the next paint draws: 2 pressed, 1 hovering, 0 normal.
    int StateIndex() const { return isDown() ? 2 : hovering_ ? 1 : 0; }

    QSize sizeHint() const override { return {frameWidth_, frameHeight_}; }

signals:
    // Emitted with the control id on every click, like a command from a dialog's button.
    void command(int id);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

private:
    TkImage image_;
    QImage background_;
    int id_ = 0;
    int frameCount_ = 1;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool hovering_ = false;
};

// A text label that opens an address: hand pointer over the text, the address as tooltip,
// a focus rectangle while it has the keyboard focus; a left click on the text (press and
// release inside it) or Enter or Space activates it.
class CHyperLink : public QWidget {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget* parent = nullptr);

    void SetLabel(const QString& text);
    QString Label() const { return label_; }
    // Also the tooltip text.
    void SetHyperLink(const QString& url);
    QString HyperLink() const { return url_; }
    // The label keeps the font for its whole life; null keeps the current one.
    void SetLinkFont(const QFont* font);
    // Resizes the label to its text.
    void SizeToText();
    void SetBackground(const QColor& c) {
        background_ = c;
        update();
    }
    QColor LinkColor() const { return visited_ ? visitedColor_ : linkColor_; }
    bool IsVisited() const { return visited_; }

    // Opens the target. Returns whether the address could be handed to the browser.
    virtual bool Navigate();

    // Hands addresses to the browser; tests and automated runs replace it.
    using Opener = std::function<bool(const QUrl&)>;
    static void SetOpener(Opener opener);

signals:
    void activated(const QString& url);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    QRect TextRect() const;
    bool markVisited_ = true;

private:
    QString label_;
    QString url_;
    QColor linkColor_{0, 0, 255};
    QColor visitedColor_{128, 0, 128};
    QColor background_;
    bool visited_ = false;
    bool pressedInside_ = false;
};

// The main window's help link: opens its target and never turns to the visited colour.
class CMyHyperLink : public CHyperLink {
    Q_OBJECT
public:
    explicit CMyHyperLink(QWidget* parent = nullptr) : CHyperLink(parent) { markVisited_ = false; }
};
