#ifndef REQUEST_OBSERVER_H
#define REQUEST_OBSERVER_H

// Told of each step of a request's life by the engine that carries it, for
// whoever keeps statistics of the link. Calls come on the engine's thread,
// inside the engine's own calls; they must be cheap and must not allocate.
class RequestObserver
{
public:
    // Why an answer was turned down (the request is re-sent at once).
    enum class Reject {
        BadChecksum,
        WrongAddress,       // Define and Modbus RTU: another device's answer
        WrongTransaction,   // Modbus TCP transaction id
        WrongUnit,          // Modbus TCP unit id
        Exception,          // Modbus exception answer; its code goes along
        Malformed,          // anything else that does not fit the request
    };

    virtual ~RequestObserver() = default;
    virtual void requestSent(int bytes) = 0;
    virtual void requestResent(int bytes) = 0;
    virtual void responseTimedOut() = 0;
    virtual void responseRejected(Reject why, int exceptionCode) = 0;
    virtual void requestAnswered() = 0;
    virtual void requestFailed() = 0;   // no acceptable answer after the re-sends
    // The link's part, where the clock is read: the frame went onto the link
    // (sent or re-sent), and bytes were read while the request waited. The
    // engine itself reads no clock, so counting costs it next to nothing.
    virtual void frameWritten() = 0;
    virtual void bytesReceived(int bytes) = 0;
};

#endif
