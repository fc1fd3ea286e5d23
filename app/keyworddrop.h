// Keyword files dropped from the file manager onto the keyword list join it; a drop of anything
// else stays the text box's own.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QPlainTextEdit;

class KeywordFileDrop : public QObject
{
    Q_OBJECT
public:
    // Watches the box's viewport, which is where a QPlainTextEdit receives its drops.
    explicit KeywordFileDrop(QPlainTextEdit* box);

    // Adds the readable files' keywords at the end of the list as one undoable step, and the clipboard
    // holds the new list; the others are named in one message box.
    void joinFiles(const QStringList& paths);

    // Told of each file that joins the list: its name and its text.
    std::function<void(const QString& fileName, const QString& text)> fileRead;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* box_;
    QObject* viewport_ = nullptr;
};
