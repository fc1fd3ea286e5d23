// SQLite's transactions and result codes, for the store's opening and its writer alike.
#include "store/transaction.h"

using namespace Qt::StringLiterals;

namespace Store {

int sqliteCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

QString faultDetail(const QSqlError& error)
{
    switch (sqliteCode(error)) {
    case SqliteFull:
        return u"磁盘已满"_s;
    case SqliteReadOnly:
        return u"文件是只读的"_s;
    case SqliteIoError:
    case SqliteCantOpen:
        return u"读写文件时出错"_s;
    case SqliteCorrupt:
    case SqliteNotADatabase:
        return u"文件已损坏"_s;
    case SqliteBusy:
    case SqliteLocked:
        return u"文件被其他程序占用"_s;
    default:
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
}

Transaction::Transaction(const QSqlDatabase& db)
    : db_(db)
{
    exec(u"BEGIN IMMEDIATE"_s);
}

bool Transaction::exec(QSqlQuery& query)
{
    const bool ok = !failed() && query.exec();
    if (!failed() && !ok)
        error_ = query.lastError();
    // A prepared statement keeps its values until the next ones; a saved list is megabytes.
    for (int i = 0; i < int(query.boundValues().size()); ++i)
        query.bindValue(i, QVariant());
    return ok;
}

bool Transaction::exec(const QString& statement)
{
    if (failed())
        return false;
    QSqlQuery query(db_);
    if (!query.exec(statement)) {
        error_ = query.lastError();
        return false;
    }
    return true;
}

void Transaction::fail(const QSqlError& error)
{
    if (!failed())
        error_ = error;
}

QSqlError Transaction::finish()
{
    if (!failed())
        exec(u"COMMIT"_s);
    if (failed()) {
        QSqlQuery rollback(db_);
        rollback.exec(u"ROLLBACK"_s);
    }
    return error_;
}

QSqlQuery prepared(const QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    query.prepare(statement);
    return query;
}

void bindAll(QSqlQuery& query, std::initializer_list<QVariant> values)
{
    int i = 0;
    for (const QVariant& value : values) {
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            query.bindValue(i++, u""_s);
        else
            query.bindValue(i++, value);
    }
}

} // namespace Store
