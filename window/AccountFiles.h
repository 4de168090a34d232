#pragma once
// A domain's accounts to and from files: "Export Accounts..." writes the loaded account list of the
// shown domain to a CSV file, "Add Accounts from File..." reads a CSV file of accounts, shows every
// row with its verdict, and adds the accepted ones. Both buttons stand in the domain panel beside
// Print User List, and, like printing, act only on the complete account list of the shown domain.

#include <QObject>
#include <QPointer>
#include <functional>

#include "window/BulkAddDialog.h"

class frmMain;
class QPushButton;
class BulkAddRunner;

class AccountFiles : public QObject {
    Q_OBJECT
public:
    explicit AccountFiles(frmMain& window);

    QPushButton* exportButton() const { return export_; }
    QPushButton* addFromFileButton() const { return addFromFile_; }

    // The file dialogs; tests put their own choice here. An empty path means the user cancelled.
    std::function<QString(const QString& suggestedPath)> chooseExportFile;
    std::function<QString()> chooseImportFile;

    void exportAccounts();
    void addAccountsFromFile();

    // The preview of the last file read (while it is open) and its runner.
    BulkAddDialog* dialog() const { return dialog_; }
    BulkAddRunner* runner() const { return runner_; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool listIsLoaded(const QString& whatFails);
    void followPanel();

    frmMain& w_;
    QPushButton* export_;
    QPushButton* addFromFile_;
    QPointer<BulkAddDialog> dialog_;
    BulkAddRunner* runner_;
};
