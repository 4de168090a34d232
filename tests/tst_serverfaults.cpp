// What a hostile or merely unusual server sends must never make the program write the wrong thing
// back: a "-" inside a file download or instead of it, lines beyond a reply, files the editors
// cannot hold as they are, odd kind fields and names holding a quote, endless or dripping lines.
// Each case runs against the simulated server through the window's own commands.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>
#include <QtTest>
#include <functional>

#include "session/ActivityLog.h"
#include "protocol/Protocol.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/FileLines.h"
#include "tests/TestKit.h"
#include "window/ControlText.h"
#include "window/frmMain.h"

namespace {

const QString Domain = QStringLiteral("d.com");
const QString ServerKey = QStringLiteral("server1");
const QString BobFile = QStringLiteral("\"mailbox\"\r\n\"redirect\"\t\"a@x.com\"\t\"b@x.com\"\r\n"
                                       "\"external\"\t\"0\"\t\"60\"\t\"/bin/f\"\r\n\"wait\"\t\"5\"\r\n");

// The texts of the activity log's notes, one a line.
QString LogNotes(const frmMain& w)
{
    QStringList notes;
    for (int row = 0; row < w.Activity->rowCount(); ++row)
        if (w.Activity->text(row, ActivityLog::KindColumn) == QLatin1String("note"))
            notes << w.Activity->text(row, ActivityLog::ActionColumn);
    return notes.join(QLatin1Char('\n'));
}

SimAccount Account(const QString& name, const QString& file = QString())
{
    SimAccount a = SimAccount::Make(name);
    a.hasMailproc = !file.isNull();
    a.mailproc = file;
    return a;
}

struct Session {
    WindowFixture fx;
    TazelSim sim;
    frmMain* w = nullptr;

    Session()
    {
        sim.state.domains = {SimDomain{Domain, {Account("bob", BobFile), Account("carol")}}};
        sim.listen();
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
        w = &fx.open();
    }
    QModelIndex domainNode(const QString& domain = Domain) const
    {
        return w->NodeByKey(frmMain::DomainNodeKey(ServerKey, domain));
    }
    QModelIndex accountNode(const QString& name) const
    {
        return w->NodeByKey(frmMain::AccountNodeKey(frmMain::DomainNodeKey(ServerKey, Domain), name));
    }
    // Clicks a node on the tree and waits until its script has ended.
    void click(const QModelIndex& node)
    {
        QVERIFY(node.isValid());
        w->DomainList->scrollTo(node);
        const QRect r = w->DomainList->visualRect(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, r.center());
        QTRY_VERIFY(w->Session->DriverIsIdle());
    }
    // Expands a node on the tree (its first expansion loads it) and waits for the load.
    void expand(const QModelIndex& node)
    {
        QVERIFY(node.isValid());
        w->DomainList->expand(node);
        QTRY_VERIFY(w->Session->DriverIsIdle());
    }
    void openServer()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        expand(w->NodeByKey(ServerKey));
    }
    void openAccount(const QString& name)
    {
        openServer();
        expand(domainNode());
        click(accountNode(name));
    }
    QString file(const QString& name) const { return sim.state.account(Domain, name)->mailproc; }
    QStringList messagesSince(int before) const { return fx.messages.texts().mid(before); }
};

QStringList SortedLines(const QString& file)
{
    QStringList lines = file.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    lines.sort();
    return lines;
}

}  // namespace

#define CHECKED(call)                   \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

class TestServerFaults : public QObject {
    Q_OBJECT
private slots:
    void minusInsideDownloadRefusesSave();
    void minusInsideMailprocDownloadLetsAccountLoad();
    void oddAccountLineAmongSoundOnes_data();
    void oddAccountLineAmongSoundOnes();
    void thousandOddLinesRaiseOneMessage();
    void oddLinesSkippedInEveryList_data();
    void oddLinesSkippedInEveryList();
    void controlCharactersAreNeverSent_data();
    void controlCharactersAreNeverSent();
    void noFileAsksBeforeCreatingOne_data();
    void noFileAsksBeforeCreatingOne();
    void strayLinesAnswerNoRequest();
    void unsavedFileGoesBackAsItCame();
    void fileTheEditorsCannotHoldIsReadOnly();
    void kindFieldNotOneLetter_data();
    void kindFieldNotOneLetter();
    void nameWithQuoteIsNeverSentAsAnother();
    void overlongLineAbandonsScript();
    void drippingLineAbandonsScript();
    void unreadableStoreIsNeverWritten();
    void failedWriteSaysSo();
    void simulatorRecordsOnlyWhenAsked();
};

void TestServerFaults::minusInsideDownloadRefusesSave()
{
    Session s;
    s.sim.faults.scriptedReplies.insert(
        "usergetmproc", "+00000 OK\r\n\"redirect\"\t\"a@x.com\"\r\n-00001 Connection lost to the file store\r\n");
    CHECKED(s.openAccount("bob"));
    frmMain& w = *s.w;
    QCOMPARE(ListItems(w.lstRedirects), QStringList{"a@x.com"});
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::Loading);
    s.sim.faults = SimFaults{};

    const int before = s.fx.messages.messages.size();
    s.sim.clearRecord();
    w.txtRedirect->setText(QStringLiteral("new@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.received, QList<QByteArray>());
    const QStringList said = s.messagesSince(before);
    QCOMPARE(said.size(), 1);
    QVERIFY(said.first().contains("bob@d.com"));
    QCOMPARE(ListItems(w.lstRedirects), QStringList{"a@x.com"});
    QCOMPARE(s.file("bob"), BobFile);
}

// The simulated server breaks the mail-processing download off with a "-" after its "+" and first
// line: the download stays incomplete (never saved whole), the log notes it, and the rest of the
// account-load script runs: the POP3 links are listed and the account panel is shown.
void TestServerFaults::minusInsideMailprocDownloadLetsAccountLoad()
{
    Session s;
    s.sim.state.pop3Links << SimPop3Link{Domain, QStringLiteral("bob"), QStringLiteral("pop.x.com"),
                                         QStringLiteral("bobby"), QStringLiteral("pw"), QStringLiteral("CLR"), true};
    s.sim.faults.minusInsideCommand = QStringLiteral("usergetmproc");
    s.sim.faults.minusAfterLines = 1;
    CHECKED(s.openAccount("bob"));
    frmMain& w = *s.w;
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
    QCOMPARE(ListItems(w.lstPOP3), QStringList{"bobby/pop.x.com"});
    QVERIFY(w.chkMailbox->isChecked());  // the one line that came
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::Loading);
    QCOMPARE(s.fx.messages.texts(), QStringList());
    QVERIFY2(LogNotes(w).contains("The mail processing file of bob@d.com was not sent whole"), qPrintable(LogNotes(w)));
    int row = w.Activity->rowCount() - 1;
    while (row > 0 && w.Activity->text(row, ActivityLog::KindColumn) == QLatin1String("note"))
        --row;
    QCOMPARE(w.Activity->text(row, ActivityLog::ActionColumn), QString("read account bob@d.com"));
    QCOMPARE(w.Activity->text(row, ActivityLog::OutcomeColumn), QString("done"));

    // Never saved whole: a change is refused with a message, and nothing goes to the server.
    s.sim.faults = SimFaults{};
    s.sim.clearRecord();
    w.txtRedirect->setText(QStringLiteral("new@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.received, QList<QByteArray>());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QCOMPARE(s.file("bob"), BobFile);
}

// One odd account line (a kind field of two letters, or a wrong number of fields) among sound
// ones: the sound accounts are listed and can be opened, one message tells of the odd line, the
// log notes it, and the action's outcome is "done".
void TestServerFaults::oddAccountLineAmongSoundOnes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("kind UM") << QByteArray("\"d.com\"\t\"odd\"\t\"pw\"\t\"UM\"");
    QTest::newRow("three fields") << QByteArray("\"d.com\"\t\"odd\"\t\"pw\"");
    QTest::newRow("five fields") << QByteArray("\"d.com\"\t\"odd\"\t\"pw\"\t\"U\"\t\"x\"");
}

void TestServerFaults::oddAccountLineAmongSoundOnes()
{
    QFETCH(QByteArray, line);
    Session s;
    s.sim.faults.malformedCommand = QStringLiteral("userlist");
    s.sim.faults.malformedLine = line;
    CHECKED(s.openServer());
    CHECKED(s.expand(s.domainNode()));
    frmMain& w = *s.w;
    QVERIFY(s.accountNode("bob").isValid());
    QVERIFY(s.accountNode("carol").isValid());
    QCOMPARE(w.DomainModel->rowCount(s.domainNode()), 2);
    QCOMPARE(w.Session->UserEntriesDomain, Domain);  // the list counts as read whole
    QCOMPARE(s.fx.messages.texts(),
             QStringList{"1 line of the server's answer to 'userlist' could not be read and was skipped; the rest "
                         "of the answer was read. The first of them:\r\n\r\n" + QString::fromLatin1(line)});
    QVERIFY2(LogNotes(w).contains("1 line of the answer to \"userlist\" could not be read and was skipped."),
             qPrintable(LogNotes(w)));
    QVERIFY(!LogNotes(w).contains("\"pw\""));  // the log never shows a password
    QCOMPARE(w.StatusPanel1->text(), QString("list accounts of d.com: done"));
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));  // the script went on to its end

    s.sim.faults = SimFaults{};
    CHECKED(s.click(s.accountNode("bob")));
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
    QCOMPARE(w.txtUserName->text(), QString("bob"));
    QCOMPARE(s.fx.messages.texts().size(), 1);
}

// A server that sends a thousand odd lines raises one message, not a thousand.
void TestServerFaults::thousandOddLinesRaiseOneMessage()
{
    Session s;
    s.sim.faults.malformedCommand = QStringLiteral("userlist");
    s.sim.faults.malformedLine = "\"d.com\"\t\"odd\"\t\"pw\"\t\"UM\"";
    s.sim.faults.malformedCount = 1000;
    CHECKED(s.openServer());
    CHECKED(s.expand(s.domainNode()));
    QCOMPARE(s.w->DomainModel->rowCount(s.domainNode()), 2);
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY2(s.fx.messages.texts().first().startsWith(
                 "1000 lines of the server's answer to 'userlist' could not be read and were skipped"),
             qPrintable(s.fx.messages.texts().first()));
    QVERIFY(s.fx.messages.texts().first().endsWith("\r\n\r\n\"d.com\"\t\"odd\"\t\"pw\"\t\"UM\""));
    QVERIFY(LogNotes(*s.w).contains("1000 lines of the answer to \"userlist\""));
}

// Every list reply follows the one rule: its odd lines are skipped, its sound ones listed, the
// script goes on, and each reply raises one message.
void TestServerFaults::oddLinesSkippedInEveryList_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("replies");  // how many replies of that command the loads read
    QTest::newRow("domains") << "domainlist" << 1;
    QTest::newRow("custom domains") << "custdomlist" << 1;
    QTest::newRow("accounts, and the one account") << "userlist" << 2;  // "userlist" reads one account too
    QTest::newRow("members") << "mluserlist" << 1;
    QTest::newRow("aliases, both passes") << "aliaslist" << 2;
    QTest::newRow("variables") << "uservars" << 1;
    QTest::newRow("POP3 links") << "poplnklist" << 1;
}

void TestServerFaults::oddLinesSkippedInEveryList()
{
    QFETCH(QString, command);
    QFETCH(int, replies);
    Session s;
    SimAccount staff = SimAccount::Make(QStringLiteral("staff"), QStringLiteral("pw"), QStringLiteral("M"));
    staff.members << SimMember{QStringLiteral("ann@x.org"), QStringLiteral("R")};
    s.sim.state.domains.first().accounts << staff;
    s.sim.state.domains << SimDomain{QStringLiteral("e.org"), {}};
    s.sim.state.customDomains.insert(QStringLiteral("c.net"), QString());
    s.sim.state.account(Domain, "bob")->vars = {{QStringLiteral("RealName"), QStringLiteral("Bob B")}};
    s.sim.state.aliases << SimAlias{Domain, QStringLiteral("bobby"), QStringLiteral("bob")};
    s.sim.state.pop3Links << SimPop3Link{Domain, QStringLiteral("bob"), QStringLiteral("pop.x.com"),
                                         QStringLiteral("bobby"), QStringLiteral("pw"), QStringLiteral("CLR"), true};
    s.sim.faults.malformedCommand = command;
    s.sim.faults.malformedCount = 3;
    CHECKED(s.openServer());
    frmMain& w = *s.w;
    QVERIFY(s.domainNode().isValid());
    QVERIFY(s.domainNode(QStringLiteral("e.org")).isValid());
    QVERIFY(w.NodeByKey(frmMain::CustomDomainNodeKey(ServerKey, QStringLiteral("c.net"))).isValid());
    CHECKED(s.expand(s.domainNode()));
    QCOMPARE(w.DomainModel->rowCount(s.domainNode()), 3);
    CHECKED(s.click(s.accountNode(command == QLatin1String("mluserlist") ? "staff" : "bob")));
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
    if (command == QLatin1String("mluserlist")) {
        QCOMPARE(ListItems(w.lstListUsers), QStringList{"R - ann@x.org"});
    } else {
        QCOMPARE(ListItems(w.lstAliases), QStringList{"bobby"});
        QCOMPARE(w.txtRealName->text(), QString("Bob B"));
        QCOMPARE(ListItems(w.lstPOP3), QStringList{"bobby/pop.x.com"});
    }
    const QString said = QStringLiteral("3 lines of the server's answer to '%1' could not be read and were skipped").arg(command);
    QStringList texts = s.fx.messages.texts();
    QCOMPARE(int(texts.size()), replies);
    for (int i = 0; i < texts.size(); ++i) {
        // The second "userlist" is the one account's, which the window calls "getuser".
        const QString expected = command == QLatin1String("userlist") && i == 1 ? QString(said).replace("'userlist'", "'getuser'") : said;
        QVERIFY2(texts.at(i).startsWith(expected), qPrintable(texts.at(i)));
    }
    QVERIFY(LogNotes(w).contains(QStringLiteral("3 lines of the answer to \"%1\"").arg(command)));
}

// DEL and the C1 control characters are refused like the other control characters, before
// anything is queued (the one check every front end uses).
void TestServerFaults::controlCharactersAreNeverSent_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("DEL") << QString("ne") + QChar(0x7F) + "w";
    QTest::newRow("NEL (0x85)") << QString("ne") + QChar(0x85) + "w";
    QTest::newRow("0x9F") << QString(QChar(0x9F)) + "new";
}

void TestServerFaults::controlCharactersAreNeverSent()
{
    QFETCH(QString, name);
    Session s;
    CHECKED(s.openServer());
    CHECKED(s.expand(s.domainNode()));
    frmMain& w = *s.w;
    s.sim.clearRecord();
    w.txtUserName->setText(name);
    w.txtPassword->setText(QStringLiteral("pw"));
    QTest::mouseClick(w.cmdAddUser, Qt::LeftButton);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.received, QList<QByteArray>());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY2(s.fx.messages.texts().first().contains("cannot be sent to the server: it holds a double quote, a "
                                                    "control character"),
             qPrintable(s.fx.messages.texts().first()));
    QCOMPARE(s.sim.state.domain(Domain)->accounts.size(), 2);
}

void TestServerFaults::noFileAsksBeforeCreatingOne_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No keeps the server as it is") << false;
    QTest::newRow("Yes creates the file") << true;
}

void TestServerFaults::noFileAsksBeforeCreatingOne()
{
    QFETCH(bool, yes);
    Session s;
    // carol has no file: the server answers the download with "-".
    CHECKED(s.openAccount("carol"));
    frmMain& w = *s.w;
    QVERIFY(w.chkMailbox->isChecked());
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::NotSent);
    QVERIFY(LogNotes(w).contains("did not send a mail processing file for carol@d.com"));
    const QString answer = w.Session->MailProcEditor.serverAnswer;
    QVERIFY(answer.startsWith('-'));

    s.fx.messages.answers = {yes ? MsgYes : MsgNo};
    s.sim.clearRecord();
    w.txtRedirect->setText(QStringLiteral("r@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.fx.messages.messages.size(), 1);
    const RecordedMessage& q = s.fx.messages.messages.first();
    QVERIFY(q.question);
    QCOMPARE(q.defaultButton, MsgNo);
    QCOMPARE(q.text, QString("The server did not send a mail processing file for carol@d.com (its answer: %1). "
                             "Saving will create one from what you see here, replacing any file the server "
                             "has. Save anyway?")
                         .arg(answer));
    if (!yes) {
        QCOMPARE(s.sim.received, QList<QByteArray>());
        QVERIFY(!s.sim.state.account(Domain, "carol")->hasMailproc);
        QCOMPARE(w.lstRedirects->count(), 0);
        return;
    }
    QCOMPARE(s.file("carol"), QString("\"mailbox\"\r\n\"redirect\"\t\"r@x.com\"\r\n"));
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::Complete);  // read back: the next save asks nothing
    w.txtRedirect->setText(QStringLiteral("s@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QCOMPARE(s.file("carol"), QString("\"mailbox\"\r\n\"redirect\"\t\"r@x.com\"\t\"s@x.com\"\r\n"));
}

void TestServerFaults::strayLinesAnswerNoRequest()
{
    Session s;
    // An extra "." after the variables (and a partial line) would otherwise be read as an empty
    // mail-processing file, which the next save would upload over bob's.
    s.sim.faults.scriptedReplies.insert("uservars", "+00000 OK\r\n\"RealName\"\t\"Bob\"\r\n.\r\n.\r\n+junk");
    CHECKED(s.openAccount("bob"));
    frmMain& w = *s.w;
    QCOMPARE(w.Session->ReplyBuffer.discardedLines(), 2);
    QVERIFY(LogNotes(w).contains("2 line(s) the server sent beyond its reply were dropped"));
    QCOMPARE(ListItems(w.lstRedirects), (QStringList{"a@x.com", "b@x.com"}));
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::Complete);
    s.sim.faults = SimFaults{};

    w.txtRedirect->setText(QStringLiteral("c@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.fx.messages.texts(), QStringList());
    QCOMPARE(SortedLines(s.file("bob")),
             SortedLines(QString(BobFile).replace("\"b@x.com\"", "\"b@x.com\"\t\"c@x.com\"")));
}

// The round trip as a property: any file the wire can carry, downloaded and saved unedited, goes
// back line for line, byte for byte, or its save is refused with a message and the server keeps it.
void TestServerFaults::unsavedFileGoesBackAsItCame()
{
    Session s;
    CHECKED(s.openAccount("bob"));
    frmMain& w = *s.w;
    QRandomGenerator r(11);
    int sentBack = 0, refused = 0;
    for (int round = 0; round < 60; ++round) {
        const QStringList lines = RandomFile(r, 6);
        const QString file = lines.join("\r\n") + "\r\n";
        s.sim.state.account(Domain, "bob")->mailproc = file;
        CHECKED(s.click(s.accountNode("bob")));
        const int before = s.fx.messages.messages.size();
        QTest::mouseClick(w.cmdSaveAdvanced, Qt::LeftButton);
        QTRY_VERIFY(w.Session->DriverIsIdle());
        const QString context = QString::fromLatin1(QByteArray(file.toLatin1()).toPercentEncoding());
        if (s.messagesSince(before).isEmpty()) {
            ++sentBack;
            QVERIFY2(SortedLines(s.file("bob")) == SortedLines(file), qPrintable(context));
        } else {
            ++refused;
            QVERIFY2(s.file("bob") == file, qPrintable(context));
        }
    }
    QVERIFY(sentBack > 10);
    QVERIFY(refused > 10);
}

void TestServerFaults::fileTheEditorsCannotHoldIsReadOnly()
{
    Session s;
    const QString file = QStringLiteral("\"redirect\"\t\"a@x.com\"\r\n\"a\",\"b\"\r\nx\ry\r\n");
    s.sim.state.account(Domain, "bob")->mailproc = file;
    CHECKED(s.openAccount("bob"));
    frmMain& w = *s.w;
    QCOMPARE(w.Session->MailProcEditor.state, EditorSource::Unholdable);
    QVERIFY(w.txtExternal->isReadOnly());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().contains("The mail processing file of bob@d.com holds a line"));

    s.sim.clearRecord();
    QTest::mouseClick(w.cmdSaveAdvanced, Qt::LeftButton);
    w.txtRedirect->setText(QStringLiteral("c@x.com"));
    QTest::mouseClick(w.cmdAddRedirect, Qt::LeftButton);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.received, QList<QByteArray>());
    QCOMPARE(s.fx.messages.texts().size(), 3);
    QCOMPARE(s.file("bob"), file);

    // carol's file reads normally again: the box is editable.
    s.click(s.accountNode("carol"));
    QVERIFY(!w.txtExternal->isReadOnly());
}

void TestServerFaults::kindFieldNotOneLetter_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("two letters") << QByteArray("UM");
    QTest::newRow("empty") << QByteArray("");
}

void TestServerFaults::kindFieldNotOneLetter()
{
    QFETCH(QByteArray, kind);
    Session s;
    s.sim.faults.scriptedReplies.insert(
        "userlist", "+00000 OK\r\n\"d.com\"\t\"yak\"\t\"pw\"\t\"" + kind + "\"\r\n\"d.com\"\t\"ze\"\t\"pw\"\t\"U\"\r\n.\r\n");
    CHECKED(s.openServer());
    CHECKED(s.expand(s.domainNode()));
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().contains("\"yak\""));
    // No node under a name the server never had: neither "yakU" nor "ze" stands for anyone else.
    const QModelIndex domain = s.domainNode();
    for (int i = 0; i < s.w->DomainModel->rowCount(domain); ++i) {
        const QString name = s.w->NodeText(s.w->DomainModel->index(i, 0, domain));
        QVERIFY2(name != "yak" && !name.startsWith("yak"), qPrintable(name));
    }
}

void TestServerFaults::nameWithQuoteIsNeverSentAsAnother()
{
    Session s;
    s.sim.state.domains << SimDomain{QStringLiteral("quote.com"), {}};
    s.sim.faults.scriptedReplies.insert("domainlist", "+00000 OK\r\n\"q\"uote.com\"\r\n\"d.com\"\r\n.\r\n");
    s.sim.faults.scriptedReplies.insert(
        "userlist", "+00000 OK\r\n\"d.com\"\t\"b\"ob\"\t\"pw\"\t\"U\"\r\n\"d.com\"\t\"bob\"\t\"pw\"\t\"U\"\r\n.\r\n");
    CHECKED(s.openServer());
    const QModelIndex quoted = s.domainNode(QStringLiteral("q\"uote.com"));
    QVERIFY(quoted.isValid());
    QVERIFY(!s.domainNode(QStringLiteral("quote.com")).isValid());

    s.sim.clearRecord();
    CHECKED(s.click(quoted));
    QCOMPARE(s.sim.received, QList<QByteArray>());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().startsWith("\"q\"uote.com\" cannot be sent to the server: it holds a "
                                                     "double quote"));

    CHECKED(s.expand(s.domainNode()));
    const QModelIndex account = s.accountNode(QStringLiteral("b\"ob"));
    QVERIFY(account.isValid());
    s.sim.clearRecord();
    CHECKED(s.click(account));
    QCOMPARE(s.sim.received, QList<QByteArray>());
    QCOMPARE(s.fx.messages.texts().size(), 2);
    QVERIFY(s.fx.messages.texts().last().startsWith("\"b\"ob\" cannot be sent"));
}

void TestServerFaults::overlongLineAbandonsScript()
{
    Session s;
    s.w->Session->MaxReplyLineBytes = 64 * 1024;
    s.sim.faults.scriptedReplies.insert("domainlist", "+00000 OK\r\n" + QByteArray(300 * 1024, 'x'));
    CHECKED(s.openServer());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().contains("sent a line longer than 0.0625 MiB"));
    QVERIFY(!s.w->Session->TcpConnection);
    QCOMPARE(s.w->Session->ReplyBuffer.pending(), 0);
    // The queue moves on: the next action reads the domains.
    s.sim.faults = SimFaults{};
    CHECKED(s.click(s.w->NodeByKey(ServerKey)));
    QVERIFY(s.domainNode().isValid());
}

void TestServerFaults::drippingLineAbandonsScript()
{
    Session s;
    s.w->Session->LineTimeoutMs = 300;
    // Half a line, then nothing: the 60-second silence limit is not what ends it here.
    s.sim.faults.scriptedReplies.insert("domainlist", "+00000 OK\r\n\"d.co");
    CHECKED(s.openServer());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    QVERIFY(s.fx.messages.texts().first().contains("began a line of its answer and did not end it"));
    QCOMPARE(s.w->Session->ReplyBuffer.pending(), 0);
}

void TestServerFaults::unreadableStoreIsNeverWritten()
{
    // A folder where the file should be: the store cannot be read (as a file without read
    // permission cannot, for a user other than root).
    QTemporaryDir dir;
    const QString path = dir.filePath("Tazel Administrator.conf");
    QVERIFY(QDir().mkpath(path + "/keep"));
    QSettings settings(path, QSettings::IniFormat);
    RecordingMessages messages;
    RecordingPrinter printer;
    {
        frmMain w(&settings, &messages, &printer);
        QTRY_COMPARE(messages.texts().size(), 1);
        QVERIFY(messages.texts().first().startsWith("The stored servers could not be read from \"" + path));
        QCOMPARE(w.DomainModel->rowCount(w.NodeByKey("Servers")), 0);  // no server under the root

        w.txtServerName->setText("new");
        w.txtServerAddress->setText("127.0.0.1");
        QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
        QTRY_COMPARE(messages.texts().size(), 2);
        QVERIFY(messages.texts().last().startsWith("The server could not be saved"));
        QCOMPARE(w.DomainModel->rowCount(w.NodeByKey("Servers")), 0);  // no server under the root
        w.close();
    }
    settings.sync();
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Tazel Administrator.conf"});
}

void TestServerFaults::failedWriteSaysSo()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/Tazel Administrator.conf");
    QSettings settings(path, QSettings::IniFormat);
    RecordingMessages messages;
    RecordingPrinter printer;
    frmMain w(&settings, &messages, &printer);
    QCOMPARE(messages.texts(), QStringList());
    // The folder becomes a file: the next write cannot reach the disk.
    QFile blocker(dir.filePath("sub"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.txtServerName->setText("new");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    QTRY_COMPARE(messages.texts().size(), 1);
    QVERIFY(messages.texts().first().startsWith("The server could not be saved"));
    QCOMPARE(w.DomainModel->rowCount(w.NodeByKey("Servers")), 0);  // no server under the root
    QCOMPARE(QFileInfo(dir.filePath("sub")).size(), 0);
}

void TestServerFaults::simulatorRecordsOnlyWhenAsked()
{
    Session s;
    s.sim.recording = false;
    CHECKED(s.openServer());
    QVERIFY(s.domainNode().isValid());
    QCOMPARE(s.sim.received.size(), 0);
    QCOMPARE(s.sim.receivedBytes.size(), 0);
}

QTEST_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
