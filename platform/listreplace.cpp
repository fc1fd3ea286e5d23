// Replacing and appending to the keyword list box, and reading it back as CRLF text.
#include "platform/listreplace.h"

#include "text/linebreaks.h"

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

// Where the first line break of the box other than a CRLF pair stands in text; its size if none does.
qsizetype firstBreakOtherThanCrlf(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!LineBreaks::breaksLineInBox(c))
            continue;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        else
            return i;
    }
    return text.size();
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
        setClipboardText(asShownInBox(text));
    box->setPlainText(text);
    if (order == Order::EmptyFirst)
        setClipboardText(asShownInBox(text));
    caretToEnd(box);
}

void replaceKeywordListAsOneStep(QPlainTextEdit* box, const QString& text)
{
    QTextCursor whole(box->document());
    whole.beginEditBlock();
    whole.select(QTextCursor::Document);
    // The cursor reads CRLF and every other break of the box as the end of a line.
    whole.insertText(text);
    whole.endEditBlock();
    setClipboardText(asShownInBox(text));
    caretToEnd(box);
}

void appendToKeywordList(QPlainTextEdit* box, const QString& text)
{
    if (text.isEmpty())
        return;
    QTextDocument* document = box->document();
    const QTextCursor caret = box->textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();
    const bool follow = position == document->characterCount() - 1 && !caret.hasSelection();
    QScrollBar* vertical = box->verticalScrollBar();
    QScrollBar* horizontal = box->horizontalScrollBar();
    const int top = vertical->value();
    const int left = horizontal->value();

    // A cursor of its own, so that the box's cursor is moved only by the insertion itself, which
    // pushes an anchor or a caret standing at the end along.
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    end.insertText(text);
    end.endEditBlock();

    if (follow) {
        box->ensureCursorVisible();
        return;
    }
    const QTextCursor moved = box->textCursor();
    if (moved.anchor() != anchor || moved.position() != position) {
        QTextCursor kept(document);
        kept.setPosition(anchor);
        kept.setPosition(position, QTextCursor::KeepAnchor);
        box->setTextCursor(kept); // which scrolls the caret into view; the view is put back below
    }
    vertical->setValue(top);
    horizontal->setValue(left);
}

void extendKeywordList(QPlainTextEdit* box, const QString& newList, qsizetype oldLength)
{
    const QString addition = newList.sliced(oldLength);
    appendToKeywordList(box, addition);
    // The new list is what the box shows unless the addition holds other breaks than CRLF.
    if (firstBreakOtherThanCrlf(addition) == addition.size())
        setClipboardText(newList);
    else
        setClipboardText(newList.first(oldLength) + asShownInBox(addition));
}

QString asShownInBox(const QString& text)
{
    const qsizetype first = firstBreakOtherThanCrlf(text);
    if (first == text.size())
        return text;
    QString shown;
    shown.reserve(text.size() + 16);
    shown.append(text.constData(), first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text[i];
        if (LineBreaks::breaksLineInBox(c)) {
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
