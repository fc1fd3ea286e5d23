// Replacing and appending to the keyword list box, and reading it back as CRLF text.
#include "platform/listreplace.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace ListReplace {

namespace {

void setClipboardText(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

void caretToEnd(QPlainTextEdit* box)
{
    box->moveCursor(QTextCursor::End);
    box->ensureCursorVisible();
}

} // namespace

void replaceKeywordList(QPlainTextEdit* box, const QString& text, Order order)
{
    // setPlainText gives the same end state as emptying the box and pasting, at half the cost.
    // The box is written whatever the clipboard does, so a refused clipboard never empties the list.
    if (order == Order::ClipboardFirst)
        setClipboardText(text);
    box->setPlainText(text);
    if (order == Order::EmptyFirst)
        setClipboardText(text);
    caretToEnd(box);
}

void appendToKeywordList(QPlainTextEdit* box, const QString& text)
{
    QTextDocument* document = box->document();
    const bool undo = document->isUndoRedoEnabled();
    // An append of a long tail must not pile up in the undo history; setPlainText clears it too.
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    document->setUndoRedoEnabled(undo);
    caretToEnd(box);
}

QString keywordListText(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    // Lines are kept as blocks separated by the paragraph separator; the list separates them by CRLF.
    text.replace(QChar::ParagraphSeparator, u"\r\n"_s);
    return text;
}

} // namespace ListReplace
