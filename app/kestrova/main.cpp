// Kestrova's entry: one instance per user, the image folder, the main window run as a modal
// dialog, and the window's end code as the program's exit code.
#include "InstanceGuard.h"
#include "MainDlg.h"
#include "ui/TkImage.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setOrganizationName(QStringLiteral("Kavri"));

    // A second start ends at once, silently, with code 0; the first keeps running.
    InstanceGuard guard(QStringLiteral("Kavri Kestrova"));
    if (!guard.acquire())
        return 0;

    MainDlgSettings settings = MainDlgSettings::fromEnvironment();
    setImageFolder(settings.programFolder + QStringLiteral("/image/"));

    int code = 0;
    {
        CMainDlg dlg(settings);
        code = dlg.exec();
    }
    return code;
}
