// Keyword files from disk: the refusals, and decoding by byte-order mark, UTF-8 validity or GB18030.
#include "platform/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace TextFile {

namespace {

// A GBK text fails as UTF-8 within its first Chinese characters, so a look at the start spares it a
// whole wasted pass as UTF-8.
constexpr qsizetype Utf8ProbeBytes = 65536;

bool startsWith(QByteArrayView bytes, const char* mark, qsizetype length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), mark, size_t(length)) == 0;
}

// The decoded text, or a null string when the bytes are not valid UTF-8.
QString decodeIfUtf8(QByteArrayView bytes)
{
    // Stateful, so that a character cut at the end of the probe is not taken for an error. The result
    // is taken, as a decoder only decodes when its result is.
    QStringDecoder probe(QStringConverter::Utf8);
    const QString start = probe.decode(bytes.first(std::min(bytes.size(), Utf8ProbeBytes)));
    if (probe.hasError())
        return QString();
    QStringDecoder whole(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = whole.decode(bytes);
    if (whole.hasError())
        return QString();
    return text.isNull() ? u""_s : text;
}

} // namespace

ReadResult fromBytes(QByteArrayView bytes)
{
    // The byte-order mark itself is dropped; ConvertInitialBom keeps a second one as it stands.
    const auto flags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    const bool utf16le = startsWith(bytes, "\xFF\xFE", 2);
    const bool utf16be = startsWith(bytes, "\xFE\xFF", 2);
    if (utf16le || utf16be) {
        QStringDecoder decoder(utf16le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, flags);
        const QString text = decoder.decode(bytes.sliced(2));
        if (text.contains(QChar(u'\0')))
            return { QString(), Refusal::NotText };
        return { text, Refusal::None };
    }
    if (bytes.contains('\0'))
        return { QString(), Refusal::NotText };
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) {
        QStringDecoder decoder(QStringConverter::Utf8, flags);
        return { decoder.decode(bytes.sliced(3)), Refusal::None };
    }
    QString text = decodeIfUtf8(bytes);
    if (text.isNull()) {
        QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        if (!gb18030.isValid()) // a Qt without its ICU converters still knows GBK through iconv
            gb18030 = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
        text = gb18030.decode(bytes);
    }
    return { text, Refusal::None };
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
