#pragma once

#include <QString>

// The three document windows share one design and differ in these constants.
struct DocumentKind
{
    QString menuId;        // host menu entry
    QString windowName;    // object name of the window
    QString heading;       // heading label, stock journal kind name
    QString invType;       // Inv_Type code
    QString reportFormId;  // print reports
    int index;             // 0 issue, 1 return, 2 supplementary issue

    static const DocumentKind &issue();
    static const DocumentKind &materialReturn();
    static const DocumentKind &supplementary();
    // The kind of a menu entry (compared upper-cased, in the order issue,
    // supplementary issue, return), or nullptr.
    static const DocumentKind *forMenu(const QString &menuId);
};
