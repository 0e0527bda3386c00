#include "connect/zeltEncrypt.h"
#include "platform/Error.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> codes)
{
    QByteArray out;
    for (int c : codes)
        out.append(char(c));
    return out;
}

} // namespace

class TestZeltEncrypt : public QObject {
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void digitIndex_data();
    void digitIndex();
    void digitErrors();
    void roundTrip_data();
    void roundTrip();
    void encodedShape();
};

void TestZeltEncrypt::decode_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("hexInput");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("empty, hex") << QByteArray() << true << QByteArray();
    QTest::addRow("empty, text") << QByteArray() << false << QByteArray();
    QTest::addRow("one digit") << QByteArray("7") << true << QByteArray("7");
    QTest::addRow("two digits") << QByteArray("AB") << true << QByteArray("AB");
    QTest::addRow("one char, text") << QByteArray("A") << false << QByteArray("A");
    QTest::addRow("AB, text") << QByteArray("AB") << false << bytes({210});
    QTest::addRow("Hi, text") << QByteArray("Hi") << false << bytes({61});
    QTest::addRow("Hello, text: long branch") << QByteArray("Hello") << false
                                              << bytes({135, 12, 81, 168});
    QTest::addRow("odd W of one digit") << QByteArray("123") << true << bytes({239});
    QTest::addRow("8 digits: body unchanged") << QByteArray("01234567") << true
                                              << bytes({79, 38, 253});
    QTest::addRow("short body, lower case") << QByteArray("1ab2") << true << bytes({153});
    QTest::addRow("short body, non-hex") << QByteArray("1xy2") << true << QByteArray("1xy2");
    QTest::addRow("key G, short") << QByteArray("G1234") << true << QByteArray("G1234");
    QTest::addRow("key G, long") << QByteArray("012G456789") << true << QByteArray("012G456789");
    QTest::addRow("lower-case key, long") << QByteArray("012a456789") << true
                                          << bytes({183, 10, 45, 239});
    QTest::addRow("lower-case in long body") << QByteArray("0123456a89") << true
                                             << QByteArray("0123456a89");
    QTest::addRow("lower-case at copied position 3")
        << QByteArray("01a3456789") << true << QByteArray("01a3456789");
    QTest::addRow("9 digits: shortest long branch") << QByteArray("012345678") << true
                                                    << bytes({55, 221, 106, 40});
    QTest::addRow("0123456789, forward table") << QByteArray("0123456789") << true
                                               << bytes({39, 234, 125, 175});
    QTest::addRow("1234567890, reversed table") << QByteArray("1234567890") << true
                                                << bytes({113, 229, 121, 108});
    QTest::addRow("odd W, long") << QByteArray("0123456789A") << true
                                 << bytes({85, 237, 21, 234, 228});
    QTest::addRow("17 digits") << QByteArray("0123456789ABCDEF0") << true
                               << bytes({191, 109, 27, 201, 119, 37, 194, 128});
}

void TestZeltEncrypt::decode()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, hexInput);
    QFETCH(QByteArray, expected);
    QCOMPARE(DecodeString(input, hexInput), expected);
}

void TestZeltEncrypt::digitIndex_data()
{
    QTest::addColumn<char>("digit");
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<int>("index");

    QTest::addRow("0 forward") << '0' << false << 0;
    QTest::addRow("0 reversed") << '0' << true << 15;
    QTest::addRow("A forward") << 'A' << false << 10;
    QTest::addRow("A reversed") << 'A' << true << 5;
    QTest::addRow("F forward") << 'F' << false << 15;
    QTest::addRow("F reversed") << 'F' << true << 0;
}

void TestZeltEncrypt::digitIndex()
{
    QFETCH(char, digit);
    QFETCH(bool, reversed);
    QFETCH(int, index);
    QCOMPARE(DigitIndex(digit, reversed), index);
    QCOMPARE(DigitAt(index, reversed), digit);
}

void TestZeltEncrypt::digitErrors()
{
    for (char c : {'a', 'f', 'G', ' ', '\0'}) {
        for (bool reversed : {false, true}) {
            try {
                DigitIndex(c, reversed);
                QFAIL("DigitIndex accepted a non-digit");
            } catch (const platform::Error &e) {
                QCOMPARE(e.message(), QStringLiteral("Invalid Char"));
            }
        }
    }
    for (int index : {-1, 16, 255}) {
        try {
            DigitAt(index, false);
            QFAIL("DigitAt accepted an index out of range");
        } catch (const platform::Error &e) {
            QCOMPARE(e.message(), QStringLiteral("Index Out of Bounds %1").arg(index));
        }
    }
}

void TestZeltEncrypt::roundTrip_data()
{
    QTest::addColumn<int>("key");
    for (int key : {0, 1, 2, 57, 64, 127, 128, 200, 254, 255})
        QTest::addRow("key %d", key) << key;
}

void TestZeltEncrypt::roundTrip()
{
    QFETCH(int, key);
    QRandomGenerator rng(quint32(key) * 7919u + 1u);
    for (int length = 1; length <= 40; ++length) {
        for (int sample = 0; sample < 25; ++sample) {
            QByteArray plain(length, '\0');
            for (char &c : plain)
                c = char(rng.bounded(256));
            const QByteArray scrambled = EncodeString(plain, quint8(key));
            QCOMPARE(DecodeString(scrambled, true), plain);
        }
    }
}

void TestZeltEncrypt::encodedShape()
{
    QCOMPARE(EncodeString(QByteArray(), 42), QByteArray());
    const QRegularExpression upperHex(QStringLiteral("^[0-9A-F]+$"));
    for (int length : {1, 3, 4, 12, 14}) {
        const QByteArray scrambled = EncodeString(QByteArray(length, 'x'), 0xA7);
        QCOMPARE(scrambled.size(), 2 * length + 2);
        QVERIFY(upperHex.match(QString::fromLatin1(scrambled)).hasMatch());
        // The key sits at positions 4 and L in long strings, at 1 and L in short ones.
        const QByteArray keyText = scrambled.size() > 8
                                       ? QByteArray() + scrambled.at(3) + scrambled.back()
                                       : QByteArray() + scrambled.front() + scrambled.back();
        QCOMPARE(keyText, QByteArray("A7"));
    }
}

QTEST_GUILESS_MAIN(TestZeltEncrypt)
#include "tst_zeltEncrypt.moc"
