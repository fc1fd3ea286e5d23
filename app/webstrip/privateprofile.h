// The one off-the-record profile of the process that the verification window and the web engine's
// page source share: a pass in the window holds for the hidden page's requests, and every cookie
// stays in memory. It is made on first use and goes with the application object.
#pragma once

#include <QList>
#include <QNetworkCookie>

class QWebEngineCookieStore;
class QWebEngineProfile;

namespace WebStrip {

// Made on first use with the engine prepared; every download it is asked for is cancelled.
QWebEngineProfile* privateProfile();

// Every cookie the profile's store holds, as the store has reported them so far.
QList<QNetworkCookie> privateCookies();

// Puts the program's cookies into the store, each for the host or domain it came from. The program's
// jar marks a cookie that only its own host gets by a domain without the leading dot; the engine
// takes such a cookie without a domain, from that host.
void addCookies(QWebEngineCookieStore* store, const QList<QNetworkCookie>& cookies);

} // namespace WebStrip
