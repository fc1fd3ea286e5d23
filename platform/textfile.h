// Reading a keyword file that the user hands the program: which files are refused, and how the bytes
// of the others become text.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace TextFile {

// Larger files are refused before they are read.
inline constexpr qint64 MaxBytes = qint64(256) * 1024 * 1024;

enum class Refusal {
    None,
    Folder,
    Unreadable, // missing, not a plain file, or the read failed
    NotText,    // a NUL byte outside a UTF-16 text, or a NUL character inside one
    TooLarge,
};

struct ReadResult
{
    QString text;
    Refusal refusal = Refusal::None;
};

// Bytes to text. A byte-order mark decides (UTF-8, UTF-16 LE or BE) and is dropped. Without one:
// NUL in every other byte of a text with enough ASCII in it is UTF-16 LE or BE, any other NUL
// refuses the file; valid UTF-8 that is not valid GB18030 is UTF-8; otherwise the reading as UTF-8
// or as GB18030 (the superset of GBK) that gives the more usual Chinese text wins, so that a UTF-8
// file with a few invalid sequences stays UTF-8 and a short GBK file that is also valid UTF-8 comes
// in as GBK; GB18030 when neither does better. Invalid bytes never stop the decoding: each invalid
// sequence becomes one U+FFFD.
ReadResult fromBytes(QByteArrayView bytes);

// UTF-8, each invalid sequence (the longest start of a well-formed character there, or one byte)
// one U+FFFD.
QString decodeUtf8(QByteArrayView bytes);

// GB18030 as Windows reads a GBK file: 0x80 alone is "€", each invalid sequence one U+FFFD.
QString decodeGb18030(QByteArrayView bytes);

// The file at path, read whole and decoded by fromBytes, or the reason it is refused.
ReadResult read(const QString& path);

// Why a file was refused, as the user reads it.
QString refusalText(Refusal refusal);

} // namespace TextFile
