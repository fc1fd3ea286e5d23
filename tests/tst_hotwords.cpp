// The hot-word source table, the Baidu and Sogou item rules, and the fetch button of Form1 run
// against a local fake server reached as the HTTP proxy.
#include "app/form1.h"
#include "hotwords/hotwords.h"
#include "listtools/export.h"
#include "platform/codepage.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"

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

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

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

    void fetchEachSource_data();
    void fetchEachSource();
    void fetchTwiceAppendsTwice();
    void fetchUtf8Page();
    void failedFetch_data();
    void failedFetch();
    void noOptionSelected();
    void recordInOwnFolderWhenProgramDirLocked();

private:
    QRadioButton* option(Form1& form, const QString& name);

    FakeHttpServer server_;
    QTemporaryDir dir_;
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

    QTest::newRow("1") << 0 << u"Option3"_s << u"百度今日热词"_s << u"http://top.baidu.com/buzz/top10.html"_s
                       << u"最近24小时搜索量"_s << u"</table>"_s << int(HotWordSource::Baidu);
    QTest::newRow("2") << 1 << u"Option4"_s << u"百度一周热词"_s << u"http://top.baidu.com/buzz/weekhotspot.html"_s
                       << u"最近七日"_s << u"</table>"_s << int(HotWordSource::Baidu);
    QTest::newRow("3") << 2 << u"Option1"_s << u"搜狗今日热词"_s << u"http://top.sogou.com/000002.html"_s
                       << u"今日搜索"_s << u"</HTML>"_s << int(HotWordSource::Sogou);
    QTest::newRow("4") << 3 << u"Option2"_s << u"搜狗一周热词"_s << u"http://top.sogou.com/000001.html"_s
                       << u"今日搜索"_s << u"</HTML>"_s << int(HotWordSource::Sogou);
    QTest::newRow("5") << 4 << u"Option5"_s << u"最近火热新词"_s << u"http://top.baidu.com/buzz/shijian.html"_s
                       << u"最近七日"_s << u"</table>"_s << int(HotWordSource::Baidu);
    QTest::newRow("6") << 5 << u"Option6"_s << u"上月火热新词"_s
                       << u"http://top.baidu.com/buzz/shijian_lastmonth.html"_s << u"最近七日"_s << u"</table>"_s
                       << int(HotWordSource::Baidu);
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

    QCOMPARE(HotWords::sources().size(), 6);
    const HotWordSource& source = HotWords::sources().at(row);
    QCOMPARE(source.optionName, optionName);
    QCOMPARE(source.caption, caption);
    QCOMPARE(source.address(), address);
    QCOMPARE(source.blockStart, blockStart);
    QCOMPARE(source.blockEnd, blockEnd);
    QCOMPARE(int(source.rule), rule);

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
    QTest::newRow("Option1") << u"Option1"_s << u"top.sogou.com"_s << u"/000002.html"_s << u"旧词"_s
                             << u"旧词搜狗今日\r\n"_s << "\xcb\xd1\xb9\xb7\xbd\xf1\xc8\xd5\r\n\r\n"_ba;
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

void TestHotWords::failedFetch_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("reset");
    QTest::newRow("server error") << 500 << false;
    QTest::newRow("not found") << 404 << false;
    QTest::newRow("connection reset") << 200 << true;
}

void TestHotWords::failedFetch()
{
    QFETCH(int, status);
    QFETCH(bool, reset);
    Form1 form;
    form.Text1->setPlainText(u"旧词\r\n"_s);
    server_.setHandler([&](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.status = status;
        response.reset = reset;
        response.body = CodePage::toGbk(baiduPage(u"最近24小时搜索量"_s, { u"不该出现"_s }));
        return response;
    });
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    QCOMPARE(server_.requests().size(), 1);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"旧词\r\n"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"旧词\r\n"_s);
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QCOMPARE(readFile(dir_.path() + u"/1.txt"_s), "\r\n"_ba);
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
