#pragma once

#include "platform/Error.h"

#include <QString>
#include <optional>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// Read-only registry. Each root is a text file in the registry-export format
// (see docs/registry.md): HKEY_LOCAL_MACHINE from registry/HKEY_LOCAL_MACHINE.reg
// in the first $XDG_CONFIG_DIRS folder that has one (default /etc/xdg),
// HKEY_CURRENT_USER from registry/HKEY_CURRENT_USER.reg in $XDG_CONFIG_HOME
// (default ~/.config). A missing file is an empty hive.
//
// The file is read afresh on every call. Key paths and value names match
// without regard to case; key paths are relative to the root
// ("Software\Microsoft\..."), an empty value name reads the default value (@).
//
// A malformed or unreadable hive file raises RegistryError naming the file and,
// for a bad line, its number.
class Registry {
public:
    // The root's name as it heads the file's keys, e.g. "HKEY_LOCAL_MACHINE".
    static QString rootName(RegistryRoot root);

    // The hive file in force for the root; empty when none exists.
    static QString hivePath(RegistryRoot root);

    // The value as text: nullopt when the key or the value is missing.
    // String values (REG_SZ, and REG_EXPAND_SZ unexpanded) only; any other
    // type raises RegistryError.
    static std::optional<QString> readString(RegistryRoot root, const QString &keyPath,
                                             const QString &valueName);

    // True when the key is declared or is the parent of a declared key.
    static bool keyExists(RegistryRoot root, const QString &keyPath);

    // Also checks the whole file: throws RegistryError on any bad line.
    static bool valueExists(RegistryRoot root, const QString &keyPath, const QString &valueName);

    // A shell folder of the current user ("Personal", "Desktop") from
    // HKEY_CURRENT_USER "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders".
    // When the user hive does not set it, "Personal" answers the XDG documents
    // folder and "Desktop" the XDG desktop folder; other names answer empty text.
    static QString shellFolder(const QString &name);

    static QString shellFoldersKey();   // "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
};

} // namespace platform
