#pragma once

#include <QDate>
#include <optional>

namespace platform {

// Today's date on the local clock, or the date a test has fixed.
QDate today();
void setTodayOverride(std::optional<QDate> date);

} // namespace platform
