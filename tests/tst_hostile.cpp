// Servers built to break the fetch, against the fetch itself and the window's two commands that
// fetch: a mining run and the hot-word fetch. Whatever the server does, the program survives, keeps
// the keyword list, and comes back to idle in bounded time. Waits use a time-out shortened for tests.
#include "app/form1.h"
#include "app/messagebox.h"
#include "hotwords/hotwords.h"
#include "listtools/export.h"
#include "platform/codepage.h"
#include "platform/inet.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using namespace Qt::StringLiterals;

namespace {

enum class Mode {
    Hang,
    DripWithinTimeout,
    Drip,
    ResetMidBody,
    RedirectLoop,
    RedirectToUnreachableHost,
    Oversize,
    OversizeWithoutLength,
    GzipInflatesPastCap,
    GzipBomb,
    UnknownCharset,
    RandomBytes,
    Empty200,
};

constexpr int ShortTimeoutMs = 1500;
const QString List = u"旧词一\r\n旧词二\r\n"_s;
const QString UnreachableHost = u"unreachable.invalid"_s;

quint32 crc32(const QByteArray& data)
{
    static const auto table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFU;
    for (char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFU;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// One gzip member: qCompress gives a length prefix, a zlib header, the deflate stream and an
// Adler-32; gzip wants its own header, the same deflate stream, CRC-32 and the length.
QByteArray gzip(const QByteArray& data)
{
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflate = zlib.mid(4 + 2).chopped(4);
    return QByteArray("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\xFF", 10) + deflate + littleEndian32(crc32(data))
        + littleEndian32(quint32(data.size()));
}

// Random digits: compressed far below the cap and with a modest ratio, so that only the count of
// decoded bytes can stop them.
const QByteArray& gzipDigitsPastCap()
{
    static const QByteArray body = [] {
        QRandomGenerator random(11);
        QByteArray digits(Inet::MaxBodyBytes + 1, Qt::Uninitialized);
        for (char& c : digits)
            c = char('0' + random.bounded(10));
        return gzip(digits);
    }();
    return body;
}

const QByteArray& gzipZerosPastCap()
{
    static const QByteArray body = gzip(QByteArray(Inet::MaxBodyBytes + 1, '\0'));
    return body;
}

QByteArray randomBytes()
{
    QRandomGenerator random(20240607);
    QByteArray bytes(64 * 1024, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

QByteArray hotListPage(const QString& word)
{
    return CodePage::toGbk(u"<table><tr><th>最近24小时搜索量</th></tr><tr><td><a href=\"/d?b=1\" target=\"_blank\">"_s
                           + word + u"</a></td></tr></table>"_s);
}

FakeHttpServer::Response hostile(Mode mode, const FakeHttpServer::Request& request)
{
    FakeHttpServer::Response response;
    if (request.url.host() == UnreachableHost) {
        response.closeUnanswered = true;
        return response;
    }
    switch (mode) {
    case Mode::Hang:
        response.hang = true;
        break;
    case Mode::DripWithinTimeout:
        response.body = CodePage::toGbk(u"好!"_s);
        response.dripMs = 100;
        break;
    case Mode::Drip:
        response.body = QByteArray(100, 'x');
        response.dripMs = 1000;
        break;
    case Mode::ResetMidBody:
        response.body = QByteArray(200000, 'x');
        response.reset = true;
        break;
    case Mode::RedirectLoop:
        response.status = 302;
        response.extraHeaders.append(
            { "Location", request.url.path() == u"/loop-a"_s ? QByteArray("/loop-b") : QByteArray("/loop-a") });
        break;
    case Mode::RedirectToUnreachableHost:
        response.status = 302;
        response.extraHeaders.append({ "Location", QByteArray("http://" + UnreachableHost.toLatin1() + "/s?wd=a") });
        break;
    case Mode::Oversize:
        response.body = QByteArray(Inet::MaxBodyBytes + 1, 'a');
        break;
    case Mode::OversizeWithoutLength:
        response.body = QByteArray(Inet::MaxBodyBytes + 1, 'a');
        response.noContentLength = true;
        break;
    case Mode::GzipInflatesPastCap:
        response.body = gzipDigitsPastCap();
        response.extraHeaders.append({ QByteArray("Content-Encoding"), QByteArray("gzip") });
        break;
    case Mode::GzipBomb:
        response.body = gzipZerosPastCap();
        response.extraHeaders.append({ QByteArray("Content-Encoding"), QByteArray("gzip") });
        break;
    case Mode::UnknownCharset:
        // The seed's page and the hot list hold one keyword each; every later page is plain text.
        response.contentType = "text/html; charset=x-no-such-charset";
        if (request.url.host() == QStringView(HotWords::BaiduHost))
            response.body = hotListPage(u"热词"_s);
        else if (SearchPages::keywordOfTarget(request.target) == u"减肥"_s)
            response.body = SearchPages::resultPage({ u"新词"_s });
        else
            response.body = CodePage::toGbk(u"没有相关搜索"_s);
        break;
    case Mode::RandomBytes:
        response.body = randomBytes();
        break;
    case Mode::Empty200:
        break;
    }
    return response;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void programKeepsSixtySecondTimeout();
    void fetch_data();
    void fetch();
    void miningRun_data();
    void miningRun();
    void hotWordFetch_data();
    void hotWordFetch();

private:
    void addModes();
    void serve(Mode mode);

    FakeHttpServer server_;
    QTemporaryDir dir_;
};

void TestHostile::initTestCase()
{
    QVERIFY(server_.start());
    server_.useAsApplicationProxy();
    QVERIFY(dir_.isValid());
    // The hot-word fetch writes its record beside the export file.
    ExportFile::setProgramDirForTesting(dir_.path());
    ExportFile::setDocumentsDirForTesting(dir_.path());
}

void TestHostile::cleanupTestCase()
{
    ExportFile::setProgramDirForTesting({});
    ExportFile::setDocumentsDirForTesting({});
}

void TestHostile::init()
{
    server_.clearRequests();
}

void TestHostile::serve(Mode mode)
{
    server_.setHandler([mode](const FakeHttpServer::Request& request) { return hostile(mode, request); });
}

void TestHostile::programKeepsSixtySecondTimeout()
{
    Form1 form;
    QCOMPARE(form.Inet1->timeoutMs(), 60000);
}

// Per mode: the time-out set on the fetch, the longest one fetch may take, what it gives (the page
// text, or why it failed), how many requests reach the server for one fetch, and the keyword list
// after a mining run from the seed 减肥 and after a hot-word fetch, both started on List. Modes that
// end by themselves get a time-out they never need.
void TestHostile::addModes()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("boundMs");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("afterMining");
    QTest::addColumn<QString>("afterHotWords");

    const int shortTimeout = ShortTimeoutMs;
    const int waits = ShortTimeoutMs + 4000;
    const int longTimeout = 60000;
    const int ends = 15000;
    const QString timedOut = u"连接超时"_s;
    const QString tooLarge = u"页面超过 16 MB"_s;
    QTest::newRow("accepts, never answers")
        << int(Mode::Hang) << shortTimeout << waits << false << timedOut << 1 << List << List;
    QTest::newRow("drips within the time-out")
        << int(Mode::DripWithinTimeout) << shortTimeout << waits << true << u"好!"_s << 1 << List << List;
    // The time-out bounds the whole request, not only a pause: arriving bytes do not extend it.
    QTest::newRow("drips a byte a second")
        << int(Mode::Drip) << shortTimeout << waits << false << timedOut << 1 << List << List;
    QTest::newRow("resets mid-body") << int(Mode::ResetMidBody) << longTimeout << ends << false << u"连接被中断"_s << 1
                                     << List << List;
    QTest::newRow("redirect loop") << int(Mode::RedirectLoop) << longTimeout << ends << false << u"重定向次数过多"_s
                                   << Inet::MaxRedirects + 1 << List << List;
    // Qt tries a connection that closed without an answer three more times before giving up.
    QTest::newRow("redirect to an unreachable host") << int(Mode::RedirectToUnreachableHost) << longTimeout << ends
                                                     << false << u"连接被中断"_s << 1 + 4 << List << List;
    QTest::newRow("16 MiB + 1 body") << int(Mode::Oversize) << longTimeout << ends << false << tooLarge << 1 << List
                                     << List;
    QTest::newRow("16 MiB + 1 body without length")
        << int(Mode::OversizeWithoutLength) << longTimeout << ends << false << tooLarge << 1 << List << List;
    QTest::newRow("gzip inflating past 16 MiB")
        << int(Mode::GzipInflatesPastCap) << longTimeout << ends << false << tooLarge << 1 << List << List;
    // Qt's own guard against a decompression bomb stops this one, at 10 MiB inflated.
    QTest::newRow("gzip bomb") << int(Mode::GzipBomb) << longTimeout << ends << false
                               << u"网络错误：Decompression failed: "_s << 1 << List << List;
    // Read as GBK: the seed's keyword is found and joins the list.
    QTest::newRow("unknown charset") << int(Mode::UnknownCharset) << longTimeout << ends << true << u"没有相关搜索"_s
                                     << 1 << List + u"新词\r\n"_s << List + u"热词\r\n"_s;
    QTest::newRow("random bytes") << int(Mode::RandomBytes) << longTimeout << ends << true << QString() << 1 << List
                                  << List;
    QTest::newRow("empty 200") << int(Mode::Empty200) << longTimeout << ends << true << QString() << 1 << List << List;
}

void TestHostile::fetch_data()
{
    addModes();
}

void TestHostile::fetch()
{
    QFETCH(int, mode);
    QFETCH(int, timeoutMs);
    QFETCH(bool, ok);
    QFETCH(QString, outcome);
    QFETCH(int, requests);
    QFETCH(int, boundMs);

    serve(Mode(mode));
    Inet inet;
    inet.setTimeoutMs(timeoutMs);
    QElapsedTimer clock;
    clock.start();
    const FetchResult result = inet.OpenURL(u"http://www.baidu.com/s?wd=x"_s);
    QVERIFY2(clock.elapsed() < boundMs, QByteArray::number(clock.elapsed()).constData());
    QVERIFY(!inet.busy());
    QCOMPARE(server_.requests().size(), requests);
    QCOMPARE(result.ok, ok);
    if (ok) {
        QVERIFY(result.error.isEmpty());
        if (Mode(mode) == Mode::RandomBytes)
            QCOMPARE(result.text, CodePage::decodePage(randomBytes()));
        else
            QCOMPARE(result.text, outcome);
    } else {
        QCOMPARE(result.error, outcome);
        QVERIFY(result.text.isEmpty());
        QVERIFY(result.bytes <= Inet::MaxBodyBytes + 1);
    }
}

void TestHostile::miningRun_data()
{
    addModes();
}

void TestHostile::miningRun()
{
    QFETCH(int, mode);
    QFETCH(int, timeoutMs);
    QFETCH(int, boundMs);
    QFETCH(bool, ok);
    QFETCH(QString, outcome);
    QFETCH(int, requests);
    QFETCH(QString, afterMining);

    serve(Mode(mode));
    Form1 form;
    form.Text7->setText(u"0"_s);
    form.Inet1->setTimeoutMs(timeoutMs);
    ListReplace::replaceKeywordList(form.Text1, List);
    form.Text3->setText(u"减肥"_s);
    QElapsedTimer clock;
    clock.start();
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    form.Command4->click();
    MessageBox::setHookForTesting({});
    // A seed page that could not be fetched is said, with the fetch's own reason.
    QCOMPARE(shown.size(), ok ? 0 : 1);
    if (!ok)
        QVERIFY2(shown[0].text.startsWith(u"没能获取搜索词的百度结果页（"_s + outcome), qPrintable(shown[0].text));
    // The seed's fetch, once more when it failed as every failed page is, and for the one mode that
    // finds a keyword, the fetch of that keyword.
    const int fetches = !ok || afterMining != List ? 2 : 1;
    QVERIFY2(clock.elapsed() < fetches * boundMs, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(ListReplace::keywordListText(form.Text1), afterMining);
    QCOMPARE(form.miningRun()->RunState, 0);
    QVERIFY(!form.miningInProgress());
    QVERIFY(form.Command4->isEnabled());
    QVERIFY(!form.Inet1->busy());
    const QList<FakeHttpServer::Request>& received = server_.requests();
    const QByteArray seed("http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5");
    QCOMPARE(received.constFirst().target, seed);
    if (ok) {
        QCOMPARE(received.size(), fetches * requests);
    } else {
        // The first fetch's requests, then the second fetch's (Qt may retry a closed connection fewer
        // times on the second).
        qsizetype second = 1;
        while (second < received.size() && received.at(second).target != seed)
            ++second;
        QCOMPARE(second, qsizetype(requests));
        QVERIFY(second < received.size());
        QVERIFY(received.size() <= 2 * requests);
    }
}

void TestHostile::hotWordFetch_data()
{
    addModes();
}

void TestHostile::hotWordFetch()
{
    QFETCH(int, mode);
    QFETCH(int, timeoutMs);
    QFETCH(int, boundMs);
    QFETCH(bool, ok);
    QFETCH(QString, outcome);
    QFETCH(int, requests);
    QFETCH(QString, afterHotWords);

    serve(Mode(mode));
    Form1 form;
    form.Inet1->setTimeoutMs(timeoutMs);
    ListReplace::replaceKeywordList(form.Text1, List);
    QList<MessageBox::Shown> shown;
    MessageBox::setHookForTesting([&shown](const MessageBox::Shown& box) { shown.append(box); });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.Command10, Qt::LeftButton);
    MessageBox::setHookForTesting({});
    // No keyword from the written page: the board of today is asked as well, from the same server.
    const bool nothing = afterHotWords == List;
    const int fetches = nothing ? 2 : 1;
    QVERIFY2(clock.elapsed() < fetches * boundMs, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(ListReplace::keywordListText(form.Text1), afterHotWords);
    QCOMPARE(form.Command10->text(), u"获取"_s);
    QVERIFY(form.Command10->isEnabled());
    QVERIFY(!form.Inet1->busy());
    QCOMPARE(server_.requests().constFirst().target, QByteArray("http://top.baidu.com/buzz/top10.html"));
    if (nothing) {
        // Qt retries a connection closed without an answer fewer times for the second fetch, so
        // that fetch reaches the server at least once and at most as often as the first.
        QVERIFY(server_.requests().size() > requests);
        QVERIFY(server_.requests().size() <= 2 * requests);
        QCOMPARE(server_.requests().at(requests).target,
                 QByteArray("http://top.baidu.com/api/board?platform=web&tab=realtime"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
                 u"没有从“百度今日热词”获取到热词："_s + (ok ? u"页面上没有找到热词"_s : outcome) + u"。"_s);
    } else {
        QCOMPARE(server_.requests().size(), requests);
        QVERIFY(shown.isEmpty());
    }
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
