#pragma once
// The menu bar: File (Add Server..., Print User List..., Move Passwords to the Keyring, Quit), Edit
// (Find on All Servers...), View (Reload) and Help (About).
// Every entry does what a click on the tree or on a panel's button already does. Other parts of
// the window add their own entries through the menus' accessors.

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class frmMain;
class FindAllDialog;

class MainMenu : public QObject {
    Q_OBJECT
public:
    explicit MainMenu(frmMain* window);

    QMenu* fileMenu() const { return file_; }
    QMenu* editMenu() const { return edit_; }
    QMenu* viewMenu() const { return view_; }
    QMenu* helpMenu() const { return help_; }

    QAction* addServerAction() const { return addServer_; }
    QAction* printAction() const { return print_; }
    QAction* quitAction() const { return quit_; }
    QAction* findAllAction() const { return findAll_; }
    QAction* movePasswordsAction() const { return movePasswords_; }
    QAction* reloadAction() const { return reload_; }
    QAction* aboutAction() const { return about_; }

    // The text of the About box: the program's version, the Qt version and the licence.
    static QString AboutText();

private:
    void addServer();
    void printUserList();
    void reload();
    // Opens the window of the search over every stored server (one for the main window, kept).
    void findOnAllServers();
    void about();
    void updateActions();

    frmMain* w_;
    QMenu *file_, *edit_, *view_, *help_;
    QAction *addServer_, *print_, *movePasswords_, *quit_, *findAll_, *reload_, *about_;
    QPointer<FindAllDialog> findAllDialog_;
};
