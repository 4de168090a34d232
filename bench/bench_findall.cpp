// Find on All Servers against eight separate tazel-sim processes over loopback, started the way a
// user starts it (Edit > Find on All Servers..., a text typed, Search), the main window open beside it.
// One line per figure: the figure, the target, and "ok" or "short".
//
//   bench_findall [DOMAINS] [ACCOUNTS_PER_DOMAIN]      (default 1000 100)
//
// First eight servers that each answer every request after 100 ms: the search of all eight against
// the slowest of them alone. Then eight servers of DOMAINS domains of ACCOUNTS_PER_DOMAIN accounts
// each, every domain's accounts searched.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "bench/BenchKit.h"
#include "bench/QuietMessages.h"
#include "session/ServerSearch.h"
#include "store/ServerStore.h"
#include "window/FindAllDialog.h"
#include "window/MainMenu.h"
#include "window/frmMain.h"

namespace {

constexpr int Servers = 8;

// Eight simulators on one data file, stored as server1 ... server8.
bool StartServers(std::vector<std::unique_ptr<Sim>>& sims, QSettings& settings, const QString& data,
                  const QStringList& arguments)
{
    sims.clear();
    for (int i = 1; i <= Servers; ++i) {
        sims.push_back(std::make_unique<Sim>());
        if (!sims.back()->start(data, arguments))
            return false;
        WriteServerRecord(settings, ServerSection(i), {QStringLiteral("server%1").arg(i), QStringLiteral("127.0.0.1"),
                                                        sims.back()->port, QStringLiteral("admin"), QStringLiteral("secret")});
    }
    WriteSetting(settings, Store::ServersSection, Store::ServerCountKey, QString::number(Servers));
    return true;
}

// Runs the dialog's search as the user starts it; returns the seconds taken and whether every
// server answered.
double SearchThroughTheWindow(GapWatch& gaps, FindAllDialog& dialog, const QString& text, bool accounts, bool* answered)
{
    dialog.txtFind->setText(text);
    dialog.chkAccounts->setChecked(accounts);
    const double seconds = gaps.run([&] { QTest::mouseClick(dialog.cmdSearch, Qt::LeftButton); },
                                    [&] { return !dialog.Search->IsRunning(); });
    *answered = dialog.Search->AllAnswered();
    return seconds;
}

// The window at its working size with its Find on All Servers window open; null when that did not open.
FindAllDialog* OpenFindAll(frmMain& window)
{
    window.resize(800, 600);
    window.show();
    window.Menu->findAllAction()->trigger();
    return window.findChild<FindAllDialog*>();
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int domains = argc > 1 ? atoi(argv[1]) : 1000;
    const int perDomain = argc > 2 ? atoi(argv[2]) : 100;
    bool allOk = true;
    char label[200];

    QTemporaryDir dir;
    const QString samplePath = dir.filePath(QStringLiteral("sample.tzs"));
    const QString bigPath = dir.filePath(QStringLiteral("big.tzs"));
    {
        QByteArray out = "domain\texample.com\naccount\texample.com\talice\tpw\tU\n"
                         "domain\texample.org\naccount\texample.org\tbob\tpw\tU\ncustdomain\tlists.example.net\n";
        if (!WriteFile(samplePath, out))
            return 1;
        out.clear();
        out.reserve(qsizetype(domains) * perDomain * 40);
        char line[128];
        for (int d = 0; d < domains; ++d) {
            const int n = std::snprintf(line, sizeof line, "domain\td%04d.example\n", d);
            out.append(line, n);
            for (int a = 0; a < perDomain; ++a) {
                const int m = std::snprintf(line, sizeof line, "account\td%04d.example\tuser%04d\tpw\tU\n", d, a);
                out.append(line, m);
            }
            const int k = std::snprintf(line, sizeof line, "alias\td%04d.example\tpostmaster\tuser0000\n", d);
            out.append(line, k);
        }
        if (!WriteFile(bigPath, out))
            return 1;
    }

    QSettings settings(dir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    QuietMessages messages;
    std::vector<std::unique_ptr<Sim>> sims;

    // ---- eight servers answering after 100 ms each
    if (!StartServers(sims, settings, samplePath, {QStringLiteral("--delay"), QStringLiteral("100")}))
        return 1;
    {
        // Each server alone, through the search itself: the slowest of them is the mark.
        double slowest = 0;
        const QList<SearchServer> all = StoredSearchServers(settings);
        for (const SearchServer& server : all) {
            ServerSearch alone;
            QElapsedTimer clock;
            clock.start();
            alone.Start({server}, QStringLiteral("example"), false);
            while (alone.IsRunning())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            slowest = std::max(slowest, clock.nsecsElapsed() / 1e9);
            if (!alone.AllAnswered()) {
                std::fprintf(stderr, "%s did not answer alone: %s\n", qPrintable(server.name),
                             qPrintable(alone.Status(0).text()));
                allOk = false;
            }
        }
        frmMain window(&settings, &messages);
        FindAllDialog* dialog = OpenFindAll(window);
        if (!dialog)
            return 1;
        GapWatch gaps;
        bool answered = false;
        const double seconds = SearchThroughTheWindow(gaps, *dialog, QStringLiteral("example"), false, &answered);
        if (!answered || dialog->ResultCount() != 3 * Servers) {
            std::fprintf(stderr, "the search found %d results, every server answered: %d\n", dialog->ResultCount(),
                         int(answered));
            allOk = false;
        }
        std::printf("find: the slowest server alone in %.3f s, all %d at once in %.3f s\n", slowest, Servers, seconds);
        const double ratio = seconds / slowest;
        std::snprintf(label, sizeof label, "%d servers answering after 100 ms, against the slowest alone", Servers);
        Figure(label, ratio, "x", "at most 1.3 x", ratio <= 1.3 && answered);
        std::snprintf(label, sizeof label, "the search of %d servers answering after 100 ms", Servers);
        gaps.report(label);
    }

    // ---- every domain's accounts of eight big servers
    if (!StartServers(sims, settings, bigPath, {}))
        return 1;
    {
        frmMain window(&settings, &messages);
        FindAllDialog* dialog = OpenFindAll(window);
        if (!dialog)
            return 1;
        GapWatch gaps;
        bool answered = false;
        const double seconds = SearchThroughTheWindow(gaps, *dialog, QStringLiteral("user0042"), true, &answered);
        const int expected = Servers * domains * (perDomain > 42 ? 1 : 0);
        const bool complete = answered && dialog->ResultCount() == expected;
        if (!complete) {
            std::fprintf(stderr, "the search found %d results of %d, every server answered: %d\n",
                         dialog->ResultCount(), expected, int(answered));
            allOk = false;
        }
        std::snprintf(label, sizeof label, "every domain's accounts of %d servers of %d domains of %d accounts", Servers,
                      domains, perDomain);
        std::printf("%s: %.2f s, target none (the figure), %s\n", label, seconds, complete ? "ok" : "short");
        std::snprintf(label, sizeof label, "every domain's accounts of %d servers (%d accounts)", Servers,
                      Servers * domains * perDomain);
        gaps.report(label);
    }

    if (messages.count != 0)
        allOk = false;
    return allOk ? 0 : 1;
}
