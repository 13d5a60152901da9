// The SQLite file stays shared while file dialogs list its folder. POSIX locks
// belong to the process: a dialog that opened and closed the open database
// file (or its -wal or -shm) to guess a file's type would drop the locks this
// process holds, and the next program to close the file would delete the -wal
// and -shm under us. Every file dialog of the module is shown on the
// database's folder (and once more where Qt's remembered folder, or another
// folder, leads after such a visit), and then the file must not have been
// opened, the locks must still be ours, and commits must pass both ways
// between this process and the sqlite3 shell, also after the shell has
// closed the file.
#include "TestSupport.h"

#include "grid/ExcelExport.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportComponent.h"
#include "services/DbGateway.h"

#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <set>

namespace {

enum class Kind { GatewayOpen, GatewaySave, ExportSave, PreviewPdf, PrintDialog };
// Where the dialog is shown: on the database's folder; with no folder given
// after a visit there (Qt remembers the last folder); on another folder
// after a visit.
enum class Where { DatabaseFolder, Remembered, Elsewhere };

// The file as /proc/locks names it: device (hex major:minor) and inode.
QString inodeOf(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
        .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
        .arg(quint64(st.st_ino));
}

// The sqlite3 shell as another program working on the same file, kept open
// between statements. Each question is answered by one line.
class Peer
{
public:
    explicit Peer(const QString &db)
    {
        m_process.start(QStringLiteral("sqlite3"), {db});
        m_process.waitForStarted(10000);
        m_process.write(".timeout 10000\n");
    }
    ~Peer() { close(); }
    QString ask(const QString &sql)
    {
        m_process.write((sql + QLatin1Char('\n')).toUtf8());
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && t.elapsed() < 15000)
            m_process.waitForReadyRead(500);
        if (!m_process.canReadLine())
            return QStringLiteral("<no answer> ") + QString::fromUtf8(m_process.readAllStandardError());
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    // The shell closes the database and exits.
    void close()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        m_process.waitForFinished(15000);
    }

private:
    QProcess m_process;
};

// Every open of the watched files, by anyone, since the last read.
class OpenWatch
{
public:
    OpenWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool watch(const QString &path)
    {
        const int wd = inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
        if (wd < 0)
            return false;
        m_names.insert({wd, QFileInfo(path).fileName()});
        return true;
    }
    QStringList opened()
    {
        QStringList out;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                if (e->mask & IN_OPEN)
                    for (const auto &[wd, name] : m_names)
                        if (wd == e->wd)
                            out.append(name);
                at += ssize_t(sizeof(inotify_event)) + e->len;
            }
        }
        return out;
    }

private:
    int m_fd;
    std::set<std::pair<int, QString>> m_names;
};

// Notes which folders each file-system model (of a file dialog or of a
// completer) has finished listing; connected when a window is shown, before
// its event loop delivers anything. Models are told apart by a number of
// their own: a new one may take the place in memory of one gone.
class ListingWatch : public QObject
{
public:
    bool hasListed(const QFileSystemModel *model, const QString &folder) const
    {
        return m_listed.count({model->property("tst_listing").toInt(), folder}) > 0;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
            QList<QFileSystemModel *> models = watched->findChildren<QFileSystemModel *>();
            for (QCompleter *c : watched->findChildren<QCompleter *>())
                if (auto *m = qobject_cast<QFileSystemModel *>(c->model()))
                    models.append(m);
            for (QFileSystemModel *m : models) {
                if (m->property("tst_listing").toInt() > 0)
                    continue;
                const int id = ++m_models;
                m->setProperty("tst_listing", id);
                connect(m, &QFileSystemModel::directoryLoaded, this, [this, id](const QString &path) {
                    m_listed.insert({id, QDir::cleanPath(path)});
                });
            }
        }
        return false;
    }

private:
    int m_models = 0;
    std::set<std::pair<int, QString>> m_listed;
};

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

} // namespace

class TstFileDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString dbFolder;
    QString otherFolder;
    QString dbPath;
    Connection conn;
    QMap<QString, QString> inodes; // erp.db, erp.db-wal, erp.db-shm as opened
    QStringList locksBefore;
    std::unique_ptr<OpenWatch> opens;
    std::unique_ptr<ScriptedMessageBox> box;
    ListingWatch listing;
    QTimer actor;
    QList<QPointer<QWidget>> handled;
    bool acting = false;

    // What the dialogs of the current step are to do, and what they met.
    Where where = Where::DatabaseFolder;
    QStringList problems;
    QStringList shownIn; // the folder each file dialog opened in

    QString expectedFolder() const { return where == Where::Elsewhere ? otherFolder : dbFolder; }
    QString givenFolder() const
    {
        return where == Where::DatabaseFolder ? dbFolder : where == Where::Elsewhere ? otherFolder : QString();
    }

    // This process's POSIX locks on the database's files, by file. The
    // kernel's list is read while other programs lock and unlock, and a read
    // in pieces may show an entry twice or miss one: a few reads are joined.
    QStringList ourLocks() const
    {
        const QString pid = QString::number(QCoreApplication::applicationPid());
        QSet<QString> held;
        for (int read = 0; read < 3; ++read) {
            QFile f(QStringLiteral("/proc/locks"));
            if (!f.open(QIODevice::ReadOnly))
                return {QStringLiteral("<no /proc/locks>")};
            for (const QString &line : QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'))) {
                const QStringList p = line.simplified().split(QLatin1Char(' '));
                if (p.size() < 8 || p.at(1) != QLatin1String("POSIX") || p.at(4) != pid)
                    continue;
                for (auto it = inodes.cbegin(); it != inodes.cend(); ++it)
                    if (it.value() == p.at(5))
                        held.insert(QStringLiteral("%1 %2 %3-%4").arg(it.key(), p.at(3), p.at(6), p.at(7)));
            }
        }
        QStringList out(held.cbegin(), held.cend());
        out.sort();
        return out;
    }

    QString oneShot(const QString &sql) const
    {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {QStringLiteral("-cmd"), QStringLiteral(".timeout 10000"), dbPath, sql});
        if (!p.waitForFinished(15000) || p.exitCode() != 0)
            return QStringLiteral("<failed> ") + QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    qint64 ourCount(const QString &n) const
    {
        return Sql(conn, QStringLiteral("SELECT COUNT(*) FROM probe WHERE n = ?")).bind(n).scalar().toLongLong();
    }
    void ourInsert(const QString &n) const
    {
        Sql(conn, QStringLiteral("INSERT INTO probe (n) VALUES (?)")).bind(n).exec();
    }

    // A file dialog lists the folder it is meant to, then is cancelled.
    void actOnFileDialog(QFileDialog *dialog)
    {
        shownIn.append(dialog->directory().absolutePath());
        if (where != Where::Remembered)
            dialog->setDirectory(expectedFolder());
        auto *model = dialog->findChild<QFileSystemModel *>();
        if (!model || !waitFor([&] { return listing.hasListed(model, expectedFolder()); }))
            problems.append(QStringLiteral("%1 did not list %2").arg(dialog->windowTitle(), expectedFolder()));
        QTest::qWait(100); // the list is painted
        dialog->reject();
    }

    // The print dialog: its output-file field completes in the database's
    // folder, and its browse button opens a file dialog.
    void actOnPrintDialog(QPrintDialog *dialog)
    {
        auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
        auto *browse = dialog->findChild<QToolButton *>(QStringLiteral("fileBrowser"));
        if (!field || !browse || !field->isEnabled()) {
            problems.append(QStringLiteral("no output-file field in the print dialog"));
            dialog->reject();
            return;
        }
        field->clear();
        if (where == Where::DatabaseFolder) {
            // Typed as a person types a path: the completer lists each
            // folder as its name is finished.
            auto *model = field->completer() ? qobject_cast<QFileSystemModel *>(field->completer()->model()) : nullptr;
            dialog->activateWindow();
            field->setFocus();
            if (!waitFor([&] { return field->hasFocus(); }))
                problems.append(QStringLiteral("the output-file field takes no focus"));
            QString typed;
            for (const QString &part : dbFolder.split(QLatin1Char('/'))) {
                typed += part;
                QTest::keyClicks(field, part + QLatin1Char('/'));
                const QString folder = typed.isEmpty() ? QStringLiteral("/") : typed;
                if (!model || !waitFor([&] { return listing.hasListed(model, folder); })) {
                    problems.append(QStringLiteral("the output-file field did not complete in %1").arg(folder));
                    break;
                }
                typed += QLatin1Char('/');
            }
            QTest::qWait(100);
            field->setText(dbFolder + QStringLiteral("/out.pdf"));
        } else if (where == Where::Elsewhere) {
            field->setText(otherFolder + QStringLiteral("/out.pdf"));
        }
        // Qt's own file dialog behind the button, then the print is cancelled.
        QTimer::singleShot(0, dialog, [dialog, browse] {
            browse->click();
            dialog->reject();
        });
    }

    void actOnPreview(QPrintPreviewDialog *preview)
    {
        QAction *save = nullptr;
        for (QAction *a : preview->findChildren<QAction *>())
            if (a->objectName() == QLatin1String("SavePdf"))
                save = a;
        if (!save) {
            problems.append(QStringLiteral("no 保存为PDF in the preview"));
            preview->reject();
            return;
        }
        QTimer::singleShot(0, preview, [preview, save] {
            save->trigger();
            preview->reject();
        });
    }

    // Each modal window as it comes up, whoever runs it (the module's modal
    // seam or Qt's own exec()).
    void act()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || acting || !w->isVisible())
            return;
        for (const QPointer<QWidget> &h : handled)
            if (h == w)
                return;
        handled.append(w);
        acting = true;
        if (auto *files = qobject_cast<QFileDialog *>(w))
            actOnFileDialog(files);
        else if (auto *print = qobject_cast<QPrintDialog *>(w))
            actOnPrintDialog(print);
        else if (auto *preview = qobject_cast<QPrintPreviewDialog *>(w))
            actOnPreview(preview);
        else {
            problems.append(
                QStringLiteral("unexpected window %1").arg(QString::fromLatin1(w->metaObject()->className())));
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        }
        acting = false;
    }

    void show(Kind kind)
    {
        const QString filter = QStringLiteral("Excel文件(*.xlsx)|*.xlsx");
        switch (kind) {
        case Kind::GatewayOpen:
        case Kind::GatewaySave: {
            const QString chosen = DbGateway::ShowOpenFileDialog(nullptr, filter, QStringLiteral("选择文件"),
                                                                 givenFolder(), 0, kind == Kind::GatewaySave);
            if (!chosen.isEmpty())
                problems.append(QStringLiteral("cancelled dialog chose %1").arg(chosen));
            break;
        }
        case Kind::ExportSave: {
            ExportTable table(2, 2);
            table.setText(0, 1, QStringLiteral("材料代号"));
            table.setText(1, 1, QStringLiteral("M001"));
            if (ExcelExport::ExportToChosenFile(table,
                                                GridExportInfo{QStringLiteral("mmss40B"), QStringLiteral("Grid1"),
                                                               QStringLiteral("生产领料单"), nullptr}))
                problems.append(QStringLiteral("cancelled export wrote a file"));
            break;
        }
        case Kind::PreviewPdf:
        case Kind::PrintDialog:
            report::ReportComponent(tmp.path())
                .rptPrint(conn, QStringLiteral("PROBE"), nullptr,
                          kind == Kind::PreviewPdf ? QStringLiteral("V") : QStringLiteral("P"), false, nullptr,
                          QStringLiteral("SELECT n FROM probe"), {}, QStringLiteral("测试公司"));
            break;
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // Qt keeps the last folder a file dialog visited in the user's
        // settings; this run keeps its own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("config"))));
        QVERIFY2(!oneShot(QStringLiteral("SELECT 1;")).startsWith(QLatin1Char('<')), "the sqlite3 shell is needed");
        QApplication::instance()->installEventFilter(&listing);
        actor.setInterval(20);
        connect(&actor, &QTimer::timeout, this, &TstFileDialogs::act);
        box = std::make_unique<ScriptedMessageBox>();
    }

    void init()
    {
        static int round = 0;
        const QString root = QDir(tmp.path()).canonicalPath() + QStringLiteral("/round%1").arg(++round);
        dbFolder = root + QStringLiteral("/data");
        otherFolder = root + QStringLiteral("/other");
        QVERIFY(QDir().mkpath(dbFolder) && QDir().mkpath(otherFolder));
        QFile note(otherFolder + QStringLiteral("/notes.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("x") == 1);
        note.close();
        dbPath = dbFolder + QStringLiteral("/erp.db");
        conn = Connection::open(QStringLiteral("sqlite:") + dbPath);
        Sql(conn, QStringLiteral("CREATE TABLE probe (n TEXT)")).exec();
        ourInsert(QStringLiteral("start"));
        QCOMPARE(ourCount(QStringLiteral("start")), 1);
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            inodes.insert(QStringLiteral("erp.db") + suffix, inodeOf(dbPath + suffix));
        QVERIFY(!inodes.values().contains(QString()));
        locksBefore = ourLocks();
        // An idle WAL connection holds a shared lock on the file and one on the -shm.
        QVERIFY2(locksBefore.filter(QStringLiteral("erp.db ")).size() == 1 &&
                     locksBefore.filter(QStringLiteral("erp.db-shm ")).size() == 1,
                 qPrintable(locksBefore.join(QLatin1String(", "))));
        opens = std::make_unique<OpenWatch>();
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QVERIFY(opens->watch(dbPath + suffix));
        problems.clear();
        shownIn.clear();
        handled.clear();
        actor.start();
    }

    void cleanup()
    {
        actor.stop();
        opens.reset();
        conn.close();
        inodes.clear();
    }

    void dialogsLeaveTheFileShared_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Where>("where");
        const QList<std::pair<const char *, Kind>> kinds = {{"open file", Kind::GatewayOpen},
                                                            {"save file", Kind::GatewaySave},
                                                            {"export", Kind::ExportSave},
                                                            {"preview pdf", Kind::PreviewPdf},
                                                            {"print dialog", Kind::PrintDialog}};
        const QList<std::pair<const char *, Where>> places = {{"database folder", Where::DatabaseFolder},
                                                              {"remembered folder", Where::Remembered},
                                                              {"other folder", Where::Elsewhere}};
        for (const auto &[kindName, kind] : kinds)
            for (const auto &[placeName, place] : places)
                QTest::addRow("%s, %s", kindName, placeName) << kind << place;
    }
    void dialogsLeaveTheFileShared()
    {
        QFETCH(Kind, kind);
        QFETCH(Where, where);
        if (where != Where::DatabaseFolder) { // the visit Qt remembers
            this->where = Where::DatabaseFolder;
            show(kind);
            QCOMPARE(opens->opened(), QStringList());
        }
        this->where = where;
        shownIn.clear();
        show(kind);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
        QVERIFY2(!shownIn.isEmpty(), "no file dialog came up");
        if (where == Where::Remembered)
            for (const QString &folder : shownIn)
                QCOMPARE(folder, dbFolder);

        // Nothing opened the database's files, and the locks are still ours.
        QCOMPARE(opens->opened(), QStringList());
        QCOMPARE(ourLocks().join(QLatin1String(", ")), locksBefore.join(QLatin1String(", ")));

        // Another program's commit is seen here and ours there, while it
        // keeps the file open.
        Peer peer(dbPath);
        QCOMPARE(peer.ask(QStringLiteral("INSERT INTO probe VALUES ('peer'); SELECT COUNT(*) FROM probe;")),
                 QStringLiteral("2"));
        QCOMPARE(ourCount(QStringLiteral("peer")), 1);
        ourInsert(QStringLiteral("ours"));
        QCOMPARE(peer.ask(QStringLiteral("SELECT COUNT(*) FROM probe WHERE n = 'ours';")), QStringLiteral("1"));

        // The other program closes the file: it must leave the -wal and -shm
        // to us, and commits still pass both ways.
        peer.close();
        QCOMPARE(inodeOf(dbPath + QStringLiteral("-wal")), inodes.value(QStringLiteral("erp.db-wal")));
        QCOMPARE(inodeOf(dbPath + QStringLiteral("-shm")), inodes.value(QStringLiteral("erp.db-shm")));
        ourInsert(QStringLiteral("ours after"));
        QCOMPARE(oneShot(QStringLiteral("SELECT COUNT(*) FROM probe WHERE n = 'ours after';")), QStringLiteral("1"));
        QCOMPARE(oneShot(QStringLiteral("INSERT INTO probe VALUES ('peer after'); SELECT COUNT(*) FROM probe;")),
                 QStringLiteral("5"));
        QCOMPARE(ourCount(QStringLiteral("peer after")), 1);
        QCOMPARE(ourLocks().join(QLatin1String(", ")), locksBefore.join(QLatin1String(", ")));
    }
};

QTEST_MAIN(TstFileDialogs)
#include "tst_filedialogs.moc"
