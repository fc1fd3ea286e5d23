// How values are kept in the session file's columns. Texts that must come back unit for unit (the
// list, the run's list and its generations) are UTF-16LE blobs, so that nothing in between can alter
// them; lists of keywords are QDataStream blobs of a QStringList; times are milliseconds since 1970.
#pragma once

#include "store/sessionstore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Store::Encoding {

QByteArray utf16Blob(const QString& text);
QString textOfBlob(const QByteArray& blob);
QByteArray listBlob(const QStringList& list);
// An empty list for a blob that does not hold one.
QStringList listOfBlob(const QByteArray& blob);

// 0 for an invalid time.
qint64 msecs(const QDateTime& time);

int outcomeCode(Asked outcome);
// Failed for a code that is none of Schema::Outcome.
Asked outcomeOf(int code);

// SQLite turns UTF-16 into UTF-8 on the way in, and a lone surrogate would take the unit after it
// along; such a keyword gets no record and is never looked up. Neither does an empty one.
bool recordable(const QString& keyword);

// The recordable words as one JSON array of strings, for json_each(): a whole list in one statement.
QString jsonArray(const QStringList& words);

} // namespace Store::Encoding
