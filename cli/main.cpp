// tazelctl, the command-line companion of Tazel Administrator: a Qt Core program (no window).

#include <QCoreApplication>

#include "cli/Tazelctl.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tazelctl"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return RunTazelctl(args);
}
