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
    // should not lean on the stack for any shape of tree.
    struct Frame {
        QModelIndex parent;
        int row;
        int rows;
        bool anyKept;
    };
    std::vector<Frame> stack;
    stack.push_back({parent, 0, model.rowCount(parent), false});
    bool result = false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.row >= f.rows) {
            // Every child of this parent is decided: the parent itself is decided now.
            const Frame done = f;
            stack.pop_back();
            if (stack.empty()) {
                result = done.anyKept;
                break;
            }
            Frame& up = stack.back();
            const QModelIndex node = done.parent;
            const bool kept = done.anyKept || Holds(node.data(Qt::DisplayRole).toString(), pattern);
            keep(up.parent, up.row, kept);
            up.anyKept = up.anyKept || kept;
            ++up.row;
            continue;
        }
        const QModelIndex node = model.index(f.row, column, f.parent);
        if (skip && skip(node)) {
            keep(f.parent, f.row, false);
            ++f.row;
            continue;
        }
        if (whole) {
            if (const std::optional<bool> kept = whole(node)) {
                keep(f.parent, f.row, *kept);
                f.anyKept = f.anyKept || *kept;
                ++f.row;
                continue;
            }
        }
        const int children = model.rowCount(node);
        if (children > 0) {
            stack.push_back({node, 0, children, false});  // f is not used after this
            continue;
        }
        const bool kept = Holds(node.data(Qt::DisplayRole).toString(), pattern);
        keep(f.parent, f.row, kept);
        f.anyKept = f.anyKept || kept;
        ++f.row;
    }
    return result;
}
