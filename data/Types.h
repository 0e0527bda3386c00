#pragma once

#include <QString>
#include <QStringList>
#include <QList>
#include <cstdint>

namespace data {

// Field type codes 0..37, in the engine's numbering.
enum class FieldType : int {
    Unknown = 0, String, Smallint, Integer, Word, Boolean, Float, Currency, BCD,
    Date, Time, DateTime, Bytes, VarBytes, AutoInc, Blob, Memo, Graphic, FmtMemo,
    ParadoxOle, DBaseOle, TypedBinary, Cursor, FixedChar, WideString, Largeint,
    ADT, Array, Reference, DataSet, OraBlob, OraClob, Variant, Interface,
    IDispatch, Guid, TimeStamp, FMTBcd
};
constexpr int kFieldTypeCount = 38;

// 64-bit fixed point with four decimals: 25.50 is stored as 255000.
struct Currency {
    std::int64_t raw = 0;
    static constexpr std::int64_t kScale = 10000;
    static Currency fromRaw(std::int64_t r) { return Currency{r}; }
    static Currency fromUnits(std::int64_t units) { return Currency{units * kScale}; }
    double toDouble() const { return double(raw) / double(kScale); }
    friend bool operator==(Currency, Currency) = default;
    friend auto operator<=>(Currency, Currency) = default;
};

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // characters for String/FixedChar, else 0
    bool required = false;
};

struct IndexDef {
    QString name;          // empty for the primary index
    QStringList fields;    // in key order
    bool primary = false;
    bool unique = false;
    bool caseInsensitive = false;
    bool descending = false;
};

struct TableDef {
    QString name;            // empty: the table component's table name
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    QString password;        // non-empty: the table opens only for a session holding it
};

} // namespace data
