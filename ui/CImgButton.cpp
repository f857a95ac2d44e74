#include "ui/CImgButton.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {
const QCursor& handCursor() {
    static const QCursor hand(Qt::PointingHandCursor); // one pointer for every button
    return hand;
}
} // namespace

CImgButton::CImgButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(handCursor());
    resize(0, 0);
    connect(this, &QAbstractButton::clicked, this, [this] { emit command(id_); });
}

bool CImgButton::Attach(QWidget* parent, int id, const QString& imageName, int x, int y,
                        int frameCount) {
    if (parent == nullptr || frameCount <= 0)
        return false;
    if (parentWidget() != parent)
        setParent(parent);
    id_ = id;
    frameCount_ = frameCount;
    image_.Load(imageName);
    frameWidth_ = image_.FrameWidth(frameCount);
    frameHeight_ = image_.Height();
    if (x < 0)
        x = x + parent->width() - frameWidth_;
    if (y < 0)
        y = y + parent->height() - frameHeight_;
    background_ = QImage();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setGeometry(x, y, frameWidth_, frameHeight_);
    show();
    return true;
}

void CImgButton::CaptureBackground(const QImage& surface, int x, int y) {
    if (frameWidth_ <= 0 || frameHeight_ <= 0)
        return;
    QImage copy = surface.copy(x, y, frameWidth_, frameHeight_);
    // The parent captures on every paint; repainting only on a change keeps a parent's
    // paint from starting another one through its buttons.
    if (copy == background_)
        return;
    background_ = std::move(copy);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    update();
}

void CImgButton::paintEvent(QPaintEvent*) {
    if (frameWidth_ <= 0 || frameHeight_ <= 0)
        return;
    QImage buffer(frameWidth_, frameHeight_, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    {
        QPainter p(&buffer);
        if (!background_.isNull())
            p.drawImage(0, 0, background_);
        image_.DrawPart(p, QRect(0, 0, frameWidth_, frameHeight_),
                        QRect(StateIndex() * frameWidth_, 0, frameWidth_, frameHeight_));
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void CImgButton::enterEvent(QEnterEvent* e) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CImgButton::leaveEvent(QEvent* e) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CImgButton::mousePressEvent(QMouseEvent* e) {
    if (hovering_)
        hovering_ = false;
    QAbstractButton::mousePressEvent(e);
}

// --- CHyperLink ---------------------------------------------------------------------------

namespace {
CHyperLink::Opener& opener() {
    static CHyperLink::Opener open = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return open;
}
} // namespace

void CHyperLink::SetOpener(Opener o) {
    opener() = o ? std::move(o) : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

CHyperLink::CHyperLink(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus);
    setCursor(handCursor());
}

void CHyperLink::SetLabel(const QString& text) {
    label_ = text;
    update();
}

void CHyperLink::SetHyperLink(const QString& url) {
    url_ = url;
    setToolTip(url);
}

void CHyperLink::SetLinkFont(const QFont* font) {
    if (font != nullptr)
        setFont(*font);
    update();
}

void CHyperLink::SizeToText() {
    const QFontMetrics fm(font());
    resize(fm.horizontalAdvance(label_) + 2, fm.height() + 2);
}

QRect CHyperLink::TextRect() const {
    const QFontMetrics fm(font());
    return QRect(1, 1, fm.horizontalAdvance(label_), fm.height()).intersected(rect());
}

bool CHyperLink::Navigate() {
    if (url_.isEmpty())
        return false;
    const bool ok = opener()(QUrl::fromUserInput(url_));
    if (ok) {
        emit activated(url_);
        if (markVisited_) {
            visited_ = true;
            update();
        }
    }
    return ok;
}

void CHyperLink::paintEvent(QPaintEvent*) {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(background_.isValid() ? background_ : QColor(Qt::transparent));
    {
        QPainter p(&buffer);
        p.setFont(font());
        p.setPen(isEnabled() ? LinkColor() : QColor(128, 128, 128));
        p.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label_);
        if (hasFocus()) {
            QStyleOptionFocusRect opt;
            opt.initFrom(this);
            opt.rect = TextRect().adjusted(-1, -1, 0, 0);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
        }
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void CHyperLink::mousePressEvent(QMouseEvent* e) {
    pressedInside_ = e->button() == Qt::LeftButton && TextRect().contains(e->position().toPoint());
    if (pressedInside_)
        setFocus(Qt::MouseFocusReason);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* e) {
    const bool inside = TextRect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton && pressedInside_ && inside)
        Navigate();
    pressedInside_ = false;
}

void CHyperLink::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
        Navigate();
        return;
    }
    QWidget::keyPressEvent(e);
}
