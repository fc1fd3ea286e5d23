// The window in which the user passes the engine's security verification: the engine's own page with
// the strip's guards, in a profile of its own that starts with the program's cookies and, once the page
// has come back to the search host, hands back every cookie it holds.
#pragma once

#include "app/webstrip/strippage.h"
#include "app/webstrip/webstrip.h"

#include <QList>
#include <QNetworkCookie>
#include <QWidget>

class QLabel;
class QWebEngineDownloadRequest;
class QWebEngineView;

namespace WebStrip {

inline constexpr char16_t VerificationTitle[] = u"百度安全验证";
inline constexpr char16_t VerificationNotice[]
    = u"查询过于频繁，百度要求进行安全验证，请在下方完成验证，通过后挖掘会自动继续。";

// Whether the page the window arrived at lies past the verification: a web page on the search host
// that is not the verification itself, by its title or by one of its addresses.
bool isPastVerification(const QUrl& address, const QString& title);

// The window's page: the strip's guards, no hand-over of unknown schemes to the desktop, and no
// navigation anywhere but to web addresses.
class VerificationPage : public StripPage
{
    Q_OBJECT
public:
    VerificationPage(QWebEngineProfile* profile, Opener openAddress, QObject* parent = nullptr);

Q_SIGNALS:
    void navigationRefused(const QUrl& address);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

class VerificationWindow : public QWidget
{
    Q_OBJECT
public:
    // Uses setup's address, request headers, cookies and opener; its finished hook is the export's.
    VerificationWindow(QWidget* parent, const VerificationWindowSetup& setup);
    ~VerificationWindow() override;

    VerificationPage* page() const { return page_; }
    QWebEngineView* view() const { return view_; }
    // Every cookie the window's profile holds, as its store has reported them.
    QList<QNetworkCookie> cookies() const { return cookies_; }

Q_SIGNALS:
    // Emitted once, either: passed with every cookie, right before the window closes itself; or not
    // passed when it is closed otherwise. Deleting the window emits neither.
    void passed(const QList<QNetworkCookie>& cookies);
    void notPassed();
    void downloadRefused(const QUrl& address);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startWithCookies(const QList<QNetworkCookie>& cookies);
    void onCookieAdded(const QNetworkCookie& cookie);
    void onCookieRemoved(const QNetworkCookie& cookie);
    void onLoadFinished(bool ok);
    void onDownloadRequested(QWebEngineDownloadRequest* download);
    void placeInFrontOf(QWidget* parent);

    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    VerificationPage* page_ = nullptr;
    QLabel* notice_ = nullptr;
    QList<QNetworkCookie> cookies_;
    bool reported_ = false;
};

} // namespace WebStrip
