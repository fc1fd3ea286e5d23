// Module1: plain text operations over QString, without state. Marker extraction cuts page text
// between a start and an end marker; the list transforms rework a separated list held as one string.
#pragma once

#include <QString>
#include <optional>

namespace Module1 {

// The text after the first start marker, up to the next start marker or the end of the text,
// and there up to the first end marker; in lower case. Empty when either marker is missing.
QString TextBetween(const QString& text, const QString& startMarker, const QString& endMarker);

// Every piece between successive start and end markers, each followed by CRLF, letter case kept.
// Collection ends at the first empty piece or when a marker is no longer found.
QString CollectBetween(const QString& text, const QString& startMarker, const QString& endMarker);

// Removes blank (spaces-only) and repeated items; the result starts and ends with the separator.
QString DistinctLines(const QString& text, const QString& separator);

// The non-empty items in a random order, each followed by the separator.
QString ShuffleLines(const QString& text, const QString& separator);

// A typed number read as a decimal, fractions kept: leading and trailing spaces allowed, and
// full-width digits, signs and decimal point read as their ASCII forms. Empty when the text is not
// a finite number.
std::optional<double> ReadNumber(const QString& text);

// A typed number read as a decimal and rounded down: leading and trailing spaces allowed, and
// full-width digits, signs and decimal point read as their ASCII forms.
// Empty when the text is not a number or the whole number does not fit in 32 bits.
std::optional<qint32> ReadWholeNumber(const QString& text);

} // namespace Module1
