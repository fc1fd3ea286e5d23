// The 词根分组 tree as a model: nodes for the common root, the groups and the second-level groups,
// and keyword rows that are only indexes into the grouping.
#include "app/roottreemodel.h"

#include <QCollatorSortKey>
#include <QFont>
#include <QLocale>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

struct RootTreeModel::Node
{
    enum class Kind { Common, Group, Subgroup };
    Kind kind = Kind::Group;
    qint32 group = -1;
    qint32 subgroup = -1;
    const RootGroups::Group* data = nullptr; // none for the common root
    Node* parent = nullptr;
    int row = 0;
    std::vector<Node*> children; // the second-level groups
    std::vector<qint32> keywords; // the keyword rows when there are no second-level groups, as shown
    bool keywordsSorted = true; // keywords follow the model's sort
    bool opened = false; // a view has asked for its rows

    bool isOther() const { return data && data->isOther; }
};

namespace {

// The most frequent intent of the keywords and its share, as the grouping writes a group's:
// "价格 42%"; ties go to the row that comes first in the table.
QString intentShare(const QStringList& intents)
{
    const auto& table = RootGroups::intentTable();
    std::vector<qsizetype> counts(table.size(), 0);
    for (const QString& intent : intents) {
        if (intent.isEmpty())
            continue;
        for (size_t row = 0; row < table.size(); ++row) {
            if (table[row].intent == intent) {
                ++counts[row];
                break;
            }
        }
    }
    const auto best = std::max_element(counts.begin(), counts.end());
    if (intents.isEmpty() || best == counts.end() || *best == 0)
        return {};
    const qint64 percent = qint64(std::floor(100.0 * double(*best) / double(intents.size()) + 0.5));
    return table[size_t(best - counts.begin())].intent + u' ' + QString::number(percent) + u'%';
}

// Sorts items by a text with collation keys (computed once per item), then by the items' own order.
template<typename Item, typename TextOf, typename Before>
void sortByText(std::vector<Item>& items, const QCollator& collator, TextOf textOf, Before tieBefore,
                bool descending)
{
    struct Keyed
    {
        QCollatorSortKey key;
        Item item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (const Item& item : items)
        keyed.push_back({ collator.sortKey(textOf(item)), item });
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        const int order = a.key.compare(b.key);
        if (order != 0)
            return descending ? order > 0 : order < 0;
        return tieBefore(a.item, b.item);
    });
    for (size_t i = 0; i < items.size(); ++i)
        items[i] = keyed[i].item;
}

} // namespace

RootTreeModel::RootTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
    , collator_(QLocale(QLocale::Chinese, QLocale::China))
{
    // "价格 7%" before "价格 42%".
    collator_.setNumericMode(true);
}

RootTreeModel::~RootTreeModel() = default;

void RootTreeModel::setGrouping(std::shared_ptr<const RootGroups::Grouping> grouping,
                                std::shared_ptr<const QHash<QString, qint64>> seenCounts)
{
    beginResetModel();
    grouping_ = std::move(grouping);
    seenCounts_ = std::move(seenCounts);
    nodes_.clear();
    top_.clear();
    totalSeen_ = 0;
    totalIntent_.clear();
    if (grouping_) {
        auto make = [this](Node::Kind kind, qint32 group, qint32 subgroup, const RootGroups::Group* data) {
            nodes_.push_back(std::make_unique<Node>());
            Node* node = nodes_.back().get();
            node->kind = kind;
            node->group = group;
            node->subgroup = subgroup;
            node->data = data;
            return node;
        };
        if (!grouping_->commonRoots.isEmpty())
            top_.push_back(make(Node::Kind::Common, -1, -1, nullptr));
        for (qint32 g = 0; g < qint32(grouping_->groups.size()); ++g) {
            const RootGroups::Group& group = grouping_->groups[size_t(g)];
            totalSeen_ += group.seenCount;
            Node* node = make(Node::Kind::Group, g, -1, &group);
            top_.push_back(node);
            for (qint32 s = 0; s < qint32(group.subgroups.size()); ++s) {
                Node* sub = make(Node::Kind::Subgroup, g, s, &group.subgroups[size_t(s)]);
                sub->parent = node;
                sub->row = s;
                sub->keywords = group.subgroups[size_t(s)].keywords;
                node->children.push_back(sub);
            }
            if (node->children.empty())
                node->keywords = group.keywords;
        }
        for (int row = 0; row < int(top_.size()); ++row)
            top_[size_t(row)]->row = row;
        if (!top_.empty() && top_.front()->kind == Node::Kind::Common)
            totalIntent_ = intentShare(grouping_->intents);
    }
    endResetModel();
    if (sortColumn_ >= 0)
        sort(sortColumn_, sortOrder_);
}

RootTreeModel::Node* RootTreeModel::parentNodeOf(const QModelIndex& index) const
{
    return static_cast<Node*>(index.internalPointer());
}

RootTreeModel::Node* RootTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    const Node* parent = parentNodeOf(index);
    if (!parent)
        return top_[size_t(index.row())];
    if (!parent->children.empty())
        return parent->children[size_t(index.row())];
    return nullptr;
}

QModelIndex RootTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row < int(top_.size()) ? createIndex(row, column, nullptr) : QModelIndex();
    Node* node = nodeOf(parent);
    if (!node || parent.column() != 0)
        return {};
    if (!node->children.empty())
        return row < int(node->children.size()) ? createIndex(row, column, node) : QModelIndex();
    ensureKeywordsSorted(node);
    return row < int(node->keywords.size()) ? createIndex(row, column, node) : QModelIndex();
}

QModelIndex RootTreeModel::parent(const QModelIndex& child) const
{
    const Node* parent = child.isValid() ? parentNodeOf(child) : nullptr;
    if (!parent)
        return {};
    return createIndex(parent->row, 0, parent->parent);
}

int RootTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(top_.size());
    Node* node = parent.column() == 0 ? nodeOf(parent) : nullptr;
    if (!node || node->kind == Node::Kind::Common)
        return 0;
    if (!node->children.empty())
        return int(node->children.size());
    ensureKeywordsSorted(node);
    return int(node->keywords.size());
}

int RootTreeModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool RootTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !top_.empty();
    const Node* node = parent.column() == 0 ? nodeOf(parent) : nullptr;
    return node && node->kind != Node::Kind::Common && (!node->children.empty() || !node->keywords.empty());
}

qint64 RootTreeModel::seenCountOf(qint32 keyword) const
{
    return seenCounts_ ? seenCounts_->value(grouping_->keywords.at(keyword)) : 0;
}

QVariant RootTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !grouping_)
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment((column == KeywordCount || column == SeenCount ? Qt::AlignRight : Qt::AlignLeft)
                          | Qt::AlignVCenter));
    const Node* node = nodeOf(index);
    if (role == Qt::FontRole && node && node->kind != Node::Kind::Subgroup) {
        // The common root and the groups stand out from what they open to.
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (!node) {
        const Node* parent = parentNodeOf(index);
        const qint32 keyword = parent->keywords[size_t(index.row())];
        switch (column) {
        case Root:
            return grouping_->keywords.at(keyword);
        case SeenCount:
            return seenCountOf(keyword);
        case Intent:
            return grouping_->intents.value(keyword);
        default:
            return {};
        }
    }
    if (node->kind == Node::Kind::Common) {
        switch (column) {
        case Root:
            return QString(u"共同词根："_s + grouping_->commonRoot());
        case KeywordCount:
            return qint64(grouping_->keywords.size());
        case SeenCount:
            return totalSeen_;
        case Intent:
            return totalIntent_;
        default:
            return {};
        }
    }
    switch (column) {
    case Root:
        return node->data->root;
    case KeywordCount:
        return qint64(node->data->keywordCount());
    case SeenCount:
        return node->data->seenCount;
    case Intent:
        return node->data->intent;
    default:
        return {};
    }
}

QVariant RootTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Root:
        return u"词根"_s;
    case KeywordCount:
        return u"关键词数"_s;
    case SeenCount:
        return u"出现次数"_s;
    case Intent:
        return u"意图"_s;
    default:
        return {};
    }
}

void RootTreeModel::sortNodes(std::vector<Node*>& nodes) const
{
    // The common root stays first and "其他" last, whatever the column and the order.
    auto begin = nodes.begin();
    if (begin != nodes.end() && (*begin)->kind == Node::Kind::Common)
        ++begin;
    const auto others = std::stable_partition(begin, nodes.end(), [](const Node* node) { return !node->isOther(); });
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    auto found = [](const Node* a, const Node* b) {
        return a->group != b->group ? a->group < b->group : a->subgroup < b->subgroup;
    };
    std::vector<Node*> middle(begin, others);
    if (sortColumn_ == Root || sortColumn_ == Intent) {
        sortByText(
            middle, collator_,
            [this](const Node* node) { return sortColumn_ == Root ? node->data->root : node->data->intent; }, found,
            descending);
    } else {
        std::sort(middle.begin(), middle.end(), [&](const Node* a, const Node* b) {
            qint64 x = 0;
            qint64 y = 0;
            if (sortColumn_ == KeywordCount) {
                x = a->data->keywordCount();
                y = b->data->keywordCount();
            } else if (sortColumn_ == SeenCount) {
                x = a->data->seenCount;
                y = b->data->seenCount;
            }
            if (x != y)
                return descending ? x > y : x < y;
            return found(a, b);
        });
    }
    std::copy(middle.begin(), middle.end(), begin);
    for (int row = 0; row < int(nodes.size()); ++row)
        nodes[size_t(row)]->row = row;
}

void RootTreeModel::sortKeywords(Node* node) const
{
    std::vector<qint32>& keywords = node->keywords;
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    const auto listOrder = [](qint32 a, qint32 b) { return a < b; };
    if (sortColumn_ == Root || sortColumn_ == Intent) {
        sortByText(
            keywords, collator_,
            [this](qint32 k) { return sortColumn_ == Root ? grouping_->keywords.at(k) : grouping_->intents.value(k); },
            listOrder, descending);
    } else if (sortColumn_ == SeenCount) {
        std::vector<std::pair<qint64, qint32>> counted;
        counted.reserve(keywords.size());
        for (qint32 k : keywords)
            counted.emplace_back(seenCountOf(k), k);
        std::sort(counted.begin(), counted.end(), [descending](const auto& a, const auto& b) {
            if (a.first != b.first)
                return descending ? a.first > b.first : a.first < b.first;
            return a.second < b.second;
        });
        for (size_t i = 0; i < keywords.size(); ++i)
            keywords[i] = counted[i].second;
    } else {
        // The order found, and every keyword counts one.
        std::sort(keywords.begin(), keywords.end());
    }
    node->keywordsSorted = true;
}

void RootTreeModel::ensureKeywordsSorted(Node* node) const
{
    node->opened = true;
    if (!node->keywordsSorted)
        sortKeywords(node);
}

void RootTreeModel::sort(int column, Qt::SortOrder order)
{
    if (column >= ColumnCount)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Where every index a view keeps stands now: a node, or a keyword under its node.
    struct Kept
    {
        Node* parent;
        Node* node;
        qint32 keyword;
        int column;
    };
    const QModelIndexList before = persistentIndexList();
    std::vector<Kept> kept;
    kept.reserve(size_t(before.size()));
    for (const QModelIndex& index : before) {
        Node* node = nodeOf(index);
        Node* parent = parentNodeOf(index);
        kept.push_back({ parent, node, node ? -1 : parent->keywords[size_t(index.row())], index.column() });
    }

    sortColumn_ = column;
    sortOrder_ = order;
    sortNodes(top_);
    for (const auto& node : nodes_) {
        if (!node->children.empty())
            sortNodes(node->children);
        if (node->keywords.empty())
            continue;
        node->keywordsSorted = false;
        // Rows a view has seen are sorted now; the rest when a view first asks for them.
        if (node->opened)
            sortKeywords(node.get());
    }

    QModelIndexList after;
    after.reserve(before.size());
    for (const Kept& index : kept) {
        if (index.node) {
            after << createIndex(index.node->row, index.column, index.node->parent);
        } else {
            const auto& rows = index.parent->keywords;
            const auto at = std::find(rows.begin(), rows.end(), index.keyword);
            after << createIndex(int(at - rows.begin()), index.column, index.parent);
        }
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<bool> RootTreeModel::keywordsOfRows(const QModelIndexList& rows) const
{
    std::vector<bool> chosen(grouping_ ? size_t(grouping_->keywords.size()) : 0, false);
    if (!grouping_)
        return chosen;
    for (const QModelIndex& index : rows) {
        if (!index.isValid() || index.model() != this)
            continue;
        const Node* node = nodeOf(index);
        if (!node) {
            chosen[size_t(parentNodeOf(index)->keywords[size_t(index.row())])] = true;
        } else if (node->kind == Node::Kind::Common) {
            std::fill(chosen.begin(), chosen.end(), true);
        } else {
            for (qint32 keyword : node->data->keywords)
                chosen[size_t(keyword)] = true;
        }
    }
    return chosen;
}

std::vector<RootLists::GroupRef> RootTreeModel::groupOrder() const
{
    std::vector<RootLists::GroupRef> order;
    for (const Node* node : top_) {
        if (node->kind == Node::Kind::Common)
            continue;
        if (node->children.empty())
            order.push_back({ node->group, -1 });
        for (const Node* sub : node->children)
            order.push_back({ sub->group, sub->subgroup });
    }
    return order;
}
