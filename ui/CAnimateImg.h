// The busy animation: a small window that shows one frame of a frame strip at a time and
// steps to the next on a timer, wrapping after the last. Window thread only.
#pragma once

#include "ui/TkImage.h"

#include <QBasicTimer>
#include <QWidget>

class CAnimateStaticBase : public QWidget {
public:
    explicit CAnimateStaticBase(QWidget* parent = nullptr);

    void Start();
    void Stop();
    bool IsRunning() const { return running_; }
    void SetInterval(int ms) { interval_ = ms; }
    int Interval() const { return interval_; }
    virtual bool SetPos(int x, int y, bool hidden);

protected:
    virtual void OnPaint(QPainter& screen) = 0;
    virtual void OnTick() = 0;
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent* e) override;

    QRect clientRect_;

private:
    bool running_ = false;
    int interval_ = 100;
    QBasicTimer timer_;
};

class CAnimateImg : public CAnimateStaticBase {
public:
    explicit CAnimateImg(QWidget* parent = nullptr) : CAnimateStaticBase(parent) {}

    // Loads a strip by its name in the image folder; reports whether it could be read.
    bool Load(const QString& name);
    void SplitFrames() { frameCount_ = 8; }
    void SetFrameCount(int n) { frameCount_ = n > 0 ? n : 1; }
    // Moves to (x, y) and sizes the window to one frame; `hidden` hides it.
    bool SetPos(int x, int y, bool hidden) override;
    int CurrentFrame() const { return current_; }
    int FrameCount() const { return frameCount_; }

protected:
    void OnPaint(QPainter& screen) override;
    void OnTick() override;

private:
    TkImage image_;
    int frameCount_ = 1;
    int current_ = 0;
};
