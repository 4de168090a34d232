#include "window/PlanDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "session/PlanRunner.h"

namespace {
enum Column { ChangeColumn, OldColumn, NewColumn, OutcomeColumn, ColumnCount };

// A file's text shown on one line of the table; the tooltip holds all of it.
QString Shown(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\n'), QStringLiteral(" \u21b5 "));
    return t.size() > 80 ? t.left(80) + QStringLiteral("...") : t;
}
}  // namespace

PlanDialog::PlanDialog(const QString& title, const Plan& plan, QWidget* parent) : QDialog(parent), plan_(plan)
{
    setWindowTitle(title);
    table_ = new QTableWidget(int(plan.steps.size()), ColumnCount, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Change"), QStringLiteral("Now"), QStringLiteral("After"),
                                       QStringLiteral("Outcome")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    const QString sensitive = QStringLiteral("(sensitive)");
    for (int r = 0; r < table_->rowCount(); ++r) {
        const PlanStep& s = plan.steps[size_t(r)];
        auto* change = new QTableWidgetItem(s.line());
        change->setFlags(change->flags() | Qt::ItemIsUserCheckable);
        change->setCheckState(Qt::Checked);
        table_->setItem(r, ChangeColumn, change);
        const bool file = s.object == PlanStep::MailProc || s.object == PlanStep::CustomDomain;
        const QString oldText = s.sensitive ? sensitive : s.oldValue;
        const QString newText = s.sensitive ? sensitive : s.newValue;
        auto* o = new QTableWidgetItem(file ? Shown(oldText) : oldText);
        auto* n = new QTableWidgetItem(file ? Shown(newText) : newText);
        if (file) {
            o->setToolTip(oldText);
            n->setToolTip(newText);
        }
        table_->setItem(r, OldColumn, o);
        table_->setItem(r, NewColumn, n);
        table_->setItem(r, OutcomeColumn, new QTableWidgetItem());
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);

    summary_ = new QLabel(plan.steps.empty() ? QStringLiteral("Nothing differs.") : plan.summary(), this);
    if (!plan.refusal.isEmpty())
        summary_->setText(QString(plan.refusal).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    summary_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->hide();
    apply_ = new QPushButton(QStringLiteral("Apply Ticked"), this);
    apply_->setEnabled(!plan.steps.empty() && plan.refusal.isEmpty());
    cancel_ = new QPushButton(QStringLiteral("Close"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(apply_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    resize(820, 420);

    connect(apply_, &QPushButton::clicked, this, [this] {
        running_ = true;
        apply_->setEnabled(false);
        cancel_->setText(QStringLiteral("Cancel"));
        const std::vector<bool> rows = ticked();
        progress_->setRange(0, std::max(1, int(std::count(rows.begin(), rows.end(), true))));
        progress_->setValue(0);
        progress_->show();
        for (int r = 0; r < table_->rowCount(); ++r)
            table_->item(r, ChangeColumn)->setFlags(table_->item(r, ChangeColumn)->flags() & ~Qt::ItemIsUserCheckable);
        emit applyRequested(ticked());
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (running_)
            emit cancelRequested();
        else
            close();
    });
}

std::vector<bool> PlanDialog::ticked() const
{
    std::vector<bool> t;
    for (int r = 0; r < table_->rowCount(); ++r)
        t.push_back(table_->item(r, ChangeColumn)->checkState() == Qt::Checked);
    return t;
}

QString PlanDialog::outcome(int row) const
{
    return table_->item(row, OutcomeColumn)->text();
}

QString PlanDialog::summaryText() const
{
    return summary_->text();
}

void PlanDialog::showStepOutcome(int step, int kind, const QString& text)
{
    if (step < 0 || step >= table_->rowCount())
        return;
    const QString word = kind == StepResult::Done ? QStringLiteral("done")
                         : kind == StepResult::Refused ? QStringLiteral("refused: ") + text
                                                       : QStringLiteral("skipped: ") + text;
    table_->item(step, OutcomeColumn)->setText(word);
}

void PlanDialog::showProgress(int done, int total)
{
    progress_->setRange(0, std::max(1, total));
    progress_->setValue(done);
}

void PlanDialog::showFinished(int done, int refused, int skipped)
{
    running_ = false;
    cancel_->setText(QStringLiteral("Close"));
    progress_->setValue(progress_->maximum());
    summary_->setText(QStringLiteral("%1 done, %2 refused, %3 skipped.").arg(done).arg(refused).arg(skipped));
}
