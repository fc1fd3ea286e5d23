// A small keyword sheet for the README's picture (scripts/sheet-picture): a mining run's related
// searches and suggestions, a hot word, a dropped file's keyword and a typed line, written by the
// program's own export.
//   sheetsample OUT.xlsx
#include "listtools/sheetexport.h"

#include <QCoreApplication>
#include <QHash>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: sheetsample OUT.xlsx\n");
        return 2;
    }
    const QDateTime start(QDate(2025, 3, 8), QTime(9, 30, 0));
    auto found = [&start](int seconds) { return start.addSecs(seconds); };
    const QHash<QString, ListExport::SheetRecord> records = {
        { u"减肥最快的方法"_s, { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 4, found(2) } },
        { u"减肥食谱"_s, { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 6, found(2) } },
        { u"怎样减肥效果好"_s, { u"相关搜索"_s, u"减肥"_s, u"减肥"_s, 1, 3, found(2) } },
        { u"减肥茶"_s, { u"下拉词"_s, u"减肥"_s, u"减肥"_s, 1, 2, found(3) } },
        { u"减肥最快的方法一周瘦10斤"_s, { u"相关搜索"_s, u"减肥最快的方法"_s, u"减肥"_s, 2, 1, found(7) } },
        { u"减肥食谱一日三餐"_s, { u"相关搜索"_s, u"减肥食谱"_s, u"减肥"_s, 2, 2, found(11) } },
        { u"减肥食谱 晚餐"_s, { u"下拉词"_s, u"减肥食谱"_s, u"减肥"_s, 2, 1, found(12) } },
        { u"减肥茶哪个牌子效果好"_s, { u"下拉词"_s, u"减肥茶"_s, u"减肥"_s, 2, 1, found(16) } },
        { u"春季养生"_s, { u"百度今日热词"_s, {}, {}, 0, 0, found(300) } },
        { u"瘦身操"_s, { u"文件 旧词表.txt"_s, {}, {}, 0, 0, found(420) } },
    };
    const QString list = u"减肥最快的方法\r\n减肥食谱\r\n怎样减肥效果好\r\n减肥茶\r\n减肥最快的方法一周瘦10斤\r\n"
                         u"减肥食谱一日三餐\r\n减肥食谱 晚餐\r\n减肥茶哪个牌子效果好\r\n春季养生\r\n瘦身操\r\n"
                         u"自己想到的词\r\n"_s;
    const ListExport::XlsxResult written
        = ListExport::writeKeywordSheet(QString::fromLocal8Bit(argv[1]), list,
                                        [&records](const QString& keyword, QString&) -> std::optional<ListExport::SheetRecord> {
                                            const auto record = records.constFind(keyword);
                                            if (record == records.constEnd())
                                                return std::nullopt;
                                            return *record;
                                        });
    if (!written.ok) {
        std::fprintf(stderr, "%s\n", written.failures.join(u'\n').toUtf8().constData());
        return 1;
    }
    return 0;
}
