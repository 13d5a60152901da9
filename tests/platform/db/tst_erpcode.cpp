// The code collation as a loadable extension: a connection that is not the
// module's (as the sqlite3 shell opens one) refuses every code comparison
// until it loads build/erpcode, and then compares codes as the module does.
#include "TestSupport.h"

#include "platform/db/CodeCollation.h"
#include "platform/db/Sql.h"

#include <QDir>
#include <QTest>

#include <sqlite3.h>

namespace {

// The rows of one query as "a|b" lines, or "error: ..." when it fails.
QStringList query(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return {QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db))};
    QStringList out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QStringList cols;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            cols << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)));
        out << cols.join(QLatin1Char('|'));
    }
    if (rc != SQLITE_DONE)
        out << QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    return out;
}

} // namespace

class TstErpCode : public QObject
{
    Q_OBJECT

    QString m_path;
    sqlite3 *m_db = nullptr;

private slots:
    void init()
    {
        Connection conn = TestDb::freshSqlite(false);
        m_path = conn.database().databaseName();
        TestDb::exec(
            conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES (?, ?), (?, ?), (?, ?), (?, ?)"),
            {QStringLiteral("a001 "), QStringLiteral("原料仓"), QStringLiteral("A002"), QStringLiteral("成品仓"),
             QStringLiteral("仓b"), QStringLiteral("中文码"), QStringLiteral("b001"), QStringLiteral("辅料仓")});
        conn.close();
        QCOMPARE(sqlite3_open(m_path.toUtf8().constData(), &m_db), SQLITE_OK);
    }
    void cleanup()
    {
        sqlite3_close(m_db);
        m_db = nullptr;
    }

    void withoutTheExtensionCodesCannotCompare()
    {
        const QStringList rows = query(m_db, "SELECT Bar_Name FROM mmst903 WHERE Bar_No = 'A001'");
        QCOMPARE(rows, QStringList{QStringLiteral("error: no such collation sequence: ERPCODE")});
    }

    void loadedExtensionComparesAsTheModule_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("case and trailing blanks ignored")
            << "SELECT Bar_Name FROM mmst903 WHERE Bar_No = 'A001'" << QStringList{"原料仓"};
        QTest::newRow("blanks on the other side")
            << "SELECT Bar_Name FROM mmst903 WHERE Bar_No = 'a002   '" << QStringList{"成品仓"};
        QTest::newRow("non-ASCII codes") << "SELECT Bar_Name FROM mmst903 WHERE Bar_No = '仓B'"
                                         << QStringList{"中文码"};
        QTest::newRow("order without regard to case")
            << "SELECT Bar_No FROM mmst903 WHERE Bar_No < 'Z' ORDER BY Bar_No" << QStringList{"a001 ", "A002", "b001"};
        QTest::newRow("index seek on a code")
            << "SELECT COUNT(*) FROM mmst903 WHERE Bar_No >= 'B' AND Bar_No < 'C'" << QStringList{"1"};
    }
    void loadedExtensionComparesAsTheModule()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, rows);
        const QString extension = QDir(qEnvironmentVariable("ERP_BUILD_DIR")).filePath(QStringLiteral("erpcode"));
        QCOMPARE(sqlite3_enable_load_extension(m_db, 1), SQLITE_OK);
        char *error = nullptr;
        const int rc = sqlite3_load_extension(m_db, extension.toUtf8().constData(), nullptr, &error);
        const QString why = error ? QString::fromUtf8(error) : QString();
        sqlite3_free(error);
        QVERIFY2(rc == SQLITE_OK, qPrintable(why));
        QCOMPARE(query(m_db, sql.toUtf8().constData()), rows);
    }

    // The order the code indexes of every SQLite database are built in: it
    // must never move, or those indexes would no longer be in order.
    void codeOrderStaysAsIndexesHoldIt_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("case") << "m-01"
                              << "M-01" << 0;
        QTest::newRow("trailing blanks") << "M-01  "
                                         << "m-01" << 0;
        QTest::newRow("a leading blank counts") << " M"
                                                << "M" << -1;
        QTest::newRow("prefix first") << "M1"
                                      << "M10" << -1;
        QTest::newRow("ASCII folds to upper case") << "a"
                                                   << "_" << -1;
        QTest::newRow("digits before letters") << "9"
                                               << "a" << -1;
        QTest::newRow("non-ASCII after the difference: Unicode folding") << "a中"
                                                                         << "_中" << 1;
        QTest::newRow("non-ASCII in the longer one only") << "a"
                                                          << "_é" << 1;
        QTest::newRow("non-ASCII, case ignored") << "仓b"
                                                 << "仓B" << 0;
        QTest::newRow("empty before anything") << ""
                                               << "0" << -1;
    }
    void codeOrderStaysAsIndexesHoldIt()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const QByteArray x = a.toUtf8(), y = b.toUtf8();
        const auto sign = [](int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); };
        QCOMPARE(sign(erpCompareCodes(nullptr, int(x.size()), x.constData(), int(y.size()), y.constData())), order);
        QCOMPARE(sign(erpCompareCodes(nullptr, int(y.size()), y.constData(), int(x.size()), x.constData())), -order);
    }
};

QTEST_GUILESS_MAIN(TstErpCode)
#include "tst_erpcode.moc"
