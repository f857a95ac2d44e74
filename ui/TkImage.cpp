#include "ui/TkImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace {
QString& folderSetting() {
    static QString folder;
    return folder;
}
} // namespace

QString imageFolder() {
    QString& f = folderSetting();
    if (f.isEmpty())
        return QCoreApplication::applicationDirPath() + QStringLiteral("/image/");
    return f;
}

void setImageFolder(const QString& folder) {
    QString f = folder;
    if (!f.isEmpty() && !f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    folderSetting() = f;
}

bool TkImage::Load(const QString& name) {
    Clear();
    if (name.isEmpty())
        return false;
    const QString path = QFileInfo(name).isAbsolute() ? name : imageFolder() + name;
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const bool animated = reader.supportsAnimation();
    for (;;) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        // Premultiplied ARGB draws fastest and blends by the picture's own alpha.
        frames_.push_back(frame.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        delays_.push_back(animated ? std::max(0, reader.nextImageDelay()) / 10 : 0);
        if (!animated || !reader.canRead())
            break;
    }
    return !frames_.empty();
}

void TkImage::Clear() {
    frames_.clear();
    delays_.clear();
    active_ = 0;
}

const QImage& TkImage::Frame() const {
    static const QImage empty;
    return frames_.empty() ? empty : frames_[size_t(active_)];
}

void TkImage::SelectActiveFrame(int index) {
    if (index >= 0 && size_t(index) < frames_.size())
        active_ = index;
}

void TkImage::Draw(QPainter& p, int x, int y) const {
    if (!IsNull())
        p.drawImage(x, y, Frame());
}

void TkImage::Draw(QPainter& p, const QRect& dst) const {
    if (!IsNull() && !dst.isEmpty())
        p.drawImage(dst, Frame());
}

void TkImage::DrawPart(QPainter& p, int x, int y, int sx, int sy, int w, int h) const {
    if (!IsNull() && w > 0 && h > 0)
        p.drawImage(QPoint(x, y), Frame(), QRect(sx, sy, w, h));
}

void TkImage::DrawPart(QPainter& p, const QRect& dst, const QRect& src) const {
    if (!IsNull() && !dst.isEmpty() && !src.isEmpty())
        p.drawImage(dst, Frame(), src);
}

void TkImage::DrawFrame(QPainter& p, int x, int y, int index, int count) const {
    const int w = FrameWidth(count);
    DrawPart(p, x, y, index * w, 0, w, Height());
}

void TkGifStepper::Painted() {
    if (running_)
        return;
    running_ = true;
    if (hooks_.arm)
        hooks_.arm(80);
}

void TkGifStepper::Tick() {
    if (!running_)
        return;
    if (hooks_.stop)
        hooks_.stop();
    running_ = false;
    const int count = image_ ? image_->FrameCount() : 1;
    if (count <= 1)
        return; // a still picture: the next paint arms the timer again
    if (index_ >= count)
        index_ = 0;
    image_->SelectActiveFrame(index_);
    if (++index_ == count)
        index_ = 0;
    const auto& delays = image_->FrameDelays();
    int delay = size_t(index_) < delays.size() ? delays[size_t(index_)] : 0;
    // A frame without a delay would re-arm the timer at 0 ms and spin the window thread;
    // such frames are shown for a tenth of a second, as browsers do.
    if (delay <= 1)
        delay = 10;
    if (hooks_.invalidate)
        hooks_.invalidate();
    running_ = true;
    if (hooks_.arm)
        hooks_.arm(delay * 10);
}

void TkGifStepper::Reset() {
    running_ = false;
    index_ = 0;
    if (image_)
        image_->SelectActiveFrame(0);
    if (hooks_.stop)
        hooks_.stop();
}
