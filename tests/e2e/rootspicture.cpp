// The picture of the 词根分组 window for the README: the program, with a data folder of its own,
// mines the seed 减肥 against a fake web of about a hundred keywords, opens 词根分组 once
// the run is over, opens the first group, and the window is photographed.
//   e2e_rootspicture <path of qinglan-cibao> <picture.png>
#include "e2e/desktop.h"
#include "e2e/fakesite.h"
#include "e2e/layout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 1;
}

// The seed's page lists eleven keywords; each of their pages lists up to eleven more, as a diet
// keyword list drifts from tea and pills to recipes and exercise.
const QList<QPair<QString, QStringList>>& pages()
{
    static const QList<QPair<QString, QStringList>> all = {
        { u"减肥茶"_s,
          { u"减肥茶多少钱一盒"_s, u"减肥茶哪个牌子好"_s, u"荷叶减肥茶"_s, u"荷叶减肥茶多少钱"_s, u"荷叶减肥茶有用吗"_s,
            u"普洱减肥茶"_s, u"普洱减肥茶的副作用"_s, u"普洱减肥茶效果怎么样"_s, u"减肥茶排行榜"_s, u"减肥茶怎么喝"_s,
            u"喝减肥茶拉肚子正常吗"_s } },
        { u"减肥药"_s,
          { u"减肥药哪个牌子好"_s, u"减肥药排行榜前十名"_s, u"减肥药副作用"_s, u"减肥药多少钱"_s, u"减肥药有用吗"_s,
            u"减肥药效果最好的"_s, u"减肥药推荐"_s, u"减肥药靠谱吗"_s, u"左旋肉碱减肥药"_s, u"减肥药怎么吃"_s,
            u"减肥药对身体有害吗"_s } },
        { u"减肥食谱"_s,
          { u"减肥食谱一周瘦10斤"_s, u"减肥食谱大全"_s, u"减肥早餐食谱"_s, u"减肥晚餐食谱"_s, u"减肥食谱一日三餐"_s,
            u"减肥食谱图片"_s, u"简单易做的减肥食谱"_s, u"学生党减肥食谱"_s, u"减肥食谱怎么做"_s,
            u"减肥食谱推荐"_s, u"低卡减肥食谱"_s } },
        { u"减肥运动"_s,
          { u"在家减肥运动"_s, u"减肥运动视频"_s, u"减肥运动教程"_s, u"跳绳减肥运动"_s, u"减肥运动有哪些"_s,
            u"减肥运动效果最好的"_s, u"减肥运动推荐"_s, u"女生减肥运动"_s, u"减肥运动多久见效"_s,
            u"睡前减肥运动"_s, u"减肥运动计划表"_s } },
        { u"减肥方法"_s,
          { u"最快的减肥方法"_s, u"有效的减肥方法"_s, u"女生减肥方法"_s, u"学生减肥方法"_s, u"产后减肥方法"_s,
            u"懒人减肥方法"_s, u"减肥方法大全"_s, u"健康的减肥方法"_s, u"中医减肥方法"_s, u"减肥方法排行榜"_s,
            u"怎么减肥最快最有效"_s } },
        { u"减肥餐"_s,
          { u"减肥餐一日三餐"_s, u"减肥餐食谱大全"_s, u"减肥餐怎么做"_s, u"减肥餐外卖"_s, u"减肥餐图片"_s,
            u"减肥餐推荐"_s, u"减肥餐多少钱"_s, u"减肥餐便当"_s, u"减肥餐晚餐"_s, u"减肥餐早餐"_s,
            u"低脂减肥餐"_s } },
        { u"减肥瑜伽"_s,
          { u"减肥瑜伽视频"_s, u"减肥瑜伽教程"_s, u"减肥瑜伽动作"_s, u"减肥瑜伽初学者"_s, u"减肥瑜伽有用吗"_s,
            u"减肥瑜伽多久见效"_s, u"睡前减肥瑜伽"_s, u"减肥瑜伽馆"_s, u"减肥瑜伽附近"_s, u"减肥瑜伽价格"_s,
            u"减肥瑜伽30分钟"_s } },
        { u"减肥操"_s,
          { u"减肥操视频"_s, u"减肥操全套"_s, u"减肥操教程"_s, u"减肥操30分钟"_s, u"减肥操有用吗"_s,
            u"帕梅拉减肥操"_s, u"减肥操下载"_s, u"减肥操哪个好"_s, u"减肥操每天跳多久"_s, u"减肥操初学者"_s,
            u"减肥操排行"_s } },
        { u"减肥针"_s,
          { u"减肥针多少钱一针"_s, u"减肥针副作用"_s, u"减肥针效果怎么样"_s, u"减肥针哪里可以打"_s,
            u"减肥针价格"_s, u"减肥针有用吗"_s, u"司美格鲁肽减肥针"_s, u"减肥针靠谱吗"_s, u"减肥针是什么"_s,
            u"减肥针医院"_s, u"减肥针打完反弹吗"_s } },
        { u"减肥训练营"_s,
          { u"减肥训练营多少钱"_s, u"减肥训练营哪家好"_s, u"减肥训练营效果"_s, u"封闭式减肥训练营"_s,
            u"减肥训练营附近"_s, u"减肥训练营电话"_s, u"减肥训练营靠谱吗"_s, u"减肥训练营价格"_s,
            u"减肥训练营地址"_s, u"减肥训练营推荐"_s, u"减肥训练营排名"_s } },
        { u"减肥咖啡"_s,
          { u"减肥咖啡有用吗"_s, u"减肥咖啡哪个牌子好"_s, u"黑咖啡减肥"_s, u"减肥咖啡副作用"_s } },
    };
    return all;
}

// Fills the site and returns how many result pages the run asks for.
int fillSite(FakeSite& site)
{
    // Some stems are asked about less: their pages list fewer keywords.
    const int shortened[] = { 0, 0, 0, 2, 0, 3, 4, 5, 2, 6, 0 };
    QStringList seedPage;
    int keywords = 0;
    for (qsizetype stem = 0; stem < pages().size(); ++stem) {
        seedPage << pages()[stem].first;
        const QStringList related = pages()[stem].second.mid(0, pages()[stem].second.size() - shortened[stem]);
        // Each keyword's page lists some of its neighbours again, more of them for the first stems, so
        // that 出现次数 differs from one keyword and one root to the next.
        for (qsizetype i = 0; i < related.size(); ++i) {
            QStringList again { related[(i + 1) % related.size()] };
            if ((i + stem) % 3 == 0)
                again << related[(i + 4) % related.size()];
            if (stem < 3 && i % 2 == 0)
                again << related[(i + 2) % related.size()];
            site.setRelated(related[i], again);
        }
        site.setRelated(pages()[stem].first, related);
        keywords += 1 + int(related.size());
    }
    site.setRelated(u"减肥"_s, seedPage);
    return 1 + keywords;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: e2e_rootspicture <path of qinglan-cibao> <picture.png>\n");
        return 2;
    }
    const QString programPath = QFileInfo(arguments.at(1)).absoluteFilePath();
    const QString picture = QFileInfo(arguments.at(2)).absoluteFilePath();

    VirtualDisplay display;
    QString error;
    if (!display.start(&error))
        return fail(error);
    FakeSite site;
    if (!site.start())
        return fail(u"假网站无法启动"_s);
    const int requests = fillSite(site);

    // A home and data folder of its own: the program starts with an empty session.
    ProgramWindow program(display, { programPath, site.port(), true, QString() });
    if (!program.start(&error))
        return fail(error);
    if (!program.typeInto(Layout::Text7, u"0"_s))
        return fail(u"无法填写“间隔秒数”"_s);
    program.click(Layout::Command4);
    for (int waited = 0; site.requestCount() < requests; waited += 100) {
        if (waited > 120000)
            return fail(u"挖掘没有结束；服务器收到的请求：\n"_s + site.requestLog());
        QThread::msleep(100);
    }
    // The last page's records reach the session before the window reads them.
    QThread::msleep(1500);

    program.click(Layout::Command17);
    QString window;
    for (int waited = 0; window.isEmpty(); waited += 100) {
        if (waited > 30000)
            return fail(u"没有出现“词根分组”窗口。程序输出：\n"_s + program.output());
        QThread::msleep(100);
        const QStringList found = display.findWindows(program.pid(), u"^词根分组$"_s);
        if (!found.isEmpty())
            window = found.first();
    }
    // Grouping a list this short takes a moment; then the keyboard opens the group 茶 (the second
    // below the common root) and its first second-level group.
    QThread::msleep(2000);
    display.click(window, { 200, 80 });
    for (const QString& key : { u"Home"_s, u"Down"_s, u"Down"_s, u"Right"_s, u"Down"_s, u"Right"_s })
        display.key(key);
    QThread::msleep(800);

    QDir().mkpath(QFileInfo(picture).absolutePath());
    if (!display.saveWindowPicture(window, picture))
        return fail(u"无法保存图片（需要 ImageMagick 的 import）："_s + picture);
    std::printf("%s\n", qPrintable(picture));
    return 0;
}
