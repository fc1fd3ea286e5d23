// How the store speaks to SQLite: one transaction of statements that keeps its first failure, the
// prepared statements' binding, and what a failure of SQLite means in the user's words.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>

namespace Store {

// SQLite's primary result codes that the store tells apart.
enum SqliteCode {
    SqliteBusy = 5,
    SqliteLocked = 6,
    SqliteReadOnly = 8,
    SqliteIoError = 10,
    SqliteCorrupt = 11,
    SqliteFull = 13,
    SqliteCantOpen = 14,
    SqliteNotADatabase = 26,
};

int sqliteCode(const QSqlError& error);

// What went wrong, in Chinese, for the boxes: "磁盘已满", "文件已损坏", ...
QString faultDetail(const QSqlError& error);

// The statements of one transaction: the first failure is kept and the rest are skipped. BEGIN and
// COMMIT go through plain queries, which keep SQLite's result code (the driver's commit() drops it).
class Transaction
{
public:
    explicit Transaction(const QSqlDatabase& db);

    bool failed() const { return error_.isValid(); }
    bool exec(QSqlQuery& query);
    bool exec(const QString& statement);
    // Ends the transaction as if a statement had failed with error.
    void fail(const QSqlError& error);
    // Commits, or rolls everything back after a failure; the failure, if any.
    QSqlError finish();

private:
    QSqlDatabase db_;
    QSqlError error_;
};

QSqlQuery prepared(const QSqlDatabase& db, const QString& statement);
// Binds values in order; a null QString goes in as an empty text, since no text of the tables is NULL.
void bindAll(QSqlQuery& query, std::initializer_list<QVariant> values);

} // namespace Store
