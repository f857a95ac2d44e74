#include "ui/CListViewCheck1.h"

#include "app/core/Records.h"
#include "ui/Messages.h"
#include "ui/TkFontPool.h"

#include <QCheckBox>
#include <QCollator>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

// --- CHeaderCtrlCheck ---------------------------------------------------------------------

CHeaderCtrlCheck::CHeaderCtrlCheck(CListViewCheck1* list) : QWidget(list), list_(list) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    background_ = QImage(imageFolder() + QStringLiteral("list_hearder.bmp"));
}

void CHeaderCtrlCheck::Init() {
    ascArrow_.Load(QStringLiteral("inc.png"));
    descArrow_.Load(QStringLiteral("dec.png"));
    if (tickAll_ == nullptr) {
        tickAll_ = new QCheckBox(this);
        tickAll_->setGeometry(5, 7, 14, 14);
        tickAll_->setFocusPolicy(Qt::NoFocus);
        tickAll_->setToolTip(QStringLiteral("Tick or untick all"));
        connect(tickAll_, &QCheckBox::clicked, this,
                [this](bool on) { kmsg::sendMessage(list_, kmsg::TickAll, on ? 1 : 0); });
        tickAll_->show();
    }
}

void CHeaderCtrlCheck::SetColumnWidth(int c, int width) {
    if (c < 0 || c >= ColumnCount())
        return;
    columns_[size_t(c)].width = std::max(0, width);
    update();
    emit layoutChanged();
}

int CHeaderCtrlCheck::ColumnLeft(int c) const {
    int x = 0;
    for (int i = 0; i < c && i < ColumnCount(); ++i)
        x += columns_[size_t(i)].width;
    return x;
}

int CHeaderCtrlCheck::TotalWidth() const {
    return ColumnLeft(ColumnCount());
}

void CHeaderCtrlCheck::SetOffset(int x) {
    offset_ = x;
    update();
}

int CHeaderCtrlCheck::ColumnAt(int x) const {
    int left = -offset_;
    for (int c = 0; c < ColumnCount(); ++c) {
        const int right = left + columns_[size_t(c)].width;
        if (x >= left && x < right)
            return c;
        left = right;
    }
    return -1;
}

int CHeaderCtrlCheck::DividerAt(int x) const {
    // The divider right of the last column stays where it is.
    for (int c = 0; c + 1 < ColumnCount(); ++c) {
        const int edge = ColumnLeft(c + 1) - offset_;
        if (std::abs(x - edge) <= 3)
            return c;
    }
    return -1;
}

void CHeaderCtrlCheck::paintEvent(QPaintEvent*) {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(QColor(236, 240, 244));
    {
        QPainter p(&buffer);
        if (background_.width() > 2)
            p.drawImage(rect(), background_, QRect(2, 0, 1, background_.height()));
        if (const QFont* f = TkFontPool::GetFont(0x100))
            p.setFont(*f);
        p.setPen(QColor(210, 210, 210));
        p.drawLine(0, 0, 0, height() - 1);
        const QFontMetrics fm(p.font());
        for (int c = 0; c < ColumnCount(); ++c) {
            const QRect r(ColumnLeft(c) - offset_, 0, columns_[size_t(c)].width, height());
            if (c > 0) {
                p.setPen(QColor(210, 210, 210));
                p.drawLine(r.left(), 1, r.left(), height() - 1);
            }
            p.setPen(Qt::black);
            p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine,
                       fm.elidedText(columns_[size_t(c)].title, Qt::ElideRight, r.width()));
            if (c == sortColumn_) {
                const TkImage& arrow = ascending_ ? ascArrow_ : descArrow_;
                arrow.Draw(p, r.right() + 1 - 20, (r.height() - arrow.Height()) / 2);
            }
        }
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void CHeaderCtrlCheck::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    const int x = int(e->position().x());
    dragDivider_ = DividerAt(x);
    if (dragDivider_ >= 0) {
        dragStartX_ = x;
        dragStartWidth_ = columns_[size_t(dragDivider_)].width;
        pressedColumn_ = -1;
    } else {
        pressedColumn_ = ColumnAt(x);
    }
}

void CHeaderCtrlCheck::mouseMoveEvent(QMouseEvent* e) {
    const int x = int(e->position().x());
    if (dragDivider_ >= 0) {
        SetColumnWidth(dragDivider_, dragStartWidth_ + x - dragStartX_);
        return;
    }
    setCursor(DividerAt(x) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void CHeaderCtrlCheck::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    if (dragDivider_ >= 0) {
        dragDivider_ = -1;
        return;
    }
    const int c = ColumnAt(int(e->position().x()));
    if (c >= 0 && c == pressedColumn_)
        emit titleClicked(c);
    pressedColumn_ = -1;
}

// --- CListViewCheck1 ----------------------------------------------------------------------

CListViewCheck1::CListViewCheck1(QWidget* parent)
    : QAbstractScrollArea(parent), header_(new CHeaderCtrlCheck(this)) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    setViewportMargins(0, CHeaderCtrlCheck::kHeight, 0, 0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(header_, &CHeaderCtrlCheck::titleClicked, this, &CListViewCheck1::SortByColumn);
    connect(header_, &CHeaderCtrlCheck::layoutChanged, this, [this] {
        UpdateScrollBars();
        viewport()->update();
    });
}

void CListViewCheck1::Init() {
    header_->Init();
    tick_.Load(QStringLiteral("checkbox.png"));
    deleted_.Load(QStringLiteral("deleted.png"));
    SyncTickAllBox();
}

QObject* CListViewCheck1::Target() const {
    return target_ ? target_ : parentWidget();
}

int CListViewCheck1::InsertColumn(const QString& title, int width) {
    header_->columns_.push_back({title, std::max(0, width)});
    header_->update();
    UpdateScrollBars();
    viewport()->update();
    return header_->ColumnCount() - 1;
}

void CListViewCheck1::DeleteAllColumns() {
    header_->columns_.clear();
    header_->sortColumn_ = -1;
    header_->update();
    UpdateScrollBars();
    viewport()->update();
}

int CListViewCheck1::AddRow(const QStringList& texts) {
    Row r;
    r.texts = texts;
    r.serial = nextSerial_++;
    rows_.push_back(std::move(r));
    ++unticked_;
    SyncTickAllBox();
    // Rows usually come by the thousand: the scroll range is brought up to date once, when
    // the window thread is next idle, instead of for every row.
    if (!layoutPending_) {
        layoutPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                layoutPending_ = false;
                UpdateScrollBars();
            },
            Qt::QueuedConnection);
    }
    viewport()->update();
    return int(rows_.size()) - 1;
}

void CListViewCheck1::DeleteAllItems() {
    rows_.clear();
    unticked_ = 0;
    selected_ = 0;
    SyncTickAllBox();
    UpdateScrollBars();
    viewport()->update();
}

QString CListViewCheck1::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0)
        return {};
    const QStringList& t = rows_[size_t(row)].texts;
    return column < t.size() ? t[column] : QString();
}

void CListViewCheck1::SetItemData(int row, void* data) {
    if (row >= 0 && row < GetItemCount())
        rows_[size_t(row)].data = data;
    viewport()->update();
}

void* CListViewCheck1::GetItemData(int row) const {
    return row >= 0 && row < GetItemCount() ? rows_[size_t(row)].data : nullptr;
}

int CListViewCheck1::FindItemData(const void* data) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].data == data)
            return int(i);
    return -1;
}

void CListViewCheck1::SetCheckState(int row, bool ticked) {
    if (row < 0 || row >= GetItemCount())
        return;
    Row& r = rows_[size_t(row)];
    if (r.ticked != ticked) {
        r.ticked = ticked;
        unticked_ += ticked ? -1 : 1;
        SyncTickAllBox();
        viewport()->update(ItemRect(row));
    }
}

bool CListViewCheck1::GetCheckState(int row) const {
    return row >= 0 && row < GetItemCount() && rows_[size_t(row)].ticked;
}

void CListViewCheck1::SetRecordKind(int kind) {
    recordKind_ = kind;
    viewport()->update();
}

void CListViewCheck1::SetRowHeight(int h) {
    rowHeight_ = std::max(1, h);
    UpdateScrollBars();
    viewport()->update();
}

int CListViewCheck1::GetSelectedIndex() const {
    if (selected_ == 0)
        return -1;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].serial == selected_)
            return int(i);
    return -1;
}

void CListViewCheck1::SelectItem(int row) {
    const quint64 s = row >= 0 && row < GetItemCount() ? rows_[size_t(row)].serial : 0;
    if (s == selected_)
        return;
    selected_ = s;
    viewport()->update();
    emit selectionChanged(row);
}

void CListViewCheck1::EnsureVisible(int row) {
    if (row < 0 || row >= GetItemCount())
        return;
    UpdateScrollBars();
    const int top = row * rowHeight_;
    QScrollBar* v = verticalScrollBar();
    if (top < v->value())
        v->setValue(top);
    else if (top + rowHeight_ > v->value() + viewport()->height())
        v->setValue(top + rowHeight_ - viewport()->height());
}

QRect CListViewCheck1::ItemRect(int row) const {
    return QRect(-horizontalScrollBar()->value(), row * rowHeight_ - verticalScrollBar()->value(),
                 std::max(header_->TotalWidth(), viewport()->width()), rowHeight_);
}

QRect CListViewCheck1::TickBoxRect(int row) const {
    if (row < 0 || row >= GetItemCount() || tick_.IsNull())
        return {};
    const QRect item = ItemRect(row);
    const int top = item.top() + (rowHeight_ - tick_.Height()) / 2;
    return QRect(QPoint(item.left() + 5, top),
                 QPoint(item.left() + 5 + tick_.FrameWidth(4) - 1, top + tick_.Height() - 1));
}

int CListViewCheck1::RowAt(const QPoint& pos) const {
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= viewport()->width())
        return -1;
    if (pos.x() + horizontalScrollBar()->value() >=
        std::max(header_->TotalWidth(), viewport()->width()))
        return -1;
    const int row = (pos.y() + verticalScrollBar()->value()) / rowHeight_;
    return row < GetItemCount() ? row : -1;
}

void CListViewCheck1::Report(int row, bool ticked) {
    kmsg::sendMessage(Target(), kmsg::RowTickChanged, row, ticked ? 1 : 0);
}

void CListViewCheck1::ToggleTick(int row) {
    SetCheckState(row, !GetCheckState(row));
    SyncTickAllBox();
    Report(row, GetCheckState(row));
}

void CListViewCheck1::TickAll(bool ticked) {
    for (int row = 0; row < GetItemCount(); ++row) {
        SetCheckState(row, ticked);
        Report(row, ticked);
    }
    SyncTickAllBox();
}

void CListViewCheck1::SyncTickAllBox() {
    if (QCheckBox* box = header_->TickAllBox())
        box->setChecked(!rows_.empty() && unticked_ == 0);
}

void CListViewCheck1::SortByColumn(int column) {
    if (column < 0 || column >= GetColumnCount())
        return;
    if (header_->sortColumn_ == column) {
        header_->ascending_ = !header_->ascending_;
    } else {
        header_->sortColumn_ = column;
        header_->ascending_ = true;
    }
    // Each row is compared by its own text in the sort column, cut to the length a row's
    // text buffer holds; the locale's case-sensitive order decides.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<std::pair<QCollatorSortKey, size_t>> keys;
    keys.reserve(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        keys.emplace_back(collator.sortKey(GetItemText(int(i), column).left(259)), i);
    const bool asc = header_->ascending_;
    std::stable_sort(keys.begin(), keys.end(), [asc](const auto& a, const auto& b) {
        return asc ? a.first.compare(b.first) < 0 : b.first.compare(a.first) < 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (const auto& k : keys)
        sorted.push_back(std::move(rows_[k.second]));
    rows_ = std::move(sorted);
    header_->update();
    viewport()->update();
}

bool CListViewCheck1::event(QEvent* e) {
    if (kmsg::messageNumber(e->type()) == kmsg::TickAll) {
        auto* m = static_cast<kmsg::Message*>(e);
        TickAll(m->wParam() != 0);
        return true;
    }
    return QAbstractScrollArea::event(e);
}

bool CListViewCheck1::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::Paint) {
        paintEvent(static_cast<QPaintEvent*>(e));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void CListViewCheck1::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    const QRect vp = viewport()->geometry();
    header_->setGeometry(vp.left(), vp.top() - CHeaderCtrlCheck::kHeight, vp.width(),
                         CHeaderCtrlCheck::kHeight);
    UpdateScrollBars();
}

void CListViewCheck1::scrollContentsBy(int, int) {
    header_->SetOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void CListViewCheck1::UpdateScrollBars() {
    layoutPending_ = false;
    const QSize vp = viewport()->size();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, GetItemCount() * rowHeight_ - vp.height()));
    v->setPageStep(vp.height());
    v->setSingleStep(rowHeight_);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, header_->TotalWidth() - vp.width()));
    h->setPageStep(vp.width());
    h->setSingleStep(20);
    header_->SetOffset(h->value());
}

void CListViewCheck1::paintEvent(QPaintEvent*) {
    const QSize vp = viewport()->size();
    if (vp.isEmpty())
        return;
    QImage buffer(vp, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::white);
    {
        QPainter p(&buffer);
        if (const QFont* f = TkFontPool::GetFont(0x100))
            p.setFont(*f);
        const int first = verticalScrollBar()->value() / rowHeight_;
        for (int row = first; row < GetItemCount(); ++row) {
            const QRect r = ItemRect(row);
            if (r.top() >= vp.height())
                break;
            PaintRow(p, row, r);
        }
    }
    QPainter(viewport()).drawImage(0, 0, buffer);
}

void CListViewCheck1::PaintRow(QPainter& p, int row, const QRect& r) {
    const Row& data = rows_[size_t(row)];
    const QColor bg = data.serial == selected_ ? QColor(kSelectedColor)
                      : (row % 2 == 0)         ? evenColor_
                                               : oddColor_;
    p.fillRect(r, bg);
    p.setPen(QColor(kLineColor));
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());

    const auto* record = recordKind_ == 1 ? static_cast<const ContactRecord*>(data.data) : nullptr;
    const bool recovered = record != nullptr && record->deleted != 0;
    const QFontMetrics fm(p.font());
    const int tickW = tick_.FrameWidth(4);
    const int markY = r.top() + (r.height() - tick_.Height()) / 2;
    for (int c = 0; c < GetColumnCount(); ++c) {
        QRect cell(r.left() + header_->ColumnLeft(c), r.top(), header_->ColumnWidth(c), r.height());
        QRect text = cell;
        if (c == 0) {
            tick_.DrawFrame(p, cell.left() + 5, markY, data.ticked ? 2 : 0, 4);
            text.setLeft(cell.left() + tickW + 10);
            if (recovered) {
                deleted_.Draw(p, cell.left() + tickW + 10,
                              r.top() + (r.height() - deleted_.Height()) / 2);
                text.setLeft(text.left() + deleted_.Width() + 5);
            }
        } else {
            p.setPen(QColor(kLineColor));
            p.drawLine(cell.left(), cell.top(), cell.left(), cell.bottom());
        }
        if (text.width() <= 0)
            continue;
        p.setPen(recovered ? QColor(255, 0, 0) : QColor(Qt::black));
        p.drawText(text, Qt::AlignCenter | Qt::TextSingleLine,
                   fm.elidedText(GetItemText(row, c), Qt::ElideRight, text.width()));
    }
}

void CListViewCheck1::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = e->position().toPoint();
    const int row = RowAt(pos);
    if (row < 0)
        return;
    if (TickBoxRect(row).contains(pos)) {
        ToggleTick(row); // the press is consumed: the selection stays
        return;
    }
    SelectItem(row);
    emit rowClicked(row);
}

void CListViewCheck1::keyPressEvent(QKeyEvent* e) {
    const int sel = GetSelectedIndex();
    int next = sel;
    const int page = std::max(1, viewport()->height() / rowHeight_);
    switch (e->key()) {
    case Qt::Key_Up:
        next = sel < 0 ? 0 : sel - 1;
        break;
    case Qt::Key_Down:
        next = sel + 1;
        break;
    case Qt::Key_PageUp:
        next = sel - page;
        break;
    case Qt::Key_PageDown:
        next = sel + page;
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = GetItemCount() - 1;
        break;
    case Qt::Key_Space:
        if (sel >= 0 && !tick_.IsNull())
            ToggleTick(sel);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    if (GetItemCount() == 0)
        return;
    next = std::clamp(next, 0, GetItemCount() - 1);
    SelectItem(next);
    EnsureVisible(next);
    emit rowClicked(next);
}
