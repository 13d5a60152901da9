#pragma once

// What the tests of the document windows share: the window of a menu entry
// opened through the module's public class as the host opens it, a document
// shown by picking its number, and single values read back from the database.
// The test owns the connection and closes the window in its cleanup().
#include "documents/DocumentWindow.h"
#include "entry/ClsBarManuBill.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

class DocumentFixture
{
protected:
    Connection conn;
    DocumentWindow *w = nullptr;
    QTemporaryDir dir;

    void open(const QString &user = QStringLiteral("chen"), const QString &menu = QStringLiteral("MENU_F4_1"))
    {
        delete w;
        ClsBarManuBill().ShowFrm(conn, menu, user, dir.filePath(user + QStringLiteral(".ini")), 0, 0, 13500, 9000,
                                 QStringLiteral("华南示范箱包有限公司"));
        w = DocumentWindow::instance(*DocumentKind::forMenu(menu));
        QVERIFY(w);
    }
    // Picks a number from the number list, as the user does after a search.
    void show(const QString &number)
    {
        auto *c = w->findChild<QComboBox *>(QStringLiteral("Inv_No"));
        if (c->findText(number) < 0)
            c->addItem(number);
        emit c->activated(c->findText(number));
    }
    QString field(const QString &sql, const QList<QVariant> &values = {})
    {
        return DbGateway::NullToString(Sql(conn, sql).bindAll(values).scalar());
    }
    QString lockOf(const QString &no)
    {
        return field(QStringLiteral("SELECT Lock FROM Mmst411 WHERE Inv_No = ?"), {no});
    }
};
