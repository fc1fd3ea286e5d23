// A mining run as an object: from one seed keyword it asks the engine for the related searches of
// every keyword it finds, generation after generation, breadth first. It keeps its place when it
// ends early (Stop, the count limit, the engine's verification, failed requests), so that a later
// call goes on with the first keyword not yet answered, as if it had never been interrupted.
//
// The run is synchronous: start() and resume() return when the run is over. While a page is
// awaited, or during the pause between two queries, the application's events go on, so the window
// can stop the run, show its progress and change its list.
#pragma once

#include "mining/extraction.h"

#include <QDateTime>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class Inet;
class QEventLoop;
struct FetchResult;

namespace Mining {

class MiningRun : public QObject
{
    Q_OBJECT
public:
    // Five failed result pages in a row end the run; the engine or the network is down.
    static constexpr int MaxFailuresInARow = 5;
    static constexpr int MaxPauseSeconds = 600;

    enum class End {
        Finished,           // a whole generation found nothing new; no place is kept
        Stopped,            // Stop or the count limit; the place is kept
        Refused,            // the engine asked for its verification; the place is kept
        FailedInARow,       // MaxFailuresInARow pages in a row failed; the place is kept
        SeedFailed,         // the seed's page could not be fetched; nothing changed, no place
        Abandoned,          // the window closed during a wait
    };
    struct Outcome
    {
        End end = End::Finished;
        QString reason; // the fetch's own reason for SeedFailed and FailedInARow
    };

    explicit MiningRun(QObject* parent = nullptr);
    ~MiningRun() override;

    void setInet(Inet* inet) { inet_ = inet; }

    // Run state, kept from one run to the next. The caller sets RunState to 1, FoundCount to 0, the
    // settings and StartTime before start() or resume().
    qint32 RunState = 0; // 0 no run, 1 running, 2 stop requested
    qint32 FoundCount = 0;
    qint32 CountLimit = 0;
    qint32 MinLength = 0;
    QString ContainsFilter;
    QDateTime StartTime;
    // The run's own list: CRLF, the seed page's keywords, CRLF, then every later keyword followed
    // by CRLF. It answers the novelty test and gives the order of the run.
    QString RunList;
    QPair<QString, QString> SeedMarkers;
    // Seconds between two queries; each pause lasts a random time between half and one and a half
    // times as long. 0: no pause.
    qint32 PauseSeconds = 2;
    // Each keyword asked is also asked of the search box's suggestion service (下拉词).
    bool Suggestions = false;

    // A fresh run from seed; any kept place is dropped.
    Outcome start(const QString& seed);
    // Goes on from the kept place; without one it finishes at once.
    Outcome resume();

    bool hasPlace() const { return hasPlace_; }
    // The seed of the run whose place is kept.
    const QString& placeSeed() const { return placeSeed_; }
    // The keywords not yet answered, in the order they will be asked.
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

    // Called when the engine refused a query with its verification. Returns true once a person has
    // passed it, and the refused keyword is asked again; false ends the run with End::Refused.
    std::function<bool(const FetchResult& refused)> verificationPassed;

Q_SIGNALS:
    // A later keyword is about to be asked (the seed is not announced).
    void querying(const QString& keyword);
    void countChanged(qint32 foundCount);
    // The new keywords of one page, each followed by CRLF (maybe none); seedPage for the first.
    void keywordsFound(const QString& keywords, bool seedPage);

private:
    Outcome run();
    // Fetches until the answer is not the verification or nobody passes it; false when the run
    // must end as refused.
    bool fetchPassingVerification(const QString& keyword, FetchResult& page);
    bool pauseBeforeQuery();
    // The new keywords among the search box's suggestions for keyword, checked against RunList as it
    // stands; nothing when the service gives nothing, whatever the reason.
    QString newSuggestions(const QString& keyword);
    bool isKnownKeyword(const QString& item) const;
    ExtractionSettings extractionSettings();
    QString countNewKeywords(const Extraction& found);
    void dropPlace();
    void takeNextGeneration();

    Inet* inet_ = nullptr;
    NoveltyIndex noveltyIndex_;
    bool noveltyByScan_ = false;
    bool abandoned_ = false;
    QPointer<QEventLoop> pause_;

    // The kept place.
    bool hasPlace_ = false;
    QString placeSeed_;
    bool seedPending_ = false;    // the seed's page has not been answered yet
    QStringList generation_;      // the current generation ...
    qsizetype answered_ = 0;      // ... of which this many are answered
    QString nextGeneration_;      // the next generation as far as it got, as an item list
    QStringList failedInARow_;    // keywords whose pages failed one after the other
};

} // namespace Mining
