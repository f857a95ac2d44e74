#include "Support.h"
#include "app/core/Records.h"
#include "ui/CListViewCheck1.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>

namespace {
// A list of 30-pixel rows in a window, reporting to a message log.
struct ListRig {
    QWidget window;
    MessageLog log;
    CListViewCheck1 list{&window};
    ListRig() {
        window.resize(600, 400);
        list.SetRowHeight(30);
        list.setGeometry(0, 0, 600, 400);
        list.Init();
        list.SetMessageTarget(&log);
        list.InsertColumn(QStringLiteral("Name"), 150);
        list.InsertColumn(QStringLiteral("Phone"), 170);
        list.InsertColumn(QStringLiteral("Company"), 180);
        window.show();
    }
    void Rows(const QStringList& names) {
        for (const QString& n : names)
            list.AddRow({n, QString(), QStringLiteral("x")});
    }
    QPoint TickPoint(int row) { return list.TickBoxRect(row).center(); }
    QPoint TextPoint(int row) { return QPoint(240, row * 30 + 15); }
    void Click(const QPoint& p) { QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, p); }
    QStringList Column0() {
        QStringList out;
        for (int r = 0; r < list.GetItemCount(); ++r)
            out << list.GetItemText(r, 0);
        return out;
    }
    QImage Rows() { return list.viewport()->grab().toImage(); }
};
using E = MessageLog::Entry;
} // namespace

TEST(RecordList, TickBoxClickTogglesAndReportsWithoutSelecting) {
    ListRig rig;
    rig.Rows({"a", "b", "c"});
    QSignalSpy clicks(&rig.list, &CListViewCheck1::rowClicked);
    rig.Click(rig.TickPoint(1));
    EXPECT_TRUE(rig.list.GetCheckState(1));
    EXPECT_EQ(rig.list.GetSelectedIndex(), -1);
    EXPECT_EQ(clicks.count(), 0);
    rig.Click(rig.TickPoint(1));
    EXPECT_FALSE(rig.list.GetCheckState(1));
    EXPECT_EQ(rig.log.entries, (std::vector<E>{{100, 1, 1}, {100, 1, 0}}));

    // elsewhere on the row: selected, tick unchanged, the click reported
    rig.Click(rig.TextPoint(2));
    EXPECT_EQ(rig.list.GetSelectedIndex(), 2);
    EXPECT_FALSE(rig.list.GetCheckState(2));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 2);
    EXPECT_EQ(rig.log.entries.size(), 2u);
}

TEST(RecordList, TickAllBoxSendsEveryRowInOrderAndFollowsTheRows) {
    ListRig rig;
    rig.Rows({"a", "b", "c"});
    QCheckBox* box = rig.list.Header()->TickAllBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->geometry(), QRect(5, 7, 14, 14));
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(rig.log.entries, (std::vector<E>{{100, 0, 1}, {100, 1, 1}, {100, 2, 1}}));
    EXPECT_TRUE(box->isChecked());

    rig.log.entries.clear();
    rig.Click(rig.TickPoint(2)); // unticking any row clears the box
    EXPECT_FALSE(box->isChecked());
    rig.Click(rig.TickPoint(2)); // ticking the last unticked row sets it
    EXPECT_TRUE(box->isChecked());

    rig.log.entries.clear();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(rig.log.entries, (std::vector<E>{{100, 0, 0}, {100, 1, 0}, {100, 2, 0}}));
    EXPECT_FALSE(box->isChecked());
}

TEST(RecordList, TitleClicksSortAscendingThenDescendingWithTheArrow) {
    ListRig rig;
    rig.Rows({"banana", "apple", "Cherry", "apple2"});
    // keep the rows' identity through the sort
    int tags[4];
    for (int r = 0; r < 4; ++r)
        rig.list.SetItemData(r, &tags[r]);
    rig.list.SetCheckState(0, true);
    CHeaderCtrlCheck* header = rig.list.Header();
    auto clickTitle = [&](int col) {
        QTest::mouseClick(header, Qt::LeftButton, {}, QPoint(header->ColumnLeft(col) + 60, 15));
    };
    // the arrows: inc.png points up (its top row is empty at the sides), dec.png down
    auto arrowPointsDown = [&](int col) {
        const QImage img = header->grab().toImage();
        const TkImage arrow(QStringLiteral("dec.png"));
        const int x = header->ColumnLeft(col) + header->ColumnWidth(col) - 20;
        const int y = (30 - arrow.Height()) / 2;
        int top = 0, bottom = 0; // lightness summed over the arrow's first and last rows
        for (int i = 0; i < arrow.Width(); ++i) {
            top += img.pixelColor(x + i, y).lightness();
            bottom += img.pixelColor(x + i, y + arrow.Height() - 1).lightness();
        }
        return top < bottom; // the wide, dark end is at the top
    };
    clickTitle(0);
    EXPECT_EQ(rig.Column0(), (QStringList{"apple", "apple2", "banana", "Cherry"}));
    EXPECT_EQ(header->SortColumn(), 0);
    EXPECT_TRUE(header->SortAscending());
    EXPECT_FALSE(arrowPointsDown(0));
    const int banana = rig.list.FindItemData(&tags[0]);
    EXPECT_EQ(banana, 2);
    EXPECT_TRUE(rig.list.GetCheckState(banana)); // the tick travels with its row

    clickTitle(0);
    EXPECT_EQ(rig.Column0(), (QStringList{"Cherry", "banana", "apple2", "apple"}));
    EXPECT_FALSE(header->SortAscending());
    EXPECT_TRUE(arrowPointsDown(0));

    clickTitle(2); // another column becomes the sort column, ascending
    EXPECT_EQ(header->SortColumn(), 2);
    EXPECT_TRUE(header->SortAscending());
}

TEST(RecordList, SortIsCaseSensitiveAndUsesEachRowsOwnText) {
    ListRig rig;
    // rows without item data (record kind 0) still sort by their own text
    rig.Rows({"A", "a", "b", "B"});
    rig.list.SortByColumn(0);
    const QStringList asc = rig.Column0();
    rig.list.SortByColumn(0);
    QStringList desc = rig.Column0();
    std::reverse(desc.begin(), desc.end());
    EXPECT_EQ(asc, desc); // "A" and "a" never compare equal
    EXPECT_LT(asc.indexOf("a"), asc.indexOf("b"));
    EXPECT_LT(asc.indexOf("A"), asc.indexOf("B"));
}

TEST(RecordList, RowColoursMarkAndRedTextOfRecoveredRecords) {
    ListRig rig;
    ContactRecord recovered{};
    recovered.deleted = 1;
    ContactRecord live{};
    rig.list.AddRow({"Grandma", QString(), "WWWWWWWW"});
    rig.list.AddRow({"Ann", QString(), "WWWWWWWW"});
    rig.list.AddRow({"Bob", QString(), "x"});
    rig.list.SetItemData(0, &recovered);
    rig.list.SetItemData(1, &live);
    rig.list.SetRecordKind(1);
    const QImage img = rig.Rows();
    // an empty cell of each row shows the plain background
    EXPECT_EQ(QColor(img.pixel(200, 15)), QColor(245, 245, 245));
    EXPECT_EQ(QColor(img.pixel(200, 45)), QColor(255, 255, 255));
    EXPECT_EQ(QColor(img.pixel(200, 75)), QColor(245, 245, 245));
    // lines: the row's bottom edge and the separator before column 1
    EXPECT_EQ(QColor(img.pixel(200, 29)), QColor(220, 220, 220));
    EXPECT_EQ(QColor(img.pixel(150, 15)), QColor(220, 220, 220));

    const int tickW = TkImage(QStringLiteral("checkbox.png")).FrameWidth(4);
    const TkImage mark(QStringLiteral("deleted.png"));
    const QPoint markCentre(tickW + 10 + mark.Width() / 2, 15);
    EXPECT_EQ(QColor(img.pixel(markCentre)),
              mark.Frame().pixelColor(mark.Width() / 2, mark.Height() / 2));
    EXPECT_EQ(QColor(img.pixel(markCentre + QPoint(0, 30))),
              QColor(255, 255, 255)); // live: no mark

    auto reddest = [&](int row) {
        int best = 0;
        for (int x = 320; x < 500; ++x)
            for (int y = row * 30 + 5; y < row * 30 + 25; ++y) {
                const QColor c = img.pixelColor(x, y);
                best = std::max(best, c.red() - std::max(c.green(), c.blue()));
            }
        return best;
    };
    EXPECT_GT(reddest(0), 150); // red text in every column, not only the first
    EXPECT_LT(reddest(1), 10);

    rig.list.SelectItem(1);
    EXPECT_EQ(QColor(rig.Rows().pixel(200, 45)), QColor(161, 219, 238));
}

TEST(RecordList, WithoutPicturesNoPressTicksButTickAllWorks) {
    ScratchSkin empty;
    ListRig rig;
    rig.Rows({"a", "b"});
    rig.Click(QPoint(10, 15));
    EXPECT_FALSE(rig.list.GetCheckState(0));
    EXPECT_EQ(rig.list.GetSelectedIndex(), 0);
    EXPECT_TRUE(rig.log.entries.empty());
    QTest::mouseClick(rig.list.Header()->TickAllBox(), Qt::LeftButton);
    EXPECT_EQ(rig.log.entries.size(), 2u);
}

TEST(RecordList, LastDividerCannotBeDragged) {
    ListRig rig;
    CHeaderCtrlCheck* h = rig.list.Header();
    QTest::mousePress(h, Qt::LeftButton, {}, QPoint(150, 15));
    QTest::mouseMove(h, QPoint(190, 15));
    QTest::mouseRelease(h, Qt::LeftButton, {}, QPoint(190, 15));
    EXPECT_EQ(h->ColumnWidth(0), 190);
    const int lastEdge = h->TotalWidth();
    QTest::mousePress(h, Qt::LeftButton, {}, QPoint(lastEdge, 15));
    QTest::mouseMove(h, QPoint(lastEdge - 50, 15));
    QTest::mouseRelease(h, Qt::LeftButton, {}, QPoint(lastEdge - 50, 15));
    EXPECT_EQ(h->ColumnWidth(2), 180);
    EXPECT_EQ(h->height(), 30);
}
