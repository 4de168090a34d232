// The main window's own life: its caption and place on the screen at start, the tree following
// the window's height, and the position remembered when it closes.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTreeView>
#include <algorithm>

#include "store/ServerStore.h"
#include "window/WindowLayout.h"
#include "window/frmMain.h"

namespace {
const QString ProductVersion = QStringLiteral("0.26");
constexpr int PanelGap = 180;  // twips between the tree and the panels

// A stored position in twips; anything that is not a number counts as missing.
bool ReadPosition(QSettings& s, const QString& key, int* twips)
{
    bool ok = false;
    const double value = ReadSetting(s, Store::SettingsSection, key).trimmed().toDouble(&ok);
    if (ok)
        *twips = qRound(value);
    return ok;
}
}  // namespace

void frmMain::Form_Load()
{
    setWindowTitle(MessageTitle + QStringLiteral(" - ") + ProductVersion);

    // First start: centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, width(), height());
    int left = 0, top = 0;
    const int x = ReadPosition(*Settings, Store::FormLeftKey, &left)
                      ? Px(left)
                      : screen.x() + qRound(screen.width() / 2.0f - width() / 2.0f);
    const int y = ReadPosition(*Settings, Store::FormTopKey, &top)
                      ? Px(top)
                      : screen.y() + qRound(screen.height() / 2.0f - height() / 2.0f);
    move(x, y);

    PanelLeft = 3420;
    TreeBottomMargin = Twips(height()) - Twips(DomainList->y() + DomainList->height());

    ScriptAborted = false;
    ScriptRequired = false;
    SelectedServerIndex = SelectedDomainIndex = SelectedUserIndex = QPersistentModelIndex();
    QuoteChar = QLatin1Char('"');

    BuildServerTree();
}

void frmMain::Form_Resize()
{
    if (!DomainList)
        return;  // not built yet
    if (!isMinimized()) {
        const int treeHeight = std::clamp(Twips(height()) - TreeBottomMargin, 0, 32767);
        DomainList->resize(DomainList->width(), Px(treeHeight));
    }
    // Panels already shown stay where they are; the next one shown is placed here.
    PanelLeft = Twips(DomainList->x() + DomainList->width()) + PanelGap;
}

void frmMain::Form_Unload()
{
    // A minimised window has no position worth keeping: the next start uses the last normal one.
    if (isMinimized())
        return;
    WriteSetting(*Settings, Store::SettingsSection, Store::FormLeftKey, QString::number(Twips(x())));
    WriteSetting(*Settings, Store::SettingsSection, Store::FormTopKey, QString::number(Twips(y())));
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
    event->accept();  // closing is never refused
}
