#pragma once
// The activity journal: one line per change either program made (the window's actions, the bulk
// add's rows, tazelctl's changes), with its time, the server, what it did and how it ended, kept in
// the user's state folder so that yesterday's work is still there tomorrow. Labels never hold a
// password, so neither does the journal.
//
// The file is JSON lines: {"time":"2026-12-10T10:51:42.120Z","program":"tazelctl","server":"...",
// "host":"...","port":"...","action":"...","outcome":"..."}. Each line is appended with one write of
// the whole line to the file opened for appending, so two programs writing at once never mix their
// lines and a line is never half there; a write that fails is reported. Beyond RotateBytes the file
// is renamed to journal.jsonl.1 (replacing the one before) and a new one begun.
//
// The file is $TAZEL_JOURNAL when that is set (tests point it at a throw-away folder), otherwise
// $XDG_STATE_HOME/tazel-admin/journal.jsonl (~/.local/state when XDG_STATE_HOME is not set).

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

#include "session/ScriptObserver.h"

struct JournalEntry {
    QDateTime time;  // UTC
    QString program;
    QString server;
    QString host;
    QString port;
    QString action;
    QString outcome;
};

class ActivityJournal : public ScriptObserver {
public:
    static constexpr qint64 RotateBytes = qint64(4) << 20;

    // program: who writes ("tazel-admin" or "tazelctl").
    explicit ActivityJournal(const QString& program, const QString& path = DefaultPath());
    static QString DefaultPath();
    const QString& path() const { return path_; }
    // The size beyond which the file is set aside (tests make it small).
    qint64 rotateBytes = RotateBytes;

    // Appends one line; false (and the reason in *error) when it did not reach the file.
    bool append(const JournalEntry& entry, QString* error = nullptr);
    // Told of every write that failed (the window shows it, tazelctl prints it).
    std::function<void(const QString& message)> onWriteFailed;

    // Every entry at or after `since` (all when it is invalid), oldest first, from the rotated file
    // and the current one. Lines that are not entries are passed over and counted in *skipped.
    // False when a file that exists cannot be read.
    static bool read(const QString& path, const QDateTime& since,
                     const std::function<void(const JournalEntry&)>& visit, int* skipped, QString* error);
    // The last `count` entries, oldest first.
    static QList<JournalEntry> recent(const QString& path, int count);

    void scriptStarted(const ScriptLabel& label) override;
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;

private:
    QString path_;
    QString program_;
    QHash<quint64, QString> stepFailures_;  // a running change's first refused marked step
};
