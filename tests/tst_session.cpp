// The server session with no window at all: scripts against the simulated server, a view that
// records what it is told, failures that abandon a script, held scripts, and two sessions at once.

#include <QCoreApplication>
#include <QTcpServer>
#include <QtTest>

#include "session/ActivityLog.h"
#include "session/CommandQueue.h"
#include "session/ServerSession.h"
#include "sim/TazelSim.h"

using namespace Pseudo;

namespace {

// Records every call but the progress texts, in order, as "Call(arguments)".
class RecordingView : public SessionView {
public:
    explicit RecordingView(const ServerSession* s = nullptr) : session(s) {}
    const ServerSession* session;
    QStringList calls;
    QStringList messages;
    QStringList notes;
    QString version;
    FileEditors editorsToUpload;

    void MessageForUser(const QString& text, MsgIcon) override { messages << text; }
    void StatusChanged(const QString&) override {}
    void ServerVersionRead(const QString& text) override { version = text; }
    void NoteActivity(const QString&, const QString& text) override { notes << text; }
    void DomainListRead(const QString& key) override
    {
        calls << "DomainListRead(" + key + ": " + session->Replies().DomainNames.join(',') + ")";
    }
    void CustomDomainListRead(const QString& key) override
    {
        calls << "CustomDomainListRead(" + key + ": " + session->Replies().CustomDomainNames.join(',') + ")";
    }
    void AccountListRead(const QString& key) override
    {
        QStringList names;
        for (qsizetype i = 0; i < session->Replies().UserEntries.size(); ++i)
            names << QString::fromLatin1(session->Replies().UserEntries.nameAndKind(i));
        calls << "AccountListRead(" + key + ": " + names.join(',') + ")";
    }
    void CustomDomainReady() override { calls << "CustomDomainReady()"; }
    void DomainReady(const QString& mode) override { calls << "DomainReady(" + mode + ")"; }
    void AccountReady(const QString& mode) override { calls << "AccountReady(" + mode + ")"; }
    void SelectedAccountReady() override { calls << "SelectedAccountReady()"; }
    void AccountVarsRead() override
    {
        QStringList pairs;
        for (qsizetype i = 0; i < session->Replies().UserVarNames.size(); ++i)
            pairs << session->Replies().UserVarNames.at(i) + '=' + session->Replies().UserVarValues.value(i);
        calls << "AccountVarsRead(" + pairs.join(',') + ")";
    }
    void AliasesComplete() override { calls << "AliasesComplete(" + session->Replies().AliasEntries.join(',') + ")"; }
    void ListMembersRequested() override { calls << "ListMembersRequested()"; }
    void ListMembersRead(const QStringList& members) override { calls << "ListMembersRead(" + members.join(',') + ")"; }
    void AccountRead(const QString& name, const QString& password, bool isList) override
    {
        calls << QStringLiteral("AccountRead(%1,%2,%3)").arg(name, password, isList ? "list" : "user");
    }
    void Pop3LinksRequested() override { calls << "Pop3LinksRequested()"; }
    void Pop3LinksRead() override
    {
        QStringList links;
        for (qsizetype i = 0; i < session->Replies().Pop3LinkUsers.size(); ++i)
            links << session->Replies().Pop3LinkUsers.at(i) + '/' + session->Replies().Pop3LinkServers.value(i);
        calls << "Pop3LinksRead(" + links.join(',') + ")";
    }
    void DomainRemoved() override { calls << "DomainRemoved()"; }
    void FileDownloadStarted(FileKind kind) override { calls << "FileDownloadStarted(" + Kind(kind) + ")"; }
    void FileDownloadGrew(FileKind kind, const FileEditors& e, const QString& added) override
    {
        // One call a line: only the last state is worth comparing, so the calls are folded.
        const QString call = "FileDownloadGrew(" + Kind(kind) + ")";
        if (calls.isEmpty() || !calls.last().startsWith(call))
            calls << call;
        lastFile = e;
        lastAdded += added;
    }
    void FileUnholdable(FileKind kind) override { calls << "FileUnholdable(" + Kind(kind) + ")"; }
    FileEditors FileEditorContents(FileKind) const override { return editorsToUpload; }
    void FileUploadAddedLineEnd(FileKind kind) override { calls << "FileUploadAddedLineEnd(" + Kind(kind) + ")"; }

    FileEditors lastFile;
    QString lastAdded;

private:
    static QString Kind(FileKind kind) { return kind == FileKind::CustomDomain ? "custom" : "mailproc"; }
};

// Watches how each script ends.
struct Outcomes : ScriptObserver {
    QStringList ended;
    QList<ScriptOutcome::Kind> kinds;
    void scriptStarted(const ScriptLabel&) override {}
    void scriptEnded(const ScriptLabel& l, const ScriptOutcome& o) override
    {
        ended << l.action + ": " + o.text();
        kinds << o.kind;
    }
};

// A session and its view, talking to one simulated server.
struct Peer {
    TazelSim sim;
    ServerSession session{nullptr};
    RecordingView view{&session};
    Outcomes outcomes;

    Peer()
    {
        sim.listen();
        sim.loadSample();
        session.SetView(&view);
        session.AddScriptObserver(&outcomes);
    }
    ServerLogin login() const
    {
        ServerLogin l;
        l.host = QStringLiteral("127.0.0.1");
        l.port = QString::number(sim.port());
        l.login = QStringLiteral("admin");
        l.password = QStringLiteral("secret");
        return l;
    }
    // One script: the head, the steps (a pseudo-command and its arguments each), "<%quit%>".
    quint64 queue(const QString& action, const QList<QStringList>& steps, std::optional<QString> password = QStringLiteral("secret"))
    {
        ServerLogin l = login();
        l.password = password;
        const quint64 serial = session.QueueScriptHead(l, true, ScriptLabel::read(action));
        for (const QStringList& step : steps) {
            session.QueueCommand(step.first());
            for (qsizetype i = 1; i < step.size(); ++i)
                session.QueueArgument(step.at(i));
        }
        session.QueueCommand(Quit);
        session.StartQueue();
        return serial;
    }
    bool waitIdle(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return session.DriverIsIdle() && session.QueueIsEmpty(); }, ms);
    }
    // The command words the server received, the login left out.
    QStringList requests() const
    {
        QStringList words;
        for (const QByteArray& line : sim.received) {
            const QByteArray word = line.split('\t').first().replace('"', "");
            if (word != "admin" && !word.startsWith('#'))
                words << QString::fromLatin1(word);
        }
        return words;
    }
};

}  // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void scriptsOfTheWindow_data();
    void scriptsOfTheWindow();
    void failuresAbandonTheScriptAndTheNextRuns_data();
    void failuresAbandonTheScriptAndTheNextRuns();
    void outcomeSaysWhereTheScriptStopped_data();
    void outcomeSaysWhereTheScriptStopped();
    void heldScriptsWaitInOrder();
    void heldScriptIsDroppedByCancelOrItsTimeOut();
    void twoSessionsAtOnce();
};

// Each script the window queues, as its steps: the requests the server gets, and what the view is told.
void TestSession::scriptsOfTheWindow_data()
{
    QTest::addColumn<QList<QStringList>>("steps");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("load domains")
        << QList<QStringList>{{DomainList}, {CustDomList}, {AddDomainsToList, "server1"},
                              {AddCustDomainsToList, "server1"}, {ShowDomainProperties}}
        << QStringList{"domainlist", "custdomlist"}
        << QStringList{"DomainListRead(server1: example.com,example.org)",
                       "CustomDomainListRead(server1: lists.example.net)", "DomainReady(add)"};
    QTest::newRow("load accounts")
        << QList<QStringList>{{UserList, "example.org"}, {AddUsersToList, "dkey"}, {ShowUserProperties}}
        << QStringList{"userlist"} << QStringList{"AccountListRead(dkey: carolU,daveU)", "AccountReady(add)"};
    QTest::newRow("load a custom domain")
        << QList<QStringList>{{CustDomGet, "lists.example.net"}, {ShowCustDomain}} << QStringList{"custdomget"}
        << QStringList{"FileDownloadStarted(custom)", "FileDownloadGrew(custom)", "CustomDomainReady()"};
    QTest::newRow("load an account")
        << QList<QStringList>{{GetUser, "example.com", "alice"},
                              {AliasList, "example.com", "*", "alice"},
                              {AliasListMore, "*", "*", "alice@example.com"},
                              {UserVars, "example.com", "alice"},
                              {Pseudo::ShowUserVars},
                              {UserGetMproc, "example.com", "alice"},
                              {Pop3List, "example.com", "alice"},
                              {ShowUserEdit}}
        << QStringList{"userlist", "aliaslist", "aliaslist", "uservars", "usergetmproc", "poplnklist"}
        << QStringList{"AccountRead(alice,wonderland,user)", "AliasesComplete(ali)", "AliasesComplete(ali,wonder,alice)",
                       "AccountVarsRead(RealName=Alice Liddell,HomePage=http://www.example.com/~alice,MaxMBSize=20000,ClosedML=0)",
                       "FileDownloadStarted(mailproc)", "FileDownloadGrew(mailproc)", "Pop3LinksRequested()",
                       "Pop3LinksRead(alice.remote/pop.example.net)", "AliasesComplete(ali,wonder,alice)",
                       "SelectedAccountReady()"};
    QTest::newRow("members of a list")
        << QList<QStringList>{{MlUserList, "example.com", "news"}, {ShowListUser}} << QStringList{"mluserlist"}
        << QStringList{"ListMembersRequested()",
                       "ListMembersRead(W - alice@example.com,R - bob@example.com,R - carol@example.org)",
                       "AccountReady(list)"};
    QTest::newRow("remove a domain")
        << QList<QStringList>{{DomainDel, "example.org"}} << QStringList{"domaindel"} << QStringList{"DomainRemoved()"};
    QTest::newRow("add an account, then list")
        << QList<QStringList>{{UserAdd, "example.org", "erin", "pw", "U"}, {UserList, "example.org"},
                              {AddUsersToList, "dkey"}}
        << QStringList{"useradd", "userlist"} << QStringList{"AccountListRead(dkey: carolU,daveU,erinU)"};
}

void TestSession::scriptsOfTheWindow()
{
    QFETCH(QList<QStringList>, steps);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, calls);
    Peer p;
    p.queue(QStringLiteral("script"), steps);
    QVERIFY(p.waitIdle());
    QCOMPARE(p.requests(), requests);
    QCOMPARE(p.view.calls.join('\n'), calls.join('\n'));
    QCOMPARE(p.view.messages, QStringList());
    QCOMPARE(p.outcomes.ended, QStringList{"script: done"});
    QCOMPARE(p.view.version, QStringLiteral("Tazel 0.70 (Linux) "));
    QVERIFY(!p.session.SocketOpen());
}

// A script that fails is abandoned where it failed, with nothing more sent, and the next one runs.
void TestSession::failuresAbandonTheScriptAndTheNextRuns_data()
{
    QTest::addColumn<QString>("fault");  // cut, silent or refused
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("messages");
    QTest::newRow("connection cut") << "cut" << "the server closed the connection" << 0;
    QTest::newRow("silent server") << "silent" << "timed out" << 1;
    QTest::newRow("a \"-\" reply") << "refused" << "-" << 1;
}

// What tazelctl's exit code and the window's words rest on: the outcome itself tells a refused
// request from a refused login, and a server never reached from a conversation cut short.
void TestSession::outcomeSaysWhereTheScriptStopped_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("request refused") << "refused" << int(ScriptOutcome::ServerError) << "-";
    QTest::newRow("login refused") << "password" << int(ScriptOutcome::LoginRefused) << "-";
    QTest::newRow("unreachable") << "closed port" << int(ScriptOutcome::Unreachable) << "TCP Error: ";
    QTest::newRow("cut short") << "cut" << int(ScriptOutcome::ConnectionError) << "the server closed the connection";
}

void TestSession::outcomeSaysWhereTheScriptStopped()
{
    QFETCH(QString, fault);
    QFETCH(int, kind);
    QFETCH(QString, text);
    Peer p;
    if (fault == QLatin1String("refused"))
        p.sim.faults.refuseCommand = QStringLiteral("domainlist");
    if (fault == QLatin1String("cut")) {
        p.sim.faults.closeOnCommand = QStringLiteral("domainlist");
        p.sim.faults.closeAfterBytes = 0;
    }
    ServerLogin l = p.login();
    if (fault == QLatin1String("password"))
        l.password = QStringLiteral("wrong");
    if (fault == QLatin1String("closed port")) {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        l.port = QString::number(gone.serverPort());
    }
    p.session.QueueScriptHead(l, true, ScriptLabel::read(QStringLiteral("list")));
    p.session.QueueCommand(DomainList);
    p.session.QueueCommand(Quit);
    p.session.StartQueue();
    QVERIFY(p.waitIdle());
    QCOMPARE(p.outcomes.kinds, QList<ScriptOutcome::Kind>{ScriptOutcome::Kind(kind)});
    QVERIFY2(p.outcomes.ended.at(0).startsWith("list: " + text), qPrintable(p.outcomes.ended.at(0)));
}

void TestSession::failuresAbandonTheScriptAndTheNextRuns()
{
    QFETCH(QString, fault);
    QFETCH(QString, outcome);
    QFETCH(int, messages);
    Peer p;
    p.session.SetReplyTimeout(300);
    if (fault == QLatin1String("cut")) {
        p.sim.faults.closeOnCommand = QStringLiteral("domainlist");
        p.sim.faults.closeAfterBytes = 0;
    } else if (fault == QLatin1String("silent")) {
        p.sim.faults.silentCommand = QStringLiteral("domainlist");
    } else {
        p.sim.faults.refuseCommand = QStringLiteral("domainlist");
    }
    p.queue(QStringLiteral("first"), {{DomainList}, {CustDomList}, {AddDomainsToList, "server1"}});
    p.queue(QStringLiteral("second"), {{CustDomList}, {AddCustDomainsToList, "server1"}});
    QVERIFY(p.waitIdle());
    QCOMPARE(p.requests(), (QStringList{"domainlist", "custdomlist"}));
    QCOMPARE(p.view.calls, QStringList{"CustomDomainListRead(server1: lists.example.net)"});
    QCOMPARE(p.view.messages.size(), messages);
    QCOMPARE(p.outcomes.ended.size(), 2);
    QVERIFY2(p.outcomes.ended.at(0).startsWith("first: " + outcome), qPrintable(p.outcomes.ended.at(0)));
    QCOMPARE(p.outcomes.ended.at(1), QStringLiteral("second: done"));
}

// A script whose password is still on its way waits, and so do the scripts queued after it; one
// whose password cannot be had is dropped whole in its turn, and the ones behind it go on.
void TestSession::heldScriptsWaitInOrder()
{
    Peer p;
    const quint64 first = p.queue(QStringLiteral("first"), {{DomainList}}, std::nullopt);
    p.queue(QStringLiteral("second"), {{CustDomList}});
    const quint64 third = p.queue(QStringLiteral("third"), {{DomainList}}, std::nullopt);
    p.queue(QStringLiteral("fourth"), {{CustDomList}});
    QTest::qWait(50);
    QCOMPARE(p.sim.connections, 0);
    QVERIFY(p.session.HoldsScript(first));

    p.session.ProvidePassword(first, QStringLiteral("secret"));
    QVERIFY(QTest::qWaitFor([&] { return p.outcomes.ended.size() == 2; }, 10000));
    QTest::qWait(50);
    QCOMPARE(p.outcomes.ended, (QStringList{"first: done", "second: done"}));  // the third still waits
    p.session.DropHeldScript(third, QStringLiteral("The password of sim could not be read: the keyring is locked."));
    QVERIFY(p.waitIdle());
    QCOMPARE(p.outcomes.ended,
             (QStringList{"first: done", "second: done",
                          "third: not sent: The password of sim could not be read: the keyring is locked.",
                          "fourth: done"}));
    QCOMPARE(p.view.messages, QStringList{"The password of sim could not be read: the keyring is locked."});
    QCOMPARE(p.requests(), (QStringList{"domainlist", "custdomlist", "custdomlist"}));
    QCOMPARE(p.sim.connections, 3);
}

// A script whose password does not come holds the queue no longer than the reply time-out, and
// Cancel drops it at once; only it goes, the scripts behind it run.
void TestSession::heldScriptIsDroppedByCancelOrItsTimeOut()
{
    Peer p;
    const quint64 first = p.queue(QStringLiteral("first"), {{DomainList}}, std::nullopt);
    p.queue(QStringLiteral("second"), {{CustDomList}});
    QVERIFY(p.session.HoldsScript(first));
    p.session.CancelScript();
    QVERIFY(p.waitIdle());
    QCOMPARE(p.outcomes.ended, (QStringList{"first: cancelled", "second: done"}));
    QCOMPARE(p.view.messages, QStringList());  // the user's own Cancel needs no message
    p.session.ProvidePassword(first, QStringLiteral("secret"));  // too late: nothing runs again
    QVERIFY(!p.session.HoldsScript(first));

    p.outcomes.ended.clear();
    p.session.SetReplyTimeout(300);
    ServerLogin held = p.login();
    held.password = std::nullopt;
    ScriptLabel label = ScriptLabel::read(QStringLiteral("third"));
    label.server = QStringLiteral("sim");
    const quint64 third = p.session.QueueScriptHead(held, true, label);
    p.session.QueueCommand(DomainList);
    p.session.QueueCommand(Quit);
    p.session.StartQueue();
    p.queue(QStringLiteral("fourth"), {{CustDomList}});
    QVERIFY(p.session.HoldsScript(third));
    QVERIFY(p.waitIdle());
    const QString why = QStringLiteral("The password of the server sim did not come within 0.3 seconds: third was not started.");
    QCOMPARE(p.outcomes.ended, (QStringList{"third: timed out: " + why, "fourth: done"}));
    QCOMPARE(p.view.messages, QStringList{why});
    QCOMPARE(p.requests(), (QStringList{"custdomlist", "custdomlist"}));
}

// Two sessions against two servers at once, each with a script of many steps: the event loop
// interleaves them, and each gets exactly its own replies and collections.
void TestSession::twoSessionsAtOnce()
{
    Peer a, b;
    a.sim.state.domains.resize(1);  // example.com only
    b.sim.state.domains.removeFirst();  // example.org only
    a.sim.faults.chunkSize = 7;  // replies in small pieces, so the two conversations overlap
    b.sim.faults.chunkSize = 5;
    auto steps = [](const QString& domain) {
        return QList<QStringList>{{DomainList}, {CustDomList}, {AddDomainsToList, "k"}, {UserList, domain},
                                  {AddUsersToList, "k"}, {AliasList, domain, "*", "*"}};
    };
    // One log watches both, as the window's log watches every session it starts: each session
    // numbers its scripts from 1, and each row must still end with its own script.
    ActivityLog log;
    a.session.AddScriptObserver(&log);
    b.session.AddScriptObserver(&log);
    for (int i = 0; i < 3; ++i) {
        a.queue(QStringLiteral("a%1").arg(i), steps(QStringLiteral("example.com")));
        b.queue(QStringLiteral("b%1").arg(i), steps(QStringLiteral("example.org")));
    }
    QVERIFY(a.waitIdle(20000));
    QVERIFY(b.waitIdle(20000));
    QCOMPARE(a.outcomes.ended, (QStringList{"a0: done", "a1: done", "a2: done"}));
    QCOMPARE(b.outcomes.ended, (QStringList{"b0: done", "b1: done", "b2: done"}));
    const QStringList aCalls{"DomainListRead(k: example.com)", "AccountListRead(k: aliceU,bobU,newsM,postmasterU)",
                             "AliasesComplete(ali,wonder,abuse)"};
    const QStringList bCalls{"DomainListRead(k: example.org)", "AccountListRead(k: carolU,daveU)",
                             "AliasesComplete(alice)"};
    QCOMPARE(a.view.calls, aCalls + aCalls + aCalls);
    QCOMPARE(b.view.calls, bCalls + bCalls + bCalls);
    QCOMPARE(a.session.Replies().UserEntriesDomain, QStringLiteral("example.com"));
    QCOMPARE(b.session.Replies().UserEntriesDomain, QStringLiteral("example.org"));
    QCOMPARE(a.session.Replies().AliasEntries, (QStringList{"ali", "wonder", "abuse"}));
    QCOMPARE(b.session.Replies().AliasEntries, QStringList{"alice"});
    QCOMPARE(a.sim.connections, 3);
    QCOMPARE(b.sim.connections, 3);
    QCOMPARE(log.rowCount(), 6);
    for (int row = 0; row < log.rowCount(); ++row)
        QCOMPARE(log.text(row, ActivityLog::OutcomeColumn), QStringLiteral("done"));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
