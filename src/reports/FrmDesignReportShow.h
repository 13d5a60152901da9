#pragma once

#include "reports/ReportPrinting.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class FlexGrid;
class Kesto_Design;
class QAction;
class QMenu;
class QPushButton;


// The reports of one window: the user picks one, its script computes the
// SQL and the report component prints ("P") or previews ("V") it. A popup
// menu adds, edits and deletes report definitions. One shared instance.
class FrmDesignReportShow final : public QDialog
{
    Q_OBJECT
public:
    static FrmDesignReportShow &obtain(QWidget *parent = nullptr);
    static void release();
    static bool exists();

    void setFormId(const QString &formId) { m_formId = formId; }
    void setChoice(const QString &choice) { m_choice = choice; }
    QString Choice() const { return m_choice; }
    void setView_Price(bool on) { m_viewPrice = on; }
    bool View_Price() const { return m_viewPrice; }
    void setSetVariantCode(const QString &text) { m_variantCode = text; }
    QString SetVariantCode() const { return m_variantCode; }
    void setFilter(const QString &filter) { m_filter = filter; }
    void setAllowPrint(bool on) { m_allowPrint = on; }
    // The window scripts run against; none means this window.
    void setOperForm(QWidget *window) { m_operForm = window; }
    // Prepared data of type-1 reports, by report code.
    QHash<QString, std::shared_ptr<ResultSet>> &W_RptForm() { return m_rptForm; }

    // The script text defining the document's variables, View_Price and W_Filter.
    QString variablesText() const;
    static QString variablesText(const QString &variantCode, bool viewPrice, const QString &filter);
    // A text as a VBScript string literal.
    static QString scriptLiteral(const QString &text);

    Kesto_Design *scriptHost() const { return m_design; }
    FlexGrid *grid() const { return m_grid; }
    QMenu *popupMenu() const { return m_menu; }

    // Tests and the headless print watch each call of the report component.
    using PrintObserver = ReportPrinting::Observer;
    static void setPrintObserver(PrintObserver observer);

    // OK: prints the current report. Public for the headless print.
    void Cmd_Ok_Click();
    // The caption of the report OK sent to the printer ("P"), empty when
    // none was: the document's print is then written down.
    const QString &printedCaption() const { return m_printedCaption; }
    // Selects the report of that caption (for an empty caption the first
    // report that is no basic data source); false when the list has none.
    bool selectCaption(const QString &caption);

signals:
    // A print came out (on paper or as a PDF): not a preview only looked at.
    void printCameOut();

protected:
    void showEvent(QShowEvent *event) override;
    // Closing drops the prepared data and the shared instance: the next
    // obtain makes a fresh list.
    void done(int result) override;

private:
    explicit FrmDesignReportShow(QWidget *parent);
    void Form_Load();
    void LoadReportSet();
    int currentRow() const; // -1 when no row is current
    QString currentCaption() const;
    void Grid1_MouseUp(Qt::MouseButton button, const QPoint &pos);
    void mnuAddReport_Click();
    void mnuEditReport_Click();
    void mnuDeleteReport_Click();
    void tell(const QString &messageId, const QString &text);

    QString m_formId;
    QString m_choice;
    bool m_viewPrice = false;
    QString m_variantCode;
    QString m_filter;
    bool m_allowPrint = false;
    QString m_printedCaption;
    QPointer<QWidget> m_operForm;
    QHash<QString, std::shared_ptr<ResultSet>> m_rptForm;
    bool m_loaded = false;
    ResultSet m_rows; // the list as loaded

    Kesto_Design *m_design = nullptr;
    FlexGrid *m_grid = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_add = nullptr;
    QAction *m_edit = nullptr;
    QAction *m_delete = nullptr;
};
