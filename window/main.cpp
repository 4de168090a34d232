#include <QApplication>

#include "window/AppIcon.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tazel Administrator"));
    QApplication::setApplicationName(QStringLiteral("Tazel Administrator"));
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
