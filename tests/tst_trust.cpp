// What the user acts on is what is highlighted, every action's outcome is visible in the activity
// log, and a stalled server can be cancelled: against the simulated server, through the window's
// own tree, buttons and keys.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>

#include "session/ActivityLog.h"
#include "protocol/Protocol.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/TestKit.h"
#include "window/ControlText.h"
#include "window/ActivityDock.h"
#include "window/TreeFilter.h"
#include "window/frmMain.h"

namespace {
const QString CustomName = QStringLiteral("cd.net");
const QString CustomFile = QStringLiteral("\"redirect\"\t\"A\"\t\"B\"\r\n\"lredirect\"\t\"C\"\r\n");

struct Session {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    Session()
    {
        SimDomain alpha{QStringLiteral("alpha.com"), {}};
        SimDomain beta{QStringLiteral("beta.org"), {}};
        SimAccount bob;
        bob.name = QStringLiteral("bob");
        bob.password = QStringLiteral("pw");
        bob.kind = QStringLiteral("U");
        beta.accounts << bob;
        sim.state.domains = {alpha, beta};
        sim.state.customDomains.insert(CustomName, CustomFile);
    }
    bool start(const QString& password = QStringLiteral("secret"))
    {
        if (!sim.listen())
            return false;
        fx.addServerRecord(1, QStringLiteral("sim1"), QStringLiteral("127.0.0.1"), sim.port(),
                           QStringLiteral("admin"), password);
        w = &fx.open();
        w->show();
        return QTest::qWaitForWindowExposed(w);
    }
    QModelIndex server() const { return w->NodeByKey(QStringLiteral("server1")); }
    QModelIndex domain(const QString& name) const
    {
        return w->NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), name));
    }
    QModelIndex custom() const { return w->NodeByKey(frmMain::CustomDomainNodeKey(QStringLiteral("server1"), CustomName)); }
    void click(const QModelIndex& node)
    {
        w->DomainList->scrollTo(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {},
                          w->DomainList->visualRect(node).center());
    }
    bool sent(const QStringList& fields) const { return sim.received.contains(WireLine(fields)); }
    int rows() const { return w->Activity->rowCount(); }
    QString cell(int row, ActivityLog::Column c) const { return w->Activity->text(row < 0 ? rows() + row : row, c); }
    QString file() const { return sim.state.customDomains.value(sim.state.customDomainKey(CustomName)); }
};

#define WAIT_IDLE(s) QTRY_VERIFY((s).w->Session->DriverIsIdle())

// An observer that writes down what it is told, as a command queuing its own steps would.
struct Recorder : ScriptObserver {
    QStringList events;
    void scriptStarted(const ScriptLabel& l) override { events << "start " + l.action; }
    void stepEnded(const ScriptLabel&, int mark, const ScriptOutcome& o) override
    {
        events << QString("step %1 %2").arg(mark).arg(o.text());
    }
    void scriptEnded(const ScriptLabel& l, const ScriptOutcome& o) override
    {
        events << "end " + l.action + ": " + o.text();
    }
};
}  // namespace

class TestTrust : public QObject {
    Q_OBJECT
private slots:
    void expandedNodeIsTheOneRemoved();
    void logRowsAndStatusOfEachOutcome();
    void cancelEndsSilentScriptAndQueueGoesOn();
    void cancelledOrCutUploadLeavesFileUnchanged_data();
    void cancelledOrCutUploadLeavesFileUnchanged();
    void markedStepsReportEachOutcome();
    void portAndMailboxSizeRefused();
    void customDomainDeleteNeedsASelectedEntry();
    void md5LoginTakesADoubleQuote_data();
    void md5LoginTakesADoubleQuote();
    void quitRowRunsOnLinesAfterTheLastReply_data();
    void quitRowRunsOnLinesAfterTheLastReply();
};

void TestTrust::expandedNodeIsTheOneRemoved()
{
    Session s;
    QVERIFY(s.start());
    s.click(s.server());
    WAIT_IDLE(s);
    s.w->DomainList->expand(s.server());
    QTRY_VERIFY(s.domain("beta.org").isValid());
    s.click(s.domain("alpha.com"));
    WAIT_IDLE(s);
    QCOMPARE(s.w->DomainList->currentIndex(), QModelIndex(s.domain("alpha.com")));

    // Expanding beta.org while alpha.com is highlighted moves the highlight with the panel.
    s.w->DomainList->expand(s.domain("beta.org"));
    WAIT_IDLE(s);
    QCOMPARE(s.w->DomainList->currentIndex(), QModelIndex(s.domain("beta.org")));
    QCOMPARE(s.w->txtDomainName->text(), QString("beta.org"));

    s.fx.messages.answers = {MsgYes};
    QTest::mouseClick(s.w->cmdRemoveDomain, Qt::LeftButton);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.first().text.endsWith("Domain: beta.org\r\nServer: sim1"));
    QCOMPARE(s.fx.messages.messages.first().defaultButton, MsgNo);
    WAIT_IDLE(s);
    QVERIFY(s.sent({"domaindel", "beta.org"}));
    QVERIFY(!s.sent({"domaindel", "alpha.com"}));
    QVERIFY(s.sim.state.domain("alpha.com"));
    // The server's panel is shown after the removal, and the server is highlighted.
    QCOMPARE(s.w->DomainList->currentIndex(), QModelIndex(s.server()));
    QCOMPARE(s.cell(-1, ActivityLog::ActionColumn), QString("remove domain beta.org"));
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn), QString("done"));
}

void TestTrust::logRowsAndStatusOfEachOutcome()
{
    Session s;
    QVERIFY(s.start());
    QVERIFY(s.w->ActivityView->isHidden());  // shown from the View menu
    s.click(s.server());
    WAIT_IDLE(s);
    QCOMPARE(s.rows(), 1);
    QCOMPARE(s.cell(0, ActivityLog::ServerColumn), QString("sim1"));
    QCOMPARE(s.cell(0, ActivityLog::KindColumn), QString("read"));
    QCOMPARE(s.cell(0, ActivityLog::ActionColumn), QString("list domains and custom domains"));
    QCOMPARE(s.cell(0, ActivityLog::OutcomeColumn), QString("done"));
    s.w->DomainList->expand(s.server());
    QTRY_VERIFY(s.domain("alpha.com").isValid());
    s.click(s.domain("alpha.com"));
    WAIT_IDLE(s);

    // Done: an account added; its password appears nowhere in the log.
    s.w->txtUserName->setText("carol");
    s.w->txtPassword->setText("Hush-4711");
    QTest::mouseClick(s.w->cmdAddUser, Qt::LeftButton);
    WAIT_IDLE(s);
    const int added = s.rows() - 1;
    QCOMPARE(s.cell(added, ActivityLog::KindColumn), QString("change"));
    QCOMPARE(s.cell(added, ActivityLog::ActionColumn), QString("add account carol@alpha.com"));
    QCOMPARE(s.cell(added, ActivityLog::OutcomeColumn), QString("done"));
    // The outcome stands in the first panel only: the second keeps the server's version and platform.
    QCOMPARE(s.w->StatusPanel1->text(), QString("add account carol@alpha.com: done"));
    QCOMPARE(s.w->StatusPanel2->text(), QString("Tazel 0.70 (Linux) "));
    QCOMPARE(s.w->statusBar()->currentMessage(), QString());

    // Failed: the server's "-" line is the outcome (and its message box is still shown).
    s.sim.faults.refuseCommand = "useradd";
    s.w->txtUserName->setText("dave");
    QTest::mouseClick(s.w->cmdAddUser, Qt::LeftButton);
    WAIT_IDLE(s);
    const QString refused = s.cell(-1, ActivityLog::OutcomeColumn);
    QVERIFY2(refused.startsWith('-'), qPrintable(refused));
    QVERIFY(s.fx.messages.texts().last().endsWith(refused));
    QCOMPARE(s.w->StatusPanel1->text(), "add account dave@alpha.com: " + refused);
    QCOMPARE(s.w->StatusPanel2->text(), QString("Tazel 0.70 (Linux) "));
    // After a while the first panel reads "Ready" again.
    s.w->OutcomeShownMs = 50;
    s.sim.faults = SimFaults{};
    QSignalSpy shown(s.w, &frmMain::StatusTextChanged);
    s.w->txtUserName->setText("erin");
    QTest::mouseClick(s.w->cmdAddUser, Qt::LeftButton);
    WAIT_IDLE(s);
    QTRY_COMPARE(s.w->StatusPanel1->text(), QString("Ready"));
    QVERIFY(shown.size() >= 2);
    QCOMPARE(shown.at(shown.size() - 2).at(0).toString(), QString("add account erin@alpha.com: done"));
    QCOMPARE(shown.last().at(0).toString(), QString("Ready"));
    QCOMPARE(s.w->StatusPanel2->text(), QString("Tazel 0.70 (Linux) "));

    for (int r = 0; r < s.rows(); ++r)
        for (int c = 0; c < ActivityLog::ColumnCount; ++c)
            QVERIFY(!s.cell(r, ActivityLog::Column(c)).contains("Hush-4711"));
}

void TestTrust::cancelEndsSilentScriptAndQueueGoesOn()
{
    Session s;
    QVERIFY(s.start());
    s.click(s.server());
    WAIT_IDLE(s);
    s.w->DomainList->expand(s.server());
    QTRY_VERIFY(s.domain("alpha.com").isValid());
    QVERIFY(s.w->Busy->isHidden());

    // The server stops answering the account list; a second action waits behind it.
    s.sim.faults.silentCommand = "userlist";
    s.click(s.domain("alpha.com"));
    QTRY_VERIFY(s.sent({"userlist", "alpha.com"}));
    s.sim.faults.silentCommand.clear();  // it stays silent on this request
    QVERIFY(s.w->Busy->isVisible());
    s.fx.messages.answers = {MsgYes};
    s.w->txtUserName->setText("carol");
    s.w->txtPassword->setText("pw");
    QTest::mouseClick(s.w->cmdAddUser, Qt::LeftButton);
    QCOMPARE(s.w->Session->CountScripts(), 2);

    QTest::mouseClick(s.w->Busy->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(s.sim.state.account("alpha.com", "carol"));  // the next script ran at once
    WAIT_IDLE(s);
    QVERIFY(s.fx.messages.messages.isEmpty());
    QCOMPARE(s.cell(-2, ActivityLog::ActionColumn), QString("list accounts of alpha.com"));
    QCOMPARE(s.cell(-2, ActivityLog::OutcomeColumn), QString("cancelled"));
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn), QString("done"));
    QVERIFY(s.w->Busy->isHidden());

    // Esc does the same while the tree has the focus.
    s.sim.faults.silentCommand = "userlist";
    s.click(s.domain("alpha.com"));
    QTRY_COMPARE(int(s.sim.received.count(WireLine({"userlist", "alpha.com"}))), 3);
    s.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.w));
    // Esc in the empty find box only leaves the box, for the tree: the action goes on.
    QLineEdit* find = s.w->TreeFind->box();
    find->setFocus();
    QVERIFY(find->hasFocus());
    const int rowsBefore = s.rows();
    QTest::keyClick(find, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(!s.w->Session->DriverIsIdle());
    QCOMPARE(s.rows(), rowsBefore);
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn), QString("running"));
    QVERIFY(s.w->DomainList->hasFocus());
    // From the tree, Esc cancels.
    QTest::keyClick(s.w->DomainList, Qt::Key_Escape);
    WAIT_IDLE(s);
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn), QString("cancelled"));
    QVERIFY(s.fx.messages.messages.isEmpty());
}

void TestTrust::cancelledOrCutUploadLeavesFileUnchanged_data()
{
    QTest::addColumn<bool>("cancel");  // false: the server closes the connection instead
    QTest::addColumn<QString>("outcome");
    QTest::newRow("cancelled") << true << "cancelled";
    QTest::newRow("cut") << false << "the server closed the connection";
}

void TestTrust::cancelledOrCutUploadLeavesFileUnchanged()
{
    QFETCH(bool, cancel);
    QFETCH(QString, outcome);
    Session s;
    QVERIFY(s.start());
    s.w->DomainList_Expand(s.server());
    WAIT_IDLE(s);
    s.click(s.custom());
    WAIT_IDLE(s);
    QCOMPARE(s.w->Session->CustomDomainEditor.state, EditorSource::Complete);

    if (cancel) {
        s.sim.faults.silentCommand = "custdomset";
    } else {
        s.sim.faults.closeOnCommand = "custdomset";
        s.sim.faults.closeAfterBytes = 0;
    }
    QSignalSpy closed(&s.sim, &TazelSim::clientClosed);
    s.w->txtDomainRedirect->setText("new.example.org");
    QTest::mouseClick(s.w->cmdAddDomainRedirect, Qt::LeftButton);
    QTRY_VERIFY(s.sent({"custdomset", CustomName}));
    if (cancel)
        QTest::mouseClick(s.w->Busy->cancelButton(), Qt::LeftButton);
    WAIT_IDLE(s);
    QTRY_VERIFY(closed.count() >= 1);
    QCoreApplication::processEvents();
    QCOMPARE(s.file(), CustomFile);
    QCOMPARE(s.cell(-1, ActivityLog::ActionColumn), QString("save custom domain cd.net"));
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn), outcome);
}

void TestTrust::markedStepsReportEachOutcome()
{
    // A command that adds many accounts marks each step: a refused one is reported to it (no
    // message box) and the rest still run.
    Session s;
    QVERIFY(s.start());
    Recorder recorder;
    s.w->Session->Reports.addObserver(&recorder);
    s.w->QueueScriptHead("server1", true, ScriptLabel::change("add 3 accounts"));
    const QStringList names{"ann", "bob", "cid"};  // bob exists already
    for (int i = 0; i < names.size(); ++i) {
        s.w->Session->QueueCommand(Pseudo::UserAdd, i + 1);
        for (const QString& a : {QString("beta.org"), names[i], QString("pw"), QString("U")})
            s.w->Session->QueueArgument(a);
    }
    s.w->Session->QueueCommand(Pseudo::Quit);
    s.w->Session->StartQueue();
    WAIT_IDLE(s);
    s.w->Session->Reports.removeObserver(&recorder);
    QCOMPARE(recorder.events.size(), 5);
    QCOMPARE(recorder.events.at(0), QString("start add 3 accounts"));
    QCOMPARE(recorder.events.at(1), QString("step 1 done"));
    QVERIFY2(recorder.events.at(2).startsWith("step 2 -"), qPrintable(recorder.events.at(2)));
    QCOMPARE(recorder.events.at(3), QString("step 3 done"));
    QCOMPARE(recorder.events.at(4), QString("end add 3 accounts: done"));
    QVERIFY(s.fx.messages.messages.isEmpty());
    QVERIFY(s.sim.state.account("beta.org", "ann") && s.sim.state.account("beta.org", "cid"));
}

void TestTrust::portAndMailboxSizeRefused()
{
    Session s;
    QVERIFY(s.start());
    s.click(s.server());
    WAIT_IDLE(s);
    const QString before = ReadSetting(*s.fx.settings, "server1", "server_port");
    s.w->txtServerPort->setText("70000");
    QTest::mouseClick(s.w->cmdUpdateServer, Qt::LeftButton);
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().startsWith("The port of the server sim1 must be a whole number"));
    QCOMPARE(ReadSetting(*s.fx.settings, "server1", "server_port"), before);
    s.fx.messages.messages.clear();

    s.w->DomainList->expand(s.server());
    QTRY_VERIFY(s.domain("beta.org").isValid());
    s.w->DomainList->expand(s.domain("beta.org"));
    WAIT_IDLE(s);
    const QModelIndex bob = s.w->NodeByKey(frmMain::AccountNodeKey(s.w->NodeKey(s.domain("beta.org")), "bob"));
    QVERIFY(bob.isValid());
    s.click(bob);
    WAIT_IDLE(s);
    const int lines = s.sim.received.size();
    for (const char* size : {"12.5", "ten", "-3"}) {
        s.w->txtMaxMBSize->setText(size);
        QTest::mouseClick(s.w->cmdSaveUserVars, Qt::LeftButton);
        QCOMPARE(s.fx.messages.texts().last(),
                 QString("The Max Mailbox Size of bob@beta.org must be a whole number of KB, or "
                         "empty.\r\n\r\nNothing was saved."));
    }
    QCOMPARE(s.fx.messages.texts().size(), 3);
    QCOMPARE(s.w->Session->CountScripts(), 0);
    QCOMPARE(s.sim.received.size(), lines);
    // bob has no mail-processing file: the first save asks before it creates one, and Yes lets
    // both saves go ahead.
    s.fx.messages.answers = {MsgYes};
    for (const char* size : {"", " 20 "}) {
        s.w->txtMaxMBSize->setText(size);
        QTest::mouseClick(s.w->cmdSaveUserVars, Qt::LeftButton);
        WAIT_IDLE(s);
    }
    QCOMPARE(s.fx.messages.texts().size(), 4);
    QVERIFY(s.fx.messages.messages.last().question);
    QString stored;
    for (const auto& var : s.sim.state.account("beta.org", "bob")->vars)
        if (var.first == "MaxMBSize")
            stored = var.second;
    QCOMPARE(stored, QString("20"));
}

void TestTrust::customDomainDeleteNeedsASelectedEntry()
{
    Session s;
    s.sim.state.customDomains[CustomName] =
        "\"redirect\"\t\"A\"\t\"B\"\t\"C\"\r\n";  // three redirections
    QVERIFY(s.start());
    s.w->DomainList_Expand(s.server());
    WAIT_IDLE(s);
    s.click(s.custom());
    WAIT_IDLE(s);
    QListWidget* list = s.w->lstDomainRedirects;
    QCOMPARE(ListItems(list), (QStringList{"A", "B", "C"}));

    // Current but not selected (as after tabbing into the list): nothing is deleted.
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    QTest::mouseClick(s.w->cmdDeleteDomainRedirect, Qt::LeftButton);
    QCOMPARE(s.w->Session->CountScripts(), 0);
    QCOMPARE(list->count(), 3);

    // Twice in a row: the second press deletes nothing the user did not choose.
    list->setCurrentRow(1);
    QTest::mouseClick(s.w->cmdDeleteDomainRedirect, Qt::LeftButton);
    QTest::mouseClick(s.w->cmdDeleteDomainRedirect, Qt::LeftButton);
    WAIT_IDLE(s);
    QCOMPARE(ListItems(list), (QStringList{"A", "C"}));
    QCOMPARE(s.file(), QString("\"redirect\"\t\"A\"\t\"C\"\r\n"));
}

void TestTrust::md5LoginTakesADoubleQuote_data()
{
    QTest::addColumn<QString>("timestamp");  // empty: the plain login
    QTest::addColumn<bool>("loads");
    QTest::newRow("md5") << "<1896.697170952@sim.tazel>" << true;
    QTest::newRow("plain") << "" << false;
}

void TestTrust::md5LoginTakesADoubleQuote()
{
    QFETCH(QString, timestamp);
    QFETCH(bool, loads);
    Session s;
    s.sim.timestamp = timestamp;
    s.sim.adminPassword = "se\"cret";
    QVERIFY(s.start("se\"cret"));
    s.click(s.server());
    WAIT_IDLE(s);
    QCOMPARE(s.domain("alpha.com").isValid(), loads);
    QCOMPARE(s.fx.messages.messages.isEmpty(), loads);
    QCOMPARE(s.cell(-1, ActivityLog::OutcomeColumn),
             loads ? QString("done") : QString("not sent: the login name or password cannot be sent"));
    if (!loads)
        QVERIFY(!s.sim.receivedBytes.contains("se\"cret"));
}

void TestTrust::quitRowRunsOnLinesAfterTheLastReply_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("+") << QByteArray("+00000 bye\r\n") << "Waiting for server to close connection." << "";
    QTest::newRow("-") << QByteArray("-00099 no\r\n") << "Ready" << "Error response durring 'quit'\r\n\r\n-00099 no";
}

void TestTrust::quitRowRunsOnLinesAfterTheLastReply()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, status);
    QFETCH(QString, message);
    Session s;
    s.sim.faults.scriptedReplies.insert("domainlist", "+00000 OK\r\nalpha.com\r\n.\r\n" + extra);
    QVERIFY(s.start());
    s.w->QueueScriptHead("server1", true, ScriptLabel::read("list"));
    s.w->Session->QueueCommand(Pseudo::DomainList);
    s.w->Session->QueueCommand(Pseudo::Quit);
    QSignalSpy statusTexts(s.w, &frmMain::StatusTextChanged);
    s.w->Session->StartQueue();
    WAIT_IDLE(s);
    const int connections = s.sim.connections;
    // The quit row's text is shown, then the action's outcome takes the first panel.
    QStringList shown;
    for (const QList<QVariant>& args : std::as_const(statusTexts))
        shown << args.at(0).toString();
    QVERIFY2(shown.size() >= 2 && shown.at(shown.size() - 2) == status, qPrintable(shown.join(" | ")));
    QCOMPARE(s.w->StatusPanel1->text(), QString("list: done"));
    QCOMPARE(s.fx.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(s.w->Session->DomainNames, QStringList{"alpha.com"});
    QCoreApplication::processEvents();
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
}

QTEST_MAIN(TestTrust)
#include "tst_trust.moc"
