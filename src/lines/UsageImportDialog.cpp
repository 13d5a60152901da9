#include "lines/UsageImportDialog.h"

#include "context/RunContext.h"
#include "grid/KestoVSFlexgrid.h"
#include "lines/UsageImportStore.h"
#include "pickers/FrmList.h"
#include "platform/core/Environment.h"
#include "platform/core/MessageBoxService.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/SingleInstance.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kForm = QStringLiteral("Frm40BMx4");
const QString kMarker = QStringLiteral("★");
// The window over a search that runs long, and its button.
constexpr const char *kSearching = "正在查找符合条件的用量, 请稍候...";
constexpr const char *kStopSearch = "停止查找";

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

// Enter in the grid confirms a cell entry; its release must not go on to
// move the focus out of the grid as it does between the criteria fields.
class GridEnterFilter : public QObject
{
public:
    GridEnterFilter(FlexGrid *grid, QObject *parent) : QObject(parent), m_grid(grid) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyRelease || !m_grid)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        return w && (w == m_grid || m_grid->isAncestorOf(w));
    }

private:
    QPointer<FlexGrid> m_grid;
};

} // namespace

struct Frm40BMx4::Private
{
    Frm40BMx4 *q = nullptr;
    HeadItem *moNo = nullptr;
    QLabel *orderLabel = nullptr;
    QComboBox *orderNo = nullptr;
    QToolButton *orderBrow = nullptr;
    QPushButton *find = nullptr;
    QCheckBox *checkAll = nullptr;
    FlexGrid *grid = nullptr;
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
    std::unique_ptr<Kesto_VSFlexgrid> wrapper;
    std::shared_ptr<ResultSet> result = std::make_shared<ResultSet>();

    bool outTypeOrder = false;
    bool production = true;
    int stockMode = 2;
    QString pcsNo;
    qint64 rec411 = 0;
    // The document's connection and user (none: the run context's).
    Connection conn;
    HistoryActor who;

    int rememberedRow = 0; // row of the last check-box edit, 0 for none
    bool rangeArmed = false;
    bool searchStopped = false; // the last search was stopped before it ended

    int dataRows() const { return std::max(0, grid->rows() - grid->fixedRows()); }
    UsageImportStore store() const { return UsageImportStore(conn.isValid() ? conn : runContext().Conn); }

    void readactive();
    void sele_data();
    void save(const QString &tag);
    void pickOrder();
    void pickMo();
    void setAllTicks(bool ticked);
    void beforeEdit(int row, int col, bool *cancel);
    void validateEdit(int row, int col, bool *cancel);
    void afterEdit(int row, int col);
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void afterRowColChange(int newCol);
    void afterSort();
};

Frm40BMx4::Frm40BMx4(QWidget *parent) : QDialog(parent), d(std::make_unique<Private>())
{
    d->q = this;
    setObjectName(kForm);
    setModal(true);

    d->moNo = new HeadItem(HeadItem::Browse, this);
    d->moNo->setObjectName(QStringLiteral("Mo_No"));
    d->moNo->setCaption(code("制    号:"));
    d->moNo->browseButton()->setObjectName(QStringLiteral("Cmd_Mtr_Brow"));

    d->orderLabel = new QLabel(code("订单代号:"), this);
    d->orderNo = new QComboBox(this);
    d->orderNo->setObjectName(QStringLiteral("Order_No"));
    d->orderNo->setEditable(true);
    d->orderNo->setMinimumWidth(140);
    d->orderLabel->setBuddy(d->orderNo);
    d->orderBrow = new QToolButton(this);
    d->orderBrow->setObjectName(QStringLiteral("Cmd_order_brow"));
    d->orderBrow->setText(QStringLiteral("..."));

    d->find = new QPushButton(code("查找"), this);
    d->find->setObjectName(QStringLiteral("Cmd_Find"));
    d->checkAll = new QCheckBox(code("全部选择(A)"), this);
    d->checkAll->setObjectName(QStringLiteral("CheckBox1"));

    d->grid = new FlexGrid(this);
    d->grid->setObjectName(QStringLiteral("Grid1"));
    d->grid->setFixedRows(1);
    d->grid->setFixedCols(1);
    d->grid->setDataMode(FlexGrid::Bound);
    d->grid->setEditable(FlexGrid::EditKbdMouse);

    d->ok = new QPushButton(code("确定"), this);
    d->ok->setObjectName(QStringLiteral("Cmd_Ok"));
    d->cancel = new QPushButton(code("取消"), this);
    d->cancel->setObjectName(QStringLiteral("Cmd_Cancel"));
    // Enter moves between fields and confirms cell entries; only a click or
    // Space on a button saves.
    for (QPushButton *b : {d->find, d->ok, d->cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *criteria = new QHBoxLayout;
    criteria->addWidget(d->moNo);
    criteria->addSpacing(12);
    criteria->addWidget(d->orderLabel);
    criteria->addWidget(d->orderNo);
    criteria->addWidget(d->orderBrow);
    criteria->addSpacing(12);
    criteria->addWidget(d->find);
    criteria->addStretch(1);
    criteria->addWidget(d->checkAll);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(d->ok);
    buttons->addWidget(d->cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(criteria);
    layout->addWidget(d->grid, 1);
    layout->addLayout(buttons);
    resize(900, 520);

    // Typing (or a picker) changes the criteria: the search may run again.
    connect(d->moNo->editor(), &QLineEdit::textChanged, this, [this] {
        try {
            d->find->setEnabled(true);
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Mo_No_Change"));
        }
    });
    connect(d->orderNo, &QComboBox::editTextChanged, this, [this] {
        try {
            d->find->setEnabled(true);
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Order_no_Change"));
        }
    });
    connect(d->find, &QPushButton::clicked, this, [this] {
        try {
            d->searchStopped = false;
            d->sele_data();
            // A stopped search may be run again at once.
            d->find->setEnabled(d->searchStopped);
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Find_Click"));
        }
    });
    connect(d->orderBrow, &QToolButton::clicked, this, [this] { d->pickOrder(); });
    connect(d->moNo, &HeadItem::browseClicked, this, [this] { d->pickMo(); });
    connect(d->checkAll, &QCheckBox::clicked, this, [this](bool ticked) {
        try {
            d->setAllTicks(ticked);
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("CheckBox1_Click"));
        }
    });
    // The "(A)" of its caption: Alt+A clicks it.
    auto *selectAll = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
    connect(selectAll, &QShortcut::activated, this, [this] {
        if (d->checkAll->isEnabled())
            d->checkAll->click();
    });
    connect(d->ok, &QPushButton::clicked, this, [this] { d->save(QStringLiteral("Cmd_Ok_Click")); });
    connect(d->cancel, &QPushButton::clicked, this, [this] { d->save(QStringLiteral("Cmd_Cancel_Click")); });

    FlexGrid *g = d->grid;
    connect(g, &FlexGrid::beforeEdit, this,
            [this](int row, int col, bool *cancel) { d->beforeEdit(row, col, cancel); });
    connect(g, &FlexGrid::validateEdit, this,
            [this](int row, int col, bool *cancel) { d->validateEdit(row, col, cancel); });
    connect(g, &FlexGrid::afterEdit, this, [this](int row, int col) { d->afterEdit(row, col); });
    connect(g, &FlexGrid::keyDown, this, [this](int key, Qt::KeyboardModifiers m) { d->keyDown(key, m); });
    connect(g, &FlexGrid::afterRowColChange, this, [this](int, int, int, int newCol) { d->afterRowColChange(newCol); });

    // Load.
    try {
        RunContext::EnsureConnection();
        DressForm(this);
        SetButtonPictures(this, runContext().moduleFolder());
        d->wrapper = std::make_unique<Kesto_VSFlexgrid>();
        // The grid takes the proposal's columns; a user's stored layout
        // arranges them but never cuts the columns the save reads.
        d->wrapper->SetVariantCols(true);
        d->wrapper->Grid(g, runContext().Ini_File, false, QStringLiteral("grid1"), QString(), true, QString(), false,
                         false);
        // Connected after the wrapper, so the renumbering sees its refresh done.
        connect(g, &FlexGrid::afterSort, this, [this] { d->afterSort(); });
        d->readactive();
        d->find->setEnabled(false);
        installHotKeys(this, true);
        // Installed last, so it sees a release before the shortcut handler.
        qApp->installEventFilter(new GridEnterFilter(g, this));
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

Frm40BMx4::~Frm40BMx4()
{
    // The controls outlive the private part: nothing they emit while they
    // are torn down may reach it.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    try {
        d->wrapper.reset();
        d->grid->setDataSource(nullptr);
        d->result.reset();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Unload"));
    }
}

void Frm40BMx4::setOut_Type_Order(bool byOrder)
{
    d->outTypeOrder = byOrder;
    // The order's bill of material knows no manufacturing order.
    d->moNo->setVisible(!byOrder);
}

void Frm40BMx4::setDocument(bool production, int stockMode, const QString &pcsNo, qint64 rec411)
{
    d->production = production;
    d->stockMode = stockMode;
    d->pcsNo = pcsNo;
    d->rec411 = rec411;
}

void Frm40BMx4::setSession(const Connection &conn, const HistoryActor &who)
{
    d->conn = conn;
    d->who = who;
}

FlexGrid *Frm40BMx4::grid() const
{
    return d->grid;
}

// ---------------------------------------------------------------------------

void Frm40BMx4::Private::readactive()
{
    try {
        ok->setEnabled(result && !result->isEmpty());
        grid->setDataSource(result);
        checkAll->blockSignals(true);
        if (grid->rows() <= 1) {
            checkAll->setChecked(false);
            checkAll->setEnabled(false);
        } else {
            // The current cell starts on the first tick box, where the user works.
            grid->setCurrentCell(grid->fixedRows(), UsageImportStore::ColCheck);
            // Everything found is proposed for taking.
            for (int r = grid->fixedRows(); r < grid->rows(); ++r)
                grid->setCellChecked(r, UsageImportStore::ColCheck, FlexGrid::Checked);
            checkAll->setEnabled(true);
            checkAll->setChecked(true);
        }
        checkAll->blockSignals(false);
        if (grid->cols() > 3) {
            grid->setMergeCells(FlexGrid::MergeFree);
            grid->setMergeCol(UsageImportStore::ColMoNo, true);
            grid->setMergeCol(UsageImportStore::ColOrderNo, true);
        }
        // The source's colour travels to the save only.
        if (grid->cols() > UsageImportStore::ColColorNo)
            grid->setColHidden(UsageImportStore::ColColorNo, true);
        rememberedRow = 0;
        rangeArmed = false;
    } catch (...) {
        checkAll->blockSignals(false);
        ErrorReporter::ReportError(kForm, QStringLiteral("readactive"));
    }
}

void Frm40BMx4::Private::sele_data()
{
    try {
        UsageCriteria c;
        c.moNo = outTypeOrder ? QString() : moNo->text().trimmed();
        c.orderNo = orderNo->currentText().trimmed();
        c.pcsNo = pcsNo.trimmed();
        c.production = production;
        c.byOrder = outTypeOrder;
        c.stockMode = stockMode;
        c.propDuty = q->W_Prop_Duty;
        // A failed search must not leave the previous proposal to be saved
        // under the new criteria.
        result = std::make_shared<ResultSet>();
        grid->setDataSource(nullptr);
        // A search that runs beyond half a second shows that it runs and can
        // be stopped; stopped, it leaves the grid empty and the search open.
        std::unique_ptr<QProgressDialog> waiting;
        const auto keepGoing = [&](qint64 elapsedMs) {
            if (elapsedMs < 500)
                return true;
            if (!waiting) {
                waiting = std::make_unique<QProgressDialog>(code(kSearching), code(kStopSearch), 0, 0, q);
                waiting->setWindowTitle(q->windowTitle());
                waiting->setWindowModality(Qt::WindowModal);
                waiting->setMinimumDuration(0);
                waiting->show();
            }
            QCoreApplication::processEvents();
            return !waiting->wasCanceled();
        };
        std::optional<ResultSet> found = store().proposals(c, keepGoing);
        waiting.reset();
        if (!found) {
            readactive();
            find->setEnabled(true);
            searchStopped = true;
            return;
        }
        result = std::make_shared<ResultSet>(std::move(*found));
        readactive();
        if (result->isEmpty())
            ErrorReporter::ShowErpMessage(kForm, QStringLiteral("Check_OK_1"), code(UsageImportStore::MsgNoRows));
    } catch (...) {
        readactive();
        ErrorReporter::ReportError(kForm, QStringLiteral("sele_data"));
    }
}

void Frm40BMx4::Private::pickOrder()
{
    try {
        const Statement s = store().orderPicker(orderNo->currentText());
        ScopedInstance<FrmList> picker(q);
        picker->setW_Select_Data(s.text, s.values);
        ModalRunner::exec(picker.get());
        const QString chosen = picker->List1();
        picker.release();
        if (!chosen.isEmpty()) {
            orderNo->setEditText(chosen);
            orderNo->setFocus();
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Order_Brow_Click"));
    }
}

void Frm40BMx4::Private::pickMo()
{
    try {
        const Statement s = store().moPicker(moNo->text());
        ScopedInstance<FrmList> picker(q);
        picker->setW_Select_Data(s.text, s.values);
        ModalRunner::exec(picker.get());
        const QString chosen = picker->List(0);
        picker.release();
        if (!chosen.isEmpty())
            moNo->setText(chosen);
        orderNo->setFocus();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("cmd_mtr_brow_Click"));
    }
}

void Frm40BMx4::Private::setAllTicks(bool ticked)
{
    if (dataRows() < 1)
        return;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        grid->setCellChecked(r, UsageImportStore::ColCheck, ticked ? FlexGrid::Checked : FlexGrid::Unchecked);
}

void Frm40BMx4::Private::beforeEdit(int row, int col, bool *cancel)
{
    Q_UNUSED(row);
    try {
        if (col != UsageImportStore::ColCheck && col != UsageImportStore::ColMtrAmt)
            *cancel = true;
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_BeforeEdit"));
    }
}

void Frm40BMx4::Private::validateEdit(int row, int col, bool *cancel)
{
    try {
        if (col != UsageImportStore::ColMtrAmt)
            return;
        const auto check = UsageImportStore::checkQuantity(grid->editText());
        if (check == UsageImportStore::QuantityCheck::Accepted)
            return;
        ErrorReporter::ShowErpMessage(kForm, QStringLiteral("Check_OK_1"), code(UsageImportStore::MsgBadQuantity), 0);
        *cancel = true;
        if (check == UsageImportStore::QuantityCheck::Negative)
            grid->setTextMatrix(row, col, QStringLiteral("0"));
    } catch (...) {
        *cancel = true;
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_ValidateEdit"));
    }
}

void Frm40BMx4::Private::afterEdit(int row, int col)
{
    try {
        if (col != UsageImportStore::ColCheck)
            return;
        if (rangeArmed && rememberedRow >= grid->fixedRows() && rememberedRow < grid->rows() && rememberedRow != row) {
            // Shift: every row between the last ticked one and this one
            // takes this row's new state.
            const FlexGrid::CheckState state = grid->cellChecked(row, col);
            for (int r = std::min(rememberedRow, row); r <= std::max(rememberedRow, row); ++r)
                grid->setCellChecked(r, col, state);
            rememberedRow = 0;
            rangeArmed = false;
            return;
        }
        rememberedRow = row;
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_AfterEdit"));
    }
}

void Frm40BMx4::Private::keyDown(int key, Qt::KeyboardModifiers modifiers)
{
    try {
        const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
        // Shift alone, or the Shift key itself pressed with nothing else held.
        if (held == Qt::ShiftModifier || (key == Qt::Key_Shift && held == Qt::NoModifier)) {
            if (rememberedRow > 0)
                rangeArmed = true;
        } else {
            rangeArmed = false;
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_KeyDown"));
    }
}

void Frm40BMx4::Private::afterRowColChange(int newCol)
{
    try {
        grid->setEditable(newCol == UsageImportStore::ColStillNeeded ? FlexGrid::EditNone : FlexGrid::EditKbdMouse);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_AfterRowColChange"));
    }
}

void Frm40BMx4::Private::afterSort()
{
    try {
        int marked = -1;
        for (int r = grid->fixedRows(); r < grid->rows(); ++r) {
            if (grid->textMatrix(r, 0) == kMarker)
                marked = r;
            else
                grid->setTextMatrix(r, 0, QString::number(r - grid->fixedRows() + 1));
        }
        if (marked > 0)
            grid->setCurrentCell(marked, UsageImportStore::ColCheck);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Grid1_AfterSort"));
    }
}

void Frm40BMx4::Private::save(const QString &tag)
{
    try {
        const int answer =
            ErrorReporter::ShowErpMessage(runContext().Msg_Delete, QStringLiteral("Menu_Delete_Click_2"),
                                          code(UsageImportStore::MsgConfirmSave), MessageStyle::YesNoQuestion);
        if (answer != MessageAnswer::Yes) {
            q->reject();
            return;
        }
        ok->setEnabled(false);
        UsageSave s;
        s.rec411 = rec411;
        s.stockMode = stockMode;
        s.userName = conn.isValid() ? who.userName : runContext().User_Name;
        s.who = who;
        s.updDate = Environment::today();
        // Rows in the order the grid shows them now.
        const int cols = std::max(grid->cols(), int(UsageImportStore::ColColorNo) + 1);
        for (int r = grid->fixedRows(); r < grid->rows(); ++r) {
            if (grid->cellChecked(r, UsageImportStore::ColCheck) != FlexGrid::Checked)
                continue;
            QStringList cells;
            cells.reserve(cols);
            for (int c = 0; c < cols; ++c)
                cells << grid->textMatrix(r, c);
            if (const auto line = UsageLine::fromCells(cells))
                s.lines << *line;
        }
        // All rows or none: the store rolls back on any failure, and the
        // dialog stays open so that the user can try again.
        const UsageImportStore::Written written = store().write(s);
        if (!written.refusal.isEmpty()) {
            // The document was approved, closed or deleted meanwhile: nothing was written.
            ErrorReporter::ShowErpMessage(kForm, QStringLiteral("Check_OK_1"), written.refusal);
            if (LineHost *host = q->host())
                host->linesChanged(QString());
            q->reject();
            return;
        }
        if (LineHost *host = q->host())
            host->linesChanged(QString());
        q->accept();
    } catch (...) {
        ok->setEnabled(result && !result->isEmpty());
        ErrorReporter::ReportError(kForm, tag);
    }
}

// ---------------------------------------------------------------------------

void runUsageImport(LineHost &host, QWidget *parent, const UsageImportCall &call)
{
    auto dialog = std::make_unique<Frm40BMx4>(parent);
    dialog->setWindowTitle(call.caption);
    dialog->W_Prop_Duty = call.propDuty;
    dialog->setOut_Type_Order(call.orderControl);
    dialog->setHost(&host);
    dialog->setDocument(call.production, call.stockMode, call.pcsNo, call.rec411);
    dialog->setSession(call.conn, call.who);
    ModalRunner::exec(dialog.get());
}
