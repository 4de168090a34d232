// A second program writing the activity journal, for the test of writers in separate processes:
//   tazel-journal-writer PATH ROTATE_BYTES COUNT TAG START_MS
// waits until START_MS (milliseconds since the epoch, so that several start together), then
// appends COUNT entries "TAG N" with the journal set aside beyond ROTATE_BYTES. Exit 1 when a
// write failed.
#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <cstdio>

#include "session/ActivityJournal.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: tazel-journal-writer PATH ROTATE_BYTES COUNT TAG START_MS\n");
        return 64;
    }
    ActivityJournal journal(QStringLiteral("tazelctl"), args.at(1));
    journal.rotateBytes = args.at(2).toLongLong();
    const int count = args.at(3).toInt();
    const qint64 start = args.at(5).toLongLong();
    while (QDateTime::currentMSecsSinceEpoch() < start)
        QThread::yieldCurrentThread();
    for (int i = 0; i < count; ++i) {
        JournalEntry e;
        e.time = QDateTime::currentDateTimeUtc();
        e.program = QStringLiteral("tazelctl");
        e.server = QStringLiteral("sim");
        e.action = args.at(4) + QLatin1Char(' ') + QString::number(i);
        e.outcome = QStringLiteral("done");
        QString error;
        if (!journal.append(e, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}
