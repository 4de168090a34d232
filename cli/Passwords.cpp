#include "cli/Passwords.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

static QString FirstLine(const QByteArray& bytes)
{
    qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        end = bytes.size();
    QByteArray line = bytes.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

bool ReadPasswordFile(const QString& path, QString* password, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The password file %1 cannot be read: %2.").arg(path, f.errorString());
        return false;
    }
    *password = FirstLine(f.readLine(65536));
    return true;
}

bool ReadPasswordStdin(QString* password, QString* error)
{
    QByteArray line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    if (line.isEmpty() && c == EOF && std::ferror(stdin)) {
        *error = QStringLiteral("Standard input cannot be read.");
        return false;
    }
    *password = FirstLine(line);
    return true;
}

bool PromptPassword(const QString& prompt, QString* password, QString* error)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0 || !::isatty(fd)) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("No terminal to ask for the password on.");
        return false;
    }
    // Echo goes off before the prompt is shown, so nothing typed after it can be echoed or lost.
    termios old{};
    const bool haveTerm = ::tcgetattr(fd, &old) == 0;
    if (haveTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    const QByteArray text = prompt.toUtf8();
    [[maybe_unused]] ssize_t n = ::write(fd, text.constData(), size_t(text.size()));
    QByteArray line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line.append(c);
    if (haveTerm)
        ::tcsetattr(fd, TCSANOW, &old);
    ::close(fd);
    *password = FirstLine(line);
    return true;
}

bool PromptNewPassword(const QString& what, QString* password, bool* mismatch, QString* error)
{
    *mismatch = false;
    QString first, second;
    if (!PromptPassword(QStringLiteral("New %1: ").arg(what), &first, error) ||
        !PromptPassword(QStringLiteral("New %1 again: ").arg(what), &second, error))
        return false;
    if (first != second) {
        *mismatch = true;
        *error = QStringLiteral("The two passwords differ; nothing was changed.");
        return false;
    }
    *password = first;
    return true;
}
