// Modal message boxes, or the test hook when one is set.
#include "app/messagebox.h"

#include <QMessageBox>

namespace {

std::function<void(const MessageBox::Shown&)>& testHook()
{
    static std::function<void(const MessageBox::Shown&)> hook;
    return hook;
}

} // namespace

void MessageBox::show(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    if (testHook()) {
        testHook()(Shown { title, text, icon });
        return;
    }
    QMessageBox box(icon == Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title, text, QMessageBox::NoButton,
                    parent);
    // Folder names in the text are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    // The button reads in Chinese whether or not Qt's own translations are installed.
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
}

void MessageBox::setHookForTesting(std::function<void(const Shown&)> hook)
{
    testHook() = std::move(hook);
}
