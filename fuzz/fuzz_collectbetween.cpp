// CollectBetween against its rule followed step by step on copies of the rest of the text; every
// item is a non-empty piece of the text, in its own letter case, free of the end marker.
#include "fuzzinput.h"
#include "text/module1.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QStringList literalItems(const QString& text, const QString& start, const QString& end)
{
    QStringList items;
    QString rest = text;
    for (;;) {
        if (!rest.contains(start, Qt::CaseInsensitive) || !rest.contains(end, Qt::CaseInsensitive))
            return items;
        const QString piece = rest.mid(rest.indexOf(start, 0, Qt::CaseInsensitive) + start.size());
        const qsizetype at = piece.indexOf(end, 0, Qt::CaseInsensitive);
        const QString item = at < 0 ? QString() : piece.left(at);
        if (item.isEmpty())
            return items;
        items.append(item);
        rest = piece.mid(item.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QString start = input.text(64);
    const QString end = input.text(64);
    const QString text = input.text(1 << 20);

    const QString result = Module1::CollectBetween(text, start, end);
    if (Fuzz::beginsWithLowSurrogate(start) || Fuzz::beginsWithLowSurrogate(end))
        return 0;
    const QStringList items = literalItems(text, start, end);
    QString expected;
    for (const QString& item : items) {
        FUZZ_CHECK(!item.isEmpty());
        FUZZ_CHECK(text.contains(item));
        FUZZ_CHECK(!item.contains(end, Qt::CaseInsensitive));
        expected += item + u"\r\n";
    }
    FUZZ_CHECK_EQUAL(result, expected);
    FUZZ_CHECK(items.size() <= text.count(start, Qt::CaseInsensitive));
    return 0;
}
