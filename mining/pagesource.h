// Where a mining run gets the engine's answers. Two kinds sit behind this one interface: the fetch
// component Inet1, and the web engine (built by the web-strip plugin, app/webstrip/), which the run
// turns to when the engine serves a browser but refuses the program's own fetcher.
//
// One request at a time. fetch() waits in a local event loop, as Inet::OpenURL does: every other
// event of the application goes on meanwhile, handlers may run and the window may close, so the
// caller checks its own state again after it returns.
#pragma once

#include "platform/inet.h"

#include <QPointer>
#include <QString>

namespace Mining {

class PageSource
{
public:
    virtual ~PageSource() = default;

    // Expect::Page gives the page's HTML, Expect::Json the text of a data interface's answer. A
    // refusal by the engine's verification (a redirect to it, or the verification page in place of
    // the answer) is a failure with verification set and verificationAddress where a person passes it.
    virtual FetchResult fetch(const QString& address, Inet::Expect expect) = 0;
    // Ends the fetch in progress at once; it returns a failure.
    virtual void abort() = 0;
    // What the run's messages call this way in.
    virtual QString name() const = 0;
};

// The fetch component as a page source; the component stays the window's.
class InetPageSource final : public PageSource
{
public:
    explicit InetPageSource(Inet* inet)
        : inet_(inet)
    {
    }
    FetchResult fetch(const QString& address, Inet::Expect expect) override
    {
        if (!inet_) {
            FetchResult gone;
            gone.address = address;
            gone.error = QStringLiteral("已取消");
            return gone;
        }
        return inet_->OpenURL(address, expect);
    }
    void abort() override
    {
        if (inet_)
            inet_->abort();
    }
    QString name() const override { return QStringLiteral("Inet1"); }
    Inet* inet() const { return inet_; }

private:
    QPointer<Inet> inet_;
};

} // namespace Mining
