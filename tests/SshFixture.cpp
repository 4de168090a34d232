#include "tests/SshFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>
#include <unistd.h>

#include "session/SshTransport.h"

namespace {
const QString SshdProgram = QStringLiteral("/usr/sbin/sshd");
// sshd refuses to start without its privilege separation folder; a clean machine has none.
const QString PrivilegeFolder = QStringLiteral("/run/sshd");

bool WriteText(const QString& path, const QByteArray& text, QFile::Permissions permissions = {})
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return false;
    return permissions == QFile::Permissions() || QFile::setPermissions(path, permissions);
}

QByteArray ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
}  // namespace

SshFixture::SshFixture() = default;

SshFixture::~SshFixture()
{
    if (sshd_.state() != QProcess::NotRunning) {
        stopSharedConnection();
        sshd_.terminate();
        if (!sshd_.waitForFinished(3000)) {
            sshd_.kill();
            sshd_.waitForFinished(3000);
        }
    }
    if (envChanged_) {
        qputenv("PATH", savedPath_);
        if (hadRuntime_)
            qputenv("XDG_RUNTIME_DIR", savedRuntime_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
}

bool SshFixture::run(const QString& program, const QStringList& args, QString* error)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError()) +
                 p.errorString();
        return false;
    }
    return true;
}

bool SshFixture::start(QString* error)
{
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!QFile::exists(SshdProgram)) {
        *error = SshdProgram + QStringLiteral(" is not installed (package openssh-server)");
        return false;
    }
    const QString realSsh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
    const QString keygen = QStandardPaths::findExecutable(QStringLiteral("ssh-keygen"));
    if (realSsh.isEmpty() || keygen.isEmpty()) {
        *error = QStringLiteral("ssh or ssh-keygen is not installed (package openssh-client)");
        return false;
    }
    if (geteuid() == 0 && !QFile::exists(PrivilegeFolder)) {
        if (!QDir().mkpath(PrivilegeFolder)) {
            *error = QStringLiteral("cannot create ") + PrivilegeFolder;
            return false;
        }
        QFile::setPermissions(PrivilegeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                   QFile::ExeOther);
    }
    for (const char* key : {"host_key", "client_key", "other_key"})
        if (!run(keygen, {"-q", "-t", "ed25519", "-N", "", "-C", key, "-f", dir_.filePath(key)}, error))
            return false;

    port_ = FreeLoopbackPort();
    if (port_ == 0) {
        *error = QStringLiteral("no free loopback port");
        return false;
    }
    const QByteArray d = dir_.path().toLocal8Bit();
    const QByteArray sshdConfig = "ListenAddress 127.0.0.1:" + QByteArray::number(port_) + "\n"
                                  "HostKey " + d + "/host_key\n"
                                  "AuthorizedKeysFile " + d + "/client_key.pub\n"
                                  "StrictModes no\n"
                                  "UsePAM no\n"
                                  "PidFile none\n"
                                  "AllowTcpForwarding yes\n"
                                  "PermitRootLogin prohibit-password\n"
                                  "PasswordAuthentication no\n"
                                  "KbdInteractiveAuthentication no\n"
                                  "LogLevel VERBOSE\n";
    // The client: the fixture's known_hosts only, no agent, no password questions, no user config.
    clientConfig_ = "UserKnownHostsFile " + d + "/known_hosts\n"
                    "GlobalKnownHostsFile /dev/null\n"
                    "IdentityAgent none\n"
                    "IdentitiesOnly yes\n"
                    "PasswordAuthentication no\n"
                    "KbdInteractiveAuthentication no\n"
                    "StrictHostKeyChecking ask\n";
    const QString bin = binFolder();
    const QString runtime = dir_.filePath(QStringLiteral("run"));
    const auto owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QDir().mkpath(bin) || !QDir().mkpath(runtime) || !QFile::setPermissions(runtime, owner) ||
        !WriteText(dir_.filePath("sshd_config"), sshdConfig) ||
        !WriteText(dir_.filePath("ssh_config"), clientConfig_, QFile::ReadOwner | QFile::WriteOwner) ||
        !WriteText(bin + "/ssh",
                   "#!/bin/sh\nexec " + realSsh.toLocal8Bit() + " -F " + d + "/ssh_config \"$@\"\n",
                   owner)) {
        *error = QStringLiteral("cannot write the fixture's files in ") + dir_.path();
        return false;
    }
    if (!QFile::link(QStringLiteral(TAZEL_SSHRELAY), bin + QStringLiteral("/tazel-sshrelay"))) {
        *error = QStringLiteral("cannot link " TAZEL_SSHRELAY " into ") + bin;
        return false;
    }
    trustHostKey();

    sshd_.setStandardErrorFile(dir_.filePath(QStringLiteral("sshd.log")));
    sshd_.start(SshdProgram, {"-D", "-e", "-f", dir_.filePath("sshd_config")});
    if (!sshd_.waitForStarted(10000)) {
        *error = QStringLiteral("sshd did not start: ") + sshd_.errorString();
        return false;
    }
    // sshd says when it listens; it may also end at once with the reason in its log.
    const QDeadlineTimer deadline(10000);
    while (!log().contains(QStringLiteral("Server listening"))) {
        if (sshd_.state() == QProcess::NotRunning || deadline.hasExpired()) {
            *error = QStringLiteral("sshd is not listening: ") + log();
            return false;
        }
        QThread::msleep(10);
    }

    savedPath_ = qgetenv("PATH");
    hadRuntime_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    envChanged_ = true;
    qputenv("PATH", bin.toLocal8Bit() + ':' + savedPath_);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    return true;
}

SshRoute SshFixture::route() const
{
    SshRoute r;
    r.host = QStringLiteral("127.0.0.1");
    r.port = QString::number(port_);
    r.identity = clientKey();
    return r;
}

static QByteArray PublicKey(const QString& path)
{
    // "type key comment": known_hosts wants the first two.
    const QList<QByteArray> parts = ReadText(path).trimmed().split(' ');
    return parts.size() >= 2 ? parts.at(0) + ' ' + parts.at(1) : QByteArray();
}

void SshFixture::setClientConfigExtra(const QByteArray& lines)
{
    WriteText(dir_.filePath("ssh_config"), clientConfig_ + lines, QFile::ReadOwner | QFile::WriteOwner);
}

void SshFixture::trustHostKey()
{
    WriteText(dir_.filePath("known_hosts"),
              "[127.0.0.1]:" + QByteArray::number(port_) + ' ' + PublicKey(dir_.filePath("host_key.pub")) + '\n');
}

void SshFixture::trustOtherKey()
{
    WriteText(dir_.filePath("known_hosts"),
              "[127.0.0.1]:" + QByteArray::number(port_) + ' ' + PublicKey(dir_.filePath("other_key.pub")) + '\n');
}

void SshFixture::forgetHostKey()
{
    WriteText(dir_.filePath("known_hosts"), QByteArray());
}

QString SshFixture::writeAskpass(const QString& answer)
{
    const QString path = binFolder() + QStringLiteral("/tazel-askpass");
    WriteText(path,
              "#!/bin/sh\nprintf '%s\\n---\\n' \"$1\" >> " + dir_.filePath("prompts").toLocal8Bit() +
                  "\necho '" + answer.toLocal8Bit() + "'\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString SshFixture::askpassPrompts() const
{
    return QString::fromLocal8Bit(ReadText(dir_.filePath(QStringLiteral("prompts"))));
}

int SshFixture::runSsh(const QStringList& request)
{
    QProcess p;
    p.start(binFolder() + QStringLiteral("/ssh"), SshTransport::sshArguments(route(), request));
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(3000);
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString SshFixture::connectionHolder() const
{
    const QList<QByteArray> tail = {"127.0.0.1", QByteArray::number(port_)};
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : processes) {
        QByteArray line = ReadText(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (line.endsWith('\0'))
            line.chop(1);
        const QList<QByteArray> args = line.split('\0');
        if (args.size() >= 3 && args.mid(args.size() - 2) == tail)
            return QFileInfo(QString::fromLocal8Bit(args.first())).fileName();
    }
    return QString();
}

void SshFixture::stopSharedConnection()
{
    if (sharedConnectionOpen())
        runSsh({QStringLiteral("-O"), QStringLiteral("exit")});
}

bool SshFixture::sharedConnectionOpen()
{
    return runSsh({QStringLiteral("-O"), QStringLiteral("check")}) == 0;
}

int SshFixture::acceptedLogins() const
{
    return int(log().count(QStringLiteral("Accepted publickey for")));
}

QString SshFixture::log() const
{
    return QString::fromLocal8Bit(ReadText(dir_.filePath(QStringLiteral("sshd.log"))));
}
