// The activity journal: whole lines however many write at once, rotation, and the window's side
// (its changes go in, its activity log starts with the journal's recent rows).

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>
#include <QtTest>

#include "session/ActivityJournal.h"
#include "session/ActivityLog.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

namespace {
JournalEntry Entry(int n)
{
    JournalEntry e;
    e.time = QDateTime::currentDateTimeUtc();
    e.program = QStringLiteral("tazelctl");
    e.server = QStringLiteral("sim");
    e.action = QStringLiteral("add account u%1@example.com").arg(n);
    e.outcome = QStringLiteral("done");
    return e;
}

// Every line of the file, each one required to be a whole entry.
QStringList Actions(const QString& path, bool* allWhole)
{
    QFile f(path);
    QStringList actions;
    *allWhole = true;
    if (!f.open(QIODevice::ReadOnly))
        return actions;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            *allWhole = false;
        actions << o.value(QStringLiteral("action")).toString();
    }
    return actions;
}
}  // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void linesStayWholeWithTwoWritersAtOnce();
    void rotatesAtItsLimitAndReadsBothFiles();
    void windowShowsRecentRowsAndJournalsItsChanges();
};

void TestJournal::linesStayWholeWithTwoWritersAtOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state/journal.jsonl"));
    auto writer = [&path](int from) {
        ActivityJournal journal(QStringLiteral("tazelctl"), path);
        for (int i = from; i < from + 2000; ++i)
            journal.append(Entry(i));
    };
    QThread* a = QThread::create(writer, 0);
    QThread* b = QThread::create(writer, 10000);
    a->start();
    b->start();
    QVERIFY(a->wait(60000) && b->wait(60000));
    delete a;
    delete b;
    bool whole = false;
    const QStringList actions = Actions(path, &whole);
    QVERIFY(whole);
    QCOMPARE(actions.size(), 4000);
    QCOMPARE(QSet<QString>(actions.begin(), actions.end()).size(), 4000);
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

void TestJournal::rotatesAtItsLimitAndReadsBothFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    ActivityJournal journal(QStringLiteral("tazelctl"), path);
    journal.rotateBytes = 2000;
    for (int i = 0; i < 40; ++i)
        QVERIFY(journal.append(Entry(i)));
    QVERIFY(QFile::exists(path + QStringLiteral(".1")));
    QVERIFY(QFileInfo(path).size() <= 2000);
    // The last entries, oldest first, across the rotated file and the current one.
    const QList<JournalEntry> last = ActivityJournal::recent(path, 12);
    QCOMPARE(last.size(), 12);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(last.at(i).action, Entry(28 + i).action);
    // A journal that cannot be written says so.
    ActivityJournal blocked(QStringLiteral("tazelctl"), dir.path());
    QString error;
    QVERIFY(!blocked.append(Entry(0), &error));
    QVERIFY(error.contains(QStringLiteral("could not be written")));
}

void TestJournal::windowShowsRecentRowsAndJournalsItsChanges()
{
    TazelSim sim;
    sim.loadSample();
    QVERIFY(sim.listen());
    WindowFixture fx;
    const QString path = qEnvironmentVariable("TAZEL_JOURNAL");
    QVERIFY(path.startsWith(fx.dir.path()));
    JournalEntry yesterday = Entry(1);
    yesterday.time = QDateTime::currentDateTimeUtc().addDays(-1);
    QVERIFY(ActivityJournal(QStringLiteral("tazelctl"), path).append(yesterday));

    frmMain* w = fx.openShown(sim.port());
    QVERIFY(w);
    QCOMPARE(w->Activity->rowCount(), 1);
    QCOMPARE(w->Activity->text(0, ActivityLog::ActionColumn), QStringLiteral("add account u1@example.com (tazelctl)"));
    QCOMPARE(w->Activity->text(0, ActivityLog::TimeColumn).left(10),
             yesterday.time.toLocalTime().date().toString(Qt::ISODate));

    // The user opens the server and adds a domain with the domain panel.
    const QModelIndex server = w->NodeByKey(QStringLiteral("server1"));
    QVERIFY(server.isValid());
    w->DomainList->scrollTo(server);
    QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, w->DomainList->visualRect(server).center());
    QTRY_VERIFY(w->cmdAddDomain->isVisible() && w->Session->DriverIsIdle());
    w->txtDomainName->clear();
    QTest::keyClicks(w->txtDomainName, QStringLiteral("new.example"));
    QTest::mouseClick(w->cmdAddDomain, Qt::LeftButton);
    QTRY_VERIFY(sim.state.domain(QStringLiteral("new.example")) && w->Session->DriverIsIdle());
    bool whole = false;
    QTRY_VERIFY(Actions(path, &whole).contains(QStringLiteral("add domain new.example")));
    QVERIFY(whole);
    const QList<JournalEntry> entries = ActivityJournal::recent(path, 10);
    QCOMPARE(entries.last().program, QStringLiteral("tazel-admin"));
    QCOMPARE(entries.last().server, QStringLiteral("sim"));
    QCOMPARE(entries.last().outcome, QStringLiteral("done"));
    // Reads are not journalled: the domain list read on the click left no line.
    QCOMPARE(entries.size(), 2);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("secret"));  // the administrator password never goes in
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
