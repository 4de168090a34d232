// The window's scripts through SSH: a real sshd of the test's own in front of the simulated server.
// Clicking through a server, a domain and an account gives the server exactly the requests of the
// plain connection; a refused SSH login is one message naming the server and the SSH host and goes
// to the activity log; Cancel ends the ssh at once.

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTreeView>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "session/ActivityLog.h"
#include "session/ServerSession.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/SshFixture.h"
#include "tests/TestKit.h"
#include "window/ActivityDock.h"
#include "window/frmMain.h"

namespace {
const QString Server = QStringLiteral("server1");
const QString Domain = QStringLiteral("example.com");

// The simulated server with the sample data and one window on it, plainly or through SSH.
struct Browse {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    bool open(const SshRoute& route)
    {
        sim.loadSample();
        if (!sim.listen())
            return false;
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
        if (route.isSet() && !WriteSshRoute(*fx.settings, Server, route))
            return false;
        w = &fx.open();
        w->show();
        return QTest::qWaitForWindowExposed(w);
    }
    void click(const QModelIndex& node)
    {
        w->DomainList->scrollTo(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, w->DomainList->visualRect(node).center());
    }
    bool idle(int ms = 30000)
    {
        return QTest::qWaitFor([this] { return w->Session->DriverIsIdle(); }, ms);
    }
    QModelIndex child(const QModelIndex& parent, const QString& text) const
    {
        for (int i = 0; i < w->DomainModel->rowCount(parent); ++i) {
            const QModelIndex c = w->DomainModel->index(i, 0, parent);
            if (w->NodeText(c) == text)
                return c;
        }
        return {};
    }
    // The server's node, then its domain, then an account of it, each clicked once loaded.
    QString serverDomainAccount()
    {
        click(w->NodeByKey(Server));
        if (!idle() || !w->NodeByKey(frmMain::DomainNodeKey(Server, Domain)).isValid())
            return QStringLiteral("no domains: ") + fx.messages.texts().join('|');
        w->DomainList->expand(w->NodeByKey(Server));
        click(w->NodeByKey(frmMain::DomainNodeKey(Server, Domain)));
        const QModelIndex domain = w->NodeByKey(frmMain::DomainNodeKey(Server, Domain));
        if (!idle() || !child(domain, QStringLiteral("alice")).isValid())
            return QStringLiteral("no accounts: ") + fx.messages.texts().join('|');
        w->DomainList->expand(domain);
        click(child(domain, QStringLiteral("alice")));
        if (!idle())
            return QStringLiteral("the account did not load");
        return QString();
    }
    QStringList treeTexts(const QModelIndex& parent = {}) const
    {
        QStringList out;
        for (int i = 0; i < w->DomainModel->rowCount(parent); ++i) {
            const QModelIndex c = w->DomainModel->index(i, 0, parent);
            out << w->NodeText(c);
            out << treeTexts(c);
        }
        return out;
    }
};
}  // namespace

class TestSshSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void tunnelCarriesThePlainRequests();
    void refusedLoginIsOneMessageAndALogRow();
    void cancelEndsSshAtOnce();
    void tazelctlThroughTheTunnel_data();
    void tazelctlThroughTheTunnel();

private:
    SshFixture* ssh = nullptr;
};

void TestSshSession::initTestCase()
{
    ssh = new SshFixture;
    QString error;
    QVERIFY2(ssh->start(&error), qPrintable(error));
}

void TestSshSession::init()
{
    ssh->stopSharedConnection();
    ssh->trustHostKey();
}

void TestSshSession::cleanupTestCase()
{
    delete ssh;
}

void TestSshSession::tunnelCarriesThePlainRequests()
{
    const int loginsBefore = ssh->acceptedLogins();
    Browse plain;
    QVERIFY(plain.open(SshRoute()));
    const QString plainFault = plain.serverDomainAccount();
    QVERIFY2(plainFault.isEmpty(), qPrintable(plainFault));
    QCOMPARE(ssh->acceptedLogins(), loginsBefore);

    Browse tunnelled;
    QVERIFY(tunnelled.open(ssh->route()));
    const QString fault = tunnelled.serverDomainAccount();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Through the tunnel indeed, on one shared SSH connection for the three scripts.
    QCOMPARE(ssh->acceptedLogins(), loginsBefore + 1);
    QVERIFY(ssh->sharedConnectionOpen());
    QCOMPARE(tunnelled.sim.connections, plain.sim.connections);
    QVERIFY(plain.sim.connections >= 3);

    QVERIFY(plain.sim.received.size() > 6);
    QCOMPARE(tunnelled.sim.received, plain.sim.received);
    QCOMPARE(tunnelled.treeTexts(), plain.treeTexts());
    QCOMPARE(tunnelled.fx.messages.texts(), QStringList());
    QCOMPARE(tunnelled.w->Session->AccountName, QString("alice"));
}

void TestSshSession::refusedLoginIsOneMessageAndALogRow()
{
    SshRoute route = ssh->route();
    route.identity = ssh->otherKey();
    Browse b;
    QVERIFY(b.open(route));
    b.click(b.w->NodeByKey(Server));
    QTRY_VERIFY_WITH_TIMEOUT(b.w->Session->DriverIsIdle() && !b.fx.messages.messages.isEmpty(), 30000);
    QCOMPARE(b.fx.messages.texts().size(), 1);
    const QString text = b.fx.messages.texts().first();
    QVERIFY2(text.startsWith("The server sim could not be reached through SSH host 127.0.0.1. The SSH host "
                             "127.0.0.1 refused the login; ssh said: "),
             qPrintable(text));
    QVERIFY2(text.endsWith("Permission denied (publickey)."), qPrintable(text));
    QCOMPARE(b.sim.connections, 0);
    // The activity log's row of the script says so too.
    ActivityLog* log = b.w->Activity;
    QVERIFY(log->rowCount() >= 1);
    const QString outcome = log->text(log->rowCount() - 1, ActivityLog::OutcomeColumn);
    QVERIFY2(outcome.contains("refused the login"), qPrintable(outcome));
}

void TestSshSession::cancelEndsSshAtOnce()
{
    Browse b;
    b.sim.faults.silentCommand = QStringLiteral("<greeting>");  // the script waits for ever
    QVERIFY(b.open(ssh->route()));
    QSignalSpy closed(&b.sim, &TazelSim::clientClosed);
    b.click(b.w->NodeByKey(Server));
    QTRY_COMPARE_WITH_TIMEOUT(b.sim.connections, 1, 30000);
    QVERIFY(b.w->Busy->cancelButton()->isVisible());
    QTest::mouseClick(b.w->Busy->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(b.w->Session->DriverIsIdle(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 10000);  // the ssh ended, and the stream with it
    QCOMPARE(b.fx.messages.texts(), QStringList());       // a cancel raises no message
    QVERIFY(b.sim.received.isEmpty());
}

QTEST_MAIN(TestSshSession)
#include "tst_sshsession.moc"

// tazelctl on a stored server reached through SSH: the same rows and requests as a plain one; with
// no terminal for ssh to ask on, an unknown host key fails with 69 and ssh's own words.
void TestSshSession::tazelctlThroughTheTunnel_data()
{
    QTest::addColumn<bool>("knownHost");
    QTest::newRow("known host key") << true;
    QTest::newRow("unknown host key, no terminal") << false;
}

void TestSshSession::tazelctlThroughTheTunnel()
{
    QFETCH(bool, knownHost);
    if (!knownHost)
        ssh->forgetHostKey();
    TazelSim sim;
    sim.loadSample();
    QVERIFY(sim.listen());
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("config"));
    {
        QSettings store(config + QStringLiteral("/Tazel Administrator/Tazel Administrator.conf"), QSettings::IniFormat);
        WriteServerRecord(store, ServerSection(1), {QStringLiteral("tunnelled"), QStringLiteral("127.0.0.1"),
                                                    QString::number(sim.port()), QStringLiteral("admin"),
                                                    QStringLiteral("secret")});
        WriteSetting(store, Store::ServersSection, Store::ServerCountKey, QStringLiteral("1"));
        WriteSshRoute(store, ServerSection(1), ssh->route());
    }
    const int loginsBefore = ssh->acceptedLogins();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();  // the fixture's ssh first on PATH
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("TAZEL_JOURNAL"), home.filePath(QStringLiteral("journal.jsonl")));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(TAZELCTL_PATH), {QStringLiteral("-s"), QStringLiteral("tunnelled"), QStringLiteral("domain"),
                                             QStringLiteral("list"), QStringLiteral("-o"), QStringLiteral("tab")});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 60000);  // the simulator answers meanwhile
    const QByteArray out = p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();
    if (knownHost) {
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(out, QByteArray("name\tkind\nexample.com\tdomain\nexample.org\tdomain\n"
                                 "lists.example.net\tcustom\n"));
        QCOMPARE(sim.connections, 1);
        QCOMPARE(sim.received.size(), 3);  // the login, "domainlist", "custdomlist"
        QVERIFY(sim.received.at(1).startsWith("\"domainlist\""));
        QCOMPARE(ssh->acceptedLogins(), loginsBefore + 1);  // through the tunnel indeed
    } else {
        QCOMPARE(p.exitCode(), 69);
        QCOMPARE(out, QByteArray());
        QVERIFY2(err.contains("through SSH host 127.0.0.1") && err.contains("ssh said:"), err.constData());
        QCOMPARE(sim.connections, 0);
    }
}
