#include <QApplication>
#include <QIcon>

#include "form_fonts.h"
#include "app_language.h"
#include "mainwindow.h"

int main(int argc, char *argv[])
{
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    installLanguage();   // before any text is built
    MainWindow window;   // also registers the resources of the window library
    app.setWindowIcon(QIcon(QStringLiteral(":/Images/icons/solar-monitor.png")));
    window.show();
    return app.exec();
}
