#include "InstallationFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

InstallationFixture::InstallationFixture()
{
    for (const char *name : {"XDG_CONFIG_DIRS", "XDG_CONFIG_HOME", "APPDATA"})
        m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    qputenv("XDG_CONFIG_DIRS", path(QStringLiteral("xdg")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config-home")).toLocal8Bit());
    qputenv("APPDATA", appData().toLocal8Bit());
}

InstallationFixture::~InstallationFixture()
{
    for (const SavedVariable &saved : m_saved) {
        if (saved.set)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
}

QString InstallationFixture::path(const QString &relative) const
{
    return m_dir.path() + QLatin1Char('/') + relative;
}

void InstallationFixture::makeComplete()
{
    setCommonAppData(commonAppData());
    setSystemInfo(formDirectory(), dataDirectory());
    makeDirectory(formDirectory());
    makeDirectory(dataDirectory() + QStringLiteral("/ZELSYS"));
    makeDirectory(dataDirectory() + QStringLiteral("/ZELDATA"));
}

void InstallationFixture::writeMachineHive(const QByteArray &text)
{
    writeFile(machineHivePath(), text);
}

void InstallationFixture::setCommonAppData(const QString &folder)
{
    writeMachineHive("Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
                     "\"Common AppData\"=\"" + folder.toUtf8() + "\"\r\n");
}

void InstallationFixture::writeSystemIni(const QByteArray &text)
{
    writeFile(systemIniPath(), text);
}

void InstallationFixture::setSystemInfo(const QString &formDirectory, const QString &dataDirectory)
{
    writeSystemIni("[SYSTEMINFO]\r\nFormDirectory=" + formDirectory.toUtf8()
                   + "\r\nDataDirectory=" + dataDirectory.toUtf8() + "\r\n");
}

void InstallationFixture::writeUserIni(const QByteArray &text)
{
    writeFile(appData() + QStringLiteral("/Zelvane/apppath.ini"), text);
}

void InstallationFixture::makeDirectory(const QString &path)
{
    QVERIFY2(QDir().mkpath(path), qPrintable(path));
}

void InstallationFixture::setAppData(const std::optional<QByteArray> &value)
{
    if (value)
        qputenv("APPDATA", *value);
    else
        qunsetenv("APPDATA");
}

void InstallationFixture::writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(text), text.size());
}
