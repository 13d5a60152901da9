#pragma once

#include "platform/core/MessageBoxService.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"

#include <QList>

#include <QString>
#include <functional>

// Records every message box and answers from a queue (the default button
// when the queue is empty). Installed for its lifetime.
class ScriptedMessageBox final : public MessageBoxService
{
public:
    ScriptedMessageBox();
    ~ScriptedMessageBox() override;
    int show(const MessageRequest &request) override;

    void answer(int answer) { m_answers.append(answer); }
    // Runs while the next message is up, before it is answered: what another
    // user does while this one reads the question.
    void whileShown(std::function<void(const MessageRequest &)> action) { m_whileShown = std::move(action); }
    const QList<MessageRequest> &shown() const { return m_shown; }
    QStringList texts() const;
    const MessageRequest &last() const { return m_shown.last(); }
    void clear()
    {
        m_shown.clear();
        m_answers.clear();
    }

private:
    QList<MessageRequest> m_shown;
    QList<int> m_answers;
    std::function<void(const MessageRequest &)> m_whileShown;
};

namespace TestDb {

// The project's schema, read once.
const Schema &schema();
QString seedPath();

// A new SQLite database file with the schema (and the demo data when seed is true).
Connection freshSqlite(bool seed = false);

// A throwaway PostgreSQL cluster on loopback, started once per test program
// and stopped when it exits. Empty when no server can be started.
QString postgresServerUrl(QString *whyNot = nullptr);
// A new database in that cluster with the schema (and the demo data when seed is true).
Connection freshPostgres(bool seed = false);
// Restarts the cluster (pg_ctl restart -m fast): every open session is cut.
bool restartPostgres();

// Runs a statement with bound values (fixture data written in a test).
void exec(const Connection &conn, const QString &sql, const QList<QVariant> &values = {});

} // namespace TestDb

namespace TestDb {
// "pg" when the program runs against PostgreSQL (ERP_TEST_BACKEND), else "sqlite".
QString backendName();
// A fresh database of the backend this run is for.
Connection fresh(bool seed = false);
} // namespace TestDb
