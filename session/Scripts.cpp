// The actions' scripts, one routine each: the checks first, then the whole script, then the queue
// starts. Both front ends call these, so a request never differs between the window and tazelctl.

#include "session/Scripts.h"

#include "session/CommandQueue.h"
#include "protocol/Protocol.h"

using namespace Pseudo;

namespace {

quint64 Head(ServerSession& s, const ScriptServer& server, bool required, ScriptLabel label)
{
    label.server = server.name;
    label.serverKey = server.key;
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

// An account's variables, mail processing and POP3 links, then the panel's fields from them.
void ReadDetails(ServerSession& s, const QStringList& domainAccount)
{
    Step(s, UserVars, domainAccount);
    Step(s, UserGetMproc, domainAccount);
    Step(s, Pop3List, domainAccount);
    Step(s, Pseudo::ShowUserVars);
}

}  // namespace

namespace Scripts {

QString UnsendableMessage(const QStringList& values)
{
    const auto bad = FirstUnsendable(values);
    if (!bad)
        return QString();
    return QStringLiteral("\"%1\" cannot be sent to the server: it holds a double quote, a control "
                          "character (a TAB, a line break, DEL, ...) or a character outside Latin-1.\r\n\r\n"
                          "Nothing was changed.")
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
        ReadDetails(s, da);
        Step(s, ShowUserEdit);
    } else {
        // A mailing list's aliases are read in its own domain only.
        Step(s, MlUserList, da);
        Step(s, AliasList, {domain, QStringLiteral("*"), account});
        ReadDetails(s, da);
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

// ------------------------------------------------------------------------------------ custom domains

namespace Scripts {

QueuedScript AddCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name)
{
    const QString refusal = UnsendableMessage({name});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    s.CustomDomainEditor = {EditorSource::Fresh, name};
    const quint64 serial = Head(s, server, true, ScriptLabel::change(QStringLiteral("add custom domain ") + name));
    Step(s, CustDomList);
    Step(s, VerifyCustDomain, {name});
    Step(s, CustDomSet, {name});
    DomainRefresh(s, server, false);
    return Tail(s, serial);
}

QueuedScript RemoveCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name)
{
    const QString refusal = UnsendableMessage({name});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    s.CustomDomainEditor = {EditorSource::Fresh, name};
    const quint64 serial =
        Head(s, server, true, ScriptLabel::change(QStringLiteral("remove custom domain ") + name));
    Step(s, CustDomSet, {name});
    DomainRefresh(s, server, true);
    return Tail(s, serial);
}

QString CustomDomainSaveRefusal(const ServerSession& s, const QString& name, const FileEditors& planned)
{
    const QString unsendable = UnsendableMessage({name});
    if (!unsendable.isEmpty())
        return unsendable;
    const EditorSource& source = s.CustomDomainEditor;
    if (source.state == EditorSource::Unholdable && source.owner == name)
        return QStringLiteral("The custom domain file of %1 holds a line that cannot be shown here as it is, so it "
                              "cannot be saved from here: saving would change that line on the server. Nothing "
                              "was saved.")
            .arg(name);
    if (!source.allowsSaveOf(name))
        return QStringLiteral("The custom domain file of %1 cannot be saved: the editor does not hold the whole "
                              "file as the server has it (it was not read completely). Select the custom domain "
                              "again to read it, then make the change.")
            .arg(name);
    return CheckFileEditors(planned);
}

bool CustomDomainEditorEmpty(const FileEditors& editors)
{
    return editors.redirects.isEmpty() && editors.lredirects.isEmpty() && !HasAdvancedText(editors.advanced);
}

QueuedScript SaveCustomDomain(ServerSession& s, const ScriptServer& server, const QString& name,
                              const FileEditors& planned)
{
    const QString refusal = CustomDomainSaveRefusal(s, name, planned);
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const quint64 serial = Head(s, server, true, ScriptLabel::change(QStringLiteral("save custom domain ") + name));
    Step(s, CustDomSet, {name});
    Step(s, CustDomGet, {name});
    return Tail(s, serial);
}

// ------------------------------------------------------------------------------------ account settings

SaveCheck CheckMailProcSave(const ServerSession& s, const QString& domain, const QString& account,
                            const FileEditors& editors)
{
    const QString address = account + QLatin1Char('@') + domain;
    const EditorSource& source = s.MailProcEditor;
    const bool ours = source.owner == address;
    SaveCheck check;
    if (ours && source.state == EditorSource::Unholdable) {
        check.refusal = QStringLiteral("The mail processing file of %1 holds a line that cannot be shown here as it "
                                       "is, so it cannot be saved from here: saving would change that line on the "
                                       "server. Nothing was saved.")
                            .arg(address);
        return check;
    }
    // The server answered the download with "-": no file, or a refusal just then. The editors hold
    // nothing of a file it may have, so the first save asks before it replaces it.
    const bool notSent = ours && source.state == EditorSource::NotSent;
    if (!notSent && !source.allowsSaveOf(address)) {
        check.refusal = QStringLiteral("The mail processing settings of %1 were not read completely from the "
                                       "server; saving them would overwrite its mailproc.tab with part of it. "
                                       "Nothing was saved. Select the account again to read them, then save.")
                            .arg(address);
        return check;
    }
    check.refusal = CheckFileEditors(editors);
    if (check.refusal.isEmpty())
        check.refusal = UnsendableMessage({domain, account});
    if (check.refusal.isEmpty() && notSent)
        check.question = QStringLiteral("The server did not send a mail processing file for %1 (its answer: %2). "
                                        "Saving will create one from what you see here, replacing any file the "
                                        "server has. Save anyway?")
                             .arg(address, source.serverAnswer);
    return check;
}

void ConfirmMailProcOverwrite(ServerSession& s, const QString& domain, const QString& account)
{
    const QString address = account + QLatin1Char('@') + domain;
    s.NoteForActivityLog(
        QStringLiteral("The mail processing file of %1 is saved over whatever the server has, as confirmed.").arg(address));
    s.MailProcEditor = {EditorSource::Fresh, address};
}

QString UserVarsRefusal(const QString& address, const UserVarsForm& vars)
{
    // A whole number (of KB, as the window's unit label reads), or nothing.
    const QString size = vars.maxMBSize.trimmed();
    for (const QChar c : size)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QStringLiteral("The Max Mailbox Size of %1 must be a whole number of KB, or "
                                  "empty.\r\n\r\nNothing was saved.")
                .arg(address);
    return UnsendableMessage({vars.realName, vars.homePage, size});
}

QueuedScript SaveUserVars(ServerSession& s, const ScriptServer& server, const QString& domain,
                          const QString& account, const UserVarsForm& vars)
{
    const QString address = account + QLatin1Char('@') + domain;
    QString refusal = UserVarsRefusal(address, vars);
    if (refusal.isEmpty())
        refusal = UnsendableMessage({domain, account});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QStringList da{domain, account};
    const quint64 serial = Head(
        s, server, true, ScriptLabel::change(QStringLiteral("save variables and mail processing of ") + address));
    Step(s, UserVarsSet, da);
    for (const QString& v : {QStringLiteral("RealName"), vars.realName, QStringLiteral("HomePage"), vars.homePage,
                             QStringLiteral("MaxMBSize"), vars.maxMBSize.trimmed(), QStringLiteral("ClosedML"),
                             vars.closedML ? QStringLiteral("1") : QStringLiteral("0")})
        s.QueueArgument(v);
    s.QueueEndMarker();
    Step(s, UserSetMproc, da);
    Step(s, UserVars, da);
    Step(s, UserGetMproc, da);
    Step(s, Pseudo::ShowUserVars);
    Step(s, ShowUserEdit);
    return Tail(s, serial);
}

QueuedScript SaveMailProc(ServerSession& s, const ScriptServer& server, const QString& domain,
                          const QString& account)
{
    const QString refusal = UnsendableMessage({domain, account});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QStringList da{domain, account};
    const quint64 serial = Head(s, server, true,
                                ScriptLabel::change(QStringLiteral("save mail processing of ") + account +
                                                    QLatin1Char('@') + domain));
    Step(s, UserSetMproc, da);
    Step(s, UserGetMproc, da);
    Step(s, Pseudo::ShowUserVars);
    Step(s, ShowUserEdit);
    return Tail(s, serial);
}

// ------------------------------------------------------------------------------------ POP3 links

QueuedScript AddPop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                         const QString& account, const QString& typedServer, const QString& typedUser,
                         const QString& typedPassword, bool apop)
{
    const QString pop3Server = TrimSpaces(typedServer);
    const QString user = TrimSpaces(typedUser);
    const QString password = TrimSpaces(typedPassword);
    if (pop3Server.isEmpty() || user.isEmpty() || password.isEmpty())
        return QueuedScript::refused(QStringLiteral("A POP3 link needs a server, a user and a password."));
    const QString refusal = UnsendableMessage({domain, account, pop3Server, user, password});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    // The link's password is never part of the label.
    const quint64 serial = Head(
        s, server, true, ScriptLabel::change(QStringLiteral("add POP3 link %1@%2 to %3").arg(user, pop3Server, address)));
    Step(s, Pop3Add, {domain, account, pop3Server, user, password, apop ? QStringLiteral("APOP") : QStringLiteral("CLR")});
    // A new link is enabled at once; the server's refusal of that is passed over.
    Step(s, Pop3Enable, {QStringLiteral("1"), domain, account, pop3Server, user});
    Step(s, Pop3List, {domain, account});
    return Tail(s, serial);
}

QueuedScript RemovePop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                            const QString& account, const QString& pop3Server, const QString& user)
{
    const QString refusal = UnsendableMessage({domain, account, pop3Server, user});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    const quint64 serial =
        Head(s, server, true,
             ScriptLabel::change(QStringLiteral("remove POP3 link %1@%2 from %3").arg(user, pop3Server, address)));
    // The link is disabled before it is removed; a refusal to disable it does not stop the removal.
    Step(s, Pop3Enable, {QStringLiteral("0"), domain, account, pop3Server, user});
    Step(s, Pop3Del, {domain, account, pop3Server, user});
    Step(s, Pop3List, {domain, account});
    return Tail(s, serial);
}

QueuedScript SwitchPop3Link(ServerSession& s, const ScriptServer& server, const QString& domain,
                            const QString& account, const QString& pop3Server, const QString& user, bool enable)
{
    const QString refusal = UnsendableMessage({domain, account, pop3Server, user});
    if (!refusal.isEmpty())
        return QueuedScript::refused(refusal);
    const QString address = account + QLatin1Char('@') + domain;
    const quint64 serial =
        Head(s, server, true,
             ScriptLabel::change(QStringLiteral("%1 POP3 link %2@%3 of %4")
                                     .arg(enable ? QStringLiteral("enable") : QStringLiteral("disable"), user,
                                          pop3Server, address)));
    s.QueueCommand(Pop3Enable, SwitchPop3Mark);
    for (const QString& a : {enable ? QStringLiteral("1") : QStringLiteral("0"), domain, account, pop3Server, user})
        s.QueueArgument(a);
    Step(s, Pop3List, {domain, account});
    return Tail(s, serial);
}

}  // namespace Scripts
