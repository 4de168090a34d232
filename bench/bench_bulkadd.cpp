// Adding 10,000 accounts from a file through the window, against a tazel-sim process on loopback:
// the time the whole run takes, and the longest time the window's event loop went without a turn
// meanwhile (the window must keep answering). Then the preview of a file of 1,000,000 rows: the
// time from the command to the dialog shown, and the memory it took at its peak against the
// file's size. One line per figure: figure, target, ok/short.
//
//   bench_bulkadd [ROWS] [PREVIEW_ROWS]      (default 10000 1000000)

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <QFile>

#include "store/ServerStore.h"
#include "window/AccountFiles.h"
#include "window/BulkAddDialog.h"
#include "window/BulkAddRunner.h"
#include "bench/BenchKit.h"
#include "bench/QuietMessages.h"
#include "window/frmMain.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 10000;
    const int previewRows = argc > 2 ? atoi(argv[2]) : 1000000;
    constexpr double StallTargetMs = 100;
    constexpr double PreviewSecondsTarget = 2;
    constexpr double PreviewMemoryTarget = 4;  // times the file's size

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tazel-sim"), {QStringLiteral("--port"), QStringLiteral("0")});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "tazel-sim did not start\n");
        return 1;
    }
    const QString greeting = QString::fromLatin1(sim.readLine()).trimmed();  // "listening on 127.0.0.1:PORT"
    const QString port = greeting.section(QLatin1Char(':'), -1);

    QTemporaryDir dir;
    // The window's activity journal goes to the throw-away folder, never the user's own.
    qputenv("TAZEL_JOURNAL", QFile::encodeName(dir.filePath(QStringLiteral("journal.jsonl"))));
    QSettings settings(dir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    const QString key = ServerSection(1);
    WriteServerRecord(settings, key, {QStringLiteral("sim"), QStringLiteral("127.0.0.1"), port,
                                      QStringLiteral("admin"), QStringLiteral("secret")});
    WriteSetting(settings, Store::ServersSection, Store::ServerCountKey, QStringLiteral("1"));
    QuietMessages messages;
    frmMain window(&settings, &messages);

    window.DomainList_NodeClick(window.NodeByKey(key));
    const QString domainKey = frmMain::DomainNodeKey(key, QStringLiteral("example.com"));
    if (!WaitUntil([&] { return window.Session->DriverIsIdle() && window.NodeByKey(domainKey).isValid(); }, 10000))
        return 1;
    window.DomainList_NodeClick(window.NodeByKey(domainKey));
    if (!WaitUntil([&] { return window.Session->DriverIsIdle() && window.Session->Replies().UserEntriesDomain == QLatin1String("example.com"); }, 10000))
        return 1;

    QByteArray file("name,password\n");
    for (int i = 0; i < rows; ++i)
        file += QStringLiteral("bulk%1,pw%1\n").arg(i, 5, 10, QLatin1Char('0')).toLatin1();
    const QString path = dir.filePath(QStringLiteral("rows.csv"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return 1;
    out.close();

    AccountFiles* files = window.AccountFileCommands;
    files->chooseImportFile = [&] { return path; };
    files->addAccountsFromFile();
    if (!files->dialog())
        return 1;

    // The longest wait between two turns of the event loop while the rows go out.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.restart());
    });
    QElapsedTimer whole;
    whole.start();
    sinceTick.start();
    tick.start();
    files->dialog()->addButton()->click();
    if (!WaitUntil([&] { return !files->runner()->running(); }, 600000))
        return 1;
    const double seconds = whole.nsecsElapsed() / 1e9;
    const QString summary = files->dialog()->summary();

    std::printf("bulk add: %d rows added from a file in %.1f s (%.0f rows/s); %s\n", rows, seconds, rows / seconds,
                qPrintable(summary));
    std::printf("bulk add: longest window stall %lld ms, target %.0f ms, %s\n", static_cast<long long>(longestStall),
                StallTargetMs, longestStall <= StallTargetMs ? "ok" : "short");
    bool previewShown = true;
    if (previewRows > 0) {
        // The preview of a large file: read, every row judged, the dialog shown with its table.
        files->dialog()->close();
        QCoreApplication::processEvents();
        QByteArray big;
        big.reserve(qsizetype(previewRows) * 27);
        for (int i = 0; i < previewRows; ++i) {
            char line[40];
            const int n = std::snprintf(line, sizeof line, "account%07d,pwd-%07d\n", i, i);
            big.append(line, n);
        }
        const QString bigPath = dir.filePath(QStringLiteral("big.csv"));
        QFile bigOut(bigPath);
        if (!bigOut.open(QIODevice::WriteOnly) || bigOut.write(big) != big.size())
            return 1;
        bigOut.close();
        const double fileMb = big.size() / 1e6;
        big = QByteArray();
        files->chooseImportFile = [&] { return bigPath; };
        QCoreApplication::processEvents();
        ResetPeak();
        const long before = StatusKb("VmRSS:");
        QElapsedTimer preview;
        preview.start();
        const std::clock_t processorBefore = std::clock();
        files->addAccountsFromFile();
        BulkAddDialog* dialog = files->dialog();
        previewShown = dialog && dialog->isVisible() && dialog->model()->rowCount() == previewRows;
        QCoreApplication::processEvents();  // laid out and painted
        const double previewSeconds = preview.nsecsElapsed() / 1e9;
        // Wall-clock time depends on what else the machine runs; the processor time does not.
        const double processorSeconds = double(std::clock() - processorBefore) / CLOCKS_PER_SEC;
        const double peakMb = (StatusKb("VmHWM:") - before) / 1e3;
        std::printf("bulk add preview: %d rows (%.1f MB) shown in %.2f s (processor %.2f s), target %.0f s, %s\n",
                    previewRows, fileMb, previewSeconds, processorSeconds, PreviewSecondsTarget,
                    previewSeconds < PreviewSecondsTarget ? "ok" : "short");
        std::printf("bulk add preview: peak memory %.0f MB, %.2f x the file, target %.0f x, %s\n", peakMb,
                    peakMb / fileMb, PreviewMemoryTarget, peakMb <= PreviewMemoryTarget * fileMb ? "ok" : "short");
    }
    sim.kill();
    sim.waitForFinished();
    return messages.count == 0 && previewShown && summary.startsWith(QString::number(rows) + QStringLiteral(" added")) ? 0 : 1;
}
