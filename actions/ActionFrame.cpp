// The frame every script shares: its head (required marker, connect, login), the builders that load
// a server's domains, a domain's accounts, a custom domain's file and an account's details, and the
// check that keeps values the protocol cannot carry off the wire.

#include <QPointer>

#include "engine/CommandQueue.h"
#include "engine/Protocol.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

using namespace Pseudo;

void frmMain::QueueScriptHead(const QString& serverKey, bool required, const ScriptLabel& label)
{
    // The record as it is now: a script keeps these values even if the record changes before it runs.
    ServerLogin server;
    server.host = GetServerAddress(*Settings, serverKey);
    server.port = ReadSetting(*Settings, serverKey, Store::PortKey);
    server.login = ReadSetting(*Settings, serverKey, Store::LoginKey);
    // The password comes from memory (the keyring's were read when the window started). One that
    // has not arrived yet holds the script, and the scripts queued after it, until it has; one that
    // cannot be had drops the script, with the reason, before it connects.
    server.password = Passwords->PasswordFor(serverKey);
    server.ssh = ReadSshRoute(*Settings, serverKey);
    ScriptLabel named = label;
    named.server = ReadSetting(*Settings, serverKey, Store::NameKey);
    const quint64 serial = Session->QueueScriptHead(server, required, named);
    if (!server.password) {
        QPointer<ServerSession> session(Session);
        Passwords->WhenPasswordKnown(serverKey, [session, serial](const std::optional<QString>& password,
                                                                  const QString& reason) {
            if (!session)
                return;
            if (password)
                session->ProvidePassword(serial, *password);
            else
                session->DropHeldScript(serial, reason);
        });
    }
}

void frmMain::QueueLoadDomains(const QString& serverKey, bool required)
{
    QueueScriptHead(serverKey, required, ScriptLabel::read(QStringLiteral("list domains and custom domains")));
    Session->QueueCommand(Pseudo::DomainList);
    Session->QueueCommand(CustDomList);
    Session->QueueCommand(AddDomainsToList);
    Session->QueueArgument(serverKey);
    Session->QueueCommand(AddCustDomainsToList);
    Session->QueueArgument(serverKey);
    Session->QueueCommand(ShowDomainProperties);
    Session->QueueCommand(Quit);
    Session->StartQueue();
}

void frmMain::QueueLoadUsers(const QString& domainNodeKey, bool required)
{
    const QModelIndex domain = NodeByKey(domainNodeKey);
    // A name the server sent with a quote inside is shown, but never sent back under another name.
    if (!domain.isValid() || !CheckSendable({NodeText(domain)}))
        return;
    QueueScriptHead(NodeKey(domain.parent()), required,
                    ScriptLabel::read(QStringLiteral("list accounts of ") + NodeText(domain)));
    Session->QueueCommand(UserList);
    Session->QueueArgument(NodeText(domain));
    Session->QueueCommand(AddUsersToList);
    Session->QueueArgument(domainNodeKey);
    Session->QueueCommand(ShowUserProperties);
    Session->QueueCommand(Quit);
    Session->StartQueue();
}

void frmMain::QueueLoadCustomDomain(const QString& customDomainNodeKey)
{
    const QModelIndex node = NodeByKey(customDomainNodeKey);
    if (!node.isValid() || !CheckSendable({NodeText(node)}))
        return;
    QueueScriptHead(NodeKey(node.parent()), false,
                    ScriptLabel::read(QStringLiteral("read custom domain ") + NodeText(node)));
    Session->QueueCommand(CustDomGet);
    Session->QueueArgument(NodeText(node));
    Session->QueueCommand(ShowCustDomain);
    Session->QueueCommand(Quit);
    Session->StartQueue();
}

void frmMain::QueueLoadAccount(const QString& accountNodeKey)
{
    const QModelIndex account = NodeByKey(accountNodeKey);
    if (!account.isValid())
        return;
    const QModelIndex domain = account.parent();
    const QString d = NodeText(domain);
    const QString a = NodeText(account);
    const QString e = a + QLatin1Char('@') + d;
    const QString tag = NodeTag(account);
    if (!CheckSendable({d, a}))
        return;

    QueueScriptHead(NodeKey(domain.parent()), false, ScriptLabel::read(QStringLiteral("read account ") + e));
    Session->QueueCommand(GetUser);
    Session->QueueArgument(d);
    Session->QueueArgument(a);
    auto queueRead = [this, &d, &a](const QString& step) {
        Session->QueueCommand(step);
        Session->QueueArgument(d);
        Session->QueueArgument(a);
    };
    auto queueAliases = [this, &d, &a] {
        Session->QueueCommand(AliasList);
        Session->QueueArgument(d);
        Session->QueueArgument(QStringLiteral("*"));
        Session->QueueArgument(a);
    };
    if (tag == QLatin1String("U")) {
        queueAliases();
        Session->QueueCommand(AliasListMore);
        Session->QueueArgument(QStringLiteral("*"));
        Session->QueueArgument(QStringLiteral("*"));
        Session->QueueArgument(e);
        queueRead(UserVars);
        queueRead(UserGetMproc);
        queueRead(Pop3List);
        Session->QueueCommand(Pseudo::ShowUserVars);
        Session->QueueCommand(ShowUserEdit);
    } else if (tag == QLatin1String("M")) {
        // A mailing list's aliases are read in its own domain only.
        queueRead(MlUserList);
        queueAliases();
        queueRead(UserVars);
        queueRead(UserGetMproc);
        queueRead(Pop3List);
        Session->QueueCommand(Pseudo::ShowUserVars);
        Session->QueueCommand(ShowListUser);
    }
    Session->QueueCommand(Quit);
    Session->StartQueue();
}

bool frmMain::CheckSendable(const QStringList& values)
{
    const auto bad = FirstUnsendable(values);
    if (!bad)
        return true;
    ShowMessage(QStringLiteral("\"%1\" cannot be sent to the server: it holds a double quote, a TAB, a line "
                               "break or a character outside Latin-1.\r\n\r\nNothing was changed.")
                    .arg(*bad),
                MsgIcon::Exclamation);
    return false;
}
