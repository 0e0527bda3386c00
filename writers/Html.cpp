#include "writers/Html.h"

#include "writers/ExportStream.h"
#include "writers/RecordLoop.h"

namespace writers {

namespace {

// Mark-up characters inside a caption or a value would break the table.
void appendEscaped(ExportStream &out, const QString &text)
{
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i].unicode()) {
        case u'&': entity = "&amp;"; break;
        case u'<': entity = "&lt;"; break;
        case u'>': entity = "&gt;"; break;
        case u'"': entity = "&quot;"; break;
        default: continue;
        }
        out.appendText(QStringView(text).sliced(plainFrom, i - plainFrom));
        out.appendLatin1(entity);
        plainFrom = i + 1;
    }
    out.appendText(QStringView(text).sliced(plainFrom));
}

void line(ExportStream &out, std::string_view text)
{
    out.appendLatin1(text);
    out.endLine();
}

void WriteHtmlHeaderRow(ExportStream &out, const TExtractList &columns)
{
    line(out, "   <TR>");
    for (const TExtractObject &column : columns) {
        out.appendLatin1("      <TD><B><P>");
        appendEscaped(out, column.caption);
        line(out, "</B></TD>");
    }
    line(out, "   </TR>");
}

} // namespace

void writeHtmlDocument(ExportStream &out, const TExtractList &columns, data::Table &table,
                       ExportContext &context)
{
    line(out, "<HTML>");
    line(out, "<HEAD>");
    line(out, "   <TITLE> </TITLE>");
    line(out, "   <B> <BR>");
    line(out, "    <BR>");
    line(out, "    </B>");
    line(out, "</HEAD>");
    line(out, "");
    line(out, "<BODY TEXT=\"#000000\" BGCOLOR=\"#ffffff\">");
    line(out, "");
    line(out, "<TABLE CELLSPACING=0 BORDER=1 CELLPADDING=7>");
    WriteHtmlHeaderRow(out, columns);

    QString text;
    const bool complete = forEachRecord(table, columns, context, [&](const std::vector<data::Field> &fields) {
        line(out, "   <TR>");
        for (const data::Field &field : fields) {
            // A null value reads as empty text, so this covers the null test too.
            text.truncate(0);
            field.appendString(text);
            if (text.isEmpty()) {
                line(out, "      <TD><P>&nbsp;</TD>");
            } else {
                out.appendLatin1("      <TD><P>");
                appendEscaped(out, text);
                line(out, "</TD>");
            }
        }
        line(out, "   </TR>");
    });
    if (!complete)
        return; // a cancelled file ends with its last complete row

    line(out, "</TABLE>");
    line(out, "</BODY>");
    line(out, "</HTML>");
}

} // namespace writers

void WriteHtml(const QString &fileName, const TExtractList &columns, data::Table &table,
               ExportContext &context)
{
    writers::writeExportFile(fileName, context, [&](writers::ExportStream &out) {
        writers::writeHtmlDocument(out, columns, table, context);
    });
}
