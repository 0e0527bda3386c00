#pragma once

// Internal: the filter expression language of table components, turned into
// a parameterised SQL condition. Filter text never reaches SQL as text.
//
//   expression := term { OR term }
//   term       := factor { AND factor }
//   factor     := NOT factor | '(' expression ')' | comparison
//   comparison := operand ( '=' | '<>' | '!=' | '<' | '>' | '<=' | '>=' ) operand
//               | operand IS [NOT] NULL
//   operand    := field | literal
//   field      := name | "name with blanks" | [name with blanks]
//   literal    := number | 'text' (a quote inside doubled) | NULL | TRUE | FALSE
//
// Keywords and field names are matched without regard to case. A literal
// compared with a field is converted to that field's type. Text is compared
// with case.

#include "data/Types.h"
#include "data/Values.h"

#include <QList>
#include <QString>

namespace data::detail {

struct FilterSql {
    QString sql;            // condition with '?' placeholders
    QList<Value> params;    // in placeholder order
};

// EngineError naming the table for text that cannot be parsed or names an
// unknown field; ConversionError for a literal the field cannot take.
FilterSql parseFilter(const QString &text, const QList<FieldDef> &fields, const QString &tableName);

QString quoteIdentifier(const QString &name);

} // namespace data::detail
