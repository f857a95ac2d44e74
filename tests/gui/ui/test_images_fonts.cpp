#include "Support.h"
#include "platform/brackwell/brackwell.h"
#include "ui/CAnimateImg.h"
#include "ui/TkFontPool.h"
#include "ui/TkImage.h"

#include <QFile>
#include <QFontInfo>
#include <QTest>

// --- font pool ---------------------------------------------------------------------------

struct FontKeyCase {
    uint16_t key;
    int pixels;
    bool bold, italic, underline;
};

class FontKeys : public ::testing::TestWithParam<FontKeyCase> {};

TEST_P(FontKeys, KeyGivesSizeAndStyle) {
    const FontKeyCase c = GetParam();
    const QFont* f = TkFontPool::GetFont(c.key);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->pixelSize(), c.pixels);
    EXPECT_EQ(f->bold(), c.bold);
    EXPECT_EQ(f->italic(), c.italic);
    EXPECT_EQ(f->underline(), c.underline);
    EXPECT_EQ(f->family(), QStringLiteral("Tahoma"));
    // one object per key for the life of the process
    EXPECT_EQ(TkFontPool::GetFont(c.key), f);
}

INSTANTIATE_TEST_SUITE_P(
    Pool, FontKeys,
    ::testing::Values(
        FontKeyCase{0x100, 12, false, false, false}, FontKeyCase{0x104, 12, true, false, false},
        FontKeyCase{0x200, 13, false, false, false}, FontKeyCase{0x500, 16, false, false, false},
        // the size byte is signed: 0xFF is one pixel smaller, not 266 px
        FontKeyCase{0xFF00, 10, false, false, false}, FontKeyCase{0xFE07, 9, true, true, true}));

TEST(FontPool, BaseFontIsTahomaElevenPixelsAndTheFaceIsReallyThere) {
    const QFont* base = TkFontPool::GetFont(0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->pixelSize(), 11);
    // without the registered face, Tahoma silently falls back to a much wider one
    EXPECT_EQ(QFontInfo(*base).family(), QStringLiteral("Tahoma"));
}

TEST(FontPool, ImpossibleHeightIsNotCached) {
    // step -11 asks for 0 px, step -12 for -1 px: no font is made
    EXPECT_EQ(TkFontPool::GetFont(0xF500), nullptr);
    EXPECT_EQ(TkFontPool::GetFont(0xF400), nullptr);
}

TEST(Brackwell, FontsAreDistinctAndGradientCoversTheRectangle) {
    QFont* a = get_font(L"Arial", 16, 400);
    QFont* b = get_font(L"Arial", 16, 400);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->pixelSize(), 16);
    EXPECT_FALSE(a->bold());
    delete_font(a);
    delete_font(b);
    EXPECT_EQ(get_font(nullptr, 16, 400), nullptr);

    QImage img(40, 10, QImage::Format_ARGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    gradient_fillrect(&p, QRect(0, 0, 40, 10), QColor(168, 229, 246), QColor(241, 247, 249), 0);
    p.end();
    EXPECT_NEAR(qRed(img.pixel(0, 5)), 168, 4);
    EXPECT_NEAR(qRed(img.pixel(39, 5)), 241, 4);
    EXPECT_NEAR(qRed(img.pixel(20, 0)), qRed(img.pixel(20, 9)), 1); // mode 0 runs left to right
}

// --- images --------------------------------------------------------------------------------

TEST(Images, MissingFileIsAnEmptyImageThatDrawsNothing) {
    TkImage img(QStringLiteral("no-such-picture.png"));
    EXPECT_EQ(img.Width(), 0);
    EXPECT_EQ(img.Height(), 0);
    EXPECT_EQ(img.FrameCount(), 1);
    QImage canvas(8, 8, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    img.Draw(p, 0, 0);
    img.Draw(p, QRect(0, 0, 8, 8));
    img.DrawPart(p, 0, 0, 0, 0, 4, 4);
    img.DrawFrame(p, 0, 0, 1, 4);
    p.end();
    EXPECT_EQ(canvas.pixel(3, 3), QColor(Qt::white).rgb());
}

TEST(Images, FrameStripDrawsOnlyTheChosenFrame) {
    ScratchSkin skin;
    skin.AddStrip(QStringLiteral("strip.png"), 5, 4, {Qt::red, Qt::green, Qt::blue});
    TkImage img(QStringLiteral("strip.png"));
    EXPECT_EQ(img.FrameWidth(3), 5);
    QImage canvas(10, 4, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    img.DrawFrame(p, 0, 0, 2, 3);
    p.end();
    EXPECT_EQ(canvas.pixel(4, 2), QColor(Qt::blue).rgb());
    EXPECT_EQ(canvas.pixel(5, 2), QColor(Qt::white).rgb()); // one frame wide, no more
}

// --- the loading picture's stepping ---------------------------------------------------------

struct StepperRig {
    TkImage image;
    std::vector<int> armed;
    int invalidated = 0;
    TkGifStepper stepper{
        &image, {[this](int ms) { armed.push_back(ms); }, [] {}, [this] { ++invalidated; }}};
};

TEST(GifStepping, StepsByEachNextFramesDelayAndWraps) {
    StepperRig rig;
    ASSERT_TRUE(rig.image.Load(QStringLiteral(KESTROVA_SOURCE_DIR "/image/loaddata.gif")));
    const int n = rig.image.FrameCount();
    ASSERT_GT(n, 2);
    const auto delays = rig.image.FrameDelays();
    rig.stepper.Painted();
    rig.stepper.Painted(); // a second paint while running does not re-arm
    ASSERT_EQ(rig.armed, std::vector<int>{80});
    for (int tick = 0; tick < n; ++tick) {
        rig.stepper.Tick();
        EXPECT_EQ(rig.image.ActiveFrame(), tick);
        const int next = (tick + 1) % n;
        EXPECT_EQ(rig.armed.back(), delays[size_t(next)] * 10) << "tick " << tick;
    }
    rig.stepper.Tick(); // after the last frame the next tick selects frame 0 again
    EXPECT_EQ(rig.image.ActiveFrame(), 0);
    EXPECT_EQ(rig.invalidated, n + 1);
}

TEST(GifStepping, SingleFrameIsDrawnButNeverAdvances) {
    StepperRig rig;
    ASSERT_TRUE(rig.image.Load(QStringLiteral("contacts.png")));
    rig.stepper.Painted();
    rig.stepper.Tick();
    EXPECT_EQ(rig.armed, std::vector<int>{80}); // not re-armed after the tick
    EXPECT_FALSE(rig.stepper.Running());
    rig.stepper.Tick(); // a tick without the running mark does nothing
    EXPECT_EQ(rig.invalidated, 0);
    rig.stepper.Painted(); // the next paint arms it again
    EXPECT_EQ(rig.armed.size(), 2u);
}

TEST(GifStepping, FrameWithoutDelayDoesNotSpinTheTimer) {
    // A 1x1 GIF of two frames whose delays are 0, written byte by byte.
    const unsigned char frame[] = {0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, // delay 0
                                   0x2C, 0,    0,    0,    0,    1,    0,    1,
                                   0,    0x00,                    // 1x1 at 0,0
                                   0x02, 0x02, 0x44, 0x01, 0x00}; // clear, 0, end
    QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
    gif.append("\x00\x00\x00\xff\xff\xff", 6);
    const unsigned char loop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                                  'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    gif.append(reinterpret_cast<const char*>(loop), sizeof loop);
    for (int i = 0; i < 2; ++i)
        gif.append(reinterpret_cast<const char*>(frame), sizeof frame);
    gif.append('\x3B');
    ScratchSkin skin;
    QFile f(skin.Path(QStringLiteral("nodelay.gif")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(gif);
    f.close();

    StepperRig rig;
    ASSERT_TRUE(rig.image.Load(QStringLiteral("nodelay.gif")));
    ASSERT_EQ(rig.image.FrameCount(), 2);
    rig.stepper.Painted();
    rig.stepper.Tick();
    rig.stepper.Tick();
    ASSERT_EQ(rig.armed.size(), 3u);
    EXPECT_GE(rig.armed[1], 20);
    EXPECT_GE(rig.armed[2], 20);
}

// --- busy animation ----------------------------------------------------------------------

TEST(BusyAnimation, StripOfEightFramesSteppedAndWrapped) {
    CAnimateImg anim;
    ASSERT_TRUE(anim.Load(QStringLiteral("animate.png")));
    anim.SplitFrames();
    anim.SetPos(20, 641, true);
    EXPECT_EQ(anim.pos(), QPoint(20, 641));
    EXPECT_EQ(anim.width() * 8, TkImage(QStringLiteral("animate.png")).Width());
    EXPECT_TRUE(anim.isHidden());
    anim.SetInterval(5);
    anim.Start();
    EXPECT_TRUE(anim.IsRunning());
    QTest::qWait(5); // let a few ticks pass
    for (int i = 0; i < 200 && anim.CurrentFrame() == 0; ++i)
        QTest::qWait(2);
    EXPECT_GT(anim.CurrentFrame(), 0);
    anim.Stop();
    const int frame = anim.CurrentFrame();
    QTest::qWait(30);
    EXPECT_EQ(anim.CurrentFrame(), frame); // stopped means stopped
}

TEST(BusyAnimation, MissingStripLeavesAZeroSizedWindow) {
    ScratchSkin empty;
    CAnimateImg anim;
    EXPECT_FALSE(anim.Load(QStringLiteral("animate.png")));
    anim.SplitFrames();
    anim.SetPos(20, 641, false);
    EXPECT_EQ(anim.size(), QSize(0, 0));
}
