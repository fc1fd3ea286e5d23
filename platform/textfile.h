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
    NotText,    // NUL bytes where UTF-16 does not read, or a NUL character in UTF-16
    TooLarge,
};

struct ReadResult
{
    QString text;
    Refusal refusal = Refusal::None;
};

// Bytes to text. A byte-order mark decides (UTF-8, UTF-16 LE or BE) and is dropped. Without one,
// valid UTF-8 that is not valid GB18030 is UTF-8; otherwise the reading as UTF-8 or as GB18030 (the
// superset of GBK) that gives the more usual Chinese text wins, so that a UTF-8 file with a few
// invalid sequences stays UTF-8 and a short GBK file that is also valid UTF-8 comes in as GBK;
// GB18030 when neither does better. UTF-16 in either byte order is judged against that reading, with
// or without NUL bytes in the file, whatever their number; where they fall decides between two
// orders that read equally well. A file with NUL bytes that UTF-16 does not read at least as well,
// or that holds the NUL character, is refused. Invalid bytes never stop the decoding: each invalid
// sequence of UTF-8 or GB18030 becomes one U+FFFD; UTF-16 keeps a lone surrogate as it stands.
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
