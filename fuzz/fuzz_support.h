#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test is a crash for the fuzzer, with
// the reason on stderr.
#define FUZZ_CHECK(cond, why)                                                          \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", __FILE__, __LINE__, \
                         why);                                                         \
            std::abort();                                                              \
        }                                                                              \
    } while (0)

// The application object every harness needs (timers, sockets, widgets), kept
// for the whole run; debug output would only slow the run down.
template <class App>
App *initFuzzApplication(int *argc, char ***argv)
{
    static int appArgc = 1;
    static char name[] = "fuzz";
    static char *appArgv[] = {name, nullptr};
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(msg));
            std::abort();
        }
    });
    return new App(appArgc, appArgv);
}

#endif
