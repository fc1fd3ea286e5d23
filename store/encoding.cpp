// The conversions between the store's values and what its columns hold.
#include "store/encoding.h"

#include "store/schema.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace Store::Encoding {

QByteArray utf16Blob(const QString& text)
{
    QByteArray blob(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), blob.data());
    return blob;
}

QString textOfBlob(const QByteArray& blob)
{
    QString text(blob.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(blob.constData(), text.size(), text.data());
    return text;
}

QByteArray listBlob(const QStringList& list)
{
    QByteArray blob;
    QDataStream stream(&blob, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << list;
    return blob;
}

QStringList listOfBlob(const QByteArray& blob)
{
    QStringList list;
    QDataStream stream(blob);
    stream.setVersion(QDataStream::Qt_6_4);
    stream >> list;
    return stream.status() == QDataStream::Ok ? list : QStringList();
}

qint64 msecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

int outcomeCode(Asked outcome)
{
    switch (outcome) {
    case Asked::Answered:
        return Schema::Answered;
    case Asked::Failed:
        return Schema::Failed;
    case Asked::Refused:
        return Schema::Refused;
    }
    return Schema::Failed;
}

Asked outcomeOf(int code)
{
    switch (code) {
    case Schema::Answered:
        return Asked::Answered;
    case Schema::Refused:
        return Asked::Refused;
    default:
        return Asked::Failed;
    }
}

bool recordable(const QString& keyword)
{
    return !keyword.isEmpty() && QStringView(keyword).isValidUtf16();
}

QString jsonArray(const QStringList& words)
{
    qsizetype size = 2;
    for (const QString& word : words)
        size += word.size() + 3;
    QString json;
    json.reserve(size);
    json += u'[';
    bool first = true;
    for (const QString& word : words) {
        if (!recordable(word))
            continue;
        if (!first)
            json += u',';
        first = false;
        json += u'"';
        for (const QChar c : word) {
            if (c == u'"' || c == u'\\') {
                json += u'\\';
                json += c;
            } else if (c.unicode() < 0x20) {
                json += u"\\u00"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0');
            } else {
                json += c;
            }
        }
        json += u'"';
    }
    json += u']';
    return json;
}

} // namespace Store::Encoding
