#pragma once

#include "documents/DocumentScreen.h"
#include "documents/DocumentSession.h"
#include "lines/LineHost.h"
#include "services/widgets/FormDressing.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <memory>

class Kesto_VSFlexgrid;
class Menu_Mdi;

// The document window of one kind (issue, return, supplementary issue): a
// header, its lines in Grid1 and a toolbar. The window is a view: it builds
// the controls, shows what its DocumentSession holds and hands every command
// to it; the session asks and tells through the window. Each kind exists at
// most once in the process.
class DocumentWindow : public QWidget, public CommandDispatcher, public LineHost, private SessionView
{
    Q_OBJECT
public:
    ~DocumentWindow() override;

    // The open window of a kind, or nullptr.
    static DocumentWindow *instance(const DocumentKind &kind);
    // The open window of a kind, built (and loaded) when there is none.
    static DocumentWindow *obtain(const DocumentKind &kind);

    const DocumentKind &kind() const { return m_kind; }
    QString heading() const;

    // Shows the document of a number, as picking it from the number list does.
    void showNumber(const QString &number);

    // The command dispatcher: one letter per toolbar command.
    Q_INVOKABLE void vcontrol(const QString &letter) override;
    // Reloads the line grid ("grid1", any case); other names do nothing.
    Q_INVOKABLE void RefreshGrid(const QString &gridName);

    // What the line dialogs opened here read and report back.
    QString outsourcingOrderNo() const override;
    QString stockDeductionText() const override;
    void linesChanged(const QString &rec412) override;

    // The line commands of the grid's popup menu.
    Q_INVOKABLE void Menu_Add_Click();
    Q_INVOKABLE void Menu_Edit_Click();
    Q_INVOKABLE void menu_delete_Click();
    // The popup menu while it exists (from a right click in the grid).
    Menu_Mdi *lineMenu() const;
    // The history of the document shown, in a small read-only window
    // (Ctrl+H, or the line grid's popup menu).
    Q_INVOKABLE void showHistory();

    // What the window is doing and showing (for its dialogs and tests).
    DocumentSession &session() { return *m_session; }
    Kesto_Control &control() { return m_session->control(); }
    int lastAction() const { return m_session->control().LastAction(); }
    bool hasRecord() const { return m_session->hasRecord(); }
    const Statement &headerFilter() const { return m_session->headerFilter(); }
    const ResultSet &headerRs() const { return m_session->headerRs(); }
    const ResultSet &linesRs() const { return *m_session->linesRs(); }
    FlexGrid *grid() const { return m_ui.grid; }
    bool orderControl() const { return m_session->orderControl(); }
    // The selected positions of the two choice lists, -1 for none.
    int stockModePosition() const;
    int propDutyPosition() const;

protected:
    explicit DocumentWindow(const DocumentKind &kind);
    void closeEvent(QCloseEvent *event) override;

private:
    // SessionView.
    HeaderInput input() const override;
    int ask(const MessageRequest &question) override;
    void tell(const MessageRequest &message) override;
    void focus(HeaderField field) override;
    void reportFailure(const QString &form, const QString &tag, const QString &detail) override;
    void showDocument() override;
    void showLines() override;
    void Lock_Control(bool locked) override;
    void proposeNumber(const QString &number) override;
    void numberStored(const QString &typed) override;
    void documentRemoved() override;
    SearchOutcome search(const SearchRequest &request) override;
    bool openReports(const ReportRequest &request, QString &printedReport) override;
    void openLineDialog(const LineRequest &request) override;
    void openUsageImport(const UsageImportCall &call) override;
    void showHelp() override;
    void closeWindow() override;

    void buildScreen();
    void Form_Load();
    void init_form();
    void Cmd_Brow_Org_Click();
    void Cmd_Brow_Pcs_Click();
    void Grid1_MouseUp(Qt::MouseButton button, const QPoint &pos);
    void lineCommand(LineCommand kind);
    QWidget *fieldWidget(HeaderField field) const;
    int gridDataRows() const;
    bool buttonEnabled(const QString &name) const;
    void focusNext(QWidget *from);

    const DocumentKind &m_kind;
    std::unique_ptr<DocumentSession> m_session;
    std::unique_ptr<Kesto_VSFlexgrid> m_gridWrapper;
    QPointer<Menu_Mdi> m_menu;

    DocumentScreen m_ui;
    QColor m_normalSelection;
};
