#include "Support.h"
#include "platform/brackwell/brackwell.h"
#include "ui/CMsgBox.h"

#include <QTest>
#include <QTimer>

namespace {
// Shows a box with a queued answer and returns what the inspect hook saw of it.
struct Seen {
    int result = 0;
    std::map<int, QRect> buttons; // visible buttons by id
    QRect text;
    int lines = 0;
    bool icon = false;
    QSize size;
};

Seen show(int kind, uint16_t set, const QString& text, int answer) {
    Seen seen;
    CMsgBox::setInspectHook([&](CMsgBox& box) {
        for (int id : {1010, 1011, 1012, 1014, 1015})
            if (box.Button(id)->isVisible())
                seen.buttons[id] = box.Button(id)->geometry();
        seen.text = box.TextRect();
        seen.lines = box.TextLines();
        seen.icon = box.HasIcon();
        seen.size = box.size();
    });
    CMsgBox::setNextAnswer(answer);
    CMsgBox box;
    seen.result = box.ShowMsg(kind, set, text);
    CMsgBox::setInspectHook(nullptr);
    return seen;
}
} // namespace

struct ButtonSetCase {
    uint16_t set;
    std::vector<int> shown; // besides the close button, left to right
};

class MsgBoxButtons : public ::testing::TestWithParam<ButtonSetCase> {};

TEST_P(MsgBoxButtons, LaidOutAroundTheCentreAboveTheBottom) {
    const ButtonSetCase c = GetParam();
    const Seen s = show(0, c.set, QStringLiteral("Question?"), c.shown.front());
    EXPECT_EQ(s.result, c.shown.front());
    ASSERT_EQ(s.buttons.size(), c.shown.size() + 1);
    const QRect close = s.buttons.at(1010);
    EXPECT_EQ(close.right() + 1, s.size.width() - 5);
    EXPECT_EQ(close.top(), 5);
    const int centre = s.size.width() / 2;
    for (int id : c.shown)
        EXPECT_EQ(s.buttons.at(id).bottom() + 1, s.size.height() - 15) << id;
    if (c.shown.size() == 1) {
        const QRect b = s.buttons.at(c.shown[0]);
        EXPECT_EQ(b.left(), (s.size.width() - b.width()) / 2);
    } else {
        EXPECT_EQ(s.buttons.at(c.shown[0]).right() + 1, centre - 20);
        EXPECT_EQ(s.buttons.at(c.shown[1]).left(), centre + 20);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MsgBoxButtons,
    ::testing::Values(ButtonSetCase{CMsgBox::MbOk, {1011}},
                      ButtonSetCase{CMsgBox::MbYes | CMsgBox::MbNo, {1012, 1014}},
                      ButtonSetCase{CMsgBox::MbOk | CMsgBox::MbCancel, {1011, 1015}},
                      ButtonSetCase{CMsgBox::MbNo, {1014}}));

TEST(MsgBox, KindsPickTheirIconAndOutsideKindsShowNone) {
    for (int kind : {0, 1, 2, 3})
        EXPECT_TRUE(show(kind, CMsgBox::MbOk, QStringLiteral("x"), 1011).icon) << kind;
    EXPECT_FALSE(show(4, CMsgBox::MbOk, QStringLiteral("x"), 1011).icon);
    EXPECT_FALSE(show(-1, CMsgBox::MbOk, QStringLiteral("x"), 1011).icon);
}

struct TextWidthCase {
    int extra; // background width = text width + 80 + extra
    int lines;
};

class MsgBoxTextWidth : public ::testing::TestWithParam<TextWidthCase> {};

// The box is as wide as its background, so a background made to measure puts the text
// exactly at, just under or over the usable width.
TEST_P(MsgBoxTextWidth, TextAsWideAsTheAreaCountsAsTwoLines) {
    const QString text = QStringLiteral("Recovering finished, 12 files have been recovered.");
    QFont* f = get_font(L"Arial", 16, 400);
    const QFontMetrics fm(*f);
    delete_font(f);
    const int w = fm.horizontalAdvance(text);
    ScratchSkin skin;
    skin.Add(QStringLiteral("msgbox.png"), w + 80 + GetParam().extra, 200);
    const Seen s = show(3, CMsgBox::MbOk, text, 1011);
    EXPECT_EQ(s.text.left(), 70);
    EXPECT_EQ(s.text.width(), s.size.width() - 80);
    EXPECT_EQ(s.lines, GetParam().lines);
    EXPECT_EQ(s.text.height(), s.lines == 1 ? 200 : s.lines * fm.height());
    if (s.lines > 1) {
        EXPECT_EQ(s.text.top(), (200 - s.text.height()) / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Wrap, MsgBoxTextWidth,
                         ::testing::Values(TextWidthCase{1, 1}, TextWidthCase{0, 2},
                                           TextWidthCase{-1, 2}, TextWidthCase{-200, 3}));

TEST(MsgBox, ClickedButtonsAnswerAndEscDoesNot) {
    // no queued answer: the box runs its own loop, driven here by a person's clicks
    for (int id : {1010, 1012, 1014}) {
        CMsgBox box;
        QTimer::singleShot(0, [&] {
            QTest::keyClick(&box, Qt::Key_Escape);
            QTest::keyClick(&box, Qt::Key_Return);
            EXPECT_TRUE(box.isVisible());
            QTest::mouseClick(box.Button(id), Qt::LeftButton, {}, QPoint(5, 5));
        });
        EXPECT_EQ(box.ShowMsg(0, CMsgBox::MbYes | CMsgBox::MbNo, QStringLiteral("Sure?")), id);
    }
}

TEST(MsgBox, DraggingTheBackgroundMovesTheBox) {
    CMsgBox box;
    QTimer::singleShot(0, [&] {
        const QPoint before = box.pos();
        QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(100, 100));
        QMouseEvent move(QEvent::MouseMove, QPointF(130, 90), box.mapToGlobal(QPointF(130, 90)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&box, &move);
        QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(130, 90));
        EXPECT_EQ(box.pos(), before + QPoint(30, -10));
        QTest::mouseClick(box.Button(1010), Qt::LeftButton, {}, QPoint(5, 5));
    });
    EXPECT_EQ(box.ShowMsg(2, CMsgBox::MbOk, QStringLiteral("Drag me")), 1010);
}

TEST(AboutBox, EscDoesNotCloseAndButtonsDo) {
    for (int id : {1024, 1027}) {
        CAboutBox about;
        QTimer::singleShot(0, [&] {
            QTest::keyClick(&about, Qt::Key_Escape);
            EXPECT_TRUE(about.isVisible());
            QTest::mouseClick(about.Button(id), Qt::LeftButton, {}, QPoint(5, 5));
        });
        EXPECT_EQ(about.DoModal(), id);
        EXPECT_EQ(about.Link()->pos(), QPoint(40, 270));
        EXPECT_TRUE(about.Link()->Label().startsWith(QStringLiteral("Homepage:")));
    }
}
