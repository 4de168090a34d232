// The actions' scripts, one routine each: the checks first, then the whole script, then the queue
// starts. Both front ends call these, so a request never differs between the window and tazelctl.

#include "engine/Scripts.h"

#include "engine/CommandQueue.h"
#include "engine/Protocol.h"

using namespace Pseudo;

namespace {

quint64 Head(ServerSession& s, const ScriptServer& server, bool required, ScriptLabel label)
{
    label.server = server.name;
    return s.QueueScriptHead(server.login, required, label);
}

void Step(ServerSession& s, const QString& pseudo, const QStringList& args = {})
{
    s.QueueCommand(pseudo);
    for (const QString& a : args)
        s.QueueArgument(a);
}

QueuedScript Tail(ServerSession& s, quint64 serial)
{
    s.QueueCommand(Quit);
    s.StartQueue();
    QueuedScript q;
    q.serial = serial;
    return q;
}

// The refresh that follows every change of the domain list.
void DomainRefresh(ServerSession& s, const ScriptServer& server, bool showPanel)
{
    Step(s, Pseudo::DomainList);
    Step(s, CustDomList);
    Step(s, AddDomainsToList, {server.key});
    Step(s, AddCustDomainsToList, {server.key});
    if (showPanel)
        Step(s, ShowDomainProperties);
}

// After an account is added or removed the domain's accounts are read again and replace its
// children in the tree; the panel is then ready for the next account.
void AccountsRefresh(ServerSession& s, const QString& domain, const QString& domainNodeKey)
{
    Step(s, UserList, {domain});
    Step(s, AddUsersToList, {domainNodeKey});
    Step(s, ShowUserProperties);
}

// After a member is added or removed the member list is read again.
void MembersRefresh(ServerSession& s, const QString& domain, const QString& list)
{
    Step(s, MlUserList, {domain, list});
    Step(s, ShowListUser);
}

// Ends an alias change: reads both alias passes back and shows the account.
void AliasReadBack(ServerSession& s, const QString& domain, const QString& account)
{
    const QString address = account + QLatin1Char('@') + domain;
    Step(s, AliasList, {domain, QStringLiteral("*"), account});
    Step(s, AliasListMore, {QStringLiteral("*"), QStringLiteral("*"), address});
    Step(s, ShowUserEdit);
}

}  // namespace

namespace Scripts {

QString UnsendableMessage(const QStringList& values)
{
    const auto bad = FirstUnsendable(values);
    if (!bad)
        return QString();
    return QStringLiteral("\"%1\" cannot be sent to the server: it holds a double quote, a TAB, a line "
                          "break or a character outside Latin-1.\r\n\r\nNothing was changed.")
        .arg(*bad);
}

QueuedScript LoadDomains(ServerSession& s, const ScriptServer& server, bool required)
{
    const quint64 serial =
        Head(s, server, required, ScriptLabel::read(QStringLiteral("list domains and custom domains")));
    Step(s, Pseudo::DomainList);
    Step(s, CustDomList);
    Step(s, AddDomainsToList, {server.key});
    Step(s, AddCustDomainsToList, {server.key});
    Step(s, ShowDomainProperties);
    return Tail(s, serial);
}

QueuedScript LoadUsers(ServerSession& s, const ScriptServer& server, const QString& domain,
                       const QString& domainNodeKey, bool required)
{
    // A name the server sent with a quote inside is shown, but never sent back under another name.
    const QString refusal = UnsendableMessage({domain});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial =
        Head(s, server, required, ScriptLabel::read(QStringLiteral("list accounts of ") + domain));
    Step(s, UserList, {domain});
    Step(s, AddUsersToList, {domainNodeKey});
    Step(s, ShowUserProperties);
    return Tail(s, serial);
}

QueuedScript LoadCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name)
{
    const QString refusal = UnsendableMessage({name});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(s, server, false, ScriptLabel::read(QStringLiteral("read custom domain ") + name));
    Step(s, CustDomGet, {name});
    Step(s, ShowCustDomain);
    return Tail(s, serial);
}

QueuedScript LoadAccount(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, bool isList)
{
    const QString refusal = UnsendableMessage({domain, account});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    const quint64 serial = Head(s, server, false, ScriptLabel::read(QStringLiteral("read account ") + address));
    Step(s, GetUser, {domain, account});
    const QStringList da{domain, account};
    if (!isList) {
        Step(s, AliasList, {domain, QStringLiteral("*"), account});
        Step(s, AliasListMore, {QStringLiteral("*"), QStringLiteral("*"), address});
        Step(s, UserVars, da);
        Step(s, UserGetMproc, da);
        Step(s, Pop3List, da);
        Step(s, Pseudo::ShowUserVars);
        Step(s, ShowUserEdit);
    } else {
        // A mailing list's aliases are read in its own domain only.
        Step(s, MlUserList, da);
        Step(s, AliasList, {domain, QStringLiteral("*"), account});
        Step(s, UserVars, da);
        Step(s, UserGetMproc, da);
        Step(s, Pop3List, da);
        Step(s, Pseudo::ShowUserVars);
        Step(s, ShowListUser);
    }
    return Tail(s, serial);
}

QueuedScript ReadAccount(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account)
{
    const QString refusal = UnsendableMessage({domain, account});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(s, server, false,
                                ScriptLabel::read(QStringLiteral("look up account ") + account +
                                                  QLatin1Char('@') + domain));
    Step(s, GetUser, {domain, account});
    return Tail(s, serial);
}

QueuedScript AddDomain(ServerSession& s, const ScriptServer& server, const QString& name)
{
    const QString refusal = UnsendableMessage({name});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(s, server, true, ScriptLabel::change(QStringLiteral("add domain ") + name));
    Step(s, DomainAdd, {name});
    DomainRefresh(s, server, true);
    return Tail(s, serial);
}

QueuedScript RemoveDomain(ServerSession& s, const ScriptServer& server, const QString& domain)
{
    const QString refusal = UnsendableMessage({domain});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(s, server, true, ScriptLabel::change(QStringLiteral("remove domain ") + domain));
    Step(s, DomainDel, {domain});
    DomainRefresh(s, server, true);
    return Tail(s, serial);
}

QueuedScript AddUser(ServerSession& s, const ScriptServer& server, const QString& domain,
                     const QString& domainNodeKey, const QString& typedName, const QString& typedPassword,
                     bool asList)
{
    // Account names are lower case on the server; the password keeps its case.
    const QString name = TrimSpaces(typedName).toLower();
    const QString password = TrimSpaces(typedPassword);
    const QString refusal = UnsendableMessage({domain, name, password});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString kind = asList ? QStringLiteral("M") : QStringLiteral("U");
    const quint64 serial =
        Head(s, server, true,
             ScriptLabel::change((asList ? QStringLiteral("add mailing list ") : QStringLiteral("add account ")) +
                                 name + QLatin1Char('@') + domain));
    Step(s, UserAdd, {domain, name, password, kind});
    AccountsRefresh(s, domain, domainNodeKey);
    return Tail(s, serial);
}

QueuedScript DeleteUser(ServerSession& s, const ScriptServer& server, const QString& domain,
                        const QString& domainNodeKey, const QString& account)
{
    const QString refusal = UnsendableMessage({domain, account});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    const quint64 serial = Head(s, server, true, ScriptLabel::change(QStringLiteral("delete account ") + address));
    Step(s, UserDel, {domain, account});
    AccountsRefresh(s, domain, domainNodeKey);
    return Tail(s, serial);
}

QueuedScript SetPassword(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& typedPassword)
{
    // A password of blanks only is sent as the empty text, as the server expects it.
    const QString password = TrimSpaces(typedPassword);
    const QString refusal = UnsendableMessage({domain, account, password});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial =
        Head(s, server, true,
             ScriptLabel::change(QStringLiteral("set the password of ") + account + QLatin1Char('@') + domain));
    Step(s, UserPasswd, {domain, account, password});
    // Reading the account back shows what the server now holds.
    Step(s, GetUser, {domain, account});
    return Tail(s, serial);
}

QueuedScript AddListMember(ServerSession& s, const ScriptServer& server, const QString& domain,
                           const QString& list, const QString& typedAddress, bool readOnly)
{
    const QString address = TrimSpaces(typedAddress);
    // "R" reads only; "RW" reads and posts.
    const QString access = readOnly ? QStringLiteral("R") : QStringLiteral("RW");
    const QString refusal = UnsendableMessage({domain, list, address});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial =
        Head(s, server, true, ScriptLabel::change(QStringLiteral("add member %1 to %2@%3").arg(address, list, domain)));
    Step(s, MlUserAdd, {domain, list, address, access});
    MembersRefresh(s, domain, list);
    return Tail(s, serial);
}

QueuedScript RemoveListMember(ServerSession& s, const ScriptServer& server, const QString& domain,
                              const QString& list, const QString& address)
{
    const QString refusal = UnsendableMessage({domain, list, address});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(
        s, server, true, ScriptLabel::change(QStringLiteral("remove member %1 from %2@%3").arg(address, list, domain)));
    Step(s, MlUserDel, {domain, list, address});
    MembersRefresh(s, domain, list);
    return Tail(s, serial);
}

QueuedScript AddAlias(ServerSession& s, const ScriptServer& server, const QString& domain,
                      const QString& account, const QString& typedAlias)
{
    const QString alias = TrimSpaces(typedAlias).toLower();
    const QString refusal = UnsendableMessage({domain, account, alias});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    const quint64 serial =
        Head(s, server, true, ScriptLabel::change(QStringLiteral("add alias %1 to %2").arg(alias, address)));
    Step(s, AliasAdd, {domain, alias, address});
    AliasReadBack(s, domain, account);
    return Tail(s, serial);
}

QueuedScript RemoveAlias(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& listedAlias)
{
    const QString alias = listedAlias.toLower();
    const QString refusal = UnsendableMessage({domain, account, alias});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString target = account.isEmpty() ? domain : account + QLatin1Char('@') + domain;
    const quint64 serial =
        Head(s, server, true, ScriptLabel::change(QStringLiteral("remove alias %1 from %2").arg(alias, target)));
    Step(s, AliasDel, {domain, alias});
    if (!account.isEmpty())
        AliasReadBack(s, domain, account);
    return Tail(s, serial);
}

}  // namespace Scripts
