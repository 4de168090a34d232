// The settings store: the stored password form, record lookups, values that are not what the
// program writes, and the file's permissions.
#include <QtTest>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "store/ServerStore.h"

class TestStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void passwordRoundTrip_data();
    void passwordRoundTrip();
    void readsStoredPasswordForms_data();
    void readsStoredPasswordForms();
    void blankAddressFallsBackToName_data();
    void blankAddressFallsBackToName();
    void textWithCommaReadsBackAsWritten();
    void sshRouteRoundTrip();
    void storedLoginAndServers();
    void readsTruthValues_data();
    void readsTruthValues();
    void readsWholeNumbers_data();
    void readsWholeNumbers();
    void settingsFileIsOwnerOnly();
    void userStoreIsOwnerOnly();

private:
    QTemporaryDir home_;
};

static const QString Marker = QStringLiteral("{%secure:tzcrypt%}");

void TestStore::initTestCase()
{
    // The user's own store lands in a throw-away folder; set before any store is opened.
    QVERIFY(home_.isValid());
    qputenv("XDG_CONFIG_HOME", home_.path().toLocal8Bit());
}

void TestStore::passwordRoundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("stored");
    // 'a' 0x61 ^ 0x3B = 0x5a, 'b' -> 0x59, 'c' -> 0x58: two lower-case digits per character.
    QTest::newRow("three characters") << "abc" << Marker + "5a5958";
    QTest::newRow("empty") << "" << Marker;
    // ';' is the key itself and gives 00; 0xE9 gives d2, above 0x7F.
    QTest::newRow("key byte and latin-1") << QString::fromLatin1(";\xe9") << Marker + "00d2";
    QTest::newRow("digits XOR to letters") << "q0" << Marker + "4a0b";
}

void TestStore::passwordRoundTrip()
{
    QFETCH(QString, password);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    QSettings s(dir.filePath("t.conf"), QSettings::IniFormat);
    StoreServerPassword(s, "server1", password);
    QCOMPARE(ReadSetting(s, "server1", Store::PasswordKey), stored);
    QCOMPARE(ReadServerPassword(s, "server1"), password);
    // And as read back from the file by a fresh store.
    QSettings again(dir.filePath("t.conf"), QSettings::IniFormat);
    QCOMPARE(ReadServerPassword(again, "server1"), password);
}

void TestStore::readsStoredPasswordForms_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("password");
    QTest::newRow("written by hand") << "hunter2" << "hunter2";
    QTest::newRow("absent") << QString() << "";
    QTest::newRow("upper-case digits") << Marker + "5A5958" << "abc";
    // An odd length ends with a single digit read alone: 0x5 ^ 0x3B = '>'.
    QTest::newRow("odd length") << Marker + "5a5" << "a>";
    // Not the scrambled form after all: the value is used as it stands.
    QTest::newRow("marker with non-hex rest") << Marker + "zz!" << Marker + "zz!";
    QTest::newRow("marker inside, not at start") << "x" + Marker + "5a" << "x" + Marker + "5a";
}

void TestStore::readsStoredPasswordForms()
{
    QFETCH(QString, stored);
    QFETCH(QString, password);
    QTemporaryDir dir;
    QSettings s(dir.filePath("t.conf"), QSettings::IniFormat);
    if (!stored.isNull())
        WriteSetting(s, "server4", Store::PasswordKey, stored);
    QCOMPARE(ReadServerPassword(s, "server4"), password);
}

void TestStore::blankAddressFallsBackToName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absent") << QString() << "mail.example.com";
    QTest::newRow("empty") << "" << "mail.example.com";
    QTest::newRow("only spaces") << "   " << "mail.example.com";
    QTest::newRow("given, untrimmed") << " 10.0.0.7 " << " 10.0.0.7 ";
}

void TestStore::blankAddressFallsBackToName()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QSettings s(dir.filePath("t.conf"), QSettings::IniFormat);
    WriteSetting(s, "server2", Store::NameKey, "mail.example.com");
    if (!address.isNull())
        WriteSetting(s, "server2", Store::AddressKey, address);
    QCOMPARE(GetServerAddress(s, "server2"), expected);
}

void TestStore::textWithCommaReadsBackAsWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    {
        QSettings s(path, QSettings::IniFormat);
        WriteSetting(s, "server1", Store::NameKey, "Mail, Inc.");
        WriteSetting(s, "server1", Store::PasswordKey, "a,b");
    }
    QSettings s(path, QSettings::IniFormat);
    QCOMPARE(ReadSetting(s, "server1", Store::NameKey), QString("Mail, Inc."));
    QCOMPARE(ReadServerPassword(s, "server1"), QString("a,b"));
}

void TestStore::sshRouteRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    QSettings s(path, QSettings::IniFormat);
    QVERIFY(WriteServerRecord(s, "server1", {"mail", "127.0.0.1", "6017", "admin", "pw"}));
    // A record written before the SSH keys is a plain connection.
    QVERIFY(!ReadSshRoute(s, "server1").isSet());

    QVERIFY(WriteSshRoute(s, "server1", {" gate.example.org ", "2222", "ops", "/k/id,ed25519"}));
    {
        QSettings again(path, QSettings::IniFormat);
        const SshRoute r = ReadSshRoute(again, "server1");
        QCOMPARE(r.host, QString("gate.example.org"));
        QCOMPARE(r.port, QString("2222"));
        QCOMPARE(r.user, QString("ops"));
        QCOMPARE(r.identity, QString("/k/id,ed25519"));  // a comma in a path reads back as written
    }
    // Saving the panel's fields keeps the SSH keys; an unset route takes all four away again.
    QVERIFY(WriteServerRecord(s, "server1", {"mail", "127.0.0.1", "6017", "admin", "pw2"}));
    QVERIFY(ReadSshRoute(s, "server1").isSet());
    QVERIFY(WriteSshRoute(s, "server1", {"", "2222", "ops", ""}));
    s.beginGroup("server1");
    const QStringList keys = s.childKeys();
    s.endGroup();
    for (const QString& key : {Store::SshHostKey, Store::SshPortKey, Store::SshUserKey, Store::SshIdentityKey})
        QVERIFY2(!keys.contains(key), qPrintable(key));
    QCOMPARE(ReadSetting(s, "server1", Store::AddressKey), QString("127.0.0.1"));
}

// The one builder of a script's login and the one lister of the stored servers: a password kept in
// the keyring is none yet (the script waits for it, it never logs in with ""), a blank name reads as
// the tree shows it, and only active records in slot order are listed.
void TestStore::storedLoginAndServers()
{
    QTemporaryDir dir;
    QSettings s(dir.filePath("t.conf"), QSettings::IniFormat);
    QVERIFY(WriteServerRecord(s, "server1", {"one", "10.0.0.1", "4000", "admin", "pw1"}));
    QVERIFY(WriteServerRecord(s, "server2", {"", "10.0.0.2", "4001", "root", "unused"}, true));
    QVERIFY(WriteServerRecord(s, "server4", {"four", "", "4003", "admin", ""}));
    QVERIFY(WriteSetting(s, "server4", Store::ActiveKey, "False"));
    QVERIFY(WriteSetting(s, Store::ServersSection, Store::ServerCountKey, "4"));
    QVERIFY(WriteSshRoute(s, "server1", SshRoute{"jump", "2222", "me", ""}));

    const ServerLogin file = StoredLogin(s, "server1");
    QCOMPARE(file.host, QString("10.0.0.1"));
    QCOMPARE(file.port, QString("4000"));
    QCOMPARE(file.login, QString("admin"));
    QVERIFY(file.password.has_value());
    QCOMPARE(*file.password, QString("pw1"));
    QCOMPARE(file.ssh.host, QString("jump"));

    const ServerLogin keyring = StoredLogin(s, "server2");
    QCOMPARE(keyring.login, QString("root"));
    QVERIFY(!keyring.password.has_value());

    const QList<ActiveServer> servers = ActiveServers(s);
    QCOMPARE(servers.size(), 2);
    QCOMPARE(servers.at(0).section, QString("server1"));
    QCOMPARE(servers.at(0).name, QString("one"));
    QCOMPARE(servers.at(1).section, QString("server2"));
    QCOMPARE(servers.at(1).name, QString("invalid server"));
}

void TestStore::readsTruthValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("truth");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("any case") << "tRUE" << true;
    QTest::newRow("non-zero number") << "-1" << true;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("absent") << QString() << false;
    // Neither a truth value nor a number: not active.
    QTest::newRow("yes") << "yes" << false;
    QTest::newRow("on") << "on" << false;
}

void TestStore::readsTruthValues()
{
    QFETCH(QString, value);
    QFETCH(bool, truth);
    QCOMPARE(ReadTruth(value), truth);
}

void TestStore::readsWholeNumbers_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("spaces around") << " 3 " << 3;
    QTest::newRow("not a number") << "three" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("fraction") << "2.5" << 0;
}

void TestStore::readsWholeNumbers()
{
    QFETCH(QString, value);
    QFETCH(int, number);
    QCOMPARE(ReadWholeNumber(value, 0), number);
}

static QFile::Permissions OthersAndGroup(const QString& path)
{
    return QFile::permissions(path)
           & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
              | QFile::WriteOther | QFile::ExeOther);
}

void TestStore::settingsFileIsOwnerOnly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    QSettings s(path, QSettings::IniFormat);
    StoreServerPassword(s, "server1", "secret");
    QVERIFY(QFile::exists(path));
    QCOMPARE(OthersAndGroup(path), QFile::Permissions());

    // A file made readable by others is kept owner-only from its next write on.
    QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ReadGroup));
    DeleteServerRecord(s, "server1");
    QCOMPARE(OthersAndGroup(path), QFile::Permissions());
}

void TestStore::userStoreIsOwnerOnly()
{
    std::unique_ptr<QSettings> s = OpenUserSettings();
    QVERIFY(s->fileName().startsWith(home_.path()));
    QVERIFY(s->fileName().endsWith("Tazel Administrator/Tazel Administrator.conf"));
    WriteSetting(*s, Store::ServersSection, Store::ServerCountKey, "1");
    StoreServerPassword(*s, "server1", "secret");
    QCOMPARE(OthersAndGroup(s->fileName()), QFile::Permissions());
    QCOMPARE(OthersAndGroup(QFileInfo(s->fileName()).absolutePath()), QFile::Permissions());
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
