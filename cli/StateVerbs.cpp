// dump: the server's state as a YAML file. diff: the plan from the server to a state file (or to
// another stored server's state), exit 0 when it is empty, 1 when it is not, 2 on an error.
// apply: the plan, shown, asked for on a terminal, and run by the session's plan runner; --dry-run
// runs the same runner over a connection that reaches no server.

#include "cli/StateVerbs.h"

#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <unistd.h>

#include "cli/CliView.h"
#include "cli/DryRunTransport.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ServerChoice.h"
#include "cli/SessionRun.h"
#include "session/ActivityJournal.h"
#include "session/Plan.h"
#include "session/PlanRunner.h"
#include "session/StateReader.h"
#include "session/StateYaml.h"

namespace {

// diff's error code: above the 1 of "something differs".
constexpr int DiffError = 2;

void Out(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool HoldsPasswords(const ServerState& state)
{
    for (const StateDomain& d : state.domains)
        for (const StateAccount& a : d.accounts) {
            if (a.password)
                return true;
            if (a.pop3Links)
                for (const StateLink& l : *a.pop3Links)
                    if (l.password)
                        return true;
        }
    return false;
}

// Reads a server's state to its end; the exit code of its failure, or 0.
int ReadState(const CliContext& c, const ScriptServer& server, const StateReader::Request& request, ServerState* state)
{
    StateReader reader;
    QEventLoop loop;
    bool ok = false;
    QString error;
    reader.session().ReplyTimeoutMs = c.options.timeoutSeconds * 1000;
    QObject::connect(&reader, &StateReader::finished, &loop, [&](bool good, const QString& why) {
        ok = good;
        error = why;
        loop.quit();
    });
    reader.start(server, request);
    loop.exec();
    for (const QString& note : std::as_const(reader.notes))
        Err(QStringLiteral("note: ") + note);
    if (!ok) {
        Err(PlainLines(error));
        return reader.failure.kind == ScriptOutcome::Done
                   ? Exit::DataErr
                   : ExitCodeForOutcome(reader.failure, reader.greeted(), reader.loginRefused);
    }
    *state = std::move(reader.state);
    return Exit::Ok;
}

// The state file of -f (standard input for "-"): its text read, then its YAML.
int ReadStateFile(const QString& path, ServerState* state)
{
    if (path.isEmpty()) {
        Err(QStringLiteral("give the state file with -f FILE"));
        return Exit::Usage;
    }
    QFile f;
    const bool fromStdin = path == QLatin1String("-");
    const bool opened = fromStdin ? f.open(stdin, QIODevice::ReadOnly) : (f.setFileName(path), f.open(QIODevice::ReadOnly));
    const QString name = fromStdin ? QStringLiteral("standard input") : path;
    if (!opened) {
        Err(QStringLiteral("%1 cannot be read: %2").arg(name, f.errorString()));
        return Exit::NoInput;
    }
    StateYaml::ReadError error;
    if (!StateYaml::Read(f.readAll(), state, &error)) {
        Err(QStringLiteral("%1: %2%3; nothing was sent")
                .arg(name, error.line > 0 ? error.where() + QStringLiteral(": ") : QString(), error.text));
        return Exit::DataErr;
    }
    return Exit::Ok;
}

// What a plan must read of the server: the domains and custom domains the desired state names (the
// others are never touched), their details only when it states any.
StateReader::Request RequestFor(const ServerState& desired)
{
    StateReader::Request r;
    for (const StateDomain& d : desired.domains)
        r.domains << d.name;
    for (const StateCustomDomain& cd : desired.customDomains)
        r.customDomains << cd.name;
    r.accountsOnly = !StatesDetails(desired);
    r.skipMissing = true;
    return r;
}

// The plan: a line per step and the count (plain), or a row per step (-o).
bool PrintPlan(const CliContext& c, const Plan& plan)
{
    if (!c.options.output) {
        QByteArray text;
        for (const PlanStep& s : plan.steps)
            text += s.line().toUtf8() + '\n';
        text += plan.summary().toUtf8() + '\n';
        Out(text);
        return std::fflush(stdout) == 0;
    }
    auto w = RowWriter::make(c.form, !c.options.noHeaders);
    w->begin({QStringLiteral("change"), QStringLiteral("object"), QStringLiteral("target"), QStringLiteral("item"),
              QStringLiteral("old"), QStringLiteral("new")});
    const QString sensitive = QStringLiteral("(sensitive)");
    for (const PlanStep& s : plan.steps) {
        const QString change = s.action == PlanStep::Create ? QStringLiteral("add")
                               : s.action == PlanStep::Change ? QStringLiteral("change")
                                                              : QStringLiteral("remove");
        const QString object = s.objectName();
        const QString target = s.target();
        const QString item = s.object == PlanStep::Alias ? s.item : s.item;
        w->row({change, object, target, item, s.sensitive ? sensitive : s.oldValue, s.sensitive ? sensitive : s.newValue});
    }
    return w->end();
}

int Dump(const CliContext& c)
{
    const QStringList& names = c.options.words.mid(2);
    StateReader::Request request;
    request.domains = names;
    request.customDomains = c.options.customNames;
    request.accountsOnly = c.options.flags.contains(QStringLiteral("--accounts-only"));
    ServerState state;
    if (const int code = ReadState(c, c.server, request, &state))
        return code;
    if (c.options.flags.contains(QStringLiteral("--no-passwords")))
        state.dropPasswords();
    const QByteArray yaml = StateYaml::Write(state);
    const bool passwords = HoldsPasswords(state);
    if (c.options.file.isEmpty() || c.options.file == QLatin1String("-")) {
        Out(yaml);
        if (std::fflush(stdout) != 0)
            return Exit::CantCreate;
    } else {
        // Through a whole new file: a dump cut short never replaces the last good one, and a file
        // holding passwords is the owner's alone from its first byte.
        QSaveFile f(c.options.file);
        if (!f.open(QIODevice::WriteOnly)) {
            Err(QStringLiteral("%1 cannot be written: %2").arg(c.options.file, f.errorString()));
            return Exit::CantCreate;
        }
        if (passwords)
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (f.write(yaml) != yaml.size() || !f.commit()) {
            Err(QStringLiteral("%1 could not be written whole: %2").arg(c.options.file, f.errorString()));
            f.cancelWriting();
            return Exit::CantCreate;
        }
    }
    if (passwords)
        Err(QStringLiteral("note: the state file holds passwords (give --no-passwords to leave them out)"));
    return Exit::Ok;
}

// The other stored server of diff --against.
int OtherServer(const QString& name, ScriptServer* server)
{
    QList<StoredServer> servers;
    const auto settings = OpenStoredServers(&servers);
    if (!settings)
        return Exit::NoInput;
    for (const StoredServer& s : std::as_const(servers)) {
        if (s.name != name)
            continue;
        int code = Exit::Ok;
        QString error;
        if (!StoredServerLogin(*settings, s, &server->login, &error, &code)) {
            Err(error);
            return code;
        }
        server->name = s.name;
        server->key = s.section;
        return Exit::Ok;
    }
    Err(QStringLiteral("there is no stored server named \"%1\"").arg(name));
    return Exit::NoUser;
}

int Diff(const CliContext& c)
{
    const bool against = c.options.flags.contains(QStringLiteral("--against"));
    if (against == c.options.flags.contains(QStringLiteral("-f"))) {
        Err(QStringLiteral("diff takes either -f FILE or --against NAME"));
        return Exit::Usage;
    }
    ServerState desired, current;
    if (against) {
        ScriptServer other;
        if (OtherServer(c.options.against, &other) != Exit::Ok)
            return DiffError;
        StateReader::Request request;
        request.domains = c.options.words.mid(2);
        if (ReadState(c, other, request, &desired) != Exit::Ok)
            return DiffError;
    } else if (ReadStateFile(c.options.file, &desired) != Exit::Ok) {
        return DiffError;
    }
    if (ReadState(c, c.server, RequestFor(desired), &current) != Exit::Ok)
        return DiffError;
    // Everything that differs, removals too (apply removes them only with --prune).
    const Plan plan = ComputePlan(current, desired, true);
    if (!PrintPlan(c, plan))
        return DiffError;
    if (!plan.refusal.isEmpty())
        Err(QStringLiteral("note: this plan cannot be applied as it stands: ") + PlainLines(plan.refusal));
    return plan.steps.empty() ? Exit::Ok : 1;
}

bool Confirm(const Plan& plan, const QString& server)
{
    std::fprintf(stderr, "%s", QStringLiteral("Apply these %1 change(s) to %2? [y/N] ")
                                   .arg(plan.steps.size())
                                   .arg(server)
                                   .toLocal8Bit()
                                   .constData());
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

int Apply(const CliContext& c)
{
    ServerState desired, current;
    if (const int code = ReadStateFile(c.options.file, &desired))
        return code;
    if (const int code = ReadState(c, c.server, RequestFor(desired), &current))
        return code;
    const bool prune = c.options.flags.contains(QStringLiteral("--prune"));
    const Plan plan = ComputePlan(current, desired, prune);
    if (!plan.refusal.isEmpty()) {
        Err(PlainLines(plan.refusal));
        return Exit::DataErr;
    }
    if (plan.steps.empty()) {
        Err(QStringLiteral("%1 holds what the file says; nothing to do").arg(c.server.name));
        return Exit::Ok;
    }
    const bool dry = c.options.dryRun;
    // The plan first; on a terminal the question before anything is sent.
    if (!c.options.output && (dry || ::isatty(STDIN_FILENO) || !c.options.flags.contains(QStringLiteral("--yes")))) {
        QByteArray text;
        for (const PlanStep& s : plan.steps)
            text += s.line().toUtf8() + '\n';
        text += plan.summary().toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), dry ? stdout : stderr);
    }
    if (!dry && !c.options.flags.contains(QStringLiteral("--yes")) && ::isatty(STDIN_FILENO) && !Confirm(plan, c.server.name)) {
        Err(QStringLiteral("nothing was sent"));
        return Exit::Ok;
    }

    PlanRunner runner;
    runner.session().ReplyTimeoutMs = c.options.timeoutSeconds * 1000;
    std::unique_ptr<ActivityJournal> journal;
    if (dry) {
        runner.session().SetTransportMaker(
            [](const SshRoute&, QObject* parent) -> Transport* { return new DryRunTransport(parent); });
    } else {
        // Every step is a line of the journal the window shows too.
        journal = std::make_unique<ActivityJournal>(QStringLiteral("tazelctl"));
        journal->onWriteFailed = [](const QString& message) { Err(message); };
        runner.session().Reports.addObserver(journal.get());
    }
    QEventLoop loop;
    QObject::connect(&runner, &PlanRunner::finished, &loop, &QEventLoop::quit);
    runner.start(c.server, plan);
    loop.exec();
    if (journal)
        runner.session().Reports.removeObserver(journal.get());

    // A row per step: its outcome, the step, and the server's line or the reason.
    auto w = RowWriter::make(c.options.output.value_or(OutputForm::Tab), !c.options.noHeaders && c.options.output);
    w->begin({QStringLiteral("outcome"), QStringLiteral("step"), QStringLiteral("detail")});
    static const QString kinds[] = {QStringLiteral("pending"), QStringLiteral("done"), QStringLiteral("refused"),
                                    QStringLiteral("skipped")};
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const StepResult& r = runner.results()[i];
        const QString detail = r.kind == StepResult::Done ? QString() : r.text;
        w->row({kinds[r.kind], plan.steps[i].line(), detail});
    }
    if (!w->end())
        return Exit::CantCreate;
    const int refused = runner.count(StepResult::Refused), skipped = runner.count(StepResult::Skipped);
    Err(QStringLiteral("%1 done, %2 refused, %3 skipped").arg(runner.count(StepResult::Done)).arg(refused).arg(skipped));
    if (runner.stopOutcome.kind != ScriptOutcome::Done && !runner.stopReason().isEmpty())
        return ExitCodeForOutcome(runner.stopOutcome, runner.greeted(), runner.loginRefused);
    return refused + skipped > 0 ? Exit::ServerRefused : Exit::Ok;
}

}  // namespace

bool IsStateVerb(const QString& object)
{
    return object == QLatin1String("dump") || object == QLatin1String("diff") || object == QLatin1String("apply");
}

int RunStateVerb(const CliContext& c)
{
    const QString object = c.options.words.value(0);
    if (object == QLatin1String("dump"))
        return Dump(c);
    if (object == QLatin1String("diff"))
        return Diff(c);
    return Apply(c);
}
