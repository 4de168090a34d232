#pragma once
// A real OpenSSH server of the test's own: sshd on a free loopback port with a host key, a client
// key and a configuration made for the run in a temporary folder, and the client pointed at them.
//
// OpenSSH finds ~/.ssh through the password database, not $HOME, so the client is steered by an
// "ssh" of the fixture's own first on PATH that adds "-F CONFIG" (known_hosts, no agent, keys only),
// with the build's tazel-sshrelay beside it;
// the user's runtime folder (where the shared connections' sockets live) is moved into the
// temporary folder too. Nothing of the machine's own configuration, keys or ~/.ssh is touched.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "store/SshRoute.h"

class SshFixture {
public:
    SshFixture();
    ~SshFixture();
    SshFixture(const SshFixture&) = delete;
    SshFixture& operator=(const SshFixture&) = delete;

    // Makes the keys and configurations, starts sshd and sets PATH and XDG_RUNTIME_DIR; false with
    // the reason when any of it fails.
    bool start(QString* error);
    quint16 port() const { return port_; }
    QString folder() const { return dir_.path(); }

    // 127.0.0.1 at the fixture's port, logging in with the client key sshd accepts.
    SshRoute route() const;
    QString clientKey() const { return dir_.filePath(QStringLiteral("client_key")); }
    // A key sshd does not accept.
    QString otherKey() const { return dir_.filePath(QStringLiteral("other_key")); }

    // Lines after the client configuration's own (a ProxyCommand of the user's, say); "" for none.
    void setClientConfigExtra(const QByteArray& lines);

    // known_hosts holds the server's key, another key for the same host, or nothing.
    void trustHostKey();
    void trustOtherKey();
    void forgetHostKey();
    // An askpass stand-in that answers with the text and appends each prompt it is shown to a file;
    // it is also the tazel-askpass found on PATH.
    QString writeAskpass(const QString& answer);
    QString askpassPrompts() const;

    // Ends the shared SSH connection, if one is open (ssh -O exit), so the next run shakes hands.
    void stopSharedConnection();
    // Whether a shared connection is open for the route (ssh -O check).
    bool sharedConnectionOpen();
    // The program holding the network end of the shared connection when ssh's ProxyCommand made it:
    // the name of the process whose last arguments are the fixture's host and port ("" for none).
    QString connectionHolder() const;
    // The logins sshd has accepted so far (its log's "Accepted publickey" lines).
    int acceptedLogins() const;
    QString log() const;

    // The folder of the fixture's ssh wrapper, first on PATH while the fixture lives.
    QString binFolder() const { return dir_.filePath(QStringLiteral("bin")); }

private:
    bool run(const QString& program, const QStringList& args, QString* error);
    int runSsh(const QStringList& request);

    QTemporaryDir dir_;
    QByteArray clientConfig_;
    QProcess sshd_;
    quint16 port_ = 0;
    QByteArray savedPath_;
    QByteArray savedRuntime_;
    bool hadRuntime_ = false;
    bool envChanged_ = false;
};
