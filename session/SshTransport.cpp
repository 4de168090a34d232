#include "session/SshTransport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace {
// ssh's own failures end with this code; anything else is the far end's.
constexpr int SshOwnFailure = 255;
// The shell's number for a program that is not there.
constexpr int NoProgramNumber = 127;
// sysexits' "usage": the record's settings are not usable.
constexpr int BadRouteNumber = 64;
// Only the end of ssh's standard error is kept: its last line and the reason before it.
constexpr qsizetype ErrorTextLimit = 16 * 1024;
// A released connection whose ssh does not end by itself this long after its input closed is ended.
constexpr int ReleaseGraceMs = 5000;
// A Unix socket path holds 107 bytes; the socket's name is "/" + a 40-digit hash, and ssh adds a
// 17-byte suffix while it creates the socket.
constexpr int ControlFolderMaxLength = 107 - 1 - 40 - 17;
// Keep-alives every so many seconds, and this many unanswered before ssh gives up.
constexpr int AliveIntervalSeconds = 15;
constexpr int AliveCountMax = 3;

// What the relay writes before each line of its own.
const QLatin1String RelayPrefix("tazel-sshrelay: ");

// The line of ssh's standard error that tells why it ended: the relay's own, when it failed (ssh's
// lines after it say only that the connection closed), otherwise ssh's last.
QString ReasonLine(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString line = lines.at(i).trimmed();
        if (line.startsWith(RelayPrefix))
            return line.mid(RelayPrefix.size());
    }
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString line = lines.at(i).trimmed();
        if (!line.isEmpty())
            return line;
    }
    return QString();
}

// One word for /bin/sh, with ssh's "%" escapes: ssh expands its tokens in a ProxyCommand first.
QString ProxyCommandWord(QString text)
{
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

bool IsWholeNumber(const QByteArray& text)
{
    bool ok = false;
    return text.toInt(&ok) > 0 && ok;
}

// A helper program of ours: beside the program in the build tree, in libexec/tazel-admin/ beside
// bin/ once installed, or on PATH; "" when there is none.
QString HelperPath(const QString& name)
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + QLatin1Char('/') + name, dir + QStringLiteral("/../libexec/tazel-admin/") + name}) {
        if (QFileInfo(path).isExecutable())
            return QFileInfo(path).canonicalFilePath();
    }
    return QStandardPaths::findExecutable(name);
}

bool ContainsAny(const QString& text, std::initializer_list<const char*> needles)
{
    for (const char* needle : needles)
        if (text.contains(QLatin1String(needle), Qt::CaseInsensitive))
            return true;
    return false;
}

// A name or path handed to ssh as one argument: no line breaks or other control characters.
bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}
}  // namespace

Transport* MakeRouteTransport(const SshRoute& route, const QString& askpass, QObject* parent)
{
    if (!route.isSet())
        return new TcpTransport(parent);
    auto* ssh = new SshTransport(route, parent);
    ssh->setAskpassProgram(askpass);
    return ssh;
}

SshTransport::SshTransport(const SshRoute& route, QObject* parent) : Transport(parent), route_(route) {}

SshTransport::~SshTransport()
{
    if (configReader_) {
        configReader_->disconnect(this);
        configReader_->kill();
        configReader_->waitForFinished(1000);
    }
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->disconnect(this);
        if (process_->bytesToWrite() == 0)
            process_->closeWriteChannel();  // the shared connection closes the stream at once
        process_->kill();
        process_->waitForFinished(1000);
    }
}

bool SshTransport::TerminalAvailable()
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

QString SshTransport::askpassHelperPath()
{
    return HelperPath(QStringLiteral("tazel-askpass"));
}

QString SshTransport::relayHelperPath()
{
    return HelperPath(QStringLiteral("tazel-sshrelay"));
}

QString SshTransport::controlFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return QString();
    const QString folder = runtime + QStringLiteral("/tazel-ssh");
    if (folder.toLocal8Bit().size() > ControlFolderMaxLength)
        return QString();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return QString();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return folder;
}

QString SshTransport::controlSocket(const SshRoute& route)
{
    const QString folder = controlFolder();
    if (folder.isEmpty())
        return QString();
    // The record's own settings name the shared connection: the same record always finds its own,
    // and two records with other keys for one host never share a login.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString& part : {route.host.trimmed(), route.port.trimmed(), route.user.trimmed(), route.identity.trimmed()}) {
        hash.addData(part.toUtf8());
        hash.addData(QByteArrayView("\n", 1));
    }
    return folder + QLatin1Char('/') + QString::fromLatin1(hash.result().toHex());
}

QString SshTransport::relayProxyCommand(const QByteArray& effectiveConfig, const QString& relay,
                                       const QString& reasonFile)
{
    if (relay.isEmpty())
        return QString();
    QHash<QByteArray, QByteArray> values;
    for (const QByteArray& line : effectiveConfig.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0)
            values.insert(line.left(space).toLower(), line.mid(space + 1).trimmed());
    }
    if (!values.contains("hostname"))
        return QString();  // not ssh -G's account of a host
    // The user's own way to the host, or a local address of their choosing: ssh makes the
    // connection as configured.
    for (const char* key : {"proxycommand", "proxyjump", "bindaddress", "bindinterface"}) {
        const QByteArray value = values.value(key);
        if (!value.isEmpty() && value != "none")
            return QString();
    }
    if (values.value("proxyusefdpass") == "yes")
        return QString();
    QString command = ProxyCommandWord(relay);
    const QByteArray family = values.value("addressfamily");
    if (family == "inet")
        command += QStringLiteral(" -4");
    else if (family == "inet6")
        command += QStringLiteral(" -6");
    if (IsWholeNumber(values.value("connecttimeout")))
        command += QStringLiteral(" -t ") + QString::fromLatin1(values.value("connecttimeout"));
    if (IsWholeNumber(values.value("connectionattempts")) && values.value("connectionattempts") != "1")
        command += QStringLiteral(" -a ") + QString::fromLatin1(values.value("connectionattempts"));
    if (values.value("tcpkeepalive", "yes") == "yes")
        command += QStringLiteral(" -k");
    if (!reasonFile.isEmpty())
        command += QStringLiteral(" -r ") + ProxyCommandWord(reasonFile);
    return command + QStringLiteral(" %h %p");
}

QString SshTransport::checkRoute(const SshRoute& route)
{
    const QString host = route.host.trimmed();
    if (host.isEmpty())
        return QStringLiteral("no SSH host is set");
    // A name, an address (IPv6 with its zone) or an alias of ~/.ssh/config, optionally user@host:
    // nothing a shell would read as more than a word, as ssh's ProxyCommand hands it to one.
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._%:@+][A-Za-z0-9._%:@+-]*$"));
    if (!hostName.match(host).hasMatch())
        return QStringLiteral("the SSH host \"%1\" is not a host name").arg(host);
    const QString port = route.port.trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok || n < 1 || n > 65535)
            return QStringLiteral("the SSH port \"%1\" is not a port number (1 to 65535)").arg(port);
    }
    const QString user = route.user.trimmed();
    if (user.startsWith(QLatin1Char('-')) || user.contains(QLatin1Char(' ')) || HasControlCharacter(user))
        return QStringLiteral("the SSH user \"%1\" is not a user name").arg(user);
    if (HasControlCharacter(route.identity))
        return QStringLiteral("the key file name holds a control character");
    return QString();
}

QStringList SshTransport::sshArguments(const SshRoute& route, const QStringList& request)
{
    QStringList args;
    const QString folder = controlFolder();
    if (folder.isEmpty()) {
        args << QStringLiteral("-o") << QStringLiteral("ControlMaster=no")
             << QStringLiteral("-o") << QStringLiteral("ControlPath=none");
    } else {
        // ssh expands "%" tokens in the path: the folder's own are escaped.
        QString socket = controlSocket(route);
        socket.replace(QLatin1Char('%'), QStringLiteral("%%"));
        args << QStringLiteral("-o") << QStringLiteral("ControlMaster=auto")
             << QStringLiteral("-o") << QStringLiteral("ControlPersist=60")
             << QStringLiteral("-o") << QStringLiteral("ControlPath=") + socket;
    }
    args << QStringLiteral("-o") << QStringLiteral("ServerAliveInterval=%1").arg(AliveIntervalSeconds)
         << QStringLiteral("-o") << QStringLiteral("ServerAliveCountMax=%1").arg(AliveCountMax)
         << QStringLiteral("-o") << QStringLiteral("ExitOnForwardFailure=yes")
         << QStringLiteral("-o") << QStringLiteral("BatchMode=no");
    // Port and user only when the record sets them, so ~/.ssh/config's own apply otherwise.
    if (!route.port.trimmed().isEmpty())
        args << QStringLiteral("-p") << route.port.trimmed();
    if (!route.user.trimmed().isEmpty())
        args << QStringLiteral("-l") << route.user.trimmed();
    if (!route.identity.trimmed().isEmpty())
        args << QStringLiteral("-i") << route.identity.trimmed();
    args << request << QStringLiteral("--") << route.host.trimmed();
    return args;
}

SshTransport::FailureKind SshTransport::classifyFailure(int exitCode, const QString& errorText)
{
    // ssh's own failures and those it passes on from the far end both end with its last line; the
    // code alone does not tell them apart by kind.
    Q_UNUSED(exitCode);
    const QString last = ReasonLine(errorText);
    // The changed key is told apart from the unknown one by ssh's warning before its last line.
    if (ContainsAny(errorText, {"REMOTE HOST IDENTIFICATION HAS CHANGED", "has changed and you have requested strict"}))
        return FailureKind::HostKeyChanged;
    if (ContainsAny(last, {"Host key verification failed"}))
        return FailureKind::HostKeyUnknown;
    if (ContainsAny(last, {"Permission denied", "Too many authentication failures", "Authentication failed",
                           "No more authentication methods"}))
        return FailureKind::AuthenticationRefused;
    if (ContainsAny(last, {"forwarding failed", "forwarding request failed", "open failed", "administratively prohibited"}))
        return FailureKind::ForwardRefused;
    if (ContainsAny(last, {"Could not resolve hostname", "Name or service not known", "nodename nor servname"}))
        return FailureKind::UnknownHost;
    if (ContainsAny(last, {"connect to host", "Connection refused", "Connection timed out", "No route to host",
                           "Network is unreachable", "Connection closed by", "Connection reset",
                           "kex_exchange_identification", "Timeout, server", "not responding", "Broken pipe"}))
        return FailureKind::Network;
    return FailureKind::Other;
}

QString SshTransport::describeFailure(FailureKind kind, const SshRoute& route, const QString& address,
                                      quint16 port, const QString& lastLine, int exitCode)
{
    const QString host = route.host.trimmed();
    QString text;
    switch (kind) {
    case FailureKind::HostKeyChanged:
        text = QStringLiteral("The SSH host %1 presented a host key other than the one known for it (it may "
                              "have been reinstalled, or someone may be in between); nothing was sent")
                   .arg(host);
        break;
    case FailureKind::HostKeyUnknown:
        text = QStringLiteral("The host key of the SSH host %1 is not known and was not accepted; nothing was sent")
                   .arg(host);
        break;
    case FailureKind::AuthenticationRefused:
        text = QStringLiteral("The SSH host %1 refused the login").arg(host);
        break;
    case FailureKind::UnknownHost:
        text = QStringLiteral("The SSH host %1 is not known by that name").arg(host);
        break;
    case FailureKind::Network:
        text = QStringLiteral("The SSH host %1 could not be reached, or the connection to it broke").arg(host);
        break;
    case FailureKind::ForwardRefused:
        text = QStringLiteral("The SSH host %1 could not connect to %2 port %3").arg(host, address).arg(port);
        break;
    case FailureKind::NoSshProgram:
        return QStringLiteral("No ssh program could be run (the OpenSSH client is needed to connect through "
                              "the SSH host %1)")
            .arg(host);
    case FailureKind::BadRoute:
        return QStringLiteral("The connection through SSH cannot be made: %1").arg(lastLine);
    case FailureKind::None:
    case FailureKind::Other:
        text = QStringLiteral("ssh to the SSH host %1 ended with code %2").arg(host).arg(exitCode);
        break;
    }
    if (!lastLine.isEmpty())
        text += QStringLiteral("; ssh said: ") + lastLine;
    return text;
}

void SshTransport::open(const QString& host, quint16 port)
{
    if (opened_)
        return;
    opened_ = true;
    address_ = host.trimmed();
    port_ = port;

    const QString problem = checkRoute(route_);
    if (!problem.isEmpty()) {
        lastLine_ = problem;
        failLater(FailureKind::BadRoute, BadRouteNumber);
        return;
    }
    const QString ssh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
    if (ssh.isEmpty()) {
        failLater(FailureKind::NoSshProgram, NoProgramNumber);
        return;
    }
    // An IPv6 address is written in brackets so its colons are not taken for the port's.
    const QString target = address_.contains(QLatin1Char(':')) && !address_.startsWith(QLatin1Char('['))
                               ? QLatin1Char('[') + address_ + QLatin1Char(']')
                               : address_;
    const QStringList args =
        sshArguments(route_, {QStringLiteral("-W"), target + QLatin1Char(':') + QString::number(port)});

    // The stream's device exists from here on; ssh itself starts below, or once ssh -G has told
    // whether the relay may make the connection.
    process_ = new QProcess(this);
    process_->setReadChannel(QProcess::StandardOutput);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!askpass_.isEmpty()) {
        env.insert(QStringLiteral("SSH_ASKPASS"), askpass_);
        env.insert(QStringLiteral("SSH_ASKPASS_REQUIRE"), QStringLiteral("force"));
    }
    process_->setProcessEnvironment(env);
    connect(process_, &QProcess::started, this, &SshTransport::processStarted);
    connect(process_, &QProcess::readyReadStandardOutput, this, [this] {
        if (!released_)
            emit readyRead();
    });
    connect(process_, &QProcess::readyReadStandardError, this, &SshTransport::collectErrorText);
    connect(process_, &QProcess::finished, this, &SshTransport::processFinished);
    connect(process_, &QProcess::errorOccurred, this, &SshTransport::processError);

    // A shared connection that is open already carries the run, and the relay would not be asked.
    const QString relay = relayHelperPath();
    const QString socket = controlSocket(route_);
    if (relay.isEmpty() || (!socket.isEmpty() && QFileInfo::exists(socket)))
        startSsh(ssh, args);
    else
        readEffectiveConfig(ssh, relay, args);
}

void SshTransport::readEffectiveConfig(const QString& ssh, const QString& relay, const QStringList& args)
{
    configReader_ = new QProcess(this);
    configReader_->setProcessEnvironment(process_->processEnvironment());
    configReader_->setStandardInputFile(QProcess::nullDevice());
    configReader_->setStandardErrorFile(QProcess::nullDevice());
    connect(configReader_, &QProcess::finished, this,
            [this, ssh, relay, args](int exitCode, QProcess::ExitStatus status) {
                const QByteArray config = configReader_->readAllStandardOutput();
                configReader_->deleteLater();
                configReader_ = nullptr;
                if (released_ || ended_)
                    return;
                // A configuration ssh cannot read is reported by the run itself, in ssh's words.
                QStringList run = args;
                if (status == QProcess::NormalExit && exitCode == 0 && !relayProxyCommand(config, relay).isEmpty()) {
                    // The relay's reasons go to a file of their own: ssh silences a ProxyCommand's
                    // standard error when the connection is to be shared.
                    const QString folder = controlFolder();
                    relayReason_ = new QTemporaryFile(
                        (folder.isEmpty() ? QDir::tempPath() : folder) + QStringLiteral("/relay-XXXXXX"), this);
                    const QString reasonFile = relayReason_->open() ? relayReason_->fileName() : QString();
                    run = QStringList{QStringLiteral("-o"),
                                      QStringLiteral("ProxyCommand=") + relayProxyCommand(config, relay, reasonFile)} +
                          run;
                }
                startSsh(ssh, run);
            });
    connect(configReader_, &QProcess::errorOccurred, this, [this, ssh, args](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || !configReader_)
            return;
        configReader_->deleteLater();
        configReader_ = nullptr;
        if (!released_ && !ended_)
            startSsh(ssh, args);  // which fails the same way, and says so
    });
    configReader_->start(ssh, sshArguments(route_, {QStringLiteral("-G")}));
}

void SshTransport::startSsh(const QString& ssh, const QStringList& args)
{
    process_->start(ssh, args);
}

QIODevice* SshTransport::device()
{
    return process_;
}

bool SshTransport::isOpen() const
{
    return opened_ && !released_ && !ended_;
}

QString SshTransport::route() const
{
    return QStringLiteral("through SSH host ") + route_.host.trimmed();
}

void SshTransport::release(bool discardUnsent)
{
    if (released_)
        return;
    released_ = true;
    disconnect();  // nobody hears of this transport again
    if (configReader_)
        configReader_->kill();  // nothing has reached the SSH host yet
    if (!process_ || process_->state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    connect(process_, &QProcess::finished, this, &QObject::deleteLater);
    if (discardUnsent) {
        // The shared connection notices a killed ssh only when it next wakes (up to the keep-alive
        // interval later); the end of ssh's input it sees at once, and it closes the stream to the
        // server with it. Bytes still queued here are dropped with the process.
        if (process_->bytesToWrite() == 0)
            process_->closeWriteChannel();
        process_->kill();
        return;
    }
    // What is still buffered goes out, then ssh sees the end of its input; the control server
    // closes after "quit", and ssh ends with it. One that does not is ended after a while.
    process_->closeWriteChannel();
    releaseTimer_ = new QTimer(this);
    releaseTimer_->setSingleShot(true);
    connect(releaseTimer_, &QTimer::timeout, process_, &QProcess::kill);
    releaseTimer_->start(ReleaseGraceMs);
}

void SshTransport::processStarted()
{
    // ssh runs: the forward is proven by the server's greeting, which the session awaits.
    if (!released_ && !ended_)
        emit connected();
}

void SshTransport::collectErrorText()
{
    errorText_ += process_->readAllStandardError();
    if (errorText_.size() > ErrorTextLimit)
        errorText_ = errorText_.right(ErrorTextLimit);
}

void SshTransport::processFinished(int exitCode, QProcess::ExitStatus status)
{
    collectErrorText();
    if (released_ || ended_)
        return;
    if (status == QProcess::NormalExit && exitCode == 0) {
        // The control server (or the SSH host) closed the stream.
        ended_ = true;
        emit closed();
        return;
    }
    QString text = QString::fromLocal8Bit(errorText_);
    if (relayReason_) {
        relayReason_->seek(0);
        text += QLatin1Char('\n') + QString::fromLocal8Bit(relayReason_->read(ErrorTextLimit));
    }
    lastLine_ = ReasonLine(text);
    if (status == QProcess::CrashExit && lastLine_.isEmpty())
        lastLine_ = QStringLiteral("ssh ended unexpectedly");
    const int number = status == QProcess::CrashExit ? SshOwnFailure : exitCode;
    fail(classifyFailure(exitCode, text), number);
}

void SshTransport::processError(QProcess::ProcessError error)
{
    // A program that cannot be started is reported only here; later errors end in finished().
    if (error != QProcess::FailedToStart || released_ || ended_)
        return;
    lastLine_ = process_->errorString();
    fail(FailureKind::NoSshProgram, NoProgramNumber);
}

void SshTransport::fail(FailureKind kind, int number)
{
    if (ended_ || released_)
        return;
    ended_ = true;
    kind_ = kind;
    emit failed(number, describeFailure(kind, route_, address_, port_, lastLine_, number));
}

void SshTransport::failLater(FailureKind kind, int number)
{
    // Reported from the event loop, so the session has wired the transport's signals by then.
    QTimer::singleShot(0, this, [this, kind, number] { fail(kind, number); });
}
