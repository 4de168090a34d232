#pragma once
#include <vector>
// The window's views of running and finished scripts: the activity dock that shows the activity
// log, and the busy indicator with its Cancel button in the status bar.

#include <QDockWidget>
#include <QWidget>

#include "session/ScriptObserver.h"

class ActivityLog;
class QProgressBar;
class QPushButton;
class QTableView;

// Shows the log's rows, newest at the bottom and kept in view. Hidden at first.
class ActivityDock : public QDockWidget {
    Q_OBJECT
public:
    ActivityDock(ActivityLog* log, QWidget* parent);
    QTableView* table() const { return table_; }

private:
    QTableView* table_;
};

// A busy bar and a Cancel button, shown only while a script runs.
class BusyIndicator : public QWidget, public ScriptObserver {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent);
    QPushButton* cancelButton() const { return cancel_; }

    void scriptStarted(const ScriptLabel& label) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;

signals:
    // Cancel of the script that started last among those running, by its session.
    void cancelRequested(const void* session);

private:
    QProgressBar* bar_;
    QPushButton* cancel_;
    std::vector<const void*> running_;  // the session of each running script, in the order they started
};
