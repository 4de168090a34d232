// A domain's accounts to and from CSV files: the exported bytes, the reading of a file of accounts
// and its verdicts, and adding them on the simulated server through the preview dialog.

#include <QGroupBox>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "sim/TazelSim.h"
#include "protocol/AccountCsv.h"
#include "session/ActivityLog.h"
#include "tests/TestKit.h"
#include "window/AccountFiles.h"
#include "window/BulkAddDialog.h"
#include "window/BulkAddRunner.h"
#include "window/MainMenu.h"
#include "window/frmMain.h"

namespace {
const QString Domain = QStringLiteral("example.com");

int Requests(const TazelSim& sim, const QByteArray& word)
{
    int n = 0;
    for (const QByteArray& l : sim.received)
        n += l.startsWith('"' + word + '"') ? 1 : 0;
    return n;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A shown window on a simulated server whose example.com holds a user with a comma in its name, a
// user with a Latin-1 name and a mailing list; the domain is opened with mouse clicks.
struct Session {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;
    AccountFiles* files = nullptr;

    Session()
    {
        sim.state.domains = {{Domain,
                              {SimAccount::Make(QStringLiteral("bob"), QStringLiteral("Bob,Pw"), QStringLiteral("U")),
                               SimAccount::Make(QStringLiteral("jo,ann"), QStringLiteral("pw2"), QStringLiteral("U")),
                               SimAccount::Make(QString::fromUtf8("müller"), QString::fromUtf8("grüße"), QStringLiteral("U")),
                               SimAccount::Make(QStringLiteral("staff"), QStringLiteral("listpw"), QStringLiteral("M"))}},
                             {QStringLiteral("other.org"), {}}};
    }

    bool start()
    {
        if (!sim.listen())
            return false;
        w = fx.openShown(sim.port());
        files = w ? w->AccountFileCommands : nullptr;
        return w != nullptr;
    }

    QModelIndex domainNode(const QString& name = Domain) const
    {
        return w->NodeByKey(frmMain::DomainNodeKey(QStringLiteral("server1"), name));
    }

    void click(const QModelIndex& node)
    {
        w->DomainList->scrollTo(node);
        QTest::mouseClick(w->DomainList->viewport(), Qt::LeftButton, {},
                          w->DomainList->visualRect(node).center());
    }

    QStringList accountNodes(const QString& domain = Domain) const
    {
        QStringList out;
        const QModelIndex d = domainNode(domain);
        for (int i = 0; i < w->DomainModel->rowCount(d); ++i)
            out << w->NodeText(w->DomainModel->index(i, 0, d));
        return out;
    }
};

#define OPEN_DOMAIN(s)                                                                  \
    do {                                                                                \
        QVERIFY((s).start());                                                           \
        (s).click((s).w->NodeByKey(QStringLiteral("server1")));                         \
        QTRY_VERIFY((s).w->Session->DriverIsIdle() && (s).domainNode().isValid());               \
        (s).w->DomainList->expand((s).w->NodeByKey(QStringLiteral("server1")));         \
        (s).click((s).domainNode());                                                    \
        QTRY_VERIFY((s).w->Session->DriverIsIdle() && (s).w->Session->UserEntriesDomain == Domain);       \
        QVERIFY((s).files->exportButton()->isVisible());                               \
        QVERIFY((s).files->addFromFileButton()->isVisible());                          \
    } while (0)

// A table of rows as the preview shows them: "line name kind verdict".
QStringList Verdicts(const BulkAccountRows& rows)
{
    QStringList out;
    for (const BulkAccountRow& r : rows)
        out << QStringLiteral("%1 %2 %3 %4").arg(r.line).arg(r.name, r.ok() ? r.kind : QStringLiteral("-"), r.verdict);
    return out;
}
}  // namespace

class TestAccountFiles : public QObject {
    Q_OBJECT
private slots:
    void exportBytes_data();
    void exportBytes();
    void exportFromWindow_data();
    void exportFromWindow();
    void exportRefusedUntilListLoaded();
    void unwritableExportFile();
    void readsCsvRecords();
    void verdicts_data();
    void verdicts();
    void exportReadsBackAsAccounts();
    void addsFileWithRefusedRowInMiddle();
    void stopHalfway();
    void silentServerStopsTheRun();
    void exportMenuOnlyWithTheDomainPanel();
    void sameNamedDomainOfAnotherServerIsNotExported();
    void passwordlessFileAddsNothing();
    void headerRows_data();
    void headerRows();
    void refusedHeaderAddsNothing();
    void readBackLoginFailsKeepsConfirmedRows();
    void compactRows();
};

// The bytes of an export: header, CR LF line ends, RFC 4180 quoting, UTF-8.
void TestAccountFiles::exportBytes_data()
{
    QTest::addColumn<bool>("withPasswords");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("with passwords") << true
                                    << QByteArray("name,kind,password\r\n"
                                                  "bob,user,\"Bob,Pw\"\r\n"
                                                  "\"jo,ann\",user,pw2\r\n"
                                                  "m\xc3\xbcller,user,gr\xc3\xbc\xc3\x9f" "e\r\n"
                                                  "staff,list,listpw\r\n");
    QTest::newRow("without passwords") << false
                                       << QByteArray("name,kind\r\n"
                                                     "bob,user\r\n"
                                                     "\"jo,ann\",user\r\n"
                                                     "m\xc3\xbcller,user\r\n"
                                                     "staff,list\r\n");
}

void TestAccountFiles::exportBytes()
{
    QFETCH(bool, withPasswords);
    QFETCH(QByteArray, expected);
    const QList<ExportAccount> accounts{{QStringLiteral("bob"), false, QStringLiteral("Bob,Pw")},
                                        {QStringLiteral("jo,ann"), false, QStringLiteral("pw2")},
                                        {QString::fromUtf8("müller"), false, QString::fromUtf8("grüße")},
                                        {QStringLiteral("staff"), true, QStringLiteral("listpw")}};
    QCOMPARE(AccountsCsv(accounts, withPasswords), expected);
    // Quotes and line breaks, which no account can hold today, would still make a readable file.
    QCOMPARE(CsvField(QStringLiteral("a\"b\nc")), QStringLiteral("\"a\"\"b\nc\""));
    QCOMPARE(AccountsCsv({}, false), QByteArray("name,kind\r\n"));
}

// Through the button, against the server: the same question as printing, then the chosen file.
void TestAccountFiles::exportFromWindow_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("yes") << int(MsgYes)
                         << QByteArray("name,kind,password\r\nbob,user,\"Bob,Pw\"\r\n\"jo,ann\",user,pw2\r\n"
                                       "m\xc3\xbcller,user,gr\xc3\xbc\xc3\x9f" "e\r\nstaff,list,listpw\r\n");
    QTest::newRow("no") << int(MsgNo)
                        << QByteArray("name,kind\r\nbob,user\r\n\"jo,ann\",user\r\nm\xc3\xbcller,user\r\nstaff,list\r\n");
}

void TestAccountFiles::exportFromWindow()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, expected);
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("out.csv"));
    QString suggested;
    s.files->chooseExportFile = [&](const QString& proposal) {
        suggested = proposal;
        return path;
    };
    s.fx.messages.answers.push_back(MsgButton(answer));
    const int requestsBefore = s.sim.received.size();

    QTest::mouseClick(s.files->exportButton(), Qt::LeftButton);

    QCOMPARE(s.fx.messages.messages.size(), 1);
    const RecordedMessage& q = s.fx.messages.messages.first();
    QVERIFY(q.question);
    QCOMPARE(q.title, QStringLiteral("Include Passwords?"));
    QCOMPARE(q.text, QStringLiteral("Would you like to include the passwords on the list?"));
    QCOMPARE(q.defaultButton, MsgNo);
    QVERIFY2(suggested.endsWith(QStringLiteral("example.com-accounts.csv")), qPrintable(suggested));
    QCOMPARE(ReadFile(path), expected);
    QCOMPARE(s.sim.received.size(), requestsBefore);  // nothing fetched for the export
}

// As for printing: while the shown domain's list has not arrived whole, nothing is asked or written.
void TestAccountFiles::exportRefusedUntilListLoaded()
{
    Session s;
    OPEN_DOMAIN(s);
    bool chosen = false;
    s.files->chooseExportFile = [&](const QString&) {
        chosen = true;
        return s.fx.dir.filePath(QStringLiteral("x.csv"));
    };
    // other.org is being loaded: its list has not arrived when the button is pressed.
    bool pressed = false;
    connect(&s.sim, &TazelSim::lineReceived, s.w, [&](const QByteArray& line) {
        if (line == QByteArray("\"userlist\"\t\"other.org\"") && !pressed) {
            pressed = true;
            s.files->exportButton()->click();
        }
    });
    s.click(s.domainNode(QStringLiteral("other.org")));
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    QVERIFY(pressed);
    QVERIFY(!chosen);
    QCOMPARE(s.fx.messages.messages.size(), 1);
    QVERIFY(!s.fx.messages.messages.first().question);
    QVERIFY2(s.fx.messages.texts().first().contains(
                 QStringLiteral("other.org has not been loaded yet, so it cannot be exported")),
             qPrintable(s.fx.messages.texts().first()));
    QVERIFY(!QFile::exists(s.fx.dir.filePath(QStringLiteral("x.csv"))));
}

// A file that cannot be written is reported, naming the domain and the file, and nothing is left.
void TestAccountFiles::unwritableExportFile()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("no/such/folder/out.csv"));
    s.files->chooseExportFile = [&](const QString&) { return path; };
    s.fx.messages.answers.push_back(MsgYes);
    QTest::mouseClick(s.files->exportButton(), Qt::LeftButton);
    const QStringList texts = s.fx.messages.texts();
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.last().startsWith(QStringLiteral("The accounts of example.com could not be written to ") +
                                     QDir::toNativeSeparators(path)),
             qPrintable(texts.last()));
    QVERIFY(texts.last().endsWith(QStringLiteral("No file was written.")));
    QCOMPARE(s.fx.messages.messages.last().icon, MsgIcon::Critical);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(s.fx.dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Tazel Administrator.conf")});
}

// Records: quoted commas, doubled quotes and line breaks, LF or CR LF ends, a byte-order mark,
// empty lines passed over, and a line that cannot be read not taking the lines after it along.
void TestAccountFiles::readsCsvRecords()
{
    const QByteArray text("\xEF\xBB\xBF"
                          "a,\"b,c\",\"d\"\"e\"\r\n"
                          "\n"
                          "\"multi\nline\",x\n"
                          "open \"quote,y\n"
                          "\"closed\"z,w\n"
                          "\"never closed,v\n"
                          "last,\xff\n"
                          "end,");
    const QList<CsvRecord> r = ReadCsv(text);
    QStringList got;
    for (const CsvRecord& rec : r)
        got << QString::number(rec.line) + QLatin1Char(':') + (rec.readable ? rec.fields.join('|') : rec.problem);
    QCOMPARE(got, (QStringList{"1:a|b,c|d\"e", "3:multi\nline|x", "5:a double quote inside a field that is not quoted",
                               "6:text follows a closing quote", "7:a quoted field is never closed",
                               "8:the line is not UTF-8 text", "9:end|"}));
}

// The preview's verdicts: every row is listed, with "ok" or the reason it is skipped.
void TestAccountFiles::verdicts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no header: name, password, optional kind; trimmed and lower-cased")
        << QByteArray(" Ann ,Pw 1\nBEN,pw2,list\ncy,pw3,M\ndi,,user\n")
        << QStringList{"1 ann U ok", "2 ben M ok", "3 cy M ok", "4 di - no password"};
    QTest::newRow("header in any order and case")
        << QByteArray("Kind,Password,Name\nlist,p,news\n,q,eve\n")
        << QStringList{"2 news M ok", "3 eve U ok"};
    QTest::newRow("bad rows")
        << QByteArray("name,password,kind\n"
                      "  ,pw,user\n"                   // empty name
                      "bob,pw,user\n"                  // already in the domain
                      "Staff,pw,list\n"                // already in the domain, in another case
                      "new1,pw,user\n"
                      "NEW1,pw,user\n"                 // twice in the file
                      "tab\tname,pw,user\n"            // TAB in the name
                      "q,pw\"x,user\n"                 // quote inside an unquoted field
                      "q2,\"pw\"\"x\",user\n"          // quote in the password
                      "eu\xe2\x82\xac,pw,user\n"       // outside Latin-1
                      "x,pw,admin\n"                   // unknown kind
                      "y,a,b,user\n"                   // a comma too many
                      "z\n"                            // a field too few
                      "\xe9t\xe9,pw,user\n"             // not UTF-8
                      "del\x7f,pw,user\n"                // DEL in the name
                      "c1\xc2\x85,pw,user\n"             // a C1 control (NEL) in the name
                      "p1,pw\xc2\x9f,user\n"             // a C1 control in the password
                      "p2,,user\n")                     // no password
        << QStringList{"2  - empty name",
                       "3 bob - already in the domain",
                       "4 staff - already in the domain",
                       "5 new1 U ok",
                       "6 new1 - twice in the file (first on line 5)",
                       "7 tab\tname - the name holds a character that cannot be sent",
                       "8  - unreadable line: a double quote inside a field that is not quoted",
                       "9 q2 - the password holds a character that cannot be sent",
                       "10 eu\u20ac - the name holds a character that cannot be sent",
                       "11 x - unknown kind \"admin\" (user or list)",
                       "12  - unreadable line: 4 fields where 3 were expected",
                       "13  - unreadable line: 1 fields where 3 were expected",
                       "14  - unreadable line: the line is not UTF-8 text",
                       "15 del\x7f - the name holds a character that cannot be sent",
                       "16 c1\u0085 - the name holds a character that cannot be sent",
                       "17 p1 - the password holds a character that cannot be sent",
                       "18 p2 - no password"};
    QTest::newRow("a Latin-1 name is sendable")
        << QByteArray("m\xc3\xbcller,gr\xc3\xbc\xc3\x9f" "e\n") << QStringList{QString::fromUtf8("1 müller U ok")};
}

void TestAccountFiles::verdicts()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    const QSet<QString> existing{QStringLiteral("bob"), QStringLiteral("staff")};
    QCOMPARE(Verdicts(ReadBulkAccounts(file, existing)), expected);
}

// An exported file with passwords reads back as the same accounts, passwords and kinds.
void TestAccountFiles::exportReadsBackAsAccounts()
{
    const QList<ExportAccount> accounts{{QStringLiteral("jo,ann"), false, QStringLiteral("p,w")},
                                        {QString::fromUtf8("müller"), true, QStringLiteral(" sp ")}};
    const BulkAccountRows rows = ReadBulkAccounts(AccountsCsv(accounts, true), {});
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].name + '/' + rows[0].password + '/' + rows[0].kind + '/' + rows[0].verdict,
             QStringLiteral("jo,ann/p,w/U/ok"));
    QCOMPARE(rows[1].name + '/' + rows[1].password + '/' + rows[1].kind + '/' + rows[1].verdict,
             QString::fromUtf8("müller/ sp /M/ok"));
}

// A file of accounts through the button and the preview: the server refuses a row in the middle
// (its account was added by someone else after the domain was loaded); its error line is shown
// in the dialog, no message box is raised, the rows after it are added, and the domain is read
// back once.
void TestAccountFiles::addsFileWithRefusedRowInMiddle()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, "name,password,kind\nAnn,pw-a,user\nbob,x,user\nlate,pw-l,user\n  Zed ,pw z,list\n");
    s.files->chooseImportFile = [&] { return path; };
    s.sim.state.domain(Domain)->accounts.append(SimAccount::Make(QStringLiteral("late"), QStringLiteral("o"), QStringLiteral("U")));
    const int listsBefore = Requests(s.sim, "userlist");

    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    BulkAddDialog* d = s.files->dialog();
    QVERIFY(d);
    QVERIFY(d->isVisible());
    QCOMPARE(Requests(s.sim, "useradd"), 0);  // nothing is sent before the user confirms
    BulkRowModel* m = d->model();
    QCOMPARE(m->rowCount(), 4);
    QCOMPARE(m->index(1, BulkRowModel::VerdictColumn).data().toString(), QStringLiteral("already in the domain"));
    QCOMPARE(d->addButton()->text(), QStringLiteral("Add 3 Accounts"));

    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QTRY_VERIFY(!s.files->runner()->running());

    QCOMPARE(m->outcome(0), QStringLiteral("added"));
    QCOMPARE(m->outcome(1), QString());  // skipped, never sent
    QCOMPARE(m->outcome(2), QStringLiteral("-00018 Account already exists"));
    QCOMPARE(m->outcome(3), QStringLiteral("added"));
    QVERIFY(s.sim.received.contains(WireLine({"useradd", Domain, "ann", "pw-a", "U"})));
    QVERIFY(s.sim.received.contains(WireLine({"useradd", Domain, "late", "pw-l", "U"})));
    QVERIFY(s.sim.received.contains(WireLine({"useradd", Domain, "zed", "pw z", "M"})));
    QCOMPARE(Requests(s.sim, "useradd"), 3);
    QCOMPARE(Requests(s.sim, "userlist"), listsBefore + 1);
    QVERIFY(s.fx.messages.messages.isEmpty());
    QCOMPARE(d->summary(), QStringLiteral("2 added to example.com, 1 not added."));
    // Each row is an action of its own in the activity log, with its outcome.
    QStringList logged;
    for (int row = 0; row < s.w->Activity->rowCount(); ++row)
        if (s.w->Activity->text(row, ActivityLog::ActionColumn).startsWith(QStringLiteral("add account ")))
            logged << s.w->Activity->text(row, ActivityLog::ActionColumn) + QStringLiteral(": ") +
                          s.w->Activity->text(row, ActivityLog::OutcomeColumn);
    QCOMPARE(logged, (QStringList{"add account ann@example.com: done",
                                  "add account late@example.com: -00018 Account already exists",
                                  "add account zed@example.com: done"}));
    QVERIFY(d->closeButton()->isEnabled());
    QCOMPARE(s.accountNodes(), (QStringList{"ann", "bob", "jo,ann", "late", QString::fromUtf8("müller"), "staff", "zed"}));
    // The window's own messages are its own again.
    QCOMPARE(s.w->Messages, static_cast<MessageSeam*>(&s.fx.messages));
}

// Stop pressed while the third of six rows is on its way: that row finishes, the others are
// reported as not added, and the domain is read back.
void TestAccountFiles::stopHalfway()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, "u1,p\nu2,p\nu3,p\nu4,p\nu5,p\nu6,p\n");
    s.files->chooseImportFile = [&] { return path; };
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    BulkAddDialog* d = s.files->dialog();
    QVERIFY(d);
    connect(&s.sim, &TazelSim::lineReceived, d, [&](const QByteArray& line) {
        if (line.startsWith("\"useradd\"\t\"example.com\"\t\"u3\""))
            QTest::mouseClick(d->stopButton(), Qt::LeftButton);
    });
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QTRY_VERIFY(!s.files->runner()->running());

    QCOMPARE(Requests(s.sim, "useradd"), 3);
    QStringList outcomes;
    for (int r = 0; r < 6; ++r)
        outcomes << d->model()->outcome(r);
    QCOMPARE(outcomes, (QStringList{"added", "added", "added", "not added: cancelled", "not added: cancelled",
                                    "not added: cancelled"}));
    QCOMPARE(d->summary(), QStringLiteral("3 added to example.com, 3 not added."));
    QVERIFY(s.accountNodes().contains(QStringLiteral("u3")));
    QVERIFY(!s.accountNodes().contains(QStringLiteral("u4")));
}

// The server stops answering at the second row: the run stops there with the time-out reported
// on that row, the row after it is reported as not sent, and no message box is raised.
void TestAccountFiles::silentServerStopsTheRun()
{
    Session s;
    OPEN_DOMAIN(s);
    s.w->Session->ReplyTimeoutMs = 300;
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, "u1,p\nu2,p\nu3,p\n");
    s.files->chooseImportFile = [&] { return path; };
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    BulkAddDialog* d = s.files->dialog();
    QVERIFY(d);
    // After the first row's connection has ended, "useradd" is never answered.
    connect(&s.sim, &TazelSim::clientClosed, d, [&] { s.sim.faults.silentCommand = QStringLiteral("useradd"); });
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QTRY_VERIFY(!s.files->runner()->running());
    QCOMPARE(d->model()->outcome(0), QStringLiteral("added"));
    QCOMPARE(d->model()->outcome(1), QStringLiteral("not added: timed out"));
    QCOMPARE(d->model()->outcome(2), QStringLiteral("not added: the run stopped after: timed out"));
    QCOMPARE(Requests(s.sim, "useradd"), 2);
    QCOMPARE(d->summary(), QStringLiteral("1 added to example.com, 2 not added."));
    QVERIFY(s.fx.messages.messages.isEmpty());
}

// File > Export Accounts... (and Add Accounts from File...) are enabled only as Print User List
// is: with a domain's panel, never with a server's or an account's, and from those panels the
// entry does nothing.
void TestAccountFiles::exportMenuOnlyWithTheDomainPanel()
{
    Session s;
    OPEN_DOMAIN(s);
    QMenu* file = s.w->Menu->fileMenu();
    QAction* exportAction = nullptr;
    QAction* addAction = nullptr;
    for (QAction* a : file->actions()) {
        if (a->text() == QLatin1String("&Export Accounts..."))
            exportAction = a;
        if (a->text() == QLatin1String("Add Accounts from &File..."))
            addAction = a;
    }
    QVERIFY(exportAction && addAction);
    bool chosen = false;
    s.files->chooseExportFile = [&](const QString&) {
        chosen = true;
        return QString();
    };
    s.files->chooseImportFile = [&] {
        chosen = true;
        return QString();
    };
    auto enabled = [&](QAction* a) {
        emit file->aboutToShow();
        const bool on = a->isEnabled();
        emit file->aboutToHide();
        return on;
    };
    QVERIFY(enabled(exportAction) && enabled(addAction));

    // The server's panel.
    s.click(s.w->NodeByKey(QStringLiteral("server1")));
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    QVERIFY(s.w->fraServerProperties->isVisible());
    QCOMPARE(enabled(exportAction), enabled(s.w->Menu->printAction()));
    QVERIFY(!enabled(exportAction) && !enabled(addAction));
    exportAction->trigger();
    addAction->trigger();
    QVERIFY(!chosen);
    QVERIFY(s.fx.messages.messages.isEmpty());  // not even the question about passwords

    // An account's panel.
    s.click(s.domainNode());
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    s.click(s.w->NodeByKey(frmMain::AccountNodeKey(frmMain::DomainNodeKey(QStringLiteral("server1"), Domain),
                                                   QStringLiteral("bob"))));
    QTRY_VERIFY(s.w->Session->DriverIsIdle() && s.w->fraUserProperties->isVisible());
    QVERIFY(!enabled(exportAction) && !enabled(addAction));
    exportAction->trigger();
    QVERIFY(!chosen);
    QVERIFY(s.fx.messages.messages.isEmpty());

    // Back on the domain's panel the entry exports, as the button does.
    s.click(s.domainNode());
    QTRY_VERIFY(s.w->Session->DriverIsIdle() && s.files->exportButton()->isVisible());
    QVERIFY(enabled(exportAction));
    exportAction->trigger();
    QVERIFY(chosen);
}

// Two servers each with a domain example.com: once the first one's list is loaded, the second
// one's (whose list was never read: its login is refused) is neither exported nor printed, and
// the File menu's entries for it are disabled.
void TestAccountFiles::sameNamedDomainOfAnotherServerIsNotExported()
{
    Session s;
    TazelSim other;
    other.state.domains = {{Domain, {SimAccount::Make(QStringLiteral("zoe"), QStringLiteral("pw-z"))}}};
    QVERIFY(other.listen());
    s.fx.addServerRecord(2, QStringLiteral("sim2"), QStringLiteral("127.0.0.1"), other.port());
    OPEN_DOMAIN(s);
    const QString otherServer = QStringLiteral("server2");
    const QModelIndex server2 = s.w->NodeByKey(otherServer);
    QVERIFY(server2.isValid());
    s.click(server2);
    QTRY_VERIFY(s.w->Session->DriverIsIdle() && s.w->NodeByKey(frmMain::DomainNodeKey(otherServer, Domain)).isValid());
    // The list of server1's example.com is still the one held.
    QCOMPARE(s.w->Session->UserEntriesDomain, Domain);

    other.faults.refuseCommand = QStringLiteral("<login>");
    s.click(s.w->NodeByKey(frmMain::DomainNodeKey(otherServer, Domain)));
    QTRY_VERIFY(s.w->Session->DriverIsIdle());
    QCOMPARE(s.w->txtDomainName->text(), Domain);
    QVERIFY(s.files->exportButton()->isVisible());
    QCOMPARE(s.w->Session->UserEntriesDomain, Domain);  // of server1: the login was refused before the list
    const int before = s.fx.messages.messages.size();  // the refused login's message

    // The File menu's entries are disabled there, Print User List's too.
    QMenu* file = s.w->Menu->fileMenu();
    emit file->aboutToShow();
    for (QAction* a : file->actions())
        if (a->text() == QLatin1String("&Export Accounts...") || a == s.w->Menu->printAction())
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    emit file->aboutToHide();

    bool chosen = false;
    s.files->chooseExportFile = [&](const QString&) {
        chosen = true;
        return s.fx.dir.filePath(QStringLiteral("x.csv"));
    };
    QTest::mouseClick(s.files->exportButton(), Qt::LeftButton);
    QVERIFY(!chosen);
    QCOMPARE(s.fx.messages.messages.size(), before + 1);
    QVERIFY2(s.fx.messages.texts().last().contains("example.com has not been loaded yet, so it cannot be exported"),
             qPrintable(s.fx.messages.texts().last()));
    QVERIFY(!QFile::exists(s.fx.dir.filePath(QStringLiteral("x.csv"))));

    s.w->cmdPrintUserList_Click();
    QVERIFY(!s.fx.printer.begun);
    QVERIFY(s.fx.messages.texts().last().contains("example.com has not been loaded yet, so it cannot be printed"));
}

// The program's own export without passwords, added back: every row is refused in the preview
// ("no password"), Add adds nothing, and nothing is sent. Passwords show masked.
void TestAccountFiles::passwordlessFileAddsNothing()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, AccountsCsv({{QStringLiteral("new1"), false, QString()}, {QStringLiteral("new2"), true, QString()}},
                                false));
    s.files->chooseImportFile = [&] { return path; };
    const int requests = s.sim.received.size();
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    BulkAddDialog* d = s.files->dialog();
    QVERIFY(d);
    BulkRowModel* m = d->model();
    QCOMPARE(m->rowCount(), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(m->index(r, BulkRowModel::VerdictColumn).data().toString(), QStringLiteral("no password"));
        QCOMPARE(m->index(r, BulkRowModel::PasswordColumn).data().toString(), QString());
    }
    QCOMPARE(m->headerData(BulkRowModel::PasswordColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Password"));
    QCOMPARE(d->addButton()->text(), QStringLiteral("Add 0 Accounts"));
    QVERIFY(!d->addButton()->isEnabled());
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QCOMPARE(Requests(s.sim, "useradd"), 0);
    QCOMPARE(s.sim.received.size(), requests);
    d->close();

    // With passwords, the column shows them masked, one star a character.
    WriteFile(path, "name,password\nann,Secret-1\n");
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    QTRY_VERIFY(s.files->dialog() && s.files->dialog() != d);
    m = s.files->dialog()->model();
    QCOMPARE(m->index(0, BulkRowModel::PasswordColumn).data().toString(), QStringLiteral("********"));
    for (int c = 0; c < BulkRowModel::ColumnCount; ++c)
        QVERIFY(!m->index(0, c).data().toString().contains("Secret"));
}

// A first row made only of column names is a header; one naming a column twice or without the
// name column is refused (nothing read); a row holding anything else is data.
void TestAccountFiles::headerRows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no name column") << QByteArray("password,kind\npw,user\n")
                                    << "its first row names columns (password, kind) but no name column" << QStringList{};
    QTest::newRow("name twice") << QByteArray("name,name\nann,pw\n")
                                << "its first row names the name column twice (\"name\" and \"name\")" << QStringList{};
    QTest::newRow("name and account") << QByteArray("Name,Account,Password\nann,x,pw\n")
                                      << "its first row names the name column twice (\"Name\" and \"Account\")"
                                      << QStringList{};
    QTest::newRow("password alone") << QByteArray("password\n") << "its first row names columns (password) but no name column"
                                    << QStringList{};
    QTest::newRow("a header") << QByteArray("password,name\npw,ann\n") << "" << QStringList{"2 ann U ok"};
    QTest::newRow("a name among the names is data") << QByteArray("name,secret\nann,pw\n") << ""
                                                     << QStringList{"1 name U ok", "2 ann U ok"};
}

void TestAccountFiles::headerRows()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, refusal);
    QFETCH(QStringList, expected);
    QString why;
    const BulkAccountRows rows = ReadBulkAccounts(file, {}, &why);
    QCOMPARE(why, refusal);
    QCOMPARE(Verdicts(rows), expected);
}

void TestAccountFiles::refusedHeaderAddsNothing()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, "password,kind\npw,user\n");
    s.files->chooseImportFile = [&] { return path; };
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    QVERIFY(!s.files->dialog());
    QCOMPARE(s.fx.messages.texts().size(), 1);
    const QString text = s.fx.messages.texts().first();
    QVERIFY2(text.contains("its first row names columns (password, kind) but no name column"), qPrintable(text));
    QVERIFY(text.endsWith("No account was added to example.com."));
    QCOMPARE(Requests(s.sim, "useradd"), 0);
}

// The read-back's login is refused: the rows the server confirmed stay "added" (the account list
// of before the run settles nothing), and the summary says the read-back failed.
void TestAccountFiles::readBackLoginFailsKeepsConfirmedRows()
{
    Session s;
    OPEN_DOMAIN(s);
    const QString path = s.fx.dir.filePath(QStringLiteral("in.csv"));
    WriteFile(path, "u1,p\nu2,p\n");
    s.files->chooseImportFile = [&] { return path; };
    QTest::mouseClick(s.files->addFromFileButton(), Qt::LeftButton);
    BulkAddDialog* d = s.files->dialog();
    QVERIFY(d);
    // Once the last row is answered, the server refuses every login: the read-back's too.
    connect(s.files->runner(), &BulkAddRunner::rowFinished, d, [&](int row, bool, const QString&) {
        if (row == 1)
            s.sim.faults.refuseCommand = QStringLiteral("<login>");
    });
    const int listsBefore = Requests(s.sim, "userlist");
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QTRY_VERIFY(!s.files->runner()->running());
    QCOMPARE(Requests(s.sim, "useradd"), 2);
    QCOMPARE(Requests(s.sim, "userlist"), listsBefore);  // the read-back never got past its login
    QCOMPARE(d->model()->outcome(0), QStringLiteral("added"));
    QCOMPARE(d->model()->outcome(1), QStringLiteral("added"));
    QVERIFY(s.sim.state.account(Domain, "u1") && s.sim.state.account(Domain, "u2"));
    QVERIFY2(d->summary().startsWith(QStringLiteral("2 added to example.com, 0 not added. Reading the domain's "
                                                    "accounts back failed")),
             qPrintable(d->summary()));
    QVERIFY(s.fx.messages.messages.isEmpty());  // the dialog tells of it, no message box
}

// Many rows kept compact: every row's texts come back as read, the verdicts as codes, and a copy
// shares the rows.
void TestAccountFiles::compactRows()
{
    QByteArray file("name,password,kind\n");
    for (int i = 0; i < 20000; ++i)
        file += QByteArray("User") + QByteArray::number(i) + ",pw-" + QByteArray::number(i) + (i % 2 ? ",list\n" : ",user\n");
    file += "user7,again,user\n";
    const BulkAccountRows rows = ReadBulkAccounts(file, {QStringLiteral("user3")});
    QCOMPARE(rows.size(), 20001);
    QCOMPARE(rows.okCount(), 19999);
    QCOMPARE(rows.name(12345), QStringLiteral("user12345"));
    QCOMPARE(rows.password(12345), QStringLiteral("pw-12345"));
    QCOMPARE(rows.kind(12345), QStringLiteral("M"));
    QCOMPARE(rows.line(12345), 12347);
    QCOMPARE(rows.verdict(3), QStringLiteral("already in the domain"));
    QCOMPARE(rows.verdict(20000), QStringLiteral("twice in the file (first on line 9)"));
    const BulkAccountRows copy = rows;
    QCOMPARE(copy.at(20000).password, QStringLiteral("again"));
}

QTEST_MAIN(TestAccountFiles)
#include "tst_accountfiles.moc"
