#include "lines/Frm40BMx.h"

#include "context/RunContext.h"
#include "pickers/FrmBar_Tree.h"
#include "pickers/FrmList.h"
#include "pickers/FrmcolorList.h"
#include "platform/core/ErpError.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/SingleInstance.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/FieldLimits.h"
#include "services/widgets/FormDressing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kForm = QStringLiteral("Frm40BMx");

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

// True when the choice already lists exactly these entries, in this order.
bool holds(const QComboBox *combo, const QStringList &items)
{
    if (combo->count() != items.size())
        return false;
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) != items.at(i))
            return false;
    return true;
}

// Replaces a choice's list and leaves the given text in it. A list of
// thousands of manufacturing orders that has not changed since the last
// refill is not built again.
void setList(QComboBox *combo, const QStringList &items, const QString &text)
{
    const QSignalBlocker block(combo);
    if (!holds(combo, items)) {
        combo->clear();
        combo->addItems(items);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void setChoiceReadOnly(QComboBox *combo, bool readOnly)
{
    if (combo->lineEdit())
        combo->lineEdit()->setReadOnly(readOnly);
}

} // namespace

Frm40BMx::Frm40BMx(LineHost *host, const LineRequest &request, QWidget *parent)
    : QDialog(parent), m_host(host), m_conn(request.conn.isValid() ? request.conn : runContext().Conn),
      m_userName(request.conn.isValid() ? request.who.userName : runContext().User_Name), m_lists(m_conn),
      m_store(m_conn)
{
    setObjectName(kForm);
    setModal(true);
    buildScreen();
    Form_Load();
    m_modify = request.modify;
    W_Inv_type = request.invType;
    Rec_411 = request.rec411;
    W_STOCK_MODE = request.stockMode;
    W_Prop_Duty = request.propDuty;
    Out_Flag = request.outsourcing;
    Rec_412 = request.rec412;
    Rec_611 = request.rec611;
    Who = request.who;
    for (const auto &[field, text] : request.fields)
        setFieldText(field, text);
    setStockModePosition(request.stockModePosition);
}

Frm40BMx::~Frm40BMx() = default;

// ------------------------------------------------------------------ screen

QToolButton *Frm40BMx::browseButton(const QString &name)
{
    auto *b = new QToolButton(m_frame);
    b->setObjectName(name);
    b->setText(QStringLiteral("..."));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QComboBox *Frm40BMx::addChoice(const QString &name, const QString &caption, int row, int column, QToolButton *browse)
{
    auto *grid = static_cast<QGridLayout *>(m_frame->layout());
    auto *label = new QLabel(caption, m_frame);
    label->setObjectName(QStringLiteral("Label_") + name);
    auto *combo = new QComboBox(m_frame);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->installEventFilter(this);
    grid->addWidget(label, row, column);
    if (browse) {
        auto *box = new QWidget(m_frame);
        auto *l = new QHBoxLayout(box);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(2);
        l->addWidget(combo, 1);
        l->addWidget(browse);
        grid->addWidget(box, row, column + 1);
    } else {
        grid->addWidget(combo, row, column + 1);
    }
    return combo;
}

HeadItem *Frm40BMx::addItem(const QString &name, const QString &caption, int row, int column, bool browse)
{
    auto *item = new HeadItem(browse ? HeadItem::Browse : HeadItem::PlainText, m_frame);
    item->setObjectName(name);
    item->setCaption(caption);
    static_cast<QGridLayout *>(m_frame->layout())->addWidget(item, row, column, 1, 2);
    return item;
}

void Frm40BMx::buildScreen()
{
    auto *outer = new QVBoxLayout(this);
    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("FrameMain"));
    new QGridLayout(m_frame);
    outer->addWidget(m_frame);

    m_browFrmInv = browseButton(QStringLiteral("cmd_frminv_brow"));
    m_browMtr = browseButton(QStringLiteral("Cmd_Mtr_Brow"));
    m_browOrder = browseButton(QStringLiteral("Cmd_Brow_Order"));
    m_browMo = browseButton(QStringLiteral("cmd_Browse_Mo"));
    m_browBar = browseButton(QStringLiteral("Cmd_Browse_Bar"));

    // The fields in the order a line is entered, the source receipt first
    // (where a saved line leaves the focus for the next one).
    m_frmInv = addChoice(QStringLiteral("Frm_inv"), code("来料单号:"), 0, 0, m_browFrmInv);
    m_frmType = addChoice(QStringLiteral("frm_type"), code("来料类型:"), 0, 2);
    m_mtrNo = addChoice(QStringLiteral("Mtr_No"), code("材料代号:"), 1, 0, m_browMtr);
    m_orderNo = addChoice(QStringLiteral("Order_No"), code("订单代号:"), 1, 2, m_browOrder);
    m_moNo = addChoice(QStringLiteral("Mo_No"), code("制    号:"), 2, 0, m_browMo);
    m_barName = addChoice(QStringLiteral("Bar_Name"), code("仓    别:"), 2, 2, m_browBar);
    m_mtrName = addItem(QStringLiteral("Mtr_Name"), code("材料名称:"), 3, 0);
    m_mtrDim = addItem(QStringLiteral("Mtr_Dim"), code("材料规格:"), 3, 2);
    m_colorName = addItem(QStringLiteral("Color_Name"), code("颜    色:"), 4, 2, true);
    m_totalAmt = addItem(QStringLiteral("Total_Amt"), code("总 用 量:"), 5, 0);
    m_getAmt = addItem(QStringLiteral("Get_amt"), code("需求数量:"), 5, 2);
    m_useAmt = addItem(QStringLiteral("Use_amt"), code("已领数量:"), 6, 0);
    m_barAmt = addItem(QStringLiteral("bar_amt"), code("库存数量:"), 6, 2);
    m_mtrAmt = addItem(QStringLiteral("Mtr_Amt"), code("领料数量:"), 7, 0);
    m_remark = addItem(QStringLiteral("Remark"), code("备    注:"), 7, 2);
    // The unit has no caption of its own: it reads beside the quantity's
    // ("领料数量: [ 12 ] 米"), as narrow as a unit's name.
    m_unitName = new HeadItem(HeadItem::PlainText, m_frame);
    m_unitName->setObjectName(QStringLiteral("Unit_Name"));
    m_unitName->setCaption(QString());
    m_unitName->layout()->setSpacing(0);
    {
        auto *grid = static_cast<QGridLayout *>(m_frame->layout());
        grid->removeWidget(m_mtrAmt);
        auto *box = new QWidget(m_frame);
        auto *l = new QHBoxLayout(box);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(2);
        l->addWidget(m_mtrAmt, 3);
        l->addWidget(m_unitName, 1);
        grid->addWidget(box, 7, 0, 1, 2);
    }

    // Typing stops at the column's length, the same on every server.
    DbGateway::limitToColumn(m_orderNo->lineEdit(), QStringLiteral("Mmst412"), QStringLiteral("Order_No"));
    DbGateway::limitToColumn(m_moNo->lineEdit(), QStringLiteral("Mmst412"), QStringLiteral("Mo_No"));
    DbGateway::limitToColumn(m_mtrNo->lineEdit(), QStringLiteral("mmst611"), QStringLiteral("Mtr_No"));
    DbGateway::limitToColumn(m_frmInv->lineEdit(), QStringLiteral("Mmst412"), QStringLiteral("Frm_Inv"));
    DbGateway::limitToColumn(m_barName->lineEdit(), QStringLiteral("mmst903"), QStringLiteral("Bar_Name"));
    DbGateway::limitToColumn(m_colorName->editor(), QStringLiteral("mmst605"), QStringLiteral("Color_Name"));
    DbGateway::limitToColumn(m_remark->editor(), QStringLiteral("Mmst412"), QStringLiteral("Remark"));

    // The line's stock-deduction mode travels in a choice the user never sees.
    m_stockModeLine = new QFrame(m_frame);
    m_stockModeLine->setObjectName(QStringLiteral("Line1"));
    m_stockModeLine->setFrameShape(QFrame::HLine);
    static_cast<QGridLayout *>(m_frame->layout())->addWidget(m_stockModeLine, 8, 0, 1, 4);
    m_stockMode = addChoice(QStringLiteral("Stock_Mode"), code("扣库存方式:"), 9, 0);
    m_stockModeLabel = m_frame->findChild<QLabel *>(QStringLiteral("Label_Stock_Mode"));

    auto *bottom = new QHBoxLayout;
    m_chkCopy = new QCheckBox(code("复制(&C)"), this);
    m_chkCopy->setObjectName(QStringLiteral("Chk_Copy"));
    m_chkAdd = new QCheckBox(code("继续新增(&A)"), this);
    m_chkAdd->setObjectName(QStringLiteral("Chk_Add"));
    m_ok = new PictureButton(code("确定"), this);
    m_ok->setObjectName(QStringLiteral("Cmd_Ok"));
    m_cancel = new PictureButton(code("取消"), this);
    m_cancel->setObjectName(QStringLiteral("cmd_cancel"));
    bottom->addWidget(m_chkCopy);
    bottom->addWidget(m_chkAdd);
    bottom->addStretch(1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);
    outer->addLayout(bottom);

    m_mtrAmt->editor()->installEventFilter(this);

    // Tab follows the fields in the order a line is entered; what the dialog
    // fills in itself is read, not entered, and is left out.
    for (HeadItem *h : {m_mtrName, m_mtrDim, m_unitName, m_totalAmt, m_getAmt, m_useAmt})
        h->editor()->setFocusPolicy(Qt::ClickFocus);
    m_tabFields = {m_frmInv,
                   m_frmType,
                   m_mtrNo,
                   m_orderNo,
                   m_moNo,
                   m_barName,
                   m_colorName->editor(),
                   m_barAmt->editor(),
                   m_mtrAmt->editor(),
                   m_remark->editor(),
                   m_chkCopy,
                   m_chkAdd,
                   m_ok,
                   m_cancel};
    for (qsizetype i = 1; i < m_tabFields.size(); ++i)
        QWidget::setTabOrder(m_tabFields.at(i - 1), m_tabFields.at(i));
    // A choice from a list moves on, as a picker does. A combo box also
    // reports a typed text that matches an entry as chosen when it is left;
    // the focus has moved on by then and stays where the user put it.
    for (QComboBox *c : {m_orderNo, m_moNo, m_mtrNo, m_frmInv, m_frmType, m_barName})
        connect(c, &QComboBox::activated, this, [this, c] {
            if (c->hasFocus())
                focusAfter(c);
        });

    connect(m_ok, &PictureButton::clicked, this, &Frm40BMx::Cmd_Ok_MouseClick);
    connect(m_cancel, &PictureButton::clicked, this, &QDialog::reject);
    connect(m_browOrder, &QToolButton::clicked, this, &Frm40BMx::Cmd_Brow_Order_Click);
    connect(m_browMo, &QToolButton::clicked, this, &Frm40BMx::cmd_Browse_Mo_Click);
    connect(m_browMtr, &QToolButton::clicked, this, &Frm40BMx::cmd_mtr_brow_Click);
    connect(m_browFrmInv, &QToolButton::clicked, this, &Frm40BMx::cmd_frminv_brow_Click);
    connect(m_browBar, &QToolButton::clicked, this, &Frm40BMx::Cmd_Browse_Bar_Click);
    connect(m_colorName, &HeadItem::browseClicked, this, &Frm40BMx::color_name_UserRefer);
}

// ------------------------------------------------------------------ members

void Frm40BMx::setStockModePosition(int position)
{
    m_stockMode->setCurrentIndex(position >= 0 && position < m_stockMode->count() ? position : -1);
}

int Frm40BMx::stockModePosition() const
{
    return m_stockMode->findText(m_stockMode->currentText(), Qt::MatchExactly);
}

void Frm40BMx::setFieldText(const QString &name, const QString &text)
{
    QWidget *w = findChild<QWidget *>(name);
    if (auto *c = qobject_cast<QComboBox *>(w)) {
        const QSignalBlocker block(c);
        c->setEditText(text);
    } else if (auto *h = qobject_cast<HeadItem *>(w)) {
        h->setText(text);
    }
}

QString Frm40BMx::fieldText(const QString &name) const
{
    const QWidget *w = findChild<QWidget *>(name);
    return w ? DbGateway::controlText(w) : QString();
}

// ------------------------------------------------------------------ loading

void Frm40BMx::Form_Load()
{
    try {
        // Pictures first: the dressing then sets the fonts and texts over them.
        SetButtonPictures(this, runContext().moduleFolder());
        DressForm(this);
        installHotKeys(this, true);
        for (const char *text : {"按材料", "按订单", "按制单"})
            m_stockMode->addItem(code(text));
        m_stockMode->setCurrentIndex(-1);
        m_issueByOrderUsage = m_lists.issueByOrderUsage();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void Frm40BMx::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Activate();
}

void Frm40BMx::Form_Activate()
{
    try {
        m_stockMode->hide();
        m_stockModeLabel->hide();
        m_stockModeLine->hide();
        if (m_activated)
            return;
        m_loading = true;
        const QString kindWord = W_Inv_type == QLatin1String("1")   ? code("生产领料")
                                 : W_Inv_type == QLatin1String("2") ? code("生产退料")
                                                                    : code("生产补料");
        FillList();
        const QString modeWord = m_modify == 0   ? code("新增")
                                 : m_modify == 2 ? code("修改")
                                 : m_modify == 3 ? code("查看")
                                                 : QString();
        if (modeWord.isEmpty()) {
            ErrorReporter::ReportError(
                kForm, QStringLiteral("Modify"), {},
                ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Modify"), code("不正确的修改状态标志")));
        } else {
            setWindowTitle(modeWord + kindWord + code("明细(") + kForm + QLatin1Char(')'));
        }
        const bool isReturn = W_Inv_type == QLatin1String("2");
        m_mtrAmt->setCaption(isReturn ? code("退料数量:") : code("领料数量:"));
        m_totalAmt->setVisible(!isReturn);
        m_getAmt->setVisible(!isReturn);
        ReadShow();
        m_loading = false;
        m_activated = true;
    } catch (...) {
        m_loading = false;
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Activate"));
    }
}

void Frm40BMx::ReadShow()
{
    try {
        if (m_modify == 0) {
            Lock_Control(false);
            if (m_chkCopy->isChecked()) {
                m_mtrAmt->setText(QString());
            } else {
                for (QComboBox *c : {m_frmInv, m_frmType, m_mtrNo, m_orderNo, m_barName, m_moNo}) {
                    const QSignalBlocker block(c);
                    c->setEditText(QString());
                }
                for (HeadItem *h : {m_mtrName, m_mtrDim, m_mtrAmt, m_unitName, m_colorName})
                    h->setText(QString());
            }
        } else {
            Lock_Control(m_modify != 2);
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("ReadShow"));
    }
}

void Frm40BMx::Lock_Control(bool locked)
{
    try {
        for (HeadItem *h : {m_mtrName, m_mtrDim, m_unitName, m_useAmt, m_totalAmt, m_getAmt})
            h->setLocked(true);
        m_colorName->setLocked(locked);
        setChoiceReadOnly(m_orderNo, !m_issueByOrderUsage);
        setChoiceReadOnly(m_moNo, m_issueByOrderUsage);
        m_browMo->setEnabled(!m_issueByOrderUsage);
        setChoiceReadOnly(m_mtrNo, locked);
        m_frame->setEnabled(!locked);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Lock_Control"));
    }
}

// ------------------------------------------------------------------ lists

LineInputs Frm40BMx::inputs() const
{
    LineInputs in;
    in.invType = W_Inv_type;
    in.outsourcing = Out_Flag;
    if (m_host)
        in.pcsNo = m_host->outsourcingOrderNo();
    in.stockMode = W_STOCK_MODE;
    in.modify = m_modify;
    in.rec412 = Rec_412;
    in.issueByOrderUsage = m_issueByOrderUsage;
    in.loading = m_loading;
    in.mtrNo = m_mtrNo->currentText();
    in.orderNo = m_orderNo->currentText();
    in.moNo = m_moNo->currentText();
    in.frmInv = m_frmInv->currentText();
    in.frmType = m_frmType->currentText();
    in.barName = m_barName->currentText();
    for (int i = 0; i < m_mtrNo->count(); ++i)
        in.mtrNoList << m_mtrNo->itemText(i);
    in.sourceSupplierNo = m_sourceSupplierNo;
    return in;
}

LineEntry Frm40BMx::entry() const
{
    LineEntry e;
    static_cast<LineInputs &>(e) = inputs();
    e.rec411 = Rec_411;
    e.mtrAmt = m_mtrAmt->text();
    e.remark = m_remark->text();
    e.colorName = m_colorName->text();
    if (m_host)
        e.headerStockModeText = m_host->stockDeductionText();
    e.propDuty = W_Prop_Duty;
    e.lineStockMode = stockModePosition();
    e.userName = m_userName;
    e.who = Who;
    return e;
}

bool Frm40BMx::refusedControlCharacters()
{
    // A text no server can keep is refused before anything is looked up
    // with it, as the save refuses it. The focus going back to the field,
    // and the other leavings the same event brings, tell it only once.
    if (m_refusing)
        return true;
    for (QComboBox *field : {m_frmInv, m_frmType, m_mtrNo, m_orderNo, m_moNo, m_barName}) {
        if (!FieldLimits::hasControlCharacters(field->currentText()))
            continue;
        m_refusing = true;
        QTimer::singleShot(0, this, [this] { m_refusing = false; });
        ErrorReporter::ShowErpMessage(kForm, QStringLiteral("Check_OK_1"), FieldLimits::controlCharactersMessage());
        field->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return false;
}

void Frm40BMx::FillList()
{
    if (m_filling)
        return;
    m_filling = true;
    LineInputs in = inputs();
    FillResult out;
    try {
        m_lists.fill(in, out);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("FillList"));
    }
    // The steps before a failure show what they found; the later fields keep
    // what they held.
    using Step = FillResult::Step;
    if (out.done(Step::MaterialKey))
        Rec_611 = out.rec611;
    if (out.done(Step::MoList) && out.moNoList)
        setList(m_moNo, *out.moNoList, in.moNo);
    if (out.done(Step::MaterialList)) {
        if (out.mtrNoList)
            setList(m_mtrNo, *out.mtrNoList, in.mtrNo);
        else
            setFieldText(QStringLiteral("Mtr_No"), in.mtrNo);
    }
    if (out.done(Step::ReceiptList))
        setList(m_frmInv, out.frmInvList, in.frmInv);
    if (out.done(Step::TypeList))
        setList(m_frmType, out.frmTypeList, in.frmType);
    if (out.done(Step::TypeCode))
        m_sourceTypeCode = out.sourceTypeCode;
    if (out.done(Step::LocationList))
        setList(m_barName, out.barNameList, in.barName);
    if (out.done(Step::Description)) {
        Rec_611 = out.rec611;
        m_mtrName->setText(out.mtrName);
        m_mtrDim->setText(out.mtrDim);
        m_unitName->setText(out.unitName);
    }
    if (out.done(Step::TotalUsage) && out.totalAmt)
        m_totalAmt->setText(*out.totalAmt);
    if (out.done(Step::Issued)) {
        if (out.getAmt)
            m_getAmt->setText(*out.getAmt);
        m_useAmt->setText(out.useAmt);
    }
    if (out.done(Step::SourceStock))
        m_barAmt->setText(out.barAmt);
    if (out.done(Step::Supplier))
        m_sourceSupplierNo = out.sourceSupplierNo;
    m_filling = false;
}

void Frm40BMx::Get_Supl_No()
{
    try {
        m_sourceSupplierNo =
            m_lists.receiptSupplier(m_frmType->currentText(), T(QStringLiteral("Frm_inv")), m_sourceSupplierNo);
        m_supplierPropertyCode = m_lists.supplierPropertyCode(m_sourceSupplierNo);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Get_Supl_No"));
    }
}

void Frm40BMx::Mo_No_Validate()
{
    try {
        if (m_issueByOrderUsage)
            return;
        const QString mo = T(QStringLiteral("Mo_No"));
        if (mo.isEmpty()) {
            setFieldText(QStringLiteral("Order_No"), QString());
            return;
        }
        const QString order = m_lists.orderOfMo(mo);
        if (!order.isEmpty()) {
            setFieldText(QStringLiteral("Order_No"), order);
            FillList();
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Mo_No_Validate"));
    }
}

void Frm40BMx::Mtr_Amt_KeyPress()
{
    try {
        if (W_Inv_type == QLatin1String("1"))
            m_mtrAmt->setText(m_getAmt->text());
        else if (W_Inv_type == QLatin1String("2"))
            m_mtrAmt->setText(m_useAmt->text());
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Mtr_Amt_KeyPress"));
    }
}

bool Frm40BMx::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == m_mtrAmt->editor() &&
        static_cast<QKeyEvent *>(event)->text() == QLatin1String("=")) {
        Mtr_Amt_KeyPress();
        return true; // the "=" itself never reaches the quantity
    }
    if (event->type() == QEvent::FocusOut) {
        // Leaving for a list's popup or a picker is no leaving of the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || m_filling)
            return QDialog::eventFilter(watched, event);
        const bool field = watched == m_frmInv || watched == m_barName || watched == m_orderNo ||
                           watched == m_mtrNo || watched == m_moNo;
        if (field && refusedControlCharacters())
            return QDialog::eventFilter(watched, event);
        if (watched == m_frmInv || watched == m_barName || watched == m_orderNo) {
            FillList();
        } else if (watched == m_mtrNo) {
            Get_Supl_No();
            if (!T(QStringLiteral("Mtr_No")).isEmpty())
                FillList();
        } else if (watched == m_moNo) {
            Mo_No_Validate();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ------------------------------------------------------------------ pickers

QStringList Frm40BMx::pickFromList(const Statement &query)
{
    if (refusedControlCharacters())
        return {};
    ScopedInstance<FrmList> picker(this);
    picker->setW_Select_Data(query.text, query.values);
    ModalRunner::exec(picker.get());
    QStringList chosen;
    for (int i = 0; i < FrmList::kListColumns; ++i)
        chosen << picker->List(i);
    picker.release();
    if (chosen.value(0).isEmpty())
        return {};
    return chosen;
}

void Frm40BMx::focusAfter(QWidget *field)
{
    const qsizetype at = m_tabFields.indexOf(field);
    for (qsizetype i = at + 1; at >= 0 && i < m_tabFields.size(); ++i) {
        QWidget *next = m_tabFields.at(i);
        if (next->isEnabled() && next->isVisibleTo(this)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void Frm40BMx::Cmd_Brow_Order_Click()
{
    try {
        const QStringList row = pickFromList(m_lists.orderPicker(inputs()));
        if (row.isEmpty())
            return;
        setFieldText(QStringLiteral("Order_No"), row.at(0));
        FillList();
        focusAfter(m_orderNo);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Brow_Order_Click"));
    }
}

void Frm40BMx::cmd_Browse_Mo_Click()
{
    try {
        const QStringList row = pickFromList(m_lists.moPicker(inputs()));
        if (!row.isEmpty()) {
            setFieldText(QStringLiteral("Mo_No"), row.at(0));
            setFieldText(QStringLiteral("Order_No"), row.at(1));
            FillList();
        }
        Mo_No_Validate();
        if (!row.isEmpty())
            focusAfter(m_moNo);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("cmd_Browse_Mo_Click"));
    }
}

void Frm40BMx::cmd_mtr_brow_Click()
{
    try {
        const QStringList row = pickFromList(m_lists.materialPicker(inputs()));
        if (row.isEmpty())
            return;
        setFieldText(QStringLiteral("Frm_inv"), row.at(0));
        setFieldText(QStringLiteral("frm_type"), row.at(1));
        setFieldText(QStringLiteral("Mtr_No"), row.at(3));
        setFieldText(QStringLiteral("Bar_Name"), row.at(8));
        setFieldText(QStringLiteral("Color_Name"), row.at(6));
        setFieldText(QStringLiteral("Total_Amt"), row.at(7));
        FillList();
        focusAfter(m_mtrNo);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("cmd_mtr_brow_Click"));
    }
}

void Frm40BMx::cmd_frminv_brow_Click()
{
    try {
        const QStringList row = pickFromList(m_lists.receiptPicker(inputs()));
        if (row.isEmpty())
            return;
        setFieldText(QStringLiteral("Frm_inv"), row.at(0));
        setFieldText(QStringLiteral("frm_type"), row.at(1));
        FillList();
        focusAfter(m_frmInv);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("cmd_frminv_brow_Click"));
    }
}

void Frm40BMx::Cmd_Browse_Bar_Click()
{
    try {
        ScopedInstance<FrmBar_Tree> picker(this);
        ModalRunner::exec(picker.get());
        const QString name = picker->Bar_Name();
        picker.release();
        if (!name.isEmpty())
            setFieldText(QStringLiteral("Bar_Name"), name);
        focusAfter(m_barName);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Browse_Bar_Click"));
    }
}

void Frm40BMx::color_name_UserRefer()
{
    try {
        ScopedInstance<FrmcolorList> picker(this);
        const QString colour = m_colorName->text().trimmed();
        if (!colour.isEmpty())
            picker->setG_color_Filter(QStringLiteral("mmst605.Color_Name = ?"), {colour});
        picker->setShow_Ename(true);
        ModalRunner::exec(picker.get());
        const QString chosen = picker->Get_color_name();
        picker.release();
        // Closing the picker without a choice keeps the colour typed.
        if (!chosen.isEmpty())
            m_colorName->setText(chosen);
        focusAfter(m_colorName->editor());
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("color_name_UserRefer"));
    }
}

// ------------------------------------------------------------------ save

void Frm40BMx::showRefusal(const LineRefusal &refusal)
{
    ErrorReporter::ShowErpMessage(refusal.formName, refusal.messageId, refusal.text, refusal.style, refusal.title);
    QWidget *target = nullptr;
    switch (refusal.focus) {
    case LineField::Frm_inv:
        target = m_frmInv;
        break;
    case LineField::Mtr_No:
        target = m_mtrNo;
        break;
    case LineField::Order_No:
        target = m_orderNo;
        break;
    case LineField::Mo_No:
        target = m_moNo;
        break;
    case LineField::Color_Name:
        target = m_colorName->editor();
        break;
    case LineField::Bar_Name:
        target = m_barName;
        break;
    case LineField::Mtr_Amt:
        target = m_mtrAmt->editor();
        break;
    case LineField::Remark:
        target = m_remark->editor();
        break;
    case LineField::None:
        break;
    }
    if (target) {
        const QSignalBlocker block(target);
        target->setFocus(Qt::OtherFocusReason);
    }
}

void Frm40BMx::Cmd_Ok_MouseClick()
{
    if (m_modify == 3) {
        accept();
        return;
    }
    if (m_modify != 0 && m_modify != 2) {
        ErrorReporter::ReportError(
            kForm, QStringLiteral("Modify"), {},
            ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Modify"), code("不正确的修改状态标志")));
        return;
    }
    const LineEntry line = entry();
    CheckedLine checked;
    try {
        checked = m_store.check(line);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Check_ok"));
        return;
    }
    try {
        const LineSaveOutcome outcome = m_store.save(line, checked);
        if (outcome.kind == LineSaveOutcome::Refused) {
            showRefusal(outcome.refusal);
            // The document or the line moved meanwhile: the window shows what is stored now.
            if (outcome.linesMoved && m_host)
                m_host->linesChanged(QString());
            return;
        }
        m_sourceSupplierNo = outcome.sourceSupplierNo;
        m_supplierPropertyCode = outcome.supplierPropertyCode;
        if (outcome.kind != LineSaveOutcome::Written)
            return;
        Rec_412 = QString::number(outcome.rec412);
        if (m_host)
            m_host->linesChanged(Rec_412);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Ok_MouseClick"));
        return;
    }
    if (m_chkAdd->isChecked()) {
        m_modify = 0;
        ReadShow();
        m_frmInv->setFocus(Qt::OtherFocusReason);
    } else {
        accept();
    }
}
