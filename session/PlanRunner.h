#pragma once
// Runs a plan (session/Plan.h) against a server: the one runner behind tazelctl apply (and its
// --dry-run, which only gives the session a connection that reaches no server) and the window's
// "Apply Ticked".
//
// Each step is a script of its own (log in, the step's requests, quit), queued from the event loop
// once the one before has ended, so a cancel takes effect between two steps and the window keeps
// answering. A step the server refuses ends only its own script: it is reported with the server's
// line, the steps that depend on it are skipped and named, and the rest go on. A refused login, a
// connection that cannot be made or a silent server stops the run; the steps not sent are skipped
// with the reason. Every step's script is a change, so the journal watching the session writes a
// line for each.

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "session/ScriptObserver.h"
#include "session/Scripts.h"
#include "session/Plan.h"
#include "session/PlanView.h"

struct StepResult {
    enum Kind { Pending, Done, Refused, Skipped };
    Kind kind = Pending;
    QString text;  // Refused: the server's line; Skipped: why
};

class PlanRunner : public QObject, private ScriptObserver {
    Q_OBJECT
public:
    explicit PlanRunner(QObject* parent = nullptr);
    ~PlanRunner() override;
    // The session the steps go through (to give it a transport maker, or a journal to watch it).
    ServerSession& session() { return *session_; }

    // Runs the steps whose flag is set (all of them when `selected` is empty); the others are
    // reported skipped. A plan with a refusal runs nothing.
    void start(const ScriptServer& server, const Plan& plan, const std::vector<bool>& selected = {});
    void cancel();
    bool running() const { return running_; }
    const std::vector<StepResult>& results() const { return results_; }
    int count(StepResult::Kind kind) const;
    // Why the run stopped before its end (a refused login, a lost connection), if it did.
    const QString& stopReason() const { return stopReason_; }
    ScriptOutcome stopOutcome;
    bool loginRefused = false;
    bool greeted() const { return view_->greeted; }

signals:
    void stepFinished(int step, int kind, const QString& text);  // kind: StepResult::Kind
    void progress(int done, int total);
    void finished(int done, int refused, int skipped);

private:
    void scriptStarted(const ScriptLabel&) override {}
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;
    void next();
    void queue(const PlanStep& step);
    void report(int step, StepResult::Kind kind, const QString& text);
    void finish();

    std::unique_ptr<ServerSession> session_;
    std::unique_ptr<PlanView> view_;
    ScriptServer server_;
    Plan plan_;
    std::vector<bool> selected_;
    std::vector<StepResult> results_;
    size_t next_ = 0;
    int current_ = -1;
    quint64 serial_ = 0;
    int sent_ = 0, total_ = 0;
    bool running_ = false;
    bool cancelled_ = false;
    QString stopReason_;
};
