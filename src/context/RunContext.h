#pragma once

#include "platform/db/Connection.h"

#include <QString>

// The module-wide record every window reads: the host's connection, the
// signed-in user, the settings file, the company, the module folder, the
// workstation tag and the standard prompts. Rewritten by every ShowFrm.
struct RunContext
{
    Connection Conn;
    QString User_Id;
    QString User_Name;
    QString Ini_File;
    QString Comp_Cname;
    QString App_Path;
    QString Run_Tag;
    QString Msg_Delete;
    QString Msg_Delete_En;
    QString Msg_Title;
    QString Msg_Title_En;
    QString Msg_Quit;
    QString Msg_Quit_En;

    static RunContext &instance();

    // Sets the standard prompts, a fresh Run_Tag and App_Path.
    void setPrompts();
    // The workstation tag: five characters of the machine name and a
    // five-digit number from the process-wide random sequence.
    static QString makeRunTag();
    // The folder the module's file lives in, without a trailing separator.
    static QString modulePath();
    // App_Path, or the module's folder while none is set.
    QString moduleFolder() const { return App_Path.isEmpty() ? modulePath() : App_Path; }
    // Restarts the random sequence as in a new process (for tests).
    static void resetRandomSequence();

    // Opens the built-in connection when none is open (a window started
    // without the host): ERP_DB or the demo database next to the module,
    // the default user, and a settings file named after the program.
    static void EnsureConnection();
    static QString defaultDatabaseUrl();
    static QString defaultUserId();
};

inline RunContext &runContext()
{
    return RunContext::instance();
}
