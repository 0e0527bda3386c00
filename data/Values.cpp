#include "data/Values.h"

#include "data/Engine.h"
#include "platform/Regional.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace data::detail {

namespace {

// The regional settings for the text forms, made on every row: kept until
// platform reports that the settings in force changed, so a row costs no
// lock and no copy of the patterns.
struct RegionalInForce {
    quint64 generation = 0;
    std::shared_ptr<const platform::RegionalSettings> settings;
};

const RegionalInForce &regionalInForce()
{
    thread_local RegionalInForce current;
    if (!current.settings || platform::regionalSettingsGeneration() != current.generation)
        current.settings = platform::currentRegionalSettings(&current.generation);
    return current;
}

const platform::RegionalSettings &regional()
{
    return *regionalInForce().settings;
}

} // namespace

Storage storageOf(FieldType type)
{
    switch (type) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::AutoInc:
    case FieldType::Largeint:
        return Storage::Integer;
    case FieldType::Boolean:
        return Storage::Boolean;
    case FieldType::Float:
    case FieldType::BCD:
    case FieldType::FMTBcd:
        return Storage::Real;
    case FieldType::Currency:
        return Storage::Currency;
    case FieldType::Date:
        return Storage::Date;
    case FieldType::Time:
        return Storage::Time;
    case FieldType::DateTime:
    case FieldType::TimeStamp:
        return Storage::DateTime;
    case FieldType::Bytes:
    case FieldType::VarBytes:
    case FieldType::Blob:
    case FieldType::Graphic:
    case FieldType::ParadoxOle:
    case FieldType::DBaseOle:
    case FieldType::TypedBinary:
    case FieldType::OraBlob:
        return Storage::Blob;
    default:
        return Storage::Text;
    }
}

const char *sqlTypeOf(FieldType type)
{
    switch (storageOf(type)) {
    case Storage::Text:
        return "TEXT";
    case Storage::Real:
        return "REAL";
    case Storage::Blob:
        return "BLOB";
    default:
        return "INTEGER";
    }
}

bool isTextType(FieldType type)
{
    return storageOf(type) == Storage::Text;
}

QString typeName(FieldType type)
{
    static const char *const names[kFieldTypeCount] = {
        "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
        "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
        "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString",
        "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
        "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd"};
    const int code = int(type);
    return code >= 0 && code < kFieldTypeCount ? QString::fromLatin1(names[code])
                                               : QString::number(code);
}

namespace {

QString normaliseNumberText(const QString &text)
{
    QString t = text.trimmed();
    const QChar sep = regional().decimalSeparator;
    if (!sep.isNull() && sep != QLatin1Char('.'))
        t.replace(sep, QLatin1Char('.'));
    return t;
}

[[noreturn]] void cannotConvert(const FieldDef &field, const QVariant &value)
{
    throw ConversionError(QStringLiteral("'%1' is not a valid value for field '%2' (%3)")
                              .arg(value.toString(), field.name, typeName(field.type)));
}

qint64 toInteger(const FieldDef &field, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::Bool:
        return value.toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            cannotConvert(field, value);
        return qint64(u);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18)
            cannotConvert(field, value);
        return qint64(d);
    }
    default: {
        qint64 v = 0;
        if (!parseInteger(value.toString(), &v))
            cannotConvert(field, value);
        return v;
    }
    }
}

} // namespace

bool parseInteger(const QString &text, qint64 *out)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (ok)
        *out = v;
    return ok;
}

bool parseDouble(const QString &text, double *out)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(normaliseNumberText(text), &ok);
    if (ok && std::isfinite(v))
        *out = v;
    return ok && std::isfinite(v);
}

bool parseCurrency(const QString &text, qint64 *raw)
{
    const QString t = normaliseNumberText(text);
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        negative = t[i++] == QLatin1Char('-');
    qint64 units = 0;
    int digits = 0;
    while (i < t.size() && t[i].isDigit()) {
        if (units > (std::numeric_limits<qint64>::max() / Currency::kScale - 9) / 10)
            return false;
        units = units * 10 + t[i++].digitValue();
        ++digits;
    }
    qint64 frac = 0;
    int fracDigits = 0;
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        ++i;
        while (i < t.size() && t[i].isDigit()) {
            const int dv = t[i++].digitValue();
            if (fracDigits < 4) {
                frac = frac * 10 + dv;
                ++fracDigits;
            } else if (fracDigits == 4) {
                if (dv >= 5)   // round half away from zero on the fifth decimal
                    ++frac;
                ++fracDigits;
            }
            ++digits;
        }
    }
    if (digits == 0 || i != t.size())
        return false;
    for (int k = std::min(fracDigits, 4); k < 4; ++k)
        frac *= 10;
    const qint64 v = units * Currency::kScale + frac;
    *raw = negative ? -v : v;
    return true;
}

bool parseDate(const QString &text, QDate *out)
{
    const QString t = text.trimmed();
    QDate d = QDate::fromString(t, Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(t, regional().shortDateFormat);
    if (d.isValid())
        *out = d;
    return d.isValid();
}

bool parseDateTime(const QString &text, QDateTime *out)
{
    const QString t = text.trimmed();
    QDateTime dt = QDateTime::fromString(t, Qt::ISODate);
    if (!dt.isValid()) {
        const platform::RegionalSettings &rs = regional();
        dt = QDateTime::fromString(t, rs.shortDateFormat + QLatin1Char(' ') + rs.shortTimeFormat);
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(t, rs.shortDateFormat);
            if (d.isValid())
                dt = QDateTime(d, QTime(0, 0));
        }
    }
    if (dt.isValid())
        *out = dt;
    return dt.isValid();
}

qint64 dateTimeToStored(const QDateTime &dt)
{
    return dt.date().toJulianDay() * kMsPerDay + dt.time().msecsSinceStartOfDay();
}

QDateTime storedToDateTime(qint64 ms)
{
    qint64 day = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(rest)));
}

Value toStored(const FieldDef &field, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return Value::null();
    switch (storageOf(field.type)) {
    case Storage::Text: {
        QString s;
        if (value.typeId() == QMetaType::QDate)
            s = formatDate(value.toDate());
        else if (value.typeId() == QMetaType::QDateTime)
            s = formatDateTime(value.toDateTime());
        else
            s = value.toString();
        if (field.size > 0 && s.size() > field.size)
            s.truncate(field.size);
        return Value::text(s.toUtf8());
    }
    case Storage::Integer:
        return Value::integer(toInteger(field, value));
    case Storage::Boolean: {
        if (value.typeId() == QMetaType::QString) {
            const QString s = value.toString().trimmed();
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return Value::integer(1);
            if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return Value::integer(0);
        }
        return Value::integer(toInteger(field, value) != 0 ? 1 : 0);
    }
    case Storage::Real: {
        double d = 0;
        if (value.typeId() == QMetaType::QString) {
            if (!parseDouble(value.toString(), &d))
                cannotConvert(field, value);
        } else {
            bool ok = false;
            d = value.toDouble(&ok);
            if (!ok)
                cannotConvert(field, value);
        }
        return Value::real(d);
    }
    case Storage::Currency: {
        qint64 raw = 0;
        switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble() * double(Currency::kScale);
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
                cannotConvert(field, value);
            raw = std::llround(d);
            break;
        }
        case QMetaType::QString:
        case QMetaType::QByteArray:
            if (!parseCurrency(value.toString(), &raw))
                cannotConvert(field, value);
            break;
        default: {
            const qint64 units = toInteger(field, value);
            if (units > std::numeric_limits<qint64>::max() / Currency::kScale
                || units < std::numeric_limits<qint64>::min() / Currency::kScale)
                cannotConvert(field, value);
            raw = units * Currency::kScale;
        }
        }
        return Value::integer(raw);
    }
    case Storage::Date: {
        QDate d;
        if (value.typeId() == QMetaType::QDate)
            d = value.toDate();
        else if (value.typeId() == QMetaType::QDateTime)
            d = value.toDateTime().date();
        else if (value.typeId() == QMetaType::QString)
            parseDate(value.toString(), &d);
        if (!d.isValid())
            cannotConvert(field, value);
        return Value::integer(dateToStored(d));
    }
    case Storage::DateTime: {
        QDateTime dt;
        if (value.typeId() == QMetaType::QDate)
            dt = QDateTime(value.toDate(), QTime(0, 0));
        else if (value.typeId() == QMetaType::QDateTime)
            dt = value.toDateTime();
        else if (value.typeId() == QMetaType::QString)
            parseDateTime(value.toString(), &dt);
        if (!dt.isValid())
            cannotConvert(field, value);
        return Value::integer(dateTimeToStored(dt));
    }
    case Storage::Time: {
        QTime t;
        if (value.typeId() == QMetaType::QTime)
            t = value.toTime();
        else if (value.typeId() == QMetaType::QDateTime)
            t = value.toDateTime().time();
        else if (value.typeId() == QMetaType::QString) {
            t = QTime::fromString(value.toString().trimmed(), Qt::ISODate);
            if (!t.isValid())
                t = QTime::fromString(value.toString().trimmed(),
                                      regional().shortTimeFormat);
        }
        if (!t.isValid())
            cannotConvert(field, value);
        return Value::integer(t.msecsSinceStartOfDay());
    }
    case Storage::Blob:
        return Value::blob(value.toByteArray());
    }
    return Value::null();
}

QString formatGeneral(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    QString s = QString::number(value, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        // 1e+20 -> 1E20, 1e-05 -> 1E-5
        QString mantissa = s.left(e);
        QString exponent = s.mid(e + 1);
        const bool negative = exponent.startsWith(QLatin1Char('-'));
        exponent.remove(0, 1);
        while (exponent.size() > 1 && exponent.startsWith(QLatin1Char('0')))
            exponent.remove(0, 1);
        s = mantissa + QLatin1Char('E') + (negative ? QStringLiteral("-") : QString()) + exponent;
    }
    const QChar sep = regional().decimalSeparator;
    if (!sep.isNull() && sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

namespace {

// Writes the decimal digits of v at the end of buf; returns where they start.
char *writeDigits(char *end, quint64 v)
{
    do {
        *--end = char('0' + v % 10);
        v /= 10;
    } while (v);
    return end;
}

} // namespace

std::string_view integerAscii(qint64 value, char *buf)
{
    char *const end = buf + 32;
    const bool negative = value < 0;
    char *p = writeDigits(end, negative ? quint64(0) - quint64(value) : quint64(value));
    if (negative)
        *--p = '-';
    return std::string_view(p, size_t(end - p));
}

namespace {

// Writes v with at least `width` digits at out; returns the end.
char16_t *putNumber(char16_t *out, int v, int width)
{
    char buf[12];
    char *end = buf + sizeof buf;
    char *p = writeDigits(end, quint64(v));
    while (end - p < width)
        *--p = '0';
    while (p < end)
        *out++ = char16_t(*p++);
    return out;
}

// A short date pattern made only of d, dd, M, MM, yy, yyyy and characters
// other than letters and quotes, taken apart once: the dates of a pass are
// then written without parsing the pattern on every call. Anything else
// (day and month names, quoted text) goes through QDate::toString.
class DatePattern {
public:
    bool simple(const QString &format)
    {
        if (format != m_format || m_format.isNull()) {
            m_format = format;
            m_simple = compile(format);
        }
        return m_simple;
    }

    QString format(int y, int m, int d) const
    {
        char16_t buf[64];
        return QString(reinterpret_cast<const QChar *>(buf), write(buf, y, m, d) - buf);
    }

    void appendTo(QString &s, int y, int m, int d) const
    {
        char16_t buf[64];
        s.append(reinterpret_cast<const QChar *>(buf), write(buf, y, m, d) - buf);
    }

private:
    char16_t *write(char16_t *out, int y, int m, int d) const
    {
        for (const Token &t : m_tokens) {
            switch (t.kind) {
            case Token::Literal:
                *out++ = t.literal.unicode();
                break;
            case Token::Day:
                out = putNumber(out, d, t.width);
                break;
            case Token::Month:
                out = putNumber(out, m, t.width);
                break;
            case Token::Year:
                out = putNumber(out, t.width == 2 ? y % 100 : y, t.width);
                break;
            }
        }
        return out;
    }

    struct Token {
        enum Kind : quint8 { Literal, Day, Month, Year } kind;
        int width;
        QChar literal;
    };

    bool compile(const QString &format)
    {
        m_tokens.clear();
        if (format.size() > 16)   // every token writes at most four characters into a buffer of 64
            return false;
        for (qsizetype i = 0; i < format.size();) {
            const QChar c = format.at(i);
            qsizetype repeat = 1;
            while (i + repeat < format.size() && format.at(i + repeat) == c)
                ++repeat;
            if (c == QLatin1Char('d') || c == QLatin1Char('M')) {
                if (repeat > 2)
                    return false;
                m_tokens.push_back({c == QLatin1Char('d') ? Token::Day : Token::Month, int(repeat), {}});
            } else if (c == QLatin1Char('y')) {
                if (repeat != 2 && repeat != 4)
                    return false;
                m_tokens.push_back({Token::Year, int(repeat), {}});
            } else if (c.isLetter() || c == QLatin1Char('\'')) {
                return false;
            } else {
                for (qsizetype k = 0; k < repeat; ++k)
                    m_tokens.push_back({Token::Literal, 0, c});
            }
            i += repeat;
        }
        return true;
    }

    QString m_format;
    bool m_simple = false;
    std::vector<Token> m_tokens;
};

QString formatDateWith(const QDate &date, const QString &format)
{
    if (!date.isValid())
        return QString();
    thread_local DatePattern pattern;
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    if (y >= 1 && y <= 9999 && pattern.simple(format))
        return pattern.format(y, m, d);
    return date.toString(format);
}

void appendDateWith(QString &out, const QDate &date, const QString &format)
{
    if (!date.isValid())
        return;
    thread_local DatePattern pattern;
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    if (y >= 1 && y <= 9999 && pattern.simple(format))
        pattern.appendTo(out, y, m, d);
    else
        out += date.toString(format);
}

// The currency text form at the end of buf (ASCII, '.' as the point); false
// when it needs more than 15 significant digits.
bool currencyDigits(qint64 raw, char (&buf)[32], char **begin, char **point)
{
    const bool negative = raw < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
    const quint64 units = magnitude / quint64(Currency::kScale);
    quint64 frac = magnitude % quint64(Currency::kScale);
    int fracDigits = 4;
    while (fracDigits > 0 && frac % 10 == 0) {
        frac /= 10;
        --fracDigits;
    }
    char *const end = buf + sizeof buf;
    char *p = end;
    if (fracDigits > 0) {
        for (int k = 0; k < fracDigits; ++k) {
            *--p = char('0' + frac % 10);
            frac /= 10;
        }
        *--p = '.';   // the user's separator is put in by the caller
    }
    *point = fracDigits > 0 ? p : nullptr;
    char *const unitsEnd = p;
    p = writeDigits(p, units);
    const int significant = (units == 0 ? 0 : int(unitsEnd - p)) + fracDigits;
    if (significant > 15)
        return false;
    if (negative)
        *--p = '-';
    *begin = p;
    return true;
}

} // namespace

void appendCurrency(QString &out, qint64 raw)
{
    char buf[32];
    char *p = nullptr;
    char *point = nullptr;
    if (!currencyDigits(raw, buf, &p, &point)) {
        out += formatGeneral(double(raw) / double(Currency::kScale));
        return;
    }
    const qsizetype at = out.size();
    out.append(QLatin1StringView(p, qsizetype(buf + sizeof buf - p)));
    if (point) {
        const QChar sep = regional().decimalSeparator;
        if (!sep.isNull() && sep != QLatin1Char('.'))
            out[at + qsizetype(point - p)] = sep;
    }
}

void appendGeneral(QString &out, double value)
{
    out += formatGeneral(value);
}

namespace {

// The text forms of the days written lately, by day number: an export
// writes a million dates that fall on a few thousand days. A text made
// under other regional settings is made again.
class DateTexts {
public:
    static constexpr int kMaxLength = 22;
    struct Slot {
        qint64 jd = std::numeric_limits<qint64>::min();
        quint64 generation = 0;
        qint8 length = -1;   // -1: too long to keep
        bool ascii = false;
        char16_t text[kMaxLength];
        char bytes[kMaxLength];   // the same text, when it is ASCII
    };

    static DateTexts &forThread()
    {
        thread_local DateTexts texts;
        return texts;
    }

    const Slot &lookup(qint64 jd)
    {
        const RegionalInForce &in = regionalInForce();
        Slot &slot = m_slots[size_t(jd) & (kSlots - 1)];
        if (slot.jd == jd && slot.generation == in.generation)
            return slot;
        QString text;
        appendDateWith(text, QDate::fromJulianDay(jd), in.settings->shortDateFormat);
        slot.jd = jd;
        slot.generation = in.generation;
        slot.length = -1;
        if (text.size() <= kMaxLength) {
            slot.length = qint8(text.size());
            slot.ascii = true;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const char16_t c = text.utf16()[i];
                slot.text[i] = c;
                slot.bytes[i] = char(c);
                slot.ascii = slot.ascii && c < 0x80;
            }
        }
        return slot;
    }

private:
    static constexpr size_t kSlots = 4096;   // eleven years of days
    std::vector<Slot> m_slots = std::vector<Slot>(kSlots);
};

} // namespace

void appendStoredDate(QString &out, qint64 jd)
{
    const DateTexts::Slot &slot = DateTexts::forThread().lookup(jd);
    if (slot.length < 0)
        appendDateWith(out, QDate::fromJulianDay(jd), regional().shortDateFormat);
    else
        out.append(reinterpret_cast<const QChar *>(slot.text), slot.length);
}

bool storedDateAscii(qint64 jd, char *buf, std::string_view *out)
{
    const DateTexts::Slot &slot = DateTexts::forThread().lookup(jd);
    if (slot.length < 0 || !slot.ascii)
        return false;
    std::memcpy(buf, slot.bytes, size_t(slot.length));
    *out = std::string_view(buf, size_t(slot.length));
    return true;
}

bool currencyAscii(qint64 raw, char *buf, std::string_view *out)
{
    char(&digits)[32] = *reinterpret_cast<char(*)[32]>(buf);
    char *p = nullptr;
    char *point = nullptr;
    if (!currencyDigits(raw, digits, &p, &point))
        return false;
    if (point) {
        const QChar sep = regional().decimalSeparator;
        if (!sep.isNull()) {
            if (sep.unicode() >= 0x80)
                return false;
            *point = char(sep.unicode());
        }
    }
    *out = std::string_view(p, size_t(digits + sizeof digits - p));
    return true;
}

void appendStoredDateTime(QString &out, qint64 ms)
{
    // Straight from the stored day and time: no local date-time is made,
    // which would consult the time zone rules on every value.
    qint64 day = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    const platform::RegionalSettings &rs = regional();
    appendDateWith(out, QDate::fromJulianDay(day), rs.shortDateFormat);
    if (rest != 0) {
        out += QLatin1Char(' ');
        out += QTime::fromMSecsSinceStartOfDay(int(rest)).toString(rs.shortTimeFormat);
    }
}

void appendUtf8(QString &out, const char *bytes, qsizetype size)
{
    // Plain ASCII widens in place; anything else goes through the decoder.
    qsizetype i = 0;
    while (i < size && uchar(bytes[i]) < 0x80)
        ++i;
    if (i < size) {
        out += QString::fromUtf8(bytes, size);
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + size);
    char16_t *const dst = reinterpret_cast<char16_t *>(out.data()) + at;
    for (qsizetype k = 0; k < size; ++k)
        dst[k] = char16_t(uchar(bytes[k]));
}

QString formatCurrency(qint64 raw)
{
    QString s;
    appendCurrency(s, raw);
    return s;
}

QString formatDate(const QDate &date)
{
    return formatDateWith(date, regional().shortDateFormat);
}

QString formatTime(const QTime &time)
{
    return time.toString(regional().shortTimeFormat);
}

QString formatDateTime(const QDateTime &dateTime)
{
    const platform::RegionalSettings &rs = regional();
    const QString date = formatDateWith(dateTime.date(), rs.shortDateFormat);
    // Midnight shows as the date alone, as the suite's own programs show it.
    if (dateTime.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + dateTime.time().toString(rs.shortTimeFormat);
}

QString formatStoredDateTime(qint64 ms)
{
    QString s;
    appendStoredDateTime(s, ms);
    return s;
}

} // namespace data::detail
