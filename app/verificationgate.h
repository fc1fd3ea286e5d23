// The engine's security verification, passed by the user in a window of the program: the window
// shows the engine's page, and once the page is past it, the cookies that the pass earned go into
// the fetch component's jar, so that the next request is answered again.
#pragma once

#include <QList>
#include <QNetworkCookie>
#include <functional>

class Inet;
class QNetworkCookieJar;
class QUrl;
class QWidget;

namespace Mining {
class Pacer;
}

namespace VerificationGate {

// Served: the window's first page was already past the verification, which nobody passed: the engine
// serves the web engine (and may refuse the fetch component all the same).
enum class Outcome { Passed, NotPassed, Unavailable, Served };

// Shows the verification window for address beside parent's window (or over its list, the child named
// "Frame2", when the screen has no room beside it) and waits in a local event loop (every
// other event of the program goes on being handled, and handlers may run meanwhile) until the window
// reports passed or is closed, or stopRequested() turns true; it is asked every 100 ms and covers Stop
// and the main window closing, which also closes the verification window at once.
// Passed and Served: every cookie of the window has been copied into inet's jar. NotPassed: closed, stopped, or
// already stopped before anything was shown. Unavailable: the web engine cannot be started (root with
// its sandbox on, no writable shared memory, no plugin); nothing was shown.
// The window's page is requested with inet's User-Agent and Accept-Language, starts with every cookie
// of inet's jar, and goes through the application proxy when one is set, else the system's.
// asked is the refused request: only its answer passes the window (Passed after the verification or
// another page showed, Served when it is the window's first page).
// The window shows at once, but its first page waits for pacer's turn (the cool-down after the
// refusal); every page the window asks for, also those of a person's clicks, is told to pacer as a
// request. Without a pacer the page loads at once.
Outcome pass(QWidget* parent, Inet* inet, const QUrl& address, const QUrl& asked, Mining::Pacer* pacer,
             const std::function<bool()>& stopRequested);

// Every cookie of the jar, which keeps its list for its subclasses only.
QList<QNetworkCookie> cookiesOf(const QNetworkCookieJar* jar);
// Puts each cookie into the jar as if its own host had set it: a domain with a leading dot for a
// cookie of the whole domain, without one for a cookie of that host only.
void addCookies(QNetworkCookieJar* jar, const QList<QNetworkCookie>& cookies);

} // namespace VerificationGate
