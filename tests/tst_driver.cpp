// The script driver and the reply reader against the simulated server on loopback.

#include <QCheckBox>
#include <QLabel>
#include <QTcpServer>
#include <QtTest>

#include "session/CommandQueue.h"
#include "protocol/Protocol.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

using namespace Pseudo;

namespace {

const QString Key = QStringLiteral("server1");

// A window with one server record pointing at the simulator.
struct Bench {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    Bench()
    {
        sim.listen();
        SimDomain d;
        d.name = QStringLiteral("example.com");
        SimAccount bob;
        bob.name = QStringLiteral("bob");
        bob.password = QStringLiteral("pw");
        bob.kind = QStringLiteral("U");
        d.accounts << bob;
        sim.state.domains << d;
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
    }
    frmMain& open()
    {
        w = &fx.open();
        return *w;
    }
    // Queues one script: optional "<%required%>", connect, login, the given steps, "<%quit%>".
    void queue(const QList<QStringList>& steps, bool required = true)
    {
        w->QueueScriptHead(Key, required);
        for (const QStringList& step : steps) {
            w->Session->QueueCommand(step.first());
            for (qsizetype i = 1; i < step.size(); ++i)
                w->Session->QueueArgument(step.at(i));
        }
        w->Session->QueueCommand(Quit);
    }
    QList<QByteArray> commandsSent() const
    {
        // The request lines without the login lines.
        QList<QByteArray> out;
        for (const QByteArray& line : sim.received)
            if (!line.startsWith("\"admin\""))
                out << line;
        return out;
    }
    int loginsSent() const
    {
        int n = 0;
        for (const QByteArray& line : sim.received)
            n += line.startsWith("\"admin\"") ? 1 : 0;
        return n;
    }
};

QByteArray Line(const QString& word, const QStringList& args = {})
{
    QByteArray l = *ComposeRequest(word, args);
    l.chop(2);
    return l;
}

}  // namespace

class TestDriver : public QObject {
    Q_OBJECT
private slots:
    void scriptRunsEndToEnd();
    void loginForm_data();
    void loginForm();
    void errorReplyAbandonsScript();
    void errorRowsOfTheirOwn();
    void optionalScriptGivesWay();
    void requiredScriptRunsInFull();
    void failureSkipsEveryScriptToItsQuit();
    void refusedConnection();
    void serverCloseAbandonsWithoutMessage();
    void repliesInPieces_data();
    void repliesInPieces();
    void oddReplies_data();
    void oddReplies();
    void longListAndLongLine();
    void oldServerTakesThreeMemberArguments();
    void partialLineOfPreviousConnectionIsDropped();
    void lateReplyDrivesNothing();
    void longScriptsDoNotNest();
    void unsendableValueNeverReachesTheWire();
    void windowClosedMidScript();
    void silentServerDoesNotHoldTheQueue();
};

void TestDriver::scriptRunsEndToEnd()
{
    Bench b;
    frmMain& w = b.open();
    QSignalSpy status(&w, &frmMain::StatusTextChanged);
    b.queue({{DomainAdd, "new.com"}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());

    const QByteArray md5 = MD5Hex(b.sim.timestamp + "secret").toLatin1();
    QCOMPARE(b.sim.receivedBytes, QByteArray("\"admin\"\t\"#" + md5 + "\"\r\n\"domainadd\"\t\"new.com\"\r\n"));
    QVERIFY(b.sim.state.domain("new.com"));
    // The action's outcome follows "Ready" in the first panel; the second keeps the greeting's.
    QCOMPARE(w.StatusPanel1->text(), QStringLiteral("(unnamed action): done"));
    QCOMPARE(w.StatusPanel2->text(), QStringLiteral("Tazel 0.70 (Linux) "));
    QStringList texts;
    for (const auto& args : status)
        texts << args.at(0).toString();
    QCOMPARE(texts.first(), QStringLiteral("Connecting to 127.0.0.1..."));
    QVERIFY(texts.contains("Authenticating Administrator using MD5..."));
    QCOMPARE(texts.mid(texts.size() - 3), (QStringList{"Closeing connection...", "Ready", "(unnamed action): done"}));
    QVERIFY(b.fx.messages.messages.isEmpty());
    QVERIFY(!w.Session->ScriptAborted && !w.Session->ScriptRequired);
}

void TestDriver::loginForm_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<bool>("md5");
    QTest::newRow("0.66 with timestamp") << "0.66" << "<1.2@sim>" << true;
    QTest::newRow("0.65 with timestamp") << "0.65" << "<1.2@sim>" << false;
    QTest::newRow("1.0 without timestamp") << "1.0" << "" << false;
}

void TestDriver::loginForm()
{
    QFETCH(QString, version);
    QFETCH(QString, timestamp);
    QFETCH(bool, md5);
    Bench b;
    b.sim.version = version;
    b.sim.timestamp = timestamp;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    const QByteArray expected =
        md5 ? "\"admin\"\t\"#" + MD5Hex(timestamp + "secret").toLatin1() + "\"" : QByteArray("\"admin\"\t\"secret\"");
    QCOMPARE(b.sim.received.value(0), expected);
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("domainlist")}));
    QVERIFY(b.fx.messages.messages.isEmpty());  // the server accepted the login
}

void TestDriver::errorReplyAbandonsScript()
{
    Bench b;
    b.sim.faults.refuseCommand = QStringLiteral("domainadd");
    frmMain& w = b.open();
    b.queue({{DomainAdd, "new.com"}, {Pseudo::DomainList}});
    w.Session->StartQueue();
    b.queue({{CustDomList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());

    QCOMPARE(b.fx.messages.messages.size(), 1);
    const RecordedMessage m = b.fx.messages.messages.first();
    QVERIFY2(m.text.startsWith("Error response durring 'domainadd'\r\n\r\n-"), qPrintable(m.text));
    QCOMPARE(m.title, QStringLiteral("Tazel Administrator"));
    QVERIFY(!m.question);
    // The rest of the first script is dropped; the next script runs in full.
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("domainadd", {"new.com"}), Line("custdomlist")}));
    QCOMPARE(b.loginsSent(), 2);
}

void TestDriver::errorRowsOfTheirOwn()
{
    // A refused link switch is ignored; a missing mail-processing file means local storage.
    Bench b;
    b.sim.faults.refuseCommand = QStringLiteral("poplnkenable");
    frmMain& w = b.open();
    w.chkMailbox->setChecked(false);
    b.queue({{Pop3Enable, "1", "example.com", "bob", "pop.x", "u"},
             {UserGetMproc, "example.com", "bob"},
             {Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    QVERIFY(w.chkMailbox->isChecked());
    QCOMPARE(b.commandsSent().size(), 3);
    QCOMPARE(b.commandsSent().last(), Line("domainlist"));
}

void TestDriver::optionalScriptGivesWay()
{
    Bench b;
    b.sim.faults.delayMs = 20;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}, {CustDomList}}, false);
    w.Session->StartQueue();                   // connects and waits for the greeting
    b.queue({{UserList, "example.com"}}, true);
    w.Session->StartQueue();                   // two scripts queued: only appended
    QTRY_VERIFY(w.Session->DriverIsIdle());
    // The first script was already connected: it still logged in, then gave way at its next step.
    QCOMPARE(b.loginsSent(), 2);
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("userlist", {"example.com"})}));
    QVERIFY(b.fx.messages.messages.isEmpty());
}

void TestDriver::requiredScriptRunsInFull()
{
    Bench b;
    b.sim.faults.delayMs = 20;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}, {CustDomList}}, true);
    w.Session->StartQueue();
    b.queue({{UserList, "example.com"}}, false);
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(b.commandsSent(),
             (QList<QByteArray>{Line("domainlist"), Line("custdomlist"), Line("userlist", {"example.com"})}));
}

void TestDriver::failureSkipsEveryScriptToItsQuit()
{
    Bench b;
    b.sim.adminPassword = QStringLiteral("other");  // every login is refused
    frmMain& w = b.open();
    b.queue({{DomainAdd, "a.com"}}, true);
    w.Session->StartQueue();
    b.queue({{DomainAdd, "b.com"}}, true);
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.commandsSent().isEmpty());
    QCOMPARE(b.loginsSent(), 2);
    QCOMPARE(b.fx.messages.messages.size(), 2);
    QVERIFY(b.fx.messages.messages.at(0).text.startsWith("Error response durring 'administrator login'"));
    QVERIFY(!w.Session->ScriptAborted);
}

void TestDriver::refusedConnection()
{
    Bench b;
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    b.fx.addServerRecord(2, QStringLiteral("gone"), QStringLiteral("127.0.0.1"), closedPort);
    frmMain& w = b.open();
    w.QueueScriptHead(QStringLiteral("server2"), true);
    w.Session->QueueCommand(DomainAdd);
    w.Session->QueueArgument(QStringLiteral("lost.com"));
    w.Session->QueueCommand(Quit);
    w.Session->StartQueue();
    b.queue({{CustDomList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(b.fx.messages.messages.size(), 1);
    const QString text = b.fx.messages.messages.first().text;
    QVERIFY2(text.startsWith("TCP Error: ") && text.endsWith(" (10061)"), qPrintable(text));
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("custdomlist")}));
}

void TestDriver::serverCloseAbandonsWithoutMessage()
{
    Bench b;
    b.sim.faults.closeOnCommand = QStringLiteral("domainlist");
    b.sim.faults.closeAfterBytes = 0;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}, {CustDomList}});
    w.Session->StartQueue();
    b.queue({{UserList, "example.com"}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    // custdomlist was dropped with the rest of the first script; our own close after the second
    // script's end aborted nothing.
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("domainlist"), Line("userlist", {"example.com"})}));
    QCOMPARE(w.Session->UserEntries.size(), 1);
    QVERIFY(!w.Session->ScriptAborted);
}

void TestDriver::repliesInPieces_data()
{
    QTest::addColumn<int>("chunkSize");
    QTest::addColumn<int>("splitAt");
    QTest::newRow("one byte at a time") << 1 << -1;
    QTest::newRow("three bytes at a time") << 3 << -1;
    for (int at = 1; at < 12; ++at)
        QTest::newRow(qPrintable(QStringLiteral("split at %1").arg(at))) << 0 << at;
}

void TestDriver::repliesInPieces()
{
    QFETCH(int, chunkSize);
    QFETCH(int, splitAt);
    Bench b;
    b.sim.state.domains << SimDomain{QStringLiteral("b.org"), {}};
    b.sim.faults.chunkSize = chunkSize;
    b.sim.faults.splitAt = splitAt;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    QCOMPARE(w.Session->DomainNames, (QStringList{"example.com", "b.org"}));
    QCOMPARE(w.StatusPanel2->text(), QStringLiteral("Tazel 0.70 (Linux) "));
}

void TestDriver::oddReplies_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("domains");
    QTest::newRow("lone LF inside a line") << "domainlist" << QByteArray("+OK\r\n\"a\nb\"\r\n\"c\"\r\n.\r\n")
                                           << QStringList{"a\nb", "c"};
    QTest::newRow("empty line and second +") << "domainlist" << QByteArray("+OK\r\n\r\n+again\r\n\"c\"\r\n.\r\n")
                                             << QStringList{"c"};
    // A line that arrives with the greeting, ahead of the login, answers no request: it is dropped
    // when the login goes out, and the login's own reply is read.
    QTest::newRow("a line ahead of its request")
        << "<greeting>" << QByteArray("+00000 <1896.697170952@sim.tazel> Tazel 0.70 (Linux) ready\r\n+00000 OK\r\n")
        << QStringList{"example.com"};
}

void TestDriver::oddReplies()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, domains);
    Bench b;
    b.sim.faults.scriptedReplies.insert(command, reply);
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    QCOMPARE(w.Session->DomainNames, domains);
}

void TestDriver::longListAndLongLine()
{
    Bench b;
    const QString longName(100000, QLatin1Char('x'));
    b.sim.state.domains << SimDomain{longName, {}};
    b.sim.state.addBulkAccounts(QStringLiteral("big.com"), 100000);
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}, {UserList, "big.com"}});
    w.Session->StartQueue();
    QTRY_VERIFY_WITH_TIMEOUT(w.Session->DriverIsIdle(), 60000);
    QVERIFY(b.fx.messages.messages.isEmpty());
    QVERIFY(w.Session->DomainNames.contains(longName));
    QCOMPARE(w.Session->UserEntries.size(), 100000);
}

void TestDriver::oldServerTakesThreeMemberArguments()
{
    Bench b;
    b.sim.version = QStringLiteral("0.63");
    SimAccount list;
    list.name = QStringLiteral("staff");
    list.kind = QStringLiteral("M");
    b.sim.state.domain("example.com")->accounts << list;
    frmMain& w = b.open();
    b.queue({{MlUserAdd, "example.com", "staff", "ann@x.org", "R"}, {Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    QCOMPARE(b.commandsSent(),
             (QList<QByteArray>{Line("mluseradd", {"example.com", "staff", "ann@x.org"}), Line("domainlist")}));
}

void TestDriver::partialLineOfPreviousConnectionIsDropped()
{
    // The first connection leaves half a line behind; the next greeting must be read as sent, or
    // its timestamp would be wrong and the MD5 login refused.
    Bench b;
    b.sim.faults.scriptedReplies.insert(QStringLiteral("domainlist"), QByteArray("+OK\r\n.\r\n<left over"));
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    b.queue({{CustDomList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.fx.messages.messages.isEmpty());
    QCOMPARE(w.Session->GreetingTimestamp, b.sim.timestamp);
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("domainlist"), Line("custdomlist")}));
}

void TestDriver::lateReplyDrivesNothing()
{
    Bench b;
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    const int connections = b.sim.connections;
    // A script waits in the queue without having been started; a stray "+" must not start it.
    b.queue({{CustDomList}});
    w.Session->ReplyBuffer.append("+00000 OK\r\n-00001 late\r\n");
    w.Session->ReadReplyLines();
    QCoreApplication::processEvents();
    QCOMPARE(b.sim.connections, connections);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(w.Session->CountScripts(), 1);
    QVERIFY(b.fx.messages.messages.isEmpty());
}

void TestDriver::longScriptsDoNotNest()
{
    // Long runs of local steps, and long runs of entries skipped after a failure, run in a loop.
    Bench b;
    b.sim.adminPassword = QStringLiteral("other");
    frmMain& w = b.open();
    w.QueueScriptHead(Key, true);
    for (int i = 0; i < 200000; ++i) {
        w.Session->QueueCommand(DomainAdd);
        w.Session->QueueArgument(QStringLiteral("d%1.com").arg(i));
    }
    w.Session->QueueCommand(Quit);
    w.Session->StartQueue();
    w.Session->QueueCommand(Required);
    for (int i = 0; i < 200000; ++i)
        w.Session->QueueCommand(ShowDomainProperties);
    w.Session->QueueCommand(Quit);
    w.Session->StartQueue();  // waits behind the first
    QTRY_VERIFY_WITH_TIMEOUT(w.Session->DriverIsIdle(), 30000);
    QVERIFY(b.commandsSent().isEmpty());
    QCOMPARE(w.Session->CountScripts(), 0);
    QVERIFY(w.Session->lstCommand.isEmpty());
}

void TestDriver::unsendableValueNeverReachesTheWire()
{
    // The composer refuses a value that would inject a further command line.
    Bench b;
    frmMain& w = b.open();
    b.queue({{UserPasswd, "example.com", "bob", "pw\r\n\"domaindel\"\t\"example.com\""}, {Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(b.commandsSent().isEmpty());
    QVERIFY(b.sim.state.domain("example.com"));
    QCOMPARE(b.fx.messages.messages.size(), 1);
    QVERIFY(b.fx.messages.messages.first().text.contains("userpasswd"));
}

void TestDriver::windowClosedMidScript()
{
    // A script still waiting for its reply ends with the window; the connection's end reaches no
    // half-destroyed window.
    Bench b;
    b.sim.faults.silentCommand = QStringLiteral("domainlist");
    frmMain& w = b.open();
    b.queue({{Pseudo::DomainList}});
    w.Session->StartQueue();
    QTRY_VERIFY(b.sim.received.contains(Line("domainlist")));
    QSignalSpy closed(&b.sim, &TazelSim::clientClosed);
    b.fx.window.reset();
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(b.fx.messages.messages.isEmpty());
}

void TestDriver::silentServerDoesNotHoldTheQueue()
{
    // A server that never answers: after a while without a byte the script is abandoned with a
    // message and the next one runs. A reply that keeps arriving slowly is no silent server.
    Bench b;
    b.sim.faults.silentCommand = QStringLiteral("domainlist");
    frmMain& w = b.open();
    w.Session->ReplyTimeoutMs = 300;
    b.queue({{Pseudo::DomainList}, {CustDomList}});
    w.Session->StartQueue();
    b.queue({{UserList, "example.com"}});
    w.Session->StartQueue();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(b.fx.messages.messages.size(), 1);
    // The message names the server (name, host, port) and the action.
    QCOMPARE(b.fx.messages.messages.first().text,
             QString("The server sim (127.0.0.1, port %1) did not answer for 0.3 seconds while this action "
                     "ran: (unnamed). The connection was closed and the rest of the action was abandoned.")
                 .arg(b.sim.port()));
    QCOMPARE(b.commandsSent(), (QList<QByteArray>{Line("domainlist"), Line("userlist", {"example.com"})}));

    b.sim.faults.silentCommand.clear();
    b.sim.faults.chunkSize = 1;  // each byte 1 ms apart: slower in all than the time-out
    b.sim.state.addBulkAccounts(QStringLiteral("slow.com"), 3);
    b.fx.messages.messages.clear();
    b.queue({{UserList, "slow.com"}});
    w.Session->StartQueue();
    QTRY_VERIFY_WITH_TIMEOUT(w.Session->DriverIsIdle(), 20000);
    QVERIFY(b.fx.messages.messages.isEmpty());
    QCOMPARE(w.Session->UserEntries.size(), 3);
}

QTEST_MAIN(TestDriver)
#include "tst_driver.moc"
