#include "cli/Passwords.h"

#include "cli/ExitCodes.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <csignal>
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
    const QByteArray line = f.readLine(65536);
    if (f.error() != QFileDevice::NoError) {
        *error = QStringLiteral("The password file %1 cannot be read: %2.").arg(path, f.errorString());
        return false;
    }
    *password = FirstLine(line);
    return true;
}

bool ReadPasswordStdin(QString* password, QString* error, int* exitCode)
{
    // At most 64 KiB, as from --password-file: a line longer than that is no password typed or
    // kept anywhere, and cutting it would set another password than the one given.
    constexpr int Limit = 65536;
    QByteArray line;
    int c = 0;
    while (line.size() <= Limit && (c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    if (std::ferror(stdin)) {
        *error = QStringLiteral("Standard input cannot be read: %1; nothing was changed.").arg(QString::fromLocal8Bit(std::strerror(errno)));
        *exitCode = Exit::NoInput;
        return false;
    }
    if (line.size() > Limit) {
        *error = QStringLiteral("The password on standard input is longer than 64 KiB; nothing was changed.");
        *exitCode = Exit::DataErr;
        return false;
    }
    *password = FirstLine(line);
    return true;
}

namespace {

// The terminal's settings while a prompt has echo off, for the signal handlers: a signal that ends
// or stops the program at the prompt (Ctrl+C, Ctrl+\, Ctrl+Z, a kill, a hang-up) gives the
// terminal its echo back first. Only async-signal-safe calls are made in the handler.
int promptFd = -1;
termios promptOld{}, promptQuiet{};
constexpr int PromptSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU};
struct sigaction promptSaved[sizeof PromptSignals / sizeof PromptSignals[0]];

void RestoreTerminalAndRaise(int sig)
{
    const int saved = errno;
    ::tcsetattr(promptFd, TCSANOW, &promptOld);
    // The signal's own action, as it was before the prompt: the program ends or stops as it would.
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    struct sigaction ours {};
    ::sigaction(sig, &deflt, &ours);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    // Back from a stop (Ctrl+Z, then fg): the prompt goes on without echo.
    ::sigaction(sig, &ours, nullptr);
    ::tcsetattr(promptFd, TCSANOW, &promptQuiet);
    errno = saved;
}

void CatchPromptSignals()
{
    for (size_t i = 0; i < sizeof PromptSignals / sizeof PromptSignals[0]; ++i) {
        struct sigaction sa {};
        sa.sa_handler = RestoreTerminalAndRaise;
        sigemptyset(&sa.sa_mask);
        ::sigaction(PromptSignals[i], nullptr, &promptSaved[i]);
        // A signal the program was started to ignore (a job in the background) stays ignored.
        if (promptSaved[i].sa_handler != SIG_IGN)
            ::sigaction(PromptSignals[i], &sa, nullptr);
    }
}

void ReleasePromptSignals()
{
    for (size_t i = 0; i < sizeof PromptSignals / sizeof PromptSignals[0]; ++i)
        ::sigaction(PromptSignals[i], &promptSaved[i], nullptr);
}

}  // namespace

bool PromptPassword(const QString& prompt, QString* password, QString* error)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0 || !::isatty(fd)) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("No terminal to ask for the password on.");
        return false;
    }
    // Echo goes off before the prompt is shown, so nothing typed after it can be echoed or lost;
    // it comes back on every way out: the line's end, the input's end, an error or a signal.
    const bool haveTerm = ::tcgetattr(fd, &promptOld) == 0;
    if (haveTerm) {
        promptFd = fd;
        promptQuiet = promptOld;
        promptQuiet.c_lflag &= ~tcflag_t(ECHO);
        promptQuiet.c_lflag |= ECHONL;
        CatchPromptSignals();
        ::tcsetattr(fd, TCSAFLUSH, &promptQuiet);
    }
    const QByteArray text = prompt.toUtf8();
    [[maybe_unused]] ssize_t n = ::write(fd, text.constData(), size_t(text.size()));
    QByteArray line;
    char c;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != 1 || c == '\n')
            break;
        line.append(c);
    }
    if (haveTerm) {
        ::tcsetattr(fd, TCSANOW, &promptOld);
        ReleasePromptSignals();
        promptFd = -1;
    }
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
