// DistinctLines and ShuffleLines: result shapes, the hash-set repeat test against the literal
// search it replaces, and the spread of the shuffle.
#include "text/listtransforms_reference.h"
#include "text/module1.h"

#include <QMap>
#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The non-empty items of a CRLF list, sorted, for comparing multisets.
QStringList sortedItems(const QString& list)
{
    QStringList items = list.split(u"\r\n"_s, Qt::SkipEmptyParts);
    items.sort();
    return items;
}

QString randomText(QRandomGenerator& random, QStringView alphabet, int maxLength)
{
    QString text;
    const int length = random.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

} // namespace

class TestListTransforms : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void distinctLines_data();
    void distinctLines();
    void distinctLinesIsIdempotent_data();
    void distinctLinesIsIdempotent();
    void distinctLinesAgreesWithSearch_data();
    void distinctLinesAgreesWithSearch();
    void distinctLinesLargeListAgreesWithSearch();

    void shuffleLinesFixedResults_data();
    void shuffleLinesFixedResults();
    void shuffleLinesKeepsNonEmptyItems_data();
    void shuffleLinesKeepsNonEmptyItems();
    void shuffleLinesTwoItems();
    void shuffleLinesReachesEveryOrder();
    void shuffleLinesMovesItemsOfLongList();
};

void TestListTransforms::distinctLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    const QString crlf = u"\r\n"_s;
    QTest::newRow("repeat dropped") << u"a\r\nb\r\na\r\n"_s << crlf << u"\r\na\r\nb\r\n"_s;
    QTest::newRow("empty text") << QString() << crlf << crlf;
    QTest::newRow("separators and spaces only") << u"  \r\n\r\n "_s << crlf << crlf;
    QTest::newRow("letter case matters") << u"Word\r\nword\r\nWord"_s << crlf << u"\r\nWord\r\nword\r\n"_s;
    QTest::newRow("leading space kept") << u" a\r\na"_s << crlf << u"\r\n a\r\na\r\n"_s;
    QTest::newRow("no separator") << u"abc"_s << crlf << u"\r\nabc\r\n"_s;
    QTest::newRow("tab and ideographic space are content")
        << u"\t\r\n\u3000\r\n\t"_s << crlf << u"\r\n\t\r\n\u3000\r\n"_s;
    QTest::newRow("lone CR and LF stay inside items")
        << u"a\rb\r\na\nb\r\na\rb\r\n\r\r\n"_s << crlf << u"\r\na\rb\r\na\nb\r\n\r\r\n"_s;
    QTest::newRow("CR before CRLF") << u"x\r\r\nx\r\r\nx"_s << crlf << u"\r\nx\r\r\nx\r\n"_s;
    QTest::newRow("chinese") << u"减肥\r\n减肥方法\r\n减肥\r\n"_s << crlf << u"\r\n减肥\r\n减肥方法\r\n"_s;
    QTest::newRow("first occurrence keeps its place")
        << u"c\r\nb\r\na\r\nb\r\nc"_s << crlf << u"\r\nc\r\nb\r\na\r\n"_s;
    QTest::newRow("comma separator") << u"a,b,,a, "_s << u","_s << u",a,b,"_s;
    QTest::newRow("overlapping separator") << u"aaa"_s << u"aa"_s << u"aaaaa"_s;
    QTest::newRow("overlapping separator hides an item") << u"abaab"_s << u"aa"_s << u"aaabaa"_s;
    QTest::newRow("bordered separator hides an item") << u"baaabaa"_s << u"aba"_s << u"ababaaaba"_s;
}

void TestListTransforms::distinctLines()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(Module1::DistinctLines(text, separator), expected);
    QCOMPARE(Module1::DistinctLinesBySearch(text, separator), expected);
}

void TestListTransforms::distinctLinesIsIdempotent_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("repeats and blanks") << u"a\r\n \r\nb\r\na\r\n\r\nB\r\n"_s;
    QTest::newRow("leading line break") << u"\r\nx\r\ny\r\n"_s;
}

void TestListTransforms::distinctLinesIsIdempotent()
{
    QFETCH(QString, text);
    const QString once = Module1::DistinctLines(text, u"\r\n"_s);
    QCOMPARE(Module1::DistinctLines(once, u"\r\n"_s), once);
}

void TestListTransforms::distinctLinesAgreesWithSearch_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("alphabet");
    QTest::newRow("CRLF") << u"\r\n"_s << u"ab \r\n"_s;
    QTest::newRow("CRLF chinese") << u"\r\n"_s << u"减肥 \r\nA"_s;
    QTest::newRow("comma") << u","_s << u"a,b "_s;
    QTest::newRow("two letters") << u"ab"_s << u"ab "_s;
    QTest::newRow("bordered") << u"aba"_s << u"ab "_s;
}

// Random lists over a few characters, so that repeats, blanks, lone CR and LF and near-separators
// occur often.
void TestListTransforms::distinctLinesAgreesWithSearch()
{
    QFETCH(QString, separator);
    QFETCH(QString, alphabet);
    QRandomGenerator random(20240611);
    for (int round = 0; round < 3000; ++round) {
        const QString text = randomText(random, alphabet, 24);
        QCOMPARE(Module1::DistinctLines(text, separator), Module1::DistinctLinesBySearch(text, separator));
    }
}

void TestListTransforms::distinctLinesLargeListAgreesWithSearch()
{
    QRandomGenerator random(7);
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += randomText(random, u"减肥方法 Aa", 4) + u"\r\n";
    QCOMPARE(Module1::DistinctLines(text, u"\r\n"_s), Module1::DistinctLinesBySearch(text, u"\r\n"_s));
}

void TestListTransforms::shuffleLinesFixedResults_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("one item") << u"x"_s << u"x\r\n"_s;
    QTest::newRow("separators only") << u"\r\n\r\n"_s << QString();
    QTest::newRow("one item among empty ones") << u"\r\nx\r\n\r\n"_s << u"x\r\n"_s;
    QTest::newRow("two equal items") << u"a\r\na"_s << u"a\r\na\r\n"_s;
}

void TestListTransforms::shuffleLinesFixedResults()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(Module1::ShuffleLines(text, u"\r\n"_s), expected);
}

void TestListTransforms::shuffleLinesKeepsNonEmptyItems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("spaces-only item survives") << u"  \r\nb"_s << QStringList { u"  "_s, u"b"_s };
    QTest::newRow("empty items dropped") << u"a\r\n\r\nb\r\n"_s << QStringList { u"a"_s, u"b"_s };
    QTest::newRow("repeats kept") << u"a\r\nb\r\na\r\na"_s << QStringList { u"a"_s, u"a"_s, u"a"_s, u"b"_s };
    QTest::newRow("lone CR and LF inside items")
        << u"a\rb\r\nc\nd\r\n"_s << QStringList { u"a\rb"_s, u"c\nd"_s };
}

void TestListTransforms::shuffleLinesKeepsNonEmptyItems()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    for (int round = 0; round < 50; ++round) {
        const QString shuffled = Module1::ShuffleLines(text, u"\r\n"_s);
        QVERIFY(shuffled.endsWith(u"\r\n"_s));
        QCOMPARE(sortedItems(shuffled), items);
    }
}

void TestListTransforms::shuffleLinesTwoItems()
{
    QSet<QString> seen;
    for (int round = 0; round < 200; ++round)
        seen.insert(Module1::ShuffleLines(u"a\r\n\r\nb\r\n"_s, u"\r\n"_s));
    QCOMPARE(seen, (QSet<QString> { u"a\r\nb\r\n"_s, u"b\r\na\r\n"_s }));
}

// Drawing j from the whole array gives the six orders of three items in 4, 5 or 5 of 27 cases each:
// every order must show up near that share, even though the draws follow each other within one
// clock tick.
void TestListTransforms::shuffleLinesReachesEveryOrder()
{
    QMap<QString, int> counts;
    const int rounds = 5400;
    for (int round = 0; round < rounds; ++round)
        ++counts[Module1::ShuffleLines(u"a\r\nb\r\nc"_s, u"\r\n"_s)];
    QCOMPARE(counts.size(), 6);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        QVERIFY2(it.value() > rounds / 9 && it.value() < rounds / 4,
                 qPrintable(it.key().simplified() + u' ' + QString::number(it.value())));
    }
}

void TestListTransforms::shuffleLinesMovesItemsOfLongList()
{
    QString text;
    for (int i = 0; i < 10000; ++i)
        text += QString::number(i) + u"\r\n";
    const QString shuffled = Module1::ShuffleLines(text, u"\r\n"_s);
    const QStringList before = text.split(u"\r\n"_s, Qt::SkipEmptyParts);
    const QStringList after = shuffled.split(u"\r\n"_s, Qt::SkipEmptyParts);
    QCOMPARE(after.size(), before.size());
    int inPlace = 0;
    for (int i = 0; i < before.size(); ++i)
        inPlace += before[i] == after[i];
    // By chance about one item stays in place; far more means the draws do not cover the list.
    QVERIFY2(inPlace < 200, qPrintable(QString::number(inPlace)));
    QCOMPARE(sortedItems(shuffled), sortedItems(text));
}

QTEST_GUILESS_MAIN(TestListTransforms)
#include "tst_listtransforms.moc"
