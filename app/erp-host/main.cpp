// erp-host: the stand-alone ERP shell for the material issue module.
//   erp-host [--db URL] [--company NAME]   open the host on a database
//   erp-host --init URL                     create and seed a database, then exit
//   erp-host --upgrade URL                  bring a database made before up to the schema, then exit
//   erp-host --db URL --print FORMID:INV_NO[:REPORT_CAPTION] --pdf FILE
//                                           print a document's report into a PDF file, then exit
//   erp-host --generate URL [--scale N] [--eras E] [--seed S]
//                                           create a database as --init does and fill it with a
//                                           factory of size N (1: three years of one factory)
//                                           and E times its three years of history
//   erp-host --verify URL [--json]          check the stock ledger; exit 0 clean, 1 findings, 2 not run
//   erp-host --repair URL [--yes]           rebuild balances from the journal after confirmation
//   erp-host --history URL FORMID:INV_NO    a document's history
//   erp-host --version                      the version, then exit
// Every option is listed in the man page, which is made from --help.
// The module is loaded from its shared library (ERP_MODULE names another
// file) and reached only through its factory and public class.
#include "HostWindow.h"

#include "generator/FactoryGenerator.h"

#include "entry/ClsBarManuBill.h"
#include "platform/core/ErpError.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/QtTranslations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

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
        "generated %s at scale %g, eras %d, in %.1f s: %lld materials, %lld orders, %lld manufacturing orders, "
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

std::unique_ptr<ClsBarManuBill> loadModule();

// A terminal sees each table as it is read; a pipe or a file gets the report alone.
ClsBarManuBill::ToolProgress terminalProgress()
{
    if (!::isatty(::fileno(stderr)))
        return {};
    return [](const QString &line) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
    };
}

// The database a tool works on; a tool never makes one (SQLite would make
// an empty file). Empty, with the reason told, when it cannot be opened.
Connection openExisting(const QString &url)
{
    if (url.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive) && !QFileInfo::exists(url.mid(7))) {
        std::fprintf(stderr, "erp-host: no database at %s\n", qPrintable(url.mid(7)));
        return {};
    }
    try {
        return Connection::open(url);
    } catch (const ErpError &e) {
        std::fprintf(stderr, "erp-host: %s\n", qPrintable(e.description()));
        return {};
    }
}

int verifyLedger(const QString &url, bool json)
{
    Connection conn = openExisting(url);
    if (!conn.isValid())
        return 2;
    QString out;
    const int status = loadModule()->VerifyLedger(conn, json, terminalProgress(), out);
    conn.close();
    std::fputs(qPrintable(out), status == 2 ? stderr : stdout);
    return status;
}

int repairLedger(const QString &url, const QString &userId, bool yes)
{
    Connection conn = openExisting(url);
    if (!conn.isValid())
        return 2;
    const bool terminal = ::isatty(::fileno(stdin)) && ::isatty(::fileno(stderr));
    // The plan is shown before anything changes; only yes (or --yes) goes on.
    qsizetype shown = 0;
    const auto confirm = [yes, terminal, &shown](const QString &plan) {
        std::fputs(qPrintable(plan), stdout);
        shown = plan.size();
        std::fflush(stdout);
        if (yes)
            return true;
        if (!terminal) {
            std::fprintf(stderr, "erp-host: --repair asks before it changes anything: answer on a terminal, "
                                 "or give --yes\n");
            return false;
        }
        std::fprintf(stderr, "Change these balance rows? [y/N] ");
        std::fflush(stderr);
        std::string answer;
        std::getline(std::cin, answer);
        return answer == "y" || answer == "Y" || answer == "yes";
    };
    QString out;
    const int status = loadModule()->RepairLedger(conn, userId, confirm, terminalProgress(), out);
    conn.close();
    // The plan was shown when it was asked about.
    std::fputs(qPrintable(out.mid(shown)), stdout);
    return status;
}

int documentHistory(const QString &url, const QString &what, bool json)
{
    const qsizetype colon = what.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == what.size() - 1) {
        std::fprintf(stderr, "erp-host: --history URL FORMID:INV_NO (e.g. 40B:LL261207001)\n");
        return 2;
    }
    Connection conn = openExisting(url);
    if (!conn.isValid())
        return 2;
    QString out;
    const int status = loadModule()->ListHistory(conn, what.left(colon), what.mid(colon + 1), json, out);
    conn.close();
    std::fputs(qPrintable(out), status == 2 ? stderr : stdout);
    return status;
}

// The user's own demo database (~/.local/share/erp-host/erp-demo.db): the
// host's folder may be a system folder the user cannot write.
QString demoDatabaseFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("erp-demo.db"));
}

// ERP_DB, else the user's demo database.
QString defaultDatabaseUrl()
{
    const QString env = qEnvironmentVariable("ERP_DB");
    return env.isEmpty() ? QStringLiteral("sqlite:") + demoDatabaseFile() : env;
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
        // Never unloaded, not even when Qt cleans up at exit: its windows and
        // the types it registered with Qt live as long as the host. The
        // QLibrary object itself may go; the code stays.
        QLibrary library(file);
        library.setLoadHints(QLibrary::PreventUnloadHint);
        auto create = reinterpret_cast<CreateClsBarManuBillFn>(library.resolve("CreateClsBarManuBill"));
        if (create)
            return std::unique_ptr<ClsBarManuBill>(create());
        why = library.errorString();
    }
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("erp-host"),
                   why.isEmpty() ? QStringLiteral("module library not found: ") + candidates.join(QStringLiteral(", "))
                                 : why);
}

} // namespace

int main(int argc, char **argv)
{
    // Creating a database, printing to a file or telling the version or the
    // options needs no display.
    const QList<QByteArray> headless{"--init", "--upgrade", "--print",    "--generate", "--version", "-v",
                                     "--help", "-h",        "--help-all", "--verify",   "--repair",  "--history"};
    for (int i = 1; i < argc; ++i)
        if (headless.contains(QByteArray(argv[i])) && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("erp-host"));
    QApplication::setApplicationVersion(QStringLiteral(ERP_VERSION));
    // The host holds the SQLite file open: no dialog of the process may read it.
    FileDialogs::guardProcess();
    // The workstation's language, for Qt's own buttons and dialogs too.
    QLocale::setDefault(QLocale::system());
    QtTranslations::install(QLocale::system());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ERP host for the production material module"));
    parser.addHelpOption();
    parser.addVersionOption();
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
    QCommandLineOption eras(QStringLiteral("eras"),
                            QStringLiteral("With --generate: how many times three years of documents (1: three)."),
                            QStringLiteral("E"), QStringLiteral("1"));
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
    QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("Check the stock ledger in one read transaction, then exit: each balance against the sum of "
                       "its journal rows, one balance row per key, no negative stock unless allowed, every approved "
                       "or closed document's journal rows against its lines, no journal rows of open or deleted "
                       "documents, no lines without a header, locked headers and their holders, and average costs "
                       "where the journal gives them. Prints a summary and one line per finding; the exit status "
                       "is 0 when clean, 1 with findings and 2 when the check could not run."),
        QStringLiteral("URL"));
    QCommandLineOption repair(
        QStringLiteral("repair"),
        QStringLiteral("Rebuild the stock balances from the journal, then exit: prints what it would change "
                       "(balances set to their journal's sum, duplicate rows of a key merged, empty balances "
                       "removed), asks on a terminal (or goes on with --yes) and changes it all in one transaction. "
                       "Refuses while a header is locked or a posting runs; never writes journal rows or "
                       "documents. Exit status as --verify's, 2 when refused or not confirmed."),
        QStringLiteral("URL"));
    QCommandLineOption history(
        QStringLiteral("history"),
        QStringLiteral("Print the history of the document FORMID:INV_NO (window code 40B, 40C or 40D and the "
                       "document number, given after the address): who created, changed, approved, reset, "
                       "printed or deleted it and when, then exit."),
        QStringLiteral("URL"));
    QCommandLineOption json(QStringLiteral("json"),
                            QStringLiteral("With --verify or --history: print the report as JSON."));
    QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("With --repair: change without asking."));
    parser.addOptions({db, init, upgrade, generate, scale, eras, seed, company, shots, user, show, settings, print, pdf,
                       verify, repair, history, json, yes});
    parser.addPositionalArgument(QStringLiteral("FORMID:INV_NO"), QStringLiteral("With --history: the document."),
                                 QStringLiteral("[FORMID:INV_NO]"));
    parser.process(app);

    try {
        // The tools say 2 for whatever keeps them from running (the module
        // not found among it), so that 1 always means findings.
        if (parser.isSet(verify) || parser.isSet(repair) || parser.isSet(history)) {
            try {
                if (parser.isSet(verify))
                    return verifyLedger(parser.value(verify), parser.isSet(json));
                if (parser.isSet(repair))
                    return repairLedger(parser.value(repair), parser.value(user), parser.isSet(yes));
                return documentHistory(parser.value(history), parser.positionalArguments().value(0),
                                       parser.isSet(json));
            } catch (const ErpError &e) {
                std::fprintf(stderr, "erp-host: %s\n", qPrintable(e.description()));
                return 2;
            }
        }
        if (parser.isSet(init)) {
            initDatabase(parser.value(init));
            std::printf("created %s\n", qPrintable(parser.value(init)));
            return 0;
        }
        if (parser.isSet(generate)) {
            bool scaleOk = false;
            bool seedOk = false;
            bool erasOk = false;
            const double n = parser.value(scale).toDouble(&scaleOk);
            const int h = parser.value(eras).toInt(&erasOk);
            const quint64 s = parser.value(seed).toULongLong(&seedOk);
            if (!scaleOk || !(n > 0) || n > 100 || !seedOk || !erasOk || h < 1 || h > 20) {
                std::fprintf(stderr, "erp-host: --scale takes a number above 0 (at most 100), --eras a whole "
                                     "number from 1 to 20, --seed a whole number\n");
                return 2;
            }
            return generateDatabase(parser.value(generate), n, h, s);
        }
        if (parser.isSet(upgrade))
            return upgradeDatabase(parser.value(upgrade));
        // The first start without a database made the demo one.
        if (!parser.isSet(db) && qEnvironmentVariableIsEmpty("ERP_DB") && !QFileInfo::exists(demoDatabaseFile()))
            initDatabase(defaultDatabaseUrl());
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
