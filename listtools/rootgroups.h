// 词根分组: the keyword list split by its root words, each keyword with its intent. The window's tree
// and the sheet's columns both come from groupKeywords(), so they always agree.
//
// Roots. The texts of the intent table are taken out of a keyword (longest first, every occurrence),
// the rest is segmented, and every word of it is a candidate root except words made only of stop
// characters, numbers, single Latin letters and punctuation. A keyword "contains a root" when the
// root is one of its candidate words.
//
// Groups. Over the list's distinct keywords (lines empty once spaces are trimmed are left out; two
// lines are one keyword when they are equal once U+0020 spaces are trimmed and letter case is
// folded; the first spelling and place count): roots that every keyword contains (with at least two
// keywords) are the common roots, shown above the groups and never a group. Then, greedily, the root
// that the most ungrouped keywords contain (ties: the longer root, then the one met first in the
// list) takes them as a group, until no root is contained by two ungrouped keywords; those left are
// "其他". Each group of at least four keywords is split the same way, without its own root, into
// second-level groups and its own "其他"; when no root there is contained by two of its keywords it
// has no second-level groups at all.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace Segmentation {
class Segmenter;
}

namespace RootGroups {

inline constexpr char16_t OtherRoot[] = u"其他";
// A group of at least this many keywords is split into second-level groups.
inline constexpr qsizetype MinKeywordsForSecondLevel = 4;

// The intent table, in the order its rows are tried.
struct IntentRow
{
    QString intent; // "价格", "比较", "评价", "方法", "定义", "地点", "资源"
    QStringList texts;
};
const std::vector<IntentRow>& intentTable();

// The intent of the first row one of whose texts keyword contains; empty when none does.
QString intentOf(const QString& keyword);

// A keyword's candidate roots in the order segmentation gives them, repeats removed, in lower case.
QStringList candidateRoots(const QString& keyword, const Segmentation::Segmenter& segmenter);

// Whether word is made only of the stop characters and particles (的 了 吗 …) that never make a root.
bool isStopWord(const QString& word);

class KeywordIndex;

struct Group
{
    QString root; // OtherRoot for the keywords no root took
    bool isOther = false;
    std::vector<qint32> keywords; // indexes into Grouping::keywords, in list order
    std::vector<Group> subgroups; // second-level groups, largest first, then their "其他"; empty when none
    qint64 seenCount = 0; // the sum of the keywords' 出现次数
    // The intent most of the keywords have and the share of the group's keywords that have it,
    // rounded to a whole percent: "价格 42%". Ties go to the intent whose row comes first in the
    // table; empty when no keyword of the group has an intent.
    QString intent;

    qsizetype keywordCount() const { return qsizetype(keywords.size()); }
};

struct Grouping
{
    // False when the run was cancelled (nothing else is filled) or the segmenter is not available
    // (error says why; keywords are filled, all in one "其他" group).
    bool ok = false;
    bool cancelled = false;
    QString error;

    QStringList keywords; // the distinct keywords, first spelling, list order
    QStringList commonRoots; // in the order they were found; usually one (the seed) or none
    std::vector<Group> groups; // largest first, "其他" last when any keyword is left

    // Per keyword, by index: its group, its second-level group (-1 when none) and its intent.
    std::vector<qint32> groupOf;
    std::vector<qint32> subgroupOf;
    QStringList intents;

    // The common roots as shown above the groups: joined by a space; empty when none.
    QString commonRoot() const;
    // The index of a line's keyword, -1 for a blank line or one not in the grouped list.
    qint32 indexOf(const QString& line) const;
    // The sheet's 词根, 二级词根 and 意图 of keyword index: the group's root ("其他" when no group
    // took it), the second-level group's root ("其他" for a split group's rest, empty when the
    // group is not split), the keyword's intent (empty when none).
    QString rootOf(qint32 index) const;
    QString subRootOf(qint32 index) const;
    QString intentOfKeyword(qint32 index) const;

    std::shared_ptr<const KeywordIndex> keywordIndex; // for indexOf()
    // Per line of the list as it was grouped (cut at CRLF): its keyword's index, -1 for a blank line.
    std::vector<qint32> lineKeywords;
    // How many distinct pieces of text (what stands of the keywords between intent texts and spaces)
    // went to the segmenter; two threads meeting a new piece at once may both segment it.
    qint64 piecesSegmented = 0;
};

// The identity of a line as a keyword: spaces trimmed, letter case folded; empty for a blank line.
QString keywordKey(const QString& line);

// A keyword's 出现次数, 0 when it has none. Called on the grouping's thread, once per distinct
// keyword, one call at a time.
using SeenCountLookup = std::function<qint64(const QString& keyword)>;

struct Options
{
    SeenCountLookup seenCount;
    // 0 to 99 as the work goes on, on the grouping's thread; the result follows the 99.
    std::function<void(int percent)> progress;
    // Once set, the run ends soon with cancelled set.
    const std::atomic<bool>* cancel = nullptr;
    // Threads that segment; 0 for one per processor.
    int threads = 0;
};

// Groups the lines of list (cut at every CRLF) with segmenter. Blocks: call it off the window's
// thread. Works on every processor; each distinct piece of text is segmented once.
Grouping groupKeywords(const QString& list, const Segmentation::Segmenter& segmenter, const Options& options = {});
Grouping groupKeywords(const QStringList& lines, const Segmentation::Segmenter& segmenter, const Options& options = {});

// groupKeywords() on a thread of its own with the program's shared segmenter (loaded there on first
// use), for a window that must never wait. The list is the text as it was handed over; seenCount is
// called on that thread. A job runs once; a new list needs a new job. Neither stop() nor the
// destructor waits: a cancelled thread ends by itself soon after, and nothing it found reaches the
// window.
class GroupingJob : public QObject
{
    Q_OBJECT
public:
    GroupingJob(const QString& list, SeenCountLookup seenCount, QObject* parent = nullptr);
    // Cancels a running grouping without waiting for it.
    ~GroupingJob() override;

    void start();
    // Cancels a running grouping; finished() is not emitted any more.
    void stop();
    bool isRunning() const;

Q_SIGNALS:
    // On the thread that owns the job, as the percentage changes.
    void progressChanged(int percent);
    void finished(std::shared_ptr<const RootGroups::Grouping> grouping);

private:
    struct Run;
    std::shared_ptr<Run> run_;
    bool started_ = false;
    bool running_ = false;
};

} // namespace RootGroups
