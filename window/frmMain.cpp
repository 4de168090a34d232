#include "window/frmMain.h"

#include <QListWidget>
#include <QMenuBar>
#include <QTreeView>
#include <QSettings>
#include <QTcpSocket>

#include "store/ServerStore.h"
#include "window/AppIcon.h"
#include "window/ElidedTips.h"
#include "window/Keyboard.h"
#include "window/MainMenu.h"
#include "window/WindowLayout.h"
#include "window/MessageSeam.h"
#include "window/PrinterSeam.h"

const QString frmMain::MessageTitle = QStringLiteral("Tazel Administrator");

frmMain::frmMain(QSettings* settings, MessageSeam* messages, PrinterSeam* printer, QWidget* parent)
    : QMainWindow(parent)
{
    if (!settings) {
        OwnSettings = OpenUserSettings();
        settings = OwnSettings.get();
    }
    Settings = settings;
    if (!messages) {
        auto* boxes = new BoxMessageSeam(this);  // owned by the window as its child
        messages = boxes;
    }
    Messages = messages;
    if (!printer) {
        OwnPrinter.reset(NewDialogPrinterSeam(this));
        printer = OwnPrinter.get();
    }
    Printer = printer;

    CreatePanels();
    Menu = new MainMenu(this);
    resize(width(), height() + menuBar()->sizeHint().height());  // the panels keep their room
    setWindowIcon(AppIcon());
    WireKeyboard(*this);
    auto* tips = new ElidedTips(this);
    tips->watch(DomainList);
    for (QListWidget* list : {lstListUsers, lstAliases, lstRedirects, lstLRedirects, lstPOP3,
                              lstDomainRedirects, lstDomainLredirects})
        tips->watchList(list);
    Layout = new WindowLayout(this);
    Form_Load();
    Layout->restore(*Settings);
}

frmMain::~frmMain()
{
    // A script still running ends with the window: its socket must not report anything to a
    // window that is half gone.
    if (TcpConnection) {
        TcpConnection->disconnect(this);
        TcpConnection->abort();
    }
}

void frmMain::ShowMessage(const QString& text, MsgIcon icon, const QString& title)
{
    Messages->notify(text, title, icon);
}

bool frmMain::AskYesNo(const QString& text, const QString& title, bool defaultNo)
{
    return Messages->ask(text, title, MsgIcon::Question, MsgYes | MsgNo,
                         defaultNo ? MsgNo : MsgYes) == MsgYes;
}
