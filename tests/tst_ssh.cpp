// The control connection through SSH against a real sshd of the test's own, forwarding to the
// simulated server: the stream, the refusals by kind, the shared connection, the relay that makes
// it, and Cancel.

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QPointer>
#include <QScopeGuard>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "session/SshTransport.h"
#include "sim/TazelSim.h"
#include "tests/SshFixture.h"
#include "tests/TestKit.h"

// One transport and everything it reported.
struct Probe {
    QPointer<SshTransport> transport;
    QByteArray data;
    bool connected = false;
    bool closed = false;
    bool failed = false;
    int number = 0;
    QString message;

    Probe(const SshRoute& route, const QString& askpass = QString())
    {
        transport = new SshTransport(route);
        transport->setAskpassProgram(askpass);
        SshTransport* t = transport;
        QObject::connect(t, &Transport::connected, t, [this] { connected = true; });
        QObject::connect(t, &Transport::readyRead, t, [this, t] { data += t->device()->readAll(); });
        QObject::connect(t, &Transport::closed, t, [this] { closed = true; });
        QObject::connect(t, &Transport::failed, t, [this](int n, const QString& text) {
            failed = true;
            number = n;
            message = text;
        });
    }
    // A probe ends with its transport gone (it goes once its ssh has ended), so that nothing of it
    // outlives the test.
    ~Probe()
    {
        if (!transport)
            return;
        QPointer<SshTransport> t = transport;
        t->release(true);
        QDeadlineTimer deadline(10000);
        while (t && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    bool ended() const { return closed || failed; }
};

class TestSsh : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void greetingAndRequestThroughTheTunnel();
    void longStreamsArriveWholeBothWays();
    void sharedConnectionMadeByTheRelay_data();
    void sharedConnectionMadeByTheRelay();
    void relayOnlyWhereTheConfigurationLeavesItToSsh_data();
    void relayOnlyWhereTheConfigurationLeavesItToSsh();
    void refusedByKind_data();
    void refusedByKind();
    void unusableSettingsNeverStartSsh_data();
    void unusableSettingsNeverStartSsh();
    void missingSshProgram();
    void tenConnectionsShareOneSshConnection();
    void cancelEndsSshAtOnce();
    void eightAtOnceMakeTheFirstConnectionOnce_data();
    void eightAtOnceMakeTheFirstConnectionOnce();
    void relayDirectionStalledAlone_data();
    void relayDirectionStalledAlone();
    void runtimeFolderAndKeyWithSpaceAndQuote();
    void passwordReachesNoChild();
    void laterRunsUseTheForwardWithoutSsh_data();
    void laterRunsUseTheForwardWithoutSsh();

private:
    SshFixture* ssh = nullptr;
    TazelSim* sim = nullptr;
};

void TestSsh::initTestCase()
{
    ssh = new SshFixture;
    QString error;
    QVERIFY2(ssh->start(&error), qPrintable(error));
}

void TestSsh::init()
{
    delete sim;  // a fresh simulated server: its counts start at nought
    sim = new TazelSim;
    QVERIFY(sim->listen());
    // Each test shakes hands afresh: a shared connection would skip the host key and the login.
    ssh->stopSharedConnection();
    ssh->trustHostKey();
    ssh->setClientConfigExtra(QByteArray());
}

void TestSsh::cleanupTestCase()
{
    delete sim;
    delete ssh;
}

void TestSsh::greetingAndRequestThroughTheTunnel()
{
    Probe p(ssh->route());
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
    QVERIFY2(!p.failed, qPrintable(p.message));
    QVERIFY(p.connected);
    QVERIFY2(p.data.startsWith("+00000 "), p.data.constData());
    QVERIFY(p.transport->isOpen());

    p.data.clear();
    p.transport->device()->write(WireLine({"admin", "secret"}) + "\r\n" + WireLine({"domainlist"}) + "\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n.\r\n") || p.ended(), 20000);
    QVERIFY(p.data.startsWith("+"));
    QCOMPARE(sim->received, (QList<QByteArray>{WireLine({"admin", "secret"}), WireLine({"domainlist"})}));

    // The server's close is the stream's close, not a failure.
    sim->faults.closeOnCommand = QStringLiteral("domainlist");
    sim->faults.closeAfterBytes = 0;
    p.transport->device()->write(WireLine({"domainlist"}) + "\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(p.ended(), 20000);
    QVERIFY2(p.closed, qPrintable(p.message));
    QVERIFY(!p.transport->isOpen());
}

void TestSsh::longStreamsArriveWholeBothWays()
{
    // Far more than a pipe's or a socket's buffer each way, every byte in order.
    QByteArray reply = "+00000 OK\r\n";
    for (int i = 0; i < 60000; ++i)
        reply += "\"domain-" + QByteArray::number(i).rightJustified(6, '0') + ".example\"\r\n";
    reply += ".\r\n";
    sim->faults.scriptedReplies.insert(QStringLiteral("domainlist"), reply);
    sim->faults.silentCommand = QStringLiteral("noop");
    QByteArray request = WireLine({"admin", "secret"}) + "\r\n";
    for (int i = 0; i < 40000; ++i)
        request += WireLine({"noop", QByteArray::number(i).rightJustified(40, 'x')}) + "\r\n";
    request += WireLine({"domainlist"}) + "\r\n";

    Probe p(ssh->route());
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
    QVERIFY2(!p.failed, qPrintable(p.message));
    p.data.clear();
    p.transport->device()->write(request);
    QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n.\r\n") || p.ended(), 30000);
    QVERIFY2(!p.ended(), qPrintable(p.message));
    QCOMPARE(p.data.size(), qsizetype(sizeof "+00000 OK\r\n" - 1) + reply.size());
    QVERIFY(p.data.endsWith(reply));
    QCOMPARE(sim->receivedBytes.size(), request.size());
    QVERIFY(sim->receivedBytes == request);
}

// The connection a run opens is made by the relay, unless the user's configuration has a way of
// its own to the host: that way is kept.
void TestSsh::sharedConnectionMadeByTheRelay_data()
{
    QTest::addColumn<bool>("usersProxy");
    QTest::addColumn<QString>("holder");
    QTest::newRow("nothing of the user's") << false << "tazel-sshrelay";
    QTest::newRow("a ProxyCommand of the user's") << true << "users-proxy";
    // TAZEL_SSH_RELAY=no: ssh holds its socket itself, as without the relay.
    QTest::newRow("relay turned off") << false << "";
}

void TestSsh::sharedConnectionMadeByTheRelay()
{
    QFETCH(bool, usersProxy);
    QFETCH(QString, holder);
    const bool relayOff = QByteArray(QTest::currentDataTag()) == "relay turned off";
    if (relayOff)
        qputenv("TAZEL_SSH_RELAY", "no");
    const auto restore = qScopeGuard([] { qunsetenv("TAZEL_SSH_RELAY"); });
    if (usersProxy) {
        // The user's own proxy: the relay under another name, which the user's configuration runs.
        const QString proxy = ssh->binFolder() + QStringLiteral("/users-proxy");
        QVERIFY(QFile::link(QStringLiteral(TAZEL_SSHRELAY), proxy) || QFileInfo::exists(proxy));
        ssh->setClientConfigExtra("ProxyCommand " + proxy.toLocal8Bit() + " %h %p\n");
    }
    // The shared connection init() ended takes its relay with it as it goes.
    QTRY_COMPARE_WITH_TIMEOUT(ssh->connectionHolder(), QString(), 10000);
    const int loginsBefore = ssh->acceptedLogins();
    for (int i = 0; i < 2; ++i) {
        Probe p(ssh->route());
        p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
        QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
        QVERIFY2(p.data.startsWith("+00000 "), qPrintable(p.message));
        QCOMPARE(ssh->connectionHolder(), holder);
    }
    QCOMPARE(ssh->acceptedLogins() - loginsBefore, 1);
}

void TestSsh::relayOnlyWhereTheConfigurationLeavesItToSsh_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("relay");
    QTest::addColumn<QString>("command");
    const QByteArray plain = "host h\nhostname h.example\nport 22\naddressfamily any\nconnecttimeout none\n"
                             "connectionattempts 1\ntcpkeepalive yes\nproxyusefdpass no\n";
    const QString relay = QStringLiteral("/usr/libexec/tazel-admin/tazel-sshrelay");
    QTest::newRow("ssh's defaults") << plain << relay << "'" + relay + "' -k %h %p";
    QTest::newRow("IPv4, time-out, attempts, no keep-alive")
        << QByteArray(plain).replace("any", "inet").replace("none", "7").replace("attempts 1", "attempts 3")
               .replace("keepalive yes", "keepalive no")
        << relay << "'" + relay + "' -4 -t 7 -a 3 %h %p";
    QTest::newRow("IPv6") << QByteArray(plain).replace("any", "inet6") << relay << "'" + relay + "' -6 -k %h %p";
    // The path is one word to the shell, and its "%" is not one of ssh's tokens.
    QTest::newRow("a path with a quote and a per cent sign")
        << plain << "/opt/it's 100%/tazel-sshrelay" << "'/opt/it'\\''s 100%%/tazel-sshrelay' -k %h %p";
    QTest::newRow("the user's ProxyCommand") << plain + "proxycommand nc %h %p\n" << relay << "";
    QTest::newRow("the user's ProxyJump") << plain + "proxyjump bastion\n" << relay << "";
    QTest::newRow("a local address of the user's") << plain + "bindaddress 10.0.0.2\n" << relay << "";
    QTest::newRow("a local interface of the user's") << plain + "bindinterface eth1\n" << relay << "";
    QTest::newRow("the user's passed socket") << QByteArray(plain).replace("fdpass no", "fdpass yes") << relay << "";
    QTest::newRow("no relay") << plain << "" << "";
    QTest::newRow("not ssh -G's output") << QByteArray("Bad configuration option: x\n") << relay << "";
}

void TestSsh::relayOnlyWhereTheConfigurationLeavesItToSsh()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, relay);
    QFETCH(QString, command);
    QCOMPARE(SshTransport::relayProxyCommand(config, relay), command);
}

void TestSsh::refusedByKind_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("sshSays");
    QTest::newRow("host key changed") << "other host key" << int(SshTransport::FailureKind::HostKeyChanged)
                                      << "Host key verification failed.";
    QTest::newRow("unknown host key answered no") << "unknown host key" << int(SshTransport::FailureKind::HostKeyUnknown)
                                                  << "Host key verification failed.";
    // The command-line companion's case: ssh would ask on the terminal, and there is none.
    QTest::newRow("unknown host key, no terminal") << "unknown host key, no helper"
                                                   << int(SshTransport::FailureKind::HostKeyUnknown)
                                                   << "Host key verification failed.";
    QTest::newRow("client key refused") << "other client key" << int(SshTransport::FailureKind::AuthenticationRefused)
                                        << "Permission denied (publickey).";
    QTest::newRow("forward refused") << "closed control port" << int(SshTransport::FailureKind::ForwardRefused)
                                     << "forwarding";
    // Failures of the relay's connection read as ssh's own would.
    QTest::newRow("nothing listens at the SSH port") << "closed SSH port" << int(SshTransport::FailureKind::Network)
                                                     << "connect to host 127.0.0.1 port ";
    QTest::newRow("no such SSH host") << "unknown SSH host" << int(SshTransport::FailureKind::UnknownHost)
                                      << "Could not resolve hostname no-such-host.invalid";
}

void TestSsh::refusedByKind()
{
    QFETCH(QString, setup);
    QFETCH(int, kind);
    QFETCH(QString, sshSays);
    SshRoute route = ssh->route();
    QString askpass;
    quint16 port = sim->port();
    if (setup == "other host key") {
        ssh->trustOtherKey();
    } else if (setup == "unknown host key") {
        ssh->forgetHostKey();
        askpass = ssh->writeAskpass(QStringLiteral("no"));
    } else if (setup == "unknown host key, no helper") {
        if (SshTransport::TerminalAvailable())
            QSKIP("ssh would ask on this terminal");
        ssh->forgetHostKey();
    } else if (setup == "other client key") {
        route.identity = ssh->otherKey();
    } else if (setup == "closed SSH port") {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        route.port = QString::number(closed.serverPort());
    } else if (setup == "unknown SSH host") {
        route.host = QStringLiteral("no-such-host.invalid");
    } else {
        QTcpServer closed;  // a port with nothing listening behind it
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    }

    Probe p(route, askpass);
    p.transport->open(QStringLiteral("127.0.0.1"), port);
    QTRY_VERIFY_WITH_TIMEOUT(p.ended(), 20000);
    QVERIFY(p.failed);
    QCOMPARE(int(p.transport->failureKind()), kind);
    QCOMPARE(p.number, 255);
    QVERIFY2(p.transport->sshLastLine().contains(sshSays), qPrintable(p.transport->sshLastLine()));
    // One message naming the SSH host, with ssh's own last line.
    QVERIFY2(p.message.contains(QStringLiteral("SSH host ") + route.host), qPrintable(p.message));
    QVERIFY2(p.message.endsWith(QStringLiteral("ssh said: ") + p.transport->sshLastLine()), qPrintable(p.message));
    QVERIFY(p.data.isEmpty());
    QCOMPARE(sim->connections, 0);
    QVERIFY(sim->receivedBytes.isEmpty());
    if (setup == "unknown host key") {
        // ssh asked through the helper, with its own question and the fingerprint.
        QVERIFY2(ssh->askpassPrompts().contains(QStringLiteral("(yes/no")), qPrintable(ssh->askpassPrompts()));
        QVERIFY(ssh->askpassPrompts().contains(QStringLiteral("fingerprint is SHA256:")));
    }
}

void TestSsh::unusableSettingsNeverStartSsh_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("says");
    QTest::newRow("port not a number") << "127.0.0.1" << "22x" << "" << "the SSH port \"22x\" is not a port number";
    QTest::newRow("port out of range") << "127.0.0.1" << "65536" << "" << "is not a port number";
    QTest::newRow("host an option") << "-oProxyCommand=touch x" << "" << "" << "is not a host name";
    QTest::newRow("host with a line break") << "127.0.0.1\nx" << "" << "" << "is not a host name";
    // ssh hands the host to a shell in its ProxyCommand: nothing there may read as more than a word.
    QTest::newRow("host with a command") << "a;touch${IFS}x" << "" << "" << "is not a host name";
    QTest::newRow("host with a substitution") << "$(id)" << "" << "" << "is not a host name";
    QTest::newRow("user an option") << "127.0.0.1" << "" << "-oX" << "is not a user name";
}

void TestSsh::unusableSettingsNeverStartSsh()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, user);
    QFETCH(QString, says);
    SshRoute route = ssh->route();
    route.host = host;
    route.port = port;
    route.user = user;
    const int loginsBefore = ssh->acceptedLogins();
    Probe p(route);
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QTRY_VERIFY_WITH_TIMEOUT(p.ended(), 5000);
    QCOMPARE(int(p.transport->failureKind()), int(SshTransport::FailureKind::BadRoute));
    QVERIFY2(p.message.contains(says), qPrintable(p.message));
    QVERIFY(!p.connected);
    QCOMPARE(p.transport->device(), nullptr);  // no ssh was started
    QCOMPARE(ssh->acceptedLogins(), loginsBefore);
    QCOMPARE(sim->connections, 0);
}

void TestSsh::missingSshProgram()
{
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toLocal8Bit());
    Probe p(ssh->route());
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    qputenv("PATH", path);
    QTRY_VERIFY_WITH_TIMEOUT(p.ended(), 5000);
    QVERIFY(p.failed);
    QVERIFY(!p.connected);
    QCOMPARE(int(p.transport->failureKind()), int(SshTransport::FailureKind::NoSshProgram));
    QVERIFY2(p.message.startsWith(QStringLiteral("No ssh program could be run")), qPrintable(p.message));
    QVERIFY(p.message.contains(QStringLiteral("SSH host 127.0.0.1")));
    QCOMPARE(sim->connections, 0);
}

void TestSsh::tenConnectionsShareOneSshConnection()
{
    const int loginsBefore = ssh->acceptedLogins();
    for (int i = 0; i < 10; ++i) {
        // A script's connection: the greeting, then this side lets go (the server sees the close).
        Probe p(ssh->route());
        p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
        QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
        QVERIFY2(p.data.startsWith("+00000 "), qPrintable(QString::number(i) + p.message));
        QSignalSpy simClosed(sim, &TazelSim::clientClosed);
        p.transport->release(false);
        QTRY_VERIFY_WITH_TIMEOUT(p.transport.isNull(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(simClosed.count(), 1, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(sim->connections, 10, 5000);
    QCOMPARE(ssh->acceptedLogins() - loginsBefore, 1);
    QVERIFY(ssh->sharedConnectionOpen());
}

void TestSsh::cancelEndsSshAtOnce()
{
    // A control server that never greets: the stream stays open until Cancel.
    sim->faults.silentCommand = QStringLiteral("<greeting>");
    Probe p(ssh->route());
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QTRY_COMPARE_WITH_TIMEOUT(sim->connections, 1, 20000);
    QSignalSpy simClosed(sim, &TazelSim::clientClosed);
    QIODevice* process = p.transport->device();
    QSignalSpy gone(process, &QObject::destroyed);
    p.transport->release(true);
    QVERIFY(!p.transport->isOpen());
    // The process ends and the transport goes with it; the stream to the server closes; nothing is
    // reported after the release.
    QTRY_VERIFY_WITH_TIMEOUT(p.transport.isNull(), 5000);
    QCOMPARE(gone.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(simClosed.count(), 1, 10000);
    QVERIFY(!p.ended());
}

namespace {
// The environment of a running process, one "NAME=value" a line.
QByteArray EnvironmentOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', '\n') : QByteArray();
}

// The process ids whose command lines end with the arguments.
QList<qint64> ProcessesEndingWith(const QList<QByteArray>& tail)
{
    QList<qint64> found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray line = file.readAll();
        if (line.endsWith('\0'))
            line.chop(1);
        const QList<QByteArray> args = line.split('\0');
        if (args.size() > tail.size() && args.mid(args.size() - tail.size()) == tail)
            found << pid.toLongLong();
    }
    return found;
}
}  // namespace

// The search across servers opens a connection to each server at once: on one route the first
// connection is made once (one login, one passphrase question), the others wait and share it.
void TestSsh::eightAtOnceMakeTheFirstConnectionOnce_data()
{
    QTest::addColumn<bool>("relay");
    QTest::newRow("through the relay") << true;
    QTest::newRow("relay turned off") << false;
}

void TestSsh::eightAtOnceMakeTheFirstConnectionOnce()
{
    QFETCH(bool, relay);
    if (!relay)
        qputenv("TAZEL_SSH_RELAY", "no");
    const auto restore = qScopeGuard([] { qunsetenv("TAZEL_SSH_RELAY"); });
    SshRoute route = ssh->route();
    route.identity = ssh->lockedClientKey(ssh->folder() + QStringLiteral("/locked_key"), QStringLiteral("pass phrase"));
    QVERIFY(!route.identity.isEmpty());
    ssh->stopSharedConnection(route);
    QFile::remove(ssh->folder() + QStringLiteral("/prompts"));
    const QString askpass = ssh->writeAskpass(QStringLiteral("pass phrase"));
    const int loginsBefore = ssh->acceptedLogins();
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 8; ++i) {
        probes.push_back(std::make_unique<Probe>(route, askpass));
        probes.back()->transport->open(QStringLiteral("127.0.0.1"), sim->port());
    }
    for (const auto& p : probes) {
        QTRY_VERIFY_WITH_TIMEOUT(p->data.endsWith("\r\n") || p->ended(), 30000);
        QVERIFY2(p->data.startsWith("+00000 "), qPrintable(p->message));
    }
    QCOMPARE(ssh->acceptedLogins() - loginsBefore, 1);
    QCOMPARE(ssh->askpassPrompts().count(QStringLiteral("passphrase")), 1);
    QCOMPARE(sim->connections, 8);
    probes.clear();
    ssh->stopSharedConnection(route);
}

// Each direction of the relay goes on while the other is stalled: ssh not reading what the SSH
// host sends, or the SSH host not reading what ssh sends. Far more than every buffer on the way
// waits in the stalled direction.
void TestSsh::relayDirectionStalledAlone_data()
{
    QTest::addColumn<bool>("hostStalls");
    QTest::newRow("the SSH host stops reading") << true;
    QTest::newRow("ssh stops reading") << false;
}

void TestSsh::relayDirectionStalledAlone()
{
    QFETCH(bool, hostStalls);
    // The stalled direction holds more than its buffers on the way can take, and the flowing one
    // carries far more than a relay taking turns (a pipe's 64 KiB from ssh, then up to 256 KiB
    // from the host) moves before those buffers are full and it blocks.
    const qsizetype stalledBytes = 32 << 20;
    const qsizetype flowingBytes = hostStalls ? 96 << 20 : 16 << 20;
    QTcpServer host;
    QVERIFY(host.listen(QHostAddress::LocalHost));
    int ownStdout[2] = {-1, -1};  // when ssh stalls: the relay's standard output, never read meanwhile
    if (!hostStalls)
        QVERIFY(::pipe2(ownStdout, O_CLOEXEC) == 0);
    const auto closePipe = qScopeGuard([&] {
        for (int fd : ownStdout)
            if (fd >= 0)
                ::close(fd);
    });
    QProcess relay;
    if (!hostStalls) {
        const int writeEnd = ownStdout[1];
        relay.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    }
    relay.start(QStringLiteral(TAZEL_SSHRELAY), {QStringLiteral("127.0.0.1"), QString::number(host.serverPort())});
    QVERIFY(relay.waitForStarted());
    if (!hostStalls) {
        ::close(ownStdout[1]);
        ownStdout[1] = -1;
    }
    QTRY_VERIFY_WITH_TIMEOUT(host.hasPendingConnections(), 10000);
    QTcpSocket* peer = host.nextPendingConnection();
    qsizetype fromRelay = 0;
    qsizetype fromHost = 0;
    if (hostStalls) {
        peer->setReadBufferSize(4096);  // the SSH host takes no more than this
        peer->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        relay.write(QByteArray(stalledBytes, 'u'));
        peer->write(QByteArray(flowingBytes, 'd'));
        connect(&relay, &QProcess::readyReadStandardOutput, this,
                [&] { fromHost += relay.readAllStandardOutput().size(); });
        QTRY_COMPARE_WITH_TIMEOUT(fromHost, flowingBytes, 30000);
        QVERIFY(relay.bytesToWrite() > 0);  // and the other direction is stalled indeed
    } else {
        peer->write(QByteArray(stalledBytes, 'd'));
        relay.write(QByteArray(flowingBytes, 'u'));
        connect(peer, &QTcpSocket::readyRead, this, [&] { fromRelay += peer->readAll().size(); });
        QTRY_COMPARE_WITH_TIMEOUT(fromRelay, flowingBytes, 30000);
        QVERIFY(peer->bytesToWrite() > 0);
    }
    QVERIFY(relay.state() == QProcess::Running);
    relay.kill();
    relay.waitForFinished(5000);
}

// A runtime folder (and so the control socket) and a key file whose names hold a space and
// quotes: handed to ssh quoted and escaped as its configuration syntax reads them.
void TestSsh::runtimeFolderAndKeyWithSpaceAndQuote()
{
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", savedRuntime); });
    // Short: the folder and the socket's name must fit a Unix socket's 107 bytes.
    const QString runtime = ssh->useRuntimeFolder(QStringLiteral("r 'q\""));
    QVERIFY(!runtime.isEmpty());
    SshRoute route = ssh->route();
    route.identity = runtime + QStringLiteral("/key it's \"ours\" 50%");
    QVERIFY(!SshTransport::controlFolder().isEmpty());
    QVERIFY(QFile::copy(ssh->clientKey(), route.identity));
    QVERIFY(QFile::setPermissions(route.identity, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(SshTransport::controlSocket(route).startsWith(runtime));
    const int loginsBefore = ssh->acceptedLogins();
    for (int i = 0; i < 2; ++i) {
        Probe p(route);
        p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
        QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
        QVERIFY2(p.data.startsWith("+00000 "), qPrintable(p.message));
    }
    QCOMPARE(ssh->acceptedLogins() - loginsBefore, 1);  // the second run shared the first's
    QVERIFY(QFileInfo::exists(SshTransport::controlSocket(route)));
    QVERIFY(ssh->sharedConnectionOpen(route));
    ssh->stopSharedConnection(route);
}

// The control server's password for tazelctl never reaches ssh, the relay or askpass (nor the
// shared connection that outlives the run).
void TestSsh::passwordReachesNoChild()
{
    qputenv("TAZEL_PASSWORD", "never-handed-on");
    const auto restore = qScopeGuard([] { qunsetenv("TAZEL_PASSWORD"); });
    SshRoute route = ssh->route();
    route.identity = ssh->lockedClientKey(ssh->folder() + QStringLiteral("/locked_key"), QStringLiteral("pass phrase"));
    QVERIFY(!route.identity.isEmpty());
    ssh->stopSharedConnection(route);
    // The askpass stand-in notes what it was given.
    const QString seen = ssh->folder() + QStringLiteral("/askpass-env");
    QFile::remove(seen);
    const QString askpass = ssh->folder() + QStringLiteral("/askpass-env.sh");
    {
        QFile script(askpass);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nenv > '" + seen.toLocal8Bit() + "'\necho 'pass phrase'\n");
    }
    QVERIFY(QFile::setPermissions(askpass, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    sim->faults.silentCommand = QStringLiteral("<greeting>");  // ssh and the relay stay while we look
    Probe p(route, askpass);
    p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QTRY_COMPARE_WITH_TIMEOUT(sim->connections, 1, 30000);
    QVERIFY(QFileInfo::exists(seen));
    QFile askpassEnv(seen);
    QVERIFY(askpassEnv.open(QIODevice::ReadOnly));
    const QByteArray atAskpass = askpassEnv.readAll();
    QVERIFY(atAskpass.contains("SSH_ASKPASS="));  // the stand-in's environment was noted indeed
    QVERIFY(!atAskpass.contains("TAZEL_PASSWORD"));
    auto* process = qobject_cast<QProcess*>(p.transport->device());
    QVERIFY(process);
    const QByteArray atSsh = EnvironmentOf(process->processId());
    QVERIFY(atSsh.contains("PATH="));
    QVERIFY(!atSsh.contains("TAZEL_PASSWORD"));
    // The relay of this shared connection (and of any that is still ending).
    const QList<qint64> relays = ProcessesEndingWith({"127.0.0.1", QByteArray::number(ssh->port())});
    QVERIFY(!relays.isEmpty());
    for (qint64 relay : relays) {
        const QByteArray atRelay = EnvironmentOf(relay);
        QVERIFY(atRelay.contains("PATH="));
        QVERIFY(!atRelay.contains("TAZEL_PASSWORD"));
    }
    p.transport->release(true);
    ssh->stopSharedConnection(route);
}

// Once a shared connection stands, it keeps a forward for the address in the private control
// folder, and later runs connect to it without starting ssh, but only to a socket that is ours
// alone. The forward goes with the shared connection.
void TestSsh::laterRunsUseTheForwardWithoutSsh_data()
{
    QTest::addColumn<bool>("ownerOnly");
    QTest::newRow("owner-only forward") << true;
    QTest::newRow("forward others may use") << false;
}

void TestSsh::laterRunsUseTheForwardWithoutSsh()
{
    QFETCH(bool, ownerOnly);
    const QString forward = SshTransport::forwardSocket(ssh->route(), QStringLiteral("127.0.0.1"), sim->port());
    QVERIFY(!forward.isEmpty());
    {
        Probe first(ssh->route());
        first.transport->open(QStringLiteral("127.0.0.1"), sim->port());
        QTRY_VERIFY_WITH_TIMEOUT(first.data.endsWith("\r\n") || first.ended(), 20000);
        QVERIFY2(first.data.startsWith("+00000 "), qPrintable(first.message));
        QVERIFY(qobject_cast<QProcess*>(first.transport->device()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(forward), 10000);
    QFileInfo info(forward);
    QCOMPARE(info.ownerId(), ::geteuid());
    if (!ownerOnly)
        QVERIFY(QFile::setPermissions(forward, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                   QFile::WriteGroup));
    const int loginsBefore = ssh->acceptedLogins();
    for (int i = 0; i < 3; ++i) {
        Probe p(ssh->route());
        p.transport->open(QStringLiteral("127.0.0.1"), sim->port());
        QCOMPARE(qobject_cast<QLocalSocket*>(p.transport->device()) != nullptr, ownerOnly);
        QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
        QVERIFY2(p.data.startsWith("+00000 "), qPrintable(p.message));
        p.data.clear();
        p.transport->device()->write(WireLine({"admin", "secret"}) + "\r\n" + WireLine({"domainlist"}) + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n.\r\n") || p.ended(), 20000);
        QSignalSpy simClosed(sim, &TazelSim::clientClosed);
        p.transport->release(false);
        QTRY_COMPARE_WITH_TIMEOUT(simClosed.count(), 1, 10000);
    }
    QCOMPARE(ssh->acceptedLogins(), loginsBefore);
    QCOMPARE(sim->connections, 4);
    // A forward to a server that has since gone fails as a run through ssh does, in ssh's words.
    if (ownerOnly) {
        auto* gone = new TazelSim;
        QVERIFY(gone->listen());
        const quint16 port = gone->port();
        {
            Probe p(ssh->route());
            p.transport->open(QStringLiteral("127.0.0.1"), port);
            QTRY_VERIFY_WITH_TIMEOUT(p.data.endsWith("\r\n") || p.ended(), 20000);
            QVERIFY2(p.data.startsWith("+00000 "), qPrintable(p.message));
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(SshTransport::forwardSocket(ssh->route(), "127.0.0.1", port)), 10000);
        delete gone;
        Probe p(ssh->route());
        p.transport->open(QStringLiteral("127.0.0.1"), port);
        QVERIFY(qobject_cast<QLocalSocket*>(p.transport->device()));
        QTRY_VERIFY_WITH_TIMEOUT(p.ended(), 20000);
        QVERIFY(p.failed);
        QCOMPARE(int(p.transport->failureKind()), int(SshTransport::FailureKind::ForwardRefused));
        QVERIFY2(p.message.endsWith(QStringLiteral("ssh said: ") + p.transport->sshLastLine()), qPrintable(p.message));
    }
    // With the shared connection gone, the forward leads nowhere: the next run shakes hands again.
    ssh->stopSharedConnection();
    Probe after(ssh->route());
    after.transport->open(QStringLiteral("127.0.0.1"), sim->port());
    QVERIFY(qobject_cast<QProcess*>(after.transport->device()));
    QTRY_VERIFY_WITH_TIMEOUT(after.data.endsWith("\r\n") || after.ended(), 20000);
    QVERIFY2(after.data.startsWith("+00000 "), qPrintable(after.message));
    QCOMPARE(ssh->acceptedLogins(), loginsBefore + 1);
}

QTEST_MAIN(TestSsh)
#include "tst_ssh.moc"
