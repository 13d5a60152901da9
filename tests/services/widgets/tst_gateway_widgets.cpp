// List filling and the required-field check, on real controls.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "platform/ui/HeadItem.h"
#include "services/DbGateway.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

class TstGatewayWidgets : public QObject
{
    Q_OBJECT

    Connection conn;
    QWidget *form = nullptr;

private slots:
    void initTestCase()
    {
        conn = TestDb::freshSqlite();
        runContext().Conn = conn;
        int emp = 0;
        for (const char *name : {"王小明", "李丽", "张华", "李丽"})
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst002 (Emp_No, User_Name) VALUES (?, ?)"),
                         {QString::number(++emp), QString::fromUtf8(name)});
    }

    void init()
    {
        form = new QWidget;
        form->show();
    }
    void cleanup() { delete form; }

    void headItemFilledFromQuery()
    {
        auto *proc = new HeadItem(HeadItem::List, form);
        proc->setObjectName(QStringLiteral("Proc_Man"));
        proc->setText(QStringLiteral("typed"));
        DbGateway::AddRsToList(conn, proc, QStringLiteral("SELECT Distinct User_Name FROM mmst002 ORDER BY User_Name"),
                               nullptr, 0, true, false, false, true);
        QCOMPARE(proc->listCount(), 3);
        QCOMPARE(proc->text(), proc->items().first());

        // An empty result still leaves one empty item to choose.
        auto *empty = new HeadItem(HeadItem::List, form);
        DbGateway::AddRsToList(conn, empty, QStringLiteral("SELECT User_Name FROM mmst002 WHERE 1=2"), nullptr, 0, true,
                               false, false, true);
        QCOMPARE(empty->items(), QStringList{QString()});
    }

    void comboKeepsTheUsersEntryOnRefill()
    {
        auto *combo = new QComboBox(form);
        combo->setEditable(true);
        combo->addItem(QStringLiteral("old"));
        combo->setEditText(QStringLiteral("ORD-2611"));
        DbGateway::AddRsToList(conn, combo, QStringLiteral("SELECT User_Name FROM mmst002 WHERE User_Name <> ?"),
                               nullptr, -3, true, true, false, false, {QStringLiteral("张华")});
        QCOMPARE(combo->count(), 3); // cleared first, then three rows
        QCOMPARE(combo->findText(QStringLiteral("old")), -1);
        QCOMPARE(combo->currentText(), QStringLiteral("ORD-2611"));

        // Without restore the first row becomes the text.
        DbGateway::AddRsToList(conn, combo, QStringLiteral("SELECT User_Name FROM mmst002 WHERE User_Name = ?"),
                               nullptr, 0, true, false, false, false, {QStringLiteral("张华")});
        QCOMPARE(combo->currentText(), QStringLiteral("张华"));

        // Nothing to fill from: the list is untouched, the text rewritten with itself.
        combo->setEditText(QStringLiteral("kept"));
        DbGateway::AddRsToList(conn, combo, QString(), nullptr, 0, false, true, false, false);
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->currentText(), QStringLiteral("kept"));
    }

    void filledFromAResultSet()
    {
        ResultSet rs = Sql(conn, QStringLiteral("SELECT Distinct User_Name FROM mmst002 ORDER BY User_Name")).select();
        rs.moveTo(2);
        auto *combo = new QComboBox(form);
        DbGateway::AddRsToList(conn, combo, QString(), &rs, 0, true, false, false, false);
        QCOMPARE(combo->count(), 3); // moved back to the first row
        QVERIFY(rs.atEnd());

        auto *multi = new QComboBox(form);
        multi->setProperty("multiColumn", true);
        ResultSet two = Sql(conn, QStringLiteral("SELECT User_Name, User_Name AS again FROM mmst002")).select();
        DbGateway::AddRsToList(conn, multi, QString(), &two, 0, true, false, false, false);
        QCOMPARE(multi->property("columnCount").toInt(), 2);
        QCOMPARE(multi->count(), 4);
    }

    void failureIsReportedUnderTheControlsName()
    {
        ScriptedMessageBox box;
        auto *proc = new HeadItem(HeadItem::List, form);
        proc->setObjectName(QStringLiteral("Bar_Man"));
        DbGateway::AddRsToList(conn, proc, QStringLiteral("SELECT nothing FROM no_such_table"), nullptr, 0, true, false,
                               false, true);
        QCOMPARE(box.shown().size(), 1);
        QCOMPARE(box.last().form, QStringLiteral("Procedure"));
        QVERIFY(box.last().text.startsWith(QStringLiteral("程序在  AddRsToList Object:Bar_Man  过程发生错误!")));
        QCOMPARE(proc->listCount(), 0);
    }

    void requiredField()
    {
        ScriptedMessageBox box;
        auto *number = new HeadItem(HeadItem::PlainText, form);
        auto *other = new QLineEdit(form);
        number->show();
        other->show();
        other->setFocus();
        QApplication::setActiveWindow(form);
        number->setText(QStringLiteral("   "));
        QVERIFY(DbGateway::CheckIsNullString(number, QStringLiteral("请输入领料单号!")));
        QCOMPARE(box.last().form, QStringLiteral("PublicFunction"));
        QCOMPARE(box.last().messageId, QStringLiteral("CheckIsNullString"));
        QCOMPARE(box.last().text, QStringLiteral("请输入领料单号!"));
        QCOMPARE(box.last().style, 64);
        QCOMPARE(box.last().title, QStringLiteral("提示信息"));
        QTRY_VERIFY(number->editor()->hasFocus());

        // A locked field is reported but does not take the focus.
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        number->setLocked(true);
        QVERIFY(DbGateway::CheckIsNullString(number, QStringLiteral("请输入领料单号!")));
        QVERIFY(other->hasFocus());

        box.clear();
        number->setText(QStringLiteral("LL001"));
        QVERIFY(!DbGateway::CheckIsNullString(number, QStringLiteral("请输入领料单号!")));
        QVERIFY(box.shown().isEmpty());
    }
};

QTEST_MAIN(TstGatewayWidgets)
#include "tst_gateway_widgets.moc"
