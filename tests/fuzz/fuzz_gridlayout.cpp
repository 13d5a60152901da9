// The grid layout on any settings file: read the layout lines of one grid,
// write a line back and read it again, and put the layout onto a real grid.
#include "FuzzSupport.h"

#include "grid/GridLayout.h"
#include "platform/ui/FlexGrid.h"

#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: the fuzzer ends with exit(), after Qt's own statics
    // that a QApplication destructor would still use.
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = fuzz::tempPath("layout.ini");
    if (!fuzz::writeFile(path, bytes))
        return 0;
    GridLayout layout;
    ClearGridLayout(layout);
    LoadGridLayout(QStringLiteral("mmss40B"), QStringLiteral("Grid1"), layout, path);
    QFile::remove(path);

    for (int i = 0; i < GridLayoutCount(layout); ++i) {
        // A stored line read back gives the same line again.
        const QString line = GridLayoutLine(layout[i]);
        GridLayoutEntry again;
        ParseGridLayoutLine(line, again);
        if (GridLayoutLine(again) != line)
            __builtin_trap();
    }
    // Each line of the file also as one layout line on its own.
    for (const QByteArray &raw : bytes.split('\n')) {
        GridLayoutEntry e;
        ParseGridLayoutLine(QString::fromUtf8(raw), e);
        GridLayoutLine(e);
    }

    FlexGrid grid;
    grid.setRows(2);
    ApplyGridLayout(grid, layout, false);
    FlexGrid variant;
    variant.setRows(2);
    variant.setCols(3);
    ApplyGridLayout(variant, layout, true);
    return 0;
}
