#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class FlexGrid;
class QKeyEvent;
class QPushButton;

// The generic list picker: the caller hands it a SELECT statement, the user
// chooses one row of its result, and the caller reads that row's columns by
// position. One shared instance.
class FrmList final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kListColumns = 16;

    static FrmList &obtain(QWidget *parent = nullptr);
    static void release();

    // The statement to list, with "?" placeholders and their values; it is
    // read at once and cleared when the picker closes.
    void setW_Select_Data(const QString &sql, const QList<QVariant> &values = {});
    QString W_Select_Data() const { return m_sql; }

    // Columns 1 to 16 of the chosen row; empty until a row is chosen.
    QString List1() const { return m_listN[0]; }
    QString List2() const { return m_listN[1]; }
    QString List3() const { return m_listN[2]; }
    QString List4() const { return m_listN[3]; }
    QString List5() const { return m_listN[4]; }
    QString List6() const { return m_listN[5]; }
    QString List7() const { return m_listN[6]; }
    QString List8() const { return m_listN[7]; }
    QString List9() const { return m_listN[8]; }
    QString List10() const { return m_listN[9]; }
    QString List11() const { return m_listN[10]; }
    QString List12() const { return m_listN[11]; }
    QString List13() const { return m_listN[12]; }
    QString List14() const { return m_listN[13]; }
    QString List15() const { return m_listN[14]; }
    QString List16() const { return m_listN[15]; }
    // Column index (from 0) of the chosen row; empty outside the statement's columns.
    QString List(int index) const { return m_list.value(index); }

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    explicit FrmList(QWidget *parent);
    void Form_Load();
    bool handleKey(const QKeyEvent *event);
    void Command1_Click(int index);
    void layoutControls();
    // Columns and window as wide as the texts need, within the screen.
    void fitToContents();

    QString m_sql;
    QList<QVariant> m_values;
    QString m_listN[kListColumns];
    QStringList m_list;
    FlexGrid *m_grid = nullptr;
    QPushButton *m_command1[2] = {nullptr, nullptr};
    bool m_fitting = false;
};
