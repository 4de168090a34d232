#pragma once
// What a server session asks of whoever shows it: the window, or the command-line companion.
//
// The session decides and the view shows. Every call is named as the fact it reports ("the domain
// list of this server has been read", "a message for the user"), never after a widget or a routine of
// a front end: the window's view maps each fact to the window's routine (window/SessionWindowView),
// the command line's records it (cli/CliView). The session fills its reply
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
    virtual void MessageForUser(const QString& text, MsgIcon icon) = 0;
    virtual void StatusChanged(const QString& text) = 0;      // progress, "Ready" when idle
    virtual void ServerVersionRead(const QString& text) = 0;  // version and platform of the server greeted
    // A note beside the running script's row in the activity log (never a password).
    virtual void NoteActivity(const QString& server, const QString& text) = 0;

    // ---------------------------------------------------------------- local steps of a script
    // The steps name the node they fill by the key the script was queued with.
    virtual void DomainListRead(const QString& serverKey) = 0;        // DomainNames is complete
    virtual void CustomDomainListRead(const QString& serverKey) = 0;  // CustomDomainNames is complete
    virtual void AccountListRead(const QString& domainNodeKey) = 0;  // UserEntries is complete
    // The script has reached the step where its object is ready to be shown (the custom domain's
    // file, a domain, an account in this mode: "add", "edit" or "list").
    virtual void CustomDomainReady() = 0;
    virtual void DomainReady(const QString& mode) = 0;
    virtual void AccountReady(const QString& mode) = 0;
    // The account selected when the step runs is ready (an account or a mailing list, as its node
    // says); the view shows nothing when none is selected any more.
    virtual void SelectedAccountReady() = 0;
    virtual void AccountVarsRead() = 0;  // UserVarNames and UserVarValues are complete

    // ---------------------------------------------------------------- list replies, once read
    virtual void AliasesComplete() = 0;  // AliasEntries is complete (also at the end of the POP3 links)
    virtual void ListMembersRequested() = 0;  // the members of a list are on their way: show none
    virtual void ListMembersRead(const QStringList& members) = 0;  // "R - addr" / "W - addr"
    virtual void AccountRead(const QString& name, const QString& password, bool isList) = 0;
    virtual void Pop3LinksRequested() = 0;  // the links are on their way: show none, empty the fields
    virtual void Pop3LinksRead() = 0;       // Pop3LinkUsers and Pop3LinkServers are complete
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
