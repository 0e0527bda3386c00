#pragma once

#include "writers/ExtractObject.h"

#include <QString>

namespace data { class Table; }
struct ExportContext;

namespace writers { class ExportStream; }

// Writes every record of the table, in its current order, as one line of
// fixed-width columns (FormatFixedField, money false), one per column, with
// nothing between them and no header. ConfirmOverwrite, the cancel flag and
// failures as for WriteCommaDelimited.
void WriteFixedLength(const QString &fileName, const TExtractList &columns,
                      data::Table &table, ExportContext &context);

namespace writers {
void writeFixedLengthRows(ExportStream &out, const TExtractList &columns, data::Table &table,
                          ExportContext &context);
} // namespace writers
