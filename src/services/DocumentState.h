#pragma once

#include <QString>

// The typed values a document's life is told in. Texts from the database are
// parsed once, where they are read; the codes go back to text only where a
// statement or a caller of the module needs them.

// The status column of a document header.
enum class DocumentStatus {
    Open,     // '0': lines may change, may be approved
    Approved, // '2': stock posted
    Closed,   // '6' or '7': closed by another module
    Gone,     // '9': what a look-up answers for a header that no longer exists
    Other,    // any other text, an empty one among them
};

DocumentStatus parseDocumentStatus(const QString &code);
// '0', '2', '6' (the first of the two closed codes), '9', or empty for Other.
QString documentStatusCode(DocumentStatus status);

// What a document window is doing: its Kesto_Control's action code.
enum class WindowAction {
    Browse = 0,
    Add = 1,
    Edit = 2,
    Delete = 3,
    Check = 4,
    Reset = 5,
};

// The kind of a document: its Inv_Type.
enum class DocumentType {
    Issue,         // '1'
    Return,        // '2'
    Supplementary, // '3'
};

QString invTypeCode(DocumentType type);
// Stock leaves the warehouse when an issue or a supplementary issue is
// approved, and comes back when a return is.
inline bool takesStockOnApproval(DocumentType type)
{
    return type != DocumentType::Return;
}
