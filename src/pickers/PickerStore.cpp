#include "pickers/PickerStore.h"

#include "platform/db/Sql.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <algorithm>

namespace {

constexpr int kTopLength = 4;
constexpr int kStep = 3;

// Names sort as the users read them (Chinese by pinyin), then by code.
struct ByText
{
    QCollator collator;
    ByText() : collator(QLocale(QLocale::Chinese, QLocale::China)) { collator.setCaseSensitivity(Qt::CaseInsensitive); }
    bool operator()(const LevelNode &a, const LevelNode &b) const
    {
        const int c = collator.compare(a.text, b.text);
        if (c != 0)
            return c < 0;
        return QString::compare(a.key, b.key, Qt::CaseInsensitive) < 0;
    }
};

// Codes compare as the database compares them: without regard to case.
QString folded(const QString &code)
{
    return code.toCaseFolded();
}

LevelNode makeNode(const LevelRow &row, const QHash<QString, QList<const LevelRow *>> &byParent, const ByText &byText)
{
    LevelNode node{row.code, row.name, row.number, {}};
    const auto it = byParent.constFind(folded(row.code));
    if (it != byParent.constEnd()) {
        node.children.reserve(it->size());
        for (const LevelRow *child : *it)
            node.children.append(makeNode(*child, byParent, byText));
        std::sort(node.children.begin(), node.children.end(), byText);
    }
    return node;
}

} // namespace

QList<LevelNode> buildLevelTree(const QList<LevelRow> &rows)
{
    // Each row is filed under the code its parent would have; a node then
    // finds its children with one lookup, so the whole table is read once.
    QHash<QString, QList<const LevelRow *>> byParent;
    QList<const LevelRow *> top;
    for (const LevelRow &row : rows) {
        const qsizetype n = row.code.size();
        if (n == kTopLength)
            top.append(&row);
        else if (n >= kTopLength + kStep)
            byParent[folded(row.code.left(n - kStep))].append(&row);
    }
    const ByText byText;
    QList<LevelNode> out;
    out.reserve(top.size());
    for (const LevelRow *row : top)
        out.append(makeNode(*row, byParent, byText));
    std::sort(out.begin(), out.end(), byText);
    return out;
}

QList<LevelRow> PickerStore::levelRows(const QString &table, const QString &codeColumn, const QString &nameColumn,
                                       const QString &numberColumn) const
{
    const QString number = numberColumn.isEmpty() ? QStringLiteral("NULL") : numberColumn;
    const ResultSet rs =
        Sql(m_conn,
            QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %1 IS NOT NULL").arg(codeColumn, nameColumn, number, table))
            .select();
    QList<LevelRow> rows;
    rows.reserve(rs.rowCount());
    for (qint64 r = 0; r < rs.rowCount(); ++r) {
        QString code = rs.text(r, 0);
        // Trailing blanks do not count, as the database compares codes.
        while (code.endsWith(QLatin1Char(' ')))
            code.chop(1);
        rows.append(LevelRow{code, rs.text(r, 1), rs.text(r, 2)});
    }
    return rows;
}

QString PickerStore::colorTypesQuery()
{
    return QStringLiteral("SELECT Color_Type FROM mmst604 ORDER BY Color_Type");
}

QString PickerStore::colorListQuery(bool showEname, const Statement &filter)
{
    QString sql = QStringLiteral("SELECT mmst604.Color_Type AS \"颜色类别\", mmst605.Color_No AS \"颜色代号\", "
                                 "COALESCE(mmst605.Color_Name, '') AS \"颜色名称\", ");
    if (showEname)
        sql += QStringLiteral(
            "COALESCE(mmst605.Color_Ename, '') AS \"默认英文名称\", mmst6051.Color_Ename AS \"英文颜色\" "
            "FROM mmst605 INNER JOIN mmst604 ON mmst605.Type_No = mmst604.Type_No "
            "LEFT JOIN mmst6051 ON mmst605.Color_No = mmst6051.Color_No WHERE 1=1");
    else
        sql += QStringLiteral("COALESCE(mmst605.Color_Ename, '') AS \"英文名称\" "
                              "FROM mmst605 INNER JOIN mmst604 ON mmst605.Type_No = mmst604.Type_No WHERE 1=1");
    if (!filter.isEmpty())
        sql += QStringLiteral(" AND (") + filter.text + QStringLiteral(")");
    sql += QStringLiteral(" ORDER BY mmst604.Color_Type, mmst605.Color_No");
    return sql;
}

Statement PickerStore::colorFilter(const Dialect &dialect, const QString &type, const QString &code,
                                   const QString &name, const QString &ename, bool showEname)
{
    Statement c{QStringLiteral("1=1"), {}};
    const auto like = [&](const QString &column, const QString &text) {
        c.text += QStringLiteral(" AND ") + dialect.codeLike(column) + QStringLiteral(" ?");
        c.values.append(QStringLiteral("%") + text + QStringLiteral("%"));
    };
    if (!type.trimmed().isEmpty())
        like(QStringLiteral("mmst604.Color_Type"), type.trimmed());
    if (!code.trimmed().isEmpty())
        like(QStringLiteral("mmst605.Color_No"), code.trimmed());
    if (!name.trimmed().isEmpty())
        like(QStringLiteral("mmst605.Color_Name"), name.trimmed());
    const QString e = ename.trimmed();
    if (!e.isEmpty()) {
        if (showEname) {
            c.text += QStringLiteral(" AND (") + dialect.codeLike(QStringLiteral("mmst605.Color_Ename")) +
                      QStringLiteral(" ? OR ") + dialect.codeLike(QStringLiteral("mmst6051.Color_Ename")) +
                      QStringLiteral(" ?)");
            c.values.append(QStringLiteral("%") + e + QStringLiteral("%"));
            c.values.append(QStringLiteral("%") + e + QStringLiteral("%"));
        } else {
            like(QStringLiteral("mmst605.Color_Ename"), e);
        }
    }
    return c;
}

Statement PickerStore::colorNamed(const QString &name)
{
    return Statement{QStringLiteral("mmst605.Color_Name = ?"), {name}};
}
