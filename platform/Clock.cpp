#include "platform/Clock.h"

#include <mutex>

namespace platform {

namespace {
std::mutex g_mutex;
std::optional<QDate> g_today;
} // namespace

QDate today()
{
    std::lock_guard lock(g_mutex);
    return g_today ? *g_today : QDate::currentDate();
}

void setTodayOverride(std::optional<QDate> date)
{
    std::lock_guard lock(g_mutex);
    g_today = date;
}

} // namespace platform
