#include "documents/DocumentScreen.h"

#include "documents/DocumentCommands.h"
#include "platform/ui/FieldWidth.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/PictureButton.h"
#include "services/DbGateway.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QComboBox *choiceList(QWidget *parent, const QString &name)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

QLabel *caption(QWidget *parent, const QString &name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// The toolbar's captions and the tags its click failures are reported under.
struct ToolLook
{
    const char *name;
    const char *text;
    const char *tag;
};
constexpr ToolLook kToolLooks[] = {
    {"Cmd_Add", "新增", "Cmd_Add_MouseClick"},       {"Cmd_Edit", "修改", "CMD_EDIT_MouseClick"},
    {"Cmd_Delete", "删除", "Cmd_Delete_MouseClick"}, {"Cmd_Ok", "确定", "Cmd_Ok_MouseClick"},
    {"cmd_cancel", "取消", "Cmd_Cancel_MouseClick"}, {"cmd_check", "审核", "Cmd_Check_MouseClick"},
    {"cmd_reset", "重置", "Cmd_Reset_MouseClick"},   {"Cmd_Find", "查询", "cmd_find_MouseClick"},
    {"Cmd_Print", "打印", "Cmd_print_MouseClick"},   {"Cmd_Preview", "预览", "Cmd_preview_MouseClick"},
    {"Cmd_Copy", "复制", "Cmd_Copy_MouseClick"},     {"Cmd_Import", "导入", "Cmd_Import_MouseClick"},
    {"Cmd_Close", "结案", "cmd_Close_MouseClick"},   {"Cmd_Help", "帮助", "cmd_Help_MouseClick"},
    {"cmd_quit", "退出", "cmd_quit_MouseClick"},
};

} // namespace

void DocumentScreen::build(QWidget *window, const DocumentKind &kind, const Command &command)
{
    auto *outer = new QVBoxLayout(window);
    // The toolbar: the buttons and their letters are the command table's; a
    // button the window has no look for (the report design button) is not built.
    auto *bar = new QHBoxLayout;
    bar->setSpacing(2);
    for (const ToolbarButton &button : DocumentCommands::buttons()) {
        const QString name = QString::fromLatin1(button.name);
        const auto look = std::find_if(std::begin(kToolLooks), std::end(kToolLooks),
                                       [&name](const ToolLook &l) { return name == QLatin1String(l.name); });
        if (look == std::end(kToolLooks))
            continue;
        auto *b = new PictureButton(QString::fromUtf8(look->text), window);
        b->setObjectName(name);
        QObject::connect(b, &PictureButton::clicked, window,
                         [command, letter = QString(QLatin1Char(button.letter)), tag = QString::fromLatin1(look->tag)] {
                             command(letter, tag);
                         });
        bar->addWidget(b);
    }
    bar->addStretch(1);

    outer->addLayout(bar);

    // Heading panel: heading, printed mark, import button.
    panel = new QFrame(window);
    panel->setObjectName(QStringLiteral("Picture1"));
    auto *panelLayout = new QHBoxLayout(panel);
    heading = caption(panel, QStringLiteral("Label_Title"), kind.heading);
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 8);
    f.setBold(true);
    heading->setFont(f);
    printed = caption(panel, QStringLiteral("Label_Printed"), QStringLiteral("已打印"));
    printed->setStyleSheet(QStringLiteral("color: red;"));
    printed->hide();
    import = new QPushButton(panel);
    import->setObjectName(QStringLiteral("Input_Mo_Mtr"));
    panelLayout->addWidget(printed);
    panelLayout->addStretch(1);
    panelLayout->addWidget(heading);
    panelLayout->addStretch(1);
    panelLayout->addWidget(import);
    outer->addWidget(panel);

    // Header fields.
    auto *head = new QGridLayout;
    invNo = choiceList(window, QStringLiteral("Inv_No"));
    invDate = new HeadItem(HeadItem::Date, window);
    invDate->setObjectName(QStringLiteral("Inv_Date"));
    invDate->setCaption(QStringLiteral("单据日期:"));
    orgName = choiceList(window, QStringLiteral("Org_Name"));
    browOrg = new QToolButton(window);
    browOrg->setObjectName(QStringLiteral("Cmd_Brow_Org"));
    browOrg->setText(QStringLiteral("..."));
    option1 = new QRadioButton(QStringLiteral("生产领料"), window);
    option1->setObjectName(QStringLiteral("Option1"));
    option2 = new QRadioButton(QStringLiteral("外发领料"), window);
    option2->setObjectName(QStringLiteral("Option2"));
    pcsNo = choiceList(window, QStringLiteral("Pcs_No"));
    browPcs = new QToolButton(window);
    browPcs->setObjectName(QStringLiteral("Cmd_Brow_Pcs"));
    browPcs->setText(QStringLiteral("..."));
    stockMode = choiceList(window, QStringLiteral("Stock_Mode"));
    propDuty = choiceList(window, QStringLiteral("Prop_Duty"));
    auto headItem = [window](const QString &name, const QString &text) {
        auto *h = new HeadItem(HeadItem::List, window);
        h->setObjectName(name);
        h->setCaption(text);
        return h;
    };
    const DocumentType type = kind.type;
    const QString procCaption = type == DocumentType::Return          ? QStringLiteral("退料:")
                                : type == DocumentType::Supplementary ? QStringLiteral("补料:")
                                                                      : QStringLiteral("领料:");
    procMan = headItem(QStringLiteral("Proc_Man"), procCaption);
    barMan = headItem(QStringLiteral("Bar_Man"), QStringLiteral("仓库:"));
    formMan = headItem(QStringLiteral("Form_Man"), QStringLiteral("制 表:"));
    checkMan = headItem(QStringLiteral("Check_Man"), QStringLiteral("审核:"));
    remark = new QLineEdit(window);
    remark->setObjectName(QStringLiteral("Remark"));
    rec411 = new QLineEdit(window);
    rec411->setObjectName(QStringLiteral("Rec_411"));
    rec411->setReadOnly(true);
    rec411->hide();

    orgLabel = caption(window, QStringLiteral("Label_Org"),
                       type == DocumentType::Return ? QStringLiteral("退料部门:") : QStringLiteral("领料部门:"));
    propLabel = caption(window, QStringLiteral("Label_Prop_Duty"),
                        type == DocumentType::Return          ? QStringLiteral("退料性质:")
                        : type == DocumentType::Supplementary ? QStringLiteral("补料性质:")
                                                              : QStringLiteral("领料性质:"));
    auto withButton = [window](QWidget *field, QWidget *button) {
        auto *box = new QWidget(window);
        auto *l = new QHBoxLayout(box);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(2);
        l->addWidget(field, 1);
        l->addWidget(button);
        return box;
    };
    auto *options = new QWidget(window);
    auto *ol = new QHBoxLayout(options);
    ol->setContentsMargins(0, 0, 0, 0);
    ol->addWidget(option1);
    ol->addWidget(option2);

    head->addWidget(caption(window, QStringLiteral("Label_Inv_No"), QStringLiteral("单据编号:")), 0, 0);
    head->addWidget(invNo, 0, 1);
    head->addWidget(invDate, 0, 2, 1, 2);
    head->addWidget(orgLabel, 0, 4);
    head->addWidget(withButton(orgName, browOrg), 0, 5);
    head->addWidget(options, 1, 0, 1, 2);
    head->addWidget(caption(window, QStringLiteral("Label_Pcs_No"), QStringLiteral("外发单号:")), 1, 2);
    head->addWidget(withButton(pcsNo, browPcs), 1, 3);
    head->addWidget(caption(window, QStringLiteral("Label_Stock_Mode"), QStringLiteral("扣库存方式:")), 1, 4);
    head->addWidget(stockMode, 1, 5);
    head->addWidget(propLabel, 2, 0);
    head->addWidget(propDuty, 2, 1);
    head->addWidget(procMan, 2, 2, 1, 2);
    head->addWidget(barMan, 2, 4, 1, 2);
    head->addWidget(formMan, 3, 0, 1, 2);
    head->addWidget(checkMan, 3, 2, 1, 2);
    head->addWidget(caption(window, QStringLiteral("Label_Remark"), QStringLiteral("备    注")), 3, 4);
    head->addWidget(remark, 3, 5);
    outer->addLayout(head);

    // Typing stops at the column's length, the same on every server.
    DbGateway::limitToColumn(invNo->lineEdit(), QStringLiteral("Mmst411"), QStringLiteral("Inv_No"));
    DbGateway::limitToColumn(orgName->lineEdit(), QStringLiteral("Mmst001"), QStringLiteral("Org_Name"));
    DbGateway::limitToColumn(pcsNo->lineEdit(), QStringLiteral("Mmst411"), QStringLiteral("Pcs_No"));
    DbGateway::limitToColumn(procMan->editor(), QStringLiteral("Mmst411"), QStringLiteral("Proc_Man"));
    DbGateway::limitToColumn(barMan->editor(), QStringLiteral("Mmst411"), QStringLiteral("Bar_Man"));
    DbGateway::limitToColumn(remark, QStringLiteral("Mmst411"), QStringLiteral("Remark"));

    grid = new FlexGrid(window);
    grid->setObjectName(QStringLiteral("Grid1"));
    outer->addWidget(grid, 1);
    window->resize(900, 600);
    fitToTexts();
}

QStringList DocumentScreen::longestNumbers()
{
    // Kind prefix, day and a four-digit sequence ("LL2612090001"), and the
    // user's code, month and sequence of the numbering ("CZM-26120001"), in
    // the widest letters.
    return {QStringLiteral("WW2612090001"), QStringLiteral("WWW-26120001")};
}

void DocumentScreen::fitToTexts()
{
    FieldWidth::fitCombo(invNo, longestNumbers());
}
