#pragma once

// Fixed sample material for the demo installation: names, places, funds.

#include <QList>
#include <QString>
#include <QStringList>

namespace demodata {

struct FundRow {
    int number;
    const char *code;          // UTF-8
    const char *description;   // UTF-8
    bool taxDeductible;
};

// The fund table. Between them the codes and descriptions cover every way a
// project code is derived: two- and seven-character codes, a hyphen among the
// four characters before the last (at either end of that window), among the
// nine before the last only (at either end), just outside it, as the last
// character, in a description of four characters or fewer, none at all, an
// en dash that is no hyphen; and descriptions with quotes, commas,
// ampersands and letters beyond ASCII.
const QList<FundRow> &funds();

// Fund numbers that gift lines carry but the fund table lacks (deleted funds).
const QList<int> &missingFundNumbers();

const QStringList &firstNames();
const QStringList &lastNames();
const QStringList &churchNames();     // congregation names without the place
const QStringList &places();
const QStringList &synodNames();

} // namespace demodata
