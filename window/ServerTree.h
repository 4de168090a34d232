#pragma once
// The server tree's view, and the window's use of the tree model (window/ServerTreeModel.h).

#include <QModelIndex>
#include <QTreeView>
#include <functional>

#include "window/ServerTreeModel.h"

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
    // A large domain gives the view its accounts a block at a time; the view itself asks for more
    // only at the very end of the whole tree, so the next block is asked for whenever the last row
    // of a domain's block comes into sight (scrolling, paging, a new layout).
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void fetchInSight();
    bool fetchQueued_ = false;
};
