// The database layer: dialect texts, the schema reader, and what every
// backend must do alike (keys, transactions, bound values, code comparison).
#include "TestSupport.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Dialect.h"
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
            QCOMPARE(ddl.filter(QRegularExpression(QStringLiteral("^CREATE TABLE "))).size(), s.tables().size());
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
                                    << "line 1: expected 'table NAME' or 'view NAME': a int";
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
