// The parameter page: each row binds a field and its buttons to a parameter
// id; what is sent for an id, how it is scaled and shown lives with the core
// (parameter_table.h). Every action has the core send one request and wait
// with events running until it is answered.
#include "mainwindow.h"
#include "operator_feedback.h"
#include "parameter_table.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>

namespace {

using Form = Ui_MainWindow;
using Id = ParameterId;

constexpr int ParamAnswered = MonitorCore::ParamAnswered;
constexpr int ParamFailed = MonitorCore::ParamFailed;

} // namespace

struct MainWindow::ParameterRow
{
    ParameterId id;
    QLineEdit *Form::*edit;        // one of edit and list is set
    QComboBox *Form::*list;
    QPushButton *Form::*readButton;
    QPushButton *Form::*writeButton;   // nullptr: the row is read-only
    bool gated;                    // night times: written only with load mode "Light time"
    const char *caption;           // the row's label, for what the operator is told
};

struct MainWindow::ParameterBlock
{
    const ParameterAction *first;
    const ParameterAction *last;
};

namespace {

using Row = MainWindow::ParameterRow;
using W = MainWindow;

constexpr Row edited(Id id, QLineEdit *Form::*edit, QPushButton *Form::*read,
                     QPushButton *Form::*write, const char *caption)
{
    return {id, edit, nullptr, read, write, false, caption};
}
constexpr Row gated(Id id, QLineEdit *Form::*edit, QPushButton *Form::*read,
                    QPushButton *Form::*write, const char *caption)
{
    return {id, edit, nullptr, read, write, true, caption};
}
constexpr Row listed(Id id, QComboBox *Form::*list, QPushButton *Form::*read,
                     QPushButton *Form::*write, const char *caption)
{
    return {id, nullptr, list, read, write, false, caption};
}

// In ParameterId order.
constexpr Row parameterRows[] = {
    // left block: battery and charging
    edited(Id::FloatVoltage, &Form::lineEdit, &Form::pushButton, &Form::pushButton_8,
           QT_TRANSLATE_NOOP("MainWindow", "Float charge voltage(V)")),
    edited(Id::AbsorbVoltage, &Form::lineEdit_2, &Form::pushButton_4, &Form::pushButton_7,
           QT_TRANSLATE_NOOP("MainWindow", "Absorb charge voltage(V)")),
    edited(Id::EqualizeVoltage, &Form::lineEdit_3, &Form::pushButton_2, &Form::pushButton_6,
           QT_TRANSLATE_NOOP("MainWindow", "Equalize charge voltage(V)")),
    edited(Id::AbsorbTime, &Form::lineEdit_4, &Form::pushButton_3, &Form::pushButton_5,
           QT_TRANSLATE_NOOP("MainWindow", "Aborb charge time(M) ")),
    edited(Id::EqualizeTime, &Form::lineEdit_5, &Form::pushButton_9, &Form::pushButton_10,
           QT_TRANSLATE_NOOP("MainWindow", "Equalize charge time(M) ")),
    edited(Id::TemperatureCompensation, &Form::lineEdit_6, &Form::pushButton_11, &Form::pushButton_12,
           QT_TRANSLATE_NOOP("MainWindow", "Temperature compensation")),
    edited(Id::LithiumCapacity, &Form::lineEdit_10, &Form::pushButton_35, &Form::pushButton_36,
           QT_TRANSLATE_NOOP("MainWindow", "Lithium battery capacity(AH)")),
    edited(Id::LithiumChargeVoltage, &Form::lineEdit_11, &Form::pushButton_43, &Form::pushButton_44,
           QT_TRANSLATE_NOOP("MainWindow", "Lithium battery (CV)")),
    edited(Id::ChargeLimit, &Form::lineEdit_9, &Form::pushButton_33, nullptr,
           QT_TRANSLATE_NOOP("MainWindow", "Charge limit(V)")),

    // middle block: protection and communication
    edited(Id::LowVoltageProtect, &Form::lineEdit_12, &Form::pushButton_39, &Form::pushButton_40,
           QT_TRANSLATE_NOOP("MainWindow", "Low voltage protection(V)")),
    edited(Id::LowVoltageRecover, &Form::lineEdit_13, &Form::pushButton_41, &Form::pushButton_42,
           QT_TRANSLATE_NOOP("MainWindow", "Low voltage recovery(V)")),
    edited(Id::OverVoltageProtect, &Form::lineEdit_16, &Form::pushButton_47, nullptr,
           QT_TRANSLATE_NOOP("MainWindow", "Over voltage protection(V)")),
    edited(Id::OverVoltageRecover, &Form::lineEdit_17, &Form::pushButton_49, nullptr,
           QT_TRANSLATE_NOOP("MainWindow", "Over voltage recovery(V)")),
    listed(Id::SystemVoltage, &Form::comboBox_2, &Form::pushButton_76, &Form::pushButton_75,
           QT_TRANSLATE_NOOP("MainWindow", "System voltage:")),
    listed(Id::BatteryType, &Form::comboBox_3, &Form::pushButton_78, &Form::pushButton_77,
           QT_TRANSLATE_NOOP("MainWindow", "Battery type:")),
    listed(Id::BaudRate, &Form::comboBox_4, &Form::pushButton_87, &Form::pushButton_86,
           QT_TRANSLATE_NOOP("MainWindow", "Baud rate:")),

    // right block: load and light
    listed(Id::LoadMode, &Form::comboBox, &Form::pushButton_54, &Form::pushButton_53,
           QT_TRANSLATE_NOOP("MainWindow", "Load mode")),
    edited(Id::LightOn, &Form::lineEdit_29, &Form::pushButton_68, nullptr,
           QT_TRANSLATE_NOOP("MainWindow", "Light on(V)")),
    edited(Id::LightOff, &Form::lineEdit_30, &Form::pushButton_69, nullptr,
           QT_TRANSLATE_NOOP("MainWindow", "Light off(V)")),
    gated(Id::NightTime1, &Form::lineEdit_19, &Form::pushButton_56, &Form::pushButton_55,
          QT_TRANSLATE_NOOP("MainWindow", "Night time(M)")),
    gated(Id::NightTime2, &Form::lineEdit_20, &Form::pushButton_57, &Form::pushButton_58,
          QT_TRANSLATE_NOOP("MainWindow", "Night time(M)")),
};
static_assert(ParameterTable::oneRowPerId(parameterRows), "one row per ParameterId, in id order");

const Row &row(Id id) { return parameterRows[int(id)]; }

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
    if (!w.core.linkIsUp() && w.feedback())
        w.feedback()->tell(OperatorFeedback::outcomeText(MonitorCore::ParameterOutcome::LinkDown, -1));
    return false;
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
    if (feedback_)
        feedback_->parameterEnded(button, caption ? tr(caption).trimmed() : QString());
    core.endParameterAction();
}

// Unit and range of every typed parameter, as the core's table gives them.
void MainWindow::showParameterRanges()
{
    for (const Row &row : parameterRows) {
        const ParameterTable::FieldRange &r = ParameterTable::parameter(row.id).range;
        if (!row.edit || !r.unit)
            continue;
        const QString unit = tr(r.unit);
        QString tip = tr("%1 to %2 %3")
                          .arg(r.lowest, 0, 'f', r.decimals)
                          .arg(r.highest, 0, 'f', r.decimals)
                          .arg(unit)
                          .trimmed();
        if (r.note)
            tip += QStringLiteral(", ") + tr(r.note);
        if (!ParameterTable::writable(row.id))
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
    const int outcome = core.readParameter(row.id);
    if (outcome == ParamAnswered)
        showParameterRow(row);
    endParameterAction(button, outcome, row.caption);
}

void MainWindow::showParameterRow(const ParameterRow &row)
{
    const QString text = core.parameterText(row.id);
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
    QPushButton *button = ui->*row.writeButton;
    if (!beginParameterAction(button))
        return;
    if (row.gated && ui->comboBox->currentText() != tr("Light time")) {
        core.endParameterAction();
        return;
    }
    endParameterAction(button, core.writeParameter(row.id, input), row.caption);
}

// --- device commands --------------------------------------------------------

void MainWindow::runDeviceCommand(QPushButton *button, DeviceCommand command, bool idleFirst)
{
    if (!beginParameterAction(button, idleFirst))
        return;
    endParameterAction(button, core.runCommand(command));
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

void MainWindow::on_pushButton_clicked() { readParameterRow(row(Id::FloatVoltage)); }
void MainWindow::on_pushButton_8_clicked() { writeParameterRow(row(Id::FloatVoltage)); }
void MainWindow::on_pushButton_4_clicked() { readParameterRow(row(Id::AbsorbVoltage)); }
void MainWindow::on_pushButton_7_clicked() { writeParameterRow(row(Id::AbsorbVoltage)); }
void MainWindow::on_pushButton_2_clicked() { readParameterRow(row(Id::EqualizeVoltage)); }
void MainWindow::on_pushButton_6_clicked() { writeParameterRow(row(Id::EqualizeVoltage)); }
void MainWindow::on_pushButton_3_clicked() { readParameterRow(row(Id::AbsorbTime)); }
void MainWindow::on_pushButton_5_clicked() { writeParameterRow(row(Id::AbsorbTime)); }
void MainWindow::on_pushButton_9_clicked() { readParameterRow(row(Id::EqualizeTime)); }
void MainWindow::on_pushButton_10_clicked() { writeParameterRow(row(Id::EqualizeTime)); }
void MainWindow::on_pushButton_11_clicked() { readParameterRow(row(Id::TemperatureCompensation)); }
void MainWindow::on_pushButton_12_clicked() { writeParameterRow(row(Id::TemperatureCompensation)); }
void MainWindow::on_pushButton_33_clicked() { readParameterRow(row(Id::ChargeLimit)); }
void MainWindow::on_pushButton_35_clicked() { readParameterRow(row(Id::LithiumCapacity)); }
void MainWindow::on_pushButton_36_clicked() { writeParameterRow(row(Id::LithiumCapacity)); }
void MainWindow::on_pushButton_43_clicked() { readParameterRow(row(Id::LithiumChargeVoltage)); }
void MainWindow::on_pushButton_44_clicked() { writeParameterRow(row(Id::LithiumChargeVoltage)); }
void MainWindow::on_pushButton_39_clicked() { readParameterRow(row(Id::LowVoltageProtect)); }
void MainWindow::on_pushButton_40_clicked() { writeParameterRow(row(Id::LowVoltageProtect)); }
void MainWindow::on_pushButton_41_clicked() { readParameterRow(row(Id::LowVoltageRecover)); }
void MainWindow::on_pushButton_42_clicked() { writeParameterRow(row(Id::LowVoltageRecover)); }
void MainWindow::on_pushButton_47_clicked() { readParameterRow(row(Id::OverVoltageProtect)); }
void MainWindow::on_pushButton_49_clicked() { readParameterRow(row(Id::OverVoltageRecover)); }
void MainWindow::on_pushButton_76_clicked() { readParameterRow(row(Id::SystemVoltage)); }
void MainWindow::on_pushButton_75_clicked() { writeParameterRow(row(Id::SystemVoltage)); }
void MainWindow::on_pushButton_78_clicked() { readParameterRow(row(Id::BatteryType)); }
void MainWindow::on_pushButton_77_clicked() { writeParameterRow(row(Id::BatteryType)); }
void MainWindow::on_pushButton_87_clicked() { readParameterRow(row(Id::BaudRate)); }
void MainWindow::on_pushButton_86_clicked() { writeParameterRow(row(Id::BaudRate)); }
void MainWindow::on_pushButton_54_clicked() { readParameterRow(row(Id::LoadMode)); }
void MainWindow::on_pushButton_53_clicked() { writeParameterRow(row(Id::LoadMode)); }
void MainWindow::on_pushButton_68_clicked() { readParameterRow(row(Id::LightOn)); }
void MainWindow::on_pushButton_69_clicked() { readParameterRow(row(Id::LightOff)); }
void MainWindow::on_pushButton_56_clicked() { readParameterRow(row(Id::NightTime1)); }
void MainWindow::on_pushButton_55_clicked() { writeParameterRow(row(Id::NightTime1)); }
void MainWindow::on_pushButton_57_clicked() { readParameterRow(row(Id::NightTime2)); }
void MainWindow::on_pushButton_58_clicked() { writeParameterRow(row(Id::NightTime2)); }

void MainWindow::on_pushButton_16_clicked() { runDeviceCommand(ui->pushButton_16, DeviceCommand::ClearGeneratedChargeTotal); }
void MainWindow::on_pushButton_22_clicked() { runDeviceCommand(ui->pushButton_22, DeviceCommand::ClearGeneratedEnergyTotal); }
void MainWindow::on_pushButton_18_clicked() { runDeviceCommand(ui->pushButton_18, DeviceCommand::ClearConsumedChargeTotal); }
void MainWindow::on_pushButton_25_clicked() { runDeviceCommand(ui->pushButton_25, DeviceCommand::ClearConsumedEnergyTotal); }
// Reset keeps its colour when refused.
void MainWindow::on_pushButton_109_clicked() { runDeviceCommand(ui->pushButton_109, DeviceCommand::ResetController, false); }
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
