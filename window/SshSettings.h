#pragma once
// The window's side of connecting through SSH: the server panel's "SSH..." button and its dialog,
// the lock on the icon of a server reached through SSH, and the transports of the window's
// connections (ssh's questions asked in a dialog through tazel-askpass).

#include <QObject>
#include <QPointer>

#include "store/SshRoute.h"
#include "window/SshDialog.h"

class QPushButton;
class QObject;
class Transport;
class frmMain;

class SshSettings : public QObject {
    Q_OBJECT
public:
    // button: the panel's "SSH..." button, placed by the panel; it shows with "Remove Server" (a
    // record is selected).
    SshSettings(frmMain* window, QPushButton* button);

    QPushButton* cmdSshSettings;
    // The dialog while it is open.
    SshDialog* dialog() const { return dialog_; }
    void cmdSshSettings_Click();

    // The record's route ("" host: a plain connection).
    SshRoute routeOf(const QString& section) const;
    // A transport for the window's connection: through SSH when the route has a host, plain TCP
    // otherwise.
    static Transport* MakeTransport(const SshRoute& route, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    frmMain* w_;
    // The filter sees the window's controls go while the window is destroyed: it compares with the
    // button it watches and touches only its own, never the window.
    QObject* removeButton_ = nullptr;
    QPointer<QPushButton> sshButton_;
    QPointer<SshDialog> dialog_;
};
