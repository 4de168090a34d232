#include <QtTest>

#include "protocol/LineReader.h"

// Cuts everything a reader can take from the chunks, in order.
static QList<QByteArray> Cut(const QList<QByteArray>& chunks, QByteArray* rest = nullptr)
{
    LineReader reader;
    QList<QByteArray> lines;
    for (const QByteArray& chunk : chunks) {
        reader.append(chunk);
        while (const auto line = reader.takeLine())
            lines << *line;
    }
    if (rest)
        *rest = reader.pendingBytes();
    return lines;
}

class TestLineReader : public QObject {
    Q_OBJECT
private slots:
    void splitAtEveryOffset();
    void lineEnds_data();
    void lineEnds();
    void longLineInSmallChunks();
    void manyLines();
    void clearDropsPartialLine();
};

void TestLineReader::splitAtEveryOffset()
{
    const QByteArray reply = "+OK list follows\r\n\"a\"\t\"b\"\r\n\r\nx\ny\r\n.\r\n";
    const QList<QByteArray> expected = {"+OK list follows", "\"a\"\t\"b\"", "", "x\ny", "."};
    for (int cut = 0; cut <= reply.size(); ++cut) {
        for (int cut2 = cut; cut2 <= reply.size(); ++cut2) {
            QByteArray rest;
            const auto lines = Cut({reply.left(cut), reply.mid(cut, cut2 - cut), reply.mid(cut2)}, &rest);
            QCOMPARE(lines, expected);
            QVERIFY(rest.isEmpty());
        }
    }
}

void TestLineReader::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("rest");
    QTest::newRow("lone LF is no line end") << QByteArray("ab\ncd") << QList<QByteArray>{} << QByteArray("ab\ncd");
    QTest::newRow("lone CR is no line end") << QByteArray("ab\rcd\r\n") << QList<QByteArray>{"ab\rcd"}
                                            << QByteArray();
    QTest::newRow("LF CR is no line end") << QByteArray("a\n\rb\r\n") << QList<QByteArray>{"a\n\rb"} << QByteArray();
    QTest::newRow("two replies in one chunk") << QByteArray("+OK\r\n+00000 next\r\npart")
                                              << QList<QByteArray>{"+OK", "+00000 next"} << QByteArray("part");
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n") << QList<QByteArray>{"", ""} << QByteArray();
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\n") << QList<QByteArray>{"a\r"} << QByteArray();
}

void TestLineReader::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, rest);
    QByteArray left;
    QCOMPARE(Cut({bytes}, &left), lines);
    QCOMPARE(left, rest);
}

void TestLineReader::longLineInSmallChunks()
{
    // Longer than the 32,766 characters an old reader could handle, fed 7 bytes at a time.
    const QByteArray line(100000, 'x');
    const QByteArray bytes = line + "\r\n.\r\n";
    QList<QByteArray> chunks;
    for (int i = 0; i < bytes.size(); i += 7)
        chunks << bytes.mid(i, 7);
    QCOMPARE(Cut(chunks), (QList<QByteArray>{line, "."}));
}

void TestLineReader::manyLines()
{
    QByteArray bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += "\"domain" + QByteArray::number(i) + "\"\r\n";
    QList<QByteArray> chunks;
    for (int i = 0; i < bytes.size(); i += 4096)
        chunks << bytes.mid(i, 4096);
    const auto lines = Cut(chunks);
    QCOMPARE(lines.size(), 100000);
    QCOMPARE(lines.first(), QByteArray("\"domain0\""));
    QCOMPARE(lines.last(), QByteArray("\"domain99999\""));
}

void TestLineReader::clearDropsPartialLine()
{
    LineReader reader;
    reader.append("+OK half a gree");
    QVERIFY(!reader.takeLine());
    reader.clear();
    reader.append("+ Tazel 0.70\r\n");
    QCOMPARE(*reader.takeLine(), QByteArray("+ Tazel 0.70"));
}

QTEST_APPLESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
