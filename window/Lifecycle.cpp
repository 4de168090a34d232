// The main window's own life: its caption and place on the screen at start, the tree following
// the window's height, and the position remembered when it closes.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>
#include <algorithm>
#include <cmath>

#include "session/BulkAddRunner.h"
#include "store/ServerStore.h"
#include "window/AccountFiles.h"
#include "window/FindAllDialog.h"
#include "window/ActivityDock.h"
#include "window/MessageSeam.h"
#include "window/WindowLayout.h"
#include "window/frmMain.h"

namespace {
const QString ProductVersion = QStringLiteral("0.26");
constexpr int PanelGap = 180;  // twips between the tree and the panels

// A stored position in twips; anything that is not a whole number of a sane size counts as missing
// (1e30, nan or 99999999999 would overflow on the way to pixels).
bool ReadPosition(QSettings& s, const QString& key, int* twips)
{
    bool ok = false;
    const double value = ReadSetting(s, Store::SettingsSection, key).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 10000000.0)
        return false;
    *twips = int(value);
    return true;
}

// Whether a window edge at pixel `pos` (the window `extent` long) lies on some screen along one
// axis: at least part of the window shows on it, and its top edge never lies above or below it.
bool OnSomeScreen(int pos, int extent, bool horizontal)
{
    const int visible = std::min(extent, 100);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        if (horizontal ? (pos + extent - visible >= g.left() && pos + visible <= g.right() + 1)
                       : (pos >= g.top() && pos + 30 <= g.bottom() + 1))
            return true;
    }
    return false;
}
}  // namespace

void frmMain::Form_Load()
{
    setWindowTitle(MessageTitle + QStringLiteral(" - ") + ProductVersion);

    // First start: centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, width(), height());
    // A store that cannot be read is left alone: the user is told, and nothing is written to it.
    if (!CheckSettingsReadable(*Settings))
        ShowMessage(QStringLiteral("The stored servers could not be read from \"%1\". The program starts "
                                   "without them and will not write that file, so nothing in it is lost. "
                                   "Check the file (its permissions and contents), then start the program "
                                   "again.")
                        .arg(Settings->fileName()),
                    MsgIcon::Exclamation);

    // First start, or a stored position that is off every screen: centred on the screen.
    int left = 0, top = 0;
    const bool leftStored = ReadPosition(*Settings, Store::FormLeftKey, &left) &&
                            OnSomeScreen(Px(left), width(), true);
    const bool topStored = ReadPosition(*Settings, Store::FormTopKey, &top) &&
                           OnSomeScreen(Px(top), height(), false);
    const int x = leftStored ? Px(left) : screen.x() + qRound(screen.width() / 2.0f - width() / 2.0f);
    const int y = topStored ? Px(top) : screen.y() + qRound(screen.height() / 2.0f - height() / 2.0f);
    move(x, y);

    PanelLeft = 3420;
    TreeBottomMargin = Twips(height()) - Twips(DomainList->y() + DomainList->height());

    Session->ResetProtocolState();
    SelectedServerIndex = SelectedDomainIndex = SelectedUserIndex = QPersistentModelIndex();

    BuildServerTree();
}

void frmMain::Form_Resize()
{
    if (!DomainList)
        return;  // not built yet
    if (!isMinimized()) {
        // The tree's bottom keeps its distance from the window's bottom (the tree need not start at
        // the top: the find box sits above it).
        const int treeBottom = std::clamp(Twips(height()) - TreeBottomMargin, 0, 32767);
        // The activity log docked under the panels takes its height from the tree's too, rather
        // than cover the foot of the tree and the tab controls.
        int docked = 0;
        if (ActivityView && ActivityView->isVisible() && !ActivityView->isFloating())
            docked = std::max(0, statusBar()->y() - centralWidget()->geometry().bottom() - 1);
        DomainList->resize(DomainList->width(), std::max(0, Px(treeBottom) - docked - DomainList->y()));
    }
    // Panels already shown stay where they are; the next one shown is placed here.
    PanelLeft = Twips(DomainList->x() + DomainList->width()) + PanelGap;
}

void frmMain::Form_Unload()
{
    // A minimised window has no position worth keeping: the next start uses the last normal one.
    // A store that could not be read at start was reported then and is never written.
    if (isMinimized() || !SettingsWritable(*Settings))
        return;
    if (!WriteSetting(*Settings, Store::SettingsSection, Store::FormLeftKey, QString::number(Twips(x()))) ||
        !WriteSetting(*Settings, Store::SettingsSection, Store::FormTopKey, QString::number(Twips(y()))))
        ShowMessage(QStringLiteral("The window position could not be saved: the settings file \"%1\" could "
                                   "not be written.")
                        .arg(Settings->fileName()),
                    MsgIcon::Exclamation);
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
    if (Layout)
        Layout->arrange();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    if (!isMinimized())
        Layout->save(*Settings);
    // Every script ends with the window, so the program has nothing left to wait for: a run of
    // added accounts queues no further row, the search lets its servers go, and the session drops
    // what it holds and cuts its connection (an SSH one ends its ssh with it).
    if (AccountFileCommands && AccountFileCommands->runner())
        AccountFileCommands->runner()->cancel();
    for (FindAllDialog* find : findChildren<FindAllDialog*>())
        if (find->Search)
            find->Search->Stop();
    Session->EndAllScripts();
    event->accept();  // closing is never refused
}
