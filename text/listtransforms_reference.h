// The literal method of removing repeats: each item is looked up by searching the result built so
// far for separator + item + separator. DistinctLines answers the same question with a hash set
// where that gives the very same result; tests compare the two.
#pragma once

#include <QString>

namespace Module1 {

QString DistinctLinesBySearch(const QString& text, const QString& separator);

} // namespace Module1
