#pragma once

#include <QString>
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

} // namespace platform
