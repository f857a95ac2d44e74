#include "ui/CAnimateImg.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>

CAnimateStaticBase::CAnimateStaticBase(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CAnimateStaticBase::Start() {
    if (running_)
        return;
    timer_.start(interval_, this);
    running_ = true;
}

void CAnimateStaticBase::Stop() {
    if (!running_)
        return;
    timer_.stop();
    running_ = false;
}

bool CAnimateStaticBase::SetPos(int, int, bool) {
    return true;
}

void CAnimateStaticBase::paintEvent(QPaintEvent*) {
    QPainter screen(this);
    OnPaint(screen);
}

void CAnimateStaticBase::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_.timerId())
        OnTick();
    else
        QWidget::timerEvent(e);
}

bool CAnimateImg::Load(const QString& name) {
    image_.Load(name);
    current_ = 0;
    return !image_.IsNull();
}

bool CAnimateImg::SetPos(int x, int y, bool hidden) {
    move(x, y);
    resize(image_.FrameWidth(frameCount_), image_.Height());
    if (hidden)
        hide();
    clientRect_ = rect();
    return true;
}

void CAnimateImg::OnTick() {
    current_ = (current_ + 1) % frameCount_;
    update();
}

void CAnimateImg::OnPaint(QPainter& screen) {
    const int w = clientRect_.width(), h = clientRect_.height();
    if (w <= 0 || h <= 0)
        return;
    QImage buffer(w, h, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(QColor(240, 240, 239));
    {
        QPainter p(&buffer);
        image_.DrawPart(p, 0, 0, w * current_, 0, w, h);
    }
    screen.drawImage(0, 0, buffer);
}
