#include "Support.h"
#include "ui/CTreeViewEx1.h"

#include <QSignalSpy>
#include <QTest>
#include <thread>

namespace {
// The main window's tree: a root with the contacts category under it, expanded.
struct TreeRig {
    QWidget window;
    MessageLog log;
    CTreeViewEx1 tree{&window};
    TkImage icon{QStringLiteral("contacts.png")};
    HTREEITEM root, contacts;
    TreeRig() {
        tree.SetRowHeight(25);
        tree.Init();
        tree.setGeometry(0, 0, 221, 200);
        tree.SetMessageTarget(&log);
        root = tree.InsertRoot(QStringLiteral("android phone"), true);
        contacts = tree.AddContactsCategory(root, &icon);
        tree.Expand(root);
        window.show();
    }
    void Click(const QPoint& p) { QTest::mouseClick(&tree, Qt::LeftButton, {}, p); }
    QImage Shot() { return tree.grab().toImage(); }
};
using E = MessageLog::Entry;
qintptr handle(HTREEITEM h) {
    return reinterpret_cast<qintptr>(h);
}
} // namespace

TEST(CategoryTree, CategoryWithoutDataIsGreyAndCannotBeTickedOrSelected) {
    TreeRig rig;
    const QRect box = rig.tree.TickBoxRect(rig.contacts);
    EXPECT_EQ(box.left(), 14 + 36); // l + 36, l = width of one of the 5 frames
    rig.Click(box.center());
    rig.Click(QPoint(150, 37));
    EXPECT_FALSE(rig.tree.GetCheckState(rig.contacts));
    EXPECT_EQ(rig.tree.GetSelectedItem(), nullptr);
    EXPECT_TRUE(rig.log.entries.empty());
    // the greyed box (frame 4) is drawn
    const TkImage strip(QStringLiteral("checkboxes.png"));
    const int l = strip.FrameWidth(5);
    EXPECT_EQ(QColor(rig.Shot().pixel(box.left() + l / 2, box.top() + 1)),
              strip.Frame().pixelColor(4 * l + l / 2, 1));
}

TEST(CategoryTree, TickingTheOnlyCategoryTicksTheRoot) {
    TreeRig rig;
    rig.tree.SetCategory(rig.contacts, QStringLiteral("Contacts (3)"), 1);
    EXPECT_EQ(rig.tree.GetItemText(rig.contacts), QStringLiteral("Contacts (3)"));
    rig.Click(rig.tree.TickBoxRect(rig.contacts).center());
    EXPECT_TRUE(rig.tree.GetCheckState(rig.contacts));
    EXPECT_TRUE(rig.tree.GetCheckState(rig.root));
    EXPECT_EQ(rig.tree.GetSelectedItem(), nullptr); // a tick press does not select
    rig.Click(rig.tree.TickBoxRect(rig.contacts).center());
    EXPECT_FALSE(rig.tree.GetCheckState(rig.root));
    EXPECT_EQ(rig.log.entries,
              (std::vector<E>{{105, handle(rig.contacts), 1}, {105, handle(rig.contacts), 0}}));
}

TEST(CategoryTree, RootTickReportsOnlyCategoriesWhoseTickChanges) {
    TreeRig rig;
    HTREEITEM second = rig.tree.AddContactsCategory(rig.root, &rig.icon);
    rig.tree.SetCategory(rig.contacts, nullptr, 1);
    rig.tree.SetCategory(second, nullptr, 1);
    rig.tree.SetCheckState(second, true);
    const QRect box = rig.tree.TickBoxRect(rig.root);
    EXPECT_EQ(box.left(), 26);
    rig.Click(box.center());
    EXPECT_TRUE(rig.tree.GetCheckState(rig.root));
    EXPECT_TRUE(rig.tree.GetCheckState(rig.contacts));
    EXPECT_EQ(rig.log.entries, (std::vector<E>{{105, handle(rig.contacts), 1}}));
    rig.Click(box.center());
    EXPECT_EQ(rig.log.entries.size(), 3u);
    EXPECT_FALSE(rig.tree.GetCheckState(second));
}

TEST(CategoryTree, SelectedCategoryShowsTheBandAndBlueTextOnlyWithData) {
    TreeRig rig;
    const int y = 25 + 12;
    const int bandX = 215; // right of the text, inside the band
    rig.tree.SetCategory(rig.contacts, nullptr, 1);
    QSignalSpy selections(&rig.tree, &CTreeViewEx1::selectionChanged);
    rig.Click(QPoint(150, y));
    EXPECT_EQ(rig.tree.GetSelectedItem(), rig.contacts);
    EXPECT_EQ(selections.count(), 1);
    const QImage img = rig.Shot();
    EXPECT_NE(QColor(img.pixel(bandX, y)), QColor(Qt::white));
    EXPECT_GT(QColor(img.pixel(bandX, y)).blue(), QColor(img.pixel(bandX, y)).red());
    bool blueText = false;
    for (int x = 100; x < 170; ++x)
        for (int yy = 30; yy < 45; ++yy) {
            const QColor c = img.pixelColor(x, yy);
            blueText |= c.blue() > 150 && c.red() < 60 && c.green() < 60;
        }
    EXPECT_TRUE(blueText);

    rig.tree.SetCategory(rig.contacts, nullptr, 0); // going back: the band goes
    EXPECT_EQ(QColor(rig.Shot().pixel(bandX, y)), QColor(Qt::white));
}

TEST(CategoryTree, DoubleClickNeverCollapsesTheRoot) {
    TreeRig rig;
    QTest::mouseDClick(&rig.tree, Qt::LeftButton, {}, QPoint(100, 12));
    EXPECT_EQ(rig.tree.VisibleRows().size(), 2u);
}

TEST(CategoryTree, WorkerSetCategoryReachesTheWindowThreadInOrder) {
    TreeRig rig;
    std::thread worker([&] {
        for (int n = 1; n <= 50; ++n)
            rig.tree.SetCategory(rig.contacts, QStringLiteral("Contacts (%1)").arg(n), 1);
    });
    worker.join();
    EXPECT_EQ(rig.tree.GetItemData(rig.contacts)->hasData.load(), 1); // stored at once
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.tree.GetItemText(rig.contacts), QStringLiteral("Contacts (50)"));
}
