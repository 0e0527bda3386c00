#include "writers/CommaDelimited.h"

#include "writers/ExportStream.h"
#include "writers/RecordLoop.h"

namespace writers {

void writeCommaDelimitedRows(ExportStream &out, const TExtractList &columns,
                             data::Table &table, bool quoted, ExportContext &context)
{
    QString text;   // reused from field to field: no string is made per value
    data::Field::AsciiScratch scratch;
    forEachRecord(table, columns, context, [&](const std::vector<data::Field> &fields) {
        bool first = true;
        for (const data::Field &field : fields) {
            if (!first)
                out.appendChar(',');
            first = false;
            std::string_view ascii;
            if (field.asciiText(&ascii, scratch)) {   // most values: no conversion at all
                if (quoted)
                    out.appendQuotedLatin1(ascii);
                else
                    out.appendLatin1(ascii);
                continue;
            }
            text.truncate(0);
            field.appendString(text);
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
