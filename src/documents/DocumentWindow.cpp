#include "documents/DocumentWindow.h"

#include "documents/DocumentLifecycle.h"
#include "documents/Frm40BSH.h"
#include "documents/MenuMdi.h"
#include "context/RunContext.h"
#include "grid/KestoVSFlexgrid.h"
#include "lines/Frm40BMx.h"
#include "lines/UsageImportDialog.h"
#include "pickers/FrmList.h"
#include "pickers/FrmOrg.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/SingleInstance.h"
#include "reports/FrmDesignReportShow.h"
#include "services/DbGateway.h"
#include "services/DocumentNumbering.h"
#include "services/ErrorReporter.h"
#include "services/FieldLimits.h"
#include "services/HeaderLock.h"
#include "services/SystemOptions.h"
#include "services/widgets/FormDressing.h"
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
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPointer<DocumentWindow> g_windows[3];

const QString kHeaderTable = QStringLiteral("Mmst411");

QComboBox *choiceList(QWidget *parent, const QString &name)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

QLabel *caption(QWidget *parent, const QString &name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

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

DocumentWindow::DocumentWindow(const DocumentKind &kind)
    : QWidget(nullptr), m_kind(kind), m_store(runContext().Conn), m_linesRs(std::make_shared<ResultSet>())
{
    setObjectName(kind.windowName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("生产领料单(40B)"));
    buildScreen();
    Form_Load();
}

DocumentWindow::~DocumentWindow() = default;

QString DocumentWindow::heading() const
{
    return m_heading->text();
}

// ------------------------------------------------------------------ screen

PictureButton *DocumentWindow::addToolButton(const QString &name, const QString &text, char letter, const char *tag)
{
    auto *b = new PictureButton(text, this);
    b->setObjectName(name);
    const QString errorTag = QString::fromLatin1(tag);
    connect(b, &PictureButton::clicked, this, [this, letter, errorTag] {
        try {
            vcontrol(QString(QLatin1Char(letter)));
        } catch (...) {
            ErrorReporter::ReportError(objectName(), errorTag);
        }
    });
    return b;
}

void DocumentWindow::buildScreen()
{
    auto *outer = new QVBoxLayout(this);

    // Toolbar.
    auto *bar = new QHBoxLayout;
    bar->setSpacing(2);
    struct Tool
    {
        const char *name;
        const char *text;
        char letter;
        const char *tag;
    };
    static const Tool tools[] = {
        {"Cmd_Add", "新增", 'A', "Cmd_Add_MouseClick"},       {"Cmd_Edit", "修改", 'U', "CMD_EDIT_MouseClick"},
        {"Cmd_Delete", "删除", 'D', "Cmd_Delete_MouseClick"}, {"Cmd_Ok", "确定", 'Y', "Cmd_Ok_MouseClick"},
        {"cmd_cancel", "取消", 'N', "Cmd_Cancel_MouseClick"}, {"cmd_check", "审核", 'C', "Cmd_Check_MouseClick"},
        {"cmd_reset", "重置", 'R', "Cmd_Reset_MouseClick"},   {"Cmd_Find", "查询", 'F', "cmd_find_MouseClick"},
        {"Cmd_Print", "打印", 'P', "Cmd_print_MouseClick"},   {"Cmd_Preview", "预览", 'V', "Cmd_preview_MouseClick"},
        {"Cmd_Copy", "复制", 'L', "Cmd_Copy_MouseClick"},     {"Cmd_Import", "导入", 'M', "Cmd_Import_MouseClick"},
        {"Cmd_Close", "结案", 'O', "cmd_Close_MouseClick"},   {"Cmd_Help", "帮助", 'H', "cmd_Help_MouseClick"},
        {"cmd_quit", "退出", 'Q', "cmd_quit_MouseClick"},
    };
    for (const Tool &t : tools)
        bar->addWidget(addToolButton(QString::fromLatin1(t.name), QString::fromUtf8(t.text), t.letter, t.tag));
    bar->addStretch(1);
    outer->addLayout(bar);

    // Heading panel: heading, printed mark, import button.
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Picture1"));
    auto *panel = new QHBoxLayout(m_panel);
    m_heading = caption(m_panel, QStringLiteral("Label_Title"), m_kind.heading);
    QFont f = m_heading->font();
    f.setPointSize(f.pointSize() + 8);
    f.setBold(true);
    m_heading->setFont(f);
    m_printed = caption(m_panel, QStringLiteral("Label_Printed"), QStringLiteral("已打印"));
    m_printed->setStyleSheet(QStringLiteral("color: red;"));
    m_printed->hide();
    m_import = new QPushButton(m_panel);
    m_import->setObjectName(QStringLiteral("Input_Mo_Mtr"));
    panel->addWidget(m_printed);
    panel->addStretch(1);
    panel->addWidget(m_heading);
    panel->addStretch(1);
    panel->addWidget(m_import);
    outer->addWidget(m_panel);

    // Header fields.
    auto *head = new QGridLayout;
    m_invNo = choiceList(this, QStringLiteral("Inv_No"));
    m_invDate = new HeadItem(HeadItem::Date, this);
    m_invDate->setObjectName(QStringLiteral("Inv_Date"));
    m_invDate->setCaption(QStringLiteral("单据日期:"));
    m_orgName = choiceList(this, QStringLiteral("Org_Name"));
    m_browOrg = new QToolButton(this);
    m_browOrg->setObjectName(QStringLiteral("Cmd_Brow_Org"));
    m_browOrg->setText(QStringLiteral("..."));
    m_option1 = new QRadioButton(QStringLiteral("生产领料"), this);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option2 = new QRadioButton(QStringLiteral("外发领料"), this);
    m_option2->setObjectName(QStringLiteral("Option2"));
    m_pcsNo = choiceList(this, QStringLiteral("Pcs_No"));
    m_browPcs = new QToolButton(this);
    m_browPcs->setObjectName(QStringLiteral("Cmd_Brow_Pcs"));
    m_browPcs->setText(QStringLiteral("..."));
    m_stockMode = choiceList(this, QStringLiteral("Stock_Mode"));
    m_propDuty = choiceList(this, QStringLiteral("Prop_Duty"));
    auto headItem = [this](const QString &name, const QString &text) {
        auto *h = new HeadItem(HeadItem::List, this);
        h->setObjectName(name);
        h->setCaption(text);
        return h;
    };
    const QString procCaption = m_kind.type == DocumentType::Return          ? QStringLiteral("退料:")
                                : m_kind.type == DocumentType::Supplementary ? QStringLiteral("补料:")
                                                                             : QStringLiteral("领料:");
    m_procMan = headItem(QStringLiteral("Proc_Man"), procCaption);
    m_barMan = headItem(QStringLiteral("Bar_Man"), QStringLiteral("仓库:"));
    m_formMan = headItem(QStringLiteral("Form_Man"), QStringLiteral("制 表:"));
    m_checkMan = headItem(QStringLiteral("Check_Man"), QStringLiteral("审核:"));
    m_remark = new QLineEdit(this);
    m_remark->setObjectName(QStringLiteral("Remark"));
    m_rec411 = new QLineEdit(this);
    m_rec411->setObjectName(QStringLiteral("Rec_411"));
    m_rec411->setReadOnly(true);
    m_rec411->hide();

    m_orgLabel =
        caption(this, QStringLiteral("Label_Org"),
                m_kind.type == DocumentType::Return ? QStringLiteral("退料部门:") : QStringLiteral("领料部门:"));
    m_propLabel = caption(this, QStringLiteral("Label_Prop_Duty"),
                          m_kind.type == DocumentType::Return          ? QStringLiteral("退料性质:")
                          : m_kind.type == DocumentType::Supplementary ? QStringLiteral("补料性质:")
                                                                       : QStringLiteral("领料性质:"));
    auto withButton = [this](QWidget *field, QWidget *button) {
        auto *box = new QWidget(this);
        auto *l = new QHBoxLayout(box);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(2);
        l->addWidget(field, 1);
        l->addWidget(button);
        return box;
    };
    auto *options = new QWidget(this);
    auto *ol = new QHBoxLayout(options);
    ol->setContentsMargins(0, 0, 0, 0);
    ol->addWidget(m_option1);
    ol->addWidget(m_option2);

    head->addWidget(caption(this, QStringLiteral("Label_Inv_No"), QStringLiteral("单据编号:")), 0, 0);
    head->addWidget(m_invNo, 0, 1);
    head->addWidget(m_invDate, 0, 2, 1, 2);
    head->addWidget(m_orgLabel, 0, 4);
    head->addWidget(withButton(m_orgName, m_browOrg), 0, 5);
    head->addWidget(options, 1, 0, 1, 2);
    head->addWidget(caption(this, QStringLiteral("Label_Pcs_No"), QStringLiteral("外发单号:")), 1, 2);
    head->addWidget(withButton(m_pcsNo, m_browPcs), 1, 3);
    head->addWidget(caption(this, QStringLiteral("Label_Stock_Mode"), QStringLiteral("扣库存方式:")), 1, 4);
    head->addWidget(m_stockMode, 1, 5);
    head->addWidget(m_propLabel, 2, 0);
    head->addWidget(m_propDuty, 2, 1);
    head->addWidget(m_procMan, 2, 2, 1, 2);
    head->addWidget(m_barMan, 2, 4, 1, 2);
    head->addWidget(m_formMan, 3, 0, 1, 2);
    head->addWidget(m_checkMan, 3, 2, 1, 2);
    head->addWidget(caption(this, QStringLiteral("Label_Remark"), QStringLiteral("备    注")), 3, 4);
    head->addWidget(m_remark, 3, 5);
    outer->addLayout(head);

    // Typing stops at the column's length, the same on every server.
    DbGateway::limitToColumn(m_invNo->lineEdit(), QStringLiteral("Mmst411"), QStringLiteral("Inv_No"));
    DbGateway::limitToColumn(m_orgName->lineEdit(), QStringLiteral("Mmst001"), QStringLiteral("Org_Name"));
    DbGateway::limitToColumn(m_pcsNo->lineEdit(), QStringLiteral("Mmst411"), QStringLiteral("Pcs_No"));
    DbGateway::limitToColumn(m_procMan->editor(), QStringLiteral("Mmst411"), QStringLiteral("Proc_Man"));
    DbGateway::limitToColumn(m_barMan->editor(), QStringLiteral("Mmst411"), QStringLiteral("Bar_Man"));
    DbGateway::limitToColumn(m_remark, QStringLiteral("Mmst411"), QStringLiteral("Remark"));

    m_grid = new FlexGrid(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_normalSelection = m_grid->foreColorSel();
    outer->addWidget(m_grid, 1);
    resize(900, 600);

    // Picking a number shows that document.
    connect(m_invNo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        try {
            pickNumber(m_invNo->itemText(index));
        } catch (...) {
            ErrorReporter::ReportError(objectName(), QStringLiteral("Inv_No_Click"));
        }
    });
    connect(m_propDuty, &QComboBox::currentTextChanged, this, [this] { Prop_Duty_Change(); });
    connect(m_browOrg, &QToolButton::clicked, this, [this] { Cmd_Brow_Org_Click(); });
    connect(m_browPcs, &QToolButton::clicked, this, [this] { Cmd_Brow_Pcs_Click(); });
    connect(m_grid, &FlexGrid::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) { Grid1_MouseUp(button, pos); });
    connect(m_import, &QPushButton::clicked, this, [this] { Input_Mo_Mtr_Click(); });
}

// ------------------------------------------------------------------ helpers

int DocumentWindow::stockModePosition() const
{
    return listPosition(m_stockMode);
}

int DocumentWindow::propDutyPosition() const
{
    return listPosition(m_propDuty);
}

qint64 DocumentWindow::currentKey() const
{
    return m_rec411->text().trimmed().toLongLong();
}

QString DocumentWindow::headerStatus() const
{
    // No key on screen reads as a document that does not exist.
    bool ok = false;
    const qint64 key = m_rec411->text().trimmed().toLongLong(&ok);
    if (!ok)
        return QStringLiteral("9");
    return DbGateway::LookupStatus(runContext().Conn, QStringLiteral("Rec_411"), QString::number(key), kHeaderTable,
                                   QStringLiteral("Status"));
}

DocumentStatus DocumentWindow::documentStatus() const
{
    return parseDocumentStatus(headerStatus());
}

bool DocumentWindow::passesNow(const LifecycleRule &rule)
{
    if (const auto refused = DocumentLifecycle::refusal(rule, m_control.action(), documentStatus())) {
        ErrorReporter::ShowErpMessage(objectName(), refused->messageId, refused->text);
        return false;
    }
    return true;
}

bool DocumentWindow::passes(StatusGate gate)
{
    if (const auto refused = DocumentLifecycle::refusal(gate, documentStatus())) {
        ErrorReporter::ShowErpMessage(objectName(), refused->messageId, refused->text);
        return false;
    }
    return true;
}

int DocumentWindow::gridDataRows() const
{
    return std::max(0, m_grid->rows() - m_grid->fixedRows());
}

bool DocumentWindow::buttonEnabled(const QString &name) const
{
    const QWidget *b = findChild<QWidget *>(name);
    return b && b->isEnabled();
}

int DocumentWindow::ask(const QString &text, int style)
{
    const RunContext &ctx = runContext();
    return ErrorReporter::ShowErpMessage(ctx.Msg_Delete, QStringLiteral("Menu_Delete_Click_2"), text, style,
                                         ctx.Msg_Title);
}

void DocumentWindow::tell(const QString &text)
{
    ErrorReporter::ShowErpMessage(objectName(), QStringLiteral("Check_OK_1"), text);
}

void DocumentWindow::focusNext(QWidget *from)
{
    if (from)
        from->nextInFocusChain()->setFocus(Qt::TabFocusReason);
}

// ------------------------------------------------------------------ loading

void DocumentWindow::Form_Load()
{
    try {
        DressForm(this);
        m_currentArea = QStringLiteral("MAIN");
        RunContext::EnsureConnection();
        m_store = DocumentStore(runContext().Conn);
        init_form();
        SetButtonPictures(this, runContext().moduleFolder());
        installHotKeys(this, true);
        readactive();
        QString option;
        try {
            option =
                SystemOptions(runContext().Conn).value(DbGateway::ChangeStrCode(QStringLiteral("按订单用料控制领料")));
        } catch (...) {
            // An unreadable option reads as not set; the window still opens.
            ErrorReporter::ReportError(objectName(), QStringLiteral("Form_Load"));
        }
        m_orderControl = option == QLatin1String("1");
        m_import->setText(DbGateway::ChangeStrCode(m_orderControl ? QStringLiteral("导入订单Bom用量(I)")
                                                                  : QStringLiteral("导入制单用量(I)")));
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Form_Load"));
    }
}

void DocumentWindow::init_form()
{
    m_gridWrapper = std::make_unique<Kesto_VSFlexgrid>();
    m_gridWrapper->Grid(m_grid, runContext().Ini_File, true, QString(), QString(), true, QString(), false, false);
    m_gridWrapper->SetToolTip(true);
    // The export title is the in all three windows.
    m_gridWrapper->ShowExportMenu(true, DbGateway::ChangeStrCode(QStringLiteral("生产领料单")));
    m_grid->setDataMode(FlexGrid::Bound);
    m_grid->setDataSource(m_linesRs);
    m_headerFilter = HeaderFilter::nothing();
    DbGateway::AddRsToList(runContext().Conn, m_procMan, DocumentStore::requisitionersQuery(), nullptr, 0, true, false,
                           false, true);
    for (const char *text : {"按材料", "按订单", "按制单"})
        m_stockMode->addItem(DbGateway::ChangeStrCode(QString::fromUtf8(text)));
    for (const char *text : {"其它", "可转厂", "开发票", "进口", "其它类"})
        m_propDuty->addItem(DbGateway::ChangeStrCode(QString::fromUtf8(text)));
    m_propDuty->setCurrentIndex(0);
    setListPosition(m_stockMode, -1);
}

void DocumentWindow::readactive()
{
    m_reading = true;
    try {
        m_headerRs = m_store.headers(m_headerFilter, m_kind.invType());
        m_headerRs.moveFirst();
        // All three windows share the rights of program 40B.
        m_control.IniRights(runContext().Conn, runContext().User_Id, formButtons(this), QStringLiteral("40B"),
                            &m_headerRs);
        ReadShow();
        m_reading = false;
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("readactive"));
    }
}

void DocumentWindow::ReadShow()
{
    try {
        const WindowAction action = m_control.action();
        if (action == WindowAction::Add || !m_headerRs.hasCurrent()) {
            m_hasRecord = false;
            for (QLineEdit *e : {m_rec411, m_remark})
                e->clear();
            m_invNo->setEditText(QString());
            m_pcsNo->setEditText(QString());
            m_orgName->setEditText(QString());
            m_procMan->setText(QString());
            m_checkMan->setText(QString());
            m_option1->setChecked(true);
            m_invDate->setText(DbGateway::GetServerDate(runContext().Conn));
            m_barMan->setText(runContext().User_Name);
            m_formMan->setText(runContext().User_Name);
            m_printed->hide();
        } else {
            m_hasRecord = true;
            const ResultSet &rs = m_headerRs;
            m_pcsNo->setEditText(DbGateway::NullToString(rs.field(QStringLiteral("Pcs_No"))));
            const bool outsourcing = DbGateway::NullToString(rs.field(QStringLiteral("Out_Flag")),
                                                             QStringLiteral("0")) != QLatin1String("0");
            (outsourcing ? m_option2 : m_option1)->setChecked(true);
            const QString printed =
                DbGateway::NullToString(rs.field(QStringLiteral("print_status")), QStringLiteral("0"));
            m_printed->setVisible(printed == QLatin1String("1") ||
                                  printed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
            m_rec411->setText(DbGateway::NullToString(rs.field(QStringLiteral("Rec_411"))));
            m_invNo->setEditText(DbGateway::NullToString(rs.field(QStringLiteral("Inv_No"))));
            m_invDate->setText(DbGateway::FormatDateText(rs.field(QStringLiteral("Inv_Date")).isNull()
                                                             ? QVariant(DbGateway::GetServerDate(runContext().Conn))
                                                             : rs.field(QStringLiteral("Inv_Date"))));
            m_orgName->setEditText(DbGateway::NullToString(rs.field(QStringLiteral("Org_name"))));
            m_procMan->setText(DbGateway::NullToString(rs.field(QStringLiteral("Proc_Man"))));
            m_formMan->setText(DbGateway::NullToString(rs.field(QStringLiteral("Form_Man"))));
            m_checkMan->setText(DbGateway::NullToString(rs.field(QStringLiteral("Check_Man"))));
            m_barMan->setText(DbGateway::NullToString(rs.field(QStringLiteral("Bar_Man"))));
            m_remark->setText(DbGateway::NullToString(rs.field(QStringLiteral("Remark"))));
            setListPosition(
                m_stockMode,
                DbGateway::NullToString(rs.field(QStringLiteral("stock_mode")), QStringLiteral("2")).trimmed().toInt());
            setListPosition(
                m_propDuty,
                DbGateway::NullToString(rs.field(QStringLiteral("prop_duty")), QStringLiteral("0")).trimmed().toInt());
        }
        RefreshGrid(QStringLiteral("grid1"));
        Lock_Control(!(action == WindowAction::Add || action == WindowAction::Edit));
        m_control.Set_Status(headerStatus());
        m_import->setEnabled(buttonEnabled(QStringLiteral("Cmd_Edit")));
        // Approved or closed documents (and those the user may not delete) show their lines in red.
        const bool red =
            m_hasRecord && !buttonEnabled(QStringLiteral("Cmd_Delete")) && m_control.action() == WindowAction::Browse;
        m_grid->setForeColorSel(red ? QColor(255, 0, 0) : m_normalSelection);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("ReadShow"));
    }
}

void DocumentWindow::RefreshGrid(const QString &gridName)
{
    if (gridName.toUpper() != QLatin1String("GRID1"))
        return;
    const QVariant key = m_hasRecord ? m_headerRs.field(QStringLiteral("Rec_411")) : QVariant();
    *m_linesRs = m_store.lines(key);
    m_grid->setDataSource(m_linesRs);
}

void DocumentWindow::showNumber(const QString &number)
{
    int at = m_invNo->findText(number, Qt::MatchExactly);
    if (at < 0) {
        m_invNo->addItem(number);
        at = m_invNo->count() - 1;
    }
    m_invNo->setCurrentIndex(at);
    pickNumber(number);
}

void DocumentWindow::pickNumber(const QString &number)
{
    const WindowAction action = m_control.action();
    if (m_reading || action == WindowAction::Add || action == WindowAction::Edit)
        return;
    m_currentArea = QStringLiteral("MAIN");
    m_headerFilter = HeaderFilter::byNumber(number);
    readactive();
}

void DocumentWindow::Lock_Control(bool locked)
{
    try {
        m_orgName->setEnabled(!locked);
        m_browOrg->setEnabled(!locked);
        m_option1->setEnabled(!locked);
        m_option2->setEnabled(!locked);
        m_pcsNo->setEnabled(!locked);
        m_browPcs->setEnabled(!locked);
        m_stockMode->setEnabled(!locked);
        m_procMan->setLocked(locked);
        m_barMan->setLocked(locked);
        m_formMan->setLocked(true);
        m_checkMan->setLocked(true);
        m_remark->setReadOnly(locked);
        m_grid->setEnabled(locked && m_hasRecord);
        // A document with lines keeps its production or outsourcing choice.
        if (gridDataRows() > 0) {
            m_option1->setEnabled(false);
            m_option2->setEnabled(false);
            m_pcsNo->setEnabled(false);
            m_browPcs->setEnabled(false);
        }
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Lock_Control"));
    }
}

// ------------------------------------------------------------------ commands

void DocumentWindow::vcontrol(const QString &letter)
{
    m_currentArea = QStringLiteral("MAIN");
    try {
        const LifecycleRule *rule = letter.size() == 1 ? DocumentLifecycle::rule(letter.at(0).toLatin1()) : nullptr;
        if (!rule || !DocumentLifecycle::runsIn(*rule, m_control.action()))
            return;
        const WindowAction before = m_control.action();
        if (rule->during && rule->entering == Entering::AtStart)
            m_control.Action(*rule->during);

        const Step checked = checkCommand(*rule);
        if (checked != Step::Go) {
            if (checked == Step::Refuse)
                refuseCommand(*rule);
            return;
        }
        std::optional<HeaderLock> lock;
        if (rule->needsLock) {
            lock.emplace(runContext().Conn, currentKey());
            if (!lock->held()) {
                refuseCommand(*rule);
                return;
            }
            // What was checked before the question may have changed since:
            // another user can approve, reset or delete meanwhile.
            if (!passesNow(*rule)) {
                lock->release();
                refuseCommand(*rule);
                return;
            }
        }
        if (rule->during && rule->entering == Entering::WhenLocked)
            m_control.Action(*rule->during);
        runCommand(*rule, before, lock ? &*lock : nullptr);
        if (rule->keepsLock && lock)
            m_editLock.emplace(std::move(*lock));
        if (rule->next && m_control.action() != *rule->next)
            m_control.Action(*rule->next);
        afterCommand(*rule);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Vcontrol"));
        // A delete's lock went with its guard; an edit's is the window's.
        if (m_control.action() == WindowAction::Edit)
            m_editLock.reset();
    }
}

DocumentWindow::Step DocumentWindow::checkCommand(const LifecycleRule &rule)
{
    switch (rule.letter) {
    case CommandLetter::Edit:
        return Check_Inv_Status() ? Step::Go : Step::Stop;
    case CommandLetter::Ok:
        return Check_ok() ? Step::Go : Step::Stop;
    case CommandLetter::Cancel:
        return ask(QStringLiteral("真的要取消操作吗?"), MessageStyle::YesNoQuestionSecond) == MessageAnswer::Yes
                   ? Step::Go
                   : Step::Stop;
    case CommandLetter::Delete:
        if (!Check_Inv_Status())
            return Step::Stop;
        if (ask(QStringLiteral("确定要删除吗"), MessageStyle::YesNoInformationSecond) != MessageAnswer::Yes)
            return Step::Refuse;
        if (rule.during && rule.entering == Entering::WhenConfirmed)
            m_control.Action(*rule.during);
        return Check_ok() ? Step::Go : Step::Refuse;
    case CommandLetter::Check:
    case CommandLetter::Reset: {
        if (!Check_ok1())
            return Step::Refuse;
        const bool approve = rule.letter == CommandLetter::Check;
        const QString question = QStringLiteral("确认要") +
                                 (approve ? QStringLiteral("审核") : QStringLiteral("重置")) +
                                 QStringLiteral("此单据吗?");
        return ask(question, MessageStyle::OkCancelInformation) == MessageAnswer::Ok ? Step::Go : Step::Refuse;
    }
    default:
        return Step::Go;
    }
}

void DocumentWindow::refuseCommand(const LifecycleRule &rule)
{
    switch (rule.onRefusal) {
    case OnRefusal::Stay:
        break;
    case OnRefusal::Browse:
        m_control.Action(WindowAction::Browse);
        break;
    case OnRefusal::BrowseAndReread:
        m_control.Action(WindowAction::Browse);
        readactive();
        break;
    }
}

void DocumentWindow::runCommand(const LifecycleRule &rule, WindowAction before, HeaderLock *lock)
{
    switch (rule.letter) {
    case CommandLetter::Add:
        ReadShow();
        m_invNo->setEditText(Creat_No());
        m_invNo->setFocus();
        break;
    case CommandLetter::Edit:
        ReadShow();
        m_orgName->setFocus();
        break;
    case CommandLetter::Ok:
        upd_data();
        break;
    case CommandLetter::Cancel:
        if (before == WindowAction::Edit)
            m_editLock.reset();
        m_control.Action(WindowAction::Browse);
        ReadShow();
        Lock_Control(true);
        break;
    case CommandLetter::Delete: {
        // The store deletes only an open document, deciding under its own
        // transaction; whatever another user did since is told here.
        const DeleteOutcome outcome = m_store.deleteDocument(currentKey());
        m_deleteRefused = !outcome.deleted;
        if (m_deleteRefused) {
            const auto refused =
                DocumentLifecycle::refusal(rule, m_control.action(), parseDocumentStatus(outcome.status));
            tell(refused ? refused->text : QStringLiteral("此单已被他人删除!"));
        }
        break;
    }
    case CommandLetter::Check:
    case CommandLetter::Reset:
        upd_data1(*lock);
        break;
    case CommandLetter::Find:
        commandFind();
        break;
    case CommandLetter::Help:
        ShowHelp(this, objectName(), runContext().moduleFolder());
        break;
    case CommandLetter::Quit:
        close();
        break;
    case CommandLetter::Print:
    case CommandLetter::Preview:
        printDocument(rule.letter);
        break;
    default:
        // L, M and O do nothing here.
        break;
    }
}

void DocumentWindow::afterCommand(const LifecycleRule &rule)
{
    if (rule.letter == CommandLetter::Delete) {
        if (m_deleteRefused)
            readactive();
        else
            showNeighbourOfDeleted();
    }
}

bool DocumentWindow::Check_Inv_Status()
{
    try {
        return passes(StatusGate::Change);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Check_Inv_Status"));
        return false;
    }
}

void DocumentWindow::showNeighbourOfDeleted()
{
    // The user lands on the next number of the list, or the previous one
    // when the last was deleted.
    int p = m_invNo->findText(m_invNo->currentText(), Qt::MatchExactly);
    if (p != -1)
        m_invNo->removeItem(p);
    if (m_invNo->count() == 0)
        p = -1;
    else if (p >= m_invNo->count())
        p = p - 1;
    if (p == -1) {
        m_invNo->setCurrentIndex(-1);
        m_invNo->setEditText(QString());
        m_headerFilter = HeaderFilter::nothing();
        readactive();
    } else {
        m_invNo->setCurrentIndex(p);
        pickNumber(m_invNo->itemText(p));
    }
}

QString DocumentWindow::variantCode(const QString &number)
{
    // The number is written as a string literal: a quote typed into the
    // field must not end it early.
    return QStringLiteral("inv_no=") + FrmDesignReportShow::scriptLiteral(number);
}

void DocumentWindow::printDocument(char letter)
{
    // The number as the field shows it, even when typed over while browsing.
    const QString number = m_invNo->currentText();
    ScopedInstance<FrmDesignReportShow> reports(this);
    reports->setView_Price(m_control.View_Price());
    reports->setChoice(QString(QLatin1Char(letter)));
    reports->setFormId(m_kind.reportFormId);
    reports->setSetVariantCode(variantCode(number));
    ModalRunner::exec(reports.get());
}

void DocumentWindow::commandFind()
{
    ScopedInstance<Frm40BSH> search(this);
    search->setDefTable(kHeaderTable);
    search->setDefField(QStringLiteral("Inv_No"));
    search->setDefInvOther(QStringLiteral("Inv_Type = ?"), {m_kind.invType()});
    search->setCallControl(m_invNo);
    ModalRunner::exec(search.get());
    const bool cancelled = search->ClickCancel();
    search.release();
    if (cancelled)
        return;
    if (m_invNo->count() == 0) {
        m_headerFilter = {QStringLiteral("1=2"), {}};
        readactive();
    } else {
        m_invNo->setCurrentIndex(0);
        pickNumber(m_invNo->itemText(0));
    }
}

// ------------------------------------------------------------------ closing

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    try {
        const WindowAction action = m_control.action();
        if (action == WindowAction::Add || action == WindowAction::Edit) {
            const RunContext &ctx = runContext();
            if (ErrorReporter::ShowErpMessage(ctx.Msg_Quit, QStringLiteral("Menu_Delete_Click_2"),
                                              QStringLiteral("是否要退出系统"), MessageStyle::YesNoQuestion,
                                              ctx.Msg_Title) == MessageAnswer::No) {
                event->ignore();
                return;
            }
            if (action == WindowAction::Edit)
                m_editLock.reset();
        }
        event->accept();
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Form_QueryUnload"));
        event->accept();
    }
}

// ------------------------------------------------------------------ header save

bool DocumentWindow::Check_ok()
{
    try {
        const WindowAction action = m_control.action();
        if (action != WindowAction::Add && !passes(StatusGate::Save))
            return false;
        if (action == WindowAction::Delete) {
            if (ErrorReporter::CheckIdDataIsUsing(kHeaderTable, QStringLiteral("Inv_No"), m_invNo->currentText(),
                                                  false))
                return false;
            if (ErrorReporter::CheckIdDataIsUsing(kHeaderTable, QStringLiteral("Rec_411"), m_rec411->text(), true))
                return false;
            return true;
        }
        if (DbGateway::CheckIsNullString(m_invNo, QStringLiteral("请输入领料单号!")))
            return false;
        // Texts a server cannot store are refused here, not by its driver.
        for (QWidget *field :
             std::initializer_list<QWidget *>{m_invNo, m_orgName, m_pcsNo, m_procMan, m_barMan, m_remark}) {
            if (FieldLimits::hasControlCharacters(DbGateway::controlText(field))) {
                tell(FieldLimits::controlCharactersMessage());
                field->setFocus();
                return false;
            }
        }
        const Statement taken = DocumentStore::numberInUse(m_invNo->currentText().trimmed(),
                                                           action == WindowAction::Edit ? currentKey() : 0);
        QString duplicate = QStringLiteral("此领料单号已经重复!请重新输入!");
        if (DbGateway::ReturnRecCount(runContext().Conn, taken.text, duplicate, true, false, taken.values) > 0) {
            m_invNo->setFocus();
            return false;
        }
        if (DbGateway::LookupField(runContext().Conn, QStringLiteral("Mmst001"), QStringLiteral("Org_No"),
                                   QStringLiteral("Org_Name"), m_orgName->currentText())
                .isEmpty()) {
            tell(QStringLiteral("此单位不存在,请重新输入!"));
            m_orgName->setFocus();
            return false;
        }
        if (stockModePosition() < 0) {
            tell(QStringLiteral("请选择正确的扣库存方式!"));
            m_stockMode->setFocus();
            return false;
        }
        if (propDutyPosition() < 0) {
            tell(QStringLiteral("请选择正确的领料性质!"));
            m_propDuty->setFocus();
            return false;
        }
        const QString pcs = m_pcsNo->currentText().trimmed();
        if (m_option1->isChecked() && !pcs.isEmpty()) {
            tell(QStringLiteral("生产领料不须输入外发单号!"));
            m_pcsNo->setFocus();
            return false;
        }
        if (m_option2->isChecked() && pcs.isEmpty()) {
            tell(QStringLiteral("外单领料时必须输入外发单号!"));
            m_pcsNo->setFocus();
            return false;
        }
        if (m_option2->isChecked()) {
            QString none = QStringLiteral("无此外发单号!");
            const Statement order = DocumentStore::outsourcingOrder(m_pcsNo->currentText());
            if (DbGateway::ReturnRecCount(runContext().Conn, order.text, none, false, false, order.values) == 0) {
                tell(none);
                m_pcsNo->setFocus();
                return false;
            }
        }
        const QDate date = DbGateway::toDate(m_invDate->text());
        if (!date.isValid()) {
            tell(QStringLiteral("请输入正确的日期!"));
            m_invDate->setFocus();
            return false;
        }
        return DbGateway::Check_Date_Ok(date, QStringLiteral("单据日期"));
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Check_ok"));
        return false;
    }
}

QString DocumentWindow::Creat_No()
{
    try {
        const QString n = DocumentNumbering::CreateStdCode(runContext().Conn, QStringLiteral("K06013"),
                                                           QStringLiteral("inv_No"), kHeaderTable, false);
        if (n != DocumentNumbering::noNumber())
            return n;
        static const char *const natures[] = {"MV", "MQ", "MA", "MQ", "MM"};
        const int p = propDutyPosition();
        const QString nature = QString::fromLatin1(p >= 0 && p < 5 ? natures[p] : "MV");
        return DocumentNumbering::CreateDocumentNo(runContext().Conn, runContext().User_Id, kHeaderTable,
                                                   QStringLiteral("G"), nature);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Creat_No"));
        return {};
    }
}

void DocumentWindow::Prop_Duty_Change()
{
    try {
        if (m_control.action() == WindowAction::Add)
            m_invNo->setEditText(Creat_No());
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Prop_Duty_Change"));
    }
}

void DocumentWindow::upd_data()
{
    const WindowAction action = m_control.action();
    try {
        const RunContext &ctx = runContext();
        HeaderValues v;
        v.invNo = m_invNo->currentText().trimmed();
        v.invDate = DbGateway::toDate(m_invDate->text().trimmed());
        v.orgNo = DbGateway::LookupField(runContext().Conn, QStringLiteral("Mmst001"), QStringLiteral("Org_No"),
                                         QStringLiteral("Org_Name"), m_orgName->currentText());
        v.procMan = m_procMan->text().trimmed();
        v.barMan = m_barMan->text().trimmed();
        v.formMan = ctx.User_Name;
        v.remark = m_remark->text().trimmed();
        v.updName = ctx.User_Name.trimmed();
        v.updDate = DbGateway::GetServerDateTime(ctx.Conn);
        v.stockMode = stockModePosition();
        v.propDuty = propDutyPosition();
        v.pcsNo = m_pcsNo->currentText().trimmed();
        v.outsourcing = !m_option1->isChecked();
        v.invType = m_kind.invType();
        qint64 key = currentKey();
        if (action == WindowAction::Add) {
            key = m_store.insertHeader(v);
            m_invNo->addItem(m_invNo->currentText());
        } else {
            m_store.updateHeader(key, v);
            // The update wrote the lock back to 'No' itself.
            if (m_editLock)
                m_editLock->dismiss();
            m_editLock.reset();
        }
        m_headerFilter = HeaderFilter::byKey(key);
        m_store.setLinesStockMode(key, v.stockMode);
        readactive();
        Lock_Control(true);
        m_control.Action(WindowAction::Browse);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("upd_data"));
        // An edit that could not be stored gives its lock back and shows the
        // stored document again, so the window never browses holding a lock.
        if (action == WindowAction::Edit) {
            m_editLock.reset();
            m_control.Action(WindowAction::Browse);
            ReadShow();
        } else {
            m_control.Action(WindowAction::Browse);
        }
    }
}

void DocumentWindow::Cmd_Brow_Org_Click()
{
    try {
        const WindowAction action = m_control.action();
        if (action != WindowAction::Add && action != WindowAction::Edit)
            return;
        ScopedInstance<FrmOrg> picker(this);
        ModalRunner::exec(picker.get());
        const QString orgNo = picker->Org_No();
        const QString orgName = picker->Org_Name();
        picker.release();
        if (!orgNo.isEmpty()) {
            m_orgName->setEditText(orgName);
            focusNext(m_browOrg);
        }
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Cmd_Brow_Org_Click"));
    }
}

void DocumentWindow::Cmd_Brow_Pcs_Click()
{
    try {
        if (!m_option2->isChecked())
            return;
        ScopedInstance<FrmList> picker(this);
        picker->setW_Select_Data(DocumentStore::outsourcingPickerQuery());
        ModalRunner::exec(picker.get());
        const QString chosen = picker->List1();
        picker.release();
        if (!chosen.isEmpty()) {
            m_pcsNo->setEditText(chosen);
            focusNext(m_browPcs);
        }
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Cmd_Brow_Pcs_Click"));
    }
}

// ------------------------------------------------------------------ approval and reset

bool DocumentWindow::Check_ok1()
{
    try {
        if (stockModePosition() < 0) {
            tell(QStringLiteral("请选择正确的扣库存方式!"));
            return false;
        }
        // Browsing (or deleting) reads as a reset: only an approval refuses
        // what is approved already.
        const bool approving = m_control.action() == WindowAction::Check;
        if (!passes(approving ? StatusGate::Approve : StatusGate::Reset))
            return false;
        if (gridDataRows() == 0) {
            tell(QStringLiteral("此单据没有明细资料,请录入其明细!"));
            return false;
        }
        return true;
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Check_ok1"));
        return false;
    }
}

void DocumentWindow::upd_data1(HeaderLock &lock)
{
    const bool approve = m_control.action() == WindowAction::Check;
    const qint64 key =
        m_headerRs.hasCurrent() ? m_headerRs.field(QStringLiteral("Rec_411")).toLongLong() : currentKey();
    QString invNo;
    QDate date;
    try {
        invNo = DbGateway::NullToString(m_headerRs.field(QStringLiteral("Inv_No")));
        date = m_store.documentDate(invNo);
        m_rec411->setText(QString::number(key));
    } catch (...) {
        // Nothing was posted yet: give the lock back and browse again.
        ErrorReporter::ReportError(objectName(), QStringLiteral("upd_data1"));
        lock.release();
        m_control.Action(WindowAction::Browse);
        readactive();
        return;
    }
    m_panel->setEnabled(false);
    try {
        const PostingOutcome outcome = m_store.post(m_kind, approve, key, invNo, date, runContext().User_Name);
        m_panel->setEnabled(true);
        if (outcome.posted) {
            // The status update gave the lock back in the same statement.
            lock.dismiss();
        } else if (outcome.result == PostingOutcome::Result::StatusMoved) {
            // Another user approved, reset or deleted it first: nothing moved.
            const auto refused = DocumentLifecycle::refusal(approve ? StatusGate::Approve : StatusGate::Reset,
                                                            parseDocumentStatus(outcome.status));
            tell(refused ? refused->text : QStringLiteral("更新时发生错误!"));
            lock.release();
        } else {
            tell(outcome.shortageText());
            lock.release();
        }
        m_headerFilter = HeaderFilter::byKey(key);
        readactive();
    } catch (...) {
        m_panel->setEnabled(true);
        tell(QStringLiteral("更新时发生错误!"));
        lock.release();
        m_control.Action(WindowAction::Browse);
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
        m_currentArea = QStringLiteral("GRID1");
        if (!m_menu) {
            m_menu = new Menu_Mdi(this);
            connect(m_menu, &Menu_Mdi::addChosen, this, &DocumentWindow::Menu_Add_Click);
            connect(m_menu, &Menu_Mdi::editChosen, this, &DocumentWindow::Menu_Edit_Click);
            connect(m_menu, &Menu_Mdi::deleteChosen, this, &DocumentWindow::menu_delete_Click);
        }
        if (!m_invNo->currentText().isEmpty()) {
            m_menu->Menu_Add()->setEnabled(true);
            const bool lineSelected = m_grid->row() >= 1;
            m_menu->Menu_Edit()->setEnabled(lineSelected);
            // Deleting a line follows the toolbar's delete: rights and status.
            m_menu->Menu_Delete()->setEnabled(lineSelected && buttonEnabled(QStringLiteral("Cmd_Delete")));
        }
        m_menu->ShowMenu(this, m_grid->mapTo(this, pos));
        m_menu->show();
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Grid1_MouseUp"));
    }
}

void DocumentWindow::Menu_Add_Click()
{
    menu_modify(LineCommand::Add);
}

void DocumentWindow::Menu_Edit_Click()
{
    menu_modify(LineCommand::Edit);
}

void DocumentWindow::menu_delete_Click()
{
    menu_modify(LineCommand::Delete);
}

void DocumentWindow::menu_modify(LineCommand kind)
{
    try {
        m_menuKind = kind;
        if (!Check_Inv_Status())
            return;
        HeaderLock lock(runContext().Conn, currentKey());
        if (!lock.held())
            return;
        // Re-read once the lock is held: the document may have been approved
        // or deleted since the first check.
        if (!Check_Inv_Status())
            return;
        if (kind == LineCommand::Delete)
            deleteSelectedLine();
        else
            openLineDialog(kind);
        lock.release();
        Lock_Control(true);
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("menu_modify"));
        Lock_Control(true);
    }
}

void DocumentWindow::openLineDialog(LineCommand kind)
{
    LineRequest request;
    request.modify = int(kind);
    request.rec411 = DbGateway::NullToString(m_headerRs.field(QStringLiteral("Rec_411")));
    request.invType = m_kind.invType();
    request.stockMode = QString::number(stockModePosition());
    request.propDuty = QString::number(propDutyPosition());
    request.stockModePosition = stockModePosition();
    request.outsourcing = !m_option1->isChecked();
    if (kind == LineCommand::Edit) {
        const qint64 source = m_grid->row() >= 1 ? m_grid->sourceRow(m_grid->row()) : -1;
        if (source < 0)
            return;
        const ResultSet &lines = *m_linesRs;
        request.rec412 = lines.text(source, QStringLiteral("Rec_412"));
        request.rec611 = lines.text(source, QStringLiteral("rec_611"));
        static const std::pair<const char *, const char *> fields[] = {
            {"Frm_inv", "frm_inv"},   {"Mo_No", "Mo_No"},     {"Order_No", "order_no"}, {"frm_type", "frm_type"},
            {"Mtr_No", "mtr_no"},     {"Mtr_Dim", "mtr_dim"}, {"Mtr_Name", "mtr_name"}, {"Unit_Name", "unit_name"},
            {"Bar_Name", "bar_name"}, {"Mtr_Amt", "mtr_amt"}, {"Remark", "remark"},     {"Color_Name", "color_name"},
        };
        for (const auto &[field, column] : fields)
            request.fields.emplace_back(QLatin1String(field), lines.text(source, QLatin1String(column)));
        const QString mode =
            DbGateway::NullToString(lines.value(source, QStringLiteral("stock_mode")), QStringLiteral("2")).trimmed();
        request.stockModePosition = mode.toInt();
        request.stockMode = mode;
    }
    Frm40BMx dialog(this, request, this);
    ModalRunner::exec(&dialog);
}

QString DocumentWindow::outsourcingOrderNo() const
{
    return DbGateway::controlText(m_pcsNo).trimmed();
}

QString DocumentWindow::stockDeductionText() const
{
    return DbGateway::controlText(m_stockMode);
}

void DocumentWindow::linesChanged(const QString &rec412)
{
    RefreshGrid(QStringLiteral("grid1"));
    if (rec412.isEmpty() || !m_grid->dataSource())
        return;
    const ResultSet &rs = *m_grid->dataSource();
    const int column = rs.columnIndex(QStringLiteral("Rec_412"));
    if (column < 0)
        return;
    for (int r = m_grid->fixedRows(); r < m_grid->rows(); ++r) {
        const qint64 source = m_grid->sourceRow(r);
        if (source >= 0 && rs.text(source, column).compare(rec412, Qt::CaseInsensitive) == 0) {
            m_grid->setRow(r);
            m_grid->setTopRow(r);
            return;
        }
    }
}

void DocumentWindow::deleteSelectedLine()
{
    const int row = m_grid->row();
    const qint64 source = row >= 1 ? m_grid->sourceRow(row) : -1;
    if (source < 0)
        return;
    const QVariant line = m_linesRs->value(source, QStringLiteral("Rec_412"));
    if (ErrorReporter::CheckIdDataIsUsing(QStringLiteral("Mmst412"), QStringLiteral("Rec_412"), line, true))
        return;
    if (ask(QStringLiteral("确认要删除行号为 ") + QString::number(row) + QStringLiteral(" 的明细记录?"),
            MessageStyle::YesNoQuestion) != MessageAnswer::Yes)
        return;
    m_store.deleteLine(line.toLongLong());
    RefreshGrid(QStringLiteral("GRID1"));
}

void DocumentWindow::Input_Mo_Mtr_Click()
{
    const qint64 key = currentKey();
    try {
        if (!Check_Inv_Status())
            return;
        HeaderLock lock(runContext().Conn, key);
        if (!lock.held())
            return;
        if (!Check_Inv_Status())
            return;
        // The lines as they are in the database now, not as the grid last showed them.
        if (m_store.lines(key).rowCount() >= 1) {
            const RunContext &ctx = runContext();
            if (ErrorReporter::ShowErpMessage(ctx.Msg_Delete, QStringLiteral("Menu_Delete_Click_2"),
                                              QStringLiteral("本单下已有资料,继续导入将删除本单下的资料,是否要继续?"),
                                              MessageStyle::YesNoQuestionSecond) != MessageAnswer::Yes)
                return;
            m_store.deleteLines(key);
            RefreshGrid(QStringLiteral("GRID1"));
        }
        UsageImportCall call;
        call.caption = DbGateway::ChangeStrCode(m_orderControl ? QStringLiteral("导入订单Bom用量(Frm40BMx4)")
                                                               : QStringLiteral("导入制单用量(Frm40BMx4)"));
        call.propDuty = QString::number(propDutyPosition());
        call.orderControl = m_orderControl;
        call.production = m_option1->isChecked();
        call.stockMode = stockModePosition();
        call.pcsNo = m_pcsNo->currentText().trimmed();
        call.rec411 = key;
        runUsageImport(*this, this, call);
        m_store.fillMissingLineStockModes(key);
        RefreshGrid(QStringLiteral("GRID1"));
    } catch (...) {
        // The lock went with its guard: the document is not left locked.
        ErrorReporter::ReportError(objectName(), QStringLiteral("Input_Mo_Mtr_Click"));
    }
}
