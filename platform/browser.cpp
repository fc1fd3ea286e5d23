// Opening an address through QDesktopServices, or through a replacement set by a test.
#include "platform/browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace Browser {

namespace {

Opener& testOpener()
{
    static Opener opener;
    return opener;
}

} // namespace

void openInDefaultBrowser(const QString& address)
{
    if (testOpener()) {
        testOpener()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void setOpenerForTesting(Opener opener)
{
    testOpener() = std::move(opener);
}

} // namespace Browser
