#pragma once

#include "platform/db/Connection.h"

#include <QString>

// The module's one public class: the host calls ShowFrm for every click on
// one of the module's menu entries.
class ClsBarManuBill
{
public:
    // Opens (or moves and re-shows) the window of the menu entry, placed at
    // the rectangle given in twips, and returns its handle; 0 for an entry
    // that is not the module's.
    qint32 ShowFrm(const Connection &p_Con, const QString &P_Menu_Id, const QString &P_User_Id,
                   const QString &P_CON_IniFile, qint32 P_Left, qint32 P_Top, qint32 P_Width, qint32 P_Height,
                   const QString &P_Comp_Cname);
};
