// The document lifecycle table: for every command letter, in every status
// and window action, what the user is told and what the command holds.
#include "documents/DocumentLifecycle.h"

#include <QTest>

namespace {

const char *const kLetters = "AUYNDCRFHQPVLMO";
const QStringList kStatuses = {QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("6"), QStringLiteral("7"),
                               QStringLiteral("9"), QString(),           QStringLiteral("x")};

// What the window tells a user who gives the command on a document in that
// status (the first refusal; empty when the command may go on), as the
// window's checks word it.
QString expectedRefusal(char letter, WindowAction action, const QString &status)
{
    const bool approved = status == QLatin1String("2");
    const bool closed = status == QLatin1String("6") || status == QLatin1String("7");
    const bool gone = status == QLatin1String("9");
    const bool open = status == QLatin1String("0");
    switch (letter) {
    case 'U':
        return approved ? QStringLiteral("此单已审核, 不能进行修改!")
               : closed ? QStringLiteral("此单已结案, 不能进行修改!")
               : gone   ? QStringLiteral("此单已被他人删除!")
                        : QString();
    case 'D':
        if (approved)
            return QStringLiteral("此单已审核, 不能进行修改!");
        if (closed)
            return QStringLiteral("此单已结案, 不能进行修改!");
        if (gone)
            return QStringLiteral("此单已被他人删除!");
        return open ? QString() : QStringLiteral("此单已审核, 当前操作不能进行!");
    case 'Y':
        return action == WindowAction::Add || open ? QString() : QStringLiteral("此单已审核, 当前操作不能进行!");
    case 'C':
        return gone       ? QStringLiteral("当前单据已被其他用户删除,请检查!")
               : closed   ? QStringLiteral("此单据已被结案,不能再进行操作!")
               : approved ? QStringLiteral("此单据已被审核,不能再审核!")
                          : QString();
    case 'R':
        return gone     ? QStringLiteral("当前单据已被其他用户删除,请检查!")
               : closed ? QStringLiteral("此单据已被结案,不能再进行操作!")
               : open   ? QStringLiteral("此单据已被其他用户重置,不能再重置!")
                        : QString();
    default:
        return {};
    }
}

} // namespace

class TstLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void refusalOfEveryCommand_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("refusal");
        for (const char *l = kLetters; *l; ++l)
            for (int action = 0; action <= 5; ++action)
                for (const QString &status : kStatuses)
                    QTest::addRow("%c in action %d, status '%s'", *l, action, qPrintable(status))
                        << *l << action << status << expectedRefusal(*l, WindowAction(action), status);
    }
    void refusalOfEveryCommand()
    {
        QFETCH(char, letter);
        QFETCH(int, action);
        QFETCH(QString, status);
        QFETCH(QString, refusal);
        const LifecycleRule *rule = DocumentLifecycle::rule(letter);
        QVERIFY(rule);
        const auto r = DocumentLifecycle::refusal(*rule, WindowAction(action), parseDocumentStatus(status));
        QCOMPARE(r ? r->text : QString(), refusal);
        if (r)
            QCOMPARE(r->messageId, QStringLiteral("Check_OK_1"));
    }

    void whereEachCommandRuns_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("runs");
        for (const char *l = kLetters; *l; ++l)
            for (int action = 0; action <= 5; ++action)
                // Only the save needs a header being entered; the toolbar
                // keeps every other command from the wrong state.
                QTest::addRow("%c in action %d", *l, action)
                    << *l << action << (*l != 'Y' || action == 1 || action == 2);
    }
    void whereEachCommandRuns()
    {
        QFETCH(char, letter);
        QFETCH(int, action);
        QFETCH(bool, runs);
        QCOMPARE(DocumentLifecycle::runsIn(*DocumentLifecycle::rule(letter), WindowAction(action)), runs);
    }

    void locksAndStates_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<bool>("keeps");
        QTest::addColumn<int>("during"); // -1: none
        QTest::addColumn<int>("onRefusal");
        QTest::newRow("add") << 'A' << false << false << 1 << int(OnRefusal::Stay);
        QTest::newRow("edit holds the lock until save or cancel") << 'U' << true << true << 2 << int(OnRefusal::Stay);
        QTest::newRow("save") << 'Y' << false << false << -1 << int(OnRefusal::Stay);
        QTest::newRow("cancel") << 'N' << false << false << -1 << int(OnRefusal::Stay);
        QTest::newRow("delete") << 'D' << true << false << 3 << int(OnRefusal::Browse);
        QTest::newRow("approve") << 'C' << true << false << 4 << int(OnRefusal::BrowseAndReread);
        QTest::newRow("reset") << 'R' << true << false << 5 << int(OnRefusal::BrowseAndReread);
        for (char l : {'F', 'H', 'Q', 'P', 'V', 'L', 'M', 'O'})
            QTest::addRow("%c", l) << l << false << false << -1 << int(OnRefusal::Stay);
    }
    void locksAndStates()
    {
        QFETCH(char, letter);
        QFETCH(bool, lock);
        QFETCH(bool, keeps);
        QFETCH(int, during);
        QFETCH(int, onRefusal);
        const LifecycleRule &r = *DocumentLifecycle::rule(letter);
        QCOMPARE(r.needsLock, lock);
        QCOMPARE(r.keepsLock, keeps);
        QCOMPARE(r.during ? int(*r.during) : -1, during);
        QCOMPARE(int(r.onRefusal), onRefusal);
        // Every command that writes under the lock ends browsing.
        if (lock && !keeps)
            QCOMPARE(r.next, std::optional<WindowAction>(WindowAction::Browse));
    }

    void unknownLettersDoNothing()
    {
        for (char l : {'a', 'u', 'Z', 'S', 'I', 'X', '\0'})
            QVERIFY2(!DocumentLifecycle::rule(l), &l);
        QCOMPARE(DocumentLifecycle::rules().size(), qsizetype(qstrlen(kLetters)));
    }

    void statusCodesParseOnce()
    {
        QCOMPARE(parseDocumentStatus(QStringLiteral("0")), DocumentStatus::Open);
        QCOMPARE(parseDocumentStatus(QStringLiteral("2")), DocumentStatus::Approved);
        QCOMPARE(parseDocumentStatus(QStringLiteral("6")), DocumentStatus::Closed);
        QCOMPARE(parseDocumentStatus(QStringLiteral("7")), DocumentStatus::Closed);
        QCOMPARE(parseDocumentStatus(QStringLiteral("9")), DocumentStatus::Gone);
        QCOMPARE(parseDocumentStatus(QStringLiteral(" 0")), DocumentStatus::Other);
        QCOMPARE(parseDocumentStatus(QString()), DocumentStatus::Other);
        QCOMPARE(invTypeCode(DocumentType::Issue), QStringLiteral("1"));
        QCOMPARE(invTypeCode(DocumentType::Return), QStringLiteral("2"));
        QCOMPARE(invTypeCode(DocumentType::Supplementary), QStringLiteral("3"));
    }
};

QTEST_GUILESS_MAIN(TstLifecycle)
#include "tst_lifecycle.moc"
