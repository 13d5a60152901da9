#include "documents/DocumentSession.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "services/DbGateway.h"
#include "services/DocumentNumbering.h"
#include "services/RecordLock.h"
#include "services/SystemOptions.h"

namespace {

const QString kHeaderTable = QStringLiteral("Mmst411");
const QString kCheckMessage = QStringLiteral("Check_OK_1");
const QString kConfirmMessage = QStringLiteral("Menu_Delete_Click_2");

} // namespace

DocumentSession::DocumentSession(SessionContext context, const DocumentKind &kind, SessionView &view,
                                 std::shared_ptr<CommandButtons> buttons)
    : m_ctx(std::move(context)), m_kind(kind), m_view(view), m_store(m_ctx.conn), m_control(&DocumentCommands::table()),
      m_buttons(std::move(buttons)), m_linesRs(std::make_shared<ResultSet>())
{}

DocumentSession::~DocumentSession() = default;

ErrorReporter DocumentSession::reporter() const
{
    return ErrorReporter(m_ctx.conn, m_ctx.userName, m_ctx.runTag);
}

// ------------------------------------------------------------------ loading and showing

void DocumentSession::load()
{
    try {
        m_currentArea = QStringLiteral("MAIN");
        readactive();
        QString option;
        try {
            option = SystemOptions(m_ctx.conn).value(DbGateway::ChangeStrCode(QStringLiteral("按订单用料控制领料")));
        } catch (...) {
            // An unreadable option reads as not set; the window still opens.
            m_view.reportFailure(m_kind.windowName, QStringLiteral("Form_Load"));
        }
        m_orderControl = option == QLatin1String("1");
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Form_Load"));
    }
}

void DocumentSession::readactive()
{
    m_reading = true;
    try {
        m_headerRs = m_store.headers(m_headerFilter, m_kind.invType());
        m_headerRs.moveFirst();
        // All three windows share the rights of program 40B.
        m_control.IniRights(m_ctx.conn, m_ctx.userId, m_buttons, QStringLiteral("40B"), &m_headerRs);
        ReadShow();
        m_reading = false;
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("readactive"));
    }
}

HeaderRecord DocumentSession::clearedHeader() const
{
    HeaderRecord r;
    r.invDate = DbGateway::GetServerDate(m_ctx.conn);
    r.barMan = m_ctx.userName;
    r.formMan = m_ctx.userName;
    return r;
}

HeaderRecord DocumentSession::currentRow() const
{
    const ResultSet &rs = m_headerRs;
    const auto text = [&rs](const char *column, const QString &orElse = {}) {
        return DbGateway::NullToString(rs.field(QLatin1String(column)), orElse);
    };
    HeaderRecord r;
    r.shown = true;
    r.rec411 = rs.field(QStringLiteral("Rec_411")).toLongLong();
    r.pcsNo = text("Pcs_No");
    r.outsourcing = text("Out_Flag", QStringLiteral("0")) != QLatin1String("0");
    const QString printed = text("print_status", QStringLiteral("0"));
    r.printed = printed == QLatin1String("1") || printed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    r.invNo = text("Inv_No");
    const QVariant date = rs.field(QStringLiteral("Inv_Date"));
    r.invDate = DbGateway::FormatDateText(date.isNull() ? QVariant(DbGateway::GetServerDate(m_ctx.conn)) : date);
    r.orgName = text("Org_name");
    r.procMan = text("Proc_Man");
    r.formMan = text("Form_Man");
    r.checkMan = text("Check_Man");
    r.barMan = text("Bar_Man");
    r.remark = text("Remark");
    r.stockMode = text("stock_mode", QStringLiteral("2")).trimmed().toInt();
    r.propDuty = text("prop_duty", QStringLiteral("0")).trimmed().toInt();
    return r;
}

void DocumentSession::ReadShow()
{
    try {
        const WindowAction action = m_control.action();
        m_record = action == WindowAction::Add || !m_headerRs.hasCurrent() ? clearedHeader() : currentRow();
        loadLines();
        m_control.Set_Status(headerStatus());
        m_view.showDocument();
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("ReadShow"));
    }
}

void DocumentSession::loadLines()
{
    // An invalid key selects no line but still gives the grid its columns.
    const QVariant key = m_record.shown ? m_headerRs.field(QStringLiteral("Rec_411")) : QVariant();
    *m_linesRs = m_store.lines(key);
}

void DocumentSession::RefreshGrid(const QString &gridName)
{
    if (gridName.toUpper() != QLatin1String("GRID1"))
        return;
    loadLines();
    m_view.showLines();
}

QString DocumentSession::headerStatus() const
{
    // No document shown reads as a document that does not exist.
    if (!m_record.shown)
        return QStringLiteral("9");
    return DbGateway::LookupStatus(m_ctx.conn, QStringLiteral("Rec_411"), QString::number(m_record.rec411),
                                   kHeaderTable, QStringLiteral("Status"));
}

void DocumentSession::pickNumber(const QString &number)
{
    const WindowAction action = m_control.action();
    if (m_reading || action == WindowAction::Add || action == WindowAction::Edit)
        return;
    m_currentArea = QStringLiteral("MAIN");
    m_headerFilter = HeaderFilter::byNumber(number);
    readactive();
}

void DocumentSession::showNothing()
{
    m_headerFilter = HeaderFilter::nothing();
    readactive();
}

// ------------------------------------------------------------------ talking to the person

void DocumentSession::tellCheck(const QString &text)
{
    m_view.tell({m_kind.windowName, kCheckMessage, text, 0, QString()});
}

void DocumentSession::tellRefusal(const HeaderRefusal &refusal)
{
    m_view.tell({refusal.formName.isEmpty() ? m_kind.windowName : refusal.formName, refusal.messageId, refusal.text,
                 refusal.style, refusal.title});
    if (refusal.focus != HeaderField::None)
        m_view.focus(refusal.focus);
}

void DocumentSession::tellLockRefusal(const HeaderLock &lock)
{
    // The lock's refusals are the record lock's own messages, under no form name.
    m_view.tell({RecordLock::refusalForm(), RecordLock::refusalMessageId(), lock.refusal(), 0, QString()});
}

bool DocumentSession::toldConnectionLost()
{
    try {
        throw;
    } catch (const ErpError &e) {
        if (e.number() != ErpErrorNumber::ConnectionLost)
            return false;
    } catch (...) {
        return false;
    }
    // The server went away in the middle of a change: whether it was stored
    // only the database can say, so the clerk is told and shown what it holds.
    tellCheck(QStringLiteral("与数据库的连接中断过,刚才的修改可能没有保存!已重新读取单据,请核对。"));
    m_commandLock.reset();
    m_editLock.reset();
    m_control.Action(WindowAction::Browse);
    readactive();
    return true;
}

LockHolder DocumentSession::holder() const
{
    return {m_ctx.userId, m_ctx.userName, m_ctx.workstation};
}

HistoryActor DocumentSession::actor() const
{
    return {m_ctx.userId, m_ctx.userName, m_ctx.workstation};
}

QList<HistoryEntry> DocumentSession::history() const
{
    if (!m_record.shown)
        return {};
    return DocumentHistory(m_ctx.conn).entries(m_record.rec411);
}

std::optional<HeaderLock> DocumentSession::lockHeader(qint64 rec411)
{
    HeaderLock lock(m_ctx.conn, rec411, holder(), HeaderLock::Quiet);
    if (lock.held())
        return lock;
    if (lock.heldBy() && m_control.Release_Locks()) {
        // A supervisor frees a clerk's lock once told whose it is and since when.
        const LockHeldBy &by = *lock.heldBy();
        const QString question = QStringLiteral("此单已被 %1 (工作站 %2) 于 %3 锁定,是否解除其锁定?")
                                     .arg(by.userName.isEmpty() ? by.userId : by.userName, by.workstation,
                                          by.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        if (m_view.ask({m_kind.windowName, QStringLiteral("Release_Lock_1"), question,
                        MessageStyle::YesNoQuestionSecond, m_ctx.promptTitle}) != MessageAnswer::Yes)
            return std::nullopt;
        if (RecordLock(m_ctx.conn).releaseHeld(rec411, by, actor())) {
            HeaderLock again(m_ctx.conn, rec411, holder(), HeaderLock::Quiet);
            if (again.held())
                return again;
            tellLockRefusal(again);
            return std::nullopt;
        }
    }
    tellLockRefusal(lock);
    return std::nullopt;
}

int DocumentSession::confirm(const QString &text, int style, const QString &title)
{
    return m_view.ask({m_ctx.confirmForm, kConfirmMessage, text, style, title});
}

bool DocumentSession::passes(StatusGate gate)
{
    if (const auto refused = DocumentCommands::refusal(gate, parseDocumentStatus(headerStatus()))) {
        m_view.tell({m_kind.windowName, refused->messageId, refused->text, 0, QString()});
        return false;
    }
    return true;
}

bool DocumentSession::passesNow(const CommandRow &row)
{
    if (const auto refused = DocumentCommands::refusal(row, m_control.action(), parseDocumentStatus(headerStatus()))) {
        m_view.tell({m_kind.windowName, refused->messageId, refused->text, 0, QString()});
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ the dispatcher

void DocumentSession::vcontrol(const QString &letter)
{
    m_currentArea = QStringLiteral("MAIN");
    try {
        const CommandRow *row =
            letter.size() == 1 ? DocumentCommands::table().row(letter.at(0).toLatin1(), m_control.action()) : nullptr;
        if (row)
            run(*row);
    } catch (...) {
        if (toldConnectionLost())
            return;
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Vcontrol"));
        // The command's lock goes with it; an edit's is given back when the edit fails.
        m_commandLock.reset();
        if (m_control.action() == WindowAction::Edit)
            m_editLock.reset();
    }
}

void DocumentSession::run(const CommandRow &row)
{
    bool began = false;
    if (row.during && row.entering == Entering::AtStart) {
        m_control.Action(*row.during);
        began = true;
    }
    for (CommandRow::Check check : row.before) {
        if (!(this->*check)()) {
            if (began)
                refuse(row.onRefusal);
            return;
        }
    }
    if (row.question) {
        if (confirm(row.question->text, row.question->style, m_ctx.promptTitle) != row.question->goOn) {
            refuse(row.onRefusal);
            return;
        }
        began = true;
    }
    if (row.during && row.entering == Entering::WhenConfirmed)
        m_control.Action(*row.during);
    for (CommandRow::Check check : row.after) {
        if (!(this->*check)()) {
            refuse(row.onRefusal);
            return;
        }
    }
    if (row.lock != LockPolicy::None) {
        m_commandLock = lockHeader(m_record.rec411);
        if (!m_commandLock) {
            refuse(row.onRefusal);
            return;
        }
        // What was checked before the question may have changed since:
        // another user can approve, reset or delete meanwhile.
        if (!passesNow(row)) {
            m_commandLock.reset();
            refuse(row.onRefusal);
            return;
        }
    }
    if (row.during && row.entering == Entering::WhenLocked)
        m_control.Action(*row.during);
    (this->*row.handler)();
    if (row.lock == LockPolicy::UntilSaveOrCancel && m_commandLock && m_commandLock->held())
        m_editLock.emplace(std::move(*m_commandLock));
    m_commandLock.reset();
    if (row.next && m_control.action() != *row.next)
        m_control.Action(*row.next);
}

void DocumentSession::refuse(OnRefusal onRefusal)
{
    switch (onRefusal) {
    case OnRefusal::Stay:
        break;
    case OnRefusal::Browse:
        m_control.Action(WindowAction::Browse);
        break;
    case OnRefusal::BrowseAndReread:
        m_control.Action(WindowAction::Browse);
        readactive();
        break;
    }
}

// ------------------------------------------------------------------ checks

bool DocumentSession::Check_Inv_Status()
{
    try {
        return passes(StatusGate::Change);
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Check_Inv_Status"));
        return false;
    }
}

// The header's checks before a save, and the short form before a delete.
bool DocumentSession::Check_ok()
{
    try {
        const WindowAction action = m_control.action();
        if (action != WindowAction::Add && !passes(StatusGate::Save))
            return false;
        const HeaderInput in = m_view.input();
        if (action == WindowAction::Delete) {
            // A document other records refer to stays.
            const ErrorReporter r = reporter();
            for (const auto &[field, value, bare] :
                 {std::tuple{QStringLiteral("Inv_No"), QVariant(in.invNo), false},
                  std::tuple{QStringLiteral("Rec_411"), QVariant(QString::number(m_record.rec411)), true}}) {
                if (const auto used = r.idDataInUse(kHeaderTable, field, value, bare)) {
                    m_view.tell(*used);
                    return false;
                }
            }
            return true;
        }
        const HeaderRefusal refused = m_store.checkHeader(in, action == WindowAction::Edit ? m_record.rec411 : 0);
        if (!refused.isEmpty()) {
            tellRefusal(refused);
            return false;
        }
        // A date later than today is asked about, as the gateway's date check does.
        const QDate date = DbGateway::toDate(in.invDate);
        const QDate today = m_ctx.today ? m_ctx.today() : Environment::today();
        if (date > today)
            return m_view.ask({QStringLiteral("PublicFunction"), QStringLiteral("Check_Date_Ok"),
                               QStringLiteral("单据日期大於当前日期,是否要继续?"), 292, QStringLiteral("警告")}) !=
                   MessageAnswer::No;
        return true;
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Check_ok"));
        return false;
    }
}

// The checks before an approval or a reset.
bool DocumentSession::Check_ok1()
{
    try {
        if (m_view.input().stockMode < 0) {
            tellCheck(QStringLiteral("请选择正确的扣库存方式!"));
            return false;
        }
        // Browsing (or deleting) reads as a reset: only an approval refuses
        // what is approved already.
        const bool approving = m_control.action() == WindowAction::Check;
        if (!passes(approving ? StatusGate::Approve : StatusGate::Reset))
            return false;
        if (m_store.lineCount(m_record.rec411) == 0) {
            tellCheck(QStringLiteral("此单据没有明细资料,请录入其明细!"));
            return false;
        }
        return true;
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Check_ok1"));
        return false;
    }
}

// ------------------------------------------------------------------ add, edit, save, cancel

QString DocumentSession::Creat_No()
{
    try {
        const QString n = DocumentNumbering::CreateStdCode(m_ctx.conn, QStringLiteral("K06013"),
                                                           QStringLiteral("inv_No"), kHeaderTable, false);
        if (n != DocumentNumbering::noNumber())
            return n;
        static const char *const natures[] = {"MV", "MQ", "MA", "MQ", "MM"};
        const int p = m_view.input().propDuty;
        const QString nature = QString::fromLatin1(p >= 0 && p < 5 ? natures[p] : "MV");
        return DocumentNumbering::CreateDocumentNo(m_ctx.conn, m_ctx.userId, kHeaderTable, QStringLiteral("G"), nature);
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Creat_No"));
        return {};
    }
}

void DocumentSession::Prop_Duty_Change()
{
    try {
        if (m_control.action() == WindowAction::Add) {
            m_proposedNumber = Creat_No();
            m_view.proposeNumber(m_proposedNumber);
        }
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Prop_Duty_Change"));
    }
}

void DocumentSession::add()
{
    ReadShow();
    m_proposedNumber = Creat_No();
    m_view.proposeNumber(m_proposedNumber);
    m_view.focus(HeaderField::Inv_No);
}

void DocumentSession::edit()
{
    ReadShow();
    m_view.focus(HeaderField::Org_Name);
}

// upd_data: writes the header, carries its stock-deduction mode down to the
// lines and shows the stored document.
void DocumentSession::save()
{
    const WindowAction action = m_control.action();
    try {
        const HeaderInput in = m_view.input();
        HeaderValues v;
        v.invNo = in.invNo.trimmed();
        v.invDate = DbGateway::toDate(in.invDate.trimmed());
        v.orgNo = DbGateway::LookupField(m_ctx.conn, QStringLiteral("Mmst001"), QStringLiteral("Org_No"),
                                         QStringLiteral("Org_Name"), in.orgName);
        v.procMan = in.procMan.trimmed();
        v.barMan = in.barMan.trimmed();
        v.formMan = m_ctx.userName;
        v.remark = in.remark.trimmed();
        v.updName = m_ctx.userName.trimmed();
        v.updDate = DbGateway::GetServerDateTime(m_ctx.conn);
        v.stockMode = in.stockMode;
        v.propDuty = in.propDuty;
        v.pcsNo = in.pcsNo.trimmed();
        v.outsourcing = in.outsourcing;
        v.invType = m_kind.invType();
        qint64 key = m_record.rec411;
        const HeaderSaveOutcome outcome =
            action == WindowAction::Add
                ? m_store.saveNew(v, actor())
                : m_store.saveEdit(key, v, m_editLock ? m_editLock->token() : QString(), actor());
        if (outcome.result == HeaderSaveOutcome::Result::NumberTaken) {
            // Another clerk stored the number first: told as the check tells
            // it, with everything typed kept; a number this window proposed
            // gives way to the next free one.
            tellRefusal(DocumentStore::numberTaken());
            if (action == WindowAction::Add && in.invNo == m_proposedNumber)
                m_view.proposeNumber(m_proposedNumber = Creat_No());
            return;
        }
        if (!outcome.saved()) {
            // The document changed hands meanwhile: nothing was stored, and
            // whoever moved it holds or freed its lock now.
            if (m_editLock)
                m_editLock->dismiss();
            m_editLock.reset();
            tellCheck(outcome.result == HeaderSaveOutcome::Result::LockLost
                          ? QStringLiteral("此单的锁定已被解除,修改没有保存!")
                          : notOpenText(outcome.status));
            m_control.Action(WindowAction::Browse);
            readactive();
            return;
        }
        if (action == WindowAction::Add) {
            key = outcome.rec411;
            m_view.numberStored(in.invNo);
        } else {
            // The save gave the lock back in its own transaction.
            if (m_editLock)
                m_editLock->dismiss();
            m_editLock.reset();
        }
        m_headerFilter = HeaderFilter::byKey(key);
        readactive();
        m_control.Action(WindowAction::Browse);
    } catch (...) {
        if (toldConnectionLost())
            return;
        m_view.reportFailure(m_kind.windowName, QStringLiteral("upd_data"));
        // An edit that could not be stored gives its lock back and shows the
        // stored document again, so the window never browses holding a lock.
        m_control.Action(WindowAction::Browse);
        if (action == WindowAction::Edit) {
            m_editLock.reset();
            ReadShow();
        }
    }
}

void DocumentSession::cancelEdit()
{
    m_editLock.reset();
    cancel();
}

void DocumentSession::cancel()
{
    // The document current before the add or edit is shown again, as last read.
    m_control.Action(WindowAction::Browse);
    ReadShow();
    m_view.Lock_Control(true);
}

bool DocumentSession::Form_QueryUnload()
{
    try {
        const WindowAction action = m_control.action();
        if (action == WindowAction::Add || action == WindowAction::Edit) {
            if (m_view.ask({m_ctx.quitForm, kConfirmMessage, QStringLiteral("是否要退出系统"),
                            MessageStyle::YesNoQuestion, m_ctx.promptTitle}) == MessageAnswer::No)
                return false;
            if (action == WindowAction::Edit)
                m_editLock.reset();
        }
        return true;
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Form_QueryUnload"));
        return true;
    }
}

// ------------------------------------------------------------------ delete, approve, reset

void DocumentSession::remove()
{
    // The store deletes only an open document, deciding under its own
    // transaction; whatever another user did since is told here.
    const DeleteOutcome outcome = m_store.deleteDocument(m_record.rec411, actor());
    if (outcome.deleted) {
        m_view.documentRemoved();
        return;
    }
    const CommandRow *row = DocumentCommands::table().row(CommandLetter::Delete, m_control.action());
    const auto refused =
        row ? DocumentCommands::refusal(*row, m_control.action(), parseDocumentStatus(outcome.status)) : std::nullopt;
    tellCheck(refused ? refused->text : QStringLiteral("此单已被他人删除!"));
    readactive();
}

void DocumentSession::approve()
{
    upd_data1(true);
}

void DocumentSession::reset()
{
    upd_data1(false);
}

void DocumentSession::upd_data1(bool approve)
{
    const qint64 key =
        m_headerRs.hasCurrent() ? m_headerRs.field(QStringLiteral("Rec_411")).toLongLong() : m_record.rec411;
    QString invNo;
    QDate date;
    try {
        invNo = DbGateway::NullToString(m_headerRs.field(QStringLiteral("Inv_No")));
        date = m_store.documentDate(invNo);
        m_record.rec411 = key;
    } catch (...) {
        // Nothing was posted yet: give the lock back and browse again.
        m_view.reportFailure(m_kind.windowName, QStringLiteral("upd_data1"));
        m_commandLock.reset();
        m_control.Action(WindowAction::Browse);
        readactive();
        return;
    }
    try {
        const PostingOutcome outcome = m_store.post(m_kind, approve, key, invNo, date, m_ctx.userName, actor());
        if (outcome.posted) {
            // The status update gave the lock back in the same statement.
            m_commandLock->dismiss();
        } else if (outcome.result == PostingOutcome::Result::StatusMoved) {
            // Another user approved, reset or deleted it first: nothing moved.
            const auto refused = DocumentCommands::refusal(approve ? StatusGate::Approve : StatusGate::Reset,
                                                           parseDocumentStatus(outcome.status));
            tellCheck(refused ? refused->text : QStringLiteral("更新时发生错误!"));
            m_commandLock.reset();
        } else {
            tellCheck(outcome.shortageText());
            m_commandLock.reset();
        }
        m_headerFilter = HeaderFilter::byKey(key);
        readactive();
    } catch (...) {
        if (toldConnectionLost())
            return;
        tellCheck(QStringLiteral("更新时发生错误!"));
        m_commandLock.reset();
        m_control.Action(WindowAction::Browse);
    }
}

// ------------------------------------------------------------------ find, print, help, quit

void DocumentSession::find()
{
    SearchRequest request;
    request.table = kHeaderTable;
    request.field = QStringLiteral("Inv_No");
    request.otherCondition = Statement(QStringLiteral("Inv_Type = ?"), {m_kind.invType()});
    const SearchOutcome outcome = m_view.search(request);
    if (outcome.cancelled)
        return;
    if (!outcome.found) {
        m_headerFilter = {QStringLiteral("1=2"), {}};
        readactive();
    } else {
        pickNumber(outcome.first);
    }
}

QString DocumentSession::variantCode(const QString &number)
{
    // The number is written as a string literal: a quote typed into the
    // field must not end it early.
    QString doubled = number;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("inv_no=\"") + doubled + QLatin1Char('"');
}

void DocumentSession::printReport(const QString &choice)
{
    ReportRequest request;
    request.viewPrice = m_control.View_Price();
    request.choice = choice;
    request.formId = m_kind.reportFormId;
    // The number as the field shows it, even when typed over while browsing.
    const QString number = m_view.input().invNo;
    request.variantCode = variantCode(number);
    QString report;
    if (m_view.openReports(request, report))
        markPrinted(number, report);
}

void DocumentSession::markPrinted(const QString &number, const QString &report)
{
    try {
        const QString detail = report.isEmpty() ? QString() : QStringLiteral("报表 %1").arg(report);
        if (m_store.markPrinted(number, detail, actor()) == 0 || !m_record.shown ||
            number.trimmed().compare(m_record.invNo.trimmed(), Qt::CaseInsensitive) != 0)
            return;
        m_record.printed = true;
        m_view.showDocument();
    } catch (...) {
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Vcontrol"));
    }
}

void DocumentSession::print()
{
    printReport(QStringLiteral("P"));
}

void DocumentSession::preview()
{
    printReport(QStringLiteral("V"));
}

void DocumentSession::help()
{
    m_view.showHelp();
}

void DocumentSession::quit()
{
    m_view.closeWindow();
}

void DocumentSession::nothing() {}

// ------------------------------------------------------------------ lines

void DocumentSession::menu_modify(LineCommand kind, int gridRow, qint64 sourceRow)
{
    try {
        m_menuKind = kind;
        if (!Check_Inv_Status())
            return;
        std::optional<HeaderLock> lock = lockHeader(m_record.rec411);
        if (!lock)
            return;
        // Read again once the lock is held: the document may have been
        // approved or deleted since the first check.
        if (!Check_Inv_Status())
            return;
        if (kind == LineCommand::Delete)
            deleteLine(gridRow, sourceRow);
        else
            openLine(kind, sourceRow);
        lock->release();
        m_view.Lock_Control(true);
    } catch (...) {
        if (toldConnectionLost())
            return;
        m_view.reportFailure(m_kind.windowName, QStringLiteral("menu_modify"));
        m_view.Lock_Control(true);
    }
}

void DocumentSession::openLine(LineCommand kind, qint64 sourceRow)
{
    const HeaderInput in = m_view.input();
    LineRequest request;
    request.modify = int(kind);
    request.rec411 = DbGateway::NullToString(m_headerRs.field(QStringLiteral("Rec_411")));
    request.invType = m_kind.invType();
    request.stockMode = QString::number(in.stockMode);
    request.propDuty = QString::number(in.propDuty);
    request.stockModePosition = in.stockMode;
    request.outsourcing = in.outsourcing;
    request.conn = m_ctx.conn;
    request.who = actor();
    if (kind == LineCommand::Edit) {
        if (sourceRow < 0)
            return;
        const ResultSet &lines = *m_linesRs;
        request.rec412 = lines.text(sourceRow, QStringLiteral("Rec_412"));
        request.rec611 = lines.text(sourceRow, QStringLiteral("rec_611"));
        static const std::pair<const char *, const char *> fields[] = {
            {"Frm_inv", "frm_inv"},   {"Mo_No", "Mo_No"},     {"Order_No", "order_no"}, {"frm_type", "frm_type"},
            {"Mtr_No", "mtr_no"},     {"Mtr_Dim", "mtr_dim"}, {"Mtr_Name", "mtr_name"}, {"Unit_Name", "unit_name"},
            {"Bar_Name", "bar_name"}, {"Mtr_Amt", "mtr_amt"}, {"Remark", "remark"},     {"Color_Name", "color_name"},
        };
        for (const auto &[field, column] : fields)
            request.fields.emplace_back(QLatin1String(field), lines.text(sourceRow, QLatin1String(column)));
        // The line's own mode, not the header's.
        const QString mode =
            DbGateway::NullToString(lines.value(sourceRow, QStringLiteral("stock_mode")), QStringLiteral("2"))
                .trimmed();
        request.stockModePosition = mode.toInt();
        request.stockMode = mode;
    }
    m_view.openLineDialog(request);
}

void DocumentSession::deleteLine(int gridRow, qint64 sourceRow)
{
    if (sourceRow < 0)
        return;
    const QVariant line = m_linesRs->value(sourceRow, QStringLiteral("Rec_412"));
    if (const auto used = reporter().idDataInUse(QStringLiteral("Mmst412"), QStringLiteral("Rec_412"), line, true)) {
        m_view.tell(*used);
        return;
    }
    if (confirm(QStringLiteral("确认要删除行号为 ") + QString::number(gridRow) + QStringLiteral(" 的明细记录?"),
                MessageStyle::YesNoQuestion, m_ctx.promptTitle) != MessageAnswer::Yes)
        return;
    const LinesOutcome outcome = m_store.deleteLine(line.toLongLong(), actor());
    if (!outcome.done)
        tellCheck(outcome.lineGone ? QStringLiteral("当前记录已被其它用户删除,请检查!") : notOpenText(outcome.status));
    RefreshGrid(QStringLiteral("GRID1"));
}

void DocumentSession::Input_Mo_Mtr_Click()
{
    const qint64 key = m_record.rec411;
    try {
        if (!Check_Inv_Status())
            return;
        std::optional<HeaderLock> lock = lockHeader(key);
        if (!lock)
            return;
        if (!Check_Inv_Status())
            return;
        // The lines as they are in the database now, not as the grid last showed them.
        if (m_store.lineCount(key) >= 1) {
            if (confirm(QStringLiteral("本单下已有资料,继续导入将删除本单下的资料,是否要继续?"),
                        MessageStyle::YesNoQuestionSecond, QString()) != MessageAnswer::Yes)
                return;
            const LinesOutcome deleted = m_store.deleteLines(key, actor());
            if (!deleted.done) {
                tellCheck(notOpenText(deleted.status));
                RefreshGrid(QStringLiteral("GRID1"));
                return;
            }
            RefreshGrid(QStringLiteral("GRID1"));
        }
        const HeaderInput in = m_view.input();
        UsageImportCall call;
        call.caption = DbGateway::ChangeStrCode(m_orderControl ? QStringLiteral("导入订单Bom用量(Frm40BMx4)")
                                                               : QStringLiteral("导入制单用量(Frm40BMx4)"));
        call.propDuty = QString::number(in.propDuty);
        call.orderControl = m_orderControl;
        call.production = !in.outsourcing;
        call.stockMode = in.stockMode;
        call.pcsNo = in.pcsNo.trimmed();
        call.rec411 = key;
        call.conn = m_ctx.conn;
        call.who = actor();
        m_view.openUsageImport(call);
        m_store.fillMissingLineStockModes(key, actor());
        RefreshGrid(QStringLiteral("GRID1"));
    } catch (...) {
        if (toldConnectionLost())
            return;
        // The lock went with its guard: the document is not left locked.
        m_view.reportFailure(m_kind.windowName, QStringLiteral("Input_Mo_Mtr_Click"));
    }
}
