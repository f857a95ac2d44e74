// Helpers shared by the presentation tests.
#pragma once

#include "ui/Messages.h"
#include "ui/TkImage.h"

#include <QDir>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

// Records every program message it receives: (number, wParam, lParam).
class MessageLog : public QObject {
public:
    struct Entry {
        int number;
        qintptr w, l;
        bool operator==(const Entry& o) const { return number == o.number && w == o.w && l == o.l; }
    };
    std::vector<Entry> entries;

protected:
    bool event(QEvent* e) override {
        if (kmsg::messageNumber(e->type()) >= 0) {
            auto* m = static_cast<kmsg::Message*>(e);
            entries.push_back({m->number(), m->wParam(), m->lParam()});
            return true;
        }
        return QObject::event(e);
    }
};

inline std::ostream& operator<<(std::ostream& os, const MessageLog::Entry& e) {
    return os << "(" << e.number << ", " << e.w << ", " << e.l << ")";
}

// Points the image folder at a temporary folder for the life of the object, so a test can
// give a control pictures of sizes it chooses, or none at all.
class ScratchSkin {
public:
    ScratchSkin() : previous_(imageFolder()) { setImageFolder(dir_.path()); }
    ~ScratchSkin() { setImageFolder(previous_); }
    // A picture of w x h filled with one colour.
    void Add(const QString& name, int w, int h, QColor c = QColor(10, 120, 200)) {
        QImage img(w, h, QImage::Format_ARGB32);
        img.fill(c);
        ASSERT_TRUE(img.save(dir_.filePath(name)));
    }
    // A strip of `frames` frames, frame i filled with colours[i].
    void AddStrip(const QString& name, int frameW, int h, const std::vector<QColor>& colours) {
        QImage img(frameW * int(colours.size()), h, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        for (size_t i = 0; i < colours.size(); ++i)
            p.fillRect(int(i) * frameW, 0, frameW, h, colours[i]);
        p.end();
        ASSERT_TRUE(img.save(dir_.filePath(name)));
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};
