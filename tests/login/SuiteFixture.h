#pragma once

// A tiny suite installation in a temporary folder, with the connection module
// pointed at it, and small helpers to read and change its tables.

#include "DemoSuite.h"
#include "connect/CustomConnect.h"
#include "data/Table.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

class SuiteFixture {
public:
    // Writes the installation (the gifts run up to `today`) and connects.
    bool setUp(const QDate &today = QDate(2024, 3, 15))
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return false;
        DemoSuite::Options options;
        options.size = DemoSuite::Size::Tiny;
        options.today = today;
        install = DemoSuite::write(m_dir->filePath(QStringLiteral("suite")), options);
        install.applyEnvironment();
        return GetConnection() != nullptr;
    }

    QString dataFile(const QString &table) const
    {
        return QDir(install.peopleDataDirectory).filePath(table + QStringLiteral(".zeldat"));
    }

    // Runs f on the named table, opened through ZEL_DATA, and closes it again.
    static void withTable(const QString &name, const std::function<void(data::Table &)> &f,
                          const QString &index = {})
    {
        data::Table t;
        t.setDatabaseName(QStringLiteral("ZEL_DATA"));
        t.setTableName(name);
        if (!index.isEmpty())
            t.setIndexName(index);
        t.open();
        f(t);
        t.close();
    }

    DemoSuite::Installation install;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};
