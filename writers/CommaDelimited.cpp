#include "writers/CommaDelimited.h"

#include "writers/ExportStream.h"
#include "writers/RecordLoop.h"

namespace writers {

void writeCommaDelimitedRows(ExportStream &out, const TExtractList &columns,
                             data::Table &table, bool quoted, ExportContext &context)
{
    forEachRecord(table, columns, context, [&](const std::vector<data::Field> &fields) {
        bool first = true;
        for (const data::Field &field : fields) {
            if (!first)
                out.appendChar(',');
            first = false;
            const QString text = field.asString();
            if (quoted)
                out.appendQuotedText(text);
            else
                out.appendText(text);
        }
        out.endLine();
    });
}

} // namespace writers

void WriteCommaDelimited(const QString &fileName, const TExtractList &columns,
                         data::Table &table, bool quoted, ExportContext &context)
{
    writers::writeExportFile(fileName, context, [&](writers::ExportStream &out) {
        writers::writeCommaDelimitedRows(out, columns, table, quoted, context);
    });
}
