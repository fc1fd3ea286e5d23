// The program's own data folder: $XDG_DATA_HOME/qinglan-cibao, else ~/.local/share/qinglan-cibao.
// The session store and the fallback copy of the fetch record both live there.
#pragma once

#include <QString>

namespace DataFolder {

inline constexpr char16_t Name[] = u"qinglan-cibao";

// The folder's path; it may not exist yet. Tests point it at a temporary folder; an empty text
// restores the real one.
QString path();
void setPathForTesting(const QString& folder);

} // namespace DataFolder
