#pragma once

#include "services/KestoControl.h"

#include <QPointer>
#include <QWidget>

// A window's toolbar buttons as Kesto_Control drives them: found among the
// window's children by object name, so any window with the usual button
// names works and a window without some of them is fine.
class FormCommandButtons final : public CommandButtons
{
public:
    explicit FormCommandButtons(QWidget *form) : m_form(form) {}

    bool exists(const QString &name) const override { return button(name) != nullptr; }
    bool isEnabled(const QString &name) const override;
    void setEnabled(const QString &name, bool enabled) override;
    void setFocus(const QString &name) override;

private:
    QWidget *button(const QString &name) const;
    QPointer<QWidget> m_form;
};

// The buttons of a window, for Kesto_Control::IniRights.
inline std::shared_ptr<CommandButtons> formButtons(QWidget *form)
{
    return std::make_shared<FormCommandButtons>(form);
}
