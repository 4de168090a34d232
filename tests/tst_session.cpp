// The server session with no window at all: scripts against the simulated server, a view that
// records what it is told, failures that abandon a script, held scripts, and two sessions at once.

#include <QCoreApplication>
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

    void ShowMessage(const QString& text, MsgIcon) override { messages << text; }
    void SetStatus(const QString&) override {}
    void SetVersionStatus(const QString& text) override { version = text; }
    void NoteActivity(const QString&, const QString& text) override { notes << text; }
    void AddDomainsToTree(const QString& key) override
    {
        calls << "AddDomainsToTree(" + key + ": " + session->DomainNames.join(',') + ")";
    }
    void AddCustomDomainsToTree(const QString& key) override
    {
        calls << "AddCustomDomainsToTree(" + key + ": " + session->CustomDomainNames.join(',') + ")";
    }
    void AddUsersToTree(const QString& key) override
    {
        QStringList names;
        for (qsizetype i = 0; i < session->UserEntries.size(); ++i)
            names << QString::fromLatin1(session->UserEntries.nameAndKind(i));
        calls << "AddUsersToTree(" + key + ": " + names.join(',') + ")";
    }
    void ShowCustomDomainPanel() override { calls << "ShowCustomDomainPanel()"; }
    void ShowDomainPanel(const QString& mode) override { calls << "ShowDomainPanel(" + mode + ")"; }
    void ShowUserPanel(const QString& mode) override { calls << "ShowUserPanel(" + mode + ")"; }
    void ShowSelectedUserPanel() override { calls << "ShowSelectedUserPanel()"; }
    void ShowUserVars() override
    {
        QStringList pairs;
        for (qsizetype i = 0; i < session->UserVarNames.size(); ++i)
            pairs << session->UserVarNames.at(i) + '=' + session->UserVarValues.value(i);
        calls << "ShowUserVars(" + pairs.join(',') + ")";
    }
    void FillAliasList() override { calls << "FillAliasList(" + session->AliasEntries.join(',') + ")"; }
    void ListMembersRequested() override { calls << "ListMembersRequested()"; }
    void ShowListMembers(const QStringList& members) override { calls << "ShowListMembers(" + members.join(',') + ")"; }
    void ShowAccount(const QString& name, const QString& password, bool isList) override
    {
        calls << QStringLiteral("ShowAccount(%1,%2,%3)").arg(name, password, isList ? "list" : "user");
    }
    void Pop3LinksRequested() override { calls << "Pop3LinksRequested()"; }
    void ShowPop3Links() override
    {
        QStringList links;
        for (qsizetype i = 0; i < session->Pop3LinkUsers.size(); ++i)
            links << session->Pop3LinkUsers.at(i) + '/' + session->Pop3LinkServers.value(i);
        calls << "ShowPop3Links(" + links.join(',') + ")";
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
    void scriptStarted(const ScriptLabel&) override {}
    void scriptEnded(const ScriptLabel& l, const ScriptOutcome& o) override { ended << l.action + ": " + o.text(); }
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
        session.Reports.addObserver(&outcomes);
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
        return QTest::qWaitFor([this] { return session.DriverIsIdle() && session.lstCommand.isEmpty(); }, ms);
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
    void heldScriptsWaitInOrder();
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
        << QStringList{"AddDomainsToTree(server1: example.com,example.org)",
                       "AddCustomDomainsToTree(server1: lists.example.net)", "ShowDomainPanel(add)"};
    QTest::newRow("load accounts")
        << QList<QStringList>{{UserList, "example.org"}, {AddUsersToList, "dkey"}, {ShowUserProperties}}
        << QStringList{"userlist"} << QStringList{"AddUsersToTree(dkey: carolU,daveU)", "ShowUserPanel(add)"};
    QTest::newRow("load a custom domain")
        << QList<QStringList>{{CustDomGet, "lists.example.net"}, {ShowCustDomain}} << QStringList{"custdomget"}
        << QStringList{"FileDownloadStarted(custom)", "FileDownloadGrew(custom)", "ShowCustomDomainPanel()"};
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
        << QStringList{"ShowAccount(alice,wonderland,user)", "FillAliasList(ali)", "FillAliasList(ali,wonder,alice)",
                       "ShowUserVars(RealName=Alice Liddell,HomePage=http://www.example.com/~alice,MaxMBSize=20000,ClosedML=0)",
                       "FileDownloadStarted(mailproc)", "FileDownloadGrew(mailproc)", "Pop3LinksRequested()",
                       "ShowPop3Links(alice.remote/pop.example.net)", "FillAliasList(ali,wonder,alice)",
                       "ShowSelectedUserPanel()"};
    QTest::newRow("members of a list")
        << QList<QStringList>{{MlUserList, "example.com", "news"}, {ShowListUser}} << QStringList{"mluserlist"}
        << QStringList{"ListMembersRequested()",
                       "ShowListMembers(W - alice@example.com,R - bob@example.com,R - carol@example.org)",
                       "ShowUserPanel(list)"};
    QTest::newRow("remove a domain")
        << QList<QStringList>{{DomainDel, "example.org"}} << QStringList{"domaindel"} << QStringList{"DomainRemoved()"};
    QTest::newRow("add an account, then list")
        << QList<QStringList>{{UserAdd, "example.org", "erin", "pw", "U"}, {UserList, "example.org"},
                              {AddUsersToList, "dkey"}}
        << QStringList{"useradd", "userlist"} << QStringList{"AddUsersToTree(dkey: carolU,daveU,erinU)"};
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

void TestSession::failuresAbandonTheScriptAndTheNextRuns()
{
    QFETCH(QString, fault);
    QFETCH(QString, outcome);
    QFETCH(int, messages);
    Peer p;
    p.session.ReplyTimeoutMs = 300;
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
    QCOMPARE(p.view.calls, QStringList{"AddCustomDomainsToTree(server1: lists.example.net)"});
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
    a.session.Reports.addObserver(&log);
    b.session.Reports.addObserver(&log);
    for (int i = 0; i < 3; ++i) {
        a.queue(QStringLiteral("a%1").arg(i), steps(QStringLiteral("example.com")));
        b.queue(QStringLiteral("b%1").arg(i), steps(QStringLiteral("example.org")));
    }
    QVERIFY(a.waitIdle(20000));
    QVERIFY(b.waitIdle(20000));
    QCOMPARE(a.outcomes.ended, (QStringList{"a0: done", "a1: done", "a2: done"}));
    QCOMPARE(b.outcomes.ended, (QStringList{"b0: done", "b1: done", "b2: done"}));
    const QStringList aCalls{"AddDomainsToTree(k: example.com)", "AddUsersToTree(k: aliceU,bobU,newsM,postmasterU)",
                             "FillAliasList(ali,wonder,abuse)"};
    const QStringList bCalls{"AddDomainsToTree(k: example.org)", "AddUsersToTree(k: carolU,daveU)",
                             "FillAliasList(alice)"};
    QCOMPARE(a.view.calls, aCalls + aCalls + aCalls);
    QCOMPARE(b.view.calls, bCalls + bCalls + bCalls);
    QCOMPARE(a.session.UserEntriesDomain, QStringLiteral("example.com"));
    QCOMPARE(b.session.UserEntriesDomain, QStringLiteral("example.org"));
    QCOMPARE(a.session.AliasEntries, (QStringList{"ali", "wonder", "abuse"}));
    QCOMPARE(b.session.AliasEntries, QStringList{"alice"});
    QCOMPARE(a.sim.connections, 3);
    QCOMPARE(b.sim.connections, 3);
    QCOMPARE(log.rowCount(), 6);
    for (int row = 0; row < log.rowCount(); ++row)
        QCOMPARE(log.text(row, ActivityLog::OutcomeColumn), QStringLiteral("done"));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
