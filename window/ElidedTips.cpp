#include "window/ElidedTips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

// Entries no wider than the list: the delegate then draws a long one with an ellipsis.
class FitWidthDelegate : public QStyledItemDelegate {
public:
    explicit FitWidthDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), view_(view) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        hint.setWidth(std::min(hint.width(), view_->viewport()->width()));
        return hint;
    }

private:
    QAbstractItemView* view_;
};

}  // namespace

void ElidedTips::watch(QAbstractItemView* view)
{
    view->setTextElideMode(Qt::ElideRight);
    view->viewport()->installEventFilter(this);
}

void ElidedTips::watchList(QListWidget* list)
{
    list->setItemDelegate(new FitWidthDelegate(list));
    list->setResizeMode(QListView::Adjust);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    watch(list);
}

bool ElidedTips::IsElided(const QAbstractItemView* view, const QModelIndex& index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return false;
    const QRect room = view->visualRect(index).intersected(view->viewport()->rect());
    const QStyle* style = view->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    int needed = view->fontMetrics().horizontalAdvance(text) + 2 * margin;
    if (!index.data(Qt::DecorationRole).isNull()) {
        const QSize icon = view->iconSize().isValid()
                               ? view->iconSize()
                               : QSize(style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view), 0);
        needed += icon.width() + 2 * margin;
    }
    return needed > room.width();
}

bool ElidedTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* viewport = qobject_cast<QWidget*>(watched);
    auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
    if (!view)
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = view->indexAt(help->pos());
    if (!index.isValid() || !IsElided(view, index))
        return false;  // the view's own tooltip, if it has one
    QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport,
                       view->visualRect(index));
    return true;
}
