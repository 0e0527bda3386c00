#pragma once

#include <QList>
#include <QString>
#include <utility>

namespace platform {

// A profile (INI) file read the way Windows reads one: section and key names
// match without regard to case, blanks around names and values are trimmed,
// the first section of a name and the first key in it win, lines starting
// with ';' are comments, a value keeps any '=' after the first and is taken
// as written (no % decoding, no list splitting; one pair of enclosing quotes
// is dropped). A missing or unreadable file reads as empty.
//
// The file is read once, when the object is made; make a new one to see
// later changes. UTF-8 (optionally with a byte-order mark) and UTF-16LE with
// a byte-order mark are decoded; other bytes are taken as Latin-1.
class IniFile {
public:
    enum class Status { Ok, Missing, Unreadable };

    explicit IniFile(const QString &path);

    QString path() const { return m_path; }
    Status status() const { return m_status; }

    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue = QString()) const;

    // Every key/value pair of the first section of that name, in file order.
    QList<std::pair<QString, QString>> readSection(const QString &section) const;

    bool sectionExists(const QString &section) const;

private:
    struct Section {
        QString name;
        QList<std::pair<QString, QString>> pairs;
    };
    const Section *find(const QString &section) const;

    QString m_path;
    Status m_status = Status::Missing;
    QList<Section> m_sections;
};

} // namespace platform
