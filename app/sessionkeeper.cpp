// What the window keeps of its session, and how it comes back at start.
#include "app/sessionkeeper.h"

#include "app/form1.h"
#include "app/messagebox.h"
#include "platform/listreplace.h"
#include "store/reads.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

using namespace Qt::StringLiterals;

SessionKeeper::SessionKeeper(Form1* form)
    : QObject(form)
    , form_(form)
{
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(SaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &SessionKeeper::save);
    connect(&store_, &Store::SessionStore::writeFailed, this, &SessionKeeper::showProblem);
}

SessionKeeper::~SessionKeeper() = default;

void SessionKeeper::restore()
{
    if (restored_)
        return;
    restored_ = true;
    const QString problem = store_.open();
    if (!store_.isOpen()) {
        showProblem(problem);
        return;
    }
    restoring_ = true;
    applySettings(store_.settings());
    const QString list = store_.list();
    if (!list.isEmpty())
        form_->Text1->setPlainText(list);
    QList<Mining::RunPlace> places;
    for (const Store::Place& kept : store_.places())
        places << fromStored(kept);
    form_->miningRun()->setPlaces(places);
    restoring_ = false;
    form_->sessionRestored();
    if (!problem.isEmpty())
        showProblem(problem);
}

void SessionKeeper::changed()
{
    // Counted from the first change: a key does not put the save off.
    if (restoring_ || !store_.isOpen() || saveTimer_.isActive())
        return;
    saveTimer_.start();
}

void SessionKeeper::save()
{
    saveTimer_.stop();
    if (!store_.isOpen())
        return;
    store_.saveList(ListReplace::keywordListText(form_->Text1));
    store_.saveSettings(settings());
}

void SessionKeeper::saveNow()
{
    if (!store_.isOpen())
        return;
    saveTimer_.stop();
    save();
    store_.flush();
}

void SessionKeeper::closeStore()
{
    if (!store_.isOpen())
        return;
    save();
    const QString missing = store_.close();
    if (!missing.isEmpty())
        MessageBox::show(form_, u"保存"_s, missing, MessageBox::Warning);
}

void SessionKeeper::showProblem(const QString& reason)
{
    // Each problem is said once: the program goes on as it would without a store.
    if (reason.isEmpty() || problemsShown_.contains(reason))
        return;
    problemsShown_.insert(reason);
    MessageBox::show(form_, u"保存"_s, reason, MessageBox::Warning);
}

QHash<QString, QString> SessionKeeper::settings() const
{
    QHash<QString, QString> values;
    for (const QLineEdit* box : form_->findChildren<QLineEdit*>()) {
        if (!box->objectName().isEmpty())
            values.insert(box->objectName(), box->text());
    }
    for (const QCheckBox* check : form_->findChildren<QCheckBox*>())
        values.insert(check->objectName(), check->isChecked() ? u"1"_s : u"0"_s);
    for (const QRadioButton* option : form_->findChildren<QRadioButton*>())
        values.insert(option->objectName(), option->isChecked() ? u"1"_s : u"0"_s);
    return values;
}

void SessionKeeper::applySettings(const QHash<QString, QString>& values)
{
    // The check boxes first: Check4 writes Text5 when it changes.
    for (QCheckBox* check : form_->findChildren<QCheckBox*>()) {
        if (const auto value = values.constFind(check->objectName()); value != values.cend())
            check->setChecked(*value == u"1");
    }
    for (QRadioButton* option : form_->findChildren<QRadioButton*>()) {
        if (const auto value = values.constFind(option->objectName()); value != values.cend() && *value == u"1")
            option->setChecked(true);
    }
    for (QLineEdit* box : form_->findChildren<QLineEdit*>()) {
        if (const auto value = values.constFind(box->objectName()); value != values.cend())
            box->setText(*value);
    }
}

void SessionKeeper::recordPage(const Mining::AskedPage& page, const QString& listAppend)
{
    if (!store_.isOpen())
        return;
    Store::PageEvent event;
    event.seed = page.seed;
    event.asked = page.asked;
    event.outcome = page.outcome == Mining::AskedPage::Outcome::Answered ? Store::Asked::Answered
        : page.outcome == Mining::AskedPage::Outcome::Failed             ? Store::Asked::Failed
                                                                         : Store::Asked::Refused;
    event.at = page.at;
    for (const QString& keyword : page.related)
        event.found.append({ keyword, QString::fromUtf16(Store::RelatedSource), page.asked, page.generation });
    for (const QString& keyword : page.suggested)
        event.found.append({ keyword, QString::fromUtf16(Store::SuggestionSource), page.asked, page.generation });
    event.listedAgain = page.listedAgain;
    event.listAppend = listAppend;
    event.seedPending = page.seedPending;
    event.answered = page.answered;
    event.retry = page.retry;
    event.failedTwice = page.failedTwice;
    event.foundCount = page.foundCount;
    event.runListAppend = page.runListAppend;
    event.nextGenerationAppend = page.nextGenerationAppend;
    store_.recordPage(event);
}

void SessionKeeper::writePlace(const Mining::RunPlace& place)
{
    if (store_.isOpen())
        store_.writePlace(toStored(place));
}

void SessionKeeper::dropPlace(const QString& seed)
{
    if (store_.isOpen())
        store_.dropPlace(seed);
}

void SessionKeeper::recordWords(const QStringList& words, const QString& source)
{
    if (store_.isOpen() && !words.isEmpty())
        store_.recordWords(words, source, QDateTime::currentDateTime());
}

ListExport::RecordLookup SessionKeeper::sheetRecords(const QString& list)
{
    const std::shared_ptr<Store::ListRecords> records = store_.recordsOfList(list);
    if (!records)
        return {};
    return [records](const QString& keyword, QString& failure) -> std::optional<ListExport::SheetRecord> {
        const Store::KeywordRecord* found = records->find(keyword);
        failure = records->failure();
        if (!found)
            return std::nullopt;
        return ListExport::SheetRecord { found->source,     found->parent,    found->seed,
                                         found->generation, found->seenCount, found->firstFound };
    };
}

Store::Place SessionKeeper::toStored(const Mining::RunPlace& place)
{
    Store::Place stored;
    stored.seed = place.seed;
    stored.seedPending = place.seedPending;
    stored.pass = place.pass;
    stored.answered = place.answered;
    stored.retry = place.retry;
    stored.failedTwice = place.failedTwice;
    stored.nextGeneration = place.nextGeneration;
    stored.runList = place.runList;
    stored.foundCount = place.foundCount;
    stored.generation = place.generation;
    return stored;
}

Mining::RunPlace SessionKeeper::fromStored(const Store::Place& stored)
{
    Mining::RunPlace place;
    place.seed = stored.seed;
    place.seedPending = stored.seedPending;
    place.pass = stored.pass;
    place.answered = stored.answered;
    place.retry = stored.retry;
    place.failedTwice = stored.failedTwice;
    place.nextGeneration = stored.nextGeneration;
    place.runList = stored.runList;
    place.foundCount = stored.foundCount;
    place.generation = stored.generation;
    return place;
}
