// 复制, 只保留所选 and 按词根排列 over a grouping: indexes in, list text out.
#include "listtools/rootlists.h"

#include <QStringView>

namespace RootLists {

const std::vector<qint32>& keywordsOf(const RootGroups::Grouping& grouping, GroupRef ref)
{
    const RootGroups::Group& group = grouping.groups.at(size_t(ref.group));
    return ref.subgroup < 0 ? group.keywords : group.subgroups.at(size_t(ref.subgroup)).keywords;
}

QString chosenKeywords(const RootGroups::Grouping& grouping, const std::vector<bool>& chosen)
{
    QString text;
    const qsizetype count = qMin(grouping.keywords.size(), qsizetype(chosen.size()));
    for (qsizetype i = 0; i < count; ++i) {
        if (chosen[size_t(i)]) {
            text += grouping.keywords.at(i);
            text += u"\r\n";
        }
    }
    return text;
}

QString arrangedByRoots(const QString& list, const RootGroups::Grouping& grouping, const std::vector<GroupRef>& order)
{
    // Every keyword gets the rank of the finest group that holds it: the named places in their
    // order, then the places left out (their groups' order), then "其他"; blank lines rank last.
    const qsizetype keywordCount = grouping.keywords.size();
    std::vector<qint32> rankOf(size_t(keywordCount), -1);
    qint32 rank = 0;
    auto place = [&](GroupRef ref) {
        if (ref.group < 0 || size_t(ref.group) >= grouping.groups.size())
            return;
        const RootGroups::Group& group = grouping.groups[size_t(ref.group)];
        if (ref.subgroup >= qint32(group.subgroups.size()))
            return;
        bool placed = false;
        for (qint32 keyword : keywordsOf(grouping, ref)) {
            if (keyword >= 0 && keyword < keywordCount && rankOf[size_t(keyword)] < 0) {
                rankOf[size_t(keyword)] = rank;
                placed = true;
            }
        }
        rank += placed;
    };
    auto placeGroup = [&](qint32 group) {
        // The second-level groups first, so that a group named without them keeps their order.
        for (qint32 sub = 0; sub < qint32(grouping.groups[size_t(group)].subgroups.size()); ++sub)
            place({ group, sub });
        place({ group, -1 });
    };
    for (const GroupRef& ref : order) {
        if (ref.group >= 0 && size_t(ref.group) < grouping.groups.size() && !grouping.groups[size_t(ref.group)].isOther)
            ref.subgroup < 0 ? placeGroup(ref.group) : place(ref);
    }
    for (qint32 group = 0; group < qint32(grouping.groups.size()); ++group) {
        if (!grouping.groups[size_t(group)].isOther)
            placeGroup(group);
    }
    for (const GroupRef& ref : order) {
        if (ref.group >= 0 && size_t(ref.group) < grouping.groups.size() && grouping.groups[size_t(ref.group)].isOther)
            place(ref);
    }
    for (qint32 group = 0; group < qint32(grouping.groups.size()); ++group)
        placeGroup(group);
    const qint32 blankRank = rank;

    // The lines, as views into the list; a final CRLF ends the list rather than opening a line.
    std::vector<QStringView> lines;
    const QStringView all(list);
    qsizetype from = 0;
    for (qsizetype at = all.indexOf(u"\r\n"); at >= 0; at = all.indexOf(u"\r\n", from)) {
        lines.push_back(all.sliced(from, at - from));
        from = at + 2;
    }
    const bool closed = !all.isEmpty() && from == all.size();
    if (!closed && !all.isEmpty())
        lines.push_back(all.sliced(from));

    // A counting sort by rank keeps the list order inside each rank.
    std::vector<qint32> lineRank(lines.size());
    std::vector<qsizetype> start(size_t(blankRank) + 2, 0);
    for (size_t line = 0; line < lines.size(); ++line) {
        const qint32 keyword = line < grouping.lineKeywords.size() ? grouping.lineKeywords[line] : -1;
        const qint32 r = keyword >= 0 && keyword < keywordCount && rankOf[size_t(keyword)] >= 0
            ? rankOf[size_t(keyword)]
            : blankRank;
        lineRank[line] = r;
        ++start[size_t(r) + 1];
    }
    for (size_t r = 1; r < start.size(); ++r)
        start[r] += start[r - 1];
    std::vector<QStringView> arranged(lines.size());
    for (size_t line = 0; line < lines.size(); ++line)
        arranged[size_t(start[size_t(lineRank[line])]++)] = lines[line];

    QString text;
    text.reserve(list.size());
    for (size_t line = 0; line < arranged.size(); ++line) {
        if (line > 0)
            text += u"\r\n";
        text += arranged[line];
    }
    if (closed)
        text += u"\r\n";
    return text;
}

} // namespace RootLists
