#pragma once

#include "platform/db/Connection.h"
#include "services/DocumentState.h"

#include <QMap>
#include <QString>

#include <memory>

class ResultSet;

// The one-letter codes a toolbar button or a function key hands to a window's
// dispatcher. Find is command F but right I, close is command O but right X.
namespace CommandLetter {
inline constexpr char Add = 'A';
inline constexpr char Edit = 'U';
inline constexpr char Delete = 'D';
inline constexpr char Copy = 'L';
inline constexpr char Import = 'M';
inline constexpr char Check = 'C';
inline constexpr char Reset = 'R';
inline constexpr char Close = 'O';
inline constexpr char Print = 'P';
inline constexpr char Preview = 'V';
inline constexpr char Find = 'F';
inline constexpr char Ok = 'Y';
inline constexpr char Cancel = 'N';
inline constexpr char Quit = 'Q';
inline constexpr char Help = 'H';
} // namespace CommandLetter

// The one-letter codes of a user's rights string. F is the price right.
namespace RightLetter {
inline constexpr char Add = 'A';
inline constexpr char Edit = 'U';
inline constexpr char Delete = 'D';
inline constexpr char Check = 'C';
inline constexpr char Reset = 'R';
inline constexpr char Print = 'P';
inline constexpr char Preview = 'V';
inline constexpr char Save = 'S';
inline constexpr char Find = 'I';
inline constexpr char Copy = 'L';
inline constexpr char Import = 'M';
inline constexpr char Close = 'X';
inline constexpr char Price = 'F';
// Releasing a document lock another user holds (a supervisor's right).
inline constexpr char ReleaseLocks = 'K';
} // namespace RightLetter

// Which rights a user lacks (true = missing). Until the rights are loaded
// every right counts as missing except find.
struct RightsOff
{
    bool A = true, U = true, D = true, C = true, R = true, P = true, V = true, S = true;
    bool I = false, L = true, M = true, X = true;

    // Every right held (or none), for callers building a case by hand.
    static RightsOff none();
    static RightsOff all();
    // The flags of a rights string: a letter held when it occurs in any case.
    static RightsOff fromRights(const QString &rights);
};

// Button name -> enabled, for every button a refresh touches. A button that
// is absent keeps whatever state it had.
using ButtonStates = QMap<QString, bool>;

// What a window's commands allow, before the user's rights: the states its
// command table gives the toolbar's buttons for an action, whether a document
// is current and its status. A button the states leave out keeps whatever
// state it had; while rightsApply is false the rights mask nothing.
struct ToolbarStates
{
    ButtonStates buttons;
    bool rightsApply = true;
};

class CommandStates
{
public:
    virtual ~CommandStates() = default;
    virtual ToolbarStates derive(WindowAction action, bool hasCurrent, DocumentStatus status) const = 0;

protected:
    CommandStates() = default;
    CommandStates(const CommandStates &) = default;
    CommandStates &operator=(const CommandStates &) = default;
};

// The buttons a window offers to its Kesto_Control, by name. A name the
// window does not have is reported as absent and then skipped.
class CommandButtons
{
public:
    virtual ~CommandButtons() = default;
    virtual bool exists(const QString &name) const = 0;
    virtual bool isEnabled(const QString &name) const = 0;
    virtual void setEnabled(const QString &name, bool enabled) = 0;
    virtual void setFocus(const QString &name) = 0;
};

// True when the user lacks the right of that letter in the menu program:
// no rights row, or the letter is absent from its rights string (in any case).
// A failing query reaches the caller.
bool RightIsOff(const Connection &conn, const QString &letter, const QString &programId, const QString &userId);

// Per window: the user's rights there, what the window is doing and the
// status of the document on screen; from these and the states the window's
// commands allow it enables and disables the toolbar buttons, so the window
// never does that itself.
class Kesto_Control
{
public:
    // commands: the window's command table (not owned; it outlives this).
    // Without one no button is driven.
    explicit Kesto_Control(const CommandStates *commands = nullptr);
    ~Kesto_Control();
    Kesto_Control(const Kesto_Control &) = delete;
    Kesto_Control &operator=(const Kesto_Control &) = delete;

    bool View_Price() const { return m_viewPrice; }
    // The user may release a document lock another user holds (right K).
    bool Release_Locks() const { return m_releaseLocks; }
    void setView_Price(bool on) { m_viewPrice = on; }

    bool Off_Import() const { return m_off.M; }
    bool Off_Add() const { return m_off.A; }
    bool Off_Edit() const { return m_off.U; }
    bool Off_Delete() const { return m_off.D; }
    bool Off_Check() const { return m_off.C; }
    bool Off_Rest() const { return m_off.R; }
    const RightsOff &rightsOff() const { return m_off; }

    // Loads the rights of userId in program formId from conn, keeps the
    // window's buttons and header record set, and returns to browsing.
    // A failing query reaches the caller; nothing is kept then.
    void IniRights(const Connection &conn, const QString &userId, std::shared_ptr<CommandButtons> form,
                   const QString &formId, const ResultSet *recordSet);
    // Stores the status (an empty one too) and refreshes.
    void Set_Status(const QString &status);
    int LastAction() const { return int(m_lastAction); }
    WindowAction action() const { return m_lastAction; }
    // Stores the action; the status only when one is given; refreshes.
    void Action(int action, const QString &status = {});
    void Action(WindowAction action, const QString &status = {});

    const QString &status() const { return m_status; }
    // The states the last refresh gave (or would give) the buttons.
    ButtonStates states() const;

    // The states the commands allow with the missing rights turned off.
    static ButtonStates masked(const ToolbarStates &allowed, const RightsOff &off);

private:
    void refresh();

    const CommandStates *m_commands = nullptr;
    bool m_viewPrice = false;
    bool m_releaseLocks = false;
    RightsOff m_off;
    std::shared_ptr<CommandButtons> m_form;
    const ResultSet *m_records = nullptr;
    WindowAction m_lastAction = WindowAction::Browse;
    QString m_status;
};
