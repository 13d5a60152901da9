#include "platform/script/ScriptObject.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>

ScriptValue ScriptObject::defaultValue(const std::shared_ptr<ScriptObject> &object)
{
    if (!object)
        throwScriptError(ScriptErrorNumber::ObjectNotSet);
    if (!object->hasProperty(QString()))
        throwScriptError(ScriptErrorNumber::NoSuchMember);
    const ScriptValue v = object->getProperty(QString());
    if (v.isObject())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    return v;
}

// ---- QObject adapter ----

QObjectScriptObject::QObjectScriptObject(QObject *object) : m_object(object) {}

std::shared_ptr<ScriptObject> QObjectScriptObject::wrap(QObject *object)
{
    if (!object)
        return nullptr;
    return std::make_shared<QObjectScriptObject>(object);
}

QObject *QObjectScriptObject::checked() const
{
    if (!m_object)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    return m_object.data();
}

QString QObjectScriptObject::typeName() const
{
    return m_object ? QString::fromLatin1(m_object->metaObject()->className()) : QStringLiteral("Object");
}

QString QObjectScriptObject::propertyName(const QString &name) const
{
    if (!m_object || name.isEmpty())
        return QString();
    const QMetaObject *mo = m_object->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QString n = QString::fromLatin1(mo->property(i).name());
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    const QList<QByteArray> dynamicNames = m_object->dynamicPropertyNames();
    for (const QByteArray &d : dynamicNames) {
        const QString n = QString::fromUtf8(d);
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    // Scripts know a control's name as Name.
    if (name.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("objectName");
    return QString();
}

QObject *QObjectScriptObject::namedChild(const QString &name) const
{
    if (!m_object || name.isEmpty())
        return nullptr;
    const QList<QObject *> all = m_object->findChildren<QObject *>();
    for (QObject *c : all) {
        if (c->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return nullptr;
}

bool QObjectScriptObject::hasProperty(const QString &name) const
{
    return !propertyName(name).isEmpty() || namedChild(name);
}

// QObject's own slots (deleteLater and the like) are not for scripts.
static int firstScriptMethod()
{
    return QObject::staticMetaObject.methodCount();
}

bool QObjectScriptObject::hasMethod(const QString &name) const
{
    if (!m_object || name.isEmpty())
        return false;
    const QMetaObject *mo = m_object->metaObject();
    for (int i = firstScriptMethod(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() != QMetaMethod::Signal && m.access() == QMetaMethod::Public &&
            QString::fromLatin1(m.name()).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

ScriptValue QObjectScriptObject::getProperty(const QString &name)
{
    QObject *o = checked();
    const QString p = propertyName(name);
    if (!p.isEmpty())
        return ScriptValue::fromVariant(o->property(p.toUtf8().constData()));
    if (QObject *c = namedChild(name))
        return ScriptValue::object(wrap(c));
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

void QObjectScriptObject::setProperty(const QString &name, const ScriptValue &value)
{
    QObject *o = checked();
    const QString p = propertyName(name);
    if (p.isEmpty())
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    const QByteArray key = p.toUtf8();
    const QMetaObject *mo = o->metaObject();
    const int index = mo->indexOfProperty(key.constData());
    QVariant v = value.toVariant();
    if (index >= 0) {
        const QMetaProperty prop = mo->property(index);
        if (!prop.isWritable())
            throwScriptError(ScriptErrorNumber::IllegalAssignment, name);
        if (prop.metaType().id() != QMetaType::QVariant && !v.convert(prop.metaType()))
            throwScriptError(ScriptErrorNumber::TypeMismatch, name);
    }
    o->setProperty(key.constData(), v);
}

ScriptValue QObjectScriptObject::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    QObject *o = checked();
    const QMetaObject *mo = o->metaObject();
    bool nameFound = false;
    for (int i = mo->methodCount() - 1; i >= firstScriptMethod(); --i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal || m.access() != QMetaMethod::Public ||
            QString::fromLatin1(m.name()).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        nameFound = true;
        if (m.parameterCount() != args.size() || args.size() > 10)
            continue;
        // Arguments converted to the declared types; a QVariant parameter takes the value as is.
        QVariant holders[10];
        QByteArray typeNames[10]; // QGenericArgument keeps only the pointer
        QGenericArgument gargs[10];
        for (qsizetype a = 0; a < args.size(); ++a) {
            QVariant v = args.at(a).toVariant();
            const QMetaType t = m.parameterMetaType(int(a));
            if (t.id() == QMetaType::QVariant) {
                holders[a] = QVariant::fromValue(v);
                gargs[a] = QGenericArgument("QVariant", holders[a].constData());
                continue;
            }
            if (!v.convert(t))
                throwScriptError(ScriptErrorNumber::TypeMismatch, name);
            holders[a] = v;
            typeNames[a] = m.parameterTypeName(int(a));
            gargs[a] = QGenericArgument(typeNames[a].constData(), holders[a].constData());
        }
        QVariant ret;
        QGenericReturnArgument gret;
        const QMetaType rt = m.returnMetaType();
        if (rt.isValid() && rt.id() != QMetaType::Void) {
            ret = QVariant(rt);
            gret = QGenericReturnArgument(m.typeName(), ret.data());
        }
        const bool ok = m.invoke(o, Qt::DirectConnection, gret, gargs[0], gargs[1], gargs[2], gargs[3], gargs[4],
                                 gargs[5], gargs[6], gargs[7], gargs[8], gargs[9]);
        if (!ok)
            throwScriptError(ScriptErrorNumber::InvalidCall, name);
        if (rt.id() == QMetaType::QVariant)
            return ScriptValue::fromVariant(*static_cast<const QVariant *>(ret.constData()));
        return ScriptValue::fromVariant(ret);
    }
    if (nameFound)
        throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

// ---- a collection of named objects ----

QObjectCollectionScriptObject::QObjectCollectionScriptObject(QObject *root) : m_root(root) {}

QList<QObject *> QObjectCollectionScriptObject::members() const
{
    QList<QObject *> out;
    if (!m_root)
        return out;
    const QList<QObject *> all = m_root->findChildren<QObject *>();
    for (QObject *o : all) {
        const QString n = o->objectName();
        if (!n.isEmpty() && !n.startsWith(QLatin1String("qt_")))
            out << o;
    }
    return out;
}

QObject *QObjectCollectionScriptObject::find(const QString &name) const
{
    if (name.isEmpty())
        return nullptr;
    const QList<QObject *> all = members();
    for (QObject *o : all) {
        if (o->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return o;
    }
    return nullptr;
}

bool QObjectCollectionScriptObject::hasProperty(const QString &name) const
{
    return name.compare(QLatin1String("Count"), Qt::CaseInsensitive) == 0 || find(name);
}

bool QObjectCollectionScriptObject::hasMethod(const QString &name) const
{
    return name.isEmpty() || name.compare(QLatin1String("Item"), Qt::CaseInsensitive) == 0;
}

ScriptValue QObjectCollectionScriptObject::getProperty(const QString &name)
{
    if (!m_root)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    if (name.compare(QLatin1String("Count"), Qt::CaseInsensitive) == 0)
        return ScriptValue::integer(members().size());
    if (QObject *o = find(name))
        return ScriptValue::object(QObjectScriptObject::wrap(o));
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

void QObjectCollectionScriptObject::setProperty(const QString &name, const ScriptValue &)
{
    throwScriptError(hasProperty(name) ? ScriptErrorNumber::IllegalAssignment : ScriptErrorNumber::NoSuchMember, name);
}

ScriptValue QObjectCollectionScriptObject::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    if (!hasMethod(name))
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    if (!m_root)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    if (args.size() != 1)
        throwScriptError(ScriptErrorNumber::WrongArgumentCount, QStringLiteral("Item"));
    const ScriptValue &key = args.at(0);
    QObject *o = nullptr;
    if (key.isString()) {
        o = find(key.stringValue());
    } else {
        const QList<QObject *> all = members();
        const qint64 i = key.toLong();
        if (i >= 0 && i < all.size())
            o = all.at(i);
    }
    if (!o)
        throwScriptError(ScriptErrorNumber::SubscriptOutOfRange);
    return ScriptValue::object(QObjectScriptObject::wrap(o));
}

bool QObjectCollectionScriptObject::enumerate(QList<ScriptValue> *items)
{
    const QList<QObject *> all = members();
    for (QObject *o : all)
        items->append(ScriptValue::object(QObjectScriptObject::wrap(o)));
    return true;
}
