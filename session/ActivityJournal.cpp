#include "session/ActivityJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

ActivityJournal::ActivityJournal(const QString& program, const QString& path) : path_(path), program_(program) {}

QString ActivityJournal::DefaultPath()
{
    const QString own = qEnvironmentVariable("TAZEL_JOURNAL");
    if (!own.isEmpty())
        return own;
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tazel-admin/journal.jsonl");
}

static QByteArray EntryLine(const JournalEntry& e)
{
    QJsonObject o;
    o.insert(QStringLiteral("time"), e.time.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("program"), e.program);
    o.insert(QStringLiteral("server"), e.server);
    o.insert(QStringLiteral("host"), e.host);
    o.insert(QStringLiteral("port"), e.port);
    o.insert(QStringLiteral("action"), e.action);
    o.insert(QStringLiteral("outcome"), e.outcome);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool ActivityJournal::append(const JournalEntry& entry, QString* error)
{
    const QByteArray line = EntryLine(entry);
    auto fail = [&](const QString& why) {
        const QString message = QStringLiteral("The activity journal %1 could not be written: %2.").arg(path_, why);
        if (error)
            *error = message;
        if (onWriteFailed)
            onWriteFailed(message);
        return false;
    };
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("its folder cannot be made"));
    // A full journal is set aside whole; the rename is atomic, so a reader sees one file or the other.
    if (info.exists() && info.size() + line.size() > rotateBytes) {
        const QByteArray from = QFile::encodeName(path_);
        const QByteArray to = QFile::encodeName(path_ + QStringLiteral(".1"));
        if (::rename(from.constData(), to.constData()) != 0 && errno != ENOENT)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // One write of the whole line: appends of two programs never interleave inside a line.
    const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != line.size())
        return fail(written < 0 ? QString::fromLocal8Bit(std::strerror(writeErrno))
                                : QStringLiteral("only part of a line was written"));
    if (!closed)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

static bool ReadFile(const QString& path, const QDateTime& since,
                     const std::function<void(const JournalEntry&)>& visit, int* skipped, QString* error)
{
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The activity journal %1 cannot be read: %2.").arg(path, f.errorString());
        return false;
    }
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        JournalEntry e;
        e.time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        if (o.isEmpty() || !e.time.isValid()) {
            if (skipped)
                ++*skipped;
            continue;
        }
        if (since.isValid() && e.time < since)
            continue;
        e.program = o.value(QStringLiteral("program")).toString();
        e.server = o.value(QStringLiteral("server")).toString();
        e.host = o.value(QStringLiteral("host")).toString();
        e.port = o.value(QStringLiteral("port")).toString();
        e.action = o.value(QStringLiteral("action")).toString();
        e.outcome = o.value(QStringLiteral("outcome")).toString();
        visit(e);
    }
    return true;
}

bool ActivityJournal::read(const QString& path, const QDateTime& since,
                           const std::function<void(const JournalEntry&)>& visit, int* skipped, QString* error)
{
    return ReadFile(path + QStringLiteral(".1"), since, visit, skipped, error) &&
           ReadFile(path, since, visit, skipped, error);
}

QList<JournalEntry> ActivityJournal::recent(const QString& path, int count)
{
    std::deque<JournalEntry> last;
    read(
        path, QDateTime(),
        [&](const JournalEntry& e) {
            last.push_back(e);
            if (int(last.size()) > count)
                last.pop_front();
        },
        nullptr, nullptr);
    return QList<JournalEntry>(last.begin(), last.end());
}

void ActivityJournal::scriptStarted(const ScriptLabel& label)
{
    stepFailures_.remove(label.serial);
}

void ActivityJournal::stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome)
{
    if (label.kind == ScriptLabel::Change && mark != 0 && outcome.kind == ScriptOutcome::ServerError &&
        !stepFailures_.contains(label.serial))
        stepFailures_.insert(label.serial, outcome.detail);
}

void ActivityJournal::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    const QString stepFailure = stepFailures_.take(label.serial);
    if (label.kind != ScriptLabel::Change)
        return;
    JournalEntry e;
    e.time = QDateTime::currentDateTimeUtc();
    e.program = program_;
    e.server = label.server;
    e.host = label.host.trimmed();
    e.port = label.port.trimmed();
    e.action = label.action;
    e.outcome = outcome.kind == ScriptOutcome::Done && !stepFailure.isEmpty() ? stepFailure : outcome.text();
    append(e);
}
