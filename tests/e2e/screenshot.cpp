// The picture of the window for the README: the program, run where it was built (so with the web
// strip when its plugin is beside it), mines the default seed against the fake web and is
// photographed once the run is over.
//   e2e_screenshot <path of qinglan-cibao> <picture.png>
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

// Three generations of related searches for the default seed 减肥; every page takes a moment, so
// that the elapsed time shows.
int fillSite(FakeSite& site)
{
    const QList<QPair<QString, QStringList>> pages = {
        { u"减肥"_s,
          { u"减肥最快的方法"_s, u"减肥食谱"_s, u"减肥茶"_s, u"减肥运动"_s, u"怎样减肥最有效"_s, u"减肥药排行榜"_s,
            u"减肥餐一日三餐"_s, u"减肥期间能吃什么"_s } },
        { u"减肥最快的方法"_s, { u"一周减肥10斤的方法"_s, u"晚上不吃饭能减肥吗"_s, u"最快的减肥方法 运动"_s } },
        { u"减肥食谱"_s, { u"减肥食谱一周瘦10斤"_s, u"减肥早餐吃什么好"_s, u"减肥晚餐食谱大全"_s } },
        { u"减肥茶"_s, { u"减肥茶有用吗"_s, u"减肥茶的副作用"_s, u"哪种减肥茶效果最好"_s } },
        { u"减肥运动"_s, { u"在家减肥运动"_s, u"跳绳能减肥吗"_s, u"跑步减肥多久见效"_s } },
        { u"怎样减肥最有效"_s, { u"怎样减肥最有效 女生"_s, u"产后怎样减肥"_s } },
    };
    int keywords = 0;
    for (const auto& [keyword, related] : pages) {
        for (const QString& found : related)
            site.setRelated(found, {}, 150); // the last generation's pages list nothing new
        keywords += int(related.size());
    }
    for (const auto& [keyword, related] : pages)
        site.setRelated(keyword, related, 150);
    return keywords;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: e2e_screenshot <path of qinglan-cibao> <picture.png>\n");
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
    const int keywords = fillSite(site);

    ProgramWindow program(display, { programPath, site.port(), false });
    if (!program.start(&error))
        return fail(error);
    program.click(Layout::Command4);

    // The run is over once every keyword found has been asked for and nothing more comes.
    const int requests = 1 + keywords;
    for (int waited = 0; site.requestCount() < requests; waited += 100) {
        if (waited > 60000)
            return fail(u"挖掘没有结束；服务器收到的请求：\n"_s + site.requestLog());
        QThread::msleep(100);
    }
    // Time for the last page to be shown and the clock to tick; the web strip, when there, takes longer.
    const bool withStrip = QFileInfo::exists(QFileInfo(programPath).absolutePath() + u"/libqinglan_webstrip.so"_s);
    QThread::msleep(withStrip ? 6000 : 1500);

    QDir().mkpath(QFileInfo(picture).absolutePath());
    if (!display.saveWindowPicture(program.window(), picture))
        return fail(u"无法保存图片（需要 ImageMagick 的 import）："_s + picture);
    std::printf("%s\n", qPrintable(picture));
    return 0;
}
