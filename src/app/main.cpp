#include <QApplication>
#include <QFont>
#include <QIcon>

#include "app_language.h"
#include "mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The value fields ask for 宋体, which Linux desktops rarely have; the
    // fallback face is too wide for the fields' fixed geometry.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei Mono")});
    installLanguage();   // before any text is built
    MainWindow window;   // also registers the resources of the window library
    app.setWindowIcon(QIcon(QStringLiteral(":/Images/icons/solar-monitor.png")));
    window.show();
    return app.exec();
}
