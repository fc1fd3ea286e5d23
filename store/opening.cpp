// Opening the session file with its checks: the lock, the header and the version, a file that cannot
// be read renamed aside, the tables made or brought up to the version; and closing it again.
#include "store/sessionstore.h"

#include "platform/datafolder.h"
#include "store/reads.h"
#include "store/schema.h"
#include "store/transaction.h"
#include "store/writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace Store {

struct SessionStore::Opening
{
    enum State { Usable, Unreadable, Newer, Busy, Failed } state = Failed;
    QString detail; // for Failed
};

namespace {

    const QString driverName = u"QSQLITE"_s;

    QString native(const QString& path)
    {
        return QDir::toNativeSeparators(path);
    }

    QString noSessionKept()
    {
        return u"本次不保存列表和设置。"_s;
    }

    SessionStore::Opening openingAfter(const QSqlError& error)
    {
        switch (sqliteCode(error)) {
        case SqliteCorrupt:
        case SqliteNotADatabase:
            return { SessionStore::Opening::Unreadable, {} };
        case SqliteBusy:
        case SqliteLocked:
            return { SessionStore::Opening::Busy, {} };
        default:
            return { SessionStore::Opening::Failed, faultDetail(error) };
        }
    }

    // What the file's first page says, read without SQLite: a file of a newer version is then left
    // entirely alone, its journals too.
    SessionStore::Opening headerState(const QString& path)
    {
        QFile file(path);
        if (!file.exists() || file.size() == 0)
            return { SessionStore::Opening::Usable, {} };
        if (!file.open(QIODevice::ReadOnly))
            return { SessionStore::Opening::Unreadable, {} };
        const QByteArray header = file.read(100);
        if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
            return { SessionStore::Opening::Unreadable, {} };
        if (qFromBigEndian<qint32>(header.constData() + 60) > Schema::Version)
            return { SessionStore::Opening::Newer, {} };
        // SQLite would open it for reading only, without a word.
        if (!QFileInfo(path).isWritable())
            return { SessionStore::Opening::Failed, u"文件是只读的"_s };
        return { SessionStore::Opening::Usable, {} };
    }

    // Renames the file and its journals beside it, to a name that nothing has yet; the new name, or
    // empty when the file could not be renamed.
    QString renameAside(const QString& path)
    {
        const QStringList suffixes = { QString(), u"-wal"_s, u"-shm"_s, u"-journal"_s };
        const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
        QString aside;
        for (int n = 1;; ++n) {
            aside = path + u".unreadable-"_s + stamp + (n > 1 ? u"-"_s + QString::number(n) : QString());
            bool free = true;
            for (const QString& suffix : suffixes)
                free = free && !QFileInfo::exists(aside + suffix);
            if (free)
                break;
        }
        // The journals go along: left beside a new file, SQLite would read them as its own.
        for (const QString& suffix : suffixes) {
            if (QFileInfo::exists(path + suffix) && !QFile::rename(path + suffix, aside + suffix))
                return {};
        }
        return aside;
    }

} // namespace

QString SessionStore::open(const QString& folder)
{
    close();
    folder_ = folder.isEmpty() ? DataFolder::path() : folder;
    path_ = QDir(folder_).filePath(QStringView(Schema::FileName).toString());
    if (!QSqlDatabase::isDriverAvailable(driverName))
        return u"缺少 SQLite 数据库驱动（软件包 libqt6sql6-sqlite），"_s + noSessionKept();
    if (folder_.isEmpty() || !QDir().mkpath(folder_))
        return u"无法写入文件夹 %1，"_s.arg(native(folder_)) + noSessionKept();

    lock_ = std::make_unique<QLockFile>(path_ + u".lock"_s);
    // The lock is held as long as the window is open; only a lock left by a process that is gone
    // counts as stale, however old. A window that is closing lets go of it first thing, within a
    // moment: a window started meanwhile waits for it.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(LockWaitMs)) {
        const bool held = lock_->error() == QLockFile::LockFailedError;
        lock_.reset();
        if (held)
            return u"晴岚词宝的另一个窗口正在使用 %1，这个窗口"_s.arg(native(path_)) + noSessionKept();
        return u"无法写入文件夹 %1，"_s.arg(native(folder_)) + noSessionKept();
    }

    QString notice;
    for (int attempt = 0;; ++attempt) {
        Opening opening = headerState(path_);
        if (opening.state == Opening::Usable)
            opening = openFile();
        switch (opening.state) {
        case Opening::Usable:
            return notice;
        case Opening::Unreadable: {
            closeFile();
            const QString aside = attempt == 0 ? renameAside(path_) : QString();
            if (aside.isEmpty()) {
                close();
                return u"%1 无法读取，也无法改名保留，"_s.arg(native(path_)) + noSessionKept();
            }
            notice = u"%1 无法读取，已改名为 %2 保留，并新建了一个保存文件。"_s.arg(native(path_), native(aside));
            continue;
        }
        case Opening::Newer:
            close();
            return u"%1 是更新版本的晴岚词宝保存的，这个版本不能使用它；文件保持原样，"_s.arg(native(path_))
                + noSessionKept();
        case Opening::Busy:
            close();
            return u"%1 正被其他程序使用，"_s.arg(native(path_)) + noSessionKept();
        case Opening::Failed:
            close();
            return u"无法打开 %1（%2），"_s.arg(native(path_), opening.detail) + noSessionKept();
        }
    }
}

// Opens the reading connection, checks the file, creates or upgrades its tables, reads what start-up
// needs and starts the writer.
SessionStore::Opening SessionStore::openFile()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driverName, readConnection_);
    db.setDatabaseName(path_);
    if (!db.open())
        return openingAfter(db.lastError());

    QSqlQuery query(db);
    auto single = [&query](const QString& statement, QVariant& value) {
        if (!query.exec(statement) || !query.next())
            return false;
        value = query.value(0);
        query.finish();
        return true;
    };
    QVariant version, applicationId, objects;
    if (!single(u"PRAGMA user_version"_s, version) || !single(u"PRAGMA application_id"_s, applicationId)
        || !single(u"SELECT count(*) FROM sqlite_master"_s, objects))
        return openingAfter(query.lastError());
    // Another program's database is not ours to change.
    if (applicationId.toInt() != Schema::ApplicationId && objects.toInt() > 0)
        return { Opening::Unreadable, {} };
    if (version.toInt() > Schema::Version)
        return { Opening::Newer, {} };

    QVariant journal;
    if (!single(u"PRAGMA journal_mode = WAL"_s, journal))
        return openingAfter(query.lastError());
    if (journal.toString().compare(u"wal"_s, Qt::CaseInsensitive) != 0)
        return { Opening::Failed, u"无法使用预写日志"_s };
    if (!query.exec(u"PRAGMA synchronous = FULL"_s))
        return openingAfter(query.lastError());

    Transaction transaction(db);
    if (version.toInt() < Schema::Version) {
        for (const QString& statement : Schema::upgradeStatements(version.toInt()))
            transaction.exec(statement);
    }
    const QSqlError upgradeError = transaction.finish();
    if (upgradeError.isValid())
        return openingAfter(upgradeError);

    QSqlError readError;
    startUpList_ = Reads::list(db, readError);
    startUpSettings_ = Reads::settings(db, readError);
    startUpPlaces_ = Reads::places(db, readError);
    if (readError.isValid())
        return openingAfter(readError);
    startUpReadsValid_ = true;
    startUpListKept_ = true;

    writer_ = std::make_unique<Writer>(path_, [this](const QString& detail) {
        // From the writer thread to the store's own.
        QMetaObject::invokeMethod(
            this,
            [this, detail] {
                // Closing says what is missing itself.
                if (!isOpen())
                    return;
                Q_EMIT writeFailed(
                    u"保存到 %1 失败：%2。窗口里的内容不受影响；软件会接着重试，"
                    u"能写入时（例如腾出磁盘空间以后）自动补上没保存的改动。"_s.arg(native(path_), detail));
            },
            Qt::QueuedConnection);
    });
    const QString writerError = writer_->start();
    if (!writerError.isEmpty()) {
        writer_.reset();
        return { Opening::Failed, writerError };
    }
    return { Opening::Usable, {} };
}

QString SessionStore::close()
{
    QString missing;
    if (writer_) {
        writer_->stop();
        if (const QString detail = writer_->behind(); !detail.isEmpty())
            missing = u"没能把最后的改动保存到 %1（%2），下次打开时，列表、设置和挖掘进度是最后一次保存成功时的样子。"_s
                          .arg(native(path_), detail);
    }
    closeFile();
    lock_.reset();
    return missing;
}

void SessionStore::closeFile()
{
    writer_.reset();
    if (QSqlDatabase::contains(readConnection_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(readConnection_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(readConnection_);
    }
    forgetStartUpReads();
}

} // namespace Store
