// Finding on every stored server at once: several simulated servers in this process, some of them
// down, silent or refusing the login; the search through its core class and through its window
// (Edit > Find on All Servers...), a result's double click opening its node, and Stop.

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QTabWidget>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTcpServer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>
#include <memory>
#include <vector>

#include "session/ServerSearch.h"
#include "session/Transport.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/FindAllDialog.h"
#include "window/MainMenu.h"
#include "window/frmMain.h"

namespace {

// Stored servers, each a simulated server of its own (or a port nobody listens on), in slot order.
struct Farm {
    WindowFixture fx;
    std::vector<std::unique_ptr<TazelSim>> sims;  // null for a server that is down
    int lastSlot = 0;

    // A server holding the sample data; configure changes it before it listens.
    TazelSim& add(const QString& name, const std::function<void(TazelSim&)>& configure = {},
                  const QString& password = QStringLiteral("secret"))
    {
        auto sim = std::make_unique<TazelSim>();
        sim->loadSample();
        if (configure)
            configure(*sim);
        sim->listen();
        fx.addServerRecord(++lastSlot, name, QStringLiteral("127.0.0.1"), sim->port(), QStringLiteral("admin"), password);
        sims.push_back(std::move(sim));
        return *sims.back();
    }
    // A server whose port is closed: nothing listens there.
    void addDown(const QString& name)
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        fx.addServerRecord(++lastSlot, name, QStringLiteral("127.0.0.1"), port);
        sims.push_back(nullptr);
    }
    QList<SearchServer> servers() { return StoredSearchServers(*fx.settings); }
};

QString Row(const SearchResult& r)
{
    return r.server + '|' + r.domain + '|' + r.name + '|' + r.kind;
}

// A search and what it reported, in order.
struct Watch {
    ServerSearch search;
    QStringList rows;
    int finished = 0;
    Watch()
    {
        QObject::connect(&search, &ServerSearch::ResultsFound, [this](const QList<SearchResult>& found) {
            for (const SearchResult& r : found)
                rows << Row(r);
        });
        QObject::connect(&search, &ServerSearch::Finished, [this] { ++finished; });
    }
    QString status(int server) const { return search.Status(server).text(); }
};

// The command words a simulated server received, the login left out.
QStringList Requests(const TazelSim& sim)
{
    QStringList words;
    for (const QByteArray& line : sim.received) {
        const QByteArray word = line.split('\t').first().replace('"', "");
        if (word != "admin" && !word.startsWith('#'))
            words << QString::fromLatin1(word);
    }
    return words;
}

FindAllDialog* OpenFindAll(frmMain& w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    if (!QTest::qWaitForWindowActive(&w))
        return nullptr;
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto* dialog = w.findChild<FindAllDialog*>();
    if (dialog && !QTest::qWaitForWindowExposed(dialog))
        return nullptr;
    return dialog;
}

// The row of the results table that shows this result, or -1.
int RowOf(const FindAllDialog& d, const QString& server, const QString& name, const QString& kind)
{
    for (int i = 0; i < d.ResultCount(); ++i) {
        const SearchResult& r = d.ResultAt(i);
        if (r.server == server && r.name == name && r.kind == kind)
            return i;
    }
    return -1;
}

}  // namespace

class TestFindAll : public QObject {
    Q_OBJECT
private slots:
    void everyServerAtOnceAndEachFailureNamed();
    void atMostEightConnectionsAtOnce();
    void whatIsSearched_data();
    void whatIsSearched();
    void textThatCannotBeSearchedSendsNothing_data();
    void textThatCannotBeSearchedSendsNothing();
    void windowFillsAsAnswersArrive();
    void doubleClickOpensTheNode_data();
    void doubleClickOpensTheNode();
    void stopEndsEverySessionAtOnce();
    void sshRouteFailureIsNamed();
    void passwordsStillOnTheirWay();
    void tazelctlSearch();
};

// Two sound servers, one down, one silent, one refusing the login and an older one without custom
// domains: the sound ones' results are complete, the older one's domains are searched, and each
// failure is named in words, the silent one still waiting when the others are done.
void TestFindAll::everyServerAtOnceAndEachFailureNamed()
{
    Farm farm;
    farm.add("alpha");
    farm.add("beta", [](TazelSim& s) { s.state.domains[1].name = QStringLiteral("shop.example.net"); });
    farm.addDown("down");
    TazelSim& silent = farm.add("quiet", [](TazelSim& s) { s.faults.silentCommand = QStringLiteral("custdomlist"); });
    farm.add("locked", {}, QStringLiteral("wrong password"));
    farm.add("old", [](TazelSim& s) { s.faults.refuseCommand = QStringLiteral("custdomlist"); });

    Watch watch;
    watch.search.ReplyTimeoutMs = 4000;
    QVERIFY(watch.search.Start(farm.servers(), QStringLiteral("EXAMPLE"), false));
    QTRY_VERIFY_WITH_TIMEOUT(watch.search.Status(0).finished() && watch.search.Status(1).finished() &&
                                 watch.search.Status(2).finished() && watch.search.Status(4).finished() &&
                                 watch.search.Status(5).finished(),
                             10000);
    // The silent server holds up nobody.
    QCOMPARE(watch.search.Status(3).state, SearchStatus::Searching);
    QTRY_COMPARE_WITH_TIMEOUT(watch.finished, 1, 10000);

    QStringList rows = watch.rows;
    rows.sort();
    QCOMPARE(rows, (QStringList{"alpha|example.com|example.com|domain", "alpha|example.org|example.org|domain",
                                "alpha|lists.example.net|lists.example.net|custom",
                                "beta|example.com|example.com|domain", "beta|lists.example.net|lists.example.net|custom",
                                "beta|shop.example.net|shop.example.net|domain", "old|example.com|example.com|domain",
                                "old|example.org|example.org|domain"}));
    QCOMPARE(watch.status(0), QStringLiteral("done (3 found)"));
    QCOMPARE(watch.status(1), QStringLiteral("done (3 found)"));
    QVERIFY2(watch.status(2).startsWith("unreachable: TCP Error: "), qPrintable(watch.status(2)));
    QCOMPARE(watch.status(3), QStringLiteral("silent: no answer for 4 seconds"));
    QVERIFY2(watch.status(4).startsWith("login refused: -"), qPrintable(watch.status(4)));
    QCOMPARE(watch.status(5), QStringLiteral("done (2 found; the custom domains could not be searched)"));
    QVERIFY(!watch.search.AllAnswered());
    QCOMPARE(Requests(silent), (QStringList{"domainlist", "custdomlist"}));
}

// Ten servers that each take a while: never more than eight connections at once, and every one done.
void TestFindAll::atMostEightConnectionsAtOnce()
{
    Farm farm;
    for (int i = 0; i < 10; ++i)
        farm.add(QStringLiteral("s%1").arg(i), [](TazelSim& s) { s.faults.delayMs = 60; });
    int most = 0;
    for (auto& sim : farm.sims) {
        TazelSim* s = sim.get();
        // A line arrives only over an open connection: count the open ones then.
        QObject::connect(s, &TazelSim::lineReceived, [&] {
            int now = 0;
            for (auto& other : farm.sims)
                now += other->connections - other->property("closed").toInt();
            most = qMax(most, now);
        });
        QObject::connect(s, &TazelSim::clientClosed, [s] { s->setProperty("closed", s->property("closed").toInt() + 1); });
    }
    Watch watch;
    QVERIFY(watch.search.Start(farm.servers(), QStringLiteral("example.org"), false));
    QCOMPARE(watch.status(9), QStringLiteral("waiting"));
    QTRY_COMPARE_WITH_TIMEOUT(watch.finished, 1, 20000);
    QCOMPARE(most, 8);
    QVERIFY(watch.search.AllAnswered());
    QCOMPARE(watch.rows.size(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(watch.status(i), QStringLiteral("done (1 found)"));
}

// What a text finds on the sample server, and what the server is asked for it.
void TestFindAll::whatIsSearched_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accounts");
    QTest::addColumn<QStringList>("rows");  // domain|name|kind, sorted
    QTest::addColumn<QStringList>("requests");
    const QStringList names{"domainlist", "custdomlist"};
    const QStringList both = names + QStringList{"aliaslist", "userlist", "aliaslist", "userlist"};
    QTest::newRow("names only") << "example.org" << false << QStringList{"example.org|example.org|domain"} << names;
    QTest::newRow("custom domain") << "LISTS" << false << QStringList{"lists.example.net|lists.example.net|custom"}
                                   << names;
    QTest::newRow("account name without the option") << "ali" << false << QStringList() << names;
    QTest::newRow("every domain's accounts")
        << "ALI" << true
        << QStringList{"example.com|ali|alias", "example.com|alice|user", "example.org|alice|alias"} << both;
    QTest::newRow("a list among the accounts") << "new" << true << QStringList{"example.com|news|list"} << both;
    QTest::newRow("address in both domains")
        << "ali@example" << false
        << QStringList{"example.com|ali|alias", "example.com|alice|user", "example.org|alice|alias"} << both;
    QTest::newRow("address in one domain, any case")
        << "ALI@Example.COM" << false << QStringList{"example.com|ali|alias", "example.com|alice|user"}
        << names + QStringList{"aliaslist", "userlist"};
    QTest::newRow("every account of a domain") << "@example.org" << false
                                               << QStringList{"example.org|alice|alias", "example.org|carol|user",
                                                              "example.org|dave|user"}
                                               << names + QStringList{"aliaslist", "userlist"};
    QTest::newRow("address whose domain no server has") << "bob@nowhere" << true << QStringList() << names;
}

void TestFindAll::whatIsSearched()
{
    QFETCH(QString, text);
    QFETCH(bool, accounts);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, requests);
    Farm farm;
    TazelSim& sim = farm.add("alpha");
    Watch watch;
    QVERIFY(watch.search.Start(farm.servers(), text, accounts));
    QTRY_COMPARE_WITH_TIMEOUT(watch.finished, 1, 10000);
    QStringList found;
    for (const QString& row : std::as_const(watch.rows))
        found << row.section('|', 1);
    found.sort();
    rows.sort();
    QCOMPARE(found, rows);
    QCOMPARE(Requests(sim), requests);
    const SearchStatus& status = watch.search.Status(0);
    QCOMPARE(status.state, SearchStatus::Done);
    QCOMPARE(status.found, int(rows.size()));
    QCOMPARE(status.domainsDone, status.domainsTotal);
    QCOMPARE(status.domainsTotal, int(requests.count("userlist")));
}

// A text no name on the wire can hold is refused with a message before anything is sent.
void TestFindAll::textThatCannotBeSearchedSendsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("double quote") << "bob\"@example";
    QTest::newRow("TAB") << "bob\texample";
    QTest::newRow("line break") << "bob\r\n";
    QTest::newRow("outside Latin-1") << QString::fromUtf8("b\u0153b");
    QTest::newRow("empty") << "";
}

void TestFindAll::textThatCannotBeSearchedSendsNothing()
{
    QFETCH(QString, text);
    Farm farm;
    TazelSim& sim = farm.add("alpha");
    frmMain& w = farm.fx.open();
    FindAllDialog* d = OpenFindAll(w);
    QVERIFY(d);
    d->txtFind->setText(text);
    QTest::mouseClick(d->cmdSearch, Qt::LeftButton);
    QCOMPARE(farm.fx.messages.messages.size(), 1);
    QVERIFY(!farm.fx.messages.messages.first().text.isEmpty());
    QTest::qWait(100);
    QCOMPARE(sim.connections, 0);
    QCOMPARE(d->ResultCount(), 0);
    QVERIFY(!d->Search->IsRunning());
}

// The window: Ctrl+Shift+F, a text typed, Search; the table fills, each server has its status row
// and, with the accounts searched, its progress bar; the main window's queue stays unused.
void TestFindAll::windowFillsAsAnswersArrive()
{
    Farm farm;
    farm.add("alpha");
    farm.add("beta", [](TazelSim& s) { s.faults.delayMs = 20; });
    farm.addDown("down");
    frmMain& w = farm.fx.open();
    QCOMPARE(w.Menu->findAllAction()->text(), QStringLiteral("Find on &All Servers..."));
    QVERIFY(w.Menu->editMenu()->actions().contains(w.Menu->findAllAction()));
    FindAllDialog* d = OpenFindAll(w);
    QVERIFY(d);
    QVERIFY(d->isWindow() && !d->isModal());
    QTest::keyClicks(d->txtFind, QStringLiteral("ali"));
    QTest::mouseClick(d->chkAccounts, Qt::LeftButton, {}, QPoint(6, d->chkAccounts->height() / 2));  // the box
    QVERIFY(d->chkAccounts->isChecked());
    QTest::mouseClick(d->cmdSearch, Qt::LeftButton);
    QVERIFY(d->cmdStop->isEnabled());
    QCOMPARE(d->lstServers->topLevelItemCount(), 3);
    QVERIFY(w.Session->DriverIsIdle() && w.Session->lstCommand.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!d->Search->IsRunning(), 10000);
    QVERIFY(w.Session->DriverIsIdle());
    QVERIFY(!d->cmdStop->isEnabled());

    QCOMPARE(d->ResultCount(), 6);
    QCOMPARE(d->tblResults->model()->rowCount(), 6);
    QCOMPARE(d->tblResults->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Kind"));
    const int row = RowOf(*d, "beta", "alice", "user");
    QVERIFY(row >= 0);
    QAbstractItemModel* m = d->tblResults->model();
    QCOMPARE((QStringList{m->index(row, 0).data().toString(), m->index(row, 1).data().toString(),
                          m->index(row, 2).data().toString(), m->index(row, 3).data().toString()}),
             (QStringList{"beta", "example.com", "alice", "user"}));
    QTreeWidgetItem* alpha = d->lstServers->topLevelItem(0);
    QCOMPARE(alpha->text(0), QStringLiteral("alpha"));
    QCOMPARE(alpha->text(1), QStringLiteral("done (3 found)"));
    auto* bar = qobject_cast<QProgressBar*>(d->lstServers->itemWidget(alpha, 2));
    QVERIFY(bar && bar->isVisible());
    QCOMPARE(bar->value(), 2);
    QCOMPARE(bar->maximum(), 2);
    QVERIFY(d->lstServers->topLevelItem(2)->text(1).startsWith("unreachable"));
    QCOMPARE(farm.fx.messages.messages.size(), 0);
}

// A double click on a result opens its node in the main window: the server, the domain and the
// account loaded and highlighted in turn, and the node's panel shown.
void TestFindAll::doubleClickOpensTheNode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("node");  // the key of the node highlighted at the end, on server2
    QTest::addColumn<QString>("panel");
    const QString com = frmMain::DomainNodeKey("server2", "example.com");
    QTest::newRow("account") << "ali@example" << "alice" << "user" << frmMain::AccountNodeKey(com, "alice") << "user";
    QTest::newRow("alias: its account") << "ali@example" << "ali" << "alias" << frmMain::AccountNodeKey(com, "alice")
                                        << "user";
    QTest::newRow("mailing list") << "news@" << "news" << "list" << frmMain::AccountNodeKey(com, "news") << "list";
    QTest::newRow("domain") << "example.org" << "example.org" << "domain"
                            << frmMain::DomainNodeKey("server2", "example.org") << "domain";
    QTest::newRow("custom domain") << "lists" << "lists.example.net" << "custom"
                                   << frmMain::CustomDomainNodeKey("server2", "lists.example.net") << "custom";
}

void TestFindAll::doubleClickOpensTheNode()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, node);
    QFETCH(QString, panel);
    Farm farm;
    farm.add("alpha");
    farm.add("beta");
    frmMain& w = farm.fx.open();
    FindAllDialog* d = OpenFindAll(w);
    QVERIFY(d);
    QTest::keyClicks(d->txtFind, text);
    QTest::keyClick(d->txtFind, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!d->Search->IsRunning(), 10000);
    const int row = RowOf(*d, "beta", name, kind);
    QVERIFY2(row >= 0, qPrintable(name));

    const int alphaConnections = farm.sims[0]->connections;
    QTableView* table = d->tblResults;
    const QRect cell = table->visualRect(table->model()->index(row, 2));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_VERIFY_WITH_TIMEOUT(w.Session->DriverIsIdle() && w.NodeKey(w.DomainList->currentIndex()) == node, 10000);
    QTest::qWait(50);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(w.NodeKey(w.DomainList->currentIndex()), node);
    QCOMPARE(farm.sims[0]->connections, alphaConnections);  // the other server is left alone
    if (panel == QLatin1String("user")) {
        QTRY_VERIFY(w.fraUserProperties->isVisible());
        QCOMPARE(w.txtUserName->text(), QStringLiteral("alice"));
        QCOMPARE(w.SelectedUserIndex, QPersistentModelIndex(w.NodeByKey(node)));
    } else if (panel == QLatin1String("list")) {
        QTRY_VERIFY(w.fraUserProperties->isVisible());
        QCOMPARE(w.txtUserName->text(), QStringLiteral("news"));
        QVERIFY(w.lstListUsers->isVisible());
        QCOMPARE(w.lstListUsers->count(), 3);
    } else if (panel == QLatin1String("domain")) {
        QTRY_VERIFY(w.fraDomainProperties->isVisible());
        QCOMPARE(w.txtDomainName->text(), QStringLiteral("example.org"));
        QVERIFY(w.cmdRemoveDomain->isVisible());
    } else {
        QTRY_VERIFY(w.tabCustomDomain->isVisible());
        QCOMPARE(w.txtDomainName->text(), QStringLiteral("lists.example.net"));
        QVERIFY(w.cmdRemoveCustDomain->isVisible());
    }
    QVERIFY(w.DomainList->isExpanded(w.NodeByKey("server2")));
    QCOMPARE(farm.fx.messages.messages.size(), 0);
}

// Stop ends every session at once: every server's connection is closed before any of them answers,
// each row says so, and nothing more is sent.
void TestFindAll::stopEndsEverySessionAtOnce()
{
    Farm farm;
    for (int i = 0; i < 10; ++i)
        farm.add(QStringLiteral("s%1").arg(i), [](TazelSim& s) { s.faults.silentCommand = QStringLiteral("domainlist"); });
    int closed = 0;
    for (auto& sim : farm.sims)
        QObject::connect(sim.get(), &TazelSim::clientClosed, [&] { ++closed; });
    frmMain& w = farm.fx.open();
    FindAllDialog* d = OpenFindAll(w);
    QVERIFY(d);
    QTest::keyClicks(d->txtFind, QStringLiteral("example"));
    QTest::mouseClick(d->cmdSearch, Qt::LeftButton);
    // Eight are asked, two wait their turn.
    QTRY_VERIFY_WITH_TIMEOUT(std::count_if(farm.sims.begin(), farm.sims.end(),
                                           [](const auto& s) { return Requests(*s).contains("domainlist"); }) == 8,
                             10000);
    QCOMPARE(d->lstServers->topLevelItem(9)->text(1), QStringLiteral("waiting"));
    QTest::mouseClick(d->cmdStop, Qt::LeftButton);
    QVERIFY(!d->Search->IsRunning());
    QVERIFY(!d->cmdStop->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(closed, 8, 5000);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(d->lstServers->topLevelItem(i)->text(1), QStringLiteral("stopped (0 found)"));
    QTest::qWait(200);
    int connections = 0;
    for (auto& sim : farm.sims)
        connections += sim->connections;
    QCOMPARE(connections, 8);  // the two that waited never connected
    QCOMPARE(farm.fx.messages.messages.size(), 0);

    // Closing the window ends its search the same way.
    QTest::mouseClick(d->cmdSearch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(std::count_if(farm.sims.begin(), farm.sims.end(),
                                           [](const auto& s) { return s->connections == 2; }) == 8,
                             10000);
    QVERIFY(d->close());
    QVERIFY(!d->Search->IsRunning());
    QTRY_COMPARE_WITH_TIMEOUT(closed, 16, 5000);
}

// A server reached through SSH whose route fails before any greeting is named an SSH failure.
// (A transport that fails at once stands in for the SSH client here: the naming is what is tested.)
void TestFindAll::sshRouteFailureIsNamed()
{
    struct FailingRoute : Transport {
        QBuffer buffer;
        using Transport::Transport;
        void open(const QString&, quint16) override
        {
            QTimer::singleShot(0, this, [this] { emit failed(255, QStringLiteral("ssh: connect to host jump: Connection refused")); });
        }
        QIODevice* device() override { return &buffer; }
        bool isOpen() const override { return true; }
        void release(bool) override { deleteLater(); }
    };
    Farm farm;
    farm.add("direct");
    farm.add("routed");
    QList<SearchServer> servers = farm.servers();
    servers[1].login.ssh.host = QStringLiteral("jump");
    Watch watch;
    watch.search.SetTransportMaker([](const SshRoute& route, QObject* parent) -> Transport* {
        return route.isSet() ? new FailingRoute(parent) : nullptr;
    });
    QVERIFY(watch.search.Start(servers, QStringLiteral("example.org"), false));
    QTRY_COMPARE_WITH_TIMEOUT(watch.finished, 1, 10000);
    QCOMPARE(watch.status(0), QStringLiteral("done (1 found)"));
    QCOMPARE(watch.status(1), QStringLiteral("SSH failure: TCP Error: ssh: connect to host jump: Connection refused (255)"));
    QCOMPARE(farm.sims[1]->connections, 0);
}

// A server whose password is still being read (from the keyring) is asked once it arrives; one whose
// password cannot be had fails with the reason, and is never connected to.
void TestFindAll::passwordsStillOnTheirWay()
{
    Farm farm;
    farm.add("late");
    farm.add("locked");
    farm.add("unanswered");
    QList<SearchServer> servers = farm.servers();
    for (SearchServer& server : servers)
        server.login.password.reset();
    Watch watch;
    QStringList asked;
    ServerSearch::PasswordAnswer third;
    watch.search.SetPasswordSource([&](const QString& key, ServerSearch::PasswordAnswer answer) {
        asked << key;
        if (key == QLatin1String("server3"))
            third = answer;
        if (key == QLatin1String("server1"))
            QTimer::singleShot(100, [answer] { answer(QStringLiteral("secret"), QString()); });
        else if (key == QLatin1String("server2"))
            answer(std::nullopt, QStringLiteral("the system keyring is locked"));
    });
    QVERIFY(watch.search.Start(servers, QStringLiteral("example.org"), false));
    QTest::qWait(50);
    QCOMPARE(farm.sims[0]->connections, 0);  // nothing is sent before the password is there
    QCOMPARE(watch.status(0), QStringLiteral("searching"));
    QCOMPARE(watch.status(1), QStringLiteral("password unavailable: the system keyring is locked"));
    QTRY_COMPARE_WITH_TIMEOUT(watch.search.Status(0).state, SearchStatus::Done, 10000);
    QCOMPARE(watch.status(0), QStringLiteral("done (1 found)"));
    QCOMPARE(farm.sims[1]->connections, 0);
    QCOMPARE(asked, (QStringList{"server1", "server2", "server3"}));

    // The third is never answered: Stop still ends its wait, and a late answer changes nothing.
    QVERIFY(watch.search.IsRunning());
    watch.search.Stop();
    QCOMPARE(watch.status(2), QStringLiteral("stopped (0 found)"));
    QVERIFY(third);
    third(QStringLiteral("secret"), QString());
    QTest::qWait(100);
    QCOMPARE(watch.status(2), QStringLiteral("stopped (0 found)"));
    QCOMPARE(farm.sims[2]->connections, 0);
}

// tazelctl search as a process over the same stored servers: results on standard output, each server
// that did not answer on standard error, exit code 1 then; 0 when every server asked answered.
void TestFindAll::tazelctlSearch()
{
    Farm farm;
    TazelSim& alpha = farm.add("alpha");
    farm.add("beta");
    farm.addDown("down");
    farm.add("old", [](TazelSim& s) { s.faults.refuseCommand = QStringLiteral("custdomlist"); });
    // tazelctl reads the user's own store: a home of its own holding a copy of the farm's records.
    QTemporaryDir home;
    const QString config = home.filePath("config");
    QVERIFY(QDir().mkpath(config + "/Tazel Administrator"));
    farm.fx.settings->sync();
    QVERIFY(QFile::copy(farm.fx.settingsPath(), config + "/Tazel Administrator/Tazel Administrator.conf"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("TAZEL_JOURNAL", home.filePath("journal.jsonl"));
    env.remove("TAZEL_PASSWORD");
    struct Run {
        int code = -1;
        QByteArray out, err;
    };
    auto run = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAZELCTL_PATH), args);
        Run r;
        if (!p.waitForStarted(10000))
            return r;
        QElapsedTimer clock;
        clock.start();
        while (p.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);  // the simulators answer meanwhile
            p.waitForFinished(1);
        }
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    };

    Run r = run({"search", "ali@example", "-o", "json"});
    QCOMPARE(r.code, 1);
    const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
    QStringList found;
    for (const QJsonValue& v : rows) {
        const QJsonObject o = v.toObject();
        QCOMPARE(o.keys(), (QStringList{"domain", "kind", "name", "server"}));
        found << o["server"].toString() + '|' + o["domain"].toString() + '|' + o["name"].toString() + '|' +
                     o["kind"].toString();
    }
    QStringList expected{"alpha|example.com|ali|alias", "alpha|example.com|alice|user", "alpha|example.org|alice|alias",
                         "beta|example.com|ali|alias",  "beta|example.com|alice|user",  "beta|example.org|alice|alias",
                         "old|example.com|ali|alias",   "old|example.com|alice|user",   "old|example.org|alice|alias"};
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    QVERIFY2(r.err.contains("down: unreachable: "), r.err.constData());
    QVERIFY(!r.err.contains("alpha") && !r.err.contains("beta"));
    // Searched in part: its rows above, and its status here.
    QVERIFY2(r.err.contains("old: done (3 found; the custom domains could not be searched)"), r.err.constData());

    r = run({"search", "-s", "alpha", "LISTS", "-o", "tab"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("server\tdomain\tname\tkind\nalpha\tlists.example.net\tlists.example.net\tcustom\n"));
    QCOMPARE(r.err, QByteArray());

    const int connections = alpha.connections;
    r = run({"search", "ali\"ce"});
    QCOMPARE(r.code, 65);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains("cannot be searched for"));
    QCOMPARE(alpha.connections, connections);
    r = run({"search", "-s", "nobody", "x"});
    QCOMPARE(r.code, 67);
}

QTEST_MAIN(TestFindAll)
#include "tst_findall.moc"
