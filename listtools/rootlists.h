// The list commands of the 词根分组 window over a grouping of the list (listtools/rootgroups.h): the
// keywords of the chosen groups, and the list reordered group by group.
#pragma once

#include "listtools/rootgroups.h"

#include <QString>
#include <vector>

namespace RootLists {

// A group of the grouping and, when not -1, one of its second-level groups.
struct GroupRef
{
    qint32 group = -1;
    qint32 subgroup = -1;
    bool operator==(const GroupRef& other) const { return group == other.group && subgroup == other.subgroup; }
};

// The keyword indexes of a group or of one of its second-level groups, in list order.
const std::vector<qint32>& keywordsOf(const RootGroups::Grouping& grouping, GroupRef ref);

// The keywords whose index is marked in chosen, in list order, each followed by CRLF, written as the
// list first wrote them: what 复制 copies and what 只保留所选 leaves.
QString chosenKeywords(const RootGroups::Grouping& grouping, const std::vector<bool>& chosen);

// 按词根排列: the lines of list, the text that was grouped, reordered so that the lines of each group
// stand together, the groups in the given order (a group's second-level groups in their order too);
// a group or second-level group that order leaves out comes after those it names, and "其他" after
// every group. Within a group the lines keep their list order, repeats included. Blank lines go to
// the end. Nothing is added or lost: a list that ended with CRLF still does, one that did not still
// does not.
QString arrangedByRoots(const QString& list, const RootGroups::Grouping& grouping, const std::vector<GroupRef>& order);

} // namespace RootLists
