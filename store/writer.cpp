// The writer thread and what it does with a write that failed.
#include "store/writer.h"

#include "store/encoding.h"

#include <algorithm>
#include <chrono>
#include <utility>

using namespace Qt::StringLiterals;
using namespace Store::Encoding;

namespace Store {

namespace {

    std::mutex commitFaultMutex;
    std::function<int()> commitFault;

    int commitFaultCode()
    {
        std::lock_guard<std::mutex> lock(commitFaultMutex);
        return commitFault ? commitFault() : 0;
    }

} // namespace

void SessionStore::setCommitFaultForTesting(std::function<int()> fault)
{
    std::lock_guard<std::mutex> lock(commitFaultMutex);
    commitFault = std::move(fault);
}

SessionStore::Writer::Writer(const QString& path, std::function<void(const QString&)> failed)
    : path_(path)
    , failed_(std::move(failed))
    , connection_(u"qinglan-store-writer-%1"_s.arg(quintptr(this)))
{
}

SessionStore::Writer::~Writer()
{
    stop();
}

QString SessionStore::Writer::start()
{
    thread_.reset(QThread::create([this] { run(); }));
    thread_->start();
    flush();
    return startError_;
}

void SessionStore::Writer::enqueue(Whole whole, const QString& key, Statements statements)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({ whole, key, std::move(statements) });
    }
    wake_.notify_one();
}

void SessionStore::Writer::flush()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void SessionStore::Writer::stop()
{
    if (!thread_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_->wait();
    thread_.reset();
}

QString SessionStore::Writer::behind() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return behind_;
}

void SessionStore::Writer::saveList(Transaction& transaction, const QString& text)
{
    transaction.exec(u"DELETE FROM list_part"_s);
    insertListPart_.bindValue(0, utf16Blob(text));
    transaction.exec(insertListPart_);
}

void SessionStore::Writer::saveSettings(Transaction& transaction, const QHash<QString, QString>& settings)
{
    transaction.exec(u"DELETE FROM setting"_s);
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        bindAll(insertSetting_, { it.key(), it.value() });
        transaction.exec(insertSetting_);
    }
}

void SessionStore::Writer::recordPage(Transaction& transaction, const PageEvent& event)
{
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
    if (!event.listAppend.isEmpty()) {
        insertListPart_.bindValue(0, utf16Blob(event.listAppend));
        transaction.exec(insertListPart_);
    }
    bindAll(insertStep_,
            { event.seed, event.seedPending, qint64(event.answered), listBlob(event.retry), listBlob(event.failedTwice),
              event.foundCount, utf16Blob(event.runListAppend), utf16Blob(event.nextGenerationAppend), event.seed });
    transaction.exec(insertStep_);
}

void SessionStore::Writer::writePlace(Transaction& transaction, const Place& place)
{
    bindAll(deleteSteps_, { place.seed });
    transaction.exec(deleteSteps_);
    bindAll(replacePlace_,
            { place.seed, place.seedPending, listBlob(place.pass), qint64(place.answered), listBlob(place.retry),
              listBlob(place.failedTwice), utf16Blob(place.nextGeneration), utf16Blob(place.runList), place.foundCount,
              place.generation });
    transaction.exec(replacePlace_);
}

void SessionStore::Writer::dropPlace(Transaction& transaction, const QString& seed)
{
    bindAll(deleteSteps_, { seed });
    transaction.exec(deleteSteps_);
    bindAll(deletePlace_, { seed });
    transaction.exec(deletePlace_);
}

void SessionStore::Writer::recordWords(Transaction& transaction, const QStringList& words, const QString& source,
                                       const QDateTime& at)
{
    bindAll(insertWords_, { source, msecs(at), jsonArray(words) });
    transaction.exec(insertWords_);
}

QSqlDatabase SessionStore::Writer::db() const
{
    return QSqlDatabase::database(connection_, false);
}

QString SessionStore::Writer::openConnection()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection_);
    db.setDatabaseName(path_);
    if (!db.open())
        return faultDetail(db.lastError());
    QSqlQuery query(db);
    // FULL: every commit is on the disk before the next page is asked, so a power cut loses
    // nothing that was committed, and the write-ahead journal keeps the file whole. The larger
    // page cache keeps the keyword index in memory while a long file's words go in.
    for (const QString& pragma : { u"PRAGMA synchronous = FULL"_s, u"PRAGMA journal_size_limit = 4194304"_s,
                                   u"PRAGMA cache_size = -65536"_s }) {
        if (!query.exec(pragma))
            return faultDetail(query.lastError());
    }
    insertListPart_ = prepared(db, u"INSERT INTO list_part (text) VALUES (?)"_s);
    insertSetting_ = prepared(db, u"INSERT INTO setting (name, value) VALUES (?, ?)"_s);
    insertAsked_ = prepared(db, u"INSERT INTO asked (seed, keyword, at, outcome) VALUES (?, ?, ?, ?)"_s);
    upsertFound_ = prepared(db,
                            u"INSERT INTO keyword (keyword, source, parent, seed, generation, first_found,"
                            u" seen_count) VALUES (?, ?, ?, ?, ?, ?, 1)"
                            u" ON CONFLICT (keyword) DO UPDATE SET seen_count = seen_count + 1"_s);
    countAgain_ = prepared(db, u"UPDATE keyword SET seen_count = seen_count + 1 WHERE keyword = ?"_s);
    // A page changes the place of its seed only where one is kept.
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
    for (const QSqlQuery* statement : { &insertListPart_, &insertSetting_, &insertAsked_, &upsertFound_, &countAgain_,
                                        &insertStep_, &deleteSteps_, &replacePlace_, &deletePlace_, &insertWords_ }) {
        if (statement->lastError().isValid())
            return faultDetail(statement->lastError());
    }
    return {};
}

void SessionStore::Writer::run()
{
    {
        const QString error = openConnection();
        std::unique_lock<std::mutex> lock(mutex_);
        startError_ = error;
        if (!error.isEmpty())
            stopping_ = true;
    }
    for (;;) {
        std::deque<Write> writes;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            busy_ = false;
            idle_.notify_all();
            const auto woken = [this] { return !jobs_.empty() || stopping_; };
            bool retry = false;
            if (waiting_.empty())
                wake_.wait(lock, woken);
            else
                retry = !wake_.wait_for(lock, std::chrono::milliseconds(RetryMs), woken);
            if (!retry && (jobs_.empty() || !startError_.isEmpty())) {
                jobs_.clear();
                break;
            }
            // One write, one transaction; but while writes wait to be made again, every write queued
            // meanwhile goes along in the same attempt, so that a long queue is not tried once per write.
            if (waiting_.empty()) {
                writes.push_back(std::move(jobs_.front()));
                jobs_.pop_front();
            } else {
                writes.swap(jobs_);
            }
            busy_ = true;
        }
        // A later save of the list replaces this one anyway.
        const auto replaced
            = [this](const Write& write) { return write.whole == Whole::List && --queuedListSaves > 0; };
        writes.erase(std::remove_if(writes.begin(), writes.end(), replaced), writes.end());
        if (!writes.empty() || !waiting_.empty())
            make(writes);
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

void SessionStore::Writer::make(const std::deque<Write>& writes)
{
    Transaction transaction(db());
    for (const Write& earlier : waiting_)
        earlier.statements(*this, transaction);
    for (const Write& write : writes)
        write.statements(*this, transaction);
    if (const int code = transaction.failed() ? 0 : commitFaultCode())
        transaction.fail(QSqlError(u"test"_s, u"test"_s, QSqlError::StatementError, QString::number(code)));
    const QSqlError error = transaction.finish();
    if (!error.isValid()) {
        waiting_.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        behind_.clear();
        return;
    }
    for (const Write& write : writes) {
        if (write.whole != Whole::Nothing) {
            const auto needless
                = [&write](const Write& earlier) { return earlier.whole == write.whole && earlier.key == write.key; };
            waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), needless), waiting_.end());
        }
        waiting_.push_back(write);
    }
    const QString detail = faultDetail(error);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        behind_ = detail;
    }
    if (!reported_.contains(detail)) {
        reported_.insert(detail);
        failed_(detail);
    }
}

} // namespace Store
