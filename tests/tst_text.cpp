// Module1's marker extraction and number reading, and the typed filters of several words, as tables
// of named cases; the word segmenter on plain and hostile text.
#include "text/module1.h"
#include "text/segmenter.h"
#include "text/wordfilter.h"

#include <QTest>
#include <thread>

using namespace Qt::StringLiterals;

class TestText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textBetween_data();
    void textBetween();
    void collectBetween_data();
    void collectBetween();
    void readWholeNumber_data();
    void readWholeNumber();
    void filterWords_data();
    void filterWords();
    void filterMatches_data();
    void filterMatches();
    void segmenterWords_data();
    void segmenterWords();
    void segmenterLongLines_data();
    void segmenterLongLines();
    void segmenterOnSeveralThreads();
    void segmenterWithoutLexicon();
};

void TestText::textBetween_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << u"xx<S>abc<E>yy"_s << u"<S>"_s << u"<E>"_s << u"abc"_s;
    QTest::newRow("start missing") << u"xx abc<E>"_s << u"<S>"_s << u"<E>"_s << QString();
    QTest::newRow("end missing") << u"xx<S>abc"_s << u"<S>"_s << u"<E>"_s << QString();
    QTest::newRow("empty text") << QString() << u"<S>"_s << u"<E>"_s << QString();
    QTest::newRow("end only before start runs to the end") << u"<E>a<S>bc"_s << u"<S>"_s << u"<E>"_s << u"bc"_s;
    QTest::newRow("end only before start stops at next start")
        << u"<E><S>b<S>c"_s << u"<S>"_s << u"<E>"_s << u"b"_s;
    QTest::newRow("second start before end") << u"<S>ab<S>cd<E>"_s << u"<S>"_s << u"<E>"_s << u"ab"_s;
    QTest::newRow("empty end marker") << u"x<S>abc<S>d"_s << u"<S>"_s << QString() << u"abc"_s;
    QTest::newRow("empty start marker") << u"abc<E>"_s << QString() << u"<E>"_s << QString();
    QTest::newRow("markers in capitals, result lower")
        << u"相关搜索</TH><A>KeyWord</A></TABLE>"_s << u"相关搜索</th>"_s << u"</table>"_s << u"<a>keyword</a>"_s;
    QTest::newRow("chinese unchanged") << u"前相关搜索</th>减肥茶</table>后"_s << u"相关搜索</th>"_s << u"</table>"_s
                                       << u"减肥茶"_s;
    QTest::newRow("first of several blocks") << u"<S>1<E><S>2<E>"_s << u"<S>"_s << u"<E>"_s << u"1"_s;
}

void TestText::textBetween()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, expected);
    QCOMPARE(Module1::TextBetween(text, start, end), expected);
}

void TestText::collectBetween_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("expected");

    QTest::newRow("three items") << u"<a>x</a><a>y</a><a>z</a>"_s << u"<a>"_s << u"</a>"_s << u"x\r\ny\r\nz\r\n"_s;
    QTest::newRow("empty item ends the collection")
        << u"<a>x</a><a></a><a>y</a>"_s << u"<a>"_s << u"</a>"_s << u"x\r\n"_s;
    QTest::newRow("last start without end") << u"<a>x</a><a>y"_s << u"<a>"_s << u"</a>"_s << u"x\r\n"_s;
    QTest::newRow("markers in capitals, items keep case")
        << u"<A>Foo</A><a>BAR</a>"_s << u"<a>"_s << u"</a>"_s << u"Foo\r\nBAR\r\n"_s;
    QTest::newRow("no markers") << u"nothing here"_s << u"<a>"_s << u"</a>"_s << QString();
    QTest::newRow("only end marker") << u"x</a>"_s << u"<a>"_s << u"</a>"_s << QString();
    QTest::newRow("items untrimmed and undecoded")
        << u"<a> a&amp;b </a><a>c\r\nd</a>"_s << u"<a>"_s << u"</a>"_s << u" a&amp;b \r\nc\r\nd\r\n"_s;
    QTest::newRow("end marker opens next item")
        << u"\"x</a>\"y</a>"_s << u"\""_s << u"</a>"_s << u"x\r\ny\r\n"_s;
    QTest::newRow("empty end marker") << u"<a>x</a>"_s << u"<a>"_s << QString() << QString();
    QTest::newRow("empty text") << QString() << u"<a>"_s << u"</a>"_s << QString();
}

void TestText::collectBetween()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, expected);
    QCOMPARE(Module1::CollectBetween(text, start, end), expected);
}

void TestText::readWholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << u"1000"_s << true << 1000;
    QTest::newRow("rounded down") << u"2.9"_s << true << 2;
    QTest::newRow("negative rounded down") << u"-0.5"_s << true << -1;
    QTest::newRow("spaces around") << u" 3 "_s << true << 3;
    QTest::newRow("minus one") << u"-1"_s << true << -1;
    QTest::newRow("largest") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("smallest") << u"-2147483648"_s << true << int(-2147483648LL);
    QTest::newRow("just too large") << u"2147483648"_s << false << 0;
    QTest::newRow("huge exponent") << u"1e99"_s << false << 0;
    QTest::newRow("letters") << u"abc"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("infinity") << u"inf"_s << false << 0;
    QTest::newRow("not a number") << u"nan"_s << false << 0;
    QTest::newRow("digits then letters") << u"12ab"_s << false << 0;
    QTest::newRow("full-width digits") << u"１０００"_s << true << 1000;
    QTest::newRow("full-width sign and point") << u"－０．５"_s << true << -1;
    QTest::newRow("full-width letters") << u"ａｂｃ"_s << false << 0;
}

void TestText::readWholeNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(int, expected);
    const auto value = Module1::ReadWholeNumber(text);
    QCOMPARE(value.has_value(), readable);
    if (readable)
        QCOMPARE(*value, expected);
}

void TestText::filterWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("minusExcludes");
    QTest::addColumn<QStringList>("required");
    QTest::addColumn<QStringList>("excluded");

    QTest::newRow("one word") << u"减肥"_s << true << QStringList{u"减肥"_s} << QStringList();
    QTest::newRow("spaces around one word") << u"  减肥 "_s << true << QStringList{u"减肥"_s} << QStringList();
    QTest::newRow("words and a minus word") << u"减肥 方法 -药"_s << true << QStringList{u"减肥"_s, u"方法"_s}
                                            << QStringList{u"药"_s};
    QTest::newRow("full-width spaces and minus") << u"\u3000减肥\u3000\u3000－药 "_s << true << QStringList{u"减肥"_s}
                                                 << QStringList{u"药"_s};
    QTest::newRow("minus words only") << u"-药 -茶"_s << true << QStringList() << QStringList{u"药"_s, u"茶"_s};
    QTest::newRow("lone minus is a word") << u"减肥 - 方法"_s << true << QStringList{u"减肥"_s, u"-"_s, u"方法"_s}
                                          << QStringList();
    QTest::newRow("lone full-width minus is a word") << u"－"_s << true << QStringList{u"－"_s} << QStringList();
    QTest::newRow("double minus excludes a minus") << u"--"_s << true << QStringList() << QStringList{u"-"_s};
    QTest::newRow("minus inside a word") << u"t-shirt"_s << true << QStringList{u"t-shirt"_s} << QStringList();
    QTest::newRow("tab is no separator") << u"a\tb"_s << true << QStringList{u"a\tb"_s} << QStringList();
    QTest::newRow("no-break space is no separator") << u"a\u00a0b"_s << true << QStringList{u"a\u00a0b"_s}
                                                    << QStringList();
    QTest::newRow("without minus words") << u"药 -茶 －酒"_s << false << QStringList{u"药"_s, u"-茶"_s, u"－酒"_s}
                                         << QStringList();
    QTest::newRow("spaces only") << u" \u3000 "_s << true << QStringList() << QStringList();
    QTest::newRow("empty") << QString() << true << QStringList() << QStringList();
}

void TestText::filterWords()
{
    QFETCH(QString, text);
    QFETCH(bool, minusExcludes);
    QFETCH(QStringList, required);
    QFETCH(QStringList, excluded);
    const WordFilter::Words words = WordFilter::parse(text, minusExcludes);
    QCOMPARE(words.required, required);
    QCOMPARE(words.excluded, excluded);
    QCOMPARE(words.isEmpty(), required.isEmpty() && excluded.isEmpty());
}

void TestText::filterMatches_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<bool>("containsAny"); // of every word of the filter, minus words read as words

    QTest::newRow("both words") << u"减肥 方法"_s << u"减肥的方法"_s << true << true;
    QTest::newRow("words in any order") << u"方法 减肥"_s << u"减肥方法"_s << true << true;
    QTest::newRow("one word missing") << u"减肥 方法"_s << u"减肥茶"_s << false << true;
    QTest::newRow("minus word present") << u"减肥 -药"_s << u"减肥药"_s << false << true;
    QTest::newRow("minus word absent") << u"减肥 -药"_s << u"减肥茶"_s << true << true;
    QTest::newRow("letter case ignored") << u"App -PRO"_s << u"减肥APP"_s << true << true;
    QTest::newRow("minus word case ignored") << u"-pro"_s << u"减肥App Pro"_s << false << false;
    QTest::newRow("minus words only, none present") << u"-药 -茶"_s << u"减肥方法"_s << true << false;
    QTest::newRow("no words matches everything") << u"  "_s << u"减肥"_s << true << false;
    QTest::newRow("words overlap in the text") << u"减肥 肥茶"_s << u"减肥茶"_s << true << true;
    QTest::newRow("empty text") << u"减肥"_s << QString() << false << false;
}

void TestText::filterMatches()
{
    QFETCH(QString, filter);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    QFETCH(bool, containsAny);
    QCOMPARE(WordFilter::matches(text, WordFilter::parse(filter)), matches);
    QCOMPARE(WordFilter::containsAny(text, WordFilter::parse(filter, false).required), containsAny);
}

void TestText::segmenterWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("keyword") << u"减肥茶哪个牌子好"_s << QStringList { u"减肥"_s, u"茶"_s, u"哪个"_s, u"牌子"_s, u"好"_s };
    QTest::newRow("多少钱 is split") << u"减肥茶多少钱"_s << QStringList { u"减肥"_s, u"茶"_s, u"多"_s, u"少钱"_s };
    QTest::newRow("Latin lower case, model and its parts")
        << u"iPhone13 价格"_s << QStringList { u"iphone"_s, u"13"_s, u"iphone13"_s, u"价格"_s };
    QTest::newRow("Latin with its kept punctuation") << u"C++教程"_s << QStringList { u"c++"_s, u"教程"_s };
    QTest::newRow("number with its unit") << u"一个月瘦20斤"_s
                                          << QStringList { u"一"_s, u"个月"_s, u"瘦"_s, u"20斤"_s };
    QTest::newRow("punctuation stays") << u"，。！"_s << QStringList { u"，"_s, u"。"_s, u"！"_s };
    QTest::newRow("emoji dropped") << u"\U0001F600减肥"_s << QStringList { u"减肥"_s };
    QTest::newRow("lone surrogates") << u"\xDC00减肥\xD800茶\xD800"_s << QStringList { u"减肥"_s, u"茶"_s };
    QTest::newRow("NUL and control characters cut") << u"减肥\u0000茶\u0001餐"_s
                                                    << QStringList { u"减肥"_s, u"茶"_s, u"餐"_s };
    QTest::newRow("spaces only") << u" \t\u3000 "_s << QStringList();
    QTest::newRow("empty") << QString() << QStringList();
}

void TestText::segmenterWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, words);
    const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
    QVERIFY2(segmenter.available(), qPrintable(segmenter.errorText()));
    QCOMPARE(segmenter.errorText(), QString());
    QCOMPARE(segmenter.words(text), words);
}

void TestText::segmenterLongLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("wordCount");
    QTest::addColumn<QString>("joined"); // the words put together again
    QTest::newRow("100,000 characters with spaces") << u"减肥茶 "_s.repeated(25000) << qsizetype(50000)
                                                    << u"减肥茶"_s.repeated(25000);
    QTest::newRow("punctuation only") << u"，"_s.repeated(100000) << qsizetype(100000) << u"，"_s.repeated(100000);
    // Cut into pieces where the text has no space: every character is still in a word.
    QTest::newRow("100,002 characters without a break") << u"减肥茶"_s.repeated(33334) << qsizetype(-1)
                                                        << u"减肥茶"_s.repeated(33334);
    QTest::newRow("100,000 letters") << u"a"_s.repeated(100000) << qsizetype(-1) << u"a"_s.repeated(100000);
    QTest::newRow("surrogate pairs across 120,000 code units") << u"\U0001F600减"_s.repeated(40000) << qsizetype(40000)
                                                << u"减"_s.repeated(40000);
}

void TestText::segmenterLongLines()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, wordCount);
    QFETCH(QString, joined);
    const QStringList words = Segmentation::Segmenter::shared().words(text);
    if (wordCount >= 0)
        QCOMPARE(words.size(), wordCount);
    QCOMPARE(words.join(QString()), joined);
}

void TestText::segmenterOnSeveralThreads()
{
    const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
    const QString text = u"减肥茶哪个牌子好 iPhone13多少钱 产后瘦身方法"_s.repeated(200);
    const QStringList expected = segmenter.words(text);
    QCOMPARE(expected.size(), 2600);
    std::vector<QStringList> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                results[t] = segmenter.words(text);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const QStringList& words : results)
        QCOMPARE(words, expected);
}

void TestText::segmenterWithoutLexicon()
{
    const Segmentation::Segmenter missing(u"/nonexistent/friso"_s);
    QVERIFY(!missing.available());
    QCOMPARE(missing.errorText(), u"找不到分词词典（/nonexistent/friso/），请安装 friso-dict 软件包"_s);
    QCOMPARE(missing.words(u"减肥茶"_s), QStringList());
}

QTEST_APPLESS_MAIN(TestText)
#include "tst_text.moc"
