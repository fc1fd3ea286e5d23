// Form2, "词根分组": the keyword list grouped by its roots, in a window of its own. The grouping runs
// on worker threads; the window shows its progress when it takes longer than a quarter of a second,
// and never shows the groups of a list other than the one Text1 holds: a list that changes is grouped
// again, and whatever an older grouping finds is dropped.
#pragma once

#include "listtools/rootgroups.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeView;
class RootTreeModel;

class Form2 : public QWidget
{
    Q_OBJECT
public:
    // Reads a keyword's 出现次数 for the list about to be grouped; called on the window's thread, the
    // lookup it returns on the grouping's.
    using SeenCounts = std::function<RootGroups::SeenCountLookup(const QString& list)>;

    // Groups the list of box, which it watches and rewrites; seenCounts may be empty (every count 0).
    Form2(QPlainTextEdit* box, SeenCounts seenCounts, QWidget* parent = nullptr);
    ~Form2() override;

    // Groups the list as it is now; a grouping still at work is dropped.
    void groupList();
    // Groups the list now unless the tree shows it or a grouping of it is at work (a click on
    // 词根分组 while the window is open).
    void groupIfStale();
    // A grouping is at work, or waits for the list to settle.
    bool isGrouping() const;

    QLabel* Label1 = nullptr; // what the tree shows, or the progress
    QProgressBar* ProgressBar1 = nullptr;
    QTreeView* Tree1 = nullptr;
    QPushButton* Command1 = nullptr; // 复制
    QPushButton* Command2 = nullptr; // 只保留所选
    QPushButton* Command3 = nullptr; // 按词根排列

    RootTreeModel* treeModel() const { return model_; }

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

Q_SIGNALS:
    // A grouping reached the tree (for tests and the picture script).
    void grouped();

private:
    void listChanged();
    void showGrouping(std::shared_ptr<const RootGroups::Grouping> grouping);
    void updateButtons();
    bool treeIsCurrent() const;
    std::vector<bool> selectedKeywords() const;

    QPlainTextEdit* box_;
    SeenCounts seenCounts_;
    RootTreeModel* model_ = nullptr;
    QPointer<RootGroups::GroupingJob> job_;
    quint64 generation_ = 0;
    QString groupedList_; // the list the tree shows, as keywordListText read it
    QString pendingList_; // the list being grouped
    std::shared_ptr<QHash<QString, qint64>> pendingCounts_;
    bool current_ = false; // the tree shows the list the box holds
    // What was open and selected in the tree of the list before it changed, and where it was scrolled.
    QList<QStringList> expandedPaths_;
    QList<QStringList> selectedPaths_;
    int scrolledTo_ = 0;
    QTimer settle_; // a changed list is grouped again once it has been still this long
    QTimer slow_; // the progress shows once grouping has taken this long
};
