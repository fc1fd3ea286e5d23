// 词根分组 on hostile text: the segmenter's words are whole characters, the candidate roots follow
// their rules, and the groups split the distinct keywords exactly, each group's keywords holding its
// root, with nothing left in "其他" that a root could still have grouped; one thread and two agree.
// When its last byte says so, an input adds a keyword of one piece repeated up to 100,000 code units
// (the seed long-line does): friso allocates for every word, so under the sanitizers such a line
// takes about a second, and only the one seed starts out with it.
#include "fuzzinput.h"
#include "listtools/rootgroups.h"
#include "text/segmenter.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <numeric>

using namespace Qt::StringLiterals;

// friso allocates for every word it finds: a smaller quarantine of freed memory and shorter stacks
// of where each block came from keep a long line's many small blocks from costing more than the
// segmentation itself.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16:malloc_context_size=4";
}

namespace {

const Segmentation::Segmenter& segmenter()
{
    static const Segmentation::Segmenter& shared = Segmentation::Segmenter::shared();
    FUZZ_CHECK(shared.available());
    return shared;
}

bool wholeCharacters(const QString& word)
{
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i].isHighSurrogate() && i + 1 < word.size() && word[i + 1].isLowSurrogate())
            ++i;
        else if (word[i].isSurrogate())
            return false;
    }
    return true;
}

QStringList tree(const RootGroups::Grouping& grouping)
{
    QStringList lines;
    for (const RootGroups::Group& group : grouping.groups) {
        QStringList keywords;
        for (qint32 k : group.keywords)
            keywords += QString::number(k);
        lines += group.root + u':' + keywords.join(u',') + u':' + group.intent;
        for (const RootGroups::Group& subgroup : group.subgroups) {
            keywords.clear();
            for (qint32 k : subgroup.keywords)
                keywords += QString::number(k);
            lines += u"  "_s + subgroup.root + u':' + keywords.join(u',') + u':' + subgroup.intent;
        }
    }
    return lines;
}

// Checks one level of groups over members (keyword indexes in list order): the groups split them
// exactly, in list order, each root group of two or more keywords that all hold its root, the
// largest first, and no root left that two of the rest hold.
void checkLevel(const std::vector<RootGroups::Group>& groups, const std::vector<qint32>& members,
                const QList<QSet<QString>>& roots, const QSet<QString>& skipped)
{
    std::vector<qint32> all;
    qsizetype previous = std::numeric_limits<qsizetype>::max();
    for (size_t g = 0; g < groups.size(); ++g) {
        const RootGroups::Group& group = groups[g];
        FUZZ_CHECK(std::is_sorted(group.keywords.begin(), group.keywords.end()));
        all.insert(all.end(), group.keywords.begin(), group.keywords.end());
        if (group.isOther) {
            FUZZ_CHECK(g + 1 == groups.size());
            FUZZ_CHECK(group.root == u"其他"_s && !group.keywords.empty());
            QHash<QString, int> counts;
            for (qint32 k : group.keywords) {
                for (const QString& root : roots[k]) {
                    if (!skipped.contains(root))
                        FUZZ_CHECK(++counts[root] < 2);
                }
            }
            continue;
        }
        FUZZ_CHECK(group.keywordCount() >= 2 && group.keywordCount() <= previous);
        FUZZ_CHECK(!skipped.contains(group.root));
        previous = group.keywordCount();
        for (qint32 k : group.keywords)
            FUZZ_CHECK(roots[k].contains(group.root));
    }
    std::sort(all.begin(), all.end());
    FUZZ_CHECK(all == members);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    // Not 0 or 255, which mutations write often.
    const bool longLine = input.number(0, 255) == 76;
    const int repeats = input.number(1, 100000);
    QString list = input.text(1 << 16);
    const QString piece = input.text(64);

    // The long line's words are looked at through its candidate roots below: one pass of friso less.
    const Segmentation::Segmenter& words = segmenter();
    for (const QString& word : words.words(list)) {
        FUZZ_CHECK(!word.isEmpty());
        FUZZ_CHECK(wholeCharacters(word));
        FUZZ_CHECK(!word.contains(QChar(0)));
    }
    if (longLine && !piece.isEmpty())
        list += u"\r\n"_s + piece.repeated(std::max<qsizetype>(1, repeats / piece.size()));

    RootGroups::Options options;
    options.threads = 2;
    const RootGroups::Grouping grouping = RootGroups::groupKeywords(list, words, options);
    FUZZ_CHECK(grouping.ok && !grouping.cancelled);

    // The distinct keywords, as a plain reading of the rule finds them.
    const QStringList lines = list.isEmpty() ? QStringList() : list.split(u"\r\n"_s);
    QStringList keywords;
    QHash<QString, qint32> known;
    std::vector<qint32> lineKeywords;
    for (const QString& line : lines) {
        qsizetype from = 0;
        qsizetype to = line.size();
        while (from < to && line[from] == u' ')
            ++from;
        while (to > from && line[to - 1] == u' ')
            --to;
        const QString key = line.mid(from, to - from).toCaseFolded();
        FUZZ_CHECK_EQUAL(RootGroups::keywordKey(line), key);
        if (key.isEmpty()) {
            lineKeywords.push_back(-1);
            continue;
        }
        if (!known.contains(key)) {
            known.insert(key, qint32(keywords.size()));
            keywords += line;
        }
        lineKeywords.push_back(known.value(key));
    }
    FUZZ_CHECK(grouping.keywords == keywords);
    FUZZ_CHECK(grouping.lineKeywords == lineKeywords);

    QList<QSet<QString>> roots;
    for (qsizetype k = 0; k < keywords.size(); ++k) {
        FUZZ_CHECK(grouping.indexOf(keywords[k]) == k);
        FUZZ_CHECK_EQUAL(grouping.intentOfKeyword(qint32(k)), RootGroups::intentOf(keywords[k]));
        const QStringList candidates = RootGroups::candidateRoots(keywords[k], words);
        for (const QString& root : candidates) {
            FUZZ_CHECK(wholeCharacters(root));
            FUZZ_CHECK(!RootGroups::isStopWord(root));
            FUZZ_CHECK(RootGroups::intentOf(root).isEmpty());
            FUZZ_CHECK(!(root.size() == 1 && root[0].script() == QChar::Script_Latin));
            FUZZ_CHECK(std::none_of(root.begin(), root.end(), [](QChar c) { return c.isSpace(); }));
        }
        roots.append(QSet<QString>(candidates.begin(), candidates.end()));
    }

    const QSet<QString> common(grouping.commonRoots.begin(), grouping.commonRoots.end());
    for (const QString& root : grouping.commonRoots) {
        FUZZ_CHECK(keywords.size() >= 2);
        for (const QSet<QString>& held : roots)
            FUZZ_CHECK(held.contains(root));
    }
    std::vector<qint32> members(static_cast<size_t>(keywords.size()));
    std::iota(members.begin(), members.end(), 0);
    checkLevel(grouping.groups, members, roots, common);
    for (size_t g = 0; g < grouping.groups.size(); ++g) {
        const RootGroups::Group& group = grouping.groups[g];
        for (qint32 k : group.keywords) {
            FUZZ_CHECK(grouping.groupOf[size_t(k)] == qint32(g));
            FUZZ_CHECK_EQUAL(grouping.rootOf(k), group.root);
        }
        if (group.subgroups.empty()) {
            for (qint32 k : group.keywords)
                FUZZ_CHECK(grouping.subgroupOf[size_t(k)] == -1 && grouping.subRootOf(k).isEmpty());
            continue;
        }
        FUZZ_CHECK(!group.isOther && group.keywordCount() >= RootGroups::MinKeywordsForSecondLevel);
        QSet<QString> skipped { group.root };
        for (const QString& root : roots[group.keywords.front()]) {
            if (std::all_of(group.keywords.begin(), group.keywords.end(),
                            [&](qint32 k) { return roots[k].contains(root); }))
                skipped.insert(root);
        }
        checkLevel(group.subgroups, group.keywords, roots, skipped);
        for (size_t s = 0; s < group.subgroups.size(); ++s) {
            for (qint32 k : group.subgroups[s].keywords)
                FUZZ_CHECK(grouping.subgroupOf[size_t(k)] == qint32(s));
        }
    }

    if (!longLine) {
        options.threads = 1;
        FUZZ_CHECK(tree(RootGroups::groupKeywords(lines, words, options)) == tree(grouping));
    }
    return 0;
}
