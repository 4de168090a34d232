#include "window/WindowLayout.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <functional>

#include "store/ServerStore.h"
#include "window/ActivityDock.h"
#include "window/frmMain.h"

namespace {

// Design sizes in twips: the frames and tab controls, the space kept right of them, the margin
// inside a container that does not stretch, and the gap between the tree and the panels.
constexpr int PanelWidth = 4935;
constexpr int TabHeight = 3495;
constexpr int RightMargin = 90;
constexpr int InnerMargin = 120;
constexpr int TreeGap = 180;
constexpr int MinTreeWidth = 1200;
// The height under the menu bar that the tree and the panels were designed in.
constexpr int ClientHeight = 5190;

// The strip between the tree and the panels: dragging it moves the tree's right edge.
class SplitHandle : public QWidget {
public:
    std::function<void(int)> onDrag;  // the new right edge of the tree, in the parent's pixels
    explicit SplitHandle(QWidget* parent) : QWidget(parent)
    {
        setCursor(Qt::SplitHCursor);
        setObjectName(QStringLiteral("treeSplitHandle"));
        setAccessibleName(QStringLiteral("Tree width"));
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        grabOffset_ = event->position().toPoint().x();
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if ((event->buttons() & Qt::LeftButton) && onDrag)
            onDrag(mapToParent(event->position().toPoint()).x() - grabOffset_);
    }

private:
    int grabOffset_ = 0;
};

// A whole number of twips as stored; anything else reads as missing.
bool ReadTwips(QSettings& s, const QString& key, int* twips)
{
    bool ok = false;
    const int value = ReadSetting(s, Store::SettingsSection, key).trimmed().toInt(&ok);
    if (ok)
        *twips = value;
    return ok;
}

}  // namespace

WindowLayout::WindowLayout(frmMain* window) : QObject(window), w_(window)
{
    designPanel_ = QSize(w_->Px(PanelWidth), w_->Px(TabHeight));
    for (QWidget* frame : {static_cast<QWidget*>(w_->fraServerProperties),
                           static_cast<QWidget*>(w_->fraDomainProperties),
                           static_cast<QWidget*>(w_->fraUserProperties)})
        addContainer(frame, frame, frame->size(), false);
    for (QTabWidget* tab : {w_->tabUsers, w_->tabCustomDomain}) {
        for (int i = 0; i < tab->count(); ++i) {
            QWidget* page = tab->widget(i);
            addContainer(page, tab, designPanel_, true);
            // The group boxes of a page widen with their column; their buttons follow.
            for (QGroupBox* box : page->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
                addContainer(box, box, box->size(), false);
        }
    }
    for (QWidget* panel : {static_cast<QWidget*>(w_->fraServerProperties),
                           static_cast<QWidget*>(w_->fraDomainProperties),
                           static_cast<QWidget*>(w_->fraUserProperties),
                           static_cast<QWidget*>(w_->tabUsers),
                           static_cast<QWidget*>(w_->tabCustomDomain)})
        panel->installEventFilter(this);

    auto* split = new SplitHandle(w_->centralWidget());
    split->onDrag = [this](int right) { setTreeWidth(right - w_->DomainList->x()); };
    handle_ = split;

    // The design size holds the menu bar, the tree and panels' height under it and the status bar;
    // a taller menu bar or status bar than the designer's would cover the foot of the tab controls.
    int client = w_->height() - w_->statusBar()->sizeHint().height();
    if (QMenuBar* bar = w_->menuBar(); bar && !bar->isNativeMenuBar())
        client -= bar->sizeHint().height();
    if (client < w_->Px(ClientHeight))
        w_->resize(w_->width(), w_->height() + w_->Px(ClientHeight) - client);
    // The central area's own size changes when the log is docked or undocked, the window's not.
    central_ = w_->centralWidget();
    w_->centralWidget()->installEventFilter(this);
    if (QDockWidget* dock = w_->ActivityView) {
        log_ = dock;
        dock->installEventFilter(this);
        connect(dock->toggleViewAction(), &QAction::toggled, this, &WindowLayout::activityShown);
        connect(dock, &QDockWidget::topLevelChanged, this, [this, dock] { activityShown(!dock->isHidden()); });
    }
    arrange();
}

void WindowLayout::activityShown(bool shown)
{
    // The log is hidden as well while the window is destroyed: hiding asks nothing of the window.
    if (!shown) {
        if (central_)
            central_->setMinimumHeight(0);
        return;
    }
    QWidget* central = w_->centralWidget();
    QDockWidget* dock = w_->ActivityView;
    if (!central || !dock)
        return;  // the window is going
    if (dock->isFloating()) {
        central->setMinimumHeight(0);
        return;
    }
    const int needed = w_->Px(ClientHeight);
    central->setMinimumHeight(needed);
    if (w_->isMaximized() || w_->isFullScreen())
        return;
    // Room for the log at its natural height, taken by growing the window as far as the screen
    // allows; the minimum above grows it anyway by as much as the log needs at the least.
    const int separator = w_->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, w_);
    const int lacking = needed + dock->sizeHint().height() + separator - central->height();
    if (lacking <= 0)
        return;
    int height = w_->height() + lacking;
    if (const QScreen* screen = w_->screen() ? w_->screen() : QGuiApplication::primaryScreen())
        height = std::min(height, std::max(w_->height(), screen->availableGeometry().height()));
    w_->resize(w_->width(), height);
}

void WindowLayout::addContainer(QWidget* container, QWidget* driver, QSize driverDesign, bool vertical)
{
    Container c{container, driver, driverDesign, driverDesign.width(), vertical, {}};
    for (QWidget* child : container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        Placed::Kind kind = Placed::Fixed;
        auto* frame = qobject_cast<QFrame*>(child);
        if (qobject_cast<QPushButton*>(child))
            kind = Placed::Fixed;
        else if (qobject_cast<QLabel*>(child) || qobject_cast<QCheckBox*>(child)
                 || qobject_cast<QRadioButton*>(child))
            kind = Placed::Caption;
        else if (qobject_cast<QAbstractScrollArea*>(child))
            kind = Placed::Tall;
        else if (qobject_cast<QLineEdit*>(child) || qobject_cast<QGroupBox*>(child))
            kind = Placed::Wide;
        else if (frame && frame->frameShape() == QFrame::VLine)
            kind = Placed::Line;
        c.children.push_back({child, child->geometry(), kind, false});
    }
    // What sits under a list or an editor moves down as far as the list grows.
    for (Placed& p : c.children) {
        for (const Placed& t : c.children) {
            if ((t.kind == Placed::Tall || t.kind == Placed::Line) && &t != &p
                && t.design.bottom() < p.design.top() && t.design.left() <= p.design.right()
                && p.design.left() <= t.design.right())
                p.belowTall = true;
        }
    }
    if (driver != container)
        driver->installEventFilter(this);
    else
        container->installEventFilter(this);
    containers_.push_back(std::move(c));
}

void WindowLayout::stretch(const Container& c) const
{
    const int dw = std::max(0, c.driver->width() - c.driverDesign.width());
    const int dh = c.vertical ? std::max(0, c.driver->height() - c.driverDesign.height()) : 0;
    const int m = w_->Px(InnerMargin);
    const double inner = std::max(1, c.designWidth - 2 * m);
    const double k = (inner + dw) / inner;
    // Columns widen in proportion; the margin at the left edge stays as designed.
    const auto f = [m, k](int u) { return u <= m ? u : m + qRound((u - m) * k); };
    for (const Placed& p : c.children) {
        const QRect& d = p.design;
        QRect r = d;
        if (p.belowTall)
            r.moveTop(d.top() + dh);
        switch (p.kind) {
        case Placed::Fixed:
            // A button that closes a column's right edge stays there; any other keeps its left edge.
            r.moveLeft(c.designWidth - (d.x() + d.width()) <= w_->Px(300) ? f(d.x() + d.width()) - d.width()
                                                                         : f(d.x()));
            break;
        case Placed::Caption:
            r.moveLeft(f(d.x()));  // its caption fits already; wider, it would run under a button
            break;
        case Placed::Wide:
            r.setLeft(f(d.x()));
            r.setWidth(f(d.x() + d.width()) - f(d.x()));
            break;
        case Placed::Tall:
            r.setLeft(f(d.x()));
            r.setWidth(f(d.x() + d.width()) - f(d.x()));
            r.setHeight(d.height() + dh);
            break;
        case Placed::Line:
            r.moveLeft(f(d.x() + d.width() / 2) - d.width() / 2);
            r.setHeight(d.height() + dh);
            break;
        }
        if (p.widget->geometry() != r)
            p.widget->setGeometry(r);
    }
}

void WindowLayout::stretchFor(QObject* changed) const
{
    for (const Container& c : containers_)
        if (c.driver == changed)
            stretch(c);
}

void WindowLayout::arrange()
{
    if (arranging_)
        return;
    arranging_ = true;
    const QWidget* central = w_->centralWidget();
    const QTreeView* tree = w_->DomainList;
    const int margin = w_->Px(RightMargin);
    for (QWidget* frame : {static_cast<QWidget*>(w_->fraServerProperties),
                           static_cast<QWidget*>(w_->fraDomainProperties),
                           static_cast<QWidget*>(w_->fraUserProperties)})
        frame->resize(std::max(designPanel_.width(), central->width() - frame->x() - margin), frame->height());
    const int treeBottom = tree->y() + tree->height();
    for (QTabWidget* tab : {w_->tabUsers, w_->tabCustomDomain})
        tab->resize(std::max(designPanel_.width(), central->width() - tab->x() - margin),
                    std::max(designPanel_.height(), treeBottom - tab->y()));
    for (const Container& c : containers_)
        stretch(c);
    const int treeRight = tree->x() + tree->width();
    const int gap = std::clamp(w_->Px(w_->PanelLeft) - treeRight, w_->Px(60), w_->Px(TreeGap));
    handle_->setGeometry(treeRight, tree->y(), gap, tree->height());
    handle_->raise();
    arranging_ = false;
}

void WindowLayout::setTreeWidth(int pixels)
{
    QTreeView* tree = w_->DomainList;
    const int most = w_->centralWidget()->width() - tree->x() - w_->Px(TreeGap) - designPanel_.width()
                     - w_->Px(RightMargin);
    const int width = std::clamp(pixels, w_->Px(MinTreeWidth), std::max(w_->Px(MinTreeWidth), most));
    if (width == tree->width())
        return;
    arranging_ = true;
    tree->resize(width, tree->height());
    w_->Form_Resize();  // PanelLeft follows the tree's edge
    const int left = w_->Px(w_->PanelLeft);
    for (QWidget* panel : {static_cast<QWidget*>(w_->fraServerProperties),
                           static_cast<QWidget*>(w_->fraDomainProperties),
                           static_cast<QWidget*>(w_->fraUserProperties),
                           static_cast<QWidget*>(w_->tabUsers),
                           static_cast<QWidget*>(w_->tabCustomDomain)})
        panel->move(left, panel->y());
    arranging_ = false;
    arrange();
}

void WindowLayout::restore(QSettings& settings)
{
    const QSize design = w_->size();
    int width = 0, height = 0, tree = 0;
    QSize size = design;
    // Half the design size at least, so that a damaged value cannot make the window unusable;
    // never larger than the screen.
    if (ReadTwips(settings, Store::FormWidthKey, &width) && ReadTwips(settings, Store::FormHeightKey, &height)
        && w_->Px(width) >= design.width() / 2 && w_->Px(height) >= design.height() / 2) {
        size = QSize(w_->Px(width), w_->Px(height));
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableGeometry().size()).expandedTo(design / 2);
    }
    if (size != design) {
        w_->resize(size);
        if (QLayout* layout = w_->layout())
            layout->activate();  // the central widget takes the new size now, not when shown
        w_->Form_Resize();
    }
    if (ReadTwips(settings, Store::TreeWidthKey, &tree) && tree > 0)
        setTreeWidth(w_->Px(tree));
    arrange();
}

void WindowLayout::save(QSettings& settings)
{
    // A maximised window keeps the size it returns to.
    const QSize size = w_->isMaximized() || w_->isFullScreen() ? w_->normalGeometry().size() : w_->size();
    if (size.isEmpty())
        return;
    WriteSetting(settings, Store::SettingsSection, Store::FormWidthKey, QString::number(w_->Twips(size.width())));
    WriteSetting(settings, Store::SettingsSection, Store::FormHeightKey, QString::number(w_->Twips(size.height())));
    WriteSetting(settings, Store::SettingsSection, Store::TreeWidthKey,
                 QString::number(w_->Twips(w_->DomainList->width())));
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event)
{
    // Compared with the objects watched, not asked of the window: the filter also sees the window's
    // controls go while the window is destroyed, when it is no longer whole.
    if (watched == central_ || (log_ && watched == log_)) {
        // The tree follows the room the log leaves, once the window's layout has placed both: the
        // window may have grown before the log was laid out, and the central area then keeps its size.
        const QEvent::Type t = event->type();
        if ((t == QEvent::Resize || t == QEvent::Move || t == QEvent::Show || t == QEvent::Hide) && !relayoutDue_) {
            relayoutDue_ = true;
            QTimer::singleShot(0, this, [this] {
                relayoutDue_ = false;
                w_->Form_Resize();
                arrange();
            });
        }
    } else if (event->type() == QEvent::Move && !arranging_) {
        arrange();  // a panel shown at a new place takes the width left beside it
    } else if (event->type() == QEvent::Resize) {
        stretchFor(watched);
    }
    return QObject::eventFilter(watched, event);
}
