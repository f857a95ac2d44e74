#include "Support.h"
#include "ui/CContactInfoBoard.h"
#include "ui/TkFontPool.h"

#include <QScrollBar>
#include <QTest>

namespace {
char* s(const char* t) {
    return const_cast<char*>(t);
}

// A small record model: mimetypes 1 phone, 2 e-mail, 3 organisation, 4 something else.
struct PanelRig {
    QWidget window;
    CContactInfoBoard panel{&window};
    std::vector<MimetypeEntry> mimes;
    std::vector<DataRow> rows;
    DataRow* rowHead = nullptr;
    MimetypeEntry* mimeHead = nullptr;
    PanelRig(int height = 575) {
        mimes = {{1, s("vnd.android.cursor.item/phone_v2"), nullptr},
                 {2, s("vnd.android.cursor.item/email_v2"), nullptr},
                 {3, s("vnd.android.cursor.item/organization"), nullptr},
                 {4, s("vnd.android.cursor.item/name"), nullptr}};
        for (size_t i = 0; i + 1 < mimes.size(); ++i)
            mimes[i].next = &mimes[i + 1];
        mimeHead = &mimes[0];
        window.resize(241, height);
        panel.setGeometry(0, 0, 241, height);
        panel.SetRecordSource(&rowHead, &mimeHead);
        window.show();
    }
    void Row(int mime, int contact, const char* d1, const char* d2, const char* t1 = nullptr,
             const char* t2 = nullptr) {
        DataRow r{};
        r.mimetypeId = mime;
        r.rawContactId = contact;
        r.data1 = s(d1);
        r.data2 = s(d2);
        r.subtitle1 = s(t1);
        r.subtitle2 = s(t2);
        rows.push_back(r);
    }
    void Link() {
        for (size_t i = 0; i + 1 < rows.size(); ++i)
            rows[i].next = &rows[i + 1];
        rowHead = rows.empty() ? nullptr : &rows[0];
    }
    void Show(const ContactRecord& c) {
        kmsg::sendMessage(&panel, kmsg::ShowContact, 0, reinterpret_cast<qintptr>(&c));
    }
    int Width() const { return panel.viewport()->width(); }
};

ContactRecord live(int id, const char* name, int source) {
    ContactRecord c{};
    c.id = id;
    c.text = s(name);
    c.nameSource = source;
    return c;
}
} // namespace

TEST(DetailPanel, LabelsNamesAndSubtitlesOfALiveContact) {
    PanelRig rig;
    rig.Row(1, 7, "555 0101", "8");      // a type code without a label
    rig.Row(2, 7, "a@example.org", "7"); // an unknown e-mail code
    rig.Row(1, 8, "other contact", "2");
    rig.Row(3, 7, "First Co", nullptr, nullptr, "Dept A");
    rig.Row(3, 7, "Second Co", nullptr, "Title B", "Dept B");
    rig.Row(4, 7, "not shown", nullptr);
    rig.Row(9, 7, "no mimetype", nullptr);
    rig.Row(1, 7, "555 0102", "2");
    rig.Link();
    const ContactRecord ann = live(7, "Ann", 40);
    rig.Show(ann);
    EXPECT_EQ(rig.panel.Name(), QStringLiteral("Ann"));
    ASSERT_EQ(rig.panel.Rows().size(), 3u);
    EXPECT_EQ(rig.panel.Rows()[0]->label, QString());
    EXPECT_EQ(rig.panel.Rows()[0]->value, QStringLiteral("555 0101"));
    EXPECT_EQ(rig.panel.Rows()[1]->label, QStringLiteral("Email"));
    EXPECT_EQ(rig.panel.Rows()[2]->label, QStringLiteral("Mobile"));
    // the first organisation row gives the company; the next lines come from the first row
    // that offers them
    EXPECT_EQ(rig.panel.Subtitle(0), QStringLiteral("First Co"));
    EXPECT_EQ(rig.panel.Subtitle(1), QStringLiteral("Title B"));
    EXPECT_EQ(rig.panel.Subtitle(2), QStringLiteral("Dept A"));

    const ContactRecord nameless = live(8, "Shown in the list only", 20);
    rig.Show(nameless);
    EXPECT_EQ(rig.panel.Name(), QStringLiteral("No Name"));
    kmsg::sendMessage(&rig.panel, kmsg::ShowContact, 0, 0); // a null record is ignored
    EXPECT_EQ(rig.panel.Name(), QStringLiteral("No Name"));
}

TEST(DetailPanel, RecoveredRecordsSplitAtTheFirstTab) {
    PanelRig rig;
    ContactRecord bob{};
    bob.deleted = 1;
    bob.text = s("Bob\t555\tx");
    rig.Show(bob);
    EXPECT_EQ(rig.panel.Name(), QStringLiteral("Bob"));
    ASSERT_EQ(rig.panel.Rows().size(), 1u);
    EXPECT_EQ(rig.panel.Rows()[0]->label, QStringLiteral("Mobile:"));
    EXPECT_EQ(rig.panel.Rows()[0]->value, QStringLiteral("555\tx"));
    bob.text = s("no tab here");
    rig.Show(bob);
    EXPECT_EQ(rig.panel.Name(), QString());
    EXPECT_TRUE(rig.panel.Rows().empty());
}

struct WrapCase {
    const char* value;
    int width;
    std::vector<const char*> lines;
};

class Wrapping : public ::testing::TestWithParam<WrapCase> {};

// A face where every character is the same width keeps the cases exact.
TEST_P(Wrapping, BreaksByCharactersAgainstWidthMinusOne) {
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(12);
    const QFontMetrics fm(mono);
    const int cw = fm.horizontalAdvance(QLatin1Char('x'));
    const WrapCase c = GetParam();
    const auto w = CContactInfoBoard::WrapText(QString::fromLatin1(c.value), fm, c.width * cw);
    QStringList want;
    for (const char* l : c.lines)
        want << QString::fromLatin1(l);
    EXPECT_EQ(w.lines, want);
    EXPECT_EQ(w.lineHeight, c.lines.empty() ? 0 : fm.height());
}

INSTANTIATE_TEST_SUITE_P(
    Panel, Wrapping,
    ::testing::Values(WrapCase{"", 5, {}},
                      // width 5 characters, limit one pixel less: four fit on a line
                      WrapCase{"abcdefghij", 5, {"abcd", "efgh", "ij"}},
                      WrapCase{"ab\ncd", 10, {"ab\n", "cd"}},
                      // a line always keeps one character, however narrow
                      WrapCase{"abc", 0, {"a", "b", "c"}}, WrapCase{"abc", 4, {"abc"}}));

TEST(DetailPanel, WrappedValuePushesTheNextRowBelowItsLastLine) {
    PanelRig rig;
    rig.Row(2, 1, "averyveryverylongaddresswithoutanyspaces@mail.example.com", "1");
    rig.Row(1, 1, "555", "1");
    rig.Link();
    const ContactRecord c = live(1, "X", 40);
    rig.Show(c);
    ASSERT_EQ(rig.panel.Rows().size(), 2u);
    const DetailRow& first = *rig.panel.Rows()[0];
    const DetailRow& second = *rig.panel.Rows()[1];
    EXPECT_EQ(first.valueRect.top(), 100);
    EXPECT_EQ(first.valueRect.left(), 100);
    EXPECT_EQ(first.valueRect.right(), rig.Width() - 5 - 1);
    const int h = QFontMetrics(*TkFontPool::GetFont(0x100)).height();
    EXPECT_GE(first.valueRect.height(), 3 * h);
    EXPECT_EQ(first.labelRect.height(), h);
    EXPECT_EQ(second.valueRect.top(), first.valueRect.bottom() + 1);
}

TEST(DetailPanel, ScrollRangeEndsFifteenPixelsBelowTheLastRowAndResets) {
    PanelRig rig(200);
    for (int i = 0; i < 12; ++i)
        rig.Row(1, 1, "555 0100", "2");
    rig.Row(1, 2, "1", "2");
    rig.Link();
    const ContactRecord longOne = live(1, "Long", 40);
    rig.Show(longOne);
    QScrollBar* bar = rig.panel.verticalScrollBar();
    const int lastBottom = rig.panel.Rows()[11]->valueRect.bottom() + 1;
    EXPECT_EQ(rig.panel.Rows().size(), 13u); // twelve rows and the closing empty one
    EXPECT_EQ(bar->maximum() + bar->pageStep(), lastBottom + 15);
    EXPECT_TRUE(bar->isEnabled());

    QWheelEvent towards(QPointF(50, 50), rig.panel.mapToGlobal(QPointF(50, 50)), QPoint(),
                        QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(rig.panel.viewport(), &towards);
    EXPECT_EQ(rig.panel.ScrollOffset(), 10); // ten pixels, whatever the wheel's amount
    bar->setValue(bar->maximum());
    EXPECT_EQ(rig.panel.ScrollOffset(), bar->maximum());

    const ContactRecord shortOne = live(2, "Short", 40);
    rig.Show(shortOne);
    EXPECT_EQ(rig.panel.ScrollOffset(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), 0);
}
