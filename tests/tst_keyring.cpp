// The system keyring for real: gnome-keyring on a private session bus, with throw-away home and
// data folders, started around this test by scripts/private-keyring (CTest runs it so). A server
// saved through the window's own button has its password in the keyring, as secret-tool finds it,
// and no trace of it in the settings file; a window started later logs in with it; a locked keyring
// changes nothing and says so. Run on a bus with no keyring at all, the panel says where passwords
// stay and the scrambled form is kept.
#include <QtTest>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>

#include "sim/TazelSim.h"
#include "store/KeyringPasswords.h"
#include "store/ServerStore.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

class TestKeyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void savedServerHasItsPasswordInTheKeyringOnly();
    void lockedKeyringChangesNothingAndSaysSo();
    void noKeyringOnTheBusKeepsTheScrambledForm();

private:
    static QByteArray lookup(const QString& key, int* exitCode = nullptr);
    TazelSim sim_;
};

// Every test here needs its private keyring or its keyring-free bus; run alone it fails, never skips.
void TestKeyring::initTestCase()
{
    const bool privateKeyring = qgetenv("TAZEL_PRIVATE_KEYRING") == "1";
    const bool noBus = qgetenv("TAZEL_NO_KEYRING_BUS") == "1";
    QVERIFY2(privateKeyring || noBus,
             "run through scripts/private-keyring (CTest does): the test never uses the machine's own keyring");
    sim_.loadSample();
    QVERIFY(sim_.listen(0));
}

QByteArray TestKeyring::lookup(const QString& key, int* exitCode)
{
    QProcess p;
    p.start(QStringLiteral("secret-tool"), {"lookup", "server", Store::KeyringService, "user", key});
    if (!p.waitForFinished(20000))
        qFatal("secret-tool did not finish");
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

static void TypeServer(frmMain& w, quint16 port, const QString& password)
{
    w.txtServerName->setText("sim");
    w.txtServerAddress->setText("127.0.0.1");
    w.txtServerPort->setText(QString::number(port));
    w.txtServerLoginName->setText("admin");
    w.txtServerPassword->clear();
    QTest::keyClicks(w.txtServerPassword, password);
}

static void ClickNode(frmMain& w, const QString& key)
{
    const QModelIndex node = w.NodeByKey(key);
    w.DomainList->scrollTo(node);
    QTest::mouseClick(w.DomainList->viewport(), Qt::LeftButton, {}, w.DomainList->visualRect(node).center());
}

static QByteArray FileBytes(WindowFixture& fx)
{
    fx.settings->sync();
    QFile f(fx.settingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestKeyring::savedServerHasItsPasswordInTheKeyringOnly()
{
    if (qgetenv("TAZEL_PRIVATE_KEYRING") != "1")
        QSKIP("needs the private keyring");
    WindowFixture fx;
    fx.passwordStore = {};  // the system keyring, as the program uses it
    frmMain& w = fx.open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TypeServer(w, sim_.port(), "secret");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.NodeByKey("server1").isValid(), 20000);
    QCOMPARE(fx.messages.texts(), QStringList());

    int code = -1;
    QCOMPARE(lookup("server1", &code), QByteArray("secret"));
    QCOMPARE(code, 0);
    const QByteArray file = FileBytes(fx);
    QVERIFY2(!file.contains("secret"), file.constData());
    QVERIFY2(!file.contains(ScramblePassword("secret").toLatin1()), file.constData());
    QVERIFY(!file.contains("tzcrypt"));
    QCOMPARE(ReadSetting(*fx.settings, "server1", Store::PasswordStoreKey), QString("keyring"));
    QVERIFY(w.fraServerProperties->findChild<QLabel*>("lblPasswordPlace")->isHidden());

    // A window started later reads it from the keyring and logs in with it.
    fx.window.reset();
    frmMain& again = fx.open();
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QTRY_VERIFY_WITH_TIMEOUT(again.Passwords->PasswordFor("server1").has_value(), 20000);
    const int before = sim_.connections;
    ClickNode(again, "server1");
    QTRY_VERIFY_WITH_TIMEOUT(again.DomainModel->rowCount(again.NodeByKey("server1")) == 3, 20000);
    QCOMPARE(sim_.connections, before + 1);
    QCOMPARE(again.txtServerPassword->text(), QString("secret"));

    // Removing the server removes its entry.
    fx.messages.answers.push_back(MsgYes);
    QTest::mouseClick(again.cmdRemoveServer, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!again.NodeByKey("server1").isValid(), 20000);
    QCOMPARE(lookup("server1", &code), QByteArray());
    QVERIFY(code != 0);
}

void TestKeyring::lockedKeyringChangesNothingAndSaysSo()
{
    if (qgetenv("TAZEL_PRIVATE_KEYRING") != "1")
        QSKIP("needs the private keyring");
    WindowFixture fx;
    fx.passwordStore = {};
    frmMain& w = fx.open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TypeServer(w, sim_.port(), "first");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.NodeByKey("server1").isValid(), 20000);
    const QByteArray before = FileBytes(fx);

    // Locked as a screen lock or the user would lock it.
    QDBusMessage lock = QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                                       "org.freedesktop.Secret.Service", "Lock");
    lock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath("/org/freedesktop/secrets/collection/login")});
    const QDBusMessage locked = QDBusConnection::sessionBus().call(lock, QDBus::Block, 20000);
    QVERIFY2(locked.type() == QDBusMessage::ReplyMessage, qPrintable(locked.errorMessage()));

    ClickNode(w, "server1");
    QTRY_VERIFY(w.Session->DriverIsIdle());
    fx.messages.messages.clear();
    w.txtServerName->setText("renamed");
    w.txtServerPassword->setText("second");
    QTest::mouseClick(w.cmdUpdateServer, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(fx.messages.texts().size(), 1, 30000);
    QCOMPARE(fx.messages.texts().at(0),
             QString("The server renamed was not saved: its password could not be put into the system keyring, "
                     "because the system keyring is locked.\r\n\r\nNothing was changed."));
    QCOMPARE(FileBytes(fx), before);
}

void TestKeyring::noKeyringOnTheBusKeepsTheScrambledForm()
{
    if (qgetenv("TAZEL_NO_KEYRING_BUS") != "1")
        QSKIP("needs a bus without a keyring");
    WindowFixture fx;
    fx.passwordStore = {};
    frmMain& w = fx.open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QLabel* line = w.fraServerProperties->findChild<QLabel*>("lblPasswordPlace");
    QTRY_VERIFY_WITH_TIMEOUT(line->isVisible(), 20000);
    QCOMPARE(line->text(), QString("Password kept in the settings file: no system keyring"));
    TypeServer(w, sim_.port(), "secret");
    QTest::mouseClick(w.cmdAddServer, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.NodeByKey("server1").isValid(), 20000);
    QCOMPARE(ReadSetting(*fx.settings, "server1", Store::PasswordKey), Store::SecureMarker + ScramblePassword("secret"));
    QVERIFY(!fx.settings->contains("server1/" + Store::PasswordStoreKey));
    QCOMPARE(fx.messages.texts(), QStringList());
}

QTEST_MAIN(TestKeyring)
#include "tst_keyring.moc"
