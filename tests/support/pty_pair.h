#ifndef PTY_PAIR_H
#define PTY_PAIR_H

#include <QByteArray>
#include <QString>

struct termios;

// A pseudo-terminal standing in for a serial adapter: the program under test
// opens slavePath() as its serial port, the test plays the device on the
// master side. The fixture keeps its own slave descriptor open so the master
// never sees EIO while the program has the port closed; it never reads it.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; }

    // Bytes written here arrive at the program's serial port.
    bool write(const QByteArray &bytes);
    // Collects what the program wrote until n bytes are there or timeoutMs
    // has passed, running the Qt event loop meanwhile (QSerialPort writes
    // from its notifier). Returns what arrived, possibly fewer than n bytes.
    QByteArray readExactly(int n, int timeoutMs = 2000);
    // Everything the program wrote within timeoutMs (events keep running).
    QByteArray readFor(int timeoutMs);

    // Line settings of the terminal as the program left them.
    bool lineSettings(termios *out) const;

    // Closing the master hangs up the slave, as when an adapter is unplugged.
    void closeMaster();
    void closeSlave();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

#endif
