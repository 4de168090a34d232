#pragma once
// The find box above the server tree. Typing keeps the tree to the loaded nodes whose text holds
// what was typed, with their parents (opened so that the matches show); Ctrl+F moves to the box,
// Esc in it clears it (an empty box it leaves for the tree; it never cancels the running action). Clearing brings back every row, closes again what the filter opened, and
// leaves the highlight where it is. The filter only hides rows: it sends nothing to a server and
// never opens a node whose children were not loaded (that would load them). The accounts of a large
// domain are narrowed by the tree's model instead of hidden row by row.

#include <QObject>
#include <QPersistentModelIndex>
#include <QSet>
#include <QString>

class QLineEdit;
class QTreeView;

class TreeFilter : public QObject {
    Q_OBJECT
public:
    // Places the box above the tree (the tree gives up the room for it).
    TreeFilter(QTreeView* tree, QWidget* window);

    QLineEdit* box() const { return box_; }
    QString pattern() const { return pattern_; }
    // Rows hidden now.
    int hiddenCount() const { return int(hidden_.size()); }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setPattern(const QString& pattern);
    void apply(bool narrowing);
    void clear();
    void rowsArrived(const QModelIndex& parent);

    QTreeView* tree_;
    QLineEdit* box_;
    QString pattern_;
    QSet<QPersistentModelIndex> hidden_;
    QSet<QPersistentModelIndex> opened_;  // nodes the filter opened, closed again on clearing
    QSet<QPersistentModelIndex> narrowed_;  // large domains whose accounts the model narrowed
    bool reapplyQueued_ = false;
};
