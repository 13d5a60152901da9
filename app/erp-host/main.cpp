// erp-host: the stand-alone ERP shell for the material issue module.
//   erp-host [--db URL] [--company NAME]   open the host on a database
//   erp-host --init URL                     create and seed a database, then exit
//   erp-host --upgrade URL                  bring a database made before up to the schema, then exit
//   erp-host --db URL --print FORMID:INV_NO[:REPORT_CAPTION] --pdf FILE
//                                           print a document's report into a PDF file, then exit
//   erp-host --generate URL [--scale N] [--history H] [--seed S]
//                                           create a database as --init does and fill it with a
//                                           factory of size N (1: three years of one factory)
//                                           and H times its three years of history
// The module is loaded from its shared library (ERP_MODULE names another
// file) and reached only through its factory and public class.
#include "HostWindow.h"

#include "generator/FactoryGenerator.h"

#include "entry/ClsBarManuBill.h"
#include "platform/core/ErpError.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>

#include <cstdio>

namespace {

int initDatabase(const QString &url)
{
    const QString dir = schemaDirectory();
    const Schema schema = Schema::load(QDir(dir).filePath(QStringLiteral("erp.schema")));
    if (url.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
        const QString path = url.mid(7);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
    }
    Connection conn = Connection::open(url);
    if (conn.backend() != Backend::SQLite) {
        Transaction tx(conn);
        for (const ViewDef &v : schema.views())
            Sql(conn, conn.dialect().dropView(v.name)).exec();
        for (const TableDef &t : schema.tables())
            Sql(conn, conn.dialect().dropTable(t.name)).exec();
        tx.commit();
    }
    schema.create(conn);
    schema.seed(conn, QDir(dir).filePath(QStringLiteral("seed/demo.sql")));
    for (const QString &line : schema.upgrade(conn))
        std::printf("%s\n", qPrintable(line));
    refreshStatistics(conn);
    conn.close();
    return 0;
}

// A new database as --init makes it, filled with a factory of that size.
int generateDatabase(const QString &url, double scale, int history, quint64 seed)
{
    initDatabase(url);
    Connection conn = Connection::open(url);
    QElapsedTimer clock;
    clock.start();
    FactoryScale options;
    options.scale = scale;
    options.history = history;
    options.summaries = Schema::load(QDir(schemaDirectory()).filePath(QStringLiteral("erp.schema"))).summaries();
    options.seed = seed;
    options.progress = [&clock](const QString &line) {
        std::printf("%7.1f s  %s\n", double(clock.elapsed()) / 1000.0, qPrintable(line));
        std::fflush(stdout);
    };
    const FactoryCounts c = generateFactory(conn, options);
    conn.close();
    std::printf(
        "generated %s at scale %g, history %d, in %.1f s: %lld materials, %lld orders, %lld manufacturing orders, "
        "%lld outsourcing orders, %lld receipts, %lld balances, %lld documents, %lld lines, "
        "%lld journal rows\n",
        qPrintable(url), scale, history, double(clock.elapsed()) / 1000.0, c.materials, c.orders, c.manufacturingOrders,
        c.outsourcingOrders, c.receipts, c.balances, c.documents, c.lines, c.journalRows);
    return 0;
}

// Folds what a newer index forbids (two balance rows of one stock key) and
// creates the indexes the database lacks, with their statistics; says what
// it did.
int upgradeDatabase(const QString &url)
{
    const Schema schema = Schema::load(QDir(schemaDirectory()).filePath(QStringLiteral("erp.schema")));
    Connection conn = Connection::open(url);
    const QStringList report = schema.upgrade(conn);
    // A new index serves the planner only once it has statistics.
    if (!report.isEmpty())
        refreshStatistics(conn);
    conn.close();
    for (const QString &line : report)
        std::printf("%s\n", qPrintable(line));
    if (report.isEmpty())
        std::printf("%s is up to date\n", qPrintable(url));
    return 0;
}

// ERP_DB, else the demo database next to the host.
QString defaultDatabaseUrl()
{
    const QString env = qEnvironmentVariable("ERP_DB");
    if (!env.isEmpty())
        return env;
    return QStringLiteral("sqlite:") +
           QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("erp-demo.db"));
}

// ERP_MODULE, else the library next to the host, else the one this host was built with.
std::unique_ptr<ClsBarManuBill> loadModule()
{
    QStringList candidates;
    if (qEnvironmentVariableIsSet("ERP_MODULE"))
        candidates << qEnvironmentVariable("ERP_MODULE");
    candidates << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libbarmanubill.so"))
               << QStringLiteral(ERP_MODULE_BUILT);
    QString why;
    for (const QString &file : candidates) {
        if (!QFileInfo::exists(file))
            continue;
        // Never unloaded: its windows live as long as the host.
        auto *library = new QLibrary(file);
        auto create = reinterpret_cast<CreateClsBarManuBillFn>(library->resolve("CreateClsBarManuBill"));
        if (create)
            return std::unique_ptr<ClsBarManuBill>(create());
        why = library->errorString();
        delete library;
    }
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("erp-host"),
                   why.isEmpty() ? QStringLiteral("module library not found: ") + candidates.join(QStringLiteral(", "))
                                 : why);
}

} // namespace

int main(int argc, char **argv)
{
    // Creating a database needs no display.
    for (int i = 1; i < argc; ++i)
        if ((qstrcmp(argv[i], "--init") == 0 || qstrcmp(argv[i], "--upgrade") == 0 ||
             qstrcmp(argv[i], "--print") == 0 || qstrcmp(argv[i], "--generate") == 0) &&
            !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("erp-host"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ERP host for the production material module"));
    parser.addHelpOption();
    QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Database to open."), QStringLiteral("URL"),
                          defaultDatabaseUrl());
    QCommandLineOption init(QStringLiteral("init"), QStringLiteral("Create and seed a database, then exit."),
                            QStringLiteral("URL"));
    QCommandLineOption upgrade(QStringLiteral("upgrade"),
                               QStringLiteral("Bring a database made before up to the schema, then exit."),
                               QStringLiteral("URL"));
    QCommandLineOption generate(QStringLiteral("generate"),
                                QStringLiteral("Create a database and fill it with a generated factory, then exit."),
                                QStringLiteral("URL"));
    QCommandLineOption scale(QStringLiteral("scale"), QStringLiteral("With --generate: the factory's size (1: full)."),
                             QStringLiteral("N"), QStringLiteral("1"));
    QCommandLineOption history(QStringLiteral("history"),
                               QStringLiteral("With --generate: how many times three years of documents (1: three)."),
                               QStringLiteral("H"), QStringLiteral("1"));
    QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("With --generate: the seed of its numbers."),
                            QStringLiteral("S"), QStringLiteral("20261209"));
    QCommandLineOption company(QStringLiteral("company"), QStringLiteral("Company display name."),
                               QStringLiteral("NAME"), QStringLiteral("华南示范箱包有限公司"));
    QCommandLineOption shots(QStringLiteral("screenshot"),
                             QStringLiteral("Open every menu entry, save pictures of the windows into DIR, then exit."),
                             QStringLiteral("DIR"));
    QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Who signs in."), QStringLiteral("USER_ID"));
    QCommandLineOption show(
        QStringLiteral("show"),
        QStringLiteral("With --screenshot: the numbers to show in the issue, return and supplementary windows."),
        QStringLiteral("NO,NO,NO"));
    QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("Folder of the users' settings files."),
                                QStringLiteral("DIR"));
    QCommandLineOption print(
        QStringLiteral("print"),
        QStringLiteral("Print a document's report (window code 40B, 40C or 40D, the document "
                       "number, optionally the report's caption) into the file of --pdf, then exit."),
        QStringLiteral("FORMID:INV_NO[:REPORT_CAPTION]"));
    QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("With --print: the PDF file to write."),
                           QStringLiteral("FILE"));
    parser.addOptions(
        {db, init, upgrade, generate, scale, history, seed, company, shots, user, show, settings, print, pdf});
    parser.process(app);

    try {
        if (parser.isSet(init)) {
            initDatabase(parser.value(init));
            std::printf("created %s\n", qPrintable(parser.value(init)));
            return 0;
        }
        if (parser.isSet(generate)) {
            bool scaleOk = false;
            bool seedOk = false;
            bool historyOk = false;
            const double n = parser.value(scale).toDouble(&scaleOk);
            const int h = parser.value(history).toInt(&historyOk);
            const quint64 s = parser.value(seed).toULongLong(&seedOk);
            if (!scaleOk || !(n > 0) || n > 100 || !seedOk || !historyOk || h < 1 || h > 20) {
                std::fprintf(stderr, "erp-host: --scale takes a number above 0 (at most 100), --history a whole "
                                     "number from 1 to 20, --seed a whole number\n");
                return 2;
            }
            return generateDatabase(parser.value(generate), n, h, s);
        }
        if (parser.isSet(upgrade))
            return upgradeDatabase(parser.value(upgrade));
        Connection conn = Connection::open(parser.value(db));
        if (parser.isSet(print)) {
            // FORMID:INV_NO[:CAPTION]; the caption may itself hold colons.
            const QString what = parser.value(print);
            const qsizetype first = what.indexOf(QLatin1Char(':'));
            const qsizetype second = first < 0 ? -1 : what.indexOf(QLatin1Char(':'), first + 1);
            if (first <= 0 || !parser.isSet(pdf)) {
                std::fprintf(stderr, "erp-host: --print FORMID:INV_NO[:REPORT_CAPTION] --pdf FILE\n");
                return 2;
            }
            const QString formId = what.left(first);
            const QString number = second < 0 ? what.mid(first + 1) : what.mid(first + 1, second - first - 1);
            const QString caption = second < 0 ? QString() : what.mid(second + 1);
            const QString failure = loadModule()->PrintDocument(conn, formId, number, caption, parser.value(pdf),
                                                                parser.value(user), parser.value(company));
            conn.close();
            if (!failure.isEmpty()) {
                std::fprintf(stderr, "erp-host: %s\n", qPrintable(failure));
                return 1;
            }
            std::printf("printed %s into %s\n", qPrintable(what), qPrintable(parser.value(pdf)));
            return 0;
        }
        int status = 0;
        {
            HostWindow window(conn, parser.value(company), loadModule());
            if (parser.isSet(user))
                window.selectUser(parser.value(user));
            if (parser.isSet(settings))
                window.setSettingsFolder(parser.value(settings));
            window.show();
            if (parser.isSet(shots))
                status = window.saveScreenshots(parser.value(shots),
                                                parser.value(show).split(QLatin1Char(','), Qt::SkipEmptyParts))
                             ? 0
                             : 1;
            else
                status = app.exec();
        }
        // Closed once the windows are gone: SQLite keeps its planner's
        // statistics up to date as a connection closes.
        conn.close();
        return status;
    } catch (const ErpError &e) {
        std::fprintf(stderr, "erp-host: %s\n", qPrintable(e.description()));
        return 1;
    }
}
