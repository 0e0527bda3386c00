#pragma once

// Unit CustDualList: the modal fund picker, over a list of fund descriptions.

#include "dialogs/StringList.h"

// The most descriptions the list may hold; -1 means no limit. Set by every
// call of ShowFundSelection before the dialog is shown.
extern qint32 FundSelectionLimit;

// Runs the fund picker modally over Funds, which is rewritten in place however
// the dialog is closed.
void ShowFundSelection(qint32 Limit, StringList &Funds);
