#include "line_sink.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// A line with all its values and texts stays well below this.
constexpr int LineCapacity = 2048;

} // namespace

LineSink::LineSink(int fd, Format format, bool headerWanted)
    : fd_(fd), format_(format), headerPending_(format == Format::Csv && headerWanted)
{
    line_.reserve(LineCapacity);   // kept by resize(0), so lines allocate nothing
}

void LineSink::writeSample(const LiveSample &sample)
{
    if (headerPending_) {
        line_.resize(0);
        appendLiveSampleCsvHeader(line_);
        writeLine(fd_);
        headerPending_ = false;
    }
    line_.resize(0);
    if (format_ == Format::Csv)
        appendLiveSampleCsvRow(line_, sample);
    else
        appendLiveSampleJson(line_, sample);
    writeLine(fd_);
}

void LineSink::writeIdentity(const DeviceIdentity &identity, qint64 timeMs, int utcOffsetSeconds)
{
    line_.resize(0);
    appendDeviceIdentityJson(line_, identity, timeMs, utcOffsetSeconds);
    writeLine(format_ == Format::Csv ? STDERR_FILENO : fd_);
}

// Short writes and interruptions by a signal are carried on until the line
// and its line break are out.
void LineSink::writeLine(int fd)
{
    line_.append('\n');
    const char *p = line_.constData();
    qint64 left = line_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!failed_)
                error_ = QString::fromLocal8Bit(std::strerror(errno));
            failed_ = true;
            return;
        }
        p += n;
        left -= n;
    }
}
