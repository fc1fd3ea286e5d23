// Which characters end a line: in the keyword list box, and anywhere a keyword can come from. A
// keyword must never hold one, or the list would show it as two lines.
#pragma once

#include <QChar>
#include <QString>

namespace LineBreaks {

// The keyword list box starts a new line at CR, LF, U+2028 and U+2029, and at U+FDD0 and U+FDD1,
// which its document keeps for the bounds of frames; CR LF together make one break.
inline bool breaksLineInBox(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

// Those, and the other mandatory breaks of Unicode: VT, FF and NEL.
inline bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return breaksLineInBox(c) || u == 0x0B || u == 0x0C || u == 0x85;
}

// The text with every line break made one space; CR LF together are one break.
QString breaksAsSpaces(const QString& text);

} // namespace LineBreaks
