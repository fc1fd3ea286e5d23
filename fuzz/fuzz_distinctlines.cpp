// DistinctLines with its hash set against the search of the result built so far (both the
// library's and one written here with QString::split), and applied twice.
#include "fuzzinput.h"
#include "text/listtransforms_reference.h"
#include "text/module1.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

bool isBlank(const QString& item)
{
    for (QChar c : item) {
        if (c != u' ')
            return false;
    }
    return true;
}

QString literalDistinctLines(const QString& text, const QString& separator)
{
    QString result = separator;
    for (const QString& item : Fuzz::items(text, separator)) {
        if (!isBlank(item) && !result.contains(separator + item + separator))
            result += item + separator;
    }
    return result;
}


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QString separator = input.flag() ? input.text(8) : u"\r\n"_s;
    const QString text = input.text(1 << 20);

    const QString result = Module1::DistinctLines(text, separator);
    FUZZ_CHECK_EQUAL(result, Module1::DistinctLinesBySearch(text, separator));
    FUZZ_CHECK_EQUAL(result, literalDistinctLines(text, separator));
    FUZZ_CHECK(result.startsWith(separator) && result.endsWith(separator));
    if (Fuzz::hasNoBorder(separator))
        FUZZ_CHECK_EQUAL(Module1::DistinctLines(result, separator), result);
    return 0;
}
