// The find box over the server tree: what a pattern keeps of a fixed tree, and the box in the
// window against the simulated server (Ctrl+F, typing, Esc, no request while filtering).

#include <QLineEdit>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include "window/TreeMatch.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ServerTreeModel.h"
#include "window/TreeFilter.h"
#include "window/frmMain.h"

namespace {
// Tazel Servers
//   Alpha             example.com (alice, Bob, staff), example.org (never loaded), lists.example.net
//   beta srv          other.net (carol)
//   gamma             (never loaded)
QStandardItemModel* FixedTree(QObject* parent)
{
    auto* m = new QStandardItemModel(parent);
    auto node = [](QStandardItem* parentItem, const QString& text) {
        auto* item = new QStandardItem(text);
        parentItem->appendRow(item);
        return item;
    };
    QStandardItem* root = node(m->invisibleRootItem(), QStringLiteral("Tazel Servers"));
    QStandardItem* alpha = node(root, QStringLiteral("Alpha"));
    QStandardItem* com = node(alpha, QStringLiteral("example.com"));
    for (const char* a : {"alice", "Bob", "staff"})
        node(com, QString::fromLatin1(a));
    node(node(alpha, QStringLiteral("example.org")), QString());  // a placeholder child
    node(alpha, QStringLiteral("lists.example.net"));
    QStandardItem* beta = node(root, QStringLiteral("beta srv"));
    node(node(beta, QStringLiteral("other.net")), QStringLiteral("carol"));
    node(node(root, QStringLiteral("gamma")), QString());
    return m;
}

// The texts of the kept nodes, depth first, indented by depth.
QStringList Kept(const QAbstractItemModel& m, const QSet<QPersistentModelIndex>& dropped)
{
    QStringList out;
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
        for (int r = 0; r < m.rowCount(parent); ++r) {
            const QModelIndex i = m.index(r, 0, parent);
            if (dropped.contains(i))
                continue;
            out << QString(depth, QLatin1Char(' ')) + i.data().toString();
            walk(i, depth + 1);
        }
    };
    walk({}, 0);
    return out;
}

QSet<QPersistentModelIndex> Dropped(const QAbstractItemModel& m, const QString& pattern,
                                    const QSet<QPersistentModelIndex>& before = {})
{
    QSet<QPersistentModelIndex> dropped;
    const auto keep = [&](const QModelIndex& parent, int row, bool kept) {
        if (!kept)
            dropped.insert(m.index(row, 0, parent));
    };
    if (before.isEmpty())
        TreeMatch::Apply(m, {}, pattern, keep);
    else
        TreeMatch::Apply(m, {}, pattern, keep, [&](const QModelIndex& i) { return before.contains(i); });
    return dropped;
}

// What the tree view shows: the rows not hidden, with an open parent, depth first.
QStringList Shown(const QTreeView& view)
{
    QStringList out;
    const QAbstractItemModel* m = view.model();
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
        for (int r = 0; r < m->rowCount(parent); ++r) {
            const QModelIndex i = m->index(r, 0, parent);
            if (view.isRowHidden(r, parent))
                continue;
            out << QString(depth, QLatin1Char(' ')) + i.data().toString();
            if (view.isExpanded(i))
                walk(i, depth + 1);
        }
    };
    walk({}, 0);
    return out;
}
}  // namespace

class TestTreeFilter : public QObject {
    Q_OBJECT
private slots:
    void patterns_data();
    void patterns();
    void branchDecidedWhole();
    void findBoxInWindow();
    void findNarrowsALargeDomainsAccounts();
};

void TestTreeFilter::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("empty keeps all")
        << QString()
        << QStringList{"Tazel Servers", " Alpha", "  example.com", "   alice", "   Bob", "   staff", "  example.org", "   ",
                       "  lists.example.net", " beta srv", "  other.net", "   carol", " gamma", "  "};
    QTest::newRow("an account, other case, with its parents")
        << "BO" << QStringList{"Tazel Servers", " Alpha", "  example.com", "   Bob"};
    QTest::newRow("domains by name, loaded or not, without their accounts")
        << "example" << QStringList{"Tazel Servers", " Alpha", "  example.com", "  example.org", "  lists.example.net"};
    QTest::newRow("a server alone") << "SRV" << QStringList{"Tazel Servers", " beta srv"};
    QTest::newRow("a never-loaded server by its name") << "gam" << QStringList{"Tazel Servers", " gamma"};
    QTest::newRow("matches under two servers")
        << "a" << QStringList{"Tazel Servers", " Alpha", "  example.com", "   alice", "   staff", "  example.org",
                              "  lists.example.net", " beta srv", "  other.net", "   carol", " gamma"};
    QTest::newRow("the root's own text") << "tazel" << QStringList{"Tazel Servers"};
    QTest::newRow("nothing") << "zzz" << QStringList{};
    QTest::newRow("a dot and a space are plain text") << "e.n" << QStringList{"Tazel Servers", " Alpha", "  lists.example.net"};
}

void TestTreeFilter::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, kept);
    QObject owner;
    QStandardItemModel* m = FixedTree(&owner);
    QCOMPARE(Kept(*m, Dropped(*m, pattern)), kept);
    // Typed one letter at a time, each pattern narrowing the one before, gives the same tree.
    QSet<QPersistentModelIndex> dropped;
    for (int n = 1; n <= pattern.size(); ++n) {
        QVERIFY(n == 1 || TreeMatch::Narrows(pattern.left(n - 1), pattern.left(n)));
        dropped = Dropped(*m, pattern.left(n), dropped);
    }
    QCOMPARE(Kept(*m, dropped), kept);
}

// A branch decided whole (as a domain of very many accounts is) is kept or dropped by that answer;
// its rows are neither looked at nor reported, and its parents follow it.
void TestTreeFilter::branchDecidedWhole()
{
    QObject owner;
    QStandardItemModel* m = FixedTree(&owner);
    QStringList reported;
    const auto keep = [&](const QModelIndex& parent, int row, bool kept) {
        reported << m->index(row, 0, parent).data().toString() + (kept ? "+" : "-");
    };
    QStringList asked;
    const auto whole = [&](const QModelIndex& node) -> std::optional<bool> {
        if (node.data().toString() != QLatin1String("example.com"))
            return std::nullopt;
        asked << node.data().toString();
        return true;  // as if one of its accounts held the text
    };
    QVERIFY(TreeMatch::Apply(*m, {}, QStringLiteral("carol"), keep, {}, whole));
    QCOMPARE(asked, QStringList{"example.com"});
    // Kept rows at once; dropped rows once their parent is kept, and not below a dropped parent
    // (the placeholders of example.org and gamma).
    QCOMPARE(reported, (QStringList{"example.com+", "example.org-", "lists.example.net-", "Alpha+", "carol+",
                                    "other.net+", "beta srv+", "gamma-", "Tazel Servers+"}));
}

// Against the simulated server: Ctrl+F moves to the box, typing keeps the matches (opening their
// parents) without a request, a click on a match still works, and Esc brings the tree back as it
// was with the highlight where it is.
void TestTreeFilter::findBoxInWindow()
{
    TazelSim sim;
    sim.loadSample();
    QVERIFY(sim.listen());
    WindowFixture fx;
    frmMain* shown = fx.openShown(sim.port());
    QVERIFY(shown);
    frmMain& w = *shown;
    QLineEdit* box = w.TreeFind->box();
    QVERIFY(box->isVisible());
    QVERIFY(box->geometry().bottom() < w.DomainList->geometry().top());

    // Load the server and example.com; example.org stays never loaded.
    const QModelIndex server = w.NodeByKey(QStringLiteral("server1"));
    w.DomainList->setFocus();
    w.DomainList->setCurrentIndex(w.NodeByKey(QStringLiteral("Servers")));
    QTest::keyClick(w.DomainList, Qt::Key_Down);
    QTRY_VERIFY(w.Session->DriverIsIdle() && w.DomainModel->rowCount(server) == 3);
    const QModelIndex com = w.NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), QStringLiteral("example.com")));
    w.DomainList->expand(server);
    QTest::keyClick(w.DomainList, Qt::Key_Down);
    QTRY_VERIFY(w.Session->DriverIsIdle() && w.Session->Replies().UserEntriesDomain == QLatin1String("example.com"));
    QCOMPARE(w.DomainList->currentIndex(), com);
    w.DomainList->collapse(com);
    const QStringList before = Shown(*w.DomainList);
    QCOMPARE(before, (QStringList{"Tazel Servers", " sim", "  example.com", "  example.org", "  lists.example.net"}));
    const int linesBefore = sim.received.size();
    const int connectionsBefore = sim.connections;

    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(box->hasFocus());
    QTest::keyClicks(box, QStringLiteral("O"));
    QCOMPARE(Shown(*w.DomainList),
             (QStringList{"Tazel Servers", " sim", "  example.com", "   bob", "   postmaster", "  example.org"}));
    QTest::keyClicks(box, QStringLiteral("st"));
    QCOMPARE(Shown(*w.DomainList), (QStringList{"Tazel Servers", " sim", "  example.com", "   postmaster"}));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QStringLiteral("rg"));
    QCOMPARE(Shown(*w.DomainList), (QStringList{"Tazel Servers", " sim", "  example.org"}));
    QCOMPARE(w.TreeFind->pattern(), QStringLiteral("Org"));
    QCOMPARE(sim.received.size(), linesBefore);  // nothing was asked of the server
    QCOMPARE(sim.connections, connectionsBefore);
    QCOMPARE(w.Session->CountScripts(), 0);
    QCOMPARE(w.DomainList->currentIndex(), com);

    // Esc clears the box: the tree is as it was, example.com still highlighted and closed.
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QString());
    QCOMPARE(w.TreeFind->hiddenCount(), 0);
    QCOMPARE(Shown(*w.DomainList), before);
    QCOMPARE(w.DomainList->currentIndex(), com);
    QCOMPARE(sim.received.size(), linesBefore);

    // A click on a match found by the filter acts as any click: it loads the account.
    QTest::keyClicks(box, QStringLiteral("alice"));
    const QModelIndex alice = w.DomainModel->index(0, 0, com);
    QCOMPARE(w.NodeText(alice), QStringLiteral("alice"));
    QCOMPARE(Shown(*w.DomainList), (QStringList{"Tazel Servers", " sim", "  example.com", "   alice"}));
    QTest::mouseClick(w.DomainList->viewport(), Qt::LeftButton, {}, w.DomainList->visualRect(alice).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && w.txtUserName->text() == QLatin1String("alice"));
    // Rows read again while a pattern is typed are filtered as they arrive.
    w.DomainList_NodeClick(com);
    QTRY_VERIFY(w.Session->DriverIsIdle() && sim.received.last().startsWith("\"userlist\""));
    QTRY_COMPARE(Shown(*w.DomainList), (QStringList{"Tazel Servers", " sim", "  example.com", "   alice"}));
}

// A large domain's accounts are narrowed by the model: its rows become the matches (the highlighted
// account staying among them), narrower texts look only at those, and Esc brings every account back
// with the highlight where it was. Nothing is asked of the server.
void TestTreeFilter::findNarrowsALargeDomainsAccounts()
{
    TazelSim sim;
    const int n = int(ServerTreeModel::LargeDomain) + 3000;
    sim.state.domains = {{QStringLiteral("big.com"), NumberedAccounts(n)}, {QStringLiteral("small.org"), {}}};
    QVERIFY(sim.listen());
    WindowFixture fx;
    frmMain* shown = fx.openShown(sim.port());
    QVERIFY(shown);
    frmMain& w = *shown;
    QTreeView* tree = w.DomainList;
    ServerTreeModel* model = w.DomainModel;
    const QModelIndex server = w.NodeByKey(QStringLiteral("server1"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(server).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && model->rowCount(server) == 2);
    tree->expand(server);
    const QModelIndex big = w.NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), QStringLiteral("big.com")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(big).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && model->accountCount(big) == n && !model->accountsPending(big));
    tree->expand(big);
    const QModelIndex third = model->index(3, 0, big);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(third).center());
    QTRY_VERIFY(w.Session->DriverIsIdle() && w.txtUserName->text() == QLatin1String("u000003"));
    const int linesBefore = sim.received.size();
    const auto rows = [&] {
        QStringList out;
        for (int r = 0; r < model->rowCount(big); ++r)
            out << w.NodeText(model->index(r, 0, big));
        return out;
    };
    const auto range = [](int from, int to) {
        QStringList out{"u000003"};  // the highlighted account stays
        for (int i = from; i <= to; ++i)
            out << QStringLiteral("u%1").arg(i, 6, 10, QLatin1Char('0'));
        return out;
    };

    QLineEdit* box = w.TreeFind->box();
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(box, QStringLiteral("U0123"));
    QCOMPARE(rows(), range(12300, 12399));
    QTest::keyClicks(box, QStringLiteral("4"));
    QCOMPARE(rows(), range(12340, 12349));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QStringLiteral("9"));
    QCOMPARE(rows(), range(12900, 12999));
    QCOMPARE(w.NodeText(tree->currentIndex()), QStringLiteral("u000003"));
    QCOMPARE(Shown(*tree).mid(0, 5), (QStringList{"Tazel Servers", " sim", "  big.com", "   u000003", "   u012900"}));
    QCOMPARE(Shown(*tree).size(), 3 + 101);  // small.org is hidden
    // No account holds the text, nor any name above them: nothing shows.
    box->setText(QStringLiteral("zz"));
    QCOMPARE(rows(), QStringList{"u000003"});
    QCOMPARE(Shown(*tree), QStringList());
    // A domain's name keeps it, with only its accounts that match.
    box->setText(QStringLiteral("big"));
    QCOMPARE(rows(), QStringList{"u000003"});
    QCOMPARE(Shown(*tree), (QStringList{"Tazel Servers", " sim", "  big.com", "   u000003"}));

    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(model->rowCount(big), ServerTreeModel::FirstRows);
    QCOMPARE(w.NodeText(model->index(3, 0, big)), QStringLiteral("u000003"));
    QCOMPARE(tree->currentIndex(), model->index(3, 0, big));
    QCOMPARE(w.NodeText(w.SelectedUserIndex), QStringLiteral("u000003"));
    QCOMPARE(sim.received.size(), linesBefore);
    QCOMPARE(fx.messages.texts(), QStringList());
}

QTEST_MAIN(TestTreeFilter)
#include "tst_treefilter.moc"
