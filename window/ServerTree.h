#pragma once
// The server tree's model and view. Each node carries its key, its tag and its kind in item roles.
// Server, domain and custom domain nodes are found by key through a hash kept in step with the
// rows the model removes. A domain may hold a million accounts, so an account node carries only its
// text and its tag: its kind is "none given", its key is made from its domain's, its image follows
// its tag, and it is found by a binary search among its domain's children, kept sorted by text.

#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QTreeView>
#include <functional>

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

class ServerTreeModel : public QStandardItemModel {
public:
    explicit ServerTreeModel(QObject* parent);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The node of a hashed key (root, server, domain, custom domain), or an invalid index.
    QModelIndex hashedNode(const QString& key) const;
    bool hasKey(const QString& key) const { return keys_.contains(key); }
    void rememberKey(const QString& key, const QModelIndex& node) { keys_.insert(key, node); }
    int hashedCount() const { return int(keys_.size()); }
    // The tree's images by name ("tazel", "Server", "script", "User", "List"), and the domain's
    // folder, which opens while the domain is selected.
    QIcon image(const QString& name);
    QIcon folderImage();

private:
    void forgetRows(const QModelIndex& parent, int first, int last);
    void forgetSubtree(const QModelIndex& node);
    QHash<QString, QPersistentModelIndex> keys_;
    QHash<QString, QIcon> images_;
    QIcon folder_;
    QIcon userImage_, listImage_;
};

class frmMain;
// Adds a server node while the program runs (a newly added server): its children are loaded
// when it is clicked, so it gets no placeholder, and its tag is its own key.
QModelIndex AddServerToTree(frmMain& w, const QString& section, const QString& text);

// The tree view: a node reached with the keyboard (arrows, paging, typing its first letters)
// behaves as a click on it; a mouse click comes through clicked() alone.
class ServerTreeView : public QTreeView {
public:
    using QTreeView::QTreeView;
    std::function<void(const QModelIndex&)> onKeyboardMove;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
