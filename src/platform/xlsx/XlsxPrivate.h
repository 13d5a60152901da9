#pragma once

// Internals shared by the xlsx sources; not part of the platform interface.

#include "platform/xlsx/XlsxWorkbook.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace xlsx {

inline const QString kMainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
inline const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
inline const QString kPackageRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
inline const QString kContentTypesNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types");

// ---- attributes ------------------------------------------------------------

using Attr = std::pair<QString, QString>; // qualified name, value
using AttrList = QList<Attr>;

QString attrValue(const AttrList &attrs, const QString &name, const QString &fallback = QString());
void setAttr(AttrList &attrs, const QString &name, const QString &value);
void removeAttr(AttrList &attrs, const QString &name);
AttrList readAttributes(const QXmlStreamReader &reader);
void writeAttributes(QXmlStreamWriter &writer, const AttrList &attrs);
// Emits markup verbatim (writeDTD writes its argument unchanged); used for
// fragments we keep without modelling them.
void writeRaw(QXmlStreamWriter &writer, const QString &markup);
QString formatNumber(double value);

// ---- a part whose root children are either modelled or kept verbatim -------

class XmlPart
{
public:
    struct Child
    {
        QString name; // local name
        QString raw;  // verbatim markup; null for a managed child
        bool managed = false;
    };

    // Reads xml; each root child named in managed is handed to onManaged with
    // the reader on its start element (it must consume the element), every
    // other child is kept verbatim.
    bool parse(const QString &xml, const QStringList &managed, const std::function<bool(QXmlStreamReader &)> &onManaged,
               QString *error);
    // Makes sure a managed placeholder exists, placed by schemaOrder.
    void ensureManaged(const QString &name, const QStringList &schemaOrder);
    QByteArray write(const std::function<void(QXmlStreamWriter &, const QString &)> &writeManaged) const;

    QString qname(const QString &local) const { return m_prefix.isEmpty() ? local : m_prefix + u':' + local; }
    // Prefix bound to a namespace in the root, declaring it as fallback when missing.
    QString prefixFor(const QString &uri, const QString &fallback);
    void setRoot(const QString &localName, const QString &defaultNs);
    bool hasChild(const QString &name) const;

    QString m_rootName;    // local name
    QString m_prefix;      // prefix of the root element (usually empty)
    AttrList m_namespaces; // prefix ("" for default), uri
    AttrList m_rootAttrs;
    QList<Child> m_children;
};

// ---- formula references ----------------------------------------------------

struct RefToken
{
    enum Kind { Cell, Area, Columns, Rows };
    Kind kind = Cell;
    QString prefix; // "Sheet1!" or "'My sheet'!" as written; empty when none
    QString sheet;  // unquoted sheet name; empty when none
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    bool r1Abs = false, c1Abs = false, r2Abs = false, c2Abs = false;
    qsizetype start = 0; // position of the token (prefix included) in the text
    qsizetype length = 0;
};

QString formatRefBody(const RefToken &ref);
// Calls edit for each reference in formula text and splices in what it returns.
QString rewriteReferences(const QString &formula,
                          const std::function<QString(const RefToken &, const QString &)> &edit);
QList<RefToken> findReferences(const QString &formula);
QString quoteSheetName(const QString &name);

// ownerSheet is the sheet a formula lives on (unprefixed references point to
// it); empty for defined names.
QString insertRowsInFormula(const QString &formula, const QString &ownerSheet, const QString &targetSheet, int firstRow,
                            int count);
QString removeColumnInFormula(const QString &formula, const QString &ownerSheet, const QString &targetSheet,
                              int column);
QString offsetFormula(const QString &formula, int rowOffset, int columnOffset);
QString renameSheetInFormula(const QString &formula, const QString &oldName, const QString &newName);

// ---- styles ------------------------------------------------------------------

class XlsxStyles
{
public:
    struct Node
    {
        QString name;
        AttrList attrs;
        bool operator==(const Node &) const = default;
    };
    struct Font
    {
        QList<Node> children; // b, i, sz, color, name …
        bool operator==(const Font &) const = default;
    };
    struct Xf
    {
        AttrList attrs;
        AttrList alignment;
        bool hasAlignment = false;
        QList<Node> otherChildren; // protection
        bool operator==(const Xf &) const = default;
    };

    static XlsxStyles defaults();
    bool parse(const QString &xml, QString *error);
    QByteArray write() const;

    QString numberFormat(int xf) const;
    int withNumberFormat(int xf, const QString &code);
    bool isBold(int xf) const;
    int withBold(int xf, bool bold);
    double fontSize(int xf) const;
    int withFontSize(int xf, double size);
    QString alignment(int xf, const QString &attribute) const;
    int withAlignment(int xf, const QString &attribute, const QString &value);

private:
    Xf xfAt(int xf) const;
    Font fontOf(const Xf &xf) const;
    int addFont(const Font &font);
    int addXf(const Xf &xf);

    XmlPart m_part;
    QMap<int, QString> m_numFmts; // custom formats by id
    QList<Font> m_fonts;
    QList<Xf> m_xfs;
};

// ---- strings -------------------------------------------------------------------

// Text of shared and inline strings escapes what XML cannot carry as _xHHHH_.
QString decodeStringItem(const QString &text);
QString encodeStringItem(const QString &text);
// Reads a <si> or <is> element of xml: its text, and its inner markup when
// it holds formatted runs.
void readStringItem(QXmlStreamReader &reader, const QString &xml, QString *text, QString *rich);

// ---- zip ---------------------------------------------------------------------

struct ZipEntry
{
    QString name;
    QByteArray data;
    // When set, the part is made while the archive is written, piece by
    // piece, instead of from data: each call answers the next piece, an
    // empty one at the end. Parts are made in archive order.
    std::function<QByteArray()> produce;
};

bool readZip(const QString &path, QList<ZipEntry> *entries, QString *error);

// Shared strings met while streamed rows are written: they follow the table
// built from the cells held in memory, whose indexes they take into account.
struct StreamedStrings
{
    int base = 0;               // strings of cells held in memory
    QHash<QString, int> byText; // strings of streamed cells, by text
    QStringList added;          // new ones, in index order
    qint64 references = 0;      // streamed cells referring to the table
    int index(const QString &text, const QHash<QString, int> &sharedIndex);
};
// Writes to a temporary file beside path and renames it over path.
bool writeZip(const QString &path, const QList<ZipEntry> &entries, QString *error);

} // namespace xlsx

// ---- the model behind XlsxSheet and XlsxWorkbook -------------------------------

class XlsxSheetPrivate
{
public:
    struct Cell
    {
        XlsxSheet::CellType type = XlsxSheet::CellType::Empty;
        QString value;   // as stored in <v>, or the text of a string
        QString richXml; // runs of a formatted string, kept verbatim
        int style = 0;
        QString formula; // without '='; empty when none
        xlsx::AttrList formulaAttrs;
        xlsx::AttrList otherAttrs;
    };
    struct Row
    {
        xlsx::AttrList attrs; // ht, customHeight, s, customFormat …
        QMap<int, Cell> cells;
    };

    // Rows written straight into the file on save (XlsxSheet::streamRows).
    struct Stream
    {
        int firstRow = 0;
        int count = 0;
        int firstColumn = 0;
        int lastColumn = 0;
        XlsxSheet::RowFill fill;
        bool holds(int row) const { return count > 0 && row >= firstRow && row < firstRow + count; }
    };

    explicit XlsxSheetPrivate(XlsxWorkbook *workbook) : m_workbook(workbook) {}

    bool parse(const QString &xml, const QStringList &sharedStrings, const QStringList &sharedRich, bool richUsable,
               QString *error);
    void initEmpty();
    QByteArray write(const QHash<QString, int> &sharedIndex) const;
    // The part of a sheet with streamed rows, made piece by piece; strings of
    // streamed cells join the shared string table as they are met.
    std::function<QByteArray()> streamedWriter(const QHash<QString, int> &sharedIndex,
                                               std::shared_ptr<xlsx::StreamedStrings> strings) const;

    int effectiveStyle(int row, int column) const;
    Cell &cellAt(int row, int column);
    const Cell *findCell(int row, int column) const;
    bool applyStyle(int row, int column, const std::function<int(int)> &derive);
    bool hasFormulas() const;
    void rewriteFormulas(const std::function<QString(const QString &)> &rewrite);

    XlsxWorkbook *m_workbook;
    QString m_name;
    QString m_partName; // "xl/worksheets/sheet1.xml"
    QMap<int, Row> m_rows;
    QMap<int, xlsx::AttrList> m_columns; // per column: width, customWidth, style, hidden …
    QList<XlsxRange> m_merges;
    xlsx::XmlPart m_part;
    Stream m_stream;

private:
    bool parseSheetData(QXmlStreamReader &reader, const QString &xml, const QStringList &sharedStrings,
                        const QStringList &sharedRich, bool richUsable);
    bool parseCols(QXmlStreamReader &reader);
    bool parseMerges(QXmlStreamReader &reader);
    void unshareFormulas();
    // split, when given, receives the output position where streamed rows go.
    void writeSheetData(QXmlStreamWriter &w, const QHash<QString, int> &sharedIndex, qint64 *split = nullptr) const;
    XlsxRange usedRange() const;
    QByteArray writePart(const QHash<QString, int> &sharedIndex, qint64 *split) const;
    void writeCols(QXmlStreamWriter &w) const;
};

namespace xlsx {
// Identity of a string cell in the shared string table.
QString sharedStringKey(const XlsxSheetPrivate::Cell &cell);
} // namespace xlsx

class XlsxWorkbookPrivate
{
public:
    struct Relationship
    {
        QString id;
        QString type;
        QString target;
        QString targetMode;
    };
    struct SheetEntry
    {
        QString name;
        xlsx::AttrList attrs; // sheetId, state, r:id … (name kept apart)
        QString relId;
        XlsxSheet *sheet = nullptr; // nullptr for chart sheets and the like
    };
    struct DefinedName
    {
        QString name;
        QString text;
        xlsx::AttrList attrs; // localSheetId, hidden, comment …
    };

    explicit XlsxWorkbookPrivate(XlsxWorkbook *q) : q(q) {}

    void reset();
    void createNew();
    bool load(const QString &path);
    QByteArray writeWorkbookXml() const;
    QByteArray writeRelationships() const;
    QByteArray writeContentTypes() const;
    QString resolveTarget(const QString &target) const;
    QString relativeTarget(const QString &partName) const;
    QString newRelId() const;
    QString newPartName(const QString &pattern) const;
    int findDefinedName(const QString &name) const;
    void rewriteAllFormulas(const std::function<QString(const QString &formula, const QString &ownerSheet)> &rewrite);
    bool fail(const QString &message);

    XlsxWorkbook *q;
    QString m_error;
    QList<xlsx::ZipEntry> m_entries; // every part as read, in archive order
    QString m_workbookPart;          // "xl/workbook.xml"
    xlsx::XmlPart m_workbookXml;
    QList<Relationship> m_rels;        // of the workbook part
    xlsx::AttrList m_contentDefaults;  // extension, content type
    xlsx::AttrList m_contentOverrides; // part name, content type
    QList<SheetEntry> m_sheets;
    std::vector<std::unique_ptr<XlsxSheet>> m_ownedSheets;
    QList<DefinedName> m_names;
    xlsx::AttrList m_calcPr;
    xlsx::XlsxStyles m_styles;
    QString m_stylesPart;
    QString m_sharedStringsPart;
};
