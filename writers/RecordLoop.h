#pragma once

#include "data/Table.h"
#include "writers/ExportContext.h"
#include "writers/ExtractObject.h"

#include <utility>
#include <vector>

namespace writers {

// Walks the table from its first record in its current order. Before each
// record the UI hook runs and the cancel flag is tested; a set flag stops
// the walk on that record and the result is false. writeRecord gets the fields of the column list,
// in list order (looked up once, on the first record: a missing name raises
// the engine's error there).
template <typename WriteRecord>
bool forEachRecord(data::Table &table, const TExtractList &columns, ExportContext &context,
                   WriteRecord &&writeRecord)
{
    table.first();
    const int count = table.recordCount();
    if (context.progress)
        context.progress(0, count);

    std::vector<data::Field> fields;
    bool looked = false;
    int written = 0;
    while (!table.eof()) {
        if (context.beforeRecord)
            context.beforeRecord();
        if (context.cancel.isSet())
            return false;
        if (!looked) {
            fields.reserve(size_t(columns.size()));
            for (const TExtractObject &column : columns)
                fields.push_back(table.fieldByName(column.fieldName));
            looked = true;
        }
        writeRecord(std::as_const(fields));
        ++written;
        if (context.progress)
            context.progress(written, count);
        table.next();
    }
    return true;
}

} // namespace writers
