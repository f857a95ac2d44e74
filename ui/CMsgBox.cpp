#include "ui/CMsgBox.h"

#include "platform/brackwell/brackwell.h"
#include "ui/TkFontPool.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <deque>

namespace {
std::deque<int>& answers() {
    static std::deque<int> queue;
    return queue;
}
std::function<void(CMsgBox&)>& inspectHook() {
    static std::function<void(CMsgBox&)> hook;
    return hook;
}

// A box whose background picture is missing still has to be answerable.
const QSize kFallbackSize(420, 200);

void roundCorners(QWidget* w) {
    // The offscreen platform has no window masks (it only warns).
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, w->width() + 1, w->height() + 1), 2.5, 2.5);
    w->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void centreOver(QWidget* w, QWidget* owner) {
    QRect area;
    if (owner != nullptr && owner->isVisible() && !owner->isMinimized())
        area = owner->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
}

// Shows the box, lets the hook look at it, then ends it with the queued answer.
int answerQueued(QDialog* box, std::function<void()> inspect) {
    const int answer = answers().front();
    answers().pop_front();
    box->show();
    QCoreApplication::processEvents();
    if (inspect)
        inspect();
    box->done(answer);
    box->hide();
    return answer;
}
} // namespace

void CMsgBox::setNextAnswer(int id) {
    answers().push_back(id);
}
void CMsgBox::clearNextAnswers() {
    answers().clear();
}
int CMsgBox::pendingAnswers() {
    return int(answers().size());
}
void CMsgBox::setInspectHook(std::function<void(CMsgBox&)> hook) {
    inspectHook() = std::move(hook);
}

void CSkinBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        dragging_ = true;
        dragFrom_ = e->globalPosition().toPoint() - pos();
    }
}

void CSkinBox::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_)
        move(e->globalPosition().toPoint() - dragFrom_);
}

void CSkinBox::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void CSkinBox::keyPressEvent(QKeyEvent* e) {
    e->accept(); // no keyboard handling of its own: Esc and Enter do nothing
}

void CSkinBox::reject() {
    if (closing_)
        QDialog::reject();
}

CMsgBox::CMsgBox() : CSkinBox(nullptr, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("Kavri Kestrova"));
    background_.Load(QStringLiteral("msgbox.png"));
    for (CImgButton* b : {&close_, &ok_, &cancel_, &yes_, &no_}) {
        b->setParent(this);
        b->hide();
        connect(b, &CImgButton::command, this, [this](int id) {
            closing_ = true;
            done(id);
        });
    }
}

CMsgBox::~CMsgBox() = default;

CImgButton* CMsgBox::Button(int id) {
    switch (id) {
    case IdClose:
        return &close_;
    case IdOk:
        return &ok_;
    case IdYes:
        return &yes_;
    case IdNo:
        return &no_;
    case IdCancel:
        return &cancel_;
    default:
        return nullptr;
    }
}

int CMsgBox::ShowMsg(int kind, uint16_t buttons, const QString& text, QWidget* owner) {
    if (QApplication::instance() == nullptr)
        return -1;
    kind_ = kind;
    buttons_ = buttons;
    text_ = text;
    if (owner == nullptr)
        owner = QApplication::activeWindow();
    if (owner != nullptr && owner != this)
        setParent(owner, windowFlags());
    setWindowModality(Qt::ApplicationModal);
    closing_ = false;
    InitDialog(owner);
    if (!answers().empty())
        return answerQueued(this, [this] {
            if (inspectHook())
                inspectHook()(*this);
        });
    return exec();
}

void CMsgBox::InitDialog(QWidget* owner) {
    static const char* const icons[] = {"warn.png", "error.png", "info.png", "right.png"};
    icon_.Clear();
    if (kind_ >= 0 && kind_ <= 3)
        icon_.Load(QString::fromLatin1(icons[kind_]));
    const QSize size =
        background_.IsNull() ? kFallbackSize : QSize(background_.Width(), background_.Height());
    setFixedSize(size);
    centreOver(this, owner);
    roundCorners(this);
    Layout(size);
}

void CMsgBox::Layout(const QSize& client) {
    iconRect_ = QRect(20, (client.height() - 40) / 2, 40, 40);
    close_.Attach(this, IdClose, QStringLiteral("close.png"), -5, 5, 4);
    struct Entry {
        uint16_t flag;
        CImgButton* button;
        int id;
        const char* picture;
    };
    const Entry order[] = {{MbOk, &ok_, IdOk, "ok.png"},
                           {MbCancel, &cancel_, IdCancel, "cancel.png"},
                           {MbYes, &yes_, IdYes, "yes.png"},
                           {MbNo, &no_, IdNo, "no.png"}};
    std::vector<CImgButton*> shown;
    for (const Entry& e : order) {
        if (buttons_ & e.flag) {
            e.button->Attach(this, e.id, QString::fromLatin1(e.picture), -15, -25, 4);
            shown.push_back(e.button);
        } else {
            e.button->hide();
        }
    }
    const int cw = client.width(), ch = client.height();
    if (shown.size() == 1) {
        CImgButton* b = shown[0];
        b->move((cw - b->width()) / 2, ch - 15 - b->height());
    } else if (shown.size() >= 2) {
        // The affirmative button sits left of the centre line, the other right of it. Sets
        // of three or four buttons are not used; they share the row the same way.
        std::vector<CImgButton*> row;
        for (CImgButton* b : {&ok_, &yes_, &cancel_, &no_})
            if (std::find(shown.begin(), shown.end(), b) != shown.end())
                row.push_back(b);
        if (row.size() == 2) {
            row[0]->move(cw / 2 - row[0]->width() - 20, ch - 15 - row[0]->height());
            row[1]->move(cw / 2 + 20, ch - 15 - row[1]->height());
        } else {
            int total = 0;
            for (CImgButton* b : row)
                total += b->width();
            total += 20 * int(row.size() - 1);
            int x = (cw - total) / 2;
            for (CImgButton* b : row) {
                b->move(x, ch - 15 - b->height());
                x += b->width() + 20;
            }
        }
    }
}

void CMsgBox::paintEvent(QPaintEvent*) {
    const QSize client = size();
    QImage buffer(client, QImage::Format_ARGB32_Premultiplied);
    buffer.fill(QColor(245, 248, 251));
    {
        QPainter p(&buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setRenderHint(QPainter::TextAntialiasing);
        background_.Draw(p, 0, 0);
        icon_.Draw(p, iconRect_);
        QFont* title = get_font(L"Arial", 14, 400);
        if (title)
            p.setFont(*title);
        p.setPen(Qt::white);
        const QFontMetrics tfm(p.font());
        p.drawText(40, 7 + tfm.ascent(), QStringLiteral("Kavri Kestrova"));
        QFont* body = get_font(L"Arial", 16, 400);
        delete_font(title);
        if (body)
            p.setFont(*body);
        p.setPen(Qt::black);
        const QFontMetrics fm(p.font());
        const int W = fm.horizontalAdvance(text_), H = fm.height();
        const int usable = client.width() - 80;
        if (W < usable) {
            textLines_ = 1;
            textRect_ = QRect(70, 0, usable, client.height());
            p.drawText(textRect_, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
        } else {
            textLines_ = usable > 0 ? W / usable + 1 : 1;
            const int block = textLines_ * H;
            textRect_ = QRect(70, (client.height() - block) / 2, usable, block);
            p.drawText(textRect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text_);
        }
        delete_font(body);
    }
    QPainter(this).drawImage(0, 0, buffer);
    for (CImgButton* b : {&close_, &ok_, &cancel_, &yes_, &no_})
        if (b->isVisible())
            b->CaptureBackground(buffer, b->x(), b->y());
}

// --- CAboutBox ----------------------------------------------------------------------------

namespace {
QString& homePageSetting() {
    static QString url = QStringLiteral("http://www.kavri.com/");
    return url;
}
QString& versionSetting() {
    static QString text;
    return text;
}
} // namespace

void CAboutBox::setHomePage(const QString& url) {
    homePageSetting() = url;
}
QString CAboutBox::homePage() {
    return homePageSetting();
}
void CAboutBox::setVersionText(const QString& text) {
    versionSetting() = text;
}
QString CAboutBox::versionText() {
    return versionSetting().isEmpty() ? QCoreApplication::applicationVersion() : versionSetting();
}

CAboutBox::CAboutBox(QWidget* owner) : CSkinBox(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("About Kavri Kestrova"));
    background_.Load(QStringLiteral("aboutbk.png"));
    const QSize size =
        background_.IsNull() ? QSize(400, 320) : QSize(background_.Width(), background_.Height());
    setFixedSize(size);
    centreOver(this, owner);
    for (CImgButton* b : {&close_, &ok_}) {
        b->setParent(this);
        connect(b, &CImgButton::command, this, [this](int id) {
            closing_ = true;
            done(id);
        });
    }
    close_.Attach(this, IdClose, QStringLiteral("close.png"), -8, 5, 4);
    ok_.Attach(this, IdOk, QStringLiteral("ok.png"), -20, -15, 4);
    link_.setParent(this);
    if (QFont* f = get_font(L"Arial", 16, 400)) {
        link_.SetLinkFont(f);
        delete_font(f); // the label keeps its own copy
    }
    link_.SetBackground(QColor(238, 244, 248));
    link_.SetLabel(QStringLiteral("Homepage:") + homePage());
    link_.SetHyperLink(homePage());
    link_.SizeToText();
    link_.move(40, 270);
    link_.show();
    setWindowModality(Qt::ApplicationModal);
}

int CAboutBox::DoModal() {
    closing_ = false;
    if (CMsgBox::pendingAnswers() > 0) {
        // Automated runs answer every box of the program through the same queue.
        return answerQueued(this, nullptr);
    }
    return exec();
}

void CAboutBox::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    roundCorners(this);
}

void CAboutBox::paintEvent(QPaintEvent*) {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(QColor(238, 244, 248));
    {
        QPainter p(&buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        background_.Draw(p, rect());
        if (const QFont* f = TkFontPool::GetFont(0))
            p.setFont(*f);
        p.setPen(Qt::white);
        p.drawText(38, 7 + p.fontMetrics().ascent(), QStringLiteral("Kavri Kestrova"));
        if (const QFont* f = TkFontPool::GetFont(0x200))
            p.setFont(*f);
        p.setPen(QColor(0, 0, 90));
        p.drawText(40, 135 + p.fontMetrics().ascent(), QStringLiteral("Version: ") + versionText());
    }
    QPainter(this).drawImage(0, 0, buffer);
    for (CImgButton* b : {&close_, &ok_})
        if (b->isVisible())
            b->CaptureBackground(buffer, b->x(), b->y());
}
