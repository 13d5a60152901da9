#include "pickers/TreePicker.h"
#include "platform/core/MessageBoxService.h"

#include "context/RunContext.h"
#include "platform/ui/SingleInstance.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QIcon imageOf(const QWidget *w, int image)
{
    return w->style()->standardIcon(image == 2 ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
}

void setImage(QTreeWidgetItem *item, int image, const QIcon &icon)
{
    item->setData(0, TreePicker::ImageRole, image);
    item->setIcon(0, icon);
}

// Every node opens expanded, so each starts with the expanded image.
QTreeWidgetItem *makeItem(const LevelNode &node, const QIcon &open)
{
    auto *item = new QTreeWidgetItem(QStringList{node.text});
    item->setData(0, TreePicker::KeyRole, node.key);
    item->setData(0, TreePicker::NumberRole, node.number);
    setImage(item, 2, open);
    QList<QTreeWidgetItem *> children;
    children.reserve(node.children.size());
    for (const LevelNode &child : node.children)
        children.append(makeItem(child, open));
    item->addChildren(children);
    return item;
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isPlainF5(const QKeyEvent *e)
{
    return e->key() == Qt::Key_F5 && !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

} // namespace

TreePicker::TreePicker(const Config &config, QWidget *parent) : QDialog(parent), m_config(config)
{
    setObjectName(config.formName);
    setWindowTitle(DbGateway::ChangeStrCode(config.caption));
    setModal(true);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvwdb"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    // A double click chooses; it must not fold the node away first.
    m_tree->setExpandsOnDoubleClick(false);
    m_tree->setUniformRowHeights(true);

    m_ok = new QPushButton(DbGateway::ChangeStrCode(QStringLiteral("确定(&Y)")), this);
    m_ok->setObjectName(QStringLiteral("Cmd_Ok"));
    m_quit = new QPushButton(DbGateway::ChangeStrCode(QStringLiteral("取消(&N)")), this);
    m_quit->setObjectName(QStringLiteral("cmd_quit"));
    for (QPushButton *b : {m_ok, m_quit}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_quit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tree, 1);
    layout->addLayout(buttons);
    resize(360, 440);

    connect(m_ok, &QPushButton::clicked, this, &TreePicker::okClicked);
    connect(m_quit, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { choose(); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { m_currentKey = item ? item->data(0, KeyRole).toString() : QString(); });
    connect(m_tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { setImage(item, 2, imageOf(this, 2)); });
    connect(m_tree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem *item) { setImage(item, 1, imageOf(this, 1)); });

    // The window sees keys before its controls.
    for (QWidget *w : {static_cast<QWidget *>(m_tree), static_cast<QWidget *>(m_ok), static_cast<QWidget *>(m_quit)})
        w->installEventFilter(this);

    DressForm(this);
    loadTree();
}

void TreePicker::loadTree()
{
    const QList<LevelNode> top =
        buildLevelTree(PickerStore(runContext().Conn)
                           .levelRows(m_config.table, m_config.codeColumn, m_config.nameColumn, m_config.numberColumn));

    m_tree->clear();
    const QIcon open = imageOf(this, 2);
    auto *root = new QTreeWidgetItem(QStringList{DbGateway::ChangeStrCode(m_config.rootText)});
    root->setData(0, KeyRole, RootKey);
    setImage(root, 2, open);
    QList<QTreeWidgetItem *> children;
    children.reserve(top.size());
    for (const LevelNode &node : top)
        children.append(makeItem(node, open));
    root->addChildren(children);
    m_tree->addTopLevelItem(root);
    m_tree->expandAll();
    m_tree->setCurrentItem(root);
    m_currentKey = RootKey;
}

void TreePicker::choose()
{
    QTreeWidgetItem *root = m_tree->topLevelItem(0);
    if (!root || root->childCount() == 0) {
        ErrorReporter::ShowErpMessage(m_config.formName, QStringLiteral("tvwdb_DblClick_1"),
                                      DbGateway::ChangeStrCode(m_config.emptyMessage), MessageStyle::Information);
        reject();
        return;
    }
    QTreeWidgetItem *node = m_tree->currentItem();
    if (!node || m_currentKey == RootKey)
        return;
    takeChoice(node);
    accept();
}

void TreePicker::okClicked()
{
    if (m_currentKey != RootKey)
        choose();
    else
        m_tree->setFocus();
}

bool TreePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *e = static_cast<QKeyEvent *>(event);
        if (watched == m_tree && isEnter(e->key())) {
            choose();
            return true;
        }
        if (e->key() == Qt::Key_Escape) {
            reject();
            return true;
        }
        if (isPlainF5(e)) {
            okClicked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TreePicker::keyPressEvent(QKeyEvent *event)
{
    if (isPlainF5(event)) {
        okClicked();
        return;
    }
    if (isEnter(event->key()))
        return; // Enter chooses only from the tree
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------

namespace {
// A parent window may delete its picker first; the guards then read null.
SingleInstance g_frmOrg;
SingleInstance g_frmBarTree;
} // namespace

FrmOrg::FrmOrg(QWidget *parent)
    : TreePicker(Config{QStringLiteral("FrmOrg"), QStringLiteral("组织选择(FrmOrg)"), QStringLiteral("公司"),
                        QStringLiteral("Mmst001"), QStringLiteral("Level_No"), QStringLiteral("Org_Name"),
                        QStringLiteral("Org_No"), QStringLiteral("请先建立组织!")},
                 parent)
{}

FrmOrg &FrmOrg::obtain(QWidget *parent)
{
    return g_frmOrg.obtain<FrmOrg>([parent] { return new FrmOrg(parent); });
}

void FrmOrg::release()
{
    g_frmOrg.release();
}

void FrmOrg::takeChoice(const QTreeWidgetItem *node)
{
    // The chosen row's own number: two departments may share a name.
    m_orgNo = node->data(0, NumberRole).toString();
    m_orgName = node->text(0);
    m_orgId = node->data(0, KeyRole).toString();
}

FrmBar_Tree::FrmBar_Tree(QWidget *parent)
    : TreePicker(Config{QStringLiteral("FrmBar_Tree"), QStringLiteral("仓位选择(FrmBar_Tree)"),
                        QStringLiteral("仓位资料"), QStringLiteral("Mmst903"), QStringLiteral("Bar_No"),
                        QStringLiteral("Bar_Name"), QString(), QStringLiteral("请先建立仓位资料!")},
                 parent)
{}

FrmBar_Tree &FrmBar_Tree::obtain(QWidget *parent)
{
    return g_frmBarTree.obtain<FrmBar_Tree>([parent] { return new FrmBar_Tree(parent); });
}

void FrmBar_Tree::release()
{
    g_frmBarTree.release();
}

void FrmBar_Tree::takeChoice(const QTreeWidgetItem *node)
{
    m_barName = node->text(0);
    m_barId = node->data(0, KeyRole).toString();
}
