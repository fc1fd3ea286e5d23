// The hot-word source table, the Baidu and Sogou item rules, and the fetch button of Form1 run
// against a local fake server reached as the HTTP proxy.
#include "app/form1.h"
#include "app/messagebox.h"
#include "hotwords/hotwords.h"
#include "listtools/export.h"
#include "platform/codepage.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString baiduLink(const QString& text)
{
    return u"<td><a href=\"/detail?b=1\" target=\"_blank\">"_s + text + u"</a></td>"_s;
}

QString sogouCell(const QString& text)
{
    return u"<td><a href=\"http://www.sogou.com/web?query=q&ie=utf8\">"_s + text + u"</a></td>"_s;
}

QString baiduPage(const QString& blockStart, const QStringList& words)
{
    QString page = u"<html><head><title>风云榜</title></head><body><table><tr><th>"_s + blockStart
        + u"</th></tr>"_s;
    for (const QString& word : words)
        page += u"<tr>"_s + baiduLink(word) + u"<td>12345</td></tr>"_s;
    return page + u"</table><p>尾部</p></body></html>"_s;
}

QString sogouPage(const QStringList& words)
{
    QString page = u"<HTML><body><h2>今日搜索</h2><table>"_s;
    for (const QString& word : words)
        page += u"<tr>"_s + sogouCell(word) + u"<td>上升</td></tr>\n"_s;
    return page + u"</table></body></HTML>"_s;
}

// Today's answers: the hot board with its pinned and ranked entries, Sogou's ranks; entries as given.
QString boardAnswer(const QString& pinned, const QString& ranked)
{
    return u"{\"data\":{\"cards\":[{\"topContent\":["_s + pinned + u"],\"content\":["_s + ranked + u"]}]}}"_s;
}

QString ranksAnswer(const QString& entries)
{
    return u"{\"data\":["_s + entries + u"],\"meta\":{}}"_s;
}

using TestFiles::readFile;

} // namespace

class TestHotWords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sourceTable_data();
    void sourceTable();
    void baiduItems_data();
    void baiduItems();
    void sogouItems_data();
    void sogouItems();
    void hotWordList_data();
    void hotWordList();
    void todayWords_data();
    void todayWords();

    void fetchEachSource_data();
    void fetchEachSource();
    void fetchTwiceAppendsTwice();
    void fetchUtf8Page();
    void writtenPageGivesNothing_data();
    void writtenPageGivesNothing();
    void noOptionSelected();
    void recordInOwnFolderWhenProgramDirLocked();

private:
    QRadioButton* option(Form1& form, const QString& name);

    FakeHttpServer server_;
    QTemporaryDir dir_;
    QList<MessageBox::Shown> shown_;
};

void TestHotWords::initTestCase()
{
    QVERIFY(server_.start());
    server_.useAsApplicationProxy();
    QVERIFY(dir_.isValid());
}

void TestHotWords::init()
{
    server_.clearRequests();
    QFile::remove(dir_.path() + u"/1.txt"_s);
    ExportFile::setProgramDirForTesting(dir_.path());
    ExportFile::setDocumentsDirForTesting(dir_.path() + u"/documents"_s);
    ExportFile::setAppDataDirForTesting(dir_.path() + u"/appdata"_s);
    QApplication::clipboard()->setText(u"剪贴板原文"_s);
    shown_.clear();
    MessageBox::setHookForTesting([this](const MessageBox::Shown& box) { shown_.append(box); });
}

void TestHotWords::cleanup()
{
    // Handlers may refer to the test's own window, which is gone now.
    server_.setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.status = 404;
        return response;
    });
    ExportFile::setProgramDirForTesting({});
    ExportFile::setDocumentsDirForTesting({});
    ExportFile::setAppDataDirForTesting({});
    MessageBox::setHookForTesting({});
}

QRadioButton* TestHotWords::option(Form1& form, const QString& name)
{
    QRadioButton* const buttons[] = { form.Option1, form.Option2, form.Option3,
                                      form.Option4, form.Option5, form.Option6 };
    return buttons[name.back().digitValue() - 1];
}

void TestHotWords::sourceTable_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("optionName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("blockStart");
    QTest::addColumn<QString>("blockEnd");
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("todayAddress");
    QTest::addColumn<QString>("todayReader");

    QTest::newRow("1") << 0 << u"Option3"_s << u"百度今日热词"_s << u"http://top.baidu.com/buzz/top10.html"_s
                       << u"最近24小时搜索量"_s << u"</table>"_s << int(HotWordSource::Baidu)
                       << u"http://top.baidu.com/api/board?platform=web&tab=realtime"_s << u"baiduBoardWords"_s;
    QTest::newRow("2") << 1 << u"Option4"_s << u"百度一周热词"_s << u"http://top.baidu.com/buzz/weekhotspot.html"_s
                       << u"最近七日"_s << u"</table>"_s << int(HotWordSource::Baidu) << QString() << QString();
    QTest::newRow("3") << 2 << u"Option1"_s << u"搜狗今日热词"_s << u"http://top.sogou.com/000002.html"_s
                       << u"今日搜索"_s << u"</HTML>"_s << int(HotWordSource::Sogou)
                       << u"http://go.ie.sogou.com/hot_ranks"_s << u"sogouRankWords"_s;
    QTest::newRow("4") << 3 << u"Option2"_s << u"搜狗一周热词"_s << u"http://top.sogou.com/000001.html"_s
                       << u"今日搜索"_s << u"</HTML>"_s << int(HotWordSource::Sogou) << QString() << QString();
    QTest::newRow("5") << 4 << u"Option5"_s << u"最近火热新词"_s << u"http://top.baidu.com/buzz/shijian.html"_s
                       << u"最近七日"_s << u"</table>"_s << int(HotWordSource::Baidu) << QString() << QString();
    QTest::newRow("6") << 5 << u"Option6"_s << u"上月火热新词"_s
                       << u"http://top.baidu.com/buzz/shijian_lastmonth.html"_s << u"最近七日"_s << u"</table>"_s
                       << int(HotWordSource::Baidu) << QString() << QString();
}

void TestHotWords::sourceTable()
{
    QFETCH(int, row);
    QFETCH(QString, optionName);
    QFETCH(QString, caption);
    QFETCH(QString, address);
    QFETCH(QString, blockStart);
    QFETCH(QString, blockEnd);
    QFETCH(int, rule);
    QFETCH(QString, todayAddress);
    QFETCH(QString, todayReader);

    QCOMPARE(HotWords::sources().size(), 6);
    const HotWordSource& source = HotWords::sources().at(row);
    QCOMPARE(source.optionName, optionName);
    QCOMPARE(source.caption, caption);
    QCOMPARE(source.address(), address);
    QCOMPARE(source.blockStart, blockStart);
    QCOMPARE(source.blockEnd, blockEnd);
    QCOMPARE(int(source.rule), rule);
    QCOMPARE(source.todayAddress, todayAddress);
    QCOMPARE(source.todayReader == &HotWords::baiduBoardWords, todayReader == u"baiduBoardWords");
    QCOMPARE(source.todayReader == &HotWords::sogouRankWords, todayReader == u"sogouRankWords");
    QCOMPARE(source.todayReader == nullptr, todayReader.isEmpty());

    // The captions are those of the window's option buttons.
    Form1 form;
    QCOMPARE(option(form, optionName)->text(), caption);
}

void TestHotWords::baiduItems_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("expected");
    QTest::newRow("link texts") << baiduLink(u"热词一"_s) + baiduLink(u"热词二"_s) << u"热词一\r\n热词二\r\n"_s;
    QTest::newRow("empty link text ends the collection")
        << baiduLink(u"a"_s) + baiduLink(QString()) + baiduLink(u"b"_s) << u"a\r\n"_s;
    QTest::newRow("attribute after target not taken")
        << u"<a href=\"x\" target=\"_blank\" class=\"c\">no</a>"_s + baiduLink(u"yes"_s) << u"yes\r\n"_s;
    QTest::newRow("unquoted value before target not taken") << u"<a href=x target=\"_blank\">no</a>"_s << QString();
    QTest::newRow("single quotes not taken") << u"<a href='x' target='_blank'>no</a>"_s << QString();
    QTest::newRow("other spacing not taken") << u"<a href=\"x\" target = \"_blank\">no</a>"_s << QString();
    QTest::newRow("capitals matched, case kept") << u"<A HREF=\"x\" TARGET=\"_BLANK\">iPhone</A>"_s << u"iPhone\r\n"_s;
    QTest::newRow("last link without end") << baiduLink(u"a"_s) + u"<a href=\"x\" target=\"_blank\">b"_s
                                           << u"a\r\n"_s;
    QTest::newRow("no links") << u"<td>12345</td>"_s << QString();
    QTest::newRow("empty block") << QString() << QString();
}

void TestHotWords::baiduItems()
{
    QFETCH(QString, block);
    QFETCH(QString, expected);
    QCOMPARE(HotWords::baiduItems(block), expected);
}

void TestHotWords::sogouItems_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("expected");
    QTest::newRow("link texts") << sogouCell(u"热词一"_s) + sogouCell(u"热词二"_s) << u"热词一\r\n热词二\r\n"_s;
    QTest::newRow("other address not taken")
        << u"<td><a href=\"http://news.sogou.com/web?q\">no</a></td>"_s + sogouCell(u"yes"_s) << u"yes\r\n"_s;
    QTest::newRow("cell without quote and bracket gives nothing")
        << sogouCell(u"a"_s) + u"<td><a href=\"http://www.sogou.com/web?x' >b</a></td>"_s + sogouCell(u"c"_s)
        << u"a\r\nc\r\n"_s;
    QTest::newRow("cell without end of link runs on")
        << u"<td><a href=\"http://www.sogou.com/web?q=1\">a</td>"_s + sogouCell(u"b"_s)
        << u"a\r\n?query=q&ie=utf8\">b\r\n"_s;
    QTest::newRow("capitals matched, case kept")
        << u"<TD><A HREF=\"HTTP://WWW.SOGOU.COM/WEB?Q\">Ab</A></TD>"_s << u"Ab\r\n"_s;
    QTest::newRow("empty link text ends the collection")
        << sogouCell(u"a"_s) + sogouCell(QString()) + sogouCell(u"b"_s) << u"a\r\n"_s;
    QTest::newRow("empty block") << QString() << QString();
}

void TestHotWords::sogouItems()
{
    QFETCH(QString, block);
    QFETCH(QString, expected);
    QCOMPARE(HotWords::sogouItems(block), expected);
}

void TestHotWords::hotWordList_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("expected");
    QTest::newRow("baidu, lower case") << 0 << baiduPage(u"最近24小时搜索量"_s, { u"iPhone新品"_s, u"天气"_s })
                                       << u"iphone新品\r\n天气\r\n"_s;
    QTest::newRow("baidu, block start missing") << 0 << baiduPage(u"最近七日"_s, { u"a"_s }) << QString();
    QTest::newRow("baidu, block end missing")
        << 1 << u"最近七日"_s + baiduLink(u"a"_s) << QString();
    QTest::newRow("baidu, block start twice")
        << 1 << u"最近七日"_s + baiduLink(u"a"_s) + u"最近七日"_s + baiduLink(u"b"_s) + u"</table>"_s
        << u"a\r\n"_s;
    QTest::newRow("baidu, end only before start")
        << 4 << u"</table>最近七日"_s + baiduLink(u"a"_s) + baiduLink(u"b"_s) << u"a\r\nb\r\n"_s;
    QTest::newRow("baidu, links after the block") << 5 << baiduPage(u"最近七日"_s, { u"a"_s }) + baiduLink(u"b"_s)
                                                  << u"a\r\n"_s;
    QTest::newRow("sogou") << 2 << sogouPage({ u"热词一"_s, u"Ab"_s }) << u"热词一\r\nab\r\n"_s;
    QTest::newRow("sogou, end in small letters") << 3 << u"今日搜索"_s + sogouCell(u"x"_s) + u"</html>"_s
                                                 << u"x\r\n"_s;
    QTest::newRow("sogou, no end") << 3 << u"今日搜索"_s + sogouCell(u"x"_s) << QString();
    QTest::newRow("empty page") << 2 << QString() << QString();
}

void TestHotWords::hotWordList()
{
    QFETCH(int, row);
    QFETCH(QString, page);
    QFETCH(QString, expected);
    QCOMPARE(HotWords::hotWordList(page, HotWords::sources().at(row)), expected);
}

void TestHotWords::todayWords_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("expected");
    const QString rank1 = u"{\"attributes\":{\"title\":\"一\",\"rank\":1}}"_s;
    const QString rank2 = u"{\"attributes\":{\"title\":\"二\",\"rank\":\"2\"}}"_s;
    const QString unranked = u"{\"attributes\":{\"title\":\"无\",\"rank\":\"nan\"}}"_s;
    QTest::newRow("board: nested content, query without word")
        << 0
        << boardAnswer(u"{\"query\":\"顶\"}"_s, u"{\"content\":[{\"word\":\"甲\"},{\"query\":\"乙\"}]},{\"word\":\"丙\"}"_s)
        << u"顶\r\n甲\r\n乙\r\n丙\r\n"_s;
    QTest::newRow("board: spaces, references, capitals, empty words")
        << 0 << boardAnswer({}, u"{\"word\":\" iPhone&amp;Mac\\t\\u3000新品\\r\\n\"},{\"word\":\" \"},{\"index\":1}"_s)
        << u"iphone&mac 新品\r\n"_s;
    QTest::newRow("board: broken JSON") << 0 << boardAnswer({}, u"{\"word\":\"甲\"}"_s).chopped(1) << QString();
    QTest::newRow("sogou: JSON, rank order, unranked last")
        << 2 << ranksAnswer(unranked + u',' + rank2 + u',' + rank1) << u"一\r\n二\r\n无\r\n"_s;
    QTest::newRow("sogou: JSONP, rank order") << 2 << u" hot_ranks("_s + ranksAnswer(rank2 + u',' + rank1) + u");"_s
                                              << u"一\r\n二\r\n"_s;
    QTest::newRow("sogou: broken JSONP") << 2 << u"cb("_s + ranksAnswer(rank1) << QString();
}

void TestHotWords::todayWords()
{
    QFETCH(int, row);
    QFETCH(QString, answer);
    QFETCH(QString, expected);
    QCOMPARE(HotWords::keywordList(HotWords::sources().at(row).todayReader(answer)), expected);
}

void TestHotWords::fetchEachSource_data()
{
    QTest::addColumn<QString>("optionName");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("record"); // 1.txt: the fetched list and CRLF, in GBK
    QTest::newRow("Option3") << u"Option3"_s << u"top.baidu.com"_s << u"/buzz/top10.html"_s << QString()
                             << u"今日一\r\n今日二\r\n"_s
                             << "\xbd\xf1\xc8\xd5\xd2\xbb\r\n\xbd\xf1\xc8\xd5\xb6\xfe\r\n\r\n"_ba;
    QTest::newRow("Option4") << u"Option4"_s << u"top.baidu.com"_s << u"/buzz/weekhotspot.html"_s << u"旧词\r\n"_s
                             << u"旧词\r\n一周一\r\n一周二\r\n"_s
                             << "\xd2\xbb\xd6\xdc\xd2\xbb\r\n\xd2\xbb\xd6\xdc\xb6\xfe\r\n\r\n"_ba;
    // A last line without a line break gets one before the new keywords.
    QTest::newRow("Option1") << u"Option1"_s << u"top.sogou.com"_s << u"/000002.html"_s << u"旧词"_s
                             << u"旧词\r\n搜狗今日\r\n"_s << "\xcb\xd1\xb9\xb7\xbd\xf1\xc8\xd5\r\n\r\n"_ba;
    QTest::newRow("Option2") << u"Option2"_s << u"top.sogou.com"_s << u"/000001.html"_s << QString()
                             << u"搜狗一周\r\nabc\r\n"_s << "\xcb\xd1\xb9\xb7\xd2\xbb\xd6\xdc\r\nabc\r\n\r\n"_ba;
    QTest::newRow("Option5") << u"Option5"_s << u"top.baidu.com"_s << u"/buzz/shijian.html"_s << QString()
                             << u"新词\r\n"_s << "\xd0\xc2\xb4\xca\r\n\r\n"_ba;
    QTest::newRow("Option6") << u"Option6"_s << u"top.baidu.com"_s << u"/buzz/shijian_lastmonth.html"_s
                             << u"\r\n"_s << u"\r\n上月\r\n"_s << "\xc9\xcf\xd4\xc2\r\n\r\n"_ba;
}

void TestHotWords::fetchEachSource()
{
    QFETCH(QString, optionName);
    QFETCH(QString, host);
    QFETCH(QString, path);
    QFETCH(QString, list);
    QFETCH(QString, expected);
    QFETCH(QByteArray, record);

    Form1 form;
    QString busyCaption;
    bool busyEnabled = true;
    server_.setHandler([&](const FakeHttpServer::Request& request) {
        busyCaption = form.Command10->text();
        busyEnabled = form.Command10->isEnabled();
        const QString at = request.url.path();
        QString page;
        if (at == u"/buzz/top10.html")
            page = baiduPage(u"最近24小时搜索量"_s, { u"今日一"_s, u"今日二"_s });
        else if (at == u"/buzz/weekhotspot.html")
            page = baiduPage(u"最近七日"_s, { u"一周一"_s, u"一周二"_s });
        else if (at == u"/000002.html")
            page = sogouPage({ u"搜狗今日"_s });
        else if (at == u"/000001.html")
            page = sogouPage({ u"搜狗一周"_s, u"ABC"_s });
        else if (at == u"/buzz/shijian.html")
            page = baiduPage(u"最近七日"_s, { u"新词"_s });
        else if (at == u"/buzz/shijian_lastmonth.html")
            page = baiduPage(u"最近七日"_s, { u"上月"_s });
        FakeHttpServer::Response response;
        response.body = CodePage::toGbk(page);
        return response;
    });
    option(form, optionName)->setChecked(true);
    form.Text1->setPlainText(list);

    QTest::mouseClick(form.Command10, Qt::LeftButton);

    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(server_.requests()[0].method, "GET"_ba);
    QCOMPARE(server_.requests()[0].url.host(), host);
    QCOMPARE(server_.requests()[0].url.path(), path);
    QVERIFY(!server_.requests()[0].url.hasQuery());
    QCOMPARE(busyCaption, u"正在获取.."_s);
    QVERIFY(!busyEnabled);
    QCOMPARE(ListReplace::keywordListText(form.Text1), expected);
    QCOMPARE(QApplication::clipboard()->text(), expected);
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QCOMPARE(readFile(dir_.path() + u"/1.txt"_s), record);
    QVERIFY(shown_.isEmpty());
}

void TestHotWords::fetchTwiceAppendsTwice()
{
    Form1 form;
    server_.setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.body = CodePage::toGbk(baiduPage(u"最近24小时搜索量"_s, { u"热词"_s, u"热词"_s }));
        return response;
    });
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QCOMPARE(server_.requests().size(), 2);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"热词\r\n热词\r\n热词\r\n热词\r\n"_s);
    QCOMPARE(readFile(dir_.path() + u"/1.txt"_s), "\xc8\xc8\xb4\xca\r\n\xc8\xc8\xb4\xca\r\n\r\n"_ba);
}

void TestHotWords::fetchUtf8Page()
{
    Form1 form;
    form.Option1->setChecked(true);
    server_.setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.contentType = "text/html; charset=utf-8";
        response.body = sogouPage({ u"搜狗热词"_s, u"😀"_s }).toUtf8();
        return response;
    });
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"搜狗热词\r\n😀\r\n"_s);
    QCOMPARE(readFile(dir_.path() + u"/1.txt"_s), "\xcb\xd1\xb9\xb7\xc8\xc8\xb4\xca\r\n\x94\x39\xfc\x36\r\n\r\n"_ba);
}

// The written page fails or holds no keyword: the row's address of today is asked, if it has one.
// A click that gets no keyword leaves the list, the clipboard and the record alone, and says why.
void TestHotWords::writtenPageGivesNothing_data()
{
    QTest::addColumn<QString>("optionName");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("todayStatus");
    QTest::addColumn<QByteArray>("todayType");
    QTest::addColumn<QByteArray>("todayBody");
    QTest::addColumn<QString>("expected"); // Text1 after the click, which starts at "旧词"
    QTest::addColumn<QString>("box");
    QFile real(QFINDTESTDATA(u"data/real-pages/baidu_top_api_board_realtime_baidu-hot-hub_2024-06-01_utf8.json"_s));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray json = "application/json";

    QTest::newRow("not found, the real board of 2024-06-01") << u"Option3"_s << 404 << 200 << json << real.readAll()
        << u"旧词\r\n总书记心中最温柔的牵挂\r\n美防长演讲一开口就提中国防长\r\n揭开童年父母经典骗术的真相\r\n楼市利好政策持续发力\r\n"
           u"朱婷首发拿17分 中国女排3-0胜泰国\r\n印度气温飙到52.9°c\r\n砍60岁迎客松涉事人已找到 树仍存活\r\n王妈短剧18亿播放被指无播出资质\r\n"
           u"ktv查出158个艾滋小姐？假的\r\n一点点奶茶被曝喝出壁虎 商户回应\r\n周鸿祎：卖迈巴赫的钱幸亏捐了\r\n美媒：以色列带给拜登最坏消息\r\n"
           u"印度至少19名选举官员被热死\r\n女子婚礼前一天被告知酒店停业\r\n解放军绝不允许台湾从中国分裂出去\r\n6岁孩子打激素长高后频繁生病\r\n"
           u"lululemon在美国卖不动了\r\n火化一只仓鼠收费700元\r\n孙卓今年高考\r\n900万粉丝网红大v被禁言\r\n董宇辉走后 东方甄选直播间画风变了\r\n"
           u"张柏芝遭前老板写歌辱骂\r\n官方通报怀孕学生被当肾病医治后身亡\r\n女子迷信辟邪带10发子弹坐车被抓\r\n校长六一表演唱跳连劈两个叉\r\n"
           u"鞠婧祎绿发\r\n困在汉堡和披萨里的千亿快餐巨头\r\n孕妇坠崖案当事人5年后再怀孕\r\n大鲤鱼变奖学金馋哭小学生\r\n余承东：超低价格卷不过比亚迪\r\n"
           u"上海到处都是过节的大朋友\r\n年轻人疯狂卷进“上香生意”\r\nc罗赛后痛哭\r\n珠峰拥堵现场堪比旅游排大队\r\n国防部长董军边擦眼镜边聊大熊猫\r\n"
           u"歌手 艾薇儿\r\n五旬老头首战告捷\r\n断眉为什么叫断眉\r\n今天做一回小孩\r\n董明珠称渴望休闲可以辞职\r\n庆帝叶轻眉 道不同不相为谋\r\n"
           u"哪部动画片是你的童年回忆？\r\n孙楠得知排名前2 嘴角根本压不住\r\n特朗普：被定罪后我支持率上升了！\r\n京东回应磨铁抵制京东\r\n"
           u"加沙超14000名儿童已丧生\r\n广西房屋倒塌2名遇难者系实习大学生\r\n俄称对乌使用核武器并非虚张声势\r\n丈夫护妻打残姐夫 被判防卫过当\r\n"
           u"六一汇演爸爸们跳起“天竺少女”\r\n95后辞掉编制北漂：我是鱼上岸会渴\r\n"_s << QString();
    QTest::newRow("server error on both") << u"Option3"_s << 500 << 500 << json << QByteArray() << u"旧词"_s
                                          << u"没有从“百度今日热词”获取到热词：服务器返回错误 500。"_s;
    QTest::newRow("page without its block, board broken") << u"Option3"_s << 200 << 200 << json << "{\"data\":"_ba
        << u"旧词"_s << u"没有从“百度今日热词”获取到热词：页面上没有找到热词。"_s;
    // The header's charset wins over JSON's own UTF-8.
    QTest::newRow("sogou not found, ranks as GBK JSONP") << u"Option1"_s << 404 << 200
        << "text/javascript; charset=gbk"_ba
        << CodePage::toGbk(u"cb("_s + ranksAnswer(u"{\"attributes\":{\"title\":\"热\"}}"_s) + u")"_s)
        << u"旧词\r\n热\r\n"_s << QString();
    QTest::newRow("no address of today") << u"Option4"_s << 404 << 200 << json << QByteArray() << u"旧词"_s
                                         << u"没有从“百度一周热词”获取到热词：服务器返回错误 404。"_s;
}

void TestHotWords::writtenPageGivesNothing()
{
    QFETCH(QString, optionName);
    QFETCH(int, status);
    QFETCH(int, todayStatus);
    QFETCH(QByteArray, todayType);
    QFETCH(QByteArray, todayBody);
    QFETCH(QString, expected);
    QFETCH(QString, box);

    QFile record(dir_.path() + u"/1.txt"_s);
    QVERIFY(record.open(QIODevice::WriteOnly) && record.write("old\r\n") == 5);
    record.close();
    Form1 form;
    option(form, optionName)->setChecked(true);
    form.Text1->setPlainText(u"旧词"_s);
    server_.setHandler([&](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (request.url.hasQuery() || request.url.host() == u"go.ie.sogou.com") {
            response.status = todayStatus;
            response.contentType = todayType;
            response.body = todayBody;
        } else {
            // A cookie for the whole site, which today's request carries back.
            response.status = status;
            response.body = CodePage::toGbk(baiduPage(u"最近七日"_s, { u"别的榜"_s }));
            const QByteArray site = request.url.host().section(u'.', 1).toLatin1();
            response.extraHeaders.append({ "Set-Cookie", "HOT=1; path=/; domain=." + site });
        }
        return response;
    });

    QTest::mouseClick(form.Command10, Qt::LeftButton);

    const auto header = [this](int request, const QByteArray& name) {
        for (const auto& [key, value] : server_.requests().at(request).headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
        return QByteArray();
    };
    QCOMPARE(server_.requests().size(), optionName == u"Option4" ? 1 : 2);
    QVERIFY(header(0, "Accept").startsWith("text/html,"));
    if (optionName != u"Option4") {
        QCOMPARE(server_.requests()[1].target, optionName == u"Option3"
                                                   ? "http://top.baidu.com/api/board?platform=web&tab=realtime"_ba
                                                   : "http://go.ie.sogou.com/hot_ranks"_ba);
        QCOMPARE(header(1, "Accept"), "application/json, text/javascript, */*; q=0.01"_ba);
        QCOMPARE(header(1, "User-Agent"), header(0, "User-Agent"));
        QCOMPARE(header(1, "Cookie"), "HOT=1"_ba);
    }
    QCOMPARE(ListReplace::keywordListText(form.Text1), expected);
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QCOMPARE(shown_.size(), box.isEmpty() ? 0 : 1);
    if (box.isEmpty()) {
        QCOMPARE(QApplication::clipboard()->text(), expected);
        QCOMPARE(readFile(record.fileName()), CodePage::toGbk(expected.mid(4) + u"\r\n"_s));
        return;
    }
    QCOMPARE(shown_[0].title, u"获取"_s);
    QCOMPARE(shown_[0].text, box);
    QCOMPARE(QApplication::clipboard()->text(), u"剪贴板原文"_s);
    QCOMPARE(readFile(record.fileName()), "old\r\n"_ba);
}

void TestHotWords::noOptionSelected()
{
    Form1 form;
    QRadioButton* const buttons[] = { form.Option1, form.Option2, form.Option3,
                                      form.Option4, form.Option5, form.Option6 };
    for (QRadioButton* button : buttons) {
        button->setAutoExclusive(false);
        button->setChecked(false);
    }
    form.Text1->setPlainText(u"a\r\nb"_s);
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QVERIFY(server_.requests().isEmpty());
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"a\r\nb"_s);
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QCOMPARE(readFile(dir_.path() + u"/1.txt"_s), "\r\n"_ba);
}

void TestHotWords::recordInOwnFolderWhenProgramDirLocked()
{
    // A folder below a plain file can be written by nobody, root included.
    QFile plain(dir_.path() + u"/plain"_s);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    ExportFile::setProgramDirForTesting(plain.fileName() + u"/bin"_s);
    Form1 form;
    form.Option1->setChecked(true);
    server_.setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.body = CodePage::toGbk(sogouPage({ u"热词"_s }));
        return response;
    });
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QCOMPARE(readFile(dir_.path() + u"/appdata/1.txt"_s), "\xc8\xc8\xb4\xca\r\n\r\n"_ba);
    QVERIFY(!QFile::exists(dir_.path() + u"/documents/1.txt"_s));
}

QTEST_MAIN(TestHotWords)
#include "tst_hotwords.moc"
