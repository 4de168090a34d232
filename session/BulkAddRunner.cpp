// Adding the accepted rows of a file of accounts, one script per row, then reading the domain back.

#include "session/BulkAddRunner.h"

#include <QSet>
#include <QTimer>
#include <optional>

#include "session/CommandQueue.h"
#include "session/ScriptObserver.h"
#include "session/ServerSession.h"

const QString BulkAddRunner::Added = QStringLiteral("added");

// Learns how the run's own scripts ended from the driver's reports. A row's "useradd" is a marked
// step: a refusal is reported as that step's outcome (no message box) and the script goes on to its
// quit; the script's own outcome tells of everything else (a refused login, a lost connection, a
// silent server, a cancel). Scripts queued by anyone else are not looked at.
class RowOutcomeTap : public ScriptObserver {
public:
    RowOutcomeTap(ServerSession& s, BulkAddRunner& runner) : s_(s), runner_(runner) { s_.Reports.addObserver(this); }
    ~RowOutcomeTap() override { s_.Reports.removeObserver(this); }

    void scriptStarted(const ScriptLabel& label) override
    {
        if (label.owner == &runner_)
            step_.reset();
    }
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override
    {
        if (label.owner == &runner_ && mark == RowMark)
            step_ = outcome;
    }
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override
    {
        if (label.owner != &runner_)
            return;
        ScriptEnd end;
        if (step_) {
            // The row's own request was answered: its answer is the row's outcome.
            end.kind = step_->kind == ScriptOutcome::Done ? ScriptEnd::Done : ScriptEnd::ServerError;
            end.command = QStringLiteral("useradd");
            end.text = step_->text();
        } else {
            end.text = outcome.text();
            switch (outcome.kind) {
            case ScriptOutcome::Done: end.kind = ScriptEnd::Done; break;
            case ScriptOutcome::ServerError:
                end.kind = ScriptEnd::ServerError;
                end.command = QStringLiteral("login");
                break;
            case ScriptOutcome::TimedOut: end.kind = ScriptEnd::TimedOut; break;
            case ScriptOutcome::Refused: end.kind = ScriptEnd::NotSent; break;
            case ScriptOutcome::ConnectionError:
            case ScriptOutcome::Cancelled:
            case ScriptOutcome::Skipped: end.kind = ScriptEnd::ConnectionError; break;
            }
        }
        step_.reset();
        // From the event loop: the driver is still inside its last step.
        QTimer::singleShot(0, &runner_, [runner = &runner_, end] { runner->scriptEnded(end); });
    }

    static constexpr int RowMark = 1;

private:
    ServerSession& s_;
    BulkAddRunner& runner_;
    std::optional<ScriptOutcome> step_;
};

namespace {
enum RowState { NotSent = -1, WasAdded = 0, Refused = 1, Failed = 2 };
}

BulkAddRunner::BulkAddRunner(ServerSession& session, QObject* parent) : QObject(parent), session_(session) {}

BulkAddRunner::~BulkAddRunner() = default;

void BulkAddRunner::start(const Target& target, const BulkAccountRows& rows)
{
    if (running_)
        return;
    target_ = target;
    rows_ = rows;
    outcomeKind_ = QList<qint8>(rows.size(), NotSent);
    next_ = 0;
    current_ = -1;
    sent_ = 0;
    cancelled_ = false;
    readingBack_ = false;
    stopReason_.clear();
    running_ = true;
    tap_ = std::make_unique<RowOutcomeTap>(session_, *this);
    QTimer::singleShot(0, this, &BulkAddRunner::queueNextRow);
}

void BulkAddRunner::cancel()
{
    if (running_ && !cancelled_ && stopReason_.isEmpty())
        cancelled_ = true;
}

void BulkAddRunner::report(int row, bool added, const QString& outcome)
{
    emit rowFinished(row, added, outcome);
}

void BulkAddRunner::queueNextRow()
{
    while (next_ < rows_.size() && !rows_.ok(next_))
        ++next_;
    if (next_ >= rows_.size() || cancelled_ || !stopReason_.isEmpty()) {
        // The rows not sent are reported as such, then the domain is read back.
        const QString why = cancelled_ ? QStringLiteral("not added: cancelled")
                                       : QStringLiteral("not added: ") + stopReason_;
        for (int r = next_; r < rows_.size(); ++r)
            if (rows_.ok(r))
                report(r, false, why);
        queueReadBack();
        return;
    }
    current_ = next_++;
    ++sent_;
    const BulkAccountRow row = rows_.at(current_);
    // The requests of the Add New User button, without its reread: the domain is read once at the end.
    ScriptLabel label = ScriptLabel::change(QStringLiteral("add account %1@%2").arg(row.name, target_.domain));
    label.quietErrors = true;
    label.owner = this;
    label.server = target_.server.name;
    const quint64 serial = session_.QueueScriptHead(target_.server.login, true, label);
    if (scriptQueued)
        scriptQueued(serial);
    session_.QueueCommand(Pseudo::UserAdd, RowOutcomeTap::RowMark);
    session_.QueueArgument(target_.domain);
    session_.QueueArgument(row.name);
    session_.QueueArgument(row.password);
    session_.QueueArgument(row.kind);
    session_.QueueCommand(Pseudo::Quit);
    session_.StartQueue();
}

void BulkAddRunner::queueReadBack()
{
    readingBack_ = true;
    current_ = -1;
    ScriptLabel label = ScriptLabel::read(QStringLiteral("read accounts of ") + target_.domain);
    label.owner = this;
    label.quietErrors = true;  // the dialog's summary tells when the read-back failed
    label.server = target_.server.name;
    label.serverKey = target_.server.key;
    const quint64 serial = session_.QueueScriptHead(target_.server.login, true, label);
    if (scriptQueued)
        scriptQueued(serial);
    session_.QueueCommand(Pseudo::UserList);
    session_.QueueArgument(target_.domain);
    session_.QueueCommand(Pseudo::AddUsersToList);
    session_.QueueArgument(target_.domainKey);
    session_.QueueCommand(Pseudo::Quit);
    session_.StartQueue();
}

void BulkAddRunner::scriptEnded(const ScriptEnd& end)
{
    if (!running_)
        return;
    if (readingBack_) {
        finishReadBack(end);
        return;
    }
    if (current_ < 0)
        return;
    const int row = current_;
    current_ = -1;
    switch (end.kind) {
    case ScriptEnd::Done:
        outcomeKind_[row] = WasAdded;
        report(row, true, Added);
        break;
    case ScriptEnd::ServerError:
        // The server's own words; a refused login would refuse every row, so the run stops.
        outcomeKind_[row] = end.command == QLatin1String("useradd") ? Refused : Failed;
        report(row, false, end.text);
        if (end.command != QLatin1String("useradd"))
            stopReason_ = QStringLiteral("the server refused the %1 (%2)").arg(end.command, end.text);
        break;
    case ScriptEnd::ConnectionError:
    case ScriptEnd::TimedOut:
    case ScriptEnd::NotSent:
        outcomeKind_[row] = Failed;
        report(row, false, QStringLiteral("not added: ") + end.text);
        stopReason_ = QStringLiteral("the run stopped after: ") + end.text;
        break;
    }
    // From the event loop: the driver is still inside its last step, and the window gets its turn.
    QTimer::singleShot(0, this, &BulkAddRunner::queueNextRow);
}

void BulkAddRunner::finishReadBack(const ScriptEnd& end)
{
    readingBack_ = false;
    // Only a read-back that arrived settles anything: when its connection, greeting or login
    // failed, the session still holds the account list of before the run (of this very domain).
    const bool readBack = end.kind == ScriptEnd::Done && session_.UserEntriesAreOf(target_.server.key, target_.domain);
    if (readBack) {
        QSet<QString> present;
        present.reserve(session_.UserEntries.size());
        for (const UserEntry& e : std::as_const(session_.UserEntries))
            present.insert(e.nameAndKind.left(e.nameAndKind.size() - 1).toLower());
        // A row the server confirmed stays added; only rows whose answer never came are settled.
        for (int r = 0; r < rows_.size(); ++r) {
            if (outcomeKind_[r] == Failed && present.contains(rows_.name(r))) {
                // The connection ended after the request had gone out, and the server did add it.
                outcomeKind_[r] = WasAdded;
                report(r, true, Added);
            }
        }
    }
    int added = 0, notAdded = 0;
    for (int r = 0; r < rows_.size(); ++r) {
        if (!rows_.ok(r))
            continue;
        if (outcomeKind_[r] == WasAdded)
            ++added;
        else
            ++notAdded;
    }
    running_ = false;
    tap_.reset();
    emit finished(added, notAdded, readBack);
}
