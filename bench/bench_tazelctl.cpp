// tazelctl against a separate tazel-sim process over loopback. One line per figure: the figure, the
// target, and "ok" or "short". Wall-clock times depend on whatever else the machine is doing; each
// timing is the best of a few runs.
//
//   bench_tazelctl [ACCOUNTS]      (default 1000000)
//
// The account list is also read by a bare socket (login, one request, read to the closing dot, no
// parsing) in the same run, so the program's figure can be read against what the wire itself costs.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "protocol/Protocol.h"
#include "store/ServerStore.h"

extern char** environ;

namespace {

void Figure(const char* figure, double value, const char* unit, const char* target, bool ok, const char* beside = "")
{
    std::printf("%s: %.3f %s, target %s, %s%s\n", figure, value, unit, target, ok ? "ok" : "short", beside);
    std::fflush(stdout);
}

struct Sim {
    QProcess process;
    quint16 port = 0;
    bool start(const QString& data)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tazel-sim"),
                      {QStringLiteral("--data"), data, QStringLiteral("--port"), QStringLiteral("0")});
        QByteArray out;
        while (!out.contains('\n')) {
            if (!process.waitForReadyRead(300000))
                return false;
            out += process.readAllStandardOutput();
        }
        port = quint16(out.mid(out.lastIndexOf(':') + 1).trimmed().toUInt());
        return port != 0;
    }
    ~Sim()
    {
        process.terminate();
        process.waitForFinished(10000);
    }
};

// One run of tazelctl with standard output to /dev/null: wall-clock seconds and peak resident
// memory (kB) from the kernel's own account of the child. False when it did not exit with 0.
bool RunTazelctl(const QStringList& args, double* seconds, long* peakKb)
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
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    *seconds = clock.nsecsElapsed() / 1e9;
    *peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The best of `runs` runs, and the largest peak memory seen.
bool Best(const QStringList& args, int runs, double* seconds, long* peakKb)
{
    *seconds = 1e9;
    *peakKb = 0;
    for (int i = 0; i < runs; ++i) {
        double s = 0;
        long kb = 0;
        if (!RunTazelctl(args, &s, &kb))
            return false;
        *seconds = qMin(*seconds, s);
        *peakKb = qMax(*peakKb, kb);
    }
    return true;
}

// The same account list read by a bare socket: seconds from the request to the closing dot, and
// the reply's size in bytes.
bool BareSocket(quint16 port, const QString& domain, double* seconds, qint64* bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(10000))
        return false;
    QByteArray buffer;
    auto readLine = [&]() -> QByteArray {
        while (!buffer.contains("\r\n"))
            if (!socket.waitForReadyRead(30000))
                return QByteArray();
            else
                buffer += socket.readAll();
        const qsizetype end = buffer.indexOf("\r\n");
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 2);
        return line;
    };
    const Greeting greeting = ParseGreeting(QString::fromLatin1(readLine()));
    socket.write(*ComposeLogin(QStringLiteral("admin"), QStringLiteral("secret"), greeting.timestamp, greeting.version));
    if (!readLine().startsWith('+'))
        return false;
    QElapsedTimer clock;
    clock.start();
    socket.write(*ComposeRequest(QStringLiteral("userlist"), {domain}));
    qint64 total = buffer.size();
    QByteArray tail = buffer;
    while (!tail.endsWith("\r\n.\r\n")) {
        if (!socket.waitForReadyRead(30000))
            return false;
        const QByteArray piece = socket.readAll();
        total += piece.size();
        tail = tail.right(8) + piece;
    }
    *seconds = clock.nsecsElapsed() / 1e9;
    *bytes = total;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int accounts = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("accounts.tzs"));
    {
        QByteArray out;
        out.reserve(qsizetype(accounts) * 48 + 64);
        out += "domain\tbig.com\n";
        char line[96];
        for (int i = 1; i <= accounts; ++i)
            out.append(line, std::snprintf(line, sizeof line, "account\tbig.com\tuser%07d\tpass%07d\tU\n", i, i));
        QFile f(data);
        if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(data));
            return 1;
        }
    }
    Sim sim;
    if (!sim.start(data)) {
        std::fprintf(stderr, "tazel-sim did not start\n");
        return 1;
    }
    // tazelctl's own home: a store with one server record, the journal in the temporary folder.
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("TAZEL_JOURNAL", QFile::encodeName(dir.filePath(QStringLiteral("journal.jsonl"))));
    qputenv("TAZEL_PASSWORD", "secret");
    {
        QSettings s(dir.filePath(QStringLiteral("config/Tazel Administrator/Tazel Administrator.conf")),
                    QSettings::IniFormat);
        WriteServerRecord(s, ServerSection(1), {QStringLiteral("sim"), QStringLiteral("127.0.0.1"),
                                                QString::number(sim.port), QStringLiteral("admin"),
                                                QStringLiteral("secret")});
        WriteSetting(s, Store::ServersSection, Store::ServerCountKey, QStringLiteral("1"));
    }

    double bare = 1e9;
    qint64 replyBytes = 0;
    for (int i = 0; i < 3; ++i) {
        double s = 0;
        if (!BareSocket(sim.port, QStringLiteral("big.com"), &s, &replyBytes)) {
            std::fprintf(stderr, "the bare socket did not read the list\n");
            return 1;
        }
        bare = qMin(bare, s);
    }
    char beside[128];
    std::snprintf(beside, sizeof beside, " (a bare socket reads the same %.1f MB reply in %.3f s)", replyBytes / 1e6, bare);

    const QString host = QStringLiteral("127.0.0.1:%1").arg(sim.port);
    bool allOk = true;
    for (const char* form : {"tab", "json"}) {
        double seconds = 0;
        long peakKb = 0;
        if (!Best({QStringLiteral("--host"), host, QStringLiteral("account"), QStringLiteral("list"),
                   QStringLiteral("big.com"), QStringLiteral("-o"), QString::fromLatin1(form)},
                  3, &seconds, &peakKb)) {
            std::fprintf(stderr, "tazelctl account list -o %s failed\n", form);
            allOk = false;
            continue;
        }
        char label[128];
        std::snprintf(label, sizeof label, "tazelctl account list of %d accounts -o %s to /dev/null", accounts, form);
        Figure(label, seconds, "s", "at most 0.5 s", seconds <= 0.5, beside);
        std::snprintf(label, sizeof label, "tazelctl peak resident memory, -o %s, against the reply's size", form);
        const double ratio = peakKb * 1024.0 / double(replyBytes);
        Figure(label, ratio, "x", "at most 2 x", ratio <= 2.0);
    }
    for (const QStringList& args : {QStringList{QStringLiteral("--version")},
                                    QStringList{QStringLiteral("server"), QStringLiteral("list")}}) {
        double seconds = 0;
        long peakKb = 0;
        if (!Best(args, 5, &seconds, &peakKb)) {
            std::fprintf(stderr, "tazelctl %s failed\n", qPrintable(args.join(QLatin1Char(' '))));
            allOk = false;
            continue;
        }
        const QByteArray label = "tazelctl " + args.join(QLatin1Char(' ')).toUtf8();
        Figure(label.constData(), seconds * 1000, "ms", "under 30 ms", seconds < 0.030);
    }
    return allOk ? 0 : 1;
}
