#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

class QLocale;

namespace platform {

// The user's regional settings, read from the system locale at the time of use.
// Date and time patterns use Qt's QDate/QTime notation (which matches the
// Windows picture letters for d, M, y, h, H, m, s).
struct RegionalSettings {
    QString shortDateFormat;   // e.g. "M/d/yyyy" (two-digit years widened to four)
    QString shortTimeFormat;   // e.g. "h:mm AP"
    QChar decimalSeparator;    // '.' or ','
    QChar thousandSeparator;   // ',' or '.'
    QString currencyString;    // "$"
    int currencyFormat = 0;    // Windows positive currency format 0..3
    int negCurrFormat = 0;     // Windows negative currency format 0..15
    int currencyDecimals = 2;

    bool operator==(const RegionalSettings &) const = default;

    static RegionalSettings fromLocale(const QLocale &locale);
    static RegionalSettings unitedStates();   // M/d/yyyy, '.', ','
    static RegionalSettings commaDecimal();   // dd.MM.yyyy, ',', '.' (German-like), "1,00 €"
};

// A date pattern with each two-digit year ("yy") widened to four, outside
// quoted literals: "M/d/yy" -> "M/d/yyyy", "dd.MM.yy" -> "dd.MM.yyyy".
QString widenTwoDigitYear(const QString &format);

// The settings in force: an override set by tests, else the system locale now
// (cheap to call repeatedly; recomputed only when the system locale changes).
RegionalSettings regionalSettings();
void setRegionalOverride(std::optional<RegionalSettings> settings);

// For code that formats a value on every row: the number changes whenever the
// settings in force may have changed (the override set or cleared, the system
// locale changed), so a caller can keep what it derived from the settings
// until the number moves, with no lock on the way. The system locale is looked
// at again at most every few milliseconds here; regionalSettings() and
// currentRegionalSettings() always look.
quint64 regionalSettingsGeneration();
// The settings in force, shared rather than copied, with the generation they
// belong to.
std::shared_ptr<const RegionalSettings> currentRegionalSettings(quint64 *generation = nullptr);

} // namespace platform
