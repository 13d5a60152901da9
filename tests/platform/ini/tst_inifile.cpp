#include "platform/ini/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void read_data();
    void read();
    void readMissingFile();

    void write_data();
    void write();
    void writeThenReadRoundTrip();
    void writeRejectsWhatCannotBeStored_data();
    void writeRejectsWhatCannotBeStored();
    void writeIntoMissingFolderFails();
    void legacyCodePageFile();
    void newFileIsUtf8();

private:
    QString writeFile(const QByteArray &bytes);
    QByteArray readFile() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestIniFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("user.ini"));
}

QString TestIniFile::writeFile(const QByteArray &bytes)
{
    QFile f(m_path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    f.write(bytes);
    return QString();
}

QByteArray TestIniFile::readFile() const
{
    QFile f(m_path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestIniFile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<QString>("expected");

    const QByteArray layout = "[mmss40BGrid1]\r\n"
                              "Field0=Mtr_No,物料编号,1200,4,1,True\r\n"
                              "Field1=Mtr_Amt,数量,900.5,4,7,False\r\n"
                              "RowHeight=300\r\n"
                              "[other]\r\n"
                              "Field0=elsewhere\r\n";
    QTest::newRow("commas are part of the value") << layout << "mmss40BGrid1"
                                                  << "Field0" << -1 << QStringLiteral("Mtr_No,物料编号,1200,4,1,True");
    QTest::newRow("section and key ignore case") << layout << "MMSS40bgrid1"
                                                 << "field1" << -1 << QStringLiteral("Mtr_Amt,数量,900.5,4,7,False");
    QTest::newRow("key looked up in its own section only") << layout << "other"
                                                           << "Field0" << -1 << "elsewhere";
    QTest::newRow("missing key gives default") << layout << "other"
                                               << "Field1" << -1 << "dflt";
    QTest::newRow("missing section gives default") << layout << "mmss40CGrid1"
                                                   << "Field0" << -1 << "dflt";
    QTest::newRow("keys before the first section belong to none") << QByteArray("Field0=orphan\n[s]\n") << "s"
                                                                  << "Field0" << -1 << "dflt";
    QTest::newRow("blanks around key and value are trimmed")
        << QByteArray("[ s ]\n   Color_Type   =   皮料 ,红  \t\n") << "s"
        << "Color_Type" << -1 << QStringLiteral("皮料 ,红");
    QTest::newRow("value runs past later equals signs") << QByteArray("[s]\nk=a=b,c=d\n") << "s"
                                                        << "k" << -1 << "a=b,c=d";
    QTest::newRow("present but empty value is empty, not the default") << QByteArray("[s]\nk=\n") << "s"
                                                                       << "k" << -1 << "";
    QTest::newRow("line without equals defines no key") << QByteArray("[s]\nk\n") << "s"
                                                        << "k" << -1 << "dflt";
    QTest::newRow("first of duplicate keys wins") << QByteArray("[s]\nk=1\nK=2\n") << "s"
                                                  << "k" << -1 << "1";
    QTest::newRow("first of duplicate sections wins") << QByteArray("[s]\nk=1\n[S]\nk=2\n") << "s"
                                                      << "k" << -1 << "1";
    QTest::newRow("enclosing double quotes dropped") << QByteArray("[s]\nk=\" a,b \"\n") << "s"
                                                     << "k" << -1 << " a,b ";
    QTest::newRow("enclosing single quotes dropped") << QByteArray("[s]\nk='x'\n") << "s"
                                                     << "k" << -1 << "x";
    QTest::newRow("unbalanced quotes kept") << QByteArray("[s]\nk=\"x'\n") << "s"
                                            << "k" << -1 << "\"x'";
    QTest::newRow("comment lines do not disturb lookup")
        << QByteArray("; saved by the grid\n[s]\n;k=commented\nk=real\n") << "s"
        << "k" << -1 << "real";
    QTest::newRow("UTF-8 byte-order mark is skipped") << QByteArray("\xEF\xBB\xBF[s]\nk=v\n") << "s"
                                                      << "k" << -1 << "v";
    QTest::newRow("last line without line break") << QByteArray("[s]\nk=v") << "s"
                                                  << "k" << -1 << "v";

    // A fixed 128-byte buffer keeps at most 127 bytes of the value.
    const QByteArray longAscii = QByteArray(200, 'x');
    QTest::newRow("128-byte buffer keeps 127 bytes") << QByteArray("[s]\nk=" + longAscii + "\n") << "s"
                                                     << "k" << 128 << QString(127, u'x');
    QTest::newRow("value of exactly 127 bytes is whole") << QByteArray("[s]\nk=" + QByteArray(127, 'y') + "\n") << "s"
                                                         << "k" << 128 << QString(127, u'y');
    // 数 is three bytes: 42 of them fill 126 bytes, a 43rd would need 129.
    const QString chinese = QString(50, QChar(0x6570));
    QTest::newRow("buffer counts bytes and never splits a character")
        << QByteArray("[s]\nk=" + chinese.toUtf8() + "\n") << "s"
        << "k" << 128 << QString(42, QChar(0x6570));
    QTest::newRow("ascii prefix shifts the cut") << QByteArray("[s]\nk=a" + chinese.toUtf8() + "\n") << "s"
                                                 << "k" << 128 << u'a' + QString(42, QChar(0x6570));
    QTest::newRow("buffer applies to the default too") << QByteArray() << "s"
                                                       << "k" << 3 << "df";
}

void TestIniFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, bufferSize);
    QFETCH(QString, expected);

    QCOMPARE(writeFile(content), QString());
    QCOMPARE(IniFile::readString(m_path, section, key, QStringLiteral("dflt"), bufferSize), expected);
}

void TestIniFile::readMissingFile()
{
    const QString missing = m_dir->filePath(QStringLiteral("nothing.ini"));
    QCOMPARE(IniFile::readString(missing, QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("200")),
             QStringLiteral("200"));
    IniFile ini(missing);
    QVERIFY(ini.load());
    QVERIFY(ini.sections().isEmpty());
    QVERIFY(!QFile::exists(missing)); // reading never creates the file
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file gets section and key")
        << QByteArray() << "mmss40BGrid1"
        << "Field0"
        << "Mtr_No,物料,1200,4,1,True" << QByteArray("[mmss40BGrid1]\r\nField0=Mtr_No,物料,1200,4,1,True\r\n");
    QTest::newRow("existing key replaced in place, keeping the file's spelling")
        << QByteArray("; comment\r\n[A]\r\nFIELD0=old\r\nx=1\r\n[B]\r\nFIELD0=b\r\n") << "a"
        << "field0"
        << "new" << QByteArray("; comment\r\n[A]\r\nFIELD0=new\r\nx=1\r\n[B]\r\nFIELD0=b\r\n");
    QTest::newRow("new key goes to the end of its section, before the blank line")
        << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n") << "A"
        << "RowHeight"
        << "300" << QByteArray("[A]\r\nx=1\r\nRowHeight=300\r\n\r\n[B]\r\ny=2\r\n");
    QTest::newRow("new key in the last section") << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n") << "B"
                                                 << "z"
                                                 << "3" << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\nz=3\r\n");
    QTest::newRow("new key in an empty section") << QByteArray("[A]\r\n[B]\r\n") << "A"
                                                 << "k"
                                                 << "v" << QByteArray("[A]\r\nk=v\r\n[B]\r\n");
    QTest::newRow("missing section appended at the end")
        << QByteArray("[A]\r\nx=1\r\n") << "FrmcolorList"
        << "Color_Type"
        << "皮料" << QByteArray("[A]\r\nx=1\r\n[FrmcolorList]\r\nColor_Type=皮料\r\n");
    QTest::newRow("Unix line breaks and missing final break") << QByteArray("[A]\nx=1") << "A"
                                                              << "x"
                                                              << "2" << QByteArray("[A]\nx=2\n");
    QTest::newRow("byte-order mark kept") << QByteArray("\xEF\xBB\xBF[A]\r\nx=1\r\n") << "A"
                                          << "x"
                                          << "2" << QByteArray("\xEF\xBB\xBF[A]\r\nx=2\r\n");
    QTest::newRow("empty value written as key=") << QByteArray("[A]\r\nField3=a,b\r\n") << "A"
                                                 << "Field3"
                                                 << "" << QByteArray("[A]\r\nField3=\r\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    if (!before.isEmpty())
        QCOMPARE(writeFile(before), QString());
    QString error;
    QVERIFY2(IniFile::writeString(m_path, section, key, value, &error), qPrintable(error));
    QCOMPARE(readFile(), after);
    // Written atomically: no temporary file is left beside the settings file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("user.ini")});
}

void TestIniFile::writeThenReadRoundTrip()
{
    // What SaveGridLayout writes is what LoadGridLayout reads back, field by field.
    const QString section = QStringLiteral("mmss40BGrid1");
    const QStringList lines = {QStringLiteral("Inv_No,单号,1234.5,4,1,True"),
                               QStringLiteral("Mtr_Amt,数量(kg),900,4,7,False")};
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY(IniFile::writeString(m_path, section, QStringLiteral("Field%1").arg(i), lines.at(i)));
    QVERIFY(IniFile::writeString(m_path, section, QStringLiteral("RowHeight"), QStringLiteral("300")));
    QVERIFY(IniFile::writeString(m_path, section, QStringLiteral("Field0"), lines.at(0) + u'X'));

    IniFile ini(m_path);
    QVERIFY(ini.load());
    QCOMPARE(ini.value(section, QStringLiteral("Field0")), lines.at(0) + u'X');
    QCOMPARE(ini.value(section, QStringLiteral("Field1"), QString(), 128), lines.at(1));
    QCOMPARE(ini.value(section, QStringLiteral("RowHeight")), QStringLiteral("300"));
    QVERIFY(!ini.contains(section, QStringLiteral("Field2")));
    QCOMPARE(ini.sections(), QStringList{section});
    QCOMPARE(readFile(), QByteArray("[mmss40BGrid1]\r\nField0=Inv_No,单号,1234.5,4,1,TrueX\r\n"
                                    "Field1=Mtr_Amt,数量(kg),900,4,7,False\r\nRowHeight=300\r\n"));
}

void TestIniFile::writeRejectsWhatCannotBeStored_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("empty section") << ""
                                   << "k"
                                   << "v";
    QTest::newRow("bracket in section") << "a]b"
                                        << "k"
                                        << "v";
    QTest::newRow("blank key") << "s"
                               << "  "
                               << "v";
    QTest::newRow("equals in key") << "s"
                                   << "a=b"
                                   << "v";
    QTest::newRow("key looking like a section") << "s"
                                                << "[t"
                                                << "v";
    QTest::newRow("line break in value") << "s"
                                         << "k"
                                         << "a\nb";
    QTest::newRow("line break in key") << "s"
                                       << "a\r\nb"
                                       << "v";
}

void TestIniFile::writeRejectsWhatCannotBeStored()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    QCOMPARE(writeFile("[s]\r\nk=keep\r\n"), QString());
    QString error;
    QVERIFY(!IniFile::writeString(m_path, section, key, value, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(), QByteArray("[s]\r\nk=keep\r\n"));
}

void TestIniFile::writeIntoMissingFolderFails()
{
    const QString path = m_dir->filePath(QStringLiteral("no/such/folder/user.ini"));
    QString error;
    QVERIFY(!IniFile::writeString(path, QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

// GBK bytes, spelled out so the test does not depend on a codec to make them.
static const QByteArray kGbkLayout =
    QByteArray("[mmss40BGrid1]\r\nField0=Inv_No,") + QByteArray("\xB5\xA5\xBA\xC5") +  // 单号
    QByteArray(",1200,4,1,True\r\nField1=Mtr_Amt,") + QByteArray("\xCA\xFD\xC1\xBF") + // 数量
    QByteArray(",900,4,7,True\r\nRowHeight=300\r\n");

void TestIniFile::legacyCodePageFile()
{
    // A layout file the Windows program wrote: GBK, not UTF-8.
    QCOMPARE(writeFile(kGbkLayout), QString());
    IniFile ini(m_path);
    QVERIFY(ini.load());
    QVERIFY(ini.isLegacyEncoded());
    const QString section = QStringLiteral("mmss40BGrid1");
    QCOMPARE(ini.value(section, QStringLiteral("Field0")), QStringLiteral("Inv_No,单号,1200,4,1,True"));
    QCOMPARE(ini.value(section, QStringLiteral("Field1")), QStringLiteral("Mtr_Amt,数量,900,4,7,True"));
    // A fixed buffer counts the file's bytes: two per Chinese character here.
    QCOMPARE(ini.value(section, QStringLiteral("Field0"), QString(), 10), QStringLiteral("Inv_No,单"));
    QCOMPARE(ini.value(section, QStringLiteral("Field0"), QString(), 9), QStringLiteral("Inv_No,"));

    // Written back in GBK: the untouched lines keep their bytes, the changed
    // one is GBK too.
    QVERIFY(IniFile::writeString(m_path, section, QStringLiteral("Field1"),
                                 QStringLiteral("Mtr_Amt,领料数量,900,4,7,True")));
    QByteArray expected = kGbkLayout;
    expected.replace(QByteArray("\xCA\xFD\xC1\xBF"), QByteArray("\xC1\xEC\xC1\xCF\xCA\xFD\xC1\xBF"));
    QCOMPARE(readFile(), expected);
    QCOMPARE(IniFile::readString(m_path, section, QStringLiteral("Field1")),
             QStringLiteral("Mtr_Amt,领料数量,900,4,7,True"));
}

void TestIniFile::newFileIsUtf8()
{
    QVERIFY(IniFile::writeString(m_path, QStringLiteral("mmss40BGrid1"), QStringLiteral("Field0"),
                                 QStringLiteral("Inv_No,单号,1200,4,1,True")));
    QCOMPARE(readFile(), QByteArray("[mmss40BGrid1]\r\nField0=Inv_No,\xE5\x8D\x95\xE5\x8F\xB7,1200,4,1,True\r\n"));
    IniFile ini(m_path);
    QVERIFY(ini.load());
    QVERIFY(!ini.isLegacyEncoded());
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
