#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets an environment variable for its lifetime and then puts back what was
// there before, unset included, however the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        Set(value);
    }
    ~ScopedEnv()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Changes the value again; the one from before the scope still returns.
    void Set(const QByteArray& value) { qputenv(m_name, value); }

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};
