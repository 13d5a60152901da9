#include "services/widgets/KestoControlUi.h"

QWidget *FormCommandButtons::button(const QString &name) const
{
    return m_form ? m_form->findChild<QWidget *>(name) : nullptr;
}

bool FormCommandButtons::isEnabled(const QString &name) const
{
    const QWidget *b = button(name);
    return b && b->isEnabled();
}

void FormCommandButtons::setEnabled(const QString &name, bool enabled)
{
    if (QWidget *b = button(name))
        b->setEnabled(enabled);
}

void FormCommandButtons::setFocus(const QString &name)
{
    if (QWidget *b = button(name))
        b->setFocus(Qt::OtherFocusReason);
}
