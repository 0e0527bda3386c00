#include "platform/Environment.h"

namespace platform {

std::optional<QString> environmentValue(const char *name)
{
    if (!name || !*name)
        return std::nullopt;
    QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

} // namespace platform
