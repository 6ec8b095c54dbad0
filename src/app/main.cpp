#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#include "form_fonts.h"
#include "app_language.h"
#include "mainwindow.h"
#include "screen_fit.h"

int main(int argc, char *argv[])
{
    // Answered before Qt looks for a display, so it works on any box.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("solar-monitor %s\n", SOLAR_VERSION);
            return 0;
        }
    }
    // Nothing here draws with OpenGL; on X11 Qt would still load Mesa (and
    // its LLVM) at start, a third of the time to the first paint.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    ScreenFit::applyScaleSteps();   // before any window takes the screen's factor
    installLanguage();   // before any text is built
    MainWindow window;   // also registers the resources of the window library
    app.setWindowIcon(QIcon(QStringLiteral(":/Images/icons/solar-monitor.png")));
    ScreenFit::fitOnScreen(&window);
    window.show();
    return app.exec();
}
