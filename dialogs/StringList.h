#pragma once

// A list of text entries, each of which may carry a reference to an object.
// The list never owns those objects: whoever creates them frees them. Lookups
// compare text without regard to case. Entries keep the order they were
// added in.

#include <QList>
#include <QString>
#include <QStringList>

// Root of the plain objects that travel with list entries.
class ListObject {
public:
    virtual ~ListObject() = default;
};

class StringList {
public:
    struct Entry {
        QString text;
        ListObject *object = nullptr;
    };

    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }

    const QString &strings(int index) const { return m_entries.at(index).text; }
    void setString(int index, const QString &text) { m_entries[index].text = text; }
    ListObject *objects(int index) const { return m_entries.at(index).object; }
    void setObject(int index, ListObject *object) { m_entries[index].object = object; }

    int add(const QString &text, ListObject *object = nullptr)
    {
        m_entries.append({text, object});
        return count() - 1;
    }
    void insert(int index, const QString &text, ListObject *object = nullptr)
    {
        m_entries.insert(index, {text, object});
    }
    void remove(int index) { m_entries.removeAt(index); }
    void move(int from, int to) { m_entries.move(from, to); }
    void clear() { m_entries.clear(); }

    // First entry with that text, compared without regard to case; -1 when none.
    int indexOf(const QString &text) const
    {
        for (int i = 0; i < count(); ++i)
            if (m_entries.at(i).text.compare(text, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    // The texts alone, and replacing the whole list by texts without objects.
    QStringList texts() const
    {
        QStringList out;
        out.reserve(count());
        for (const Entry &e : m_entries)
            out.append(e.text);
        return out;
    }
    void setTexts(const QStringList &texts)
    {
        m_entries.clear();
        for (const QString &t : texts)
            m_entries.append({t, nullptr});
    }

    const QList<Entry> &entries() const { return m_entries; }

private:
    QList<Entry> m_entries;
};
