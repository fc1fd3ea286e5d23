// Extraction of new related keywords and the index behind the novelty test.
#include "mining/extraction.h"

#include "platform/codepage.h"

using namespace Qt::StringLiterals;

namespace Mining {

QString resultPageAddress(const QString& keyword)
{
    return u"http://"_s + QStringView(SearchHost) + u"/s?wd="
        + QString::fromLatin1(CodePage::percentEncodeGbk(keyword));
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

Extraction extractNewKeywords(const QString& block, const QString& itemStart, const QString& itemEnd,
                              const ExtractionSettings& settings,
                              const std::function<bool(const QString&)>& isKnown)
{
    Extraction out;
    const QStringView all(block);
    const bool filterOn = !settings.containsFilter.contains(QStringView(FilterOff));
    qsizetype rest = 0;
    for (;;) {
        const qsizetype start = all.indexOf(itemStart, rest, Qt::CaseInsensitive);
        if (start < 0 || all.indexOf(itemEnd, rest, Qt::CaseInsensitive) < 0)
            return out;
        const qsizetype itemFrom = start + itemStart.size();
        const qsizetype end = all.indexOf(itemEnd, itemFrom, Qt::CaseInsensitive);
        const qsizetype length = end < 0 ? 0 : end - itemFrom;
        if (length <= settings.minLength)
            return out;
        const QString item = block.mid(itemFrom, length);
        const bool passesFilter = !filterOn || item.contains(settings.containsFilter, Qt::CaseInsensitive);
        if (passesFilter && !isKnown(item)) {
            ++out.count;
            out.keywords += item + u"\r\n";
        }
        // An empty start marker with an empty link text would find the same place for ever.
        if (length == 0 && itemStart.isEmpty())
            return out;
        rest = itemFrom + length;
    }
}

} // namespace Mining
