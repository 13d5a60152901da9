#pragma once

#include "documents/DocumentKind.h"

#include <QString>

#include <functional>

class FlexGrid;
class HeadItem;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

// The controls of a document window, laid out once: the toolbar, the heading
// panel, the header fields and the line grid. Every control carries the name
// rights, dressing and shortcuts find it by.
struct DocumentScreen
{
    // A toolbar click: the command letter and the tag its failure is reported under.
    using Command = std::function<void(const QString &letter, const QString &tag)>;
    void build(QWidget *window, const DocumentKind &kind, const Command &command);
    // Widens what is too narrow for its longest value at the font the
    // dressing chose (run after dressing): the document number box.
    void fitToTexts();
    // The longest document numbers the numbering and the factory make.
    static QStringList longestNumbers();

    QFrame *panel = nullptr;
    QLabel *heading = nullptr;
    QLabel *printed = nullptr;
    QPushButton *import = nullptr;
    QComboBox *invNo = nullptr;
    HeadItem *invDate = nullptr;
    QLabel *orgLabel = nullptr;
    QComboBox *orgName = nullptr;
    QToolButton *browOrg = nullptr;
    QRadioButton *option1 = nullptr;
    QRadioButton *option2 = nullptr;
    QComboBox *pcsNo = nullptr;
    QToolButton *browPcs = nullptr;
    QComboBox *stockMode = nullptr;
    QLabel *propLabel = nullptr;
    QComboBox *propDuty = nullptr;
    HeadItem *procMan = nullptr;
    HeadItem *barMan = nullptr;
    HeadItem *formMan = nullptr;
    HeadItem *checkMan = nullptr;
    QLineEdit *remark = nullptr;
    QLineEdit *rec411 = nullptr;
    FlexGrid *grid = nullptr;
};
