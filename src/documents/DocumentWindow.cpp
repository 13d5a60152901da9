#include "documents/DocumentWindow.h"

#include "context/RunContext.h"
#include "documents/Frm40BSH.h"
#include "documents/HistoryWindow.h"
#include "documents/MenuMdi.h"
#include "grid/KestoVSFlexgrid.h"
#include "lines/Frm40BMx.h"
#include "lines/UsageImportDialog.h"
#include "pickers/FrmList.h"
#include "pickers/FrmOrg.h"
#include "platform/core/Environment.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/QtMessageBoxService.h"
#include "platform/ui/SingleInstance.h"
#include "reports/FrmDesignReportShow.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/KestoControlUi.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPointer<DocumentWindow> g_windows[3];

// Typed text selects a position only when it is one of the list's items.
int listPosition(const QComboBox *combo)
{
    return combo->findText(combo->currentText(), Qt::MatchExactly);
}

void setListPosition(QComboBox *combo, int position)
{
    combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
    if (combo->currentIndex() < 0)
        combo->setEditText(QString());
}

} // namespace

// ------------------------------------------------------------------ instances

DocumentWindow *DocumentWindow::instance(const DocumentKind &kind)
{
    return g_windows[int(kind.type)].data();
}

DocumentWindow *DocumentWindow::obtain(const DocumentKind &kind)
{
    if (!g_windows[int(kind.type)])
        g_windows[int(kind.type)] = new DocumentWindow(kind);
    return g_windows[int(kind.type)].data();
}

DocumentWindow::DocumentWindow(const DocumentKind &kind) : QWidget(nullptr), m_kind(kind)
{
    // Messages in real boxes, unless the host (or a test) installed its own service.
    QtMessageBoxService::installIfNone();
    setObjectName(kind.windowName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("生产领料单(40B)"));
    buildScreen();
    Form_Load();
}

DocumentWindow::~DocumentWindow() = default;

QString DocumentWindow::heading() const
{
    return m_ui.heading->text();
}

// ------------------------------------------------------------------ screen

void DocumentWindow::buildScreen()
{
    m_ui.build(this, m_kind, [this](const QString &letter, const QString &tag) {
        try {
            vcontrol(letter);
        } catch (...) {
            ErrorReporter::ReportError(objectName(), tag);
        }
    });
    m_normalSelection = m_ui.grid->foreColorSel();
    // The document's history, from anywhere in the window.
    auto *history = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    history->setObjectName(QStringLiteral("Key_History"));
    connect(history, &QShortcut::activated, this, &DocumentWindow::showHistory);

    // Picking a number shows that document.
    connect(m_ui.invNo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        try {
            m_session->pickNumber(m_ui.invNo->itemText(index));
        } catch (...) {
            ErrorReporter::ReportError(objectName(), QStringLiteral("Inv_No_Click"));
        }
    });
    connect(m_ui.propDuty, &QComboBox::currentTextChanged, this, [this] {
        if (m_session)
            m_session->Prop_Duty_Change();
    });
    connect(m_ui.browOrg, &QToolButton::clicked, this, [this] { Cmd_Brow_Org_Click(); });
    connect(m_ui.browPcs, &QToolButton::clicked, this, [this] { Cmd_Brow_Pcs_Click(); });
    connect(m_ui.grid, &FlexGrid::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) { Grid1_MouseUp(button, pos); });
    connect(m_ui.import, &QPushButton::clicked, this, [this] { m_session->Input_Mo_Mtr_Click(); });
}

// ------------------------------------------------------------------ loading

void DocumentWindow::Form_Load()
{
    try {
        DressForm(this);
        m_ui.fitToTexts();
        RunContext::EnsureConnection();
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Form_Load"));
    }
    // The session works on the connection and user the window was opened
    // with, whatever a later ShowFrm writes into the run context.
    const RunContext &ctx = runContext();
    SessionContext session;
    session.conn = ctx.Conn;
    session.userId = ctx.User_Id;
    session.userName = ctx.User_Name;
    session.confirmForm = ctx.Msg_Delete;
    session.quitForm = ctx.Msg_Quit;
    session.promptTitle = ctx.Msg_Title;
    session.today = [] { return Environment::today(); };
    session.runTag = ctx.Run_Tag;
    session.workstation = DbGateway::GetMachineName();
    SessionView &view = *this;
    m_session = std::make_unique<DocumentSession>(session, m_kind, view, formButtons(this));
    try {
        init_form();
        SetButtonPictures(this, ctx.moduleFolder());
        installHotKeys(this, true);
        m_session->load();
        m_ui.import->setText(DbGateway::ChangeStrCode(m_session->orderControl() ? QStringLiteral("导入订单Bom用量(I)")
                                                                                : QStringLiteral("导入制单用量(I)")));
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Form_Load"));
    }
}

void DocumentWindow::init_form()
{
    m_gridWrapper = std::make_unique<Kesto_VSFlexgrid>();
    m_gridWrapper->Grid(m_ui.grid, runContext().Ini_File, true, QString(), QString(), true, QString(), false, false);
    m_gridWrapper->SetToolTip(true);
    // The export title is the in all three windows.
    m_gridWrapper->ShowExportMenu(true, DbGateway::ChangeStrCode(QStringLiteral("生产领料单")));
    m_ui.grid->setDataMode(FlexGrid::Bound);
    m_ui.grid->setDataSource(m_session->linesRs());
    DbGateway::AddRsToList(m_session->connection(), m_ui.procMan, DocumentStore::requisitionersQuery(), nullptr, 0,
                           true, false, false, true);
    for (const char *text : {"按材料", "按订单", "按制单"})
        m_ui.stockMode->addItem(DbGateway::ChangeStrCode(QString::fromUtf8(text)));
    for (const char *text : {"其它", "可转厂", "开发票", "进口", "其它类"})
        m_ui.propDuty->addItem(DbGateway::ChangeStrCode(QString::fromUtf8(text)));
    m_ui.propDuty->setCurrentIndex(0);
    setListPosition(m_ui.stockMode, -1);
}

// ------------------------------------------------------------------ what the session reads and shows

int DocumentWindow::stockModePosition() const
{
    return listPosition(m_ui.stockMode);
}

int DocumentWindow::propDutyPosition() const
{
    return listPosition(m_ui.propDuty);
}

HeaderInput DocumentWindow::input() const
{
    HeaderInput in;
    in.invNo = m_ui.invNo->currentText();
    in.invDate = m_ui.invDate->text();
    in.orgName = m_ui.orgName->currentText();
    in.outsourcing = !m_ui.option1->isChecked();
    in.pcsNo = m_ui.pcsNo->currentText();
    in.stockMode = stockModePosition();
    in.propDuty = propDutyPosition();
    in.procMan = m_ui.procMan->text();
    in.barMan = m_ui.barMan->text();
    in.remark = m_ui.remark->text();
    return in;
}

void DocumentWindow::showDocument()
{
    const HeaderRecord &r = m_session->record();
    m_ui.rec411->setText(r.shown ? QString::number(r.rec411) : QString());
    m_ui.invNo->setEditText(r.invNo);
    m_ui.pcsNo->setEditText(r.pcsNo);
    m_ui.orgName->setEditText(r.orgName);
    m_ui.procMan->setText(r.procMan);
    m_ui.checkMan->setText(r.checkMan);
    m_ui.remark->setText(r.remark);
    (r.outsourcing ? m_ui.option2 : m_ui.option1)->setChecked(true);
    m_ui.invDate->setText(r.invDate);
    m_ui.barMan->setText(r.barMan);
    m_ui.formMan->setText(r.formMan);
    m_ui.printed->setVisible(r.printed);
    if (r.stockMode)
        setListPosition(m_ui.stockMode, *r.stockMode);
    if (r.propDuty)
        setListPosition(m_ui.propDuty, *r.propDuty);
    m_ui.grid->setDataSource(m_session->linesRs());
    const WindowAction action = m_session->action();
    Lock_Control(!(action == WindowAction::Add || action == WindowAction::Edit));
    m_ui.import->setEnabled(buttonEnabled(QStringLiteral("Cmd_Edit")));
    // Approved or closed documents (and those the user may not delete) show their lines in red.
    const bool red = r.shown && !buttonEnabled(QStringLiteral("Cmd_Delete")) && action == WindowAction::Browse;
    m_ui.grid->setForeColorSel(red ? QColor(255, 0, 0) : m_normalSelection);
}

void DocumentWindow::showLines()
{
    m_ui.grid->setDataSource(m_session->linesRs());
}

void DocumentWindow::Lock_Control(bool locked)
{
    try {
        for (QWidget *w : std::initializer_list<QWidget *>{m_ui.orgName, m_ui.browOrg, m_ui.option1, m_ui.option2,
                                                           m_ui.pcsNo, m_ui.browPcs, m_ui.stockMode})
            w->setEnabled(!locked);
        m_ui.procMan->setLocked(locked);
        m_ui.barMan->setLocked(locked);
        m_ui.formMan->setLocked(true);
        m_ui.checkMan->setLocked(true);
        m_ui.remark->setReadOnly(locked);
        m_ui.grid->setEnabled(locked && m_session->hasRecord());
        // A document with lines keeps its production or outsourcing choice.
        if (gridDataRows() > 0)
            for (QWidget *w : std::initializer_list<QWidget *>{m_ui.option1, m_ui.option2, m_ui.pcsNo, m_ui.browPcs})
                w->setEnabled(false);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Lock_Control"));
    }
}

void DocumentWindow::proposeNumber(const QString &number)
{
    m_ui.invNo->setEditText(number);
}

void DocumentWindow::numberStored(const QString &typed)
{
    m_ui.invNo->addItem(typed);
}

void DocumentWindow::documentRemoved()
{
    // The user lands on the next number of the list, or the previous one
    // when the last was deleted.
    int p = m_ui.invNo->findText(m_ui.invNo->currentText(), Qt::MatchExactly);
    if (p != -1)
        m_ui.invNo->removeItem(p);
    if (m_ui.invNo->count() == 0)
        p = -1;
    else if (p >= m_ui.invNo->count())
        p = p - 1;
    if (p == -1) {
        m_ui.invNo->setCurrentIndex(-1);
        m_ui.invNo->setEditText(QString());
        m_session->showNothing();
    } else {
        m_ui.invNo->setCurrentIndex(p);
        m_session->pickNumber(m_ui.invNo->itemText(p));
    }
}

int DocumentWindow::ask(const MessageRequest &question)
{
    QString text = question.text;
    int style = question.style;
    QString title = question.title;
    return m_session->reporter().show(question.form, question.messageId, text, style, title);
}

void DocumentWindow::tell(const MessageRequest &message)
{
    // A message without an id is shown as it is: no stored text replaces it.
    if (message.messageId.isEmpty())
        MessageBoxService::instance().show(message);
    else
        ask(message);
}

QWidget *DocumentWindow::fieldWidget(HeaderField field) const
{
    switch (field) {
    case HeaderField::Inv_No:
        return m_ui.invNo;
    case HeaderField::Inv_Date:
        return m_ui.invDate;
    case HeaderField::Org_Name:
        return m_ui.orgName;
    case HeaderField::Stock_Mode:
        return m_ui.stockMode;
    case HeaderField::Prop_Duty:
        return m_ui.propDuty;
    case HeaderField::Pcs_No:
        return m_ui.pcsNo;
    case HeaderField::Proc_Man:
        return m_ui.procMan;
    case HeaderField::Bar_Man:
        return m_ui.barMan;
    case HeaderField::Remark:
        return m_ui.remark;
    case HeaderField::None:
        break;
    }
    return nullptr;
}

void DocumentWindow::focus(HeaderField field)
{
    if (QWidget *w = fieldWidget(field))
        w->setFocus();
}

void DocumentWindow::reportFailure(const QString &form, const QString &tag, const QString &detail)
{
    m_session->reporter().report(form, tag, detail);
}

// ------------------------------------------------------------------ commands and dialogs

void DocumentWindow::vcontrol(const QString &letter)
{
    m_session->vcontrol(letter);
}

void DocumentWindow::RefreshGrid(const QString &gridName)
{
    m_session->RefreshGrid(gridName);
}

void DocumentWindow::showNumber(const QString &number)
{
    int at = m_ui.invNo->findText(number, Qt::MatchExactly);
    if (at < 0) {
        m_ui.invNo->addItem(number);
        at = m_ui.invNo->count() - 1;
    }
    m_ui.invNo->setCurrentIndex(at);
    m_session->pickNumber(number);
}

SearchOutcome DocumentWindow::search(const SearchRequest &request)
{
    ScopedInstance<Frm40BSH> dialog(this);
    dialog->setDefTable(request.table);
    dialog->setDefField(request.field);
    dialog->setDefInvOther(request.otherCondition.text, request.otherCondition.values);
    dialog->setCallControl(m_ui.invNo);
    ModalRunner::exec(dialog.get());
    SearchOutcome outcome;
    outcome.cancelled = dialog->ClickCancel();
    dialog.release();
    if (!outcome.cancelled && m_ui.invNo->count() > 0) {
        m_ui.invNo->setCurrentIndex(0);
        outcome.found = true;
        outcome.first = m_ui.invNo->itemText(0);
    }
    return outcome;
}

bool DocumentWindow::openReports(const ReportRequest &request, QString &printedReport)
{
    ScopedInstance<FrmDesignReportShow> reports(this);
    reports->setView_Price(request.viewPrice);
    reports->setChoice(request.choice);
    reports->setFormId(request.formId);
    reports->setSetVariantCode(request.variantCode);
    bool printed = false;
    connect(reports.get(), &FrmDesignReportShow::printCameOut, this, [&printed] { printed = true; });
    ModalRunner::exec(reports.get());
    printedReport = reports->printedCaption();
    return printed;
}

void DocumentWindow::openLineDialog(const LineRequest &request)
{
    Frm40BMx dialog(this, request, this);
    ModalRunner::exec(&dialog);
}

void DocumentWindow::openUsageImport(const UsageImportCall &call)
{
    runUsageImport(*this, this, call);
}

void DocumentWindow::showHelp()
{
    ShowHelp(this, objectName(), runContext().moduleFolder());
}

void DocumentWindow::closeWindow()
{
    close();
}

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    if (m_session->Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

void DocumentWindow::Cmd_Brow_Org_Click()
{
    try {
        const WindowAction action = m_session->action();
        if (action != WindowAction::Add && action != WindowAction::Edit)
            return;
        ScopedInstance<FrmOrg> picker(this);
        ModalRunner::exec(picker.get());
        const QString orgNo = picker->Org_No();
        const QString chosenName = picker->Org_Name();
        picker.release();
        if (!orgNo.isEmpty()) {
            m_ui.orgName->setEditText(chosenName);
            focusNext(m_ui.browOrg);
        }
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Cmd_Brow_Org_Click"));
    }
}

void DocumentWindow::Cmd_Brow_Pcs_Click()
{
    try {
        if (!m_ui.option2->isChecked())
            return;
        ScopedInstance<FrmList> picker(this);
        picker->setW_Select_Data(DocumentStore::outsourcingPickerQuery());
        ModalRunner::exec(picker.get());
        const QString chosen = picker->List1();
        picker.release();
        if (!chosen.isEmpty()) {
            m_ui.pcsNo->setEditText(chosen);
            focusNext(m_ui.browPcs);
        }
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Cmd_Brow_Pcs_Click"));
    }
}

// ------------------------------------------------------------------ lines

Menu_Mdi *DocumentWindow::lineMenu() const
{
    return m_menu.data();
}

void DocumentWindow::Grid1_MouseUp(Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::RightButton)
        return;
    try {
        m_session->setCurrentArea(QStringLiteral("GRID1"));
        if (!m_menu) {
            m_menu = new Menu_Mdi(this);
            connect(m_menu, &Menu_Mdi::addChosen, this, &DocumentWindow::Menu_Add_Click);
            connect(m_menu, &Menu_Mdi::editChosen, this, &DocumentWindow::Menu_Edit_Click);
            connect(m_menu, &Menu_Mdi::deleteChosen, this, &DocumentWindow::menu_delete_Click);
            connect(m_menu, &Menu_Mdi::historyChosen, this, &DocumentWindow::showHistory);
        }
        if (!m_ui.invNo->currentText().isEmpty()) {
            m_menu->Menu_Add()->setEnabled(true);
            const bool lineSelected = m_ui.grid->row() >= 1;
            m_menu->Menu_Edit()->setEnabled(lineSelected);
            // Deleting a line follows the toolbar's delete: rights and status.
            m_menu->Menu_Delete()->setEnabled(lineSelected && buttonEnabled(QStringLiteral("Cmd_Delete")));
        }
        // Reading the history changes nothing: offered whenever a document is shown.
        m_menu->Menu_History()->setEnabled(m_session->hasRecord());
        m_menu->ShowMenu(this, m_ui.grid->mapTo(this, pos));
        m_menu->show();
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Grid1_MouseUp"));
    }
}

void DocumentWindow::Menu_Add_Click()
{
    lineCommand(LineCommand::Add);
}

void DocumentWindow::Menu_Edit_Click()
{
    lineCommand(LineCommand::Edit);
}

void DocumentWindow::menu_delete_Click()
{
    lineCommand(LineCommand::Delete);
}

void DocumentWindow::showHistory()
{
    try {
        if (!m_session->hasRecord())
            return;
        HistoryWindow history(heading(), m_session->record().invNo, m_session->history(), this);
        ModalRunner::exec(&history);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("showHistory"));
    }
}

void DocumentWindow::lineCommand(LineCommand kind)
{
    const int row = m_ui.grid->row();
    m_session->menu_modify(kind, row, row >= 1 ? m_ui.grid->sourceRow(row) : -1);
}

QString DocumentWindow::outsourcingOrderNo() const
{
    return DbGateway::controlText(m_ui.pcsNo).trimmed();
}

QString DocumentWindow::stockDeductionText() const
{
    return DbGateway::controlText(m_ui.stockMode);
}

void DocumentWindow::linesChanged(const QString &rec412)
{
    RefreshGrid(QStringLiteral("grid1"));
    if (rec412.isEmpty() || !m_ui.grid->dataSource())
        return;
    const ResultSet &rs = *m_ui.grid->dataSource();
    const int column = rs.columnIndex(QStringLiteral("Rec_412"));
    if (column < 0)
        return;
    for (int r = m_ui.grid->fixedRows(); r < m_ui.grid->rows(); ++r) {
        const qint64 source = m_ui.grid->sourceRow(r);
        if (source >= 0 && rs.text(source, column).compare(rec412, Qt::CaseInsensitive) == 0) {
            m_ui.grid->setRow(r);
            m_ui.grid->setTopRow(r);
            return;
        }
    }
}

// ------------------------------------------------------------------ helpers

int DocumentWindow::gridDataRows() const
{
    return std::max(0, m_ui.grid->rows() - m_ui.grid->fixedRows());
}

bool DocumentWindow::buttonEnabled(const QString &name) const
{
    const QWidget *b = findChild<QWidget *>(name);
    return b && b->isEnabled();
}

void DocumentWindow::focusNext(QWidget *from)
{
    if (from)
        from->nextInFocusChain()->setFocus(Qt::TabFocusReason);
}
