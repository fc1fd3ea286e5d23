// The keyword list as a spreadsheet, "关键词.xlsx": one row per keyword with where it came from. The
// sheet is written with libxlsxwriter row by row (its constant-memory mode), into a temporary file
// beside the old sheet that replaces it only once whole. SheetExportJob does the writing on a thread
// of its own, so that a window stays responsive and can show the progress.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace ListExport {

inline constexpr char16_t SheetFileName[] = u"关键词.xlsx";

// What the sheet shows of a keyword besides the keyword itself. Empty texts, a generation or count
// of 0 and an invalid time give empty cells.
struct SheetRecord
{
    QString source; // "相关搜索", "下拉词", a hot-word list's caption, "文件 NAME"
    QString parent;
    QString seed;
    qint32 generation = 0;
    qint32 seenCount = 0;
    QDateTime firstFound;
};

// The record of a keyword, or nullopt for one that has none (typed or pasted). Called on the
// writer's thread: once per distinct keyword for the roots, then once per row, in list order. When the
// records cannot be read it sets failure to the reason, in Chinese: the export then fails with it
// rather than write rows without their records.
using RecordLookup = std::function<std::optional<SheetRecord>(const QString& keyword, QString& failure)>;

struct XlsxResult
{
    bool ok = false;
    bool stopped = false; // stop was asked for: no file was written and nothing is reported
    QString path; // the file written, or the last one tried
    bool fallback = false; // written to the documents folder instead of the program's directory
    QStringList failures; // one line per file that could not be written, "PATH：REASON", in Chinese
    qint64 rows = 0; // keyword rows, the header row not counted
    qint64 shortenedCells = 0; // keywords cut to a cell's limit of MaxCellLength
    // Why the roots could not be found (no segmenter): every row's 词根 is then "其他".
    QString groupingError;
    bool recordsUnread = false; // the lookup failed: failures ends with its reason
};

// A sheet holds 1,048,576 rows, the header row among them.
inline constexpr qint64 MaxKeywordRows = 1048575;
// A cell holds at most 32,767 UTF-16 code units; a longer keyword is cut there, never inside a
// surrogate pair.
inline constexpr qsizetype MaxCellLength = 32767;

// The header row of the sheet "关键词", in column order.
QStringList sheetHeader();
// The header row of the sheet "词根".
QStringList rootSheetHeader();

// Writes the workbook to path. Its sheet "关键词": the header row, then a row per keyword of list
// (CRLF-separated, in list order): 关键词, 来源, 上级词, 代数, 种子词, 出现次数, 首次发现 (a
// date-time cell shown as "yyyy-mm-dd hh:mm:ss", local time), 词根, 二级词根, 意图. Lines that are
// empty once spaces are trimmed get no row; other lines are written as they are. A line without a
// record has 来源 "手动" and the record's cells empty. The roots are those of the 词根分组 window
// (RootGroups::groupKeywords over the whole list, with the shared segmenter): 词根 "其他" where no
// group took the keyword. Its sheet "词根": a row per group, each followed by its second-level groups:
// 词根, 二级词根 (empty on a group's own row), 关键词数, 出现次数 (the sum of its keywords'), 意图
// ("价格 42%"), 示例 (its first three keywords, "、" between them).
// recordOf is called for the rows and for the grouping's 出现次数, on the calling thread.
// progress gets 0 to 100 as the work goes on, on the calling thread; once stop is set the writing
// ends soon, leaving the old file as it was. On any failure the old file is untouched and no
// temporary file stays.
XlsxResult writeKeywordSheet(const QString& path, const QString& list, const RecordLookup& recordOf,
                             const std::function<void(int percent)>& progress = {},
                             const std::atomic<bool>* stop = nullptr);

// writeKeywordSheet to "关键词.xlsx" in the program's directory, else in the documents folder: the
// folders of "关键词.txt" (listtools/export.h).
XlsxResult exportKeywordSheet(const QString& list, const RecordLookup& recordOf,
                              const std::function<void(int percent)>& progress = {},
                              const std::atomic<bool>* stop = nullptr);

// exportKeywordSheet on a thread of its own. The list is the text as it was handed over (a copy
// that later changes do not reach); recordOf is called on that thread.
class SheetExportJob : public QObject
{
    Q_OBJECT
public:
    SheetExportJob(const QString& list, RecordLookup recordOf, QObject* parent = nullptr);
    // Stops a running export and waits for its thread.
    ~SheetExportJob() override;

    void start();
    // Ends a running export without a file and waits for its thread; finished() follows with
    // stopped set, once the event loop runs.
    void stop();
    bool isRunning() const;

Q_SIGNALS:
    // On the thread that owns the job, as the percentage changes.
    void progressChanged(int percent);
    void finished(const ListExport::XlsxResult& result);

private:
    QString list_;
    RecordLookup recordOf_;
    std::atomic<bool> stop_ { false };
    XlsxResult result_;
    std::unique_ptr<QThread> thread_;
};

} // namespace ListExport
