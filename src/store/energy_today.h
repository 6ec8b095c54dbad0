#ifndef ENERGY_TODAY_H
#define ENERGY_TODAY_H

#include <QtGlobal>

#include "daily_yield.h"

class HistoryStore;

// What a controller generated and consumed since local midnight, for a
// publisher that wants a daily figure. Counted by the same rules as the
// History tab's days (DayFold): a cleared counter counts nothing, readings
// more than a day apart count nothing, and the day is the one of the clock
// that stamped the readings. A figure is given only once it is counted from
// a reading of that day or the day before, this run's or the store's, so a
// start never shows a made-up 0 or a fall.
class EnergyToday
{
public:
    struct Figure
    {
        qint64 day = 0;          // local days since 1970-01-01
        qint64 generated = 0;    // counts of 0.01 MWh
        qint64 consumed = 0;
        double generatedKwh() const { return generated * 10.0; }
        double consumedKwh() const { return consumed * 10.0; }
    };

    // Goes on from what the store kept of the address (its newest day row).
    void seed(const DayYield &newest, qint64 lastTimeMs, qint64 lastGenerated, qint64 lastConsumed);
    bool seeded() const { return m_fold.hasDay(); }

    // Folds s in; true with the day's figure once it is counted from an
    // earlier reading of the day or the day before.
    bool add(const LiveSample &s, Figure *figure);

    // The newest day row the store holds for address; false when it has none
    // (or cannot be read).
    static bool readSeed(HistoryStore &store, int address, EnergyToday *into);

private:
    DayFold m_fold;
};

#endif
