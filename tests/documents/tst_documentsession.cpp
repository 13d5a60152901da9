// The document's rules without a window: the command table (every command's
// row, the refusals of its gates, the toolbar it allows), and every command
// run through a session whose person is scripted, on the backend of the run,
// with two sessions on two connections.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentCommands.h"
#include "documents/DocumentSession.h"
#include "platform/core/Environment.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"

#include "services/HeaderLock.h"

#include <QFile>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

Q_DECLARE_METATYPE(CommandRow::Handler)

namespace {

const char *const kLetters = "AUYNDCRFHQPVLMO";
const QStringList kStatuses = {QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("6"), QStringLiteral("7"),
                               QStringLiteral("9"), QString(),           QStringLiteral("x")};

// What the window tells a user who gives the command on a document in that
// status (the first refusal; empty when the command may go on).
QString expectedRefusal(char letter, WindowAction action, const QString &status)
{
    const bool approved = status == QLatin1String("2");
    const bool closed = status == QLatin1String("6") || status == QLatin1String("7");
    const bool gone = status == QLatin1String("9");
    const bool open = status == QLatin1String("0");
    switch (letter) {
    case 'U':
        return approved ? QStringLiteral("此单已审核, 不能进行修改!")
               : closed ? QStringLiteral("此单已结案, 不能进行修改!")
               : gone   ? QStringLiteral("此单已被他人删除!")
                        : QString();
    case 'D':
        if (approved)
            return QStringLiteral("此单已审核, 不能进行修改!");
        if (closed)
            return QStringLiteral("此单已结案, 不能进行修改!");
        if (gone)
            return QStringLiteral("此单已被他人删除!");
        return open ? QString() : QStringLiteral("此单已审核, 当前操作不能进行!");
    case 'Y':
        return action == WindowAction::Add || open ? QString() : QStringLiteral("此单已审核, 当前操作不能进行!");
    case 'C':
        return gone       ? QStringLiteral("当前单据已被其他用户删除,请检查!")
               : closed   ? QStringLiteral("此单据已被结案,不能再进行操作!")
               : approved ? QStringLiteral("此单据已被审核,不能再审核!")
                          : QString();
    case 'R':
        return gone     ? QStringLiteral("当前单据已被其他用户删除,请检查!")
               : closed ? QStringLiteral("此单据已被结案,不能再进行操作!")
               : open   ? QStringLiteral("此单据已被其他用户重置,不能再重置!")
                        : QString();
    default:
        return {};
    }
}

RightsOff maskNamed(const QString &name)
{
    if (name == QLatin1String("all"))
        return RightsOff::all();
    if (name == QLatin1String("none"))
        return RightsOff::none();
    RightsOff off = RightsOff::all();
    const char letter = name.at(1).toLatin1();
    bool *flags[] = {&off.A, &off.U, &off.D, &off.C, &off.R, &off.P, &off.V, &off.S, &off.I, &off.L, &off.M, &off.X};
    *flags[QByteArrayView("AUDCRPVSILMX").indexOf(letter)] = true;
    return off;
}

QString statesText(const ButtonStates &states)
{
    QStringList parts;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + QLatin1Char(it.value() ? '1' : '0');
    return parts.join(QLatin1Char(' '));
}

// The toolbar states the windows gave before the command table derived
// them: one line per action, status, current document and rights mask.
struct StatesRow
{
    int action;
    QString status;
    bool current;
    QString mask;
    QString states;
};

QList<StatesRow> recordedStates()
{
    QFile f(qEnvironmentVariable("ERP_SOURCE_DIR") + QStringLiteral("/tests/documents/data/toolbar-states.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<StatesRow> rows;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> c = line.split('\t');
        const QString status = QString::fromUtf8(c[1]);
        rows.append({c[0].toInt(), status == QLatin1String("-") ? QString() : status, c[2] == "1",
                     QString::fromUtf8(c[3]), QString::fromUtf8(c[4])});
    }
    return rows;
}

ButtonStates derivedStates(int action, const QString &status, bool current, const RightsOff &off)
{
    return Kesto_Control::masked(
        DocumentCommands::table().derive(WindowAction(action), current, parseDocumentStatus(status)), off);
}

// The person at the window, scripted: the fields hold what the test puts in
// input, questions take the queued answers, and everything said is kept.
class ScriptedView final : public SessionView
{
public:
    DocumentSession *session = nullptr;
    HeaderInput in;
    QList<int> answers;
    QList<MessageRequest> asked;
    QList<MessageRequest> told;
    QList<HeaderField> focused;
    QStringList failures;
    QStringList proposed;
    QStringList stored;
    int removed = 0;
    SearchOutcome searchGives{true, false, {}};
    QList<ReportRequest> reports;
    bool printsCome = false; // what the report list answers
    QList<LineRequest> lineDialogs;
    QList<UsageImportCall> imports;
    int helps = 0;
    int closes = 0;
    std::function<void()> whileAsked;

    HeaderInput input() const override { return in; }
    int ask(const MessageRequest &q) override
    {
        asked << q;
        if (whileAsked)
            std::exchange(whileAsked, {})();
        return answers.isEmpty() ? MessageBoxService::defaultAnswer(q.style) : answers.takeFirst();
    }
    void tell(const MessageRequest &m) override { told << m; }
    void focus(HeaderField f) override { focused << f; }
    void reportFailure(const QString &, const QString &tag, const QString &) override { failures << tag; }
    // The fields show what the session holds, as the window's do.
    void showDocument() override
    {
        const HeaderRecord &r = session->record();
        in.invNo = r.invNo;
        in.invDate = r.invDate;
        in.orgName = r.orgName;
        in.outsourcing = r.outsourcing;
        in.pcsNo = r.pcsNo;
        in.procMan = r.procMan;
        in.barMan = r.barMan;
        in.remark = r.remark;
        if (r.stockMode)
            in.stockMode = *r.stockMode;
        if (r.propDuty)
            in.propDuty = *r.propDuty;
    }
    void showLines() override {}
    void Lock_Control(bool) override {}
    void proposeNumber(const QString &n) override
    {
        proposed << n;
        in.invNo = n;
    }
    void numberStored(const QString &typed) override { stored << typed; }
    void documentRemoved() override
    {
        ++removed;
        session->showNothing();
    }
    SearchOutcome search(const SearchRequest &) override { return searchGives; }
    bool openReports(const ReportRequest &r, QString &) override
    {
        reports << r;
        return printsCome;
    }
    void openLineDialog(const LineRequest &r) override { lineDialogs << r; }
    void openUsageImport(const UsageImportCall &c) override { imports << c; }
    void showHelp() override { ++helps; }
    void closeWindow() override { ++closes; }

    QStringList toldTexts() const
    {
        QStringList t;
        for (const MessageRequest &m : told)
            t << m.text;
        return t;
    }
};

struct Clerk
{
    ScriptedView view;
    std::unique_ptr<DocumentSession> session;
};

// Runs once, on the statement whose text starts with the prefix, before it
// is sent: what another clerk does at exactly that moment.
std::atomic<bool> g_armed{false};
QString g_prefix;
std::function<void()> g_meanwhile;

void observeStatement(const Connection &, const QString &text, const QList<QVariant> &)
{
    if (g_armed && text.startsWith(g_prefix) && g_armed.exchange(false))
        g_meanwhile();
}

void whenStatementStarts(const QString &prefix, std::function<void()> meanwhile)
{
    g_prefix = prefix;
    g_meanwhile = std::move(meanwhile);
    g_armed = true;
    Sql::setObserver(&observeStatement);
}

} // namespace

class TstDocumentSession : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;

    std::unique_ptr<Clerk> clerk(const Connection &c, const QString &userId, const QString &userName,
                                 const DocumentKind &kind = DocumentKind::issue(),
                                 const QString &workstation = QStringLiteral("WS-A"))
    {
        auto k = std::make_unique<Clerk>();
        SessionContext ctx;
        ctx.conn = c;
        ctx.userId = userId;
        ctx.userName = userName;
        ctx.confirmForm = QStringLiteral("确认要删除这笔资料?");
        ctx.quitForm = QStringLiteral("确认要退出吗?");
        ctx.promptTitle = QStringLiteral("提示信息");
        ctx.today = [] { return QDate(2026, 12, 9); };
        ctx.workstation = workstation;
        k->session = std::make_unique<DocumentSession>(ctx, kind, k->view, nullptr);
        k->view.session = k->session.get();
        k->session->load();
        return k;
    }
    QString field(const QString &sql, const QList<QVariant> &values = {})
    {
        return DbGateway::NullToString(Sql(conn, sql).bindAll(values).scalar());
    }
    QString lockOf(const QString &no)
    {
        return field(QStringLiteral("SELECT Lock FROM Mmst411 WHERE Inv_No = ?"), {no});
    }
    QString statusOf(const QString &no)
    {
        return field(QStringLiteral("SELECT Status FROM Mmst411 WHERE Inv_No = ?"), {no});
    }
    double balance() { return Sql(conn, QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381")).scalar().toDouble(); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<CommandRow::Handler>();
        Environment::setNow(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        DbGateway::setServerNowOverride(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 5)));
    }
    void cleanupTestCase()
    {
        DbGateway::setServerNowOverride({});
        Environment::setNow({});
    }

    // The table's own tests need no database.
    static bool needsDatabase()
    {
        static const QList<QByteArray> tableTests = {"rowsOfTheTable", "refusalOfEveryCommand", "whereEachCommandRuns",
                                                     "toolbarAsRecorded", "everyMaskIsWhatItsRightsTurnOff"};
        return !tableTests.contains(QByteArray(QTest::currentTestFunction()));
    }

    void init()
    {
        if (!needsDatabase())
            return;
        conn = TestDb::fresh();
        const QStringList fixture = {
            "INSERT INTO mmst901 (user_id, user_name, user_no) VALUES ('chen', '陈志明', 'A001'), ('li', '李丽', 'B002'), "
            "('wang', '王主管', 'C003')",
            "INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B')",
            "INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES ('chen', 'MENU_F4_1', 'AUDCRPVSILMXF'), "
            "('li', 'MENU_F4_1', 'AUCRPVI'), ('wang', 'MENU_F4_1', 'AUDCRPVSILMXFK')",
            "INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES ('0001', '生产部', '0001'), "
            "('0001001', '裁床组', '0001001')",
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) VALUES (1, 'F001', '牛津布', 2.5, 2.5)",
            "INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) "
            "VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', '', 10, 2.5)",
            "INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0'), ('按订单用料控制领料', '1')",
            "INSERT INTO mmst121 (Pcs_No, Status) VALUES ('WF001', '2')",
            "INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, Prop_Duty, Out_Flag, Status, "
            "Lock, Remark) VALUES "
            "(1, 'LL001', '2026-12-01', '1', '0001001', '2', '0', '0', '0', 'No', '两行'), "
            "(2, 'LL002', '2026-12-02', '1', '0001001', '2', '0', '0', '2', 'No', '已审核'), "
            "(3, 'LL003', '2026-12-03', '1', '0001001', NULL, NULL, '1', '0', 'No', '外发无明细'), "
            "(4, 'TL001', '2026-12-03', '2', '0001001', '2', '0', '0', '0', 'No', '退料')",
            "UPDATE Mmst411 SET Pcs_No = 'WF001' WHERE Rec_411 = 3",
            "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, Color_No, "
            "Stock_Mode) VALUES "
            "(1, 1, 'PI001', 'A', 'SO1', 'MO1', 6, 'W01', '', '2'), (1, 1, 'PI001', 'A', 'SO1', 'MO1', 3, 'W01', '', '1'), "
            "(2, 1, 'PI001', 'A', 'SO1', 'MO1', 3, 'W01', '', '2')",
            "INSERT INTO mmst388 (Inv_No, Inv_Type, Inv_Date, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
            "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('LL002', '生产领料单', '2026-12-02', 'SO1', 'MO1', 'PI001', 'A', "
            "'F001', 'W01', '', -3, 2.5)",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        for (const auto &[table, key] :
             {std::pair{"Mmst411", "Rec_411"}, std::pair{"Mmst412", "Rec_412"}, std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        g_armed = false;
        Sql::setObserver(nullptr);
        if (!needsDatabase())
            return;
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    // ---------------------------------------------------------------- the command table

    void rowsOfTheTable_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("lock");     // LockPolicy
        QTest::addColumn<int>("during");   // -1: none
        QTest::addColumn<int>("entering"); // Entering
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("onRefusal");
        QTest::addColumn<CommandRow::Handler>("handler");
        QTest::addColumn<int>("next"); // -1: as the handler left it
        using S = DocumentSession;
        const int none = -1;
        QTest::newRow("A add") << 'A' << 0 << int(LockPolicy::None) << 1 << int(Entering::AtStart) << "" << 0
                               << int(OnRefusal::Stay) << &S::add << none;
        QTest::newRow("U edit holds the lock until save or cancel")
            << 'U' << 0 << int(LockPolicy::UntilSaveOrCancel) << 2 << int(Entering::WhenLocked) << "" << 0
            << int(OnRefusal::Stay) << &S::edit << none;
        QTest::newRow("Y save while adding") << 'Y' << 1 << int(LockPolicy::None) << none << int(Entering::AtStart)
                                             << "" << 0 << int(OnRefusal::Stay) << &S::save << none;
        QTest::newRow("Y save while editing") << 'Y' << 2 << int(LockPolicy::None) << none << int(Entering::AtStart)
                                              << "" << 0 << int(OnRefusal::Stay) << &S::save << none;
        QTest::newRow("N cancel of an edit")
            << 'N' << 2 << int(LockPolicy::None) << none << int(Entering::AtStart) << "真的要取消操作吗?" << 292
            << int(OnRefusal::Stay) << &S::cancelEdit << none;
        QTest::newRow("N cancel of an add") << 'N' << 1 << int(LockPolicy::None) << none << int(Entering::AtStart)
                                            << "真的要取消操作吗?" << 292 << int(OnRefusal::Stay) << &S::cancel << none;
        QTest::newRow("D delete") << 'D' << 0 << int(LockPolicy::ForCommand) << 3 << int(Entering::WhenConfirmed)
                                  << "确定要删除吗" << 324 << int(OnRefusal::Browse) << &S::remove << 0;
        QTest::newRow("C approve") << 'C' << 0 << int(LockPolicy::ForCommand) << 4 << int(Entering::AtStart)
                                   << "确认要审核此单据吗?" << 65 << int(OnRefusal::BrowseAndReread) << &S::approve
                                   << 0;
        QTest::newRow("R reset") << 'R' << 0 << int(LockPolicy::ForCommand) << 5 << int(Entering::AtStart)
                                 << "确认要重置此单据吗?" << 65 << int(OnRefusal::BrowseAndReread) << &S::reset << 0;
        QTest::newRow("F find") << 'F' << 0 << int(LockPolicy::None) << none << int(Entering::AtStart) << "" << 0
                                << int(OnRefusal::Stay) << &S::find << none;
        QTest::newRow("P print") << 'P' << 0 << int(LockPolicy::None) << none << int(Entering::AtStart) << "" << 0
                                 << int(OnRefusal::Stay) << &S::print << none;
        QTest::newRow("V preview") << 'V' << 0 << int(LockPolicy::None) << none << int(Entering::AtStart) << "" << 0
                                   << int(OnRefusal::Stay) << &S::preview << none;
        QTest::newRow("H help") << 'H' << 2 << int(LockPolicy::None) << none << int(Entering::AtStart) << "" << 0
                                << int(OnRefusal::Stay) << &S::help << none;
        QTest::newRow("Q quit") << 'Q' << 1 << int(LockPolicy::None) << none << int(Entering::AtStart) << "" << 0
                                << int(OnRefusal::Stay) << &S::quit << none;
        for (char l : {'L', 'M', 'O'})
            QTest::addRow("%c does nothing", l) << l << 0 << int(LockPolicy::None) << none << int(Entering::AtStart)
                                                << "" << 0 << int(OnRefusal::Stay) << &S::nothing << none;
    }
    void rowsOfTheTable()
    {
        QFETCH(char, letter);
        QFETCH(int, action);
        QFETCH(int, lock);
        QFETCH(int, during);
        QFETCH(int, entering);
        QFETCH(QString, question);
        QFETCH(int, style);
        QFETCH(int, onRefusal);
        QFETCH(CommandRow::Handler, handler);
        QFETCH(int, next);
        const CommandRow *r = DocumentCommands::table().row(letter, WindowAction(action));
        QVERIFY(r);
        QCOMPARE(int(r->lock), lock);
        QCOMPARE(r->during ? int(*r->during) : -1, during);
        QCOMPARE(int(r->entering), entering);
        QCOMPARE(r->question ? r->question->text : QString(), question);
        QCOMPARE(r->question ? r->question->style : 0, style);
        QCOMPARE(int(r->onRefusal), onRefusal);
        QVERIFY(r->handler == handler);
        QCOMPARE(r->next ? int(*r->next) : -1, next);
        // Every command that writes under a lock of its own ends browsing.
        if (r->lock == LockPolicy::ForCommand)
            QCOMPARE(r->next, std::optional<WindowAction>(WindowAction::Browse));
    }

    void refusalOfEveryCommand_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("refusal");
        for (const char *l = kLetters; *l; ++l)
            for (int action = 0; action <= 5; ++action)
                if (DocumentCommands::table().row(*l, WindowAction(action)))
                    for (const QString &status : kStatuses)
                        QTest::addRow("%c in action %d, status '%s'", *l, action, qPrintable(status))
                            << *l << action << status << expectedRefusal(*l, WindowAction(action), status);
    }
    void refusalOfEveryCommand()
    {
        QFETCH(char, letter);
        QFETCH(int, action);
        QFETCH(QString, status);
        QFETCH(QString, refusal);
        const CommandRow *row = DocumentCommands::table().row(letter, WindowAction(action));
        const auto r = DocumentCommands::refusal(*row, WindowAction(action), parseDocumentStatus(status));
        QCOMPARE(r ? r->text : QString(), refusal);
        if (r)
            QCOMPARE(r->messageId, QStringLiteral("Check_OK_1"));
    }

    void whereEachCommandRuns()
    {
        // Only the save needs a header being entered; the toolbar keeps
        // every other command from the wrong state.
        for (const char *l = kLetters; *l; ++l)
            for (int action = 0; action <= 5; ++action)
                QVERIFY2(bool(DocumentCommands::table().row(*l, WindowAction(action))) ==
                             (*l != 'Y' || action == 1 || action == 2),
                         qPrintable(QStringLiteral("%1 in %2").arg(QLatin1Char(*l)).arg(action)));
        for (char l : {'a', 'u', 'Z', 'S', 'I', 'X', '\0'})
            QVERIFY2(!DocumentCommands::table().knows(l), &l);
        int letters = 0;
        for (const char *l = kLetters; *l; ++l)
            letters += DocumentCommands::table().knows(*l);
        QCOMPARE(letters, 15);
    }

    // The toolbar the table derives, masked by the rights, is the toolbar the
    // windows showed before: for every action, status, current document and
    // rights mask recorded then.
    void toolbarAsRecorded_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("states");
        const QList<StatesRow> rows = recordedStates();
        QVERIFY(rows.size() == 6 * 7 * 2 * 14);
        for (const StatesRow &r : rows)
            QTest::addRow("action %d, status '%s', %s, rights %s", r.action, qPrintable(r.status),
                          r.current ? "current" : "none current", qPrintable(r.mask))
                << r.action << r.status << r.current << r.mask << r.states;
    }
    void toolbarAsRecorded()
    {
        QFETCH(int, action);
        QFETCH(QString, status);
        QFETCH(bool, current);
        QFETCH(QString, mask);
        QFETCH(QString, states);
        QCOMPARE(statesText(derivedStates(action, status, current, maskNamed(mask))), states);
    }

    // Any set of missing rights turns off what each of them turns off alone,
    // so the recorded single-right masks fix every one of the 4,096 masks.
    void everyMaskIsWhatItsRightsTurnOff()
    {
        const char *letters = "AUDCRPVSILMX";
        for (int action = 0; action <= 5; ++action)
            for (const QString &status : kStatuses)
                for (bool current : {false, true}) {
                    const ToolbarStates allowed =
                        DocumentCommands::table().derive(WindowAction(action), current, parseDocumentStatus(status));
                    const ButtonStates all = Kesto_Control::masked(allowed, RightsOff::all());
                    QList<ButtonStates> single;
                    for (int i = 0; i < 12; ++i)
                        single << Kesto_Control::masked(allowed,
                                                        maskNamed(QStringLiteral("-") + QLatin1Char(letters[i])));
                    for (int bits = 0; bits < 4096; ++bits) {
                        RightsOff off = RightsOff::all();
                        bool *flags[] = {&off.A, &off.U, &off.D, &off.C, &off.R, &off.P,
                                         &off.V, &off.S, &off.I, &off.L, &off.M, &off.X};
                        ButtonStates expected = all;
                        for (int i = 0; i < 12; ++i) {
                            if (!(bits & (1 << i)))
                                continue;
                            *flags[i] = true;
                            for (auto it = single[i].cbegin(); it != single[i].cend(); ++it)
                                if (!it.value())
                                    expected.insert(it.key(), false);
                        }
                        if (Kesto_Control::masked(allowed, off) != expected)
                            QFAIL(qPrintable(
                                QStringLiteral("action %1, status '%2', mask %3").arg(action).arg(status).arg(bits)));
                    }
                }
    }

    // ---------------------------------------------------------------- commands through a session

    void addingAndSaving()
    {
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        QVERIFY(!s.hasRecord());
        QVERIFY(s.orderControl());
        s.vcontrol(QStringLiteral("A"));
        QCOMPARE(s.action(), WindowAction::Add);
        QCOMPARE(c->view.proposed, QStringList{QStringLiteral("A001-26120001")});
        QCOMPARE(c->view.focused.last(), HeaderField::Inv_No);
        QCOMPARE(s.control().states().value(QStringLiteral("Cmd_Ok")), true);
        QCOMPARE(s.control().states().value(QStringLiteral("Cmd_Add")), false);

        // The stock mode starts unchosen: refused, focus on it, still adding.
        c->view.in.orgName = QStringLiteral("裁床组");
        c->view.in.stockMode = -1;
        c->view.in.propDuty = 0;
        s.vcontrol(QStringLiteral("Y"));
        QCOMPARE(c->view.told.last().text, QStringLiteral("请选择正确的扣库存方式!"));
        QCOMPARE(c->view.told.last().form, QStringLiteral("mmss40B"));
        QCOMPARE(c->view.focused.last(), HeaderField::Stock_Mode);
        QCOMPARE(s.action(), WindowAction::Add);

        // A number another kind uses is taken.
        c->view.in.stockMode = 1;
        c->view.in.invNo = QStringLiteral("TL001");
        s.vcontrol(QStringLiteral("Y"));
        QCOMPARE(c->view.told.last().text, QStringLiteral("此领料单号已经重复!请重新输入!"));
        QCOMPARE(c->view.told.last().form, QStringLiteral("PublicFunction"));
        QCOMPARE(c->view.told.last().messageId, QStringLiteral("ReturnRecCount_2"));
        QCOMPARE(c->view.focused.last(), HeaderField::Inv_No);

        // A date after today is asked about; No keeps the entry.
        c->view.in.invNo = QStringLiteral("A001-26120001");
        c->view.in.invDate = QStringLiteral("2026-12-10");
        c->view.answers << 7;
        s.vcontrol(QStringLiteral("Y"));
        QCOMPARE(c->view.asked.last().text, QStringLiteral("单据日期大於当前日期,是否要继续?"));
        QCOMPARE(c->view.asked.last().messageId, QStringLiteral("Check_Date_Ok"));
        QCOMPARE(s.action(), WindowAction::Add);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411")), QStringLiteral("4"));

        c->view.in.invDate = QStringLiteral("2026-12-09");
        c->view.in.remark = QStringLiteral("  O'Neil 的布  ");
        s.vcontrol(QStringLiteral("Y"));
        QCOMPARE(s.action(), WindowAction::Browse);
        QCOMPARE(c->view.stored, QStringList{QStringLiteral("A001-26120001")});
        const ResultSet row = Sql(conn, QStringLiteral("SELECT Status, Lock, Form_Man, Stock_Mode, Remark FROM Mmst411 "
                                                       "WHERE Inv_No = 'A001-26120001'"))
                                  .select();
        QCOMPARE(row.rowCount(), 1);
        QCOMPARE(row.text(0, 0), QStringLiteral("0"));
        QCOMPARE(row.text(0, 1), QStringLiteral("No"));
        QCOMPARE(row.text(0, 2), QStringLiteral("陈志明"));
        QCOMPARE(row.text(0, 3), QStringLiteral("1"));
        QCOMPARE(row.text(0, 4), QStringLiteral("O'Neil 的布"));
        QVERIFY(s.hasRecord());
        QCOMPARE(s.record().invNo, QStringLiteral("A001-26120001"));
        QVERIFY(s.control().states().value(QStringLiteral("cmd_check")));
        QVERIFY(c->view.failures.isEmpty());
    }

    void editingAndCancelling()
    {
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        s.pickNumber(QStringLiteral("LL001"));
        QCOMPARE(s.record().remark, QStringLiteral("两行"));
        s.vcontrol(QStringLiteral("U"));
        QCOMPARE(s.action(), WindowAction::Edit);
        QVERIFY(s.holdsEditLock());
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        QCOMPARE(c->view.focused.last(), HeaderField::Org_Name);

        // Cancel answered No keeps the edit and its lock; Yes gives it back.
        c->view.answers << 7;
        s.vcontrol(QStringLiteral("N"));
        QCOMPARE(c->view.asked.last().text, QStringLiteral("真的要取消操作吗?"));
        QCOMPARE(c->view.asked.last().form, QStringLiteral("确认要删除这笔资料?"));
        QCOMPARE(c->view.asked.last().title, QStringLiteral("提示信息"));
        QCOMPARE(s.action(), WindowAction::Edit);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        c->view.answers << 6;
        s.vcontrol(QStringLiteral("N"));
        QCOMPARE(s.action(), WindowAction::Browse);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));

        // A save of an edit carries a changed mode down to every line.
        s.vcontrol(QStringLiteral("U"));
        c->view.in.stockMode = 0;
        s.vcontrol(QStringLiteral("Y"));
        QCOMPARE(s.action(), WindowAction::Browse);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1 AND Stock_Mode = '0'")),
                 QStringLiteral("2"));

        // Leaving while editing asks; No stays with the lock, Yes lets it go.
        s.vcontrol(QStringLiteral("U"));
        c->view.answers << 7;
        QVERIFY(!s.Form_QueryUnload());
        QCOMPARE(c->view.asked.last().text, QStringLiteral("是否要退出系统"));
        QCOMPARE(c->view.asked.last().form, QStringLiteral("确认要退出吗?"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        c->view.answers << 6;
        QVERIFY(s.Form_QueryUnload());
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
    }

    void deleting_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("answered yes") << 6 << true;
        QTest::newRow("answered no") << 7 << false;
    }
    void deleting()
    {
        QFETCH(int, answer);
        QFETCH(bool, deleted);
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        s.pickNumber(QStringLiteral("LL001"));
        c->view.answers << answer;
        s.vcontrol(QStringLiteral("D"));
        QCOMPARE(c->view.asked.last().text, QStringLiteral("确定要删除吗"));
        QCOMPARE(c->view.asked.last().style, 324);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Inv_No = 'LL001'")),
                 deleted ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1")),
                 deleted ? QStringLiteral("0") : QStringLiteral("2"));
        QCOMPARE(c->view.removed, deleted ? 1 : 0);
        QCOMPARE(s.hasRecord(), !deleted);
        QCOMPARE(s.action(), WindowAction::Browse);
        if (!deleted)
            QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
    }

    void approvingAndResetting()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Stock_Mode = '2' WHERE Rec_411 = 1"));
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        // A document without lines: refused before the question, no lock.
        s.pickNumber(QStringLiteral("LL003"));
        s.vcontrol(QStringLiteral("C"));
        QCOMPARE(c->view.told.last().text, QStringLiteral("此单据没有明细资料,请录入其明细!"));
        QVERIFY(c->view.asked.isEmpty());
        QCOMPARE(lockOf(QStringLiteral("LL003")), QStringLiteral("No"));
        QCOMPARE(s.action(), WindowAction::Browse);

        s.pickNumber(QStringLiteral("LL001"));
        c->view.answers << 2;
        s.vcontrol(QStringLiteral("C"));
        QCOMPARE(c->view.asked.last().text, QStringLiteral("确认要审核此单据吗?"));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("0"));
        QCOMPARE(s.action(), WindowAction::Browse);

        c->view.answers << 1;
        s.vcontrol(QStringLiteral("C"));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("2"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(s.record().checkMan, QStringLiteral("陈志明"));
        QCOMPARE(balance(), 1.0); // 6 and 3 from the one balance of 10
        QVERIFY(s.control().states().value(QStringLiteral("cmd_reset")));
        QVERIFY(!s.control().states().value(QStringLiteral("Cmd_Edit")));

        // An approved document's lines cannot change.
        s.menu_modify(LineCommand::Add, 0, -1);
        QCOMPARE(c->view.told.last().text, QStringLiteral("此单已审核, 不能进行修改!"));
        QVERIFY(c->view.lineDialogs.isEmpty());

        c->view.answers << 1;
        s.vcontrol(QStringLiteral("R"));
        QCOMPARE(c->view.asked.last().text, QStringLiteral("确认要重置此单据吗?"));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("0"));
        QCOMPARE(balance(), 10.0);
        QCOMPARE(s.record().checkMan, QString());
    }

    void findPrintAndTheRest()
    {
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        c->view.searchGives = {false, true, QStringLiteral("LL002")};
        s.vcontrol(QStringLiteral("F"));
        QCOMPARE(s.record().invNo, QStringLiteral("LL002"));
        c->view.searchGives = {false, false, {}};
        s.vcontrol(QStringLiteral("F"));
        QVERIFY(!s.hasRecord());
        QCOMPARE(s.headerFilter().text, QStringLiteral("1=2"));
        c->view.searchGives = {true, false, {}};
        s.pickNumber(QStringLiteral("LL002"));
        s.vcontrol(QStringLiteral("F"));
        QVERIFY(s.hasRecord());

        // Print passes the number as the field shows it, typed over or not.
        c->view.in.invNo = QStringLiteral("LL\"9");
        s.vcontrol(QStringLiteral("P"));
        s.vcontrol(QStringLiteral("V"));
        QCOMPARE(c->view.reports.size(), 2);
        QCOMPARE(c->view.reports[0].choice, QStringLiteral("P"));
        QCOMPARE(c->view.reports[1].choice, QStringLiteral("V"));
        QCOMPARE(c->view.reports[0].formId, QStringLiteral("40B"));
        QCOMPARE(c->view.reports[0].variantCode, QStringLiteral("inv_no=\"LL\"\"9\""));
        QVERIFY(c->view.reports[0].viewPrice);

        s.vcontrol(QStringLiteral("H"));
        QCOMPARE(c->view.helps, 1);
        for (const char *nothing : {"L", "M", "O", "S", "Z", "AA", ""})
            s.vcontrol(QLatin1String(nothing));
        QCOMPARE(s.action(), WindowAction::Browse);
        QVERIFY(c->view.asked.isEmpty() && c->view.told.isEmpty());
        s.vcontrol(QStringLiteral("Q"));
        QCOMPARE(c->view.closes, 1);

        // Neither print came out (the list was left, or a preview only looked
        // at): the mark stays as it was.
        auto printMark = [this] {
            return field(QStringLiteral("SELECT COALESCE(print_status, 0) FROM Mmst411 WHERE Inv_No = ?"),
                         {QStringLiteral("LL002")});
        };
        QCOMPARE(printMark(), QStringLiteral("0"));
        // A print of a number that is no document marks nothing.
        c->view.printsCome = true;
        s.vcontrol(QStringLiteral("P"));
        QCOMPARE(printMark(), QStringLiteral("0"));
        QVERIFY(!s.record().printed);
        // A print that came out marks the document, and the window shows it.
        c->view.in.invNo = QStringLiteral("LL002");
        s.vcontrol(QStringLiteral("V"));
        QCOMPARE(printMark(), QStringLiteral("1"));
        QVERIFY(s.record().printed);
        c->view.printsCome = false;

        // A user without the price right prints without prices.
        auto li = clerk(conn, QStringLiteral("li"), QStringLiteral("李丽"));
        li->session->pickNumber(QStringLiteral("LL002"));
        li->session->vcontrol(QStringLiteral("P"));
        QVERIFY(!li->view.reports.value(0).viewPrice);
        QVERIFY(!li->session->control().states().value(QStringLiteral("Cmd_Delete")));
    }

    void lineCommands()
    {
        auto c = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        DocumentSession &s = *c->session;
        s.pickNumber(QStringLiteral("LL001"));
        const ResultSet &lines = *s.linesRs();
        QCOMPARE(lines.rowCount(), 2);
        // Change: the line's own mode goes to the dialog, not the header's.
        qint64 byOrder = lines.text(0, QStringLiteral("stock_mode")) == QLatin1String("1") ? 0 : 1;
        s.menu_modify(LineCommand::Edit, 1, byOrder);
        QCOMPARE(c->view.lineDialogs.size(), 1);
        const LineRequest &r = c->view.lineDialogs[0];
        QCOMPARE(r.modify, 2);
        QCOMPARE(r.rec411, QStringLiteral("1"));
        QCOMPARE(r.invType, QStringLiteral("1"));
        QCOMPARE(r.stockMode, QStringLiteral("1"));
        QCOMPARE(r.rec412, lines.text(byOrder, QStringLiteral("Rec_412")));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));

        // Delete asks with the grid row and deletes that line only.
        c->view.answers << 6;
        s.menu_modify(LineCommand::Delete, 2, byOrder);
        QCOMPARE(c->view.asked.last().text, QStringLiteral("确认要删除行号为 2 的明细记录?"));
        QCOMPARE(c->view.asked.last().style, 36);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1")), QStringLiteral("1"));
        QCOMPARE(s.linesRs()->rowCount(), 1);

        // The import asks before it deletes the lines, and hands the document on.
        c->view.answers << 6;
        s.Input_Mo_Mtr_Click();
        QCOMPARE(c->view.asked.last().text, QStringLiteral("本单下已有资料,继续导入将删除本单下的资料,是否要继续?"));
        QCOMPARE(c->view.asked.last().title, QString());
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1")), QStringLiteral("0"));
        QCOMPARE(c->view.imports.size(), 1);
        QCOMPARE(c->view.imports[0].rec411, qint64(1));
        QCOMPARE(c->view.imports[0].caption, QStringLiteral("导入订单Bom用量(Frm40BMx4)"));
        QVERIFY(c->view.imports[0].orderControl);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
    }

    // Two clerks, each a session on a connection of its own: one's edit lock
    // keeps the other out, and each writes as its own user.
    void twoSessionsOnTwoConnections()
    {
        Connection other = Connection::open(conn.url());
        auto chen = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        auto li = clerk(other, QStringLiteral("li"), QStringLiteral("李丽"));
        chen->session->pickNumber(QStringLiteral("LL001"));
        li->session->pickNumber(QStringLiteral("LL001"));
        chen->session->vcontrol(QStringLiteral("U"));
        li->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(li->view.told.last().text, QStringLiteral("记录已锁定,请稍等"));
        QCOMPARE(li->session->action(), WindowAction::Browse);
        chen->view.in.remark = QStringLiteral("陈改的");
        chen->session->vcontrol(QStringLiteral("Y"));
        li->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(li->session->action(), WindowAction::Edit);
        li->view.in.remark = QStringLiteral("李改的");
        li->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(field(QStringLiteral("SELECT Upd_Name FROM Mmst411 WHERE Inv_No = 'LL001'")), QStringLiteral("李丽"));
        QCOMPARE(field(QStringLiteral("SELECT Remark FROM Mmst411 WHERE Inv_No = 'LL001'")), QStringLiteral("李改的"));

        // A new document of each: the maker is the session's user.
        for (auto *k : {chen.get(), li.get()}) {
            k->session->vcontrol(QStringLiteral("A"));
            k->view.in.orgName = QStringLiteral("裁床组");
            k->view.in.stockMode = 2;
            k->session->vcontrol(QStringLiteral("Y"));
            QCOMPARE(k->session->action(), WindowAction::Browse);
        }
        QCOMPARE(field(QStringLiteral("SELECT Form_Man FROM Mmst411 WHERE Inv_No = 'A001-26120001'")),
                 QStringLiteral("陈志明"));
        QCOMPARE(field(QStringLiteral("SELECT Form_Man FROM Mmst411 WHERE Inv_No = 'B002-26120001'")),
                 QStringLiteral("李丽"));

        // Another clerk approves while this one answers: refused after the lock, nothing posted twice.
        chen->session->pickNumber(QStringLiteral("LL001"));
        li->session->pickNumber(QStringLiteral("LL001"));
        chen->view.whileAsked = [&] {
            li->view.answers << 1;
            li->session->vcontrol(QStringLiteral("C"));
        };
        chen->view.answers << 1;
        chen->session->vcontrol(QStringLiteral("C"));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("2"));
        QCOMPARE(chen->view.told.last().text, QStringLiteral("此单据已被审核,不能再审核!"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = 'LL001'")), QStringLiteral("2"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(chen->session->action(), WindowAction::Browse);
        li.reset();
        other.close();
    }

    // An edit that changes the stock-deduction mode, and another clerk
    // approving at the moment the edit's save has written the header but
    // not yet the lines: the approval waits for the save's transaction and
    // posts under the key the lines have once it is done, so the reset
    // reverses exactly what was posted.
    void anApprovalCannotComeBetweenAnEditsHeaderAndItsLines()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Stock_Mode = '2' WHERE Rec_411 = 1"));
        // Stock reserved for the order alone, for lines by order.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                          "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('SO1', '', 'PI001', 'A', 'F001', "
                                          "'W01', '', 20, 2.5)"));
        ledgerHolds.rebase();
        auto chen = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        chen->session->pickNumber(QStringLiteral("LL001"));
        chen->session->vcontrol(QStringLiteral("U"));
        chen->view.in.stockMode = 1;
        const QString url = conn.url();
        PostingOutcome approval;
        QString lockRefused = QStringLiteral("not tried");
        std::thread other;
        whenStatementStarts(QStringLiteral("UPDATE Mmst412 SET Stock_Mode"), [&] {
            other = std::thread([&] {
                Connection own = Connection::open(url);
                // The other clerk tries until the edit's lock is free, as a clerk clicks again.
                const LockHolder li{QStringLiteral("li"), QStringLiteral("李丽"), QStringLiteral("WS-B")};
                std::optional<HeaderLock> taken;
                for (int attempt = 0; attempt < 200 && !(taken && taken->held()); ++attempt) {
                    if (attempt > 0)
                        QThread::msleep(25);
                    taken.emplace(own, 1, li, HeaderLock::Quiet);
                }
                HeaderLock &lock = *taken;
                lockRefused = lock.refusal();
                if (lock.held()) {
                    approval = DocumentStore(own).post(DocumentKind::issue(), true, 1, QStringLiteral("LL001"),
                                                       QDate(2026, 12, 1), QStringLiteral("李丽"));
                    if (approval.posted)
                        lock.dismiss();
                }
                own.close();
            });
            // Give the other clerk time to reach the header and wait there.
            QThread::msleep(300);
        });
        chen->session->vcontrol(QStringLiteral("Y"));
        other.join();
        QVERIFY2(chen->view.failures.isEmpty(), qPrintable(chen->view.failures.join('|')));
        QCOMPARE(lockRefused, QString());
        QVERIFY(approval.posted);
        // Posted by order: the journal rows carry no manufacturing order.
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = 'LL001' AND Mo_No = ''")),
                 QStringLiteral("2"));
        QCOMPARE(field(QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381 WHERE Mo_No = ''")).toDouble(), 11.0);
        chen->session->pickNumber(QStringLiteral("LL001"));
        chen->view.answers << 1;
        chen->session->vcontrol(QStringLiteral("R"));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("0"));
        QCOMPARE(field(QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381 WHERE Mo_No = ''")).toDouble(), 20.0);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = 'LL001'")), QStringLiteral("0"));
    }

    // Two clerks sharing one sequence save the same proposed number: the
    // second is told as the duplicate check tells it, keeps its entry and is
    // offered the next free number, which it then stores.
    void twoClerksSaveOneProposedNumber()
    {
        Connection other = Connection::open(conn.url());
        auto first = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        auto second = clerk(other, QStringLiteral("chen"), QStringLiteral("陈志明"), DocumentKind::issue(),
                            QStringLiteral("WS-B"));
        for (auto *k : {first.get(), second.get()}) {
            k->session->vcontrol(QStringLiteral("A"));
            k->view.in.orgName = QStringLiteral("裁床组");
            k->view.in.stockMode = 2;
            k->view.in.propDuty = 0;
            k->view.in.remark = QStringLiteral("第二张");
        }
        QCOMPARE(first->view.proposed, second->view.proposed);
        // The first clerk stores it after the second's number check passed.
        whenStatementStarts(QStringLiteral("SELECT Org_No FROM Mmst001"), [&] {
            first->view.in.remark = QStringLiteral("第一张");
            first->session->vcontrol(QStringLiteral("Y"));
        });
        second->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(first->session->action(), WindowAction::Browse);
        QCOMPARE(second->view.told.last().text, QStringLiteral("此领料单号已经重复!请重新输入!"));
        QCOMPARE(second->view.told.last().messageId, QStringLiteral("ReturnRecCount_2"));
        QCOMPARE(second->session->action(), WindowAction::Add);
        QCOMPARE(second->view.in.invNo, QStringLiteral("A001-26120002"));
        QCOMPARE(second->view.in.remark, QStringLiteral("第二张"));
        QVERIFY(second->view.failures.isEmpty());
        second->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(second->session->action(), WindowAction::Browse);
        QCOMPARE(field(QStringLiteral("SELECT Remark FROM Mmst411 WHERE Inv_No = 'A001-26120001'")),
                 QStringLiteral("第一张"));
        QCOMPARE(field(QStringLiteral("SELECT Remark FROM Mmst411 WHERE Inv_No = 'A001-26120002'")),
                 QStringLiteral("第二张"));

        // Where a server lets the other insert land between the store's look-up and
        // its own (PostgreSQL; SQLite writes one at a time), the unique index answers.
        if (conn.backend() == Backend::PostgreSQL) {
            HeaderValues v;
            v.invNo = QStringLiteral("RACE-1");
            v.invDate = QDate(2026, 12, 9);
            v.stockMode = 2;
            v.invType = QStringLiteral("1");
            whenStatementStarts(QStringLiteral("INSERT INTO Mmst411"), [&] {
                TestDb::exec(other, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Status, Lock) "
                                                   "VALUES ('RACE-1', '1', '0', 'No')"));
            });
            const HeaderSaveOutcome out = DocumentStore(conn).saveNew(v);
            QCOMPARE(int(out.result), int(HeaderSaveOutcome::Result::NumberTaken));
            QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Inv_No = 'RACE-1'")), QStringLiteral("1"));
        }
        second.reset();
        other.close();
    }

    // A clerk's lock names its holder: the same clerk on the same
    // workstation takes it back at once, another clerk is refused as
    // before, and a supervisor may release it once told whose it is; the
    // clerk whose lock was released saves nothing.
    void holdersOfLocks()
    {
        Connection other = Connection::open(conn.url());
        auto li = clerk(other, QStringLiteral("li"), QStringLiteral("李丽"), DocumentKind::issue(), QStringLiteral("WS-B"));
        li->session->pickNumber(QStringLiteral("LL001"));
        li->session->vcontrol(QStringLiteral("U"));
        QVERIFY(li->session->holdsEditLock());
        QCOMPARE(field(QStringLiteral("SELECT Holder_Name FROM Erp_Lock_Holder WHERE Rec_Key = 1")),
                 QStringLiteral("李丽"));
        QCOMPARE(field(QStringLiteral("SELECT Workstation FROM Erp_Lock_Holder WHERE Rec_Key = 1")),
                 QStringLiteral("WS-B"));

        // The same clerk on the same workstation (a restarted program) gets it at once.
        auto again = clerk(conn, QStringLiteral("li"), QStringLiteral("李丽"), DocumentKind::issue(), QStringLiteral("WS-B"));
        again->session->pickNumber(QStringLiteral("LL001"));
        again->session->vcontrol(QStringLiteral("U"));
        QVERIFY2(again->session->holdsEditLock(), qPrintable(again->view.toldTexts().join('|')));
        again->view.answers << 6;
        again->session->vcontrol(QStringLiteral("N"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        // The first program's edit gives back nothing that is no longer its own.
        li->view.answers << 6;
        li->session->vcontrol(QStringLiteral("N"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        li->session->vcontrol(QStringLiteral("U"));
        QVERIFY(li->session->holdsEditLock());

        // Another clerk is refused as before.
        auto chen = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        chen->session->pickNumber(QStringLiteral("LL001"));
        chen->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(chen->view.told.last().text, QStringLiteral("记录已锁定,请稍等"));
        QVERIFY(chen->view.asked.isEmpty());

        // A supervisor is asked, declines, then releases.
        auto wang = clerk(conn, QStringLiteral("wang"), QStringLiteral("王主管"), DocumentKind::issue(),
                          QStringLiteral("WS-C"));
        wang->session->pickNumber(QStringLiteral("LL001"));
        wang->view.answers << 7;
        wang->session->vcontrol(QStringLiteral("U"));
        QVERIFY(wang->view.asked.last().text.startsWith(QStringLiteral("此单已被 李丽 (工作站 WS-B) 于 2026-12-09 10:00:05")));
        QVERIFY(wang->view.asked.last().text.endsWith(QStringLiteral("锁定,是否解除其锁定?")));
        QCOMPARE(wang->session->action(), WindowAction::Browse);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        wang->view.answers << 6;
        wang->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(wang->session->action(), WindowAction::Edit);
        QCOMPARE(field(QStringLiteral("SELECT Holder_Name FROM Erp_Lock_Holder WHERE Rec_Key = 1")),
                 QStringLiteral("王主管"));

        // The clerk whose lock went saves nothing and is told.
        li->view.in.remark = QStringLiteral("李的修改");
        li->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(li->view.told.last().text, QStringLiteral("此单的锁定已被解除,修改没有保存!"));
        QCOMPARE(li->session->action(), WindowAction::Browse);
        QCOMPARE(field(QStringLiteral("SELECT Remark FROM Mmst411 WHERE Inv_No = 'LL001'")), QStringLiteral("两行"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        wang->view.in.remark = QStringLiteral("主管的修改");
        wang->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(field(QStringLiteral("SELECT Remark FROM Mmst411 WHERE Inv_No = 'LL001'")), QStringLiteral("主管的修改"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Erp_Lock_Holder")), QStringLiteral("0"));
        li.reset();
        other.close();
    }

    // A lock a program of the ERP's took without a holder: treated as before.
    void aLockWithoutAHolder()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Rec_411 = 1"));
        auto wang = clerk(conn, QStringLiteral("wang"), QStringLiteral("王主管"));
        wang->session->pickNumber(QStringLiteral("LL001"));
        wang->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(wang->view.told.last().text, QStringLiteral("记录已锁定,请稍等"));
        QVERIFY(wang->view.asked.isEmpty());
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'No' WHERE Rec_411 = 1"));
    }

    // The server restarts while clerks work: every clerk's next command
    // goes through on the same connection opened again, and a change whose
    // transaction the restart cut is told as such, with the document read
    // again as the database holds it.
    void aServerRestart()
    {
        if (conn.backend() != Backend::PostgreSQL)
            QSKIP("only a server restarts");
        Connection other = Connection::open(conn.url());
        auto chen = clerk(conn, QStringLiteral("chen"), QStringLiteral("陈志明"));
        auto li = clerk(other, QStringLiteral("li"), QStringLiteral("李丽"), DocumentKind::issue(), QStringLiteral("WS-B"));
        chen->session->pickNumber(QStringLiteral("LL001"));
        li->session->pickNumber(QStringLiteral("LL003"));

        QVERIFY(TestDb::restartPostgres());
        // Between two commands: the next ones simply work, for both clerks.
        chen->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(chen->session->action(), WindowAction::Edit);
        li->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(li->session->action(), WindowAction::Edit);
        QVERIFY(chen->view.failures.isEmpty() && li->view.failures.isEmpty());
        QVERIFY(chen->view.told.isEmpty() && li->view.told.isEmpty());

        // In the middle of a save: nothing of it is stored, the clerk is told,
        // the document is shown as stored, and the next command works.
        chen->view.in.remark = QStringLiteral("重启时的修改");
        chen->view.in.stockMode = 0;
        whenStatementStarts(QStringLiteral("UPDATE Mmst412 SET Stock_Mode"), [] { QVERIFY(TestDb::restartPostgres()); });
        chen->session->vcontrol(QStringLiteral("Y"));
        QCOMPARE(chen->view.told.last().text,
                 QStringLiteral("与数据库的连接中断过,刚才的修改可能没有保存!已重新读取单据,请核对。"));
        QVERIFY(chen->view.failures.isEmpty());
        QCOMPARE(chen->session->action(), WindowAction::Browse);
        QCOMPARE(chen->session->record().remark, QStringLiteral("两行"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1 AND Stock_Mode = '0'")),
                 QStringLiteral("0"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        chen->session->vcontrol(QStringLiteral("U"));
        QCOMPARE(chen->session->action(), WindowAction::Edit);
        chen->view.answers << 6;
        chen->session->vcontrol(QStringLiteral("N"));
        li->view.answers << 6;
        li->session->vcontrol(QStringLiteral("N"));
        QCOMPARE(lockOf(QStringLiteral("LL003")), QStringLiteral("No"));
        li.reset();
        other.close();
    }
};

QTEST_GUILESS_MAIN(TstDocumentSession)
#include "tst_documentsession.moc"
