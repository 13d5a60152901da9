// Binding 100,000 rows x 15 columns from a result set into a grid driven by
// the grid wrapper, then one header-click sort: best time of three runs
// (each drawn on screen before the clock stops) and the process's peak memory.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_grid [rows]
#include "grid/KestoVSFlexgrid.h"
#include "platform/db/Sql.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"
#include "support/BenchHarness.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

constexpr int kCols = 15;

// Values of the kinds a line grid holds: keys, codes, names, quantities, dates.
std::shared_ptr<ResultSet> makeLines(int rows)
{
    auto rs = std::make_shared<ResultSet>();
    QStringList names;
    for (int c = 0; c < kCols; ++c)
        names << QStringLiteral("f%1").arg(c);
    rs->setColumns(names);
    for (int r = 0; r < rows; ++r) {
        QList<QVariant> row;
        row.reserve(kCols);
        for (int c = 0; c < kCols; ++c) {
            switch (c % 5) {
            case 0:
                row << qint64(r + 1);
                break;
            case 1:
                row << QStringLiteral("M-%1").arg(r * 7919 % 100000, 6, 10, QLatin1Char('0'));
                break;
            case 2:
                row << QStringLiteral("物料名称%1").arg(r * 31 % 997);
                break;
            case 3:
                row << (r % 10000) / 8.0;
                break;
            default:
                row << QDate(2026, 1, 1).addDays(r % 365);
                break;
            }
        }
        rs->appendRow(std::move(row));
    }
    return rs;
}

double bestOf3(const std::function<void()> &prepare, const std::function<void()> &run)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("user.ini"));
    for (int c = 0; c < kCols; ++c)
        IniFile::writeString(ini, QStringLiteral("benchGrid1"), QStringLiteral("Field%1").arg(c),
                             QStringLiteral("f%1,栏位%1,1200,4,1,True").arg(c));
    IniFile::writeString(ini, QStringLiteral("benchGrid1"), QStringLiteral("RowHeight"), QStringLiteral("300"));

    const std::shared_ptr<ResultSet> lines = makeLines(rows);
    const long dataKiB = peakKiB();

    QWidget window;
    window.setObjectName(QStringLiteral("bench"));
    auto *layout = new QVBoxLayout(&window);
    auto *grid = new FlexGrid(&window);
    grid->setObjectName(QStringLiteral("Grid1"));
    layout->addWidget(grid);
    window.resize(1200, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Kesto_VSFlexgrid wrapper;
    wrapper.Grid(grid, ini, true, QString(), QString(), true, QString(), false, false);
    grid->setDataMode(FlexGrid::BoundBatch);

    const auto unbind = [&] {
        grid->setDataSource(nullptr);
        QCoreApplication::processEvents();
    };
    const auto drawn = [&] { grid->viewport()->repaint(); };

    const double bind = bestOf3(unbind, [&] {
        grid->setDataSource(lines);
        QCoreApplication::processEvents();
        drawn();
    });

    // The header of the name column (texts of mixed Chinese and digits).
    QHeaderView *header = grid->horizontalHeader();
    const int section = 2;
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
    const double sort = bestOf3(
        [&] {
            grid->setDataSource(lines);
            QCoreApplication::processEvents();
        },
        [&] {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            QCoreApplication::processEvents();
            drawn();
        });
    const QString first = grid->textMatrix(1, 3);

    const double scroll = bestOf3([&] { grid->setTopRow(grid->fixedRows()); },
                                  [&] {
                                      grid->setTopRow(grid->rows() - 1);
                                      QCoreApplication::processEvents();
                                      drawn();
                                  });

    std::printf("bench_grid: %d rows x %d columns (bound result set, grid wrapper)\n", rows, kCols);
    std::printf("  bind + first paint      %9.1f ms (best of 3)\n", bind);
    std::printf("  header-click sort       %9.1f ms (best of 3; first row now %s)\n", sort, qPrintable(first));
    std::printf("  scroll to the last row  %9.1f ms (best of 3)\n", scroll);
    std::printf("  peak memory             %9.1f MiB (before the grid, with the result set: %.1f MiB)\n",
                peakKiB() / 1024.0, dataKiB / 1024.0);
    Bench::report(QStringLiteral("grid bind + one sort, %1 rows (best of 3)").arg(rows), bind + sort, 0, 0,
                  rows >= 1000000 ? 1000 : 0);
    return 0;
}
