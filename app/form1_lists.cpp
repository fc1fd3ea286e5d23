// The keyword-list handlers of Form1: the hot-word fetch, the five list commands and the two exports.
// Each reads its controls, calls the core for the new list or file, and writes the controls.
#include "app/form1.h"
#include "store/reads.h"

#include "app/form2.h"
#include "app/messagebox.h"
#include "app/sessionkeeper.h"
#include "store/sessionstore.h"
#include "hotwords/hotwords.h"
#include "listtools/export.h"
#include "listtools/listcommands.h"
#include "listtools/sheetexport.h"
#include "platform/inet.h"
#include "platform/listreplace.h"
#include "text/module1.h"

#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString Crlf = u"\r\n"_s;

// The frame of every list command: the button is disabled while the new list is computed and
// written, and enabled again on every path. No new list leaves the box and the clipboard as they were.
template<typename Compute>
void runListCommand(QPushButton* button, QPlainTextEdit* box, Compute compute)
{
    button->setEnabled(false);
    const std::optional<QString> newList = compute(ListReplace::keywordListText(box));
    if (newList)
        ListReplace::replaceKeywordList(box, *newList, ListReplace::Order::EmptyFirst);
    button->setEnabled(true);
}

// Closing the window ends the process at once; a sheet still being written is stopped first, so that
// its temporary file goes and the old sheet stays as it was.
class StopSheetOnClose : public QObject
{
public:
    explicit StopSheetOnClose(ListExport::SheetExportJob* job)
        : QObject(job)
        , job_(job)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            job_->stop();
        return QObject::eventFilter(watched, event);
    }

private:
    ListExport::SheetExportJob* job_;
};

// The failure box of an export ("导出关键词txt失败！", "导出表格失败！"), each folder tried with its reason.
void showExportFailure(QWidget* parent, const QString& what, const QStringList& failures)
{
    MessageBox::show(parent, u"导出"_s, u"导出"_s + what + u"失败！\n" + failures.join(u'\n'), MessageBox::Warning);
}

// The success text of an export; a file written away from the program's directory is named, so that
// the user can find it.
QString exportSuccess(const QString& what, bool fallback, const QString& path)
{
    QString message = u"导出"_s + what + u"成功！";
    if (fallback)
        message += u'\n' + QDir::toNativeSeparators(path);
    return message;
}

} // namespace

void Form1::Command6_Click()
{
    runListCommand(Command6, Text1, [](const QString& list) { return Module1::DistinctLines(list, Crlf); });
}

void Form1::Command2_Click()
{
    runListCommand(Command2, Text1, [](const QString& list) { return Module1::ShuffleLines(list, Crlf); });
}

void Form1::Command15_Click()
{
    runListCommand(Command15, Text1, [this](const QString& list) -> std::optional<QString> {
        // A box without a word leaves the list as it is.
        const WordFilter::Words words = WordFilter::parse(Text9->text());
        if (words.isEmpty())
            return std::nullopt;
        return ListCommands::keepMatching(list, words);
    });
}

void Form1::Command8_Click()
{
    runListCommand(Command8, Text1, [this](const QString& list) -> std::optional<QString> {
        // Every word drops what contains it; a minus is part of the word here.
        const WordFilter::Words words = WordFilter::parse(Text2->text(), false);
        if (words.isEmpty())
            return std::nullopt;
        return ListCommands::dropContainingAny(list, words.required);
    });
}

void Form1::Command13_Click()
{
    runListCommand(Command13, Text1, [this](const QString& list) {
        return ListCommands::keepLongerThan(list, ListCommands::lengthLimitFromText(Text8->text()));
    });
}

void Form1::Command3_Click()
{
    ListCommands::ExportSeparator separator = ListCommands::ExportSeparator::LineBreak;
    if (Option8->isChecked())
        separator = ListCommands::ExportSeparator::Comma;
    else if (Option9->isChecked())
        separator = ListCommands::ExportSeparator::Bar;

    const ExportFile::Result written =
        ExportFile::writeExport(ListCommands::exportBytes(ListReplace::keywordListText(Text1), separator));
    if (!written.ok) {
        showExportFailure(this, u"关键词txt"_s, written.failures);
        return;
    }
    MessageBox::show(this, u"导出"_s, exportSuccess(u"关键词txt"_s, written.fallback, written.path));
}

void Form1::Command16_Click()
{
    // The button is disabled while the sheet is written; a second export meanwhile is refused.
    if (!Command16->isEnabled())
        return;
    Command16->setEnabled(false);
    Command16->setText(u"导出中 0%"_s);
    // The sheet shows the list as it was at the click; the window stays usable while it is written.
    // The records are read on the writer's thread too, from the store's file as it stands now.
    const QString list = ListReplace::keywordListText(Text1);
    const ListExport::RecordLookup recordOf = session_ ? session_->sheetRecords(list) : ListExport::RecordLookup();
    auto* job = new ListExport::SheetExportJob(list, recordOf, this);
    installEventFilter(new StopSheetOnClose(job));
    // "100%" would not fit the button; once the sheet is in place its caption is back anyway.
    connect(job, &ListExport::SheetExportJob::progressChanged, this,
            [this](int percent) { Command16->setText(u"导出中 %1%"_s.arg(qMin(percent, 99))); });
    connect(job, &ListExport::SheetExportJob::finished, this, [this, job](const ListExport::XlsxResult& written) {
        job->deleteLater();
        Command16->setText(u"导出表格"_s);
        Command16->setEnabled(true);
        if (written.stopped)
            return;
        if (!written.ok) {
            showExportFailure(this, u"表格"_s, written.failures);
            return;
        }
        QString message = exportSuccess(u"表格"_s, written.fallback, written.path);
        if (written.shortenedCells > 0)
            message += u"\n有 %1 个单元格超过 %2 个字符，只写入了前 %2 个字符。"_s.arg(
                QString::number(written.shortenedCells), QString::number(ListExport::MaxCellLength));
        if (!written.groupingError.isEmpty())
            message += u"\n没有分出词根（%1），“词根”一列都写作“其他”。"_s.arg(written.groupingError);
        MessageBox::show(this, u"导出"_s, message);
    });
    job->start();
}

Form2* Form1::rootsWindow() const
{
    return form2_.data();
}

void Form1::Command17_Click()
{
    // One window at a time: a second click brings it to the front, and groups the list again only when
    // the tree no longer shows it.
    if (form2_) {
        form2_->showNormal();
        form2_->raise();
        form2_->activateWindow();
        form2_->groupIfStale();
        return;
    }
    // The 出现次数 of the keywords come from the session's records, read on the grouping's thread from
    // the store's file as it stands at the start of each grouping.
    Form2::SeenCounts seenCounts = [this](const QString& list) -> RootGroups::SeenCountLookup {
        if (!session_ || !session_->isOpen())
            return {};
        const std::shared_ptr<Store::ListRecords> records = session_->store().recordsOfList(list);
        if (!records)
            return {};
        return [records](const QString& keyword) -> qint64 {
            const Store::KeywordRecord* found = records->find(keyword);
            return found ? found->seenCount : 0;
        };
    };
    form2_ = new Form2(Text1, seenCounts, this);
    form2_->show();
    form2_->groupList();
}

void Form1::Command10_Click()
{
    Command10->setEnabled(false);
    Command10->setText(u"正在获取.."_s);
    fetchingHotWords_ = true;

    const HotWordSource* source = nullptr;
    for (const HotWordSource& row : HotWords::sources()) {
        const QRadioButton* option = findChild<QRadioButton*>(row.optionName);
        if (option && option->isChecked()) {
            source = &row;
            break;
        }
    }

    HotWords::Fetched fetched;
    if (source) {
        // Other handlers run while the pages are awaited; the window may even be destroyed.
        const QPointer<Form1> alive(this);
        fetched = HotWords::fetch(Inet1, *source);
        if (!alive)
            return;
    }

    // Nothing fetched leaves the list, the clipboard and the record as they were. Read the list only
    // now: other commands may have changed it while the pages were awaited.
    const bool nothing = source && fetched.keywords.isEmpty();
    if (!nothing) {
        // The hot words join the end of the list as one undoable step; the clipboard gets the new list.
        const QString list = ListReplace::keywordListText(Text1);
        ListReplace::extendKeywordList(Text1, HotWords::appendKeywords(list, fetched.keywords), list.size());
    }
    fetchingHotWords_ = false;
    Command10->setText(u"获取"_s);
    Command10->setEnabled(true);
    if (nothing) {
        MessageBox::show(this, u"获取"_s, HotWords::nothingFetchedMessage(*source, fetched.reason),
                         MessageBox::Warning);
        return;
    }
    ExportFile::writeFetchRecord(fetched.keywords);
    if (session_ && source) {
        const QRadioButton* option = findChild<QRadioButton*>(source->optionName);
        session_->recordWords(fetched.keywords.split(u"\r\n"_s, Qt::SkipEmptyParts),
                              option ? option->text() : QString());
    }
}
