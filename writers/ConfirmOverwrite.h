#pragma once

#include <QString>

class CancelFlag;

// Asks "Overwrite existing file: <name>" with Yes and No when the file
// exists; the flag is set exactly when the answer is No, and cleared when
// there is no such file. Returns the flag's new value.
bool ConfirmOverwrite(const QString &fileName, CancelFlag &cancel);
