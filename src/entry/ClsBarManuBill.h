#pragma once

#include "platform/db/Connection.h"

#include <QString>

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
};

// The factory the shared library exports.
extern "C" ClsBarManuBill *CreateClsBarManuBill();
using CreateClsBarManuBillFn = ClsBarManuBill *(*)();
