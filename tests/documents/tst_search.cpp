// The document search dialog, driven as the document windows drive it: the
// criteria typed into its fields, the numbers landing in the window's list.
#include "ModalDriving.h"
#include "TestSupport.h"

#include "documents/DocumentSearch.h"
#include "documents/Frm40BSH.h"
#include "context/RunContext.h"
#include "platform/db/Dialect.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "services/DbGateway.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

QStringList itemsOf(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

HeadItem *field(QDialog *d, const QString &name)
{
    return d->findChild<HeadItem *>(name);
}

// Replaces a field's text the way a user does: select all, type.
void typeInto(HeadItem *item, const QString &text)
{
    QLineEdit *edit = item->editor();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

} // namespace

class TstSearch : public QObject
{
    Q_OBJECT

    Connection conn;
    ScriptedMessageBox *box = nullptr;
    QComboBox *invNo = nullptr; // the document window's number field
    bool stillOpen = false;

    void doc(const QString &no, const QString &date, const char *type, const QVariant &form, const QVariant &bar,
             const QVariant &proc, const QVariant &check, const QVariant &printed, const char *status)
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Date, Inv_Type, Form_Man, Bar_Man, Proc_Man, "
                           "Check_Man, print_status, Status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {no, date, QString::fromLatin1(type), form, bar, proc, check, printed, QString::fromLatin1(status)});
    }
    void line(const QString &no, const QString &receipt)
    {
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Mmst412 (Rec_411, Frm_Inv) "
                                    "SELECT Rec_411, ? FROM Mmst411 WHERE Inv_No = ?"),
                     {receipt, no});
    }

    // The dialog set up as the issue window sets it up.
    Frm40BSH &openFor(const QString &kind)
    {
        Frm40BSH &dlg = Frm40BSH::obtain();
        dlg.setDefTable(QStringLiteral("Mmst411"));
        dlg.setDefField(QStringLiteral("Inv_No"));
        dlg.setDefInvOther(QStringLiteral("Inv_Type = ?"), {kind});
        dlg.setCallControl(invNo);
        return dlg;
    }

    int run(Frm40BSH &dlg, const std::function<void(QDialog *)> &act) { return runModal(dlg, act, &stillOpen); }

    static void clickButton(QDialog *d, const char *name)
    {
        QTest::mouseClick(d->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    }

private slots:
    void init()
    {
        box = new ScriptedMessageBox;
        conn = TestDb::fresh();
        runContext().Conn = conn;
        DbGateway::setServerNowOverride(QDateTime(QDate(2024, 6, 30), QTime(10, 15)));
        stillOpen = false;
        const QVariant null;
        const QString zh = QStringLiteral("张华"), li = QStringLiteral("李丽"), bar = QStringLiteral("李秀英");
        doc(QStringLiteral("LL2406001"), QStringLiteral("2024-06-30"), "1", zh, bar, QStringLiteral("王建军"), null,
            null, "0");
        doc(QStringLiteral("LL2405001"), QStringLiteral("2024-05-31"), "1", zh, bar, null, QStringLiteral("陈志明"), 1,
            "2");
        doc(QStringLiteral("LL2405002"), QStringLiteral("2024-05-30"), "1", zh, bar, null, null, 0, "0");
        doc(QStringLiteral("LL2406010"), QStringLiteral("2024-06-10 18:30:00"), "1", li, null, null, null, 0, "6");
        doc(QStringLiteral("LL2406011"), QStringLiteral("2024-06-11"), "1", zh, null, null, null, 1, "7");
        doc(QStringLiteral("LL2406020"), QStringLiteral("2024-06-20"), "1", li, null, QStringLiteral("O'Brien"), null,
            0, "0");
        doc(QStringLiteral("LL2407001"), QStringLiteral("2024-07-01"), "1", zh, null, null, null, 0, "0");
        doc(QStringLiteral("TL2406001"), QStringLiteral("2024-06-15"), "2", zh, null, null, null, 0, "0");
        line(QStringLiteral("LL2406001"), QStringLiteral("R-1000"));
        line(QStringLiteral("LL2406010"), QStringLiteral("R-100"));
        line(QStringLiteral("LL2406011"), QStringLiteral("R-100"));
        line(QStringLiteral("LL2406011"), QStringLiteral("r-100"));

        invNo = new QComboBox;
        invNo->setObjectName(QStringLiteral("Inv_No"));
        invNo->setEditable(true);
        invNo->addItems({QStringLiteral("OLD1"), QStringLiteral("OLD2")});
    }
    void cleanup()
    {
        Frm40BSH::release();
        ModalRunner::setDriver({});
        DbGateway::setServerNowOverride({});
        delete invNo;
        delete box;
        box = nullptr;
    }

    void opensWithDefaults()
    {
        Frm40BSH &dlg = openFor(QStringLiteral("1"));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("查询(Frm40BSH)"));
        QCOMPARE(dlg.ClickCancel(), false);
        QCOMPARE(field(&dlg, QStringLiteral("Date2"))->text(), QStringLiteral("2024-06-30"));
        QCOMPARE(field(&dlg, QStringLiteral("Date1"))->text(), QStringLiteral("2024-05-31"));
        // Each people field lists its column's distinct values and shows the
        // first; a null sorts first and leaves the field empty.
        QCOMPARE(field(&dlg, QStringLiteral("Form_Man"))->items(),
                 (QStringList{QStringLiteral("张华"), QStringLiteral("李丽")}));
        QCOMPARE(field(&dlg, QStringLiteral("Form_Man"))->text(), QStringLiteral("张华"));
        QCOMPARE(field(&dlg, QStringLiteral("Bar_Man"))->items(), (QStringList{QString(), QStringLiteral("李秀英")}));
        QCOMPARE(field(&dlg, QStringLiteral("Bar_Man"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("Proc_Man"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("Check_Man"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("Cb_Check"))->items(),
                 (QStringList{QStringLiteral("未审核"), QStringLiteral("已审核"), QStringLiteral("已结案"),
                              QStringLiteral("全 部")}));
        QCOMPARE(field(&dlg, QStringLiteral("Cb_Check"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("print_status"))->items(),
                 (QStringList{QStringLiteral("未列印"), QStringLiteral("已列印"), QStringLiteral("全 部")}));
        QCOMPARE(field(&dlg, QStringLiteral("print_status"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("Inv_No"))->text(), QString());
        QCOMPARE(field(&dlg, QStringLiteral("Frm_INV"))->editor()->maxLength(), 50);
    }

    // To a text column, makers that differ only by case or a trailing blank
    // are different people; a null and an empty maker are one empty entry,
    // first. The list is the one the plain distinct read gives.
    void peopleListsKeepEverySpellingAndOneEmptyEntry()
    {
        const QVariant null;
        int n = 0;
        for (const QVariant &maker : {QVariant(QStringLiteral("wang")), QVariant(QStringLiteral("Wang")),
                                      QVariant(QStringLiteral("wang ")), QVariant(QString(QLatin1String(""))), null})
            doc(QStringLiteral("LL2406%1").arg(100 + ++n), QStringLiteral("2024-06-01"), "1", maker, null, null, null,
                0, "0");
        QStringList plain;
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT DISTINCT COALESCE(Form_Man, '') FROM Mmst411 ORDER BY 1")).select();
        for (qint64 r = 0; r < rs.rowCount(); ++r)
            plain << rs.text(r, 0);
        Frm40BSH &dlg = openFor(QStringLiteral("1"));
        const QStringList items = field(&dlg, QStringLiteral("Form_Man"))->items();
        QCOMPARE(items, plain);
        QCOMPARE(items.size(), 6);
        QVERIFY(items.first().isEmpty());
        for (const char *maker : {"wang", "Wang", "wang ", "张华", "李丽"})
            QVERIFY(items.contains(QString::fromUtf8(maker)));
        QCOMPARE(field(&dlg, QStringLiteral("Form_Man"))->text(), QString());
        Frm40BSH::release();

        // No headers at all: nothing to list, nothing shown.
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412"));
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411"));
        Frm40BSH &empty = openFor(QStringLiteral("1"));
        for (const char *name : {"Form_Man", "Bar_Man", "Proc_Man", "Check_Man"}) {
            QCOMPARE(field(&empty, QLatin1String(name))->items(), QStringList());
            QCOMPARE(field(&empty, QLatin1String(name))->text(), QString());
        }
        // SQL Server takes no subquery in a recursive step: there the list stays one distinct read.
        QCOMPARE(
            SearchPeopleQuery(QStringLiteral("Mmst411"), QStringLiteral("Bar_Man"), Dialect::of(Backend::SqlServer)),
            QStringLiteral("SELECT DISTINCT COALESCE(Bar_Man, '') AS Bar_Man FROM Mmst411 ORDER BY 1"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("edits"); // "field=text"
        QTest::addColumn<QStringList>("expected");
        const QString all = QStringLiteral("Form_Man=");
        QTest::newRow("defaults: kind, last 30 days, first maker")
            << "1" << QStringList{} << QStringList{"LL2405001", "LL2406001", "LL2406011"};
        QTest::newRow("defaults of the return kind") << "2" << QStringList{} << QStringList{"TL2406001"};
        QTest::newRow("maker cleared") << "1" << QStringList{all}
                                       << QStringList{"LL2405001", "LL2406001", "LL2406010", "LL2406011", "LL2406020"};
        QTest::newRow("other maker") << "1" << QStringList{"Form_Man=李丽"} << QStringList{"LL2406010", "LL2406020"};
        QTest::newRow("已结案 is 6 and 7")
            << "1" << QStringList{all, "Cb_Check=已结案"} << QStringList{"LL2406010", "LL2406011"};
        QTest::newRow("未审核") << "1" << QStringList{all, "Cb_Check=未审核"} << QStringList{"LL2406001", "LL2406020"};
        QTest::newRow("已审核") << "1" << QStringList{all, "Cb_Check=已审核"} << QStringList{"LL2405001"};
        QTest::newRow("全 部 adds no status")
            << "1" << QStringList{all, "Cb_Check=全 部", "print_status=全 部"}
            << QStringList{"LL2405001", "LL2406001", "LL2406010", "LL2406011", "LL2406020"};
        QTest::newRow("未列印 includes a null print status")
            << "1" << QStringList{all, "print_status=未列印"} << QStringList{"LL2406001", "LL2406010", "LL2406020"};
        QTest::newRow("已列印") << "1" << QStringList{all, "print_status=已列印"}
                                << QStringList{"LL2405001", "LL2406011"};
        QTest::newRow("number prefix, blanks and case aside")
            << "1" << QStringList{all, "Inv_No=  ll240601 "} << QStringList{"LL2406010", "LL2406011"};
        QTest::newRow("source receipt matched exactly")
            << "1" << QStringList{all, "Frm_INV=R-100"} << QStringList{"LL2406010", "LL2406011"};
        QTest::newRow("source receipt with the user's wildcard")
            << "1" << QStringList{all, "Frm_INV=R-100%"} << QStringList{"LL2406001", "LL2406010", "LL2406011"};
        QTest::newRow("one day, a time of day on it")
            << "1" << QStringList{all, "Date1=2024-06-10", "Date2=2024-06-10"} << QStringList{"LL2406010"};
        QTest::newRow("no dates") << "1" << QStringList{all, "Date1=", "Date2="}
                                  << QStringList{"LL2405001", "LL2405002", "LL2406001", "LL2406010",
                                                 "LL2406011", "LL2406020", "LL2407001"};
        QTest::newRow("a quote in a name") << "1" << QStringList{all, "Proc_Man=O'Brien"} << QStringList{"LL2406020"};
    }
    void search()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, expected);
        Frm40BSH &dlg = openFor(kind);
        const int r = run(dlg, [&](QDialog *d) {
            for (const QString &edit : edits) {
                const qsizetype eq = edit.indexOf(QLatin1Char('='));
                typeInto(field(d, edit.left(eq)), edit.mid(eq + 1));
            }
            clickButton(d, "Cmd_Ok");
        });
        QCOMPARE(r, int(QDialog::Accepted));
        QVERIFY(!stillOpen);
        QCOMPARE(dlg.ClickCancel(), false);
        QCOMPARE(itemsOf(invNo), expected);
        QVERIFY(box->shown().isEmpty());
    }

    void cancelLeavesTheList_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "button";
        QTest::newRow("Esc") << "esc";
    }
    void cancelLeavesTheList()
    {
        QFETCH(QString, how);
        Frm40BSH &dlg = openFor(QStringLiteral("1"));
        const int r = run(dlg, [&](QDialog *d) {
            typeInto(field(d, QStringLiteral("Inv_No")), QStringLiteral("LL"));
            if (how == QLatin1String("esc"))
                QTest::keyClick(field(d, QStringLiteral("Inv_No"))->editor(), Qt::Key_Escape);
            else
                clickButton(d, "Cmd_Cancel");
        });
        QCOMPARE(r, int(QDialog::Rejected));
        QVERIFY(!stillOpen);
        QCOMPARE(dlg.ClickCancel(), true);
        QCOMPARE(itemsOf(invNo), (QStringList{"OLD1", "OLD2"}));
    }

    void emptyResultClearsTheList()
    {
        Frm40BSH &dlg = openFor(QStringLiteral("1"));
        run(dlg, [](QDialog *d) {
            typeInto(field(d, QStringLiteral("Inv_No")), QStringLiteral("ZZ"));
            clickButton(d, "Cmd_Ok");
        });
        QCOMPARE(dlg.ClickCancel(), false);
        QCOMPARE(invNo->count(), 0);
        QCOMPARE(invNo->currentText(), QString());
    }

    void badDateKeepsTheDialogOpen()
    {
        Frm40BSH &dlg = openFor(QStringLiteral("1"));
        QWidget *focused = nullptr;
        run(dlg, [&](QDialog *d) {
            typeInto(field(d, QStringLiteral("Date2")), QStringLiteral("2024-13-45"));
            clickButton(d, "Cmd_Ok");
            focused = QApplication::focusWidget();
        });
        QVERIFY(stillOpen);
        QCOMPARE(box->texts(), QStringList{QStringLiteral("请输入正确的日期!")});
        QCOMPARE(box->last().form, QStringLiteral("Frm40BSH"));
        QCOMPARE(focused, field(&dlg, QStringLiteral("Date2"))->editor());
        QCOMPARE(itemsOf(invNo), (QStringList{"OLD1", "OLD2"}));
    }

    void failingSearchIsReportedAndStaysOpen()
    {
        Frm40BSH &dlg = Frm40BSH::obtain();
        dlg.setCallControl(invNo);
        dlg.setDefTable(QStringLiteral("No_Such_Table"));
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.contains(QStringLiteral("LoadCombox")), qPrintable(box->last().text));
        run(dlg, [](QDialog *d) { clickButton(d, "Cmd_Ok"); });
        QVERIFY(stillOpen);
        QCOMPARE(box->shown().size(), 2);
        QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_MouseClick")), qPrintable(box->last().text));
        QCOMPARE(box->last().style, 16);
        QCOMPARE(itemsOf(invNo), (QStringList{"OLD1", "OLD2"}));
    }

    // The date bounds compare the column itself, so its index serves them on
    // every server; typed values stay out of the statement's text.
    void statementKeepsValuesBound_data()
    {
        QTest::addColumn<int>("backend");
        QTest::newRow("SQLite") << int(Backend::SQLite);
        QTest::newRow("PostgreSQL") << int(Backend::PostgreSQL);
        QTest::newRow("SQL Server") << int(Backend::SqlServer);
    }
    void statementKeepsValuesBound()
    {
        QFETCH(int, backend);
        DocumentSearch s;
        s.DefTable = QStringLiteral("Mmst411");
        s.DefInvOther = QStringLiteral("Inv_Type = ?");
        s.DefInvOtherValues = {QStringLiteral("3")};
        s.Inv_No = QStringLiteral("x' OR 'a'='a");
        s.Date1 = QStringLiteral("2024-05-31");
        s.Date2 = QStringLiteral("2024-06-30");
        s.Cb_Check = QStringLiteral("已结案");
        const SearchStatement st = BuildSearchStatement(s, Dialect::of(Backend(backend)));
        QVERIFY(st.badDateField.isEmpty());
        QVERIFY(st.statement.text.contains(QStringLiteral(" AND Mmst411.inv_date >= ? AND Mmst411.inv_date < ?")));
        QVERIFY(!st.statement.text.contains(QLatin1Char('\'')));
        QCOMPARE(st.statement.text.count(QLatin1Char('?')), st.statement.values.size());
        QCOMPARE(st.statement.values,
                 (QList<QVariant>{QStringLiteral("x' OR 'a'='a%"), QDate(2024, 5, 31), QDate(2024, 7, 1),
                                  QStringLiteral("3"), QStringLiteral("6"), QStringLiteral("7")}));

        s.Date1 = QStringLiteral("31.5.");
        QCOMPARE(BuildSearchStatement(s, Dialect::of(Backend(backend))).badDateField, QStringLiteral("Date1"));
    }
};

QTEST_MAIN(TstSearch)
#include "tst_search.moc"
