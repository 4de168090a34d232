// The state file as a user meets it: the real tazelctl dumping, diffing and applying against
// simulated servers in this process, and what reached each server.

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "session/Plan.h"
#include "session/StateYaml.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"

namespace {

struct Result {
    int code = -1;
    QByteArray out, err;
};

// The requests that change something on a server.
const QStringList ChangingWords = {"domainadd", "domaindel", "useradd", "userdel", "userpasswd", "mluseradd",
                                   "mluserdel", "aliasadd", "aliasdel", "uservarsset", "usersetmproc",
                                   "custdomset", "poplnkadd", "poplnkdel", "poplnkenable"};

int ChangingRequests(const TazelSim& sim)
{
    int n = 0;
    for (const QByteArray& line : sim.received) {
        const QString word = QString::fromLatin1(line).section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('"'));
        n += ChangingWords.contains(word) ? 1 : 0;
    }
    return n;
}

// A throw-away home with two stored servers: "a" (the sample, made richer) and "b" (empty).
struct Home {
    QTemporaryDir dir;
    TazelSim a, b;
    QProcessEnvironment env;
    QString path(const QString& name) const { return dir.filePath(name); }

    Home()
    {
        a.loadSample();
        // Latin-1 beyond ASCII in values, and a mailproc.tab with every line kind the editors hold.
        SimAccount* alice = a.state.account("example.com", "alice");
        alice->vars.append({QStringLiteral("Signature"), QStringLiteral("Grüße, Alice – ¿sí?").remove(QChar(0x2013))});
        alice->password = QStringLiteral("wünderland");
        alice->mailproc = QStringLiteral("\"mailbox\"\r\n\"redirect\"\t\"alice@example.org\"\t\"a2@example.org\"\r\n"
                                         "\"lredirect\"\t\"bob@example.com\"\r\n\"external\"\t\"0\"\t\"60\"\t\"/usr/bin/filter\"\r\n"
                                         "\"wait\"\t\"10\"\r\n");
        a.state.customDomains.insert(QStringLiteral("empty.example.net"), QStringLiteral("\r\n"));
        a.listen();
        b.listen();
        b.state.clear();
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("TAZEL_JOURNAL", path("journal.jsonl"));
        env.remove("TAZEL_PASSWORD");
        QSettings s(path("config") + "/Tazel Administrator/Tazel Administrator.conf", QSettings::IniFormat);
        WriteServerRecord(s, ServerSection(1), {"a", "127.0.0.1", QString::number(a.port()), "admin", "secret"});
        WriteServerRecord(s, ServerSection(2), {"b", "127.0.0.1", QString::number(b.port()), "admin", "secret"});
        WriteSetting(s, Store::ServersSection, Store::ServerCountKey, "2");
    }

    Result run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAZELCTL_PATH), args);
        Result r;
        if (!p.waitForStarted(10000))
            return r;
        p.write(input);
        p.closeWriteChannel();
        QElapsedTimer clock;
        clock.start();
        while (p.state() != QProcess::NotRunning && clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            p.waitForFinished(1);
        }
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

}  // namespace

class StateTest : public QObject {
    Q_OBJECT

private slots:
    void dumpApplyDumpGivesTheSameFile();
    void diffSaysWhetherAnythingDiffers();
    void removesOnlyWithPruneAndOnlyInTheFilesDomains();
    void aRefusedStepSkipsItsDependants();
    void refusesWholeFilesItCannotSend_data();
    void refusesWholeFilesItCannotSend();
    void dryRunSendsNoChange();
    void yamlRoundTripsEveryText();
};

void StateTest::dumpApplyDumpGivesTheSameFile()
{
    Home h;
    Result r = h.run({"-s", "a", "dump", "-f", h.path("a.yaml")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err.count("holds passwords"), 1);
    QCOMPARE(QFile::permissions(h.path("a.yaml")),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    const QByteArray first = h.read("a.yaml");
    QVERIFY(first.contains("Grüße"));
    QVERIFY(first.contains("custom-domains"));
    // Two dumps of the same server are the same bytes.
    r = h.run({"-s", "a", "dump"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, first);

    r = h.run({"-s", "b", "apply", "-f", h.path("a.yaml"), "--yes"});
    QCOMPARE(r.code, 0);
    QVERIFY2(!r.out.contains("refused") && !r.out.contains("skipped"), r.out.constData());
    r = h.run({"-s", "b", "dump", "-f", h.path("b.yaml")});
    QCOMPARE(r.code, 0);
    QCOMPARE(QString::fromUtf8(h.read("b.yaml")), QString::fromUtf8(first));
    QCOMPARE(h.b.state.account("example.com", "alice")->mailproc, h.a.state.account("example.com", "alice")->mailproc);

    // Applied again, the plan is empty: not one changing request goes out.
    h.b.clearRecord();
    r = h.run({"-s", "b", "apply", "-f", h.path("a.yaml"), "--yes"});
    QCOMPARE(r.code, 0);
    QCOMPARE(ChangingRequests(h.b), 0);
    QVERIFY(h.b.connections > 0);  // it did read the server

    // Every change was a journal line.
    QFile journal(h.path("journal.jsonl"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray lines = journal.readAll();
    QVERIFY(lines.contains("add account alice@example.com"));
    QVERIFY(!lines.contains("wünderland"));
}

void StateTest::diffSaysWhetherAnythingDiffers()
{
    Home h;
    QCOMPARE(h.run({"-s", "a", "dump", "-f", h.path("a.yaml")}).code, 0);
    Result r = h.run({"-s", "a", "diff", "-f", h.path("a.yaml")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("Plan: 0 to add, 0 to change, 0 to remove.\n"));

    SimAccount* bob = h.a.state.account("example.com", "bob");
    bob->vars.append({QStringLiteral("MaxMBSize"), QStringLiteral("100")});
    bob->password = "old-secret";
    // The file asks for 200 and the old password; the server now holds 100 and another one.
    QByteArray yaml = h.read("a.yaml");
    yaml.replace("RealName: Bob Builder", "MaxMBSize: 200\n          RealName: Bob Builder");
    h.write("a.yaml", yaml);
    r = h.run({"-s", "a", "diff", "-f", h.path("a.yaml")});
    QVERIFY2(r.code == 1, r.err.constData());
    QVERIFY2(r.out.contains("~ var example.com/bob MaxMBSize: 100 -> 200\n"), r.out.constData());
    QVERIFY(r.out.contains("~ password example.com/bob\n"));
    QVERIFY(!r.out.contains("builder") && !r.out.contains("old-secret"));
    r = h.run({"-s", "a", "-o", "json", "diff", "-f", h.path("a.yaml")});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.contains("\"(sensitive)\""));

    // Against another stored server: the plan that makes b hold what a holds of example.org.
    r = h.run({"-s", "b", "diff", "--against", "a", "example.org"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.contains("+ domain example.org\n"));
    QVERIFY(r.out.contains("+ account example.org/carol (user)\n"));

    // An error is above 1: the server cannot be reached.
    h.env.insert("TAZEL_PASSWORD", "secret");
    r = h.run({"--host", "127.0.0.1:1", "diff", "-f", h.path("a.yaml")});
    QCOMPARE(r.code, 2);
}

void StateTest::removesOnlyWithPruneAndOnlyInTheFilesDomains()
{
    Home h;
    QCOMPARE(h.run({"-s", "a", "dump", "example.com", "-f", h.path("a.yaml")}).code, 0);
    const QByteArray yaml = h.read("a.yaml");
    QVERIFY(!yaml.contains("name: example.org"));
    // The server gains an account and an alias the file does not hold, in both domains.
    h.a.state.domain("example.com")->accounts.append(SimAccount::Make("zed"));
    h.a.state.domain("example.org")->accounts.append(SimAccount::Make("yves"));
    h.a.state.aliases.append(SimAlias{"example.com", "extra", "bob"});
    h.a.clearRecord();
    Result r = h.run({"-s", "a", "apply", "-f", h.path("a.yaml"), "--yes"});
    QCOMPARE(r.code, 0);
    QCOMPARE(ChangingRequests(h.a), 0);
    QVERIFY(h.a.state.account("example.com", "zed"));

    r = h.run({"-s", "a", "apply", "-f", h.path("a.yaml"), "--yes", "--prune"});
    QCOMPARE(r.code, 0);
    QVERIFY(!h.a.state.account("example.com", "zed"));
    QCOMPARE(h.a.state.aliasIndex("example.com", "extra"), -1);
    QVERIFY(h.a.state.account("example.org", "yves"));  // a domain the file does not name
    QVERIFY(r.out.contains("- account example.com/zed (user)"));
}

void StateTest::aRefusedStepSkipsItsDependants()
{
    Home h;
    QCOMPARE(h.run({"-s", "a", "dump", "example.com", "-f", h.path("a.yaml")}).code, 0);
    h.b.state.domains.append(SimDomain{"example.com", {SimAccount::Make("bob", "other")}});
    h.b.faults.refuseCommand = "useradd";
    Result r = h.run({"-s", "b", "apply", "-f", h.path("a.yaml"), "--yes"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.contains("refused\t+ account example.com/alice (user)\t-00029 Command refused"), r.out.constData());
    QVERIFY(r.out.contains("skipped\t+ alias example.com/ali -> alice\tit needs + account example.com/alice (user)"));
    // The rest went on: bob's password and variables.
    QVERIFY(r.out.contains("done\t~ password example.com/bob"));
    QCOMPARE(h.b.state.account("example.com", "bob")->password, QStringLiteral("builder"));
}

void StateTest::refusesWholeFilesItCannotSend_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("not YAML") << QByteArray("domains:\n  - name: [x\n") << QByteArray("line ");
    QTest::newRow("unknown key") << QByteArray("format: 1\ndomains:\n- name: example.com\n  acounts: []\n")
                                 << QByteArray("line 4, column 3: unknown key \"acounts\"");
    QTest::newRow("a quote in a password")
        << QByteArray("domains:\n- name: example.com\n  accounts:\n  - name: bob\n    password: 'a\"b'\n")
        << QByteArray("cannot be sent");
    QTest::newRow("outside Latin-1")
        << QByteArray("domains:\n- name: example.com\n  accounts:\n  - name: bob\n    variables: {RealName: \"\xe2\x82\xac\"}\n")
        << QByteArray("cannot be sent");
    QTest::newRow("a new account without password")
        << QByteArray("domains:\n- name: example.com\n  accounts:\n  - name: newbie\n") << QByteArray("no password");
    QTest::newRow("a mailbox size that is no number")
        << QByteArray("domains:\n- name: example.com\n  accounts:\n  - name: bob\n    variables: {MaxMBSize: lots}\n")
        << QByteArray("whole number");
}

void StateTest::refusesWholeFilesItCannotSend()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, message);
    Home h;
    h.write("bad.yaml", file);
    for (const char* verb : {"apply", "diff"}) {
        h.a.clearRecord();
        QStringList args{"-s", "a", verb, "-f", h.path("bad.yaml")};
        if (QByteArray(verb) == "apply")
            args << "--yes";
        const Result r = h.run(args);
        if (QByteArray(verb) == "apply") {
            QCOMPARE(r.code, 65);
            QVERIFY2(r.err.contains(message), r.err.constData());
        } else {
            QVERIFY(r.code >= 1);
        }
        QCOMPARE(ChangingRequests(h.a), 0);
    }
}

void StateTest::dryRunSendsNoChange()
{
    Home h;
    QCOMPARE(h.run({"-s", "a", "dump", "example.org", "-f", h.path("a.yaml")}).code, 0);
    Result r = h.run({"-s", "b", "--dry-run", "apply", "-f", h.path("a.yaml")});
    QCOMPARE(r.code, 0);
    QCOMPARE(ChangingRequests(h.b), 0);
    QVERIFY(h.b.state.domains.isEmpty());
    QVERIFY2(r.out.contains("\"domainadd\"\t\"example.org\""), r.out.constData());
    QVERIFY(r.out.contains("+ account example.org/carol (user)"));
    QVERIFY(!r.out.contains("singer"));  // the password shown as ***
}

void StateTest::yamlRoundTripsEveryText()
{
    ServerState s;
    StateDomain d{"example.com", {}};
    StateAccount a;
    a.name = "bob";
    a.password = QString::fromLatin1("p\xe4ss: #1 'x' \"y\" ~");
    a.variables = QList<QPair<QString, QString>>{{"A", ""}, {"B", "null"}, {"C", "  spaced  "}, {"D", "true"}, {"E", "~"}};
    a.mailproc = StateFile{true, "\"mailbox\"\n  \"indented\"\t\"x\"\n"};
    a.aliases = QStringList{"- dash", "yes"};
    d.accounts.push_back(a);
    StateAccount none;
    none.name = "carol";
    none.mailproc = StateFile{false, {}};
    d.accounts.push_back(none);
    s.domains.push_back(d);
    s.customDomains.push_back({"c1", "\n"});
    s.customDomains.push_back({"c2", "\"x\"\n\n\n"});
    s.sort();
    const QByteArray text = StateYaml::Write(s);
    ServerState back;
    StateYaml::ReadError error;
    QVERIFY2(StateYaml::Read(text, &back, &error), qPrintable(error.where() + error.text));
    QCOMPARE(StateYaml::Write(back), text);
    QCOMPARE(*back.domains[0].accounts[0].password, *a.password);
    QCOMPARE(*back.domains[0].accounts[0].variables, *s.domains[0].accounts[0].variables);
    QCOMPARE(back.domains[0].accounts[0].mailproc->text, a.mailproc->text);
    QVERIFY(!back.domains[0].accounts[1].mailproc->exists);
    QCOMPARE(back.customDomains[1].text, QStringLiteral("\"x\"\n\n\n"));
    // The same state, nothing to do.
    QVERIFY(ComputePlan(s, back, true).steps.empty());
}

QTEST_GUILESS_MAIN(StateTest)
#include "tst_state.moc"
