#include <QtTest>

#include "protocol/Protocol.h"

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void requestLines_data();
    void requestLines();
    void refusesUnsendableValues_data();
    void refusesUnsendableValues();
    void userVarsSet_data();
    void userVarsSet();
    void splitFields_data();
    void splitFields();
    void dataLineFieldsOnBytes();
    void md5Digests_data();
    void md5Digests();
    void loginLines_data();
    void loginLines();
    void greetings_data();
    void greetings();
    void ports_data();
    void ports();
    void latin1Codec();
};

void TestProtocol::requestLines_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no arguments") << "domainlist" << QStringList{} << QByteArray("\"domainlist\"\r\n");
    QTest::newRow("userlist") << "userlist" << QStringList{"example.com"}
                              << QByteArray("\"userlist\"\t\"example.com\"\r\n");
    QTest::newRow("useradd") << "useradd" << QStringList{"d.com", "bob", "Pw", "U"}
                             << QByteArray("\"useradd\"\t\"d.com\"\t\"bob\"\t\"Pw\"\t\"U\"\r\n");
    QTest::newRow("empty value") << "userpasswd" << QStringList{"d", "a", ""}
                                 << QByteArray("\"userpasswd\"\t\"d\"\t\"a\"\t\"\"\r\n");
    QTest::newRow("latin-1 value") << "aliasadd" << QStringList{"d", QString::fromUtf8("j\u00fcrgen"), "x@d"}
                                   << QByteArray("\"aliasadd\"\t\"d\"\t\"j\xfcrgen\"\t\"x@d\"\r\n");
    // Next to the control characters refused: "~" (0x7E) and the no-break space (0xA0) go out.
    QTest::newRow("edges of the controls") << "aliasadd" << QStringList{"d", QString("a~") + QChar(0xA0) + "b", "x@d"}
                                           << QByteArray("\"aliasadd\"\t\"d\"\t\"a~\xa0\x62\"\t\"x@d\"\r\n");
}

void TestProtocol::requestLines()
{
    QFETCH(QString, word);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, bytes);
    const auto line = ComposeRequest(word, args);
    QVERIFY(line);
    QCOMPARE(*line, bytes);
}

void TestProtocol::refusesUnsendableValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("double quote") << "x\"\t\"y";
    QTest::newRow("tab") << "a\tb";
    QTest::newRow("CR LF injection") << "pw\r\n\"domaindel\"\t\"example.com\"";
    QTest::newRow("lone LF") << "a\nb";
    QTest::newRow("NUL") << QString(QChar(0)) + "a";
    QTest::newRow("outside latin-1") << QString::fromUtf8("\u20ac100");
    QTest::newRow("DEL") << QString("a") + QChar(0x7F) + "b";
    QTest::newRow("C1 first (0x80)") << QString("a") + QChar(0x80);
    QTest::newRow("C1 NEL (0x85)") << QString(QChar(0x85)) + "b";
    QTest::newRow("C1 last (0x9F)") << QString("x") + QChar(0x9F) + "y";
}

void TestProtocol::refusesUnsendableValues()
{
    QFETCH(QString, value);
    QVERIFY(!IsSendable(value));
    QVERIFY(!ComposeRequest("useradd", {"d.com", value, "p", "U"}));
    QVERIFY(!ComposeRequest("useradd", {"d.com", "bob", value, "U"}));
    QVERIFY(!ComposeUserVarsSet("d", "a", {"RealName", value}));
    QVERIFY(!ComposeLogin("admin", value, "", 0.7));
    QCOMPARE(*FirstUnsendable({"ok", value, "fine"}), value);
}

void TestProtocol::userVarsSet_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no pairs") << QStringList{} << QByteArray("\"uservarsset\"\t\"d\"\t\"a\"\r\n");
    QTest::newRow("two pairs") << QStringList{"RealName", "Bob B", "ClosedML", "1"}
                               << QByteArray("\"uservarsset\"\t\"d\"\t\"a\"\t\"RealName\"\t\"Bob B\"\t"
                                             "\"ClosedML\"\t\"1\"\r\n");
    QTest::newRow("value reads !EOF") << QStringList{"HomePage", "!EOF"}
                                      << QByteArray("\"uservarsset\"\t\"d\"\t\"a\"\t\"HomePage\"\t\"!EOF\"\r\n");
}

void TestProtocol::userVarsSet()
{
    QFETCH(QStringList, pairs);
    QFETCH(QByteArray, bytes);
    QCOMPARE(*ComposeUserVarsSet("d", "a", pairs), bytes);
}

void TestProtocol::splitFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty text") << "" << QStringList{""};
    QTest::newRow("one field") << "abc" << QStringList{"abc"};
    QTest::newRow("three fields") << "a\tb\tc" << QStringList{"a", "b", "c"};
    QTest::newRow("two tabs in a row") << "a\t\tc" << QStringList{"a", "", "c"};
    QTest::newRow("tab at the end") << "a\t" << QStringList{"a", ""};
    QTest::newRow("spaces trimmed, inner kept") << "  a b\t c  " << QStringList{"a b", " c"};
    QTest::newRow("tabs at the ends stay") << "\ta\t" << QStringList{"", "a", ""};
}

void TestProtocol::splitFields()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(SplitFields(text, "\t"), fields);
}

// The account list is read from the bytes: for every line the byte reading gives the same fields
// as the string reading when the line has the fields asked for, and refuses it otherwise.
void TestProtocol::dataLineFieldsOnBytes()
{
    const QStringList lines = {
        "\"d\"\t\"bob\"\t\"pw\"\t\"U\"", "d\tbob\tpw\tU", "  \"d\"\t\"bob\"\t\"p w\"\t\"U\"  ",
        "\"d\"\t\"b\"ob\"\t\"\"\t\"U\"", "\"\t\"\t\"\t\"", "\t\t\t", "d\tbob\tpw", "d\tbob\tpw\tU\t",
        "d\tbob\tpw\tU\tx", "", " ", "\"", "d\t\"\"\"\tpw\tUM", "\td\tbob\tpw", QString::fromLatin1("d\tm\xfcller\t\xa7\tM"),
    };
    for (const QString& line : lines) {
        const QByteArray bytes = line.toLatin1();
        const QStringList expected = DataLineFields(line);
        QByteArrayView f[4];
        const bool four = DataLineFields(bytes, f, 4);
        QCOMPARE(four, expected.size() == 4);
        for (int i = 0; four && i < 4; ++i)
            QCOMPARE(QString::fromLatin1(f[i]), expected.at(i));
    }
}

void TestProtocol::md5Digests_data()
{
    // The test suite of RFC 1321.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << "" << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("a") << "a" << "0cc175b9c0f1b6a831c399e269772661";
    QTest::newRow("abc") << "abc" << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("message digest") << "message digest" << "f96b697d7cb7938d525a2f31aaf161d0";
    QTest::newRow("alphabet") << "abcdefghijklmnopqrstuvwxyz" << "c3fcd3d76192e4007dfb496cca67e13b";
    QTest::newRow("alphanumeric")
        << "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
        << "d174ab98d277d9f5a5611c2c9f419d9f";
    QTest::newRow("digits")
        << "12345678901234567890123456789012345678901234567890123456789012345678901234567890"
        << "57edf4a22be3c955ac49da2e2107b67a";
}

void TestProtocol::md5Digests()
{
    QFETCH(QString, text);
    QFETCH(QString, digest);
    QCOMPARE(MD5Hex(text), digest);
}

void TestProtocol::loginLines_data()
{
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<double>("version");
    QTest::addColumn<QByteArray>("bytes");
    const QString ts = "<1234.5678@mail.example.com>";
    const QByteArray md5 = MD5Hex(ts + "secret").toLatin1();
    QTest::newRow("0.66 with timestamp: MD5") << ts << 0.66 << QByteArray("\"admin\"\t\"#" + md5 + "\"\r\n");
    QTest::newRow("1.2 with timestamp: MD5") << ts << 1.2 << QByteArray("\"admin\"\t\"#" + md5 + "\"\r\n");
    QTest::newRow("0.65 with timestamp: plain") << ts << 0.65 << QByteArray("\"admin\"\t\"secret\"\r\n");
    QTest::newRow("no timestamp: plain") << "" << 0.9 << QByteArray("\"admin\"\t\"secret\"\r\n");
    QTest::newRow("blank timestamp: plain") << "   " << 0.9 << QByteArray("\"admin\"\t\"secret\"\r\n");
}

void TestProtocol::loginLines()
{
    QFETCH(QString, timestamp);
    QFETCH(double, version);
    QFETCH(QByteArray, bytes);
    QCOMPARE(*ComposeLogin("admin", "secret", timestamp, version), bytes);
}

void TestProtocol::greetings_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("version");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("status");
    QTest::newRow("full") << "+00000 <1.2@host> Tazel 0.66 (Linux) CTRL Server; Mon"
                          << 0.66 << "<1.2@host>" << "(Linux)" << "Tazel 0.66 (Linux) ";
    QTest::newRow("no timestamp") << "+ Tazel 1.5 (Win32) ready" << 1.5 << "" << "(Win32)"
                                  << "Tazel 1.50 (Win32) ";
    QTest::newRow("no platform") << "+ <ts> Tazel 0.70 ready" << 0.70 << "<ts>" << "(Unknown)"
                                 << "Tazel 0.70 (Unknown) ";
    QTest::newRow("no product word") << "+ hello <ts> (X)" << 0.0 << "<ts>" << "(X)" << "Tazel 0.00 (X) ";
    QTest::newRow("version with suffix") << "+ Tazel 0.66-pre3 (L)" << 0.66 << "" << "(L)"
                                         << "Tazel 0.66 (L) ";
    QTest::newRow("product word ends the line") << "+ (L) Tazel " << 0.0 << "" << "(L)" << "Tazel 0.00 (L) ";
    QTest::newRow("unclosed <") << "+ <1.2@host Tazel 0.9 (L)" << 0.9 << "" << "(L)" << "Tazel 0.90 (L) ";
    QTest::newRow("unclosed (") << "+ <t> Tazel 0.9 (Linux" << 0.9 << "<t>" << "(Unknown)"
                                << "Tazel 0.90 (Unknown) ";
    QTest::newRow("> before <") << "+ a> <b> Tazel 1 (x)" << 1.0 << "<b>" << "(x)" << "Tazel 1.00 (x) ";
}

void TestProtocol::greetings()
{
    QFETCH(QString, line);
    QFETCH(double, version);
    QFETCH(QString, timestamp);
    QFETCH(QString, platform);
    QFETCH(QString, status);
    const Greeting g = ParseGreeting(line);
    QCOMPARE(g.version, version);
    QCOMPARE(g.timestamp, timestamp);
    QCOMPARE(g.platform, platform);
    QCOMPARE(GreetingStatusText(g.version, g.platform), status);
}

void TestProtocol::ports_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("empty") << "" << 6017;
    QTest::newRow("spaces") << "   " << 6017;
    QTest::newRow("letters") << "abc" << 6017;
    QTest::newRow("25 with spaces") << " 25 " << 25;
    QTest::newRow("too large") << "70000" << 6017;
    QTest::newRow("zero") << "0" << 6017;
}

void TestProtocol::ports()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(int(PortFromText(text)), port);
}

void TestProtocol::latin1Codec()
{
    const QByteArray all = [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i)
            b.append(char(i));
        return b;
    }();
    QCOMPARE(Wire::encode(Wire::decode(all)), all);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
