#include "params_rig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int ShortTimeoutMs = 150;

ProtocolKind protocolOf(ParamsLink link)
{
    switch (link) {
    case ParamsLink::ModbusRtu:
        return ProtocolModbusRtu;
    case ParamsLink::ModbusTcp:
        return ProtocolModbusTcp;
    default:
        return ProtocolDefine;
    }
}

ControllerType typeOf(ParamsLink link)
{
    return link == ParamsLink::DefinePwm ? ControllerPwm : ControllerMppt;
}

QString configProtocolOf(ParamsLink link)
{
    switch (link) {
    case ParamsLink::ModbusRtu:
        return QStringLiteral("Modbus");
    case ParamsLink::ModbusTcp:
        return QStringLiteral("TCP Modbus");
    default:
        return QStringLiteral("Define");
    }
}

} // namespace

QString styleName(const MainWindow &w, const QString &style)
{
    if (style == w.styleOk)
        return QStringLiteral("ok");
    if (style == w.styleFail)
        return QStringLiteral("fail");
    if (style == w.styleIdle)
        return QStringLiteral("idle");
    if (style == w.stylePlain)
        return QStringLiteral("plain");
    return QStringLiteral("other: ") + style;
}

const char *paramsLinkName(ParamsLink link)
{
    switch (link) {
    case ParamsLink::DefinePwm:
        return "Define PWM";
    case ParamsLink::DefineMppt:
        return "Define MPPT";
    case ParamsLink::ModbusRtu:
        return "Modbus RTU";
    case ParamsLink::ModbusTcp:
        return "Modbus TCP";
    }
    return "?";
}

bool isModbusLink(ParamsLink link)
{
    return link == ParamsLink::ModbusRtu || link == ParamsLink::ModbusTcp;
}

ParamsRig::ParamsRig(ParamsLink link) : link(link), sim(protocolOf(link), typeOf(link)) {}

bool ParamsRig::connect()
{
    fixture.holdRefreshCycle();
    const QString controller = typeOf(link) == ControllerPwm ? QStringLiteral("PWM")
                                                            : QStringLiteral("MPPT");
    QString config;
    if (link == ParamsLink::ModbusRtu) {
        const QString path = sim.openPty();
        if (path.isEmpty())
            return false;
        config = serialConfigText(path, 115200, 1, configProtocolOf(link), controller);
    } else {
        const quint16 port = sim.listenTcp();
        if (port == 0)
            return false;
        config = tcpConfigText(port, configProtocolOf(link), controller);
    }
    if (!fixture.dir.writeConfig(config))
        return false;
    pressConnect(w());
    const bool up = waitForLinkUp(w());
    fixture.holdRefreshCycle();
    w().core.mainEngine.setResponseTimeout(ShortTimeoutMs);
    w().core.mainEngine.setMaxRetries(1);
    sim.clearRequests();
    return up;
}

QPushButton *ParamsRig::button(const QString &name)
{
    return w().findChild<QPushButton *>(name);
}

QLineEdit *ParamsRig::edit(const QString &name)
{
    return w().findChild<QLineEdit *>(name);
}

QComboBox *ParamsRig::list(const QString &name)
{
    return w().findChild<QComboBox *>(name);
}

bool ParamsRig::select(const QString &listName, const QString &text)
{
    QComboBox *box = list(listName);
    const int index = box ? box->findText(text) : -1;
    if (index < 0)
        return false;
    box->setCurrentIndex(index);
    return true;
}

QList<QByteArray> ParamsRig::frames() const
{
    QList<QByteArray> out;
    for (const SimRequest &request : sim.requests())
        out << request.frame;
    return out;
}

QList<int> ParamsRig::writtenRegisters() const
{
    // RTU: address, 0x10, start; TCP: 7-byte header, then the same PDU.
    const int pdu = link == ParamsLink::ModbusTcp ? 7 : 1;
    QList<int> regs;
    for (const QByteArray &frame : frames()) {
        if (frame.size() > pdu + 2 && quint8(frame.at(pdu)) == 0x10)
            regs << (quint8(frame.at(pdu + 1)) << 8 | quint8(frame.at(pdu + 2)));
    }
    return regs;
}

QList<int> ParamsRig::defineCodes() const
{
    QList<int> codes;
    for (const QByteArray &frame : frames())
        codes << (frame.size() > 2 ? quint8(frame.at(2)) : -1);
    return codes;
}

bool ParamsRig::readSettingGroups()
{
    w().on_pushButton_4_clicked();
    w().on_pushButton_35_clicked();
    w().on_pushButton_54_clicked();
    w().on_pushButton_43_clicked();
    sim.clearRequests();
    for (const char *name : {"pushButton_4", "pushButton_35", "pushButton_54", "pushButton_43"})
        if (button(QLatin1String(name))->styleSheet() != w().styleOk)
            return false;
    return true;
}
