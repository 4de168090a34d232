#pragma once
// Long texts in the tree and the lists: an entry too wide for its view ends in an ellipsis, and
// hovering it shows the whole text in a tooltip. Works on any item view, whatever its model, from
// what the view draws: the text of the item against the room the view gives it.

#include <QObject>

class QAbstractItemView;
class QListWidget;

class ElidedTips : public QObject {
    Q_OBJECT
public:
    explicit ElidedTips(QObject* parent) : QObject(parent) {}
    // Shows tips for the view's entries that do not fit.
    void watch(QAbstractItemView* view);
    // A list sizes its entries to its width, so that a long one ends in an ellipsis instead of
    // needing sideways scrolling; then shows tips for it.
    void watchList(QListWidget* list);
    // Whether the entry's text needs more room than the view gives it.
    static bool IsElided(const QAbstractItemView* view, const QModelIndex& index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
