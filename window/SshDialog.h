#pragma once
// The SSH settings of one server record: whether its control port is reached through an SSH host,
// which host, port, user and key file, and a "Test" that opens one connection through it.

#include <QDialog>
#include <functional>

#include "store/SshRoute.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class SshProbe;

class SshDialog : public QDialog {
    Q_OBJECT
public:
    // The record in section of the store; tell shows a message to the user (bad input, a failed write).
    SshDialog(QSettings& settings, const QString& section, std::function<void(const QString&)> tell,
              QWidget* parent = nullptr);
    ~SshDialog() override;

    // The route as the fields hold it (no host when "Connect through SSH" is not ticked).
    SshRoute route() const;
    // The running (or last) test, for whoever waits for its end.
    SshProbe* probe() const { return probe_; }

    QCheckBox* chkUseSsh = nullptr;
    QLineEdit* txtSshHost = nullptr;
    QLineEdit* txtSshPort = nullptr;
    QLineEdit* txtSshUser = nullptr;
    QLineEdit* txtSshIdentity = nullptr;
    QPushButton* cmdBrowseIdentity = nullptr;
    QPushButton* cmdTestSsh = nullptr;
    QLabel* lblTestResult = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

signals:
    // The record's SSH keys were written.
    void saved(const QString& section, const SshRoute& route);

private:
    void cmdOK_Click();
    void cmdTestSsh_Click();
    void cmdBrowseIdentity_Click();
    void useSshToggled();
    void testFinished();
    bool checkFields();

    QSettings& settings_;
    QString section_;
    std::function<void(const QString&)> tell_;
    SshProbe* probe_ = nullptr;
};
