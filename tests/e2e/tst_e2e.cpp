// The built program on a private X display, driven as a person drives it: clicks on the controls'
// places, typed Chinese, the window's close request. What it did is read back as a person can:
// the clipboard, the files it wrote, and the requests the fake web received.
//   tst_e2e <path of qinglan-cibao> [QtTest options]
#include "e2e/desktop.h"
#include "e2e/fakesite.h"
#include "e2e/layout.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Title = u"晴岚词宝v3.3   [关键词挖掘]  站长SEO实用好工具"_s;
// Put on the clipboard before a command, to see when the command has replaced it.
const QString Marker = u"（命令之前的剪贴板）"_s;
// The fake verification page's button in its window (520 × 640): below the window's line and the
// page's two lines, the full width, 440 pixels tall.
constexpr Spot VerificationButton { 260, 340 };

QByteArray gbk(const QString& text)
{
    return CodePage::toGbk(text);
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
public:
    explicit TestEndToEnd(QString program)
        : program_(std::move(program))
    {
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startTitleAndFixedSize();
    void miningRunWithStop();
    void hotWordFetchFromEachSource();
    void listCommands();
    void exportWithEachSeparator();
    void closeDuringRunEndsAtOnce();
    void clipboardKeptAfterClose();
    void verificationPassedInItsWindow();
    void verificationNotPassed_data();
    void verificationNotPassed();
    void fetcherRefusedWebEngineServed_data();
    void fetcherRefusedWebEngineServed();
    void stopWhileVerificationWindowIsOpen();
    void killedWhileAPageIsAwaited();
    void closeAndStartAgainAtOnce();
    void typingKeptUntilAKill();

private:
    // The box's text cannot be read from outside (on X11 a message box does not copy itself), so
    // what a user sees of it is its title, which finds it, and that Return closes it.
    struct ExportBox
    {
        bool shown = false;
        bool closedByReturn = false;
        QString clipboardWhileShown;
    };

    // With the web engine: run where it was built, the plugin beside it.
    std::unique_ptr<ProgramWindow> startProgram(bool withWebEngine = false);
    QString clipboard() const;
    // Marks the clipboard, clicks, and returns the clipboard once the program has replaced the mark.
    QString clipboardAfterClick(ProgramWindow& program, Spot spot);
    // Clicks 导出txt, waits for the message box titled 导出 and closes it with Return.
    ExportBox exportList(ProgramWindow& program);
    // The message box titled title, once it has the keyboard; empty when none came within timeoutMs.
    QString waitForBox(ProgramWindow& program, const QString& title, int timeoutMs);
    bool closeBoxWithReturn(ProgramWindow& program, const QString& box, const QString& title);
    // A run from 减肥 whose second query, 减肥方法, the engine refuses; started with no pause.
    void startRefusedRun(ProgramWindow& program);
    // The verification window once the engine's page is in it; empty when it did not come.
    QString waitForVerificationPage(ProgramWindow& program);
    // The requests that reached the site, the web engine's asking for icons aside.
    QList<FakeSite::Visit> pageVisits() const;
    QStringList askedTargets() const;
    // Saves a picture of the window and tells whether the page's button is drawn in it: grey on the
    // page's white.
    bool showsVerificationButton(const QString& window, const QString& picture) const;
    bool typeInto(ProgramWindow& program, Spot box, const QString& text);
    // The list as the text box copies it (select all, copy).
    QString copiedList(ProgramWindow& program);
    // The run of fetcherRefusedWebEngineServed: 减肥 and its three keywords, refused to the fetcher.
    void startFetcherRefusedRun(ProgramWindow& program, FakeSite::FetcherRefusal refusal);
    // Clicks the verification page's button until the site is asked for its address.
    bool passVerification(const QString& window, const QString& refusedTarget);

    QString program_;
    VirtualDisplay display_;
    std::unique_ptr<FakeSite> site_;
    QElapsedTimer clock_;
    QTemporaryDir tempDir_;
    int typingRepeats_ = 0;
    int pastes_ = 0;
};

void TestEndToEnd::initTestCase()
{
    clock_.start();
    QVERIFY2(QFile::exists(program_), qPrintable(u"找不到程序："_s + program_));
    QString error;
    QVERIFY2(display_.start(&error), qPrintable(error));
    int code = 0;
    display_.run(u"xdotool"_s, { u"version"_s }, &code);
    QVERIFY2(code == 0, "xdotool is missing (Debian package xdotool)");
    display_.run(u"xclip"_s, { u"-version"_s }, &code);
    QVERIFY2(code == 0, "xclip is missing (Debian package xclip)");
}

void TestEndToEnd::init()
{
    site_ = std::make_unique<FakeSite>();
    QVERIFY(site_->start());
}

void TestEndToEnd::cleanup()
{
    site_.reset();
}

void TestEndToEnd::cleanupTestCase()
{
    qInfo("e2e: %lld ms in all; typings repeated %d times, pasted instead %d times", clock_.elapsed(), typingRepeats_,
          pastes_);
}

std::unique_ptr<ProgramWindow> TestEndToEnd::startProgram(bool withWebEngine)
{
    auto program
        = std::make_unique<ProgramWindow>(display_, ProgramWindow::Options { program_, site_->port(), !withWebEngine });
    QString error;
    if (!program->start(&error)) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    return program;
}

QString TestEndToEnd::clipboard() const
{
    return display_.clipboard().value_or(u"（剪贴板是空的）"_s);
}

QString TestEndToEnd::clipboardAfterClick(ProgramWindow& program, Spot spot)
{
    display_.setClipboard(Marker);
    program.click(spot);
    QString now;
    if (!QTest::qWaitFor(
            [&] {
                now = clipboard();
                return now != Marker;
            },
            10000))
        qWarning("e2e: the clipboard was not replaced within 10 s");
    return now;
}

TestEndToEnd::ExportBox TestEndToEnd::exportList(ProgramWindow& program)
{
    ExportBox box;
    program.click(Layout::Command3);
    const QString boxWindow = waitForBox(program, u"导出"_s, 10000);
    if (boxWindow.isEmpty())
        return box;
    box.shown = true;
    box.clipboardWhileShown = clipboard();
    box.closedByReturn = closeBoxWithReturn(program, boxWindow, u"导出"_s);
    return box;
}

QString TestEndToEnd::waitForBox(ProgramWindow& program, const QString& title, int timeoutMs)
{
    const QString pattern = u'^' + QRegularExpression::escape(title) + u'$';
    QStringList found;
    if (!QTest::qWaitFor([&] { return !(found = display_.findWindows(program.pid(), pattern)).isEmpty(); }, timeoutMs))
        return QString();
    // Keys go to the box once it has the keyboard; a person would click it otherwise.
    const QString boxWindow = found.first();
    auto focused
        = [&] { return display_.run(u"xdotool"_s, { u"getwindowfocus"_s }).trimmed() == boxWindow.toLatin1(); };
    if (!QTest::qWaitFor(focused, 3000)) {
        display_.click(boxWindow, { 10, 10 });
        if (!QTest::qWaitFor(focused, 3000))
            qWarning("e2e: the message box does not get the keyboard");
    }
    return boxWindow;
}

bool TestEndToEnd::closeBoxWithReturn(ProgramWindow& program, const QString& box, const QString& title)
{
    display_.key(u"Return"_s);
    const QString pattern = u'^' + QRegularExpression::escape(title) + u'$';
    return QTest::qWaitFor([&] { return !display_.findWindows(program.pid(), pattern).contains(box); }, 5000);
}

void TestEndToEnd::startRefusedRun(ProgramWindow& program)
{
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setRelated(u"减肥方法"_s, { u"减肥方法大全"_s, u"减肥食谱"_s });
    site_->setRefusing(true, 1);
    QVERIFY(typeInto(program, Layout::Text7, u"0"_s));
    program.click(Layout::Command4); // the seed as it stands: 减肥
}

QString TestEndToEnd::waitForVerificationPage(ProgramWindow& program)
{
    QStringList found;
    // The web engine may have to start first, which takes a few seconds on a slow machine.
    if (!QTest::qWaitFor([&] { return !(found = display_.findWindows(program.pid(), u"^百度安全验证$"_s)).isEmpty(); },
                         30000))
        return QString();
    const QString verification = FakeSite::verificationAddress(FakeSite::searchTarget(u"减肥方法"_s));
    const auto asked = [&] {
        const QList<FakeSite::Visit> visits = pageVisits();
        return std::any_of(visits.cbegin(), visits.cend(),
                           [&](const FakeSite::Visit& visit) { return visit.target == verification; });
    };
    if (!QTest::qWaitFor(asked, 15000))
        return QString();
    return found.first();
}

QStringList TestEndToEnd::askedTargets() const
{
    QStringList targets;
    for (const FakeSite::Visit& visit : pageVisits())
        targets << visit.target;
    return targets;
}

bool TestEndToEnd::showsVerificationButton(const QString& window, const QString& picture) const
{
    if (!display_.saveWindowPicture(window, picture))
        return false;
    const QImage image(picture);
    if (image.width() < 520 || image.height() < 640)
        return false;
    const QRgb button = image.pixel(VerificationButton.x, 200);
    const QRgb page = image.pixel(VerificationButton.x, 600);
    return page == qRgb(255, 255, 255) && button != page;
}

QList<FakeSite::Visit> TestEndToEnd::pageVisits() const
{
    QList<FakeSite::Visit> visits = site_->visits();
    visits.removeIf([](const FakeSite::Visit& visit) { return visit.target.endsWith(u"/favicon.ico"_s); });
    return visits;
}

bool TestEndToEnd::typeInto(ProgramWindow& program, Spot box, const QString& text)
{
    const int repeats = program.typingRepeats();
    const int pastes = program.pastes();
    const bool typed = program.typeInto(box, text);
    typingRepeats_ += program.typingRepeats() - repeats;
    pastes_ += program.pastes() - pastes;
    return typed;
}

void TestEndToEnd::startTitleAndFixedSize()
{
    const auto program = startProgram();
    QVERIFY(program);

    // The title, and a second later the title with the clock.
    const QRegularExpression withClock(QRegularExpression::escape(Title)
                                       + u"  \\d{4}/\\d{1,2}/\\d{1,2} \\d{1,2}:\\d{2}:\\d{2}$"_s);
    const QString first = display_.windowTitle(program->window());
    QVERIFY2(first == Title || withClock.match(first).hasMatch(), qPrintable(first));
    QTRY_VERIFY2_WITH_TIMEOUT(withClock.match(display_.windowTitle(program->window())).hasMatch(),
                              qPrintable(display_.windowTitle(program->window())), 3000);

    QCOMPARE(display_.windowSize(program->window()), Layout::ClientSize);
    const QString id = program->window();
    auto resizeTo = [&](int width, int height) {
        display_.run(u"xdotool"_s, { u"windowsize"_s, id, QString::number(width), QString::number(height) });
    };
    resizeTo(900, 700);
    QTRY_COMPARE_WITH_TIMEOUT(display_.windowSize(id), Layout::ClientSize, 3000);
    resizeTo(600, Layout::ClientSize.height()); // the width alone
    QTRY_COMPARE_WITH_TIMEOUT(display_.windowSize(id), Layout::ClientSize, 3000);
    resizeTo(Layout::ClientSize.width(), 800); // the height alone
    QTRY_COMPARE_WITH_TIMEOUT(display_.windowSize(id), Layout::ClientSize, 3000);
    // It stays so.
    QTest::qWait(300);
    QCOMPARE(display_.windowSize(id), Layout::ClientSize);
    QVERIFY(program->process().state() == QProcess::Running);
}

void TestEndToEnd::miningRunWithStop()
{
    site_->setRelated(u"减肥茶"_s, { u"减肥茶的功效"_s, u"减肥茶哪个好"_s, u"瘦身减肥茶"_s });
    // 减肥茶哪个好 is already known on this page; 减肥茶的副作用 on the next one.
    site_->setRelated(u"减肥茶的功效"_s, { u"减肥茶的副作用"_s, u"减肥茶哪个好"_s, u"减肥茶的功效与作用"_s });
    // Slow, so that Stop arrives while this page is on its way.
    site_->setRelated(u"减肥茶哪个好"_s, { u"减肥茶品牌排行"_s, u"减肥茶的副作用"_s }, 2500);
    site_->setRelated(u"瘦身减肥茶"_s, { u"瘦身减肥茶推荐"_s });

    const auto program = startProgram();
    QVERIFY(program);
    QVERIFY(typeInto(*program, Layout::Text3, u"减肥茶"_s));

    // With the pause of 2 seconds that the window starts with.
    program->click(Layout::Command4);
    QTRY_COMPARE_WITH_TIMEOUT(site_->requestCount(), 3, 15000);
    program->click(Layout::Command5);

    // The page in progress is still taken in; then the run ends before 瘦身减肥茶. The list shows
    // the keywords one to a line, and the clipboard holds the list.
    const QString stopped = u"减肥茶的功效\r\n减肥茶哪个好\r\n瘦身减肥茶\r\n"
                            u"减肥茶的副作用\r\n减肥茶的功效与作用\r\n减肥茶品牌排行\r\n"_s;
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), stopped, 10000);
    QTest::qWait(1000);
    QCOMPARE(site_->requestLog(),
             u"http://www.baidu.com/s?wd=%E5%87%8F%E8%82%A5%E8%8C%B6\n"_s + FakeSite::searchTarget(u"减肥茶的功效"_s) + u'\n'
                 + FakeSite::searchTarget(u"减肥茶哪个好"_s));

    // The export writes the list as it is.
    const ExportBox box = exportList(*program);
    QVERIFY(box.shown && box.closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(stopped + u"\r\n"_s));

    // The same seed again goes on where the run stopped: 瘦身减肥茶 first, no seed request, then
    // the next generation; without a pause this time.
    QVERIFY(typeInto(*program, Layout::Text7, u"0"_s));
    program->click(Layout::Command4);
    QTRY_COMPARE_WITH_TIMEOUT(site_->requestCount(), 8, 10000);
    QTest::qWait(1000);
    QCOMPARE(site_->requestLog().split(u'\n').mid(3),
             (QStringList{ FakeSite::searchTarget(u"瘦身减肥茶"_s), FakeSite::searchTarget(u"减肥茶的副作用"_s),
                           FakeSite::searchTarget(u"减肥茶的功效与作用"_s), FakeSite::searchTarget(u"减肥茶品牌排行"_s),
                           FakeSite::searchTarget(u"瘦身减肥茶推荐"_s) }));
    QCOMPARE(clipboard(), stopped + u"瘦身减肥茶推荐\r\n"_s);
}

void TestEndToEnd::hotWordFetchFromEachSource()
{
    const auto program = startProgram();
    QVERIFY(program);
    // A list whose last line has no line break: the fetched keywords start on a line of their own.
    QVERIFY(typeInto(*program, Layout::Text1, u"我的词"_s));

    struct Source
    {
        Spot option;
        QString address;
        QString keywords;
    };
    const Source sources[] = {
        { Layout::Option3, u"http://top.baidu.com/buzz/top10.html"_s, u"春节放假安排\r\niphone16发布会\r\n"_s },
        { Layout::Option4, u"http://top.baidu.com/buzz/weekhotspot.html"_s, u"世界杯赛程\r\n高考分数线\r\n"_s },
        { Layout::Option1, u"http://top.sogou.com/000002.html"_s, u"秋季养生\r\n油价调整\r\n"_s },
        { Layout::Option2, u"http://top.sogou.com/000001.html"_s, u"双十一攻略\r\n流感疫苗\r\n"_s },
        { Layout::Option5, u"http://top.baidu.com/buzz/shijian.html"_s, u"新能源汽车补贴\r\n"_s },
        { Layout::Option6, u"http://top.baidu.com/buzz/shijian_lastmonth.html"_s, u"月饼礼盒\r\n国庆出游\r\n"_s },
    };
    QString list = u"我的词\r\n"_s;
    QStringList addresses;
    for (const Source& source : sources) {
        program->click(source.option);
        list += source.keywords;
        addresses << source.address;
        QCOMPARE(clipboardAfterClick(*program, Layout::Command10), list);
        QCOMPARE(site_->requestLog(), addresses.join(u'\n'));
        QCOMPARE(program->fileBytes(u"1.txt"_s), gbk(source.keywords + u"\r\n"_s));
    }
}

void TestEndToEnd::listCommands()
{
    const auto program = startProgram();
    QVERIFY(program);
    QVERIFY(typeInto(*program, Layout::Text1, u"减肥茶\n减肥药\n减肥茶\nABC减肥\n瘦身\nAbc瘦身法"_s));

    // 过滤重复: repeats and blank lines go, the list begins with a line break.
    QCOMPARE(clipboardAfterClick(*program, Layout::Command6),
             u"\r\n减肥茶\r\n减肥药\r\nABC减肥\r\n瘦身\r\nAbc瘦身法\r\n"_s);

    // 打乱顺序: the same five entries in some order, each followed by a line break.
    const QString shuffled = clipboardAfterClick(*program, Layout::Command2);
    QVERIFY2(shuffled.endsWith(u"\r\n"_s) && !shuffled.startsWith(u"\r\n"_s), qPrintable(shuffled));
    const QStringList order = shuffled.split(u"\r\n"_s, Qt::SkipEmptyParts);
    QStringList sorted = order;
    sorted.sort();
    QStringList expected = { u"减肥茶"_s, u"减肥药"_s, u"ABC减肥"_s, u"瘦身"_s, u"Abc瘦身法"_s };
    expected.sort();
    QCOMPARE(sorted, expected);
    QCOMPARE(shuffled.count(u"\r\n"_s), 5);

    // The filters keep the shuffled order.
    auto keep = [&order](auto rule) {
        QString kept;
        for (const QString& entry : order) {
            if (rule(entry))
                kept += entry + u"\r\n"_s;
        }
        return kept;
    };

    // 关键词个数大于 2: entries of three characters or more.
    QVERIFY(typeInto(*program, Layout::Text8, u"2"_s));
    const QString longer = keep([](const QString& entry) { return entry.size() > 2; });
    QCOMPARE(clipboardAfterClick(*program, Layout::Command13), longer);

    // 筛选关键词不包含 药: the list's final empty entry survives as an empty line.
    QVERIFY(typeInto(*program, Layout::Text2, u"药"_s));
    const QString withoutDrug
        = keep([](const QString& entry) { return entry.size() > 2 && !entry.contains(u"药"_s); }) + u"\r\n"_s;
    QCOMPARE(clipboardAfterClick(*program, Layout::Command8), withoutDrug);

    // 筛选关键词包含 abc: letter case ignored, empty lines gone.
    QVERIFY(typeInto(*program, Layout::Text9, u"abc"_s));
    const QString withAbc = keep([](const QString& entry) { return entry.contains(u"abc"_s, Qt::CaseInsensitive); });
    QCOMPARE(withAbc.count(u"\r\n"_s), 2);
    QCOMPARE(clipboardAfterClick(*program, Layout::Command15), withAbc);

    // The list box holds what the clipboard holds.
    QVERIFY(exportList(*program).closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(withAbc + u"\r\n"_s));
}

void TestEndToEnd::exportWithEachSeparator()
{
    const auto program = startProgram();
    QVERIFY(program);
    QVERIFY(typeInto(*program, Layout::Text1, u"减肥茶\n减肥药\nABC\n"_s));
    const QString usersOwn = u"用户自己复制的文字"_s;
    display_.setClipboard(usersOwn);

    ExportBox box = exportList(*program);
    QCOMPARE(box.clipboardWhileShown, usersOwn);
    QVERIFY(box.shown && box.closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(u"减肥茶\r\n减肥药\r\nABC\r\n\r\n"_s));

    program->click(Layout::Option8);
    QVERIFY(exportList(*program).closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(u"减肥茶,减肥药,ABC,\r\n"_s));

    program->click(Layout::Option9);
    display_.setClipboard(usersOwn);
    box = exportList(*program);
    QVERIFY(box.shown && box.closedByReturn);
    QCOMPARE(box.clipboardWhileShown, usersOwn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s),
             QByteArray("\xBC\xF5\xB7\xCA\xB2\xE8|\xBC\xF5\xB7\xCA\xD2\xA9|ABC|\r\n"));

    // 清空数据 has no command: the list is exported unchanged.
    program->click(Layout::Command9);
    QVERIFY(exportList(*program).closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(u"减肥茶|减肥药|ABC|\r\n"_s));

    program->click(Layout::Option7);
    QVERIFY(exportList(*program).closedByReturn);
    QCOMPARE(program->fileBytes(u"关键词.txt"_s), gbk(u"减肥茶\r\n减肥药\r\nABC\r\n\r\n"_s));
}

void TestEndToEnd::closeDuringRunEndsAtOnce()
{
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setHanging(u"减肥方法"_s);

    const auto program = startProgram();
    QVERIFY(program);
    program->click(Layout::Command4); // the seed as it stands: 减肥
    QTRY_COMPARE_WITH_TIMEOUT(site_->requestCount(), 2, 10000);
    QCOMPARE(site_->requestLog(), FakeSite::searchTarget(u"减肥"_s) + u'\n' + FakeSite::searchTarget(u"减肥方法"_s));

    QElapsedTimer closing;
    closing.start();
    QVERIFY(display_.sendCloseRequest(program->window()));
    QVERIFY2(program->process().waitForFinished(1000), "the program still runs a second after the close request");
    qInfo("e2e: the program ended %lld ms after the close request", closing.elapsed());
    QCOMPARE(program->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->process().exitCode(), 0);

    // Nothing more was asked for and nothing was saved.
    QTest::qWait(300);
    QCOMPARE(site_->requestCount(), 2);
    QVERIFY(program->fileBytes(u"关键词.txt"_s).isNull());
}

void TestEndToEnd::clipboardKeptAfterClose()
{
    ClipboardManager manager(display_);
    QString error;
    QVERIFY2(manager.start(&error), qPrintable(error));
    const auto program = startProgram();
    QVERIFY(program);
    QVERIFY(typeInto(*program, Layout::Text1, u"减肥茶\n减肥药\n减肥茶"_s));

    // Closed straight after the command, before any other program has read the new list.
    program->click(Layout::Command6);
    QVERIFY(display_.sendCloseRequest(program->window()));
    QVERIFY2(program->process().waitForFinished(1000), "the program still runs a second after the close request");
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), u"\r\n减肥茶\r\n减肥药\r\n"_s, 3000);
}

void TestEndToEnd::verificationPassedInItsWindow()
{
    site_->setRelated(u"减肥食谱"_s, {});
    site_->setRelated(u"减肥方法大全"_s, {});
    const auto program = startProgram(true);
    QVERIFY(program);
    startRefusedRun(*program);
    QVERIFY(!QTest::currentTestFailed());

    const QString window = waitForVerificationPage(*program);
    QVERIFY2(!window.isEmpty(), qPrintable(u"没有出现验证窗口。请求：\n"_s + site_->requestLog()));
    QCOMPARE(display_.windowSize(window), QSize(520, 640));
    // What the person sees: the line that says what the window is for, the engine's page below it.
    const QString picture = tempDir_.filePath(u"verification.png"_s);
    QVERIFY2(QTest::qWaitFor([&] { return showsVerificationButton(window, picture); }, 15000),
             "the verification page is not drawn");
    qInfo("e2e: the verification window as shown: %s", qPrintable(picture));

    // The button; a click that came before the page could take it is repeated.
    const QString refused = FakeSite::searchTarget(u"减肥方法"_s);
    const auto passAsked = [&] {
        const QList<FakeSite::Visit> visits = pageVisits();
        return std::any_of(visits.cbegin(), visits.cend(), [&](const FakeSite::Visit& visit) {
            return visit.target == FakeSite::passAddress(refused);
        });
    };
    for (int click = 0; click < 3; ++click) {
        display_.click(window, VerificationButton);
        if (QTest::qWaitFor(passAsked, 3000))
            break;
    }
    QVERIFY(passAsked());

    // The window closes itself, the refused keyword is asked again with the pass, and the run goes
    // on to its end with every keyword in the list and no box.
    QTRY_VERIFY_WITH_TIMEOUT(display_.findWindows(program->pid(), u"^百度安全验证$"_s).isEmpty(), 10000);
    const QString whole = u"减肥方法\r\n减肥食谱\r\n减肥方法大全\r\n"_s;
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), whole, 15000);
    QTest::qWait(1000);
    QVERIFY(display_.findWindows(program->pid(), u"^挖掘已停止$"_s).isEmpty());

    const QList<FakeSite::Visit> visits = pageVisits();
    // The window asks the page, the button's address, and the refused page it leads back to; then
    // the program asks that page again itself.
    QCOMPARE(askedTargets(),
             (QStringList { FakeSite::searchTarget(u"减肥"_s), refused, FakeSite::verificationAddress(refused),
                            FakeSite::passAddress(refused), refused, refused, FakeSite::searchTarget(u"减肥食谱"_s),
                            FakeSite::searchTarget(u"减肥方法大全"_s) }));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(visits.at(i).cookie, QString());
    for (int i = 4; i < 8; ++i)
        QCOMPARE(visits.at(i).cookie, u"BDPASS=1"_s);
    QCOMPARE(visits.at(5).userAgent, visits.at(0).userAgent);

    // The visits' times: the refusal, the window's page, the button's address, the program's query.
    qInfo("e2e: %lld ms from the refusal to the next query of the refused keyword: the window asked for its page "
          "after %lld ms, the button's address %lld ms later, and the program asked the keyword again %lld ms after "
          "that",
          visits.at(5).atMs - visits.at(1).atMs, visits.at(2).atMs - visits.at(1).atMs,
          visits.at(3).atMs - visits.at(2).atMs, visits.at(5).atMs - visits.at(3).atMs);
}

void TestEndToEnd::verificationNotPassed_data()
{
    QTest::addColumn<bool>("withWebEngine");
    QTest::newRow("window closed") << true;
    // The program alone, without the plugin: no window, the run stops at the refusal.
    QTest::newRow("no web engine") << false;
}

void TestEndToEnd::verificationNotPassed()
{
    QFETCH(bool, withWebEngine);
    site_->setRelated(u"减肥食谱"_s, {});
    site_->setRelated(u"减肥方法大全"_s, {});
    const auto program = startProgram(withWebEngine);
    QVERIFY(program);
    startRefusedRun(*program);
    QVERIFY(!QTest::currentTestFailed());
    const QString refused = FakeSite::searchTarget(u"减肥方法"_s);
    const QString seed = FakeSite::searchTarget(u"减肥"_s);
    QStringList untilStopped { seed, refused };
    if (withWebEngine) {
        const QString window = waitForVerificationPage(*program);
        QVERIFY2(!window.isEmpty(), qPrintable(u"没有出现验证窗口。请求：\n"_s + site_->requestLog()));
        // Closed as the person closes it: the run ends as a refusal, with its box.
        QVERIFY(display_.sendCloseRequest(window));
        untilStopped << FakeSite::verificationAddress(refused);
    }
    const QString box = waitForBox(*program, u"挖掘已停止"_s, 10000);
    QVERIFY2(!box.isEmpty(), "no box after the refusal");
    QVERIFY(display_.findWindows(program->pid(), u"^百度安全验证$"_s).isEmpty());
    QCOMPARE(askedTargets(), untilStopped);
    QVERIFY(closeBoxWithReturn(*program, box, u"挖掘已停止"_s));
    QCOMPARE(clipboard(), u"减肥方法\r\n减肥食谱\r\n"_s);
    QTest::qWait(1000);
    QCOMPARE(askedTargets(), untilStopped);

    // Later, with the engine answering again, 继续挖掘 goes on from the refused keyword.
    site_->setRefusing(false);
    program->click(Layout::Command4);
    const QString whole = u"减肥方法\r\n减肥食谱\r\n减肥方法大全\r\n"_s;
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), whole, 15000);
    QTest::qWait(1000);
    QCOMPARE(
        askedTargets().mid(untilStopped.size()),
        (QStringList { refused, FakeSite::searchTarget(u"减肥食谱"_s), FakeSite::searchTarget(u"减肥方法大全"_s) }));
    QVERIFY(display_.findWindows(program->pid(), u"^挖掘已停止$"_s).isEmpty());
}

void TestEndToEnd::startFetcherRefusedRun(ProgramWindow& program, FakeSite::FetcherRefusal refusal)
{
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setRelated(u"减肥方法"_s, { u"减肥方法大全"_s, u"减肥食谱"_s });
    site_->setRelated(u"减肥食谱"_s, {});
    site_->setRelated(u"减肥方法大全"_s, {});
    site_->setRefusingFetcher(refusal);
    QVERIFY(typeInto(program, Layout::Text7, u"0"_s));
    program.click(Layout::Command4);
}

bool TestEndToEnd::passVerification(const QString& window, const QString& refusedTarget)
{
    const auto passAsked = [&] {
        const QList<FakeSite::Visit> visits = pageVisits();
        return std::any_of(visits.cbegin(), visits.cend(), [&](const FakeSite::Visit& visit) {
            return visit.target == FakeSite::passAddress(refusedTarget);
        });
    };
    // A click that came before the page could take it is repeated.
    for (int click = 0; click < 10 && !passAsked(); ++click) {
        display_.click(window, VerificationButton);
        if (QTest::qWaitFor(passAsked, 2000))
            break;
    }
    return passAsked();
}

void TestEndToEnd::fetcherRefusedWebEngineServed_data()
{
    QTest::addColumn<int>("refusal");
    QTest::addColumn<int>("fetcherRefusals");
    QTest::addColumn<bool>("restart"); // the program is started again and mines once more
    // The window finds the results at once: the engine serves the web engine, and the run asks
    // through it from then on, without anybody passing anything.
    QTest::newRow("verification in place of the results") << int(FakeSite::FetcherRefusal::InPlace) << 1 << false;
    // The window shows the verification and the person passes it; the fetcher is refused again
    // right after, and the run turns to the web engine.
    QTest::newRow("redirect to the verification") << int(FakeSite::FetcherRefusal::Redirect) << 2 << false;
    // The next start remembers the engine's choice: its first query goes through the web engine, and
    // the fetcher is not refused again.
    QTest::newRow("in place, then the next start") << int(FakeSite::FetcherRefusal::InPlace) << 1 << true;
}

void TestEndToEnd::fetcherRefusedWebEngineServed()
{
    QFETCH(int, refusal);
    QFETCH(int, fetcherRefusals);
    QFETCH(bool, restart);
    QTemporaryDir data;
    auto program = std::make_unique<ProgramWindow>(
        display_, ProgramWindow::Options { program_, site_->port(), false, data.path() });
    QString error;
    QVERIFY2(program->start(&error), qPrintable(error));
    startFetcherRefusedRun(*program, FakeSite::FetcherRefusal(refusal));
    QVERIFY(!QTest::currentTestFailed());
    const QString seed = FakeSite::searchTarget(u"减肥"_s);

    bool windowSeen = false;
    if (FakeSite::FetcherRefusal(refusal) == FakeSite::FetcherRefusal::Redirect) {
        QStringList found;
        QVERIFY2(QTest::qWaitFor(
                     [&] { return !(found = display_.findWindows(program->pid(), u"^百度安全验证$"_s)).isEmpty(); },
                     30000),
                 qPrintable(u"没有出现验证窗口。请求：\n"_s + site_->requestLog()));
        windowSeen = true;
        QVERIFY2(passVerification(found.first(), seed), qPrintable(site_->requestLog()));
    }

    // Every keyword in the list, through the web engine, and nothing left on the screen.
    const QString whole = u"减肥方法\r\n减肥食谱\r\n减肥方法大全\r\n"_s;
    QElapsedTimer waited;
    waited.start();
    while (clipboard() != whole && waited.elapsed() < 40000) {
        windowSeen = windowSeen || !display_.findWindows(program->pid(), u"^百度安全验证$"_s).isEmpty();
        QTest::qWait(50);
    }
    QCOMPARE(clipboard(), whole);
    QTest::qWait(1000);
    QVERIFY(display_.findWindows(program->pid(), u"^百度安全验证$"_s).isEmpty());
    QVERIFY(display_.findWindows(program->pid(), u"^挖掘已停止$"_s).isEmpty());

    const QList<FakeSite::Visit> visits = pageVisits();
    QStringList fetcherAsked;
    QStringList webAsked;
    int refused = 0;
    for (const FakeSite::Visit& visit : visits) {
        if (!visit.target.contains(u"/s?wd="_s))
            continue;
        refused += visit.refused ? 1 : 0;
        (visit.fromWebEngine ? webAsked : fetcherAsked) << visit.target;
    }
    QCOMPARE(refused, fetcherRefusals);
    QCOMPARE(fetcherAsked, QStringList(fetcherRefusals, seed));
    QVERIFY2(webAsked.endsWith(FakeSite::searchTarget(u"减肥方法大全"_s)), qPrintable(webAsked.join(u'\n')));
    for (const QString& keyword : { u"减肥方法"_s, u"减肥食谱"_s, u"减肥方法大全"_s })
        QCOMPARE(webAsked.count(FakeSite::searchTarget(keyword)), 1);
    // Nothing of any kind reached the engine within two seconds after a refusal: neither the
    // verification window's first page (the refused page itself, when it came in place of the
    // results) nor the hidden page's.
    const QList<FakeSite::Visit> all = site_->visits();
    qint64 shortest = -1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        for (qsizetype j = i + 1; all.at(i).refused && j < all.size(); ++j) {
            const qint64 after = all.at(j).atMs - all.at(i).atMs;
            QVERIFY2(after >= 2000, qPrintable(u"%1 %2 ms after the refusal of %3"_s.arg(all.at(j).target)
                                                   .arg(after)
                                                   .arg(all.at(i).target)));
            shortest = shortest < 0 ? after : qMin(shortest, after);
        }
    }
    qInfo("e2e: %s: the verification window was %s; %lld result pages through the web engine, the fetcher refused %d "
          "times; the next request came %lld ms after a refusal at the soonest",
          QTest::currentDataTag(), windowSeen ? "seen" : "never seen", qlonglong(webAsked.size()), refused,
          qlonglong(shortest));
    if (!restart)
        return;

    // Closed, started again on the same session, and the same seed mined again: every page through
    // the web engine from the first, none refused, no window. The last page was asked, but the run
    // ends only once the hidden page has read it, which a loaded machine may take seconds for; a
    // window closed before would keep that page for 继续挖掘.
    QTest::qWait(4000);
    QVERIFY(display_.sendCloseRequest(program->window()));
    QVERIFY(program->process().waitForFinished(5000));
    const qsizetype before = site_->visits().size();
    program = std::make_unique<ProgramWindow>(display_,
                                              ProgramWindow::Options { program_, site_->port(), false, data.path() });
    QVERIFY2(program->start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(copiedList(*program), QString(whole).replace(u"\r\n"_s, u"\n"_s), 10000);
    program->click(Layout::Command4);
    const QString last = FakeSite::searchTarget(u"减肥方法大全"_s);
    const auto lastAsked = [&] {
        const QList<FakeSite::Visit> visits = site_->visits().mid(before);
        return std::any_of(visits.cbegin(), visits.cend(),
                           [&](const FakeSite::Visit& visit) { return visit.target == last; });
    };
    QVERIFY2(QTest::qWaitFor(lastAsked, 40000), qPrintable(site_->requestLog()));
    QTest::qWait(1000);
    QStringList again;
    for (const FakeSite::Visit& visit : site_->visits().mid(before)) {
        if (!visit.target.contains(u"/s?wd="_s))
            continue;
        QVERIFY2(visit.fromWebEngine && !visit.refused, qPrintable(visit.target));
        again << visit.target;
    }
    QCOMPARE(again, (QStringList { seed, FakeSite::searchTarget(u"减肥方法"_s), FakeSite::searchTarget(u"减肥食谱"_s),
                                   last }));
    QVERIFY(display_.findWindows(program->pid(), u"^(百度安全验证|挖掘已停止)$"_s).isEmpty());
}

void TestEndToEnd::stopWhileVerificationWindowIsOpen()
{
    const auto program = startProgram(true);
    QVERIFY(program);
    startFetcherRefusedRun(*program, FakeSite::FetcherRefusal::Redirect);
    QVERIFY(!QTest::currentTestFailed());
    QStringList found;
    QVERIFY2(QTest::qWaitFor(
                 [&] { return !(found = display_.findWindows(program->pid(), u"^百度安全验证$"_s)).isEmpty(); }, 30000),
             qPrintable(u"没有出现验证窗口。请求：\n"_s + site_->requestLog()));
    // Its page comes after the cool-down of the refusal.
    const QString verification = FakeSite::verificationAddress(FakeSite::searchTarget(u"减肥"_s));
    QVERIFY2(QTest::qWaitFor([&] { return askedTargets().contains(verification); }, 15000),
             qPrintable(site_->requestLog()));
    QTest::qWait(1000);
    const int asked = site_->requestCount();

    // Stop, clicked where it stands on the screen: the window leaves it free.
    program->click(Layout::Command5);
    const QString box = waitForBox(*program, u"挖掘已停止"_s, 10000);
    QVERIFY2(!box.isEmpty(), "Stop did not reach the program while the verification window was open");
    QVERIFY(display_.findWindows(program->pid(), u"^百度安全验证$"_s).isEmpty());
    QVERIFY(closeBoxWithReturn(*program, box, u"挖掘已停止"_s));
    QTest::qWait(2500);
    QCOMPARE(site_->requestCount(), asked);
}

void TestEndToEnd::killedWhileAPageIsAwaited()
{
    QTemporaryDir data;
    site_->setRelated(u"减肥"_s, { u"减肥方法"_s, u"减肥食谱"_s });
    site_->setRelated(u"减肥方法"_s, { u"减肥方法大全"_s, u"减肥食谱"_s });
    site_->setRelated(u"减肥方法大全"_s, {});
    site_->setRelated(u"减肥食谱做法"_s, {});
    site_->setHanging(u"减肥食谱"_s);
    const QString awaited = FakeSite::searchTarget(u"减肥食谱"_s);
    {
        ProgramWindow program(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        QVERIFY(typeInto(program, Layout::Text7, u"0"_s));
        program.click(Layout::Command4);
        QTRY_VERIFY_WITH_TIMEOUT(askedTargets().contains(awaited), 15000);
        // Killed as a crash or a power cut kills it, its page still on the way.
        QTest::qWait(500);
        ::kill(pid_t(program.pid()), SIGKILL);
        QVERIFY(program.process().waitForFinished(5000));
    }
    const int before = int(pageVisits().size());

    site_->setRelated(u"减肥食谱"_s, { u"减肥食谱做法"_s });
    ProgramWindow program(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
    QString error;
    QVERIFY2(program.start(&error), qPrintable(error));
    // The list as it was: the text box copies it.
    const QString kept = u"减肥方法\r\n减肥食谱\r\n减肥方法大全\r\n"_s;
    QTRY_COMPARE_WITH_TIMEOUT(copiedList(program), QString(kept).replace(u"\r\n"_s, u"\n"_s), 10000);
    // 继续挖掘: the awaited keyword first, no seed, and the same list as a run that was never cut off.
    program.click(Layout::Command4);
    const QString whole = kept + u"减肥食谱做法\r\n"_s;
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), whole, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(askedTargets().mid(before),
                              (QStringList { awaited, FakeSite::searchTarget(u"减肥方法大全"_s),
                                             FakeSite::searchTarget(u"减肥食谱做法"_s) }),
                              15000);
    QVERIFY(display_.findWindows(program.pid(), u"^(挖掘已停止|保存)$"_s).isEmpty());
}

// The closing window hands its clipboard to a manager that never answers, so that it lives on for
// half a second after the close; a window started meanwhile finds the list all the same.
void TestEndToEnd::closeAndStartAgainAtOnce()
{
    QTemporaryDir data;
    SilentClipboardManager manager(display_);
    QVERIFY(manager.start());
    ProgramWindow first(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
    QString error;
    QVERIFY2(first.start(&error), qPrintable(error));
    QVERIFY(typeInto(first, Layout::Text1, u"减肥茶\n减肥药\n减肥茶"_s));
    // 过滤重复 puts the list on the clipboard, which the window then hands over at exit.
    const QString list = clipboardAfterClick(first, Layout::Command6);
    QCOMPARE(list, u"\r\n减肥茶\r\n减肥药\r\n"_s);

    QVERIFY(display_.sendCloseRequest(first.window()));
    ProgramWindow second(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
    QVERIFY2(second.start(&error), qPrintable(error));
    // A window that does not get the store says so at once, or once its wait for the lock is over.
    QVERIFY2(waitForBox(second, u"保存"_s, 4000).isEmpty(), "the second window could not keep its session");
    QString kept;
    // Each copy takes seconds when it does not arrive: a deadline rather than a count of tries.
    QTest::qWaitFor([&] { return (kept = copiedList(second)) == u"\n减肥茶\n减肥药\n"_s; }, 10000);
    QCOMPARE(kept, u"\n减肥茶\n减肥药\n"_s);
    // Ended by now, at once after the close and the half second of the hand-over.
    QVERIFY(first.process().state() == QProcess::NotRunning || first.process().waitForFinished(5000));
    QCOMPARE(first.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.process().exitCode(), 0);
}

// Typing without a pause, then a kill: what was typed two seconds before the kill is back.
void TestEndToEnd::typingKeptUntilAKill()
{
    QTemporaryDir data;
    const QString typed = u"abcdefghijklmnopqrstuvwxyzabcdefghijklmn"_s; // 40 keys, 100 ms apart
    {
        ProgramWindow program(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        program.click(Layout::Text1);
        display_.type(typed, 100);
        ::kill(pid_t(program.pid()), SIGKILL);
        QVERIFY(program.process().waitForFinished(5000));
    }
    ProgramWindow program(display_, ProgramWindow::Options { program_, site_->port(), true, data.path() });
    QString error;
    QVERIFY2(program.start(&error), qPrintable(error));
    QString kept;
    // The list comes back once the window has painted; half the keys were typed 2 s before the kill.
    QTest::qWaitFor([&] { return (kept = copiedList(program)).size() >= 15; }, 10000);
    QVERIFY2(kept.size() >= 15 && typed.startsWith(kept), qPrintable(kept));
    qInfo("e2e: %lld of %lld keys typed before the kill came back", qint64(kept.size()), qint64(typed.size()));
}

QString TestEndToEnd::copiedList(ProgramWindow& program)
{
    display_.setClipboard(Marker);
    program.click(Layout::Text1);
    display_.key(u"ctrl+a"_s);
    display_.key(u"ctrl+c"_s);
    QString now;
    if (!QTest::qWaitFor([&] { return (now = clipboard()) != Marker; }, 3000))
        return QString();
    return now.replace(u"\r\n"_s, u"\n"_s);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments.at(1).startsWith(u'-')) {
        std::fprintf(stderr, "usage: tst_e2e <path of qinglan-cibao> [QtTest options]\n");
        return 2;
    }
    TestEndToEnd test(QFileInfo(arguments.takeAt(1)).absoluteFilePath());
    return QTest::qExec(&test, arguments);
}

#include "tst_e2e.moc"
