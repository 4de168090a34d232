// Accounts and mailing lists: the replies that list a domain's accounts, a list's members and one
// account, and the commands that add and delete accounts, set passwords and edit list members.

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ControlText.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

namespace {
const QString Domain = QStringLiteral("example.com");

QStringList EntryTexts(const frmMain& w)
{
    QStringList out;
    for (const UserEntry& e : w.Session->Replies().UserEntries)
        out << e.nameAndKind + QLatin1Char('/') + e.password;
    return out;
}

// A window connected to a simulated server holding example.com with a user and a mailing list.
struct Session {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    Session()
    {
        const SimAccount bob = SimAccount::Make(QStringLiteral("bob"), QStringLiteral("Bob-Pw"), QStringLiteral("U"));
        SimAccount staff = SimAccount::Make(QStringLiteral("staff"), QStringLiteral("listpw"), QStringLiteral("M"));
        staff.members = {{QStringLiteral("ann@x.org"), QStringLiteral("R")},
                         {QStringLiteral("joe@x.org"), QStringLiteral("RW")}};
        sim.state.domains = {{Domain, {bob, staff}}, {QStringLiteral("empty.org"), {}}};
    }

    // Starts the server (at the given version) and opens the window on it.
    bool start(const QString& version = QStringLiteral("0.70"))
    {
        sim.version = version;
        if (!sim.listen())
            return false;
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
        w = &fx.open();
        return true;
    }

    QModelIndex domainNode(const QString& name = Domain) const
    {
        return w->NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), name));
    }

    QModelIndex accountNode(const QString& name) const
    {
        const QModelIndex d = domainNode();
        for (int i = 0; i < w->DomainModel->rowCount(d); ++i) {
            const QModelIndex c = w->DomainModel->index(i, 0, d);
            if (w->NodeText(c) == name)
                return c;
        }
        return {};
    }

    QStringList accountNodes(const QString& domain = Domain) const
    {
        const QModelIndex d = domainNode(domain);
        QStringList out;
        for (int i = 0; i < w->DomainModel->rowCount(d); ++i) {
            const QModelIndex c = w->DomainModel->index(i, 0, d);
            out << w->NodeText(c) + QLatin1Char('/') + w->NodeTag(c);
        }
        return out;
    }

    bool sent(const QStringList& fields) const { return sim.received.contains(WireLine(fields)); }
    bool sentWord(const QByteArray& word) const
    {
        for (const QByteArray& l : sim.received)
            if (l.startsWith('"' + word + '"'))
                return true;
        return false;
    }
};

#define OPEN_DOMAIN(s, domain)                                                 \
    do {                                                                       \
        (s).w->DomainList_NodeClick((s).w->NodeByKey(QStringLiteral("server1"))); \
        QTRY_VERIFY((s).w->Session->DriverIsIdle());                                    \
        QVERIFY((s).domainNode(domain).isValid());                             \
        (s).w->DomainList_NodeClick((s).domainNode(domain));                   \
        QTRY_VERIFY((s).w->Session->DriverIsIdle());                                    \
    } while (0)

#define OPEN_ACCOUNT(s, name)                                                  \
    do {                                                                       \
        OPEN_DOMAIN(s, Domain);                                                \
        QVERIFY((s).accountNode(name).isValid());                              \
        (s).w->DomainList_NodeClick((s).accountNode(name));                    \
        QTRY_VERIFY((s).w->Session->DriverIsIdle());                                    \
    } while (0)
// The one message a list reply with malformed lines raises.
QString MalformedMessage(const QString& command, int count, const QString& first)
{
    return QStringLiteral("%1 of the server's answer to '%2' could not be read and %3 skipped; the rest of the "
                          "answer was read. The first of them:\r\n\r\n%4")
        .arg(count == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(count), command,
             count == 1 ? QStringLiteral("was") : QStringLiteral("were"), first);
}
}  // namespace

class TestUsers : public QObject {
    Q_OBJECT
private slots:
    void accountListLines_data();
    void accountListLines();
    void memberAndAccountLines_data();
    void memberAndAccountLines();
    void accountsAppearUnderDomain();
    void addAccount_data();
    void addAccount();
    void deleteAccount_data();
    void deleteAccount();
    void savePasswordReadsAccountBack_data();
    void savePasswordReadsAccountBack();
    void addMember_data();
    void addMember();
    void deleteMemberSendsAddressAlone();
    void unsendableInputIsRefused_data();
    void unsendableInputIsRefused();
};

// The account list reply line by line: what lands in UserEntries, what is reported, and whether
// the list counts as complete for its domain.
void TestUsers::accountListLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<bool>("complete");

    QTest::newRow("two accounts, one without password")
        << QStringList{"+00000 OK", "\"example.com\"\t\"bob\"\t\"Bob-Pw\"\t\"U\"",
                       "\"example.com\"\t\"staff\"\t\"\"\t\"M\"", "."}
        << QStringList{"bobU/Bob-Pw", "staffM/"} << QStringList{} << true;
    QTest::newRow("no data lines") << QStringList{"+00000 OK", "."} << QStringList{} << QStringList{} << true;
    QTest::newRow("3 and 5 fields reported once, the lines after them still read")
        << QStringList{"+00000 OK", "\"example.com\"\t\"ann\"\t\"pw\"",
                       "\"example.com\"\t\"bob\"\t\"b\"\t\"U\"",
                       "\"example.com\"\t\"cy\"\t\"pw\"\t\"U\"\t\"x\"",
                       "\"example.com\"\t\"dan\"\t\"d\"\t\"M\"", "."}
        << QStringList{"bobU/b", "danM/d"}
        << QStringList{"\"example.com\"\t\"ann\"\t\"pw\"", "\"example.com\"\t\"cy\"\t\"pw\"\t\"U\"\t\"x\""}
        << true;
    QTest::newRow("blanks at the ends dropped, blanks inside fields kept, empty line passed over")
        << QStringList{"+00000 OK", "", "  \"example.com\"\t\" bob\"\t\"p w \"\t\"U\"  ", "."}
        << QStringList{" bobU/p w "} << QStringList{} << true;
    QTest::newRow("no closing dot: not a complete list")
        << QStringList{"+00000 OK", "\"example.com\"\t\"bob\"\t\"b\"\t\"U\""}
        << QStringList{"bobU/b"} << QStringList{} << false;
}

void TestUsers::accountListLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, reported);
    QFETCH(bool, complete);
    WindowFixture fx;
    frmMain& w = fx.open();
    w.Session->AwaitReplyTo(Pseudo::UserList, Domain);

    ReplyOutcome last = ReplyOutcome::Stop;
    for (const QString& line : lines) {
        last = w.Session->HandleUserListLine(line);
        if (line != QLatin1String("."))
            QCOMPARE(last, ReplyOutcome::Continue);
    }
    QCOMPARE(last == ReplyOutcome::Complete, complete);
    QCOMPARE(EntryTexts(w), entries);
    // One message for the reply, at its end: how many lines were skipped, and the first of them.
    QStringList expectedMessages;
    if (!reported.isEmpty())
        expectedMessages << MalformedMessage("userlist", reported.size(), reported.first());
    QCOMPARE(fx.messages.texts(), expectedMessages);
    QCOMPARE(w.Session->Replies().UserEntriesDomain, complete ? Domain : QString());
}

// Members of a mailing list and the details of one account.
void TestUsers::memberAndAccountLines_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown");  // the member item, or the account fields as name/password/list
    QTest::addColumn<bool>("reported");

    QTest::newRow("member read only") << Pseudo::MlUserList << "\"ann@x.org\"\t\"R\"" << "R - ann@x.org" << false;
    QTest::newRow("member code in lower case") << Pseudo::MlUserList << "\"ann@x.org\"\t\"r\"" << "R - ann@x.org" << false;
    QTest::newRow("member read and post") << Pseudo::MlUserList << "\"joe@x.org\"\t\"RW\"" << "W - joe@x.org" << false;
    QTest::newRow("member without code") << Pseudo::MlUserList << "\"joe@x.org\"" << "W - joe@x.org" << false;
    QTest::newRow("member with 3 fields") << Pseudo::MlUserList << "\"joe@x.org\"\t\"R\"\t\"x\"" << "" << true;
    QTest::newRow("account, list") << Pseudo::GetUser << "\"d\"\t\"staff\"\t\"pw\"\t\"M\"" << "staff/pw/1" << false;
    QTest::newRow("account, list in lower case") << Pseudo::GetUser << "\"d\"\t\"staff\"\t\"pw\"\t\"m\"" << "staff/pw/1" << false;
    QTest::newRow("account, user") << Pseudo::GetUser << "\"d\"\t\"bob\"\t\"Bob-Pw\"\t\"U\"" << "bob/Bob-Pw/0" << false;
    QTest::newRow("account with 3 fields") << Pseudo::GetUser << "\"d\"\t\"bob\"\t\"Bob-Pw\"" << "old/oldpw/1" << true;
}

void TestUsers::memberAndAccountLines()
{
    QFETCH(QString, command);
    QFETCH(QString, line);
    QFETCH(QString, shown);
    QFETCH(bool, reported);
    WindowFixture fx;
    frmMain& w = fx.open();
    w.Session->AwaitReplyTo(command);
    w.txtUserName->setText(QStringLiteral("old"));
    w.txtPassword->setText(QStringLiteral("oldpw"));
    w.chkAsList->setChecked(true);

    const bool members = command == Pseudo::MlUserList;
    auto handle = [&](const QString& l) {
        return members ? w.Session->HandleMlUserListLine(l) : w.Session->HandleGetUserLine(l);
    };
    QCOMPARE(handle(QStringLiteral("+00000 OK")), ReplyOutcome::Continue);
    QCOMPARE(handle(line), ReplyOutcome::Continue);
    QCOMPARE(handle(QStringLiteral(".")), ReplyOutcome::Complete);

    if (members) {
        QCOMPARE(ListItems(w.lstListUsers), shown.isEmpty() ? QStringList{} : QStringList{shown});
    } else {
        QCOMPARE(w.txtUserName->text() + '/' + w.txtPassword->text() + '/' +
                     QString::number(w.chkAsList->isChecked()),
                 shown);
    }
    const QString name = members ? QStringLiteral("mluserlist") : QStringLiteral("getuser");
    QCOMPARE(fx.messages.texts(), reported ? QStringList{MalformedMessage(name, 1, line)} : QStringList{});
}

void TestUsers::accountsAppearUnderDomain()
{
    Session s;
    QVERIFY(s.start());
    OPEN_DOMAIN(s, Domain);
    QCOMPARE(s.accountNodes(), (QStringList{"bob/U", "staff/M"}));
    auto* model = static_cast<ServerTreeModel*>(s.w->DomainModel);
    auto imageOf = [&](const QString& name) {
        return qvariant_cast<QIcon>(s.accountNode(name).data(Qt::DecorationRole)).cacheKey();
    };
    QCOMPARE(imageOf(QStringLiteral("bob")), model->image(QStringLiteral("User")).cacheKey());
    QCOMPARE(imageOf(QStringLiteral("staff")), model->image(QStringLiteral("List")).cacheKey());
    QCOMPARE(EntryTexts(*s.w), (QStringList{"bobU/Bob-Pw", "staffM/listpw"}));
    QCOMPARE(s.w->Session->Replies().UserEntriesDomain, Domain);
    QVERIFY(!s.w->fraUserProperties->isHidden());  // ready for a new account
    QVERIFY(s.w->cmdAddUser->isVisibleTo(s.w->fraUserProperties));

    // A domain without accounts: an empty list and no account nodes.
    s.w->DomainList_NodeClick(s.domainNode(QStringLiteral("empty.org")));
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    QVERIFY(s.w->Session->Replies().UserEntries.isEmpty());
    QCOMPARE(s.w->Session->Replies().UserEntriesDomain, QStringLiteral("empty.org"));
    QCOMPARE(s.accountNodes(QStringLiteral("empty.org")), QStringList{});
    QVERIFY(s.w->DomainModel->hasChildren(s.domainNode()));  // the other domain keeps its accounts
    QVERIFY(s.fx.messages.messages.isEmpty());
}

// Name trimmed and in lower case, password trimmed with its case kept, the kind from the box.
void TestUsers::addAccount_data()
{
    QTest::addColumn<bool>("asList");
    QTest::addColumn<QString>("kind");
    QTest::newRow("user") << false << "U";
    QTest::newRow("mailing list") << true << "M";
}

void TestUsers::addAccount()
{
    QFETCH(bool, asList);
    QFETCH(QString, kind);
    Session s;
    QVERIFY(s.start());
    OPEN_DOMAIN(s, Domain);
    s.w->txtUserName->setText(QStringLiteral("  NewOne "));
    s.w->txtPassword->setText(QStringLiteral(" Sec Ret  "));
    s.w->chkAsList->setChecked(asList);

    s.w->cmdAddUser_Click();
    QTRY_VERIFY(s.w->Session->DriverIsIdle());

    QVERIFY(s.sent({"useradd", Domain, "newone", "Sec Ret", kind}));
    const SimAccount* added = s.sim.state.account(Domain, QStringLiteral("newone"));
    QVERIFY(added);
    QCOMPARE(added->kind, kind);
    QCOMPARE(s.accountNodes(), (QStringList{"bob/U", "newone/" + kind, "staff/M"}));
    // Ready for the next account.
    QVERIFY(s.w->txtUserName->text().isEmpty());
    QVERIFY(!s.w->chkAsList->isChecked());
    QVERIFY(s.fx.messages.messages.isEmpty());
}

// The question comes first; No changes nothing, Yes hides the panels at once.
void TestUsers::deleteAccount_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<int>("answer");
    QTest::newRow("user, no") << "bob" << int(MsgNo);
    QTest::newRow("user, yes") << "bob" << int(MsgYes);
    QTest::newRow("mailing list, yes") << "staff" << int(MsgYes);
}

void TestUsers::deleteAccount()
{
    QFETCH(QString, account);
    QFETCH(int, answer);
    Session s;
    QVERIFY(s.start());
    OPEN_ACCOUNT(s, account);
    QVERIFY(!s.w->fraUserProperties->isHidden());
    const int linesBefore = s.sim.received.size();
    s.fx.messages.answers.push_back(MsgButton(answer));

    s.w->cmdDeleteUser_Click();

    QCOMPARE(s.fx.messages.messages.size(), 1);
    // The question names the account and its server; No is the default.
    QCOMPARE(s.fx.messages.messages.first().text,
             QStringLiteral("Are you sure you want to delete this user?\r\n\r\nAccount: %1@%2\r\nServer: sim")
                 .arg(account, Domain));
    QCOMPARE(s.fx.messages.messages.first().defaultButton, MsgNo);
    QCOMPARE(s.fx.messages.messages.first().title, QStringLiteral("Tazel Administrator"));
    if (answer == MsgNo) {
        QCOMPARE(s.w->Session->CountScripts(), 0);
        QVERIFY(!s.w->fraUserProperties->isHidden());
        QVERIFY(s.w->Session->DriverIsIdle());
        QCOMPARE(s.sim.received.size(), linesBefore);
        QVERIFY(s.sim.state.account(Domain, account));
        return;
    }
    QVERIFY(s.w->fraUserProperties->isHidden());
    QVERIFY(s.w->fraDomainProperties->isHidden());
    QVERIFY(s.w->fraServerProperties->isHidden());
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    QVERIFY(s.sent({"userdel", Domain, account}));
    QVERIFY(!s.sim.state.account(Domain, account));
    QVERIFY(!s.accountNode(account).isValid());
    QCOMPARE(s.accountNodes().size(), 1);
    QVERIFY(!s.w->fraUserProperties->isHidden());  // shown again, ready for a new account
}

void TestUsers::savePasswordReadsAccountBack_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("trimmed, case kept") << "  New Pw9 " << "New Pw9";
    QTest::newRow("blanks only: the empty password") << "   " << "";
}

void TestUsers::savePasswordReadsAccountBack()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Session s;
    QVERIFY(s.start());
    OPEN_ACCOUNT(s, QStringLiteral("bob"));
    QCOMPARE(s.w->txtPassword->text(), QStringLiteral("Bob-Pw"));
    s.w->txtPassword->setText(typed);

    s.w->cmdSavePassword_Click();
    QTRY_VERIFY(s.w->Session->DriverIsIdle());

    QVERIFY(s.sent({"userpasswd", Domain, "bob", stored}));
    QCOMPARE(s.sim.state.account(Domain, QStringLiteral("bob"))->password, stored);
    // Read back from the server, not left as typed.
    QCOMPARE(s.sim.received.last(), WireLine({"userlist", Domain, "bob"}));
    QCOMPARE(s.w->txtPassword->text(), stored);
    QCOMPARE(s.w->txtUserName->text(), QStringLiteral("bob"));
    QVERIFY(s.fx.messages.messages.isEmpty());
}

// The access from the options; a 0.63 server is sent no access at all.
void TestUsers::addMember_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("option");  // "read", "post" or "none"
    QTest::addColumn<QStringList>("request");
    QTest::addColumn<QString>("item");
    const QStringList head{"mluseradd", Domain, "staff", "new@x.org"};
    QTest::newRow("read only") << "0.70" << "read" << (head + QStringList{"R"}) << "R - new@x.org";
    QTest::newRow("read and post") << "0.70" << "post" << (head + QStringList{"RW"}) << "W - new@x.org";
    QTest::newRow("no option chosen") << "0.70" << "none" << (head + QStringList{"RW"}) << "W - new@x.org";
    QTest::newRow("0.63 server") << "0.63" << "read" << head << "W - new@x.org";
}

void TestUsers::addMember()
{
    QFETCH(QString, version);
    QFETCH(QString, option);
    QFETCH(QStringList, request);
    QFETCH(QString, item);
    Session s;
    QVERIFY(s.start(version));
    OPEN_ACCOUNT(s, QStringLiteral("staff"));
    QCOMPARE(ListItems(s.w->lstListUsers), (QStringList{"R - ann@x.org", "W - joe@x.org"}));
    s.w->txtListUser->setText(QStringLiteral("  new@x.org "));
    if (option == QLatin1String("post")) {
        s.w->optReadAndPost->setChecked(true);
    } else if (option == QLatin1String("none")) {
        s.w->optReadOnly->setAutoExclusive(false);
        s.w->optReadOnly->setChecked(false);
        s.w->optReadOnly->setAutoExclusive(true);
        QVERIFY(!s.w->optReadAndPost->isChecked());
    } else {
        s.w->optReadOnly->setChecked(true);
    }

    s.w->cmdAddListUser_Click();
    QTRY_VERIFY(s.w->Session->DriverIsIdle());

    QVERIFY2(s.sent(request), qPrintable(QString::fromLatin1(s.sim.received.join('\n'))));
    QVERIFY(ListItems(s.w->lstListUsers).contains(item));
    // The panel is ready for the next member.
    QVERIFY(s.w->txtListUser->text().isEmpty());
    QVERIFY(s.w->optReadOnly->isChecked());
    QVERIFY(s.fx.messages.messages.isEmpty());
}

void TestUsers::deleteMemberSendsAddressAlone()
{
    Session s;
    QVERIFY(s.start());
    OPEN_ACCOUNT(s, QStringLiteral("staff"));
    const int linesBefore = s.sim.received.size();
    s.w->cmdDeleteListUser_Click();  // nothing selected: nothing happens
    QCOMPARE(s.w->Session->CountScripts(), 0);
    QCOMPARE(s.sim.received.size(), linesBefore);

    s.w->lstListUsers->item(1)->setSelected(true);  // "W - joe@x.org"
    s.w->cmdDeleteListUser_Click();
    QTRY_VERIFY(s.w->Session->DriverIsIdle());

    QVERIFY(s.sent({"mluserdel", Domain, "staff", "joe@x.org"}));
    QCOMPARE(ListItems(s.w->lstListUsers), QStringList{"R - ann@x.org"});
    QVERIFY(s.fx.messages.messages.isEmpty());
}

// Values that would break the request line are refused with a message before anything is queued.
void TestUsers::unsendableInputIsRefused_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("account name with a double quote") << "add" << "name" << "bo\"b";
    QTest::newRow("account name with a line break") << "add" << "name" << "bob\nuserdel";
    QTest::newRow("account password with a TAB") << "add" << "password" << "a\tb";
    QTest::newRow("account password outside Latin-1") << "add" << "password" << QString::fromUtf8("pr\u20ac");
    QTest::newRow("new password with a CR") << "password" << "password" << "pw\r";
    QTest::newRow("member address with a double quote") << "member" << "address" << "\"x\"@x.org";
    QTest::newRow("member address outside Latin-1") << "member" << "address" << QString::fromUtf8("\u0142@x.org");
}

void TestUsers::unsendableInputIsRefused()
{
    QFETCH(QString, action);
    QFETCH(QString, field);
    QFETCH(QString, value);
    Session s;
    QVERIFY(s.start());
    if (action == QLatin1String("add"))
        OPEN_DOMAIN(s, Domain);
    else
        OPEN_ACCOUNT(s, action == QLatin1String("member") ? QStringLiteral("staff") : QStringLiteral("bob"));
    const int linesBefore = s.sim.received.size();
    const QStringList nodesBefore = s.accountNodes();

    if (field == QLatin1String("name"))
        s.w->txtUserName->setText(value);
    else if (field == QLatin1String("password"))
        s.w->txtPassword->setText(value);
    else
        s.w->txtListUser->setText(value);
    if (action == QLatin1String("add"))
        s.w->cmdAddUser_Click();
    else if (action == QLatin1String("password"))
        s.w->cmdSavePassword_Click();
    else
        s.w->cmdAddListUser_Click();

    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY2(s.fx.messages.messages.first().text.contains(QStringLiteral("cannot be sent")),
             qPrintable(s.fx.messages.messages.first().text));
    QCOMPARE(s.w->Session->CountScripts(), 0);
    QVERIFY(s.w->Session->QueueIsEmpty());
    QVERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.sim.received.size(), linesBefore);
    QCOMPARE(s.accountNodes(), nodesBefore);
}

QTEST_MAIN(TestUsers)
#include "tst_users.moc"
