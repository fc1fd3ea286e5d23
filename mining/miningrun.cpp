// The mining run: its queue, its novelty memory, its counts, its pauses, its way in to the engine and
// the place it keeps when it ends early.
#include "mining/miningrun.h"

#include "listtools/listcommands.h"
#include "mining/suggestions.h"
#include "platform/inet.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Mining {

namespace {

    int randomBetween(int lowMs, int highMs)
    {
        return lowMs + int(QRandomGenerator::global()->bounded(highMs - lowMs + 1));
    }

    // The generation marks of a place (mining/runplace.h): a line feed and the generation.
    QString generationMark(qint32 generation)
    {
        return u'\n' + QString::number(generation);
    }

    bool isGenerationMark(QStringView entry)
    {
        return entry.startsWith(u'\n');
    }

    // The keywords of an item list with marks, as the list shows them.
    QString withoutMarks(const QString& items)
    {
        if (!items.startsWith(u'\n') && !items.contains(u"\r\n\n"))
            return items;
        QString keywords;
        const QStringList split = items.split(u"\r\n"_s);
        for (qsizetype i = 0; i + 1 < split.size(); ++i) {
            if (!isGenerationMark(split.at(i)))
                keywords += split.at(i) + u"\r\n";
        }
        return keywords;
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
    for (qsizetype i = answered_; i < pass_.size(); ++i)
        pending << pass_.at(i).keyword;
    for (const Entry& entry : failedTwice_)
        pending << entry.keyword;
    for (const Entry& entry : entriesOfItems(nextGeneration_, generation_ + 1))
        pending << entry.keyword;
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
    pass_.clear();
    answered_ = 0;
    failedTwice_.clear();
    nextGeneration_.clear();
    generation_ = 1;
    failedInARow_.clear();
}

bool MiningRun::hasPlaceFor(const QString& seed) const
{
    return (hasPlace_ && placeSeed_ == seed) || shelved_.contains(seed);
}

QStringList MiningRun::entriesWithMarks(const QList<Entry>& entries, qint32 generation)
{
    QStringList list;
    list.reserve(entries.size());
    for (const Entry& entry : entries) {
        if (entry.generation != generation)
            list << generationMark(entry.generation);
        list << entry.keyword;
    }
    return list;
}

QList<MiningRun::Entry> MiningRun::entriesOf(const QStringList& list, qint32 generation, bool secondTry)
{
    QList<Entry> entries;
    entries.reserve(list.size());
    std::optional<qint32> marked;
    for (const QString& item : list) {
        bool number = false;
        const qint32 generationOfMark = isGenerationMark(item) ? item.mid(1).toInt(&number) : 0;
        if (number) {
            marked = qMax(0, generationOfMark);
            continue;
        }
        entries.append({ item, marked.value_or(generation), secondTry });
        marked.reset();
    }
    return entries;
}

QString MiningRun::itemsWithMarks(const QString& keywords, qint32 generation, qint32 nextGeneration)
{
    if (generation == nextGeneration || keywords.isEmpty())
        return keywords;
    const QString mark = generationMark(generation) + u"\r\n";
    QString items;
    const QStringList split = keywords.split(u"\r\n"_s);
    for (qsizetype i = 0; i + 1 < split.size(); ++i)
        items += mark + split.at(i) + u"\r\n";
    return items;
}

QList<MiningRun::Entry> MiningRun::entriesOfItems(const QString& items, qint32 generation)
{
    return entriesOf(items.split(u"\r\n"_s, Qt::SkipEmptyParts), generation, false);
}

Place MiningRun::place() const
{
    Place place;
    if (!hasPlace_)
        return place;
    place.seed = placeSeed_;
    place.seedPending = inSeedPass();
    QList<Entry> firstTries;
    QList<Entry> secondTries;
    for (const Entry& entry : pass_)
        (entry.secondTry ? secondTries : firstTries) << entry;
    place.pass = entriesWithMarks(firstTries, generation_);
    place.retry = entriesWithMarks(secondTries, generation_);
    place.answered = answered_;
    place.failedTwice = entriesWithMarks(failedTwice_, generation_);
    place.nextGeneration = nextGeneration_;
    place.runList = RunList;
    place.foundCount = FoundCount;
    place.generation = generation_;
    return place;
}

QList<Place> MiningRun::places() const
{
    QList<Place> all;
    if (hasPlace_)
        all << place();
    for (auto it = shelved_.cbegin(); it != shelved_.cend(); ++it)
        all << it.value();
    return all;
}

void MiningRun::setPlaces(const QList<Place>& places)
{
    // The place at hand, of a run that may be going on, stays as it is.
    for (const Place& kept : places) {
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

void MiningRun::loadPlace(const Place& kept)
{
    dropPlace();
    hasPlace_ = true;
    placeSeed_ = kept.seed;
    generation_ = kept.seedPending ? 0 : qMax(1, kept.generation);
    if (kept.seedPending && kept.pass.isEmpty() && kept.retry.isEmpty()) {
        // Kept before the seed was a pass of its own: its page is still to be asked.
        pass_.append({ kept.seed, 0, false });
    } else {
        pass_ = entriesOf(kept.pass, generation_, false) + entriesOf(kept.retry, generation_, true);
    }
    answered_ = qBound<qsizetype>(0, kept.answered, pass_.size());
    failedTwice_ = entriesOf(kept.failedTwice, generation_, false);
    nextGeneration_ = kept.nextGeneration;
    RunList = kept.runList;
    openRunListForSeedPass();
}

void MiningRun::openRunListForSeedPass()
{
    // The seed pass's keywords follow the earlier run's list, each between two CRLF as the novelty
    // test wants them, until the pass is over and the run's own list begins.
    if (inSeedPass() && !RunList.endsWith(u"\r\n"))
        RunList += u"\r\n";
}

void MiningRun::begin(const RunSettings& settings)
{
    settings_ = settings;
    RunState = 1;
    FoundCount = 0;
}

MiningRun::Outcome MiningRun::start(const QString& seed, const RunSettings& settings)
{
    begin(settings);
    if (hasPlace_ && placeSeed_ != seed)
        shelvePlace();
    else
        dropPlace();
    shelved_.remove(seed);
    hasPlace_ = true;
    placeSeed_ = seed;
    generation_ = 0;
    pass_.append({ seed, 0, false });
    openRunListForSeedPass();
    Q_EMIT placeWritten(place());
    return run();
}

MiningRun::Outcome MiningRun::resume(const QString& seed, const RunSettings& settings)
{
    begin(settings);
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
    if (inSeedPass()) {
        // The seed's pass is over: the run's own list begins with what it found.
        RunList = u"\r\n"_s + withoutMarks(nextGeneration_) + u"\r\n";
        noveltyIndex_.reset(RunList);
    }
    pass_ = entriesOfItems(nextGeneration_, generation_ + 1);
    answered_ = 0;
    nextGeneration_.clear();
    ++generation_;
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
    if (settings_.pauseSeconds <= 0)
        return 0;
    return int(std::lround(settings_.pauseSeconds * (0.5 + QRandomGenerator::global()->generateDouble()) * 1000));
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
    const int gapMs = settings_.pauseSeconds > 0 ? randomBetween(SuggestionGapMinMs, SuggestionGapMaxMs) : 0;
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

MiningRun::Step MiningRun::ask(const Entry& entry)
{
    Step step = fetchResultPage(entry.keyword);
    if (step.asked != Asked::Answered && step.asked != Asked::Failed)
        return step;
    listed_.clear();
    listedAgain_.clear();
    foundInStep_.clear();
    const qsizetype runListBefore = RunList.size();
    if (step.asked == Asked::Answered) {
        // The seed's page is cut with markers of its own.
        step.found = entry.generation == 0
            ? newKeywordsOfPage(step.page, SeedMarkers.first, SeedMarkers.second)
            : newKeywordsOfPage(step.page, QString::fromUtf16(BlockStart), QString::fromUtf16(BlockEnd));
        RunList += step.found;
        noveltyIndex_.append(step.found);
    }
    step.related = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    listed_.clear();
    // The suggestions of a keyword whose page failed still count; they are never a failure.
    if (settings_.suggestions) {
        const std::optional<QString> more = newSuggestions(entry.keyword);
        if (!more)
            step.asked = Asked::Abandoned;
        else
            step.found += *more;
    }
    step.suggested = listed_.split(u"\r\n"_s, Qt::SkipEmptyParts);
    step.listedAgain = listedAgain_;
    step.runListAppend = RunList.mid(runListBefore);
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
    QList<Entry> kept = pass_.mid(answered_) + failedTwice_;
    for (Entry& entry : kept)
        entry.secondTry = false;
    if (how == End::FailedInARow) {
        // None of them was answered: they come first when the run goes on.
        QList<Entry> failed;
        for (Entry entry : std::as_const(failedInARow_)) {
            entry.secondTry = false;
            const auto same = [&entry](const Entry& other) {
                return other.keyword == entry.keyword && other.generation == entry.generation;
            };
            if (std::any_of(failed.cbegin(), failed.cend(), same))
                continue;
            failed << entry;
            const auto at = std::find_if(kept.begin(), kept.end(), same);
            if (at != kept.end())
                kept.erase(at);
        }
        kept = failed + kept;
    }
    pass_ = kept;
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
    pacer_->setPauseSeconds(settings_.pauseSeconds);
    pacer_->allow();
    // The engine chose the web engine at an earlier start: asked through it from the first query,
    // unless it cannot start here.
    if (prefersWebEngine_ && !web_)
        webUnproven_ = switchToWebEngine();
    for (;;) {
        if (answered_ == pass_.size()) {
            const bool nothingNext = ListCommands::trimSpaces(nextGeneration_).isEmpty();
            if (inSeedPass() && nothingNext && !failedTwice_.isEmpty())
                // Neither try of the seed's page came back and nothing else gave a keyword: nothing
                // was learnt, and the list and RunList stay as they were.
                return end(End::SeedFailed, lastFailure_);
            if (nothingNext) {
                if (inSeedPass()) {
                    RunList = u"\r\n\r\n"_s;
                    noveltyIndex_.reset(RunList);
                }
                return end(failedTwice_.isEmpty() ? End::Finished : End::FinishedWithFailures);
            }
            takeNextGeneration();
            Q_EMIT placeWritten(place());
            if (!alive || abandoned_)
                return end(End::Abandoned);
            continue;
        }
        if (RunState == 2)
            return end(End::Stopped);
        const Entry entry = pass_.at(answered_);
        if (!waitTurn(randomPauseMs())) {
            if (!alive || abandoned_)
                return end(End::Abandoned);
            return end(End::Stopped);
        }
        if (!inSeedPass())
            Q_EMIT querying(entry.keyword);
        const Step step = ask(entry);
        if (!alive || abandoned_ || step.asked == Asked::Abandoned)
            return end(End::Abandoned);
        switch (step.asked) {
        case Asked::Stopped:
            return end(End::Stopped);
        case Asked::Refused:
        case Asked::RefusedAfterPass:
            // The refused keyword stays first in the place.
            reportPage(entry, step, QString());
            if (!alive || abandoned_)
                return end(End::Abandoned);
            return end(step.asked == Asked::Refused ? End::Refused : End::RefusedAfterPass);
        case Asked::Failed:
            // Asked once more at the end of its pass; kept for a later run when that fails too.
            if (entry.secondTry)
                failedTwice_.append({ entry.keyword, entry.generation, false });
            else
                pass_.append({ entry.keyword, entry.generation, true });
            failedInARow_ << entry;
            lastFailure_ = step.page.error;
            break;
        default:
            failedInARow_.clear();
            break;
        }
        ++answered_;
        // What a keyword's answers list is of its own generation + 1, whichever pass asked it.
        const QString nextAppend = itemsWithMarks(step.found, entry.generation + 1, generation_ + 1);
        nextGeneration_ += nextAppend;
        reportPage(entry, step, nextAppend);
        if (!alive || abandoned_)
            return end(End::Abandoned);
        if (failedInARow_.size() >= MaxFailuresInARow)
            return end(End::FailedInARow, step.page.error);
    }
}

void MiningRun::reportPage(const Entry& entry, const Step& step, const QString& nextGenerationAppend)
{
    PageEvent page;
    page.seed = placeSeed_;
    page.asked = entry.keyword;
    page.outcome = step.asked == Asked::Answered ? PageOutcome::Answered
        : step.asked == Asked::Failed            ? PageOutcome::Failed
                                                 : PageOutcome::Refused;
    page.at = QDateTime::currentDateTime();
    page.found.reserve(step.related.size() + step.suggested.size());
    const QString related = QString::fromUtf16(RelatedSourceName);
    const QString suggested = QString::fromUtf16(SuggestionSourceName);
    for (const QString& keyword : step.related)
        page.found.append({ keyword, related, entry.keyword, entry.generation + 1 });
    for (const QString& keyword : step.suggested)
        page.found.append({ keyword, suggested, entry.keyword, entry.generation + 1 });
    page.listedAgain = step.listedAgain;
    page.seedPending = inSeedPass();
    page.answered = answered_;
    // The second tries stand at the end of the pass.
    qsizetype firstRetry = pass_.size();
    while (firstRetry > 0 && pass_.at(firstRetry - 1).secondTry)
        --firstRetry;
    page.retry = entriesWithMarks(pass_.mid(firstRetry), generation_);
    page.failedTwice = entriesWithMarks(failedTwice_, generation_);
    page.foundCount = FoundCount;
    page.runListAppend = step.runListAppend;
    page.nextGenerationAppend = nextGenerationAppend;
    Q_EMIT pageAsked(page);
}

bool MiningRun::isKnownKeyword(const QString& item)
{
    const bool known
        = noveltyByScan_ ? NoveltyIndex::isKnownByScan(RunList, item) : noveltyIndex_.isKnown(RunList, item);
    // One step's answers count once for a keyword, however often they list it; one they found new
    // counts as found.
    if (known && running_ && !listedAgain_.contains(item)
        && (foundInStep_.isEmpty() || !foundInStep_.contains(NoveltyIndex::foldKey(item))))
        listedAgain_ << item;
    return known;
}

ExtractionSettings MiningRun::extractionSettings()
{
    // RunList may have been written from elsewhere since the index last saw it.
    if (noveltyIndex_.indexedLength() != RunList.size())
        noveltyIndex_.reset(RunList);
    return { settings_.minLength, settings_.containsFilter };
}

QString MiningRun::countNewKeywords(const Extraction& found)
{
    int added = found.count;
    QString keywords = found.keywords;
    if (running_ && found.count > 0) {
        // A keyword that one step's answers list twice (the page twice, or the page and the
        // suggestions) is one keyword: asked once, counted once. Only what joins the list counts; a
        // keyword that already stands in it is still the run's.
        added = 0;
        keywords.clear();
        const QStringList items = found.keywords.split(u"\r\n"_s);
        for (qsizetype i = 0; i + 1 < items.size(); ++i) {
            const QString& item = items.at(i);
            const QString key = NoveltyIndex::foldKey(item);
            if (foundInStep_.contains(key))
                continue;
            foundInStep_.insert(key);
            keywords += item + u"\r\n";
            if (!takeIntoList || takeIntoList(item)) {
                listed_ += item + u"\r\n";
                ++added;
            } else {
                listedAgain_ << item;
            }
        }
    } else {
        listed_ += found.keywords;
    }
    if (added > 0) {
        FoundCount += added;
        Q_EMIT countChanged(FoundCount);
        if (FoundCount >= settings_.countLimit)
            RunState = 2;
    }
    return keywords;
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
