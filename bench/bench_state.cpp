// The state file's figures against a tazel-sim process of its own: a dump of a domain of 10,000
// accounts with their details against the same requests sent here over one socket, one after
// another; a dump of 1,000,000 accounts' lists only (time and peak memory against the file's size);
// a diff of a 100,000-account file beyond the account list's read. Each line gives the bare figure
// of the same run beside it. The machine is shared with other builds: processor time is given too.

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "bench/BenchKit.h"
#include "protocol/Protocol.h"
#include "session/Plan.h"
#include "session/StateReader.h"
#include "session/StateYaml.h"

namespace {

QByteArray SimData(const QString& domain, int count, bool details)
{
    QByteArray data = "domain\t" + domain.toLatin1() + "\n";
    data.reserve(count * (details ? 160 : 40));
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "user" + QByteArray::number(i).rightJustified(7, '0');
        data += "account\t" + domain.toLatin1() + "\t" + name + "\tpass" + QByteArray::number(i) + "\tU\n";
        if (details) {
            data += "var\t" + domain.toLatin1() + "\t" + name + "\tRealName\tUser " + QByteArray::number(i) + "\n";
            data += "var\t" + domain.toLatin1() + "\t" + name + "\tMaxMBSize\t20000\n";
            if (i % 2 == 0) {
                data += "mailproc\t" + domain.toLatin1() + "\t" + name + "\n";
                data += "procline\t" + domain.toLatin1() + "\t" + name + "\t\"mailbox\"\n";
            }
        }
    }
    return data;
}

ScriptServer Server(const QString& port)
{
    ScriptServer s;
    s.login.host = QStringLiteral("127.0.0.1");
    s.login.port = port;
    s.login.login = QStringLiteral("admin");
    s.login.password = QStringLiteral("secret");
    s.name = s.key = QStringLiteral("bench");
    return s;
}

// Reads a state; the seconds it took (wall clock), -1 on failure.
double Read(const ScriptServer& server, const StateReader::Request& request, ServerState* state)
{
    StateReader reader;
    bool ended = false, ok = false;
    QObject::connect(&reader, &StateReader::finished, [&](bool good, const QString& error) {
        ended = true;
        ok = good;
        if (!good)
            std::fprintf(stderr, "read failed: %s\n", qPrintable(error));
    });
    QElapsedTimer clock;
    clock.start();
    reader.start(server, request);
    WaitUntil([&] { return ended; }, 600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    *state = std::move(reader.state);
    return ok ? seconds : -1;
}

// One request line and its whole reply, read up to the "." of a list or the reply's one line.
bool Exchange(QTcpSocket& socket, const QByteArray& line, bool list)
{
    socket.write(line);
    QByteArray pending;
    bool first = true;
    for (;;) {
        qsizetype end;
        while ((end = pending.indexOf("\r\n")) < 0) {
            if (!socket.waitForReadyRead(60000))
                return false;
            pending += socket.readAll();
        }
        const QByteArray reply = pending.left(end);
        pending.remove(0, end + 2);
        if (first && (reply.startsWith('-') || !list))
            return true;
        first = false;
        if (reply == ".")
            return true;
    }
}

// The same requests the dump sends, over one socket, one after another: the bare figure.
double Bare(const QString& port, const QString& domain, const ServerState& state)
{
    QTcpSocket socket;
    QElapsedTimer clock;
    clock.start();
    socket.connectToHost(QStringLiteral("127.0.0.1"), port.toUShort());
    if (!socket.waitForConnected(10000) || !socket.waitForReadyRead(10000))
        return -1;
    const Greeting g = ParseGreeting(Wire::decode(socket.readLine().trimmed()));
    if (!Exchange(socket, *ComposeLogin(QStringLiteral("admin"), QStringLiteral("secret"), g.timestamp, g.version), false))
        return -1;
    const auto list = [&](const QString& word, const QStringList& args) {
        return Exchange(socket, *ComposeRequest(word, args), true);
    };
    list(QStringLiteral("domainlist"), {});
    list(QStringLiteral("custdomlist"), {});
    list(QStringLiteral("userlist"), {domain});
    list(QStringLiteral("aliaslist"), {domain, QStringLiteral("*"), QStringLiteral("*")});
    for (const StateAccount& a : state.domains.front().accounts) {
        list(QStringLiteral("uservars"), {domain, a.name});
        list(QStringLiteral("usergetmproc"), {domain, a.name});
        list(QStringLiteral("poplnklist"), {domain, a.name});
    }
    return clock.nsecsElapsed() / 1e9;
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("(the machine is shared with other builds: wall-clock figures vary; processor time beside them)\n");

    // BENCH_STATE_ONLY=dump|million|diff runs one part (to profile it).
    const QByteArray only = qgetenv("BENCH_STATE_ONLY");
    if (only.isEmpty() || only == "dump") {  // A domain of 10,000 accounts with details.
        const QString path = dir.filePath(QStringLiteral("details.tzs"));
        if (!WriteFile(path, SimData(QStringLiteral("details.example"), 10000, true)))
            return 1;
        Sim sim;
        if (!sim.start(path))
            return 1;
        StateReader::Request request;
        request.domains = {QStringLiteral("details.example")};
        ServerState state;
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        if (Read(Server(sim.port), request, &state) < 0)
            return 1;
        const QByteArray yaml = StateYaml::Write(state);
        const double dump = clock.nsecsElapsed() / 1e9;
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double bare = Bare(sim.port, QStringLiteral("details.example"), state);
        std::printf("dump of 10,000 accounts with details: %.2f s (%.2f s processor time here), the same requests "
                    "over one socket: %.2f s, %lld bytes\n", dump, cpu, bare, qlonglong(yaml.size()));
        Figure("dump with details / same requests over one socket", dump / bare, "times", "at most 1.2", dump <= 1.2 * bare);
    }
    if (only.isEmpty() || only == "million") {  // 1,000,000 accounts, the lists only.
        const QString path = dir.filePath(QStringLiteral("million.tzs"));
        if (!WriteFile(path, SimData(QStringLiteral("million.example"), 1000000, false)))
            return 1;
        Sim sim;
        if (!sim.start(path))
            return 1;
        StateReader::Request request;
        request.accountsOnly = true;
        const long before = StatusKb("VmRSS:");
        ResetPeak();
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        QByteArray yaml;
        {
            ServerState state;
            if (Read(Server(sim.port), request, &state) < 0)
                return 1;
            yaml = StateYaml::Write(state);
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double peakMb = (StatusKb("VmHWM:") - before) / 1024.0;
        const double fileMb = yaml.size() / (1024.0 * 1024.0);
        std::printf("dump --accounts-only of 1,000,000 accounts: %.2f s (%.2f s processor time), file %.1f MB, "
                    "peak memory above the start %.1f MB\n", seconds, cpu, fileMb, peakMb);
        Figure("dump --accounts-only of 1,000,000 accounts", seconds, "s", "at most 1.5 s", seconds <= 1.5);
        Figure("its peak memory / the file's size", peakMb / fileMb, "times", "at most 3", peakMb <= 3 * fileMb);
    }
    if (only.isEmpty() || only == "diff") {  // A diff of a 100,000-account file.
        const QString path = dir.filePath(QStringLiteral("hundred.tzs"));
        if (!WriteFile(path, SimData(QStringLiteral("hundred.example"), 100000, false)))
            return 1;
        Sim sim;
        if (!sim.start(path))
            return 1;
        StateReader::Request request;
        request.accountsOnly = true;
        ServerState file;
        const double listRead = Read(Server(sim.port), request, &file);
        if (listRead < 0)
            return 1;
        file.domains.front().accounts[5].password = QStringLiteral("changed");
        const QByteArray yaml = StateYaml::Write(file);
        QElapsedTimer clock;
        clock.start();
        ServerState desired, current;
        StateYaml::ReadError error;
        if (!StateYaml::Read(yaml, &desired, &error))
            return 1;
        StateReader::Request need;
        need.domains = {QStringLiteral("hundred.example")};
        need.accountsOnly = !StatesDetails(desired);
        const double read = Read(Server(sim.port), need, &current);
        const Plan plan = ComputePlan(current, desired, true);
        const double diff = clock.nsecsElapsed() / 1e9;
        std::printf("diff of a 100,000-account file: %.2f s, the account list's read alone %.2f s (%zu change)\n",
                    diff, read, plan.steps.size());
        Figure("diff of 100,000 accounts beyond the userlist read", diff - read, "s", "at most 1 s", diff - read <= 1.0);
    }
    return 0;
}
