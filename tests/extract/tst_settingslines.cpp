#include "extract/SettingsLines.h"

#include <QTest>

class TestSettingsLines : public QObject {
    Q_OBJECT

private slots:
    void writeCommaText_data();
    void writeCommaText();
    void readCommaText_data();
    void readCommaText();
    void roundTrip_data();
    void roundTrip();
    void vuveItem_data();
    void vuveItem();
    void choices();
    void defaultDateRange_data();
    void defaultDateRange();
};

void TestSettingsLines::writeCommaText_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addRow("ids") << QStringList{"12", "40", "113"} << "12,40,113";
    QTest::addRow("empty list") << QStringList{} << "";
    QTest::addRow("one empty entry") << QStringList{""} << "\"\"";
    QTest::addRow("blank") << QStringList{"St Mark", "x"} << "\"St Mark\",x";
    QTest::addRow("comma") << QStringList{"Smith, John"} << "\"Smith, John\"";
    QTest::addRow("quote doubled") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"";
    QTest::addRow("quote alone") << QStringList{"a\"b"} << "\"a\"\"b\"";
    QTest::addRow("control character") << QStringList{"a\tb"} << "\"a\tb\"";
    QTest::addRow("empty among others") << QStringList{"a", "", "b"} << "a,,b";
    QTest::addRow("accents need no quotes") << QStringList{QString::fromUtf8("Müller")}
                                            << QString::fromUtf8("Müller");
}

void TestSettingsLines::writeCommaText()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QCOMPARE(CommaText(entries), text);
}

void TestSettingsLines::readCommaText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addRow("ids") << "12,40,113" << QStringList{"12", "40", "113"};
    QTest::addRow("empty line") << "" << QStringList{};
    QTest::addRow("blanks only") << "   " << QStringList{};
    QTest::addRow("blanks separate") << "12 40  113" << QStringList{"12", "40", "113"};
    QTest::addRow("blanks around commas") << " 12 , 40 " << QStringList{"12", "40"};
    QTest::addRow("quoted with comma") << "\"Smith, John\",Jones" << QStringList{"Smith, John", "Jones"};
    QTest::addRow("doubled quote") << "\"say \"\"hi\"\"\"" << QStringList{"say \"hi\""};
    QTest::addRow("empty middle entry") << "a,,b" << QStringList{"a", "", "b"};
    QTest::addRow("trailing comma") << "a," << QStringList{"a", ""};
    QTest::addRow("unclosed quote takes the rest") << "1,\"ab, c" << QStringList{"1", "ab, c"};
    QTest::addRow("text after closing quote") << "\"ab\"cd" << QStringList{"ab", "cd"};
    QTest::addRow("quoted empty") << "\"\"" << QStringList{""};
}

void TestSettingsLines::readCommaText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QCOMPARE(ReadCommaText(text), entries);
}

void TestSettingsLines::roundTrip_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addRow("names with quotes and commas")
        << QStringList{"St. John's, Upper", "\"The\" Chapel", "plain", "a  b", ""};
    QTest::addRow("one empty") << QStringList{""};
    QTest::addRow("only quotes") << QStringList{"\"", "\"\"", ","};
}

void TestSettingsLines::roundTrip()
{
    QFETCH(QStringList, entries);
    QCOMPARE(ReadCommaText(CommaText(entries)), entries);
}

void TestSettingsLines::vuveItem_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("item");
    QTest::addRow("0") << "0" << 0;
    QTest::addRow("3") << "3" << 3;
    QTest::addRow("6") << "6" << 6;
    QTest::addRow("7") << "7" << 0;
    QTest::addRow("-1") << "-1" << 0;
    QTest::addRow("word") << "Field2" << 0;
    QTest::addRow("empty") << "" << 0;
    QTest::addRow("leading blank") << " 4" << 4;
    QTest::addRow("plus sign") << "+5" << 5;
    QTest::addRow("trailing blank") << "4 " << 0;
    QTest::addRow("huge") << "99999999999999999999" << 0;
    QTest::addRow("fraction") << "2.0" << 0;
}

void TestSettingsLines::vuveItem()
{
    QFETCH(QString, line);
    QFETCH(int, item);
    QCOMPARE(VuveItemFromLine(line), item);
}

void TestSettingsLines::choices()
{
    QCOMPARE(ContributorsFromLine("0"), ContributorsChoice::AllSynods);
    QCOMPARE(ContributorsFromLine("1"), ContributorsChoice::SelectedSynods);
    for (const char *other : {"2", "", " 0", "01", "People"})
        QCOMPARE(ContributorsFromLine(QString::fromLatin1(other)), ContributorsChoice::People);
    QCOMPARE(LineFromContributors(ContributorsChoice::SelectedSynods), QStringLiteral("1"));
    QVERIFY(AllFundsFromLine("1"));
    for (const char *other : {"2", "", "1 ", "0"})
        QVERIFY(!AllFundsFromLine(QString::fromLatin1(other)));
    QCOMPARE(StrToIntDef("-2147483648", 9), -2147483647 - 1);
    QCOMPARE(StrToIntDef("2147483648", 9), 9);
    QCOMPARE(StrToIntDef("-", 9), 9);
}

void TestSettingsLines::defaultDateRange_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addRow("March, leap year") << QDate(2024, 3, 15) << QDate(2024, 2, 1) << QDate(2024, 2, 29);
    QTest::addRow("March") << QDate(2023, 3, 31) << QDate(2023, 2, 1) << QDate(2023, 2, 28);
    QTest::addRow("1 January") << QDate(2025, 1, 1) << QDate(2024, 12, 1) << QDate(2024, 12, 31);
    QTest::addRow("31 December") << QDate(2025, 12, 31) << QDate(2025, 11, 1) << QDate(2025, 11, 30);
}

void TestSettingsLines::defaultDateRange()
{
    QFETCH(QDate, today);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    const auto range = DefaultDateRange(today);
    QCOMPARE(range.first, from);
    QCOMPARE(range.second, to);
}

QTEST_APPLESS_MAIN(TestSettingsLines)
#include "tst_settingslines.moc"
