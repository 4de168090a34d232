// The connection through SSH against a separate tazel-sim process, through a real sshd of the
// benchmark's own on loopback (the tests' SshFixture). One line per figure: the figure, its target,
// and "ok" or "short". Timings are wall-clock on whatever else the machine is doing.
//
// A script's connection here is what every script of the window does on the wire: the greeting,
// the login, one request and its whole reply, and the close.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/BenchKit.h"
#include "session/SshTransport.h"
#include "session/Transport.h"
#include "store/ServerStore.h"
#include "tests/SshFixture.h"

extern char** environ;

namespace {

// Runs the event loop until done() holds or ms milliseconds are up, sleeping between events.
// BenchKit's WaitUntil turns processEvents over with a time limit, which never sleeps: this process
// then takes a processor from the ssh, the relay and sshd it is timing.
bool WaitAsleep(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;  // an event now and then, so that the time limit is seen
    wake.start(50);
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool allOk = true;  // false when a connection did not do what it was asked (a short figure is no error)

QByteArray Line(const char* a, const char* b = nullptr)
{
    QByteArray line = QByteArray("\"") + a + '"';
    if (b)
        line += QByteArray("\t\"") + b + '"';
    return line + "\r\n";
}

// One script's connection over the transport; the milliseconds it took, or -1 when it failed.
// greetedMs: how long the greeting took (the handshake, for a first connection through SSH).
double RunScript(Transport* t, quint16 port, double* greetedMs = nullptr)
{
    QByteArray data;
    bool ended = false;
    QObject::connect(t, &Transport::readyRead, t, [&] { data += t->device()->readAll(); });
    QObject::connect(t, &Transport::closed, t, [&] { ended = true; });
    QObject::connect(t, &Transport::failed, t, [&](int, const QString& text) {
        std::fprintf(stderr, "connection failed: %s\n", qPrintable(text));
        ended = true;
    });
    QElapsedTimer clock;
    clock.start();
    double startedMs = -1;
    QObject::connect(t, &Transport::connected, t, [&] { startedMs = clock.nsecsElapsed() / 1e6; });
    t->open(QStringLiteral("127.0.0.1"), port);
    if (!WaitAsleep([&] { return ended || data.endsWith("\r\n"); }, 20000) || ended) {
        t->release(true);
        return -1;
    }
    const double greeting = clock.nsecsElapsed() / 1e6;
    if (greetedMs)
        *greetedMs = greeting;
    data.clear();
    t->device()->write(Line("admin", "secret") + Line("domainlist"));
    if (!WaitAsleep([&] { return ended || data.endsWith("\r\n.\r\n"); }, 20000) || ended) {
        t->release(true);
        return -1;
    }
    t->release(false);
    // BENCH_SSH_PHASES=1: where a connection's time goes (ssh started, the greeting, the whole).
    if (qEnvironmentVariableIsSet("BENCH_SSH_PHASES"))
        std::fprintf(stderr, "%s: started %.1f ms, greeting %.1f ms, all %.1f ms\n", t->metaObject()->className(),
                     startedMs, greeting, clock.nsecsElapsed() / 1e6);
    return clock.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The machine's state beside the figures: its load average and kernel.
void PrintMachine()
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    const QByteArray load = loadavg.open(QIODevice::ReadOnly) ? loadavg.readAll().split(' ').value(0) : "?";
    utsname u{};
    ::uname(&u);
    std::printf("bench_ssh: load average %s on %d processors, kernel %s %s\n", load.constData(),
                QThread::idealThreadCount(), u.sysname, u.release);
}

// One whole run of tazelctl (its start, the connection, the list, its end) with its output to
// /dev/null: wall-clock milliseconds, or -1 when it did not exit with 0.
double RunTazelctl(const QStringList& args)
{
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/../tazelctl"));
    std::vector<QByteArray> held{program};
    for (const QString& a : args)
        held.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& a : held)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int scripts = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    SshFixture ssh;
    QString error;
    if (!ssh.start(&error)) {
        std::fprintf(stderr, "bench_ssh: %s\n", qPrintable(error));
        return 1;
    }
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tazel-sim"), {"--port", "0"});
    QByteArray out;
    while (!out.contains('\n')) {
        if (!sim.waitForReadyRead(30000)) {
            std::fprintf(stderr, "bench_ssh: tazel-sim did not start\n");
            return 1;
        }
        out += sim.readAllStandardOutput();
    }
    const quint16 port = quint16(out.mid(out.lastIndexOf(':') + 1).trimmed().toUInt());

    // The first connection: ssh starts, shakes hands, logs in and opens the shared connection.
    ssh.stopSharedConnection();
    double handshakeMs = -1;
    const double first = RunScript(new SshTransport(ssh.route()), port, &handshakeMs);
    allOk = allOk && first >= 0 && ssh.sharedConnectionOpen();
    // Which program holds the shared connection's socket: the relay, or ssh itself when none is found.
    const QString holder = ssh.connectionHolder();
    std::printf("bench_ssh: shared connection made by %s\n", holder.isEmpty() ? "ssh itself" : qPrintable(holder));
    Figure("first connection through SSH on loopback (handshake included) to the greeting", handshakeMs, "ms",
           "under 500 ms", first >= 0 && handshakeMs < 500);

    // Then plain and SSH scripts in turn, so the machine's other load falls on both alike: through
    // the shared connection's forward (no ssh started), and through a fresh ssh per script as
    // before the forward (TAZEL_SSH_FORWARD=no), to show where the time goes.
    std::vector<double> plain, forwarded, viaSsh;
    // The first run through the open shared connection asks it for the forward.
    RunScript(new SshTransport(ssh.route()), port);
    WaitAsleep([&] { return QFile::exists(SshTransport::forwardSocket(ssh.route(), "127.0.0.1", port)); }, 5000);
    for (int i = 0; i < scripts; ++i) {
        const double p = RunScript(new TcpTransport, port);
        const double f = RunScript(new SshTransport(ssh.route()), port);
        qputenv("TAZEL_SSH_FORWARD", "no");
        const double s = RunScript(new SshTransport(ssh.route()), port);
        qunsetenv("TAZEL_SSH_FORWARD");
        allOk = allOk && p >= 0 && f >= 0 && s >= 0;
        plain.push_back(p);
        forwarded.push_back(f);
        viaSsh.push_back(s);
    }
    PrintMachine();
    std::printf("bench_ssh: per script (medians of %d): plain %.2f ms, through the forward %.2f ms, through a fresh "
                "ssh %.2f ms\n",
                scripts, Median(plain), Median(forwarded), Median(viaSsh));
    char label[200];
    std::snprintf(label, sizeof label, "per script through the shared SSH connection, median of %d, above plain TCP",
                  scripts);
    const double added = Median(forwarded) - Median(plain);
    Figure(label, added, "ms", "at most 5 ms", allOk && added <= 5);

    // Whole commands: tazelctl domain list on a stored record reached plainly and one reached through
    // SSH, in turn, each run a process of its own.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("TAZEL_JOURNAL", QFile::encodeName(home.filePath(QStringLiteral("journal.jsonl"))));
    {
        QSettings store(home.filePath(QStringLiteral("config/Tazel Administrator/Tazel Administrator.conf")),
                        QSettings::IniFormat);
        WriteServerRecord(store, ServerSection(1), {QStringLiteral("plain"), QStringLiteral("127.0.0.1"),
                                                    QString::number(port), QStringLiteral("admin"),
                                                    QStringLiteral("secret")});
        WriteServerRecord(store, ServerSection(2), {QStringLiteral("tunnelled"), QStringLiteral("127.0.0.1"),
                                                    QString::number(port), QStringLiteral("admin"),
                                                    QStringLiteral("secret")});
        WriteSshRoute(store, ServerSection(2), ssh.route());
        WriteSetting(store, Store::ServersSection, Store::ServerCountKey, QStringLiteral("2"));
    }
    const QStringList plainRun{"-s", "plain", "domain", "list"};
    const QStringList tunnelledRun{"-s", "tunnelled", "domain", "list"};
    RunTazelctl(plainRun);
    RunTazelctl(tunnelledRun);
    std::vector<double> plainCtl, forwardedCtl, viaSshCtl;
    for (int i = 0; i < scripts; ++i) {
        const double p = RunTazelctl(plainRun);
        const double f = RunTazelctl(tunnelledRun);
        qputenv("TAZEL_SSH_FORWARD", "no");
        const double s = RunTazelctl(tunnelledRun);
        qunsetenv("TAZEL_SSH_FORWARD");
        allOk = allOk && p >= 0 && f >= 0 && s >= 0;
        plainCtl.push_back(p);
        forwardedCtl.push_back(f);
        viaSshCtl.push_back(s);
    }
    PrintMachine();
    std::printf("bench_ssh: tazelctl domain list (medians of %d): plain %.2f ms, through the forward %.2f ms, "
                "through a fresh ssh %.2f ms\n",
                scripts, Median(plainCtl), Median(forwardedCtl), Median(viaSshCtl));
    std::snprintf(label, sizeof label, "whole tazelctl domain list through SSH, median of %d, above plain TCP",
                  scripts);
    const double addedCtl = Median(forwardedCtl) - Median(plainCtl);
    Figure(label, addedCtl, "ms", "at most 5 ms", allOk && addedCtl <= 5);

    // Let the released connections finish before the fixture ends sshd.
    WaitAsleep([] { return false; }, 200);
    sim.terminate();
    sim.waitForFinished(10000);
    return allOk ? 0 : 1;
}
