// Extraction of new related keywords and the index behind the novelty test.
#include "mining/extraction.h"

#include "mining/relatedlayouts.h"
#include "platform/codepage.h"
#include "text/linebreaks.h"
#include "text/module1.h"
#include "text/wordfilter.h"

using namespace Qt::StringLiterals;

namespace Mining {

QString resultPageAddress(const QString& keyword)
{
    return u"http://"_s + QStringView(SearchHost) + u"/s?wd="
        + QString::fromLatin1(CodePage::percentEncodeUtf8(keyword));
}

QString NoveltyIndex::foldKey(QStringView text)
{
    // The same simple case folding, code point by code point, as QString's case-insensitive search.
    // A lone surrogate stays itself, as that search compares it (toUcs4 would make it U+FFFD).
    QString key;
    key.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        const char32_t folded = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(folded)) {
            key += QChar(QChar::highSurrogate(folded));
            key += QChar(QChar::lowSurrogate(folded));
        } else {
            key += QChar(char16_t(folded));
        }
    }
    return key;
}

void NoveltyIndex::reset(const QString& runList)
{
    entries_.clear();
    tail_.clear();
    tailOpened_ = false;
    indexedLength_ = 0;
    append(runList);
}

void NoveltyIndex::append(const QString& appended)
{
    tail_ += appended;
    indexedLength_ += appended.size();
    const QStringView text(tail_);
    qsizetype from = 0;
    for (;;) {
        const qsizetype crlf = text.indexOf(u"\r\n", from);
        if (crlf < 0)
            break;
        if (tailOpened_)
            entries_.insert(foldKey(text.mid(from, crlf - from)));
        tailOpened_ = true;
        from = crlf + 2;
    }
    tail_.remove(0, from);
}

bool NoveltyIndex::isKnownByScan(const QString& runList, const QString& item)
{
    return runList.contains(u"\r\n" + item + u"\r\n", Qt::CaseInsensitive);
}

bool NoveltyIndex::isKnown(const QString& runList, const QString& item) const
{
    if (item.contains(u'\r') || item.contains(u'\n'))
        return isKnownByScan(runList, item);
    return entries_.contains(foldKey(item));
}

namespace {

// Passes one link text or word through the rules; false when it ends the scan.
class NewKeywordRules
{
public:
    NewKeywordRules(const ExtractionSettings& settings, const std::function<bool(const QString&)>& isKnown)
        : settings_(settings)
        , isKnown_(isKnown)
        , filterOn_(!settings.containsFilter.contains(QStringView(FilterOff)))
        , filterWords_(filterOn_ ? WordFilter::parse(settings.containsFilter) : WordFilter::Words())
    {
    }

    bool offer(const QString& item)
    {
        // A line break inside a keyword would split it into two lines of the list.
        const QString keyword = LineBreaks::breaksAsSpaces(item);
        if (keyword.size() <= settings_.minLength)
            return false;
        const bool passesFilter = !filterOn_ || WordFilter::matches(keyword, filterWords_);
        if (passesFilter && !isKnown_(keyword)) {
            ++found.count;
            found.keywords += keyword + u"\r\n";
        }
        return true;
    }

    Extraction found;

private:
    const ExtractionSettings& settings_;
    const std::function<bool(const QString&)>& isKnown_;
    const bool filterOn_;
    const WordFilter::Words filterWords_;
};

} // namespace

Extraction extractNewKeywords(const QString& block, const QString& itemStart, const QString& itemEnd,
                              const ExtractionSettings& settings,
                              const std::function<bool(const QString&)>& isKnown)
{
    NewKeywordRules rules(settings, isKnown);
    const QStringView all(block);
    qsizetype rest = 0;
    for (;;) {
        const qsizetype start = all.indexOf(itemStart, rest, Qt::CaseInsensitive);
        if (start < 0 || all.indexOf(itemEnd, rest, Qt::CaseInsensitive) < 0)
            return rules.found;
        const qsizetype itemFrom = start + itemStart.size();
        const qsizetype end = all.indexOf(itemEnd, itemFrom, Qt::CaseInsensitive);
        const qsizetype length = end < 0 ? 0 : end - itemFrom;
        if (!rules.offer(block.mid(itemFrom, length)))
            return rules.found;
        // An empty start marker with an empty link text would find the same place for ever.
        if (length == 0 && itemStart.isEmpty())
            return rules.found;
        rest = itemFrom + length;
    }
}

Extraction extractNewWords(const QStringList& words, const ExtractionSettings& settings,
                           const std::function<bool(const QString&)>& isKnown)
{
    NewKeywordRules rules(settings, isKnown);
    for (const QString& word : words) {
        if (!rules.offer(word))
            break;
    }
    return rules.found;
}

RelatedSearches relatedSearches(const QString& page, const QString& blockStart, const QString& blockEnd)
{
    RelatedSearches offered;
    offered.classicBlock = Module1::TextBetween(page, blockStart, blockEnd);
    // A page as the web engine holds it after loading writes the "&" of every link address as "&amp;",
    // so its links end "&amp;f=1\">", which is the raw page's item marker.
    static const QString escapedItemStart = QString::fromUtf16(ItemStart).replace(u"&"_s, u"&amp;"_s);
    offered.classicBlock.replace(escapedItemStart, QString::fromUtf16(ItemStart), Qt::CaseInsensitive);
    // The 2011 page has the block, but its links end "&amp;f=1&amp;rsv_ers=xdt0\">": the block gives
    // nothing, and the same words stand in its <div id="rs">.
    const qsizetype itemStart = offered.classicBlock.indexOf(QStringView(ItemStart), 0, Qt::CaseInsensitive);
    const bool holdsItem = itemStart >= 0
        && offered.classicBlock.indexOf(QStringView(ItemEnd), itemStart + QStringView(ItemStart).size(),
                                        Qt::CaseInsensitive) >= 0;
    if (!holdsItem) {
        offered.classicBlock.clear();
        offered.words = todaysRelatedWords(page);
    }
    return offered;
}

} // namespace Mining
