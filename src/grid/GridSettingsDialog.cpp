#include "grid/GridSettingsDialog.h"

#include "context/RunContext.h"
#include "grid/ExcelExport.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/widgets/FormDressing.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kForm = QStringLiteral("mmss_set");
const QString kDefaultFile = QStringLiteral("sys_gridc.ini");

QString uiText(const QString &text)
{
    return DbGateway::ChangeStrCode(text);
}

QString fieldKey(int index)
{
    return QStringLiteral("Field") + QString::number(index);
}

// A comma would split the stored line and shift the parts after it; the
// full-width comma reads the same to the user and is stored safely.
QString storable(const QString &text)
{
    return QString(text).replace(u',', QChar(0xFF0C));
}

} // namespace

const QStringList &mmss_set::alignmentLabels()
{
    static const QStringList labels = {
        QStringLiteral("左上对齐"), QStringLiteral("左中对齐"), QStringLiteral("左下对齐"),
        QStringLiteral("中上对齐"), QStringLiteral("中中对齐"), QStringLiteral("中下对齐"),
        QStringLiteral("右上对齐"), QStringLiteral("右中对齐"), QStringLiteral("通    用"),
    };
    return labels;
}

mmss_set::mmss_set(QWidget *parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_width(new QLineEdit(this)), m_colAlign(new QComboBox(this)),
      m_headAlign(new QComboBox(this)), m_frozen(new QLineEdit(this)), m_all1(new QPushButton(this)),
      m_all2(new QPushButton(this)), m_templateGroup(new QGroupBox(this)), m_design(new QPushButton(m_templateGroup)),
      m_deleteModel(new QPushButton(m_templateGroup)), m_ok(new QPushButton(this)), m_cancel(new QPushButton(this)),
      m_popup(new QMenu(this))
{
    setObjectName(kForm);
    setWindowTitle(uiText(QStringLiteral("表格设定")));
    m_list->setObjectName(QStringLiteral("List1"));
    m_width->setObjectName(QStringLiteral("col_width"));
    m_colAlign->setObjectName(QStringLiteral("col_Aligment"));
    m_headAlign->setObjectName(QStringLiteral("head_Aligment"));
    m_frozen->setObjectName(QStringLiteral("FrozenCols"));
    m_all1->setObjectName(QStringLiteral("Cmd_ALL1"));
    m_all2->setObjectName(QStringLiteral("Cmd_ALL2"));
    m_design->setObjectName(QStringLiteral("Cmd_DesignModel"));
    m_deleteModel->setObjectName(QStringLiteral("Cmd_DeleteModel"));
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_cancel->setObjectName(QStringLiteral("cmd_cancel"));
    m_templateGroup->setObjectName(QStringLiteral("ExcelTemplateGroup"));

    m_templateGroup->setTitle(uiText(QStringLiteral("表格导出Excel模板")));
    m_design->setText(uiText(QStringLiteral("保存为Excel模板(&M)")));
    m_deleteModel->setText(uiText(QStringLiteral("删除Excel模板(&M)")));
    m_ok->setText(uiText(QStringLiteral("确定(&Y)")));
    m_cancel->setText(uiText(QStringLiteral("取消(&N)")));
    m_ok->setDefault(true);

    auto *addAction = m_popup->addAction(uiText(QStringLiteral("新增")));
    addAction->setObjectName(QStringLiteral("Menu_Add"));
    auto *editAction = m_popup->addAction(uiText(QStringLiteral("修改")));
    editAction->setObjectName(QStringLiteral("menu_edit"));
    auto *deleteAction = m_popup->addAction(uiText(QStringLiteral("删除")));
    deleteAction->setObjectName(QStringLiteral("mnu_Delete"));

    auto *right = new QGridLayout;
    right->addWidget(new QLabel(uiText(QStringLiteral("栏位宽度:")), this), 0, 0);
    right->addWidget(m_width, 0, 1);
    right->addWidget(new QLabel(uiText(QStringLiteral("标题对齐方式:")), this), 1, 0);
    right->addWidget(m_headAlign, 1, 1);
    right->addWidget(m_all1, 1, 2);
    right->addWidget(new QLabel(uiText(QStringLiteral("栏位对齐方式:")), this), 2, 0);
    right->addWidget(m_colAlign, 2, 1);
    right->addWidget(m_all2, 2, 2);
    right->addWidget(new QLabel(uiText(QStringLiteral("冻结栏数:")), this), 3, 0);
    right->addWidget(m_frozen, 3, 1);
    auto *groupLayout = new QVBoxLayout(m_templateGroup);
    groupLayout->addWidget(m_design);
    groupLayout->addWidget(m_deleteModel);
    right->addWidget(m_templateGroup, 4, 0, 1, 3);
    right->setRowStretch(5, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    right->addLayout(buttons, 6, 0, 1, 3);
    auto *main = new QHBoxLayout(this);
    main->addWidget(m_list, 1);
    main->addLayout(right);

    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->installEventFilter(this);

    connect(m_list, &QListWidget::currentRowChanged, this, [this] {
        if (!m_filling)
            List1_Click();
    });
    connect(m_list, &QListWidget::itemChanged, this, &mmss_set::tickChanged);
    connect(m_list, &QListWidget::customContextMenuRequested, this, &mmss_set::showPopup);
    connect(m_width, &QLineEdit::textEdited, this, &mmss_set::col_width_Change);
    connect(m_colAlign, &QComboBox::activated, this, &mmss_set::col_Aligment_Click);
    connect(m_headAlign, &QComboBox::activated, this, &mmss_set::head_Aligment_Click);
    connect(m_frozen, &QLineEdit::editingFinished, this, &mmss_set::FrozenCols_Validate);
    connect(m_all1, &QPushButton::clicked, this, &mmss_set::Cmd_ALL1_Click);
    connect(m_all2, &QPushButton::clicked, this, &mmss_set::Cmd_ALL2_Click);
    connect(m_design, &QPushButton::clicked, this, &mmss_set::Cmd_DesignModel_Click);
    connect(m_deleteModel, &QPushButton::clicked, this, &mmss_set::Cmd_DeleteModel_Click);
    connect(m_ok, &QPushButton::clicked, this, &mmss_set::Cmd_Ok_Click);
    connect(m_cancel, &QPushButton::clicked, this, &mmss_set::Cmd_Cancel_Click);
    connect(addAction, &QAction::triggered, this, &mmss_set::Menu_Add_Click);
    connect(editAction, &QAction::triggered, this, &mmss_set::Menu_Edit_Click);
    connect(deleteAction, &QAction::triggered, this, &mmss_set::mnu_Delete_Click);

    const auto shortcut = [this](QKeyCombination keys, void (mmss_set::*slot)()) {
        auto *s = new QShortcut(QKeySequence(keys), this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    shortcut(Qt::ALT | Qt::Key_A, &mmss_set::Menu_Add_Click);
    shortcut(Qt::ALT | Qt::Key_E, &mmss_set::Menu_Edit_Click);
    shortcut(Qt::ALT | Qt::Key_D, &mmss_set::mnu_Delete_Click);
}

template <typename Body>
void mmss_set::guarded(const char *procedure, Body body)
{
    try {
        body();
    } catch (...) {
        ErrorReporter::ReportError(kForm, QString::fromLatin1(procedure));
    }
}

void mmss_set::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded)
        Form_Load();
}

bool mmss_set::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded("List1_KeyPress", [&] { Menu_Edit_Click(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

int mmss_set::selectedLine() const
{
    return m_list->currentRow();
}

int mmss_set::lineCount() const
{
    return m_list->count();
}

QString mmss_set::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog box(this);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setInputMode(QInputDialog::TextInput);
    box.setLabelText(uiText(prompt));
    box.setWindowTitle(uiText(title));
    box.setTextValue(defaultText);
    if (ModalRunner::exec(&box) != QDialog::Accepted)
        return {};
    return box.textValue();
}

void mmss_set::Form_Load()
{
    guarded("Form_Load", [&] {
        m_loaded = true;
        if (Gridc_File.isEmpty())
            Gridc_File = kDefaultFile;
        m_filling = true;
        m_colAlign->clear();
        m_headAlign->clear();
        for (const QString &label : alignmentLabels()) {
            m_colAlign->addItem(uiText(label));
            m_headAlign->addItem(uiText(label));
        }
        m_all1->setText(uiText(QStringLiteral("全部")));
        m_all2->setText(uiText(QStringLiteral("全部")));
        m_templateGroup->setEnabled(Enabled_TO_Excel);
        m_filling = false;
        DressForm(this);
        init_form();
    });
}

void mmss_set::init_form()
{
    guarded("init_form", [&] {
        m_filling = true;
        ClearGridLayout(m_layout);
        LoadGridLayout(Get_FormName, Get_GridName, m_layout, Gridc_File);
        m_list->clear();
        const int count = GridLayoutCount(m_layout);
        for (int i = 0; i < count; ++i) {
            auto *item = new QListWidgetItem(m_layout[i].caption);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(GridLayoutVisibility(m_layout[i].visible) == 1 ? Qt::Checked : Qt::Unchecked);
            m_list->addItem(item);
        }
        m_all1->setEnabled(count > 0);
        m_all2->setEnabled(count > 0);
        // The box shows what is stored, so confirming without a change keeps it.
        m_frozen->setText(QString::number(m_layout[0].frozenCols));
        if (count > 0)
            m_list->setCurrentRow(0);
        m_filling = false;
        if (count > 0)
            List1_Click();
    });
}

void mmss_set::List1_Click()
{
    guarded("List1_Click", [&] {
        const int p = selectedLine();
        if (lineCount() == 0 || p < 0)
            return;
        const GridLayoutEntry &e = m_layout[p];
        m_width->setText(ShortNumberText(std::round(e.width * 100) / 100));
        m_headAlign->setCurrentIndex(e.headAlignment >= 0 && e.headAlignment <= 8 ? e.headAlignment : -1);
        m_colAlign->setCurrentIndex(e.colAlignment >= 0 && e.colAlignment <= 8 ? e.colAlignment : -1);
        m_layout[p].visible =
            m_list->item(p)->checkState() == Qt::Checked ? QStringLiteral("True") : QStringLiteral("False");
        m_list->setToolTip(uiText(QStringLiteral("当前列号为:")) + QString::number(p + 1));
    });
}

void mmss_set::tickChanged(QListWidgetItem *item)
{
    if (m_filling)
        return;
    guarded("List1_Click", [&] {
        const int line = m_list->row(item);
        if (line < 0)
            return;
        const bool ticked = item->checkState() == Qt::Checked;
        m_layout[line].visible = ticked ? QStringLiteral("True") : QStringLiteral("False");
        if (ticked)
            return;
        for (int i = 0; i < lineCount(); ++i) {
            if (m_list->item(i)->checkState() == Qt::Checked)
                return;
        }
        ErrorReporter::ShowErpMessage(kForm, QStringLiteral("List1_Click_1"),
                                      uiText(QStringLiteral("请不要把全部栏位隐藏")), MessageStyle::Information,
                                      runContext().Msg_Title);
        // Refused: the line the user cleared stays shown.
        m_filling = true;
        item->setCheckState(Qt::Checked);
        m_filling = false;
        m_layout[line].visible = QStringLiteral("True");
    });
}

void mmss_set::col_width_Change()
{
    guarded("col_width_Change", [&] {
        const int p = selectedLine();
        if (p >= 0 && p < lineCount())
            m_layout[p].width = LeadingNumber(m_width->text());
    });
}

void mmss_set::col_Aligment_Click()
{
    guarded("col_Aligment_Click", [&] {
        const int p = selectedLine();
        if (m_colAlign->currentIndex() >= 0 && p >= 0 && p < lineCount())
            m_layout[p].colAlignment = qint16(m_colAlign->currentIndex());
    });
}

void mmss_set::head_Aligment_Click()
{
    guarded("head_Aligment_Click", [&] {
        const int p = selectedLine();
        if (m_headAlign->currentIndex() >= 0 && p >= 0 && p < lineCount())
            m_layout[p].headAlignment = qint16(m_headAlign->currentIndex());
    });
}

void mmss_set::FrozenCols_Validate()
{
    guarded("FrozenCols_Validate", [&] {
        double value = LeadingNumber(m_frozen->text());
        if (value < 0) {
            m_frozen->setText(QStringLiteral("0"));
            value = 0;
        }
        m_layout[0].frozenCols = qint16(std::min(std::round(value), 32767.0));
    });
}

void mmss_set::Cmd_ALL1_Click()
{
    guarded("Cmd_ALL1_Click", [&] {
        const int code = m_headAlign->currentIndex();
        if (code < 0 || lineCount() == 0)
            return;
        for (int i = 0; i < lineCount(); ++i)
            m_layout[i].headAlignment = qint16(code);
    });
}

void mmss_set::Cmd_ALL2_Click()
{
    guarded("Cmd_ALL2_Click", [&] {
        const int code = m_colAlign->currentIndex();
        if (code < 0 || lineCount() == 0)
            return;
        for (int i = 0; i < lineCount(); ++i)
            m_layout[i].colAlignment = qint16(code);
    });
}

void mmss_set::Menu_Add_Click()
{
    guarded("Menu_Add_Click", [&] {
        const int p = selectedLine();
        const QString caption = storable(inputBox(QStringLiteral("新增表格中文标识标题"), QStringLiteral("中文标识"),
                                                  QStringLiteral("字段") + QString::number(p)));
        if (caption.isEmpty())
            return;
        const QString field = storable(inputBox(QStringLiteral("新增英文表格标识标题"), QStringLiteral("英文标识"),
                                                QStringLiteral("Field") + QString::number(p)));
        if (field.isEmpty())
            return;
        const int n = lineCount();
        if (n >= kGridLayoutEntries)
            throw ErpError(9, kForm, QStringLiteral("表格最多只能有 %1 个栏位").arg(kGridLayoutEntries));

        // Without a selected line the new column goes after the last one.
        const int at = p < 0 ? n : p;
        for (int i = n; i > at; --i) {
            CopyGridLayoutColumn(m_layout[i], m_layout[i - 1]);
            m_layout[i].key = fieldKey(i);
        }
        GridLayoutEntry &added = m_layout[at];
        if (at > 0) {
            CopyGridLayoutColumn(added, m_layout[at - 1]);
        } else if (n == 0) {
            added.width = 1200;
            added.headAlignment = 4;
            added.colAlignment = 1;
            added.visible = QStringLiteral("True");
        }
        added.caption = caption;
        added.fieldName = field;
        added.key = fieldKey(at);
        m_layout[0].colCount = qint16(n + 1);

        if (!SaveGridLayout(Get_FormName, Get_GridName, m_layout, Gridc_File))
            throw ErpError(70, kForm, QStringLiteral("设定文件无法写入: ") + Gridc_File);
        init_form();
        if (at < lineCount()) {
            m_list->setCurrentRow(at);
            m_list->item(at)->setCheckState(Qt::Checked);
        }
    });
}

void mmss_set::Menu_Edit_Click()
{
    guarded("Menu_Edit_Click", [&] {
        const int p = selectedLine();
        if (p < 0 || p >= lineCount())
            return;
        const QString caption = storable(inputBox(QStringLiteral("修改表格标识标题"), QStringLiteral("修改标识"),
                                                  m_list->item(p)->text().trimmed()));
        if (caption.isEmpty())
            return;
        m_list->item(p)->setText(caption);
        m_layout[p].caption = caption;
    });
}

void mmss_set::mnu_Delete_Click()
{
    guarded("mnu_Delete_Click", [&] {
        const int p = selectedLine();
        const QString id = QStringLiteral("mnu_Delete_Click_1");
        if (p < 0 || p >= lineCount()) {
            ErrorReporter::ShowErpMessage(kForm, id, uiText(QStringLiteral("请选择要删除的项!")),
                                          MessageStyle::Information, QStringLiteral("提示"));
            return;
        }
        const QString question = uiText(QStringLiteral("确认要删除 ")) + m_list->item(p)->text() + QStringLiteral(" ?");
        if (ErrorReporter::ShowErpMessage(kForm, id, question, MessageStyle::YesNoQuestionSecond,
                                          QStringLiteral("提示")) != MessageAnswer::Yes)
            return;
        const int n = lineCount();
        // Only the columns move; row height and frozen columns stay with the grid.
        for (int i = p; i < n - 1; ++i) {
            CopyGridLayoutColumn(m_layout[i], m_layout[i + 1]);
            m_layout[i].key = fieldKey(i);
        }
        m_layout[n - 1].fieldName.clear();
        m_layout[n - 1].key.clear();
        m_layout[0].colCount = qint16(n - 1);
        if (!SaveGridLayout(Get_FormName, Get_GridName, m_layout, Gridc_File) ||
            !IniFile::writeString(Gridc_File, Get_FormName + Get_GridName, fieldKey(n - 1), QString()))
            throw ErpError(70, kForm, QStringLiteral("设定文件无法写入: ") + Gridc_File);
        init_form();
    });
}

void mmss_set::Cmd_DesignModel_Click()
{
    guarded("Cmd_DesignModel_Click", [&] {
        FlexGrid *grid = Source_Grid.data();
        if (!grid)
            throw ErpError(91, kForm, QStringLiteral("找不到表格 ") + W_GridRealName);
        const FlexGridExport source(*grid);
        ExcelExport::DesignTemplate(source, GridExportInfo{Get_FormName, Get_GridName, W_Caption, this});
    });
}

void mmss_set::Cmd_DeleteModel_Click()
{
    guarded("Cmd_DeleteModel_Click", [&] { ExcelExport::DeleteTemplate(Get_FormName, Get_GridName); });
}

void mmss_set::Cmd_Ok_Click()
{
    guarded("Cmd_Ok_Click", [&] {
        // A layout that could not be stored is reported and the dialog stays open.
        if (!SaveGridLayout(Get_FormName, Get_GridName, m_layout, Gridc_File))
            throw ErpError(70, kForm, QStringLiteral("设定文件无法写入: ") + Gridc_File);
        emit layoutSaved();
        accept();
    });
}

void mmss_set::Cmd_Cancel_Click()
{
    guarded("Cmd_Cancel_Click", [&] { reject(); });
}

void mmss_set::showPopup(const QPoint &pos)
{
    guarded("List1_MouseDown", [&] {
        QListWidgetItem *item = m_list->itemAt(pos);
        if (!item || lineCount() == 0)
            return;
        m_list->setCurrentItem(item);
        m_popup->popup(m_list->viewport()->mapToGlobal(pos));
    });
}
