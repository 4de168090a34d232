// tazelctl search TEXT [--accounts]: the search on every stored server at once (session/ServerSearch.h),
// the same one the window's Find on All Servers runs. Results go to standard output as they arrive
// (server, domain, name, kind); each server that did not answer goes to standard error with what
// went wrong. Exit code 0 when every server answered, 1 when some did not (their results still shown).

#include <QCoreApplication>
#include <QEventLoop>

#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/SearchVerb.h"
#include "cli/ServerChoice.h"
#include "session/ServerSearch.h"
#include "store/ServerStore.h"

namespace {
}  // namespace

int RunSearch(const CliContext& c)
{
    const Options& o = c.options;
    const QString text = o.words.value(2);
    const QString refusal = ServerSearch::RefusalOf(text);
    if (!refusal.isEmpty()) {
        Err(QString(refusal).replace(QStringLiteral("\r\n\r\n"), QStringLiteral(" ")));
        return Exit::DataErr;
    }
    if (!o.host.isEmpty()) {
        Err(QStringLiteral("search asks the stored servers (all, or one with -s NAME), not --host"));
        return Exit::Usage;
    }
    QList<StoredServer> stored;
    const auto settings = OpenStoredServers(&stored);
    if (!settings)
        return Exit::NoInput;
    if (!o.server.isEmpty()) {
        QList<StoredServer> named;
        for (const StoredServer& s : std::as_const(stored))
            if (s.name == o.server)
                named << s;
        if (named.isEmpty()) {
            Err(QStringLiteral("there is no stored server named \"%1\"").arg(o.server));
            return Exit::NoUser;
        }
        stored = named;
    }
    if (stored.isEmpty()) {
        Err(QStringLiteral("there is no stored server to search"));
        return Exit::NoInput;
    }

    // Each server's password (the keyring's answer waited for); one that cannot be had is a server
    // that did not answer.
    bool someFailed = false;
    QList<SearchServer> servers;
    for (const StoredServer& s : std::as_const(stored)) {
        SearchServer server{s.section, s.name, {}};
        int code = 0;
        QString why;
        if (!StoredServerLogin(*settings, s, &server.login, &why, &code)) {
            Err(s.name + QStringLiteral(": ") + why);
            someFailed = true;
            continue;
        }
        servers << server;
    }

    auto writer = RowWriter::make(c.form, !o.noHeaders);
    writer->begin({QStringLiteral("server"), QStringLiteral("domain"), QStringLiteral("name"), QStringLiteral("kind")});
    ServerSearch search;
    search.ReplyTimeoutMs = o.timeoutSeconds * 1000;
    QObject::connect(&search, &ServerSearch::ResultsFound, [&](const QList<SearchResult>& found) {
        for (const SearchResult& r : found)
            writer->row({r.server, r.domain, r.name, r.kind});
        writer->flushNow();
    });
    QObject::connect(&search, &ServerSearch::StatusChanged, [&](int index) {
        const SearchStatus& status = search.Status(index);
        if (status.state == SearchStatus::Failed && !status.failure.isEmpty()) {
            Err(search.Server(index).name + QStringLiteral(": ") + status.failure);
            someFailed = true;
        } else if (status.partial()) {
            // Its rows are there, but a script must not take them for the whole answer.
            Err(search.Server(index).name + QStringLiteral(": ") + status.text());
            someFailed = true;
        }
    });
    QEventLoop loop;
    QObject::connect(&search, &ServerSearch::Finished, &loop, &QEventLoop::quit);
    search.Start(servers, text, o.flags.contains(QStringLiteral("--accounts")));
    if (search.IsRunning())
        loop.exec();
    if (!writer->end())
        return Exit::CantCreate;
    return someFailed || !search.AllAnswered() ? Exit::ServerRefused : Exit::Ok;
}
