// TextBetween against a literal reading of its rule: split the lower-case text at the start marker,
// take the second piece, split that at the end marker and take the first.
#include "fuzzinput.h"
#include "text/module1.h"

#include <QStringList>

namespace {

// Cut at every occurrence from the left; a marker that is empty does not cut at all.
QStringList cut(const QString& text, const QString& marker)
{
    if (marker.isEmpty())
        return { text };
    return text.split(marker, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString literalTextBetween(const QString& text, const QString& start, const QString& end)
{
    if (!text.contains(start, Qt::CaseInsensitive) || !text.contains(end, Qt::CaseInsensitive))
        return {};
    const QStringList pieces = cut(text.toLower(), start.toLower());
    if (pieces.size() < 2)
        return {};
    return cut(pieces.at(1), end.toLower()).constFirst();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QString start = input.text(64);
    const QString end = input.text(64);
    const QString text = input.text(1 << 20);

    const QString result = Module1::TextBetween(text, start, end);
    FUZZ_CHECK_EQUAL(result, literalTextBetween(text, start, end));
    FUZZ_CHECK(text.toLower().contains(result));
    FUZZ_CHECK_EQUAL(result.toLower(), result);
    if (!result.isEmpty()) {
        FUZZ_CHECK(!start.isEmpty());
        FUZZ_CHECK(text.contains(start, Qt::CaseInsensitive) && text.contains(end, Qt::CaseInsensitive));
        FUZZ_CHECK(!result.contains(start.toLower()));
        FUZZ_CHECK(end.isEmpty() || !result.contains(end.toLower()));
    }
    return 0;
}
