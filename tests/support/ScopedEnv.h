#pragma once

// Sets an environment variable for one scope and puts the old value back.

#include <QByteArray>
#include <QtGlobal>

namespace corvane::test {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

}  // namespace corvane::test
