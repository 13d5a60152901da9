#include "reports/FrmDesignReportSQL.h"

#include "context/RunContext.h"
#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"
#include "reports/FrmDesignSQL.h"
#include "reports/ReportStore.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kForm = QStringLiteral("FrmDesignReportSQL");
SingleInstance g_instance;

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

QLabel *label(QWidget *parent, const char *text)
{
    return new QLabel(code(text), parent);
}

QPushButton *button(QWidget *parent, const char *name, const char *text)
{
    auto *b = new QPushButton(code(text), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

// Ctrl+A alone, as the key is released.
bool isSelectAll(const QKeyEvent *e)
{
    return (e->key() == Qt::Key_A) && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

} // namespace

FrmDesignReportSQL &FrmDesignReportSQL::obtain(QWidget *parent)
{
    return g_instance.obtain<FrmDesignReportSQL>([parent] { return new FrmDesignReportSQL(parent); });
}

void FrmDesignReportSQL::release()
{
    g_instance.release();
}

FrmDesignReportSQL::FrmDesignReportSQL(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(code("编辑报表设定"));
    setModal(true);

    m_formNameBox = new QLineEdit(this);
    m_formNameBox->setObjectName(QStringLiteral("TxtFormName"));
    m_formNameBox->setReadOnly(true);
    m_reportName = new QLineEdit(this);
    m_reportName->setObjectName(QStringLiteral("TxtReportName"));
    m_reportName->setMaxLength(30);
    m_caption = new QLineEdit(this);
    m_caption->setObjectName(QStringLiteral("txtReportCaption"));
    m_caption->setMaxLength(60);
    m_orderFields = new QLineEdit(this);
    m_orderFields->setObjectName(QStringLiteral("TxtOrderFields"));
    m_orderFields->setMaxLength(255);
    m_orderFields->setToolTip(code("排序字段是返回记录集後的字段名称,如字段用了别名则排序字段必须写字段别名"));
    m_sql = new QPlainTextEdit(this);
    m_sql->setObjectName(QStringLiteral("txtSQL"));
    m_sql->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_basic = new QComboBox(this);
    m_basic->setObjectName(QStringLiteral("basic_sql"));
    m_basic->setEditable(true);
    m_getBasic = button(this, "CmdGetBasicSql", "提取基础数据源");
    m_editor = button(this, "CmdSql", "编辑器");
    m_variables = button(this, "CmdShowInitCode", "变量(&V)");
    m_variables->setToolTip(code("查看已变义的一些变量"));
    m_save = button(this, "CmdSave", "保存(&S)");
    m_cancel = button(this, "CmdCancel", "取消(&X)");

    auto *fields = new QGridLayout;
    fields->addWidget(label(this, "程序代号:"), 0, 0);
    fields->addWidget(m_formNameBox, 0, 1);
    fields->addWidget(label(this, "报表代号:"), 0, 2);
    fields->addWidget(m_reportName, 0, 3);
    fields->addWidget(label(this, "报表标题:"), 1, 0);
    fields->addWidget(m_caption, 1, 1, 1, 3);
    fields->addWidget(label(this, "排序字段:"), 2, 0);
    fields->addWidget(m_orderFields, 2, 1, 1, 3);
    fields->addWidget(label(this, "基础数据源"), 3, 0);
    fields->addWidget(m_basic, 3, 1, 1, 2);
    fields->addWidget(m_getBasic, 3, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_editor);
    buttons->addWidget(m_variables);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(label(this, "SQL语句:"));
    layout->addWidget(m_sql, 1);
    layout->addLayout(buttons);
    resize(twipsToPixels(9600), twipsToPixels(7200));

    connect(m_save, &QPushButton::clicked, this, &FrmDesignReportSQL::CmdSave_Click);
    connect(m_cancel, &QPushButton::clicked, this, &FrmDesignReportSQL::CmdCancel_Click);
    connect(m_editor, &QPushButton::clicked, this, &FrmDesignReportSQL::CmdSql_Click);
    connect(m_variables, &QPushButton::clicked, this, &FrmDesignReportSQL::CmdShowInitCode_Click);
    connect(m_getBasic, &QPushButton::clicked, this, &FrmDesignReportSQL::CmdGetBasicSql_Click);
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    try {
        m_userCancel = true;
        DressForm(this);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmDesignReportSQL::setDesignFormName(const QString &formName)
{
    m_formName = formName;
    m_formNameBox->setText(formName);
}

void FrmDesignReportSQL::setReportName(const QString &reportName)
{
    m_reportName->setText(reportName);
}

void FrmDesignReportSQL::setReportCaption(const QString &caption)
{
    m_reportCaption = caption;
    m_caption->setText(caption);
}

void FrmDesignReportSQL::setOrderFields(const QString &fields)
{
    m_orderFields->setText(fields);
}

void FrmDesignReportSQL::setSQL(const QString &sql)
{
    m_sql->setPlainText(sql);
}

QString FrmDesignReportSQL::SQL() const
{
    return m_sql->toPlainText();
}

void FrmDesignReportSQL::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    try {
        loadBasicSources();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmDesignReportSQL::loadBasicSources()
{
    m_basic->clear();
    m_basic->addItems(ReportStore(runContext().Conn).basicSources(m_formName));
    m_basic->setEditText(m_basic->count() > 0 ? m_basic->itemText(0) : QString());
}

bool FrmDesignReportSQL::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease && isSelectAll(static_cast<QKeyEvent *>(event))) {
        try {
            m_sql->selectAll();
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Form_KeyUp"));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmDesignReportSQL::CmdGetBasicSql_Click()
{
    try {
        const auto script = ReportStore(runContext().Conn).basicSourceScript(m_formName, m_basic->currentText());
        if (script)
            m_sql->setPlainText(*script);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdGetBasicSql_Click"));
    }
}

void FrmDesignReportSQL::CmdSql_Click()
{
    try {
        ScopedInstance<FrmDesignSQL> builder(this);
        builder->setSQL(m_sql->toPlainText());
        ModalRunner::exec(builder.get());
        m_sql->setPlainText(builder->SQL());
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdSql_Click"));
    }
}

void FrmDesignReportSQL::CmdShowInitCode_Click()
{
    try {
        MessageRequest request;
        request.form = kForm;
        request.messageId = QStringLiteral("CmdShowInitCode_Click_1");
        request.text = m_variantCode;
        request.style = MessageStyle::Ok;
        MessageBoxService::instance().show(request);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdShowInitCode_Click"));
    }
}

bool FrmDesignReportSQL::refuse(const QString &messageId, const QString &text, QWidget *focus)
{
    ErrorReporter::ShowErpMessage(kForm, messageId, text, MessageStyle::Information);
    focus->setFocus();
    return false;
}

void FrmDesignReportSQL::CmdSave_Click()
{
    try {
        const QString caption = m_caption->text();
        if (caption.trimmed().isEmpty()) {
            refuse(QStringLiteral("CmdSave_Click_1"), code("必须输入报表标题,标题用於区分不同的报表!"), m_caption);
            return;
        }
        if (m_reportName->text().trimmed().isEmpty()) {
            refuse(QStringLiteral("CmdSave_Click_2"), code("必须输入报表代号,该代号用於关联报表文件!"), m_reportName);
            return;
        }
        const ReportStore store(runContext().Conn);
        if (!m_editMode || caption != m_reportCaption) {
            if (store.countCaption(m_formName, caption) > 0) {
                refuse(m_editMode ? QStringLiteral("CmdSave_Click_3") : QStringLiteral("CmdSave_Click_4"),
                       code("该报表标题已经存在,请重新输入!"), m_caption);
                return;
            }
        }
        ReportEdit edit;
        edit.formName = m_formName;
        edit.reportName = m_reportName->text();
        edit.caption = caption;
        edit.script = m_sql->toPlainText();
        edit.orderFields = m_orderFields->text();
        edit.userName = runContext().User_Name;
        edit.savedAt = Environment::now();
        if (!store.save(edit, m_editMode ? std::optional<QString>(m_reportCaption) : std::nullopt))
            throw ErpError(3021, kForm,
                           QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                          "Requested operation requires a current record."));
        m_userCancel = false;
        close();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdSave_Click"));
    }
}

void FrmDesignReportSQL::CmdCancel_Click()
{
    try {
        m_userCancel = true;
        close();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdCancel_Click"));
    }
}
