// The keyword list with the texts of keyword files added at its end, as a plain function.
#pragma once

#include <QList>
#include <QString>

namespace FileJoin {

// The list, then each text in turn with every line break (CRLF, LF or CR) written as CRLF and a
// CRLF after its last line if it has none. A list that does not end with CRLF gets one before the
// first text that adds anything; empty texts add nothing.
QString joinFileTexts(const QString& list, const QList<QString>& texts);

} // namespace FileJoin
