#include "platform/Regional.h"

#include <QLocale>

#include <atomic>
#include <chrono>
#include <mutex>

namespace platform {

namespace {

} // namespace

QString widenTwoDigitYear(const QString &format)
{
    QString out;
    out.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (!quoted && c == u'y') {
            qsizetype run = 0;
            while (i + run < format.size() && format[i + run] == u'y')
                ++run;
            out += run == 2 ? QStringLiteral("yyyy") : QString(run, u'y');
            i += run;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

namespace {

// The locale's currency pattern reduced to '$' for the symbol, '1' for the
// number, ' ' for any blank and '-' for the minus sign.
QString currencyShape(const QLocale &locale, double value)
{
    const QString symbol = locale.currencySymbol();
    QString text = locale.toCurrencyString(value);
    if (!symbol.isEmpty())
        text.replace(symbol, QStringLiteral("$"));
    QString shape;
    bool inNumber = false;
    for (const QChar c : text) {
        if (c.isDigit() || c == locale.decimalPoint().front() || c == locale.groupSeparator().front()) {
            if (!inNumber)
                shape += u'1';
            inNumber = true;
            continue;
        }
        inNumber = false;
        if (c == QChar(0x200E) || c == QChar(0x200F))
            continue;   // direction marks
        if (c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F))
            shape += u' ';
        else if (c == QChar(0x2212))
            shape += u'-';
        else
            shape += c;
    }
    return shape;
}

int positiveCurrencyFormat(const QLocale &locale)
{
    static const char *const shapes[] = {"$1", "1$", "$ 1", "1 $"};
    const QString shape = currencyShape(locale, 1.0);
    for (int i = 0; i < 4; ++i) {
        if (shape == QLatin1String(shapes[i]))
            return i;
    }
    return 0;
}

int negativeCurrencyFormat(const QLocale &locale)
{
    static const char *const shapes[] = {"($1)", "-$1", "$-1", "$1-", "(1$)", "-1$", "1-$", "1$-",
                                         "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};
    const QString shape = currencyShape(locale, -1.0);
    for (int i = 0; i < 16; ++i) {
        if (shape == QLatin1String(shapes[i]))
            return i;
    }
    return 1;
}

int currencyDecimalsOf(const QLocale &locale)
{
    const QString text = locale.toCurrencyString(1.0);
    const qsizetype point = text.indexOf(locale.decimalPoint());
    if (point < 0)
        return 0;
    int digits = 0;
    for (qsizetype i = point + 1; i < text.size() && text[i].isDigit(); ++i)
        ++digits;
    return digits;
}

QChar firstChar(const QString &s)
{
    return s.isEmpty() ? QChar() : s.front();
}

std::mutex g_mutex;
// Guarded by g_mutex: the override, the system locale last seen and the
// settings in force.
std::shared_ptr<const RegionalSettings> g_override;
std::optional<QLocale> g_systemLocale;
std::shared_ptr<const RegionalSettings> g_system;
std::atomic<quint64> g_generation{1};
std::atomic<bool> g_overridden{false};
std::atomic<qint64> g_nextSystemLookNs{0};

constexpr qint64 kSystemLookIntervalNs = 10'000'000;

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Under g_mutex: the settings in force, after a fresh look at the system locale.
std::shared_ptr<const RegionalSettings> currentLocked()
{
    if (g_override)
        return g_override;
    const QLocale system = QLocale::system();
    if (!g_system || !g_systemLocale || *g_systemLocale != system) {
        const bool changed = bool(g_system);
        g_systemLocale = system;
        g_system = std::make_shared<const RegionalSettings>(RegionalSettings::fromLocale(system));
        if (changed)
            g_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    g_nextSystemLookNs.store(steadyNs() + kSystemLookIntervalNs, std::memory_order_relaxed);
    return g_system;
}

} // namespace

RegionalSettings RegionalSettings::fromLocale(const QLocale &locale)
{
    RegionalSettings s;
    s.shortDateFormat = widenTwoDigitYear(locale.dateFormat(QLocale::ShortFormat));
    s.shortTimeFormat = locale.timeFormat(QLocale::ShortFormat);
    s.decimalSeparator = firstChar(locale.decimalPoint());
    s.thousandSeparator = firstChar(locale.groupSeparator());
    s.currencyString = locale.currencySymbol();
    s.currencyFormat = positiveCurrencyFormat(locale);
    s.negCurrFormat = negativeCurrencyFormat(locale);
    s.currencyDecimals = currencyDecimalsOf(locale);
    return s;
}

RegionalSettings RegionalSettings::unitedStates()
{
    RegionalSettings s;
    s.shortDateFormat = QStringLiteral("M/d/yyyy");
    s.shortTimeFormat = QStringLiteral("h:mm AP");
    s.decimalSeparator = u'.';
    s.thousandSeparator = u',';
    s.currencyString = QStringLiteral("$");
    s.currencyFormat = 0;
    s.negCurrFormat = 0;
    s.currencyDecimals = 2;
    return s;
}

RegionalSettings RegionalSettings::commaDecimal()
{
    RegionalSettings s;
    s.shortDateFormat = QStringLiteral("dd.MM.yyyy");
    s.shortTimeFormat = QStringLiteral("HH:mm");
    s.decimalSeparator = u',';
    s.thousandSeparator = u'.';
    s.currencyString = QString(QChar(0x20AC));
    s.currencyFormat = 3;
    s.negCurrFormat = 8;
    s.currencyDecimals = 2;
    return s;
}

RegionalSettings regionalSettings()
{
    return *currentRegionalSettings();
}

std::shared_ptr<const RegionalSettings> currentRegionalSettings(quint64 *generation)
{
    std::lock_guard lock(g_mutex);
    auto settings = currentLocked();
    if (generation)
        *generation = g_generation.load(std::memory_order_acquire);
    return settings;
}

quint64 regionalSettingsGeneration()
{
    if (!g_overridden.load(std::memory_order_acquire)
        && steadyNs() >= g_nextSystemLookNs.load(std::memory_order_relaxed)) {
        std::lock_guard lock(g_mutex);
        if (!g_override)
            currentLocked();
    }
    return g_generation.load(std::memory_order_acquire);
}

void setRegionalOverride(std::optional<RegionalSettings> settings)
{
    std::lock_guard lock(g_mutex);
    g_override = settings ? std::make_shared<const RegionalSettings>(std::move(*settings)) : nullptr;
    g_overridden.store(bool(g_override), std::memory_order_release);
    // Back to the system locale: look at it afresh on the next use.
    g_nextSystemLookNs.store(0, std::memory_order_relaxed);
    g_generation.fetch_add(1, std::memory_order_acq_rel);
}

} // namespace platform
