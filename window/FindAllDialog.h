#pragma once
// Edit > Find on All Servers...: a window of its own that asks every stored server at once (a
// ServerSearch) and shows what they hold as the answers arrive: a table of results (server, domain,
// name, kind) and a status row per server. A double click on a result opens its node in the main
// window. The main window's own queue is never used for the search.

#include <QWidget>

#include "session/ServerSearch.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableView;
class QTreeWidget;
class frmMain;
class ResultOpener;
class SearchResultModel;

class FindAllDialog : public QWidget {
    Q_OBJECT
public:
    explicit FindAllDialog(frmMain* window);
    ~FindAllDialog() override;

    QLineEdit* txtFind = nullptr;
    QCheckBox* chkAccounts = nullptr;  // "Search every domain's accounts"
    QPushButton* cmdSearch = nullptr;
    QPushButton* cmdStop = nullptr;
    QTableView* tblResults = nullptr;
    QTreeWidget* lstServers = nullptr;  // one row per server: name, status, progress
    ServerSearch* Search = nullptr;

    int ResultCount() const;
    const SearchResult& ResultAt(int row) const;

    void cmdSearch_Click();
    void cmdStop_Click();

protected:
    // Closing the window ends its search: nobody is left to see the answers.
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowServerStatus(int server);
    void SearchFinished();
    void OpenResult(const QModelIndex& index);

    frmMain* w_;
    SearchResultModel* results_;
    ResultOpener* opener_;
};
