// The extraction of new keywords with the novelty index: the index answers exactly as the scan of
// RunList, whether it was built in one go or grown piece by piece, and the extraction equals the
// rule followed step by step with the scan.
#include "fuzzinput.h"
#include "mining/extraction.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

Mining::Extraction literalExtraction(const QString& block, const QString& start, const QString& end,
                                     const Mining::ExtractionSettings& settings, const QString& runList)
{
    Mining::Extraction out;
    const bool filterOff = settings.containsFilter.contains(QStringView(Mining::FilterOff));
    QString rest = block;
    for (;;) {
        if (!rest.contains(start, Qt::CaseInsensitive) || !rest.contains(end, Qt::CaseInsensitive))
            return out;
        rest = rest.mid(rest.indexOf(start, 0, Qt::CaseInsensitive) + start.size());
        const qsizetype at = rest.indexOf(end, 0, Qt::CaseInsensitive);
        const QString item = at < 0 ? QString() : rest.left(at);
        if (item.size() <= settings.minLength)
            return out;
        if ((filterOff || item.contains(settings.containsFilter, Qt::CaseInsensitive))
            && !Mining::NoveltyIndex::isKnownByScan(runList, item)) {
            ++out.count;
            out.keywords += item + u"\r\n";
        }
        // The rule would find the same empty item at the same place for ever; the program stops.
        if (item.isEmpty() && start.isEmpty())
            return out;
        rest = rest.mid(item.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const bool realMarkers = input.flag();
    const bool filterOff = input.flag();
    const int pieceCount = input.number(0, 6);
    Mining::ExtractionSettings settings;
    settings.minLength = input.number(-2, 6);

    QString runList;
    Mining::NoveltyIndex grown;
    grown.reset(QString());
    for (int i = 0; i < pieceCount; ++i) {
        const QString piece = input.text(256);
        runList += piece;
        grown.append(piece);
    }
    Mining::NoveltyIndex whole;
    whole.reset(runList);
    FUZZ_CHECK(grown.indexedLength() == runList.size() && whole.indexedLength() == runList.size());

    const auto agree = [&](const QString& item) {
        const bool known = Mining::NoveltyIndex::isKnownByScan(runList, item);
        if (grown.isKnown(runList, item) != known || whole.isKnown(runList, item) != known) {
            std::fprintf(stderr, "item %s, RunList %s, scan says %d\n", Fuzz::printable(item).constData(),
                         Fuzz::printable(runList).constData(), int(known));
            Fuzz::fail("the novelty index agrees with the scan", __FILE__, __LINE__);
        }
        return known;
    };
    // Every entry of RunList, and the same in other letter cases, must be found as the scan finds it.
    for (const QString& entry : runList.split(u"\r\n"_s)) {
        agree(entry);
        agree(entry.toUpper());
        agree(entry.toLower());
    }

    const QString start = realMarkers ? QString::fromUtf16(Mining::ItemStart) : input.text(16);
    const QString end = realMarkers ? QString::fromUtf16(Mining::ItemEnd) : input.text(16);
    settings.containsFilter = filterOff ? QString::fromUtf16(Mining::FilterOff) : input.text(16);
    const QString block = input.text(1 << 20);
    agree(block);

    const Mining::Extraction found = Mining::extractNewKeywords(block, start, end, settings, agree);
    if (Fuzz::beginsWithLowSurrogate(start) || Fuzz::beginsWithLowSurrogate(end))
        return 0;
    const Mining::Extraction expected = literalExtraction(block, start, end, settings, runList);
    FUZZ_CHECK_EQUAL(found.keywords, expected.keywords);
    FUZZ_CHECK(found.count == expected.count);
    return 0;
}
