#include "dialogs/DualList.h"

#include "dialogs/PendingPicker.h"

#include <QDialog>
#include <memory>

qint32 SelectionLimit = -1;

void ShowSelection(const QString &Caption, qint32 Limit, bool Sorted, const StringList &Source,
                   StringList &Destination, qint32 HelpContext)
{
    Q_UNUSED(Sorted);
    Q_UNUSED(Source);
    Q_UNUSED(HelpContext);
    std::unique_ptr<QDialog> dlg(CreatePendingPicker(QObject::tr("Selection"),
                                                     QObject::tr("picker for %1").arg(Caption)));
    SelectionLimit = Limit;
    dlg->exec();
    // Destination keeps its entries: this dialog changes nothing.
    Q_UNUSED(Destination);
}
