#pragma once

// Writes a complete suite installation with sample data into a folder: the
// registry hives, the all-users folder with Zelvane/ZEL_SYS.INI, the per-user
// apppath.ini, the form, system and data directories and every suite table
// the tool touches. The same code makes the demo, the test fixtures (tiny)
// and the benchmark set (large). The data depend only on the seed, the size
// and the day taken as today.

#include "data/Types.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class DemoSuite {
public:
    enum class Size { Tiny, Small, Large };

    struct Options {
        Size size = Size::Tiny;
        int gifts = -1;                 // gift lines; -1 takes the size's count
        quint64 seed = 1;
        QDate today;                    // the gifts run up to this day; invalid = the current date
        // Called now and then on long runs with a line of progress text.
        std::function<void(const QString &)> progress;
    };

    struct User {
        QString name;                   // as stored (lower case)
        QString password;               // as stored (lower case)
        int userId = 0;
        std::optional<int> permission307;  // Value of the 307 record; nullopt when none
        bool mayLogIn() const { return permission307 == 1; }
    };

    struct Organization {
        int orgId = 0;
        QString name;
        int levelId = 0;
        int parentId = 0;
        QString familyNumber;
        QString pin;
    };

    struct Fund {
        int number = 0;
        QString code;
        QString description;
    };

    struct Person {
        QString familyNumber;
        int individualNumber = 0;
        QString envelopeNumber;
    };

    // What write() made: where things are, and the ids tests rely on.
    struct Installation {
        QString root;
        // Environment that points the tool at this installation.
        QString xdgConfigDirs;          // root/etc/xdg
        QString xdgConfigHome;          // root/home/.config
        QString appData;                // root/home/AppData/Roaming
        QString machineHive;            // xdgConfigDirs/registry/HKEY_LOCAL_MACHINE.reg
        QString userHive;               // xdgConfigHome/registry/HKEY_CURRENT_USER.reg
        QString commonAppData;          // the "Common AppData" value: root/ProgramData
        QString systemIni;              // commonAppData/Zelvane/ZEL_SYS.INI
        QString appPathIni;             // appData/Zelvane/apppath.ini
        QString formDirectoryValue;     // FormDirectory in ZEL_SYS.INI (with a trailing /)
        QString dataDirectoryValue;     // DataDirectory in ZEL_SYS.INI (with a trailing /)
        QString formDirectory;          // .../ZELFORM
        QString privateDirectory;       // .../TEMP
        QString systemDataDirectory;    // .../ZELSYS
        QString peopleDataDirectory;    // .../ZELDATA: every suite table
        QString documentsDirectory;     // shell folder "Personal"
        QString desktopDirectory;       // shell folder "Desktop"

        QStringList tablePasswords;     // what the protected tables need
        QStringList protectedTables;    // awusrmst, awusrpfl (first password), AWCBDET1 (second)

        QList<User> users;
        int bottomLevelId = 0;                      // the congregations' level
        QList<Organization> synods;                 // every organisation above the bottom level
        QList<Organization> congregations;          // the bottom level
        QList<Fund> funds;
        QList<int> missingFundNumbers;              // used by gifts, absent from AWCBTABL
        QList<Person> people;                       // first few individuals only (tests)
        int peopleCount = 0;
        int familyCount = 0;
        int giftCount = 0;
        int postedGiftCount = 0;                    // Posted_Flag "1"
        int missingFundGiftCount = 0;
        QDate firstGiftDate;
        QDate lastGiftDate;
        QDate previousMonthFirst;                   // the main window's default range
        QDate previousMonthLast;

        // Sets XDG_CONFIG_DIRS, XDG_CONFIG_HOME and APPDATA for this process.
        void applyEnvironment() const;
    };

    // Writes the installation into dir, which must be missing or empty.
    // Raises platform::Error (or data::EngineError) on failure.
    static Installation write(const QString &dir, const Options &options);

    static std::optional<Size> sizeFromName(const QString &name);  // "tiny", "small", "large"
    static int defaultGiftCount(Size size);
};
