#pragma once

// The suite tables the tool touches and the tool's own extract table, each
// defined once: fields with their type codes and sizes, and the indexes the
// tool sets or searches. The definitions are what the demo installation
// creates and what tests build their fixtures from.

#include "data/Types.h"

#include <QList>
#include <QString>

namespace data::catalogue {

// Index names the tool sets on its table components.
inline constexpr char kByUserName[] = "byUserName";   // awusrmst
inline constexpr char kByParentID[] = "byParentID";   // aworlvl
inline constexpr char kCBTax[] = "CBTax";             // AWCBDET1
inline constexpr char kSortIndex[] = "Sort_Index";    // ExtractTable

// Table names, spelt as the suite spells them.
inline constexpr char kUsers[] = "awusrmst";
inline constexpr char kPermissions[] = "awusrpfl";
inline constexpr char kOrganizations[] = "aworname";
inline constexpr char kOrgLevels[] = "aworlvl";
inline constexpr char kFieldDescriptions[] = "awgeflds";
inline constexpr char kFunds[] = "AWCBTABL";
inline constexpr char kGifts[] = "AWCBDET1";
inline constexpr char kPeople[] = "awpeindv";
inline constexpr char kReports[] = "awgerpt";
inline constexpr char kExtractTable[] = "ExtractTable";

const TableDef &awusrmst();   // users: UserID, UserName, Password, ...; byUserName
const TableDef &awusrpfl();   // permissions: primary (UserID, Permission), Value
const TableDef &aworname();   // organisations: primary OrgID
const TableDef &aworlvl();    // organisation levels: primary LevelID; byParentID
const TableDef &awgeflds();   // field descriptions: primary FieldID, Description
const TableDef &awcbtabl();   // funds: primary Fund_Number
const TableDef &awcbdet1();   // gift lines: primary Detail_ID; CBTax
const TableDef &awpeindv();   // people: primary (Family_Number, Individual_Number)
const TableDef &awgerpt();    // report settings: primary ID
const TableDef &extractTable();

// The nine suite tables, in the order above (ExtractTable not included).
const QList<TableDef> &suiteTables();

// A suite table or ExtractTable by name, without regard to case; nullptr when
// the name is none of them.
const TableDef *findTable(const QString &name);

// As findTable, but an unknown name raises data::EngineError.
const TableDef &table(const QString &name);

} // namespace data::catalogue
