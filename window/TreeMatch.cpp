// Deciding what a find pattern keeps of a tree.

#include "window/TreeMatch.h"

#include <vector>

bool TreeMatch::Holds(const QString& text, const QString& pattern)
{
    return pattern.isEmpty() || text.contains(pattern, Qt::CaseInsensitive);
}

bool TreeMatch::Narrows(const QString& oldPattern, const QString& newPattern)
{
    return newPattern.contains(oldPattern, Qt::CaseInsensitive);
}

bool TreeMatch::Apply(const QAbstractItemModel& model, const QModelIndex& parent, const QString& pattern,
                      const std::function<void(const QModelIndex&, int, bool)>& keep,
                      const std::function<bool(const QModelIndex&)>& skip,
                      const std::function<std::optional<bool>(const QModelIndex&)>& whole, int column)
{
    // Depth first without recursion: a branch of a million accounts is one level, but the walk
    // should not lean on the stack for any shape of tree. A kept row is reported at once (its
    // parent is kept with it); a dropped row waits until its parent is decided, and is reported
    // only if the parent is kept: a dropped parent takes its rows with it.
    struct Frame {
        QModelIndex parent;
        int row;
        int rows;
        bool anyKept;
        std::vector<int> dropped;
    };
    std::vector<Frame> stack;
    stack.push_back({parent, 0, model.rowCount(parent), false, {}});
    const auto decided = [&](Frame& f, bool kept) {
        if (kept)
            keep(f.parent, f.row, true);
        else
            f.dropped.push_back(f.row);
        f.anyKept = f.anyKept || kept;
        ++f.row;
    };
    bool result = false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.row >= f.rows) {
            // Every child of this parent is decided: the parent itself is decided now.
            Frame done = std::move(f);
            stack.pop_back();
            const bool kept = done.anyKept ||
                              (!stack.empty() && Holds(done.parent.data(Qt::DisplayRole).toString(), pattern));
            if (kept || stack.empty())
                for (const int row : done.dropped)
                    keep(done.parent, row, false);
            if (stack.empty()) {
                result = done.anyKept;
                break;
            }
            decided(stack.back(), kept);
            continue;
        }
        const QModelIndex node = model.index(f.row, column, f.parent);
        if (skip && skip(node)) {
            decided(f, false);
            continue;
        }
        if (whole) {
            if (const std::optional<bool> kept = whole(node)) {
                decided(f, *kept);
                continue;
            }
        }
        const int children = model.rowCount(node);
        if (children > 0) {
            stack.push_back({node, 0, children, false, {}});  // f is not used after this
            continue;
        }
        decided(f, Holds(node.data(Qt::DisplayRole).toString(), pattern));
    }
    return result;
}
