// The list transforms of Module1: removing blank and repeated items, and shuffling the items.
// Both cut the list into views of the source text and build the result with a single allocation.
#include "text/listtransforms_reference.h"
#include "text/module1.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Calls take(item) for each item of text cut at every occurrence of separator, scanning from the
// left: no items for an empty text, an empty item between adjacent separators and at either end.
template<typename Take>
void forEachItem(QStringView text, QStringView separator, Take take)
{
    if (text.isEmpty())
        return;
    if (separator.isEmpty()) {
        take(text);
        return;
    }
    qsizetype from = 0;
    if (separator == u"\r\n") {
        // A line feed is found with the fast single-character search; CRLF cannot overlap itself,
        // so every CR directly before a line feed ends an item.
        for (qsizetype lf = text.indexOf(u'\n', 1); lf >= 0; lf = text.indexOf(u'\n', lf + 1)) {
            if (text[lf - 1] == u'\r') {
                take(text.mid(from, lf - 1 - from));
                from = lf + 1;
            }
        }
    } else {
        for (qsizetype at = text.indexOf(separator); at >= 0; at = text.indexOf(separator, from)) {
            take(text.mid(from, at - from));
            from = at + separator.size();
        }
    }
    take(text.mid(from));
}

// A hint to bring memory into the cache before it is needed.
inline void prefetch(const void* address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

bool isBlank(QStringView item)
{
    for (QChar c : item) {
        if (c != u' ')
            return false;
    }
    return true;
}

// A separator without a border (no proper prefix equal to a suffix, as CRLF) cannot occur in the
// result across the edge of an item, so separator + item + separator occurs in the result exactly
// when item is one of its items: a set of the items answers the repeat test the same way.
bool hasNoBorder(QStringView separator)
{
    if (separator.isEmpty())
        return false;
    for (qsizetype k = 1; k < separator.size(); ++k) {
        if (separator.first(k) == separator.last(k))
            return false;
    }
    return true;
}

// Hashes spread over all 64 bits: qHash may fill only the low 32.
quint64 spreadHash(QStringView item)
{
    quint64 z = qHash(item, 0x51ed270bU);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Marks the first occurrence of each item. Open addressing with linear probing: a slot
// holds the index + 1 of the first item (0 when free) in its low 40 bits and the top of the
// item's hash above them. The slot of an item a few places ahead is fetched early, since the
// slots of a long list lie far apart in memory.
std::vector<bool> firstOccurrences(const QList<QStringView>& items)
{
    constexpr int IndexBits = 40;
    constexpr quint64 IndexMask = (quint64(1) << IndexBits) - 1;
    constexpr qsizetype Ahead = 16;

    const qsizetype n = items.size();
    std::vector<quint64> hashes(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        hashes[size_t(i)] = spreadHash(items[i]);
    size_t capacity = 16;
    while (capacity < size_t(n) * 2)
        capacity *= 2;
    const size_t mask = capacity - 1;
    std::vector<quint64> table(capacity, 0);

    std::vector<bool> keep(size_t(n), false);
    for (qsizetype i = 0; i < n; ++i) {
        if (i + Ahead < n)
            prefetch(&table[hashes[size_t(i + Ahead)] & mask]);
        const quint64 hash = hashes[size_t(i)];
        const quint64 tag = ((hash >> IndexBits) | 1U) << IndexBits;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const quint64 slot = table[at];
            if (slot == 0) {
                table[at] = tag | quint64(i + 1);
                keep[size_t(i)] = true;
                break;
            }
            if ((slot & ~IndexMask) == tag && items[qsizetype(slot & IndexMask) - 1] == items[i])
                break;
        }
    }
    return keep;
}

// The process-wide generator: a 64-bit linear congruential state into which every draw folds the
// clock, read through the splitmix64 finaliser. The state keeps advancing between draws, so two
// draws within one clock tick still differ.
std::atomic<quint64> generatorState { 0x853c49e6748fea9bULL };

class ClockSeededGenerator
{
public:
    ClockSeededGenerator() : state_(generatorState.load(std::memory_order_relaxed)) { }
    ~ClockSeededGenerator() { generatorState.store(state_, std::memory_order_relaxed); }

    void reseedFromClock()
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL + quint64(now);
    }

    // Uniform on [0, 1) with 53 random bits, so that every index of a long list can be drawn.
    double draw() const
    {
        quint64 z = state_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        return double(z >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    quint64 state_;
};

} // namespace

namespace Module1 {

QString DistinctLinesBySearch(const QString& text, const QString& separator)
{
    QString result = separator;
    forEachItem(text, separator, [&](QStringView item) {
        if (isBlank(item))
            return;
        const QString probe = separator + item + separator;
        if (result.contains(probe))
            return;
        result += item + separator;
    });
    return result;
}

QString DistinctLines(const QString& text, const QString& separator)
{
    if (!hasNoBorder(separator))
        return DistinctLinesBySearch(text, separator);

    QList<QStringView> items;
    forEachItem(text, separator, [&](QStringView item) {
        if (!isBlank(item))
            items.append(item);
    });
    const std::vector<bool> keep = firstOccurrences(items);

    qsizetype length = separator.size();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (keep[size_t(i)])
            length += items[i].size() + separator.size();
    }
    QString result;
    result.reserve(length);
    result += separator;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (keep[size_t(i)]) {
            result += items[i];
            result += separator;
        }
    }
    return result;
}

QString ShuffleLines(const QString& text, const QString& separator)
{
    QList<QStringView> items;
    forEachItem(text, separator, [&](QStringView item) { items.append(item); });
    const qsizetype n = items.size();

    // Every step draws its partner from the whole list, not from the items after it. The draws do
    // not depend on the items, so they are taken first; the exchanges then run in the same order
    // with the next partners fetched ahead, as they lie anywhere in a long list.
    std::vector<qsizetype> targets(size_t(n), 0);
    {
        ClockSeededGenerator generator;
        for (qsizetype i = 0; i < n; ++i) {
            generator.reseedFromClock();
            targets[size_t(i)] = std::min(qsizetype(std::floor(generator.draw() * double(n))), n - 1);
        }
    }
    constexpr qsizetype Ahead = 16;
    QStringView* const a = items.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (i + Ahead < n)
            prefetch(a + targets[size_t(i + Ahead)]);
        std::swap(a[i], a[targets[size_t(i)]]);
    }

    qsizetype length = 0;
    for (QStringView item : std::as_const(items)) {
        if (!item.isEmpty())
            length += item.size() + separator.size();
    }
    QString result;
    result.reserve(length);
    for (qsizetype i = 0; i < n; ++i) {
        if (i + Ahead < n)
            prefetch(a[i + Ahead].data());
        if (!a[i].isEmpty()) {
            result += a[i];
            result += separator;
        }
    }
    return result;
}

} // namespace Module1
