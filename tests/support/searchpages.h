// Result pages of a fake web search for tests and benchmarks: a related-search table whose links
// end in "&f=1", in GBK, or today's layout in UTF-8; and the keyword that a request asked for.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace SearchPages {

// A result page whose related-search block lists the given link texts in order.
// In GBK unless utf8, which also holds the characters GBK lacks.
QByteArray resultPage(const QStringList& related, bool utf8 = false);

// A result page of today's layout, UTF-8: the element with id="rs_new", its words in the s-data
// comment (rows of two) and again as the titles and texts of the links of the table after it.
QByteArray resultPage2026(const QStringList& related);

// The keyword of a request target ".../s?wd=<percent-encoded UTF-8>"; empty when there is none.
QString keywordOfTarget(const QByteArray& target);

} // namespace SearchPages
