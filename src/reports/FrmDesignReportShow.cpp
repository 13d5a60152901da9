#include "reports/FrmDesignReportShow.h"

#include "context/RunContext.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/report/ReportComponent.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"
#include "reports/FrmDesignReportSQL.h"
#include "reports/KestoDesign.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kForm = QStringLiteral("FrmDesignReportShow");
SingleInstance g_instance;

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

} // namespace

FrmDesignReportShow &FrmDesignReportShow::obtain(QWidget *parent)
{
    return g_instance.obtain<FrmDesignReportShow>([parent] { return new FrmDesignReportShow(parent); });
}

void FrmDesignReportShow::release()
{
    g_instance.release();
}

bool FrmDesignReportShow::exists()
{
    return g_instance.exists();
}

void FrmDesignReportShow::setPrintObserver(PrintObserver observer)
{
    ReportPrinting::setObserver(std::move(observer));
}

FrmDesignReportShow::FrmDesignReportShow(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(code("打印报表(FrmReportShow)"));
    setModal(true);

    m_grid = new FlexGrid(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setFixedRows(0);
    m_grid->setFixedCols(0);
    m_grid->setCols(1);
    m_grid->setRows(0);
    m_grid->setSelectionStyle(FlexGrid::SelectByRow);
    m_grid->setColWidth(0, 5200);

    m_ok = new QPushButton(code("确定"), this);
    m_ok->setObjectName(QStringLiteral("Cmd_Ok"));
    m_cancel = new QPushButton(code("取消"), this);
    m_cancel->setObjectName(QStringLiteral("Cmd_Cancel"));
    for (QPushButton *b : {m_ok, m_cancel})
        b->setAutoDefault(false);

    m_menu = new QMenu(code("报表管理"), this);
    m_menu->setObjectName(QStringLiteral("mnuReport"));
    m_add = m_menu->addAction(code("新增报表(&A)"));
    m_add->setObjectName(QStringLiteral("mnuAddReport"));
    m_edit = m_menu->addAction(code("修改报表(&E)"));
    m_edit->setObjectName(QStringLiteral("mnuEditReport"));
    m_delete = m_menu->addAction(code("删除报表(&D)"));
    m_delete->setObjectName(QStringLiteral("mnuDeleteReport"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(twipsToPixels(5800), twipsToPixels(4800));

    connect(m_ok, &QPushButton::clicked, this, &FrmDesignReportShow::Cmd_Ok_Click);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        try {
            close();
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Cancel_Click"));
        }
    });
    connect(m_grid, &FlexGrid::dblClick, this, [this] {
        try {
            Cmd_Ok_Click();
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_DblClick"));
        }
    });
    connect(m_grid, &FlexGrid::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos) { Grid1_MouseUp(button, pos); });
    connect(m_add, &QAction::triggered, this, &FrmDesignReportShow::mnuAddReport_Click);
    connect(m_edit, &QAction::triggered, this, &FrmDesignReportShow::mnuEditReport_Click);
    connect(m_delete, &QAction::triggered, this, &FrmDesignReportShow::mnuDeleteReport_Click);

    DressForm(this);
    m_design = new Kesto_Design(runContext().Conn, this);
}

void FrmDesignReportShow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

void FrmDesignReportShow::Form_Load()
{
    try {
        m_design->setOperForm(m_operForm ? m_operForm.data() : this);
        m_design->ClearScriptObject(false);
        LoadReportSet();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmDesignReportShow::LoadReportSet()
{
    try {
        m_grid->setRows(0);
        m_rows = ReportStore(runContext().Conn).reports(m_formId);
        const ResultSet &rows = m_rows;
        m_grid->setRows(int(rows.rowCount()));
        for (qint64 r = 0; r < rows.rowCount(); ++r)
            m_grid->setTextMatrix(int(r), 0, rows.text(r, QStringLiteral("report_caption")));
        if (m_grid->rows() > 0)
            m_grid->setCurrentCell(0, 0);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("LoadReportSet"));
    }
}

QString FrmDesignReportShow::scriptLiteral(const QString &text)
{
    return ReportPrinting::scriptLiteral(text);
}

QString FrmDesignReportShow::variablesText(const QString &variantCode, bool viewPrice, const QString &filter)
{
    return ReportPrinting::variablesText(variantCode, viewPrice, filter);
}

QString FrmDesignReportShow::variablesText() const
{
    return variablesText(m_variantCode, m_viewPrice, m_filter);
}

int FrmDesignReportShow::currentRow() const
{
    const int row = m_grid->row();
    return row >= 0 && row < m_grid->rows() ? row : -1;
}

QString FrmDesignReportShow::currentCaption() const
{
    const int row = currentRow();
    return row < 0 ? QString() : m_grid->textMatrix(row, 0);
}

bool FrmDesignReportShow::selectCaption(const QString &caption)
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    for (int r = 0; r < m_grid->rows(); ++r) {
        const bool chosen = caption.isEmpty() ? r < m_rows.rowCount() && !ReportStore::definition(m_rows, r).basicSource
                                              : m_grid->textMatrix(r, 0) == caption;
        if (chosen) {
            m_grid->setCurrentCell(r, 0);
            return true;
        }
    }
    return false;
}

void FrmDesignReportShow::tell(const QString &messageId, const QString &text)
{
    ErrorReporter::ShowErpMessage(kForm, messageId, text, MessageStyle::Information);
}

void FrmDesignReportShow::Cmd_Ok_Click()
{
    try {
        const int row = currentRow();
        if (row < 0) {
            tell(QStringLiteral("Cmd_Ok_1"), code("您没有选择要打印的报表,请先选择!"));
            return;
        }
        // Read again: another user may have deleted or changed it since the list was loaded.
        const auto report = ReportStore(runContext().Conn).find(m_formId, m_grid->textMatrix(row, 0));
        if (!report) {
            tell(QStringLiteral("Cmd_Ok_2"), code("您选择的报表已不存在!"));
            LoadReportSet();
            return;
        }
        ReportJob job;
        job.choice = m_choice;
        job.allowPrint = m_allowPrint;
        job.companyName = runContext().Comp_Cname;
        job.variables = variablesText();
        job.prepared = m_rptForm;
        // The list steps aside while the script runs and the report prints.
        if (report->type != 1)
            hide();
        RunContext &ctx = runContext();
        const ReportOutcome outcome =
            ReportPrinting::print(ctx.Conn, ctx.moduleFolder(), *m_design, *report, job, this);
        if (!outcome.printed) {
            tell(outcome.messageId, outcome.text);
            return;
        }
        if (outcome.output) {
            m_printedCaption = report->caption;
            emit printCameOut();
        }
        close();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Ok_Click"));
    }
}

void FrmDesignReportShow::Grid1_MouseUp(Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::RightButton)
        return;
    try {
        bool editable = false;
        if (currentRow() >= 0) {
            const auto report = ReportStore(runContext().Conn).find(m_formId, currentCaption());
            editable = report && report->type != 1 && !report->basicSource;
        }
        m_edit->setVisible(editable);
        m_delete->setVisible(editable);
        m_add->setVisible(true);
        m_menu->popup(m_grid->viewport()->mapToGlobal(pos));
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_MouseUp"));
    }
}

void FrmDesignReportShow::mnuAddReport_Click()
{
    try {
        {
            ScopedInstance<FrmDesignReportSQL> editor(this);
            editor->setDesignFormName(m_formId);
            editor->setSetVariantCode(variablesText());
            editor->setReportName(QStringLiteral("U"));
            editor->setEditMode(false);
            ModalRunner::exec(editor.get());
        }
        LoadReportSet();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("mnuAddReport_Click"));
    }
}

void FrmDesignReportShow::mnuEditReport_Click()
{
    try {
        const auto report = ReportStore(runContext().Conn).find(m_formId, currentCaption());
        if (!report) {
            tell(QStringLiteral("mnuEditReport_Click_1"), code("您选择的报表现已不存在,无法进入修改状态!"));
            return;
        }
        {
            ScopedInstance<FrmDesignReportSQL> editor(this);
            editor->setSetVariantCode(variablesText());
            editor->setDesignFormName(m_formId);
            editor->setReportName(report->reportName);
            editor->setReportCaption(report->caption);
            editor->setOrderFields(report->orderFields);
            editor->setSQL(report->script);
            editor->setEditMode(true);
            ModalRunner::exec(editor.get());
        }
        LoadReportSet();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("mnuEditReport_Click"));
    }
}

void FrmDesignReportShow::mnuDeleteReport_Click()
{
    try {
        const QString caption = currentCaption();
        if (ErrorReporter::ShowErpMessage(kForm, QStringLiteral("mnuAddReport_Click_1"),
                                          code("确认要删除您选择的报表?"),
                                          MessageStyle::YesNoQuestionSecond) == MessageAnswer::No)
            return;
        const qint64 deleted = ReportStore(runContext().Conn).remove(m_formId, caption);
        LoadReportSet();
        // A report another user deleted first was not deleted here.
        if (deleted == 0)
            tell(QStringLiteral("mnuAddReport_Click_3"), code("您选择的报表已不存在!"));
        else
            tell(QStringLiteral("mnuAddReport_Click_2"), code("成功删除报表!"));
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("mnuDeleteReport_Click"));
    }
}

void FrmDesignReportShow::done(int result)
{
    try {
        m_rptForm.clear();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Unload"));
    }
    QDialog::done(result);
    // The shared instance goes with the window; this one is deleted once its
    // caller is back in the event loop.
    g_instance.forget(this);
    deleteLater();
}
