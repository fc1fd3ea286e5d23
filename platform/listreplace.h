// Replacing the whole keyword list: the one function every command uses to rewrite Text1.
#pragma once

#include <QString>
#include <memory>

class QPlainTextEdit;

namespace ListReplace {

enum class Order {
    EmptyFirst,     // empty the box, then the clipboard, then the paste (mining run, list commands)
    ClipboardFirst, // clipboard, then empty the box, then the paste (hot-word fetch)
};

// End state, whatever the order: the box holds exactly text with the caret at the end and in view,
// and the clipboard holds text as the box shows it (asShownInBox). The box gets the text even when
// the clipboard refuses it. The box's undo history starts afresh.
void replaceKeywordList(QPlainTextEdit* box, const QString& text, Order order = Order::EmptyFirst);

// The same end state as replaceKeywordList (the box holds text, caret at the end; the clipboard holds
// text as the box shows it), but as one step of the box's undo history: one undo brings back the list
// as it was, and the steps before stay undoable.
void replaceKeywordListAsOneStep(QPlainTextEdit* box, const QString& text);

// The keyword list as its commands see it: the box's lines joined by CRLF. The box keeps lines, not
// line-break characters, so a CR or LF standing alone in a text written into it reads back as CRLF.
// Every command reads Text1 through this, never through toPlainText(), which would turn CRLF into LF.
QString keywordListText(const QPlainTextEdit* box);

// The text as keywordListText reads it back once it stands in the box: every line break the box
// knows (CRLF, a lone CR or LF, U+2028, U+2029, U+FDD0, U+FDD1; LineBreaks::breaksLineInBox)
// becomes CRLF. A text without any other break than CRLF comes back as it is, without a copy.
QString asShownInBox(const QString& text);

// Appends text at the end of the box as one step of its undo history, without touching the
// clipboard: undoing it takes away exactly this text, and the steps before stay undoable. The
// caret, the selection and the view stay where the user has them; a caret at the end with nothing
// selected stays at the end, and only then does the view follow it.
void appendToKeywordList(QPlainTextEdit* box, const QString& text);

// A command that adds to the end of the list (获取, dropped files): newList is the list as
// keywordListText read it just before, oldLength characters, followed by what the command adds.
// Only the addition goes into the box, by appendToKeywordList; then the clipboard holds the new list
// as the box shows it.
void extendKeywordList(QPlainTextEdit* box, const QString& newList, qsizetype oldLength);

// The keyword list as a mining run grows it: a text that is only ever appended to. It puts its text
// as it stands on the clipboard without copying it; the clipboard reads it only when somebody
// pastes, so an append costs what it adds, however long the list.
class GrowingList
{
public:
    bool isValid() const { return text_ != nullptr; }
    void invalidate() { text_.reset(); }
    void reset(const QString& text);
    void append(const QString& piece);
    void putOnClipboard() const;

private:
    std::shared_ptr<QString> text_;
};

} // namespace ListReplace
