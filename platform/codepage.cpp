// Page decoding by declared charset, GBK output with a GB18030 fallback, and GBK percent-encoding.
#include "platform/codepage.h"

#include <QList>
#include <QPair>
#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

namespace {

// How far into a page its <meta> charset declaration is looked for.
constexpr qsizetype MetaScanBytes = 8192;

// Texts are encoded in pieces of about this many UTF-16 units, so that one character GBK cannot
// hold only sends its own piece down the slow character-by-character path.
constexpr qsizetype EncodeChunk = 4096;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

QByteArray unquote(QByteArray value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2).trimmed();
    else if (!value.isEmpty() && (value.front() == '"' || value.front() == '\''))
        value = value.mid(1).trimmed();
    return value;
}

// Reads the attributes of the tag whose name ends at pos in lower-cased markup; stops after '>'.
QList<QPair<QByteArray, QByteArray>> readAttributes(const QByteArray& html, qsizetype pos)
{
    QList<QPair<QByteArray, QByteArray>> attributes;
    const qsizetype end = html.size();
    while (pos < end) {
        while (pos < end && (isSpace(html[pos]) || html[pos] == '/'))
            ++pos;
        if (pos >= end || html[pos] == '>')
            break;
        const qsizetype nameStart = pos;
        while (pos < end && !isSpace(html[pos]) && html[pos] != '=' && html[pos] != '>' && html[pos] != '/')
            ++pos;
        QByteArray name = html.mid(nameStart, pos - nameStart);
        while (pos < end && isSpace(html[pos]))
            ++pos;
        QByteArray value;
        if (pos < end && html[pos] == '=') {
            ++pos;
            while (pos < end && isSpace(html[pos]))
                ++pos;
            if (pos < end && (html[pos] == '"' || html[pos] == '\'')) {
                const char quote = html[pos++];
                const qsizetype valueStart = pos;
                while (pos < end && html[pos] != quote)
                    ++pos;
                value = html.mid(valueStart, pos - valueStart);
                if (pos < end)
                    ++pos;
            } else {
                const qsizetype valueStart = pos;
                while (pos < end && !isSpace(html[pos]) && html[pos] != '>')
                    ++pos;
                value = html.mid(valueStart, pos - valueStart);
            }
        }
        if (name.isEmpty()) {
            ++pos; // a stray character such as a lone '=': step over it
            continue;
        }
        attributes.append({ name, value.trimmed() });
    }
    return attributes;
}

QByteArray decoderName(const QByteArray& declared)
{
    const QByteArray name = declared.trimmed().toLower();
    // Pages labelled gb2312 routinely hold GBK-only characters; GBK is a superset, so decode as GBK.
    if (name.isEmpty() || name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "cp936"
        || name == "windows-936" || name == "gb_2312-80" || name == "csgb2312" || name == "euc-cn")
        return QByteArrayLiteral("GBK");
    return name;
}

// Characters in GBK output: a lead byte 0x81-0xFE starts a pair, any other byte stands alone.
qsizetype gbkCharacterCount(const QByteArray& bytes)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < bytes.size(); ++count)
        i += (quint8(bytes[i]) >= 0x81 && quint8(bytes[i]) <= 0xFE) ? 2 : 1;
    return count;
}

qsizetype codePointCount(QStringView text)
{
    qsizetype pairs = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            ++pairs;
            ++i;
        }
    }
    return text.size() - pairs;
}

// GBK writes '?' for a character it cannot hold, and drops a default-ignorable one (a variation
// selector, a zero-width joiner) without a trace. Its trail bytes start at 0x40, so every 0x3F
// byte in its output is either a '?' of the text or such a replacement; a dropped character shows
// as one character fewer. (QStringEncoder::hasError cannot be cleared on an ICU encoder in Qt 6.4,
// so it only serves for the first, whole-text pass.)
bool gbkHeldAll(QStringView text, const QByteArray& bytes)
{
    return bytes.count('?') == text.count(u'?') && gbkCharacterCount(bytes) == codePointCount(text);
}

void appendByCodePoint(QByteArray& out, QStringView text, QStringEncoder& gbk, QStringEncoder& gb18030)
{
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype length
            = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        const QStringView codePoint = text.mid(i, length);
        const QByteArray bytes = gbk.encode(codePoint);
        if (gbkHeldAll(codePoint, bytes))
            out += bytes;
        else
            out += gb18030.encode(codePoint);
        i += length;
    }
}

// The text with each surrogate that is not half of a pair replaced by U+FFFD.
QString withoutLoneSurrogates(QStringView text)
{
    QString out = text.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace

QByteArray charsetFromContentType(const QByteArray& contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const qsizetype eq = parts[i].indexOf('=');
        if (eq < 0)
            continue;
        if (parts[i].left(eq).trimmed().toLower() == "charset")
            return unquote(parts[i].mid(eq + 1)).toLower();
    }
    return {};
}

QByteArray charsetFromMeta(const QByteArray& body)
{
    const QByteArray html = body.left(MetaScanBytes).toLower();
    qsizetype pos = 0;
    while ((pos = html.indexOf("<meta", pos)) >= 0) {
        pos += 5;
        if (pos < html.size() && !isSpace(html[pos]) && html[pos] != '/')
            continue; // a longer tag name such as <metadata>
        QByteArray httpEquiv;
        QByteArray content;
        for (const auto& [name, value] : readAttributes(html, pos)) {
            if (name == "charset" && !unquote(value).isEmpty())
                return unquote(value);
            if (name == "http-equiv")
                httpEquiv = value;
            else if (name == "content")
                content = value;
        }
        if (httpEquiv == "content-type") {
            const QByteArray charset = charsetFromContentType(content);
            if (!charset.isEmpty())
                return charset;
        }
    }
    return {};
}

QString decodePage(const QByteArray& body, const QByteArray& contentType)
{
    QByteArray declared = charsetFromContentType(contentType);
    if (declared.isEmpty())
        declared = charsetFromMeta(body);
    QStringDecoder decoder(decoderName(declared).constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
    return decoder.decode(body);
}

QString decodeJson(const QByteArray& body, const QByteArray& contentType)
{
    const QByteArray declared = charsetFromContentType(contentType);
    QStringDecoder decoder(declared.isEmpty() ? "UTF-8" : decoderName(declared).constData(),
                           QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder("UTF-8", QStringConverter::Flag::Stateless);
    return decoder.decode(body);
}

QByteArray toGbk(const QString& text)
{
    // The encoders drop a lone surrogate, or write it as the control character SUB.
    if (!text.isValidUtf16())
        return toGbk(withoutLoneSurrogates(text));
    QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    QByteArray out = gbk.encode(text);
    if (!gbk.hasError())
        return out;

    QStringEncoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    out.clear();
    out.reserve(text.size() * 2);
    const QStringView view(text);
    qsizetype start = 0;
    while (start < view.size()) {
        qsizetype length = std::min(EncodeChunk, view.size() - start);
        if (start + length < view.size() && view[start + length - 1].isHighSurrogate())
            ++length; // keep a surrogate pair in one piece
        const QStringView piece = view.mid(start, length);
        const QByteArray bytes = gbk.encode(piece);
        if (gbkHeldAll(piece, bytes))
            out += bytes;
        else
            appendByCodePoint(out, piece, gbk, gb18030);
        start += length;
    }
    return out;
}

QByteArray percentEncodeUtf8(const QString& text)
{
    // toPercentEncoding leaves exactly A-Z a-z 0-9 - . _ ~ alone and writes upper-case hex.
    return text.toUtf8().toPercentEncoding();
}

} // namespace CodePage
