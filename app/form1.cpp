// Form1: the controls in their twip positions, start-up, the fixed size, shut-down, the mining run
// and its progress display. The list commands and the export live in form1_lists.cpp.
#include "app/form1.h"

#include "app/keyworddrop.h"
#include "app/messagebox.h"
#include "app/picturebutton.h"
#include "app/sessionkeeper.h"
#include "app/verificationgate.h"
#include "app/webstriploader.h"
#include "listtools/listcommands.h"
#include "platform/browser.h"
#include "platform/inet.h"
#include "platform/listreplace.h"
#include "text/module1.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QRegularExpression>
#include <QAbstractButton>
#include <map>

using namespace Qt::StringLiterals;

namespace {

constexpr int TwipsPerPixel = 15;
constexpr int ClientWidthTwips = 11265;
constexpr int ClientHeightTwips = 7980;

int twips(int t)
{
    return qRound(double(t) / TwipsPerPixel);
}

const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);

QString dateTimeText(const QDateTime& moment)
{
    return QLocale::c().toString(moment, u"yyyy/M/d H:mm:ss"_s);
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

template <typename W>
W* place(W* widget, const QString& name, int left, int top, int width, int height)
{
    widget->setObjectName(name);
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return widget;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , run_(std::make_unique<Mining::MiningRun>())
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"晴岚词宝v3.3   [关键词挖掘]  站长SEO实用好工具"_s);
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(twips(ClientWidthTwips), twips(ClientHeightTwips));

    buildControls();
    fileDrop_ = new KeywordFileDrop(Text1); // owned by Text1

    Inet1 = new Inet(this);
    Inet1->setObjectName(u"Inet1"_s);
    run_->setInet(Inet1);
    // One pace for every request to the engine: the run's and the verification window's.
    run_->setPacer(new Mining::Pacer(this));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(1000);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Command13, &QPushButton::clicked, this, &Form1::Command13_Click);
    connect(Command15, &QPushButton::clicked, this, &Form1::Command15_Click);
    connect(Command16, &QPushButton::clicked, this, &Form1::Command16_Click);
    connect(Command17, &QPushButton::clicked, this, &Form1::Command17_Click);
    connect(Check4, &QCheckBox::toggled, this, &Form1::Check4_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    // Any change that the run did not make itself means the mirror no longer holds Text1's list.
    connect(Text1->document(), &QTextDocument::contentsChanged, this, [this] {
        if (appending_)
            return;
        listMirror_.invalidate();
        listLinesValid_ = false;
        if (session_)
            session_->changed();
    });
    connect(Text3, &QLineEdit::textChanged, this, &Form1::updateStartCaption);
    connect(run_.get(), &Mining::MiningRun::querying, Label2, &QLabel::setText);
    connect(run_.get(), &Mining::MiningRun::countChanged, this,
            [this](qint32 found) { Label7->setText(QString::number(found) + u" 个"); });
    connect(run_.get(), &Mining::MiningRun::pageAsked, this, &Form1::runPageAsked);
    run_->verify = [this](const FetchResult& refused) { return passVerification(refused); };
    run_->webSourceFactory = [this] { return WebStripLoader::createWebPageSource(Inet1); };
    run_->takeIntoList = [this](const QString& keyword) { return takeIntoList(keyword); };

    Form_Load();
    Timer1->start();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    // The twip layout was made for a 9-point font; with a larger desktop default the captions would
    // not fit their controls.
    QFont layoutFont = font();
    layoutFont.setPointSize(9);
    setFont(layoutFont);

    auto label = [](QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
        auto* control = place(new QLabel(caption, parent), name, l, t, w, h);
        control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // Keywords from pages and typed texts are shown as they are, never as markup.
        control->setTextFormat(Qt::PlainText);
        setColour(control, QPalette::WindowText, Blue);
        return control;
    };
    auto frame = [this](const QString& name, const QString& caption, int l, int t, int w, int h) {
        auto* control = place(new QGroupBox(caption, this), name, l, t, w, h);
        setColour(control, QPalette::WindowText, Blue);
        return control;
    };
    auto textBox = [](QWidget* parent, const QString& name, const QString& text, int l, int t, int w, int h) {
        return place(new QLineEdit(text, parent), name, l, t, w, h);
    };
    auto button = [](QWidget* parent, const QString& name, const QString& caption, QSize picture, int l, int t,
                     int w, int h) {
        return place(new PictureButton(caption, picture, parent), name, l, t, w, h);
    };
    auto option = [](QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
        auto* control = place(new QRadioButton(caption, parent), name, l, t, w, h);
        setColour(control, QPalette::WindowText, Blue);
        return control;
    };

    WebBrowser1 = place(new QWidget(this), u"WebBrowser1"_s, 0, 0, 7455, 1455);
    Frame1 = frame(u"Frame1"_s, u"关键词挖掘设置"_s, 3960, 1560, 5895, 3135);
    Frame2 = frame(u"Frame2"_s, u"长尾词列表："_s, 0, 1560, 3855, 6375);
    Frame3 = frame(u"Frame3"_s, u"关键词工具"_s, 3960, 5280, 7215, 2535);
    Label3 = label(this, u"Label3"_s,
                   u"长尾关键词挖掘：输入一个关键词，软件会自动查询该词的所有长尾词。长尾词就是财富！\r\n"_s, 10080, 1800,
                   1095, 1455);
    Label12 = label(this, u"Label12"_s,
                    u"得到一个词 所有相关的长尾词，你能想到什么？长尾词就是财富，更何况是所有的长尾词。"_s, 10080, 3360,
                    1095, 1335);
    Label3->setWordWrap(true);
    Label12->setWordWrap(true);
    // Chinese fonts on Linux set their lines further apart than the layout's desktop font did: the
    // two narrow columns hold their whole texts only with seven characters to a line.
    QFont columnFont = layoutFont;
    columnFont.setPointSizeF(7.5);
    Label3->setFont(columnFont);
    Label12->setFont(columnFont);
    Label1 = label(this, u"Label1"_s,
                   u"如果软件功能异常有任何问题 请向我们报告  联系QQ："_s + QStringView(Maker::ContactNumber) + u"\r\n",
                   4080, 4920, 5655, 255);

    // Frame1: mining settings and status.
    Label4 = label(Frame1, u"Label4"_s, u"正在查询："_s, 240, 480, 975, 255);
    Label2 = label(Frame1, u"Label2"_s, QString(), 1200, 480, 2535, 255);
    Label9 = label(Frame1, u"Label9"_s, u"数量："_s, 3840, 480, 615, 255);
    Label7 = label(Frame1, u"Label7"_s, QString(), 4560, 480, 1215, 255);
    Label5 = label(Frame1, u"Label5"_s, u"开始时间："_s, 240, 900, 2775, 255);
    Label6 = label(Frame1, u"Label6"_s, u"已查询："_s, 3840, 900, 1935, 255);
    Check4 = place(new QCheckBox(u"查询关键词包含："_s, Frame1), u"Check4"_s, 120, 1440, 1815, 255);
    setColour(Check4, QPalette::WindowText, Blue);
    Text5 = textBox(Frame1, u"Text5"_s, u"未开启"_s, 1920, 1320, 1455, 375);
    Text5->setEnabled(false);
    Label10 = label(Frame1, u"Label10"_s, u"关键词长度大于："_s, 3480, 1440, 1455, 255);
    Text6 = textBox(Frame1, u"Text6"_s, u"0"_s, 4920, 1320, 735, 375);
    setColour(Text6, QPalette::Text, Blue);
    Label11 = label(Frame1, u"Label11"_s, u"搜索词："_s, 120, 2040, 855, 255);
    setColour(Label11, QPalette::WindowText, QGuiApplication::palette().color(QPalette::WindowText));
    Text3 = textBox(Frame1, u"Text3"_s, u"减肥"_s, 960, 1920, 1455, 375);
    setColour(Text3, QPalette::Text, Red);
    Label8 = label(Frame1, u"Label8"_s, u"关键词数量："_s, 2760, 2040, 1215, 255);
    Text4 = textBox(Frame1, u"Text4"_s, u"1000"_s, 3960, 1920, 855, 390);
    setColour(Text4, QPalette::Text, Blue);
    Command4 = button(Frame1, u"Command4"_s, u"开始挖掘"_s, QSize(220, 50), 120, 2520, 1095, 375);
    Command5 = button(Frame1, u"Command5"_s, u"停止挖掘"_s, QSize(153, 44), 1560, 2520, 1095, 375);
    Label14 = label(Frame1, u"Label14"_s, u"间隔秒数："_s, 2760, 2580, 975, 255);
    Text7 = textBox(Frame1, u"Text7"_s, u"2"_s, 3735, 2490, 495, 375);
    Check1 = place(new QCheckBox(u"挖掘下拉词"_s, Frame1), u"Check1"_s, 4320, 2580, 1455, 255);
    setColour(Check1, QPalette::WindowText, Blue);

    // Frame2: the keyword list and its export.
    Text1 = place(new QPlainTextEdit(Frame2), u"Text1"_s, 120, 360, 3615, 5055);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Scroll bars that are always there spare a re-layout of every line when a long list arrives.
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    {
        QPalette palette = Text1->palette();
        palette.setColor(QPalette::Base, QGuiApplication::palette().color(QPalette::HighlightedText));
        palette.setColor(QPalette::Text, QGuiApplication::palette().color(QPalette::Highlight));
        Text1->setPalette(palette);
    }
    Command3 = button(Frame2, u"Command3"_s, u"导出txt"_s, QSize(83, 38), 120, 5520, 975, 375);
    Command9 = button(Frame2, u"Command9"_s, u"清空数据"_s, QSize(95, 42), 1560, 5520, 975, 375);
    Command16 = button(Frame2, u"Command16"_s, u"导出表格"_s, QSize(83, 38), 2640, 5520, 1095, 375);
    Label13 = label(Frame2, u"Label13"_s, u"导出分隔符："_s, 120, 6000, 1215, 255);
    Option7 = option(Frame2, u"Option7"_s, u"换行符"_s, 1200, 6000, 855, 255);
    Option8 = option(Frame2, u"Option8"_s, u"逗号,"_s, 2160, 6000, 855, 255);
    Option9 = option(Frame2, u"Option9"_s, u"竖杠|"_s, 3000, 6000, 855, 255);
    Option7->setChecked(true);

    // Frame3: list tools, hot-word sources and the website button.
    Command6 = button(Frame3, u"Command6"_s, u"过滤重复"_s, QSize(179, 42), 120, 360, 975, 375);
    Command2 = button(Frame3, u"Command2"_s, u"打乱顺序"_s, QSize(191, 45), 1200, 360, 975, 375);
    Command17 = button(Frame3, u"Command17"_s, u"词根分组"_s, QSize(83, 38), 2280, 360, 1095, 375);
    Command13 = button(Frame3, u"Command13"_s, u"关键词个数大于："_s, QSize(191, 45), 120, 840, 1695, 375);
    Text8 = textBox(Frame3, u"Text8"_s, u"0"_s, 1920, 840, 735, 375);
    Command15 = button(Frame3, u"Command15"_s, u"筛选关键词包含："_s, QSize(191, 45), 120, 1320, 1815, 375);
    Text9 = textBox(Frame3, u"Text9"_s, QString(), 2040, 1320, 1695, 375);
    Command8 = button(Frame3, u"Command8"_s, u"筛选关键词不包含："_s, QSize(179, 42), 120, 1800, 1815, 375);
    Text2 = textBox(Frame3, u"Text2"_s, QString(), 2040, 1800, 1695, 375);
    Option3 = option(Frame3, u"Option3"_s, u"百度今日热词"_s, 4440, 360, 1575, 255);
    Option4 = option(Frame3, u"Option4"_s, u"百度一周热词"_s, 4440, 720, 1575, 255);
    Option1 = option(Frame3, u"Option1"_s, u"搜狗今日热词"_s, 4440, 1080, 1575, 255);
    Option2 = option(Frame3, u"Option2"_s, u"搜狗一周热词"_s, 4440, 1440, 1575, 255);
    Option5 = option(Frame3, u"Option5"_s, u"最近火热新词"_s, 4440, 1800, 1575, 255);
    Option6 = option(Frame3, u"Option6"_s, u"上月火热新词"_s, 4440, 2160, 1575, 255);
    Option3->setChecked(true);
    Command10 = button(Frame3, u"Command10"_s, u"获取"_s, QSize(83, 38), 6000, 360, 1095, 375);
    Command1 = button(Frame3, u"Command1"_s, u"官方网站"_s, QSize(191, 45), 6000, 2040, 1095, 375);

    // Keyboard order by the layout's tab numbers, Command16 right after Command9 and Command17 right
    // after Command2 (on numbers that only labels have); labels, frames and the strip never take the focus.
    const std::map<int, QWidget*> tabOrder = {
        {2, Text1},      {3, Command5},   {4, Text3},      {5, Command4},   {6, Text4},      {7, Check4},
        {8, Text5},      {9, Text6},      {10, Text7},     {11, Check1},    {14, Command6},  {15, Text8},     {16, Command13}, {17, Command15},
        {18, Text9},     {19, Command2},  {20, Command17}, {26, Text2},     {27, Command8},  {29, Command3},  {30, Command9},  {31, Command16},
        {32, Option1},   {33, Option2},   {34, Option3},   {35, Option4},   {36, Option5},   {37, Option6},
        {39, Command10}, {42, Option7},   {43, Option8},   {44, Option9},   {45, Command1},
    };
    QWidget* previous = nullptr;
    for (const auto& [index, widget] : tabOrder) {
        Q_UNUSED(index);
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void Form1::Form_Load()
{
    TitleText = u"晴岚词宝"_s + u"v3.3" + u"   [关键词挖掘]  站长SEO实用好工具";
    setWindowTitle(TitleText);

    baseClientSize_ = size();
    centreOnScreen(frameGeometry().size());
    recordOuterSize();
}

void Form1::centreOnScreen(QSize outer)
{
    // A window's position is that of its frame.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const float left = (float(area.width()) * TwipsPerPixel - float(outer.width()) * TwipsPerPixel) / 2;
        const float top = (float(area.height()) * TwipsPerPixel - float(outer.height()) * TwipsPerPixel) / 2;
        move(area.x() + qRound(left / TwipsPerPixel), area.y() + qRound(top / TwipsPerPixel));
    }
}

void Form1::recordOuterSize()
{
    // Until the window manager has framed the window its frame is unknown and the outer size is the
    // client size; it is read again as the window shows, moves into its frame and is activated.
    // Once the frame is known the window is centred again by its real outer size.
    const QSize frame = frameGeometry().size() - size();
    const QSize outer = baseClientSize_ + frame;
    BaseWidth = outer.width() * TwipsPerPixel;
    BaseHeight = outer.height() * TwipsPerPixel;
    WebBrowser1->resize(twips(BaseWidth + 300), WebBrowser1->height());
    outerSizeFramed_ = !frame.isNull();
    if (outerSizeFramed_)
        centreOnScreen(outer);
}

bool Form1::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    const QEvent::Type type = event->type();
    if (!outerSizeFramed_ && (type == QEvent::Show || type == QEvent::Move || type == QEvent::WindowActivate))
        recordOuterSize();
    if (event->type() == QEvent::Paint && !firstPaintSeen_) {
        firstPaintSeen_ = true;
        WebStripLoader::reportFirstPaintForBenchmark();
        if (session_)
            QTimer::singleShot(0, session_.get(), &SessionKeeper::restore);
        QTimer::singleShot(0, this, &Form1::loadWebStrip);
    }
    return handled;
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::Form_Resize()
{
    if (isMinimized() || baseClientSize_.isEmpty())
        return;
    // The window keeps the size it had at load; width and height snap back independently.
    QSize wanted = size();
    if (wanted.width() != baseClientSize_.width())
        wanted.setWidth(baseClientSize_.width());
    if (wanted.height() != baseClientSize_.height())
        wanted.setHeight(baseClientSize_.height());
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    if (wanted != size())
        resize(wanted);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

void Form1::Form_Unload()
{
    // A run waiting for a page is abandoned: nothing of it runs again after the wait.
    closing_ = true;
    run_->abandon();
    // The store goes first: a window started meanwhile finds the session whole and free.
    if (session_)
        session_->closeStore();
    if (Inet1)
        Inet1->abort();
    if (unloadAction_)
        unloadAction_();
}

void Form1::Command1_Click()
{
    Browser::openInDefaultBrowser(QString::fromUtf16(Maker::Website));
}

void Form1::Command5_Click()
{
    run_->stop();
}

void Form1::Check4_Click()
{
    if (Check4->isChecked()) {
        Text5->setEnabled(true);
        Text5->setText(QString());
    } else {
        Text5->setEnabled(false);
        Text5->setText(u"未开启"_s);
    }
}

void Form1::Timer1_Timer()
{
    const QDateTime now = QDateTime::currentDateTime();
    setWindowTitle(TitleText + u"  " + dateTimeText(now));
    if (run_->RunState == 1) {
        const qint64 seconds
            = qMax<qint64>(0, now.toSecsSinceEpoch() - run_->settings().startTime.toSecsSinceEpoch());
        Label6->setText(u"已查询："_s + QString::number(seconds) + u" 秒");
    }
}

QString Form1::jcf(const QString& block, const QString& itemStart, const QString& itemEnd)
{
    return run_->jcf(block, itemStart, itemEnd);
}

QString Form1::jcfWords(const QStringList& words)
{
    return run_->jcfWords(words);
}

QString Form1::newKeywordsOfPage(const FetchResult& page, const QString& blockStart, const QString& blockEnd)
{
    return run_->newKeywordsOfPage(page, blockStart, blockEnd);
}

void Form1::runPageAsked(const Mining::PageEvent& page)
{
    const QString appended = appendRunKeywords(page.keywordsToList(), page.seedPending);
    if (!session_)
        return;
    Mining::PageEvent kept = page;
    kept.listAppend = appended;
    session_->recordPage(kept);
}

QString Form1::appendRunKeywords(const QString& keywords, bool seedPage)
{
    // A list whose last line is not closed gets a line break first, so that no keyword joins it.
    if (plainRefresh_) {
        // The benchmark's plain method: rebuild the whole box from its text after every query.
        QString list = ListReplace::keywordListText(Text1);
        const QString piece = keywords.isEmpty() || list.isEmpty() || list.endsWith(u"\r\n")
            ? keywords
            : u"\r\n"_s + keywords;
        list += piece;
        if (seedPage) {
            appending_ = true;
            Text1->setPlainText(list);
            appending_ = false;
        } else {
            ListReplace::replaceKeywordList(Text1, list, ListReplace::Order::EmptyFirst);
        }
        return ListReplace::asShownInBox(piece);
    }
    QString appended;
    if (!keywords.isEmpty()) {
        const bool lastLineOpen = !Text1->document()->lastBlock().text().isEmpty();
        const QString piece = lastLineOpen ? u"\r\n"_s + keywords : keywords;
        appending_ = true;
        ListReplace::appendToKeywordList(Text1, piece);
        appending_ = false;
        appended = ListReplace::asShownInBox(piece);
        if (listMirror_.isValid())
            listMirror_.append(appended);
    }
    if (seedPage)
        return appended;
    // After every later query the clipboard holds the whole list, as after every other rewrite.
    if (!listMirror_.isValid())
        listMirror_.reset(ListReplace::keywordListText(Text1));
    listMirror_.putOnClipboard();
    return appended;
}

bool Form1::takeIntoList(const QString& keyword)
{
    if (!listLinesValid_) {
        listLines_.clear();
        for (QTextBlock line = Text1->document()->begin(); line.isValid(); line = line.next())
            listLines_.insert(Mining::NoveltyIndex::foldKey(line.text()));
        listLinesValid_ = true;
    }
    const QString key = Mining::NoveltyIndex::foldKey(keyword);
    if (listLines_.contains(key))
        return false;
    listLines_.insert(key);
    return true;
}

void Form1::keepSession()
{
    if (session_)
        return;
    session_ = std::make_unique<SessionKeeper>(this);
    SessionKeeper* session = session_.get();
    for (QLineEdit* box : findChildren<QLineEdit*>())
        connect(box, &QLineEdit::textChanged, session, &SessionKeeper::changed);
    for (QAbstractButton* check : findChildren<QAbstractButton*>()) {
        if (check->isCheckable())
            connect(check, &QAbstractButton::toggled, session, &SessionKeeper::changed);
    }
    connect(run_.get(), &Mining::MiningRun::placeWritten, session, &SessionKeeper::writePlace);
    connect(run_.get(), &Mining::MiningRun::placeDropped, session, &SessionKeeper::dropPlace);
    connect(run_.get(), &Mining::MiningRun::webEngineChosen, session, &SessionKeeper::saveSettings);
    fileDrop_->fileRead = [session](const QString& fileName, const QString& text) {
        session->recordWords(text.split(QRegularExpression(u"[\r\n]+"_s), Qt::SkipEmptyParts),
                             u"文件 "_s + fileName);
    };
    if (firstPaintSeen_)
        QTimer::singleShot(0, session, &SessionKeeper::restore);
}

void Form1::sessionRestored()
{
    listMirror_.invalidate();
    listLinesValid_ = false;
    updateStartCaption();
}

Mining::MiningRun::Verification Form1::passVerification(const FetchResult& refused)
{
    // The person in front of the screen passes the engine's check in a window of the program; the
    // run waits meanwhile, and Stop or closing the window ends it as a refusal.
    using Verification = Mining::MiningRun::Verification;
    const QString asked = Label2->text();
    Label2->setText(u"等待安全验证"_s);
    const QPointer<Form1> alive(this);
    const VerificationGate::Outcome outcome
        = VerificationGate::pass(this, Inet1, QUrl(refused.verificationAddress), QUrl(refused.address), run_->pacer(),
                                 [this, alive] { return !alive || closing_ || run_->RunState == 2; });
    if (!alive)
        return Verification::NotPassed;
    Label2->setText(asked);
    switch (outcome) {
    case VerificationGate::Outcome::Passed:
        return Verification::Passed;
    case VerificationGate::Outcome::Served:
        return Verification::Served;
    default:
        return Verification::NotPassed;
    }
}

Mining::RunSettings Form1::readRunSettings() const
{
    Mining::RunSettings settings = run_->settings();
    if (const auto limit = Module1::ReadWholeNumber(Text4->text()))
        settings.countLimit = *limit;
    settings.containsFilter = Text5->text();
    if (const auto length = Module1::ReadWholeNumber(Text6->text()))
        settings.minLength = *length;
    if (const auto pause = Module1::ReadNumber(Text7->text()))
        settings.pauseSeconds = qBound(0.0, *pause, double(Mining::MiningRun::MaxPauseSeconds));
    settings.suggestions = Check1->isChecked();
    settings.startTime = QDateTime::currentDateTime();
    return settings;
}

void Form1::updateStartCaption()
{
    const bool canContinue = !mining_ && run_->hasPlaceFor(Text3->text());
    Command4->setText(canContinue ? u"继续挖掘"_s : u"开始挖掘"_s);
}

void Form1::Command4_Click()
{
    // A second click while a run or the hot-word fetch waits for a page is refused; the one in
    // progress goes on.
    if (mining_ || fetchingHotWords_)
        return;
    const bool resume = run_->hasPlaceFor(Text3->text());
    mining_ = true;
    updateStartCaption();
    const Mining::RunSettings settings = readRunSettings();
    if (session_)
        session_->save();
    Label5->setText(u"开始时间："_s + dateTimeText(settings.startTime));

    QPointer<Form1> alive(this);
    const Mining::MiningRun::Outcome outcome
        = resume ? run_->resume(Text3->text(), settings) : run_->start(Text3->text(), settings);
    if (!alive || outcome.end == Mining::MiningRun::End::Abandoned)
        return;
    mining_ = false;
    updateStartCaption();
    showRunEnd(outcome);
}

void Form1::showRunEnd(const Mining::MiningRun::Outcome& outcome)
{
    using End = Mining::MiningRun::End;
    const QString kept = QString::number(ListCommands::countEntries(ListReplace::keywordListText(Text1)));
    QString text;
    switch (outcome.end) {
    case End::Refused:
        text = u"查询太频繁，百度要求进行安全验证，挖掘已停止。列表中现有 %1 个关键词，可以先导出txt，稍后点“继续挖掘”接着挖。"_s
                   .arg(kept);
        break;
    case End::RefusedAfterPass:
        text = u"已经通过了安全验证，但百度仍然拒绝查询，挖掘已停止。列表中现有 %1 个关键词，请稍后点“继续挖掘”再试。"_s.arg(kept);
        break;
    case End::FailedInARow:
        text = u"连续 %1 个关键词的百度结果页都没能获取（最后一次：%2），挖掘已停止。列表中现有 %3 个关键词，"
               u"检查网络后点“继续挖掘”接着挖。"_s.arg(QString::number(Mining::MiningRun::MaxFailuresInARow),
                                                     outcome.reason, kept);
        break;
    case End::FinishedWithFailures:
        text = u"挖掘已结束，但有 %1 个关键词的结果页没能获取，点“继续挖掘”可以再试一次。"_s.arg(
            QString::number(run_->pendingKeywords().size()));
        break;
    case End::SeedFailed:
        text = u"没能获取搜索词的百度结果页（%1），挖掘已停止。请检查网络后重新开始挖掘。"_s.arg(outcome.reason);
        break;
    default:
        return;
    }
    MessageBox::show(this, u"挖掘已停止"_s, text, MessageBox::Warning);
}
