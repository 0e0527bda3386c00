#pragma once

// An extract table in a temporary data directory, reached through the
// ZEL_DATA alias as the main window reaches it, open in "Sort_Index" order.

#include "data/Catalogue.h"
#include "data/Engine.h"
#include "data/Table.h"
#include "writers/ExtractObject.h"

#include <QDate>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

struct GiftLine {
    QString congregation;
    QString project;
    QDate date;                          // invalid: null
    std::optional<qint64> amountRaw;     // four decimals; nullopt: null
};

class ExtractFixture {
public:
    ExtractFixture()
        : m_database(data::Session::defaultSession(), QStringLiteral("ZEL_DATA"), m_dir.path())
    {
        QVERIFY(m_dir.isValid());
        m_table.setDatabaseName(QStringLiteral("ZEL_DATA"));
        m_table.setTableName(QString::fromLatin1(data::catalogue::kExtractTable));
        m_table.createTable(data::catalogue::extractTable());
        m_table.setIndexName(QString::fromLatin1(data::catalogue::kSortIndex));
        m_table.open();
    }

    ~ExtractFixture() { m_table.close(); }

    void add(const QList<GiftLine> &lines)
    {
        m_table.startTransaction();
        for (const GiftLine &line : lines) {
            m_table.append();
            m_table.fieldByName(QStringLiteral("Congregation ID")).setAsString(line.congregation);
            m_table.fieldByName(QStringLiteral("Project Description")).setAsString(line.project);
            if (line.date.isValid())
                m_table.fieldByName(QStringLiteral("Gift Date"))
                    .setAsDateTime(QDateTime(line.date, QTime(0, 0)));
            if (line.amountRaw)
                m_table.fieldByName(QStringLiteral("Gift Amount"))
                    .setAsCurrency(data::Currency::fromRaw(*line.amountRaw));
            m_table.post();
        }
        m_table.commit();
    }

    data::Table &table() { return m_table; }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString dir() const { return m_dir.path(); }

    // The column list the export handler builds: every field after Record_ID,
    // with empty captions.
    static TExtractList columns()
    {
        TExtractList list;
        for (const char *name : {"Congregation ID", "Project Description", "Gift Date", "Gift Amount"})
            list.append(TExtractObject{QString(), QString::fromLatin1(name)});
        return list;
    }

private:
    QTemporaryDir m_dir;
    data::Database m_database;
    data::Table m_table;
};
