// The frame every script shares: its head (required marker, connect, login), the builders that load
// a server's domains, a domain's accounts, a custom domain's file and an account's details, and the
// check that keeps values the protocol cannot carry off the wire.

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
    const QString host = GetServerAddress(*Settings, serverKey);
    const QString port = ReadSetting(*Settings, serverKey, Store::PortKey);
    const QString login = ReadSetting(*Settings, serverKey, Store::LoginKey);
    // PASSWORD SEAM: the password comes from memory (the keyring's were read when the window
    // started). One that has not arrived, or could not be read, stops the script before it connects.
    const std::optional<QString> password = Passwords->PasswordFor(serverKey);
    ScriptLabel named = label;
    named.server = ReadSetting(*Settings, serverKey, Store::NameKey);
    named.host = host;
    named.port = port;
    lstCommand.labelNextScript(named);
    if (required)
        QueueCommand(Required);
    if (!password) {
        QueueCommand(PasswordUnavailable);
        QueueArgument(Passwords->UnavailableText(serverKey));
        return;
    }
    QueueConnect(host, port);
    QueueCommand(Login);
    QueueArgument(login);
    QueueArgument(*password);
}

void frmMain::QueueLoadDomains(const QString& serverKey, bool required)
{
    QueueScriptHead(serverKey, required, ScriptLabel::read(QStringLiteral("list domains and custom domains")));
    QueueCommand(Pseudo::DomainList);
    QueueCommand(CustDomList);
    QueueCommand(AddDomainsToList);
    QueueArgument(serverKey);
    QueueCommand(AddCustDomainsToList);
    QueueArgument(serverKey);
    QueueCommand(ShowDomainProperties);
    QueueCommand(Quit);
    StartQueue();
}

void frmMain::QueueLoadUsers(const QString& domainNodeKey, bool required)
{
    const QModelIndex domain = NodeByKey(domainNodeKey);
    // A name the server sent with a quote inside is shown, but never sent back under another name.
    if (!domain.isValid() || !CheckSendable({NodeText(domain)}))
        return;
    QueueScriptHead(NodeKey(domain.parent()), required,
                    ScriptLabel::read(QStringLiteral("list accounts of ") + NodeText(domain)));
    QueueCommand(UserList);
    QueueArgument(NodeText(domain));
    QueueCommand(AddUsersToList);
    QueueArgument(domainNodeKey);
    QueueCommand(ShowUserProperties);
    QueueCommand(Quit);
    StartQueue();
}

void frmMain::QueueLoadCustomDomain(const QString& customDomainNodeKey)
{
    const QModelIndex node = NodeByKey(customDomainNodeKey);
    if (!node.isValid() || !CheckSendable({NodeText(node)}))
        return;
    QueueScriptHead(NodeKey(node.parent()), false,
                    ScriptLabel::read(QStringLiteral("read custom domain ") + NodeText(node)));
    QueueCommand(CustDomGet);
    QueueArgument(NodeText(node));
    QueueCommand(ShowCustDomain);
    QueueCommand(Quit);
    StartQueue();
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
    QueueCommand(GetUser);
    QueueArgument(d);
    QueueArgument(a);
    auto queueRead = [this, &d, &a](const QString& step) {
        QueueCommand(step);
        QueueArgument(d);
        QueueArgument(a);
    };
    auto queueAliases = [this, &d, &a] {
        QueueCommand(AliasList);
        QueueArgument(d);
        QueueArgument(QStringLiteral("*"));
        QueueArgument(a);
    };
    if (tag == QLatin1String("U")) {
        queueAliases();
        QueueCommand(AliasListMore);
        QueueArgument(QStringLiteral("*"));
        QueueArgument(QStringLiteral("*"));
        QueueArgument(e);
        queueRead(UserVars);
        queueRead(UserGetMproc);
        queueRead(Pop3List);
        QueueCommand(Pseudo::ShowUserVars);
        QueueCommand(ShowUserEdit);
    } else if (tag == QLatin1String("M")) {
        // A mailing list's aliases are read in its own domain only.
        queueRead(MlUserList);
        queueAliases();
        queueRead(UserVars);
        queueRead(UserGetMproc);
        queueRead(Pop3List);
        QueueCommand(Pseudo::ShowUserVars);
        QueueCommand(ShowListUser);
    }
    QueueCommand(Quit);
    StartQueue();
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
