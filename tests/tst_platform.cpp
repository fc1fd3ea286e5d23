// Code page conversions, the blocking fetch against a local server acting as proxy, and the browser seam.
#include "platform/browser.h"
#include "platform/codepage.h"
#include "platform/inet.h"
#include "platform/textfile.h"
#include "support/fakehttpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Emoji = u"\U0001F600"_s;
const QByteArray EmojiGb18030 = QByteArrayLiteral("\x94\x39\xFC\x36");

QByteArray gbk(const QString& text)
{
    return CodePage::toGbk(text);
}

// The text's UTF-16 units, without a byte-order mark.
QByteArray utf16(const QString& text, QSysInfo::Endian order)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        bytes += order == QSysInfo::LittleEndian ? low : high;
        bytes += order == QSysInfo::LittleEndian ? high : low;
    }
    return bytes;
}

// Long-tail keywords of 30 characters; 最, 一 and 开 hold a NUL byte of their own.
const QString LongTail = u"减肥方法最有效的快速减肥方法一个月瘦二十斤的减肥食谱推荐大全\r\n"
                         u"怎么减肥最快最有效的方法一周瘦十斤不反弹的秘诀分享给新手看吧\r\n"_s;
// 30 characters none of which has a NUL byte.
const QString WithoutNul = u"新冠疫苗第三针接种时间间隔多久合适北京上海广州深圳哪里可以打"_s;

FakeHttpServer::Response page(const QByteArray& body, const QByteArray& contentType = "text/html")
{
    FakeHttpServer::Response response;
    response.body = body;
    response.contentType = contentType;
    return response;
}

FakeHttpServer::Response hanging()
{
    FakeHttpServer::Response response;
    response.hang = true;
    return response;
}

FakeHttpServer::Response redirect(int status, const QByteArray& location)
{
    FakeHttpServer::Response response = page("moved");
    response.status = status;
    response.extraHeaders.append(qMakePair(QByteArray("Location"), location));
    return response;
}

QByteArray readRealPage(const QString& name)
{
    QFile file(QFINDTESTDATA(u"data/real-pages/"_s + name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void percentEncodeUtf8_data();
    void percentEncodeUtf8();
    void toGbk_data();
    void toGbk();
    void toGbkLongListWithOneOutsider();
    void charsetFromContentType_data();
    void charsetFromContentType();
    void charsetFromMeta_data();
    void charsetFromMeta();
    void decodePage_data();
    void decodePage();
    void decodeRandomBytesKeepsGoing();
    void fileDecoding_data();
    void fileDecoding();

    void fetchDecodesGbkPage();
    void requestTargetArrivesAsSent_data();
    void requestTargetArrivesAsSent();
    void invalidAddressFails();
    void errorStatusFails_data();
    void errorStatusFails();
    void verificationFails_data();
    void verificationFails();
    void browserHeadersAndCookies();
    void completeAnswerOutlastsOtherWait();
    void redirectIsFollowed_data();
    void redirectIsFollowed();
    void redirectToOtherSchemeFails();
    void redirectLoopFails();
    void refusedConnectionFails();
    void hangingServerTimesOut();
    void drippingServerEndsAtDeadline();
    void resetMidBodyFails();
    void bodySizeCap_data();
    void bodySizeCap();
    void decompressedBodyOverCapFails();
    void abortEndsWaitPromptly();
    void abortEndsNestedWaitsToo();
    void eventsFlowDuringWait();
    void nestedOpenUrlGetsItsOwnAnswer();
    void destroyedWhileWaiting();
    void proxyFromEnvironment();
    void applicationProxySetAfterInet();
    void realPages_data();
    void realPages();

    void browserOpenerSeam();

private:
    std::unique_ptr<FakeHttpServer> startServer();
};

std::unique_ptr<FakeHttpServer> TestPlatform::startServer()
{
    auto server = std::make_unique<FakeHttpServer>();
    if (!server->start())
        return nullptr;
    server->useAsApplicationProxy();
    return server;
}

void TestPlatform::percentEncodeUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("chinese") << u"减肥"_s << QByteArray("%E5%87%8F%E8%82%A5");
    QTest::newRow("plus and space") << u"c++ 教程"_s << QByteArray("c%2B%2B%20%E6%95%99%E7%A8%8B");
    QTest::newRow("reserved") << u"&#+%? "_s << QByteArray("%26%23%2B%25%3F%20");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("emoji") << Emoji << QByteArray("%F0%9F%98%80");
    QTest::newRow("euro") << u"€"_s << QByteArray("%E2%82%AC");
    QTest::newRow("unreserved") << u"AZaz09-._~"_s << QByteArray("AZaz09-._~");
    QTest::newRow("slash equals") << u"a/b=c"_s << QByteArray("a%2Fb%3Dc");
}

void TestPlatform::percentEncodeUtf8()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(CodePage::percentEncodeUtf8(text), encoded);
}

void TestPlatform::toGbk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("chinese two bytes each") << u"减肥教程"_s << QByteArray("\xBC\xF5\xB7\xCA\xBD\xCC\xB3\xCC");
    QTest::newRow("ascii one byte, no BOM") << u"abc"_s << QByteArray("abc");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("emoji") << Emoji << EmojiGb18030;
    QTest::newRow("question mark kept") << u"?"_s << QByteArray("?");
    QTest::newRow("question marks around emoji")
        << (u"a?"_s + Emoji + u"?减"_s) << (QByteArray("a?") + EmojiGb18030 + QByteArray("?\xBC\xF5"));
    QTest::newRow("euro") << u"€"_s << QByteArray("\x80");
    QTest::newRow("crlf") << u"减\r\n肥"_s << QByteArray("\xBC\xF5\r\n\xB7\xCA");
    // GBK drops these without a '?': they must still reach the file.
    QTest::newRow("variation selector") << u"a\uFE0Fb"_s << QByteArray("a\x84\x31\x82\x35" "b");
    QTest::newRow("zero width joiner") << u"减\u200D肥"_s << QByteArray("\xBC\xF5\x81\x36\xA4\x39\xB7\xCA");
    // A lone surrogate is no character: U+FFFD takes its place, never nothing.
    QTest::newRow("lone high surrogate") << u"a\xD800" u"b"_s << QByteArray("a\x84\x31\xA4\x37" "b");
    QTest::newRow("lone low surrogate at the end") << u"减\xDC00"_s << QByteArray("\xBC\xF5\x84\x31\xA4\x37");
    QTest::newRow("pair in the wrong order") << (u"\xDE00"_s + u"\xD83D"_s)
                                             << QByteArray("\x84\x31\xA4\x37\x84\x31\xA4\x37");
    QTest::newRow("lone surrogate beside an emoji") << (Emoji + u"\xD83D"_s) << (EmojiGb18030 + QByteArray("\x84\x31\xA4\x37"));
    // The emoji's high surrogate is the 4096th unit: the pair must not be split between pieces.
    QTest::newRow("emoji across piece boundary")
        << (QString(4095, u'a') + Emoji + u"减"_s) << (QByteArray(4095, 'a') + EmojiGb18030 + QByteArray("\xBC\xF5"));
}

void TestPlatform::toGbk()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CodePage::toGbk(text), bytes);
}

void TestPlatform::toGbkLongListWithOneOutsider()
{
    const QString line = u"减肥教程上海天气\r\n"_s;
    QString list;
    list.reserve(line.size() * 1000000);
    for (int i = 0; i < 1000000; ++i)
        list += line;
    const QByteArray lineBytes = gbk(line);

    const QByteArray plain = CodePage::toGbk(list);
    QCOMPARE(plain.size(), lineBytes.size() * 1000000);
    QCOMPARE(plain.left(lineBytes.size()), lineBytes);

    // One character outside GBK at the end must not slow the whole list down.
    list += Emoji;
    const QByteArray mixed = CodePage::toGbk(list);
    QCOMPARE(mixed.size(), plain.size() + 4);
    QCOMPARE(mixed.right(4), EmojiGb18030);
}

void TestPlatform::charsetFromContentType_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("charset");

    QTest::newRow("plain") << QByteArray("text/html; charset=utf-8") << QByteArray("utf-8");
    QTest::newRow("upper case, quoted") << QByteArray("text/html;CHARSET=\"GB2312\"") << QByteArray("gb2312");
    QTest::newRow("single quotes") << QByteArray("text/html; charset='gbk'") << QByteArray("gbk");
    QTest::newRow("spaces, other params") << QByteArray("text/html; q=1; charset = big5 ") << QByteArray("big5");
    QTest::newRow("none") << QByteArray("text/html") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("empty value") << QByteArray("text/html; charset=") << QByteArray();
}

void TestPlatform::charsetFromContentType()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, charset);
    QCOMPARE(CodePage::charsetFromContentType(contentType), charset);
}

void TestPlatform::charsetFromMeta_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("charset");

    QTest::newRow("meta charset") << QByteArray("<html><head><meta charset=\"utf-8\">") << QByteArray("utf-8");
    QTest::newRow("unquoted") << QByteArray("<META CHARSET=GBK>") << QByteArray("gbk");
    QTest::newRow("self-closing") << QByteArray("<meta charset='big5'/>") << QByteArray("big5");
    QTest::newRow("http-equiv")
        << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">") << QByteArray("gb2312");
    QTest::newRow("content first")
        << QByteArray("<meta content=\"text/html;charset=utf-8\" http-equiv=\"content-type\" />") << QByteArray("utf-8");
    QTest::newRow("unquoted http-equiv")
        << QByteArray("<meta http-equiv=content-type content='text/html; charset=GB2312'>") << QByteArray("gb2312");
    QTest::newRow("other metas first")
        << QByteArray("<meta http-equiv=\"X-UA-Compatible\" content=\"IE=7\">\r\n<meta name=referrer content=always>"
                      "<meta http-equiv=\"content-type\" content=\"text/html;charset=gb2312\">")
        << QByteArray("gb2312");
    QTest::newRow("content without http-equiv") << QByteArray("<meta content=\"text/html; charset=utf-8\">")
                                                << QByteArray();
    QTest::newRow("metadata tag") << QByteArray("<metadata charset=utf-8>") << QByteArray();
    QTest::newRow("none") << QByteArray("<html><head><title>x</title>") << QByteArray();
    QTest::newRow("too far in") << (QByteArray(8192, ' ') + "<meta charset=utf-8>") << QByteArray();
    QTest::newRow("just in") << (QByteArray(8100, ' ') + "<meta charset=utf-8>") << QByteArray("utf-8");
}

void TestPlatform::charsetFromMeta()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, charset);
    QCOMPARE(CodePage::charsetFromMeta(body), charset);
}

void TestPlatform::decodePage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");

    const QByteArray gbkMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">";
    const QByteArray gb2312Meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">";
    const QString gbkMetaText = QString::fromLatin1(gbkMeta);
    const QString gb2312MetaText = QString::fromLatin1(gb2312Meta);

    QTest::newRow("header utf-8 over gbk meta")
        << (gbkMeta + u"相关搜索"_s.toUtf8()) << QByteArray("text/html; charset=utf-8") << (gbkMetaText + u"相关搜索"_s);
    QTest::newRow("meta gb2312") << (gb2312Meta + gbk(u"相关搜索"_s)) << QByteArray("text/html")
                                 << (gb2312MetaText + u"相关搜索"_s);
    // A88B is GBK, not GB2312: a page labelled gb2312 still decodes it.
    QTest::newRow("gb2312 label, GBK-only character")
        << (gb2312Meta + "\xA8\x8B") << QByteArray() << (gb2312MetaText + u"\u25BC"_s);
    QTest::newRow("meta utf-8") << (QByteArray("<meta charset=utf-8>") + u"天气"_s.toUtf8()) << QByteArray()
                                << u"<meta charset=utf-8>天气"_s;
    QTest::newRow("no declaration means GBK") << gbk(u"<p>减肥</p>"_s) << QByteArray() << u"<p>减肥</p>"_s;
    QTest::newRow("unknown charset means GBK")
        << gbk(u"减肥"_s) << QByteArray("text/html; charset=x-no-such-code") << u"减肥"_s;
    QTest::newRow("big5 header") << QByteArray("\xA4\xA4\xA4\xE5") << QByteArray("text/html; charset=big5")
                                 << u"中文"_s;
    // Bytes GBK does not define: the decoding goes on after them.
    QTest::newRow("lone 0xFF between words") << QByteArray("\xBC\xF5\xB7\xCA\xFF\xBD\xCC\xB3\xCC") << QByteArray()
                                             << u"减肥\uF8F5教程"_s;
    QTest::newRow("bad trail byte") << QByteArray("\xBC\xF5\x81\x30\xBD\xCC") << QByteArray() << u"减\uFFFD0教"_s;
    QTest::newRow("lead byte at the end") << QByteArray("\xBC\xF5\xB7\xCA\xBC") << QByteArray() << u"减肥"_s;
    QTest::newRow("utf-8 BOM dropped") << QByteArray("\xEF\xBB\xBFok") << QByteArray("text/html; charset=UTF-8")
                                       << u"ok"_s;
}

void TestPlatform::decodePage()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QCOMPARE(CodePage::decodePage(body, contentType), text);
}

void TestPlatform::fileDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused"); // as not a text file

    // Each invalid UTF-8 sequence is one U+FFFD: the longest start of a well-formed character, or
    // one byte.
    QTest::newRow("UTF-8 cut at the end") << QByteArray("\xE5\x87\x8F\xE8\x82\xA5\r\n\xE5\x87") << u"减肥\r\n\uFFFD"_s << false;
    QTest::newRow("UTF-8 three of four bytes") << QByteArray("\xE5\x87\x8F\xF0\x9F\x98!") << u"减\uFFFD!"_s << false;
    QTest::newRow("UTF-8 overlong, two bytes") << (u"减肥茶教程"_s.toUtf8() + "\xC0\xAF") << u"减肥茶教程\uFFFD\uFFFD"_s << false;
    QTest::newRow("UTF-8 surrogate, three bytes") << (u"减肥茶教程上海天气预报"_s.toUtf8() + "\xED\xA0\x80")
                                                  << u"减肥茶教程上海天气预报\uFFFD\uFFFD\uFFFD"_s << false;
    QTest::newRow("UTF-8 stray continuation") << QByteArray("\xE5\x87\x8F\xE8\x82\xA5\x80\xE8\x8C\xB6")
                                              << u"减肥\uFFFD茶"_s << false;
    QTest::newRow("UTF-8 with BOM and a bad byte") << QByteArray("\xEF\xBB\xBF\xE5\x87\x8F\xFF") << u"减\uFFFD"_s << false;
    QTest::newRow("UTF-8 Chinese and emoji") << (u"减肥"_s + Emoji).toUtf8() << (u"减肥"_s + Emoji) << false;
    // Valid UTF-8 as well, but of rare scripts there; GBK reads as Chinese.
    QTest::newRow("GBK 学习 小说") << QByteArray("\xD1\xA7\xCF\xB0\r\n\xD0\xA1\xCB\xB5") << u"学习\r\n小说"_s << false;
    QTest::newRow("GBK 一") << QByteArray("\xD2\xBB") << u"一"_s << false;
    QTest::newRow("GBK 路, UTF-8 ·") << QByteArray("\xC2\xB7") << u"路"_s << false;
    QTest::newRow("GBK 英语") << QByteArray("\xD3\xA2\xD3\xEF") << u"英语"_s << false;
    QTest::newRow("GBK pinyin row") << QByteArray("\xA8\xA2\xA8\xA6") << u"áé"_s << false;
    // Windows writes the euro sign as the single byte 0x80; the export does too, so it comes back.
    QTest::newRow("GBK euro") << QByteArray("\xBC\xDB\xB8\xF1\x80") << u"价格€"_s << false;
    QTest::newRow("export comes back") << gbk(u"减肥€\r\n"_s + Emoji + u"\r\n한"_s) << (u"减肥€\r\n"_s + Emoji + u"\r\n한"_s) << false;
    QTest::newRow("GB18030 bad trail") << QByteArray("\xBC\xF5\x81\x20\xB7\xCA") << u"减\uFFFD 肥"_s << false;
    QTest::newRow("GB18030 0xFF") << QByteArray("\xBC\xF5\xFF\xB7\xCA") << u"减\uFFFD肥"_s << false;
    QTest::newRow("GB18030 four-byte form cut") << QByteArray("\xBC\xF5\x81\x30\x81") << u"减\uFFFD"_s << false;
    QTest::newRow("GB18030 four-byte form with a bad end") << QByteArray("\xBC\xF5\x81\x30\x81z") << u"减\uFFFDz"_s << false;
    QTest::newRow("ASCII") << QByteArray("plain\r\ntext") << u"plain\r\ntext"_s << false;
    QTest::newRow("empty") << QByteArray() << u""_s << false;
    // UTF-16 without a byte-order mark: NUL in every other byte.
    QTest::newRow("UTF-16 LE, 一 has a NUL byte too")
        << QByteArray("\x00\x4E\r\0\n\0a\0b\0c\0d\0", 14) << u"一\r\nabcd"_s << false;
    QTest::newRow("UTF-16 BE") << QByteArray("\0k\0w\x51\xCF", 6) << u"kw减"_s << false;
    QTest::newRow("UTF-16 LE keeps a second BOM") << QByteArray("a\0\xFF\xFE" "b\0", 6) << u"a\uFEFFb"_s << false;
    QTest::newRow("UTF-16 LE, 30-character lines") << utf16(LongTail, QSysInfo::LittleEndian) << LongTail << false;
    QTest::newRow("UTF-16 BE, 30-character lines") << utf16(LongTail, QSysInfo::BigEndian) << LongTail << false;
    QTest::newRow("UTF-16 LE without a line break")
        << utf16(WithoutNul, QSysInfo::LittleEndian) << WithoutNul << false;
    QTest::newRow("UTF-16 BE without a line break") << utf16(WithoutNul, QSysInfo::BigEndian) << WithoutNul << false;
    QTest::newRow("UTF-16 LE, one line, NUL bytes only in 最 and 一")
        << utf16(LongTail.left(30), QSysInfo::LittleEndian) << LongTail.left(30) << false;
    QTest::newRow("UTF-16 LE keeps a lone surrogate") << QByteArray("a\0\x00\xD8" "b\0", 6) << u"a\xD800" u"b"_s << false;
    // No NUL byte and no byte above 0x7F: the plain reading has control characters or stray signs.
    QTest::newRow("UTF-16 LE 你好世界, every byte ASCII") << QByteArray("`O}Y\x16NLu") << u"你好世界"_s << false;
    QTest::newRow("UTF-16 BE 你好世界, every byte ASCII") << QByteArray("O`Y}N\x16uL") << u"你好世界"_s << false;
    QTest::newRow("UTF-16 LE 天气, every byte ASCII") << QByteArray(")Y\x14l") << u"天气"_s << false;
    QTest::newRow("ASCII of letters stays ASCII") << QByteArray("abcd") << u"abcd"_s << false;
    QTest::newRow("ASCII with a few signs stays ASCII") << QByteArray("c++_tutorial") << u"c++_tutorial"_s << false;
    QTest::newRow("ASCII control characters, no one script") << QByteArray("\x01\x02\x03\x04") << u"\x01\x02\x03\x04"_s << false;
    QTest::newRow("NUL in both places of a GBK text")
        << (gbk(u"减肥茶减肥茶"_s) + QByteArray("\0ab\0", 4)) << QString() << true;
    QTest::newRow("NUL character in UTF-16") << QByteArray("a\0\0\0b\0c\0", 8) << QString() << true;
    QTest::newRow("one NUL in a long GBK text") << (gbk(u"减肥茶减肥茶减肥茶"_s) + QByteArray("\0x", 2)) << QString() << true;
}

void TestPlatform::fileDecoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    const TextFile::ReadResult read = TextFile::fromBytes(bytes);
    QCOMPARE(read.refusal, refused ? TextFile::Refusal::NotText : TextFile::Refusal::None);
    QCOMPARE(read.text, text);
}

void TestPlatform::decodeRandomBytesKeepsGoing()
{
    QRandomGenerator random(20240601);
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    for (char& c : noise)
        c = char(random.bounded(256));
    // ASCII first, so that a lead byte at the end of the noise cannot swallow half of the last word.
    const QByteArray tail = "<p>" + gbk(u"结尾"_s);
    for (const QByteArray& contentType :
         { QByteArray(), QByteArray("text/html; charset=utf-8"), QByteArray("text/html; charset=big5"),
           QByteArray("text/html; charset=gb18030") }) {
        const QString text = CodePage::decodePage(noise + tail, contentType);
        QVERIFY(text.size() > 1000);
        if (contentType.isEmpty())
            QVERIFY(text.endsWith(u"结尾"_s));
    }
}

void TestPlatform::fetchDecodesGbkPage()
{
    auto server = startServer();
    QVERIFY(server);
    const QByteArray body = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                            "</head><body>" + gbk(u"相关搜索 减肥"_s) + "</body></html>";
    server->setHandler([&](const FakeHttpServer::Request&) { return page(body); });

    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=%BC%F5%B7%CA"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.bytes, body.size());
    QCOMPARE(result.text,
             u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
             "</head><body>相关搜索 减肥</body></html>"_s);
    QVERIFY(result.error.isEmpty());
    QVERIFY(!inet.busy());
    QVERIFY(inet.totalWaitNs() > 0);

    QCOMPARE(server->requests().size(), 1);
    const FakeHttpServer::Request& request = server->requests().at(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.url.host(), u"www.baidu.com"_s);
    QCOMPARE(request.url.port(), -1);
}

void TestPlatform::requestTargetArrivesAsSent_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("chinese") << u"减肥"_s << QByteArray("http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5");
    QTest::newRow("plus and space") << u"c++ 教程"_s << QByteArray("http://www.baidu.com/s?wd=c%2B%2B%20%E6%95%99%E7%A8%8B");
    QTest::newRow("empty keyword") << QString() << QByteArray("http://www.baidu.com/s?wd=");
    QTest::newRow("reserved") << u"&#+%? /"_s << QByteArray("http://www.baidu.com/s?wd=%26%23%2B%25%3F%20%2F");
    QTest::newRow("emoji") << Emoji << QByteArray("http://www.baidu.com/s?wd=%F0%9F%98%80");
}

void TestPlatform::requestTargetArrivesAsSent()
{
    QFETCH(QString, keyword);
    QFETCH(QByteArray, target);

    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return page("ok"); });
    Inet inet;
    const FetchResult result
        = inet.OpenURL(u"http://www.baidu.com/s?wd="_s + QString::fromLatin1(CodePage::percentEncodeUtf8(keyword)));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(server->requests().at(0).target, target);
}

void TestPlatform::invalidAddressFails()
{
    auto server = startServer();
    QVERIFY(server);
    Inet inet;
    const FetchResult result = inet.OpenURL(u"www.baidu.com/s?wd=a"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"地址无效：www.baidu.com/s?wd=a"_s);
    QCOMPARE(server->requests().size(), 0);
}

void TestPlatform::errorStatusFails_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    QTest::newRow("404") << 404 << u"服务器返回错误 404"_s;
    QTest::newRow("500") << 500 << u"服务器返回错误 500"_s;
    QTest::newRow("503") << 503 << u"服务器返回错误 503"_s;
}

void TestPlatform::errorStatusFails()
{
    QFETCH(int, status);
    QFETCH(QString, error);

    auto server = startServer();
    QVERIFY(server);
    server->setHandler([status](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = page("<html>error page</html>");
        response.status = status;
        return response;
    });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.status, status);
    QCOMPARE(result.error, error);
    QVERIFY(result.text.isEmpty());
}

void TestPlatform::verificationFails_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("verification");
    QTest::addColumn<QString>("passAt"); // where a person would pass it

    const QString asked = u"http://www.baidu.com/s?wd=a"_s;
    const QByteArray title = "<html><head><title>百度安全验证</title></head><body>网络不给力，请稍后重试</body></html>";
    QTest::newRow("302 to wappass") << 302 << QByteArray("https://WAPPASS.baidu.com/static/captcha/tuxing.html?&ak=1")
                                    << QByteArray() << true
                                    << u"https://wappass.baidu.com/static/captcha/tuxing.html?&ak=1"_s;
    QTest::newRow("302 to a captcha path") << 302 << QByteArray("/static/Captcha/x.html") << QByteArray() << true
                                           << u"http://www.baidu.com/static/Captcha/x.html"_s;
    QTest::newRow("200 page so titled") << 200 << QByteArray() << title << true << asked;
    QTest::newRow("403 page so titled") << 403 << QByteArray() << title << true << asked;
    QTest::newRow("title with white space around")
        << 200 << QByteArray() << QByteArray("<TITLE>\n  百度安全验证 \t</TITLE>") << true << asked;
    QTest::newRow("words only in the body")
        << 200 << QByteArray() << QByteArray("<title>减肥</title><p>百度安全验证</p>") << false << QString();
    QTest::newRow("a keyword about the verification")
        << 200 << QByteArray() << QByteArray("<title>百度安全验证怎么解除_百度搜索</title>") << false << QString();
}

void TestPlatform::verificationFails()
{
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(QByteArray, body);
    QFETCH(bool, verification);
    QFETCH(QString, passAt);

    auto server = startServer();
    QVERIFY(server);
    server->setHandler([&](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = location.isEmpty() ? page(body, "text/html; charset=utf-8")
                                                               : redirect(status, location);
        response.status = status;
        return response;
    });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(result.verification, verification);
    QCOMPARE(result.ok, !verification);
    QCOMPARE(result.verificationAddress, passAt);
    if (verification) {
        QCOMPARE(result.error, u"百度要求安全验证"_s);
        QVERIFY(result.text.isEmpty());
    }
}

void TestPlatform::browserHeadersAndCookies()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response = page("ok");
        if (request.url.path() == u"/first")
            response.extraHeaders.append(
                qMakePair(QByteArray("Set-Cookie"), QByteArray("BAIDUID=ABC123:FG=1; path=/; domain=.baidu.com")));
        return response;
    });
    Inet inet;
    QVERIFY(inet.OpenURL(u"http://www.baidu.com/first"_s).ok);
    QVERIFY(inet.OpenURL(u"http://top.baidu.com/buzz?b=1"_s).ok);
    QCOMPARE(server->requests().size(), 2);
    const auto header = [&](int request, const QByteArray& name) {
        for (const auto& [key, value] : server->requests().at(request).headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
        return QByteArray();
    };
    QVERIFY(header(0, "User-Agent").startsWith("Mozilla/5.0 (Windows NT 10.0; Win64; x64)"));
    QVERIFY(header(0, "Accept").startsWith("text/html,"));
    QCOMPARE(header(0, "Accept-Language"), QByteArray("zh-CN,zh;q=0.9"));
    QCOMPARE(header(0, "Cookie"), QByteArray());
    QCOMPARE(header(1, "Cookie"), QByteArray("BAIDUID=ABC123:FG=1"));
}

void TestPlatform::completeAnswerOutlastsOtherWait()
{
    // Another handler's wait (a message box left open) holds the loop past the time-out while
    // the answer has long arrived: the answer is returned, not a time-out.
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = page("arrived");
        response.delayMs = 200;
        return response;
    });
    Inet inet;
    inet.setTimeoutMs(1500);
    QTimer::singleShot(50, &inet, [] {
        QEventLoop box;
        QTimer::singleShot(2000, &box, &QEventLoop::quit);
        box.exec();
    });
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.text, u"arrived"_s);
}

void TestPlatform::redirectIsFollowed_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("secondTarget");

    QTest::newRow("302 absolute") << 302 << QByteArray("http://www.baidu.com/new?x=%BC%F5")
                                  << QByteArray("http://www.baidu.com/new?x=%BC%F5");
    QTest::newRow("301 relative") << 301 << QByteArray("/new?x=c%2B%2B") << QByteArray("http://www.baidu.com/new?x=c%2B%2B");
    QTest::newRow("303 other host") << 303 << QByteArray("http://top.baidu.com/buzz?b=1")
                                    << QByteArray("http://top.baidu.com/buzz?b=1");
    QTest::newRow("307") << 307 << QByteArray("new") << QByteArray("http://www.baidu.com/new");
    QTest::newRow("308") << 308 << QByteArray("/new") << QByteArray("http://www.baidu.com/new");
}

void TestPlatform::redirectIsFollowed()
{
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(QByteArray, secondTarget);

    auto server = startServer();
    QVERIFY(server);
    server->setHandler([&](const FakeHttpServer::Request& request) {
        return request.url.path() == u"/old"_s ? redirect(status, location) : page("arrived");
    });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/old"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.text, u"arrived"_s);
    QCOMPARE(server->requests().size(), 2);
    QCOMPARE(server->requests().at(0).target, QByteArray("http://www.baidu.com/old"));
    QCOMPARE(server->requests().at(1).target, secondTarget);
}

void TestPlatform::redirectToOtherSchemeFails()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return redirect(302, "ftp://www.baidu.com/file"); });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/old"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.status, 302);
    QCOMPARE(result.error, u"不安全的重定向"_s);
    QCOMPARE(server->requests().size(), 1);
}

void TestPlatform::redirectLoopFails()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return redirect(302, "/loop"); });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/loop"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"重定向次数过多"_s);
    QCOMPARE(server->requests().size(), Inet::MaxRedirects + 1);
}

void TestPlatform::refusedConnectionFails()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, closedPort));
    Inet inet;
    inet.setTimeoutMs(5000);
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.error, u"连接被拒绝"_s);
    QVERIFY(clock.elapsed() < 3000);
}

void TestPlatform::hangingServerTimesOut()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return hanging(); });
    Inet inet;
    inet.setTimeoutMs(500);
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"连接超时"_s);
    QVERIFY2(elapsed >= 450 && elapsed < 3000, QByteArray::number(elapsed).constData());
    QCOMPARE(server->requests().size(), 1);
}

void TestPlatform::drippingServerEndsAtDeadline()
{
    // A byte every 100 ms never trips the silence time-out; the whole fetch still ends at the deadline.
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.body = QByteArray(200, 'x');
        response.dripMs = 100;
        return response;
    });
    Inet inet;
    inet.setTimeoutMs(800);
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"连接超时"_s);
    QVERIFY2(elapsed >= 750 && elapsed < 3000, QByteArray::number(elapsed).constData());
}

void TestPlatform::resetMidBodyFails()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = page(QByteArray(200000, 'x'));
        response.reset = true;
        return response;
    });
    Inet inet;
    inet.setTimeoutMs(5000);
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"连接被中断"_s);
    QVERIFY(result.text.isEmpty());
}

void TestPlatform::bodySizeCap_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("ok");

    QTest::newRow("1 MiB") << qint64(1024 * 1024) << true;
    QTest::newRow("exactly the cap") << Inet::MaxBodyBytes << true;
    QTest::newRow("one byte over") << Inet::MaxBodyBytes + 1 << false;
}

void TestPlatform::bodySizeCap()
{
    QFETCH(qint64, size);
    QFETCH(bool, ok);

    auto server = startServer();
    QVERIFY(server);
    const QByteArray body(size, 'a');
    server->setHandler([&](const FakeHttpServer::Request&) { return page(body, "text/plain; charset=utf-8"); });
    Inet inet;
    inet.setTimeoutMs(5000);
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/big"_s);
    QCOMPARE(result.ok, ok);
    if (ok) {
        QCOMPARE(result.bytes, size);
        QCOMPARE(result.text.size(), size);
    } else {
        QCOMPARE(result.error, u"页面超过 16 MB"_s);
        QVERIFY(result.text.isEmpty());
        QCOMPARE(result.bytes, 0); // turned away on Content-Length, before any body
    }
}

void TestPlatform::decompressedBodyOverCapFails()
{
    // Compressed well under the cap, one byte over it once inflated: only counting the bytes as
    // they arrive can catch it. Random digits keep the ratio far from a decompression bomb.
    QRandomGenerator random(7);
    QByteArray body(Inet::MaxBodyBytes + 1, Qt::Uninitialized);
    for (char& c : body)
        c = char('0' + random.bounded(10));
    const QByteArray deflated = qCompress(body, 1).mid(4); // drop qCompress's length prefix: a zlib stream
    QVERIFY(deflated.size() < Inet::MaxBodyBytes);

    auto server = startServer();
    QVERIFY(server);
    server->setHandler([&](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = page(deflated, "text/plain");
        response.extraHeaders.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("deflate")));
        return response;
    });
    Inet inet;
    inet.setTimeoutMs(5000);
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/deflate"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"页面超过 16 MB"_s);
    QCOMPARE(result.bytes, Inet::MaxBodyBytes + 1);
}

void TestPlatform::abortEndsWaitPromptly()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return hanging(); });
    Inet inet;
    inet.setTimeoutMs(10000);
    bool busyWhileWaiting = false;
    QTimer::singleShot(100, &inet, [&] {
        busyWhileWaiting = inet.busy();
        inet.abort();
    });
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"已取消"_s);
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(busyWhileWaiting);
    QVERIFY(!inet.busy());
}

void TestPlatform::abortEndsNestedWaitsToo()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return hanging(); });
    Inet inet;
    inet.setTimeoutMs(10000);
    FetchResult inner;
    QTimer::singleShot(50, &inet, [&] {
        QTimer::singleShot(100, &inet, [&] { inet.abort(); });
        inner = inet.OpenURL(u"http://www.baidu.com/inner"_s);
    });
    QElapsedTimer clock;
    clock.start();
    const FetchResult outer = inet.OpenURL(u"http://www.baidu.com/outer"_s);
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(outer.error, u"已取消"_s);
    QCOMPARE(inner.error, u"已取消"_s);
    QCOMPARE(server->requests().size(), 2);
    QVERIFY(!inet.busy());
}

void TestPlatform::eventsFlowDuringWait()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response = page("late");
        response.delayMs = 300;
        return response;
    });
    Inet inet;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.text, u"late"_s);
    QVERIFY2(ticks >= 5, QByteArray::number(ticks).constData());
    QVERIFY(inet.totalWaitNs() >= 250'000'000);
}

void TestPlatform::nestedOpenUrlGetsItsOwnAnswer()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response = page(request.url.path().toUtf8());
        if (request.url.path() == u"/slow"_s)
            response.delayMs = 400;
        return response;
    });
    Inet inet;
    FetchResult inner;
    bool busyAfterInner = false;
    QTimer::singleShot(50, &inet, [&] {
        inner = inet.OpenURL(u"http://www.baidu.com/fast"_s);
        busyAfterInner = inet.busy(); // the outer request is still waiting
    });
    const FetchResult outer = inet.OpenURL(u"http://www.baidu.com/slow"_s);
    QVERIFY2(outer.ok, qPrintable(outer.error));
    QVERIFY2(inner.ok, qPrintable(inner.error));
    QCOMPARE(outer.text, u"/slow"_s);
    QCOMPARE(inner.text, u"/fast"_s);
    QVERIFY(busyAfterInner);
    QVERIFY(!inet.busy());
}

void TestPlatform::destroyedWhileWaiting()
{
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([](const FakeHttpServer::Request&) { return hanging(); });
    QPointer<Inet> inet = new Inet;
    inet->setTimeoutMs(10000);
    QTimer::singleShot(100, [&] { delete inet.data(); });
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet->OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY(inet.isNull());
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"已取消"_s);
    QVERIFY(clock.elapsed() < 2000);
}

void TestPlatform::proxyFromEnvironment()
{
    FakeHttpServer proxy;
    QVERIFY(proxy.start());
    FakeHttpServer direct;
    QVERIFY(direct.start());
    proxy.setHandler([](const FakeHttpServer::Request&) { return page("via proxy"); });
    direct.setHandler([](const FakeHttpServer::Request&) { return page("direct"); });

    const QByteArray oldHttpProxy = qgetenv("http_proxy");
    const QByteArray oldNoProxy = qgetenv("no_proxy");
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.port()));
    qputenv("no_proxy", "www.example.org");
    // No application proxy: the Inet turns to the system settings, which read the variables above.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    Inet inet;
    const FetchResult proxied = inet.OpenURL(u"http://www.baidu.com/s?wd=%BC%F5"_s);
    const FetchResult local = inet.OpenURL(u"http://127.0.0.1:%1/here?q=1"_s.arg(direct.port()));
    const QList<QNetworkProxy> exempt
        = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(QUrl(u"http://www.example.org/"_s)));
    qputenv("http_proxy", oldHttpProxy);
    qputenv("no_proxy", oldNoProxy);

    QVERIFY2(proxied.ok, qPrintable(proxied.error));
    QCOMPARE(proxied.text, u"via proxy"_s);
    QCOMPARE(proxy.requests().size(), 1);
    QCOMPARE(proxy.requests().at(0).target, QByteArray("http://www.baidu.com/s?wd=%BC%F5"));

    // Loopback addresses never go through the proxy; the request arrives in origin form.
    QVERIFY2(local.ok, qPrintable(local.error));
    QCOMPARE(local.text, u"direct"_s);
    QCOMPARE(direct.requests().size(), 1);
    QCOMPARE(direct.requests().at(0).target, QByteArray("/here?q=1"));
    QCOMPARE(direct.requests().at(0).url, QUrl(u"http://127.0.0.1:%1/here?q=1"_s.arg(direct.port())));

    QVERIFY(!exempt.isEmpty());
    QCOMPARE(exempt.constFirst().type(), QNetworkProxy::NoProxy);
}

void TestPlatform::applicationProxySetAfterInet()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    Inet inet; // turns the system settings on
    FakeHttpServer server;
    QVERIFY(server.start());
    server.setHandler([](const FakeHttpServer::Request&) { return page("late proxy"); });
    server.useAsApplicationProxy();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=a"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.text, u"late proxy"_s);
    QCOMPARE(server.requests().size(), 1);
}

void TestPlatform::realPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("excerpt");

    QTest::newRow("2011 result page, gb2312")
        << u"baidu_s_mozilla_tp5n-talos-pagesets_2011_gb2312.html"_s << 30712 << u"相关搜索"_s;
    QTest::newRow("2011 result page, GBK-only character")
        << u"baidu_s_mozilla_tp5n-talos-pagesets_2011_gb2312.html"_s << 30712 << u"<small>\u25BC</small>"_s;
    QTest::newRow("2018 hot list, gb2312")
        << u"baidu_top_buzz_b1_IEE-homework_2018_gb2312.html"_s << 77865
        << u"<title>实时热点排行榜--百度搜索风云榜</title>"_s;
    QTest::newRow("2018 result page, utf-8")
        << u"baidu_s_shanghai-mingtian-tianqi_IEE-homework_2018_utf8.html"_s << 332729
        << u"<title>上海明天天气_百度搜索</title>"_s;
}

void TestPlatform::realPages()
{
    QFETCH(QString, file);
    QFETCH(int, length);
    QFETCH(QString, excerpt);

    const QByteArray body = readRealPage(file);
    QVERIFY(!body.isEmpty());
    auto server = startServer();
    QVERIFY(server);
    server->setHandler([&](const FakeHttpServer::Request&) { return page(body); });
    Inet inet;
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=mozilla"_s);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.bytes, body.size());
    QCOMPARE(result.text.size(), length);
    QVERIFY(result.text.contains(excerpt));
    QVERIFY(!result.text.contains(QChar::ReplacementCharacter));
}

void TestPlatform::browserOpenerSeam()
{
    QStringList opened;
    Browser::setOpenerForTesting([&](const QString& address) { opened.append(address); });
    Browser::openInDefaultBrowser(u"http://www.baidu.com/s?wd=%BC%F5%B7%CA"_s);
    Browser::openInDefaultBrowser(u"http://top.baidu.com/buzz?b=1"_s);
    Browser::setOpenerForTesting(nullptr);
    QCOMPARE(opened, QStringList({ u"http://www.baidu.com/s?wd=%BC%F5%B7%CA"_s, u"http://top.baidu.com/buzz?b=1"_s }));
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
