// Bringing up the embedded web strip, and finding the plugin's exports for it, for the verification
// window and for the web engine's page source. The strip lives in a plugin that links the web engine, loaded right
// after the window's first paint so that the window never waits for the engine. Without the plugin the placeholder
// simply stays.
#include "app/webstriploader.h"

#include "app/form1.h"
#include "app/verificationgate.h"
#include "app/webstrip/webstrip.h"
#include "mining/pagesource.h"
#include "platform/browser.h"
#include "platform/inet.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QString& pluginPathForTesting()
{
    static QString path;
    return path;
}

// Beside the program in the build tree, in the library folder of an installed copy.
QStringList pluginCandidates()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList candidates;
    if (!pluginPathForTesting().isEmpty())
        candidates << pluginPathForTesting();
    candidates << programDir + u"/qinglan_webstrip" << programDir + u"/../lib/qinglan-cibao/qinglan_webstrip";
    return candidates;
}

} // namespace

namespace WebStripLoader {

// A diagnostic for bench_startup only, not a setting: with QINGLAN_REPORT_FIRST_PAINT set, the moment
// of the first paint (steady clock, nanoseconds) goes to standard error.
void reportFirstPaintForBenchmark()
{
    if (!qEnvironmentVariableIsSet("QINGLAN_REPORT_FIRST_PAINT"))
        return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::fprintf(stderr, "qinglan-first-paint %lld\n",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    std::fflush(stderr);
}

void setPluginPathForTesting(const QString& path)
{
    pluginPathForTesting() = path;
}

// The scripts turn the sandbox off for root.
bool engineWouldRefuseToStart()
{
#ifdef Q_OS_UNIX
    const bool rootWithSandbox = ::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")
        && !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(u"--no-sandbox"_s);
#ifdef Q_OS_LINUX
    const bool noSharedMemory = ::access("/dev/shm", W_OK | X_OK) != 0;
#else
    const bool noSharedMemory = false;
#endif
    return rootWithSandbox || noSharedMemory;
#else
    return false;
#endif
}

QFunctionPointer resolve(const char* exportName)
{
    for (const QString& candidate : pluginCandidates()) {
        QLibrary plugin(candidate);
        // Loading the engine late warns that it would want OpenGL sharing set up before the program
        // started; its pages draw in software and need none. Loading it again only finds it loaded.
        const QtMessageHandler previousHandler
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const bool loaded = plugin.load();
        qInstallMessageHandler(previousHandler);
        if (!loaded)
            continue;
        // The library stays loaded for the life of the process, as the strip's and the window's code
        // live in it.
        if (const QFunctionPointer function = plugin.resolve(exportName))
            return function;
        plugin.unload();
    }
    return nullptr;
}

std::unique_ptr<Mining::PageSource> createWebPageSource(Inet* inet)
{
    if (engineWouldRefuseToStart())
        return nullptr;
    const auto create = reinterpret_cast<WebPageSourceFactory>(resolve(WebPageSourceFactoryName));
    if (!create)
        return nullptr;
    WebPageSourceSetup setup;
    setup.userAgent = QByteArray(Inet::UserAgent);
    setup.acceptLanguage = QByteArray(Inet::AcceptLanguage);
    setup.timeoutMs = inet ? inet->timeoutMs() : Inet::DefaultTimeoutMs;
    if (inet)
        setup.cookies = VerificationGate::cookiesOf(inet->cookieJar());
    return std::unique_ptr<Mining::PageSource>(create(&setup));
}

} // namespace WebStripLoader

void Form1::loadWebStrip()
{
    if (!WebBrowser1 || WebBrowser1->inherits("QWebEngineView") || WebStripLoader::engineWouldRefuseToStart())
        return;
    const auto createStrip = reinterpret_cast<WebStripFactory>(WebStripLoader::resolve(WebStripFactoryName));
    if (!createStrip)
        return;
    WebStripHooks hooks;
    hooks.openAddress = &Browser::openInDefaultBrowser;
    QWidget* strip = createStrip(this, &hooks);
    if (!strip)
        return;

    QWidget* placeholder = WebBrowser1;
    strip->setObjectName(u"WebBrowser1"_s);
    strip->setGeometry(placeholder->geometry());
    strip->stackUnder(placeholder);
    WebBrowser1 = strip;
    delete placeholder;
    // Its place in the keyboard order, 28, between Command8 and Command3; the page takes the keys
    // through the view's focus proxy.
    QWidget* keyTaker = strip->focusProxy() ? strip->focusProxy() : strip;
    setTabOrder(Command8, keyTaker);
    setTabOrder(keyTaker, Command3);
    strip->show();
}
