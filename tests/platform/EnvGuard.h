#pragma once

#include <QByteArray>
#include <QList>
#include <utility>

// Sets environment variables for one test and restores the old state after.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard &) = delete;
    EnvGuard &operator=(const EnvGuard &) = delete;
    ~EnvGuard()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->wasSet)
                qputenv(it->name.constData(), it->value);
            else
                qunsetenv(it->name.constData());
        }
    }
    void set(const char *name, const QByteArray &value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char *name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    struct Saved {
        QByteArray name;
        QByteArray value;
        bool wasSet;
    };
    void remember(const char *name)
    {
        m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    }
    QList<Saved> m_saved;
};
