// The server tree: building it from the stored records, filling domains, custom domains and
// accounts, keys that cannot collide, depths, and selections that outlive their nodes.
#include <QtTest>

#include <QGroupBox>
#include <QSettings>
#include <QStandardItemModel>
#include <QTreeView>

#include "store/ServerStore.h"
#include "tests/TestKit.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

class TestTree : public QObject {
    Q_OBJECT
private slots:
    void buildsFromStoredRecords_data();
    void buildsFromStoredRecords();
    void serverNodesWaitForTheirChildren();
    void addsDomainsSortedWithPlaceholders();
    void damagedDomainListStopsWithMessage_data();
    void damagedDomainListStopsWithMessage();
    void keysOfDifferentNodesNeverCollide();
    void reloadReplacesDomainsAndForgetsOldKeys();
    void addsAccounts_data();
    void addsAccounts();
    void findsAccountsByKey();
    void depthFollowsParentsNotNames();
    void selectionOfRemovedNodeBecomesNone();
    void stepsForNodesThatAreGoneDoNothing();
};

using Entry = QPair<QString, QString>;  // nameAndKind, password

static QStringList ChildTexts(const frmMain& w, const QModelIndex& node)
{
    QStringList out;
    for (int r = 0; r < w.DomainModel->rowCount(node); ++r)
        out << w.NodeText(w.DomainModel->index(r, 0, node));
    return out;
}

static QStringList ChildKeys(const frmMain& w, const QModelIndex& node)
{
    QStringList out;
    for (int r = 0; r < w.DomainModel->rowCount(node); ++r)
        out << w.NodeKey(w.DomainModel->index(r, 0, node));
    return out;
}

static qint64 ImageOf(const QModelIndex& node)
{
    return node.data(Qt::DecorationRole).value<QIcon>().cacheKey();
}

static qint64 Image(frmMain& w, const QString& name)
{
    return static_cast<ServerTreeModel*>(w.DomainModel)->image(name).cacheKey();
}

static void SetRaw(QSettings& s, const QString& section, const QString& key, const QString& value)
{
    WriteSetting(s, section, key, value);
}

void TestTree::buildsFromStoredRecords_data()
{
    // Each record: "slot|name|active" ("-" leaves active out). count: server_count ("-" leaves it out).
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("no count") << "-" << QStringList{"1|alpha|True"} << QStringList{} << QStringList{};
    QTest::newRow("count zero") << "0" << QStringList{"1|alpha|True"} << QStringList{} << QStringList{};
    QTest::newRow("count not a number") << "two" << QStringList{"1|alpha|True"} << QStringList{}
                                        << QStringList{};
    QTest::newRow("inactive slots keep the others' slot keys")
        << "4" << QStringList{"1|alpha|True", "2|beta|-", "3|gamma|true", "4|delta|False"}
        << QStringList{"server1", "server3"} << QStringList{"alpha", "gamma"};
    QTest::newRow("active that is not a truth value") << "2"
        << QStringList{"1|alpha|yes", "2|beta|1"} << QStringList{"server2"} << QStringList{"beta"};
    QTest::newRow("blank name") << "2" << QStringList{"1|   |True", "2||True"}
        << QStringList{"server1", "server2"} << QStringList{"invalid server", "invalid server"};
    QTest::newRow("sorted by text, not slot") << "3"
        << QStringList{"1|zeta|True", "2|Beta|True", "3|alpha|True"}
        << QStringList{"server3", "server2", "server1"} << QStringList{"alpha", "Beta", "zeta"};
    QTest::newRow("slot above the count is not read") << "1"
        << QStringList{"1|alpha|True", "2|beta|True"} << QStringList{"server1"} << QStringList{"alpha"};
}

void TestTree::buildsFromStoredRecords()
{
    QFETCH(QString, count);
    QFETCH(QStringList, records);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, texts);
    WindowFixture fx;
    for (const QString& r : records) {
        const QStringList f = r.split('|');
        const QString section = ServerSection(f[0].toInt());
        SetRaw(*fx.settings, section, Store::NameKey, f[1]);
        if (f[2] != "-")
            SetRaw(*fx.settings, section, Store::ActiveKey, f[2]);
    }
    if (count != "-")
        SetRaw(*fx.settings, Store::ServersSection, Store::ServerCountKey, count);
    frmMain& w = fx.open();

    QCOMPARE(w.DomainModel->rowCount(), 1);
    const QModelIndex root = w.DomainModel->index(0, 0);
    QCOMPARE(w.NodeKey(root), QString("Servers"));
    QCOMPARE(w.NodeText(root), QString("Tazel Servers"));
    QCOMPARE(ImageOf(root), Image(w, "tazel"));
    QVERIFY(w.DomainList->isExpanded(root));
    QCOMPARE(ChildKeys(w, root), keys);
    QCOMPARE(ChildTexts(w, root), texts);
    QCOMPARE(w.fraServerProperties->title(), QString("Add New Server to Manage"));
    QVERIFY(!w.fraServerProperties->isHidden());
    QVERIFY(fx.messages.messages.isEmpty());
}

void TestTree::serverNodesWaitForTheirChildren()
{
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    const QModelIndex server = w.NodeByKey("server1");
    QVERIFY(server.isValid());
    QCOMPARE(w.NodeTag(server), QString("virgin"));
    QCOMPARE(ImageOf(server), Image(w, "Server"));
    QCOMPARE(w.DomainModel->rowCount(server), 1);
    const QModelIndex placeholder = w.DomainModel->index(0, 0, server);
    QCOMPARE(w.NodeTag(placeholder), QString("blank"));
    QCOMPARE(w.NodeText(placeholder), QString());
    QCOMPARE(w.NodeLevel(placeholder), 2);
}

void TestTree::addsDomainsSortedWithPlaceholders()
{
    WindowFixture fx;
    fx.addServerRecord(3, "alpha", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.ServerVersion = 0.70; });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"zulu.org", "Example.com", "alpha.net"}; });
    w.AddDomainsToTree("server3");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.CustomDomainNames = QStringList{"list", "b-custom"}; });
    w.AddCustomDomainsToTree("server3");

    const QModelIndex server = w.NodeByKey("server3");
    // Domains and custom domains in one alphabetical list; the placeholder is gone.
    QCOMPARE(ChildTexts(w, server),
             (QStringList{"alpha.net", "b-custom", "Example.com", "list", "zulu.org"}));
    const QModelIndex domain = w.NodeByKey(frmMain::DomainNodeKey("server3", "Example.com"));
    QVERIFY(domain.isValid());
    QCOMPARE(domain.parent(), server);
    QCOMPARE(w.NodeTag(domain), QString("virgin"));
    QCOMPARE(ImageOf(domain), static_cast<ServerTreeModel*>(w.DomainModel)->folderImage().cacheKey());
    QCOMPARE(w.DomainModel->rowCount(domain), 1);
    QCOMPARE(w.NodeTag(w.DomainModel->index(0, 0, domain)), QString("blank"));

    const QModelIndex custom = w.NodeByKey(frmMain::CustomDomainNodeKey("server3", "list"));
    QVERIFY(custom.isValid());
    QCOMPARE(w.NodeTag(custom), QString("custdomain"));
    QCOMPARE(ImageOf(custom), Image(w, "script"));
    QCOMPARE(w.DomainModel->rowCount(custom), 0);
    QCOMPARE(w.NodeLevel(custom), 2);

    QCOMPARE(w.fraServerProperties->title(), QString("Tazel Server (Version: 0.7)"));
    QVERIFY(fx.messages.messages.isEmpty());
}

void TestTree::damagedDomainListStopsWithMessage_data()
{
    QTest::addColumn<QStringList>("domains");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("empty entry") << QStringList{"b.com", "a.com", "", "c.com"} << QStringList{"a.com", "b.com"};
    QTest::newRow("listed twice") << QStringList{"a.com", "b.com", "a.com", "c.com"}
                                  << QStringList{"a.com", "b.com"};
    QTest::newRow("empty first") << QStringList{"", "a.com"} << QStringList{};
}

void TestTree::damagedDomainListStopsWithMessage()
{
    QFETCH(QStringList, domains);
    QFETCH(QStringList, kept);
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.ServerVersion = 1.0; });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = domains; });
    w.AddDomainsToTree("server1");

    QCOMPARE(ChildTexts(w, w.NodeByKey("server1")), kept);
    QCOMPARE(fx.messages.messages.size(), 1);
    const RecordedMessage& m = fx.messages.messages.first();
    QCOMPARE(m.title, QString("Error Loading Domain List"));
    QCOMPARE(m.icon, MsgIcon::Critical);
    QCOMPARE(m.text, QString("An error was encourtered while processing the domains.tab file on the "
                             "server.  Check the file for invalid entries like \"\"."));
    // The version is not shown when the list failed.
    QCOMPARE(w.fraServerProperties->title(), QString("Add New Server to Manage"));
}

void TestTree::keysOfDifferentNodesNeverCollide()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    fx.addServerRecord(12, "twelve", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    // "server1" + "2example.com" and "server12" + "example.com" read the same when joined plainly.
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"2example.com", "x-custdomain"}; });
    w.AddDomainsToTree("server1");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.CustomDomainNames = QStringList{"x"}; });
    w.AddCustomDomainsToTree("server1");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"example.com"}; });
    w.AddDomainsToTree("server12");

    QVERIFY(fx.messages.messages.isEmpty());
    QCOMPARE(ChildTexts(w, w.NodeByKey("server1")), (QStringList{"2example.com", "x", "x-custdomain"}));
    QCOMPARE(ChildTexts(w, w.NodeByKey("server12")), QStringList{"example.com"});
    const QModelIndex custom = w.NodeByKey(frmMain::CustomDomainNodeKey("server1", "x"));
    const QModelIndex domain = w.NodeByKey(frmMain::DomainNodeKey("server1", "x-custdomain"));
    QVERIFY(custom.isValid() && domain.isValid() && custom != domain);
    QCOMPARE(w.NodeTag(custom), QString("custdomain"));
    QCOMPARE(w.NodeTag(domain), QString("virgin"));
    QCOMPARE(w.NodeByKey(frmMain::DomainNodeKey("server12", "example.com")).parent(), w.NodeByKey("server12"));
    QCOMPARE(w.NodeByKey(frmMain::DomainNodeKey("server1", "2example.com")).parent(), w.NodeByKey("server1"));
}

void TestTree::reloadReplacesDomainsAndForgetsOldKeys()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"a.com", "b.com"}; });
    w.AddDomainsToTree("server1");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.CustomDomainNames = QStringList{"c"}; });
    w.AddCustomDomainsToTree("server1");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"bobU", "pw"}}; });
    w.AddUsersToTree(frmMain::DomainNodeKey("server1", "a.com"));
    const int hashed = static_cast<ServerTreeModel*>(w.DomainModel)->hashedCount();

    // The server now reports b.com alone (and then a.com again, which must not count as a repeat).
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"b.com"}; });
    w.AddDomainsToTree("server1");
    QCOMPARE(ChildTexts(w, w.NodeByKey("server1")), QStringList{"b.com"});
    QVERIFY(!w.NodeByKey(frmMain::DomainNodeKey("server1", "a.com")).isValid());
    QVERIFY(!w.NodeByKey(frmMain::CustomDomainNodeKey("server1", "c")).isValid());
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"a.com", "b.com"}; });
    w.AddDomainsToTree("server1");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.CustomDomainNames = QStringList{"c"}; });
    w.AddCustomDomainsToTree("server1");
    QVERIFY(fx.messages.messages.isEmpty());
    QCOMPARE(static_cast<ServerTreeModel*>(w.DomainModel)->hashedCount(), hashed);

    w.BuildServerTree();
    QCOMPARE(static_cast<ServerTreeModel*>(w.DomainModel)->hashedCount(), 2);  // root and server1
}

void TestTree::addsAccounts_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QStringList>("images");
    QTest::newRow("user and list") << QStringList{"bobu", "staffM"} << QStringList{"bob", "staff"}
                                   << QStringList{"U", "M"} << QStringList{"User", "List"};
    QTest::newRow("sorted by name") << QStringList{"zedU", "Anna U", "mikeM"}
                                    << QStringList{"Anna ", "mike", "zed"} << QStringList{"U", "M", "U"}
                                    << QStringList{"User", "List", "User"};
    QTest::newRow("listed twice keeps the first") << QStringList{"bobM", "bobU", "amyU"}
                                                  << QStringList{"amy", "bob"} << QStringList{"U", "M"}
                                                  << QStringList{"User", "List"};
    // Letters other than U and M show as a user; an entry with no name before its letter is left out.
    QTest::newRow("unknown kind letter") << QStringList{"oddx", "U", ""} << QStringList{"odd"}
                                         << QStringList{"X"} << QStringList{"User"};
    QTest::newRow("none") << QStringList{} << QStringList{} << QStringList{} << QStringList{};
}

void TestTree::addsAccounts()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, tags);
    QFETCH(QStringList, images);
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"example.com"}; });
    w.AddDomainsToTree("server1");
    const QString domainKey = frmMain::DomainNodeKey("server1", "example.com");
    // A previous load is replaced, placeholder included.
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"oldU", ""}}; });
    w.AddUsersToTree(domainKey);
    AccountTable accounts;
    for (const QString& e : entries)
        accounts.append(UserEntry{e, "pw"});
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = accounts; });
    w.AddUsersToTree(domainKey);

    const QModelIndex domain = w.NodeByKey(domainKey);
    QCOMPARE(ChildTexts(w, domain), texts);
    for (int r = 0; r < texts.size(); ++r) {
        const QModelIndex account = w.DomainModel->index(r, 0, domain);
        QCOMPARE(w.NodeTag(account), tags[r]);
        QCOMPARE(ImageOf(account), Image(w, images[r]));
        QCOMPARE(w.NodeLevel(account), 3);
        QCOMPARE(w.DomainModel->rowCount(account), 0);
    }
}

void TestTree::findsAccountsByKey()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"example.com", "other.com"}; });
    w.AddDomainsToTree("server1");
    const QString domainKey = frmMain::DomainNodeKey("server1", "example.com");
    AccountTable accounts;
    for (int i = 0; i < 500; ++i)
        accounts.append(UserEntry{QStringLiteral("user%1U").arg(i), QString()});
    accounts.append(UserEntry{"Bob", ""});  // "Bo", kind "b"
    accounts.append(UserEntry{"bobU", ""});
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = accounts; });
    w.AddUsersToTree(domainKey);

    for (const QString name : {"user0", "user499", "user250", "Bo", "bob"}) {
        const QString key = frmMain::AccountNodeKey(domainKey, name);
        const QModelIndex node = w.NodeByKey(key);
        QVERIFY2(node.isValid(), qPrintable(name));
        QCOMPARE(w.NodeText(node), name);
        QCOMPARE(w.NodeKey(node), key);
    }
    QVERIFY(!w.NodeByKey(frmMain::AccountNodeKey(domainKey, "user500")).isValid());
    QVERIFY(!w.NodeByKey(frmMain::AccountNodeKey(domainKey, "BOB")).isValid());
    QVERIFY(!w.NodeByKey(frmMain::AccountNodeKey(frmMain::DomainNodeKey("server1", "other.com"), "bob")).isValid());
    QVERIFY(!w.NodeByKey("server1example.com").isValid());
}

void TestTree::depthFollowsParentsNotNames()
{
    WindowFixture fx;
    fx.addServerRecord(1, "braces {in} name", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"a{b}.com"}; });
    w.AddDomainsToTree("server1");
    const QString domainKey = frmMain::DomainNodeKey("server1", "a{b}.com");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"x{y{zU", ""}}; });
    w.AddUsersToTree(domainKey);

    QCOMPARE(w.NodeLevel(w.NodeByKey("Servers")), 0);
    QCOMPARE(w.NodeLevel(w.NodeByKey("server1")), 1);
    QCOMPARE(w.NodeLevel(w.NodeByKey(domainKey)), 2);
    QCOMPARE(w.NodeLevel(w.NodeByKey(frmMain::AccountNodeKey(domainKey, "x{y{z"))), 3);
    QCOMPARE(w.NodeLevel(QModelIndex()), -1);
}

void TestTree::selectionOfRemovedNodeBecomesNone()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"a.com", "b.com"}; });
    w.AddDomainsToTree("server1");
    const QString domainKey = frmMain::DomainNodeKey("server1", "a.com");
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"bobU", ""}, {"amyU", ""}}; });
    w.AddUsersToTree(domainKey);
    w.SelectedServerIndex = w.NodeByKey("server1");
    w.SelectedDomainIndex = w.NodeByKey(domainKey);
    w.SelectedUserIndex = w.NodeByKey(frmMain::AccountNodeKey(domainKey, "bob"));
    QCOMPARE(w.NodeTag(w.SelectedUserIndex), QString("U"));

    // The accounts are replaced: the selected account is gone, not another one in its place.
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"amyU", ""}, {"carlM", ""}}; });
    w.AddUsersToTree(domainKey);
    QVERIFY(!w.SelectedUserIndex.isValid());
    QCOMPARE(w.NodeTag(w.SelectedUserIndex), QString());
    QVERIFY(w.SelectedDomainIndex.isValid());

    // A rebuild takes every node with it.
    w.BuildServerTree();
    QVERIFY(!w.SelectedDomainIndex.isValid());
    QVERIFY(!w.SelectedServerIndex.isValid());
}

void TestTree::stepsForNodesThatAreGoneDoNothing()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"a.com"}; });
    w.AddDomainsToTree("server1");
    const QString domainKey = frmMain::DomainNodeKey("server1", "a.com");
    w.BuildServerTree();

    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = {{"bobU", ""}}; });
    w.AddUsersToTree(domainKey);       // the domain went with the rebuild
    w.AddDomainsToTree("server7");     // no such server
    w.AddCustomDomainsToTree("server7");
    w.AddUsersToTree("server1");       // not a domain
    w.RemoveChildNodes(QModelIndex());
    QCOMPARE(ChildTexts(w, w.NodeByKey("server1")), QStringList{QString()});  // the placeholder alone
    QCOMPARE(w.DomainModel->rowCount(), 1);
    QVERIFY(fx.messages.messages.isEmpty());
}

QTEST_MAIN(TestTree)
#include "tst_tree.moc"
