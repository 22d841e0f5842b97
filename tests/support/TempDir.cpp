#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace corvane::test {

TempDir::TempDir() : m_dir(QDir::tempPath() + "/corvane-test-XXXXXX") {
    EXPECT_TRUE(m_dir.isValid());
    m_path = m_dir.path();
}

QString TempDir::File(const QString& name) const {
    return m_path + "/" + name;
}

QString TempDir::Write(const QString& name, const QByteArray& bytes) const {
    const QString path = File(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    return path;
}

QString FixturePath(const QString& name) {
    return QStringLiteral(CORVANE_FIXTURES_DIR "/") + name;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

}  // namespace corvane::test
