// The domain panel's commands: add and remove a domain or a custom domain, and edit a custom
// domain's file (redirections, L-redirections, advanced lines), each edit saving the whole file.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTreeView>

#include "actions/ScriptTarget.h"
#include "protocol/Protocol.h"
#include "protocol/FileText.h"
#include "store/ServerStore.h"
#include "window/ControlText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

static const QString kLineBreak = QStringLiteral("\n");  // the multi-line box's line end

static QString ServerName(const frmMain& w, const QString& serverKey)
{
    return ReadSetting(*w.Settings, serverKey, Store::NameKey);
}

// What a removal question names beside its own text.
static QString RemovalTarget(const QString& kind, const QString& name, const QString& server)
{
    return QStringLiteral("\r\n\r\n") + kind + QStringLiteral(": ") + name + QStringLiteral("\r\nServer: ") +
           server;
}

// Empties the editor on purpose, to create or remove the custom domain with the given name.
static void EmptyCustomDomainEditor(frmMain& w, const QString& advanced, const QString& name)
{
    w.lstDomainRedirects->clear();
    w.lstDomainLredirects->clear();
    w.txtDomainAdvanced->setPlainText(advanced);
    w.txtDomainRedirect->clear();
    w.txtDomainLredirect->clear();
    w.txtDomainAdvanced->setReadOnly(false);
    w.Session->CustomDomainEditor = {EditorSource::Fresh, name};
}

// A save uploads the whole file composed from the editor. It may go ahead only when the editor holds
// that very file completely (or was emptied on purpose) and every line can be sent as it stands;
// otherwise the user is told why and nothing changes. `planned` is the editor after the change
// that the command is about to make.
static bool CustomDomainSaveAllowed(frmMain& w, const QString& name, const FileEditors& planned)
{
    const QString refusal = Scripts::CustomDomainSaveRefusal(*w.Session, name, planned);
    if (refusal.isEmpty())
        return true;
    w.ShowMessage(refusal, MsgIcon::Exclamation);
    return false;
}

// After a removal the domain is gone: show its server until the script shows the domain panel.
static void ShowServerAfterRemoval(frmMain& w, const QString& serverKey)
{
    w.HideAllPanels();
    w.SelectedUserIndex = QPersistentModelIndex();
    w.SelectedDomainIndex = QPersistentModelIndex();
    w.SelectedServerIndex = QPersistentModelIndex(w.NodeByKey(serverKey));
    w.DomainList->setCurrentIndex(w.SelectedServerIndex);  // the highlight follows the panel
    w.FillServerFields(serverKey);
    w.ShowServerPanel(QStringLiteral("edit"));
}

void frmMain::cmdAddDomain_Click()
{
    if (!SelectedServerIndex.isValid())
        return;
    const QString serverKey = NodeKey(SelectedServerIndex);
    const QString name = txtDomainName->text();  // sent as typed
    if (TrimSpaces(name).isEmpty())
        return;
    if (!CheckSendable({name}))
        return;

    const ScriptServer server = ScriptServerOf(*this, serverKey);
    if (chkCustDomain->isChecked()) {
        // A new custom domain starts as a file of one empty line.
        EmptyCustomDomainEditor(*this, kLineBreak, name);
        Queued(*this, server, Scripts::AddCustomDomain(*Session, server, name));
    } else {
        Queued(*this, server, Scripts::AddDomain(*Session, server, name));
    }
}

void frmMain::cmdRemoveDomain_Click()
{
    if (!SelectedServerIndex.isValid() || !SelectedDomainIndex.isValid())
        return;
    const QString serverKey = NodeKey(SelectedServerIndex);
    const QString domain = NodeText(SelectedDomainIndex);
    if (!CheckSendable({domain}))
        return;
    if (!AskYesNo(QStringLiteral("Are you sure you want to delete this domain?\r\n\r\n"
                                 "All users will be permenently removed as well.") +
                      RemovalTarget(QStringLiteral("Domain"), domain, ServerName(*this, serverKey)),
                  MessageTitle, true))
        return;

    const ScriptServer scriptServer = ScriptServerOf(*this, serverKey);
    Queued(*this, scriptServer, Scripts::RemoveDomain(*Session, scriptServer, domain));
    ShowServerAfterRemoval(*this, serverKey);
}

void frmMain::cmdRemoveCustDomain_Click()
{
    if (!SelectedServerIndex.isValid())
        return;
    const QString serverKey = NodeKey(SelectedServerIndex);
    const QString name = txtDomainName->text();
    if (TrimSpaces(name).isEmpty())
        return;
    if (!CheckSendable({name}))
        return;
    if (!AskYesNo(QStringLiteral("Are you sure you want to delete this custom domain?") +
                      RemovalTarget(QStringLiteral("Custom domain"), name, ServerName(*this, serverKey)),
                  MessageTitle, true))
        return;

    // An empty file removes the custom domain on the server.
    EmptyCustomDomainEditor(*this, QString(), name);
    const ScriptServer scriptServer = ScriptServerOf(*this, serverKey);
    Queued(*this, scriptServer, Scripts::RemoveCustomDomain(*Session, scriptServer, name));
    ShowServerAfterRemoval(*this, serverKey);
}

void frmMain::QueueSaveCustomDomain()
{
    if (!SelectedServerIndex.isValid())
        return;
    const QString serverKey = NodeKey(SelectedServerIndex);
    const QString name = txtDomainName->text();
    const FileEditors editors = CustomDomainEditorContents();
    if (!CustomDomainSaveAllowed(*this, name, editors))
        return;

    // A save never uploads an empty file, which would remove the custom domain.
    if (Scripts::CustomDomainEditorEmpty(editors))
        txtDomainAdvanced->setPlainText(kLineBreak);

    const ScriptServer scriptServer = ScriptServerOf(*this, serverKey);
    Queued(*this, scriptServer, Scripts::SaveCustomDomain(*Session, scriptServer, name, editors));
}

// The editor buttons check the save they lead to before they change the editor, so that a refused
// save leaves the editor as it was.
static bool EditorSaveAllowed(frmMain& w, const FileEditors& planned)
{
    if (!w.SelectedServerIndex.isValid())
        return false;
    return CustomDomainSaveAllowed(w, w.txtDomainName->text(), planned);
}

static void AddToCustomDomainList(frmMain& w, QLineEdit* entry, QListWidget* list, bool redirects)
{
    const QString target = TrimSpaces(entry->text());
    if (target.isEmpty())
        return;
    if (!w.CheckSendable({target}))
        return;
    FileEditors planned = w.CustomDomainEditorContents();
    (redirects ? planned.redirects : planned.lredirects) << target;
    if (!EditorSaveAllowed(w, planned))
        return;
    list->addItem(target);
    w.QueueSaveCustomDomain();
}

static void DeleteFromCustomDomainList(frmMain& w, QListWidget* list, bool redirects)
{
    // The selected entry, not merely the current row: tabbing into the list makes row 0 current
    // with nothing selected.
    const int row = SelectedRow(list);
    if (row < 0)
        return;
    FileEditors planned = w.CustomDomainEditorContents();
    (redirects ? planned.redirects : planned.lredirects).removeAt(row);
    if (!EditorSaveAllowed(w, planned))
        return;
    delete list->takeItem(row);
    // Removing the entry makes its neighbour current and selected; a second press must not delete
    // an entry the user never chose.
    list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
    w.QueueSaveCustomDomain();
}

void frmMain::cmdAddDomainRedirect_Click()
{
    AddToCustomDomainList(*this, txtDomainRedirect, lstDomainRedirects, true);
}

void frmMain::cmdAddDomainLredirect_Click()
{
    AddToCustomDomainList(*this, txtDomainLredirect, lstDomainLredirects, false);
}

void frmMain::cmdDeleteDomainRedirect_Click()
{
    DeleteFromCustomDomainList(*this, lstDomainRedirects, true);
}

void frmMain::cmdDeleteDomainLredirect_Click()
{
    DeleteFromCustomDomainList(*this, lstDomainLredirects, false);
}

void frmMain::cmdSaveDomainAdvanced_Click()
{
    QueueSaveCustomDomain();
}
