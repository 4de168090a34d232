#pragma once
// Opens a search result's node in the main window, the way a user would: a click on its server,
// then (once the domains are there) on its domain, then (once the accounts are there) on its account.
// Each click goes through the window's own navigation, so the node is loaded, highlighted and its
// panel shown exactly as after the user's own click.

#include <QObject>
#include <QString>

#include "session/ServerSearch.h"

class QModelIndex;
class frmMain;

class ResultOpener : public QObject {
    Q_OBJECT
public:
    explicit ResultOpener(frmMain* window);
    // A result opened while another is still on its way takes its place.
    void Open(const SearchResult& result);

private:
    enum Stage { Idle, ServerLoading, DomainLoading, AccountsSorting };
    void Next();  // the window's queue has run dry: the next click
    void AccountsShown(const QModelIndex& domain);  // the tree sorts a domain's accounts off the thread
    void OpenAccount();
    void Click(const QModelIndex& node);
    // The account node a result leads to: its own, or for an alias the account of its domain that
    // it points to; empty when there is none.
    QString AccountName() const;

    frmMain* w_;
    SearchResult result_;
    Stage stage_ = Idle;
};
