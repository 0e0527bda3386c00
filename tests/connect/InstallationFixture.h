#pragma once

// A suite installation in a temporary folder: the machine registry hive, the
// all-users folder with Zelvane/ZEL_SYS.INI, the form and data directories
// and the per-user APPDATA folder. The environment (XDG_CONFIG_DIRS,
// XDG_CONFIG_HOME, APPDATA) points at it while the fixture lives and is put
// back afterwards.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <optional>

class InstallationFixture {
public:
    InstallationFixture();
    ~InstallationFixture();
    InstallationFixture(const InstallationFixture &) = delete;
    InstallationFixture &operator=(const InstallationFixture &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const;   // root + "/" + relative

    QString commonAppData() const { return path(QStringLiteral("ProgramData")); }
    QString formDirectory() const { return path(QStringLiteral("Suite/Forms")); }
    QString dataDirectory() const { return path(QStringLiteral("Suite/Data")); }
    QString appData() const { return path(QStringLiteral("AppData")); }
    QString systemIniPath() const { return commonAppData() + QStringLiteral("/Zelvane/ZEL_SYS.INI"); }
    QString machineHivePath() const { return path(QStringLiteral("xdg/registry/HKEY_LOCAL_MACHINE.reg")); }

    // Everything a complete installation has: hive, system INI with both
    // keys, the ZELSYS and ZELDATA directories. No apppath.ini.
    void makeComplete();

    void writeMachineHive(const QByteArray &text);
    void setCommonAppData(const QString &folder);   // a hive with just that value
    void writeSystemIni(const QByteArray &text);
    void setSystemInfo(const QString &formDirectory, const QString &dataDirectory);
    void writeUserIni(const QByteArray &text);       // APPDATA/Zelvane/apppath.ini
    void makeDirectory(const QString &path);

    // APPDATA: nullopt unsets it.
    void setAppData(const std::optional<QByteArray> &value);

    static void writeFile(const QString &path, const QByteArray &text);

private:
    struct SavedVariable {
        const char *name;
        bool set;
        QByteArray value;
    };
    QTemporaryDir m_dir;
    QList<SavedVariable> m_saved;
};
