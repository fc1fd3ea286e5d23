// The boundary between the window and the web-strip plugin. The plugin is a shared module that links
// the web engine; the program itself does not, so its window shows without waiting for the engine and
// loads the plugin after the first paint; the verification window comes from the same plugin, loaded
// when it is first needed if the strip has not loaded it yet. Nothing here needs the web engine's headers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QUrl>

class QString;
class QWidget;

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

// What the program hands the verification window, and how the window answers.
struct VerificationWindowSetup
{
    QUrl address; // the verification page, or the result page it came in place of
    QByteArray userAgent; // the page's requests say the same of themselves as the program's
    QByteArray acceptLanguage;
    QList<QNetworkCookie> cookies; // the page starts with these
    // Hands an address to the user's default web browser.
    void (*openAddress)(const QString& address) = nullptr;
    // Called once: passed with every cookie the window's page holds, the window then closing itself;
    // or not passed, without cookies, when the window was closed. Never called once the owner has
    // deleted the window.
    void (*finished)(void* context, bool passed, const QList<QNetworkCookie>& cookies) = nullptr;
    void* context = nullptr;
};

// The plugin's second export: creates the verification window, a top-level window in front of
// parent, already loading setup's address. Returns nullptr if it cannot be made.
using VerificationWindowFactory = QWidget* (*)(QWidget* parent, const VerificationWindowSetup* setup);
inline constexpr char VerificationWindowFactoryName[] = "qinglanCreateVerificationWindow";

namespace WebStripLoader {

// Tried before the usual places beside the program; tests, whose executables live elsewhere, point
// it at the plugin they were built with. An empty path clears it.
void setPluginPathForTesting(const QString& path);

} // namespace WebStripLoader
