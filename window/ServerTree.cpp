// The server tree: the root, one node per stored server, and under each server the domains and
// custom domains it reported, and under each domain its accounts. Server and domain nodes carry a
// placeholder child until their children are first loaded.
#include "window/ServerTree.h"

#include <QSet>
#include <QSettings>
#include <algorithm>
#include <vector>

#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

static void LoadTreeImages()
{
    Q_INIT_RESOURCE(resources);  // the images live in a static library
}

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

// Account nodes carry no kind of their own (one value less for each of a million nodes).
int KindOf(const QModelIndex& node)
{
    if (!node.isValid())
        return 0;
    const QVariant kind = node.data(Tree::KindRole);
    return kind.isValid() ? kind.toInt() : Tree::Account;
}

// The row before which a child with the given text belongs, after any siblings of equal text.
int SortedRow(const QStandardItem* parent, const QString& text)
{
    int low = 0, high = parent->rowCount();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (Tree::TextLess(text, parent->child(mid)->text()))
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

QStandardItem* NewNode(const QString& text, const QIcon& icon, int kind, const QString& tag)
{
    auto* item = new QStandardItem(icon, text);
    item->setData(kind, Tree::KindRole);
    if (!tag.isEmpty())
        item->setData(tag, Tree::TagRole);
    return item;
}

QStandardItem* NewPlaceholder()
{
    return NewNode(QString(), QIcon(), Tree::Placeholder, Tree::Blank);
}

}  // namespace

bool Tree::TextLess(const QString& a, const QString& b)
{
    return FoldedLess(a.toCaseFolded(), a, b.toCaseFolded(), b);
}

bool Tree::FoldedLess(const QString& foldedA, const QString& a, const QString& foldedB, const QString& b)
{
    return foldedA != foldedB ? foldedA < foldedB : a < b;
}

// ------------------------------------------------------------------------------------ the model

ServerTreeModel::ServerTreeModel(QObject* parent) : QStandardItemModel(parent)
{
    LoadTreeImages();
    userImage_ = image(QStringLiteral("User"));
    listImage_ = image(QStringLiteral("List"));
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& p, int first, int last) { forgetRows(p, first, last); });
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] { keys_.clear(); });
}

QVariant ServerTreeModel::data(const QModelIndex& index, int role) const
{
    // An account's image follows its tag, so a million accounts do not each carry one.
    if (role == Qt::DecorationRole && index.isValid() && KindOf(index) == Tree::Account) {
        const bool isList = index.data(Tree::TagRole).toString() == QLatin1String("M");
        return isList ? listImage_ : userImage_;
    }
    return QStandardItemModel::data(index, role);
}

QIcon ServerTreeModel::image(const QString& name)
{
    auto it = images_.find(name);
    if (it == images_.end())
        it = images_.insert(name, QIcon(QStringLiteral(":/icons/%1.png").arg(name)));
    return *it;
}

QIcon ServerTreeModel::folderImage()
{
    if (folder_.isNull()) {
        // A domain shows an open folder while it is the selected node.
        folder_.addFile(QStringLiteral(":/icons/folder.png"), QSize(), QIcon::Normal);
        folder_.addFile(QStringLiteral(":/icons/openfolder.png"), QSize(), QIcon::Selected);
    }
    return folder_;
}

QModelIndex ServerTreeModel::hashedNode(const QString& key) const
{
    const auto it = keys_.constFind(key);
    return it == keys_.constEnd() ? QModelIndex() : QModelIndex(*it);
}

void ServerTreeModel::forgetRows(const QModelIndex& parent, int first, int last)
{
    if (!parent.isValid()) {  // the root itself goes, and everything with it
        keys_.clear();
        return;
    }
    const int kind = KindOf(parent);
    if (kind != Tree::Root && kind != Tree::Server)
        return;  // accounts and placeholders carry no hashed key
    for (int row = first; row <= last; ++row)
        forgetSubtree(index(row, 0, parent));
}

void ServerTreeModel::forgetSubtree(const QModelIndex& node)
{
    const int kind = KindOf(node);
    if (kind == Tree::Placeholder || kind == Tree::Account)
        return;
    keys_.remove(node.data(Tree::KeyRole).toString());
    if (kind == Tree::Root || kind == Tree::Server)
        for (int row = 0, n = rowCount(node); row < n; ++row)
            forgetSubtree(index(row, 0, node));
}

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

QString frmMain::NodeKey(const QModelIndex& node) const
{
    if (!node.isValid())
        return QString();
    // Account keys are not stored: a domain may hold a million accounts.
    if (KindOf(node) == Tree::Account)
        return AccountNodeKey(NodeKey(node.parent()), node.data(Qt::DisplayRole).toString());
    return node.data(Tree::KeyRole).toString();
}

QString frmMain::NodeText(const QModelIndex& node) const
{
    return node.data(Qt::DisplayRole).toString();
}

QString frmMain::NodeTag(const QModelIndex& node) const
{
    return node.data(Tree::TagRole).toString();
}

void frmMain::SetNodeTag(const QModelIndex& node, const QString& tag)
{
    if (node.isValid())
        DomainModel->setData(node, tag, Tree::TagRole);
}

QModelIndex frmMain::NodeByKey(const QString& key) const
{
    const auto* model = static_cast<const ServerTreeModel*>(DomainModel);
    const QModelIndex hashed = model->hashedNode(key);
    if (hashed.isValid())
        return hashed;
    // An account: its domain by key, then the account among the domain's sorted children.
    const qsizetype cut = key.lastIndexOf(KeySeparator);
    if (cut < 0 || key.mid(cut + 1, 1) != AccountLetter)
        return {};
    const QModelIndex domain = model->hashedNode(key.left(cut));
    if (!domain.isValid() || KindOf(domain) != Tree::Domain)
        return {};
    const QString name = key.mid(cut + 2);
    const QStandardItem* parent = model->itemFromIndex(domain);
    const int row = SortedRow(parent, name) - 1;  // the last child not after the name
    if (row >= 0 && parent->child(row)->text() == name)
        return parent->child(row)->index();
    return {};
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
    if (!node.isValid())
        return;
    QStandardItem* item = DomainModel->itemFromIndex(node);
    if (item->rowCount() > 0)
        item->removeRows(0, item->rowCount());
}

void frmMain::BuildServerTree()
{
    auto* model = static_cast<ServerTreeModel*>(DomainModel);
    model->removeRows(0, model->rowCount());

    QStandardItem* root = NewNode(Tree::RootText, model->image(QStringLiteral("tazel")), Tree::Root, QString());
    root->setData(Tree::RootKey, Tree::KeyRole);
    model->appendRow(root);
    model->rememberKey(Tree::RootKey, root->index());

    // A count that is not a number reads as no servers; slots run from 1 to 32767.
    ServerCount = std::clamp(
        ReadWholeNumber(ReadSetting(*Settings, Store::ServersSection, Store::ServerCountKey,
                                    QStringLiteral("0")), 0),
        0, Store::MaxSlot);

    // Rows are added in one go at the end: the view then lays out once, not once per server.
    QList<QStandardItem*> servers;
    for (int slot = 1; slot <= ServerCount; ++slot) {
        const QString section = ServerSection(slot);
        if (!ReadTruth(ReadSetting(*Settings, section, Store::ActiveKey)))
            continue;  // removed, or never completed: the slot stays empty
        QString name = ReadSetting(*Settings, section, Store::NameKey);
        if (name.trimmed().isEmpty())
            name = Tree::InvalidServer;
        QStandardItem* server = NewNode(name, model->image(QStringLiteral("Server")), Tree::Server, Tree::Virgin);
        server->setData(section, Tree::KeyRole);
        server->appendRow(NewPlaceholder());
        servers.append(server);
    }
    std::stable_sort(servers.begin(), servers.end(), [](const QStandardItem* a, const QStandardItem* b) {
        return Tree::TextLess(a->text(), b->text());
    });
    root->appendRows(servers);
    for (QStandardItem* server : servers)
        model->rememberKey(server->data(Tree::KeyRole).toString(), server->index());

    DomainList->expand(root->index());
    ShowServerPanel(QStringLiteral("add"));
}

QModelIndex AddServerToTree(frmMain& w, const QString& section, const QString& text)
{
    auto* model = static_cast<ServerTreeModel*>(w.DomainModel);
    QStandardItem* root = model->itemFromIndex(model->hashedNode(Tree::RootKey));
    if (!root)
        return {};
    QStandardItem* server = NewNode(text, model->image(QStringLiteral("Server")), Tree::Server, section);
    server->setData(section, Tree::KeyRole);
    root->insertRow(SortedRow(root, text), server);
    model->rememberKey(section, server->index());
    return server->index();
}

void frmMain::AddDomainsToTree(const QString& serverKey)
{
    auto* model = static_cast<ServerTreeModel*>(DomainModel);
    const QModelIndex serverNode = model->hashedNode(serverKey);
    if (!serverNode.isValid() || KindOf(serverNode) != Tree::Server)
        return;  // the server went away while its domains were on their way
    RemoveChildNodes(serverNode);

    // The domains up to the first bad entry go in: an empty line or a domain listed twice means
    // the server's domain file is damaged, and the load stops there.
    struct Domain {
        QString name;
        QString folded;  // the name as sorted
    };
    std::vector<Domain> domains;
    domains.reserve(size_t(DomainNames.size()));
    QSet<QString> seen;
    bool damaged = false;
    for (const QString& domain : std::as_const(DomainNames)) {
        if (domain.isEmpty() || seen.contains(domain)) {
            damaged = true;
            break;
        }
        seen.insert(domain);
        domains.push_back({domain, domain.toCaseFolded()});
    }
    // Sorted once and inserted in one go: a server may hold many thousands of domains.
    std::stable_sort(domains.begin(), domains.end(), [](const Domain& a, const Domain& b) {
        return Tree::FoldedLess(a.folded, a.name, b.folded, b.name);
    });
    QList<QStandardItem*> items;
    items.reserve(qsizetype(domains.size()));
    for (const Domain& d : domains) {
        QStandardItem* node = NewNode(d.name, model->folderImage(), Tree::Domain, Tree::Virgin);
        node->setData(DomainNodeKey(serverKey, d.name), Tree::KeyRole);
        node->appendRow(NewPlaceholder());
        items.append(node);
    }
    QStandardItem* server = model->itemFromIndex(serverNode);
    server->appendRows(items);
    for (QStandardItem* node : std::as_const(items))
        model->rememberKey(node->data(Tree::KeyRole).toString(), node->index());

    if (damaged) {
        ShowMessage(DomainListErrorText, MsgIcon::Critical, DomainListErrorTitle);
        return;
    }
    ShowServerVersion();
}

void frmMain::AddCustomDomainsToTree(const QString& serverKey)
{
    auto* model = static_cast<ServerTreeModel*>(DomainModel);
    const QModelIndex serverNode = model->hashedNode(serverKey);
    if (!serverNode.isValid() || KindOf(serverNode) != Tree::Server)
        return;
    QStandardItem* server = model->itemFromIndex(serverNode);
    for (const QString& name : std::as_const(CustomDomainNames)) {
        const QString key = CustomDomainNodeKey(serverKey, name);
        // The server reports each custom domain once; an empty or repeated line adds nothing.
        if (name.isEmpty() || model->hasKey(key))
            continue;
        QStandardItem* node = NewNode(name, model->image(QStringLiteral("script")), Tree::CustomDomain,
                                      Tree::CustDomainTag);
        node->setData(key, Tree::KeyRole);
        server->insertRow(SortedRow(server, name), node);
        model->rememberKey(key, node->index());
    }
    ShowServerVersion();
}

void frmMain::AddUsersToTree(const QString& domainNodeKey)
{
    auto* model = static_cast<ServerTreeModel*>(DomainModel);
    const QModelIndex domainNode = model->hashedNode(domainNodeKey);
    if (!domainNode.isValid() || KindOf(domainNode) != Tree::Domain)
        return;
    RemoveChildNodes(domainNode);

    // Sort once and insert once: a domain may hold a million accounts.
    struct Account {
        QString name;
        QString folded;  // the name as sorted
        QChar kind;
    };
    std::vector<Account> accounts;
    accounts.reserve(size_t(UserEntries.size()));
    for (const UserEntry& entry : std::as_const(UserEntries)) {
        const QString& e = entry.nameAndKind;
        if (e.size() < 2)
            continue;  // no name before the kind letter
        const QString name = e.left(e.size() - 1);
        accounts.push_back({name, name.toCaseFolded(), e.back()});
    }
    const auto less = [](const Account& a, const Account& b) {
        return Tree::FoldedLess(a.folded, a.name, b.folded, b.name);
    };
    if (!std::is_sorted(accounts.begin(), accounts.end(), less))  // servers mostly list in order
        std::stable_sort(accounts.begin(), accounts.end(), less);
    // A name listed twice keeps its first entry.
    accounts.erase(std::unique(accounts.begin(), accounts.end(),
                               [](const Account& a, const Account& b) { return a.name == b.name; }),
                   accounts.end());

    // The server reports users ("U") and lists ("M"); any other letter shows as a user. The
    // model gives each account its image from its tag.
    const QString userTag = QStringLiteral("U"), listTag = QStringLiteral("M");  // shared, not copied
    QList<QStandardItem*> items;
    items.reserve(qsizetype(accounts.size()));
    for (const Account& a : accounts) {
        const QChar kind = a.kind.toUpper();
        auto* item = new QStandardItem(a.name);
        item->setData(kind == QLatin1Char('U') ? userTag : kind == QLatin1Char('M') ? listTag : QString(kind),
                      Tree::TagRole);
        items.append(item);
    }
    model->itemFromIndex(domainNode)->appendRows(items);
}
