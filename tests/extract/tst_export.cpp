// The export of the main window: the extract builder, the save dialog and the
// export driver, run against a tiny suite installation.

#include "extract/DirectoryList.h"
#include "extract/Main.h"
#include "extract/rptExtracts.h"

#include "controls/DateEdit.h"
#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/MessageHost.h"
#include "tests/login/SuiteFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sqlite3.h>

using platform::MessageButton;
using platform::MessageKind;
using platform::ScriptedMessageHost;

namespace {

const QString kGifts = QString::fromLatin1(data::catalogue::kGifts);
const QString kFunds = QString::fromLatin1(data::catalogue::kFunds);
const QString kPeople = QString::fromLatin1(data::catalogue::kPeople);
const QString kOrgs = QString::fromLatin1(data::catalogue::kOrganizations);
const QDate kFrom(2024, 2, 1);   // the default range, today being 2024-03-15
const QDate kTo(2024, 2, 29);

void emptyTable(const QString &name)
{
    SuiteFixture::withTable(name, [](data::Table &t) { t.emptyTable(); });
}

void addFund(qint32 number, const QString &code, const QString &description)
{
    SuiteFixture::withTable(kFunds, [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("Fund_Number")).setAsInteger(number);
        t.fieldByName(QStringLiteral("Fund_Code")).setAsString(code);
        t.fieldByName(QStringLiteral("Fund_Description")).setAsString(description);
        t.post();
    });
}

// amount: a string like "20.50", or empty for a null amount.
void addGift(const QString &family, qint32 individual, const QDate &date, qint32 fund,
             const QString &amount, const QString &flag = {})
{
    static qint32 nextId = 500000;
    SuiteFixture::withTable(kGifts, [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("Detail_ID")).setAsInteger(++nextId);
        t.fieldByName(QStringLiteral("Family_Number")).setAsString(family);
        t.fieldByName(QStringLiteral("Individual_Number")).setAsInteger(individual);
        t.fieldByName(QStringLiteral("Posted_Date")).setAsDate(date);
        t.fieldByName(QStringLiteral("Fund_Number")).setAsInteger(fund);
        if (!amount.isEmpty())
            t.fieldByName(QStringLiteral("Fund_Amount")).setAsString(amount);
        t.fieldByName(QStringLiteral("Posted_Flag")).setAsString(flag);
        t.post();
    });
}

void addPerson(const QString &family, qint32 individual, const QString &envelope)
{
    SuiteFixture::withTable(kPeople, [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("Family_Number")).setAsString(family);
        t.fieldByName(QStringLiteral("Individual_Number")).setAsInteger(individual);
        t.fieldByName(QStringLiteral("Envelope_Number")).setAsString(envelope);
        t.post();
    });
}

// An organisation whose congregation-id fields read <field><tag>: PS, ES, 1S .. 5S.
void addOrg(qint32 id, const QString &tag, qint32 level, qint32 parent)
{
    SuiteFixture::withTable(kOrgs, [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("OrgID")).setAsInteger(id);
        t.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("Org ") + tag);
        t.fieldByName(QStringLiteral("LevelID")).setAsInteger(level);
        t.fieldByName(QStringLiteral("ParentID")).setAsInteger(parent);
        t.fieldByName(QStringLiteral("Family_Number")).setAsString(QStringLiteral("F") + tag);
        t.fieldByName(QStringLiteral("Pin")).setAsString(QStringLiteral("P") + tag);
        t.fieldByName(QStringLiteral("EnvNbr")).setAsString(QStringLiteral("E") + tag);
        for (int k = 1; k <= 5; ++k)
            t.fieldByName(QStringLiteral("Field%1").arg(k)).setAsString(QString::number(k) + tag);
        t.post();
    });
}

// Raw SQL on a table file, for what the data layer rightly refuses to do.
void execOnFile(const QString &file, const char *sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(message));
}

// The extract's rows in Sort_Index order: "congregation|project|date|amount".
QStringList extractRows(TfrmMain &w)
{
    QStringList rows;
    data::Table &t = w.tbExtractTable;
    if (!t.active())
        t.open();
    for (t.first(); !t.eof(); t.next()) {
        rows << QStringList{t.fieldByName(QStringLiteral("Congregation ID")).asString(),
                            t.fieldByName(QStringLiteral("Project Description")).asString(),
                            t.fieldByName(QStringLiteral("Gift Date")).asDate().toString(Qt::ISODate),
                            t.fieldByName(QStringLiteral("Gift Amount")).asString()}
                    .join(QLatin1Char('|'));
    }
    return rows;
}

void build(TfrmMain &w)
{
    w.PrepareExport();
    if (w.rbPeople->isChecked())
        w.BuildFromPeople();
    else
        w.BuildFromOrganizations();
}

// Acts on the save dialog as soon as it is shown.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(TfrmExtract &)> act) : m_act(std::move(act))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *d = qobject_cast<TfrmExtract *>(QApplication::activeModalWidget())) {
                m_timer.stop();
                ++m_shown;
                m_act(*d);
            }
        });
        m_timer.start();
    }
    int shown() const { return m_shown; }

private:
    QTimer m_timer;
    std::function<void(TfrmExtract &)> m_act;
    int m_shown = 0;
};

// Puts the dialog on a folder, types the name, picks the type and saves.
std::function<void(TfrmExtract &)> saveAs(const QString &folder, const QString &name, int type = -1)
{
    return [=](TfrmExtract &d) {
        QVERIFY(d.dlbDirectory->setDirectory(folder));
        d.ebFileName->setText(name);
        if (type >= 0)
            d.cbFileType->setCurrentIndex(type);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    };
}

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void projectCode_data();
    void projectCode();
    void composeFileName_data();
    void composeFileName();
    void giftRules_data();
    void giftRules();
    void synodChoices_data();
    void synodChoices();
    void cancelDuringBuilding();
    void onlyCancelActsWhileExporting();
    void unstorableRowEndsExport();
    void saveDialogLayout();
    void deliver_data();
    void deliver();
    void forbiddenCharacters_data();
    void forbiddenCharacters();
    void defaultFolder();
    void writeFailures_data();
    void writeFailures();
    void cancelDuringWriting();
    void sharingWhileExporting();

private:
    SuiteFixture m_suite;
    std::unique_ptr<QTemporaryDir> m_out;
};

void TestExport::initTestCase()
{
    LoadFormFonts();
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    platform::setTodayOverride(QDate(2024, 3, 15));
}

void TestExport::init()
{
    data::Engine::instance().setLockSettings({});
    SuiteFixture fresh;
    QVERIFY(fresh.setUp(QDate(2024, 3, 15)));
    GetConnection()->DBISAMDatabase.setDirectory(fresh.install.peopleDataDirectory);
    m_suite = std::move(fresh);
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_out->isValid());
    // Gifts the driver tests can count on: five in the default range.
    const DemoSuite::Person &p = m_suite.install.people.first();
    const int fund = m_suite.install.funds.first().number;
    for (int day = 1; day <= 5; ++day)
        addGift(p.familyNumber, p.individualNumber, QDate(2024, 2, day), fund, QStringLiteral("%1.25").arg(day));
}

void TestExport::cleanup()
{
    ProgramCancelFlag().clear();
}

void TestExport::projectCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("expected");
    QTest::addRow("two-character code") << "AB" << "Building Fund - 42" << "AB";
    QTest::addRow("seven-character code") << "ABCDEFG" << "Missions - 1234567" << "ABCDEFG";
    QTest::addRow("hyphen four before the end") << "100" << "Building Fund - 42" << "42";
    QTest::addRow("hyphen nine before the end") << "100" << "Missions - 1234567" << "1234567";
    QTest::addRow("no hyphen") << "100" << "General" << "100";
    QTest::addRow("hyphen among the four") << "100" << "A-BCDE" << "DE";
    QTest::addRow("hyphen last") << "100" << "ABCD-" << "100";
    QTest::addRow("hyphen among the nine") << "100" << "Camp-2024 fund" << "24 fund";
    QTest::addRow("hyphen first of five") << "100" << "-ABCD" << "CD";
    QTest::addRow("hyphen first of ten") << "100" << "-ABCDEFGHI" << "CDEFGHI";
    QTest::addRow("hyphen eleven before the end") << "100" << "-ABCDEFGHIJ" << "100";
    QTest::addRow("empty code and description") << "" << "" << "";
    QTest::addRow("empty description") << "12345" << "" << "12345";
    QTest::addRow("long code cut to 25") << QString(30, u'x') << "General" << QString(25, u'x');
}

void TestExport::projectCode()
{
    QFETCH(QString, code);
    QFETCH(QString, description);
    QFETCH(QString, expected);
    QCOMPARE(TfrmMain::ProjectCode(code, description), expected);
}

void TestExport::composeFileName_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    QTest::addRow("HTML") << "/home/u/Documents" << "Gifts" << 2 << "/home/u/Documents/Gifts.htm";
    QTest::addRow("CSV") << "/d" << "Gifts" << 0 << "/d/Gifts.csv";
    QTest::addRow("fixed length") << "/d" << "Gifts" << 1 << "/d/Gifts.txt";
    QTest::addRow("own extension kept") << "/d" << "Gifts.txt" << 0 << "/d/Gifts.txt";
    QTest::addRow("any full stop") << "/d" << "my.report" << 3 << "/d/my.report";
    QTest::addRow("root gives one separator") << "/" << "Untitled" << 3 << "/Untitled.xls";
    QTest::addRow("empty name") << "/d" << "" << 3 << "/d/.xls";
}

void TestExport::composeFileName()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, expected);
    QCOMPARE(ComposeExtractFileName(folder, name, type), expected);
}

// One contributor's gifts through every rule of the gift loop.
void TestExport::giftRules_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("selectedFunds");   // empty: All Funds; "-" alone: none selected
    QTest::addColumn<QStringList>("expected");

    const QStringList all{
        QString(20, u'9') + "|AB|2024-02-16|3",
        "E1|42|2024-02-01|10",       // on the From date, flag empty
        "E1|24 fund|2024-02-12|",    // null amount stays null
        "E1|1234567|2024-02-29|20.5", // on the To date, flag "0"
        "E2|42|2024-02-15|5.1234",   // the second individual of the family
        "E2||2024-02-16|7",          // a fund with empty code and description
    };
    QTest::addRow("all funds") << kFrom << kTo << QStringList() << all;
    QTest::addRow("reversed range") << kTo << kFrom << QStringList() << QStringList();
    QTest::addRow("one day") << QDate(2024, 2, 29) << QDate(2024, 2, 29) << QStringList()
                             << QStringList{all[3]};
    QTest::addRow("selected funds, any case") << kFrom << kTo << QStringList{"building FUND - 42"}
                                              << QStringList{all[1], all[4]};
    QTest::addRow("selected funds, none") << kFrom << kTo << QStringList{"-"} << QStringList();
}

void TestExport::giftRules()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, selectedFunds);
    QFETCH(QStringList, expected);

    emptyTable(kGifts);
    emptyTable(kPeople);
    addFund(901, "AB", "Anything - 99");
    addFund(902, "100", "Building Fund - 42");
    addFund(903, "100", "Missions - 1234567");
    addFund(904, "100", "Camp-2024 fund");
    addFund(905, "", "");
    addPerson("FAM1", 1, "E1");
    addPerson("FAM1", 2, "E2");
    addPerson("FAM2", 1, QString(20, u'9'));
    addPerson("FAM3", 1, "E3");   // gives nothing
    addGift("FAM1", 1, QDate(2024, 2, 1), 902, "10.00");
    addGift("FAM1", 1, QDate(2024, 2, 29), 903, "20.50", "0");
    addGift("FAM1", 1, QDate(2024, 1, 31), 902, "1");     // before the range
    addGift("FAM1", 1, QDate(2024, 3, 1), 902, "2");      // after it
    addGift("FAM1", 1, QDate(2024, 2, 10), 902, "30", "1"); // posted
    addGift("FAM1", 1, QDate(2024, 2, 11), 999, "40");    // fund missing
    addGift("FAM1", 1, QDate(2024, 2, 12), 904, "");
    addGift("FAM1", 2, QDate(2024, 2, 15), 902, "5.1234");
    addGift("FAM1", 2, QDate(2024, 2, 16), 905, "7");
    addGift("FAM2", 1, QDate(2024, 2, 16), 901, "3");
    addGift("FAM1", 3, QDate(2024, 2, 16), 902, "8");     // nobody in the People module
    // A line without a date: outside every range, and no failure.
    execOnFile(m_suite.dataFile(kGifts),
               "INSERT INTO records (\"Detail_ID\",\"Family_Number\",\"Individual_Number\","
               "\"Posted_Date\",\"Fund_Number\",\"Fund_Amount\",\"Posted_Flag\") "
               "VALUES (900000,'FAM1',1,NULL,902,NULL,'')");

    ScriptedMessageHost host;
    TfrmMain w;
    w.meFrom->setDate(from);
    w.meTo->setDate(to);
    if (!selectedFunds.isEmpty()) {
        w.rbSelectedFunds->setChecked(true);
        w.FSelectedFunds.setTexts(selectedFunds == QStringList{"-"} ? QStringList() : selectedFunds);
    }
    QVERIFY(w.rbPeople->isChecked());
    build(w);
    QCOMPARE(extractRows(w), expected);
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
}

// Synod S (above the bottom level) with child C and grandchild G beneath it.
void TestExport::synodChoices_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QStringList>("synods");
    QTest::addColumn<int>("field");
    QTest::addColumn<QStringList>("expected");
    QTest::addRow("all synods, every level") << false << QStringList() << 0 << QStringList{"PC", "PG", "PS"};
    QTest::addRow("selected: own gifts and those one level down")
        << true << QStringList{"org s"} << 0 << QStringList{"PC", "PS"};
    QTest::addRow("selected: a name not in the list is skipped")
        << true << QStringList{"Nowhere", "Org S"} << 0 << QStringList{"PC", "PS"};
    QTest::addRow("selected: only unknown names") << true << QStringList{"Nowhere"} << 0 << QStringList();
    QTest::addRow("no item reads Pin") << false << QStringList() << -1 << QStringList{"PC", "PG", "PS"};
    QTest::addRow("Envelope Number") << false << QStringList() << 1 << QStringList{"EC", "EG", "ES"};
    // G's Field1 holds 35 characters: the congregation id keeps 30.
    QTest::addRow("Field1") << false << QStringList() << 2 << QStringList{"1C", "1S", QString(30, u'7')};
    for (int k = 2; k <= 5; ++k) {
        const QString v = QString::number(k);
        QTest::addRow("Field%d", k) << false << QStringList() << k + 1
                                    << QStringList{v + "C", v + "G", v + "S"};
    }
}

void TestExport::synodChoices()
{
    QFETCH(bool, selected);
    QFETCH(QStringList, synods);
    QFETCH(int, field);
    QFETCH(QStringList, expected);

    emptyTable(kGifts);
    const DemoSuite::Installation &inst = m_suite.install;
    const int synodLevel = inst.synods.first().levelId;
    QVERIFY(synodLevel != inst.bottomLevelId);
    addOrg(9001, "S", synodLevel, 0);
    addOrg(9002, "C", inst.bottomLevelId, 9001);
    addOrg(9003, "G", inst.bottomLevelId, 9002);
    SuiteFixture::withTable(kOrgs, [](data::Table &t) {
        QVERIFY(t.findKey({9003}));
        t.edit();
        t.fieldByName(QStringLiteral("Field1")).setAsString(QString(35, u'7'));
        t.post();
    });
    addFund(902, "100", "Building Fund - 42");
    for (const char *tag : {"S", "C", "G"})
        addGift(QStringLiteral("F") + tag, 1, QDate(2024, 2, 5), 902, "1");
    addGift("FS", 2, QDate(2024, 2, 5), 902, "1");   // not individual 1: never in a synod choice

    ScriptedMessageHost host;
    TfrmMain w;
    (selected ? w.rbSelectedSynods : w.rbAllSynods)->setChecked(true);
    if (selected)
        w.FSelectedSynods.setTexts(synods);
    w.cbField->setCurrentIndex(field);
    build(w);
    QStringList ids;
    for (const QString &row : extractRows(w))
        ids << row.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(ids, expected);
}

void TestExport::cancelDuringBuilding()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    // Each contributor's gifts, by the same code, for what the first two give.
    w.PrepareExport();
    w.tblPeople.open();
    QStringList firstTwo;
    w.tblPeople.first();
    for (int i = 0; i < 2; ++i, w.tblPeople.next())
        w.AddGiftsForContributor(w.tblPeople.fieldByName("Family_Number").asString(),
                                 w.tblPeople.fieldByName("Envelope_Number").asString(),
                                 w.tblPeople.fieldByName("Individual_Number").asInteger());
    firstTwo = extractRows(w);
    QVERIFY(!firstTwo.isEmpty());

    int calls = 0;
    w.uiHook = [&] {
        QVERIFY(w.pb1->isVisible() && w.btnCancel->isVisible());
        QCOMPARE(w.lblSimpleText->text(), QStringLiteral("Building File"));
        if (++calls == 3)
            QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    };
    DialogDriver driver([](TfrmExtract &d) { d.reject(); });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(calls, 3);
    QCOMPARE(driver.shown(), 0);
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    QVERIFY(w.pb1->isHidden());
    QVERIFY(w.btnCancel->isHidden());
    QVERIFY(w.lblSimpleText->text().isEmpty());
    QVERIFY(!w.exporting());
    // The rows of the two contributors before the Cancel stay.
    QCOMPARE(extractRows(w), firstTwo);

    // A set flag stops the gift loop at once.
    ProgramCancelFlag().set();
    w.AddGiftsForContributor(m_suite.install.people.first().familyNumber, "X",
                             m_suite.install.people.first().individualNumber);
    QCOMPARE(extractRows(w), firstTwo);

    // The next export starts from an empty extract.
    calls = 0;
    w.uiHook = [&] { QTest::mouseClick(w.btnCancel, Qt::LeftButton); };
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QVERIFY(extractRows(w).isEmpty());
    QVERIFY(host.boxes().isEmpty());
}

void TestExport::onlyCancelActsWhileExporting()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    int calls = 0;
    int nested = 0;
    w.uiHook = [&] {
        ++calls;
        if (w.lblSimpleText->text() == QLatin1String("Creating Extract File"))
            ++nested;
        if (calls != 2)
            return;
        QVERIFY(w.exporting());
        QTest::mouseClick(w.btnExport, Qt::LeftButton);
        QTest::mouseClick(w.btnExit, Qt::LeftButton);
        QTest::mouseClick(w.rbAllSynods, Qt::LeftButton);
        QTest::mouseClick(w.btnSelectFunds, Qt::LeftButton);
        QTest::keyClick(w.rbPeople, Qt::Key_Up);
        QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
        w.close();
        QVERIFY(w.isVisible());
        QVERIFY(w.rbPeople->isChecked());
        QCOMPARE(w.lblSimpleText->text(), QStringLiteral("Building File"));
        QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    };
    DialogDriver driver([](TfrmExtract &d) { d.reject(); });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(calls, 2);
    QCOMPARE(nested, 0);
    QCOMPARE(driver.shown(), 0);
    QVERIFY(host.boxes().isEmpty());
    // Afterwards the window takes input again.
    QTest::mouseClick(w.rbAllSynods, Qt::LeftButton);
    QVERIFY(w.rbAllSynods->isChecked());
    QTest::mouseClick(w.btnExit, Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

// A gift row the extract refuses is reported, not dropped.
void TestExport::unstorableRowEndsExport()
{
    ScriptedMessageHost host;
    TfrmMain w;
    const QString file = QDir(m_suite.install.peopleDataDirectory).filePath("ExtractTable.zeldat");
    QVERIFY(QFile::exists(file));
    execOnFile(file, "CREATE TRIGGER refuse BEFORE INSERT ON records "
                     "WHEN NEW.\"Gift Date\" IS NOT NULL AND (SELECT count(*) FROM records) >= 2 "
                     "BEGIN SELECT RAISE(ABORT, 'the extract refused the row'); END");
    DialogDriver driver([](TfrmExtract &d) { d.reject(); });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(driver.shown(), 0);
    QCOMPARE(host.boxes().size(), 1);
    QCOMPARE(host.boxes().first().kind, MessageKind::Error);
    QCOMPARE(host.boxes().first().title, QStringLiteral("Tallyport"));
    QVERIFY2(host.boxes().first().text.contains("the extract refused the row"),
             qPrintable(host.boxes().first().text));
    QVERIFY(w.pb1->isHidden());
    QVERIFY(!w.exporting());
    QVERIFY(w.tbExtractTable.state() == data::TableState::Browse);
}

void TestExport::saveDialogLayout()
{
    TfrmExtract d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Save Extract File As"));
    QCOMPARE(d.size(), QSize(263, 219));
    QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const std::pair<QWidget *, QRect> expected[] = {
        {d.DriveComboBox1, {8, 8, 169, 19}}, {d.dlbDirectory, {8, 32, 169, 105}},
        {d.ebFileName, {8, 156, 169, 21}},   {d.btnSave, {184, 8, 75, 25}},
        {d.btnCancel, {184, 32, 75, 25}},
    };
    for (const auto &[widget, geometry] : expected)
        QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(d.ebFileName->text(), QStringLiteral("Untitled"));
    QCOMPARE(d.Label2->text(), QStringLiteral("File Type"));
    QStringList types;
    for (int i = 0; i < d.cbFileType->count(); ++i)
        types << d.cbFileType->itemText(i);
    QCOMPARE(types, (QStringList{"Comma Delimited (*.csv)", "Fixed Length (*.txt)", "HTML (*.htm)",
                                 "Microsoft Excel 97 (*.xls)"}));
    QVERIFY(!d.cbFileType->isEditable());
    // Tab order: name, Save, Cancel, type, folders, drives.
    QList<QWidget *> order{d.ebFileName, d.btnSave, d.btnCancel, d.cbFileType, d.dlbDirectory, d.DriveComboBox1};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
    // The drive list holds the root; the folder list follows the current directory.
    QCOMPARE(d.DriveComboBox1->itemData(0).toString(), QDir::rootPath());
    QVERIFY(d.dlbDirectory->setDirectory(m_out->path()));
    QCOMPARE(QDir(QDir::currentPath()).canonicalPath(), QDir(m_out->path()).canonicalPath());
    QCOMPARE(d.Label1->text(), d.dlbDirectory->directory());
    QVERIFY(QDir().mkdir(m_out->filePath("sub")));
    QVERIFY(d.dlbDirectory->setDirectory(m_out->filePath("sub")));
    QCOMPARE(QDir(QDir::currentPath()).canonicalPath(), QDir(m_out->filePath("sub")).canonicalPath());
    // Choosing the root on the drive list moves the folder list there.
    d.DriveComboBox1->setCurrentIndex(0);
    emit d.DriveComboBox1->activated(0);
    QCOMPARE(d.dlbDirectory->directory(), QDir::rootPath());
    QCOMPARE(QDir::currentPath(), QDir::rootPath());
}

void TestExport::deliver_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");          // -1: leave the default (Excel)
    QTest::addColumn<int>("action");        // 0 Save, 1 Cancel button, 2 close box
    QTest::addColumn<QString>("existing");  // old content of the file, if any
    QTest::addColumn<int>("answer");        // to the overwrite question: 0 none, 1 Yes, 2 No
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("boxes"); // "!" for the error box; %1 is the full file name
    QTest::addColumn<QString>("kind");      // csv, txt, htm, or "old"/"none"

    const QStringList complete{"Extract Complete"};
    const QStringList canceled{"Extract was Canceled."};
    const QStringList notSaved{"File not saved.", "Extract was Canceled."};
    QTest::addRow("HTML") << "Gifts" << 2 << 0 << "" << 0 << "Gifts.htm" << complete << "htm";
    QTest::addRow("CSV under its own extension") << "Gifts.txt" << 0 << 0 << "" << 0 << "Gifts.txt" << complete << "csv";
    QTest::addRow("fixed length") << "Gifts" << 1 << 0 << "" << 0 << "Gifts.txt" << complete << "txt";
    QTest::addRow("empty name") << "" << 0 << 0 << "" << 0 << ".csv" << complete << "csv";
    QTest::addRow("Excel, the default type") << "Untitled" << -1 << 0 << "" << 0 << "Untitled.xls" << QStringList{"!"} << "none";
    QTest::addRow("Excel keeps an old file") << "my.report" << 3 << 0 << "old" << 0 << "my.report" << QStringList{"!"} << "old";
    QTest::addRow("Cancel button") << "Gifts" << 0 << 1 << "" << 0 << "Gifts.csv" << notSaved << "none";
    QTest::addRow("close box") << "Gifts" << 0 << 2 << "old" << 0 << "Gifts.csv" << notSaved << "old";
    QTest::addRow("overwrite: No") << "Gifts" << 0 << 0 << "old" << 2 << "Gifts.csv"
                                   << QStringList{"Overwrite existing file: %1", "Extract was Canceled."} << "old";
    QTest::addRow("overwrite: Yes") << "Gifts" << 0 << 0 << "old" << 1 << "Gifts.csv"
                                    << QStringList{"Overwrite existing file: %1", "Extract Complete"} << "csv";
}

void TestExport::deliver()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(int, action);
    QFETCH(QString, existing);
    QFETCH(int, answer);
    QFETCH(QString, file);
    QFETCH(QStringList, boxes);
    QFETCH(QString, kind);

    const QString folder = m_out->path();
    const QString path = QDir(folder).filePath(file);
    if (!existing.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(existing.toLatin1());
    }
    ScriptedMessageHost host;
    if (answer)
        host.addAnswer(answer == 1 ? MessageButton::Yes : MessageButton::No);
    TfrmMain w;
    w.show();
    QString openedOn;
    int openedType = -1;
    DialogDriver driver([&](TfrmExtract &d) {
        openedOn = d.dlbDirectory->directory();
        openedType = d.cbFileType->currentIndex();
        QCOMPARE(d.ebFileName->text(), QStringLiteral("Untitled"));
        if (action == 0)
            saveAs(folder, name, type)(d);
        else if (action == 1)
            QTest::mouseClick(d.btnCancel, Qt::LeftButton);
        else
            d.close();
    });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(driver.shown(), 1);
    const QString documents = QDir::cleanPath(m_suite.install.documentsDirectory);
    QCOMPARE(openedOn, documents);
    QCOMPARE(openedType, 3);
    // The process's directory goes back to the folder the dialog opened on.
    QCOMPARE(QDir::currentPath(), documents);

    QStringList texts = host.texts();
    if (boxes == QStringList{"!"}) {
        QCOMPARE(host.boxes().size(), 1);
        QCOMPARE(host.boxes().first().kind, MessageKind::Error);
        QVERIFY2(texts.first().contains("Excel workbook writer is not available yet"), qPrintable(texts.first()));
    } else {
        for (QString &b : boxes)
            b = b.arg(path);
        QCOMPARE(texts, boxes);
    }
    const QByteArray content = readAll(path);
    if (kind == "none")
        QCOMPARE(content, QByteArray("<missing>"));
    else if (kind == "old")
        QCOMPARE(content, QByteArray("old"));
    else if (kind == "csv")
        QVERIFY2(content.startsWith("\"") && content.count("\r\n") == extractRows(w).size(), content.constData());
    else if (kind == "txt")
        QVERIFY2(content.indexOf("\r\n") == 87 && content.count("\r\n") == extractRows(w).size(), content.constData());
    else if (kind == "htm")
        QVERIFY2(content.contains("<table") || content.contains("<TABLE"), content.constData());
    QVERIFY(extractRows(w).size() >= 5);
    QVERIFY(w.pb1->isHidden());
    QVERIFY(w.lblSimpleText->text().isEmpty());
    QVERIFY(w.tbExtractTable.active());
}

void TestExport::forbiddenCharacters_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cleaned");
    QTest::addRow("some") << "a/b?c" << "abc";
    QTest::addRow("all nine") << "x\\/:*?\"<>|y" << "xy";
    QTest::addRow("nothing but them") << "?*|" << "";
}

void TestExport::forbiddenCharacters()
{
    QFETCH(QString, typed);
    QFETCH(QString, cleaned);
    ScriptedMessageHost host;
    TfrmMain w;
    QString afterFirst;
    int boxesAfterFirst = -1;
    DialogDriver driver([&](TfrmExtract &d) {
        QVERIFY(d.dlbDirectory->setDirectory(m_out->path()));
        d.ebFileName->setText(typed);
        d.cbFileType->setCurrentIndex(0);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
        afterFirst = d.ebFileName->text();
        boxesAfterFirst = int(host.boxes().size());
        QVERIFY(d.isVisible());
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(afterFirst, cleaned);
    QCOMPARE(boxesAfterFirst, 1);
    QCOMPARE(host.boxes().first().kind, MessageKind::Error);
    QCOMPARE(host.boxes().first().text,
             QStringLiteral("A filename cannot contain any of the following characters:\r\\ / : * ? \" < > |"));
    QCOMPARE(host.texts().mid(1), QStringList{"Extract Complete"});
    QVERIFY(QFile::exists(QDir(m_out->path()).filePath(cleaned + ".csv")));
}

void TestExport::defaultFolder()
{
    const DemoSuite::Installation &inst = m_suite.install;
    QCOMPARE(GetDefaultFolder(), inst.documentsDirectory);
    // A "Personal" that cannot be read as text counts as missing: "Desktop" then.
    QFile hive(inst.userHive);
    QVERIFY(hive.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(hive.readAll());
    hive.close();
    const qsizetype at = text.indexOf(QStringLiteral("\"Personal\"="));
    QVERIFY(at >= 0);
    const qsizetype end = text.indexOf(u'\n', at);
    text.replace(at, end - at, QStringLiteral("\"Personal\"=dword:00000001"));
    QVERIFY(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
    hive.write(text.toUtf8());
    hive.close();
    QCOMPARE(GetDefaultFolder(), inst.desktopDirectory);
}

void TestExport::writeFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addRow("folder gone") << "gone";
    QTest::addRow("read-only folder") << "readonly";
    QTest::addRow("disk full") << "full";
    QTest::addRow("directory in place of the file") << "directory";
    QTest::addRow("locked file") << "locked";
}

void TestExport::writeFailures()
{
    QFETCH(QString, failure);
    const QString folder = m_out->path();
    QString target = folder;
    if (failure == "full") {
        QVERIFY(QFile::exists("/dev/full"));
        QVERIFY(QFile::link("/dev/full", QDir(folder).filePath("Gifts.csv")));
    } else if (failure == "directory") {
        QVERIFY(QDir(folder).mkdir("Gifts.csv"));
    } else if (failure == "locked") {
        QFile old(QDir(folder).filePath("Gifts.csv"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        // Immutable: not even its owner may write to it.
        if (QProcess::execute("chattr", {"+i", old.fileName()}) != 0)
            QSKIP("chattr +i is not available here");
    } else if (failure == "gone") {
        target = QDir(folder).filePath("gone");
        QVERIFY(QDir().mkdir(target));
    } else {
        target = QStringLiteral("/proc");
    }
    ScriptedMessageHost host;
    host.addAnswer(MessageButton::Yes);   // replace what is there
    TfrmMain w;
    DialogDriver driver([&](TfrmExtract &d) {
        QVERIFY(d.dlbDirectory->setDirectory(target));
        if (failure == "gone") {
            QDir::setCurrent(folder);
            QVERIFY(QDir(target).removeRecursively());
        }
        d.ebFileName->setText("Gifts");
        d.cbFileType->setCurrentIndex(0);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(driver.shown(), 1);
    const QList<ScriptedMessageHost::Box> &boxes = host.boxes();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.last().kind, MessageKind::Error);
    QCOMPARE(boxes.last().title, QStringLiteral("Tallyport"));
    QVERIFY(!boxes.last().text.isEmpty());
    QVERIFY(!host.texts().contains("Extract Complete"));
    QVERIFY(!host.texts().contains("Extract was Canceled."));
    QVERIFY(w.pb1->isHidden());
    QVERIFY(!w.exporting());
    if (failure == "directory")
        QVERIFY(QFileInfo(QDir(folder).filePath("Gifts.csv")).isDir());
    if (failure == "locked") {
        QProcess::execute("chattr", {"-i", QDir(folder).filePath("Gifts.csv")});
        QCOMPARE(readAll(QDir(folder).filePath("Gifts.csv")), QByteArray("old"));
    }
}

void TestExport::cancelDuringWriting()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    int writing = 0;
    w.uiHook = [&] {
        if (w.lblSimpleText->text() == QLatin1String("Creating Extract File") && ++writing == 3)
            QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    };
    DialogDriver driver(saveAs(m_out->path(), "Gifts", 0));
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(writing, 3);
    QCOMPARE(host.texts(), QStringList{"Extract was Canceled."});
    // Two records were written before the third one saw the flag.
    QCOMPARE(readAll(QDir(m_out->path()).filePath("Gifts.csv")).count("\r\n"), 2);
    QVERIFY(ProgramCancelFlag().isSet());
    QVERIFY(w.pb1->isHidden());
}

// The builder keeps its read lock on the gifts from one servicing of the
// window to the next only; the writers keep the extract's for the whole pass.
void TestExport::sharingWhileExporting()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    // The contributor whose gifts are read last.
    DemoSuite::Person last = m_suite.install.people.first();
    for (const DemoSuite::Person &p : std::as_const(m_suite.install.people))
        if (p.individualNumber > last.individualNumber)
            last = p;
    const int fund = m_suite.install.funds.first().number;
    // Another program, which does not wait for a lock.
    auto otherProgram = [](const std::function<void()> &write) {
        data::Engine::instance().setLockSettings({0, 1});
        bool done = true;
        try {
            write();
        } catch (const data::EngineError &e) {
            done = false;
            if (!QString::fromUtf8(e.what()).contains(QLatin1String("locked")))
                qWarning() << e.what();
        }
        data::Engine::instance().setLockSettings({});
        return done;
    };
    auto addLastGift = [&] { addGift(last.familyNumber, last.individualNumber, QDate(2024, 2, 20), fund, "7.77"); };
    auto emptyExtract = [] { SuiteFixture::withTable(QString::fromLatin1(data::catalogue::kExtractTable),
                                                     [](data::Table &t) { t.emptyTable(); }); };

    int building = 0, writing = 0;
    bool heldWhileBuilding = false, freeAtService = false, heldWhileWriting = false;
    w.uiHook = [&] {
        if (w.lblSimpleText->text() == QLatin1String("Building File") && ++building == 3) {
            heldWhileBuilding = !otherProgram(addLastGift);
            w.serviceWindow();
            freeAtService = otherProgram(addLastGift);
        }
        if (w.lblSimpleText->text() == QLatin1String("Creating Extract File") && ++writing == 2)
            heldWhileWriting = !otherProgram(emptyExtract);
    };
    DialogDriver driver(saveAs(m_out->path(), "Gifts", 0));
    QTest::mouseClick(w.btnExport, Qt::LeftButton);
    QCOMPARE(host.texts(), QStringList{"Extract Complete"});
    QVERIFY(heldWhileBuilding);
    QVERIFY(freeAtService);
    QVERIFY(heldWhileWriting);
    // The gift written while the window was serviced is in the file: the
    // builder read on with a fresh look at the table.
    const QByteArray csv = readAll(QDir(m_out->path()).filePath("Gifts.csv"));
    QCOMPARE(csv.count("\"7.77\""), 1);
    QCOMPARE(csv.count("\r\n"), extractRows(w).size());
    // Both locks are given back at the end.
    QVERIFY(otherProgram(addLastGift));
    QVERIFY(otherProgram(emptyExtract));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
