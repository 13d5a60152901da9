#include "services/KestoControl.h"

#include "platform/db/Sql.h"

#include <optional>

namespace {

// The rights string of the user in the program: none when there is no row.
// With several menu entries of the program the first by menu id counts, so
// the answer does not depend on the server's row order. A null string
// grants nothing.
std::optional<QString> loadRights(const Connection &conn, const QString &programId, const QString &userId)
{
    Sql q(conn, QStringLiteral("SELECT mmstc03.rights "
                               "FROM MMSTC02, mmstc03 "
                               "WHERE MMSTC02.menu_id = mmstc03.menu_id "
                               "AND MMSTC02.prog_id = ? "
                               "AND mmstc03.User_id = ? "
                               "ORDER BY mmstc03.menu_id"));
    const ResultSet rs = q.bind(programId).bind(userId).select();
    if (rs.isEmpty())
        return std::nullopt;
    return rs.text(0, 0);
}

bool lacks(const std::optional<QString> &rights, QChar letter)
{
    return !rights || !rights->contains(letter, Qt::CaseInsensitive);
}

} // namespace

RightsOff RightsOff::none()
{
    RightsOff off;
    off.A = off.U = off.D = off.C = off.R = off.P = off.V = off.S = off.I = off.L = off.M = off.X = true;
    return off;
}

RightsOff RightsOff::all()
{
    RightsOff off;
    off.A = off.U = off.D = off.C = off.R = off.P = off.V = off.S = off.I = off.L = off.M = off.X = false;
    return off;
}

RightsOff RightsOff::fromRights(const QString &rights)
{
    const std::optional<QString> r = rights;
    RightsOff off;
    off.A = lacks(r, u'A');
    off.U = lacks(r, u'U');
    off.D = lacks(r, u'D');
    off.C = lacks(r, u'C');
    off.R = lacks(r, u'R');
    off.P = lacks(r, u'P');
    off.V = lacks(r, u'V');
    off.S = lacks(r, u'S');
    off.I = lacks(r, u'I');
    off.L = lacks(r, u'L');
    off.M = lacks(r, u'M');
    off.X = lacks(r, u'X');
    return off;
}

bool RightIsOff(const Connection &conn, const QString &letter, const QString &programId, const QString &userId)
{
    const std::optional<QString> rights = loadRights(conn, programId, userId);
    return !rights || !rights->contains(letter, Qt::CaseInsensitive);
}

// ---------------------------------------------------------------- Kesto_Control

Kesto_Control::Kesto_Control(const CommandStates *commands) : m_commands(commands) {}
Kesto_Control::~Kesto_Control() = default;

void Kesto_Control::IniRights(const Connection &conn, const QString &userId, std::shared_ptr<CommandButtons> form,
                              const QString &formId, const ResultSet *recordSet)
{
    // One read serves every letter: the same answer as asking per letter,
    // without thirteen round trips at each re-read of the window.
    const std::optional<QString> rights = loadRights(conn, formId, userId);
    m_off = rights ? RightsOff::fromRights(*rights) : RightsOff::none();
    m_viewPrice = !lacks(rights, u'F');
    m_releaseLocks = !lacks(rights, u'K');
    m_form = std::move(form);
    m_records = recordSet;
    Action(WindowAction::Browse);
}

void Kesto_Control::Set_Status(const QString &status)
{
    m_status = status;
    refresh();
}

void Kesto_Control::Action(int action, const QString &status)
{
    // Codes outside 0..5 are no state of ours; they browse, as 3 to 5 do.
    Action(action >= 0 && action <= 5 ? WindowAction(action) : WindowAction::Browse, status);
}

void Kesto_Control::Action(WindowAction action, const QString &status)
{
    m_lastAction = action;
    if (!status.isEmpty())
        m_status = status;
    refresh();
}

ButtonStates Kesto_Control::states() const
{
    if (!m_commands)
        return {};
    const bool hasCurrent = m_records && m_records->hasCurrent();
    return masked(m_commands->derive(m_lastAction, hasCurrent, parseDocumentStatus(m_status)), m_off);
}

ButtonStates Kesto_Control::masked(const ToolbarStates &allowed, const RightsOff &off)
{
    ButtonStates s = allowed.buttons;
    if (!allowed.rightsApply)
        return s;
    // A missing right only ever turns its buttons off.
    const std::pair<bool, const char *> masks[] = {
        {off.A, "Cmd_Add"},   {off.U, "Cmd_Edit"},  {off.D, "Cmd_Delete"}, {off.C, "cmd_check"},   {off.C, "Cmd_Close"},
        {off.R, "cmd_reset"}, {off.X, "Cmd_Close"}, {off.P, "Cmd_Print"},  {off.V, "Cmd_Preview"}, {off.S, "Cmd_Save"},
        {off.I, "Cmd_Find"},  {off.L, "Cmd_Copy"},  {off.M, "Cmd_Import"},
    };
    for (const auto &[missing, button] : masks)
        if (missing)
            s.insert(QString::fromLatin1(button), false);
    return s;
}

void Kesto_Control::refresh()
{
    if (!m_form)
        return;
    // The toolbar must follow the state whatever a window lacks, so a
    // missing button or a failure on one never stops the others.
    try {
        const ButtonStates s = states();
        for (auto it = s.cbegin(); it != s.cend(); ++it) {
            try {
                if (m_form->exists(it.key()))
                    m_form->setEnabled(it.key(), it.value());
            } catch (...) {
            }
        }
        for (const char *name : {"Cmd_Add", "Cmd_Edit", "Cmd_Delete"}) {
            const QString n = QString::fromLatin1(name);
            if (m_form->exists(n) && m_form->isEnabled(n)) {
                m_form->setFocus(n);
                break;
            }
        }
    } catch (...) {
    }
}
