#include "window/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeView>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QLabel>

#include "session/ActivityLog.h"
#include "window/ActivityDock.h"

#include "store/ServerStore.h"
#include "window/AppIcon.h"
#include "window/ElidedTips.h"
#include "window/Keyboard.h"
#include "window/MainMenu.h"
#include "window/WindowLayout.h"
#include "window/AccountFiles.h"
#include "window/StateFiles.h"
#include "window/TreeFilter.h"
#include "window/MessageSeam.h"
#include "window/PrinterSeam.h"
#include "window/SessionWindowView.h"
#include "window/JournalHook.h"
#include "window/ServerPasswords.h"

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
    SessionViewOfWindow = std::make_unique<SessionWindowView>(*this);
    Session = new ServerSession(SessionViewOfWindow.get(), this);

    CreatePanels();
    Menu = new MainMenu(this);  // first: the activity log's toggle goes into its View menu
    setWindowIcon(AppIcon());
    WireKeyboard(*this);
    auto* tips = new ElidedTips(this);
    tips->watch(DomainList);
    for (QListWidget* list : {lstListUsers, lstAliases, lstRedirects, lstLRedirects, lstPOP3,
                              lstDomainRedirects, lstDomainLredirects})
        tips->watchList(list);
    CreateActivityViews();
    AccountFileCommands = new AccountFiles(*this);
    // The file menu's account entries, after Print User List: like it, they are enabled only while
    // a domain's panel shows its buttons (never from a server, account or custom domain panel) and
    // that domain's list of that server has arrived whole, and they do what those buttons do (which
    // check for themselves that the list is there: the shortcuts of a closed menu reach them).
    {
        QMenu* file = Menu->fileMenu();
        QAction* separator = file->actions().value(file->actions().indexOf(Menu->printAction()) + 1);
        auto* exportAccounts = new QAction(QStringLiteral("&Export Accounts..."), file);
        auto* addAccounts = new QAction(QStringLiteral("Add Accounts from &File..."), file);
        file->insertActions(separator, {exportAccounts, addAccounts});
        const auto usable = [this](QPushButton* b) { return b->isVisibleTo(this) && b->isEnabled(); };
        for (auto [action, button] : {std::pair{exportAccounts, AccountFileCommands->exportButton()},
                                      std::pair{addAccounts, AccountFileCommands->addFromFileButton()}}) {
            connect(action, &QAction::triggered, this, [button, usable] {
                if (usable(button))
                    button->click();
            });
            connect(file, &QMenu::aboutToShow, action, [this, action, button, usable] {
                action->setEnabled(usable(button) && ShownDomainListIsLoaded());
            });
            connect(file, &QMenu::aboutToHide, action, [action] { action->setEnabled(true); });
        }
    }
    TreeFind = new TreeFilter(DomainList, this);
    new StateFiles(*this);  // the state file's commands in the File menu (findChild finds them)
    Layout = new WindowLayout(this);
    Passwords = new ServerPasswords(*this);
    Form_Load();
    Layout->restore(*Settings);
    Passwords->readAll();  // the keyring's answers come while the window is already up
}

void frmMain::CreateActivityViews()
{
    Activity = new ActivityLog(this);
    ActivityView = new ActivityDock(Activity, this);
    addDockWidget(Qt::BottomDockWidgetArea, ActivityView);
    ActivityView->hide();
    Menu->viewMenu()->addSeparator();
    Menu->viewMenu()->addAction(ActivityView->toggleViewAction());

    Busy = new BusyIndicator(this);
    statusBar()->addPermanentWidget(Busy);
    Session->Reports.addObserver(Activity);
    AttachJournal(*this);
    Session->Reports.addObserver(Busy);
    connect(Busy, &BusyIndicator::cancelRequested, this, [this](const void* session) {
        if (session == Session)
            Session->CancelScript();
    });

    // The outcome of the last action stays in the first panel for a while, then "Ready" comes back;
    // the next script's progress texts take its place at once. The second panel (the server's
    // version and platform) is never covered.
    auto* outcomeShown = new QTimer(this);
    outcomeShown->setSingleShot(true);
    connect(Activity, &ActivityLog::finished, this, [this, outcomeShown](const QString& summary) {
        SetStatus(summary);
        outcomeShown->setProperty("summary", summary);
        outcomeShown->start(OutcomeShownMs);
    });
    connect(outcomeShown, &QTimer::timeout, this, [this, outcomeShown] {
        if (StatusPanel1->text() == outcomeShown->property("summary").toString())
            SetStatus(QStringLiteral("Ready"));
    });

    // Esc cancels while the tree or a panel has the focus (not while the log has it).
    // The window at its design size again: the menu bar and the status bar (now holding the busy
    // indicator) take their heights from the window, not from the tree and panels.
    resize(width(), Px(5190) + statusBar()->sizeHint().height() + menuBar()->sizeHint().height());

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || !ActivityView->isAncestorOf(focus))
            Session->CancelScript();
    });
}

frmMain::~frmMain()
{
    // A run of added accounts holds the window's message seam: it lets go while the window is whole.
    delete AccountFileCommands;
    AccountFileCommands = nullptr;
    // A script still running ends with the window: its connection must not report anything to a
    // window that is half gone.
    delete Session;
    Session = nullptr;
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
