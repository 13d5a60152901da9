// The test run's statement capture. When ERP_TSQL_CAPTURE names a folder,
// every statement the module and the platform issue (not the tests' own) is
// written there once per program, as the SQL Server dialect renders it, for
// the tsql test to parse as T-SQL.
//
// The statements run on SQLite or PostgreSQL. Whatever differs between the
// servers comes from the connection's Dialect, so a recording dialect stands
// in for the server's own: it answers as that dialect does and remembers, for
// each piece of text it made, the piece the SQL Server dialect makes of the
// same call. A captured statement has those pieces replaced, longest first,
// until none is left. DDL is not captured: the tsql test renders the schema
// through the SQL Server dialect itself.
//
// One file per program and backend, rewritten by each run of the program
// (<program>.<backend>.jsonl, one JSON object a line); processes a program
// starts of itself write files of their own beside it.
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/db/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_mutex;
QHash<QString, QString> g_pieces; // piece of the server's text -> SQL Server's piece
QStringList g_byLength;           // g_pieces' keys, longest first (empty: to be sorted)

void remember(const QString &mine, const QString &theirs)
{
    if (mine.isEmpty() || mine == theirs)
        return;
    std::lock_guard lock(g_mutex);
    auto it = g_pieces.find(mine);
    if (it != g_pieces.end() && *it == theirs)
        return;
    g_pieces.insert(mine, theirs);
    g_byLength.clear();
}

void rememberAll(const QStringList &mine, const QStringList &theirs)
{
    if (mine.size() == theirs.size())
        for (qsizetype i = 0; i < mine.size(); ++i)
            remember(mine.at(i), theirs.at(i));
    else if (mine.size() == 1 && theirs.isEmpty())
        remember(mine.first(), QString());
}

// Answers as the server's dialect; what it makes is remembered beside what
// the SQL Server dialect makes of the same call. Only the texts that
// statements are made of are remembered, never DDL types.
class RecordingDialect final : public Dialect
{
public:
    RecordingDialect(const Dialect &own, const Dialect &sqlServer) : m_own(own), m_ss(sqlServer) {}

    Backend backend() const override { return m_own.backend(); }
    QString name() const override { return m_own.name(); }
    QString topN(const QString &select, int n) const override
    {
        return pair(m_own.topN(select, n), m_ss.topN(select, n));
    }
    QString nowExpression() const override { return pair(m_own.nowExpression(), m_ss.nowExpression()); }
    QString insertReturningKey(const QString &insert, const QString &key) const override
    {
        return pair(m_own.insertReturningKey(insert, key), m_ss.insertReturningKey(insert, key));
    }
    bool keyFromDriver() const override { return m_own.keyFromDriver(); }
    QString columnsQuery() const override { return pair(m_own.columnsQuery(), m_ss.columnsQuery()); }
    QString codeLike(const QString &column) const override
    {
        return pair(m_own.codeLike(column), m_ss.codeLike(column));
    }
    QString commandTimeoutStatement(int seconds) const override
    {
        return pair(m_own.commandTimeoutStatement(seconds), m_ss.commandTimeoutStatement(seconds));
    }
    QString beginWrite() const override { return m_own.beginWrite(); }
    QString readOnlyOn() const override { return pair(m_own.readOnlyOn(), m_ss.readOnlyOn()); }
    QString readOnlyOff() const override { return pair(m_own.readOnlyOff(), m_ss.readOnlyOff()); }
    QString snapshotRead() const override { return pair(m_own.snapshotRead(), m_ss.snapshotRead()); }
    QStringList holdTablesNoWait(const QStringList &tables) const override
    {
        const QStringList mine = m_own.holdTablesNoWait(tables);
        rememberAll(mine, m_ss.holdTablesNoWait(tables));
        return mine;
    }
    QString codeText(const QString &expr) const override { return pair(m_own.codeText(expr), m_ss.codeText(expr)); }
    QString exactText(const QString &expr) const override { return pair(m_own.exactText(expr), m_ss.exactText(expr)); }
    QString textLength(const QString &expr) const override
    {
        return pair(m_own.textLength(expr), m_ss.textLength(expr));
    }
    QString lockedRows(const QString &table, const QString &columns, const QString &where) const override
    {
        return pair(m_own.lockedRows(table, columns, where), m_ss.lockedRows(table, columns, where));
    }
    bool locksRows() const override { return m_own.locksRows(); }
    bool skipsToDistinct() const override { return m_own.skipsToDistinct(); }
    bool isTransient(const QString &code) const override { return m_own.isTransient(code); }
    bool isUniqueViolation(const QString &code) const override { return m_own.isUniqueViolation(code); }
    QStringList refreshStatistics() const override
    {
        const QStringList mine = m_own.refreshStatistics();
        rememberAll(mine, m_ss.refreshStatistics());
        return mine;
    }
    QString insertOrAdd(const QString &table, const QStringList &columns, const IndexDef &key, const QString &addColumn,
                        const QStringList &refreshed) const override
    {
        return pair(m_own.insertOrAdd(table, columns, key, addColumn, refreshed),
                    m_ss.insertOrAdd(table, columns, key, addColumn, refreshed));
    }
    bool insertOrAddMeetsAnyRow() const override { return m_own.insertOrAddMeetsAnyRow(); }
    QStringList preamble() const override { return m_own.preamble(); }
    QString indexPart(const IndexDef &index, const QString &column) const override
    {
        return m_own.indexPart(index, column);
    }
    QStringList beforeIndex(const TableDef &table, const IndexDef &index) const override
    {
        return m_own.beforeIndex(table, index);
    }
    QString indexExistsQuery() const override { return pair(m_own.indexExistsQuery(), m_ss.indexExistsQuery()); }
    QString tableExistsQuery() const override { return pair(m_own.tableExistsQuery(), m_ss.tableExistsQuery()); }
    QString triggerExistsQuery() const override
    {
        return pair(m_own.triggerExistsQuery(), m_ss.triggerExistsQuery());
    }
    QStringList summaryTriggers(const SummaryDef &summary) const override { return m_own.summaryTriggers(summary); }
    QStringList dropSummaryTriggers(const SummaryDef &summary) const override
    {
        return m_own.dropSummaryTriggers(summary);
    }
    QStringList summaryTriggerNames(const SummaryDef &summary) const override
    {
        return m_own.summaryTriggerNames(summary);
    }
    QString columnType(const ColumnDef &column) const override { return m_own.columnType(column); }
    QString createView(const QString &name, const QString &select) const override
    {
        return m_own.createView(name, select);
    }
    QStringList resetSerial(const QString &table, const QString &column) const override
    {
        const QStringList mine = m_own.resetSerial(table, column);
        rememberAll(mine, m_ss.resetSerial(table, column));
        return mine;
    }
    QStringList isoDateTexts() const override { return m_own.isoDateTexts(); }
    QStringList identityInsert(const QString &table, bool on) const override { return m_own.identityInsert(table, on); }
    QString dropTable(const QString &table) const override { return m_own.dropTable(table); }
    QString dropView(const QString &view) const override { return m_own.dropView(view); }

private:
    static QString pair(const QString &mine, const QString &theirs)
    {
        remember(mine, theirs);
        return mine;
    }
    const Dialect &m_own;
    const Dialect &m_ss;
};

// The statement with every remembered piece replaced by SQL Server's, longest
// first and again until nothing changes (a piece may hold smaller ones).
QString render(QString text)
{
    std::lock_guard lock(g_mutex);
    if (g_byLength.isEmpty()) {
        g_byLength = g_pieces.keys();
        std::sort(g_byLength.begin(), g_byLength.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() > b.size() : a < b;
        });
    }
    for (int pass = 0; pass < 8; ++pass) {
        bool changed = false;
        for (const QString &mine : std::as_const(g_byLength)) {
            const QString &theirs = g_pieces.value(mine);
            if (theirs.contains(mine) || !text.contains(mine))
                continue;
            text.replace(mine, theirs);
            changed = true;
        }
        if (!changed)
            break;
    }
    return text.trimmed();
}

struct Capture
{
    QString folder;
    QString backend; // of the run: sqlite or pg
    QString program;
    FILE *file = nullptr;
    QSet<QString> seen; // as issued, before rendering
};

Capture &capture()
{
    static Capture c;
    return c;
}

// The source file relative to the project: src/..., tests/..., bench/...
QString relativeSource(const char *file)
{
    const QString path = QString::fromUtf8(file ? file : "");
    static const QRegularExpression top(QStringLiteral("/(src|tests|bench|app)/"));
    QRegularExpressionMatch m;
    qsizetype from = -1;
    auto it = top.globalMatch(path);
    while (it.hasNext()) {
        m = it.next();
        from = m.capturedStart() + 1; // the last one: the project's own folder
    }
    return from < 0 ? path : path.mid(from);
}

bool isDdl(const QString &text)
{
    static const QRegularExpression ddl(QStringLiteral("^\\s*(CREATE|DROP|ALTER|DO)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    return ddl.match(text).hasMatch();
}

void onStatement(const Connection &, const QString &text, const char *sourceFile)
{
    Capture &c = capture();
    const QString source = relativeSource(sourceFile);
    // The module's and the platform's statements; the tests' own and the
    // benchmark generator's are written for the servers they run on.
    if (!source.startsWith(QLatin1String("src/")) || isDdl(text))
        return;
    {
        std::lock_guard lock(g_mutex);
        if (c.seen.contains(text) || !c.file)
            return;
        c.seen.insert(text);
    }
    const QString rendered = render(text);
    if (rendered.isEmpty()) // a statement SQL Server has no need of
        return;
    QJsonObject o;
    o.insert(QStringLiteral("sql"), rendered);
    o.insert(QStringLiteral("source"), source);
    o.insert(QStringLiteral("backend"), c.backend);
    o.insert(QStringLiteral("program"), c.program);
    const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard lock(g_mutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), c.file);
    std::fflush(c.file);
}

bool start()
{
    const QString folder = qEnvironmentVariable("ERP_TSQL_CAPTURE");
    if (folder.isEmpty())
        return false;
    Capture &c = capture();
    c.folder = folder;
    c.backend = qEnvironmentVariable("ERP_TEST_BACKEND") == QLatin1String("pg") ? QStringLiteral("pg")
                                                                                : QStringLiteral("sqlite");
    c.program = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    const QString stem = c.program + QLatin1Char('.') + c.backend;
    QString name = stem + QStringLiteral(".jsonl");
    if (qEnvironmentVariableIsSet("ERP_TSQL_CAPTURE_PARENT")) {
        name = stem + QStringLiteral(".child-%1.jsonl").arg(::getpid());
    } else {
        // A new run of the program: what its last run left goes.
        for (const QString &old : dir.entryList({stem + QStringLiteral(".*")}, QDir::Files))
            dir.remove(old);
        qputenv("ERP_TSQL_CAPTURE_PARENT", QByteArray::number(::getpid()));
    }
    c.file = std::fopen(QFile::encodeName(dir.filePath(name)).constData(), "w");
    if (!c.file)
        return false;
    static const RecordingDialect sqlite(Dialect::of(Backend::SQLite), Dialect::of(Backend::SqlServer));
    static const RecordingDialect postgres(Dialect::of(Backend::PostgreSQL), Dialect::of(Backend::SqlServer));
    Dialect::setOverride(Backend::SQLite, &sqlite);
    Dialect::setOverride(Backend::PostgreSQL, &postgres);
    Sql::setCapture(onStatement);
    return true;
}

[[maybe_unused]] const bool g_started = start();

} // namespace
