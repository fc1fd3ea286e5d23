// The store's calls: the writes go to the writer thread (store/writer.cpp) in order; opening and
// closing are store/opening.cpp, the reads store/reads.cpp.
#include "store/sessionstore.h"

#include "store/writer.h"

#include <QLockFile>

using namespace Qt::StringLiterals;

namespace Store {

SessionStore::SessionStore(QObject* parent)
    : QObject(parent)
    , readConnection_(u"qinglan-store-reader-%1"_s.arg(quintptr(this)))
{
}

SessionStore::~SessionStore()
{
    close();
}

bool SessionStore::isOpen() const
{
    return writer_ != nullptr;
}

QString SessionStore::filePath() const
{
    return path_;
}

void SessionStore::forgetStartUpReads()
{
    startUpReadsValid_ = false;
    startUpListKept_ = false;
    startUpList_.clear();
    startUpSettings_.clear();
    startUpPlaces_.clear();
}

void SessionStore::saveList(const QString& text)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    ++writer_->queuedListSaves;
    writer_->enqueue(Writer::Whole::List, QString(),
                     [text](Writer& writer, Transaction& transaction) { writer.saveList(transaction, text); });
}

void SessionStore::saveSettings(const QHash<QString, QString>& settings)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue(Writer::Whole::Settings, QString(), [settings](Writer& writer, Transaction& transaction) {
        writer.saveSettings(transaction, settings);
    });
}

void SessionStore::recordPage(const PageEvent& event)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue(Writer::Whole::Nothing, QString(),
                     [event](Writer& writer, Transaction& transaction) { writer.recordPage(transaction, event); });
}

void SessionStore::writePlace(const Place& place)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue(Writer::Whole::Place, place.seed,
                     [place](Writer& writer, Transaction& transaction) { writer.writePlace(transaction, place); });
}

void SessionStore::dropPlace(const QString& seed)
{
    if (!isOpen())
        return;
    forgetStartUpReads();
    writer_->enqueue(Writer::Whole::Place, seed,
                     [seed](Writer& writer, Transaction& transaction) { writer.dropPlace(transaction, seed); });
}

void SessionStore::recordWords(const QStringList& words, const QString& source, const QDateTime& at)
{
    if (!isOpen() || words.isEmpty())
        return;
    writer_->enqueue(Writer::Whole::Nothing, QString(), [words, source, at](Writer& writer, Transaction& transaction) {
        writer.recordWords(transaction, words, source, at);
    });
}

void SessionStore::flush()
{
    if (isOpen())
        writer_->flush();
}

} // namespace Store
