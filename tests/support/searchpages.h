// Result pages of a fake web search for tests and benchmarks: a related-search table whose links
// end in "&f=1", in GBK, and the keyword that a request asked for.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace SearchPages {

// A result page whose related-search block lists the given link texts in order.
QByteArray resultPage(const QStringList& related);

// The keyword of a request target ".../s?wd=<percent-encoded GBK>"; empty when there is none.
QString keywordOfTarget(const QByteArray& target);

} // namespace SearchPages
