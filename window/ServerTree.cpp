// The server tree: the root, one node per stored server, and under each server the domains and
// custom domains it reported, and under each domain its accounts. Server and domain nodes carry a
// placeholder child until their children are first loaded.
#include <QLineEdit>

#include "window/ServerTree.h"

#include <QSet>
#include <QSettings>
#include <algorithm>
#include <vector>

#include "protocol/ListRules.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

namespace {

// Joins a child's name to its parent's key. The wire is 8-bit text, so no name that a server
// reports can hold this character, and no two nodes can end up with the same key.
const QChar KeySeparator(0x241F);
const QChar DomainLetter = QLatin1Char('D');
const QChar CustomDomainLetter = QLatin1Char('C');
const QChar AccountLetter = QLatin1Char('A');

const QString DomainListErrorTitle = QStringLiteral("Error Loading Domain List");
const QString DomainListErrorText = QStringLiteral(
    "An error was encourtered while processing the domains.tab file on the server.  "
    "Check the file for invalid entries like \"\".");

}  // namespace

// ------------------------------------------------------------------------------------ node data

QString frmMain::DomainNodeKey(const QString& serverKey, const QString& domain)
{
    return serverKey + KeySeparator + DomainLetter + domain;
}

QString frmMain::CustomDomainNodeKey(const QString& serverKey, const QString& customDomain)
{
    return serverKey + KeySeparator + CustomDomainLetter + customDomain;
}

QString frmMain::AccountNodeKey(const QString& domainKey, const QString& account)
{
    return domainKey + KeySeparator + AccountLetter + account;
}

QString frmMain::ShownServerKey() const
{
    return NodeKey(SelectedServerIndex);
}

bool frmMain::ShownDomainListIsLoaded() const
{
    return Session->UserEntriesAreOf(ShownServerKey(), txtDomainName->text());
}

QString frmMain::NodeKey(const QModelIndex& node) const
{
    if (!node.isValid())
        return QString();
    // Account keys are not stored: a domain may hold a million accounts.
    if (DomainModel->kindOf(node) == Tree::Account)
        return AccountNodeKey(NodeKey(node.parent()), DomainModel->textOf(node));
    return DomainModel->keyOf(node);
}

QString frmMain::NodeText(const QModelIndex& node) const
{
    return DomainModel->textOf(node);
}

QString frmMain::NodeTag(const QModelIndex& node) const
{
    return DomainModel->tagOf(node);
}

void frmMain::SetNodeTag(const QModelIndex& node, const QString& tag)
{
    DomainModel->setTag(node, tag);
}

QModelIndex frmMain::NodeByKey(const QString& key) const
{
    const QModelIndex hashed = DomainModel->hashedNode(key);
    if (hashed.isValid())
        return hashed;
    // An account: its domain by key, then the account among the domain's sorted accounts.
    const qsizetype cut = key.lastIndexOf(KeySeparator);
    if (cut < 0 || key.mid(cut + 1, 1) != AccountLetter)
        return {};
    const QModelIndex domain = DomainModel->hashedNode(key.left(cut));
    if (DomainModel->kindOf(domain) != Tree::Domain)
        return {};
    return DomainModel->accountNode(domain, key.mid(cut + 2));
}

int frmMain::NodeLevel(const QModelIndex& node) const
{
    if (!node.isValid())
        return -1;
    int depth = 0;
    for (QModelIndex up = node.parent(); up.isValid(); up = up.parent())
        ++depth;
    return depth;
}

// ------------------------------------------------------------------------------------ building

void frmMain::RemoveChildNodes(const QModelIndex& node)
{
    if (node.isValid())
        DomainModel->removeChildren(node);
}

void frmMain::BuildServerTree()
{
    ServerTreeModel* model = DomainModel;
    model->removeChildren(QModelIndex());
    model->appendSorted(QModelIndex(), {{Tree::RootText, Tree::RootKey, QString(), Tree::Root, false}});
    const QModelIndex root = model->hashedNode(Tree::RootKey);

    // A count that is not a number reads as no servers; slots run from 1 to 32767.
    ServerCount = std::clamp(
        ReadWholeNumber(ReadSetting(*Settings, Store::ServersSection, Store::ServerCountKey,
                                    QStringLiteral("0")), 0),
        0, Store::MaxSlot);

    // Rows are added in one go: the view then lays out once, not once per server.
    std::vector<ServerTreeModel::NewNode> servers;
    for (int slot = 1; slot <= ServerCount; ++slot) {
        const QString section = ServerSection(slot);
        if (!ReadTruth(ReadSetting(*Settings, section, Store::ActiveKey)))
            continue;  // removed, or never completed: the slot stays empty
        QString name = ReadSetting(*Settings, section, Store::NameKey);
        if (name.trimmed().isEmpty())
            name = Tree::InvalidServer;
        servers.push_back({name, section, Tree::Virgin, Tree::Server, true});
    }
    std::stable_sort(servers.begin(), servers.end(),
                     [](const auto& a, const auto& b) { return Tree::TextLess(a.text, b.text); });
    model->appendSorted(root, servers);

    DomainList->expand(root);
    ShowServerPanel(QStringLiteral("add"));
}

QModelIndex AddServerToTree(frmMain& w, const QString& section, const QString& text)
{
    ServerTreeModel* model = w.DomainModel;
    const QModelIndex root = model->hashedNode(Tree::RootKey);
    if (!root.isValid())
        return {};
    model->insertSorted(root, {{text, section, section, Tree::Server, false}});
    return model->hashedNode(section);
}

void frmMain::AddDomainsToTree(const QString& serverKey)
{
    ServerTreeModel* model = DomainModel;
    const QModelIndex serverNode = model->hashedNode(serverKey);
    if (model->kindOf(serverNode) != Tree::Server)
        return;  // the server went away while its domains were on their way
    RemoveChildNodes(serverNode);

    // The domains up to the first bad entry go in: the server's domain file is damaged there, and
    // the load stops.
    struct Domain {
        QString name;
        QString folded;  // the name as sorted
    };
    const QStringList& names = Session->DomainNames;
    const DomainListCheck check = CheckDomainList(names);
    std::vector<Domain> domains;
    domains.reserve(size_t(check.sound));
    for (qsizetype i = 0; i < check.sound; ++i)
        domains.push_back({names.at(i), names.at(i).toCaseFolded()});
    // Sorted once and inserted in one go: a server may hold many thousands of domains.
    std::stable_sort(domains.begin(), domains.end(), [](const Domain& a, const Domain& b) {
        return Tree::FoldedLess(a.folded, a.name, b.folded, b.name);
    });
    std::vector<ServerTreeModel::NewNode> nodes;
    nodes.reserve(domains.size());
    for (const Domain& d : domains)
        nodes.push_back({d.name, DomainNodeKey(serverKey, d.name), Tree::Virgin, Tree::Domain, true});
    model->appendSorted(serverNode, nodes);

    if (check.damaged) {
        ShowMessage(DomainListErrorText, MsgIcon::Critical, DomainListErrorTitle);
        return;
    }
    ShowServerVersion();
}

void frmMain::AddCustomDomainsToTree(const QString& serverKey)
{
    ServerTreeModel* model = DomainModel;
    const QModelIndex serverNode = model->hashedNode(serverKey);
    if (model->kindOf(serverNode) != Tree::Server)
        return;
    // The server reports each custom domain once; an empty or repeated line adds nothing.
    std::vector<ServerTreeModel::NewNode> nodes;
    QSet<QString> seen;
    for (const QString& name : std::as_const(Session->CustomDomainNames)) {
        const QString key = CustomDomainNodeKey(serverKey, name);
        if (name.isEmpty() || model->hasKey(key) || seen.contains(key))
            continue;
        seen.insert(key);
        nodes.push_back({name, key, Tree::CustDomainTag, Tree::CustomDomain, false});
    }
    // Merged among the domains in one pass (not one search and insertion per custom domain).
    model->insertSorted(serverNode, std::move(nodes));
    ShowServerVersion();
}

void frmMain::AddUsersToTree(const QString& domainNodeKey)
{
    const QModelIndex domainNode = DomainModel->hashedNode(domainNodeKey);
    if (DomainModel->kindOf(domainNode) != Tree::Domain)
        return;
    // The tree shares the list's bytes: nothing is copied, and a long list is sorted off the
    // window's thread (its rows appear when the sort is done).
    DomainModel->setAccounts(domainNode, Session->UserEntries);
}
