// Files as the tests see them: the bytes a file holds, and a file written with given bytes.
#pragma once

#include <QByteArray>
#include <QString>

namespace TestFiles {

// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readFile(const QString& path);
// Creates or empties the file and writes the bytes; a file that cannot be written fails the test.
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace TestFiles
