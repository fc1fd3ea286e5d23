// The embedded web strip against local pages in a temporary folder: the guards in the top page and in
// frames, dialogs that never show, new windows that reach the default browser only for web and mail
// addresses, the program's own page, and the strip replacing the placeholder after the first paint.
// The verification window against the fake web, reached as the application proxy: its guards, when it
// counts as passed and when the engine simply served it, the cookies it takes from Inet1's jar and
// hands back, and where it stands. The web engine's page source against the same fake web: pages,
// errors, the verification, JSON answers, abort, time-out, one load at a time, and the saved real
// pages read as from the raw page.
#include "app/form1.h"
#include "app/verificationgate.h"
#include "app/webstrip/privateprofile.h"
#include "app/webstrip/strippage.h"
#include "app/webstrip/verificationwindow.h"
#include "app/webstrip/webpagesource.h"
#include "app/webstrip/webstrip.h"
#include "app/webstriploader.h"
#include "e2e/fakesite.h"
#include "mining/extraction.h"
#include "mining/pacer.h"
#include "platform/browser.h"
#include "platform/codepage.h"
#include "platform/inet.h"
#include "support/searchpages.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString GuardsNullIn = u"(w => [w.alert, w.confirm, w.showModalDialog, w.open].map(f => f === null))"_s;

// The engine's work on this thread runs as events, so waits spin a real event loop rather than poll.
bool spinUntil(const std::function<void(QEventLoop&)>& arm)
{
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    timeout.start(15000);
    arm(loop);
    return loop.exec() == 0;
}

// Runs a script in the page's top document and waits for its result.
QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    auto waiting = std::make_shared<QPointer<QEventLoop>>();
    const bool answered = spinUntil([&](QEventLoop& loop) {
        *waiting = &loop;
        page->runJavaScript(script, [answer, waiting](const QVariant& value) {
            *answer = value;
            if (*waiting)
                (*waiting)->quit();
        });
    });
    return answered ? **answer : QVariant(u"no answer"_s);
}

bool load(QWebEnginePage* page, const QUrl& address)
{
    QMetaObject::Connection connection;
    const bool loaded = spinUntil([&](QEventLoop& loop) {
        connection = QObject::connect(page, &QWebEnginePage::loadFinished, &loop, [&loop, page, address](bool ok) {
            if (ok && page->url() == address)
                loop.quit();
        });
        page->load(address);
    });
    QObject::disconnect(connection);
    return loaded;
}

QPoint centreOf(QWebEnginePage* page, const QString& elementId)
{
    const QVariantList box = evaluate(page,
                                      u"(r => [r.x + r.width / 2, r.y + r.height / 2])(document.getElementById('"_s
                                          + elementId + u"').getBoundingClientRect())")
                                 .toList();
    return box.size() == 2 ? QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble())) : QPoint();
}

// Counts and closes any dialog window that shows up, modal or not.
class DialogWatch : public QObject
{
public:
    DialogWatch()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->isVisible() && (qobject_cast<QDialog*>(widget) || widget->isModal())) {
                    ++shown;
                    widget->close();
                }
            }
        });
        timer_.start(10);
    }
    int shown = 0;

private:
    QTimer timer_;
};

int visibleWindows()
{
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() ? 1 : 0;
    return count;
}

QWidget* shownVerificationWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == u"百度安全验证"_s)
            return widget;
    }
    return nullptr;
}

// What the verification window's guards did, in order.
class GuardLog : public QObject
{
    Q_OBJECT
public:
    QStringList events;

public Q_SLOTS:
    void openOnDesktop(const QUrl& url) { events << u"desktop "_s + url.toString(); }
};

// Name and value of every cookie the jar sends to address, sorted.
QStringList cookiesFor(Inet& inet, const QString& address)
{
    QStringList cookies;
    for (const QNetworkCookie& cookie : inet.cookieJar()->cookiesForUrl(QUrl(address)))
        cookies << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
    cookies.sort();
    return cookies;
}

QStringList sortedCookies(const QString& header)
{
    QStringList cookies = header.split(u"; "_s, Qt::SkipEmptyParts);
    cookies.sort();
    return cookies;
}

// The keywords a run takes from a page, none of them known yet: the classic block's links, or the
// words of the newer layouts.
QStringList offeredKeywords(const QString& page)
{
    const Mining::RelatedSearches offered
        = Mining::relatedSearches(page, QString::fromUtf16(Mining::BlockStart), QString::fromUtf16(Mining::BlockEnd));
    if (offered.classicBlock.isEmpty())
        return offered.words;
    return Mining::extractNewKeywords(offered.classicBlock, QString::fromUtf16(Mining::ItemStart),
                                      QString::fromUtf16(Mining::ItemEnd), {}, [](const QString&) { return false; })
        .keywords.split(u"\r\n"_s, Qt::SkipEmptyParts);
}

// The shared profile forgets every cookie, so that no row sees another's. This test holds two: the
// one of the code it links, and the plugin's, which the window and the loader's source use as in the
// program; both are children of the application object.
void forgetPrivateCookies()
{
    WebStrip::privateProfile();
    for (QWebEngineProfile* profile : qApp->findChildren<QWebEngineProfile*>(Qt::FindDirectChildrenOnly))
        profile->cookieStore()->deleteAllCookies();
    QTRY_VERIFY(WebStrip::privateCookies().isEmpty());
}

// What the web engine's source is set up with: the program's words about itself and one cookie of the
// engine's domain.
WebPageSourceSetup sourceSetup(int timeoutMs = Inet::DefaultTimeoutMs)
{
    WebPageSourceSetup setup;
    setup.userAgent = QByteArray(Inet::UserAgent);
    setup.acceptLanguage = QByteArray(Inet::AcceptLanguage);
    setup.timeoutMs = timeoutMs;
    setup.cookies = QNetworkCookie::parseCookies("BAIDUID=W1; domain=.baidu.com; path=/");
    return setup;
}

QRect globalRect(const QWidget* widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

} // namespace

class TestWebStrip : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void guardsInEveryDocument_data();
    void guardsInEveryDocument();
    void dialogsNeverShow_data();
    void dialogsNeverShow();
    void leavingAPageAsksNothing();
    void newWindowOpensOnlyWebAddresses_data();
    void newWindowOpensOnlyWebAddresses();
    void openableAddresses_data();
    void openableAddresses();
    void placeholderStaysWithoutPlugin();
    void stripReplacesPlaceholderAfterFirstPaint();
    void pastVerification_data();
    void pastVerification();
    void verificationWindowGuards_data();
    void verificationWindowGuards();
    void verificationGate_data();
    void verificationGate();
    void verificationWindowPlace_data();
    void verificationWindowPlace();
    void webPageSource_data();
    void webPageSource();
    void webPageSourceReadsRealPages_data();
    void webPageSourceReadsRealPages();
    void webPageSourceThroughTheLoader();

private:
    void writePage(const QString& name, const QString& body);
    QUrl pageAddress(const QString& name) const { return QUrl::fromLocalFile(pages_.filePath(name)); }

    QTemporaryDir pages_;
    std::unique_ptr<FakeSite> site_;
    std::unique_ptr<QWebEngineView> view_;
    WebStrip::StripPage* page_ = nullptr;
    QStringList opened_;
};

void TestWebStrip::writePage(const QString& name, const QString& body)
{
    QFile file(pages_.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((u"<!DOCTYPE html><html><head><meta charset='utf-8'></head><body>"_s + body + u"</body>").toUtf8());
}

void TestWebStrip::initTestCase()
{
    QVERIFY(pages_.isValid());
    const QString recordTypes = u"<script>var seenAtParse = [alert, confirm, showModalDialog, open];</script>"_s;
    writePage(u"guards.html"_s, recordTypes + u"<iframe src='frame.html'></iframe>");
    writePage(u"frame.html"_s,
              recordTypes + u"<a id='link' href='http://www.qinglan.example/frame' target='_blank'>框架</a>");
    writePage(u"lateframe.html"_s,
              u"<script>onload = () => setTimeout(() => document.body.appendChild(Object.assign("
              "document.createElement('iframe'), {src: 'frame.html'})), 50);</script>"_s);
    writePage(u"newwindow.html"_s,
              u"<a id='http' href='http://www.qinglan.example/a?b=1#c' target='_blank'>甲</a>"
              "<a id='https' href='https://www.qinglan.example/安全?q=词' target='_blank'>乙</a>"
              "<a id='mailto' href='mailto:webmaster@qinglan.example' target='_blank'>丙</a>"
              "<a id='javascript' href='javascript:void(0)' target='_blank'>丁</a>"
              "<a id='file' href='file:///etc/passwd' target='_blank'>戊</a>"
              "<a id='custom' href='qinglan-x:run?cmd=calc' target='_blank'>己</a>"
              "<a id='hidden' href='http://www.qinglan.example/hidden' target='_blank' hidden></a>"
              "<form action='http://www.qinglan.example/form' target='_blank'><button id='button'>庚</button></form>"
              "<iframe src='frame.html'></iframe>"
              "<script>document.addEventListener('keydown', () => { if (document.activeElement === document.body)"
              " document.getElementById('hidden').click(); });</script>"_s);
    Browser::setOpenerForTesting([this](const QString& address) { opened_ << address; });

    // The program's private profile gets its request headers before its first page, as in the program,
    // where the window and the web engine's source both set them before they load anything: set later,
    // the engine rewrites the language list ("zh-CN,zh").
    WebStrip::privateProfile()->setHttpUserAgent(QString::fromLatin1(Inet::UserAgent));
    WebStrip::privateProfile()->setHttpAcceptLanguage(QString::fromLatin1(Inet::AcceptLanguage));

    // Every web page comes from the fake web, through the proxy, before the engine starts.
    site_ = std::make_unique<FakeSite>();
    QVERIFY(site_->start());
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, site_->port()));
    auto page = [](const QString& body) {
        FakeHttpServer::Response response;
        response.contentType = "text/html; charset=utf-8";
        response.body
            = (u"<!DOCTYPE html><html><head><link rel='icon' href='data:,'></head><body>"_s + body + u"</body></html>")
                  .toUtf8();
        return response;
    };
    const QString host = u"www.qinglan.example"_s;
    site_->setPage(host, u"/dialogs.html"_s, page(u"<script>alert('甲'); confirm('乙');</script>"_s));
    site_->setPage(host, u"/prompt.html"_s, page(u"<script>prompt('丙', '丁');</script>"_s));
    site_->setPage(host, u"/links.html"_s,
                   page(u"<a id='http' href='http://www.qinglan.example/a?b=1#c' target='_blank'>甲</a>"
                        "<a id='javascript' href='javascript:void(0)' target='_blank'>丁</a>"_s));
    site_->setPage(host, u"/away.html"_s, page(u"<p>走开</p>"_s));
    FakeHttpServer::Response file;
    file.contentType = "application/zip";
    file.body = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
    file.extraHeaders.append(qMakePair(QByteArray("Content-Disposition"), QByteArray("attachment; filename=a.zip")));
    site_->setPage(host, u"/a.zip"_s, file);

    // The pages of the web engine's source.
    site_->setRelated(u"网页引擎"_s, { u"网页引擎是什么"_s, u"网页引擎下载"_s, u"网页引擎 内核"_s });
    site_->setHanging(u"挂起"_s);
    FakeHttpServer::Response today;
    today.contentType = "text/html; charset=utf-8";
    today.body = SearchPages::resultPage2026({ u"今天的词"_s, u"Today's  word"_s, u"第三个"_s });
    site_->setPage(u"www.baidu.com"_s, u"/today"_s, today);
    site_->setPage(host, u"/busy.html"_s,
                   page(u"<img src='/picture.png'><link rel='icon' href='/icon.png'><audio src='/sound.ogg' autoplay>"
                        "</audio><script>alert('甲'); confirm('乙'); open('/popup.html');</script>"_s));
    FakeHttpServer::Response cookie = page(u"<p>饼干</p>"_s);
    cookie.extraHeaders.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("BDSVRTM=5; path=/")));
    site_->setPage(u"www.baidu.com"_s, u"/cookie"_s, cookie);
    FakeHttpServer::Response home = page(u"<p>百度一下，你就知道</p>"_s);
    site_->setPage(u"www.baidu.com"_s, u"/"_s, home);
    FakeHttpServer::Response empty;
    empty.status = 204;
    site_->setPage(host, u"/empty"_s, empty);
    FakeHttpServer::Response closed;
    closed.closeUnanswered = true;
    site_->setPage(host, u"/closed"_s, closed);
    FakeHttpServer::Response inPlace;
    inPlace.contentType = "text/html; charset=utf-8";
    inPlace.body = "<!DOCTYPE html><html><head><title> \xe7\x99\xbe\xe5\xba\xa6\xe5\xae\x89\xe5\x85\xa8\xe9\xaa\x8c"
                   "\xe8\xaf\x81 </title></head><body><p>x</p></body></html>";
    site_->setPage(u"www.baidu.com"_s, u"/inplace"_s, inPlace);
    inPlace.status = 403;
    site_->setPage(u"www.baidu.com"_s, u"/inplace403"_s, inPlace);
    FakeHttpServer::Response json;
    json.contentType = "application/json; charset=utf-8";
    json.body
        = u"{\"q\":\"网页\",\"p\":false,\"g\":[{\"type\":\"sug\",\"sa\":\"s_1\",\"q\":\"网页引擎 <b>&amp;</b>\"}]}"_s
              .toUtf8();
    site_->setPage(u"www.baidu.com"_s, u"/sugrec"_s, json);
    json.contentType = "application/json";
    site_->setPage(u"www.baidu.com"_s, u"/sugrec-plain"_s, json);
}

void TestWebStrip::init()
{
    opened_.clear();
    if (!view_) {
        view_.reset(WebStrip::createStrip(nullptr, &Browser::openInDefaultBrowser));
        page_ = qobject_cast<WebStrip::StripPage*>(view_->page());
        QVERIFY(page_);
        view_->resize(771, 200);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    }
}

void TestWebStrip::cleanupTestCase()
{
    view_.reset();
    Browser::setOpenerForTesting(nullptr);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    site_.reset();
}

void TestWebStrip::guardsInEveryDocument_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("check");

    QTest::newRow("top page") << u"guards.html"_s << GuardsNullIn + u"(window)";
    QTest::newRow("iframe") << u"guards.html"_s << GuardsNullIn + u"(frames[0])";
    QTest::newRow("before the top page's scripts") << u"guards.html"_s << u"seenAtParse.map(f => f === null)"_s;
    QTest::newRow("before the iframe's scripts") << u"guards.html"_s << u"frames[0].seenAtParse.map(f => f === null)"_s;
    QTest::newRow("iframe added after load")
        << u"lateframe.html"_s << u"frames.length ? "_s + GuardsNullIn + u"(frames[0]) : 'no frame yet'";
}

void TestWebStrip::guardsInEveryDocument()
{
    QFETCH(QString, page);
    QFETCH(QString, check);
    QVERIFY(load(page_, pageAddress(page)));
    const QVariantList allNull { true, true, true, true };
    QTRY_COMPARE(evaluate(page_, check).toList(), allNull);
}

void TestWebStrip::dialogsNeverShow_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("reachingHooks");

    // The four guarded functions are gone before any script of the page runs; what still gets
    // through is answered unseen.
    QTest::newRow("alert and confirm while loading") << u"alert('甲'); confirm('乙');"_s << QStringList();
    QTest::newRow("in a loop") << u"for (let i = 0; i < 500; ++i) { try { alert(i); } catch (e) {} "
                                  "try { confirm(i); } catch (e) {} }"_s
                               << QStringList();
    QTest::newRow("showModalDialog and window.open") << u"try { showModalDialog('x'); } catch (e) {} "
                                                        "open('http://www.qinglan.example/');"_s
                                                     << QStringList();
    QTest::newRow("script errors") << u"undefinedFunction(); throw new Error('x');"_s << QStringList();
    QTest::newRow("prompt is not guarded") << u"prompt('丙', '丁');"_s << QStringList { u"prompt"_s };
    QTest::newRow("functions of a fresh frame")
        << u"const w = document.body.appendChild(document.createElement('iframe')).contentWindow;"
           "w.alert.call(window, '甲'); w.confirm.call(window, '乙'); w.alert('丙');"_s
        << QStringList { u"alert"_s, u"confirm"_s, u"alert"_s };
    QTest::newRow("from a frame") << u"document.body.appendChild(Object.assign(document.createElement('iframe'),"
                                     " {srcdoc: '<script>alert(1); confirm(2);<\\/script>'}));"_s
                                  << QStringList();
}

void TestWebStrip::dialogsNeverShow()
{
    QFETCH(QString, script);
    QFETCH(QStringList, reachingHooks);
    writePage(u"dialogs.html"_s, u"<script>"_s + script + u"</script>");
    QStringList reached;
    connect(page_, &WebStrip::StripPage::dialogSuppressed, this, [&](const QString& kind) { reached << kind; });
    QSignalSpy newWindows(page_, &WebStrip::StripPage::newWindowHandled);
    DialogWatch watch;

    QVERIFY(load(page_, pageAddress(u"dialogs.html"_s)));
    QCOMPARE(evaluate(page_, u"1 + 1"_s).toInt(), 2); // the page is alive
    disconnect(page_, &WebStrip::StripPage::dialogSuppressed, this, nullptr);
    QCOMPARE(reached, reachingHooks);
    QCOMPARE(watch.shown, 0);
    QCOMPARE(newWindows.count(), 0);
    QCOMPARE(visibleWindows(), 1);
}

void TestWebStrip::leavingAPageAsksNothing()
{
    writePage(u"unload.html"_s,
              u"<p id='p'>离开</p><script>onbeforeunload = e => { e.preventDefault(); "
              "return e.returnValue = '确定离开？'; };</script>"_s);
    QVERIFY(load(page_, pageAddress(u"unload.html"_s)));
    QSignalSpy reached(page_, &WebStrip::StripPage::dialogSuppressed);
    DialogWatch watch;
    // The engine asks before leaving only a page the user has touched.
    QTest::mouseClick(view_->focusProxy(), Qt::LeftButton, {}, centreOf(page_, u"p"_s));
    QTRY_VERIFY(evaluate(page_, u"navigator.userActivation.hasBeenActive"_s).toBool());
    QVERIFY(load(page_, pageAddress(u"guards.html"_s)));
    QCOMPARE(reached.count(), 1);
    QCOMPARE(reached.at(0).at(0).toString(), u"beforeunload"_s);
    QCOMPARE(watch.shown, 0);
}

void TestWebStrip::newWindowOpensOnlyWebAddresses_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("addressRead");
    QTest::addColumn<QStringList>("opened");

    auto link = [](const char16_t* id) -> QString {
        return u"document.getElementById('"_s + QStringView(id) + u"').focus()";
    };
    QTest::newRow("http link") << link(u"http") << u"http://www.qinglan.example/a?b=1#c"_s
                               << QStringList { u"http://www.qinglan.example/a?b=1#c"_s };
    QTest::newRow("https link, unchanged")
        << link(u"https") << u"https://www.qinglan.example/%E5%AE%89%E5%85%A8?q=%E8%AF%8D"_s
        << QStringList { u"https://www.qinglan.example/%E5%AE%89%E5%85%A8?q=%E8%AF%8D"_s };
    QTest::newRow("mailto link") << link(u"mailto") << u"mailto:webmaster@qinglan.example"_s
                                 << QStringList { u"mailto:webmaster@qinglan.example"_s };
    QTest::newRow("javascript link") << link(u"javascript") << u"javascript:void(0)"_s << QStringList();
    QTest::newRow("file link") << link(u"file") << u"file:///etc/passwd"_s << QStringList();
    QTest::newRow("custom scheme link") << link(u"custom") << u"qinglan-x:run?cmd=calc"_s << QStringList();
    QTest::newRow("form button") << link(u"button") << QString() << QStringList();
    QTest::newRow("page body") << u"document.activeElement.blur()"_s << QString() << QStringList();
    // Always the top document's focused element: here the frame element, which has no link address.
    QTest::newRow("link inside a frame") << u"frames[0].document.getElementById('link').focus()"_s << QString()
                                         << QStringList();
}

void TestWebStrip::newWindowOpensOnlyWebAddresses()
{
    QFETCH(QString, focus);
    QFETCH(QString, addressRead);
    QFETCH(QStringList, opened);
    QVERIFY(load(page_, pageAddress(u"newwindow.html"_s)));
    QSignalSpy handled(page_, &WebStrip::StripPage::newWindowHandled);
    evaluate(page_, focus);

    // A key press is the user's activation that the engine wants before it opens a window.
    QTest::keyClick(view_->focusProxy(), Qt::Key_Return);
    QVERIFY(handled.wait(10000));
    QCOMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(0).toString(), addressRead);
    QCOMPARE(handled.at(0).at(1).toBool(), !opened.isEmpty());
    QCOMPARE(opened_, opened);
    QCOMPARE(visibleWindows(), 1);
}

void TestWebStrip::openableAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("openable");

    QTest::newRow("http") << u"http://www.qinglan.example/?bb=v3.3"_s << true;
    QTest::newRow("https") << u"https://www.qinglan.example/"_s << true;
    QTest::newRow("upper-case scheme") << u"HTTP://www.qinglan.example/"_s << true;
    QTest::newRow("Chinese host") << u"http://晴岚.example/"_s << true;
    QTest::newRow("mailto") << u"mailto:webmaster@qinglan.example"_s << true;
    QTest::newRow("http without host") << u"http:///path"_s << false;
    QTest::newRow("bare mailto") << u"mailto:"_s << false;
    QTest::newRow("ftp") << u"ftp://www.qinglan.example/"_s << false;
    QTest::newRow("data") << u"data:text/html,<p>x</p>"_s << false;
    QTest::newRow("no scheme") << u"www.qinglan.example/index.html"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestWebStrip::openableAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, openable);
    QCOMPARE(WebStrip::isOpenableAddress(address), openable);
}

void TestWebStrip::placeholderStaysWithoutPlugin()
{
    WebStripLoader::setPluginPathForTesting(pages_.filePath(u"missing"_s));
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(100); // the strip is due right after the first paint
    QCOMPARE(form.WebBrowser1->metaObject()->className(), "QWidget");
    QCOMPARE(form.WebBrowser1->geometry(), QRect(0, 0, qRound((form.BaseWidth + 300) / 15.0), 97));
}

void TestWebStrip::stripReplacesPlaceholderAfterFirstPaint()
{
    WebStripLoader::setPluginPathForTesting(QString::fromUtf8(QINGLAN_WEBSTRIP_PLUGIN));
    Form1 form;
    QCOMPARE(form.WebBrowser1->metaObject()->className(), "QWidget");
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QWebEngineView*>(form.WebBrowser1), 20000);
    auto* strip = qobject_cast<QWebEngineView*>(form.WebBrowser1);
    QTRY_COMPARE_WITH_TIMEOUT(strip->title(), u"晴岚词宝"_s, 20000);

    QCOMPARE(strip->objectName(), u"WebBrowser1"_s);
    QCOMPARE(strip->parentWidget(), &form);
    QCOMPARE(form.findChildren<QWidget*>(u"WebBrowser1"_s, Qt::FindDirectChildrenOnly).size(), 1);
    // The window's outer width at load plus 300 twips, 1455 twips (97 pixels) high.
    QCOMPARE(strip->geometry(), QRect(0, 0, qRound((form.BaseWidth + 300) / 15.0), 97));
    QCOMPARE(strip->url(), QUrl(QString::fromUtf16(WebStrip::PageAddress)));
    // In the keyboard order between Command8 and Command3.
    auto nextTabStop = [](QWidget* widget) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
        return widget;
    };
    QVERIFY(strip->isAncestorOf(nextTabStop(form.Command8)));
    QCOMPARE(nextTabStop(nextTabStop(form.Command8)), form.Command3);

    // The program's own page: the name and three tips, nothing fetched from anywhere, inside the strip.
    QWebEnginePage* page = strip->page();
    QCOMPARE(evaluate(page, GuardsNullIn + u"(window)").toList(), (QVariantList { true, true, true, true }));
    QCOMPARE(evaluate(page, u"document.querySelector('h1').textContent"_s).toString(), u"晴岚词宝"_s);
    QCOMPARE(evaluate(page, u"document.querySelectorAll('li').length"_s).toInt(), 3);
    QCOMPARE(evaluate(page, u"document.querySelectorAll('script, link, img, iframe, [src]').length"_s).toInt(), 0);
    const QVariantList extent = evaluate(page,
                                         u"[...document.querySelectorAll('body *')].reduce((m, e) => "
                                         "{ const r = e.getBoundingClientRect(); return [Math.max(m[0], "
                                         "r.right), Math.max(m[1], r.bottom)]; }, [0, 0])"_s)
                                    .toList();
    QCOMPARE(extent.size(), 2);
    QVERIFY2(extent[0].toDouble() <= form.width(), qPrintable(extent[0].toString()));
    QVERIFY2(extent[1].toDouble() <= 97, qPrintable(extent[1].toString()));

    // A click on a link to a new window: its address goes to the window's opener, the strip stays.
    QVERIFY(load(page, pageAddress(u"newwindow.html"_s)));
    const int windows = visibleWindows();
    QTest::mouseClick(strip->focusProxy(), Qt::LeftButton, {}, centreOf(page, u"http"_s));
    QTRY_COMPARE(opened_, QStringList { u"http://www.qinglan.example/a?b=1#c"_s });
    QCOMPARE(page->url(), pageAddress(u"newwindow.html"_s));
    QCOMPARE(visibleWindows(), windows);
}

void TestWebStrip::pastVerification_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("asked"); // the refused request
    QTest::addColumn<bool>("past");
    QTest::addColumn<bool>("verification"); // the verification itself, as the hidden page recognises it

    const QString fat = u"http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5"_s;
    const QString a = u"http://www.baidu.com/s?wd=a"_s;
    QTest::newRow("result page") << fat << u"减肥_百度搜索"_s << fat << true << false;
    QTest::newRow("https, host in capitals") << u"https://WWW.BAIDU.COM/s?wd=a"_s << u"a_百度搜索"_s << a << true
                                             << false;
    QTest::newRow("keyword about the verification")
        << u"http://www.baidu.com/s?wd=%E7%99%BE%E5%BA%A6%E5%AE%89%E5%85%A8%E9%AA%8C%E8%AF%81"_s
        << u"百度安全验证怎么解除_百度搜索"_s
        << u"http://www.baidu.com/s?wd=%E7%99%BE%E5%BA%A6%E5%AE%89%E5%85%A8%E9%AA%8C%E8%AF%81"_s << true << false;
    QTest::newRow("verification in place of results") << a << u"百度安全验证"_s << a << false << true;
    QTest::newRow("its title among spaces") << a << u" \t百度安全验证\n"_s << a << false << true;
    QTest::newRow("verification host") << u"http://wappass.baidu.com/static/captcha/tuxing.html?backurl=x"_s
                                       << u"网络不给力"_s << a << false << true;
    QTest::newRow("verification host, no captcha in the path")
        << u"https://WAPPASS.baidu.com/"_s << u"百度"_s << a << false << true;
    QTest::newRow("captcha path on the search host")
        << u"http://www.baidu.com/static/CAPTCHA/x.html"_s << u"验证"_s << a << false << true;
    QTest::newRow("another host of the engine") << u"http://baidu.com/s?wd=a"_s << u"a_百度搜索"_s << a << false
                                                << false;
    QTest::newRow("not a web address") << u"file://www.baidu.com/s"_s << u"a"_s << a << false << false;
    // Only the answer to what was asked passes: a click on the engine's logo, a script that goes to
    // its home page or to another keyword do not.
    QTest::newRow("the engine's home page") << u"http://www.baidu.com/"_s << u"百度一下，你就知道"_s << a << false
                                            << false;
    QTest::newRow("another keyword") << u"http://www.baidu.com/s?wd=b"_s << u"b_百度搜索"_s << a << false << false;
    QTest::newRow("same keyword in capitals") << u"http://www.baidu.com/s?wd=A"_s << u"A_百度搜索"_s << a << false
                                              << false;
    QTest::newRow("result page without a keyword") << u"http://www.baidu.com/s"_s << u"百度搜索"_s << a << false
                                                   << false;
    QTest::newRow("same keyword on another path") << u"http://www.baidu.com/sugrec?wd=a"_s << QString() << a << false
                                                  << false;
    QTest::newRow("more parameters, the keyword as asked")
        << u"https://www.baidu.com/s?ie=utf-8&wd=%E5%87%8F%E8%82%A5&rsv_spt=1"_s << u"减肥_百度搜索"_s << fat << true
        << false;
    QTest::newRow("the keyword unencoded") << u"http://www.baidu.com/s?wd=减肥"_s << u"减肥_百度搜索"_s << fat << true
                                           << false;
    QTest::newRow("space as plus") << u"http://www.baidu.com/s?wd=a+b"_s << u"a b_百度搜索"_s
                                   << u"http://www.baidu.com/s?wd=a%20b"_s << true << false;
    QTest::newRow("an encoded plus is no space") << u"http://www.baidu.com/s?wd=a%2Bb"_s << u"a+b_百度搜索"_s
                                                 << u"http://www.baidu.com/s?wd=a%20b"_s << false << false;
    QTest::newRow("the suggestions' answer") << u"http://www.baidu.com/sugrec?prod=pc&wd=a"_s << QString()
                                             << u"http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=a"_s << true
                                             << false;
    QTest::newRow("nothing asked") << a << u"a_百度搜索"_s << QString() << false << false;
}

void TestWebStrip::pastVerification()
{
    QFETCH(QString, address);
    QFETCH(QString, title);
    QFETCH(QString, asked);
    QFETCH(bool, past);
    QFETCH(bool, verification);
    QCOMPARE(WebStrip::isPastVerification(QUrl(address), title, QUrl(asked)), past);
    QCOMPARE(WebStrip::isVerification(QUrl(address), title), verification);
}

void TestWebStrip::verificationWindowGuards_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("beforeKey"); // a script run before a key press in the page; none if empty
    QTest::addColumn<QStringList>("events");

    const QString site = u"http://www.qinglan.example"_s;
    auto focus = [](const char16_t* id) -> QString {
        return u"document.getElementById('"_s + QStringView(id) + u"').focus()";
    };
    QTest::newRow("alert and confirm") << site + u"/dialogs.html" << QString() << QStringList();
    QTest::newRow("prompt answered unseen")
        << site + u"/prompt.html" << QString() << QStringList { u"dialog prompt"_s };
    QTest::newRow("new window for a web link")
        << site + u"/links.html" << focus(u"http") << QStringList { u"opened http://www.qinglan.example/a?b=1#c"_s };
    QTest::newRow("new window for a script link")
        << site + u"/links.html" << focus(u"javascript") << QStringList { u"not opened javascript:void(0)"_s };
    QTest::newRow("download") << site + u"/away.html" << u"document.onkeydown = () => location.href = '/a.zip'"_s
                              << QStringList { u"download refused http://www.qinglan.example/a.zip"_s };
    QTest::newRow("page goes to another scheme")
        << site + u"/away.html" << u"document.onkeydown = () => location.href = 'qinglan-x:run?cmd=calc'"_s
        << QStringList();
    QTest::newRow("address of another scheme")
        << u"file:///etc/passwd"_s << QString() << QStringList { u"navigation refused file:///etc/passwd"_s };
}

void TestWebStrip::verificationWindowGuards()
{
    QFETCH(QString, address);
    QFETCH(QString, beforeKey);
    QFETCH(QStringList, events);

    GuardLog log;
    QDesktopServices::setUrlHandler(u"qinglan-x"_s, &log, "openOnDesktop");
    auto forgetHandler = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"qinglan-x"_s); });
    VerificationWindowSetup setup;
    setup.address = QUrl(address);
    setup.openAddress = &Browser::openInDefaultBrowser;
    const int windowsBefore = visibleWindows();
    DialogWatch watch;
    QPointer<WebStrip::VerificationWindow> window = new WebStrip::VerificationWindow(nullptr, setup);
    auto closeWindow = qScopeGuard([&window] { delete window.data(); });
    WebStrip::VerificationPage* page = window->page();
    connect(page, &WebStrip::StripPage::dialogSuppressed, &log,
            [&log](const QString& kind) { log.events << u"dialog "_s + kind; });
    connect(page, &WebStrip::StripPage::newWindowHandled, &log, [&log](const QString& read, bool opened) {
        log.events << (opened ? u"opened "_s : u"not opened "_s) + read;
    });
    connect(page, &WebStrip::VerificationPage::navigationRefused, &log,
            [&log](const QUrl& refused) { log.events << u"navigation refused "_s + refused.toString(); });
    connect(window, &WebStrip::VerificationWindow::downloadRefused, &log,
            [&log](const QUrl& refused) { log.events << u"download refused "_s + refused.toString(); });
    QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    if (setup.address.scheme() == u"http"_s) {
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 15000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(page->url(), setup.address);
        QCOMPARE(evaluate(page, GuardsNullIn + u"(window)").toList(), (QVariantList { true, true, true, true }));
    }
    if (!beforeKey.isEmpty()) {
        evaluate(page, beforeKey);
        // A key press is the user's activation that the engine wants before it opens a window.
        QTest::keyClick(window->view()->focusProxy(), Qt::Key_Return);
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.events, events, 10000);
    QTest::qWait(500); // and nothing more comes
    QCOMPARE(log.events, events);
    QStringList opened;
    for (const QString& event : std::as_const(events)) {
        if (event.startsWith(u"opened "_s))
            opened << event.mid(7);
    }
    QCOMPARE(opened_, opened);
    QCOMPARE(watch.shown, 0);
    QCOMPARE(visibleWindows(), windowsBefore + 1);
    if (setup.address.scheme() == u"http"_s)
        QCOMPARE(page->url(), setup.address);
    QVERIFY(window);
}

void TestWebStrip::verificationGate_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("action"); // what happens once the verification page shows
    QTest::addColumn<int>("outcome");

    const QString plugin = QString::fromUtf8(QINGLAN_WEBSTRIP_PLUGIN);
    QTest::newRow("passed by the button") << plugin << u"click"_s << int(VerificationGate::Outcome::Passed);
    // The engine serves the web engine the page it refused the fetch component: nobody passed anything.
    QTest::newRow("served at once") << plugin << u"served"_s << int(VerificationGate::Outcome::Served);
    QTest::newRow("window closed") << plugin << u"close"_s << int(VerificationGate::Outcome::NotPassed);
    // A click on the engine's logo leads to its home page, which is no pass: the window stays.
    QTest::newRow("home page is no pass") << plugin << u"home page"_s << int(VerificationGate::Outcome::NotPassed);
    QTest::newRow("Stop") << plugin << u"stop"_s << int(VerificationGate::Outcome::NotPassed);
    QTest::newRow("main window closed") << plugin << u"close main window"_s
                                        << int(VerificationGate::Outcome::NotPassed);
    QTest::newRow("stopped before") << plugin << u"stopped before"_s << int(VerificationGate::Outcome::NotPassed);
    QTest::newRow("no plugin") << pages_.filePath(u"missing"_s) << QString()
                               << int(VerificationGate::Outcome::Unavailable);
    QTest::newRow("root with the sandbox on")
        << plugin << u"sandbox on"_s << int(VerificationGate::Outcome::Unavailable);
}

void TestWebStrip::verificationGate()
{
    QFETCH(QString, plugin);
    QFETCH(QString, action);
    QFETCH(int, outcome);
    if (action == u"sandbox on"_s && geteuid() != 0)
        QSKIP("only as root");

    forgetPrivateCookies();
    WebStripLoader::setPluginPathForTesting(plugin);
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setRefusing(true);
    Inet inet;
    // Cookies the engine set before: one for the whole domain, one for the search host only.
    inet.cookieJar()->setCookiesFromUrl(
        QNetworkCookie::parseCookies("BAIDUID=B1; domain=.baidu.com; path=/\nH_PS_PSSID=7; path=/"),
        QUrl(u"http://www.baidu.com/s"_s));
    const QString refused = FakeSite::searchTarget(u"减肥"_s);
    // The program's pace saw the refusal, as the run's request tells it.
    Mining::Pacer pacer;
    pacer.started();
    QVERIFY(inet.OpenURL(refused).verification);
    pacer.ended(true);
    const qint64 refusedAtMs = site_->visits().constLast().atMs;
    const bool served = action == u"served"_s;
    if (served) {
        site_->setRefusing(false);
        // A cookie an earlier page of the web engine earned, which the window hands over too.
        const std::unique_ptr<Mining::PageSource> source = WebStripLoader::createWebPageSource(nullptr);
        QVERIFY(source);
        QVERIFY(source->fetch(u"http://www.baidu.com/cookie"_s, Inet::Expect::Page).ok);
    }
    const qsizetype visitsBefore = site_->visits().size();

    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    bool stop = action == u"stopped before"_s;
    // The engine already runs without its sandbox; only the check before starting it sees this.
    const bool sandboxOn = action == u"sandbox on"_s;
    if (sandboxOn)
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    auto restoreSandbox = qScopeGuard([sandboxOn] {
        if (sandboxOn)
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    });

    // Once the window shows the engine's page: what the window looks like, then the row's action.
    QPointer<QWidget> window;
    QWidget* windowOwner = nullptr;
    QString notice;
    QRect place;
    bool goneAtOnce = false;
    QTimer driver;
    bool wentHome = false;
    bool standsAtHome = false;
    const QUrl home(u"http://www.baidu.com/"_s);
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget* shown = shownVerificationWindow();
        auto* view = shown ? shown->findChild<QWebEngineView*>() : nullptr;
        if (wentHome) {
            // Closed by the person once the home page is in it, the window still standing.
            if (!view || view->page()->isLoading() || view->url() != home)
                return;
            driver.stop();
            standsAtHome = true;
            shown->close();
            return;
        }
        if (!view || view->page()->isLoading() || view->title() != u"百度安全验证"_s)
            return;
        if (action == u"home page"_s) {
            wentHome = true;
            evaluate(view->page(), u"document.body.insertAdjacentHTML('afterbegin', \"<a id='logo' "
                                   u"href='http://www.baidu.com/' style='display:block;height:40px'>百度</a>\")"_s);
            QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, centreOf(view->page(), u"logo"_s));
        } else {
            driver.stop();
        }
        window = shown;
        windowOwner = shown->windowHandle()->transientParent() == form.windowHandle() ? &form : nullptr;
        notice = shown->findChild<QLabel*>()->text();
        place = shown->frameGeometry();
        if (action == u"click"_s) {
            QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, centreOf(view->page(), u"pass"_s));
        } else if (action == u"close"_s) {
            shown->close();
        } else if (action == u"stop"_s) {
            stop = true;
        } else if (action == u"close main window"_s) {
            form.close();
            goneAtOnce = !shownVerificationWindow();
        }
    });
    driver.start(50);
    const QUrl shownAddress(served ? refused : FakeSite::verificationAddress(refused));
    const auto result = VerificationGate::pass(&form, &inet, shownAddress, QUrl(refused), &pacer, [&stop] { return stop; });
    QCOMPARE(int(result), outcome);
    QVERIFY(!shownVerificationWindow());
    WebStripLoader::setPluginPathForTesting(QString());
    QCOMPARE(standsAtHome, action == u"home page"_s);
    // Every page the window asked for has ended for the pace.
    QVERIFY(!pacer.busy());

    // What was asked for, the engine's own asking for icons aside.
    QList<FakeSite::Visit> visits = site_->visits().mid(visitsBefore);
    visits.removeIf([](const FakeSite::Visit& visit) { return visit.target.endsWith(u"/favicon.ico"_s); });
    QStringList targets;
    for (const FakeSite::Visit& visit : std::as_const(visits))
        targets << visit.target;
    const QStringList sentBefore { u"BAIDUID=B1"_s, u"H_PS_PSSID=7"_s };
    if (action.isEmpty() || action == u"stopped before"_s || action == u"sandbox on"_s) {
        // Nothing shown, nothing asked.
        QVERIFY(!window);
        QCOMPARE(targets, QStringList());
        QCOMPARE(cookiesFor(inet, refused), sentBefore);
        QVERIFY(inet.OpenURL(refused).verification);
        return;
    }
    // The window's first page waited for the cool-down after the refusal, also when it is the
    // refused page itself.
    QVERIFY2(visits.value(0).atMs - refusedAtMs >= 2000,
             QByteArray::number(visits.value(0).atMs - refusedAtMs).constData());
    if (served) {
        // Closed as soon as the result page came, its cookies in the jar.
        QVERIFY(!window);
        QCOMPARE(targets, QStringList { refused });
        const QStringList handedOver { u"BAIDUID=B1"_s, u"BDSVRTM=5"_s, u"H_PS_PSSID=7"_s };
        QCOMPARE(sortedCookies(visits.value(0).cookie), handedOver);
        QCOMPARE(cookiesFor(inet, refused), handedOver);
        return;
    }
    // In front of the main window, the engine's page below a line that says what it is for. The
    // offscreen screen (800 x 800) has no room beside the main window: the window covers its list,
    // reaching left to the screen's edge, and the controls of the run stay free.
    QVERIFY(window.isNull());
    QCOMPARE(windowOwner, &form);
    QCOMPARE(form.screen()->availableGeometry(), QRect(0, 0, 800, 800));
    QCOMPARE(form.frameGeometry(), QRect(23, 132, 755, 536));
    QCOMPARE(globalRect(form.Frame2), QRect(25, 238, 257, 425));
    QCOMPARE(place, QRect(0, 132, 282, 644));
    for (const QWidget* control : { static_cast<QWidget*>(form.Command4), static_cast<QWidget*>(form.Command5),
                                    static_cast<QWidget*>(form.Label2) })
        QVERIFY2(!place.intersects(globalRect(control)), qPrintable(control->objectName()));
    QCOMPARE(notice, u"查询过于频繁，百度要求进行安全验证，请在下方完成验证，通过后挖掘会自动继续。"_s);
    QCOMPARE(goneAtOnce, action == u"close main window"_s);
    // The page starts with the cookies of the jar that its host gets, and says what the program says.
    const QString verification = FakeSite::verificationAddress(refused);
    QCOMPARE(targets.value(0), verification);
    QCOMPARE(visits.value(0).cookie, u"BAIDUID=B1"_s);
    QCOMPARE(visits.value(0).userAgent, QString::fromLatin1(Inet::UserAgent));
    QCOMPARE(visits.value(0).acceptLanguage, QString::fromLatin1(Inet::AcceptLanguage));
    if (result != VerificationGate::Outcome::Passed) {
        QStringList asked { verification };
        if (action == u"home page"_s)
            asked << home.toString();
        QCOMPARE(targets, asked);
        QCOMPARE(cookiesFor(inet, refused), sentBefore);
        QVERIFY(inet.OpenURL(refused).verification);
        return;
    }

    // The button's address sets the pass and goes back to the refused page, which counts as passed.
    QCOMPARE(targets, (QStringList { verification, FakeSite::passAddress(refused), refused }));
    const QStringList withPass { u"BAIDUID=B1"_s, u"BDPASS=1"_s, u"H_PS_PSSID=7"_s };
    QCOMPARE(sortedCookies(visits.last().cookie), withPass);
    // Every cookie of the window is in the jar, the domain's for every host of it, and the next request
    // is answered with its results.
    QCOMPARE(cookiesFor(inet, refused), withPass);
    QCOMPARE(cookiesFor(inet, u"http://wappass.baidu.com/"_s), (QStringList { u"BAIDUID=B1"_s, u"BDPASS=1"_s }));
    const FetchResult again = inet.OpenURL(refused);
    QVERIFY(again.ok);
    QVERIFY(again.text.contains(u"减肥食谱"_s));
    // The window's page may still ask for its icon meanwhile.
    visits = site_->visits();
    visits.removeIf([](const FakeSite::Visit& visit) { return visit.target.endsWith(u"/favicon.ico"_s); });
    QCOMPARE(visits.last().target, refused);
    QCOMPARE(sortedCookies(visits.last().cookie), withPass);
}

void TestWebStrip::verificationWindowPlace_data()
{
    QTest::addColumn<QRect>("ownerFrame");
    QTest::addColumn<QRect>("listArea");
    QTest::addColumn<QRect>("freeArea");
    QTest::addColumn<QRect>("place");

    // The main window's list (Frame2) 104 pixels below its top, 257 x 425.
    const QRect wide(0, 0, 1920, 1050);
    QTest::newRow("room on the right") << QRect(100, 100, 672, 560) << QRect(101, 230, 257, 425) << wide
                                       << QRect(772, 100, 520, 640);
    QTest::newRow("just room on the right")
        << QRect(728, 100, 672, 560) << QRect(729, 230, 257, 425) << wide << QRect(1400, 100, 520, 640);
    QTest::newRow("room on the left only")
        << QRect(1300, 100, 600, 560) << QRect(1301, 230, 257, 425) << wide << QRect(780, 100, 520, 640);
    QTest::newRow("left of the owner, beside a panel") << QRect(600, 100, 1300, 560) << QRect(601, 230, 257, 425)
                                                       << QRect(64, 0, 1856, 1050) << QRect(80, 100, 520, 640);
    QTest::newRow("owner low on the screen: as low as fits")
        << QRect(100, 700, 672, 560) << QRect(101, 830, 257, 425) << wide << QRect(772, 410, 520, 640);
    QTest::newRow("owner above the free area") << QRect(100, -40, 672, 560) << QRect(101, 90, 257, 425)
                                               << QRect(0, 30, 1920, 1020) << QRect(772, 30, 520, 640);
    QTest::newRow("short screen: height shrunk")
        << QRect(100, 50, 672, 500) << QRect(101, 154, 257, 425) << QRect(0, 0, 1920, 600) << QRect(772, 0, 520, 600);
    QTest::newRow("no room beside: over the list") << QRect(176, 100, 672, 560) << QRect(177, 204, 257, 425)
                                                   << QRect(0, 0, 1024, 768) << QRect(0, 100, 434, 640);
    QTest::newRow("over the list, tall free area") << QRect(176, 100, 672, 560) << QRect(177, 204, 257, 425)
                                                   << QRect(0, 0, 1024, 1050) << QRect(0, 100, 434, 640);
    QTest::newRow("list partly off the screen")
        << QRect(-51, 100, 672, 560) << QRect(-50, 204, 257, 425) << QRect(0, 0, 800, 600) << QRect(0, 0, 207, 600);
    QTest::newRow("over the list, room to its left") << QRect(264, 246, 751, 532) << QRect(264, 350, 257, 425)
                                                     << QRect(0, 0, 1280, 1024) << QRect(1, 246, 520, 640);
    QTest::newRow("no list: centred on the owner")
        << QRect(64, 20, 672, 560) << QRect() << QRect(0, 0, 800, 600) << QRect(140, 0, 520, 600);
}

void TestWebStrip::verificationWindowPlace()
{
    QFETCH(QRect, ownerFrame);
    QFETCH(QRect, listArea);
    QFETCH(QRect, freeArea);
    QFETCH(QRect, place);
    QCOMPARE(WebStrip::verificationWindowPlace(ownerFrame, listArea, freeArea, WebStrip::VerificationWindowSize),
             place);
}

void TestWebStrip::webPageSource_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("action"); // what happens 300 ms into the fetch, if anything
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("verificationAddress"); // empty: no verification
    QTest::addColumn<QString>("text"); // JSON: the whole text; pages: not compared
    QTest::addColumn<QStringList>("keywords"); // what a run takes from the page
    QTest::addColumn<QStringList>("targets"); // every request the fake web saw

    const QString seed = FakeSite::searchTarget(u"网页引擎"_s);
    const QStringList seedWords { u"网页引擎是什么"_s, u"网页引擎下载"_s, u"网页引擎 内核"_s };
    const QString site = u"http://www.qinglan.example"_s;
    const QString none;
    QTest::newRow("result page, classic block, GBK")
        << seed << false << none << true << 200 << none << none << none << seedWords << QStringList { seed };
    QTest::newRow("result page of today's layout")
        << u"http://www.baidu.com/today?wd=a"_s << false << none << true << 200 << none << none << none
        << QStringList { u"今天的词"_s, u"today's word"_s, u"第三个"_s }
        << QStringList { u"http://www.baidu.com/today?wd=a"_s };
    QTest::newRow("images, icon, dialogs and pop-ups asked for nothing")
        << site + u"/busy.html" << false << none << true << 200 << none << none << none << QStringList()
        << QStringList { site + u"/busy.html" };
    QTest::newRow("404") << site + u"/nothing" << false << none << false << 404 << u"服务器返回错误 404"_s << none
                         << none << QStringList() << QStringList { site + u"/nothing" };
    QTest::newRow("closed unanswered") << site + u"/closed" << false << none << false << 0 << u"连接被中断"_s << none
                                       << none << QStringList() << QStringList { site + u"/closed" };
    QTest::newRow("verification by redirect, not followed")
        << seed << false << u"refusing"_s << false << 0 << u"百度要求安全验证"_s << FakeSite::verificationAddress(seed)
        << none << QStringList() << QStringList { seed };
    QTest::newRow("verification in place") << u"http://www.baidu.com/inplace?wd=a"_s << false << none << false << 0
                                           << u"百度要求安全验证"_s << u"http://www.baidu.com/inplace?wd=a"_s << none
                                           << QStringList() << QStringList { u"http://www.baidu.com/inplace?wd=a"_s };
    QTest::newRow("verification in place, status 403")
        << u"http://www.baidu.com/inplace403?wd=a"_s << false << none << false << 0 << u"百度要求安全验证"_s
        << u"http://www.baidu.com/inplace403?wd=a"_s << none << QStringList()
        << QStringList { u"http://www.baidu.com/inplace403?wd=a"_s };
    const QString json
        = u"{\"q\":\"网页\",\"p\":false,\"g\":[{\"type\":\"sug\",\"sa\":\"s_1\",\"q\":\"网页引擎 <b>&amp;</b>\"}]}"_s;
    QTest::newRow("JSON answer") << u"http://www.baidu.com/sugrec?wd=a"_s << true << none << true << 200 << none << none
                                 << json << QStringList() << QStringList { u"http://www.baidu.com/sugrec?wd=a"_s };
    QTest::newRow("JSON answer without a character set: UTF-8")
        << u"http://www.baidu.com/sugrec-plain?wd=a"_s << true << none << true << 200 << none << none << json
        << QStringList() << QStringList { u"http://www.baidu.com/sugrec-plain?wd=a"_s };
    const QString hanging = FakeSite::searchTarget(u"挂起"_s);
    QTest::newRow("time-out") << hanging << false << none << false << 0 << u"连接超时"_s << none << none
                              << QStringList() << QStringList { hanging };
    QTest::newRow("abort") << hanging << false << u"abort"_s << false << 0 << u"已取消"_s << none << none
                           << QStringList() << QStringList { hanging };
    QTest::newRow("a second fetch meanwhile fails at once")
        << hanging << false << u"second fetch"_s << false << 0 << u"已取消"_s << none << none << QStringList()
        << QStringList { hanging };
    QTest::newRow("source deleted meanwhile") << hanging << false << u"delete"_s << false << 0 << u"已取消"_s << none
                                              << none << QStringList() << QStringList { hanging };
    QTest::newRow("download") << site + u"/a.zip" << false << none << false << 0 << u"服务器没有返回网页"_s << none
                              << none << QStringList() << QStringList { site + u"/a.zip" };
    QTest::newRow("no content") << site + u"/empty" << false << none << false << 0 << u"服务器没有返回网页"_s << none
                                << none << QStringList() << QStringList { site + u"/empty" };
    QTest::newRow("not a web address") << u"file:///etc/passwd"_s << false << none << false << 0
                                       << u"地址无效：file:///etc/passwd"_s << none << none << QStringList()
                                       << QStringList();
}

void TestWebStrip::webPageSource()
{
    QFETCH(QString, address);
    QFETCH(bool, json);
    QFETCH(QString, action);
    QFETCH(bool, ok);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(QString, verificationAddress);
    QFETCH(QString, text);
    QFETCH(QStringList, keywords);
    QFETCH(QStringList, targets);

    forgetPrivateCookies();
    site_->setRefusing(action == u"refusing"_s);
    auto stopRefusing = qScopeGuard([this] { site_->setRefusing(false); });
    const qsizetype visitsBefore = site_->visits().size();
    const int windowsBefore = visibleWindows();
    DialogWatch watch;
    QPointer<WebStrip::WebPageSource> source = new WebStrip::WebPageSource(sourceSetup(2000));
    auto deleteSource = qScopeGuard([&source] { delete source.data(); });
    QCOMPARE(source->name(), u"网页引擎"_s);

    std::optional<FetchResult> second;
    QTimer meanwhile;
    meanwhile.setSingleShot(true);
    meanwhile.start(300);
    connect(&meanwhile, &QTimer::timeout, this, [&] {
        if (action == u"abort"_s) {
            source->abort();
        } else if (action == u"second fetch"_s) {
            second = source->fetch(FakeSite::searchTarget(u"第二个"_s), Inet::Expect::Page);
            source->abort();
        } else if (action == u"delete"_s) {
            delete source.data();
        }
    });
    const FetchResult result = source->fetch(address, json ? Inet::Expect::Json : Inet::Expect::Page);
    QCOMPARE(result.error, error);
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.status, status);
    QCOMPARE(result.verification, !verificationAddress.isEmpty());
    QCOMPARE(result.verificationAddress, verificationAddress);
    if (json)
        QCOMPARE(result.text, text);
    else if (ok)
        QCOMPARE(offeredKeywords(result.text), keywords);
    else
        QCOMPARE(result.text, QString());
    if (action == u"second fetch"_s) {
        QVERIFY(second);
        QCOMPARE(second->error, u"网页引擎正在打开另一个页面"_s);
        QVERIFY(!second->ok);
    }
    QCOMPARE(source.isNull(), action == u"delete"_s);
    if (source)
        QVERIFY(!source->busy());

    // Nothing but the page itself was asked for, with the program's words and cookies, and nothing
    // showed up.
    QTest::qWait(200);
    QList<FakeSite::Visit> visits = site_->visits().mid(visitsBefore);
    QStringList asked;
    for (const FakeSite::Visit& visit : std::as_const(visits)) {
        asked << visit.target;
        QCOMPARE(visit.userAgent, QString::fromLatin1(Inet::UserAgent));
        QCOMPARE(visit.acceptLanguage, QString::fromLatin1(Inet::AcceptLanguage));
        QCOMPARE(visit.cookie, address.startsWith(u"http://www.baidu.com"_s) ? u"BAIDUID=W1"_s : QString());
    }
    QCOMPARE(asked, targets);
    QCOMPARE(watch.shown, 0);
    QCOMPARE(visibleWindows(), windowsBefore);
    QCOMPARE(opened_, QStringList());
}

void TestWebStrip::webPageSourceReadsRealPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("withoutSData");
    QTest::addColumn<QStringList>("words");

    const QByteArray html = "text/html";
    const QByteArray utf8 = "text/html; charset=utf-8";
    QTest::newRow("2011") << u"baidu_s_mozilla_tp5n-talos-pagesets_2011_gb2312.html"_s << html << false
                          << QStringList { u"mozilla firefox"_s, u"mozilla 4.0"_s,   u"mozilla sunbird"_s,
                                           u"mozilla基金会"_s,   u"mozilla宣言"_s,   u"mozilla.org"_s,
                                           u"mozilla 论坛"_s,    u"mozilla是什么"_s, u"mozilla.com"_s,
                                           u"mozilla 官网"_s };
    QTest::newRow("2018 div rs") << u"baidu_s_shanghai-mingtian-tianqi_IEE-homework_2018_utf8.html"_s << utf8 << false
                                 << QStringList { u"上海明天天气预报详细"_s, u"上海明日天气预报"_s,
                                                  u"上海明天天气24小时"_s,   u"上海天气预报"_s,
                                                  u"上海明天有台风吗"_s,     u"上海天气预报24小时表"_s,
                                                  u"上海 天气预报24小时"_s,  u"上海明天上午天气情况"_s,
                                                  u"上海今天天气2345"_s };
    QTest::newRow("2020 div rs, Python") << u"baidu_s_python_BaiduSpider_2020_utf8.html"_s << utf8 << false
                                         << QStringList { u"python有什么用"_s, u"python为什么叫爬虫"_s,
                                                          u"python教程"_s,     u"python官网"_s,
                                                          u"python爬虫教程"_s, u"python和java"_s,
                                                          u"python代码"_s,     u"python软件"_s,
                                                          u"python3"_s };
    QTest::newRow("2020 div rs, 新冠") << u"baidu_s_xinguan_BaiduSpider_2020_utf8.html"_s << utf8 << false
                                       << QStringList { u"全国新冠新增最新消息"_s, u"新冠百度百科"_s,
                                                        u"新冠和普通感冒的区别"_s, u"新冠百科"_s,
                                                        u"全国新冠肺炎最新情况"_s, u"全世界新肺炎最新数据"_s,
                                                        u"新冠肺炎症状"_s,         u"新冠的症状"_s,
                                                        u"新冠肺炎1分钟自测"_s };
    const QStringList words2022 { u"阿根廷荷兰冲突最新消息"_s,       u"阿根廷5比0荷兰"_s,
                                  u"荷兰vs阿根廷上半场比分"_s,       u"阿根廷荷兰今晚争四强"_s,
                                  u"保加利亚为什么不加入南斯拉夫"_s, u"俄罗斯在乌克兰抓到的最大鱼"_s,
                                  u"阿尔巴尼亚为什么和苏联交恶"_s,   u"阿根廷对荷兰世界杯"_s,
                                  u"葡萄牙阿根廷交战记录"_s,         u"英国1982年对阿根廷的战争"_s };
    QTest::newRow("2022 rs_new") << u"baidu_s_helan-agenting_yaklang_2022_utf8.html"_s << utf8 << false << words2022;
    // As the page's own scripts leave it today: the comment gone, the words in the table's links.
    QTest::newRow("2022 rs_new without its s-data comment")
        << u"baidu_s_helan-agenting_yaklang_2022_utf8.html"_s << utf8 << true << words2022;
}

void TestWebStrip::webPageSourceReadsRealPages()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, withoutSData);
    QFETCH(QStringList, words);

    QFile saved(QFINDTESTDATA(u"data/real-pages/"_s + file));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QByteArray bytes = saved.readAll();
    int comments = 0;
    for (qsizetype from = 0; withoutSData && (from = bytes.indexOf("<!--s-data:", from)) >= 0; ++comments)
        bytes.remove(from, bytes.indexOf("-->", from) + 3 - from);
    QCOMPARE(comments, withoutSData ? 20 : 0);
    FakeHttpServer::Response response;
    response.contentType = contentType;
    response.body = bytes;
    const QString path = u"/real/"_s + file + (withoutSData ? u"-plain"_s : QString());
    site_->setPage(u"www.baidu.com"_s, path, response);

    const QString raw = CodePage::decodePage(bytes, contentType);
    WebStrip::WebPageSource source(sourceSetup());
    const FetchResult fetched = source.fetch(u"http://www.baidu.com"_s + path, Inet::Expect::Page);
    QVERIFY2(fetched.ok, qPrintable(fetched.error));
    QCOMPARE(offeredKeywords(raw), words);
    QCOMPARE(offeredKeywords(fetched.text), words);
    const QString blockStart = QString::fromUtf16(Mining::BlockStart);
    const QString blockEnd = QString::fromUtf16(Mining::BlockEnd);
    const Mining::RelatedSearches rawOffer = Mining::relatedSearches(raw, blockStart, blockEnd);
    const Mining::RelatedSearches webOffer = Mining::relatedSearches(fetched.text, blockStart, blockEnd);
    QCOMPARE(webOffer.words, rawOffer.words);
    QCOMPARE(webOffer.classicBlock.isEmpty(), rawOffer.classicBlock.isEmpty());
}

// What the window's mining run gets: the source made by the plugin, through the loader, with Inet1's
// time-out and cookies; none when the plugin is missing.
void TestWebStrip::webPageSourceThroughTheLoader()
{
    forgetPrivateCookies();
    Inet inet;
    inet.setTimeoutMs(1000);
    inet.cookieJar()->setCookiesFromUrl(QNetworkCookie::parseCookies("BAIDUID=L1; domain=.baidu.com; path=/"),
                                        QUrl(u"http://www.baidu.com/s"_s));
    WebStripLoader::setPluginPathForTesting(pages_.filePath(u"missing"_s));
    // The program's own folder holds no plugin either.
    QCOMPARE(WebStripLoader::createWebPageSource(&inet).get(), nullptr);
    WebStripLoader::setPluginPathForTesting(QString::fromUtf8(QINGLAN_WEBSTRIP_PLUGIN));
    auto resetPlugin = qScopeGuard([] { WebStripLoader::setPluginPathForTesting(QString()); });
    std::unique_ptr<Mining::PageSource> source = WebStripLoader::createWebPageSource(&inet);
    QVERIFY(source);
    QCOMPARE(source->name(), u"网页引擎"_s);

    const qsizetype visitsBefore = site_->visits().size();
    const FetchResult page = source->fetch(FakeSite::searchTarget(u"网页引擎"_s), Inet::Expect::Page);
    QVERIFY2(page.ok, qPrintable(page.error));
    QCOMPARE(offeredKeywords(page.text), (QStringList { u"网页引擎是什么"_s, u"网页引擎下载"_s, u"网页引擎 内核"_s }));
    QCOMPARE(site_->visits().value(visitsBefore).cookie, u"BAIDUID=L1"_s);
    const FetchResult hanging = source->fetch(FakeSite::searchTarget(u"挂起"_s), Inet::Expect::Page);
    QCOMPARE(hanging.error, u"连接超时"_s);
    source.reset();
}

int main(int argc, char* argv[])
{
    // The web engine refuses to run as root inside its sandbox; the scripts do the same.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestWebStrip test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webstrip.moc"
