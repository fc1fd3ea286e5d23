// 词根分组. The work is done in three passes:
//  1. the distinct keywords, on the calling thread (one hash of the keys);
//  2. each keyword's intent and roots, on every processor: the intent texts become spaces, the rest
//     is cut at spaces into pieces, and each distinct piece is segmented once (a keyword list
//     repeats its pieces many times over: 减肥茶 in thousands of keywords);
//  3. the greedy grouping over integer root ids: an inverted index root -> keywords, counts that
//     fall as keywords are taken, and a heap whose stale entries are put back with their current
//     count when they come to the top, so that the whole loop stays near-linear.
#include "listtools/rootgroups.h"

#include "text/segmenter.h"

#include <QMetaObject>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>
#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <mutex>
#include <queue>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

using RootId = quint32;
constexpr RootId NoRoot = std::numeric_limits<RootId>::max();

// Keywords a worker takes at a time; small enough for the cancel flag to be seen within a few
// milliseconds, large enough that taking one costs nothing.
constexpr qsizetype ChunkSize = 1024;

// The stop characters and particles: a word made only of these is never a root.
constexpr QStringView StopCharacters
    = u"的了吗呢吧啊呀是和与及或在有个一这那么之等能会要好也都就还很最把被给对从到为以于";
// Chinese numerals: a word made only of these is a number.
constexpr QStringView Numerals = u"零〇一二三四五六七八九十百千万亿两";

struct IntentText
{
    QString text;
    qint8 row;
};

// The intent table compiled for matching: the texts in table order (for the intent) and longest
// first (for the removal), and which characters begin a text, so that most keywords are done with
// after one look at each of their characters.
struct IntentMatcher
{
    std::vector<IntentText> inTableOrder;
    std::vector<IntentText> longestFirst;
    std::bitset<65536> firstCharacters;

    IntentMatcher()
    {
        const auto& table = RootGroups::intentTable();
        for (qsizetype row = 0; row < qsizetype(table.size()); ++row) {
            for (const QString& text : table[size_t(row)].texts) {
                inTableOrder.push_back({ text, qint8(row) });
                firstCharacters.set(text.front().unicode());
            }
        }
        longestFirst = inTableOrder;
        std::stable_sort(longestFirst.begin(), longestFirst.end(),
                         [](const IntentText& a, const IntentText& b) { return a.text.size() > b.text.size(); });
    }

    // The characters of a keyword that begin an intent text.
    struct Starts
    {
        std::array<char16_t, 16> characters {};
        int count = 0;
        bool many = false; // more than fit: every text is looked for

        bool contains(QChar c) const
        {
            return many
                || std::find(characters.begin(), characters.begin() + count, c.unicode()) != characters.begin() + count;
        }
    };

    // Whether the keyword may hold an intent text at all, with the characters that begin one.
    bool mayHold(QStringView keyword, Starts* starts) const
    {
        for (QChar c : keyword) {
            if (!firstCharacters.test(c.unicode()) || starts->contains(c))
                continue;
            if (starts->count == int(starts->characters.size()))
                starts->many = true;
            else
                starts->characters[size_t(starts->count++)] = c.unicode();
        }
        return starts->count > 0;
    }

    qint8 rowOf(QStringView keyword) const
    {
        Starts starts;
        if (!mayHold(keyword, &starts))
            return -1;
        for (const IntentText& entry : inTableOrder) {
            if (starts.contains(entry.text.front()) && keyword.contains(entry.text))
                return entry.row;
        }
        return -1;
    }
};

const IntentMatcher& intentMatcher()
{
    // Never destroyed, as the table: a grouping thread may still be ending when the program does.
    static const IntentMatcher* const matcher = new IntentMatcher();
    return *matcher;
}

bool onlyStopCharacters(QStringView word)
{
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return StopCharacters.contains(c); });
}

bool isNumber(QStringView word)
{
    if (std::all_of(word.begin(), word.end(), [](QChar c) { return Numerals.contains(c); }))
        return true;
    if (!word.front().isDigit())
        return false;
    // Digits with a point or percent sign, and the one unit friso keeps with them: 2024年, 10斤.
    qsizetype i = 0;
    while (i < word.size() && (word[i].isDigit() || word[i] == u'.' || word[i] == u'%'))
        ++i;
    return i == word.size() || (i + 1 == word.size() && word[i].unicode() >= 0x2E80);
}

bool hasLetter(QStringView word)
{
    for (char32_t c : word.toUcs4()) {
        if (QChar::isLetter(c))
            return true;
    }
    return false;
}

bool isCandidate(QStringView word)
{
    if (word.isEmpty() || !hasLetter(word))
        return false;
    if (word.size() == 1 && word.front().script() == QChar::Script_Latin)
        return false;
    return !onlyStopCharacters(word) && !isNumber(word);
}

size_t hashOf(QStringView text)
{
    return qHash(text, size_t(0));
}

// An open-addressing hash table from texts to values that keeps views: the texts must outlive it.
// Looking a piece of a keyword up costs no copy of it.
template <typename Value> class ViewMap
{
public:
    const Value* find(QStringView key, size_t hash) const
    {
        if (slots_.empty())
            return nullptr;
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.used)
                return nullptr;
            if (slot.hash == hash && slot.key == key)
                return &slot.value;
        }
    }

    // The value of key after putting value there unless key was there already.
    const Value& insert(QStringView key, size_t hash, const Value& value)
    {
        if ((size_ + 1) * 2 > slots_.size())
            grow();
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (!slot.used) {
                slot = Slot { key, hash, value, true };
                ++size_;
                return slot.value;
            }
            if (slot.hash == hash && slot.key == key)
                return slot.value;
        }
    }

private:
    struct Slot
    {
        QStringView key;
        size_t hash = 0;
        Value value {};
        bool used = false;
    };

    void grow()
    {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(std::max<size_t>(64, old.size() * 2), Slot {});
        mask_ = slots_.size() - 1;
        size_ = 0;
        for (const Slot& slot : old) {
            if (slot.used)
                insert(slot.key, slot.hash, slot.value);
        }
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t size_ = 0;
};

// Where a piece's roots stand in a pool of root ids.
struct Span
{
    quint32 from = 0;
    quint32 count = 0;
};

// What the workers share: the root texts with their ids, and every piece segmented so far with its
// roots, so that a piece one worker has segmented is not segmented again by another.
class RootTable
{
public:
    std::mutex& mutex() { return mutex_; }

    // Under the mutex: the roots of a piece already segmented by any worker, appended to pool.
    bool findPiece(QStringView piece, size_t hash, std::vector<RootId>& pool, Span* span) const
    {
        const Span* found = pieces_.find(piece, hash);
        if (!found)
            return false;
        span->from = quint32(pool.size());
        span->count = found->count;
        pool.insert(pool.end(), pool_.begin() + found->from, pool_.begin() + found->from + found->count);
        return true;
    }

    // Under the mutex: records a piece's roots (texts), appending their ids to pool.
    Span addPiece(QStringView piece, size_t hash, const QStringList& roots, std::vector<RootId>& pool)
    {
        const Span* known = pieces_.find(piece, hash);
        if (!known) {
            const Span span { quint32(pool_.size()), quint32(roots.size()) };
            for (const QString& root : roots)
                pool_.push_back(idOf(root));
            known = &pieces_.insert(piece, hash, span);
        }
        const Span span { quint32(pool.size()), known->count };
        pool.insert(pool.end(), pool_.begin() + known->from, pool_.begin() + known->from + known->count);
        return span;
    }

    RootId idOf(const QString& root)
    {
        const auto found = ids_.constFind(root);
        if (found != ids_.cend())
            return *found;
        const RootId id = RootId(texts_.size());
        ids_.insert(root, id);
        texts_.push_back(root);
        return id;
    }

    const std::vector<QString>& texts() const { return texts_; }

private:
    std::mutex mutex_;
    QHash<QString, RootId> ids_;
    std::vector<QString> texts_;
    ViewMap<Span> pieces_;
    std::vector<RootId> pool_;
};

// The keyword with the intent texts taken out, as the pieces of text left between them and the
// spaces: the same as making each text a space, longest texts first, every occurrence, and cutting
// at spaces.
template <typename Take> void forEachPiece(QStringView key, Take take)
{
    const IntentMatcher& matcher = intentMatcher();
    IntentMatcher::Starts starts;
    std::vector<bool> removed;
    if (matcher.mayHold(key, &starts)) {
        for (const IntentText& entry : matcher.longestFirst) {
            if (!starts.contains(entry.text.front()))
                continue;
            // An occurrence that overlaps a text taken out earlier is not there once that text is a
            // space; the search goes on from the next character then, else after the occurrence.
            for (qsizetype at = key.indexOf(entry.text); at >= 0;) {
                if (removed.empty())
                    removed.assign(size_t(key.size()), false);
                const auto first = removed.begin() + at;
                const auto last = first + entry.text.size();
                if (std::find(first, last, true) != last) {
                    at = key.indexOf(entry.text, at + 1);
                    continue;
                }
                std::fill(first, last, true);
                at = key.indexOf(entry.text, at + entry.text.size());
            }
        }
    }
    qsizetype from = 0;
    const qsizetype size = key.size();
    const auto isCut = [&](qsizetype i) { return (!removed.empty() && removed[size_t(i)]) || key[i].isSpace(); };
    while (from < size) {
        while (from < size && isCut(from))
            ++from;
        qsizetype to = from;
        while (to < size && !isCut(to))
            ++to;
        if (to > from)
            take(key.mid(from, to - from));
        from = to;
    }
}

// One worker's view of the roots: the pieces it has met, each with its root ids.
class RootFinder
{
public:
    RootFinder(const Segmentation::Segmenter& segmenter, RootTable& table)
        : segmenter_(segmenter)
        , table_(table)
    {
    }

    // Appends the roots of a keyword (its identity text, which must outlive the finder) to out, in
    // order, each once.
    void rootsOf(QStringView key, std::vector<RootId>& out)
    {
        ++keyword_;
        forEachPiece(key, [&](QStringView piece) {
            const size_t hash = hashOf(piece);
            const Span* found = pieces_.find(piece, hash);
            const Span span = found ? *found : pieces_.insert(piece, hash, segment(piece, hash));
            for (quint32 i = 0; i < span.count; ++i) {
                const RootId id = pool_[span.from + i];
                if (id >= lastKeyword_.size())
                    lastKeyword_.resize(std::max<size_t>(id + 1, lastKeyword_.size() * 2), 0);
                if (lastKeyword_[id] != keyword_) {
                    lastKeyword_[id] = keyword_;
                    out.push_back(id);
                }
            }
        });
    }

    qint64 piecesSegmented() const { return segmented_; }

private:
    Span segment(QStringView piece, size_t hash)
    {
        Span span;
        {
            std::lock_guard lock(table_.mutex());
            if (table_.findPiece(piece, hash, pool_, &span))
                return span;
        }
        ++segmented_;
        // Each root once: a keyword only needs to know which roots it holds. The views of the map
        // are into the texts of roots, which stay where they are when the list grows.
        QStringList roots;
        ViewMap<bool> met;
        segmenter_.forEachWord(piece, [&](QStringView word) {
            if (!isCandidate(word))
                return;
            const size_t wordHash = hashOf(word);
            if (met.find(word, wordHash))
                return;
            roots += word.toString();
            met.insert(roots.constLast(), wordHash, true);
        });
        std::lock_guard lock(table_.mutex());
        return table_.addPiece(piece, hash, roots, pool_);
    }

    const Segmentation::Segmenter& segmenter_;
    RootTable& table_;
    ViewMap<Span> pieces_;
    std::vector<RootId> pool_;
    qint64 segmented_ = 0;
    // Per root id, the last keyword that took it: a root met again in the same keyword is skipped.
    std::vector<quint64> lastKeyword_;
    quint64 keyword_ = 0;
};

// Keyword -> roots, compressed: the roots of keyword k are ids[offsets[k] .. offsets[k + 1]).
struct KeywordRoots
{
    std::vector<quint32> offsets;
    std::vector<RootId> ids;

    const RootId* begin(qint32 k) const { return ids.data() + offsets[size_t(k)]; }
    const RootId* end(qint32 k) const { return ids.data() + offsets[size_t(k) + 1]; }
};

struct Found
{
    std::vector<RootId> common;
    std::vector<std::pair<RootId, std::vector<qint32>>> groups;
    std::vector<qint32> rest;
};

// The greedy grouping of a set of keywords (in list order), over arrays sized once for the whole
// list and left clean after each call.
class Grouper
{
public:
    Grouper(const KeywordRoots& roots, const std::vector<quint32>& rootLength, const std::vector<quint32>& firstMet,
            qsizetype keywordCount)
        : roots_(roots)
        , rootLength_(rootLength)
        , firstMet_(firstMet)
        , count_(rootLength.size(), 0)
        , state_(rootLength.size(), Untouched)
        , slot_(rootLength.size(), 0)
        , taken_(size_t(keywordCount), false)
    {
    }

    Found group(const std::vector<qint32>& members, RootId excluded, const std::atomic<bool>* cancel)
    {
        Found found;
        const quint32 memberCount = quint32(members.size());
        if (excluded != NoRoot)
            state_[excluded] = Done;
        for (qint32 k : members) {
            for (auto r = roots_.begin(k); r != roots_.end(k); ++r) {
                if (state_[*r] == Done)
                    continue;
                if (state_[*r] == Untouched) {
                    state_[*r] = Active;
                    touched_.push_back(*r);
                }
                ++count_[*r];
            }
        }

        // Each touched root's keywords among the members, in list order.
        std::vector<quint32> starts(touched_.size() + 1, 0);
        for (size_t i = 0; i < touched_.size(); ++i) {
            slot_[touched_[i]] = quint32(i);
            starts[i + 1] = starts[i] + count_[touched_[i]];
        }
        std::vector<qint32> inverted(starts.back());
        std::vector<quint32> fill(starts.begin(), starts.end() - 1);
        for (qint32 k : members) {
            for (auto r = roots_.begin(k); r != roots_.end(k); ++r) {
                if (state_[*r] == Active)
                    inverted[fill[slot_[*r]]++] = k;
            }
        }

        if (memberCount >= 2) {
            for (RootId r : touched_) {
                if (count_[r] == memberCount)
                    found.common.push_back(r);
            }
            std::sort(found.common.begin(), found.common.end(), [this](RootId a, RootId b) { return before(a, b); });
            for (RootId r : found.common)
                state_[r] = Done;
        }

        std::priority_queue<Entry, std::vector<Entry>, HeapOrder> heap(HeapOrder { this });
        for (RootId r : touched_) {
            if (state_[r] == Active && count_[r] >= 2)
                heap.push({ count_[r], r });
        }
        qint64 steps = 0;
        while (!heap.empty()) {
            if (cancel && (++steps & 1023) == 0 && cancel->load(std::memory_order_relaxed))
                break;
            const Entry top = heap.top();
            heap.pop();
            if (state_[top.root] == Done)
                continue;
            if (top.count != count_[top.root]) {
                if (count_[top.root] >= 2)
                    heap.push({ count_[top.root], top.root });
                continue;
            }
            std::vector<qint32> keywords;
            keywords.reserve(top.count);
            const quint32 slot = slot_[top.root];
            for (quint32 i = starts[slot]; i < starts[slot + 1]; ++i) {
                const qint32 k = inverted[i];
                if (taken_[size_t(k)])
                    continue;
                taken_[size_t(k)] = true;
                keywords.push_back(k);
                for (auto r = roots_.begin(k); r != roots_.end(k); ++r) {
                    if (state_[*r] == Active)
                        --count_[*r];
                }
            }
            state_[top.root] = Done;
            found.groups.emplace_back(top.root, std::move(keywords));
        }

        for (qint32 k : members) {
            if (!taken_[size_t(k)])
                found.rest.push_back(k);
            taken_[size_t(k)] = false;
        }
        for (RootId r : touched_) {
            count_[r] = 0;
            state_[r] = Untouched;
        }
        if (excluded != NoRoot)
            state_[excluded] = Untouched;
        touched_.clear();
        return found;
    }

private:
    enum State : quint8 { Untouched, Active, Done };

    struct Entry
    {
        quint32 count;
        RootId root;
    };
    // The heap's order: the higher count on top, then the longer root, then the one met first.
    struct HeapOrder
    {
        const Grouper* grouper;
        bool operator()(const Entry& a, const Entry& b) const
        {
            if (a.count != b.count)
                return a.count < b.count;
            return grouper->before(b.root, a.root);
        }
    };

    // The order of roots with equal counts: the longer first, then the one met first.
    bool before(RootId a, RootId b) const
    {
        if (rootLength_[a] != rootLength_[b])
            return rootLength_[a] > rootLength_[b];
        return firstMet_[a] < firstMet_[b];
    }

    const KeywordRoots& roots_;
    const std::vector<quint32>& rootLength_;
    const std::vector<quint32>& firstMet_;
    std::vector<quint32> count_;
    std::vector<State> state_;
    std::vector<quint32> slot_;
    std::vector<bool> taken_;
    std::vector<RootId> touched_;
};

QString intentShare(const std::vector<qint32>& keywords, const std::vector<qint8>& intentRows)
{
    const auto& table = RootGroups::intentTable();
    std::vector<qsizetype> counts(table.size(), 0);
    for (qint32 k : keywords) {
        if (intentRows[size_t(k)] >= 0)
            ++counts[size_t(intentRows[size_t(k)])];
    }
    // max_element keeps the first of equal counts: the row that comes first in the table.
    const auto best = std::max_element(counts.begin(), counts.end());
    if (keywords.empty() || *best == 0)
        return {};
    const qint64 percent = qint64(std::floor(100.0 * double(*best) / double(keywords.size()) + 0.5));
    return table[size_t(best - counts.begin())].intent + u' ' + QString::number(percent) + u'%';
}

} // namespace

namespace RootGroups {

// The distinct keywords of a list by their identity texts: views into the list as it was handed over
// (kept here) or into the folded texts of the keywords whose letter case had to be folded.
class KeywordIndex
{
public:
    QString listText;
    QStringList listLines;
    std::vector<QString> folded; // their texts never move when the vector grows
    std::vector<QStringView> keys;

    explicit KeywordIndex() = default;

    void reserve(size_t lines)
    {
        size_t capacity = 64;
        while (capacity < lines * 2)
            capacity *= 2;
        slots_.assign(capacity, Slot {});
        mask_ = capacity - 1;
        keys.reserve(lines);
    }

    // The index of key, -1 when it is not there.
    qint32 find(QStringView key, size_t hash) const
    {
        if (slots_.empty())
            return -1;
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.keyword == 0)
                return -1;
            if (slot.hash == quint32(hash) && keys[slot.keyword - 1] == key)
                return qint32(slot.keyword - 1);
        }
    }

    // The index of key, added as the next one when it is not there; reserve() must have been
    // called for as many keys as are added.
    qint32 add(QStringView key, size_t hash)
    {
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.keyword == 0) {
                keys.push_back(key);
                slot = Slot { quint32(hash), quint32(keys.size()) };
                return qint32(keys.size() - 1);
            }
            if (slot.hash == quint32(hash) && keys[slot.keyword - 1] == key)
                return qint32(slot.keyword - 1);
        }
    }

private:
    struct Slot
    {
        quint32 hash = 0;
        quint32 keyword = 0; // its index + 1, 0 for a free slot
    };
    std::vector<Slot> slots_;
    size_t mask_ = 0;
};

} // namespace RootGroups

namespace {

// Characters that letter-case folding leaves as they are, the common case of a Chinese keyword.
bool foldsToItself(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u < u'A' || u > u'Z';
    return (u >= 0x3000 && u < 0xA000) || (u >= 0xAC00 && u < 0xD7A4) || (u >= 0xFF01 && u < 0xFF21)
        || (u >= 0xFF3B && u < 0xFF41) || (u >= 0xFF5B && u < 0xFFF0);
}

// A line's identity as a keyword: U+0020 spaces trimmed and letter case folded; a view into the line
// when that changes nothing, else into *folded.
QStringView identityOf(QStringView line, QString* folded)
{
    qsizetype from = 0;
    qsizetype to = line.size();
    while (from < to && line[from] == u' ')
        ++from;
    while (to > from && line[to - 1] == u' ')
        --to;
    const QStringView trimmed = line.mid(from, to - from);
    if (std::all_of(trimmed.begin(), trimmed.end(), foldsToItself))
        return trimmed;
    *folded = trimmed.toString().toCaseFolded();
    return *folded;
}

RootGroups::Grouping groupLines(const std::vector<QStringView>& lines, std::shared_ptr<RootGroups::KeywordIndex> index,
                                const Segmentation::Segmenter& segmenter, const RootGroups::Options& options)
{
    using namespace RootGroups;
    Grouping result;
    const auto cancelled = [&options] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
    int lastPercent = -1;
    const auto report = [&](int percent) {
        if (options.progress && percent > lastPercent) {
            lastPercent = percent;
            options.progress(percent);
        }
    };
    const auto giveUp = [] {
        Grouping stopped;
        stopped.cancelled = true;
        return stopped;
    };
    report(0);

    // 1. The distinct keywords.
    index->reserve(lines.size());
    std::vector<QStringView> firstSpelling;
    result.lineKeywords.reserve(lines.size());
    QString folded;
    for (size_t i = 0; i < lines.size(); ++i) {
        if ((i & 0xFFFF) == 0xFFFF && cancelled())
            return giveUp();
        QStringView key = identityOf(lines[i], &folded);
        if (key.isEmpty()) {
            result.lineKeywords.push_back(-1);
            continue;
        }
        if (key.data() == folded.data()) {
            const qint32 known = index->find(key, hashOf(key));
            if (known >= 0) {
                result.lineKeywords.push_back(known);
                continue;
            }
            index->folded.push_back(std::move(folded));
            folded = QString();
            key = index->folded.back();
        }
        const qint32 k = index->add(key, hashOf(key));
        if (size_t(k) == firstSpelling.size())
            firstSpelling.push_back(lines[i]);
        result.lineKeywords.push_back(k);
    }
    const std::vector<QStringView>& keys = index->keys;
    const qsizetype n = qsizetype(keys.size());
    report(5);

    // 2. Intents and roots, on every processor; meanwhile this thread makes the keywords' texts and
    // reads their 出现次数.
    std::vector<qint8> intentRows(size_t(n), -1);
    std::vector<qint64> seen(size_t(n), 0);
    RootTable table;
    const qsizetype chunkCount = (n + ChunkSize - 1) / ChunkSize;
    std::vector<std::vector<RootId>> chunkIds(static_cast<size_t>(chunkCount));
    std::vector<std::vector<quint32>> chunkCounts(static_cast<size_t>(chunkCount));
    std::atomic<qsizetype> nextChunk { 0 };
    std::atomic<qsizetype> chunksDone { 0 };
    std::atomic<bool> stop { false };
    std::atomic<qint64> piecesSegmented { 0 };
    const auto work = [&](bool reporting) {
        RootFinder finder(segmenter, table);
        std::vector<RootId> roots;
        const auto finish = qScopeGuard([&] { piecesSegmented += finder.piecesSegmented(); });
        for (;;) {
            if (stop.load(std::memory_order_relaxed) || cancelled()) {
                stop = true;
                return;
            }
            const qsizetype chunk = nextChunk.fetch_add(1);
            if (chunk >= chunkCount)
                return;
            std::vector<RootId>& ids = chunkIds[size_t(chunk)];
            std::vector<quint32>& counts = chunkCounts[size_t(chunk)];
            const qsizetype end = std::min(n, (chunk + 1) * ChunkSize);
            for (qsizetype k = chunk * ChunkSize; k < end; ++k) {
                intentRows[size_t(k)] = intentMatcher().rowOf(keys[size_t(k)]);
                roots.clear();
                if (segmenter.available())
                    finder.rootsOf(keys[size_t(k)], roots);
                ids.insert(ids.end(), roots.begin(), roots.end());
                counts.push_back(quint32(roots.size()));
            }
            const qsizetype done = chunksDone.fetch_add(1) + 1;
            if (reporting)
                report(5 + int(80 * done / chunkCount));
        }
    };
    const int processors
        = std::max(1, options.threads > 0 ? options.threads : int(std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < processors && t < chunkCount; ++t)
        helpers.emplace_back(work, false);
    result.keywords.resize(n);
    QString* keywordTexts = result.keywords.data();
    for (qsizetype k = 0; k < n; ++k)
        keywordTexts[k] = firstSpelling[size_t(k)].toString();
    std::vector<QStringView>().swap(firstSpelling);
    if (options.seenCount) {
        for (qsizetype k = 0; k < n; ++k) {
            if ((k & 0xFFF) == 0xFFF) {
                if (cancelled())
                    break;
                report(5 + int(80 * chunksDone / chunkCount));
            }
            seen[size_t(k)] = std::max<qint64>(0, options.seenCount(keywordTexts[k]));
        }
    }
    work(true);
    for (std::thread& helper : helpers)
        helper.join();
    if (stop || cancelled())
        return giveUp();
    result.piecesSegmented = piecesSegmented;
    if (!segmenter.available())
        result.error = segmenter.errorText();

    // 3. The grouping over root ids.
    KeywordRoots roots;
    roots.offsets.reserve(size_t(n) + 1);
    roots.offsets.push_back(0);
    size_t idCount = 0;
    for (const auto& ids : chunkIds)
        idCount += ids.size();
    roots.ids.reserve(idCount);
    for (qsizetype chunk = 0; chunk < chunkCount; ++chunk) {
        for (quint32 count : chunkCounts[size_t(chunk)])
            roots.offsets.push_back(roots.offsets.back() + count);
        roots.ids.insert(roots.ids.end(), chunkIds[size_t(chunk)].begin(), chunkIds[size_t(chunk)].end());
        std::vector<RootId>().swap(chunkIds[size_t(chunk)]);
        std::vector<quint32>().swap(chunkCounts[size_t(chunk)]);
    }
    const std::vector<QString>& rootTexts = table.texts();
    std::vector<quint32> rootLength(rootTexts.size());
    for (size_t r = 0; r < rootTexts.size(); ++r)
        rootLength[r] = quint32(rootTexts[r].size());
    std::vector<quint32> firstMet(rootTexts.size(), std::numeric_limits<quint32>::max());
    quint32 met = 0;
    for (RootId r : roots.ids) {
        if (firstMet[r] == std::numeric_limits<quint32>::max())
            firstMet[r] = met++;
    }
    report(88);

    Grouper grouper(roots, rootLength, firstMet, n);
    std::vector<qint32> all(static_cast<size_t>(n));
    for (qint32 k = 0; k < qint32(n); ++k)
        all[size_t(k)] = k;
    const Found top = grouper.group(all, NoRoot, options.cancel);
    if (cancelled())
        return giveUp();
    report(92);

    for (RootId r : top.common)
        result.commonRoots += rootTexts[r];
    const auto makeGroup = [&](const QString& root, bool other, std::vector<qint32> keywords) {
        Group group;
        group.root = root;
        group.isOther = other;
        for (qint32 k : keywords)
            group.seenCount += seen[size_t(k)];
        group.intent = intentShare(keywords, intentRows);
        group.keywords = std::move(keywords);
        return group;
    };
    const QString other = QString::fromUtf16(OtherRoot);
    for (const auto& [root, keywords] : top.groups)
        result.groups.push_back(makeGroup(rootTexts[root], false, keywords));
    if (!top.rest.empty())
        result.groups.push_back(makeGroup(other, true, top.rest));

    result.groupOf.assign(size_t(n), -1);
    result.subgroupOf.assign(size_t(n), -1);
    for (size_t g = 0; g < result.groups.size(); ++g) {
        if (cancelled())
            return giveUp();
        Group& group = result.groups[g];
        for (qint32 k : group.keywords)
            result.groupOf[size_t(k)] = qint32(g);
        if (group.isOther || group.keywordCount() < MinKeywordsForSecondLevel)
            continue;
        const Found inner = grouper.group(group.keywords, top.groups[g].first, options.cancel);
        if (inner.groups.empty())
            continue;
        for (const auto& [root, keywords] : inner.groups)
            group.subgroups.push_back(makeGroup(rootTexts[root], false, keywords));
        if (!inner.rest.empty())
            group.subgroups.push_back(makeGroup(other, true, inner.rest));
        for (size_t s = 0; s < group.subgroups.size(); ++s) {
            for (qint32 k : group.subgroups[s].keywords)
                result.subgroupOf[size_t(k)] = qint32(s);
        }
    }
    report(97);

    result.intents.reserve(n);
    const auto& intentNames = intentTable();
    for (qint8 row : intentRows)
        result.intents += row < 0 ? QString() : intentNames[size_t(row)].intent;
    result.keywordIndex = std::move(index);
    result.ok = segmenter.available();
    report(99);
    return result;
}

} // namespace

namespace RootGroups {

const std::vector<IntentRow>& intentTable()
{
    static const std::vector<IntentRow>* const table = new std::vector<IntentRow> {
        { u"价格"_s, { u"多少钱"_s, u"价格"_s, u"价钱"_s, u"报价"_s, u"费用"_s, u"收费"_s, u"价位"_s, u"便宜"_s } },
        { u"比较"_s,
          { u"哪个好"_s, u"哪家好"_s, u"哪里好"_s, u"哪个牌子"_s, u"什么牌子"_s, u"哪种"_s, u"排名"_s, u"排行"_s,
            u"对比"_s, u"区别"_s, u"推荐"_s, u"十大"_s } },
        { u"评价"_s, { u"怎么样"_s, u"好不好"_s, u"好吗"_s, u"靠谱"_s, u"评价"_s, u"口碑"_s, u"效果"_s, u"副作用"_s } },
        { u"方法"_s, { u"怎么"_s, u"如何"_s, u"方法"_s, u"教程"_s, u"步骤"_s, u"技巧"_s, u"攻略"_s } },
        { u"定义"_s, { u"是什么"_s, u"什么意思"_s, u"含义"_s, u"原因"_s, u"为什么"_s } },
        { u"地点"_s, { u"哪里"_s, u"附近"_s, u"地址"_s, u"在哪"_s } },
        { u"资源"_s, { u"下载"_s, u"图片"_s, u"视频"_s, u"官网"_s, u"电话"_s, u"大全"_s, u"免费"_s } },
    };
    return *table;
}

QString intentOf(const QString& keyword)
{
    const qint8 row = intentMatcher().rowOf(keyword);
    return row < 0 ? QString() : intentTable()[size_t(row)].intent;
}

QStringList candidateRoots(const QString& keyword, const Segmentation::Segmenter& segmenter)
{
    RootTable table;
    RootFinder finder(segmenter, table);
    std::vector<RootId> ids;
    const QString key = keywordKey(keyword);
    if (!key.isEmpty())
        finder.rootsOf(key, ids);
    QStringList roots;
    for (RootId id : ids)
        roots += table.texts()[id];
    return roots;
}

bool isStopWord(const QString& word)
{
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return StopCharacters.contains(c); });
}

QString keywordKey(const QString& line)
{
    QString folded;
    return identityOf(line, &folded).toString();
}

QString Grouping::commonRoot() const
{
    return commonRoots.join(u' ');
}

qint32 Grouping::indexOf(const QString& line) const
{
    QString folded;
    const QStringView key = identityOf(line, &folded);
    return key.isEmpty() || !keywordIndex ? -1 : keywordIndex->find(key, hashOf(key));
}

QString Grouping::rootOf(qint32 index) const
{
    if (index < 0 || size_t(index) >= groupOf.size() || groupOf[size_t(index)] < 0)
        return QString::fromUtf16(OtherRoot);
    return groups[size_t(groupOf[size_t(index)])].root;
}

QString Grouping::subRootOf(qint32 index) const
{
    if (index < 0 || size_t(index) >= groupOf.size() || groupOf[size_t(index)] < 0 || subgroupOf[size_t(index)] < 0)
        return {};
    return groups[size_t(groupOf[size_t(index)])].subgroups[size_t(subgroupOf[size_t(index)])].root;
}

QString Grouping::intentOfKeyword(qint32 index) const
{
    if (index < 0 || index >= intents.size())
        return {};
    return intents[index];
}

Grouping groupKeywords(const QString& list, const Segmentation::Segmenter& segmenter, const Options& options)
{
    auto index = std::make_shared<KeywordIndex>();
    index->listText = list;
    std::vector<QStringView> lines;
    const QStringView all(index->listText);
    if (!all.isEmpty()) {
        qsizetype from = 0;
        for (qsizetype at = all.indexOf(u"\r\n"); at >= 0; at = all.indexOf(u"\r\n", from)) {
            lines.push_back(all.mid(from, at - from));
            from = at + 2;
        }
        lines.push_back(all.mid(from));
    }
    return groupLines(lines, std::move(index), segmenter, options);
}

Grouping groupKeywords(const QStringList& lines, const Segmentation::Segmenter& segmenter, const Options& options)
{
    auto index = std::make_shared<KeywordIndex>();
    index->listLines = lines;
    std::vector<QStringView> views;
    views.reserve(size_t(lines.size()));
    for (const QString& line : std::as_const(index->listLines))
        views.emplace_back(line);
    return groupLines(views, std::move(index), segmenter, options);
}

// The state a grouping thread shares with its job: the job may be gone before the thread ends.
struct GroupingJob::Run
{
    QString list;
    SeenCountLookup seenCount;
    std::atomic<bool> cancel { false };
    QMutex mutex; // guards job
    GroupingJob* job = nullptr;
};

GroupingJob::GroupingJob(const QString& list, SeenCountLookup seenCount, QObject* parent)
    : QObject(parent)
    , run_(std::make_shared<Run>())
{
    run_->list = list;
    run_->seenCount = std::move(seenCount);
    run_->job = this;
}

GroupingJob::~GroupingJob()
{
    stop();
}

void GroupingJob::start()
{
    if (started_)
        return;
    started_ = true;
    running_ = true;
    QThread* thread = QThread::create([run = run_] {
        // Hands deliver(job) to the job's thread while the job exists and has not been stopped; Qt
        // drops what was posted to an object that is deleted before it arrives.
        const auto post = [&run](auto deliver) {
            QMutexLocker lock(&run->mutex);
            if (!run->job)
                return;
            GroupingJob* job = run->job;
            QMetaObject::invokeMethod(
                job,
                [job, deliver] {
                    if (job->run_->job == job)
                        deliver(job);
                },
                Qt::QueuedConnection);
        };
        Options options;
        options.seenCount = run->seenCount;
        options.cancel = &run->cancel;
        options.progress
            = [&post](int percent) { post([percent](GroupingJob* job) { Q_EMIT job->progressChanged(percent); }); };
        const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
        std::shared_ptr<const Grouping> grouping
            = std::make_shared<Grouping>(groupKeywords(run->list, segmenter, options));
        run->list.clear();
        run->seenCount = nullptr;
        if (grouping->cancelled)
            return;
        post([grouping](GroupingJob* job) {
            job->running_ = false;
            Q_EMIT job->finished(grouping);
        });
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void GroupingJob::stop()
{
    run_->cancel = true;
    QMutexLocker lock(&run_->mutex);
    run_->job = nullptr;
    running_ = false;
}

bool GroupingJob::isRunning() const
{
    return running_;
}

} // namespace RootGroups
