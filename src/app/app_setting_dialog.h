#ifndef APP_SETTING_DIALOG_H
#define APP_SETTING_DIALOG_H

#include <QDialog>

#include "config_file.h"

namespace Ui {
class app_setting_Dialog;
}

// Modal editor of config.ini's link, protocol and controller settings.
// It applies nothing itself: the window reads the file again at every Connect.
class app_setting_Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit app_setting_Dialog(QWidget *parent = nullptr,
                                const QString &configPath = ConfigFile::defaultPath());
    ~app_setting_Dialog() override;

public slots:
    void readconfig();
    void on_buttonBox_accepted();
    void on_radioButtonSerise_clicked();
    void on_radioButtonWifi_clicked();

private:
    void addSystemSerialPorts();
    void showSerialPort(const QString &port);

    Ui::app_setting_Dialog *ui;
    QString m_configPath;
};

#endif
