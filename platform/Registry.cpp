#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>

#include <cctype>

namespace platform {

namespace {

struct Value {
    int type = 1;          // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_DWORD = 4, ...
    QString text;          // for the two string types
};

struct Key {
    QHash<QString, Value> values;   // folded value name -> value
};

struct Hive {
    QHash<QString, Key> keys;       // folded key path (without the root) -> key
};

QString fold(const QString &s) { return s.toCaseFolded(); }

bool isHexDigits(const QString &s, qsizetype maxLength)
{
    if (s.isEmpty() || s.size() > maxLength)
        return false;
    for (QChar c : s) {
        if (!isxdigit(c.unicode() < 128 ? c.toLatin1() : 'g'))
            return false;
    }
    return true;
}

QString normalizeKeyPath(QString path)
{
    while (path.startsWith(u'\\'))
        path.remove(0, 1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    return path;
}

QString typeName(int type)
{
    switch (type) {
    case 0: return QStringLiteral("REG_NONE");
    case 1: return QStringLiteral("REG_SZ");
    case 2: return QStringLiteral("REG_EXPAND_SZ");
    case 3: return QStringLiteral("REG_BINARY");
    case 4: return QStringLiteral("REG_DWORD");
    case 5: return QStringLiteral("REG_DWORD_BIG_ENDIAN");
    case 7: return QStringLiteral("REG_MULTI_SZ");
    case 11: return QStringLiteral("REG_QWORD");
    default: return QStringLiteral("type %1").arg(type);
    }
}

class Parser {
public:
    Parser(QString fileName, RegistryRoot root) : m_file(std::move(fileName)), m_root(root) {}

    Hive parse(const QByteArray &bytes)
    {
        const QString text = decode(bytes);
        const QStringList lines = text.split(u'\n');
        Hive hive;
        Key *current = nullptr;
        bool headerSeen = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            m_line = int(i + 1);
            QString line = lines[i];
            if (line.endsWith(u'\r'))
                line.chop(1);
            const QString trimmed = line.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith(u';'))
                continue;
            if (!headerSeen) {
                if (trimmed == QLatin1String("REGEDIT4")) {
                    m_unicode = false;
                } else if (trimmed == QLatin1String("Windows Registry Editor Version 5.00")) {
                    m_unicode = true;
                } else {
                    fail(QStringLiteral("expected the header \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""));
                }
                headerSeen = true;
                continue;
            }
            if (trimmed.startsWith(u'[')) {
                current = &hive.keys[fold(parseKeyLine(trimmed))];
                continue;
            }
            if (!current)
                fail(QStringLiteral("value outside of any [key] section"));

            // Binary data may continue over lines ending with a backslash.
            QString entry = trimmed;
            while (entry.endsWith(u'\\') && isHexEntry(entry) && i + 1 < lines.size()) {
                entry.chop(1);
                entry += lines[++i].trimmed();
            }
            parseValueLine(entry, *current);
        }
        return hive;
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw RegistryError(QStringLiteral("Registry file %1, line %2: %3").arg(m_file).arg(m_line).arg(what));
    }

    QString decode(const QByteArray &bytes)
    {
        if (bytes.startsWith("\xFF\xFE")) {
            if (bytes.size() % 2 != 0)
                throw RegistryError(QStringLiteral("Registry file %1: truncated UTF-16 text").arg(m_file));
            return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                      (bytes.size() - 2) / 2);
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(bytes);
        if (decoder.hasError())
            throw RegistryError(QStringLiteral("Registry file %1: not valid UTF-8 or UTF-16 text").arg(m_file));
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }

    QString parseKeyLine(const QString &line)
    {
        if (!line.endsWith(u']'))
            fail(QStringLiteral("key line without closing ]"));
        QString path = line.mid(1, line.size() - 2).trimmed();
        if (path.startsWith(u'-'))
            fail(QStringLiteral("key deletions are not supported in a hive file"));
        const QString root = Registry::rootName(m_root);
        const QString head = path.section(u'\\', 0, 0);
        if (head.compare(root, Qt::CaseInsensitive) != 0) {
            fail(QStringLiteral("key \"%1\" does not belong to %2").arg(path, root));
        }
        path = normalizeKeyPath(path.mid(head.size()));
        if (path.contains(QLatin1String("\\\\")))
            fail(QStringLiteral("key \"%1\" has an empty component").arg(line));
        return path;
    }

    static bool isHexEntry(const QString &entry)
    {
        // Skip the name, then look for =hex: or =hex(N):
        qsizetype pos = 0;
        if (entry.startsWith(u'@')) {
            pos = 1;
        } else if (entry.startsWith(u'"')) {
            for (pos = 1; pos < entry.size() && entry[pos] != u'"'; ++pos) {
                if (entry[pos] == u'\\')
                    ++pos;
            }
            ++pos;
        } else {
            return false;
        }
        const qsizetype eq = entry.indexOf(u'=', pos);
        return eq >= 0 && entry.mid(eq + 1).trimmed().startsWith(QLatin1String("hex"), Qt::CaseInsensitive);
    }

    // Reads a quoted string starting at pos (on the opening quote); returns the
    // text and leaves pos after the closing quote.
    QString readQuoted(const QString &s, qsizetype &pos)
    {
        QString out;
        ++pos;
        while (pos < s.size()) {
            const QChar c = s[pos];
            if (c == u'"') {
                ++pos;
                return out;
            }
            if (c == u'\\') {
                if (pos + 1 >= s.size())
                    break;
                const QChar n = s[pos + 1];
                if (n != u'\\' && n != u'"')
                    fail(QStringLiteral("unknown escape \\%1 in a string (write \\\\ for a backslash)").arg(n));
                out += n;
                pos += 2;
                continue;
            }
            out += c;
            ++pos;
        }
        fail(QStringLiteral("unterminated string"));
    }

    void parseValueLine(const QString &line, Key &key)
    {
        qsizetype pos = 0;
        QString name;
        if (line.startsWith(u'@')) {
            pos = 1;
        } else if (line.startsWith(u'"')) {
            name = readQuoted(line, pos);
        } else {
            fail(QStringLiteral("expected a [key], \"name\"=value or @=value, found \"%1\"").arg(line.left(40)));
        }
        while (pos < line.size() && line[pos].isSpace())
            ++pos;
        if (pos >= line.size() || line[pos] != u'=')
            fail(QStringLiteral("expected = after the value name"));
        ++pos;
        const QString data = line.mid(pos).trimmed();
        Value value;
        if (data.startsWith(u'"')) {
            qsizetype p = 0;
            value.type = 1;
            value.text = readQuoted(data, p);
            if (p != data.size())
                fail(QStringLiteral("unexpected text after the closing quote"));
        } else if (data == QLatin1String("-")) {
            fail(QStringLiteral("value deletions are not supported in a hive file"));
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            const QString digits = data.mid(6);
            if (!isHexDigits(digits, 8))
                fail(QStringLiteral("dword needs 1 to 8 hexadecimal digits"));
            value.type = 4;
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            value = parseHex(data);
        } else {
            fail(QStringLiteral("unrecognised value data \"%1\"").arg(data.left(40)));
        }
        // Like an import, a later line for the same name replaces the earlier one.
        key.values.insert(fold(name), value);
    }

    Value parseHex(const QString &data)
    {
        Value value;
        qsizetype colon = data.indexOf(u':');
        if (colon < 0)
            fail(QStringLiteral("hex value without ':'"));
        const QString kind = data.left(colon);
        if (kind.compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0) {
            value.type = 3;
        } else {
            if (!kind.endsWith(u')') || kind.size() < 6 || kind[3] != u'(')
                fail(QStringLiteral("malformed hex type \"%1\"").arg(kind));
            const QString number = kind.mid(4, kind.size() - 5);
            if (!isHexDigits(number, 8))
                fail(QStringLiteral("malformed hex type \"%1\"").arg(kind));
            value.type = int(number.toUInt(nullptr, 16));
        }
        QByteArray bytes;
        const QString list = data.mid(colon + 1).trimmed();
        if (!list.isEmpty()) {
            for (const QString &item : list.split(u',')) {
                const QString b = item.trimmed();
                if (!isHexDigits(b, 2))
                    fail(QStringLiteral("bad byte \"%1\" in hex data").arg(b));
                bytes.append(char(b.toUInt(nullptr, 16)));
            }
        }
        if (value.type == 1 || value.type == 2) {
            // Version 5 files carry UTF-16LE, REGEDIT4 files 8-bit text.
            if (m_unicode) {
                if (bytes.size() % 2 != 0)
                    fail(QStringLiteral("string data with an odd number of bytes"));
                value.text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                                bytes.size() / 2);
            } else {
                value.text = QString::fromLatin1(bytes);
            }
            const qsizetype nul = value.text.indexOf(QChar(0));
            if (nul >= 0)
                value.text.truncate(nul);
        }
        return value;
    }

    QString m_file;
    RegistryRoot m_root;
    int m_line = 0;
    bool m_unicode = true;
};

QStringList configDirs()
{
    QStringList dirs;
    const QString env = qEnvironmentVariable("XDG_CONFIG_DIRS");
    for (const QString &d : env.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(d))   // relative entries are ignored, as XDG says
            dirs << d;
    }
    if (dirs.isEmpty())
        dirs << QStringLiteral("/etc/xdg");
    return dirs;
}

QString configHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.config");
}

Hive loadHive(RegistryRoot root)
{
    const QString path = Registry::hivePath(root);
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw RegistryError(QStringLiteral("Registry file %1 cannot be read: %2")
                                .arg(path, QFileInfo(path).isDir() ? QStringLiteral("it is a folder")
                                                                   : file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RegistryError(QStringLiteral("Registry file %1 cannot be read: %2").arg(path, file.errorString()));
    return Parser(path, root).parse(bytes);
}

} // namespace

QString Registry::rootName(RegistryRoot root)
{
    return root == RegistryRoot::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                              : QStringLiteral("HKEY_CURRENT_USER");
}

QString Registry::hivePath(RegistryRoot root)
{
    const QString rel = QStringLiteral("/registry/") + rootName(root) + QStringLiteral(".reg");
    const QStringList dirs = root == RegistryRoot::LocalMachine ? configDirs() : QStringList{configHome()};
    for (const QString &dir : dirs) {
        const QString candidate = dir + rel;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

std::optional<QString> Registry::readString(RegistryRoot root, const QString &keyPath,
                                            const QString &valueName)
{
    const Hive hive = loadHive(root);
    const auto key = hive.keys.constFind(fold(normalizeKeyPath(keyPath)));
    if (key == hive.keys.cend())
        return std::nullopt;
    const auto value = key->values.constFind(fold(valueName));
    if (value == key->values.cend())
        return std::nullopt;
    if (value->type != 1 && value->type != 2) {
        throw RegistryError(QStringLiteral("Invalid data type for '%1': %2\\%3 holds %4, not a string")
                                .arg(valueName, rootName(root), normalizeKeyPath(keyPath),
                                     typeName(value->type)));
    }
    return value->text;
}

bool Registry::keyExists(RegistryRoot root, const QString &keyPath)
{
    const Hive hive = loadHive(root);
    const QString wanted = fold(normalizeKeyPath(keyPath));
    if (wanted.isEmpty())
        return true;   // the root itself
    if (hive.keys.contains(wanted))
        return true;
    const QString prefix = wanted + u'\\';
    for (auto it = hive.keys.cbegin(); it != hive.keys.cend(); ++it) {
        if (it.key().startsWith(prefix))
            return true;
    }
    return false;
}

bool Registry::valueExists(RegistryRoot root, const QString &keyPath, const QString &valueName)
{
    const Hive hive = loadHive(root);
    const auto key = hive.keys.constFind(fold(normalizeKeyPath(keyPath)));
    return key != hive.keys.cend() && key->values.contains(fold(valueName));
}

QString Registry::shellFoldersKey()
{
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
}

QString Registry::shellFolder(const QString &name)
{
    if (const auto value = readString(RegistryRoot::CurrentUser, shellFoldersKey(), name))
        return *value;
    if (name.compare(QLatin1String("Personal"), Qt::CaseInsensitive) == 0)
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (name.compare(QLatin1String("Desktop"), Qt::CaseInsensitive) == 0)
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return {};
}

} // namespace platform
