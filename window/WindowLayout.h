#pragma once
// How the window grows past its design size. At the design size every control sits where the
// panels placed it; a larger window widens the panels and lengthens the tab controls, and inside
// them text boxes, lists, file editors and group boxes widen with their column while buttons keep
// their size. A handle between the tree and the panels moves the tree's right edge, and the
// panels follow it. The window's size and the tree's width are kept in the settings store.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QVector>

class QSettings;
class QWidget;
class frmMain;

class WindowLayout : public QObject {
    Q_OBJECT
public:
    // Made once the panels exist: the controls' places then are their design places.
    explicit WindowLayout(frmMain* window);

    // Sizes the panels and the tab controls to the window as it stands now.
    void arrange();
    // What a drag of the handle does: the tree takes the width, the panels follow its edge.
    void setTreeWidth(int pixels);
    QWidget* handle() const { return handle_; }

    // "FormWidth", "FormHeight" and "TreeWidth" in twips; a missing or unusable value leaves the
    // design size.
    void restore(QSettings& settings);
    void save(QSettings& settings);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QWidget* widget;
        QRect design;
        enum Kind { Fixed, Caption, Wide, Tall, Line } kind;
        bool belowTall;  // sits under a control that grows downwards
    };
    // A container whose children follow the size of `driver` (the container itself, or the tab
    // control of a tab page), measured against the driver's design size.
    struct Container {
        QWidget* widget;
        QWidget* driver;
        QSize driverDesign;
        int designWidth;
        bool vertical;
        QVector<Placed> children;
    };
    void addContainer(QWidget* container, QWidget* driver, QSize driverDesign, bool vertical);
    // The activity log docked under the panels: while it shows, the panels keep the room they were
    // designed for and the log takes the rest, the window growing to make room for it.
    void activityShown(bool shown);
    void stretch(const Container& c) const;
    void stretchFor(QObject* changed) const;

    frmMain* w_;
    QWidget* handle_ = nullptr;
    QVector<Container> containers_;
    QSize designPanel_;  // the frames' and tab controls' width, the tab controls' height
    bool arranging_ = false;
    bool relayoutDue_ = false;  // the tree and panels are fitted again once the events in hand are done
    QPointer<QWidget> central_;  // the window's central area and its activity log, as watched
    QPointer<QWidget> log_;
};
