#include "pickers/FrmList.h"

#include "context/RunContext.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

const QString kForm = QStringLiteral("FrmList");
constexpr int kRowHeight = 350; // twips, header row included
constexpr int kMinHeight = 3000;
constexpr int kGridMarginRight = 300;
constexpr int kGridMarginBottom = 400;

SingleInstance g_instance;

bool noShiftCtrlAlt(const QKeyEvent *e)
{
    return !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

} // namespace

FrmList &FrmList::obtain(QWidget *parent)
{
    return g_instance.obtain<FrmList>([parent] { return new FrmList(parent); });
}

void FrmList::release()
{
    g_instance.release();
}

FrmList::FrmList(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(DbGateway::ChangeStrCode(QStringLiteral("明细列表")));
    setModal(true);

    m_grid = new FlexGrid(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setFixedCols(0);
    m_grid->setSelectionStyle(FlexGrid::SelectByRow);

    const char *captions[2] = {"确定(&Y)", "取消(&N)"};
    for (int i = 0; i < 2; ++i) {
        // Command1 is a control array: each button carries its index.
        auto *b = new QPushButton(DbGateway::ChangeStrCode(QString::fromUtf8(captions[i])), this);
        b->setObjectName(QStringLiteral("Command1_%1").arg(i));
        b->setProperty("index", i);
        b->setAutoDefault(false);
        b->setFixedHeight(twipsToPixels(360));
        connect(b, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        m_command1[i] = b;
    }
    connect(m_grid, &FlexGrid::dblClick, this, [this] { Command1_Click(0); });

    // The window sees keys before its controls.
    for (QWidget *w :
         {static_cast<QWidget *>(m_grid), static_cast<QWidget *>(m_command1[0]), static_cast<QWidget *>(m_command1[1])})
        w->installEventFilter(this);

    DressForm(this);
    resize(twipsToPixels(9000), twipsToPixels(5400));
}

void FrmList::setW_Select_Data(const QString &sql, const QList<QVariant> &values)
{
    m_sql = sql;
    m_values = values;
    Form_Load();
}

void FrmList::Form_Load()
{
    m_grid->setDataSource(nullptr);
    try {
        auto rs = std::make_shared<ResultSet>(Sql(runContext().Conn, m_sql).bindAll(m_values).select());
        m_grid->setDataMode(FlexGrid::Bound);
        m_grid->setDataSource(rs);
        m_grid->setFixedCols(0);
        m_grid->setRowHeight(-1, kRowHeight);
        m_list = QStringList(rs->columnCount(), QString());
        fitToContents();
        if (m_grid->rows() > m_grid->fixedRows())
            m_grid->setCurrentCell(m_grid->fixedRows(), 0);
    } catch (...) {
        // A statement that cannot be read leaves an empty list to cancel from.
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmList::fitToContents()
{
    // Every column as wide as its widest text, the window as wide as the
    // columns, both within the screen; the window keeps at least its width.
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int frame = twipsToPixels(kGridMarginRight) + 2 * m_grid->frameWidth() +
                      m_grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_grid) + 24;
    const int columns = m_grid->fitColumnsToContents(room.width() - frame);
    const int wanted = std::min(room.width() - 16, columns + frame);
    if (wanted > width())
        resize(wanted, height());
    if (isVisible() && frameGeometry().right() > room.right())
        move(std::max(room.left(), room.right() - frameGeometry().width()), y());
}

void FrmList::Command1_Click(int index)
{
    try {
        if (index == 0) {
            const int row = m_grid->row();
            if (row < m_grid->fixedRows() || row >= m_grid->rows() || !m_grid->dataSource()) {
                reject();
                return;
            }
            const int columns = m_grid->cols();
            for (int c = 0; c < columns && c < kListColumns; ++c)
                m_listN[c] = m_grid->textMatrix(row, c);
            for (int c = 0; c < columns && c < m_list.size(); ++c)
                m_list[c] = m_grid->textMatrix(row, c);
            accept();
        } else {
            reject();
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Command1_Click"));
    }
}

void FrmList::done(int result)
{
    m_sql.clear();
    m_values.clear();
    m_grid->setDataSource(nullptr);
    QDialog::done(result);
}

bool FrmList::handleKey(const QKeyEvent *e)
{
    const int key = e->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F5) && noShiftCtrlAlt(e)) {
        Command1_Click(0);
        return true;
    }
    if (key == Qt::Key_Escape && noShiftCtrlAlt(e)) {
        Command1_Click(1);
        return true;
    }
    return false;
}

bool FrmList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void FrmList::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QDialog::keyPressEvent(event);
}

void FrmList::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (isMinimized() || m_fitting)
        return;
    const int buttonTwips = pixelsToTwips(m_command1[0]->sizeHint().width());
    int w = pixelsToTwips(width());
    int h = pixelsToTwips(height());
    bool fit = false;
    if (h < kMinHeight) {
        h = kMinHeight;
        fit = true;
    }
    if (w < 2 * buttonTwips + 500) {
        w = 2 * buttonTwips + 1000;
        fit = true;
    }
    if (fit) {
        m_fitting = true;
        resize(twipsToPixels(w), twipsToPixels(h));
        m_fitting = false;
    }
    layoutControls();
}

void FrmList::layoutControls()
{
    const int left = twipsToPixels(150);
    const int top = twipsToPixels(150);
    m_grid->setGeometry(left, top, width() - twipsToPixels(kGridMarginRight),
                        height() - top - twipsToPixels(kGridMarginBottom));
    // The buttons sit in the strip below the grid, at its right end.
    const QSize b = m_command1[0]->sizeHint();
    const int y = height() - twipsToPixels(kGridMarginBottom) + (twipsToPixels(kGridMarginBottom) - b.height()) / 2;
    int x = left + m_grid->width();
    for (int i = 1; i >= 0; --i) {
        x -= b.width();
        m_command1[i]->setGeometry(x, y, b.width(), b.height());
        x -= twipsToPixels(90);
    }
}
