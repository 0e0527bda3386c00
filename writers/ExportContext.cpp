#include "writers/ExportContext.h"

#include "writers/ConfirmOverwrite.h"

#include <QCoreApplication>

void ThrottledEventHook::operator()()
{
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
