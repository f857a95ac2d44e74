// Skin pictures. Every picture is named by its bare file name and loaded from the image
// folder; a missing or unreadable file still gives an image object, of size 0, that draws
// nothing. Animated GIFs keep all their frames and their delays.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

// The folder the pictures come from, ending in '/'. Defaults to the "image" folder beside
// the running program; tests and tools may point it elsewhere.
QString imageFolder();
void setImageFolder(const QString& folder);

class TkImage {
public:
    TkImage() = default;
    // Loads imageFolder() + name; an absolute path is used as it is.
    explicit TkImage(const QString& name) { Load(name); }

    // Replaces the current picture. Returns whether the file gave at least one frame.
    bool Load(const QString& name);
    void Clear();

    bool IsNull() const { return frames_.empty(); }
    int Width() const { return IsNull() ? 0 : frames_[0].width(); }
    int Height() const { return IsNull() ? 0 : frames_[0].height(); }

    // The four draw operations; all draw the active frame and blend by its alpha.
    void Draw(QPainter& p, int x, int y) const;
    void Draw(QPainter& p, const QRect& dst) const;
    void DrawPart(QPainter& p, int x, int y, int sx, int sy, int w, int h) const;
    void DrawPart(QPainter& p, const QRect& dst, const QRect& src) const;

    // Frame strips: frame i of `count` equally wide frames side by side.
    int FrameWidth(int count) const { return count > 0 ? Width() / count : 0; }
    void DrawFrame(QPainter& p, int x, int y, int index, int count) const;

    // Animated pictures (time dimension). A picture that could not be read has no frames
    // and counts as a single still frame.
    int FrameCount() const { return frames_.empty() ? 1 : int(frames_.size()); }
    // Delay of each frame in hundredths of a second.
    const std::vector<int>& FrameDelays() const { return delays_; }
    void SelectActiveFrame(int index);
    int ActiveFrame() const { return active_; }
    const QImage& Frame() const;

private:
    std::vector<QImage> frames_;
    std::vector<int> delays_;
    int active_ = 0;
};

// The loading picture's stepping: each tick selects the next frame and re-arms the timer
// with the delay of the frame after it. The owner calls Painted() whenever it draws the
// picture and Tick() on each timeout; `arm` starts the owner's timer with a period in ms
// and `stop` stops it; `invalidate` repaints the picture's rectangle.
class TkGifStepper {
public:
    struct Hooks {
        std::function<void(int ms)> arm;
        std::function<void()> stop;
        std::function<void()> invalidate;
    };
    TkGifStepper(TkImage* image, Hooks hooks) : image_(image), hooks_(std::move(hooks)) {}

    void Painted();
    void Tick();
    // Clears the running mark and rewinds, for a new load.
    void Reset();
    bool Running() const { return running_; }
    int NextIndex() const { return index_; }

private:
    TkImage* image_;
    Hooks hooks_;
    bool running_ = false;
    int index_ = 0;
};
