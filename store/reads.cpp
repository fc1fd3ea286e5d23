// Reading the session file: the reads of start-up and later ones on the store's thread, and the
// records that the export of the sheet reads on its own thread.
#include "store/reads.h"

#include "store/encoding.h"
#include "store/transaction.h"
#include "store/writer.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <utility>

using namespace Qt::StringLiterals;
using namespace Store::Encoding;

namespace Store::Reads {

namespace {

    bool queryFailed(const QSqlQuery& query, QSqlError& error)
    {
        if (!query.lastError().isValid())
            return false;
        error = query.lastError();
        return true;
    }

    // Turning a time into a local QDateTime costs about a microsecond; the records of one page, one
    // hot-word list or one file share theirs.
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

QString list(const QSqlDatabase& db, QSqlError& error)
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

QHash<QString, QString> settings(const QSqlDatabase& db, QSqlError& error)
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

QList<Place> places(const QSqlDatabase& db, QSqlError& error)
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

QList<AskedKeyword> asked(const QSqlDatabase& db, QSqlError& error)
{
    QList<AskedKeyword> asked;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT seed, keyword, at, outcome FROM asked ORDER BY id"_s)) {
        error = query.lastError();
        return asked;
    }
    while (query.next()) {
        asked.append({ query.value(0).toString(), query.value(1).toString(),
                       QDateTime::fromMSecsSinceEpoch(query.value(2).toLongLong()),
                       outcomeOf(query.value(3).toInt()) });
    }
    queryFailed(query, error);
    return asked;
}

QHash<QString, KeywordRecord> records(const QSqlDatabase& db, const QStringList& keywords, QSqlError& error)
{
    QHash<QString, KeywordRecord> records;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT count(*) FROM keyword"_s) || !query.next()) {
        queryFailed(query, error);
        return records;
    }
    const qint64 recordCount = query.value(0).toLongLong();
    query.finish();

    TimeOfRow timeOfRow;
    const QString columns
        = u"SELECT k.keyword, k.source, k.parent, k.seed, k.generation, k.first_found, k.seen_count"_s;
    if (recordCount <= 2 * qint64(keywords.size())) {
        // Most records are asked for: reading them all in one pass beats looking each keyword up.
        const QSet<QString> wanted(keywords.cbegin(), keywords.cend());
        if (!query.exec(columns + u" FROM keyword AS k"_s)) {
            error = query.lastError();
            return records;
        }
        while (query.next()) {
            const QString keyword = query.value(0).toString();
            if (wanted.contains(keyword))
                records.insert(keyword, recordOfRow(query, timeOfRow));
        }
        queryFailed(query, error);
        return records;
    }
    // The keywords go in as one JSON array; CROSS JOIN keeps SQLite walking the array and looking
    // each one up, never the other way round.
    query.prepare(columns + u" FROM json_each(?) AS j CROSS JOIN keyword AS k ON k.keyword = j.value"_s);
    query.bindValue(0, jsonArray(keywords));
    if (!query.exec()) {
        error = query.lastError();
        return records;
    }
    while (query.next()) {
        const KeywordRecord record = recordOfRow(query, timeOfRow);
        records.insert(record.keyword, record);
    }
    queryFailed(query, error);
    return records;
}

} // namespace Store::Reads

namespace Store {

namespace {

    QString recordsUnreadable(const QString& filePath, const QString& detail)
    {
        return u"无法从 %1 读出关键词的来历：%2"_s.arg(QDir::toNativeSeparators(filePath), detail);
    }

} // namespace

ListRecords::ListRecords(QString filePath, QString list, QString unreadable)
    : filePath_(std::move(filePath))
    , list_(std::move(list))
{
    if (!unreadable.isEmpty()) {
        failure_ = recordsUnreadable(filePath_, unreadable);
        read_ = true;
    }
}

const KeywordRecord* ListRecords::find(const QString& line)
{
    if (!read_)
        read();
    const auto found = records_.constFind(line);
    return found == records_.cend() ? nullptr : &*found;
}

void ListRecords::read()
{
    read_ = true;
    const QStringList lines = list_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    list_.clear();
    if (!QFileInfo::exists(filePath_)) {
        failure_ = recordsUnreadable(filePath_, u"文件不存在"_s);
        return;
    }
    // A connection of the calling thread's own, read only, gone before this returns.
    static QAtomicInt connections;
    const QString name = u"qinglan-records-%1"_s.arg(connections.fetchAndAddRelaxed(1));
    QSqlError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(filePath_);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (db.open())
            records_ = Reads::records(db, lines, error);
        else
            error = db.lastError();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (error.isValid()) {
        records_.clear();
        failure_ = recordsUnreadable(filePath_, faultDetail(error));
    }
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
    return Reads::list(readDatabase(), error);
}

QHash<QString, QString> SessionStore::settings() const
{
    if (!isOpen())
        return {};
    if (startUpReadsValid_)
        return startUpSettings_;
    writer_->flush();
    QSqlError error;
    return Reads::settings(readDatabase(), error);
}

QList<Place> SessionStore::places() const
{
    if (!isOpen())
        return {};
    if (startUpReadsValid_)
        return startUpPlaces_;
    writer_->flush();
    QSqlError error;
    return Reads::places(readDatabase(), error);
}

QList<AskedKeyword> SessionStore::asked() const
{
    if (!isOpen())
        return {};
    writer_->flush();
    QSqlError error;
    return Reads::asked(readDatabase(), error);
}

QHash<QString, KeywordRecord> SessionStore::records(const QStringList& keywords) const
{
    if (!isOpen() || keywords.isEmpty())
        return {};
    writer_->flush();
    QSqlError error;
    return Reads::records(readDatabase(), keywords, error);
}

std::shared_ptr<ListRecords> SessionStore::recordsOfList(const QString& list)
{
    if (!isOpen())
        return nullptr;
    // The file then holds every record made before this call, unless writes are waiting to be made
    // again: the records of those would be missing.
    writer_->flush();
    return std::make_shared<ListRecords>(path_, list, writer_->behind());
}

QSqlDatabase SessionStore::readDatabase() const
{
    return QSqlDatabase::database(readConnection_, false);
}

} // namespace Store
