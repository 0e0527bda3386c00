#pragma once

#include <QString>
#include <optional>

namespace platform {

// An environment variable's value; nullopt when it is unset or empty (on
// Linux an empty value is how a variable is commonly "cleared").
std::optional<QString> environmentValue(const char *name);

} // namespace platform
