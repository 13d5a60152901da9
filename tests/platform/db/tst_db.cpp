// The database layer: dialect texts, the schema reader, and what every
// backend must do alike (keys, transactions, bound values, code comparison).
#include "TestSupport.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Dialect.h"
#include "platform/db/LongSelect.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

class TstDb : public QObject
{
    Q_OBJECT

    Connection conn;

private slots:
    void initTestCase() { conn = TestDb::fresh(); }

    // ------------------------------------------------------------ dialect texts

    void topN_data()
    {
        QTest::addColumn<int>("backend");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sql server") << int(Backend::SqlServer) << "SELECT mtr_name FROM mmst611 WHERE mtr_no = ?"
                                    << "SELECT TOP 1 mtr_name FROM mmst611 WHERE mtr_no = ?";
        QTest::newRow("sql server distinct") << int(Backend::SqlServer) << "  select distinct User_Name FROM mmst002 "
                                             << "select distinct TOP 1 User_Name FROM mmst002";
        QTest::newRow("sqlite") << int(Backend::SQLite) << "SELECT a FROM t "
                                << "SELECT a FROM t LIMIT 1";
        QTest::newRow("postgres") << int(Backend::PostgreSQL) << "SELECT a FROM t ORDER BY a"
                                  << "SELECT a FROM t ORDER BY a LIMIT 1";
    }
    void topN()
    {
        QFETCH(int, backend);
        QFETCH(QString, select);
        QFETCH(QString, expected);
        QCOMPARE(Dialect::of(Backend(backend)).topN(select, 1), expected);
    }

    void sqlServerDdl()
    {
        const Schema s = Schema::parse(QStringLiteral("table Mmst412\n"
                                                      "  Rec_412  serial\n"
                                                      "  Rec_411  int notnull\n"
                                                      "  Mtr_No   code(30)   # a material code\n"
                                                      "  Mtr_Amt  decimal(18,4) default 0\n"
                                                      "  Remark   text(255)\n"
                                                      "  Flag     bit\n"
                                                      "  Upd_Date datetime\n"
                                                      "  index (Rec_411)\n"
                                                      "end\n"
                                                      "view v412\n"
                                                      "SELECT Rec_412 FROM Mmst412 # not a comment in a view\n"
                                                      "end\n"));
        const QStringList ddl = s.ddl(Dialect::of(Backend::SqlServer));
        QCOMPARE(ddl.size(), 3);
        QCOMPARE(ddl.at(0), QStringLiteral("CREATE TABLE Mmst412 (\n"
                                           "  Rec_412 INT IDENTITY(1,1) PRIMARY KEY,\n"
                                           "  Rec_411 INT NOT NULL,\n"
                                           "  Mtr_No NVARCHAR(30) COLLATE Chinese_PRC_CI_AS,\n"
                                           "  Mtr_Amt DECIMAL(18,4) DEFAULT 0,\n"
                                           "  Remark NVARCHAR(255),\n"
                                           "  Flag BIT,\n"
                                           "  Upd_Date DATETIME\n"
                                           ")"));
        QCOMPARE(ddl.at(1), QStringLiteral("CREATE INDEX ix_mmst412_1 ON Mmst412 (Rec_411)"));
        QCOMPARE(ddl.at(2),
                 QStringLiteral("CREATE VIEW v412 AS SELECT Rec_412 FROM Mmst412 # not a comment in a view"));
        QCOMPARE(Dialect::of(Backend::SqlServer)
                     .insertReturningKey(QStringLiteral("INSERT INTO Mmst412 (Rec_411, Mtr_Amt) VALUES (?, ?)"),
                                         QStringLiteral("Rec_412")),
                 QStringLiteral("INSERT INTO Mmst412 (Rec_411, Mtr_Amt) OUTPUT INSERTED.Rec_412 VALUES (?, ?)"));
    }

    // Seeded rows carry their keys: SQL Server takes them into an identity
    // column only between SET IDENTITY_INSERT ON and OFF, one table at a time,
    // and reads the seed's 'yyyy-mm-dd' dates by the login's language unless told.
    void seedStatementsPerServer_data()
    {
        QTest::addColumn<int>("backend");
        QTest::addColumn<QStringList>("expected");
        const QString keyed = QStringLiteral("INSERT INTO Mmst412 (Rec_412, Rec_411) VALUES\n  (7, 1), (8, 1)");
        const QString unkeyed = QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('a', 'b')");
        QTest::newRow("sqlite") << int(Backend::SQLite) << QStringList{keyed, unkeyed};
        QTest::newRow("postgres") << int(Backend::PostgreSQL)
                                  << QStringList{keyed, unkeyed,
                                                 QStringLiteral("SELECT setval(pg_get_serial_sequence('mmst412', "
                                                                "'rec_412'), COALESCE((SELECT MAX(rec_412) FROM "
                                                                "mmst412), 0) + 1, false)")};
        QTest::newRow("sql server") << int(Backend::SqlServer)
                                    << QStringList{QStringLiteral("SET DATEFORMAT ymd"),
                                                   QStringLiteral("SET IDENTITY_INSERT Mmst412 ON"),
                                                   keyed,
                                                   QStringLiteral("SET IDENTITY_INSERT Mmst412 OFF"),
                                                   unkeyed,
                                                   QStringLiteral("DBCC CHECKIDENT ('Mmst412', RESEED)")};
    }
    void seedStatementsPerServer()
    {
        QFETCH(int, backend);
        QFETCH(QStringList, expected);
        const Schema s =
            Schema::parse(QStringLiteral("table Mmst412\n  Rec_412 serial\n  Rec_411 int\nend\n"
                                         "table mmst909\n  Item_No text(40)\n  Item_Value text(40)\nend\n"));
        QTemporaryDir dir;
        QFile seed(dir.filePath(QStringLiteral("seed.sql")));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("-- two lines of one document\nINSERT INTO Mmst412 (Rec_412, Rec_411) VALUES\n  (7, 1), (8, 1);\n\n"
                   "INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('a', 'b');\n");
        seed.close();
        const QList<SeedStatement> got = s.seedStatements(Dialect::of(Backend(backend)), seed.fileName());
        QStringList texts;
        for (const SeedStatement &st : got)
            texts.append(st.text);
        QCOMPARE(texts, expected);
        // Errors point at the line the file's statement starts on.
        QCOMPARE(
            got.at(expected.indexOf(QStringLiteral("INSERT INTO Mmst412 (Rec_412, Rec_411) VALUES\n  (7, 1), (8, 1)")))
                .line,
            2);
    }

    void wholeSchemaForEveryServer()
    {
        const Schema &s = TestDb::schema();
        QVERIFY(s.table(QStringLiteral("mmst411")));
        QVERIFY(s.table(QStringLiteral("MMST381")));
        for (Backend b : {Backend::SQLite, Backend::PostgreSQL, Backend::SqlServer}) {
            const QStringList ddl = s.ddl(Dialect::of(b));
            QCOMPARE(ddl.filter(QRegularExpression(QStringLiteral("^CREATE TABLE "))).size(),
                     s.tables().size() + s.summaries().size());
            QCOMPARE(ddl.filter(QRegularExpression(QStringLiteral("^CREATE VIEW "))).size(), s.views().size());
        }
        // Every database-assigned key the module relies on.
        for (const char *key :
             {"Mmst411.Rec_411", "Mmst412.Rec_412", "mmst611.Rec_611", "mmst011.Rec_011", "mmst111.Rec_111",
              "mmst121.Rec_121", "mmst407.Rec_407", "mmst452.Rec_452", "mmst413.Rec_413"}) {
            const QStringList parts = QString::fromLatin1(key).split(QLatin1Char('.'));
            const TableDef *t = s.table(parts.at(0));
            QVERIFY2(t, key);
            QVERIFY2(t->column(parts.at(1)) && t->column(parts.at(1))->kind == ColumnKind::Serial, key);
        }
    }

    void schemaErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown type") << "table t\n  a varchar(3)\nend\n"
                                      << "line 2: not a column: a varchar(3)";
        QTest::newRow("code without length") << "table t\n  a code\nend\n"
                                             << "line 2: a needs a length";
        QTest::newRow("index on a missing column") << "table t\n  a int\n  index (b)\nend\n"
                                                   << "line 3: t has no column b";
        QTest::newRow("two serials") << "table t\n  a serial\n  b serial\nend\n"
                                     << "line 3: t has two serial columns";
        QTest::newRow("not closed") << "table t\n  a int\n"
                                    << "table t is not closed with 'end'";
        QTest::newRow("stray line") << "a int\n"
                                    << "line 1: expected 'table NAME', 'view NAME' or 'summary NAME ...': a int";
        const QString tables =
            QStringLiteral("table h\n  k int\n  s code(1)\nend\ntable l\n  k int\n  m code(9)\nend\n");
        QTest::newRow("summary of a table declared after it")
            << "summary c counts x of h by k where s = '2'\n  m code(9) from x.m\nend\n"
            << "line 1: summary c counts tables not declared before it";
        QTest::newRow("summary part of another table")
            << tables + "summary c counts l of h by k where s = '2'\n  m code(9) from t.m\nend\n"
            << "line 10: t is neither l nor h";
        QTest::newRow("summary part of a missing column")
            << tables + "summary c counts l of h by k where s = '2'\n  m code(9) from l.q\nend\n"
            << "line 10: l has no column q";
        QTest::newRow("summary condition on a missing column")
            << tables + "summary c counts l of h by k where t = '2'\n  m code(9) from l.m\nend\n"
            << "line 9: summary c names a column its tables lack";
        QTest::newRow("summary without parts") << tables + "summary c counts l of h by k where s = '2'\nend\n"
                                               << "line 10: summary c has no key parts";
    }
    void schemaErrors()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        try {
            Schema::parse(text);
            QFAIL("accepted a broken schema");
        } catch (const ErpError &e) {
            QVERIFY2(e.description().endsWith(message), qPrintable(e.description()));
        }
    }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("integer") << 6.0 << "6";
        QTest::newRow("negative") << -5.0 << "-5";
        QTest::newRow("small, no exponent") << 0.00001 << "0.00001";
        QTest::newRow("fraction") << 2.5 << "2.5";
        QTest::newRow("fifteen digits") << 10.00004 << "10.00004";
        // Every double has a text, the ends of the range and the non-numbers included.
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "inf";
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << "-inf";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "nan";
        QTest::newRow("largest") << std::numeric_limits<double>::max()
                                 << QString::number(std::numeric_limits<double>::max(), 'f', 0);
        QTest::newRow("sixteen whole digits") << 1234567890123456.0 << "1234567890123456";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(::numberText(value), expected);
    }

    // ------------------------------------------------------------ the backend under test

    void keysAndQuotes()
    {
        const QString awkward = QStringLiteral("O'Neil \"双\" ; DROP TABLE mmst611; --");
        const qint64 first = Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Remark) VALUES (?, ?)"))
                                 .bind(QStringLiteral("K-1"))
                                 .bind(awkward)
                                 .insert(QStringLiteral("Rec_411"));
        const qint64 second = Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Remark) VALUES (?, ?)"))
                                  .bind(QStringLiteral("K-2"))
                                  .bind(QString())
                                  .insert(QStringLiteral("Rec_411"));
        QVERIFY(first > 0);
        QCOMPARE(second, first + 1);
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT Inv_No, Remark FROM Mmst411 WHERE Rec_411 = ?")).bind(first).select();
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(rs.text(0, QStringLiteral("REMARK")), awkward);
        QCOMPARE(rs.text(0, QStringLiteral("inv_no")), QStringLiteral("K-1"));
        QVERIFY(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst611")).scalar().isValid());
    }

    void codesIgnoreCaseAndTrailingBlanks()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (mtr_no, mtr_name) VALUES ('Zip-5a', 'zip')"));
        for (const char *key : {"ZIP-5A", "zip-5a   ", "Zip-5a"})
            QCOMPARE(Sql(conn, QStringLiteral("SELECT mtr_name FROM mmst611 WHERE mtr_no = ?"))
                         .bind(QString::fromLatin1(key))
                         .scalar()
                         .toString(),
                     QStringLiteral("zip"));
        const QString like = QStringLiteral("SELECT mtr_name FROM mmst611 WHERE ") +
                             conn.dialect().codeLike(QStringLiteral("mtr_no")) + QStringLiteral(" ?");
        QCOMPARE(Sql(conn, like).bind(QStringLiteral("zip-%")).select().rowCount(), 1);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT mtr_no FROM mmst611 WHERE mtr_no = 'Zip-5b'")).select().rowCount(),
                 0);
    }

    void transactionRollsBackOnFailure()
    {
        try {
            Transaction tx(conn);
            TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No) VALUES ('T-ROLLBACK')"));
            TestDb::exec(conn, QStringLiteral("INSERT INTO no_such_table VALUES (1)"));
            tx.commit();
            QFAIL("the failing statement did not throw");
        } catch (const ErpError &e) {
            QVERIFY(e.number() != 0);
            QVERIFY(!e.description().isEmpty());
        }
        QCOMPARE(
            Sql(conn, QStringLiteral("SELECT Inv_No FROM Mmst411 WHERE Inv_No = 'T-ROLLBACK'")).select().rowCount(), 0);
        // The connection is usable again at once.
        {
            Transaction tx(conn);
            TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No) VALUES ('T-COMMIT')"));
            tx.commit();
        }
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Inv_No FROM Mmst411 WHERE Inv_No = 't-commit'")).select().rowCount(),
                 1);
    }

    void columnsOfATable()
    {
        const ResultSet cols = Sql(conn, conn.dialect().columnsQuery()).bind(QStringLiteral("Mmst411")).select();
        QStringList names;
        for (qint64 i = 0; i < cols.rowCount(); ++i)
            names.append(cols.text(i, 0).toLower());
        QCOMPARE(names.first(), QStringLiteral("rec_411"));
        QVERIFY(names.contains(QStringLiteral("inv_no")));
        QVERIFY(names.contains(QStringLiteral("lock")));
    }

    void serverClock()
    {
        const QDateTime server = Sql(conn, conn.dialect().serverNowQuery()).scalar().toDateTime();
        const QString text = valueText(Sql(conn, conn.dialect().serverNowQuery()).scalar());
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}:\\d{2})?$")).match(text).hasMatch(),
            qPrintable(text));
        if (server.isValid())
            QVERIFY(qAbs(server.secsTo(QDateTime::currentDateTime())) < 120);
    }

    // What each connection sets up for itself, as a new session sees it.
    void sessionSettings()
    {
        if (conn.backend() == Backend::SQLite) {
            QCOMPARE(Sql(conn, QStringLiteral("PRAGMA journal_mode")).scalar().toString(), QStringLiteral("wal"));
            QCOMPARE(Sql(conn, QStringLiteral("PRAGMA cache_size")).scalar().toInt(), -32768);
        } else {
            QCOMPARE(Sql(conn, QStringLiteral("SHOW jit")).scalar().toString(), QStringLiteral("off"));
            QCOMPARE(Sql(conn, QStringLiteral("SHOW client_min_messages")).scalar().toString(),
                     QStringLiteral("warning"));
        }
    }

    void commandTimeout()
    {
        Connection other = Connection::open(conn.url().isEmpty() ? QString() : conn.url());
        if (conn.backend() == Backend::SQLite) {
            // A writer waits for the lock no longer than the time-out.
            Transaction holder(conn, Transaction::Write);
            TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No) VALUES ('T-HOLD')"));
            other.setCommandTimeout(1);
            QElapsedTimer t;
            t.start();
            QVERIFY_THROWS_EXCEPTION(ErpError, Transaction(other, Transaction::Write));
            QVERIFY(t.elapsed() < 10000);
            other.resetCommandTimeout();
            QCOMPARE(Sql(other, QStringLiteral("PRAGMA busy_timeout")).scalar().toInt(),
                     Connection::kDefaultLockWaitSeconds * 1000);
        } else {
            other.setCommandTimeout(1);
            try {
                Sql(other, QStringLiteral("SELECT pg_sleep(5)")).select();
                QFAIL("the statement outlived its time-out");
            } catch (const ErpError &e) {
                QCOMPARE(e.number(), ErpErrorNumber::Timeout);
            }
            // Back to the server's default: no limit.
            other.resetCommandTimeout();
            QVERIFY(Sql(other, QStringLiteral("SELECT pg_sleep(1.5)")).select().rowCount() == 1);
        }
        other.close();
    }

    void seedDatesFollowTheDay()
    {
        Environment::setNow(QDateTime(QDate(2027, 3, 1), QTime(9, 0)));
        QTemporaryDir dir;
        const QString seed = dir.filePath(QStringLiteral("seed.sql"));
        QFile f(seed);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("-- documents of the last days\n"
                "INSERT INTO Mmst411 (Inv_No, Inv_Date, Remark) VALUES\n"
                "  ('S-1', '{today-1}', 'a {today} remark'),\n"
                "  ('S-2', '{today}', '');\n");
        f.close();
        TestDb::schema().seed(conn, seed);
        Environment::setNow({});
        const ResultSet rs =
            Sql(conn,
                QStringLiteral(
                    "SELECT Inv_No, Inv_Date, Remark FROM Mmst411 WHERE Inv_No IN ('S-1', 'S-2') ORDER BY Inv_No"))
                .select();
        QCOMPARE(rs.rowCount(), 2);
        QCOMPARE(rs.text(0, 1), QStringLiteral("2027-02-28"));
        QCOMPARE(rs.text(0, 2), QStringLiteral("a 2027-03-01 remark"));
        QCOMPARE(rs.text(1, 1), QStringLiteral("2027-03-01"));
    }

    // A summary's table and triggers on SQL Server: the rows a statement
    // inserted count, the rows it deleted come out, netted per key in one
    // MERGE that drops a key reaching zero; a parent update that changes
    // neither the condition, the link nor a part leaves it alone.
    void sqlServerSummary()
    {
        const Schema s = Schema::parse(QStringLiteral("table h\n  k serial\n  s code(1)\n  f code(1)\nend\n"
                                                      "table l\n  k int\n  m code(9)\nend\n"
                                                      "summary c counts l of h by k where s = '2'\n"
                                                      "  n code(1) from h.f or '0'\n  m code(9) from l.m\nend\n"));
        const QStringList ddl = s.ddl(Dialect::of(Backend::SqlServer));
        QCOMPARE(ddl.size(), 5);
        QCOMPARE(ddl.at(2), QStringLiteral("CREATE TABLE c (\n"
                                           "  n NVARCHAR(1) COLLATE Chinese_PRC_CI_AS NOT NULL,\n"
                                           "  m NVARCHAR(9) COLLATE Chinese_PRC_CI_AS NOT NULL,\n"
                                           "  Lines INT NOT NULL DEFAULT 0,\n"
                                           "  PRIMARY KEY (n, m)\n"
                                           ")"));
        QVERIFY(
            ddl.at(3).startsWith(QStringLiteral("CREATE TRIGGER tr_c_c ON l AFTER INSERT, UPDATE, DELETE AS BEGIN")));
        QVERIFY(ddl.at(3).contains(QStringLiteral(
            "SELECT COALESCE(p.f, '0') COLLATE Chinese_PRC_CI_AS AS n, c.m AS m, 1 AS n FROM inserted c INNER JOIN h p "
            "ON p.k = c.k WHERE p.s = '2' AND c.m IS NOT NULL UNION ALL SELECT COALESCE(p.f, '0') COLLATE "
            "Chinese_PRC_CI_AS, c.m, -1 FROM deleted c")));
        QVERIFY(ddl.at(3).contains(QStringLiteral("WHEN MATCHED AND t.Lines + s.n <= 0 THEN DELETE")));
        QVERIFY(ddl.at(4).startsWith(QStringLiteral("CREATE TRIGGER tr_c_p ON h AFTER INSERT, UPDATE, DELETE AS BEGIN "
                                                    "SET NOCOUNT ON; IF EXISTS (SELECT 1 FROM inserted) AND EXISTS "
                                                    "(SELECT 1 FROM deleted) AND NOT (UPDATE(k) OR UPDATE(s) OR "
                                                    "UPDATE(f)) RETURN;")));
    }

    // The counts of approved lines the database keeps itself, whoever
    // writes: rows of each key as the key compares (without case), lines
    // without a manufacturing order left out, a line written before its
    // document counted once the document is, and every change of status,
    // nature or line followed.
    void summaryFollowsEveryWrite()
    {
        const auto kept = [this] {
            QStringList out;
            const ResultSet rs =
                Sql(conn, QStringLiteral("SELECT Nature, Mo_No, Lines FROM Mmst412_Mo ORDER BY Nature, Mo_No"))
                    .select();
            for (qint64 r = 0; r < rs.rowCount(); ++r)
                out << QStringLiteral("%1 %2 %3")
                           .arg(rs.text(r, 0).trimmed(), rs.text(r, 1).trimmed().toUpper(), rs.text(r, 2));
            return out;
        };
        const auto header = [this](int key, const char *status, const QVariant &outFlag) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst411 (Rec_411, Inv_No, Status, Out_Flag) VALUES (?, ?, ?, ?)"),
                         {key, QStringLiteral("S%1").arg(key), QString::fromLatin1(status), outFlag});
        };
        const auto line = [this](int doc, const QVariant &mo) {
            TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Mo_No) VALUES (?, 1, ?)"),
                         {doc, mo});
        };
        const QVariant null(QMetaType::fromType<QString>());
        header(901, "2", null);
        line(901, QStringLiteral("MO1"));
        line(901, QStringLiteral("mo1"));
        line(901, QStringLiteral("MO2"));
        line(901, null);
        line(902, QStringLiteral("MO2")); // before its document
        header(902, "2", QStringLiteral("1"));
        header(903, "0", QStringLiteral("0"));
        line(903, QStringLiteral("MO3"));
        QCOMPARE(kept(), (QStringList{"0 MO1 2", "0 MO2 1", "1 MO2 1"}));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Rec_411 = 903"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '6' WHERE Rec_411 = 902"));
        QCOMPARE(kept(), (QStringList{"0 MO1 2", "0 MO2 1", "0 MO3 1"}));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Out_Flag = '1' WHERE Rec_411 = 903"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Mo_No = 'MO2' WHERE Rec_411 = 901 AND %1 = 'mo1'")
                               .arg(conn.dialect().exactText(QStringLiteral("Mo_No"))));
        QCOMPARE(kept(), (QStringList{"0 MO1 1", "0 MO2 2", "1 MO3 1"}));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Rec_411 = 903 WHERE Rec_411 = 901 AND Mo_No = 'MO1'"));
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Rec_411 = 901"));
        QCOMPARE(kept(), (QStringList{"1 MO1 1", "1 MO3 1"}));
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = 903"));
        QCOMPARE(kept(), QStringList());
        for (const SummaryDef &summary : TestDb::schema().summaries())
            QCOMPARE(Schema::summaryDifferences(conn, summary), QStringList());
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 > 900"));
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Rec_411 > 900"));
    }

    // A statement that runs long can be watched and stopped; one that ends
    // brings its rows.
    void longStatements()
    {
        const QString slow = conn.backend() == Backend::PostgreSQL
                                 ? QStringLiteral("SELECT pg_sleep(30)")
                                 : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                                                  "WHERE x < 1000000000) SELECT COUNT(*) FROM c");
        int calls = 0;
        QElapsedTimer clock;
        clock.start();
        const std::optional<ResultSet> stopped = selectWithProgress(conn, Statement(slow), 600, [&](qint64 elapsed) {
            ++calls;
            return elapsed < 200;
        });
        QVERIFY(!stopped.has_value());
        QVERIFY(calls >= 2);
        QVERIFY2(clock.elapsed() < 20000, "the statement was not stopped");
        const std::optional<ResultSet> rows =
            selectWithProgress(conn, Statement(QStringLiteral("SELECT ? + 1"), {41}), 600, [](qint64) { return true; });
        QVERIFY(rows.has_value());
        QCOMPARE(rows->value(0, 0).toInt(), 42);
        // The connection is left as it was.
        QCOMPARE(Sql(conn, QStringLiteral("SELECT 7")).scalar().toInt(), 7);
        QVERIFY_THROWS_EXCEPTION(ErpError,
                                 selectWithProgress(conn, Statement(QStringLiteral("SELECT nonsense FROM nowhere")),
                                                    600, [](qint64) { return true; }));
    }

    // A database whose planner statistics are missing, or describe a table a
    // tenth of its size, is analysed when a connection opens it.
    void statisticsGatheredAtOpen()
    {
        if (conn.backend() != Backend::SQLite)
            QSKIP("SQLite only: the servers gather their own");
        TestDb::exec(conn, QStringLiteral("CREATE TABLE grown (a INTEGER, b INTEGER)"));
        TestDb::exec(conn, QStringLiteral("CREATE INDEX grown_b ON grown (b)"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO grown (a, b) WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                                          "SELECT x + 1 FROM c WHERE x < 50) SELECT x, x % 7 FROM c"));
        TestDb::exec(conn, QStringLiteral("ANALYZE grown"));
        const auto described = [](const Connection &c) {
            return Sql(c, QStringLiteral("SELECT stat FROM sqlite_stat1 WHERE tbl = 'grown'"))
                .scalar()
                .toString()
                .section(QLatin1Char(' '), 0, 0)
                .toLongLong();
        };
        QCOMPARE(described(conn), 50);
        TestDb::exec(conn, QStringLiteral("INSERT INTO grown (a, b) WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                                          "SELECT x + 1 FROM c WHERE x < 5000) SELECT x, x % 7 FROM c"));
        Connection again = Connection::open(conn.url());
        QVERIFY(described(again) > 1000);
        again.close();
        // Statistics deleted: gathered again.
        TestDb::exec(conn, QStringLiteral("DELETE FROM sqlite_stat1 WHERE tbl = 'grown'"));
        Connection third = Connection::open(conn.url());
        QVERIFY(described(third) > 1000);
        third.close();
        TestDb::exec(conn, QStringLiteral("DROP TABLE grown"));
    }

    void badAddresses()
    {
        QVERIFY_THROWS_EXCEPTION(ErpError, Connection::open(QStringLiteral("mysql://x")));
        QVERIFY_THROWS_EXCEPTION(ErpError, Connection::open(QStringLiteral("sqlite:/no/such/folder/x.db")));
        Connection closed;
        QVERIFY(!closed.isOpen());
        QVERIFY_THROWS_EXCEPTION(ErpError, Sql(closed, QStringLiteral("SELECT 1")).select());
    }
};

QTEST_GUILESS_MAIN(TstDb)
#include "tst_db.moc"
