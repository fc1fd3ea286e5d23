// The mining run: its queue, its novelty memory, its counts, its pauses, its way in to the engine and
// the place it keeps when it ends early.
#include "mining/miningrun.h"

#include "listtools/listcommands.h"
#include "mining/suggestions.h"
#include "platform/inet.h"

#include <QRandomGenerator>

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

MiningRun::~MiningRun() = default;

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
    // Nothing more goes to the engine, from the run or from the verification window.
    pacer_->stop();
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

bool MiningRun::hasPlaceFor(const QString& seed) const
{
    return (hasPlace_ && placeSeed_ == seed) || shelved_.contains(seed);
}

RunPlace MiningRun::place() const
{
    RunPlace place;
    if (!hasPlace_)
        return place;
    place.seed = placeSeed_;
    place.seedPending = seedPending_;
    for (const Entry& entry : pass_)
        (entry.secondTry ? place.retry : place.pass) << entry.keyword;
    place.answered = answered_;
    place.failedTwice = failedTwice_;
    place.nextGeneration = nextGeneration_;
    place.runList = RunList;
    place.foundCount = FoundCount;
    place.generation = generation_;
    return place;
}

QList<RunPlace> MiningRun::places() const
{
    QList<RunPlace> all;
    if (hasPlace_)
        all << place();
    for (auto it = shelved_.cbegin(); it != shelved_.cend(); ++it)
        all << it.value();
    return all;
}

void MiningRun::setPlaces(const QList<RunPlace>& places)
{
    // The place at hand, of a run that may be going on, stays as it is.
    for (const RunPlace& kept : places) {
        if (!(hasPlace_ && placeSeed_ == kept.seed))
            shelved_.insert(kept.seed, kept);
    }
}

void MiningRun::shelvePlace()
{
    if (hasPlace_)
        shelved_.insert(placeSeed_, place());
    dropPlace();
}

void MiningRun::loadPlace(const RunPlace& kept)
{
    dropPlace();
    hasPlace_ = true;
    placeSeed_ = kept.seed;
    seedPending_ = kept.seedPending;
    for (const QString& keyword : kept.pass)
        pass_.append({ keyword, false });
    for (const QString& keyword : kept.retry)
        pass_.append({ keyword, true });
    answered_ = qBound<qsizetype>(0, kept.answered, pass_.size());
    failedTwice_ = kept.failedTwice;
    nextGeneration_ = kept.nextGeneration;
    generation_ = qMax(1, kept.generation);
    RunList = kept.runList;
}

MiningRun::Outcome MiningRun::start(const QString& seed)
{
    if (hasPlace_ && placeSeed_ != seed)
        shelvePlace();
    else
        dropPlace();
    shelved_.remove(seed);
    hasPlace_ = true;
    placeSeed_ = seed;
    seedPending_ = true;
    generation_ = 1;
    Q_EMIT placeWritten(place());
    return run();
}

MiningRun::Outcome MiningRun::resume(const QString& seed)
{
    if (!(hasPlace_ && placeSeed_ == seed)) {
        if (!shelved_.contains(seed)) {
            RunState = 0;
            return {};
        }
        shelvePlace();
        loadPlace(shelved_.take(seed));
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

void MiningRun::forgetWebEngine()
{
    web_.reset();
    webUnproven_ = false;
    if (prefersWebEngine_) {
        prefersWebEngine_ = false;
        Q_EMIT webEngineChosen(false);
    }
}

bool MiningRun::waitTurn(int gapMs)
{
    if (stopped())
        return false;
    const QPointer<MiningRun> alive(this);
    const bool turn = pacer_->waitTurn(gapMs);
    if (!alive)
        return false;
    return turn && !stopped();
}

int MiningRun::randomPauseMs() const
{
    if (PauseSeconds <= 0)
        return 0;
    return int(std::lround(PauseSeconds * (0.5 + QRandomGenerator::global()->generateDouble()) * 1000));
}

std::optional<FetchResult> MiningRun::request(const QString& address, Inet::Expect expect, int gapMs)
{
    if (!waitTurn(gapMs))
        return std::nullopt;
    const QPointer<MiningRun> alive(this);
    PageSource& from = source();
    fetching_ = &from;
    pacer_->started();
    FetchResult page = from.fetch(address, expect);
    // A run destroyed meanwhile went with its window, and the pacer with them.
    if (!alive)
        return std::nullopt;
    pacer_->ended(page.verification);
    fetching_ = nullptr;
    if (abandoned_)
        return std::nullopt;
    if (page.ok && web_ && &from == web_.get()) {
        // The engine serves the web engine: the choice holds, and is kept for the next start.
        webUnproven_ = false;
        if (!prefersWebEngine_) {
            prefersWebEngine_ = true;
            Q_EMIT webEngineChosen(true);
            if (!alive)
                return std::nullopt;
        }
    }
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
    // The web engine that an earlier start chose is refused before it was answered once: the run
    // goes back to the fetcher, and the refusal is handled as the fetcher's.
    if (page->verification && webUnproven_)
        forgetWebEngine();
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
        // The window's requests count: the pause after its last one, the cool-down after a refusal.
        page = request(address, Inet::Expect::Page, randomPauseMs());
        // Refused again right after a pass: the fetcher is what the engine refuses.
        if (page && page->verification && answer == Verification::Passed && !usesWebEngine() && switchToWebEngine())
            page = request(address, Inet::Expect::Page, randomPauseMs());
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
    // As a person's typing would ask them, a little after the page came.
    const int gapMs = PauseSeconds > 0 ? randomBetween(SuggestionGapMinMs, SuggestionGapMaxMs) : 0;
    const QPointer<MiningRun> alive(this);
    const std::optional<FetchResult> answer = request(suggestionAddress(keyword), Inet::Expect::Json, gapMs);
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
    listed_.clear();
    listedAgain_.clear();
    QString found = newKeywordsOfPage(step.page, SeedMarkers.first, SeedMarkers.second);
    step.listed = listed_;
    step.related = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    listed_.clear();
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
    step.listed += listed_;
    step.suggested = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    step.listedAgain = listedAgain_;
    return step;
}

MiningRun::Step MiningRun::ask(const QString& keyword)
{
    Step step = fetchResultPage(keyword);
    if (step.asked != Asked::Answered && step.asked != Asked::Failed)
        return step;
    listed_.clear();
    listedAgain_.clear();
    if (step.asked == Asked::Answered) {
        step.found = newKeywordsOfPage(step.page, QString::fromUtf16(BlockStart), QString::fromUtf16(BlockEnd));
        RunList += step.found;
        noveltyIndex_.append(step.found);
    }
    step.listed = listed_;
    step.related = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    listed_.clear();
    // The suggestions of a keyword whose page failed still count; they are never a failure.
    if (Suggestions) {
        const std::optional<QString> more = newSuggestions(keyword);
        if (!more)
            step.asked = Asked::Abandoned;
        else
            step.found += *more;
    }
    step.listed += listed_;
    step.suggested = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    step.listedAgain = listedAgain_;
    return step;
}

MiningRun::Outcome MiningRun::end(End how, const QString& reason)
{
    running_ = false;
    if (how == End::Abandoned)
        return { how, reason };
    if (how == End::Finished || how == End::SeedFailed) {
        RunState = 0;
        const QString seed = placeSeed_;
        dropPlace();
        Q_EMIT placeDropped(seed);
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
    Q_EMIT placeWritten(place());
    return { how, reason };
}

MiningRun::Outcome MiningRun::run()
{
    const QPointer<MiningRun> alive(this);
    abandoned_ = false;
    running_ = true;
    pacer_->setPauseSeconds(PauseSeconds);
    pacer_->allow();
    // The engine chose the web engine at an earlier start: asked through it from the first query,
    // unless it cannot start here.
    if (prefersWebEngine_ && !web_)
        webUnproven_ = switchToWebEngine();
    if (seedPending_) {
        const Step seed = askSeed();
        if (!alive || seed.asked == Asked::Abandoned || abandoned_)
            return end(End::Abandoned);
        switch (seed.asked) {
        case Asked::Stopped:
            return end(End::Stopped);
        case Asked::Refused:
        case Asked::RefusedAfterPass:
            reportPage(placeSeed_, seed, QString(), 1);
            return end(seed.asked == Asked::Refused ? End::Refused : End::RefusedAfterPass);
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
        generation_ = 1;
        Q_EMIT keywordsFound(seed.listed, true);
        if (!alive || abandoned_)
            return end(End::Abandoned);
        reportPage(placeSeed_, seed, QString(), 1);
        Q_EMIT placeWritten(place());
        if (!alive || abandoned_)
            return end(End::Abandoned);
    }

    for (;;) {
        if (answered_ == pass_.size()) {
            if (ListCommands::trimSpaces(nextGeneration_).isEmpty())
                return end(failedTwice_.isEmpty() ? End::Finished : End::FinishedWithFailures);
            takeNextGeneration();
            ++generation_;
            Q_EMIT placeWritten(place());
            if (!alive || abandoned_)
                return end(End::Abandoned);
            continue;
        }
        if (RunState == 2)
            return end(End::Stopped);
        if (!waitTurn(randomPauseMs())) {
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
            if (!alive || abandoned_)
                return end(End::Abandoned);
            reportPage(entry.keyword, step, QString(), generation_ + 1);
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
        Q_EMIT keywordsFound(step.listed, false);
        if (!alive || abandoned_)
            return end(End::Abandoned);
        reportPage(entry.keyword, step, step.found, generation_ + 1);
        if (!alive || abandoned_)
            return end(End::Abandoned);
        if (failedInARow_.size() >= MaxFailuresInARow)
            return end(End::FailedInARow, step.page.error);
    }
}

void MiningRun::reportPage(const QString& asked, const Step& step, const QString& runListAppend, qint32 generation)
{
    AskedPage page;
    page.seed = placeSeed_;
    page.asked = asked;
    page.outcome = step.asked == Asked::Answered ? AskedPage::Outcome::Answered
        : step.asked == Asked::Failed            ? AskedPage::Outcome::Failed
                                                 : AskedPage::Outcome::Refused;
    page.at = QDateTime::currentDateTime();
    page.related = step.related;
    page.suggested = step.suggested;
    page.listedAgain = step.listedAgain;
    page.generation = generation;
    page.seedPending = seedPending_;
    page.answered = answered_;
    for (const Entry& entry : pass_) {
        if (entry.secondTry)
            page.retry << entry.keyword;
    }
    page.failedTwice = failedTwice_;
    page.foundCount = FoundCount;
    page.runListAppend = runListAppend;
    page.nextGenerationAppend = runListAppend;
    Q_EMIT pageAsked(page);
}

bool MiningRun::isKnownKeyword(const QString& item)
{
    const bool known
        = noveltyByScan_ ? NoveltyIndex::isKnownByScan(RunList, item) : noveltyIndex_.isKnown(RunList, item);
    if (known && running_)
        listedAgain_ << item;
    return known;
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
    int added = found.count;
    if (running_ && takeIntoList && found.count > 0) {
        // Only what joins the list counts; a keyword that already stands in it is still the run's.
        added = 0;
        const QStringList items = found.keywords.split(u"\r\n"_s);
        for (qsizetype i = 0; i + 1 < items.size(); ++i) {
            if (takeIntoList(items.at(i))) {
                listed_ += items.at(i) + u"\r\n";
                ++added;
            } else {
                listedAgain_ << items.at(i);
            }
        }
    } else {
        listed_ += found.keywords;
    }
    if (added > 0) {
        FoundCount += added;
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
