// The fault sweep: every script of the table below runs against the simulated server with the
// connection closed after each byte offset of each reply the script receives, and again with a "-"
// answer to each request in turn. Whatever happens, the program does not crash, no file on the
// server ends up other than as it was or as the whole save makes it (no partial upload), and the
// queue moves on: the driver is idle with nothing left queued.
//
// In the normal test run one offset of each reply is sampled; TAZEL_SWEEP=all (make sweep) tries
// every one of them.

#include <QLineEdit>
#include <QtTest>
#include <functional>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

namespace {

const QString ServerKey = QStringLiteral("server1");

// Every file the server holds: "m:" domain/account for a mail-processing file, "c:" name for a
// custom domain file; an account without one is absent.
QMap<QString, QString> Files(const SimState& state)
{
    QMap<QString, QString> files;
    for (const SimDomain& d : state.domains)
        for (const SimAccount& a : d.accounts)
            if (a.hasMailproc)
                files.insert("m:" + d.name + '/' + a.name, a.mailproc);
    for (auto it = state.customDomains.cbegin(); it != state.customDomains.cend(); ++it)
        files.insert("c:" + it.key(), it.value());
    return files;
}

struct Sweep {
    WindowFixture fx;
    TazelSim sim;
    SimState base;
    frmMain* w = nullptr;
    int runs = 0;

    Sweep()
    {
        sim.loadSample();
        base = sim.state;
        sim.listen();
        fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
        w = &fx.open();
    }
    QString domainKey(const QString& domain) const { return frmMain::DomainNodeKey(ServerKey, domain); }
    QModelIndex node(const QString& key) const { return w->NodeByKey(key); }
    bool idle()
    {
        // Every script here ends well within this: the simulator answers at once or closes.
        return QTest::qWaitFor([this] { return w->Session->DriverIsIdle(); }, 10000);
    }
    void click(const QString& key)
    {
        QVERIFY2(node(key).isValid(), qPrintable(key));
        w->DomainList_NodeClick(node(key));
        QVERIFY(idle());
    }
};

struct Script {
    const char* name;
    std::function<void(Sweep&)> setup;   // brings the window to where the action starts
    std::function<void(Sweep&)> action;  // queues the script swept
};

const QString Alice = frmMain::AccountNodeKey(frmMain::DomainNodeKey(ServerKey, "example.com"), "alice");
const QString Custom = frmMain::CustomDomainNodeKey(ServerKey, "lists.example.net");

void OpenDomains(Sweep& s) { s.click(ServerKey); }
void OpenAccounts(Sweep& s)
{
    OpenDomains(s);
    s.click(s.domainKey("example.com"));
}
void OpenAlice(Sweep& s)
{
    OpenAccounts(s);
    s.click(Alice);
}
void OpenCustom(Sweep& s)
{
    OpenDomains(s);
    s.click(Custom);
}

const QList<Script>& Scripts()
{
    static const QList<Script> scripts = {
        {"load domains", nullptr, [](Sweep& s) { s.w->QueueLoadDomains(ServerKey, true); }},
        {"load accounts", OpenDomains, [](Sweep& s) { s.w->QueueLoadUsers(s.domainKey("example.com"), true); }},
        {"load account", OpenAccounts, [](Sweep& s) { s.w->QueueLoadAccount(Alice); }},
        {"add redirection", OpenAlice,
         [](Sweep& s) {
             s.w->txtRedirect->setText("new@x.com");
             s.w->cmdAddRedirect_Click();
         }},
        {"save variables", OpenAlice,
         [](Sweep& s) {
             s.w->txtRealName->setText("Alice L.");
             s.w->cmdSaveUserVars_Click();
         }},
        {"add alias", OpenAlice,
         [](Sweep& s) {
             s.w->txtNewAlias->setText("ally");
             s.w->cmdAddAlias_Click();
         }},
        {"load custom domain", OpenDomains, [](Sweep& s) { s.w->QueueLoadCustomDomain(Custom); }},
        {"add custom domain redirection", OpenCustom,
         [](Sweep& s) {
             s.w->txtDomainRedirect->setText("new@x.com");
             s.w->cmdAddDomainRedirect_Click();
         }},
    };
    return scripts;
}

// The offsets tried in a reply of `size` bytes: all of them, or one picked at random (the seed is
// fixed per script, so a run repeats).
QList<qsizetype> Offsets(qsizetype size, bool all, QRandomGenerator& r)
{
    QList<qsizetype> offsets;
    if (all) {
        for (qsizetype i = 0; i <= size; ++i)
            offsets << i;
        return offsets;
    }
    offsets << qsizetype(r.bounded(int(size + 1)));
    return offsets;
}

}  // namespace

class TestSweep : public QObject {
    Q_OBJECT
private slots:
    void sweep_data();
    void sweep();
};

void TestSweep::sweep_data()
{
    QTest::addColumn<int>("script");
    for (int i = 0; i < Scripts().size(); ++i)
        QTest::newRow(Scripts().at(i).name) << i;
}

void TestSweep::sweep()
{
    QFETCH(int, script);
    const Script& sc = Scripts().at(script);
    const bool all = qEnvironmentVariable("TAZEL_SWEEP") == QLatin1String("all");
    QRandomGenerator r(quint32(script) + 1);
    Sweep s;

    // One clean run: which replies the script gets, and what the server holds after it.
    if (sc.setup)
        sc.setup(s);
    QVERIFY(!QTest::currentTestFailed());
    s.sim.clearRecord();
    sc.action(s);
    QVERIFY(s.idle());
    QCOMPARE(s.fx.messages.texts(), QStringList());
    const QMap<QString, qsizetype> replies = s.sim.replySizes;
    const QMap<QString, QString> before = Files(s.base), after = Files(s.sim.state);

    auto faulted = [&](const SimFaults& faults, const QString& what) {
        s.sim.faults = SimFaults{};
        s.sim.state = s.base;
        if (sc.setup)
            sc.setup(s);
        s.sim.faults = faults;
        sc.action(s);
        const bool idle = s.idle();
        s.sim.faults = SimFaults{};
        ++s.runs;
        QVERIFY2(idle, qPrintable(what + ": the queue did not move on"));
        QVERIFY2(s.w->Session->QueueIsEmpty(), qPrintable(what));
        // No partial upload: each file as it was, or as the whole save makes it.
        const QMap<QString, QString> now = Files(s.sim.state);
        for (const QString& key : now.keys() + before.keys()) {
            const bool same = now.value(key) == before.value(key) && now.contains(key) == before.contains(key);
            const bool saved = now.value(key) == after.value(key) && now.contains(key) == after.contains(key);
            QVERIFY2(same || saved, qPrintable(what + ": " + key + " holds " + now.value(key)));
        }
    };
    for (auto it = replies.cbegin(); it != replies.cend(); ++it) {
        for (const qsizetype offset : Offsets(it.value(), all, r)) {
            SimFaults f;
            f.closeOnCommand = it.key();
            f.closeAfterBytes = int(offset);
            faulted(f, QStringLiteral("%1 closed after %2 bytes").arg(it.key()).arg(offset));
            if (QTest::currentTestFailed())
                return;
        }
        SimFaults f;
        f.refuseCommand = it.key();
        faulted(f, it.key() + QStringLiteral(" refused"));
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%s: %d replies, %d faulted runs", sc.name, int(replies.size()), s.runs);
}

QTEST_MAIN(TestSweep)
#include "tst_sweep.moc"
