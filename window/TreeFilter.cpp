// The find box over the server tree.

#include "window/TreeFilter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>

#include "window/TreeMatch.h"
#include "window/ServerTreeModel.h"

TreeFilter::TreeFilter(QTreeView* tree, QWidget* window) : QObject(tree), tree_(tree)
{
    box_ = new QLineEdit(tree->parentWidget());
    box_->setObjectName(QStringLiteral("findBox"));
    box_->setPlaceholderText(QStringLiteral("Find (Ctrl+F)"));
    box_->setAccessibleName(QStringLiteral("Find in the server tree"));
    box_->setClearButtonEnabled(true);
    const QRect r = tree->geometry();
    const int h = box_->sizeHint().height();
    box_->setGeometry(r.x(), r.y(), r.width(), h);
    tree->setGeometry(r.x(), r.y() + h + 2, r.width(), std::max(0, r.height() - h - 2));
    box_->installEventFilter(this);

    auto* find = new QShortcut(QKeySequence::Find, window);
    connect(find, &QShortcut::activated, this, [this] {
        box_->setFocus(Qt::ShortcutFocusReason);
        box_->selectAll();
    });
    connect(box_, &QLineEdit::textChanged, this, &TreeFilter::setPattern);

    // Rows that arrive while a pattern is typed (a node loaded by a click) are filtered too; a
    // node's rows replaced whole leave persistent indices that are no longer valid.
    QAbstractItemModel* model = tree->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int, int) { rowsArrived(parent); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { rowsArrived({}); });
}

bool TreeFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == box_ && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            // Esc in the box is the box's own, before any window-wide use of the key (Esc elsewhere
            // cancels the running action): it clears a box that holds text and leaves an empty one
            // for the tree.
            event->accept();
            if (event->type() == QEvent::KeyPress) {
                if (!box_->text().isEmpty())
                    box_->clear();
                else
                    tree_->setFocus(Qt::OtherFocusReason);
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TreeFilter::setPattern(const QString& pattern)
{
    const QString old = pattern_;
    pattern_ = pattern;
    if (pattern.isEmpty()) {
        clear();
        return;
    }
    apply(!old.isEmpty() && TreeMatch::Narrows(old, pattern));
}

void TreeFilter::apply(bool narrowing)
{
    QAbstractItemModel* model = tree_->model();
    QSet<QPersistentModelIndex> nowHidden;
    QSet<QPersistentModelIndex> toOpen;  // parents of kept rows
    const auto keep = [&](const QModelIndex& parent, int row, bool kept) {
        if (!kept)
            nowHidden.insert(model->index(row, 0, parent));
        else if (parent.isValid() && !toOpen.contains(parent) && !tree_->isExpanded(parent))
            toOpen.insert(parent);
    };
    // A longer pattern keeps only what the shorter one kept: the rows hidden already stay hidden
    // and are not looked at again.
    const auto skip = [this](const QModelIndex& node) { return hidden_.contains(node); };
    // A large domain's accounts are narrowed by the model itself (hiding a million rows one by one
    // in the view would stall it); the domain is kept by its name or by any account that holds the text.
    auto* accounts = qobject_cast<ServerTreeModel*>(model);
    const auto whole = [&](const QModelIndex& node) -> std::optional<bool> {
        if (!accounts || accounts->kindOf(node) != Tree::Domain || !accounts->isLargeDomain(node))
            return std::nullopt;
        narrowed_.insert(node);
        const bool anyAccount = accounts->filterAccounts(node, pattern_) > 0;
        if (anyAccount && !tree_->isExpanded(node))
            toOpen.insert(node);
        return anyAccount || TreeMatch::Holds(node.data(Qt::DisplayRole).toString(), pattern_);
    };
    if (narrowing)
        TreeMatch::Apply(*model, {}, pattern_, keep, skip, whole);
    else
        TreeMatch::Apply(*model, {}, pattern_, keep, {}, whole);

    for (auto it = hidden_.cbegin(); it != hidden_.cend(); ++it)
        if (it->isValid() && !nowHidden.contains(*it))
            tree_->setRowHidden(it->row(), it->parent(), false);
    for (const QPersistentModelIndex& node : std::as_const(nowHidden))
        if (!hidden_.contains(node))
            tree_->setRowHidden(node.row(), node.parent(), true);
    hidden_ = nowHidden;

    // Open the parents of matches so that they show. A kept node with children has had them
    // loaded (a node never loaded holds only an empty placeholder, which no pattern keeps), so
    // opening it sends nothing; the window is not told, as the user opened nothing.
    const QSignalBlocker quiet(tree_);
    for (const QPersistentModelIndex& node : std::as_const(toOpen)) {
        opened_.insert(node);
        tree_->expand(node);
    }
}

void TreeFilter::clear()
{
    if (auto* accounts = qobject_cast<ServerTreeModel*>(tree_->model()))
        for (const QPersistentModelIndex& domain : std::as_const(narrowed_))
            if (domain.isValid())
                accounts->filterAccounts(domain, {});
    narrowed_.clear();
    for (const QPersistentModelIndex& node : std::as_const(hidden_))
        if (node.isValid())
            tree_->setRowHidden(node.row(), node.parent(), false);
    hidden_.clear();
    {
        const QSignalBlocker quiet(tree_);
        const QModelIndex current = tree_->currentIndex();
        for (const QPersistentModelIndex& node : std::as_const(opened_)) {
            if (!node.isValid())
                continue;
            // The highlighted node stays in sight: its parents stay open.
            bool holdsCurrent = false;
            for (QModelIndex up = current.parent(); up.isValid(); up = up.parent())
                holdsCurrent = holdsCurrent || up == node;
            if (!holdsCurrent)
                tree_->collapse(node);
        }
    }
    opened_.clear();
    if (tree_->currentIndex().isValid())
        tree_->scrollTo(tree_->currentIndex());
}

void TreeFilter::rowsArrived(const QModelIndex& parent)
{
    if (pattern_.isEmpty() || reapplyQueued_)
        return;
    // More rows of a large domain narrowed already (the view scrolled to its end) are matches.
    const auto* accounts = qobject_cast<const ServerTreeModel*>(tree_->model());
    if (accounts && accounts->isLargeDomain(parent) && accounts->accountFilter(parent) == pattern_)
        return;
    // Once the model has finished its change: a whole list arrives in one insertion.
    reapplyQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        reapplyQueued_ = false;
        if (!pattern_.isEmpty())
            apply(false);
    });
}
