#include "data/Engine.h"

#include <QDir>
#include <QFileInfo>

#include <sodium.h>

#include <algorithm>

namespace data {

namespace {

QList<Session *> &sessionRegistry()
{
    static QList<Session *> sessions;
    return sessions;
}

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

// Tables open many times in a run, so a verification must stay cheap; the
// passwords themselves live scrambled in the tool, the verifier only gates access.
constexpr unsigned long long kPwhashOpsLimit = 2;
constexpr size_t kPwhashMemLimit = 8u * 1024u * 1024u;

QByteArray makePasswordVerifier(const QString &password)
{
    if (!sodiumReady())
        throw EngineError(QStringLiteral("The password library could not be initialised"));
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                              kPwhashOpsLimit, kPwhashMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw EngineError(QStringLiteral("Out of memory while making a password verifier"));
    return QByteArray(out);
}

// ---------------------------------------------------------------- Engine

Engine &Engine::instance()
{
    static Engine engine;
    return engine;
}

void Engine::setActive(bool active)
{
    if (!active && m_active) {
        for (Session *session : Session::allSessions()) {
            const QList<Database *> databases = session->databases();
            for (Database *db : databases)
                db->close();
        }
    }
    m_active = active;
}

// ---------------------------------------------------------------- Database

Database::Database(Session &session, const QString &databaseName, const QString &directory)
    : m_session(session), m_name(databaseName), m_directory(directory)
{
    m_session.m_databases.append(this);
}

Database::~Database()
{
    try {
        close();
    } catch (...) {
        // a destructor must not throw; closing tables releases files only
    }
    m_session.m_databases.removeAll(this);
}

void Database::setDatabaseName(const QString &name)
{
    close();
    m_name = name;
}

void Database::setDirectory(const QString &directory)
{
    close();
    m_directory = directory;
}

void Database::open()
{
    if (m_connected)
        return;
    const QFileInfo info(m_directory);
    if (m_directory.isEmpty() || !info.exists() || !info.isDir())
        throw EngineError(QStringLiteral("Database directory '%1' does not exist (database %2)")
                              .arg(QDir::toNativeSeparators(m_directory), m_name));
    if (!info.isReadable() || !info.isExecutable())
        throw EngineError(QStringLiteral("Database directory '%1' cannot be read (database %2)")
                              .arg(QDir::toNativeSeparators(m_directory), m_name));
    Engine::instance().setActive(true);
    m_connected = true;
}

void Database::close()
{
    if (!m_connected && m_tables.isEmpty())
        return;
    closeDataSets();
    m_connected = false;
}

void Database::closeDataSets()
{
    // Last opened, first closed. A table detaches itself while closing.
    while (!m_tables.isEmpty()) {
        DataSet *table = m_tables.constLast();
        table->close();
        m_tables.removeAll(table);
    }
}

void Database::attach(DataSet *table)
{
    if (!m_tables.contains(table))
        m_tables.append(table);
}

void Database::detach(DataSet *table)
{
    m_tables.removeAll(table);
}

// ---------------------------------------------------------------- Session

Session &Session::defaultSession()
{
    static Session session;
    return session;
}

Session::Session()
{
    sessionRegistry().append(this);
}

Session::~Session()
{
    sessionRegistry().removeAll(this);
}

QList<Session *> Session::allSessions()
{
    return sessionRegistry();
}

void Session::addPassword(const QString &password)
{
    if (!m_passwords.contains(password))
        m_passwords.append(password);
}

void Session::removePassword(const QString &password)
{
    m_passwords.removeAll(password);
    for (auto it = m_verified.begin(); it != m_verified.end();) {
        if (it.value() == password)
            it = m_verified.erase(it);
        else
            ++it;
    }
}

Database *Session::findDatabase(const QString &databaseName) const
{
    const auto it = std::find_if(m_databases.cbegin(), m_databases.cend(), [&](Database *db) {
        return db->databaseName().compare(databaseName, Qt::CaseInsensitive) == 0;
    });
    return it == m_databases.cend() ? nullptr : *it;
}

bool Session::passwordMatches(const QByteArray &verifier)
{
    const auto known = m_verified.constFind(verifier);
    if (known != m_verified.constEnd() && m_passwords.contains(known.value()))
        return true;
    if (!sodiumReady())
        throw EngineError(QStringLiteral("The password library could not be initialised"));
    // crypto_pwhash_str_verify wants the zero-terminated string form.
    const QByteArray hash = verifier + '\0';
    for (const QString &password : std::as_const(m_passwords)) {
        const QByteArray utf8 = password.toUtf8();
        if (crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                     static_cast<unsigned long long>(utf8.size())) == 0) {
            m_verified.insert(verifier, password);
            return true;
        }
    }
    return false;
}

} // namespace data
