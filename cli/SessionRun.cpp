#include "cli/SessionRun.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "cli/DryRunTransport.h"
#include "cli/ExitCodes.h"
#include "session/Transport.h"

SessionRun::SessionRun(const CliContext& c) : session(nullptr), view(session), context(c)
{
    view.verbose = c.options.verbose;
    session.ReplyTimeoutMs = c.options.timeoutSeconds * 1000;
    if (c.options.dryRun) {
        goDry();
    } else {
        // Every change this command makes goes into the journal the window shows too.
        journal_ = std::make_unique<ActivityJournal>(QStringLiteral("tazelctl"));
        journal_->onWriteFailed = [](const QString& message) { Err(message); };
        session.Reports.addObserver(journal_.get());
    }
    view.onScriptEnded = [this](const ScriptLabel&, const ScriptOutcome&, int code) {
        if (code != Exit::Ok) {
            if (exitCode_ == Exit::Ok)
                exitCode_ = code;
            next_ = nullptr;
        }
        if (next_) {
            // Queued from the event loop, once the driver has finished with this script.
            auto next = std::move(next_);
            next_ = nullptr;
            QTimer::singleShot(0, &session, [this, next] {
                next();
                if (session.DriverIsIdle() && session.CountScripts() == 0)
                    done_ = true;
            });
        }
    };
    QObject::connect(&session, &ServerSession::DriverIdled, &session, [this] {
        if (!next_)
            QTimer::singleShot(0, &session, [this] {
                if (session.DriverIsIdle() && session.CountScripts() == 0 && !(busy && busy()))
                    done_ = true;
            });
    });
}

SessionRun::~SessionRun()
{
    if (journal_)
        session.Reports.removeObserver(journal_.get());
}

void SessionRun::goDry()
{
    session.SetTransportMaker([](const SshRoute&, QObject* parent) -> Transport* { return new DryRunTransport(parent); });
}

void SessionRun::readForReal()
{
    // The session's own connections: plain TCP, or the system's ssh for a record reached through
    // SSH, which asks its questions on the terminal (with none, it fails and says why).
    session.SetTransportMaker({});
}

void SessionRun::then(std::function<void()> next)
{
    next_ = std::move(next);
}

int SessionRun::exec()
{
    while (!done_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return exitCode_;
}

void SessionRun::fail(int code)
{
    if (exitCode_ == Exit::Ok)
        exitCode_ = code;
}

int SessionRun::refuse(const QString& message)
{
    Err(PlainLines(message));
    return Exit::DataErr;
}

std::unique_ptr<RowWriter> SessionRun::writer()
{
    return RowWriter::make(context.form, !context.options.noHeaders);
}
