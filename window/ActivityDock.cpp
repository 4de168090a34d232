#include "window/ActivityDock.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

#include "session/ActivityLog.h"

ActivityDock::ActivityDock(ActivityLog* log, QWidget* parent)
    : QDockWidget(QStringLiteral("Activity"), parent), table_(new QTableView(this))
{
    setObjectName(QStringLiteral("ActivityDock"));
    table_->setModel(log);
    table_->setAccessibleName(QStringLiteral("Activity log"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // The columns fit the rows in sight, and only while the dock shows: a hidden table measures
    // every row for that on every new row, which made each account of a long run (adding accounts
    // from a file) cost more than its own requests.
    table_->horizontalHeader()->setResizeContentsPrecision(0);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        table_->horizontalHeader()->setSectionResizeMode(visible ? QHeaderView::ResizeToContents
                                                                 : QHeaderView::Interactive);
    });
    setWidget(table_);
    connect(log, &QAbstractItemModel::rowsInserted, table_, [this] { table_->scrollToBottom(); });
    hide();
}

BusyIndicator::BusyIndicator(QWidget* parent)
    : QWidget(parent), bar_(new QProgressBar(this)), cancel_(new QPushButton(QStringLiteral("Cancel"), this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    bar_->setRange(0, 0);  // busy: no amount known
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(100);
    cancel_->setObjectName(QStringLiteral("cmdCancelScript"));
    cancel_->setToolTip(QStringLiteral("Close the connection and abandon the running action (Esc)"));
    row->addWidget(bar_);
    row->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (!running_.empty())
            emit cancelRequested(running_.back());
    });
    hide();
}

void BusyIndicator::scriptStarted(const ScriptLabel& label)
{
    running_.push_back(label.session);
    show();
}

void BusyIndicator::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    Q_UNUSED(outcome)
    const auto it = std::find(running_.rbegin(), running_.rend(), label.session);
    if (it != running_.rend())
        running_.erase(std::next(it).base());
    if (running_.empty())
        hide();
}
