#pragma once

// The connection data module: finds the suite's form and data directories,
// opens the system and data databases under their aliases and registers the
// table passwords with the session. Every table of the tool reaches the
// suite's data through the ZEL_DATA alias.

#include "data/Engine.h"

#include <QString>

class TdmConnect {
public:
    // Runs DataModuleCreate. A failure in it is shown by the application's
    // default error handler and creation completes all the same.
    TdmConnect();
    // Runs DataModuleDestroy (guarded the same way).
    ~TdmConnect();
    TdmConnect(const TdmConnect &) = delete;
    TdmConnect &operator=(const TdmConnect &) = delete;

    // Components, in creation order; all belong to the "Default" session.
    data::Database DBISAMDatabase;   // ZEL_DATA: every table of the tool
    data::Engine &DBISAMEngine;
    data::Database dbFinancials;     // ZEL_FDAT: never opened here
    data::Database dbSystem;         // ZEL_SYS: opened at start-up, used by no table

    void DataModuleCreate();
    void DataModuleDestroy();
};

// The program's one connection module, created (with its create handler
// run) on the first call; later calls return the same instance.
TdmConnect *GetConnection();

// Frees the connection module, if one exists, and empties the reference.
// Runs last at shutdown: the destroy handler closes every table and database.
void FreeConnection();

// The per-user folder "<APPDATA>/Zelvane/", created with its parents when
// missing (a failure to create is ignored); empty when APPDATA is not set.
QString GetUserAppDataFolder();

// The value of keyName in section SYSTEMINFO of the suite's system INI file
// ("<Common AppData>/Zelvane/ZEL_SYS.INI"), with a trailing separator.
// Read afresh on every call. Throws platform::Error("Unable to find ZEL
// directories.") when the value is missing or empty; a registry value that is
// not text raises platform::RegistryError.
QString GetSystemInfoDirectory(const QString &keyName);

QString GetFormDirectory();        // FormDirectory + "ZELFORM"
QString GetSystemDataDirectory();  // DataDirectory + "ZELSYS"
QString GetPeopleDataDirectory();  // DataDirectory + active people data set (default "ZELDATA")
