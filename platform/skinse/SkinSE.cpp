#include "SkinSE.h"

#include <QAbstractButton>

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QTextStream>
#include <QWidget>
#include <algorithm>

namespace {

struct Element {
    QString style;
    QRect title;
    QString titleStyle;
};

struct Skin {
    bool loaded = false;
    QMap<QString, Element> elements;
};

Skin& skin() {
    static Skin s;
    return s;
}

QRect parseRect(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return {};
    }
    return QRect(parts[0].trimmed().toInt(), parts[1].trimmed().toInt(), parts[2].trimmed().toInt(),
                 parts[3].trimmed().toInt());
}

// Keeps a child at its layout rectangle whenever the parent changes size.
class LayoutKeeper : public QObject {
public:
    LayoutKeeper(QWidget* child, int l, int t, int r, int b)
        : QObject(child), child_(child), l_(l), t_(t), r_(r), b_(b) {
        child->parentWidget()->installEventFilter(this);
        apply();
    }
    void apply() {
        const QSize size = child_->parentWidget()->size();
        const int left = l_ < 0 ? size.width() + l_ : l_;
        const int right = r_ < 0 ? size.width() + r_ : r_;
        const int top = t_ < 0 ? size.height() + t_ : t_;
        const int bottom = b_ < 0 ? size.height() + b_ : b_;
        child_->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == child_->parentWidget() && event->type() == QEvent::Resize) {
            apply();
        }
        return false;
    }

private:
    QWidget* child_;
    int l_, t_, r_, b_;
};

// Draws the window's title in the skin's title rectangle and follows title changes.
class TitleKeeper : public QObject {
public:
    TitleKeeper(QWidget* window, const Element& e) : QObject(window), window_(window) {
        label_ = new QLabel(window);
        label_->setObjectName(QStringLiteral("skinse_title"));
        label_->setGeometry(e.title);
        label_->setStyleSheet(e.titleStyle);
        label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        label_->setText(window->windowTitle());
        label_->lower();
        label_->show();
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::WindowTitleChange) {
            label_->setText(window_->windowTitle());
        }
        return false;
    }

private:
    QWidget* window_;
    QLabel* label_;
};

} // namespace

extern "C" {

int SkinSE_LoadSkinResourceFromFolder(const char* folder) {
    if (folder == nullptr) {
        return 0;
    }
    const QDir dir(QString::fromUtf8(folder));
    QFile file(dir.filePath(QStringLiteral("skin.ini")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return 0;
    }
    Skin loaded;
    const QString base = dir.absolutePath();
    QString section;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            loaded.elements[section];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || section.isEmpty()) {
            continue;
        }
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        value.replace(QStringLiteral("@skin@"), base);
        Element& e = loaded.elements[section];
        if (key == QLatin1String("style")) {
            e.style += value + QLatin1Char('\n');
        } else if (key == QLatin1String("title")) {
            e.title = parseRect(value);
        } else if (key == QLatin1String("titlestyle")) {
            e.titleStyle += value + QLatin1Char('\n');
        }
    }
    loaded.loaded = true;
    skin() = loaded;
    return 1;
}

int SkinSE_SubclassWindow(void* window, const char* element) {
    auto* w = static_cast<QWidget*>(window);
    if (w == nullptr || element == nullptr) {
        return 0;
    }
    const QString name = QString::fromUtf8(element);
    w->setProperty("skinse_element", name);
    const auto it = skin().elements.constFind(name);
    if (!skin().loaded || it == skin().elements.constEnd()) {
        return 0;
    }
    if (!it->style.isEmpty()) {
        w->setAttribute(Qt::WA_StyledBackground);
        w->setStyleSheet(it->style);
    }
    if (it->title.isValid() && w->isWindow()) {
        new TitleKeeper(w, *it);
    }
    return 1;
}

int SkinSE_SetLayoutWindowPos(void* window, int left, int top, int right, int bottom) {
    auto* w = static_cast<QWidget*>(window);
    if (w == nullptr || w->parentWidget() == nullptr) {
        return 0;
    }
    for (QObject* child : w->children()) {
        if (auto* old = dynamic_cast<LayoutKeeper*>(child)) {
            delete old;
        }
    }
    new LayoutKeeper(w, left, top, right, bottom);
    return 1;
}

int SkinSE_DirectUI_SetSubItemValue(void* window, const char* subItem, const char* value,
                                    int /*flags*/) {
    auto* w = static_cast<QWidget*>(window);
    if (w == nullptr || subItem == nullptr || value == nullptr ||
        qstrcmp(subItem, "text.normal") != 0) {
        return 0;
    }
    const QString text = QString::fromUtf8(value);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
        return 1;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
        return 1;
    }
    return 0;
}
}
