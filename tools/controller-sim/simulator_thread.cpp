#include "simulated_controller.h"

#include <QThread>

// Everything the controller does with sockets and timers must happen in its
// own thread, so these calls are handed over and waited for.
SimulatorThread::SimulatorThread(ProtocolKind protocol, ControllerType type)
    : thread_(new QThread), controller_(new SimulatedController(protocol, type))
{
    controller_->moveToThread(thread_);
    thread_->start();
}

SimulatorThread::~SimulatorThread()
{
    SimulatedController *c = controller_;
    QMetaObject::invokeMethod(c, [c] { delete c; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete thread_;
}

quint16 SimulatorThread::listenTcp(quint16 port)
{
    quint16 result = 0;
    QMetaObject::invokeMethod(controller_, [&] { result = controller_->listenTcp(port); },
                              Qt::BlockingQueuedConnection);
    return result;
}

QString SimulatorThread::openPty()
{
    QString result;
    QMetaObject::invokeMethod(controller_, [&] { result = controller_->openPty(); },
                              Qt::BlockingQueuedConnection);
    return result;
}

bool SimulatorThread::openSerial(const QString &path, qint32 baud)
{
    bool result = false;
    QMetaObject::invokeMethod(controller_, [&] { result = controller_->openSerial(path, baud); },
                              Qt::BlockingQueuedConnection);
    return result;
}

void SimulatorThread::setMotionEnabled(bool on, int intervalMs, int secondsPerTick)
{
    QMetaObject::invokeMethod(controller_, [=] { controller_->setMotionEnabled(on, intervalMs, secondsPerTick); },
                              Qt::BlockingQueuedConnection);
}
