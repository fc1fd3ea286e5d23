// The embedded web strip against local pages in a temporary folder: the guards in the top page and in
// frames, dialogs that never show, new windows that reach the default browser only for web and mail
// addresses, the program's own page, and the strip replacing the placeholder after the first paint.
#include "app/form1.h"
#include "app/webstrip/strippage.h"
#include "app/webstrip/webstrip.h"
#include "platform/browser.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QPushButton>
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

private:
    void writePage(const QString& name, const QString& body);
    QUrl pageAddress(const QString& name) const { return QUrl::fromLocalFile(pages_.filePath(name)); }

    QTemporaryDir pages_;
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
