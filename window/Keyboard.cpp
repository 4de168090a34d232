#include "window/Keyboard.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeView>

#include "window/frmMain.h"

namespace {

// A button counts when the panel shows it and it can be pressed.
bool Pressable(const QPushButton* button)
{
    return button->isVisibleTo(button->window()) && button->isEnabled();
}

// Enter in any of the boxes presses the first of the buttons that is showing: a panel has its add
// button in one mode and its save button in the other.
void EnterPresses(std::initializer_list<QLineEdit*> boxes, std::initializer_list<QPushButton*> buttons)
{
    const QList<QPushButton*> candidates(buttons);
    for (QLineEdit* box : boxes) {
        QObject::connect(box, &QLineEdit::returnPressed, box, [candidates] {
            for (QPushButton* button : candidates) {
                if (Pressable(button)) {
                    button->click();
                    return;
                }
            }
        });
    }
}

void DeletePresses(QListWidget* list, QPushButton* button)
{
    auto* key = new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(key, &QShortcut::activated, button, [button] {
        if (Pressable(button))
            button->click();
    });
}

}  // namespace

void WireKeyboard(frmMain& w)
{
    EnterPresses({w.txtServerName, w.txtServerAddress, w.txtServerPort, w.txtServerLoginName,
                  w.txtServerPassword},
                 {w.cmdAddServer, w.cmdUpdateServer});
    EnterPresses({w.txtDomainName}, {w.cmdAddDomain});
    EnterPresses({w.txtUserName, w.txtPassword}, {w.cmdAddUser, w.cmdSavePassword});
    EnterPresses({w.txtListUser}, {w.cmdAddListUser});
    EnterPresses({w.txtNewAlias}, {w.cmdAddAlias});
    EnterPresses({w.txtRealName, w.txtHomePage, w.txtMaxMBSize}, {w.cmdSaveUserVars});
    EnterPresses({w.txtRedirect}, {w.cmdAddRedirect});
    EnterPresses({w.txtLRedirect}, {w.cmdAddLRedirect});
    EnterPresses({w.txtPOP3Server, w.txtPOP3User, w.txtPOP3Pass}, {w.cmdAddPOP3});
    EnterPresses({w.txtDomainRedirect}, {w.cmdAddDomainRedirect});
    EnterPresses({w.txtDomainLredirect}, {w.cmdAddDomainLredirect});

    DeletePresses(w.lstListUsers, w.cmdDeleteListUser);
    DeletePresses(w.lstAliases, w.cmdDeleteAlias);
    DeletePresses(w.lstRedirects, w.cmdDeleteRedirect);
    DeletePresses(w.lstLRedirects, w.cmdDeleteLRedirect);
    DeletePresses(w.lstPOP3, w.cmdDeletePOP3);
    DeletePresses(w.lstDomainRedirects, w.cmdDeleteDomainRedirect);
    DeletePresses(w.lstDomainLredirects, w.cmdDeleteDomainLredirect);

    // Enter on a focused button presses it, as Space does.
    for (QPushButton* button : w.findChildren<QPushButton*>())
        button->setAutoDefault(true);

    // Buttons and check boxes are named by their captions; the rest by the label above them.
    const std::pair<QWidget*, const char*> names[] = {
        {w.DomainList, "Servers"},
        {w.txtServerName, "Server Name"},
        {w.txtServerAddress, "Server Address"},
        {w.txtServerPort, "Port"},
        {w.txtServerLoginName, "Login Name"},
        {w.txtServerPassword, "Password"},
        {w.txtDomainName, "Domain Name"},
        {w.txtUserName, "User/Account Name"},
        {w.txtPassword, "Password"},
        {w.tabUsers, "Account"},
        {w.txtListUser, "New user address"},
        {w.lstListUsers, "List members"},
        {w.txtNewAlias, "Account Alias"},
        {w.lstAliases, "Aliases"},
        {w.txtRealName, "Real Name"},
        {w.txtHomePage, "Home Page"},
        {w.txtMaxMBSize, "Max Mailbox Size (KB)"},
        {w.txtRedirect, "Redirection"},
        {w.lstRedirects, "Redirections"},
        {w.txtLRedirect, "L-Redirection"},
        {w.lstLRedirects, "L-Redirections"},
        {w.txtPOP3Server, "External POP3 Server"},
        {w.txtPOP3User, "External Username"},
        {w.txtPOP3Pass, "External Password"},
        {w.lstPOP3, "POP3 External Links"},
        {w.txtExternal, "Advanced mailproc.tab settings"},
        {w.tabCustomDomain, "Custom Domain"},
        {w.txtDomainRedirect, "Domain Redirection"},
        {w.lstDomainRedirects, "Domain Redirections"},
        {w.txtDomainLredirect, "Domain L-Redirection"},
        {w.lstDomainLredirects, "Domain L-Redirections"},
        {w.txtDomainAdvanced, "Advanced Custom Domain Processing"},
        {w.StatusPanel1, "Status"},
        {w.StatusPanel2, "Server version"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));
}
