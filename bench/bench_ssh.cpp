// The connection through SSH against a separate tazel-sim process, through a real sshd of the
// benchmark's own on loopback (the tests' SshFixture). One line per figure: the figure, its target,
// and "ok" or "short". Timings are wall-clock on whatever else the machine is doing.
//
// A script's connection here is what every script of the window does on the wire: the greeting,
// the login, one request and its whole reply, and the close.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench/BenchKit.h"
#include "session/SshTransport.h"
#include "session/Transport.h"
#include "tests/SshFixture.h"

namespace {

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
    if (!WaitUntil([&] { return ended || data.endsWith("\r\n"); }, 20000) || ended) {
        t->release(true);
        return -1;
    }
    if (greetedMs)
        *greetedMs = clock.nsecsElapsed() / 1e6;
    data.clear();
    t->device()->write(Line("admin", "secret") + Line("domainlist"));
    if (!WaitUntil([&] { return ended || data.endsWith("\r\n.\r\n"); }, 20000) || ended) {
        t->release(true);
        return -1;
    }
    t->release(false);
    // BENCH_SSH_PHASES=1: where a connection's time goes (ssh started, the greeting, the whole).
    if (qEnvironmentVariableIsSet("BENCH_SSH_PHASES"))
        std::fprintf(stderr, "started %.1f ms, greeting %.1f ms, all %.1f ms\n", startedMs,
                     greetedMs ? *greetedMs : -1.0, clock.nsecsElapsed() / 1e6);
    return clock.nsecsElapsed() / 1e6;
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

    // Then plain and SSH scripts in turn, so the machine's other load falls on both alike.
    double plain = 0, tunnelled = 0;
    std::vector<double> each;
    for (int i = 0; i < scripts; ++i) {
        const double p = RunScript(new TcpTransport, port);
        double g = 0;
        const double s = RunScript(new SshTransport(ssh.route()), port, &g);
        allOk = allOk && p >= 0 && s >= 0;
        plain += p;
        tunnelled += s;
        each.push_back(s - p);
    }
    std::sort(each.begin(), each.end());
    std::printf("bench_ssh: time added per script: least %.1f ms, median %.1f ms, most %.1f ms\n", each.front(),
                each[each.size() / 2], each.back());
    // Every hop of a tunnelled connection wakes another process (ssh, its shared connection, sshd,
    // the server): on a busy machine each waits for a processor, so the load is part of the figure.
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("bench_ssh: load average %s on %d processors\n",
                    loadavg.readAll().split(' ').value(0).constData(), QThread::idealThreadCount());
    std::printf("bench_ssh: %d scripts plain in %.1f ms each, through SSH in %.1f ms each\n", scripts,
                plain / scripts, tunnelled / scripts);
    char label[160];
    std::snprintf(label, sizeof label, "%d scripts through the shared SSH connection, time added per script",
                  scripts);
    const double added = (tunnelled - plain) / scripts;
    Figure(label, added, "ms", "at most 15 ms", allOk && added <= 15);

    // Let the released connections finish before the fixture ends sshd.
    WaitUntil([] { return false; }, 200);
    sim.terminate();
    sim.waitForFinished(10000);
    return allOk ? 0 : 1;
}
