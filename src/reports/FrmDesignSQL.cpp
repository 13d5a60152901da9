#include "reports/FrmDesignSQL.h"

#include "context/RunContext.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"
#include "reports/KestoDesign.h"
#include "reports/ReportStore.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <set>

namespace {

const QString kForm = QStringLiteral("FrmDesignSQL");
// The key looked up when no table is chosen: it names no table.
const QString kNoTable = QStringLiteral("Tables@@@");
SingleInstance g_instance;

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

QPushButton *button(QWidget *parent, const char *name, const char *text)
{
    auto *b = new QPushButton(code(text), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QWidget *titled(QWidget *parent, const char *caption, QWidget *content)
{
    auto *box = new QWidget(parent);
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(new QLabel(code(caption), box));
    v->addWidget(content, 1);
    return box;
}

bool isEnter(const QKeyEvent *e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

// A display name as an alias a statement accepts unquoted (the script keeps
// SQL inside VBScript string literals, where a double quote would end the text).
QString aliasOf(const QString &displayName)
{
    QString out;
    for (const QChar ch : displayName)
        out += ch.isLetterOrNumber() || ch == QLatin1Char('_') ? ch : QLatin1Char('_');
    if (!out.isEmpty() && out.at(0).isDigit())
        out.prepend(QLatin1Char('_'));
    return out;
}

} // namespace

FrmDesignSQL &FrmDesignSQL::obtain(QWidget *parent)
{
    return g_instance.obtain<FrmDesignSQL>([parent] { return new FrmDesignSQL(parent); });
}

void FrmDesignSQL::release()
{
    g_instance.release();
}

QString FrmDesignSQL::helpText()
{
    const QString crlf = QStringLiteral("\r\n");
    return code("变量类:") + crlf +
           code("    W_SQL:返回的SQL语句,W_Filter:系统传递的过滤条件,View_Price:是否允许查看单价,W_RsRead用於显示数据"
                "过程,W_RsWrite用於更新数据过程.Ado.ExecuteSql执行sql语句,ado.GetRecordset取回记录集") +
           crlf + code("表单类:") + crlf + code("    frmlist为通用列表,frmmtrlist为材料列表,this为控件集合") + crlf;
}

QString FrmDesignSQL::columnText(const QString &table, const QString &column, const QString &displayName,
                                 bool withDisplayName, bool withTable, bool withComma)
{
    QString text = withTable && !table.isEmpty() ? table + QLatin1Char('.') + column : column;
    const QString alias = aliasOf(displayName);
    if (withDisplayName && !alias.isEmpty() && alias.compare(column, Qt::CaseInsensitive) != 0)
        text += QStringLiteral(" AS ") + alias;
    if (withComma)
        text += QLatin1Char(',');
    return text;
}

FrmDesignSQL::FrmDesignSQL(QWidget *parent) : QDialog(parent)
{
    setObjectName(kForm);
    setWindowTitle(code("编辑SQL语句"));
    setModal(true);

    m_tv = new QTreeWidget(this);
    m_tv->setObjectName(QStringLiteral("Tv"));
    m_tv->setHeaderHidden(true);
    m_fields = new FlexGrid(this);
    m_fields->setObjectName(QStringLiteral("grdFields"));
    m_fields->setSelectionStyle(FlexGrid::SelectByRow);
    m_oper = new QListWidget(this);
    m_oper->setObjectName(QStringLiteral("LstSqlOper"));
    m_dom = new QTreeWidget(this);
    m_dom->setObjectName(QStringLiteral("TreeDom"));
    m_dom->setHeaderHidden(true);
    m_withName = new QCheckBox(code("后加中文名"), this);
    m_withName->setObjectName(QStringLiteral("chkAddName"));
    m_withTable = new QCheckBox(code("前加表名"), this);
    m_withTable->setObjectName(QStringLiteral("chkAddTable"));
    m_withComma = new QCheckBox(code("后加逗号"), this);
    m_withComma->setObjectName(QStringLiteral("chkAddComma"));
    m_addField = button(this, "cmdAddField", "加入(&A)");
    m_desc = new QPlainTextEdit(this);
    m_desc->setObjectName(QStringLiteral("txtDesc"));
    m_desc->setReadOnly(true);
    m_sql = new QPlainTextEdit(this);
    m_sql->setObjectName(QStringLiteral("txtSQL"));
    m_sql->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_test = button(this, "CmdTest", "测试(&T)");
    m_test->setToolTip(code("注意测试如有对界面控件赋值的过程则就在测试後不要保存窗体"));
    m_save = button(this, "CmdSave", "保存(&S)");
    m_cancel = button(this, "CmdCancel", "取消(&X)");

    auto *options = new QHBoxLayout;
    options->addWidget(m_withName);
    options->addWidget(m_withTable);
    options->addWidget(m_withComma);
    options->addStretch(1);
    options->addWidget(m_addField);
    auto *fieldBox = new QWidget(this);
    auto *fieldLayout = new QVBoxLayout(fieldBox);
    fieldLayout->setContentsMargins(0, 0, 0, 0);
    fieldLayout->addWidget(new QLabel(code("字段:"), fieldBox));
    fieldLayout->addWidget(m_fields, 1);
    fieldLayout->addLayout(options);

    auto *top = new QHBoxLayout;
    top->addWidget(titled(this, "数据表:", m_tv), 3);
    top->addWidget(fieldBox, 4);
    top->addWidget(titled(this, "常用操作:", m_oper), 2);
    top->addWidget(titled(this, "控件名称:", m_dom), 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_test);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(m_desc, 1);
    layout->addWidget(new QLabel(code("SQL语句:"), this));
    layout->addWidget(m_sql, 4);
    layout->addLayout(buttons);
    resize(twipsToPixels(14000), twipsToPixels(10000));

    connect(m_test, &QPushButton::clicked, this, &FrmDesignSQL::CmdTest_Click);
    connect(m_save, &QPushButton::clicked, this, &FrmDesignSQL::CmdSave_Click);
    connect(m_cancel, &QPushButton::clicked, this, &FrmDesignSQL::CmdCancel_Click);
    connect(m_addField, &QPushButton::clicked, this, &FrmDesignSQL::cmdAddField_Click);
    connect(m_tv, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { Tv_NodeClick(item); });
    connect(m_tv, &QTreeWidget::itemDoubleClicked, this, [this] {
        try {
            m_sql->setFocus();
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("Tv_DblClick"));
        }
    });
    connect(m_fields, &FlexGrid::dblClick, this, [this] {
        try {
            AddFields();
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("grdFields_DblClick"));
        }
    });
    connect(m_oper, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        try {
            insertText(item->text());
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("LstSqlOper_DblClick"));
        }
    });
    connect(m_dom, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        try {
            // The window's own node names no control.
            if (item && item->parent())
                insertText(item->text(0));
        } catch (...) {
            ErrorReporter::ReportError(kForm, QStringLiteral("TreeDom_DblClick"));
        }
    });
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    m_desc->setPlainText(helpText());
    m_fields->setColWidth(0, 0);
}

void FrmDesignSQL::setSQL(const QString &sql)
{
    m_sqlValue = sql;
    m_sql->setPlainText(sql);
}

void FrmDesignSQL::SetDesign(Kesto_Design *P_Design)
{
    try {
        m_design = P_Design;
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("SetDesign"));
    }
}

void FrmDesignSQL::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

void FrmDesignSQL::Form_Load()
{
    try {
        m_userCancel = true;
        DressForm(this);
        if (!m_formCaption.isEmpty())
            setWindowTitle(m_formCaption);
        if (!m_design) {
            m_ownDesign = new Kesto_Design(runContext().Conn, this);
            m_design = m_ownDesign;
        }
        LoadTable();
        LoadTableColumn();
        LoadOper();
        AddDom();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Form_Load"));
    }
}

void FrmDesignSQL::LoadTable()
{
    try {
        m_tv->clear();
        QTreeWidgetItem *last = nullptr;
        for (const CatalogueModule &module : ReportStore(runContext().Conn).catalogue()) {
            auto *node = new QTreeWidgetItem(m_tv, {module.name});
            node->setData(0, Qt::UserRole, module.id);
            for (const CatalogueTable &t : module.tables) {
                auto *child = new QTreeWidgetItem(node, {t.name + QLatin1Char('(') + t.id + QLatin1Char(')')});
                child->setData(0, Qt::UserRole, t.id);
            }
            last = node;
        }
        if (last)
            last->setExpanded(true);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("LoadTable"));
    }
}

void FrmDesignSQL::LoadOper()
{
    try {
        m_oper->clear();
        for (const char *word : {" Select ", " * ", " From ", " Where ", " Like '%'", " and ", " or ", " Order By ",
                                 " Group By ", " Asc ", " Desc ", " Having ", " Count(*)", " Sum(),"})
            m_oper->addItem(QString::fromLatin1(word));
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("LoadOper"));
    }
}

void FrmDesignSQL::LoadTableColumn()
{
    try {
        const QTreeWidgetItem *node = m_tv->currentItem();
        const QString table = node ? node->data(0, Qt::UserRole).toString() : kNoTable;
        auto rows = std::make_shared<ResultSet>();
        rows->setColumns({QStringLiteral("tableName"), code("字段名称"), code("中文名称")});
        for (const CatalogueColumn &c : ReportStore(runContext().Conn).columns(table))
            rows->appendRow({c.table, c.name, c.displayName});
        m_fields->setDataMode(FlexGrid::Free);
        m_fields->setDataSource(rows);
        m_fields->setRowHeightMin(350);
        m_fields->setColHidden(0, true);
        m_fields->setColHidden(1, true);
        m_fields->setColWidth(2, 1200);
        m_fields->setColWidth(3, 1500);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("LoadTableColumn"));
    }
}

void FrmDesignSQL::AddDom()
{
    try {
        m_dom->clear();
        QWidget *window = m_design ? m_design->operForm() : nullptr;
        if (!window)
            return;
        auto *root = new QTreeWidgetItem(m_dom, {window->objectName()});
        std::set<QString> seen;
        for (QObject *c : window->findChildren<QObject *>()) {
            const QString name = c->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || !seen.insert(name.toLower()).second)
                continue;
            new QTreeWidgetItem(root, {name});
        }
        root->setExpanded(true);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("AddDom"));
    }
}

void FrmDesignSQL::insertText(const QString &text)
{
    m_sql->insertPlainText(text);
    m_sql->setFocus();
}

void FrmDesignSQL::AddFields()
{
    try {
        const int row = m_fields->row();
        if (row < m_fields->fixedRows() || row >= m_fields->rows())
            return;
        insertText(columnText(m_fields->textMatrix(row, 1), m_fields->textMatrix(row, 2), m_fields->textMatrix(row, 3),
                              m_withName->isChecked(), m_withTable->isChecked(), m_withComma->isChecked()));
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("AddFields"));
    }
}

void FrmDesignSQL::cmdAddField_Click()
{
    try {
        AddFields();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("cmdAddField_Click"));
    }
}

void FrmDesignSQL::Tv_NodeClick(QTreeWidgetItem *item)
{
    try {
        if (item && item->childCount() == 0) {
            m_tv->setCurrentItem(item);
            LoadTableColumn();
        }
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("Tv_NodeClick"));
    }
}

bool FrmDesignSQL::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *e = static_cast<QKeyEvent *>(event);
        if (e->key() == Qt::Key_A && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            try {
                m_sql->setFocus();
                m_sql->selectAll();
            } catch (...) {
                ErrorReporter::ReportError(kForm, QStringLiteral("Form_KeyUp"));
            }
        }
    } else if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event))) {
        if (watched == m_tv) {
            m_sql->setFocus();
            return true;
        }
        if (watched == m_fields) {
            try {
                AddFields();
            } catch (...) {
                ErrorReporter::ReportError(kForm, QStringLiteral("grdFields_KeyPress"));
            }
            return true;
        }
        if (watched == m_oper) {
            try {
                if (m_oper->currentItem())
                    insertText(m_oper->currentItem()->text());
            } catch (...) {
                ErrorReporter::ReportError(kForm, QStringLiteral("LstSqlOper_KeyPress"));
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmDesignSQL::CmdTest_Click()
{
    try {
        if (m_design)
            m_design->ExecuteStatement(m_sql->toPlainText(), true, QString(), true);
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdTest_Click"));
    }
}

void FrmDesignSQL::CmdSave_Click()
{
    try {
        m_userCancel = false;
        m_sqlValue = m_sql->toPlainText();
        close();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdSave_Click"));
    }
}

void FrmDesignSQL::CmdCancel_Click()
{
    try {
        m_userCancel = true;
        close();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QStringLiteral("CmdCancel_Click"));
    }
}
