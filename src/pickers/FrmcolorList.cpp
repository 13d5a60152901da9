#include "pickers/FrmcolorList.h"

#include "context/RunContext.h"
#include "grid/KestoVSFlexgrid.h"
#include "pickers/PickerStore.h"
#include "platform/db/Sql.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kForm = QStringLiteral("FrmcolorList");

SingleInstance g_instance;

bool noShiftCtrlAlt(const QKeyEvent *e)
{
    return !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

bool isEnter(const QKeyEvent *e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

// A column of the list by its field name, so that a user's column layout
// (moved or hidden columns) cannot change what is returned.
QString cellOf(const FlexGrid *grid, int row, const QString &field, int position)
{
    const int c = grid->colIndex(field);
    return grid->textMatrix(row, c >= 0 ? c : position);
}

} // namespace

FrmcolorList &FrmcolorList::obtain(QWidget *parent)
{
    return g_instance.obtain<FrmcolorList>([parent] { return new FrmcolorList(parent); });
}

void FrmcolorList::release()
{
    g_instance.release();
}

HeadItem *FrmcolorList::addField(const char *name, const char *caption, int kind)
{
    auto *item = new HeadItem(HeadItem::Kind(kind), this);
    item->setObjectName(QLatin1String(name));
    item->setCaption(DbGateway::ChangeStrCode(QString::fromUtf8(caption)));
    return item;
}

FrmcolorList::FrmcolorList(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(DbGateway::ChangeStrCode(QStringLiteral("颜色清单(FrmcolorList)")));
    setModal(true);

    m_colorType = addField("Color_Type", "颜色类别:", HeadItem::List);
    m_colorNo = addField("Color_No", "颜色代号:", HeadItem::PlainText);
    m_colorName = addField("Color_Name", "颜色名称:", HeadItem::PlainText);
    m_colorEname = addField("Color_Ename", "英文颜色:", HeadItem::PlainText);
    connect(m_colorType, &HeadItem::textEdited, this, [this] { m_typeEdited = true; });
    if (auto *combo = m_colorType->findChild<QComboBox *>())
        connect(combo, &QComboBox::activated, this, [this] { m_typeEdited = true; });

    m_find = new QPushButton(DbGateway::ChangeStrCode(QStringLiteral("重新查询(&F)")), this);
    m_find->setObjectName(QStringLiteral("Cmd_Find"));
    m_find->setAutoDefault(false);
    connect(m_find, &QPushButton::clicked, this, &FrmcolorList::Cmd_Find_Click);

    const char *captions[2] = {"确定(&Y)", "取消(&N)"};
    for (int i = 0; i < 2; ++i) {
        // Command1 is a control array: each button carries its index.
        auto *b = new QPushButton(DbGateway::ChangeStrCode(QString::fromUtf8(captions[i])), this);
        b->setObjectName(QStringLiteral("Command1_%1").arg(i));
        b->setProperty("index", i);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        m_command1[i] = b;
    }

    m_grid = new FlexGrid(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setSelectionStyle(FlexGrid::SelectByRow);
    connect(m_grid, &FlexGrid::dblClick, this, [this] {
        if (m_grid->mouseRow() >= m_grid->fixedRows() && m_grid->mouseRow() < m_grid->rows())
            Command1_Click(0);
    });

    auto *filters = new QGridLayout;
    filters->addWidget(m_colorType, 0, 0);
    filters->addWidget(m_colorNo, 0, 1);
    filters->addWidget(m_colorName, 1, 0);
    filters->addWidget(m_colorEname, 1, 1);
    filters->addWidget(m_find, 0, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_command1[0]);
    buttons->addWidget(m_command1[1]);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(twipsToPixels(10500), twipsToPixels(6600));

    // The window sees keys (and the type field's loss of focus) before its controls.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    DressForm(this);
}

void FrmcolorList::setG_color_Filter(const QString &condition, const QList<QVariant> &values)
{
    m_filter = condition;
    m_filterValues = values;
}

void FrmcolorList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Load();
}

void FrmcolorList::Form_Load()
{
    try {
        m_colorType->clearList();
        DbGateway::AddRsToList(runContext().Conn, m_colorType, PickerStore::colorTypesQuery(), nullptr, 0, true, true,
                               false, false);
        m_typeEdited = false;
        SELECT_Data();
        // The list is what the user came for: Enter chooses at once.
        m_grid->setFocus();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmcolorList::SELECT_Data()
{
    try {
        const QString sql =
            DbGateway::ChangeStrCode(PickerStore::colorListQuery(m_showEname, Statement{m_filter, m_filterValues}));
        // The wrapper is attached anew for each list: the grid name follows
        // the columns shown, so each keeps its own layout.
        delete m_kesto;
        m_kesto = new Kesto_VSFlexgrid(this);
        // Columns beyond the user's stored layout stay visible: without a
        // stored layout the list would show row numbers and nothing else.
        m_kesto->SetVariantCols(true);
        m_kesto->Grid(m_grid, runContext().Ini_File, true,
                      m_showEname ? QStringLiteral("GRID2") : QStringLiteral("GRID1"), QString(), false, QString(),
                      false, true);
        auto rs = std::make_shared<ResultSet>(Sql(runContext().Conn, sql).bindAll(m_filterValues).select());
        m_grid->setDataMode(FlexGrid::Bound);
        m_grid->setDataSource(rs);
        // A column too narrow for its colours' names is widened; wider ones
        // keep the user's layout. The window follows, within the screen.
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        const int frame = width() - m_grid->viewport()->width() + 8;
        const int columns = m_grid->fitColumnsToContents(room.width() - frame, true);
        if (columns + frame > width())
            resize(std::min(room.width() - 16, columns + frame), height());
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("SELECT_Data"));
    }
}

void FrmcolorList::Cmd_Find_Click()
{
    try {
        const Statement c =
            PickerStore::colorFilter(runContext().Conn.dialect(), m_colorType->text(), m_colorNo->text(),
                                     m_colorName->text(), m_colorEname->text(), m_showEname);
        m_filter = c.text;
        m_filterValues = c.values;
        SELECT_Data();
        m_grid->setFocus();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Cmd_Find_Click"));
    }
}

void FrmcolorList::Color_Type_Validate()
{
    try {
        m_typeEdited = false;
        Cmd_Find_Click();
        // The type last looked for is the user's own setting.
        const QString file = runContext().Ini_File;
        if (!file.isEmpty())
            IniFile::writeString(file, kForm, QStringLiteral("Color_Type"), m_colorType->text());
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Color_Type_Validate"));
    }
}

void FrmcolorList::Command1_Click(int index)
{
    try {
        if (index != 0) {
            reject();
            return;
        }
        const int row = m_grid->row();
        if (row < m_grid->fixedRows() || row >= m_grid->rows() || !m_grid->dataSource())
            return;
        m_type = cellOf(m_grid, row, QStringLiteral("颜色类别"), 1);
        m_no = cellOf(m_grid, row, QStringLiteral("颜色代号"), 2);
        m_name = cellOf(m_grid, row, QStringLiteral("颜色名称"), 3);
        m_ename = cellOf(m_grid, row, m_showEname ? QStringLiteral("默认英文名称") : QStringLiteral("英文名称"), 4);
        if (m_showEname) {
            const QString alternative = cellOf(m_grid, row, QStringLiteral("英文颜色"), 5);
            if (!alternative.isEmpty())
                m_ename = alternative;
        }
        accept();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Command1_Click"));
    }
}

void FrmcolorList::done(int result)
{
    delete m_kesto;
    m_kesto = nullptr;
    QDialog::done(result);
}

bool FrmcolorList::handleKey(QObject *watched, const QKeyEvent *e)
{
    if (!noShiftCtrlAlt(e))
        return false;
    if (e->key() == Qt::Key_F5) {
        Command1_Click(0);
        return true;
    }
    if (e->key() == Qt::Key_Escape) {
        Command1_Click(1);
        return true;
    }
    if (!isEnter(e))
        return false;
    if (watched == m_grid) {
        Command1_Click(0);
        return true;
    }
    for (HeadItem *f : {m_colorType, m_colorNo, m_colorName, m_colorEname}) {
        if (watched == f->editor() || watched == f->focusProxy()) {
            Cmd_Find_Click();
            return true;
        }
    }
    return false;
}

bool FrmcolorList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(watched, static_cast<QKeyEvent *>(event)))
        return true;
    if (event->type() == QEvent::FocusOut && watched == m_colorType->focusProxy()) {
        // Leaving the type field, after the user changed it, for another
        // control of this window (not its drop-down or another window). A
        // field merely passed through must not drop the caller's filter.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (m_typeEdited && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && isVisible())
            Color_Type_Validate();
    }
    return QDialog::eventFilter(watched, event);
}
