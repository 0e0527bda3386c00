#pragma once

#include <QString>

class QDialog;

// A plain dialog standing in for a picker that this build does not have yet.
// It changes nothing and closes with its Close button or the close box.
QDialog *CreatePendingPicker(const QString &title, const QString &what);
