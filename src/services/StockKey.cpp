#include "services/StockKey.h"

#include "platform/db/Dialect.h"
#include "platform/db/Value.h"

StockKey::StockKey(const QString &orderNo, const QString &moNo, const QString &frmInv, const QString &frmType,
                   const QString &mtrNo, const QString &barNo, const QString &colorNo)
    : orderNo(orderNo), moNo(moNo.trimmed()), frmInv(frmInv), frmType(frmType.trimmed()), mtrNo(mtrNo), barNo(barNo),
      colorNo(colorNo.trimmed())
{}

Statement StockKey::condition(const Dialect &dialect, unsigned parts) const
{
    const auto orEmpty = [&dialect](const char *column) {
        return dialect.codeText(QStringLiteral("COALESCE(%1, '')").arg(QLatin1String(column)));
    };
    struct Column
    {
        Part part;
        QString expression;
        const QString &value;
    };
    const Column columns[] = {
        {Order, orEmpty("Order_No"), orderNo},        {Mo, orEmpty("Mo_No"), moNo},
        {Receipt, QStringLiteral("Frm_Inv"), frmInv}, {Type, QStringLiteral("Frm_Type"), frmType},
        {Material, QStringLiteral("Mtr_No"), mtrNo},  {Location, QStringLiteral("Bar_No"), barNo},
        {Colour, orEmpty("Color_No"), colorNo},
    };
    Statement where;
    for (const Column &c : columns) {
        if (!(parts & c.part))
            continue;
        where.append((where.text.isEmpty() ? QString() : QStringLiteral(" AND ")) + c.expression +
                         QStringLiteral(" = ?"),
                     {notNullText(c.value)});
    }
    return where;
}
