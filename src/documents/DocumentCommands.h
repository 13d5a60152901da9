#pragma once

#include "services/DocumentState.h"
#include "services/KestoControl.h"

#include <QList>
#include <QString>

#include <optional>

class DocumentSession;

// The life of a document as one table: every command of the document
// windows, keyed by its letter and the window action it runs in. A row says
// what the command checks and in which order, what it asks, which lock it
// holds, what a refusal does, which member of the session does the work and
// where the window goes next; the toolbar's states are derived from the same
// rows. The dispatcher looks rows up instead of branching on letters.

// Which header lock a command holds.
enum class LockPolicy {
    None,
    ForCommand,        // taken before the writes, given back when the command ends
    UntilSaveOrCancel, // an edit keeps it until the header is saved or the edit cancelled
};

// What a command does when its checks, its question or its lock refuse after
// it began (entered its action or asked its question); a refusal before that
// leaves everything as it was.
enum class OnRefusal {
    Stay,            // the window keeps its action
    Browse,          // the window returns to browsing
    BrowseAndReread, // ... and reads the document again
};

// When the command enters the action it runs in.
enum class Entering {
    AtStart,       // before its checks
    WhenConfirmed, // once the user has said yes
    WhenLocked,    // once it holds the header lock
};

// A question the command asks with the window's confirmation prompt.
struct Question
{
    QString text;
    int style = 0;
    int goOn = 0; // the answer that lets the command go on
};

// Where the toolbar stands: a header being entered, no document current, or
// a document of that status on screen.
enum class Situation { Entering, NoDocument, Open, Approved, Closed, Gone, Other };
Situation situationOf(WindowAction action, bool hasCurrent, DocumentStatus status);

// The situations in which a command's button is on.
struct Offer
{
    QList<Situation> on;
    bool contains(Situation s) const { return on.contains(s); }
};

struct CommandRow
{
    using Check = bool (DocumentSession::*)();
    using Handler = void (DocumentSession::*)();

    char letter = 0;
    // The window actions the row is for; empty: any.
    QList<WindowAction> actions;
    // The action the window is in while the command runs, and when it enters it.
    std::optional<WindowAction> during;
    Entering entering = Entering::AtStart;
    // The status gates, in the order the checks make them; made again on the
    // status read once the lock is held.
    QList<StatusGate> gates;
    // The checks before the question and after it, in order (the gates among them).
    QList<Check> before;
    std::optional<Question> question;
    QList<Check> after;
    LockPolicy lock = LockPolicy::None;
    OnRefusal onRefusal = OnRefusal::Stay;
    Handler handler = nullptr;
    // The action once the command has run; none: as the handler left it.
    std::optional<WindowAction> next;
    // The situations in which the toolbar offers the command; none: the
    // toolbar leaves its button alone.
    std::optional<Offer> offer;

    bool runsIn(WindowAction action) const { return actions.isEmpty() || actions.contains(action); }
};

// A toolbar button and the command letter it sends.
struct ToolbarButton
{
    const char *name;
    char letter;
};

class DocumentCommands final : public CommandStates
{
public:
    // The one table of the document windows.
    static const DocumentCommands &table();

    const QList<CommandRow> &rows() const { return m_rows; }
    // The row of a letter (compared exactly) for the action, or nullptr: the
    // letter does nothing then.
    const CommandRow *row(char letter, WindowAction action) const;
    // Whether any row has the letter.
    bool knows(char letter) const;

    // The toolbar's buttons, in the order they stand.
    static const QList<ToolbarButton> &buttons();

    // The toolbar's states before the rights: a command's button is on when
    // its row for the action offers it in the situation.
    ToolbarStates derive(WindowAction action, bool hasCurrent, DocumentStatus status) const override;

    // The refusal a gate gives a document in that status, or none when it may go on.
    static std::optional<Refusal> refusal(StatusGate gate, DocumentStatus status);
    // The first refusal of the row's gates (the save gate only outside an add).
    static std::optional<Refusal> refusal(const CommandRow &row, WindowAction action, DocumentStatus status);

private:
    DocumentCommands();
    QList<CommandRow> m_rows;
};
