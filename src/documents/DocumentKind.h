#pragma once

#include "services/DocumentState.h"

#include <QString>

// The three document windows share one design and differ in these constants.
struct DocumentKind
{
    QString menuId;     // host menu entry
    QString windowName; // object name of the window
    QString heading;    // heading label, stock journal kind name
    DocumentType type;
    QString reportFormId; // print reports

    // The Inv_Type code of the kind's headers and lines.
    QString invType() const { return invTypeCode(type); }

    static const DocumentKind &issue();
    static const DocumentKind &materialReturn();
    static const DocumentKind &supplementary();
    static const DocumentKind &of(DocumentType type);
    // The kind of a menu entry (compared upper-cased, in the order issue,
    // supplementary issue, return), or nullptr.
    static const DocumentKind *forMenu(const QString &menuId);
};
