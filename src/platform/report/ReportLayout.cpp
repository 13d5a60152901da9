#include "platform/report/ReportLayout.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace report {

namespace {

const QString kSource = QStringLiteral("ReportComponent");

[[noreturn]] void fail(const QString &fileName, int line, const QString &what)
{
    throw ErpError(ErpErrorNumber::GenericProvider, kSource,
                   QStringLiteral("报表格式 %1 第 %2 行: %3").arg(fileName).arg(line).arg(what));
}

// Splits a line at blanks; a double-quoted token keeps its blanks ("" is a quote).
QStringList tokens(const QString &line, const QString &fileName, int lineNo)
{
    QStringList out;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        while (i < n && line.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        QString t;
        if (line.at(i) == QLatin1Char('"')) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && line.at(i + 1) == QLatin1Char('"')) {
                        t += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                t += line.at(i++);
            }
            if (!closed)
                fail(fileName, lineNo, QStringLiteral("引号没有结束"));
        } else {
            while (i < n && !line.at(i).isSpace())
                t += line.at(i++);
        }
        out.append(t);
    }
    return out;
}

double number(const QString &text, double min, double max, const QString &fileName, int lineNo, const QString &what)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= min && v <= max))
        fail(fileName, lineNo, QStringLiteral("%1 \"%2\" 不是 %3 到 %4 之间的数").arg(what, text).arg(min).arg(max));
    return v;
}

bool yesNo(const QString &text, const QString &fileName, int lineNo)
{
    const QString t = text.toLower();
    if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    fail(fileName, lineNo, QStringLiteral("\"%1\" 应为 yes 或 no").arg(text));
}

// "label = field [format]"
LayoutField labelled(const QString &line, bool fieldRequired, const QString &fileName, int lineNo)
{
    LayoutField f;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    f.label = (eq < 0 ? line : line.left(eq)).trimmed();
    if (f.label.startsWith(QLatin1Char('"')) && f.label.endsWith(QLatin1Char('"')) && f.label.size() >= 2)
        f.label = f.label.mid(1, f.label.size() - 2);
    if (f.label.isEmpty())
        fail(fileName, lineNo, QStringLiteral("缺少标签"));
    if (eq < 0) {
        if (fieldRequired)
            fail(fileName, lineNo, QStringLiteral("应写成 \"标签 = 字段\""));
        return f;
    }
    const QStringList rest = tokens(line.mid(eq + 1), fileName, lineNo);
    if (rest.isEmpty())
        fail(fileName, lineNo, QStringLiteral("\"=\" 后缺少字段名"));
    if (rest.size() > 2)
        fail(fileName, lineNo, QStringLiteral("多余的内容 \"%1\"").arg(rest.mid(2).join(QLatin1Char(' '))));
    f.field = rest.at(0);
    if (rest.size() == 2 && !ValueFormat::parse(rest.at(1), &f.format))
        fail(fileName, lineNo, QStringLiteral("不认识的格式 \"%1\"").arg(rest.at(1)));
    return f;
}

LayoutColumn column(const QString &line, const QString &fileName, int lineNo)
{
    const QStringList t = tokens(line, fileName, lineNo);
    if (t.size() < 4)
        fail(fileName, lineNo, QStringLiteral("栏位应写成 \"字段 标题 宽度 对齐 [格式] [sum] [wrap]\""));
    LayoutColumn c;
    c.field = t.at(0);
    if (c.field.endsWith(QLatin1Char('?'))) {
        c.optional = true;
        c.field.chop(1);
    }
    if (c.field.isEmpty())
        fail(fileName, lineNo, QStringLiteral("缺少字段名"));
    c.heading = t.at(1);
    c.widthMm = number(t.at(2), 1, 1000, fileName, lineNo, QStringLiteral("宽度"));
    const QString align = t.at(3).toLower();
    if (align == QLatin1String("left"))
        c.align = Qt::AlignLeft;
    else if (align == QLatin1String("right"))
        c.align = Qt::AlignRight;
    else if (align == QLatin1String("center"))
        c.align = Qt::AlignHCenter;
    else
        fail(fileName, lineNo, QStringLiteral("对齐 \"%1\" 应为 left、right 或 center").arg(t.at(3)));
    for (int i = 4; i < t.size(); ++i) {
        if (t.at(i).compare(QLatin1String("sum"), Qt::CaseInsensitive) == 0)
            c.sum = true;
        else if (t.at(i).compare(QLatin1String("wrap"), Qt::CaseInsensitive) == 0)
            c.wrap = true;
        else if (!ValueFormat::parse(t.at(i), &c.format))
            fail(fileName, lineNo, QStringLiteral("不认识的格式 \"%1\"").arg(t.at(i)));
    }
    return c;
}

bool isNumeric(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// About how wide a text prints: Latin letters and digits half an em, the
// wide (CJK) characters a whole one.
double textWidthMm(const QString &text, double pt)
{
    const double em = pt * 0.3528;
    double w = 0;
    for (const QChar ch : text)
        w += ch.unicode() >= 0x1100 ? em : em * 0.6;
    return w;
}

} // namespace

bool ValueFormat::parse(const QString &text, ValueFormat *out)
{
    const QString t = text.toLower();
    ValueFormat f;
    if (t == QLatin1String("date")) {
        f.kind = Date;
    } else if (t == QLatin1String("datetime")) {
        f.kind = DateTime;
    } else if (t == QLatin1String("text")) {
        f.kind = Plain;
    } else {
        static const QString allowed = QStringLiteral("#0,.");
        if (t.isEmpty() || !t.contains(QLatin1Char('0')))
            return false;
        for (const QChar ch : t)
            if (!allowed.contains(ch))
                return false;
        const qsizetype dot = t.indexOf(QLatin1Char('.'));
        if (dot != t.lastIndexOf(QLatin1Char('.')))
            return false;
        f.kind = Number;
        f.grouped = t.contains(QLatin1Char(','));
        f.decimals = dot < 0 ? 0 : int(t.size() - dot - 1);
        if (f.decimals > 10)
            return false;
    }
    *out = f;
    return true;
}

QString ValueFormat::apply(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return {};
    switch (kind) {
    case Plain:
        return valueText(value);
    case Number: {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            return valueText(value);
        QLocale c = QLocale::c();
        c.setNumberOptions(grouped ? QLocale::NumberOptions() : QLocale::OmitGroupSeparator);
        // -0.00 reads as a negative nothing; print 0.00
        const QString s = c.toString(v, 'f', decimals);
        return s.startsWith(QLatin1Char('-')) && c.toDouble(s) == 0 ? s.mid(1) : s;
    }
    case Date:
    case DateTime: {
        QDateTime dt;
        if (value.typeId() == QMetaType::QDate)
            dt = QDateTime(value.toDate(), QTime());
        else if (value.typeId() == QMetaType::QDateTime)
            dt = value.toDateTime();
        else {
            const QString s = value.toString().trimmed();
            dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            if (!dt.isValid())
                dt = QDateTime::fromString(s.left(19), Qt::ISODate);
            if (!dt.isValid())
                dt = QDateTime(QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd")), QTime());
            if (!dt.isValid())
                return s;
        }
        return dt.toString(kind == Date ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd hh:mm"));
    }
    }
    return valueText(value);
}

ReportLayout ReportLayout::parse(const QString &text, const QString &fileName)
{
    enum Section { None, Report, Header, Columns, Group, Total, Signatures };
    ReportLayout layout;
    Section section = None;
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool seenColumns = false;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')))
                fail(fileName, lineNo, QStringLiteral("段名 \"%1\" 缺少 \"]\"").arg(trimmed));
            const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed().toLower();
            if (name == QLatin1String("report"))
                section = Report;
            else if (name == QLatin1String("header"))
                section = Header;
            else if (name == QLatin1String("columns"))
                section = Columns, seenColumns = true;
            else if (name == QLatin1String("group"))
                section = Group;
            else if (name == QLatin1String("total"))
                section = Total;
            else if (name == QLatin1String("signatures"))
                section = Signatures;
            else
                fail(fileName, lineNo, QStringLiteral("不认识的段 \"[%1]\"").arg(name));
            continue;
        }
        if (section == None)
            fail(fileName, lineNo, QStringLiteral("内容 \"%1\" 不在任何段内").arg(trimmed));
        if (section == Header) {
            layout.header.append(labelled(trimmed, true, fileName, lineNo));
            continue;
        }
        if (section == Signatures) {
            layout.signatures.append(labelled(trimmed, false, fileName, lineNo));
            continue;
        }
        if (section == Columns) {
            layout.columns.append(column(trimmed, fileName, lineNo));
            continue;
        }
        // key = value sections
        const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
        if (eq < 0)
            fail(fileName, lineNo, QStringLiteral("应写成 \"名称 = 值\""));
        const QString key = trimmed.left(eq).trimmed().toLower();
        const QString value = trimmed.mid(eq + 1).trimmed();
        if (section == Report) {
            if (key == QLatin1String("caption")) {
                layout.caption = value;
            } else if (key == QLatin1String("paper")) {
                const QStringList t = tokens(value, fileName, lineNo);
                for (const QString &p : t) {
                    const QString l = p.toLower();
                    if (l == QLatin1String("portrait"))
                        layout.landscape = false;
                    else if (l == QLatin1String("landscape"))
                        layout.landscape = true;
                    else if (l == QLatin1String("a3") || l == QLatin1String("a4") || l == QLatin1String("a5") ||
                             l == QLatin1String("letter"))
                        layout.paper = p.toUpper() == QLatin1String("LETTER") ? QStringLiteral("Letter") : p.toUpper();
                    else
                        fail(fileName, lineNo, QStringLiteral("不认识的纸张 \"%1\"").arg(p));
                }
            } else if (key == QLatin1String("margins")) {
                layout.marginMm = number(value, 0, 50, fileName, lineNo, QStringLiteral("页边距"));
            } else if (key == QLatin1String("font")) {
                layout.fontPt = number(value, 5, 30, fileName, lineNo, QStringLiteral("字号"));
            } else if (key == QLatin1String("rowheight")) {
                layout.rowHeightMm = number(value, 3, 50, fileName, lineNo, QStringLiteral("行高"));
            } else {
                fail(fileName, lineNo, QStringLiteral("[report] 中不认识的名称 \"%1\"").arg(key));
            }
        } else if (section == Group) {
            if (key == QLatin1String("by"))
                layout.groupBy = value;
            else if (key == QLatin1String("caption"))
                layout.groupCaption = value;
            else
                fail(fileName, lineNo, QStringLiteral("[group] 中不认识的名称 \"%1\"").arg(key));
        } else if (section == Total) {
            if (key == QLatin1String("caption"))
                layout.totalCaption = value;
            else if (key == QLatin1String("show"))
                layout.showTotal = yesNo(value, fileName, lineNo);
            else
                fail(fileName, lineNo, QStringLiteral("[total] 中不认识的名称 \"%1\"").arg(key));
        }
    }
    if (seenColumns && layout.columns.isEmpty())
        fail(fileName, int(lines.size()), QStringLiteral("[columns] 段没有栏位"));
    return layout;
}

QString ReportLayout::findFile(const QString &folder, const QString &reportCode)
{
    const QString code = reportCode.trimmed();
    // A code names a file in the folder, never a path elsewhere.
    if (code.isEmpty() || code.contains(QLatin1Char('/')) || code.contains(QLatin1Char('\\')) ||
        code.startsWith(QLatin1Char('.')))
        return {};
    const QDir dir(folder);
    const QString exact = dir.filePath(code + QStringLiteral(".layout"));
    if (QFileInfo(exact).isFile())
        return exact;
    // Report codes compare without regard to case, as the database compares them.
    const QStringList files = dir.entryList({QStringLiteral("*.layout")}, QDir::Files);
    for (const QString &f : files)
        if (QFileInfo(f).completeBaseName().compare(code, Qt::CaseInsensitive) == 0)
            return dir.filePath(f);
    return {};
}

ReportLayout ReportLayout::plainTable(const ResultSet &rows, const QString &caption)
{
    ReportLayout layout;
    layout.caption = caption;
    layout.showTotal = false;
    const int n = rows.columnCount();
    const qint64 sample = qMin<qint64>(rows.rowCount(), 200);
    for (int c = 0; c < n; ++c) {
        LayoutColumn col;
        col.field = rows.columns().at(c);
        col.heading = col.field;
        double widest = textWidthMm(col.heading, layout.fontPt);
        bool numeric = sample > 0;
        for (qint64 r = 0; r < sample; ++r) {
            const QVariant &v = rows.value(r, c);
            widest = qMax(widest, textWidthMm(valueText(v), layout.fontPt));
            if (!v.isNull() && !isNumeric(v))
                numeric = false;
        }
        col.align = numeric ? Qt::AlignRight : Qt::AlignLeft;
        col.widthMm = qBound(10.0, widest + 3, 70.0);
        layout.columns.append(col);
    }
    // Wide results print across the page.
    double total = 0;
    for (const LayoutColumn &c : layout.columns)
        total += c.widthMm;
    layout.landscape = total > 190;
    return layout;
}

void ReportLayout::bind(const ResultSet &rows, const QString &fileName)
{
    if (columns.isEmpty()) {
        const ReportLayout plain = plainTable(rows, caption);
        columns = plain.columns;
    }
    QList<LayoutColumn> kept;
    for (const LayoutColumn &c : std::as_const(columns)) {
        if (rows.columnIndex(c.field) >= 0)
            kept.append(c);
        else if (!c.optional)
            throw ErpError(ErpErrorNumber::GenericProvider, kSource,
                           QStringLiteral("报表格式 %1: 数据中没有栏位 \"%2\"").arg(fileName, c.field));
    }
    columns = kept;
    if (columns.isEmpty())
        throw ErpError(ErpErrorNumber::GenericProvider, kSource,
                       QStringLiteral("报表格式 %1: 没有可打印的栏位").arg(fileName));
    auto check = [&](const QString &field) {
        if (!field.isEmpty() && rows.columnIndex(field) < 0)
            throw ErpError(ErpErrorNumber::GenericProvider, kSource,
                           QStringLiteral("报表格式 %1: 数据中没有栏位 \"%2\"").arg(fileName, field));
    };
    for (const LayoutField &f : std::as_const(header))
        check(f.field);
    for (const LayoutField &f : std::as_const(signatures))
        check(f.field);
    check(groupBy);
}

double ReportLayout::rowHeight() const
{
    // A point is 0.3528 mm; a row holds one line of text with room above and below.
    return rowHeightMm > 0 ? rowHeightMm : fontPt * 0.3528 * 2.0;
}

} // namespace report
