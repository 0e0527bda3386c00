#include "writers/ZELXFixedText.h"

#include "data/Table.h"
#include "platform/Regional.h"

#include <QDateTime>

namespace writers {

namespace {

using data::FieldType;

// Characters as the file will hold them: a character outside the 16-bit
// range is one character (one byte in the code page), not two.
qsizetype characterCount(QStringView text)
{
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            --count;
            ++i;
        }
    }
    return count;
}

void leftAligned(QString &line, QStringView text, qsizetype width)
{
    line += text;
    const qsizetype pad = width - characterCount(text);
    if (pad > 0)
        line.resize(line.size() + pad, u' ');
}

// As leftAligned, with the field's text form put straight into the line.
void leftAlignedField(QString &line, const data::Field &field, qsizetype width)
{
    const qsizetype at = line.size();
    field.appendString(line);
    const qsizetype pad = width - characterCount(QStringView(line).sliced(at));
    if (pad > 0)
        line.resize(line.size() + pad, u' ');
}

void rightAligned(QString &line, QStringView text, qsizetype width)
{
    const qsizetype pad = width - characterCount(text);
    if (pad > 0)
        line.resize(line.size() + pad, u' ');
    line += text;
}

void spaces(QString &line, qsizetype width)
{
    line.resize(line.size() + width, u' ');
}

// The same pictures the data-access layer uses for the text form.
QString shortTime(const QTime &time, const platform::RegionalSettings &regional)
{
    return time.toString(regional.shortTimeFormat);
}

QString shortDate(const QDate &date, const platform::RegionalSettings &regional)
{
    return date.toString(regional.shortDateFormat);
}

// The first 255 characters of a memo (a character outside the 16-bit range
// counts once and is never split).
QStringView firstCharacters(QStringView text, qsizetype count)
{
    qsizetype units = 0;
    for (qsizetype n = 0; n < count && units < text.size(); ++n) {
        if (text[units].isHighSurrogate() && units + 1 < text.size()
            && text[units + 1].isLowSurrogate())
            units += 2;
        else
            units += 1;
    }
    return text.first(units);
}

QString digitsOf(quint64 value)
{
    return QString::number(value);
}

} // namespace

QString fixedTwoDecimals(qint64 raw, QChar decimalSeparator)
{
    const bool negative = raw < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(raw) : quint64(raw);
    const quint64 cents = (magnitude + 50) / 100;
    QString text;
    if (negative && cents != 0)
        text += u'-';
    text += digitsOf(cents / 100);
    text += decimalSeparator;
    const auto fraction = int(cents % 100);
    text += QChar(u'0' + fraction / 10);
    text += QChar(u'0' + fraction % 10);
    return text;
}

QString regionalCurrency(qint64 raw, const platform::RegionalSettings &regional)
{
    const int decimals = qBound(0, regional.currencyDecimals, 9);
    const bool negativeValue = raw < 0;
    quint64 magnitude = negativeValue ? quint64(0) - quint64(raw) : quint64(raw);

    // From four stored decimals to the regional number, half away from zero.
    QString fraction;
    quint64 whole;
    if (decimals >= 4) {
        whole = magnitude / 10000;
        fraction = QString::number(magnitude % 10000).rightJustified(4, u'0')
                   + QString(decimals - 4, u'0');
    } else {
        quint64 divisor = 1;
        for (int i = decimals; i < 4; ++i)
            divisor *= 10;
        const quint64 rounded = (magnitude + divisor / 2) / divisor;
        quint64 scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        whole = rounded / scale;
        if (decimals > 0)
            fraction = QString::number(rounded % scale).rightJustified(decimals, u'0');
        magnitude = rounded;
    }
    const bool negative = negativeValue && magnitude != 0;

    QString number;
    const QString digits = QString::number(whole);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0 && !regional.thousandSeparator.isNull())
            number += regional.thousandSeparator;
        number += digits[i];
    }
    if (decimals > 0) {
        number += regional.decimalSeparator;
        number += fraction;
    }

    const QString &sym = regional.currencyString;
    if (!negative) {
        switch (regional.currencyFormat) {
        case 1: return number + sym;
        case 2: return sym + u' ' + number;
        case 3: return number + u' ' + sym;
        default: return sym + number;
        }
    }
    // The sixteen negative patterns, in their regional numbering.
    switch (regional.negCurrFormat) {
    case 1: return u'-' + sym + number;
    case 2: return sym + u'-' + number;
    case 3: return sym + number + u'-';
    case 4: return u'(' + number + sym + u')';
    case 5: return u'-' + number + sym;
    case 6: return number + u'-' + sym;
    case 7: return number + sym + u'-';
    case 8: return u'-' + number + u' ' + sym;
    case 9: return u'-' + sym + u' ' + number;
    case 10: return number + u' ' + sym + u'-';
    case 11: return sym + u' ' + number + u'-';
    case 12: return sym + u' ' + u'-' + number;
    case 13: return number + u'-' + u' ' + sym;
    case 14: return u'(' + sym + u' ' + number + u')';
    case 15: return u'(' + number + u' ' + sym + u')';
    default: return u'(' + sym + number + u')';
    }
}

void appendFixedField(QString &line, const data::Field &field, bool money,
                      const platform::RegionalSettings &regional)
{
    const FieldType type = field.dataType();
    switch (type) {
    case FieldType::String:
    case FieldType::FixedChar:
    case FieldType::WideString:
        // A null string reads as empty text: the declared width of spaces.
        leftAlignedField(line, field, field.size());
        return;
    case FieldType::Memo:
        leftAligned(line, firstCharacters(field.memoText(), 255), 255);
        return;
    default:
        break;
    }

    qsizetype width = 0;
    switch (type) {
    case FieldType::Smallint:
    case FieldType::Word: width = 6; break;
    case FieldType::Integer:
    case FieldType::AutoInc: width = 11; break;
    case FieldType::Largeint: width = 20; break;
    case FieldType::Boolean: width = 1; break;
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD: width = 21; break;
    case FieldType::Date:
    case FieldType::Time: width = 11; break;
    case FieldType::DateTime: width = 22; break;
    case FieldType::Guid: width = 38; break;
    default:
        return; // no column for the other types
    }
    if (field.isNull()) {
        spaces(line, width);
        return;
    }

    switch (type) {
    case FieldType::Smallint:
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::Largeint:
        rightAligned(line, QString::number(field.asLargeInt()), width);
        return;
    case FieldType::Boolean: {
        const QString text = field.asString();
        // No first character to give: keep the column's one character.
        line += text.isEmpty() ? QChar(u' ') : text.front();
        return;
    }
    case FieldType::Float: {
        QString text = QString::number(field.asFloat(), 'f', 2);
        if (text == u"-0.00")
            text.remove(0, 1); // a negative amount too small to show is no amount
        text.replace(u'.', regional.decimalSeparator);
        rightAligned(line, text, width);
        return;
    }
    case FieldType::Currency:
    case FieldType::BCD: {
        const qint64 raw = field.asCurrency().raw;
        rightAligned(line, money ? regionalCurrency(raw, regional)
                                 : fixedTwoDecimals(raw, regional.decimalSeparator),
                     width);
        return;
    }
    case FieldType::Date:
        leftAlignedField(line, field, width);
        return;
    case FieldType::Time:
        leftAligned(line, shortTime(field.asDateTime().time(), regional), width);
        return;
    case FieldType::DateTime: {
        const QDateTime value = field.asDateTime();
        leftAligned(line, shortDate(value.date(), regional) + u' ' + shortTime(value.time(), regional),
                    width);
        return;
    }
    case FieldType::Guid:
        line += field.asString();
        return;
    default:
        return;
    }
}

} // namespace writers

QString FormatFixedField(const data::Field &field, bool money)
{
    QString text;
    writers::appendFixedField(text, field, money, platform::regionalSettings());
    return text;
}
