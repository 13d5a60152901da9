#include "generator/FactoryGenerator.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// splitmix64: the same numbers on every machine and library, unlike the
// standard distributions.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // 0 <= n < bound
    qint64 below(qint64 bound) { return bound <= 1 ? 0 : qint64(next() % quint64(bound)); }
    // true with probability percent / 100
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T &pick(const std::vector<T> &items)
    {
        return items[size_t(below(qint64(items.size())))];
    }
    const QString &pick(const QStringList &items) { return items.at(below(items.size())); }

private:
    quint64 m_state;
};

// Many rows per statement with bound values; the statement for a full batch
// is prepared once.
class BulkInsert
{
public:
    BulkInsert(const Connection &conn, const QString &table, const QStringList &columns)
        : m_conn(conn), m_table(table), m_columns(columns),
          // 999 values per statement: the oldest limit among the servers.
          m_batch(std::max<qsizetype>(1, 999 / columns.size()))
    {
        m_pending.reserve(m_batch * columns.size());
    }
    void add(const QList<QVariant> &row)
    {
        Q_ASSERT(row.size() == m_columns.size());
        // Empty key parts are stored as '' (never null), as the module writes them.
        for (const QVariant &v : row)
            m_pending.append(v.typeId() == QMetaType::QString && v.toString().isNull() ? QVariant(QStringLiteral(""))
                                                                                       : v);
        ++m_count;
        if (m_pending.size() >= m_batch * m_columns.size())
            flush();
    }
    void finish() { flush(); }
    qint64 count() const { return m_count; }

private:
    QString text(qsizetype rows) const
    {
        QStringList marks(m_columns.size(), QStringLiteral("?"));
        const QString one = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        QStringList all(rows, one);
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(m_table, m_columns.join(QStringLiteral(", ")), all.join(QLatin1Char(',')));
    }
    void flush()
    {
        if (m_pending.isEmpty())
            return;
        const qsizetype rows = m_pending.size() / m_columns.size();
        QSqlQuery partial(m_conn.database());
        QSqlQuery *q = &partial;
        if (rows == m_batch) {
            if (!m_full) {
                m_full = std::make_unique<QSqlQuery>(m_conn.database());
                if (!m_full->prepare(text(rows)))
                    Connection::raise(m_full->lastError());
            }
            q = m_full.get();
        } else if (!partial.prepare(text(rows))) {
            Connection::raise(partial.lastError());
        }
        for (qsizetype i = 0; i < m_pending.size(); ++i)
            q->bindValue(int(i), m_pending.at(i));
        if (!q->exec())
            Connection::raise(q->lastError());
        m_pending.clear();
    }

    Connection m_conn;
    QString m_table;
    QStringList m_columns;
    qsizetype m_batch;
    QList<QVariant> m_pending;
    std::unique_ptr<QSqlQuery> m_full;
    qint64 m_count = 0;
};

QStringList column(const Connection &conn, const QString &sql)
{
    QStringList out;
    const ResultSet rs = Sql(conn, sql).select();
    for (qint64 i = 0; i < rs.rowCount(); ++i)
        out.append(rs.text(i, 0).trimmed());
    return out;
}

qint64 maxKey(const Connection &conn, const QString &table, const QString &key)
{
    return Sql(conn, QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2").arg(key, table)).scalar().toLongLong();
}

qint64 scaled(double scale, qint64 full, qint64 least)
{
    return std::max(least, qint64(std::llround(double(full) * scale)));
}

struct Material
{
    qint64 rec611;
    QString mtrNo;
    QString colorNo;
    double price;
    QString home[2]; // locations it is kept at
};

struct Order
{
    qint64 rec011;
    QString orderNo;
    bool approved;
    std::vector<int> usage; // material indexes
};

struct Mo
{
    qint64 rec111;
    QString moNo;
    int order;
    bool approved;
    std::vector<int> bom; // material indexes
    QString pcsNo;        // an outsourcing order of it, when any
};

struct Receipt
{
    QString no;
    QString type;
    QString supplier;
    QDate date;
};

struct Balance
{
    int material;
    int order = -1; // -1: free of any order
    int mo = -1;
    int receipt;
    QString barNo;
    double price;
    double postedOut = 0; // approved issues minus approved returns
    double openNeed = 0;  // open issues
};

const char *const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵",
                                 "周", "吴", "徐", "孙", "马", "朱", "胡", "林"};
const char *const kGiven[] = {"建军", "丽", "国庆", "小燕", "海", "志强", "秀英", "伟", "芳", "敏",
                              "静",   "磊", "洋",   "艳",   "勇", "军",   "杰",   "娟", "涛", "明"};

QString personName(Random &rnd)
{
    return QString::fromUtf8(kSurnames[rnd.below(std::size(kSurnames))]) +
           QString::fromUtf8(kGiven[rnd.below(std::size(kGiven))]);
}

} // namespace

FactoryCounts generateFactory(const Connection &conn, const FactoryScale &options)
{
    const double s = options.scale > 0 ? options.scale : 1.0;
    Random rnd(options.seed);
    const bool textDates = conn.backend() == Backend::SQLite;
    const auto say = [&options](const QString &line) {
        if (options.progress)
            options.progress(line);
    };
    const auto date = [textDates](const QDate &d) -> QVariant {
        return textDates ? QVariant(d.toString(QStringLiteral("yyyy-MM-dd"))) : QVariant(d);
    };
    const auto stamp = [textDates](const QDate &d, int minutes) -> QVariant {
        const QDateTime t(d, QTime(8, 0).addSecs(60 * (minutes % 600)));
        return textDates ? QVariant(t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))) : QVariant(t);
    };
    const QDate today = QDate::currentDate();
    const int history = std::max(1, options.history);

    FactoryCounts counts;
    Transaction tx(conn, Transaction::Write);
    for (const SummaryDef &summary : options.summaries)
        Schema::dropSummaryTriggers(conn, summary);

    const QStringList departments = column(conn, QStringLiteral("SELECT Org_No FROM mmst001 ORDER BY Org_No"));
    const QStringList classes =
        column(conn, QStringLiteral("SELECT Class_No FROM mmst609 WHERE Class_No <> 'C' ORDER BY Class_No"));
    const QStringList units = column(conn, QStringLiteral("SELECT Unit_No FROM mmst610 ORDER BY Unit_No"));
    const QStringList colours = column(conn, QStringLiteral("SELECT Color_No FROM mmst605 ORDER BY Color_No"));
    const QStringList customers =
        column(conn, QStringLiteral("SELECT Comp_No FROM mmst021 WHERE Comp_Kind = '1' ORDER BY Comp_No"));
    const QStringList workshops =
        column(conn, QStringLiteral("SELECT Comp_No FROM mmst021 WHERE Comp_Kind = '2' ORDER BY Comp_No"));
    const QStringList suppliers = column(conn, QStringLiteral("SELECT Supl_No FROM mmst301 ORDER BY Supl_No"));
    const QStringList moneys = column(conn, QStringLiteral("SELECT Money_No FROM mmst621 ORDER BY Money_No"));
    if (departments.isEmpty() || classes.isEmpty() || units.isEmpty() || colours.isEmpty() || customers.isEmpty() ||
        workshops.isEmpty() || suppliers.isEmpty() || moneys.isEmpty())
        throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("generate"),
                       QStringLiteral("the database lacks the demo data: create it with --init first"));

    // ---- locations: four warehouses of twelve shelves each
    QStringList shelves;
    {
        BulkInsert bars(conn, QStringLiteral("mmst903"), {QStringLiteral("Bar_No"), QStringLiteral("Bar_Name")});
        for (int w = 1; w <= 4; ++w) {
            const QString top = QStringLiteral("G%1").arg(w, 3, 10, QLatin1Char('0'));
            bars.add({top, QStringLiteral("大货仓%1").arg(w)});
            for (int r = 1; r <= 12; ++r) {
                const QString shelf = top + QStringLiteral("%1").arg(r, 3, 10, QLatin1Char('0'));
                bars.add({shelf, QStringLiteral("大货仓%1-%2架").arg(w).arg(r)});
                shelves.append(shelf);
            }
        }
        bars.finish();
    }

    // ---- people and users
    QStringList people;
    QStringList userNames;
    {
        BulkInsert emp(conn, QStringLiteral("mmst002"),
                       {QStringLiteral("Emp_No"), QStringLiteral("User_Name"), QStringLiteral("Org_No")});
        const qint64 n = scaled(s, 300, 20);
        for (qint64 i = 1; i <= n; ++i) {
            const QString name = personName(rnd) + (rnd.chance(30) ? QString::number(i % 10) : QString());
            people.append(name);
            emp.add({QStringLiteral("G%1").arg(i, 5, 10, QLatin1Char('0')), name, rnd.pick(departments)});
        }
        emp.finish();
        BulkInsert users(conn, QStringLiteral("mmst901"),
                         {QStringLiteral("user_id"), QStringLiteral("user_name"), QStringLiteral("user_no"),
                          QStringLiteral("Org_No")});
        BulkInsert rights(conn, QStringLiteral("mmstc03"),
                          {QStringLiteral("User_id"), QStringLiteral("menu_id"), QStringLiteral("rights")});
        for (int i = 1; i <= 20; ++i) {
            const QString id = QStringLiteral("clerk%1").arg(i, 2, 10, QLatin1Char('0'));
            const QString name = personName(rnd) + QStringLiteral("%1").arg(i);
            userNames.append(name);
            users.add({id, name, QStringLiteral("G%1").arg(i, 3, 10, QLatin1Char('0')), rnd.pick(departments)});
            for (const char *menu : {"MENU_F4_1", "MENU_F4_2", "MENU_F4_3"})
                rights.add({id, QString::fromLatin1(menu),
                            i <= 5 ? QStringLiteral("AUDCRPVSILMXF") : QStringLiteral("AUDSIPV")});
        }
        users.finish();
        rights.finish();
    }
    say(QStringLiteral("locations, %1 people, 20 users").arg(people.size()));

    // ---- materials
    std::vector<Material> materials;
    {
        const qint64 n = scaled(s, 2000, 40);
        qint64 rec = maxKey(conn, QStringLiteral("mmst611"), QStringLiteral("Rec_611"));
        BulkInsert ins(conn, QStringLiteral("mmst611"),
                       {QStringLiteral("Rec_611"), QStringLiteral("Mtr_No"), QStringLiteral("Mtr_Name"),
                        QStringLiteral("Mtr_Dim"), QStringLiteral("Type"), QStringLiteral("Class_No"),
                        QStringLiteral("Unit_No"), QStringLiteral("Color_No"), QStringLiteral("Avg_Cost"),
                        QStringLiteral("Mtr_Cost"), QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
        for (qint64 i = 1; i <= n; ++i) {
            const QString cls = rnd.pick(classes);
            Material m;
            m.rec611 = ++rec;
            m.mtrNo = cls + QStringLiteral("G%1").arg(i, 5, 10, QLatin1Char('0'));
            m.colorNo = rnd.pick(colours);
            m.price = double(50 + rnd.below(3000)) / 100.0;
            m.home[0] = rnd.pick(shelves);
            m.home[1] = rnd.pick(shelves);
            ins.add({m.rec611, m.mtrNo, QStringLiteral("物料%1").arg(m.mtrNo),
                     QStringLiteral("规格%1 幅宽%2cm").arg(rnd.below(90) + 10).arg(100 + rnd.below(60)),
                     QStringLiteral("0"), cls, rnd.pick(units), m.colorNo, m.price, m.price, rnd.pick(userNames),
                     stamp(today.addDays(-3 * 365 * history), int(i))});
            materials.push_back(m);
        }
        ins.finish();
        counts.materials = qint64(materials.size());
    }
    const auto bomOf = [&](int count) {
        std::vector<int> out;
        QSet<int> seen;
        while (int(out.size()) < count && int(out.size()) < int(materials.size())) {
            const int m = int(rnd.below(qint64(materials.size())));
            if (!seen.contains(m)) {
                seen.insert(m);
                out.push_back(m);
            }
        }
        return out;
    };
    say(QStringLiteral("%1 materials").arg(counts.materials));

    // The years of history, oldest first: each era of three years has its
    // own orders, manufacturing orders, outsourcing orders, receipts and
    // documents. The stock of earlier eras has all been used up; only the
    // last era's keys still hold stock and open documents.
    const QString kindNames[] = {QString(), QStringLiteral("生产领料单"), QStringLiteral("生产退料单"),
                                 QStringLiteral("生产补料单")};
    const QString prefixes[] = {QString(), QStringLiteral("LL"), QStringLiteral("TL"), QStringLiteral("BL")};
    BulkInsert journal(conn, QStringLiteral("mmst388"),
                       {QStringLiteral("Inv_No"), QStringLiteral("Inv_Type"), QStringLiteral("Inv_Date"),
                        QStringLiteral("Order_No"), QStringLiteral("Mo_No"), QStringLiteral("Frm_Inv"),
                        QStringLiteral("Frm_Type"), QStringLiteral("Mtr_No"), QStringLiteral("Bar_No"),
                        QStringLiteral("Color_No"), QStringLiteral("Mtr_Amt"), QStringLiteral("Mtr_Prs"),
                        QStringLiteral("d_order_no"), QStringLiteral("d_mo_no"), QStringLiteral("Upd_Name"),
                        QStringLiteral("Upd_Date")});
    QHash<QString, int> sequence; // document numbers per prefix and day
    // Each material's average cost followed through its journal rows in the
    // order they are written, as the module's postings move it: with S the
    // material's stock after the row, (S * average + qty * price) / (S + qty)
    // for stock coming in at a price, the standard cost when S + qty is 0.
    struct Cost
    {
        double stock = 0;
        double average = 0;
    };
    std::vector<Cost> costs(materials.size());
    for (size_t i = 0; i < materials.size(); ++i)
        costs[i].average = materials[i].price;
    const auto moveCost = [&](int material, double qty, double price) {
        const auto eight = [](double v) { return std::round(v * 1e8) / 1e8; };
        Cost &c = costs[size_t(material)];
        c.stock = eight(c.stock + qty);
        if (!(qty > 0) || price == 0)
            return;
        const double divisor = eight(c.stock + qty);
        c.average = divisor == 0 ? materials[size_t(material)].price : (c.stock * c.average + qty * price) / divisor;
    };
    for (int era = 0; era < history; ++era) {
        const bool current = era == history - 1;
        const QDate start = today.addDays(-3 * 365 * (history - era));
        // ---- orders with their usage
        std::vector<Order> orders;
        {
            const qint64 n = scaled(s, 500, 5);
            qint64 rec = maxKey(conn, QStringLiteral("mmst011"), QStringLiteral("Rec_011"));
            BulkInsert head(conn, QStringLiteral("mmst011"),
                            {QStringLiteral("Rec_011"), QStringLiteral("Order_No"), QStringLiteral("Order_Date"),
                             QStringLiteral("Comp_No"), QStringLiteral("Money_No"), QStringLiteral("Cust_Po"),
                             QStringLiteral("Deliv_Date"), QStringLiteral("Status"), QStringLiteral("Remark"),
                             QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
            BulkInsert usage(conn, QStringLiteral("mmst01123"),
                             {QStringLiteral("Rec_011"), QStringLiteral("Rec_611"), QStringLiteral("Color_No"),
                              QStringLiteral("Mtr_Amt"), QStringLiteral("Mtr_Loss")});
            BulkInsert bom(conn, QStringLiteral("mmst015"),
                           {QStringLiteral("Order_No"), QStringLiteral("Rec_611"), QStringLiteral("Bom_Amt"),
                            QStringLiteral("Loss_Amt")});
            for (qint64 i = 1; i <= n; ++i) {
                Order o;
                o.rec011 = ++rec;
                const QDate d = start.addDays(rnd.below(3 * 365));
                o.orderNo = QStringLiteral("SG%1%2")
                                .arg(d.toString(QStringLiteral("yyMM")))
                                .arg(i + era * n, 5, 10, QLatin1Char('0'));
                o.approved = rnd.chance(92);
                o.usage = bomOf(8 + int(rnd.below(8)));
                head.add({o.rec011, o.orderNo, date(d), rnd.pick(customers), rnd.pick(moneys),
                          QStringLiteral("PO-%1").arg(i), date(d.addDays(60)),
                          o.approved ? QStringLiteral("2") : QStringLiteral("0"), QStringLiteral("大货订单"),
                          rnd.pick(userNames), stamp(d, int(i))});
                for (int m : o.usage) {
                    const double amt = double(100 + rnd.below(4000));
                    usage.add({o.rec011, materials[size_t(m)].rec611, materials[size_t(m)].colorNo, amt, amt * 0.02});
                    bom.add({o.orderNo, materials[size_t(m)].rec611, amt, amt * 0.02});
                }
                orders.push_back(o);
            }
            head.finish();
            usage.finish();
            bom.finish();
            counts.orders += qint64(orders.size());
        }
        say(QStringLiteral("%1 orders with their usage").arg(counts.orders));

        // ---- manufacturing orders with bills of material
        std::vector<Mo> mos;
        {
            const qint64 n = scaled(s, 2000, 20);
            qint64 rec = maxKey(conn, QStringLiteral("mmst111"), QStringLiteral("Rec_111"));
            BulkInsert head(conn, QStringLiteral("mmst111"),
                            {QStringLiteral("Rec_111"), QStringLiteral("Mo_No"), QStringLiteral("Mo_Date"),
                             QStringLiteral("Over_Date"), QStringLiteral("Rec_011"), QStringLiteral("Mtr_Model"),
                             QStringLiteral("Org_No"), QStringLiteral("Status"), QStringLiteral("Remark"),
                             QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
            BulkInsert product(conn, QStringLiteral("mmst112"),
                               {QStringLiteral("Rec_111"), QStringLiteral("Rec_611"), QStringLiteral("Color_No"),
                                QStringLiteral("Mtr_Amt"), QStringLiteral("Deliv_Date")});
            BulkInsert bom(conn, QStringLiteral("mmst1141"),
                           {QStringLiteral("Rec_111"), QStringLiteral("Rec_611"), QStringLiteral("Color_No"),
                            QStringLiteral("Unit_Use"), QStringLiteral("Mtr_Amt"), QStringLiteral("Mtr_Loss")});
            for (qint64 i = 1; i <= n; ++i) {
                Mo mo;
                mo.rec111 = ++rec;
                mo.order = int(rnd.below(qint64(orders.size())));
                const QDate d = start.addDays(rnd.below(3 * 365));
                mo.moNo = QStringLiteral("MG%1%2")
                              .arg(d.toString(QStringLiteral("yyMM")))
                              .arg(i + era * n, 5, 10, QLatin1Char('0'));
                mo.approved = rnd.chance(90);
                mo.bom = bomOf(10 + int(rnd.below(11)));
                const qint64 pieces = 200 + rnd.below(2000);
                head.add({mo.rec111, mo.moNo, date(d), date(d.addDays(45)), orders[size_t(mo.order)].rec011,
                          QStringLiteral("BG%1").arg(1000 + rnd.below(400)), rnd.pick(departments),
                          mo.approved ? QStringLiteral("2") : QStringLiteral("0"), QStringLiteral("%1个").arg(pieces),
                          rnd.pick(userNames), stamp(d, int(i))});
                const Material &first = materials[size_t(mo.bom.front())];
                product.add({mo.rec111, first.rec611, first.colorNo, double(pieces), date(d.addDays(40))});
                for (int m : mo.bom) {
                    const double use = double(5 + rnd.below(300)) / 100.0;
                    bom.add({mo.rec111, materials[size_t(m)].rec611, materials[size_t(m)].colorNo, use,
                             std::round(use * double(pieces)), std::round(use * double(pieces) * 0.02)});
                }
                mos.push_back(mo);
            }
            head.finish();
            product.finish();
            bom.finish();
            counts.manufacturingOrders += qint64(mos.size());
        }
        say(QStringLiteral("%1 manufacturing orders with bills of material").arg(counts.manufacturingOrders));

        // ---- outsourcing orders over some manufacturing orders
        {
            const qint64 n = scaled(s, 300, 3);
            qint64 rec = maxKey(conn, QStringLiteral("mmst121"), QStringLiteral("Rec_121"));
            BulkInsert head(conn, QStringLiteral("mmst121"),
                            {QStringLiteral("Rec_121"), QStringLiteral("Pcs_No"), QStringLiteral("Pcs_Date"),
                             QStringLiteral("Comp_No"), QStringLiteral("Money_No"), QStringLiteral("Status"),
                             QStringLiteral("Remark"), QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
            BulkInsert lines(conn, QStringLiteral("mmst1213"),
                             {QStringLiteral("Rec_121"), QStringLiteral("Rec_111"), QStringLiteral("Rec_611"),
                              QStringLiteral("Color_No"), QStringLiteral("Mtr_Amt"), QStringLiteral("Loss_Amt")});
            for (qint64 i = 1; i <= n; ++i) {
                const qint64 r = ++rec;
                const QDate d = start.addDays(rnd.below(3 * 365));
                const QString pcs = QStringLiteral("WG%1%2")
                                        .arg(d.toString(QStringLiteral("yyMM")))
                                        .arg(i + era * n, 4, 10, QLatin1Char('0'));
                const bool approved = rnd.chance(85);
                head.add({r, pcs, date(d), rnd.pick(workshops), rnd.pick(moneys),
                          approved ? QStringLiteral("2") : QStringLiteral("0"), QStringLiteral("外发加工"),
                          rnd.pick(userNames), stamp(d, int(i))});
                Mo &mo = mos[size_t(rnd.below(qint64(mos.size())))];
                if (approved && mo.pcsNo.isEmpty())
                    mo.pcsNo = pcs;
                for (size_t k = 0; k < mo.bom.size() && k < 8; ++k) {
                    const Material &m = materials[size_t(mo.bom[k])];
                    const double amt = double(50 + rnd.below(2000));
                    lines.add({r, mo.rec111, m.rec611, m.colorNo, amt, std::round(amt * 0.02)});
                }
            }
            head.finish();
            lines.finish();
            counts.outsourcingOrders += n;
        }
        say(QStringLiteral("%1 outsourcing orders").arg(counts.outsourcingOrders));

        // ---- receipts
        std::vector<Receipt> receipts;
        {
            const qint64 n = scaled(s, 20000, 20);
            BulkInsert head(conn, QStringLiteral("mmst312"),
                            {QStringLiteral("Purc_No"), QStringLiteral("Purc_Date"), QStringLiteral("Supl_No"),
                             QStringLiteral("Money_No"), QStringLiteral("Status"), QStringLiteral("Remark"),
                             QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
            for (qint64 i = 1; i <= n; ++i) {
                Receipt r;
                r.date = start.addDays(rnd.below(3 * 365));
                r.supplier = rnd.pick(suppliers);
                // Most stock came in by purchase; the rest by other receipts that
                // have no purchase header.
                r.type = rnd.chance(90) ? QStringLiteral("A") : QStringLiteral("C");
                r.no = (r.type == QLatin1String("A") ? QStringLiteral("PG") : QStringLiteral("QG")) +
                       r.date.toString(QStringLiteral("yyMM")) +
                       QStringLiteral("%1").arg(i + era * n, 6, 10, QLatin1Char('0'));
                if (r.type == QLatin1String("A"))
                    head.add({r.no, date(r.date), r.supplier, rnd.pick(moneys), QStringLiteral("2"),
                              QStringLiteral("入库"), rnd.pick(userNames), stamp(r.date, int(i))});
                receipts.push_back(r);
            }
            head.finish();
            counts.receipts += n;
        }
        say(QStringLiteral("%1 receipts").arg(counts.receipts));

        // ---- balances: by manufacturing order, by order, and free stock
        std::vector<Balance> balances;
        std::vector<std::vector<int>> byMo(mos.size());
        std::vector<std::vector<int>> byOrder(orders.size());
        std::vector<int> freeStock;
        {
            const qint64 n = scaled(s, 200000, 200);
            QSet<QString> keys;
            balances.reserve(size_t(n));
            for (qint64 i = 0; i < n; ++i) {
                for (int attempt = 0; attempt < 20; ++attempt) {
                    Balance b;
                    const int kind = int(rnd.below(10)); // 0..5 by MO, 6..7 by order, 8..9 free
                    if (kind < 6) {
                        b.mo = int(rnd.below(qint64(mos.size())));
                        b.order = mos[size_t(b.mo)].order;
                        b.material = rnd.pick(mos[size_t(b.mo)].bom);
                    } else if (kind < 8) {
                        b.order = int(rnd.below(qint64(orders.size())));
                        b.material = rnd.pick(orders[size_t(b.order)].usage);
                    } else {
                        b.material = int(rnd.below(qint64(materials.size())));
                    }
                    b.receipt = int(rnd.below(qint64(receipts.size())));
                    const Material &m = materials[size_t(b.material)];
                    b.barNo = m.home[rnd.below(2)];
                    b.price = std::round(m.price * double(90 + rnd.below(21))) / 100.0;
                    const QString key = QStringLiteral("%1|%2|%3|%4|%5")
                                            .arg(b.order)
                                            .arg(b.mo)
                                            .arg(b.receipt)
                                            .arg(b.material)
                                            .arg(b.barNo);
                    if (keys.contains(key))
                        continue;
                    keys.insert(key);
                    const int index = int(balances.size());
                    if (b.mo >= 0)
                        byMo[size_t(b.mo)].push_back(index);
                    else if (b.order >= 0)
                        byOrder[size_t(b.order)].push_back(index);
                    else
                        freeStock.push_back(index);
                    balances.push_back(b);
                    break;
                }
            }
        }
        say(QStringLiteral("%1 stock keys").arg(balances.size()));

        const auto keyOrder = [&](const Balance &b) {
            return b.order >= 0 ? orders[size_t(b.order)].orderNo : QString();
        };
        const auto keyMo = [&](const Balance &b) { return b.mo >= 0 ? mos[size_t(b.mo)].moNo : QString(); };

        // ---- documents of the three kinds in every status
        {
            const qint64 n = scaled(s, 100000, 60);
            qint64 rec = maxKey(conn, QStringLiteral("Mmst411"), QStringLiteral("Rec_411"));
            BulkInsert head(conn, QStringLiteral("Mmst411"),
                            {QStringLiteral("Rec_411"), QStringLiteral("Inv_No"), QStringLiteral("Inv_Date"),
                             QStringLiteral("Inv_Type"), QStringLiteral("Org_No"), QStringLiteral("Proc_Man"),
                             QStringLiteral("Bar_Man"), QStringLiteral("Form_Man"), QStringLiteral("Check_Man"),
                             QStringLiteral("Remark"), QStringLiteral("Stock_Mode"), QStringLiteral("Prop_Duty"),
                             QStringLiteral("Out_Flag"), QStringLiteral("Pcs_No"), QStringLiteral("print_status"),
                             QStringLiteral("Status"), QStringLiteral("Lock"), QStringLiteral("Upd_Name"),
                             QStringLiteral("Upd_Date")});
            BulkInsert lines(conn, QStringLiteral("Mmst412"),
                             {QStringLiteral("Rec_411"), QStringLiteral("Rec_611"), QStringLiteral("Frm_Inv"),
                              QStringLiteral("Frm_Type"), QStringLiteral("Order_No"), QStringLiteral("Mo_No"),
                              QStringLiteral("Mtr_Amt"), QStringLiteral("Bar_No"), QStringLiteral("Color_No"),
                              QStringLiteral("Stock_Mode"), QStringLiteral("Supl_Inv"), QStringLiteral("Supl_No"),
                              QStringLiteral("Remark"), QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
            std::vector<int> moWithStock;
            for (size_t i = 0; i < mos.size(); ++i)
                if (!byMo[i].empty())
                    moWithStock.push_back(int(i));
            std::vector<int> orderWithStock;
            for (size_t i = 0; i < orders.size(); ++i)
                if (!byOrder[i].empty())
                    orderWithStock.push_back(int(i));
            std::vector<int> outsourcedWithStock; // manufacturing orders given out to a workshop
            for (int i : moWithStock)
                if (!mos[size_t(i)].pcsNo.isEmpty())
                    outsourcedWithStock.push_back(i);

            for (qint64 i = 1; i <= n; ++i) {
                const int kindRoll = int(rnd.below(100));
                const int kind = kindRoll < 70 ? 1 : (kindRoll < 82 ? 2 : 3);
                const int statusRoll = int(rnd.below(100));
                // Documents of earlier eras were all approved (or closed) long ago.
                const QString status = statusRoll < 15 && current ? QStringLiteral("0")
                                       : statusRoll < 95          ? QStringLiteral("2")
                                       : statusRoll < 99          ? QStringLiteral("6")
                                                                  : QStringLiteral("7");
                const bool posted = status != QLatin1String("0");
                const int modeRoll = int(rnd.below(10));
                int mode = modeRoll < 6 ? 2 : (modeRoll < 8 ? 1 : 0);
                const std::vector<int> *candidates = &freeStock;
                int mo = -1;
                // About one document in ten is a workshop's: the issues, returns
                // and supplementary issues of an outsourcing order, by its
                // manufacturing order.
                const bool outsourced = !outsourcedWithStock.empty() && rnd.chance(10);
                if (outsourced) {
                    mode = 2;
                    mo = rnd.pick(outsourcedWithStock);
                    candidates = &byMo[size_t(mo)];
                } else if (mode == 2 && !moWithStock.empty()) {
                    mo = rnd.pick(moWithStock);
                    candidates = &byMo[size_t(mo)];
                } else if (mode == 1 && !orderWithStock.empty()) {
                    candidates = &byOrder[size_t(rnd.pick(orderWithStock))];
                } else {
                    mode = 0;
                }
                if (candidates->empty())
                    continue;
                const QDate d = start.addDays(rnd.below(3 * 365 + 1));
                const QString day = prefixes[kind] + d.toString(QStringLiteral("yyMMdd"));
                const int seq = ++sequence[day];
                const QString invNo = day + QStringLiteral("%1").arg(seq, 4, 10, QLatin1Char('0'));
                const qint64 rec411 = ++rec;
                const QString maker = rnd.pick(userNames);
                head.add({rec411, invNo, date(d), QString::number(kind), rnd.pick(departments), rnd.pick(people),
                          rnd.pick(people), maker, posted ? rnd.pick(userNames) : QString(), QString(),
                          QString::number(mode), QString::number(rnd.below(5)),
                          outsourced ? QStringLiteral("1") : QStringLiteral("0"),
                          outsourced ? mos[size_t(mo)].pcsNo : QString(), posted && rnd.chance(50) ? 1 : 0, status,
                          QStringLiteral("No"), maker, stamp(d, int(i))});
                ++counts.documents;
                const int lineCount = 1 + int(rnd.below(19));
                for (int l = 0; l < lineCount; ++l) {
                    Balance *pick = &balances[size_t(rnd.pick(*candidates))];
                    const double qty = double(1 + rnd.below(120)) * 0.5;
                    // What an earlier era's return gave back had been issued
                    // before: its stock runs out to exactly nothing.
                    for (int tries = 0; !current && kind == 2 && pick && pick->postedOut < qty; ++tries)
                        pick = tries < 8 ? &balances[size_t(rnd.pick(*candidates))] : nullptr;
                    if (!pick)
                        continue;
                    Balance &b = *pick;
                    const Material &m = materials[size_t(b.material)];
                    const Receipt &r = receipts[size_t(b.receipt)];
                    const QString orderNo = keyOrder(b);
                    const QString moNo = keyMo(b);
                    lines.add({rec411, m.rec611, r.no, r.type, orderNo, moNo, qty, b.barNo, m.colorNo,
                               QString::number(mode), QStringLiteral("2"), r.supplier, QString(), maker,
                               stamp(d, int(i) + l)});
                    const bool out = kind != 2;
                    if (posted) {
                        b.postedOut += out ? qty : -qty;
                        moveCost(b.material, out ? -qty : qty, b.price);
                        journal.add({invNo, kindNames[kind], date(d), orderNo, moNo, r.no, r.type, m.mtrNo, b.barNo,
                                     m.colorNo, out ? -qty : qty, b.price, QString(), moNo, maker, date(d)});
                    } else if (out) {
                        b.openNeed += qty;
                    }
                }
                if (i % 10000 == 0)
                    say(QStringLiteral("%1 documents, %2 lines").arg(counts.documents).arg(lines.count()));
            }
            head.finish();
            lines.finish();
            counts.lines += lines.count();
        }
        say(QStringLiteral("%1 documents with %2 lines").arg(counts.documents).arg(counts.lines));

        // ---- balances and the receipts that filled them: each balance is what
        // its receipt brought in less what the approved documents moved out
        {
            BulkInsert ins(conn, QStringLiteral("mmst381"),
                           {QStringLiteral("Order_No"), QStringLiteral("Mo_No"), QStringLiteral("Frm_Inv"),
                            QStringLiteral("Frm_Type"), QStringLiteral("Mtr_No"), QStringLiteral("Bar_No"),
                            QStringLiteral("Color_No"), QStringLiteral("Mtr_Amt"), QStringLiteral("Mtr_Prs"),
                            QStringLiteral("Supl_No"), QStringLiteral("P_Mtr"), QStringLiteral("Prod_No"),
                            QStringLiteral("Prod_Name"), QStringLiteral("Duty_Weight"), QStringLiteral("Upd_Name"),
                            QStringLiteral("Upd_Date")});
            const QString receiptKind = QStringLiteral("采购入库单");
            for (const Balance &b : balances) {
                const Material &m = materials[size_t(b.material)];
                const Receipt &r = receipts[size_t(b.receipt)];
                // Enough left for the open issues, so that they can be
                // approved; an earlier era's stock is used up.
                double left = current ? b.openNeed + double(10 + rnd.below(800)) * 0.5 : 0;
                if (left + b.postedOut <= 0)
                    left = current ? -b.postedOut + 1 : 0;
                if (left + b.postedOut <= 0)
                    continue;
                const QString orderNo = keyOrder(b);
                const QString moNo = keyMo(b);
                const QString user = rnd.pick(userNames);
                if (left > 0)
                    ins.add({orderNo, moNo, r.no, r.type, m.mtrNo, b.barNo, m.colorNo, left, b.price, r.supplier,
                             QString(), QString(), QString(), 0.0, user, date(r.date)});
                moveCost(b.material, left + b.postedOut, b.price);
                journal.add({r.no, receiptKind, date(r.date), orderNo, moNo, r.no, r.type, m.mtrNo, b.barNo, m.colorNo,
                             left + b.postedOut, b.price, QString(), moNo, user, date(r.date)});
            }
            ins.finish();
            journal.finish();
            counts.balances += ins.count();
            counts.journalRows = journal.count();
        }
        say(QStringLiteral("%1 balances, %2 journal rows").arg(counts.balances).arg(counts.journalRows));
    }
    for (size_t i = 0; i < materials.size(); ++i)
        Sql(conn, QStringLiteral("UPDATE mmst611 SET Avg_Cost = ? WHERE Rec_611 = ?"))
            .bind(costs[i].average)
            .bind(materials[i].rec611)
            .exec();

    // Keys given here: the identity counters move past them.
    const Dialect &d = conn.dialect();
    const QList<QPair<QString, QString>> serials = {{QStringLiteral("mmst611"), QStringLiteral("Rec_611")},
                                                    {QStringLiteral("mmst011"), QStringLiteral("Rec_011")},
                                                    {QStringLiteral("mmst111"), QStringLiteral("Rec_111")},
                                                    {QStringLiteral("mmst121"), QStringLiteral("Rec_121")},
                                                    {QStringLiteral("Mmst411"), QStringLiteral("Rec_411")}};
    for (const auto &[table, key] : serials)
        for (const QString &statement : d.resetSerial(table, key))
            Sql(conn, statement).exec();
    for (const SummaryDef &summary : options.summaries)
        Schema::recountSummary(conn, summary);
    tx.commit();
    say(QStringLiteral("statistics"));
    refreshStatistics(conn);
    return counts;
}

void refreshStatistics(const Connection &conn)
{
    for (const QString &statement : conn.dialect().refreshStatistics())
        Sql(conn, statement).exec();
}

FactoryLine firstLineWithMo(const Connection &conn, bool outsourcing)
{
    const ResultSet line =
        Sql(conn, QStringLiteral("SELECT m.Mtr_No, l.Order_No, l.Mo_No, l.Frm_Inv, t.Frm_Type_Name, "
                                 "b.Bar_Name, h.Pcs_No FROM Mmst412 l INNER JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 "
                                 "INNER JOIN mmst611 m ON m.Rec_611 = l.Rec_611 "
                                 "INNER JOIN mmst400 t ON t.Frm_Type = l.Frm_Type "
                                 "INNER JOIN mmst903 b ON b.Bar_No = l.Bar_No "
                                 "WHERE l.Mo_No <> '' AND h.Status = '2' AND h.Out_Flag = ? "
                                 "ORDER BY l.Rec_412 LIMIT 1"))
            .bind(outsourcing ? QStringLiteral("1") : QStringLiteral("0"))
            .select();
    if (line.isEmpty())
        return {};
    return {line.text(0, 0), line.text(0, 1), line.text(0, 2), line.text(0, 3),
            line.text(0, 4), line.text(0, 5), line.text(0, 6)};
}
