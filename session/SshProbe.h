#pragma once
// One connection through SSH to a control port, to learn whether it works: the "Test" of the SSH
// settings. It waits for the control server's greeting and tells the outcome by kind.

#include <QObject>
#include <QPointer>

#include "store/SshRoute.h"

class QTimer;
class SshTransport;

class SshProbe : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Running,
        Greeted,          // a control server greeted through the tunnel
        HostKey,          // the SSH host's key is unknown or changed
        Authentication,   // the SSH host refused the login
        Network,          // the SSH host could not be reached (or its name is unknown)
        NoControlServer,  // SSH works, but nothing (or something else) answers at the control port
        NoSsh,            // no ssh program
        Settings,         // the settings cannot be used as they stand
        Other,
    };

    explicit SshProbe(const SshRoute& route, QObject* parent = nullptr);
    ~SshProbe() override;
    void setAskpassProgram(const QString& program) { askpass_ = program; }
    // The greeting must come within this long of the start (the SSH login and its questions
    // included).
    void setGreetingTimeout(int ms) { timeoutMs_ = ms; }

    void start(const QString& address, quint16 port);
    void cancel();

    Outcome outcome() const { return outcome_; }
    // The outcome in words, for the user: it names the SSH host, and gives ssh's last line or the
    // server's greeting.
    QString text() const { return text_; }

signals:
    void finished();

private:
    void finish(Outcome outcome, const QString& text);
    void readGreeting();

    SshRoute route_;
    QString askpass_;
    QString address_;
    quint16 port_ = 0;
    int timeoutMs_ = 60000;
    QPointer<SshTransport> transport_;
    QTimer* timer_ = nullptr;
    QByteArray received_;
    Outcome outcome_ = Outcome::Running;
    QString text_;
};
