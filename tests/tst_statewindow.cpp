// The state file in the window, through its own events against the simulated server: Save State
// writes the shown domain's file; Compare with State File shows the plan in its dialog, a row
// unticked with the keyboard is not sent, Apply Ticked ends every row done or skipped.

#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/PlanDialog.h"
#include "window/StateFiles.h"
#include "window/frmMain.h"

class TestStateWindow : public QObject {
    Q_OBJECT

private slots:
    void saveCompareAndApplyTicked();
};

void TestStateWindow::saveCompareAndApplyTicked()
{
    TazelSim sim;
    sim.loadSample();
    QVERIFY(sim.listen());
    WindowFixture fx;
    frmMain* w = fx.openShown(sim.port());
    QVERIFY(w);
    auto* files = w->findChild<StateFiles*>();
    QVERIFY(files);
    auto click = [w](const QModelIndex& node) {
        w->DomainList->scrollTo(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, w->DomainList->visualRect(node).center());
    };
    const QModelIndex server = w->NodeByKey(QStringLiteral("server1"));
    click(server);
    const auto domainNode = [w] { return w->NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), QStringLiteral("example.com"))); };
    QTRY_VERIFY(w->Session->DriverIsIdle() && domainNode().isValid());
    w->DomainList->expand(server);
    click(domainNode());
    QTRY_VERIFY(w->Session->DriverIsIdle() && w->Session->UserEntriesDomain == QLatin1String("example.com"));

    const QString path = fx.dir.filePath(QStringLiteral("example.com.yaml"));
    files->chooseSaveFile = [path](const QString&) { return path; };
    files->saveAction()->trigger();
    QTRY_VERIFY(!files->busy() && QFile::exists(path));
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());

    // The server drifts: another password, an alias more, an account gone.
    sim.state.account("example.com", "bob")->password = QStringLiteral("drifted");
    sim.state.aliases.append(SimAlias{"example.com", "extra", "bob"});
    sim.state.domain("example.com")->accounts.removeIf([](const SimAccount& a) { return a.name == QLatin1String("postmaster"); });
    sim.clearRecord();

    files->chooseOpenFile = [path] { return path; };
    files->compareFileAction()->trigger();
    QTRY_VERIFY(files->dialog() && files->dialog()->isVisible());
    PlanDialog* dialog = files->dialog();
    QTableWidget* table = dialog->table();
    QStringList lines;
    for (int r = 0; r < table->rowCount(); ++r)
        lines << table->item(r, 0)->text();
    QVERIFY2(lines.contains(QStringLiteral("~ password example.com/bob")), qPrintable(lines.join('\n')));
    QVERIFY(lines.contains(QStringLiteral("+ account example.com/postmaster (user)")));
    const int aliasRow = int(lines.indexOf(QStringLiteral("- alias example.com/extra -> bob")));
    QVERIFY(aliasRow >= 0);
    const int passwordRow = int(lines.indexOf(QStringLiteral("~ password example.com/bob")));
    QCOMPARE(table->item(passwordRow, 1)->text(), QStringLiteral("(sensitive)"));
    QVERIFY(!table->item(passwordRow, 2)->text().contains(QStringLiteral("builder")));

    // The alias's removal unticked with the keyboard.
    table->setFocus();
    table->setCurrentCell(aliasRow, 0);
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(table->item(aliasRow, 0)->checkState(), Qt::Unchecked);

    QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);
    QTRY_VERIFY(!dialog->outcome(passwordRow).isEmpty() && !files->busy());
    QTRY_VERIFY(dialog->summaryText().contains(QStringLiteral("done")));
    QCOMPARE(dialog->outcome(passwordRow), QStringLiteral("done"));
    QCOMPARE(dialog->outcome(aliasRow), QStringLiteral("skipped: not ticked"));
    QCOMPARE(dialog->progressBar()->value(), dialog->progressBar()->maximum());
    QCOMPARE(sim.state.account("example.com", "bob")->password, QStringLiteral("builder"));
    QVERIFY(sim.state.account("example.com", "postmaster"));
    QVERIFY(sim.state.aliasIndex("example.com", "extra") >= 0);
    QVERIFY(fx.messages.messages.isEmpty());
}

QTEST_MAIN(TestStateWindow)
#include "tst_statewindow.moc"
