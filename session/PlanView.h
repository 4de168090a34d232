#pragma once
// The view of the sessions the state reader and the plan runner talk through: it shows nothing.
// Whatever the session would show (a refusal, a note) is kept for the row it belongs to, and an
// upload sends the file the running step names (by its target: the custom domain, or the
// account's address), never what some editor on the screen holds.

#include <QHash>
#include <QStringList>
#include <functional>

#include "session/SessionView.h"

class ServerSession;

class PlanView : public SessionView {
public:
    explicit PlanView(ServerSession& session) : session_(session) {}

    // The files the uploads of the run send, by FileKind and target.
    QHash<QString, FileEditors> uploads[2];
    // The messages since the last clear(), and the step the session was on at the first of them
    // (its CurrentCommand: the administrator login when the server refused the login).
    QStringList messages;
    QString failedCommand;
    void clear()
    {
        messages.clear();
        failedCommand.clear();
    }
    // Notes for the activity log (lines skipped, a file not sent), with the server they concern.
    std::function<void(const QString& server, const QString& text)> onNote;

    void ShowMessage(const QString& text, MsgIcon icon) override;
    void SetStatus(const QString&) override {}
    void SetVersionStatus(const QString&) override { greeted = true; }
    bool greeted = false;  // a server's greeting has arrived
    void NoteActivity(const QString& server, const QString& text) override
    {
        if (onNote)
            onNote(server, text);
    }
    void AddDomainsToTree(const QString&) override {}
    void AddCustomDomainsToTree(const QString&) override {}
    void AddUsersToTree(const QString&) override {}
    void ShowCustomDomainPanel() override {}
    void ShowDomainPanel(const QString&) override {}
    void ShowUserPanel(const QString&) override {}
    void ShowSelectedUserPanel() override {}
    void ShowUserVars() override {}
    void FillAliasList() override {}
    void ListMembersRequested() override {}
    void ShowListMembers(const QStringList&) override {}
    void ShowAccount(const QString&, const QString&, bool) override {}
    void Pop3LinksRequested() override {}
    void ShowPop3Links() override {}
    void DomainRemoved() override {}
    void FileDownloadStarted(FileKind) override {}
    void FileDownloadGrew(FileKind, const FileEditors&, const QString&) override {}
    void FileUnholdable(FileKind) override {}
    FileEditors FileEditorContents(FileKind kind) const override;
    void FileUploadAddedLineEnd(FileKind) override {}

private:
    ServerSession& session_;
};
