// The window against a separate tazel-sim process over loopback, driven the way a user drives it
// (clicks on the real tree of the real frmMain, offscreen). One line per figure: the figure, the
// target, and "ok" or "short". Timings are wall-clock on whatever else the machine is doing.
//
//   bench_window [ACCOUNTS] [DOMAINS] [CUSTOM_DOMAINS]      (default 1000000 100000 2000)
//
// Two simulators: one server of many domains and custom domains, one holding the big domain and
// the domains of the growth figure. Wall-clock figures depend on the machine's other load; the
// simulator's load is given in processor time, which does not.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <functional>
#include <ctime>
#include <unistd.h>

#include "store/ServerStore.h"
#include "bench/BenchKit.h"
#include "bench/QuietMessages.h"
#include "window/ServerTreeModel.h"
#include "window/TreeFilter.h"
#include "window/frmMain.h"

namespace {

bool allOk = true;  // false when the window did not do what it was asked (a short figure is no error)

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int accounts = argc > 1 ? atoi(argv[1]) : 1000000;
    const int domains = argc > 2 ? atoi(argv[2]) : 100000;
    const int customDomains = argc > 3 ? atoi(argv[3]) : 2000;
    constexpr int Small = 500, Large = 5000;  // the growth figure: 10x the items

    // ---- the simulators' data files: one server of many domains, one of a big domain
    QTemporaryDir dir;
    // The window's activity journal goes to the throw-away folder, never the user's own.
    qputenv("TAZEL_JOURNAL", QFile::encodeName(dir.filePath(QStringLiteral("journal.jsonl"))));
    const QString domainsPath = dir.filePath(QStringLiteral("domains.tzs"));
    const QString accountsPath = dir.filePath(QStringLiteral("accounts.tzs"));
    {
        QByteArray out;
        for (int i = 0; i < domains; ++i)
            out += "domain\tdomain" + QByteArray::number(i) + ".example\n";
        for (int i = 0; i < customDomains; ++i)
            out += "custdomain\tdomain" + QByteArray::number(i * 37 % qMax(1, domains)) + ".example-c\n";
        if (!WriteFile(domainsPath, out))
            return 1;
    }
    {
        QByteArray out;
        out.reserve(64 << 20);
        out += "domain\tbig.com\n";
        char line[96];
        for (int i = 1; i <= accounts; ++i) {
            const int n = std::snprintf(line, sizeof line, "account\tbig.com\tuser%07d\tpass%07d\tU\n", i, i);
            out.append(line, n);
        }
        // Two domains alike but for 10x the aliases, list members, POP3 links and file lines.
        for (const int n : {Small, Large}) {
            const QByteArray d = "grow" + QByteArray::number(n) + ".com";
            out += "domain\t" + d + "\naccount\t" + d + "\tu\tpw\tU\naccount\t" + d + "\tl\tpw\tM\n";
            out += "mailproc\t" + d + "\tu\n";
            out += "custdomain\tcd" + QByteArray::number(n) + "\n";
            for (int i = 0; i < n; ++i) {
                const QByteArray k = QByteArray::number(i);
                out += "alias\t" + d + "\talias" + k + "\tu\n";
                out += "member\t" + d + "\tl\tmember" + k + "@example.com\tRW\n";
                out += "pop3\t" + d + "\tu\tpop" + k + ".example.com\tuser" + k + "\tpw\tCLR\t1\n";
                out += "procline\t" + d + "\tu\t\"redirect\"\t\"to" + k + "@example.com\"\n";
                out += "custline\tcd" + QByteArray::number(n) + "\t\"redirect\"\t\"to" + k + "@example.com\"\n";
            }
        }
        if (!WriteFile(accountsPath, out))
            return 1;
    }

    // ---- the simulators, processes of their own
    Sim domainSim, accountSim;
    if (!domainSim.start(domainsPath) || !accountSim.start(accountsPath))
        return 1;
    char label[160];
    std::snprintf(label, sizeof label, "tazel-sim --data with %d accounts: load, processor time", accounts);
    Figure(label, accountSim.loadCpuSeconds, "s", "at most 5 s", accountSim.loadCpuSeconds <= 5.0);
    std::printf("tazel-sim: loaded in %.2f s of wall-clock time\n", accountSim.loadSeconds);

    QSettings settings(dir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    const QString key = ServerSection(1), domainsKey = ServerSection(2);
    WriteServerRecord(settings, key, {QStringLiteral("accounts"), QStringLiteral("127.0.0.1"), accountSim.port,
                                      QStringLiteral("admin"), QStringLiteral("secret")});
    WriteServerRecord(settings, domainsKey, {QStringLiteral("domains"), QStringLiteral("127.0.0.1"), domainSim.port,
                                             QStringLiteral("admin"), QStringLiteral("secret")});
    WriteSetting(settings, Store::ServersSection, Store::ServerCountKey, QStringLiteral("2"));

    QuietMessages messages;
    frmMain window(&settings, &messages);
    window.resize(800, 600);
    window.show();
    ServerTreeModel* model = window.DomainModel;
    QTreeView* tree = window.DomainList;
    GapWatch gaps;
    auto click = [&](const QModelIndex& node) {
        tree->scrollTo(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
    };
    auto idle = [&] { return window.Session->DriverIsIdle(); };
    auto settle = [&] {
        while (!window.Session->DriverIsIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents();  // the view's layout runs on a posted event
    };

    // ---- many domains and custom domains
    {
        const QModelIndex server = window.NodeByKey(domainsKey);
        double seconds = gaps.run([&] { click(server); }, idle);
        tree->expand(server);
        settle();
        const int shownDomains = model->rowCount(server);
        std::printf("window: a server of %d domains and %d custom domains listed and shown in %.2f s\n",
                    shownDomains - customDomains, customDomains, seconds);
        // The tree steps again, as a reload does them, the view's layout included.
        QElapsedTimer step;
        step.start();
        const double cpuBefore = ThreadCpuMs();
        window.AddDomainsToTree(domainsKey);
        window.AddCustomDomainsToTree(domainsKey);
        QCoreApplication::processEvents();
        seconds = step.nsecsElapsed() / 1e9;
        const double cpuSeconds = (ThreadCpuMs() - cpuBefore) / 1e3;
        const bool complete = model->rowCount(server) == shownDomains;
        if (!complete) {
            std::fprintf(stderr, "the reload shows %d domains, not %d\n", model->rowCount(server), shownDomains);
            allOk = false;
        }
        std::snprintf(label, sizeof label, "%d domains plus %d custom domains into the tree", domains, customDomains);
        Figure(label, seconds, "s", "at most 0.5 s", seconds <= 0.5 && complete);
        std::snprintf(label, sizeof label, "%d domains plus %d custom domains into the tree, processor time",
                      domains, customDomains);
        Figure(label, cpuSeconds, "s", "at most 0.5 s", cpuSeconds <= 0.5 && complete);
        tree->collapse(server);
        settle();
    }
    const QModelIndex server = window.NodeByKey(key);
    gaps.run([&] { click(server); }, idle);
    tree->expand(server);
    settle();

    // ---- a domain of a million accounts: click, expand, click again
    const QString domainKey = frmMain::DomainNodeKey(key, QStringLiteral("big.com"));
    const QModelIndex big = window.NodeByKey(domainKey);
    if (!big.isValid()) {
        std::fprintf(stderr, "the domain node was not built\n");
        return 1;
    }
    bool shown = false;
    QObject::connect(model, &ServerTreeModel::accountsShown, [&](const QModelIndex& d) { shown = shown || d == big; });
    auto loaded = [&] { return shown && window.Session->DriverIsIdle(); };
    const qint64 replyBytes = 5 + 3 + qint64(accounts) * (2 + 4 * 3 - 1 + 7 + 11 + 11 + 1);
    QCoreApplication::processEvents();
    const long before = StatusKb("VmRSS:");
    ResetPeak();
    QElapsedTimer toShown;
    qint64 shownAfter = -1;
    QObject::connect(model, &ServerTreeModel::accountsShown, [&](const QModelIndex& d) {
        if (d == big && shownAfter < 0)
            shownAfter = toShown.elapsed();
    });
    const double cpuAtClick = ThreadCpuMs();
    gaps.run([&] { toShown.start(); click(big); }, loaded);
    std::printf("window: the click's load took %.2f s of the window thread's processor time\n",
                (ThreadCpuMs() - cpuAtClick) / 1e3);
    const long peak = StatusKb("VmHWM:");
    std::snprintf(label, sizeof label, "click on a domain of %d accounts", accounts);
    gaps.report(label);
    std::snprintf(label, sizeof label, "click to %d accounts shown", int(model->accountCount(big)));
    Figure(label, shownAfter / 1000.0, "s", "at most 1.5 s", shownAfter >= 0 && shownAfter <= 1500);
    const double growth = double(peak - before) * 1024.0 / double(replyBytes);
    std::snprintf(label, sizeof label, "peak memory over the start against the reply (%.0f MB)", replyBytes / 1e6);
    Figure(label, growth, "x", "at most 3 x", growth <= 3.0);

    gaps.run([&] { tree->expand(big); }, [&] {
        QCoreApplication::processEvents();  // the view lays the rows out on a posted event
        return tree->isExpanded(big);
    });
    gaps.report("expanding it");

    shown = false;
    gaps.run([&] { click(big); }, loaded);
    gaps.report("clicking it again (reload)");
    if (model->accountCount(big) != accounts) {
        std::fprintf(stderr, "the reload holds %d accounts\n", int(model->accountCount(big)));
        allOk = false;
    }

    // ---- the find box over the loaded domain: each keystroke filters the whole tree at once
    {
        QLineEdit* box = window.TreeFind->box();
        qint64 slowest = 0;
        const QString typed = QStringLiteral("user0012345");
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            QElapsedTimer k;
            k.start();
            box->setText(typed.left(n));
            slowest = std::max(slowest, k.elapsed());
        }
        QElapsedTimer k;
        k.start();
        box->clear();
        slowest = std::max(slowest, k.elapsed());
        std::snprintf(label, sizeof label, "longest keystroke in the find box (typing and clearing), domain of %d accounts",
                      accounts);
        Figure(label, double(slowest), "ms", "under 50 ms", slowest < 50);
    }

    // ---- 10x the aliases, list members, POP3 links and file lines
    double taken[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const QString d = QStringLiteral("grow%1.com").arg(i == 0 ? Small : Large);
        const QString dk = frmMain::DomainNodeKey(key, d);
        shown = false;
        window.QueueLoadUsers(dk, false);
        while (!window.Session->DriverIsIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QElapsedTimer t;
        t.start();
        for (const QString& who : {QStringLiteral("u"), QStringLiteral("l")}) {
            window.QueueLoadAccount(frmMain::AccountNodeKey(dk, who));
            while (!window.Session->DriverIsIdle())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        window.QueueLoadCustomDomain(frmMain::CustomDomainNodeKey(key, QStringLiteral("cd%1").arg(i == 0 ? Small : Large)));
        while (!window.Session->DriverIsIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        taken[i] = t.nsecsElapsed() / 1e9;
    }
    const double ratio = taken[1] / taken[0];
    std::printf("window: an account, a list and a custom domain of %d items each in %.3f s, of %d in %.3f s\n",
                Small, taken[0], Large, taken[1]);
    Figure("time for 10x the aliases, members, POP3 links and file lines", ratio, "x", "at most 12 x", ratio <= 12);

    if (messages.count != 0)
        allOk = false;
    return allOk ? 0 : 1;
}
