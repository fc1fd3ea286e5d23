// The window's side of the session store: it tells the store what changed in the window (the list,
// the settings, what a run asked and found, hot words and dropped files) and, at start, puts back what
// the store kept. The store decides how it is kept; nothing here speaks SQL.
#pragma once

#include "mining/runplace.h"
#include "store/sessionstore.h"
#include "listtools/sheetexport.h"

#include <QObject>
#include <QSet>
#include <QTimer>

class Form1;

class SessionKeeper : public QObject
{
    Q_OBJECT
public:
    // The list and the settings are saved this long after the first change not yet saved, also while
    // changes go on without a pause.
    static constexpr int SaveDelayMs = 1500;
    // Kept among the settings, beside the controls' values: "1" when the engine refused the fetcher
    // and served the web engine, so that the next start asks through the web engine at once.
    static constexpr char16_t WebEngineSetting[] = u"MiningRun.webEngine";

    explicit SessionKeeper(Form1* form);
    ~SessionKeeper() override;

    // Opens the store and puts back the settings, the list and the kept places; says once, in a box
    // titled "保存", why the session cannot be kept. Called once, after the window's first paint.
    void restore();
    bool isOpen() const { return store_.isOpen(); }

    // The list or a setting changed by anything but a run's append: saved within two seconds.
    void changed();
    // Saves the list and the settings at once (a run starts with what the window shows) ...
    void save();
    // ... and waits until they are in the file.
    void saveNow();
    // Saves the settings alone at once: the engine's choice of way in changed.
    void saveSettings();
    // At exit: saves, waits, and lets go of the file and its lock before anything else happens, so that
    // a window started at once finds the session; a save that failed is said in a box.
    void closeStore();

    // A page the run asked, its listAppend set to what the list got.
    void recordPage(const Mining::PageEvent& page);
    void writePlace(const Mining::Place& place);
    void dropPlace(const QString& seed);
    // Words that came from elsewhere than a result page: a hot-word list, a dropped file.
    void recordWords(const QStringList& words, const QString& source);
    // The records of list's lines for the export of the sheet, read on the export's thread; a lookup
    // that says why when they cannot be read. None when the session is not kept.
    ListExport::RecordLookup sheetRecords(const QString& list);

    Store::SessionStore& store() { return store_; }

private:
    void showProblem(const QString& reason);
    QHash<QString, QString> settings() const;
    void applySettings(const QHash<QString, QString>& settings);

    Form1* form_;
    Store::SessionStore store_;
    QTimer saveTimer_;
    bool restored_ = false;
    bool restoring_ = false;
    QSet<QString> problemsShown_;
};
