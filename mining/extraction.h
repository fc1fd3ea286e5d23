// Long-tail mining without the window: the result-page address of a keyword, the markers of the
// related-search block, and the extraction of the new keywords of a block with the novelty index.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace Mining {

inline constexpr char16_t SearchHost[] = u"www.baidu.com";
// The related-search block of a result page; the seed page is cut with the same pair.
inline constexpr char16_t BlockStart[] = u"相关搜索</th>";
inline constexpr char16_t BlockEnd[] = u"</table>";
// The end of the opening tag of each related-search link, and the end of the link.
inline constexpr char16_t ItemStart[] = u"&f=1\">";
inline constexpr char16_t ItemEnd[] = u"</a>";
// A contains filter holding this text is switched off.
inline constexpr char16_t FilterOff[] = u"未开启";

// "http://www.baidu.com/s?wd=" followed by the keyword, its bytes in UTF-8 and percent-encoded.
QString resultPageAddress(const QString& keyword);

// Answers "does RunList contain CRLF item CRLF, letter case ignored" without scanning RunList for
// link texts free of CR and LF: it keeps the case-folded entries that stand between two CRLF.
// Link texts that hold CR or LF are answered by the scan itself.
class NoveltyIndex
{
public:
    void reset(const QString& runList);
    // Keeps the index in step with RunList after text was appended to it.
    void append(const QString& appended);
    bool isKnown(const QString& runList, const QString& item) const;

    // Length of the RunList the index describes, to notice a RunList written from elsewhere.
    qsizetype indexedLength() const { return indexedLength_; }

    static bool isKnownByScan(const QString& runList, const QString& item);
    static QString foldKey(QStringView text);

private:
    QSet<QString> entries_;
    QString tail_;              // RunList after its last CRLF: not yet closed by a CRLF
    bool tailOpened_ = false;   // the tail is preceded by a CRLF
    qsizetype indexedLength_ = 0;
};

struct ExtractionSettings
{
    qint32 minLength = 0;
    // The words a new keyword must hold and must not hold (WordFilter::parse): "减肥 方法 -药".
    QString containsFilter;
};

// What one block gives: the new keywords, each followed by CRLF, and how many there are.
struct Extraction
{
    QString keywords;
    int count = 0;
};

// Scans the block for link texts between the item markers. Every line break inside a link text
// first becomes one space (LineBreaks::breaksAsSpaces), so that a keyword is one line of the list;
// the rules see it so. A link text no longer than minLength ends the scan; one that fails the
// contains filter (lacks one of its words or holds one of its minus words) or that isKnown reports
// is passed over; every other one is new. Two equal link texts in one block are both new, as isKnown
// reads RunList as it was before the block.
Extraction extractNewKeywords(const QString& block, const QString& itemStart, const QString& itemEnd,
                              const ExtractionSettings& settings,
                              const std::function<bool(const QString&)>& isKnown);

// The same rules for the words of a newer page layout, in page order: a word no longer than
// minLength ends the scan, one that fails the filter or is known is passed over.
Extraction extractNewWords(const QStringList& words, const ExtractionSettings& settings,
                           const std::function<bool(const QString&)>& isKnown);

// What a result page offers: the classic related-search block cut with the given markers, or,
// when that block holds no item at all (no item start marker followed by an item end marker), an
// empty block and the words of the newer layouts (mining/relatedlayouts.h). A block whose items
// are all known or filtered out is still the block.
struct RelatedSearches
{
    QString classicBlock;
    QStringList words;
};
RelatedSearches relatedSearches(const QString& page, const QString& blockStart, const QString& blockEnd);

} // namespace Mining
