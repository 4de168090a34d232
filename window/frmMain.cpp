#include "window/frmMain.h"

#include <QSettings>
#include <QTcpSocket>

#include "store/ServerStore.h"
#include "window/AccountFiles.h"
#include "window/TreeFilter.h"
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
    AccountFileCommands = new AccountFiles(*this);
    TreeFind = new TreeFilter(DomainList, this);
    Form_Load();
}

frmMain::~frmMain()
{
    // A run of added accounts holds the window's message seam: it lets go while the window is whole.
    delete AccountFileCommands;
    AccountFileCommands = nullptr;
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
