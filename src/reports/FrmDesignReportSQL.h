#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Edits one report definition of a window: code, title, sort fields and
// the script. One shared instance.
class FrmDesignReportSQL final : public QDialog
{
    Q_OBJECT
public:
    static FrmDesignReportSQL &obtain(QWidget *parent = nullptr);
    static void release();

    void setDesignFormName(const QString &formName);
    QString DesignFormName() const { return m_formName; }
    void setReportName(const QString &reportName);
    void setReportCaption(const QString &caption);
    QString ReportCaption() const { return m_reportCaption; }
    void setEditMode(bool edit) { m_editMode = edit; }
    bool EditMode() const { return m_editMode; }
    void setSetVariantCode(const QString &text) { m_variantCode = text; }
    void setOrderFields(const QString &fields);
    void setSQL(const QString &sql);
    QString SQL() const;
    bool UserCancel() const { return m_userCancel; }

    void CmdSave_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FrmDesignReportSQL(QWidget *parent);
    void loadBasicSources();
    void CmdGetBasicSql_Click();
    void CmdSql_Click();
    void CmdShowInitCode_Click();
    void CmdCancel_Click();
    bool refuse(const QString &messageId, const QString &text, QWidget *focus);

    QString m_formName;
    QString m_reportCaption;
    QString m_variantCode;
    bool m_editMode = false;
    bool m_userCancel = true;

    QLineEdit *m_formNameBox = nullptr;
    QLineEdit *m_reportName = nullptr;
    QLineEdit *m_caption = nullptr;
    QLineEdit *m_orderFields = nullptr;
    QPlainTextEdit *m_sql = nullptr;
    QComboBox *m_basic = nullptr;
    QPushButton *m_getBasic = nullptr;
    QPushButton *m_editor = nullptr;
    QPushButton *m_variables = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_cancel = nullptr;
};
