// tazel-sshrelay: the network end of a shared SSH connection, run by ssh as its ProxyCommand.
//
// It connects to the SSH host and relays bytes between ssh (standard input and output) and the
// socket, one thread each way, acknowledging what it receives at once. A shared connection carries one short channel per
// script: the SSH host sends the channel's confirmation and the control server's greeting as two
// small packets, and it holds the second until the first is acknowledged. A socket of ssh's own
// acknowledges on its system's delayed-acknowledgement timer (40 ms on Linux), so every script
// would wait that long for its greeting; this relay's acknowledgements go out as the data comes in.
//
// Usage: tazel-sshrelay [-4|-6] [-t SECONDS] [-a ATTEMPTS] [-k] [-r FILE] HOST PORT
// The options mirror what ssh does with its own socket (AddressFamily, ConnectTimeout,
// ConnectionAttempts, TCPKeepAlive). Failures go to standard error as one line each, prefixed with
// the program's name, and end it with 255 (ssh's own failure code). ssh silences its ProxyCommand's
// standard error when the connection is to be shared, so with -r a failure to connect is also
// appended to FILE (which must exist), in one write; FILE is not used once the connection stands.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>
#include <thread>
#include <vector>

#ifndef TAZEL_VERSION
#define TAZEL_VERSION "0"
#endif

namespace {

constexpr const char* Name = "tazel-sshrelay";
constexpr int Failure = 255;
constexpr size_t BufferBytes = 256 * 1024;

const char* reasonFile = nullptr;  // -r

void Say(const char* format, const char* a, const char* b = "", const char* c = "")
{
    char text[1024];
    int n = std::snprintf(text, sizeof text, "%s: ", Name);
    n += std::snprintf(text + n, sizeof text - size_t(n), format, a, b, c);
    if (n > int(sizeof text) - 2)
        n = int(sizeof text) - 2;
    text[n++] = '\n';
    text[n] = '\0';
    std::fputs(text, stderr);
    if (reasonFile) {
        const int fd = ::open(reasonFile, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) {
            if (::write(fd, text, size_t(n)) != n)
                std::fprintf(stderr, "%s: cannot write %s: %s\n", Name, reasonFile, std::strerror(errno));
            ::close(fd);
        }
    }
}

void Usage(FILE* to)
{
    std::fprintf(to,
                 "Usage: %s [-4|-6] [-t SECONDS] [-a ATTEMPTS] [-k] [-r FILE] HOST PORT\n"
                 "The network end of Tazel Administrator's SSH connections, run by ssh as its\n"
                 "ProxyCommand: connects to HOST at PORT and relays ssh's standard input and output.\n"
                 "  -4, -6       IPv4 or IPv6 only\n"
                 "  -t SECONDS   give up connecting to an address after so many seconds\n"
                 "  -a ATTEMPTS  try so many times, a second apart (1 when not given)\n"
                 "  -k           TCP keep-alives on the connection\n"
                 "  -r FILE      also append a failure to connect to FILE, which must exist\n"
                 "  --help       this text\n"
                 "  --version    the program's version\n",
                 Name);
}

bool PositiveNumber(const char* text, int* value)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < 1 || n > 86400)
        return false;
    *value = int(n);
    return true;
}

// Connects a socket to one address within the time-out (0: the system's own); -1 with errno set.
int ConnectOne(const addrinfo* a, int timeoutSeconds)
{
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0)
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    int error = 0;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) < 0) {
        if (errno != EINPROGRESS) {
            error = errno;
        } else {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            do
                ready = ::poll(&p, 1, timeoutSeconds > 0 ? timeoutSeconds * 1000 : -1);
            while (ready < 0 && errno == EINTR);
            socklen_t length = sizeof error;
            if (ready == 0)
                error = ETIMEDOUT;
            else if (ready < 0)
                error = errno;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
                error = errno;
        }
    }
    if (error != 0 || ::fcntl(fd, F_SETFL, flags) < 0) {
        ::close(fd);
        errno = error != 0 ? error : errno;
        return -1;
    }
    return fd;
}

// Writes all of it; false when the other end has gone or the write fails.
bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

void AcknowledgeAtOnce(int fd);

// One direction of the relay: from one descriptor to the other until the end of its input. The
// direction from the SSH host ends the relay when it ends: the host closed (ssh sees the end of its
// input), or ssh stopped reading. The direction to the host ends alone at the end of ssh's input;
// a failed write to the host ends the relay with the failure.
struct Pipe {
    int from;
    int to;
    const char* host;
    bool fromHost;  // reads from the SSH host's socket (acknowledged at once)
};

// Returns the relay's exit code when the direction ends.
int Copy(const Pipe p)
{
    std::vector<char> buffer(BufferBytes);
    for (;;) {
        const ssize_t n = p.fromHost ? ::recv(p.from, buffer.data(), buffer.size(), 0)
                                     : ::read(p.from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && p.fromHost) {
            Say("read from %s: %s", p.host, std::strerror(errno));
            return Failure;
        }
        if (n <= 0) {
            // ssh is done sending: the SSH host sees the end, and what it still sends comes through.
            if (!p.fromHost)
                ::shutdown(p.to, SHUT_WR);
            return 0;
        }
        if (p.fromHost)
            AcknowledgeAtOnce(p.from);
        if (!WriteAll(p.to, buffer.data(), size_t(n))) {
            if (p.fromHost)
                return 0;  // ssh has gone
            Say("write to %s: %s", p.host, std::strerror(errno));
            return Failure;
        }
    }
}

void AcknowledgeAtOnce(int fd)
{
#ifdef TCP_QUICKACK
    // Not a lasting setting: the system may go back to delaying, so it is renewed on every read.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)fd;
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    int family = AF_UNSPEC;
    int timeoutSeconds = 0;
    int attempts = 1;
    bool keepAlive = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            ++i;
            break;
        }
        if (std::strcmp(arg, "--help") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", Name, TAZEL_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "-4") == 0) {
            family = AF_INET;
        } else if (std::strcmp(arg, "-6") == 0) {
            family = AF_INET6;
        } else if (std::strcmp(arg, "-k") == 0) {
            keepAlive = true;
        } else if (std::strcmp(arg, "-r") == 0 && i + 1 < argc) {
            reasonFile = argv[++i];
        } else if ((std::strcmp(arg, "-t") == 0 || std::strcmp(arg, "-a") == 0) && i + 1 < argc) {
            if (!PositiveNumber(argv[i + 1], arg[1] == 't' ? &timeoutSeconds : &attempts)) {
                Say("%s needs a whole number from 1 to 86400, not \"%s\"", arg, argv[i + 1]);
                return 64;
            }
            ++i;
        } else {
            Say("unknown option %s", arg);
            Usage(stderr);
            return 64;
        }
    }
    if (argc - i != 2) {
        Usage(stderr);
        return 64;
    }
    const char* host = argv[i];
    const char* port = argv[i + 1];
    std::signal(SIGPIPE, SIG_IGN);

    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    int fd = -1;
    int lastError = 0;
    for (int attempt = 0; attempt < attempts && fd < 0; ++attempt) {
        if (attempt > 0)
            ::sleep(1);
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(host, port, &hints, &found);
        if (rc != 0) {
            // ssh's own words for it, so that a failure reads the same with or without the relay.
            Say("Could not resolve hostname %s: %s", host, ::gai_strerror(rc));
            return Failure;
        }
        for (const addrinfo* a = found; a && fd < 0; a = a->ai_next) {
            fd = ConnectOne(a, timeoutSeconds);
            if (fd < 0)
                lastError = errno;
        }
        ::freeaddrinfo(found);
    }
    if (fd < 0) {
        Say("connect to host %s port %s: %s", host, port, std::strerror(lastError));
        return Failure;
    }
    // The file belongs to the run that opened the connection, which may be gone long before it.
    reasonFile = nullptr;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (keepAlive)
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);

    // One thread per direction: a direction whose reader stops taking bytes (ssh busy, or the SSH
    // host's window full) blocks only its own writes, never what flows the other way.
    std::thread toHost([fd, host] {
        if (Copy(Pipe{STDIN_FILENO, fd, host, false}) != 0)
            std::_Exit(Failure);
    });
    toHost.detach();
    // The other direction may be blocked in a read of ssh's: it ends with the process.
    std::_Exit(Copy(Pipe{fd, STDOUT_FILENO, host, true}));
}
