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
    form_->miningRun()->setPlaces(store_.places());
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

void SessionKeeper::saveSettings()
{
    if (store_.isOpen())
        store_.saveSettings(settings());
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
    values.insert(QString::fromUtf16(WebEngineSetting), form_->miningRun()->prefersWebEngine() ? u"1"_s : u"0"_s);
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
    if (const auto value = values.constFind(QString::fromUtf16(WebEngineSetting)); value != values.cend())
        form_->miningRun()->setPrefersWebEngine(*value == u"1");
}

void SessionKeeper::recordPage(const Mining::PageEvent& page)
{
    if (store_.isOpen())
        store_.recordPage(page);
}

void SessionKeeper::writePlace(const Mining::Place& place)
{
    if (store_.isOpen())
        store_.writePlace(place);
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
