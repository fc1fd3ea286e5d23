// The page of the embedded web strip `WebBrowser1` and its guards: the page shows no dialog of its
// own, its message-box, confirmation, modal-dialog and window-opening functions are switched off in
// every frame, and a new-window request hands the activated link's address to the default browser.
#pragma once

#include <QWebEnginePage>
#include <array>
#include <functional>

class QWebEngineView;

namespace WebStrip {

// Run in each document's window in this order.
inline constexpr std::array<const char16_t*, 4> GuardScripts = {
    u"window.alert=null;",
    u"window.confirm=null;",
    u"window.showModalDialog=null;",
    u"window.open=null;",
};

inline constexpr char16_t PageAddress[] = u"qrc:/webstrip/strip.html";

// Sets the engine up for a program that brings it up late; called before the first page is made.
void prepareEngine();

// Whether an address may go to the default browser: http and https with a host, and mailto.
bool isOpenableAddress(const QString& address);

class StripPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using Opener = std::function<void(const QString&)>;

    StripPage(QWebEngineProfile* profile, Opener openAddress, QObject* parent = nullptr);

    // A completed navigation of the top page: silence, then the guards in the top document.
    void WebBrowser1_NavigateComplete2();
    // The page asked for a new window: the top document's focused element's link address, if it is
    // a web or mail address, goes to the default browser. The answer comes asynchronously.
    void WebBrowser1_NewWindow2();

Q_SIGNALS:
    // A dialog the page raised and that nobody saw; kind is "alert", "confirm", "prompt" or
    // "beforeunload".
    void dialogSuppressed(const QString& kind);
    // The end of WebBrowser1_NewWindow2: the address read (empty if none) and whether it was opened.
    void newWindowHandled(const QString& address, bool opened);

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    void makeSilent();
    void installGuards();

    Opener openAddress_;
};

// The strip: a view named "WebBrowser1" holding a StripPage, already loading the program's own page.
QWebEngineView* createStrip(QWidget* parent, StripPage::Opener openAddress);

} // namespace WebStrip
