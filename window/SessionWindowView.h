#pragma once
// The main window as the view of its server session: each fact the session reports becomes the
// window's tree step, panel step or control change.

#include "session/SessionView.h"

class frmMain;

class SessionWindowView : public SessionView {
public:
    explicit SessionWindowView(frmMain& window) : w(window) {}

    void ShowMessage(const QString& text, MsgIcon icon) override;
    void SetStatus(const QString& text) override;
    void SetVersionStatus(const QString& text) override;
    void NoteActivity(const QString& server, const QString& text) override;

    void AddDomainsToTree(const QString& serverKey) override;
    void AddCustomDomainsToTree(const QString& serverKey) override;
    void AddUsersToTree(const QString& domainNodeKey) override;
    void ShowCustomDomainPanel() override;
    void ShowDomainPanel(const QString& mode) override;
    void ShowUserPanel(const QString& mode) override;
    void ShowSelectedUserPanel() override;
    void ShowUserVars() override;

    void FillAliasList() override;
    void ListMembersRequested() override;
    void ShowListMembers(const QStringList& members) override;
    void ShowAccount(const QString& name, const QString& password, bool isList) override;
    void Pop3LinksRequested() override;
    void ShowPop3Links() override;
    void DomainRemoved() override;

    void FileDownloadStarted(FileKind kind) override;
    void FileDownloadGrew(FileKind kind, const FileEditors& editors, const QString& added) override;
    void FileUnholdable(FileKind kind) override;
    FileEditors FileEditorContents(FileKind kind) const override;
    void FileUploadAddedLineEnd(FileKind kind) override;

private:
    frmMain& w;
};
