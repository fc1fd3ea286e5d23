// Reading the answers of the search box's suggestion service. The answer is read whole or not at
// all: a cut or broken document gives no words rather than the words before the break.
#include "mining/suggestions.h"

#include "mining/extraction.h"
#include "mining/relatedlayouts.h"
#include "platform/codepage.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Mining {

namespace {

QStringView trimmedAnswer(QStringView text)
{
    text = text.trimmed();
    // A byte order mark that the decoding left in front of the document.
    while (text.startsWith(u'\uFEFF'))
        text = text.mid(1).trimmed();
    return text;
}

bool isCallbackCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
        || c == u'$' || c == u'.';
}

// The JSON object of an answer: the answer itself, or what a JSONP callback "name(...)" or
// "name(...);" wraps; empty when the answer is neither.
QStringView jsonOfAnswer(QStringView answer)
{
    answer = trimmedAnswer(answer);
    if (answer.startsWith(u'{'))
        return answer;
    if (answer.isEmpty() || !isCallbackCharacter(answer.front()) || answer.front().isDigit()
        || answer.front() == u'.')
        return {};
    qsizetype nameEnd = 0;
    while (nameEnd < answer.size() && isCallbackCharacter(answer[nameEnd]))
        ++nameEnd;
    QStringView call = answer.mid(nameEnd).trimmed();
    if (!call.startsWith(u'('))
        return {};
    call = call.mid(1);
    if (call.endsWith(u';'))
        call = call.chopped(1).trimmed();
    if (!call.endsWith(u')'))
        return {};
    const QStringView json = call.chopped(1).trimmed();
    return json.startsWith(u'{') ? json : QStringView();
}

QString baiduSugrecAddress(const QString& keyword)
{
    return u"http://"_s + QStringView(SearchHost) + u"/sugrec?ie=utf-8&json=1&prod=pc&wd="
        + QString::fromLatin1(CodePage::percentEncodeUtf8(keyword));
}

QStringList readBaiduSugrec(QStringView answer)
{
    const QStringView json = jsonOfAnswer(answer);
    if (json.isEmpty())
        return {};
    QStringList words;
    for (const QJsonValue& element : arrayOfJsonObject(json, u"g")) {
        // Elements of another type are not suggested searches; one that is no object has neither
        // type nor word.
        const QJsonObject item = element.toObject();
        const QJsonValue type = item.value(u"type"_s);
        if (!type.isUndefined() && type != QJsonValue(u"sug"_s))
            continue;
        const QJsonValue word = item.value(u"q"_s);
        if (!word.isString())
            continue;
        QString normalized = normalizedWord(word.toString());
        if (!normalized.isEmpty())
            words << std::move(normalized);
    }
    return words;
}

} // namespace

const QList<SuggestionSource>& suggestionSources()
{
    static const QList<SuggestionSource> sources = {
        {u"百度下拉词 sugrec", baiduSugrecAddress, readBaiduSugrec},
    };
    return sources;
}

const SuggestionSource& activeSuggestionSource()
{
    return suggestionSources().front();
}

QString suggestionAddress(const QString& keyword)
{
    return activeSuggestionSource().address(keyword);
}

QStringList suggestionWords(QStringView answer)
{
    return activeSuggestionSource().read(answer);
}

} // namespace Mining
