#pragma once

#include "documents/DocumentSearch.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>

class HeadItem;
class QPushButton;

// The search dialog of the document windows: the caller names the table and
// the kind, the user fills in criteria, and OK replaces the list of the
// caller's number field with the numbers found. One shared instance.
class Frm40BSH final : public QDialog
{
    Q_OBJECT
public:
    // The shared dialog, built (reading the server date) on first use.
    static Frm40BSH &obtain(QWidget *parent = nullptr);
    static void release();

    // The list control that receives the numbers (a combo box).
    void setCallControl(QWidget *control) { m_callControl = control; }
    QWidget *CallControl() const { return m_callControl; }

    // Setting the table also fills the people lists from it.
    void setDefTable(const QString &table);
    QString DefTable() const { return m_defTable; }
    void setDefField(const QString &field) { m_defField = field; }
    void setDefInvDate(const QString &column) { m_defInvDate = column; }
    void setDefInvStatusFieldName(const QString &column) { m_defInvStatusFieldName = column; }
    void setDefInvUpdateFieldName(const QString &column) { m_defInvUpdateFieldName = column; }
    // condition holds "?" placeholders; values are bound to them in order.
    void setDefInvOther(const QString &condition, const QList<QVariant> &values = {});

    bool ClickCancel() const { return m_clickCancel; }

    // The search the fields describe now.
    DocumentSearch criteria() const;

    void reject() override;

private:
    explicit Frm40BSH(QWidget *parent);
    HeadItem *addField(const char *name, const QString &caption, int kind);
    void LoadCombox();
    void Cmd_Ok_MouseClick();
    void Cmd_Cancel_MouseClick();

    QPointer<QWidget> m_callControl;
    QString m_defTable;
    QString m_defField;
    QString m_defInvDate;
    QString m_defInvStatusFieldName;
    QString m_defInvUpdateFieldName;
    QString m_defInvOther;
    QList<QVariant> m_defInvOtherValues;
    bool m_clickCancel = false;

    HeadItem *m_invNo = nullptr;
    HeadItem *m_cbCheck = nullptr;
    HeadItem *m_printStatus = nullptr;
    HeadItem *m_date1 = nullptr;
    HeadItem *m_date2 = nullptr;
    HeadItem *m_formMan = nullptr;
    HeadItem *m_barMan = nullptr;
    HeadItem *m_procMan = nullptr;
    HeadItem *m_checkMan = nullptr;
    HeadItem *m_frmInv = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
