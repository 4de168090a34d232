#pragma once
// What a find pattern keeps of a tree, decided without any view: a node is kept when its text
// holds the pattern (without regard to case) or when a kept node lies below it, so every match is
// shown with its parents. Only the rows the model holds are looked at: nothing is fetched, and a
// node whose children were never loaded (an empty placeholder child) is kept or dropped by its own
// text alone.

#include <QAbstractItemModel>
#include <QString>
#include <functional>
#include <optional>

namespace TreeMatch {

// True when the text holds the pattern, whatever the case; an empty pattern holds in every text.
bool Holds(const QString& text, const QString& pattern);

// True when the new pattern can only keep nodes the old one kept (it holds the old one), so the
// rows the old pattern dropped need not be looked at again.
bool Narrows(const QString& oldPattern, const QString& newPattern);

// Decides every row below parent (in the given column) for the pattern and reports with
// keep(parent, row, kept) each kept row and each dropped row whose parent is kept (or is the
// given parent): the rows below a dropped row are not reported, as they go with it. A row for
// which skip(index) is true counts as dropped without being looked at, nor its children (the
// rows an older, narrower-or-equal pattern already dropped).
// A node for which whole(index) gives an answer is kept or dropped by that answer, and its
// children are neither looked at nor reported (a branch too large to decide row by row).
// Returns whether any row below parent is kept.
bool Apply(const QAbstractItemModel& model, const QModelIndex& parent, const QString& pattern,
           const std::function<void(const QModelIndex& parent, int row, bool kept)>& keep,
           const std::function<bool(const QModelIndex& index)>& skip = {},
           const std::function<std::optional<bool>(const QModelIndex& index)>& whole = {}, int column = 0);

}  // namespace TreeMatch
