#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    termios raw;
    if (tcgetattr(slave_, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeSlave();
    closeMaster();
}

bool PtyPair::write(const QByteArray &bytes)
{
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    while (master_ >= 0 && done < bytes.size() && clock.elapsed() < 2000) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += int(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done == bytes.size();
}

QByteArray PtyPair::readExactly(int n, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (master_ >= 0 && got.size() < n && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 2) <= 0)
            continue;
        char chunk[512];
        const ssize_t r = ::read(master_, chunk, size_t(qMin(n - got.size(), int(sizeof chunk))));
        if (r > 0)
            got.append(chunk, int(r));
    }
    return got;
}

QByteArray PtyPair::readFor(int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (master_ >= 0 && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 2) <= 0)
            continue;
        char chunk[512];
        const ssize_t r = ::read(master_, chunk, sizeof chunk);
        if (r > 0)
            got.append(chunk, int(r));
    }
    return got;
}

bool PtyPair::lineSettings(termios *out) const
{
    return slave_ >= 0 && tcgetattr(slave_, out) == 0;
}

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::closeSlave()
{
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}
