#include "writers/FixedLength.h"

#include "platform/Regional.h"
#include "writers/ExportStream.h"
#include "writers/RecordLoop.h"
#include "writers/ZELXFixedText.h"

namespace writers {

void writeFixedLengthRows(ExportStream &out, const TExtractList &columns, data::Table &table,
                          ExportContext &context)
{
    // The settings in force when the file is written, read once for all of it.
    const platform::RegionalSettings regional = platform::regionalSettings();
    QString line;
    forEachRecord(table, columns, context, [&](const std::vector<data::Field> &fields) {
        line.truncate(0);
        for (const data::Field &field : fields)
            appendFixedField(line, field, false, regional);
        out.appendText(line);
        out.endLine();
    });
}

} // namespace writers

void WriteFixedLength(const QString &fileName, const TExtractList &columns, data::Table &table,
                      ExportContext &context)
{
    writers::writeExportFile(fileName, context, [&](writers::ExportStream &out) {
        writers::writeFixedLengthRows(out, columns, table, context);
    });
}
