#pragma once
// What the benchmarks share: a figure's line, the process's memory, waiting on the event loop, the
// window thread's longest timer gap, a data file written whole, and a tazel-sim process of its own on a data file.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <unistd.h>

namespace {

// One line per figure: the figure, the target, and "ok" or "short".
inline void Figure(const char* figure, double value, const char* unit, const char* target, bool ok)
{
    std::printf("%s: %.2f %s, target %s, %s\n", figure, value, unit, target, ok ? "ok" : "short");
    std::fflush(stdout);
}

// Resident memory of this process (kB), now ("VmRSS:") or at its peak ("VmHWM:"); -1 when unknown.
inline long StatusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Starts a new peak from the present size (writing "5" to clear_refs).
inline void ResetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Runs the event loop until done() holds or ms milliseconds are up; false when they are up.
inline bool WaitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Processor time used by the calling thread, in milliseconds.
inline double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The longest gap between two ticks of a 5 ms timer on the window's thread, in wall-clock time and
// in the processor time the thread used between them. On a machine busy with other work the first
// includes the time the thread waited for a processor; the second is the window's own work.
struct GapWatch {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    double lastCpu = 0, longestCpu = 0;
    GapWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
    }
    void tick()
    {
        const qint64 now = clock.elapsed();
        const double cpu = ThreadCpuMs();
        longest = qMax(longest, now - last);
        longestCpu = qMax(longestCpu, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    }
    // Runs the events until done() holds; returns the seconds taken.
    double run(const std::function<void()>& start, const std::function<bool()>& done)
    {
        longest = 0;
        longestCpu = 0;
        clock.start();
        last = 0;
        lastCpu = ThreadCpuMs();
        timer.start();
        start();
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double seconds = clock.nsecsElapsed() / 1e9;
        tick();
        timer.stop();
        return seconds;
    }
    void report(const char* what)
    {
        char label[160];
        std::snprintf(label, sizeof label, "longest timer gap, %s", what);
        Figure(label, double(longest), "ms", "under 50 ms", longest < 50);
        std::snprintf(label, sizeof label, "longest window-thread processor time between ticks, %s", what);
        Figure(label, longestCpu, "ms", "under 50 ms", longestCpu < 50);
    }
};

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A tazel-sim process on a data file: how long it took to listen, in wall-clock and processor time.
struct Sim {
    QProcess process;
    QString port;
    double loadSeconds = 0, loadCpuSeconds = 0;

    bool start(const QString& dataPath, const QStringList& extraArguments = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tazel-sim"),
                      QStringList{QStringLiteral("--data"), dataPath, QStringLiteral("--port"), QStringLiteral("0")} + extraArguments);
        QByteArray out;
        while (!out.contains('\n')) {
            if (!process.waitForReadyRead(300000)) {
                std::fprintf(stderr, "tazel-sim did not start\n");
                return false;
            }
            out += process.readAllStandardOutput();
        }
        loadSeconds = clock.nsecsElapsed() / 1e9;
        port = QString::fromLatin1(out.mid(out.lastIndexOf(':') + 1).trimmed());
        // utime and stime: fields 14 and 15 of /proc/PID/stat, in clock ticks.
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (stat.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> f = stat.readAll().split(')').value(1).trimmed().split(' ');
            loadCpuSeconds = (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
        }
        return true;
    }
    ~Sim()
    {
        process.terminate();
        process.waitForFinished(10000);
    }
};

}  // namespace
