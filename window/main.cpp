#include <QApplication>

#include "window/frmMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tazel Administrator"));
    QApplication::setApplicationName(QStringLiteral("Tazel Administrator"));
    frmMain window;
    window.show();
    return app.exec();
}
