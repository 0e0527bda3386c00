#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace platform {

namespace {

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);   // an 8-bit file written on Windows
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString unquote(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

IniFile::IniFile(const QString &path) : m_path(path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        m_status = Status::Missing;
        return;
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        m_status = Status::Unreadable;
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_status = Status::Unreadable;
        return;
    }
    m_status = Status::Ok;

    Section *current = nullptr;
    const QString text = decode(bytes);
    for (QStringView raw : QStringView(text).split(u'\n')) {
        const QStringView line = raw.trimmed();   // also drops the CR of CR LF
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QStringView name = close < 0 ? line.mid(1) : line.mid(1, close - 1);
            m_sections.append({name.trimmed().toString(), {}});
            current = &m_sections.last();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!current || eq <= 0)
            continue;   // outside any section, or no key name: not reachable by a lookup
        const QString key = line.left(eq).trimmed().toString();
        if (key.isEmpty())
            continue;
        current->pairs.append({key, unquote(line.mid(eq + 1).trimmed().toString())});
    }
}

const IniFile::Section *IniFile::find(const QString &section) const
{
    const QString wanted = section.trimmed();
    for (const Section &s : m_sections) {
        if (s.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &s;
    }
    return nullptr;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    if (const Section *s = find(section)) {
        const QString wanted = key.trimmed();
        for (const auto &[name, value] : s->pairs) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0)
                return value;
        }
    }
    return defaultValue;
}

QList<std::pair<QString, QString>> IniFile::readSection(const QString &section) const
{
    const Section *s = find(section);
    return s ? s->pairs : QList<std::pair<QString, QString>>{};
}

bool IniFile::sectionExists(const QString &section) const
{
    return find(section) != nullptr;
}

} // namespace platform
