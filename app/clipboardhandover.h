// Handing the clipboard to the desktop's clipboard manager before the process ends at once. On X11
// the clipboard is only a promise of its owner: when the owner is gone, so is the text, unless a
// clipboard manager has taken a copy. Qt asks the manager for that when the application object is
// destroyed; the program ends without destroying it, so it asks here.
#pragma once

namespace ClipboardHandover {

// If this program owns the clipboard and a clipboard manager runs, asks the manager to save the
// clipboard and serves its requests until it answers or timeoutMs has passed. Returns at once
// otherwise, and on platforms other than X11. User input is not processed while it waits.
void handOver(int timeoutMs);

} // namespace ClipboardHandover
