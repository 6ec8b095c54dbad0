#ifndef SAMPLE_TEXT_H
#define SAMPLE_TEXT_H

#include <QByteArray>
#include <QVector>

#include "live_sample.h"

// What the tool writes for recorded rows, for tests to compare with: the
// JSON line (also the MQTT state payload) and a whole CSV export.
QByteArray sampleJson(const LiveSample &sample);
QByteArray exportedCsv(const QVector<LiveSample> &rows);

#endif
