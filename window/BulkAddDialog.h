#pragma once
// The preview of a file of accounts to add: every row with its verdict before anything is sent,
// then each row's outcome as the run goes. Add sends the rows marked ok; Stop ends the run between
// two rows; Close is there once the run has ended (or instead of adding).

#include <QAbstractTableModel>
#include <QDialog>
#include <QHash>
#include <QList>

#include "protocol/AccountCsv.h"

class QLabel;
class QPushButton;
class QTableView;

// The rows as the preview's table shows them: a model over the compact rows (a file may hold a
// million), asked only for the cells in sight. The password column is masked.
class BulkRowModel : public QAbstractTableModel {
public:
    enum Column { LineColumn, NameColumn, PasswordColumn, KindColumn, VerdictColumn, OutcomeColumn, ColumnCount };
    explicit BulkRowModel(const BulkAccountRows& rows, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void setOutcome(int row, const QString& outcome);
    QString outcome(int row) const { return outcomes_.value(row); }
    const BulkAccountRows& rows() const { return rows_; }

private:
    BulkAccountRows rows_;
    QHash<int, QString> outcomes_;  // only the rows sent have one
};

class BulkAddDialog : public QDialog {
    Q_OBJECT
public:
    BulkAddDialog(const QString& domain, const QString& fileName, const BulkAccountRows& rows,
                  QWidget* parent);

    BulkRowModel* model() const { return model_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* closeButton() const { return close_; }
    QString summary() const;

    // The run's progress as the runner reports it.
    void showRowOutcome(int row, bool added, const QString& outcome);
    void showFinished(int added, int notAdded, bool readBack);

signals:
    void addRequested();
    void stopRequested();

protected:
    void reject() override;  // Esc or the window's close: a stop while the run lasts

private:
    void showProgress();

    BulkRowModel* model_;
    QTableView* table_;
    QLabel* summary_;
    QPushButton* add_;
    QPushButton* stop_;
    QPushButton* close_;
    QString domain_;
    int okRows_ = 0;
    int added_ = 0;
    int notAdded_ = 0;
    bool running_ = false;
    bool finished_ = false;
};
