#pragma once

#include "platform/db/Connection.h"

#include <QString>

#include <functional>

// The module's one public class: the host calls ShowFrm for every click on
// one of the module's menu entries. A host that loads the module's shared
// library gets it from CreateClsBarManuBill and calls it through the table
// of virtual functions, so it links nothing of the module.
class ClsBarManuBill
{
public:
    virtual ~ClsBarManuBill() = default;

    // Opens (or moves and re-shows) the window of the menu entry, placed at
    // the rectangle given in twips, and returns its handle; 0 for an entry
    // that is not the module's.
    virtual qint32 ShowFrm(const Connection &p_Con, const QString &P_Menu_Id, const QString &P_User_Id,
                           const QString &P_CON_IniFile, qint32 P_Left, qint32 P_Top, qint32 P_Width, qint32 P_Height,
                           const QString &P_Comp_Cname);

    // Prints a document without a screen into a PDF file, as the report
    // list's OK does: the report of the window code formId ("40B", "40C",
    // "40D") with that caption, or when the caption is empty the window's
    // first report that is no basic data source. The user's rights decide
    // whether prices are shown (an empty user id is the default user). No
    // window or dialog is shown and no question asked. Empty when the file
    // was written, else what went wrong.
    virtual QString PrintDocument(const Connection &p_Con, const QString &formId, const QString &invNo,
                                  const QString &reportCaption, const QString &pdfFile, const QString &userId,
                                  const QString &companyName);

    // The tools a host offers on its command line, without a window. Each
    // writes its report into out and returns the exit status: 0 done and
    // clean, 1 findings (left), 2 could not run or refused (out says why).
    // progress, when set, hears a line before and after each table is read.
    using ToolProgress = std::function<void(const QString &line)>;
    // Checks the stock ledger in one read transaction (as text, or as JSON).
    virtual int VerifyLedger(const Connection &p_Con, bool json, const ToolProgress &progress, QString &out);
    // Rebuilds balances from the journal after confirm has seen the plan
    // and said yes (not asked when there is nothing to change); userId: whose
    // name the rows changed carry.
    virtual int RepairLedger(const Connection &p_Con, const QString &userId,
                             const std::function<bool(const QString &plan)> &confirm, const ToolProgress &progress,
                             QString &out);
    // A document's history, by window code ("40B", "40C", "40D") and number.
    virtual int ListHistory(const Connection &p_Con, const QString &formId, const QString &invNo, bool json,
                            QString &out);
};

// The factory the shared library exports.
extern "C" ClsBarManuBill *CreateClsBarManuBill();
using CreateClsBarManuBillFn = ClsBarManuBill *(*)();
