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

// The exit code of a script that ended so: the session says whether the server refused the request
// or the login, could not be reached, or cut the conversation short.
int ExitCodeForOutcome(const ScriptOutcome& outcome);

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
    void MessageForUser(const QString& text, MsgIcon icon) override;
    void StatusChanged(const QString& text) override;
    void ServerVersionRead(const QString& text) override;
    void NoteActivity(const QString& server, const QString& text) override;
    void DomainListRead(const QString& serverKey) override;
    void CustomDomainListRead(const QString& serverKey) override;
    void AccountListRead(const QString& domainNodeKey) override;
    void CustomDomainReady() override {}
    void DomainReady(const QString&) override {}
    void AccountReady(const QString&) override {}
    void SelectedAccountReady() override {}
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
    void FileUploadAddedLineEnd(FileKind) override {}

    // ---------------------------------------------------------------- ScriptObserver
    void scriptStarted(const ScriptLabel& label) override;
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;

    // Progress texts on standard error as well (--verbose).
    bool verbose = false;
    // A read ended well but one of its replies held lines that could not be read (they were
    // skipped, and said so): what was read is printed, and the command fails.
    bool damagedRead() const { return damagedRead_; }

    // What a plain connection's transport reported when it failed (its error number and the
    // system's words): the session's message about it is then written in the command line's form.
    void noteConnectionFailure(int number, const QString& description);

private:
    ServerSession& session_;
    Delivered delivered_;
    bool switchRefused_ = false;  // a POP3 link's switch was refused
    bool damagedRead_ = false;
    quint64 skippedAtStart_ = 0;
    QString failureText_;  // the session's message for the failure noted, and ours in its place
    QString failureLine_;
};

// Text for standard error: the window's CR LF line breaks as plain line ends.
QString PlainLines(const QString& text);
