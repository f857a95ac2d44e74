#include "Support.h"
#include "ui/CImgButton.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QColor kNormal(200, 0, 0), kHover(0, 200, 0), kPressed(0, 0, 200), kSpare(90, 90, 90);

// A 984 x 674 parent with one button whose strip is 96 x 20 in 4 frames of 24 pixels.
struct ButtonRig {
    ScratchSkin skin;
    QWidget parent;
    CImgButton button;
    ButtonRig() {
        skin.AddStrip(QStringLiteral("b.png"), 24, 20, {kNormal, kHover, kPressed, kSpare});
        parent.resize(984, 674);
        parent.show();
    }
    QColor Shown() { return QColor(button.grab().toImage().pixel(12, 10)); }
};
} // namespace

struct PlacementCase {
    int x, y, wantX, wantY;
};

class ButtonPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(ButtonPlacement, NegativePositionsCountFromTheFarEdge) {
    ButtonRig rig;
    const PlacementCase c = GetParam();
    ASSERT_TRUE(rig.button.Attach(&rig.parent, 1000, QStringLiteral("b.png"), c.x, c.y, 4));
    EXPECT_EQ(rig.button.geometry(), QRect(c.wantX, c.wantY, 24, 20));
    EXPECT_TRUE(rig.button.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Attach, ButtonPlacement,
                         ::testing::Values(PlacementCase{-8, 5, 952, 5},    // 984 - 8 - 24
                                           PlacementCase{20, -20, 20, 634}, // 674 - 20 - 20
                                           PlacementCase{0, 0, 0, 0}));

TEST(ImgButton, AttachWithoutParentFailsAndMissingStripGivesAnInvisibleButton) {
    CImgButton orphan;
    EXPECT_FALSE(orphan.Attach(nullptr, 1, QStringLiteral("close.png"), 0, 0, 4));
    ButtonRig rig;
    ASSERT_TRUE(rig.button.Attach(&rig.parent, 7, QStringLiteral("missing.png"), -8, 5, 4));
    EXPECT_EQ(rig.button.size(), QSize(0, 0));
}

TEST(ImgButton, HoverPressAndReleaseFollowThePointer) {
    ButtonRig rig;
    rig.button.Attach(&rig.parent, 1000, QStringLiteral("b.png"), 10, 10, 4);
    QSignalSpy commands(&rig.button, &CImgButton::command);
    EXPECT_EQ(rig.Shown(), kNormal);

    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QCoreApplication::sendEvent(&rig.button, &enter);
    EXPECT_EQ(rig.Shown(), kHover); // frame 1 at once

    QTest::mousePress(&rig.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(rig.Shown(), kPressed);
    QTest::mouseMove(&rig.button, QPoint(60, 60)); // dragged off: normal look
    EXPECT_EQ(rig.button.StateIndex(), 0);
    QTest::mouseMove(&rig.button, QPoint(6, 6)); // back on: pressed again
    EXPECT_EQ(rig.Shown(), kPressed);
    QTest::mouseMove(&rig.button, QPoint(60, 60));
    QTest::mouseRelease(&rig.button, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(commands.count(), 0); // released outside: no click

    QTest::mouseClick(&rig.button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 1000);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&rig.button, &leave);
    EXPECT_EQ(rig.Shown(), kNormal);
    EXPECT_EQ(rig.button.cursor().shape(), Qt::PointingHandCursor);
}

TEST(ImgButton, TransparentPixelsShowTheCapturedBackground) {
    ScratchSkin skin;
    skin.AddStrip(QStringLiteral("t.png"), 10, 10,
                  {Qt::transparent, Qt::transparent, Qt::transparent});
    QWidget parent;
    parent.resize(100, 100);
    CImgButton b;
    b.Attach(&parent, 1, QStringLiteral("t.png"), 30, 40, 3);
    QImage surface(100, 100, QImage::Format_ARGB32_Premultiplied);
    surface.fill(Qt::yellow);
    surface.setPixelColor(30, 40, Qt::magenta);
    b.CaptureBackground(surface, 30, 40);
    const QImage shown = b.grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(0, 0)), QColor(Qt::magenta));
    EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(Qt::yellow));
}

// --- links ---------------------------------------------------------------------------------

TEST(HyperLink, KeysAndClicksOpenTheTargetAndOnlyTheAboutLinkTurnsVisited) {
    std::vector<QUrl> opened;
    CHyperLink::SetOpener([&](const QUrl& u) {
        opened.push_back(u);
        return true;
    });
    QWidget host;
    CMyHyperLink help(&host);
    help.SetLabel(QStringLiteral("Have Problems?"));
    help.SetHyperLink(QStringLiteral("http://127.0.0.1/kestrova.html"));
    help.SizeToText();
    CHyperLink home(&host);
    home.SetLabel(QStringLiteral("Homepage:http://127.0.0.1/"));
    home.SetHyperLink(QStringLiteral("http://127.0.0.1/"));
    home.SizeToText();
    home.move(0, 40);
    host.show();

    EXPECT_EQ(help.toolTip(), QStringLiteral("http://127.0.0.1/kestrova.html"));
    help.setFocus();
    QTest::keyClick(&help, Qt::Key_Space);
    QTest::keyClick(&help, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://127.0.0.1/kestrova.html")));
    EXPECT_EQ(help.LinkColor(), QColor(0, 0, 255)); // never visited

    // a press inside and a release outside the text does nothing
    QTest::mousePress(&home, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(&home, Qt::LeftButton, {}, QPoint(home.width() + 30, 3));
    EXPECT_EQ(opened.size(), 2u);
    QTest::mouseClick(&home, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(home.LinkColor(), QColor(128, 0, 128));
    CHyperLink::SetOpener([](const QUrl&) { return true; });
}
