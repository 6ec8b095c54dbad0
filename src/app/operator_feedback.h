#ifndef OPERATOR_FEEDBACK_H
#define OPERATOR_FEEDBACK_H

#include <QLabel>
#include <QObject>
#include <QString>

#include "monitor_core.h"

class MainWindow;
class QAction;
class QPushButton;

// What the operator is told in words: the link's state in the status bar and
// the window title, why a parameter action failed (status bar and the
// button's tooltip), the serial open failure's details, the About box and the
// keyboard access to the main actions.
class OperatorFeedback : public QObject
{
    Q_OBJECT

public:
    explicit OperatorFeedback(MainWindow *window);

    // The texts, for the window and for tests.
    static QString toolName();
    static QString linkText(const MonitorCore::LinkEvent &event);
    static QString serialOpenFailure(const MonitorCore::LinkEvent &event);
    static QString outcomeText(MonitorCore::ParameterOutcome outcome, int exceptionCode);
    static QString titleFor(const MonitorCore::LinkEvent &event);
    static QString aboutText();

    // A parameter action on button ended; subject names what it was about
    // (a row caption, or empty for the button's own text).
    void parameterEnded(QPushButton *button, const QString &subject);
    void tell(const QString &text);

    QLabel *notice = nullptr;   // status bar, beside the address label (owned by it)
    QAction *aboutAction = nullptr;

private:
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void onParameterFinished(MonitorCore::ParameterOutcome outcome, int exceptionCode);
    void addKeyboardAccess();
    void showAbout();

    MainWindow *window_;
    MonitorCore::ParameterOutcome lastOutcome_ = MonitorCore::ParameterOutcome::Answered;
    int lastExceptionCode_ = -1;
};

#endif
