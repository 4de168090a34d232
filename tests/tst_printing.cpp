// The printed user list: its layout on a recording printer, the checks made before printing, and
// real runs through QPrinter into PDF files read back with pdftotext.

#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

namespace {
const QString Verdana = QStringLiteral("Verdana");
const QString Tahoma = QStringLiteral("Tahoma");

QList<UserEntry> TwoAccounts()
{
    return {{QStringLiteral("bobU"), QStringLiteral("Bob-Pw1")},
            {QStringLiteral("staffM"), QStringLiteral("listpw")}};
}

QString Describe(const PrintedText& p)
{
    return QStringLiteral("%1|%2 %3%4%5|%6,%7")
        .arg(p.text, p.font)
        .arg(p.pointSize)
        .arg(p.styleA ? QStringLiteral(" A") : QString(), p.styleB ? QStringLiteral(" B") : QString())
        .arg(p.x)
        .arg(p.y);
}

QStringList Describe(const QList<PrintedText>& printed)
{
    QStringList out;
    for (const auto& p : printed)
        out << Describe(p);
    return out;
}

// The text of a PDF (or of some of its pages) as pdftotext reads it, columns kept in place.
QString PdfText(const QString& path, int firstPage = 0, int lastPage = 0)
{
    QStringList args{QStringLiteral("-layout")};
    if (firstPage > 0)
        args << QStringLiteral("-f") << QString::number(firstPage) << QStringLiteral("-l")
             << QString::number(lastPage);
    args << path << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromLocal8Bit(p.readAllStandardError()));
    // Fonts may set "ff" and the like as one ligature glyph; read them as their letters.
    return QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

int PdfPages(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(60000))
        return -1;
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const auto m = pages.match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QModelIndex DomainNode(frmMain& w, const QString& domain)
{
    return w.NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), domain));
}
}  // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void emptyDomain();
    void printsFromWindowAfterQuestion_data();
    void printsFromWindowAfterQuestion();
    void listNotLoadedForThisDomainIsRefused_data();
    void listNotLoadedForThisDomainIsRefused();
    void printerThatCannotStart_data();
    void printerThatCannotStart();
    void staleAndCutListsAgainstServer();
    void realPrinterWritesPdf();
    void longListRunsOverPages();
    void unwritablePdfIsReported();
};

void TestPrinting::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
             "pdftotext (poppler-utils) is needed: run scripts/install-deps");
}

// The whole page as printed, with and without passwords: fonts, styles and positions in twips on
// a 12240-twip page (name column 1224, password column 7344), 300 twips a line.
void TestPrinting::layout_data()
{
    QTest::addColumn<bool>("withPasswords");
    QTest::addColumn<QStringList>("expected");
    const QStringList head{
        "example.com|Verdana 18 A B|1224,1440",
        "|Verdana 18 A|0,1740",
        "# of Accounts: 2|Verdana 14 A|1224,2040",
        "|Verdana 14 A|0,2340",
        "|Verdana 14 A|0,2640",
        "Account Name|Verdana 14 A B|1224,2940",
    };
    QTest::newRow("with passwords")
        << true
        << (head + QStringList{"Password|Verdana 14 A B|7344,2940", "|Tahoma 12 A|0,3240",
                               "bob|Tahoma 12 A|1224,3540", "Bob-Pw1|Tahoma 12 A|7344,3540",
                               "staff|Tahoma 12 A|1224,3840", "listpw|Tahoma 12 A|7344,3840"});
    QTest::newRow("without passwords")
        << false
        << (head + QStringList{"|Tahoma 12 A|0,3240", "bob|Tahoma 12 A|1224,3540",
                               "staff|Tahoma 12 A|1224,3840"});
}

void TestPrinting::layout()
{
    QFETCH(bool, withPasswords);
    QFETCH(QStringList, expected);
    RecordingPrinter printer;
    QString error;
    QVERIFY(PrintUserList(printer, QStringLiteral("example.com"), TwoAccounts(), withPasswords, &error));
    QCOMPARE(Describe(printer.printed), expected);
    QVERIFY(printer.ended);
}

void TestPrinting::emptyDomain()
{
    RecordingPrinter printer;
    printer.width = 10000;  // the columns follow the page width
    QString error;
    QVERIFY(PrintUserList(printer, QStringLiteral("empty.org"), {}, true, &error));
    QCOMPARE(printer.texts(),
             (QStringList{"empty.org", "", "# of Accounts: 0", "", "", "Account Name", "Password", ""}));
    QCOMPARE(printer.printed.at(0).x, 1000);
    QCOMPARE(printer.printed.at(6).x, 6000);
    QVERIFY(printer.ended);
}

// The window asks about passwords (No is the default button) and prints the list it holds.
void TestPrinting::printsFromWindowAfterQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("expectedAccountLines");
    QTest::newRow("yes") << int(MsgYes) << QStringList{"bob", "Bob-Pw1", "staff", "listpw"};
    QTest::newRow("no") << int(MsgNo) << QStringList{"bob", "staff"};
}

void TestPrinting::printsFromWindowAfterQuestion()
{
    QFETCH(int, answer);
    QFETCH(QStringList, expectedAccountLines);
    WindowFixture fx;
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = TwoAccounts(); });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntriesDomain = QStringLiteral("example.com"); });
    w.txtDomainName->setText(QStringLiteral("example.com"));
    fx.messages.answers.push_back(MsgButton(answer));

    w.cmdPrintUserList_Click();

    QCOMPARE(fx.messages.messages.size(), 1);
    const RecordedMessage& q = fx.messages.messages.first();
    QVERIFY(q.question);
    QCOMPARE(q.title, QStringLiteral("Include Passwords?"));
    QCOMPARE(q.text, QStringLiteral("Would you like to include the passwords on the list?"));
    QCOMPARE(q.buttons, int(MsgYes | MsgNo));
    QCOMPARE(q.defaultButton, MsgNo);
    QVERIFY(fx.printer.ended);
    const QStringList texts = fx.printer.texts();
    QCOMPARE(texts.first(), QStringLiteral("example.com"));
    QCOMPARE(texts.contains(QStringLiteral("Password")), answer == MsgYes);
    QCOMPARE(texts.mid(texts.indexOf(QStringLiteral("Account Name")) + (answer == MsgYes ? 3 : 2)),
             expectedAccountLines);
}

// UserEntries is still another domain's list (or none at all): nothing is asked or printed.
void TestPrinting::listNotLoadedForThisDomainIsRefused_data()
{
    QTest::addColumn<QString>("loadedFor");
    QTest::newRow("another domain's list") << QStringLiteral("other.net");
    QTest::newRow("no complete list yet") << QString();
}

void TestPrinting::listNotLoadedForThisDomainIsRefused()
{
    QFETCH(QString, loadedFor);
    WindowFixture fx;
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = TwoAccounts(); });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntriesDomain = loadedFor; });
    w.txtDomainName->setText(QStringLiteral("example.com"));
    fx.messages.answers.push_back(MsgYes);

    w.cmdPrintUserList_Click();

    QVERIFY(!fx.printer.begun);
    QVERIFY(fx.printer.printed.isEmpty());
    QCOMPARE(fx.messages.messages.size(), 1);
    QVERIFY(!fx.messages.messages.first().question);
    QVERIFY2(fx.messages.messages.first().text.contains(QStringLiteral("example.com has not been loaded yet")),
             qPrintable(fx.messages.messages.first().text));
}

// A cancelled print dialog prints nothing and says nothing; a printer that cannot start is reported.
void TestPrinting::printerThatCannotStart_data()
{
    QTest::addColumn<QString>("reason");
    QTest::newRow("cancelled") << QString();
    QTest::newRow("no printer") << QStringLiteral("No printer is available. Install a printer and try again.");
}

void TestPrinting::printerThatCannotStart()
{
    QFETCH(QString, reason);
    WindowFixture fx;
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = TwoAccounts(); });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntriesDomain = QStringLiteral("example.com"); });
    w.txtDomainName->setText(QStringLiteral("example.com"));
    fx.printer.failBegin = true;
    fx.printer.beginError = reason;
    fx.messages.answers.push_back(MsgYes);

    w.cmdPrintUserList_Click();

    QVERIFY(fx.printer.printed.isEmpty());
    QVERIFY(!fx.printer.ended);
    const QStringList texts = fx.messages.texts();
    QCOMPARE(texts.size(), reason.isEmpty() ? 1 : 2);  // the question, then the reason if any
    if (!reason.isEmpty())
        QVERIFY2(texts.last().contains(reason), qPrintable(texts.last()));
}

// Against a server: right after a click on another domain, while its list has not arrived, the
// previous domain's list is not printed under the new title; once the list has arrived whole, it
// is; a list cut off by a dropped connection is not printed either.
void TestPrinting::staleAndCutListsAgainstServer()
{
    TazelSim sim;
    sim.state.domains = {{QStringLiteral("alpha.com"), {SimAccount::Make(QStringLiteral("bob"), QStringLiteral("pw-b"))}},
                         {QStringLiteral("beta.com"),
                          {SimAccount::Make(QStringLiteral("carol"), QStringLiteral("pw-c")),
                           SimAccount::Make(QStringLiteral("dave"), QStringLiteral("pw-d"))}}};
    QVERIFY(sim.listen());
    WindowFixture fx;
    fx.addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), sim.port());
    frmMain& w = fx.open();
    w.DomainList_NodeClick(w.NodeByKey(QStringLiteral("server1")));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(DomainNode(w, QStringLiteral("beta.com")).isValid());

    w.DomainList_NodeClick(DomainNode(w, QStringLiteral("alpha.com")));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(w.Session->Replies().UserEntriesDomain, QStringLiteral("alpha.com"));

    // Printing while beta.com's list is on its way (the server has just been asked for it).
    bool askedWhileLoading = false;
    connect(&sim, &TazelSim::lineReceived, &w, [&](const QByteArray& line) {
        if (line == QByteArray("\"userlist\"\t\"beta.com\"") && !askedWhileLoading) {
            askedWhileLoading = true;
            QCOMPARE(w.txtDomainName->text(), QStringLiteral("beta.com"));
            w.cmdPrintUserList_Click();
        }
    });
    w.DomainList_NodeClick(DomainNode(w, QStringLiteral("beta.com")));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(askedWhileLoading);
    QVERIFY(fx.printer.printed.isEmpty());
    QCOMPARE(fx.messages.messages.size(), 1);
    QVERIFY2(fx.messages.texts().last().contains(QStringLiteral("beta.com has not been loaded yet")),
             qPrintable(fx.messages.texts().join('|')));

    // Now that it has arrived whole, it is printed.
    fx.messages.answers.push_back(MsgNo);
    w.cmdPrintUserList_Click();
    const QStringList texts = fx.printer.texts();
    QCOMPARE(texts.first(), QStringLiteral("beta.com"));
    QVERIFY(texts.contains(QStringLiteral("# of Accounts: 2")));
    QCOMPARE(texts.mid(texts.size() - 2), (QStringList{"carol", "dave"}));

    // alpha.com's list is cut off by a dropped connection: it does not count as loaded.
    fx.printer.printed.clear();
    sim.faults.closeOnCommand = QStringLiteral("userlist");
    sim.faults.closeAfterBytes = 40;
    w.DomainList_NodeClick(DomainNode(w, QStringLiteral("alpha.com")));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(sim.received.contains(QByteArray("\"userlist\"\t\"alpha.com\"")));
    w.cmdPrintUserList_Click();
    QVERIFY(fx.printer.printed.isEmpty());
    QVERIFY2(fx.messages.texts().last().contains(QStringLiteral("alpha.com has not been loaded yet")),
             qPrintable(fx.messages.texts().join('|')));
}

void TestPrinting::realPrinterWritesPdf()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.pdf"));
    std::unique_ptr<PrinterSeam> printer(NewPdfPrinterSeam(path));
    QString error;
    QVERIFY2(printer->begin(&error), qPrintable(error));
    QVERIFY(printer->pageWidth() > 10000);  // a4 or letter paper, in twips
    QVERIFY2(PrintUserList(*printer, QStringLiteral("example.com"), TwoAccounts(), true, &error),
             qPrintable(error));

    const QString text = PdfText(path);
    QVERIFY2(text.contains(QStringLiteral("example.com")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("# of Accounts: 2")), qPrintable(text));
    // Names without their kind letter, each beside its password.
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Account Name +Password"))), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\bbob +Bob-Pw1"))), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\bstaff +listpw"))), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("bobU")));
    QCOMPARE(PdfPages(path), 1);
}

// A list longer than a page goes on on further pages, every name still beside its password.
void TestPrinting::longListRunsOverPages()
{
    QList<UserEntry> entries;
    for (int i = 1; i <= 150; ++i)
        entries.append({QStringLiteral("user%1U").arg(i, 3, 10, QLatin1Char('0')),
                        QStringLiteral("pass%1").arg(i, 3, 10, QLatin1Char('0'))});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.pdf"));
    std::unique_ptr<PrinterSeam> printer(NewPdfPrinterSeam(path));
    QString error;
    QVERIFY2(printer->begin(&error), qPrintable(error));
    QVERIFY2(PrintUserList(*printer, QStringLiteral("big.example"), entries, true, &error), qPrintable(error));

    const int pages = PdfPages(path);
    QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    const QString all = PdfText(path);
    for (int i = 1; i <= 150; ++i) {
        const QString n = QString::number(i).rightJustified(3, QLatin1Char('0'));
        QVERIFY2(all.contains(QRegularExpression(QStringLiteral("\\buser%1 +pass%1\\b").arg(n))),
                 qPrintable(n));
    }
    // The last page holds the end of the list and nothing of the first page.
    const QString last = PdfText(path, pages, pages);
    QVERIFY2(last.contains(QRegularExpression(QStringLiteral("\\buser150 +pass150\\b"))), qPrintable(last));
    QVERIFY(!last.contains(QStringLiteral("user001")));
}

// Printing that fails (here a file that cannot be written) is reported; nothing crashes.
void TestPrinting::unwritablePdfIsReported()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    std::unique_ptr<PrinterSeam> printer(
        NewPdfPrinterSeam(fx.dir.filePath(QStringLiteral("no/such/folder/users.pdf"))));
    w.Printer = printer.get();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntries = TwoAccounts(); });
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.UserEntriesDomain = QStringLiteral("example.com"); });
    w.txtDomainName->setText(QStringLiteral("example.com"));
    fx.messages.answers.push_back(MsgYes);

    w.cmdPrintUserList_Click();

    const QStringList texts = fx.messages.texts();
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.last().startsWith(QStringLiteral("The user list could not be printed.")), qPrintable(texts.last()));
    QVERIFY(!QFile::exists(fx.dir.filePath(QStringLiteral("no/such/folder/users.pdf"))));
    w.Printer = &fx.printer;
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
