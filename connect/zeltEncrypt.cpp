#include "connect/zeltEncrypt.h"

#include "platform/Error.h"

#include <optional>

namespace {

constexpr char ForwardDigits[] = "0123456789ABCDEF";
constexpr char ReversedDigits[] = "FEDCBA9876543210";

const char *table(bool reversed)
{
    return reversed ? ReversedDigits : ForwardDigits;
}

// Key and pair digits may be of either case, unlike the scramble tables.
std::optional<int> hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

// One or two hex digits as a number; anything else (an empty pair included)
// is a failure.
int readHex(const QByteArray &digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        throw platform::Error(QStringLiteral("Invalid hex text"));
    int value = 0;
    for (char c : digits) {
        const std::optional<int> v = hexValue(c);
        if (!v)
            throw platform::Error(QStringLiteral("Invalid hex text"));
        value = value * 16 + *v;
    }
    return value;
}

QByteArray decode(QByteArray s, bool hexInput)
{
    if (!hexInput)
        s = s.toHex().toUpper();

    const qsizetype length = s.size();
    QByteArray keyText;
    QByteArray body;
    if (length > 8) {
        keyText = QByteArray{} + s.at(3) + s.at(length - 1);
        body = s.left(3) + s.mid(4, length - 5);
    } else {
        keyText = QByteArray{} + s.at(0) + s.at(length - 1);
        body = length > 2 ? s.mid(1, length - 2) : QByteArray{};
    }

    const int key = readHex(keyText);
    const bool reversed = key % 2 == 0;

    const qsizetype n = body.size();
    QByteArray work = body;
    if (n > 6) {
        const qsizetype p = n - 3;
        const int sum = DigitIndex(body.at(2), reversed) + DigitIndex(body.at(p - 1), reversed);
        for (qsizetype i = 1; i <= n; ++i) {
            if (i == 3 || i == p)
                continue;
            int d = DigitIndex(body.at(i - 1), reversed) - int((sum * i) % 16);
            if (d < 0)
                d += 16;
            work[i - 1] = DigitAt(d, reversed);
        }
    }

    QByteArray result;
    int j = 1;
    do {
        const qsizetype take = qMin<qsizetype>(2, work.size());
        const int v = readHex(work.right(take));
        work.chop(take);
        const int m = (key * j) % 256;
        result.append(char(v >= m ? v - m : v + 256 - m));
        ++j;
    } while (!work.isEmpty());
    return result;
}

} // namespace

int DigitIndex(char c, bool reversed)
{
    const char *digits = table(reversed);
    for (int i = 0; i < 16; ++i) {
        if (digits[i] == c)
            return i;
    }
    throw platform::Error(QStringLiteral("Invalid Char"));
}

char DigitAt(int index, bool reversed)
{
    if (index < 0 || index > 15)
        throw platform::Error(QStringLiteral("Index Out of Bounds %1").arg(index));
    return table(reversed)[index];
}

QByteArray DecodeString(const QByteArray &input, bool hexInput)
{
    if (input.isEmpty())
        return {};
    try {
        return decode(input, hexInput);
    } catch (...) {
        // A failed decode is not an error for the caller: it gets its text back.
        return input;
    }
}

QByteArray EncodeString(const QByteArray &plain, quint8 key)
{
    if (plain.isEmpty())
        return {};
    const bool reversed = key % 2 == 0;

    // The decoder reads pairs from the end: the first byte is the last pair.
    QByteArray work;
    work.reserve(plain.size() * 2);
    for (qsizetype j = plain.size(); j >= 1; --j) {
        const int m = int((key * j) % 256);
        const int v = (quint8(plain.at(j - 1)) + m) % 256;
        work.append(QByteArray::number(v, 16).rightJustified(2, '0').toUpper());
    }

    const qsizetype n = work.size();
    QByteArray body = work;
    if (n > 6) {
        const qsizetype p = n - 3;
        const int sum = DigitIndex(work.at(2), reversed) + DigitIndex(work.at(p - 1), reversed);
        for (qsizetype i = 1; i <= n; ++i) {
            if (i == 3 || i == p)
                continue;
            body[i - 1] = DigitAt(int((DigitIndex(work.at(i - 1), reversed) + sum * i) % 16), reversed);
        }
    }

    const QByteArray keyText = QByteArray::number(key, 16).rightJustified(2, '0').toUpper();
    if (n + 2 > 8)
        return body.left(3) + keyText.at(0) + body.mid(3) + keyText.at(1);
    return keyText.at(0) + body + keyText.at(1);
}
