// Form2: the window of 词根分组. It reads the list, hands it to a grouping job, shows the result in
// Tree1 and turns the selection into list commands; the grouping itself is the core's.
#include "app/form2.h"

#include "app/roottreemodel.h"
#include "listtools/rootlists.h"
#include "platform/listreplace.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTextDocument>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// A changed list is grouped again once it has been still this long, so that typing or a running
// mining run does not start a grouping at every key or page.
constexpr int SettleMs = 500;
// A grouping that takes longer than this shows its progress.
constexpr int SlowMs = 250;

// Where a row stands, by the texts of its first column from the top: it finds the same group in a
// new grouping of a changed list.
QStringList pathOf(QModelIndex index)
{
    QStringList path;
    for (; index.isValid(); index = index.parent())
        path.prepend(index.siblingAtColumn(0).data().toString());
    return path;
}

// The rows the tree shows open: groups and second-level groups.
QList<QModelIndex> expandedRows(const QTreeView* tree, const QAbstractItemModel* model)
{
    QList<QModelIndex> open;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex group = model->index(row, 0);
        if (!tree->isExpanded(group))
            continue;
        open << group;
        for (int sub = 0; sub < model->rowCount(group); ++sub) {
            const QModelIndex child = model->index(sub, 0, group);
            if (!model->hasChildren(child))
                break; // keyword rows
            if (tree->isExpanded(child))
                open << child;
        }
    }
    return open;
}

QModelIndex indexOfPath(const QAbstractItemModel* model, const QStringList& path)
{
    QModelIndex found;
    for (const QString& text : path) {
        const int rows = model->rowCount(found);
        QModelIndex next;
        for (int row = 0; row < rows; ++row) {
            const QModelIndex candidate = model->index(row, 0, found);
            if (candidate.data().toString() == text) {
                next = candidate;
                break;
            }
        }
        if (!next.isValid())
            return {};
        found = next;
    }
    return found;
}

} // namespace

Form2::Form2(QPlainTextEdit* box, SeenCounts seenCounts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , box_(box)
    , seenCounts_(std::move(seenCounts))
{
    setObjectName(u"Form2"_s);
    setWindowTitle(u"词根分组"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    Label1 = new QLabel(this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setTextFormat(Qt::PlainText);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(u"ProgressBar1"_s);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();

    model_ = new RootTreeModel(this);
    Tree1 = new QTreeView(this);
    Tree1->setObjectName(u"Tree1"_s);
    Tree1->setModel(model_);
    Tree1->setUniformRowHeights(true);
    Tree1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree1->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tree1->setAlternatingRowColors(true);
    Tree1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // No column is sorted at first: the order found, largest group first. A third click on a header
    // brings that order back.
    Tree1->header()->setSortIndicator(-1, Qt::AscendingOrder);
    Tree1->header()->setSortIndicatorClearable(true);
    Tree1->setSortingEnabled(true);
    Tree1->header()->setStretchLastSection(true);
    Tree1->setColumnWidth(RootTreeModel::Root, 260);
    Tree1->setColumnWidth(RootTreeModel::KeywordCount, 80);
    Tree1->setColumnWidth(RootTreeModel::SeenCount, 80);

    Command1 = new QPushButton(u"复制"_s, this);
    Command1->setObjectName(u"Command1"_s);
    Command2 = new QPushButton(u"只保留所选"_s, this);
    Command2->setObjectName(u"Command2"_s);
    Command3 = new QPushButton(u"按词根排列"_s, this);
    Command3->setObjectName(u"Command3"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Tree1, 1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);
    resize(640, 520);

    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    slow_.setSingleShot(true);
    slow_.setInterval(SlowMs);
    connect(&settle_, &QTimer::timeout, this, &Form2::groupList);
    connect(&slow_, &QTimer::timeout, this, [this] {
        Label1->setText(u"正在分组…"_s);
        ProgressBar1->show();
    });
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    connect(Tree1->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Form2::updateButtons);
    connect(box_->document(), &QTextDocument::contentsChanged, this, &Form2::listChanged);
    updateButtons();
}

Form2::~Form2()
{
    // The job's thread ends by itself once cancelled; nothing it finds reaches this window.
    if (job_)
        job_->stop();
}

bool Form2::isGrouping() const
{
    return job_ || settle_.isActive();
}

void Form2::groupIfStale()
{
    if (!current_ && !job_)
        groupList();
}

void Form2::groupList()
{
    ++generation_;
    settle_.stop();
    if (job_) {
        job_->stop();
        job_->deleteLater();
        job_ = nullptr;
    }
    pendingList_ = ListReplace::keywordListText(box_);
    pendingCounts_ = std::make_shared<QHash<QString, qint64>>();
    RootGroups::SeenCountLookup read = seenCounts_ ? seenCounts_(pendingList_) : RootGroups::SeenCountLookup();
    // The tree shows each keyword's count too; the job asks for each distinct keyword once.
    RootGroups::SeenCountLookup keep = [read, counts = pendingCounts_](const QString& keyword) -> qint64 {
        const qint64 count = read ? read(keyword) : 0;
        if (count > 0)
            counts->insert(keyword, count);
        return count;
    };
    auto* job = new RootGroups::GroupingJob(pendingList_, keep, this);
    job_ = job;
    const quint64 generation = generation_;
    connect(job, &RootGroups::GroupingJob::progressChanged, this, [this, generation](int percent) {
        if (generation == generation_)
            ProgressBar1->setValue(percent);
    });
    connect(job, &RootGroups::GroupingJob::finished, this,
            [this, generation](std::shared_ptr<const RootGroups::Grouping> grouping) {
                // A grouping of a list that has since changed, or that a new click replaced, is dropped.
                if (generation != generation_ || !grouping || grouping->cancelled)
                    return;
                showGrouping(std::move(grouping));
            });
    ProgressBar1->setValue(0);
    current_ = false;
    slow_.start();
    job->start();
    updateButtons();
}

void Form2::listChanged()
{
    // The tree no longer shows the list: it goes at once, and the new list is grouped once it is still.
    if (job_) {
        ++generation_;
        job_->stop();
        job_->deleteLater();
        job_ = nullptr;
    }
    if (current_ || model_->grouping()) {
        current_ = false;
        // What the user had open and selected is found again in the new grouping.
        expandedPaths_.clear();
        selectedPaths_.clear();
        for (const QModelIndex& index : expandedRows(Tree1, model_))
            expandedPaths_ << pathOf(index);
        for (const QModelIndex& index : Tree1->selectionModel()->selectedRows())
            selectedPaths_ << pathOf(index);
        scrolledTo_ = Tree1->verticalScrollBar()->value();
        model_->setGrouping(nullptr, nullptr);
    }
    slow_.stop();
    ProgressBar1->hide();
    Label1->setText(u"列表已改变，正在重新分组…"_s);
    settle_.start();
    updateButtons();
}

void Form2::showGrouping(std::shared_ptr<const RootGroups::Grouping> grouping)
{
    slow_.stop();
    ProgressBar1->hide();
    if (job_)
        job_->deleteLater();
    job_ = nullptr;
    groupedList_ = pendingList_;
    model_->setGrouping(grouping, pendingCounts_);
    current_ = true;

    for (const QStringList& path : std::as_const(expandedPaths_))
        Tree1->setExpanded(indexOfPath(model_, path), true);
    QItemSelection selection;
    for (const QStringList& path : std::as_const(selectedPaths_)) {
        const QModelIndex index = indexOfPath(model_, path);
        if (index.isValid())
            selection.select(index, index.siblingAtColumn(RootTreeModel::ColumnCount - 1));
    }
    Tree1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    Tree1->verticalScrollBar()->setValue(scrolledTo_);
    expandedPaths_.clear();
    selectedPaths_.clear();
    scrolledTo_ = 0;

    qsizetype groups = 0;
    for (const RootGroups::Group& group : grouping->groups)
        groups += !group.isOther;
    QString text = u"%1 个关键词，%2 个词根"_s.arg(QString::number(grouping->keywords.size()), QString::number(groups));
    if (!grouping->commonRoots.isEmpty())
        text += u"，共同词根：" + grouping->commonRoot();
    if (!grouping->ok && !grouping->error.isEmpty())
        text = u"无法分词："_s + grouping->error;
    Label1->setText(text);
    updateButtons();
    Q_EMIT grouped();
}

bool Form2::treeIsCurrent() const
{
    return current_ && model_->grouping() != nullptr;
}

void Form2::updateButtons()
{
    const bool selected = treeIsCurrent() && Tree1->selectionModel()->hasSelection();
    Command1->setEnabled(selected);
    Command2->setEnabled(selected);
    Command3->setEnabled(treeIsCurrent() && !model_->grouping()->keywords.isEmpty());
}

std::vector<bool> Form2::selectedKeywords() const
{
    return model_->keywordsOfRows(Tree1->selectionModel()->selectedRows());
}

void Form2::Command1_Click()
{
    if (!treeIsCurrent())
        return;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(RootLists::chosenKeywords(*model_->grouping(), selectedKeywords()));
}

void Form2::Command2_Click()
{
    // Only the list the tree shows is ever rewritten from it.
    if (!treeIsCurrent() || ListReplace::keywordListText(box_) != groupedList_)
        return;
    const QString kept = RootLists::chosenKeywords(*model_->grouping(), selectedKeywords());
    ListReplace::replaceKeywordListAsOneStep(box_, kept);
}

void Form2::Command3_Click()
{
    if (!treeIsCurrent() || ListReplace::keywordListText(box_) != groupedList_)
        return;
    const QString arranged = RootLists::arrangedByRoots(groupedList_, *model_->grouping(), model_->groupOrder());
    // A list already in that order stays as it is, without an empty step to undo; the clipboard gets it
    // all the same.
    if (arranged == groupedList_) {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(ListReplace::asShownInBox(arranged));
        return;
    }
    ListReplace::replaceKeywordListAsOneStep(box_, arranged);
}
