#pragma once
// The scripts of the actions, shared by every front end: each takes a session and plain values (what
// the window reads from its panels, what tazelctl reads from its command line), makes the same checks
// and the same refusals, and queues the same whole script. A refused action queues nothing.
//
// Names are normalised here as the panels always did: account and alias names trimmed of spaces and
// lower case, passwords trimmed of spaces.

#include <QString>
#include <QStringList>

#include "engine/ServerSession.h"

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

}  // namespace Scripts
