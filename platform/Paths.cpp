#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QString includeTrailingDelimiter(const QString &path)
{
    return path.endsWith(pathDelimiter) ? path : path + pathDelimiter;
}

QString excludeTrailingDelimiter(const QString &path)
{
    if (path.size() > 1 && path.endsWith(pathDelimiter))
        return path.left(path.size() - 1);
    return path;
}

QString joinPath(const QString &a, const QString &b)
{
    if (a.isEmpty())
        return b;
    qsizetype start = 0;
    while (start < b.size() && b[start] == pathDelimiter)
        ++start;
    if (b.isEmpty())
        return a;
    return includeTrailingDelimiter(a) + b.mid(start);
}

QString fromWindowsPath(const QString &path)
{
    QString out = path;
    if (out.size() >= 2 && out[1] == u':' && out[0].isLetter() && out[0].unicode() < 128) {
        out.remove(0, 2);
        if (!out.startsWith(u'\\') && !out.startsWith(u'/'))
            out.prepend(pathDelimiter);
    }
    out.replace(u'\\', pathDelimiter);
    return out;
}

bool directoryExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool fileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool forceDirectories(const QString &path)
{
    if (path.isEmpty())
        return false;
    if (directoryExists(path))
        return true;
    return QDir().mkpath(path) && directoryExists(path);
}

} // namespace platform
