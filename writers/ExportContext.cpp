#include "writers/ExportContext.h"

#include "writers/ConfirmOverwrite.h"

#include <QCoreApplication>

void ThrottledEventHook::operator()()
{
    // Even reading the clock is a noticeable share of a row: look at it on
    // every kClockStride-th call only, a few microseconds of rows apart.
    if (m_sinceLast.isValid() && m_intervalMs > 0 && (++m_calls % kClockStride) != 0)
        return;
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < m_intervalMs)
        return;
    QCoreApplication::processEvents();
    m_sinceLast.start();
}

ExportContext::ExportContext(CancelFlag &cancelFlag)
    : cancel(cancelFlag)
    , beforeRecord(ThrottledEventHook())
    , confirmOverwrite([&cancelFlag](const QString &fileName) { ConfirmOverwrite(fileName, cancelFlag); })
{
}
