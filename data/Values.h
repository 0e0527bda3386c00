#pragma once

#include <string_view>

// Internal: how field values are stored in a table file and converted
// between the accessors and the stored form. Not for use outside data/.

#include "data/Types.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

namespace data::detail {

// The stored form of each field type (see docs/table-format.md).
enum class Storage : quint8 { Text, Integer, Real, Blob, Currency, Date, Time, DateTime, Boolean };

Storage storageOf(FieldType type);
const char *sqlTypeOf(FieldType type);   // TEXT, INTEGER, REAL or BLOB
bool isTextType(FieldType type);         // compared and cut as text
QString typeName(FieldType type);

constexpr qint64 kMsPerDay = 86400000;

// A stored value, owning its bytes: key values, filter literals.
struct Value {
    enum Kind : quint8 { Null, Int, Real, Text, Blob };
    Kind kind = Null;
    qint64 i = 0;
    double d = 0;
    QByteArray bytes;   // UTF-8 for Text

    static Value null() { return {}; }
    static Value integer(qint64 v) { Value x; x.kind = Int; x.i = v; return x; }
    static Value real(double v) { Value x; x.kind = Real; x.d = v; return x; }
    static Value text(QByteArray v) { Value x; x.kind = Text; x.bytes = std::move(v); return x; }
    static Value blob(QByteArray v) { Value x; x.kind = Blob; x.bytes = std::move(v); return x; }
};

// Converts a caller's value to the stored form of a field; ConversionError
// (naming the field) when it cannot be converted. Text is cut to the size.
Value toStored(const FieldDef &field, const QVariant &value);

// Text accepted for numbers: an optional sign, digits, the decimal point or
// the user's decimal separator. No thousands separators, no exponent for currency.
bool parseInteger(const QString &text, qint64 *out);
bool parseDouble(const QString &text, double *out);
bool parseCurrency(const QString &text, qint64 *raw);
bool parseDate(const QString &text, QDate *out);
bool parseDateTime(const QString &text, QDateTime *out);

// The text form: general number form with at most 15 significant digits,
// no trailing zeros, the user's decimal separator, no thousands separators.
QString formatGeneral(double value);
QString formatCurrency(qint64 raw);
QString formatDate(const QDate &date);
QString formatTime(const QTime &time);
QString formatDateTime(const QDateTime &dateTime);
QString formatStoredDateTime(qint64 ms);   // as formatDateTime, from the stored form

// The same text forms appended to a caller's buffer, which is reused from
// value to value: the common cases make no string of their own.
void appendGeneral(QString &out, double value);
void appendCurrency(QString &out, qint64 raw);
void appendStoredDate(QString &out, qint64 jd);
void appendStoredDateTime(QString &out, qint64 ms);
void appendUtf8(QString &out, const char *bytes, qsizetype size);

// The same text forms as bytes when they are plain ASCII under the settings
// in force, written into buf (at least 32 bytes); false when they are not
// (a separator or a date pattern outside ASCII) or too long: take the
// QString form then.
bool currencyAscii(qint64 raw, char *buf, std::string_view *out);
// An integer's text form, always ASCII, written at the end of buf (32 bytes).
std::string_view integerAscii(qint64 value, char *buf);
bool storedDateAscii(qint64 jd, char *buf, std::string_view *out);

inline qint64 dateToStored(const QDate &d) { return d.toJulianDay(); }
inline QDate storedToDate(qint64 jd) { return QDate::fromJulianDay(jd); }
qint64 dateTimeToStored(const QDateTime &dt);
QDateTime storedToDateTime(qint64 ms);

} // namespace data::detail
