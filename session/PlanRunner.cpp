#include "session/PlanRunner.h"

#include <QTimer>

#include "session/CommandQueue.h"
#include "session/ServerSession.h"

using namespace Pseudo;

PlanRunner::PlanRunner(QObject* parent) : QObject(parent)
{
    session_ = std::make_unique<ServerSession>(nullptr);
    view_ = std::make_unique<PlanView>(*session_);
    session_->SetView(view_.get());
    session_->Reports.addObserver(this);
}

PlanRunner::~PlanRunner()
{
    session_->Reports.removeObserver(this);
    session_->SetView(nullptr);
}

int PlanRunner::count(StepResult::Kind kind) const
{
    return int(std::count_if(results_.begin(), results_.end(), [kind](const StepResult& r) { return r.kind == kind; }));
}

void PlanRunner::start(const ScriptServer& server, const Plan& plan, const std::vector<bool>& selected)
{
    if (running_)
        return;
    server_ = server;
    plan_ = plan;
    selected_ = selected;
    selected_.resize(plan.steps.size(), selected.empty());
    results_.assign(plan.steps.size(), StepResult());
    next_ = 0;
    current_ = -1;
    sent_ = 0;
    total_ = int(std::count(selected_.begin(), selected_.end(), true));
    cancelled_ = false;
    stopReason_ = plan.refusal;
    running_ = true;
    QTimer::singleShot(0, this, &PlanRunner::next);
}

void PlanRunner::cancel()
{
    if (!running_ || cancelled_)
        return;
    cancelled_ = true;
    // The step under way is left to end (its request may be out already); none follows it.
}

void PlanRunner::report(int step, StepResult::Kind kind, const QString& text)
{
    results_[size_t(step)] = {kind, text};
    emit stepFinished(step, int(kind), text);
}

void PlanRunner::next()
{
    while (next_ < plan_.steps.size()) {
        const int i = int(next_++);
        const PlanStep& step = plan_.steps[size_t(i)];
        if (!selected_[size_t(i)]) {
            report(i, StepResult::Skipped, QStringLiteral("not ticked"));
            continue;
        }
        if (cancelled_ || !stopReason_.isEmpty()) {
            report(i, StepResult::Skipped, cancelled_ ? QStringLiteral("cancelled") : QStringLiteral("not sent: ") + stopReason_);
            continue;
        }
        if (step.dependsOn >= 0 && results_[size_t(step.dependsOn)].kind != StepResult::Done) {
            report(i, StepResult::Skipped,
                   QStringLiteral("it needs %1").arg(plan_.steps[size_t(step.dependsOn)].line()));
            continue;
        }
        current_ = i;
        ++sent_;
        queue(step);
        return;
    }
    finish();
}

void PlanRunner::finish()
{
    running_ = false;
    emit finished(count(StepResult::Done), count(StepResult::Refused), count(StepResult::Skipped));
}

void PlanRunner::queue(const PlanStep& st)
{
    ServerSession& s = *session_;
    ScriptLabel label = ScriptLabel::change(st.actionText());
    label.owner = this;
    label.server = server_.name;
    label.serverKey = server_.key;
    view_->clear();
    serial_ = s.QueueScriptHead(server_.login, true, label);
    auto step = [&s](const QString& pseudo, const QStringList& args) {
        s.QueueCommand(pseudo);
        for (const QString& a : args)
            s.QueueArgument(a);
    };
    const QString& d = st.domain;
    const QString& a = st.account;
    const QString address = a + QLatin1Char('@') + d;
    const bool destroy = st.action == PlanStep::Destroy;
    switch (st.object) {
    case PlanStep::Domain: step(destroy ? DomainDel : DomainAdd, {d}); break;
    case PlanStep::Account:
        if (destroy)
            step(UserDel, {d, a});
        else
            step(UserAdd, {d, a, st.values.value(0), st.values.value(1)});
        break;
    case PlanStep::Password: step(UserPasswd, {d, a, st.values.value(0)}); break;
    case PlanStep::Alias:
        if (destroy)
            step(AliasDel, {d, st.item});
        else
            step(AliasAdd, {d, st.item, address});
        break;
    case PlanStep::Variable:
        // The panel's save: every variable, name and value pairs up to the end marker.
        step(UserVarsSet, {d, a});
        for (const QString& v : st.values)
            s.QueueArgument(v);
        s.QueueEndMarker();
        break;
    case PlanStep::MailProc: {
        FileEditors editors;
        int bad = 0;
        if (!destroy)
            StateText::ToEditors(st.text, true, &editors, &bad);  // checked when the plan was made
        view_->uploads[int(FileKind::MailProc)].insert(address, editors);
        s.MailProcEditor = {EditorSource::Fresh, address};
        step(UserSetMproc, {d, a});
        break;
    }
    case PlanStep::CustomDomain: {
        FileEditors editors;
        int bad = 0;
        StateText::ToEditors(st.text, false, &editors, &bad);
        // An empty file would remove the custom domain: it is one empty line, as the editor saves it.
        if (Scripts::CustomDomainEditorEmpty(editors))
            editors.advanced = QStringLiteral("\n");
        view_->uploads[int(FileKind::CustomDomain)].insert(d, editors);
        s.CustomDomainEditor = {EditorSource::Fresh, d};
        step(CustDomSet, {d});
        break;
    }
    case PlanStep::Member: {
        const QString& addr = st.item;
        if (st.action != PlanStep::Create)
            step(MlUserDel, {d, a, addr});
        if (!destroy)
            step(MlUserAdd, {d, a, addr, st.values.value(0)});
        break;
    }
    case PlanStep::Pop3Link: {
        const QStringList& v = st.values;  // server, user, password, auth, enabled
        if (destroy || st.replaceLink) {
            // Switched off before it is removed; a refusal of the switch does not stop the removal.
            step(Pop3Enable, {QStringLiteral("0"), d, a, v.value(0), v.value(1)});
            step(Pop3Del, {d, a, v.value(0), v.value(1)});
        }
        if (!destroy && (st.action == PlanStep::Create || st.replaceLink))
            step(Pop3Add, {d, a, v.value(0), v.value(1), v.value(2), v.value(3)});
        if (!destroy)
            step(Pop3Enable, {v.value(4), d, a, v.value(0), v.value(1)});
        break;
    }
    }
    s.QueueCommand(Quit);
    s.StartQueue();
}

void PlanRunner::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    if (label.owner != this || label.serial != serial_ || current_ < 0)
        return;
    const int i = std::exchange(current_, -1);
    switch (outcome.kind) {
    case ScriptOutcome::Done: report(i, StepResult::Done, QStringLiteral("done")); break;
    case ScriptOutcome::ServerError:
        report(i, StepResult::Refused, outcome.detail);
        // A refused login would refuse every step: the run stops.
        if (view_->failedCommand == Login) {
            loginRefused = true;
            stopOutcome = outcome;
            stopReason_ = QStringLiteral("the server refused the login (%1)").arg(outcome.detail);
        }
        break;
    case ScriptOutcome::Refused: report(i, StepResult::Refused, outcome.text()); break;
    case ScriptOutcome::Cancelled:
    case ScriptOutcome::Skipped:
    case ScriptOutcome::ConnectionError:
    case ScriptOutcome::TimedOut:
        report(i, StepResult::Refused, QStringLiteral("not known: ") + outcome.text());
        stopReason_ = QStringLiteral("the run stopped after: ") + outcome.text();
        stopOutcome = outcome;
        break;
    }
    emit progress(sent_, total_);
    // From the event loop: the driver is still inside its last step.
    QTimer::singleShot(0, this, &PlanRunner::next);
}
