// The one place where bytes become text and text becomes bytes: page decoding, GBK output,
// and the percent-encoding of a keyword in a search address.
#pragma once

#include <QByteArray>
#include <QString>

namespace CodePage {

// The charset named by a Content-Type header value ("text/html; charset=utf-8"), or empty.
QByteArray charsetFromContentType(const QByteArray& contentType);

// The charset declared by the page's own <meta charset=...> or
// <meta http-equiv="Content-Type" content="...; charset=..."> near its start, or empty.
QByteArray charsetFromMeta(const QByteArray& body);

// Page bytes to text: the header's charset wins, then the page's <meta>, otherwise GBK.
// Names that no decoder knows fall back to GBK. Invalid bytes never stop the decoding.
QString decodePage(const QByteArray& body, const QByteArray& contentType = {});

// A JSON answer's bytes to text: the header's charset wins, otherwise UTF-8, the charset of JSON.
QString decodeJson(const QByteArray& body, const QByteArray& contentType = {});

// Text to the system code page: GBK bytes for every character GBK holds, and the GB18030
// four-byte form for the characters it cannot hold, so that nothing becomes a question mark. A lone
// surrogate is no character at all: it is written as U+FFFD, the replacement character, in its
// four-byte form 84 31 A4 37.
QByteArray toGbk(const QString& text);

// Bytes in UTF-8, every byte outside A-Z a-z 0-9 - . _ ~ as %XX: how today's search engine reads
// the keyword of a result-page address.
QByteArray percentEncodeUtf8(const QString& text);

} // namespace CodePage
