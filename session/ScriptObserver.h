#pragma once
// What a script is, for the people watching it, and how watchers learn how it went.
//
// Every routine that queues a script attaches a ScriptLabel to it: the server, what the script does
// in words (never a password), and whether it only reads. The driver reports each script's start and
// end, with its outcome, to the ScriptReporter, which hands them on to every registered observer (the
// activity log, the busy indicator, and any command that needs to know how its own scripts went).
//
// A step queued with a mark (a number other than 0, see CommandQueue::pushCommand) is one whose
// outcome its caller wants to know by itself: when the server refuses it with a "-" line, no message
// box is shown, observers get stepEnded(label, mark, ServerError with the line), and the script goes
// on with its next step; when it succeeds they get stepEnded(label, mark, Done). Marked steps that
// never ran (the connection failed first, or the user cancelled) get no stepEnded: the script's
// outcome in scriptEnded says why.

#include <QString>
#include <QtGlobal>
#include <vector>

#include "store/SshRoute.h"

struct ScriptLabel {
    enum Kind { Change, Read };
    Kind kind = Change;
    QString action;   // what the script does, in words: "add account bob@example.com"
    QString server;   // the server's name as the tree shows it (filled in by the script head)
    QString serverKey;  // the server's record (its section name; filled in by the script head)
    QString host;     // the address and port the script connects to (filled in by the script head)
    QString port;
    SshRoute ssh;     // the SSH host the script connects through, if any (filled in by the script head)
    // The script's failures (a "-" reply to an unmarked step, a connection error, a silent server,
    // a value that cannot be sent) still abandon it, but are reported only to the observers (as the
    // script's outcome), not in a message box.
    bool quietErrors = false;
    const void* owner = nullptr;  // whoever queued it, so an observer can pick out its own scripts
    quint64 serial = 0;           // given by the queue: different for every script queued
    const void* session = nullptr;  // the session that runs it: serials are its own

    static ScriptLabel read(const QString& action) { return make(Read, action); }
    static ScriptLabel change(const QString& action) { return make(Change, action); }

private:
    static ScriptLabel make(Kind kind, const QString& action)
    {
        ScriptLabel label;
        label.kind = kind;
        label.action = action;
        return label;
    }
};

struct ScriptOutcome {
    enum Kind {
        Done,             // every step ran
        ServerError,      // the server answered "-": detail is its line
        Refused,          // this program refused to send something: detail says what
        ConnectionError,  // the connection failed or the server closed it: detail is the error
        TimedOut,         // the server was silent too long while a reply was awaited
        Cancelled,        // the user cancelled it (detail may warn of an upload that went out)
        Skipped           // a read that gave way to an action queued behind it
    };
    Kind kind = Done;
    QString detail;

    // The outcome in words, as the log and the status bar show it.
    QString text() const;
};

class ScriptObserver {
public:
    virtual ~ScriptObserver() = default;
    virtual void scriptStarted(const ScriptLabel& label) = 0;
    virtual void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome)
    {
        Q_UNUSED(label) Q_UNUSED(mark) Q_UNUSED(outcome)
    }
    virtual void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) = 0;
};

// The driver's side: it keeps the running script's label and first failure, and tells the
// observers. Observers are not owned; one that goes away first removes itself.
class ScriptReporter {
public:
    void addObserver(ScriptObserver* observer);
    void removeObserver(ScriptObserver* observer);

    bool active() const { return active_; }
    const ScriptLabel& label() const { return label_; }
    const ScriptOutcome& outcome() const { return outcome_; }

    // The driver took the first entry of a script.
    void begin(const ScriptLabel& label);
    // The script failed; the first failure is the one reported (later ones are its consequences).
    void fail(ScriptOutcome::Kind kind, const QString& detail = QString());
    bool failed() const { return failed_; }
    // The request step now sent carries this mark (0: none).
    void setStepMark(int mark) { stepMark_ = mark; }
    int stepMark() const { return stepMark_; }
    // The marked step now running ended so; nothing for an unmarked step.
    void endStep(const ScriptOutcome& outcome);
    // The script reached its end: observers get its outcome.
    void end();

private:
    std::vector<ScriptObserver*> observers_;
    ScriptLabel label_;
    ScriptOutcome outcome_;
    bool active_ = false;
    bool failed_ = false;
    int stepMark_ = 0;
};
