#pragma once

#include "services/DocumentState.h"

#include <QList>
#include <QString>

#include <optional>

// The life of a document as one table: for every command letter, the actions
// in which the dispatcher runs it, the status checks it makes, whether it
// holds the header lock and what the window does next. The dispatcher looks
// rows up instead of branching on letters and status texts, and the checks of
// the window (the change gate, the save and delete check, the approval check)
// read their refusals from here.

// A check of the document's status, as the window makes it.
enum class StatusGate {
    None,
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

// What a command does when its checks, its question or its lock refuse.
enum class OnRefusal {
    Stay,            // the window keeps its action
    Browse,          // the window returns to browsing
    BrowseAndReread, // ... and reads the document again
};

// When the command enters its running action.
enum class Entering {
    AtStart,       // before its checks
    WhenConfirmed, // once the user has said yes
    WhenLocked,    // once it holds the header lock
};

struct LifecycleRule
{
    char letter = 0;
    // The actions in which the command runs; empty: any.
    QList<WindowAction> runsIn;
    // The action the window is in while the command runs, if it names one.
    std::optional<WindowAction> during;
    Entering entering = Entering::AtStart;
    // The status checks, in the order the command makes them.
    QList<StatusGate> gates;
    // The header lock is taken before the command writes.
    bool needsLock = false;
    // The lock outlives the command (an edit holds it until save or cancel).
    bool keepsLock = false;
    OnRefusal onRefusal = OnRefusal::Stay;
    // The action once the command has run; none: as the command left it.
    std::optional<WindowAction> next;
};

namespace DocumentLifecycle {

// The row of a letter (compared exactly), or nullptr for letters that do nothing.
const LifecycleRule *rule(char letter);
const QList<LifecycleRule> &rules();

// Whether the rule's command runs while the window is in that action.
bool runsIn(const LifecycleRule &rule, WindowAction action);

// The refusal a gate gives a document in that status, or none when it may go on.
std::optional<Refusal> refusal(StatusGate gate, DocumentStatus status);
// The first refusal of the rule's gates (the save gate only outside an add).
std::optional<Refusal> refusal(const LifecycleRule &rule, WindowAction action, DocumentStatus status);

} // namespace DocumentLifecycle
