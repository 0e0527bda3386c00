#pragma once

#include <QList>
#include <QString>

// One column of an export: the caption shown in a header (empty for the
// extract) and the name of the extract table field the column shows.
struct TExtractObject {
    QString caption;
    QString fieldName;
};

// The export column list, in column order. Built by the export handler,
// read by the writers, which never change it.
using TExtractList = QList<TExtractObject>;
