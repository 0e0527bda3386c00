// FormatFixedField on a field of every type code of the data-access layer,
// stored in a real table, with the money flag and two regional settings.

#include "data/Engine.h"
#include "data/Table.h"
#include "platform/Regional.h"
#include "writers/ZELXFixedText.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using data::FieldType;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FieldType)

namespace {

QString sp(int count)
{
    return QString(count, u' ');
}

QString right(const QString &text, int width)
{
    return sp(qMax(0, width - int(text.size()))) + text;
}

QString left(const QString &text, int width)
{
    return text + sp(qMax(0, width - int(text.size())));
}

enum class Regional { US, CommaDecimal };

} // namespace

Q_DECLARE_METATYPE(Regional)

class TestZELXFixedText : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::optional<data::Database> m_database;
    int m_tables = 0;

    // A one-field table holding one record; value null leaves the field null.
    // The value goes in through the setter matching its type.
    std::unique_ptr<data::Table> tableWith(FieldType type, int size, const QVariant &value)
    {
        auto table = std::make_unique<data::Table>();
        table->setDatabaseName(QStringLiteral("FIXED"));
        table->setTableName(QStringLiteral("T%1").arg(++m_tables));
        data::TableDef def;
        def.name = table->tableName();
        def.fields.append(data::FieldDef{QStringLiteral("V"), type, size, false});
        table->createTable(def);
        table->open();
        table->append();
        data::Field field = table->fieldByName(QStringLiteral("V"));
        switch (value.typeId()) {
        case QMetaType::UnknownType: break;
        case QMetaType::Bool: field.setAsBoolean(value.toBool()); break;
        case QMetaType::Int: field.setAsInteger(value.toInt()); break;
        case QMetaType::LongLong: field.setAsLargeInt(value.toLongLong()); break;
        case QMetaType::Double: field.setAsFloat(value.toDouble()); break;
        case QMetaType::QDateTime: field.setAsDateTime(value.toDateTime()); break;
        case QMetaType::QByteArray:   // a currency amount, raw with four decimals
            field.setAsCurrency(data::Currency::fromRaw(value.toByteArray().toLongLong()));
            break;
        default: field.setAsString(value.toString()); break;
        }
        table->post();
        table->first();
        return table;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_database.emplace(data::Session::defaultSession(), QStringLiteral("FIXED"), m_dir.path());
    }
    void cleanup() { platform::setRegionalOverride(std::nullopt); }

    void formatFixedField_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("money");
        QTest::addColumn<Regional>("regional");
        QTest::addColumn<QString>("expected");

        const QVariant null;
        const auto US = Regional::US;
        const auto CD = Regional::CommaDecimal;
        const auto cur = [](qint64 raw) { return QVariant(QByteArray::number(raw)); };
        const QDateTime afternoon(QDate(2005, 1, 15), QTime(13, 5));
        const QDateTime midnight(QDate(2005, 1, 15), QTime(0, 0));
        const QString memo300 = QString(200, u'a') + QString(100, u'b');
        const QString guid = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");

        // Strings: the declared size, no null test.
        QTest::newRow("String") << FieldType::String << 10 << QVariant(u"Fund"_s) << false << US << u"Fund      "_s;
        QTest::newRow("String full") << FieldType::String << 4 << QVariant(u"Fund"_s) << false << US << u"Fund"_s;
        QTest::newRow("String null") << FieldType::String << 10 << null << false << US << sp(10);
        QTest::newRow("String non-ASCII") << FieldType::String << 6 << QVariant(u"Caf\u00e9"_s) << false << US << u"Caf\u00e9  "_s;
        QTest::newRow("FixedChar") << FieldType::FixedChar << 5 << QVariant(u"AB"_s) << false << US << u"AB   "_s;
        QTest::newRow("WideString") << FieldType::WideString << 6 << QVariant(u"\u0141x"_s) << false << US << u"\u0141x    "_s;
        QTest::newRow("WideString null") << FieldType::WideString << 3 << null << false << US << sp(3);

        // Integers, right-aligned.
        QTest::newRow("Smallint 7") << FieldType::Smallint << 0 << QVariant(7) << false << US << u"     7"_s;
        QTest::newRow("Smallint min") << FieldType::Smallint << 0 << QVariant(-32768) << false << US << u"-32768"_s;
        QTest::newRow("Smallint null") << FieldType::Smallint << 0 << null << false << US << sp(6);
        QTest::newRow("Word max") << FieldType::Word << 0 << QVariant(65535) << false << US << u" 65535"_s;
        QTest::newRow("Word null") << FieldType::Word << 0 << null << false << US << sp(6);
        QTest::newRow("Integer min") << FieldType::Integer << 0 << QVariant(int(-2147483648LL)) << false << US << u"-2147483648"_s;
        QTest::newRow("Integer 42") << FieldType::Integer << 0 << QVariant(42) << false << US << right(u"42"_s, 11);
        QTest::newRow("Integer null") << FieldType::Integer << 0 << null << false << US << sp(11);
        QTest::newRow("AutoInc") << FieldType::AutoInc << 0 << null << false << US << right(u"1"_s, 11);
        QTest::newRow("Largeint max") << FieldType::Largeint << 0 << QVariant(qint64(9223372036854775807LL)) << false << US << u" 9223372036854775807"_s;
        QTest::newRow("Largeint min") << FieldType::Largeint << 0 << QVariant(qint64(-9223372036854775807LL - 1)) << false << US << u"-9223372036854775808"_s;
        QTest::newRow("Largeint null") << FieldType::Largeint << 0 << null << false << US << sp(20);

        QTest::newRow("Boolean true") << FieldType::Boolean << 0 << QVariant(true) << false << US << u"T"_s;
        QTest::newRow("Boolean false") << FieldType::Boolean << 0 << QVariant(false) << false << US << u"F"_s;
        QTest::newRow("Boolean null") << FieldType::Boolean << 0 << null << false << US << u" "_s;

        // Floating point and amounts: two decimals, no thousands separator.
        QTest::newRow("Float") << FieldType::Float << 0 << QVariant(3.14159) << false << US << right(u"3.14"_s, 21);
        QTest::newRow("Float comma") << FieldType::Float << 0 << QVariant(-1234567.891) << false << CD << right(u"-1234567,89"_s, 21);
        QTest::newRow("Float tiny negative") << FieldType::Float << 0 << QVariant(-0.001) << false << US << right(u"0.00"_s, 21);
        QTest::newRow("Float null") << FieldType::Float << 0 << null << false << US << sp(21);
        QTest::newRow("Currency") << FieldType::Currency << 0 << cur(255000) << false << US << right(u"25.50"_s, 21);
        QTest::newRow("Currency -3.5") << FieldType::Currency << 0 << cur(-35000) << false << US << sp(16) + u"-3.50"_s;
        QTest::newRow("Currency rounds") << FieldType::Currency << 0 << cur(12345678910) << false << US << right(u"1234567.89"_s, 21);
        QTest::newRow("Currency half up") << FieldType::Currency << 0 << cur(-50) << false << US << right(u"-0.01"_s, 21);
        QTest::newRow("Currency tiny") << FieldType::Currency << 0 << cur(-49) << false << US << right(u"0.00"_s, 21);
        QTest::newRow("Currency max") << FieldType::Currency << 0 << cur(std::numeric_limits<qint64>::min()) << false << US << u"-922337203685477.58"_s.rightJustified(21);
        QTest::newRow("Currency comma") << FieldType::Currency << 0 << cur(255000) << false << CD << right(u"25,50"_s, 21);
        QTest::newRow("Currency null") << FieldType::Currency << 0 << null << false << US << sp(21);
        QTest::newRow("Currency money") << FieldType::Currency << 0 << cur(255000) << true << US << sp(15) + u"$25.50"_s;
        QTest::newRow("Currency money negative") << FieldType::Currency << 0 << cur(-12345000) << true << US << right(u"($1,234.50)"_s, 21);
        QTest::newRow("Currency money comma") << FieldType::Currency << 0 << cur(12345000) << true << CD << right(u"1.234,50 \u20ac"_s, 21);
        QTest::newRow("Currency money comma negative") << FieldType::Currency << 0 << cur(-12345000) << true << CD << right(u"-1.234,50 \u20ac"_s, 21);
        QTest::newRow("Currency money null") << FieldType::Currency << 0 << null << true << US << sp(21);
        QTest::newRow("BCD") << FieldType::BCD << 0 << QVariant(7.125) << false << US << right(u"7.13"_s, 21);
        QTest::newRow("BCD null") << FieldType::BCD << 0 << null << false << US << sp(21);

        // Dates and times in the short formats, left-aligned.
        QTest::newRow("Date") << FieldType::Date << 0 << QVariant(midnight) << false << US << u"1/15/2005  "_s;
        QTest::newRow("Date comma") << FieldType::Date << 0 << QVariant(midnight) << false << CD << u"15.01.2005 "_s;
        QTest::newRow("Date null") << FieldType::Date << 0 << null << false << US << sp(11);
        QTest::newRow("Time") << FieldType::Time << 0 << QVariant(afternoon) << false << US << u"1:05 PM    "_s;
        QTest::newRow("Time comma") << FieldType::Time << 0 << QVariant(afternoon) << false << CD << u"13:05      "_s;
        QTest::newRow("Time null") << FieldType::Time << 0 << null << false << US << sp(11);
        QTest::newRow("DateTime") << FieldType::DateTime << 0 << QVariant(afternoon) << false << US << left(u"1/15/2005 1:05 PM"_s, 22);
        QTest::newRow("DateTime midnight") << FieldType::DateTime << 0 << QVariant(midnight) << false << US << left(u"1/15/2005 12:00 AM"_s, 22);
        QTest::newRow("DateTime null") << FieldType::DateTime << 0 << null << false << US << sp(22);

        // Memo: always exactly 255 characters.
        QTest::newRow("Memo 300") << FieldType::Memo << 0 << QVariant(memo300) << false << US << memo300.left(255);
        QTest::newRow("Memo 10") << FieldType::Memo << 0 << QVariant(u"0123456789"_s) << false << US << u"0123456789"_s + sp(245);
        QTest::newRow("Memo null") << FieldType::Memo << 0 << null << false << US << sp(255);

        QTest::newRow("Guid") << FieldType::Guid << 0 << QVariant(guid) << false << US << guid;
        QTest::newRow("Guid null") << FieldType::Guid << 0 << null << false << US << sp(38);

        // Every other type has no column, whatever it holds. (The engine
        // stores no field of the unknown type, code 0.)
        const QList<std::pair<FieldType, QVariant>> none{
            {FieldType::Bytes, u"x"_s}, {FieldType::VarBytes, u"x"_s},
            {FieldType::Blob, u"x"_s}, {FieldType::Graphic, u"x"_s}, {FieldType::FmtMemo, u"x"_s},
            {FieldType::ParadoxOle, u"x"_s}, {FieldType::DBaseOle, u"x"_s},
            {FieldType::TypedBinary, u"x"_s}, {FieldType::Cursor, u"x"_s}, {FieldType::ADT, u"x"_s},
            {FieldType::Array, u"x"_s}, {FieldType::Reference, u"x"_s}, {FieldType::DataSet, u"x"_s},
            {FieldType::OraBlob, u"x"_s}, {FieldType::OraClob, u"x"_s}, {FieldType::Variant, u"x"_s},
            {FieldType::Interface, u"x"_s}, {FieldType::IDispatch, u"x"_s},
            {FieldType::TimeStamp, QVariant(afternoon)}, {FieldType::FMTBcd, QVariant(1.5)}};
        for (const auto &[type, value] : none)
            QTest::addRow("no column, code %d", int(type)) << type << 0 << value << false << US << QString();
    }

    void formatFixedField()
    {
        QFETCH(FieldType, type);
        QFETCH(int, size);
        QFETCH(QVariant, value);
        QFETCH(bool, money);
        QFETCH(Regional, regional);
        QFETCH(QString, expected);
        platform::setRegionalOverride(regional == Regional::US ? platform::RegionalSettings::unitedStates()
                                                               : platform::RegionalSettings::commaDecimal());
        auto table = tableWith(type, size, value);
        QCOMPARE(FormatFixedField(table->fieldByName(QStringLiteral("V")), money), expected);
        table->close();
    }

    // Every one of the sixteen negative currency patterns, and the four
    // positive ones.
    void regionalCurrencyPatterns_data()
    {
        QTest::addColumn<int>("positiveFormat");
        QTest::addColumn<int>("negativeFormat");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("expected");
        const QStringList negative{
            u"($1.1)"_s, u"-$1.1"_s, u"$-1.1"_s, u"$1.1-"_s, u"(1.1$)"_s, u"-1.1$"_s,
            u"1.1-$"_s, u"1.1$-"_s, u"-1.1 $"_s, u"-$ 1.1"_s, u"1.1 $-"_s, u"$ 1.1-"_s,
            u"$ -1.1"_s, u"1.1- $"_s, u"($ 1.1)"_s, u"(1.1 $)"_s};
        for (int i = 0; i < negative.size(); ++i) {
            QString text = negative[i];
            text.replace(u"1.1"_s, u"1,234.56"_s);
            QTest::addRow("negative %d", i) << 0 << i << qint64(-12345600) << text;
        }
        const QStringList positive{u"$1,234.56"_s, u"1,234.56$"_s, u"$ 1,234.56"_s, u"1,234.56 $"_s};
        for (int i = 0; i < positive.size(); ++i)
            QTest::addRow("positive %d", i) << i << 0 << qint64(12345600) << positive[i];
        QTest::addRow("rounds to zero, not negative") << 0 << 1 << qint64(-49) << u"$0.00"_s;
        QTest::addRow("millions") << 0 << 1 << qint64(-12345678900000) << u"-$1,234,567,890.00"_s;
    }
    void regionalCurrencyPatterns()
    {
        QFETCH(int, positiveFormat);
        QFETCH(int, negativeFormat);
        QFETCH(qint64, raw);
        QFETCH(QString, expected);
        platform::RegionalSettings settings = platform::RegionalSettings::unitedStates();
        settings.currencyFormat = positiveFormat;
        settings.negCurrFormat = negativeFormat;
        QCOMPARE(writers::regionalCurrency(raw, settings), expected);
    }

    void regionalCurrencyDecimals_data()
    {
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none, rounded half away") << 0 << u"$1,235"_s;
        QTest::newRow("one") << 1 << u"$1,234.6"_s;
        QTest::newRow("four") << 4 << u"$1,234.5678"_s;
        QTest::newRow("five") << 5 << u"$1,234.56780"_s;
    }
    void regionalCurrencyDecimals()
    {
        QFETCH(int, decimals);
        QFETCH(QString, expected);
        platform::RegionalSettings settings = platform::RegionalSettings::unitedStates();
        settings.currencyDecimals = decimals;
        QCOMPARE(writers::regionalCurrency(12345678, settings), expected);
    }
};

QTEST_GUILESS_MAIN(TestZELXFixedText)
#include "tst_ZELXFixedText.moc"
