// A domain of a million accounts, loaded the way a click on it loads it: the account list read from
// the simulated server on loopback, parsed into the account table and put under the domain node.
// Prints the time of the whole load and of the tree step alone.

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <cstdio>

#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

namespace {
class QuietMessages : public MessageSeam {
public:
    int count = 0;
    void notify(const QString& text, const QString&, MsgIcon) override
    {
        ++count;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    MsgButton ask(const QString&, const QString&, MsgIcon, int, MsgButton) override { return MsgNo; }
};
}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int accounts = argc > 1 ? atoi(argv[1]) : 1000000;
    const int domains = argc > 2 ? atoi(argv[2]) : 20000;

    TazelSim sim;
    sim.listen();
    QElapsedTimer prep;
    prep.start();
    sim.state.addBulkAccounts(QStringLiteral("big.com"), accounts);
    for (int i = 0; i < domains; ++i)
        sim.state.domains.append(SimDomain{QStringLiteral("domain%1.example").arg(i), {}});

    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    const QString key = ServerSection(1);
    WriteServerRecord(settings, key, {QStringLiteral("sim"), QStringLiteral("127.0.0.1"),
                                      QString::number(sim.port()), sim.adminLogin, sim.adminPassword});
    WriteSetting(settings, Store::ServersSection, Store::ServerCountKey, QStringLiteral("1"));

    QuietMessages messages;
    frmMain window(&settings, &messages);
    auto runUntilIdle = [&] {
        while (!window.DriverIsIdle())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };

    // The server's domains first, as expanding the server does.
    QElapsedTimer domainTimer;
    domainTimer.start();
    window.QueueLoadDomains(key, true);
    runUntilIdle();
    std::printf("window: a server of %d domains listed and put in the tree in %.2f s\n", domains + 1,
                domainTimer.nsecsElapsed() / 1e9);
    const QString domainKey = frmMain::DomainNodeKey(key, QStringLiteral("big.com"));
    if (!window.NodeByKey(domainKey).isValid()) {
        std::fprintf(stderr, "the domain node was not built\n");
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    window.QueueLoadUsers(domainKey, true);
    runUntilIdle();
    const double whole = timer.nsecsElapsed() / 1e9;
    const int shown = window.DomainModel->itemFromIndex(window.NodeByKey(domainKey))->rowCount();

    timer.restart();
    window.AddUsersToTree(domainKey);
    const double treeOnly = timer.nsecsElapsed() / 1e9;

    std::printf("window: %d accounts listed and put in the tree in %.2f s (%.0f accounts/s); "
                "the tree step alone %.2f s\n",
                shown, whole, shown / whole, treeOnly);
    return shown == accounts && messages.count == 0 ? 0 : 1;
}
