#include "platform/brackwell/brackwell.h"

#include <QLinearGradient>
#include <QPainter>
#include <QString>

QFont* get_font(const wchar_t* face, int height, int weight) {
    if (face == nullptr || height <= 0)
        return nullptr;
    auto* font = new QFont(QString::fromWCharArray(face));
    // The height is the character height (the cell minus its internal leading), which is
    // what a pixel size means to Qt.
    font->setPixelSize(height);
    // Weights run 100..900 as on the platform that defined them; 400 is normal, 700 bold.
    font->setWeight(weight >= 700                 ? QFont::Bold
                    : weight >= 600               ? QFont::DemiBold
                    : weight >= 500               ? QFont::Medium
                    : weight <= 300 && weight > 0 ? QFont::Light
                                                  : QFont::Normal);
    font->setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void delete_font(QFont* font) {
    delete font;
}

void gradient_fillrect(QPainter* dc, const QRect& rect, const QColor& first, const QColor& second,
                       int mode) {
    if (dc == nullptr || rect.isEmpty())
        return;
    QLinearGradient g;
    if (mode == 1) {
        g.setStart(rect.left(), rect.top());
        g.setFinalStop(rect.left(), rect.bottom() + 1);
    } else {
        g.setStart(rect.left(), rect.top());
        g.setFinalStop(rect.right() + 1, rect.top());
    }
    g.setColorAt(0, first);
    g.setColorAt(1, second);
    dc->fillRect(rect, g);
}
