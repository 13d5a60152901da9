#pragma once

#include <QString>

#include <optional>

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

// A check of a document's status, made on the status as read at that moment.
enum class StatusGate {
    // Before a change of the header or its lines: approved, closed and
    // deleted documents are refused.
    Change,
    // Before a save of an edit and before a delete: only an open document
    // may be written (a new header has no status to check).
    Save,
    // Before an approval or a reset, each refusing what is already done.
    Approve,
    Reset,
};

// A refusal shown to the user: the message id and the text.
struct Refusal
{
    QString messageId;
    QString text;
    bool operator==(const Refusal &other) const = default;
};

// The refusal a gate gives a document in that status, or none when it may go on.
std::optional<Refusal> gateRefusal(StatusGate gate, DocumentStatus status);
// What a clerk is told when a document is no longer open for a change, by
// the status found ("9": deleted).
QString notOpenText(const QString &status);
