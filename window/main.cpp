#include <QApplication>

#include "window/AppIcon.h"
#include "window/frmMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tazel Administrator"));
    QApplication::setApplicationName(QStringLiteral("Tazel Administrator"));
    QApplication::setDesktopFileName(QStringLiteral("org.tazel.Administrator"));
    QApplication::setWindowIcon(AppIcon());
    frmMain window;
    window.show();
    return app.exec();
}
