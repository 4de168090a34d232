#pragma once
// The scripts of the actions, shared by every front end: each takes a session and plain values (what
// the window reads from its panels, what tazelctl reads from its command line), makes the same checks
// and the same refusals, and queues the same whole script. A refused action queues nothing.
//
// Names are normalised here as the panels always did: account and alias names trimmed of spaces and
// lower case, passwords trimmed of spaces.

#include <QString>
#include <QStringList>

#include "session/ServerSession.h"
#include "protocol/FileText.h"

// The server a script goes to: how to reach it, the name the tree shows it by, and the key of its
// node (the local steps that fill the tree name nodes by key).
struct ScriptServer {
    ServerLogin login;
    QString name;
    QString key;
};

// What queuing an action gave: the script's serial, or why nothing was queued.
struct QueuedScript {
    quint64 serial = 0;
    QString refusal;  // the message for the user; empty when the script was queued
    explicit operator bool() const { return refusal.isEmpty(); }
    static QueuedScript refused(const QString& why)
    {
        QueuedScript q;
        q.refusal = why;
        return q;
    }
};

namespace Scripts {

// The message for a value the protocol cannot carry; empty when every value can travel.
QString UnsendableMessage(const QStringList& values);

// ---------------------------------------------------------------- reading
QueuedScript LoadDomains(ServerSession& s, const ScriptServer& server, bool required);
QueuedScript LoadUsers(ServerSession& s, const ScriptServer& server, const QString& domain,
                       const QString& domainNodeKey, bool required);
QueuedScript LoadCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name);
// An account's details: for a user its aliases in every domain, for a mailing list its members and
// the aliases of its own domain; then its variables, its mail processing and its POP3 links.
QueuedScript LoadAccount(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, bool isList);
// One account's line of the account list (its password and whether it is a mailing list).
QueuedScript ReadAccount(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account);

// ---------------------------------------------------------------- the domain panel
QueuedScript AddDomain(ServerSession& s, const ScriptServer& server, const QString& name);
QueuedScript RemoveDomain(ServerSession& s, const ScriptServer& server, const QString& domain);

// ---------------------------------------------------------------- the user panel
// name and password as typed; a mailing list when asList.
QueuedScript AddUser(ServerSession& s, const ScriptServer& server, const QString& domain,
                     const QString& domainNodeKey, const QString& name, const QString& password, bool asList);
QueuedScript DeleteUser(ServerSession& s, const ScriptServer& server, const QString& domain,
                        const QString& domainNodeKey, const QString& account);
QueuedScript SetPassword(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& password);
QueuedScript AddListMember(ServerSession& s, const ScriptServer& server, const QString& domain,
                           const QString& list, const QString& address, bool readOnly);
QueuedScript RemoveListMember(ServerSession& s, const ScriptServer& server, const QString& domain,
                              const QString& list, const QString& address);

// ---------------------------------------------------------------- the account's aliases
QueuedScript AddAlias(ServerSession& s, const ScriptServer& server, const QString& domain,
                      const QString& account, const QString& alias);
// With an account, its aliases are read back as the panel does; without, only the removal is sent.
QueuedScript RemoveAlias(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& alias);

// ---------------------------------------------------------------- custom domains
// A new custom domain starts as a file of one empty line; the name must not be taken (in any case).
// The editors are set to that new file (the front end shows them empty).
QueuedScript AddCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name);
// An empty file removes the custom domain on the server.
QueuedScript RemoveCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name);
// Why the custom domain editor cannot be saved as `planned` (empty when it can): the editor must
// hold that very file completely (or have been emptied on purpose) and every line must be sendable.
QString CustomDomainSaveRefusal(const ServerSession& s, const QString& name, const FileEditors& planned);
// Uploads the file the view's editor holds when the server asks for it, then reads it back.
QueuedScript SaveCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name,
                              const FileEditors& planned);
// A save never uploads an empty file, which would remove the custom domain: the advanced text of
// an editor holding nothing becomes one empty line.
bool CustomDomainEditorEmpty(const FileEditors& editors);

// ---------------------------------------------------------------- an account's settings
// A mail-processing save: why it cannot go ahead (refusal), or the question to ask first (the
// server sent no file, so saving replaces whatever it has). Both empty: it may go ahead.
struct SaveCheck {
    QString refusal;
    QString question;
};
SaveCheck CheckMailProcSave(const ServerSession& s, const QString& domain, const QString& account,
                            const FileEditors& editors);
// The user confirmed the question: the save goes over whatever the server has (noted in the log).
void ConfirmMailProcOverwrite(ServerSession& s, const QString& domain, const QString& account);
// The four variables of the account panel, as the panel holds them.
struct UserVarsForm {
    QString realName, homePage, maxMBSize;
    bool closedML = false;
};
// Checks the variables (the mailbox size a whole number or empty, every value sendable); empty
// when they may be saved.
QString UserVarsRefusal(const QString& address, const UserVarsForm& vars);
// Saves the variables and uploads the mail-processing file (checked beforehand with
// CheckMailProcSave), then reads both back.
QueuedScript SaveUserVars(ServerSession& s, const ScriptServer& server, const QString& domain,
                          const QString& account, const UserVarsForm& vars);
QueuedScript SaveMailProc(ServerSession& s, const ScriptServer& server, const QString& domain,
                          const QString& account);

// ---------------------------------------------------------------- POP3 links
// Values as typed (trimmed here); nothing is queued when one is empty (the refusal says which).
QueuedScript AddPop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& pop3Server, const QString& user,
                         const QString& password, bool apop);
QueuedScript RemovePop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                            const QString& account, const QString& pop3Server, const QString& user);
// Switches a link on or off by itself. Its "poplnkenable" is a marked step (SwitchPop3Mark): the
// server's refusal is reported to the script's watchers, and the list is read again all the same.
constexpr int SwitchPop3Mark = 0x504f50;
QueuedScript SwitchPop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                            const QString& account, const QString& pop3Server, const QString& user, bool enable);

}  // namespace Scripts
