// The embedded web strip against local pages in a temporary folder: the guards in the top page and in
// frames, dialogs that never show, new windows that reach the default browser only for web and mail
// addresses, the program's own page, and the strip replacing the placeholder after the first paint.
// The verification window against the fake web, reached as the application proxy: its guards, when it
// counts as passed, and the cookies it takes from Inet1's jar and hands back.
#include "app/form1.h"
#include "app/verificationgate.h"
#include "app/webstrip/strippage.h"
#include "app/webstrip/verificationwindow.h"
#include "app/webstrip/webstrip.h"
#include "e2e/fakesite.h"
#include "platform/browser.h"
#include "platform/inet.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
    QTest::addColumn<bool>("past");

    QTest::newRow("result page") << u"http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5"_s << u"减肥_百度搜索"_s << true;
    QTest::newRow("https, host in capitals") << u"https://WWW.BAIDU.COM/s?wd=a"_s << u"a_百度搜索"_s << true;
    QTest::newRow("keyword about the verification")
        << u"http://www.baidu.com/s?wd=%E7%99%BE%E5%BA%A6%E5%AE%89%E5%85%A8%E9%AA%8C%E8%AF%81"_s
        << u"百度安全验证怎么解除_百度搜索"_s << true;
    QTest::newRow("verification in place of results") << u"http://www.baidu.com/s?wd=a"_s << u"百度安全验证"_s << false;
    QTest::newRow("its title among spaces") << u"http://www.baidu.com/s?wd=a"_s << u" \t百度安全验证\n"_s << false;
    QTest::newRow("verification host") << u"http://wappass.baidu.com/static/captcha/tuxing.html?backurl=x"_s
                                       << u"网络不给力"_s << false;
    QTest::newRow("captcha path on the search host")
        << u"http://www.baidu.com/static/CAPTCHA/x.html"_s << u"验证"_s << false;
    QTest::newRow("another host of the engine") << u"http://baidu.com/s?wd=a"_s << u"a_百度搜索"_s << false;
    QTest::newRow("not a web address") << u"file://www.baidu.com/s"_s << u"a"_s << false;
}

void TestWebStrip::pastVerification()
{
    QFETCH(QString, address);
    QFETCH(QString, title);
    QFETCH(bool, past);
    QCOMPARE(WebStrip::isPastVerification(QUrl(address), title), past);
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
    QTest::newRow("window closed") << plugin << u"close"_s << int(VerificationGate::Outcome::NotPassed);
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

    WebStripLoader::setPluginPathForTesting(plugin);
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setRefusing(true);
    Inet inet;
    // Cookies the engine set before: one for the whole domain, one for the search host only.
    inet.cookieJar()->setCookiesFromUrl(
        QNetworkCookie::parseCookies("BAIDUID=B1; domain=.baidu.com; path=/\nH_PS_PSSID=7; path=/"),
        QUrl(u"http://www.baidu.com/s"_s));
    const QString refused = FakeSite::searchTarget(u"减肥"_s);
    QVERIFY(inet.OpenURL(refused).verification);
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
    QSize size;
    bool goneAtOnce = false;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget* shown = shownVerificationWindow();
        auto* view = shown ? shown->findChild<QWebEngineView*>() : nullptr;
        if (!view || view->page()->isLoading() || view->title() != u"百度安全验证"_s)
            return;
        driver.stop();
        window = shown;
        windowOwner = shown->windowHandle()->transientParent() == form.windowHandle() ? &form : nullptr;
        notice = shown->findChild<QLabel*>()->text();
        size = shown->size();
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
    const auto result
        = VerificationGate::pass(&form, &inet, QUrl(FakeSite::verificationAddress(refused)), [&stop] { return stop; });
    QCOMPARE(int(result), outcome);
    QVERIFY(!shownVerificationWindow());
    WebStripLoader::setPluginPathForTesting(QString());

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
    // In front of the main window, the engine's page below a line that says what it is for.
    QVERIFY(window.isNull());
    QCOMPARE(windowOwner, &form);
    QCOMPARE(size, QSize(520, 640));
    QCOMPARE(notice, u"查询过于频繁，百度要求进行安全验证，请在下方完成验证，通过后挖掘会自动继续。"_s);
    QCOMPARE(goneAtOnce, action == u"close main window"_s);
    // The page starts with the cookies of the jar that its host gets, and says what the program says.
    const QString verification = FakeSite::verificationAddress(refused);
    QCOMPARE(targets.value(0), verification);
    QCOMPARE(visits.value(0).cookie, u"BAIDUID=B1"_s);
    QCOMPARE(visits.value(0).userAgent, QString::fromLatin1(Inet::UserAgent));
    QCOMPARE(visits.value(0).acceptLanguage, QString::fromLatin1(Inet::AcceptLanguage));
    if (result != VerificationGate::Outcome::Passed) {
        QCOMPARE(targets, QStringList { verification });
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
    QCOMPARE(site_->visits().last().target, refused);
    QCOMPARE(sortedCookies(site_->visits().last().cookie), withPass);
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
