// The plugin's export: the window calls it, after its first paint, to bring up the web strip.
#include "app/webstrip/strippage.h"
#include "app/webstrip/webstrip.h"

#include <QWebEngineView>
#include <type_traits>

extern "C" Q_DECL_EXPORT QWidget* qinglanCreateWebStrip(QWidget* parent, const WebStripHooks* hooks)
{
    WebStrip::StripPage::Opener opener;
    if (hooks && hooks->openAddress)
        opener = hooks->openAddress;
    return WebStrip::createStrip(parent, std::move(opener));
}

// The window resolves the export by name and calls it through this type.
static_assert(std::is_same_v<decltype(&qinglanCreateWebStrip), WebStripFactory>);
