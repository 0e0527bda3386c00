#include "dialogs/CustDualList.h"

#include "dialogs/PendingPicker.h"

#include <QDialog>
#include <memory>

qint32 FundSelectionLimit = -1;

void ShowFundSelection(qint32 Limit, StringList &Funds)
{
    std::unique_ptr<QDialog> dlg(
        CreatePendingPicker(QObject::tr("Fund Selection"), QObject::tr("fund picker")));
    FundSelectionLimit = Limit;
    dlg->exec();
    Q_UNUSED(Funds);
}
