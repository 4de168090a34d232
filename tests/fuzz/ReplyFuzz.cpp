// The reply path under arbitrary bytes: the window runs a real script against the simulated server,
// whose answer to one command is replaced by the input, delivered in chunks of a size the input
// chooses. Whatever the bytes, the program must not crash, the queue must move on, and no file may
// be written to the server unless the program read it whole and sends back exactly its lines.
//
// Input: byte 0 picks the script, byte 1 the command whose answer is replaced, byte 2 the chunk size
// (0: one piece); the rest is the answer. Built with libFuzzer (`make fuzz`) and, in every test run,
// as a replay of the corpus in tests/fuzz/corpus.

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "protocol/Protocol.h"
#include "sim/TazelSim.h"
#include "tests/TestKit.h"
#include "window/frmMain.h"

namespace {

const QString ServerKey = QStringLiteral("server1");
const QString Alice = frmMain::AccountNodeKey(frmMain::DomainNodeKey(ServerKey, "example.com"), "alice");
const QString Custom = frmMain::CustomDomainNodeKey(ServerKey, "lists.example.net");
const QString ExampleCom = frmMain::DomainNodeKey(ServerKey, "example.com");

struct Script {
    QStringList setup;     // nodes clicked first (their answers not replaced)
    QStringList commands;  // the answers the input may replace, the download first for the saves
    std::function<void(frmMain&)> action;  // nothing: the last click is the action
    bool savesUnedited = false;  // the action saves the file it downloaded, unedited
};

const QList<Script>& Scripts()
{
    static const QList<Script> scripts = {
        {{}, {"<greeting>", "<login>", "domainlist", "custdomlist"},
         [](frmMain& w) { w.QueueLoadDomains(ServerKey, true); }},
        {{ServerKey}, {"userlist"}, [](frmMain& w) { w.QueueLoadUsers(ExampleCom, true); }},
        {{ServerKey, ExampleCom}, {"userlist", "aliaslist", "uservars", "usergetmproc", "poplnklist"},
         [](frmMain& w) { w.QueueLoadAccount(Alice); }},
        {{ServerKey}, {"custdomget"}, [](frmMain& w) { w.QueueLoadCustomDomain(Custom); }},
        // The download's answer replaced, then the file saved as it stands.
        {{ServerKey, ExampleCom, Alice}, {"usergetmproc"}, [](frmMain& w) { w.cmdSaveAdvanced_Click(); }, true},
        {{ServerKey, Custom}, {"custdomget"}, [](frmMain& w) { w.cmdSaveDomainAdvanced_Click(); }, true},
        // The answers to the save itself replaced.
        {{ServerKey, ExampleCom, Alice}, {"usersetmproc", "usersetmproc sent", "usergetmproc"},
         [](frmMain& w) {
             w.txtRedirect->setText("new@x.com");
             w.cmdAddRedirect_Click();
         }},
        {{ServerKey, Custom}, {"custdomset", "custdomset sent"},
         [](frmMain& w) {
             w.txtDomainRedirect->setText("new@x.com");
             w.cmdAddDomainRedirect_Click();
         }},
    };
    return scripts;
}

void Fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "reply fuzz: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

// The lines of a file download as the answer carries them: a "+" line, the file's lines, then a
// line made of ".". Nothing when the answer holds no such whole download (or a file line starts
// with "-", which cannot be told from the server's error answer).
std::optional<QStringList> WholeDownload(const QByteArray& answer)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype end = answer.indexOf("\r\n", from);
        if (end < 0)
            break;
        lines << answer.mid(from, end - from);
        from = end + 2;
    }
    if (lines.isEmpty() || !lines.first().startsWith('+'))
        return std::nullopt;
    QStringList file;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i) == ".")
            return file;
        if (lines.at(i).startsWith('-'))
            return std::nullopt;
        file << Wire::decode(lines.at(i));
    }
    return std::nullopt;
}

struct Harness {
    std::unique_ptr<WindowFixture> fx;
    TazelSim sim;
    SimState base;

    Harness()
    {
        sim.loadSample();
        base = sim.state;
        sim.listen();
    }
    bool idle(frmMain& w)
    {
        return QTest::qWaitFor([&w] { return w.Session->DriverIsIdle(); }, 20000);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char arg0[] = "reply_fuzz";
    static char* argv[] = {arg0, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    static Harness* h = new Harness;
    Q_UNUSED(app);
    if (size < 3)
        return 0;

    const Script& script = Scripts().at(data[0] % Scripts().size());
    const QString command = script.commands.at(data[1] % script.commands.size());
    const int chunk = data[2];
    const QByteArray answer(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3));

    // A fresh window and server for each input, so that one input never depends on another.
    h->fx = std::make_unique<WindowFixture>();
    h->fx->addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), h->sim.port());
    frmMain& w = h->fx->open();
    w.Session->ReplyTimeoutMs = 300;  // an answer that never ends is abandoned soon
    w.Session->LineTimeoutMs = 500;
    h->sim.state = h->base;
    h->sim.faults = SimFaults{};

    SimFaults faults;
    faults.scriptedReplies.insert(command, answer);
    faults.chunkSize = chunk;
    const bool replaceInSetup = script.savesUnedited;
    if (replaceInSetup)
        h->sim.faults = faults;
    for (const QString& key : script.setup) {
        const QModelIndex node = w.NodeByKey(key);
        if (!node.isValid())
            break;  // a replaced answer left no such node: the action below finds none either
        w.DomainList_NodeClick(node);
        if (!h->idle(w))
            Fail("the queue did not move on in the set-up", QString::fromLatin1(answer.toPercentEncoding()));
    }
    if (!replaceInSetup)
        h->sim.faults = faults;
    h->sim.clearRecord();
    script.action(w);
    if (!h->idle(w) || !w.Session->lstCommand.isEmpty())
        Fail("the queue did not move on", QString::fromLatin1(answer.toPercentEncoding()));

    QList<QStringList> uploads;
    for (const QList<QByteArray>& body : std::as_const(h->sim.uploadBodies)) {
        QStringList lines;
        for (const QByteArray& line : body)
            lines << Wire::decode(line);
        uploads << lines;
    }
    if (script.savesUnedited) {
        // An upload only of a whole download, and then of exactly its lines.
        const auto file = WholeDownload(answer);
        for (QStringList upload : uploads) {
            if (!file)
                Fail("a file was saved that was not read whole", QString::fromLatin1(answer.toPercentEncoding()));
            QStringList expected = *file;
            expected.sort();
            upload.sort();
            // Saving nothing keeps a custom domain alive with one empty line.
            if (upload != expected && !(expected.isEmpty() && upload == QStringList{QString()}))
                Fail("a file was not saved back as it came",
                     QString::fromLatin1(answer.toPercentEncoding()) + "\n-> " + upload.join("|"));
        }
    }
    // No partial upload: every body the window began, it ended with its ".".
    if (h->sim.uploadsCutShort > 0)
        Fail("an upload was cut short", QString::fromLatin1(answer.toPercentEncoding()));
    h->fx.reset();
    return 0;
}
