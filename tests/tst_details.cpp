// An account's details against the simulated server: reading aliases, variables, the mail-processing
// file and the POP3 links into the tabs, and every button of the tabs, its exact request lines and
// what the server holds afterwards, read back into the panel. Also the saves that must not reach the
// server: text the protocol cannot carry and mail-processing editors that do not hold the whole file.

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>
#include <functional>

#include "protocol/Protocol.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ControlText.h"
#include "window/frmMain.h"

namespace {

const QString Domain = QStringLiteral("d.com");
const QString ServerKey = QStringLiteral("server1");

// bob's mailproc.tab in the order the program writes one, so that a save gives it back unchanged.
const QString BobMailproc = QStringLiteral(
    "\"mailbox\"\r\n"
    "\"redirect\"\t\"a@x.com\"\t\"b@x.com\"\r\n"
    "\"lredirect\"\t\"c@x.com\"\r\n"
    "\"external\"\t\"0\"\t\"60\"\t\"/bin/filter\xa0v2\"\t\"@@FROM\"\r\n"
    "\"Wait\"\t\"5\"\r\n");

SimState SampleState()
{
    SimState s;
    SimAccount bob;
    bob.name = QStringLiteral("bob");
    bob.password = QStringLiteral("pw");
    bob.kind = QStringLiteral("U");
    bob.vars = {{"RealName", "Bob Smith"}, {"HomePage", "http://bob.d.com"}, {"MaxMBSize", "5000"},
                {"ClosedML", "1"}, {"Language", "en"}};
    bob.hasMailproc = true;
    bob.mailproc = BobMailproc;
    SimAccount carol;  // no mailproc.tab yet
    carol.name = QStringLiteral("carol");
    carol.password = QStringLiteral("pw");
    carol.kind = QStringLiteral("U");
    SimAccount staff;
    staff.name = QStringLiteral("staff");
    staff.password = QStringLiteral("pw");
    staff.kind = QStringLiteral("M");
    staff.members = {{"m1@x.com", "R"}, {"m2@x.com", "RW"}};
    s.domains = {SimDomain{Domain, {bob, carol, staff}}, SimDomain{"other.com", {}}};
    s.aliases = {{Domain, "Bobby", "bob"}, {"other.com", "bob2", "bob@d.com"}, {Domain, "cc", "carol"}};
    s.pop3Links = {{Domain, "bob", "pop.x.com", "bobx", "xpw", "CLR", true}};
    return s;
}

// The lines of a script after its login line (the first line of the connection).
QList<QByteArray> ScriptLines(const TazelSim& sim)
{
    return sim.received.mid(1);
}

// The body of the first mail-processing upload received, the closing "." line included.
QList<QByteArray> UploadBody(const TazelSim& sim)
{
    QList<QByteArray> body;
    const qsizetype at = sim.received.indexOf(WireLine({"usersetmproc", Domain, "bob"}));
    if (at < 0)
        return body;
    for (qsizetype i = at + 1; i < sim.received.size(); ++i) {
        body << sim.received.at(i);
        if (sim.received.at(i) == ".")
            break;
    }
    return body;
}

struct Session {
    WindowFixture fx;
    TazelSim sim;
    frmMain* w = nullptr;

    Session()
    {
        sim.state = SampleState();
        sim.listen();
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
        w = &fx.open();
    }

    QModelIndex accountNode(const QString& name) const
    {
        return w->NodeByKey(frmMain::AccountNodeKey(frmMain::DomainNodeKey(ServerKey, Domain), name));
    }

    // Expands the server and the domain, then clicks the account and waits for its details.
    void openAccount(const QString& name)
    {
        w->DomainList_Expand(w->NodeByKey(ServerKey));
        QTRY_VERIFY(w->Session->DriverIsIdle());
        w->DomainList_Expand(w->NodeByKey(frmMain::DomainNodeKey(ServerKey, Domain)));
        QTRY_VERIFY(w->Session->DriverIsIdle());
        QVERIFY(accountNode(name).isValid());
        w->DomainList_NodeClick(accountNode(name));
        QTRY_VERIFY(w->Session->DriverIsIdle());
    }

    // Runs a click that must queue a script, and waits until the script has ended.
    void run(const std::function<void()>& click)
    {
        sim.clearRecord();
        const int before = fx.messages.messages.size();
        click();
        QVERIFY2(!w->Session->DriverIsIdle(), "the click queued no script");
        QTRY_VERIFY(w->Session->DriverIsIdle());
        QCOMPARE(fx.messages.texts().mid(before), QStringList());
    }

    // A click that must queue nothing and send nothing.
    void runNothing(const std::function<void()>& click)
    {
        sim.clearRecord();
        click();
        QVERIFY(w->Session->DriverIsIdle());
        QVERIFY(w->Session->lstCommand.isEmpty());
        QCOMPARE(sim.received, QList<QByteArray>());
    }
};

}  // namespace

#define OPEN_ACCOUNT(session, name)              \
    do {                                         \
        (session).openAccount(name);             \
        if (QTest::currentTestFailed())          \
            return;                              \
    } while (false)

#define RUN(session, click)                      \
    do {                                         \
        (session).run(click);                    \
        if (QTest::currentTestFailed())          \
            return;                              \
    } while (false)

class TestDetails : public QObject {
    Q_OBJECT
private slots:
    void clickingUserFillsEveryTab();
    void closedListTickedOnlyForOne_data();
    void closedListTickedOnlyForOne();
    void clickingMailingListShowsListForm();
    void dataLinesWithWrongFieldCount_data();
    void dataLinesWithWrongFieldCount();

    void addAlias();
    void deleteAlias();
    void saveVariablesAlsoUploadsMailProcessing_data();
    void saveVariablesAlsoUploadsMailProcessing();
    void uploadBody_data();
    void uploadBody();
    void addRedirection_data();
    void addRedirection();
    void deleteRedirection_data();
    void deleteRedirection();
    void accountWithoutFileGetsOne();
    void addPop3Link_data();
    void addPop3Link();
    void deletePop3LinkDisablesFirst();
    void refusedEnableIsPassedOver();
    void buttonsWithNothingToDoSendNothing_data();
    void buttonsWithNothingToDoSendNothing();

    void refusesUnsendableText_data();
    void refusesUnsendableText();
    void cutOffDownloadRefusesSave_data();
    void cutOffDownloadRefusesSave();
    void queuedSaveAfterCutOffDownloadSendsNoBody();
};

void TestDetails::clickingUserFillsEveryTab()
{
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;

    // Aliases: the account's own domain first, then any domain pointing at the whole address.
    QVERIFY(s.sim.received.contains(WireLine({"aliaslist", Domain, "*", "bob"})));
    QVERIFY(s.sim.received.contains(WireLine({"aliaslist", "*", "*", "bob@d.com"})));
    QCOMPARE(ListItems(w.lstAliases), QStringList({"Bobby", "bob2"}));
    QVERIFY(!w.cmdDeleteAlias->isEnabled());

    QCOMPARE(w.Session->UserVarNames, QStringList({"RealName", "HomePage", "MaxMBSize", "ClosedML", "Language"}));
    QCOMPARE(w.txtRealName->text(), QStringLiteral("Bob Smith"));
    QCOMPARE(w.txtHomePage->text(), QStringLiteral("http://bob.d.com"));
    QCOMPARE(w.txtMaxMBSize->text(), QStringLiteral("5000"));
    QVERIFY(w.chkClosedML->isChecked());

    QVERIFY(w.chkMailbox->isChecked());
    QCOMPARE(ListItems(w.lstRedirects), QStringList({"a@x.com", "b@x.com"}));
    QCOMPARE(ListItems(w.lstLRedirects), QStringList({"c@x.com"}));
    // Unknown keywords stay whole in the advanced text, quotes kept, TABs shown as ",".
    QCOMPARE(w.txtExternal->document()->toRawText().replace(QChar(QChar::ParagraphSeparator), '\n'),
             QStringLiteral("\"external\",\"0\",\"60\",\"/bin/filter\xa0v2\",\"@@FROM\"\n\"Wait\",\"5\"\n"));
    QVERIFY(w.Session->MailProcEditor.allowsSaveOf(QStringLiteral("bob@d.com")));

    QCOMPARE(ListItems(w.lstPOP3), QStringList({"bobx/pop.x.com"}));
    QCOMPARE(w.Session->Pop3LinkUsers, QStringList({"bobx"}));
    QCOMPARE(w.Session->Pop3LinkServers, QStringList({"pop.x.com"}));

    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
    QCOMPARE(w.fraUserProperties->title(), QStringLiteral("User/Account Properties"));
    QVERIFY(w.tabUsers->isVisibleTo(&w));
    QVERIFY(!w.tabUsers->isTabVisible(0));
    QVERIFY(s.fx.messages.messages.isEmpty());
}

void TestDetails::closedListTickedOnlyForOne_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("01") << "01" << false;
}

void TestDetails::closedListTickedOnlyForOne()
{
    QFETCH(QString, value);
    QFETCH(bool, ticked);
    Session s;
    s.sim.state.account(Domain, "bob")->vars = {{"closedml", value}};
    s.w->chkClosedML->setChecked(!ticked);
    OPEN_ACCOUNT(s, "bob");
    QCOMPARE(s.w->chkClosedML->isChecked(), ticked);
}

void TestDetails::clickingMailingListShowsListForm()
{
    Session s;
    OPEN_ACCOUNT(s, "staff");
    frmMain& w = *s.w;
    QCOMPARE(w.lstListUsers->count(), 2);
    QCOMPARE(w.fraUserProperties->title(), QStringLiteral("Mailing List Properties"));
    QVERIFY(w.tabUsers->isTabVisible(0));
    QCOMPARE(w.tabUsers->currentIndex(), 0);
    // A list's aliases are read in its own domain only.
    QVERIFY(s.sim.received.contains(WireLine({"aliaslist", Domain, "*", "staff"})));
    QVERIFY(!s.sim.received.contains(WireLine({"aliaslist", "*", "*", "staff@d.com"})));
}

void TestDetails::dataLinesWithWrongFieldCount_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QStringList>("stored");  // what the collections hold afterwards
    QTest::newRow("alias of 2 fields") << "aliaslist" << QByteArray("\"d.com\"\t\"two\"") << true << QStringList();
    QTest::newRow("alias of 4 fields") << "aliaslist" << QByteArray("\"d.com\"\t\"four\"\t\"bob\"\t\"x\"") << true
                                       << QStringList();
    QTest::newRow("alias of 3 fields") << "aliaslist" << QByteArray("\"d.com\"\t\"three\"\t\"bob\"") << false
                                       << QStringList({"three", "three"});  // one per pass
    QTest::newRow("variable of 1 field") << "uservars" << QByteArray("\"lonely\"") << true << QStringList();
    QTest::newRow("variable of 3 fields") << "uservars" << QByteArray("\"Name\"\t\"value\"\t\"extra\"") << false
                                          << QStringList({"Name", "value"});
    QTest::newRow("link of 4 fields") << "poplnklist" << QByteArray("\"d.com\"\t\"bob\"\t\"srv\"\t\"usr\"") << true
                                      << QStringList();
    QTest::newRow("link of 7 fields") << "poplnklist"
                                      << QByteArray("\"d.com\"\t\"bob\"\t\"srv\"\t\"usr\"\t\"pw\"\t\"CLR\"\t\"1\"")
                                      << false << QStringList({"usr", "srv"});
}

void TestDetails::dataLinesWithWrongFieldCount()
{
    QFETCH(QString, word);
    QFETCH(QByteArray, line);
    QFETCH(bool, reported);
    QFETCH(QStringList, stored);
    Session s;
    s.sim.faults.scriptedReplies.insert(word, "+00000 OK\r\n" + line + "\r\n.\r\n");
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;

    QStringList held;
    if (word == QLatin1String("aliaslist")) {
        held = w.Session->AliasEntries;
    } else if (word == QLatin1String("uservars")) {
        for (int i = 0; i < w.Session->UserVarNames.size(); ++i)
            held << w.Session->UserVarNames.at(i) << w.Session->UserVarValues.at(i);
    } else {
        for (int i = 0; i < w.Session->Pop3LinkUsers.size(); ++i)
            held << w.Session->Pop3LinkUsers.at(i) << w.Session->Pop3LinkServers.at(i);
        QCOMPARE(w.lstPOP3->count(), w.Session->Pop3LinkUsers.size());
    }
    QCOMPARE(held, stored);
    // A malformed line is skipped and reported once per reply (the aliases come in two replies,
    // both scripted here); the rest of the account is read and its panel shown.
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
    if (reported) {
        const QString message = QStringLiteral("1 line of the server's answer to '%1' could not be read and was "
                                               "skipped; the rest of the answer was read. The first of them:\r\n\r\n%2")
                                    .arg(word, QString::fromLatin1(line));
        const QStringList expected = word == QLatin1String("aliaslist") ? QStringList({message, message})
                                                                         : QStringList({message});
        QCOMPARE(s.fx.messages.texts(), expected);
    } else {
        QCOMPARE(s.fx.messages.texts(), QStringList());
    }
}

void TestDetails::addAlias()
{
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.txtNewAlias->setText(QStringLiteral("  New.Alias  "));
    RUN(s, [&] { w.cmdAddAlias_Click(); });
    QCOMPARE(ScriptLines(s.sim), QList<QByteArray>({WireLine({"aliasadd", Domain, "new.alias", "bob@d.com"}),
                                                    WireLine({"aliaslist", Domain, "*", "bob"}),
                                                    WireLine({"aliaslist", "*", "*", "bob@d.com"})}));
    QVERIFY(s.sim.state.aliasIndex(Domain, "new.alias") >= 0);
    QCOMPARE(s.sim.state.aliases.at(s.sim.state.aliasIndex(Domain, "new.alias")).account, QStringLiteral("bob@d.com"));
    QCOMPARE(ListItems(w.lstAliases), QStringList({"Bobby", "bob2", "new.alias"}));
    QCOMPARE(w.txtNewAlias->text(), QString());
}

void TestDetails::deleteAlias()
{
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.lstAliases->setCurrentRow(0);  // "Bobby"
    QVERIFY(w.cmdDeleteAlias->isEnabled());
    RUN(s, [&] { w.cmdDeleteAlias_Click(); });
    QCOMPARE(ScriptLines(s.sim), QList<QByteArray>({WireLine({"aliasdel", Domain, "bobby"}),
                                                    WireLine({"aliaslist", Domain, "*", "bob"}),
                                                    WireLine({"aliaslist", "*", "*", "bob@d.com"})}));
    QCOMPARE(s.sim.state.aliasIndex(Domain, "Bobby"), -1);
    QCOMPARE(ListItems(w.lstAliases), QStringList({"bob2"}));
    QVERIFY(!w.cmdDeleteAlias->isEnabled());
}

void TestDetails::saveVariablesAlsoUploadsMailProcessing_data()
{
    QTest::addColumn<QString>("realName");
    QTest::addColumn<QString>("maxSize");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("closedValue");
    QTest::newRow("closed list ticked") << "Robert Smith" << "7000" << true << "1";
    QTest::newRow("closed list unticked") << "Robert Smith" << "7000" << false << "0";
    QTest::newRow("blanks kept, empty size") << "  Bob" << "" << true << "1";
    // The pairs end at a mark of their own: a name typed as the mark is a value like any other.
    QTest::newRow("value reads !EOF") << "!EOF" << "10" << false << "0";
}

void TestDetails::saveVariablesAlsoUploadsMailProcessing()
{
    QFETCH(QString, realName);
    QFETCH(QString, maxSize);
    QFETCH(bool, closed);
    QFETCH(QString, closedValue);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.txtRealName->setText(realName);
    w.txtMaxMBSize->setText(maxSize);
    w.chkClosedML->setChecked(closed);
    RUN(s, [&] { w.cmdSaveUserVars_Click(); });

    const QList<QByteArray> lines = ScriptLines(s.sim);
    QVERIFY(lines.size() > 3);
    QCOMPARE(lines.at(0), WireLine({"uservarsset", Domain, "bob", "RealName", realName, "HomePage", "http://bob.d.com",
                                   "MaxMBSize", maxSize, "ClosedML", closedValue}));
    QCOMPARE(lines.at(1), WireLine({"usersetmproc", Domain, "bob"}));
    QCOMPARE(lines.mid(lines.size() - 2),
             QList<QByteArray>({WireLine({"uservars", Domain, "bob"}), WireLine({"usergetmproc", Domain, "bob"})}));

    const SimAccount* bob = s.sim.state.account(Domain, "bob");
    QCOMPARE(bob->vars.at(0), (QPair<QString, QString>("RealName", realName)));
    QCOMPARE(bob->vars.at(3), (QPair<QString, QString>("ClosedML", closedValue)));
    // The file went back as it came, every line ended CR LF.
    QCOMPARE(bob->mailproc, BobMailproc);
    QVERIFY(s.sim.receivedBytes.contains(Wire::encode(BobMailproc) + ".\r\n"));

    QCOMPARE(w.txtRealName->text(), realName);
    QCOMPARE(w.txtMaxMBSize->text(), maxSize);
    QCOMPARE(w.chkClosedML->isChecked(), closed);
    QCOMPARE(ListItems(w.lstRedirects), QStringList({"a@x.com", "b@x.com"}));
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
}

void TestDetails::uploadBody_data()
{
    QTest::addColumn<bool>("mailbox");
    QTest::addColumn<QStringList>("redirects");
    QTest::addColumn<QStringList>("lredirects");
    QTest::addColumn<QString>("advanced");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("local storage alone is a file of its line")
        << true << QStringList() << QStringList() << "" << QByteArray("\"mailbox\"\r\n.\r\n");
    QTest::newRow("nothing at all") << false << QStringList() << QStringList() << "  " << QByteArray(".\r\n");
    QTest::newRow("local storage and one redirection")
        << true << QStringList({"r@x.com"}) << QStringList() << ""
        << QByteArray("\"mailbox\"\r\n\"redirect\"\t\"r@x.com\"\r\n.\r\n");
    QTest::newRow("both lists, no local storage")
        << false << QStringList({"r1@x.com", "r2@x.com"}) << QStringList({"l@x.com"}) << ""
        << QByteArray("\"redirect\"\t\"r1@x.com\"\t\"r2@x.com\"\r\n\"lredirect\"\t\"l@x.com\"\r\n.\r\n");
    QTest::newRow("advanced lines each ended CR LF, the last one too")
        << false << QStringList() << QStringList() << "\"external\",\"1\"\n\"wait\",\"5\""
        << QByteArray("\"external\"\t\"1\"\r\n\"wait\"\t\"5\"\r\n.\r\n");
    QTest::newRow("a comma inside a field stays")
        << false << QStringList() << QStringList() << "\"external\",\"a,b\"\n"
        << QByteArray("\"external\"\t\"a,b\"\r\n.\r\n");
}

void TestDetails::uploadBody()
{
    QFETCH(bool, mailbox);
    QFETCH(QStringList, redirects);
    QFETCH(QStringList, lredirects);
    QFETCH(QString, advanced);
    QFETCH(QByteArray, body);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.chkMailbox->setChecked(mailbox);
    w.lstRedirects->clear();
    w.lstRedirects->addItems(redirects);
    w.lstLRedirects->clear();
    w.lstLRedirects->addItems(lredirects);
    w.txtExternal->setPlainText(advanced);
    RUN(s, [&] { w.cmdSaveAdvanced_Click(); });

    const QByteArray request = WireLine({"usersetmproc", Domain, "bob"}) + "\r\n";
    QVERIFY(s.sim.receivedBytes.contains(request + body + WireLine({"usergetmproc", Domain, "bob"})));
    // What the server now holds comes back into the editors.
    const SimAccount* bob = s.sim.state.account(Domain, "bob");
    QCOMPARE(bob->hasMailproc, body != ".\r\n");
    QCOMPARE(bob->mailproc.toLatin1() + ".\r\n", body);
    QCOMPARE(ListItems(w.lstRedirects), redirects);
    QCOMPARE(ListItems(w.lstLRedirects), lredirects);
    // An account without a file stores its mail locally.
    QCOMPARE(w.chkMailbox->isChecked(), mailbox || !bob->hasMailproc);
}

void TestDetails::addRedirection_data()
{
    QTest::addColumn<bool>("local");
    QTest::newRow("redirection") << false;
    QTest::newRow("L-redirection") << true;
}

void TestDetails::addRedirection()
{
    QFETCH(bool, local);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    (local ? w.txtLRedirect : w.txtRedirect)->setText(QStringLiteral("  new@x.com "));
    RUN(s, [&] { local ? w.cmdAddLRedirect_Click() : w.cmdAddRedirect_Click(); });

    const QByteArray line = local ? QByteArray("\"lredirect\"\t\"c@x.com\"\t\"new@x.com\"")
                                  : QByteArray("\"redirect\"\t\"a@x.com\"\t\"b@x.com\"\t\"new@x.com\"");
    QVERIFY(UploadBody(s.sim).contains(line));
    QVERIFY(s.sim.state.account(Domain, "bob")->mailproc.contains(QString::fromLatin1(line) + "\r\n"));
    QCOMPARE(ScriptLines(s.sim).last(), WireLine({"usergetmproc", Domain, "bob"}));
    QCOMPARE(ListItems(local ? w.lstLRedirects : w.lstRedirects),
             local ? QStringList({"c@x.com", "new@x.com"}) : QStringList({"a@x.com", "b@x.com", "new@x.com"}));
    QCOMPARE((local ? w.txtLRedirect : w.txtRedirect)->text(), QString());
    QVERIFY(w.fraUserProperties->isVisibleTo(&w));
}

void TestDetails::deleteRedirection_data()
{
    QTest::addColumn<bool>("local");
    QTest::newRow("redirection") << false;
    QTest::newRow("L-redirection") << true;
}

void TestDetails::deleteRedirection()
{
    QFETCH(bool, local);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    QListWidget* list = local ? w.lstLRedirects : w.lstRedirects;
    QPushButton* button = local ? w.cmdDeleteLRedirect : w.cmdDeleteRedirect;
    list->setCurrentRow(0);
    QVERIFY(button->isEnabled());
    bool neighbourSelected = true;
    RUN(s, [&] {
        local ? w.cmdDeleteLRedirect_Click() : w.cmdDeleteRedirect_Click();
        neighbourSelected = !list->selectedItems().isEmpty();
    });
    QVERIFY(!neighbourSelected);  // a second click must not delete an entry nobody chose

    const QList<QByteArray> body = UploadBody(s.sim);
    if (local)
        QVERIFY(!body.join('\n').contains("lredirect"));  // its only entry went
    else
        QVERIFY(body.contains("\"redirect\"\t\"b@x.com\""));
    QCOMPARE(ListItems(list), local ? QStringList() : QStringList({"b@x.com"}));
    QVERIFY(!button->isEnabled());
    QVERIFY(w.chkMailbox->isChecked());
}

void TestDetails::accountWithoutFileGetsOne()
{
    Session s;
    OPEN_ACCOUNT(s, "carol");
    frmMain& w = *s.w;
    // The server has no file for her: empty editors with local storage, and the first save asks
    // before it creates the file (answered Yes here).
    QVERIFY(s.fx.messages.messages.isEmpty());
    QVERIFY(w.chkMailbox->isChecked());
    QCOMPARE(w.lstRedirects->count(), 0);
    w.txtRedirect->setText(QStringLiteral("r@x.com"));
    s.fx.messages.answers = {MsgYes};
    w.cmdAddRedirect_Click();
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.first().question);
    QCOMPARE(s.sim.state.account(Domain, "carol")->mailproc,
             QStringLiteral("\"mailbox\"\r\n\"redirect\"\t\"r@x.com\"\r\n"));
    QCOMPARE(ListItems(w.lstRedirects), QStringList({"r@x.com"}));
}

void TestDetails::addPop3Link_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("auth");
    QTest::newRow("CLR") << "CLR" << "CLR";
    QTest::newRow("APOP") << "APOP" << "APOP";
    QTest::newRow("neither") << "" << "APOP";
}

void TestDetails::addPop3Link()
{
    QFETCH(QString, choice);
    QFETCH(QString, auth);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.optCLR->setAutoExclusive(false);
    w.optAPOP->setAutoExclusive(false);
    w.optCLR->setChecked(choice == QLatin1String("CLR"));
    w.optAPOP->setChecked(choice == QLatin1String("APOP"));
    w.txtPOP3Server->setText(QStringLiteral(" pop2.x.com "));
    w.txtPOP3User->setText(QStringLiteral(" Bob2 "));
    w.txtPOP3Pass->setText(QStringLiteral(" my secret, too! "));
    RUN(s, [&] { w.cmdAddPOP3_Click(); });

    QCOMPARE(ScriptLines(s.sim),
             QList<QByteArray>({WireLine({"poplnkadd", Domain, "bob", "pop2.x.com", "Bob2", "my secret, too!", auth}),
                                WireLine({"poplnkenable", "1", Domain, "bob", "pop2.x.com", "Bob2"}),
                                WireLine({"poplnklist", Domain, "bob"})}));
    const int at = s.sim.state.pop3LinkIndex(Domain, "bob", "pop2.x.com", "Bob2");
    QVERIFY(at >= 0);
    QVERIFY(s.sim.state.pop3Links.at(at).enabled);
    QCOMPARE(s.sim.state.pop3Links.at(at).auth, auth);
    QCOMPARE(ListItems(w.lstPOP3), QStringList({"bobx/pop.x.com", "Bob2/pop2.x.com"}));
    QCOMPARE(w.Session->Pop3LinkServers, QStringList({"pop.x.com", "pop2.x.com"}));
    QCOMPARE(w.txtPOP3Pass->text(), QString());
}

void TestDetails::deletePop3LinkDisablesFirst()
{
    Session s;
    s.sim.state.pop3Links.append({Domain, "bob", "pop2.x.com", "other", "pw", "APOP", true});
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.lstPOP3->setCurrentRow(1);
    QVERIFY(w.cmdDeletePOP3->isEnabled());
    RUN(s, [&] { w.cmdDeletePOP3_Click(); });
    QCOMPARE(ScriptLines(s.sim),
             QList<QByteArray>({WireLine({"poplnkenable", "0", Domain, "bob", "pop2.x.com", "other"}),
                                WireLine({"poplnkdel", Domain, "bob", "pop2.x.com", "other"}),
                                WireLine({"poplnklist", Domain, "bob"})}));
    QCOMPARE(s.sim.state.pop3Links.size(), 1);
    QCOMPARE(ListItems(w.lstPOP3), QStringList({"bobx/pop.x.com"}));
    QVERIFY(!w.cmdDeletePOP3->isEnabled());
}

void TestDetails::refusedEnableIsPassedOver()
{
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    s.sim.faults.refuseCommand = QStringLiteral("poplnkenable");
    w.txtPOP3Server->setText(QStringLiteral("pop2.x.com"));
    w.txtPOP3User->setText(QStringLiteral("u2"));
    w.txtPOP3Pass->setText(QStringLiteral("p2"));
    RUN(s, [&] { w.cmdAddPOP3_Click(); });  // RUN also checks that no message was shown
    QVERIFY(ScriptLines(s.sim).contains(WireLine({"poplnklist", Domain, "bob"})));
    QCOMPARE(ListItems(w.lstPOP3), QStringList({"bobx/pop.x.com", "u2/pop2.x.com"}));

    w.lstPOP3->setCurrentRow(0);
    RUN(s, [&] { w.cmdDeletePOP3_Click(); });
    QCOMPARE(s.sim.state.pop3LinkIndex(Domain, "bob", "pop.x.com", "bobx"), -1);
    QCOMPARE(ListItems(w.lstPOP3), QStringList({"u2/pop2.x.com"}));
}

void TestDetails::buttonsWithNothingToDoSendNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("delete alias, none selected") << "cmdDeleteAlias";
    QTest::newRow("delete redirection, none selected") << "cmdDeleteRedirect";
    QTest::newRow("delete L-redirection, none selected") << "cmdDeleteLRedirect";
    QTest::newRow("delete POP3 link, none selected") << "cmdDeletePOP3";
    QTest::newRow("add redirection, blank") << "cmdAddRedirect";
    QTest::newRow("add L-redirection, blank") << "cmdAddLRedirect";
    QTest::newRow("add POP3 link, blank password") << "cmdAddPOP3";
}

void TestDetails::buttonsWithNothingToDoSendNothing()
{
    QFETCH(QString, button);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    const QMap<QString, std::pair<QPushButton*, std::function<void()>>> buttons = {
        {"cmdDeleteAlias", {w.cmdDeleteAlias, [&] { w.cmdDeleteAlias_Click(); }}},
        {"cmdDeleteRedirect", {w.cmdDeleteRedirect, [&] { w.cmdDeleteRedirect_Click(); }}},
        {"cmdDeleteLRedirect", {w.cmdDeleteLRedirect, [&] { w.cmdDeleteLRedirect_Click(); }}},
        {"cmdDeletePOP3", {w.cmdDeletePOP3, [&] { w.cmdDeletePOP3_Click(); }}},
        {"cmdAddRedirect", {w.cmdAddRedirect, [&] { w.cmdAddRedirect_Click(); }}},
        {"cmdAddLRedirect", {w.cmdAddLRedirect, [&] { w.cmdAddLRedirect_Click(); }}},
        {"cmdAddPOP3", {w.cmdAddPOP3, [&] { w.cmdAddPOP3_Click(); }}},
    };
    for (QListWidget* list : {w.lstAliases, w.lstRedirects, w.lstLRedirects, w.lstPOP3}) {
        list->setCurrentRow(0);
        list->clearSelection();
    }
    w.txtRedirect->setText(QStringLiteral("   "));
    w.txtPOP3Server->setText(QStringLiteral("pop2.x.com"));
    w.txtPOP3User->setText(QStringLiteral("u2"));
    w.txtPOP3Pass->setText(QStringLiteral("  "));
    const QStringList redirects = ListItems(w.lstRedirects);
    const auto& [widget, click] = buttons.value(button);
    widget->setEnabled(true);  // as if the button had been left enabled
    s.runNothing(click);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(ListItems(w.lstRedirects), redirects);
    QCOMPARE(ListItems(w.lstAliases), QStringList({"Bobby", "bob2"}));
    if (button.startsWith(QLatin1String("cmdDelete")))
        QVERIFY(!widget->isEnabled());
    QVERIFY(s.fx.messages.messages.isEmpty());
}

void TestDetails::refusesUnsendableText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("button");
    QTest::newRow("alias with a double quote") << "txtNewAlias" << "a\"\t\"x" << "cmdAddAlias";
    QTest::newRow("alias outside Latin-1") << "txtNewAlias" << QString::fromUtf8("\u0142ukasz") << "cmdAddAlias";
    QTest::newRow("real name with a TAB") << "txtRealName" << "Bob\tSmith" << "cmdSaveUserVars";
    QTest::newRow("home page with a double quote") << "txtHomePage" << "http://x\"" << "cmdSaveUserVars";
    QTest::newRow("size outside Latin-1") << "txtMaxMBSize" << QString::fromUtf8("5\u20ac") << "cmdSaveUserVars";
    QTest::newRow("redirection with a double quote") << "txtRedirect" << "r\"@x.com" << "cmdAddRedirect";
    QTest::newRow("L-redirection outside Latin-1") << "txtLRedirect" << QString::fromUtf8("\u20ac@x.com")
                                                   << "cmdAddLRedirect";
    QTest::newRow("advanced line of a lone dot") << "txtExternal" << "\"external\",\"1\"\n.\n\"wait\",\"5\""
                                                 << "cmdSaveAdvanced";
    QTest::newRow("advanced lone dot, saved with the variables")
        << "txtExternal" << "\"external\",\"1\"\n." << "cmdSaveUserVars";
    QTest::newRow("advanced text with a TAB") << "txtExternal" << "\"external\"\t\"1\"" << "cmdSaveAdvanced";
    QTest::newRow("advanced text outside Latin-1") << "txtExternal" << QString::fromUtf8("\"x\",\"\u20ac\"")
                                                   << "cmdSaveAdvanced";
    QTest::newRow("POP3 server with a double quote") << "txtPOP3Server" << "pop\".x.com" << "cmdAddPOP3";
    QTest::newRow("POP3 password outside Latin-1") << "txtPOP3Pass" << QString::fromUtf8("p\u0101ss") << "cmdAddPOP3";
}

void TestDetails::refusesUnsendableText()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, button);
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    w.txtPOP3Server->setText(QStringLiteral("pop2.x.com"));
    w.txtPOP3User->setText(QStringLiteral("u2"));
    w.txtPOP3Pass->setText(QStringLiteral("p2"));
    if (field == QLatin1String("txtExternal")) {
        w.txtExternal->setPlainText(text);
    } else {
        const QMap<QString, QLineEdit*> edits = {
            {"txtNewAlias", w.txtNewAlias},     {"txtRealName", w.txtRealName},
            {"txtHomePage", w.txtHomePage},     {"txtMaxMBSize", w.txtMaxMBSize},
            {"txtRedirect", w.txtRedirect},     {"txtLRedirect", w.txtLRedirect},
            {"txtPOP3Server", w.txtPOP3Server}, {"txtPOP3Pass", w.txtPOP3Pass},
        };
        QLineEdit* edit = edits.value(field);
        edit->setText(text);
        QCOMPARE(edit->text(), text);  // the box holds what would go on the wire
    }
    const QStringList redirects = ListItems(w.lstRedirects);
    const QStringList lredirects = ListItems(w.lstLRedirects);
    const QMap<QString, std::function<void()>> clicks = {
        {"cmdAddAlias", [&] { w.cmdAddAlias_Click(); }},
        {"cmdSaveUserVars", [&] { w.cmdSaveUserVars_Click(); }},
        {"cmdAddRedirect", [&] { w.cmdAddRedirect_Click(); }},
        {"cmdAddLRedirect", [&] { w.cmdAddLRedirect_Click(); }},
        {"cmdSaveAdvanced", [&] { w.cmdSaveAdvanced_Click(); }},
        {"cmdAddPOP3", [&] { w.cmdAddPOP3_Click(); }},
    };
    s.runNothing(clicks.value(button));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(!s.fx.messages.messages.first().question);
    QCOMPARE(ListItems(w.lstRedirects), redirects);
    QCOMPARE(ListItems(w.lstLRedirects), lredirects);
    QCOMPARE(s.sim.state.account(Domain, "bob")->mailproc, BobMailproc);
}

void TestDetails::cutOffDownloadRefusesSave_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("save variables") << "cmdSaveUserVars";
    QTest::newRow("save advanced") << "cmdSaveAdvanced";
    QTest::newRow("add redirection") << "cmdAddRedirect";
    QTest::newRow("delete L-redirection") << "cmdDeleteLRedirect";
}

void TestDetails::cutOffDownloadRefusesSave()
{
    QFETCH(QString, button);
    Session s;
    // The connection drops in the middle of the file: the "+" line, the "mailbox" line and part of
    // the redirection line arrive.
    s.sim.faults.closeOnCommand = QStringLiteral("usergetmproc");
    s.sim.faults.closeAfterBytes = int(qstrlen("+00000 OK\r\n\"mailbox\"\r\n\"redir"));
    s.openAccount("bob");
    if (QTest::currentTestFailed())
        return;
    frmMain& w = *s.w;
    QVERIFY(w.chkMailbox->isChecked());
    QCOMPARE(w.lstRedirects->count(), 0);
    s.sim.faults = SimFaults{};

    w.txtRedirect->setText(QStringLiteral("r@x.com"));
    w.lstLRedirects->addItem(QStringLiteral("l@x.com"));
    w.lstLRedirects->setCurrentRow(0);
    const QMap<QString, std::function<void()>> clicks = {
        {"cmdSaveUserVars", [&] { w.cmdSaveUserVars_Click(); }},
        {"cmdSaveAdvanced", [&] { w.cmdSaveAdvanced_Click(); }},
        {"cmdAddRedirect", [&] { w.cmdAddRedirect_Click(); }},
        {"cmdDeleteLRedirect", [&] { w.cmdDeleteLRedirect_Click(); }},
    };
    const int before = s.fx.messages.messages.size();
    s.runNothing(clicks.value(button));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(s.fx.messages.messages.size(), before + 1);
    QVERIFY(s.fx.messages.messages.last().text.contains(QStringLiteral("bob@d.com")));
    QCOMPARE(w.lstRedirects->count(), 0);
    QCOMPARE(ListItems(w.lstLRedirects), QStringList({"l@x.com"}));
    QCOMPARE(s.sim.state.account(Domain, "bob")->mailproc, BobMailproc);
}

void TestDetails::queuedSaveAfterCutOffDownloadSendsNoBody()
{
    Session s;
    OPEN_ACCOUNT(s, "bob");
    frmMain& w = *s.w;
    // The variables' save reads the file back and that download is cut off; a second save queued
    // behind it (while the editors still held the whole file) must then not upload what is left.
    s.sim.faults.closeOnCommand = QStringLiteral("usergetmproc");
    s.sim.faults.closeAfterBytes = int(qstrlen("+00000 OK\r\n\"mailbox\"\r\n"));
    s.sim.clearRecord();
    w.txtRealName->setText(QStringLiteral("Robert"));
    w.cmdSaveUserVars_Click();
    w.cmdSaveAdvanced_Click();
    QVERIFY(s.fx.messages.messages.isEmpty());
    QTRY_VERIFY(w.Session->DriverIsIdle());

    const QByteArray request = WireLine({"usersetmproc", Domain, "bob"});
    QCOMPARE(s.sim.received.count(request), 2);
    QCOMPARE(s.sim.received.last(), request);  // the second upload got no body
    QCOMPARE(s.sim.state.account(Domain, "bob")->mailproc, BobMailproc);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(s.fx.messages.messages.first().text.contains(QStringLiteral("bob@d.com")));
    QCOMPARE(s.sim.state.account(Domain, "bob")->vars.at(0).second, QStringLiteral("Robert"));
}

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
