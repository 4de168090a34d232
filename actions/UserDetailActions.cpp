// The commands of the selected account's detail tabs: aliases, variables, mail processing and
// external POP3 links. Each one reads the selection and the fields, checks them, and queues one
// script that makes the change and reads the changed details back.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include "engine/Protocol.h"
#include "replies/FileText.h"
#include "window/ControlText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

namespace {

// The account the commands act on: server key K, domain D, account A and its address E = A@D.
struct Account {
    QString server;
    QString domain;
    QString name;
    QString address() const { return name + QLatin1Char('@') + domain; }
};

// False when the server, domain or account is not selected (or its node has gone).
bool SelectedAccount(const frmMain& w, Account& account)
{
    if (!w.SelectedServerIndex.isValid() || !w.SelectedDomainIndex.isValid() ||
        !w.SelectedUserIndex.isValid())
        return false;
    account.server = w.NodeKey(w.SelectedServerIndex);
    account.domain = w.NodeText(w.SelectedDomainIndex);
    account.name = w.NodeText(w.SelectedUserIndex);
    return true;
}

// A step that names the account: the pseudo-command, then its domain and its name.
void QueueAccountStep(frmMain& w, const QString& step, const Account& account)
{
    w.Session->QueueCommand(step);
    w.Session->QueueArgument(account.domain);
    w.Session->QueueArgument(account.name);
}

void AddPair(frmMain& w, const QString& name, const QString& value)
{
    w.Session->QueueArgument(name);
    w.Session->QueueArgument(value);
}

}  // namespace

// The whole file is composed from the editors, so a save may only go ahead when they hold a
// complete download of this account's file; the editors must also hold nothing that would break
// the file on the wire. Tells the user why not and returns false.
static bool CheckMailProcSave(frmMain& w, const Account& account, const FileEditors& editors)
{
    EditorSource& source = w.Session->MailProcEditor;
    const bool ours = source.owner == account.address();
    if (ours && source.state == EditorSource::Unholdable) {
        w.ShowMessage(QStringLiteral("The mail processing file of %1 holds a line that cannot be shown "
                                     "here as it is, so it cannot be saved from here: saving would change "
                                     "that line on the server. Nothing was saved.")
                          .arg(account.address()),
                      MsgIcon::Exclamation);
        return false;
    }
    // The server answered the download with "-": no file, or a refusal just then. The editors hold
    // nothing of a file it may have, so the first save asks before it replaces it.
    const bool notSent = ours && source.state == EditorSource::NotSent;
    if (!notSent && !source.allowsSaveOf(account.address())) {
        w.ShowMessage(QStringLiteral("The mail processing settings of %1 were not read completely "
                                     "from the server; saving them would overwrite its mailproc.tab "
                                     "with part of it. Nothing was saved. Select the account again to "
                                     "read them, then save.")
                          .arg(account.address()),
                      MsgIcon::Exclamation);
        return false;
    }
    const QString refusal = CheckFileEditors(editors);
    if (!refusal.isEmpty()) {
        w.ShowMessage(refusal, MsgIcon::Exclamation);
        return false;
    }
    if (!w.CheckSendable({account.domain, account.name}))
        return false;
    if (notSent) {
        const QString question =
            QStringLiteral("The server did not send a mail processing file for %1 (its answer: %2). Saving "
                           "will create one from what you see here, replacing any file the server has. "
                           "Save anyway?")
                .arg(account.address(), source.serverAnswer);
        if (!w.AskYesNo(question, frmMain::MessageTitle, true))
            return false;
        w.Session->NoteForActivityLog(QStringLiteral("The mail processing file of %1 is saved over whatever the "
                                            "server has, as confirmed.")
                                 .arg(account.address()));
        source = {EditorSource::Fresh, account.address()};
    }
    return true;
}

// Ends an alias change: reads both alias passes back, shows the account, and starts the script.
static void QueueAliasReadBack(frmMain& w, const Account& account)
{
    w.Session->QueueCommand(Pseudo::AliasList);
    w.Session->QueueArgument(account.domain);
    w.Session->QueueArgument(QStringLiteral("*"));
    w.Session->QueueArgument(account.name);
    w.Session->QueueCommand(Pseudo::AliasListMore);
    w.Session->QueueArgument(QStringLiteral("*"));
    w.Session->QueueArgument(QStringLiteral("*"));
    w.Session->QueueArgument(account.address());
    w.Session->QueueCommand(Pseudo::ShowUserEdit);
    w.Session->QueueCommand(Pseudo::Quit);
    w.Session->StartQueue();
}

void frmMain::cmdAddAlias_Click()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    const QString alias = TrimSpaces(txtNewAlias->text()).toLower();
    if (!CheckSendable({account.domain, account.name, alias}))
        return;
    QueueScriptHead(account.server, true,
                    ScriptLabel::change(QStringLiteral("add alias %1 to %2").arg(alias, account.address())));
    Session->QueueCommand(Pseudo::AliasAdd);
    Session->QueueArgument(account.domain);
    Session->QueueArgument(alias);
    Session->QueueArgument(account.address());
    QueueAliasReadBack(*this, account);
}

void frmMain::cmdDeleteAlias_Click()
{
    cmdDeleteAlias->setEnabled(false);
    const int row = SelectedRow(lstAliases);
    Account account;
    if (row < 0 || !SelectedAccount(*this, account))
        return;
    const QString alias = lstAliases->item(row)->text().toLower();
    if (!CheckSendable({account.domain, account.name, alias}))
        return;
    QueueScriptHead(account.server, true,
                    ScriptLabel::change(QStringLiteral("remove alias %1 from %2").arg(alias, account.address())));
    Session->QueueCommand(Pseudo::AliasDel);
    Session->QueueArgument(account.domain);
    Session->QueueArgument(alias);
    QueueAliasReadBack(*this, account);
}

void frmMain::cmdSaveUserVars_Click()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    const QString realName = txtRealName->text();
    const QString homePage = txtHomePage->text();
    // A whole number of megabytes, or nothing.
    const QString maxMBSize = txtMaxMBSize->text().trimmed();
    static const QRegularExpression wholeNumber(QStringLiteral("^[0-9]*$"));
    if (!wholeNumber.match(maxMBSize).hasMatch()) {
        ShowMessage(QStringLiteral("The Max Mailbox Size of %1 must be a whole number of megabytes, or "
                                   "empty.\r\n\r\nNothing was saved.")
                        .arg(account.address()),
                    MsgIcon::Exclamation);
        return;
    }
    const QString closedML = chkClosedML->checkState() == Qt::Checked ? QStringLiteral("1")
                                                                       : QStringLiteral("0");
    // The script uploads the mail-processing file as well.
    if (!CheckMailProcSave(*this, account, MailProcEditorContents()))
        return;
    if (!CheckSendable({realName, homePage, maxMBSize}))
        return;

    QueueScriptHead(account.server, true,
                    ScriptLabel::change(QStringLiteral("save variables and mail processing of ") +
                                        account.address()));
    QueueAccountStep(*this, Pseudo::UserVarsSet, account);
    AddPair(*this, QStringLiteral("RealName"), realName);
    AddPair(*this, QStringLiteral("HomePage"), homePage);
    AddPair(*this, QStringLiteral("MaxMBSize"), maxMBSize);
    AddPair(*this, QStringLiteral("ClosedML"), closedML);
    Session->QueueEndMarker();
    QueueAccountStep(*this, Pseudo::UserSetMproc, account);
    QueueAccountStep(*this, Pseudo::UserVars, account);
    QueueAccountStep(*this, Pseudo::UserGetMproc, account);
    Session->QueueCommand(Pseudo::ShowUserVars);
    Session->QueueCommand(Pseudo::ShowUserEdit);
    Session->QueueCommand(Pseudo::Quit);
    Session->StartQueue();
}

void frmMain::QueueSaveMailProc()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    if (!CheckMailProcSave(*this, account, MailProcEditorContents()))
        return;
    QueueScriptHead(account.server, true,
                    ScriptLabel::change(QStringLiteral("save mail processing of ") + account.address()));
    QueueAccountStep(*this, Pseudo::UserSetMproc, account);
    QueueAccountStep(*this, Pseudo::UserGetMproc, account);
    Session->QueueCommand(Pseudo::ShowUserVars);
    Session->QueueCommand(Pseudo::ShowUserEdit);
    Session->QueueCommand(Pseudo::Quit);
    Session->StartQueue();
}

void frmMain::cmdSaveAdvanced_Click()
{
    QueueSaveMailProc();
}

// Adds the trimmed text of the entry box to the list and saves the file; the file the list would
// make is checked before the list changes.
static void AddRedirection(frmMain& w, QLineEdit* entry, QListWidget* list, bool local)
{
    const QString target = TrimSpaces(entry->text());
    Account account;
    if (target.isEmpty() || !SelectedAccount(w, account))
        return;
    FileEditors editors = w.MailProcEditorContents();
    (local ? editors.lredirects : editors.redirects) << target;
    if (!CheckMailProcSave(w, account, editors))
        return;
    list->addItem(target);
    w.QueueSaveMailProc();
}

static void DeleteRedirection(frmMain& w, QPushButton* button, QListWidget* list, bool local)
{
    button->setEnabled(false);
    const int row = SelectedRow(list);
    Account account;
    if (row < 0 || !SelectedAccount(w, account))
        return;
    FileEditors editors = w.MailProcEditorContents();
    (local ? editors.lredirects : editors.redirects).removeAt(row);
    if (!CheckMailProcSave(w, account, editors))
        return;
    delete list->takeItem(row);
    // Removing the entry makes its neighbour the selected one; a second click must not delete an
    // entry the user never chose.
    list->clearSelection();
    list->setCurrentRow(-1);
    button->setEnabled(false);
    w.QueueSaveMailProc();
}

void frmMain::cmdAddRedirect_Click()
{
    AddRedirection(*this, txtRedirect, lstRedirects, false);
}

void frmMain::cmdDeleteRedirect_Click()
{
    DeleteRedirection(*this, cmdDeleteRedirect, lstRedirects, false);
}

void frmMain::cmdAddLRedirect_Click()
{
    AddRedirection(*this, txtLRedirect, lstLRedirects, true);
}

void frmMain::cmdDeleteLRedirect_Click()
{
    DeleteRedirection(*this, cmdDeleteLRedirect, lstLRedirects, true);
}

void frmMain::cmdAddPOP3_Click()
{
    const QString authType = optCLR->isChecked() ? QStringLiteral("CLR") : QStringLiteral("APOP");
    const QString server = TrimSpaces(txtPOP3Server->text());
    const QString user = TrimSpaces(txtPOP3User->text());
    const QString password = TrimSpaces(txtPOP3Pass->text());
    Account account;
    if (server.isEmpty() || user.isEmpty() || password.isEmpty() || !SelectedAccount(*this, account))
        return;
    if (!CheckSendable({account.domain, account.name, server, user, password}))
        return;
    // The link's password is never part of the label.
    QueueScriptHead(account.server, true,
                    ScriptLabel::change(
                        QStringLiteral("add POP3 link %1@%2 to %3").arg(user, server, account.address())));
    Session->QueueCommand(Pseudo::Pop3Add);
    for (const QString& value : {account.domain, account.name, server, user, password, authType})
        Session->QueueArgument(value);
    // A new link is enabled at once; the server's refusal of that is passed over.
    Session->QueueCommand(Pseudo::Pop3Enable);
    for (const QString& value : {QStringLiteral("1"), account.domain, account.name, server, user})
        Session->QueueArgument(value);
    QueueAccountStep(*this, Pseudo::Pop3List, account);
    Session->QueueCommand(Pseudo::Quit);
    Session->StartQueue();
}

void frmMain::cmdDeletePOP3_Click()
{
    cmdDeletePOP3->setEnabled(false);
    const int row = SelectedRow(lstPOP3);
    Account account;
    if (row < 0 || row >= Session->Pop3LinkServers.size() || row >= Session->Pop3LinkUsers.size() ||
        !SelectedAccount(*this, account))
        return;
    const QString server = Session->Pop3LinkServers.at(row);
    const QString user = Session->Pop3LinkUsers.at(row);
    if (!CheckSendable({account.domain, account.name, server, user}))
        return;
    QueueScriptHead(account.server, true,
                    ScriptLabel::change(
                        QStringLiteral("remove POP3 link %1@%2 from %3").arg(user, server, account.address())));
    // The link is disabled before it is removed; a refusal to disable it does not stop the removal.
    Session->QueueCommand(Pseudo::Pop3Enable);
    for (const QString& value : {QStringLiteral("0"), account.domain, account.name, server, user})
        Session->QueueArgument(value);
    Session->QueueCommand(Pseudo::Pop3Del);
    for (const QString& value : {account.domain, account.name, server, user})
        Session->QueueArgument(value);
    QueueAccountStep(*this, Pseudo::Pop3List, account);
    Session->QueueCommand(Pseudo::Quit);
    Session->StartQueue();
}
