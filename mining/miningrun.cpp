// The mining run: its queue, its novelty memory, its counts, its pauses, its way in to the engine and
// the place it keeps when it ends early.
#include "mining/miningrun.h"

#include "listtools/listcommands.h"
#include "mining/suggestions.h"
#include "platform/inet.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Mining {

namespace {

    int randomBetween(int lowMs, int highMs)
    {
        return lowMs + int(QRandomGenerator::global()->bounded(highMs - lowMs + 1));
    }

} // namespace

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

void MiningRun::setInet(Inet* inet)
{
    inet_ = std::make_unique<InetPageSource>(inet);
}

QStringList MiningRun::pendingKeywords() const
{
    QStringList pending;
    if (!hasPlace_)
        return pending;
    if (seedPending_)
        pending << placeSeed_;
    for (qsizetype i = answered_; i < pass_.size(); ++i)
        pending << pass_.at(i).keyword;
    pending << failedTwice_;
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
    if (fetching_)
        fetching_->abort();
}

void MiningRun::dropPlace()
{
    hasPlace_ = false;
    placeSeed_.clear();
    seedPending_ = false;
    pass_.clear();
    answered_ = 0;
    failedTwice_.clear();
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
    pass_.clear();
    const QStringList next = nextGeneration_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    pass_.reserve(next.size());
    for (const QString& keyword : next)
        pass_.append({ keyword, false });
    answered_ = 0;
    nextGeneration_.clear();
}

PageSource& MiningRun::source()
{
    return web_ ? *web_ : static_cast<PageSource&>(*inet_);
}

bool MiningRun::switchToWebEngine()
{
    if (web_)
        return true;
    if (webSourceFactory)
        web_ = webSourceFactory();
    return web_ != nullptr;
}

bool MiningRun::wait(int ms)
{
    if (stopped())
        return false;
    if (ms <= 0)
        return true;
    const QPointer<MiningRun> alive(this);
    QEventLoop loop;
    pause_ = &loop;
    // Precise: a coarse timer may end the wait up to 5 % early, and the cool-down is a promise.
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    if (!alive)
        return false;
    pause_ = nullptr;
    return !stopped();
}

bool MiningRun::pauseBeforeQuery()
{
    if (PauseSeconds <= 0)
        return !stopped();
    const double seconds = PauseSeconds * (0.5 + QRandomGenerator::global()->generateDouble());
    return wait(int(std::lround(seconds * 1000)));
}

std::optional<FetchResult> MiningRun::request(const QString& address, Inet::Expect expect)
{
    // After a refusal the engine is given time, however short the pause; the pause before the query
    // counts towards it.
    if (sinceRefusal_.isValid()) {
        const qint64 coolDown = qMax<qint64>(RefusalCoolDownMs, qint64(PauseSeconds * 1000));
        if (!wait(int(qMax<qint64>(0, coolDown - sinceRefusal_.elapsed()))))
            return std::nullopt;
    }
    if (stopped())
        return std::nullopt;
    const QPointer<MiningRun> alive(this);
    PageSource& from = source();
    fetching_ = &from;
    FetchResult page = from.fetch(address, expect);
    if (!alive)
        return std::nullopt;
    fetching_ = nullptr;
    if (abandoned_)
        return std::nullopt;
    if (page.verification)
        sinceRefusal_.start();
    else
        sinceRefusal_.invalidate();
    return page;
}

MiningRun::Step MiningRun::fetchResultPage(const QString& keyword)
{
    const QPointer<MiningRun> alive(this);
    const auto gone = [&alive, this] { return !alive || abandoned_; };
    const QString address = resultPageAddress(keyword);
    Step step;
    std::optional<FetchResult> page = request(address, Inet::Expect::Page);
    if (!page) {
        step.asked = gone() ? Asked::Abandoned : Asked::Stopped;
        return step;
    }
    if (page->verification) {
        // The engine refuses every further request until a person passes its verification; one
        // window for the keyword at most.
        step.page = *page;
        if (RunState == 2 || !verify) {
            step.asked = Asked::Refused;
            return step;
        }
        const Verification answer = verify(*page);
        if (gone()) {
            step.asked = Asked::Abandoned;
            return step;
        }
        if (answer == Verification::NotPassed || RunState == 2) {
            step.asked = Asked::Refused;
            return step;
        }
        // A window that found the engine answering at once shows that the engine serves the web
        // engine and not the fetcher.
        if (answer == Verification::Served && !switchToWebEngine()) {
            step.asked = Asked::Refused;
            return step;
        }
        page = request(address, Inet::Expect::Page);
        // Refused again right after a pass: the fetcher is what the engine refuses.
        if (page && page->verification && answer == Verification::Passed && !usesWebEngine() && switchToWebEngine())
            page = request(address, Inet::Expect::Page);
        if (!page) {
            step.asked = gone() ? Asked::Abandoned : Asked::Stopped;
            return step;
        }
        if (page->verification) {
            step.page = *page;
            step.asked = answer == Verification::Passed ? Asked::RefusedAfterPass : Asked::Refused;
            return step;
        }
    }
    step.page = *page;
    step.asked = page->ok ? Asked::Answered : Asked::Failed;
    return step;
}

std::optional<QString> MiningRun::newSuggestions(const QString& keyword)
{
    // Nothing more is asked once the run was stopped or reached its limit while the page was awaited.
    if (stopped())
        return QString();
    if (PauseSeconds > 0 && !wait(randomBetween(SuggestionGapMinMs, SuggestionGapMaxMs)))
        return abandoned_ ? std::nullopt : std::optional<QString>(QString());
    const QPointer<MiningRun> alive(this);
    const std::optional<FetchResult> answer = request(suggestionAddress(keyword), Inet::Expect::Json);
    if (!alive || abandoned_)
        return std::nullopt;
    if (!answer || !answer->ok)
        return QString();
    const QString found = jcfWords(suggestionWords(answer->text));
    RunList += found;
    noveltyIndex_.append(found);
    return found;
}

MiningRun::Step MiningRun::askSeed()
{
    Step step = fetchResultPage(placeSeed_);
    if (step.asked != Asked::Answered && step.asked != Asked::Failed)
        return step;
    // The seed page's keywords are new when the earlier run did not find them.
    noveltyIndex_.reset(RunList);
    QString found = newKeywordsOfPage(step.page, SeedMarkers.first, SeedMarkers.second);
    if (Suggestions) {
        // The suggestions are new only when neither the earlier run nor the seed page gave them.
        const QString earlier = RunList;
        RunList += u"\r\n"_s + found;
        const std::optional<QString> more = newSuggestions(placeSeed_);
        if (!more) {
            step.asked = Asked::Abandoned;
            return step;
        }
        found += *more;
        if (found.isEmpty())
            RunList = earlier;
    }
    step.found = found;
    return step;
}

MiningRun::Step MiningRun::ask(const QString& keyword)
{
    Step step = fetchResultPage(keyword);
    if (step.asked != Asked::Answered && step.asked != Asked::Failed)
        return step;
    if (step.asked == Asked::Answered) {
        step.found = newKeywordsOfPage(step.page, QString::fromUtf16(BlockStart), QString::fromUtf16(BlockEnd));
        RunList += step.found;
        noveltyIndex_.append(step.found);
    }
    // The suggestions of a keyword whose page failed still count; they are never a failure.
    if (Suggestions) {
        const std::optional<QString> more = newSuggestions(keyword);
        if (!more)
            step.asked = Asked::Abandoned;
        else
            step.found += *more;
    }
    return step;
}

MiningRun::Outcome MiningRun::end(End how, const QString& reason)
{
    if (how == End::Abandoned)
        return { how, reason };
    if (how == End::Finished || how == End::SeedFailed) {
        RunState = 0;
        dropPlace();
        return { how, reason };
    }
    // The place becomes one pass of everything not yet answered, each with its two tries again: the
    // rest of the pass, the second tries, those that failed twice; the next generation follows.
    QStringList kept;
    for (qsizetype i = answered_; i < pass_.size(); ++i)
        kept << pass_.at(i).keyword;
    kept << failedTwice_;
    if (how == End::FailedInARow) {
        // None of them was answered: they come first when the run goes on.
        QStringList failed = failedInARow_;
        failed.removeDuplicates();
        for (const QString& keyword : std::as_const(failed))
            kept.removeOne(keyword);
        kept = failed + kept;
    }
    pass_.clear();
    for (const QString& keyword : std::as_const(kept))
        pass_.append({ keyword, false });
    answered_ = 0;
    failedTwice_.clear();
    failedInARow_.clear();
    RunState = how == End::FinishedWithFailures ? 0 : 2;
    return { how, reason };
}

MiningRun::Outcome MiningRun::run()
{
    const QPointer<MiningRun> alive(this);
    abandoned_ = false;
    if (seedPending_) {
        const Step seed = askSeed();
        if (!alive || seed.asked == Asked::Abandoned || abandoned_)
            return end(End::Abandoned);
        switch (seed.asked) {
        case Asked::Stopped:
            return end(End::Stopped);
        case Asked::Refused:
            return end(End::Refused);
        case Asked::RefusedAfterPass:
            return end(End::RefusedAfterPass);
        default:
            break;
        }
        if (seed.asked == Asked::Failed && seed.found.isEmpty())
            // Nothing was learnt: the list, RunList and the previous run's memory stay as they were.
            return end(End::SeedFailed, seed.page.error);
        RunList = u"\r\n"_s + seed.found + u"\r\n";
        noveltyIndex_.reset(RunList);
        seedPending_ = false;
        nextGeneration_ = seed.found;
        takeNextGeneration();
        Q_EMIT keywordsFound(seed.found, true);
        if (!alive || abandoned_)
            return end(End::Abandoned);
    }

    for (;;) {
        if (answered_ == pass_.size()) {
            if (ListCommands::trimSpaces(nextGeneration_).isEmpty())
                return end(failedTwice_.isEmpty() ? End::Finished : End::FinishedWithFailures);
            takeNextGeneration();
            continue;
        }
        if (RunState == 2)
            return end(End::Stopped);
        if (!pauseBeforeQuery()) {
            if (!alive || abandoned_)
                return end(End::Abandoned);
            return end(End::Stopped);
        }
        const Entry entry = pass_.at(answered_);
        Q_EMIT querying(entry.keyword);
        const Step step = ask(entry.keyword);
        if (!alive || abandoned_ || step.asked == Asked::Abandoned)
            return end(End::Abandoned);
        switch (step.asked) {
        case Asked::Stopped:
            return end(End::Stopped);
        case Asked::Refused:
        case Asked::RefusedAfterPass:
            // The refused keyword stays first in the place.
            Q_EMIT keywordsFound(QString(), false);
            return end(step.asked == Asked::Refused ? End::Refused : End::RefusedAfterPass);
        case Asked::Failed:
            // Asked once more at the end of its pass; kept for a later run when that fails too.
            if (entry.secondTry)
                failedTwice_ << entry.keyword;
            else
                pass_.append({ entry.keyword, true });
            failedInARow_ << entry.keyword;
            break;
        default:
            failedInARow_.clear();
            break;
        }
        ++answered_;
        nextGeneration_ += step.found;
        Q_EMIT keywordsFound(step.found, false);
        if (!alive || abandoned_)
            return end(End::Abandoned);
        if (failedInARow_.size() >= MaxFailuresInARow)
            return end(End::FailedInARow, step.page.error);
    }
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
    return { MinLength, ContainsFilter };
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
