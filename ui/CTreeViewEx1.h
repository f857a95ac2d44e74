// The category tree: a root row for the phone and one row per record category under it,
// each with a tick box. Every row is painted here: the expand icon, tick boxes, the gradient
// band behind the selected category and greyed text for a category without records, which
// can be neither ticked nor selected. A category's tick change is sent to the message target
// (the parent by default) as kmsg::CategoryTickChanged (row handle, 1 or 0).
//
// Window thread only, except SetCategory, which a worker may call: its change is carried
// out on the window thread, in the order the worker makes it.
#pragma once

#include "app/core/Records.h"
#include "ui/TkImage.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

struct CTreeItem {
    QString text;
    bool ticked = false;
    bool expanded = false;
    bool hasChildrenMark = false;
    CTreeItem* parent = nullptr;
    std::vector<std::unique_ptr<CTreeItem>> children;
    std::unique_ptr<CategoryInfo> info; // category rows only
};
using HTREEITEM = CTreeItem*;

class CTreeViewEx1 : public QWidget {
    Q_OBJECT
public:
    explicit CTreeViewEx1(QWidget* parent = nullptr);

    void SetRowHeight(int h) { rowHeight_ = h > 0 ? h : 1; }
    int RowHeight() const { return rowHeight_; }
    // Loads the pictures and applies the row height. Call once, before adding rows.
    void Init();

    // A top-level row without item data.
    HTREEITEM InsertRoot(const QString& text, bool hasChildren);
    // Appends "Contacts" under `parent` with a new CategoryInfo {0, 0, icon, 0}.
    HTREEITEM AddContactsCategory(HTREEITEM parent, const TkImage* icon);
    // Sets the row's hasData and, when `text` is not null, its text. Safe from any thread.
    void SetCategory(HTREEITEM row, const QString* text, int hasData);
    void SetCategory(HTREEITEM row, const QString& text, int hasData) {
        SetCategory(row, &text, hasData);
    }

    // Sets a row's tick without any message.
    void SetCheckState(HTREEITEM row, bool ticked);
    bool GetCheckState(HTREEITEM row) const { return row != nullptr && row->ticked; }
    void Expand(HTREEITEM row, bool expand = true);
    void SelectItem(HTREEITEM row);
    HTREEITEM GetSelectedItem() const { return selected_; }
    HTREEITEM GetRootItem() const { return roots_.empty() ? nullptr : roots_.front().get(); }
    CategoryInfo* GetItemData(HTREEITEM row) const { return row ? row->info.get() : nullptr; }
    QString GetItemText(HTREEITEM row) const { return row ? row->text : QString(); }

    // The visible rows from the top, and where each sits (client coordinates).
    std::vector<HTREEITEM> VisibleRows() const;
    QRect ItemRect(HTREEITEM row) const;
    QRect TickBoxRect(HTREEITEM row) const;
    HTREEITEM ItemAt(const QPoint& pos) const;

    void SetMessageTarget(QObject* target) { target_ = target; }

signals:
    // The selection changed (the tree's ordinary notification).
    void selectionChanged(HTREEITEM row);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    bool IsParentStyle(HTREEITEM row) const;
    void ApplyCategory(HTREEITEM row, const QString* text, int hasData);
    void PressTick(HTREEITEM row);
    void Report(HTREEITEM row, bool ticked);
    void PaintRow(QPainter& p, HTREEITEM row, const QRect& r);

    int rowHeight_ = 25;
    TkImage closed_, opened_, ticks_, rootIcon_;
    std::vector<std::unique_ptr<CTreeItem>> roots_;
    HTREEITEM selected_ = nullptr;
    QObject* target_ = nullptr;
};
