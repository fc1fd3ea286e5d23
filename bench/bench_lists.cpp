// Time of the list commands, a dropped GBK keyword file and the two exports on lists of 100,000 and
// 1,000,000 keywords: the computation alone, the whole handler on a shown Form1 (text box and
// clipboard included), and a bare setPlainText of the same result; beside them awk, sort -u and shuf
// on the same data. The sheet's computation has a record for every other row; its command, which
// writes on a thread of its own, is timed from the click to the box, with the longest pause of the
// window's event loop meanwhile. At 1,000,000 keywords also the session store: saving and restoring
// the list, a run's page at 50,000 records, and the records of every line. Last, 词根分组 of a list as
// mining gives it, at 100,000 and 1,000,000 keywords, beside friso's bare segmentation of the same
// list on one thread, with the longest pause of an event loop while a grouping runs beside it
// (`bench_lists roots` runs these rows alone).
#include "app/form1.h"
#include "platform/datafolder.h"
#include "app/sessionkeeper.h"
#include "app/messagebox.h"
#include "listtools/export.h"
#include "listtools/filejoin.h"
#include "listtools/listcommands.h"
#include "text/wordfilter.h"
#include "listtools/rootgroups.h"
#include "listtools/sheetexport.h"
#include "platform/codepage.h"
#include "platform/listreplace.h"
#include "platform/textfile.h"
#include "store/sessionstore.h"
#include "text/module1.h"
#include "text/segmenter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Deterministic data: keywords of 4 to 12 Chinese characters, about half holding "热", about a
// third repeating an earlier keyword, about one in thirty blank or spaces only.
QString makeList(int entries)
{
    const QString alphabet = u"减肥方法瘦身快速运动饮食健康美容护肤手机电脑游戏小说电影音乐新闻天气旅游酒店机票"
                             u"汽车房价股票基金银行保险教育考试大学留学工作招聘装修家具宝宝孕妇食谱菜谱"_s;
    quint64 state = 0x9e3779b97f4a7c15ULL;
    auto next = [&state](quint32 bound) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return quint32(state % bound);
    };
    QList<QString> made;
    made.reserve(entries);
    QString list;
    list.reserve(qsizetype(entries) * 11);
    for (int i = 0; i < entries; ++i) {
        const quint32 kind = next(30);
        QString entry;
        if (kind == 0) {
            entry = next(2) ? QString() : u"  "_s;
        } else if (kind <= 10 && !made.isEmpty()) {
            entry = made[next(quint32(made.size()))];
        } else {
            const int length = 4 + int(next(9));
            for (int c = 0; c < length; ++c)
                entry += alphabet[next(quint32(alphabet.size()))];
            if (next(2))
                entry[next(quint32(length))] = u'热';
            made.append(entry);
        }
        list += entry;
        list += u"\r\n";
    }
    return list;
}

double seconds(const std::function<void()>& run, int rounds)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

double toolSeconds(const QString& program, const QStringList& arguments)
{
    return seconds(
        [&] {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"LC_ALL"_s, u"C"_s);
            process.setProcessEnvironment(environment);
            process.setStandardOutputFile(QProcess::nullDevice());
            process.start(program, arguments);
            process.waitForFinished(-1);
        },
        2);
}

QString peakMemory()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return u"?"_s;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return QString::number(line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024) + u" MB"_s;
    }
    return u"?"_s;
}

struct Row
{
    QString name;
    double computation = 0;
    double command = 0;
    double setPlainText = 0; // 0: the command does not replace the list
    QString tool;
};

void print(const char* format, const QString& a = {})
{
    std::printf(format, a.toUtf8().constData());
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// The session store beside a list in Text1: saving it (the window's part and the writer's), restoring
// it into Text1 against a bare setPlainText of the same text, one page of a run on a store of 50,000
// records, and the records of every line as the export asks for them.
void storeRows(Form1& form, const QString& list, const QString& folder)
{
    const QString crlf = u"\r\n"_s;
    const qsizetype lines = list.count(crlf);
    form.Text1->setPlainText(list);
    QCoreApplication::processEvents();

    double readBox = 1e9, handOver = 1e9, writer = 1e9;
    {
        Store::SessionStore store;
        if (!store.open(folder).isEmpty())
            return;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer timer;
            timer.start();
            const QString text = ListReplace::keywordListText(form.Text1);
            readBox = std::min(readBox, timer.nsecsElapsed() / 1e9);
            timer.restart();
            store.saveList(text);
            handOver = std::min(handOver, timer.nsecsElapsed() / 1e9);
            store.flush();
            writer = std::min(writer, timer.nsecsElapsed() / 1e9);
        }
    }
    const qint64 fileBytes = QFileInfo(QDir(folder).filePath(u"session.sqlite"_s)).size();

    double read = 1e9, fill = 1e9, bare = 1e9;
    bool same = true;
    for (int i = 0; i < 3; ++i) {
        form.Text1->clear();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        QString restored;
        {
            Store::SessionStore store;
            store.open(folder);
            restored = store.list();
        }
        read = std::min(read, timer.nsecsElapsed() / 1e9);
        timer.restart();
        form.Text1->setPlainText(restored);
        fill = std::min(fill, timer.nsecsElapsed() / 1e9);
        same = same && restored == list;
        QCoreApplication::processEvents();

        form.Text1->clear();
        QCoreApplication::processEvents();
        timer.restart();
        form.Text1->setPlainText(list);
        bare = std::min(bare, timer.nsecsElapsed() / 1e9);
        QCoreApplication::processEvents();
    }

    // A run's pages on a store that holds 50,000 records already: 25 keywords a page, 20 of them new.
    const QStringList words = list.split(crlf);
    QStringList distinct;
    {
        QSet<QString> seen;
        for (const QString& word : words) {
            if (!word.trimmed().isEmpty() && !seen.contains(word)) {
                seen.insert(word);
                distinct.append(word);
            }
        }
    }
    const QString pageFolder = folder + u"-pages"_s;
    QList<double> pageHandOver, pageWriter;
    double bulk50k = 0, bulkHalf = 0, records50k = 0, recordsHalf = 0;
    qsizetype found50k = 0, foundHalf = 0;
    qsizetype next = 60000; // the first keyword the pages find
    qsizetype recorded = 50000;
    {
        Store::SessionStore store;
        store.open(pageFolder);
        QElapsedTimer timer;
        timer.start();
        store.recordWords(distinct.mid(0, 50000), u"文件 词.txt"_s, QDateTime::currentDateTime());
        store.flush();
        bulk50k = timer.nsecsElapsed() / 1e9;
        Store::Place place;
        place.seed = u"减肥"_s;
        place.pass = distinct.mid(50000, 100);
        place.runList = crlf + place.pass.join(crlf) + crlf;
        store.writePlace(place);
        store.flush();
        for (int page = 0; page < 60; ++page) {
            Store::PageEvent event;
            event.seed = place.seed;
            event.asked = place.pass.value(page);
            event.at = QDateTime::currentDateTime();
            QString appended;
            for (int k = 0; k < 20; ++k) {
                const QString& keyword = distinct.at(next++);
                event.found.append({ keyword, QStringView(Store::RelatedSource).toString(), event.asked, 2 });
                appended += keyword + crlf;
                ++recorded;
            }
            for (int k = 0; k < 5; ++k)
                event.listedAgain.append(distinct.at(page * 5 + k));
            event.listAppend = appended;
            event.answered = page + 1;
            event.foundCount = 100 + 20 * (page + 1);
            event.runListAppend = appended;
            event.nextGenerationAppend = appended;
            timer.restart();
            store.recordPage(event);
            pageHandOver.append(timer.nsecsElapsed() / 1e3);
            store.flush();
            pageWriter.append(timer.nsecsElapsed() / 1e6);
        }

        timer.restart();
        found50k = store.records(words).size();
        records50k = timer.nsecsElapsed() / 1e9;

        // A record for every other line, as a dropped file of half the list would give.
        QStringList half;
        for (qsizetype i = 0; i < words.size(); i += 2)
            half.append(words.at(i));
        timer.restart();
        store.recordWords(half, u"文件 半个.txt"_s, QDateTime::currentDateTime());
        store.flush();
        bulkHalf = timer.nsecsElapsed() / 1e9;
        timer.restart();
        foundHalf = store.records(words).size();
        recordsHalf = timer.nsecsElapsed() / 1e9;
    }

    std::printf("\nsession store, %lld lines (%lld UTF-16 units, file %.1f MB)\n", static_cast<long long>(lines),
                static_cast<long long>(list.size()), double(fileBytes) / 1e6);
    std::printf("  save: read Text1 %.3f s, saveList() on the window's thread %.6f s, writer until committed %.3f s\n",
                readBox, handOver, writer);
    std::printf("  restore: open() + list() %.3f s + setPlainText %.3f s = %.3f s; bare setPlainText %.3f s; "
                "ratio %.2f; %s\n",
                read, fill, read + fill, bare, (read + fill) / bare, same ? "same text" : "TEXT DIFFERS");
    std::printf("  recordPage, 25 keywords on 50,000 records: %.1f us on the run's thread, %.2f ms until committed "
                "(median of %lld)\n",
                median(pageHandOver), median(pageWriter), static_cast<long long>(pageWriter.size()));
    std::printf("  recordWords: 50,000 words %.3f s, %lld words %.3f s (writer)\n", bulk50k,
                static_cast<long long>((words.size() + 1) / 2), bulkHalf);
    std::printf("  records() of every line: %lld lines found among %lld records in %.3f s; %lld found with every "
                "other line recorded in %.3f s\n",
                static_cast<long long>(found50k), static_cast<long long>(recorded), records50k,
                static_cast<long long>(foundHalf), recordsHalf);
}

// Typing in the middle of a long list, with the session kept and without: the time a key takes, and
// how long the save that follows a pause holds the window.
void typingRows(const QString& list, const QString& folder)
{
    constexpr int Keys = 200;
    double perKey[2] = {1e9, 1e9};
    double saveHolds = 0;
    // Each way twice, the better time counts: the first window of the process warms up the fonts.
    for (int round = 0; round < 4; ++round) {
        const int withStore = round % 2;
        DataFolder::setPathForTesting(folder);
        Form1 form;
        if (withStore)
            form.keepSession();
        form.show();
        if (withStore && !QTest::qWaitFor([&form] { return form.session()->isOpen(); }, 10000))
            return;
        form.Text1->setPlainText(list);
        QCoreApplication::processEvents();
        QTextCursor middle(form.Text1->document()->findBlockByNumber(form.Text1->document()->blockCount() / 2));
        form.Text1->setTextCursor(middle);
        form.Text1->setFocus();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Keys; ++i) {
            QTest::keyClick(form.Text1, Qt::Key_A);
            QCoreApplication::processEvents();
        }
        perKey[withStore] = std::min(perKey[withStore], timer.nsecsElapsed() / 1e6 / Keys);
        if (withStore) {
            timer.restart();
            form.session()->save();
            saveHolds = timer.nsecsElapsed() / 1e6;
            form.session()->saveNow();
        }
        DataFolder::setPathForTesting(QString());
    }
    std::printf("  typing in the middle of the list: %.3f ms a key without the store, %.3f ms with it; the save after "
                "a pause in the typing holds the window %.1f ms\n",
                perKey[0], perKey[1], saveHolds);
}

// Keywords as a long mining run on diet topics gives them: a product or topic, often with a word in
// front (who, when, where), often with one of the intent texts, often with a tail that people type
// after it. Deterministic, distinct, in a mixed order.
QString makeMinedList(int entries)
{
    const QStringList topics = {
        u"减肥茶"_s, u"减肥药"_s, u"减肥食谱"_s, u"减肥餐"_s, u"减肥操"_s, u"减肥汤"_s, u"瘦身"_s, u"瘦腿"_s,
        u"瘦肚子"_s, u"瘦脸"_s, u"健身"_s, u"跑步"_s, u"跳绳"_s, u"游泳"_s, u"绿茶"_s, u"普洱茶"_s, u"黑咖啡"_s,
        u"左旋肉碱"_s, u"代餐粉"_s, u"酵素"_s, u"益生菌"_s, u"蛋白粉"_s, u"燕麦"_s, u"红薯"_s, u"鸡胸肉"_s,
        u"蔬菜沙拉"_s, u"轻食"_s, u"节食"_s, u"断食"_s, u"生酮饮食"_s, u"体脂秤"_s, u"跑步机"_s, u"瑜伽"_s,
        u"普拉提"_s, u"月子餐"_s, u"产后修复"_s, u"祛湿茶"_s, u"荷叶茶"_s, u"苹果醋"_s, u"魔芋"_s, u"减脂餐"_s,
        u"有氧运动"_s, u"动感单车"_s, u"哑铃"_s, u"腹肌"_s, u"马甲线"_s, u"瘦腰"_s, u"减肥中药"_s, u"针灸减肥"_s,
        u"抽脂手术"_s, u"吸脂"_s, u"减肥训练营"_s, u"热量"_s, u"卡路里"_s, u"体重"_s, u"基础代谢"_s, u"饱腹感"_s,
        u"低脂牛奶"_s, u"全麦面包"_s, u"玉米"_s
    };
    const QStringList before = {
        u"女生"_s, u"男生"_s, u"学生"_s, u"产后"_s, u"夏天"_s, u"冬天"_s, u"快速"_s, u"一个月"_s, u"一周"_s,
        u"晚上"_s, u"中药"_s, u"日本"_s, u"韩国"_s, u"正品"_s, u"新款"_s, u"儿童"_s, u"中年"_s, u"孕妇"_s,
        u"网红"_s, u"懒人"_s, u"健康"_s, u"有效"_s, u"天然"_s, u"进口"_s, u"家用"_s, u"上海"_s, u"北京"_s,
        u"广州"_s, u"2024年"_s, u"最新"_s, u"专业"_s, u"医生"_s, u"减肥期间"_s, u"哺乳期"_s, u"更年期"_s,
        u"胖人"_s, u"大基数"_s, u"办公室"_s, u"宿舍"_s, u"在家"_s
    };
    const QStringList intents = {
        u"多少钱"_s, u"价格"_s, u"价钱"_s, u"报价"_s, u"费用"_s, u"便宜"_s, u"哪个好"_s, u"哪家好"_s,
        u"哪个牌子好"_s, u"什么牌子好"_s, u"哪种好"_s, u"排名"_s, u"排行榜"_s, u"对比"_s, u"区别"_s, u"推荐"_s,
        u"十大品牌"_s, u"怎么样"_s, u"好不好"_s, u"好吗"_s, u"靠谱吗"_s, u"评价"_s, u"口碑"_s, u"效果"_s,
        u"副作用"_s, u"怎么做"_s, u"怎么吃"_s, u"如何"_s, u"方法"_s, u"教程"_s, u"步骤"_s, u"技巧"_s, u"攻略"_s,
        u"是什么"_s, u"什么意思"_s, u"原因"_s, u"为什么"_s, u"哪里买"_s, u"附近"_s, u"地址"_s, u"下载"_s,
        u"图片"_s, u"视频"_s, u"官网"_s, u"电话"_s, u"大全"_s, u"免费"_s
    };
    const QStringList tails = {
        u"吗"_s, u"有用吗"_s, u"真的有效吗"_s, u"知乎"_s, u"会反弹吗"_s, u"一天几次"_s, u"能长期吃吗"_s,
        u"孕妇能用吗"_s, u"前十名"_s, u"2024"_s, u"一盒"_s, u"瘦了多少斤"_s, u"注意事项"_s, u"饭前还是饭后"_s,
        u"搭配"_s, u"成分"_s, u"原理"_s, u"好用"_s, u"不反弹"_s, u"男士"_s, u"女士"_s, u"正确"_s, u"真实"_s,
        u"贴吧"_s, u"小红书"_s, u"一天吃多少"_s, u"最快"_s, u"最有效"_s, u"一个月瘦10斤"_s, u"禁忌"_s,
        u"食谱表"_s, u"热量表"_s, u"能减肥吗"_s, u"伤身体吗"_s, u"晚上吃"_s, u"早上喝"_s, u"多久见效"_s,
        u"适合什么人"_s, u"怎么选"_s, u"哪里有卖"_s
    };
    quint64 state = 0x2545f4914f6cdd1dULL;
    auto next = [&state](qsizetype bound) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return qsizetype(state % quint64(bound));
    };
    QSet<QString> made;
    made.reserve(entries);
    QString list;
    list.reserve(qsizetype(entries) * 12);
    while (made.size() < entries) {
        QString keyword;
        if (next(3) != 0)
            keyword += before[next(before.size())];
        keyword += topics[next(topics.size())];
        const qsizetype shape = next(10);
        if (shape < 6)
            keyword += intents[next(intents.size())];
        if (shape >= 3)
            keyword += tails[next(tails.size())];
        if (made.contains(keyword))
            continue;
        made.insert(keyword);
        list += keyword;
        list += u"\r\n";
    }
    return list;
}

// Forgets the peak of resident memory so far, so that the next reading is the peak of what follows.
void resetPeakMemory()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMegabytes()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

// 词根分组 at both sizes, friso alone on the larger list, and the longest pause of this thread's
// event loop while GroupingJob groups the larger list. The peak memory is that of grouping the larger
// list, the list itself included. Prints the closing line.
void rootRows()
{
    QElapsedTimer timer;
    timer.start();
    const Segmentation::Segmenter& segmenter = Segmentation::Segmenter::shared();
    const double loading = timer.nsecsElapsed() / 1e9;
    if (!segmenter.available()) {
        print("\n词根分组: %s\n", segmenter.errorText());
        return;
    }
    std::printf("\n词根分组 (friso's lexicons loaded in %.3f s, %u threads)\n", loading,
                std::thread::hardware_concurrency());
    std::printf("%-10s %10s %10s %10s %12s %10s %10s\n", "keywords", "group s", "largest", "groups", "pieces",
                "common", "其他");
    double groupSeconds[2] = { 0, 0 };
    qint64 peak = 0;
    QString largest;
    int index = 0;
    for (const int size : { 100000, 1000000 }) {
        const QString list = makeMinedList(size);
        resetPeakMemory();
        RootGroups::Grouping grouping;
        double best = 1e9;
        for (int round = 0; round < 2; ++round) {
            grouping = RootGroups::Grouping();
            timer.restart();
            grouping = RootGroups::groupKeywords(list, segmenter);
            best = std::min(best, timer.nsecsElapsed() / 1e9);
        }
        peak = peakMegabytes();
        groupSeconds[index++] = best;
        qsizetype rest = 0;
        for (const RootGroups::Group& group : grouping.groups)
            rest += group.isOther ? group.keywordCount() : 0;
        const QString first = grouping.groups.empty()
            ? u"-"_s
            : grouping.groups.front().root + u' ' + QString::number(grouping.groups.front().keywordCount());
        std::printf("%-10d %10.3f %10s %10zu %12lld %10s %10lld\n", size, best, first.toUtf8().constData(),
                    grouping.groups.size(), static_cast<long long>(grouping.piecesSegmented),
                    grouping.commonRoot().isEmpty() ? "-" : grouping.commonRoot().toUtf8().constData(),
                    static_cast<long long>(rest));
        if (size == 1000000)
            largest = list;
    }
    std::printf("peak memory while grouping 1000000 keywords %lld MB\n", static_cast<long long>(peak));

    // friso on every keyword of the larger list, one after the other on this thread, nothing cached.
    double frisoAlone = 0;
    {
        const QStringList keywords = largest.split(u"\r\n"_s, Qt::SkipEmptyParts);
        timer.restart();
        qsizetype words = 0;
        for (const QString& keyword : keywords)
            words += segmenter.words(keyword).size();
        frisoAlone = timer.nsecsElapsed() / 1e9;
        std::printf("friso alone, %lld keywords on one thread: %.3f s (%lld words)\n",
                    static_cast<long long>(keywords.size()), frisoAlone, static_cast<long long>(words));
    }

    // The window's side: a 1 ms timer on this thread while the job groups the larger list.
    double longestPause = 0;
    int updates = 0;
    {
        RootGroups::GroupingJob job(largest, [](const QString& keyword) { return qint64(keyword.size()); });
        bool done = false;
        QObject::connect(&job, &RootGroups::GroupingJob::progressChanged, [&updates](int) { ++updates; });
        QObject::connect(&job, &RootGroups::GroupingJob::finished,
                         [&done](std::shared_ptr<const RootGroups::Grouping>) { done = true; });
        QElapsedTimer sincePrevious;
        QTimer tick;
        tick.setInterval(1);
        tick.setTimerType(Qt::PreciseTimer);
        double pauseAt = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double pause = sincePrevious.nsecsElapsed() / 1e6;
            if (pause > longestPause) {
                longestPause = pause;
                pauseAt = timer.nsecsElapsed() / 1e9;
            }
            sincePrevious.restart();
        });
        timer.restart();
        sincePrevious.start();
        job.start();
        tick.start();
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("GroupingJob, 1000000 keywords with their 出现次数: %.3f s, %d progress updates, longest pause "
                    "of the event loop %.1f ms (ending %.3f s after the start)\n",
                    timer.nsecsElapsed() / 1e9, updates, longestPause, pauseAt);
    }
    std::printf("roots 100000 %.3f s, 1000000 %.3f s, friso alone %.3f s, longest pause %.1f ms, peak %lld MB\n",
                groupSeconds[0], groupSeconds[1], frisoAlone, longestPause, static_cast<long long>(peak));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (argc > 1 && qstrcmp(argv[1], "roots") == 0) {
        rootRows();
        return 0;
    }
    if (argc > 1 && qstrcmp(argv[1], "filters") == 0) {
        // The computation of the filters alone on the largest list: one text as the box always took it,
        // beside several words, best of five each, in one run.
        const QString list = makeList(1000000);
        const WordFilter::Words keep = WordFilter::parse(u"热 门 -茶"_s);
        const QStringList drop { u"热"_s, u"茶"_s, u"药"_s };
        const double keepOne = seconds([&] { ListCommands::keepContaining(list, u"热"_s); }, 5);
        const double keepSeveral = seconds([&] { ListCommands::keepMatching(list, keep); }, 5);
        const double dropOne = seconds([&] { ListCommands::dropContaining(list, u"热"_s); }, 5);
        const double dropSeveral = seconds([&] { ListCommands::dropContainingAny(list, drop); }, 5);
        std::printf("filters on 1000000 entries: 包含 热 %.4f s, 热 门 -茶 %.4f s (%.2fx); 不包含 热 %.4f s, 热 茶 药 %.4f s (%.2fx)\n",
                    keepOne, keepSeveral, keepSeveral / keepOne, dropOne, dropSeveral, dropSeveral / dropOne);
        return 0;
    }
    if (argc > 1 && qstrcmp(argv[1], "typing") == 0) {
        // The typing rows alone, on the largest list.
        typingRows(makeList(1000000), dir.filePath(u"typing"_s));
        return 0;
    }
    ExportFile::setProgramDirForTesting(dir.path());
    int boxes = 0;
    MessageBox::setHookForTesting([&boxes](const MessageBox::Shown&) { ++boxes; });

    Form1 form;
    form.show();
    QCoreApplication::processEvents();
    form.Text9->setText(u"热"_s);
    form.Text2->setText(u"热"_s);
    form.Text8->setText(u"7"_s);
    form.Option7->setChecked(true);

    const QString crlf = u"\r\n"_s;
    double worstRatio = 0;
    double worstComputation = 0;
    double exportSeconds = 0;
    double sheetSeconds = 0;
    double sheetCommandSeconds = 0;
    int lastSize = 0;

    for (const int size : { 100000, 1000000 }) {
        // The closing line speaks of the largest size only.
        lastSize = size;
        worstRatio = 0;
        worstComputation = 0;
        const QString list = makeList(size);
        const QString dataPath = dir.filePath(u"data.txt"_s);
        {
            QFile data(dataPath);
            if (!data.open(QIODevice::WriteOnly))
                return 1;
            data.write(list.toUtf8());
        }
        const double awk = toolSeconds(u"awk"_s, { u"!seen[$0]++"_s, dataPath });
        const double sortUnique = toolSeconds(u"sort"_s, { u"-u"_s, dataPath });
        const double shuf = toolSeconds(u"shuf"_s, { dataPath });
        const int rounds = size > 100000 ? 2 : 3;

        // One list command: its computation, the handler on Form1, and setPlainText of its result,
        // each starting from the same full list in the box.
        auto measure = [&](const QString& name, const std::function<QString(const QString&)>& compute,
                           const std::function<void()>& handler, const QString& tool) {
            Row row { name, 0, 0, 0, tool };
            row.computation = seconds([&] { compute(list); }, rounds);
            double best = 1e9;
            double bestBare = 1e9;
            for (int i = 0; i < 3; ++i) {
                form.Text1->setPlainText(list);
                QCoreApplication::processEvents();
                QElapsedTimer timer;
                timer.start();
                handler();
                best = std::min(best, timer.nsecsElapsed() / 1e9);
                const QString result = ListReplace::keywordListText(form.Text1);
                QCoreApplication::processEvents();

                form.Text1->setPlainText(list);
                QCoreApplication::processEvents();
                timer.restart();
                form.Text1->setPlainText(result);
                bestBare = std::min(bestBare, timer.nsecsElapsed() / 1e9);
                QCoreApplication::processEvents();
            }
            row.command = best;
            row.setPlainText = bestBare;
            return row;
        };

        QList<Row> rows;
        rows << measure(u"Command6 DistinctLines"_s, [&](const QString& l) { return Module1::DistinctLines(l, crlf); },
                        [&] { form.Command6_Click(); },
                        u"awk %1 s, sort -u %2 s"_s.arg(QString::number(awk, 'f', 3), QString::number(sortUnique, 'f', 3)));
        rows << measure(u"Command2 ShuffleLines"_s, [&](const QString& l) { return Module1::ShuffleLines(l, crlf); },
                        [&] { form.Command2_Click(); }, u"shuf %1 s"_s.arg(shuf, 0, 'f', 3));
        rows << measure(u"Command15 keepContaining"_s,
                        [](const QString& l) { return ListCommands::keepContaining(l, u"热"_s); },
                        [&] { form.Command15_Click(); }, QString());
        rows << measure(u"Command8 dropContaining"_s,
                        [](const QString& l) { return ListCommands::dropContaining(l, u"热"_s); },
                        [&] { form.Command8_Click(); }, QString());
        // Several words in the box: the filter of every word and none of the minus words, and the drop of
        // any of a pasted list of words, beside the one-word rows above.
        const auto withBox = [&](QLineEdit* box, const QString& text, const std::function<void()>& click) {
            return [box, text, click] {
                box->setText(text);
                click();
                box->setText(u"热"_s);
            };
        };
        const WordFilter::Words severalWords = WordFilter::parse(u"热 门 -茶"_s);
        rows << measure(u"Command15 热 门 -茶"_s,
                        [&](const QString& l) { return ListCommands::keepMatching(l, severalWords); },
                        withBox(form.Text9, u"热 门 -茶"_s, [&] { form.Command15_Click(); }), QString());
        const QStringList junkWords { u"热"_s, u"茶"_s, u"药"_s };
        rows << measure(u"Command8 热 茶 药"_s,
                        [&](const QString& l) { return ListCommands::dropContainingAny(l, junkWords); },
                        withBox(form.Text2, u"热 茶 药"_s, [&] { form.Command8_Click(); }), QString());
        rows << measure(u"Command13 keepLongerThan"_s, [](const QString& l) { return ListCommands::keepLongerThan(l, 7); },
                        [&] { form.Command13_Click(); }, QString());

        // A keyword file as Notepad saves it on a Chinese system (GBK, CRLF) dropped onto the full list:
        // as many lines as the list, each a keyword and one character more, about 20 MB at the largest size.
        const QString filePath = dir.filePath(u"dropped.txt"_s);
        qint64 fileBytes = 0;
        {
            QFile file(filePath);
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            QString fileText = list;
            fileText.replace(u"\r\n"_s, u"词\r\n"_s);
            fileBytes = file.write(CodePage::toGbk(fileText));
        }
        QMimeData dropped;
        dropped.setUrls({ QUrl::fromLocalFile(filePath) });
        rows << measure(
            u"Text1 drop %1 MB GBK"_s.arg(double(fileBytes) / 1e6, 0, 'f', 1),
            [&](const QString& l) { return FileJoin::joinFileTexts(l, { TextFile::read(filePath).text }); },
            [&] {
                // Entry, drop and the read queued behind the drop, as a drag from the file manager goes.
                QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(form.Text1->viewport(), &enter);
                QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(form.Text1->viewport(), &drop);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
            },
            QString());

        Row exportRow { u"Command3 export"_s, 0, 0, 0, QString() };
        exportRow.computation = seconds(
            [&] { ListCommands::exportBytes(list, ListCommands::ExportSeparator::LineBreak); }, rounds);
        form.Text1->setPlainText(list);
        QCoreApplication::processEvents();
        exportRow.command = seconds([&] { form.Command3_Click(); }, rounds);
        rows << exportRow;

        Row sheetRow { u"Command16 sheet"_s, 0, 0, 0, QString() };
        const QString sheetPath = dir.filePath(u"sheet.xlsx"_s);
        const ListExport::SheetRecord record {
            u"相关搜索"_s, u"减肥方法"_s, u"减肥"_s, 3, 2, QDateTime::currentDateTime()
        };
        sheetRow.computation = seconds(
            [&] {
                qint64 row = 0;
                ListExport::writeKeywordSheet(sheetPath, list,
                                              [&](const QString&, QString&) -> std::optional<ListExport::SheetRecord> {
                                                  if (row++ % 2 == 0)
                                                      return record;
                                                  return std::nullopt;
                                              });
            },
            rounds);
        double longestPause = 0;
        sheetRow.command = seconds(
            [&] {
                const int before = boxes;
                QElapsedTimer sincePrevious;
                QTimer tick;
                tick.setInterval(5);
                QObject::connect(&tick, &QTimer::timeout, [&] {
                    longestPause = std::max(longestPause, sincePrevious.nsecsElapsed() / 1e6);
                    sincePrevious.restart();
                });
                // The click itself (reading the list out of the box) counts as a pause.
                sincePrevious.start();
                form.Command16_Click();
                tick.start();
                while (boxes == before)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            },
            rounds);
        sheetRow.tool = u"event loop paused at most %1 ms"_s.arg(longestPause, 0, 'f', 0);
        rows << sheetRow;

        std::printf("\n%d entries (%lld UTF-16 units), awk '!seen[$0]++' %.3f s\n", size,
                    static_cast<long long>(list.size()), awk);
        std::printf("%-26s %12s %12s %14s %8s  %s\n", "command", "compute s", "command s", "setPlainText s",
                    "ratio", "tools on the same data");
        for (const Row& row : std::as_const(rows)) {
            const QString name = row.name.leftJustified(26);
            const double ratio = row.setPlainText > 0 ? row.command / row.setPlainText : 0;
            std::printf("%s %12.3f %12.3f %14s %8s  %s\n", name.toUtf8().constData(), row.computation, row.command,
                        row.setPlainText > 0 ? QByteArray::number(row.setPlainText, 'f', 3).constData() : "-",
                        row.setPlainText > 0 ? QByteArray::number(ratio, 'f', 2).constData() : "-",
                        row.tool.toUtf8().constData());
            worstRatio = std::max(worstRatio, ratio);
            // awk is a yardstick for the list commands, not for writing a spreadsheet.
            if (&row != &rows.last())
                worstComputation = std::max(worstComputation, row.computation / awk);
        }
        exportSeconds = exportRow.command;
        sheetSeconds = sheetRow.computation;
        sheetCommandSeconds = sheetRow.command;
        print("peak memory %s\n", peakMemory());
        if (size == 1000000) {
            storeRows(form, list, dir.filePath(u"store"_s));
            typingRows(list, dir.filePath(u"typing"_s));
        }
    }

    std::printf("\n%d entries: worst command/setPlainText %.2f, worst computation/awk %.2f, export %.3f s, "
                "sheet %.3f s (command %.3f s)\n",
                lastSize, worstRatio, worstComputation, exportSeconds, sheetSeconds, sheetCommandSeconds);
    rootRows();
    return 0;
}
