// Draws every picture of the recovery program's skin into a folder:
//   skingen <folder>
// All colours come from SkinPalette.h. Pictures are drawn at 1:1 with anti-aliasing; button
// pictures are strips of state frames (normal, pointer over, pressed, disabled). The
// animated loading picture is written through ImageMagick, the only GIF writer at hand.
#include "SkinPalette.h"

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

QString outDir;
bool failed = false;

QImage canvas(int w, int h, const QColor& fill = Qt::transparent) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void save(const QImage& img, const QString& name) {
    const QString path = outDir + QLatin1Char('/') + name;
    const bool bmp = name.endsWith(QLatin1String(".bmp"));
    const bool ok =
        bmp ? img.convertToFormat(QImage::Format_RGB32).save(path, "BMP") : img.save(path, "PNG");
    if (!ok) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        failed = true;
    }
}

void smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QFont uiFont(int px, bool bold = false) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// --- shared motifs ------------------------------------------------------------------------

// The product mark: a phone with a circular recovery arrow, in a rounded square.
void drawMark(QPainter& p, const QRectF& r, bool onBand) {
    p.save();
    smooth(p);
    const double s = r.width();
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, onBand ? QColor(255, 255, 255, 235) : skin::accentLight);
    g.setColorAt(1, onBand ? QColor(220, 236, 250, 235) : skin::accentDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, s * 0.24, s * 0.24);
    const QColor ink = onBand ? skin::bandBottom : QColor(Qt::white);
    // phone body
    QRectF phone(r.left() + s * 0.30, r.top() + s * 0.18, s * 0.40, s * 0.64);
    p.setPen(QPen(ink, std::max(1.2, s * 0.07), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(phone, s * 0.07, s * 0.07);
    // a person on the screen
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const QPointF c = phone.center() - QPointF(0, s * 0.06);
    p.drawEllipse(c, s * 0.065, s * 0.065);
    QPainterPath body;
    body.moveTo(c.x() - s * 0.12, c.y() + s * 0.20);
    body.cubicTo(c.x() - s * 0.12, c.y() + s * 0.07, c.x() + s * 0.12, c.y() + s * 0.07,
                 c.x() + s * 0.12, c.y() + s * 0.20);
    body.closeSubpath();
    p.drawPath(body);
    p.restore();
}

void drawBand(QPainter& p, int w) {
    QLinearGradient g(0, 0, 0, skin::bandHeight);
    g.setColorAt(0, skin::bandTop);
    g.setColorAt(1, skin::bandBottom);
    p.fillRect(0, 0, w, skin::bandHeight, g);
    p.fillRect(0, skin::bandHeight - 1, w, 1, skin::bandBottom.darker(130));
}

// A thin frame around a whole window picture, so the window stands off the desktop.
void drawOutline(QPainter& p, int w, int h) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(skin::bandBottom.darker(120));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
    p.restore();
}

// --- state strips ---------------------------------------------------------------------------

enum class Tone { Primary, Secondary, Danger };

// A labelled push button strip of `frames` frames, each w x h.
void pushButton(const QString& name, const QString& label, int w, int h, int frames, Tone tone,
                std::function<void(QPainter&, const QRectF&, const QColor&)> glyph = {}) {
    QImage img = canvas(w * frames, h);
    QPainter p(&img);
    smooth(p);
    for (int f = 0; f < frames; ++f) {
        QColor base = tone == Tone::Primary  ? skin::accent
                      : tone == Tone::Danger ? skin::danger
                                             : skin::panel;
        QColor ink = tone == Tone::Secondary ? skin::text : QColor(Qt::white);
        QColor edge = tone == Tone::Secondary ? skin::border : base.darker(118);
        if (f == 1) {
            base = tone == Tone::Secondary ? QColor(0xEE, 0xF5, 0xFC) : base.lighter(112);
            edge = tone == Tone::Secondary ? skin::accentLight : edge;
        } else if (f == 2) {
            base = tone == Tone::Secondary ? QColor(0xDD, 0xE7, 0xF1) : base.darker(115);
        } else if (f == 3) {
            base = QColor(0xE3, 0xE7, 0xEB);
            edge = QColor(0xD3, 0xD9, 0xDF);
            ink = QColor(0xA3, 0xAD, 0xB7);
        }
        const QRectF r(f * w + 0.5, 0.5 + (f == 2 ? 1 : 0), w - 1, h - 2);
        // soft shadow under the normal and hover looks
        if (f < 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 22));
            p.drawRoundedRect(r.translated(0, 1), 5, 5);
        }
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, base.lighter(tone == Tone::Secondary ? 100 : 106));
        g.setColorAt(1, tone == Tone::Secondary ? base.darker(103) : base.darker(104));
        p.setBrush(g);
        p.setPen(QPen(edge, 1));
        p.drawRoundedRect(r, 5, 5);
        p.setFont(uiFont(h >= 30 ? 13 : 12, true));
        const QFontMetricsF fm(p.font());
        const double glyphW = glyph ? 16 : 0;
        const double tw = fm.horizontalAdvance(label) + glyphW;
        double x = r.left() + (r.width() - tw) / 2;
        if (glyph) {
            glyph(p, QRectF(x, r.center().y() - 6, 12, 12), ink);
            x += glyphW;
        }
        p.setPen(ink);
        p.drawText(QRectF(x, r.top(), r.right() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   label);
    }
    p.end();
    save(img, name);
}

// A title band button: a white glyph on the band; hover and press light it up.
void bandButton(const QString& name, int size, int frames, bool danger,
                std::function<void(QPainter&, const QRectF&, const QColor&)> glyph) {
    QImage img = canvas(size * frames, size);
    QPainter p(&img);
    smooth(p);
    for (int f = 0; f < frames; ++f) {
        const QRectF r(f * size + 0.5, 0.5, size - 1, size - 1);
        QColor ink(255, 255, 255);
        if (f == 1 || f == 2) {
            QColor bg = danger ? skin::danger : QColor(255, 255, 255, f == 1 ? 46 : 80);
            if (danger && f == 2)
                bg = skin::danger.darker(120);
            p.setPen(Qt::NoPen);
            p.setBrush(bg);
            p.drawRoundedRect(r, 4, 4);
        }
        if (f == 3)
            ink = QColor(255, 255, 255, 110);
        glyph(p, r.adjusted(size * 0.28, size * 0.28, -size * 0.28, -size * 0.28), ink);
    }
    p.end();
    save(img, name);
}

QPen glyphPen(const QColor& c, double w = 1.6) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// --- check boxes ------------------------------------------------------------------------

void tickBox(QPainter& p, const QRectF& r, int state) {
    // state: 0 unticked, 1 unticked + pointer, 2 ticked, 3 ticked + pointer, 4 greyed
    QColor fill = skin::panel, edge(0x9A, 0xA8, 0xB6);
    if (state == 1)
        edge = skin::accent;
    if (state == 2 || state == 3) {
        fill = state == 3 ? skin::accentLight : skin::accent;
        edge = skin::accentDark;
    }
    if (state == 4) {
        fill = QColor(0xE6, 0xEA, 0xEE);
        edge = QColor(0xCA, 0xD1, 0xD8);
    }
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    if (state == 2 || state == 3) {
        p.setPen(glyphPen(Qt::white, 1.8));
        QPainterPath tick;
        tick.moveTo(r.left() + r.width() * 0.24, r.top() + r.height() * 0.52);
        tick.lineTo(r.left() + r.width() * 0.43, r.top() + r.height() * 0.71);
        tick.lineTo(r.left() + r.width() * 0.77, r.top() + r.height() * 0.31);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
}

void checkStrips() {
    const int s = 14;
    {
        QImage img = canvas(s * 4, s);
        QPainter p(&img);
        smooth(p);
        const int states[] = {0, 1, 2, 3};
        for (int f = 0; f < 4; ++f)
            tickBox(p, QRectF(f * s, 0, s, s), states[f]);
        p.end();
        save(img, QStringLiteral("checkbox.png"));
    }
    {
        // unticked, unticked + pointer, ticked + pointer, ticked, greyed
        QImage img = canvas(s * 5, s);
        QPainter p(&img);
        smooth(p);
        const int states[] = {0, 1, 3, 2, 4};
        for (int f = 0; f < 5; ++f)
            tickBox(p, QRectF(f * s, 0, s, s), states[f]);
        p.end();
        save(img, QStringLiteral("checkboxes.png"));
    }
}

// --- icons ------------------------------------------------------------------------------

void kindIcon(const QString& name, const QColor& c, int kind) {
    const int s = 40;
    QImage img = canvas(s, s);
    QPainter p(&img);
    smooth(p);
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, c.lighter(115));
    g.setColorAt(1, c.darker(108));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    if (kind == 0) {
        QPainterPath tri;
        tri.moveTo(s / 2.0, 3);
        tri.lineTo(s - 2.5, s - 5);
        tri.lineTo(2.5, s - 5);
        tri.closeSubpath();
        p.setPen(QPen(c.darker(108), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tri);
    } else {
        p.drawEllipse(QRectF(2, 2, s - 4, s - 4));
    }
    p.setPen(glyphPen(Qt::white, 3.6));
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case 0:
        p.drawLine(QPointF(20, 14), QPointF(20, 24));
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(20, 30), 2.1, 2.1);
        break;
    case 1:
        p.drawLine(QPointF(14, 14), QPointF(26, 26));
        p.drawLine(QPointF(26, 14), QPointF(14, 26));
        break;
    case 2:
        p.drawLine(QPointF(20, 18), QPointF(20, 29));
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(20, 12.5), 2.3, 2.3);
        break;
    default: {
        QPainterPath tick;
        tick.moveTo(12, 20.5);
        tick.lineTo(17.5, 26);
        tick.lineTo(28.5, 14.5);
        p.drawPath(tick);
    }
    }
    p.end();
    save(img, name);
}

void smallIcons() {
    { // the deleted mark: a red badge with a bin
        QImage img = canvas(14, 14);
        QPainter p(&img);
        smooth(p);
        p.setPen(Qt::NoPen);
        p.setBrush(skin::danger);
        p.drawRoundedRect(QRectF(0.5, 0.5, 13, 13), 3, 3);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 3.5, 7, 1.4));
        p.drawRect(QRectF(5.8, 2.4, 2.4, 1.3));
        QPainterPath bin;
        bin.moveTo(4.4, 5.6);
        bin.lineTo(9.6, 5.6);
        bin.lineTo(9.0, 11.2);
        bin.lineTo(5.0, 11.2);
        bin.closeSubpath();
        p.drawPath(bin);
        p.end();
        save(img, QStringLiteral("deleted.png"));
    }
    for (int up = 0; up < 2; ++up) {
        QImage img = canvas(10, 6);
        QPainter p(&img);
        smooth(p);
        p.setPen(Qt::NoPen);
        p.setBrush(skin::accentDark);
        QPainterPath a;
        if (up) {
            a.moveTo(5, 0.5);
            a.lineTo(9.5, 5.5);
            a.lineTo(0.5, 5.5);
        } else {
            a.moveTo(0.5, 0.5);
            a.lineTo(9.5, 0.5);
            a.lineTo(5, 5.5);
        }
        a.closeSubpath();
        p.drawPath(a);
        p.end();
        save(img, up ? QStringLiteral("inc.png") : QStringLiteral("dec.png"));
    }
    { // list header skin: only its column x = 2 is used, stretched
        QImage img = canvas(4, 30);
        QPainter p(&img);
        QLinearGradient g(0, 0, 0, 30);
        g.setColorAt(0, skin::headerTop);
        g.setColorAt(1, skin::headerBottom);
        p.fillRect(img.rect(), g);
        p.fillRect(0, 29, 4, 1, skin::border);
        p.end();
        save(img, QStringLiteral("list_hearder.bmp"));
    }
    for (int open = 0; open < 2; ++open) {
        QImage img = canvas(16, 16, Qt::white);
        QPainter p(&img);
        smooth(p);
        p.setPen(QPen(skin::border.darker(110), 1));
        p.setBrush(skin::panel);
        p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 2, 2);
        p.setPen(glyphPen(skin::accentDark, 1.3));
        p.drawLine(QPointF(5.8, 8), QPointF(10.2, 8));
        if (!open)
            p.drawLine(QPointF(8, 5.8), QPointF(8, 10.2));
        p.end();
        save(img, open ? QStringLiteral("tree_opened.bmp") : QStringLiteral("tree_closed.bmp"));
    }
    { // the phone at the root of the tree
        QImage img = canvas(18, 18);
        QPainter p(&img);
        smooth(p);
        p.setPen(QPen(skin::accentDark, 1.4));
        p.setBrush(QColor(0xE8, 0xF2, 0xFB));
        p.drawRoundedRect(QRectF(4.5, 1.5, 9, 15), 2.2, 2.2);
        p.setPen(Qt::NoPen);
        p.setBrush(skin::accent);
        p.drawRect(QRectF(6, 4, 6, 8.5));
        p.setBrush(skin::accentDark);
        p.drawEllipse(QPointF(9, 14.4), 0.9, 0.9);
        p.end();
        save(img, QStringLiteral("treeroot.png"));
    }
    { // the contacts category: an address book
        QImage img = canvas(20, 20);
        QPainter p(&img);
        smooth(p);
        p.setPen(Qt::NoPen);
        QLinearGradient g(0, 0, 0, 20);
        g.setColorAt(0, skin::accentLight);
        g.setColorAt(1, skin::accent);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(3, 1.5, 14.5, 17), 2.5, 2.5);
        p.setBrush(skin::accentDark);
        for (int i = 0; i < 3; ++i)
            p.drawRoundedRect(QRectF(1.5, 4 + i * 4.5, 3.2, 1.8), 0.8, 0.8);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(10.5, 8), 2.4, 2.4);
        QPainterPath b;
        b.moveTo(6.3, 15);
        b.cubicTo(6.3, 10.6, 14.7, 10.6, 14.7, 15);
        b.closeSubpath();
        p.drawPath(b);
        p.end();
        save(img, QStringLiteral("contacts.png"));
    }
    { // the detail panel's portrait
        const int s = 62;
        QImage img = canvas(s, s);
        QPainter p(&img);
        smooth(p);
        QLinearGradient g(0, 0, s, s);
        g.setColorAt(0, QColor(0xD9, 0xEA, 0xF8));
        g.setColorAt(1, QColor(0xB4, 0xD3, 0xEE));
        p.setPen(QPen(QColor(255, 255, 255), 2));
        p.setBrush(g);
        p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
        QPainterPath clip;
        clip.addEllipse(QRectF(2, 2, s - 4, s - 4));
        p.setClipPath(clip);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6E, 0x9F, 0xCB));
        p.drawEllipse(QPointF(s / 2.0, 24), 10.5, 10.5);
        p.drawEllipse(QRectF(s / 2.0 - 21, 38, 42, 36));
        p.end();
        save(img, QStringLiteral("contactperson.png"));
    }
}

void busyStrip() {
    const int s = 16, frames = 8;
    QImage img = canvas(s * frames, s);
    QPainter p(&img);
    smooth(p);
    p.setPen(Qt::NoPen);
    for (int f = 0; f < frames; ++f) {
        for (int i = 0; i < 8; ++i) {
            const double a = (i * 45.0 - 90.0) * M_PI / 180.0;
            const int age = (f - i + frames) % frames; // 0 = the leading dot
            QColor c = skin::accent;
            c.setAlphaF(float(std::max(0.18, 1.0 - age * 0.14)));
            p.setBrush(c);
            const double r = age == 0 ? 2.0 : 1.6;
            p.drawEllipse(QPointF(f * s + 8 + std::cos(a) * 5.3, 8 + std::sin(a) * 5.3), r, r);
        }
    }
    p.end();
    save(img, QStringLiteral("animate.png"));
}

// --- buttons ----------------------------------------------------------------------------

void buttons() {
    const int band = 21;
    bandButton(QStringLiteral("close.png"), band, 4, true,
               [](QPainter& p, const QRectF& r, const QColor& c) {
                   p.setPen(glyphPen(c, 1.6));
                   p.drawLine(r.topLeft(), r.bottomRight());
                   p.drawLine(r.topRight(), r.bottomLeft());
               });
    bandButton(QStringLiteral("min.png"), band, 4, false,
               [](QPainter& p, const QRectF& r, const QColor& c) {
                   p.setPen(glyphPen(c, 1.6));
                   p.drawLine(QPointF(r.left(), r.bottom()), r.bottomRight());
               });
    bandButton(QStringLiteral("menu.png"), band, 3, false,
               [](QPainter& p, const QRectF& r, const QColor& c) {
                   p.setPen(glyphPen(c, 1.6));
                   for (int i = 0; i < 3; ++i) {
                       const double y = r.top() + 1 + i * (r.height() - 2) / 2;
                       p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
                   }
               });
    bandButton(QStringLiteral("btn_home.png"), band, 4, false,
               [](QPainter& p, const QRectF& r, const QColor& c) {
                   p.setPen(glyphPen(c, 1.5));
                   p.setBrush(Qt::NoBrush);
                   QPainterPath h;
                   h.moveTo(r.left() - 1, r.top() + r.height() * 0.45);
                   h.lineTo(r.center().x(), r.top() - 1);
                   h.lineTo(r.right() + 1, r.top() + r.height() * 0.45);
                   p.drawPath(h);
                   p.drawRect(QRectF(r.left() + 1.5, r.top() + r.height() * 0.38, r.width() - 3,
                                     r.height() * 0.62 + 1));
               });
    bandButton(QStringLiteral("btn_help.png"), band, 4, false,
               [](QPainter& p, const QRectF& r, const QColor& c) {
                   p.setPen(glyphPen(c, 1.4));
                   p.setBrush(Qt::NoBrush);
                   p.drawEllipse(r.adjusted(-1.5, -1.5, 1.5, 1.5));
                   QFont f = uiFont(10, true);
                   p.setFont(f);
                   p.drawText(r.adjusted(-2, -2, 2, 2), Qt::AlignCenter, QStringLiteral("?"));
               });

    auto recoverGlyph = [](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(glyphPen(c, 1.7));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom() - 3));
        p.drawLine(QPointF(r.center().x() - 3.5, r.bottom() - 6.5),
                   QPointF(r.center().x(), r.bottom() - 3));
        p.drawLine(QPointF(r.center().x() + 3.5, r.bottom() - 6.5),
                   QPointF(r.center().x(), r.bottom() - 3));
        p.drawLine(QPointF(r.left(), r.bottom()), QPointF(r.right(), r.bottom()));
    };
    auto backGlyph = [](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(glyphPen(c, 1.8));
        p.drawLine(QPointF(r.center().x() + 2, r.top() + 1),
                   QPointF(r.center().x() - 3, r.center().y()));
        p.drawLine(QPointF(r.center().x() - 3, r.center().y()),
                   QPointF(r.center().x() + 2, r.bottom() - 1));
    };
    auto refreshGlyph = [](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(glyphPen(c, 1.7));
        p.setBrush(Qt::NoBrush);
        p.drawArc(r.adjusted(0.5, 0.5, -0.5, -0.5), 60 * 16, 280 * 16);
        p.drawLine(QPointF(r.right() - 0.5, r.top() + 0.5),
                   QPointF(r.right() - 0.5, r.top() + 4.5));
        p.drawLine(QPointF(r.right() - 0.5, r.top() + 0.5),
                   QPointF(r.right() - 4.5, r.top() + 0.5));
    };
    const int h = 30;
    pushButton(QStringLiteral("recover.png"), QStringLiteral("Recover"), 118, h, 3, Tone::Primary,
               recoverGlyph);
    pushButton(QStringLiteral("back.png"), QStringLiteral("Back"), 86, h, 3, Tone::Secondary,
               backGlyph);
    pushButton(QStringLiteral("refresh.png"), QStringLiteral("Try again"), 118, h, 3, Tone::Primary,
               refreshGlyph);
    pushButton(QStringLiteral("pause.png"), QStringLiteral("Pause"), 64, h, 4, Tone::Secondary);
    pushButton(QStringLiteral("continue.png"), QStringLiteral("Resume"), 64, h, 4, Tone::Primary);
    pushButton(QStringLiteral("stop.png"), QStringLiteral("Stop"), 64, h, 4, Tone::Danger);
    pushButton(QStringLiteral("ok.png"), QStringLiteral("OK"), 84, 28, 4, Tone::Primary);
    pushButton(QStringLiteral("yes.png"), QStringLiteral("Yes"), 84, 28, 4, Tone::Primary);
    pushButton(QStringLiteral("cancel.png"), QStringLiteral("Cancel"), 84, 28, 4, Tone::Secondary);
    pushButton(QStringLiteral("no.png"), QStringLiteral("No"), 84, 28, 4, Tone::Secondary);
}

// --- window backgrounds -------------------------------------------------------------------

void bandTitle(QPainter& p) {
    drawMark(p, QRectF(10, 6, 20, 20), true);
    p.setPen(skin::textOnBand);
    p.setFont(uiFont(14, true));
    p.drawText(QRectF(38, 0, 300, skin::bandHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Kavri Kestrova"));
}

void footer(QPainter& p, int w, int h, int top) {
    p.fillRect(0, top, w, h - top, skin::bottomBar);
    p.fillRect(0, top, w, 1, skin::border);
}

void mainBackgrounds() {
    const int W = skin::windowWidth, H = skin::windowHeight;
    {
        QImage img = canvas(W, H, skin::window);
        QPainter p(&img);
        smooth(p);
        drawBand(p, W);
        bandTitle(p);
        // No footer here: the failure texts, the help link and the retry button of the
        // start screen sit across the lower edge and need a plain surface.
        drawOutline(p, W, H);
        p.end();
        save(img, QStringLiteral("mainbg1.png"));
    }
    {
        QImage img = canvas(W, H, skin::window);
        QPainter p(&img);
        smooth(p);
        drawBand(p, W);
        bandTitle(p);
        // the tree pane, the list and the detail panel sit on white surfaces
        p.fillRect(1, 32, 221, 577, skin::panel);
        p.fillRect(222, 32, 3, 577, skin::windowLow);
        p.fillRect(225, 32, 508, 577, skin::panel);
        p.fillRect(733, 32, 250, 577, QColor(240, 245, 255));
        p.fillRect(222, 32, 1, 577, skin::border);
        footer(p, W, H, 609);
        drawOutline(p, W, H);
        p.end();
        save(img, QStringLiteral("mainbg2.png"));
    }
    {
        // The steps of a recovery, above the loading picture; the first is the current one.
        const int w = 982, h = 140;
        QImage img = canvas(w, h, skin::window);
        QPainter p(&img);
        smooth(p);
        const struct {
            const char* title;
            const char* line;
        } steps[] = {{"Connect your phone", "USB debugging and root access on"},
                     {"Scan for contacts", "Live and deleted ones are found"},
                     {"Recover", "Tick the ones to keep and save"}};
        const int cardW = 280, gap = 36, left = (w - 3 * cardW - 2 * gap) / 2;
        for (int i = 0; i < 3; ++i) {
            const QRectF card(left + i * (cardW + gap) + 0.5, 28.5, cardW, 84);
            const bool current = i == 0;
            p.setPen(QPen(current ? skin::accentLight : skin::border, 1));
            p.setBrush(current ? QColor(0xEA, 0xF3, 0xFB) : skin::panel);
            p.drawRoundedRect(card, 8, 8);
            const QPointF c(card.left() + 36, card.center().y());
            p.setPen(Qt::NoPen);
            p.setBrush(current ? skin::accent : QColor(0xC5, 0xD0, 0xDB));
            p.drawEllipse(c, 17, 17);
            p.setPen(Qt::white);
            p.setFont(uiFont(17, true));
            p.drawText(QRectF(c.x() - 17, c.y() - 17, 34, 34), Qt::AlignCenter,
                       QString::number(i + 1));
            p.setPen(current ? skin::text : skin::textMuted);
            p.setFont(uiFont(15, true));
            p.drawText(QRectF(card.left() + 64, card.top() + 18, cardW - 72, 22),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(steps[i].title));
            p.setPen(skin::textMuted);
            p.setFont(uiFont(12));
            p.drawText(QRectF(card.left() + 64, card.top() + 44, cardW - 72, 20),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(steps[i].line));
            if (i < 2) {
                p.setPen(glyphPen(QColor(0xB5, 0xC2, 0xCF), 2));
                const double x = card.right() + gap / 2.0;
                p.drawLine(QPointF(x - 4, card.center().y() - 6),
                           QPointF(x + 3, card.center().y()));
                p.drawLine(QPointF(x + 3, card.center().y()),
                           QPointF(x - 4, card.center().y() + 6));
            }
        }
        p.end();
        save(img, QStringLiteral("step1.png"));
    }
}

// The phone and the computer of the loading pictures.
void drawPhone(QPainter& p, const QPointF& c, double s) {
    const QRectF body(c.x() - 34 * s, c.y() - 60 * s, 68 * s, 120 * s);
    p.setPen(QPen(skin::accentDark, 3 * s));
    p.setBrush(skin::panel);
    p.drawRoundedRect(body, 10 * s, 10 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE3, 0xEF, 0xFA));
    p.drawRoundedRect(body.adjusted(7 * s, 14 * s, -7 * s, -18 * s), 3 * s, 3 * s);
    p.setBrush(skin::accentDark);
    p.drawEllipse(QPointF(c.x(), body.bottom() - 9 * s), 3.5 * s, 3.5 * s);
    for (int i = 0; i < 4; ++i) {
        const double y = body.top() + 24 * s + i * 17 * s;
        p.setBrush(skin::accentLight);
        p.drawEllipse(QPointF(body.left() + 17 * s, y + 5 * s), 4.5 * s, 4.5 * s);
        p.setBrush(QColor(0xB9, 0xD4, 0xEC));
        p.drawRoundedRect(QRectF(body.left() + 25 * s, y + 2 * s, 30 * s, 6 * s), 3 * s, 3 * s);
    }
}

void drawComputer(QPainter& p, const QPointF& c, double s) {
    const QRectF screen(c.x() - 80 * s, c.y() - 56 * s, 160 * s, 100 * s);
    p.setPen(QPen(skin::accentDark, 3 * s));
    p.setBrush(skin::panel);
    p.drawRoundedRect(screen, 7 * s, 7 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE3, 0xEF, 0xFA));
    p.drawRect(screen.adjusted(8 * s, 8 * s, -8 * s, -8 * s));
    p.setBrush(skin::accentDark);
    QPainterPath stand;
    stand.moveTo(c.x() - 14 * s, screen.bottom());
    stand.lineTo(c.x() + 14 * s, screen.bottom());
    stand.lineTo(c.x() + 22 * s, screen.bottom() + 20 * s);
    stand.lineTo(c.x() - 22 * s, screen.bottom() + 20 * s);
    stand.closeSubpath();
    p.drawPath(stand);
    p.drawRoundedRect(QRectF(c.x() - 46 * s, screen.bottom() + 19 * s, 92 * s, 5 * s), 2 * s,
                      2 * s);
    drawMark(p, QRectF(c.x() - 22 * s, screen.top() + 20 * s, 44 * s, 44 * s), false);
}

void loadingPictures() {
    const int w = 785, h = 331;
    const QPointF phone(200, 132), computer(585, 132);
    // The animated loading picture: contacts travel from the phone to the computer.
    const int frames = 10;
    QTemporaryDir tmp;
    QStringList args;
    for (int f = 0; f < frames; ++f) {
        QImage img = canvas(w, h, skin::window);
        QPainter p(&img);
        smooth(p);
        drawPhone(p, phone, 1.0);
        drawComputer(p, computer, 1.0);
        const double x0 = 262, x1 = 492;
        for (int i = 0; i < 9; ++i) {
            const double x = x0 + i * (x1 - x0) / 8;
            const double phase = std::fmod(double(f) / frames * 9 - i + 9, 9.0);
            const double lit = std::max(0.0, 1.0 - phase / 3.0);
            QColor c = mix(QColor(0xC9, 0xD6, 0xE3), skin::accent, lit);
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QPointF(x, 132), 4.0 + 2.5 * lit, 4.0 + 2.5 * lit);
        }
        p.setPen(skin::text);
        p.setFont(uiFont(18, true));
        p.drawText(QRectF(0, 232, w, 30), Qt::AlignCenter,
                   QStringLiteral("Reading the contacts from your phone"));
        p.setPen(skin::textMuted);
        p.setFont(uiFont(13));
        p.drawText(QRectF(0, 264, w, 24), Qt::AlignCenter,
                   QStringLiteral("This takes a few seconds. Keep the USB cable connected."));
        p.end();
        const QString frame = tmp.filePath(QStringLiteral("f%1.png").arg(f));
        img.convertToFormat(QImage::Format_RGB32).save(frame, "PNG");
        // the last frame rests a little longer before the run starts again
        args << QStringLiteral("-delay")
             << (f == frames - 1 ? QStringLiteral("40") : QStringLiteral("9")) << frame;
    }
    const QString gif = outDir + QStringLiteral("/loaddata.gif");
    args.prepend(QStringLiteral("0"));
    args.prepend(QStringLiteral("-loop"));
    args << gif;
    if (QProcess::execute(QStringLiteral("/usr/bin/convert"), args) != 0) {
        std::fprintf(stderr, "skingen: /usr/bin/convert could not write %s\n", qPrintable(gif));
        failed = true;
    }

    // The failure picture: the phone and the computer, the link between them broken. The
    // window writes its failure texts under it.
    QImage img = canvas(w, h);
    QPainter p(&img);
    smooth(p);
    drawPhone(p, phone, 1.0);
    drawComputer(p, computer, 1.0);
    p.setPen(QPen(QColor(0xC9, 0xD6, 0xE3), 4, Qt::DashLine, Qt::RoundCap));
    p.drawLine(QPointF(262, 132), QPointF(350, 132));
    p.drawLine(QPointF(412, 132), QPointF(492, 132));
    p.setPen(Qt::NoPen);
    p.setBrush(skin::danger);
    p.drawEllipse(QPointF(381, 132), 20, 20);
    p.setPen(glyphPen(Qt::white, 3.4));
    p.drawLine(QPointF(373, 124), QPointF(389, 140));
    p.drawLine(QPointF(389, 124), QPointF(373, 140));
    p.end();
    save(img, QStringLiteral("loadfail.png"));
}

void dialogs() {
    {
        const int w = 420, h = 200;
        QImage img = canvas(w, h, skin::panel);
        QPainter p(&img);
        smooth(p);
        drawBand(p, w);
        drawMark(p, QRectF(12, 7, 18, 18), true);
        p.fillRect(0, 146, w, h - 146, QColor(0xF3, 0xF6, 0xF9));
        p.fillRect(0, 146, w, 1, QColor(0xE3, 0xE9, 0xEF));
        drawOutline(p, w, h);
        p.end();
        save(img, QStringLiteral("msgbox.png"));
    }
    {
        const int w = 400, h = 320;
        QImage img = canvas(w, h, skin::dialogBody);
        QPainter p(&img);
        smooth(p);
        drawBand(p, w);
        drawMark(p, QRectF(12, 7, 18, 18), true);
        drawMark(p, QRectF(40, 56, 58, 58), false);
        p.setPen(skin::text);
        p.setFont(uiFont(26, true));
        p.drawText(QRectF(112, 56, 270, 32), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Kestrova"));
        p.setPen(skin::textMuted);
        p.setFont(uiFont(13));
        p.drawText(QRectF(112, 90, 270, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Contact recovery for Android phones"));
        p.fillRect(40, 160, w - 80, 1, skin::border);
        p.setPen(skin::text);
        p.setFont(uiFont(12));
        p.drawText(QRectF(40, 172, w - 80, 80), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QStringLiteral("Reads the contacts of a phone attached by USB, finds the ones "
                                  "the phone has deleted, and saves those you tick as a text "
                                  "file on this computer. Nothing is changed on the phone."));
        drawOutline(p, w, h);
        p.end();
        save(img, QStringLiteral("aboutbk.png"));
    }
    kindIcon(QStringLiteral("warn.png"), skin::warning, 0);
    kindIcon(QStringLiteral("error.png"), skin::danger, 1);
    kindIcon(QStringLiteral("info.png"), skin::info, 2);
    kindIcon(QStringLiteral("right.png"), skin::success, 3);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen <image folder>\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    buttons();
    checkStrips();
    smallIcons();
    busyStrip();
    mainBackgrounds();
    loadingPictures();
    dialogs();
    return failed ? 1 : 0;
}
