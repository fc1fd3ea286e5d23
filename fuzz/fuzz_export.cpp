// The export's bytes read back, GBK pair by pair and GB18030 four-byte form by form, give the list
// with every CRLF replaced by the chosen separator and one CRLF at the end. Two characters share a
// pair of bytes by design: a private-use code point of GBK and the CJK character that GB18030 put
// at the same code (U+E834 and U+4056 both become FE 6F); they count as one. A lone surrogate comes
// back as U+FFFD, never as nothing.
#include "fuzzinput.h"
#include "listtools/listcommands.h"

#include <QStringDecoder>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace {

// Reads what the export writes: ASCII, GBK's single bytes 0x80 (the euro sign) and 0xFF, GBK
// pairs, and GB18030 four-byte forms for what GBK does not hold. Anything else is a fault of the
// writer.
bool readBack(const QByteArray& bytes, QString* text)
{
    static QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    static QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    const auto byte = [&bytes](qsizetype i) { return i < bytes.size() ? quint8(bytes[i]) : 0; };
    for (qsizetype i = 0; i < bytes.size();) {
        const quint8 lead = byte(i);
        if (lead <= 0x80 || lead == 0xFF) {
            *text += gbk.decode(bytes.mid(i, 1));
            i += 1;
        } else if (lead <= 0xFE && byte(i + 1) >= 0x30 && byte(i + 1) <= 0x39) {
            if (!(byte(i + 2) >= 0x81 && byte(i + 2) <= 0xFE && byte(i + 3) >= 0x30 && byte(i + 3) <= 0x39))
                return false;
            *text += gb18030.decode(bytes.mid(i, 4));
            i += 4;
        } else if (lead <= 0xFE && byte(i + 1) >= 0x40 && byte(i + 1) <= 0xFE && byte(i + 1) != 0x7F) {
            *text += gbk.decode(bytes.mid(i, 2));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Each private-use code point that GBK writes as a pair which GB18030 reads as a CJK character
// becomes that character; everything else stays.
QString sharedPairsAsOne(const QString& text)
{
    static QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    static QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    QString out;
    for (QChar c : text) {
        if (c.category() == QChar::Other_PrivateUse) {
            const QByteArray pair = gbk.encode(QStringView(&c, 1));
            const QString read = gb18030.decode(pair);
            if (pair.size() == 2 && read.size() == 1 && read.at(0).category() != QChar::Other_PrivateUse
                && read.at(0) != QChar::ReplacementCharacter) {
                out += read;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const auto separator = ListCommands::ExportSeparator(input.number(0, 2));
    const QString list = input.text(1 << 20);

    const QByteArray bytes = ListCommands::exportBytes(list, separator);
    QString expected = list;
    if (separator == ListCommands::ExportSeparator::Comma)
        expected.replace(u"\r\n"_s, u","_s);
    else if (separator == ListCommands::ExportSeparator::Bar)
        expected.replace(u"\r\n"_s, u"|"_s);
    expected += u"\r\n";

    FUZZ_CHECK(bytes.endsWith("\r\n"));
    // A lone surrogate is no character: the export writes U+FFFD in its place, and that comes back.
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (expected[i].isHighSurrogate() && i + 1 < expected.size() && expected[i + 1].isLowSurrogate())
            ++i;
        else if (expected[i].isSurrogate())
            expected[i] = QChar::ReplacementCharacter;
    }
    QString text;
    FUZZ_CHECK(readBack(bytes, &text));
    FUZZ_CHECK_EQUAL(sharedPairsAsOne(text), sharedPairsAsOne(expected));
    return 0;
}
