#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace mirel::test {

namespace {

constexpr char kWorkVariable[] = "MIREL_TEST_WORK";

// Made before main(), so that Qt already finds the home and config folders in it: a test program
// started by hand never touches the real user's settings or temporary folder.
class OwnFolders {
public:
    OwnFolders()
    {
        if (qEnvironmentVariableIsSet(kWorkVariable))
            return;  // ctest's wrapper gave one
        m_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mirel-test.XXXXXX"));
        if (!m_root->isValid())
            qFatal("cannot make a scratch folder in %s", qPrintable(QDir::tempPath()));
        QDir root(m_root->path());
        for (const char* sub : {"home", "config", "runtime", "work"})
            root.mkdir(QString::fromLatin1(sub));
        QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(QStringLiteral("runtime"))));
        qputenv(kWorkVariable, QFile::encodeName(root.filePath(QStringLiteral("work"))));
    }

    ~OwnFolders()
    {
        if (!m_root)
            return;
        // Tests make folders read-only on purpose; give them back so that all of it goes.
        QDirIterator it(m_root->path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private:
    std::unique_ptr<QTemporaryDir> m_root;
};

OwnFolders gOwnFolders;
QString gCurrent;

}  // namespace

QString WorkDir()
{
    return qEnvironmentVariable(kWorkVariable);
}

QString FreshDir()
{
    static int count = 0;
    QDir work(WorkDir());
    QString name;
    do
        name = QStringLiteral("t%1").arg(++count);
    while (work.exists(name));
    if (!work.mkdir(name))
        qFatal("cannot make a folder in %s", qPrintable(work.path()));
    return work.filePath(name);
}

void StartFresh()
{
    gCurrent = FreshDir();
}

QString at(const QString& name)
{
    return (gCurrent.isEmpty() ? WorkDir() : gCurrent) + QLatin1Char('/') + name;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace mirel::test
