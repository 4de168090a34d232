#pragma once
// The plan of a state comparison (session/Plan.h) in a dialog of its own: a row per change with a
// tick (all ticked), the change, its old and new value side by side (passwords as "(sensitive)"),
// and its outcome once run. "Apply Ticked" hands the ticked rows to the runner; a progress bar and
// Cancel follow the run; each row ends done, refused (with the server's line) or skipped.

#include <QDialog>
#include <vector>

#include "session/Plan.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

class PlanDialog : public QDialog {
    Q_OBJECT
public:
    PlanDialog(const QString& title, const Plan& plan, QWidget* parent = nullptr);

    std::vector<bool> ticked() const;
    QTableWidget* table() const { return table_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    QString outcome(int row) const;
    QString summaryText() const;

public slots:
    void showStepOutcome(int step, int kind, const QString& text);
    void showProgress(int done, int total);
    void showFinished(int done, int refused, int skipped);

signals:
    void applyRequested(const std::vector<bool>& ticked);
    void cancelRequested();

private:
    Plan plan_;
    QTableWidget* table_;
    QLabel* summary_;
    QProgressBar* progress_;
    QPushButton* apply_;
    QPushButton* cancel_;
    bool running_ = false;
};
