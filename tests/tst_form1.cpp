// The window as laid out: every control's name, kind, caption, twip geometry and initial state,
// the option groups, the title, the fixed size, Check4 and the button without a command; and the
// window of 词根分组 on a mined list.
#include "app/form1.h"
#include "app/form2.h"
#include "app/picturebutton.h"
#include "app/roottreemodel.h"
#include "app/sessionkeeper.h"
#include "platform/datafolder.h"
#include "platform/listreplace.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QHeaderView>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

QString captionOf(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        return box->title();
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
        return text->toPlainText();
    return QString();
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controls_data();
    void controls();
    void windowAtStart();
    void tabOrder();
    void optionGroupsIndependent();
    void resizeSnapsBack();
    void check4SwitchesFilter();
    void command9DoesNothing();
    void frame2ControlsApart();
    void titleClock();
    void keywordListRoundTrip_data();
    void keywordListRoundTrip();
    void lineSeparatorReadsAsLineBreak();
    void textsShowWhole();
    void rootsWindow();
    void rootsWindowFollowsTheList();
};

void TestForm1::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("colour"); // "blue", "red", or "" for the defaults
    QTest::addColumn<QSize>("picture");

    const QSize none;
    auto row = [](const char* name, const char* kind, const char* parent, const QString& caption, QRect twips,
                  const char* colour = "", QSize picture = QSize()) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromLatin1(parent)
                            << caption << twips << QString::fromLatin1(colour) << picture;
    };
    row("Frame1", "QGroupBox", "Form1", u"关键词挖掘设置"_s, {3960, 1560, 5895, 3135}, "blue");
    row("Frame2", "QGroupBox", "Form1", u"长尾词列表："_s, {0, 1560, 3855, 6375}, "blue");
    row("Frame3", "QGroupBox", "Form1", u"关键词工具"_s, {3960, 5280, 7215, 2535}, "blue");
    row("Label3", "QLabel", "Form1",
        u"长尾关键词挖掘：输入一个关键词，软件会自动查询该词的所有长尾词。长尾词就是财富！\r\n"_s,
        {10080, 1800, 1095, 1455}, "blue");
    row("Label12", "QLabel", "Form1",
        u"得到一个词 所有相关的长尾词，你能想到什么？长尾词就是财富，更何况是所有的长尾词。"_s,
        {10080, 3360, 1095, 1335}, "blue");
    row("Label1", "QLabel", "Form1",
        u"如果软件功能异常有任何问题 请向我们报告  联系QQ："_s + QStringView(Maker::ContactNumber) + u"\r\n",
        {4080, 4920, 5655, 255}, "blue");
    row("Label4", "QLabel", "Frame1", u"正在查询："_s, {240, 480, 975, 255}, "blue");
    row("Label2", "QLabel", "Frame1", QString(), {1200, 480, 2535, 255}, "blue");
    row("Label9", "QLabel", "Frame1", u"数量："_s, {3840, 480, 615, 255}, "blue");
    row("Label7", "QLabel", "Frame1", QString(), {4560, 480, 1215, 255}, "blue");
    row("Label5", "QLabel", "Frame1", u"开始时间："_s, {240, 900, 2775, 255}, "blue");
    row("Label6", "QLabel", "Frame1", u"已查询："_s, {3840, 900, 1935, 255}, "blue");
    row("Check4", "QCheckBox", "Frame1", u"查询关键词包含："_s, {120, 1440, 1815, 255}, "blue");
    row("Text5", "QLineEdit", "Frame1", u"未开启"_s, {1920, 1320, 1455, 375});
    row("Label10", "QLabel", "Frame1", u"关键词长度大于："_s, {3480, 1440, 1455, 255}, "blue");
    row("Text6", "QLineEdit", "Frame1", u"0"_s, {4920, 1320, 735, 375}, "blue");
    row("Label11", "QLabel", "Frame1", u"搜索词："_s, {120, 2040, 855, 255});
    row("Text3", "QLineEdit", "Frame1", u"减肥"_s, {960, 1920, 1455, 375}, "red");
    row("Label8", "QLabel", "Frame1", u"关键词数量："_s, {2760, 2040, 1215, 255}, "blue");
    row("Text4", "QLineEdit", "Frame1", u"1000"_s, {3960, 1920, 855, 390}, "blue");
    row("Command4", "PictureButton", "Frame1", u"开始挖掘"_s, {120, 2520, 1095, 375}, "", {220, 50});
    row("Command5", "PictureButton", "Frame1", u"停止挖掘"_s, {1560, 2520, 1095, 375}, "", {153, 44});
    row("Label14", "QLabel", "Frame1", u"间隔秒数："_s, {2760, 2580, 975, 255}, "blue");
    row("Text7", "QLineEdit", "Frame1", u"2"_s, {3735, 2490, 495, 375});
    row("Check1", "QCheckBox", "Frame1", u"挖掘下拉词"_s, {4320, 2580, 1455, 255}, "blue");
    row("Text1", "QPlainTextEdit", "Frame2", QString(), {120, 360, 3615, 5055}, "highlight");
    row("Command3", "PictureButton", "Frame2", u"导出txt"_s, {120, 5520, 975, 375}, "", {83, 38});
    row("Command9", "PictureButton", "Frame2", u"清空数据"_s, {1560, 5520, 975, 375}, "", {95, 42});
    row("Command16", "PictureButton", "Frame2", u"导出表格"_s, {2640, 5520, 1095, 375}, "", {83, 38});
    row("Label13", "QLabel", "Frame2", u"导出分隔符："_s, {120, 6000, 1215, 255}, "blue");
    row("Option7", "QRadioButton", "Frame2", u"换行符"_s, {1200, 6000, 855, 255}, "blue");
    row("Option8", "QRadioButton", "Frame2", u"逗号,"_s, {2160, 6000, 855, 255}, "blue");
    row("Option9", "QRadioButton", "Frame2", u"竖杠|"_s, {3000, 6000, 855, 255}, "blue");
    row("Command6", "PictureButton", "Frame3", u"过滤重复"_s, {120, 360, 975, 375}, "", {179, 42});
    row("Command2", "PictureButton", "Frame3", u"打乱顺序"_s, {1200, 360, 975, 375}, "", {191, 45});
    row("Command17", "PictureButton", "Frame3", u"词根分组"_s, {2280, 360, 1095, 375}, "", {83, 38});
    row("Command13", "PictureButton", "Frame3", u"关键词个数大于："_s, {120, 840, 1695, 375}, "", {191, 45});
    row("Text8", "QLineEdit", "Frame3", u"0"_s, {1920, 840, 735, 375});
    row("Command15", "PictureButton", "Frame3", u"筛选关键词包含："_s, {120, 1320, 1815, 375}, "", {191, 45});
    row("Text9", "QLineEdit", "Frame3", QString(), {2040, 1320, 1695, 375});
    row("Command8", "PictureButton", "Frame3", u"筛选关键词不包含："_s, {120, 1800, 1815, 375}, "", {179, 42});
    row("Text2", "QLineEdit", "Frame3", QString(), {2040, 1800, 1695, 375});
    row("Option3", "QRadioButton", "Frame3", u"百度今日热词"_s, {4440, 360, 1575, 255}, "blue");
    row("Option4", "QRadioButton", "Frame3", u"百度一周热词"_s, {4440, 720, 1575, 255}, "blue");
    row("Option1", "QRadioButton", "Frame3", u"搜狗今日热词"_s, {4440, 1080, 1575, 255}, "blue");
    row("Option2", "QRadioButton", "Frame3", u"搜狗一周热词"_s, {4440, 1440, 1575, 255}, "blue");
    row("Option5", "QRadioButton", "Frame3", u"最近火热新词"_s, {4440, 1800, 1575, 255}, "blue");
    row("Option6", "QRadioButton", "Frame3", u"上月火热新词"_s, {4440, 2160, 1575, 255}, "blue");
    row("Command10", "PictureButton", "Frame3", u"获取"_s, {6000, 360, 1095, 375}, "", {83, 38});
    row("Command1", "PictureButton", "Frame3", u"官方网站"_s, {6000, 2040, 1095, 375}, "", {191, 45});
    Q_UNUSED(none);
}

void TestForm1::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, colour);
    QFETCH(QSize, picture);

    Form1 form;
    auto* widget = form.findChild<QWidget*>(name);
    QVERIFY(widget);
    QVERIFY(widget->inherits(kind.toLatin1().constData()));
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(captionOf(widget), caption);
    const QRect pixels(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0), qRound(twips.width() / 15.0),
                       qRound(twips.height() / 15.0));
    QCOMPARE(widget->geometry(), pixels);
    QCOMPARE(widget->isEnabled(), name != u"Text5");

    QPalette::ColorRole role = QPalette::WindowText;
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget))
        role = QPalette::Text;
    else if (qobject_cast<PictureButton*>(widget))
        role = QPalette::ButtonText;
    const QColor shown = widget->palette().color(QPalette::Active, role);
    if (colour == u"blue")
        QCOMPARE(shown, QColor(0, 0, 255));
    else if (colour == u"red")
        QCOMPARE(shown, QColor(255, 0, 0));
    else if (colour == u"highlight")
        QCOMPARE(shown, QApplication::palette().color(QPalette::Active, QPalette::Highlight));
    else
        QCOMPARE(shown, QApplication::palette(widget).color(QPalette::Active, role));

    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->textFormat(), Qt::PlainText);
    if (auto* button = qobject_cast<PictureButton*>(widget)) {
        QCOMPARE(button->pictureSize(), picture);
        QVERIFY(picture.width() > widget->width() && picture.height() > widget->height());
    }
}

void TestForm1::windowAtStart()
{
    Form1 form;
    QCOMPARE(form.windowTitle(), u"晴岚词宝v3.3   [关键词挖掘]  站长SEO实用好工具"_s);
    QCOMPARE(form.TitleText, form.windowTitle());
    QCOMPARE(form.size(), QSize(751, 532));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(form.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    // The outer size as the user sees it on the shown window, the offscreen platform's frame of two
    // pixels included, and the strip 300 twips wider than it.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.BaseWidth, 755 * 15);
    QCOMPARE(form.BaseHeight, 536 * 15);
    QCOMPARE(form.WebBrowser1->geometry(), QRect(0, 0, 775, 97));
    QVERIFY(form.Option3->isChecked());
    QVERIFY(form.Option7->isChecked());
    QVERIFY(!form.Check4->isChecked());
    QVERIFY(!form.Check1->isChecked());
    QVERIFY(form.Command4->isEnabled());
    QCOMPARE(form.Text1->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(form.Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.Text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.miningRun()->RunState, 0);
    QVERIFY(form.miningRun()->RunList.isEmpty());
    QCOMPARE(form.miningRun()->SeedMarkers.first, u"相关搜索</th>"_s);
    QCOMPARE(form.miningRun()->SeedMarkers.second, u"</table>"_s);

    // Centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
}

void TestForm1::tabOrder()
{
    Form1 form;
    const QStringList expected = {u"Text1"_s,     u"Command5"_s,  u"Text3"_s,     u"Command4"_s,  u"Text4"_s,
                                  u"Check4"_s,    u"Text5"_s,     u"Text6"_s,     u"Text7"_s,     u"Check1"_s,    u"Command6"_s,  u"Text8"_s,
                                  u"Command13"_s, u"Command15"_s, u"Text9"_s,     u"Command2"_s,  u"Command17"_s, u"Text2"_s,
                                  u"Command8"_s,  u"Command3"_s,  u"Command9"_s,  u"Command16"_s, u"Option1"_s,   u"Option2"_s,
                                  u"Option3"_s,   u"Option4"_s,   u"Option5"_s,   u"Option6"_s,   u"Command10"_s,
                                  u"Option7"_s,   u"Option8"_s,   u"Option9"_s,   u"Command1"_s};
    QStringList chain;
    QWidget* widget = form.Text1;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != form.Text1 && chain.size() < 100);
    QCOMPARE(chain, expected);
}

void TestForm1::optionGroupsIndependent()
{
    Form1 form;
    form.Option6->click();
    QVERIFY(form.Option6->isChecked());
    QVERIFY(!form.Option3->isChecked());
    QVERIFY(form.Option7->isChecked());
    form.Option9->click();
    QVERIFY(form.Option9->isChecked());
    QVERIFY(!form.Option7->isChecked());
    QVERIFY(form.Option6->isChecked());
}

void TestForm1::resizeSnapsBack()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize base = form.size();
    form.resize(base.width() + 80, base.height());
    QTRY_COMPARE(form.size(), base);
    form.resize(base.width(), base.height() - 50);
    QTRY_COMPARE(form.size(), base);
    form.showMinimized();
    QTest::qWait(50);
    form.showNormal();
    QTRY_COMPARE(form.size(), base);
}

void TestForm1::check4SwitchesFilter()
{
    Form1 form;
    form.Check4->click();
    QVERIFY(form.Text5->isEnabled());
    QCOMPARE(form.Text5->text(), QString());
    form.Text5->setText(u"茶"_s);
    form.Check4->click();
    QVERIFY(!form.Text5->isEnabled());
    QCOMPARE(form.Text5->text(), u"未开启"_s);
}

void TestForm1::command9DoesNothing()
{
    Form1 form;
    form.Text1->setPlainText(u"a\r\nb"_s);
    QApplication::clipboard()->setText(u"clip"_s);
    form.Command9->click();
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb"_s);
    QCOMPARE(QApplication::clipboard()->text(), u"clip"_s);
}

void TestForm1::frame2ControlsApart()
{
    // 导出表格 sits inside the frame, right of 清空数据, and overlaps none of the frame's controls.
    Form1 form;
    QCOMPARE(form.Command16->parentWidget(), form.Frame2);
    QVERIFY(QRect(QPoint(), form.Frame2->size()).contains(form.Command16->geometry()));
    QVERIFY(form.Command16->x() > form.Command9->geometry().right());
    const auto controls = form.Frame2->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 8);
    for (QWidget* other : controls) {
        if (other != form.Command16)
            QVERIFY2(!form.Command16->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
    }
}

void TestForm1::titleClock()
{
    Form1 form;
    form.Timer1_Timer();
    const QString title = form.windowTitle();
    QVERIFY(title.startsWith(form.TitleText + u"  "));
    const QString clock = title.mid(form.TitleText.size() + 2);
    QVERIFY2(QDateTime::fromString(clock, u"yyyy/M/d H:mm:ss"_s).isValid(), qPrintable(clock));
    QCOMPARE(form.Label6->text(), u"已查询："_s); // no run: the elapsed display stands still

    Mining::RunSettings settings;
    settings.startTime = QDateTime::currentDateTime().addSecs(-42);
    form.miningRun()->setSettings(settings);
    form.miningRun()->RunState = 1;
    form.Timer1_Timer();
    QVERIFY(form.Label6->text() == u"已查询：42 秒"_s || form.Label6->text() == u"已查询：43 秒"_s);
    form.miningRun()->RunState = 2;
    settings.startTime = QDateTime::currentDateTime();
    form.miningRun()->setSettings(settings);
    form.Timer1_Timer();
    QVERIFY(form.Label6->text().startsWith(u"已查询：4"_s));
}

void TestForm1::keywordListRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // as the list reads back and the clipboard holds it
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("lines") << u"a\r\nb"_s << u"a\r\nb"_s;
    QTest::newRow("trailing CRLF") << u"\r\na\r\n\r\n"_s << u"\r\na\r\n\r\n"_s;
    QTest::newRow("spaces and tabs kept") << u"  x\t\r\n\u3000y "_s << u"  x\t\r\n\u3000y "_s;
    QTest::newRow("no-break space kept") << u"a\u00a0b"_s << u"a\u00a0b"_s;
    QTest::newRow("lone CR and LF") << u"a\rb\nc\r"_s << u"a\r\nb\r\nc\r\n"_s;
    QTest::newRow("U+2028 and U+2029") << u"a\u2028b\u2029c"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("U+FDD0 and U+FDD1") << u"a\uFDD0b\uFDD1c"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("NEL, VT and FF stay on the line") << u"a\u0085b\vc\fd"_s << u"a\u0085b\vc\fd"_s;
}

void TestForm1::lineSeparatorReadsAsLineBreak()
{
    Form1 form;
    form.Text1->setPlainText(u"a"_s);
    form.Text1->moveCursor(QTextCursor::End);
    form.Text1->insertPlainText(QString(QChar::LineSeparator) + u"b");
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"a\r\nb"_s);
}

void TestForm1::keywordListRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    Form1 form;
    form.Text1->setPlainText(u"old"_s);
    ListReplace::replaceKeywordList(form.Text1, text);
    QCOMPARE(ListReplace::keywordListText(form.Text1), shown);
    QCOMPARE(QApplication::clipboard()->text(), shown);
    QCOMPARE(ListReplace::asShownInBox(text), shown);
    QCOMPARE(form.Text1->textCursor().position(), form.Text1->document()->characterCount() - 1);
    ListReplace::replaceKeywordList(form.Text1, text, ListReplace::Order::ClipboardFirst);
    QCOMPARE(ListReplace::keywordListText(form.Text1), shown);
    QCOMPARE(QApplication::clipboard()->text(), shown);

    // Added at the end, the text reads back the same; the clipboard gets the whole list.
    form.Text1->setPlainText(u"old\r\n"_s);
    ListReplace::extendKeywordList(form.Text1, u"old\r\n"_s + text, 5);
    QCOMPARE(ListReplace::keywordListText(form.Text1), u"old\r\n"_s + shown);
    QCOMPARE(QApplication::clipboard()->text(), u"old\r\n"_s + shown);
}

void TestForm1::textsShowWhole()
{
    // Every caption of a label or button, wrapped as its control wraps it, inside the area where the
    // control shows text; a final line break shows nothing and is left out.
    Form1 form;
    // The longest caption that 导出表格 shows while it writes.
    form.Command16->setText(u"导出中 99%"_s);
    QStringList cut;
    const auto controls = form.findChildren<QWidget*>();
    for (QWidget* control : controls) {
        QString text;
        QRect box;
        int flags = Qt::AlignLeft | Qt::AlignTop;
        if (auto* label = qobject_cast<QLabel*>(control)) {
            text = label->text();
            box = label->contentsRect();
            flags |= label->wordWrap() ? Qt::TextWordWrap : 0;
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            text = button->text();
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text;
            const QStyle::SubElement part = qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxContents
                : qobject_cast<QRadioButton*>(button)                        ? QStyle::SE_RadioButtonContents
                                                                             : QStyle::SE_PushButtonContents;
            box = button->style()->subElementRect(part, &option, button);
        } else {
            continue;
        }
        while (text.endsWith(u'\n') || text.endsWith(u'\r'))
            text.chop(1);
        const QRect needed = control->fontMetrics().boundingRect(box, flags, text);
        if (!box.contains(needed))
            cut << control->objectName() + u" needs "_s + QString::number(needed.width()) + u'x'
                    + QString::number(needed.height()) + u" in "_s + QString::number(box.width()) + u'x'
                    + QString::number(box.height());
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u"; "_s)));
}

namespace {

// The four cells of a row of the tree as it shows them.
QStringList rowTexts(const QAbstractItemModel* model, int row, const QModelIndex& parent = {})
{
    QStringList cells;
    for (int column = 0; column < model->columnCount(parent); ++column)
        cells << model->index(row, column, parent).data().toString();
    return cells;
}

void selectRows(QTreeView* tree, const QList<int>& rows)
{
    tree->selectionModel()->clearSelection();
    for (int row : rows)
        tree->selectionModel()->select(tree->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void undo(QPlainTextEdit* box)
{
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
}

} // namespace

void TestForm1::rootsWindow()
{
    // A run from the seed 减肥 against a fake engine: two keywords of the seed's page have pages of
    // their own, and some keywords stand on several pages, which their 出现次数 counts.
    FakeHttpServer server;
    QVERIFY(server.start());
    server.useAsApplicationProxy();
    const QHash<QString, QStringList> related {
        { u"减肥"_s,
          { u"减肥茶多少钱"_s, u"减肥方法"_s, u"减肥药哪个牌子好"_s, u"减肥茶哪个牌子好"_s, u"减肥餐食谱"_s,
            u"快速减肥方法"_s, u"减肥茶副作用"_s } },
        { u"减肥茶多少钱"_s, { u"减肥药副作用"_s, u"减肥运动"_s, u"减肥药"_s, u"减肥茶"_s, u"减肥茶副作用"_s } },
        { u"减肥方法"_s, { u"减肥早餐吃什么"_s, u"减肥餐"_s, u"减肥茶副作用"_s, u"减肥茶多少钱"_s } },
    };
    server.setHandler([related](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response;
        if (request.url.path() == u"/s")
            response.body = SearchPages::resultPage(related.value(SearchPages::keywordOfTarget(request.target)));
        else
            response.status = 404;
        return response;
    });
    QTemporaryDir data;
    DataFolder::setPathForTesting(data.path());
    const auto resetFolder = qScopeGuard([] { DataFolder::setPathForTesting(QString()); });
    Form1 form;
    form.keepSession();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY(form.session()->isOpen());
    form.Text7->setText(u"0"_s);
    form.Text3->setText(u"减肥"_s);
    form.Command4->click();
    const QString mined = u"减肥茶多少钱\r\n减肥方法\r\n减肥药哪个牌子好\r\n减肥茶哪个牌子好\r\n减肥餐食谱\r\n快速减肥方法\r\n"
                          u"减肥茶副作用\r\n减肥药副作用\r\n减肥运动\r\n减肥药\r\n减肥茶\r\n减肥早餐吃什么\r\n减肥餐\r\n"_s;
    QCOMPARE(ListReplace::keywordListText(form.Text1), mined);

    QTest::mouseClick(form.Command17, Qt::LeftButton);
    Form2* roots = form.rootsWindow();
    QVERIFY(roots);
    QCOMPARE(roots->objectName(), u"Form2"_s);
    QCOMPARE(roots->windowTitle(), u"词根分组"_s);
    QVERIFY(roots->isWindow());
    QVERIFY(roots->isVisible());
    QTRY_VERIFY(!roots->isGrouping());
    QVERIFY(!roots->ProgressBar1->isVisible());
    QCOMPARE(roots->Label1->text(), u"13 个关键词，3 个词根，共同词根：减肥"_s);
    QCOMPARE(roots->Command1->text(), u"复制"_s);
    QCOMPARE(roots->Command2->text(), u"只保留所选"_s);
    QCOMPARE(roots->Command3->text(), u"按词根排列"_s);
    const QAbstractItemModel* tree = roots->Tree1->model();
    QStringList header;
    for (int column = 0; column < tree->columnCount(); ++column)
        header << tree->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(header, (QStringList { u"词根"_s, u"关键词数"_s, u"出现次数"_s, u"意图"_s }));

    // Every keyword holds 减肥: it is the common root on top. 茶 takes four keywords, 药 three, 餐 two;
    // 方法 is an intent and never a root. 出现次数: 减肥茶副作用 stood on three pages, 减肥茶多少钱 on two.
    QCOMPARE(tree->rowCount(), 5);
    QCOMPARE(rowTexts(tree, 0), (QStringList { u"共同词根：减肥"_s, u"13"_s, u"16"_s, u"比较 15%"_s }));
    QCOMPARE(rowTexts(tree, 1), (QStringList { u"茶"_s, u"4"_s, u"7"_s, u"价格 25%"_s }));
    QCOMPARE(rowTexts(tree, 2), (QStringList { u"药"_s, u"3"_s, u"3"_s, u"比较 33%"_s }));
    QCOMPARE(rowTexts(tree, 3), (QStringList { u"餐"_s, u"2"_s, u"2"_s, QString() }));
    QCOMPARE(rowTexts(tree, 4), (QStringList { u"其他"_s, u"4"_s, u"4"_s, u"方法 50%"_s }));
    QCOMPARE(tree->rowCount(tree->index(0, 0)), 0);
    const QModelIndex tea = tree->index(1, 0);
    QCOMPARE(tree->rowCount(tea), 4);
    QCOMPARE(rowTexts(tree, 0, tea), (QStringList { u"减肥茶多少钱"_s, QString(), u"2"_s, u"价格"_s }));
    QCOMPARE(rowTexts(tree, 1, tea), (QStringList { u"减肥茶哪个牌子好"_s, QString(), u"1"_s, u"比较"_s }));
    QCOMPARE(rowTexts(tree, 2, tea), (QStringList { u"减肥茶副作用"_s, QString(), u"3"_s, u"评价"_s }));
    QCOMPARE(rowTexts(tree, 3, tea), (QStringList { u"减肥茶"_s, QString(), u"1"_s, QString() }));

    // Sorted by 出现次数, most first: the keywords of 茶 too; the common root stays on top, 其他 last.
    roots->Tree1->sortByColumn(RootTreeModel::SeenCount, Qt::DescendingOrder);
    QCOMPARE(rowTexts(tree, 1).value(0), u"茶"_s);
    QCOMPARE(rowTexts(tree, 3).value(0), u"餐"_s);
    QCOMPARE(rowTexts(tree, 4).value(0), u"其他"_s);
    QCOMPARE(rowTexts(tree, 0, tree->index(1, 0)).value(0), u"减肥茶副作用"_s);
    QCOMPARE(rowTexts(tree, 1, tree->index(1, 0)).value(0), u"减肥茶多少钱"_s);
    roots->Tree1->sortByColumn(-1, Qt::AscendingOrder);
    QCOMPARE(rowTexts(tree, 1, tree->index(1, 0)).value(0), u"减肥茶哪个牌子好"_s);

    // 复制: the keywords of 药 and 餐 in list order; the list stays.
    QVERIFY(!roots->Command1->isEnabled());
    selectRows(roots->Tree1, { 3, 2 });
    QTest::mouseClick(roots->Command1, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(),
             u"减肥药哪个牌子好\r\n减肥餐食谱\r\n减肥药副作用\r\n减肥药\r\n减肥餐\r\n"_s);
    QCOMPARE(ListReplace::keywordListText(form.Text1), mined);

    // 只保留所选: the list and the clipboard hold the keywords of 茶; one ctrl+z brings the list back.
    selectRows(roots->Tree1, { 1 });
    QTest::mouseClick(roots->Command2, Qt::LeftButton);
    const QString teaOnly = u"减肥茶多少钱\r\n减肥茶哪个牌子好\r\n减肥茶副作用\r\n减肥茶\r\n"_s;
    QCOMPARE(ListReplace::keywordListText(form.Text1), teaOnly);
    QCOMPARE(QApplication::clipboard()->text(), teaOnly);
    QTRY_VERIFY(!roots->isGrouping());
    QCOMPARE(rowTexts(tree, 0), (QStringList { u"共同词根：减肥 茶"_s, u"4"_s, u"7"_s, u"价格 25%"_s }));
    undo(form.Text1);
    QCOMPARE(ListReplace::keywordListText(form.Text1), mined);
    QTRY_VERIFY(!roots->isGrouping());
    QCOMPARE(rowTexts(tree, 1), (QStringList { u"茶"_s, u"4"_s, u"7"_s, u"价格 25%"_s }));

    // 按词根排列 in the tree's order, here by 关键词数 from the fewest: 餐, 药, 茶, then 其他.
    roots->Tree1->sortByColumn(RootTreeModel::KeywordCount, Qt::AscendingOrder);
    QTest::mouseClick(roots->Command3, Qt::LeftButton);
    const QString arranged = u"减肥餐食谱\r\n减肥餐\r\n减肥药哪个牌子好\r\n减肥药副作用\r\n减肥药\r\n减肥茶多少钱\r\n"
                             u"减肥茶哪个牌子好\r\n减肥茶副作用\r\n减肥茶\r\n减肥方法\r\n快速减肥方法\r\n减肥运动\r\n"
                             u"减肥早餐吃什么\r\n"_s;
    QCOMPARE(ListReplace::keywordListText(form.Text1), arranged);
    QCOMPARE(QApplication::clipboard()->text(), arranged);
    undo(form.Text1);
    QCOMPARE(ListReplace::keywordListText(form.Text1), mined);
    // The run's appends are steps of their own: the next ctrl+z takes the last page's keywords.
    undo(form.Text1);
    QCOMPARE(ListReplace::keywordListText(form.Text1), mined.first(mined.indexOf(u"减肥早餐吃什么"_s)));

    // One window: a second click brings the same one forward.
    QTest::mouseClick(form.Command17, Qt::LeftButton);
    QCOMPARE(form.rootsWindow(), roots);
    qsizetype windows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        windows += qobject_cast<Form2*>(widget) != nullptr;
    QCOMPARE(windows, 1);
}

void TestForm1::rootsWindowFollowsTheList()
{
    // The list changes while it is grouped: the tree never shows the groups of the old list.
    Form1 form;
    form.Text1->setPlainText(u"减肥茶\r\n减肥茶多少钱\r\n减肥药\r\n减肥药价格"_s);
    form.Command17_Click();
    Form2* roots = form.rootsWindow();
    QVERIFY(roots);
    form.Text1->setPlainText(u"瘦身汤\r\n瘦身汤做法\r\n瘦身操"_s);
    const QAbstractItemModel* tree = roots->Tree1->model();
    QCOMPARE(tree->rowCount(), 0);
    QCOMPARE(roots->Label1->text(), u"列表已改变，正在重新分组…"_s);
    QVERIFY(!roots->Command3->isEnabled());
    QTRY_VERIFY(!roots->isGrouping());
    QCOMPARE(tree->rowCount(), 3);
    QCOMPARE(rowTexts(tree, 0), (QStringList { u"共同词根：瘦身"_s, u"3"_s, u"0"_s, QString() }));
    QCOMPARE(rowTexts(tree, 1), (QStringList { u"汤"_s, u"2"_s, u"0"_s, QString() }));
    QCOMPARE(rowTexts(tree, 2), (QStringList { u"其他"_s, u"1"_s, u"0"_s, QString() }));

    // A second click while the changed list waits to be grouped groups it at once; the group that was
    // open is open again in the new tree.
    roots->Tree1->expand(tree->index(1, 0));
    form.Text1->setPlainText(u"瘦身汤\r\n瘦身汤做法\r\n瘦身汤多少钱\r\n瘦身操"_s);
    form.Command17_Click();
    QVERIFY(roots->isGrouping());
    QTRY_VERIFY(!roots->isGrouping());
    QCOMPARE(rowTexts(tree, 1), (QStringList { u"汤"_s, u"3"_s, u"0"_s, u"价格 33%"_s }));
    QVERIFY(roots->Tree1->isExpanded(tree->index(1, 0)));
    QVERIFY(roots->Command3->isEnabled());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
