// The simulated server: login, a list and an upload over a real socket, the replies and refusals of
// its commands, the faults it can be told to show, the recorder and its data file.

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "protocol/Protocol.h"
#include "sim/SimCommands.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"

// A bare client: keeps every chunk it reads apart, so tests see how the bytes arrived.
class Client {
public:
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            const QByteArray chunk = socket.readAll();
            chunks.append(chunk);
            data += chunk;
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    void send(const QStringList& fields)
    {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << QuoteField(f);
        socket.write(Wire::encode(quoted.join(QLatin1Char('\t'))) + "\r\n");
    }
    void sendRaw(const QByteArray& bytes) { socket.write(bytes); }
    void clear()
    {
        data.clear();
        chunks.clear();
    }

    QTcpSocket socket;
    QByteArray data;
    QList<QByteArray> chunks;
    bool closed = false;
};

static const QByteArray kGreeting = "+00000 <1896.697170952@sim.tazel> Tazel 0.70 (Linux) CTRL Server ready\r\n";

class TestSim : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void greetings_data();
    void greetings();
    void logins_data();
    void logins();
    void commandsBeforeLoginAreRefused();
    void listReplyOverSocket();
    void uploadsOverSocket();
    void commandReplies_data();
    void commandReplies();
    void removingDomainTakesItsAccounts();

    void delayHoldsEachReply();
    void chunksArriveSeparately();
    void splitAtGivenOffset();
    void closeAfterBytes_data();
    void closeAfterBytes();
    void refuseCommand();
    void malformedDataLine_data();
    void malformedDataLine();
    void malformedLinesOfChoice();
    void minusInsideReply_data();
    void minusInsideReply();
    void silentCommand();
    void scriptedReplies();
    void clientClosingAtAnyMoment_data();
    void clientClosingAtAnyMoment();

    void recorderKeepsExactBytes();
    void dataFileRoundTrip();
    void dataFileErrors_data();
    void dataFileErrors();
    void bulkAccounts();
    void programSavesOnTerminate();
    void programWritesSettings();
    void programRefusesABadDelay();

private:
    // Connects, reads the greeting and logs in with the plain form.
    void login(Client& c);
    std::unique_ptr<TazelSim> sim;
};

void TestSim::init()
{
    sim = std::make_unique<TazelSim>();
    sim->loadSample();
    QVERIFY(sim->listen());
    QVERIFY(sim->port() != 0);
}

void TestSim::cleanup()
{
    sim.reset();
}

void TestSim::login(Client& c)
{
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    c.clear();
    c.send({sim->adminLogin, sim->adminPassword});
    QTRY_COMPARE(c.data, SimReply::Ok);
    c.clear();
}

void TestSim::greetings_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QByteArray>("greeting");
    QTest::newRow("everything") << "0.70" << "<1.2@x>" << "(Linux)"
                                << QByteArray("+00000 <1.2@x> Tazel 0.70 (Linux) CTRL Server ready\r\n");
    QTest::newRow("no timestamp") << "0.65" << "" << "(Linux)"
                                  << QByteArray("+00000 Tazel 0.65 (Linux) CTRL Server ready\r\n");
    QTest::newRow("no platform") << "0.70" << "<1.2@x>" << ""
                                 << QByteArray("+00000 <1.2@x> Tazel 0.70 CTRL Server ready\r\n");
}

void TestSim::greetings()
{
    QFETCH(QString, version);
    QFETCH(QString, timestamp);
    QFETCH(QString, platform);
    QFETCH(QByteArray, greeting);
    sim->version = version;
    sim->timestamp = timestamp;
    sim->platform = platform;
    Client c(sim->port());
    QTRY_COMPARE(c.data, greeting);
    // What the program reads from it.
    const Greeting g = ParseGreeting(Wire::decode(greeting.chopped(2)));
    QCOMPARE(g.version, version.toDouble());
    QCOMPARE(g.timestamp, timestamp);
}

void TestSim::logins_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<bool>("accepted");
    const QString ts = QStringLiteral("<1896.697170952@sim.tazel>");
    const QString md5 = MD5Hex(ts + "secret");
    QTest::newRow("md5 form") << "0.70" << ts << QStringList{"admin", "#" + md5} << true;
    QTest::newRow("md5 form, upper-case hex") << "0.70" << ts << QStringList{"admin", "#" + md5.toUpper()} << true;
    QTest::newRow("plain form") << "0.70" << ts << QStringList{"admin", "secret"} << true;
    QTest::newRow("plain form, no timestamp") << "0.70" << "" << QStringList{"admin", "secret"} << true;
    QTest::newRow("wrong password") << "0.70" << ts << QStringList{"admin", "secreT"} << false;
    QTest::newRow("md5 of the wrong password") << "0.70" << ts << QStringList{"admin", "#" + MD5Hex(ts + "x")} << false;
    QTest::newRow("wrong login") << "0.70" << ts << QStringList{"root", "secret"} << false;
    QTest::newRow("md5 without the hash") << "0.70" << ts << QStringList{"admin", md5} << false;
    QTest::newRow("md5 on a server before 0.66") << "0.65" << ts << QStringList{"admin", "#" + md5} << false;
    QTest::newRow("md5 with no timestamp offered") << "0.70" << "" << QStringList{"admin", "#" + MD5Hex("secret")}
                                                   << false;
    QTest::newRow("extra field") << "0.70" << ts << QStringList{"admin", "secret", "x"} << false;
}

void TestSim::logins()
{
    QFETCH(QString, version);
    QFETCH(QString, timestamp);
    QFETCH(QStringList, line);
    QFETCH(bool, accepted);
    sim->version = version;
    sim->timestamp = timestamp;
    Client c(sim->port());
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    c.clear();
    c.send(line);
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    QCOMPARE(c.data, accepted ? SimReply::Ok : SimReply::LoginFailed);
    // Only a logged-in administrator gets answers.
    c.clear();
    c.send({"domainlist"});
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    QCOMPARE(c.data.startsWith('+'), accepted);
}

void TestSim::commandsBeforeLoginAreRefused()
{
    Client c(sim->port());
    QTRY_COMPARE(c.data, kGreeting);
    c.clear();
    c.send({"domainadd", "x.example"});
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    QVERIFY(c.data.startsWith('-'));
    QVERIFY(!sim->state.domain("x.example"));
    // The connection stays usable for a proper login.
    c.clear();
    c.send({"admin", "secret"});
    QTRY_COMPARE(c.data, SimReply::Ok);
}

void TestSim::listReplyOverSocket()
{
    Client c(sim->port());
    login(c);
    c.send({"userlist", "EXAMPLE.ORG"});
    QTRY_VERIFY(c.data.endsWith(".\r\n"));
    QCOMPARE(c.data, QByteArray("+00000 OK\r\n"
                                "\"example.org\"\t\"carol\"\t\"singer\"\t\"U\"\r\n"
                                "\"example.org\"\t\"dave\"\t\"diver\"\t\"U\"\r\n"
                                ".\r\n"));
}

void TestSim::uploadsOverSocket()
{
    Client c(sim->port());
    login(c);
    c.send({"custdomset", "new.example"});
    QTRY_COMPARE(c.data, SimReply::GoAhead);
    c.clear();
    c.sendRaw("\"redirect\"\t\"a@b.example\"\r\n\"wait\"\t\"5\"\r\n.\r\n");
    QTRY_COMPARE(c.data, SimReply::Ok);
    QCOMPARE(sim->state.customDomains.value("new.example"), QString("\"redirect\"\t\"a@b.example\"\r\n\"wait\"\t\"5\"\r\n"));

    // Read back, then emptied: an empty body removes the custom domain.
    c.clear();
    c.send({"custdomget", "New.Example"});
    QTRY_VERIFY(c.data.endsWith(".\r\n"));
    QCOMPARE(c.data, QByteArray("+00000 OK\r\n\"redirect\"\t\"a@b.example\"\r\n\"wait\"\t\"5\"\r\n.\r\n"));
    c.clear();
    c.send({"custdomset", "NEW.example"});
    QTRY_COMPARE(c.data, SimReply::GoAhead);
    c.clear();
    c.sendRaw(".\r\n");
    QTRY_COMPARE(c.data, SimReply::Ok);
    QVERIFY(!sim->state.customDomains.contains("new.example"));

    // The mail-processing file of an account that has none yet.
    c.clear();
    c.send({"usersetmproc", "example.com", "bob"});
    QTRY_COMPARE(c.data, SimReply::GoAhead);
    c.clear();
    c.sendRaw("\"mailbox\"\r\n.\r\n");
    QTRY_COMPARE(c.data, SimReply::Ok);
    const SimAccount* bob = sim->state.account("example.com", "bob");
    QVERIFY(bob->hasMailproc);
    QCOMPARE(bob->mailproc, QString("\"mailbox\"\r\n"));
}

void TestSim::commandReplies_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray ok = SimReply::Ok;
    QTest::addColumn<bool>("changes");
    auto row = [](const char* name, const QStringList& request, const QByteArray& reply,
                  const char* version = "0.70", bool changes = true) {
        // Refusals and reads change nothing.
        changes = changes && !reply.startsWith('-') && !IsSimListCommand(request[0]);
        QTest::newRow(name) << QString(version) << request << reply << changes;
    };
    // Lists and files.
    row("domainlist", {"domainlist"}, "+00000 OK\r\n\"example.com\"\r\n\"example.org\"\r\n.\r\n");
    row("custdomlist", {"custdomlist"}, "+00000 OK\r\n\"lists.example.net\"\r\n.\r\n");
    row("one account", {"userlist", "example.com", "NEWS"},
        "+00000 OK\r\n\"example.com\"\t\"news\"\t\"newsletter\"\t\"M\"\r\n.\r\n");
    row("members", {"mluserlist", "example.com", "news"},
        "+00000 OK\r\n\"alice@example.com\"\t\"RW\"\r\n\"bob@example.com\"\t\"R\"\r\n"
        "\"carol@example.org\"\t\"R\"\r\n.\r\n");
    row("aliases of one account", {"aliaslist", "example.com", "*", "alice"},
        "+00000 OK\r\n\"example.com\"\t\"ali\"\t\"alice\"\r\n.\r\n");
    row("aliases of an address anywhere", {"aliaslist", "*", "*", "alice@example.com"},
        "+00000 OK\r\n\"example.com\"\t\"wonder\"\t\"alice@example.com\"\r\n"
        "\"example.org\"\t\"alice\"\t\"alice@example.com\"\r\n.\r\n");
    row("aliases by pattern", {"aliaslist", "example.com", "a*", "*"},
        "+00000 OK\r\n\"example.com\"\t\"ali\"\t\"alice\"\r\n\"example.com\"\t\"abuse\"\t\"postmaster\"\r\n.\r\n");
    row("aliases of an unknown domain", {"aliaslist", "nowhere.example", "*", "*"}, "+00000 OK\r\n.\r\n");
    row("variables", {"uservars", "example.com", "bob"}, "+00000 OK\r\n\"RealName\"\t\"Bob Builder\"\r\n.\r\n");
    row("mailproc.tab", {"usergetmproc", "example.org", "dave"},
        "+00000 OK\r\n\"lredirect\"\t\"carol@example.org\"\r\n.\r\n");
    row("custom domain file", {"custdomget", "lists.example.net"},
        "+00000 OK\r\n\"redirect\"\t\"news@example.com\"\r\n"
        "\"lredirect\"\t\"bob@example.com\"\t\"carol@example.org\"\r\n\"wait\"\t\"5\"\r\n.\r\n");
    row("POP3 links", {"poplnklist", "example.com", "alice"},
        "+00000 OK\r\n\"example.com\"\t\"alice\"\t\"pop.example.net\"\t\"alice.remote\"\t\"remotepw\"\t\"APOP\"\t\"1\"\r\n"
        ".\r\n");
    // Changes.
    row("domainadd", {"domainadd", "new.example"}, ok);
    row("useradd", {"useradd", "example.org", "erin", "pw", "U"}, ok);
    row("useradd of a list", {"useradd", "example.org", "talk", "pw", "m"}, ok);
    row("userdel", {"userdel", "example.com", "BOB"}, ok);
    row("userpasswd", {"userpasswd", "example.com", "bob", "new"}, ok);
    row("mluseradd", {"mluseradd", "example.com", "news", "x@y.example", "R"}, ok);
    row("mluseradd, three arguments on 0.63", {"mluseradd", "example.com", "news", "x@y.example"}, ok, "0.63");
    row("mluserdel", {"mluserdel", "example.com", "news", "BOB@example.com"}, ok);
    row("aliasadd", {"aliasadd", "example.com", "bobby", "bob@example.com"}, ok);
    row("aliasdel", {"aliasdel", "example.com", "ALI"}, ok);
    row("uservarsset", {"uservarsset", "example.com", "bob", "RealName", "Robert", "MaxMBSize", "5"}, ok);
    row("uservarsset without pairs", {"uservarsset", "example.com", "bob"}, ok, "0.70", false);
    row("poplnkadd", {"poplnkadd", "example.com", "bob", "pop.x.example", "b", "pw", "CLR"}, ok);
    row("poplnkenable", {"poplnkenable", "1", "example.com", "bob", "mail.example.net", "bob"}, ok);
    row("poplnkdel", {"poplnkdel", "example.com", "alice", "pop.example.net", "alice.remote"}, ok);
    row("domaindel", {"domaindel", "Example.Org"}, ok);
    // Refusals.
    row("unknown command", {"shutdown"}, SimReply::UnknownCommand);
    row("empty line", {""}, SimReply::UnknownCommand);
    row("missing argument", {"userlist"}, SimReply::WrongArgumentCount);
    row("extra argument", {"domainlist", "x"}, SimReply::WrongArgumentCount);
    row("unknown domain", {"userlist", "nowhere.example"}, SimReply::UnknownDomain);
    row("unknown account", {"uservars", "example.com", "zed"}, SimReply::UnknownAccount);
    row("duplicate domain", {"domainadd", "EXAMPLE.com"}, SimReply::DomainExists);
    row("duplicate account", {"useradd", "example.com", "Alice", "pw", "U"}, SimReply::AccountExists);
    row("bad account kind", {"useradd", "example.com", "erin", "pw", "X"}, SimReply::InvalidArgument);
    row("blank account name", {"useradd", "example.com", " ", "pw", "U"}, SimReply::InvalidArgument);
    row("members of a user", {"mluserlist", "example.com", "alice"}, SimReply::NotAList);
    row("bad member access", {"mluseradd", "example.com", "news", "x@y.example", "W"}, SimReply::InvalidArgument);
    row("duplicate member", {"mluseradd", "example.com", "news", "bob@example.com", "RW"}, SimReply::MemberExists);
    row("mluseradd, three arguments on 0.70", {"mluseradd", "example.com", "news", "x@y.example"},
        SimReply::WrongArgumentCount);
    row("mluseradd, four arguments on 0.63", {"mluseradd", "example.com", "news", "x@y.example", "R"},
        SimReply::WrongArgumentCount, "0.63");
    row("unknown member", {"mluserdel", "example.com", "news", "zed@example.com"}, SimReply::UnknownMember);
    row("duplicate alias", {"aliasadd", "example.com", "ALI", "bob"}, SimReply::AliasExists);
    row("unknown alias", {"aliasdel", "example.com", "nobody"}, SimReply::UnknownAlias);
    row("odd variable pairs", {"uservarsset", "example.com", "bob", "RealName"}, SimReply::WrongArgumentCount);
    row("no mailproc.tab", {"usergetmproc", "example.com", "bob"}, SimReply::NoMailproc);
    row("unknown custom domain", {"custdomget", "nowhere.example"}, SimReply::UnknownCustomDomain);
    row("bad POP3 authentication", {"poplnkadd", "example.com", "bob", "s", "u", "p", "PLAIN"}, SimReply::InvalidArgument);
    row("duplicate POP3 link", {"poplnkadd", "example.com", "alice", "pop.example.net", "alice.remote", "p", "CLR"},
        SimReply::LinkExists);
    row("bad enable flag", {"poplnkenable", "yes", "example.com", "bob", "mail.example.net", "bob"},
        SimReply::InvalidArgument);
    row("unknown POP3 link", {"poplnkdel", "example.com", "bob", "mail.example.net", "robert"}, SimReply::UnknownLink);
    row("upload for an unknown account", {"usersetmproc", "example.com", "zed"}, SimReply::UnknownAccount);
}

void TestSim::commandReplies()
{
    QFETCH(QString, version);
    QFETCH(QStringList, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, changes);
    SimState& s = sim->state;
    const QString before = SimStateText(s);
    SimUpload upload;
    QCOMPARE(RunSimCommand(s, version.toDouble(), request, &upload), reply);
    QCOMPARE(upload.kind, SimUpload::None);
    const QString word = request.value(0);
    QCOMPARE(SimStateText(s) != before, changes);
    if (!changes)
        return;
    // A change is there to read back.
    if (word == "useradd") {
        const SimAccount* a = s.account(request[1], request[2]);
        QVERIFY(a);
        QCOMPARE(a->kind, request[4].toUpper());
        QCOMPARE(a->password, request[3]);
    } else if (word == "userdel") {
        QVERIFY(!s.account(request[1], request[2]));
        QCOMPARE(s.pop3LinkIndex("example.com", "bob", "mail.example.net", "bob"), -1);
    } else if (word == "mluseradd") {
        const SimMember m = s.account("example.com", "news")->members.last();
        QCOMPARE(m.address, QString("x@y.example"));
        QCOMPARE(m.access, request.size() == 5 ? request[4] : QString("RW"));
    } else if (word == "uservarsset") {
        const auto vars = s.account("example.com", "bob")->vars;
        QCOMPARE(vars.first(), qMakePair(QString("RealName"), QString("Robert")));
        QCOMPARE(vars.last(), qMakePair(QString("MaxMBSize"), QString("5")));
    } else if (word == "poplnkadd") {
        const int i = s.pop3LinkIndex("example.com", "bob", "pop.x.example", "b");
        QVERIFY(i >= 0);
        QVERIFY(!s.pop3Links[i].enabled);
    } else if (word == "poplnkenable") {
        QVERIFY(s.pop3Links[s.pop3LinkIndex("example.com", "bob", "mail.example.net", "bob")].enabled);
    }
}

void TestSim::removingDomainTakesItsAccounts()
{
    SimUpload upload;
    QCOMPARE(RunSimCommand(sim->state, 0.7, {"domaindel", "example.com"}, &upload), SimReply::Ok);
    QVERIFY(!sim->state.domain("example.com"));
    QCOMPARE(RunSimCommand(sim->state, 0.7, {"userlist", "example.com"}, &upload), SimReply::UnknownDomain);
    QCOMPARE(RunSimCommand(sim->state, 0.7, {"aliaslist", "example.com", "*", "*"}, &upload),
             QByteArray("+00000 OK\r\n.\r\n"));
    for (const SimPop3Link& l : sim->state.pop3Links)
        QVERIFY(l.domain != "example.com");
}

// --- faults ---

void TestSim::delayHoldsEachReply()
{
    sim->faults.delayMs = 150;
    QElapsedTimer clock;
    clock.start();
    Client c(sim->port());
    login(c);
    // Greeting and login reply each waited.
    QVERIFY(clock.elapsed() >= 2 * 150);
    clock.restart();
    c.send({"domainlist"});
    QTRY_VERIFY(c.data.endsWith(".\r\n"));
    QVERIFY(clock.elapsed() >= 150);
    QCOMPARE(c.data, QByteArray("+00000 OK\r\n\"example.com\"\r\n\"example.org\"\r\n.\r\n"));
}

void TestSim::chunksArriveSeparately()
{
    Client c(sim->port());
    login(c);
    sim->faults.chunkSize = 7;
    c.send({"domainlist"});
    const QByteArray whole("+00000 OK\r\n\"example.com\"\r\n\"example.org\"\r\n.\r\n");
    QTRY_COMPARE(c.data, whole);
    QVERIFY2(c.chunks.size() > 1, "the reply came in one piece");
    // Pieces may run together on the way, but each read ends where a piece ended.
    qsizetype offset = 0;
    for (const QByteArray& chunk : std::as_const(c.chunks)) {
        offset += chunk.size();
        QVERIFY(offset % 7 == 0 || offset == whole.size());
    }
}

void TestSim::splitAtGivenOffset()
{
    Client c(sim->port());
    login(c);
    sim->faults.splitAt = 3;
    c.send({"domainlist"});
    QTRY_COMPARE(c.data, QByteArray("+00000 OK\r\n\"example.com\"\r\n\"example.org\"\r\n.\r\n"));
    QCOMPARE(c.chunks.size(), 2);
    QCOMPARE(c.chunks.first(), QByteArray("+00"));
}

void TestSim::closeAfterBytes_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("in the middle of a list") << "domainlist" << 19 << QByteArray("+00000 OK\r\n\"example");
    QTest::newRow("at once") << "domainlist" << 0 << QByteArray();
    QTest::newRow("past the end") << "domainlist" << 1000
                                  << QByteArray("+00000 OK\r\n\"example.com\"\r\n\"example.org\"\r\n.\r\n");
    QTest::newRow("the login reply") << "<login>" << 3 << QByteArray("+00");
}

void TestSim::closeAfterBytes()
{
    QFETCH(QString, word);
    QFETCH(int, bytes);
    QFETCH(QByteArray, received);
    sim->faults.closeOnCommand = word;
    sim->faults.closeAfterBytes = bytes;
    QSignalSpy closedSpy(sim.get(), &TazelSim::clientClosed);
    Client c(sim->port());
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    c.clear();
    c.send({"admin", "secret"});
    if (word != "<login>") {
        QTRY_COMPARE(c.data, SimReply::Ok);
        c.clear();
        c.send({"domainlist"});
    }
    QTRY_VERIFY(c.closed);
    QCOMPARE(c.data, received);
    QTRY_COMPARE(closedSpy.count(), 1);
}

void TestSim::refuseCommand()
{
    sim->faults.refuseCommand = "DomainAdd";
    Client c(sim->port());
    login(c);
    c.send({"domainadd", "new.example"});
    QTRY_VERIFY(c.data.endsWith("\r\n"));
    QCOMPARE(c.data, SimReply::Refused);
    QVERIFY(!sim->state.domain("new.example"));
    // Other commands are answered as usual.
    c.clear();
    c.send({"userdel", "example.com", "bob"});
    QTRY_COMPARE(c.data, SimReply::Ok);
}

void TestSim::malformedDataLine_data()
{
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<int>("goodFields");  // what a well-formed line of this list may have, at least
    QTest::newRow("userlist") << QStringList{"userlist", "example.org"} << 4;
    QTest::newRow("aliaslist") << QStringList{"aliaslist", "*", "*", "*"} << 3;
    QTest::newRow("uservars") << QStringList{"uservars", "example.com", "alice"} << 2;
    QTest::newRow("poplnklist") << QStringList{"poplnklist", "example.com", "alice"} << 5;
    QTest::newRow("mluserlist") << QStringList{"mluserlist", "example.com", "news"} << 1;
}

void TestSim::malformedDataLine()
{
    QFETCH(QStringList, request);
    QFETCH(int, goodFields);
    SimUpload upload;
    SimState copy = sim->state;
    const QByteArray normal = RunSimCommand(copy, 0.7, request, &upload);
    sim->faults.malformedCommand = request[0];
    Client c(sim->port());
    login(c);
    c.send(request);
    QTRY_VERIFY(c.data.endsWith("\r\n.\r\n"));
    const QList<QByteArray> lines = c.data.chopped(2).split('\n');
    QCOMPARE(lines.first(), QByteArray("+00000 OK\r"));
    const int fields = int(SplitFields(Wire::decode(lines[1].chopped(1)), "\t").size());
    if (request[0] == "mluserlist")
        QVERIFY(fields > 2);  // a member line has one or two fields
    else
        QVERIFY(fields < goodFields);
    // The rest of the list is the normal reply.
    QByteArray withoutBad = c.data;
    withoutBad.remove(normal.indexOf("\r\n") + 2, lines[1].size() + 1);
    QCOMPARE(withoutBad, normal);
}

void TestSim::malformedLinesOfChoice()
{
    SimUpload upload;
    SimState copy = sim->state;
    const QByteArray normal = RunSimCommand(copy, 0.7, {"userlist", "example.org"}, &upload);
    sim->faults.malformedCommand = "userlist";
    sim->faults.malformedCount = 3;
    sim->faults.malformedLine = "\"example.org\"\t\"odd\"\t\"pw\"\t\"UM\"";
    Client c(sim->port());
    login(c);
    c.send({"userlist", "example.org"});
    QTRY_VERIFY(c.data.endsWith("\r\n.\r\n"));
    const qsizetype head = normal.indexOf("\r\n") + 2;
    QCOMPARE(c.data, normal.left(head) + QByteArray("\"example.org\"\t\"odd\"\t\"pw\"\t\"UM\"\r\n").repeated(3) +
                         normal.mid(head));
}

void TestSim::minusInsideReply_data()
{
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<int>("after");
    QTest::newRow("download, after one line") << QStringList{"usergetmproc", "example.org", "dave"} << 1;
    QTest::newRow("list, right after the +") << QStringList{"userlist", "example.com"} << 0;
    QTest::newRow("list, past its end") << QStringList{"userlist", "example.com"} << 1000;
}

void TestSim::minusInsideReply()
{
    QFETCH(QStringList, request);
    QFETCH(int, after);
    SimUpload upload;
    SimState copy = sim->state;
    const QByteArray normal = RunSimCommand(copy, 0.7, request, &upload);
    const QList<QByteArray> normalLines = normal.chopped(2).split('\n');
    sim->faults.minusInsideCommand = request[0];
    sim->faults.minusAfterLines = after;
    Client c(sim->port());
    login(c);
    c.send(request);
    QTRY_VERIFY(c.data.endsWith(SimReply::Refused));
    // The "+" and the first lines as usual (never the "."), then the refusal.
    const int kept = qMin(1 + after, int(normalLines.size()) - 1);
    QByteArray expected;
    for (int i = 0; i < kept; ++i)
        expected += normalLines[i] + "\n";
    QCOMPARE(c.data, expected + SimReply::Refused);
}

void TestSim::silentCommand()
{
    sim->faults.silentCommand = "userdel";
    Client c(sim->port());
    login(c);
    c.send({"userdel", "example.com", "bob"});
    c.send({"custdomlist"});
    // The next command is answered; the silent one never is, and nothing was done for it.
    QTRY_VERIFY(c.data.endsWith(".\r\n"));
    QCOMPARE(c.data, QByteArray("+00000 OK\r\n\"lists.example.net\"\r\n.\r\n"));
    QVERIFY(sim->state.account("example.com", "bob"));
}

void TestSim::scriptedReplies()
{
    sim->faults.scriptedReplies.insert("<greeting>", "+ Tazel 0.62\n(odd)\r\n");
    sim->faults.scriptedReplies.insert("", "+OK\r\n-later\r\n");
    sim->faults.scriptedReplies.insert("domainadd", "+\r\n");
    Client c(sim->port());
    QTRY_COMPARE(c.data, QByteArray("+ Tazel 0.62\n(odd)\r\n"));
    c.clear();
    c.send({"admin", "secret"});
    QTRY_COMPARE(c.data, QByteArray("+OK\r\n-later\r\n"));
    c.clear();
    // The command is still carried out: only its reply is replaced.
    c.send({"domainadd", "new.example"});
    QTRY_COMPARE(c.data, QByteArray("+\r\n"));
    QVERIFY(sim->state.domain("new.example"));
}

void TestSim::clientClosingAtAnyMoment_data()
{
    QTest::addColumn<QByteArray>("lastBytes");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("chunkSize");
    QTest::newRow("before the greeting") << QByteArray() << 50 << 0;
    QTest::newRow("while a reply waits") << QByteArray("\"domainlist\"\r\n") << 50 << 0;
    QTest::newRow("while a reply goes out in pieces") << QByteArray("\"userlist\"\t\"example.com\"\r\n") << 0 << 1;
    QTest::newRow("in the middle of an upload body")
        << QByteArray("\"custdomset\"\t\"x.example\"\r\n\"redirect\"\t\"a@b\"\r\n") << 0 << 0;
    QTest::newRow("in the middle of a line") << QByteArray("\"domainadd\"\t\"half") << 0 << 0;
}

void TestSim::clientClosingAtAnyMoment()
{
    QFETCH(QByteArray, lastBytes);
    QFETCH(int, delayMs);
    QFETCH(int, chunkSize);
    QSignalSpy closedSpy(sim.get(), &TazelSim::clientClosed);
    const QString before = SimStateText(sim->state);
    {
        Client c(sim->port());
        if (!lastBytes.isEmpty()) {
            login(c);
            sim->faults.delayMs = delayMs;
            sim->faults.chunkSize = chunkSize;
            c.sendRaw(lastBytes);
            QTRY_VERIFY(sim->receivedBytes.endsWith(lastBytes));
        } else {
            sim->faults.delayMs = delayMs;
            QTRY_COMPARE(sim->connections, 1);
        }
    }  // the client goes away here
    QTRY_COMPARE(closedSpy.count(), 1);
    QCOMPARE(SimStateText(sim->state), before);  // half a body or half a line is never stored

    // The server carries on with the next client.
    sim->faults = SimFaults{};
    Client next(sim->port());
    login(next);
    next.send({"domainlist"});
    QTRY_VERIFY(next.data.endsWith(".\r\n"));
}

// --- recorder and data ---

void TestSim::recorderKeepsExactBytes()
{
    QSignalSpy lineSpy(sim.get(), &TazelSim::lineReceived);
    QSignalSpy closedSpy(sim.get(), &TazelSim::clientClosed);
    {
        Client c(sim->port());
        login(c);
        // A line sent in two pieces, a lone LF inside a line, then the upload's body lines.
        c.sendRaw("\"userli");
        c.socket.flush();
        c.sendRaw("st\"\t\"example.org\"\r\n");
        QTRY_VERIFY(c.data.endsWith(".\r\n"));
        c.clear();
        c.sendRaw("\"usersetmproc\"\t\"example.com\"\t\"bob\"\r\n");
        QTRY_COMPARE(c.data, SimReply::GoAhead);
        c.clear();
        c.sendRaw("\"redirect\"\t\"x\ny\"\r\n.\r\n");
        QTRY_COMPARE(c.data, SimReply::Ok);
    }
    QTRY_COMPARE(closedSpy.count(), 1);
    const QList<QByteArray> expected = {"\"admin\"\t\"secret\"", "\"userlist\"\t\"example.org\"",
                                        "\"usersetmproc\"\t\"example.com\"\t\"bob\"", "\"redirect\"\t\"x\ny\"", "."};
    QCOMPARE(sim->received, expected);
    QCOMPARE(sim->receivedBytes, expected.join("\r\n") + "\r\n");
    QCOMPARE(lineSpy.count(), expected.size());
    QCOMPARE(lineSpy.last().first().toByteArray(), QByteArray("."));
    QCOMPARE(sim->connections, 1);
    sim->clearRecord();
    QVERIFY(sim->received.isEmpty() && sim->receivedBytes.isEmpty());
}

void TestSim::dataFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("state.tzs");
    // Values with the characters the file format has to escape.
    sim->state.account("example.com", "bob")->vars.append(qMakePair(QString("Note"), QString("tab\there\\ and\r\nbreak")));
    sim->state.customDomains.insert("odd.example", "\"wait\"\t\"1\"\r\n\r\n\"x\\y\"\r\n");
    QVERIFY(sim->saveFile(path));
    TazelSim other;
    QString error;
    QVERIFY2(other.loadFile(path, &error), qPrintable(error));
    QCOMPARE(SimStateText(other.state), SimStateText(sim->state));
    QCOMPARE(other.state.account("example.com", "bob")->vars.last().second, QString("tab\there\\ and\r\nbreak"));
    QCOMPARE(other.state.customDomains.value("odd.example"), sim->state.customDomains.value("odd.example"));
    QVERIFY(other.state.account("example.org", "dave")->hasMailproc);
    QVERIFY(!other.loadFile(dir.filePath("missing.tzs"), &error));
}

void TestSim::dataFileErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown record") << "domain\ta.example\nmailbox\tx\n" << "line 2: unknown record \"mailbox\"";
    QTest::newRow("field count") << "domain\ta.example\tb\n" << "line 1: \"domain\" needs 2 fields, found 3";
    QTest::newRow("account of an unknown domain") << "account\ta.example\tbob\tpw\tU\n"
                                                  << "line 1: unknown domain \"a.example\"";
    QTest::newRow("bad kind") << "domain\ta.example\naccount\ta.example\tbob\tpw\tX\n"
                              << "line 2: account kind must be U or M";
    QTest::newRow("bad access") << "domain\td\naccount\td\tl\tpw\tM\nmember\td\tl\tx@y\tW\n"
                                << "line 3: member access must be R or RW";
}

void TestSim::dataFileErrors()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    SimState state;
    state.domains.append(SimDomain{"kept.example", {}});
    QString why;
    QVERIFY(!ParseSimState(text, &state, &why));
    QCOMPARE(why, error);
    QCOMPARE(state.domains.size(), 1);  // a bad file changes nothing
}

void TestSim::bulkAccounts()
{
    sim->state.addBulkAccounts("bulk.example", 3);
    sim->state.addBulkAccounts("bulk.example", 2);
    const SimDomain* d = sim->state.domain("bulk.example");
    QVERIFY(d);
    QCOMPARE(d->accounts.size(), 5);
    QCOMPARE(d->accounts[4].name, QString("user0000005"));
    QCOMPARE(d->accounts[4].password, QString("pass0000005"));
    SimUpload upload;
    const QByteArray reply = RunSimCommand(sim->state, 0.7, {"userlist", "bulk.example"}, &upload);
    QCOMPARE(reply.count("\r\n"), 7);
    QVERIFY(reply.contains("\"bulk.example\"\t\"user0000001\"\t\"pass0000001\"\t\"U\"\r\n"));
}

// --- the tazel-sim program ---

static QString SimProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tazel-sim");
}

void TestSim::programSavesOnTerminate()
{
    QTemporaryDir dir;
    const QString saved = dir.filePath("saved.tzs");
    QProcess program;
    program.start(SimProgram(), {"--port", "0", "--save", saved, "--version", "0.63", "--no-timestamp",
                                 "--login", "root", "--password", "pw"});
    QTRY_VERIFY(program.canReadLine());
    const QString line = QString::fromLatin1(program.readLine()).trimmed();
    QVERIFY2(line.startsWith("listening on 127.0.0.1:"), qPrintable(line));
    const quint16 port = quint16(line.section(':', 1).toUInt());

    Client c(port);
    QTRY_COMPARE(c.data, QByteArray("+00000 Tazel 0.63 (Linux) CTRL Server ready\r\n"));
    c.clear();
    c.send({"root", "pw"});
    QTRY_COMPARE(c.data, SimReply::Ok);
    c.clear();
    c.send({"mluseradd", "example.com", "news", "x@y.example"});
    QTRY_COMPARE(c.data, SimReply::Ok);

    program.terminate();
    QTRY_COMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    TazelSim reloaded;
    QVERIFY(reloaded.loadFile(saved));
    QCOMPARE(reloaded.state.account("example.com", "news")->members.last().address, QString("x@y.example"));
}

void TestSim::programWritesSettings()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tazel Administrator.conf");
    QProcess program;
    program.start(SimProgram(), {"--write-settings", path, "--port", "4321", "--password", QString::fromLatin1("p\xe4ss")});
    QTRY_COMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitCode(), 0);
    QSettings s(path, QSettings::IniFormat);
    QCOMPARE(ReadSetting(s, "servers", "server_count"), QString("1"));
    QCOMPARE(ReadSetting(s, "server1", "server_address"), QString("127.0.0.1"));
    QCOMPARE(ReadSetting(s, "server1", "server_port"), QString("4321"));
    QCOMPARE(ReadSetting(s, "server1", "server_login"), QString("admin"));
    QVERIFY(ReadTruth(ReadSetting(s, "server1", "active")));
    QVERIFY(ReadSetting(s, "server1", "server_pass").startsWith("{%secure:tzcrypt%}"));
    QCOMPARE(ReadServerPassword(s, "server1"), QString::fromLatin1("p\xe4ss"));
}

// --delay takes a number of milliseconds; anything else is refused before the simulator listens.
void TestSim::programRefusesABadDelay()
{
    for (const QString& delay : {QStringLiteral("soon"), QStringLiteral("-5"), QStringLiteral("600001")}) {
        QProcess program;
        program.start(SimProgram(), {"--port", "0", "--delay", delay});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardOutput().isEmpty());
        QVERIFY(program.readAllStandardError().contains("--delay wants a number of milliseconds"));
    }
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
