// tazel-sim: the simulated Tazel server as a program, for the demo and for trying the window by hand.
//
//   tazel-sim [--port N] [--data FILE] [--save FILE] [--server-version V] [--no-timestamp]
//             [--login L --password P] [--delay MS]
//   tazel-sim --write-settings FILE --port N [--login L --password P]
//   tazel-sim --version | --help
//
// The second form writes a settings file holding one server record that points at a simulator on
// that port, so the window can be started on a throw-away store.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "sim/TazelSim.h"
#include "store/ServerStore.h"

static int signalPipe[2] = {-1, -1};

static void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// Turns SIGINT and SIGTERM into a normal end of the event loop, so that --save still runs.
static void QuitOnSignals(QCoreApplication& app)
{
    if (::pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

// The data file, as --help and tazel-sim(1) describe it (sim/SimState.cpp reads and writes it).
static const char DataFileHelp[] =
    "\n"
    "Data file (--data, --save): UTF-8 text, one record a line, its fields separated by one TAB;\n"
    "empty lines and lines starting with # are skipped. In a field \\t, \\r, \\n and \\\\ stand for\n"
    "a TAB, CR, LF and a backslash. Names are compared without regard to case; a domain or an\n"
    "account comes before the records that name it.\n"
    "  domain      DOMAIN\n"
    "  account     DOMAIN  NAME  PASSWORD  KIND          KIND: U (user) or M (mailing list)\n"
    "  var         DOMAIN  ACCOUNT  NAME  VALUE          RealName, HomePage, MaxMBSize, ClosedML, ...\n"
    "  member      DOMAIN  LIST  ADDRESS  ACCESS         ACCESS: R or RW\n"
    "  alias       DOMAIN  ALIAS  TARGET                 TARGET: an account, or an address\n"
    "  mailproc    DOMAIN  ACCOUNT                       the account has a mailproc.tab (maybe empty)\n"
    "  procline    DOMAIN  ACCOUNT  LINE                 one line of it as the server keeps it, the rest\n"
    "                                                    of the line, TABs too: \"redirect\"<TAB>\"a@b.org\"\n"
    "  custdomain  DOMAIN\n"
    "  custline    DOMAIN  LINE                          one line of the custom domain's file\n"
    "  pop3        DOMAIN  ACCOUNT  SERVER  USER  PASSWORD  AUTH  ENABLED\n"
    "                                                    AUTH: CLR or APOP; ENABLED: 1 or 0\n"
    "A file that breaks these rules is refused with its line number. --save writes the same form.\n";

static int WriteSettings(const QString& path, int port, const QString& login, const QString& password)
{
    QSettings s(path, QSettings::IniFormat);
    const QString section = ServerSection(1);
    WriteServerRecord(s, section, {QStringLiteral("Tazel simulator"), QStringLiteral("127.0.0.1"),
                                   QString::number(port), login, password});
    WriteSetting(s, Store::ServersSection, Store::ServerCountKey, QStringLiteral("1"));
    if (s.status() != QSettings::NoError) {
        std::fprintf(stderr, "tazel-sim: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QuitOnSignals(app);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A simulated Tazel mail server on 127.0.0.1."));
    const QCommandLineOption helpOpt = parser.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                     QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption dataOpt(QStringLiteral("data"), QStringLiteral("Data file to load (default: the sample)."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption saveOpt(QStringLiteral("save"), QStringLiteral("Save the data there on exit."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption serverVersionOpt(QStringLiteral("server-version"),
                                              QStringLiteral("Server version to announce (default 0.70)."),
                                              QStringLiteral("V"), QStringLiteral("0.70"));
    // Before --server-version existed, --version V announced V; it still does when given a value.
    const QCommandLineOption versionOpt(QStringLiteral("version"),
                                        QStringLiteral("Print the program's version and exit (--version V: as "
                                                       "--server-version V)."),
                                        QStringLiteral("V"));
    const QCommandLineOption noStampOpt(QStringLiteral("no-timestamp"),
                                        QStringLiteral("Greet without a timestamp (plain login only)."));
    const QCommandLineOption loginOpt(QStringLiteral("login"), QStringLiteral("Administrator login."),
                                      QStringLiteral("L"), QStringLiteral("admin"));
    const QCommandLineOption passOpt(QStringLiteral("password"), QStringLiteral("Administrator password."),
                                     QStringLiteral("P"), QStringLiteral("secret"));
    const QCommandLineOption settingsOpt(QStringLiteral("write-settings"),
                                         QStringLiteral("Write a settings file with one server record and exit."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption delayOpt(QStringLiteral("delay"),
                                      QStringLiteral("Answer every request (and greet) after MS milliseconds, as a distant server does."),
                                      QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({portOpt, dataOpt, saveOpt, serverVersionOpt, versionOpt, noStampOpt, loginOpt, passOpt,
                       settingsOpt, delayOpt});
    // "--version" with no value after it (the last argument, or another option next) asks for the
    // program's version, as it does of every other program.
    QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--"))
            break;
        if (args[i] == QLatin1String("--version") && (i + 1 == args.size() || args[i + 1].startsWith(QLatin1Char('-')))) {
            std::printf("tazel-sim %s\n", TAZEL_VERSION);
            return 0;
        }
    }
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tazel-sim: %s\nTry 'tazel-sim --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOpt)) {
        std::printf("%s%s", qPrintable(parser.helpText()), DataFileHelp);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tazel-sim: unexpected argument \"%s\"\n", qPrintable(parser.positionalArguments().first()));
        return 2;
    }

    bool portOk = false;
    const int port = parser.value(portOpt).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535) {
        std::fprintf(stderr, "tazel-sim: --port wants a number from 0 to 65535\n");
        return 2;
    }
    bool delayOk = false;
    const int delay = parser.value(delayOpt).toInt(&delayOk);
    if (!delayOk || delay < 0 || delay > 600000) {
        std::fprintf(stderr, "tazel-sim: --delay wants a number of milliseconds from 0 to 600000\n");
        return 2;
    }
    if (parser.isSet(settingsOpt))
        return WriteSettings(parser.value(settingsOpt), port, parser.value(loginOpt), parser.value(passOpt));

    TazelSim sim;
    sim.recording = false;  // nobody reads the record here
    sim.version = parser.isSet(versionOpt) ? parser.value(versionOpt) : parser.value(serverVersionOpt);
    if (parser.isSet(noStampOpt))
        sim.timestamp.clear();
    sim.adminLogin = parser.value(loginOpt);
    sim.adminPassword = parser.value(passOpt);
    sim.faults.delayMs = delay;
    if (parser.isSet(dataOpt)) {
        QString error;
        if (!sim.loadFile(parser.value(dataOpt), &error)) {
            std::fprintf(stderr, "tazel-sim: %s\n", qPrintable(error));
            return 1;
        }
    } else {
        sim.loadSample();
    }
    if (!sim.listen(quint16(port))) {
        std::fprintf(stderr, "tazel-sim: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", unsigned(sim.port()));
    std::fflush(stdout);

    const int rc = app.exec();
    if (parser.isSet(saveOpt)) {
        QString error;
        if (!sim.saveFile(parser.value(saveOpt), &error)) {
            std::fprintf(stderr, "tazel-sim: cannot save: %s\n", qPrintable(error));
            return 1;
        }
    }
    return rc;
}
