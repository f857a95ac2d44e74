#include "ui/CContactInfoBoard.h"

#include "ui/Messages.h"
#include "ui/TkFontPool.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstdlib>
#include <cstring>

namespace {
// Record texts are narrow UTF-8; a null pointer reads as empty.
QString narrow(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

int typeCode(const char* s) {
    return s ? std::atoi(s) : 0;
}

QString phoneLabel(int code) {
    static const char* const labels[] = {
        nullptr, "Home",  "Mobile",  "Work",        "WorkFax",   "HomeFax",   "Pager",
        "Other", nullptr, nullptr,   "CompanyMain", "ISDN",      nullptr,     "OtherFax",
        "Radio", "Telex", "TTY_TTD", "WorkMobile",  "WorkPager", "Assistant", "MMS"};
    if (code < 0 || code >= int(std::size(labels)) || labels[code] == nullptr)
        return {};
    return QString::fromLatin1(labels[code]);
}

QString emailLabel(int code) {
    static const char* const labels[] = {nullptr, "Home Email", "Work Email", "Other Email",
                                         "Mobile Email"};
    if (code < 1 || code > 4)
        return QStringLiteral("Email");
    return QString::fromLatin1(labels[code]);
}
} // namespace

CContactInfoBoard::CContactInfoBoard(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setEnabled(false);
    picture_.Load(QStringLiteral("contactperson.png"));
    if (parent != nullptr)
        setGeometry(733, 34, 241, 575);
}

CContactInfoBoard::Wrapped CContactInfoBoard::WrapText(const QString& value, const QFontMetrics& fm,
                                                       int width) {
    Wrapped out;
    const int limit = width - 1;
    const int n = int(value.size());
    int pos = 0;
    bool first = true;
    while (pos < n) {
        int len = 1;
        int w = fm.horizontalAdvance(value.mid(pos, len));
        if (first) {
            out.lineHeight = fm.height();
            first = false;
        }
        bool brokeOnNewline = false;
        while (w < limit && pos + len < n) {
            const QChar last = value[pos + len - 1];
            if (last == QLatin1Char('\r') || last == QLatin1Char('\n')) {
                brokeOnNewline = true;
                break;
            }
            ++len;
            w = fm.horizontalAdvance(value.mid(pos, len));
        }
        if (!brokeOnNewline && w > limit && len > 1)
            --len; // the character that passed the width starts the next line
        out.lines << value.mid(pos, len);
        pos += len;
    }
    return out;
}

QString CContactInfoBoard::MimetypeName(int32_t id) const {
    QString name;
    bool found = false;
    // When several entries carry the id, the last one counts.
    for (const MimetypeEntry* m = mimetypes_ ? *mimetypes_ : nullptr; m; m = m->next) {
        if (m->id == id && m->name) {
            name = QString::fromUtf8(m->name);
            found = true;
        }
    }
    return found ? name : QString();
}

QRect CContactInfoBoard::ClientRect() const {
    // The viewport is laid out only once the panel has been shown; until then its size
    // follows from the panel's and the scroll bar's, which is always there.
    if (isVisible() && !viewport()->size().isEmpty())
        return viewport()->rect();
    return QRect(0, 0, std::max(0, width() - verticalScrollBar()->sizeHint().width()), height());
}

void CContactInfoBoard::AddRow(const QString& label, const QString& value, int& y) {
    const QRect client = ClientRect();
    auto row = std::make_unique<DetailRow>();
    row->label = label;
    row->value = value;
    const int valueLeft = client.left() + 100, valueRight = client.right() + 1 - 5;
    const QFont* f = TkFontPool::GetFont(0x100);
    const QFontMetrics fm(f ? *f : font());
    const Wrapped w = WrapText(value, fm, valueRight - valueLeft);
    const int h = w.lineHeight;
    row->labelRect = QRect(QPoint(client.left() + 5, y), QPoint(client.left() + 95 - 1, y + h - 1));
    row->valueRect = QRect(valueLeft, y, valueRight - valueLeft, int(w.lines.size()) * h);
    y = row->valueRect.top() + row->valueRect.height();
    rows_.push_back(std::move(row));
}

void CContactInfoBoard::ShowContact(const ContactRecord* record) {
    if (record == nullptr)
        return;
    rows_.clear();
    name_.clear();
    for (QString& s : subtitles_)
        s.clear();
    int y = 100;
    if (record->deleted == 1) {
        const QString text = narrow(record->text);
        const int tab = int(text.indexOf(QLatin1Char('\t')));
        if (tab >= 0) {
            name_ = text.left(tab);
            AddRow(QStringLiteral("Mobile:"), text.mid(tab + 1), y);
        }
    } else {
        name_ = record->nameSource == 40 ? narrow(record->text) : QStringLiteral("No Name");
        for (const DataRow* d = dataRows_ ? *dataRows_ : nullptr; d; d = d->next) {
            if (d->rawContactId != record->id)
                continue;
            const QString mime = MimetypeName(d->mimetypeId);
            if (mime == QLatin1String("vnd.android.cursor.item/organization")) {
                if (subtitles_[0].isEmpty())
                    subtitles_[0] = narrow(d->data1);
                if (subtitles_[1].isEmpty())
                    subtitles_[1] = narrow(d->subtitle1);
                if (subtitles_[1].isEmpty())
                    subtitles_[2] = narrow(d->subtitle2);
            } else if (mime == QLatin1String("vnd.android.cursor.item/phone_v2")) {
                AddRow(phoneLabel(typeCode(d->data2)), narrow(d->data1), y);
            } else if (mime == QLatin1String("vnd.android.cursor.item/email_v2")) {
                AddRow(emailLabel(typeCode(d->data2)), narrow(d->data1), y);
            }
        }
    }
    const QRect client = ClientRect();
    contentHeight_ = client.height() + 1;
    if (y > client.height()) {
        auto row = std::make_unique<DetailRow>();
        row->labelRect =
            QRect(QPoint(client.left() + 10, y), QPoint(client.left() + 80 - 1, y + 15 - 1));
        row->valueRect =
            QRect(QPoint(client.left() + 85, y), QPoint(client.right() + 1 - 5 - 1, y + 15 - 1));
        rows_.push_back(std::move(row));
        contentHeight_ = y + 15;
        y += 15;
    }
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker block(bar);
    bar->setPageStep(client.height());
    bar->setRange(0, std::max(0, y - client.height()));
    bar->setValue(0);
    bar->setEnabled(y > client.height());
    offset_ = 0;
    viewport()->update();
}

bool CContactInfoBoard::event(QEvent* e) {
    if (kmsg::messageNumber(e->type()) == kmsg::ShowContact) {
        ShowContact(
            reinterpret_cast<const ContactRecord*>(static_cast<kmsg::Message*>(e)->lParam()));
        return true;
    }
    return QAbstractScrollArea::event(e);
}

bool CContactInfoBoard::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::Paint) {
        paintEvent(static_cast<QPaintEvent*>(e));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void CContactInfoBoard::scrollContentsBy(int, int) {
    const int pos = verticalScrollBar()->value();
    if (pos != offset_) {
        offset_ = pos;
        viewport()->update();
    }
}

void CContactInfoBoard::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta == 0)
        return;
    // Ten pixels a message, whatever the wheel's amount: towards the user scrolls down.
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (delta < 0 ? 10 : -10));
    e->accept();
}

void CContactInfoBoard::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    QAbstractScrollArea::mousePressEvent(e);
}

void CContactInfoBoard::paintEvent(QPaintEvent*) {
    const QSize client = viewport()->size();
    if (client.isEmpty())
        return;
    const int contentH = std::max(contentHeight_, client.height());
    QImage buffer(client.width(), contentH, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(QColor(240, 245, 255));
    {
        QPainter p(&buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setPen(QColor(200, 200, 200));
        p.drawLine(0, 0, 0, contentH - 1);
        picture_.Draw(p, QRect(20, 20, 62, 62));
        const int left = picture_.Width() + 35, right = client.width() - 5;
        if (const QFont* f = TkFontPool::GetFont(0x500))
            p.setFont(*f);
        p.setPen(QColor(100, 100, 240));
        QRect r(QPoint(left, 20), QPoint(right - 1, 38 - 1));
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   p.fontMetrics().elidedText(name_, Qt::ElideRight, r.width()));
        if (const QFont* f = TkFontPool::GetFont(0xFF00))
            p.setFont(*f);
        p.setPen(Qt::black);
        for (const QString& s : subtitles_) {
            if (s.isEmpty())
                continue;
            r = QRect(left, r.bottom() + 1 + 3, right - left, 12);
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       p.fontMetrics().elidedText(s, Qt::ElideRight, r.width()));
        }
        if (const QFont* f = TkFontPool::GetFont(0x100))
            p.setFont(*f);
        const QFontMetrics fm = p.fontMetrics();
        for (const auto& row : rows_) {
            p.setPen(QColor(150, 150, 150));
            p.drawText(row->labelRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                       fm.elidedText(row->label, Qt::ElideRight, row->labelRect.width()));
            p.setPen(QColor(50, 50, 50));
            const Wrapped w = WrapText(row->value, fm, row->valueRect.width());
            int y = row->valueRect.top();
            for (QString line : w.lines) {
                while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
                    line.chop(1);
                p.drawText(QRect(row->valueRect.left(), y, row->valueRect.width(), w.lineHeight),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
                y += w.lineHeight;
            }
        }
    }
    QPainter(viewport())
        .drawImage(QPoint(0, 0), buffer, QRect(0, offset_, client.width(), client.height()));
}
