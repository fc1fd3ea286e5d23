// The boundary between the window and the web-strip plugin. The plugin is a shared module that links
// the web engine; the program itself does not, so its window shows without waiting for the engine and
// loads the plugin after the first paint. Nothing here needs the web engine's headers.
#pragma once

class QString;
class QWidget;

// What the window lends the strip.
struct WebStripHooks
{
    // Hands an address to the user's default web browser.
    void (*openAddress)(const QString& address) = nullptr;
};

// The plugin's one export: creates the strip as a child of parent, showing the program's own page.
// Returns nullptr if the strip cannot be made.
using WebStripFactory = QWidget* (*)(QWidget* parent, const WebStripHooks* hooks);
inline constexpr char WebStripFactoryName[] = "qinglanCreateWebStrip";

namespace WebStripLoader {

// Tried before the usual places beside the program; tests, whose executables live elsewhere, point
// it at the plugin they were built with. An empty path clears it.
void setPluginPathForTesting(const QString& path);

} // namespace WebStripLoader
