#pragma once

// Unit DualList: the modal picker that moves entries between a source list
// and a destination list (used for the synods).

#include "dialogs/StringList.h"

#include <QString>

// The most entries the destination may hold; -1 means no limit. Set by every
// call of ShowSelection before the dialog is shown.
extern qint32 SelectionLimit;

// Runs the picker modally over Destination, which is rewritten in place
// however the dialog is closed. Source is read only; the objects of its
// entries travel along with them.
void ShowSelection(const QString &Caption, qint32 Limit, bool Sorted, const StringList &Source,
                   StringList &Destination, qint32 HelpContext);
