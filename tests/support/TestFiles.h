#pragma once

#include <QByteArray>
#include <QString>

namespace mirel::test {

// The scratch folder of this test program. Under ctest it is the work folder that isolated.sh
// made (MIREL_TEST_WORK). Started by hand, from any folder and with any TMPDIR, the program makes
// a fresh temporary folder of its own before main() (with a home, config and runtime folder in
// it, as isolated.sh gives) and removes it when it ends. A test writes and removes nothing
// outside it.
QString WorkDir();

// A new, empty folder inside WorkDir().
QString FreshDir();
// From now on at() names files in a new, empty folder inside WorkDir(): a clean start for one
// test without removing anything.
void StartFresh();
// The path of name in the current scratch folder (WorkDir() until StartFresh()).
QString at(const QString& name);

// Writes bytes as the whole file at path; fails the test when it cannot.
void writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readFile(const QString& path);

}  // namespace mirel::test
