#include "window/ServerTreeModel.h"

#include <QPainter>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <algorithm>
#include <climits>

static void LoadTreeImages()
{
    Q_INIT_RESOURCE(resources);  // the images live in a static library
}

bool Tree::TextLess(const QString& a, const QString& b)
{
    return FoldedLess(a.toCaseFolded(), a, b.toCaseFolded(), b);
}

bool Tree::FoldedLess(const QString& foldedA, const QString& a, const QString& foldedB, const QString& b)
{
    return foldedA != foldedB ? foldedA < foldedB : a < b;
}

struct ServerTreeModel::Node {
    Node* parent = nullptr;
    int kind = 0;
    QString text, key, tag;
    std::vector<Node*> children;  // owned
    mutable int row = 0;          // in the parent; valid when the parent's rowsDirtyFrom is past it
    mutable int rowsDirtyFrom = INT_MAX;  // children from here on have stale rows
    // A domain's accounts: the table and its accounts in tree order; those the find text keeps
    // (all of them without one), of which the first `shown` are rows, after any child nodes.
    AccountTable accounts;
    QList<quint32> order;
    QList<quint32> visible;
    qsizetype shown = 0;
    QString findText;
    qsizetype findMatches = 0;
    quint64 generation = 0;  // counts replacements of the children: a sort for an older one is dropped
    bool sortPending = false;
};

ServerTreeModel::ServerTreeModel(QObject* parent) : QAbstractItemModel(parent), top_(new Node)
{
    LoadTreeImages();
    userImage_ = image(QStringLiteral("User"));
    listImage_ = image(QStringLiteral("List"));
    sorter_.setMaxThreadCount(1);
}

ServerTreeModel::~ServerTreeModel()
{
    sorter_.waitForDone();  // a sort still running posts to this model; the posted result dies with it
    destroy(top_);
}

// ------------------------------------------------------------------------------------ structure

ServerTreeModel::Node* ServerTreeModel::parentNodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

ServerTreeModel::Node* ServerTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    const Node* parent = parentNodeOf(index);
    return size_t(index.row()) < parent->children.size() ? parent->children[size_t(index.row())] : nullptr;
}

int ServerTreeModel::rowOf(Node* node) const
{
    Node* parent = node->parent;
    if (parent->rowsDirtyFrom != INT_MAX) {
        for (size_t r = size_t(parent->rowsDirtyFrom); r < parent->children.size(); ++r)
            parent->children[r]->row = int(r);
        parent->rowsDirtyFrom = INT_MAX;
    }
    return node->row;
}

QModelIndex ServerTreeModel::indexOf(Node* node) const
{
    if (!node || node == top_)
        return {};
    return createIndex(rowOf(node), 0, node->parent);
}

QModelIndex ServerTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* p = parent.isValid() ? nodeOf(parent) : top_;
    if (!p || column != 0 || row < 0 || row >= int(p->children.size() + size_t(p->shown)))
        return {};
    return createIndex(row, 0, const_cast<Node*>(p));
}

QModelIndex ServerTreeModel::parent(const QModelIndex& child) const
{
    Node* p = parentNodeOf(child);
    return p ? indexOf(p) : QModelIndex();
}

int ServerTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node* p = parent.isValid() ? nodeOf(parent) : top_;
    return p ? int(p->children.size() + size_t(p->shown)) : 0;
}

int ServerTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool ServerTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

bool ServerTreeModel::hasMoreAccounts(const QModelIndex& domain) const
{
    const Node* d = nodeOf(domain);
    return d && d->shown < d->visible.size();
}

void ServerTreeModel::showMoreAccounts(const QModelIndex& domain)
{
    if (Node* d = nodeOf(domain))
        showRows(d, std::min(d->visible.size(), d->shown + std::max<qsizetype>(FirstRows, d->shown)));
}

void ServerTreeModel::showRows(Node* domain, qsizetype rows)
{
    if (rows <= domain->shown)
        return;
    const int first = int(domain->children.size() + size_t(domain->shown));
    beginInsertRows(indexOf(domain), first, first + int(rows - domain->shown) - 1);
    domain->shown = rows;
    endInsertRows();
}

Qt::ItemFlags ServerTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!nodeOf(index))
        f |= Qt::ItemNeverHasChildren;  // an account
    return f;
}

// ------------------------------------------------------------------------------------ node data

int ServerTreeModel::kindOf(const QModelIndex& node) const
{
    if (!node.isValid())
        return 0;
    const Node* n = nodeOf(node);
    return n ? n->kind : int(Tree::Account);
}

QString ServerTreeModel::textOf(const QModelIndex& node) const
{
    if (!node.isValid())
        return {};
    if (const Node* n = nodeOf(node))
        return n->text;
    const Node* domain = parentNodeOf(node);
    const qsizetype at = node.row() - qsizetype(domain->children.size());
    return QString::fromLatin1(Accounts::Name(domain->accounts, domain->visible.at(at)));
}

QString ServerTreeModel::tagOf(const QModelIndex& node) const
{
    if (!node.isValid())
        return {};
    if (const Node* n = nodeOf(node))
        return n->tag;
    // The server reports users ("U") and lists ("M"); the tag is the kind letter in capitals.
    const Node* domain = parentNodeOf(node);
    const qsizetype at = node.row() - qsizetype(domain->children.size());
    const char letter = Accounts::KindLetter(domain->accounts, domain->visible.at(at));
    if (letter == 'U' || letter == 'u')
        return QStringLiteral("U");
    if (letter == 'M' || letter == 'm')
        return QStringLiteral("M");
    return QString(QChar(char16_t(uchar(letter))).toUpper());
}

QString ServerTreeModel::keyOf(const QModelIndex& node) const
{
    const Node* n = nodeOf(node);
    return n ? n->key : QString();
}

void ServerTreeModel::setTag(const QModelIndex& node, const QString& tag)
{
    if (Node* n = nodeOf(node)) {
        n->tag = tag;
        emit dataChanged(node, node, {Tree::TagRole});
    }
}

QVariant ServerTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Node* n = nodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return textOf(index);
    case Tree::TagRole: {
        const QString tag = tagOf(index);
        return tag.isEmpty() ? QVariant() : QVariant(tag);
    }
    case Tree::KindRole:
        return kindOf(index);
    case Tree::KeyRole:
        return n && !n->key.isEmpty() ? QVariant(n->key) : QVariant();
    case Qt::DecorationRole:
        if (!n)  // an account's image follows its tag
            return tagOf(index) == QLatin1String("M") ? listImage_ : userImage_;
        switch (n->kind) {
        case Tree::Root: return const_cast<ServerTreeModel*>(this)->image(QStringLiteral("tazel"));
        case Tree::Server:
            if (serverLocked && serverLocked(n->key))
                return const_cast<ServerTreeModel*>(this)->lockedServerImage();
            return const_cast<ServerTreeModel*>(this)->image(QStringLiteral("Server"));
        case Tree::Domain: return const_cast<ServerTreeModel*>(this)->folderImage();
        case Tree::CustomDomain: return const_cast<ServerTreeModel*>(this)->image(QStringLiteral("script"));
        default: return {};
        }
    default:
        return {};
    }
}

bool ServerTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Tree::TagRole || !nodeOf(index))
        return false;
    setTag(index, value.toString());
    return true;
}

QIcon ServerTreeModel::image(const QString& name)
{
    auto it = images_.find(name);
    if (it == images_.end())
        it = images_.insert(name, QIcon(QStringLiteral(":/icons/%1.png").arg(name)));
    return *it;
}

QIcon ServerTreeModel::lockedServerImage()
{
    if (lockedServer_.isNull()) {
        // The server's image with a small padlock in its lower right corner.
        QPixmap pixmap = image(QStringLiteral("Server")).pixmap(16, 16);
        if (pixmap.isNull()) {
            pixmap = QPixmap(16, 16);
            pixmap.fill(Qt::transparent);
        }
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 40, 40), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9.5, 6.5, 5, 6), 0, 180 * 16);  // the shackle
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(QColor(230, 180, 40));
        p.drawRect(QRectF(8.5, 9.5, 7, 6));  // the body
        p.end();
        lockedServer_ = QIcon(pixmap);
    }
    return lockedServer_;
}

void ServerTreeModel::refreshImage(const QString& serverKey)
{
    const QModelIndex node = hashedNode(serverKey);
    if (node.isValid())
        emit dataChanged(node, node, {Qt::DecorationRole});
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
    return indexOf(keys_.value(key));
}

// ------------------------------------------------------------------------------------ building

ServerTreeModel::Node* ServerTreeModel::makeNode(const NewNode& wanted, Node* parent)
{
    auto* node = new Node;
    node->parent = parent;
    node->kind = wanted.kind;
    node->text = wanted.text;
    node->key = wanted.key;
    node->tag = wanted.tag;
    if (wanted.withPlaceholder) {
        auto* placeholder = new Node;
        placeholder->parent = node;
        placeholder->kind = Tree::Placeholder;
        placeholder->tag = Tree::Blank;
        node->children.push_back(placeholder);
    }
    if (!wanted.key.isEmpty())
        keys_.insert(wanted.key, node);
    return node;
}

void ServerTreeModel::appendSorted(const QModelIndex& parentIndex, const std::vector<NewNode>& nodes)
{
    Node* parent = parentIndex.isValid() ? nodeOf(parentIndex) : top_;
    if (!parent || nodes.empty())
        return;
    const int first = int(parent->children.size());
    beginInsertRows(parentIndex, first, first + int(nodes.size()) - 1);
    parent->children.reserve(parent->children.size() + nodes.size());
    for (const NewNode& wanted : nodes) {
        Node* node = makeNode(wanted, parent);
        node->row = int(parent->children.size());
        parent->children.push_back(node);
    }
    endInsertRows();
}

void ServerTreeModel::insertSorted(const QModelIndex& parentIndex, std::vector<NewNode> nodes)
{
    Node* parent = parentIndex.isValid() ? nodeOf(parentIndex) : top_;
    if (!parent || nodes.empty())
        return;
    struct Placed {
        int row;  // among the children as they stand before any insertion
        qsizetype at;
    };
    std::vector<QString> folded;
    folded.reserve(nodes.size());
    for (const NewNode& n : nodes)
        folded.push_back(n.text.toCaseFolded());
    std::vector<qsizetype> sorted(nodes.size());
    for (size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = qsizetype(i);
    std::stable_sort(sorted.begin(), sorted.end(), [&](qsizetype a, qsizetype b) {
        return Tree::FoldedLess(folded[size_t(a)], nodes[size_t(a)].text, folded[size_t(b)], nodes[size_t(b)].text);
    });
    // Each new node's row among the old children (after siblings of equal text), by binary search.
    const auto& kids = parent->children;
    std::vector<Placed> placed;
    placed.reserve(nodes.size());
    for (qsizetype i : sorted) {
        const QString& text = nodes[size_t(i)].text;
        const QString& f = folded[size_t(i)];
        const auto it = std::upper_bound(kids.begin(), kids.end(), i, [&](qsizetype, const Node* k) {
            return Tree::FoldedLess(f, text, k->text.toCaseFolded(), k->text);
        });
        placed.push_back({int(it - kids.begin()), i});
    }
    // One insertion per block of new nodes that land side by side, the last block first, so the
    // rows of the blocks before it stay as computed.
    size_t end = placed.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && placed[begin - 1].row == placed[end - 1].row)
            --begin;
        const int row = placed[begin].row;
        const int count = int(end - begin);
        beginInsertRows(parentIndex, row, row + count - 1);
        std::vector<Node*> block;
        block.reserve(size_t(count));
        for (size_t k = begin; k < end; ++k)
            block.push_back(makeNode(nodes[size_t(placed[k].at)], parent));
        parent->children.insert(parent->children.begin() + row, block.begin(), block.end());
        parent->rowsDirtyFrom = std::min(parent->rowsDirtyFrom, row);
        endInsertRows();
        end = begin;
    }
}

void ServerTreeModel::forgetSubtree(Node* node)
{
    if (!node->key.isEmpty()) {
        const auto it = keys_.constFind(node->key);
        if (it != keys_.constEnd() && *it == node)
            keys_.erase(it);
    }
    for (Node* child : node->children)
        forgetSubtree(child);
}

void ServerTreeModel::destroy(Node* node)
{
    for (Node* child : node->children)
        destroy(child);
    delete node;
}

void ServerTreeModel::removeChildren(const QModelIndex& parentIndex)
{
    Node* parent = parentIndex.isValid() ? nodeOf(parentIndex) : top_;
    if (!parent)
        return;
    ++parent->generation;
    parent->sortPending = false;
    const int count = rowCount(parentIndex);
    if (count == 0)
        return;
    beginRemoveRows(parentIndex, 0, count - 1);
    std::vector<Node*> gone;
    gone.swap(parent->children);
    for (Node* child : gone)
        forgetSubtree(child);
    parent->rowsDirtyFrom = INT_MAX;
    parent->accounts = AccountTable();
    parent->order = parent->visible = QList<quint32>();
    parent->shown = 0;
    parent->findText.clear();
    parent->findMatches = 0;
    endRemoveRows();
    for (Node* child : gone)
        destroy(child);
}

// ------------------------------------------------------------------------------------ accounts

void ServerTreeModel::setAccounts(const QModelIndex& domainIndex, const AccountTable& table)
{
    Node* domain = nodeOf(domainIndex);
    if (!domain || domain->kind != Tree::Domain)
        return;
    removeChildren(domainIndex);
    domain->accounts = table;  // shares the bytes with the caller's table
    if (table.size() <= SortAtOnceLimit) {
        showAccounts(domain, Accounts::DisplayOrder(table));
        return;
    }
    // Sorted on the worker; the rows go in when it is done, if the domain still waits for them.
    domain->sortPending = true;
    const quint64 generation = domain->generation;
    const QString key = domain->key;
    sorter_.start([this, table, generation, key] {
        QList<quint32> order = Accounts::DisplayOrder(table);
        QMetaObject::invokeMethod(
            this,
            [this, generation, key, order = std::move(order)]() mutable {
                Node* d = keys_.value(key);
                if (!d || d->generation != generation || !d->sortPending)
                    return;  // loaded again or removed meanwhile
                showAccounts(d, std::move(order));
            },
            Qt::QueuedConnection);
    });
}

void ServerTreeModel::showAccounts(Node* domain, QList<quint32> order)
{
    domain->sortPending = false;
    domain->order = std::move(order);
    domain->visible = domain->order;  // shares the list
    domain->findMatches = domain->order.size();
    showRows(domain, domain->order.size() > LargeDomain ? FirstRows : domain->order.size());
    emit accountsShown(indexOf(domain));
}

QModelIndex ServerTreeModel::accountNode(const QModelIndex& domainIndex, const QString& name)
{
    Node* domain = nodeOf(domainIndex);
    if (!domain || domain->visible.isEmpty())
        return {};
    const QByteArray bytes = name.toLatin1();
    if (QString::fromLatin1(bytes) != name)
        return {};  // not a name that came from the wire
    const qsizetype at = Accounts::Find(domain->accounts, domain->visible, bytes);
    if (at < 0)
        return {};
    showRows(domain, at + 1);
    return createIndex(int(domain->children.size() + size_t(at)), 0, domain);
}

qsizetype ServerTreeModel::accountCount(const QModelIndex& domain) const
{
    const Node* n = nodeOf(domain);
    return n ? n->order.size() : 0;
}

QString ServerTreeModel::accountFilter(const QModelIndex& domain) const
{
    const Node* n = nodeOf(domain);
    return n ? n->findText : QString();
}

qsizetype ServerTreeModel::filterAccounts(const QModelIndex& domainIndex, const QString& text)
{
    Node* d = nodeOf(domainIndex);
    if (!d || d->kind != Tree::Domain || d->order.isEmpty())
        return 0;
    if (text == d->findText)
        return d->findMatches;
    // A longer text keeps only what the shorter one kept: only those are looked at again.
    const bool narrowing = !d->findText.isEmpty() && text.contains(d->findText, Qt::CaseInsensitive);
    std::vector<bool> holds = Accounts::Holding(d->accounts, text);

    emit layoutAboutToBeChanged({QPersistentModelIndex(domainIndex)});
    // Accounts someone holds an index to stay (asked after the signal: the selection keeps its
    // rows as indices from then on).
    const qsizetype first = qsizetype(d->children.size());
    QModelIndexList held;
    qsizetype extra = 0;  // held accounts that do not hold the text
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& i : persistent) {
        if (parentNodeOf(i) != d || i.row() < first)
            continue;
        held << i;
        const quint32 row = d->visible.at(i.row() - first);
        if (!holds[row]) {
            holds[row] = true;
            ++extra;
        }
    }
    QList<quint32> visible;
    if (text.isEmpty()) {
        visible = d->order;
    } else {
        const QList<quint32>& candidates = narrowing ? d->visible : d->order;
        for (const quint32 row : candidates)
            if (holds[row])
                visible.append(row);
    }
    qsizetype rows = visible.size() > LargeDomain ? std::min<qsizetype>(FirstRows, visible.size()) : visible.size();
    QModelIndexList moved;
    moved.reserve(held.size());
    for (const QModelIndex& i : std::as_const(held)) {
        const quint32 row = d->visible.at(i.row() - first);
        const qsizetype at = Accounts::Find(d->accounts, visible, Accounts::Name(d->accounts, row));
        rows = std::max(rows, at + 1);
        moved << createIndex(int(first + at), 0, d);
    }
    changePersistentIndexList(held, moved);
    d->visible = std::move(visible);
    d->shown = rows;
    d->findText = text;
    d->findMatches = d->visible.size() - extra;
    emit layoutChanged({QPersistentModelIndex(domainIndex)});
    return d->findMatches;
}

bool ServerTreeModel::accountsPending(const QModelIndex& domain) const
{
    const Node* n = nodeOf(domain);
    return n && n->sortPending;
}
