// The tree model's own behaviour at scale: the compact account rows, the order they are shown in,
// the sort of a long list off the window's thread, removal of a million rows, and the reply reader
// handing the window back its events between slices of a long reply.

#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "protocol/AccountTable.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

namespace {
const QString ServerKey = QStringLiteral("server1");
const QString Domain = QStringLiteral("example.com");
const QString DomainKey = frmMain::DomainNodeKey(QStringLiteral("server1"), QStringLiteral("example.com"));

QStringList ChildTexts(const frmMain& w, const QModelIndex& node)
{
    QStringList out;
    for (int r = 0; r < w.DomainModel->rowCount(node); ++r)
        out << w.NodeText(w.DomainModel->index(r, 0, node));
    return out;
}

// A window with one server holding example.com (not connected).
frmMain& OpenWithDomain(WindowFixture& fx)
{
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    w.Session->DomainNames = QStringList{Domain};
    w.AddDomainsToTree(ServerKey);
    return w;
}
}  // namespace

class TestTreeModel : public QObject {
    Q_OBJECT
private slots:
    void latin1OrderMatchesTextOrder();
    void accountTableRowsAcrossBlocksAndCopies();
    void accountRowsRoundTripEveryLatin1Byte();
    void longListSortedOffThreadAndStaleSortDropped();
    void millionRowsLeaveNoKeyBehind();
    void largeDomainRowsGrowAsTheViewScrolls();
    void accountNamesHoldingATextAsStringsDo();
    void customDomainsMergeAmongDomains();
    void replyReadInSlicesReadsTheSameLines_data();
    void replyReadInSlicesReadsTheSameLines();
};

// The byte order used for accounts is the tree's text order (case-folded, then as it stands) for
// every pair of Latin-1 characters, and for a name against its own prefix.
void TestTreeModel::latin1OrderMatchesTextOrder()
{
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const QByteArray x = "n" + QByteArray(1, char(a)) + "z";
            const QByteArray y = "n" + QByteArray(1, char(b)) + "z";
            const QString sx = QString::fromLatin1(x), sy = QString::fromLatin1(y);
            const int c = Accounts::Compare(x, y);
            QVERIFY2((c < 0) == Tree::TextLess(sx, sy) && (c > 0) == Tree::TextLess(sy, sx),
                     qPrintable(QStringLiteral("%1 against %2").arg(a).arg(b)));
        }
    }
    QVERIFY(Accounts::Compare("Ab", "abc") < 0);
    QVERIFY(Accounts::Compare("abc", "AB") > 0);
    QVERIFY(Accounts::Compare("Bob", "bob") < 0);
    QCOMPARE(Accounts::Compare("bob", "bob"), 0);
}

// Rows are stored in blocks of about a megabyte: rows on both sides of a block's end, a row larger
// than a block and empty fields all read back; a copy keeps its rows while the original grows.
void TestTreeModel::accountTableRowsAcrossBlocksAndCopies()
{
    AccountTable table;
    QList<QPair<QByteArray, QByteArray>> rows;
    const auto add = [&](const QByteArray& a, const QByteArray& b) {
        QVERIFY(table.append(a, b));
        rows.append({a, b});
    };
    add("firstU", "");
    add(QByteArray(3 << 19, 'x') + "M", "big");  // 1.5 MiB
    add("", "no name");
    for (int i = 0; i < 3000; ++i)
        add(QByteArray(500 + i % 7, char('a' + i % 26)) + "U", QByteArray::number(i));
    const AccountTable copy = table;
    const qsizetype copied = rows.size();
    add("lastU", "pw");
    QCOMPARE(table.size(), rows.size());
    QCOMPARE(copy.size(), copied);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QCOMPARE(table.nameAndKind(r).toByteArray(), rows[r].first);
        QCOMPARE(table.password(r).toByteArray(), rows[r].second);
        if (r < copied)
            QCOMPARE(copy.nameAndKind(r).toByteArray(), rows[r].first);
    }
    QCOMPARE(Accounts::Name(table, 1).size(), qsizetype(3 << 19));
    QCOMPARE(Accounts::KindLetter(table, 1), 'M');
    QVERIFY(Accounts::Name(table, 2).isEmpty());  // "no name" is the password; the name is empty
}

// Names and passwords holding every byte from 1 to 255 come back as they went in: from the table,
// as the tree's texts and keys, and in the tree's order.
void TestTreeModel::accountRowsRoundTripEveryLatin1Byte()
{
    WindowFixture fx;
    frmMain& w = OpenWithDomain(fx);
    QList<UserEntry> entries;
    QStringList names;
    for (int c = 255; c >= 1; --c) {
        const QString name = QStringLiteral("a") + QChar(char16_t(c)) + QStringLiteral("b");
        names << name;
        entries << UserEntry{name + QLatin1Char(c % 2 ? 'U' : 'm'), QString(QChar(char16_t(c))) + "pw"};
    }
    w.Session->UserEntries = entries;
    QCOMPARE(w.Session->UserEntries.size(), qsizetype(255));
    qsizetype row = 0;
    for (const UserEntry& e : w.Session->UserEntries) {
        QCOMPARE(e.nameAndKind, entries[row].nameAndKind);
        QCOMPARE(e.password, entries[row].password);
        ++row;
    }

    w.AddUsersToTree(DomainKey);
    std::stable_sort(names.begin(), names.end(), Tree::TextLess);
    const QModelIndex domain = w.NodeByKey(DomainKey);
    QCOMPARE(ChildTexts(w, domain), names);
    for (int c = 1; c <= 255; ++c) {
        const QString name = QStringLiteral("a") + QChar(char16_t(c)) + QStringLiteral("b");
        const QString key = frmMain::AccountNodeKey(DomainKey, name);
        const QModelIndex node = w.NodeByKey(key);
        QVERIFY2(node.isValid(), qPrintable(QString::number(c)));
        QCOMPARE(w.NodeText(node), name);
        QCOMPARE(w.NodeKey(node), key);
        QCOMPARE(w.NodeTag(node), QString(c % 2 ? "U" : "M"));
        QCOMPARE(node.parent(), domain);
    }
    // A name the wire cannot carry is no account.
    QVERIFY(!w.NodeByKey(frmMain::AccountNodeKey(DomainKey, QStringLiteral("a\u0100b"))).isValid());
}

// A list longer than the model sorts at once is sorted on the worker thread: the rows appear in
// the tree's order, the first of a name listed twice kept. A load that is overtaken by the next
// one before its sort is done never shows.
void TestTreeModel::longListSortedOffThreadAndStaleSortDropped()
{
    WindowFixture fx;
    frmMain& w = OpenWithDomain(fx);
    QSignalSpy shown(w.DomainModel, &ServerTreeModel::accountsShown);
    const int n = int(ServerTreeModel::SortAtOnceLimit) + 5000;

    w.Session->UserEntries.clear();
    for (int i = 0; i < n; ++i)
        w.Session->UserEntries.append(QStringLiteral("old%1U").arg(i).toLatin1(), "pw");
    w.AddUsersToTree(DomainKey);
    // The next load, in reverse order with one name twice (a user, then a list).
    w.Session->UserEntries.clear();
    for (int i = n - 1; i >= 0; --i)
        w.Session->UserEntries.append(QStringLiteral("user%1U").arg(i, 6, 10, QLatin1Char('0')).toLatin1(), "pw");
    w.Session->UserEntries.append("user000007M", "pw");
    w.AddUsersToTree(DomainKey);
    const QModelIndex domain = w.NodeByKey(DomainKey);
    QVERIFY(w.DomainModel->accountsPending(domain));

    QTRY_VERIFY(!w.DomainModel->accountsPending(domain));
    QCOMPARE(w.DomainModel->accountCount(domain), n);
    QCOMPARE(shown.count(), 1);
    // A large domain gives the view its first rows; a name looked up by key is a row in its place.
    QCOMPARE(w.DomainModel->rowCount(domain), ServerTreeModel::FirstRows);
    for (int r = 0; r < n; r += 997) {
        const QString name = QStringLiteral("user%1").arg(r, 6, 10, QLatin1Char('0'));
        const QModelIndex account = w.NodeByKey(frmMain::AccountNodeKey(DomainKey, name));
        QCOMPARE(account.row(), r);
        QCOMPARE(w.NodeText(account), name);
    }
    QCOMPARE(w.NodeTag(w.NodeByKey(frmMain::AccountNodeKey(DomainKey, "user000007"))), QString("U"));
    QVERIFY(!w.NodeByKey(frmMain::AccountNodeKey(DomainKey, "old5")).isValid());
}

// A million rows go out in one removal, and with them every trace: no key, no selection, no node
// found by an old account's key.
void TestTreeModel::millionRowsLeaveNoKeyBehind()
{
    WindowFixture fx;
    frmMain& w = OpenWithDomain(fx);
    const int hashed = w.DomainModel->hashedCount();
    w.Session->UserEntries.clear();
    char name[32];
    for (int i = 0; i < 1000000; ++i)
        w.Session->UserEntries.append(QByteArrayView(name, std::snprintf(name, sizeof name, "user%07dU", i)), "pw");
    w.AddUsersToTree(DomainKey);
    const QModelIndex domain = w.NodeByKey(DomainKey);
    QTRY_COMPARE_WITH_TIMEOUT(w.DomainModel->accountCount(domain), 1000000, 60000);
    const QString lastKey = frmMain::AccountNodeKey(DomainKey, "user0999999");
    w.SelectedUserIndex = w.NodeByKey(lastKey);
    QCOMPARE(w.NodeText(w.SelectedUserIndex), QString("user0999999"));
    QCOMPARE(w.DomainModel->hashedCount(), hashed);

    QSignalSpy removed(w.DomainModel, &QAbstractItemModel::rowsRemoved);
    w.Session->UserEntries = {{"amyU", ""}};
    w.AddUsersToTree(DomainKey);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(ChildTexts(w, domain), QStringList{"amy"});
    QVERIFY(!w.SelectedUserIndex.isValid());
    QVERIFY(!w.NodeByKey(lastKey).isValid());
    QCOMPARE(w.DomainModel->hashedCount(), hashed);

    w.BuildServerTree();
    QCOMPARE(w.DomainModel->hashedCount(), 2);  // root and server1
}

// A large domain gives the view its accounts a block at a time: the rows grow when the user scrolls
// to the end of them, also with another domain after it in the tree (where the view itself would
// never ask), each block as many rows as were there, until every account is a row.
void TestTreeModel::largeDomainRowsGrowAsTheViewScrolls()
{
    TazelSim sim;
    const int n = int(ServerTreeModel::LargeDomain) + 3000;
    sim.state.domains = {{Domain, NumberedAccounts(n)}, {QStringLiteral("zz.org"), {}}};
    QVERIFY(sim.listen());
    WindowFixture fx;
    frmMain* shown = fx.openShown(sim.port());
    QVERIFY(shown);
    frmMain& w = *shown;
    QTreeView* tree = w.DomainList;
    ServerTreeModel* model = w.DomainModel;

    const QModelIndex server = w.NodeByKey(ServerKey);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(server).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && w.NodeByKey(DomainKey).isValid());
    tree->expand(server);
    const QModelIndex domain = w.NodeByKey(DomainKey);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(domain).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && model->accountCount(domain) == n && !model->accountsPending(domain));
    QCOMPARE(model->rowCount(domain), ServerTreeModel::FirstRows);

    QTest::keyClick(tree, Qt::Key_Right);  // opens the highlighted domain
    QTRY_VERIFY(tree->isExpanded(domain));
    int scrolls = 0;
    while (model->rowCount(domain) < n && scrolls < 10) {
        const int before = model->rowCount(domain);
        const int scrollRange = tree->verticalScrollBar()->maximum();
        tree->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        QTRY_VERIFY(model->rowCount(domain) > before);
        QVERIFY(model->rowCount(domain) == n || model->rowCount(domain) == 2 * before);
        QTRY_VERIFY(tree->verticalScrollBar()->maximum() > scrollRange);  // the view has the new rows
        ++scrolls;
    }
    QCOMPARE(model->rowCount(domain), n);
    QVERIFY(scrolls <= 5);
    QCOMPARE(w.NodeText(model->index(n - 1, 0, domain)), QStringLiteral("u%1").arg(n - 1, 6, 10, QLatin1Char('0')));
    QCOMPARE(w.NodeText(tree->indexBelow(model->index(n - 1, 0, domain))), QStringLiteral("zz.org"));
    QCOMPARE(fx.messages.texts(), QStringList());
}

// Which accounts hold a find text is decided on the bytes exactly as the decoded names decide it.
void TestTreeModel::accountNamesHoldingATextAsStringsDo()
{
    const QStringList names = {"alice", "ALICE", QString::fromUtf8("Élodie"), QString::fromUtf8("élodie"),
                               QString::fromUtf8("straße"), "STRASSE", QString::fromUtf8("µ-mail"), "a", "", "xyz"};
    AccountTable table;
    for (const QString& name : names)
        table.append((name + QLatin1Char('U')).toLatin1(), "pw");
    const QStringList patterns = {"", "a", "LI", QString::fromUtf8("élo"), QString::fromUtf8("ÉLO"), QString::fromUtf8("ß"),
                                  "ss", QString::fromUtf8("\u03bc"), QString::fromUtf8("µ"), "alice!", "e", "zz",
                                  "ce", QString::fromUtf8("Straße"), "U", "\u0100"};
    for (const QString& pattern : patterns) {
        const std::vector<bool> holding = Accounts::Holding(table, pattern);
        QCOMPARE(holding.size(), size_t(names.size()));
        for (int row = 0; row < names.size(); ++row)
            QVERIFY2(holding[size_t(row)] == names.at(row).contains(pattern, Qt::CaseInsensitive),
                     qPrintable(names.at(row) + QLatin1String(" / ") + pattern));
    }
}

// Custom domains go in among the domains in the tree's order, in one insertion per block of
// neighbours, and the domains keep their accounts, keys and selection.
void TestTreeModel::customDomainsMergeAmongDomains()
{
    WindowFixture fx;
    fx.addServerRecord(1, "one", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    w.Session->DomainNames = QStringList{"b.com", "d.com", "f.com"};
    w.AddDomainsToTree(ServerKey);
    const QString dKey = frmMain::DomainNodeKey(ServerKey, "d.com");
    w.Session->UserEntries = {{"bobU", ""}};
    w.AddUsersToTree(dKey);
    w.SelectedUserIndex = w.NodeByKey(frmMain::AccountNodeKey(dKey, "bob"));
    w.SelectedDomainIndex = w.NodeByKey(dKey);

    QSignalSpy inserted(w.DomainModel, &QAbstractItemModel::rowsInserted);
    w.Session->CustomDomainNames = QStringList{"z", "a2", "A1", "c", "c", "", "e"};
    w.AddCustomDomainsToTree(ServerKey);
    QCOMPARE(ChildTexts(w, w.NodeByKey(ServerKey)), (QStringList{"A1", "a2", "b.com", "c", "d.com", "e", "f.com", "z"}));
    QCOMPARE(inserted.count(), 4);  // {A1, a2}, {c}, {e}, {z}
    QCOMPARE(w.NodeText(w.SelectedUserIndex), QString("bob"));
    QCOMPARE(w.SelectedUserIndex.parent(), QModelIndex(w.SelectedDomainIndex));
    QCOMPARE(w.SelectedDomainIndex.row(), 4);
    QCOMPARE(w.NodeByKey(frmMain::AccountNodeKey(dKey, "bob")), QModelIndex(w.SelectedUserIndex));
    for (const QString c : {"A1", "a2", "c", "e", "z"})
        QCOMPARE(w.NodeTag(w.NodeByKey(frmMain::CustomDomainNodeKey(ServerKey, c))), QString("custdomain"));
}

// The reader hands the window back its events every few lines (a slice of 0 ms here) and goes on
// from where it stopped. The accounts read are those sent, in order; the server's close right
// after the reply is handled only after every line before it was read.
void TestTreeModel::replyReadInSlicesReadsTheSameLines_data()
{
    QTest::addColumn<int>("sliceMs");
    QTest::addColumn<int>("chunk");
    QTest::newRow("a slice every 64 lines, one write") << 0 << 0;
    QTest::newRow("a slice every 64 lines, small pieces") << 0 << 777;
    QTest::newRow("the usual slice") << 8 << 0;
}

void TestTreeModel::replyReadInSlicesReadsTheSameLines()
{
    QFETCH(int, sliceMs);
    QFETCH(int, chunk);
    TazelSim sim;
    QList<SimAccount> accounts;
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const SimAccount a = SimAccount::Make(QStringLiteral("n%1\u00e9").arg(i), QStringLiteral("p%1").arg(i),
                                              i % 3 ? QStringLiteral("U") : QStringLiteral("M"));
        accounts << a;
        expected << a.name + a.kind + QLatin1Char('/') + a.password;
    }
    sim.state.domains = {{Domain, accounts}};
    sim.faults.chunkSize = chunk;
    sim.faults.closeOnCommand = QStringLiteral("userlist");
    sim.faults.closeAfterBytes = INT_MAX;  // the whole reply, then the server closes
    QVERIFY(sim.listen());
    WindowFixture fx;
    fx.addServerRecord(1, "sim", "127.0.0.1", sim.port());
    frmMain& w = fx.open();
    w.Session->ReaderSliceMs = sliceMs;
    QTreeView* tree = w.DomainList;

    const QModelIndex server = w.NodeByKey(ServerKey);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(server).center());
    QTRY_VERIFY(w.NodeByKey(DomainKey).isValid());
    QTRY_VERIFY(w.Session->DriverIsIdle());
    tree->expand(server);
    const QModelIndex domain = w.NodeByKey(DomainKey);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(domain).center());
    QTRY_VERIFY(w.Session->DriverIsIdle());

    QStringList read;
    for (const UserEntry& e : w.Session->UserEntries)
        read << e.nameAndKind + QLatin1Char('/') + e.password;
    QCOMPARE(read, expected);
    QCOMPARE(w.Session->UserEntriesDomain, Domain);  // the list reached its end before the close was seen
    QCOMPARE(w.DomainModel->rowCount(domain), 3000);
    QCOMPARE(fx.messages.texts(), QStringList());  // the close after it is no error
}

QTEST_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
