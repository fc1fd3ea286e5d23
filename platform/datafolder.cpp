// The data folder is named after the program itself rather than after QCoreApplication's name, so
// that the window, the tests and the benchmarks that link the core all agree on it.
#include "platform/datafolder.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString pathOverride;

} // namespace

namespace DataFolder {

QString path()
{
    if (!pathOverride.isEmpty())
        return pathOverride;
    // GenericDataLocation is $XDG_DATA_HOME when that is an absolute path, else ~/.local/share.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : QDir(base).filePath(QStringView(Name).toString());
}

void setPathForTesting(const QString& folder)
{
    pathOverride = folder;
}

} // namespace DataFolder
