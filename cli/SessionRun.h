#pragma once
// One tazelctl command's conversation with its server: the session, its command-line view, the
// journal watching its changes, and the event loop that runs until the last script has ended.

#include <QString>
#include <functional>
#include <memory>

#include "cli/CliView.h"
#include "cli/CommandLine.h"
#include "cli/Output.h"
#include "session/ActivityJournal.h"
#include "session/Scripts.h"
#include "session/ServerSession.h"

struct CliContext {
    Options options;
    const VerbEntry* entry = nullptr;
    OutputForm form = OutputForm::Tab;
    ScriptServer server;
};

class SessionRun {
public:
    explicit SessionRun(const CliContext& context);
    ~SessionRun();

    ServerSession session;
    CliView view;
    const CliContext& context;

    // Runs the events until every script queued (and every follow-up queued from onScriptEnded
    // through then()) has ended; returns the first failing exit code, or 0.
    int exec();
    // Lets exec() run again for scripts queued after it returned.
    void restart() { done_ = false; }
    // While this says so, an idle driver does not end exec(): scripts are still to come (the bulk
    // add queues each row after the last one ended); finish() ends it then.
    std::function<bool()> busy;
    void finish() { done_ = true; }
    // Queues a follow-up once the script now running has ended well (from onScriptEnded).
    void then(std::function<void()> next);
    // A refusal before anything was queued: the message on standard error, exit code 65.
    int refuse(const QString& message);
    std::unique_ptr<RowWriter> writer();
    // A dry run's change that must read first: the reads go to the server, the change (queued
    // after goDry) reaches only the dry-run connection.
    void readForReal();
    void goDry();
    // Sets the exit code unless an earlier failure set it.
    void fail(int code);

private:
    std::unique_ptr<ActivityJournal> journal_;
    std::function<void()> next_;
    bool done_ = false;
    int exitCode_ = 0;
};

// The session verbs; each returns its exit code.
int RunSessionVerb(const CliContext& context);
