#pragma once

#include <functional>

#include "documents/DocumentKind.h"
#include "platform/db/Sql.h"
#include "services/DocumentHistory.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

// Which headers a document window shows: a condition with its values.
namespace HeaderFilter {
inline Statement nothing()
{
    return {QStringLiteral(" 1=2 "), {}};
}
inline Statement byNumber(const QString &invNo)
{
    return {QStringLiteral("Inv_No = ?"), {invNo}};
}
inline Statement byKey(qint64 rec411)
{
    return {QStringLiteral("Mmst411.Rec_411 = ?"), {rec411}};
}
} // namespace HeaderFilter

// The header fields a refusal may put the focus on.
enum class HeaderField { None, Inv_No, Inv_Date, Org_Name, Stock_Mode, Prop_Duty, Pcs_No, Proc_Man, Bar_Man, Remark };

// What the header's fields hold as the user typed and chose it.
struct HeaderInput
{
    QString invNo; // as the field shows it, untrimmed
    QString invDate;
    QString orgName;
    bool outsourcing = false; // Option2 chosen
    QString pcsNo;
    int stockMode = -1; // list positions, -1 for none
    int propDuty = -1;
    QString procMan;
    QString barMan;
    QString remark;
};

// Why a header is refused, as the message box is to show it. Refusals the
// gateway's checks give are addressed as those checks address them.
struct HeaderRefusal
{
    QString text; // empty: no refusal
    int style = 0;
    QString title;
    QString formName; // empty: the document window's name
    QString messageId = QStringLiteral("Check_OK_1");
    HeaderField focus = HeaderField::None;

    bool isEmpty() const { return text.isEmpty(); }
};

// The header columns a save writes.
struct HeaderValues
{
    QString invNo;
    QDate invDate;
    QString orgNo;
    QString procMan;
    QString barMan;
    QString formMan; // written on insert only
    QString remark;
    QString updName;
    QString updDate; // server date and time, yyyy-mm-dd hh:mm:ss
    int stockMode = -1;
    int propDuty = 0;
    QString pcsNo;
    bool outsourcing = false;
    QString invType;
};

// What an approval or reset came to.
struct PostingOutcome
{
    enum class Result {
        Posted,      // stock moved, status changed
        Short,       // a line was short: nothing moved
        StatusMoved, // the header no longer had the status the command starts from: nothing moved
    };
    Result result = Result::Short;
    bool posted = false; // result == Posted
    int attempts = 1;    // how often the transaction ran (deadlocks and serialization failures retried)
    QString orderNo;     // the key of the short line
    QString moNo;
    QString mtrNo;
    QString status;               // with StatusMoved: the status found ("9": the header is gone)
    QString shortageText() const; // "订单:…\r制单:…\r料品…库存不够."
};

// What a save of a header came to.
struct HeaderSaveOutcome
{
    enum class Result {
        Saved,
        NumberTaken, // another header took the number first: nothing stored
        NotOpen,     // the header is no longer open: nothing stored
        LockLost,    // the edit no longer holds the header's lock: nothing stored
    };
    Result result = Result::Saved;
    qint64 rec411 = 0;
    QString status; // with NotOpen: the status found ("9": the header is gone)
    bool saved() const { return result == Result::Saved; }
};

// What a change of a document's lines came to: refused (nothing changed)
// when the header was no longer open or the line was gone.
struct LinesOutcome
{
    bool done = true;
    QString status; // when refused for the header: its status ("9": gone)
    bool lineGone = false;
};

// What a delete came to.
struct DeleteOutcome
{
    bool deleted = false;
    QString status; // when not deleted: the status found ("9": already gone)
};

// Every statement of the document windows, callable without a window.
class DocumentStore
{
public:
    explicit DocumentStore(const Connection &conn);

    // The headers of one kind the filter selects, newest number first.
    ResultSet headers(const Statement &filter, const QString &invType) const;
    // The lines of a header for the line grid (none for an invalid key).
    ResultSet lines(const QVariant &rec411) const;
    static QString linesSql();

    qint64 insertHeader(const HeaderValues &v) const;
    void updateHeader(qint64 rec411, const HeaderValues &v) const;
    // A new header, in one transaction with its history row (who: the
    // user and workstation it is written for); a number another header
    // took first is told, not thrown.
    HeaderSaveOutcome saveNew(const HeaderValues &v, const HistoryActor &who = {}) const;
    // An edited header, its lock given back and its stock-deduction mode
    // carried down to every line, in one transaction that changes nothing
    // unless the header is still open and still locked (by the lock of that
    // mark, when the lock's holder is recorded). The history row names the
    // fields that changed, old and new.
    HeaderSaveOutcome saveEdit(qint64 rec411, const HeaderValues &v, const QString &lockToken = {},
                               const HistoryActor &who = {}) const;
    // A print of the document of this number came out (on paper or as a
    // PDF): its print mark set and a history row written in one transaction.
    // The rows changed (0: no such document).
    qint64 markPrinted(const QString &invNo, const QString &detail, const HistoryActor &who = {}) const;
    // Lines and header in one transaction, only while the document is open
    // ('0'): a document another user approved or deleted meanwhile stays.
    DeleteOutcome deleteDocument(qint64 rec411, const HistoryActor &who = {}) const;

    // Line maintenance: one line, every line of a document, and the header's
    // stock-deduction mode for the lines that have none (null or blank); each
    // in a transaction that changes nothing unless the header is open, with
    // a history row for every line deleted (one for the lines given a mode).
    LinesOutcome deleteLine(qint64 rec412, const HistoryActor &who = {}) const;
    LinesOutcome deleteLines(qint64 rec411, const HistoryActor &who = {}) const;
    LinesOutcome fillMissingLineStockModes(qint64 rec411, const HistoryActor &who = {}) const;

    // The lines an approval posts, in the order of their whole stock key,
    // material first (lines whose material is missing are not part of it).
    ResultSet postingRows(qint64 rec411) const;
    // Approves (or resets) a document in one write transaction: status,
    // approver and the lock release first, and only from the status the
    // command starts from ('0' to approve, '2' to reset); then every line
    // checked where stock leaves and posted, in stock-key order. A status
    // another user moved, or a short line, rolls everything back and is told
    // in the outcome. A deadlock or serialization failure runs the whole
    // transaction again, a few times; any other failure rolls back and
    // reaches the caller. The approval or reset is written to the history in
    // the same transaction (who: userName when none is given).
    PostingOutcome post(const DocumentKind &kind, bool approve, qint64 rec411, const QString &invNo,
                        const QDate &invDate, const QString &userName, const HistoryActor &who = {}) const;
    static constexpr int kPostingAttempts = 5;

    // The checks of a header before it is saved, in their fixed order: the
    // number, texts no server can keep, the number in use by another header
    // (of any kind), the department, the two choices, the outsourcing order,
    // the date. The first failing one refuses. rec411: the header edited, 0
    // for a new one.
    HeaderRefusal checkHeader(const HeaderInput &in, qint64 rec411) const;
    // The refusal of a number another header has.
    static HeaderRefusal numberTaken();
    // The lines the document has now.
    qint64 lineCount(qint64 rec411) const;

    // The headers of that number, other than the one being edited (0: none).
    static Statement numberInUse(const QString &invNo, qint64 exceptRec411);
    // The outsourcing order of that number.
    static Statement outsourcingOrder(const QString &pcsNo);
    // The people the requisitioner field offers.
    static QString requisitionersQuery();
    // The approved outsourcing orders for the outsourcing-number picker, newest first.
    static QString outsourcingPickerQuery();

    // The document date as the approval reads it (by number); invalid when none.
    QDate documentDate(const QString &invNo) const;

private:
    PostingOutcome postOnce(const DocumentKind &kind, bool approve, qint64 rec411, const QString &invNo,
                            const QDate &invDate, const QString &userName, const HistoryActor &who) const;
    // The header's status as the checks read it: "9" when gone, "0" when null.
    QString statusOf(qint64 rec411) const;
    void forgetLockHolder(qint64 rec411) const;
    // Runs the change in a write transaction that holds the header, only while it is open.
    LinesOutcome changeLinesWhileOpen(qint64 rec411, const std::function<void()> &change) const;

    Connection m_conn;
};
