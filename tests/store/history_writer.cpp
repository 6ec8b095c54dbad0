// Test helper: records samples into a history file as fast as it can, batch by
// batch, printing the index of each sample once appended, until it is killed.
//   history_writer FILE BATCH
#include <QCoreApplication>
#include <cstdio>

#include "history_store.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    HistoryStore store;
    store.setBatchLimits(atoi(argv[2]), 3600 * 1000);
    if (!store.open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
        return 1;
    }
    LiveSample s;
    s.address = 1;
    s.chargeStageText = QStringLiteral("MPPT");
    for (qint64 i = 0;; ++i) {
        s.timeMs = 1800000000000 + i * 1000;
        s.counts[PvVoltage] = i % 5000;
        store.append(s);
        std::printf("%lld\n", i);
        std::fflush(stdout);
    }
}
