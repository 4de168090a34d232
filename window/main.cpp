#include <QApplication>
#include <QCommandLineParser>
#include <cstring>

#include "window/AppIcon.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

// --help and --version are answered before any window system is opened, so both work in a terminal
// with no display (and in a package's checks). Any other argument goes to Qt as it always did.
static bool AsksForHelpOrVersion(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

static void SetNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tazel Administrator"));
    QCoreApplication::setApplicationName(QStringLiteral("Tazel Administrator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAZEL_VERSION));
}

static int AnswerHelpOrVersion(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SetNames();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Manages the servers, domains and accounts of Tazel mail servers in a window.\n"
        "Passwords of stored servers are kept in the system keyring (the Secret Service), or in the\n"
        "settings file when no keyring runs; a server can be reached through an SSH host (SSH... on\n"
        "its panel). Menus: File (add a server, print, export and add accounts, move passwords to the\n"
        "keyring), Edit (Find on All Servers), View (reload, the activity log), Help.\n"
        "Qt's own options (-platform, -style, -reverse, ...) are accepted too."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("no-keyring"),
                                        QStringLiteral("Keep every password in the settings file and ask no "
                                                       "system keyring.")));
    parser.process(app);  // prints the answer and ends the program
    return 0;
}

int main(int argc, char** argv)
{
    if (AsksForHelpOrVersion(argc, argv))
        return AnswerHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    SetNames();
    QApplication::setDesktopFileName(QStringLiteral("org.tazel.Administrator"));
    QApplication::setWindowIcon(AppIcon());
    // Every password stays in the settings file and no keyring is asked: for a throw-away store
    // (the demo's), whose records must not reach the keyring entries of the user's own.
    if (QCoreApplication::arguments().contains(QStringLiteral("--no-keyring")))
        ServerPasswords::SetStoreFactory([] { return std::unique_ptr<PasswordStore>(); });
    frmMain window;
    window.show();
    return app.exec();
}
