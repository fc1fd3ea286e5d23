// The boundary between the window and the web-strip plugin. The plugin is a shared module that links
// the web engine; the program itself does not, so its window shows without waiting for the engine and
// loads the plugin after the first paint; the verification window comes from the same plugin, loaded
// when it is first needed if the strip has not loaded it yet. The third export makes the web engine's
// page source, through which a mining run asks when the engine serves a browser but refuses the
// program's own fetcher. Nothing here needs the web engine's headers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QRect>
#include <QUrl>

class QString;
class QWidget;

namespace Mining {
class PageSource;
}

// What the window lends the strip.
struct WebStripHooks
{
    // Hands an address to the user's default web browser.
    void (*openAddress)(const QString& address) = nullptr;
};

// The plugin's first export: creates the strip as a child of parent, showing the program's own page.
// Returns nullptr if the strip cannot be made.
using WebStripFactory = QWidget* (*)(QWidget* parent, const WebStripHooks* hooks);
inline constexpr char WebStripFactoryName[] = "qinglanCreateWebStrip";

// How the verification window ended.
enum class VerificationResult {
    NotPassed, // closed before the page came past the verification
    Passed, // the verification showed, and then the page came to the search host past it
    Served, // the first page came past the verification at once: nobody passed anything, the engine
            // serves the web engine
};

// What the program hands the verification window, and how the window answers.
struct VerificationWindowSetup
{
    QUrl address; // the verification page, or the result page it came in place of
    // The refused request: the window is passed once the answer to it comes back (its host, path and
    // keyword), and nothing else passes. Empty: nothing does.
    QUrl askedAddress;
    QByteArray userAgent; // the page's requests say the same of themselves as the program's
    QByteArray acceptLanguage;
    QList<QNetworkCookie> cookies; // the page starts with these
    // Where on the screen the owner holds its list: the window may cover it when there is no room
    // beside the owner. Empty when the owner has none.
    QRect listArea;
    // Hands an address to the user's default web browser.
    void (*openAddress)(const QString& address) = nullptr;
    // Called once: passed or served with every cookie the window's profile holds, the window then
    // closing itself; or not passed, without cookies, when the window was closed. Never called once
    // the owner has deleted the window.
    void (*finished)(void* context, VerificationResult result, const QList<QNetworkCookie>& cookies) = nullptr;
    // The program's pace of requests to the engine. The window's first page waits until untilTurn
    // gives 0 (milliseconds to wait before asking again; -1: never); without it the page loads at
    // once. Every page the window asks for, its first and those a person's clicks ask for, is told as
    // it starts and as it ends, refused when it asked the engine and ended on the verification.
    int (*untilTurn)(void* context) = nullptr;
    void (*requestStarted)(void* context) = nullptr;
    void (*requestEnded)(void* context, bool refused) = nullptr;
    void* context = nullptr;
};

// The plugin's second export: creates the verification window, a top-level window in front of
// parent, already loading setup's address. Returns nullptr if it cannot be made.
using VerificationWindowFactory = QWidget* (*)(QWidget* parent, const VerificationWindowSetup* setup);
inline constexpr char VerificationWindowFactoryName[] = "qinglanCreateVerificationWindow";

// What the program hands the web engine's page source: its requests say the same of themselves as
// the program's, give up after the same time, and start with the program's cookies.
struct WebPageSourceSetup
{
    QByteArray userAgent;
    QByteArray acceptLanguage;
    int timeoutMs = 60000;
    QList<QNetworkCookie> cookies;
};

// The plugin's third export: a page source that loads each address in a page of the web engine that
// is never shown, in the verification window's profile. Owned by the caller, who deletes it through
// Mining::PageSource's virtual destructor while the application object still exists. Returns nullptr
// if it cannot be made.
using WebPageSourceFactory = Mining::PageSource* (*)(const WebPageSourceSetup* setup);
inline constexpr char WebPageSourceFactoryName[] = "qinglanCreateWebPageSource";

namespace WebStripLoader {

// Tried before the usual places beside the program; tests, whose executables live elsewhere, point
// it at the plugin they were built with. An empty path clears it.
void setPluginPathForTesting(const QString& path);

} // namespace WebStripLoader
