#include "ui/CTreeViewEx1.h"

#include "platform/brackwell/brackwell.h"
#include "ui/Messages.h"
#include "ui/TkFontPool.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QThread>

CTreeViewEx1::CTreeViewEx1(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
}

void CTreeViewEx1::Init() {
    closed_.Load(QStringLiteral("tree_closed.bmp"));
    opened_.Load(QStringLiteral("tree_opened.bmp"));
    ticks_.Load(QStringLiteral("checkboxes.png"));
    rootIcon_.Load(QStringLiteral("treeroot.png"));
    update();
}

HTREEITEM CTreeViewEx1::InsertRoot(const QString& text, bool hasChildren) {
    auto item = std::make_unique<CTreeItem>();
    item->text = text;
    item->hasChildrenMark = hasChildren;
    roots_.push_back(std::move(item));
    update();
    return roots_.back().get();
}

HTREEITEM CTreeViewEx1::AddContactsCategory(HTREEITEM parent, const TkImage* icon) {
    if (parent == nullptr)
        return nullptr;
    auto item = std::make_unique<CTreeItem>();
    item->text = QStringLiteral("Contacts");
    item->parent = parent;
    item->info = std::make_unique<CategoryInfo>();
    item->info->icon = icon;
    parent->children.push_back(std::move(item));
    update();
    return parent->children.back().get();
}

void CTreeViewEx1::SetCategory(HTREEITEM row, const QString* text, int hasData) {
    if (row == nullptr || row->info == nullptr)
        return;
    // hasData is stored at once (painting reads it without a lock); the text is changed on
    // the window thread, queued behind the worker's earlier changes.
    row->info->hasData.store(hasData ? 1 : 0);
    row->info->reserved = 0;
    if (QThread::currentThread() == thread()) {
        ApplyCategory(row, text, hasData);
        return;
    }
    const bool hasText = text != nullptr;
    const QString copy = hasText ? *text : QString();
    QMetaObject::invokeMethod(
        this,
        [this, row, hasText, copy, hasData] {
            ApplyCategory(row, hasText ? &copy : nullptr, hasData);
        },
        Qt::QueuedConnection);
}

void CTreeViewEx1::ApplyCategory(HTREEITEM row, const QString* text, int hasData) {
    row->info->hasData.store(hasData ? 1 : 0);
    if (text != nullptr)
        row->text = *text;
    update();
}

void CTreeViewEx1::SetCheckState(HTREEITEM row, bool ticked) {
    if (row == nullptr)
        return;
    row->ticked = ticked;
    update();
}

void CTreeViewEx1::Expand(HTREEITEM row, bool expand) {
    if (row == nullptr)
        return;
    row->expanded = expand;
    if (!expand && selected_ != nullptr && selected_->parent == row)
        SelectItem(row);
    update();
}

void CTreeViewEx1::SelectItem(HTREEITEM row) {
    if (row == selected_)
        return;
    selected_ = row;
    update();
    emit selectionChanged(row);
}

bool CTreeViewEx1::IsParentStyle(HTREEITEM row) const {
    return row->parent == nullptr || !row->children.empty() || row->hasChildrenMark;
}

std::vector<HTREEITEM> CTreeViewEx1::VisibleRows() const {
    std::vector<HTREEITEM> out;
    std::function<void(const std::vector<std::unique_ptr<CTreeItem>>&)> walk =
        [&](const std::vector<std::unique_ptr<CTreeItem>>& items) {
            for (const auto& item : items) {
                out.push_back(item.get());
                if (item->expanded)
                    walk(item->children);
            }
        };
    walk(roots_);
    return out;
}

QRect CTreeViewEx1::ItemRect(HTREEITEM row) const {
    const auto rows = VisibleRows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == row)
            return QRect(0, int(i) * rowHeight_, width(), rowHeight_);
    return {};
}

QRect CTreeViewEx1::TickBoxRect(HTREEITEM row) const {
    const QRect r = ItemRect(row);
    if (r.isEmpty())
        return {};
    const int l = ticks_.FrameWidth(5);
    const int left = IsParentStyle(row) ? r.left() + 26 : r.left() + l + 36;
    return QRect(left, r.top() + (r.height() - ticks_.Height()) / 2, l, ticks_.Height());
}

HTREEITEM CTreeViewEx1::ItemAt(const QPoint& pos) const {
    if (pos.y() < 0 || !rect().contains(pos))
        return nullptr;
    const auto rows = VisibleRows();
    const size_t i = size_t(pos.y() / rowHeight_);
    return i < rows.size() ? rows[i] : nullptr;
}

void CTreeViewEx1::paintEvent(QPaintEvent*) {
    if (size().isEmpty())
        return;
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::white);
    {
        QPainter p(&buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const auto rows = VisibleRows();
        for (size_t i = 0; i < rows.size(); ++i) {
            const QRect r(0, int(i) * rowHeight_, width(), rowHeight_);
            if (r.top() >= height())
                break;
            PaintRow(p, rows[i], r);
        }
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void CTreeViewEx1::PaintRow(QPainter& p, HTREEITEM row, const QRect& r) {
    const int L = r.left(), T = r.top(), H = r.height();
    const int l = ticks_.FrameWidth(5);
    auto centred = [&](const TkImage& img) { return T + (H - img.Height()) / 2; };
    if (IsParentStyle(row)) {
        const TkImage& expand = row->expanded ? opened_ : closed_;
        expand.Draw(p, L + 5, centred(expand));
        ticks_.DrawFrame(p, L + expand.Width() + 10, centred(ticks_), row->ticked ? 3 : 0, 5);
        rootIcon_.Draw(p, L + expand.Width() + l + 15, centred(rootIcon_));
        if (const QFont* f = TkFontPool::GetFont(0x104))
            p.setFont(*f);
        const QRect text(QPoint(L + rootIcon_.Width() + l + 36, T + (H - 15) / 2),
                         QPoint(r.right(), T + (H - 15) / 2 + 16 - 1));
        p.setPen(Qt::black);
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   p.fontMetrics().elidedText(row->text, Qt::ElideRight, text.width()));
        return;
    }
    const bool hasData = row->info && row->info->hasData.load() == 1;
    const bool highlighted = row == selected_; // the tree always shows its selection
    const auto* icon = row->info ? static_cast<const TkImage*>(row->info->icon) : nullptr;
    const int iconW = icon ? icon->Width() : 0;
    ticks_.DrawFrame(p, L + l + 36, centred(ticks_), hasData ? (row->ticked ? 3 : 0) : 4, 5);
    if (hasData && highlighted) {
        const int left = L + iconW + 2 * l + 46;
        gradient_fillrect(&p, QRect(QPoint(left, T), QPoint(width() - 1, r.bottom())),
                          QColor(168, 229, 246), QColor(241, 247, 249), 0);
    }
    if (icon)
        icon->Draw(p, L + 2 * l + 41, centred(*icon));
    if (const QFont* f = TkFontPool::GetFont(0x100))
        p.setFont(*f);
    const QRect text(QPoint(L + iconW + 2 * l + 46, T + (H - 15) / 2),
                     QPoint(r.right(), T + (H - 15) / 2 + 15 - 1));
    p.setPen(!hasData      ? QColor(200, 200, 200)
             : highlighted ? QColor(0, 0, 200)
                           : QColor(Qt::black));
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(row->text, Qt::ElideRight, text.width()));
}

void CTreeViewEx1::Report(HTREEITEM row, bool ticked) {
    QObject* to = target_ ? target_ : parentWidget();
    kmsg::sendMessage(to, kmsg::CategoryTickChanged, reinterpret_cast<qintptr>(row),
                      ticked ? 1 : 0);
}

void CTreeViewEx1::PressTick(HTREEITEM row) {
    const bool now = !row->ticked;
    row->ticked = now;
    if (IsParentStyle(row)) {
        for (const auto& child : row->children) {
            if (child->ticked != now)
                Report(child.get(), now);
            child->ticked = now;
        }
    } else if (HTREEITEM root = row->parent) {
        bool all = true;
        for (const auto& child : root->children) {
            if (child->info && child->info->hasData.load() == 1 && !child->ticked) {
                all = false;
                break;
            }
        }
        root->ticked = all;
        Report(row, now);
    }
    update();
}

void CTreeViewEx1::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = e->position().toPoint();
    HTREEITEM row = ItemAt(pos);
    if (row == nullptr)
        return;
    if (!IsParentStyle(row) && (!row->info || row->info->hasData.load() == 0))
        return; // a category without records can be neither ticked nor selected
    if (TickBoxRect(row).contains(pos)) {
        PressTick(row);
        return;
    }
    if (IsParentStyle(row)) {
        const TkImage& expand = row->expanded ? opened_ : closed_;
        const QRect r = ItemRect(row);
        if (pos.x() >= r.left() + 5 && pos.x() < r.left() + 5 + std::max(expand.Width(), 9)) {
            Expand(row, !row->expanded);
            return;
        }
    }
    SelectItem(row);
}

void CTreeViewEx1::mouseDoubleClickEvent(QMouseEvent*) {
    // Consumed: a double-click never expands or collapses a row.
}

void CTreeViewEx1::keyPressEvent(QKeyEvent* e) {
    const auto rows = VisibleRows();
    auto it = std::find(rows.begin(), rows.end(), selected_);
    auto selectable = [](HTREEITEM r) {
        return r->parent == nullptr || !r->info || r->info->hasData.load() == 1;
    };
    if (e->key() == Qt::Key_Down || e->key() == Qt::Key_Up) {
        const int step = e->key() == Qt::Key_Down ? 1 : -1;
        long i = it == rows.end() ? -1 : long(it - rows.begin());
        for (i += step; i >= 0 && i < long(rows.size()); i += step) {
            if (selectable(rows[size_t(i)])) {
                SelectItem(rows[size_t(i)]);
                break;
            }
        }
        return;
    }
    if (e->key() == Qt::Key_Space && selected_ != nullptr && selectable(selected_)) {
        PressTick(selected_);
        return;
    }
    QWidget::keyPressEvent(e);
}
