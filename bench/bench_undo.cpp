// What the undo history of the keyword list costs on a list of 1,000,000 keywords: the run's appends
// of 25 keywords, each one undo step, against the same appends kept out of the history; a dropped
// file of another 1,000,000 lines added as one step, against the same lines kept out of it, and
// undoing it. Prints time, the growth of the resident memory (from /proc/self/status) and the
// commands the history holds (two for each line: its text and its line break).
#include "app/form1.h"
#include "platform/listreplace.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int ListLines = 1000000;
constexpr int Appends = 2000;
constexpr int KeywordsPerAppend = 25;

// Keywords of 4 to 12 Chinese characters, from a fixed seed.
QString keywords(int count, quint64 seed)
{
    const QString alphabet = u"减肥方法瘦身快速运动饮食健康美容护肤手机电脑游戏小说电影音乐新闻天气旅游酒店机票"_s;
    QString text;
    text.reserve(qsizetype(count) * 11);
    for (int i = 0; i < count; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        const int length = 4 + int(seed % 9);
        for (int c = 0; c < length; ++c)
            text += alphabet[int((seed >> (c * 5)) % quint64(alphabet.size()))];
        text += u"\r\n";
    }
    return text;
}

double residentMiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// The append as the run made it before it became a step of the history: with the history off,
// which also empties it.
void appendOutsideHistory(QPlainTextEdit* box, const QString& text)
{
    QTextDocument* document = box->document();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    document->setUndoRedoEnabled(true);
}

struct Measured
{
    double seconds;
    double growthMiB;
};

Measured measure(const std::function<void()>& run)
{
    QCoreApplication::processEvents();
    const double before = residentMiB();
    QElapsedTimer timer;
    timer.start();
    run();
    QCoreApplication::processEvents();
    return { timer.nsecsElapsed() / 1e9, residentMiB() - before };
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Form1 form;
    form.show();
    QCoreApplication::processEvents();
    QPlainTextEdit* box = form.Text1;

    const QString list = keywords(ListLines, 0x9e3779b97f4a7c15ULL);
    QList<QString> pieces;
    for (int i = 0; i < Appends; ++i)
        pieces.append(keywords(KeywordsPerAppend, 1000 + quint64(i)));
    const QString file = keywords(ListLines, 77);

    std::printf("Undo history of a keyword list of %d lines (%lld UTF-16 units)\n\n", ListLines,
                static_cast<long long>(list.size()));
    std::printf("| step | time | resident memory added MiB | commands in the history |\n|---|---|---|---|\n");

    box->setPlainText(list);
    const Measured outside = measure([&] {
        for (const QString& piece : std::as_const(pieces))
            appendOutsideHistory(box, piece);
    });
    std::printf("| %d appends of %d keywords outside the history (before) | %.3f ms each | %.1f | %d |\n", Appends,
                KeywordsPerAppend, outside.seconds * 1e3 / Appends, outside.growthMiB,
                box->document()->availableUndoSteps());

    box->setPlainText(list);
    const Measured inside = measure([&] {
        for (const QString& piece : std::as_const(pieces))
            ListReplace::appendToKeywordList(box, piece);
    });
    std::printf("| %d appends of %d keywords, one undo step each | %.3f ms each | %.1f | %d |\n", Appends,
                KeywordsPerAppend, inside.seconds * 1e3 / Appends, inside.growthMiB,
                box->document()->availableUndoSteps());

    const Measured undone = measure([&] {
        for (int i = 0; i < Appends; ++i)
            box->undo();
    });
    std::printf("| undoing them one by one | %.3f ms each | %.1f | %d |\n", undone.seconds * 1e3 / Appends,
                undone.growthMiB, box->document()->availableUndoSteps());
    const bool back = ListReplace::keywordListText(box) == list;

    box->setPlainText(list);
    const Measured droppedOutside = measure([&] { appendOutsideHistory(box, file); });
    std::printf("| a file of %d lines added outside the history (before) | %.2f s | %.1f | %d |\n", ListLines,
                droppedOutside.seconds, droppedOutside.growthMiB, box->document()->availableUndoSteps());

    box->setPlainText(list);
    const Measured dropped = measure([&] { ListReplace::appendToKeywordList(box, file); });
    std::printf("| a file of %d lines added as one step | %.2f s | %.1f | %d |\n", ListLines, dropped.seconds,
                dropped.growthMiB, box->document()->availableUndoSteps());
    const Measured dropUndone = measure([&] { box->undo(); });
    std::printf("| undoing that step | %.2f s | %.1f | %d |\n", dropUndone.seconds, dropUndone.growthMiB,
                box->document()->availableUndoSteps());
    const bool dropBack = ListReplace::keywordListText(box) == list;

    const QString both = list + file;
    const Measured whole = measure([&] { box->setPlainText(both); });
    std::printf("| setPlainText of the %d lines together (no history) | %.2f s | %.1f | %d |\n", 2 * ListLines,
                whole.seconds, whole.growthMiB, box->document()->availableUndoSteps());

    std::printf("\nappend %.3f ms outside the history, %.3f ms as an undo step (%.1f MiB for %d steps); "
                "drop %.2f s (%.1f MiB; %.1f MiB outside the history), undo %.2f s; undone lists %s\n",
                outside.seconds * 1e3 / Appends, inside.seconds * 1e3 / Appends, inside.growthMiB, Appends,
                dropped.seconds, dropped.growthMiB, droppedOutside.growthMiB, dropUndone.seconds,
                back && dropBack ? "equal" : "DIFFER");
    return back && dropBack ? 0 : 1;
}
