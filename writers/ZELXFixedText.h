#pragma once

#include <QString>

namespace data { class Field; }
namespace platform { struct RegionalSettings; }

// The field of the current record as a fixed-width column: the width comes
// from the field's type (for strings, its declared size). A width is a
// minimum; longer text is never cut, except memo text at 255 characters.
// Money true formats currency in the regional currency format. Dates, times,
// numbers and currency follow the regional settings in force now.
QString FormatFixedField(const data::Field &field, bool money);

namespace writers {

// FormatFixedField appending to a line, with regional settings the caller
// read once for the whole file.
void appendFixedField(QString &line, const data::Field &field, bool money,
                      const platform::RegionalSettings &regional);

// Amount text of a currency value (four decimal places) rounded half away
// from zero: fixed two decimals, or the regional currency format.
QString fixedTwoDecimals(qint64 raw, QChar decimalSeparator);
QString regionalCurrency(qint64 raw, const platform::RegionalSettings &regional);

} // namespace writers
