#include <QApplication>
#include <QLocale>
#include <cstdlib>
#include <gtest/gtest.h>

#include "ui/CImgButton.h"
#include "ui/TkImage.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The controls load the skin of the program folder; no test opens a browser.
    // Sorting follows the user's locale; tests fix one instead of the machine's.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    setImageFolder(QStringLiteral(KESTROVA_PROGRAM_DIR "/image/"));
    CHyperLink::SetOpener([](const QUrl&) { return true; });
    return RUN_ALL_TESTS();
}
