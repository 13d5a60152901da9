#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Sql.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

// What the line dialog holds when it refills its lists: the document it
// belongs to and the texts the user has entered so far.
struct LineInputs
{
    QString invType;          // '1' issue, '2' return, '3' supplementary issue
    bool outsourcing = false; // Out_Flag of the calling document
    QString pcsNo;            // outsourcing order number of the calling document
    QString stockMode;        // W_STOCK_MODE: "0", "1", "2"; any other text reads as "1"
    int modify = 0;           // 0 add, 2 change, 3 view
    QString rec412;           // the line being changed (mode 2)
    bool issueByOrderUsage = false;
    bool loading = false; // first activation: no list chooses its single entry

    // Field texts as typed (untrimmed).
    QString mtrNo;
    QString orderNo;
    QString moNo;
    QString frmInv;
    QString frmType; // source type name
    QString barName; // warehouse location name

    QStringList mtrNoList;    // what the material list holds before the refill
    QString sourceSupplierNo; // kept when no source names a supplier
};

// What one refill produced. Lists left as they were are empty optionals.
// A refill that fails stops at a step; only the steps before it count.
struct FillResult
{
    enum Step {
        MaterialKey,
        MoList,
        MaterialList,
        ReceiptList,
        TypeList,
        TypeCode,
        LocationList,
        Description,
        TotalUsage,
        Issued, // Use_amt and, on an issue, Get_amt
        SourceStock,
        Supplier,
        AllSteps
    };
    int stepsDone = 0; // the steps finished, in the order above
    bool done(Step step) const { return step < stepsDone; }

    QString rec611; // "-1" when the material number matches no material
    std::optional<QStringList> moNoList;
    std::optional<QStringList> mtrNoList;
    QStringList frmInvList;
    QStringList frmTypeList;
    QStringList barNameList;
    QString sourceTypeCode;
    QString mtrName;
    QString mtrDim;
    QString unitName;
    std::optional<QString> totalAmt; // issues only; a return leaves it alone
    std::optional<QString> getAmt;   // issues only
    QString useAmt;
    QString barAmt;
    QString sourceSupplierNo;
};

// Every statement the line dialog reads its choice lists and amounts with.
// Values travel as bound parameters; failures throw ErpError for the dialog
// to report under its own procedure name.
class SourceLists
{
public:
    explicit SourceLists(const Connection &conn);

    // Refills everything in order. An automatic single choice becomes the
    // field's text in `in` (and an input of the steps after it); `out` holds
    // what the steps finished before a failure.
    void fill(LineInputs &in, FillResult &out) const;

    // The steps, each on the texts it is given.
    QString materialKey(const LineInputs &in) const; // "-1" when none
    QStringList moNumbers(const LineInputs &in) const;
    std::optional<QStringList> materials(const LineInputs &in) const; // nullopt: leave the list
    QStringList sourceReceipts(const LineInputs &in) const;
    QStringList sourceTypes(const LineInputs &in) const;
    QString sourceTypeCode(const QString &typeName) const;
    QStringList locations(const LineInputs &in) const;
    // Name, dimensions (规格) and unit; all empty unless exactly one material matches.
    QStringList description(const QString &mtrNo) const;
    QString totalUsage(const LineInputs &in) const;     // issues
    QString issuedQuantity(const LineInputs &in) const; // issues
    // Net quantity issued from this very source, for a return; empty when none.
    QString returnableQuantity(const LineInputs &in, const QString &rec611, const QString &typeCode) const;
    QString sourceStock(const LineInputs &in) const;
    // The supplier of the source's stock rows, or `current` when none names one.
    QString stockSupplier(const LineInputs &in, const QString &typeCode, const QString &current) const;

    // The supplier of a receipt by its source type name, or `current` for a
    // type that has no receipt table here.
    QString receiptSupplier(const QString &typeName, const QString &frmInv, const QString &current) const;
    // "1" 可转厂, "2" 可开发票, "3" 通知单, "0" anything else.
    QString supplierPropertyCode(const QString &suplNo) const;

    // The picker statements behind the browse buttons. Typed texts are
    // prefixes. Columns, in this order:
    // orders: 订单代号, 订单日期, 客户代号, 客户名称 (of the outsourcing order
    //   when outsourcing is done by order);
    // manufacturing orders: 制号, 订单代号 (then 款号, 客户订单 on a production document);
    // materials with stock: 来料单号, 来料类型, 订单代号, 材料代号, 材料名称,
    //   材料规格, 颜色, the quantity (已领数量 on a return, else 库存数量), 仓别
    //   (then 制号 and 型号, or 型号 alone under order usage);
    // source receipts: 来料单号, 来料类型, 订单代号, 材料代号, 材料名称, 材料规格,
    //   the quantity, 仓别.
    Statement orderPicker(const LineInputs &in) const;
    Statement moPicker(const LineInputs &in) const;
    Statement materialPicker(const LineInputs &in) const;
    Statement receiptPicker(const LineInputs &in) const;

    // The order a manufacturing order belongs to; empty when none.
    QString orderOfMo(const QString &moNo) const;
    // The option "按订单用料控制领料": its value as a number is not zero.
    bool issueByOrderUsage() const;
    // An option's value, trimmed; empty when missing.
    QString option(const QString &name) const;

    // " AND order = ? AND mo = ?" for a stock row under the line's mode, its
    // two values appended: by material neither part, by order the order,
    // by manufacturing order both; any other mode reads as by order.
    static QString stockModeCondition(const Dialect &d, const QString &orderColumn, const QString &moColumn,
                                      const LineInputs &in, bool nullAsEmpty, QList<QVariant> &values);

    // A text read as its leading decimal number; 0 when it has none.
    static double leadingNumber(const QString &text);

private:
    // " AND ..." narrowing a return picker's lines of Mmst412 to what the
    // return's check accepts; its values appended.
    QString returnSourceCondition(const LineInputs &in, QList<QVariant> &values) const;

    // A statement on the lists' kept statements: each is prepared once per
    // dialog (on a server, once per session) and run again with new values.
    Sql kept(const QString &text) const { return Sql(*m_statements, text); }
    // The lists that do not depend on what is typed (the manufacturing
    // orders), kept from one refill to the next while the database's state
    // token stays the same: a return's list of every manufacturing order
    // ever issued grows with the years, and nothing is read for it again
    // until something in the database has changed.
    struct KeptLists
    {
        QString token;
        QHash<QString, QStringList> lists;
        // A return's manufacturing orders (by nature) with the key version
        // of the count they were read from: kept across other changes.
        QHash<QString, QPair<QString, QStringList>> returnMos;
    };
    // The version of the kept count's keys; empty where none is kept.
    QString returnMosVersion() const;
    Connection m_conn;
    std::shared_ptr<PreparedStatements> m_statements;
    std::shared_ptr<KeptLists> m_kept;
};
