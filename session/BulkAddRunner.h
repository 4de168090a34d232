#pragma once
// Adds the accepted rows of a file of accounts to one domain, one row at a time, with the requests
// of the Add New User button, then reads the domain's accounts back once.
//
// Each row is a script of its own (log in, "useradd", quit): a row the server refuses ends only its
// own script, so the rows after it are still sent. The next row is queued from the event loop when
// the previous one has ended, so the window keeps answering through thousands of rows and a cancel
// takes effect between two rows. A connection error, a silent server or a refused login stops the
// run: the rows not sent are reported as such. The read-back settles what a dropped connection
// left unknown: a row whose answer never came counts as added when its account is in the domain
// afterwards. A row the server confirmed stays added whatever the read-back finds, and a read-back
// that failed settles nothing.
//
// How a row's script ended reaches the runner through scriptEnded(), from RowOutcomeTap (in the
// .cpp), which watches the driver's reports of the run's own scripts. The rows' scripts ask for
// quiet errors: the dialog shows each outcome, and no row raises a message box.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "session/Scripts.h"
#include "protocol/AccountCsv.h"

class RowOutcomeTap;

// How one script ended.
struct ScriptEnd {
    enum Kind { Done, ServerError, ConnectionError, TimedOut, NotSent };
    Kind kind = Done;
    QString command;  // ServerError: the command refused ("useradd", "login")
    QString text;     // the server's error line, or the message that told of the failure
};

class BulkAddRunner : public QObject {
    Q_OBJECT
public:
    struct Target {
        ScriptServer server;
        QString domain;
        QString domainKey;
    };
    // A row's outcome as it is reported.
    static const QString Added;

    explicit BulkAddRunner(ServerSession& session, QObject* parent = nullptr);
    ~BulkAddRunner() override;

    // Sends the rows whose verdict is ok; rows are reported by their index in this list.
    void start(const Target& target, const BulkAccountRows& rows);
    // No further row is sent; the row under way finishes, and the domain is still read back.
    void cancel();
    bool running() const { return running_; }
    int sentCount() const { return sent_; }

    // Told of every script the run queues, by its serial: a front end whose passwords arrive later
    // (from the keyring) settles a script queued without one.
    std::function<void(quint64 serial)> scriptQueued;

    // The seam: the script of the row under way (or the read-back) has ended so.
    void scriptEnded(const ScriptEnd& end);

signals:
    void rowFinished(int row, bool added, const QString& outcome);
    // After the read-back; readBack is false when the domain's list could not be read whole (its
    // connection, greeting or login failed, or the list was cut short).
    void finished(int added, int notAdded, bool readBack);

private:
    void queueNextRow();
    void queueReadBack();
    void finishReadBack(const ScriptEnd& end);
    void report(int row, bool added, const QString& outcome);

    ServerSession& session_;
    std::unique_ptr<RowOutcomeTap> tap_;
    Target target_;
    BulkAccountRows rows_;
    QList<qint8> outcomeKind_;  // per row: -1 not sent, 0 added, 1 refused by the server, 2 other
    int next_ = 0;
    int current_ = -1;  // the row whose script is under way
    bool readingBack_ = false;
    bool running_ = false;
    bool cancelled_ = false;
    QString stopReason_;  // why the rows not yet sent will not be sent
    int sent_ = 0;
};
