// The session store: what is written comes back whole in a store opened afterwards (the list unit
// for unit, the settings, the places with their pages applied, the keywords' records), one page is one
// transaction, a write that failed is made again before any later one is kept, and every fault of the
// file or its folder is said, once for each kind, without stopping the program.
#include "app/form1.h"
#include "app/messagebox.h"
#include "app/sessionkeeper.h"
#include "listtools/export.h"
#include "platform/listreplace.h"
#include "platform/datafolder.h"
#include "store/schema.h"
#include "store/sessionstore.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"
#include "support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Store;

namespace {

using Steps = std::function<void(SessionStore&)>;

const QDateTime at1(QDate(2024, 5, 1), QTime(9, 30, 0));
const QDateTime at2(QDate(2024, 5, 1), QTime(9, 30, 7));
const QDateTime at3(QDate(2024, 5, 2), QTime(20, 1, 59));

using TestFiles::readFile;
using TestFiles::writeFile;

QString describe(Place place)
{
    return u"%1 pending=%2 pass=[%3] answered=%4 retry=[%5] failedTwice=[%6] next=%7 run=%8 found=%9"_s.arg(
        place.seed, place.seedPending ? u"yes"_s : u"no"_s, place.pass.join(u'|'), QString::number(place.answered),
        place.retry.join(u'|'), place.failedTwice.join(u'|'), place.nextGeneration.replace(u"\r\n"_s, u"⏎"_s),
        place.runList.replace(u"\r\n"_s, u"⏎"_s), QString::number(place.foundCount));
}

QStringList describe(const QList<Place>& places)
{
    QStringList lines;
    for (const Place& place : places)
        lines << describe(place);
    return lines;
}

QStringList describe(const QHash<QString, KeywordRecord>& records, const QStringList& order)
{
    QStringList lines;
    for (const QString& keyword : order) {
        const auto record = records.constFind(keyword);
        if (record == records.constEnd()) {
            lines << keyword + u" -"_s;
            continue;
        }
        lines << u"%1 %2 parent=%3 seed=%4 gen=%5 %6 seen=%7"_s.arg(
            record->keyword, record->source, record->parent, record->seed, QString::number(record->generation),
            record->firstFound.toString(u"yyyy-MM-dd HH:mm:ss"_s), QString::number(record->seenCount));
    }
    return lines;
}

// Every write of a round trip is committed: no failure comes back from the writer.
void expectNoFailure(SessionStore& store)
{
    QSignalSpy failures(&store, &SessionStore::writeFailed);
    store.flush();
    QCoreApplication::processEvents();
    QCOMPARE(failures.size(), 0);
}

PageEvent page(const QString& seed, const QString& asked, const QDateTime& at, const QList<FoundKeyword>& found,
               const QStringList& listedAgain = {})
{
    PageEvent event;
    event.seed = seed;
    event.asked = asked;
    event.at = at;
    event.found = found;
    event.listedAgain = listedAgain;
    return event;
}

FoundKeyword related(const QString& keyword, const QString& parent, qint32 generation)
{
    return { keyword, QStringView(RelatedSource).toString(), parent, generation };
}

Place place(const QString& seed, const QStringList& pass, qsizetype answered, const QString& runList)
{
    Place place;
    place.seed = seed;
    place.pass = pass;
    place.answered = answered;
    place.runList = runList;
    return place;
}

PageEvent step(const QString& seed, qsizetype answered, const QString& runListAppend, const QString& nextAppend,
               qint32 foundCount)
{
    PageEvent event;
    event.seed = seed;
    event.asked = u"问"_s;
    event.at = at1;
    event.answered = answered;
    event.runListAppend = runListAppend;
    event.nextGenerationAppend = nextAppend;
    event.foundCount = foundCount;
    return event;
}

// The next commits fail with these SQLite result codes, one each, in order (13: the disk is full);
// with forever, every commit after them fails like the last one.
std::mutex faultMutex;
QList<int> faultCodes;
bool faultsForever = false;

void failCommits(const QList<int>& codes, bool forever = false)
{
    {
        std::lock_guard<std::mutex> lock(faultMutex);
        faultCodes = codes;
        faultsForever = forever;
    }
    SessionStore::setCommitFaultForTesting([] {
        std::lock_guard<std::mutex> lock(faultMutex);
        if (faultCodes.isEmpty())
            return 0;
        return faultsForever && faultCodes.size() == 1 ? faultCodes.first() : faultCodes.takeFirst();
    });
}

// The detail of each "保存到 … 失败：DETAIL。…" said.
QStringList faultDetails(const QSignalSpy& failures)
{
    QStringList details;
    for (const QList<QVariant>& failure : failures)
        details << failure.at(0).toString().section(u"失败："_s, 1).section(u'。', 0, 0);
    return details;
}

// A window that keeps its session in the data folder, as the program's does, once it has painted.
std::unique_ptr<Form1> windowWithSession()
{
    auto form = std::make_unique<Form1>();
    form->keepSession();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()) || !QTest::qWaitFor([&] { return form->session()->isOpen(); }, 5000))
        return nullptr;
    return form;
}

// What a process killed now leaves of the session in folder: the file and its journal as they are on
// the disk, copied to a new folder.
bool copyAsKilled(const QString& folder, const QString& copy)
{
    if (!QDir().mkpath(copy))
        return false;
    for (const QString& suffix : { QString(), u"-wal"_s }) {
        const QString name = u"/session.sqlite"_s + suffix;
        if (QFile::exists(folder + name) && !QFile::copy(folder + name, copy + name))
            return false;
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void listComesBack_data();
    void listComesBack();
    void settingsComeBack_data();
    void settingsComeBack();
    void placesComeBack_data();
    void placesComeBack();
    void records_data();
    void records();
    void askedKeywords();
    void pageIsOneTransaction();
    void failedWritesAreMadeAgain_data();
    void failedWritesAreMadeAgain();
    void copyAfterFlushHoldsEveryPage();
    void faults_data();
    void faults();
    void lockLeftBehind_data();
    void lockLeftBehind();
    void dataFolder();
    void closedStoreKeepsNothing();
    void windowSaysFaultOnce_data();
    void windowSaysFaultOnce();
    void closingLetsGoOfTheStoreFirst_data();
    void closingLetsGoOfTheStoreFirst();
    void diskFullDuringARun_data();
    void diskFullDuringARun();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder() const { return dir_->filePath(u"data"_s); }
    QString file() const { return folder() + u"/session.sqlite"_s; }
};

void TestStore::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestStore::cleanup()
{
    SessionStore::setCommitFaultForTesting({});
}

void TestStore::listComesBack_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("expected");

    auto saved = [](const QString& text) { return Steps([text](SessionStore& store) { store.saveList(text); }); };
    QTest::newRow("nothing saved") << Steps([](SessionStore&) {}) << QString();
    QTest::newRow("empty") << saved(QString()) << QString();
    QTest::newRow("one line") << saved(u"减肥"_s) << u"减肥"_s;
    QTest::newRow("CRLF lines, empty ones, a last CRLF")
        << saved(u"减肥\r\n\r\n减肥方法\r\n  \r\n"_s) << u"减肥\r\n\r\n减肥方法\r\n  \r\n"_s;
    QTest::newRow("lone CR, lone LF, LF CR") << saved(u"a\rb\nc\n\rd"_s) << u"a\rb\nc\n\rd"_s;
    QTest::newRow("non-BMP and a lone surrogate")
        << saved(u"𠀀𪚥\r\n😀词\r\n"_s + QChar(0xD800) + u"x"_s) << u"𠀀𪚥\r\n😀词\r\n"_s + QChar(0xD800) + u"x"_s;
    QTest::newRow("NUL and U+2028") << saved(u"a"_s + QChar(0) + u"b\u2028c"_s) << u"a"_s + QChar(0) + u"b\u2028c"_s;
    QTest::newRow("a later save replaces") << Steps([](SessionStore& store) {
        store.saveList(u"一\r\n二"_s);
        store.saveList(u"三"_s);
    }) << u"三"_s;
    QTest::newRow("a run's appends after the save") << Steps([](SessionStore& store) {
        store.saveList(u"手动\r\n"_s);
        PageEvent first = page(u"减肥"_s, u"减肥"_s, at1, {});
        first.listAppend = u"减肥方法\r\n减肥食谱"_s;
        store.recordPage(first);
        PageEvent second = page(u"减肥"_s, u"减肥方法"_s, at2, {});
        second.listAppend = u"\r\n运动减肥"_s;
        store.recordPage(second);
    }) << u"手动\r\n减肥方法\r\n减肥食谱\r\n运动减肥"_s;
    QTest::newRow("a save drops the appends before it") << Steps([](SessionStore& store) {
        PageEvent first = page(u"减肥"_s, u"减肥"_s, at1, {});
        first.listAppend = u"减肥方法\r\n"_s;
        store.recordPage(first);
        store.saveList(u"只剩这个"_s);
    }) << u"只剩这个"_s;
    QTest::newRow("saved twice, the first still waiting") << Steps([](SessionStore& store) {
        store.saveList(QString(100000, u'长') + u"\r\n"_s);
        store.saveList(u"短"_s);
        PageEvent first = page(u"减肥"_s, u"减肥"_s, at1, {});
        first.listAppend = u"\r\n追加"_s;
        store.recordPage(first);
    }) << u"短\r\n追加"_s;
}

void TestStore::listComesBack()
{
    QFETCH(Steps, steps);
    QFETCH(QString, expected);
    {
        SessionStore store;
        QCOMPARE(store.open(folder()), QString());
        steps(store);
        expectNoFailure(store);
    }
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    const QString list = reopened.list();
    QCOMPARE(list, expected);
    QCOMPARE(list.size(), expected.size());
    // A second call reads the file rather than what open() read.
    QCOMPARE(reopened.list(), expected);
}

void TestStore::settingsComeBack_data()
{
    using Settings = QHash<QString, QString>;
    QTest::addColumn<QList<Settings>>("saves");
    QTest::addColumn<Settings>("expected");

    QTest::newRow("none") << QList<Settings>() << Settings();
    QTest::newRow("text boxes, check boxes, options") << QList<Settings> { { { u"Text3"_s, u"减肥"_s },
                                                                             { u"Text4"_s, u"1000"_s },
                                                                             { u"Text5"_s, QString() },
                                                                             { u"Check4"_s, u"1"_s },
                                                                             { u"Option7"_s, u"1"_s } } }
                                                      << Settings { { u"Text3"_s, u"减肥"_s },
                                                                    { u"Text4"_s, u"1000"_s },
                                                                    { u"Text5"_s, QString() },
                                                                    { u"Check4"_s, u"1"_s },
                                                                    { u"Option7"_s, u"1"_s } };
    QTest::newRow("the last save is the whole")
        << QList<Settings> { { { u"Text3"_s, u"减肥"_s }, { u"Text6"_s, u"3"_s } }, { { u"Text3"_s, u"瘦身"_s } } }
        << Settings { { u"Text3"_s, u"瘦身"_s } };
    QTest::newRow("line breaks and non-BMP in a value")
        << QList<Settings> { { { u"Text5"_s, u"a\r\nb\n😀"_s } } } << Settings { { u"Text5"_s, u"a\r\nb\n😀"_s } };
}

void TestStore::settingsComeBack()
{
    using Settings = QHash<QString, QString>;
    QFETCH(QList<Settings>, saves);
    QFETCH(Settings, expected);
    {
        SessionStore store;
        QCOMPARE(store.open(folder()), QString());
        for (const Settings& settings : saves)
            store.saveSettings(settings);
        QCOMPARE(store.settings(), expected);
        expectNoFailure(store);
    }
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    QCOMPARE(reopened.settings(), expected);
}

void TestStore::placesComeBack_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << Steps([](SessionStore&) {}) << QStringList();
    QTest::newRow("written whole")
        << Steps([](SessionStore& store) {
               Place whole = place(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s }, 1, u"\r\n减肥方法\r\n减肥食谱\r\n"_s);
               whole.seedPending = false;
               whole.retry = QStringList { u"减肥茶"_s };
               whole.failedTwice = QStringList { u"减肥药"_s };
               whole.nextGeneration = u"减肥方法大全\r\n"_s;
               whole.foundCount = 3;
               store.writePlace(whole);
           })
        << QStringList { u"减肥 pending=no pass=[减肥方法|减肥食谱] answered=1 retry=[减肥茶] failedTwice=[减肥药] "
                         u"next=减肥方法大全⏎ run=⏎减肥方法⏎减肥食谱⏎ found=3"_s };
    QTest::newRow("the seed still pending") << Steps([](SessionStore& store) {
        Place start = place(u"减肥"_s, {}, 0, QString());
        start.seedPending = true;
        store.writePlace(start);
    }) << QStringList { u"减肥 pending=yes pass=[] answered=0 retry=[] failedTwice=[] next= run= found=0"_s };
    QTest::newRow("the seed's own pass, its page failed once")
        << Steps([](SessionStore& store) {
               Place seedPass = place(u"减肥"_s, { u"减肥"_s }, 0, u"\r\n"_s);
               seedPass.seedPending = true;
               seedPass.generation = 0;
               store.writePlace(seedPass);
               PageEvent failed = step(u"减肥"_s, 1, u"下拉\r\n"_s, u"下拉\r\n"_s, 1);
               failed.outcome = Asked::Failed;
               failed.seedPending = true;
               failed.retry = QStringList { u"减肥"_s };
               store.recordPage(failed);
           })
        << QStringList { u"减肥 pending=yes pass=[减肥] answered=1 retry=[减肥] failedTwice=[] next=下拉⏎ "
                         u"run=⏎下拉⏎ found=1"_s };
    QTest::newRow("keywords of earlier generations keep their marks")
        << Steps([](SessionStore& store) {
               Place later = place(u"减肥"_s, { u"甲"_s, u"\n1"_s, u"乙"_s }, 0, u"\r\n甲\r\n"_s);
               later.generation = 3;
               later.failedTwice = QStringList { u"\n0"_s, u"减肥"_s };
               store.writePlace(later);
               PageEvent answered = step(u"减肥"_s, 2, u"丙\r\n"_s, u"\n2\r\n丙\r\n"_s, 1);
               answered.failedTwice = later.failedTwice;
               store.recordPage(answered);
           })
        << QStringList { u"减肥 pending=no pass=[甲|\n1|乙] answered=2 retry=[] failedTwice=[\n0|减肥] next=\n2⏎丙⏎ "
                         u"run=⏎甲⏎丙⏎ found=1"_s };
    QTest::newRow("two pages applied")
        << Steps([](SessionStore& store) {
               store.writePlace(place(u"减肥"_s, { u"甲"_s, u"乙"_s, u"丙"_s }, 0, u"\r\n甲\r\n乙\r\n丙\r\n"_s));
               store.recordPage(step(u"减肥"_s, 1, u"甲一\r\n"_s, u"甲一\r\n"_s, 4));
               PageEvent failed = step(u"减肥"_s, 1, QString(), QString(), 4);
               failed.outcome = Asked::Failed;
               failed.retry = QStringList { u"乙"_s };
               store.recordPage(failed);
               PageEvent third = step(u"减肥"_s, 3, u"丙一\r\n丙二\r\n"_s, u"丙一\r\n丙二\r\n"_s, 6);
               third.retry = QStringList();
               third.failedTwice = QStringList { u"乙"_s };
               store.recordPage(third);
           })
        << QStringList { u"减肥 pending=no pass=[甲|乙|丙] answered=3 retry=[] failedTwice=[乙] next=甲一⏎丙一⏎丙二⏎ "
                         u"run=⏎甲⏎乙⏎丙⏎甲一⏎丙一⏎丙二⏎ found=6"_s };
    QTest::newRow("a new generation written whole drops the pages before it")
        << Steps([](SessionStore& store) {
               store.writePlace(place(u"减肥"_s, { u"甲"_s }, 0, u"\r\n甲\r\n"_s));
               store.recordPage(step(u"减肥"_s, 1, u"甲一\r\n"_s, u"甲一\r\n"_s, 2));
               store.writePlace(place(u"减肥"_s, { u"甲一"_s }, 0, u"\r\n甲\r\n甲一\r\n"_s));
           })
        << QStringList {
               u"减肥 pending=no pass=[甲一] answered=0 retry=[] failedTwice=[] next= run=⏎甲⏎甲一⏎ found=0"_s
           };
    QTest::newRow("a page of a seed without a place changes none") << Steps([](SessionStore& store) {
        store.writePlace(place(u"减肥"_s, { u"甲"_s }, 0, u"\r\n甲\r\n"_s));
        store.recordPage(step(u"瘦身"_s, 1, u"乙\r\n"_s, u"乙\r\n"_s, 1));
    }) << QStringList { u"减肥 pending=no pass=[甲] answered=0 retry=[] failedTwice=[] next= run=⏎甲⏎ found=0"_s };
    QTest::newRow("a second seed keeps the first seed's place")
        << Steps([](SessionStore& store) {
               store.writePlace(place(u"减肥"_s, { u"甲"_s, u"乙"_s }, 0, u"\r\n甲\r\n乙\r\n"_s));
               store.recordPage(step(u"减肥"_s, 1, QString(), QString(), 2));
               Place second = place(u"瘦身"_s, {}, 0, QString());
               second.seedPending = true;
               store.writePlace(second);
               PageEvent failed = step(u"瘦身"_s, 0, QString(), QString(), 0);
               failed.outcome = Asked::Failed;
               failed.seedPending = true;
               store.recordPage(failed);
           })
        << QStringList { u"减肥 pending=no pass=[甲|乙] answered=1 retry=[] failedTwice=[] next= run=⏎甲⏎乙⏎ found=2"_s,
                         u"瘦身 pending=yes pass=[] answered=0 retry=[] failedTwice=[] next= run= found=0"_s };
    QTest::newRow("dropped") << Steps([](SessionStore& store) {
        store.writePlace(place(u"减肥"_s, { u"甲"_s }, 0, u"\r\n甲\r\n"_s));
        store.writePlace(place(u"瘦身"_s, { u"乙"_s }, 0, u"\r\n乙\r\n"_s));
        store.recordPage(step(u"减肥"_s, 1, u"甲一\r\n"_s, u"甲一\r\n"_s, 2));
        store.dropPlace(u"减肥"_s);
    }) << QStringList { u"瘦身 pending=no pass=[乙] answered=0 retry=[] failedTwice=[] next= run=⏎乙⏎ found=0"_s };
    QTest::newRow("written again goes last")
        << Steps([](SessionStore& store) {
               store.writePlace(place(u"减肥"_s, { u"甲"_s }, 0, u"\r\n甲\r\n"_s));
               store.writePlace(place(u"瘦身"_s, { u"乙"_s }, 0, u"\r\n乙\r\n"_s));
               store.writePlace(place(u"减肥"_s, { u"甲"_s }, 1, u"\r\n甲\r\n"_s));
           })
        << QStringList { u"瘦身 pending=no pass=[乙] answered=0 retry=[] failedTwice=[] next= run=⏎乙⏎ found=0"_s,
                         u"减肥 pending=no pass=[甲] answered=1 retry=[] failedTwice=[] next= run=⏎甲⏎ found=0"_s };
}

void TestStore::placesComeBack()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, expected);
    {
        SessionStore store;
        QCOMPARE(store.open(folder()), QString());
        steps(store);
        QCOMPARE(describe(store.places()), expected);
        expectNoFailure(store);
    }
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    QCOMPARE(describe(reopened.places()), expected);
}

void TestStore::records_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("lookedUp");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the seed page's words and a later page's")
        << Steps([](SessionStore& store) {
               store.recordPage(page(u"减肥"_s, u"减肥"_s, at1,
                                     { related(u"减肥方法"_s, u"减肥"_s, 1), related(u"减肥食谱"_s, u"减肥"_s, 1) }));
               store.recordPage(
                   page(u"减肥"_s, u"减肥方法"_s, at2,
                        { { u"减肥方法大全"_s, QStringView(SuggestionSource).toString(), u"减肥方法"_s, 2 } }));
           })
        << QStringList { u"减肥方法"_s, u"减肥食谱"_s, u"减肥方法大全"_s, u"手打的"_s }
        << QStringList { u"减肥方法 相关搜索 parent=减肥 seed=减肥 gen=1 2024-05-01 09:30:00 seen=1"_s,
                         u"减肥食谱 相关搜索 parent=减肥 seed=减肥 gen=1 2024-05-01 09:30:00 seen=1"_s,
                         u"减肥方法大全 下拉词 parent=减肥方法 seed=减肥 gen=2 2024-05-01 09:30:07 seen=1"_s,
                         u"手打的 -"_s };
    QTest::newRow("listed again counts")
        << Steps([](SessionStore& store) {
               store.recordPage(page(u"减肥"_s, u"减肥"_s, at1, { related(u"减肥方法"_s, u"减肥"_s, 1) }));
               store.recordPage(page(u"减肥"_s, u"减肥方法"_s, at2, {}, { u"减肥方法"_s, u"没有记录的"_s }));
               store.recordPage(page(u"减肥"_s, u"减肥食谱"_s, at3, {}, { u"减肥方法"_s }));
           })
        << QStringList { u"减肥方法"_s, u"没有记录的"_s }
        << QStringList { u"减肥方法 相关搜索 parent=减肥 seed=减肥 gen=1 2024-05-01 09:30:00 seen=3"_s,
                         u"没有记录的 -"_s };
    QTest::newRow("a second run keeps the first record and counts")
        << Steps([](SessionStore& store) {
               store.recordPage(page(u"减肥"_s, u"减肥"_s, at1, { related(u"运动减肥"_s, u"减肥"_s, 1) }));
               store.recordPage(page(u"瘦身"_s, u"瘦身"_s, at3, { related(u"运动减肥"_s, u"瘦身"_s, 1) }));
           })
        << QStringList { u"运动减肥"_s }
        << QStringList { u"运动减肥 相关搜索 parent=减肥 seed=减肥 gen=1 2024-05-01 09:30:00 seen=2"_s };
    QTest::newRow("hot words, then a page lists one")
        << Steps([](SessionStore& store) {
               store.recordWords({ u"热词一"_s, u"热词二"_s, QString() }, u"百度今日热词"_s, at1);
               store.recordPage(page(u"减肥"_s, u"减肥"_s, at2, { related(u"热词一"_s, u"减肥"_s, 1) }));
           })
        << QStringList { u"热词一"_s, u"热词二"_s, QString() }
        << QStringList { u"热词一 百度今日热词 parent= seed= gen=0 2024-05-01 09:30:00 seen=1"_s,
                         u"热词二 百度今日热词 parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s, u" -"_s };
    QTest::newRow("the first record wins over a later file")
        << Steps([](SessionStore& store) {
               store.recordPage(page(u"减肥"_s, u"减肥"_s, at1, { related(u"减肥方法"_s, u"减肥"_s, 1) }));
               store.recordWords({ u"减肥方法"_s, u"文件里的"_s, u"文件里的"_s }, u"文件 词.txt"_s, at3);
               store.recordWords({ u"文件里的"_s }, u"百度七日热词"_s, at1);
           })
        << QStringList { u"减肥方法"_s, u"文件里的"_s }
        << QStringList { u"减肥方法 相关搜索 parent=减肥 seed=减肥 gen=1 2024-05-01 09:30:00 seen=1"_s,
                         u"文件里的 文件 词.txt parent= seed= gen=0 2024-05-02 20:01:59 seen=0"_s };
    QTest::newRow("exact match: case, spaces, quotes, non-BMP")
        << Steps([](SessionStore& store) {
               store.recordWords({ u"iPhone 15"_s, u"\"引号\"\\"_s, u"𠀀字"_s, u"tab\there"_s }, u"文件 a.txt"_s, at1);
           })
        << QStringList { u"iphone 15"_s, u"iPhone 15 "_s, u"iPhone 15"_s, u"\"引号\"\\"_s, u"𠀀字"_s, u"tab\there"_s }
        << QStringList { u"iphone 15 -"_s,
                         u"iPhone 15  -"_s,
                         u"iPhone 15 文件 a.txt parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s,
                         u"\"引号\"\\ 文件 a.txt parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s,
                         u"𠀀字 文件 a.txt parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s,
                         u"tab\there 文件 a.txt parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s };
    QTest::newRow("a few looked up among many records")
        << Steps([](SessionStore& store) {
               QStringList words;
               for (int i = 0; i < 20; ++i)
                   words << u"填充%1"_s.arg(i);
               words << u"iPhone 15"_s << u"\"引号\"\\"_s << u"𠀀字"_s << u"tab\there"_s;
               store.recordWords(words, u"文件 多.txt"_s, at2);
           })
        << QStringList { u"\"引号\"\\"_s, u"tab\there"_s, u"𠀀字"_s, u"iphone 15"_s }
        << QStringList { u"\"引号\"\\ 文件 多.txt parent= seed= gen=0 2024-05-01 09:30:07 seen=0"_s,
                         u"tab\there 文件 多.txt parent= seed= gen=0 2024-05-01 09:30:07 seen=0"_s,
                         u"𠀀字 文件 多.txt parent= seed= gen=0 2024-05-01 09:30:07 seen=0"_s, u"iphone 15 -"_s };
    QTest::newRow("a lone surrogate gets no record")
        << Steps([](SessionStore& store) {
               store.recordWords({ QString(QChar(0xDC00)) + u"\"x"_s, u"好"_s }, u"文件 a.txt"_s, at1);
           })
        << QStringList { QString(QChar(0xDC00)) + u"\"x"_s, u"好"_s }
        << QStringList { QString(QChar(0xDC00)) + u"\"x -"_s,
                         u"好 文件 a.txt parent= seed= gen=0 2024-05-01 09:30:00 seen=0"_s };
}

void TestStore::records()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, lookedUp);
    QFETCH(QStringList, expected);
    {
        SessionStore store;
        QCOMPARE(store.open(folder()), QString());
        steps(store);
        expectNoFailure(store);
    }
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    QCOMPARE(describe(reopened.records(lookedUp), lookedUp), expected);
}

void TestStore::askedKeywords()
{
    {
        SessionStore store;
        QCOMPARE(store.open(folder()), QString());
        store.recordPage(page(u"减肥"_s, u"减肥"_s, at1, {}));
        PageEvent failed = page(u"减肥"_s, u"减肥方法"_s, at2, {});
        failed.outcome = Asked::Failed;
        store.recordPage(failed);
        PageEvent refused = page(u"减肥"_s, u"减肥食谱"_s, at3, {});
        refused.outcome = Asked::Refused;
        store.recordPage(refused);
    }
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    QStringList lines;
    for (const AskedKeyword& asked : reopened.asked())
        lines << u"%1 %2 %3 %4"_s.arg(asked.seed, asked.keyword, asked.at.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                                      QString::number(int(asked.outcome)));
    QCOMPARE(lines,
             (QStringList { u"减肥 减肥 2024-05-01 09:30:00 0"_s, u"减肥 减肥方法 2024-05-01 09:30:07 1"_s,
                            u"减肥 减肥食谱 2024-05-02 20:01:59 2"_s }));
}

// A page that fails half way leaves nothing of itself, and nothing after it is kept without it; once
// the fault is gone, the next write brings every page that waited.
void TestStore::pageIsOneTransaction()
{
    SessionStore store;
    QSignalSpy failures(&store, &SessionStore::writeFailed);
    QCOMPARE(store.open(folder()), QString());
    store.saveList(u"手动\r\n"_s);
    store.writePlace(place(u"减肥"_s, { u"甲"_s, u"乙"_s }, 0, u"\r\n甲\r\n乙\r\n"_s));
    store.flush();
    auto sabotage = [this](const QString& statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"saboteur"_s);
            db.setDatabaseName(file());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(statement));
        }
        QSqlDatabase::removeDatabase(u"saboteur"_s);
    };
    // The page's last statement fails: its asked row, records and list append go too.
    sabotage(u"CREATE TRIGGER fail BEFORE INSERT ON place_step WHEN NEW.answered = 1"
             u" BEGIN SELECT RAISE(ABORT, 'test'); END"_s);

    PageEvent first = page(u"减肥"_s, u"甲"_s, at1, { related(u"甲一"_s, u"甲"_s, 2) });
    first.listAppend = u"甲一\r\n"_s;
    first.answered = 1;
    first.runListAppend = u"甲一\r\n"_s;
    store.recordPage(first);
    PageEvent second = page(u"减肥"_s, u"乙"_s, at2, { related(u"乙一"_s, u"乙"_s, 2) });
    second.listAppend = u"乙一\r\n"_s;
    second.answered = 2;
    second.runListAppend = u"乙一\r\n"_s;
    store.recordPage(second);
    store.flush();

    QTRY_COMPARE(failures.size(), 1);
    QCOMPARE(failures.at(0).at(0).toString(),
             u"保存到 %1 失败：test。窗口里的内容不受影响；软件会接着重试，能写入时（例如腾出磁盘空间以后）"
             u"自动补上没保存的改动。"_s.arg(QDir::toNativeSeparators(file())));
    QCOMPARE(store.list(), u"手动\r\n"_s);
    QCOMPARE(
        describe(store.places()),
        QStringList { u"减肥 pending=no pass=[甲|乙] answered=0 retry=[] failedTwice=[] next= run=⏎甲⏎乙⏎ found=0"_s });
    QCOMPARE(describe(store.records({ u"甲一"_s, u"乙一"_s }), { u"甲一"_s, u"乙一"_s }),
             (QStringList { u"甲一 -"_s, u"乙一 -"_s }));
    QCOMPARE(store.asked().size(), 0);

    // The fault is gone: the next page comes with both that waited, in order.
    sabotage(u"DROP TRIGGER fail"_s);
    PageEvent third = page(u"减肥"_s, u"乙一"_s, at3, {});
    third.listAppend = u"丙\r\n"_s;
    third.answered = 3;
    store.recordPage(third);
    QCOMPARE(store.list(), u"手动\r\n甲一\r\n乙一\r\n丙\r\n"_s);
    QCOMPARE(describe(store.places()),
             QStringList { u"减肥 pending=no pass=[甲|乙] answered=3 retry=[] failedTwice=[] next= "
                           u"run=⏎甲⏎乙⏎甲一⏎乙一⏎ found=0"_s });
    QCOMPARE(describe(store.records({ u"甲一"_s, u"乙一"_s }), { u"甲一"_s, u"乙一"_s }),
             (QStringList { u"甲一 相关搜索 parent=甲 seed=减肥 gen=2 2024-05-01 09:30:00 seen=1"_s,
                            u"乙一 相关搜索 parent=乙 seed=减肥 gen=2 2024-05-01 09:30:07 seen=1"_s }));
    QCOMPARE(store.asked().size(), 3);
    QCOMPARE(store.close(), QString());
    QCOMPARE(failures.size(), 1);
}

void TestStore::failedWritesAreMadeAgain_data()
{
    QTest::addColumn<Steps>("steps"); // after the list "手动" and the place of 减肥 at 甲
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<bool>("behindAtClose");

    auto firstPage = [] {
        PageEvent event = step(u"减肥"_s, 1, u"甲一\r\n"_s, u"甲一\r\n"_s, 1);
        event.listAppend = u"甲一\r\n"_s;
        return event;
    };
    const Place secondGeneration = place(u"减肥"_s, { u"甲一"_s }, 0, u"\r\n甲\r\n甲一\r\n"_s);
    const QString atFirst = u"减肥 pending=no pass=[甲] answered=0 retry=[] failedTwice=[] next= run=⏎甲⏎ found=0"_s;
    const QString atSecond
        = u"减肥 pending=no pass=[甲一] answered=0 retry=[] failedTwice=[] next= run=⏎甲⏎甲一⏎ found=0"_s;

    QTest::newRow("a page fails, the next generation's place brings its list along")
        << Steps([=](SessionStore& store) {
               failCommits({ 13 });
               store.recordPage(firstPage());
               store.writePlace(secondGeneration);
           })
        << u"手动\r\n甲一\r\n"_s << QStringList { atSecond } << QStringList { u"磁盘已满"_s } << false;
    QTest::newRow("the disk stays full: no place ahead of its list")
        << Steps([=](SessionStore& store) {
               failCommits({ 13 }, true);
               store.recordPage(firstPage());
               store.writePlace(secondGeneration);
           })
        << u"手动\r\n"_s << QStringList { atFirst } << QStringList { u"磁盘已满"_s } << true;
    QTest::newRow("the disk frees while nothing else is written")
        << Steps([=](SessionStore& store) {
               failCommits({ 13 });
               store.recordPage(firstPage());
           })
        << u"手动\r\n甲一\r\n"_s
        << QStringList { u"减肥 pending=no pass=[甲] answered=1 retry=[] failedTwice=[] next=甲一⏎ run=⏎甲⏎甲一⏎ found=1"_s }
        << QStringList { u"磁盘已满"_s } << false;
    QTest::newRow("a later save of the list replaces the one that failed")
        << Steps([](SessionStore& store) {
               failCommits({ 13 });
               store.saveList(u"改过一次"_s);
               store.flush();
               store.saveList(u"改过两次"_s);
           })
        << u"改过两次"_s << QStringList { atFirst } << QStringList { u"磁盘已满"_s } << false;
    QTest::newRow("two kinds of fault, each said once")
        << Steps([=](SessionStore& store) {
               failCommits({ 13, 13, 10, 13 });
               store.recordPage(firstPage());
               store.saveSettings({ { u"Text3"_s, u"减肥"_s } });
               store.writePlace(secondGeneration);
               store.recordWords({ u"热词"_s }, u"百度今日热词"_s, at1);
               PageEvent next = step(u"减肥"_s, 1, u"乙\r\n"_s, u"乙\r\n"_s, 2);
               next.listAppend = u"乙\r\n"_s;
               store.recordPage(next);
           })
        << u"手动\r\n甲一\r\n乙\r\n"_s
        << QStringList { u"减肥 pending=no pass=[甲一] answered=1 retry=[] failedTwice=[] next=乙⏎ run=⏎甲⏎甲一⏎乙⏎ "
                         u"found=2"_s }
        << QStringList { u"磁盘已满"_s, u"读写文件时出错"_s } << false;
}

void TestStore::failedWritesAreMadeAgain()
{
    QFETCH(Steps, steps);
    QFETCH(QString, list);
    QFETCH(QStringList, places);
    QFETCH(QStringList, said);
    QFETCH(bool, behindAtClose);
    {
        SessionStore store;
        QSignalSpy failures(&store, &SessionStore::writeFailed);
        QCOMPARE(store.open(folder()), QString());
        store.saveList(u"手动\r\n"_s);
        store.writePlace(place(u"减肥"_s, { u"甲"_s }, 0, u"\r\n甲\r\n"_s));
        store.flush();
        steps(store);
        // A retry waits a few seconds for a write that does not come.
        QTRY_COMPARE_WITH_TIMEOUT(store.list(), list, 10000);
        QCOMPARE(describe(store.places()), places);
        QTRY_COMPARE(faultDetails(failures), said);
        QCOMPARE(store.close(),
                 behindAtClose ? u"没能把最后的改动保存到 %1（磁盘已满），下次打开时，列表、设置和挖掘进度是"
                                 u"最后一次保存成功时的样子。"_s.arg(QDir::toNativeSeparators(file()))
                               : QString());
    }
    SessionStore::setCommitFaultForTesting({});
    SessionStore reopened;
    QCOMPARE(reopened.open(folder()), QString());
    QCOMPARE(reopened.list(), list);
    QCOMPARE(describe(reopened.places()), places);
}

// What a process killed after a flush leaves: the file and its journal as they are on disk.
void TestStore::copyAfterFlushHoldsEveryPage()
{
    SessionStore store;
    QCOMPARE(store.open(folder()), QString());
    store.saveList(u"手动\r\n"_s);
    store.writePlace(place(u"减肥"_s, { u"甲"_s, u"乙"_s }, 0, u"\r\n甲\r\n乙\r\n"_s));
    for (int i = 0; i < 30; ++i) {
        PageEvent event = page(u"减肥"_s, u"甲"_s, at1, { related(u"词%1"_s.arg(i), u"甲"_s, 2) });
        event.listAppend = u"词%1\r\n"_s.arg(i);
        event.answered = i + 1;
        event.runListAppend = event.listAppend;
        event.foundCount = i + 1;
        store.recordPage(event);
    }
    store.flush();

    const QString copy = dir_->filePath(u"copy"_s);
    QVERIFY(QDir().mkpath(copy));
    for (const QString& suffix : { QString(), u"-wal"_s }) {
        if (QFile::exists(file() + suffix))
            QVERIFY(QFile::copy(file() + suffix, copy + u"/session.sqlite"_s + suffix));
    }
    SessionStore second;
    QCOMPARE(second.open(copy), QString());
    const QString list = second.list();
    QVERIFY(list.startsWith(u"手动\r\n词0\r\n词1\r\n"_s));
    QVERIFY(list.endsWith(u"\r\n词28\r\n词29\r\n"_s));
    QCOMPARE(list.count(u"\r\n"_s), 31);
    const QList<Place> places = second.places();
    QCOMPARE(places.size(), 1);
    QCOMPARE(places.at(0).answered, qsizetype(30));
    QCOMPARE(places.at(0).foundCount, 30);
    QVERIFY(places.at(0).runList.endsWith(u"\r\n词29\r\n"_s));
    QCOMPARE(second.records({ u"词29"_s }).value(u"词29"_s).parent, u"甲"_s);
    QCOMPARE(second.asked().size(), 30);
}

void TestStore::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // {folder}, {file}, and {aside}: the name it was renamed to
    QTest::addColumn<bool>("opened");

    QTest::newRow("read-only folder") << u"read-only folder"_s << u"无法写入文件夹 {folder}，本次不保存列表和设置。"_s
                                      << false;
    QTest::newRow("read-only file") << u"read-only file"_s
                                    << u"无法打开 {file}（文件是只读的），本次不保存列表和设置。"_s << false;
    QTest::newRow("folder under a file") << u"folder under a file"_s
                                         << u"无法写入文件夹 {folder}，本次不保存列表和设置。"_s << false;
    QTest::newRow("garbage") << u"garbage"_s << u"{file} 无法读取，已改名为 {aside} 保留，并新建了一个保存文件。"_s
                             << true;
    QTest::newRow("short garbage") << u"short garbage"_s
                                   << u"{file} 无法读取，已改名为 {aside} 保留，并新建了一个保存文件。"_s << true;
    QTest::newRow("damaged after the header")
        << u"damaged"_s << u"{file} 无法读取，已改名为 {aside} 保留，并新建了一个保存文件。"_s << true;
    QTest::newRow("another program's database")
        << u"foreign"_s << u"{file} 无法读取，已改名为 {aside} 保留，并新建了一个保存文件。"_s << true;
    QTest::newRow("newer version") << u"newer"_s
                                   << u"{file} 是更新版本的晴岚词宝保存的，这个版本不能使用它；文件保持原样，"
                                      u"本次不保存列表和设置。"_s
                                   << false;
    QTest::newRow("second window") << u"second window"_s
                                   << u"晴岚词宝的另一个窗口正在使用 {file}，这个窗口本次不保存列表和设置。"_s << false;
}

void TestStore::faults()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QFETCH(bool, opened);

    QString folder = this->folder();
    QByteArray bytes;
    SessionStore first;
    QVERIFY(QDir().mkpath(folder));
    if (fault == u"read-only folder"_s) {
        if (geteuid() == 0)
            QSKIP("root writes into a read-only folder; the folder under a file stands for it");
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else if (fault == u"read-only file"_s) {
        if (geteuid() == 0)
            QSKIP("root writes into a read-only file");
        {
            SessionStore earlier;
            QCOMPARE(earlier.open(folder), QString());
            earlier.saveList(u"以前的"_s);
        }
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner));
        bytes = readFile(file());
    } else if (fault == u"folder under a file"_s) {
        writeFile(dir_->filePath(u"plain.txt"_s), "x");
        folder = dir_->filePath(u"plain.txt/data"_s);
    } else if (fault == u"garbage"_s) {
        bytes = QByteArray(4000, '\xff');
        bytes.replace(0, 20, "不是数据库\r\n");
    } else if (fault == u"short garbage"_s) {
        bytes = "SQLite";
    } else if (fault == u"damaged"_s) {
        bytes = QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\0') + QByteArray(8092, '\x5a');
    } else if (fault == u"foreign"_s || fault == u"newer"_s) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"maker"_s);
            db.setDatabaseName(file());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(u"CREATE TABLE notes (text TEXT)"_s));
            if (fault == u"newer"_s) {
                QVERIFY(query.exec(u"PRAGMA application_id = %1"_s.arg(Schema::ApplicationId)));
                QVERIFY(query.exec(u"PRAGMA user_version = %1"_s.arg(Schema::Version + 1)));
            }
        }
        QSqlDatabase::removeDatabase(u"maker"_s);
        bytes = readFile(file());
    } else if (fault == u"second window"_s) {
        QCOMPARE(first.open(folder), QString());
        first.saveList(u"第一个窗口的"_s);
    }
    if (!bytes.isEmpty() && fault != u"newer"_s && fault != u"foreign"_s && fault != u"read-only file"_s)
        writeFile(file(), bytes);
    const QStringList before = QDir(folder).entryList(QDir::Files);

    auto store = std::make_unique<SessionStore>();
    const QString said = store->open(folder);
    QFile::setPermissions(this->folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList aside = QDir(folder).entryList({ u"session.sqlite.unreadable-*"_s }, QDir::Files);
    reason.replace(u"{folder}"_s, QDir::toNativeSeparators(folder));
    reason.replace(u"{file}"_s, QDir::toNativeSeparators(folder + u"/session.sqlite"_s));
    reason.replace(u"{aside}"_s, QDir::toNativeSeparators(folder + u"/"_s + aside.value(0)));
    QCOMPARE(said, reason);
    QCOMPARE(store->isOpen(), opened);

    if (opened) {
        // Kept byte for byte under its new name, and a new store in its place that works.
        QCOMPARE(aside.size(), 1);
        QVERIFY(QRegularExpression(u"^session\\.sqlite\\.unreadable-\\d{8}-\\d{6}$"_s).match(aside.at(0)).hasMatch());
        QCOMPARE(readFile(folder + u"/"_s + aside.at(0)), bytes);
        store->saveList(u"新的\r\n"_s);
        store.reset();
        SessionStore reopened;
        QCOMPARE(reopened.open(folder), QString());
        QCOMPARE(reopened.list(), u"新的\r\n"_s);
        return;
    }
    // Nothing made, nothing changed, and the calls of a store that keeps nothing are harmless.
    QCOMPARE(aside, QStringList());
    QCOMPARE(QDir(folder).entryList(QDir::Files), before);
    if (!bytes.isEmpty())
        QCOMPARE(readFile(file()), bytes);
    store->saveList(u"丢掉"_s);
    store->flush();
    QCOMPARE(store->list(), QString());
    if (fault == u"second window"_s)
        QCOMPARE(first.list(), u"第一个窗口的"_s);
}

void TestStore::lockLeftBehind_data()
{
    QTest::addColumn<int>("heldMs"); // -1: left by a process that is gone
    QTest::newRow("a window killed with SIGKILL") << -1;
    QTest::newRow("a window that is closing") << 300;
}

// A lock left by a window killed with SIGKILL, or held by a window that is closing: the next start
// takes the store all the same.
void TestStore::lockLeftBehind()
{
    QFETCH(int, heldMs);
    QVERIFY(QDir().mkpath(folder()));
    std::unique_ptr<QThread> closing;
    std::atomic<bool> held { false };
    if (heldMs < 0) {
        writeFile(file() + u".lock"_s, "2147483000\nqinglan-cibao\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    } else {
        closing.reset(QThread::create([&held, heldMs, folder = folder()] {
            SessionStore other;
            if (!other.open(folder).isEmpty())
                return;
            other.saveList(u"关闭前的"_s);
            held = true;
            QThread::msleep(heldMs);
        }));
        closing->start();
        QVERIFY(QTest::qWaitFor([&held, &closing] { return held || closing->isFinished(); }, 5000));
        QVERIFY(held);
    }
    SessionStore store;
    QCOMPARE(store.open(folder()), QString());
    QVERIFY(store.isOpen());
    QCOMPARE(store.list(), heldMs < 0 ? QString() : u"关闭前的"_s);
    if (closing)
        QVERIFY(closing->wait(5000));
}

void TestStore::dataFolder()
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir_->path().toUtf8());
    const QString expected = dir_->path() + u"/qinglan-cibao"_s;
    QCOMPARE(DataFolder::path(), expected);
    QCOMPARE(ExportFile::appDataDir(), expected);
    {
        SessionStore store;
        QCOMPARE(store.open(), QString());
        QCOMPARE(store.filePath(), expected + u"/session.sqlite"_s);
    }
    QVERIFY(QFile::exists(expected + u"/session.sqlite"_s));
    qputenv("XDG_DATA_HOME", saved);
}

void TestStore::closedStoreKeepsNothing()
{
    SessionStore store;
    QVERIFY(!store.isOpen());
    store.saveList(u"x"_s);
    store.saveSettings({ { u"Text3"_s, u"x"_s } });
    store.recordPage(page(u"x"_s, u"x"_s, at1, { related(u"y"_s, u"x"_s, 1) }));
    store.writePlace(place(u"x"_s, {}, 0, QString()));
    store.dropPlace(u"x"_s);
    store.recordWords({ u"x"_s }, u"文件 a"_s, at1);
    store.flush();
    QCOMPARE(store.list(), QString());
    QCOMPARE(store.settings(), (QHash<QString, QString>()));
    QCOMPARE(store.places().size(), 0);
    QCOMPARE(store.records({ u"y"_s }).size(), 0);
}

void TestStore::windowSaysFaultOnce_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // {folder}, {file}; {aside} for whatever the file was renamed to
    QTest::newRow("folder under a file") << u"folder under a file"_s
                                         << u"无法写入文件夹 {folder}，本次不保存列表和设置。"_s;
    QTest::newRow("garbage") << u"garbage"_s << u"{file} 无法读取，已改名为 {aside} 保留，并新建了一个保存文件。"_s;
    QTest::newRow("second window") << u"second window"_s
                                   << u"晴岚词宝的另一个窗口正在使用 {file}，这个窗口本次不保存列表和设置。"_s;
}

void TestStore::windowSaysFaultOnce()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QString folder = this->folder();
    QVERIFY(QDir().mkpath(folder));
    const QByteArray garbage = QByteArray("不是数据库\r\n") + QByteArray(4000, '\xff');
    SessionStore first;
    if (fault == u"folder under a file"_s) {
        writeFile(dir_->filePath(u"plain.txt"_s), "x");
        folder = dir_->filePath(u"plain.txt/data"_s);
    } else if (fault == u"garbage"_s) {
        writeFile(file(), garbage);
    } else {
        QCOMPARE(first.open(folder), QString());
    }
    DataFolder::setPathForTesting(folder);
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    const auto unhook = qScopeGuard([] { MessageBox::setHookForTesting({}); });

    Form1 form;
    form.keepSession();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, u"保存"_s);
    const QString aside = QDir(folder).entryList({u"session.sqlite.unreadable-*"_s}).value(0);
    QString expected = reason;
    expected.replace(u"{folder}"_s, QDir::toNativeSeparators(folder))
        .replace(u"{file}"_s, QDir::toNativeSeparators(folder + u"/session.sqlite"_s))
        .replace(u"{aside}"_s, QDir::toNativeSeparators(folder + u'/' + aside));
    QCOMPARE(shown[0].text, expected);
    // The window goes on; nothing is said twice, and nothing of the old file is lost.
    form.Text1->setPlainText(u"照常\r\n使用"_s);
    QTest::qWait(SessionKeeper::SaveDelayMs + 300);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"照常\r\n使用"_s);
    QCOMPARE(shown.size(), 1);
    if (fault == u"garbage"_s) {
        QVERIFY(!aside.isEmpty());
        QCOMPARE(readFile(folder + u'/' + aside), garbage);
        QVERIFY(form.session()->isOpen());
    } else {
        QVERIFY(!form.session()->isOpen());
    }
}

void TestStore::closingLetsGoOfTheStoreFirst_data()
{
    QTest::addColumn<bool>("diskFull"); // while the window closes
    QTest::newRow("saved") << false;
    QTest::newRow("the last save fails") << true;
}

// By the time the clipboard is handed over, the store is saved, closed and free: a window started
// then opens it at once and finds the list, or is told that the last changes are not kept.
void TestStore::closingLetsGoOfTheStoreFirst()
{
    QFETCH(bool, diskFull);
    DataFolder::setPathForTesting(folder());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    const auto unhook = qScopeGuard([] { MessageBox::setHookForTesting({}); });

    const auto form = windowWithSession();
    QVERIFY(form);
    form->Text1->setPlainText(u"减肥\r\n瘦身"_s);
    form->session()->saveNow();
    form->Text1->setPlainText(u"减肥\r\n瘦身\r\n关窗前输入的"_s);
    if (diskFull)
        failCommits({ 13 }, true);
    QString openedThen = u"（没有打开）"_s;
    QString listThen;
    form->setUnloadAction([&] {
        SessionStore next;
        QElapsedTimer waited;
        waited.start();
        openedThen = next.open();
        listThen = next.list();
        // A lock still held would keep it waiting its whole LockWaitMs and then refuse it; a loaded
        // machine under the sanitizers may take a second to open the file itself.
        QVERIFY2(waited.elapsed() < SessionStore::LockWaitMs, "the next window waited for the lock");
    });
    form->close();

    QCOMPARE(openedThen, QString());
    QCOMPARE(listThen, diskFull ? u"减肥\r\n瘦身"_s : u"减肥\r\n瘦身\r\n关窗前输入的"_s);
    QCoreApplication::processEvents();
    QCOMPARE(shown.size(), diskFull ? 1 : 0);
    if (diskFull) {
        QCOMPARE(shown[0].title, u"保存"_s);
        QCOMPARE(shown[0].text, u"没能把最后的改动保存到 %1（磁盘已满），下次打开时，列表、设置和挖掘进度是"
                                u"最后一次保存成功时的样子。"_s.arg(QDir::toNativeSeparators(file())));
    }
}

void TestStore::diskFullDuringARun_data()
{
    QTest::addColumn<QString>("fullAt"); // the disk fills as this keyword is asked ...
    QTest::addColumn<QString>("freeAt"); // ... and frees as this one is; empty: it stays full
    QTest::addColumn<QString>("killedAt"); // killed while this keyword's page is awaited
    QTest::addColumn<QString>("showed"); // the list in the window then
    QTest::addColumn<QString>("restored"); // the list at the next start

    const QString four = u"a\r\nb\r\nc\r\na1\r\na2\r\n"_s;
    const QString seven = four + u"b1\r\nc1\r\n"_s;
    QTest::newRow("one page") << u"a"_s << u"b"_s << u"a1"_s << seven << seven;
    QTest::newRow("a page and the next generation's place")
        << u"c"_s << u"a1"_s << u"a2"_s << seven + u"a11\r\n"_s << seven + u"a11\r\n"_s;
    QTest::newRow("the seed's page") << u"s"_s << u"a"_s << u"b"_s << four << four;
    QTest::newRow("full until the kill") << u"b"_s << QString() << u"a1"_s << seven << four;
}

// The disk fills during a run and frees again (or not), then the process is killed: what the window
// showed is back after the restart, or comes back with 继续挖掘, and the list ends as an uninterrupted
// run's.
void TestStore::diskFullDuringARun()
{
    QFETCH(QString, fullAt);
    QFETCH(QString, freeAt);
    QFETCH(QString, killedAt);
    QFETCH(QString, showed);
    QFETCH(QString, restored);
    const QHash<QString, QStringList> related = { { u"s"_s, { u"a"_s, u"b"_s, u"c"_s } },
                                                  { u"a"_s, { u"a1"_s, u"a2"_s } },
                                                  { u"b"_s, { u"b1"_s, u"a"_s } },
                                                  { u"c"_s, { u"c1"_s } },
                                                  { u"a1"_s, { u"a11"_s } } };
    const QString whole = u"a\r\nb\r\nc\r\na1\r\na2\r\nb1\r\nc1\r\na11\r\n"_s;
    FakeHttpServer server;
    QVERIFY(server.start());
    server.useAsApplicationProxy();
    DataFolder::setPathForTesting(folder());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    const auto unhook = qScopeGuard([] { MessageBox::setHookForTesting({}); });
    const QString copy = dir_->filePath(u"killed"_s);
    QString shownAtKill;
    {
        const auto form = windowWithSession();
        QVERIFY(form);
        Form1* window = form.get();
        server.setHandler([&, window](const FakeHttpServer::Request& request) {
            const QString keyword = SearchPages::keywordOfTarget(request.target);
            FakeHttpServer::Response response;
            response.body = SearchPages::resultPage(related.value(keyword));
            // What was queued before this request is in the file, or has failed, first.
            window->session()->store().flush();
            if (keyword == fullAt)
                failCommits({ 13 }, true);
            if (keyword == freeAt)
                SessionStore::setCommitFaultForTesting({});
            if (keyword == killedAt) {
                shownAtKill = ListReplace::keywordListText(window->Text1);
                copyAsKilled(folder(), copy);
                response.hang = true;
                QTimer::singleShot(0, window, &QWidget::close);
            }
            return response;
        });
        form->Text7->setText(u"0"_s);
        form->Text3->setText(u"s"_s);
        form->Command4->click();
    }
    SessionStore::setCommitFaultForTesting({});
    QCOMPARE(shownAtKill, showed);
    QVERIFY(shown.size() >= 1);
    QCOMPARE(shown[0].text, u"保存到 %1 失败：磁盘已满。窗口里的内容不受影响；软件会接着重试，能写入时（例如腾出"
                            u"磁盘空间以后）自动补上没保存的改动。"_s.arg(QDir::toNativeSeparators(file())));

    shown.clear();
    server.setHandler([&related](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        response.body = SearchPages::resultPage(related.value(SearchPages::keywordOfTarget(request.target)));
        return response;
    });
    DataFolder::setPathForTesting(copy);
    const auto form = windowWithSession();
    QVERIFY(form);
    QCOMPARE(ListReplace::keywordListText(form->Text1), restored);
    QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
    form->Command4->click();
    QCOMPARE(ListReplace::keywordListText(form->Text1), whole);
    QCOMPARE(shown.size(), 0);
}

QTEST_MAIN(TestStore)
#include "tst_store.moc"
