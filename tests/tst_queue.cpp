#include <QtTest>

#include "session/CommandQueue.h"

class TestQueue : public QObject {
    Q_OBJECT
private slots:
    void emptyQueueGivesNull();
    void takesHeadFirst();
    void countsOnlyQuitCommands_data();
    void countsOnlyQuitCommands();
    void endMarkerKeepsItsKind();
};

void TestQueue::emptyQueueGivesNull()
{
    CommandQueue q;
    const QueueEntry e = q.take();
    QVERIFY(e.isCommand(Pseudo::Null));
    QVERIFY(q.isEmpty());
    QCOMPARE(q.countScripts(), 0);
}

void TestQueue::takesHeadFirst()
{
    CommandQueue q;
    q.pushCommand(Pseudo::Connect);
    q.pushArgument(QStringLiteral("mail.example.com"));
    q.pushArgument(QStringLiteral("6017"));
    QCOMPARE(q.take(), (QueueEntry{QueueEntry::Command, Pseudo::Connect}));
    QCOMPARE(q.take(), (QueueEntry{QueueEntry::Argument, QStringLiteral("mail.example.com")}));
    QCOMPARE(q.take(), (QueueEntry{QueueEntry::Argument, QStringLiteral("6017")}));
    QVERIFY(q.take().isCommand(Pseudo::Null));
}

void TestQueue::countsOnlyQuitCommands_data()
{
    QTest::addColumn<QStringList>("commands");   // "c:" command, "a:" argument
    QTest::addColumn<int>("scripts");
    QTest::addColumn<int>("afterOneTake");
    QTest::newRow("nothing") << QStringList{} << 0 << 0;
    QTest::newRow("one script") << QStringList{"c:<%connect%>", "a:h", "a:1", "c:<%quit%>"} << 1 << 1;
    QTest::newRow("two scripts") << QStringList{"c:<%quit%>", "c:<%connect%>", "c:<%quit%>"} << 2 << 1;
    // A user name that reads like the end of a script is still an argument: it never counts.
    QTest::newRow("argument reads quit")
        << QStringList{"c:<%useradd%>", "a:d", "a:<%quit%>", "a:p", "a:U", "c:<%quit%>"} << 1 << 1;
    QTest::newRow("quit is case-sensitive") << QStringList{"c:<%QUIT%>", "c:<%quit%>"} << 1 << 1;
}

void TestQueue::countsOnlyQuitCommands()
{
    QFETCH(QStringList, commands);
    QFETCH(int, scripts);
    QFETCH(int, afterOneTake);
    CommandQueue q;
    for (const QString& c : commands) {
        if (c.startsWith("c:"))
            q.pushCommand(c.mid(2));
        else
            q.pushArgument(c.mid(2));
    }
    QCOMPARE(q.countScripts(), scripts);
    q.take();
    QCOMPARE(q.countScripts(), afterOneTake);
}

void TestQueue::endMarkerKeepsItsKind()
{
    // A variable value "!EOF" stays a value; only the marker ends the pairs.
    CommandQueue q;
    q.pushArgument(Pseudo::EndOfPairs);
    q.pushEndMarker();
    const QueueEntry value = q.take();
    const QueueEntry marker = q.take();
    QCOMPARE(value.kind, QueueEntry::Argument);
    QCOMPARE(value.text, QStringLiteral("!EOF"));
    QCOMPARE(marker.kind, QueueEntry::EndMarker);
}

QTEST_APPLESS_MAIN(TestQueue)
#include "tst_queue.moc"
