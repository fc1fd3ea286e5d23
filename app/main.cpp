// Starting the program is creating the window; closing it ends the process at once.
#include "app/clipboardhandover.h"
#include "app/form1.h"
#include "app/picturebutton.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qinglan-cibao"));
    // The task bar shows the application's icon.
    QApplication::setWindowIcon(programIcon());
    // Every text the user sees is Chinese, Qt's own ones (the text box's menu, dialog buttons) included.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    Form1 form;
    form.keepSession();
    // Closing the window ends the program even in the middle of a mining run that waits for a page.
    // The window goes at once; the clipboard manager gets half a second to take the list that the
    // clipboard holds, which would otherwise go with the process.
    form.setUnloadAction([&form] {
        form.hide();
        ClipboardHandover::handOver(500);
        std::fflush(nullptr);
        std::_Exit(0);
    });
    form.show();
    return app.exec();
}
