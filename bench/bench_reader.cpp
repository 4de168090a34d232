// Cutting a list reply into lines must cost time linear in its size. Feeds a list reply of
// 1,000,000 account lines in 64 KiB chunks through the line reader (with the Latin-1 decoding and
// field splitting that every line gets) and compares it with ten times a 100,000-line reply.

#include <QElapsedTimer>
#include <cstdio>

#include "protocol/Protocol.h"
#include "protocol/LineReader.h"

static QByteArray ListReply(int lines)
{
    QByteArray bytes = "+00000 OK\r\n";
    bytes.reserve(lines * 48);
    for (int i = 0; i < lines; ++i)
        bytes += "\"example.com\"\t\"user" + QByteArray::number(i) + "\"\t\"pw" + QByteArray::number(i) +
                 "\"\t\"U\"\r\n";
    bytes += ".\r\n";
    return bytes;
}

// Seconds to read the reply, best of three runs.
static double TimeReading(const QByteArray& reply, qint64* linesRead, bool split)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        LineReader reader;
        qint64 lines = 0;
        qint64 fields = 0;
        for (qsizetype at = 0; at < reply.size(); at += 65536) {
            reader.append(reply.mid(at, 65536));
            while (const auto line = reader.takeLineView()) {
                QString text = Wire::decode(*line);
                if (split) {
                    text.remove(QLatin1Char('"'));
                    fields += SplitFields(text, QStringLiteral("\t")).size();
                } else {
                    fields += text.size();
                }
                ++lines;
            }
        }
        best = qMin(best, timer.nsecsElapsed() / 1e9);
        *linesRead = lines;
        if (fields == 0)
            std::puts("no fields read");
    }
    return best;
}

int main()
{
    qint64 small = 0, large = 0;
    const QByteArray smallReply = ListReply(100000);
    const QByteArray largeReply = ListReply(1000000);
    const double tSmall = TimeReading(smallReply, &small, false);
    const double tLarge = TimeReading(largeReply, &large, false);
    const double ratio = tLarge / (10 * tSmall);
    std::printf("reader: %lld lines cut and decoded in %.3f s = %.0f lines/s (target >= 2,000,000)\n",
                (long long)large, tLarge, large / tLarge);
    std::printf("reader: 100,000 lines in %.3f s; ratio 1,000,000 / (10 x 100,000) = %.2f (target <= 1.2)\n",
                tSmall, ratio);
    const double tSplit = TimeReading(largeReply, &large, true);
    std::printf("reader: the same lines with quotes removed and fields split: %.3f s = %.0f lines/s\n", tSplit,
                large / tSplit);
    return 0;
}
