// The style sheet: number formats, fonts and cell formats are modelled so
// that a cell's format can be derived from its current one; fills, borders,
// named styles and the rest are kept verbatim.

#include "platform/xlsx/XlsxPrivate.h"

namespace xlsx {

namespace {

const QStringList kSchemaOrder = {
    QStringLiteral("numFmts"),      QStringLiteral("fonts"),   QStringLiteral("fills"),      QStringLiteral("borders"),
    QStringLiteral("cellStyleXfs"), QStringLiteral("cellXfs"), QStringLiteral("cellStyles"), QStringLiteral("dxfs"),
    QStringLiteral("tableStyles"),  QStringLiteral("colors"),  QStringLiteral("extLst"),
};

const QString kDefaultStyles = QStringLiteral(
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>");

// Formats every reader knows by id; ids 5-8, 23-36 and 41-44 depend on the
// reader's locale and are not listed.
QString builtinFormat(int id)
{
    switch (id) {
    case 0:
        return QStringLiteral("General");
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 12:
        return QStringLiteral("# ?/?");
    case 13:
        return QStringLiteral("# ?"
                              "?/?"
                              "?"); // split so no trigraph forms
    case 14:
        return QStringLiteral("mm-dd-yy");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 18:
        return QStringLiteral("h:mm AM/PM");
    case 19:
        return QStringLiteral("h:mm:ss AM/PM");
    case 20:
        return QStringLiteral("h:mm");
    case 21:
        return QStringLiteral("h:mm:ss");
    case 22:
        return QStringLiteral("m/d/yy h:mm");
    case 37:
        return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
        return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
        return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40:
        return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 45:
        return QStringLiteral("mm:ss");
    case 46:
        return QStringLiteral("[h]:mm:ss");
    case 47:
        return QStringLiteral("mmss.0");
    case 48:
        return QStringLiteral("##0.0E+0");
    case 49:
        return QStringLiteral("@");
    default:
        return QString();
    }
}

int builtinId(const QString &code)
{
    for (int id = 0; id <= 49; ++id) {
        // Dates and times are written as custom formats so every reader shows
        // the same pattern, whatever its locale does with the built-in ids.
        if (id >= 14 && id <= 22)
            continue;
        if (!code.isEmpty() && builtinFormat(id) == code)
            return id;
    }
    return -1;
}

int intAttr(const AttrList &attrs, const QString &name)
{
    return attrValue(attrs, name, QStringLiteral("0")).toInt();
}

bool readNodes(QXmlStreamReader &r, QList<XlsxStyles::Node> *nodes)
{
    while (r.readNextStartElement()) {
        nodes->append({r.name().toString(), readAttributes(r)});
        r.skipCurrentElement();
    }
    return !r.hasError();
}

} // namespace

XlsxStyles XlsxStyles::defaults()
{
    XlsxStyles styles;
    styles.parse(kDefaultStyles, nullptr);
    return styles;
}

bool XlsxStyles::parse(const QString &xml, QString *error)
{
    m_numFmts.clear();
    m_fonts.clear();
    m_xfs.clear();
    const QStringList managed = {QStringLiteral("numFmts"), QStringLiteral("fonts"), QStringLiteral("cellXfs")};
    const bool ok = m_part.parse(
        xml, managed,
        [this](QXmlStreamReader &r) {
            const auto section = r.name();
            while (r.readNextStartElement()) {
                if (section == u"numFmts" && r.name() == u"numFmt") {
                    const AttrList a = readAttributes(r);
                    m_numFmts.insert(intAttr(a, QStringLiteral("numFmtId")),
                                     attrValue(a, QStringLiteral("formatCode")));
                    r.skipCurrentElement();
                } else if (section == u"fonts" && r.name() == u"font") {
                    Font font;
                    readNodes(r, &font.children);
                    m_fonts.append(font);
                } else if (section == u"cellXfs" && r.name() == u"xf") {
                    Xf xf;
                    xf.attrs = readAttributes(r);
                    QList<Node> children;
                    readNodes(r, &children);
                    for (const Node &n : children) {
                        if (n.name == u"alignment") {
                            xf.hasAlignment = true;
                            xf.alignment = n.attrs;
                        } else {
                            xf.otherChildren.append(n);
                        }
                    }
                    m_xfs.append(xf);
                } else {
                    r.skipCurrentElement();
                }
            }
            return !r.hasError();
        },
        error);
    if (!ok)
        return false;
    for (const QString &name : managed)
        m_part.ensureManaged(name, kSchemaOrder);
    if (m_fonts.isEmpty())
        m_fonts.append(Font{{{QStringLiteral("sz"), {{QStringLiteral("val"), QStringLiteral("11")}}}}});
    return true;
}

QByteArray XlsxStyles::write() const
{
    return m_part.write([this](QXmlStreamWriter &w, const QString &name) {
        auto writeNode = [&](const Node &n) {
            w.writeEmptyElement(m_part.qname(n.name));
            writeAttributes(w, n.attrs);
        };
        if (name == u"numFmts") {
            if (m_numFmts.isEmpty())
                return;
            w.writeStartElement(m_part.qname(name));
            w.writeAttribute(QStringLiteral("count"), QString::number(m_numFmts.size()));
            for (auto it = m_numFmts.cbegin(); it != m_numFmts.cend(); ++it) {
                w.writeEmptyElement(m_part.qname(QStringLiteral("numFmt")));
                w.writeAttribute(QStringLiteral("numFmtId"), QString::number(it.key()));
                w.writeAttribute(QStringLiteral("formatCode"), it.value());
            }
            w.writeEndElement();
        } else if (name == u"fonts") {
            w.writeStartElement(m_part.qname(name));
            w.writeAttribute(QStringLiteral("count"), QString::number(m_fonts.size()));
            for (const Font &f : m_fonts) {
                w.writeStartElement(m_part.qname(QStringLiteral("font")));
                for (const Node &n : f.children)
                    writeNode(n);
                w.writeEndElement();
            }
            w.writeEndElement();
        } else if (name == u"cellXfs") {
            w.writeStartElement(m_part.qname(name));
            const QList<Xf> xfs = m_xfs.isEmpty() ? QList<Xf>{xfAt(0)} : m_xfs;
            w.writeAttribute(QStringLiteral("count"), QString::number(xfs.size()));
            for (const Xf &xf : xfs) {
                w.writeStartElement(m_part.qname(QStringLiteral("xf")));
                writeAttributes(w, xf.attrs);
                if (xf.hasAlignment)
                    writeNode(Node{QStringLiteral("alignment"), xf.alignment});
                for (const Node &n : xf.otherChildren)
                    writeNode(n);
                w.writeEndElement();
            }
            w.writeEndElement();
        }
    });
}

XlsxStyles::Xf XlsxStyles::xfAt(int xf) const
{
    if (xf >= 0 && xf < m_xfs.size())
        return m_xfs.at(xf);
    if (!m_xfs.isEmpty())
        return m_xfs.first();
    Xf plain;
    plain.attrs = {{QStringLiteral("numFmtId"), QStringLiteral("0")},
                   {QStringLiteral("fontId"), QStringLiteral("0")},
                   {QStringLiteral("fillId"), QStringLiteral("0")},
                   {QStringLiteral("borderId"), QStringLiteral("0")},
                   {QStringLiteral("xfId"), QStringLiteral("0")}};
    return plain;
}

XlsxStyles::Font XlsxStyles::fontOf(const Xf &xf) const
{
    const int id = intAttr(xf.attrs, QStringLiteral("fontId"));
    return id >= 0 && id < m_fonts.size() ? m_fonts.at(id) : m_fonts.value(0);
}

int XlsxStyles::addFont(const Font &font)
{
    const qsizetype found = m_fonts.indexOf(font);
    if (found >= 0)
        return int(found);
    m_fonts.append(font);
    return int(m_fonts.size() - 1);
}

int XlsxStyles::addXf(const Xf &xf)
{
    if (m_xfs.isEmpty())
        m_xfs.append(xfAt(0));
    const qsizetype found = m_xfs.indexOf(xf);
    if (found >= 0)
        return int(found);
    m_xfs.append(xf);
    return int(m_xfs.size() - 1);
}

QString XlsxStyles::numberFormat(int xf) const
{
    const int id = intAttr(xfAt(xf).attrs, QStringLiteral("numFmtId"));
    return m_numFmts.contains(id) ? m_numFmts.value(id) : builtinFormat(id);
}

int XlsxStyles::withNumberFormat(int xf, const QString &code)
{
    int id = builtinId(code);
    if (id < 0) {
        for (auto it = m_numFmts.cbegin(); it != m_numFmts.cend() && id < 0; ++it) {
            if (it.value() == code)
                id = it.key();
        }
    }
    if (id < 0) {
        id = 164; // first id free for custom formats
        if (!m_numFmts.isEmpty())
            id = std::max(id, m_numFmts.lastKey() + 1);
        m_numFmts.insert(id, code);
    }
    Xf x = xfAt(xf);
    setAttr(x.attrs, QStringLiteral("numFmtId"), QString::number(id));
    setAttr(x.attrs, QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
    return addXf(x);
}

bool XlsxStyles::isBold(int xf) const
{
    for (const Node &n : fontOf(xfAt(xf)).children) {
        if (n.name == u"b") {
            const QString val = attrValue(n.attrs, QStringLiteral("val"), QStringLiteral("1"));
            return val != u"0" && val != u"false";
        }
    }
    return false;
}

int XlsxStyles::withBold(int xf, bool bold)
{
    Xf x = xfAt(xf);
    Font font = fontOf(x);
    font.children.removeIf([](const Node &n) { return n.name == u"b"; });
    if (bold)
        font.children.prepend(Node{QStringLiteral("b"), {}});
    setAttr(x.attrs, QStringLiteral("fontId"), QString::number(addFont(font)));
    setAttr(x.attrs, QStringLiteral("applyFont"), QStringLiteral("1"));
    return addXf(x);
}

double XlsxStyles::fontSize(int xf) const
{
    for (const Node &n : fontOf(xfAt(xf)).children) {
        if (n.name == u"sz")
            return attrValue(n.attrs, QStringLiteral("val")).toDouble();
    }
    return 11;
}

int XlsxStyles::withFontSize(int xf, double size)
{
    Xf x = xfAt(xf);
    Font font = fontOf(x);
    bool found = false;
    for (Node &n : font.children) {
        if (n.name == u"sz") {
            setAttr(n.attrs, QStringLiteral("val"), formatNumber(size));
            found = true;
        }
    }
    if (!found)
        font.children.append(Node{QStringLiteral("sz"), {{QStringLiteral("val"), formatNumber(size)}}});
    setAttr(x.attrs, QStringLiteral("fontId"), QString::number(addFont(font)));
    setAttr(x.attrs, QStringLiteral("applyFont"), QStringLiteral("1"));
    return addXf(x);
}

QString XlsxStyles::alignment(int xf, const QString &attribute) const
{
    return attrValue(xfAt(xf).alignment, attribute);
}

int XlsxStyles::withAlignment(int xf, const QString &attribute, const QString &value)
{
    Xf x = xfAt(xf);
    if (value.isEmpty())
        removeAttr(x.alignment, attribute);
    else
        setAttr(x.alignment, attribute, value);
    x.hasAlignment = !x.alignment.isEmpty();
    setAttr(x.attrs, QStringLiteral("applyAlignment"), QStringLiteral("1"));
    return addXf(x);
}

} // namespace xlsx
