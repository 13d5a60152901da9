#pragma once

#include <QPointer>
#include <QWidget>

class QFrame;
class QToolButton;

// The small popup of a document window's line grid: add, change or delete a
// line. A click on an item hides the popup, emits that item's signal and then
// closes the popup for good.
class Menu_Mdi final : public QWidget
{
    Q_OBJECT
public:
    explicit Menu_Mdi(QWidget *parent = nullptr);

    // Remembers the window and places the popup at pos, a point of the
    // window's client area; the caller shows it.
    void ShowMenu(QWidget *form, const QPoint &pos);
    QWidget *form() const { return m_form; }

    QToolButton *Menu_Add() const { return m_add; }
    QToolButton *Menu_Edit() const { return m_edit; }
    QToolButton *Menu_Delete() const { return m_delete; }
    // Below the line commands: the document's history, which changes nothing.
    QToolButton *Menu_History() const { return m_history; }

signals:
    void addChosen();
    void editChosen();
    void deleteChosen();
    void historyChosen();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void itemClicked(void (Menu_Mdi::*chosen)());

    QPointer<QWidget> m_form;
    QFrame *m_panel = nullptr;
    QToolButton *m_add = nullptr;
    QToolButton *m_edit = nullptr;
    QToolButton *m_delete = nullptr;
    QToolButton *m_history = nullptr;
};
