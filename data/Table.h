#pragma once

// A table component: one table of a database, opened shared, walked through
// its current index. Failures raise data::EngineError.

#include "data/Engine.h"
#include "data/Types.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace data {

class TableCursor; // implementation

class Field {
public:
    QString fieldName() const;
    FieldType dataType() const;
    int size() const;
    bool isNull() const;

    // Reads: a null value reads as empty text, 0, false or an invalid date-time.
    QString asString() const;     // the text form: dates in the short date format,
                                  // currency in general number form, regional separators
    qint32 asInteger() const;
    qint64 asLargeInt() const;
    double asFloat() const;
    Currency asCurrency() const;
    QDateTime asDateTime() const;
    bool asBoolean() const;
    QStringList memoLines() const;  // memo split at CR LF / LF
    QString memoText() const;

    // Writes, only while the table is in append/insert/edit state.
    // Text longer than the field's size is cut when stored.
    void setAsString(const QString &value);  // converted to the field's type; ConversionError when it cannot be
    void setAsInteger(qint32 value);
    void setAsLargeInt(qint64 value);
    void setAsFloat(double value);
    void setAsCurrency(Currency value);
    void setAsDateTime(const QDateTime &value);
    void setAsBoolean(bool value);
    void setMemoLines(const QStringList &lines);  // joined with CR LF
    void clear();                                  // sets null

private:
    friend class Table;
    Field(Table *table, int index) : m_table(table), m_index(index) {}
    Table *m_table;
    int m_index;
};

enum class TableState { Inactive, Browse, Insert, Edit };

class Table {
public:
    Table();
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    // Which table: the alias (database name, looked up in the default session)
    // and the table name. Both may be set only while closed.
    void setDatabaseName(const QString &alias);
    QString databaseName() const;
    void setTableName(const QString &name);
    QString tableName() const;

    // The current index by name; empty selects the primary index.
    void setIndexName(const QString &name);
    QString indexName() const;

    void open();   // opens the database when it is not connected
    void close();
    bool active() const;
    TableState state() const;
    void refresh();  // the next pass sees changes committed by other processes

    // Navigation over visible records in the current index order.
    void first();
    void next();
    void last();
    bool eof() const;
    bool bof() const;
    int recordCount() const;  // visible records, respecting filter and range

    // Key search on the leading fields of the current index, one value per field.
    bool findKey(const QVariantList &values);
    // Key range on the leading fields of the current index, both ends included.
    void setRange(const QVariantList &from, const QVariantList &to);
    void cancelRange();

    // Filter expression (e.g. "LevelID<>3") and the filtered switch.
    void setFilter(const QString &text);
    QString filter() const;
    void setFiltered(bool on);
    bool filtered() const;

    bool locate(const QString &fieldName, const QVariant &value, bool caseInsensitive = true);

    int fieldCount() const;
    Field field(int index);
    Field fieldByName(const QString &name);   // without regard to case; EngineError when absent
    Field *findField(const QString &name);    // nullptr when absent (pointer valid while open)

    void append();
    void insert();
    void edit();
    void post();
    void cancel();

    // Table-level operations (the table must be closed).
    bool exists() const;
    void createTable(const TableDef &def);
    void deleteTable();
    void emptyTable();

    // Whole batches inside one transaction (the extract is written this way).
    void startTransaction();
    void commit();
    void rollback();

    TableDef definition() const;  // fields and indexes of the open table

private:
    friend class Field;
    std::unique_ptr<TableCursor> d;
};

} // namespace data
