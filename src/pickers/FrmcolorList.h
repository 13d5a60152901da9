#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QVariant>

class FlexGrid;
class HeadItem;
class Kesto_VSFlexgrid;
class QKeyEvent;
class QPushButton;

// The colour picker: lists the colours with their type and English names,
// filtered by type, code, name and English name, and returns the chosen
// colour's values. One shared instance.
class FrmcolorList final : public QDialog
{
    Q_OBJECT
public:
    static FrmcolorList &obtain(QWidget *parent = nullptr);
    static void release();

    // A condition on mmst604/mmst605/mmst6051 with "?" placeholders and the
    // values bound to them; empty lists every colour. To open the list on one
    // colour name: setG_color_Filter("mmst605.Color_Name = ?", {name}).
    void setG_color_Filter(const QString &condition, const QList<QVariant> &values = {});
    QString G_color_Filter() const { return m_filter; }
    QList<QVariant> G_color_FilterValues() const { return m_filterValues; }

    // List the customers' alternative English names beside the default ones.
    void setShow_Ename(bool show) { m_showEname = show; }
    bool Show_Ename() const { return m_showEname; }

    QString Get_Color_TYPE() const { return m_type; }
    QString Get_Color_no() const { return m_no; }
    QString Get_color_name() const { return m_name; }
    // The alternative English name when listed and not empty, else the default one.
    QString Get_Color_ename() const { return m_ename; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FrmcolorList(QWidget *parent);
    HeadItem *addField(const char *name, const char *caption, int kind);
    void Form_Load();
    void SELECT_Data();
    void Cmd_Find_Click();
    void Color_Type_Validate();
    void Command1_Click(int index);
    bool handleKey(QObject *watched, const QKeyEvent *event);

    QString m_filter;
    QList<QVariant> m_filterValues;
    bool m_showEname = false;
    bool m_typeEdited = false; // the type field changed since the list was last built
    QString m_type;
    QString m_no;
    QString m_name;
    QString m_ename;

    HeadItem *m_colorType = nullptr;
    HeadItem *m_colorNo = nullptr;
    HeadItem *m_colorName = nullptr;
    HeadItem *m_colorEname = nullptr;
    QPushButton *m_find = nullptr;
    QPushButton *m_command1[2] = {nullptr, nullptr};
    FlexGrid *m_grid = nullptr;
    Kesto_VSFlexgrid *m_kesto = nullptr;
};
