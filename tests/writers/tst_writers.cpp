// The comma-delimited, fixed-length and HTML writers on a real extract table:
// exact bytes, regional settings, cancel, the overwrite question's outcome
// and failures of the file or the device.

#include "ExtractFixture.h"
#include "FailDevice.h"

#include "data/Engine.h"
#include "platform/Error.h"
#include "platform/CodePage.h"
#include "platform/MessageHost.h"
#include "platform/Regional.h"
#include "writers/CommaDelimited.h"
#include "writers/ExportContext.h"
#include "writers/ExportStream.h"
#include "writers/FixedLength.h"
#include "writers/Html.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

enum class Kind { Csv, CsvUnquoted, Fixed, Html };

void write(Kind kind, const QString &fileName, const TExtractList &columns, data::Table &table,
           ExportContext &context)
{
    switch (kind) {
    case Kind::Csv: WriteCommaDelimited(fileName, columns, table, true, context); break;
    case Kind::CsvUnquoted: WriteCommaDelimited(fileName, columns, table, false, context); break;
    case Kind::Fixed: WriteFixedLength(fileName, columns, table, context); break;
    case Kind::Html: WriteHtml(fileName, columns, table, context); break;
    }
}

void writeRows(Kind kind, writers::ExportStream &out, const TExtractList &columns,
               data::Table &table, ExportContext &context)
{
    switch (kind) {
    case Kind::Csv: writers::writeCommaDelimitedRows(out, columns, table, true, context); break;
    case Kind::CsvUnquoted: writers::writeCommaDelimitedRows(out, columns, table, false, context); break;
    case Kind::Fixed: writers::writeFixedLengthRows(out, columns, table, context); break;
    case Kind::Html: writers::writeHtmlDocument(out, columns, table, context); break;
    }
}

QByteArray left(const QByteArray &text, int width)
{
    return text + QByteArray(qMax(0, width - int(text.size())), ' ');
}

QByteArray right(const QByteArray &text, int width)
{
    return QByteArray(qMax(0, width - int(text.size())), ' ') + text;
}

QByteArray lines(const QList<QByteArray> &list)
{
    QByteArray out;
    for (const QByteArray &l : list)
        out += l + "\r\n";
    return out;
}

const QByteArray kHtmlHead = lines({
    "<HTML>", "<HEAD>", "   <TITLE> </TITLE>", "   <B> <BR>", "    <BR>", "    </B>", "</HEAD>", "",
    "<BODY TEXT=\"#000000\" BGCOLOR=\"#ffffff\">", "", "<TABLE CELLSPACING=0 BORDER=1 CELLPADDING=7>",
    "   <TR>", "      <TD><B><P></B></TD>", "      <TD><B><P></B></TD>", "      <TD><B><P></B></TD>",
    "      <TD><B><P></B></TD>", "   </TR>"});
const QByteArray kHtmlTail = lines({"</TABLE>", "</BODY>", "</HTML>"});

QByteArray htmlRow(const QList<QByteArray> &cells)
{
    QList<QByteArray> out{"   <TR>"};
    for (const QByteArray &c : cells)
        out.append(c.isEmpty() ? QByteArray("      <TD><P>&nbsp;</TD>") : "      <TD><P>" + c + "</TD>");
    out.append("   </TR>");
    return lines(out);
}

// The golden extract: quotes, commas, ampersands, angle brackets, letters
// inside and outside the code page, null and empty values, full-width values.
// In Sort_Index order already; added out of order to show the index at work.
QList<GiftLine> goldenLines()
{
    return {
        {QStringLiteral("10004"), QStringLiteral("\u0141\u00f3d\u017a \u2603 \U0001F600"), QDate(2005, 3, 1), 12345678910},
        {QStringLiteral("10001"), QStringLiteral("Roof \"A\" Fund, East"), QDate(2005, 1, 16), 250000},
        {QStringLiteral("10002"), QStringLiteral("Caf\u00e9 & <Grounds>"), QDate(), std::nullopt},
        {QStringLiteral("10001"), QStringLiteral("Building Fund"), QDate(2005, 1, 15), 255000},
        {QStringLiteral("10003"), QString(), QDate(2005, 2, 1), -35000},
        {QStringLiteral("123456789012345678901234567890"), QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"),
         QDate(2005, 12, 31), 10000000},
    };
}

// One expected piece per record, and what comes before and after the records.
struct Golden {
    QByteArray head;
    QList<QByteArray> records;
    QByteArray tail;
    QByteArray whole() const { return head + records.join() + tail; }
    QByteArray firstRecords(int n) const { return head + records.mid(0, n).join(); }
};

Golden goldenUs(Kind kind)
{
    switch (kind) {
    case Kind::Csv:
        return {{}, {
            "\"10001\",\"Building Fund\",\"1/15/2005\",\"25.5\"\r\n",
            "\"10001\",\"Roof \"\"A\"\" Fund, East\",\"1/16/2005\",\"25\"\r\n",
            "\"10002\",\"Caf\xe9 & <Grounds>\",\"\",\"\"\r\n",
            "\"10003\",\"\",\"2/1/2005\",\"-3.5\"\r\n",
            "\"10004\",\"?\xf3" "d? ? ?\",\"3/1/2005\",\"1234567.891\"\r\n",
            "\"123456789012345678901234567890\",\"ABCDEFGHIJKLMNOPQRSTUVWXY\",\"12/31/2005\",\"1000\"\r\n",
        }, {}};
    case Kind::CsvUnquoted:
        return {{}, {
            "10001,Building Fund,1/15/2005,25.5\r\n",
            "10001,Roof \"A\" Fund, East,1/16/2005,25\r\n",
            "10002,Caf\xe9 & <Grounds>,,\r\n",
            "10003,,2/1/2005,-3.5\r\n",
            "10004,?\xf3" "d? ? ?,3/1/2005,1234567.891\r\n",
            "123456789012345678901234567890,ABCDEFGHIJKLMNOPQRSTUVWXY,12/31/2005,1000\r\n",
        }, {}};
    case Kind::Fixed:
        return {{}, {
            left("10001", 30) + left("Building Fund", 25) + left("1/15/2005", 11) + right("25.50", 21) + "\r\n",
            left("10001", 30) + left("Roof \"A\" Fund, East", 25) + left("1/16/2005", 11) + right("25.00", 21) + "\r\n",
            left("10002", 30) + left("Caf\xe9 & <Grounds>", 25) + left("", 11) + right("", 21) + "\r\n",
            left("10003", 30) + left("", 25) + left("2/1/2005", 11) + right("-3.50", 21) + "\r\n",
            left("10004", 30) + left("?\xf3" "d? ? ?", 25) + left("3/1/2005", 11) + right("1234567.89", 21) + "\r\n",
            "123456789012345678901234567890ABCDEFGHIJKLMNOPQRSTUVWXY" + left("12/31/2005", 11)
                + right("1000.00", 21) + "\r\n",
        }, {}};
    case Kind::Html:
        return {kHtmlHead, {
            htmlRow({"10001", "Building Fund", "1/15/2005", "25.5"}),
            htmlRow({"10001", "Roof &quot;A&quot; Fund, East", "1/16/2005", "25"}),
            htmlRow({"10002", "Caf\xe9 &amp; &lt;Grounds&gt;", "", ""}),
            htmlRow({"10003", "", "2/1/2005", "-3.5"}),
            htmlRow({"10004", "?\xf3" "d? ? ?", "3/1/2005", "1234567.891"}),
            htmlRow({"123456789012345678901234567890", "ABCDEFGHIJKLMNOPQRSTUVWXY", "12/31/2005", "1000"}),
        }, kHtmlTail};
    }
    return {};
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

void addKinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("csv") << Kind::Csv;
    QTest::newRow("csv unquoted") << Kind::CsvUnquoted;
    QTest::newRow("fixed") << Kind::Fixed;
    QTest::newRow("html") << Kind::Html;
}

// A context with the real overwrite question and a hook that counts the
// records and can set the flag at a given call.
struct TestContext {
    CancelFlag flag;
    ExportContext context{flag};
    int hookCalls = 0;
    int cancelAtCall = 0;   // 0: never
    TestContext()
    {
        context.beforeRecord = [this] {
            ++hookCalls;
            if (hookCalls == cancelAtCall)
                flag.set();
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestWriters : public QObject {
    Q_OBJECT

    std::optional<platform::ScriptedMessageHost> m_boxes;

private slots:
    void init()
    {
        platform::setAnsiCodePageOverride(1252);
        platform::setRegionalOverride(platform::RegionalSettings::unitedStates());
        m_boxes.emplace();
    }
    void cleanup()
    {
        m_boxes.reset();
        platform::setRegionalOverride(std::nullopt);
        platform::setAnsiCodePageOverride(std::nullopt);
    }

    void golden_data() { addKinds(); }
    void golden()
    {
        QFETCH(Kind, kind);
        ExtractFixture fx;
        fx.add(goldenLines());
        TestContext tc;
        tc.flag.set();   // left from an earlier export: no file, so the question clears it
        const QString name = fx.path(QStringLiteral("gifts.out"));
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        QCOMPARE(readAll(name), goldenUs(kind).whole());
        QVERIFY(!tc.flag.isSet());
        QVERIFY(m_boxes->boxes().isEmpty());
        QCOMPARE(tc.hookCalls, 6);   // once before each record
        QVERIFY(fx.table().eof());
    }

    void emptyExtract_data() { addKinds(); }
    void emptyExtract()
    {
        QFETCH(Kind, kind);
        ExtractFixture fx;
        TestContext tc;
        const QString name = fx.path(QStringLiteral("empty.out"));
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        const Golden g = goldenUs(kind);
        QCOMPARE(readAll(name), g.head + g.tail);  // zero bytes, or 20 lines of HTML
        QCOMPARE(tc.hookCalls, 0);
    }

    void everyFixedLineIs87Characters()
    {
        ExtractFixture fx;
        fx.add(goldenLines());
        TestContext tc;
        const QString name = fx.path(QStringLiteral("gifts.txt"));
        WriteFixedLength(name, ExtractFixture::columns(), fx.table(), tc.context);
        const QList<QByteArray> fileLines = readAll(name).split('\n');
        QCOMPARE(fileLines.size(), 7);   // six lines and nothing after the last CR LF
        QVERIFY(fileLines.last().isEmpty());
        for (qsizetype i = 0; i < 6; ++i)
            QCOMPARE(fileLines[i].size(), 88);   // 87 characters and CR
    }

    // Dates and amounts follow the settings in force when the file is written.
    void regionalSettings_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("csv") << Kind::Csv
            << QByteArray("\"10001\",\"Building Fund\",\"15.01.2005\",\"25,5\"\r\n"
                          "\"10003\",\"\",\"01.02.2005\",\"-3,5\"\r\n");
        QTest::newRow("csv unquoted") << Kind::CsvUnquoted
            << QByteArray("10001,Building Fund,15.01.2005,25,5\r\n10003,,01.02.2005,-3,5\r\n");
        QTest::newRow("fixed") << Kind::Fixed
            << QByteArray(left("10001", 30) + left("Building Fund", 25) + left("15.01.2005", 11)
                          + right("25,50", 21) + "\r\n" + left("10003", 55)
                          + left("01.02.2005", 11) + right("-3,50", 21) + "\r\n");
        QTest::newRow("html") << Kind::Html
            << QByteArray(kHtmlHead + htmlRow({"10001", "Building Fund", "15.01.2005", "25,5"})
                          + htmlRow({"10003", "", "01.02.2005", "-3,5"}) + kHtmlTail);
    }
    void regionalSettings()
    {
        QFETCH(Kind, kind);
        QFETCH(QByteArray, expected);
        platform::setRegionalOverride(platform::RegionalSettings::commaDecimal());
        ExtractFixture fx;
        fx.add({{QStringLiteral("10001"), QStringLiteral("Building Fund"), QDate(2005, 1, 15), 255000},
                {QStringLiteral("10003"), QString(), QDate(2005, 2, 1), -35000}});
        TestContext tc;
        const QString name = fx.path(QStringLiteral("gifts.out"));
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        QCOMPARE(readAll(name), expected);
    }

    // Text goes out in the code page in force: Central European here.
    void codePageInForce_data() { addKinds(); }
    void codePageInForce()
    {
        QFETCH(Kind, kind);
        platform::setAnsiCodePageOverride(1250);
        ExtractFixture fx;
        fx.add({{QStringLiteral("\u0141\u00f3d\u017a"), QStringLiteral("\u00e6\u0151"), QDate(), std::nullopt}});
        TestContext tc;
        const QString name = fx.path(QStringLiteral("gifts.out"));
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        QVERIFY2(readAll(name).contains(kind == Kind::Fixed ? QByteArray("\xa3\xf3" "d\x9f" + QByteArray(26, ' ') + "?\xf5")
                                                            : QByteArray("\xa3\xf3" "d\x9f")),
                 readAll(name).constData());
    }

    // A short date longer than its 11 characters is written whole and pushes
    // the amount to the right.
    void longShortDatePushesAmount()
    {
        platform::RegionalSettings settings = platform::RegionalSettings::unitedStates();
        settings.shortDateFormat = QStringLiteral("MMMM d, yyyy");
        platform::setRegionalOverride(settings);
        ExtractFixture fx;
        fx.add({{QStringLiteral("10001"), QStringLiteral("Building Fund"), QDate(2005, 1, 15), 255000}});
        TestContext tc;
        const QString name = fx.path(QStringLiteral("gifts.txt"));
        WriteFixedLength(name, ExtractFixture::columns(), fx.table(), tc.context);
        QCOMPARE(readAll(name), left("10001", 30) + left("Building Fund", 25) + "January 15, 2005"
                                    + right("25.50", 21) + "\r\n");
    }

    void captionsInHeaderCells()
    {
        ExtractFixture fx;
        TestContext tc;
        TExtractList columns{{QStringLiteral("Congregation <No> & \"Id\""), QStringLiteral("Congregation ID")},
                             {QStringLiteral("Caf\u00e9"), QStringLiteral("Gift Amount")}};
        const QString name = fx.path(QStringLiteral("caption.htm"));
        WriteHtml(name, columns, fx.table(), tc.context);
        const QByteArray file = readAll(name);
        QVERIFY(file.contains("   <TR>\r\n      <TD><B><P>Congregation &lt;No&gt; &amp; &quot;Id&quot;</B></TD>\r\n"
                              "      <TD><B><P>Caf\xe9</B></TD>\r\n   </TR>\r\n"));
    }

    // The hook sets the flag when called before the fourth record: exactly
    // three records are in the file, and HTML has no closing lines.
    void cancelAfterThirdRecord_data() { addKinds(); }
    void cancelAfterThirdRecord()
    {
        QFETCH(Kind, kind);
        ExtractFixture fx;
        fx.add(goldenLines());
        TestContext tc;
        tc.cancelAtCall = 4;
        const QString name = fx.path(QStringLiteral("gifts.out"));
        const int before = openDescriptors();
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        QCOMPARE(readAll(name), goldenUs(kind).firstRecords(3));
        QVERIFY(tc.flag.isSet());
        QCOMPARE(tc.hookCalls, 4);
        QCOMPARE(openDescriptors(), before);
    }

    // An existing file: the question names it; No leaves it byte for byte,
    // sets the flag and visits no record; Yes truncates and rewrites it.
    void overwriteQuestion_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("yes");
        for (const auto &[kind, label] : {std::pair{Kind::Csv, "csv"}, std::pair{Kind::Fixed, "fixed"},
                                          std::pair{Kind::Html, "html"}}) {
            QTest::addRow("%s, No", label) << kind << false;
            QTest::addRow("%s, Yes", label) << kind << true;
        }
    }
    void overwriteQuestion()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, yes);
        ExtractFixture fx;
        fx.add(goldenLines());
        const QString name = fx.path(QStringLiteral("old.out"));
        const QByteArray old = QByteArray("old contents\r\n").repeated(2000);
        {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        m_boxes->addAnswer(yes ? platform::MessageButton::Yes : platform::MessageButton::No);
        TestContext tc;
        write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);

        QCOMPARE(m_boxes->boxes().size(), 1);
        const auto &box = m_boxes->boxes().first();
        QCOMPARE(box.text, QStringLiteral("Overwrite existing file: ") + name);
        QCOMPARE(box.kind, platform::MessageKind::Question);
        QCOMPARE(box.buttons, platform::MessageButton::Yes | platform::MessageButton::No);
        QCOMPARE(tc.flag.isSet(), !yes);
        QCOMPARE(readAll(name), yes ? goldenUs(kind).whole() : old);
        QCOMPARE(tc.hookCalls, yes ? 6 : 0);
    }

    // Files that cannot be created or written: an error naming the file
    // reaches the caller, the flag stays clear, and no descriptor is left open.
    void fileFailures_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("where");
        for (const auto &[kind, label] : {std::pair{Kind::Csv, "csv"}, std::pair{Kind::Fixed, "fixed"},
                                          std::pair{Kind::Html, "html"}}) {
            QTest::addRow("%s, disk full", label) << kind << QStringLiteral("full");
            QTest::addRow("%s, directory in place of the file", label) << kind << QStringLiteral("directory");
            QTest::addRow("%s, read-only folder", label) << kind << QStringLiteral("read-only");
            QTest::addRow("%s, missing folder", label) << kind << QStringLiteral("missing");
        }
    }
    void fileFailures()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, where);
        ExtractFixture fx;
        fx.add(goldenLines());

        QString name;
        if (where == u"full") {
            if (!QFile::exists(QStringLiteral("/dev/full")))
                QSKIP("no /dev/full on this system");
            name = QStringLiteral("/dev/full");
        } else if (where == u"directory") {
            name = fx.path(QStringLiteral("gifts.out"));
            QVERIFY(QDir().mkdir(name));
        } else if (where == u"read-only") {
            const QString folder = fx.path(QStringLiteral("locked"));
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (::access(QFile::encodeName(folder).constData(), W_OK) == 0)
                QSKIP("this user can write to a read-only folder (root)");
            name = folder + QStringLiteral("/gifts.out");
        } else {
            name = fx.path(QStringLiteral("no/such/folder/gifts.out"));
        }

        TestContext tc;
        const int before = openDescriptors();
        bool raised = false;
        try {
            write(kind, name, ExtractFixture::columns(), fx.table(), tc.context);
        } catch (const platform::Error &e) {
            raised = true;
            QVERIFY2(e.message().contains(name), qPrintable(e.message()));
        }
        QVERIFY(raised);
        QVERIFY(!tc.flag.isSet());
        QCOMPARE(openDescriptors(), before);
        // /dev/full is a file to overwrite (answered Yes); a folder is not asked about
        QCOMPARE(m_boxes->boxes().size(), where == u"full" ? 1 : 0);
        if (where == u"read-only")
            QVERIFY(!QFile::exists(name));
    }

    // A device that fills up part way: the error names the file and every
    // byte before the failure is the file's own.
    void deviceFillsUp_data() { addKinds(); }
    void deviceFillsUp()
    {
        QFETCH(Kind, kind);
        ExtractFixture fx;
        fx.add(goldenLines());
        const QByteArray whole = goldenUs(kind).whole();
        FailDevice device(whole.size() / 2);
        QVERIFY(device.open(QIODevice::WriteOnly));
        TestContext tc;
        bool raised = false;
        try {
            writers::ExportStream out(device, QStringLiteral("gifts.out"), 64);
            writeRows(kind, out, ExtractFixture::columns(), fx.table(), tc.context);
            out.flush();
        } catch (const platform::Error &e) {
            raised = true;
            QVERIFY2(e.message().contains(u"gifts.out"), qPrintable(e.message()));
            QVERIFY2(e.message().contains(u"No space left on device"), qPrintable(e.message()));
        }
        QVERIFY(raised);
        QCOMPARE(device.data(), whole.left(whole.size() / 2));
    }

    // Quoting, doubling and the code page give the same bytes wherever the
    // buffer happens to end: values that fit, that straddle the end and that
    // are longer than the whole buffer.
    void streamBytesIndependentOfBufferSize_data()
    {
        QTest::addColumn<int>("bufferSize");
        for (int size : {16, 17, 23, 64, 1 << 20})
            QTest::addRow("%d", size) << size;
    }
    void streamBytesIndependentOfBufferSize()
    {
        QFETCH(int, bufferSize);
        const QString values[] = {QStringLiteral("P012345"), QStringLiteral("say \"hi\""),
                                  QStringLiteral("\""), QString(), QStringLiteral("Zo\u00EB \"B\" \u20AC5"),
                                  QStringLiteral("\"x\"").repeated(9), QStringLiteral("\u0141\u00F3d\u017A")};
        QByteArray expected;
        for (const QString &v : values) {
            expected += "\"" + QByteArray(platform::toAnsi(v)).replace("\"", "\"\"") + "\",";
            expected += platform::toAnsi(v) + "\r\n";
        }
        QBuffer device;
        QVERIFY(device.open(QIODevice::WriteOnly));
        writers::ExportStream out(device, QStringLiteral("gifts.out"), bufferSize);
        for (int round = 0; round < 3; ++round) {
            for (const QString &v : values) {
                out.appendQuotedText(v);
                out.appendChar(',');
                out.appendText(v);
                out.endLine();
            }
        }
        out.flush();
        QCOMPARE(device.data(), expected.repeated(3));
    }

    // A column the table does not have fails on the first record with the
    // engine's error; what was written before stays, and the file is closed.
    void missingFieldRaisesEngineError_data() { addKinds(); }
    void missingFieldRaisesEngineError()
    {
        QFETCH(Kind, kind);
        ExtractFixture fx;
        fx.add(goldenLines());
        TExtractList columns = ExtractFixture::columns();
        columns.append(TExtractObject{QString(), QStringLiteral("No Such Field")});
        TestContext tc;
        const QString name = fx.path(QStringLiteral("gifts.out"));
        const int before = openDescriptors();
        QVERIFY_THROWS_EXCEPTION(data::EngineError,
                                 write(kind, name, columns, fx.table(), tc.context));
        QCOMPARE(openDescriptors(), before);
        const QByteArray file = readAll(name);
        if (kind == Kind::Html)
            QVERIFY(file.startsWith("<HTML>\r\n") && file.endsWith("      <TD><B><P></B></TD>\r\n   </TR>\r\n"));
        else
            QCOMPARE(file, QByteArray());
    }

    // Progress: (0, count) before the first record, then one step per record.
    void progressSteps()
    {
        ExtractFixture fx;
        fx.add(goldenLines());
        TestContext tc;
        QList<QPair<int, int>> calls;
        tc.context.progress = [&](int position, int maximum) { calls.append({position, maximum}); };
        WriteCommaDelimited(fx.path(QStringLiteral("p.csv")), ExtractFixture::columns(), fx.table(),
                            true, tc.context);
        QList<QPair<int, int>> expected{{0, 6}};
        for (int i = 1; i <= 6; ++i)
            expected.append({i, 6});
        QCOMPARE(calls, expected);
    }
};

QTEST_GUILESS_MAIN(TestWriters)
#include "tst_writers.moc"
