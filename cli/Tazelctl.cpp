// tazelctl's front: the command line, the help, the verbs that need no server (server list, log),
// and the choice of the server for the others.

#include "cli/Tazelctl.h"

#include <QDateTime>
#include <cstdio>
#include <unistd.h>

#include "cli/CommandLine.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/Passwords.h"
#include "cli/SearchVerb.h"
#include "cli/ServerChoice.h"
#include "cli/SessionRun.h"
#include "cli/StateVerbs.h"
#include "session/ActivityJournal.h"
#include "store/ServerStore.h"

#ifndef TAZEL_VERSION
#define TAZEL_VERSION "unknown"
#endif

namespace {

void Out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}


int Usage(const QString& text)
{
    Err(text);
    Err(QStringLiteral("try 'tazelctl --help'"));
    return Exit::Usage;
}

int ServerList(const CliContext& c)
{
    QList<StoredServer> servers;
    const auto settings = OpenStoredServers(&servers);
    if (!settings)
        return Exit::NoInput;
    auto w = RowWriter::make(c.form, !c.options.noHeaders);
    w->begin({QStringLiteral("name"), QStringLiteral("address"), QStringLiteral("port"), QStringLiteral("login")});
    for (const StoredServer& s : std::as_const(servers))
        w->row({s.name, s.address, s.port, s.login});  // never the password
    return w->end() ? Exit::Ok : Exit::CantCreate;
}

// --since: an ISO date and time ("2026-12-10", "2026-12-10T09:00", with "Z" or an offset; local
// time without one), or a span back from now: "90m", "12h", "7d".
bool ParseSince(const QString& text, QDateTime* since)
{
    const QString t = text.trimmed();
    if (t.size() >= 2 && (t.endsWith(QLatin1Char('m')) || t.endsWith(QLatin1Char('h')) || t.endsWith(QLatin1Char('d')))) {
        bool ok = false;
        const qint64 n = t.left(t.size() - 1).toLongLong(&ok);
        if (ok && n >= 0) {
            const qint64 unit = t.endsWith(QLatin1Char('m')) ? 60 : t.endsWith(QLatin1Char('h')) ? 3600 : 86400;
            *since = QDateTime::currentDateTimeUtc().addSecs(-n * unit);
            return true;
        }
    }
    QDateTime d = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(t, Qt::ISODate);
    if (!d.isValid()) {
        const QDate day = QDate::fromString(t, Qt::ISODate);
        if (day.isValid())
            d = day.startOfDay();
    }
    *since = d;
    return d.isValid();
}

int Log(const CliContext& c)
{
    QDateTime since;
    if (!c.options.since.isEmpty() && !ParseSince(c.options.since, &since))
        return Usage(QStringLiteral("--since takes a date and time (2026-12-10T09:00) or a span (12h, 7d), "
                                    "not \"%1\"")
                         .arg(c.options.since));
    auto w = RowWriter::make(c.form, !c.options.noHeaders);
    w->begin({QStringLiteral("time"), QStringLiteral("program"), QStringLiteral("server"), QStringLiteral("action"),
              QStringLiteral("outcome")});
    int skipped = 0;
    QString error;
    const bool read = ActivityJournal::read(
        ActivityJournal::DefaultPath(), since,
        [&](const JournalEntry& e) {
            w->row({e.time.toUTC().toString(Qt::ISODate), e.program, e.server, e.action, e.outcome});
        },
        &skipped, &error);
    const bool written = w->end();
    if (skipped > 0)
        Err(QStringLiteral("note: %1 line(s) of the journal could not be read and were passed over").arg(skipped));
    if (!read) {
        Err(error);
        return Exit::NoInput;
    }
    return written ? Exit::Ok : Exit::CantCreate;
}

// The server of a session verb: --host, or a stored record (-s, or the only one there is).
int ChooseServer(CliContext& c)
{
    const Options& o = c.options;
    if (!o.host.isEmpty()) {
        if (!o.server.isEmpty())
            return Usage(QStringLiteral("give either -s or --host, not both"));
        QString host, port;
        if (!ParseHostPort(o.host, &host, &port))
            return Usage(QStringLiteral("--host takes HOST or HOST:PORT with a port from 1 to 65535"));
        c.server.login.host = host;
        c.server.login.port = port;
        c.server.login.login = o.login.isEmpty() ? QStringLiteral("admin") : o.login;
        c.server.name = host + QLatin1Char(':') + port;
        c.server.key = c.server.name;
        QString password, error;
        if (!o.passwordFile.isEmpty()) {
            if (!ReadPasswordFile(o.passwordFile, &password, &error)) {
                Err(error);
                return Exit::NoInput;
            }
        } else if (qEnvironmentVariableIsSet("TAZEL_PASSWORD")) {
            password = qEnvironmentVariable("TAZEL_PASSWORD");
        } else if (o.dryRun) {
            password.clear();  // never sent: a dry run needs no password
        } else if (!PromptPassword(QStringLiteral("Password of %1 on %2: ").arg(c.server.login.login, c.server.name),
                                   &password, &error)) {
            return Usage(error + QStringLiteral(" Give it with --password-file or TAZEL_PASSWORD."));
        }
        c.server.login.password = password;
        return Exit::Ok;
    }
    if (!o.login.isEmpty() || !o.passwordFile.isEmpty())
        return Usage(QStringLiteral("--login and --password-file go with --host"));
    QList<StoredServer> servers;
    const auto settings = OpenStoredServers(&servers);
    if (!settings)
        return Exit::NoInput;
    const StoredServer* chosen = nullptr;
    if (o.server.isEmpty()) {
        if (servers.size() == 1) {
            chosen = &servers.first();
        } else if (servers.isEmpty()) {
            return Usage(QStringLiteral("there is no stored server: name one with --host"));
        } else {
            QStringList names;
            for (const StoredServer& s : std::as_const(servers))
                names << s.name;
            return Usage(QStringLiteral("there are %1 stored servers; choose one with -s NAME: %2")
                             .arg(servers.size())
                             .arg(names.join(QStringLiteral(", "))));
        }
    } else {
        for (const StoredServer& s : std::as_const(servers))
            if (s.name == o.server) {
                chosen = &s;
                break;
            }
        if (!chosen) {
            Err(QStringLiteral("there is no stored server named \"%1\"").arg(o.server));
            return Exit::NoUser;
        }
    }
    int code = Exit::Ok;
    QString error;
    if (!StoredServerLogin(*settings, *chosen, &c.server.login, &error, &code)) {
        Err(error);
        return code;
    }
    c.server.name = chosen->name;
    c.server.key = chosen->section;
    return Exit::Ok;
}

}  // namespace

int RunTazelctl(const QStringList& arguments)
{
    CliContext c;
    QString error;
    if (!ParseCommandLine(arguments, &c.options, &error))
        return Usage(error);
    Options& o = c.options;
    if (o.version) {
        Out(QStringLiteral("tazelctl %1\n").arg(QStringLiteral(TAZEL_VERSION)));
        return Exit::Ok;
    }
    const QString object = o.words.value(0);
    const QString verb = o.words.value(1);
    if (object.isEmpty()) {
        if (o.help) {
            Out(MainHelp());
            return Exit::Ok;
        }
        return Usage(QStringLiteral("no command given"));
    }
    if (!IsObject(object))
        return Usage(QStringLiteral("unknown object \"%1\"").arg(object));
    // "log", "search" and the state file's "dump", "diff" and "apply" are objects without verbs.
    const bool verbless = object == QLatin1String("log") || object == QLatin1String("search") || IsStateVerb(object);
    c.entry = FindVerb(object, verbless ? QString() : verb);
    if (verbless && c.entry)
        o.words.insert(1, QString());
    if (!c.entry) {
        if (o.help && verb.isEmpty()) {
            Out(ObjectHelp(object));
            return Exit::Ok;
        }
        return verb.isEmpty() ? Usage(QStringLiteral("%1 needs a verb").arg(object))
                              : Usage(QStringLiteral("unknown verb \"%1 %2\"").arg(object, verb));
    }
    if (o.help) {
        Out(VerbHelp(*c.entry));
        return Exit::Ok;
    }
    const int args = int(o.words.size()) - 2;
    if (args < c.entry->minArgs || (c.entry->maxArgs >= 0 && args > c.entry->maxArgs))
        return Usage(QStringLiteral("usage: ") + VerbHelp(*c.entry).section(QLatin1Char('\n'), 0, 0));
    const QStringList allowed = QString::fromLatin1(c.entry->options).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& flag : std::as_const(o.flags))
        if (!allowed.contains(flag))
            return Usage(QStringLiteral("%1 %2 takes no %3").arg(object, verb, flag));
    if (o.dryRun && !c.entry->change)
        return Usage(QStringLiteral("--dry-run goes with a change; %1 %2 only reads").arg(object, verb));
    c.form = o.output.value_or(::isatty(STDOUT_FILENO) ? OutputForm::Table : OutputForm::Tab);

    if (object == QLatin1String("server"))
        return ServerList(c);
    if (object == QLatin1String("log"))
        return Log(c);
    if (object == QLatin1String("search"))
        return RunSearch(c);
    if (const int code = ChooseServer(c))
        return code;
    if (IsStateVerb(object))
        return RunStateVerb(c);
    return RunSessionVerb(c);
}
