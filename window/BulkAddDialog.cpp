// The preview and progress of adding accounts from a file.

#include "window/BulkAddDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

BulkRowModel::BulkRowModel(const BulkAccountRows& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows)
{
}

int BulkRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int BulkRowModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BulkRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const int r = index.row();
    switch (index.column()) {
    case LineColumn: return rows_.line(r);
    case NameColumn: return rows_.name(r);
    // Masked, one star a character, as the password boxes are: a row without one shows nothing.
    case PasswordColumn: return QString(rows_.passwordLength(r), QLatin1Char('*'));
    case KindColumn: return rows_.ok(r) ? (rows_.kind(r) == QLatin1String("M") ? QStringLiteral("list") : QStringLiteral("user")) : QString();
    case VerdictColumn: return rows_.verdict(r);
    case OutcomeColumn: return outcomes_.value(r);
    default: return {};
    }
}

QVariant BulkRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {"Line", "Name", "Password", "Kind", "Verdict", "Outcome"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

void BulkRowModel::setOutcome(int row, const QString& outcome)
{
    if (row < 0 || row >= rows_.size())
        return;
    outcomes_[row] = outcome;
    const QModelIndex cell = index(row, OutcomeColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

BulkAddDialog::BulkAddDialog(const QString& domain, const QString& fileName,
                             const BulkAccountRows& rows, QWidget* parent)
    : QDialog(parent), domain_(domain)
{
    setWindowTitle(QStringLiteral("Add Accounts to %1").arg(domain));
    okRows_ = int(rows.okCount());

    model_ = new BulkRowModel(rows, this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    add_ = new QPushButton(QStringLiteral("Add %1 Accounts").arg(okRows_), this);
    add_->setEnabled(okRows_ > 0);
    add_->setDefault(true);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setEnabled(false);
    close_ = new QPushButton(QStringLiteral("Close"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add_);
    buttons->addWidget(stop_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("From %1:").arg(fileName), this));
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    resize(640, 420);

    connect(add_, &QPushButton::clicked, this, [this] {
        running_ = true;
        add_->setEnabled(false);
        close_->setEnabled(false);
        stop_->setEnabled(true);
        showProgress();
        emit addRequested();
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);
        emit stopRequested();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    summary_->setText(QStringLiteral("%1 of %2 rows will be added to %3; the others are skipped.")
                          .arg(okRows_)
                          .arg(rows.size())
                          .arg(domain));
}

QString BulkAddDialog::summary() const
{
    return summary_->text();
}

void BulkAddDialog::showProgress()
{
    summary_->setText(QStringLiteral("Adding to %1: %2 added, %3 not added, %4 to go.")
                          .arg(domain_)
                          .arg(added_)
                          .arg(notAdded_)
                          .arg(okRows_ - added_ - notAdded_));
}

void BulkAddDialog::showRowOutcome(int row, bool added, const QString& outcome)
{
    // A row may be corrected by the read-back: count it once, by its last outcome.
    const QString before = model_->outcome(row);
    if (!before.isEmpty()) {
        if (before == QLatin1String("added"))
            --added_;
        else
            --notAdded_;
    }
    model_->setOutcome(row, outcome);
    (added ? added_ : notAdded_)++;
    if (!finished_)
        showProgress();
}

void BulkAddDialog::showFinished(int added, int notAdded, bool readBack)
{
    running_ = false;
    finished_ = true;
    stop_->setEnabled(false);
    close_->setEnabled(true);
    QString text = QStringLiteral("%1 added to %2, %3 not added.").arg(added).arg(domain_).arg(notAdded);
    if (!readBack)
        text += QStringLiteral(" Reading the domain's accounts back failed, so rows whose connection ended "
                               "before the server's answer may have been added all the same.");
    summary_->setText(text);
}

void BulkAddDialog::reject()
{
    if (running_) {
        if (stop_->isEnabled())
            stop_->click();
        return;  // the dialog stays until the run has ended
    }
    QDialog::reject();
}
