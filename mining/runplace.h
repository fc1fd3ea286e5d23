// What a mining run keeps and what it reports, as plain values that the run, the window and the
// session store share: the place a run has reached, and the event of one keyword asked with what its
// answers gave.
//
// The run asks pass by pass, breadth first. The seed alone is the first pass (generation 0): its
// page lists generation 1, whose pages list generation 2, and so on. A keyword found new on a page
// is of the asked keyword's generation + 1; a keyword keeps its generation when it is asked in a
// later pass (one whose page failed twice, asked again by 继续挖掘).
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace Mining {

// How the query of one keyword ended.
enum class PageOutcome { Answered, Failed, Refused };

// The source of a keyword that an answer listed, as its record names it.
inline constexpr char16_t RelatedSourceName[] = u"相关搜索";
inline constexpr char16_t SuggestionSourceName[] = u"下拉词";

// A keyword that a run found new on one page.
struct FoundKeyword
{
    QString keyword;
    QString source; // RelatedSourceName or SuggestionSourceName
    QString parent; // the keyword whose page listed it; the seed for the seed page's words
    qint32 generation = 0; // 1 for the seed page's words, then 2, 3, ...
};

// The place of a run as a value: what a run of seed needs to go on with the first keyword it has not
// answered, also in another start of the program. Written whole at a run's start, when a pass begins
// and when a run ends early; each page asked changes it by its PageEvent.
//
// A keyword of pass, retry or failedTwice whose generation is not the pass's own is preceded there by
// a mark, an entry made of a line feed and its generation in decimal ("\n2"); in nextGeneration a
// keyword whose generation is not the next one is preceded by such a mark as an item of its own.
// No keyword holds a line feed, so no mark is ever taken for a keyword, and a place without marks
// is read as it always was.
struct Place
{
    QString seed;
    // The pass is the seed's own (generation 0; generation is then not read). A place written by an
    // earlier version holds it with an empty pass: the seed's page is to be asked.
    bool seedPending = false;
    QStringList pass; // the keywords of the pass, each to be asked once ...
    qsizetype answered = 0; // ... of pass and retry, in that order, this many are answered
    QStringList retry; // keywords of the pass whose pages failed once, asked a second time
    QStringList failedTwice; // keywords given up on in this run, kept for a later one
    QString nextGeneration; // the next generation as far as it got: an item list, each item + CRLF
    QString runList; // the run's own list (the novelty memory)
    qint32 foundCount = 0;
    qint32 generation = 1; // of the keywords of pass
};

// One keyword asked by a run: what its answers gave and the place after it. The window appends
// keywordsToList() to the list and sets listAppend before the store keeps the event, in one
// transaction.
struct PageEvent
{
    QString seed;
    QString asked;
    PageOutcome outcome = PageOutcome::Answered;
    QDateTime at;

    // The keywords that join the list, in list order (the result page's, then the suggestions'): a
    // record each (seed, firstFound = at, seenCount 1); a keyword that has a record already keeps it
    // and counts one more page.
    QList<FoundKeyword> found;
    // Keywords the answers listed that the run had met before: seenCount + 1 where they have a
    // record. A keyword counts once for one page, however often its answers list it.
    QStringList listedAgain;
    QString listAppend; // what the window appended to the list for this page, unit for unit

    // The place after this page, as a change of the place last written whole (none is made when
    // seed has no place kept): these replace ...
    bool seedPending = false;
    qsizetype answered = 0;
    QStringList retry;
    QStringList failedTwice;
    qint32 foundCount = 0;
    // ... and these are appended.
    QString runListAppend;
    QString nextGenerationAppend;

    // The found keywords, each followed by CRLF: what the page adds to the list.
    QString keywordsToList() const
    {
        QString keywords;
        for (const FoundKeyword& keyword : found)
            keywords += keyword.keyword + u"\r\n";
        return keywords;
    }
};

} // namespace Mining
