// tazelctl as a user meets it: the real program run as a process against the simulated server,
// its standard output parsed back in every form, its exit codes, and what reached the server and
// the journal.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <optional>

#include "sim/TazelSim.h"
#include "protocol/AccountCsv.h"
#include "store/KeyringPasswords.h"
#include "store/ServerStore.h"

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
    QByteArray outWhileRunning;  // what standard output held before the program ended
};

// A throw-away home for tazelctl: its settings store, its journal, and a simulated server.
struct Cli {
    QTemporaryDir home;
    TazelSim sim;
    QString configDir() const { return home.filePath(QStringLiteral("config")); }
    QString journal() const { return home.filePath(QStringLiteral("state/journal.jsonl")); }
    QString storePath() const
    {
        return configDir() + QStringLiteral("/Tazel Administrator/Tazel Administrator.conf");
    }
    QProcessEnvironment env;

    Cli()
    {
        sim.loadSample();
        sim.listen();
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
        env.insert(QStringLiteral("TAZEL_JOURNAL"), journal());
        env.remove(QStringLiteral("TAZEL_PASSWORD"));
        addServer(1, QStringLiteral("sim"), sim.port());
    }

    void addServer(int slot, const QString& name, quint16 port, const QString& password = QStringLiteral("secret"))
    {
        QSettings s(storePath(), QSettings::IniFormat);
        WriteServerRecord(s, ServerSection(slot),
                          {name, QStringLiteral("127.0.0.1"), QString::number(port), QStringLiteral("admin"), password});
        WriteSetting(s, Store::ServersSection, Store::ServerCountKey, QString::number(slot));
    }

    // Runs tazelctl to its end, the simulator answering meanwhile.
    Result run(const QStringList& args, const QByteArray& input = QByteArray(), const QString& outputFile = QString())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        if (!outputFile.isEmpty())
            p.setStandardOutputFile(outputFile);
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
            r.out += p.readAllStandardOutput();
            r.err += p.readAllStandardError();
            if (p.state() != QProcess::NotRunning)
                r.outWhileRunning = r.out;
            p.waitForFinished(1);
        }
        r.out += p.readAllStandardOutput();
        r.err += p.readAllStandardError();
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    QByteArray journalBytes() const
    {
        QFile f(journal());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

QJsonArray JsonRows(const Result& r)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        qWarning() << "not a JSON array:" << error.errorString() << r.out.left(200);
    return doc.array();
}

QStringList Column(const QJsonArray& rows, const QString& key)
{
    QStringList out;
    for (const QJsonValue& v : rows)
        out << v.toObject().value(key).toString();
    return out;
}

// The rows of a tab or table output, without its header.
QList<QStringList> TextRows(const Result& r, bool table)
{
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i)
        rows << (table ? lines.at(i).split(QLatin1Char(' '), Qt::SkipEmptyParts) : lines.at(i).split(QLatin1Char('\t')));
    return rows;
}

}  // namespace

class TazelctlTest : public QObject {
    Q_OBJECT

private slots:
    void listsInEveryForm_data();
    void listsInEveryForm();
    void damagedDomainListStopsAtTheBadEntry();
    void listRowsArriveBeforeTheReplyEnds_data();
    void listRowsArriveBeforeTheReplyEnds();
    void readsOfOneAccount_data();
    void readsOfOneAccount();
    void filesComeOutAsTheServerHasThem();
    void changes_data();
    void changes();
    void accountListAsCsvReadsBackWithTheProjectsReader();
    void importAddsTheAcceptedRows();
    void exitCodes_data();
    void exitCodes();
    void unsendableValueIsRefusedBeforeAnyConnection_data();
    void unsendableValueIsRefusedBeforeAnyConnection();
    void serverChoice();
    void keyringThatDoesNotAnswer();
    void keyringPasswordOfAStoredServer();
    void promptsOnTheTerminalWithoutEcho();
    void dryRunSendsNothing();
    void passwordsNeverInJournalOrArguments();
    void journalAndLog();
    void failedJournalWriteIsReported();
    void helpOnEveryLevel();
};

void TazelctlTest::listsInEveryForm_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QStringList>("expected");
    const QStringList domainNames = {"example.com", "example.org", "lists.example.net"};
    const QStringList accounts = {"alice", "bob", "news", "postmaster"};
    for (const char* f : {"json", "csv", "tab", "table"}) {
        const QString form = QString::fromLatin1(f);
        QTest::addRow("domains %s", qPrintable(form)) << form << QStringList{"domain", "list"} << "name" << domainNames;
        QTest::addRow("domain kinds %s", qPrintable(form))
            << form << QStringList{"domain", "list"} << "kind" << QStringList{"domain", "domain", "custom"};
        QTest::addRow("accounts %s", qPrintable(form))
            << form << QStringList{"account", "list", "example.com"} << "name" << accounts;
        QTest::addRow("account kinds %s", qPrintable(form))
            << form << QStringList{"account", "list", "example.com"} << "kind"
            << QStringList{"user", "user", "list", "user"};
        QTest::addRow("servers %s", qPrintable(form)) << form << QStringList{"server", "list"} << "name"
                                                     << QStringList{"sim"};
    }
}

void TazelctlTest::listsInEveryForm()
{
    QFETCH(QString, form);
    QFETCH(QStringList, args);
    QFETCH(QString, column);
    QFETCH(QStringList, expected);
    Cli cli;
    const Result r = cli.run(args + QStringList{"-o", form});
    QCOMPARE(r.code, 0);
    QStringList got;
    if (form == QLatin1String("json")) {
        got = Column(JsonRows(r), column);
    } else if (form == QLatin1String("csv")) {
        const QList<CsvRecord> records = ReadCsv(r.out);
        QVERIFY(!records.isEmpty());
        const int at = int(records.first().fields.indexOf(column));
        QVERIFY(at >= 0);
        for (int i = 1; i < records.size(); ++i)
            got << records.at(i).fields.value(at);
    } else {
        const QStringList header = QString::fromUtf8(r.out.left(r.out.indexOf('\n')))
                                       .split(form == QLatin1String("tab") ? QStringLiteral("\t") : QStringLiteral(" "),
                                              Qt::SkipEmptyParts);
        const int at = int(header.indexOf(column));
        QVERIFY2(at >= 0, r.out.constData());
        for (const QStringList& row : TextRows(r, form == QLatin1String("table")))
            got << row.value(at);
    }
    QCOMPARE(got, expected);
}

void TazelctlTest::damagedDomainListStopsAtTheBadEntry()
{
    Cli cli;
    cli.sim.faults.scriptedReplies.insert(QStringLiteral("domainlist"),
                                          "+00000 OK\r\n\"a.org\"\r\n\"b.org\"\r\n\"a.org\"\r\n\"c.org\"\r\n.\r\n");
    const Result r = cli.run({"domain", "list", "-o", "tab", "--no-headers"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray("a.org\tdomain\nb.org\tdomain\nlists.example.net\tcustom\n"));
    QVERIFY(r.err.contains("domains.tab"));
}

void TazelctlTest::listRowsArriveBeforeTheReplyEnds_data()
{
    QTest::addColumn<QString>("form");
    QTest::newRow("tab") << "tab";
    QTest::newRow("csv") << "csv";
    QTest::newRow("json") << "json";
}

void TazelctlTest::listRowsArriveBeforeTheReplyEnds()
{
    QFETCH(QString, form);
    Cli cli;
    // A reply that never ends: the rows must be out while the program still waits for its end.
    QByteArray reply = "+00000 OK\r\n";
    for (int i = 0; i < 3000; ++i)
        reply += "\"big.example\"\t\"user" + QByteArray::number(i) + "\"\t\"pw\"\t\"U\"\r\n";
    cli.sim.faults.scriptedReplies.insert(QStringLiteral("userlist"), reply);
    const Result r = cli.run({"account", "list", "big.example", "--timeout", "2", "-o", form});
    QCOMPARE(r.code, 75);
    QVERIFY2(r.outWhileRunning.contains("user2999"), r.outWhileRunning.right(200).constData());
    if (form == QLatin1String("json"))
        QCOMPARE(JsonRows(r).size(), 3000);  // the array is closed, the exit code tells it is cut
}

void TazelctlTest::readsOfOneAccount_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("aliases in every domain") << QStringList{"alias", "list", "example.com", "alice"} << "alias"
                                             << QStringList{"ali", "wonder", "alice"};
    QTest::newRow("variables") << QStringList{"var", "list", "example.com", "alice"} << "name"
                               << QStringList{"RealName", "HomePage", "MaxMBSize", "ClosedML"};
    QTest::newRow("members") << QStringList{"member", "list", "example.com", "news"} << "address"
                             << QStringList{"alice@example.com", "bob@example.com", "carol@example.org"};
    QTest::newRow("member access") << QStringList{"member", "list", "example.com", "news"} << "access"
                                   << QStringList{"read-write", "read-only", "read-only"};
    QTest::newRow("pop3 links") << QStringList{"pop3", "list", "example.com", "alice"} << "server"
                                << QStringList{"pop.example.net"};
    QTest::newRow("account shown") << QStringList{"account", "show", "example.com", "alice"} << "field"
                                   << QStringList{"name", "kind", "alias", "alias", "alias", "var RealName",
                                                  "var HomePage", "var MaxMBSize", "var ClosedML", "mailbox",
                                                  "redirect", "mailproc", "pop3"};
}

void TazelctlTest::readsOfOneAccount()
{
    QFETCH(QStringList, args);
    QFETCH(QString, column);
    QFETCH(QStringList, expected);
    Cli cli;
    const Result r = cli.run(args + QStringList{"-o", "json"});
    QCOMPARE(r.code, 0);
    QStringList got = Column(JsonRows(r), column);
    if (column == QLatin1String("alias") || column == QLatin1String("name")) {
        got.sort();
        expected.sort();
    }
    QCOMPARE(got, expected);
}

void TazelctlTest::filesComeOutAsTheServerHasThem()
{
    Cli cli;
    Result r = cli.run({"mailproc", "get", "example.com", "alice"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("\"mailbox\"\n\"redirect\"\t\"alice@example.org\"\n\"wait\"\t\"10\"\n"));
    r = cli.run({"custdomain", "get", "lists.example.net"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("\"redirect\"\t\"news@example.com\"\n\"lredirect\"\t\"bob@example.com\"\t"
                               "\"carol@example.org\"\n\"wait\"\t\"5\"\n"));
    // What get printed, set takes back unchanged: the server's file stays byte for byte.
    const QString before = cli.sim.state.customDomains.value(QStringLiteral("lists.example.net"));
    const Result set = cli.run({"custdomain", "set", "lists.example.net"}, r.out);
    QCOMPARE(set.code, 0);
    QCOMPARE(cli.sim.state.customDomains.value(QStringLiteral("lists.example.net")), before);
}

void TazelctlTest::changes_data()
{
    using Check = std::function<bool(const SimState&)>;
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Check>("done");
    const QString d = QStringLiteral("example.com");
    QTest::newRow("domain add") << QStringList{"domain", "add", "new.example"} << QByteArray()
                                << Check([](const SimState& s) { return s.domain("new.example") != nullptr; });
    QTest::newRow("domain del") << QStringList{"domain", "del", "example.org"} << QByteArray()
                                << Check([](const SimState& s) { return s.domain("example.org") == nullptr; });
    QTest::newRow("custom domain add")
        << QStringList{"domain", "add", "--custom", "fresh.example"} << QByteArray()
        << Check([](const SimState& s) { return !s.customDomainKey("fresh.example").isNull(); });
    QTest::newRow("custom domain del")
        << QStringList{"custdomain", "del", "lists.example.net"} << QByteArray()
        << Check([](const SimState& s) { return s.customDomainKey("lists.example.net").isNull(); });
    QTest::newRow("custom domain set")
        << QStringList{"custdomain", "set", "lists.example.net"} << QByteArray("\"redirect\"\t\"x@y.org\"\n")
        << Check([](const SimState& s) {
               return s.customDomains.value("lists.example.net") == "\"redirect\"\t\"x@y.org\"\r\n";
           });
    QTest::newRow("account add") << QStringList{"account", "add", d, "Zed", "--password-stdin"} << QByteArray("zpw\n")
                                 << Check([](const SimState& s) {
                                        const SimAccount* a = s.account("example.com", "zed");
                                        return a && a->password == "zpw" && a->kind == "U";
                                    });
    QTest::newRow("list add") << QStringList{"account", "add", d, "team", "--list", "--password-stdin"}
                              << QByteArray("tpw\n") << Check([](const SimState& s) {
                                     const SimAccount* a = s.account("example.com", "team");
                                     return a && a->kind == "M";
                                 });
    QTest::newRow("account del") << QStringList{"account", "del", d, "bob"} << QByteArray()
                                 << Check([](const SimState& s) { return !s.account("example.com", "bob"); });
    QTest::newRow("account passwd") << QStringList{"account", "passwd", d, "bob", "--password-stdin"}
                                    << QByteArray("n3w\n") << Check([](const SimState& s) {
                                           return s.account("example.com", "bob")->password == "n3w";
                                       });
    QTest::newRow("member add") << QStringList{"member", "add", d, "news", "dan@x.org", "--read-only"} << QByteArray()
                                << Check([](const SimState& s) {
                                       for (const SimMember& m : s.account("example.com", "news")->members)
                                           if (m.address == "dan@x.org")
                                               return m.access == "R";
                                       return false;
                                   });
    QTest::newRow("member del") << QStringList{"member", "del", d, "news", "bob@example.com"} << QByteArray()
                                << Check([](const SimState& s) {
                                       return s.account("example.com", "news")->members.size() == 2;
                                   });
    QTest::newRow("alias add") << QStringList{"alias", "add", d, "Bobby", "bob"} << QByteArray()
                               << Check([](const SimState& s) { return s.aliasIndex("example.com", "bobby") >= 0; });
    QTest::newRow("alias del") << QStringList{"alias", "del", d, "ali"} << QByteArray()
                               << Check([](const SimState& s) { return s.aliasIndex("example.com", "ali") < 0; });
    QTest::newRow("var set") << QStringList{"var", "set", d, "alice", "RealName=Alice L.", "MaxMBSize=5"}
                             << QByteArray() << Check([](const SimState& s) {
                                    const SimAccount* a = s.account("example.com", "alice");
                                    QMap<QString, QString> v;
                                    for (const auto& p : a->vars)
                                        v.insert(p.first, p.second);
                                    // The other variables and the mail processing stay as they were.
                                    return v.value("RealName") == "Alice L." && v.value("MaxMBSize") == "5" &&
                                           v.value("HomePage") == "http://www.example.com/~alice" &&
                                           a->mailproc.contains("alice@example.org");
                                });
    QTest::newRow("mailproc set") << QStringList{"mailproc", "set", d, "alice"}
                                  << QByteArray("\"mailbox\"\n\"redirect\"\t\"a2@example.org\"\n")
                                  << Check([](const SimState& s) {
                                         return s.account("example.com", "alice")->mailproc ==
                                                "\"mailbox\"\r\n\"redirect\"\t\"a2@example.org\"\r\n";
                                     });
    QTest::newRow("pop3 add") << QStringList{"pop3", "add", d, "bob", "pop.x.org", "bobby", "--apop", "--password-stdin"}
                              << QByteArray("ppw\n") << Check([](const SimState& s) {
                                     const int i = s.pop3LinkIndex("example.com", "bob", "pop.x.org", "bobby");
                                     return i >= 0 && s.pop3Links.at(i).auth == "APOP" && s.pop3Links.at(i).enabled &&
                                            s.pop3Links.at(i).password == "ppw";
                                 });
    QTest::newRow("pop3 enable") << QStringList{"pop3", "enable", d, "bob", "mail.example.net", "bob"} << QByteArray()
                                 << Check([](const SimState& s) {
                                        const int i = s.pop3LinkIndex("example.com", "bob", "mail.example.net", "bob");
                                        return i >= 0 && s.pop3Links.at(i).enabled;
                                    });
    QTest::newRow("pop3 disable")
        << QStringList{"pop3", "disable", d, "alice", "pop.example.net", "alice.remote"} << QByteArray()
        << Check([](const SimState& s) {
               const int i = s.pop3LinkIndex("example.com", "alice", "pop.example.net", "alice.remote");
               return i >= 0 && !s.pop3Links.at(i).enabled;
           });
    QTest::newRow("pop3 del") << QStringList{"pop3", "del", d, "alice", "pop.example.net", "alice.remote"}
                              << QByteArray() << Check([](const SimState& s) {
                                     return s.pop3LinkIndex("example.com", "alice", "pop.example.net", "alice.remote") < 0;
                                 });
}

void TazelctlTest::changes()
{
    using Check = std::function<bool(const SimState&)>;
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(Check, done);
    Cli cli;
    QVERIFY(!done(cli.sim.state));
    const Result r = cli.run(args, input);
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(done(cli.sim.state));
    // Every change is in the journal with its outcome.
    const QList<QByteArray> lines = cli.journalBytes().split('\n');
    QVERIFY(lines.size() >= 2);
    const QJsonObject last = QJsonDocument::fromJson(lines.at(lines.size() - 2)).object();
    QCOMPARE(last.value("program").toString(), QStringLiteral("tazelctl"));
    QCOMPARE(last.value("server").toString(), QStringLiteral("sim"));
    QCOMPARE(last.value("outcome").toString(), QStringLiteral("done"));
}

void TazelctlTest::accountListAsCsvReadsBackWithTheProjectsReader()
{
    Cli cli;
    // Names and passwords with what CSV must quote, and a Latin-1 letter (UTF-8 in the output).
    cli.sim.state.domains.append({QStringLiteral("q.example"),
                                  {SimAccount::Make(QStringLiteral("a,b"), QStringLiteral("p\"w")),
                                   SimAccount::Make(QStringLiteral("j\u00fcrgen"), QStringLiteral("x"), "M")}});
    Result r = cli.run({"account", "list", "q.example", "--with-passwords", "-o", "csv"});
    QCOMPARE(r.code, 0);
    const QList<CsvRecord> records = ReadCsv(r.out);
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0).fields, (QStringList{"name", "kind", "password"}));
    QCOMPARE(records.at(1).fields, (QStringList{"a,b", "user", "p\"w"}));
    QCOMPARE(records.at(2).fields, (QStringList{QStringLiteral("j\u00fcrgen"), "list", "x"}));
    // The export is the window's file: its reader takes it as a file of accounts to add.
    r = cli.run({"account", "export", "q.example", "--with-passwords"});
    QCOMPARE(r.code, 0);
    const BulkAccountRows rows = ReadBulkAccounts(r.out, {});
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1).name, QStringLiteral("j\u00fcrgen"));
    QCOMPARE(rows.at(1).kind, QStringLiteral("M"));
    // JSON escapes the quote and keeps the letter.
    r = cli.run({"account", "list", "q.example", "--with-passwords", "-o", "json"});
    const QJsonArray json = JsonRows(r);
    QCOMPARE(Column(json, "password"), (QStringList{"p\"w", "x"}));
    QCOMPARE(Column(json, "name").value(1), QStringLiteral("j\u00fcrgen"));
}

void TazelctlTest::importAddsTheAcceptedRows()
{
    Cli cli;
    const QString path = cli.home.filePath(QStringLiteral("new.csv"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("kind,name,password\r\nuser,Zed,zpw\r\nuser,bob,x\r\nlist,team,tpw\r\nuser,\"bad\"\"q\",p\r\n");
    f.close();
    // The dry run gives every row its verdict and adds nothing.
    Result r = cli.run({"account", "import", "example.com", path, "--dry-run", "-o", "json"});
    QCOMPARE(r.code, 0);
    QJsonArray rows = JsonRows(r);
    QCOMPARE(Column(rows, "name"), (QStringList{"zed", "bob", "team", "bad\"q"}));
    QCOMPARE(Column(rows, "outcome").value(0), QStringLiteral("would be added"));
    QVERIFY(Column(rows, "outcome").value(1) != QStringLiteral("would be added"));
    QVERIFY(Column(rows, "outcome").value(3) != QStringLiteral("would be added"));
    QVERIFY(!cli.sim.state.account("example.com", "zed"));
    for (const QByteArray& line : std::as_const(cli.sim.received))
        QVERIFY(!line.startsWith("\"useradd\""));
    // For real: the accepted rows are added, one report line per row of the file.
    r = cli.run({"account", "import", "example.com", path, "-o", "json"});
    QCOMPARE(r.code, 0);
    rows = JsonRows(r);
    QCOMPARE(Column(rows, "outcome").value(0), QStringLiteral("added"));
    QCOMPARE(Column(rows, "outcome").value(2), QStringLiteral("added"));
    QCOMPARE(Column(rows, "line"), (QStringList{"2", "3", "4", "5"}));
    QCOMPARE(cli.sim.state.account("example.com", "zed")->password, QStringLiteral("zpw"));
    QCOMPARE(cli.sim.state.account("example.com", "team")->kind, QStringLiteral("M"));
    QVERIFY(cli.journalBytes().contains("add account zed@example.com"));
    // A header with no name column refuses the file (65, nothing added); rows without a password
    // (the export without passwords) are never added.
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("password,kind\r\npw,user\r\n");
    f.close();
    cli.sim.clearRecord();
    r = cli.run({"account", "import", "example.com", path});
    QCOMPARE(r.code, 65);
    QVERIFY2(r.err.contains("no name column"), r.err.constData());
    for (const QByteArray& line : std::as_const(cli.sim.received))
        QVERIFY(!line.startsWith("\"useradd\""));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("name,kind\r\nopen1,user\r\n");
    f.close();
    r = cli.run({"account", "import", "example.com", path, "-o", "json"});
    QCOMPARE(Column(JsonRows(r), "outcome"), QStringList{"no password"});
    QVERIFY(!cli.sim.state.account("example.com", "open1"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("kind,name,password\r\nuser,Zed,zpw\r\nuser,bob,x\r\nlist,team,tpw\r\nuser,\"bad\"\"q\",p\r\n");
    f.close();
    // A refused login stops the run: nothing more is added and the exit code says why.
    cli.sim.state.account("example.com", "zed")->name = QStringLiteral("zed-gone");
    cli.addServer(1, QStringLiteral("sim"), cli.sim.port(), QStringLiteral("wrong"));
    r = cli.run({"account", "import", "example.com", path});
    QCOMPARE(r.code, 77);
}

void TazelctlTest::exitCodes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stderrHolds");
    QTest::newRow("usage: unknown verb") << "" << QStringList{"domain", "frob"} << 64 << "unknown verb";
    QTest::newRow("usage: missing argument") << "" << QStringList{"account", "list"} << 64 << "usage";
    QTest::newRow("usage: unknown option") << "" << QStringList{"domain", "list", "--password", "x"} << 64
                                           << "unknown option";
    QTest::newRow("usage: unknown output form") << "" << QStringList{"domain", "list", "-o", "xml"} << 64 << "xml";
    QTest::newRow("usage: option of another verb") << "" << QStringList{"domain", "list", "--with-passwords"} << 64
                                                   << "takes no";
    QTest::newRow("server refused") << "refuse domainadd" << QStringList{"domain", "add", "x.org"} << 1
                                    << "-00029 Command refused";
    QTest::newRow("server refused a POP3 link's switch")
        << "refuse poplnkenable" << QStringList{"pop3", "enable", "example.com", "bob", "mail.example.net", "bob"} << 1
        << "-00029 Command refused";
    QTest::newRow("value the protocol cannot carry")
        << "" << QStringList{"domain", "add", "a\"b.org"} << 65 << "cannot be sent";
    QTest::newRow("unreadable input file") << "" << QStringList{"mailproc", "set", "example.com", "alice", "/no/such"}
                                           << 66 << "/no/such";
    QTest::newRow("no stored server of that name") << "" << QStringList{"-s", "nosuch", "domain", "list"} << 67
                                                   << "nosuch";
    QTest::newRow("server cannot be reached") << "closed port" << QStringList{"domain", "list"} << 69 << "";
    QTest::newRow("no answer in time") << "silent domainlist" << QStringList{"domain", "list", "--timeout", "1"} << 75
                                       << "did not answer";
    QTest::newRow("closed mid-reply") << "cut userlist" << QStringList{"account", "list", "example.com"} << 75 << "";
    QTest::newRow("login refused") << "wrong password" << QStringList{"domain", "list"} << 77 << "";
    QTest::newRow("usage: timeout not a number") << "" << QStringList{"domain", "list", "--timeout", "soon"} << 64
                                                 << "--timeout";
    QTest::newRow("output cannot be written") << "full disk" << QStringList{"domain", "list"} << 73 << "";
}

void TazelctlTest::exitCodes()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, stderrHolds);
    Cli cli;
    if (fault.startsWith(QLatin1String("refuse "))) {
        cli.sim.faults.refuseCommand = fault.mid(7);
    } else if (fault == QLatin1String("silent domainlist")) {
        cli.sim.faults.silentCommand = QStringLiteral("domainlist");
    } else if (fault == QLatin1String("cut userlist")) {
        cli.sim.faults.closeOnCommand = QStringLiteral("userlist");
        cli.sim.faults.closeAfterBytes = 30;
    } else if (fault == QLatin1String("wrong password")) {
        cli.addServer(1, QStringLiteral("sim"), cli.sim.port(), QStringLiteral("wrong"));
    } else if (fault == QLatin1String("closed port")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        cli.addServer(1, QStringLiteral("sim"), port);
    }
    const Result r = cli.run(args, QByteArray(), fault == QLatin1String("full disk") ? QStringLiteral("/dev/full") : QString());
    QVERIFY2(r.code == code, qPrintable(QStringLiteral("exit %1, stderr: %2").arg(r.code).arg(QString::fromUtf8(r.err))));
    QVERIFY2(r.err.contains(stderrHolds.toUtf8()), r.err.constData());
    // A command that failed before its first row prints nothing, not even a header.
    QVERIFY2(r.out.isEmpty(), r.out.constData());
    if (code == 1)  // the refused request is named, its line given whole
        QVERIFY(r.err.contains(fault.mid(7).toUtf8()));
}

void TazelctlTest::unsendableValueIsRefusedBeforeAnyConnection_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("domain") << QStringList{"domain", "add", "a\"b"} << QByteArray();
    QTest::newRow("account name") << QStringList{"account", "add", "example.com", "x\"y", "--password-stdin"}
                                  << QByteArray("pw\n");
    QTest::newRow("password") << QStringList{"account", "passwd", "example.com", "bob", "--password-stdin"}
                              << QByteArray("Pw\"Secret\n");
    QTest::newRow("pop3 password") << QStringList{"pop3", "add", "example.com", "bob", "s", "u", "--password-stdin"}
                                   << QByteArray("Pw\"Secret\n");
    QTest::newRow("member") << QStringList{"member", "add", "example.com", "news", "a\"@x"} << QByteArray();
    QTest::newRow("alias") << QStringList{"alias", "add", "example.com", "q\"", "bob"} << QByteArray();
    QTest::newRow("pop3 user") << QStringList{"pop3", "add", "example.com", "bob", "s", "u\"", "--password-stdin"}
                               << QByteArray("pw\n");
    QTest::newRow("file line outside Latin-1")
        << QStringList{"custdomain", "set", "lists.example.net"} << QByteArray("\"wait\"\t\"\xe2\x82\xac\"\n");
    QTest::newRow("file line with a control character")
        << QStringList{"custdomain", "set", "lists.example.net"} << QByteArray("\"wait\"\t\"a\x01\"\n");
    QTest::newRow("file line of one dot") << QStringList{"mailproc", "set", "example.com", "alice"}
                                          << QByteArray("\"mailbox\"\n.\n");
}

void TazelctlTest::unsendableValueIsRefusedBeforeAnyConnection()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    Cli cli;
    const QString before = SimStateText(cli.sim.state);
    const Result r = cli.run(args, input);
    QCOMPARE(r.code, 65);
    QVERIFY(!r.err.isEmpty());
    QVERIFY2(!r.err.contains("Secret"), r.err.constData());  // a refused password is not repeated
    QCOMPARE(cli.sim.connections, 0);
    QVERIFY(cli.sim.received.isEmpty());
    QCOMPARE(SimStateText(cli.sim.state), before);
}

void TazelctlTest::serverChoice()
{
    Cli cli;
    TazelSim second;
    second.state.domains = {{QStringLiteral("second.example"), {}}};
    QVERIFY(second.listen());
    cli.addServer(2, QStringLiteral("other"), second.port());
    // Two stored servers: one must be named, and the error names both.
    Result r = cli.run({"domain", "list"});
    QCOMPARE(r.code, 64);
    QVERIFY(r.err.contains("sim") && r.err.contains("other"));
    r = cli.run({"-s", "other", "domain", "list", "-o", "json"});
    QCOMPARE(r.code, 0);
    QCOMPARE(Column(JsonRows(r), "name"), QStringList{"second.example"});
    // server list names them and never gives a password.
    r = cli.run({"server", "list", "-o", "json"});
    QCOMPARE(Column(JsonRows(r), "name"), (QStringList{"other", "sim"}));
    QCOMPARE(Column(JsonRows(r), "port"), (QStringList{QString::number(second.port()), QString::number(cli.sim.port())}));
    QVERIFY(!r.out.contains("secret"));
    // A server that is not stored: its password from the environment or a file.
    const QString host = QStringLiteral("127.0.0.1:%1").arg(cli.sim.port());
    cli.env.insert(QStringLiteral("TAZEL_PASSWORD"), QStringLiteral("secret"));
    r = cli.run({"--host", host, "domain", "list", "-o", "tab", "--no-headers"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith("example.com\tdomain\n"));
    cli.env.remove(QStringLiteral("TAZEL_PASSWORD"));
    QFile file(cli.home.filePath(QStringLiteral("pw")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("wrong\n");
    file.close();
    r = cli.run({"--host", host, "--password-file", file.fileName(), "domain", "list"});
    QCOMPARE(r.code, 77);
    // No password at all and no terminal to ask on: a usage error, nothing sent.
    const int before = cli.sim.connections;
    r = cli.run({"--host", host, "domain", "list"});
    QCOMPARE(r.code, 64);
    QCOMPARE(cli.sim.connections, before);
}

void TazelctlTest::promptsOnTheTerminalWithoutEcho()
{
    // A terminal of its own (script(1) gives the program a pseudo-terminal): the new password is
    // asked twice there, and what is typed is not echoed back.
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("script(1) is not installed");
    Cli cli;
    QProcess p;
    p.setProcessEnvironment(cli.env);
    p.start(QStringLiteral("script"),
            {QStringLiteral("-qec"),
             QStringLiteral("%1 account passwd example.com bob").arg(QStringLiteral(TAZELCTL_PATH)),
             QStringLiteral("/dev/null")});
    QVERIFY(p.waitForStarted(10000));
    QByteArray out;
    auto waitFor = [&](const QByteArray& text) {
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(text) && clock.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            p.waitForReadyRead(10);
            out += p.readAllStandardOutput();
        }
        return out.contains(text);
    };
    QVERIFY2(waitFor("New password of bob@example.com: "), out.constData());
    p.write("Typed-Pw-9\r");
    QVERIFY2(waitFor("again: "), out.constData());
    p.write("Typed-Pw-9\r");
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        p.waitForFinished(10);
    }
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(cli.sim.state.account("example.com", "bob")->password, QStringLiteral("Typed-Pw-9"));
    QVERIFY2(!out.contains("Typed-Pw-9"), out.constData());
}

void TazelctlTest::keyringThatDoesNotAnswer()
{
    Cli cli;
    {
        QSettings s(cli.storePath(), QSettings::IniFormat);
        QVERIFY(MarkPasswordInKeyring(s, ServerSection(1)));
    }
    // No session bus at all: no keyring answers, and nothing goes to the server.
    cli.env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/tazel-bus"));
    const Result r = cli.run({"domain", "list"});
    QCOMPARE(r.code, 69);
    QVERIFY2(r.err.contains("could not be read") && r.err.contains("keyring"), r.err.constData());
    QCOMPARE(cli.sim.connections, 0);
}

void TazelctlTest::keyringPasswordOfAStoredServer()
{
    // The real keyring: gnome-keyring on a private session bus (CTest runs this through
    // scripts/private-keyring); never the machine's own.
    if (qgetenv("TAZEL_PRIVATE_KEYRING") != "1")
        QSKIP("runs through scripts/private-keyring only");
    Cli cli;
    // The password goes in as the window saves it, through the program's own keyring code.
    KeyringPasswords keyring;
    auto await = [](auto call) {
        std::optional<PasswordResult> answer;
        call([&answer](const PasswordResult& r) { answer = r; });
        QElapsedTimer clock;
        clock.start();
        while (!answer && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return answer.value_or(PasswordResult{PasswordResult::OtherError, {}, QStringLiteral("no answer")});
    };
    QVERIFY(await([&](PasswordStore::Callback done) { keyring.write(ServerSection(1), QStringLiteral("secret"), done); }).ok());
    {
        QSettings s(cli.storePath(), QSettings::IniFormat);
        QVERIFY(MarkPasswordInKeyring(s, ServerSection(1)));
    }
    Result r = cli.run({"domain", "list", "-o", "json"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(Column(JsonRows(r), "name").value(0), QStringLiteral("example.com"));
    QFile store(cli.storePath());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QVERIFY(!store.readAll().contains("secret"));
    // The entry gone from the keyring: the login cannot be made, and the server sees nothing.
    QVERIFY(await([&](PasswordStore::Callback done) { keyring.remove(ServerSection(1), done); }).ok());
    const int before = cli.sim.connections;
    r = cli.run({"domain", "list"});
    QCOMPARE(r.code, 77);
    QVERIFY2(r.err.contains("could not be read"), r.err.constData());
    QCOMPARE(cli.sim.connections, before);
}

void TazelctlTest::dryRunSendsNothing()
{
    Cli cli;
    const QString before = SimStateText(cli.sim.state);
    Result r = cli.run({"account", "add", "example.com", "zed", "--dry-run", "--password-stdin"}, "Zpw-42\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(cli.sim.connections, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    QVERIFY(lines.contains("\"admin\"\t\"***\""));
    QVERIFY(lines.contains("\"useradd\"\t\"example.com\"\t\"zed\"\t\"***\"\t\"U\""));
    QVERIFY(lines.contains("\"userlist\"\t\"example.com\""));
    QVERIFY(!r.out.contains("Zpw-42") && !r.out.contains("secret"));
    // A change that reads first reads for real and sends none of the change.
    r = cli.run({"var", "set", "example.com", "alice", "RealName=Al", "--dry-run"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("\"uservarsset\"\t\"example.com\"\t\"alice\"\t\"RealName\"\t\"Al\""));
    QVERIFY(r.out.contains("\"usersetmproc\"\t\"example.com\"\t\"alice\"\n\"mailbox\"\n"));
    for (const QByteArray& line : std::as_const(cli.sim.received))
        QVERIFY(!line.startsWith("\"uservarsset\"") && !line.startsWith("\"usersetmproc\""));
    QCOMPARE(SimStateText(cli.sim.state), before);
    QVERIFY(cli.journalBytes().isEmpty());
}

void TazelctlTest::passwordsNeverInJournalOrArguments()
{
    Cli cli;
    // The program takes no password option at all.
    Result r = cli.run({"--password", "secret", "domain", "list"});
    QCOMPARE(r.code, 64);
    QCOMPARE(cli.sim.connections, 0);
    QCOMPARE(cli.run({"account", "add", "example.com", "zed", "--password-stdin"}, "Zed-Secret-1\n").code, 0);
    QCOMPARE(cli.run({"account", "passwd", "example.com", "bob", "--password-stdin"}, "Bob-Secret-2\n").code, 0);
    QCOMPARE(cli.run({"pop3", "add", "example.com", "bob", "p.org", "b", "--password-stdin"}, "Pop-Secret-3\n").code, 0);
    const QByteArray journal = cli.journalBytes();
    QCOMPARE(journal.count('\n'), 3);
    for (const char* secret : {"Zed-Secret-1", "Bob-Secret-2", "Pop-Secret-3", "secret"})
        QVERIFY2(!journal.contains(secret), secret);
}

void TazelctlTest::journalAndLog()
{
    Cli cli;
    QCOMPARE(cli.run({"domain", "add", "one.example"}).code, 0);
    cli.sim.faults.refuseCommand = QStringLiteral("domainadd");
    QCOMPARE(cli.run({"domain", "add", "two.example"}).code, 1);
    // Reads are not changes and leave no line.
    QCOMPARE(cli.run({"domain", "list"}).code, 0);
    Result r = cli.run({"log", "-o", "json"});
    QCOMPARE(r.code, 0);
    const QJsonArray rows = JsonRows(r);
    QCOMPARE(Column(rows, "action"), (QStringList{"add domain one.example", "add domain two.example"}));
    QCOMPARE(Column(rows, "outcome").value(0), QStringLiteral("done"));
    QVERIFY(Column(rows, "outcome").value(1).contains("-00029"));
    // A line that is not an entry is passed over (and said so), the rest still shown.
    QFile f(cli.journal());
    QVERIFY(f.open(QIODevice::Append));
    f.write("{\"time\":\"broken\n");
    f.close();
    r = cli.run({"log", "--since", "1d", "-o", "json"});
    QCOMPARE(JsonRows(r).size(), 2);
    QVERIFY(r.err.contains("passed over"));
    r = cli.run({"log", "--since", "2999-01-01", "-o", "json"});
    QCOMPARE(r.out, QByteArray("[]\n"));
    QCOMPARE(cli.run({"log", "--since", "yesterday"}).code, 64);
}

void TazelctlTest::failedJournalWriteIsReported()
{
    Cli cli;
    // The journal's path is a folder: the line cannot be appended, and tazelctl says so.
    QVERIFY(QDir().mkpath(cli.journal()));
    const Result r = cli.run({"domain", "add", "one.example"});
    QCOMPARE(r.code, 0);
    QVERIFY(cli.sim.state.domain(QStringLiteral("one.example")));
    QVERIFY2(r.err.contains("activity journal") && r.err.contains("could not be written"), r.err.constData());
}

void TazelctlTest::helpOnEveryLevel()
{
    Cli cli;
    Result r = cli.run({"--help"});
    QCOMPARE(r.code, 0);
    for (const char* object : {"server", "domain", "account", "member", "alias", "var", "mailproc", "custdomain",
                               "pop3", "log"})
        QVERIFY2(r.out.contains(object), object);
    r = cli.run({"account", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("account passwd D NAME") && r.out.contains("--with-passwords"));
    r = cli.run({"pop3", "add", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("[--apop]"));
    r = cli.run({"--version"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith("tazelctl "));
    QCOMPARE(cli.sim.connections, 0);
}

QTEST_GUILESS_MAIN(TazelctlTest)
#include "tst_tazelctl.moc"
