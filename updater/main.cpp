// Fresnaro: the updater. One skinned window that lives as long as the program.
#include "MsgBox.h"
#include "SkinSE.h"
#include "UpdateDialog.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace {

// The application icon: a downward arrow into a tray on the skin's blue.
QIcon applicationIcon() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 0, 64);
    band.setColorAt(0, QColor(0x1D, 0x4F, 0x7C));
    band.setColorAt(1, QColor(0x17, 0x40, 0x66));
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.setBrush(Qt::white);
    const QPointF arrow[] = {{26, 12}, {38, 12}, {38, 28}, {47, 28}, {32, 44}, {17, 28}, {26, 28}};
    p.drawPolygon(arrow, 7);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF tray[] = {{14, 42}, {14, 51}, {50, 51}, {50, 42}};
    p.drawPolyline(tray, 4);
    return QIcon(pm);
}

// FRESNARO_SNAPSHOT_DIR names a folder: the updater then saves pictures of its own window in
// the checking and downloading states and of each message box it shows, and answers each box
// with its default button, so that a demo runs without a person.
void enableSnapshots(fresnaro::CDravonelSoftwareUpdateDlg& dlg, const QString& folder) {
    QDir().mkpath(folder);
    static int count = 0;
    auto save = [folder](QWidget* w, const QString& name) {
        const QString file = QDir(folder).filePath(
            QStringLiteral("%1-%2.png").arg(++count, 2, 10, QLatin1Char('0')).arg(name));
        w->grab().save(file);
    };
    QObject::connect(&dlg, &fresnaro::CDravonelSoftwareUpdateDlg::stateChanged, &dlg,
                     [&dlg, save](const QString& state) {
                         const int delay = state == QStringLiteral("downloading") ? 1500 : 100;
                         QTimer::singleShot(delay, &dlg, [&dlg, save, state] {
                             if (dlg.isVisible()) {
                                 save(&dlg, state);
                             }
                         });
                     });
    fresnaro::MsgBox::setHook([save](const fresnaro::ShownMessage& m, QMessageBox& box) {
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (m.buttons & QMessageBox::No) {
            answer = QMessageBox::No;
        } else if (!(m.buttons & QMessageBox::Ok)) {
            answer = QMessageBox::Cancel;
        }
        QTimer::singleShot(600, &box, [&box, save, answer] {
            save(&box, QStringLiteral("message"));
            box.done(answer);
        });
        box.exec();
        return answer;
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fresnaro"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    // The window's texts were laid out for Tahoma; the compatible face is not on
    // fontconfig's path.
    for (const char* f :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        QFontDatabase::addApplicationFont(QString::fromUtf8(f));
    }
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(9);
    QApplication::setFont(font);
    QApplication::setWindowIcon(applicationIcon());

    // The skin folder is looked up from the working folder.
    SkinSE_LoadSkinResourceFromFolder("./frskin");

    fresnaro::CDravonelSoftwareUpdateDlg dlg(fresnaro::UpdaterPaths::fromEnvironment());
    const QString snapshots = qEnvironmentVariable("FRESNARO_SNAPSHOT_DIR");
    if (!snapshots.isEmpty()) {
        enableSnapshots(dlg, snapshots);
    }
    dlg.exec();
    return 0;
}
