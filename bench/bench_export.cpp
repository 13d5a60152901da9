// Plain Excel export of 100,000 rows x 15 columns: best time of three runs
// and the process's peak memory.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_export [rows]
#include "context/RunContext.h"
#include "grid/ExcelExport.h"
#include "support/BenchHarness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Texts like a line grid's: codes, names, whole and decimal quantities, dates.
ExportTable makeGrid(int dataRows, int dataCols)
{
    ExportTable grid(dataRows + 1, dataCols + 1);
    grid.setText(0, 0, QStringLiteral("No"));
    for (int c = 1; c <= dataCols; ++c) {
        grid.setText(0, c, QStringLiteral("栏位%1").arg(c));
        grid.setColumn(c, 1200, c % 3 == 0 ? 7 : 1, 4, c == 5);
    }
    for (int r = 1; r <= dataRows; ++r) {
        grid.setText(r, 0, QString::number(r));
        for (int c = 1; c <= dataCols; ++c) {
            QString text;
            switch (c % 5) {
            case 0:
                text = QStringLiteral("M-%1").arg(r * 7 % 100000, 6, 10, QLatin1Char('0'));
                break;
            case 1:
                text = QStringLiteral("物料名称%1").arg(r % 997);
                break;
            case 2:
                text = QString::number(r % 1000);
                break;
            case 3:
                text = QString::number((r % 10000) / 8.0, 'f', 3);
                break;
            default:
                text = QStringLiteral("2026-%1-%2").arg(r % 12 + 1).arg(r % 28 + 1);
                break;
            }
            grid.setText(r, c, text);
        }
    }
    return grid;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    constexpr int cols = 15;

    QTemporaryDir dir;
    runContext().App_Path = dir.path(); // no template: the plain export runs
    ExcelExport::setFileOpener([](const QString &) { return true; });

    const ExportTable grid = makeGrid(rows, cols);
    const long gridKiB = peakKiB();
    const QString target = dir.filePath(QStringLiteral("bench.xlsx"));

    qint64 best = -1;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!ExcelExport::Export_Excel(grid,
                                       GridExportInfo{QStringLiteral("mmss40B"), QStringLiteral("Grid1"),
                                                      QStringLiteral("生产领料单"), nullptr},
                                       target)) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        const qint64 ms = timer.elapsed();
        std::printf("run %d: %lld ms\n", run + 1, static_cast<long long>(ms));
        if (best < 0 || ms < best)
            best = ms;
    }
    std::printf("plain export, %d rows x %d columns (one hidden): best of 3 %lld ms, file %lld KiB\n", rows, cols,
                static_cast<long long>(best), static_cast<long long>(QFileInfo(target).size() / 1024));
    std::printf("peak memory %ld MiB (grid texts alone %ld MiB)\n", peakKiB() / 1024, gridKiB / 1024);
    Bench::report(QStringLiteral("plain xlsx export, %1 x %2 cells (best of 3)").arg(rows).arg(cols), double(best), 0,
                  0, rows == 100000 ? 2000 : 0);
    Bench::report(QStringLiteral("plain xlsx export, peak MiB beside the grid's texts (%1 MiB)").arg(gridKiB / 1024),
                  double(peakKiB() - gridKiB) / 1024.0, 0, 0, rows == 100000 ? 200 : 0, QStringLiteral("MiB"));
    return 0;
}
