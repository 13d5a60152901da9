#pragma once

#include "platform/db/Sql.h"
#include "services/DocumentHistory.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

// One statement with its values, for the list picker.
// Where the needs of a usage import come from.
enum class UsageFamily {
    ManufacturingOrder, // bill of material of manufacturing orders (Mmst1141)
    Order,              // bill of material of orders (Mmst01123)
    Outsourcing,        // material lines of an outsourcing order (mmst1213)
};

// What the search of the import dialog works from.
struct UsageCriteria
{
    QString moNo;           // manufacturing-order prefix typed in the dialog
    QString orderNo;        // order prefix typed in the dialog
    QString pcsNo;          // outsourcing order of the calling document
    bool production = true; // the calling document is a production issue
    bool byOrder = false;   // the import works from the order's bill of material
    int stockMode = 2;      // 0 by material, 1 by order, 2 by manufacturing order
    QString propDuty;       // nature of the issue as a list position, "0".."4"

    UsageFamily family() const;
};

// One ticked proposal row as the save writes it.
struct UsageLine
{
    QString moNo;
    QString orderNo;
    QVariant rec611; // material key; null when the row has none
    double mtrAmt = 0;
    QString frmInv;
    QString frmType;
    QString pMtr; // the manufacturing order's model
    QString barNo;
    QString suplNo;
    QString prodNo;
    QString prodName;
    double dutyWeight = 0;
    QString colorNo;

    double dutyAmt() const { return mtrAmt * dutyWeight; }

    // The line of one grid row, from its cell texts by grid column (0 is the
    // row number, 1 the check box, then the proposal's columns in order).
    // Missing cells read as empty. No line for a row without manufacturing
    // order and material.
    static std::optional<UsageLine> fromCells(const QStringList &cells);
};

// What the save writes, besides the lines.
struct UsageSave
{
    qint64 rec411 = 0; // the calling document
    int stockMode = 2; // its stock-deduction mode
    QString userName;
    QDate updDate; // the workstation's date
    QList<UsageLine> lines;
    HistoryActor who; // the history rows' user and workstation (userName when none)
};

// Every statement of the usage import, callable without the dialog.
class UsageImportStore
{
public:
    // Grid columns of the proposal (column 0 is the grid's row number).
    // Every family returns all of them: the model is empty for the order
    // family, and the colour of the stock source (25) is for the save only.
    enum Column {
        ColCheck = 1,
        ColMoNo = 2,
        ColOrderNo = 3,
        ColRec611 = 4,
        ColMtrNo = 5,
        ColBarAmt = 10,
        ColOutAmt = 11,
        ColTotalAmt = 12,
        ColStillNeeded = 13,
        ColMtrAmt = 14,
        ColFrmInv = 15,
        ColFrmType = 16,
        ColFrmTypeName = 17,
        ColBarNo = 18,
        ColBarName = 19,
        ColSuplNo = 20,
        ColProdNo = 21,
        ColProdName = 22,
        ColDutyWeight = 23,
        ColMtrModel = 24,
        ColColorNo = 25,
    };

    // The site whose manufacturing-order imports propose the whole quantity
    // still needed on every source, whatever the source holds.
    static constexpr const char *UncappedSiteCode = "JJB";

    static constexpr const char *MsgNoRows = "没有符合查询条件的记录";
    static constexpr const char *MsgBadQuantity = "请输入正确的数据格式!";
    static constexpr const char *MsgConfirmSave = "确认要保存当前选择的数据到生产领料单吗?";

    static constexpr const char *OptionByOrder = "按订单用料控制领料";
    static constexpr const char *OptionSupplierNature = "领料严格按厂商性质";

    explicit UsageImportStore(const Connection &conn);

    // The proposal: one row per need still open and stock source that can
    // cover it, in the grid's column order from column 1 (an empty check
    // column first); the largest source of a need comes first.
    ResultSet proposals(const UsageCriteria &criteria) const;
    // The same search run so that keepGoing is called about every 50 ms
    // while it runs (a search over every order takes seconds); keepGoing
    // answering false stops it, and nothing comes back.
    std::optional<ResultSet> proposals(const UsageCriteria &criteria,
                                       const std::function<bool(qint64 elapsedMs)> &keepGoing) const;
    // The statement proposals() runs, with its values.
    Statement proposalStatement(const UsageCriteria &criteria) const;

    // Approved orders whose number starts with the typed text.
    Statement orderPicker(const QString &orderPrefix) const;
    // Approved manufacturing orders of products, optionally by number prefix.
    Statement moPicker(const QString &moPrefix) const;

    // Writes one Mmst412 row per line in one transaction, each with its
    // history row: all or nothing.
    // Refuses a document that no longer exists and a quantity that is
    // negative or not a number. Returns the number of rows written.
    qint64 writeLines(const UsageSave &save) const;
    // The same, a document that is no longer open refused with what the
    // clerk is told (nothing written) instead of thrown.
    struct Written
    {
        qint64 lines = 0;
        QString refusal; // empty: written
    };
    Written write(const UsageSave &save) const;

    // The option's value, empty when it is not set.
    QString option(const QString &itemNo) const;
    bool uncappedSite() const;

    // Quantity entry of the grid.
    enum class QuantityCheck { Accepted, NotANumber, Negative };
    static QuantityCheck checkQuantity(const QString &text);
    // The leading decimal number of a text (0 when it has none).
    static double leadingNumber(const QString &text);

private:
    Connection m_conn;
};
