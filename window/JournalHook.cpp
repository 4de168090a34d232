#include "window/JournalHook.h"

#include <QPointer>

#include "session/ActivityJournal.h"
#include "session/ActivityLog.h"
#include "window/frmMain.h"

namespace {
// Owns the window's journal writer for the window's lifetime. The session may go first when the
// window is torn down; the writer then has nothing to leave.
class JournalKeeper : public QObject {
public:
    JournalKeeper(frmMain& w) : QObject(&w), session_(w.Session), journal_(QStringLiteral("tazel-admin"))
    {
        QPointer<ActivityLog> log = w.Activity;
        journal_.onWriteFailed = [log](const QString& message) {
            if (log)
                log->note(QString(), message);
        };
        for (const JournalEntry& e : ActivityJournal::recent(journal_.path(), JournalRowsOnStart))
            w.Activity->addPast(e.time, e.server,
                                e.program == QLatin1String("tazel-admin")
                                    ? e.action
                                    : e.action + QStringLiteral(" (") + e.program + QLatin1Char(')'),
                                e.outcome);
        session_->Reports.addObserver(&journal_);
    }
    ~JournalKeeper() override
    {
        if (session_)
            session_->Reports.removeObserver(&journal_);
    }

private:
    QPointer<ServerSession> session_;
    ActivityJournal journal_;
};
}  // namespace

void AttachJournal(frmMain& w)
{
    new JournalKeeper(w);
}
