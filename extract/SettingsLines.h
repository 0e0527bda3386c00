#pragma once

// The lines of the settings record and the comma text that two of them hold.

#include <QDate>
#include <QString>
#include <QStringList>
#include <utility>

// Entries separated by commas; an entry holding a blank, a comma, a double
// quote or a control character is enclosed in double quotes with each inner
// double quote doubled. A list of one empty entry is written as "" so that it
// reads back as one entry.
QString CommaText(const QStringList &entries);

// Reads comma text: commas and blanks outside quotes separate entries, a
// quoted entry may hold anything (doubled quotes stand for one), an empty
// line is an empty list, and a comma at the very end adds an empty entry.
QStringList ReadCommaText(const QString &line);

// A decimal integer, with optional leading blanks and sign; any other text,
// or a value outside 32 bits, gives the default.
int StrToIntDef(const QString &text, int def);

// Line 0: who gives.
enum class ContributorsChoice { AllSynods = 0, SelectedSynods = 1, People = 2 };
ContributorsChoice ContributorsFromLine(const QString &line);   // "0", "1", anything else
QString LineFromContributors(ContributorsChoice choice);         // "0", "1", "2"

// Line 2: "1" is all funds, anything else selected funds.
bool AllFundsFromLine(const QString &line);

// Line 4: the item of the VUVE field list, 0 to 6; anything else is item 0.
int VuveItemFromLine(const QString &line);

// The previous calendar month, first and last day, as seen on the given day.
std::pair<QDate, QDate> DefaultDateRange(const QDate &today);
