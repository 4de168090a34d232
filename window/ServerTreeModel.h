#pragma once
// The server tree's model: the root, servers, domains, custom domains and placeholders as small
// nodes, and the accounts of a domain as rows of its account table (no object per account).
//
// Nodes and their data:
//   kind     Tree::Kind (KindRole): Root, Server, Placeholder, Domain, CustomDomain, Account
//   text     Qt::DisplayRole; an account's text is its name decoded from the Latin-1 bytes
//   tag      Tree::TagRole: "virgin", "blank", "custdomain", the account's kind ("U", "M", ...)
//   key      Tree::KeyRole for nodes (accounts have none: their keys are made from their domain's)
//   image    Qt::DecorationRole, from the kind (and an account's tag, a server's SSH lock)
// Nodes are found by key through a hash; an account through a binary search in its domain's order.
// Children are inserted and removed in one beginInsertRows/beginRemoveRows per block of adjacent
// rows. An index's internal pointer is its parent node, so an index of an account costs nothing
// and stays right while its domain moves among its siblings.
//
// A domain's accounts are sorted for the tree on a worker thread when there are many of them
// (sorting a million names takes longer than the window may stand still); the rows appear when
// the sort is done (accountsShown), unless the domain has been loaded again or removed meanwhile.
//
// A large domain (more than LargeDomain accounts) gives the view its accounts a block at a time:
// a tree view lays out every row of an open node, which for a million rows stalls the window, so
// the first FirstRows are rows at once and each showMoreAccounts (the view scrolled to the end of
// them) doubles them. Its accounts can also be narrowed to those whose names hold a text (the find box):
// the rows change in one layout change, and an account someone holds an index to (the highlighted
// one, the window's selection) stays among them, so narrowing never takes a selection away.

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QThreadPool>
#include <functional>
#include <vector>

#include "protocol/AccountTable.h"

namespace Tree {
enum Role { KeyRole = Qt::UserRole + 1, TagRole, KindRole };
enum Kind { Root = 1, Server, Placeholder, Domain, CustomDomain, Account };

inline const QString RootKey = QStringLiteral("Servers");
inline const QString RootText = QStringLiteral("Tazel Servers");
inline const QString Virgin = QStringLiteral("virgin");
inline const QString Blank = QStringLiteral("blank");
inline const QString CustDomainTag = QStringLiteral("custdomain");
inline const QString InvalidServer = QStringLiteral("invalid server");

// Node order among siblings: by text without regard to case, then by text as it stands.
bool TextLess(const QString& a, const QString& b);
// The same order for texts whose case-folded form is at hand.
bool FoldedLess(const QString& foldedA, const QString& a, const QString& foldedB, const QString& b);
}  // namespace Tree

class ServerTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // A node to insert. A placeholder child is given to nodes whose children load on first use.
    struct NewNode {
        QString text;
        QString key;
        QString tag;
        int kind = Tree::Server;
        bool withPlaceholder = false;
    };
    // Account lists up to this size are sorted at once; longer ones on the worker thread.
    static constexpr qsizetype SortAtOnceLimit = 20000;
    // Domains of more accounts than this give the view their rows a block at a time.
    static constexpr qsizetype LargeDomain = 20000;
    static constexpr int FirstRows = 1000;

    explicit ServerTreeModel(QObject* parent = nullptr);
    ~ServerTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // ---- reading nodes (0 / empty for an invalid index)
    int kindOf(const QModelIndex& node) const;
    QString textOf(const QModelIndex& node) const;
    QString tagOf(const QModelIndex& node) const;
    QString keyOf(const QModelIndex& node) const;  // empty for accounts
    void setTag(const QModelIndex& node, const QString& tag);  // nodes only

    // ---- keys
    // The node of a hashed key (root, server, domain, custom domain), or an invalid index.
    QModelIndex hashedNode(const QString& key) const;
    bool hasKey(const QString& key) const { return keys_.contains(key); }
    int hashedCount() const { return int(keys_.size()); }

    // ---- building
    // Inserts nodes among the parent's children in the tree's order, after siblings of equal text.
    // `nodes` need not be sorted. Keys already in use are the caller's to avoid.
    void insertSorted(const QModelIndex& parent, std::vector<NewNode> nodes);
    // Appends nodes already in the tree's order to a parent without children, in one insertion.
    void appendSorted(const QModelIndex& parent, const std::vector<NewNode>& nodes);
    // Removes every child of the node (or, for an invalid index, every node), in one removal.
    void removeChildren(const QModelIndex& parent);

    // ---- accounts
    // Replaces a domain's children with the accounts of the table, in the tree's order.
    void setAccounts(const QModelIndex& domain, const AccountTable& table);
    // The account of that exact name under the domain, or an invalid index (also for an account
    // the domain's find text leaves out). The rows of a large domain up to it are given to the
    // view first if they were not yet.
    QModelIndex accountNode(const QModelIndex& domain, const QString& name);
    // How many accounts the domain has (rows or not yet).
    qsizetype accountCount(const QModelIndex& domain) const;
    bool isLargeDomain(const QModelIndex& domain) const { return accountCount(domain) > LargeDomain; }
    // Narrows the domain's account rows to those whose names hold the text, without regard to case
    // (an empty text brings them all back); accounts someone holds an index to stay. Returns how
    // many accounts hold the text.
    qsizetype filterAccounts(const QModelIndex& domain, const QString& text);
    // Whether the domain has accounts that are not rows yet, and giving the view the next block of
    // them (as many as are rows already). Not canFetchMore/fetchMore: a tree view calls those on
    // every layout of an open node, which would make every account a row before long.
    bool hasMoreAccounts(const QModelIndex& domain) const;
    void showMoreAccounts(const QModelIndex& domain);
    QString accountFilter(const QModelIndex& domain) const;
    // Whether a sort of this domain's accounts is still running.
    bool accountsPending(const QModelIndex& domain) const;

    // ---- images
    // The tree's images by name ("tazel", "Server", "script", "User", "List"), and the domain's
    // folder, which opens while the domain is selected.
    QIcon image(const QString& name);
    QIcon folderImage();
    // Whether a server (by key) is reached through SSH: its icon then carries a small lock.
    std::function<bool(const QString& serverKey)> serverLocked;
    // The server's image may have changed (its SSH settings did): the view draws it again.
    void refreshImage(const QString& serverKey);

signals:
    // A domain's accounts are in the tree.
    void accountsShown(const QModelIndex& domain);

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;  // null for an account
    Node* parentNodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(Node* node) const;
    int rowOf(Node* node) const;
    Node* makeNode(const NewNode& wanted, Node* parent);
    void forgetSubtree(Node* node);
    void destroy(Node* node);
    void showAccounts(Node* domain, QList<quint32> order);
    void showRows(Node* domain, qsizetype rows);

    Node* top_;  // the invisible parent of the root node
    QHash<QString, Node*> keys_;
    QThreadPool sorter_;
    QHash<QString, QIcon> images_;
    QIcon lockedServerImage();
    QIcon folder_, userImage_, listImage_, lockedServer_;
};
