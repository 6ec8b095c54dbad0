#ifndef LINE_SINK_H
#define LINE_SINK_H

#include <QByteArray>
#include <QString>

#include "sample_sink.h"

// One line per sample on a file descriptor: JSON lines, or CSV with a header
// row. Each line goes out in whole write() calls before the next event is
// handled, so a stop between samples leaves only complete lines behind.
class LineSink : public SampleSink
{
public:
    enum class Format { JsonLines, Csv };

    // fd stays the caller's. headerWanted: write the CSV header first (a new
    // or empty file, or a stream).
    LineSink(int fd, Format format, bool headerWanted);

    void writeSample(const LiveSample &sample) override;
    // JSON lines carry the identity in the stream; a CSV file keeps to its
    // columns, so there it goes to stderr.
    void writeIdentity(const DeviceIdentity &identity, qint64 timeMs,
                       int utcOffsetSeconds) override;

    bool failed() const { return failed_; }
    QString errorText() const { return error_; }

private:
    void writeLine(int fd);

    int fd_;
    Format format_;
    bool headerPending_;
    bool failed_ = false;
    QString error_;
    QByteArray line_;
};

#endif
