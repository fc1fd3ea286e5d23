// Today's hot-list answers are any text from the network. Whatever arrives, both readers return,
// the keyword list they give holds one clean keyword per line, a JSONP wrapping reads as the JSON
// it wraps, and appending keeps the old list whole in front of the new keywords.
#include "fuzzinput.h"
#include "hotwords/hotwords.h"

using namespace Qt::StringLiterals;

namespace {

void checkKeywordList(const QStringList& words, const QString& list)
{
    if (list.isEmpty())
        return;
    FUZZ_CHECK(list.endsWith(u"\r\n"_s));
    const QStringList keywords = list.chopped(2).split(u"\r\n"_s);
    FUZZ_CHECK(keywords.size() <= words.size());
    for (const QString& keyword : keywords) {
        FUZZ_CHECK(!keyword.isEmpty());
        FUZZ_CHECK(!keyword.contains(u'\r') && !keyword.contains(u'\n'));
        FUZZ_CHECK_EQUAL(keyword, keyword.simplified());
        FUZZ_CHECK_EQUAL(keyword, keyword.toLower());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QString list = input.text(256);
    const QString answer = input.text(4096);

    const QStringList board = HotWords::baiduBoardWords(answer);
    const QStringList ranks = HotWords::sogouRankWords(answer);
    const QString boardList = HotWords::keywordList(board);
    checkKeywordList(board, boardList);
    checkKeywordList(ranks, HotWords::keywordList(ranks));

    // A JSONP name around a JSON text changes nothing.
    const QStringView trimmed = QStringView(answer).trimmed();
    if (trimmed.startsWith(u'{') || trimmed.startsWith(u'[')) {
        FUZZ_CHECK(HotWords::baiduBoardWords(QString(u"cb("_s + answer + u");"_s)) == board);
        FUZZ_CHECK(HotWords::sogouRankWords(QString(u"cb("_s + answer + u")"_s)) == ranks);
    }

    const QString appended = HotWords::appendKeywords(list, boardList);
    FUZZ_CHECK(appended.startsWith(list) && appended.endsWith(boardList));
    const QString between = appended.mid(list.size(), appended.size() - list.size() - boardList.size());
    if (list.isEmpty() || boardList.isEmpty() || list.endsWith(u"\r\n"_s))
        FUZZ_CHECK(between.isEmpty());
    else
        FUZZ_CHECK_EQUAL(between, u"\r\n"_s);
    return 0;
}
