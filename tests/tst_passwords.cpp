// Record passwords over a keyring in memory: where saving puts a password, reading it back from
// either place, moving the settings file's passwords into the keyring, removing a record, and
// what each keyring failure (none, locked, refused, another error) leaves behind. Runs with no
// widget, as the command-line tool does.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <optional>

#include "store/RecordPasswords.h"
#include "store/ServerStore.h"
#include "tests/FakePasswordStore.h"

Q_DECLARE_METATYPE(PasswordResult::Kind)

class TestPasswords : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void saveGoesIntoTheKeyringAndNotTheFile();
    void saveWhenTheKeyringFails_data();
    void saveWhenTheKeyringFails();
    void saveAsksNothingOfAKeyringWhenTheFileCannotBeWritten();
    void readsFromWhereTheRecordSays_data();
    void readsFromWhereTheRecordSays();
    void moveTakesEveryPasswordTheFileHolds();
    void moveStopsAtTheFirstFailure_data();
    void moveStopsAtTheFirstFailure();
    void removeTakesTheEntryFirst_data();
    void removeTakesTheEntryFirst();
    void answersAfterTheOwnerHasGoneAreDropped();

private:
    QByteArray fileBytes();
    template <typename T, typename Call>
    T wait(Call call);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> s_;
    FakeKeyring keyring_;
    std::unique_ptr<FakePasswordStore> store_;
};

void TestPasswords::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    s_ = std::make_unique<QSettings>(dir_->filePath("t.conf"), QSettings::IniFormat);
    keyring_ = FakeKeyring();
    store_ = std::make_unique<FakePasswordStore>(keyring_);
}

void TestPasswords::cleanup()
{
    s_.reset();
    dir_.reset();
}

QByteArray TestPasswords::fileBytes()
{
    s_->sync();
    QFile f(s_->fileName());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs an asynchronous call and waits for its answer.
template <typename T, typename Call>
T TestPasswords::wait(Call call)
{
    std::optional<T> got;
    call([&got](const T& r) { got = r; });
    if (!QTest::qWaitFor([&got] { return got.has_value(); }, 5000))
        qFatal("no answer from the password store");
    return *got;
}

static ServerRecord Record(const QString& password)
{
    return {QStringLiteral("mail"), QStringLiteral("mail.example.com"), QStringLiteral("6017"),
            QStringLiteral("admin"), password};
}

void TestPasswords::saveGoesIntoTheKeyringAndNotTheFile()
{
    RecordPasswords p(*s_, store_.get());
    const QString password = QString::fromLatin1("T0p s\xe9kret");
    const auto saved = wait<RecordPasswords::Saved>([&](auto done) { p.save("server3", Record(password), done); });
    QVERIFY(saved.inKeyring());
    QVERIFY(saved.written);
    QCOMPARE(keyring_.entries.value("server3"), password);

    QSettings again(s_->fileName(), QSettings::IniFormat);
    QCOMPARE(ReadSetting(again, "server3", Store::PasswordStoreKey), QString("keyring"));
    QCOMPARE(ReadSetting(again, "server3", Store::PasswordKey), QString());
    QCOMPARE(ReadSetting(again, "server3", Store::NameKey), QString("mail"));
    const QByteArray file = fileBytes();
    QVERIFY(!file.contains("s\xe9kret"));
    QVERIFY(!file.contains(ScramblePassword(password).toLatin1()));
    QVERIFY(!file.contains("tzcrypt"));

    const auto read = wait<PasswordResult>([&](auto done) { p.read("server3", done); });
    QVERIFY(read.ok());
    QCOMPARE(read.password, password);
}

void TestPasswords::saveWhenTheKeyringFails_data()
{
    QTest::addColumn<bool>("inKeyring");  // the record's password is in the keyring already
    QTest::addColumn<bool>("withStore");  // false: the program runs without a keyring
    QTest::addColumn<PasswordResult::Kind>("answer");
    QTest::addColumn<PasswordResult::Kind>("reported");
    QTest::addColumn<bool>("written");
    // No keyring: a record kept in the file keeps the scrambled form, as before keyrings; one kept
    // in the keyring is not saved (its password never moves back into the file). Any other
    // failure: nothing changes.
    QTest::newRow("file record, no keyring") << false << true << PasswordResult::NoKeyring << PasswordResult::NoKeyring << true;
    QTest::newRow("file record, run without one") << false << false << PasswordResult::Done << PasswordResult::NoKeyring << true;
    QTest::newRow("no keyring") << true << true << PasswordResult::NoKeyring << PasswordResult::NoAnswer << false;
    QTest::newRow("run without one") << true << false << PasswordResult::Done << PasswordResult::NoAnswer << false;
    QTest::newRow("did not answer") << true << true << PasswordResult::NoAnswer << PasswordResult::NoAnswer << false;
    QTest::newRow("locked") << true << true << PasswordResult::Locked << PasswordResult::Locked << false;
    QTest::newRow("refused") << true << true << PasswordResult::Refused << PasswordResult::Refused << false;
    QTest::newRow("other error") << true << true << PasswordResult::OtherError << PasswordResult::OtherError << false;
}

void TestPasswords::saveWhenTheKeyringFails()
{
    QFETCH(bool, inKeyring);
    QFETCH(bool, withStore);
    QFETCH(PasswordResult::Kind, answer);
    QFETCH(PasswordResult::Kind, reported);
    QFETCH(bool, written);
    WriteServerRecord(*s_, "server1", Record("old"), inKeyring);
    if (inKeyring)
        keyring_.entries["server1"] = "old";
    const QByteArray before = fileBytes();
    keyring_.answer = answer;

    RecordPasswords p(*s_, withStore ? store_.get() : nullptr);
    const auto saved = wait<RecordPasswords::Saved>([&](auto done) { p.save("server1", Record("new"), done); });
    QCOMPARE(saved.keyring.kind, reported);
    QCOMPARE(saved.written, written);
    QCOMPARE(keyring_.entries.value("server1"), inKeyring ? QString("old") : QString());
    if (written) {
        QVERIFY(!PasswordInKeyring(*s_, "server1"));
        QCOMPARE(ReadSetting(*s_, "server1", Store::PasswordKey), Store::SecureMarker + ScramblePassword("new"));
        QVERIFY(!s_->contains("server1/" + Store::PasswordStoreKey));
    } else {
        QCOMPARE(fileBytes(), before);
        QVERIFY(KeyringProblemText(saved.keyring).contains("did not answer") || reported != PasswordResult::NoAnswer);
    }
}

void TestPasswords::saveAsksNothingOfAKeyringWhenTheFileCannotBeWritten()
{
    // A folder where the file should be: no one can write it, root included.
    QVERIFY(QDir(dir_->path()).mkdir("blocked.conf"));
    QSettings blocked(dir_->filePath("blocked.conf"), QSettings::IniFormat);
    RecordPasswords p(blocked, store_.get());
    const auto saved = wait<RecordPasswords::Saved>([&](auto done) { p.save("server1", Record("new"), done); });
    QVERIFY(!saved.written);
    QVERIFY(keyring_.calls.isEmpty());
    QVERIFY(keyring_.entries.isEmpty());
}

void TestPasswords::readsFromWhereTheRecordSays_data()
{
    QTest::addColumn<QString>("serverPass");    // as the file holds it
    QTest::addColumn<QString>("passwordStore"); // empty: no such key
    QTest::addColumn<bool>("withKeyring");
    QTest::addColumn<PasswordResult::Kind>("answer");
    QTest::addColumn<PasswordResult::Kind>("kind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("calls");
    const QString scrambled = Store::SecureMarker + ScramblePassword("filed");
    const QStringList none, asked{"read server1"};
    // A record without the key reads as it always did, and asks no keyring.
    QTest::newRow("scrambled") << scrambled << "" << true << PasswordResult::Done << PasswordResult::Done << "filed" << none;
    QTest::newRow("plain") << "plain" << "" << true << PasswordResult::Done << PasswordResult::Done << "plain" << none;
    QTest::newRow("in keyring") << "" << "keyring" << true << PasswordResult::Done << PasswordResult::Done << "kept" << asked;
    QTest::newRow("any letter case") << "" << "Keyring" << true << PasswordResult::Done << PasswordResult::Done << "kept" << asked;
    QTest::newRow("locked") << "" << "keyring" << true << PasswordResult::Locked << PasswordResult::Locked << "" << asked;
    QTest::newRow("refused") << "" << "keyring" << true << PasswordResult::Refused << PasswordResult::Refused << "" << asked;
    QTest::newRow("no keyring running") << "" << "keyring" << true << PasswordResult::NoKeyring << PasswordResult::NoKeyring << "" << asked;
    // Never the empty server_pass as if it were the password.
    QTest::newRow("no keyring at all") << "" << "keyring" << false << PasswordResult::Done << PasswordResult::NoKeyring << "" << none;
}

void TestPasswords::readsFromWhereTheRecordSays()
{
    QFETCH(QString, serverPass);
    QFETCH(QString, passwordStore);
    QFETCH(bool, withKeyring);
    QFETCH(PasswordResult::Kind, answer);
    QFETCH(PasswordResult::Kind, kind);
    QFETCH(QString, password);
    QFETCH(QStringList, calls);
    WriteSetting(*s_, "server1", Store::PasswordKey, serverPass);
    if (!passwordStore.isEmpty())
        WriteSetting(*s_, "server1", Store::PasswordStoreKey, passwordStore);
    keyring_.entries["server1"] = "kept";
    keyring_.answer = answer;
    RecordPasswords p(*s_, withKeyring ? store_.get() : nullptr);
    const auto r = wait<PasswordResult>([&](auto done) { p.read("server1", done); });
    QCOMPARE(r.kind, kind);
    QCOMPARE(r.password, password);
    QCOMPARE(keyring_.calls, calls);
}

void TestPasswords::moveTakesEveryPasswordTheFileHolds()
{
    WriteServerRecord(*s_, "server1", Record("one"));
    WriteSetting(*s_, "server2", Store::PasswordKey, "plain two");  // written by other means
    WriteServerRecord(*s_, "server10", Record("ten"));
    WriteServerRecord(*s_, "server4", Record("four"), true);  // in the keyring already
    keyring_.entries["server4"] = "four";
    WriteSetting(*s_, "Settings", "FormLeft", "100");

    RecordPasswords p(*s_, store_.get());
    const auto m = wait<RecordPasswords::Moved>([&](auto done) { p.moveAll(done); });
    QCOMPARE(m.moved, 3);
    QCOMPARE(m.left, 0);
    QVERIFY(m.failure.ok());
    QVERIFY(m.written);
    QCOMPARE(keyring_.calls, (QStringList{"write server1", "write server2", "write server10"}));
    QCOMPARE(keyring_.entries, (QMap<QString, QString>{
                                   {"server1", "one"}, {"server2", "plain two"}, {"server4", "four"}, {"server10", "ten"}}));
    for (const QString section : {"server1", "server2", "server4", "server10"}) {
        QVERIFY(PasswordInKeyring(*s_, section));
        QCOMPARE(ReadSetting(*s_, section, Store::PasswordKey), QString());
    }
    const QByteArray file = fileBytes();
    QVERIFY(!file.contains("tzcrypt"));
    QVERIFY(!file.contains("plain two"));

    // Nothing left to move: no keyring call, nothing moved.
    keyring_.calls.clear();
    const auto again = wait<RecordPasswords::Moved>([&](auto done) { p.moveAll(done); });
    QCOMPARE(again.moved, 0);
    QCOMPARE(again.left, 0);
    QVERIFY(keyring_.calls.isEmpty());
}

void TestPasswords::moveStopsAtTheFirstFailure_data()
{
    QTest::addColumn<PasswordResult::Kind>("answer");
    QTest::newRow("no keyring") << PasswordResult::NoKeyring;
    QTest::newRow("locked") << PasswordResult::Locked;
    QTest::newRow("refused") << PasswordResult::Refused;
    QTest::newRow("other error") << PasswordResult::OtherError;
}

void TestPasswords::moveStopsAtTheFirstFailure()
{
    QFETCH(PasswordResult::Kind, answer);
    WriteServerRecord(*s_, "server1", Record("one"));
    WriteServerRecord(*s_, "server2", Record("two"));
    WriteServerRecord(*s_, "server3", Record("three"));
    keyring_.answerFor["server2"] = answer;
    RecordPasswords p(*s_, store_.get());
    const auto m = wait<RecordPasswords::Moved>([&](auto done) { p.moveAll(done); });
    QCOMPARE(m.moved, 1);
    QCOMPARE(m.left, 2);
    QCOMPARE(m.failure.kind, answer);
    QVERIFY(PasswordInKeyring(*s_, "server1"));
    for (const QString section : {"server2", "server3"}) {
        QVERIFY(!PasswordInKeyring(*s_, section));
        QVERIFY(ReadSetting(*s_, section, Store::PasswordKey).startsWith(Store::SecureMarker));
    }
    QCOMPARE(ReadServerPassword(*s_, "server3"), QString("three"));
    QCOMPARE(keyring_.calls, (QStringList{"write server1", "write server2"}));
}

void TestPasswords::removeTakesTheEntryFirst_data()
{
    QTest::addColumn<bool>("inKeyring");
    QTest::addColumn<bool>("hasEntry");
    QTest::addColumn<PasswordResult::Kind>("answer");
    QTest::addColumn<bool>("recordGone");
    QTest::addColumn<bool>("entryGone");
    QTest::newRow("in keyring") << true << true << PasswordResult::Done << true << true;
    QTest::newRow("entry already gone") << true << false << PasswordResult::Done << true << true;
    QTest::newRow("in the file") << false << true << PasswordResult::Done << true << false;  // no keyring asked
    // With no keyring running the record goes; its entry stays where no one can reach it now.
    QTest::newRow("no keyring") << true << true << PasswordResult::NoKeyring << true << false;
    QTest::newRow("locked") << true << true << PasswordResult::Locked << false << false;
    QTest::newRow("refused") << true << true << PasswordResult::Refused << false << false;
}

void TestPasswords::removeTakesTheEntryFirst()
{
    QFETCH(bool, inKeyring);
    QFETCH(bool, hasEntry);
    QFETCH(PasswordResult::Kind, answer);
    QFETCH(bool, recordGone);
    QFETCH(bool, entryGone);
    WriteServerRecord(*s_, "server1", Record("one"), inKeyring);
    WriteServerRecord(*s_, "server2", Record("two"), true);
    keyring_.entries["server2"] = "two";
    if (hasEntry)
        keyring_.entries["server1"] = "one";
    keyring_.answer = answer;
    RecordPasswords p(*s_, store_.get());
    const auto r = wait<RecordPasswords::Removed>([&](auto done) { p.remove("server1", done); });
    QCOMPARE(r.written, recordGone);
    QCOMPARE(!s_->childGroups().contains("server1"), recordGone);
    QCOMPARE(!keyring_.entries.contains("server1"), entryGone);
    QCOMPARE(keyring_.calls, inKeyring ? QStringList{"remove server1"} : QStringList());
    // The other record and its entry are untouched.
    QCOMPARE(keyring_.entries.value("server2"), QString("two"));
    QVERIFY(PasswordInKeyring(*s_, "server2"));
}

void TestPasswords::answersAfterTheOwnerHasGoneAreDropped()
{
    keyring_.hold = true;
    bool called = false;
    {
        RecordPasswords p(*s_, store_.get());
        p.save("server1", Record("x"), [&called](const RecordPasswords::Saved&) { called = true; });
    }
    keyring_.release();
    QVERIFY(!called);
    QVERIFY(!s_->childGroups().contains("server1"));
}

QTEST_GUILESS_MAIN(TestPasswords)
#include "tst_passwords.moc"
