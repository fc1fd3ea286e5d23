// 词根分组.
#include "listtools/rootgroups.h"

#include "text/segmenter.h"

using namespace Qt::StringLiterals;

namespace RootGroups {

const std::vector<IntentRow>& intentTable()
{
    static const std::vector<IntentRow> table;
    return table;
}

QString intentOf(const QString&)
{
    return {};
}

QStringList candidateRoots(const QString&, const Segmentation::Segmenter&)
{
    return {};
}

bool isStopWord(const QString&)
{
    return false;
}

QString Grouping::commonRoot() const
{
    return commonRoots.join(u' ');
}

qint32 Grouping::indexOf(const QString& line) const
{
    return keyIndex.value(keywordKey(line), -1);
}

QString Grouping::rootOf(qint32) const
{
    return {};
}

QString Grouping::subRootOf(qint32) const
{
    return {};
}

QString Grouping::intentOfKeyword(qint32) const
{
    return {};
}

QString keywordKey(const QString& line)
{
    return line.trimmed().toCaseFolded();
}

Grouping groupKeywords(const QString&, const Segmentation::Segmenter&, const Options&)
{
    return {};
}

Grouping groupKeywords(const QStringList&, const Segmentation::Segmenter&, const Options&)
{
    return {};
}

struct GroupingJob::Run
{
};

GroupingJob::GroupingJob(const QString&, SeenCountLookup, QObject* parent)
    : QObject(parent)
    , run_(std::make_shared<Run>())
{
}

GroupingJob::~GroupingJob() = default;

void GroupingJob::start() { }

void GroupingJob::stop() { }

bool GroupingJob::isRunning() const
{
    return false;
}

} // namespace RootGroups
