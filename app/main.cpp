// Starting the program is creating the window; closing it ends the process at once.
#include "app/form1.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qinglan-cibao"));
    Form1 form;
    // Closing the window ends the program even in the middle of a mining run that waits for a page.
    form.setUnloadAction([] {
        std::fflush(nullptr);
        std::_Exit(0);
    });
    form.show();
    return app.exec();
}
