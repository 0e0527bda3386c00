#pragma once

#include "writers/ExtractObject.h"

#include <QString>

namespace data { class Table; }
struct ExportContext;

namespace writers { class ExportStream; }

// Writes the table as one HTML table: the fixed head, a header row of the
// column captions, one row per record in the table's current order, and the
// closing lines (left out when the export is cancelled). An empty or null
// value gives a cell of &nbsp;; &, <, > and " in captions and values are
// written as entities. ConfirmOverwrite, the cancel flag and failures as for
// WriteCommaDelimited.
void WriteHtml(const QString &fileName, const TExtractList &columns, data::Table &table,
               ExportContext &context);

namespace writers {
void writeHtmlDocument(ExportStream &out, const TExtractList &columns, data::Table &table,
                       ExportContext &context);
} // namespace writers
