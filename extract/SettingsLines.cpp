#include "extract/SettingsLines.h"

#include <limits>

namespace {
// Blanks and control characters (and NUL) separate entries when reading and
// call for quotes when writing.
bool isBlankOrControl(QChar c)
{
    return c.unicode() <= u' ';
}
} // namespace

QString CommaText(const QStringList &entries)
{
    if (entries.size() == 1 && entries.first().isEmpty())
        return QStringLiteral("\"\"");
    QString out;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        const QString &s = entries.at(i);
        bool quote = false;
        for (QChar c : s) {
            if (isBlankOrControl(c) || c == QLatin1Char('"') || c == QLatin1Char(',')) {
                quote = true;
                break;
            }
        }
        if (quote) {
            QString inner = s;
            inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            out += QLatin1Char('"') + inner + QLatin1Char('"');
        } else {
            out += s;
        }
    }
    return out;
}

QStringList ReadCommaText(const QString &line)
{
    QStringList out;
    const qsizetype n = line.size();
    qsizetype p = 0;
    auto skipBlanks = [&] {
        while (p < n && isBlankOrControl(line.at(p)))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        QString entry;
        if (line.at(p) == QLatin1Char('"')) {
            ++p;
            while (p < n) {
                if (line.at(p) == QLatin1Char('"')) {
                    if (p + 1 < n && line.at(p + 1) == QLatin1Char('"')) {
                        entry += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;   // closing quote
                    break;
                }
                entry += line.at(p++);
            }
            // An unclosed quote takes the rest of the line.
        } else {
            const qsizetype start = p;
            while (p < n && !isBlankOrControl(line.at(p)) && line.at(p) != QLatin1Char(','))
                ++p;
            entry = line.mid(start, p - start);
        }
        out.append(entry);
        skipBlanks();
        if (p < n && line.at(p) == QLatin1Char(',')) {
            if (p + 1 == n)
                out.append(QString());
            ++p;
            skipBlanks();
        }
    }
    return out;
}

int StrToIntDef(const QString &text, int def)
{
    qsizetype p = 0;
    const qsizetype n = text.size();
    while (p < n && text.at(p) == QLatin1Char(' '))
        ++p;
    bool negative = false;
    if (p < n && (text.at(p) == QLatin1Char('-') || text.at(p) == QLatin1Char('+'))) {
        negative = text.at(p) == QLatin1Char('-');
        ++p;
    }
    if (p >= n)
        return def;
    qint64 value = 0;
    for (; p < n; ++p) {
        const QChar c = text.at(p);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return def;
        value = value * 10 + (c.unicode() - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return def;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return def;
    return int(value);
}

ContributorsChoice ContributorsFromLine(const QString &line)
{
    if (line == QLatin1String("0"))
        return ContributorsChoice::AllSynods;
    if (line == QLatin1String("1"))
        return ContributorsChoice::SelectedSynods;
    return ContributorsChoice::People;
}

QString LineFromContributors(ContributorsChoice choice)
{
    return QString::number(int(choice));
}

bool AllFundsFromLine(const QString &line)
{
    return line == QLatin1String("1");
}

int VuveItemFromLine(const QString &line)
{
    const int value = StrToIntDef(line, 0);
    return value >= 0 && value <= 6 ? value : 0;
}

std::pair<QDate, QDate> DefaultDateRange(const QDate &today)
{
    const QDate firstOfThisMonth(today.year(), today.month(), 1);
    const QDate firstOfPrevious = firstOfThisMonth.addMonths(-1);
    return {firstOfPrevious, firstOfThisMonth.addDays(-1)};
}
