#include "dialogs/PendingPicker.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QDialog *CreatePendingPicker(const QString &title, const QString &what)
{
    auto *dlg = new QDialog(QApplication::activeWindow());
    dlg->setObjectName(QStringLiteral("frmPendingPicker"));
    dlg->setWindowTitle(title);
    auto *layout = new QVBoxLayout(dlg);
    auto *text = new QLabel(QObject::tr("The %1 is not available in this version yet. "
                                        "Your current choice stays as it is.")
                                .arg(what),
                            dlg);
    text->setObjectName(QStringLiteral("lblPending"));
    text->setWordWrap(true);
    text->setAccessibleName(QObject::tr("Message"));
    layout->addWidget(text);
    auto *close = new QPushButton(QObject::tr("Clo&se"), dlg);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setAccessibleName(QObject::tr("Close"));
    layout->addWidget(close, 0, Qt::AlignRight);
    QObject::connect(close, &QPushButton::clicked, dlg, &QDialog::accept);
    dlg->setFixedWidth(300);
    return dlg;
}
