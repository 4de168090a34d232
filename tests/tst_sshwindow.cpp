// The window's side of connecting through SSH: the server panel's "SSH..." button and its dialog,
// the record's keys, the tree's lock, the dialog's Test against a real sshd of the test's own, and
// the askpass helper's dialog.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTreeView>
#include <QtTest>

#include "askpass/AskpassDialog.h"
#include "session/ServerSession.h"
#include "session/SshProbe.h"
#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/SshFixture.h"
#include "tests/TestKit.h"
#include "window/SshDialog.h"
#include "window/SshSettings.h"
#include "window/frmMain.h"

class TestSshWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void buttonOpensTheRecordsSettings();
    void unusableSettingsChangeNothing_data();
    void unusableSettingsChangeNothing();
    void testReportsTheOutcomeByKind_data();
    void testReportsTheOutcomeByKind();
    void askpassQuestions_data();
    void askpassQuestions();

private:
    // Shows the window on the simulated server and selects the server's node.
    bool openOnServer();
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // A check box takes clicks on its box and caption only, at its left.
    void tick(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }
    // The SSH dialog opened through the panel's button.
    SshDialog* openDialog();
    QIcon serverIcon() const;

    SshFixture* ssh = nullptr;
    TazelSim* sim = nullptr;
    std::unique_ptr<WindowFixture> fx;
    frmMain* w = nullptr;
};

void TestSshWindow::initTestCase()
{
    ssh = new SshFixture;
    QString error;
    QVERIFY2(ssh->start(&error), qPrintable(error));
}

void TestSshWindow::init()
{
    ssh->stopSharedConnection();
    ssh->trustHostKey();
    sim = new TazelSim;
    QVERIFY(sim->listen());
    fx = std::make_unique<WindowFixture>();
}

void TestSshWindow::cleanup()
{
    fx.reset();
    w = nullptr;
    delete sim;
    sim = nullptr;
}

void TestSshWindow::cleanupTestCase()
{
    delete ssh;
}

bool TestSshWindow::openOnServer()
{
    w = fx->openShown(sim->port());
    if (!w)
        return false;
    const QModelIndex node = w->NodeByKey(QStringLiteral("server1"));
    QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, w->DomainList->visualRect(node).center());
    return QTest::qWaitFor([this] { return w->Session->DriverIsIdle() && w->SelectedServerIndex.isValid(); }, 10000);
}

SshDialog* TestSshWindow::openDialog()
{
    click(w->SshPanel->cmdSshSettings);
    return w->SshPanel->dialog();
}

QIcon TestSshWindow::serverIcon() const
{
    return w->DomainModel->data(w->NodeByKey(QStringLiteral("server1")), Qt::DecorationRole).value<QIcon>();
}

void TestSshWindow::buttonOpensTheRecordsSettings()
{
    QVERIFY(openOnServer());
    QPushButton* button = w->SshPanel->cmdSshSettings;
    QVERIFY(button->isVisible());
    QCOMPARE(button->geometry(), QRect(w->Px(240), w->Px(1545), w->Px(1215), w->Px(330)));
    const qint64 plainIcon = serverIcon().cacheKey();

    SshDialog* d = openDialog();
    QVERIFY(d && d->isVisible());
    QVERIFY(!d->chkUseSsh->isChecked());
    QVERIFY(!d->txtSshHost->isEnabled());
    tick(d->chkUseSsh);
    QVERIFY(d->txtSshHost->isEnabled());
    QTest::keyClicks(d->txtSshHost, "gate.example.org");
    QTest::keyClicks(d->txtSshPort, "2222");
    QTest::keyClicks(d->txtSshUser, "ops");
    QTest::keyClicks(d->txtSshIdentity, "/home/ops/.ssh/id_ed25519");
    click(d->cmdOK);
    QTRY_VERIFY(!w->SshPanel->dialog());

    QSettings& s = *fx->settings;
    QCOMPARE(ReadSetting(s, "server1", Store::SshHostKey), QString("gate.example.org"));
    QCOMPARE(ReadSetting(s, "server1", Store::SshPortKey), QString("2222"));
    QCOMPARE(ReadSetting(s, "server1", Store::SshUserKey), QString("ops"));
    QCOMPARE(ReadSetting(s, "server1", Store::SshIdentityKey), QString("/home/ops/.ssh/id_ed25519"));
    QCOMPARE(ReadSetting(s, "server1", Store::PortKey), QString::number(sim->port()));  // the record's own
    QVERIFY(serverIcon().cacheKey() != plainIcon);  // the lock

    // Opened again, the dialog shows what the record holds; unticked, the record is plain again.
    d = openDialog();
    QVERIFY(d->chkUseSsh->isChecked());
    QCOMPARE(d->txtSshHost->text(), QString("gate.example.org"));
    QCOMPARE(d->txtSshIdentity->text(), QString("/home/ops/.ssh/id_ed25519"));
    tick(d->chkUseSsh);
    click(d->cmdOK);
    QTRY_VERIFY(!w->SshPanel->dialog());
    QVERIFY(!ReadSshRoute(s, "server1").isSet());
    QCOMPARE(ReadSetting(s, "server1", Store::SshPortKey), QString());
    QCOMPARE(serverIcon().cacheKey(), plainIcon);
    QVERIFY(fx->messages.messages.isEmpty());

    // The settings belong to a record: the panel for a new server has no SSH button.
    w->ShowServerPanel("add");
    QVERIFY(!button->isVisible());
    w->ShowServerPanel("edit");
    QVERIFY(button->isVisible());
}

void TestSshWindow::unusableSettingsChangeNothing_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("says");
    QTest::newRow("no host") << "" << "" << "no SSH host is set";
    QTest::newRow("port not a number") << "gate" << "22a" << "the SSH port \"22a\" is not a port number";
    QTest::newRow("port nought") << "gate" << "0" << "is not a port number";
    QTest::newRow("host an option") << "-oProxyCommand=x" << "" << "is not a host name";
}

void TestSshWindow::unusableSettingsChangeNothing()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, says);
    QVERIFY(openOnServer());
    QVERIFY(WriteSshRoute(*fx->settings, "server1", {"old.example.org", "", "", ""}));
    SshDialog* d = openDialog();
    d->txtSshHost->clear();
    QTest::keyClicks(d->txtSshHost, host);
    QTest::keyClicks(d->txtSshPort, port);
    click(d->cmdOK);
    QCOMPARE(fx->messages.texts().size(), 1);
    QVERIFY2(fx->messages.texts().first().startsWith("The SSH settings cannot be used: "),
             qPrintable(fx->messages.texts().first()));
    QVERIFY2(fx->messages.texts().first().contains(says), qPrintable(fx->messages.texts().first()));
    QVERIFY(d->isVisible());  // left open for the user to mend
    QCOMPARE(ReadSetting(*fx->settings, "server1", Store::SshHostKey), QString("old.example.org"));
    QCOMPARE(ReadSetting(*fx->settings, "server1", Store::SshPortKey), QString());
}

void TestSshWindow::testReportsTheOutcomeByKind_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("shown");
    QTest::newRow("works") << "" << int(SshProbe::Outcome::Greeted)
                           << "Works: Connected through the SSH host 127.0.0.1; the server at 127.0.0.1 port";
    QTest::newRow("unknown host key answered no") << "unknown host key" << int(SshProbe::Outcome::HostKey)
                                                  << "Host key: The host key of the SSH host 127.0.0.1 is not known";
    QTest::newRow("host key changed") << "other host key" << int(SshProbe::Outcome::HostKey)
                                      << "Host key: The SSH host 127.0.0.1 presented a host key other";
    QTest::newRow("key refused") << "other client key" << int(SshProbe::Outcome::Authentication)
                                 << "Authentication: The SSH host 127.0.0.1 refused the login";
    QTest::newRow("nothing behind") << "closed control port" << int(SshProbe::Outcome::NoControlServer)
                                    << "No control server: The SSH host 127.0.0.1 could not connect to 127.0.0.1 port";
    QTest::newRow("something else behind") << "other greeting" << int(SshProbe::Outcome::NoControlServer)
                                           << "No control server: The server at 127.0.0.1 port";
    QTest::newRow("SSH host not listening") << "closed ssh port" << int(SshProbe::Outcome::Network)
                                            << "Network: The SSH host 127.0.0.1 could not be reached";
}

void TestSshWindow::testReportsTheOutcomeByKind()
{
    QFETCH(QString, setup);
    QFETCH(int, outcome);
    QFETCH(QString, shown);
    QVERIFY(openOnServer());
    QTcpServer closed;  // a port with nothing listening behind it
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    SshRoute route = ssh->route();
    if (setup == "unknown host key") {
        ssh->forgetHostKey();
        ssh->writeAskpass(QStringLiteral("no"));  // the tazel-askpass on PATH
    } else if (setup == "other host key") {
        ssh->trustOtherKey();
    } else if (setup == "other client key") {
        route.identity = ssh->otherKey();
    } else if (setup == "closed control port") {
        QVERIFY(WriteSetting(*fx->settings, "server1", Store::PortKey, QString::number(closed.serverPort())));
    } else if (setup == "other greeting") {
        sim->faults.scriptedReplies.insert(QStringLiteral("<greeting>"), "-ERR not here\r\n");
    } else if (setup == "closed ssh port") {
        route.port = QString::number(closed.serverPort());
    }
    closed.close();
    const int connectionsBefore = sim->connections;
    const qsizetype receivedBefore = sim->received.size();

    SshDialog* d = openDialog();
    tick(d->chkUseSsh);
    QTest::keyClicks(d->txtSshHost, route.host);
    QTest::keyClicks(d->txtSshPort, route.port);
    QTest::keyClicks(d->txtSshIdentity, route.identity);
    click(d->cmdTestSsh);
    QVERIFY(!d->cmdTestSsh->isEnabled());
    QVERIFY(d->probe());
    QTRY_VERIFY_WITH_TIMEOUT(d->probe()->outcome() != SshProbe::Outcome::Running, 30000);
    QCOMPARE(int(d->probe()->outcome()), outcome);
    QVERIFY2(d->lblTestResult->text().startsWith(shown), qPrintable(d->lblTestResult->text()));
    QVERIFY(d->cmdTestSsh->isEnabled());
    const bool reached = outcome == int(SshProbe::Outcome::Greeted) || setup == "other greeting";
    QCOMPARE(sim->connections - connectionsBefore, reached ? 1 : 0);
    QCOMPARE(sim->received.size(), receivedBefore);  // the test sends nothing, not even a login
    // A test writes nothing: Cancel leaves the record as it was.
    click(d->cmdCancel);
    QVERIFY(!ReadSshRoute(*fx->settings, "server1").isSet());
}

void TestSshWindow::askpassQuestions_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("keys");  // typed into the answer field, if there is one
    QTest::addColumn<QString>("press");  // "enter", "escape", "yes", "no"
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("answer");
    const QString hostKey = "The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.\n"
                            "ED25519 key fingerprint is SHA256:Zmun8IY1C/iTfn/R11igQl3xmhed5W+ebays7aOOpvI.\n"
                            "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";
    QTest::newRow("host key, Enter is No") << hostKey << "" << "enter" << true << "no";
    QTest::newRow("host key, Yes") << hostKey << "" << "yes" << true << "yes";
    QTest::newRow("host key, No") << hostKey << "" << "no" << true << "no";
    QTest::newRow("host key, Escape cancels") << hostKey << "" << "escape" << false << "";
    QTest::newRow("passphrase") << "Enter passphrase for key '/home/ops/.ssh/id_ed25519': " << "s3cr<t &x"
                                << "enter" << true << "s3cr<t &x";
    QTest::newRow("password, Escape cancels") << "ops@gate's password: " << "pw" << "escape" << false << "";
}

void TestSshWindow::askpassQuestions()
{
    QFETCH(QString, prompt);
    QFETCH(QString, keys);
    QFETCH(QString, press);
    QFETCH(bool, accepted);
    QFETCH(QString, answer);
    AskpassDialog d(prompt);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    if (d.isYesNo()) {
        QVERIFY(!d.txtAnswer);
        QVERIFY(d.cmdNo->isDefault());
    } else {
        QCOMPARE(d.txtAnswer->echoMode(), QLineEdit::Password);
        QTest::keyClicks(d.txtAnswer, keys);
    }
    if (press == "yes")
        click(d.cmdYes);
    else if (press == "no")
        click(d.cmdNo);
    else
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &d,
                        press == "enter" ? Qt::Key_Return : Qt::Key_Escape);
    QCOMPARE(d.result() == QDialog::Accepted, accepted);
    if (accepted)
        QCOMPARE(d.answer(), answer);
}

QTEST_MAIN(TestSshWindow)
#include "tst_sshwindow.moc"
