// The control connection through SSH against a real sshd of the test's own, forwarding to the
// simulated server: the stream, the refusals by kind, the shared connection and Cancel.

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "engine/SshTransport.h"
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
    ~Probe()
    {
        if (transport)
            transport->release(true);
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
    void refusedByKind_data();
    void refusedByKind();
    void unusableSettingsNeverStartSsh_data();
    void unusableSettingsNeverStartSsh();
    void missingSshProgram();
    void tenConnectionsShareOneSshConnection();
    void cancelEndsSshAtOnce();

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
    QVERIFY2(p.message.contains(QStringLiteral("SSH host 127.0.0.1")), qPrintable(p.message));
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

QTEST_MAIN(TestSsh)
#include "tst_ssh.moc"
