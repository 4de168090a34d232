#pragma once
// The control connection through SSH: the system's own OpenSSH client, run once per connection as
// "ssh -W ADDRESS:PORT HOST", carries the stream to the control port as seen from the SSH host.
// The session reads ssh's standard output and writes its standard input as it would a socket.
//
// Every run shares one SSH connection per host, port, user and key file (ControlMaster=auto with a
// control socket in the user's runtime folder, kept a minute after its last use), so the fresh
// connection of every script costs a channel over an open SSH connection, not a new handshake.
// Everything else (hosts, keys, the agent, known_hosts, ProxyJump) comes from the user's own
// ~/.ssh/config, as in a terminal.
//
// The run that opens a shared connection lets our relay (tazel-sshrelay, as ssh's ProxyCommand)
// hold its socket, so that the SSH host's packets are acknowledged as they come: otherwise every
// channel waits a delayed acknowledgement for the control server's greeting. It does so only where
// the user's configuration leaves the connection to ssh (no ProxyCommand, ProxyJump or binding of
// its own), as ssh -G tells.
//
// ssh's questions (a passphrase, a password, an unknown host key) go either to the terminal ssh was
// started from (the command-line companion) or to a helper program of ours that shows a dialog
// (the window: SSH_ASKPASS with SSH_ASKPASS_REQUIRE=force).

#include <QProcess>

#include "store/SshRoute.h"
#include "session/Transport.h"

class QTemporaryFile;
class QTimer;

// The transport of a connection by its route: through SSH when the route has a host (ssh's
// questions to the askpass program, or with none to the terminal), plain TCP otherwise. What the
// window and the command-line companion hand to ServerSession::SetTransportMaker.
Transport* MakeRouteTransport(const SshRoute& route, const QString& askpass, QObject* parent);

class SshTransport : public Transport {
    Q_OBJECT
public:
    // What ended a connection that failed, as ssh's exit and its last words tell it.
    enum class FailureKind {
        None,
        HostKeyChanged,         // known_hosts holds another key for the SSH host
        HostKeyUnknown,         // the host's key is not known and was not accepted
        AuthenticationRefused,  // no key, passphrase or password was accepted
        UnknownHost,            // the SSH host's name does not resolve
        Network,                // the SSH host could not be reached, or the connection broke
        ForwardRefused,         // the SSH host could not (or would not) reach the control port
        NoSshProgram,           // no ssh on the PATH, or it cannot be run
        BadRoute,               // the record's SSH settings cannot be used as they stand
        Other,
    };

    explicit SshTransport(const SshRoute& route, QObject* parent = nullptr);
    ~SshTransport() override;

    // ssh's questions go to this helper program (SSH_ASKPASS, forced); with none (the default) ssh
    // asks on its terminal, and fails with its own message where there is none.
    void setAskpassProgram(const QString& program) { askpass_ = program; }

    void open(const QString& host, quint16 port) override;
    QIODevice* device() override;
    bool isOpen() const override;
    void release(bool discardUnsent) override;
    QString route() const override;

    // After failed(): what went wrong and ssh's own last line of standard error ("" when none).
    FailureKind failureKind() const { return kind_; }
    QString sshLastLine() const { return lastLine_; }

    // Whether this process has a terminal ssh can ask on (/dev/tty opens): with none and no helper,
    // ssh fails where it would have to ask.
    static bool TerminalAvailable();
    // The helper program tazel-askpass (beside the running program, in its libexec folder, or on
    // PATH), or "" when there is none.
    static QString askpassHelperPath();
    // The relay tazel-sshrelay, found as the askpass helper is, or "" when there is none.
    static QString relayHelperPath();
    // Where the shared connections' control sockets live ("" when no usable folder: no sharing).
    static QString controlFolder();
    // The control socket of the route's shared connection ("" when there is no sharing).
    static QString controlSocket(const SshRoute& route);
    // The ProxyCommand that has the relay make the connection ssh's effective configuration
    // (ssh -G's output) describes, or "" when that configuration makes its own way there. The relay
    // appends its failures to reasonFile ("": none).
    static QString relayProxyCommand(const QByteArray& effectiveConfig, const QString& relay,
                                     const QString& reasonFile = QString());
    // The options every ssh run gets for this route, up to and including the SSH host as the last
    // argument; the -W forward (or -O check) goes before the host.
    static QStringList sshArguments(const SshRoute& route, const QStringList& request);
    // Why the record's SSH settings cannot be used, or "" when they can.
    static QString checkRoute(const SshRoute& route);
    // The kind of a failure from ssh's exit code and what it wrote on its standard error.
    static FailureKind classifyFailure(int exitCode, const QString& errorText);
    // The message of a failure: it names the SSH host and gives ssh's last line.
    static QString describeFailure(FailureKind kind, const SshRoute& route, const QString& address,
                                   quint16 port, const QString& lastLine, int exitCode);

private:
    void readEffectiveConfig(const QString& ssh, const QString& relay, const QStringList& args);
    void startSsh(const QString& ssh, const QStringList& args);
    void processStarted();
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void processError(QProcess::ProcessError error);
    void collectErrorText();
    void fail(FailureKind kind, int number);
    void failLater(FailureKind kind, int number);

    SshRoute route_;
    QString askpass_;
    QString address_;
    quint16 port_ = 0;
    QProcess* process_ = nullptr;
    QProcess* configReader_ = nullptr;  // ssh -G, before the run that opens a shared connection
    QTemporaryFile* relayReason_ = nullptr;  // where the relay writes why it failed, when it runs
    QTimer* releaseTimer_ = nullptr;
    QByteArray errorText_;  // the end of ssh's standard error, bounded
    QString lastLine_;
    FailureKind kind_ = FailureKind::None;
    bool opened_ = false;
    bool released_ = false;
    bool ended_ = false;  // failed() or closed() has been emitted
};
