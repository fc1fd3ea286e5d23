// The layout of the session file and its version, in one place. A file of a later version than
// Version is left alone; an earlier one is brought up to Version by the steps in schema.cpp.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Store::Schema {

// Kept in the file's user_version. Raise it with every change of the tables, and add the step that
// brings the previous version's file to it.
inline constexpr int Version = 1;
// Kept in the file's application_id ("QLCB"): a database of another program is not taken for ours.
inline constexpr qint32 ApplicationId = 0x514C4342;

inline constexpr char16_t FileName[] = u"session.sqlite";

// How Asked outcomes are kept in asked.outcome.
enum Outcome { Answered = 0, Failed = 1, Refused = 2 };

// The statements that bring a file of version from (0: a new, empty file) to Version, in order.
QStringList upgradeStatements(int from);

} // namespace Store::Schema
