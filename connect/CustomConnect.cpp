#include "connect/CustomConnect.h"

#include "connect/TablePasswords.h"
#include "connect/zeltEncrypt.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace {

// The table passwords, scrambled; decoded only when they are registered.
constexpr char FirstPassword[] = "4DDB186D8F2D142686290A8103";
constexpr char SecondPassword[] = "A4351080F14549FA0BFDC2E1FFF58E";

const QString NoDirectories = QStringLiteral("Unable to find ZEL directories.");

TdmConnect *dmConnect = nullptr;

QString decodePassword(const char *scrambled)
{
    return QString::fromLatin1(DecodeString(QByteArray(scrambled), true));
}

void registerPassword(data::Session &session, const QString &password)
{
    session.removePassword(password);
    session.addPassword(password);
}

void closeDatabase(data::Database &database)
{
    database.closeDataSets();
    database.close();
}

} // namespace

QStringList TablePasswords()
{
    return {decodePassword(FirstPassword), decodePassword(SecondPassword)};
}

TdmConnect::TdmConnect()
    : DBISAMDatabase(data::Session::defaultSession(), QStringLiteral("ZEL_DATA"),
                     QStringLiteral("/dedidu/zeldata")),
      DBISAMEngine(data::Engine::instance()),
      dbFinancials(data::Session::defaultSession(), QStringLiteral("ZEL_FDAT"),
                   QStringLiteral("/dedidu/zelfdat/data6")),
      dbSystem(data::Session::defaultSession(), QStringLiteral("ZEL_SYS"),
               QStringLiteral("/dedidu/zelsys"))
{
    platform::guarded([this] { DataModuleCreate(); });
}

TdmConnect::~TdmConnect()
{
    platform::guarded([this] { DataModuleDestroy(); });
}

void TdmConnect::DataModuleCreate()
{
    const QString formDirectory = GetFormDirectory();

    // The private directory sits beside the forms: only the first "ZELFORM",
    // as spelt, is taken out.
    QString privateDirectory = formDirectory;
    const qsizetype at = privateDirectory.indexOf(QLatin1String("ZELFORM"), 0, Qt::CaseSensitive);
    if (at >= 0)
        privateDirectory.remove(at, 7);
    privateDirectory += QLatin1String("TEMP");
    if (!platform::directoryExists(privateDirectory))
        platform::forceDirectories(privateDirectory);
    DBISAMDatabase.session().setPrivateDir(privateDirectory);

    // The system database is opened before the data database is configured.
    dbSystem.close();
    dbSystem.setDatabaseName(QStringLiteral("ZEL_SYS"));
    dbSystem.setDirectory(GetSystemDataDirectory());
    dbSystem.open();

    DBISAMDatabase.close();
    DBISAMDatabase.setDatabaseName(QStringLiteral("ZEL_DATA"));
    DBISAMDatabase.setDirectory(GetPeopleDataDirectory());
    DBISAMDatabase.open();

    registerPassword(DBISAMDatabase.session(), decodePassword(FirstPassword));
    registerPassword(DBISAMDatabase.session(), decodePassword(SecondPassword));
}

void TdmConnect::DataModuleDestroy()
{
    closeDatabase(DBISAMDatabase);
    closeDatabase(dbSystem);
    if (dbFinancials.connected())
        closeDatabase(dbFinancials);
    DBISAMEngine.setActive(false);
}

TdmConnect *GetConnection()
{
    if (!dmConnect)
        dmConnect = new TdmConnect;
    return dmConnect;
}

void FreeConnection()
{
    TdmConnect *connection = dmConnect;
    dmConnect = nullptr;
    delete connection;
}

QString GetUserAppDataFolder()
{
    const std::optional<QString> appData = platform::environmentValue("APPDATA");
    if (!appData)
        return {};
    const QString folder = platform::includeTrailingDelimiter(
        platform::includeTrailingDelimiter(*appData) + QLatin1String("Zelvane"));
    if (!platform::directoryExists(folder))
        platform::forceDirectories(folder);   // a folder that cannot be made is not an error here
    return folder;
}

QString GetSystemInfoDirectory(const QString &keyName)
{
    const QString commonAppData =
        platform::Registry::readString(platform::RegistryRoot::LocalMachine,
                                       platform::Registry::shellFoldersKey(),
                                       QStringLiteral("Common AppData"))
            .value_or(QString());

    // Without the all-users folder there is no system INI file to read: a
    // bare "Zelvane/ZEL_SYS.INI" would be looked for at the file-system root.
    QString value;
    if (!commonAppData.isEmpty()) {
        const platform::IniFile ini(platform::includeTrailingDelimiter(commonAppData)
                                    + QLatin1String("Zelvane/ZEL_SYS.INI"));
        value = ini.readString(QStringLiteral("SYSTEMINFO"), keyName);
    }

    const QString result = platform::includeTrailingDelimiter(value);
    if (result == QString(platform::pathDelimiter))
        throw platform::Error(NoDirectories);
    return result;
}

QString GetFormDirectory()
{
    return GetSystemInfoDirectory(QStringLiteral("FormDirectory")) + QLatin1String("ZELFORM");
}

QString GetSystemDataDirectory()
{
    GetUserAppDataFolder();   // makes sure the per-user folder exists
    return GetSystemInfoDirectory(QStringLiteral("DataDirectory")) + QLatin1String("ZELSYS");
}

QString GetPeopleDataDirectory()
{
    // Without APPDATA the file name has no folder. Windows looks such a name
    // up in its own system folder, never in the working directory; here there
    // is no such folder, so the default data set is taken.
    const QString userFolder = GetUserAppDataFolder();
    const QString userIniName = userFolder + QLatin1String("apppath.ini");
    QString dataSet = QStringLiteral("ZELDATA");
    if (!userFolder.isEmpty()) {
        const platform::IniFile userIni(userIniName);
        dataSet = userIni.readString(QStringLiteral("ActivePeopleDataSet"),
                                     QStringLiteral("ZEL_DATA"), dataSet);
    }
    return GetSystemInfoDirectory(QStringLiteral("DataDirectory")) + dataSet;
}
