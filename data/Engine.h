#pragma once

// The engine, session and database components: the stand-in for the suite's
// database engine. A database is an alias (database name) pointing at a
// directory; tables reach their files through the alias.

#include "platform/Error.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace data {

class Session;

// Something a database keeps open on its behalf (a table component). The
// database closes its data sets when it closes.
class DataSet {
public:
    virtual ~DataSet() = default;
    virtual void close() = 0;
};

// Any failure inside the engine: missing or foreign file, wrong password,
// lock not had, key violation, bad filter. The message names the table or
// directory concerned.
class EngineError : public platform::Error {
public:
    using Platform = platform::Error;
    using Platform::Platform;
};

// A value that cannot be converted to a field's type (text "abc" for an integer key).
class ConversionError : public EngineError {
public:
    using EngineError::EngineError;
};

struct LockSettings {
    int waitMsPerTry = 3;
    int tries = 32768;
};

// Table file naming and lock settings for the whole program.
class Engine {
public:
    static Engine &instance();

    bool active() const { return m_active; }
    void setActive(bool active);   // false closes every database of every session

    QString dataExtension() const { return m_dataExtension; } // ".zeldat"
    void setDataExtension(const QString &ext) { m_dataExtension = ext; }
    LockSettings lockSettings() const { return m_locks; }
    void setLockSettings(const LockSettings &locks) { m_locks = locks; }

private:
    bool m_active = false;
    QString m_dataExtension = QStringLiteral(".zeldat");
    LockSettings m_locks;
};

class Database {
public:
    // Registers itself with the session, under its database name (the alias).
    explicit Database(Session &session, const QString &databaseName = {},
                      const QString &directory = {});
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    Session &session() const { return m_session; }
    QString databaseName() const { return m_name; }
    void setDatabaseName(const QString &name);   // closes first when connected
    QString directory() const { return m_directory; }
    void setDirectory(const QString &directory); // closes first when connected

    // Opening checks that the directory exists and is readable; otherwise an
    // EngineError naming the directory. Activates the engine.
    void open();
    void close();                    // closes its tables first; harmless when closed
    bool connected() const { return m_connected; }
    void closeDataSets();            // closes every open table using it, last to first

    // Tables attach when they open and detach when they close.
    void attach(DataSet *table);
    void detach(DataSet *table);
    QList<DataSet *> openTables() const { return m_tables; }

private:
    Session &m_session;
    QString m_name;
    QString m_directory;
    bool m_connected = false;
    QList<DataSet *> m_tables;
};

// A password verifier (Argon2id string form) for a protected table. The
// limits are chosen so that one verification costs a few milliseconds.
QByteArray makePasswordVerifier(const QString &password);

class Session {
public:
    // The "Default" session every component of the tool belongs to.
    static Session &defaultSession();
    Session();
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    QString privateDir() const { return m_privateDir; }
    void setPrivateDir(const QString &dir) { m_privateDir = dir; }

    void addPassword(const QString &password);     // no duplicates
    void removePassword(const QString &password);  // harmless when absent
    QStringList passwords() const { return m_passwords; }

    // The database whose name matches (without regard to case), or nullptr.
    Database *findDatabase(const QString &databaseName) const;
    QList<Database *> databases() const { return m_databases; }

    // True when one of the session's passwords matches the table's password
    // verifier. A password that matched a verifier once is remembered, so
    // opening the same table again costs no second hash.
    bool passwordMatches(const QByteArray &verifier);

    // Every session that exists (the engine closes their databases).
    static QList<Session *> allSessions();

private:
    friend class Database;
    QString m_privateDir;
    QStringList m_passwords;
    QList<Database *> m_databases;
    QHash<QByteArray, QString> m_verified;   // verifier -> password that matched it
};

} // namespace data
