// Mining at scale: a run of Form1 against an in-process fake search server that answers at once,
// with the fast refresh and indexed novelty test, and with the whole-replace refresh and the scan;
// and the fast method again with pages of today's layout (rs_new, UTF-8) instead of the classic table.
// Prints the per-query overhead (time not spent waiting for the page) at several list sizes; then the
// time a query takes end to end on the web engine's path, beside the fetch component's on the same
// pages of the same server.
#include "app/form1.h"
#include "app/webstriploader.h"
#include "mining/extraction.h"
#include "mining/pagesource.h"
#include "platform/inet.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int LinksPerPage = 25;
constexpr int CountLimit = 52000;
const int Checkpoints[] = {1000, 10000, 50000};
constexpr int Window = 20; // queries averaged at each checkpoint

QString keywordName(int n)
{
    static const QString digits = u"零一二三四五六七八九"_s;
    QString name = u"减肥方法"_s;
    for (QChar c : QString::number(n))
        name += digits.at(c.digitValue());
    return name;
}

qint64 peakKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? 0 : text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
}

// One run in this process; prints "overhead <ms at each checkpoint> total <s> queries <n> found <n> peak <KiB>".
int runOnce(bool plain, bool todaysLayout, bool suggestions)
{
    FakeHttpServer server;
    if (!server.start())
        return 1;
    server.useAsApplicationProxy();

    QHash<QString, int> numberOf;
    Form1 form;
    form.setPlainRefreshForBenchmark(plain);
    form.Text7->setText(QStringLiteral("0")); // no pause between queries: the overhead alone
    form.Text3->setText(keywordName(0));
    form.Text4->setText(QString::number(CountLimit));
    form.Check1->setChecked(suggestions);
    form.show();

    struct Mark
    {
        qint64 wallNs;
        qint64 waitNs;
        int found;
    };
    QList<Mark> marks;
    QElapsedTimer clock;
    clock.start();
    int next = 1;
    server.setHandler([&](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (request.url.path() == u"/sugrec") {
            // Ten suggestions: the last five links of the page just served, and five new words.
            QByteArray answer = R"({"q":"x","p":false,"g":[)";
            for (int i = 0; i < 10; ++i) {
                const QString word = keywordName(i < 5 ? next - 1 - i : next++);
                answer += (i ? "," : "") + (R"({"type":"sug","sa":"s_)" + QByteArray::number(i + 1) + R"(","q":")"
                                            + word.toUtf8() + R"("})");
            }
            response.contentType = "application/json";
            response.body = answer + "]}";
            return response;
        }
        // Both requests of a keyword make one query: it is timed from result page to result page.
        marks.append({clock.nsecsElapsed(), form.Inet1->totalWaitNs(), form.miningRun()->FoundCount});
        QStringList links;
        for (int i = 0; i < LinksPerPage; ++i)
            links << keywordName(next++);
        if (todaysLayout) {
            response.contentType = "text/html; charset=utf-8";
            response.body = SearchPages::resultPage2026(links);
        } else {
            response.body = SearchPages::resultPage(links);
        }
        return response;
    });

    form.Command4->click();
    const double totalSeconds = clock.nsecsElapsed() / 1e9;
    // The list shows RunList's keywords without its empty entries (before the seed page's keywords
    // and between them and the later ones).
    QString shown = form.miningRun()->RunList.mid(2);
    shown.replace(shown.indexOf(u"\r\n\r\n"_s), 4, u"\r\n"_s);
    if (ListReplace::keywordListText(form.Text1) != shown || QGuiApplication::clipboard()->text() != shown) {
        std::fprintf(stderr, "Text1 or the clipboard differs from RunList's keywords\n");
        return 1;
    }

    QString line = u"overhead"_s;
    for (int checkpoint : Checkpoints) {
        int a = 0;
        while (a < marks.size() && marks[a].found < checkpoint)
            ++a;
        const int b = qMin(a + Window, int(marks.size()) - 1);
        if (b <= a) {
            line += u" nan"_s;
            continue;
        }
        const double overheadNs =
            double((marks[b].wallNs - marks[a].wallNs) - (marks[b].waitNs - marks[a].waitNs)) / (b - a);
        line += u" "_s + QString::number(overheadNs / 1e6, 'f', 3);
    }
    line += u" total %1 queries %2 found %3 peak %4"_s.arg(QString::number(totalSeconds, 'f', 2),
                                                          QString::number(marks.size()),
                                                          QString::number(form.miningRun()->FoundCount), QString::number(peakKiB()));
    std::printf("%s\n", qPrintable(line));
    return 0;
}

// One query of either path: the result page, then its related searches read as a run reads them.
// Returns the milliseconds it took, or a negative number when the page did not give every link.
double timedQuery(Mining::PageSource& source, const QString& keyword)
{
    QElapsedTimer clock;
    clock.start();
    const FetchResult page = source.fetch(Mining::resultPageAddress(keyword), Inet::Expect::Page);
    const Mining::RelatedSearches offered = Mining::relatedSearches(page.text, QString::fromUtf16(Mining::BlockStart),
                                                                    QString::fromUtf16(Mining::BlockEnd));
    const Mining::Extraction taken
        = Mining::extractNewKeywords(offered.classicBlock, QString::fromUtf16(Mining::ItemStart),
                                     QString::fromUtf16(Mining::ItemEnd), {}, [](const QString&) { return false; });
    const double ms = clock.nsecsElapsed() / 1e6;
    return page.ok && taken.count == LinksPerPage ? ms : -1;
}

double medianOf(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The web engine's path and Inet1's against the same local server, the usual result page each time;
// prints one line. The engine's first page, which waits for the plugin to load and the engine to start,
// is not among the twenty.
int runWebEngine()
{
    FakeHttpServer server;
    if (!server.start())
        return 1;
    server.useAsApplicationProxy();
    int next = 1;
    server.setHandler([&next](const FakeHttpServer::Request&) {
        QStringList links;
        for (int i = 0; i < LinksPerPage; ++i)
            links << keywordName(next++);
        FakeHttpServer::Response response;
        response.body = SearchPages::resultPage(links);
        return response;
    });

    Inet inet;
    QElapsedTimer startUp;
    startUp.start();
    const std::unique_ptr<Mining::PageSource> web = WebStripLoader::createWebPageSource(&inet);
    if (!web) {
        std::printf("web engine: cannot start here (root with its sandbox on, no writable /dev/shm, or no "
                    "plugin beside the benchmark); Inet1 only\n");
        return 0;
    }
    constexpr int Queries = 20;
    if (timedQuery(*web, keywordName(0)) < 0) {
        std::printf("web engine: the first page failed\n");
        return 1;
    }
    const double firstMs = startUp.nsecsElapsed() / 1e6;
    Mining::InetPageSource fetcher(&inet);
    QList<double> webMs;
    QList<double> inetMs;
    for (int i = 1; i <= Queries; ++i) {
        webMs << timedQuery(*web, keywordName(i));
        inetMs << timedQuery(fetcher, keywordName(i));
        if (webMs.last() < 0 || inetMs.last() < 0) {
            std::printf("web engine: query %d failed\n", i);
            return 1;
        }
    }
    std::printf("web engine %.1f ms per query (median of %d), Inet1 %.1f ms on the same pages; the first "
                "page %.0f ms, loading the plugin and starting the engine\n",
                medianOf(webMs), Queries, medianOf(inetMs), firstMs);
    return 0;
}

QStringList childRun(const QString& program, const QString& mode)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {mode});
    child.waitForFinished(-1);
    return QString::fromLatin1(child.readAllStandardOutput()).trimmed().split(u' ');
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() > 1 && args.at(1) == u"web")
        return runWebEngine();
    if (args.size() > 1)
        return runOnce(args.at(1) == u"plain", args.at(1) == u"today", args.at(1) == u"suggest");

    std::printf("Mining run against an in-process fake search server (%d links a page, count limit %d)\n",
                LinksPerPage, CountLimit);
    const QStringList fast = childRun(args.at(0), u"fast"_s);
    const QStringList today = childRun(args.at(0), u"today"_s);
    const QStringList suggest = childRun(args.at(0), u"suggest"_s);
    const QStringList plain = childRun(args.at(0), u"plain"_s);
    if (fast.size() < 12 || today.size() < 12 || suggest.size() < 12 || plain.size() < 12) {
        std::printf("a run failed\n");
        return 1;
    }
    std::printf("\n| method | overhead@1000 ms | overhead@10000 ms | overhead@50000 ms | total s | queries | keywords | peak MiB |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    auto row = [](const char* name, const QStringList& f) {
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %.0f |\n", name, qPrintable(f[1]), qPrintable(f[2]),
                    qPrintable(f[3]), qPrintable(f[5]), qPrintable(f[7]), qPrintable(f[9]), f[11].toDouble() / 1024);
    };
    row("append refresh + novelty index", fast);
    row("the same, pages of the rs_new layout", today);
    row("the same, with the search box's suggestions (two requests a query)", suggest);
    row("whole replace + scan", plain);
    const double x = fast[3].toDouble();
    const double y = plain[3].toDouble();
    std::printf("\noverhead@50000 %.3f ms, rs_new pages %s ms, with suggestions %s ms, whole-replace %.3f ms, "
                "ratio %.1f\n",
                x, qPrintable(today[3]), qPrintable(suggest[3]), y, x > 0 ? y / x : 0.0);
    // The engine's line is printed as the child gave it; a child that could not run it says so.
    const QStringList web = childRun(args.at(0), u"web"_s);
    std::printf("\n%s\n", web.join(u' ').isEmpty() ? "web engine: the run gave no line" : qPrintable(web.join(u' ')));
    return 0;
}
