#pragma once

#include <QString>

namespace platform {

// The path delimiter of this platform ('/').
inline constexpr QChar pathDelimiter = u'/';

// Appends the delimiter unless the path ends in one; empty text gives a lone
// delimiter, as the tool's directory lookups expect.
QString includeTrailingDelimiter(const QString &path);

// Drops one trailing delimiter; the root "/" stays the root.
QString excludeTrailingDelimiter(const QString &path);

// a and b with exactly one delimiter between them; an empty side gives the other.
QString joinPath(const QString &a, const QString &b);

// A path written the Windows way, for this platform: backslashes become '/',
// a drive root such as "C:\" becomes "/".
QString fromWindowsPath(const QString &path);

bool directoryExists(const QString &path);
// True for an existing file that is not a directory.
bool fileExists(const QString &path);

// Creates the directory with every missing parent. False when the path is
// empty or cannot be created (the directory then may exist only in part);
// never throws.
bool forceDirectories(const QString &path);

} // namespace platform
