// Replacing and appending to the keyword list box, and reading it back as CRLF text.
#include "platform/listreplace.h"

#include <QClipboard>
#include <algorithm>
#include <QGuiApplication>
#include <QMimeData>
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

// The clipboard's text: the first length characters of a growing list, read when pasted.
class ListSnapshot : public QMimeData
{
public:
    ListSnapshot(std::shared_ptr<const QString> text, qsizetype length)
        : text_(std::move(text))
        , length_(length)
    {
    }

    QStringList formats() const override { return {u"text/plain"_s}; }
    bool hasFormat(const QString& mimeType) const override { return isText(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        if (!isText(mimeType))
            return {};
        // A copy of its own, so that the list goes on growing in place.
        return QString(text_->constData(), length_);
    }

private:
    static bool isText(const QString& mimeType)
    {
        return mimeType == u"text/plain" || mimeType == u"text/plain;charset=utf-8";
    }

    std::shared_ptr<const QString> text_;
    qsizetype length_;
};

} // namespace

void GrowingList::reset(const QString& text)
{
    text_ = std::make_shared<QString>(text);
}

void GrowingList::append(const QString& piece)
{
    // Only the characters before the end are ever handed out, so appending in place changes no
    // text the clipboard already holds.
    text_->append(piece);
}

void GrowingList::putOnClipboard() const
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(new ListSnapshot(text_, text_->size()));
}

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

QString asShownInBox(const QString& text)
{
    QString shown;
    shown.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            shown += u"\r\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

QString keywordListText(const QPlainTextEdit* box)
{
    // Lines are kept as blocks separated by the paragraph separator, and Shift+Enter puts a line
    // separator inside a block; both show as a new line, and the list separates lines by CRLF.
    // One pass into a buffer of the final size: QString::replace costs ten times as much on a long list.
    const QString raw = box->document()->toRawText();
    const auto isBreak = [](QChar c) { return c == QChar::ParagraphSeparator || c == QChar::LineSeparator; };
    const qsizetype breaks = std::count_if(raw.cbegin(), raw.cend(), isBreak);
    if (breaks == 0)
        return raw;
    QString text(raw.size() + breaks, Qt::Uninitialized);
    QChar* out = text.data();
    for (QChar c : raw) {
        if (isBreak(c)) {
            *out++ = u'\r';
            *out++ = u'\n';
        } else {
            *out++ = c;
        }
    }
    return text;
}

} // namespace ListReplace
