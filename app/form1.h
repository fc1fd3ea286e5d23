// Form1: the one window of the program. It owns every control and the state of a mining run;
// its handlers read the controls, call the core, and write the controls.
#pragma once

#include "mining/miningrun.h"
#include "platform/listreplace.h"

#include <QDateTime>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class Inet;
class Form2;
class KeywordFileDrop;
class SessionKeeper;
struct FetchResult;

class Form1 : public QWidget
{
    Q_OBJECT
    std::unique_ptr<Mining::MiningRun> run_;

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // The extraction of the new keywords of a block, with counting, the count display and the
    // count limit; the window's one public operation.
    QString jcf(const QString& block, const QString& itemStart, const QString& itemEnd);
    // The same for the words of a page in one of the engine's newer layouts.
    QString jcfWords(const QStringList& words);
    // The new keywords of a fetched result page: jcf over its classic block when it has one,
    // otherwise jcfWords over the words of the newer layouts.
    QString newKeywordsOfPage(const FetchResult& page, const QString& blockStart, const QString& blockEnd);

    // The run, its state and its places; the window starts it, continues it and shows what it reports.
    Mining::MiningRun* miningRun() const { return run_.get(); }

    QString TitleText;
    qint32 BaseWidth = 0;  // outer size at the end of loading, in twips
    qint32 BaseHeight = 0;

    // Controls, named as in the window's layout.
    QWidget* WebBrowser1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check4 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLineEdit* Text9 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command13 = nullptr;
    QPushButton* Command15 = nullptr;
    QPushButton* Command16 = nullptr;
    QPushButton* Command17 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option6 = nullptr;
    QRadioButton* Option7 = nullptr;
    QRadioButton* Option8 = nullptr;
    QRadioButton* Option9 = nullptr;
    QTimer* Timer1 = nullptr;
    Inet* Inet1 = nullptr;

    // Handlers, connected explicitly in the constructor.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command8_Click();
    void Command10_Click();
    void Command13_Click();
    void Command15_Click();
    void Command16_Click();
    void Command17_Click();
    void Check4_Click();
    void Timer1_Timer();

    bool miningInProgress() const { return mining_; }

    // The 词根分组 window while it is open.
    Form2* rootsWindow() const;

    // The benchmark compares against the plain method: replace the whole box after every query and
    // answer the novelty test by scanning RunList.
    void setPlainRefreshForBenchmark(bool plain)
    {
        plainRefresh_ = plain;
        run_->setNoveltyByScan(plain);
    }

    // What closing the window does after the run is abandoned; the program ends the process.
    void setUnloadAction(std::function<void()> action) { unloadAction_ = std::move(action); }

    // Keeps the session in the store of the data folder: restored after the first paint, saved as it
    // changes. Off unless asked for, so that a window made by a test starts as the layout gives it.
    void keepSession();
    SessionKeeper* session() const { return session_.get(); }
    // The store has put the settings, the list and the places back.
    void sessionRestored();

    // Brings up the embedded web strip; called once, right after the window's first paint, so that
    // the window never waits for the web engine.
    void loadWebStrip();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void centreOnScreen(QSize outer);
    void recordOuterSize();
    // The run's settings from the controls; a text that is not a number keeps the value read before.
    Mining::RunSettings readRunSettings() const;
    Mining::MiningRun::Verification passVerification(const FetchResult& refused);
    void updateStartCaption();
    void showRunEnd(const Mining::MiningRun::Outcome& outcome);
    // A page the run asked: its keywords join the list, then the store keeps the page with exactly
    // what the list got.
    void runPageAsked(const Mining::PageEvent& page);
    // Appends the keywords to Text1 and gives back what the box got, as its text reads.
    QString appendRunKeywords(const QString& keywords, bool seedPage);

    bool mining_ = false;
    bool fetchingHotWords_ = false;
    bool closing_ = false;
    bool plainRefresh_ = false;
    bool firstPaintSeen_ = false;
    // Text1's list as CRLF text, kept in step with the run's appends so that the clipboard gets the
    // whole list without reading the box back after every query; stale once anything else changed it.
    ListReplace::GrowingList listMirror_;
    bool appending_ = false;
    // Text1's lines, case-folded, so that a run never adds a keyword the list already holds; stale once
    // anything but the run changed the list.
    QSet<QString> listLines_;
    bool listLinesValid_ = false;
    bool takeIntoList(const QString& keyword);
    std::unique_ptr<SessionKeeper> session_;
    KeywordFileDrop* fileDrop_ = nullptr;
    QPointer<Form2> form2_;
    QSize baseClientSize_; // the client size that Form_Resize restores
    bool outerSizeFramed_ = false; // BaseWidth and BaseHeight include the window manager's frame
    std::function<void()> unloadAction_;
};

// Window-level constants of the maker.
namespace Maker {
inline constexpr char16_t ContactNumber[] = u"00000000";
inline constexpr char16_t Website[] = u"http://www.qinglan.example/?bb=v3.3";
} // namespace Maker
