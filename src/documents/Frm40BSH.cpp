#include "documents/Frm40BSH.h"
#include "platform/core/MessageBoxService.h"

#include "context/RunContext.h"
#include "platform/db/Dialect.h"
#include "platform/db/Sql.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/SingleInstance.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kForm = QStringLiteral("Frm40BSH");

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

} // namespace

// ---------------------------------------------------------------------------

namespace {
SingleInstance g_instance;
}

Frm40BSH &Frm40BSH::obtain(QWidget *parent)
{
    return g_instance.obtain<Frm40BSH>([parent] { return new Frm40BSH(parent); });
}

void Frm40BSH::release()
{
    g_instance.release();
}

HeadItem *Frm40BSH::addField(const char *name, const QString &caption, int kind)
{
    auto *item = new HeadItem(HeadItem::Kind(kind), this);
    item->setObjectName(QLatin1String(name));
    item->setCaption(DbGateway::ChangeStrCode(caption));
    return item;
}

Frm40BSH::Frm40BSH(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(code("查询(Frm40BSH)"));
    setModal(true);

    m_invNo = addField("Inv_No", QStringLiteral("单据编号:"), HeadItem::PlainText);
    m_cbCheck = addField("Cb_Check", QStringLiteral("单据状态:"), HeadItem::List);
    m_date1 = addField("Date1", QStringLiteral("起始日期:"), HeadItem::Date);
    m_date2 = addField("Date2", QStringLiteral("终止日期:"), HeadItem::Date);
    m_formMan = addField("Form_Man", QStringLiteral("制    表:"), HeadItem::List);
    m_barMan = addField("Bar_Man", QStringLiteral("仓    库:"), HeadItem::List);
    m_procMan = addField("Proc_Man", QStringLiteral("领    料:"), HeadItem::List);
    m_checkMan = addField("Check_Man", QStringLiteral("审    核:"), HeadItem::List);
    m_frmInv = addField("Frm_INV", QStringLiteral("来料单号:"), HeadItem::PlainText);
    m_printStatus = addField("print_status", QStringLiteral("打印状态:"), HeadItem::List);
    m_frmInv->editor()->setMaxLength(50);

    m_ok = new QPushButton(code("确定"), this);
    m_ok->setObjectName(QStringLiteral("Cmd_Ok"));
    m_cancel = new QPushButton(code("取消"), this);
    m_cancel->setObjectName(QStringLiteral("Cmd_Cancel"));
    // Enter moves between fields; only a click or Space on a button acts.
    for (QPushButton *b : {m_ok, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *grid = new QGridLayout;
    HeadItem *const order[5][2] = {{m_invNo, m_cbCheck},
                                   {m_date1, m_date2},
                                   {m_formMan, m_barMan},
                                   {m_procMan, m_checkMan},
                                   {m_frmInv, m_printStatus}};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 2; ++c)
            grid->addWidget(order[r][c], r, c);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(560, 240);

    connect(m_ok, &QPushButton::clicked, this, &Frm40BSH::Cmd_Ok_MouseClick);
    connect(m_cancel, &QPushButton::clicked, this, &Frm40BSH::Cmd_Cancel_MouseClick);

    // Load.
    DressForm(this);
    installHotKeys(this, true);
    const QDate today = DbGateway::toDate(DbGateway::GetServerDate(runContext().Conn));
    m_date2->setDateValue(today);
    m_date1->setDateValue(today.addDays(-30));
    m_clickCancel = false;
    for (const char *t : {"未审核", "已审核", "已结案", "全 部"})
        m_cbCheck->addItem(code(t));
    for (const char *t : {"未列印", "已列印", "全 部"})
        m_printStatus->addItem(code(t));
    m_cbCheck->setText(QString());
    m_printStatus->setText(QString());
}

void Frm40BSH::setDefTable(const QString &table)
{
    m_defTable = table;
    LoadCombox();
}

void Frm40BSH::setDefInvOther(const QString &condition, const QList<QVariant> &values)
{
    m_defInvOther = condition;
    m_defInvOtherValues = values;
}

void Frm40BSH::LoadCombox()
{
    try {
        const std::pair<HeadItem *, const char *> fields[] = {
            {m_formMan, "Form_Man"}, {m_checkMan, "Check_Man"}, {m_procMan, "Proc_Man"}, {m_barMan, "Bar_Man"}};
        for (const auto &[field, column] : fields) {
            // Read first, so that a failing statement leaves the list as it was.
            ResultSet rs = Sql(runContext().Conn,
                               SearchPeopleQuery(m_defTable, QLatin1String(column), runContext().Conn.dialect()))
                               .select();
            field->clearList();
            DbGateway::AddRsToList(runContext().Conn, field, QString(), &rs, 0, true, false, false, true);
            field->setText(rs.isEmpty() ? QString() : rs.text(0, 0));
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("LoadCombox"));
    }
}

DocumentSearch Frm40BSH::criteria() const
{
    DocumentSearch s;
    s.DefTable = m_defTable;
    s.DefField = m_defField;
    s.DefInvDate = m_defInvDate;
    s.DefInvStatusFieldName = m_defInvStatusFieldName;
    s.DefInvOther = m_defInvOther;
    s.DefInvOtherValues = m_defInvOtherValues;
    s.Inv_No = m_invNo->text();
    s.Cb_Check = m_cbCheck->text();
    s.print_status = m_printStatus->text();
    s.Date1 = m_date1->text();
    s.Date2 = m_date2->text();
    s.Form_Man = m_formMan->text();
    s.Bar_Man = m_barMan->text();
    s.Proc_Man = m_procMan->text();
    s.Check_Man = m_checkMan->text();
    s.Frm_INV = m_frmInv->text();
    return s;
}

void Frm40BSH::Cmd_Ok_MouseClick()
{
    try {
        m_invNo->setText(m_invNo->text().trimmed());
        const SearchStatement st = BuildSearchStatement(criteria(), runContext().Conn.dialect());
        if (!st.badDateField.isEmpty()) {
            ErrorReporter::ShowErpMessage(kForm, QStringLiteral("Cmd_Ok_1"), code("请输入正确的日期!"),
                                          MessageStyle::Information);
            HeadItem *bad = st.badDateField == QLatin1String("Date1") ? m_date1 : m_date2;
            bad->setFocus();
            return;
        }
        // Read before touching the list: a failure leaves it as it was and the
        // dialog open.
        ResultSet rs = Sql(runContext().Conn, st.statement).select();
        QWidget *target = m_callControl;
        auto *head = qobject_cast<HeadItem *>(target);
        if (qobject_cast<QComboBox *>(target) || (head && head->kind() == HeadItem::List)) {
            if (head)
                head->clearList();
            DbGateway::AddRsToList(runContext().Conn, target, QString(), &rs, 0, true, false, false, true);
        }
        m_clickCancel = false;
        accept();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Ok_MouseClick"));
    }
}

void Frm40BSH::Cmd_Cancel_MouseClick()
{
    reject();
}

void Frm40BSH::reject()
{
    // Esc and the window's close button cancel as the cancel button does.
    m_clickCancel = true;
    QDialog::reject();
}
