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

// Bytes to text: a byte-order mark decides (UTF-8, UTF-16 LE or BE) and is dropped; otherwise bytes
// that are valid UTF-8 are UTF-8, and anything else is GB18030, the superset of GBK. Invalid bytes
// never stop the decoding. A text with NUL in it is refused as not a text file.
ReadResult fromBytes(QByteArrayView bytes);

// The file at path, read whole and decoded by fromBytes, or the reason it is refused.
ReadResult read(const QString& path);

// Why a file was refused, as the user reads it.
QString refusalText(Refusal refusal);

} // namespace TextFile
