// Opening the session file with its checks (the lock, the header, the version, a file that cannot be
// read renamed aside), the reads on the caller's thread, and the writer thread that commits the
// queued writes one transaction each.
#include "store/sessionstore.h"

#include "platform/datafolder.h"
#include "store/schema.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

using namespace Qt::StringLiterals;
using namespace Store;

namespace Store {

struct SessionStore::Opening
{
    enum State { Usable, Unreadable, Newer, Busy, Failed } state = Failed;
    QString detail; // for Failed
};

} // namespace Store

namespace {

const QString driverName = u"QSQLITE"_s;

// SQLite's primary result codes that open() and the write failures tell apart.
enum SqliteCode {
    SqliteBusy = 5,
    SqliteLocked = 6,
    SqliteReadOnly = 8,
    SqliteIoError = 10,
    SqliteCorrupt = 11,
    SqliteFull = 13,
    SqliteCantOpen = 14,
    SqliteNotADatabase = 26,
};

int sqliteCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Texts that must come back unit for unit are kept as UTF-16LE, whatever they hold.
QByteArray utf16Blob(const QString& text)
{
    QByteArray blob(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), blob.data());
    return blob;
}

QString textOfBlob(const QByteArray& blob)
{
    QString text(blob.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(blob.constData(), text.size(), text.data());
    return text;
}

QByteArray listBlob(const QStringList& list)
{
    QByteArray blob;
    QDataStream stream(&blob, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << list;
    return blob;
}

QStringList listOfBlob(const QByteArray& blob)
{
    QStringList list;
    QDataStream stream(blob);
    stream.setVersion(QDataStream::Qt_6_4);
    stream >> list;
    return stream.status() == QDataStream::Ok ? list : QStringList();
}

qint64 msecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

int outcomeCode(Asked outcome)
{
    switch (outcome) {
    case Asked::Answered:
        return Schema::Answered;
    case Asked::Failed:
        return Schema::Failed;
    case Asked::Refused:
        return Schema::Refused;
    }
    return Schema::Failed;
}

Asked outcomeOf(int code)
{
    switch (code) {
    case Schema::Answered:
        return Asked::Answered;
    case Schema::Refused:
        return Asked::Refused;
    default:
        return Asked::Failed;
    }
}

// SQLite turns UTF-16 into UTF-8 on the way in, and a lone surrogate would take the unit after it
// along; such a keyword gets no record and is never looked up.
bool recordable(const QString& keyword)
{
    return !keyword.isEmpty() && QStringView(keyword).isValidUtf16();
}

QString jsonArray(const QStringList& words)
{
    qsizetype size = 2;
    for (const QString& word : words)
        size += word.size() + 3;
    QString json;
    json.reserve(size);
    json += u'[';
    bool first = true;
    for (const QString& word : words) {
        if (!recordable(word))
            continue;
        if (!first)
            json += u',';
        first = false;
        json += u'"';
        for (const QChar c : word) {
            if (c == u'"' || c == u'\\') {
                json += u'\\';
                json += c;
            } else if (c.unicode() < 0x20) {
                json += u"\\u00"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0');
            } else {
                json += c;
            }
        }
        json += u'"';
    }
    json += u']';
    return json;
}

QString noSessionKept()
{
    return u"本次不保存列表和设置。"_s;
}

QString writeFailureDetail(const QSqlError& error)
{
    switch (sqliteCode(error)) {
    case SqliteFull:
        return u"磁盘已满"_s;
    case SqliteReadOnly:
        return u"文件是只读的"_s;
    case SqliteIoError:
    case SqliteCantOpen:
        return u"读写文件时出错"_s;
    case SqliteCorrupt:
    case SqliteNotADatabase:
        return u"文件已损坏"_s;
    case SqliteBusy:
    case SqliteLocked:
        return u"文件被其他程序占用"_s;
    default:
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
}

// The statements of one transaction: the first failure is kept and the rest are skipped. BEGIN and
// COMMIT go through plain queries, which keep SQLite's result code (the driver's commit() drops it).
class Transaction
{
public:
    explicit Transaction(const QSqlDatabase& db)
        : db_(db)
    {
        exec(u"BEGIN IMMEDIATE"_s);
    }

    bool failed() const { return error_.isValid(); }

    bool exec(QSqlQuery& query)
    {
        const bool ok = !failed() && query.exec();
        if (!failed() && !ok)
            error_ = query.lastError();
        // A prepared statement keeps its values until the next ones; a saved list is megabytes.
        for (int i = 0; i < int(query.boundValues().size()); ++i)
            query.bindValue(i, QVariant());
        return ok;
    }

    bool exec(const QString& statement)
    {
        if (failed())
            return false;
        QSqlQuery query(db_);
        if (!query.exec(statement)) {
            error_ = query.lastError();
            return false;
        }
        return true;
    }

    // Commits, or rolls everything back after a failure; the failure, if any.
    QSqlError finish()
    {
        if (!failed())
            exec(u"COMMIT"_s);
        if (failed()) {
            QSqlQuery rollback(db_);
            rollback.exec(u"ROLLBACK"_s);
        }
        return error_;
    }

private:
    QSqlDatabase db_;
    QSqlError error_;
};

QSqlQuery prepared(const QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    query.prepare(statement);
    return query;
}

// A null QString would go in as NULL; the texts of the tables are never NULL.
void bindAll(QSqlQuery& query, std::initializer_list<QVariant> values)
{
    int i = 0;
    for (const QVariant& value : values) {
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            query.bindValue(i++, u""_s);
        else
            query.bindValue(i++, value);
    }
}

bool queryFailed(const QSqlQuery& query, QSqlError& error)
{
    if (!query.lastError().isValid())
        return false;
    error = query.lastError();
    return true;
}

QString readList(const QSqlDatabase& db, QSqlError& error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QString text;
    if (!query.exec(u"SELECT text FROM list_part ORDER BY id"_s)) {
        error = query.lastError();
        return text;
    }
    while (query.next())
        text += textOfBlob(query.value(0).toByteArray());
    queryFailed(query, error);
    return text;
}

QHash<QString, QString> readSettings(const QSqlDatabase& db, QSqlError& error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QHash<QString, QString> settings;
    if (!query.exec(u"SELECT name, value FROM setting"_s)) {
        error = query.lastError();
        return settings;
    }
    while (query.next())
        settings.insert(query.value(0).toString(), query.value(1).toString());
    queryFailed(query, error);
    return settings;
}

QList<Place> readPlaces(const QSqlDatabase& db, QSqlError& error)
{
    QList<Place> places;
    QHash<QString, qsizetype> indexOfSeed;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT seed, seed_pending, pass, answered, retry, failed_twice, next_generation, run_list,"
                    u" found_count, generation FROM place ORDER BY id"_s)) {
        error = query.lastError();
        return places;
    }
    while (query.next()) {
        Place place;
        place.seed = query.value(0).toString();
        place.seedPending = query.value(1).toBool();
        place.pass = listOfBlob(query.value(2).toByteArray());
        place.answered = query.value(3).toLongLong();
        place.retry = listOfBlob(query.value(4).toByteArray());
        place.failedTwice = listOfBlob(query.value(5).toByteArray());
        place.nextGeneration = textOfBlob(query.value(6).toByteArray());
        place.runList = textOfBlob(query.value(7).toByteArray());
        place.foundCount = query.value(8).toInt();
        place.generation = qMax(1, query.value(9).toInt());
        indexOfSeed.insert(place.seed, places.size());
        places.append(place);
    }
    if (queryFailed(query, error))
        return {};

    QSqlQuery steps(db);
    steps.setForwardOnly(true);
    if (!steps.exec(u"SELECT seed, seed_pending, answered, retry, failed_twice, found_count, run_list_append,"
                    u" next_generation_append FROM place_step ORDER BY id"_s)) {
        error = steps.lastError();
        return {};
    }
    while (steps.next()) {
        const auto found = indexOfSeed.constFind(steps.value(0).toString());
        if (found == indexOfSeed.constEnd())
            continue;
        Place& place = places[*found];
        place.seedPending = steps.value(1).toBool();
        place.answered = steps.value(2).toLongLong();
        place.retry = listOfBlob(steps.value(3).toByteArray());
        place.failedTwice = listOfBlob(steps.value(4).toByteArray());
        place.foundCount = steps.value(5).toInt();
        place.runList += textOfBlob(steps.value(6).toByteArray());
        place.nextGeneration += textOfBlob(steps.value(7).toByteArray());
    }
    if (queryFailed(steps, error))
        return {};
    return places;
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
        return { SessionStore::Opening::Failed, writeFailureDetail(error) };
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

// Turning a time into a local QDateTime costs about a microsecond; the records of one page, one hot-word
// list or one file share theirs.
struct TimeOfRow
{
    qint64 msecs = -1;
    QDateTime time;
    const QDateTime& operator()(qint64 ms)
    {
        if (ms != msecs) {
            msecs = ms;
            time = QDateTime::fromMSecsSinceEpoch(ms);
        }
        return time;
    }
};

KeywordRecord recordOfRow(const QSqlQuery& query, TimeOfRow& timeOfRow)
{
    KeywordRecord record;
    record.keyword = query.value(0).toString();
    record.source = query.value(1).toString();
    record.parent = query.value(2).toString();
    record.seed = query.value(3).toString();
    record.generation = query.value(4).toInt();
    record.firstFound = timeOfRow(query.value(5).toLongLong());
    record.seenCount = query.value(6).toInt();
    return record;
}

} // namespace

namespace Store {

// The writer thread: its own connection, its prepared statements, and the queue it works through.
// What a failed write leaves out is remembered here, so that no later write builds upon it.
class SessionStore::Writer
{
public:
    Writer(const QString& path, std::function<void(const QString&)> failed)
        : path_(path)
        , failed_(std::move(failed))
        , connection_(u"qinglan-store-writer-%1"_s.arg(quintptr(this)))
    {
    }

    ~Writer()
    {
        if (!thread_)
            return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_->wait();
    }

    // Starts the thread and waits until its connection is open; the reason when it could not be.
    QString start()
    {
        thread_.reset(QThread::create([this] { run(); }));
        thread_->start();
        flush();
        return startError_;
    }

    void enqueue(std::function<QSqlError()> job)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

    void flush()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }

    // The jobs, run on the writer thread.
    QSqlError saveList(const QString& text)
    {
        // A later save replaces this one anyway.
        if (--queuedListSaves_ > 0)
            return {};
        Transaction transaction(db());
        transaction.exec(u"DELETE FROM list_part"_s);
        insertListPart_.bindValue(0, utf16Blob(text));
        transaction.exec(insertListPart_);
        const QSqlError error = transaction.finish();
        listStale_ = error.isValid();
        return error;
    }

    QSqlError saveSettings(const QHash<QString, QString>& settings)
    {
        Transaction transaction(db());
        transaction.exec(u"DELETE FROM setting"_s);
        for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
            bindAll(insertSetting_, { it.key(), it.value() });
            transaction.exec(insertSetting_);
        }
        return transaction.finish();
    }

    QSqlError recordPage(const PageEvent& event)
    {
        Transaction transaction(db());
        bindAll(insertAsked_, { event.seed, event.asked, msecs(event.at), outcomeCode(event.outcome) });
        transaction.exec(insertAsked_);
        for (const FoundKeyword& found : event.found) {
            if (!recordable(found.keyword))
                continue;
            bindAll(upsertFound_,
                    { found.keyword, found.source, found.parent, event.seed, found.generation, msecs(event.at) });
            transaction.exec(upsertFound_);
        }
        for (const QString& keyword : event.listedAgain) {
            if (!recordable(keyword))
                continue;
            bindAll(countAgain_, { keyword });
            transaction.exec(countAgain_);
        }
        if (!event.listAppend.isEmpty() && !listStale_) {
            insertListPart_.bindValue(0, utf16Blob(event.listAppend));
            transaction.exec(insertListPart_);
        }
        if (!stalePlaces_.contains(event.seed)) {
            bindAll(insertStep_,
                    { event.seed, event.seedPending, qint64(event.answered), listBlob(event.retry),
                      listBlob(event.failedTwice), event.foundCount, utf16Blob(event.runListAppend),
                      utf16Blob(event.nextGenerationAppend), event.seed });
            transaction.exec(insertStep_);
        }
        const QSqlError error = transaction.finish();
        if (error.isValid()) {
            if (!event.listAppend.isEmpty())
                listStale_ = true;
            stalePlaces_.insert(event.seed);
        }
        return error;
    }

    QSqlError writePlace(const Place& place)
    {
        Transaction transaction(db());
        bindAll(deleteSteps_, { place.seed });
        transaction.exec(deleteSteps_);
        bindAll(replacePlace_,
                { place.seed, place.seedPending, listBlob(place.pass), qint64(place.answered), listBlob(place.retry),
                  listBlob(place.failedTwice), utf16Blob(place.nextGeneration), utf16Blob(place.runList),
                  place.foundCount, place.generation });
        transaction.exec(replacePlace_);
        return placeWritten(place.seed, transaction.finish());
    }

    QSqlError dropPlace(const QString& seed)
    {
        Transaction transaction(db());
        bindAll(deleteSteps_, { seed });
        transaction.exec(deleteSteps_);
        bindAll(deletePlace_, { seed });
        transaction.exec(deletePlace_);
        return placeWritten(seed, transaction.finish());
    }

    QSqlError recordWords(const QStringList& words, const QString& source, const QDateTime& at)
    {
        Transaction transaction(db());
        bindAll(insertWords_, { source, msecs(at), jsonArray(words) });
        transaction.exec(insertWords_);
        return transaction.finish();
    }

    std::atomic<int> queuedListSaves_ { 0 };

private:
    QSqlDatabase db() const { return QSqlDatabase::database(connection_, false); }

    QSqlError placeWritten(const QString& seed, const QSqlError& error)
    {
        if (error.isValid())
            stalePlaces_.insert(seed);
        else
            stalePlaces_.remove(seed);
        return error;
    }

    QString openConnection()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driverName, connection_);
        db.setDatabaseName(path_);
        if (!db.open())
            return writeFailureDetail(db.lastError());
        QSqlQuery query(db);
        // FULL: every commit is on the disk before the next page is asked, so a power cut loses
        // nothing that was committed, and the write-ahead journal keeps the file whole. The larger
        // page cache keeps the keyword index in memory while a long file's words go in.
        for (const QString& pragma : { u"PRAGMA synchronous = FULL"_s, u"PRAGMA journal_size_limit = 4194304"_s,
                                       u"PRAGMA cache_size = -65536"_s }) {
            if (!query.exec(pragma))
                return writeFailureDetail(query.lastError());
        }
        insertListPart_ = prepared(db, u"INSERT INTO list_part (text) VALUES (?)"_s);
        insertSetting_ = prepared(db, u"INSERT INTO setting (name, value) VALUES (?, ?)"_s);
        insertAsked_ = prepared(db, u"INSERT INTO asked (seed, keyword, at, outcome) VALUES (?, ?, ?, ?)"_s);
        upsertFound_ = prepared(db,
                                u"INSERT INTO keyword (keyword, source, parent, seed, generation, first_found,"
                                u" seen_count) VALUES (?, ?, ?, ?, ?, ?, 1)"
                                u" ON CONFLICT (keyword) DO UPDATE SET seen_count = seen_count + 1"_s);
        countAgain_ = prepared(db, u"UPDATE keyword SET seen_count = seen_count + 1 WHERE keyword = ?"_s);
        insertStep_ = prepared(db,
                               u"INSERT INTO place_step (seed, seed_pending, answered, retry, failed_twice,"
                               u" found_count, run_list_append, next_generation_append)"
                               u" SELECT ?, ?, ?, ?, ?, ?, ?, ? WHERE EXISTS (SELECT 1 FROM place WHERE seed = ?)"_s);
        deleteSteps_ = prepared(db, u"DELETE FROM place_step WHERE seed = ?"_s);
        replacePlace_ = prepared(db,
                                 u"INSERT OR REPLACE INTO place (seed, seed_pending, pass, answered, retry,"
                                 u" failed_twice, next_generation, run_list, found_count, generation)"
                                 u" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        deletePlace_ = prepared(db, u"DELETE FROM place WHERE seed = ?"_s);
        // A whole list in one statement: the words go in as one JSON array.
        insertWords_ = prepared(db,
                                u"INSERT OR IGNORE INTO keyword (keyword, source, parent, seed, generation,"
                                u" first_found, seen_count) SELECT value, ?, '', '', 0, ?, 0 FROM json_each(?)"_s);
        for (const QSqlQuery* statement :
             { &insertListPart_, &insertSetting_, &insertAsked_, &upsertFound_, &countAgain_, &insertStep_,
               &deleteSteps_, &replacePlace_, &deletePlace_, &insertWords_ }) {
            if (statement->lastError().isValid())
                return writeFailureDetail(statement->lastError());
        }
        return {};
    }

    void run()
    {
        {
            const QString error = openConnection();
            std::unique_lock<std::mutex> lock(mutex_);
            startError_ = error;
            if (!error.isEmpty())
                stopping_ = true;
        }
        for (;;) {
            std::function<QSqlError()> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                busy_ = false;
                idle_.notify_all();
                wake_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
                if (jobs_.empty() || !startError_.isEmpty()) {
                    jobs_.clear();
                    break;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
                busy_ = true;
            }
            const QSqlError error = job();
            if (error.isValid())
                failed_(writeFailureDetail(error));
        }
        for (QSqlQuery* statement : { &insertListPart_, &insertSetting_, &insertAsked_, &upsertFound_, &countAgain_,
                                      &insertStep_, &deleteSteps_, &replacePlace_, &deletePlace_, &insertWords_ })
            *statement = QSqlQuery();
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        idle_.notify_all();
    }

    const QString path_;
    const std::function<void(const QString&)> failed_;
    const QString connection_;
    std::unique_ptr<QThread> thread_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<QSqlError()>> jobs_;
    bool busy_ = true; // until the connection is open
    bool stopping_ = false;
    QString startError_;

    // Writer thread only.
    bool listStale_ = false;
    QSet<QString> stalePlaces_;
    QSqlQuery insertListPart_, insertSetting_, insertAsked_, upsertFound_, countAgain_, insertStep_, deleteSteps_,
        replacePlace_, deletePlace_, insertWords_;
};

SessionStore::SessionStore(QObject* parent)
    : QObject(parent)
    , readConnection_(u"qinglan-store-reader-%1"_s.arg(quintptr(this)))
{
}

SessionStore::~SessionStore()
{
    close();
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

void SessionStore::close()
{
    closeFile();
    lock_.reset();
}

bool SessionStore::isOpen() const
{
    return writer_ != nullptr;
}

QString SessionStore::filePath() const
{
    return path_;
}

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
    // counts as stale, however old.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
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
    startUpList_ = readList(db, readError);
    startUpSettings_ = readSettings(db, readError);
    startUpPlaces_ = readPlaces(db, readError);
    if (readError.isValid())
        return openingAfter(readError);
    startUpReadsValid_ = true;
    startUpListKept_ = true;

    writer_ = std::make_unique<Writer>(path_, [this](const QString& detail) {
        // From the writer thread to the store's own.
        QMetaObject::invokeMethod(
            this,
            [this, detail] {
                if (writeFailureShown_)
                    return;
                writeFailureShown_ = true;
                Q_EMIT writeFailed(
                    u"保存到 %1 失败：%2。窗口里的内容不受影响，之后的更改可能不会保存。"_s.arg(native(path_), detail));
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

void SessionStore::forgetStartUpReads()
{
    startUpReadsValid_ = false;
    startUpListKept_ = false;
    startUpList_.clear();
    startUpSettings_.clear();
    startUpPlaces_.clear();
}

QSqlDatabase SessionStore::readDatabase() const
{
    return QSqlDatabase::database(readConnection_, false);
}

QString SessionStore::list() const
{
    if (!isOpen())
        return {};
    if (startUpListKept_) {
        startUpListKept_ = false;
        return std::exchange(startUpList_, QString());
    }
    writer_->flush();
    QSqlError error;
    return readList(readDatabase(), error);
}

QHash<QString, QString> SessionStore::settings() const
{
    if (!isOpen())
        return {};
    if (startUpReadsValid_)
        return startUpSettings_;
    writer_->flush();
    QSqlError error;
    return readSettings(readDatabase(), error);
}

QList<Place> SessionStore::places() const
{
    if (!isOpen())
        return {};
    if (startUpReadsValid_)
        return startUpPlaces_;
    writer_->flush();
    QSqlError error;
    return readPlaces(readDatabase(), error);
}

QList<AskedKeyword> SessionStore::asked() const
{
    QList<AskedKeyword> asked;
    if (!isOpen())
        return asked;
    writer_->flush();
    QSqlQuery query(readDatabase());
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT seed, keyword, at, outcome FROM asked ORDER BY id"_s))
        return asked;
    while (query.next()) {
        asked.append({ query.value(0).toString(), query.value(1).toString(),
                       QDateTime::fromMSecsSinceEpoch(query.value(2).toLongLong()),
                       outcomeOf(query.value(3).toInt()) });
    }
    return asked;
}

namespace {

QHash<QString, KeywordRecord> recordsIn(const QSqlDatabase& db, const QStringList& keywords)
{
    QHash<QString, KeywordRecord> records;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    qint64 recordCount = 0;
    if (query.exec(u"SELECT count(*) FROM keyword"_s) && query.next())
        recordCount = query.value(0).toLongLong();
    query.finish();

    TimeOfRow timeOfRow;
    const QString columns
        = u"SELECT k.keyword, k.source, k.parent, k.seed, k.generation, k.first_found, k.seen_count"_s;
    if (recordCount <= 2 * qint64(keywords.size())) {
        // Most records are asked for: reading them all in one pass beats looking each keyword up.
        const QSet<QString> wanted(keywords.cbegin(), keywords.cend());
        if (!query.exec(columns + u" FROM keyword AS k"_s))
            return records;
        while (query.next()) {
            const QString keyword = query.value(0).toString();
            if (wanted.contains(keyword))
                records.insert(keyword, recordOfRow(query, timeOfRow));
        }
        return records;
    }
    // The keywords go in as one JSON array; CROSS JOIN keeps SQLite walking the array and looking
    // each one up, never the other way round.
    query.prepare(columns + u" FROM json_each(?) AS j CROSS JOIN keyword AS k ON k.keyword = j.value"_s);
    query.bindValue(0, jsonArray(keywords));
    if (!query.exec())
        return records;
    while (query.next()) {
        const KeywordRecord record = recordOfRow(query, timeOfRow);
        records.insert(record.keyword, record);
    }
    return records;
}

} // namespace

QHash<QString, KeywordRecord> SessionStore::records(const QStringList& keywords) const
{
    if (!isOpen() || keywords.isEmpty())
        return {};
    writer_->flush();
    return recordsIn(readDatabase(), keywords);
}

QHash<QString, KeywordRecord> SessionStore::readRecords(const QString& filePath, const QStringList& keywords)
{
    QHash<QString, KeywordRecord> records;
    if (filePath.isEmpty() || keywords.isEmpty())
        return records;
    // A connection of the calling thread's own, read only, gone before this returns.
    static QAtomicInt connections;
    const QString name = u"qinglan-records-%1"_s.arg(connections.fetchAndAddRelaxed(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(filePath);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (db.open())
            records = recordsIn(db, keywords);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return records;
}

void SessionStore::saveList(const QString& text)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    ++writer_->queuedListSaves_;
    writer_->enqueue([writer = writer_.get(), text] { return writer->saveList(text); });
}

void SessionStore::saveSettings(const QHash<QString, QString>& settings)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue([writer = writer_.get(), settings] { return writer->saveSettings(settings); });
}

void SessionStore::recordPage(const PageEvent& event)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue([writer = writer_.get(), event] { return writer->recordPage(event); });
}

void SessionStore::writePlace(const Place& place)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue([writer = writer_.get(), place] { return writer->writePlace(place); });
}

void SessionStore::dropPlace(const QString& seed)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue([writer = writer_.get(), seed] { return writer->dropPlace(seed); });
}

void SessionStore::recordWords(const QStringList& words, const QString& source, const QDateTime& at)
{
    if (!isOpen() || words.isEmpty())
        return;
    writer_->enqueue([writer = writer_.get(), words, source, at] { return writer->recordWords(words, source, at); });
}

void SessionStore::flush()
{
    if (isOpen())
        writer_->flush();
}

} // namespace Store
