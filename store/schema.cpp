// The session file's tables. Texts that must come back unit for unit (the list, the run's list and
// its generations) are kept as UTF-16LE blobs, so that nothing in between can alter them; lists of
// keywords are QDataStream blobs of a QStringList; times are milliseconds since 1970 (UTC).
#include "store/schema.h"

using namespace Qt::StringLiterals;

namespace Store::Schema {

namespace {

    // Version 1.
    const QStringList version1 = {
        // The list: the text saved last (the lowest id), then every run's append since, in id order.
        u"CREATE TABLE list_part (id INTEGER PRIMARY KEY, text BLOB)"_s,
        // The window's controls: objectName -> value text.
        u"CREATE TABLE setting (name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID"_s,
        // Where each keyword came from: the first record wins; seen_count grows with every answered
        // page that lists it.
        u"CREATE TABLE keyword (keyword TEXT PRIMARY KEY, source TEXT NOT NULL, parent TEXT NOT NULL,"
        u" seed TEXT NOT NULL, generation INTEGER NOT NULL, first_found INTEGER NOT NULL,"
        u" seen_count INTEGER NOT NULL) WITHOUT ROWID"_s,
        // Every keyword a run asked, and how it ended (Outcome).
        u"CREATE TABLE asked (id INTEGER PRIMARY KEY, seed TEXT NOT NULL, keyword TEXT NOT NULL,"
        u" at INTEGER NOT NULL, outcome INTEGER NOT NULL)"_s,
        // The kept place of each seed as last written whole ...
        u"CREATE TABLE place (id INTEGER PRIMARY KEY, seed TEXT NOT NULL UNIQUE, seed_pending INTEGER NOT NULL,"
        u" pass BLOB, answered INTEGER NOT NULL, retry BLOB, failed_twice BLOB, next_generation BLOB,"
        u" run_list BLOB, found_count INTEGER NOT NULL, generation INTEGER NOT NULL DEFAULT 1)"_s,
        // ... and what each page changed in it since: the counts and lists replace, the texts append.
        u"CREATE TABLE place_step (id INTEGER PRIMARY KEY, seed TEXT NOT NULL, seed_pending INTEGER NOT NULL,"
        u" answered INTEGER NOT NULL, retry BLOB, failed_twice BLOB, found_count INTEGER NOT NULL,"
        u" run_list_append BLOB, next_generation_append BLOB)"_s,
        u"CREATE INDEX place_step_seed ON place_step (seed)"_s,
    };

} // namespace

QStringList upgradeStatements(int from)
{
    QStringList statements;
    if (from < 1)
        statements += version1;
    statements += u"PRAGMA application_id = %1"_s.arg(ApplicationId);
    statements += u"PRAGMA user_version = %1"_s.arg(Version);
    return statements;
}

} // namespace Store::Schema
