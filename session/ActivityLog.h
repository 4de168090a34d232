#pragma once
// The activity log: one row per script the window queued, with when it started, the server, whether
// it only read or changed something, what it did in words, and how it ended. It watches the driver
// as a ScriptObserver and is the model the activity dock shows. Labels never hold a password, so
// neither does the log.

#include <QAbstractTableModel>
#include <QDateTime>
#include <deque>

#include "session/ScriptObserver.h"

class ActivityLog : public QAbstractTableModel, public ScriptObserver {
    Q_OBJECT
public:
    enum Column { TimeColumn, ServerColumn, KindColumn, ActionColumn, OutcomeColumn, ColumnCount };
    static constexpr int MaxRows = 5000;  // the oldest rows go first

    explicit ActivityLog(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // One cell's text, as shown.
    QString text(int row, Column column) const;

    // A row of its own for something worth knowing that is no action of the user's (lines the server
    // sent beyond its reply, a file it did not send); its kind reads "note".
    void note(const QString& server, const QString& text);
    // A row of an earlier session, from the activity journal: shown above today's, never updated.
    void addPast(const QDateTime& started, const QString& server, const QString& action, const QString& outcome);

    void scriptStarted(const ScriptLabel& label) override;
    // A step refused on its own (the rest of its script went on) gives its row the server's line as
    // the outcome, unless the script itself then failed.
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;

    // What a finished script did and how it went, in one line: "add account bob@example.com: done".
    static QString Summary(const ScriptLabel& label, const QString& outcome);

signals:
    void finished(const QString& summary);

private:
    struct Row {
        QDateTime started;
        QString server;
        bool read = false;
        bool note = false;
        QString action;
        QString outcome;
        quint64 serial = 0;
        QString stepFailure;  // the first marked step the server refused
        const void* session = nullptr;  // the session that ran it
        bool past = false;    // from the journal: no script of this run
    };
    void append(Row row);
    int rowOf(const ScriptLabel& label) const;  // the row of a running script, -1 when gone
    std::deque<Row> rows_;
};
