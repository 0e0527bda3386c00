#include "DemoSuite.h"

#include "DemoData.h"

#include "connect/TablePasswords.h"
#include "data/Catalogue.h"
#include "data/Engine.h"
#include "data/Table.h"
#include "platform/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using data::Currency;

// splitmix64: small, fast, and the same sequence on every platform and
// library version, which std:: distributions do not promise.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % quint64(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool permille(int p) { return below(1000) < p; }
    template <typename List>
    const auto &pick(const List &list) { return list.at(below(int(list.size()))); }

private:
    quint64 m_state;
};

struct SizeSpec {
    int synods;
    int congregationsPerSynod;
    int people;
    int gifts;
};

SizeSpec specFor(DemoSuite::Size size)
{
    switch (size) {
    case DemoSuite::Size::Tiny:
        return {2, 3, 20, 60};
    case DemoSuite::Size::Small:
        return {6, 12, 600, 20000};
    case DemoSuite::Size::Large:
        return {12, 40, 50000, 1000000};
    }
    return {2, 3, 20, 60};
}

QString joinPath(const QString &dir, const QString &name)
{
    return QDir::cleanPath(dir + QLatin1Char('/') + name);
}

void makeDir(const QString &path)
{
    if (!QDir().mkpath(path))
        throw platform::Error(QStringLiteral("Cannot create the folder %1").arg(path));
}

void writeTextFile(const QString &path, const QString &text)
{
    makeDir(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw platform::Error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    file.write(text.toUtf8());
    if (!file.commit())
        throw platform::Error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

// A string in a .reg file: backslashes and quotes escaped.
QString regString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString hiveText(const QString &root, const QList<std::pair<QString, QString>> &values)
{
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[%1\\%2]\r\n")
                       .arg(root, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"));
    for (const auto &[name, value] : values)
        text += regString(name) + QLatin1Char('=') + regString(value) + QStringLiteral("\r\n");
    return text;
}

// Adds the table passwords to the default session for the time of the write
// and takes away again only those that were not there before.
class SessionPasswords {
public:
    explicit SessionPasswords(const QStringList &passwords)
    {
        data::Session &session = data::Session::defaultSession();
        for (const QString &password : passwords) {
            if (!session.passwords().contains(password)) {
                session.addPassword(password);
                m_added.append(password);
            }
        }
    }
    ~SessionPasswords()
    {
        for (const QString &password : m_added)
            data::Session::defaultSession().removePassword(password);
    }
    SessionPasswords(const SessionPasswords &) = delete;
    SessionPasswords &operator=(const SessionPasswords &) = delete;

private:
    QStringList m_added;
};

// One table being filled: created from its catalogue definition, written
// inside a single transaction.
class TableWriter {
public:
    TableWriter(const QString &alias, const data::TableDef &def, const QString &password)
    {
        m_table.setDatabaseName(alias);
        m_table.setTableName(def.name);
        data::TableDef protectedDef = def;
        protectedDef.password = password;
        m_table.createTable(protectedDef);
        m_table.open();
        m_table.startTransaction();
    }
    ~TableWriter()
    {
        if (m_table.active()) {
            try {
                if (!m_committed)
                    m_table.rollback();
                m_table.close();
            } catch (...) {
                // already failing; the first error is the one reported
            }
        }
    }
    TableWriter(const TableWriter &) = delete;
    TableWriter &operator=(const TableWriter &) = delete;

    data::Field field(const QString &name) { return m_table.fieldByName(name); }
    void append() { m_table.append(); }
    void post() { m_table.post(); }
    void finish()
    {
        m_table.commit();
        m_committed = true;
        m_table.close();
    }

private:
    data::Table m_table;
    bool m_committed = false;
};

struct GiftLine {
    int contributor;      // index into the contributor list
    int day;              // days after the first day of the window
    int fund;             // fund number
    qint64 cents;
    quint8 flag;          // 0 "0", 1 "", 2 "1"
    bool hasCheck;
    int checkNumber;
};

struct Contributor {
    QString familyNumber;
    int individualNumber;
};

class Writer {
public:
    Writer(const QString &root, const DemoSuite::Options &options)
        : m_options(options), m_spec(specFor(options.size)), m_random(options.seed)
    {
        m_result.root = root;
        m_today = options.today.isValid() ? options.today : QDate::currentDate();
        if (options.gifts >= 0)
            m_spec.gifts = options.gifts;
    }

    DemoSuite::Installation run()
    {
        writeConfiguration();
        const QStringList passwords = TablePasswords();
        if (passwords.size() < 2)
            throw platform::Error(QStringLiteral("The suite's table passwords are not available"));
        m_result.tablePasswords = passwords;
        SessionPasswords sessionPasswords(passwords);

        static int serial = 0;
        const QString alias = QStringLiteral("DEMO_SUITE_%1").arg(++serial);
        data::Database database(data::Session::defaultSession(), alias, m_result.peopleDataDirectory);
        database.open();
        m_alias = alias;

        writeUsers(passwords.at(0));
        writeLevelsAndOrganizations();
        writeFieldDescriptions();
        writeFunds();
        writePeople();
        writeGifts(passwords.at(1));
        writeReports();

        database.close();
        return m_result;
    }

private:
    void progress(const QString &text)
    {
        if (m_options.progress)
            m_options.progress(text);
    }

    void writeConfiguration()
    {
        const QString root = m_result.root;
        m_result.xdgConfigDirs = joinPath(root, QStringLiteral("etc/xdg"));
        m_result.xdgConfigHome = joinPath(root, QStringLiteral("home/.config"));
        m_result.appData = joinPath(root, QStringLiteral("home/AppData/Roaming"));
        m_result.machineHive = joinPath(m_result.xdgConfigDirs, QStringLiteral("registry/HKEY_LOCAL_MACHINE.reg"));
        m_result.userHive = joinPath(m_result.xdgConfigHome, QStringLiteral("registry/HKEY_CURRENT_USER.reg"));
        m_result.commonAppData = joinPath(root, QStringLiteral("ProgramData"));
        m_result.systemIni = joinPath(m_result.commonAppData, QStringLiteral("Zelvane/ZEL_SYS.INI"));
        m_result.appPathIni = joinPath(m_result.appData, QStringLiteral("Zelvane/apppath.ini"));
        const QString suite = joinPath(root, QStringLiteral("Suite"));
        m_result.formDirectoryValue = suite + QLatin1Char('/');
        m_result.dataDirectoryValue = suite + QLatin1Char('/');
        m_result.formDirectory = joinPath(suite, QStringLiteral("ZELFORM"));
        m_result.privateDirectory = joinPath(suite, QStringLiteral("TEMP"));
        m_result.systemDataDirectory = joinPath(suite, QStringLiteral("ZELSYS"));
        m_result.peopleDataDirectory = joinPath(suite, QStringLiteral("ZELDATA"));
        m_result.documentsDirectory = joinPath(root, QStringLiteral("home/Documents"));
        m_result.desktopDirectory = joinPath(root, QStringLiteral("home/Desktop"));

        for (const QString &dir : {m_result.formDirectory, m_result.privateDirectory,
                                   m_result.systemDataDirectory, m_result.peopleDataDirectory,
                                   m_result.documentsDirectory, m_result.desktopDirectory})
            makeDir(dir);

        writeTextFile(m_result.machineHive,
                      hiveText(QStringLiteral("HKEY_LOCAL_MACHINE"),
                               {{QStringLiteral("Common AppData"), m_result.commonAppData}}));
        writeTextFile(m_result.userHive,
                      hiveText(QStringLiteral("HKEY_CURRENT_USER"),
                               {{QStringLiteral("AppData"), m_result.appData},
                                {QStringLiteral("Desktop"), m_result.desktopDirectory},
                                {QStringLiteral("Personal"), m_result.documentsDirectory}}));
        writeTextFile(m_result.systemIni,
                      QStringLiteral("[SYSTEMINFO]\r\n"
                                     "FormDirectory=%1\r\n"
                                     "DataDirectory=%2\r\n"
                                     "Version=4.22\r\n"
                                     "\r\n"
                                     "[NETWORK]\r\n"
                                     "LockFile=dbisam.lck\r\n")
                          .arg(m_result.formDirectoryValue, m_result.dataDirectoryValue));
        writeTextFile(m_result.appPathIni,
                      QStringLiteral("[ActivePeopleDataSet]\r\nZEL_DATA=ZELDATA\r\n"));
    }

    void writeUsers(const QString &password)
    {
        struct Row {
            const char *name;
            const char *fullName;
            std::optional<int> permission307;
        };
        const Row rows[] = {
            {"admin", "System Administrator", 1},
            {"office", "Church Office", 1},
            {"visitor", "Visiting Volunteer", std::nullopt},
            {"treasurer", "Former Treasurer", 0},
            {"pastor", "Pastor's Study", 2},
        };
        TableWriter users(m_alias, data::catalogue::awusrmst(), password);
        data::Field userId = users.field(QStringLiteral("UserID"));
        data::Field userName = users.field(QStringLiteral("UserName"));
        data::Field userPassword = users.field(QStringLiteral("Password"));
        data::Field fullName = users.field(QStringLiteral("FullName"));
        data::Field email = users.field(QStringLiteral("Email"));
        data::Field active = users.field(QStringLiteral("Active"));
        int id = 0;
        for (const Row &row : rows) {
            DemoSuite::User user;
            user.name = QString::fromUtf8(row.name);
            user.password = user.name;   // stored lower case: the login lowers what is typed
            user.userId = ++id;
            user.permission307 = row.permission307;
            m_result.users.append(user);

            users.append();
            userId.setAsInteger(user.userId);
            userName.setAsString(user.name);
            userPassword.setAsString(user.password);
            fullName.setAsString(QString::fromUtf8(row.fullName));
            email.setAsString(user.name + QStringLiteral("@example.org"));
            active.setAsBoolean(true);
            users.post();
        }
        users.finish();

        TableWriter permissions(m_alias, data::catalogue::awusrpfl(), password);
        data::Field permUser = permissions.field(QStringLiteral("UserID"));
        data::Field permNumber = permissions.field(QStringLiteral("Permission"));
        data::Field permValue = permissions.field(QStringLiteral("Value"));
        for (const DemoSuite::User &user : std::as_const(m_result.users)) {
            QList<std::pair<int, int>> granted{{100, 1}, {305, 1}, {306, 1}};
            if (user.permission307)
                granted.append({307, *user.permission307});
            granted.append({308, user.name == QLatin1String("admin") ? 1 : 0});
            for (const auto &[number, value] : granted) {
                permissions.append();
                permUser.setAsInteger(user.userId);
                permNumber.setAsInteger(number);
                permValue.setAsInteger(value);
                permissions.post();
            }
        }
        permissions.finish();
        m_result.protectedTables << QString::fromLatin1(data::catalogue::kUsers)
                                 << QString::fromLatin1(data::catalogue::kPermissions);
    }

    void writeLevelsAndOrganizations()
    {
        TableWriter levels(m_alias, data::catalogue::aworlvl(), {});
        data::Field levelId = levels.field(QStringLiteral("LevelID"));
        data::Field levelParent = levels.field(QStringLiteral("ParentID"));
        data::Field levelName = levels.field(QStringLiteral("Description"));
        const std::tuple<int, int, const char *> levelRows[] = {
            {1, 0, "Church Body"}, {2, 1, "Synod"}, {3, 2, "Congregation"}};
        for (const auto &[id, parent, name] : levelRows) {
            levels.append();
            levelId.setAsInteger(id);
            levelParent.setAsInteger(parent);
            levelName.setAsString(QString::fromLatin1(name));
            levels.post();
        }
        levels.finish();
        m_result.bottomLevelId = 3;

        TableWriter orgs(m_alias, data::catalogue::aworname(), {});
        const auto f = [&orgs](const char *name) { return orgs.field(QString::fromLatin1(name)); };
        data::Field orgId = f("OrgID"), orgName = f("Name"), orgLevel = f("LevelID"),
                    orgParent = f("ParentID"), pin = f("Pin"), envNbr = f("EnvNbr"),
                    field1 = f("Field1"), field2 = f("Field2"), field3 = f("Field3"),
                    field4 = f("Field4"), field5 = f("Field5"), family = f("Family_Number"),
                    city = f("City"), phone = f("Phone");

        const auto addOrg = [&](const DemoSuite::Organization &org, const QString &place,
                                const QString &env, const QStringList &fields) {
            orgs.append();
            orgId.setAsInteger(org.orgId);
            orgName.setAsString(org.name);
            orgLevel.setAsInteger(org.levelId);
            orgParent.setAsInteger(org.parentId);
            pin.setAsString(org.pin);
            envNbr.setAsString(env);
            data::Field *targets[] = {&field1, &field2, &field3, &field4, &field5};
            for (int i = 0; i < 5; ++i) {
                if (!fields.value(i).isEmpty())
                    targets[i]->setAsString(fields.value(i));
            }
            family.setAsString(org.familyNumber);
            city.setAsString(place);
            phone.setAsString(QStringLiteral("(555) %1-%2")
                                  .arg(m_random.between(200, 999))
                                  .arg(m_random.between(1000, 9999)));
            orgs.post();
        };

        const QStringList &places = demodata::places();
        DemoSuite::Organization body{1, QStringLiteral("United Church Council"), 1, 0,
                                     QStringLiteral("900001"), QStringLiteral("10001")};
        addOrg(body, places.at(0), QStringLiteral("0001"),
               {QStringLiteral("V000001"), QStringLiteral("UCC"), {}, QStringLiteral("T-0001"), {}});
        m_result.synods.append(body);

        const int synodCount = std::min<int>(m_spec.synods, int(demodata::synodNames().size()));
        const QStringList &churches = demodata::churchNames();
        int congregationIndex = 0;
        for (int s = 0; s < synodCount; ++s) {
            DemoSuite::Organization synod;
            synod.orgId = 100 + s;
            synod.name = demodata::synodNames().at(s);
            synod.levelId = 2;
            synod.parentId = body.orgId;
            synod.familyNumber = QString::number(900000 + synod.orgId);
            synod.pin = QString::number(10100 + s);
            addOrg(synod, places.at((s * 7) % places.size()), QStringLiteral("%1").arg(100 + s, 4, 10, QLatin1Char('0')),
                   {QStringLiteral("V%1").arg(100 + s, 6, 10, QLatin1Char('0')),
                    QStringLiteral("S%1").arg(s + 1, 2, 10, QLatin1Char('0')),
                    QStringLiteral("District %1").arg(s + 1),
                    QStringLiteral("T-%1").arg(100 + s), {}});
            m_result.synods.append(synod);

            for (int c = 0; c < m_spec.congregationsPerSynod; ++c, ++congregationIndex) {
                // Every name-and-place pair differs: the place index steps by a number
                // prime to the number of places for each round through the names.
                const int k = congregationIndex;
                const int nameIndex = k % int(churches.size());
                const int placeIndex = (7 * nameIndex + 13 * (k / int(churches.size()))) % int(places.size());
                DemoSuite::Organization cong;
                cong.orgId = 1000 + k;
                cong.name = churches.at(nameIndex) + QStringLiteral(", ") + places.at(placeIndex);
                cong.levelId = 3;
                cong.parentId = synod.orgId;
                cong.familyNumber = QString::number(900000 + cong.orgId);
                cong.pin = QString::number(20000 + 37 * k);
                QStringList fields{QStringLiteral("V%1").arg(1000 + k, 6, 10, QLatin1Char('0')),
                                   QStringLiteral("S%1-%2").arg(s + 1, 2, 10, QLatin1Char('0')).arg(c + 1, 3, 10, QLatin1Char('0')),
                                   QStringLiteral("District %1").arg(s + 1),
                                   QStringLiteral("T-%1").arg(5000 + k),
                                   k % 3 == 0 ? QString() : QString::number(7000 + k)};
                if (k == 1)   // longer than the extract's 30-character congregation id
                    fields[2] = QStringLiteral("Northern Lakes and Rivers District No.1");
                addOrg(cong, places.at(placeIndex), QStringLiteral("%1").arg(1000 + k, 4, 10, QLatin1Char('0')), fields);
                m_result.congregations.append(cong);
            }
        }
        orgs.finish();
    }

    void writeFieldDescriptions()
    {
        TableWriter fields(m_alias, data::catalogue::awgeflds(), {});
        data::Field id = fields.field(QStringLiteral("FieldID"));
        data::Field description = fields.field(QStringLiteral("Description"));
        data::Field tableName = fields.field(QStringLiteral("TableName"));
        const std::pair<int, const char *> rows[] = {
            {201, "Home Phone"},   {202, "Work Phone"},  {203, "Cell Phone"},
            {210, "Member Since"}, {215, "Region"},      {216, "Deanery"},
            {217, "VUVE Number"},  {218, "Parish Code"}, {219, "District"},
            {220, "Treasurer ID"}, {221, "Old PIN"},     {222, "Mailing Code"},
        };
        for (const auto &[number, text] : rows) {
            fields.append();
            id.setAsInteger(number);
            description.setAsString(QString::fromLatin1(text));
            tableName.setAsString(number >= 215 ? QStringLiteral("aworname") : QStringLiteral("awpeindv"));
            fields.post();
        }
        fields.finish();
    }

    void writeFunds()
    {
        TableWriter funds(m_alias, data::catalogue::awcbtabl(), {});
        data::Field number = funds.field(QStringLiteral("Fund_Number"));
        data::Field code = funds.field(QStringLiteral("Fund_Code"));
        data::Field description = funds.field(QStringLiteral("Fund_Description"));
        data::Field account = funds.field(QStringLiteral("GL_Account"));
        data::Field deductible = funds.field(QStringLiteral("Tax_Deductible"));
        for (const demodata::FundRow &row : demodata::funds()) {
            DemoSuite::Fund fund{row.number, QString::fromUtf8(row.code), QString::fromUtf8(row.description)};
            funds.append();
            number.setAsInteger(fund.number);
            if (!fund.code.isEmpty())
                code.setAsString(fund.code);
            description.setAsString(fund.description);
            account.setAsString(QStringLiteral("4%1-00").arg(fund.number, 3, 10, QLatin1Char('0')));
            deductible.setAsBoolean(row.taxDeductible);
            funds.post();
            m_result.funds.append(fund);
        }
        funds.finish();
        m_result.missingFundNumbers = demodata::missingFundNumbers();
    }

    void writePeople()
    {
        TableWriter people(m_alias, data::catalogue::awpeindv(), {});
        data::Field family = people.field(QStringLiteral("Family_Number"));
        data::Field individual = people.field(QStringLiteral("Individual_Number"));
        data::Field envelope = people.field(QStringLiteral("Envelope_Number"));
        data::Field first = people.field(QStringLiteral("First_Name"));
        data::Field last = people.field(QStringLiteral("Last_Name"));
        data::Field birth = people.field(QStringLiteral("Birth_Date"));
        data::Field email = people.field(QStringLiteral("Email"));

        int familyIndex = 0;
        int written = 0;
        int nextReport = 10000;
        while (written < m_spec.people) {
            const QString familyNumber = QString::number(10001 + familyIndex);
            // most families use one box of envelopes; a few have none
            const QString envelopeNumber = (familyIndex == 0 || !m_random.permille(80))
                                               ? QString::number(101 + familyIndex)
                                               : QString();
            const QString lastName = m_random.pick(demodata::lastNames());
            const int size = std::min(m_spec.people - written, m_random.between(1, 4));
            for (int i = 1; i <= size; ++i) {
                const QString firstName = m_random.pick(demodata::firstNames());
                const int age = i <= 2 ? m_random.between(25, 85) : m_random.between(1, 20);
                people.append();
                family.setAsString(familyNumber);
                individual.setAsInteger(i);
                if (!envelopeNumber.isEmpty())
                    envelope.setAsString(envelopeNumber);
                first.setAsString(firstName);
                last.setAsString(lastName);
                birth.setAsDate(m_today.addYears(-age).addDays(-m_random.below(365)));
                if (i <= 2)
                    email.setAsString(QStringLiteral("%1.%2@example.org").arg(firstName.toLower(), familyNumber));
                people.post();
                m_contributors.push_back({familyNumber, i});
                if (m_result.people.size() < 50)
                    m_result.people.append({familyNumber, i, envelopeNumber});
                ++written;
            }
            ++familyIndex;
            if (written >= nextReport) {
                progress(QStringLiteral("people: %1 of %2").arg(written).arg(m_spec.people));
                nextReport += 10000;
            }
        }
        people.finish();
        m_result.peopleCount = written;
        m_result.familyCount = familyIndex;
    }

    // Gift lines for the tests' known cases first, then random ones over the
    // three years up to today, all sorted by date and numbered in that order.
    std::vector<GiftLine> makeGiftLines()
    {
        const QDate first = m_today.addYears(-3).addDays(1);
        const int days = int(first.daysTo(m_today)) + 1;
        m_result.previousMonthFirst = QDate(m_today.year(), m_today.month(), 1).addMonths(-1);
        m_result.previousMonthLast = QDate(m_today.year(), m_today.month(), 1).addDays(-1);
        const int prevFirst = int(first.daysTo(m_result.previousMonthFirst));
        const int prevLast = int(first.daysTo(m_result.previousMonthLast));

        // organisations give through their family number with individual number 1
        const int peopleCount = int(m_contributors.size());
        for (const auto *list : {&m_result.synods, &m_result.congregations}) {
            for (const DemoSuite::Organization &org : *list)
                m_contributors.push_back({org.familyNumber, 1});
        }
        const int orgCount = int(m_contributors.size()) - peopleCount;
        const int firstCongregation = peopleCount + int(m_result.synods.size());

        std::vector<int> sundays;
        for (int d = 0; d < days; ++d) {
            if (first.addDays(d).dayOfWeek() == Qt::Sunday)
                sundays.push_back(d);
        }
        const QList<demodata::FundRow> &funds = demodata::funds();
        const QList<int> &missing = demodata::missingFundNumbers();
        static const int commonCents[] = {500,  1000, 1500, 2000,  2500,  2550,  3000,  4000, 5000,
                                          7500, 10000, 12500, 15000, 20000, 25000, 50000, 100000};

        std::vector<GiftLine> lines;
        lines.reserve(size_t(m_spec.gifts));

        // Known lines: the first person gives on both ends of the previous month,
        // one posted line and one for a deleted fund; the first congregation and
        // the first synod give in that month too.
        const GiftLine known[] = {
            {0, prevFirst, 1, 2550, 0, true, 1001},
            {0, prevLast, 3, 10000, 1, false, 0},
            {0, prevFirst + 9, 6, 4000, 2, false, 0},
            {0, prevFirst + 10, missing.at(0), 7500, 0, false, 0},
            {firstCongregation, prevFirst + 2, 2, 125000, 0, true, 2001},
            {peopleCount + 1, prevFirst + 3, 24, 30000, 1, false, 0},
        };
        for (const GiftLine &line : known) {
            if (int(lines.size()) >= m_spec.gifts)
                break;
            if (line.contributor < int(m_contributors.size()))
                lines.push_back(line);
        }

        while (int(lines.size()) < m_spec.gifts) {
            GiftLine line;
            line.contributor = (orgCount > 0 && m_random.permille(30))
                                   ? peopleCount + m_random.below(orgCount)
                                   : m_random.below(peopleCount);
            line.day = m_random.permille(700) && !sundays.empty() ? sundays[size_t(m_random.below(int(sundays.size())))]
                                                                  : m_random.below(days);
            if (m_random.permille(8))
                line.fund = m_random.pick(missing);
            else if (m_random.permille(450))
                line.fund = funds.at(0).number;
            else
                line.fund = m_random.pick(funds).number;
            line.cents = m_random.permille(850) ? commonCents[m_random.below(int(std::size(commonCents)))]
                                                : m_random.between(100, 50000);
            if (m_random.permille(3))
                line.cents = -line.cents;   // a correction
            const int flag = m_random.below(1000);
            line.flag = flag < 12 ? 2 : (flag < 100 ? 1 : 0);
            line.hasCheck = m_random.permille(600);
            line.checkNumber = m_random.between(1000, 9999);
            lines.push_back(line);
        }

        // by day, keeping generation order within a day
        std::stable_sort(lines.begin(), lines.end(),
                         [](const GiftLine &a, const GiftLine &b) { return a.day < b.day; });
        m_firstDay = first;
        return lines;
    }

    void writeGifts(const QString &password)
    {
        const std::vector<GiftLine> lines = makeGiftLines();
        TableWriter gifts(m_alias, data::catalogue::awcbdet1(), password);
        data::Field id = gifts.field(QStringLiteral("Detail_ID"));
        data::Field family = gifts.field(QStringLiteral("Family_Number"));
        data::Field individual = gifts.field(QStringLiteral("Individual_Number"));
        data::Field date = gifts.field(QStringLiteral("Posted_Date"));
        data::Field batch = gifts.field(QStringLiteral("Batch_Number"));
        data::Field fund = gifts.field(QStringLiteral("Fund_Number"));
        data::Field amount = gifts.field(QStringLiteral("Fund_Amount"));
        data::Field flag = gifts.field(QStringLiteral("Posted_Flag"));
        data::Field check = gifts.field(QStringLiteral("Check_Number"));
        const QString flags[] = {QStringLiteral("0"), QString(), QStringLiteral("1")};

        const QList<int> &missing = demodata::missingFundNumbers();
        int lastDay = -1;
        QDate dayValue;
        const int total = int(lines.size());
        for (int i = 0; i < total; ++i) {
            const GiftLine &line = lines[size_t(i)];
            if (line.day != lastDay) {
                lastDay = line.day;
                dayValue = m_firstDay.addDays(line.day);
            }
            const Contributor &who = m_contributors[size_t(line.contributor)];
            gifts.append();
            id.setAsInteger(i + 1);
            family.setAsString(who.familyNumber);
            individual.setAsInteger(who.individualNumber);
            date.setAsDate(dayValue);
            batch.setAsInteger(line.day / 7 + 1);
            fund.setAsInteger(line.fund);
            amount.setAsCurrency(Currency::fromRaw(line.cents * 100));
            if (line.flag != 1)
                flag.setAsString(flags[line.flag]);
            if (line.hasCheck)
                check.setAsString(QString::number(line.checkNumber));
            gifts.post();

            if (line.flag == 2)
                ++m_result.postedGiftCount;
            if (missing.contains(line.fund))
                ++m_result.missingFundGiftCount;
            if ((i + 1) % 100000 == 0)
                progress(QStringLiteral("gift lines: %1 of %2").arg(i + 1).arg(total));
        }
        gifts.finish();
        m_result.giftCount = total;
        if (total > 0) {
            m_result.firstGiftDate = m_firstDay.addDays(lines.front().day);
            m_result.lastGiftDate = m_firstDay.addDays(lines.back().day);
        }
        m_result.protectedTables << QString::fromLatin1(data::catalogue::kGifts);
    }

    void writeReports()
    {
        TableWriter reports(m_alias, data::catalogue::awgerpt(), {});
        data::Field id = reports.field(QStringLiteral("ID"));
        data::Field level = reports.field(QStringLiteral("Level"));
        data::Field name = reports.field(QStringLiteral("ReportName"));
        data::Field info = reports.field(QStringLiteral("ReportInformation"));
        struct Row {
            int id;
            int level;
            const char *name;
            QStringList lines;
        };
        const Row rows[] = {
            {10010, 0, "Giving Statement", {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1,2,3"), QString()}},
            {10020, 0, "Pledge Summary", {QStringLiteral("0"), QStringLiteral("Fund_Number")}},
            {20001, 1, "Year-End Receipts", {QStringLiteral("1"), QStringLiteral("\"Smith, John\",Jones"), QString()}},
            {20002, 1, "Batch Report", {}},
        };
        for (const Row &row : rows) {
            reports.append();
            id.setAsInteger(row.id);
            level.setAsInteger(row.level);
            name.setAsString(QString::fromLatin1(row.name));
            if (!row.lines.isEmpty())
                info.setMemoLines(row.lines);
            reports.post();
        }
        reports.finish();
    }

    DemoSuite::Options m_options;
    SizeSpec m_spec;
    Random m_random;
    QDate m_today;
    QDate m_firstDay;
    QString m_alias;
    std::vector<Contributor> m_contributors;
    DemoSuite::Installation m_result;
};

} // namespace

void DemoSuite::Installation::applyEnvironment() const
{
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdgConfigDirs));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdgConfigHome));
    qputenv("APPDATA", QFile::encodeName(appData));
}

DemoSuite::Installation DemoSuite::write(const QString &dir, const Options &options)
{
    if (dir.isEmpty())
        throw platform::Error(QStringLiteral("No folder given for the demo installation"));
    const QString root = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    const QFileInfo info(root);
    if (info.exists() && !info.isDir())
        throw platform::Error(QStringLiteral("%1 is a file, not a folder").arg(root));
    if (info.exists() && !QDir(root).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        throw platform::Error(
            QStringLiteral("%1 is not empty; the demo installation goes into a new or empty folder").arg(root));
    if (options.gifts < -1)
        throw platform::Error(QStringLiteral("The number of gift lines cannot be negative"));
    Writer writer(root, options);
    return writer.run();
}

std::optional<DemoSuite::Size> DemoSuite::sizeFromName(const QString &name)
{
    if (name == QLatin1String("tiny"))
        return Size::Tiny;
    if (name == QLatin1String("small"))
        return Size::Small;
    if (name == QLatin1String("large"))
        return Size::Large;
    return std::nullopt;
}

int DemoSuite::defaultGiftCount(Size size)
{
    return specFor(size).gifts;
}
