// The window's passwords over a keyring in memory: Add New Server and Save Changes put the password
// into the keyring, a keyring that is locked or refuses changes nothing and says which, no keyring
// keeps the scrambled form and the panel says so, File > Move Passwords to the Keyring, Remove
// Server, and scripts that log in with a password read from the keyring (or are not started).
#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>

#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/FakePasswordStore.h"
#include "tests/TestKit.h"
#include "window/MainMenu.h"
#include "window/frmMain.h"

Q_DECLARE_METATYPE(PasswordResult::Kind)

namespace {
struct KeyringWindow {
    TazelSim sim;
    FakeKeyring keyring;
    WindowFixture fx;
    frmMain* w = nullptr;

    KeyringWindow()
    {
        sim.loadSample();
        if (!sim.listen(0))
            qFatal("the simulated server does not listen");
        fx.passwordStore = [this] { return std::make_unique<FakePasswordStore>(keyring); };
    }
    // A record of the simulated server whose password is in the keyring.
    void addKeyringRecord(int slot, const QString& name, const QString& password = QStringLiteral("secret"))
    {
        const QString section = ServerSection(slot);
        WriteServerRecord(*fx.settings, section,
                          {name, QStringLiteral("127.0.0.1"), QString::number(sim.port()), QStringLiteral("admin"), password},
                          true);
        WriteSetting(*fx.settings, Store::ServersSection, Store::ServerCountKey, QString::number(slot));
        keyring.entries[section] = password;
    }
    frmMain& open()
    {
        w = &fx.open();
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            qFatal("the window was not shown");
        return *w;
    }
    QByteArray fileBytes()
    {
        fx.settings->sync();
        QFile f(fx.settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QLabel* fileLine() const { return w->fraServerProperties->findChild<QLabel*>("lblPasswordPlace"); }
    void click(const QString& key)
    {
        const QModelIndex node = w->NodeByKey(key);
        w->DomainList->scrollTo(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {}, w->DomainList->visualRect(node).center());
    }
    bool domainsLoaded(const QString& key) const
    {
        const QModelIndex server = w->NodeByKey(key);
        return w->DomainModel->rowCount(server) > 0 &&
               w->NodeText(w->DomainModel->index(0, 0, server)) == QLatin1String("example.com");
    }
    void typeServer(const QString& name, const QString& password)
    {
        w->txtServerName->setText(name);
        w->txtServerAddress->setText("127.0.0.1");
        w->txtServerPort->setText(QString::number(sim.port()));
        w->txtServerLoginName->setText("admin");
        w->txtServerPassword->clear();
        QTest::keyClicks(w->txtServerPassword, password);
    }
};
}  // namespace

class TestServerPasswords : public QObject {
    Q_OBJECT
private slots:
    void addNewServerPutsThePasswordInTheKeyring();
    void keyringThatFailsChangesNothing_data();
    void keyringThatFailsChangesNothing();
    void noKeyringKeepsTheScrambledFormAndSaysSo();
    void startAsksTheKeyringOnlyForRecordsThatUseIt();
    void moveMenuEntryMovesAndCounts();
    void scriptsLogInWithTheKeyringPasswordOrAreNotStarted();
    void scriptQueuedBeforeItsPasswordArrives();
    void saveChangesNeverStoresAPasswordItNeverRead();
    void removeServerTakesItsKeyringEntry();
    void heldScriptsLearnTheirPasswordInTurn();
};

void TestServerPasswords::addNewServerPutsThePasswordInTheKeyring()
{
    KeyringWindow k;
    frmMain& w = k.open();
    QTRY_VERIFY(!k.keyring.calls.isEmpty());  // the keyring is asked once at start
    k.keyring.hold = true;
    k.typeServer("sim", "secret");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    // The keyring has not answered: nothing is written yet and the buttons wait.
    QVERIFY(!w.cmdAddServer->isEnabled());
    QVERIFY(!k.fx.settings->childGroups().contains("server1"));
    k.keyring.release();
    QTRY_VERIFY(w.NodeByKey("server1").isValid());
    QVERIFY(w.cmdAddServer->isEnabled());
    QCOMPARE(k.keyring.entries.value("server1"), QString("secret"));
    QCOMPARE(ReadSetting(*k.fx.settings, "server1", Store::PasswordStoreKey), QString("keyring"));
    QCOMPARE(ReadSetting(*k.fx.settings, "servers", Store::ServerCountKey), QString("1"));
    const QByteArray file = k.fileBytes();
    QVERIFY(!file.contains("secret"));
    QVERIFY(!file.contains("tzcrypt"));
    QVERIFY(k.fileLine()->isHidden());
    QCOMPARE(k.fx.messages.texts(), QStringList());

    // The new server's scripts log in with it.
    k.click("server1");
    QTRY_VERIFY(k.domainsLoaded("server1"));
    QCOMPARE(k.fx.messages.texts(), QStringList());
}

void TestServerPasswords::keyringThatFailsChangesNothing_data()
{
    QTest::addColumn<PasswordResult::Kind>("answer");
    QTest::addColumn<QString>("why");
    QTest::newRow("locked") << PasswordResult::Locked << "because the system keyring is locked.";
    QTest::newRow("refused") << PasswordResult::Refused << "because the system keyring refused access.";
    QTest::newRow("other error") << PasswordResult::OtherError
                                 << "because the system keyring reported an error: the collection could not be opened.";
}

void TestServerPasswords::keyringThatFailsChangesNothing()
{
    QFETCH(PasswordResult::Kind, answer);
    QFETCH(QString, why);
    KeyringWindow k;
    k.addKeyringRecord(1, "sim", "old");
    frmMain& w = k.open();
    k.click("server1");
    QTRY_COMPARE(w.txtServerPassword->text(), QString("old"));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    const QByteArray before = k.fileBytes();
    k.fx.messages.messages.clear();

    k.keyring.answer = answer;
    w.txtServerName->setText("renamed");
    w.txtServerPassword->setText("new");
    QTest::mouseClick(w.cmdUpdateServer, Qt::LeftButton);
    QTRY_COMPARE(k.fx.messages.texts().size(), 1);
    QCOMPARE(k.fx.messages.texts().at(0),
             "The server renamed was not saved: its password could not be put into the system keyring, " + why +
                 "\r\n\r\nNothing was changed.");
    QCOMPARE(k.fileBytes(), before);
    QCOMPARE(k.keyring.entries.value("server1"), QString("old"));

    // Removing it is refused the same way.
    k.fx.messages.answers.push_back(MsgYes);
    QTest::mouseClick(w.cmdRemoveServer, Qt::LeftButton);
    QTRY_COMPARE(k.fx.messages.texts().size(), 3);  // the question, then why not
    QCOMPARE(k.fx.messages.texts().at(2),
             "The server sim was not removed: its password could not be removed from the system keyring, " + why +
                 "\r\n\r\nNothing was changed.");
    QCOMPARE(k.fileBytes(), before);
    QVERIFY(k.keyring.entries.contains("server1"));
    QVERIFY(w.NodeByKey("server1").isValid());
    QVERIFY(k.fileLine()->isHidden());
}

// At start no entry is read that no record uses (reading one can make the keyring ask to be
// unlocked): with none in the keyring it is only asked whether it is there.
void TestServerPasswords::startAsksTheKeyringOnlyForRecordsThatUseIt()
{
    {
        KeyringWindow k;
        k.fx.addServerRecord(1, "filed", "127.0.0.1", k.sim.port());
        k.open();
        QCOMPARE(k.keyring.calls, QStringList{"probe"});
        QVERIFY(k.fileLine()->isHidden());
    }
    KeyringWindow k;
    k.fx.addServerRecord(1, "filed", "127.0.0.1", k.sim.port());
    k.addKeyringRecord(2, "kept");
    k.open();
    QCOMPARE(k.keyring.calls, QStringList{"read server2"});  // asked as the window opens
}

void TestServerPasswords::noKeyringKeepsTheScrambledFormAndSaysSo()
{
    KeyringWindow k;
    k.keyring.answer = PasswordResult::NoKeyring;
    frmMain& w = k.open();
    QLabel* line = k.fileLine();
    QTRY_VERIFY(line->isVisible());
    QCOMPARE(line->text(), QString("Password kept in the settings file: no system keyring"));
    // It fits its place beside "Hide Password", above the buttons.
    QVERIFY(line->heightForWidth(line->width()) <= line->height());
    QVERIFY(line->geometry().right() < w.chkHideServerPwd->x());
    QVERIFY(line->geometry().bottom() < w.cmdAddServer->y());
    QVERIFY(line->geometry().top() > w.txtServerLoginName->geometry().bottom());

    k.typeServer("sim", "secret");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    QTRY_VERIFY(w.NodeByKey("server1").isValid());
    QCOMPARE(ReadSetting(*k.fx.settings, "server1", Store::PasswordKey), Store::SecureMarker + ScramblePassword("secret"));
    QVERIFY(!k.fx.settings->contains("server1/" + Store::PasswordStoreKey));
    QVERIFY(k.keyring.entries.isEmpty());
    QCOMPARE(k.fx.messages.texts(), QStringList());
    k.click("server1");
    QTRY_VERIFY(k.domainsLoaded("server1"));
    QVERIFY(line->isVisible());
}

void TestServerPasswords::moveMenuEntryMovesAndCounts()
{
    KeyringWindow k;
    k.fx.addServerRecord(1, "sim", "127.0.0.1", k.sim.port(), "admin", "secret");
    k.fx.addServerRecord(2, "other", "127.0.0.1", k.sim.port(), "admin", "pw2");
    frmMain& w = k.open();
    QAction* move = w.Menu->movePasswordsAction();
    QVERIFY(w.Menu->fileMenu()->actions().contains(move));
    QCOMPARE(move->text(), QString("&Move Passwords to the Keyring"));
    move->trigger();
    QTRY_COMPARE(k.fx.messages.texts(),
                 QStringList{"2 passwords were moved to the system keyring. The settings file holds none of them any more."});
    QCOMPARE(k.keyring.entries, (QMap<QString, QString>{{"server1", "secret"}, {"server2", "pw2"}}));
    QVERIFY(!k.fileBytes().contains("tzcrypt"));
    k.click("server1");
    QTRY_VERIFY(k.domainsLoaded("server1"));
    QCOMPARE(w.txtServerPassword->text(), QString("secret"));

    // One more kept in the file, and a locked keyring: it stays, and the message says why.
    k.fx.messages.messages.clear();
    WriteServerRecord(*k.fx.settings, "server3", {"third", "127.0.0.1", "6017", "admin", "pw3"});
    k.keyring.answer = PasswordResult::Locked;
    move->trigger();
    QTRY_COMPARE(k.fx.messages.texts(),
                 QStringList{"0 passwords were moved to the system keyring. 1 password(s) stay in the settings file: "
                             "the system keyring is locked."});
    QCOMPARE(ReadServerPassword(*k.fx.settings, "server3"), QString("pw3"));
}

void TestServerPasswords::scriptsLogInWithTheKeyringPasswordOrAreNotStarted()
{
    KeyringWindow k;
    k.addKeyringRecord(1, "sim");
    k.addKeyringRecord(2, "locked one");
    k.keyring.answerFor["server2"] = PasswordResult::Locked;
    frmMain& w = k.open();
    QTRY_VERIFY(w.Passwords->PasswordFor("server1").has_value());
    k.click("server1");
    QCOMPARE(w.txtServerPassword->text(), QString("secret"));
    QTRY_VERIFY(k.domainsLoaded("server1"));
    QCOMPARE(k.sim.connections, 1);
    QCOMPARE(k.fx.messages.texts(), QStringList());

    // A password the keyring would not give: the script is not started, and the message says why.
    k.click("server2");
    QTRY_COMPARE(k.fx.messages.texts(),
                 QStringList{"The password of the server locked one could not be read: the system keyring is locked. "
                             "The action was not started. Unlock the keyring, then start the program again."});
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(k.sim.connections, 1);
    QCOMPARE(w.txtServerPassword->text(), QString());
}

// A script queued before the keyring's answer waits in the queue for it, without a message and
// without connecting; the answer starts it and fills the panel of the record shown.
void TestServerPasswords::scriptQueuedBeforeItsPasswordArrives()
{
    KeyringWindow k;
    k.addKeyringRecord(1, "sim");
    k.keyring.hold = true;  // the keyring is slow to answer at start
    frmMain& w = k.open();
    k.click("server1");
    QCOMPARE(w.txtServerPassword->text(), QString());
    QTest::qWait(100);
    QVERIFY(!w.Session->DriverIsIdle());  // the script waits
    QCOMPARE(k.sim.connections, 0);
    k.keyring.hold = false;
    k.keyring.release();
    QTRY_COMPARE(w.txtServerPassword->text(), QString("secret"));
    QTRY_VERIFY(k.domainsLoaded("server1"));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(k.sim.connections, 1);
    QCOMPARE(k.fx.messages.texts(), QStringList());
}

void TestServerPasswords::saveChangesNeverStoresAPasswordItNeverRead()
{
    KeyringWindow k;
    k.addKeyringRecord(1, "sim", "kept");
    k.keyring.hold = true;
    frmMain& w = k.open();
    k.click("server1");  // its script waits for the password
    QCOMPARE(k.sim.connections, 0);
    const QByteArray before = k.fileBytes();
    k.fx.messages.messages.clear();
    w.txtServerName->setText("renamed");
    QTest::mouseClick(w.cmdUpdateServer, Qt::LeftButton);
    QCOMPARE(k.fx.messages.texts(),
             QStringList{"The password of the server sim is still being read from the system keyring.\r\n\r\nType "
                         "the password again to save the server. Nothing was saved."});
    QCOMPARE(k.fileBytes(), before);

    // Typed again, it is saved; the late answer of the start does not overwrite what was typed.
    QTest::keyClicks(w.txtServerPassword, "typed");
    QTest::mouseClick(w.cmdUpdateServer, Qt::LeftButton);
    k.keyring.hold = false;
    k.keyring.release();
    QTRY_COMPARE(ReadSetting(*k.fx.settings, "server1", Store::NameKey), QString("renamed"));
    QCOMPARE(k.keyring.entries.value("server1"), QString("typed"));
    QCOMPARE(w.Passwords->PasswordFor("server1"), std::optional<QString>("typed"));
}

void TestServerPasswords::removeServerTakesItsKeyringEntry()
{
    KeyringWindow k;
    k.addKeyringRecord(1, "sim");
    k.addKeyringRecord(2, "other", "pw2");
    frmMain& w = k.open();
    k.click("server1");
    QTRY_VERIFY(w.Session->DriverIsIdle());
    k.fx.messages.answers.push_back(MsgYes);
    QTest::mouseClick(w.cmdRemoveServer, Qt::LeftButton);
    QTRY_VERIFY(!w.NodeByKey("server1").isValid());
    QVERIFY(!k.keyring.entries.contains("server1"));
    QVERIFY(!k.fx.settings->childGroups().contains("server1"));
    QCOMPARE(k.keyring.entries.value("server2"), QString("pw2"));
    QCOMPARE(k.fx.messages.texts().size(), 1);  // the question only
}

void TestServerPasswords::heldScriptsLearnTheirPasswordInTurn()
{
    KeyringWindow k;
    k.addKeyringRecord(1, "sim");
    k.addKeyringRecord(2, "locked one");
    k.fx.addServerRecord(3, "filed", "127.0.0.1", 6017, "admin", "pw3");
    k.keyring.answerFor["server2"] = PasswordResult::Locked;
    k.keyring.hold = true;
    frmMain& w = k.open();
    QStringList heard;
    auto waiter = [&heard](const QString& tag) {
        return [&heard, tag](const std::optional<QString>& password, const QString& reason) {
            heard << tag + ": " + (password ? *password : "none, " + reason);
        };
    };
    // A record kept in the file answers at once; the keyring's wait for its answer, in order.
    w.Passwords->WhenPasswordKnown("server1", waiter("first"));
    w.Passwords->WhenPasswordKnown("server2", waiter("second"));
    w.Passwords->WhenPasswordKnown("server3", waiter("third"));
    w.Passwords->WhenPasswordKnown("server1", waiter("fourth"));
    QCOMPARE(heard, QStringList{"third: pw3"});
    k.keyring.release();
    QTRY_COMPARE(heard.size(), 4);
    QCOMPARE(heard, (QStringList{"third: pw3", "first: secret", "fourth: secret",
                                 "second: none, The password of the server locked one could not be read: the system "
                                 "keyring is locked. The action was not started. Unlock the keyring, then start the "
                                 "program again."}));
    // Known now: at once.
    w.Passwords->WhenPasswordKnown("server1", waiter("fifth"));
    QCOMPARE(heard.last(), QString("fifth: secret"));
}

QTEST_MAIN(TestServerPasswords)
#include "tst_serverpasswords.moc"
