// The parameter page: every row is data (field, buttons, how to read it under
// each protocol, how to show and scale it, which engine write sends it); a
// handful of small functions walk those rows. Every action has the core send
// one request on mainEngine and wait with events running until it is answered.
#include "mainwindow.h"
#include "operator_feedback.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <iterator>
#include <limits>

namespace {

using Form = Ui_MainWindow;
using Engine = com_protocol_solar;
using Request = void (Engine::*)();
using Write = void (Engine::*)(int);

constexpr int ParamAnswered = MonitorCore::ParamAnswered;
constexpr int ParamFailed = MonitorCore::ParamFailed;
const char *const TranslationContext = "MainWindow";

enum class Format { V2, C1, U, I, L };
enum class Scale { None, S100, S1000By10, S1000By1000, S1000By100, Code };
// Which controller type picks a Define read where PWM and MPPT differ.
using ChosenBy = MonitorCore::ChosenBy;
using DefineRead = MonitorCore::DefineRead;

constexpr DefineRead sameRead(Request request) { return {request, request, ChosenBy::Nothing}; }
constexpr DefineRead noDefineRead() { return {nullptr, nullptr, ChosenBy::Nothing}; }
constexpr DefineRead bySetting(Request pwm, Request mppt) { return {pwm, mppt, ChosenBy::Setting}; }
constexpr DefineRead byEngineType(Request pwm, Request mppt) { return {pwm, mppt, ChosenBy::EngineType}; }

struct Shown
{
    Format format;
    quint32 DeviceData::*number;
    qint32 DeviceData::*signedNumber;
    QString DeviceData::*text;
};

// Named after the display formats: V2 volts with two decimals, C1 one
// decimal, U unsigned, I signed, L list item by text.
constexpr Shown v2(quint32 DeviceData::*m) { return {Format::V2, m, nullptr, nullptr}; }
constexpr Shown c1(quint32 DeviceData::*m) { return {Format::C1, m, nullptr, nullptr}; }
constexpr Shown u(quint32 DeviceData::*m) { return {Format::U, m, nullptr, nullptr}; }
constexpr Shown i(qint32 DeviceData::*m) { return {Format::I, nullptr, m, nullptr}; }
constexpr Shown l(QString DeviceData::*m) { return {Format::L, nullptr, nullptr, m}; }

struct WriteAction
{
    QPushButton *Form::*button;       // nullptr: the row is read-only
    Scale scale;
    Write write;
    const CodeTable *defineCodes;     // list rows: text -> code under Define
    const CodeTable *modbusCodes;     // ... and under Modbus RTU/TCP
    bool gated;                       // night times: only with load mode "Light time"
};

constexpr WriteAction readOnly() { return {nullptr, Scale::None, nullptr, nullptr, nullptr, false}; }
constexpr WriteAction scaled(QPushButton *Form::*button, Scale scale, Write write)
{
    return {button, scale, write, nullptr, nullptr, false};
}
constexpr WriteAction gatedByLoadMode(QPushButton *Form::*button, Scale scale, Write write)
{
    return {button, scale, write, nullptr, nullptr, true};
}
constexpr WriteAction coded(QPushButton *Form::*button, Write write, const CodeTable *define,
                            const CodeTable *modbus)
{
    return {button, Scale::Code, write, define, modbus, false};
}
constexpr WriteAction coded(QPushButton *Form::*button, Write write, const CodeTable *codes)
{
    return coded(button, write, codes, codes);
}

// What a field can carry to the controller: the narrowest of the frames
// and registers that send it. Shown as the field's tooltip.
struct FieldRange
{
    const char *unit;     // nullptr: a list, nothing to type
    double lowest;
    double highest;
    int decimals;
    const char *note;     // how the controller keeps it, or nullptr
};

constexpr FieldRange volts() { return {"V", 0, 655.35, 2, nullptr}; }
constexpr FieldRange ampereHours() { return {"Ah", 0, 6553.5, 1, nullptr}; }
constexpr FieldRange counts(int lowest, int highest) { return {"", double(lowest), double(highest), 0, nullptr}; }
constexpr FieldRange hoursInMinutes(int hours)
{
    return {QT_TRANSLATE_NOOP("MainWindow", "min"), 0, hours * 60.0, 0,
            QT_TRANSLATE_NOOP("MainWindow", "kept in whole hours")};
}
constexpr FieldRange listed() { return {nullptr, 0, 0, 0, nullptr}; }

} // namespace

struct MainWindow::ParameterRow
{
    QLineEdit *Form::*edit;        // one of edit and list is set
    QComboBox *Form::*list;
    QPushButton *Form::*readButton;
    DefineRead define;
    quint16 reg;                   // holding register read under Modbus
    Shown shown;
    WriteAction write;
    const char *caption;           // the row's label, for what the operator is told
    FieldRange range;
};

struct MainWindow::ParameterBlock
{
    const ParameterAction *first;
    const ParameterAction *last;
};

namespace {

using Row = MainWindow::ParameterRow;
using W = MainWindow;

enum RowId {
    FloatVoltageRow, AbsorbVoltageRow, EqualizeVoltageRow, AbsorbTimeRow, EqualizeTimeRow,
    TemperatureCompensationRow, LithiumCapacityRow, LithiumChargeVoltageRow, ChargeLimitRow,
    LowVoltageProtectRow, LowVoltageRecoverRow, OverVoltageProtectRow, OverVoltageRecoverRow,
    SystemVoltageRow, BatteryTypeRow, BaudRateRow,
    LoadModeRow, LightOnRow, LightOffRow, NightTime1Row, NightTime2Row,
    RowCount
};

// In RowId order.
const Row parameterRows[] = {
    // left block: battery and charging
    {&Form::lineEdit, nullptr, &Form::pushButton,
     bySetting(&Engine::defineReadBatterySettings, &Engine::defineReadTotalsAndLimits), 29,
     v2(&DeviceData::floatVoltage),
     scaled(&Form::pushButton_8, Scale::S100, &Engine::writeFloatVoltage),
     QT_TRANSLATE_NOOP("MainWindow", "Float charge voltage(V)"), volts()},
    {&Form::lineEdit_2, nullptr, &Form::pushButton_4,
     sameRead(&Engine::defineReadBatterySettings), 30, v2(&DeviceData::absorbVoltage),
     scaled(&Form::pushButton_7, Scale::S1000By10, &Engine::writeAbsorbVoltage),
     QT_TRANSLATE_NOOP("MainWindow", "Absorb charge voltage(V)"), volts()},
    {&Form::lineEdit_3, nullptr, &Form::pushButton_2,
     sameRead(&Engine::defineReadBatterySettings), 31, v2(&DeviceData::equalizeVoltage),
     scaled(&Form::pushButton_6, Scale::S1000By10, &Engine::writeEqualizeVoltage),
     QT_TRANSLATE_NOOP("MainWindow", "Equalize charge voltage(V)"), volts()},
    {&Form::lineEdit_4, nullptr, &Form::pushButton_3,
     sameRead(&Engine::defineReadBatterySettings), 32, u(&DeviceData::absorbTime),
     scaled(&Form::pushButton_5, Scale::S1000By1000, &Engine::writeAbsorbTime),
     QT_TRANSLATE_NOOP("MainWindow", "Aborb charge time(M) "), hoursInMinutes(255)},
    {&Form::lineEdit_5, nullptr, &Form::pushButton_9,
     sameRead(&Engine::defineReadBatterySettings), 33, u(&DeviceData::equalizeTime),
     scaled(&Form::pushButton_10, Scale::S1000By1000, &Engine::writeEqualizeTime),
     QT_TRANSLATE_NOOP("MainWindow", "Equalize charge time(M) "), hoursInMinutes(255)},
    {&Form::lineEdit_6, nullptr, &Form::pushButton_11,
     sameRead(&Engine::defineReadBatterySettings), 34, i(&DeviceData::temperatureCompensation),
     scaled(&Form::pushButton_12, Scale::S1000By1000, &Engine::writeTemperatureCompensation),
     QT_TRANSLATE_NOOP("MainWindow", "Temperature compensation"), counts(-128, 127)},
    {&Form::lineEdit_10, nullptr, &Form::pushButton_35,
     byEngineType(nullptr, &Engine::defineReadLithiumCapacity), 115, c1(&DeviceData::lithiumCapacity),
     scaled(&Form::pushButton_36, Scale::S1000By100, &Engine::writeLithiumCapacity),
     QT_TRANSLATE_NOOP("MainWindow", "Lithium battery capacity(AH)"), ampereHours()},
    {&Form::lineEdit_11, nullptr, &Form::pushButton_43,
     byEngineType(nullptr, &Engine::defineReadLithiumAndNightTimes), 116,
     v2(&DeviceData::lithiumChargeVoltage),
     scaled(&Form::pushButton_44, Scale::S1000By10, &Engine::writeLithiumChargeVoltage),
     QT_TRANSLATE_NOOP("MainWindow", "Lithium battery (CV)"), volts()},
    {&Form::lineEdit_9, nullptr, &Form::pushButton_33,
     noDefineRead(), 68, v2(&DeviceData::chargeLimit), readOnly(),
     QT_TRANSLATE_NOOP("MainWindow", "Charge limit(V)"), volts()},

    // middle block: protection and communication
    {&Form::lineEdit_12, nullptr, &Form::pushButton_39,
     sameRead(&Engine::defineReadTotalsAndLimits), 35, v2(&DeviceData::lowVoltageProtect),
     scaled(&Form::pushButton_40, Scale::S1000By10, &Engine::writeLowVoltageProtect),
     QT_TRANSLATE_NOOP("MainWindow", "Low voltage protection(V)"), volts()},
    {&Form::lineEdit_13, nullptr, &Form::pushButton_41,
     sameRead(&Engine::defineReadTotalsAndLimits), 36, v2(&DeviceData::lowVoltageRecover),
     scaled(&Form::pushButton_42, Scale::S1000By10, &Engine::writeLowVoltageRecover),
     QT_TRANSLATE_NOOP("MainWindow", "Low voltage recovery(V)"), volts()},
    {&Form::lineEdit_16, nullptr, &Form::pushButton_47,
     noDefineRead(), 52, v2(&DeviceData::overVoltageProtect), readOnly(),
     QT_TRANSLATE_NOOP("MainWindow", "Over voltage protection(V)"), volts()},
    {&Form::lineEdit_17, nullptr, &Form::pushButton_49,
     noDefineRead(), 53, v2(&DeviceData::overVoltageRecover), readOnly(),
     QT_TRANSLATE_NOOP("MainWindow", "Over voltage recovery(V)"), volts()},
    {nullptr, &Form::comboBox_2, &Form::pushButton_76,
     bySetting(&Engine::defineReadBatterySettings, &Engine::defineReadVersionAndRatings), 51,
     l(&DeviceData::systemVoltageText),
     coded(&Form::pushButton_75, &Engine::writeSystemVoltage, &CodeTables::systemVoltage),
     QT_TRANSLATE_NOOP("MainWindow", "System voltage:"), listed()},
    // Modbus numbers the battery types in another order than Define does.
    {nullptr, &Form::comboBox_3, &Form::pushButton_78,
     sameRead(&Engine::defineReadBatterySettings), 50, l(&DeviceData::batteryTypeText),
     coded(&Form::pushButton_77, &Engine::writeBatteryType, &CodeTables::batteryTypeDefine,
           &CodeTables::batteryTypeModbus),
     QT_TRANSLATE_NOOP("MainWindow", "Battery type:"), listed()},
    {nullptr, &Form::comboBox_4, &Form::pushButton_87,
     bySetting(nullptr, &Engine::defineReadVersionAndRatings), 117, l(&DeviceData::baudRateText),
     coded(&Form::pushButton_86, &Engine::writeBaudRate, &CodeTables::baudRate),
     QT_TRANSLATE_NOOP("MainWindow", "Baud rate:"), listed()},

    // right block: load and light
    {nullptr, &Form::comboBox, &Form::pushButton_54,
     sameRead(&Engine::defineReadLoadSettings), 39, l(&DeviceData::loadModeText),
     coded(&Form::pushButton_53, &Engine::writeLoadMode, &CodeTables::loadModeModbus),
     QT_TRANSLATE_NOOP("MainWindow", "Load mode"), listed()},
    {&Form::lineEdit_29, nullptr, &Form::pushButton_68,
     sameRead(&Engine::defineReadLoadSettings), 46, v2(&DeviceData::lightOnVoltage), readOnly(),
     QT_TRANSLATE_NOOP("MainWindow", "Light on(V)"), volts()},
    {&Form::lineEdit_30, nullptr, &Form::pushButton_69,
     noDefineRead(), 47, v2(&DeviceData::lightOffVoltage), readOnly(),
     QT_TRANSLATE_NOOP("MainWindow", "Light off(V)"), volts()},
    {&Form::lineEdit_19, nullptr, &Form::pushButton_56,
     bySetting(nullptr, &Engine::defineReadLithiumAndNightTimes), 40, u(&DeviceData::nightTime1),
     gatedByLoadMode(&Form::pushButton_55, Scale::S1000By1000, &Engine::writeNightTime1),
     QT_TRANSLATE_NOOP("MainWindow", "Night time(M)"), hoursInMinutes(15)},
    {&Form::lineEdit_20, nullptr, &Form::pushButton_57,
     bySetting(nullptr, &Engine::defineReadLithiumAndNightTimes), 41, u(&DeviceData::nightTime2),
     gatedByLoadMode(&Form::pushButton_58, Scale::S1000By1000, &Engine::writeNightTime2),
     QT_TRANSLATE_NOOP("MainWindow", "Night time(M)"), hoursInMinutes(15)},
};
static_assert(sizeof(parameterRows) / sizeof(parameterRows[0]) == RowCount,
              "one parameter row per RowId");

const Row &row(RowId id) { return parameterRows[id]; }

const W::ParameterAction leftReadsActions[] = {
    &W::on_pushButton_clicked, &W::on_pushButton_4_clicked, &W::on_pushButton_2_clicked,
    &W::on_pushButton_3_clicked, &W::on_pushButton_9_clicked, &W::on_pushButton_11_clicked,
    &W::on_pushButton_33_clicked, &W::on_pushButton_35_clicked, &W::on_pushButton_43_clicked};
const W::ParameterBlock leftReads{std::begin(leftReadsActions), std::end(leftReadsActions)};
const W::ParameterAction leftWritesActions[] = {
    &W::on_pushButton_8_clicked, &W::on_pushButton_7_clicked, &W::on_pushButton_6_clicked,
    &W::on_pushButton_5_clicked, &W::on_pushButton_10_clicked, &W::on_pushButton_12_clicked,
    &W::on_pushButton_36_clicked, &W::on_pushButton_44_clicked};
const W::ParameterBlock leftWrites{std::begin(leftWritesActions), std::end(leftWritesActions)};
const W::ParameterAction middleReadsActions[] = {
    &W::on_pushButton_39_clicked, &W::on_pushButton_41_clicked, &W::on_pushButton_47_clicked,
    &W::on_pushButton_49_clicked, &W::on_pushButton_76_clicked, &W::on_pushButton_78_clicked,
    &W::on_pushButton_87_clicked};
const W::ParameterBlock middleReads{std::begin(middleReadsActions), std::end(middleReadsActions)};
const W::ParameterAction middleWritesActions[] = {
    &W::on_pushButton_40_clicked, &W::on_pushButton_42_clicked, &W::on_pushButton_75_clicked,
    &W::on_pushButton_77_clicked, &W::on_pushButton_86_clicked};
const W::ParameterBlock middleWrites{std::begin(middleWritesActions), std::end(middleWritesActions)};
const W::ParameterAction totalClearsActions[] = {
    &W::on_pushButton_16_clicked, &W::on_pushButton_22_clicked, &W::on_pushButton_18_clicked,
    &W::on_pushButton_25_clicked};
const W::ParameterBlock totalClears{std::begin(totalClearsActions), std::end(totalClearsActions)};
const W::ParameterAction rightReadsActions[] = {
    &W::on_pushButton_54_clicked, &W::on_pushButton_68_clicked, &W::on_pushButton_69_clicked,
    &W::on_pushButton_56_clicked, &W::on_pushButton_57_clicked};
const W::ParameterBlock rightReads{std::begin(rightReadsActions), std::end(rightReadsActions)};
const W::ParameterAction rightWritesActions[] = {
    &W::on_pushButton_53_clicked, &W::on_pushButton_55_clicked, &W::on_pushButton_58_clicked};
const W::ParameterBlock rightWrites{std::begin(rightWritesActions), std::end(rightWritesActions)};

// Single precision and truncation toward zero are what the controller's own
// tools do, so 16.05 V becomes 1604, not 1605. Out-of-range input saturates
// instead of being undefined.
qint32 truncated(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<qint32>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(value);
}

qint32 scaledInput(const QString &text, Scale scale)
{
    // Text that is not a number counts as 0, as the operator typed it.
    const float value = text.toFloat();
    float result = value;
    switch (scale) {
    case Scale::S100:
        result = value * 100.0f;
        break;
    case Scale::S1000By10:
        result = value * 1000.0f;
        result = result / 10.0f;
        break;
    case Scale::S1000By1000:
        result = value * 1000.0f;
        result = result / 1000.0f;
        break;
    case Scale::S1000By100:
        result = value * 1000.0f;
        result = result / 100.0f;
        break;
    case Scale::None:
    case Scale::Code:
        break;
    }
    return truncated(result);
}

QString shownText(const Shown &shown, const DeviceData &data)
{
    switch (shown.format) {
    case Format::V2:
        return QStringLiteral("%1").arg(data.*shown.number * 0.01, 2, 'f', 2, QLatin1Char(' '));
    case Format::C1:
        return QStringLiteral("%1").arg(data.*shown.number * 0.1, 1, 'f', 1, QLatin1Char(' '));
    case Format::U:
        return QString::number(data.*shown.number);
    case Format::I:
        return QString::number(data.*shown.signedNumber);
    case Format::L:
        return data.*shown.text;
    }
    return QString();
}

void runBlock(MainWindow &window, const MainWindow::ParameterBlock &block)
{
    for (const MainWindow::ParameterAction *action = block.first; action != block.last; ++action)
        (window.**action)();
}

// A sequence pressed while the link is down says so, as a single action does.
bool sequenceMayRun(MainWindow &w)
{
    if (w.core.parameterPageIdle())
        return true;
    if (!w.core.linkIsUp() && w.feedback)
        w.feedback->tell(OperatorFeedback::outcomeText(MonitorCore::ParameterOutcome::LinkDown, -1));
    return false;
}

bool isModbus(int protocol)
{
    return protocol == ProtocolModbusRtu || protocol == ProtocolModbusTcp;
}

} // namespace

// --- the single action ----------------------------------------------------

bool MainWindow::beginParameterAction(QPushButton *button, bool idleFirst)
{
    if (idleFirst)
        button->setStyleSheet(styleIdle);
    return core.beginParameterAction();
}

void MainWindow::endParameterAction(QPushButton *button, int outcome, const char *caption)
{
    if (outcome == ParamAnswered)
        button->setStyleSheet(styleOk);
    else if (outcome == ParamFailed)
        button->setStyleSheet(styleFail);
    if (feedback)
        feedback->parameterEnded(button, caption ? tr(caption).trimmed() : QString());
    core.endParameterAction();
}

// Unit and range of every typed parameter, from the rows themselves.
void MainWindow::showParameterRanges()
{
    for (const Row &row : parameterRows) {
        if (!row.edit || !row.range.unit)
            continue;
        const FieldRange &r = row.range;
        const QString unit = tr(r.unit);
        QString tip = tr("%1 to %2 %3")
                          .arg(r.lowest, 0, 'f', r.decimals)
                          .arg(r.highest, 0, 'f', r.decimals)
                          .arg(unit)
                          .trimmed();
        if (r.note)
            tip += QStringLiteral(", ") + tr(r.note);
        if (!row.write.button)
            tip += QStringLiteral(", ") + tr("read only");
        (ui->*row.edit)->setToolTip(tip);
    }
}

// --- rows -------------------------------------------------------------------

void MainWindow::readParameterRow(const ParameterRow &row)
{
    QPushButton *button = ui->*row.readButton;
    if (!beginParameterAction(button))
        return;
    const int outcome = core.requestParameterRead(row.define, row.reg);
    if (outcome == ParamAnswered)
        showParameterRow(row);
    endParameterAction(button, outcome, row.caption);
}

void MainWindow::showParameterRow(const ParameterRow &row)
{
    const QString text = shownText(row.shown, core.deviceData());
    if (row.edit) {
        (ui->*row.edit)->setText(text);
        return;
    }
    QComboBox *list = ui->*row.list;
    const int index = list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    list->setCurrentIndex(index < 0 ? 0 : index);
}

void MainWindow::writeParameterRow(const ParameterRow &row)
{
    const QString input = row.edit ? (ui->*row.edit)->text() : (ui->*row.list)->currentText();
    QPushButton *button = ui->*row.write.button;
    if (!beginParameterAction(button))
        return;
    if (row.write.gated && ui->comboBox->currentText() != tr("Light time")) {
        core.endParameterAction();
        return;
    }
    endParameterAction(button, issueParameterWrite(row, input), row.caption);
}

// The operator's text becomes the number or code the engine writes.
int MainWindow::issueParameterWrite(const ParameterRow &row, const QString &input)
{
    const WriteAction &write = row.write;
    if (write.scale != Scale::Code)
        return core.requestParameterWrite(write.write, scaledInput(input, write.scale));
    const CodeTable *codes =
        isModbus(core.protocol()) ? write.modbusCodes : write.defineCodes;
    return core.requestCodedWrite(write.write, codes->codeOf(input, TranslationContext));
}

// --- device commands --------------------------------------------------------

void MainWindow::runDeviceCommand(QPushButton *button, void (com_protocol_solar::*command)(),
                                  bool idleFirst)
{
    if (!beginParameterAction(button, idleFirst))
        return;
    endParameterAction(button, core.requestCommand(command));
}

// Both load buttons send the same word; the status lamps show the result.
void MainWindow::switchLoad()
{
    if (!core.beginParameterAction())
        return;
    ui->pushButton_106->setStyleSheet(stylePlain);
    ui->pushButton_107->setStyleSheet(stylePlain);
    core.requestLoadSwitch();
    core.endParameterAction();
}

// --- sequences --------------------------------------------------------------

// Members run one after another; after a link loss each remaining member only
// resets its button, so the blocks are walked as one list, not as nested
// sequences that would each give up silently.
void MainWindow::runParameterBlocks(std::initializer_list<const ParameterBlock *> blocks)
{
    if (!sequenceMayRun(*this))
        return;
    for (const ParameterBlock *block : blocks)
        runBlock(*this, *block);
}

void MainWindow::writeConfiguration()
{
    if (!sequenceMayRun(*this))
        return;
    runBlock(*this, leftWrites);
    if (ui->checkBox->isChecked())
        runBlock(*this, totalClears);
    runBlock(*this, middleWrites);
    runBlock(*this, rightWrites);
}

// --- slots ------------------------------------------------------------------

void MainWindow::on_pushButton_clicked() { readParameterRow(row(FloatVoltageRow)); }
void MainWindow::on_pushButton_8_clicked() { writeParameterRow(row(FloatVoltageRow)); }
void MainWindow::on_pushButton_4_clicked() { readParameterRow(row(AbsorbVoltageRow)); }
void MainWindow::on_pushButton_7_clicked() { writeParameterRow(row(AbsorbVoltageRow)); }
void MainWindow::on_pushButton_2_clicked() { readParameterRow(row(EqualizeVoltageRow)); }
void MainWindow::on_pushButton_6_clicked() { writeParameterRow(row(EqualizeVoltageRow)); }
void MainWindow::on_pushButton_3_clicked() { readParameterRow(row(AbsorbTimeRow)); }
void MainWindow::on_pushButton_5_clicked() { writeParameterRow(row(AbsorbTimeRow)); }
void MainWindow::on_pushButton_9_clicked() { readParameterRow(row(EqualizeTimeRow)); }
void MainWindow::on_pushButton_10_clicked() { writeParameterRow(row(EqualizeTimeRow)); }
void MainWindow::on_pushButton_11_clicked() { readParameterRow(row(TemperatureCompensationRow)); }
void MainWindow::on_pushButton_12_clicked() { writeParameterRow(row(TemperatureCompensationRow)); }
void MainWindow::on_pushButton_33_clicked() { readParameterRow(row(ChargeLimitRow)); }
void MainWindow::on_pushButton_35_clicked() { readParameterRow(row(LithiumCapacityRow)); }
void MainWindow::on_pushButton_36_clicked() { writeParameterRow(row(LithiumCapacityRow)); }
void MainWindow::on_pushButton_43_clicked() { readParameterRow(row(LithiumChargeVoltageRow)); }
void MainWindow::on_pushButton_44_clicked() { writeParameterRow(row(LithiumChargeVoltageRow)); }
void MainWindow::on_pushButton_39_clicked() { readParameterRow(row(LowVoltageProtectRow)); }
void MainWindow::on_pushButton_40_clicked() { writeParameterRow(row(LowVoltageProtectRow)); }
void MainWindow::on_pushButton_41_clicked() { readParameterRow(row(LowVoltageRecoverRow)); }
void MainWindow::on_pushButton_42_clicked() { writeParameterRow(row(LowVoltageRecoverRow)); }
void MainWindow::on_pushButton_47_clicked() { readParameterRow(row(OverVoltageProtectRow)); }
void MainWindow::on_pushButton_49_clicked() { readParameterRow(row(OverVoltageRecoverRow)); }
void MainWindow::on_pushButton_76_clicked() { readParameterRow(row(SystemVoltageRow)); }
void MainWindow::on_pushButton_75_clicked() { writeParameterRow(row(SystemVoltageRow)); }
void MainWindow::on_pushButton_78_clicked() { readParameterRow(row(BatteryTypeRow)); }
void MainWindow::on_pushButton_77_clicked() { writeParameterRow(row(BatteryTypeRow)); }
void MainWindow::on_pushButton_87_clicked() { readParameterRow(row(BaudRateRow)); }
void MainWindow::on_pushButton_86_clicked() { writeParameterRow(row(BaudRateRow)); }
void MainWindow::on_pushButton_54_clicked() { readParameterRow(row(LoadModeRow)); }
void MainWindow::on_pushButton_53_clicked() { writeParameterRow(row(LoadModeRow)); }
void MainWindow::on_pushButton_68_clicked() { readParameterRow(row(LightOnRow)); }
void MainWindow::on_pushButton_69_clicked() { readParameterRow(row(LightOffRow)); }
void MainWindow::on_pushButton_56_clicked() { readParameterRow(row(NightTime1Row)); }
void MainWindow::on_pushButton_55_clicked() { writeParameterRow(row(NightTime1Row)); }
void MainWindow::on_pushButton_57_clicked() { readParameterRow(row(NightTime2Row)); }
void MainWindow::on_pushButton_58_clicked() { writeParameterRow(row(NightTime2Row)); }

void MainWindow::on_pushButton_16_clicked() { runDeviceCommand(ui->pushButton_16, &Engine::clearGeneratedChargeTotal); }
void MainWindow::on_pushButton_22_clicked() { runDeviceCommand(ui->pushButton_22, &Engine::clearGeneratedEnergyTotal); }
void MainWindow::on_pushButton_18_clicked() { runDeviceCommand(ui->pushButton_18, &Engine::clearConsumedChargeTotal); }
void MainWindow::on_pushButton_25_clicked() { runDeviceCommand(ui->pushButton_25, &Engine::clearConsumedEnergyTotal); }
// Reset keeps its colour when refused.
void MainWindow::on_pushButton_109_clicked() { runDeviceCommand(ui->pushButton_109, &Engine::resetController, false); }
void MainWindow::on_pushButton_106_clicked() { switchLoad(); }
void MainWindow::on_pushButton_107_clicked() { switchLoad(); }

void MainWindow::on_pushButton_95_clicked() { runParameterBlocks({&leftReads}); }
void MainWindow::on_pushButton_94_clicked() { runParameterBlocks({&leftWrites}); }
void MainWindow::on_pushButton_90_clicked() { runParameterBlocks({&middleReads}); }
void MainWindow::on_pushButton_91_clicked() { runParameterBlocks({&middleWrites}); }
void MainWindow::on_pushButton_88_clicked() { runParameterBlocks({&rightReads}); }
void MainWindow::on_pushButton_89_clicked() { runParameterBlocks({&rightWrites}); }
void MainWindow::on_pushButton_92_clicked() { runParameterBlocks({&totalClears}); }
void MainWindow::on_pushButton_96_clicked() { runParameterBlocks({&leftReads, &middleReads, &rightReads}); }
void MainWindow::on_pushButton_110_clicked() { writeConfiguration(); }
