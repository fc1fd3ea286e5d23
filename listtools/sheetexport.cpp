// The keyword sheet: the rows go to libxlsxwriter one after the other (constant-memory mode keeps
// one row in memory and the rest in a temporary file), the workbook is zipped into a temporary file
// beside the target, and a rename puts it in place.
#include "listtools/sheetexport.h"

#include "listtools/export.h"
#include "listtools/rootgroups.h"
#include "text/segmenter.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <xlsxwriter.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

enum Column : lxw_col_t { Keyword, Source, Parent, Generation, Seed, SeenCount, FirstFound, Root, SubRoot, Intent };
// The second sheet, "词根": a row per group and per second-level group.
enum RootColumn : lxw_col_t { GroupRoot, GroupSubRoot, GroupKeywords, GroupSeenCount, GroupIntent, GroupExamples };
// A group's 示例: its first keywords, this many.
constexpr qsizetype ExampleCount = 3;

// The grouping, writing the rows, and zipping the workbook at the end each take about a third.
constexpr int GroupingPercent = 30;
constexpr int RowsPercent = 65;

QString folderReason(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        return u"文件夹不存在"_s;
    if (!info.isWritable())
        return u"没有写入该文件夹的权限"_s;
    return u"无法创建文件"_s;
}

QString libraryReason(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return u"内存不足"_s;
    case LXW_ERROR_CREATING_XLSX_FILE:
        return u"无法创建文件"_s;
    default:
        return u"写入时出错，磁盘可能已满"_s;
    }
}

// UTF-8 for the library, in one buffer reused for every cell. A lone surrogate becomes U+FFFD.
class Utf8Buffer
{
public:
    const char* operator()(QStringView text)
    {
        buffer_.resize(encoder_.requiredSpace(text.size()) + 1);
        char* end = encoder_.appendToBuffer(buffer_.data(), text);
        *end = '\0';
        return buffer_.constData();
    }

private:
    QStringEncoder encoder_ { QStringEncoder::Utf8 };
    QByteArray buffer_;
};

// Excel reads "_x", four hexadecimal digits and "_" as one escaped character; a keyword that holds
// such a text keeps it when its underscore is escaped as "_x005F_".
bool escapeLikeAt(QStringView text, qsizetype at)
{
    if (at + 7 > text.size() || text[at] != u'_' || text[at + 1] != u'x' || text[at + 6] != u'_')
        return false;
    for (qsizetype i = at + 2; i < at + 6; ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

bool holdsEscapeLikeText(QStringView text)
{
    for (qsizetype at = text.indexOf(u"_x"); at >= 0; at = text.indexOf(u"_x", at + 1)) {
        if (escapeLikeAt(text, at))
            return true;
    }
    return false;
}

// The text as its cell stores it: escape-like texts escaped, and cut to the cell's limit in that
// stored form (as the library counts it), never between the two halves of a surrogate pair.
QStringView storedText(QStringView text, QString* buffer, bool* cut)
{
    const qsizetype limit = ListExport::MaxCellLength;
    if (!holdsEscapeLikeText(text)) {
        if (text.size() <= limit)
            return text;
        *cut = true;
        return text.first(text[limit - 1].isHighSurrogate() ? limit - 1 : limit);
    }
    buffer->clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escape = escapeLikeAt(text, i);
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size();
        if (buffer->size() + (escape ? 7 : pair ? 2 : 1) > limit) {
            *cut = true;
            break;
        }
        if (escape)
            *buffer += u"_x005F_";
        else
            *buffer += text[i];
        if (pair)
            *buffer += text[++i];
    }
    return *buffer;
}

class SheetWriter
{
public:
    SheetWriter(lxw_worksheet* sheet, lxw_format* dateFormat)
        : sheet_(sheet)
        , dateFormat_(dateFormat)
    {
    }

    void text(lxw_row_t row, lxw_col_t column, QStringView text)
    {
        if (text.isEmpty())
            return;
        bool cut = false;
        const QStringView stored = storedText(text, &escaped_, &cut);
        shortened += cut;
        check(worksheet_write_string(sheet_, row, column, utf8_(stored), nullptr));
    }

    void number(lxw_row_t row, lxw_col_t column, qint32 value)
    {
        if (value > 0)
            check(worksheet_write_number(sheet_, row, column, value, nullptr));
    }

    // A count that is shown also when it is 0.
    void count(lxw_row_t row, lxw_col_t column, qint64 value)
    {
        check(worksheet_write_number(sheet_, row, column, double(value), nullptr));
    }

    void dateTime(lxw_row_t row, lxw_col_t column, const QDateTime& moment)
    {
        if (!moment.isValid())
            return;
        const QDateTime local = moment.toLocalTime();
        const QDate date = local.date();
        const QTime time = local.time();
        // Excel's dates begin with 1900 and end with 9999.
        if (date.year() < 1900 || date.year() > 9999)
            return;
        lxw_datetime cell { date.year(), date.month(),  date.day(),
                            time.hour(), time.minute(), time.second() + time.msec() / 1000.0 };
        check(worksheet_write_datetime(sheet_, row, column, &cell, dateFormat_));
    }

    qint64 shortened = 0;
    // The first cell the library refused; no cell goes missing without a word.
    lxw_error error = LXW_NO_ERROR;

private:
    void check(lxw_error written)
    {
        if (error == LXW_NO_ERROR)
            error = written;
    }

    lxw_worksheet* sheet_;
    lxw_format* dateFormat_;
    Utf8Buffer utf8_;
    QString escaped_;
};

// The file's data reaches the disk before the rename makes it the sheet, so that a power cut leaves
// the old sheet or the new one.
bool syncToDisk(const QString& path)
{
#ifdef Q_OS_UNIX
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

namespace ListExport {

QStringList sheetHeader()
{
    return { u"关键词"_s, u"来源"_s,   u"上级词"_s,   u"代数"_s, u"种子词"_s,
             u"出现次数"_s, u"首次发现"_s, u"词根"_s, u"二级词根"_s, u"意图"_s };
}

QStringList rootSheetHeader()
{
    return { u"词根"_s, u"二级词根"_s, u"关键词数"_s, u"出现次数"_s, u"意图"_s, u"示例"_s };
}

XlsxResult writeKeywordSheet(const QString& path, const QString& list, const RecordLookup& recordOf,
                             const std::function<void(int percent)>& progress, const std::atomic<bool>* stop)
{
    XlsxResult result;
    result.path = path;
    auto failed = [&result](const QString& reason) {
        result.failures.append(QDir::toNativeSeparators(result.path) + u"："_s + reason);
        return result;
    };
    int reported = -1;
    auto report = [&](int percent) {
        if (progress && percent != reported)
            progress(percent);
        reported = percent;
    };
    auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };

    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        return failed(u"文件夹不存在"_s);
    // The new sheet is written under a name of its own in the same folder; the old one stays until
    // the rename, and the temporary file goes with this object unless the rename took it.
    QTemporaryFile temporary(QDir(folder).filePath(target.fileName() + u".XXXXXX"_s));
    if (!temporary.open())
        return failed(folderReason(folder));
    temporary.close();
    const QString temporaryPath = temporary.fileName();

    // The roots of every row, by the grouping the 词根分组 window shows; 出现次数 from the records.
    RootGroups::Options grouping;
    QString groupingRecordsFailure;
    grouping.seenCount = [&recordOf, &groupingRecordsFailure](const QString& keyword) -> qint64 {
        if (!recordOf || !groupingRecordsFailure.isEmpty())
            return 0;
        const std::optional<SheetRecord> record = recordOf(keyword, groupingRecordsFailure);
        return record ? record->seenCount : 0;
    };
    grouping.progress = [&report](int percent) { report(percent * GroupingPercent / 100); };
    grouping.cancel = stop;
    report(0);
    const RootGroups::Grouping roots
        = RootGroups::groupKeywords(list, Segmentation::Segmenter::shared(), grouping);
    if (roots.cancelled || stopped()) {
        result.stopped = true;
        return result;
    }
    if (!groupingRecordsFailure.isEmpty()) {
        result.failures.append(groupingRecordsFailure);
        result.recordsUnread = true;
        return result;
    }
    result.groupingError = roots.error;

    QByteArray libraryFolder = QFile::encodeName(QDir::toNativeSeparators(folder));
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    // The rows wait in a file beside the sheet rather than in the system's temporary folder, which may
    // be memory.
    options.tmpdir = libraryFolder.data();
    options.use_zip64 = LXW_FALSE;
    lxw_workbook* workbook = workbook_new_opt(QFile::encodeName(temporaryPath).constData(), &options);
    if (!workbook)
        return failed(u"内存不足"_s);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "关键词");
    lxw_worksheet* rootSheet = workbook_add_worksheet(workbook, "词根");
    if (!sheet || !rootSheet) {
        lxw_workbook_free(workbook);
        return failed(folderReason(folder));
    }
    lxw_format* headerFormat = workbook_add_format(workbook);
    format_set_bold(headerFormat);
    lxw_format* dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "yyyy-mm-dd hh:mm:ss");

    const double widths[] = { 30, 12, 24, 6, 16, 9, 20, 14, 14, 10 };
    const double rootWidths[] = { 16, 16, 9, 9, 10, 60 };
    Utf8Buffer utf8;
    auto layOut = [&](lxw_worksheet* page, const double* columnWidths, const QStringList& header) {
        for (lxw_col_t column = 0; column < lxw_col_t(header.size()); ++column) {
            worksheet_set_column(page, column, column, columnWidths[column], nullptr);
            worksheet_write_string(page, 0, column, utf8(header[column]), headerFormat);
        }
        worksheet_freeze_panes(page, 1, 0);
        // Printed, the columns fit the width of a landscape page, the header row heads every page
        // and the grid shows.
        worksheet_set_landscape(page);
        worksheet_fit_to_pages(page, 1, 0);
        worksheet_repeat_rows(page, 0, 0);
        worksheet_gridlines(page, LXW_SHOW_ALL_GRIDLINES);
    };
    Q_ASSERT(std::size(widths) == size_t(sheetHeader().size()));
    Q_ASSERT(std::size(rootWidths) == size_t(rootSheetHeader().size()));
    layOut(sheet, widths, sheetHeader());
    layOut(rootSheet, rootWidths, rootSheetHeader());

    SheetWriter cells(sheet, dateFormat);
    const QStringView text(list);
    lxw_row_t row = 0;
    size_t lineNumber = 0;
    for (qsizetype start = 0; start < text.size(); ++lineNumber) {
        if (stopped()) {
            lxw_workbook_free(workbook);
            result.stopped = true;
            return result;
        }
        qsizetype end = text.indexOf(u"\r\n", start);
        if (end < 0)
            end = text.size();
        const QStringView line = text.sliced(start, end - start);
        start = end + 2;
        if (std::all_of(line.begin(), line.end(), [](QChar c) { return c == u' '; }))
            continue;
        if (row == MaxKeywordRows) {
            lxw_workbook_free(workbook);
            return failed(u"关键词超过 %1 个，一张表格放不下"_s.arg(MaxKeywordRows));
        }
        ++row;
        cells.text(row, Keyword, line);
        QString recordsFailure;
        const std::optional<SheetRecord> record = recordOf ? recordOf(line.toString(), recordsFailure) : std::nullopt;
        if (!recordsFailure.isEmpty()) {
            lxw_workbook_free(workbook);
            result.failures.append(recordsFailure);
            result.recordsUnread = true;
            return result;
        }
        if (!record) {
            cells.text(row, Source, u"手动");
        } else {
            cells.text(row, Source, record->source);
            cells.text(row, Parent, record->parent);
            cells.number(row, Generation, record->generation);
            cells.text(row, Seed, record->seed);
            cells.number(row, SeenCount, record->seenCount);
            cells.dateTime(row, FirstFound, record->firstFound);
        }
        const qint32 keyword = lineNumber < roots.lineKeywords.size() ? roots.lineKeywords[lineNumber] : -1;
        cells.text(row, Root, keyword < 0 ? QString::fromUtf16(RootGroups::OtherRoot) : roots.rootOf(keyword));
        if (keyword >= 0) {
            cells.text(row, SubRoot, roots.subRootOf(keyword));
            cells.text(row, Intent, roots.intentOfKeyword(keyword));
        }
        if (cells.error != LXW_NO_ERROR) {
            lxw_workbook_free(workbook);
            return failed(cells.error == LXW_ERROR_MEMORY_MALLOC_FAILED ? u"内存不足"_s : u"有单元格写不进表格"_s);
        }
        report(GroupingPercent
               + int(qMin<qsizetype>(start, text.size()) * (RowsPercent - GroupingPercent) / text.size()));
    }
    result.rows = row;

    SheetWriter rootCells(rootSheet, dateFormat);
    lxw_row_t rootRow = 0;
    auto writeGroup = [&](const RootGroups::Group& group, const QString& root, const QString& subRoot) {
        ++rootRow;
        rootCells.text(rootRow, GroupRoot, root);
        rootCells.text(rootRow, GroupSubRoot, subRoot);
        rootCells.count(rootRow, GroupKeywords, group.keywordCount());
        rootCells.count(rootRow, GroupSeenCount, group.seenCount);
        rootCells.text(rootRow, GroupIntent, group.intent);
        QStringList examples;
        for (size_t i = 0; i < group.keywords.size() && examples.size() < ExampleCount; ++i)
            examples << roots.keywords.at(group.keywords[i]);
        rootCells.text(rootRow, GroupExamples, examples.join(u"、"_s));
    };
    for (const RootGroups::Group& group : roots.groups) {
        writeGroup(group, group.root, QString());
        for (const RootGroups::Group& subgroup : group.subgroups)
            writeGroup(subgroup, group.root, subgroup.root);
    }
    if (rootCells.error != LXW_NO_ERROR) {
        lxw_workbook_free(workbook);
        return failed(rootCells.error == LXW_ERROR_MEMORY_MALLOC_FAILED ? u"内存不足"_s : u"有单元格写不进表格"_s);
    }
    result.shortenedCells = cells.shortened + rootCells.shortened;

    // The library does not report a failed write of its row file (a full disk, say); the sheet
    // would be cut short without a word. All rows but the one in memory are in that file by now.
    auto rowFileFailed = [](lxw_worksheet* page) {
        return page->optimize_tmpfile
            && (std::fflush(page->optimize_tmpfile) != 0 || std::ferror(page->optimize_tmpfile));
    };
    if (rowFileFailed(sheet) || rowFileFailed(rootSheet)) {
        lxw_workbook_free(workbook);
        return failed(u"写入时出错，磁盘可能已满"_s);
    }
    report(RowsPercent);
    const lxw_error closed = workbook_close(workbook);
    if (closed != LXW_NO_ERROR)
        return failed(libraryReason(closed));
    if (stopped()) {
        result.stopped = true;
        return result;
    }
    if (!syncToDisk(temporaryPath))
        return failed(u"写入时出错，磁盘可能已满"_s);
    // The temporary file is made readable for the owner alone; the sheet gets the permissions of the
    // sheet it replaces, or those of a new file.
    const QFileDevice::Permissions permissions = target.exists()
        ? QFile::permissions(path)
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(temporaryPath, permissions);
    // rename() replaces the old sheet in one step.
    if (std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(u"无法替换原有的文件"_s);
    temporary.setAutoRemove(false);
    report(100);
    result.ok = true;
    return result;
}

XlsxResult exportKeywordSheet(const QString& list, const RecordLookup& recordOf,
                              const std::function<void(int percent)>& progress, const std::atomic<bool>* stop)
{
    XlsxResult result;
    const QString folders[] = { ExportFile::programDir(), ExportFile::documentsDir() };
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const bool fallback = &folder != &folders[0];
        // The documents folder may not exist yet on a new account.
        if (fallback)
            QDir().mkpath(folder);
        const QStringList failures = result.failures;
        result = writeKeywordSheet(QDir(folder).filePath(QStringView(SheetFileName).toString()), list, recordOf,
                                   progress, stop);
        result.fallback = fallback;
        result.failures = failures + result.failures;
        if (result.ok || result.stopped || result.recordsUnread)
            return result;
    }
    return result;
}

SheetExportJob::SheetExportJob(const QString& list, RecordLookup recordOf, QObject* parent)
    : QObject(parent)
    , list_(list)
    , recordOf_(std::move(recordOf))
{
}

SheetExportJob::~SheetExportJob()
{
    stop();
}

void SheetExportJob::start()
{
    if (thread_)
        return;
    thread_.reset(QThread::create([this] {
        result_ = exportKeywordSheet(
            list_, recordOf_,
            [this](int percent) {
                // Delivered on the job's thread; dropped if the job is gone by then.
                QMetaObject::invokeMethod(
                    this, [this, percent] { Q_EMIT progressChanged(percent); }, Qt::QueuedConnection);
            },
            &stop_);
    }));
    connect(thread_.get(), &QThread::finished, this, [this] { Q_EMIT finished(result_); });
    thread_->start();
}

void SheetExportJob::stop()
{
    stop_ = true;
    if (thread_)
        thread_->wait();
}

bool SheetExportJob::isRunning() const
{
    return thread_ && thread_->isRunning();
}

} // namespace ListExport
