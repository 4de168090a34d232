// The window as a new user meets it: every panel and mode, reached by clicks on the tree and the tab
// strips against the simulated server, at the design size and larger, with the activity log shown
// from the View menu or not. No two visible controls overprint each other, every one lies whole
// inside the window and its panel, and every one a user works with has an accessible name.
#include <QtTest>

#include <QAbstractItemView>
#include <QAccessible>
#include <QDockWidget>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

#include "session/ServerSession.h"
#include "sim/TazelSim.h"
#include "tests/FakePasswordStore.h"
#include "tests/TestKit.h"
#include "window/ActivityDock.h"
#include "window/MainMenu.h"
#include "window/SshSettings.h"
#include "window/frmMain.h"

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void nothingOverprintedOrHidden_data();
    void nothingOverprintedOrHidden();
    void activityLogKeepsThePanelsWhole();
};

namespace {

const QString Server = QStringLiteral("server1");

// A view of the panels: the nodes clicked in turn (none: the tree's top node) and the tab chosen.
struct View {
    const char* name;
    QStringList path;
    int tab;  // -1: no tab control
};

QList<View> Views()
{
    const QString domain = frmMain::DomainNodeKey(Server, QStringLiteral("example.com"));
    const QString custom = frmMain::CustomDomainNodeKey(Server, QStringLiteral("lists.example.net"));
    const QString alice = frmMain::AccountNodeKey(domain, QStringLiteral("alice"));
    const QString news = frmMain::AccountNodeKey(domain, QStringLiteral("news"));
    const QStringList toCustom{Server, custom}, toAlice{Server, domain, alice}, toNews{Server, domain, news};
    return {
        {"add new server", {}, -1},
        {"server", {Server}, -1},
        {"domain", {Server, domain}, -1},
        {"custom domain / Domain Redirection", toCustom, 0},
        {"custom domain / Advanced Options", toCustom, 1},
        {"account / Aliases / Vars", toAlice, 1},
        {"account / Redirection", toAlice, 2},
        {"account / POP3", toAlice, 3},
        {"account / Advanced", toAlice, 4},
        {"mailing list / List Users", toNews, 0},
        {"mailing list / Aliases / Vars", toNews, 1},
        {"mailing list / Redirection", toNews, 2},
        {"mailing list / POP3", toNews, 3},
        {"mailing list / Advanced", toNews, 4},
    };
}

QString Name(const QWidget* c)
{
    QString text = c->accessibleName();
    if (text.isEmpty()) {
        if (const auto* b = qobject_cast<const QAbstractButton*>(c))
            text = b->text();
        else if (const auto* l = qobject_cast<const QLabel*>(c))
            text = l->text();
        else if (const auto* g = qobject_cast<const QGroupBox*>(c))
            text = g->title();
        else
            text = c->objectName();
    }
    const QRect r(c->mapTo(c->window(), QPoint(0, 0)), c->size());
    return QStringLiteral("%1 \"%2\" (%3,%4 %5x%6)")
        .arg(QString::fromLatin1(c->metaObject()->className()), text)
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height());
}

// The things a user sees and works with, as against the containers Qt puts between them.
bool IsControl(const QWidget* c)
{
    if (c->inherits("QHeaderView") || c->inherits("QTableCornerButton") || c->inherits("QScrollBar"))
        return false;
    if (const auto* l = qobject_cast<const QLabel*>(c))
        return !l->text().isEmpty();
    return qobject_cast<const QAbstractButton*>(c) || qobject_cast<const QLineEdit*>(c)
           || qobject_cast<const QAbstractItemView*>(c) || qobject_cast<const QPlainTextEdit*>(c)
           || qobject_cast<const QGroupBox*>(c) || qobject_cast<const QTabWidget*>(c)
           || qobject_cast<const QTabBar*>(c) || qobject_cast<const QMenuBar*>(c)
           || c->objectName() == QLatin1String("treeSplitHandle");
}

// Those a user types into, clicks or reads a list of: a screen reader must be able to name them.
bool NeedsAName(const QWidget* c)
{
    if (c->parentWidget() && (c->parentWidget()->inherits("QTabBar") || c->parentWidget()->inherits("QDockWidget")))
        return false;  // Qt's own scroll and title buttons
    if (c->inherits("QLineEditIconButton"))
        return false;  // a text box's own clear button, not in the Tab order
    return qobject_cast<const QAbstractButton*>(c) || qobject_cast<const QLineEdit*>(c)
           || qobject_cast<const QAbstractItemView*>(c) || qobject_cast<const QPlainTextEdit*>(c)
           || qobject_cast<const QTabWidget*>(c);
}

QRect InWindow(const QWidget* c, const QWidget* window)
{
    return QRect(c->mapTo(window, QPoint(0, 0)), c->size());
}

bool IsAncestor(const QWidget* a, const QWidget* b)
{
    for (const QWidget* p = b->parentWidget(); p; p = p->parentWidget())
        if (p == a)
            return true;
    return false;
}

// The window as it stands: the first fault found, or "".
QString LayoutFault(frmMain& w)
{
    QList<QWidget*> shown;
    for (QWidget* c : w.findChildren<QWidget*>())
        if (c->isVisible() && c->window() == &w && IsControl(c))
            shown << c;
    const QRect window = w.rect();
    for (QWidget* c : shown) {
        const QRect r = InWindow(c, &w);
        if (!window.contains(r))
            return Name(c) + " runs past the window";
        // Whole inside every container up to the window: a part cut off by a panel is hidden.
        for (const QWidget* p = c->parentWidget(); p && p != &w; p = p->parentWidget())
            if (!InWindow(p, &w).contains(r))
                return Name(c) + " is cut off by " + Name(p);
        if (NeedsAName(c)) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(c);
            if (!face || face->text(QAccessible::Name).isEmpty())
                return Name(c) + " has no accessible name";
        }
    }
    for (int i = 0; i < shown.size(); ++i) {
        for (int j = i + 1; j < shown.size(); ++j) {
            QWidget *a = shown[i], *b = shown[j];
            if (IsAncestor(a, b) || IsAncestor(b, a))
                continue;
            const QRect both = InWindow(a, &w).intersected(InWindow(b, &w));
            if (both.width() > 1 && both.height() > 1)  // a 1-pixel seam is the designer's
                return Name(a) + " overlaps " + Name(b);
        }
    }
    return QString();
}

void ClickNode(frmMain& w, const QModelIndex& node)
{
    w.DomainList->scrollTo(node);
    QTest::mouseClick(w.DomainList->viewport(), Qt::LeftButton, {}, w.DomainList->visualRect(node).center());
}

// View > Activity, with the mouse.
void ClickActivityEntry(frmMain& w)
{
    QMenu* view = w.Menu->viewMenu();
    QMenuBar* bar = w.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(view->menuAction()).center());
    QTRY_VERIFY(view->isVisible());
    QAction* activity = w.ActivityView->toggleViewAction();
    QTest::mouseClick(view, Qt::LeftButton, {}, view->actionGeometry(activity).center());
    QTRY_VERIFY(!view->isVisible());
}

struct SimWindow {
    TazelSim sim;
    FakeKeyring keyring;  // none running: the server panel shows its note
    WindowFixture fx;
    frmMain* w = nullptr;

    SimWindow()
    {
        keyring.answer = PasswordResult::NoKeyring;
        fx.passwordStore = [this] { return std::unique_ptr<PasswordStore>(new FakePasswordStore(keyring)); };
        sim.loadSample();
        if (sim.listen())
            w = fx.openShown(sim.port());
    }
};

}  // namespace

void TestLayout::nothingOverprintedOrHidden_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<QSize>("size");  // empty: the design size
    QTest::addColumn<bool>("log");
    const QList<View> views = Views();
    for (int v = 0; v < views.size(); ++v) {
        for (const auto& [size, sizeName] : {std::pair{QSize(), "design size"}, std::pair{QSize(1100, 800), "1100x800"},
                                             std::pair{QSize(1000, 720), "1000x720"}}) {
            for (bool log : {false, true})
                QTest::addRow("%s, %s%s", views[v].name, sizeName, log ? ", activity log shown" : "")
                    << v << size << log;
        }
    }
}

void TestLayout::nothingOverprintedOrHidden()
{
    QFETCH(int, view);
    QFETCH(QSize, size);
    QFETCH(bool, log);
    const View v = Views().at(view);
    SimWindow s;
    QVERIFY(s.w);
    frmMain& w = *s.w;
    if (!size.isEmpty())
        w.resize(size);
    if (log) {
        ClickActivityEntry(w);
        QTRY_VERIFY(w.ActivityView->isVisible());
    }

    // The way a user gets there: the server, the domain, then the node itself, each read first.
    if (v.path.isEmpty())
        ClickNode(w, w.DomainModel->index(0, 0));
    w.DomainList->expand(w.DomainModel->index(0, 0));
    for (const QString& key : v.path) {
        QTRY_VERIFY2(w.NodeByKey(key).isValid(), qPrintable(key));
        ClickNode(w, w.NodeByKey(key));
        QTRY_VERIFY(w.Session->DriverIsIdle());
    }
    if (v.tab >= 0) {
        QTabWidget* tabs = w.tabUsers->isVisible() ? w.tabUsers : w.tabCustomDomain;
        QTRY_VERIFY(tabs->isVisible());
        QVERIFY(tabs->isTabVisible(v.tab));
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(v.tab).center());
        QCOMPARE(tabs->currentIndex(), v.tab);
    }
    // "SSH..." belongs to a stored server's record: not on the panel for a new one.
    QCOMPARE(w.SshPanel->cmdSshSettings->isVisible(), v.path.size() == 1);
    // No keyring answered: the server panel carries its note.
    QTRY_VERIFY(!w.findChild<QLabel*>(QStringLiteral("lblPasswordPlace"))->isHidden());
    // As the user sees it once the window has laid itself out.
    QString fault;
    QTRY_VERIFY2((fault = LayoutFault(w)).isEmpty(), qPrintable(fault));
}

// Shown at the design size the log makes the window taller rather than take the panels' room,
// and the tree and the panels keep their heights; hidden again, it leaves them as they were.
void TestLayout::activityLogKeepsThePanelsWhole()
{
    SimWindow s;
    QVERIFY(s.w);
    frmMain& w = *s.w;
    const QSize design = w.size();
    const int tree = w.DomainList->height();
    ClickActivityEntry(w);
    QTRY_VERIFY(w.ActivityView->isVisible());
    QTRY_VERIFY(w.height() > design.height());
    QTRY_VERIFY(w.ActivityView->height() >= w.ActivityView->minimumSizeHint().height());
    QTRY_COMPARE(w.DomainList->height(), tree);
    QCOMPARE(w.width(), design.width());
    QVERIFY(w.ActivityView->geometry().top() > w.centralWidget()->geometry().bottom());

    ClickActivityEntry(w);
    QTRY_VERIFY(!w.ActivityView->isVisible());
    QTRY_VERIFY(w.DomainList->height() >= tree);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
