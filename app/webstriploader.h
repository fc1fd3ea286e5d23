// Loading the web-strip plugin, for the strip, the verification window and the web engine's page source
// alike: all come from the one library, loaded at the first need and kept for the life of the process.
#pragma once

#include <QtGlobal>
#include <memory>

class Inet;

namespace Mining {
class PageSource;
}

namespace WebStripLoader {

// For bench_startup: the moment of the window's first paint to standard error, when asked for.
void reportFirstPaintForBenchmark();

// The web engine ends the whole process when started as root with its sandbox on, and when it
// cannot create shared memory; then the program goes on without it.
bool engineWouldRefuseToStart();

// The plugin's export of that name, loading the plugin if it is not loaded yet; nullptr when no
// plugin is found or it has no such export.
QFunctionPointer resolve(const char* exportName);

// The web engine as a page source, its requests saying what inet's say of themselves, with inet's
// time-out and starting with every cookie of inet's jar (the cookies it earns stay its own); nullptr
// when the engine would refuse to start or the plugin or its export is missing. Deleted while the
// application object still exists.
std::unique_ptr<Mining::PageSource> createWebPageSource(Inet* inet);

} // namespace WebStripLoader
