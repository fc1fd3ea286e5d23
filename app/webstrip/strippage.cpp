// The strip's page: silence, the four guard scripts in every frame, and new windows handed to the
// default browser.
#include "app/webstrip/strippage.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QQuickWindow>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace WebStrip {

namespace {

    // Each guard on its own, so that one refused statement does not keep the others from running.
    QString guardsAsOneScript()
    {
        QString script;
        for (const char16_t* guard : GuardScripts) {
            script += u"try{";
            script += QStringView(guard);
            script += u"}catch(e){}";
        }
        return script;
    }

    QWebEngineScript guardScript(const QString& name, QWebEngineScript::InjectionPoint point)
    {
        QWebEngineScript script;
        script.setName(name);
        script.setSourceCode(guardsAsOneScript());
        script.setInjectionPoint(point);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setRunsOnSubFrames(true);
        return script;
    }

    QLoggingCategory::CategoryFilter previousCategoryFilter = nullptr;

    // The engine's start-up report reads the shared OpenGL context, which an engine brought up inside a
    // running program does not have; printing it would crash.
    void silenceEngineStartupReport(QLoggingCategory* category)
    {
        if (previousCategoryFilter)
            previousCategoryFilter(category);
        if (qstrcmp(category->categoryName(), "qt.webenginecontext") == 0) {
            category->setEnabled(QtDebugMsg, false);
            category->setEnabled(QtInfoMsg, false);
        }
    }

} // namespace

// The engine comes up inside a running program, too late for the OpenGL context sharing it would
// need, so its pages draw in software: the strip's still page and the verification's puzzle need no
// graphics card, and there may be none.
// The engine reads its command line once, when the first profile comes up; flags the user set are
// left alone.
void prepareEngine()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    previousCategoryFilter = QLoggingCategory::installFilter(&silenceEngineStartupReport);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking");
}

bool isOpenableAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    if (scheme == u"http" || scheme == u"https")
        return !url.host().isEmpty();
    return scheme == u"mailto" && !url.path().isEmpty();
}

StripPage::StripPage(QWebEngineProfile* profile, Opener openAddress, QObject* parent)
    : QWebEnginePage(profile, parent)
    , openAddress_(std::move(openAddress))
{
    makeSilent();
    installGuards();
    connect(this, &QWebEnginePage::loadFinished, this, &StripPage::WebBrowser1_NavigateComplete2);
}

void StripPage::makeSilent()
{
    QWebEngineSettings* pageSettings = settings();
    // Windows come only from links the user activates; a page's script opens none by itself.
    pageSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    pageSettings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    pageSettings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    pageSettings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
}

// Before the page's own scripts, and again once each document has loaded, in the top page and in
// every frame, whenever it navigates.
void StripPage::installGuards()
{
    QWebEngineScriptCollection& collection = scripts();
    collection.insert(guardScript(u"qinglan-guards-at-creation"_s, QWebEngineScript::DocumentCreation));
    collection.insert(guardScript(u"qinglan-guards-after-load"_s, QWebEngineScript::Deferred));
}

void StripPage::WebBrowser1_NavigateComplete2()
{
    makeSilent();
    // A statement the page refuses only fails inside the page; nothing comes back to handle.
    for (const char16_t* guard : GuardScripts)
        runJavaScript(QString::fromUtf16(guard), QWebEngineScript::MainWorld);
}

void StripPage::WebBrowser1_NewWindow2()
{
    // Read in a world of our own, where the page's scripts cannot redefine activeElement or href.
    static const QString readAddress
        = u"(function(){var e=document.activeElement;return e&&typeof e.href==='string'?e.href:'';})()"_s;
    QPointer<StripPage> self(this);
    runJavaScript(readAddress, QWebEngineScript::ApplicationWorld, [self](const QVariant& value) {
        if (!self)
            return;
        const QString address = value.typeId() == QMetaType::QString ? value.toString() : QString();
        const bool opened = isOpenableAddress(address) && self->openAddress_;
        if (opened)
            self->openAddress_(address);
        Q_EMIT self->newWindowHandled(address, opened);
    });
}

void StripPage::javaScriptAlert(const QUrl&, const QString&)
{
    Q_EMIT dialogSuppressed(u"alert"_s);
}

bool StripPage::javaScriptConfirm(const QUrl&, const QString& msg)
{
    // The question before leaving a page comes here too, in the engine's own words; the page is left
    // without asking, as if the dialog had been answered "leave".
    static const QString leaveQuestion = QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
    if (msg == leaveQuestion) {
        Q_EMIT dialogSuppressed(u"beforeunload"_s);
        return true;
    }
    Q_EMIT dialogSuppressed(u"confirm"_s);
    return false;
}

bool StripPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    Q_EMIT dialogSuppressed(u"prompt"_s);
    return false;
}

void StripPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) { }

QStringList StripPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&)
{
    return {};
}

QWebEnginePage* StripPage::createWindow(WebWindowType)
{
    WebBrowser1_NewWindow2();
    return nullptr;
}

QWebEngineView* createStrip(QWidget* parent, StripPage::Opener openAddress)
{
    prepareEngine();
    auto* view = new QWebEngineView(parent);
    view->setObjectName(u"WebBrowser1"_s);
    // Its menu would offer to open links and sources in windows of its own.
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setPage(new StripPage(QWebEngineProfile::defaultProfile(), std::move(openAddress), view));
    view->setUrl(QUrl(QString::fromUtf16(PageAddress)));
    return view;
}

} // namespace WebStrip
