// The window in which the user passes the engine's security verification: the engine's own page with
// the strip's guards, in the private profile it shares with the web engine's page source, which starts
// with the program's cookies; once the page has come back to the search host it hands back every
// cookie the profile holds. It stands beside the main window, or over its list, never over the
// controls that start and stop a run.
#pragma once

#include "app/webstrip/strippage.h"
#include "app/webstrip/webstrip.h"

#include <QList>
#include <QNetworkCookie>
#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineView;

namespace WebStrip {

inline constexpr char16_t VerificationTitle[] = u"百度安全验证";
inline constexpr char16_t VerificationNotice[]
    = u"查询过于频繁，百度要求进行安全验证，请在下方完成验证，通过后挖掘会自动继续。";

// Whether the page the window arrived at lies past the verification: the answer to the refused
// request asked, that is a web page of the same host and path with the same keyword (its wd, as
// text), and not the verification itself, by its title or by its address. Any other page of the
// engine, its home page for one, is not.
bool isPastVerification(const QUrl& address, const QString& title, const QUrl& asked);
// Whether it is the verification itself: an address on its host or with "captcha" in its path, or
// its title.
bool isVerification(const QUrl& address, const QString& title);

// Where the window stands, as its frame's place and size (every rectangle in screen coordinates):
// beside the owner's frame, right of it or else left of it, when the free area of the screen has
// room for the wanted width there, at the owner's height as far as the free area allows and no
// higher than it; otherwise over the owner's list area, from its top left corner, no wider than it
// and no taller than the free area below its top. The owner's other controls stay uncovered either
// way. Without a list area, and with no room beside the owner, centred on the owner inside the free
// area.
QRect verificationWindowPlace(const QRect& ownerFrame, const QRect& listArea, const QRect& freeArea,
                              const QSize& wanted);

// The size of the window inside its frame when the screen has room for it.
inline constexpr QSize VerificationWindowSize { 520, 640 };

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
    QList<QNetworkCookie> cookies() const;

Q_SIGNALS:
    // Emitted once, one of: passed with every cookie, once the answer to the refused request came
    // after the verification showed or after another page; served with every cookie, when the
    // window's first page was that answer; each right before the window closes itself; or not passed
    // when it is closed otherwise. Deleting the window emits none.
    void passed(const QList<QNetworkCookie>& cookies);
    void served(const QList<QNetworkCookie>& cookies);
    void notPassed();
    void downloadRefused(const QUrl& address);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The first page, once the program's pace allows it.
    void loadWhenItsTurn();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onLoadFinished(bool ok);
    void onDownloadRequested(QWebEngineDownloadRequest* download);
    void placeBeside(QWidget* parent, const QRect& listArea);

    QWebEngineView* view_ = nullptr;
    VerificationPage* page_ = nullptr;
    QLabel* notice_ = nullptr;
    VerificationWindowSetup setup_; // its address, the refused request and the pace's hooks
    bool shownVerification_ = false;
    int pagesFinished_ = 0;
    int loadsUnderWay_ = 0; // navigations of the page started and not ended, told to the pace as one
    QUrl loadFrom_;         // where the first of them started
    bool reported_ = false;
};

} // namespace WebStrip
