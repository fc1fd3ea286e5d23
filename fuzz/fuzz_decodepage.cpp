// Page decoding takes any bytes under any Content-Type. Where the outcome is known it is checked:
// a charset no decoder knows reads as GBK, text in GBK or UTF-8 comes back whole, and ASCII without
// a declaration stays as it is. Then the decoding of dropped files: the same bytes read as UTF-8 and
// as GB18030 equal a plain reader's, character by character; a file without a byte-order mark is
// always read one of those two ways or as UTF-16 in one byte order, unit by unit, and only a file
// with NUL bytes is ever refused; usual Chinese text comes back whole from UTF-8 and from GBK, and
// from either byte order of UTF-16 without a byte-order mark once a line break is in it; any text
// in UTF-16 without a mark reads as a plain UTF-16 reader reads it whenever UTF-16 is chosen.
#include "fuzzinput.h"
#include "platform/codepage.h"
#include "platform/textfile.h"

#include <QStringEncoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// UTF-8 a character at a time: the longest well-formed character Qt's decoder takes without error,
// else one U+FFFD for the longest start that some continuation bytes would make well-formed.
QString plainUtf8(const QByteArray& bytes)
{
    const auto oneCharacter = [](const QByteArray& piece) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        const QString text = decoder.decode(piece);
        return !decoder.hasError() && (text.size() == 1 || (text.size() == 2 && text[0].isHighSurrogate())) ? text
                                                                                                             : QString();
    };
    QString out;
    for (qsizetype i = 0; i < bytes.size();) {
        if (quint8(bytes[i]) < 0x80) {
            out += QChar(char16_t(quint8(bytes[i++])));
            continue;
        }
        qsizetype taken = 0;
        for (qsizetype length = 4; length >= 2 && taken == 0; --length) {
            if (i + length > bytes.size())
                continue;
            const QString character = oneCharacter(bytes.mid(i, length));
            if (!character.isEmpty()) {
                out += character;
                taken = length;
            }
        }
        if (taken > 0) {
            i += taken;
            continue;
        }
        qsizetype start = 1;
        for (qsizetype length = 3; length >= 2 && start == 1; --length) {
            for (qsizetype total = length + 1; total <= 4 && start == 1; ++total) {
                if (i + length <= bytes.size() && !oneCharacter(bytes.mid(i, length) + QByteArray(total - length, '\x80')).isEmpty())
                    start = length;
            }
        }
        out += QChar::ReplacementCharacter;
        i += start;
    }
    return out;
}

// GB18030 a character at a time as Windows reads GBK: 0x80 is the euro sign, each pair and
// four-byte form goes through the GB18030 decoder alone, anything else is one U+FFFD for the longest
// start of a four-byte form. valid tells whether there was no such thing.
QString plainGb18030(const QByteArray& bytes, bool* valid)
{
    QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    const auto at = [&bytes](qsizetype i) { return i < bytes.size() ? int(quint8(bytes[i])) : -1; };
    const auto inRange = [](int b, int low, int high) { return b >= low && b <= high; };
    QString out;
    *valid = true;
    for (qsizetype i = 0; i < bytes.size();) {
        const int lead = at(i);
        if (lead < 0x80) {
            out += QChar(char16_t(lead));
            i += 1;
        } else if (lead == 0x80) {
            out += u'€';
            i += 1;
        } else if (lead != 0xFF && (inRange(at(i + 1), 0x40, 0x7E) || inRange(at(i + 1), 0x80, 0xFE))) {
            out += gb18030.decode(bytes.mid(i, 2));
            i += 2;
        } else if (lead != 0xFF && inRange(at(i + 1), 0x30, 0x39) && inRange(at(i + 2), 0x81, 0xFE)
                   && inRange(at(i + 3), 0x30, 0x39)) {
            out += gb18030.decode(bytes.mid(i, 4));
            i += 4;
        } else {
            *valid = false;
            out += QChar::ReplacementCharacter;
            if (lead != 0xFF && inRange(at(i + 1), 0x30, 0x39))
                i += inRange(at(i + 2), 0x81, 0xFE) ? 3 : 2;
            else
                i += 1;
        }
    }
    return out;
}

// UTF-16 unit by unit, a lone surrogate as it stands.
QString plainUtf16(const QByteArray& bytes, bool littleEndian)
{
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const quint8 first = quint8(bytes[i]);
        const quint8 second = quint8(bytes[i + 1]);
        out += QChar(char16_t(littleEndian ? (second << 8 | first) : (first << 8 | second)));
    }
    return out;
}

QByteArray utf16Bytes(const QString& text, bool littleEndian)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        bytes += littleEndian ? low : high;
        bytes += littleEndian ? high : low;
    }
    return bytes;
}

bool isMarked(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

bool hasNulByte(QChar c)
{
    return (c.unicode() & 0xFF) == 0 || (c.unicode() >> 8) == 0;
}

// What GB2312 holds of usual Chinese text: its 3755 common hanzi, its punctuation and full-width
// rows, the euro sign, ASCII letters, digits, space, CR and LF.
const QString& usualAlphabet()
{
    static const QString alphabet = [] {
        QString text = u"abcXYZ019 ,.-\r\n€"_s;
        QByteArray pairs;
        for (const auto& [from, to] : { std::pair(0xA1, 0xA1), std::pair(0xA3, 0xA3), std::pair(0xB0, 0xD7) }) {
            for (int lead = from; lead <= to; ++lead) {
                for (int trail = 0xA1; trail <= 0xFE; ++trail) {
                    pairs += char(lead);
                    pairs += char(trail);
                }
            }
        }
        QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        for (const QChar c : QString(gb18030.decode(pairs))) {
            if (c.category() != QChar::Other_PrivateUse)
                text += c;
        }
        return text;
    }();
    return alphabet;
}

void checkFileDecoding(const QByteArray& body, const QString& text)
{
    bool validGb = true;
    const QString asUtf8 = plainUtf8(body);
    const QString asGb = plainGb18030(body, &validGb);
    FUZZ_CHECK_EQUAL(TextFile::decodeUtf8(body), asUtf8);
    FUZZ_CHECK_EQUAL(TextFile::decodeGb18030(body), asGb);

    const TextFile::ReadResult read = TextFile::fromBytes(body);
    const bool marked = isMarked(body);
    const bool even = body.size() % 2 == 0;
    const bool asUtf16 = even && (read.text == plainUtf16(body, true) || read.text == plainUtf16(body, false));
    if (!marked) {
        if (read.refusal != TextFile::Refusal::None) {
            FUZZ_CHECK(read.refusal == TextFile::Refusal::NotText && body.contains('\0'));
        } else if (body.contains('\0')) {
            FUZZ_CHECK(asUtf16 && !read.text.contains(QChar(u'\0')));
        } else {
            FUZZ_CHECK(read.text == asUtf8 || read.text == asGb || asUtf16);
            QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = utf8.decode(body); // the decoder only decodes when its result is taken
            if (!utf8.hasError() && !validGb)
                FUZZ_CHECK_EQUAL(read.text, asUtf8);
        }
    }

    // The fuzzer's text as UTF-16 without a mark, in both byte orders: a NUL character refuses it;
    // read otherwise, it is one of the 8-bit readings or the plain UTF-16 reading of one order.
    for (const bool littleEndian : { true, false }) {
        const QByteArray units = utf16Bytes(text, littleEndian);
        if (!isMarked(units)) {
            const TextFile::ReadResult unmarked = TextFile::fromBytes(units);
            bool unitsValidGb = true;
            if (text.contains(QChar(u'\0'))) {
                FUZZ_CHECK(unmarked.refusal == TextFile::Refusal::NotText);
            } else if (unmarked.refusal != TextFile::Refusal::None) {
                FUZZ_CHECK(units.contains('\0'));
            } else if (unmarked.text != plainUtf8(units) && unmarked.text != plainGb18030(units, &unitsValidGb)) {
                FUZZ_CHECK(unmarked.text == plainUtf16(units, true) || unmarked.text == plainUtf16(units, false));
            }
        }
    }

    // The fuzzer's text made of usual characters: UTF-8 and GBK both bring it back. UTF-8 does once
    // there is a character of three bytes in it: "÷" alone is C3 B7 in UTF-8, and "梅" is that in GBK.
    QString usual;
    for (const QChar c : text)
        usual += usualAlphabet().at(c.unicode() % usualAlphabet().size());
    const bool twoByteOnly = std::all_of(usual.begin(), usual.end(), [](QChar c) { return c.unicode() < 0x800; })
        && std::any_of(usual.begin(), usual.end(), [](QChar c) { return c.unicode() >= 0x80; });
    if (!twoByteOnly)
        FUZZ_CHECK_EQUAL(TextFile::fromBytes(usual.toUtf8()).text, usual);
    const QByteArray gbk = CodePage::toGbk(usual);
    FUZZ_CHECK_EQUAL(TextFile::fromBytes(gbk).text, plainGb18030(gbk, &validGb));

    // The same usual text as long-tail lines in UTF-16 without a mark: its line breaks put NUL bytes
    // where the byte order wants them. Characters with a NUL byte of their own (一, 最) are left
    // out here: a line of nothing but them reads as well the other way round ("N", "g").
    QString lines;
    for (const QChar c : usual) {
        if (!hasNulByte(c) || c.unicode() < 0x80)
            lines += c;
    }
    lines += u"\r\n";
    FUZZ_CHECK_EQUAL(TextFile::fromBytes(utf16Bytes(lines, true)).text, lines);
    FUZZ_CHECK_EQUAL(TextFile::fromBytes(utf16Bytes(lines, false)).text, lines);

    // ASCII in every other unit, and units without a NUL byte between: UTF-16 without its mark.
    QString halfAscii;
    for (qsizetype i = 0; i < text.size(); ++i) {
        halfAscii += QChar(char16_t(u'a' + i % 26));
        halfAscii += QChar(char16_t((text[i].unicode() % 0xD000) | 0x0101));
    }
    QByteArray littleEndian;
    QByteArray bigEndian;
    for (const QChar c : halfAscii) {
        littleEndian += char(c.unicode() & 0xFF);
        littleEndian += char(c.unicode() >> 8);
        bigEndian += char(c.unicode() >> 8);
        bigEndian += char(c.unicode() & 0xFF);
    }
    FUZZ_CHECK_EQUAL(TextFile::fromBytes(littleEndian).text, halfAscii);
    FUZZ_CHECK_EQUAL(TextFile::fromBytes(bigEndian).text, halfAscii);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const QByteArray contentType = input.flag() ? QByteArray("text/html; charset=" + input.bytes(32)) : input.bytes(64);
    const QString text = input.text(4096);
    const QByteArray body = input.restAsBytes();
    checkFileDecoding(body, text);

    const QString decoded = CodePage::decodePage(body, contentType);
    const QByteArray declared = CodePage::charsetFromContentType(contentType);
    FUZZ_CHECK(declared == declared.toLower());
    const QByteArray meta = CodePage::charsetFromMeta(body);

    if (!declared.isEmpty() && !QStringDecoder(declared.constData()).isValid())
        FUZZ_CHECK_EQUAL(decoded, CodePage::decodePage(body, "text/html; charset=gbk"));
    bool ascii = true;
    for (char c : body)
        ascii = ascii && quint8(c) < 0x80;
    if (ascii && declared.isEmpty() && meta.isEmpty())
        FUZZ_CHECK_EQUAL(decoded, QString::fromLatin1(body));

    if (!text.isValidUtf16() || text.startsWith(QChar(0xFEFF)))
        return 0;
    // The header wins over anything the page declares.
    FUZZ_CHECK_EQUAL(CodePage::decodePage(text.toUtf8(), "text/html; charset=utf-8"), text);
    QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    const QByteArray gbkBytes = gbk.encode(text);
    if (!gbk.hasError() && CodePage::charsetFromMeta(gbkBytes).isEmpty()) {
        FUZZ_CHECK(CodePage::toGbk(text) == gbkBytes);
        FUZZ_CHECK_EQUAL(CodePage::decodePage(gbkBytes), text);
    }
    return 0;
}
