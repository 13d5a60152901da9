#pragma once

#include "platform/script/ScriptValue.h"

#include <QPointer>

class QObject;

// An object of the host as scripts see it. Names compare without regard to
// case. A member name of "" is the default member: a property read when the
// object stands where a value is needed, a method called for obj(args).
// Implementations report failures by throwing ScriptError.
class ScriptObject
{
public:
    virtual ~ScriptObject() = default;

    virtual QString typeName() const { return QStringLiteral("Object"); }
    virtual bool hasProperty(const QString &name) const = 0;
    virtual bool hasMethod(const QString &name) const = 0;
    virtual ScriptValue getProperty(const QString &name) = 0;
    virtual void setProperty(const QString &name, const ScriptValue &value) = 0;
    virtual ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) = 0;
    // obj(args) = value: writes the default member with arguments, as a
    // record's field is set by rs("Name") = value.
    virtual void setItem(const QList<ScriptValue> &args, const ScriptValue &value)
    {
        Q_UNUSED(args);
        Q_UNUSED(value);
        throwScriptError(ScriptErrorNumber::NoSuchMember);
    }
    // The items For Each walks; false when the object is not a collection.
    virtual bool enumerate(QList<ScriptValue> *items)
    {
        Q_UNUSED(items);
        return false;
    }
    // What "Is" compares: two wrappers of one host object are the same object.
    virtual const void *identity() const { return this; }

    // The default value of an object in an expression (error 438 without one).
    static ScriptValue defaultValue(const std::shared_ptr<ScriptObject> &object);
};

// Exposes a QObject to scripts: its properties (static and dynamic), its
// slots and invokable methods, and its descendants by objectName as read-only
// properties, so a window's controls are reachable as window.Name. Values
// cross as QVariant. The wrapper holds a guarded pointer: members of a
// deleted object fail with error 424.
class QObjectScriptObject : public ScriptObject
{
public:
    explicit QObjectScriptObject(QObject *object);
    static std::shared_ptr<ScriptObject> wrap(QObject *object);

    QObject *object() const { return m_object.data(); }

    QString typeName() const override;
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;
    const void *identity() const override { return m_object.data(); }

private:
    QObject *checked() const;
    QString propertyName(const QString &name) const; // the declared spelling, or empty
    QObject *namedChild(const QString &name) const;

    QPointer<QObject> m_object;
};

// The named objects below a root as one collection, as a window's controls
// are offered to scripts: each by its name as a member (without regard to
// case), Count, Item(position or name) which is also the default member, and
// For Each over them all. Objects without a name and Qt's own helpers
// ("qt_…") are left out.
class QObjectCollectionScriptObject : public ScriptObject
{
public:
    explicit QObjectCollectionScriptObject(QObject *root);

    QString typeName() const override { return QStringLiteral("Controls"); }
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;
    bool enumerate(QList<ScriptValue> *items) override;

private:
    QList<QObject *> members() const;
    QObject *find(const QString &name) const;

    QPointer<QObject> m_root;
};
