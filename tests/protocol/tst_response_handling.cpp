#include <QtTest>

#include <functional>

#include "engine_probe.h"

// Validation of responses against the pending request, the response timer
// and the re-sends, with real timers made short through the setters.
using Request = std::function<void(com_protocol_solar &)>;
Q_DECLARE_METATYPE(Request)

namespace {

const int Define = ProtocolDefine, Rtu = ProtocolModbusRtu, Tcp = ProtocolModbusTcp;

Request readRunData() { return [](com_protocol_solar &e) { e.defineReadRunData(); }; }
Request rtuRead12() { return [](com_protocol_solar &e) { e.modbusRtuReadRegisters(1, 12); }; }
Request rtuRead2() { return [](com_protocol_solar &e) { e.modbusRtuReadRegisters(1, 2); }; }
Request rtuWrite29() { return [](com_protocol_solar &e) { e.writeFloatVoltage(1380); }; }
Request tcpRead2() { return [](com_protocol_solar &e) { e.modbusTcpReadRegisters(1, 2); }; }
Request tcpWrite29() { return [](com_protocol_solar &e) { e.transactionId = 2; e.writeFloatVoltage(1380); }; }

const QByteArray runDataReply = defineReply(0x01, "10 04 f4 01 e8 03 64 00 e7 50 00 00");
const QByteArray rtuTwoValues = rtuReadReply({1040, 500});
const QByteArray tcpTwoValues = hexBytes("00 02 00 00 00 07 01 03 04 04 10 01 f4");

QByteArray withLastByteFlipped(QByteArray bytes)
{
    bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0x01);
    return bytes;
}

} // namespace

class tst_response_handling : public QObject
{
    Q_OBJECT
private slots:
    void silenceResendsAtTheTimeoutThenFails_data();
    void silenceResendsAtTheTimeoutThenFails();
    void validResponseSucceeds_data();
    void validResponseSucceeds();
    void badResponseResendsAtOnce_data();
    void badResponseResendsAtOnce();
    void badResponseAfterLastResendFails();
    void badResponseWithoutRetriesFails();
    void defineFrameOfAnotherCommandIsDecodedAndStaysPending();
    void responsesWithoutPendingRequestAreIgnored();
    void lengthOutsideTheResponseIsRejected_data();
    void lengthOutsideTheResponseIsRejected();
    void receiversMayTakeTheDataLock();
};

void tst_response_handling::silenceResendsAtTheTimeoutThenFails_data()
{
    QTest::addColumn<int>("retries");
    QTest::newRow("defaults: two re-sends") << 2;
    QTest::newRow("one re-send") << 1;
    QTest::newRow("no re-send") << 0;
    QTest::newRow("negative counts as none") << -1;
}

void tst_response_handling::silenceResendsAtTheTimeoutThenFails()
{
    QFETCH(int, retries);
    const int timeout = 40;
    EngineProbe probe(Rtu);
    probe.engine.setResponseTimeout(timeout);
    probe.engine.setMaxRetries(retries);
    QElapsedTimer clock;
    QList<qint64> sendTimes;
    qint64 failTime = -1;
    QObject::connect(&probe.engine, &com_protocol_solar::beginSentData, [&] { sendTimes.append(clock.elapsed()); });
    QObject::connect(&probe.engine, &com_protocol_solar::receiveFailSignal, [&] { failTime = clock.elapsed(); });

    clock.start();
    probe.engine.modbusRtuReadRegisters(1, 12);
    QTRY_COMPARE_WITH_TIMEOUT(probe.failures, 1, 5000);
    QTest::qWait(3 * timeout);   // nothing further once it has failed

    const int sends = qMax(retries, 0) + 1;
    QCOMPARE(probe.sent.size(), sends);
    for (const QByteArray &frame : probe.sent)
        QCOMPARE(frame, probe.sent.first());
    for (int i = 1; i < sends; ++i)
        QVERIFY2(sendTimes[i] - sendTimes[i - 1] >= timeout * 9 / 10, qPrintable(QString::number(sendTimes[i])));
    QVERIFY(failTime - sendTimes.last() >= timeout * 9 / 10);
    QCOMPARE(probe.failures, 1);
    QCOMPARE(probe.successes, 0);
    QCOMPARE(probe.engine.txLength, 0);
    QCOMPARE(probe.engine.retryCount, 0);
    QCOMPARE(probe.engine.expectedResponseLength(), 0);
    QVERIFY(!probe.engine.responseTimer.isActive());
}

void tst_response_handling::validResponseSucceeds_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("response");
    QTest::newRow("Define run data") << Define << readRunData() << runDataReply;
    QTest::newRow("RTU read") << Rtu << rtuRead2() << rtuTwoValues;
    QTest::newRow("RTU write") << Rtu << rtuWrite29() << hexBytes("01 10 00 1d 00 01 91 cf");
    QTest::newRow("TCP read") << Tcp << tcpRead2() << tcpTwoValues;
    QTest::newRow("TCP write") << Tcp << tcpWrite29() << hexBytes("00 03 00 00 00 06 01 10 00 1d 00 01");
}

void tst_response_handling::validResponseSucceeds()
{
    QFETCH(int, protocol);
    QFETCH(Request, request);
    QFETCH(QByteArray, response);
    EngineProbe probe(protocol);
    probe.engine.setResponseTimeout(30);
    request(probe.engine);
    probe.engine.rec_timer_slot();   // also after a re-send
    probe.respond(response);
    QCOMPARE(probe.successes, 1);
    QCOMPARE(probe.failures, 0);
    QCOMPARE(probe.sent.size(), 2);
    QCOMPARE(probe.engine.txLength, 0);
    QCOMPARE(probe.engine.retryCount, 0);
    QVERIFY(!probe.engine.responseTimer.isActive());
    QTest::qWait(100);
    QCOMPARE(probe.failures, 0);
    // A second copy of the answer finds nothing pending.
    probe.respond(response);
    QCOMPARE(probe.successes, 1);
}

void tst_response_handling::badResponseResendsAtOnce_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("response");

    QTest::newRow("Define bad CRC") << Define << readRunData() << withLastByteFlipped(runDataReply);
    QTest::newRow("Define bad header") << Define << readRunData() << defineFrame("8f 01 01 000000000000000000000000");
    QTest::newRow("Define other address") << Define << readRunData() << defineFrame("8e 02 01 000000000000000000000000");
    QTest::newRow("Define short frame") << Define << readRunData() << runDataReply.left(15);

    QTest::newRow("RTU bad CRC") << Rtu << rtuRead2() << withLastByteFlipped(rtuTwoValues);
    QTest::newRow("RTU other address") << Rtu << rtuRead2() << rtuFrame("02 03 04 04 10 01 f4");
    QTest::newRow("RTU count differs") << Rtu << rtuRead12() << rtuTwoValues;
    QTest::newRow("RTU exception") << Rtu << rtuRead2() << rtuFrame("01 83 02");
    QTest::newRow("RTU write echo of another register") << Rtu << rtuWrite29() << rtuFrame("01 10 00 1e 00 01");
    QTest::newRow("RTU write echo of another count") << Rtu << rtuWrite29() << rtuFrame("01 10 00 1d 00 02");
    QTest::newRow("RTU write echo to a read") << Rtu << rtuRead2() << hexBytes("01 10 00 1d 00 01 91 cf");
    QTest::newRow("RTU read answer to a write") << Rtu << rtuWrite29() << rtuReadReply({1380});
    QTest::newRow("RTU write exception") << Rtu << rtuWrite29() << rtuFrame("01 90 04");

    QTest::newRow("TCP other transaction") << Tcp << tcpRead2() << hexBytes("00 03 00 00 00 07 01 03 04 04 10 01 f4");
    QTest::newRow("TCP other protocol id") << Tcp << tcpRead2() << hexBytes("00 02 00 01 00 07 01 03 04 04 10 01 f4");
    QTest::newRow("TCP other unit") << Tcp << tcpRead2() << hexBytes("00 02 00 00 00 07 02 03 04 04 10 01 f4");
    QTest::newRow("TCP MBAP length wrong") << Tcp << tcpRead2() << hexBytes("00 02 00 00 00 08 01 03 04 04 10 01 f4");
    QTest::newRow("TCP one byte longer") << Tcp << tcpRead2() << tcpTwoValues + char(0);
    QTest::newRow("TCP byte count wrong") << Tcp << tcpRead2() << hexBytes("00 02 00 00 00 07 01 03 02 04 10 01 f4");
    QTest::newRow("TCP exception") << Tcp << tcpRead2() << hexBytes("00 02 00 00 00 03 01 83 02");
    QTest::newRow("TCP write echo of another register") << Tcp << tcpWrite29() << hexBytes("00 03 00 00 00 06 01 10 00 1e 00 01");
    QTest::newRow("TCP write answer too long") << Tcp << tcpWrite29() << hexBytes("00 03 00 00 00 06 01 10 00 1d 00 01 00");
    QTest::newRow("TCP write echo to a read") << Tcp << tcpRead2() << hexBytes("00 02 00 00 00 06 01 10 00 01 00 02");
}

void tst_response_handling::badResponseResendsAtOnce()
{
    QFETCH(int, protocol);
    QFETCH(Request, request);
    QFETCH(QByteArray, response);
    EngineProbe probe(protocol);
    request(probe.engine);
    const int pendingLength = probe.engine.txLength;
    const quint32 before = probe.engine.deviceData.pvVoltage;

    probe.respond(response);   // no event loop runs: the re-send is immediate
    QCOMPARE(probe.sent.size(), 2);
    QCOMPARE(probe.sent[1], probe.sent[0]);
    QCOMPARE(probe.engine.retryCount, 1);
    QCOMPARE(probe.engine.txLength, pendingLength);
    QCOMPARE(probe.engine.rxLength, 0);
    QCOMPARE(probe.successes, 0);
    QCOMPARE(probe.failures, 0);
    QVERIFY(probe.engine.responseTimer.isActive());
    QCOMPARE(probe.engine.deviceData.pvVoltage, before);
}

void tst_response_handling::badResponseAfterLastResendFails()
{
    EngineProbe probe(Rtu);
    probe.engine.modbusRtuReadRegisters(1, 12);
    for (int i = 0; i < 2; ++i) {
        probe.respond(rtuTwoValues);
        QCOMPARE(probe.failures, 0);
    }
    QCOMPARE(probe.sent.size(), 3);
    probe.respond(rtuTwoValues);
    QCOMPARE(probe.sent.size(), 3);
    QCOMPARE(probe.failures, 1);
    QCOMPARE(probe.engine.txLength, 0);
    QVERIFY(!probe.engine.responseTimer.isActive());
}

void tst_response_handling::badResponseWithoutRetriesFails()
{
    EngineProbe probe(Tcp);
    probe.engine.setMaxRetries(0);
    probe.engine.modbusTcpReadRegisters(1, 2);
    probe.respond(hexBytes("00 02 00 00 00 03 01 83 02"));
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(probe.failures, 1);
    QCOMPARE(probe.engine.txLength, 0);
}

void tst_response_handling::defineFrameOfAnotherCommandIsDecodedAndStaysPending()
{
    EngineProbe probe(Define);
    probe.engine.setResponseTimeout(40);
    probe.engine.setMaxRetries(0);
    probe.engine.defineReadRunData();

    probe.respond(defineReply(0x04, "00 00 00 00 00 00 00 00 00 02 00 00"));
    QCOMPARE(probe.engine.deviceData.chargeStageText, QStringLiteral("Float"));
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(probe.successes + probe.failures, 0);
    QCOMPARE(probe.engine.txLength, 16);
    QVERIFY(probe.engine.responseTimer.isActive());

    // The matching answer still completes it ...
    probe.respond(runDataReply);
    QCOMPARE(probe.successes, 1);

    // ... and without one the timer runs its course.
    probe.engine.defineReadRunData();
    probe.respond(defineReply(0x04, "00 00 00 00 00 00 00 00 00 01 00 00"));
    QCOMPARE(probe.engine.deviceData.chargeStageText, QStringLiteral("Absorb"));
    QCOMPARE(probe.failures, 0);
    QTRY_COMPARE_WITH_TIMEOUT(probe.failures, 1, 3000);
    QCOMPARE(probe.successes, 1);
}

void tst_response_handling::responsesWithoutPendingRequestAreIgnored()
{
    EngineProbe probe(Define);
    probe.respond(runDataReply);
    QCOMPARE(probe.engine.deviceData.pvVoltage, 0u);
    QCOMPARE(probe.successes + probe.failures, 0);
    QVERIFY(probe.sent.isEmpty());

    probe.engine.defineReadRunData();
    probe.engine.rxLength = 0;
    probe.engine.processResponse();
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(probe.successes + probe.failures, 0);
}

// Whatever rxLength says, the engine looks at no byte beyond the response it
// was handed nor beyond rxFrame: a length that does not fit is a bad response.
void tst_response_handling::lengthOutsideTheResponseIsRejected_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("rxLength");
    QTest::newRow("Define, beyond the buffer") << Define << readRunData() << runDataReply << 4096;
    QTest::newRow("Define, one past the buffer") << Define << readRunData() << runDataReply << 2049;
    QTest::newRow("Define, negative") << Define << readRunData() << runDataReply << -16;
    QTest::newRow("RTU, beyond the buffer") << Rtu << rtuRead2() << rtuTwoValues << (1 << 20);
    QTest::newRow("RTU, shorter than its byte count says") << Rtu << rtuRead2() << rtuTwoValues << rtuTwoValues.size() - 1;
    QTest::newRow("RTU, negative") << Rtu << rtuRead2() << rtuTwoValues << -1;
    QTest::newRow("RTU write, short") << Rtu << rtuWrite29() << hexBytes("01 10 00 1d 00 01 91 cf") << 7;
    QTest::newRow("TCP, beyond the buffer") << Tcp << tcpRead2() << tcpTwoValues << 100000;
    QTest::newRow("TCP, negative") << Tcp << tcpRead2() << tcpTwoValues << -13;
}

void tst_response_handling::lengthOutsideTheResponseIsRejected()
{
    QFETCH(int, protocol);
    QFETCH(Request, request);
    QFETCH(QByteArray, response);
    QFETCH(int, rxLength);
    EngineProbe probe(protocol);
    request(probe.engine);
    std::memcpy(probe.engine.rxFrame, response.constData(), size_t(response.size()));
    probe.engine.rxLength = rxLength;
    probe.engine.processResponse();
    QCOMPARE(probe.successes, 0);
    QCOMPARE(probe.sent.size(), 2);
    QCOMPARE(probe.engine.deviceData.pvVoltage, 0u);
}

void tst_response_handling::receiversMayTakeTheDataLock()
{
    EngineProbe probe(Define);
    bool locked = false;
    QObject::connect(&probe.engine, &com_protocol_solar::receiveSuccesSignal, [&] {
        locked = probe.engine.dataLock.tryLockForWrite();
        if (locked)
            probe.engine.dataLock.unlock();
    });
    probe.engine.defineReadRunData();
    probe.respond(runDataReply);
    QCOMPARE(probe.successes, 1);
    QVERIFY(locked);
}

QTEST_GUILESS_MAIN(tst_response_handling)
#include "tst_response_handling.moc"
