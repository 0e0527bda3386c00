#pragma once

#include "writers/ExtractObject.h"

#include <QString>

namespace data { class Table; }
struct ExportContext;

namespace writers { class ExportStream; }

// Writes every record of the table, in its current order, as one line of
// comma-separated text forms, one per column, without a header. Quoted puts
// each value in double quotes, a double quote inside doubled. The file is
// created only when ConfirmOverwrite leaves the cancel flag clear; a set flag
// afterwards means the file was left incomplete. Failures raise platform::Error
// (or the engine's error) with the file closed.
void WriteCommaDelimited(const QString &fileName, const TExtractList &columns,
                         data::Table &table, bool quoted, ExportContext &context);

namespace writers {
// The lines alone, onto a stream.
void writeCommaDelimitedRows(ExportStream &out, const TExtractList &columns,
                             data::Table &table, bool quoted, ExportContext &context);
} // namespace writers
