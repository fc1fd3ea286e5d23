// The words a search box drops down while a keyword is typed (下拉词), one row per suggestion
// service, the way mining/relatedlayouts.h keeps one row per result-page layout: another engine's
// suggestions are one more row.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace Mining {

struct SuggestionSource
{
    const char16_t* name;
    // The address that asks the service for the suggestions of a keyword.
    QString (*address)(const QString& keyword);
    // The words of an answer, in the service's order, each normalizedWord'ed, empty ones left out;
    // none for anything that is not the service's answer.
    QStringList (*read)(QStringView answer);
};

// Baidu's sugrec: "http://www.baidu.com/sugrec?ie=utf-8&json=1&prod=pc&wd=" and the keyword as in
// resultPageAddress; the answer is JSON, or JSONP "name({...})" with or without ';':
// {"q":"...","p":false,"g":[{"type":"sug","sa":"s_1","q":"WORD"},...],...}. The words are the "q"
// strings of the elements of "g" whose "type" is "sug" or absent.
const QList<SuggestionSource>& suggestionSources();

// The row the mining run uses.
const SuggestionSource& activeSuggestionSource();

// The address and the words of the row in use.
QString suggestionAddress(const QString& keyword);
QStringList suggestionWords(QStringView answer);

} // namespace Mining
