#pragma once

#include "platform/db/Connection.h"
#include "platform/script/ScriptEngine.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QAbstractButton;
class QWidget;
class Kesto_ControlEvents;

// An object exposed to every script of a host, under the name the script
// knows it by. Form-level objects stay registered across runs; the others are
// removed after a run that asks for clean-up.
struct Change_DesignObject
{
    QString InnerName;
    std::shared_ptr<ScriptObject> InnerObject;
    bool FormLevel = false;
};

// The script engine of one window, a child object named "SC".
class ScriptControl final : public QObject
{
    Q_OBJECT
public:
    explicit ScriptControl(QWidget *window);
    ScriptEngine &engine() { return m_engine; }

private:
    ScriptEngine m_engine;
};

// One script bound to a control. A command button's click runs the script
// through the owner's host; other controls are remembered but never fire.
class Kesto_ControlEvent final : public QObject
{
    Q_OBJECT
public:
    explicit Kesto_ControlEvent(QObject *parent = nullptr) : QObject(parent) {}

    void InitCommand(QAbstractButton *p_Ctrl, Kesto_ControlEvents *p_Parent, const QString &p_Script);
    void InitControl(QObject *p_Ctrl, Kesto_ControlEvents *p_Parent, const QString &p_Script);

    QString Name() const { return m_name; }
    QString Script() const { return m_script; }
    QObject *control() const { return m_control.data(); }

private:
    void remember(QObject *ctrl, Kesto_ControlEvents *owner, const QString &script);
    void W_Command_Click();

    QString m_name;
    QString m_script;
    QPointer<QObject> m_control;
    QPointer<Kesto_ControlEvents> m_owner;
    QPointer<QAbstractButton> W_Command;
};

// The script bindings of the operating window, one per control name (names
// compare without regard to case).
class Kesto_ControlEvents final : public QObject
{
    Q_OBJECT
public:
    explicit Kesto_ControlEvents(QObject *parent = nullptr) : QObject(parent) {}

    // A second binding of a name already bound fails with the collection's
    // duplicate-key error (ErpError 457).
    Kesto_ControlEvent *AddCommand(QAbstractButton *Ctrl, const QString &p_Script);
    Kesto_ControlEvent *AddControl(QObject *Ctrl, const QString &p_Script);
    bool FindItem(const QString &P_Key) const;
    Kesto_ControlEvent *item(const QString &P_Key) const; // nullptr when not bound
    void Clear();
    int count() const { return int(W_Controls.size()); }

    // Raised by a binding for its control's event.
    void raiseEvent(QObject *ctrl, const QString &eventType, const QString &script);

signals:
    void Events(QObject *p_Ctrl, const QString &p_EventType, const QString &p_Script);

private:
    Kesto_ControlEvent *add(Kesto_ControlEvent *event);
    QList<Kesto_ControlEvent *> W_Controls;
};

// Runs stored scripts against one window (the operating window): the
// window's controls, "this" (their collection) and the registered objects
// ("Ado" among them) are visible to the script, after a fixed prelude.
class Kesto_Design final : public QObject
{
    Q_OBJECT
public:
    // conn: the module's connection, which "Ado" keeps.
    explicit Kesto_Design(const Connection &conn, QObject *parent = nullptr);
    ~Kesto_Design() override;

    // Attaches the window's engine (adding one named "SC" when it has none)
    // and drops the event bindings.
    void setOperForm(QWidget *window);
    QWidget *operForm() const { return m_operForm.data(); }

    void AddObjectToScript(const QString &P_Name, std::shared_ptr<ScriptObject> p_object, bool P_FormLevel);
    void ClearScriptObject(bool P_ClearIncludeFormLevel);
    const QList<Change_DesignObject> &registeredObjects() const { return m_objects; }

    // The operating window's engine, or nullptr.
    ScriptControl *GetScriptControl() const;

    // The value of P_VariantName after the variables text and the script
    // ran; Empty when there is no engine or the run failed.
    ScriptValue GetValue(const QString &p_Script, const QString &P_VariantName, bool P_ShowError,
                         const QString &P_VariantInitScript, bool P_FinishClearTempObject);
    // Runs the script; false when there is no engine or its set-up failed.
    bool ExecuteStatement(const QString &p_Script, bool P_ShowError, const QString &P_ErrorGroup,
                          bool P_FinishClearTempObject);

    // What went wrong in the last run that failed (as the box shows it); empty after one that went through.
    const QString &lastError() const { return m_lastError; }

    bool AllowExecute() const { return m_allowExecute; }
    void setAllowExecute(bool allow) { m_allowExecute = allow; }
    Kesto_ControlEvents &W_ControlEvents() { return *m_controlEvents; }

    // A run stops with an error after this long (a runaway loop must not
    // freeze the window); 0 = no limit.
    void setTimeLimit(int milliseconds) { m_timeLimit = milliseconds; }
    int timeLimit() const { return m_timeLimit; }
    static constexpr int kDefaultTimeLimit = 10000;

    // The text every run starts with.
    static QString prelude();

private:
    // The steps both runs share; false when they stopped at the failure steps.
    bool run(ScriptEngine &engine, const QString &script, const QString *initScript, bool showError,
             const QString &messageHead, bool clearTemp);
    void Events(QObject *p_Ctrl, const QString &p_EventType, const QString &p_Script);

    QPointer<QWidget> m_operForm;
    QList<Change_DesignObject> m_objects;
    std::shared_ptr<ScriptObject> m_ado;
    Kesto_ControlEvents *m_controlEvents = nullptr;
    bool m_allowExecute = true;
    int m_timeLimit = kDefaultTimeLimit;
    QString m_lastError;
};
