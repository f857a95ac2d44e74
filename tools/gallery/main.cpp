// kestrova-gallery OUTDIR
// Builds each control of the recovery program's presentation with sample records (live and
// recovered contacts, values that wrap, every message box kind and button set, the about
// box) and saves a PNG of each into OUTDIR.
#include "app/core/Records.h"
#include "platform/brackwell/brackwell.h"
#include "ui/CAnimateImg.h"
#include "ui/CContactInfoBoard.h"
#include "ui/CImgButton.h"
#include "ui/CListViewCheck1.h"
#include "ui/CMsgBox.h"
#include "ui/CTreeViewEx1.h"
#include "ui/Messages.h"
#include "ui/TkFontPool.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>

namespace {

QString outDir;
int failures = 0;

void shoot(QWidget& w, const QString& name) {
    w.show();
    QApplication::processEvents();
    if (!w.grab().save(outDir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
        std::fprintf(stderr, "kestrova-gallery: cannot write %s\n", qPrintable(name));
        ++failures;
    }
}

// Sample records in the layouts the contacts reader delivers.
struct Samples {
    std::vector<MimetypeEntry> mimes;
    std::vector<DataRow> rows;
    std::vector<ContactRecord> live;
    std::vector<ContactRecord> recovered;
    DataRow* rowHead = nullptr;
    MimetypeEntry* mimeHead = nullptr;

    static char* s(const char* t) { return const_cast<char*>(t); }

    Samples() {
        mimes = {{5, s("vnd.android.cursor.item/phone_v2"), nullptr},
                 {6, s("vnd.android.cursor.item/email_v2"), nullptr},
                 {7, s("vnd.android.cursor.item/organization"), nullptr}};
        mimes[0].next = &mimes[1];
        mimes[1].next = &mimes[2];
        mimeHead = &mimes[0];
        auto row = [](int mime, int contact, const char* d1, const char* d2,
                      const char* t1 = nullptr, const char* t2 = nullptr) {
            DataRow r{};
            r.mimetypeId = mime;
            r.rawContactId = contact;
            r.data1 = s(d1);
            r.data2 = s(d2);
            r.subtitle1 = s(t1);
            r.subtitle2 = s(t2);
            return r;
        };
        rows = {
            row(5, 1, "+44 20 7946 0958", "2"),
            row(5, 1, "+44 20 7946 0000", "3"),
            row(6, 1, "ann.marsh@example.org", "1"),
            row(7, 1, "Marsh & Daughters Ltd", nullptr, "Head of Sales", "Northern Region"),
            row(5, 2, "0161 496 0123", "1"),
            row(6, 2, "b.ortega.long-address-that-needs-more-than-one-line@mail.example.com", "7"),
            row(5, 3, "+1 202 555 0147", "17")};
        for (size_t i = 0; i + 1 < rows.size(); ++i)
            rows[i].next = &rows[i + 1];
        rowHead = &rows[0];
        auto contact = [](int id, const char* name, int source) {
            ContactRecord c{};
            c.id = id;
            c.checked = 1;
            c.text = s(name);
            c.nameSource = source;
            return c;
        };
        live = {contact(1, "Ann Marsh", 40), contact(2, "Bruno Ortega", 40),
                contact(3, "support@example.com", 10), contact(4, "Chen Wei", 40),
                contact(5, "Dana Fischer", 40)};
        auto lost = [](int id, const char* text) {
            ContactRecord c{};
            c.id = id;
            c.checked = 1;
            c.deleted = 1;
            c.text = s(text);
            return c;
        };
        recovered = {lost(0, "Grandma\t+44 1632 960 412"), lost(1, "Plumber (Jake)\t07700 900 321"),
                     lost(2, "N/A\t+33 1 70 18 99 00")};
    }
};

void fillList(CListViewCheck1& list, Samples& m) {
    list.DeleteAllItems();
    list.DeleteAllColumns();
    list.InsertColumn(QStringLiteral("Name"), 150);
    list.InsertColumn(QStringLiteral("Phone"), 170);
    list.InsertColumn(QStringLiteral("Company"), 180);
    list.InsertColumn(QStringLiteral("Email"), 150);
    for (ContactRecord& r : m.recovered) {
        const QString t = QString::fromUtf8(r.text);
        const int tab = int(t.indexOf(QLatin1Char('\t')));
        const int row = list.AddRow({t.left(tab), t.mid(tab + 1)});
        list.SetItemData(row, &r);
        list.SetCheckState(row, r.checked != 0);
    }
    const char* phone[] = {"+44 20 7946 0958", "0161 496 0123", "+1 202 555 0147", "", ""};
    const char* company[] = {"Marsh & Daughters Ltd", "", "", "", ""};
    const char* mail[] = {"ann.marsh@example.org", "b.ortega.long-address@mail.example.com", "", "",
                          ""};
    for (size_t i = 0; i < m.live.size(); ++i) {
        const int row = list.AddRow({QString::fromUtf8(m.live[i].text), QString::fromUtf8(phone[i]),
                                     QString::fromUtf8(company[i]), QString::fromUtf8(mail[i])});
        list.SetItemData(row, &m.live[i]);
        list.SetCheckState(row, i != 1);
    }
    list.SetRecordKind(1);
}

// A stand-in for the main window's surface, so the controls can be seen on their skin.
class Surface : public QWidget {
public:
    explicit Surface(const QString& background, bool steps = false) : steps_(steps) {
        bg_.Load(background);
        step_.Load(QStringLiteral("step1.png"));
        gif_.Load(QStringLiteral("loaddata.gif"));
        fail_.Load(QStringLiteral("loadfail.png"));
        setFixedSize(984, 674);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    std::vector<CImgButton*> buttons;
    int gifFrame = -1; // -1: no loading picture; -2: the failure picture
    QImage surface;

protected:
    void paintEvent(QPaintEvent*) override {
        surface = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        surface.fill(Qt::white);
        {
            QPainter p(&surface);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            bg_.Draw(p, 0, 0);
            if (steps_)
                step_.Draw(p, 1, 74);
            const QRect loading(120, 230, 785, 331);
            if (gifFrame >= 0) {
                gif_.SelectActiveFrame(gifFrame);
                gif_.Draw(p, loading);
            } else if (gifFrame == -2) {
                fail_.Draw(p, loading);
            }
        }
        QPainter(this).drawImage(0, 0, surface);
        for (CImgButton* b : buttons)
            if (b->isVisible())
                b->CaptureBackground(surface, b->x(), b->y());
    }

private:
    TkImage bg_, step_, gif_, fail_;
    bool steps_;
};

void topButtons(Surface& s) {
    struct B {
        int id;
        const char* pic;
        int x, y, frames;
    } bs[] = {{1001, "min.png", -29, 5, 4},
              {1000, "close.png", -8, 5, 4},
              {1024, "menu.png", -50, 5, 3},
              {1029, "btn_home.png", -120, 5, 4},
              {1031, "btn_help.png", -90, 5, 4}};
    for (const B& b : bs) {
        auto* btn = new CImgButton(&s);
        btn->Attach(&s, b.id, QString::fromLatin1(b.pic), b.x, b.y, b.frames);
        s.buttons.push_back(btn);
    }
}

CImgButton* addButton(Surface& s, int id, const char* pic, int x, int y, int frames) {
    auto* btn = new CImgButton(&s);
    btn->Attach(&s, id, QString::fromLatin1(pic), x, y, frames);
    s.buttons.push_back(btn);
    return btn;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral("1.0.0.1"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrova-gallery OUTDIR\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    registerSkinFonts();
    CHyperLink::SetOpener([](const QUrl&) { return true; });
    Samples m;

    { // start screen, loading
        Surface s(QStringLiteral("mainbg1.png"), true);
        topButtons(s);
        s.gifFrame = 3;
        shoot(s, QStringLiteral("main-loading"));
        s.gifFrame = -2;
        addButton(s, 1033, "refresh.png", -30, -35, 3);
        auto* help = new CMyHyperLink(&s);
        help->SetLabel(QStringLiteral("Have Problems?"));
        if (QFont* f = get_font(L"Arial", 16, 400)) {
            help->SetLinkFont(f);
            delete_font(f);
        }
        help->SizeToText();
        help->move(470, 630);
        s.update();
        shoot(s, QStringLiteral("main-failed"));
    }
    { // results screen with every control in its place
        Surface s(QStringLiteral("mainbg2.png"));
        topButtons(s);
        addButton(s, 1032, "back.png", 20, -20, 3);
        addButton(s, 1010, "recover.png", -30, -20, 3);
        CTreeViewEx1 tree(&s);
        tree.SetRowHeight(25);
        tree.Init();
        tree.setGeometry(1, 32, 221, 577);
        TkImage contacts(QStringLiteral("contacts.png"));
        HTREEITEM root = tree.InsertRoot(QStringLiteral("android phone"), true);
        HTREEITEM cat = tree.AddContactsCategory(root, &contacts);
        tree.Expand(root);
        tree.SetCategory(cat, QStringLiteral("Contacts (8)"), 1);
        tree.SetCheckState(root, true);
        tree.SetCheckState(cat, true);
        tree.SelectItem(cat);
        CListViewCheck1 list(&s);
        list.SetRowHeight(30);
        list.setGeometry(QRect(QPoint(225, 32), QPoint(747, 575)));
        list.Init();
        fillList(list, m);
        list.SelectItem(3);
        CContactInfoBoard panel(&s);
        panel.SetRecordSource(&m.rowHead, &m.mimeHead);
        panel.show();
        kmsg::sendMessage(&panel, kmsg::ShowContact, 0, reinterpret_cast<qintptr>(&m.live[0]));
        shoot(s, QStringLiteral("main-results"));

        // scanning: progress bar, busy animation, pause and stop
        for (CImgButton* b : s.buttons)
            if (b->ControlId() == 1032 || b->ControlId() == 1010)
                b->hide();
        list.hide();
        panel.hide();
        tree.SetCategory(cat, QStringLiteral("Contacts (3)"), 1);
        QProgressBar progress(&s);
        progress.setRange(0, 100);
        progress.setValue(42);
        progress.setGeometry(42, 639, 730, 20);
        progress.show();
        CAnimateImg busy(&s);
        busy.Load(QStringLiteral("animate.png"));
        busy.SplitFrames();
        busy.SetPos(20, 641, false);
        busy.show();
        addButton(s, 1006, "pause.png", -92, -20, 4);
        addButton(s, 1007, "stop.png", -20, -20, 4);
        shoot(s, QStringLiteral("main-scanning"));
    }
    { // the list alone: sorted, with a recovered row selected
        QWidget host;
        host.resize(507, 300);
        CListViewCheck1 list(&host);
        list.SetRowHeight(30);
        list.setGeometry(0, 0, 507, 300);
        list.Init();
        fillList(list, m);
        list.SortByColumn(0);
        shoot(host, QStringLiteral("list-sorted-ascending"));
        list.SortByColumn(0);
        list.SelectItem(0);
        shoot(host, QStringLiteral("list-sorted-descending"));
    }
    { // the tree: a category before the scan has data
        CTreeViewEx1 tree;
        tree.SetRowHeight(25);
        tree.Init();
        tree.resize(221, 120);
        TkImage contacts(QStringLiteral("contacts.png"));
        HTREEITEM root = tree.InsertRoot(QStringLiteral("android phone"), true);
        tree.AddContactsCategory(root, &contacts);
        tree.Expand(root);
        shoot(tree, QStringLiteral("tree-no-data"));
    }
    { // the detail panel: live, recovered, and long contents scrolled
        QWidget host;
        host.resize(241, 575);
        CContactInfoBoard panel(&host);
        panel.setGeometry(0, 0, 241, 575);
        panel.SetRecordSource(&m.rowHead, &m.mimeHead);
        panel.ShowContact(&m.live[1]);
        shoot(host, QStringLiteral("panel-live-wrapping"));
        panel.ShowContact(&m.recovered[1]);
        shoot(host, QStringLiteral("panel-recovered"));
        panel.ShowContact(&m.live[2]);
        shoot(host, QStringLiteral("panel-no-name"));
        panel.setGeometry(0, 0, 241, 120);
        host.resize(241, 120);
        panel.ShowContact(&m.live[0]);
        panel.verticalScrollBar()->setValue(panel.verticalScrollBar()->maximum());
        shoot(host, QStringLiteral("panel-scrolled"));
    }
    { // every message box of the program, and each button set
        struct Box {
            int kind;
            uint16_t buttons;
            const char* text;
            const char* file;
        } boxes[] = {
            {0, CMsgBox::MbYes | CMsgBox::MbNo,
             "Are you sure to go back to reload the data from Android phone?", "msgbox-goback"},
            {0, CMsgBox::MbOk, "Please select the directory to save the files recovered.",
             "msgbox-no-folder"},
            {0, CMsgBox::MbOk, "Please select the file(s) you want to recover.",
             "msgbox-nothing-ticked"},
            {3, CMsgBox::MbOk, "Recovering finished, 8 files have been recovered.",
             "msgbox-finished"},
            {2, CMsgBox::MbYes | CMsgBox::MbNo, "New version found,are you sure to Update?",
             "msgbox-update"},
            {1, CMsgBox::MbOk | CMsgBox::MbCancel, "The contacts could not be saved.",
             "msgbox-error-okcancel"},
            {2, CMsgBox::MbCancel, "Cancel alone.", "msgbox-cancel"},
            {7, CMsgBox::MbNo, "A kind without an icon.", "msgbox-no-icon"},
        };
        for (const Box& b : boxes) {
            const QString file = QString::fromLatin1(b.file);
            CMsgBox::setInspectHook([file](CMsgBox& box) {
                if (!box.grab().save(outDir + QLatin1Char('/') + file + QStringLiteral(".png")))
                    ++failures;
            });
            CMsgBox::setNextAnswer(CMsgBox::IdClose);
            CMsgBox box;
            box.ShowMsg(b.kind, b.buttons, QString::fromLatin1(b.text));
        }
        CMsgBox::setInspectHook(nullptr);
    }
    {
        CAboutBox about;
        shoot(about, QStringLiteral("about"));
    }
    std::printf("kestrova-gallery: pictures written to %s%s\n", qPrintable(outDir),
                failures ? " (some failed)" : "");
    return failures ? 1 : 0;
}
