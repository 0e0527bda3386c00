#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

class QLocale;

namespace platform {

// The ANSI code page Windows would use for the locale's language: 1250 for
// Central European languages, 1251 Cyrillic, 1253 Greek, 1254 Turkish,
// 1255 Hebrew, 1256 Arabic, 1257 Baltic, 1258 Vietnamese, 874 Thai, else 1252.
int ansiCodePageFor(const QLocale &locale);

// The code page in force: the override, else the system locale's (decided once).
int ansiCodePage();

// For tests. Raises platform::Error when iconv does not know the page.
void setAnsiCodePageOverride(std::optional<int> codePage);

// Text in the code page in force (or the one given). A character the page
// lacks becomes '?'; a character outside the 16-bit range (a surrogate pair)
// becomes one '?', as does a lone surrogate. No byte-order mark, no
// transliteration. Fast enough to call for every field of every row.
QByteArray toAnsi(const QString &text);
QByteArray toAnsi(QStringView text);
QByteArray toAnsi(QStringView text, int codePage);
void appendAnsi(QByteArray &out, QStringView text);
void appendAnsi(QByteArray &out, QStringView text, int codePage);

} // namespace platform
