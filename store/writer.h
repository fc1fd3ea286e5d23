// The store's writer thread: its own connection, its prepared statements, and the queue it works
// through, one transaction per write.
//
// A write that fails (the disk is full, ...) is not dropped: it waits, in order, and is made again in
// the transaction of the next write, before it, and every few seconds while nothing else comes. So the
// file never holds a write without every write queued before it: no page of a run and no place is
// kept ahead of the list it belongs to. A write that replaces a whole (the list, the settings, a seed's
// place) makes an earlier waiting one of its kind needless, and it is dropped.
#pragma once

#include "store/sessionstore.h"
#include "store/transaction.h"

#include <QSet>
#include <QSqlQuery>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace Store {

class SessionStore::Writer
{
public:
    // Waiting writes are tried again after this long without a new write.
    static constexpr int RetryMs = 2000;

    // failed is called on the writer thread with the reason of each failure of a kind not reported
    // before ("磁盘已满", ...).
    Writer(const QString& path, std::function<void(const QString& detail)> failed);
    // Makes every queued write first.
    ~Writer();

    // Starts the thread and waits until its connection is open; the reason when it could not be.
    QString start();

    // What a write replaces whole.
    enum class Whole { Nothing, List, Settings, Place };
    using Statements = std::function<void(Writer&, Transaction&)>;
    // key: the seed of a Place.
    void enqueue(Whole whole, const QString& key, Statements statements);
    // Waits until every queued write is made or has failed.
    void flush();
    // Makes every queued write, ends the thread and closes the connection.
    void stop();
    // While writes that failed wait to be made again, the reason of the last failure; else empty.
    QString behind() const;

    // The statements of the writes, run on the writer thread.
    void saveList(Transaction& transaction, const QString& text);
    void saveSettings(Transaction& transaction, const QHash<QString, QString>& settings);
    void recordPage(Transaction& transaction, const PageEvent& event);
    void writePlace(Transaction& transaction, const Place& place);
    void dropPlace(Transaction& transaction, const QString& seed);
    void recordWords(Transaction& transaction, const QStringList& words, const QString& source, const QDateTime& at);

    // Saves of the list queued and not yet taken: only the last one is made.
    std::atomic<int> queuedListSaves { 0 };

private:
    struct Write
    {
        Whole whole = Whole::Nothing;
        QString key;
        Statements statements;
    };

    QString openConnection();
    void run();
    // One transaction: the writes that wait to be made again, then writes (none: a retry of those alone).
    void make(const std::deque<Write>& writes);
    QSqlDatabase db() const;

    const QString path_;
    const std::function<void(const QString&)> failed_;
    const QString connection_;
    std::unique_ptr<QThread> thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Write> jobs_;
    bool busy_ = true; // until the connection is open
    bool stopping_ = false;
    QString startError_;
    QString behind_;

    // Writer thread only.
    std::deque<Write> waiting_;
    QSet<QString> reported_;
    QSqlQuery insertListPart_, insertSetting_, insertAsked_, upsertFound_, countAgain_, insertStep_, deleteSteps_,
        replacePlace_, deletePlace_, insertWords_;
};

} // namespace Store
