// The tree of the 词根分组 window over one grouping: the common root on top, then every group (its
// second-level groups and its keywords below it), "其他" last. Rows are made as the view asks for
// them, so that a grouping of a million keywords shows at once; sorting by a column sorts every level
// (the common root stays on top, each "其他" at the end of its level), and the keywords of a group
// that was never opened are sorted only when it is.
#pragma once

#include "listtools/rootgroups.h"
#include "listtools/rootlists.h"

#include <QAbstractItemModel>
#include <QCollator>
#include <QHash>
#include <memory>
#include <vector>

class RootTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { Root, KeywordCount, SeenCount, Intent, ColumnCount };

    explicit RootTreeModel(QObject* parent = nullptr);
    ~RootTreeModel() override;

    // Shows grouping; seenCounts holds the 出现次数 of the keywords that have one, by keyword.
    void setGrouping(std::shared_ptr<const RootGroups::Grouping> grouping,
                     std::shared_ptr<const QHash<QString, qint64>> seenCounts);
    const RootGroups::Grouping* grouping() const { return grouping_.get(); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Column -1 is the order found: largest group first, keywords in list order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Marks in a vector by keyword index the keywords of the given rows: all of them for the common
    // root, a group's or second-level group's, or the keyword itself.
    std::vector<bool> keywordsOfRows(const QModelIndexList& rows) const;
    // The groups in the order the tree shows them, each as its second-level groups where it has some.
    std::vector<RootLists::GroupRef> groupOrder() const;

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const; // nullptr for a keyword row
    Node* parentNodeOf(const QModelIndex& index) const;
    void sortNodes(std::vector<Node*>& nodes) const;
    void sortKeywords(Node* node) const;
    void ensureKeywordsSorted(Node* node) const;
    qint64 seenCountOf(qint32 keyword) const;
    int compareNodes(const Node* a, const Node* b) const;
    int compareKeywords(qint32 a, qint32 b) const;

    std::shared_ptr<const RootGroups::Grouping> grouping_;
    std::shared_ptr<const QHash<QString, qint64>> seenCounts_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<Node*> top_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QCollator collator_;
    qint64 totalSeen_ = 0;
    QString totalIntent_;
};
