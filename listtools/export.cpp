// The export and fetch-record files: QSaveFile for a whole-or-nothing replacement, the program's
// directory first and a second folder after it, with failure reasons in Chinese.
#include "listtools/export.h"

#include "platform/codepage.h"
#include "platform/datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

QString programDirOverride;
QString documentsDirOverride;

QString reasonText(QFileDevice::FileError error, const QString& path)
{
    const QFileInfo info(path);
    switch (error) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        if (!info.dir().exists())
            return u"文件夹不存在"_s;
        if (!QFileInfo(info.absolutePath()).isWritable())
            return u"没有写入该文件夹的权限"_s;
        if (info.exists() && !info.isWritable())
            return u"文件是只读的"_s;
        return u"无法创建文件"_s;
    case QFileDevice::WriteError:
        return u"写入时出错，磁盘可能已满"_s;
    case QFileDevice::RenameError:
    case QFileDevice::RemoveError:
    case QFileDevice::CopyError:
        return u"无法替换原有的文件"_s;
    default:
        return u"未知错误"_s;
    }
}

} // namespace

namespace ExportFile {

void setProgramDirForTesting(const QString& dir)
{
    programDirOverride = dir;
}

void setDocumentsDirForTesting(const QString& dir)
{
    documentsDirOverride = dir;
}

void setAppDataDirForTesting(const QString& dir)
{
    DataFolder::setPathForTesting(dir);
}

QString programDir()
{
    return programDirOverride.isEmpty() ? QCoreApplication::applicationDirPath() : programDirOverride;
}

QString documentsDir()
{
    return documentsDirOverride.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                                          : documentsDirOverride;
}

QString appDataDir()
{
    return DataFolder::path();
}

bool writeWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok)
        ok = file.write(bytes) == bytes.size();
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok && error)
        *error = reasonText(file.error(), path);
    return ok;
}

Result writeWithFallback(const QString& fileName, const QByteArray& bytes, const QString& fallbackDir)
{
    Result result;
    const QString folders[] = { programDir(), fallbackDir };
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        result.fallback = &folder != &folders[0];
        // The second folder may not exist yet on a new account.
        if (result.fallback)
            QDir().mkpath(folder);
        result.path = QDir(folder).filePath(fileName);
        QString error;
        if (writeWhole(result.path, bytes, &error)) {
            result.ok = true;
            return result;
        }
        result.failures.append(QDir::toNativeSeparators(result.path) + u"："_s + error);
    }
    return result;
}

Result writeExport(const QByteArray& bytes)
{
    return writeWithFallback(QStringView(FileName).toString(), bytes, documentsDir());
}

void writeFetchRecord(const QString& list)
{
    const QByteArray bytes = CodePage::toGbk(list + u"\r\n"_s);
#ifdef Q_OS_WIN
    writeWhole(u"d:\\1.txt"_s, bytes);
#else
    writeWithFallback(QStringView(RecordFileName).toString(), bytes, appDataDir());
#endif
}

} // namespace ExportFile
