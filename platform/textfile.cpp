// Keyword files from disk: the refusals, and decoding by byte-order mark, or by whether the bytes
// read better as UTF-8, as GB18030 or as UTF-16, whose byte order the NUL bytes tell.
#include "platform/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace TextFile {

namespace {

// The reading of a file is judged on this much of it, from its first byte above ASCII on.
constexpr qsizetype SampleBytes = 65536;

bool startsWith(QByteArrayView bytes, const char* mark, qsizetype length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), mark, size_t(length)) == 0;
}

const quint8* data(QByteArrayView bytes)
{
    return reinterpret_cast<const quint8*>(bytes.data());
}

// One character of UTF-8 at p, or one invalid sequence: the longest start of a well-formed
// character there, at least one byte (the "maximal subpart" of the Unicode standard).
struct Utf8Step
{
    int length;
    bool valid;
    char32_t codePoint;
};

Utf8Step utf8Step(const quint8* p, qsizetype available)
{
    const quint8 lead = p[0];
    if (lead < 0x80)
        return { 1, true, lead };
    int trailing;
    char32_t codePoint;
    quint8 low = 0x80;
    quint8 high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return { 1, false, 0 };
    }
    int length = 1;
    for (int k = 0; k < trailing; ++k) {
        if (length >= available || p[length] < low || p[length] > high)
            return { length, false, 0 };
        codePoint = codePoint << 6 | (p[length] & 0x3F);
        ++length;
        low = 0x80;
        high = 0xBF;
    }
    return { length, true, codePoint };
}

// One character of GB18030 at p: a byte below 0x80, 0x80 alone (the euro sign of Windows' GBK), a
// pair, a four-byte form, or one invalid sequence (the longest start of a four-byte form, or one byte).
enum class GbKind { Single, Euro, Pair, Four, Invalid };

struct GbStep
{
    int length;
    GbKind kind;
};

GbStep gbStep(const quint8* p, qsizetype available)
{
    const quint8 lead = p[0];
    if (lead < 0x80)
        return { 1, GbKind::Single };
    if (lead == 0x80)
        return { 1, GbKind::Euro };
    if (lead == 0xFF || available < 2)
        return { 1, GbKind::Invalid };
    const quint8 second = p[1];
    if (second >= 0x40 && second <= 0xFE && second != 0x7F)
        return { 2, GbKind::Pair };
    if (second < 0x30 || second > 0x39)
        return { 1, GbKind::Invalid };
    if (available < 3 || p[2] < 0x81 || p[2] > 0xFE)
        return { 2, GbKind::Invalid };
    if (available < 4 || p[3] < 0x30 || p[3] > 0x39)
        return { 3, GbKind::Invalid };
    return { 4, GbKind::Four };
}

bool isValidGb18030(QByteArrayView bytes)
{
    const quint8* p = data(bytes);
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const GbStep step = gbStep(p + i, size - i);
        if (step.kind == GbKind::Invalid)
            return false;
        i += step.length;
    }
    return true;
}

// What a character above ASCII costs a reading: the usual ones of Chinese text little, rare
// ideographs and other scripts more, an invalid sequence most. UTF-8 read as GB18030 gives rare
// ideographs and private-use characters; GBK read as UTF-8 gives Cyrillic, Greek and invalid bytes.
enum Cost : quint8 {
    Ascii = 0,
    Usual = 2,         // GB2312's 3755 common hanzi, its punctuation and full-width rows, the euro sign
    LessUsual = 3,     // GB2312's other 3008 hanzi
    RareIdeograph = 4, // any other CJK ideograph
    RareScript = 5,    // everything else: Cyrillic, Greek, box drawing, private use...
    Invalid = 8,       // U+FFFD
};

// Indexed by UTF-16 unit; characters beyond the BMP are costed apart.
using CostTable = std::array<quint8, 0x10000>;

// Gives the characters of the GB18030 pairs with leads leadFrom to leadTo and trails A1 to FE the
// cost, the ideographs only or everything but private-use characters.
void markPairs(CostTable& table, int leadFrom, int leadTo, Cost cost, bool ideographsOnly)
{
    QByteArray pairs;
    for (int lead = leadFrom; lead <= leadTo; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            pairs += char(lead);
            pairs += char(trail);
        }
    }
    for (const QChar c : decodeGb18030(pairs)) {
        const bool ideograph = c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF;
        if (ideographsOnly ? ideograph : (c.category() != QChar::Other_PrivateUse && !c.isSurrogate()))
            table[c.unicode()] = cost;
    }
}

const CostTable& costTable()
{
    static const CostTable table = [] {
        CostTable t;
        t.fill(RareScript);
        for (int c = 0; c < 0x80; ++c)
            t[c] = Ascii;
        // Control characters are no text. A C0 byte reads as itself in UTF-8 and in GB18030 alike, so
        // they weigh only against a UTF-16 reading, where NUL bytes are the high halves of ASCII.
        for (int c = 0; c < 0x20; ++c) {
            if (c != u'\t' && c != u'\n' && c != u'\r')
                t[c] = Invalid;
        }
        for (const auto& [from, to] : { std::pair(0x3400, 0x4DBF), std::pair(0x4E00, 0x9FFF), std::pair(0xF900, 0xFAFF) }) {
            for (int c = from; c <= to; ++c)
                t[c] = RareIdeograph;
        }
        markPairs(t, 0xD8, 0xF7, LessUsual, true); // level 2 of GB2312
        markPairs(t, 0xB0, 0xD7, Usual, true);     // level 1
        markPairs(t, 0xA1, 0xA1, Usual, false);    // punctuation
        markPairs(t, 0xA3, 0xA3, Usual, false);    // full-width forms
        t[0x20AC] = Usual;
        t[0xFFFD] = Invalid;
        return t;
    }();
    return table;
}

qint64 readingCost(QStringView text, quint8 asciiCost = Ascii)
{
    const CostTable& table = costTable();
    qint64 cost = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t codePoint = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            cost += (codePoint >= 0x20000 && codePoint <= 0x3FFFF) ? RareIdeograph : RareScript;
            ++i;
        } else if (QChar::isSurrogate(c)) {
            cost += Invalid; // only a UTF-16 reading leaves half of a pair
        } else {
            cost += table[c] == Ascii ? asciiCost : table[c];
        }
    }
    return cost;
}

// The stretch of the file a reading is judged on: from the first byte above ASCII, which starts a
// character in both readings, to a byte below '0', which ends one in both.
QByteArrayView sample(QByteArrayView bytes)
{
    const quint8* p = data(bytes);
    const qsizetype size = bytes.size();
    qsizetype from = 0;
    while (from < size && p[from] < 0x80)
        ++from;
    qsizetype to = std::min(size, from + SampleBytes);
    const qsizetype limit = std::min(size, from + 2 * SampleBytes);
    while (to < limit && p[to - 1] >= 0x30)
        ++to;
    return bytes.sliced(from, to - from);
}

// Valid UTF-8 that GB18030 cannot read, or ASCII alone: no reading needs judging.
bool plainlyUtf8(QByteArrayView bytes)
{
    if (!bytes.isValidUtf8())
        return false;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; });
    return ascii || !isValidGb18030(bytes);
}

// The cheaper reading of the sample wins. A UTF-8 text with one invalid sequence for seven usual
// characters or fewer still reads cheaper as UTF-8 than as GB18030, which takes at least one
// character of cost 2 for each two bytes; a short GBK text that is also valid UTF-8 reads as rare
// scripts there ("一" is Cyrillic "һ"). A tie goes to GB18030.
bool readsAsUtf8(QByteArrayView bytes)
{
    if (plainlyUtf8(bytes))
        return true;
    const QByteArrayView judged = sample(bytes);
    return readingCost(decodeUtf8(judged)) < readingCost(decodeGb18030(judged));
}

// Every unit as it stands, a lone surrogate too. A byte-order mark has been dropped before; one at the
// start here is the character U+FEFF.
QString decodeUtf16(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

// UTF-16 without a byte-order mark, judged from the first byte on against the file's reading as
// UTF-8 or GB18030; here an ASCII character costs 1, as a UTF-16 text read a byte at a time is full
// of stray letters and signs. Where the NUL bytes fall tells the byte order, however few there are:
// the high halves of ASCII and of line breaks stand in the odd bytes of little-endian text and in
// the even ones of big-endian text. The low halves of 一, 开, 最 and the like are NUL bytes too, so
// a line of such characters alone points the wrong way: the other order still wins when it reads
// cheaper by a quarter. NUL bytes in both places, or none, leave the order to the costs. With NUL
// bytes in the file, which the other reading counts as invalid, UTF-16 must not read dearer, or the
// file is no text; without them UTF-16 must read cheaper by a quarter, so that a GBK or UTF-8 file
// never becomes UTF-16 by a narrow margin.
std::optional<QStringConverter::Encoding> utf16WithoutMark(QByteArrayView bytes, bool readAsUtf8, bool nulBytes)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    bool nulEven = false;
    bool nulOdd = false;
    if (nulBytes) {
        const quint8* p = data(bytes);
        for (qsizetype i = 0; i < bytes.size() && !(nulEven && nulOdd); i += 2) {
            nulEven = nulEven || p[i] == 0;
            nulOdd = nulOdd || p[i + 1] == 0;
        }
    }
    constexpr quint8 asciiCost = 1;
    const QByteArrayView judged = bytes.first(std::min(bytes.size(), SampleBytes));
    const qint64 littleCost = readingCost(decodeUtf16(judged, QStringConverter::Utf16LE), asciiCost);
    const qint64 bigCost = readingCost(decodeUtf16(judged, QStringConverter::Utf16BE), asciiCost);
    const auto muchCheaper = [](qint64 cost, qint64 than) { return 4 * cost < 3 * than; };
    bool little = littleCost <= bigCost;
    if (nulOdd && !nulEven)
        little = !muchCheaper(bigCost, littleCost);
    else if (nulEven && !nulOdd)
        little = muchCheaper(littleCost, bigCost);
    const qint64 cost = little ? littleCost : bigCost;
    const qint64 otherCost = readingCost(readAsUtf8 ? decodeUtf8(judged) : decodeGb18030(judged), asciiCost);
    if (nulBytes ? cost > otherCost : !muchCheaper(cost, otherCost))
        return std::nullopt;
    return little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
}

// Whether a reading is text of one script: every character assigned and printable, no half of a
// pair, and the letters (at least half of the text) all of the same script. Latin is not taken: the
// units of two ASCII bytes that read as Latin letters are U+0100-U+024F, which no keyword list is
// made of alone.
bool ofOneScript(QStringView text)
{
    if (text.isEmpty())
        return false;
    std::optional<QChar::Script> script;
    qsizetype letters = 0;
    for (const QChar c : text) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
            return false;
        default:
            break;
        }
        const QChar::Script own = c.script();
        if (own == QChar::Script_Common || own == QChar::Script_Inherited)
            continue;
        if (own == QChar::Script_Latin || (script && *script != own))
            return false;
        script = own;
        ++letters;
    }
    return 2 * letters >= text.size();
}

// ASCII read as it stands that no person wrote: control characters, or one in four of its
// characters among the signs that keyword lists hardly hold.
bool unlikelyAscii(QByteArrayView bytes)
{
    qsizetype signs = 0;
    for (const char c : bytes) {
        const quint8 byte = quint8(c);
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F)
            return true;
        if (std::memchr("`{}|~^[]\\_", c, 10))
            ++signs;
    }
    return 4 * signs >= bytes.size();
}

// UTF-16 without a mark whose bytes all lie in 0x01-0x7F, as the ideographs U+4E00-U+7F7F are in
// little-endian order when their low byte is below 0x80 too: no NUL byte tells it. Taken as UTF-16
// when the plain reading is no text a person wrote and one byte order reads as one script.
std::optional<QStringConverter::Encoding> utf16OfAsciiBytes(QByteArrayView bytes)
{
    const bool lowBytes = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && quint8(c) < 0x80; });
    if (bytes.isEmpty() || bytes.size() % 2 != 0 || !lowBytes || !unlikelyAscii(bytes))
        return std::nullopt;
    const QByteArrayView judged = bytes.first(std::min(bytes.size(), SampleBytes));
    const QString little = decodeUtf16(judged, QStringConverter::Utf16LE);
    const QString big = decodeUtf16(judged, QStringConverter::Utf16BE);
    const bool littleFits = ofOneScript(little);
    const bool bigFits = ofOneScript(big);
    if (littleFits && (!bigFits || readingCost(little) <= readingCost(big)))
        return QStringConverter::Utf16LE;
    if (bigFits)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

ReadResult fromUtf16(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    QString text = decodeUtf16(bytes.first(bytes.size() & ~qsizetype(1)), encoding);
    if (bytes.size() % 2 != 0)
        text += QChar::ReplacementCharacter; // the half of a unit at the end of a cut file
    if (text.contains(QChar(u'\0')))
        return { QString(), Refusal::NotText };
    return { text, Refusal::None };
}

} // namespace

QString decodeUtf8(QByteArrayView bytes)
{
    // Qt's decoder is the fast way for valid UTF-8, but it writes one U+FFFD per byte of an
    // invalid sequence.
    QStringDecoder fast(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = fast.decode(bytes);
    if (!fast.hasError())
        return text;
    text = QString(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    char16_t* const begin = out;
    const quint8* p = data(bytes);
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const Utf8Step step = utf8Step(p + i, size - i);
        if (!step.valid) {
            *out++ = QChar::ReplacementCharacter;
        } else if (QChar::requiresSurrogates(step.codePoint)) {
            *out++ = QChar::highSurrogate(step.codePoint);
            *out++ = QChar::lowSurrogate(step.codePoint);
        } else {
            *out++ = char16_t(step.codePoint);
        }
        i += step.length;
    }
    text.truncate(out - begin);
    return text;
}

QString decodeGb18030(QByteArrayView bytes)
{
    // The GB18030 decoder reads 0x80 as invalid and drops a four-byte form cut at the end, so both
    // are put right in a copy first: 0x80 becomes the pair of "€", each invalid sequence the
    // four-byte form of U+FFFD.
    const quint8* p = data(bytes);
    const qsizetype size = bytes.size();
    QByteArray mended;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < size;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const GbStep step = gbStep(p + i, size - i);
        if (step.kind == GbKind::Euro || step.kind == GbKind::Invalid) {
            if (mended.isNull())
                mended.reserve(size + 16);
            mended.append(bytes.data() + copied, i - copied);
            mended.append(step.kind == GbKind::Euro ? QByteArrayView("\xA2\xE3") : QByteArrayView("\x84\x31\xA4\x37"));
            copied = i + step.length;
        }
        i += step.length;
    }
    if (!mended.isNull())
        mended.append(bytes.data() + copied, size - copied);
    QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    if (!gb18030.isValid()) // a Qt without its ICU converters still knows GBK through iconv
        gb18030 = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
    return gb18030.decode(mended.isNull() ? bytes : QByteArrayView(mended));
}

ReadResult fromBytes(QByteArrayView bytes)
{
    if (startsWith(bytes, "\xFF\xFE", 2))
        return fromUtf16(bytes.sliced(2), QStringConverter::Utf16LE);
    if (startsWith(bytes, "\xFE\xFF", 2))
        return fromUtf16(bytes.sliced(2), QStringConverter::Utf16BE);
    const bool nulBytes = bytes.contains('\0');
    if (!nulBytes && startsWith(bytes, "\xEF\xBB\xBF", 3))
        return { decodeUtf8(bytes.sliced(3)), Refusal::None };
    if (!nulBytes && plainlyUtf8(bytes)) {
        if (const auto encoding = utf16OfAsciiBytes(bytes))
            return fromUtf16(bytes, *encoding);
        return { decodeUtf8(bytes), Refusal::None };
    }
    const bool utf8 = readsAsUtf8(bytes);
    if (const auto encoding = utf16WithoutMark(bytes, utf8, nulBytes))
        return fromUtf16(bytes, *encoding);
    if (nulBytes)
        return { QString(), Refusal::NotText };
    return { utf8 ? decodeUtf8(bytes) : decodeGb18030(bytes), Refusal::None };
}

ReadResult read(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return { QString(), Refusal::Folder };
    // Only a plain file: a pipe would block the opening, a device would never end.
    if (!info.isFile())
        return { QString(), Refusal::Unreadable };
    if (info.size() > MaxBytes)
        return { QString(), Refusal::TooLarge };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { QString(), Refusal::Unreadable };
    // readAll takes the size measured now; a file that tells no size (as in /proc) is read to its end.
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return { QString(), Refusal::Unreadable };
    if (bytes.size() > MaxBytes)
        return { QString(), Refusal::TooLarge };
    return fromBytes(bytes);
}

QString refusalText(Refusal refusal)
{
    switch (refusal) {
    case Refusal::None:
        break;
    case Refusal::Folder:
        return u"这是文件夹，不是文件"_s;
    case Refusal::Unreadable:
        return u"无法读取这个文件"_s;
    case Refusal::NotText:
        return u"不是文本文件（含有空字节）"_s;
    case Refusal::TooLarge:
        return u"文件超过 256 MB"_s;
    }
    return QString();
}

} // namespace TextFile
