#include "sample_text.h"

QByteArray sampleJson(const LiveSample &sample)
{
    QByteArray out;
    appendLiveSampleJson(out, sample);
    return out;
}

QByteArray exportedCsv(const QVector<LiveSample> &rows)
{
    QByteArray out;
    appendLiveSampleCsvHeader(out);
    out.append('\n');
    for (const LiveSample &s : rows) {
        appendLiveSampleCsvRow(out, s);
        out.append('\n');
    }
    return out;
}
