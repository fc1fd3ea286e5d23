// The reads of the session file: the list, the settings, the kept places with the pages since, the
// keywords asked and the keywords' records. Each takes the connection to read through and sets error
// when SQLite fails.
#pragma once

#include "store/sessionstore.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

namespace Store::Reads {

// The text saved last and every run's append since, in order.
QString list(const QSqlDatabase& db, QSqlError& error);
QHash<QString, QString> settings(const QSqlDatabase& db, QSqlError& error);
// Every kept place with its pages applied, in the order they were last written whole; none after an error.
QList<Place> places(const QSqlDatabase& db, QSqlError& error);
QList<AskedKeyword> asked(const QSqlDatabase& db, QSqlError& error);
// The records of the given keywords that have one (exact match, letter case significant), in one query.
QHash<QString, KeywordRecord> records(const QSqlDatabase& db, const QStringList& keywords, QSqlError& error);

} // namespace Store::Reads

namespace Store {

// The records of a list's lines, for a reader on another thread: the export of the sheet. They are
// read on the first find(), on the thread that calls it, through a read-only connection of that
// call's own. One reader at a time.
class ListRecords
{
public:
    // unreadable: why the records are known not to be whole before anything is read, or empty.
    ListRecords(QString filePath, QString list, QString unreadable = QString());

    // The record of line, or nullptr when it has none or the records could not be read.
    const KeywordRecord* find(const QString& line);
    // Why the records could not be read, in Chinese; empty while all is well.
    QString failure() const { return failure_; }

private:
    void read();

    QString filePath_;
    QString list_;
    QString failure_;
    bool read_ = false;
    QHash<QString, KeywordRecord> records_;
};

} // namespace Store
