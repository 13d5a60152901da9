#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Sql.h"

#include <QList>
#include <QString>
#include <QVariant>

// Statements of the pickers, callable without a window.

// One row of a table whose hierarchy is encoded in its codes: a top-level
// code has four characters, a child's code is its parent's plus three.
struct LevelRow
{
    QString code; // trailing blanks removed
    QString name;
    QString number; // a second identifying column (the department number), or empty
};

struct LevelNode
{
    QString key;
    QString text;
    QString number;
    QList<LevelNode> children; // sorted by text
};

// The hierarchy of rows: top-level nodes sorted by text, each with its
// children (exactly three characters longer, starting with the parent's code
// without regard to case). Rows that fit nowhere (a five-character code, an
// orphan) are left out.
QList<LevelNode> buildLevelTree(const QList<LevelRow> &rows);

class PickerStore
{
public:
    explicit PickerStore(const Connection &conn) : m_conn(conn) {}

    // Every row of a level-coded table, in one statement. numberColumn may be empty.
    QList<LevelRow> levelRows(const QString &table, const QString &codeColumn, const QString &nameColumn,
                              const QString &numberColumn = {}) const;

    // The colour types, in order, for the type filter's list.
    static QString colorTypesQuery();
    // The colour list: type, code, name, default English name and, with
    // showEname, the alternative English name; filter restricts it.
    static QString colorListQuery(bool showEname, const Statement &filter);
    // The condition the four filter fields give (blank fields add nothing).
    static Statement colorFilter(const Dialect &dialect, const QString &type, const QString &code, const QString &name,
                                 const QString &ename, bool showEname);
    // The condition that opens the list on one colour name exactly.
    static Statement colorNamed(const QString &name);

private:
    Connection m_conn;
};
