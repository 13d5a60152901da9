#pragma once

#include "lines/LineHost.h"
#include "lines/LineStore.h"
#include "lines/SourceLists.h"

#include <QDialog>
#include <QList>
#include <QString>

class HeadItem;
class PictureButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QToolButton;

// The entry of one document line (a row of Mmst412): added, changed or
// viewed. The opener hands it a request and itself as the host, runs the
// dialog modally and discards it; the dialog writes the row itself and tells
// the host which line it wrote.
class Frm40BMx final : public QDialog
{
    Q_OBJECT
public:
    Frm40BMx(LineHost *host, const LineRequest &request, QWidget *parent = nullptr);
    ~Frm40BMx() override;

    // From the request; Rec_412 follows the line saved.
    QString Rec_412;       // the line changed or viewed; after a save the row written
    bool Out_Flag = false; // an outsourcing document
    QString Rec_411;
    QString Rec_611;
    QString W_STOCK_MODE; // "0" by material, "1" by order, "2" by manufacturing order
    QString W_Prop_Duty;  // the header's nature of issue as a list position
    HistoryActor Who;     // whom the line's history row names (the user signed in when none)

    void setModify(int mode) { m_modify = mode; }
    int Modify() const { return m_modify; }
    void setInv_Type(const QString &kind) { W_Inv_type = kind; }
    QString Inv_Type() const { return W_Inv_type; }
    LineHost *host() const { return m_host; }

    // The hidden stock-deduction choice (-1 for none).
    void setStockModePosition(int position);
    int stockModePosition() const;
    // A field's text by its name (choices and items alike).
    void setFieldText(const QString &name, const QString &text);
    QString fieldText(const QString &name) const;

    // Source supplier of the chosen receipt and the supplier's property code.
    void Get_Supl_No();
    QString sourceSupplierNo() const { return m_sourceSupplierNo; }
    QString supplierPropertyCode() const { return m_supplierPropertyCode; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *addChoice(const QString &name, const QString &caption, int row, int column,
                         QToolButton *browse = nullptr);
    HeadItem *addItem(const QString &name, const QString &caption, int row, int column, bool browse = false);
    QToolButton *browseButton(const QString &name);
    void buildScreen();
    void Form_Load();
    void Form_Activate();
    void ReadShow();
    void Lock_Control(bool locked);
    void FillList();
    // True (the user told, the focus on the field) when a field holds a
    // character no server can keep.
    bool refusedControlCharacters();
    bool m_refusing = false;
    void Mo_No_Validate();
    void Mtr_Amt_KeyPress();
    void Cmd_Ok_MouseClick();
    void Cmd_Brow_Order_Click();
    void cmd_Browse_Mo_Click();
    void cmd_mtr_brow_Click();
    void cmd_frminv_brow_Click();
    void Cmd_Browse_Bar_Click();
    void color_name_UserRefer();

    LineInputs inputs() const;
    LineEntry entry() const;
    // Runs the list picker on a statement; the chosen row's columns, or
    // an empty list when the user chose nothing.
    QStringList pickFromList(const Statement &query);
    void showRefusal(const LineRefusal &refusal);
    // Puts the focus on the first enabled field after this one in tab order.
    void focusAfter(QWidget *field);
    QString T(const QString &name) const { return fieldText(name).trimmed(); }

    QString W_Inv_type;
    int m_modify = 0;
    LineHost *m_host = nullptr;
    bool m_loading = false;
    bool m_activated = false;
    bool m_filling = false;
    bool m_issueByOrderUsage = false;
    QString m_sourceTypeCode;
    QString m_sourceSupplierNo;
    QString m_supplierPropertyCode;
    // The document's connection and user, whatever a later ShowFrm sets.
    Connection m_conn;
    QString m_userName;
    SourceLists m_lists;
    LineStore m_store;

    QList<QWidget *> m_tabFields; // tab order
    QFrame *m_frame = nullptr;
    QComboBox *m_frmInv = nullptr;
    QComboBox *m_frmType = nullptr;
    QComboBox *m_mtrNo = nullptr;
    QComboBox *m_orderNo = nullptr;
    QComboBox *m_moNo = nullptr;
    QComboBox *m_barName = nullptr;
    QComboBox *m_stockMode = nullptr;
    QLabel *m_stockModeLabel = nullptr;
    QFrame *m_stockModeLine = nullptr;
    HeadItem *m_mtrName = nullptr;
    HeadItem *m_mtrDim = nullptr;
    HeadItem *m_unitName = nullptr;
    HeadItem *m_colorName = nullptr;
    HeadItem *m_totalAmt = nullptr;
    HeadItem *m_getAmt = nullptr;
    HeadItem *m_useAmt = nullptr;
    HeadItem *m_barAmt = nullptr;
    HeadItem *m_mtrAmt = nullptr;
    HeadItem *m_remark = nullptr;
    QCheckBox *m_chkCopy = nullptr;
    QCheckBox *m_chkAdd = nullptr;
    QToolButton *m_browOrder = nullptr;
    QToolButton *m_browMo = nullptr;
    QToolButton *m_browMtr = nullptr;
    QToolButton *m_browFrmInv = nullptr;
    QToolButton *m_browBar = nullptr;
    PictureButton *m_ok = nullptr;
    PictureButton *m_cancel = nullptr;
};
