#include "window/MainMenu.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeView>

#include "window/FindAllDialog.h"
#include "window/MessageSeam.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

MainMenu::MainMenu(frmMain* window) : QObject(window), w_(window)
{
    QMenuBar* bar = w_->menuBar();
    file_ = bar->addMenu(QStringLiteral("&File"));
    addServer_ = file_->addAction(QStringLiteral("&Add Server..."), this, &MainMenu::addServer);
    addServer_->setShortcut(QKeySequence::New);
    print_ = file_->addAction(QStringLiteral("&Print User List..."), this, &MainMenu::printUserList);
    print_->setShortcut(QKeySequence::Print);
    file_->addSeparator();
    movePasswords_ = file_->addAction(QStringLiteral("&Move Passwords to the Keyring"), this, [this] {
        if (w_->Passwords)
            w_->Passwords->movePasswords();
    });
    file_->addSeparator();
    quit_ = file_->addAction(QStringLiteral("&Quit"), w_, &QWidget::close);
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setMenuRole(QAction::QuitRole);

    edit_ = bar->addMenu(QStringLiteral("&Edit"));
    findAll_ = edit_->addAction(QStringLiteral("Find on &All Servers..."), this, &MainMenu::findOnAllServers);
    findAll_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));

    view_ = bar->addMenu(QStringLiteral("&View"));
    reload_ = view_->addAction(QStringLiteral("&Reload"), this, &MainMenu::reload);
    reload_->setShortcut(QKeySequence(Qt::Key_F5));

    help_ = bar->addMenu(QStringLiteral("&Help"));
    about_ = help_->addAction(QStringLiteral("&About Tazel Administrator"), this, &MainMenu::about);
    about_->setMenuRole(QAction::AboutRole);

    // The shortcuts work from every control of the window, the menus closed.
    for (QAction* action : {addServer_, print_, quit_, findAll_, reload_, about_})
        action->setShortcutContext(Qt::WindowShortcut);
    // The menus grey out what cannot be done now; closed, they leave the shortcuts to check.
    for (QMenu* menu : {file_, view_}) {
        connect(menu, &QMenu::aboutToShow, this, &MainMenu::updateActions);
        connect(menu, &QMenu::aboutToHide, this, [this] {
            print_->setEnabled(true);
            reload_->setEnabled(true);
            movePasswords_->setEnabled(true);
        });
    }
}

QString MainMenu::AboutText()
{
    return QStringLiteral("Tazel Administrator %1\n\nBuilt with Qt %2, running on Qt %3.\n\n"
                          "Licensed under the MIT licence.")
        .arg(QStringLiteral(TAZEL_VERSION), QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()));
}

// As a click on the tree's top node: the panel for a new server.
void MainMenu::addServer()
{
    const QModelIndex root = w_->DomainList->model()->index(0, 0);
    if (!root.isValid())
        return;
    w_->DomainList->setCurrentIndex(root);
    w_->DomainList_NodeClick(root);
    w_->txtServerName->setFocus();
}

// As the domain panel's button, when that button is showing.
void MainMenu::printUserList()
{
    if (w_->cmdPrintUserList->isVisibleTo(w_) && w_->cmdPrintUserList->isEnabled())
        w_->cmdPrintUserList->click();
}

// As a click on the highlighted node: loads it again from its server.
void MainMenu::reload()
{
    const QModelIndex node = w_->DomainList->currentIndex();
    if (node.isValid())
        w_->DomainList_NodeClick(node);
}

void MainMenu::findOnAllServers()
{
    if (!findAllDialog_)
        findAllDialog_ = new FindAllDialog(w_);
    findAllDialog_->show();
    findAllDialog_->raise();
    findAllDialog_->activateWindow();
    findAllDialog_->txtFind->setFocus();
}

void MainMenu::about()
{
    w_->ShowMessage(AboutText(), MsgIcon::Information, QStringLiteral("About Tazel Administrator"));
}

void MainMenu::updateActions()
{
    // Print (and the account file entries beside it) only where its button is, once the shown
    // domain's list of the shown server has arrived whole.
    print_->setEnabled(w_->cmdPrintUserList->isVisibleTo(w_) && w_->cmdPrintUserList->isEnabled() &&
                       w_->ShownDomainListIsLoaded());
    reload_->setEnabled(w_->DomainList->currentIndex().isValid());
    movePasswords_->setEnabled(w_->Passwords && w_->Passwords->store() && !w_->Passwords->busy());
}
