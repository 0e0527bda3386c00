#include "data/Table.h"

#include "data/Filter.h"
#include "data/Values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace data {

using detail::FilterSql;
using detail::Storage;
using detail::Value;
using detail::quoteIdentifier;
using detail::storageOf;

namespace {

constexpr int kFirstBatch = 64;
constexpr int kMaxBatch = 2048;
constexpr qint64 kMmapBytes = 256ll * 1024 * 1024;
constexpr int kScratchCacheKiB = 64 * 1024;
constexpr int kFormatVersion = 1;
constexpr int kApplicationId = 0x5A454C54;   // "ZELT"
constexpr quint8 kNotLoaded = 5;             // a cell whose column this batch did not fetch
constexpr quint64 kAllColumns = ~quint64(0);

// One stored value of a buffered row; text and blobs live in the row set's arena.
struct Cell {
    union {
        qint64 i;
        double d;
    };
    quint32 off;
    quint32 len;
    quint8 kind;   // Value::Kind
};

struct RowSet {
    int ncols = 0;
    int count = 0;
    std::vector<Cell> cells;
    std::vector<qint64> rowids;
    std::string arena;

    void reset(int columns)
    {
        ncols = columns;
        count = 0;
        cells.clear();
        rowids.clear();
        arena.clear();
    }
    const Cell *row(int r) const { return cells.data() + size_t(r) * size_t(ncols); }
    Cell *row(int r) { return cells.data() + size_t(r) * size_t(ncols); }
    void addNullRow()
    {
        Cell c{};
        c.kind = Value::Null;
        cells.insert(cells.end(), size_t(ncols), c);
        rowids.push_back(0);
        ++count;
    }
    void setBytes(Cell &c, quint8 kind, const char *p, size_t n)
    {
        c.kind = kind;
        c.off = quint32(arena.size());
        c.len = quint32(n);
        arena.append(p, n);
    }
    QString text(const Cell &c) const
    {
        return QString::fromUtf8(arena.data() + c.off, qsizetype(c.len));
    }
    QByteArray bytes(const Cell &c) const { return QByteArray(arena.data() + c.off, qsizetype(c.len)); }
};

// The engine's lock settings, read at each try so that a change applies to
// tables already open.
int busyHandler(void *, int count)
{
    const LockSettings locks = Engine::instance().lockSettings();
    if (count >= locks.tries)
        return 0;
    QThread::msleep(static_cast<unsigned long>(std::max(0, locks.waitMsPerTry)));
    return 1;
}

// Finds T.zeldat in the directory without regard to case.
QString findTableFile(const QString &directory, const QString &table)
{
    const QString wanted = table + Engine::instance().dataExtension();
    const QDir dir(directory);
    const QString exact = dir.filePath(wanted);
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return {};
}

enum class Dir { After, Before };

struct KeyCol {
    int field = -1;
    bool nocase = false;
    bool desc = false;
    QString expr;   // quoted column, with an explicit collation when the column's own differs
};

struct IndexInfo {
    IndexDef def;
    QString sqlIndex;
    QList<KeyCol> cols;
    bool rowValues = true;   // key columns comparable as one row value through the index
};

enum BindSource : quint8 { FromValue, ToValue, KeyValue, AnchorKey, AnchorRowid, FilterParam, LimitParam, LocateValue };

struct BindOp {
    BindSource source;
    int index;
};

struct Prepared {
    sqlite3_stmt *stmt = nullptr;
    QList<BindOp> binds;
    QList<int> columnFields;   // field of each selected column after the row id
    int rowidField = -1;       // the field that is the row id, filled from it
};

enum class Query : quint8 { First, After, AtOrAfter, Last, Count, FindKey, Locate };

struct StmtKey {
    Query query = Query::First;
    quint8 nFrom = 0, nTo = 0, nKey = 0;
    bool range = false, filter = false, locateNoCase = false;
    quint32 anchorNulls = 0, rangeNulls = 0, keyNulls = 0;
    int locateField = -1;
    quint64 columns = kAllColumns;   // fields fetched (bit per field)
    friend bool operator==(const StmtKey &, const StmtKey &) = default;
};

size_t qHash(const StmtKey &k, size_t seed = 0)
{
    return qHashMulti(seed, int(k.query), k.nFrom, k.nTo, k.nKey, k.range, k.filter, k.locateNoCase,
                      k.anchorNulls, k.rangeNulls, k.keyNulls, k.locateField, k.columns);
}

quint32 nullMask(const QList<Value> &values)
{
    quint32 m = 0;
    for (int i = 0; i < values.size() && i < 32; ++i)
        if (values[i].kind == Value::Null)
            m |= 1u << i;
    return m;
}

void bindValue(sqlite3_stmt *st, int pos, const Value &v)
{
    switch (v.kind) {
    case Value::Null:
        sqlite3_bind_null(st, pos);
        break;
    case Value::Int:
        sqlite3_bind_int64(st, pos, v.i);
        break;
    case Value::Real:
        sqlite3_bind_double(st, pos, v.d);
        break;
    case Value::Text:
        sqlite3_bind_text(st, pos, v.bytes.constData(), int(v.bytes.size()), SQLITE_STATIC);
        break;
    case Value::Blob:
        sqlite3_bind_blob(st, pos, v.bytes.constData(), int(v.bytes.size()), SQLITE_STATIC);
        break;
    }
}

// Text and bytes are bound where they lie unless `copy`: a statement that
// stays open past the batch it was bound from must have its own copy.
void bindCell(sqlite3_stmt *st, int pos, const RowSet &rows, const Cell &c, bool copy = false)
{
    switch (c.kind) {
    case Value::Int:
        sqlite3_bind_int64(st, pos, c.i);
        break;
    case Value::Real:
        sqlite3_bind_double(st, pos, c.d);
        break;
    case Value::Text:
        sqlite3_bind_text(st, pos, rows.arena.data() + c.off, int(c.len), copy ? SQLITE_TRANSIENT : SQLITE_STATIC);
        break;
    case Value::Blob:
        sqlite3_bind_blob(st, pos, rows.arena.data() + c.off, int(c.len), copy ? SQLITE_TRANSIENT : SQLITE_STATIC);
        break;
    default:
        sqlite3_bind_null(st, pos);
    }
}

// Resets a statement whatever way the scope is left, so that no read
// transaction outlives the call.
struct ResetGuard {
    sqlite3_stmt *stmt;
    ~ResetGuard()
    {
        if (stmt) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    }
};

} // namespace

// ====================================================================== cursor

class TableCursor {
public:
    explicit TableCursor(Table *table) : q(table) {}

    Table *q;
    // settings
    QString databaseName;
    QString tableName;
    QString indexName;
    bool scratch = false;
    int cacheKiB = 0;
    QString filterText;
    bool filtered = false;

    // open state
    sqlite3 *db = nullptr;
    Database *database = nullptr;
    QString path;
    QList<FieldDef> fields;
    QList<IndexInfo> indexes;
    int current = -1;   // index in `indexes`; -1: storage order
    std::vector<Field> fieldObjects;
    QString selectList;
    int autoIncField = -1;   // the field stored as the row id
    std::optional<FilterSql> filterSql;
    bool rangeOn = false;
    QList<Value> rangeFrom, rangeTo;
    bool transaction = false;
    // Read lock kept between reads (Table::setHoldReadLock): whether to, and
    // whether a read transaction of ours is open.
    bool holdReads = false;
    bool readSpan = false;
    // Indexes of a scratch table set aside while a transaction fills it from
    // empty, with the statements that make them again.
    QList<QByteArray> deferredIndexes;

    RowSet batch, spare, edit;
    int pos = -1;
    bool batchComplete = false;
    bool atEof = true, atBof = true;
    bool pendingFirst = false;
    int nextLimit = kFirstBatch;
    TableState state = TableState::Inactive;
    qint64 editRowid = 0;

    // Fields the caller has read since the table opened: later batches fetch
    // only these (and the key), a field read for the first time is loaded for
    // its row alone.
    quint64 usedFields = 0;
    quint64 keyFields = 0;

    QHash<StmtKey, Prepared> statements;
    // The open statement of a pass under a held read lock, and the fields it
    // was made to fetch.
    Prepared stream;
    quint64 streamColumnMask = 0;
    sqlite3_stmt *rowStmt = nullptr;
    sqlite3_stmt *insertStmt = nullptr;
    sqlite3_stmt *updateStmt = nullptr;
    sqlite3_stmt *deleteStmt = nullptr;

    // -------------------------------------------------------------- errors

    QString displayName() const { return tableName; }

    [[noreturn]] void fail(int rc, const QString &doing) const { failOn(db, rc, doing); }

    [[noreturn]] void failOn(sqlite3 *conn, int rc, const QString &doing) const
    {
        const QString detail = conn ? QString::fromUtf8(sqlite3_errmsg(conn)) : QString::fromUtf8(sqlite3_errstr(rc));
        const int primary = rc & 0xff;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            throw EngineError(QStringLiteral("Table '%1' is locked by another user (%2)").arg(displayName(), doing));
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
            throw EngineError(QStringLiteral("Key violation in table '%1'").arg(displayName()));
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
            throw EngineError(QStringLiteral("'%1' is not a valid table file for table '%2' (%3)")
                                  .arg(QDir::toNativeSeparators(path), displayName(), detail));
        if (primary == SQLITE_READONLY)
            throw EngineError(QStringLiteral("Table '%1' cannot be written: the file or its directory is read-only (%2)")
                                  .arg(displayName(), doing));
        throw EngineError(QStringLiteral("Error while %1 in table '%2': %3").arg(doing, displayName(), detail));
    }

    void requireActive() const
    {
        if (!db)
            throw EngineError(QStringLiteral("Table '%1' is not open").arg(displayName()));
    }
    // A Field kept from an earlier opening may name a field the table no longer has.
    void requireField(int field) const
    {
        if (Q_UNLIKELY(!db || uint(field) >= uint(fields.size())))
            fieldMissing(field);
    }
    [[noreturn]] Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void fieldMissing(int field) const
    {
        requireActive();
        throw EngineError(QStringLiteral("Field number %1 not found in table '%2'").arg(field).arg(displayName()));
    }
    void requireClosed(const char *what) const
    {
        if (db)
            throw EngineError(QStringLiteral("Cannot %1 while table '%2' is open").arg(QLatin1String(what), displayName()));
    }

    // -------------------------------------------------------------- connection

    QString resolveDirectory(Session **session) const
    {
        Database *found = Session::defaultSession().findDatabase(databaseName);
        if (found) {
            if (!found->connected())
                found->open();
            if (session)
                *session = &found->session();
            return found->directory();
        }
        if (!databaseName.isEmpty() && QFileInfo(databaseName).isDir()) {
            if (session)
                *session = &Session::defaultSession();
            return databaseName;
        }
        throw EngineError(QStringLiteral("Database '%1' of table '%2' is not defined").arg(databaseName, displayName()));
    }

    static void exec(sqlite3 *conn, const char *sql) { sqlite3_exec(conn, sql, nullptr, nullptr, nullptr); }

    int execChecked(sqlite3 *conn, const QString &sql) const
    {
        return sqlite3_exec(conn, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    }

    sqlite3 *connect(const QString &file, bool create, const QString &doing)
    {
        sqlite3 *conn = nullptr;
        // A table component is used by one thread at a time: no mutex on each call.
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_PRIVATECACHE
                          | SQLITE_OPEN_NOMUTEX;
        const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &conn, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString detail = conn ? QString::fromUtf8(sqlite3_errmsg(conn)) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(conn);
            throw EngineError(QStringLiteral("Cannot %1 table '%2' ('%3'): %4")
                                  .arg(doing, displayName(), QDir::toNativeSeparators(file), detail));
        }
        sqlite3_extended_result_codes(conn, 1);
        sqlite3_busy_handler(conn, busyHandler, nullptr);
        return conn;
    }

    // Reads the catalogue; EngineError when the file is not a table file or
    // when the session cannot open a protected table.
    void readCatalogue(sqlite3 *conn, Session *session, QList<FieldDef> *outFields, QList<IndexDef> *outIndexes)
    {
        m_sqlIndexNames.clear();
        sqlite3_stmt *st = nullptr;
        int rc = sqlite3_prepare_v2(conn, "SELECT name, type, size, required FROM zel_fields ORDER BY position",
                                    -1, &st, nullptr);
        if (rc != SQLITE_OK) {
            if ((rc & 0xff) == SQLITE_ERROR)
                throw EngineError(QStringLiteral("'%1' is not a valid table file for table '%2' (no field catalogue)")
                                      .arg(QDir::toNativeSeparators(path), displayName()));
            failOn(conn, rc, QStringLiteral("reading the field catalogue"));
        }
        QList<FieldDef> flds;
        {
            ResetGuard guard{st};
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                FieldDef f;
                f.name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
                const int type = sqlite3_column_int(st, 1);
                if (type <= 0 || type >= kFieldTypeCount || f.name.isEmpty()) {
                    sqlite3_finalize(st);
                    guard.stmt = nullptr;
                    throw EngineError(QStringLiteral("Table '%1' has a damaged field catalogue (field '%2', type %3)")
                                          .arg(displayName(), f.name).arg(type));
                }
                f.type = FieldType(type);
                f.size = sqlite3_column_int(st, 2);
                f.required = sqlite3_column_int(st, 3) != 0;
                flds.append(f);
            }
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            failOn(conn, rc, QStringLiteral("reading the field catalogue"));
        if (flds.isEmpty())
            throw EngineError(QStringLiteral("Table '%1' has no fields in its catalogue").arg(displayName()));

        QList<IndexDef> idx;
        rc = sqlite3_prepare_v2(conn,
                                "SELECT name, fields, is_primary, is_unique, case_insensitive, descending, sql_index "
                                "FROM zel_indexes ORDER BY position",
                                -1, &st, nullptr);
        if (rc != SQLITE_OK)
            throw EngineError(QStringLiteral("'%1' is not a valid table file for table '%2' (no index catalogue)")
                                  .arg(QDir::toNativeSeparators(path), displayName()));
        {
            ResetGuard guard{st};
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                IndexDef d;
                d.name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
                d.fields = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)))
                               .split(QLatin1Char(';'), Qt::SkipEmptyParts);
                for (QString &f : d.fields)
                    f = f.trimmed();
                d.primary = sqlite3_column_int(st, 2) != 0;
                d.unique = sqlite3_column_int(st, 3) != 0 || d.primary;
                d.caseInsensitive = sqlite3_column_int(st, 4) != 0;
                d.descending = sqlite3_column_int(st, 5) != 0;
                idx.append(d);
                m_sqlIndexNames.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 6))));
            }
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            failOn(conn, rc, QStringLiteral("reading the index catalogue"));

        // A protected table: one of the session's passwords must verify.
        rc = sqlite3_prepare_v2(conn, "SELECT value FROM zel_table WHERE key = 'verifier'", -1, &st, nullptr);
        if (rc != SQLITE_OK)
            throw EngineError(QStringLiteral("'%1' is not a valid table file for table '%2' (no table catalogue)")
                                  .arg(QDir::toNativeSeparators(path), displayName()));
        QByteArray verifier;
        {
            ResetGuard guard{st};
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
                verifier = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                                      sqlite3_column_bytes(st, 0));
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            failOn(conn, rc, QStringLiteral("reading the table catalogue"));
        if (!verifier.isEmpty() && !session->passwordMatches(verifier))
            throw EngineError(QStringLiteral("Access denied to table '%1': none of the session's passwords opens it")
                                  .arg(displayName()));
        *outFields = flds;
        if (outIndexes)
            *outIndexes = idx;
    }
    QStringList m_sqlIndexNames;

    // A scratch table filled from empty inside one transaction gets its
    // non-unique indexes made once, sorted, at the end rather than updated
    // on every insert: that costs a good part less. Unique indexes stay, as
    // a post must see its key violation at once. Any read before then makes
    // the indexes first; a rollback brings them back by itself.
    void deferIndexes()
    {
        if (!scratch)
            return;
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT 1 FROM records LIMIT 1", -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return;
        }
        const bool empty = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_finalize(st);
        if (!empty)
            return;
        for (const IndexInfo &ix : std::as_const(indexes)) {
            if (ix.def.primary || ix.def.unique || ix.sqlIndex.isEmpty())
                continue;
            QByteArray create;
            if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?", -1, &st,
                                   nullptr) == SQLITE_OK) {
                const QByteArray name = ix.sqlIndex.toUtf8();
                sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
                if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) == SQLITE_TEXT)
                    create = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
            }
            sqlite3_finalize(st);
            if (create.isEmpty())
                continue;
            const QByteArray drop = "DROP INDEX " + quoteIdentifier(ix.sqlIndex).toUtf8();
            if (sqlite3_exec(db, drop.constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
                deferredIndexes.append(create);
        }
    }

    void restoreIndexes()
    {
        while (!deferredIndexes.isEmpty()) {
            const int rc = sqlite3_exec(db, deferredIndexes.first().constData(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                fail(rc, QStringLiteral("building the indexes"));
            deferredIndexes.removeFirst();
        }
    }

    QString declaredCollation(const QString &column) const
    {
        const char *type = nullptr;
        const char *coll = nullptr;
        int notNull = 0, pk = 0, autoinc = 0;
        if (sqlite3_table_column_metadata(db, "main", "records", column.toUtf8().constData(), &type, &coll,
                                          &notNull, &pk, &autoinc) != SQLITE_OK)
            return QStringLiteral("BINARY");
        if (pk && type && QByteArray(type).compare("INTEGER", Qt::CaseInsensitive) == 0)
            m_rowidColumn = column;
        return QString::fromLatin1(coll ? coll : "BINARY");
    }
    mutable QString m_rowidColumn;

    // Whether the one INTEGER primary-key column really is the row id: not
    // when the key has more columns or is declared descending, which SQLite
    // keeps in an index of its own.
    bool primaryKeyIsRowid() const
    {
        auto count = [this](const char *sql) {
            sqlite3_stmt *st = nullptr;
            int n = -1;
            if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
                n = sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
            return n;
        };
        return count("SELECT count(*) FROM pragma_table_info('records') WHERE pk > 0") == 1
               && count("SELECT count(*) FROM pragma_index_list('records') WHERE origin = 'pk'") == 0;
    }

    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name == name)
                return i;
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    void openTable()
    {
        if (db)
            return;
        Session *session = nullptr;
        const QString dir = resolveDirectory(&session);
        path = findTableFile(dir, tableName);
        if (path.isEmpty())
            throw EngineError(QStringLiteral("Table '%1' does not exist in '%2'")
                                  .arg(tableName, QDir::toNativeSeparators(dir)));
        db = connect(path, false, QStringLiteral("open"));
        try {
            QList<IndexDef> defs;
            readCatalogue(db, session, &fields, &defs);
            // Memory-mapped reads make passes over big tables cheap; the page
            // cache of a scratch table may be large as it is written in bulk.
            if (!scratch)   // a table written in bulk would remap as it grows
                exec(db, QStringLiteral("PRAGMA mmap_size=%1").arg(kMmapBytes).toUtf8().constData());
            const int cache = cacheKiB > 0 ? cacheKiB : (scratch ? kScratchCacheKiB : 0);
            if (cache > 0)
                exec(db, QStringLiteral("PRAGMA cache_size=-%1").arg(cache).toUtf8().constData());
            if (scratch) {
                exec(db, "PRAGMA synchronous=OFF");
                const int rc = sqlite3_exec(db, "PRAGMA journal_mode=MEMORY", nullptr, nullptr, nullptr);
                if (rc != SQLITE_OK)
                    fail(rc, QStringLiteral("opening"));
            }
            m_rowidColumn.clear();
            QStringList cols{QStringLiteral("rowid")};
            QHash<int, QString> collations;
            for (int i = 0; i < fields.size(); ++i) {
                cols << quoteIdentifier(fields[i].name);
                collations.insert(i, declaredCollation(fields[i].name));
                if (!m_rowidColumn.isEmpty() && autoIncField < 0 && m_rowidColumn == fields[i].name)
                    autoIncField = i;
            }
            if (autoIncField >= 0 && !primaryKeyIsRowid())
                autoIncField = -1;
            selectList = cols.join(QStringLiteral(", "));
            // Prepare once to be sure the records table matches the catalogue.
            sqlite3_stmt *probe = nullptr;
            const int rc = sqlite3_prepare_v2(db, QStringLiteral("SELECT %1 FROM records").arg(selectList).toUtf8().constData(),
                                              -1, &probe, nullptr);
            sqlite3_finalize(probe);
            if (rc != SQLITE_OK) {
                if ((rc & 0xff) == SQLITE_BUSY)
                    fail(rc, QStringLiteral("opening"));
                throw EngineError(QStringLiteral("Table '%1' does not match its catalogue: %2")
                                      .arg(displayName(), QString::fromUtf8(sqlite3_errmsg(db))));
            }
            indexes.clear();
            for (int n = 0; n < defs.size(); ++n) {
                IndexInfo info;
                info.def = defs[n];
                info.sqlIndex = m_sqlIndexNames.value(n);
                for (const QString &name : std::as_const(info.def.fields)) {
                    KeyCol col;
                    col.field = fieldIndex(name);
                    if (col.field < 0)
                        throw EngineError(QStringLiteral("Index '%1' of table '%2' names the unknown field '%3'")
                                              .arg(info.def.name, displayName(), name));
                    col.nocase = info.def.caseInsensitive && detail::isTextType(fields[col.field].type);
                    col.desc = info.def.descending;
                    const QString wanted = col.nocase ? QStringLiteral("NOCASE") : QStringLiteral("BINARY");
                    col.expr = quoteIdentifier(fields[col.field].name);
                    if (collations.value(col.field).compare(wanted, Qt::CaseInsensitive) != 0) {
                        col.expr += QLatin1String(" COLLATE ") + wanted;
                        info.rowValues = false;
                    }
                    if (col.desc)
                        info.rowValues = false;
                    info.cols.append(col);
                }
                if (info.cols.isEmpty())
                    throw EngineError(QStringLiteral("Index '%1' of table '%2' has no fields").arg(info.def.name, displayName()));
                indexes.append(info);
            }
            fieldObjects.clear();
            for (int i = 0; i < fields.size(); ++i)
                fieldObjects.push_back(Field(q, i));
            current = findIndex(indexName);
            updateKeyFields();
            if (!filterText.trimmed().isEmpty())
                filterSql = detail::parseFilter(filterText, fields, displayName());
        } catch (...) {
            releaseConnection();
            throw;
        }
        batch.reset(fields.size());
        spare.reset(fields.size());
        edit.reset(fields.size());
        pos = -1;
        atEof = atBof = true;
        pendingFirst = true;
        state = TableState::Browse;
        if (Database *found = Session::defaultSession().findDatabase(databaseName)) {
            database = found;
            database->attach(q);
        }
    }

    void updateKeyFields()
    {
        keyFields = 0;
        if (const IndexInfo *ix = index())
            for (const KeyCol &c : ix->cols)
                keyFields |= c.field < 64 ? (quint64(1) << c.field) : kAllColumns;
    }

    int findIndex(const QString &name) const
    {
        for (int i = 0; i < indexes.size(); ++i) {
            if (name.isEmpty() ? indexes[i].def.primary
                               : (!indexes[i].def.primary && indexes[i].def.name.compare(name, Qt::CaseInsensitive) == 0))
                return i;
        }
        if (name.isEmpty())
            return -1;
        throw EngineError(QStringLiteral("Index '%1' does not exist in table '%2'").arg(name, displayName()));
    }

    void finalizeStatements()
    {
        closeStream();
        for (auto &p : statements)
            sqlite3_finalize(p.stmt);
        statements.clear();
        sqlite3_finalize(rowStmt);
        sqlite3_finalize(insertStmt);
        sqlite3_finalize(updateStmt);
        sqlite3_finalize(deleteStmt);
        rowStmt = insertStmt = updateStmt = deleteStmt = nullptr;
    }

    void beginReadSpan()
    {
        if (!holdReads || readSpan || transaction || !db || !sqlite3_get_autocommit(db))
            return;
        if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK)
            readSpan = true;
    }

    // Ends the read transaction, which gives the read lock back; a write
    // after it commits on its own, as without the hold.
    void endReadSpan() noexcept
    {
        closeStream();
        if (!readSpan)
            return;
        readSpan = false;
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    void releaseConnection()
    {
        endReadSpan();
        finalizeStatements();
        if (db) {
            if (transaction)
                exec(db, "ROLLBACK");
            sqlite3_close(db);
        }
        db = nullptr;
        transaction = false;
        deferredIndexes.clear();
        fields.clear();
        indexes.clear();
        fieldObjects.clear();
        filterSql.reset();
        autoIncField = -1;
        usedFields = 0;
        keyFields = 0;
        state = TableState::Inactive;
    }

    void closeTable()
    {
        if (!db)
            return;
        releaseConnection();
        rangeOn = false;
        rangeFrom.clear();
        rangeTo.clear();
        pos = -1;
        batch.reset(0);
        spare.reset(0);
        edit.reset(0);
        if (database) {
            Database *was = database;
            database = nullptr;
            was->detach(q);
        }
    }

    // -------------------------------------------------------------- queries

    const IndexInfo *index() const { return current >= 0 ? &indexes[current] : nullptr; }

    // "At or after" (Dir::After) or "at or before" (Dir::Before) the given
    // values in index order, over the first m key columns, optionally with the
    // row id as the last column.
    QString compareChain(int m, bool withRowid, quint32 nulls, Dir dir, bool strict, BindSource src,
                         QList<BindOp> &binds) const
    {
        const IndexInfo *ix = index();
        const int n = m + (withRowid ? 1 : 0);
        if (n == 0)
            return QStringLiteral("1");
        const bool rowValues = (!ix || ix->rowValues) && nulls == 0;
        const char *op = dir == Dir::After ? (strict ? ">" : ">=") : (strict ? "<" : "<=");
        if (rowValues) {
            QStringList lhs, rhs;
            for (int i = 0; i < m; ++i) {
                lhs << ix->cols[i].expr;
                rhs << QStringLiteral("?");
                binds.append({src, i});
            }
            if (withRowid) {
                lhs << QStringLiteral("rowid");
                rhs << QStringLiteral("?");
                binds.append({AnchorRowid, 0});
            }
            if (n == 1)
                return lhs.first() + QLatin1Char(' ') + QLatin1String(op) + QLatin1Char(' ') + rhs.first();
            return QLatin1Char('(') + lhs.join(QLatin1Char(',')) + QLatin1String(") ") + QLatin1String(op)
                   + QLatin1String(" (") + rhs.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        // Expanded form, aware of nulls (which sort first) and descending columns.
        QString lead;
        if (m > 0 && !(nulls & 1u) && !ix->cols[0].desc) {
            lead = ix->cols[0].expr + (dir == Dir::After ? QLatin1String(" >= ?") : QLatin1String(" <= ?"));
            binds.append({src, 0});
        }
        const QString chain = expandedChain(0, m, withRowid, nulls, dir, strict, src, binds);
        return lead.isEmpty() ? chain : QLatin1Char('(') + lead + QLatin1String(" AND ") + chain + QLatin1Char(')');
    }

    QString expandedChain(int i, int m, bool withRowid, quint32 nulls, Dir dir, bool strict, BindSource src,
                          QList<BindOp> &binds) const
    {
        const bool last = (i == m - 1 && !withRowid) || i == m;
        if (i == m) {   // the row id: never null, ascending
            binds.append({AnchorRowid, 0});
            return QLatin1String("rowid ") + (dir == Dir::After ? (strict ? ">" : ">=") : (strict ? "<" : "<="))
                   + QLatin1String(" ?");
        }
        const KeyCol &c = index()->cols[i];
        const bool isNull = (nulls >> i) & 1u;
        // "later in index order" for this column alone
        const bool later = (dir == Dir::After) != c.desc;   // true: greater values come after
        auto beyond = [&](bool orEqual) -> QString {
            if (isNull) {
                // null sorts before every value
                if (later)
                    return orEqual ? QStringLiteral("1") : c.expr + QLatin1String(" IS NOT NULL");
                return orEqual ? c.expr + QLatin1String(" IS NULL") : QStringLiteral("0");
            }
            binds.append({src, i});
            if (later)
                return c.expr + (orEqual ? QLatin1String(" >= ?") : QLatin1String(" > ?"));
            return QLatin1Char('(') + c.expr + (orEqual ? QLatin1String(" <= ?") : QLatin1String(" < ?"))
                   + QLatin1String(" OR ") + c.expr + QLatin1String(" IS NULL)");
        };
        if (last)
            return beyond(!strict);
        const QString strictPart = beyond(false);
        QString eq;
        if (isNull) {
            eq = c.expr + QLatin1String(" IS NULL");
        } else {
            eq = c.expr + QLatin1String(" = ?");
            binds.append({src, i});
        }
        return QLatin1String("(") + strictPart + QLatin1String(" OR (") + eq + QLatin1String(" AND ")
               + expandedChain(i + 1, m, withRowid, nulls, dir, strict, src, binds) + QLatin1String("))");
    }

    QString orderBy(bool reverse) const
    {
        QStringList parts;
        if (const IndexInfo *ix = index()) {
            for (const KeyCol &c : ix->cols)
                parts << c.expr + ((c.desc != reverse) ? QLatin1String(" DESC") : QLatin1String(""));
        }
        parts << (reverse ? QStringLiteral("rowid DESC") : QStringLiteral("rowid"));
        return parts.join(QStringLiteral(", "));
    }

    StmtKey keyFor(Query query) const
    {
        StmtKey k;
        k.query = query;
        k.range = rangeOn;
        if (rangeOn) {
            k.nFrom = quint8(rangeFrom.size());
            k.nTo = quint8(rangeTo.size());
            k.rangeNulls = nullMask(rangeFrom) | (nullMask(rangeTo) << 16);
        }
        k.filter = filtered && filterSql.has_value();
        if (query != Query::Count && usedFields != 0 && fields.size() <= 64) {
            const quint64 all = fields.size() == 64 ? kAllColumns : (quint64(1) << fields.size()) - 1;
            const quint64 wanted = (usedFields | keyFields) & all;
            if (wanted != all)
                k.columns = wanted;
        }
        return k;
    }

    Prepared &prepared(const StmtKey &k)
    {
        auto it = statements.find(k);
        if (it != statements.end())
            return *it;
        Prepared p;
        QStringList where;
        if (k.range) {
            where << compareChain(k.nFrom, false, k.rangeNulls & 0xffffu, Dir::After, false, FromValue, p.binds);
            where << compareChain(k.nTo, false, k.rangeNulls >> 16, Dir::Before, false, ToValue, p.binds);
        }
        if (k.filter) {
            where << filterSql->sql;
            for (int i = 0; i < filterSql->params.size(); ++i)
                p.binds.append({FilterParam, i});
        }
        const int nKeys = index() ? int(index()->cols.size()) : 0;
        switch (k.query) {
        case Query::After:
        case Query::AtOrAfter:
            where << compareChain(nKeys, true, k.anchorNulls, Dir::After, k.query == Query::After, AnchorKey, p.binds);
            break;
        case Query::FindKey:
            for (int i = 0; i < k.nKey; ++i) {
                const KeyCol &c = index()->cols[i];
                if ((k.keyNulls >> i) & 1u) {
                    where << c.expr + QLatin1String(" IS NULL");
                } else {
                    where << c.expr + QLatin1String(" = ?");
                    p.binds.append({KeyValue, i});
                }
            }
            break;
        case Query::Locate: {
            const QString col = quoteIdentifier(fields[k.locateField].name);
            if (k.keyNulls) {
                where << col + QLatin1String(" IS NULL");
            } else {
                where << col + (k.locateNoCase ? QLatin1String(" COLLATE NOCASE = ?") : QLatin1String(" COLLATE BINARY = ?"));
                p.binds.append({LocateValue, 0});
            }
            break;
        }
        default:
            break;
        }
        QString sql;
        if (k.query == Query::Count) {
            sql = QLatin1String("SELECT count(*) FROM records");
        } else {
            // The field stored as the row id is not selected a second time.
            QStringList cols{QStringLiteral("rowid")};
            for (int i = 0; i < fields.size(); ++i) {
                if (i == autoIncField) {
                    p.rowidField = i;
                } else if (k.columns == kAllColumns || (k.columns & (quint64(1) << i))) {
                    cols << quoteIdentifier(fields[i].name);
                    p.columnFields.append(i);
                }
            }
            sql = QLatin1String("SELECT ") + cols.join(QLatin1String(", ")) + QLatin1String(" FROM records");
        }
        if (!where.isEmpty())
            sql += QLatin1String(" WHERE ") + where.join(QLatin1String(" AND "));
        if (k.query != Query::Count) {
            sql += QLatin1String(" ORDER BY ") + orderBy(k.query == Query::Last);
            sql += QLatin1String(" LIMIT ?");
            p.binds.append({LimitParam, 0});
        }
        const int rc = sqlite3_prepare_v3(db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &p.stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(rc, QStringLiteral("preparing a query"));
        return *statements.insert(k, p);
    }

    struct BindContext {
        const RowSet *anchorRows = nullptr;
        int anchorRow = 0;
        const QList<Value> *keyValues = nullptr;
        const Value *locateValue = nullptr;
        int limit = 1;
        // A pass under a held read lock: the statement goes on past the
        // limit and stays open for the next batch.
        bool stream = false;
    };

    void bindAll(const Prepared &p, const BindContext &ctx)
    {
        sqlite3_stmt *st = p.stmt;
        int n = 1;
        for (const BindOp &b : p.binds) {
            switch (b.source) {
            case FromValue:
                bindValue(st, n, rangeFrom[b.index]);
                break;
            case ToValue:
                bindValue(st, n, rangeTo[b.index]);
                break;
            case KeyValue:
                bindValue(st, n, (*ctx.keyValues)[b.index]);
                break;
            case AnchorKey: {
                const Cell &c = ctx.anchorRows->row(ctx.anchorRow)[index()->cols[b.index].field];
                bindCell(st, n, *ctx.anchorRows, c, ctx.stream);
                break;
            }
            case AnchorRowid:
                sqlite3_bind_int64(st, n, ctx.anchorRows->rowids[size_t(ctx.anchorRow)]);
                break;
            case FilterParam:
                bindValue(st, n, filterSql->params[b.index]);
                break;
            case LimitParam:
                sqlite3_bind_int(st, n, ctx.stream ? -1 : ctx.limit);
                break;
            case LocateValue:
                bindValue(st, n, *ctx.locateValue);
                break;
            }
            ++n;
        }
    }

    quint32 anchorNullMask(const RowSet &rows, int r) const
    {
        quint32 m = 0;
        if (const IndexInfo *ix = index()) {
            const Cell *cells = rows.row(r);
            for (int i = 0; i < ix->cols.size() && i < 32; ++i)
                if (cells[ix->cols[i].field].kind == Value::Null)
                    m |= 1u << i;
        }
        return m;
    }

    // Reads through the column's value object: one look-up of the column
    // instead of one per call. Such a value may be read this way only by the
    // thread using the connection, which a table component always is.
    static void readColumn(sqlite3_stmt *st, int col, RowSet &out, Cell &cell)
    {
        sqlite3_value *v = sqlite3_column_value(st, col);
        switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            cell.kind = Value::Int;
            cell.i = sqlite3_value_int64(v);
            break;
        case SQLITE_FLOAT:
            cell.kind = Value::Real;
            cell.d = sqlite3_value_double(v);
            break;
        case SQLITE_TEXT: {
            const char *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
            out.setBytes(cell, Value::Text, t, size_t(sqlite3_value_bytes(v)));
            break;
        }
        case SQLITE_BLOB: {
            const void *b = sqlite3_value_blob(v);
            const int len = sqlite3_value_bytes(v);
            out.setBytes(cell, Value::Blob, static_cast<const char *>(b), size_t(len));
            break;
        }
        default:
            cell.kind = Value::Null;
            cell.i = 0;
        }
    }

    // Steps a row query for up to `limit` rows, appended to `out`. The last
    // step's result: SQLITE_ROW when it stopped at the limit.
    int stepInto(sqlite3_stmt *st, const QList<int> &columns, int rowidField, RowSet &out, int limit)
    {
        const size_t ncols = size_t(fields.size());
        const int fetched = int(columns.size());
        const int *columnFields = columns.constData();
        const bool partial = fetched + (rowidField >= 0 ? 1 : 0) != int(ncols);
        Cell notLoaded{};
        notLoaded.kind = kNotLoaded;
        int rc = SQLITE_DONE;
        while (out.count < limit) {
            rc = sqlite3_step(st);
            if (rc != SQLITE_ROW)
                break;
            out.rowids.push_back(sqlite3_column_int64(st, 0));
            const size_t base = out.cells.size();
            if (partial)
                out.cells.insert(out.cells.end(), ncols, notLoaded);
            else
                out.cells.resize(base + ncols);
            for (int c = 0; c < fetched; ++c)
                readColumn(st, c + 1, out, out.cells[base + size_t(columnFields[c])]);
            if (rowidField >= 0) {
                Cell &cell = out.cells[base + size_t(rowidField)];
                cell.kind = Value::Int;
                cell.i = out.rowids.back();
            }
            ++out.count;
        }
        return rc;
    }

    // Steps a batch of rows into `out`. A statement that filled the batch
    // stays open when `keepOpen` (the result is then true); otherwise it is
    // reset, and a failure raised.
    bool stepBatch(const Prepared &p, RowSet &out, int limit, bool keepOpen)
    {
        sqlite3_stmt *const st = p.stmt;
        out.reset(fields.size());
        ResetGuard guard{st};
        int rc = stepInto(st, p.columnFields, p.rowidField, out, limit);
        if (rc == SQLITE_ROW && keepOpen) {
            guard.stmt = nullptr;
            return true;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            rc = sqlite3_reset(st);
            guard.stmt = nullptr;
            sqlite3_clear_bindings(st);
            fail(rc, QStringLiteral("reading"));
        }
        return false;
    }

    // Runs a row query into `out`; the statement is reset before returning,
    // unless it is a pass under a held read lock that filled the batch: then
    // it stays open as `stream`, and next() reads on from it.
    void runInto(StmtKey key, BindContext ctx, RowSet &out, bool mayStream = false)
    {
        closeStream();
        restoreIndexes();
        beginReadSpan();
        Prepared &p = prepared(key);
        ctx.stream = mayStream && readSpan;
        bindAll(p, ctx);
        if (stepBatch(p, out, ctx.limit, ctx.stream)) {
            stream = p;
            streamColumnMask = key.columns;
        }
    }

    // The next batch of a pass from its open statement.
    void readOnInto(RowSet &out, int limit)
    {
        const Prepared open = std::exchange(stream, Prepared{});
        if (stepBatch(open, out, limit, true))
            stream = open;
    }

    void closeStream() noexcept
    {
        if (stream.stmt) {
            sqlite3_reset(stream.stmt);
            sqlite3_clear_bindings(stream.stmt);
            stream = Prepared{};
        }
    }

    // Fetches the columns of one buffered row that its batch left out.
    void loadRow(RowSet &rows, int r)
    {
        if (!rowStmt) {
            const QString sql = QLatin1String("SELECT ") + selectList + QLatin1String(" FROM records WHERE rowid = ?");
            const int rc = sqlite3_prepare_v3(db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &rowStmt, nullptr);
            if (rc != SQLITE_OK)
                fail(rc, QStringLiteral("preparing a query"));
        }
        sqlite3_bind_int64(rowStmt, 1, rows.rowids[size_t(r)]);
        ResetGuard guard{rowStmt};
        const int rc = sqlite3_step(rowStmt);
        for (int i = 0; i < fields.size(); ++i) {
            Cell &cell = rows.row(r)[i];
            if (cell.kind != kNotLoaded)
                continue;
            if (rc == SQLITE_ROW) {
                readColumn(rowStmt, i + 1, rows, cell);
            } else {   // deleted by another program meanwhile
                cell.kind = Value::Null;
                cell.i = 0;
            }
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            const int err = sqlite3_reset(rowStmt);
            guard.stmt = nullptr;
            fail(err, QStringLiteral("reading"));
        }
    }

    void loadCurrentRow()
    {
        if (pos < 0)
            return;
        const Cell *cells = batch.row(pos);
        for (int i = 0; i < fields.size(); ++i) {
            if (cells[i].kind == kNotLoaded) {
                loadRow(batch, pos);
                return;
            }
        }
    }

    void adopt(RowSet &rows, bool complete)
    {
        std::swap(batch, rows);
        pos = batch.count > 0 ? 0 : -1;
        batchComplete = complete;
    }

    void checkBrowseMode()
    {
        if (state == TableState::Insert || state == TableState::Edit)
            doPost();
    }

    void doFirst()
    {
        requireActive();
        checkBrowseMode();
        pendingFirst = false;
        nextLimit = kFirstBatch;
        BindContext ctx;
        ctx.limit = nextLimit;
        runInto(keyFor(Query::First), ctx, spare, true);
        const bool complete = spare.count < ctx.limit;
        adopt(spare, complete);
        atBof = true;
        atEof = batch.count == 0;
    }

    void ensurePositioned()
    {
        if (pendingFirst && db)
            doFirst();
    }

    void doNext()
    {
        requireActive();
        checkBrowseMode();
        if (pendingFirst) {
            doFirst();
            // next() right after a lazy first() still moves on by one record
        }
        if (atEof || pos < 0) {
            atEof = true;
            return;
        }
        atBof = false;
        if (pos + 1 < batch.count) {
            ++pos;
            return;
        }
        if (batchComplete) {
            atEof = true;
            return;
        }
        nextLimit = std::min(nextLimit * 4, kMaxBatch);
        BindContext ctx;
        ctx.limit = nextLimit;
        StmtKey key = keyFor(Query::After);
        // A field first read during the pass: the open statement lacks it.
        if (stream.stmt && key.columns != streamColumnMask)
            closeStream();
        if (stream.stmt) {
            readOnInto(spare, ctx.limit);
        } else {
            key.anchorNulls = anchorNullMask(batch, pos);
            ctx.anchorRows = &batch;
            ctx.anchorRow = pos;
            runInto(key, ctx, spare, true);
        }
        if (spare.count == 0) {
            atEof = true;
            return;
        }
        adopt(spare, spare.count < ctx.limit);
    }

    void doLast()
    {
        requireActive();
        checkBrowseMode();
        pendingFirst = false;
        BindContext ctx;
        ctx.limit = 1;
        runInto(keyFor(Query::Last), ctx, spare);
        adopt(spare, false);
        atEof = true;
        atBof = batch.count == 0;
    }

    void doRefresh()
    {
        requireActive();
        checkBrowseMode();
        endReadSpan();
        if (pendingFirst || pos < 0) {
            doFirst();
            return;
        }
        StmtKey key = keyFor(Query::AtOrAfter);
        key.anchorNulls = anchorNullMask(batch, pos);
        BindContext ctx;
        ctx.anchorRows = &batch;
        ctx.anchorRow = pos;
        ctx.limit = kFirstBatch;
        runInto(key, ctx, spare);
        if (spare.count == 0) {
            doFirst();
            return;
        }
        nextLimit = kFirstBatch;
        adopt(spare, spare.count < ctx.limit);
        atEof = false;
    }

    int doCount()
    {
        requireActive();
        restoreIndexes();
        Prepared &p = prepared(keyFor(Query::Count));
        bindAll(p, BindContext{});
        ResetGuard guard{p.stmt};
        const int rc = sqlite3_step(p.stmt);
        if (rc != SQLITE_ROW) {
            const int err = sqlite3_reset(p.stmt);
            guard.stmt = nullptr;
            fail(err, QStringLiteral("counting records"));
        }
        return int(sqlite3_column_int64(p.stmt, 0));
    }

    QList<Value> convertKey(const QVariantList &values, const char *what) const
    {
        const IndexInfo *ix = index();
        if (!ix)
            throw EngineError(QStringLiteral("Table '%1' has no index for a %2").arg(displayName(), QLatin1String(what)));
        if (values.isEmpty() || values.size() > ix->cols.size())
            throw EngineError(QStringLiteral("Wrong number of key values for a %1 on index '%2' of table '%3': "
                                             "%4 given, the index has %5 fields")
                                  .arg(QLatin1String(what), ix->def.name.isEmpty() ? QStringLiteral("primary") : ix->def.name,
                                       displayName())
                                  .arg(values.size())
                                  .arg(ix->cols.size()));
        QList<Value> out;
        out.reserve(values.size());
        for (int i = 0; i < values.size(); ++i)
            out.append(detail::toStored(fields[ix->cols[i].field], values[i]));
        return out;
    }

    bool doFindKey(const QVariantList &values)
    {
        requireActive();
        checkBrowseMode();
        const QList<Value> key = convertKey(values, "key search");
        StmtKey k = keyFor(Query::FindKey);
        k.nKey = quint8(key.size());
        k.keyNulls = nullMask(key);
        BindContext ctx;
        ctx.keyValues = &key;
        ctx.limit = 1;
        runInto(k, ctx, spare);
        if (spare.count == 0)
            return false;
        adopt(spare, false);
        pendingFirst = false;
        atEof = atBof = false;
        return true;
    }

    bool doLocate(const QString &fieldName, const QVariant &value, bool nocase)
    {
        requireActive();
        checkBrowseMode();
        const int f = fieldIndex(fieldName);
        if (f < 0)
            throw EngineError(QStringLiteral("Field '%1' not found in table '%2'").arg(fieldName, displayName()));
        const Value v = detail::toStored(fields[f], value);
        StmtKey k = keyFor(Query::Locate);
        k.locateField = f;
        k.locateNoCase = nocase && detail::isTextType(fields[f].type);
        k.keyNulls = v.kind == Value::Null ? 1u : 0u;
        BindContext ctx;
        ctx.locateValue = &v;
        ctx.limit = 1;
        runInto(k, ctx, spare);
        if (spare.count == 0)
            return false;
        adopt(spare, false);
        pendingFirst = false;
        atEof = atBof = false;
        return true;
    }

    // -------------------------------------------------------------- records

    const Cell &cell(int field, const RowSet **rows)
    {
        static const Cell nullCell = [] {
            Cell c{};
            c.kind = Value::Null;
            return c;
        }();
        if (state == TableState::Insert || state == TableState::Edit) {
            *rows = &edit;
            return edit.row(0)[field];
        }
        ensurePositioned();
        *rows = &batch;
        if (pos < 0)
            return nullCell;
        usedFields |= field < 64 ? (quint64(1) << field) : kAllColumns;
        const Cell &c = batch.row(pos)[field];
        if (c.kind == kNotLoaded)
            loadRow(batch, pos);
        return c;
    }

    Cell &editCell(int field)
    {
        if (state != TableState::Insert && state != TableState::Edit)
            throw EngineError(QStringLiteral("Table '%1' is not in edit or insert mode").arg(displayName()));
        return edit.row(0)[field];
    }

    void storeValue(int field, const Value &v)
    {
        Cell &c = editCell(field);
        switch (v.kind) {
        case Value::Null:
            c.kind = Value::Null;
            c.i = 0;
            break;
        case Value::Int:
            c.kind = Value::Int;
            c.i = v.i;
            break;
        case Value::Real:
            c.kind = Value::Real;
            c.d = v.d;
            break;
        case Value::Text:
        case Value::Blob:
            edit.setBytes(c, v.kind, v.bytes.constData(), size_t(v.bytes.size()));
            break;
        }
    }

    void storeText(int field, const QString &text)
    {
        Cell &c = editCell(field);
        const FieldDef &f = fields[field];
        const QStringView view = (f.size > 0 && text.size() > f.size) ? QStringView(text).left(f.size) : QStringView(text);
        // Plain ASCII, the common case, goes straight into the arena.
        const char16_t *src = view.utf16();
        const size_t n = size_t(view.size());
        size_t ascii = 0;
        while (ascii < n && src[ascii] < 0x80)
            ++ascii;
        if (ascii == n) {
            c.kind = Value::Text;
            c.off = quint32(edit.arena.size());
            c.len = quint32(n);
            edit.arena.resize(edit.arena.size() + n);
            char *out = edit.arena.data() + c.off;
            for (size_t i = 0; i < n; ++i)
                out[i] = char(src[i]);
            return;
        }
        const QByteArray utf8 = view.toUtf8();
        edit.setBytes(c, Value::Text, utf8.constData(), size_t(utf8.size()));
    }

    void storeInt(int field, qint64 v)
    {
        Cell &c = editCell(field);
        c.kind = Value::Int;
        c.i = v;
    }

    void doAppend()
    {
        requireActive();
        checkBrowseMode();
        edit.reset(fields.size());
        edit.addNullRow();
        state = TableState::Insert;
    }

    void doEdit()
    {
        requireActive();
        if (state == TableState::Edit || state == TableState::Insert)
            return;
        ensurePositioned();
        if (pos < 0)
            throw EngineError(QStringLiteral("Table '%1' has no current record to edit").arg(displayName()));
        loadCurrentRow();
        edit.reset(fields.size());
        edit.addNullRow();
        const Cell *src = batch.row(pos);
        Cell *dst = edit.row(0);
        for (int i = 0; i < fields.size(); ++i) {
            dst[i] = src[i];
            if (src[i].kind == Value::Text || src[i].kind == Value::Blob)
                edit.setBytes(dst[i], src[i].kind, batch.arena.data() + src[i].off, src[i].len);
        }
        editRowid = batch.rowids[size_t(pos)];
        edit.rowids[0] = editRowid;
        state = TableState::Edit;
    }

    sqlite3_stmt *writeStatement(sqlite3_stmt **slot, const QString &sql)
    {
        if (!*slot) {
            const int rc = sqlite3_prepare_v3(db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, slot, nullptr);
            if (rc != SQLITE_OK)
                fail(rc, QStringLiteral("preparing a write"));
        }
        return *slot;
    }

    void doPost()
    {
        requireActive();
        if (state != TableState::Insert && state != TableState::Edit)
            throw EngineError(QStringLiteral("Table '%1' is not in edit or insert mode").arg(displayName()));
        Cell *cells = edit.row(0);
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].required && cells[i].kind == Value::Null && i != autoIncField)
                throw EngineError(QStringLiteral("Field '%1' of table '%2' requires a value").arg(fields[i].name, displayName()));
        const bool inserting = state == TableState::Insert;
        if (inserting && !insertStmt) {
            QStringList cols, marks;
            for (const FieldDef &f : std::as_const(fields)) {
                cols << quoteIdentifier(f.name);
                marks << QStringLiteral("?");
            }
            writeStatement(&insertStmt, QStringLiteral("INSERT INTO records (%1) VALUES (%2)")
                                            .arg(cols.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        } else if (!inserting && !updateStmt) {
            QStringList sets;
            for (const FieldDef &f : std::as_const(fields))
                sets << quoteIdentifier(f.name) + QLatin1String(" = ?");
            writeStatement(&updateStmt, QStringLiteral("UPDATE records SET %1 WHERE rowid = ?").arg(sets.join(QLatin1Char(','))));
        }
        endReadSpan();
        sqlite3_stmt *st = inserting ? insertStmt : updateStmt;
        for (int i = 0; i < fields.size(); ++i)
            bindCell(st, i + 1, edit, cells[i]);
        if (!inserting)
            sqlite3_bind_int64(st, fields.size() + 1, editRowid);
        int rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            rc = sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            fail(rc, inserting ? QStringLiteral("appending a record") : QStringLiteral("posting a record"));
        }
        sqlite3_reset(st);
        if (!inserting && sqlite3_changes(db) == 0)
            throw EngineError(QStringLiteral("The record was deleted by another user in table '%1'").arg(displayName()));
        const qint64 rowid = inserting ? sqlite3_last_insert_rowid(db) : editRowid;
        if (inserting && autoIncField >= 0 && cells[autoIncField].kind == Value::Null) {
            cells[autoIncField].kind = Value::Int;
            cells[autoIncField].i = rowid;
        }
        edit.rowids[0] = rowid;
        // The stored record becomes the current one; the next step reads on
        // from its key.
        std::swap(batch, edit);
        pos = 0;
        batchComplete = false;
        atEof = atBof = false;
        pendingFirst = false;
        state = TableState::Browse;
    }

    void doCancel()
    {
        if (state == TableState::Insert || state == TableState::Edit)
            state = TableState::Browse;
    }

    void doDelete()
    {
        requireActive();
        doCancel();
        ensurePositioned();
        if (pos < 0)
            throw EngineError(QStringLiteral("Table '%1' has no current record to delete").arg(displayName()));
        endReadSpan();
        sqlite3_stmt *st = deleteStmt ? deleteStmt : writeStatement(&deleteStmt, QStringLiteral("DELETE FROM records WHERE rowid = ?"));
        sqlite3_bind_int64(st, 1, batch.rowids[size_t(pos)]);
        int rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            rc = sqlite3_reset(st);
            fail(rc, QStringLiteral("deleting a record"));
        }
        sqlite3_reset(st);
        // Move to the record after the deleted one (or the one before at the end).
        StmtKey key = keyFor(Query::After);
        key.anchorNulls = anchorNullMask(batch, pos);
        BindContext ctx;
        ctx.anchorRows = &batch;
        ctx.anchorRow = pos;
        ctx.limit = kFirstBatch;
        runInto(key, ctx, spare);
        if (spare.count > 0) {
            adopt(spare, spare.count < ctx.limit);
            atEof = false;
        } else {
            doLast();
        }
    }
};

// ====================================================================== Field

namespace {

[[noreturn]] void cannotRead(const FieldDef &f, const char *as, const QString &value)
{
    throw ConversionError(QStringLiteral("'%1' is not a valid %2 value (field '%3')").arg(value, QLatin1String(as), f.name));
}

} // namespace

#define FIELD_CELL                                                   \
    TableCursor *c = m_table->d.get();                               \
    c->requireField(m_index);                                        \
    const RowSet *rows = nullptr;                                    \
    const Cell &cell = c->cell(m_index, &rows);                      \
    const FieldDef &def = std::as_const(c->fields)[m_index];         \
    (void)def

namespace {

// The definition of a field, or an empty one for a Field kept from an earlier
// opening that the table no longer has; no copy of the definition is made.
const FieldDef &definitionOf(const TableCursor &c, int index)
{
    static const FieldDef none;
    return index >= 0 && index < c.fields.size() ? c.fields[index] : none;
}

} // namespace

QString Field::fieldName() const { return definitionOf(*m_table->d, m_index).name; }
FieldType Field::dataType() const { return definitionOf(*m_table->d, m_index).type; }
int Field::size() const { return definitionOf(*m_table->d, m_index).size; }
bool Field::required() const { return definitionOf(*m_table->d, m_index).required; }

bool Field::isNull() const
{
    FIELD_CELL;
    return cell.kind == Value::Null;
}

QString Field::asString() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return QString();
    case Value::Text:
    case Value::Blob:
        return rows->text(cell);
    case Value::Real:
        return detail::formatGeneral(cell.d);
    default:
        break;
    }
    switch (storageOf(def.type)) {
    case Storage::Currency:
        return detail::formatCurrency(cell.i);
    case Storage::Date:
        return detail::formatDate(detail::storedToDate(cell.i));
    case Storage::DateTime:
        return detail::formatStoredDateTime(cell.i);
    case Storage::Time:
        return detail::formatTime(QTime::fromMSecsSinceStartOfDay(int(cell.i)));
    case Storage::Boolean:
        return cell.i ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return QString::number(cell.i);
    }
}

bool Field::asciiText(std::string_view *bytes, AsciiScratch &scratch) const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        *bytes = std::string_view("", 0);   // empty, with a pointer that may be copied from
        return true;
    case Value::Text: {
        const char *const text = rows->arena.data() + cell.off;
        for (size_t i = 0; i < cell.len; ++i)
            if (uchar(text[i]) >= 0x80)
                return false;
        *bytes = std::string_view(text, cell.len);
        return true;
    }
    case Value::Int:
        break;
    default:
        return false;
    }
    switch (storageOf(def.type)) {
    case Storage::Currency:
        return detail::currencyAscii(cell.i, scratch.data(), bytes);
    case Storage::Date:
        return detail::storedDateAscii(cell.i, scratch.data(), bytes);
    case Storage::Integer:
        *bytes = detail::integerAscii(cell.i, scratch.data());
        return true;
    default:
        return false;
    }
}

void Field::appendString(QString &out) const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return;
    case Value::Text:
    case Value::Blob:
        detail::appendUtf8(out, rows->arena.data() + cell.off, qsizetype(cell.len));
        return;
    case Value::Real:
        detail::appendGeneral(out, cell.d);
        return;
    default:
        break;
    }
    switch (storageOf(def.type)) {
    case Storage::Currency:
        detail::appendCurrency(out, cell.i);
        return;
    case Storage::Date:
        detail::appendStoredDate(out, cell.i);
        return;
    case Storage::DateTime:
        detail::appendStoredDateTime(out, cell.i);
        return;
    case Storage::Time:
        out += detail::formatTime(QTime::fromMSecsSinceStartOfDay(int(cell.i)));
        return;
    case Storage::Boolean:
        out += cell.i ? QLatin1StringView("True") : QLatin1StringView("False");
        return;
    default: {
        char buf[32];
        const std::string_view digits = detail::integerAscii(cell.i, buf);
        out.append(QLatin1StringView(digits.data(), qsizetype(digits.size())));
        return;
    }
    }
}

qint64 Field::asLargeInt() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return 0;
    case Value::Int:
        switch (storageOf(def.type)) {
        case Storage::Currency: {
            const qint64 s = Currency::kScale;
            const qint64 half = cell.i >= 0 ? s / 2 : -s / 2;
            return (cell.i + half) / s;
        }
        case Storage::Date:
        case Storage::DateTime:
        case Storage::Time:
            cannotRead(def, "integer", asString());
        default:
            return cell.i;
        }
    case Value::Real:
        if (!std::isfinite(cell.d) || std::fabs(cell.d) > 9.2e18)
            cannotRead(def, "integer", detail::formatGeneral(cell.d));
        return std::llround(cell.d);
    default: {
        const QString t = rows->text(cell);
        qint64 v = 0;
        if (!detail::parseInteger(t, &v))
            cannotRead(def, "integer", t);
        return v;
    }
    }
}

qint32 Field::asInteger() const
{
    const qint64 v = asLargeInt();
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        cannotRead(m_table->d->fields[m_index], "integer", QString::number(v));
    return qint32(v);
}

double Field::asFloat() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return 0;
    case Value::Real:
        return cell.d;
    case Value::Int:
        switch (storageOf(def.type)) {
        case Storage::Currency:
            return double(cell.i) / double(Currency::kScale);
        case Storage::Date:   // days since 30 December 1899, as the suite counts them
            return double(cell.i - QDate(1899, 12, 30).toJulianDay());
        case Storage::DateTime:
            return double(cell.i) / double(detail::kMsPerDay) - double(QDate(1899, 12, 30).toJulianDay());
        case Storage::Time:
            return double(cell.i) / double(detail::kMsPerDay);
        default:
            return double(cell.i);
        }
    default: {
        const QString t = rows->text(cell);
        double v = 0;
        if (!detail::parseDouble(t, &v))
            cannotRead(def, "floating point", t);
        return v;
    }
    }
}

Currency Field::asCurrency() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return {};
    case Value::Int:
        if (storageOf(def.type) == Storage::Currency)
            return Currency::fromRaw(cell.i);
        if (storageOf(def.type) == Storage::Integer || storageOf(def.type) == Storage::Boolean)
            return Currency::fromUnits(cell.i);
        cannotRead(def, "currency", asString());
    case Value::Real: {
        const double scaled = cell.d * double(Currency::kScale);
        if (!std::isfinite(scaled) || std::fabs(scaled) > 9.2e18)
            cannotRead(def, "currency", detail::formatGeneral(cell.d));
        return Currency::fromRaw(std::llround(scaled));
    }
    default: {
        const QString t = rows->text(cell);
        qint64 raw = 0;
        if (!detail::parseCurrency(t, &raw))
            cannotRead(def, "currency", t);
        return Currency::fromRaw(raw);
    }
    }
}

QDateTime Field::asDateTime() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return {};
    case Value::Int:
        switch (storageOf(def.type)) {
        case Storage::Date:
            return QDateTime(detail::storedToDate(cell.i), QTime(0, 0));
        case Storage::DateTime:
            return detail::storedToDateTime(cell.i);
        case Storage::Time:
            return QDateTime(QDate(1899, 12, 30), QTime::fromMSecsSinceStartOfDay(int(cell.i)));
        default:
            cannotRead(def, "date-time", QString::number(cell.i));
        }
    case Value::Text: {
        const QString t = rows->text(cell);
        QDateTime dt;
        if (!detail::parseDateTime(t, &dt))
            cannotRead(def, "date-time", t);
        return dt;
    }
    default:
        cannotRead(def, "date-time", asString());
    }
}

QDate Field::asDate() const
{
    {
        FIELD_CELL;
        if (cell.kind == Value::Null)
            return {};
        if (cell.kind == Value::Int && storageOf(def.type) == Storage::Date)
            return detail::storedToDate(cell.i);
    }
    return asDateTime().date();
}

bool Field::asBoolean() const
{
    FIELD_CELL;
    switch (cell.kind) {
    case Value::Null:
        return false;
    case Value::Int:
        return cell.i != 0;
    case Value::Real:
        return cell.d != 0;
    default: {
        const QString t = rows->text(cell).trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1"))
            return true;
        if (t.isEmpty() || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t == QLatin1String("0"))
            return false;
        cannotRead(def, "boolean", t);
    }
    }
}

QString Field::memoText() const
{
    FIELD_CELL;
    if (cell.kind == Value::Text || cell.kind == Value::Blob)
        return rows->text(cell);
    return asString();
}

QStringList Field::memoLines() const
{
    QString text = memoText();
    if (text.isEmpty())
        return {};
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();   // a final line break ends the last line, it starts none
    return lines;
}

QVariant Field::value() const
{
    FIELD_CELL;
    if (cell.kind == Value::Null)
        return {};
    switch (storageOf(def.type)) {
    case Storage::Date:
    case Storage::DateTime:
    case Storage::Time:
        if (cell.kind == Value::Int) {
            if (storageOf(def.type) == Storage::Date)
                return detail::storedToDate(cell.i);
            if (storageOf(def.type) == Storage::Time)
                return QTime::fromMSecsSinceStartOfDay(int(cell.i));
            return detail::storedToDateTime(cell.i);
        }
        break;
    case Storage::Boolean:
        return cell.kind == Value::Int ? QVariant(cell.i != 0) : QVariant(asBoolean());
    case Storage::Currency:
        return cell.kind == Value::Int ? QVariant(double(cell.i) / double(Currency::kScale)) : QVariant(asFloat());
    default:
        break;
    }
    switch (cell.kind) {
    case Value::Int:
        return QVariant(cell.i);
    case Value::Real:
        return QVariant(cell.d);
    case Value::Blob:
        return QVariant(rows->bytes(cell));
    default:
        return QVariant(rows->text(cell));
    }
}

void Field::setAsString(const QString &value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    if (detail::isTextType(def.type))
        c->storeText(m_index, value);
    else if (value.isEmpty())
        c->storeValue(m_index, Value::null());
    else
        c->storeValue(m_index, detail::toStored(def, QVariant(value)));
}

void Field::setAsLargeInt(qint64 value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    if (storageOf(def.type) == Storage::Integer)
        c->storeInt(m_index, value);
    else
        c->storeValue(m_index, detail::toStored(def, QVariant(value)));
}

void Field::setAsInteger(qint32 value)
{
    setAsLargeInt(value);
}

void Field::setAsFloat(double value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    c->storeValue(m_index, detail::toStored(c->fields[m_index], QVariant(value)));
}

void Field::setAsCurrency(Currency value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    switch (storageOf(def.type)) {
    case Storage::Currency:
        c->storeInt(m_index, value.raw);
        break;
    case Storage::Text:
        c->storeText(m_index, detail::formatCurrency(value.raw));
        break;
    case Storage::Real:
        c->storeValue(m_index, Value::real(value.toDouble()));
        break;
    case Storage::Integer: {
        const qint64 s = Currency::kScale;
        c->storeInt(m_index, (value.raw + (value.raw >= 0 ? s / 2 : -s / 2)) / s);
        break;
    }
    default:
        throw ConversionError(QStringLiteral("Field '%1' cannot hold a currency value").arg(def.name));
    }
}

void Field::setAsDateTime(const QDateTime &value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    if (!value.isValid()) {
        c->storeValue(m_index, Value::null());
        return;
    }
    switch (storageOf(def.type)) {
    case Storage::Date:
        c->storeInt(m_index, detail::dateToStored(value.date()));
        break;
    case Storage::DateTime:
        c->storeInt(m_index, detail::dateTimeToStored(value));
        break;
    case Storage::Time:
        c->storeInt(m_index, value.time().msecsSinceStartOfDay());
        break;
    case Storage::Text:
        c->storeText(m_index, detail::formatDateTime(value));
        break;
    default:
        throw ConversionError(QStringLiteral("Field '%1' cannot hold a date-time value").arg(def.name));
    }
}

void Field::setAsDate(const QDate &value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    if (!value.isValid())
        c->storeValue(m_index, Value::null());
    else if (storageOf(def.type) == Storage::Date)
        c->storeInt(m_index, detail::dateToStored(value));
    else if (storageOf(def.type) == Storage::Text)
        c->storeText(m_index, detail::formatDate(value));
    else
        setAsDateTime(QDateTime(value, QTime(0, 0)));
}

void Field::setAsBoolean(bool value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    const FieldDef &def = c->fields[m_index];
    if (detail::isTextType(def.type))
        c->storeText(m_index, value ? QStringLiteral("True") : QStringLiteral("False"));
    else
        c->storeValue(m_index, detail::toStored(def, QVariant(value)));
}

void Field::setMemoLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    c->storeValue(m_index, Value::text(text.toUtf8()));
}

void Field::setValue(const QVariant &value)
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    c->storeValue(m_index, detail::toStored(c->fields[m_index], value));
}

void Field::clear()
{
    TableCursor *c = m_table->d.get();
    c->requireField(m_index);
    c->storeValue(m_index, Value::null());
}

#undef FIELD_CELL

// ====================================================================== Table

Table::Table() : d(std::make_unique<TableCursor>(this)) {}

Table::~Table()
{
    try {
        d->closeTable();
    } catch (...) {
        // closing only releases the file
    }
}

void Table::setDatabaseName(const QString &alias)
{
    d->requireClosed("change the database");
    d->databaseName = alias;
}
QString Table::databaseName() const { return d->databaseName; }

void Table::setTableName(const QString &name)
{
    d->requireClosed("change the table name");
    d->tableName = name;
}
QString Table::tableName() const { return d->tableName; }
QString Table::fileName() const { return d->db ? d->path : QString(); }

void Table::setIndexName(const QString &name)
{
    if (d->db) {
        d->checkBrowseMode();
        const int index = d->findIndex(name);
        d->finalizeStatements();
        d->current = index;
        d->updateKeyFields();
        d->rangeOn = false;
        d->rangeFrom.clear();
        d->rangeTo.clear();
        d->pendingFirst = true;
    }
    d->indexName = name;
}
QString Table::indexName() const { return d->indexName; }

void Table::setScratch(bool on) { d->scratch = on; }
bool Table::scratch() const { return d->scratch; }
void Table::setCacheSizeKiB(int kib) { d->cacheKiB = std::max(0, kib); }
int Table::cacheSizeKiB() const { return d->cacheKiB; }

void Table::open() { d->openTable(); }
void Table::close() { d->closeTable(); }
bool Table::active() const { return d->db != nullptr; }
TableState Table::state() const { return d->state; }
void Table::refresh() { d->doRefresh(); }

void Table::setHoldReadLock(bool on)
{
    d->holdReads = on;
    if (!on)
        d->endReadSpan();
}

void Table::releaseReadLock() { d->endReadSpan(); }

void Table::first() { d->doFirst(); }
void Table::next() { d->doNext(); }
void Table::last() { d->doLast(); }

bool Table::eof() const
{
    d->requireActive();
    d->ensurePositioned();
    return d->atEof;
}

bool Table::bof() const
{
    d->requireActive();
    d->ensurePositioned();
    return d->atBof;
}

bool Table::isEmpty() const
{
    d->requireActive();
    d->ensurePositioned();
    return d->pos < 0;
}

int Table::recordCount() const { return d->doCount(); }

bool Table::findKey(const QVariantList &values) { return d->doFindKey(values); }

void Table::setRange(const QVariantList &from, const QVariantList &to)
{
    d->requireActive();
    d->checkBrowseMode();
    QList<Value> f = d->convertKey(from, "range");
    QList<Value> t = d->convertKey(to, "range");
    d->rangeFrom = std::move(f);
    d->rangeTo = std::move(t);
    d->rangeOn = true;
    d->pendingFirst = true;
}

void Table::cancelRange()
{
    d->rangeOn = false;
    d->rangeFrom.clear();
    d->rangeTo.clear();
    d->pendingFirst = d->db != nullptr;
}

bool Table::hasRange() const { return d->rangeOn; }

void Table::setFilter(const QString &text)
{
    if (d->db) {
        d->checkBrowseMode();
        std::optional<FilterSql> parsed;
        if (!text.trimmed().isEmpty())
            parsed = detail::parseFilter(text, d->fields, d->displayName());
        d->finalizeStatements();
        d->filterSql = std::move(parsed);
        if (d->filtered)
            d->pendingFirst = true;
    }
    d->filterText = text;
}
QString Table::filter() const { return d->filterText; }

void Table::setFiltered(bool on)
{
    if (d->db && on != d->filtered) {
        d->checkBrowseMode();
        d->pendingFirst = true;
    }
    d->filtered = on;
}
bool Table::filtered() const { return d->filtered; }

bool Table::locate(const QString &fieldName, const QVariant &value, bool caseInsensitive)
{
    return d->doLocate(fieldName, value, caseInsensitive);
}

int Table::fieldCount() const { return d->fields.size(); }

Field Table::field(int index)
{
    d->requireActive();
    if (index < 0 || index >= d->fields.size())
        throw EngineError(QStringLiteral("Field number %1 not found in table '%2'").arg(index).arg(d->displayName()));
    return Field(this, index);
}

Field Table::fieldByName(const QString &name)
{
    d->requireActive();
    const int index = d->fieldIndex(name);
    if (index < 0)
        throw EngineError(QStringLiteral("Field '%1' not found in table '%2'").arg(name, d->displayName()));
    return Field(this, index);
}

Field *Table::findField(const QString &name)
{
    if (!d->db)
        return nullptr;
    const int index = d->fieldIndex(name);
    return index < 0 ? nullptr : &d->fieldObjects[size_t(index)];
}

void Table::append() { d->doAppend(); }
void Table::insert() { d->doAppend(); }
void Table::edit() { d->doEdit(); }
void Table::post() { d->doPost(); }
void Table::cancel() { d->doCancel(); }
void Table::deleteRecord() { d->doDelete(); }

bool Table::exists() const
{
    QString dir;
    try {
        dir = d->resolveDirectory(nullptr);
    } catch (const EngineError &) {
        return false;
    }
    return !findTableFile(dir, d->tableName).isEmpty();
}

void Table::createTable(const TableDef &def)
{
    d->requireClosed("create the table");
    const QString name = def.name.isEmpty() ? d->tableName : def.name;
    if (name.isEmpty())
        throw EngineError(QStringLiteral("Cannot create a table without a name"));
    const QString saved = d->tableName;
    d->tableName = name;
    struct Restore {
        TableCursor *c;
        QString name;
        ~Restore() { c->tableName = name; }
    } restore{d.get(), saved};

    const QString dir = d->resolveDirectory(nullptr);
    if (!findTableFile(dir, name).isEmpty())
        throw EngineError(QStringLiteral("Table '%1' already exists in '%2'").arg(name, QDir::toNativeSeparators(dir)));

    // Validate the definition before anything is written.
    if (def.fields.isEmpty())
        throw EngineError(QStringLiteral("Table '%1' needs at least one field").arg(name));
    QStringList seen;
    QSet<QString> nocaseFields;
    for (const FieldDef &f : def.fields) {
        if (f.name.trimmed().isEmpty())
            throw EngineError(QStringLiteral("A field of table '%1' has no name").arg(name));
        if (seen.contains(f.name, Qt::CaseInsensitive))
            throw EngineError(QStringLiteral("Field '%1' appears twice in table '%2'").arg(f.name, name));
        if (int(f.type) <= 0 || int(f.type) >= kFieldTypeCount)
            throw EngineError(QStringLiteral("Field '%1' of table '%2' has an invalid type").arg(f.name, name));
        if (f.size < 0)
            throw EngineError(QStringLiteral("Field '%1' of table '%2' has an invalid size").arg(f.name, name));
        seen << f.name;
    }
    auto fieldOf = [&](const QString &fieldName) -> int {
        for (int i = 0; i < def.fields.size(); ++i)
            if (def.fields[i].name.compare(fieldName.trimmed(), Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    int primaries = 0;
    QStringList indexNames;
    for (const IndexDef &ix : def.indexes) {
        if (ix.fields.isEmpty())
            throw EngineError(QStringLiteral("Index '%1' of table '%2' has no fields").arg(ix.name, name));
        if (ix.primary)
            ++primaries;
        else if (ix.name.trimmed().isEmpty())
            throw EngineError(QStringLiteral("A secondary index of table '%1' has no name").arg(name));
        else if (indexNames.contains(ix.name, Qt::CaseInsensitive))
            throw EngineError(QStringLiteral("Index '%1' appears twice in table '%2'").arg(ix.name, name));
        indexNames << ix.name;
        for (const QString &f : ix.fields) {
            const int fi = fieldOf(f);
            if (fi < 0)
                throw EngineError(QStringLiteral("Index '%1' of table '%2' names the unknown field '%3'").arg(ix.name, name, f));
            if (ix.caseInsensitive && detail::isTextType(def.fields[fi].type))
                nocaseFields.insert(def.fields[fi].name.toLower());
        }
    }
    if (primaries > 1)
        throw EngineError(QStringLiteral("Table '%1' has more than one primary index").arg(name));

    // The first auto-increment field is stored as the row id.
    int autoInc = -1;
    for (int i = 0; i < def.fields.size() && autoInc < 0; ++i)
        if (def.fields[i].type == FieldType::AutoInc)
            autoInc = i;

    QStringList script;
    script << QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId)
           << QStringLiteral("PRAGMA user_version = %1").arg(kFormatVersion) << QStringLiteral("BEGIN")
           << QStringLiteral("CREATE TABLE zel_table (key TEXT PRIMARY KEY, value)")
           << QStringLiteral("CREATE TABLE zel_fields (position INTEGER PRIMARY KEY, name TEXT NOT NULL, "
                             "type INTEGER NOT NULL, size INTEGER NOT NULL DEFAULT 0, required INTEGER NOT NULL DEFAULT 0)")
           << QStringLiteral("CREATE TABLE zel_indexes (position INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT '', "
                             "fields TEXT NOT NULL, is_primary INTEGER NOT NULL DEFAULT 0, is_unique INTEGER NOT NULL DEFAULT 0, "
                             "case_insensitive INTEGER NOT NULL DEFAULT 0, descending INTEGER NOT NULL DEFAULT 0, sql_index TEXT)");
    QStringList columns;
    for (int i = 0; i < def.fields.size(); ++i) {
        const FieldDef &f = def.fields[i];
        QString col = quoteIdentifier(f.name) + QLatin1Char(' ');
        if (i == autoInc)
            col += QLatin1String("INTEGER PRIMARY KEY");
        else
            col += QLatin1String(detail::sqlTypeOf(f.type));
        if (nocaseFields.contains(f.name.toLower()))
            col += QLatin1String(" COLLATE NOCASE");
        columns << col;
    }
    script << QStringLiteral("CREATE TABLE records (%1)").arg(columns.join(QStringLiteral(", ")));
    QList<Value> params;
    auto literal = [&](const Value &v) {
        params.append(v);
        return QStringLiteral("?");
    };
    script << QStringLiteral("INSERT INTO zel_table VALUES ('format', %1)").arg(kFormatVersion);
    script << QStringLiteral("INSERT INTO zel_table VALUES ('name', %1)").arg(literal(Value::text(name.toUtf8())));
    if (!def.password.isEmpty())
        script << QStringLiteral("INSERT INTO zel_table VALUES ('verifier', %1)")
                      .arg(literal(Value::text(makePasswordVerifier(def.password))));
    for (int i = 0; i < def.fields.size(); ++i) {
        const FieldDef &f = def.fields[i];
        script << QStringLiteral("INSERT INTO zel_fields VALUES (%1, %2, %3, %4, %5)")
                      .arg(i)
                      .arg(literal(Value::text(f.name.toUtf8())))
                      .arg(int(f.type))
                      .arg(f.size)
                      .arg(f.required ? 1 : 0);
    }
    int secondary = 0;
    for (int n = 0; n < def.indexes.size(); ++n) {
        const IndexDef &ix = def.indexes[n];
        QStringList keyCols, names;
        for (const QString &f : ix.fields) {
            const FieldDef &fd = def.fields[fieldOf(f)];
            names << fd.name;
            QString k = quoteIdentifier(fd.name);
            if (detail::isTextType(fd.type)) {
                const bool nocase = ix.caseInsensitive;
                const bool declaredNocase = nocaseFields.contains(fd.name.toLower());
                if (nocase != declaredNocase)
                    k += nocase ? QLatin1String(" COLLATE NOCASE") : QLatin1String(" COLLATE BINARY");
            }
            if (ix.descending)
                k += QLatin1String(" DESC");
            keyCols << k;
        }
        // A scratch table is written once and then walked in index order:
        // its non-unique indexes also carry the row id and the other fields,
        // so that a pass reads the index alone instead of looking up every
        // record in the records b-tree. The order stays that of the key and
        // then the row id, as the row id column comes right after the key.
        if (d->scratch && !ix.primary && !ix.unique && autoInc >= 0) {
            QList<int> covered;
            for (const QString &f : ix.fields)
                covered << fieldOf(f);
            if (!covered.contains(autoInc)) {
                keyCols << quoteIdentifier(def.fields[autoInc].name);
                covered << autoInc;
            }
            for (int i = 0; i < def.fields.size(); ++i) {
                const FieldType type = def.fields[i].type;
                const bool bulky = storageOf(type) == Storage::Blob || type == FieldType::Memo
                                   || type == FieldType::FmtMemo || type == FieldType::OraClob;
                if (!covered.contains(i) && !bulky)
                    keyCols << quoteIdentifier(def.fields[i].name);
            }
        }
        QString sqlIndex;
        const bool rowidKey = ix.primary && ix.fields.size() == 1 && autoInc >= 0 && fieldOf(ix.fields.first()) == autoInc
                              && !ix.descending;
        if (!rowidKey) {
            sqlIndex = ix.primary ? QStringLiteral("primary_key") : QStringLiteral("index_%1").arg(++secondary);
            script << QStringLiteral("CREATE %1INDEX %2 ON records (%3)")
                          .arg(ix.primary || ix.unique ? QStringLiteral("UNIQUE ") : QString(),
                               quoteIdentifier(sqlIndex), keyCols.join(QStringLiteral(", ")));
        }
        script << QStringLiteral("INSERT INTO zel_indexes VALUES (%1, %2, %3, %4, %5, %6, %7, %8)")
                      .arg(n)
                      .arg(literal(Value::text((ix.primary ? QString() : ix.name).toUtf8())))
                      .arg(literal(Value::text(names.join(QLatin1Char(';')).toUtf8())))
                      .arg(ix.primary ? 1 : 0)
                      .arg(ix.unique || ix.primary ? 1 : 0)
                      .arg(ix.caseInsensitive ? 1 : 0)
                      .arg(ix.descending ? 1 : 0)
                      .arg(sqlIndex.isEmpty() ? QStringLiteral("NULL") : literal(Value::text(sqlIndex.toUtf8())));
    }
    script << QStringLiteral("COMMIT");

    const QString file = QDir(dir).filePath(name + Engine::instance().dataExtension());
    d->path = file;
    sqlite3 *conn = d->connect(file, true, QStringLiteral("create"));
    int rc = SQLITE_OK;
    int param = 0;
    for (const QString &sql : std::as_const(script)) {
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(conn, sql.toUtf8().constData(), -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            const int count = sqlite3_bind_parameter_count(st);
            for (int i = 1; i <= count; ++i)
                bindValue(st, i, params[param++]);
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW || rc == SQLITE_DONE)
                rc = SQLITE_OK;
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_OK)
            break;
    }
    if (rc != SQLITE_OK) {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(conn));
        sqlite3_close(conn);
        QFile::remove(file);
        QFile::remove(file + QLatin1String("-journal"));
        d->path.clear();
        throw EngineError(QStringLiteral("Cannot create table '%1' in '%2': %3")
                              .arg(name, QDir::toNativeSeparators(dir), detail));
    }
    sqlite3_close(conn);
    d->path.clear();
}

namespace {

// Runs `work` on a closed table's file, opened on its own connection after the
// catalogue (and the password, for a protected table) has been checked, so a
// file that is not one of our tables is never touched. The connection is
// closed on every path.
template <class Work>
void onVerifiedFile(TableCursor &d, const QString &doing, Work &&work)
{
    Session *session = nullptr;
    const QString dir = d.resolveDirectory(&session);
    const QString file = findTableFile(dir, d.tableName);
    if (file.isEmpty())
        throw EngineError(QStringLiteral("Table '%1' does not exist in '%2'").arg(d.tableName, QDir::toNativeSeparators(dir)));
    d.path = file;
    sqlite3 *conn = d.connect(file, false, doing);
    try {
        QList<FieldDef> fields;
        d.readCatalogue(conn, session, &fields, nullptr);
        work(conn, file, dir);
    } catch (...) {
        sqlite3_close(conn);
        d.path.clear();
        throw;
    }
    sqlite3_close(conn);
    d.path.clear();
}

} // namespace

void Table::deleteTable()
{
    d->closeTable();
    QString deleted;
    onVerifiedFile(*d, QStringLiteral("delete"), [&](sqlite3 *conn, const QString &file, const QString &dir) {
        // Hold the file exclusively while it goes, so no other program is
        // in the middle of a write.
        const int rc = sqlite3_exec(conn, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            d->failOn(conn, rc, QStringLiteral("deleting the table"));
        if (!QFile::remove(file)) {
            TableCursor::exec(conn, "ROLLBACK");
            throw EngineError(QStringLiteral("Table '%1' cannot be deleted from '%2'").arg(d->tableName, QDir::toNativeSeparators(dir)));
        }
        TableCursor::exec(conn, "ROLLBACK");
        deleted = file;
    });
    QFile::remove(deleted + QLatin1String("-journal"));
}

void Table::emptyTable()
{
    if (d->db) {
        d->checkBrowseMode();
        d->endReadSpan();
        const int rc = sqlite3_exec(d->db, "DELETE FROM records", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            d->fail(rc, QStringLiteral("emptying the table"));
        d->pendingFirst = true;
        d->pos = -1;
        return;
    }
    onVerifiedFile(*d, QStringLiteral("empty"), [&](sqlite3 *conn, const QString &, const QString &) {
        const int rc = sqlite3_exec(conn, "DELETE FROM records", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            d->failOn(conn, rc, QStringLiteral("emptying the table"));
    });
}

void Table::startTransaction()
{
    d->requireActive();
    if (d->transaction)
        throw EngineError(QStringLiteral("Table '%1' is already in a transaction").arg(d->displayName()));
    d->endReadSpan();
    const int rc = sqlite3_exec(d->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        d->fail(rc, QStringLiteral("starting a transaction"));
    d->transaction = true;
    d->deferIndexes();
}

void Table::commit()
{
    d->requireActive();
    if (!d->transaction)
        return;
    d->checkBrowseMode();
    d->restoreIndexes();
    const int rc = sqlite3_exec(d->db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        d->fail(rc, QStringLiteral("committing"));
    d->transaction = false;
}

void Table::rollback()
{
    d->requireActive();
    if (!d->transaction)
        return;
    d->doCancel();
    sqlite3_exec(d->db, "ROLLBACK", nullptr, nullptr, nullptr);
    d->transaction = false;
    d->deferredIndexes.clear();   // the rollback brought them back
    d->pendingFirst = true;
    d->pos = -1;
}

bool Table::inTransaction() const { return d->transaction; }

TableDef Table::definition() const
{
    d->requireActive();
    TableDef def;
    def.name = d->tableName;
    def.fields = d->fields;
    for (const IndexInfo &ix : std::as_const(d->indexes))
        def.indexes.append(ix.def);
    return def;
}

} // namespace data
