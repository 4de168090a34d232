// Adding the accepted rows of a file of accounts, one script per row, then reading the domain back.

#include "window/BulkAddRunner.h"

#include <QSet>
#include <QTimer>

#include "engine/CommandQueue.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

const QString BulkAddRunner::Added = QStringLiteral("added");

// Learns how a row's script ended while the run lasts: it stands in for the window's message seam,
// keeps the message that tells of the script's failure (so a thousand refused rows raise no
// thousand message boxes; the dialog shows them), passes every other message on, and reports the
// end when the driver falls idle.
class RowOutcomeTap : public MessageSeam {
public:
    RowOutcomeTap(frmMain& w, BulkAddRunner& runner) : w_(w), runner_(runner), inner_(w.Messages)
    {
        w_.Messages = this;
        idle_ = QObject::connect(&w_, &frmMain::DriverIdled, &runner_, [this] { driverIdled(); });
    }
    ~RowOutcomeTap() override
    {
        QObject::disconnect(idle_);
        if (w_.Messages == this)
            w_.Messages = inner_;
    }

    // The next idle ends a script whose outcome is wanted; capture: keep its failure message.
    void watch(bool capture)
    {
        watching_ = true;
        capture_ = capture;
        captured_ = ScriptEnd();
        hasCapture_ = false;
    }

    void notify(const QString& text, const QString& title, MsgIcon icon) override
    {
        ScriptEnd end;
        if (watching_ && capture_ && !hasCapture_ && Classify(text, &end)) {
            captured_ = end;
            hasCapture_ = true;
            return;
        }
        inner_->notify(text, title, icon);
    }

    MsgButton ask(const QString& text, const QString& title, MsgIcon icon, int buttons,
                  MsgButton defaultButton) override
    {
        return inner_->ask(text, title, icon, buttons, defaultButton);
    }

private:
    void driverIdled()
    {
        if (!watching_)
            return;
        watching_ = false;
        runner_.scriptEnded(captured_);
    }

    // The messages by which the driver tells that a script failed.
    static bool Classify(const QString& text, ScriptEnd* end)
    {
        static const QString errorReply = QStringLiteral("Error response durring '");
        if (text.startsWith(errorReply)) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), errorReply.size());
            const qsizetype body = text.indexOf(QStringLiteral("\r\n\r\n"));
            end->kind = ScriptEnd::ServerError;
            end->command = text.mid(errorReply.size(), close - errorReply.size());
            end->text = body < 0 ? text : text.mid(body + 4);
            return true;
        }
        end->text = text;
        if (text.startsWith(QStringLiteral("TCP Error: "))) {
            end->kind = ScriptEnd::ConnectionError;
            return true;
        }
        if (text.startsWith(QStringLiteral("The server ")) && text.contains(QStringLiteral(" did not answer for "))) {
            end->kind = ScriptEnd::TimedOut;
            return true;
        }
        if (text.startsWith(QStringLiteral("The request \"")) ||
            text.startsWith(QStringLiteral("The login name or password of this server"))) {
            end->kind = ScriptEnd::NotSent;
            return true;
        }
        return false;
    }

    frmMain& w_;
    BulkAddRunner& runner_;
    MessageSeam* inner_;
    QMetaObject::Connection idle_;
    bool watching_ = false;
    bool capture_ = false;
    bool hasCapture_ = false;
    ScriptEnd captured_;
};

namespace {
enum RowState { NotSent = -1, WasAdded = 0, Refused = 1, Failed = 2 };
}

BulkAddRunner::BulkAddRunner(frmMain& window, QObject* parent) : QObject(parent), w_(window) {}

BulkAddRunner::~BulkAddRunner() = default;

void BulkAddRunner::start(const Target& target, const QList<BulkAccountRow>& rows)
{
    if (running_)
        return;
    target_ = target;
    rows_ = rows;
    outcomeKind_ = QList<int>(rows.size(), NotSent);
    next_ = 0;
    current_ = -1;
    sent_ = 0;
    cancelled_ = false;
    readingBack_ = false;
    stopReason_.clear();
    running_ = true;
    tap_ = std::make_unique<RowOutcomeTap>(w_, *this);
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
    while (next_ < rows_.size() && !rows_[next_].ok())
        ++next_;
    if (next_ >= rows_.size() || cancelled_ || !stopReason_.isEmpty()) {
        // The rows not sent are reported as such, then the domain is read back.
        const QString why = cancelled_ ? QStringLiteral("not added: cancelled")
                                       : QStringLiteral("not added: ") + stopReason_;
        for (int r = next_; r < rows_.size(); ++r)
            if (rows_[r].ok())
                report(r, false, why);
        queueReadBack();
        return;
    }
    current_ = next_++;
    ++sent_;
    const BulkAccountRow& row = rows_[current_];
    tap_->watch(true);
    // The requests of the Add New User button, without its reread: the domain is read once at the end.
    w_.QueueScriptHead(target_.serverKey, true);
    w_.QueueCommand(Pseudo::UserAdd);
    w_.QueueArgument(target_.domain);
    w_.QueueArgument(row.name);
    w_.QueueArgument(row.password);
    w_.QueueArgument(row.kind);
    w_.QueueCommand(Pseudo::Quit);
    w_.StartQueue();
}

void BulkAddRunner::queueReadBack()
{
    readingBack_ = true;
    current_ = -1;
    tap_->watch(false);
    w_.QueueScriptHead(target_.serverKey, true);
    w_.QueueCommand(Pseudo::UserList);
    w_.QueueArgument(target_.domain);
    w_.QueueCommand(Pseudo::AddUsersToList);
    w_.QueueArgument(target_.domainKey);
    w_.QueueCommand(Pseudo::Quit);
    w_.StartQueue();
}

void BulkAddRunner::scriptEnded(const ScriptEnd& end)
{
    if (!running_)
        return;
    if (readingBack_) {
        finishReadBack();
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

void BulkAddRunner::finishReadBack()
{
    readingBack_ = false;
    const bool readBack = w_.UserEntriesDomain == target_.domain;
    if (readBack) {
        QSet<QString> present;
        present.reserve(w_.UserEntries.size());
        for (const UserEntry& e : std::as_const(w_.UserEntries))
            present.insert(e.nameAndKind.left(e.nameAndKind.size() - 1).toLower());
        for (int r = 0; r < rows_.size(); ++r) {
            const int kind = outcomeKind_[r];
            if (kind == Failed && present.contains(rows_[r].name)) {
                // The connection ended after the request had gone out, and the server did add it.
                outcomeKind_[r] = WasAdded;
                report(r, true, Added);
            } else if (kind == WasAdded && !present.contains(rows_[r].name)) {
                outcomeKind_[r] = Failed;
                report(r, false, QStringLiteral("not added: not in the domain when it was read back"));
            }
        }
    }
    int added = 0, notAdded = 0;
    for (int r = 0; r < rows_.size(); ++r) {
        if (!rows_[r].ok())
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
