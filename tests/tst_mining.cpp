// The extraction of new related keywords, its novelty index, and whole mining runs of Form1
// against a local fake search server reached as the HTTP proxy.
#include "app/form1.h"
#include "app/messagebox.h"
#include "mining/extraction.h"
#include "mining/pacer.h"
#include "mining/pagesource.h"
#include "mining/suggestions.h"
#include "platform/datafolder.h"
#include "platform/inet.h"
#include "store/sessionstore.h"
#include "app/sessionkeeper.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"
#include "text/module1.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QMimeData>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QDropEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QScopeGuard>
#include <QRadioButton>
#include <QProcess>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <QSet>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString link(const QString& text)
{
    return u"<td><a href=\"s?wd=q&f=1\">"_s + text + u"</a></td>";
}

// Clicks the button and gives back the boxes the command showed.
QList<MessageBox::Shown> clickCollectingBoxes(QPushButton* button)
{
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    button->click();
    MessageBox::setHookForTesting({});
    return shown;
}

QString listOf(const QStringList& items)
{
    QString out;
    for (const QString& item : items)
        out += item + u"\r\n";
    return out;
}

} // namespace

class TestMining : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void extraction_data();
    void extraction();
    void noveltyIndexAgreesWithScan_data();
    void noveltyIndexAgreesWithScan();
    void noveltyIndexRandomAgreement();
    void jcfCountsAndLimit();
    void resultPageAddress_data();
    void resultPageAddress();

    void breadthFirstRun();
    void earlierTextKept();
    void secondRunSameSeedAddsNothing();
    void countLimitInSeedPage();
    void unreadableLimitAtFirstRun();
    void stopDuringSlowRequest();
    void failedSeedRequest();
    void failedLaterRequestRunGoesOn();
    void fiveFailuresInARowStopTheRun();
    void pauseBetweenQueries_data();
    void pauseBetweenQueries();
    void stopDuringPauseEndsAtOnce();
    void suggestionsJoinTheRun();
    void suggestionsPassTheRules();
    void suggestionGapAfterItsPage();
    void noSuggestionRequestAfterStop();
    void refusalTurnsToWebEngine_data();
    void refusalTurnsToWebEngine();
    void failureBoxTakesTheReasonAsItIs();
    void sessionKeptAcrossStarts();
    void recordsOfARun_data();
    void recordsOfARun();
    void killedAnywhere_data();
    void killedAnywhere();
    void placeKeptByAnEarlierVersion();
    void reservedCharactersArriveIntact();
    void emptySeedIsQueried();
    void fastRefreshEqualsWholeReplace();
    void listChangedDuringRunIsKept();
    void userPlaceKeptDuringRun_data();
    void userPlaceKeptDuringRun();
    void breaksInsideKeywordsStayOnOneLine_data();
    void breaksInsideKeywordsStayOnOneLine();
    void startWhileRunningIsRefused();
    void closeDuringRequestEndsRunAtOnce();
    void runThroughTodaysLayout();
    void blockedRunStopsWithBox_data();
    void blockedRunStopsWithBox();
    void startDuringHotWordFetchIsRefused();
    void realPagesAsSeed_data();
    void realPagesAsSeed();
    void newLayouts_data();
    void newLayouts();
    void suggestionWords_data();
    void suggestionWords();
    void suggestionAddress_data();
    void suggestionAddress();
    void paceRules_data();
    void paceRules();

private:
    // The keywords of the requests that reached the server, in order.
    QStringList askedKeywords() const;
    void serve(const QHash<QString, QStringList>& related, const QHash<QString, int>& delays = {});
    // In a process of its own: the run of killedAnywhere, killed at the moment named.
    [[noreturn]] void runUntilKilled(const QString& moment, const QString& dataFolder);

    FakeHttpServer server_;
    bool todaysLayout_ = false; // serve pages of the rs_new layout, in UTF-8
    bool utf8Pages_ = false;    // serve the classic pages in UTF-8
};

void TestMining::initTestCase()
{
    QVERIFY(server_.start());
    server_.useAsApplicationProxy();
    if (!qEnvironmentVariableIsEmpty("QINGLAN_TEST_KILL_AT"))
        runUntilKilled(qEnvironmentVariable("QINGLAN_TEST_KILL_AT"), qEnvironmentVariable("QINGLAN_TEST_DATA"));
}

void TestMining::init()
{
    server_.clearRequests();
    todaysLayout_ = false;
    utf8Pages_ = false;
    QApplication::clipboard()->setText(u"user clipboard"_s);
}

QStringList TestMining::askedKeywords() const
{
    QStringList asked;
    for (const auto& request : server_.requests())
        asked << SearchPages::keywordOfTarget(request.target);
    return asked;
}

void TestMining::serve(const QHash<QString, QStringList>& related, const QHash<QString, int>& delays)
{
    // A keyword whose related list is {"*500"} gets a server error; unknown keywords an empty page.
    server_.setHandler([related, delays, todays = todaysLayout_, utf8 = utf8Pages_](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        const QStringList links = related.value(keyword);
        response.delayMs = delays.value(keyword);
        if (links == QStringList{u"*500"_s}) {
            response.status = 500;
            return response;
        }
        if (todays) {
            response.contentType = "text/html; charset=utf-8";
            response.body = SearchPages::resultPage2026(links);
        } else {
            response.body = SearchPages::resultPage(links, utf8);
        }
        return response;
    });
}

void TestMining::extraction_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<QString>("expected");

    const QString off = u"未开启"_s;
    QTest::newRow("all new") << link(u"a1"_s) + link(u"b2"_s) << 0 << off << QStringList() << u"a1\r\nb2\r\n"_s;
    QTest::newRow("empty link text ends the scan at min length 0")
        << link(u"a1"_s) + link(QString()) + link(u"b2"_s) << 0 << off << QStringList() << u"a1\r\n"_s;
    QTest::newRow("too short ends the scan") << link(u"三个字"_s) + link(u"两字"_s) + link(u"四个字的"_s) << 2 << off
                                             << QStringList() << u"三个字\r\n"_s;
    QTest::newRow("negative min length takes empty text")
        << link(QString()) + link(u"x"_s) << -1 << off << QStringList() << u"\r\nx\r\n"_s;
    QTest::newRow("filter off by its text") << link(u"abc"_s) << 0 << u"xx未开启xx"_s << QStringList() << u"abc\r\n"_s;
    QTest::newRow("empty filter passes everything") << link(u"abc"_s) << 0 << QString() << QStringList() << u"abc\r\n"_s;
    QTest::newRow("filter letter case ignored")
        << link(u"减肥TEA"_s) + link(u"减肥茶"_s) << 0 << u"tea"_s << QStringList() << u"减肥TEA\r\n"_s;
    QTest::newRow("failing filter does not end the scan")
        << link(u"no"_s) + link(u"yes减"_s) << 0 << u"减"_s << QStringList() << u"yes减\r\n"_s;
    const QString diet = link(u"减肥方法"_s) + link(u"减肥药方法"_s) + link(u"瘦身方法"_s) + link(u"减肥茶"_s);
    QTest::newRow("filter of two words") << diet << 0 << u"减肥 方法"_s << QStringList()
                                         << u"减肥方法\r\n减肥药方法\r\n"_s;
    QTest::newRow("filter with a minus word") << diet << 0 << u"减肥 方法 -药"_s << QStringList() << u"减肥方法\r\n"_s;
    QTest::newRow("filter of full-width space and minus")
        << diet << 0 << u"\u3000减肥\u3000－药\u3000"_s << QStringList() << u"减肥方法\r\n减肥茶\r\n"_s;
    QTest::newRow("filter of minus words only") << diet << 0 << u"-药 -茶"_s << QStringList()
                                                << u"减肥方法\r\n瘦身方法\r\n"_s;
    QTest::newRow("filter words case ignored") << link(u"减肥App下载"_s) + link(u"减肥app"_s) << 0 << u"APP -下载"_s
                                               << QStringList() << u"减肥app\r\n"_s;
    QTest::newRow("known is skipped, scan goes on")
        << link(u"old"_s) + link(u"new"_s) << 0 << off << QStringList{u"old"_s} << u"new\r\n"_s;
    QTest::newRow("twice in one block is taken twice")
        << link(u"dup"_s) + link(u"dup"_s) << 0 << off << QStringList() << u"dup\r\ndup\r\n"_s;
    QTest::newRow("markup inside link text kept")
        << link(u"<em>减肥</em>茶"_s) << 0 << off << QStringList() << u"<em>减肥</em>茶\r\n"_s;
    QTest::newRow("last start marker without end") << link(u"a"_s) + u"<a href=\"&f=1\">b"_s << 0 << off
                                                   << QStringList() << u"a\r\n"_s;
    QTest::newRow("item start in capitals") << u"&F=1\">k</A>"_s << 0 << off << QStringList() << u"k\r\n"_s;
    QTest::newRow("no item markers") << u"<p>plain</p>"_s << 0 << off << QStringList() << QString();
}

void TestMining::extraction()
{
    QFETCH(QString, block);
    QFETCH(int, minLength);
    QFETCH(QString, filter);
    QFETCH(QStringList, known);
    QFETCH(QString, expected);

    const Mining::Extraction found = Mining::extractNewKeywords(
        block, QString::fromUtf16(Mining::ItemStart), QString::fromUtf16(Mining::ItemEnd), {minLength, filter},
        [&known](const QString& item) { return known.contains(item); });
    QCOMPARE(found.keywords, expected);
    QCOMPARE(found.count, int(expected.count(u"\r\n"_s)));
}

void TestMining::noveltyIndexAgreesWithScan_data()
{
    QTest::addColumn<QString>("runList");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("known");

    QTest::newRow("entry") << u"\r\na\r\nb\r\n\r\n"_s << u"b"_s << true;
    QTest::newRow("letter case ignored") << u"\r\nAbc\r\n"_s << u"aBC"_s << true;
    QTest::newRow("prefix of entry") << u"\r\nabc\r\n"_s << u"ab"_s << false;
    QTest::newRow("empty item between CRLF CRLF") << u"\r\na\r\n\r\n"_s << QString() << true;
    QTest::newRow("empty item, no double CRLF") << u"\r\na\r\n"_s << QString() << false;
    QTest::newRow("first piece is not bounded") << u"a\r\nb\r\n"_s << u"a"_s << false;
    QTest::newRow("last piece is not bounded") << u"\r\na\r\nb"_s << u"b"_s << false;
    QTest::newRow("empty run list") << QString() << u"a"_s << false;
    QTest::newRow("item with LF by scan") << u"\r\na\nb\r\n"_s << u"a\nb"_s << true;
    QTest::newRow("item spanning entries by scan") << u"\r\na\r\nb\r\n"_s << u"a\r\nb"_s << true;
    QTest::newRow("entry with lone CR") << u"\r\nab\r\r\n"_s << u"ab"_s << false;
    QTest::newRow("chinese") << u"\r\n减肥茶\r\n"_s << u"减肥茶"_s << true;
    QTest::newRow("lone surrogate is not U+FFFD") << u"\r\nab\xDE00\r\n"_s << u"ab\uFFFD"_s << false;
    QTest::newRow("lone surrogate, other case") << u"\r\nab\xDE00\r\n"_s << u"AB\xDE00"_s << true;
}

void TestMining::noveltyIndexAgreesWithScan()
{
    QFETCH(QString, runList);
    QFETCH(QString, item);
    QFETCH(bool, known);

    QCOMPARE(Mining::NoveltyIndex::isKnownByScan(runList, item), known);
    Mining::NoveltyIndex index;
    index.reset(runList);
    QCOMPARE(index.isKnown(runList, item), known);

    // Built piece by piece, as the run appends to RunList, the index answers the same.
    Mining::NoveltyIndex grown;
    grown.reset(QString());
    for (QChar c : runList)
        grown.append(QString(c));
    QCOMPARE(grown.isKnown(runList, item), known);
}

void TestMining::noveltyIndexRandomAgreement()
{
    QRandomGenerator random(7);
    const QString alphabet = u"aAbB\r\n减"_s;
    for (int round = 0; round < 300; ++round) {
        QString runList;
        Mining::NoveltyIndex index;
        index.reset(runList);
        for (int piece = 0; piece < 8; ++piece) {
            QString appended;
            const int length = random.bounded(6);
            for (int i = 0; i < length; ++i)
                appended += alphabet.at(random.bounded(alphabet.size()));
            runList += appended;
            index.append(appended);
            for (int probe = 0; probe < 6; ++probe) {
                QString item;
                const int itemLength = random.bounded(4);
                for (int i = 0; i < itemLength; ++i)
                    item += alphabet.at(random.bounded(alphabet.size()));
                QCOMPARE(index.isKnown(runList, item), Mining::NoveltyIndex::isKnownByScan(runList, item));
            }
        }
    }
}

void TestMining::jcfCountsAndLimit()
{
    Form1 form;
    form.Text7->setText(u"0"_s);
    Mining::RunSettings settings;
    settings.countLimit = 2;
    settings.minLength = 0;
    settings.containsFilter = u"未开启"_s;
    form.miningRun()->setSettings(settings);
    form.miningRun()->RunState = 1;
    form.miningRun()->RunList = u"\r\nold\r\n"_s;
    const QString block = link(u"a"_s) + link(u"old"_s) + link(u"b"_s) + link(u"c"_s);
    const QString found = form.jcf(block, QString::fromUtf16(Mining::ItemStart), u"</a>"_s);
    QCOMPARE(found, u"a\r\nb\r\nc\r\n"_s);
    QCOMPARE(form.miningRun()->FoundCount, 3);
    QCOMPARE(form.Label7->text(), u"3 个"_s);
    QCOMPARE(form.miningRun()->RunState, 2);

    // Nothing new: count, display and state stay as they were.
    form.miningRun()->RunState = 1;
    form.Label7->setText(u"before"_s);
    QCOMPARE(form.jcf(QString(), QString::fromUtf16(Mining::ItemStart), u"</a>"_s), QString());
    QCOMPARE(form.Label7->text(), u"before"_s);
    QCOMPARE(form.miningRun()->RunState, 1);

    // Today's words count on from there; the limit is checked after each one, the rest still taken.
    settings.countLimit = 4;
    form.miningRun()->setSettings(settings);
    QCOMPARE(form.jcfWords({u"d"_s, u"old"_s, u"e"_s, u"f"_s}), u"d\r\ne\r\nf\r\n"_s);
    QCOMPARE(form.miningRun()->FoundCount, 6);
    QCOMPARE(form.Label7->text(), u"6 个"_s);
    QCOMPARE(form.miningRun()->RunState, 2);
}

void TestMining::resultPageAddress_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("address");
    QTest::newRow("chinese") << u"减肥"_s << u"http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5"_s;
    QTest::newRow("reserved") << u"c++ 教程"_s << u"http://www.baidu.com/s?wd=c%2B%2B%20%E6%95%99%E7%A8%8B"_s;
    QTest::newRow("query characters") << u"a&b#c?d%e"_s << u"http://www.baidu.com/s?wd=a%26b%23c%3Fd%25e"_s;
    QTest::newRow("empty") << QString() << u"http://www.baidu.com/s?wd="_s;
}

void TestMining::resultPageAddress()
{
    QFETCH(QString, keyword);
    QFETCH(QString, address);
    QCOMPARE(Mining::resultPageAddress(keyword), address);
}

void TestMining::breadthFirstRun()
{
    serve({{u"种子"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s, u"b"_s}}, {u"b"_s, {u"d"_s}}, {u"c"_s, {u"a"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"种子"_s);
    form.Command4->click();

    QStringList asked;
    for (const auto& request : server_.requests()) {
        QCOMPARE(request.url.host(), u"www.baidu.com"_s);
        QCOMPARE(request.url.path(), u"/s"_s); // 挖掘下拉词 unticked: no suggestion request
        asked << SearchPages::keywordOfTarget(request.target);
    }
    QCOMPARE(asked, (QStringList{u"种子"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\n\r\nc\r\nd\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\nd\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"a\r\nb\r\nc\r\nd\r\n"_s);
    QCOMPARE(form.Command4->text(), u"开始挖掘"_s); // a run that ended by itself keeps no place
    QCOMPARE(form.miningRun()->RunState, 0);
    QCOMPARE(form.miningRun()->FoundCount, 4);
    QCOMPARE(form.Label7->text(), u"4 个"_s);
    QCOMPARE(form.Label2->text(), u"d"_s);
    QVERIFY(form.Label5->text().startsWith(u"开始时间："_s));
    QCOMPARE(form.Text1->textCursor().position(), form.Text1->document()->characterCount() - 1);
}

void TestMining::earlierTextKept()
{
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Text4->setText(u"2"_s); // the seed page reaches the limit: no later query
    form.Text1->setPlainText(u"old"_s);
    form.Command4->click();
    // A line break first, so that the first keyword does not join the last line.
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"old\r\na\r\nb\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"user clipboard"_s);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(server_.requests().size(), 1);

    form.Text4->setText(u"1000"_s);
    form.Text3->setText(u"a"_s);
    form.miningRun()->RunList.clear();
    form.Text1->setPlainText(u"old\r\n"_s);
    form.Command4->click();
    // Another seed: a fresh run. Seed page gives c; the query of c adds nothing, and the list stays.
    QCOMPARE(server_.requests().size(), 3);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"old\r\nc\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"old\r\nc\r\n"_s);
}

void TestMining::secondRunSameSeedAddsNothing()
{
    serve({{u"s"_s, {u"a"_s, u"b"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 3);
    const QString after = ListReplace::keywordListText(form.Text1);
    QCOMPARE(form.Label7->text(), u"2 个"_s);

    server_.clearRequests();
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(ListReplace::keywordListText(form.Text1), after);
    QCOMPARE(form.miningRun()->RunList, u"\r\n\r\n"_s);
    QCOMPARE(form.miningRun()->RunState, 0);
    QCOMPARE(form.Label7->text(), u"2 个"_s);
}

void TestMining::countLimitInSeedPage()
{
    QStringList eight;
    for (int i = 1; i <= 8; ++i)
        eight << u"词"_s + QString::number(i);
    serve({{u"s"_s, eight}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Text4->setText(u"5"_s);
    form.Command4->click();
    QCOMPARE(form.Label7->text(), u"8 个"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), listOf(eight));
    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(form.miningRun()->RunState, 2);

    // Going on asks the eight in order, and the limit counts from the click.
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);
    server_.clearRequests();
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 8);
    QCOMPARE(SearchPages::keywordOfTarget(server_.requests().at(0).target), u"词1"_s);
    QCOMPARE(SearchPages::keywordOfTarget(server_.requests().at(7).target), u"词8"_s);
    QCOMPARE(form.miningRun()->FoundCount, 0);
    QCOMPARE(form.miningRun()->RunState, 0);
}

void TestMining::unreadableLimitAtFirstRun()
{
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Text4->setText(u"abc"_s);
    form.Text6->setText(u"1e99"_s);
    form.Command4->click();
    QCOMPARE(form.miningRun()->settings().countLimit, 0);
    QCOMPARE(form.miningRun()->settings().minLength, 0);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\n"_s);
    QCOMPARE(server_.requests().size(), 1);

    // A later unreadable text keeps the value read before.
    form.Text4->setText(u"7.9"_s);
    form.Command4->click();
    form.Text4->setText(u""_s);
    form.Command4->click();
    QCOMPARE(form.miningRun()->settings().countLimit, 7);
}

void TestMining::stopDuringSlowRequest()
{
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}, {u"b"_s, {u"d"_s}}}, {{u"a"_s, 600}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    QTimer::singleShot(250, &form, [&form] { form.Command5->click(); });
    form.Command4->click();
    // The page being read is taken in full; no further query follows.
    QCOMPARE(server_.requests().size(), 2);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\n\r\nc\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\n"_s);
    QVERIFY(form.Label6->text().startsWith(u"已查询："_s));

    // The place is kept while the seed stands in Text3; the caption follows every edit.
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"b"_s, u"c"_s}));
    form.Text3->setText(u"s2"_s);
    QCOMPARE(form.Command4->text(), u"开始挖掘"_s);
    form.Text3->setText(u"s"_s);
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);

    // Going on: no seed request, b first, then the next generation, as if never interrupted.
    server_.clearRequests();
    form.Command4->click();
    const QStringList asked = askedKeywords();
    QCOMPARE(asked, (QStringList{u"b"_s, u"c"_s, u"d"_s}));
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\n\r\nc\r\nd\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\nd\r\n"_s);
    QCOMPARE(form.miningRun()->FoundCount, 1); // counted from the click
    QCOMPARE(form.miningRun()->RunState, 0);
    QCOMPARE(form.Command4->text(), u"开始挖掘"_s);
}

void TestMining::failedSeedRequest()
{
    serve({{u"s"_s, {u"*500"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Text1->setPlainText(u"keep me"_s);
    form.miningRun()->RunList = u"\r\nearlier\r\n"_s;
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"keep me"_s);
    QCOMPARE(form.miningRun()->RunList, u"\r\nearlier\r\n"_s);
    QCOMPARE(form.miningRun()->RunState, 0);
    // Asked once more, as every failed page is, before the run gives up.
    QCOMPARE(askedKeywords(), (QStringList{u"s"_s, u"s"_s}));
    QCOMPARE(form.Command4->text(), u"开始挖掘"_s);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, u"挖掘已停止"_s);
    QCOMPARE(shown[0].text, u"没能获取搜索词的百度结果页（服务器返回错误 500），挖掘已停止。请检查网络后重新开始挖掘。"_s);
}

void TestMining::failedLaterRequestRunGoesOn()
{
    // a fails: it is asked once more after b, the last of its pass, and before c of the next one.
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"*500"_s}}, {u"b"_s, {u"c"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);
    QCOMPARE(askedKeywords(), (QStringList{u"s"_s, u"a"_s, u"b"_s, u"a"_s, u"c"_s}));
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\n\r\nc\r\n"_s);
    QCOMPARE(form.miningRun()->RunState, 0);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, u"挖掘已停止"_s);
    QCOMPARE(shown[0].text, u"挖掘已结束，但有 1 个关键词的结果页没能获取，点“继续挖掘”可以再试一次。"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), QStringList{u"a"_s});
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);

    // Answered at last, a's keyword joins the list and the run goes on with it.
    serve({{u"a"_s, {u"d"_s}}});
    server_.clearRequests();
    QVERIFY(clickCollectingBoxes(form.Command4).isEmpty());
    QCOMPARE(askedKeywords(), (QStringList{u"a"_s, u"d"_s}));
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\nd\r\n"_s);
    QCOMPARE(form.Command4->text(), u"开始挖掘"_s);
}

void TestMining::fiveFailuresInARowStopTheRun()
{
    const QStringList seedPage{u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s, u"g"_s, u"k1"_s, u"k2"_s,
                               u"k3"_s, u"k4"_s, u"k5"_s, u"k6"_s};
    QHash<QString, QStringList> related{{u"s"_s, seedPage}, {u"g"_s, {u"x"_s}}};
    for (const QString& failing : {u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s, u"k1"_s, u"k2"_s, u"k3"_s, u"k4"_s, u"k5"_s})
        related.insert(failing, {u"*500"_s});
    serve(related);
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);
    // Four failures, then g answers; five more in a row end the run before k6.
    QCOMPARE(server_.requests().size(), 11);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, u"挖掘已停止"_s);
    QCOMPARE(shown[0].text, u"连续 5 个关键词的百度结果页都没能获取（最后一次：服务器返回错误 500），挖掘已停止。"
                            u"列表中现有 12 个关键词，检查网络后点“继续挖掘”接着挖。"_s);
    // The five first, then the rest of the pass, then the four waiting for their second try.
    QCOMPARE(form.miningRun()->pendingKeywords(),
             (QStringList{u"k1"_s, u"k2"_s, u"k3"_s, u"k4"_s, u"k5"_s, u"k6"_s, u"e1"_s, u"e2"_s, u"e3"_s, u"e4"_s,
                          u"x"_s}));
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);

    // The network is back: the five come first.
    related = {{u"s"_s, seedPage}, {u"g"_s, {u"x"_s}}};
    serve(related);
    server_.clearRequests();
    form.Command4->click();
    const QStringList asked = askedKeywords();
    QCOMPARE(asked, (QStringList{u"k1"_s, u"k2"_s, u"k3"_s, u"k4"_s, u"k5"_s, u"k6"_s, u"e1"_s, u"e2"_s, u"e3"_s,
                                 u"e4"_s, u"x"_s}));
    QCOMPARE(form.miningRun()->RunState, 0);
}

void TestMining::pauseBetweenQueries_data()
{
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("shortestMs");
    QTest::addColumn<int>("longestMs");
    QTest::newRow("1 second: between 0.5 and 1.5") << u"1"_s << 480 << 1700;
    QTest::newRow("full-width 1") << u"１"_s << 480 << 1700;
    QTest::newRow("0.5: between 0.25 and 0.75") << u"0.5"_s << 240 << 950;
    QTest::newRow("full-width 0．5") << u"０．５"_s << 240 << 950;
    QTest::newRow("0: none") << u"0"_s << 0 << 250;
    QTest::newRow("below 0 counts as 0") << u"-3"_s << 0 << 250;
}

void TestMining::pauseBetweenQueries()
{
    QFETCH(QString, seconds);
    QFETCH(int, shortestMs);
    QFETCH(int, longestMs);
    QElapsedTimer clock;
    clock.start();
    QList<qint64> arrivals;
    server_.setHandler([&clock, &arrivals](const FakeHttpServer::Request& request) {
        arrivals << clock.elapsed();
        FakeHttpServer::Response response;
        if (SearchPages::keywordOfTarget(request.target) == u"s")
            response.body = SearchPages::resultPage({u"a"_s, u"b"_s, u"c"_s});
        return response;
    });
    Form1 form;
    form.Text7->setText(seconds);
    form.Text3->setText(u"s"_s);
    form.Command4->click();
    QCOMPARE(arrivals.size(), 4);
    // Never before the seed request; before each later one.
    QVERIFY2(arrivals[0] < 250, QByteArray::number(arrivals[0]).constData());
    for (int i = 1; i < arrivals.size(); ++i) {
        const qint64 gap = arrivals[i] - arrivals[i - 1];
        QVERIFY2(gap >= shortestMs && gap <= longestMs, QByteArray::number(gap).constData());
    }
}

void TestMining::stopDuringPauseEndsAtOnce()
{
    serve({{u"s"_s, {u"a"_s, u"b"_s}}});
    Form1 form;
    form.Text7->setText(u"9999"_s); // 600 at most
    form.Text3->setText(u"s"_s);
    QTimer::singleShot(300, &form, [&form] { form.Command5->click(); });
    QElapsedTimer clock;
    clock.start();
    form.Command4->click();
    QVERIFY2(clock.elapsed() < 1500, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(form.miningRun()->settings().pauseSeconds, 600.0);
    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);

    // A text that is no number keeps the pause read before.
    form.Text7->setText(u"两秒"_s);
    QTimer::singleShot(300, &form, [&form] { form.Command5->click(); });
    form.Command4->click();
    QCOMPARE(form.miningRun()->settings().pauseSeconds, 600.0);
    QCOMPARE(server_.requests().size(), 1);
}

namespace {

// The fake engine with its search box: result pages by keyword, suggestion answers by keyword. A
// result page whose list is {"*500"} gets a server error; one whose list begins with "*500 once" gets
// it the first time it is asked, and the rest of its list after that.
FakeHttpServer::Handler engineWithSuggestions(const QHash<QString, QStringList>& related,
                                              const QHash<QString, QByteArray>& suggestions)
{
    auto failedOnce = std::make_shared<QSet<QString>>();
    return [related, suggestions, failedOnce](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        if (request.url.path() != u"/sugrec") {
            QStringList links = related.value(keyword);
            if (links.value(0) == u"*500 once" && !failedOnce->contains(keyword)) {
                failedOnce->insert(keyword);
                links = QStringList{u"*500"_s};
            }
            if (links.value(0) == u"*500 once")
                links.removeFirst();
            if (links == QStringList{u"*500"_s})
                response.status = 500;
            else
                response.body = SearchPages::resultPage(links);
            return response;
        }
        const QByteArray answer = suggestions.value(keyword);
        if (answer == "404") {
            response.status = 404;
        } else if (answer == "refused") {
            response.status = 302;
            response.extraHeaders.append(qMakePair(QByteArray("Location"), QByteArray("https://wappass.baidu.com/static/captcha/tuxing.html?ak=1")));
        } else {
            response.contentType = "application/json"; // no charset: the service's answers are UTF-8
            response.body = answer;
        }
        return response;
    };
}

QByteArray sugAnswer(const QByteArray& elements)
{
    return R"({"q":"x","p":false,"g":[)" + elements + R"(],"slid":"1","queryid":"0x1"})";
}

} // namespace

void TestMining::suggestionsJoinTheRun()
{
    const QByteArray tenWords = sugAnswer(
        R"({"type":"sug","sa":"s_1","q":"减肥餐"},{"type":"sug","sa":"s_2","q":"A"},)"
        R"({"type":"his","sa":"h_1","q":"history"},{"type":"sug","sa":"s_3","q":"  减肥\u8336   推荐 "},)"
        R"({"sa":"s_4","q":"减肥\/运动"},{"type":"sug","sa":"s_5","q":"减肥方法"},{"type":"sug","sa":"s_6","q":"减肥操"},)"
        R"({"type":"sug","sa":"s_7","q":"减肥药"},{"type":"sug","sa":"s_8","q":"减肥食谱"},)"
        R"({"type":"sug","sa":"s_9","q":"减肥\"小\"技巧"},{"type":"sug","sa":"s_10","q":"减肥打卡"})");
    server_.setHandler(engineWithSuggestions(
        {{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}},
        {{u"s"_s, tenWords},
         {u"a"_s, "window.baidu.sug(" + sugAnswer(R"({"type":"sug","q":"w"})") + ");"},
         {u"b"_s, "404"},
         {u"减肥餐"_s, sugAnswer("")},
         {u"减肥茶 推荐"_s, R"({"q":"x","g":[{"type":"sug","q":"cut)"},
         {u"c"_s, "refused"}}));
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Check1->setChecked(true);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);

    // Each keyword's result page, then at once its suggestions; a refused, missing or broken
    // answer gives nothing and the run goes on.
    QStringList asked;
    for (const auto& request : server_.requests())
        asked << request.url.path() + u' ' + SearchPages::keywordOfTarget(request.target);
    const QStringList generation1{u"a"_s, u"b"_s, u"减肥餐"_s, u"减肥茶 推荐"_s, u"减肥/运动"_s, u"减肥方法"_s,
                                  u"减肥操"_s, u"减肥药"_s, u"减肥食谱"_s, u"减肥\"小\"技巧"_s, u"减肥打卡"_s};
    QStringList expected{u"/s s"_s, u"/sugrec s"_s};
    for (const QString& keyword : generation1 + QStringList{u"c"_s, u"w"_s})
        expected << u"/s "_s + keyword << u"/sugrec "_s + keyword;
    QCOMPARE(asked.join(u'|'), expected.join(u'|'));
    QCOMPARE(server_.requests().at(1).target,
             QByteArray("http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=s"));
    // "a" is also on the seed page: taken once, as the related word.
    QCOMPARE(form.miningRun()->RunList, u"\r\n"_s + listOf(generation1) + u"\r\nc\r\nw\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), listOf(generation1) + u"c\r\nw\r\n"_s);
    QCOMPARE(form.Label7->text(), u"13 个"_s);
    QCOMPARE(form.miningRun()->RunState, 0);
    QVERIFY(shown.isEmpty());
}

void TestMining::suggestionsPassTheRules()
{
    // Longer than 1 character and containing "k": a short word ends the scan of its own list only.
    server_.setHandler(engineWithSuggestions(
        {{u"s"_s, {u"kk1"_s, u"k"_s, u"kk2"_s}}},
        {{u"s"_s, sugAnswer(R"({"q":"kk1"},{"q":"nok"},{"q":"xx"},{"q":"KK3"},{"q":"k"},{"q":"kk4"})")}}));
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text6->setText(u"1"_s);
    form.Text4->setText(u"2"_s);
    form.Check4->setChecked(true);
    form.Text5->setText(u"K"_s);
    form.Text3->setText(u"s"_s);
    form.Check1->setChecked(true);
    form.Command4->click();
    // The limit of 2 is reached within the seed's lists; every new keyword of them is still taken.
    QCOMPARE(server_.requests().size(), 2);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"kk1\r\nnok\r\nkk3\r\n"_s);
    QCOMPARE(form.Label7->text(), u"3 个"_s);
    QCOMPARE(form.miningRun()->RunState, 2);
}

void TestMining::suggestionGapAfterItsPage()
{
    QElapsedTimer clock;
    clock.start();
    QList<QPair<QString, qint64>> arrivals;
    server_.setHandler([&clock, &arrivals](const FakeHttpServer::Request& request) {
        arrivals << qMakePair(request.url.path(), clock.elapsed());
        FakeHttpServer::Response response;
        if (request.url.path() == u"/s")
            response.body = SearchPages::resultPage({});
        else
            response.body = sugAnswer("");
        return response;
    });
    Form1 form;
    form.Text7->setText(u"0.1"_s);
    form.Text3->setText(u"s"_s);
    form.Check1->setChecked(true);
    form.Command4->click();
    QCOMPARE(arrivals.size(), 2);
    QCOMPARE(arrivals[1].first, u"/sugrec"_s);
    const qint64 gap = arrivals[1].second - arrivals[0].second;
    // The upper end leaves room for a machine loaded by the sanitizers and other tests.
    QVERIFY2(gap >= 190 && gap <= 2500, QByteArray::number(gap).constData());
}

void TestMining::noSuggestionRequestAfterStop()
{
    // Stop while a's page is on its way: its page is taken, its suggestions are not asked.
    server_.setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        if (request.url.path() == u"/sugrec") {
            response.body = sugAnswer(R"({"q":"甲"})");
            return response;
        }
        response.body = SearchPages::resultPage(keyword == u"s" ? QStringList{u"a"_s, u"b"_s} : QStringList{u"c"_s});
        response.delayMs = keyword == u"a" ? 600 : 0;
        return response;
    });
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Check1->setChecked(true);
    QTimer::singleShot(300, &form, [&form] { form.Command5->click(); });
    form.Command4->click();
    QStringList asked;
    for (const auto& request : server_.requests())
        asked << request.url.path() + u' ' + SearchPages::keywordOfTarget(request.target);
    QCOMPARE(asked, (QStringList{u"/s s"_s, u"/sugrec s"_s, u"/s a"_s}));
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\n甲\r\nc\r\n"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"b"_s, u"甲"_s, u"c"_s}));
    // Nothing is sent once the run has ended.
    QTest::qWait(300);
    QCOMPARE(server_.requests().size(), 3);
}

namespace {

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

} // namespace

namespace {

// The web engine's way in, as the run sees it: a fetch component of its own whose requests carry a
// cookie that the fake engine knows the web engine by.
class FakeWebSource : public Mining::PageSource
{
public:
    FakeWebSource()
    {
        QNetworkCookie cookie("via", "web");
        cookie.setDomain(u".baidu.com"_s);
        cookie.setPath(u"/"_s);
        inet_.cookieJar()->setCookiesFromUrl({cookie}, QUrl(u"http://www.baidu.com/"_s));
    }
    FetchResult fetch(const QString& address, Inet::Expect expect) override { return inet_.OpenURL(address, expect); }
    void abort() override { inet_.abort(); }
    QString name() const override { return u"网页引擎"_s; }

private:
    Inet inet_;
};

bool viaWeb(const FakeHttpServer::Request& request)
{
    for (const auto& [field, value] : request.headers) {
        if (field.compare("Cookie", Qt::CaseInsensitive) == 0 && value.contains("via=web"))
            return true;
    }
    return false;
}

} // namespace

void TestMining::refusalTurnsToWebEngine_data()
{
    using V = Mining::MiningRun::Verification;
    QTest::addColumn<bool>("redirect");   // the refusal is a redirect to the verification, else its page
    QTest::addColumn<int>("answer");      // what the verification window reports
    QTest::addColumn<bool>("webEngine");  // the web engine can start
    QTest::addColumn<bool>("refuseWeb");  // the engine refuses the web engine's a too
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("box");     // empty: none
    QTest::addColumn<QStringList>("pending");
    // The program started again with the session: what the engine does then (empty: not started
    // again), what the run of t asks and the box it ends with.
    QTest::addColumn<QString>("restart");
    QTest::addColumn<QStringList>("askedAfterRestart");
    QTest::addColumn<QString>("boxAfterRestart");
    QTest::addColumn<int>("windowsAfterRestart");
    QTest::addColumn<int>("webSourcesAfterRestart"); // how often the web engine was asked to start
    QTest::addColumn<bool>("prefersAfterRestart");   // the choice kept for the start after

    const QString refused = u"查询太频繁，百度要求进行安全验证，挖掘已停止。列表中现有 2 个关键词，可以先导出txt，稍后点“继续挖掘”接着挖。"_s;
    const QString refusedAfterPass = u"已经通过了安全验证，但百度仍然拒绝查询，挖掘已停止。列表中现有 2 个关键词，请稍后点“继续挖掘”再试。"_s;
    const QString refusedOfFour = u"查询太频繁，百度要求进行安全验证，挖掘已停止。列表中现有 4 个关键词，可以先导出txt，稍后点“继续挖掘”接着挖。"_s;
    const QString none;
    const QStringList throughWeb {u"s"_s, u"a"_s, u"web a"_s, u"web b"_s, u"web c"_s, u"web d"_s};
    // The next start asks through the web engine from its first query: the fetcher is not refused again.
    QTest::newRow("served at once: on through the web engine")
        << false << int(V::Served) << true << false << throughWeb << none << QStringList() << u"web engine answers"_s
        << QStringList{u"web t"_s, u"web e"_s} << none << 0 << 1 << true;
    QTest::newRow("passed, the fetcher refused again")
        << true << int(V::Passed) << true << false
        << QStringList{u"s"_s, u"a"_s, u"a"_s, u"web a"_s, u"web b"_s, u"web c"_s, u"web d"_s} << none
        << QStringList() << u"web engine answers"_s << QStringList{u"web t"_s, u"web e"_s} << none << 0 << 1 << true;
    // The web engine the last start chose cannot start: the fetcher asks, and its refusal is handled
    // as always.
    QTest::newRow("served, then no web engine at the next start")
        << false << int(V::Served) << true << false << throughWeb << none << QStringList() << u"no web engine"_s
        << QStringList{u"t"_s} << refusedOfFour << 1 << 2 << true;
    // The engine refuses the web engine it served before: the choice is forgotten, the verification
    // window comes, and its answer decides as always.
    QTest::newRow("served, then the web engine refused at the next start")
        << false << int(V::Served) << true << false << throughWeb << none << QStringList() << u"web refused"_s
        << QStringList{u"web t"_s, u"web t"_s} << refusedOfFour << 1 << 2 << false;
    QTest::newRow("passed, the web engine refused too")
        << true << int(V::Passed) << true << true << QStringList{u"s"_s, u"a"_s, u"a"_s, u"web a"_s}
        << refusedAfterPass << QStringList{u"a"_s, u"b"_s} << none << QStringList() << none << 0 << 0 << false;
    QTest::newRow("not passed") << true << int(V::NotPassed) << true << false << QStringList{u"s"_s, u"a"_s}
                                << refused << QStringList{u"a"_s, u"b"_s} << none << QStringList() << none << 0
                                << 0 << false;
    // Nothing to remember: the next start asks through the fetcher first, and turns to the web
    // engine as always.
    QTest::newRow("served, but no web engine")
        << false << int(V::Served) << false << false << QStringList{u"s"_s, u"a"_s} << refused
        << QStringList{u"a"_s, u"b"_s} << u"web engine answers"_s << QStringList{u"t"_s, u"web t"_s, u"web e"_s}
        << none << 1 << 1 << true;
}

void TestMining::refusalTurnsToWebEngine()
{
    QFETCH(bool, redirect);
    QFETCH(int, answer);
    QFETCH(bool, webEngine);
    QFETCH(bool, refuseWeb);
    QFETCH(QStringList, asked);
    QFETCH(QString, box);
    QFETCH(QStringList, pending);
    QFETCH(QString, restart);
    QFETCH(QStringList, askedAfterRestart);
    QFETCH(QString, boxAfterRestart);
    QFETCH(int, windowsAfterRestart);
    QFETCH(int, webSourcesAfterRestart);
    QFETCH(bool, prefersAfterRestart);

    QTemporaryDir data;
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });

    // The engine answers the seed to anyone, and every later page only to the web engine.
    QElapsedTimer clock;
    clock.start();
    QList<qint64> arrivals;
    QList<qint64> refusals;
    const auto engine = [&clock, &arrivals, &refusals, redirect](bool refuse, const QString& keyword) {
        arrivals << clock.elapsed();
        FakeHttpServer::Response response;
        if (refuse) {
            refusals << arrivals.last();
            if (redirect) {
                response.status = 302;
                response.extraHeaders.append(qMakePair(QByteArray("Location"), QByteArray("https://wappass.baidu.com/static/captcha/tuxing.html?ak=1")));
            } else {
                response.contentType = "text/html; charset=utf-8";
                response.body = "<html><head><title>百度安全验证</title></head><body></body></html>";
            }
            return response;
        }
        const QHash<QString, QStringList> related{{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}, {u"b"_s, {u"d"_s}},
                                                  {u"t"_s, {u"e"_s}}};
        response.body = SearchPages::resultPage(related.value(keyword));
        return response;
    };
    server_.setHandler([=](const FakeHttpServer::Request& request) {
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        const bool web = viaWeb(request);
        return engine(keyword != u"s" && (!web || (refuseWeb && keyword == u"a")), keyword);
    });
    int windows = 0;
    int webSources = 0;
    bool webCanStart = webEngine;
    const auto hook = [&](Form1& form) {
        form.miningRun()->verify = [&windows, answer](const FetchResult& refusedPage) {
            ++windows;
            if (!refusedPage.verification)
                QTest::qFail("not a refusal", __FILE__, __LINE__);
            return Mining::MiningRun::Verification(answer);
        };
        form.miningRun()->webSourceFactory = [&webSources, &webCanStart]() -> std::unique_ptr<Mining::PageSource> {
            ++webSources;
            if (!webCanStart)
                return nullptr;
            return std::make_unique<FakeWebSource>();
        };
    };
    const auto seen = [this] {
        QStringList keywords;
        for (const auto& request : server_.requests())
            keywords << (viaWeb(request) ? u"web "_s : QString()) + SearchPages::keywordOfTarget(request.target);
        return keywords;
    };
    // Never a request of any kind within two seconds after a refusal.
    const auto checkCoolDown = [&arrivals, &refusals] {
        for (const qint64 refusal : std::as_const(refusals)) {
            for (const qint64 arrival : std::as_const(arrivals)) {
                if (arrival > refusal && arrival - refusal < 2000)
                    QFAIL(qPrintable(u"%1 ms after a refusal"_s.arg(arrival - refusal)));
            }
        }
    };

    std::unique_ptr<Form1> form = windowWithSession();
    QVERIFY(form);
    hook(*form);
    form->Text7->setText(u"0"_s);
    form->Text3->setText(u"s"_s);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form->Command4);

    QCOMPARE(seen(), asked);
    QCOMPARE(windows, 1); // one window for the refused keyword, whatever happened after
    QCOMPARE(shown.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(shown[0].title, u"挖掘已停止"_s);
        QCOMPARE(shown[0].text, box);
        QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
    }
    QCOMPARE(form->miningRun()->pendingKeywords(), pending);
    checkCoolDown();

    if (box.isEmpty()) {
        // The switch holds for the next run: no more refusals, no window.
        QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\nc\r\nd\r\n"_s);
        QVERIFY(form->miningRun()->usesWebEngine());
        server_.clearRequests();
        form->Text3->setText(u"b"_s);
        form->miningRun()->RunList.clear();
        QVERIFY(clickCollectingBoxes(form->Command4).isEmpty());
        QCOMPARE(windows, 1);
        QCOMPARE(webSources, 1);
        for (const auto& request : server_.requests())
            QVERIFY(viaWeb(request));
    }
    if (restart.isEmpty())
        return;

    // The next start of the program, with what the session kept.
    form->close();
    form.reset();
    server_.clearRequests();
    // The pace is the program's: a new start knows nothing of the last one's refusal.
    arrivals.clear();
    refusals.clear();
    windows = 0;
    webSources = 0;
    webCanStart = restart != u"no web engine"_s;
    const bool refuseAll = restart == u"web refused"_s;
    server_.setHandler([=](const FakeHttpServer::Request& request) {
        return engine(refuseAll || !viaWeb(request), SearchPages::keywordOfTarget(request.target));
    });
    form = windowWithSession();
    QVERIFY(form);
    hook(*form);
    QCOMPARE(form->miningRun()->prefersWebEngine(), box.isEmpty());
    form->Text3->setText(u"t"_s);
    const QList<MessageBox::Shown> shownAfterRestart = clickCollectingBoxes(form->Command4);
    QCOMPARE(seen(), askedAfterRestart);
    QCOMPARE(windows, windowsAfterRestart);
    QCOMPARE(webSources, webSourcesAfterRestart);
    QCOMPARE(shownAfterRestart.size(), boxAfterRestart.isEmpty() ? 0 : 1);
    if (!boxAfterRestart.isEmpty())
        QCOMPARE(shownAfterRestart[0].text, boxAfterRestart);
    // Refused, the choice is forgotten for the start after; kept when the web engine only could not start.
    QCOMPARE(form->miningRun()->prefersWebEngine(), prefersAfterRestart);
    checkCoolDown();
    form->close();
}

namespace {

// A way in that never gets a page, for a reason of its own.
class FailingSource : public Mining::PageSource
{
public:
    explicit FailingSource(QString reason)
        : reason_(std::move(reason))
    {
    }
    FetchResult fetch(const QString&, Inet::Expect) override
    {
        ++asked;
        FetchResult failed;
        failed.error = reason_;
        return failed;
    }
    void abort() override { }
    QString name() const override { return u"网页引擎"_s; }
    int asked = 0;

private:
    QString reason_;
};

} // namespace

void TestMining::failureBoxTakesTheReasonAsItIs()
{
    // The seed is answered; then the engine refuses the fetcher and serves the web engine, whose
    // pages all fail with a reason that looks like place-holders.
    server_.setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (SearchPages::keywordOfTarget(request.target) == u"s") {
            response.body = SearchPages::resultPage({u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s});
        } else {
            response.contentType = "text/html; charset=utf-8";
            response.body = "<html><head><title>百度安全验证</title></head></html>";
        }
        return response;
    });
    Form1 form;
    form.miningRun()->verify = [](const FetchResult&) { return Mining::MiningRun::Verification::Served; };
    form.miningRun()->webSourceFactory = [] { return std::make_unique<FailingSource>(u"坏了 %1 %2"_s); };
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, u"连续 5 个关键词的百度结果页都没能获取（最后一次：坏了 %1 %2），挖掘已停止。"
                            u"列表中现有 5 个关键词，检查网络后点“继续挖掘”接着挖。"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}));
}

void TestMining::sessionKeptAcrossStarts()
{
    QTemporaryDir data;
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}, {u"b"_s, {u"d"_s}}, {u"t"_s, {u"e"_s, u"A"_s}}});
    {
        const auto form = windowWithSession();
        QVERIFY(form);
        form->Text7->setText(u"0"_s);
        form->Text4->setText(u"1"_s); // stops right after the seed page
        form->Text3->setText(u"s"_s);
        form->Command4->click();
        QCOMPARE(form->miningRun()->pendingKeywords(), (QStringList{u"a"_s, u"b"_s}));
        // Another seed keeps the first seed's place; its "A" is a line of the list already.
        form->Text4->setText(u"100"_s);
        form->Text3->setText(u"t"_s);
        form->Command4->click();
        QCOMPARE(form->Label7->text(), u"1 个"_s);
        QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\ne\r\n"_s);
        form->Text3->setText(u"s"_s);
        QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
        form->Text1->moveCursor(QTextCursor::End);
        form->Text1->insertPlainText(u"手工 输入"_s);
        form->Check1->setChecked(true);
        form->Option6->setChecked(true);
        form->close();
    }
    server_.clearRequests();
    serve({{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}, {u"b"_s, {u"d"_s}}, {u"t"_s, {u"e"_s}}});
    {
        // Everything as it was, and the first seed goes on where it stopped.
        const auto form = windowWithSession();
        QVERIFY(form);
        QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\ne\r\n手工 输入"_s);
        QCOMPARE(form->Text3->text(), u"s"_s);
        QCOMPARE(form->Text4->text(), u"100"_s);
        QCOMPARE(form->Text7->text(), u"0"_s);
        QVERIFY(form->Check1->isChecked());
        QVERIFY(form->Option6->isChecked());
        QVERIFY(!form->Option3->isChecked());
        QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
        form->Check1->setChecked(false);
        form->Command4->click();
        QCOMPARE(askedKeywords(), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
        QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\ne\r\n手工 输入\r\nc\r\nd\r\n"_s);

        // The same seed again, its run forgotten: every keyword is asked, none added twice.
        server_.clearRequests();
        form->miningRun()->RunList.clear();
        form->Command4->click();
        QCOMPARE(askedKeywords(), (QStringList{u"s"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
        QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\ne\r\n手工 输入\r\nc\r\nd\r\n"_s);
        QCOMPARE(form->Command4->text(), u"开始挖掘"_s);
        form->close();
    }
    // Where each keyword came from.
    Store::SessionStore store;
    QCOMPARE(store.open(data.path()), QString());
    const QHash<QString, Store::KeywordRecord> records = store.records({u"a"_s, u"c"_s, u"e"_s, u"手工 输入"_s});
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[u"a"_s].source, u"相关搜索"_s);
    QCOMPARE(records[u"a"_s].parent, u"s"_s);
    QCOMPARE(records[u"a"_s].generation, 1);
    QCOMPARE(records[u"a"_s].seenCount, 3); // listed by s's page twice and by t's as "A"
    QCOMPARE(records[u"c"_s].parent, u"a"_s);
    QCOMPARE(records[u"c"_s].generation, 2);
    QCOMPARE(records[u"c"_s].seed, u"s"_s);
    QCOMPARE(records[u"e"_s].seed, u"t"_s);
    QCOMPARE(store.places().size(), 0);
}

namespace {

using RelatedPages = QHash<QString, QStringList>;
using SuggestionAnswers = QHash<QString, QByteArray>;

// The records of the keywords, in their order: "keyword source parent=P gen=G seen=N".
QStringList recordsOf(Store::SessionStore& store, const QStringList& keywords)
{
    const QHash<QString, Store::KeywordRecord> records = store.records(keywords);
    QStringList lines;
    for (const QString& keyword : keywords) {
        const auto record = records.constFind(keyword);
        lines << (record == records.cend() ? keyword + u" -"_s
                                           : u"%1 %2 parent=%3 gen=%4 seen=%5"_s.arg(
                                                 keyword, record->source, record->parent,
                                                 QString::number(record->generation),
                                                 QString::number(record->seenCount)));
    }
    return lines;
}

} // namespace

void TestMining::recordsOfARun_data()
{
    QTest::addColumn<RelatedPages>("related");
    QTest::addColumn<SuggestionAnswers>("suggestions"); // none: 挖掘下拉词 unticked
    QTest::addColumn<RelatedPages>("later"); // the engine when 继续挖掘 is clicked; none: one click
    QTest::addColumn<bool>("restart"); // the program is closed and started again before 继续挖掘
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("boxes");

    const QString oneFailed = u"挖掘已结束，但有 1 个关键词的结果页没能获取，点“继续挖掘”可以再试一次。"_s;
    QTest::newRow("a page lists a keyword twice, its suggestions once more")
        << RelatedPages{{u"s"_s, {u"a"_s, u"a"_s, u"b"_s}}, {u"a"_s, {u"d"_s}}, {u"b"_s, {u"a"_s}}}
        << SuggestionAnswers{{u"s"_s, sugAnswer(R"({"q":"c"},{"q":"a"})")}} << RelatedPages() << false
        << QStringList{u"/s s"_s, u"/sugrec s"_s, u"/s a"_s, u"/sugrec a"_s, u"/s b"_s, u"/sugrec b"_s,
                       u"/s c"_s, u"/sugrec c"_s, u"/s d"_s, u"/sugrec d"_s}
        << u"a\r\nb\r\nc\r\nd\r\n"_s
        << QStringList{u"a 相关搜索 parent=s gen=1 seen=2"_s, u"b 相关搜索 parent=s gen=1 seen=1"_s,
                       u"c 下拉词 parent=s gen=1 seen=1"_s, u"d 相关搜索 parent=a gen=2 seen=1"_s}
        << QStringList();
    for (const bool restart : { false, true }) {
        QTest::newRow(restart ? "a keyword that failed twice keeps its generation across a restart"
                              : "a keyword that failed twice keeps its generation")
            << RelatedPages{{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"*500"_s}}, {u"b"_s, {u"c"_s}}, {u"c"_s, {u"d"_s}}}
            << SuggestionAnswers()
            << RelatedPages{{u"a"_s, {u"x"_s}}, {u"x"_s, {u"y"_s}}} << restart
            << QStringList{u"/s s"_s, u"/s a"_s, u"/s b"_s, u"/s a"_s, u"/s c"_s, u"/s d"_s,
                           u"/s a"_s, u"/s x"_s, u"/s y"_s}
            << u"a\r\nb\r\nc\r\nd\r\nx\r\ny\r\n"_s
            << QStringList{u"a 相关搜索 parent=s gen=1 seen=1"_s, u"b 相关搜索 parent=s gen=1 seen=1"_s,
                           u"c 相关搜索 parent=b gen=2 seen=1"_s, u"d 相关搜索 parent=c gen=3 seen=1"_s,
                           u"x 相关搜索 parent=a gen=2 seen=1"_s, u"y 相关搜索 parent=x gen=3 seen=1"_s}
            << QStringList{oneFailed};
    }
    QTest::newRow("a failed seed page whose suggestions came back")
        << RelatedPages{{u"s"_s, {u"*500"_s}}}
        << SuggestionAnswers{{u"s"_s, sugAnswer(R"({"q":"c"})")}}
        << RelatedPages{{u"s"_s, {u"a"_s, u"c"_s}}} << false
        << QStringList{u"/s s"_s, u"/sugrec s"_s, u"/s s"_s, u"/sugrec s"_s, u"/s c"_s, u"/sugrec c"_s,
                       u"/s s"_s, u"/sugrec s"_s, u"/s a"_s, u"/sugrec a"_s}
        << u"c\r\na\r\n"_s
        << QStringList{u"c 下拉词 parent=s gen=1 seen=3"_s, u"a 相关搜索 parent=s gen=1 seen=1"_s}
        << QStringList{oneFailed};
    QTest::newRow("a failed seed page whose suggestions came back, across a restart")
        << RelatedPages{{u"s"_s, {u"*500"_s}}}
        << SuggestionAnswers{{u"s"_s, sugAnswer(R"({"q":"c"})")}}
        << RelatedPages{{u"s"_s, {u"a"_s, u"c"_s}}, {u"a"_s, {u"e"_s}}} << true
        << QStringList{u"/s s"_s, u"/sugrec s"_s, u"/s s"_s, u"/sugrec s"_s, u"/s c"_s, u"/sugrec c"_s,
                       u"/s s"_s, u"/sugrec s"_s, u"/s a"_s, u"/sugrec a"_s, u"/s e"_s, u"/sugrec e"_s}
        << u"c\r\na\r\ne\r\n"_s
        << QStringList{u"c 下拉词 parent=s gen=1 seen=3"_s, u"a 相关搜索 parent=s gen=1 seen=1"_s,
                       u"e 相关搜索 parent=a gen=2 seen=1"_s}
        << QStringList{oneFailed};
    QTest::newRow("a failed seed page answered on its second try")
        << RelatedPages{{u"s"_s, {u"*500 once"_s, u"a"_s, u"c"_s}}}
        << SuggestionAnswers{{u"s"_s, sugAnswer(R"({"q":"c"})")}} << RelatedPages() << false
        << QStringList{u"/s s"_s, u"/sugrec s"_s, u"/s s"_s, u"/sugrec s"_s, u"/s c"_s, u"/sugrec c"_s,
                       u"/s a"_s, u"/sugrec a"_s}
        << u"c\r\na\r\n"_s
        << QStringList{u"c 下拉词 parent=s gen=1 seen=2"_s, u"a 相关搜索 parent=s gen=1 seen=1"_s}
        << QStringList();
}

void TestMining::recordsOfARun()
{
    QFETCH(RelatedPages, related);
    QFETCH(SuggestionAnswers, suggestions);
    QFETCH(RelatedPages, later);
    QFETCH(bool, restart);
    QFETCH(QStringList, asked);
    QFETCH(QString, list);
    QFETCH(QStringList, records);
    QFETCH(QStringList, boxes);

    QTemporaryDir data;
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    server_.setHandler(engineWithSuggestions(related, suggestions));
    auto form = windowWithSession();
    QVERIFY(form);
    form->Text7->setText(u"0"_s);
    form->Text3->setText(u"s"_s);
    form->Check1->setChecked(!suggestions.isEmpty());
    QStringList shown;
    for (const MessageBox::Shown& box : clickCollectingBoxes(form->Command4))
        shown << box.text;
    if (!later.isEmpty()) {
        if (restart) {
            form->close();
            form.reset();
            form = windowWithSession();
            QVERIFY(form);
        }
        QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
        server_.setHandler(engineWithSuggestions(later, suggestions));
        for (const MessageBox::Shown& box : clickCollectingBoxes(form->Command4))
            shown << box.text;
    }
    QStringList requested;
    for (const auto& request : server_.requests())
        requested << request.url.path() + u' ' + SearchPages::keywordOfTarget(request.target);
    QCOMPARE(requested, asked);
    QCOMPARE(ListReplace::keywordListText(form->Text1), list);
    QCOMPARE(recordsOf(form->session()->store(), list.split(u"\r\n"_s, Qt::SkipEmptyParts)), records);
    QCOMPARE(shown, boxes);
    QCOMPARE(form->Command4->text(), u"开始挖掘"_s);
}

namespace {

// The run of killedAnywhere: s gives a and b, its suggestions c and a again; a gives d and b again;
// b gives e, its suggestions d again; d gives f.
FakeHttpServer::Handler killedRunEngine()
{
    return engineWithSuggestions(
        {{u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"d"_s, u"b"_s}}, {u"b"_s, {u"e"_s}}, {u"d"_s, {u"f"_s}}},
        {{u"s"_s, sugAnswer(R"({"q":"c"},{"q":"a"})")}, {u"b"_s, sugAnswer(R"({"q":"d"})")}});
}

[[noreturn]] void killNow(Form1* form, bool committed)
{
    // What was handed to the store is on the disk first, when the moment says so.
    if (committed)
        form->session()->store().flush();
    std::fprintf(stderr, "killed at the moment\n");
    std::fflush(stderr);
    ::raise(SIGKILL);
    std::_Exit(4);
}

} // namespace

void TestMining::runUntilKilled(const QString& moment, const QString& dataFolder)
{
    // "before the first place", "after write N" (the N-th place or page the run handed to the store,
    // committed), "at request N" (its arrival, every write before it committed), "at request N
    // unwritten" (its arrival, whatever the writer has committed by then).
    const int number = moment.section(u' ', 2, 2).toInt();
    DataFolder::setPathForTesting(dataFolder);
    int requests = 0;
    const FakeHttpServer::Handler engine = killedRunEngine();
    auto form = std::make_unique<Form1>();
    Form1* window = form.get();
    Mining::MiningRun* run = window->miningRun();
    server_.setHandler([&](const FakeHttpServer::Request& request) {
        if (moment.startsWith(u"at request") && ++requests == number)
            killNow(window, !moment.endsWith(u"unwritten"));
        return engine(request);
    });
    // Before the store is told: connected ahead of the session.
    if (moment == u"before the first place")
        connect(run, &Mining::MiningRun::placeWritten, window, [window] { killNow(window, true); });
    form->keepSession();
    if (moment.startsWith(u"after write")) {
        const auto written = [window, number, count = std::make_shared<int>(0)] {
            if (++*count == number)
                killNow(window, true);
        };
        connect(run, &Mining::MiningRun::placeWritten, window, written);
        connect(run, &Mining::MiningRun::pageAsked, window, written);
        connect(run, &Mining::MiningRun::placeDropped, window, written);
    }
    form->show();
    if (QTest::qWaitForWindowExposed(window) && QTest::qWaitFor([window] { return window->session()->isOpen(); }, 5000)) {
        window->Text7->setText(u"0"_s);
        window->Text3->setText(u"s"_s);
        window->Check1->setChecked(true);
        window->session()->saveNow();
        window->Command4->click();
    }
    std::fprintf(stderr, "not killed\n");
    std::_Exit(3);
}

void TestMining::killedAnywhere_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("placeKept"); // 继续挖掘 after the restart: 1, 开始挖掘: 0, either: -1

    QTest::newRow("the settings saved, no place yet") << u"before the first place"_s << 0;
    QTest::newRow("the seed's place written") << u"after write 1"_s << 1;
    QTest::newRow("the seed page awaited") << u"at request 1"_s << 1;
    QTest::newRow("the seed page answered, its suggestions awaited") << u"at request 2"_s << 1;
    QTest::newRow("the seed's page kept, its pass not yet over") << u"after write 2"_s << 1;
    QTest::newRow("the first generation's pass written") << u"after write 3"_s << 1;
    QTest::newRow("the first keyword's page awaited") << u"at request 3"_s << 1;
    QTest::newRow("the first keyword's suggestions awaited") << u"at request 4"_s << 1;
    QTest::newRow("the first keyword's page kept") << u"after write 4"_s << 1;
    QTest::newRow("the second keyword's page awaited") << u"at request 5"_s << 1;
    QTest::newRow("the second keyword's page kept") << u"after write 5"_s << 1;
    QTest::newRow("the second generation's pass written") << u"after write 7"_s << 1;
    // With no pause the run may be pages ahead of the writer: the place kept may be any before.
    QTest::newRow("the second keyword's page awaited, the writer behind") << u"at request 5 unwritten"_s << -1;
}

void TestMining::killedAnywhere()
{
    QFETCH(QString, moment);
    QFETCH(int, placeKept);

    // The program, killed as a crash or a power cut kills it.
    QTemporaryDir data;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QINGLAN_TEST_KILL_AT"_s, moment);
    environment.insert(u"QINGLAN_TEST_DATA"_s, data.path());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QCoreApplication::applicationFilePath(), {u"killedAnywhere"_s}); // dies in initTestCase
    QVERIFY(program.waitForFinished(30000));
    const QByteArray output = program.readAll();
    QVERIFY2(program.exitStatus() == QProcess::CrashExit && output.contains("killed at the moment"),
             output.constData());

    // Started again: 继续挖掘 where a place was kept, else 开始挖掘, ends as a run never cut off.
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    server_.setHandler(killedRunEngine());
    const QString whole = u"a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n"_s;
    {
        const auto form = windowWithSession();
        QVERIFY(form);
        QCOMPARE(form->Text3->text(), u"s"_s);
        QVERIFY(form->Check1->isChecked());
        if (placeKept >= 0)
            QCOMPARE(form->Command4->text(), placeKept ? u"继续挖掘"_s : u"开始挖掘"_s);
        QVERIFY(clickCollectingBoxes(form->Command4).isEmpty());
        QCOMPARE(ListReplace::keywordListText(form->Text1), whole);
        QCOMPARE(form->Command4->text(), u"开始挖掘"_s);
        form->close();
    }
    Store::SessionStore store;
    QCOMPARE(store.open(data.path()), QString());
    QCOMPARE(store.list(), whole);
    QCOMPARE(store.places().size(), 0);
    QCOMPARE(recordsOf(store, whole.split(u"\r\n"_s, Qt::SkipEmptyParts)),
             (QStringList{u"a 相关搜索 parent=s gen=1 seen=1"_s, u"b 相关搜索 parent=s gen=1 seen=2"_s,
                          u"c 下拉词 parent=s gen=1 seen=1"_s, u"d 相关搜索 parent=a gen=2 seen=2"_s,
                          u"e 相关搜索 parent=b gen=2 seen=1"_s, u"f 相关搜索 parent=d gen=3 seen=1"_s}));
}

void TestMining::placeKeptByAnEarlierVersion()
{
    // Written before the seed was a pass of its own: the seed pending, an empty pass.
    QTemporaryDir data;
    {
        Store::SessionStore store;
        QCOMPARE(store.open(data.path()), QString());
        store.saveSettings({{u"Text3"_s, u"s"_s}, {u"Text7"_s, u"0"_s}});
        Mining::Place kept;
        kept.seed = u"s"_s;
        kept.seedPending = true;
        kept.runList = u"\r\nearlier\r\n"_s;
        store.writePlace(kept);
    }
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    serve({{u"s"_s, {u"a"_s, u"earlier"_s}}, {u"a"_s, {u"b"_s}}});
    const auto form = windowWithSession();
    QVERIFY(form);
    QCOMPARE(form->Command4->text(), u"继续挖掘"_s);
    QVERIFY(clickCollectingBoxes(form->Command4).isEmpty());
    QCOMPARE(askedKeywords(), (QStringList{u"s"_s, u"a"_s, u"b"_s}));
    QCOMPARE(ListReplace::keywordListText(form->Text1), u"a\r\nb\r\n"_s);
    QCOMPARE(form->miningRun()->RunList, u"\r\na\r\n\r\nb\r\n"_s);
}

void TestMining::reservedCharactersArriveIntact()
{
    serve({{u"c++ 教程"_s, {u"a&b#c"_s, u"50%?"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"c++ 教程"_s);
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 3);
    QCOMPARE(server_.requests().at(0).target, QByteArray("http://www.baidu.com/s?wd=c%2B%2B%20%E6%95%99%E7%A8%8B"));
    QCOMPARE(SearchPages::keywordOfTarget(server_.requests().at(1).target), u"a&b#c"_s);
    QCOMPARE(SearchPages::keywordOfTarget(server_.requests().at(2).target), u"50%?"_s);
}

void TestMining::emptySeedIsQueried()
{
    serve({{QString(), {u"Latin CAPS"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(QString());
    form.Command4->click();
    QCOMPARE(server_.requests().at(0).target, QByteArray("http://www.baidu.com/s?wd="));
    // The block comes back in lower case.
    QCOMPARE(form.miningRun()->RunList, u"\r\nlatin caps\r\n\r\n"_s);
}

void TestMining::fastRefreshEqualsWholeReplace()
{
    // A tree: s lists k0..k3, and every kN lists four later keywords, some of them already known.
    QHash<QString, QStringList> related;
    // Link texts holding a lone CR, a lone LF, U+2028 or U+2029: each break is a space in the keyword.
    related.insert(u"s"_s, {u"k0"_s, u"k1"_s, u"cr\rk"_s, u"k2"_s, u"lf\nk"_s, u"k3"_s});
    related.insert(u"cr k"_s, {u"ls\u2028k"_s, u"k5"_s});
    related.insert(u"lf k"_s, {u"ps\u2029k"_s, u"cr\rk"_s});
    related.insert(u"ls k"_s, {u"k7"_s, u"x\r"_s});
    for (int i = 0; i < 60; ++i)
        related.insert(u"k%1"_s.arg(i), {u"k%1"_s.arg(4 * i + 1), u"k%1"_s.arg(4 * i + 2), u"k%1"_s.arg(4 * i + 3),
                                        u"K%1"_s.arg(i / 2)});
    utf8Pages_ = true;
    serve(related);
    Form1 fast;
    fast.Text7->setText(u"0"_s);
    fast.Text3->setText(u"s"_s);
    fast.Command4->click();
    const int fastRequests = server_.requests().size();
    server_.clearRequests();

    Form1 plain;

    plain.Text7->setText(u"0"_s);
    plain.setPlainRefreshForBenchmark(true);
    plain.Text3->setText(u"s"_s);
    plain.Command4->click();
    QCOMPARE(server_.requests().size(), fastRequests);
    QVERIFY(fastRequests > 100);
    QCOMPARE(fast.miningRun()->RunList, plain.miningRun()->RunList);
    QCOMPARE(ListReplace::keywordListText(fast.Text1), ListReplace::keywordListText(plain.Text1));
    QVERIFY(fast.miningRun()->RunList.startsWith(u"\r\nk0\r\nk1\r\ncr k\r\nk2\r\nlf k\r\nk3\r\n\r\n"_s));
    QVERIFY(fast.miningRun()->RunList.contains(u"\r\nls k\r\n"_s) && fast.miningRun()->RunList.contains(u"\r\nps k\r\n"_s));
    QVERIFY(fast.miningRun()->RunList.contains(u"\r\nx \r\n"_s));
    // The list shows the keywords without RunList's empty entries.
    const QString shown = fast.miningRun()->RunList.mid(2).replace(u"k3\r\n\r\n"_s, u"k3\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(fast.Text1), shown);
    QCOMPARE(QApplication::clipboard()->text(), shown);
    QCOMPARE(fast.Text1->textCursor().position(), plain.Text1->textCursor().position());
}

void TestMining::listChangedDuringRunIsKept()
{
    // s gives a, b; a gives c; b gives d; c gives e; the pages of b and c take 400 ms.
    const QHash<QString, QStringList> related{
        {u"s"_s, {u"a"_s, u"b"_s}}, {u"a"_s, {u"c"_s}}, {u"b"_s, {u"d"_s}}, {u"c"_s, {u"e"_s}}};
    server_.setHandler([related](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (request.url.host() == u"top.baidu.com") {
            // The written hot list is gone; today's board answers.
            if (request.url.path() == u"/api/board") {
                response.contentType = "application/json";
                response.body = R"({"data":{"cards":[{"content":[{"word":"热词"}]}]}})";
            } else {
                response.status = 404;
            }
            return response;
        }
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        response.delayMs = keyword == u"b" || keyword == u"c" ? 400 : 0;
        response.body = SearchPages::resultPage(related.value(keyword));
        return response;
    });
    QTemporaryDir folder;
    QFile file(folder.filePath(u"词.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("dropped\r\n") == 9);
    file.close();

    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Text1->setPlainText(u"before\r\n"_s);
    // While the run waits for b, 获取 adds the hot words and a keyword file is dropped on the list;
    // while it waits for c, the user types a line without a line break. All of it stays: the run
    // only adds to the end of the list as it stands.
    QTimer::singleShot(200, &form, [&form, &folder] {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(folder.filePath(u"词.txt"_s))});
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Text1->viewport(), &enter);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Text1->viewport(), &drop);
        QCoreApplication::processEvents();
        form.Command10->click();
        QTimer::singleShot(400, &form, [&form] {
            form.Text1->moveCursor(QTextCursor::End);
            QTest::keyClicks(form.Text1, u"typed"_s);
        });
    });
    form.Command4->click();
    const QString list = u"before\r\na\r\nb\r\nc\r\ndropped\r\n热词\r\nd\r\ntyped\r\ne\r\n"_s;
    QCOMPARE(ListReplace::keywordListText(form.Text1), list);
    QCOMPARE(QApplication::clipboard()->text(), list);
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\n\r\nc\r\nd\r\ne\r\n"_s);

    // Every addition is one step of the list's undo history, the user's typing between them too;
    // undone one by one, each takes away exactly what it added.
    const QStringList undone{u"before\r\na\r\nb\r\nc\r\ndropped\r\n热词\r\nd\r\ntyped"_s,
                             u"before\r\na\r\nb\r\nc\r\ndropped\r\n热词\r\nd\r\n"_s,
                             u"before\r\na\r\nb\r\nc\r\ndropped\r\n热词\r\n"_s,
                             u"before\r\na\r\nb\r\nc\r\ndropped\r\n"_s,
                             u"before\r\na\r\nb\r\nc\r\n"_s,
                             u"before\r\na\r\nb\r\n"_s,
                             u"before\r\n"_s};
    for (const QString& step : undone) {
        QVERIFY(form.Text1->document()->isUndoAvailable());
        form.Text1->undo();
        QCOMPARE(ListReplace::keywordListText(form.Text1), step);
    }
    QVERIFY(!form.Text1->document()->isUndoAvailable());
}

void TestMining::userPlaceKeptDuringRun_data()
{
    // Text1 holds 300 lines of four characters, line n starting at 5 n. While the seed page is
    // awaited, the user puts the caret or a selection and scrolls the view; then three appends come.
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("top"); // first line in view
    QTest::addColumn<bool>("follows");

    QTest::newRow("caret in the middle") << 250 << 250 << 40 << false;
    QTest::newRow("view away from the caret") << 250 << 250 << 200 << false;
    QTest::newRow("selection in the middle") << 200 << 302 << 35 << false;
    QTest::newRow("selection up from the end") << 1500 << 1000 << 180 << false;
    QTest::newRow("everything selected") << 0 << 1500 << 0 << false;
    QTest::newRow("caret at the end follows") << 1500 << 1500 << 290 << true;
}

void TestMining::userPlaceKeptDuringRun()
{
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, top);
    QFETCH(bool, follows);

    QHash<QString, QStringList> related{{u"s"_s, {u"p1"_s, u"p2"_s}}};
    for (int i = 0; i < 30; ++i) {
        related[u"p1"_s] << u"q"_s + QString::number(i);
        related[u"p2"_s] << u"r"_s + QString::number(i);
    }
    serve(related, {{u"s"_s, 300}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    QString lines;
    for (int i = 0; i < 300; ++i)
        lines += u"行"_s + QString::number(1000 + i).right(3) + u"\r\n";
    form.Text1->setPlainText(lines);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTimer::singleShot(100, &form, [&] {
        QTextCursor cursor(form.Text1->document());
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        form.Text1->setTextCursor(cursor);
        form.Text1->verticalScrollBar()->setValue(top);
    });
    form.Command4->click();

    QCOMPARE(server_.requests().size(), 63);
    QCOMPARE(form.Text1->document()->blockCount(), 363);
    const QTextCursor caret = form.Text1->textCursor();
    if (follows) {
        QCOMPARE(caret.position(), 1726); // 1500, then p1 p2, q0 to q29 and r0 to r29 with their breaks
        QVERIFY(!caret.hasSelection());
        QCOMPARE(form.Text1->verticalScrollBar()->value(), form.Text1->verticalScrollBar()->maximum());
    } else {
        QCOMPARE(caret.anchor(), anchor);
        QCOMPARE(caret.position(), position);
        QCOMPARE(form.Text1->verticalScrollBar()->value(), top);
    }
}

void TestMining::breaksInsideKeywordsStayOnOneLine_data()
{
    QTest::addColumn<bool>("todays"); // the words of today's layout rather than the classic block
    QTest::addColumn<QString>("lineBreak");

    for (const bool todays : {false, true}) {
        const char* layout = todays ? "rs_new, " : "classic, ";
        QTest::addRow("%sU+2028", layout) << todays << u"\u2028"_s;
        QTest::addRow("%sU+2029", layout) << todays << u"\u2029"_s;
        QTest::addRow("%sU+FDD0", layout) << todays << u"\uFDD0"_s;
        QTest::addRow("%sU+FDD1", layout) << todays << u"\uFDD1"_s;
        QTest::addRow("%slone CR", layout) << todays << u"\r"_s;
        QTest::addRow("%slone LF", layout) << todays << u"\n"_s;
        QTest::addRow("%sCRLF", layout) << todays << u"\r\n"_s;
        QTest::addRow("%sNEL", layout) << todays << u"\u0085"_s;
    }
}

void TestMining::breaksInsideKeywordsStayOnOneLine()
{
    QFETCH(bool, todays);
    QFETCH(QString, lineBreak);

    // The break becomes one space: the keyword is one line in the list and in the clipboard, and it
    // is asked with the space.
    todaysLayout_ = todays;
    utf8Pages_ = true;
    serve({{u"s"_s, {u"a"_s + lineBreak + u"b", u"c"_s}}, {u"a b"_s, {u"d"_s + lineBreak + u"e"}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    form.Command4->click();
    QCOMPARE(askedKeywords(), (QStringList{u"s"_s, u"a b"_s, u"c"_s, u"d e"_s}));
    QCOMPARE(form.miningRun()->RunList, u"\r\na b\r\nc\r\n\r\nd e\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a b\r\nc\r\nd e\r\n"_s);
    QCOMPARE(form.Text1->document()->blockCount(), 4);
    QCOMPARE(QApplication::clipboard()->text(), u"a b\r\nc\r\nd e\r\n"_s);
}

void TestMining::startWhileRunningIsRefused()
{
    serve({{u"s"_s, {u"a"_s}}, {u"a"_s, {u"b"_s}}}, {{u"a"_s, 400}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    QTimer::singleShot(150, &form, [&form] {
        QVERIFY(form.miningInProgress());
        form.Command4->click();
    });
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 3);
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\n\r\nb\r\n"_s);
    QCOMPARE(form.miningRun()->FoundCount, 2);
    QVERIFY(!form.miningInProgress());
}

void TestMining::closeDuringRequestEndsRunAtOnce()
{
    Form1 form;
    form.Text7->setText(u"0"_s);
    bool unloaded = false;
    form.setUnloadAction([&unloaded] { unloaded = true; });
    form.Text3->setText(u"s"_s);
    form.show();
    // The window closes once the request for "a" has arrived; that page never comes.
    QElapsedTimer sinceClose;
    server_.setHandler([&form, &sinceClose](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (SearchPages::keywordOfTarget(request.target) == u"a") {
            response.hang = true;
            QTimer::singleShot(0, &form, [&form, &sinceClose] {
                sinceClose.start();
                form.close();
            });
        } else {
            response.body = SearchPages::resultPage({u"a"_s});
        }
        return response;
    });
    form.Command4->click();
    QVERIFY(sinceClose.isValid());
    QVERIFY2(sinceClose.elapsed() < 1000, QByteArray::number(sinceClose.elapsed()).constData());
    QVERIFY(unloaded);
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\n\r\n"_s);
    QCOMPARE(server_.requests().size(), 2);
}

void TestMining::runThroughTodaysLayout()
{
    todaysLayout_ = true;
    serve({{u"种子"_s, {u"A&B"_s, u"b \"引号\""_s}}, {u"a&b"_s, {u"c"_s, u"b \"引号\""_s}}, {u"c"_s, {u"d"_s}}});
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"种子"_s);
    form.Command4->click();
    const QStringList asked = askedKeywords();
    QCOMPARE(asked, (QStringList{u"种子"_s, u"a&b"_s, u"b \"引号\""_s, u"c"_s, u"d"_s}));
    QCOMPARE(server_.requests().at(1).target, QByteArray("http://www.baidu.com/s?wd=a%26b"));
    QCOMPARE(form.miningRun()->RunList, u"\r\na&b\r\nb \"引号\"\r\n\r\nc\r\nd\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a&b\r\nb \"引号\"\r\nc\r\nd\r\n"_s);
    QCOMPARE(form.Label7->text(), u"4 个"_s);
    QCOMPARE(form.miningRun()->RunState, 0);
}

void TestMining::blockedRunStopsWithBox_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("redirect to wappass") << 302
                                         << QByteArray("https://wappass.baidu.com/static/captcha/tuxing_v2.html?&ak=1&backurl=x")
                                         << QByteArray();
    QTest::newRow("redirect to a captcha path") << 302 << QByteArray("/captcha/check?x=1") << QByteArray();
    QTest::newRow("verification page") << 200 << QByteArray()
                                       << QByteArray("<html><head><TITLE>百度安全验证</TITLE></head>"
                                                     "<body>网络不给力，请稍后重试</body></html>");
}

void TestMining::blockedRunStopsWithBox()
{
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(QByteArray, body);

    // s gives a, b, c; the query of b is answered with the verification.
    bool refuse = true;
    server_.setHandler([=, &refuse](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        const QString keyword = SearchPages::keywordOfTarget(request.target);
        if (keyword == u"b" && refuse) {
            response.status = status;
            response.contentType = "text/html; charset=utf-8";
            if (!location.isEmpty())
                response.extraHeaders.append({"Location", location});
            response.body = body;
        } else {
            response.body = SearchPages::resultPage(keyword == u"s" ? QStringList{u"a"_s, u"b"_s, u"c"_s}
                                                                     : QStringList{keyword + u"1"_s});
        }
        return response;
    });
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    const QList<MessageBox::Shown> shown = clickCollectingBoxes(form.Command4);

    QCOMPARE(server_.requests().size(), 3);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(form.miningRun()->RunList, u"\r\na\r\nb\r\nc\r\n\r\na1\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\na1\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"a\r\nb\r\nc\r\na1\r\n"_s);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, u"挖掘已停止"_s);
    QCOMPARE(shown[0].text, u"查询太频繁，百度要求进行安全验证，挖掘已停止。列表中现有 4 个关键词，可以先导出txt，稍后点“继续挖掘”接着挖。"_s);

    // Later the engine answers again: the refused keyword is asked first, without the seed.
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"b"_s, u"c"_s, u"a1"_s}));
    refuse = false;
    server_.clearRequests();
    form.Text4->setText(u"3"_s);
    form.Command4->click();
    const QStringList asked = askedKeywords();
    QCOMPARE(asked, (QStringList{u"b"_s, u"c"_s, u"a1"_s}));
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb\r\nc\r\na1\r\nb1\r\nc1\r\na11\r\n"_s);
    QCOMPARE(form.miningRun()->RunState, 2); // the limit of 3
    QCOMPARE(form.miningRun()->pendingKeywords(), (QStringList{u"b1"_s, u"c1"_s, u"a11"_s}));
    refuse = true;

    // The seed page itself refused: the list keeps what it held, and the box says so.
    server_.clearRequests();
    form.Text3->setText(u"b"_s);
    form.Text1->setPlainText(u"甲\r\n乙"_s);
    const QList<MessageBox::Shown> refusedSeed = clickCollectingBoxes(form.Command4);
    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(form.miningRun()->RunState, 2);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"甲\r\n乙"_s);
    QCOMPARE(refusedSeed.size(), 1);
    QVERIFY(refusedSeed[0].text.contains(u"现有 2 个关键词"_s));
    QCOMPARE(form.Command4->text(), u"继续挖掘"_s);
    QCOMPARE(form.miningRun()->pendingKeywords(), QStringList{u"b"_s});
}

void TestMining::startDuringHotWordFetchIsRefused()
{
    server_.setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        response.delayMs = request.url.host() == u"www.baidu.com" ? 0 : 400;
        response.body = SearchPages::resultPage({u"a"_s});
        return response;
    });
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"s"_s);
    QTimer::singleShot(150, &form, [&form] {
        QCOMPARE(form.Command10->text(), u"正在获取.."_s);
        form.Command4->click();
    });
    // The written hot list holds no block, so the board of today is asked too; neither gives a
    // keyword, which the box says.
    QCOMPARE(clickCollectingBoxes(form.Command10).size(), 1);
    QCOMPARE(server_.requests().size(), 2);
    QVERIFY(server_.requests().at(0).url.host() != u"www.baidu.com");
    QVERIFY(server_.requests().at(1).url.host() != u"www.baidu.com");
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QVERIFY(!form.miningInProgress());
}

void TestMining::realPagesAsSeed_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("words");

    const QByteArray html = "text/html";
    const QByteArray utf8 = "text/html; charset=utf-8";
    // The classic block is there, but its links end "&amp;f=1&amp;rsv_ers=xdt0\">": it gives no item, and
    // the words come from the <div id="rs"> around it.
    QTest::newRow("2011") << u"baidu_s_mozilla_tp5n-talos-pagesets_2011_gb2312.html"_s << html
                          << QStringList{u"mozilla firefox"_s, u"mozilla 4.0"_s, u"mozilla sunbird"_s, u"mozilla基金会"_s,
                                         u"mozilla宣言"_s, u"mozilla.org"_s, u"mozilla 论坛"_s, u"mozilla是什么"_s,
                                         u"mozilla.com"_s, u"mozilla 官网"_s};
    QTest::newRow("2018 div rs") << u"baidu_s_shanghai-mingtian-tianqi_IEE-homework_2018_utf8.html"_s << utf8
                                 << QStringList{u"上海明天天气预报详细"_s, u"上海明日天气预报"_s, u"上海明天天气24小时"_s,
                                                u"上海天气预报"_s, u"上海明天有台风吗"_s, u"上海天气预报24小时表"_s,
                                                u"上海 天气预报24小时"_s, u"上海明天上午天气情况"_s, u"上海今天天气2345"_s};
    QTest::newRow("2020 div rs, Python") << u"baidu_s_python_BaiduSpider_2020_utf8.html"_s << utf8
                                         << QStringList{u"python有什么用"_s, u"python为什么叫爬虫"_s, u"python教程"_s,
                                                        u"python官网"_s, u"python爬虫教程"_s, u"python和java"_s,
                                                        u"python代码"_s, u"python软件"_s, u"python3"_s};
    QTest::newRow("2020 div rs, 新冠") << u"baidu_s_xinguan_BaiduSpider_2020_utf8.html"_s << utf8
                                       << QStringList{u"全国新冠新增最新消息"_s, u"新冠百度百科"_s, u"新冠和普通感冒的区别"_s,
                                                      u"新冠百科"_s, u"全国新冠肺炎最新情况"_s, u"全世界新肺炎最新数据"_s,
                                                      u"新冠肺炎症状"_s, u"新冠的症状"_s, u"新冠肺炎1分钟自测"_s};
    QTest::newRow("2022 rs_new") << u"baidu_s_helan-agenting_yaklang_2022_utf8.html"_s << utf8
                                 << QStringList{u"阿根廷荷兰冲突最新消息"_s, u"阿根廷5比0荷兰"_s, u"荷兰vs阿根廷上半场比分"_s,
                                                u"阿根廷荷兰今晚争四强"_s, u"保加利亚为什么不加入南斯拉夫"_s,
                                                u"俄罗斯在乌克兰抓到的最大鱼"_s, u"阿尔巴尼亚为什么和苏联交恶"_s,
                                                u"阿根廷对荷兰世界杯"_s, u"葡萄牙阿根廷交战记录"_s, u"英国1982年对阿根廷的战争"_s};
    QTest::newRow("2018 hot list") << u"baidu_top_buzz_b1_IEE-homework_2018_gb2312.html"_s << html << QStringList();
}

void TestMining::realPagesAsSeed()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, words);
    QFile page(QFINDTESTDATA(u"data/real-pages/"_s + file));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray bytes = page.readAll();
    // Every query gets the same page, so the words of the seed page are all known afterwards.
    server_.setHandler([bytes, contentType](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.contentType = contentType;
        response.body = bytes;
        return response;
    });

    Form1 form;

    form.Text7->setText(u"0"_s);
    form.Text1->setPlainText(u"mine"_s);
    form.Command4->click();
    QCOMPARE(server_.requests().size(), 1 + words.size());
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"mine\r\n"_s.left(words.isEmpty() ? 4 : 6) + listOf(words));
    QCOMPARE(form.miningRun()->RunList, u"\r\n"_s + listOf(words) + u"\r\n");
    QCOMPARE(form.miningRun()->RunState, 0);
}

void TestMining::newLayouts_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");

    const QString off = u"未开启"_s;
    const QString open = u"<div class=\"x\" id=\"rs_new\">"_s;
    const QString titles = u"<table class=\"rs-table_9\"><tr><td><a title=\"Tea &amp; 茶\" class=\"c rs-link_NEW\" "
                           u"href=\"/s?wd=a\">x</a><a title=\"not this\" class=\"other\">y</a>"
                           u"<a class=\"rs-link_X\" href=\"/s\"><span class=\"rs-text_1\"> 无 &lt;标题&gt; </span></a>"
                           u"</td></tr></table><a title=\"after\" class=\"rs-link_1\">z</a>"_s;
    QTest::newRow("s-data words, not the titles")
        << open + u"<!--s-data:{\"newList\":[[{\"word\":\"A1\"},{\"word\":\"b2\"}],[{\"word\":\"c3\"}]]}-->"_s + titles
        << 0 << off << u"a1\r\nb2\r\nc3\r\n"_s;
    QTest::newRow("escaped JSON") << open + u"<!--s-data:{\"newList\":[[{\"word\":\"\\\"\\u4e2d\\/x\"}]]}-->"_s
                                  << 0 << off << u"\"中/x\r\n"_s;
    QTest::newRow("JSON cut off: titles") << open + u"<!--s-data:{\"newList\":[[{\"word\":\"a1\"-->"_s + titles << 0
                                          << off << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("no s-data: titles") << open + titles << 0 << off << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("classic block wins")
        << link(u"Old"_s).prepend(u"<table><tr><th>相关搜索</th>"_s) + u"</table>"_s + open
               + u"<!--s-data:{\"newList\":[[{\"word\":\"new\"}]]}-->"_s
        << 0 << off << u"old\r\n"_s;
    QTest::newRow("rs_new before div rs")
        << u"<div id=\"rs\"><table><tr><th><a href=\"/s\">older</a></th></tr></table>"_s + open + titles << 0 << off
        << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("div rs: th links up to </table>")
        << u"<DIV ID=\"rs\"><div class=\"tt\">相关搜索</div><table><tr><th rowspan=\"2\">标题</th><th><a href=\"/s?wd=1\">"
           u"Python<em>教程</em></a></th><td><a href=\"/s\">td</a></td><th> <a href='/s>'>  &#20013;&#x6587;\n词 </a></th>"
           u"</tr></table><th><a href=\"/s\">outside</a></th>"_s
        << 0 << off << u"python教程\r\n中文 词\r\n"_s;
    QTest::newRow("min length ends the scan")
        << open + u"<!--s-data:{\"newList\":[[{\"word\":\"三个字\"},{\"word\":\"两字\"}],[{\"word\":\"四个字的\"}]]}-->"_s
        << 2 << off << u"三个字\r\n"_s;
    QTest::newRow("contains filter")
        << open + u"<!--s-data:{\"newList\":[[{\"word\":\"减肥茶\"},{\"word\":\"瘦身\"}],[{\"word\":\"减肥TEA\"}]]}-->"_s
        << 0 << u"减肥t"_s << u"减肥tea\r\n"_s;
    QTest::newRow("no layout") << u"<div id=\"rsx\"><a class=\"rs-link_1\" title=\"t\">x</a>"_s << 0 << off << QString();
    const QString sData = u"<!--s-data:{\"newList\":[[{\"word\":\"Real1\"},{\"word\":\"real2\"}]]}-->"_s;
    QTest::newRow("selector string in a script ahead")
        << u"<script>var rs = document.querySelector('#rs_new'); $(\"#rs_new\").show();</script>"_s + open + sData
        << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("template ahead")
        << u"<script type=\"text/template\"><div id=\"rs_new\"></div></script><p>x</p>"_s + open + sData << 0 << off
        << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("id named in another attribute ahead")
        << u"<a href=\"#rs_new\" data-target=\"rs_new\">跳到相关搜索</a><style>#rs_new{}</style>"_s + open + titles << 0
        << off << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("single-quoted id") << u"<div class='x' id='rs_new'>"_s + sData << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("unquoted id, capitals") << u"<DIV ID=RS_NEW class=x>"_s + sData << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("tabs and line breaks between attributes")
        << u"<div\n\tclass=\"x\"\r\n\tid = \"rs_new\"\n>\n "_s + sData << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("s-data of another shape: titles")
        << open + u"<!--s-data:{\"list\":[{\"word\":\"no\"}],\"newList\":{\"word\":\"no\"}}-->"_s + titles << 0 << off
        << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("empty newList: titles") << open + u"<!--s-data:{\"newList\":[]}-->"_s + titles << 0 << off
                                           << u"tea & 茶\r\n无 <标题>\r\n"_s;
    QTest::newRow("s-data words made as titles")
        << open + u"<!--s-data:{\"newList\":[[{\"word\":\"c&amp;a\"},{\"word\":\"<em>Tea</em>\\n  Time &#x4e2d;\"}]]}-->"_s
        << 0 << off << u"c&a\r\ntea time 中\r\n"_s;
    QTest::newRow("empty element ahead, words in the next")
        << open + u"<table class=\"rs-table_1\"></table></div>"_s + open + sData << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("rs_new without words, div rs read")
        << open + u"</div><div id=\"rs\"><table><tr><th><a href=\"/s\">older</a></th></tr></table>"_s << 0 << off
        << u"older\r\n"_s;
    QTest::newRow("div rs: class first, link wrapped in span")
        << u"<p id=\"rsx\">x</p><div class=\"c\" id='rs'><table><tr><th><span class=\"s\"><a href=\"/s\">W1</a></span></th>"
           u"<th>\n<span><b>x</b> <A HREF=/s>w2</A></span></th><th><span>no link</span></th></tr></table>"_s
        << 0 << off << u"w1\r\nw2\r\n"_s;
    QTest::newRow("classic block without an item: layouts")
        << u"<table><tr><th>相关搜索</th><th><a href=\"s?wd=a&amp;f=1&amp;rsv_ers=xdt0\">Old</a></th></tr></table>"_s
           u"<div id=\"rs\"><table><tr><th><a href=\"s?wd=a&amp;f=1&amp;rsv_ers=xdt0\">Old</a></th></tr></table>"_s
        << 0 << off << u"old\r\n"_s;
    QFile saved(QFINDTESTDATA(u"data/real-pages/baidu_s_helan-agenting_yaklang_2022_utf8.html"_s));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString realPage = QString::fromUtf8(saved.readAll());
    const QString realWords = u"阿根廷荷兰冲突最新消息\r\n阿根廷5比0荷兰\r\n荷兰vs阿根廷上半场比分\r\n阿根廷荷兰今晚争四强\r\n"
                              u"保加利亚为什么不加入南斯拉夫\r\n俄罗斯在乌克兰抓到的最大鱼\r\n阿尔巴尼亚为什么和苏联交恶\r\n"
                              u"阿根廷对荷兰世界杯\r\n葡萄牙阿根廷交战记录\r\n英国1982年对阿根廷的战争\r\n"_s;
    QTest::newRow("2022 page, template and selector put ahead")
        << QString(realPage).replace(u"<body"_s, u"<script type=\"text/template\"><div id=\"rs_new\"></div></script>"
                                                 u"<script>document.querySelector('#rs_new')</script><body"_s)
        << 0 << off << realWords;
    QTest::newRow("2022 page, id written unquoted") << QString(realPage).replace(u"id=\"rs_new\""_s, u"id=rs_new"_s) << 0
                                                     << off << realWords;
    // Every place the id stands is looked at once: a page full of it is read in one pass.
    QTest::newRow("200000 decoys ahead") << QString(u"<a id=rs_new x <b title='rs_new'>rs_new>"_s).repeated(200000) + open + sData
                                        << 0 << off << u"real1\r\nreal2\r\n"_s;
    QTest::newRow("100000 empty div rs ahead")
        << QString(u"<div id=rs><th><th>"_s).repeated(100000) + u"<div id=rs><table><th><a>w</a></th></table>"_s << 0
        << off << u"w\r\n"_s;
    QTest::newRow("classic block whose items are filtered out still wins")
        << u"<table><tr><th>相关搜索</th>"_s + link(u"Old"_s) + u"</table>"_s + open + sData << 0 << u"real"_s
        << QString();
}

void TestMining::newLayouts()
{
    QFETCH(QString, page);
    QFETCH(int, minLength);
    QFETCH(QString, filter);
    QFETCH(QString, expected);

    FetchResult fetched;
    fetched.ok = true;
    fetched.text = page;
    Form1 form;
    form.Text7->setText(u"0"_s);
    Mining::RunSettings settings;
    settings.minLength = minLength;
    settings.containsFilter = filter;
    settings.countLimit = 1000;
    form.miningRun()->setSettings(settings);
    QCOMPARE(form.newKeywordsOfPage(fetched, QString::fromUtf16(Mining::BlockStart),
                                    QString::fromUtf16(Mining::BlockEnd)),
             expected);
}

void TestMining::suggestionWords_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("words");

    const QString example
        = uR"({"q":"减肥","p":false,"g":[{"type":"sug","sa":"s_1","q":"减肥最快的方法"},)"
          uR"({"type":"sug","sa":"s_2","q":"减肥食谱"},{"type":"sug","sa":"s_3","q":"减肥App"},)"
          uR"({"type":"sug","sa":"s_4","q":"减肥茶"},{"type":"sug","sa":"s_5","q":" 减肥  运动\t一周 "},)"
          uR"({"type":"sug","sa":"s_6","q":"减肥药"},{"type":"sug","sa":"s_7","q":"减肥餐"},)"
          uR"({"type":"sug","sa":"s_8","q":"减肥操"},{"type":"sug","sa":"s_9","q":"减肥 ÄÖ"},)"
          uR"({"type":"sug","sa":"s_10","q":"减肥方法"}],"slid":"171717171717","queryid":"0x10a1b2c3d4e5f6"})"_s;
    const QStringList exampleWords{u"减肥最快的方法"_s, u"减肥食谱"_s, u"减肥app"_s, u"减肥茶"_s, u"减肥 运动 一周"_s,
                                   u"减肥药"_s,         u"减肥餐"_s,   u"减肥操"_s,   u"减肥 äö"_s, u"减肥方法"_s};
    QTest::newRow("example answer, ten words") << example << exampleWords;
    QTest::newRow("JSONP") << u"jQuery1102_17({\"q\":\"a\",\"g\":[{\"type\":\"sug\",\"q\":\"A B\"}]})"_s
                           << QStringList{u"a b"_s};
    QTest::newRow("JSONP with ; and spaces")
        << u"\r\n window.baidu.sug ( {\"g\":[{\"q\":\"x1\"},{\"q\":\"x2\"}]} ) ;\n"_s
        << QStringList{u"x1"_s, u"x2"_s};
    QTest::newRow("escaped JSON")
        << uR"({"g":[{"type":"sug","q":"\u4e2d\u6587"},{"q":"say \"Hi\""},{"q":"a\/b"},{"q":"\ud83d\ude00\u00C4"}]})"_s
        << QStringList{u"中文"_s, u"say \"hi\""_s, u"a/b"_s, u"\U0001F600ä"_s};
    QTest::newRow("other types and elements skipped")
        << uR"({"g":[{"type":"his","q":"old"},{"type":"sug","q":"new"},{"type":null,"q":"n"},{"q":"plain"},)"
           uR"(5,"str",[{"q":"nested"}],{"type":"sug"},{"type":"sug","q":7},{"type":"SUG","q":"caps"}]})"_s
        << QStringList{u"new"_s, u"plain"_s};
    QTest::newRow("white space, empty words skipped")
        << uR"({"g":[{"q":"  Tea\t\n Cup  "},{"q":"   "},{"q":""},{"q":"\u3000减肥\u3000茶 "},{"q":"end"}]})"_s
        << QStringList{u"tea cup"_s, u"减肥 茶"_s, u"end"_s};
    QTest::newRow("repeats kept in order") << uR"({"g":[{"q":"b"},{"q":"a"},{"q":"B"}]})"_s
                                           << QStringList{u"b"_s, u"a"_s, u"b"_s};
    QTest::newRow("byte order mark") << u"\uFEFF {\"g\":[{\"q\":\"a\"}]} \r\n"_s << QStringList{u"a"_s};
    QTest::newRow("empty g") << uR"({"q":"减肥","p":false,"g":[]})"_s << QStringList();
    QTest::newRow("no g") << uR"({"q":"减肥","p":false})"_s << QStringList();
    QTest::newRow("g not a list") << uR"({"g":{"q":"a"}})"_s << QStringList();
    QTest::newRow("JSON cut off") << uR"({"q":"x","g":[{"type":"sug","q":"a"},{"type":"sug","q":"b")"_s
                                  << QStringList();
    QTest::newRow("text after the JSON") << uR"({"g":[{"q":"a"}]}x)"_s << QStringList();
    QTest::newRow("JSONP without )") << uR"(cb({"g":[{"q":"a"}]})"_s << QStringList();
    QTest::newRow("JSONP without (") << uR"(cb {"g":[{"q":"a"}]})"_s << QStringList();
    QTest::newRow("JSONP, text after ;") << uR"(cb({"g":[{"q":"a"}]}); cb2())"_s << QStringList();
    QTest::newRow("JSONP of a list") << uR"(cb([{"q":"a"}]))"_s << QStringList();
    QTest::newRow("list") << uR"([{"g":[{"q":"a"}]}])"_s << QStringList();
    QTest::newRow("unquoted keys") << uR"(window.baidu.sug({q:"a",p:false,s:["a1","a2"]});)"_s << QStringList();
    QTest::newRow("verification page")
        << u"<!DOCTYPE html><html><head><title>百度安全验证</title></head><body>{\"g\":[{\"q\":\"a\"}]}</body></html>"_s
        << QStringList();
    QTest::newRow("empty answer") << QString() << QStringList();
    QTest::newRow("deep nesting") << u"{\"g\":"_s + QString(100000, u'[') + QString(100000, u']') + u"}"_s
                                  << QStringList();
    QString many = u"cb({\"g\":["_s;
    for (int i = 0; i < 20000; ++i)
        many += u"{\"type\":\"sug\",\"q\":\"词Q\"},"_s;
    many += u"{\"q\":\"最后\"}]});"_s;
    QStringList manyWords(20000, u"词q"_s);
    manyWords << u"最后"_s;
    QTest::newRow("twenty thousand words") << many << manyWords;
    QTest::newRow("a word of a million characters")
        << u"{\"g\":[{\"q\":\""_s + QString(1000000, u'X') + u"\"}]}"_s << QStringList{QString(1000000, u'x')};
}

void TestMining::suggestionWords()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, words);
    QCOMPARE(Mining::suggestionWords(answer), words);
}

void TestMining::suggestionAddress_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("address");
    QTest::newRow("chinese") << u"减肥"_s
                             << u"http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=%E5%87%8F%E8%82%A5"_s;
    QTest::newRow("reserved")
        << u"c++ 教程"_s << u"http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=c%2B%2B%20%E6%95%99%E7%A8%8B"_s;
    QTest::newRow("query characters") << u"a&b#c?d%e"_s
                                      << u"http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=a%26b%23c%3Fd%25e"_s;
    QTest::newRow("empty") << QString() << u"http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd="_s;
}

void TestMining::suggestionAddress()
{
    QFETCH(QString, keyword);
    QFETCH(QString, address);
    QCOMPARE(Mining::suggestionSources().size(), 1);
    QCOMPARE(&Mining::activeSuggestionSource(), &Mining::suggestionSources().front());
    QCOMPARE(Mining::suggestionAddress(keyword), address);
}

void TestMining::paceRules_data()
{
    QTest::addColumn<QStringList>("steps"); // what happened, in order
    QTest::addColumn<double>("pause");
    QTest::addColumn<int>("coolDown");
    QTest::addColumn<int>("gap");       // asked of msUntilTurn
    QTest::addColumn<int>("leastMs");   // what msUntilTurn gives, at least ...
    QTest::addColumn<int>("mostMs");    // ... and at most

    QTest::newRow("nothing asked yet") << QStringList() << 2.0 << 2000 << 1500 << 0 << 0;
    QTest::newRow("one answered, no gap asked") << QStringList{u"started"_s, u"answered"_s} << 2.0 << 2000 << 0 << 0
                                                << 0;
    QTest::newRow("one answered, a gap asked")
        << QStringList{u"started"_s, u"answered"_s} << 0.0 << 2000 << 700 << 1 << 700;
    QTest::newRow("one under way") << QStringList{u"started"_s} << 0.0 << 2000 << 0 << 100 << 100;
    QTest::newRow("two under way, one ended")
        << QStringList{u"started"_s, u"started"_s, u"answered"_s} << 0.0 << 2000 << 0 << 100 << 100;
    QTest::newRow("refused: the cool-down") << QStringList{u"started"_s, u"refused"_s} << 0.0 << 2000 << 0 << 1
                                            << 2000;
    QTest::newRow("refused, a longer pause") << QStringList{u"started"_s, u"refused"_s} << 3.5 << 3500 << 0 << 1501
                                             << 3500;
    QTest::newRow("refused, then answered: still the cool-down")
        << QStringList{u"started"_s, u"refused"_s, u"started"_s, u"answered"_s} << 0.0 << 2000 << 0 << 1 << 2000;
    QTest::newRow("refused, a longer gap asked")
        << QStringList{u"started"_s, u"refused"_s} << 0.0 << 2000 << 5000 << 2001 << 5000;
    QTest::newRow("the longest pause") << QStringList() << 600.0 << 600000 << 0 << 0 << 0;
    QTest::newRow("stopped") << QStringList{u"stop"_s} << 2.0 << 2000 << 0 << -1 << -1;
    QTest::newRow("stopped while one is under way") << QStringList{u"started"_s, u"stop"_s} << 2.0 << 2000 << 0 << -1
                                                    << -1;
    QTest::newRow("stopped, then allowed") << QStringList{u"stop"_s, u"allow"_s} << 2.0 << 2000 << 0 << 0 << 0;
}

void TestMining::paceRules()
{
    QFETCH(QStringList, steps);
    QFETCH(double, pause);
    QFETCH(int, coolDown);
    QFETCH(int, gap);
    QFETCH(int, leastMs);
    QFETCH(int, mostMs);
    Mining::Pacer pacer;
    pacer.setPauseSeconds(pause);
    for (const QString& step : std::as_const(steps)) {
        if (step == u"started")
            pacer.started();
        else if (step == u"answered" || step == u"refused")
            pacer.ended(step == u"refused");
        else if (step == u"stop")
            pacer.stop();
        else
            pacer.allow();
    }
    QCOMPARE(pacer.coolDownMs(), coolDown);
    const int ms = pacer.msUntilTurn(gap);
    QVERIFY2(ms >= leastMs && ms <= mostMs, QByteArray::number(ms).constData());
    // A wait returns at once when the turn is there, and never once stopped.
    if (mostMs <= 0)
        QCOMPARE(pacer.waitTurn(gap), mostMs == 0);
}

QTEST_MAIN(TestMining)
#include "tst_mining.moc"
