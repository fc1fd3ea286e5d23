// Every modal message box of the program goes through here, so that tests can answer it.
#pragma once

#include <QString>
#include <functional>

class QWidget;

class MessageBox
{
public:
    enum Icon {
        NoIcon,
        Warning,
    };

    struct Shown
    {
        QString title;
        QString text;
        Icon icon = NoIcon;
    };

    // A modal box with the text, the title and an OK button alone; returns when it is closed.
    static void show(QWidget* parent, const QString& title, const QString& text, Icon icon = NoIcon);

    // While set, show() hands its box to the hook instead of opening it. An empty hook restores
    // the real box.
    static void setHookForTesting(std::function<void(const Shown&)> hook);
};
