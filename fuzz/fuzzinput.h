// Turns the fuzzer's bytes into the texts and numbers a target needs, and stops the run loudly when
// a property does not hold. A text is one FuzzedDataProvider string whose first byte chooses how the
// rest becomes UTF-16: UTF-8, GB18030 (so GBK pages from the corpus stay readable), raw UTF-16 code
// units (lone surrogates included), or a small alphabet of the characters that trouble case-blind
// search and list cutting. The low two bits of an ASCII digit pick the way, so seed files can be
// written by hand: "0减肥\ 0&f=1\">" is two UTF-8 texts.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Fuzz {

// The items of a separated list: none for the empty text, the whole text for an empty separator.
inline QStringList items(const QString& text, const QString& separator)
{
    if (text.isEmpty())
        return {};
    if (separator.isEmpty())
        return { text };
    return text.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
}


// A separator none of whose proper prefixes is also its suffix, as CRLF: only then does cutting
// a joined list again give back exactly the items that were joined.
inline bool hasNoBorder(const QString& separator)
{
    for (qsizetype k = 1; k < separator.size(); ++k) {
        if (separator.left(k) == separator.right(k))
            return false;
    }
    return !separator.isEmpty();
}


inline QString textFromBytes(const std::string& raw)
{
    if (raw.empty())
        return {};
    const QByteArray payload(raw.data() + 1, qsizetype(raw.size() - 1));
    switch (raw[0] & 3) {
    case 0:
        return QString::fromUtf8(payload);
    case 1: {
        static QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        return gb18030.decode(payload);
    }
    case 2: {
        QString text;
        for (qsizetype i = 0; i + 1 < payload.size(); i += 2)
            text += QChar(char16_t(quint8(payload[i]) | quint8(payload[i + 1]) << 8));
        return text;
    }
    default: {
        // Letters whose case folding differs from their lower case or changes length (Kelvin sign,
        // final sigma, dotted capital I, sharp s), CR and LF alone, spaces, CJK, a surrogate pair
        // and a lone surrogate.
        static const QString alphabet = QString::fromUtf16(u"aAbBkK\u212A\u03C3\u03C2\u03A3\u0130i\u00DF\r\n \u3000"
                                                           u"\t减肥茶&f=1\"></\U0001F600\xD800?");
        QString text;
        for (char c : payload)
            text += alphabet.at(quint8(c) % alphabet.size());
        return text;
    }
    }
}

class Input
{
public:
    Input(const uint8_t* data, size_t size)
        : provider_(data, size)
    {
    }

    QString text(size_t maxBytes = 4096) { return textFromBytes(provider_.ConsumeRandomLengthString(maxBytes)); }
    QByteArray bytes(size_t maxBytes = 4096)
    {
        const std::string raw = provider_.ConsumeRandomLengthString(maxBytes);
        return QByteArray(raw.data(), qsizetype(raw.size()));
    }
    QByteArray restAsBytes()
    {
        const std::string raw = provider_.ConsumeRemainingBytesAsString();
        return QByteArray(raw.data(), qsizetype(raw.size()));
    }
    // Integers come from the end of the input, so they do not disturb the texts of a seed.
    template <typename T> T number(T min, T max) { return provider_.ConsumeIntegralInRange<T>(min, max); }
    bool flag() { return provider_.ConsumeBool(); }
    FuzzedDataProvider& provider() { return provider_; }

private:
    FuzzedDataProvider provider_;
};

// Qt 6.4's case-blind search misses a needle that begins with a low surrogate where the haystack
// has the high half of a pair just before it, unless the haystack is cut there first. Markers in the
// program are fixed texts that never begin so; targets compare with a literal reading only for
// markers that do not either.
inline bool beginsWithLowSurrogate(const QString& marker)
{
    return !marker.isEmpty() && marker.front().isLowSurrogate();
}

inline QByteArray printable(const QString& text)
{
    QByteArray out;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\')
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return out;
}

[[noreturn]] inline void fail(const char* property, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, property);
    std::abort();
}

} // namespace Fuzz

// Checks a property; on failure prints it and aborts, which libFuzzer reports as a crash and saves.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            Fuzz::fail(#condition, __FILE__, __LINE__);                                                                \
    } while (false)

// As FUZZ_CHECK for two texts that must be equal; prints both.
#define FUZZ_CHECK_EQUAL(actual, expected)                                                                             \
    do {                                                                                                               \
        const QString fuzzActual_ = (actual);                                                                          \
        const QString fuzzExpected_ = (expected);                                                                      \
        if (fuzzActual_ != fuzzExpected_) {                                                                            \
            std::fprintf(stderr, "actual:   %s\nexpected: %s\n", Fuzz::printable(fuzzActual_).constData(),             \
                         Fuzz::printable(fuzzExpected_).constData());                                                  \
            Fuzz::fail(#actual " == " #expected, __FILE__, __LINE__);                                                  \
        }                                                                                                              \
    } while (false)
