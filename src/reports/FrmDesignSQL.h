#pragma once

#include "reports/KestoDesign.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class FlexGrid;
class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A larger editor for a report script: the database's tables by module, the
// columns of the chosen table with their display names, common SQL words,
// the operating window's controls, a help text, and a test run through the
// script host. One shared instance.
class FrmDesignSQL final : public QDialog
{
    Q_OBJECT
public:
    static FrmDesignSQL &obtain(QWidget *parent = nullptr);
    static void release();

    void setSQL(const QString &sql);
    QString SQL() const { return m_sqlValue; }
    bool UserCancel() const { return m_userCancel; }
    void setFormCaption(const QString &caption) { m_formCaption = caption; }
    // The host the test runs on; without one the window makes its own, which
    // has no operating window.
    void SetDesign(Kesto_Design *P_Design);
    Kesto_Design *design() const { return m_design; }

    static QString helpText();
    // What the column insertion puts into the script for one column.
    static QString columnText(const QString &table, const QString &column, const QString &displayName,
                              bool withDisplayName, bool withTable, bool withComma);

    void CmdTest_Click();
    void cmdAddField_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FrmDesignSQL(QWidget *parent);
    void Form_Load();
    void LoadTable();
    void LoadOper();
    void LoadTableColumn();
    void AddDom();
    void AddFields();
    void insertText(const QString &text);
    void Tv_NodeClick(QTreeWidgetItem *item);
    void CmdSave_Click();
    void CmdCancel_Click();

    QString m_sqlValue;
    QString m_formCaption;
    bool m_userCancel = true;
    bool m_loaded = false;
    QPointer<Kesto_Design> m_design;
    Kesto_Design *m_ownDesign = nullptr;

    QTreeWidget *m_tv = nullptr;
    FlexGrid *m_fields = nullptr;
    QListWidget *m_oper = nullptr;
    QTreeWidget *m_dom = nullptr;
    QCheckBox *m_withName = nullptr;
    QCheckBox *m_withTable = nullptr;
    QCheckBox *m_withComma = nullptr;
    QPushButton *m_addField = nullptr;
    QPlainTextEdit *m_desc = nullptr;
    QPlainTextEdit *m_sql = nullptr;
    QPushButton *m_test = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_cancel = nullptr;
};
