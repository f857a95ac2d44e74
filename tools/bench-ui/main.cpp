// bench-ui [ROWS]
// Fills the record list with ROWS contact rows (100,000 by default), then times painting
// the first screen, scrolling to the middle and the end, and sorting by two columns in both
// directions. Prints one line per step in milliseconds.
#include "app/core/Records.h"
#include "ui/CListViewCheck1.h"
#include "ui/Messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {
double step(const char* what, const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    std::printf("%-34s %9.1f ms\n", what, ms);
    return ms;
}
} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // Sorting follows the user's locale; without one, measure a real collation, not bytes.
    if (QLocale().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;

    std::mt19937 rng(7);
    const char* first[] = {"Ann",   "bob",   "Chen", "dana", "Émile",
                           "Farid", "grace", "Hiro", "Ines", "Jo"};
    const char* last[] = {"Marsh", "ortega", "Wei", "Fischer", "Durand", "Haddad", "Lee", "Sato"};
    std::vector<QStringList> texts;
    texts.reserve(size_t(rows));
    for (int i = 0; i < rows; ++i) {
        texts.push_back(
            {QStringLiteral("%1 %2 %3")
                 .arg(QString::fromUtf8(first[rng() % 10]))
                 .arg(QString::fromUtf8(last[rng() % 8]))
                 .arg(i),
             QStringLiteral("+44 20 %1").arg(rng() % 100000000, 8, 10, QLatin1Char('0')),
             i % 3 ? QString() : QStringLiteral("Company %1").arg(rng() % 500),
             QStringLiteral("user%1@example.org").arg(rng() % 1000000)});
    }
    std::vector<ContactRecord> records(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        records[size_t(i)].deleted = i % 4 == 0;

    QWidget window;
    window.resize(984, 674);
    CListViewCheck1 list(&window);
    list.SetRowHeight(30);
    list.setGeometry(225, 32, 507, 576);
    list.Init();
    for (auto [title, width] :
         {std::pair{"Name", 150}, {"Phone", 170}, {"Company", 180}, {"Email", 150}})
        list.InsertColumn(QString::fromLatin1(title), width);
    window.show();
    QApplication::processEvents();

    std::printf("record list with %d rows\n", rows);
    double worst = 0;
    step("fill (add, item data, tick)", [&] {
        for (int i = 0; i < rows; ++i) {
            const int r = list.AddRow(texts[size_t(i)]);
            list.SetItemData(r, &records[size_t(i)]);
            list.SetCheckState(r, true);
        }
        list.SetRecordKind(1);
        QApplication::processEvents(); // the window thread catches up, as after any fill
    });
    auto paint = [&] { list.viewport()->repaint(); };
    worst = std::max(worst, step("paint first screen", paint));
    worst =
        std::max(worst, step("scroll to middle + paint", [&] {
                     list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2);
                     paint();
                 }));
    worst = std::max(worst, step("scroll to end + paint", [&] {
                         list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
                         paint();
                     }));
    double sortWorst = 0;
    for (int col : {0, 1}) {
        for (const char* dir : {"ascending", "descending"}) {
            const QString label =
                QStringLiteral("sort column %1 %2 + paint").arg(col).arg(QLatin1String(dir));
            sortWorst = std::max(sortWorst, step(qPrintable(label), [&] {
                                     list.SortByColumn(col);
                                     paint();
                                 }));
        }
    }
    step("tick all (one message per row)", [&] {
        list.SetMessageTarget(&window);
        kmsg::sendMessage(&list, kmsg::TickAll, 0);
    });
    std::printf("slowest paint or scroll: %.1f ms; slowest sort: %.1f ms\n", worst, sortWorst);
    return 0;
}
