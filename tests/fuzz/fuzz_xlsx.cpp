// The workbook reader on any file. An input that starts as a zip file is
// opened as it is; any other input is taken as the XML of the first
// worksheet (and, after a byte 0x01, of the shared strings and then of the
// workbook part) and packed into an otherwise valid workbook, so that the
// mutations reach the XML rather than die at the zip's checksums.
#include "FuzzSupport.h"

#include "platform/xlsx/XlsxWorkbook.h"

#include <zip.h>

#include <QList>

namespace {

const char kMain[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

QByteArray contentTypes()
{
    return "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
           "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
           "<Override PartName=\"/xl/sharedStrings.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
           "</Types>";
}

QByteArray packageRels()
{
    return "<?xml version=\"1.0\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
           "Target=\"xl/workbook.xml\"/></Relationships>";
}

QByteArray workbookRels()
{
    return "<?xml version=\"1.0\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
           "Target=\"worksheets/sheet1.xml\"/>"
           "<Relationship Id=\"rId2\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
           "Target=\"sharedStrings.xml\"/></Relationships>";
}

QByteArray defaultWorkbook()
{
    return QByteArray("<?xml version=\"1.0\"?><workbook xmlns=\"") + kMain +
           "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
           "<definedNames><definedName name=\"DetailBegin\">Sheet1!$A$3</definedName></definedNames></workbook>";
}

bool writePackage(const QString &path, const QByteArray &input)
{
    const QList<QByteArray> parts = input.split('\x01');
    const QList<QPair<const char *, QByteArray>> files = {
        {"[Content_Types].xml", contentTypes()},
        {"_rels/.rels", packageRels()},
        {"xl/_rels/workbook.xml.rels", workbookRels()},
        {"xl/worksheets/sheet1.xml", parts.value(0)},
        {"xl/sharedStrings.xml", parts.value(1)},
        {"xl/workbook.xml", parts.size() > 2 ? parts.at(2) : defaultWorkbook()},
    };
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return false;
    QList<QByteArray> keep; // libzip reads the buffers at zip_close
    for (const auto &[name, bytes] : files) {
        keep << bytes;
        zip_source_t *source = zip_source_buffer(archive, keep.last().constData(), zip_uint64_t(keep.last().size()), 0);
        if (!source || zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

void readAll(XlsxWorkbook &book)
{
    for (int s = 0; s < book.sheetCount(); ++s) {
        XlsxSheet *sheet = book.sheet(s);
        const int rows = std::min(sheet->lastRow(), 200);
        const int cols = std::min(sheet->lastColumn(), 50);
        for (int r = 1; r <= rows; ++r) {
            for (int c = 1; c <= cols; ++c) {
                sheet->value(r, c);
                sheet->text(r, c);
                sheet->formula(r, c);
                sheet->numberFormat(r, c);
                sheet->isBold(r, c);
                sheet->fontSize(r, c);
                sheet->horizontalAlignment(r, c);
            }
        }
        for (int c = 1; c <= cols; ++c)
            sheet->columnWidth(c);
        sheet->mergedRanges();
    }
    for (const XlsxDefinedName &n : book.definedNames()) {
        QString sheetName;
        XlsxRange range;
        book.resolveDefinedName(n.name, &sheetName, &range);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = fuzz::tempPath("book.xlsx");
    const bool written = bytes.startsWith("PK") ? fuzz::writeFile(path, bytes) : writePackage(path, bytes);
    if (!written)
        return 0;
    XlsxWorkbook book;
    if (book.open(path)) {
        readAll(book);
        // What was read can be written, and what was written can be read.
        XlsxSheet *first = book.sheet(0);
        if (first) {
            first->insertRowCopies(3, 2);
            first->setText(3, 2, QStringLiteral("A,B"));
        }
        const QString copy = fuzz::tempPath("copy.xlsx");
        if (book.save(copy)) {
            XlsxWorkbook again;
            if (!again.open(copy))
                __builtin_trap();
            readAll(again);
        }
        QFile::remove(copy);
    }
    QFile::remove(path);
    return 0;
}
