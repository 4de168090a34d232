// tazel-askpass: ssh's questions in a dialog of the window (SSH_ASKPASS). ssh runs it with its
// prompt as the one argument and reads the answer from standard output; a non-zero exit is a
// cancel. The answer is never written anywhere else.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "askpass/AskpassDialog.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString prompt = args.size() > 1 ? args.at(1) : QStringLiteral("Password:");
    AskpassDialog dialog(prompt);

    // An ssh that is ended (Cancel in the window) leaves nobody to answer: the dialog goes too.
    const pid_t parent = getppid();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &dialog, [&dialog, parent] {
        if (getppid() != parent)
            dialog.reject();
    });
    watch.start(500);

    if (dialog.exec() != QDialog::Accepted)
        return 1;
    const QByteArray answer = dialog.answer().toLocal8Bit() + '\n';
    return std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout) == size_t(answer.size()) &&
                   std::fflush(stdout) == 0
               ? 0
               : 1;
}
