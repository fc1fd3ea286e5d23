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
// and the clipboard holds text. The box gets the text even when the clipboard refuses it.
void replaceKeywordList(QPlainTextEdit* box, const QString& text, Order order = Order::EmptyFirst);

// The keyword list as its commands see it: the box's lines joined by CRLF. The box keeps lines, not
// line-break characters, so a CR or LF standing alone in a text written into it reads back as CRLF.
// Every command reads Text1 through this, never through toPlainText(), which would turn CRLF into LF.
QString keywordListText(const QPlainTextEdit* box);

// The text as keywordListText reads it back once it stands in the box: every line break the box
// knows (CRLF, a lone CR or LF, U+2028, U+2029) becomes CRLF.
QString asShownInBox(const QString& text);

// Appends text at the end of the box without touching the clipboard; the caret goes to the end.
void appendToKeywordList(QPlainTextEdit* box, const QString& text);

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
