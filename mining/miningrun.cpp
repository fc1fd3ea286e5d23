// The mining run: its queue, its novelty memory, its counts, the pause between queries and the
// place it keeps when it ends early.
#include "mining/miningrun.h"

#include "listtools/listcommands.h"
#include "mining/suggestions.h"
#include "platform/inet.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Mining {

MiningRun::MiningRun(QObject* parent)
    : QObject(parent)
    , SeedMarkers(QString::fromUtf16(BlockStart), QString::fromUtf16(BlockEnd))
{
}

MiningRun::~MiningRun()
{
    if (pause_)
        pause_->quit();
}

QStringList MiningRun::pendingKeywords() const
{
    QStringList pending;
    if (!hasPlace_)
        return pending;
    if (seedPending_)
        pending << placeSeed_;
    pending << generation_.mid(answered_);
    pending << nextGeneration_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    return pending;
}

void MiningRun::stop()
{
    RunState = 2;
    if (pause_)
        pause_->quit();
}

void MiningRun::abandon()
{
    abandoned_ = true;
    stop();
}

void MiningRun::dropPlace()
{
    hasPlace_ = false;
    placeSeed_.clear();
    seedPending_ = false;
    generation_.clear();
    answered_ = 0;
    nextGeneration_.clear();
    failedInARow_.clear();
}

MiningRun::Outcome MiningRun::start(const QString& seed)
{
    dropPlace();
    hasPlace_ = true;
    placeSeed_ = seed;
    seedPending_ = true;
    return run();
}

MiningRun::Outcome MiningRun::resume()
{
    if (!hasPlace_) {
        RunState = 0;
        return {};
    }
    return run();
}

void MiningRun::takeNextGeneration()
{
    generation_ = nextGeneration_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    answered_ = 0;
    nextGeneration_.clear();
}

bool MiningRun::fetchPassingVerification(const QString& keyword, FetchResult& page)
{
    const QPointer<MiningRun> alive(this);
    for (;;) {
        page = inet_->OpenURL(resultPageAddress(keyword));
        if (!alive || abandoned_ || !page.verification)
            return true;
        // The engine refuses every further request until a person passes its verification.
        if (RunState == 2 || !verificationPassed || !verificationPassed(page) || !alive || abandoned_
            || RunState == 2)
            return false;
    }
}

bool MiningRun::pauseBeforeQuery()
{
    if (PauseSeconds <= 0)
        return RunState != 2;
    const double seconds = PauseSeconds * (0.5 + QRandomGenerator::global()->generateDouble());
    const QPointer<MiningRun> alive(this);
    QEventLoop loop;
    pause_ = &loop;
    QTimer::singleShot(qRound(seconds * 1000), &loop, &QEventLoop::quit);
    if (RunState != 2)
        loop.exec();
    if (!alive)
        return false;
    pause_ = nullptr;
    return RunState != 2 && !abandoned_;
}

MiningRun::Outcome MiningRun::run()
{
    const QPointer<MiningRun> alive(this);
    abandoned_ = false;
    if (seedPending_) {
        FetchResult seed;
        const bool passed = fetchPassingVerification(placeSeed_, seed);
        if (!alive || abandoned_)
            return {End::Abandoned, {}};
        if (!passed) {
            RunState = 2;
            return {End::Refused, {}};
        }
        noveltyIndex_.reset(RunList);
        QString found = newKeywordsOfPage(seed, SeedMarkers.first, SeedMarkers.second);
        if (Suggestions) {
            // The suggestions are new only when neither the earlier run nor the seed page gave them.
            const QString earlier = RunList;
            RunList += u"\r\n"_s + found;
            found += newSuggestions(placeSeed_);
            if (!alive || abandoned_)
                return {End::Abandoned, {}};
            if (found.isEmpty())
                RunList = earlier;
        }
        if (!seed.ok && found.isEmpty()) {
            // Nothing was learnt: the list, RunList and the previous run's memory stay as they were.
            RunState = 0;
            dropPlace();
            return {End::SeedFailed, seed.error};
        }
        RunList = u"\r\n"_s + found + u"\r\n";
        noveltyIndex_.reset(RunList);
        seedPending_ = false;
        nextGeneration_ = found;
        takeNextGeneration();
        Q_EMIT keywordsFound(found, true);
        if (!alive || abandoned_)
            return {End::Abandoned, {}};
    }

    const QString blockStart = QString::fromUtf16(BlockStart);
    const QString blockEnd = QString::fromUtf16(BlockEnd);
    for (;;) {
        while (answered_ < generation_.size()) {
            if (RunState == 2)
                return {End::Stopped, {}};
            if (!pauseBeforeQuery()) {
                if (!alive || abandoned_)
                    return {End::Abandoned, {}};
                return {End::Stopped, {}};
            }
            const QString keyword = generation_.at(answered_);
            Q_EMIT querying(keyword);
            FetchResult page;
            const bool passed = fetchPassingVerification(keyword, page);
            if (!alive || abandoned_)
                return {End::Abandoned, {}};
            if (!passed) {
                // The refused keyword stays first in the place.
                Q_EMIT keywordsFound(QString(), false);
                RunState = 2;
                return {End::Refused, {}};
            }
            // The suggestions of a keyword whose page failed still count; they are never a failure.
            const QString suggested = Suggestions && !page.ok ? newSuggestions(keyword) : QString();
            if (!alive || abandoned_)
                return {End::Abandoned, {}};
            if (!page.ok) {
                nextGeneration_ += suggested;
                failedInARow_ << keyword;
                ++answered_;
                Q_EMIT keywordsFound(suggested, false);
                if (failedInARow_.size() >= MaxFailuresInARow) {
                    // None of them was answered: they come first when the run goes on.
                    generation_ = failedInARow_ + generation_.mid(answered_);
                    answered_ = 0;
                    failedInARow_.clear();
                    RunState = 2;
                    return {End::FailedInARow, page.error};
                }
                continue;
            }
            failedInARow_.clear();
            QString found = newKeywordsOfPage(page, blockStart, blockEnd);
            RunList += found;
            noveltyIndex_.append(found);
            if (Suggestions) {
                const QString more = newSuggestions(keyword);
                if (!alive || abandoned_)
                    return {End::Abandoned, {}};
                found += more;
            }
            nextGeneration_ += found;
            ++answered_;
            Q_EMIT keywordsFound(found, false);
            if (!alive || abandoned_)
                return {End::Abandoned, {}};
        }
        if (ListCommands::trimSpaces(nextGeneration_).isEmpty()) {
            RunState = 0;
            dropPlace();
            return {End::Finished, {}};
        }
        takeNextGeneration();
    }
}

QString MiningRun::newSuggestions(const QString& keyword)
{
    const FetchResult answer = inet_->OpenURL(suggestionAddress(keyword), Inet::Expect::Json);
    if (!answer.ok)
        return QString();
    const QString found = jcfWords(suggestionWords(answer.text));
    RunList += found;
    noveltyIndex_.append(found);
    return found;
}

bool MiningRun::isKnownKeyword(const QString& item) const
{
    if (noveltyByScan_)
        return NoveltyIndex::isKnownByScan(RunList, item);
    return noveltyIndex_.isKnown(RunList, item);
}

ExtractionSettings MiningRun::extractionSettings()
{
    // RunList may have been written from elsewhere since the index last saw it.
    if (noveltyIndex_.indexedLength() != RunList.size())
        noveltyIndex_.reset(RunList);
    return {MinLength, ContainsFilter};
}

QString MiningRun::countNewKeywords(const Extraction& found)
{
    if (found.count > 0) {
        FoundCount += found.count;
        Q_EMIT countChanged(FoundCount);
        if (FoundCount >= CountLimit)
            RunState = 2;
    }
    return found.keywords;
}

QString MiningRun::jcf(const QString& block, const QString& itemStart, const QString& itemEnd)
{
    return countNewKeywords(extractNewKeywords(block, itemStart, itemEnd, extractionSettings(),
                                               [this](const QString& item) { return isKnownKeyword(item); }));
}

QString MiningRun::jcfWords(const QStringList& words)
{
    return countNewKeywords(
        extractNewWords(words, extractionSettings(), [this](const QString& item) { return isKnownKeyword(item); }));
}

QString MiningRun::newKeywordsOfPage(const FetchResult& page, const QString& blockStart, const QString& blockEnd)
{
    if (!page.ok)
        return QString();
    const RelatedSearches offered = relatedSearches(page.text, blockStart, blockEnd);
    if (!offered.classicBlock.isEmpty())
        return jcf(offered.classicBlock, QString::fromUtf16(ItemStart), QString::fromUtf16(ItemEnd));
    return jcfWords(offered.words);
}

} // namespace Mining
