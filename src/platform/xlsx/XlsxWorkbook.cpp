#include "platform/xlsx/XlsxPrivate.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

using namespace xlsx;

namespace {

const QString kContentTypesPart = QStringLiteral("[Content_Types].xml");
const QString kRootRelsPart = QStringLiteral("_rels/.rels");
const QString kTypeBase = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
const QString kCtBase = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.");

const QStringList kWorkbookSchemaOrder = {
    QStringLiteral("fileVersion"),    QStringLiteral("fileSharing"),
    QStringLiteral("workbookPr"),     QStringLiteral("workbookProtection"),
    QStringLiteral("bookViews"),      QStringLiteral("sheets"),
    QStringLiteral("functionGroups"), QStringLiteral("externalReferences"),
    QStringLiteral("definedNames"),   QStringLiteral("calcPr"),
    QStringLiteral("oleSize"),        QStringLiteral("customWorkbookViews"),
    QStringLiteral("pivotCaches"),    QStringLiteral("smartTagPr"),
    QStringLiteral("smartTagTypes"),  QStringLiteral("webPublishing"),
    QStringLiteral("fileRecoveryPr"), QStringLiteral("webPublishObjects"),
    QStringLiteral("extLst"),
};
const QStringList kWorkbookManaged = {QStringLiteral("sheets"), QStringLiteral("definedNames"),
                                      QStringLiteral("calcPr")};

bool typeIs(const QString &type, const QString &kind)
{
    return type.endsWith(u'/' + kind);
}

QString decodeXml(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(QStringDecoder::Utf16);
        return decoder(bytes);
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

QByteArray rootRelationships()
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("Relationships"));
    w.writeDefaultNamespace(kPackageRelNs);
    w.writeEmptyElement(QStringLiteral("Relationship"));
    w.writeAttribute(QStringLiteral("Id"), QStringLiteral("rId1"));
    w.writeAttribute(QStringLiteral("Type"), kTypeBase + QStringLiteral("officeDocument"));
    w.writeAttribute(QStringLiteral("Target"), QStringLiteral("xl/workbook.xml"));
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

// Reads a flat part: the attributes of every child of the root named element.
QList<AttrList> readFlatChildren(const QByteArray &bytes, const QString &element, QString *error)
{
    QList<AttrList> list;
    QXmlStreamReader r(decodeXml(bytes));
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == element)
            list.append(readAttributes(r));
    }
    if (r.hasError() && error)
        *error = r.errorString();
    return list;
}

} // namespace

// ---- XlsxWorkbookPrivate --------------------------------------------------------

bool XlsxWorkbookPrivate::fail(const QString &message)
{
    m_error = message;
    return false;
}

void XlsxWorkbookPrivate::reset()
{
    m_entries.clear();
    m_workbookPart.clear();
    m_workbookXml = XmlPart();
    m_rels.clear();
    m_contentDefaults.clear();
    m_contentOverrides.clear();
    m_sheets.clear();
    m_ownedSheets.clear();
    m_names.clear();
    m_calcPr.clear();
    m_styles = XlsxStyles::defaults();
    m_stylesPart.clear();
    m_sharedStringsPart.clear();
}

void XlsxWorkbookPrivate::createNew()
{
    reset();
    m_entries.append(ZipEntry{kRootRelsPart, rootRelationships(), {}});
    m_workbookPart = QStringLiteral("xl/workbook.xml");
    m_workbookXml.setRoot(QStringLiteral("workbook"), kMainNs);
    m_workbookXml.m_namespaces.append({QStringLiteral("r"), kRelNs});
    m_workbookXml.m_children.append(
        {QStringLiteral("bookViews"),
         QStringLiteral("<bookViews><workbookView xWindow=\"0\" yWindow=\"0\" windowWidth=\"16000\" "
                        "windowHeight=\"9000\"/></bookViews>"),
         false});
    for (const QString &name : kWorkbookManaged)
        m_workbookXml.ensureManaged(name, kWorkbookSchemaOrder);
    m_contentDefaults = {
        {QStringLiteral("rels"), QStringLiteral("application/vnd.openxmlformats-package.relationships+xml")},
        {QStringLiteral("xml"), QStringLiteral("application/xml")}};
    m_contentOverrides = {{u'/' + m_workbookPart, kCtBase + QStringLiteral("sheet.main+xml")}};
    q->addSheet(QStringLiteral("Sheet1"));
}

QString XlsxWorkbookPrivate::resolveTarget(const QString &target) const
{
    if (target.startsWith(u'/'))
        return target.mid(1);
    const QString dir = QFileInfo(m_workbookPart).path();
    return QDir::cleanPath(dir == u"." ? target : dir + u'/' + target);
}

QString XlsxWorkbookPrivate::relativeTarget(const QString &partName) const
{
    const QString dir = QFileInfo(m_workbookPart).path() + u'/';
    return partName.startsWith(dir) ? partName.mid(dir.size()) : u'/' + partName;
}

QString XlsxWorkbookPrivate::newRelId() const
{
    int highest = 0;
    static const QRegularExpression numbered(QStringLiteral("^rId(\\d+)$"));
    for (const Relationship &rel : m_rels) {
        const QRegularExpressionMatch m = numbered.match(rel.id);
        if (m.hasMatch())
            highest = std::max(highest, m.captured(1).toInt());
    }
    return QStringLiteral("rId") + QString::number(highest + 1);
}

QString XlsxWorkbookPrivate::newPartName(const QString &pattern) const
{
    for (int n = 1;; ++n) {
        const QString name = pattern.arg(n);
        bool taken = false;
        for (const ZipEntry &e : m_entries)
            taken = taken || e.name.compare(name, Qt::CaseInsensitive) == 0;
        for (const SheetEntry &s : m_sheets)
            taken = taken || (s.sheet && s.sheet->d->m_partName.compare(name, Qt::CaseInsensitive) == 0);
        if (!taken)
            return name;
    }
}

int XlsxWorkbookPrivate::findDefinedName(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void XlsxWorkbookPrivate::rewriteAllFormulas(
    const std::function<QString(const QString &formula, const QString &ownerSheet)> &rewrite)
{
    for (const SheetEntry &entry : m_sheets) {
        if (entry.sheet) {
            const QString owner = entry.name;
            entry.sheet->d->rewriteFormulas([&](const QString &f) { return rewrite(f, owner); });
        }
    }
    for (DefinedName &name : m_names)
        name.text = rewrite(name.text, QString());
}

bool XlsxWorkbookPrivate::load(const QString &path)
{
    reset();
    QString error;
    if (!readZip(path, &m_entries, &error))
        return fail(error);
    auto entryData = [this](const QString &name, bool *found = nullptr) {
        for (const ZipEntry &e : m_entries) {
            if (e.name == name) {
                if (found)
                    *found = true;
                return e.data;
            }
        }
        if (found)
            *found = false;
        return QByteArray();
    };
    auto partError = [&](const QString &part) {
        return fail(QStringLiteral("%1: damaged part %2: %3").arg(path, part, error));
    };

    bool found = false;
    const QByteArray types = entryData(kContentTypesPart, &found);
    if (!found)
        return fail(QStringLiteral("%1 is not a workbook (no content types)").arg(path));
    for (const AttrList &a : readFlatChildren(types, QStringLiteral("Default"), &error))
        m_contentDefaults.append(
            {attrValue(a, QStringLiteral("Extension")), attrValue(a, QStringLiteral("ContentType"))});
    for (const AttrList &a : readFlatChildren(types, QStringLiteral("Override"), &error))
        m_contentOverrides.append(
            {attrValue(a, QStringLiteral("PartName")), attrValue(a, QStringLiteral("ContentType"))});
    if (!error.isEmpty())
        return partError(kContentTypesPart);

    for (const AttrList &a : readFlatChildren(entryData(kRootRelsPart), QStringLiteral("Relationship"), &error)) {
        if (typeIs(attrValue(a, QStringLiteral("Type")), QStringLiteral("officeDocument"))) {
            const QString target = attrValue(a, QStringLiteral("Target"));
            m_workbookPart = target.startsWith(u'/') ? target.mid(1) : QDir::cleanPath(target);
        }
    }
    if (m_workbookPart.isEmpty())
        return fail(QStringLiteral("%1 is not a workbook (no main part)").arg(path));

    const QFileInfo wbInfo(m_workbookPart);
    const QString relsPart = (wbInfo.path() == u"." ? QString() : wbInfo.path() + u'/') + QStringLiteral("_rels/") +
                             wbInfo.fileName() + QStringLiteral(".rels");
    for (const AttrList &a : readFlatChildren(entryData(relsPart), QStringLiteral("Relationship"), &error)) {
        m_rels.append({attrValue(a, QStringLiteral("Id")), attrValue(a, QStringLiteral("Type")),
                       attrValue(a, QStringLiteral("Target")), attrValue(a, QStringLiteral("TargetMode"))});
    }
    if (!error.isEmpty())
        return partError(relsPart);

    const QByteArray workbookBytes = entryData(m_workbookPart, &found);
    if (!found)
        return fail(QStringLiteral("%1: missing part %2").arg(path, m_workbookPart));
    const bool parsed = m_workbookXml.parse(
        decodeXml(workbookBytes), kWorkbookManaged,
        [this](QXmlStreamReader &r) {
            const auto section = r.name();
            if (section == u"calcPr") {
                m_calcPr = readAttributes(r);
                r.skipCurrentElement();
                return !r.hasError();
            }
            while (r.readNextStartElement()) {
                if (section == u"sheets" && r.name() == u"sheet") {
                    SheetEntry entry;
                    for (const QXmlStreamAttribute &a : r.attributes()) {
                        if (a.namespaceUri() == kRelNs && a.name() == u"id")
                            entry.relId = a.value().toString();
                        else if (a.qualifiedName() == u"name")
                            entry.name = a.value().toString();
                        else
                            entry.attrs.append({a.qualifiedName().toString(), a.value().toString()});
                    }
                    m_sheets.append(entry);
                    r.skipCurrentElement();
                } else if (section == u"definedNames" && r.name() == u"definedName") {
                    DefinedName name;
                    name.attrs = readAttributes(r);
                    name.name = attrValue(name.attrs, QStringLiteral("name"));
                    removeAttr(name.attrs, QStringLiteral("name"));
                    name.text = r.readElementText();
                    m_names.append(name);
                } else {
                    r.skipCurrentElement();
                }
            }
            return !r.hasError();
        },
        &error);
    if (!parsed)
        return partError(m_workbookPart);
    for (const QString &name : kWorkbookManaged) {
        if (name != u"calcPr")
            m_workbookXml.ensureManaged(name, kWorkbookSchemaOrder);
    }

    QStringList sharedStrings;
    QStringList sharedRich;
    bool richUsable = true;
    for (const Relationship &rel : std::as_const(m_rels)) {
        if (typeIs(rel.type, QStringLiteral("styles"))) {
            m_stylesPart = resolveTarget(rel.target);
            if (!m_styles.parse(decodeXml(entryData(m_stylesPart)), &error))
                return partError(m_stylesPart);
        } else if (typeIs(rel.type, QStringLiteral("sharedStrings"))) {
            m_sharedStringsPart = resolveTarget(rel.target);
            const QString xml = decodeXml(entryData(m_sharedStringsPart));
            QXmlStreamReader r(xml);
            while (!r.atEnd()) {
                r.readNext();
                if (r.isStartElement() && r.name() == u"sst")
                    richUsable = r.prefix().isEmpty();
                if (r.isStartElement() && r.name() == u"si") {
                    QString text;
                    QString rich;
                    readStringItem(r, xml, &text, &rich);
                    sharedStrings.append(text);
                    sharedRich.append(rich);
                }
            }
            if (r.hasError()) {
                error = r.errorString();
                return partError(m_sharedStringsPart);
            }
        }
    }

    for (SheetEntry &entry : m_sheets) {
        const auto rel =
            std::find_if(m_rels.cbegin(), m_rels.cend(), [&](const Relationship &r) { return r.id == entry.relId; });
        if (rel == m_rels.cend() || !typeIs(rel->type, QStringLiteral("worksheet")))
            continue; // chart and dialog sheets travel as they are
        auto sheet = std::unique_ptr<XlsxSheet>(new XlsxSheet(q));
        sheet->d->m_name = entry.name;
        sheet->d->m_partName = resolveTarget(rel->target);
        if (!sheet->d->parse(decodeXml(entryData(sheet->d->m_partName)), sharedStrings, sharedRich, richUsable, &error))
            return partError(sheet->d->m_partName);
        entry.sheet = sheet.get();
        m_ownedSheets.push_back(std::move(sheet));
    }
    return true;
}

QByteArray XlsxWorkbookPrivate::writeWorkbookXml() const
{
    const XmlPart &part = m_workbookXml;
    QString relPrefix;
    for (const Attr &ns : part.m_namespaces) {
        if (ns.second == kRelNs && !ns.first.isEmpty())
            relPrefix = ns.first;
    }
    return part.write([&](QXmlStreamWriter &w, const QString &name) {
        if (name == u"sheets") {
            w.writeStartElement(part.qname(name));
            for (const SheetEntry &s : m_sheets) {
                w.writeEmptyElement(part.qname(QStringLiteral("sheet")));
                w.writeAttribute(QStringLiteral("name"), s.name);
                writeAttributes(w, s.attrs);
                w.writeAttribute(relPrefix + QStringLiteral(":id"), s.relId);
            }
            w.writeEndElement();
        } else if (name == u"definedNames" && !m_names.isEmpty()) {
            w.writeStartElement(part.qname(name));
            for (const DefinedName &n : m_names) {
                w.writeStartElement(part.qname(QStringLiteral("definedName")));
                w.writeAttribute(QStringLiteral("name"), n.name);
                writeAttributes(w, n.attrs);
                w.writeCharacters(n.text);
                w.writeEndElement();
            }
            w.writeEndElement();
        } else if (name == u"calcPr") {
            w.writeEmptyElement(part.qname(name));
            writeAttributes(w, m_calcPr);
        }
    });
}

QByteArray XlsxWorkbookPrivate::writeRelationships() const
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("Relationships"));
    w.writeDefaultNamespace(kPackageRelNs);
    for (const Relationship &rel : m_rels) {
        w.writeEmptyElement(QStringLiteral("Relationship"));
        w.writeAttribute(QStringLiteral("Id"), rel.id);
        w.writeAttribute(QStringLiteral("Type"), rel.type);
        w.writeAttribute(QStringLiteral("Target"), rel.target);
        if (!rel.targetMode.isEmpty())
            w.writeAttribute(QStringLiteral("TargetMode"), rel.targetMode);
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

QByteArray XlsxWorkbookPrivate::writeContentTypes() const
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("Types"));
    w.writeDefaultNamespace(kContentTypesNs);
    for (const Attr &a : m_contentDefaults) {
        w.writeEmptyElement(QStringLiteral("Default"));
        w.writeAttribute(QStringLiteral("Extension"), a.first);
        w.writeAttribute(QStringLiteral("ContentType"), a.second);
    }
    for (const Attr &a : m_contentOverrides) {
        w.writeEmptyElement(QStringLiteral("Override"));
        w.writeAttribute(QStringLiteral("PartName"), a.first);
        w.writeAttribute(QStringLiteral("ContentType"), a.second);
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

// ---- XlsxWorkbook -----------------------------------------------------------------

XlsxWorkbook::XlsxWorkbook() : d(std::make_unique<XlsxWorkbookPrivate>(this))
{
    d->createNew();
}

XlsxWorkbook::~XlsxWorkbook() = default;

bool XlsxWorkbook::open(const QString &path)
{
    d->m_error.clear();
    if (d->load(path))
        return true;
    const QString error = d->m_error;
    d->createNew();
    d->m_error = error;
    return false;
}

bool XlsxWorkbook::save(const QString &path)
{
    d->m_error.clear();
    const QString ctBase = kCtBase;

    // The shared string table is rebuilt from the cells.
    QHash<QString, int> sharedIndex;
    QList<const XlsxSheetPrivate::Cell *> sharedCells;
    int references = 0;
    bool formulas = false;
    bool streaming = false;
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (!entry.sheet)
            continue;
        const XlsxSheetPrivate &sheet = *entry.sheet->d;
        formulas = formulas || sheet.hasFormulas();
        streaming = streaming || sheet.m_stream.count > 0;
        for (auto row = sheet.m_rows.cbegin(); row != sheet.m_rows.cend(); ++row) {
            if (sheet.m_stream.holds(row.key()))
                continue; // left out for the streamed rows
            for (const XlsxSheetPrivate::Cell &cell : row->cells) {
                if (cell.type != XlsxSheet::CellType::Text || !cell.formula.isEmpty())
                    continue;
                ++references;
                const QString key = sharedStringKey(cell);
                if (!sharedIndex.contains(key)) {
                    sharedIndex.insert(key, int(sharedCells.size()));
                    sharedCells.append(&cell);
                }
            }
        }
    }
    // Strings of streamed rows are met only while their sheet is written, so
    // the table is then made after the sheets, as the last part of the file.
    const auto strings = std::make_shared<StreamedStrings>();
    strings->base = int(sharedCells.size());
    const auto writeSharedStrings = [sharedCells, references, strings] {
        QByteArray sst;
        QXmlStreamWriter w(&sst);
        w.writeStartDocument(QStringLiteral("1.0"), true);
        w.writeStartElement(QStringLiteral("sst"));
        w.writeDefaultNamespace(kMainNs);
        w.writeAttribute(QStringLiteral("count"), QString::number(references + strings->references));
        w.writeAttribute(QStringLiteral("uniqueCount"), QString::number(sharedCells.size() + strings->added.size()));
        const auto writeItem = [&w](const QString &value) {
            w.writeStartElement(QStringLiteral("t"));
            const QString text = encodeStringItem(value);
            if (text != text.trimmed() || text.contains(u'\n'))
                w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
            w.writeCharacters(text);
            w.writeEndElement();
        };
        for (const XlsxSheetPrivate::Cell *cell : std::as_const(sharedCells)) {
            w.writeStartElement(QStringLiteral("si"));
            if (!cell->richXml.isEmpty())
                writeRaw(w, cell->richXml);
            else
                writeItem(cell->value);
            w.writeEndElement();
        }
        for (const QString &text : std::as_const(strings->added)) {
            w.writeStartElement(QStringLiteral("si"));
            writeItem(text);
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeEndDocument();
        return sst;
    };

    // Parts every saved workbook has, and their relationships and types.
    auto ensurePart = [&](QString *part, const QString &defaultName, const QString &relType, const QString &type) {
        if (part->isEmpty())
            *part = defaultName;
        const bool related =
            std::any_of(d->m_rels.cbegin(), d->m_rels.cend(), [&](const auto &r) { return typeIs(r.type, relType); });
        if (!related)
            d->m_rels.append({d->newRelId(), kTypeBase + relType, d->relativeTarget(*part), QString()});
        const QString partName = u'/' + *part;
        if (!std::any_of(d->m_contentOverrides.cbegin(), d->m_contentOverrides.cend(),
                         [&](const Attr &a) { return a.first == partName; }))
            d->m_contentOverrides.append({partName, ctBase + type});
    };
    ensurePart(&d->m_stylesPart, QStringLiteral("xl/styles.xml"), QStringLiteral("styles"),
               QStringLiteral("styles+xml"));
    ensurePart(&d->m_sharedStringsPart, QStringLiteral("xl/sharedStrings.xml"), QStringLiteral("sharedStrings"),
               QStringLiteral("sharedStrings+xml"));

    // The calculation chain lists formula cells by address; it is stale once
    // rows move, and readers rebuild it when it is missing.
    QStringList dropped;
    for (const auto &rel : std::as_const(d->m_rels)) {
        if (typeIs(rel.type, QStringLiteral("calcChain")))
            dropped << d->resolveTarget(rel.target);
    }
    d->m_rels.removeIf([](const auto &r) { return typeIs(r.type, QStringLiteral("calcChain")); });
    d->m_contentOverrides.removeIf([&](const Attr &a) { return dropped.contains(a.first.mid(1)); });
    if (formulas) {
        d->m_workbookXml.ensureManaged(QStringLiteral("calcPr"), kWorkbookSchemaOrder);
        setAttr(d->m_calcPr, QStringLiteral("fullCalcOnLoad"), QStringLiteral("1"));
    }
    bool hasRelPrefix = false;
    for (const Attr &ns : d->m_workbookXml.m_namespaces)
        hasRelPrefix = hasRelPrefix || (ns.second == kRelNs && !ns.first.isEmpty());
    if (!hasRelPrefix)
        d->m_workbookXml.prefixFor(kRelNs, QStringLiteral("r"));

    QHash<QString, QByteArray> generated;
    QHash<QString, std::function<QByteArray()>> produced; // made while the file is written
    generated.insert(d->m_workbookPart, d->writeWorkbookXml());
    if (streaming) {
        bool done = false;
        produced.insert(d->m_sharedStringsPart, [writeSharedStrings, done]() mutable {
            return std::exchange(done, true) ? QByteArray() : writeSharedStrings();
        });
        generated.insert(d->m_sharedStringsPart, QByteArray());
    } else {
        generated.insert(d->m_sharedStringsPart, writeSharedStrings());
    }
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (!entry.sheet)
            continue;
        const XlsxSheetPrivate &sheet = *entry.sheet->d;
        if (sheet.m_stream.count > 0) {
            produced.insert(sheet.m_partName, sheet.streamedWriter(sharedIndex, strings));
            generated.insert(sheet.m_partName, QByteArray());
        } else {
            generated.insert(sheet.m_partName, sheet.write(sharedIndex));
        }
    }
    // Streamed rows may bring new formats: the style sheet is made once they are known.
    if (streaming) {
        bool done = false;
        produced.insert(d->m_stylesPart, [this, done]() mutable {
            return std::exchange(done, true) ? QByteArray() : d->m_styles.write();
        });
        generated.insert(d->m_stylesPart, QByteArray());
    } else {
        generated.insert(d->m_stylesPart, d->m_styles.write());
    }
    const QFileInfo wbInfo(d->m_workbookPart);
    const QString relsPart = (wbInfo.path() == u"." ? QString() : wbInfo.path() + u'/') + QStringLiteral("_rels/") +
                             wbInfo.fileName() + QStringLiteral(".rels");
    generated.insert(relsPart, d->writeRelationships());

    QList<ZipEntry> out;
    out.append(ZipEntry{kContentTypesPart, d->writeContentTypes(), {}});
    const auto part = [&](const QString &name) { return ZipEntry{name, generated.take(name), produced.take(name)}; };
    for (const ZipEntry &e : std::as_const(d->m_entries)) {
        if (e.name == kContentTypesPart || dropped.contains(e.name))
            continue;
        if (generated.contains(e.name))
            out.append(part(e.name));
        else
            out.append(e);
    }
    QStringList fresh = generated.keys();
    fresh.sort(); // stable archive order for parts that are new
    for (const QString &name : std::as_const(fresh))
        out.append(part(name));
    if (streaming) {
        // Made last: the styles and strings that the streamed rows use.
        for (const QString &name : {d->m_stylesPart, d->m_sharedStringsPart}) {
            const auto at = std::find_if(out.begin(), out.end(), [&](const ZipEntry &e) { return e.name == name; });
            if (at != out.end()) {
                ZipEntry moved = *at;
                out.erase(at);
                out.append(moved);
            }
        }
    }

    QString error;
    const bool written = writeZip(path, out, &error);
    // Streamed rows are written once; their fill may refer to what is gone after this save.
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (entry.sheet)
            entry.sheet->d->m_stream = XlsxSheetPrivate::Stream();
    }
    if (!written)
        return d->fail(error);
    return true;
}

QString XlsxWorkbook::errorString() const
{
    return d->m_error;
}

int XlsxWorkbook::sheetCount() const
{
    return int(d->m_ownedSheets.size());
}

QStringList XlsxWorkbook::sheetNames() const
{
    QStringList names;
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (entry.sheet)
            names << entry.name;
    }
    return names;
}

XlsxSheet *XlsxWorkbook::sheet(int index) const
{
    int i = 0;
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (entry.sheet && i++ == index)
            return entry.sheet;
    }
    return nullptr;
}

XlsxSheet *XlsxWorkbook::sheet(const QString &name) const
{
    return sheet(sheetIndex(name));
}

int XlsxWorkbook::sheetIndex(const QString &name) const
{
    int i = 0;
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (!entry.sheet)
            continue;
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
        ++i;
    }
    return -1;
}

XlsxSheet *XlsxWorkbook::addSheet(const QString &name)
{
    if (!isValidSheetName(name)) {
        d->fail(QStringLiteral("invalid sheet name \"%1\"").arg(name));
        return nullptr;
    }
    for (const auto &entry : std::as_const(d->m_sheets)) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            d->fail(QStringLiteral("a sheet named \"%1\" exists already").arg(name));
            return nullptr;
        }
    }
    auto sheet = std::unique_ptr<XlsxSheet>(new XlsxSheet(this));
    sheet->d->initEmpty();
    sheet->d->m_name = name;
    sheet->d->m_partName =
        d->newPartName(QFileInfo(d->m_workbookPart).path() + QStringLiteral("/worksheets/sheet%1.xml"));

    int sheetId = 0;
    for (const auto &entry : std::as_const(d->m_sheets))
        sheetId = std::max(sheetId, attrValue(entry.attrs, QStringLiteral("sheetId")).toInt());
    XlsxWorkbookPrivate::SheetEntry entry;
    entry.name = name;
    entry.attrs = {{QStringLiteral("sheetId"), QString::number(sheetId + 1)}};
    entry.relId = d->newRelId();
    entry.sheet = sheet.get();
    d->m_rels.append(
        {entry.relId, kTypeBase + QStringLiteral("worksheet"), d->relativeTarget(sheet->d->m_partName), QString()});
    d->m_contentOverrides.append({u'/' + sheet->d->m_partName, kCtBase + QStringLiteral("worksheet+xml")});
    d->m_sheets.append(entry);
    d->m_ownedSheets.push_back(std::move(sheet));
    return entry.sheet;
}

QList<XlsxDefinedName> XlsxWorkbook::definedNames() const
{
    QList<XlsxDefinedName> names;
    for (const auto &n : std::as_const(d->m_names)) {
        const QString local = attrValue(n.attrs, QStringLiteral("localSheetId"));
        names.append({n.name, n.text, local.isEmpty() ? -1 : local.toInt()});
    }
    return names;
}

QString XlsxWorkbook::definedNameReference(const QString &name) const
{
    const int i = d->findDefinedName(name);
    return i < 0 ? QString() : d->m_names.at(i).text;
}

bool XlsxWorkbook::resolveDefinedName(const QString &name, QString *sheetName, XlsxRange *range) const
{
    QString text = definedNameReference(name).trimmed();
    if (text.startsWith(u'='))
        text.remove(0, 1);
    if (text.isEmpty() || text.contains(QLatin1String("#REF!")))
        return false;
    const QList<RefToken> refs = findReferences(text);
    if (refs.size() != 1 || refs.first().start != 0 || refs.first().length != text.size())
        return false;
    const RefToken &t = refs.first();
    if (t.sheet.isEmpty() || (t.kind != RefToken::Cell && t.kind != RefToken::Area))
        return false;
    if (sheetName)
        *sheetName = t.sheet;
    if (range)
        *range = XlsxRange(std::min(t.r1, t.r2), std::min(t.c1, t.c2), std::max(t.r1, t.r2), std::max(t.c1, t.c2));
    return true;
}

bool XlsxWorkbook::setDefinedName(const QString &name, const QString &sheetName, const XlsxRange &range)
{
    const XlsxSheet *target = sheet(sheetName);
    if (!target)
        return d->fail(QStringLiteral("no sheet named \"%1\"").arg(sheetName));
    if (!range.isValid())
        return d->fail(QStringLiteral("invalid range for name \"%1\"").arg(name));
    return setDefinedName(name, quoteSheetName(target->name()) + u'!' + range.toString(true));
}

bool XlsxWorkbook::setDefinedName(const QString &name, const QString &refersTo)
{
    if (!isValidDefinedName(name))
        return d->fail(QStringLiteral("invalid defined name \"%1\"").arg(name));
    QString text = refersTo.trimmed();
    if (text.startsWith(u'='))
        text.remove(0, 1);
    if (text.isEmpty())
        return d->fail(QStringLiteral("empty reference for name \"%1\"").arg(name));
    for (auto &n : d->m_names) {
        if (n.name.compare(name, Qt::CaseInsensitive) == 0 &&
            attrValue(n.attrs, QStringLiteral("localSheetId")).isEmpty()) {
            n.text = text;
            return true;
        }
    }
    d->m_names.append({name, text, {}});
    return true;
}

bool XlsxWorkbook::removeDefinedName(const QString &name)
{
    return d->m_names.removeIf([&](const auto &n) { return n.name.compare(name, Qt::CaseInsensitive) == 0; }) > 0;
}

bool XlsxWorkbook::isValidDefinedName(const QString &name)
{
    if (name.isEmpty() || name.size() > 255)
        return false;
    const QChar first = name.front();
    if (!(first.isLetter() || first == u'_' || first == u'\\'))
        return false;
    for (const QChar ch : name) {
        if (!(ch.isLetterOrNumber() || ch == u'_' || ch == u'.' || ch == u'\\'))
            return false;
    }
    // Names must not read as cell references, in either reference style.
    if (XlsxRange::fromString(name).isValid())
        return false;
    static const QRegularExpression r1c1(QStringLiteral("^([Rr]\\d*([Cc]\\d*)?|[Cc]\\d*)$"));
    return !r1c1.match(name).hasMatch();
}

bool XlsxWorkbook::isValidSheetName(const QString &name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\[\\]:*?/\\\\]"));
    return !name.isEmpty() && name.size() <= 31 && !name.contains(forbidden) && !name.startsWith(u'\'') &&
           !name.endsWith(u'\'');
}
