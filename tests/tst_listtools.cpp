// The list commands' rules, the length limit, the export bytes and file, the keyword sheet read back
// from its XML, and the five list commands and the two exports clicked on a Form1; 词根分组's intent
// table, roots and groups on small lists.
#include "app/form1.h"
#include "app/messagebox.h"
#include "listtools/export.h"
#include "listtools/listcommands.h"
#include "listtools/rootgroups.h"
#include "listtools/rootlists.h"
#include "listtools/sheetexport.h"
#include "app/sessionkeeper.h"
#include "platform/codepage.h"
#include "platform/datafolder.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/testfiles.h"
#include "support/searchpages.h"
#include "store/sessionstore.h"
#include "text/segmenter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QCheckBox>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

using ListCommands::ExportSeparator;
Q_DECLARE_METATYPE(ExportSeparator)

namespace {

using TestFiles::readFile;
using TestFiles::writeFile;

enum class Command { Distinct, Shuffle, KeepContaining, DropContaining, LongerThan };

// What a dropped path is: a file holding the row's bytes, or one of the things that cannot join.
enum class Dropped { File, Folder, Missing, Oversize };

// A drag from outside the program as the window system delivers it, on the viewport where the box
// takes drops: the drop reaches the widget that accepted the drag's entry. The files are read once
// the drop has been answered.
Qt::DropAction dropOn(QPlainTextEdit* box, QMimeData* mime)
{
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(2, 2), offered, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box->viewport(), &enter);
    QDropEvent drop(QPointF(2, 2), offered, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box->viewport(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

using Records = QHash<QString, ListExport::SheetRecord>;

ListExport::RecordLookup lookupIn(const Records& records)
{
    return [records](const QString& keyword, QString&) -> std::optional<ListExport::SheetRecord> {
        const auto found = records.constFind(keyword);
        if (found == records.constEnd())
            return std::nullopt;
        return *found;
    };
}

QByteArray unzipped(const QString& path, const QString& entry)
{
    QProcess unzip;
    unzip.start(u"unzip"_s, { u"-p"_s, path, entry });
    if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0)
        return "<no " + entry.toUtf8() + ">";
    return unzip.readAllStandardOutput();
}

// The rows of a sheet of the workbook (1 "关键词", 2 "词根") as a spreadsheet shows them: a cell for
// every column, "" where there is none, a text cell as its stored text, a number as "=" and its value,
// with its number format after a blank if it has one. A row out of sequence shows as "row N".
QList<QStringList> sheetRows(const QString& path, int sheetNumber = 1)
{
    const int columns = sheetNumber == 1 ? 10 : 6;
    QHash<QString, QString> formatCodes;
    QStringList styleFormats;
    QXmlStreamReader styles(unzipped(path, u"xl/styles.xml"_s));
    bool inCellStyles = false;
    while (!styles.atEnd()) {
        styles.readNext();
        const auto attributes = styles.attributes();
        if (styles.isStartElement() && styles.name() == u"numFmt")
            formatCodes.insert(attributes.value(u"numFmtId"_s).toString(),
                               attributes.value(u"formatCode"_s).toString());
        else if (styles.name() == u"cellXfs")
            inCellStyles = styles.isStartElement();
        else if (inCellStyles && styles.isStartElement() && styles.name() == u"xf")
            styleFormats.append(formatCodes.value(attributes.value(u"numFmtId"_s).toString()));
    }

    QList<QStringList> rows;
    QXmlStreamReader sheet(unzipped(path, u"xl/worksheets/sheet%1.xml"_s.arg(sheetNumber)));
    while (!sheet.atEnd()) {
        sheet.readNext();
        if (!sheet.isStartElement())
            continue;
        if (sheet.name() == u"row") {
            rows.append(QStringList(columns));
            if (sheet.attributes().value(u"r"_s).toInt() != rows.size())
                rows.last()[0] = u"row "_s + sheet.attributes().value(u"r"_s).toString();
        } else if (sheet.name() == u"c" && !rows.isEmpty()) {
            const QString ref = sheet.attributes().value(u"r"_s).toString();
            const QString type = sheet.attributes().value(u"t"_s).toString();
            const int style = sheet.attributes().value(u"s"_s).toInt();
            QString value;
            while (sheet.readNextStartElement()) {
                if (sheet.name() == u"is")
                    continue; // its <t> follows
                value += sheet.readElementText();
            }
            const int column = ref.front().unicode() - u'A';
            if (column < 0 || column >= columns || ref.mid(1).toInt() != rows.size())
                value = u"cell "_s + ref;
            else if (type != u"inlineStr")
                value
                    = u"="_s + value + (styleFormats.value(style).isEmpty() ? QString() : u" "_s + styleFormats[style]);
            rows.last()[qBound(0, column, columns - 1)] = value;
        }
    }
    if (sheet.hasError())
        rows.append({ u"XML: "_s + sheet.errorString() });
    return rows;
}

QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

#ifdef Q_OS_UNIX
// The folder rules of a user who may not write a folder hold for root only under another user's ID:
// for as long as this lives the process runs as nobody. Root keeps its saved ID to come back to.
class AsOrdinaryUser
{
public:
    AsOrdinaryUser()
    {
        if (::geteuid() == 0)
            switched_ = ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
    }
    ~AsOrdinaryUser()
    {
        if (switched_ && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
            qFatal("cannot become root again");
    }

private:
    bool switched_ = false;
};
#endif

} // namespace

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Dropped)
Q_DECLARE_METATYPE(Records)

class TestListTools : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void trimSpaces_data();
    void trimSpaces();
    void keepContaining_data();
    void keepContaining();
    void dropContaining_data();
    void dropContaining();
    void keepLongerThan_data();
    void keepLongerThan();
    void lengthLimitFromText_data();
    void lengthLimitFromText();
    void exportBytes_data();
    void exportBytes();

    void writeWholeReplacesFile();
    void writeFailureHalfWayKeepsPreviousFile();
    void exportFallsBackToDocuments();

    void listCommands_data();
    void listCommands();
    void emptyFilterLeavesListAndClipboard_data();
    void emptyFilterLeavesListAndClipboard();
    void distinctTwiceChangesNothingMore();

    void exportCommand_data();
    void exportCommand();
    void exportCommandTwiceKeepsSecond();
    void exportCommandToDocuments();
    void exportCommandFailure();

    void arrangedByRoots_data();
    void arrangedByRoots();
    void keywordSheet_data();
    void keywordSheet();
    void sheetOfASession();
    void keywordSheetKeepsOldFile_data();
    void keywordSheetKeepsOldFile();
    void sheetCommand_data();
    void sheetCommand();
    void sheetCommandKeepsWindowResponsive();
    void sheetCommandStopsWhenWindowCloses();

    void dropFile_data();
    void dropFile();
    void dropSeveralFiles();
    void dropTextInsertsAtDropPoint();

    void intentOf_data();
    void intentOf();
    void candidateRoots_data();
    void candidateRoots();
    void rootGroups_data();
    void rootGroups();
    void rootGroupsLinesAndIndex();
    void rootGroupsWithoutLexicon();
    void groupingJob();

private:
    QTemporaryDir dir_;
    QList<MessageBox::Shown> shown_;
};

void TestListTools::init()
{
    QVERIFY(dir_.isValid());
    QDir(dir_.path()).removeRecursively();
    QVERIFY(QDir().mkpath(dir_.path() + u"/program"_s));
    ExportFile::setProgramDirForTesting(dir_.path() + u"/program"_s);
    ExportFile::setDocumentsDirForTesting(dir_.path() + u"/documents"_s);
    shown_.clear();
    MessageBox::setHookForTesting([this](const MessageBox::Shown& box) { shown_.append(box); });
}

void TestListTools::cleanup()
{
    ExportFile::setProgramDirForTesting({});
    ExportFile::setDocumentsDirForTesting({});
    MessageBox::setHookForTesting({});
}

void TestListTools::trimSpaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("spaces both ends") << u"  ab c  "_s << u"ab c"_s;
    QTest::newRow("spaces only") << u"   "_s << QString();
    QTest::newRow("tab stays") << u"\tab "_s << u"\tab"_s;
    QTest::newRow("ideographic space stays") << u" \u3000减肥\u3000 "_s << u"\u3000减肥\u3000"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestListTools::trimSpaces()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ListCommands::trimSpaces(text), expected);
}

void TestListTools::keepContaining_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("case ignored, empty entries go") << u"xABy\r\nab\r\ncd\r\n\r\n"_s << u"ab"_s << u"xABy\r\nab\r\n"_s;
    QTest::newRow("no match") << u"a\r\nb"_s << u"z"_s << QString();
    QTest::newRow("empty list") << QString() << u"a"_s << QString();
    QTest::newRow("chinese") << u"减肥方法\r\n瘦身\r\n快速减肥"_s << u"减肥"_s << u"减肥方法\r\n快速减肥\r\n"_s;
    QTest::newRow("inner space in filter") << u"a b\r\nab"_s << u"a b"_s << u"a b\r\n"_s;
    QTest::newRow("lone LF inside an entry") << u"a\nb\r\nc"_s << u"b"_s << u"a\nb\r\n"_s;
}

void TestListTools::keepContaining()
{
    QFETCH(QString, list);
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(ListCommands::keepContaining(list, filter), expected);
}

void TestListTools::dropContaining_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty last entry survives") << u"a\r\nb\r\n"_s << u"x"_s << u"a\r\nb\r\n\r\n"_s;
    QTest::newRow("case ignored") << u"a1\r\nb2"_s << u"A"_s << u"b2\r\n"_s;
    QTest::newRow("all dropped") << u"ab\r\nba"_s << u"a"_s << QString();
    QTest::newRow("empty list") << QString() << u"a"_s << QString();
    QTest::newRow("chinese") << u"减肥方法\r\n瘦身\r\n\r\n快速减肥"_s << u"减肥"_s << u"瘦身\r\n\r\n"_s;
}

void TestListTools::dropContaining()
{
    QFETCH(QString, list);
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(ListCommands::dropContaining(list, filter), expected);
}

void TestListTools::keepLongerThan_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<qint32>("limit");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0 drops empty entries only") << u"\r\na\r\n\r\n bc\r\n"_s << 0 << u"a\r\n bc\r\n"_s;
    QTest::newRow("2 keeps three chinese characters") << u"减肥\r\n减肥茶\r\nab"_s << 2 << u"减肥茶\r\n"_s;
    QTest::newRow("-1 keeps every entry") << u"a\r\n\r\nb\r\n"_s << -1 << u"a\r\n\r\nb\r\n\r\n"_s;
    QTest::newRow("-1 on empty list") << QString() << -1 << QString();
    QTest::newRow("surrogate pair counts two") << u"😀\r\n减"_s << 1 << u"😀\r\n"_s;
    QTest::newRow("largest limit") << u"abc"_s << std::numeric_limits<qint32>::max() << QString();
}

void TestListTools::keepLongerThan()
{
    QFETCH(QString, list);
    QFETCH(qint32, limit);
    QFETCH(QString, expected);
    QCOMPARE(ListCommands::keepLongerThan(list, limit), expected);
}

void TestListTools::lengthLimitFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("limit");
    QTest::newRow("initial 0") << u"0"_s << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("letters") << u"abc"_s << 0;
    QTest::newRow("2.9 rounds down") << u"2.9"_s << 2;
    QTest::newRow("-0.5 rounds down") << u"-0.5"_s << -1;
    QTest::newRow("-1") << u"-1"_s << -1;
    QTest::newRow("1e99 out of range") << u"1e99"_s << 0;
    QTest::newRow("spaces around") << u" 3 "_s << 3;
    QTest::newRow("largest") << u"2147483647"_s << 2147483647;
    QTest::newRow("one above largest") << u"2147483648"_s << 0;
    QTest::newRow("smallest") << u"-2147483648"_s << std::numeric_limits<qint32>::min();
    QTest::newRow("full-width digits and point") << u"＋２．９"_s << 2;
}

void TestListTools::lengthLimitFromText()
{
    QFETCH(QString, text);
    QFETCH(qint32, limit);
    QCOMPARE(ListCommands::lengthLimitFromText(text), limit);
}

void TestListTools::exportBytes_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<ExportSeparator>("separator");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("line breaks kept") << u"a\r\nb\r\n"_s << ExportSeparator::LineBreak << "a\r\nb\r\n\r\n"_ba;
    QTest::newRow("comma, final break too") << u"a\r\nb\r\n"_s << ExportSeparator::Comma << "a,b,\r\n"_ba;
    QTest::newRow("bar") << u"a\r\nb"_s << ExportSeparator::Bar << "a|b\r\n"_ba;
    QTest::newRow("leading break as comma") << u"\r\na\r\nb\r\n"_s << ExportSeparator::Comma << ",a,b,\r\n"_ba;
    QTest::newRow("empty list, line breaks") << QString() << ExportSeparator::LineBreak << "\r\n"_ba;
    QTest::newRow("empty list, comma") << QString() << ExportSeparator::Comma << "\r\n"_ba;
    QTest::newRow("empty list, bar") << QString() << ExportSeparator::Bar << "\r\n"_ba;
    QTest::newRow("lone CR and LF untouched") << u"a\rb\nc\r\nd"_s << ExportSeparator::Bar << "a\rb\nc|d\r\n"_ba;
    QTest::newRow("chinese in GBK") << u"减肥\r\n关键词"_s << ExportSeparator::Comma
                                    << "\xbc\xf5\xb7\xca,\xb9\xd8\xbc\xfc\xb4\xca\r\n"_ba;
    QTest::newRow("emoji as four bytes") << u"a😀b"_s << ExportSeparator::LineBreak << "a\x94\x39\xfc\x36"
                                                                                         "b\r\n"_ba;
    QTest::newRow("hangul as four bytes") << u"한"_s << ExportSeparator::LineBreak << "\x83\x36\x84\x33\r\n"_ba;
    // A lone surrogate is written as U+FFFD, the replacement character, in its four-byte form.
    QTest::newRow("lone surrogate as U+FFFD") << u"a\xD800\r\n\xDC00" u"b"_s << ExportSeparator::Comma
                                             << "a\x84\x31\xa4\x37,\x84\x31\xa4\x37" "b\r\n"_ba;
}

void TestListTools::exportBytes()
{
    QFETCH(QString, list);
    QFETCH(ExportSeparator, separator);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ListCommands::exportBytes(list, separator), bytes);
}

void TestListTools::writeWholeReplacesFile()
{
    const QString path = dir_.path() + u"/program/关键词.txt"_s;
    writeFile(path, "a much longer earlier content\r\n"_ba);
    QVERIFY(ExportFile::writeWhole(path, "new\r\n"_ba));
    QCOMPARE(readFile(path), "new\r\n"_ba);
    QCOMPARE(QDir(dir_.path() + u"/program"_s).entryList(QDir::Files), QStringList { u"关键词.txt"_s });
}

void TestListTools::writeFailureHalfWayKeepsPreviousFile()
{
#ifdef Q_OS_UNIX
    const QString path = dir_.path() + u"/program/关键词.txt"_s;
    writeFile(path, "previous\r\n"_ba);
    // A file-size limit makes the write fail after its first bytes, as a full disk would.
    rlimit saved {};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    QString error;
    const bool written = ExportFile::writeWhole(path, QByteArray(200000, 'x'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    QVERIFY(!written);
    QCOMPARE(error, u"写入时出错，磁盘可能已满"_s);
    QCOMPARE(readFile(path), "previous\r\n"_ba);
    QCOMPARE(QDir(dir_.path() + u"/program"_s).entryList(QDir::Files), QStringList { u"关键词.txt"_s });
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestListTools::exportFallsBackToDocuments()
{
    // A folder below a plain file can be written by nobody, root included.
    writeFile(dir_.path() + u"/plain"_s, "x"_ba);
    ExportFile::setProgramDirForTesting(dir_.path() + u"/plain/bin"_s);
    const ExportFile::Result result = ExportFile::writeExport("a\r\n"_ba);
    QVERIFY(result.ok);
    QVERIFY(result.fallback);
    QCOMPARE(result.path, dir_.path() + u"/documents/关键词.txt"_s);
    QCOMPARE(readFile(result.path), "a\r\n"_ba);
}

void TestListTools::listCommands_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("input"); // the filter or limit box
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");

    QTest::newRow("distinct, empty list") << Command::Distinct << QString() << QString() << u"\r\n"_s;
    QTest::newRow("distinct") << Command::Distinct << QString() << u"a\r\nb\r\na\r\n"_s << u"\r\na\r\nb\r\n"_s;
    QTest::newRow("distinct keeps case") << Command::Distinct << QString() << u"Abc\r\nabc"_s << u"\r\nAbc\r\nabc\r\n"_s;
    QTest::newRow("shuffle, empty list") << Command::Shuffle << QString() << QString() << QString();
    QTest::newRow("shuffle, one entry") << Command::Shuffle << QString() << u"\r\n减肥\r\n"_s << u"减肥\r\n"_s;
    QTest::newRow("keep containing, case ignored")
        << Command::KeepContaining << u" ab "_s << u"xABy\r\ncd\r\n"_s << u"xABy\r\n"_s;
    QTest::newRow("keep containing, no match") << Command::KeepContaining << u"z"_s << u"a\r\nb"_s << QString();
    const QString diet = u"减肥方法\r\n减肥药方法\r\n\r\n  \r\n瘦身方法\r\n减肥茶"_s;
    QTest::newRow("keep containing, two words") << Command::KeepContaining << u"减肥 方法"_s << diet
                                                << u"减肥方法\r\n减肥药方法\r\n"_s;
    QTest::newRow("keep containing, minus word") << Command::KeepContaining << u"减肥 方法 -药"_s << diet
                                                 << u"减肥方法\r\n"_s;
    QTest::newRow("keep containing, full-width space and minus")
        << Command::KeepContaining << u"减肥\u3000－药"_s << diet << u"减肥方法\r\n减肥茶\r\n"_s;
    QTest::newRow("keep containing, minus words only, blank lines go")
        << Command::KeepContaining << u"-药 －茶"_s << diet << u"减肥方法\r\n瘦身方法\r\n"_s;
    QTest::newRow("keep containing, lone minus is a word") << Command::KeepContaining << u"减肥 -"_s
                                                           << u"减肥-方法\r\n减肥方法\r\n-"_s << u"减肥-方法\r\n"_s;
    QTest::newRow("keep containing, minus word case ignored")
        << Command::KeepContaining << u"-APP"_s << u"减肥app\r\n减肥茶"_s << u"减肥茶\r\n"_s;
    QTest::newRow("keep containing, minus inside a word") << Command::KeepContaining << u"t-shirt"_s
                                                          << u"T-Shirt\r\nshirt"_s << u"T-Shirt\r\n"_s;
    QTest::newRow("drop containing, several words") << Command::DropContaining << u"药 茶　胶囊"_s
                                                    << diet + u"\r\n减肥胶囊"_s << u"减肥方法\r\n\r\n  \r\n瘦身方法\r\n"_s;
    QTest::newRow("drop containing, minus is part of the word")
        << Command::DropContaining << u"-药"_s << u"减肥-药\r\n减肥药"_s << u"减肥药\r\n"_s;
    QTest::newRow("drop containing, empty entry survives")
        << Command::DropContaining << u"x"_s << u"a\r\nb\r\n"_s << u"a\r\nb\r\n\r\n"_s;
    QTest::newRow("drop containing, case ignored") << Command::DropContaining << u"A"_s << u"a1\r\nb"_s << u"b\r\n"_s;
    QTest::newRow("longer than 0") << Command::LongerThan << u"0"_s << u"\r\na\r\n\r\nb\r\n"_s << u"a\r\nb\r\n"_s;
    QTest::newRow("longer than 2") << Command::LongerThan << u"2"_s << u"减肥茶\r\n减肥"_s << u"减肥茶\r\n"_s;
    QTest::newRow("longer than empty box") << Command::LongerThan << QString() << u"a\r\n\r\n"_s << u"a\r\n"_s;
    QTest::newRow("longer than letters") << Command::LongerThan << u"abc"_s << u"a\r\n\r\n"_s << u"a\r\n"_s;
    QTest::newRow("longer than 2.9") << Command::LongerThan << u"2.9"_s << u"abc\r\nab"_s << u"abc\r\n"_s;
    QTest::newRow("longer than -1") << Command::LongerThan << u"-1"_s << u"a\r\n\r\n"_s << u"a\r\n\r\n\r\n"_s;
    QTest::newRow("longer than 1e99") << Command::LongerThan << u"1e99"_s << u"a\r\n\r\n"_s << u"a\r\n"_s;
    QTest::newRow("longer than \" 3 \"") << Command::LongerThan << u" 3 "_s << u"abcd\r\nabc"_s << u"abcd\r\n"_s;
}

void TestListTools::listCommands()
{
    QFETCH(Command, command);
    QFETCH(QString, input);
    QFETCH(QString, list);
    QFETCH(QString, expected);

    Form1 form;
    QPushButton* button = nullptr;
    switch (command) {
    case Command::Distinct: button = form.Command6; break;
    case Command::Shuffle: button = form.Command2; break;
    case Command::KeepContaining: button = form.Command15; form.Text9->setText(input); break;
    case Command::DropContaining: button = form.Command8; form.Text2->setText(input); break;
    case Command::LongerThan: button = form.Command13; form.Text8->setText(input); break;
    }
    form.Text1->setPlainText(list);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);

    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(ListReplace::keywordListText(form.Text1), expected);
    QCOMPARE(QApplication::clipboard()->text(), expected);
    QVERIFY(button->isEnabled());
    QCOMPARE(form.Text1->textCursor().position(), form.Text1->document()->characterCount() - 1);
}

void TestListTools::emptyFilterLeavesListAndClipboard_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QString>("filter");
    QTest::newRow("keep, spaces only") << true << u"   "_s;
    QTest::newRow("keep, empty") << true << QString();
    QTest::newRow("drop, spaces only") << false << u"  "_s;
    QTest::newRow("drop, empty") << false << QString();
    QTest::newRow("keep, full-width spaces only") << true << u"\u3000 \u3000"_s;
    QTest::newRow("drop, full-width spaces only") << false << u"\u3000"_s;
}

void TestListTools::emptyFilterLeavesListAndClipboard()
{
    QFETCH(bool, keep);
    QFETCH(QString, filter);
    Form1 form;
    (keep ? form.Text9 : form.Text2)->setText(filter);
    form.Text1->setPlainText(u"a\r\n\r\nb"_s);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);

    QTest::mouseClick(keep ? form.Command15 : form.Command8, Qt::LeftButton);

    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\n\r\nb"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
    QVERIFY((keep ? form.Command15 : form.Command8)->isEnabled());
}

void TestListTools::distinctTwiceChangesNothingMore()
{
    Form1 form;
    form.Text1->setPlainText(u"a\r\nb\r\na\r\n \r\n"_s);
    QTest::mouseClick(form.Command6, Qt::LeftButton);
    QTest::mouseClick(form.Command6, Qt::LeftButton);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"\r\na\r\nb\r\n"_s);
    // The leading empty line left by the first command goes with the length filter at "0".
    QTest::mouseClick(form.Command13, Qt::LeftButton);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\n"_s);
}

void TestListTools::exportCommand_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Option7") << 7 << u"a\r\nb\r\n"_s << "a\r\nb\r\n\r\n"_ba;
    QTest::newRow("Option8") << 8 << u"a\r\nb\r\n"_s << "a,b,\r\n"_ba;
    QTest::newRow("Option9") << 9 << u"a\r\nb"_s << "a|b\r\n"_ba;
    QTest::newRow("empty list") << 8 << QString() << "\r\n"_ba;
    QTest::newRow("chinese") << 7 << u"减肥"_s << "\xbc\xf5\xb7\xca\r\n"_ba;
}

void TestListTools::exportCommand()
{
    QFETCH(int, option);
    QFETCH(QString, list);
    QFETCH(QByteArray, bytes);
    Form1 form;
    (option == 7 ? form.Option7 : option == 8 ? form.Option8 : form.Option9)->setChecked(true);
    form.Text1->setPlainText(list);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);

    QTest::mouseClick(form.Command3, Qt::LeftButton);

    QCOMPARE(readFile(dir_.path() + u"/program/关键词.txt"_s), bytes);
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].title, u"导出"_s);
    QCOMPARE(shown_[0].text, u"导出关键词txt成功！"_s);
    QCOMPARE(shown_[0].icon, MessageBox::NoIcon);
    QCOMPARE(ListReplace::keywordListText(form.Text1), list);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
    QVERIFY(form.Command3->isEnabled());
    QVERIFY(!QDir(dir_.path() + u"/documents"_s).exists());
}

void TestListTools::exportCommandTwiceKeepsSecond()
{
    Form1 form;
    form.Text1->setPlainText(u"第一次导出的较长内容\r\n第二行"_s);
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    form.Text1->setPlainText(u"b"_s);
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QCOMPARE(readFile(dir_.path() + u"/program/关键词.txt"_s), "b\r\n"_ba);
    QCOMPARE(shown_.size(), 2);
}

void TestListTools::exportCommandToDocuments()
{
    writeFile(dir_.path() + u"/plain"_s, "x"_ba);
    ExportFile::setProgramDirForTesting(dir_.path() + u"/plain/bin"_s);
    Form1 form;
    form.Text1->setPlainText(u"a"_s);

    QTest::mouseClick(form.Command3, Qt::LeftButton);

    const QString written = dir_.path() + u"/documents/关键词.txt"_s;
    QCOMPARE(readFile(written), "a\r\n"_ba);
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].title, u"导出"_s);
    QCOMPARE(shown_[0].text, u"导出关键词txt成功！\n"_s + QDir::toNativeSeparators(written));
    QCOMPARE(shown_[0].icon, MessageBox::NoIcon);
}

void TestListTools::exportCommandFailure()
{
    writeFile(dir_.path() + u"/plain"_s, "x"_ba);
    ExportFile::setProgramDirForTesting(dir_.path() + u"/plain/bin"_s);
    ExportFile::setDocumentsDirForTesting(dir_.path() + u"/plain/documents"_s);
    Form1 form;
    form.Text1->setPlainText(u"a"_s);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);

    QTest::mouseClick(form.Command3, Qt::LeftButton);

    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].title, u"导出"_s);
    QCOMPARE(shown_[0].text,
             u"导出关键词txt失败！\n"_s + QDir::toNativeSeparators(dir_.path() + u"/plain/bin/关键词.txt"_s)
                 + u"：文件夹不存在\n"_s + QDir::toNativeSeparators(dir_.path() + u"/plain/documents/关键词.txt"_s)
                 + u"：文件夹不存在"_s);
    QCOMPARE(shown_[0].icon, MessageBox::Warning);
    QCOMPARE(readFile(dir_.path() + u"/plain"_s), "x"_ba);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
}

void TestListTools::arrangedByRoots_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("order"); // roots, "root/second-level root" for a second-level group
    QTest::addColumn<QString>("expected");

    // 减肥 takes 减肥茶, 减肥药 and their repeat; 瘦身汤 is left to 其他.
    const QString small = u"减肥茶\r\n\r\n瘦身汤\r\n减肥药\r\n减肥茶\r\n  "_s;
    QTest::newRow("order found, blank lines last, no final break added")
        << small << QStringList() << u"减肥茶\r\n减肥药\r\n减肥茶\r\n瘦身汤\r\n\r\n  "_s;
    QTest::newRow("其他 named first still comes last")
        << small << QStringList { u"其他"_s, u"减肥"_s } << u"减肥茶\r\n减肥药\r\n减肥茶\r\n瘦身汤\r\n\r\n  "_s;
    QTest::newRow("final break kept") << u"瘦身汤\r\n减肥药\r\n减肥茶\r\n"_s << QStringList()
                                      << u"减肥药\r\n减肥茶\r\n瘦身汤\r\n"_s;
    QTest::newRow("empty list") << QString() << QStringList() << QString();
    QTest::newRow("only a line break") << u"\r\n"_s << QStringList() << u"\r\n"_s;
    // 减肥 holds six keywords and splits into 茶 and 药; 瘦身 takes the two others.
    const QString split = u"减肥茶多少钱\r\n瘦身汤\r\n减肥药\r\n减肥茶副作用\r\n减肥药价格\r\n减肥茶\r\n瘦身汤做法\r\n"
                          u"减肥茶哪个牌子好\r\n"_s;
    QTest::newRow("second-level groups together")
        << split << QStringList()
        << u"减肥茶多少钱\r\n减肥茶副作用\r\n减肥茶\r\n减肥茶哪个牌子好\r\n减肥药\r\n减肥药价格\r\n瘦身汤\r\n瘦身汤做法\r\n"_s;
    QTest::newRow("groups and second-level groups in the given order")
        << split << QStringList { u"瘦身"_s, u"减肥/药"_s, u"减肥/茶"_s }
        << u"瘦身汤\r\n瘦身汤做法\r\n减肥药\r\n减肥药价格\r\n减肥茶多少钱\r\n减肥茶副作用\r\n减肥茶\r\n减肥茶哪个牌子好\r\n"_s;
    QTest::newRow("groups left out follow the named ones")
        << split << QStringList { u"减肥/药"_s }
        << u"减肥药\r\n减肥药价格\r\n减肥茶多少钱\r\n减肥茶副作用\r\n减肥茶\r\n减肥茶哪个牌子好\r\n瘦身汤\r\n瘦身汤做法\r\n"_s;
}

void TestListTools::arrangedByRoots()
{
    QFETCH(QString, list);
    QFETCH(QStringList, order);
    QFETCH(QString, expected);
    const RootGroups::Grouping grouping = RootGroups::groupKeywords(list, Segmentation::Segmenter::shared());
    QVERIFY(grouping.ok);
    std::vector<RootLists::GroupRef> refs;
    for (const QString& place : order) {
        RootLists::GroupRef ref;
        for (qint32 g = 0; g < qint32(grouping.groups.size()); ++g) {
            if (grouping.groups[size_t(g)].root != place.section(u'/', 0, 0))
                continue;
            ref.group = g;
            const auto& subgroups = grouping.groups[size_t(g)].subgroups;
            for (qint32 s = 0; s < qint32(subgroups.size()); ++s) {
                if (place.contains(u'/') && subgroups[size_t(s)].root == place.section(u'/', 1))
                    ref.subgroup = s;
            }
        }
        QVERIFY2(ref.group >= 0 && (ref.subgroup >= 0) == place.contains(u'/'), qPrintable(place));
        refs.push_back(ref);
    }
    const QString arranged = RootLists::arrangedByRoots(list, grouping, refs);
    QCOMPARE(arranged, expected);
    // Nothing added or lost.
    QStringList before = list.split(u"\r\n"_s);
    QStringList after = arranged.split(u"\r\n"_s);
    before.sort();
    after.sort();
    QCOMPARE(after, before);
}

void TestListTools::keywordSheet_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<QStringList>>("roots"); // the sheet "词根"
    QTest::addColumn<int>("shortened");

    const QDateTime found(QDate(2024, 5, 6), QTime(7, 8, 9));
    const QString at = u"=45418.29732638889 yyyy-mm-dd hh:mm:ss"_s;
    const ListExport::SheetRecord suggestion { u"下拉词"_s, u"减肥"_s, u"减肥"_s, 2, 1, found };
    const ListExport::SheetRecord related { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 3, found };
    const ListExport::SheetRecord hotWord { u"百度今日热词"_s, {}, {}, 0, 0, found };
    const ListExport::SheetRecord dropped { u"文件 词表.txt"_s, {}, {}, 0, 0, found };
    const QString other = u"其他"_s;
    const QStringList typed = { u"自己输入的词"_s, u"手动"_s, {}, {}, {}, {}, {}, other, {}, {} };
    auto manual = [&other](const QString& keyword) {
        return QStringList { keyword, u"手动"_s, {}, {}, {}, {}, {}, other, {}, {} };
    };
    // The sheet "词根" of a list that no root splits: one row, "其他".
    auto onlyOther = [&other](int keywords, int seen, const QString& examples) {
        return QList<QStringList> { { other, {}, u"=%1"_s.arg(keywords), u"=%1"_s.arg(seen), {}, examples } };
    };

    QTest::newRow("suggestion, full record")
        << u"减肥茶"_s << Records { { u"减肥茶"_s, suggestion } }
        << QList<QStringList> { { u"减肥茶"_s, u"下拉词"_s, u"减肥"_s, u"=2"_s, u"减肥"_s, u"=1"_s, at, other, {}, {} } }
        << onlyOther(1, 1, u"减肥茶"_s) << 0;
    QTest::newRow("typed line") << u"自己输入的词"_s << Records {} << QList<QStringList> { typed }
                                << onlyOther(1, 0, u"自己输入的词"_s) << 0;
    QTest::newRow("hot word and dropped file")
        << u"春晚\r\n瘦身"_s << Records { { u"春晚"_s, hotWord }, { u"瘦身"_s, dropped } }
        << QList<QStringList> { { u"春晚"_s, u"百度今日热词"_s, {}, {}, {}, {}, at, other, {}, {} },
                                { u"瘦身"_s, u"文件 词表.txt"_s, {}, {}, {}, {}, at, other, {}, {} } }
        << onlyOther(2, 0, u"春晚、瘦身"_s) << 0;
    QTest::newRow("list order, repeats")
        << u"b\r\na\r\nb"_s << Records { { u"a"_s, related } }
        << QList<QStringList> { manual(u"b"_s),
                                { u"a"_s, u"相关搜索"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=3"_s, at, other, {}, {} },
                                manual(u"b"_s) }
        << onlyOther(2, 3, u"b、a"_s) << 0;
    QTest::newRow("blank lines skipped") << u"\r\na\r\n\r\n  \r\nb\r\n"_s << Records {}
                                         << QList<QStringList> { manual(u"a"_s), manual(u"b"_s) }
                                         << onlyOther(2, 0, u"a、b"_s) << 0;
    QTest::newRow("empty list") << QString() << Records {} << QList<QStringList> {} << QList<QStringList> {} << 0;
    QTest::newRow("spaces and tabs kept")
        << u"  a\tb  \r\n\u3000"_s << Records {}
        << QList<QStringList> { manual(u"  a\tb  "_s), manual(u"\u3000"_s) } << onlyOther(2, 0, u"  a\tb  、\u3000"_s)
        << 0;
    QTest::newRow("characters that XML escapes")
        << u"a&b<c>\"d'e&amp;"_s << Records {} << QList<QStringList> { manual(u"a&b<c>\"d'e&amp;"_s) }
        << onlyOther(1, 0, u"a&b<c>\"d'e&amp;"_s) << 0;
    QTest::newRow("outside the BMP") << u"😀𠀀減"_s << Records {} << QList<QStringList> { manual(u"😀𠀀減"_s) }
                                     << onlyOther(1, 0, u"😀𠀀減"_s) << 0;
    QTest::newRow("lone surrogate") << u"x"_s + QChar(0xd800) + u"y" << Records {}
                                    << QList<QStringList> { manual(u"x\ufffdy"_s) } << onlyOther(1, 0, u"x\ufffdy"_s)
                                    << 0;
    QTest::newRow("control character") << u"x\x01y"_s << Records {} << QList<QStringList> { manual(u"x_x0001_y"_s) }
                                       << onlyOther(1, 0, u"x_x0001_y"_s) << 0;
    QTest::newRow("text like an escape") << u"_x0041_ _x00e9_ _x12_"_s << Records {}
                                         << QList<QStringList> { manual(u"_x005F_x0041_ _x005F_x00e9_ _x12_"_s) }
                                         << onlyOther(1, 0, u"_x005F_x0041_ _x005F_x00e9_ _x12_"_s) << 0;
    // A keyword cut in its row is cut again as the example of its group.
    QTest::newRow("text like an escape at the cell's limit")
        << QString(32760, u'长') + u"_x0041_"_s << Records {}
        << QList<QStringList> { manual(QString(32760, u'长') + u"_x005F_"_s) }
        << onlyOther(1, 0, QString(32760, u'长') + u"_x005F_"_s) << 2;
    QTest::newRow("very long line cut") << QString(40000, u'长') + u"\r\n短"_s << Records {}
                                        << QList<QStringList> { manual(QString(32767, u'长')), manual(u"短"_s) }
                                        << onlyOther(2, 0, QString(32767, u'长')) << 2;
    QTest::newRow("cut before a surrogate pair")
        << QString(32766, u'长') + u"😀x"_s << Records {} << QList<QStringList> { manual(QString(32766, u'长')) }
        << onlyOther(1, 0, QString(32766, u'长')) << 2;
    QTest::newRow("time that a sheet cannot hold")
        << u"x\r\ny"_s
        << Records { { u"x"_s, { u"相关搜索"_s, u"a"_s, u"a"_s, 1, 1, QDateTime() } },
                     { u"y"_s, { u"相关搜索"_s, u"a"_s, u"a"_s, 1, 1, QDateTime(QDate(1850, 1, 1), QTime(0, 0)) } } }
        << QList<QStringList> { { u"x"_s, u"相关搜索"_s, u"a"_s, u"=1"_s, u"a"_s, u"=1"_s, {}, other, {}, {} },
                                { u"y"_s, u"相关搜索"_s, u"a"_s, u"=1"_s, u"a"_s, u"=1"_s, {}, other, {}, {} } }
        << onlyOther(2, 2, u"x、y"_s) << 0;

    // 减肥 takes six keywords and splits into 茶 and 药; 瘦身 ties with 汤 and is the longer root.
    // The intent texts never make roots: 减肥茶多少钱 is 减肥 and 茶 with the intent 价格.
    const ListExport::SheetRecord seenThrice { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 3, found };
    const ListExport::SheetRecord seenTwice { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 2, found };
    auto grouped = [](const QString& keyword, const QString& root, const QString& subRoot, const QString& intent) {
        return QStringList { keyword, u"手动"_s, {}, {}, {}, {}, {}, root, subRoot, intent };
    };
    QTest::newRow("roots, second-level roots and intents")
        << u"减肥茶多少钱\r\n减肥茶哪个牌子好\r\n减肥茶副作用\r\n减肥茶\r\n减肥药\r\n减肥药价格\r\n瘦身汤\r\n"
           u"瘦身汤做法\r\n减肥茶\r\n"_s
        << Records { { u"减肥茶多少钱"_s, seenThrice }, { u"减肥药"_s, seenTwice } }
        << QList<QStringList> {
               { u"减肥茶多少钱"_s, u"相关搜索"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=3"_s, at, u"减肥"_s, u"茶"_s, u"价格"_s },
               grouped(u"减肥茶哪个牌子好"_s, u"减肥"_s, u"茶"_s, u"比较"_s),
               grouped(u"减肥茶副作用"_s, u"减肥"_s, u"茶"_s, u"评价"_s),
               grouped(u"减肥茶"_s, u"减肥"_s, u"茶"_s, {}),
               { u"减肥药"_s, u"相关搜索"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=2"_s, at, u"减肥"_s, u"药"_s, {} },
               grouped(u"减肥药价格"_s, u"减肥"_s, u"药"_s, u"价格"_s),
               grouped(u"瘦身汤"_s, u"瘦身"_s, {}, {}),
               grouped(u"瘦身汤做法"_s, u"瘦身"_s, {}, {}),
               grouped(u"减肥茶"_s, u"减肥"_s, u"茶"_s, {}) }
        << QList<QStringList> { { u"减肥"_s, {}, u"=6"_s, u"=5"_s, u"价格 33%"_s, u"减肥茶多少钱、减肥茶哪个牌子好、减肥茶副作用"_s },
                                { u"减肥"_s, u"茶"_s, u"=4"_s, u"=3"_s, u"价格 25%"_s,
                                  u"减肥茶多少钱、减肥茶哪个牌子好、减肥茶副作用"_s },
                                { u"减肥"_s, u"药"_s, u"=2"_s, u"=2"_s, u"价格 50%"_s, u"减肥药、减肥药价格"_s },
                                { u"瘦身"_s, {}, u"=2"_s, u"=0"_s, {}, u"瘦身汤、瘦身汤做法"_s } }
        << 0;
}

void TestListTools::keywordSheet()
{
    QFETCH(QString, list);
    QFETCH(Records, records);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<QStringList>, roots);
    QFETCH(int, shortened);
    const QString path = dir_.path() + u"/program/关键词.xlsx"_s;
    QList<int> percents;

    const ListExport::XlsxResult result = ListExport::writeKeywordSheet(
        path, list, lookupIn(records), [&percents](int percent) { percents << percent; });

    QVERIFY(result.ok);
    QCOMPARE(result.failures, QStringList());
    QCOMPARE(result.rows, qint64(rows.size()));
    QCOMPARE(result.shortenedCells, qint64(shortened));
    QList<QStringList> read = sheetRows(path);
    QCOMPARE(read.value(0),
             QStringList({ u"关键词"_s, u"来源"_s, u"上级词"_s, u"代数"_s, u"种子词"_s, u"出现次数"_s, u"首次发现"_s,
                           u"词根"_s, u"二级词根"_s, u"意图"_s }));
    read.removeFirst();
    QCOMPARE(read.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        QCOMPARE(read[i], rows[i]);
    QList<QStringList> readRoots = sheetRows(path, 2);
    QCOMPARE(readRoots.value(0),
             QStringList({ u"词根"_s, u"二级词根"_s, u"关键词数"_s, u"出现次数"_s, u"意图"_s, u"示例"_s }));
    readRoots.removeFirst();
    QCOMPARE(readRoots.size(), roots.size());
    for (qsizetype i = 0; i < roots.size(); ++i)
        QCOMPARE(readRoots[i], roots[i]);
    QCOMPARE(unzipped(path, u"xl/workbook.xml"_s).count("<sheet "), 2);
    QVERIFY(unzipped(path, u"xl/workbook.xml"_s).contains("name=\"词根\""));
    // Constant-memory mode writes every text into its cell, none into a shared table.
    QCOMPARE(unzipped(path, u"xl/sharedStrings.xml"_s), "<no xl/sharedStrings.xml>"_ba);
    QCOMPARE(folderEntries(dir_.path() + u"/program"_s), QStringList { u"关键词.xlsx"_s });
    QCOMPARE(percents.value(0), 0);
    QCOMPARE(percents.value(percents.size() - 1), 100);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
}

void TestListTools::keywordSheetKeepsOldFile_data()
{
    QTest::addColumn<QString>("reason"); // empty: stopped, nothing to say
    QTest::newRow("read-only folder") << u"没有写入该文件夹的权限"_s;
    QTest::newRow("disk full") << u"写入时出错，磁盘可能已满"_s;
    QTest::newRow("name taken by a folder") << u"无法替换原有的文件"_s;
    QTest::newRow("more keywords than a sheet holds") << u"关键词超过 1048575 个，一张表格放不下"_s;
    QTest::newRow("records cannot be read") << u"无法从 /数据/session.sqlite 读出关键词的来历：文件已损坏"_s;
    QTest::newRow("stopped") << QString();
}

void TestListTools::keywordSheetKeepsOldFile()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, reason);
    const QString fault = QString::fromLatin1(QTest::currentDataTag());
    const QString folder = dir_.path() + u"/program"_s;
    const QString path = folder + u"/关键词.xlsx"_s;
    if (fault == u"name taken by a folder") {
        QVERIFY(QDir().mkpath(path));
        writeFile(path + u"/inside.txt"_s, "x"_ba);
    } else {
        writeFile(path, "old sheet"_ba);
    }
    QString list = u"减肥茶\r\n瘦身\r\n"_s.repeated(20000);
    std::atomic<bool> stop { false };
    std::function<void(int)> progress;
    ListExport::XlsxResult result;

    if (fault == u"read-only folder") {
        const auto open = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QVERIFY(QFile::setPermissions(dir_.path(), open | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(folder, open));
        {
            const AsOrdinaryUser user;
            result = ListExport::writeKeywordSheet(path, list, {});
        }
        QVERIFY(QFile::setPermissions(folder, open | QFileDevice::WriteOwner));
    } else if (fault == u"disk full") {
        // A file-size limit makes the writes fail part way, as a full disk would.
        rlimit saved {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 65536;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        result = ListExport::writeKeywordSheet(path, list, {});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedHandler);
    } else {
        if (fault == u"more keywords than a sheet holds")
            list = u"a\r\n"_s.repeated(1048576);
        if (fault == u"stopped")
            progress = [&stop](int percent) { stop = percent > 0; };
        ListExport::RecordLookup recordOf;
        if (fault == u"records cannot be read")
            recordOf = [reason](const QString&, QString& failure) -> std::optional<ListExport::SheetRecord> {
                failure = reason;
                return std::nullopt;
            };
        result = ListExport::writeKeywordSheet(path, list, recordOf, progress, &stop);
    }

    QVERIFY(!result.ok);
    QCOMPARE(result.stopped, reason.isEmpty());
    if (fault == u"records cannot be read")
        QCOMPARE(result.failures, QStringList { reason });
    else
        QCOMPARE(result.failures,
                 reason.isEmpty() ? QStringList() : QStringList { QDir::toNativeSeparators(path) + u"："_s + reason });
    if (fault == u"name taken by a folder")
        QCOMPARE(folderEntries(path), QStringList { u"inside.txt"_s });
    else
        QCOMPARE(readFile(path), "old sheet"_ba);
    QCOMPARE(folderEntries(folder), QStringList { u"关键词.xlsx"_s });
#else
    QSKIP("needs POSIX file limits");
#endif
}

void TestListTools::sheetCommand_data()
{
    QTest::addColumn<QString>("programDir"); // below dir_
    QTest::addColumn<QString>("documentsDir");
    QTest::addColumn<QString>("written"); // empty: nothing written
    QTest::addColumn<QString>("text");
    const QString plain = u"/plain/bin/关键词.xlsx"_s;
    QTest::newRow("program folder") << u"/program"_s << u"/documents"_s << u"/program/关键词.xlsx"_s
                                    << u"导出表格成功！"_s;
    QTest::newRow("documents folder") << u"/plain/bin"_s << u"/documents"_s << u"/documents/关键词.xlsx"_s
                                      << u"导出表格成功！\n%1/documents/关键词.xlsx"_s;
    QTest::newRow("neither") << u"/plain/bin"_s << u"/plain/documents"_s << QString()
                             << u"导出表格失败！\n%1/plain/bin/关键词.xlsx：文件夹不存在\n"
                                u"%1/plain/documents/关键词.xlsx：文件夹不存在"_s;
    // The session is kept, but its file has gone: no folder is tried, no row written as 手动.
    QTest::newRow("records cannot be read") << u"/program"_s << u"/documents"_s << QString()
                                            << u"导出表格失败！\n无法从 %1/data/session.sqlite 读出关键词的来历：文件不存在"_s;
    QTest::newRow("records still waiting to be saved")
        << u"/program"_s << u"/documents"_s << QString()
        << u"导出表格失败！\n无法从 %1/data/session.sqlite 读出关键词的来历：磁盘已满"_s;
}

void TestListTools::sheetCommand()
{
    QFETCH(QString, programDir);
    QFETCH(QString, documentsDir);
    QFETCH(QString, written);
    QFETCH(QString, text);
    // A folder below a plain file can be written by nobody, root included.
    writeFile(dir_.path() + u"/plain"_s, "x"_ba);
    ExportFile::setProgramDirForTesting(dir_.path() + programDir);
    ExportFile::setDocumentsDirForTesting(dir_.path() + documentsDir);
    DataFolder::setPathForTesting(dir_.path() + u"/data"_s);
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    Form1 form;
    const auto noFault = qScopeGuard([] { Store::SessionStore::setCommitFaultForTesting({}); });
    if (QByteArray(QTest::currentDataTag()).startsWith("records")) {
        form.keepSession();
        form.show();
        QTRY_VERIFY(form.session()->isOpen());
        if (QTest::currentDataTag() == "records cannot be read"_ba) {
            QVERIFY(QFile::rename(dir_.path() + u"/data/session.sqlite"_s, dir_.path() + u"/data/moved.sqlite"_s));
        } else {
            Store::SessionStore::setCommitFaultForTesting([] { return 13; });
            form.session()->saveNow();
            QTRY_COMPARE(shown_.size(), 1);
            shown_.clear();
        }
    }
    form.Text1->setPlainText(u"减肥\r\n\r\n瘦身 茶&"_s);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);

    QTest::mouseClick(form.Command16, Qt::LeftButton);
    QVERIFY(!form.Command16->isEnabled());
    QVERIFY(form.Command16->text().startsWith(u"导出中 "_s));

    QTRY_COMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].title, u"导出"_s);
    QCOMPARE(shown_[0].text, text.arg(QDir::toNativeSeparators(dir_.path())));
    QCOMPARE(shown_[0].icon, written.isEmpty() ? MessageBox::Warning : MessageBox::NoIcon);
    if (!written.isEmpty()) {
        const QList<QStringList> rows = sheetRows(dir_.path() + written);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1], QStringList({ u"减肥"_s, u"手动"_s, {}, {}, {}, {}, {}, u"其他"_s, {}, {} }));
        QCOMPARE(rows[2], QStringList({ u"瘦身 茶&"_s, u"手动"_s, {}, {}, {}, {}, {}, u"其他"_s, {}, {} }));
        QCOMPARE(folderEntries(QFileInfo(dir_.path() + written).path()), QStringList { u"关键词.xlsx"_s });
    } else if (QDir(dir_.path() + programDir).exists()) {
        QCOMPARE(folderEntries(dir_.path() + programDir), QStringList());
    }
    QVERIFY(form.Command16->isEnabled());
    QCOMPARE(form.Command16->text(), u"导出表格"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"减肥\r\n\r\n瘦身 茶&"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
}

void TestListTools::sheetCommandKeepsWindowResponsive()
{
    Form1 form;
    form.Text1->setPlainText(u"第一个词\r\n"_s + u"减肥茶\r\n瘦身\r\n"_s.repeated(150000));

    QTest::mouseClick(form.Command16, Qt::LeftButton);
    // While the sheet is written the window takes typing, a second export is refused, and the
    // caption counts up.
    form.Command16_Click();
    form.Text1->moveCursor(QTextCursor::Start);
    QTest::keyClicks(form.Text1, u"x"_s);
    QStringList captions { form.Command16->text() };
    QElapsedTimer waited;
    waited.start();
    while (shown_.isEmpty() && waited.elapsed() < 60000) {
        QTest::qWait(2);
        if (shown_.isEmpty() && captions.last() != form.Command16->text())
            captions << form.Command16->text();
    }

    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].text, u"导出表格成功！"_s);
    QVERIFY(ListReplace::keywordListText(form.Text1).startsWith(u"x第一个词\r\n"_s));
    QVERIFY2(captions.size() >= 3 && captions.first() == u"导出中 0%"_s
                 && captions.filter(u"导出中 "_s).size() == captions.size(),
             qPrintable(captions.join(u", "_s)));
    const QList<QStringList> rows = sheetRows(dir_.path() + u"/program/关键词.xlsx"_s);
    QCOMPARE(rows.size(), 300002);
    QCOMPARE(rows[1].value(0), u"第一个词"_s);
}

void TestListTools::sheetCommandStopsWhenWindowCloses()
{
    const QString folder = dir_.path() + u"/program"_s;
    writeFile(folder + u"/关键词.xlsx"_s, "old sheet"_ba);
    Form1 form;
    form.Text1->setPlainText(u"减肥茶\r\n瘦身\r\n"_s.repeated(150000));

    QTest::mouseClick(form.Command16, Qt::LeftButton);
    QTRY_VERIFY(form.Command16->text() != u"导出中 0%"_s);
    QVERIFY(form.Command16->text().startsWith(u"导出中 "_s));
    form.close();
    QTest::qWait(200);

    QVERIFY(shown_.isEmpty());
    QCOMPARE(readFile(folder + u"/关键词.xlsx"_s), "old sheet"_ba);
    QCOMPARE(folderEntries(folder), QStringList { u"关键词.xlsx"_s });
}

void TestListTools::dropFile_data()
{
    QTest::addColumn<Dropped>("dropped");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("reason"); // empty: no message box

    const QString none;
    QTest::newRow("GBK") << Dropped::File << "\xbc\xf5\xb7\xca\r\n\xb9\xd8\xbc\xfc\xb4\xca\r\n"_ba << u"a"_s
                         << u"a\r\n减肥\r\n关键词\r\n"_s << none;
    QTest::newRow("UTF-8") << Dropped::File << "\xe5\x87\x8f\xe8\x82\xa5\n\xe7\x98\xa6"_ba << QString()
                           << u"减肥\r\n瘦\r\n"_s << none;
    QTest::newRow("UTF-8 with BOM") << Dropped::File << "\xef\xbb\xbf\xe5\x87\x8f\r\n"_ba << u"a\r\n"_s
                                    << u"a\r\n减\r\n"_s << none;
    QTest::newRow("UTF-16 LE with BOM") << Dropped::File << "\xff\xfe\xcf\x51\xa5\x80\r\0\n\0"_ba << u"a"_s
                                        << u"a\r\n减肥\r\n"_s << none;
    QTest::newRow("UTF-16 BE with BOM") << Dropped::File << "\xfe\xff\x51\xcf\0\n\0b"_ba << QString()
                                        << u"减\r\nb\r\n"_s << none;
    QTest::newRow("mixed line endings") << Dropped::File << "a\r\nb\nc\rd\r\n\re"_ba << QString()
                                        << u"a\r\nb\r\nc\r\nd\r\n\r\ne\r\n"_s << none;
    QTest::newRow("no final line break") << Dropped::File << "x"_ba << u"a\r\nb"_s << u"a\r\nb\r\nx\r\n"_s << none;
    QTest::newRow("invalid bytes decode on")
        << Dropped::File << "\xbc\xf5\xff\xb7\xca"_ba << QString() << u"减\uFFFD肥\r\n"_s << none;
    // UTF-8 with a few invalid sequences stays UTF-8, each sequence one U+FFFD.
    QTest::newRow("UTF-8 cut mid-character")
        << Dropped::File << "\xe5\x87\x8f\xe8\x82\xa5\r\n\xe6\x95"_ba << QString() << u"减肥\r\n\uFFFD\r\n"_s << none;
    QTest::newRow("UTF-8 with one Latin-1 byte") << Dropped::File << "\xe5\x87\x8f\xe8\x82\xa5\r\ncaf\xe9\r\n"_ba
                                                 << QString() << u"减肥\r\ncaf\uFFFD\r\n"_s << none;
    QTest::newRow("UTF-8 with a truncated four-byte character")
        << Dropped::File << "\xe7\x98\xa6\xf0\x9f\x98 \xe8\x82\xa5"_ba << QString() << u"瘦\uFFFD 肥\r\n"_s << none;
    // Valid UTF-8 too, but of rare scripts ("ѧϰ\r\nС˵", "һ"): GBK reads as Chinese.
    QTest::newRow("short GBK valid as UTF-8")
        << Dropped::File << "\xd1\xa7\xcf\xb0\r\n\xd0\xa1\xcb\xb5"_ba << QString() << u"学习\r\n小说\r\n"_s << none;
    QTest::newRow("GBK 一 alone") << Dropped::File << "\xd2\xbb"_ba << u"a"_s << u"a\r\n一\r\n"_s << none;
    // 0x80 is the euro sign of Windows' GBK, as the export writes it.
    QTest::newRow("GBK with 0x80") << Dropped::File << "\xbc\xdb\xb8\xf1\x80\r\n5\x80\r\n"_ba << QString()
                                   << u"价格€\r\n5€\r\n"_s << none;
    QTest::newRow("GB18030 four-byte form cut at the end")
        << Dropped::File << "\x94\x39\xfc\x36\r\nab\x81\x30"_ba << QString() << u"😀\r\nab\uFFFD\r\n"_s << none;
    QTest::newRow("UTF-16 LE without BOM")
        << Dropped::File << "\xcf\x51\xa5\x80\r\0\n\0a\0b\0\r\0\n\0"_ba << u"x"_s << u"x\r\n减肥\r\nab\r\n"_s << none;
    QTest::newRow("UTF-16 BE without BOM") << Dropped::File << "\x51\xcf\x80\xa5\0\r\0\n\0a\0b"_ba << QString()
                                           << u"减肥\r\nab\r\n"_s << none;
    QTest::newRow("NUL in every other byte, odd length") << Dropped::File << "a\0b\0c"_ba << u"a"_s << u"a"_s
                                                         << u"不是文本文件（含有空字节）"_s;
    QTest::newRow("empty file") << Dropped::File << QByteArray() << u"a"_s << u"a"_s << none;
    QTest::newRow("binary") << Dropped::File << "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"_ba << u"a"_s << u"a"_s
                            << u"不是文本文件（含有空字节）"_s;
    QTest::newRow("folder") << Dropped::Folder << QByteArray() << u"a"_s << u"a"_s << u"这是文件夹，不是文件"_s;
    QTest::newRow("missing") << Dropped::Missing << QByteArray() << u"a"_s << u"a"_s << u"无法读取这个文件"_s;
    QTest::newRow("over 256 MiB") << Dropped::Oversize << QByteArray() << u"a"_s << u"a"_s << u"文件超过 256 MB"_s;
}

void TestListTools::dropFile()
{
    QFETCH(Dropped, dropped);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, list);
    QFETCH(QString, expected);
    QFETCH(QString, reason);
    const QString path = dir_.path() + u"/词表.txt"_s;
    if (dropped == Dropped::File)
        writeFile(path, bytes);
    else if (dropped == Dropped::Folder)
        QVERIFY(QDir().mkpath(path));
    else if (dropped == Dropped::Oversize) {
        QFile file(path); // sparse: nothing of it is ever written or read
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(256 * 1024 * 1024 + 1));
    }
    Form1 form;
    form.Text1->setPlainText(list);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(path) });

    QCOMPARE(dropOn(form.Text1, &mime), Qt::CopyAction);

    QCOMPARE(ListReplace::keywordListText(form.Text1), expected);
    QCOMPARE(QApplication::clipboard()->text(), reason.isEmpty() ? expected : u"剪贴板原文"_s);
    // The caret stays where setPlainText left it, at the start; in an empty list that is the end,
    // and the caret follows the new lines.
    const int end = form.Text1->document()->characterCount() - 1;
    QCOMPARE(form.Text1->textCursor().position(), list.isEmpty() ? end : 0);
    if (reason.isEmpty()) {
        QVERIFY(shown_.isEmpty());
    } else {
        QCOMPARE(shown_.size(), 1);
        QCOMPARE(shown_[0].title, u"导入"_s);
        QCOMPARE(shown_[0].text, u"以下文件没有导入：\n"_s + QDir::toNativeSeparators(path) + u"："_s + reason);
    }
    // One undo takes the whole drop back, and nothing is left to undo.
    form.Text1->undo();
    QCOMPARE(ListReplace::keywordListText(form.Text1), list);
    QVERIFY(!form.Text1->document()->isUndoAvailable());
}

void TestListTools::dropSeveralFiles()
{
    const QString gbk = dir_.path() + u"/a.txt"_s;
    const QString utf8 = dir_.path() + u"/b.txt"_s;
    const QString binary = dir_.path() + u"/c.bin"_s;
    writeFile(gbk, "\xbc\xf5\xb7\xca"_ba);
    writeFile(utf8, "\xe7\x98\xa6\r\n"_ba);
    writeFile(binary, "x\0y"_ba);
    Form1 form;
    form.Text1->setPlainText(u"a\r\n"_s);
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(utf8), QUrl::fromLocalFile(binary), QUrl::fromLocalFile(dir_.path()),
                   QUrl::fromLocalFile(gbk) });

    dropOn(form.Text1, &mime);

    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\n瘦\r\n减肥\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"a\r\n瘦\r\n减肥\r\n"_s);
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].text, u"以下文件没有导入：\n"_s + QDir::toNativeSeparators(binary) + u"：不是文本文件（含有空字节）\n"_s
                                 + QDir::toNativeSeparators(dir_.path()) + u"：这是文件夹，不是文件"_s);
    QCOMPARE(shown_[0].icon, MessageBox::Warning);
}

void TestListTools::dropTextInsertsAtDropPoint()
{
    Form1 form;
    form.Text1->setPlainText(u"a\r\nb"_s);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);
    QMimeData mime;
    mime.setText(u"新词"_s);

    dropOn(form.Text1, &mime);

    QCOMPARE(ListReplace::keywordListText(form.Text1), u"新词a\r\nb"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
    QVERIFY(shown_.isEmpty());
}

void TestListTools::sheetOfASession()
{
    // A run with suggestions, a hot-word list, a dropped file and a typed line, then 导出表格.
    FakeHttpServer server;
    QVERIFY(server.start());
    server.useAsApplicationProxy();
    server.setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        const QString path = request.url.path();
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        if (path == u"/sugrec") {
            response.contentType = "application/json";
            response.body = keyword == u"减肥" ? R"({"q":"减肥","g":[{"type":"sug","q":"减肥茶"},{"type":"sug","q":"减肥餐"}]})"
                                              : R"({"q":"x","g":[]})";
        } else if (path == u"/s") {
            response.body = SearchPages::resultPage(keyword == u"减肥"       ? QStringList { u"减肥方法"_s, u"减肥餐"_s }
                                                        : keyword == u"减肥方法" ? QStringList { u"减肥餐"_s, u"快速减肥方法"_s }
                                                                                 : QStringList {});
        } else if (path == u"/api/board") {
            response.contentType = "application/json";
            response.body = R"({"success":true,"data":{"cards":[{"content":[{"word":"春晚节目单"}]}]}})";
        } else {
            response.status = 404;
        }
        return response;
    });
    QTemporaryDir data;
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    Form1 form;
    form.keepSession();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY(form.session()->isOpen());
    form.Text1->setPlainText(u"自己输入的词"_s);
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"减肥"_s);
    form.Check1->setChecked(true);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    form.Command4->click();
    form.Option3->setChecked(true);
    form.Command10->click();
    const QString file = dir_.filePath(u"词表.txt"_s);
    writeFile(file, CodePage::toGbk(u"瘦身汤\r\n"_s));
    auto* mime = new QMimeData;
    mime->setUrls({ QUrl::fromLocalFile(file) });
    QCOMPARE(dropOn(form.Text1, mime), Qt::CopyAction);
    delete mime;
    QCOMPARE(ListReplace::keywordListText(form.Text1),
             u"自己输入的词\r\n减肥方法\r\n减肥餐\r\n减肥茶\r\n快速减肥方法\r\n春晚节目单\r\n瘦身汤\r\n"_s);

    shown_.clear();
    QTest::mouseClick(form.Command16, Qt::LeftButton);
    QTRY_COMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].text, u"导出表格成功！"_s);
    QList<QStringList> rows = sheetRows(dir_.path() + u"/program/关键词.xlsx"_s);
    QCOMPARE(rows.size(), 8);
    // The times are the moment each was found: between the click and now.
    for (qsizetype i = 1; i < rows.size(); ++i) {
        QStringList& row = rows[i];
        if (row[6].isEmpty())
            continue;
        const double days = row[6].section(u' ', 0, 0).mid(1).toDouble();
        const QDateTime at = QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addMSecs(qint64(days * 86400000.0));
        QVERIFY2(at >= before.addSecs(-1) && at <= QDateTime::currentDateTime().addSecs(1), qPrintable(row[6]));
        row[6] = u"time "_s + row[6].section(u' ', 1);
    }
    const QString at = u"time yyyy-mm-dd hh:mm:ss"_s;
    QCOMPARE(rows[0], ListExport::sheetHeader());
    // 减肥 takes the four keywords that hold it (方法 is an intent, never a root); no root of the other
    // three is shared, and none of 减肥's own is shared either, so it has no second-level roots.
    const QString other = u"其他"_s;
    QCOMPARE(rows[1], QStringList({ u"自己输入的词"_s, u"手动"_s, {}, {}, {}, {}, {}, other, {}, {} }));
    QCOMPARE(rows[2], QStringList({ u"减肥方法"_s, u"相关搜索"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=1"_s, at,
                                    u"减肥"_s, {}, u"方法"_s }));
    // 减肥餐: on the seed page and in its suggestions (one page), and on 减肥方法's page again.
    QCOMPARE(rows[3], QStringList({ u"减肥餐"_s, u"相关搜索"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=2"_s, at,
                                    u"减肥"_s, {}, {} }));
    QCOMPARE(rows[4], QStringList({ u"减肥茶"_s, u"下拉词"_s, u"减肥"_s, u"=1"_s, u"减肥"_s, u"=1"_s, at,
                                    u"减肥"_s, {}, {} }));
    QCOMPARE(rows[5], QStringList({ u"快速减肥方法"_s, u"相关搜索"_s, u"减肥方法"_s, u"=2"_s, u"减肥"_s, u"=1"_s, at,
                                    u"减肥"_s, {}, u"方法"_s }));
    QCOMPARE(rows[6], QStringList({ u"春晚节目单"_s, u"百度今日热词"_s, {}, {}, {}, {}, at, other, {}, {} }));
    QCOMPARE(rows[7], QStringList({ u"瘦身汤"_s, u"文件 词表.txt"_s, {}, {}, {}, {}, at, other, {}, {} }));
    // The sheet "词根" sums the records' 出现次数: 1 + 2 + 1 + 1 for 减肥.
    const QList<QStringList> roots = sheetRows(dir_.path() + u"/program/关键词.xlsx"_s, 2);
    QCOMPARE(roots.size(), 3);
    QCOMPARE(roots[1], QStringList({ u"减肥"_s, {}, u"=4"_s, u"=5"_s, u"方法 50%"_s, u"减肥方法、减肥餐、减肥茶"_s }));
    QCOMPARE(roots[2], QStringList({ other, {}, u"=3"_s, u"=0"_s, {}, u"自己输入的词、春晚节目单、瘦身汤"_s }));
}

void TestListTools::intentOf_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("intent");
    const QList<std::pair<QString, QString>> rows {
        { u"多少钱"_s, u"价格"_s },   { u"价格"_s, u"价格"_s },     { u"价钱"_s, u"价格"_s },
        { u"报价"_s, u"价格"_s },     { u"费用"_s, u"价格"_s },     { u"收费"_s, u"价格"_s },
        { u"价位"_s, u"价格"_s },     { u"便宜"_s, u"价格"_s },     { u"哪个好"_s, u"比较"_s },
        { u"哪家好"_s, u"比较"_s },   { u"哪里好"_s, u"比较"_s },   { u"哪个牌子"_s, u"比较"_s },
        { u"什么牌子"_s, u"比较"_s }, { u"哪种"_s, u"比较"_s },     { u"排名"_s, u"比较"_s },
        { u"排行"_s, u"比较"_s },     { u"对比"_s, u"比较"_s },     { u"区别"_s, u"比较"_s },
        { u"推荐"_s, u"比较"_s },     { u"十大"_s, u"比较"_s },     { u"怎么样"_s, u"评价"_s },
        { u"好不好"_s, u"评价"_s },   { u"好吗"_s, u"评价"_s },     { u"靠谱"_s, u"评价"_s },
        { u"评价"_s, u"评价"_s },     { u"口碑"_s, u"评价"_s },     { u"效果"_s, u"评价"_s },
        { u"副作用"_s, u"评价"_s },   { u"怎么"_s, u"方法"_s },     { u"如何"_s, u"方法"_s },
        { u"方法"_s, u"方法"_s },     { u"教程"_s, u"方法"_s },     { u"步骤"_s, u"方法"_s },
        { u"技巧"_s, u"方法"_s },     { u"攻略"_s, u"方法"_s },     { u"是什么"_s, u"定义"_s },
        { u"什么意思"_s, u"定义"_s }, { u"含义"_s, u"定义"_s },     { u"原因"_s, u"定义"_s },
        { u"为什么"_s, u"定义"_s },   { u"哪里"_s, u"地点"_s },     { u"附近"_s, u"地点"_s },
        { u"地址"_s, u"地点"_s },     { u"在哪"_s, u"地点"_s },     { u"下载"_s, u"资源"_s },
        { u"图片"_s, u"资源"_s },     { u"视频"_s, u"资源"_s },     { u"官网"_s, u"资源"_s },
        { u"电话"_s, u"资源"_s },     { u"大全"_s, u"资源"_s },     { u"免费"_s, u"资源"_s },
    };
    for (const auto& [text, intent] : rows)
        QTest::addRow("%s", qPrintable(text)) << u"减肥茶"_s + text + u"吗"_s << intent;
    // The first row that matches wins, whatever comes first in the keyword.
    QTest::newRow("哪里好 before 哪里") << u"北京哪里好玩"_s << u"比较"_s;
    QTest::newRow("怎么样 before 怎么") << u"减肥茶怎么样"_s << u"评价"_s;
    QTest::newRow("price row before method row") << u"怎么买便宜"_s << u"价格"_s;
    QTest::newRow("什么 alone is none") << u"吃什么减肥"_s << QString();
    QTest::newRow("none") << u"减肥茶"_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("text cut by a space") << u"多少 钱"_s << QString();
}

void TestListTools::intentOf()
{
    QFETCH(QString, keyword);
    QFETCH(QString, intent);
    QCOMPARE(RootGroups::intentOf(keyword), intent);
}

void TestListTools::candidateRoots_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("roots");
    // Intent texts go before segmentation: 多少钱 alone would come out as 多 / 少钱.
    QTest::newRow("price text taken out whole") << u"减肥茶多少钱一盒"_s << QStringList { u"减肥"_s, u"茶"_s, u"一盒"_s };
    QTest::newRow("longest text first") << u"怎么样减肥"_s << QStringList { u"减肥"_s };
    QTest::newRow("哪个牌子 out, 好 a stop character") << u"哪个牌子好"_s << QStringList();
    QTest::newRow("stop character") << u"减肥的方法"_s << QStringList { u"减肥"_s };
    QTest::newRow("stop characters only") << u"的了吗"_s << QStringList();
    QTest::newRow("numbers with their unit") << u"2024年一个月瘦10斤"_s << QStringList { u"个月"_s, u"瘦"_s };
    QTest::newRow("single Latin letter") << u"x 减肥"_s << QStringList { u"减肥"_s };
    QTest::newRow("Latin in lower case, model and name") << u"iPhone13 多少钱"_s
                                                        << QStringList { u"iphone"_s, u"iphone13"_s };
    QTest::newRow("full-width Latin") << u"ＡＢＣ减肥"_s << QStringList { u"abc"_s, u"减肥"_s };
    QTest::newRow("mixed word of the lexicon") << u"b超多少钱"_s << QStringList { u"b超"_s };
    QTest::newRow("meaningful single characters") << u"减肥餐 减肥茶"_s << QStringList { u"减肥"_s, u"餐"_s, u"茶"_s };
    QTest::newRow("punctuation only") << u"，。！?!"_s << QStringList();
    QTest::newRow("lone surrogate and NUL cut words") << u"减肥\xD800茶\u0000餐"_s
                                                      << QStringList { u"减肥"_s, u"茶"_s, u"餐"_s };
    QTest::newRow("blank") << u"   "_s << QStringList();
}

void TestListTools::candidateRoots()
{
    QFETCH(QString, keyword);
    QFETCH(QStringList, roots);
    const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
    QVERIFY2(segmenter.available(), qPrintable(segmenter.errorText()));
    QCOMPARE(RootGroups::candidateRoots(keyword, segmenter), roots);
}

namespace {

// The tree as lines, "root|keywords|出现次数|intent|the keywords", second-level groups indented.
QStringList treeLines(const RootGroups::Grouping& grouping)
{
    QStringList lines;
    const std::function<void(const RootGroups::Group&, const QString&)> add = [&](const RootGroups::Group& group,
                                                                                  const QString& indent) {
        QStringList keywords;
        for (qint32 k : group.keywords)
            keywords += grouping.keywords[k];
        lines += indent + group.root + u'|' + QString::number(group.keywordCount()) + u'|'
            + QString::number(group.seenCount) + u'|' + group.intent + u'|' + keywords.join(u"、"_s);
        QCOMPARE(group.isOther, group.root == u"其他"_s);
        for (const RootGroups::Group& subgroup : group.subgroups)
            add(subgroup, indent + u"  "_s);
    };
    for (const RootGroups::Group& group : grouping.groups)
        add(group, QString());
    return lines;
}

// The sheet's columns of each keyword: "keyword|词根|二级词根|意图".
QStringList sheetLines(const RootGroups::Grouping& grouping)
{
    QStringList lines;
    for (qint32 k = 0; k < grouping.keywords.size(); ++k)
        lines += grouping.keywords[k] + u'|' + grouping.rootOf(k) + u'|' + grouping.subRootOf(k) + u'|'
            + grouping.intentOfKeyword(k);
    return lines;
}

qint64 seenInTests(const QString& keyword)
{
    static const QHash<QString, qint64> seen { { u"减肥茶哪个牌子好"_s, 5 }, { u"减肥药副作用"_s, 2 },
                                               { u"跑步机"_s, 7 },          { u"iPhone13多少钱"_s, 3 } };
    return seen.value(keyword);
}

} // namespace

void TestListTools::rootGroups_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("commonRoot");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("sheet");

    // 减肥 takes five keywords, 瘦身 two of the three left; inside 减肥, 茶 then 药. 比较 and 评价
    // have two keywords each in 减肥: the row that comes first in the table wins.
    QTest::newRow("groups, second level and 其他")
        << u"减肥茶哪个牌子好\r\n减肥茶副作用\r\n减肥药副作用\r\n减肥茶多少钱\r\n减肥药哪个牌子好\r\n瘦身方法\r\n产后瘦身\r\n"
           u"跑步机"_s
        << QString()
        << QStringList { u"减肥|5|7|比较 40%|减肥茶哪个牌子好、减肥茶副作用、减肥药副作用、减肥茶多少钱、减肥药哪个牌子好"_s,
                         u"  茶|3|5|价格 33%|减肥茶哪个牌子好、减肥茶副作用、减肥茶多少钱"_s,
                         u"  药|2|2|比较 50%|减肥药副作用、减肥药哪个牌子好"_s,
                         u"瘦身|2|0|方法 50%|瘦身方法、产后瘦身"_s, u"其他|1|7||跑步机"_s }
        << QStringList { u"减肥茶哪个牌子好|减肥|茶|比较"_s, u"减肥茶副作用|减肥|茶|评价"_s,
                         u"减肥药副作用|减肥|药|评价"_s,     u"减肥茶多少钱|减肥|茶|价格"_s,
                         u"减肥药哪个牌子好|减肥|药|比较"_s, u"瘦身方法|瘦身||方法"_s,
                         u"产后瘦身|瘦身||"_s,               u"跑步机|其他||"_s };
    QTest::newRow("letter case, duplicates and blank lines")
        << u"iPhone13多少钱\r\n\r\n  \r\nIPHONE13多少钱\r\niphone12价格\r\n 减肥茶\r\n减肥茶 \r\nIPhone13多少钱\r\n"_s
        << QString() << QStringList { u"iphone|2|3|价格 100%|iPhone13多少钱、iphone12价格"_s, u"其他|1|0|| 减肥茶"_s }
        << QStringList { u"iPhone13多少钱|iphone||价格"_s, u"iphone12价格|iphone||价格"_s, u" 减肥茶|其他||"_s };
    QTest::newRow("one keyword has no common root")
        << u"减肥茶哪个牌子好"_s << QString() << QStringList { u"其他|1|5|比较 100%|减肥茶哪个牌子好"_s }
        << QStringList { u"减肥茶哪个牌子好|其他||比较"_s };
    QTest::newRow("no root covers two") << u"减肥茶\r\n瑜伽垫\r\n北京哪里好玩"_s << QString()
                                        << QStringList { u"其他|3|0|比较 33%|减肥茶、瑜伽垫、北京哪里好玩"_s }
                                        << QStringList { u"减肥茶|其他||"_s, u"瑜伽垫|其他||"_s, u"北京哪里好玩|其他||比较"_s };
    // 茶 and 药 cover two each and are as long: 茶 is met first. 怎么 is taken out of 减肥茶怎么喝.
    QTest::newRow("common root")
        << u"减肥茶哪个牌子好\r\n减肥茶怎么喝\r\n减肥药副作用\r\n减肥药多少钱\r\n产后减肥"_s << u"减肥"_s
        << QStringList { u"茶|2|5|比较 50%|减肥茶哪个牌子好、减肥茶怎么喝"_s, u"药|2|2|价格 50%|减肥药副作用、减肥药多少钱"_s,
                         u"其他|1|0||产后减肥"_s }
        << QStringList { u"减肥茶哪个牌子好|茶||比较"_s, u"减肥茶怎么喝|茶||方法"_s, u"减肥药副作用|药||评价"_s,
                         u"减肥药多少钱|药||价格"_s,     u"产后减肥|其他||"_s };
    // 茶 is met first, but 餐厅 is longer.
    QTest::newRow("longer root wins a tie") << u"茶餐厅菜单\r\n茶餐厅加盟\r\n奶茶店加盟"_s << QString()
                                            << QStringList { u"餐厅|2|0||茶餐厅菜单、茶餐厅加盟"_s, u"其他|1|0||奶茶店加盟"_s }
                                            << QStringList { u"茶餐厅菜单|餐厅||"_s, u"茶餐厅加盟|餐厅||"_s,
                                                             u"奶茶店加盟|其他||"_s };
    QTest::newRow("root met first wins a tie") << u"夏天减肥\r\n夏天减肥食谱\r\n冬天跑步"_s << QString()
                                               << QStringList { u"夏天|2|0||夏天减肥、夏天减肥食谱"_s, u"其他|1|0||冬天跑步"_s }
                                               << QStringList { u"夏天减肥|夏天||"_s, u"夏天减肥食谱|夏天||"_s,
                                                                u"冬天跑步|其他||"_s };
    QTest::newRow("second level with its own 其他")
        << u"减肥茶哪个牌子好\r\n减肥茶多少钱\r\n减肥药副作用\r\n减肥药多少钱\r\n减肥食谱\r\n瑜伽垫"_s << QString()
        << QStringList { u"减肥|5|7|价格 40%|减肥茶哪个牌子好、减肥茶多少钱、减肥药副作用、减肥药多少钱、减肥食谱"_s,
                         u"  茶|2|5|价格 50%|减肥茶哪个牌子好、减肥茶多少钱"_s,
                         u"  药|2|2|价格 50%|减肥药副作用、减肥药多少钱"_s, u"  其他|1|0||减肥食谱"_s,
                         u"其他|1|0||瑜伽垫"_s }
        << QStringList { u"减肥茶哪个牌子好|减肥|茶|比较"_s, u"减肥茶多少钱|减肥|茶|价格"_s,
                         u"减肥药副作用|减肥|药|评价"_s,     u"减肥药多少钱|减肥|药|价格"_s,
                         u"减肥食谱|减肥|其他|"_s,           u"瑜伽垫|其他||"_s };
    // 减肥 and 茶 cover the same four: 减肥 is longer. Inside it 茶 is in every keyword, so it is
    // no second-level group, and 喝 alone covers one.
    QTest::newRow("root of every keyword of a group is no second level")
        << u"减肥茶哪个牌子好\r\n减肥茶多少钱\r\n减肥茶副作用\r\n减肥茶怎么喝\r\n瑜伽垫"_s << QString()
        << QStringList { u"减肥|4|5|价格 25%|减肥茶哪个牌子好、减肥茶多少钱、减肥茶副作用、减肥茶怎么喝"_s, u"其他|1|0||瑜伽垫"_s }
        << QStringList { u"减肥茶哪个牌子好|减肥||比较"_s, u"减肥茶多少钱|减肥||价格"_s, u"减肥茶副作用|减肥||评价"_s,
                         u"减肥茶怎么喝|减肥||方法"_s,     u"瑜伽垫|其他||"_s };
    // 多少钱 taken out 16,667 times leaves 减肥茶 as many times: both keywords hold 减肥 and 茶.
    const QString longKeyword = u"减肥茶多少钱"_s.repeated(16667);
    QTest::newRow("keyword of 100,002 characters")
        << longKeyword + u"\r\n减肥茶"_s << u"减肥 茶"_s
        << QStringList { u"其他|2|0|价格 50%|"_s + longKeyword + u"、减肥茶"_s }
        << QStringList { longKeyword + u"|其他||价格"_s, u"减肥茶|其他||"_s };
    QTest::newRow("empty list") << QString() << QString() << QStringList() << QStringList();
    QTest::newRow("blank lines only") << u"\r\n  \r\n"_s << QString() << QStringList() << QStringList();
}

void TestListTools::rootGroups()
{
    QFETCH(QString, list);
    QFETCH(QString, commonRoot);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, sheet);
    const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
    QVERIFY2(segmenter.available(), qPrintable(segmenter.errorText()));
    QList<int> percents;
    RootGroups::Options options;
    options.seenCount = seenInTests;
    options.progress = [&percents](int percent) { percents += percent; };
    // One thread and several give the same groups.
    for (const int threads : { 1, 3 }) {
        options.threads = threads;
        percents.clear();
        const RootGroups::Grouping grouping = RootGroups::groupKeywords(list, segmenter, options);
        QVERIFY(grouping.ok);
        QVERIFY(!grouping.cancelled);
        QCOMPARE(grouping.commonRoot(), commonRoot);
        QCOMPARE(treeLines(grouping), tree);
        QCOMPARE(sheetLines(grouping), sheet);
        QVERIFY(std::is_sorted(percents.cbegin(), percents.cend()));
        QCOMPARE(percents.value(0), 0);
        QCOMPARE(percents.last(), 99);
        // The same lines handed over one by one.
        const QStringList lines = list.isEmpty() ? QStringList() : list.split(u"\r\n"_s);
        QCOMPARE(treeLines(RootGroups::groupKeywords(lines, segmenter, options)), tree);
    }
}

void TestListTools::rootGroupsLinesAndIndex()
{
    // Case folding, not lower case: ΣΑΣ and σας are one keyword (final sigma).
    const QString list = u"iPhone13多少钱\r\n\r\n  \r\nIPHONE13多少钱\r\niphone12价格\r\n 减肥茶\r\n减肥茶 \r\nΣΑΣ\r\nσας"_s;
    const RootGroups::Grouping grouping = RootGroups::groupKeywords(list, Segmentation::Segmenter::shared());
    QCOMPARE(grouping.keywords, QStringList({ u"iPhone13多少钱"_s, u"iphone12价格"_s, u" 减肥茶"_s, u"ΣΑΣ"_s }));
    QCOMPARE(grouping.lineKeywords, std::vector<qint32>({ 0, -1, -1, 0, 1, 2, 2, 3, 3 }));
    QCOMPARE(grouping.indexOf(u"  IPHONE13多少钱 "_s), 0);
    QCOMPARE(grouping.indexOf(u"减肥茶"_s), 2);
    QCOMPARE(grouping.indexOf(u"Σας"_s), 3);
    QCOMPARE(grouping.indexOf(u"减肥药"_s), -1);
    QCOMPARE(grouping.indexOf(u"   "_s), -1);
    QCOMPARE(grouping.rootOf(-1), u"其他"_s);
    QCOMPARE(grouping.subRootOf(99), QString());
    QCOMPARE(grouping.intentOfKeyword(99), QString());
    QCOMPARE(RootGroups::keywordKey(u" ＡＢＣ减肥 "_s), u"ａｂｃ减肥"_s);
    QCOMPARE(RootGroups::keywordKey(u"\u3000a"_s), u"\u3000a"_s);
}

void TestListTools::rootGroupsWithoutLexicon()
{
    const Segmentation::Segmenter missing(dir_.filePath(u"no-lexicon"_s));
    QVERIFY(!missing.available());
    const RootGroups::Grouping grouping = RootGroups::groupKeywords(u"减肥茶多少钱\r\n减肥茶"_s, missing);
    QVERIFY(!grouping.ok);
    QCOMPARE(grouping.error, missing.errorText());
    QCOMPARE(treeLines(grouping), QStringList({ u"其他|2|0|价格 50%|减肥茶多少钱、减肥茶"_s }));
}

void TestListTools::groupingJob()
{
    const QString list = u"减肥茶哪个牌子好\r\n减肥茶多少钱\r\n瑜伽垫"_s;
    RootGroups::GroupingJob job(list, seenInTests);
    QSignalSpy finished(&job, &RootGroups::GroupingJob::finished);
    QSignalSpy progress(&job, &RootGroups::GroupingJob::progressChanged);
    job.start();
    QVERIFY(job.isRunning());
    QVERIFY(finished.wait(30000));
    QVERIFY(!job.isRunning());
    const auto grouping = finished.at(0).at(0).value<std::shared_ptr<const RootGroups::Grouping>>();
    QCOMPARE(treeLines(*grouping),
             QStringList({ u"减肥|2|5|价格 50%|减肥茶哪个牌子好、减肥茶多少钱"_s, u"其他|1|0||瑜伽垫"_s }));
    QCOMPARE(progress.last().at(0).toInt(), 99);

    // A job stopped at once, and one destroyed while it runs, report nothing.
    RootGroups::GroupingJob stopped(list, {});
    QSignalSpy stoppedFinished(&stopped, &RootGroups::GroupingJob::finished);
    stopped.start();
    stopped.stop();
    QVERIFY(!stopped.isRunning());
    auto* dropped = new RootGroups::GroupingJob(list, {});
    dropped->start();
    delete dropped;
    RootGroups::GroupingJob later(list, {});
    QSignalSpy laterFinished(&later, &RootGroups::GroupingJob::finished);
    later.start();
    QVERIFY(laterFinished.wait(30000));
    QCOMPARE(stoppedFinished.count(), 0);
}

QTEST_MAIN(TestListTools)
#include "tst_listtools.moc"
