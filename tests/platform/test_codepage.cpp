#include "platform/CodePage.h"
#include "platform/Error.h"

#include <QLocale>
#include <QTest>

#include <iconv.h>

using namespace platform;

namespace {

// What iconv reads back from the bytes, for the round-trip check.
QString fromCodePage(const QByteArray &bytes, int codePage)
{
    iconv_t cd = iconv_open("UTF-16LE", ("CP" + QByteArray::number(codePage)).constData());
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(bytes.size() * 8, '\0');
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *dst = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv(cd, nullptr, nullptr, &dst, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(out.constData()), (dst - out.constData()) / 2);
}

} // namespace

class TestCodePage : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setAnsiCodePageOverride(std::nullopt); }

    void codePageForLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("codePage");
        const std::pair<const char *, int> cases[] = {
            {"C", 1252},     {"en_US", 1252},      {"de_DE", 1252}, {"fr_FR", 1252}, {"ja_JP", 1252},
            {"cs_CZ", 1250}, {"pl_PL", 1250},      {"hu_HU", 1250}, {"hr_HR", 1250}, {"sq_AL", 1250},
            {"bs_BA", 1250}, {"sr_Latn_RS", 1250}, {"sr_RS", 1251}, {"ru_RU", 1251}, {"uk_UA", 1251},
            {"bg_BG", 1251}, {"mk_MK", 1251},      {"el_GR", 1253}, {"tr_TR", 1254}, {"az_AZ", 1254},
            {"he_IL", 1255}, {"ar_EG", 1256},      {"fa_IR", 1256}, {"ur_PK", 1256}, {"et_EE", 1257},
            {"lv_LV", 1257}, {"lt_LT", 1257},      {"vi_VN", 1258}, {"th_TH", 874}};
        for (const auto &[name, cp] : cases)
            QTest::addRow("%s", name) << QString(name) << cp;
    }

    void codePageForLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, codePage);
        QCOMPARE(ansiCodePageFor(QLocale(locale)), codePage);
    }

    void toAnsi_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::addRow("ASCII") << 1252 << "Congregation ID,12.5\r\n" << QByteArray("Congregation ID,12.5\r\n");
        QTest::addRow("1252 letters and euro") << 1252 << QString::fromUtf8("Grüße €5") << QByteArray("Gr\xFC\xDF" "e \x80" "5");
        QTest::addRow("1252 lacks Polish") << 1252 << QString::fromUtf8("Łódź") << QByteArray("?\xF3" "d?");
        QTest::addRow("no best fit") << 1252 << QString::fromUtf8("Ā ı") << QByteArray("? ?");
        QTest::addRow("surrogate pair is one ?") << 1252 << QString::fromUtf8("a😀b") << QByteArray("a?b");
        QTest::addRow("two pairs") << 1252 << QString::fromUtf8("😀😀") << QByteArray("??");
        QTest::addRow("lone high surrogate") << 1252 << (QString("a") + QChar(0xD800) + "b") << QByteArray("a?b");
        QTest::addRow("lone low surrogate at end") << 1252 << (QString("a") + QChar(0xDC00)) << QByteArray("a?");
        QTest::addRow("high surrogate at end") << 1252 << (QString("a") + QChar(0xD83D)) << QByteArray("a?");
        QTest::addRow("NUL kept") << 1252 << QString(QChar(0)) << QByteArray(1, '\0');
        QTest::addRow("empty") << 1252 << QString() << QByteArray();
        QTest::addRow("1250") << 1250 << QString::fromUtf8("Łódź") << QByteArray("\xA3\xF3" "d\x9F");
        QTest::addRow("1251") << 1251 << QString::fromUtf8("Привет, €") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2, \x88");
        QTest::addRow("1251 lacks Latin accents") << 1251 << QString::fromUtf8("é") << QByteArray("?");
        QTest::addRow("1253") << 1253 << QString::fromUtf8("Ωμέγα") << QByteArray("\xD9\xEC\xDD\xE3\xE1");
        QTest::addRow("1258 base plus mark") << 1258 << QString::fromUtf8("ệ!") << QByteArray("\xEA\xF2!");
        QTest::addRow("874") << 874 << QString::fromUtf8("ก") << QByteArray("\xA1");
    }

    void toAnsi()
    {
        QFETCH(int, codePage);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(platform::toAnsi(text, codePage), expected);
        setAnsiCodePageOverride(codePage);
        QCOMPARE(ansiCodePage(), codePage);
        QCOMPARE(platform::toAnsi(text), expected);
        QByteArray buffer("x;");
        appendAnsi(buffer, text);
        QCOMPARE(buffer, "x;" + expected);
    }

    // Every character a page holds survives the trip out and back.
    void everyByteRoundTrips_data()
    {
        QTest::addColumn<int>("codePage");
        for (int cp : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258})
            QTest::addRow("%d", cp) << cp;
    }

    void everyByteRoundTrips()
    {
        QFETCH(int, codePage);
        int checked = 0;
        for (int b = 1; b < 256; ++b) {
            const QByteArray byte(1, char(b));
            const QString text = fromCodePage(byte, codePage);
            if (text.isEmpty())
                continue;   // a byte the page leaves undefined
            QCOMPARE(platform::toAnsi(text, codePage), byte);
            ++checked;
        }
        QVERIFY(checked > 200);
    }

    void overrideAndSystem()
    {
        QCOMPARE(ansiCodePage(), ansiCodePageFor(QLocale::system()));
        setAnsiCodePageOverride(1251);
        QCOMPARE(ansiCodePage(), 1251);
        QVERIFY_THROWS_EXCEPTION(Error, setAnsiCodePageOverride(99999));
        QVERIFY_THROWS_EXCEPTION(Error, setAnsiCodePageOverride(0));
        QCOMPARE(ansiCodePage(), 1251);   // a failed change leaves the page alone
        QVERIFY_THROWS_EXCEPTION(Error, platform::toAnsi(u"x", 99999));
        setAnsiCodePageOverride(std::nullopt);
        QCOMPARE(ansiCodePage(), ansiCodePageFor(QLocale::system()));
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "test_codepage.moc"
