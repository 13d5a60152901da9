#include "reports/KestoDesign.h"

#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "reports/DesignAdo.h"
#include "services/DbGateway.h"

#include <QAbstractButton>
#include <QWidget>

namespace {

const QString kEngineName = QStringLiteral("SC");
// The collection's answer to a key already present.
constexpr qint64 kDuplicateKey = 457;

QString code(const QString &text)
{
    return DbGateway::ChangeStrCode(text);
}

} // namespace

// ------------------------------------------------------------------ engine control

ScriptControl::ScriptControl(QWidget *window) : QObject(window)
{
    setObjectName(kEngineName);
}

// ------------------------------------------------------------------ event bindings

void Kesto_ControlEvent::remember(QObject *ctrl, Kesto_ControlEvents *owner, const QString &script)
{
    m_owner = owner;
    m_control = ctrl;
    m_script = script;
    m_name = ctrl ? ctrl->objectName() : QString();
}

void Kesto_ControlEvent::InitCommand(QAbstractButton *p_Ctrl, Kesto_ControlEvents *p_Parent, const QString &p_Script)
{
    W_Command = p_Ctrl;
    if (p_Ctrl)
        connect(p_Ctrl, &QAbstractButton::clicked, this, &Kesto_ControlEvent::W_Command_Click);
    remember(p_Ctrl, p_Parent, p_Script);
}

void Kesto_ControlEvent::InitControl(QObject *p_Ctrl, Kesto_ControlEvents *p_Parent, const QString &p_Script)
{
    remember(p_Ctrl, p_Parent, p_Script);
}

void Kesto_ControlEvent::W_Command_Click()
{
    if (m_owner)
        m_owner->raiseEvent(m_control.data(), QStringLiteral("Click"), m_script);
}

Kesto_ControlEvent *Kesto_ControlEvents::add(Kesto_ControlEvent *event)
{
    if (FindItem(event->Name())) {
        delete event;
        throw ErpError(kDuplicateKey, QStringLiteral("Kesto_ControlEvents"),
                       QStringLiteral("This key is already associated with an element of this collection"));
    }
    W_Controls.append(event);
    return event;
}

Kesto_ControlEvent *Kesto_ControlEvents::AddCommand(QAbstractButton *Ctrl, const QString &p_Script)
{
    auto *e = new Kesto_ControlEvent(this);
    e->InitCommand(Ctrl, this, p_Script);
    return add(e);
}

Kesto_ControlEvent *Kesto_ControlEvents::AddControl(QObject *Ctrl, const QString &p_Script)
{
    auto *e = new Kesto_ControlEvent(this);
    e->InitControl(Ctrl, this, p_Script);
    return add(e);
}

bool Kesto_ControlEvents::FindItem(const QString &P_Key) const
{
    return item(P_Key) != nullptr;
}

Kesto_ControlEvent *Kesto_ControlEvents::item(const QString &P_Key) const
{
    for (Kesto_ControlEvent *e : W_Controls)
        if (e->Name().toUpper() == P_Key.toUpper())
            return e;
    return nullptr;
}

void Kesto_ControlEvents::Clear()
{
    qDeleteAll(W_Controls);
    W_Controls.clear();
}

void Kesto_ControlEvents::raiseEvent(QObject *ctrl, const QString &eventType, const QString &script)
{
    emit Events(ctrl, eventType, script);
}

// ------------------------------------------------------------------ host

Kesto_Design::Kesto_Design(const Connection &conn, QObject *parent)
    : QObject(parent), m_ado(std::make_shared<Design_Ado>(conn))
{
    AddObjectToScript(QStringLiteral("Ado"), m_ado, true);
    m_allowExecute = true;
    m_controlEvents = new Kesto_ControlEvents(this);
    connect(m_controlEvents, &Kesto_ControlEvents::Events, this, &Kesto_Design::Events);
}

Kesto_Design::~Kesto_Design() = default;

QString Kesto_Design::prelude()
{
    static const char *const lines[] = {"const vbmodal=1",
                                        "const vbChecked=1",
                                        "const vbunChecked=0",
                                        "Function Change_StrCode(P_Str)",
                                        "Change_StrCode=P_Str",
                                        "end function",
                                        "Function val(P_Str)",
                                        "val=P_Str",
                                        "end function",
                                        "Function trim(P_Str)",
                                        "trim=rtrim(ltrim(P_Str))",
                                        "end function",
                                        " Function iif(p_bool, p_truevalue, p_falseValue)",
                                        "   If p_bool = True Then",
                                        "   iif = p_truevalue",
                                        "   Else",
                                        "   iif = p_falseValue",
                                        "   End If",
                                        " End Function"};
    QString text;
    for (const char *line : lines)
        text += QLatin1String(line) + QStringLiteral("\r\n");
    return text;
}

void Kesto_Design::setOperForm(QWidget *window)
{
    m_operForm = window;
    if (window && !GetScriptControl()) {
        auto *sc = new ScriptControl(window);
        // A script's MsgBox is a message of the module like any other.
        const QPointer<QWidget> owner(window);
        sc->engine().setMessageBoxHandler([owner](const QString &prompt, int buttons, const QString &title) {
            MessageRequest request;
            request.form = owner ? owner->objectName() : QString();
            request.messageId = QStringLiteral("MsgBox");
            request.text = prompt;
            request.style = buttons;
            request.title = title;
            return MessageBoxService::instance().show(request);
        });
    }
    m_controlEvents->Clear();
}

ScriptControl *Kesto_Design::GetScriptControl() const
{
    if (!m_operForm)
        return nullptr;
    const QList<ScriptControl *> engines = m_operForm->findChildren<ScriptControl *>(Qt::FindDirectChildrenOnly);
    for (ScriptControl *sc : engines)
        if (sc->objectName().toUpper() == kEngineName)
            return sc;
    return nullptr;
}

void Kesto_Design::AddObjectToScript(const QString &P_Name, std::shared_ptr<ScriptObject> p_object, bool P_FormLevel)
{
    m_objects.append(Change_DesignObject{P_Name, std::move(p_object), P_FormLevel});
}

void Kesto_Design::ClearScriptObject(bool P_ClearIncludeFormLevel)
{
    if (P_ClearIncludeFormLevel) {
        m_objects.clear();
        return;
    }
    m_objects.removeIf([](const Change_DesignObject &o) { return !o.FormLevel; });
}

bool Kesto_Design::run(ScriptEngine &engine, const QString &script, const QString *initScript, bool showError,
                       const QString &messageHead, bool clearTemp)
{
    engine.setTimeLimit(m_timeLimit);
    engine.reset();
    engine.addCode(prelude());
    if (initScript)
        engine.addCode(*initScript);
    engine.addObject(QStringLiteral("this"), std::make_shared<QObjectCollectionScriptObject>(m_operForm.data()), true);
    bool failed = false;
    for (const Change_DesignObject &o : std::as_const(m_objects)) {
        engine.addObject(o.InnerName, o.InnerObject, true);
        // The error state persists, so a failure of the steps before is caught here too.
        if (engine.hasError() && engine.errorNumber() != ScriptErrorNumber::InvalidArgument) {
            failed = true;
            break;
        }
    }
    if (!failed) {
        // The controls by name; one that cannot be added is left out.
        const QList<QObject *> all = m_operForm->findChildren<QObject *>();
        for (QObject *c : all) {
            const QString name = c->objectName();
            if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
                engine.addObject(name, QObjectScriptObject::wrap(c), true);
        }
        engine.addCode(script);
        // A script stopped by the time limit did not go through, whatever it set.
        failed = engine.errorNumber() == ScriptErrorNumber::Aborted;
    }
    m_lastError.clear();
    if (!failed)
        return true;
    m_lastError = messageHead + engine.errorDescription();
    if (showError) {
        MessageRequest request;
        request.form = QStringLiteral("Kesto_Design");
        request.messageId = initScript ? QStringLiteral("GetValue") : QStringLiteral("ExecuteStatement");
        request.text = messageHead + engine.errorDescription() + code(QStringLiteral("出错的语句为")) +
                       QStringLiteral("\r\n") + script;
        request.style = MessageStyle::Ok;
        MessageBoxService::instance().show(request);
    }
    // Nothing of a failed run stays in the engine for the next one.
    engine.reset();
    if (clearTemp)
        ClearScriptObject(false);
    return false;
}

ScriptValue Kesto_Design::GetValue(const QString &p_Script, const QString &P_VariantName, bool P_ShowError,
                                   const QString &P_VariantInitScript, bool P_FinishClearTempObject)
{
    ScriptControl *sc = GetScriptControl();
    if (!sc)
        return ScriptValue();
    ScriptEngine &engine = sc->engine();
    if (!run(engine, p_Script, &P_VariantInitScript, P_ShowError, code(QStringLiteral("执行脚本时出错,描述如下:")),
             P_FinishClearTempObject))
        return ScriptValue(QString());
    ScriptValue result = engine.eval(P_VariantName);
    if (engine.errorNumber() == ScriptErrorNumber::Aborted)
        result = ScriptValue(QString());
    if (P_FinishClearTempObject)
        ClearScriptObject(false);
    return result;
}

bool Kesto_Design::ExecuteStatement(const QString &p_Script, bool P_ShowError, const QString &P_ErrorGroup,
                                    bool P_FinishClearTempObject)
{
    ScriptControl *sc = GetScriptControl();
    if (!sc)
        return false;
    if (!run(sc->engine(), p_Script, nullptr, P_ShowError,
             code(QStringLiteral("执行") + P_ErrorGroup + QStringLiteral("脚本时出错,描述如下:")),
             P_FinishClearTempObject))
        return false;
    if (P_FinishClearTempObject)
        ClearScriptObject(false);
    return true;
}

void Kesto_Design::Events(QObject *p_Ctrl, const QString &, const QString &p_Script)
{
    if (!m_allowExecute)
        return;
    const QString name = p_Ctrl ? p_Ctrl->objectName() : QString();
    ExecuteStatement(p_Script, true, QStringLiteral("控件<") + name + QStringLiteral(">的事件"), true);
}
