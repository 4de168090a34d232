#pragma once
// The main window as the view of its server session: each fact the session reports becomes the
// window's routine of that step (DomainListRead -> AddDomainsToTree, AccountListRead ->
// AddUsersToTree, AliasesComplete -> FillAliasList, AccountReady -> ShowUserPanel, StatusChanged ->
// SetStatus, MessageForUser -> ShowMessage, ...) or a control change.

#include "session/SessionView.h"

class frmMain;

class SessionWindowView : public SessionView {
public:
    explicit SessionWindowView(frmMain& window) : w(window) {}

    void MessageForUser(const QString& text, MsgIcon icon) override;
    void StatusChanged(const QString& text) override;
    void ServerVersionRead(const QString& text) override;
    void NoteActivity(const QString& server, const QString& text) override;

    void DomainListRead(const QString& serverKey) override;
    void CustomDomainListRead(const QString& serverKey) override;
    void AccountListRead(const QString& domainNodeKey) override;
    void CustomDomainReady() override;
    void DomainReady(const QString& mode) override;
    void AccountReady(const QString& mode) override;
    void SelectedAccountReady() override;
    void AccountVarsRead() override;

    void AliasesComplete() override;
    void ListMembersRequested() override;
    void ListMembersRead(const QStringList& members) override;
    void AccountRead(const QString& name, const QString& password, bool isList) override;
    void Pop3LinksRequested() override;
    void Pop3LinksRead() override;
    void DomainRemoved() override;

    void FileDownloadStarted(FileKind kind) override;
    void FileDownloadGrew(FileKind kind, const FileEditors& editors, const QString& added) override;
    void FileUnholdable(FileKind kind) override;
    FileEditors FileEditorContents(FileKind kind) const override;
    void FileUploadAddedLineEnd(FileKind kind) override;

private:
    frmMain& w;
};
