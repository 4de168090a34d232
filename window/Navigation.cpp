// Tree navigation: expanding or clicking a node chooses what the panels show and queues the
// script that loads the node's data from its server. Expanding loads a server or domain only the
// first time; clicking loads it every time.
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include "store/ServerStore.h"
#include "window/ServerTree.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

void ServerTreeView::keyPressEvent(QKeyEvent* event)
{
    const QPersistentModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    const QModelIndex now = currentIndex();
    if (now.isValid() && now != before && onKeyboardMove)
        onKeyboardMove(now);
}

void ServerTreeView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    fetchInSight();
}

void ServerTreeView::updateGeometries()
{
    QTreeView::updateGeometries();
    // Called while the view lays out its rows: the model is asked once the layout is done.
    if (!fetchQueued_) {
        fetchQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            fetchQueued_ = false;
            fetchInSight();
        });
    }
}

void ServerTreeView::fetchInSight()
{
    auto* m = qobject_cast<ServerTreeModel*>(model());
    if (!m)
        return;
    const int bottom = viewport()->height();
    for (QModelIndex i = indexAt(QPoint(1, 1)); i.isValid(); i = indexBelow(i)) {
        if (visualRect(i).top() > bottom)
            break;
        const QModelIndex parent = i.parent();
        if (i.row() == m->rowCount(parent) - 1 && m->hasMoreAccounts(parent)) {
            m->showMoreAccounts(parent);  // the new rows are laid out, and looked at, next time
            return;
        }
    }
}

void frmMain::FillServerFields(const QString& serverKey)
{
    txtServerName->setText(ReadSetting(*Settings, serverKey, Store::NameKey));
    txtServerAddress->setText(ReadSetting(*Settings, serverKey, Store::AddressKey));
    txtServerPort->setText(ReadSetting(*Settings, serverKey, Store::PortKey));
    txtServerLoginName->setText(ReadSetting(*Settings, serverKey, Store::LoginKey));
    Passwords->fillPasswordBox(serverKey);  // the keyring's password may still be on its way
}

void frmMain::ShowServerOfNode(const QModelIndex& serverNode, bool required)
{
    const QPersistentModelIndex node(serverNode);
    HideAllPanels();
    SelectedUserIndex = QPersistentModelIndex();
    SelectedDomainIndex = QPersistentModelIndex();
    SelectedServerIndex = node;
    DomainList->setCurrentIndex(node);  // the highlighted node is the one whose panel is shown
    const QString key = NodeKey(node);
    FillServerFields(key);
    ShowServerPanel(QStringLiteral("edit"));
    QueueLoadDomains(key, required);
}

void frmMain::ShowDomainOfNode(const QModelIndex& domainNode, bool required)
{
    const QPersistentModelIndex node(domainNode);
    SelectedUserIndex = QPersistentModelIndex();
    SelectedDomainIndex = node;
    SelectedServerIndex = QPersistentModelIndex(node.parent());
    DomainList->setCurrentIndex(node);
    txtDomainName->setText(NodeText(node));
    HideAllPanels();
    ShowDomainPanel(QStringLiteral("edit"));
    QueueLoadUsers(NodeKey(node), required);
}

void frmMain::DomainList_Expand(const QModelIndex& expanded)
{
    const QPersistentModelIndex node(expanded);
    if (NodeTag(node) != Tree::Virgin)
        return;  // already loaded: the tree just opens the node
    SetNodeTag(node, QString());
    // An expansion's script is required: a click that follows waits for it instead of cutting it short.
    switch (NodeLevel(node)) {
    case 1:
        ShowServerOfNode(node, true);
        break;
    case 2:
        ShowDomainOfNode(node, true);
        break;
    default:
        break;
    }
}

void frmMain::DomainList_NodeClick(const QModelIndex& clicked)
{
    const QPersistentModelIndex node(clicked);
    if (!node.isValid())
        return;
    const QString tag = NodeTag(node);
    if (tag == Tree::Virgin)
        SetNodeTag(node, QString());
    if (tag == Tree::Blank)
        return;  // the placeholder of children not loaded yet
    switch (NodeLevel(node)) {
    case 0:
        HideAllPanels();
        ClearServerFields();
        SelectedServerIndex = SelectedDomainIndex = SelectedUserIndex = QPersistentModelIndex();
        ShowServerPanel(QStringLiteral("add"));
        break;
    case 1:
        ShowServerOfNode(node, false);
        break;
    case 2:
        if (tag == Tree::CustDomainTag) {
            // The panel appears when the custom domain's file has arrived.
            SelectedUserIndex = QPersistentModelIndex();
            SelectedDomainIndex = node;
            SelectedServerIndex = QPersistentModelIndex(node.parent());
            txtDomainName->setText(NodeText(node));
            HideAllPanels();
            QueueLoadCustomDomain(NodeKey(node));
        } else {
            ShowDomainOfNode(node, false);
        }
        break;
    case 3:
        // The user panel appears when the account's details have arrived.
        HideAllPanels();
        SelectedUserIndex = node;
        SelectedDomainIndex = QPersistentModelIndex(node.parent());
        SelectedServerIndex = QPersistentModelIndex(node.parent().parent());
        QueueLoadAccount(NodeKey(node));
        break;
    default:
        break;
    }
}
