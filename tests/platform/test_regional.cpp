#include "platform/Regional.h"

#include <QLocale>
#include <QTest>

using platform::RegionalSettings;

class TestRegional : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::setRegionalOverride(std::nullopt); }

    void widenTwoDigitYear_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::addRow("US") << "M/d/yy" << "M/d/yyyy";
        QTest::addRow("German") << "dd.MM.yy" << "dd.MM.yyyy";
        QTest::addRow("trailing literal") << "d.M.yy." << "d.M.yyyy.";
        QTest::addRow("already four") << "yyyy-MM-dd" << "yyyy-MM-dd";
        QTest::addRow("quoted yy stays") << "'yy' dd/MM/yy" << "'yy' dd/MM/yyyy";
        QTest::addRow("escaped quote inside a literal") << "'o''yy' yy" << "'o''yy' yyyy";
        QTest::addRow("names") << "d MMM yy" << "d MMM yyyy";
        QTest::addRow("empty") << "" << "";
    }

    void widenTwoDigitYear()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(platform::widenTwoDigitYear(format), expected);
    }

    void fromLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QChar>("decimal");
        QTest::addColumn<QChar>("thousand");
        QTest::addColumn<QString>("currency");
        QTest::addColumn<int>("positive");
        QTest::addColumn<int>("negative");
        QTest::addColumn<int>("decimals");
        // Positive: 0 "$1", 2 "$ 1", 3 "1 $". Negative: 0 "($1)", 1 "-$1", 8 "-1 $", 14 "($ 1)".
        QTest::addRow("C") << "C" << "d MMM yyyy" << "HH:mm:ss" << QChar('.') << QChar(',') << "" << 0 << 1 << 2;
        QTest::addRow("en_US") << "en_US" << "M/d/yyyy" << "h:mm AP" << QChar('.') << QChar(',') << "$" << 0 << 0 << 2;
        QTest::addRow("de_DE") << "de_DE" << "dd.MM.yyyy" << "HH:mm" << QChar(',') << QChar('.')
                               << QString(QChar(0x20AC)) << 3 << 8 << 2;
        QTest::addRow("nl_NL") << "nl_NL" << "dd-MM-yyyy" << "HH:mm" << QChar(',') << QChar('.')
                               << QString(QChar(0x20AC)) << 2 << 14 << 2;
        QTest::addRow("ja_JP") << "ja_JP" << "yyyy/MM/dd" << "H:mm" << QChar('.') << QChar(',')
                               << QString(QChar(0xFFE5)) << 0 << 0 << 0;
    }

    void fromLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QChar, decimal);
        QFETCH(QChar, thousand);
        QFETCH(QString, currency);
        QFETCH(int, positive);
        QFETCH(int, negative);
        QFETCH(int, decimals);
        const RegionalSettings s = RegionalSettings::fromLocale(QLocale(locale));
        QCOMPARE(s.shortDateFormat, date);
        QCOMPARE(s.shortTimeFormat, time);
        QCOMPARE(s.decimalSeparator, decimal);
        QCOMPARE(s.thousandSeparator, thousand);
        QCOMPARE(s.currencyString, currency);
        QCOMPARE(s.currencyFormat, positive);
        QCOMPARE(s.negCurrFormat, negative);
        QCOMPARE(s.currencyDecimals, decimals);
    }

    void presetsMatchTheirLocales()
    {
        QCOMPARE(RegionalSettings::fromLocale(QLocale("en_US")), RegionalSettings::unitedStates());
        QCOMPARE(RegionalSettings::fromLocale(QLocale("de_DE")), RegionalSettings::commaDecimal());
        QCOMPARE(QDate(2026, 3, 7).toString(RegionalSettings::unitedStates().shortDateFormat), QString("3/7/2026"));
        QCOMPARE(QDate(2026, 3, 7).toString(RegionalSettings::commaDecimal().shortDateFormat), QString("07.03.2026"));
    }

    void overrideAndSystem()
    {
        const RegionalSettings system = RegionalSettings::fromLocale(QLocale::system());
        QCOMPARE(platform::regionalSettings(), system);
        platform::setRegionalOverride(RegionalSettings::commaDecimal());
        QCOMPARE(platform::regionalSettings(), RegionalSettings::commaDecimal());
        platform::setRegionalOverride(std::nullopt);
        QCOMPARE(platform::regionalSettings(), system);
    }

    // A cache kept per generation must see every change of the override at
    // once, and a generation must not move while nothing changes.
    void generationFollowsTheOverride()
    {
        platform::setRegionalOverride(RegionalSettings::unitedStates());
        quint64 generation = 0;
        const auto us = platform::currentRegionalSettings(&generation);
        QCOMPARE(*us, RegionalSettings::unitedStates());
        QCOMPARE(platform::regionalSettingsGeneration(), generation);
        QCOMPARE(platform::regionalSettingsGeneration(), generation);

        platform::setRegionalOverride(RegionalSettings::commaDecimal());
        const quint64 comma = platform::regionalSettingsGeneration();
        QVERIFY(comma != generation);
        QCOMPARE(*platform::currentRegionalSettings(), RegionalSettings::commaDecimal());
        QCOMPARE(*us, RegionalSettings::unitedStates());   // a holder keeps what it had

        platform::setRegionalOverride(std::nullopt);
        quint64 system = 0;
        QCOMPARE(*platform::currentRegionalSettings(&system), RegionalSettings::fromLocale(QLocale::system()));
        QVERIFY(system != comma);
        QCOMPARE(platform::regionalSettingsGeneration(), system);
    }
};

namespace QTest {
template <>
char *toString(const RegionalSettings &s)
{
    return qstrdup(QStringLiteral("{%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8}")
                       .arg(s.shortDateFormat, s.shortTimeFormat, QString(s.decimalSeparator),
                            QString(s.thousandSeparator), s.currencyString)
                       .arg(s.currencyFormat)
                       .arg(s.negCurrFormat)
                       .arg(s.currencyDecimals)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

QTEST_GUILESS_MAIN(TestRegional)
#include "test_regional.moc"
