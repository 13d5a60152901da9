#pragma once

#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "lines/LineHost.h"
#include "services/HeaderLock.h"
#include "services/KestoControl.h"
#include "services/widgets/FormDressing.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

enum class StatusGate;
struct LifecycleRule;
class FlexGrid;
class HeadItem;
class Kesto_VSFlexgrid;
class Menu_Mdi;
class PictureButton;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// The document window of one kind (issue, return, supplementary issue):
// a header, its lines in Grid1, and a toolbar whose commands all go through
// vcontrol. Each kind exists at most once in the process.
class DocumentWindow : public QWidget, public CommandDispatcher, public LineHost
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
    // The variables text of a document for its report scripts.
    static QString variantCode(const QString &number);

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

    // What the window is doing and showing (for its dialogs and tests).
    Kesto_Control &control() { return m_control; }
    int lastAction() const { return m_control.LastAction(); }
    bool hasRecord() const { return m_hasRecord; }
    const Statement &headerFilter() const { return m_headerFilter; }
    const ResultSet &headerRs() const { return m_headerRs; }
    const ResultSet &linesRs() const { return *m_linesRs; }
    FlexGrid *grid() const { return m_grid; }
    bool orderControl() const { return m_orderControl; }
    // The selected positions of the two choice lists, -1 for none.
    int stockModePosition() const;
    int propDutyPosition() const;

protected:
    explicit DocumentWindow(const DocumentKind &kind);
    void closeEvent(QCloseEvent *event) override;

private:
    // How far a command's checks and questions let it go.
    enum class Step {
        Go,     // on to the lock and the writes
        Refuse, // refused after the command began: the row's refusal applies
        Stop,   // refused before anything changed
    };
    Step checkCommand(const LifecycleRule &rule);
    void refuseCommand(const LifecycleRule &rule);
    void runCommand(const LifecycleRule &rule, WindowAction before, HeaderLock *lock);
    void afterCommand(const LifecycleRule &rule);
    void showNeighbourOfDeleted();
    // Shows the gate's refusal for the document's status as read now.
    bool passes(StatusGate gate);
    // Every status check of the rule, on the status read now.
    bool passesNow(const LifecycleRule &rule);
    DocumentStatus documentStatus() const;

    void buildScreen();
    PictureButton *addToolButton(const QString &name, const QString &text, char letter, const char *tag);
    void Form_Load();
    void init_form();
    void readactive();
    void ReadShow();
    void Lock_Control(bool locked);
    bool Check_Inv_Status();
    bool Check_ok();
    void upd_data();
    QString Creat_No();
    bool Check_ok1();
    void upd_data1(HeaderLock &lock);
    void pickNumber(const QString &number);
    void commandFind();
    // Print (P) and preview (V): the report list of the window's reports.
    void printDocument(char letter);
    void Prop_Duty_Change();
    void Cmd_Brow_Org_Click();
    void Cmd_Brow_Pcs_Click();
    void Grid1_MouseUp(Qt::MouseButton button, const QPoint &pos);
    // The line commands of the popup menu, by the dialog's Modify code.
    enum class LineCommand { Add = 0, Delete = 1, Edit = 2 };
    void menu_modify(LineCommand kind);
    void openLineDialog(LineCommand kind);
    void deleteSelectedLine();
    void Input_Mo_Mtr_Click();

    // Helpers.
    QString headerStatus() const; // "9" when no document is shown
    qint64 currentKey() const;    // the key in Rec_411, 0 when none
    int gridDataRows() const;
    bool buttonEnabled(const QString &name) const;
    int ask(const QString &text, int style);
    void tell(const QString &text);
    void focusNext(QWidget *from);

    const DocumentKind &m_kind;
    DocumentStore m_store;
    Kesto_Control m_control;
    std::unique_ptr<Kesto_VSFlexgrid> m_gridWrapper;
    ResultSet m_headerRs;
    std::shared_ptr<ResultSet> m_linesRs;
    Statement m_headerFilter = HeaderFilter::nothing();
    QString m_currentArea = QStringLiteral("MAIN");
    bool m_hasRecord = false;
    bool m_reading = false;
    bool m_orderControl = false;
    LineCommand m_menuKind = LineCommand::Add;
    QPointer<Menu_Mdi> m_menu;
    // The header lock an edit holds from U until save, cancel or close.
    std::optional<HeaderLock> m_editLock;
    // The last delete found the document no longer open.
    bool m_deleteRefused = false;

    // Controls.
    QFrame *m_panel = nullptr;
    QLabel *m_heading = nullptr;
    QLabel *m_printed = nullptr;
    QPushButton *m_import = nullptr;
    QComboBox *m_invNo = nullptr;
    HeadItem *m_invDate = nullptr;
    QLabel *m_orgLabel = nullptr;
    QComboBox *m_orgName = nullptr;
    QToolButton *m_browOrg = nullptr;
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QComboBox *m_pcsNo = nullptr;
    QToolButton *m_browPcs = nullptr;
    QComboBox *m_stockMode = nullptr;
    QLabel *m_propLabel = nullptr;
    QComboBox *m_propDuty = nullptr;
    HeadItem *m_procMan = nullptr;
    HeadItem *m_barMan = nullptr;
    HeadItem *m_formMan = nullptr;
    HeadItem *m_checkMan = nullptr;
    QLineEdit *m_remark = nullptr;
    QLineEdit *m_rec411 = nullptr;
    FlexGrid *m_grid = nullptr;
    QColor m_normalSelection;
};
