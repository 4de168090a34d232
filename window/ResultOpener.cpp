#include "window/ResultOpener.h"

#include <QTreeView>
#include <utility>

#include "window/frmMain.h"

ResultOpener::ResultOpener(frmMain* window) : QObject(window), w_(window)
{
    connect(w_->Session, &ServerSession::DriverIdled, this, &ResultOpener::Next);
    connect(w_->DomainModel, &ServerTreeModel::accountsShown, this, &ResultOpener::AccountsShown);
}

void ResultOpener::Open(const SearchResult& result)
{
    result_ = result;
    stage_ = Idle;
    const QModelIndex server = w_->NodeByKey(result.serverKey);
    if (!server.isValid()) {
        w_->ShowMessage(QStringLiteral("The server %1 is no longer among the stored servers.").arg(result.server),
                        MsgIcon::Exclamation);
        return;
    }
    w_->raise();
    w_->activateWindow();
    stage_ = ServerLoading;
    Click(server);  // the driver runs dry once the domains are in (or their load failed)
}

void ResultOpener::Click(const QModelIndex& node)
{
    w_->DomainList->setCurrentIndex(node);
    w_->DomainList->scrollTo(node);
    w_->DomainList_NodeClick(node);
}

QString ResultOpener::AccountName() const
{
    if (result_.kind != QLatin1String("alias"))
        return result_.name;
    // An alias points to a name of its own domain, or to a whole address (of this domain or not).
    const qsizetype at = result_.target.indexOf(QLatin1Char('@'));
    if (at < 0)
        return result_.target;
    if (result_.target.mid(at + 1).compare(result_.domain, Qt::CaseInsensitive) == 0)
        return result_.target.left(at);
    return QString();
}

void ResultOpener::Next()
{
    if (stage_ != ServerLoading && stage_ != DomainLoading)
        return;
    const Stage stage = std::exchange(stage_, Idle);
    const QModelIndex server = w_->NodeByKey(result_.serverKey);
    if (!server.isValid())
        return;  // the server's load failed: the window has said why
    if (stage == ServerLoading) {
        w_->DomainList->expand(server);
        const bool custom = result_.kind == QLatin1String("custom");
        const QString key = custom ? frmMain::CustomDomainNodeKey(result_.serverKey, result_.domain)
                                   : frmMain::DomainNodeKey(result_.serverKey, result_.domain);
        const QModelIndex domain = w_->NodeByKey(key);
        if (!domain.isValid()) {
            w_->ShowMessage(QStringLiteral("The server %1 no longer lists %2.").arg(result_.server, result_.domain),
                            MsgIcon::Exclamation);
            return;
        }
        const bool account = !custom && result_.kind != QLatin1String("domain") && !AccountName().isEmpty();
        if (account)
            stage_ = DomainLoading;
        Click(domain);
        return;
    }
    // DomainLoading: the accounts have arrived; they are in the tree once sorted.
    const QModelIndex domain = w_->NodeByKey(frmMain::DomainNodeKey(result_.serverKey, result_.domain));
    if (!domain.isValid())
        return;
    if (w_->DomainModel->accountsPending(domain)) {
        stage_ = AccountsSorting;
        return;
    }
    OpenAccount();
}

void ResultOpener::AccountsShown(const QModelIndex& domain)
{
    if (stage_ != AccountsSorting ||
        domain != w_->NodeByKey(frmMain::DomainNodeKey(result_.serverKey, result_.domain)))
        return;
    stage_ = Idle;
    OpenAccount();
}

void ResultOpener::OpenAccount()
{
    const QString domainKey = frmMain::DomainNodeKey(result_.serverKey, result_.domain);
    const QModelIndex domain = w_->NodeByKey(domainKey);
    if (!domain.isValid())
        return;
    const QModelIndex account = w_->NodeByKey(frmMain::AccountNodeKey(domainKey, AccountName()));
    if (!account.isValid()) {
        w_->ShowMessage(QStringLiteral("The domain %1 of %2 no longer holds %3.")
                            .arg(result_.domain, result_.server, AccountName()),
                        MsgIcon::Exclamation);
        return;
    }
    w_->DomainList->expand(domain);
    Click(account);
}
