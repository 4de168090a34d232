#include "cli/InputFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString InputName(const QString& path)
{
    return path.isEmpty() || path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

QString InputKindProblem(int fd, const QString& name)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return QString();
    const QString what = S_ISDIR(st.st_mode)   ? QStringLiteral("a folder")
                         : ::isatty(fd)        ? QStringLiteral("a terminal")
                         : S_ISCHR(st.st_mode) ? QStringLiteral("a device")
                                               : QStringLiteral("no regular file");
    return QStringLiteral("%1 cannot be read: it is %2, not a file or a pipe").arg(name, what);
}

bool ReadWholeInput(const QString& path, QByteArray* bytes, QString* error)
{
    const QString name = InputName(path);
    const bool fromStdin = name != path;
    const int fd = fromStdin ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct Closer {
        int fd;
        bool own;
        ~Closer()
        {
            if (own)
                ::close(fd);
        }
    } closer{fd, !fromStdin};
    *error = InputKindProblem(fd, name);
    if (!error->isEmpty())
        return false;
    bytes->clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
            bytes->clear();
            return false;
        }
        bytes->append(chunk, qsizetype(n));
    }
}
