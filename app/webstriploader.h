// Loading the web-strip plugin, for the strip and for the verification window alike: both come from
// the one library, loaded at the first need and kept for the life of the process.
#pragma once

#include <QtGlobal>

namespace WebStripLoader {

// The web engine ends the whole process when started as root with its sandbox on, and when it
// cannot create shared memory; then the program goes on without it.
bool engineWouldRefuseToStart();

// The plugin's export of that name, loading the plugin if it is not loaded yet; nullptr when no
// plugin is found or it has no such export.
QFunctionPointer resolve(const char* exportName);

} // namespace WebStripLoader
