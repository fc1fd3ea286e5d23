// The list commands' filters: keep-containing and drop-containing split the entries between them
// in order, the length filter keeps exactly the longer entries, the spaces trim removes only
// U+0020 at the ends, and a typed limit is read as the number rounded down.
#include "fuzzinput.h"
#include "listtools/listcommands.h"

#include <QStringList>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

QStringList entries(const QString& list)
{
    if (list.isEmpty())
        return {};
    return list.split(u"\r\n"_s, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

// A number as a user might type it, and what rounding it down gives (0 outside 32 bits).
QString typedNumber(Fuzz::Input& input, qint32* expected)
{
    const bool negative = input.flag();
    const qint64 whole = input.number<qint64>(0, qint64(std::numeric_limits<qint32>::max()) + 2);
    QString fraction;
    for (int digits = input.number(0, 4); digits > 0; --digits)
        fraction += QChar(u'0' + input.number(0, 9));
    const bool fractionPart = !fraction.isEmpty() && fraction.count(u'0') != fraction.size();
    const qint64 value = negative ? -whole - (fractionPart ? 1 : 0) : whole;
    *expected = (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        ? 0
        : qint32(value);
    QString text = QString(input.number(0, 2), u' ') + (negative ? u"-"_s : QString()) + QString::number(whole);
    if (!fraction.isEmpty() || input.flag())
        text += u'.' + fraction;
    return text + QString(input.number(0, 2), u' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const qint32 limit = input.flag() ? input.number(-3, 8) : input.provider().ConsumeIntegral<qint32>();
    qint32 expectedLimit = 0;
    const QString number = typedNumber(input, &expectedLimit);
    const QString filterBox = input.text(32);
    const QString list = input.text(1 << 20);

    FUZZ_CHECK(ListCommands::lengthLimitFromText(number) == expectedLimit);

    const QString filter = ListCommands::trimSpaces(filterBox);
    FUZZ_CHECK(!filter.startsWith(u' ') && !filter.endsWith(u' '));
    const qsizetype lead = filterBox.indexOf(filter);
    FUZZ_CHECK(lead >= 0);
    for (qsizetype i = 0; i < filterBox.size(); ++i)
        FUZZ_CHECK((i >= lead && i < lead + filter.size()) || filterBox.at(i) == u' ');

    QString kept;
    QString dropped;
    QString longer;
    for (const QString& entry : entries(list)) {
        (entry.contains(filter, Qt::CaseInsensitive) ? kept : dropped) += entry + u"\r\n";
        if (entry.size() > limit)
            longer += entry + u"\r\n";
    }
    if (!filter.isEmpty()) {
        FUZZ_CHECK_EQUAL(ListCommands::keepContaining(list, filter), kept);
        FUZZ_CHECK_EQUAL(ListCommands::dropContaining(list, filter), dropped);
    }
    FUZZ_CHECK_EQUAL(ListCommands::keepLongerThan(list, limit), longer);
    return 0;
}
