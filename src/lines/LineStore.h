#pragma once

#include "lines/SourceLists.h"
#include "services/DocumentHistory.h"

#include <QString>

// The line as the dialog holds it when the user confirms it.
struct LineEntry : LineInputs
{
    QString rec411; // header key; must read as a number
    QString mtrAmt; // quantity text, read as its leading number
    QString remark;
    QString colorName;
    QString headerStockModeText; // what the calling document's Stock_Mode choice reads
    QString propDuty;            // W_Prop_Duty: "0" 其它, "1" 可转厂, "2" 开发票, ...
    int lineStockMode = -1;      // position of the dialog's Stock_Mode choice, -1 none
    QString userName;
    HistoryActor who; // the history row's user and workstation
};

// The field a refusal puts the focus on: the one the check names, else the one in error.
enum class LineField { None, Frm_inv, Mtr_No, Order_No, Mo_No, Bar_Name, Color_Name, Mtr_Amt, Remark };

// Why a line was refused, as the message box is to show it. Refusals found
// by counting rows are addressed as the gateway's count messages are.
struct LineRefusal
{
    QString text; // empty: no refusal
    int style = 0;
    QString title;
    QString formName = QStringLiteral("Frm40BMx");
    QString messageId = QStringLiteral("Check_OK_1");
    LineField focus = LineField::None;

    bool isEmpty() const { return text.isEmpty(); }
};

// What the check found out on the way; the write uses it.
struct CheckedLine
{
    LineRefusal refusal;
    QString rec611;
    QString sourceTypeCode;
    QString barNo;
    double quantity = 0;
    QString sourceSupplierNo;
    QString supplierPropertyCode;
    QString useAmt; // a return's quantity still returnable

    bool ok() const { return refusal.isEmpty(); }
};

struct LineSaveOutcome
{
    enum Kind { Written, Refused, NothingToWrite };
    Kind kind = NothingToWrite;
    LineRefusal refusal;
    // Refused because the document or the line changed meanwhile: the
    // document's lines are to be read again.
    bool linesMoved = false;
    qint64 rec412 = 0; // the row written
    QString sourceSupplierNo;
    QString supplierPropertyCode;
};

// The validation and the write of one document line (Mmst412).
class LineStore
{
public:
    explicit LineStore(const Connection &conn);

    // Every check in its fixed order; the first failing one refuses.
    CheckedLine check(const LineEntry &line) const;

    // View mode writes nothing; add inserts, change updates the row, each
    // after a passed check, in a transaction that writes nothing unless the
    // document is open (refused with its status otherwise, as is a changed
    // row another clerk deleted). The line's history row (added, or changed
    // with its old and new material, source and quantity) is written in the
    // same transaction. Any other mode is a caller error and throws
    // (text "不正确的修改状态标志", source "Modify").
    LineSaveOutcome save(const LineEntry &line) const;
    // The same after the caller has run the check itself: writes what passed,
    // refuses what did not, and checks nothing again.
    LineSaveOutcome save(const LineEntry &line, const CheckedLine &checked) const;

private:
    // The colour's number by its name; empty when no colour has that name.
    QString colourNumber(const QString &colorName) const;
    // False when there was no row to change (another clerk deleted it).
    // detail: what the history row says of the line.
    bool write(const LineEntry &line, const CheckedLine &checked, qint64 &rec412, QString &detail) const;

    Connection m_conn;
    SourceLists m_lists;
};
