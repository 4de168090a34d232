#pragma once
// The session as the command line shows it: messages and notes go to standard error, each list
// step's delivery is recorded for the command that asked for it, and the script's outcome becomes
// an exit code. Nothing here asks the user anything: a command has everything it needs before it
// queues its script.

#include <QStringList>
#include <functional>

#include "session/ScriptObserver.h"
#include "session/SessionView.h"

class ServerSession;

// The exit code of a script that ended so. greeted: the server's greeting had arrived (a close
// after it is a close mid-conversation, before it the server could not be reached);
// loginRefused: the "-" answered the administrator login.
int ExitCodeForOutcome(const ScriptOutcome& outcome, bool greeted, bool loginRefused);

class CliView : public SessionView, public ScriptObserver {
public:
    explicit CliView(ServerSession& session);
    ~CliView() override;

    // What the steps delivered in the last script.
    struct Delivered {
        bool domains = false, customDomains = false, users = false, userVars = false, aliases = false;
        bool members = false, account = false, pop3 = false, domainRemoved = false;
        QStringList memberLines;                 // "R - addr" / "W - addr"
        QString accountName, accountPassword;
        bool accountIsList = false;
        // By FileKind, as far as the download came (whether it came whole the session's
        // CustomDomainEditor and MailProcEditor say).
        FileEditors files[2];
        bool fileUnholdable[2] = {false, false};
    };
    const Delivered& delivered() const { return delivered_; }

    // Called once the users step has the whole list (UserEntries complete).
    std::function<void()> onUsers;
    // Called when a script ends, with its exit code.
    std::function<void(const ScriptLabel&, const ScriptOutcome&, int exitCode)> onScriptEnded;
    // What an upload sends when the server asks for it.
    FileEditors uploadFiles[2];

    // ---------------------------------------------------------------- SessionView
    void ShowMessage(const QString& text, MsgIcon icon) override;
    void SetStatus(const QString& text) override;
    void SetVersionStatus(const QString& text) override;
    void NoteActivity(const QString& server, const QString& text) override;
    void AddDomainsToTree(const QString& serverKey) override;
    void AddCustomDomainsToTree(const QString& serverKey) override;
    void AddUsersToTree(const QString& domainNodeKey) override;
    void ShowCustomDomainPanel() override {}
    void ShowDomainPanel(const QString&) override {}
    void ShowUserPanel(const QString&) override {}
    void ShowSelectedUserPanel() override {}
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
    void FileUploadAddedLineEnd(FileKind) override {}

    // ---------------------------------------------------------------- ScriptObserver
    void scriptStarted(const ScriptLabel& label) override;
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;

    // Progress texts on standard error as well (--verbose).
    bool verbose = false;

private:
    ServerSession& session_;
    Delivered delivered_;
    bool greeted_ = false;
    bool switchRefused_ = false;  // a POP3 link's switch was refused
    bool loginRefused_ = false;
    bool atLogin_ = false;
};

// Text for standard error: the window's CR LF line breaks as plain line ends.
QString PlainLines(const QString& text);
