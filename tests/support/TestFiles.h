#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

namespace mirel::test {

// The scratch folder of this test run (a fresh one for every run; see isolated.sh).
inline QString WorkDir()
{
    return qEnvironmentVariable("MIREL_TEST_WORK", QDir::tempPath());
}

inline QString at(const QString& name)
{
    return WorkDir() + QLatin1Char('/') + name;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace mirel::test
