// Line breaks inside a keyword made spaces.
#include "text/linebreaks.h"

#include <algorithm>

namespace LineBreaks {

QString breaksAsSpaces(const QString& text)
{
    // Most keywords hold no break at all; they are handed back without a copy.
    const auto first = std::find_if(text.cbegin(), text.cend(), isLineBreak);
    if (first == text.cend())
        return text;
    QString spaced;
    spaced.reserve(text.size());
    spaced.append(text.constData(), first - text.cbegin());
    for (auto it = first; it != text.cend(); ++it) {
        if (!isLineBreak(*it)) {
            spaced += *it;
            continue;
        }
        if (*it == u'\r' && it + 1 != text.cend() && it[1] == u'\n')
            ++it;
        spaced += u' ';
    }
    return spaced;
}

} // namespace LineBreaks
