// The web engine as a page source: each address loads in a page that is never shown, with the strip's
// guards, in the profile the verification window shares, and the page's HTML as the engine holds it
// after loading (or the text of a JSON answer) comes back as the fetch component's answer would.
#pragma once

#include "app/webstrip/strippage.h"
#include "app/webstrip/webstrip.h"
#include "mining/pagesource.h"

#include <QObject>
#include <memory>

namespace WebStrip {

// The engine's verification, by the fetch component's rules: an address on its host or with
// "captcha" in its path, or a page titled exactly "百度安全验证" (spaces around it aside).
bool isVerificationAddress(const QUrl& url);
bool isVerificationTitle(const QString& title);

// The hidden page: no images, icons, media, fonts, sound, PDF viewer or error pages of its own, no
// navigation but to web addresses, and a navigation to the verification is not followed but reported.
class HiddenPage : public StripPage
{
    Q_OBJECT
public:
    HiddenPage(QWebEngineProfile* profile, Inet::Expect expect, QObject* parent = nullptr);

Q_SIGNALS:
    void verificationRequested(const QUrl& address);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

class WebPageSource final : public QObject, public Mining::PageSource
{
    Q_OBJECT
public:
    explicit WebPageSource(const WebPageSourceSetup& setup, QObject* parent = nullptr);
    // A fetch still waiting returns "已取消" once control gets back to it, and deletes its page.
    ~WebPageSource() override;

    // One load at a time: a fetch asked for while another waits fails at once.
    FetchResult fetch(const QString& address, Inet::Expect expect) override;
    void abort() override;
    QString name() const override;

    bool busy() const { return call_ != nullptr; }

private:
    struct Call;

    std::shared_ptr<Call> call_; // the fetch in progress
    int timeoutMs_;
};

} // namespace WebStrip
