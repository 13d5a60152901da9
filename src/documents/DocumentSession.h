#pragma once

#include "documents/DocumentCommands.h"
#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "lines/LineRequest.h"
#include "platform/core/MessageBoxService.h"
#include "services/ErrorReporter.h"
#include "services/HeaderLock.h"
#include "services/KestoControl.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// A document header as the window shows it: one read from the database, or
// the cleared header of a new document.
struct HeaderRecord
{
    bool shown = false; // a document of the database (HasRecord)
    qint64 rec411 = 0;  // 0 when none is shown
    QString invNo;
    QString invDate; // yyyy-mm-dd
    QString orgName;
    QString procMan;
    QString barMan;
    QString formMan;
    QString checkMan;
    QString remark;
    QString pcsNo;
    bool outsourcing = false;
    bool printed = false;
    // The list positions; none: the choice on screen stays as it is.
    std::optional<int> stockMode;
    std::optional<int> propDuty;
};

// Everything a session is made with; nothing is read from elsewhere later.
struct SessionContext
{
    Connection conn;
    QString userId;
    QString userName;
    // The form names and title of the window's prompts: the confirmation
    // questions and the leave question.
    QString confirmForm;
    QString quitForm;
    QString promptTitle;
    // The workstation's date, for the question about a date in the future.
    std::function<QDate()> today;
    // The workstation tag written into the error log.
    QString runTag;
    // The workstation's name, recorded with the header locks the session takes.
    QString workstation;
};

// What the search command hands the search dialog.
struct SearchRequest
{
    QString table;
    QString field;
    Statement otherCondition;
};

// What the search dialog came to.
struct SearchOutcome
{
    bool cancelled = false;
    bool found = false; // the number list holds a number now
    QString first;      // the first number of the list
};

// What print and preview hand the report list.
struct ReportRequest
{
    bool viewPrice = false;
    QString choice; // "P" or "V"
    QString formId;
    QString variantCode;
};

// How the session speaks to the person and reaches the window that shows it.
// The document window implements it; tests script it.
class SessionView
{
public:
    virtual ~SessionView() = default;

    // What the header's fields hold now.
    virtual HeaderInput input() const = 0;
    // A question; the answer (1 OK, 2 Cancel, 6 Yes, 7 No).
    virtual int ask(const MessageRequest &question) = 0;
    // A message. An empty message id: shown as it is, no stored text replaces it.
    virtual void tell(const MessageRequest &message) = 0;
    virtual void focus(HeaderField field) = 0;
    // Called inside the handler of a failure: tells it and logs it.
    virtual void reportFailure(const QString &form, const QString &tag, const QString &detail = {}) = 0;

    // The session's record, lines, action and toolbar changed: show them.
    virtual void showDocument() = 0;
    // The lines were read again (after a line command); the header stays.
    virtual void showLines() = 0;
    // A new document's proposed number.
    virtual void proposeNumber(const QString &number) = 0;
    // A new document was stored under the number as typed: it joins the number list.
    virtual void numberStored(const QString &typed) = 0;
    // The document shown was deleted: its number leaves the list and the
    // neighbouring number is shown (through pickNumber or showNothing).
    virtual void documentRemoved() = 0;

    // Lock_Control: closes (or opens) the header fields.
    virtual void Lock_Control(bool locked) = 0;

    // The window's dialogs.
    virtual SearchOutcome search(const SearchRequest &request) = 0;
    // The report list; true when a print of the document came out (on paper
    // or as a PDF), not when a preview was only looked at, with the caption
    // of the report printed.
    virtual bool openReports(const ReportRequest &request, QString &printedReport) = 0;
    virtual void openLineDialog(const LineRequest &request) = 0;
    virtual void openUsageImport(const UsageImportCall &call) = 0;
    virtual void showHelp() = 0;
    virtual void closeWindow() = 0;

protected:
    SessionView() = default;
    SessionView(const SessionView &) = default;
    SessionView &operator=(const SessionView &) = default;
};

// The line commands of the grid's popup menu, by the line dialog's Modify code.
enum class LineCommand { Add = 0, Delete = 1, Edit = 2 };

// One open document window's rules without its widgets: the documents it
// selected, the one shown, what the window is doing (its Kesto_Control), the
// edit's header lock, and every command of the window, run from the one
// command table. It works on the connection and user it was made with.
class DocumentSession
{
public:
    // buttons: the toolbar its Kesto_Control drives (none: nothing is driven).
    DocumentSession(SessionContext context, const DocumentKind &kind, SessionView &view,
                    std::shared_ptr<CommandButtons> buttons);
    ~DocumentSession();
    DocumentSession(const DocumentSession &) = delete;
    DocumentSession &operator=(const DocumentSession &) = delete;

    // Form_Load's part: the option "按订单用料控制领料" and the first
    // (empty) selection. A failure is reported and the window still opens.
    void load();

    // The dispatcher: runs the command table's row for the letter in the
    // current action; letters without a row do nothing.
    void vcontrol(const QString &letter);

    // Picking a number from the number list shows that document (not while
    // a header is entered or a read is under way).
    void pickNumber(const QString &number);
    // Shows no document.
    void showNothing();
    // readactive: selects the documents of the filter again and shows the first.
    void readactive();
    // ReadShow: shows the current document, or clears the header while adding.
    void ReadShow();
    // Reloads the lines ("grid1" in any case; other names do nothing).
    void RefreshGrid(const QString &gridName);
    // The nature changed on screen: while adding, a new number is proposed.
    void Prop_Duty_Change();
    // The proposed number of a new document.
    QString Creat_No();

    // menu_modify: a line command from the grid's popup menu on the line in
    // grid row gridRow (source row sourceRow of the lines, -1 for none).
    void menu_modify(LineCommand kind, int gridRow, qint64 sourceRow);
    // The usage import button.
    void Input_Mo_Mtr_Click();
    // The window is asked to close: false keeps it open. An edit's lock is
    // given back when it closes.
    bool Form_QueryUnload();

    // The command table's checks.
    bool Check_Inv_Status();
    bool Check_ok();
    bool Check_ok1();
    // The command table's handlers.
    void add();
    void edit();
    void save(); // upd_data
    void cancel();
    void cancelEdit();
    void remove();
    void approve(); // upd_data1, approving
    void reset();   // upd_data1, resetting
    void find();
    void print();
    void preview();
    void help();
    void quit();
    void nothing();

    // What the window shows.
    const DocumentKind &kind() const { return m_kind; }
    const Connection &connection() const { return m_ctx.conn; }
    const SessionContext &context() const { return m_ctx; }
    Kesto_Control &control() { return m_control; }
    const Kesto_Control &control() const { return m_control; }
    WindowAction action() const { return m_control.action(); }
    bool hasRecord() const { return m_record.shown; }
    const HeaderRecord &record() const { return m_record; }
    const ResultSet &headerRs() const { return m_headerRs; }
    const std::shared_ptr<ResultSet> &linesRs() const { return m_linesRs; }
    const Statement &headerFilter() const { return m_headerFilter; }
    bool orderControl() const { return m_orderControl; }
    bool reading() const { return m_reading; }
    bool holdsEditLock() const { return m_editLock.has_value() && m_editLock->held(); }
    QString currentArea() const { return m_currentArea; }
    void setCurrentArea(const QString &area) { m_currentArea = area; }
    // The status of the document shown as read now: "9" when none is shown.
    QString headerStatus() const;
    // Messages and failures on the session's connection, for its user.
    ErrorReporter reporter() const;
    // Whom the history rows of this session's changes name.
    HistoryActor actor() const;
    // The history of the document shown, oldest first (none when none is shown).
    QList<HistoryEntry> history() const;
    // The variables text of a document for its report scripts.
    static QString variantCode(const QString &number);
    // A print of the document of this number came out with that report:
    // its print mark is set and the print written to its history, and the
    // mark shown when it is the document on screen.
    void markPrinted(const QString &number, const QString &report);

private:
    void run(const CommandRow &row);
    void refuse(OnRefusal onRefusal);
    bool passes(StatusGate gate);
    bool passesNow(const CommandRow &row);
    void tellCheck(const QString &text);
    void tellRefusal(const HeaderRefusal &refusal);
    int confirm(const QString &text, int style, const QString &title);
    void tellLockRefusal(const HeaderLock &lock);
    // The header's lock for this session's user, or none (the refusal told;
    // a supervisor is offered to release a lock whose holder is recorded).
    std::optional<HeaderLock> lockHeader(qint64 rec411);
    LockHolder holder() const;
    // Inside a catch: when the failure is a change the server dropped the
    // connection in, the clerk is told it may not have been saved and is
    // shown what the database holds. True when it was.
    bool toldConnectionLost();
    void loadLines();
    void upd_data1(bool approve);
    void openLine(LineCommand kind, qint64 sourceRow);
    void deleteLine(int gridRow, qint64 sourceRow);
    void printReport(const QString &choice);
    HeaderRecord clearedHeader() const;
    HeaderRecord currentRow() const;

    SessionContext m_ctx;
    const DocumentKind &m_kind;
    SessionView &m_view;
    DocumentStore m_store;
    Kesto_Control m_control;
    std::shared_ptr<CommandButtons> m_buttons;

    ResultSet m_headerRs;
    std::shared_ptr<ResultSet> m_linesRs;
    Statement m_headerFilter = HeaderFilter::nothing();
    HeaderRecord m_record;
    QString m_currentArea = QStringLiteral("MAIN");
    bool m_reading = false;
    bool m_orderControl = false;
    LineCommand m_menuKind = LineCommand::Add;
    // The number last proposed for a new document.
    QString m_proposedNumber;
    // The lock the running command holds, and the one an edit keeps from U
    // until save, cancel or close.
    std::optional<HeaderLock> m_commandLock;
    std::optional<HeaderLock> m_editLock;
};
