#include "documents/DocumentCommands.h"

#include "documents/DocumentSession.h"

namespace {

using A = WindowAction;
using G = StatusGate;
using S = DocumentSession;
using St = Situation;

// The toolbar's situations while browsing.
const QList<Situation> kBrowsing = {St::NoDocument, St::Open, St::Approved, St::Closed, St::Gone, St::Other};
// ... with a document on screen.
const QList<Situation> kShown = {St::Open, St::Approved, St::Closed, St::Gone, St::Other};
// ... with a document that may still change (or whose status could not be told).
const QList<Situation> kChangeable = {St::Open, St::Gone, St::Other};

QList<CommandRow> buildRows()
{
    QList<CommandRow> r;
    const auto add = [&r](CommandRow row) { r.append(std::move(row)); };
    // clang-format off
    // letter, actions, during, entering, gates, checks before, question, checks after, lock, on refusal,
    // handler, next, offered in
    add({'A', {}, A::Add, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::add, {}, Offer{kBrowsing}});
    add({'U', {}, A::Edit, Entering::WhenLocked, {G::Change}, {&S::Check_Inv_Status}, {}, {},
         LockPolicy::UntilSaveOrCancel, OnRefusal::Stay, &S::edit, {}, Offer{kChangeable}});
    // The save puts the window back to browsing itself, whether it stored or not.
    add({'Y', {A::Add, A::Edit}, {}, Entering::AtStart, {G::Save}, {&S::Check_ok}, {}, {}, LockPolicy::None,
         OnRefusal::Stay, &S::save, {}, Offer{{St::Entering}}});
    // Cancelling an edit gives its lock back; cancelling anything else drops what was typed.
    add({'N', {A::Edit}, {}, Entering::AtStart, {}, {}, Question{QStringLiteral("真的要取消操作吗?"), 292, 6}, {},
         LockPolicy::None, OnRefusal::Stay, &S::cancelEdit, {}, Offer{{St::Entering}}});
    add({'N', {}, {}, Entering::AtStart, {}, {}, Question{QStringLiteral("真的要取消操作吗?"), 292, 6}, {},
         LockPolicy::None, OnRefusal::Stay, &S::cancel, {}, Offer{{St::Entering}}});
    add({'D', {}, A::Delete, Entering::WhenConfirmed, {G::Change, G::Save}, {&S::Check_Inv_Status},
         Question{QStringLiteral("确定要删除吗"), 324, 6}, {&S::Check_ok}, LockPolicy::ForCommand, OnRefusal::Browse,
         &S::remove, A::Browse, Offer{kChangeable}});
    add({'C', {}, A::Check, Entering::AtStart, {G::Approve}, {&S::Check_ok1},
         Question{QStringLiteral("确认要审核此单据吗?"), 65, 1}, {}, LockPolicy::ForCommand,
         OnRefusal::BrowseAndReread, &S::approve, A::Browse, Offer{{St::Open}}});
    add({'R', {}, A::Reset, Entering::AtStart, {G::Reset}, {&S::Check_ok1},
         Question{QStringLiteral("确认要重置此单据吗?"), 65, 1}, {}, LockPolicy::ForCommand,
         OnRefusal::BrowseAndReread, &S::reset, A::Browse, Offer{{St::Approved, St::Closed}}});
    add({'F', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::find, {}, Offer{kBrowsing}});
    add({'P', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::print, {}, Offer{kShown}});
    add({'V', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::preview, {}, Offer{kShown}});
    // Help and quit: the toolbar never touches their buttons.
    add({'H', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::help, {}, std::nullopt});
    add({'Q', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::quit, {}, std::nullopt});
    // Copy, import and close are known letters whose commands do nothing
    // here; their buttons still follow the document (close: approved only).
    add({'L', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::nothing, {}, Offer{kShown}});
    add({'M', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::nothing, {}, Offer{{St::NoDocument}}});
    add({'O', {}, {}, Entering::AtStart, {}, {}, {}, {}, LockPolicy::None, OnRefusal::Stay,
         &S::nothing, {}, Offer{{St::Approved}}});
    // clang-format on
    return r;
}

} // namespace

Situation situationOf(WindowAction action, bool hasCurrent, DocumentStatus status)
{
    if (action == WindowAction::Add || action == WindowAction::Edit)
        return Situation::Entering;
    if (!hasCurrent)
        return Situation::NoDocument;
    switch (status) {
    case DocumentStatus::Open:
        return Situation::Open;
    case DocumentStatus::Approved:
        return Situation::Approved;
    case DocumentStatus::Closed:
        return Situation::Closed;
    case DocumentStatus::Gone:
        return Situation::Gone;
    case DocumentStatus::Other:
        break;
    }
    return Situation::Other;
}

DocumentCommands::DocumentCommands() : m_rows(buildRows()) {}

const DocumentCommands &DocumentCommands::table()
{
    static const DocumentCommands t;
    return t;
}

const CommandRow *DocumentCommands::row(char letter, WindowAction action) const
{
    for (const CommandRow &r : m_rows)
        if (r.letter == letter && r.runsIn(action))
            return &r;
    return nullptr;
}

bool DocumentCommands::knows(char letter) const
{
    for (const CommandRow &r : m_rows)
        if (r.letter == letter)
            return true;
    return false;
}

const QList<ToolbarButton> &DocumentCommands::buttons()
{
    // cmd_design, the report design button of the family's other windows,
    // sends no command here: it is on while browsing and left alone while a
    // header is entered.
    static const QList<ToolbarButton> b = {
        {"Cmd_Add", 'A'},    {"Cmd_Edit", 'U'},    {"Cmd_Delete", 'D'}, {"Cmd_Ok", 'Y'},
        {"cmd_cancel", 'N'}, {"cmd_check", 'C'},   {"cmd_reset", 'R'},  {"Cmd_Find", 'F'},
        {"Cmd_Print", 'P'},  {"Cmd_Preview", 'V'}, {"Cmd_Copy", 'L'},   {"Cmd_Import", 'M'},
        {"Cmd_Close", 'O'},  {"Cmd_Help", 'H'},    {"cmd_quit", 'Q'},   {"cmd_design", 0},
    };
    return b;
}

ToolbarStates DocumentCommands::derive(WindowAction action, bool hasCurrent, DocumentStatus status) const
{
    const Situation situation = situationOf(action, hasCurrent, status);
    ToolbarStates states;
    // While a header is entered only its save and cancel are on, and no right can widen that.
    states.rightsApply = situation != Situation::Entering;
    for (const ToolbarButton &button : buttons()) {
        const QString name = QString::fromLatin1(button.name);
        if (button.letter == 0) {
            if (situation != Situation::Entering)
                states.buttons.insert(name, true);
            continue;
        }
        bool governed = false;
        for (const CommandRow &r : m_rows)
            governed = governed || (r.letter == button.letter && r.offer);
        if (!governed)
            continue;
        const CommandRow *r = row(button.letter, action);
        states.buttons.insert(name, r && r->offer && r->offer->contains(situation));
    }
    return states;
}

std::optional<Refusal> DocumentCommands::refusal(StatusGate gate, DocumentStatus status)
{
    return gateRefusal(gate, status);
}

std::optional<Refusal> DocumentCommands::refusal(const CommandRow &row, WindowAction action, DocumentStatus status)
{
    // A command that enters an action of its own checks in that action.
    const WindowAction checkedIn = row.during.value_or(action);
    for (StatusGate gate : row.gates) {
        // A header being added has no status yet.
        if (gate == StatusGate::Save && checkedIn == WindowAction::Add)
            continue;
        if (auto r = refusal(gate, status))
            return r;
    }
    return std::nullopt;
}
