// The plugin's exports: the window calls the first, after its first paint, to bring up the web strip,
// the second when the engine asks for its security verification, and the third when a mining run
// turns to the web engine for its pages.
#include "app/webstrip/strippage.h"
#include "app/webstrip/verificationwindow.h"
#include "app/webstrip/webpagesource.h"
#include "app/webstrip/webstrip.h"

#include <QCoreApplication>
#include <QWebEngineView>
#include <type_traits>

extern "C" Q_DECL_EXPORT QWidget* qinglanCreateWebStrip(QWidget* parent, const WebStripHooks* hooks)
{
    WebStrip::StripPage::Opener opener;
    if (hooks && hooks->openAddress)
        opener = hooks->openAddress;
    return WebStrip::createStrip(parent, std::move(opener));
}

// The window resolves the export by name and calls it through this type.
static_assert(std::is_same_v<decltype(&qinglanCreateWebStrip), WebStripFactory>);

extern "C" Q_DECL_EXPORT QWidget* qinglanCreateVerificationWindow(QWidget* parent, const VerificationWindowSetup* setup)
{
    if (!setup)
        return nullptr;
    auto* window = new WebStrip::VerificationWindow(parent, *setup);
    const auto finished = setup->finished;
    void* const context = setup->context;
    if (finished) {
        QObject::connect(window, &WebStrip::VerificationWindow::passed, window,
                         [finished, context](const QList<QNetworkCookie>& cookies) {
                             finished(context, VerificationResult::Passed, cookies);
                         });
        QObject::connect(window, &WebStrip::VerificationWindow::served, window,
                         [finished, context](const QList<QNetworkCookie>& cookies) {
                             finished(context, VerificationResult::Served, cookies);
                         });
        QObject::connect(window, &WebStrip::VerificationWindow::notPassed, window,
                         [finished, context] { finished(context, VerificationResult::NotPassed, {}); });
    }
    return window;
}

static_assert(std::is_same_v<decltype(&qinglanCreateVerificationWindow), VerificationWindowFactory>);

extern "C" Q_DECL_EXPORT Mining::PageSource* qinglanCreateWebPageSource(const WebPageSourceSetup* setup)
{
    // The engine's profile needs the application object, and goes with it.
    if (!setup || !QCoreApplication::instance())
        return nullptr;
    return new WebStrip::WebPageSource(*setup);
}

static_assert(std::is_same_v<decltype(&qinglanCreateWebPageSource), WebPageSourceFactory>);
