#include "extract/Main.h"

#include "controls/CaptionGroupBox.h"
#include "controls/DateEdit.h"
#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/MessageHost.h"
#include "platform/Regional.h"
#include "tests/login/SuiteFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <sqlite3.h>

using platform::MessageKind;
using platform::ScriptedMessageHost;

namespace {

const QString kReports = QString::fromLatin1(data::catalogue::kReports);
const QString kOrgs = QString::fromLatin1(data::catalogue::kOrganizations);

struct SettingsRecord {
    bool exists = false;
    qint32 level = 0;
    QString name;
    QString memo;
};

SettingsRecord readSettings()
{
    SettingsRecord r;
    SuiteFixture::withTable(kReports, [&](data::Table &t) {
        if (!t.findKey({TfrmMain::kSettingsId}))
            return;
        r.exists = true;
        r.level = t.fieldByName(QStringLiteral("Level")).asInteger();
        r.name = t.fieldByName(QStringLiteral("ReportName")).asString();
        r.memo = t.fieldByName(QStringLiteral("ReportInformation")).memoText();
    });
    return r;
}

void writeSettings(const QString &memo, qint32 level = 0, const QString &name = QStringLiteral("Tallyport"))
{
    SuiteFixture::withTable(kReports, [&](data::Table &t) {
        if (t.findKey({TfrmMain::kSettingsId})) {
            t.edit();
        } else {
            t.insert();
            t.fieldByName(QStringLiteral("ID")).setAsInteger(TfrmMain::kSettingsId);
        }
        t.fieldByName(QStringLiteral("Level")).setAsInteger(level);
        t.fieldByName(QStringLiteral("ReportName")).setAsString(name);
        t.fieldByName(QStringLiteral("ReportInformation")).setAsString(memo);
        t.post();
    });
}

void addOrganization(qint32 id, const QString &name, qint32 level)
{
    SuiteFixture::withTable(kOrgs, [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("OrgID")).setAsInteger(id);
        t.fieldByName(QStringLiteral("Name")).setAsString(name);
        t.fieldByName(QStringLiteral("LevelID")).setAsInteger(level);
        t.fieldByName(QStringLiteral("ParentID")).setAsInteger(0);
        t.post();
    });
}

QStringList ids(const QList<DemoSuite::Organization> &orgs)
{
    QStringList out;
    for (const auto &o : orgs)
        out << QString::number(o.orgId);
    return out;
}

QStringList names(const QList<DemoSuite::Organization> &orgs)
{
    QStringList out;
    for (const auto &o : orgs)
        out << o.name;
    return out;
}

// Everything above the bottom level, in id order.
QList<DemoSuite::Organization> synodsInOrder(const DemoSuite::Installation &inst)
{
    QList<DemoSuite::Organization> list = inst.synods;
    std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) { return a.orgId < b.orgId; });
    return list;
}

bool anyOpen(const QStringList &tables)
{
    data::Database *db = data::Session::defaultSession().findDatabase(QStringLiteral("ZEL_DATA"));
    if (!db)
        return false;
    for (data::DataSet *ds : db->openTables()) {
        auto *t = dynamic_cast<data::Table *>(ds);
        for (const QString &name : tables)
            if (t && t->tableName().compare(name, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

// Holds an exclusive lock on a table file for as long as it lives.
class FileLock {
public:
    explicit FileLock(const QString &file)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
            m_locked = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~FileLock()
    {
        if (m_locked)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool locked() const { return m_locked; }

private:
    sqlite3 *m_db = nullptr;
    bool m_locked = false;
};

} // namespace

class TestMain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formLayout();
    void firstRunDefaults();
    void restoreSettings_data();
    void restoreSettings();
    void saveChoices_data();
    void saveChoices();
    void namesDifferingOnlyInCase();
    void organisationNameWithQuotesAndCommas();
    void settingsTableCannotBeWritten();
    void startUpFailureKeepsRecord();
    void levelTableWithoutRows();
    void missingFieldDescriptions();
    void radioHandlers();
    void dateEditsTodayAndFormat();
    void enterMovesFocus();
    void extractTableLifetime();
    void selectButtonsKeepLists();
    void cancelButtonSetsFlag();
    void exitClosesAndSavesOnce();

private:
    SuiteFixture m_suite;
    QList<DemoSuite::Organization> m_synods;
};

void TestMain::initTestCase()
{
    LoadFormFonts();
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    platform::setTodayOverride(QDate(2024, 3, 15));
    ScriptedMessageHost host;
    QVERIFY(m_suite.setUp(QDate(2024, 3, 15)));
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    m_synods = synodsInOrder(m_suite.install);
    QVERIFY(m_synods.size() >= 3);
    QVERIFY(m_suite.install.funds.size() >= 3);
}

// Every test starts from a fresh installation: they add rows and settings.
void TestMain::init()
{
    data::Engine::instance().setLockSettings({});
    SuiteFixture fresh;
    QVERIFY(fresh.setUp(QDate(2024, 3, 15)));
    GetConnection()->DBISAMDatabase.setDirectory(fresh.install.peopleDataDirectory);
    m_suite = std::move(fresh);
}

void TestMain::cleanup()
{
    ProgramCancelFlag().clear();
}

void TestMain::formLayout()
{
    ScriptedMessageHost host;
    TfrmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tallyport"));
    QCOMPARE(w.size(), QSize(323, 325));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.font().pixelSize(), 11);

    struct Expect {
        QWidget *widget;
        QRect geometry;
        QString caption;
    };
    const Expect expected[] = {
        {w.gbDateRange, {5, 8, 224, 51}, QStringLiteral(" Date Range ")},
        {w.meFrom, {37, 19, 84, 21}, {}},
        {w.meTo, {136, 19, 84, 21}, {}},
        {w.gbFunds, {5, 65, 224, 65}, QStringLiteral(" Funds ")},
        {w.rbAllFunds, {16, 16, 73, 17}, QStringLiteral("All Funds")},
        {w.rbSelectedFunds, {16, 40, 97, 17}, QStringLiteral("Selected Funds")},
        {w.btnSelectFunds, {128, 40, 48, 19}, QStringLiteral("Select")},
        {w.gbSynods, {5, 137, 224, 83}, QStringLiteral(" Contributors ")},
        {w.rbAllSynods, {11, 16, 73, 17}, QStringLiteral("All Synods")},
        {w.rbSelectedSynods, {11, 39, 105, 17}, QStringLiteral("Selected Synods")},
        {w.rbPeople, {11, 62, 185, 17}, QStringLiteral("Contributors in the People Module")},
        {w.btnSelectSynods, {123, 38, 48, 19}, QStringLiteral("Select")},
        {w.GroupBox1, {5, 225, 224, 49}, QStringLiteral(" VUVE Number ")},
        {w.cbField, {11, 16, 193, 21}, {}},
        {w.pnlButtons, {240, 8, 78, 53}, {}},
        {w.btnExport, {2, 2, 75, 25}, QStringLiteral("&Export")},
        {w.btnExit, {2, 27, 75, 25}, QStringLiteral("E&xit")},
        {w.pb1, {116, 300, 132, 17}, {}},
        {w.btnCancel, {254, 300, 63, 17}, QStringLiteral("Cancel")},
        {w.lblSimpleText, {8, 300, 100, 13}, {}},
    };
    for (const Expect &e : expected) {
        QCOMPARE(e.widget->geometry(), e.geometry);
        if (auto *box = qobject_cast<QGroupBox *>(e.widget))
            QCOMPARE(box->title(), e.caption);
        else if (auto *button = qobject_cast<QAbstractButton *>(e.widget))
            QCOMPARE(button->text(), e.caption);
    }
    QCOMPARE(w.Label1->pos(), QPoint(9, 279));
    QCOMPARE(w.Label1->text(), QStringLiteral("Choose the *.xls format when exporting"));
    QVERIFY(w.lblSimpleText->text().isEmpty());
    QVERIFY(w.pb1->isHidden());
    QVERIFY(w.btnCancel->isHidden());
    QVERIFY(!w.cbField->isEditable());
    QVERIFY(w.meFrom->calendarPopup());
    QVERIFY(!(w.meFrom->displayedSections() & QDateTimeEdit::TimeSections_Mask));

    // Tab order through the controls that take the focus.
    const QList<QWidget *> order = {w.meFrom, w.meTo, w.rbAllFunds, w.rbSelectedFunds, w.btnSelectFunds,
                                    w.rbAllSynods, w.rbSelectedSynods, w.rbPeople, w.btnSelectSynods,
                                    w.cbField, w.btnExport, w.btnExit, w.btnCancel};
    QList<QWidget *> chain;
    for (QWidget *next = w.nextInFocusChain(); next != &w; next = next->nextInFocusChain()) {
        // Only what Tab stops at: not labels and frames, not the date edit's
        // own line edit, not the drop-downs (windows of their own).
        if ((next->focusPolicy() & Qt::TabFocus) && !next->focusProxy() && next->window() == &w)
            chain << next;
    }
    QCOMPARE(chain, order);

    // Caption bold in the caption colour; the controls inside stay plain.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QColor caption = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    for (CaptionGroupBox *box : {w.gbDateRange, w.gbFunds, w.gbSynods, w.GroupBox1}) {
        QVERIFY(box->captionFont().bold());
        QCOMPARE(box->captionColor(), caption);
        QCOMPARE(box->captionFont().pixelSize(), 11);
    }
    for (QWidget *inside : {static_cast<QWidget *>(w.rbAllFunds), static_cast<QWidget *>(w.cbField),
                            static_cast<QWidget *>(w.meFrom)}) {
        QVERIFY(!inside->font().bold());
        QCOMPARE(inside->font().pixelSize(), 11);
        QCOMPARE(inside->palette().color(QPalette::WindowText),
                 QApplication::palette().color(QPalette::Active, QPalette::WindowText));
    }
    // The caption is drawn in its colour on the frame line.
    const QImage shot = w.gbFunds->grab().toImage();
    bool captionPainted = false;
    for (int x = 8; x < 60 && !captionPainted; ++x)
        for (int y = 0; y < 13 && !captionPainted; ++y)
            captionPainted = shot.pixelColor(QPoint(x, y) * shot.devicePixelRatio()) == caption;
    QVERIFY(captionPainted);

    // Assistive technology can name every control.
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblFrom"))->buddy(), w.meFrom);
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblTo"))->buddy(), w.meTo);
    for (QWidget *c : w.findChildren<QWidget *>()) {
        if (c->objectName().isEmpty() || c->objectName().startsWith(QLatin1String("qt_"))
            || c->window() != &w)
            continue;
        if (qobject_cast<QLabel *>(c) && !qobject_cast<QLabel *>(c)->text().isEmpty())
            continue;
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    }
    w.close();
}

void TestMain::firstRunDefaults()
{
    ScriptedMessageHost host;
    auto w = std::make_unique<TfrmMain>();
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    QCOMPARE(w->meFrom->date(), QDate(2024, 2, 1));
    QCOMPARE(w->meTo->date(), QDate(2024, 2, 29));
    QVERIFY(w->rbAllFunds->isChecked());
    QVERIFY(w->rbPeople->isChecked());
    QVERIFY(w->cbField->isEnabled());
    QCOMPARE(w->cbField->currentIndex(), -1);
    QCOMPARE(w->cbField->count(), 7);
    const QStringList items = {"PIN", "Envelope Number", "VUVE Number", "Parish Code", "District",
                               "Treasurer ID", "Old PIN"};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(w->cbField->itemText(i), items[i]);
    QVERIFY(!w->btnSelectFunds->isEnabled());
    QVERIFY(!w->btnSelectSynods->isEnabled());
    QCOMPARE(w->FOrganizations.texts(), names(m_synods));
    for (int i = 0; i < w->FOrganizations.count(); ++i) {
        auto *rec = dynamic_cast<TTypeRecord *>(w->FOrganizations.objects(i));
        QVERIFY(rec);
        QCOMPARE(rec->OrgID, m_synods[i].orgId);
        QCOMPARE(rec->Name, m_synods[i].name);
    }
    QCOMPARE(w->FSelectedSynods.texts(), names(m_synods));
    QVERIFY(w->FSelectedFunds.isEmpty());

    w->close();
    w.reset();
    QVERIFY(host.boxes().isEmpty());
    const SettingsRecord saved = readSettings();
    QVERIFY(saved.exists);
    QCOMPARE(saved.level, 0);
    QCOMPARE(saved.name, QStringLiteral("Tallyport"));
    QCOMPARE(saved.memo, QStringLiteral("2\r\n%1\r\n1\r\n\r\n-1\r\n").arg(ids(m_synods).join(',')));
}

void TestMain::restoreSettings_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<int>("contributors");   // 0 all synods, 1 selected, 2 people
    QTest::addColumn<QStringList>("synods");
    QTest::addColumn<bool>("allFunds");
    QTest::addColumn<QStringList>("funds");
    QTest::addColumn<int>("item");
    QTest::addColumn<bool>("fieldEnabled");

    const auto &s = m_synods;
    const auto &f = m_suite.install.funds;
    const QString s01 = QStringLiteral("%1,%2").arg(s[0].orgId).arg(s[1].orgId);
    QTest::addRow("all synods, selected funds, field 3")
        << QStringLiteral("0\r\n%1\r\n2\r\n%2\r\n3\r\n").arg(s01).arg(f[0].number) << 0
        << QStringList{s[0].name, s[1].name} << false << QStringList{f[0].description} << 3 << true;
    QTest::addRow("record with two lines")
        << QStringLiteral("1\r\n%1\r\n").arg(s[2].orgId) << 1 << QStringList{s[2].name} << true
        << QStringList{} << 0 << true;
    QTest::addRow("line 4 reads 7") << QStringLiteral("1\r\n\r\n1\r\n\r\n7\r\n") << 1 << QStringList{}
                                    << true << QStringList{} << 0 << true;
    QTest::addRow("line 4 reads -1") << QStringLiteral("0\r\n\r\n1\r\n\r\n-1\r\n") << 0 << QStringList{}
                                     << true << QStringList{} << 0 << true;
    QTest::addRow("line 4 reads a word") << QStringLiteral("0\r\n\r\n1\r\n\r\nDistrict\r\n") << 0
                                         << QStringList{} << true << QStringList{} << 0 << true;
    QTest::addRow("people with selected funds")
        << QStringLiteral("2\r\n%1\r\n2\r\n%2,%3\r\n5\r\n").arg(s01).arg(f[1].number).arg(f[2].number) << 2
        << QStringList{s[0].name, s[1].name} << false << QStringList{f[1].description, f[2].description}
        << 1 << false;
    QTest::addRow("ids that are not numbers or no longer exist")
        << QStringLiteral("1\r\n%1,abc,999999,,%2\r\n2\r\nx%3,%3, 88888\r\n6\r\n")
               .arg(s[0].orgId).arg(s[2].orgId).arg(f[0].number)
        << 1 << QStringList{s[0].name, s[2].name} << false << QStringList{f[0].description} << 6 << true;
    QTest::addRow("garbage lines") << QStringLiteral("zzz\r\n\"unclosed, 1\r\n\x01\r\n,,\r\n\r\n") << 2
                                   << QStringList{} << false << QStringList{} << 1 << false;
    QTest::addRow("empty memo") << QString() << 2 << QStringList{} << true << QStringList{} << 1 << false;
    QTest::addRow("blank-separated ids, LF only")
        << QStringLiteral("1\n%1 %2\n1\n").arg(s[1].orgId).arg(s[0].orgId) << 1
        << QStringList{s[1].name, s[0].name} << true << QStringList{} << 0 << true;
}

void TestMain::restoreSettings()
{
    QFETCH(QString, memo);
    QFETCH(int, contributors);
    QFETCH(QStringList, synods);
    QFETCH(bool, allFunds);
    QFETCH(QStringList, funds);
    QFETCH(int, item);
    QFETCH(bool, fieldEnabled);

    writeSettings(memo);
    ScriptedMessageHost host;
    TfrmMain w;
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    QCOMPARE(w.rbAllSynods->isChecked(), contributors == 0);
    QCOMPARE(w.rbSelectedSynods->isChecked(), contributors == 1);
    QCOMPARE(w.rbPeople->isChecked(), contributors == 2);
    QCOMPARE(w.FSelectedSynods.texts(), synods);
    QCOMPARE(w.rbAllFunds->isChecked(), allFunds);
    QCOMPARE(w.rbSelectedFunds->isChecked(), !allFunds);
    QCOMPARE(w.FSelectedFunds.texts(), funds);
    QCOMPARE(w.cbField->currentIndex(), item);
    QCOMPARE(w.cbField->isEnabled(), fieldEnabled);
    QCOMPARE(w.btnSelectFunds->isEnabled(), !allFunds);
    QCOMPARE(w.btnSelectSynods->isEnabled(), contributors == 1);
    // The organisation list itself never depends on the record.
    QCOMPARE(w.FOrganizations.texts(), names(m_synods));
}

void TestMain::saveChoices_data()
{
    QTest::addColumn<int>("contributors");
    QTest::addColumn<bool>("allFunds");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("expectedFirstLine");
    QTest::addColumn<QString>("expectedLastLine");
    QTest::addRow("selected synods, field 4") << 1 << false << 4 << "1" << "4";
    QTest::addRow("all synods, PIN") << 0 << true << 0 << "0" << "0";
    QTest::addRow("people writes item 1") << 2 << false << 5 << "2" << "1";
}

void TestMain::saveChoices()
{
    QFETCH(int, contributors);
    QFETCH(bool, allFunds);
    QFETCH(int, item);
    QFETCH(QString, expectedFirstLine);
    QFETCH(QString, expectedLastLine);

    // An existing record keeps its level and name; only the memo changes.
    writeSettings(QStringLiteral("0\r\n\r\n1\r\n\r\n0\r\n"), 7, QStringLiteral("Kept Name"));
    const auto &f = m_suite.install.funds;
    ScriptedMessageHost host;
    {
        TfrmMain w;
        w.show();
        QTest::mouseClick(allFunds ? w.rbAllFunds : w.rbSelectedFunds, Qt::LeftButton);
        w.cbField->setCurrentIndex(item);
        QRadioButton *rb = contributors == 0 ? w.rbAllSynods : contributors == 1 ? w.rbSelectedSynods : w.rbPeople;
        QTest::mouseClick(rb, Qt::LeftButton);
        QVERIFY(rb->isChecked());
        // What a picker would leave: names and descriptions, in the user's order and case.
        w.FSelectedSynods.setTexts({m_synods[2].name.toUpper(), m_synods[0].name, QStringLiteral("Gone Synod")});
        w.FSelectedFunds.setTexts({f[2].description, f[0].description.toLower()});
        w.close();
    }
    QVERIFY(host.boxes().isEmpty());
    const SettingsRecord saved = readSettings();
    QCOMPARE(saved.level, 7);
    QCOMPARE(saved.name, QStringLiteral("Kept Name"));
    QCOMPARE(saved.memo, QStringLiteral("%1\r\n%2,%3\r\n%4\r\n%5,%6\r\n%7\r\n")
                             .arg(expectedFirstLine)
                             .arg(m_synods[2].orgId)
                             .arg(m_synods[0].orgId)
                             .arg(allFunds ? "1" : "2")
                             .arg(f[2].number)
                             .arg(f[0].number)
                             .arg(expectedLastLine));
}

void TestMain::namesDifferingOnlyInCase()
{
    addOrganization(9001, QStringLiteral("Grace Chapel"), 2);
    addOrganization(9002, QStringLiteral("GRACE CHAPEL"), 2);
    ScriptedMessageHost host;
    {
        TfrmMain w;
        QVERIFY(w.FOrganizations.texts().contains(QStringLiteral("GRACE CHAPEL")));
        QTest::mouseClick(w.rbSelectedSynods, Qt::LeftButton);
        w.FSelectedSynods.setTexts({QStringLiteral("GRACE CHAPEL"), QStringLiteral("Grace Chapel")});
        w.close();
    }
    QCOMPARE(readSettings().memo, QStringLiteral("1\r\n9001,9001\r\n1\r\n\r\n-1\r\n"));
}

void TestMain::organisationNameWithQuotesAndCommas()
{
    const QString name = QStringLiteral("St. John's, \"Upper\" Parish");
    addOrganization(9003, name, 1);
    ScriptedMessageHost host;
    {
        TfrmMain w;
        QVERIFY(w.FOrganizations.texts().contains(name));
        QTest::mouseClick(w.rbSelectedSynods, Qt::LeftButton);
        w.FSelectedSynods.setTexts({name});
        w.close();
    }
    QCOMPARE(readSettings().memo, QStringLiteral("1\r\n9003\r\n1\r\n\r\n-1\r\n"));
    TfrmMain again;
    QCOMPARE(again.FSelectedSynods.texts(), QStringList{name});
    again.close();
    QVERIFY(host.boxes().isEmpty());
}

void TestMain::settingsTableCannotBeWritten()
{
    const QString before = QStringLiteral("0\r\n%1\r\n1\r\n\r\n2\r\n").arg(m_synods[0].orgId);
    writeSettings(before);
    ScriptedMessageHost host;
    data::Engine::instance().setLockSettings({1, 3});
    auto w = std::make_unique<TfrmMain>();
    w->show();
    QTest::mouseClick(w->rbPeople, Qt::LeftButton);
    {
        FileLock lock(m_suite.dataFile(kReports));
        QVERIFY(lock.locked());
        QVERIFY(w->close());
    }
    QVERIFY(!w->isVisible());
    w.reset();
    data::Engine::instance().setLockSettings({});
    QCOMPARE(host.texts(), QStringList{QStringLiteral("Cound Not Save Report.")});
    QCOMPARE(host.boxes().at(0).kind, MessageKind::Plain);
    QCOMPARE(host.boxes().at(0).buttons, platform::MessageButtons(platform::MessageButton::Ok));
    QCOMPARE(readSettings().memo, before);
    QVERIFY(!anyOpen({kReports}));
}

void TestMain::startUpFailureKeepsRecord()
{
    // Without the organisation table the window opens with the engine's
    // message; closing it must not overwrite the saved choices with defaults.
    const QString before = QStringLiteral("1\r\n%1\r\n2\r\n%2\r\n3\r\n")
                               .arg(m_synods[1].orgId)
                               .arg(m_suite.install.funds[0].number);
    writeSettings(before);
    const QString file = m_suite.dataFile(kOrgs);
    QVERIFY(QFile::rename(file, file + QStringLiteral(".aside")));
    ScriptedMessageHost host;
    {
        TfrmMain w;
        QCOMPARE(host.boxes().size(), 1);
        QCOMPARE(host.boxes().at(0).kind, MessageKind::Error);
        QCOMPARE(host.boxes().at(0).title, QStringLiteral("Tallyport"));
        w.show();
        QVERIFY(w.close());
    }
    QVERIFY(QFile::rename(file + QStringLiteral(".aside"), file));
    QCOMPARE(host.boxes().size(), 2);
    QCOMPARE(host.boxes().at(1).text, QStringLiteral("Cound Not Save Report."));
    QCOMPARE(readSettings().memo, before);
}

void TestMain::levelTableWithoutRows()
{
    data::Table levels;
    levels.setDatabaseName(QStringLiteral("ZEL_DATA"));
    levels.setTableName(QString::fromLatin1(data::catalogue::kOrgLevels));
    levels.emptyTable();
    ScriptedMessageHost host;
    TfrmMain w;
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    // No bottom level: every organisation is listed.
    QCOMPARE(w.FOrganizations.count(), m_suite.install.synods.size() + m_suite.install.congregations.size());
    w.close();
}

void TestMain::missingFieldDescriptions()
{
    // A key that is missing still adds an item (the row the table stands on).
    data::Table fields;
    fields.setDatabaseName(QStringLiteral("ZEL_DATA"));
    fields.setTableName(QString::fromLatin1(data::catalogue::kFieldDescriptions));
    fields.emptyTable();
    ScriptedMessageHost host;
    TfrmMain w;
    QCOMPARE(w.cbField->count(), 7);
    QCOMPARE(w.cbField->itemText(0), QStringLiteral("PIN"));
    QCOMPARE(w.cbField->itemText(1), QStringLiteral("Envelope Number"));
    w.close();
}

void TestMain::radioHandlers()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    QTest::mouseClick(w.rbSelectedFunds, Qt::LeftButton);
    QVERIFY(w.btnSelectFunds->isEnabled());
    QTest::mouseClick(w.rbAllFunds, Qt::LeftButton);
    QVERIFY(!w.btnSelectFunds->isEnabled());

    QTest::mouseClick(w.rbAllSynods, Qt::LeftButton);
    QVERIFY(w.cbField->isEnabled());
    QVERIFY(!w.btnSelectSynods->isEnabled());
    w.cbField->setCurrentIndex(4);
    QTest::mouseClick(w.rbPeople, Qt::LeftButton);
    QVERIFY(!w.cbField->isEnabled());
    QCOMPARE(w.cbField->currentIndex(), 1);
    QTest::mouseClick(w.rbSelectedSynods, Qt::LeftButton);
    QVERIFY(w.btnSelectSynods->isEnabled());
    QVERIFY(w.cbField->isEnabled());
    QCOMPARE(w.cbField->currentIndex(), 1);   // keeps its item
    w.close();
}

void TestMain::dateEditsTodayAndFormat()
{
    ScriptedMessageHost host;
    platform::setRegionalOverride(platform::RegionalSettings::unitedStates());
    TfrmMain w;
    w.show();
    QCOMPARE(w.meFrom->date(), QDate(2024, 2, 1));
    QCOMPARE(w.meFrom->text(), QStringLiteral("2/1/2024"));
    QCOMPARE(w.meTo->text(), QStringLiteral("2/29/2024"));
    // The drop-down calendar's Today button picks the (fixed) current date.
    TodayCalendar *calendar = w.meFrom->todayCalendar();
    QVERIFY(calendar);
    QCOMPARE(w.meFrom->calendarWidget(), calendar);
    QCOMPARE(calendar->todayButton()->text(), QStringLiteral("Today"));
    QVERIFY(!calendar->todayButton()->accessibleName().isEmpty());
    calendar->todayButton()->click();
    QCOMPARE(w.meFrom->date(), QDate(2024, 3, 15));
    QCOMPARE(w.meTo->date(), QDate(2024, 2, 29));
    platform::setRegionalOverride(std::nullopt);
    w.close();
}

void TestMain::enterMovesFocus()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.meFrom->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w.meTo);
    const QDate before = w.meTo->date();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), w.rbAllFunds);
    QCOMPARE(w.meTo->date(), before);
    w.cbField->setFocus();
    QTest::keyClick(w.cbField, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w.btnExport);
    QVERIFY(w.isVisible());
    w.close();
}

void TestMain::extractTableLifetime()
{
    // A table left behind by an earlier run is replaced by an empty one.
    data::Table stale;
    stale.setDatabaseName(QStringLiteral("ZEL_DATA"));
    stale.setTableName(QString::fromLatin1(data::catalogue::kExtractTable));
    stale.createTable(data::catalogue::extractTable());
    stale.open();
    stale.append();
    stale.fieldByName(QStringLiteral("Congregation ID")).setAsString(QStringLiteral("left over"));
    stale.post();
    stale.close();

    ScriptedMessageHost host;
    auto w = std::make_unique<TfrmMain>();
    QVERIFY(w->tbExtractTable.active());
    QCOMPARE(w->tbExtractTable.recordCount(), 0);
    QCOMPARE(w->tbExtractTable.fieldCount(), 5);
    QVERIFY(QFile::exists(m_suite.dataFile(QStringLiteral("ExtractTable"))));
    w->close();
    w.reset();
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(!stale.exists());
    QVERIFY(!anyOpen({kOrgs, QString::fromLatin1(data::catalogue::kFunds), kReports,
                      QString::fromLatin1(data::catalogue::kExtractTable)}));
}

void TestMain::selectButtonsKeepLists()
{
    writeSettings(QStringLiteral("1\r\n%1\r\n2\r\n%2\r\n0\r\n").arg(m_synods[0].orgId).arg(m_suite.install.funds[0].number));
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    const QStringList synods = w.FSelectedSynods.texts();
    const QStringList funds = w.FSelectedFunds.texts();
    for (QPushButton *b : {w.btnSelectSynods, w.btnSelectFunds}) {
        bool shown = false;
        QTimer::singleShot(0, [&] {
            if (auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                shown = true;
                dlg->close();
            }
        });
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(shown);
    }
    QCOMPARE(w.FSelectedSynods.texts(), synods);
    QCOMPARE(w.FSelectedFunds.texts(), funds);
    w.close();
}

void TestMain::cancelButtonSetsFlag()
{
    ScriptedMessageHost host;
    TfrmMain w;
    w.show();
    w.btnCancel->show();
    QVERIFY(!ProgramCancelFlag().isSet());
    QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    QVERIFY(ProgramCancelFlag().isSet());
    w.close();
}

void TestMain::exitClosesAndSavesOnce()
{
    ScriptedMessageHost host;
    auto w = std::make_unique<TfrmMain>();
    w->show();
    QTest::mouseClick(w->rbAllSynods, Qt::LeftButton);
    w->FSelectedSynods.setTexts({m_synods[1].name});
    QTest::mouseClick(w->btnExit, Qt::LeftButton);
    QVERIFY(!w->isVisible());
    const QString first = readSettings().memo;
    QCOMPARE(first, QStringLiteral("0\r\n%1\r\n1\r\n\r\n-1\r\n").arg(m_synods[1].orgId));
    // A second close must not read the saved ids as names.
    w->close();
    w.reset();
    QCOMPARE(readSettings().memo, first);
    QVERIFY(host.boxes().isEmpty());
}

QTEST_MAIN(TestMain)
#include "tst_main.moc"
