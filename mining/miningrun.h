// A mining run as an object: from one seed keyword it asks the engine for the related searches of
// every keyword it finds, generation after generation, breadth first. It keeps its place when it
// ends early (Stop, the count limit, the engine's verification, failed requests), so that a later
// call goes on with the first keyword not yet answered, as if it had never been interrupted.
//
// The run is a loop over one step: ask one keyword (its result page, then its suggestions) and get
// back how it went (answered, failed, refused). One place decides what each outcome means for the
// place, and one place ends the run. The seed is no exception: it is the first pass, alone, and its
// page is a step like every other. Every step is one pageAsked event, with the keywords it gives the
// list and the place after it.
//
// The run gets its pages from a page source (mining/pagesource.h): the fetch component, or the web
// engine once the engine has shown that it serves the web engine and refuses the fetcher. The switch
// is the run's own and holds for its later runs too; the choice is kept for the next start of the
// program, whose runs then ask through the web engine from their first query.
//
// Every request waits for its turn from the pacer (mining/pacer.h), which the window shares with the
// verification window: the pause between queries, the cool-down after a refusal, one at a time.
//
// The run is synchronous: start() and resume() return when the run is over. While a page is
// awaited, or during a pause, the application's events go on, so the window can stop the run, show
// its progress and change its list.
#pragma once

#include "mining/extraction.h"
#include "mining/pacer.h"
#include "mining/pagesource.h"
#include "mining/runplace.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class Inet;
struct FetchResult;

namespace Mining {

// What the window reads from its controls when a run starts or goes on.
struct RunSettings
{
    qint32 countLimit = 0; // the run stops once this many keywords joined the list
    qint32 minLength = 0; // a keyword must be longer than this
    QString containsFilter; // every new keyword contains it, unless it holds FilterOff
    // Seconds between two queries; each pause lasts a random time between half and one and a half
    // times as long. 0: no pause.
    double pauseSeconds = 2;
    // Each keyword asked is also asked of the search box's suggestion service (下拉词).
    bool suggestions = false;
    QDateTime startTime;
};

class MiningRun : public QObject
{
    Q_OBJECT
public:
    // Five failed result pages in a row end the run; the engine or the network is down.
    static constexpr int MaxFailuresInARow = 5;
    static constexpr int MaxPauseSeconds = 600;
    // After the engine refused a request, the next one waits at least this long, whatever the pause.
    static constexpr int RefusalCoolDownMs = Pacer::RefusalCoolDownMs;
    // With a pause set, a keyword's suggestions are asked this long after its result page, as a
    // person's typing would ask them.
    static constexpr int SuggestionGapMinMs = 200;
    static constexpr int SuggestionGapMaxMs = 800;

    enum class End {
        Finished, // a whole generation found nothing new; no place is kept
        FinishedWithFailures, // as Finished, but keywords whose pages failed twice are kept
        Stopped, // Stop or the count limit; the place is kept
        Refused, // the engine asked for its verification and nobody passed it; place kept
        RefusedAfterPass, // the engine refused again right after its verification was passed
        FailedInARow, // MaxFailuresInARow pages in a row failed; the place is kept
        SeedFailed, // the seed's page could not be fetched; nothing changed, no place
        Abandoned, // the window closed during a wait
    };
    struct Outcome
    {
        End end = End::Finished;
        QString reason; // the fetch's own reason for SeedFailed and FailedInARow
    };

    // What the person at the verification window did.
    enum class Verification {
        Passed, // shown, then passed: the engine answers the same way in again
        Served, // the window's first page was already past it: the engine serves the web engine
        NotPassed, // closed, stopped, or the window cannot be shown
    };

    explicit MiningRun(QObject* parent = nullptr);
    ~MiningRun() override;

    // The fetch component, the first way in.
    void setInet(Inet* inet);
    // Makes the second way in, the web engine; nullptr when the engine cannot start.
    std::function<std::unique_ptr<PageSource>()> webSourceFactory;
    // Shows the engine's verification for a refused request and waits for the person.
    std::function<Verification(const FetchResult& refused)> verify;
    // Whether the run asks through the web engine now; once the engine has served it, it does until
    // the run is destroyed.
    bool usesWebEngine() const { return web_ != nullptr; }
    // The engine's choice kept from an earlier start: refuse the fetcher, serve the web engine. A run
    // then starts on the web engine; when that cannot start it asks through the fetcher, and when the
    // engine refuses it before it served it once, the choice is forgotten and the run goes on through
    // the fetcher, the refusal handled as the fetcher's.
    bool prefersWebEngine() const { return prefersWebEngine_; }
    void setPrefersWebEngine(bool prefers) { prefersWebEngine_ = prefers; }

    // The pace of every request; the run's own unless the window hands it the one it shares with the
    // verification window. The pacer outlives the run.
    void setPacer(Pacer* pacer) { pacer_ = pacer ? pacer : &ownPacer_; }
    Pacer* pacer() const { return pacer_; }

    // Run state, kept from one run to the next: start() and resume() set RunState to 1 and FoundCount
    // to 0.
    qint32 RunState = 0; // 0 no run, 1 running, 2 stop requested
    qint32 FoundCount = 0;
    // The run's own list: CRLF, the seed page's keywords, CRLF, then every later keyword followed
    // by CRLF. It answers the novelty test and gives the order of the run. Until the seed's pass is
    // over it still holds the previous run's list, against which the seed page's keywords are new.
    QString RunList;
    QPair<QString, QString> SeedMarkers;

    // The settings of the run in progress or of the last one.
    const RunSettings& settings() const { return settings_; }
    // The settings that jcf applies outside a run; start() and resume() are given their own.
    void setSettings(const RunSettings& settings) { settings_ = settings; }

    // Whether a keyword the run found new may join the list: false when it already is a line of the
    // list, letter case ignored. The run still asks such a keyword, but neither adds nor counts it.
    std::function<bool(const QString& keyword)> takeIntoList;

    // A fresh run from seed; a place kept for seed is dropped, the places of other seeds are kept.
    Outcome start(const QString& seed, const RunSettings& settings);
    // Goes on from the place kept for seed; without one it finishes at once.
    Outcome resume(const QString& seed, const RunSettings& settings);

    bool hasPlace() const { return hasPlace_; }
    bool hasPlaceFor(const QString& seed) const;
    // The seed of the run whose place is at hand.
    const QString& placeSeed() const { return placeSeed_; }
    // The place at hand, and every kept place (the one at hand first).
    Place place() const;
    QList<Place> places() const;
    // Adds the places kept from an earlier start of the program; none is at hand until resumed.
    void setPlaces(const QList<Place>& places);
    // The keywords not yet answered, in the order they will be asked: the rest of the pass, the
    // failed ones waiting for their second try, those that failed twice, then the next generation.
    QStringList pendingKeywords() const;

    // Stop requested: no further request; a pause in progress ends at once.
    void stop();
    // The window is closing: the run ends at its next chance without touching anything.
    void abandon();

    // The extraction with counting and the count limit (the window's jcf).
    QString jcf(const QString& block, const QString& itemStart, const QString& itemEnd);
    QString jcfWords(const QStringList& words);
    // The new keywords of a fetched result page: jcf over its classic block when it has one,
    // otherwise jcfWords over the words of the newer layouts.
    QString newKeywordsOfPage(const FetchResult& page, const QString& blockStart, const QString& blockEnd);

    // The benchmark's plain method answers the novelty test by scanning RunList.
    void setNoveltyByScan(bool scan) { noveltyByScan_ = scan; }

Q_SIGNALS:
    // A later keyword is about to be asked (the seed is not announced).
    void querying(const QString& keyword);
    void countChanged(qint32 foundCount);
    // One keyword asked: what its answers gave, the keywords that join the list among them, and the
    // place after it. Every page asked is one event, the seed's too; the list gets the keywords
    // before the next page is asked.
    void pageAsked(const Mining::PageEvent& page);
    // The place at hand, whole: at a run's start, when a pass begins, when a run ends early.
    void placeWritten(const Mining::Place& place);
    // The run of seed ended by itself: nothing of it is kept.
    void placeDropped(const QString& seed);
    // prefersWebEngine() changed: the engine served the web engine after it refused the fetcher, or
    // it refused the web engine that an earlier start had chosen.
    void webEngineChosen(bool prefers);

private:
    // How asking one keyword went.
    enum class Asked { Answered, Failed, Refused, RefusedAfterPass, Stopped, Abandoned };
    struct Step
    {
        Asked asked = Asked::Answered;
        FetchResult page;
        QString found; // the keywords new to the run of its page and suggestions, each followed by CRLF
        QString runListAppend; // what they added to RunList
        QStringList related;   // those that join the list, of the page ...
        QStringList suggested; // ... and of the suggestions
        QStringList listedAgain;
    };
    // A keyword of the place, with the generation it was found in (0: the seed).
    struct Entry
    {
        QString keyword;
        qint32 generation = 1;
        bool secondTry = false;
    };

    void begin(const RunSettings& settings);
    Outcome run();
    // One step: the keyword's result page, then its suggestions.
    Step ask(const Entry& entry);
    // The result page of keyword through the verification: at most one window for it, one switch to
    // the web engine, and never a request without the cool-down after a refusal.
    Step fetchResultPage(const QString& keyword);
    // One request through the source in use, once the pacer gives it its turn: gapMs after the end of
    // the last request at least, never within the cool-down of a refusal. Nullopt when the run was
    // stopped or abandoned before it could be sent.
    std::optional<FetchResult> request(const QString& address, Inet::Expect expect, int gapMs = 0);
    bool switchToWebEngine();
    // Back to the fetcher: the engine refused the web engine that an earlier start chose.
    void forgetWebEngine();
    PageSource& source();
    // Waits for the pacer's turn; false when the run was stopped or abandoned meanwhile.
    bool waitTurn(int gapMs);
    // The pause before a query: a random time between half and one and a half times the pause.
    int randomPauseMs() const;
    bool stopped() const { return RunState == 2 || abandoned_; }
    // The new keywords among the search box's suggestions for keyword, checked against RunList as it
    // stands; nothing when the service gives nothing, whatever the reason.
    std::optional<QString> newSuggestions(const QString& keyword);
    Outcome end(End end, const QString& reason = QString());
    bool isKnownKeyword(const QString& item);
    ExtractionSettings extractionSettings();
    QString countNewKeywords(const Extraction& found);
    void dropPlace();
    void shelvePlace();
    void loadPlace(const Place& place);
    void openRunListForSeedPass();
    void takeNextGeneration();
    // The keyword lists of a place with their generation marks (mining/runplace.h), generation
    // being the generation of the pass, or of the next one for an item list.
    static QStringList entriesWithMarks(const QList<Entry>& entries, qint32 generation);
    static QList<Entry> entriesOf(const QStringList& list, qint32 generation, bool secondTry);
    static QString itemsWithMarks(const QString& keywords, qint32 generation, qint32 nextGeneration);
    static QList<Entry> entriesOfItems(const QString& items, qint32 generation);
    // The seed's pass precedes every other: the seed page's keywords are new against the earlier
    // run's list, and the run's own list begins when that pass is over.
    bool inSeedPass() const { return generation_ == 0; }
    // entry was asked and step is what it gave; nextGenerationAppend is what it added to the next
    // generation, marks included.
    void reportPage(const Entry& entry, const Step& step, const QString& nextGenerationAppend);

    std::unique_ptr<InetPageSource> inet_;
    std::unique_ptr<PageSource> web_;
    PageSource* fetching_ = nullptr; // the source whose fetch is awaited
    bool prefersWebEngine_ = false;
    bool webUnproven_ = false; // web_ comes from the kept choice and has not been answered yet
    Pacer ownPacer_;
    Pacer* pacer_ = &ownPacer_;
    NoveltyIndex noveltyIndex_;
    bool noveltyByScan_ = false;
    bool abandoned_ = false;
    bool running_ = false;
    RunSettings settings_;
    QString listed_;           // what countNewKeywords let into the list since it was last taken
    QStringList listedAgain_;  // listed words of this step that were met before or already in the list
    QSet<QString> foundInStep_; // the case-folded keywords this step found new: one keyword, once
    QHash<QString, Place> shelved_; // the places of other seeds

    // The kept place.
    bool hasPlace_ = false;
    QString placeSeed_;
    QList<Entry> pass_; // the current pass, second tries at its end ...
    qsizetype answered_ = 0; // ... of which this many are answered
    QList<Entry> failedTwice_; // kept for a later run: their pages failed twice
    QString nextGeneration_; // the next generation as far as it got, as an item list with marks
    qint32 generation_ = 1; // of the keywords of the pass; 0 for the seed's
    QList<Entry> failedInARow_; // keywords whose pages failed one after the other
    QString lastFailure_; // the fetch's reason of the last page that failed
};

} // namespace Mining

Q_DECLARE_METATYPE(Mining::PageEvent)
Q_DECLARE_METATYPE(Mining::Place)
