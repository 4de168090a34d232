// Domains and custom domains: the replies that list them and carry a custom domain file, and the
// domain panel's commands, all driven through the window against the simulated server.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QtTest>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ControlText.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

namespace {
const QString Server1 = QStringLiteral("server1");
const QString CustomName = QStringLiteral("cd.net");
// The custom domain file of the four-line example: two redirections, one L-redirection and a line
// of another keyword.
const QString CustomFile =
    QStringLiteral("\"redirect\"\t\"A\"\t\"B\"\r\n\"lredirect\"\t\"C\"\r\n\"wait\"\t\"5\"\r\n");

// A window on a simulated server holding two domains and one custom domain.
struct Session {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    Session()
    {
        sim.state.domains = {{QStringLiteral("alpha.com"), {}}, {QStringLiteral("beta.org"), {}}};
        sim.state.customDomains.insert(CustomName, CustomFile);
    }

    // Starts the server and opens the window with the given slots all pointing at it.
    bool start(const QList<int>& serverSlots = {1})
    {
        if (!sim.listen())
            return false;
        for (int slot : serverSlots)
            fx.addServerRecord(slot, QStringLiteral("sim%1").arg(slot), QStringLiteral("127.0.0.1"), sim.port());
        w = &fx.open();
        return true;
    }

    QModelIndex server(int slot = 1) const { return w->NodeByKey(QStringLiteral("server%1").arg(slot)); }
    QModelIndex domain(const QString& name, int slot = 1) const
    {
        return w->NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server%1").arg(slot), name));
    }
    QModelIndex custom(const QString& name = CustomName) const
    {
        return w->NodeByKey(frmMain::CustomDomainNodeKey(Server1, name));
    }
    QStringList children(const QModelIndex& node) const
    {
        QStringList out;
        for (int i = 0; i < w->DomainModel->rowCount(node); ++i)
            out << w->NodeText(w->DomainModel->index(i, 0, node));
        return out;
    }
    int sentCount(const QStringList& fields) const { return int(sim.received.count(WireLine(fields))); }
    bool sent(const QStringList& fields) const { return sentCount(fields) > 0; }
    bool sentWord(const QByteArray& word) const
    {
        for (const QByteArray& l : sim.received)
            if (l.startsWith('"' + word + '"'))
                return true;
        return false;
    }
    QString file(const QString& name = CustomName) const
    {
        const QString key = sim.state.customDomainKey(name);
        return key.isNull() ? QString() : sim.state.customDomains.value(key);
    }
    // The editor as one text, to tell that a refused command left it alone.
    QString editor() const
    {
        return ListItems(w->lstDomainRedirects).join('|') + '#' + ListItems(w->lstDomainLredirects).join('|') + '#' +
               w->txtDomainAdvanced->toPlainText() + '#' + w->txtDomainRedirect->text() + '#' +
               w->txtDomainLredirect->text();
    }
};

#define WAIT_IDLE(s) QTRY_VERIFY((s).w->Session->DriverIsIdle())

// Expands server1 so that its domains and custom domains are in the tree.
#define LOAD_SERVER(s)                              \
    do {                                            \
        (s).w->DomainList_Expand((s).server());     \
        WAIT_IDLE(s);                               \
        QVERIFY((s).custom().isValid());            \
    } while (0)

// Clicks the custom domain so that its file is in the editor.
#define OPEN_CUSTOM(s)                                                                   \
    do {                                                                                 \
        LOAD_SERVER(s);                                                                  \
        (s).w->DomainList_NodeClick((s).custom());                                       \
        WAIT_IDLE(s);                                                                    \
        QCOMPARE((s).w->Session->CustomDomainEditorState().state, EditorSource::Complete);               \
    } while (0)
}  // namespace

class TestDomains : public QObject {
    Q_OBJECT
private slots:
    void downloadFillsEditorUpToTheDot();
    void expandLoadsOnceClickLoadsEveryTime();
    void laterNodeChange_data();
    void laterNodeChange();
    void quickClicksLeaveOnlyTheLastScript();
    void addDomain_data();
    void addDomain();
    void removeDomain();
    void customDomainEditedThroughEachButton();
    void uploadOfTheFourLineExample();
    void advancedTextRoundTripsUnchanged();
    void refusedSaveKeepsTheLocalChange();
    void duplicateCustomDomainRefused_data();
    void duplicateCustomDomainRefused();
    void removeCustomDomainUploadsEmptyFile();
    void domainListWithEmptyEntry();
    void namesThatCollidedLoadBoth();
    void unsendableInputRefused_data();
    void unsendableInputRefused();
    void advancedTextThatBreaksTheFileRefused_data();
    void advancedTextThatBreaksTheFileRefused();
    void droppedDownloadRefusesSave();
    void queuedSaveAfterFailedDownloadSendsNoBody();
};

// The download handler alone: lines add to the editor, and the editor holds the whole file only
// once the closing dot has arrived.
void TestDomains::downloadFillsEditorUpToTheDot()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    w.Session->AwaitReplyTo(Pseudo::CustDomGet, CustomName);
    const QStringList lines{"+00000 OK",
                            "\"redirect\"\t\"a@x\"",
                            "",
                            "\"external\"\t\"0\"\t\"/bin/f\"",
                            "\"REDIRECT\"\t\"b@x\"\t\"c@x\"",
                            "\"lredirect\"",
                            "\"LRedirect\"\t\"d@y\"",
                            "\"wait\"\t\"5\""};
    for (const QString& l : lines)
        QCOMPARE(w.Session->HandleCustDomGetLine(l), ReplyOutcome::Continue);
    QCOMPARE(w.StatusPanel1->text(), QString("Receiving custom domain file..."));
    QCOMPARE(w.Session->CustomDomainEditorState().state, EditorSource::Loading);
    QCOMPARE(w.Session->HandleCustDomGetLine("."), ReplyOutcome::Complete);
    QCOMPARE(w.Session->CustomDomainEditorState().state, EditorSource::Complete);
    QVERIFY(w.Session->CustomDomainEditorState().allowsSaveOf(CustomName));
    // Only the first redirect line written as the editor writes it fills a list; every other line,
    // the empty one included, stays as it came (so that saving it unedited gives it back).
    QCOMPARE(ListItems(w.lstDomainRedirects), QStringList({"a@x"}));
    QCOMPARE(ListItems(w.lstDomainLredirects), QStringList());
    QCOMPARE(w.txtDomainAdvanced->toPlainText(),
             QString("\n\"external\",\"0\",\"/bin/f\"\n\"REDIRECT\",\"b@x\",\"c@x\"\n\"lredirect\"\n"
                     "\"LRedirect\",\"d@y\"\n\"wait\",\"5\"\n"));
}

void TestDomains::expandLoadsOnceClickLoadsEveryTime()
{
    Session s;
    QVERIFY(s.start());
    const QStringList domainList{"domainlist"};
    LOAD_SERVER(s);
    QCOMPARE(s.children(s.server()), QStringList({"alpha.com", "beta.org", "cd.net"}));
    QVERIFY(s.sent({"custdomlist"}));
    QCOMPARE(s.sentCount(domainList), 1);
    QVERIFY(!s.w->fraDomainProperties->isHidden());
    QCOMPARE(s.w->fraDomainProperties->title(), QString("Add New Domain"));

    s.w->DomainList_Expand(s.server());
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sentCount(domainList), 1);

    s.sim.state.domains.append({QStringLiteral("gamma.io"), {}});
    for (int clicks = 1; clicks <= 2; ++clicks) {
        s.w->DomainList_NodeClick(s.server());
        WAIT_IDLE(s);
        QCOMPARE(s.sentCount(domainList), 1 + clicks);
    }
    QCOMPARE(s.children(s.server()), QStringList({"alpha.com", "beta.org", "cd.net", "gamma.io"}));
}

// A click's script gives way to a node change that follows at once; an expansion's does not.
void TestDomains::laterNodeChange_data()
{
    QTest::addColumn<bool>("expandFirst");
    QTest::addColumn<int>("domainLists");
    QTest::newRow("click, then click another server") << false << 1;
    QTest::newRow("expand, then click another server") << true << 2;
}

void TestDomains::laterNodeChange()
{
    QFETCH(bool, expandFirst);
    QFETCH(int, domainLists);
    Session s;
    QVERIFY(s.start({1, 2}));
    if (expandFirst)
        s.w->DomainList_Expand(s.server(1));
    else
        s.w->DomainList_NodeClick(s.server(1));
    s.w->DomainList_NodeClick(s.server(2));
    WAIT_IDLE(s);

    QCOMPARE(s.sentCount({"domainlist"}), domainLists);
    QVERIFY(s.domain("alpha.com", 2).isValid());
    QCOMPARE(s.domain("alpha.com", 1).isValid(), expandFirst);
    QCOMPARE(s.w->SelectedServerIndex, QPersistentModelIndex(s.server(2)));
}

void TestDomains::quickClicksLeaveOnlyTheLastScript()
{
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    s.w->DomainList_NodeClick(s.domain("alpha.com"));
    s.w->DomainList_NodeClick(s.domain("beta.org"));
    s.w->DomainList_NodeClick(s.custom());
    WAIT_IDLE(s);

    QVERIFY(!s.sentWord("userlist"));
    QVERIFY(s.sent({"custdomget", CustomName}));
    QVERIFY(!s.w->tabCustomDomain->isHidden());
}

void TestDomains::addDomain_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("asCustom");
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("domain, blanks kept") << " new.com " << false << WireLine({"domainadd", " new.com "});
    QTest::newRow("custom domain") << "new.cd" << true << WireLine({"custdomset", "new.cd"});
    QTest::newRow("blank name") << "   " << false << QByteArray();
    QTest::newRow("blank custom name") << "" << true << QByteArray();
}

void TestDomains::addDomain()
{
    QFETCH(QString, name);
    QFETCH(bool, asCustom);
    QFETCH(QByteArray, request);
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    const int connections = s.sim.connections;
    s.w->lstDomainRedirects->addItem("old@x");
    s.w->txtDomainAdvanced->setPlainText("\"wait\",\"1\"");
    s.w->txtDomainRedirect->setText("typed@x");
    const QString editorBefore = s.editor();

    s.w->txtDomainName->setText(name);
    s.w->chkCustDomain->setChecked(asCustom);
    s.w->cmdAddDomain_Click();
    if (request.isEmpty()) {
        QVERIFY(s.w->Session->DriverIsIdle());
        QCOMPARE(s.sim.connections, connections);
        QCOMPARE(s.editor(), editorBefore);
        QVERIFY(s.fx.messages.messages.isEmpty());
        return;
    }
    if (asCustom) {
        // Emptied to one line break before anything is sent.
        QCOMPARE(s.editor(), QString("##\n##"));
    }
    WAIT_IDLE(s);
    QVERIFY(s.sim.received.contains(request));
    QVERIFY(s.fx.messages.messages.isEmpty());
    QCOMPARE(s.sentWord("domainadd"), !asCustom);
    QCOMPARE(s.sentWord("custdomset"), asCustom);
    QVERIFY(s.sent({"domainlist"}));
    if (asCustom) {
        // A file of one empty line creates it; the panel is left as it was.
        QCOMPARE(s.file(name), QString("\r\n"));
        QVERIFY(s.custom(name).isValid());
        QCOMPARE(s.w->txtDomainName->text(), name);
    } else {
        QVERIFY(s.sim.state.domain(name));
        QVERIFY(s.domain(name).isValid());
        QCOMPARE(s.w->fraDomainProperties->title(), QString("Add New Domain"));
        QCOMPARE(s.w->txtDomainName->text(), QString());
    }
}

void TestDomains::removeDomain()
{
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    s.w->DomainList_NodeClick(s.domain("alpha.com"));
    WAIT_IDLE(s);
    const int connections = s.sim.connections;

    s.fx.messages.answers = {MsgNo};
    s.w->cmdRemoveDomain_Click();
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    const RecordedMessage question = s.fx.messages.messages.at(0);
    QVERIFY(question.question);
    QCOMPARE(question.text, QString("Are you sure you want to delete this domain?\r\n\r\n"
                                    "All users will be permenently removed as well.\r\n\r\n"
                                    "Domain: alpha.com\r\nServer: sim1"));
    QCOMPARE(question.defaultButton, MsgNo);
    QCOMPARE(question.title, QString("Tazel Administrator"));
    QVERIFY(s.sim.state.domain("alpha.com"));
    QCOMPARE(s.w->SelectedDomainIndex, QPersistentModelIndex(s.domain("alpha.com")));

    s.fx.messages.answers = {MsgYes};
    s.w->cmdRemoveDomain_Click();
    // The server is shown at once, with its record in the fields.
    QVERIFY(!s.w->fraServerProperties->isHidden());
    QVERIFY(s.w->fraDomainProperties->isHidden());
    QCOMPARE(s.w->txtServerName->text(), QString("sim1"));
    QCOMPARE(s.w->txtServerAddress->text(), QString("127.0.0.1"));
    QCOMPARE(s.w->txtServerPort->text(), QString::number(s.sim.port()));
    QCOMPARE(s.w->txtServerLoginName->text(), QString("admin"));
    QCOMPARE(s.w->txtServerPassword->text(), QString("secret"));
    QVERIFY(!s.w->SelectedDomainIndex.isValid());
    QVERIFY(!s.w->SelectedUserIndex.isValid());
    QCOMPARE(s.w->SelectedServerIndex, QPersistentModelIndex(s.server()));
    WAIT_IDLE(s);

    QVERIFY(s.sent({"domaindel", "alpha.com"}));
    QVERIFY(!s.sim.state.domain("alpha.com"));
    QCOMPARE(s.children(s.server()), QStringList({"beta.org", "cd.net"}));
    QVERIFY(!s.w->fraDomainProperties->isHidden());
    QCOMPARE(s.w->fraDomainProperties->title(), QString("Add New Domain"));
    QCOMPARE(s.fx.messages.messages.size(), 2);
}

// A custom domain created, then every button of the editor: each saves the whole file, which is
// then read back into the editor.
void TestDomains::customDomainEditedThroughEachButton()
{
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    const QString name = QStringLiteral("new.cd");
    s.w->txtDomainName->setText(name);
    s.w->chkCustDomain->setChecked(true);
    s.w->cmdAddDomain_Click();
    WAIT_IDLE(s);
    QVERIFY(s.custom(name).isValid());
    s.w->DomainList_NodeClick(s.custom(name));
    WAIT_IDLE(s);
    QVERIFY(!s.w->tabCustomDomain->isHidden());
    QCOMPARE(s.w->Session->CustomDomainEditorState().state, EditorSource::Complete);
    QCOMPARE(s.editor(), QString("##\n##"));  // its one empty line

    // Saved empty, it still gets its one line break: an empty file would remove it.
    s.w->cmdSaveDomainAdvanced_Click();
    QCOMPARE(s.w->txtDomainAdvanced->toPlainText(), QString("\n"));
    WAIT_IDLE(s);
    QCOMPARE(s.file(name), QString("\r\n"));

    s.w->txtDomainRedirect->setText("  d@x.com  ");
    s.w->cmdAddDomainRedirect_Click();
    WAIT_IDLE(s);
    // The file's empty line is one of its lines, and stays.
    QCOMPARE(s.file(name), QString("\"redirect\"\t\"d@x.com\"\r\n\r\n"));
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"d@x.com"}));
    QCOMPARE(s.w->txtDomainRedirect->text(), QString());  // emptied by the reading back

    s.w->txtDomainRedirect->setText("e@x.com");
    s.w->cmdAddDomainRedirect_Click();
    s.w->txtDomainLredirect->setText("f@y.org");
    s.w->cmdAddDomainLredirect_Click();
    WAIT_IDLE(s);
    s.w->txtDomainLredirect->setText("g@y.org");
    s.w->cmdAddDomainLredirect_Click();
    WAIT_IDLE(s);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"d@x.com", "e@x.com"}));
    QCOMPARE(ListItems(s.w->lstDomainLredirects), QStringList({"f@y.org", "g@y.org"}));

    s.w->lstDomainRedirects->setCurrentRow(0);
    s.w->cmdDeleteDomainRedirect_Click();
    WAIT_IDLE(s);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"e@x.com"}));

    s.w->lstDomainLredirects->setCurrentRow(1);
    s.w->cmdDeleteDomainLredirect_Click();
    WAIT_IDLE(s);
    QCOMPARE(ListItems(s.w->lstDomainLredirects), QStringList({"f@y.org"}));

    // Every line of the advanced box goes out ended by CR LF, the last one too.
    s.w->txtDomainAdvanced->setPlainText("\"wait\",\"9\"\n\"external\",\"0\",\"/bin/f\"");
    s.sim.clearRecord();
    s.w->cmdSaveDomainAdvanced_Click();
    WAIT_IDLE(s);
    const QByteArray body = "\"redirect\"\t\"e@x.com\"\r\n\"lredirect\"\t\"f@y.org\"\r\n"
                            "\"wait\"\t\"9\"\r\n\"external\"\t\"0\"\t\"/bin/f\"\r\n.\r\n";
    QVERIFY(s.sim.receivedBytes.contains(WireLine({"custdomset", name}) + "\r\n" + body));
    QCOMPARE(s.file(name), QString::fromLatin1(body.chopped(3)));
    QCOMPARE(s.w->txtDomainAdvanced->toPlainText(), QString("\"wait\",\"9\"\n\"external\",\"0\",\"/bin/f\"\n"));

    // A blank entry or no selected entry: the buttons change nothing and queue nothing.
    const int connections = s.sim.connections;
    s.w->txtDomainRedirect->setText("   ");
    s.w->cmdAddDomainRedirect_Click();
    s.w->lstDomainLredirects->setCurrentRow(-1);
    s.w->cmdDeleteDomainLredirect_Click();
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"e@x.com"}));
    QCOMPARE(ListItems(s.w->lstDomainLredirects), QStringList({"f@y.org"}));
    QVERIFY(s.fx.messages.messages.isEmpty());
}

void TestDomains::uploadOfTheFourLineExample()
{
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    s.sim.clearRecord();
    s.w->cmdSaveDomainAdvanced_Click();
    WAIT_IDLE(s);
    const QByteArray expected = WireLine({"custdomset", CustomName}) + "\r\n" +
                                "\"redirect\"\t\"A\"\t\"B\"\r\n"
                                "\"lredirect\"\t\"C\"\r\n"
                                "\"wait\"\t\"5\"\r\n"
                                ".\r\n" +
                                WireLine({"custdomget", CustomName}) + "\r\n";
    QVERIFY2(s.sim.receivedBytes.contains(expected), s.sim.receivedBytes.constData());
    QCOMPARE(s.file(), CustomFile);
}

// Every Latin-1 character of an advanced line comes back as it was sent, a no-break space included.
void TestDomains::advancedTextRoundTripsUnchanged()
{
    Session s;
    const QString file = QStringLiteral("\"external\"\t\"0\"\t\"/bin/f\u00a0x\"\r\n\"wait\"\t\"\u00e9t\u00e9\"\r\n");
    s.sim.state.customDomains.insert(CustomName, file);
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    s.w->cmdSaveDomainAdvanced_Click();
    WAIT_IDLE(s);
    QVERIFY(s.fx.messages.messages.isEmpty());
    QCOMPARE(s.file(), file);
}

// A refused upload drops the reading back, so the editor keeps the change the server lacks.
void TestDomains::refusedSaveKeepsTheLocalChange()
{
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    s.sim.faults.refuseCommand = QStringLiteral("custdomset");
    s.sim.clearRecord();
    s.w->txtDomainRedirect->setText("d@x");
    s.w->cmdAddDomainRedirect_Click();
    WAIT_IDLE(s);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.at(0).text.startsWith("Error response durring 'custdomset'\r\n\r\n-"));
    QVERIFY(!s.sentWord("custdomget"));
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B", "d@x"}));
    QCOMPARE(s.file(), CustomFile);
}

void TestDomains::duplicateCustomDomainRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("same name") << "cd.net";
    QTest::newRow("other letter case") << "CD.Net";
}

void TestDomains::duplicateCustomDomainRefused()
{
    QFETCH(QString, name);
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    s.sim.clearRecord();
    s.w->lstDomainRedirects->addItem("old@x");
    s.w->txtDomainName->setText(name);
    s.w->chkCustDomain->setChecked(true);
    s.w->cmdAddDomain_Click();
    WAIT_IDLE(s);

    QCOMPARE(s.fx.messages.texts(), QStringList({"Custom Domain File \"cd.net.tab\" already exists."}));
    QVERIFY(s.sent({"custdomlist"}));
    QVERIFY(!s.sentWord("custdomset"));
    QVERIFY(!s.sentWord("domainlist"));  // the refresh is dropped with the rest
    QCOMPARE(s.file(), CustomFile);
    QCOMPARE(s.editor(), QString("##\n##"));  // emptied although nothing was uploaded
    // The emptied editor is no file of that name: it cannot be saved over the existing one.
    QVERIFY(!s.w->Session->CustomDomainEditorState().allowsSaveOf(name));
}

void TestDomains::removeCustomDomainUploadsEmptyFile()
{
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    const int connections = s.sim.connections;
    const QString editorBefore = s.editor();

    s.fx.messages.answers = {MsgNo};
    s.w->cmdRemoveCustDomain_Click();
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(s.editor(), editorBefore);
    QCOMPARE(s.fx.messages.texts(), QStringList({"Are you sure you want to delete this custom domain?\r\n\r\n"
                                                 "Custom domain: cd.net\r\nServer: sim1"}));
    QCOMPARE(s.fx.messages.messages.first().defaultButton, MsgNo);

    s.sim.clearRecord();
    s.fx.messages.answers = {MsgYes};
    s.w->cmdRemoveCustDomain_Click();
    QCOMPARE(s.editor(), QString("####"));
    QVERIFY(!s.w->fraServerProperties->isHidden());
    QVERIFY(s.w->tabCustomDomain->isHidden());
    QVERIFY(!s.w->SelectedDomainIndex.isValid());
    QCOMPARE(s.w->SelectedServerIndex, QPersistentModelIndex(s.server()));
    WAIT_IDLE(s);

    QVERIFY(s.sim.receivedBytes.contains(WireLine({"custdomset", CustomName}) + "\r\n.\r\n"));
    QVERIFY(s.sim.state.customDomainKey(CustomName).isNull());
    QVERIFY(!s.custom().isValid());
    QCOMPARE(s.children(s.server()), QStringList({"alpha.com", "beta.org"}));
    QCOMPARE(s.w->fraDomainProperties->title(), QString("Add New Domain"));
}

// The domains before an empty entry stay; the message says what to look for on the server.
void TestDomains::domainListWithEmptyEntry()
{
    Session s;
    s.sim.faults.scriptedReplies.insert(QStringLiteral("domainlist"),
                                        "+00000 OK\r\n\"alpha.com\"\r\n\"\"\r\n\"beta.org\"\r\n.\r\n");
    QVERIFY(s.start());
    s.w->DomainList_Expand(s.server());
    WAIT_IDLE(s);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    const RecordedMessage m = s.fx.messages.messages.at(0);
    QCOMPARE(m.title, QString("Error Loading Domain List"));
    QCOMPARE(m.icon, MsgIcon::Critical);
    QCOMPARE(m.text, QString("An error was encourtered while processing the domains.tab file on the server.  "
                             "Check the file for invalid entries like \"\"."));
    QVERIFY(s.domain("alpha.com").isValid());
    QVERIFY(!s.domain("beta.org").isValid());
}

// Names that made the same node key side by side: 2example.com of server1 and example.com of
// server12, and the domain x-custdomain beside the custom domain x.
void TestDomains::namesThatCollidedLoadBoth()
{
    Session s;
    s.sim.state.domains = {{QStringLiteral("2example.com"), {}}, {QStringLiteral("x-custdomain"), {}}};
    s.sim.state.customDomains = {{QStringLiteral("x"), QString()}};
    TazelSim other;
    other.state.domains = {{QStringLiteral("example.com"), {}}};
    QVERIFY(s.sim.listen());
    QVERIFY(other.listen());
    s.fx.addServerRecord(1, QStringLiteral("sim1"), QStringLiteral("127.0.0.1"), s.sim.port());
    s.fx.addServerRecord(12, QStringLiteral("other"), QStringLiteral("127.0.0.1"), other.port());
    s.w = &s.fx.open();

    s.w->DomainList_Expand(s.server(1));
    s.w->DomainList_Expand(s.server(12));
    WAIT_IDLE(s);
    QVERIFY(s.fx.messages.messages.isEmpty());
    QCOMPARE(s.children(s.server(1)), QStringList({"2example.com", "x", "x-custdomain"}));
    QVERIFY(s.domain("x-custdomain").isValid());
    QVERIFY(s.custom("x").isValid());
    QCOMPARE(s.children(s.server(12)), QStringList({"example.com"}));
}

// Text the protocol cannot carry is refused before anything changes or is queued.
void TestDomains::unsendableInputRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    const QList<QPair<const char*, QString>> texts = {{"double quote", "a\"b"},
                                                      {"TAB", "a\tb"},
                                                      {"line break", "a\nb"},
                                                      {"outside latin-1", QString::fromUtf8("a\u20acb")}};
    for (const char* command : {"add domain", "add custom domain", "add redirection", "add L-redirection"})
        for (const auto& t : texts)
            QTest::addRow("%s, %s", command, t.first) << QString(command) << t.second;
}

void TestDomains::unsendableInputRefused()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    const int connections = s.sim.connections;
    const int domains = s.sim.state.domains.size();

    if (command == "add redirection") {
        s.w->txtDomainRedirect->setText(text);
        s.w->cmdAddDomainRedirect_Click();
    } else if (command == "add L-redirection") {
        s.w->txtDomainLredirect->setText(text);
        s.w->cmdAddDomainLredirect_Click();
    } else {
        s.w->txtDomainName->setText(text);
        s.w->chkCustDomain->setChecked(command == "add custom domain");
        s.w->cmdAddDomain_Click();
    }
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QCOMPARE(s.fx.messages.messages.at(0).icon, MsgIcon::Exclamation);
    QVERIFY(s.fx.messages.messages.at(0).text.contains("cannot be sent"));
    QVERIFY(s.w->Session->DriverIsIdle());
    QVERIFY(s.w->Session->QueueIsEmpty());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B"}));
    QCOMPARE(ListItems(s.w->lstDomainLredirects), QStringList({"C"}));
    QCOMPARE(s.w->txtDomainAdvanced->toPlainText(), QString("\"wait\",\"5\"\n"));
    QCOMPARE(s.sim.state.domains.size(), domains);
    QCOMPARE(s.file(), CustomFile);
}

void TestDomains::advancedTextThatBreaksTheFileRefused_data()
{
    QTest::addColumn<QString>("advanced");
    QTest::addColumn<QString>("why");
    QTest::newRow("a line of a single dot") << "\"wait\",\"5\"\n.\n\"external\",\"x\"" << "\".\"";
    QTest::newRow("a dot as last line") << "\"wait\",\"5\"\n." << "\".\"";
    QTest::newRow("a TAB") << "\"wait\"\t\"5\"" << "TAB";
    QTest::newRow("outside latin-1") << QString::fromUtf8("\"wait\",\"\u20ac\"") << "Latin-1";
}

void TestDomains::advancedTextThatBreaksTheFileRefused()
{
    QFETCH(QString, advanced);
    QFETCH(QString, why);
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    const int connections = s.sim.connections;
    s.w->txtDomainAdvanced->setPlainText(advanced);
    s.w->cmdSaveDomainAdvanced_Click();
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.at(0).text.contains(why));
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(s.w->txtDomainAdvanced->toPlainText(), advanced);

    // An editor button that would save the same text is refused too, and leaves its list alone.
    s.w->txtDomainRedirect->setText("d@x");
    s.w->cmdAddDomainRedirect_Click();
    QCOMPARE(s.fx.messages.messages.size(), 2);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B"}));
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(s.file(), CustomFile);
}

// The connection drops in the middle of the download: the editor holds a part of the file, and a
// save would replace the server's file with that part.
void TestDomains::droppedDownloadRefusesSave()
{
    Session s;
    QVERIFY(s.start());
    LOAD_SERVER(s);
    // The "+" line, the redirection line and a few bytes of the next line.
    s.sim.faults.closeOnCommand = QStringLiteral("custdomget");
    s.sim.faults.closeAfterBytes = 11 + 20 + 5;
    s.w->DomainList_NodeClick(s.custom());
    WAIT_IDLE(s);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B"}));
    QVERIFY(ListItems(s.w->lstDomainLredirects).isEmpty());
    QVERIFY(s.w->Session->CustomDomainEditorState().state != EditorSource::Complete);
    QVERIFY(s.fx.messages.messages.isEmpty());  // the server's close is no error of its own

    const int connections = s.sim.connections;
    s.w->cmdSaveDomainAdvanced_Click();
    s.w->txtDomainLredirect->setText("e@y");
    s.w->cmdAddDomainLredirect_Click();
    s.w->lstDomainRedirects->setCurrentRow(0);
    s.w->cmdDeleteDomainRedirect_Click();
    QCOMPARE(s.fx.messages.messages.size(), 3);
    for (const RecordedMessage& m : s.fx.messages.messages)
        QVERIFY(m.text.contains("was not read completely"));
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, connections);
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B"}));
    QVERIFY(ListItems(s.w->lstDomainLredirects).isEmpty());
    QCOMPARE(s.file(), CustomFile);

    // Read completely, it saves again.
    s.sim.faults = SimFaults();
    s.w->DomainList_NodeClick(s.custom());
    WAIT_IDLE(s);
    s.w->txtDomainLredirect->setText("e@y");
    s.w->cmdAddDomainLredirect_Click();
    WAIT_IDLE(s);
    QCOMPARE(s.file(), QString(CustomFile).replace("\"C\"", "\"C\"\t\"e@y\""));
}

// Two saves queued one behind the other; the first one's reading back is cut short, so when the
// second one's turn comes the editor no longer holds the file: it sends no body, and the server
// keeps the file the first save left.
void TestDomains::queuedSaveAfterFailedDownloadSendsNoBody()
{
    Session s;
    QVERIFY(s.start());
    OPEN_CUSTOM(s);
    // The reading back gets the "+" line, the longer redirection line and a part of the next.
    s.sim.faults.closeOnCommand = QStringLiteral("custdomget");
    s.sim.faults.closeAfterBytes = 11 + 26 + 5;
    s.sim.clearRecord();

    s.w->txtDomainRedirect->setText("d@x");
    s.w->cmdAddDomainRedirect_Click();
    s.w->cmdSaveDomainAdvanced_Click();  // the editor is still complete: queued behind the first
    QCOMPARE(s.w->Session->CountScripts(), 2);
    WAIT_IDLE(s);

    const QString saved = QString(CustomFile).replace("\"B\"", "\"B\"\t\"d@x\"");
    QCOMPARE(s.file(), saved);
    QCOMPARE(s.sentCount({"custdomset", CustomName}), 2);
    QCOMPARE(s.sim.received.count(QByteArray(".")), 1);  // one body only
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.at(0).text.contains("The server keeps its file"));
    QCOMPARE(ListItems(s.w->lstDomainRedirects), QStringList({"A", "B", "d@x"}));
}

QTEST_MAIN(TestDomains)
#include "tst_domains.moc"
