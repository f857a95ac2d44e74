// The checkable record list: a report list that paints only its visible rows, with a tick
// box in front of each row, recovered records in red with a deleted mark, and a skinned
// header with sort arrows and a box that ticks or unticks every row.
//
// Messages: every tick change is sent to the message target (the parent by default) as
// kmsg::RowTickChanged (row, 1 or 0); the header's tick-all box sends kmsg::TickAll (1 or 0)
// to the list, which then sets each row from the first to the last and reports each.
// All member functions are to be called from the window thread.
#pragma once

#include "ui/TkImage.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QStringList>
#include <vector>

class QCheckBox;
class CListViewCheck1;

class CHeaderCtrlCheck : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 30;

    explicit CHeaderCtrlCheck(CListViewCheck1* list);

    // Loads the arrows and creates the tick-all box.
    void Init();

    int ColumnCount() const { return int(columns_.size()); }
    QString ColumnTitle(int c) const { return columns_[size_t(c)].title; }
    int ColumnWidth(int c) const { return columns_[size_t(c)].width; }
    void SetColumnWidth(int c, int width);
    // Left edge of column c in content coordinates (before horizontal scrolling).
    int ColumnLeft(int c) const;
    int TotalWidth() const;

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    QCheckBox* TickAllBox() const { return tickAll_; }
    // Horizontal scroll of the list, in pixels.
    void SetOffset(int x);

signals:
    void titleClicked(int column);
    void layoutChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    friend class CListViewCheck1;
    struct Column {
        QString title;
        int width;
    };
    int ColumnAt(int x) const;
    int DividerAt(int x) const;

    CListViewCheck1* list_;
    std::vector<Column> columns_;
    QImage background_; // list_hearder.bmp
    TkImage ascArrow_, descArrow_;
    QCheckBox* tickAll_ = nullptr;
    int sortColumn_ = -1;
    bool ascending_ = true;
    int offset_ = 0;
    int dragDivider_ = -1;
    int dragStartX_ = 0, dragStartWidth_ = 0;
    int pressedColumn_ = -1;
};

class CListViewCheck1 : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CListViewCheck1(QWidget* parent = nullptr);

    // Loads the pictures and creates the tick-all box. Call once after construction.
    void Init();
    CHeaderCtrlCheck* Header() { return header_; }

    // Columns: every column is centred.
    int InsertColumn(const QString& title, int width);
    void DeleteAllColumns();
    int GetColumnCount() const { return header_->ColumnCount(); }

    // Appends a row with one text per column (missing texts are empty, extra ones ignored);
    // returns its index. The row starts unticked, without item data.
    int AddRow(const QStringList& texts);
    void DeleteAllItems();
    int GetItemCount() const { return int(rows_.size()); }
    QString GetItemText(int row, int column) const;
    void SetItemData(int row, void* data);
    void* GetItemData(int row) const;
    // Sets a row's tick without any message.
    void SetCheckState(int row, bool ticked);
    bool GetCheckState(int row) const;
    // The first row carrying this item data, or -1.
    int FindItemData(const void* data) const;

    // 0: rows carry no records; 1: each row's item data is a ContactRecord*.
    void SetRecordKind(int kind);
    int RecordKind() const { return recordKind_; }
    void SetRowHeight(int h);
    int RowHeight() const { return rowHeight_; }

    int GetSelectedIndex() const;
    void SelectItem(int row);
    void EnsureVisible(int row);

    // Sorts as a click on the column's title does: the same column flips the direction,
    // another column sorts ascending.
    void SortByColumn(int column);

    // Where tick changes are reported; the parent widget when unset.
    void SetMessageTarget(QObject* target) { target_ = target; }

    // Geometry in viewport coordinates.
    QRect ItemRect(int row) const;
    QRect TickBoxRect(int row) const;
    int RowAt(const QPoint& viewportPos) const;

    static constexpr QRgb kSelectedColor = 0xFFA1DBEE; // RGB(161,219,238)
    static constexpr QRgb kLineColor = 0xFFDCDCDC;     // RGB(220,220,220)

signals:
    // A press on a row outside its tick box (the list's click notification).
    void rowClicked(int row);
    // The selection moved, by the pointer or the keyboard.
    void selectionChanged(int row);

protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class CHeaderCtrlCheck;
    struct Row {
        QStringList texts;
        void* data = nullptr;
        bool ticked = false;
        quint64 serial = 0;
    };
    void ToggleTick(int row);
    void TickAll(bool ticked);
    void Report(int row, bool ticked);
    void SyncTickAllBox();
    void UpdateScrollBars();
    void PaintRow(QPainter& p, int row, const QRect& r);
    QObject* Target() const;

    CHeaderCtrlCheck* header_;
    TkImage tick_;    // checkbox.png: 4 frames, 0 unticked, 2 ticked
    TkImage deleted_; // deleted.png
    QColor oddColor_{255, 255, 255};
    QColor evenColor_{245, 245, 245};
    int rowHeight_ = 50;
    int recordKind_ = 0;
    std::vector<Row> rows_;
    int unticked_ = 0;
    quint64 nextSerial_ = 1;
    quint64 selected_ = 0; // serial of the selected row, 0 = none
    QObject* target_ = nullptr;
    bool layoutPending_ = false;
};
