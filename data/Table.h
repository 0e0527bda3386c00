#pragma once

// A table component: one table of a database, opened shared, walked through
// its current index. Failures raise data::EngineError.
//
// A pass never keeps the table file locked between two records: rows are read
// in batches in index order and every statement is reset before first() or
// next() returns, so other programs can write to the table meanwhile; unless
// the caller asks for the read lock to be held (setHoldReadLock).

#include "data/Engine.h"
#include "data/Types.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <memory>
#include <string_view>

namespace data {

class TableCursor; // implementation
class Table;

// A field of the open table. A Field stays valid while its table is open
// and always reads the table's current record (or the record being edited).
class Field {
public:
    QString fieldName() const;
    FieldType dataType() const;
    int size() const;
    bool required() const;
    bool isNull() const;

    // Reads: a null value reads as empty text, 0, false or an invalid date-time.
    // A value that cannot be read as asked raises ConversionError.
    // The text form: text unchanged; dates in the short date format; date-times
    // in short date and short time (the date alone at midnight); currency and
    // floats in general number form (at most 15 significant digits, no
    // trailing zeros, the user's decimal separator); integers plain.
    QString asString() const;
    // The same characters as asString, appended to out (a null value adds
    // nothing). For a buffer reused from field to field: text, dates,
    // currency and integers make no string of their own.
    void appendString(QString &out) const;
    // The text form as bytes when it is plain ASCII, the same bytes in every
    // ANSI code page: text stored as ASCII, and the forms of integers,
    // currency and dates when the regional settings keep them ASCII. A null
    // value gives no bytes. False otherwise: take appendString then. Lets a
    // writer skip the string. The bytes are in scratch or in the table's
    // row, valid until the table moves.
    using AsciiScratch = std::array<char, 32>;
    bool asciiText(std::string_view *bytes, AsciiScratch &scratch) const;
    qint32 asInteger() const;
    qint64 asLargeInt() const;
    double asFloat() const;
    Currency asCurrency() const;
    QDateTime asDateTime() const;
    QDate asDate() const;
    bool asBoolean() const;
    QStringList memoLines() const;  // memo split at CR LF / LF
    QString memoText() const;
    QVariant value() const;         // null, qint64, double, QString, QDate, QDateTime, bool or QByteArray

    // Writes, only while the table is in insert or edit state.
    // Text longer than the field's size is cut when stored.
    void setAsString(const QString &value);  // converted to the field's type; ConversionError when it cannot be
    void setAsInteger(qint32 value);
    void setAsLargeInt(qint64 value);
    void setAsFloat(double value);
    void setAsCurrency(Currency value);
    void setAsDateTime(const QDateTime &value);  // an invalid date-time clears the field
    void setAsDate(const QDate &value);
    void setAsBoolean(bool value);
    void setMemoLines(const QStringList &lines);  // every line followed by CR LF
    void setValue(const QVariant &value);         // converted to the field's type
    void clear();                                  // sets null

private:
    friend class Table;
    friend class TableCursor;
    Field(Table *table, int index) : m_table(table), m_index(index) {}
    Table *m_table;
    int m_index;
};

enum class TableState { Inactive, Browse, Insert, Edit };

class Table : public DataSet {
public:
    Table();
    ~Table() override;
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    // Which table: the alias (database name, looked up in the default session;
    // a directory path is accepted as well) and the table name. Both may be
    // set only while closed.
    void setDatabaseName(const QString &alias);
    QString databaseName() const;
    void setTableName(const QString &name);
    QString tableName() const;
    QString fileName() const;   // the table's file while open

    // The current index by name, without regard to case; empty selects the
    // primary index. An unknown name is an EngineError when the table opens
    // (or at once while it is open).
    void setIndexName(const QString &name);
    QString indexName() const;

    // Settings for a table the tool owns and rebuilds (the extract): the file
    // is not synced, its journal kept in memory (a crash may lose the table)
    // and its page cache is 64 MiB unless set below. Set before open. Set
    // before createTable, the table's non-unique indexes also hold every
    // field, so that a pass reads the index alone; a transaction begun on the
    // empty table makes those indexes once, at its end.
    void setScratch(bool on);
    bool scratch() const;
    // Page cache of this table's connection in KiB (0: the default, which is
    // SQLite's own for shared tables). Set before open.
    void setCacheSizeKiB(int kib);
    int cacheSizeKiB() const;

    void open();   // opens the database when it is not connected; positions on the first record
    void close() override;   // an open transaction is rolled back
    bool active() const;
    TableState state() const;
    void refresh();  // the next read sees changes committed by other programs
    // While on, the read lock a read takes is kept until releaseReadLock(),
    // so a long run of short reads, such as a key range per contributor,
    // takes the lock once rather than once a read, and a pass reads on from
    // its open statement instead of seeking again for every batch. Other
    // programs cannot write to the table meanwhile: the holder gives the lock
    // back every few milliseconds (before the window processes messages), or
    // holds it on purpose for a pass that nobody may change under it. A
    // write and close() give it back first, as does turning the hold off;
    // refresh() gives it back and takes it anew for its own read.
    void setHoldReadLock(bool on);
    void releaseReadLock();

    // Navigation over visible records in the current index order. After the
    // last record next() sets eof and the last record stays current; last()
    // positions on the last record and sets eof, as first() sets bof.
    void first();
    void next();
    void last();
    bool eof() const;
    bool bof() const;
    bool isEmpty() const;
    int recordCount() const;  // visible records, respecting filter and range

    // Key search on the leading fields of the current index, one value per
    // field, each converted to the field's type (ConversionError when it
    // cannot be). More values than the index has fields is an EngineError.
    // Not found: false, and the current record stays.
    bool findKey(const QVariantList &values);
    // Key range on the leading fields of the current index, both ends
    // included; positions on the first record of the range.
    void setRange(const QVariantList &from, const QVariantList &to);
    void cancelRange();
    bool hasRange() const;

    // Filter expression (e.g. "LevelID<>3") and the filtered switch. Text that
    // cannot be parsed or names an unknown field is an EngineError (at once
    // while open, else at open).
    void setFilter(const QString &text);
    QString filter() const;
    void setFiltered(bool on);
    bool filtered() const;

    // The first visible record, in index order, whose field equals the value.
    bool locate(const QString &fieldName, const QVariant &value, bool caseInsensitive = true);

    int fieldCount() const;
    Field field(int index);
    Field fieldByName(const QString &name);   // without regard to case; EngineError when absent
    Field *findField(const QString &name);    // nullptr when absent (pointer valid while open)

    void append();
    void insert();    // the same as append: records take their place in index order
    void edit();      // EngineError when there is no current record
    // Stores the record. A duplicate key in a unique index is an EngineError
    // "Key violation" naming the table; the record then stays in insert or
    // edit state, to be corrected or cancelled.
    void post();
    void cancel();
    void deleteRecord();   // deletes the current record; the next one becomes current

    // Table-level operations.
    bool exists() const;                  // the table's file is in the database's directory
    void createTable(const TableDef &def); // the table must be closed
    void deleteTable();                   // closes the table first
    void emptyTable();                    // open or closed

    // Whole batches inside one transaction (the extract is written this way).
    void startTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;

    TableDef definition() const;  // fields and indexes of the open table

private:
    friend class Field;
    friend class TableCursor;
    std::unique_ptr<TableCursor> d;
};

} // namespace data
