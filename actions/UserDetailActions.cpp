// The commands of the selected account's detail tabs: aliases, variables, mail processing and
// external POP3 links. Each one reads the selection and the fields, checks them, and queues one
// script that makes the change and reads the changed details back.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "actions/ScriptTarget.h"
#include "protocol/Protocol.h"
#include "protocol/FileText.h"
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

}  // namespace

// The whole file is composed from the editors, so a save may only go ahead when they hold a
// complete download of this account's file; the editors must also hold nothing that would break
// the file on the wire. Tells the user why not and returns false.
static bool CheckMailProcSave(frmMain& w, const Account& account, const FileEditors& editors)
{
    const Scripts::SaveCheck check = Scripts::CheckMailProcSave(*w.Session, account.domain, account.name, editors);
    if (!check.refusal.isEmpty()) {
        w.ShowMessage(check.refusal, MsgIcon::Exclamation);
        return false;
    }
    // The server sent no file: the editors hold nothing of a file it may have, so ask first.
    if (!check.question.isEmpty()) {
        if (!w.AskYesNo(check.question, frmMain::MessageTitle, true))
            return false;
        Scripts::ConfirmMailProcOverwrite(*w.Session, account.domain, account.name);
    }
    return true;
}

void frmMain::cmdAddAlias_Click()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::AddAlias(*Session, scriptServer, account.domain, account.name,
                                    txtNewAlias->text()));
}

void frmMain::cmdDeleteAlias_Click()
{
    cmdDeleteAlias->setEnabled(false);
    const int row = SelectedRow(lstAliases);
    Account account;
    if (row < 0 || !SelectedAccount(*this, account))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::RemoveAlias(*Session, scriptServer, account.domain, account.name,
                                       lstAliases->item(row)->text()));
}

void frmMain::cmdSaveUserVars_Click()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    Scripts::UserVarsForm form;
    form.realName = txtRealName->text();
    form.homePage = txtHomePage->text();
    form.maxMBSize = txtMaxMBSize->text().trimmed();
    form.closedML = chkClosedML->checkState() == Qt::Checked;
    // The mailbox size first, then the mail-processing file the script uploads as well, then the
    // other values.
    Scripts::UserVarsForm sizeOnly;
    sizeOnly.maxMBSize = form.maxMBSize;
    const QString sizeRefusal = Scripts::UserVarsRefusal(account.address(), sizeOnly);
    if (!sizeRefusal.isEmpty()) {
        ShowMessage(sizeRefusal, MsgIcon::Exclamation);
        return;
    }
    if (!CheckMailProcSave(*this, account, MailProcEditorContents()))
        return;
    if (!CheckSendable({form.realName, form.homePage, form.maxMBSize}))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::SaveUserVars(*Session, scriptServer, account.domain,
                                        account.name, form));
}

void frmMain::QueueSaveMailProc()
{
    Account account;
    if (!SelectedAccount(*this, account))
        return;
    if (!CheckMailProcSave(*this, account, MailProcEditorContents()))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::SaveMailProc(*Session, scriptServer, account.domain, account.name));
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
    const QString server = TrimSpaces(txtPOP3Server->text());
    const QString user = TrimSpaces(txtPOP3User->text());
    const QString password = TrimSpaces(txtPOP3Pass->text());
    Account account;
    if (server.isEmpty() || user.isEmpty() || password.isEmpty() || !SelectedAccount(*this, account))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::AddPop3Link(*Session, scriptServer, account.domain, account.name,
                                       server, user, password, !optCLR->isChecked()));
}

void frmMain::cmdDeletePOP3_Click()
{
    cmdDeletePOP3->setEnabled(false);
    const int row = SelectedRow(lstPOP3);
    Account account;
    if (row < 0 || row >= Session->Pop3LinkServers.size() || row >= Session->Pop3LinkUsers.size() ||
        !SelectedAccount(*this, account))
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, account.server);
    Queued(*this, scriptServer, Scripts::RemovePop3Link(*Session, scriptServer, account.domain,
                                          account.name, Session->Pop3LinkServers.at(row), Session->Pop3LinkUsers.at(row)));
}
