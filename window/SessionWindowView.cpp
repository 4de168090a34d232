#include "window/SessionWindowView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "session/ActivityLog.h"
#include "session/ServerSession.h"
#include "window/ControlText.h"
#include "window/frmMain.h"

void SessionWindowView::ShowMessage(const QString& text, MsgIcon icon)
{
    w.ShowMessage(text, icon);
}

void SessionWindowView::SetStatus(const QString& text)
{
    w.SetStatus(text);
}

void SessionWindowView::SetVersionStatus(const QString& text)
{
    w.SetVersionStatus(text);
}

void SessionWindowView::NoteActivity(const QString& server, const QString& text)
{
    if (w.Activity)
        w.Activity->note(server, text);
}

void SessionWindowView::AddDomainsToTree(const QString& serverKey)
{
    w.AddDomainsToTree(serverKey);
}

void SessionWindowView::AddCustomDomainsToTree(const QString& serverKey)
{
    w.AddCustomDomainsToTree(serverKey);
}

void SessionWindowView::AddUsersToTree(const QString& domainNodeKey)
{
    w.AddUsersToTree(domainNodeKey);
}

void SessionWindowView::ShowCustomDomainPanel()
{
    w.ShowCustomDomainPanel();
}

void SessionWindowView::ShowDomainPanel(const QString& mode)
{
    w.ShowDomainPanel(mode);
}

void SessionWindowView::ShowUserPanel(const QString& mode)
{
    w.ShowUserPanel(mode);
}

void SessionWindowView::ShowSelectedUserPanel()
{
    // The account selected when this step runs; nothing when its node has gone meanwhile.
    if (!w.SelectedUserIndex.isValid())
        return;
    const QString tag = w.NodeTag(w.SelectedUserIndex);
    if (tag == QLatin1String("U"))
        w.ShowUserPanel(QStringLiteral("edit"));
    else if (tag == QLatin1String("M"))
        w.ShowUserPanel(QStringLiteral("list"));
}

void SessionWindowView::ShowUserVars()
{
    w.ShowUserVars();
}

void SessionWindowView::FillAliasList()
{
    w.FillAliasList();
    w.cmdDeleteAlias->setEnabled(false);
}

void SessionWindowView::ListMembersRequested()
{
    w.lstListUsers->clear();
}

void SessionWindowView::ShowListMembers(const QStringList& members)
{
    w.lstListUsers->clear();
    w.lstListUsers->addItems(members);
}

void SessionWindowView::ShowAccount(const QString& name, const QString& password, bool isList)
{
    w.txtUserName->setText(name);
    w.txtPassword->setText(password);
    w.chkAsList->setChecked(isList);
}

void SessionWindowView::Pop3LinksRequested()
{
    w.lstPOP3->clear();
    w.txtPOP3Server->clear();
    w.txtPOP3User->clear();
    w.txtPOP3Pass->clear();
}

void SessionWindowView::ShowPop3Links()
{
    const ServerSession& s = *w.Session;
    w.lstPOP3->clear();
    for (qsizetype i = 0; i < s.Pop3LinkUsers.size() && i < s.Pop3LinkServers.size(); ++i)
        w.lstPOP3->addItem(s.Pop3LinkUsers.at(i) + QLatin1Char('/') + s.Pop3LinkServers.at(i));
}

void SessionWindowView::DomainRemoved()
{
    w.SelectedDomainIndex = QPersistentModelIndex();
}

// ------------------------------------------------------------------------------------ file editors

namespace {
struct EditorWidgets {
    QCheckBox* mailbox;  // null for a custom domain file, which has no local-storage line
    QListWidget* redirects;
    QListWidget* lredirects;
    QPlainTextEdit* advanced;
    QLineEdit* newRedirect;
    QLineEdit* newLRedirect;
};

EditorWidgets EditorsOf(const frmMain& w, FileKind kind)
{
    if (kind == FileKind::CustomDomain)
        return {nullptr, w.lstDomainRedirects, w.lstDomainLredirects, w.txtDomainAdvanced,
                w.txtDomainRedirect, w.txtDomainLredirect};
    return {w.chkMailbox, w.lstRedirects, w.lstLRedirects, w.txtExternal, w.txtRedirect, w.txtLRedirect};
}
}  // namespace

void SessionWindowView::FileDownloadStarted(FileKind kind)
{
    const EditorWidgets e = EditorsOf(w, kind);
    e.redirects->clear();
    e.lredirects->clear();
    e.advanced->clear();
    e.newRedirect->clear();
    e.newLRedirect->clear();
    if (e.mailbox)
        e.mailbox->setChecked(false);
    e.advanced->setReadOnly(false);
}

void SessionWindowView::FileDownloadGrew(FileKind kind, const FileEditors& editors, const QString& added)
{
    const EditorWidgets e = EditorsOf(w, kind);
    if (e.mailbox && editors.mailbox && !e.mailbox->isChecked())
        e.mailbox->setChecked(true);
    // Only the first list line of each kind fills its list.
    if (e.redirects->count() == 0 && !editors.redirects.isEmpty())
        e.redirects->addItems(editors.redirects);
    if (e.lredirects->count() == 0 && !editors.lredirects.isEmpty())
        e.lredirects->addItems(editors.lredirects);
    if (!added.isEmpty())
        AppendToBox(e.advanced, added);
}

void SessionWindowView::FileUnholdable(FileKind kind)
{
    EditorsOf(w, kind).advanced->setReadOnly(true);
}

FileEditors SessionWindowView::FileEditorContents(FileKind kind) const
{
    return kind == FileKind::CustomDomain ? w.CustomDomainEditorContents() : w.MailProcEditorContents();
}

void SessionWindowView::FileUploadAddedLineEnd(FileKind kind)
{
    AppendToBox(EditorsOf(w, kind).advanced, QStringLiteral("\n"));
}
