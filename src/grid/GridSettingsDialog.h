#pragma once

#include "grid/GridLayout.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class FlexGrid;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;

// "表格设定": the user's arrangement of one grid's columns (shown, width,
// alignments, frozen columns), adding, renaming and removing columns, and the
// grid's Excel template. The caller sets the members below, then runs the
// dialog through ModalRunner; the contents load when it is first shown.
class mmss_set : public QDialog
{
    Q_OBJECT
public:
    explicit mmss_set(QWidget *parent = nullptr);

    QPointer<QWidget> Parent_form; // the window that owns the grid
    QString Get_FormName;
    QString Get_GridName;
    QString Gridc_File;             // the settings file; "sys_gridc.ini" when empty
    QString W_Caption;              // title of a new Excel template
    bool Enabled_TO_Excel = false;  // enables the template buttons
    QString W_GridRealName;         // control name of the grid on Parent_form
    QPointer<FlexGrid> Source_Grid; // the grid itself, the model of a new Excel template

    // The dialog's copy of the layout.
    const GridLayout &layout() const { return m_layout; }

    static const QStringList &alignmentLabels();

signals:
    // The layout was stored on OK, before the dialog closes.
    void layoutSaved();

public slots:
    void Form_Load();
    void List1_Click();
    void col_width_Change();
    void col_Aligment_Click();
    void head_Aligment_Click();
    void FrozenCols_Validate();
    void Cmd_ALL1_Click();
    void Cmd_ALL2_Click();
    void Menu_Add_Click();
    void Menu_Edit_Click();
    void mnu_Delete_Click();
    void Cmd_DesignModel_Click();
    void Cmd_DeleteModel_Click();
    void Cmd_Ok_Click();
    void Cmd_Cancel_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void init_form();
    void tickChanged(QListWidgetItem *item);
    void showPopup(const QPoint &pos);
    int selectedLine() const;
    int lineCount() const;
    // Asks for a text; empty when the user cancels or leaves it empty.
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText);
    // Runs one event procedure, reporting any failure under its name.
    template <typename Body>
    void guarded(const char *procedure, Body body);

    GridLayout m_layout;
    bool m_loaded = false;
    bool m_filling = false;

    QListWidget *m_list;
    QLineEdit *m_width;
    QComboBox *m_colAlign;
    QComboBox *m_headAlign;
    QLineEdit *m_frozen;
    QPushButton *m_all1;
    QPushButton *m_all2;
    QGroupBox *m_templateGroup;
    QPushButton *m_design;
    QPushButton *m_deleteModel;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QMenu *m_popup;
};
