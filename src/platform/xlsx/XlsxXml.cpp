#include "platform/xlsx/XlsxPrivate.h"

#include <QLocale>

namespace xlsx {

QString attrValue(const AttrList &attrs, const QString &name, const QString &fallback)
{
    for (const Attr &a : attrs) {
        if (a.first == name)
            return a.second;
    }
    return fallback;
}

void setAttr(AttrList &attrs, const QString &name, const QString &value)
{
    for (Attr &a : attrs) {
        if (a.first == name) {
            a.second = value;
            return;
        }
    }
    attrs.append({name, value});
}

void removeAttr(AttrList &attrs, const QString &name)
{
    attrs.removeIf([&name](const Attr &a) { return a.first == name; });
}

AttrList readAttributes(const QXmlStreamReader &reader)
{
    AttrList list;
    for (const QXmlStreamAttribute &a : reader.attributes())
        list.append({a.qualifiedName().toString(), a.value().toString()});
    return list;
}

void writeAttributes(QXmlStreamWriter &writer, const AttrList &attrs)
{
    for (const Attr &a : attrs)
        writer.writeAttribute(a.first, a.second);
}

void writeRaw(QXmlStreamWriter &writer, const QString &markup)
{
    writer.writeDTD(markup);
}

QString formatNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

bool XmlPart::parse(const QString &xml, const QStringList &managed,
                    const std::function<bool(QXmlStreamReader &)> &onManaged, QString *error)
{
    m_children.clear();
    m_namespaces.clear();
    m_rootAttrs.clear();
    QXmlStreamReader reader(xml);
    qint64 lastOffset = 0;
    bool inRoot = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (!inRoot) {
                inRoot = true;
                m_rootName = reader.name().toString();
                m_prefix = reader.prefix().toString();
                for (const QXmlStreamNamespaceDeclaration &ns : reader.namespaceDeclarations())
                    m_namespaces.append({ns.prefix().toString(), ns.namespaceUri().toString()});
                m_rootAttrs = readAttributes(reader);
            } else {
                const QString name = reader.name().toString();
                if (managed.contains(name)) {
                    if (!hasChild(name))
                        m_children.append(Child{name, QString(), true});
                    if (!onManaged(reader))
                        break;
                } else {
                    reader.skipCurrentElement();
                    m_children.append(Child{name, xml.mid(lastOffset, reader.characterOffset() - lastOffset), false});
                }
            }
        } else if (reader.isEndElement()) {
            break; // end of the root
        }
        lastOffset = reader.characterOffset();
    }
    if (reader.hasError() || !inRoot) {
        if (error)
            *error = reader.hasError() ? reader.errorString() : QStringLiteral("no root element");
        return false;
    }
    return true;
}

void XmlPart::ensureManaged(const QString &name, const QStringList &schemaOrder)
{
    if (hasChild(name))
        return;
    const qsizetype rank = schemaOrder.indexOf(name);
    qsizetype at = m_children.size();
    for (qsizetype i = 0; i < m_children.size(); ++i) {
        const qsizetype other = schemaOrder.indexOf(m_children.at(i).name);
        if (other > rank) {
            at = i;
            break;
        }
    }
    m_children.insert(at, Child{name, QString(), true});
}

bool XmlPart::hasChild(const QString &name) const
{
    for (const Child &c : m_children) {
        if (c.name == name)
            return true;
    }
    return false;
}

QString XmlPart::prefixFor(const QString &uri, const QString &fallback)
{
    for (const Attr &ns : m_namespaces) {
        if (ns.second == uri && !ns.first.isEmpty())
            return ns.first;
    }
    m_namespaces.append({fallback, uri});
    return fallback;
}

void XmlPart::setRoot(const QString &localName, const QString &defaultNs)
{
    m_rootName = localName;
    m_prefix.clear();
    m_namespaces = {{QString(), defaultNs}};
    m_rootAttrs.clear();
    m_children.clear();
}

QByteArray XmlPart::write(const std::function<void(QXmlStreamWriter &, const QString &)> &writeManaged) const
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(qname(m_rootName));
    for (const Attr &ns : m_namespaces)
        w.writeAttribute(ns.first.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + ns.first, ns.second);
    writeAttributes(w, m_rootAttrs);
    for (const Child &c : m_children) {
        if (c.managed)
            writeManaged(w, c.name);
        else
            writeRaw(w, c.raw);
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

} // namespace xlsx
