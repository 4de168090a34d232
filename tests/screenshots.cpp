// Takes the README's pictures of the window: the simulated server with the sample data, the
// window at a larger size, and one picture each of the server, domain, account and custom domain
// panels. Runs headless (QT_QPA_PLATFORM=offscreen).
//   tazel-screenshots OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <cstdio>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/ServerTreeModel.h"
#include "window/frmMain.h"

namespace {

QModelIndex Child(const frmMain& w, const QModelIndex& parent, const QString& text)
{
    for (int r = 0; r < w.DomainModel->rowCount(parent); ++r)
        if (w.NodeText(w.DomainModel->index(r, 0, parent)) == text)
            return w.DomainModel->index(r, 0, parent);
    return {};
}

bool Click(frmMain& w, const QModelIndex& node, const std::function<bool()>& ready)
{
    if (!node.isValid())
        return false;
    w.DomainList->expand(node.parent());
    w.DomainList->scrollTo(node);
    QTest::mouseClick(w.DomainList->viewport(), Qt::LeftButton, {}, w.DomainList->visualRect(node).center());
    return QTest::qWaitFor([&] { return w.Session->DriverIsIdle() && ready(); }, 10000);
}

bool Save(frmMain& w, const QString& dir, const char* name)
{
    QTest::qWait(50);  // let the last repaint land
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    if (!w.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tazel-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    TazelSim sim;
    sim.loadSample();
    if (!sim.listen(0))
        return 1;
    WindowFixture fx;
    fx.addServerRecord(1, QStringLiteral("Demo server"), QStringLiteral("127.0.0.1"), sim.port());
    frmMain& w = fx.open();
    w.resize(1000, 700);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;

    const QString server = QStringLiteral("server1");
    const QString domain = frmMain::DomainNodeKey(server, QStringLiteral("example.com"));
    const QString custom = frmMain::CustomDomainNodeKey(server, QStringLiteral("lists.example.net"));
    bool ok = Click(w, w.NodeByKey(server), [&] { return w.DomainModel->rowCount(w.NodeByKey(server)) > 1; });
    w.DomainList->expand(w.NodeByKey(server));
    ok = ok && Save(w, dir, "server.png");
    ok = ok && Click(w, w.NodeByKey(domain), [&] { return w.DomainModel->rowCount(w.NodeByKey(domain)) > 1; })
         && Save(w, dir, "domain.png");
    w.DomainList->expand(w.NodeByKey(domain));
    ok = ok && Click(w, Child(w, w.NodeByKey(domain), QStringLiteral("alice")),
                     [&] { return w.tabUsers->isVisible(); });
    w.tabUsers->setCurrentIndex(1);
    ok = ok && Save(w, dir, "account.png");
    ok = ok && Click(w, w.NodeByKey(custom), [&] { return w.tabCustomDomain->isVisible(); }) && Save(w, dir, "custom-domain.png");
    return ok ? 0 : 1;
}
