// The text of a custom domain file as the editors hold it: a download split into the editors, the
// upload body composed back from them, and the text that must never be uploaded.

#include <QtTest>

#include "protocol/FileText.h"
#include "tests/FileLines.h"

class TestFileText : public QObject {
    Q_OBJECT
private slots:
    void splitsDownloadedLines_data();
    void splitsDownloadedLines();
    void composesUploadBody_data();
    void composesUploadBody();
    void downloadComposesBackUnchanged();
    void roundTripOverGeneratedFiles();
    void finalLineEnd();
    void refusesUnsendableEditors_data();
    void refusesUnsendableEditors();
};

void TestFileText::splitsDownloadedLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("redirects");
    QTest::addColumn<QStringList>("lredirects");
    QTest::addColumn<QString>("advanced");

    QTest::newRow("redirect fields become items")
        << QStringList{"\"redirect\"\t\"a@x.com\"\t\"b@y.com\""} << QStringList{"a@x.com", "b@y.com"}
        << QStringList{} << QString();
    // Only a line in the form the editors write back goes to a list; any other stays as it came.
    QTest::newRow("keyword in another case stays an advanced line")
        << QStringList{"\"REDIRECT\"\t\"a@x.com\"", "\"lredirect\"\t\"c@z.com\""}
        << QStringList{} << QStringList{"c@z.com"} << QString("\"REDIRECT\",\"a@x.com\"\n");
    QTest::newRow("redirect without targets stays an advanced line")
        << QStringList{"\"redirect\""} << QStringList{} << QStringList{} << QString("\"redirect\"\n");
    QTest::newRow("a second redirect line stays a line of its own")
        << QStringList{"\"redirect\"\t\"a\"", "\"redirect\"\t\"b\"\t\"c\""}
        << QStringList{"a"} << QStringList{} << QString("\"redirect\",\"b\",\"c\"\n");
    QTest::newRow("unquoted redirect stays an advanced line")
        << QStringList{"redirect\ta@x.com"} << QStringList{} << QStringList{} << QString("redirect,a@x.com\n");
    QTest::newRow("other keywords kept whole, quoted, TAB shown as comma")
        << QStringList{"\"external\"\t\"0\"\t\"60\"\t\"/bin/filter\"", "\"wait\"\t\"5\""} << QStringList{}
        << QStringList{} << QString("\"external\",\"0\",\"60\",\"/bin/filter\"\n\"wait\",\"5\"\n");
    QTest::newRow("mailbox is an advanced line in a custom domain file")
        << QStringList{"\"mailbox\""} << QStringList{} << QStringList{} << QString("\"mailbox\"\n");
}

void TestFileText::splitsDownloadedLines()
{
    QFETCH(QStringList, lines);
    FileEditors editors;
    for (const QString& l : lines)
        AddFileLine(editors, l, false);
    QTEST(editors.redirects, "redirects");
    QTEST(editors.lredirects, "lredirects");
    QTEST(editors.advanced, "advanced");
    QVERIFY(!editors.mailbox);
}

void TestFileText::composesUploadBody_data()
{
    QTest::addColumn<QStringList>("redirects");
    QTest::addColumn<QStringList>("lredirects");
    QTest::addColumn<QString>("advanced");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("four-line example")
        << QStringList{"A", "B"} << QStringList{"C"} << QString("\"wait\",\"5\"\n")
        << QByteArray("\"redirect\"\t\"A\"\t\"B\"\r\n\"lredirect\"\t\"C\"\r\n\"wait\"\t\"5\"\r\n.\r\n");
    QTest::newRow("all empty sends the dot alone")
        << QStringList{} << QStringList{} << QString() << QByteArray(".\r\n");
    QTest::newRow("spaces only count as empty")
        << QStringList{} << QStringList{} << QString("   ") << QByteArray(".\r\n");
    // A new custom domain is created with this text; an empty upload would remove it instead.
    QTest::newRow("a single line end is a file of one empty line")
        << QStringList{} << QStringList{} << QString("\n") << QByteArray("\r\n.\r\n");
    QTest::newRow("missing final line end is added")
        << QStringList{} << QStringList{} << QString("x") << QByteArray("x\r\n.\r\n");
    QTest::newRow("every box line ends CR LF")
        << QStringList{} << QStringList{} << QString("\"a\",\"1\"\n\"b\",\"2\"")
        << QByteArray("\"a\"\t\"1\"\r\n\"b\"\t\"2\"\r\n.\r\n");
    QTest::newRow("CR LF and lone CR in the box are not doubled")
        << QStringList{} << QStringList{} << QString("a\r\nb\rc\n")
        << QByteArray("a\r\nb\r\nc\r\n.\r\n");
    QTest::newRow("L-redirections alone")
        << QStringList{} << QStringList{"x@y", "z@w"} << QString()
        << QByteArray("\"lredirect\"\t\"x@y\"\t\"z@w\"\r\n.\r\n");
    QTest::newRow("latin-1 item")
        << QStringList{QString::fromUtf8("j\u00fcrgen@x")} << QStringList{} << QString()
        << QByteArray("\"redirect\"\t\"j\xfcrgen@x\"\r\n.\r\n");
}

void TestFileText::composesUploadBody()
{
    FileEditors editors;
    QFETCH(QStringList, redirects);
    QFETCH(QStringList, lredirects);
    QFETCH(QString, advanced);
    editors.redirects = redirects;
    editors.lredirects = lredirects;
    editors.advanced = advanced;
    QVERIFY(CheckFileEditors(editors).isEmpty());
    QTEST(ComposeFileBody(editors, false), "body");
}

void TestFileText::downloadComposesBackUnchanged()
{
    const QStringList lines{"\"redirect\"\t\"a@x.com\"\t\"b@x.com\"", "\"lredirect\"\t\"c@x.com\"",
                            "\"external\"\t\"0\"\t\"60\"\t\"/bin/f\"", "\"smtprelay\"\t\"1.2.3.4:25\""};
    FileEditors editors;
    for (const QString& l : lines)
        AddFileLine(editors, l, false);
    QCOMPARE(ComposeFileBody(editors, false), (lines.join("\r\n") + "\r\n.\r\n").toLatin1());
}

// Whatever file comes down, the editors either hold every line as it is, and then the upload sends
// the same lines byte for byte (in the editors' order), or they say that they do not.
void TestFileText::roundTripOverGeneratedFiles()
{
    QRandomGenerator r(20261210);
    int held = 0, notHeld = 0;
    for (int round = 0; round < 20000; ++round) {
        const QStringList lines = RandomFile(r);
        const bool withMailbox = r.bounded(2) == 1;
        FileEditors editors;
        bool all = true;
        for (const QString& l : lines)
            all = AddFileLine(editors, l, withMailbox) && all;
        if (!all) {
            ++notHeld;
            continue;
        }
        ++held;
        QVERIFY(CheckFileEditors(editors).isEmpty());
        const QByteArray body = ComposeFileBody(editors, withMailbox);
        QVERIFY(body.endsWith(".\r\n"));
        QStringList sent = QString::fromLatin1(body.chopped(3)).split("\r\n");
        QCOMPARE(sent.takeLast(), QString());  // the last line's own CR LF
        QStringList sorted = lines;
        sorted.sort();
        sent.sort();
        if (sent != sorted)
            QFAIL(qPrintable("not sent back as it came: " + lines.join("|").toUtf8().toPercentEncoding() +
                             " -> " + sent.join("|").toUtf8().toPercentEncoding()));
    }
    // Both outcomes occur often: the property says something.
    QVERIFY(held > 1000);
    QVERIFY(notHeld > 1000);
}

void TestFileText::finalLineEnd()
{
    QCOMPARE(AdvancedWithFinalLineEnd("x"), QString("x\n"));
    QCOMPARE(AdvancedWithFinalLineEnd("x\n"), QString("x\n"));
    QCOMPARE(AdvancedWithFinalLineEnd(""), QString("\n"));
    QVERIFY(HasAdvancedText("\n"));
    QVERIFY(HasAdvancedText(" x "));
    QVERIFY(!HasAdvancedText("  "));
    QVERIFY(!HasAdvancedText(""));
}

void TestFileText::refusesUnsendableEditors_data()
{
    QTest::addColumn<QStringList>("redirects");
    QTest::addColumn<QString>("advanced");
    QTest::addColumn<bool>("refused");

    QTest::newRow("plain editors") << QStringList{"a@x"} << QString("\"wait\",\"5\"\n") << false;
    QTest::newRow("quotes and commas in the advanced text") << QStringList{} << QString("\"a\",\"b\"") << false;
    QTest::newRow("a dot inside a line") << QStringList{} << QString(" .\n..\nx.\n") << false;
    QTest::newRow("spaces only are not sent, so not checked") << QStringList{} << QString("   ") << false;
    QTest::newRow("item with a quote") << QStringList{"a\"b"} << QString() << true;
    QTest::newRow("item with a TAB") << QStringList{"a\tb"} << QString() << true;
    QTest::newRow("item with a line break") << QStringList{"a\nb"} << QString() << true;
    QTest::newRow("item outside latin-1") << QStringList{QString::fromUtf8("a\u20acb")} << QString() << true;
    QTest::newRow("lone dot line") << QStringList{} << QString("a\n.\nb\n") << true;
    QTest::newRow("lone dot first") << QStringList{} << QString(".") << true;
    QTest::newRow("lone dot with CR LF") << QStringList{} << QString("a\r\n.\r\n") << true;
    QTest::newRow("TAB in the advanced text") << QStringList{} << QString("\"a\"\t\"b\"\n") << true;
    QTest::newRow("advanced outside latin-1") << QStringList{} << QString::fromUtf8("\u20ac\n") << true;
}

void TestFileText::refusesUnsendableEditors()
{
    QFETCH(QStringList, redirects);
    QFETCH(QString, advanced);
    QFETCH(bool, refused);
    FileEditors editors;
    editors.redirects = redirects;
    editors.advanced = advanced;
    QCOMPARE(!CheckFileEditors(editors).isEmpty(), refused);
    // The same check guards the L-redirections.
    FileEditors swapped;
    swapped.lredirects = redirects;
    QCOMPARE(!CheckFileEditors(swapped).isEmpty(), refused && !redirects.isEmpty());
}

QTEST_APPLESS_MAIN(TestFileText)
#include "tst_filetext.moc"
