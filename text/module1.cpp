// Marker extraction and number reading of Module1.
#include "text/module1.h"

#include <QLocale>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace Module1 {

QString TextBetween(const QString& text, const QString& startMarker, const QString& endMarker)
{
    if (!text.contains(startMarker, Qt::CaseInsensitive) || !text.contains(endMarker, Qt::CaseInsensitive))
        return {};

    const QString lowerText = text.toLower();
    const QString lowerStart = startMarker.toLower();
    if (lowerStart.isEmpty())
        return {};
    const qsizetype first = lowerText.indexOf(lowerStart);
    if (first < 0)
        return {};
    const qsizetype from = first + lowerStart.size();
    const qsizetype second = lowerText.indexOf(lowerStart, from);
    const QStringView piece = QStringView(lowerText).mid(from, second < 0 ? lowerText.size() - from : second - from);

    const QString lowerEnd = endMarker.toLower();
    if (lowerEnd.isEmpty())
        return piece.toString();
    const qsizetype end = piece.indexOf(lowerEnd);
    return (end < 0 ? piece : piece.left(end)).toString();
}

QString CollectBetween(const QString& text, const QString& startMarker, const QString& endMarker)
{
    QString result;
    const QStringView all(text);
    qsizetype rest = 0; // rest of the text starts here
    for (;;) {
        const qsizetype start = all.indexOf(startMarker, rest, Qt::CaseInsensitive);
        if (start < 0 || all.indexOf(endMarker, rest, Qt::CaseInsensitive) < 0)
            return result;
        const qsizetype pieceFrom = start + startMarker.size();
        const qsizetype end = all.indexOf(endMarker, pieceFrom, Qt::CaseInsensitive);
        if (end <= pieceFrom) // no end marker after the start marker, or an empty item
            return result;
        result += all.mid(pieceFrom, end - pieceFrom) + u"\r\n";
        rest = end; // the end marker that closed the item stays at the front of the rest
    }
}

std::optional<double> ReadNumber(const QString& text)
{
    // An input method in full-width mode types the digits, the signs and the decimal point as
    // U+FF10 to U+FF19, U+FF0B, U+FF0D and U+FF0E; they stand for their ASCII forms.
    QString ascii = text;
    for (QChar& c : ascii) {
        const char16_t u = c.unicode();
        if ((u >= u'０' && u <= u'９') || u == u'＋' || u == u'－' || u == u'．')
            c = QChar(char16_t(u - 0xFEE0));
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(QStringView(ascii).trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint32> ReadWholeNumber(const QString& text)
{
    const std::optional<double> value = ReadNumber(text);
    if (!value)
        return std::nullopt;
    const double whole = std::floor(*value);
    if (whole < double(std::numeric_limits<qint32>::min()) || whole > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(whole);
}

} // namespace Module1
