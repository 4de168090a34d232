#pragma once
// What a server session asks of whoever shows it: the window, or the command-line companion.
//
// The session decides and the view shows. Every call is a fact for the view ("the domain list of
// this server is complete", "show this message"), never a widget. The session fills its reply
// collections itself (ServerSession::DomainNames ... UserEntries) and tells the view once a reply,
// or the local step that uses it, is done; the view reads the collections it needs from the session.
//
// A view must not run a nested event loop inside any of these calls: they are made while a reply
// line or a socket event is being handled (messages are shown later, questions are asked before
// anything is queued).

#include <QString>
#include <QStringList>

#include "protocol/FileText.h"

enum class MsgIcon { None, Information, Exclamation, Critical, Question };

// The two whole-file editors: a custom domain's file, an account's "mailproc.tab".
enum class FileKind { CustomDomain, MailProc };

class ServerSession;

class SessionView {
public:
    virtual ~SessionView() = default;

    // ---------------------------------------------------------------- messages and status
    virtual void ShowMessage(const QString& text, MsgIcon icon) = 0;
    virtual void SetStatus(const QString& text) = 0;         // progress, "Ready" when idle
    virtual void SetVersionStatus(const QString& text) = 0;  // version and platform of the server greeted
    // A note beside the running script's row in the activity log (never a password).
    virtual void NoteActivity(const QString& server, const QString& text) = 0;

    // ---------------------------------------------------------------- local steps of a script
    // The steps name the node they fill by the key the script was queued with.
    virtual void AddDomainsToTree(const QString& serverKey) = 0;        // DomainNames is complete
    virtual void AddCustomDomainsToTree(const QString& serverKey) = 0;  // CustomDomainNames is complete
    virtual void AddUsersToTree(const QString& domainNodeKey) = 0;      // UserEntries is complete
    virtual void ShowCustomDomainPanel() = 0;
    virtual void ShowDomainPanel(const QString& mode) = 0;
    virtual void ShowUserPanel(const QString& mode) = 0;  // "add", "edit" or "list"
    // The panel of the account selected when the step runs (an account or a mailing list, as its
    // node says); nothing when none is selected any more.
    virtual void ShowSelectedUserPanel() = 0;
    virtual void ShowUserVars() = 0;  // UserVarNames and UserVarValues are complete

    // ---------------------------------------------------------------- list replies, once read
    virtual void FillAliasList() = 0;  // AliasEntries is complete (also at the end of the POP3 links)
    virtual void ListMembersRequested() = 0;  // the members of a list are on their way: show none
    virtual void ShowListMembers(const QStringList& members) = 0;  // "R - addr" / "W - addr"
    virtual void ShowAccount(const QString& name, const QString& password, bool isList) = 0;
    virtual void Pop3LinksRequested() = 0;  // the links are on their way: show none, empty the fields
    virtual void ShowPop3Links() = 0;       // Pop3LinkUsers and Pop3LinkServers are complete
    virtual void DomainRemoved() = 0;       // the server removed the selected domain

    // ---------------------------------------------------------------- the two file editors
    // A download of the file starts: the editors show nothing and can be edited.
    virtual void FileDownloadStarted(FileKind kind) = 0;
    // The download grew by a line (or the server sent no file): editors is all the session holds of
    // it now; added is the advanced text this line appended.
    virtual void FileDownloadGrew(FileKind kind, const FileEditors& editors, const QString& added) = 0;
    // The file holds a line the editors cannot carry back as it is: shown read-only.
    virtual void FileUnholdable(FileKind kind) = 0;
    // An upload composes the file from the editors as they stand when the server asks for it.
    virtual FileEditors FileEditorContents(FileKind kind) const = 0;
    // The upload added the line end that a last advanced line lacked: the editor shows it too.
    virtual void FileUploadAddedLineEnd(FileKind kind) = 0;
};
