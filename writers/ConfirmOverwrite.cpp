#include "writers/ConfirmOverwrite.h"

#include "platform/MessageHost.h"
#include "platform/Paths.h"
#include "writers/ExportContext.h"

bool ConfirmOverwrite(const QString &fileName, CancelFlag &cancel)
{
    // A folder of that name is no file to overwrite: creating the file then
    // fails with its own message.
    if (platform::fileExists(fileName)) {
        const auto answer = platform::showMessage(
            platform::MessageKind::Question, QStringLiteral("Confirm"),
            QStringLiteral("Overwrite existing file: ") + fileName,
            platform::MessageButton::Yes | platform::MessageButton::No);
        cancel.setValue(answer == platform::MessageButton::No);
    } else {
        cancel.clear();
    }
    return cancel.isSet();
}
