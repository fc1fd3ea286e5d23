// ShuffleLines keeps the multiset of the non-empty items and puts one separator after each.
#include "fuzzinput.h"
#include "text/module1.h"

#include <QStringList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QString separator = input.flag() ? input.text(8) : u"\r\n"_s;
    const QString text = input.text(1 << 20);

    const QString result = Module1::ShuffleLines(text, separator);
    QStringList before = Fuzz::items(text, separator);
    before.removeAll(QString());
    qsizetype length = 0;
    for (const QString& item : std::as_const(before))
        length += item.size() + separator.size();
    FUZZ_CHECK(result.size() == length);

    // With a separator that has no border the result cuts back into exactly its items.
    if (Fuzz::hasNoBorder(separator)) {
        QStringList after = Fuzz::items(result, separator);
        if (!after.isEmpty()) {
            FUZZ_CHECK(after.constLast().isEmpty());
            after.removeLast();
        }
        FUZZ_CHECK(!after.contains(QString()));
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        FUZZ_CHECK(before == after);
    }
    return 0;
}
