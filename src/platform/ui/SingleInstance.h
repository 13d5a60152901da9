#pragma once

#include <QDialog>
#include <QPointer>

// The one instance of a dialog class that its users share: made on first
// use, kept across uses until released, so that the next use after a release
// starts empty.
class SingleInstance
{
public:
    // The instance, made by make() when there is none.
    template <class Dialog, class Make>
    Dialog &obtain(Make make)
    {
        if (!m_dialog)
            m_dialog = make();
        return *static_cast<Dialog *>(m_dialog.data());
    }
    void release() { delete m_dialog.data(); }
    // The instance closed itself and will be deleted: the next obtain makes a new one.
    void forget(const QDialog *dialog)
    {
        if (m_dialog == dialog)
            m_dialog.clear();
    }
    bool exists() const { return !m_dialog.isNull(); }

private:
    QPointer<QDialog> m_dialog;
};

// One use of a single-instance dialog: obtains it when made and releases it
// when the use ends, early through release() or when the handle goes out of
// scope, however the use ends. Dialog is a class with static
// obtain(QWidget *) and release().
template <class Dialog>
class ScopedInstance
{
public:
    explicit ScopedInstance(QWidget *parent = nullptr) : m_dialog(&Dialog::obtain(parent)) {}
    ~ScopedInstance() { release(); }
    ScopedInstance(const ScopedInstance &) = delete;
    ScopedInstance &operator=(const ScopedInstance &) = delete;

    // Ends the use; the dialog is gone afterwards.
    void release()
    {
        if (m_dialog) {
            m_dialog = nullptr;
            Dialog::release();
        }
    }

    Dialog &operator*() const { return *m_dialog; }
    Dialog *operator->() const { return m_dialog; }
    Dialog *get() const { return m_dialog; }

private:
    Dialog *m_dialog;
};
