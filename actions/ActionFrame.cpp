// The frame every script shares: the server of a record, its head (required marker, connect, login),
// the loads of a server's domains, a domain's accounts, a custom domain's file and an account's
// details (their scripts are the shared ones of session/Scripts.h), and the check that keeps values
// the protocol cannot carry off the wire.

#include "actions/ScriptTarget.h"

#include <QPointer>

#include "session/CommandQueue.h"
#include "protocol/Protocol.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

using namespace Pseudo;

ScriptServer ScriptServerOf(frmMain& w, const QString& serverKey)
{
    ScriptServer server;
    server.login.host = GetServerAddress(*w.Settings, serverKey);
    server.login.port = ReadSetting(*w.Settings, serverKey, Store::PortKey);
    server.login.login = ReadSetting(*w.Settings, serverKey, Store::LoginKey);
    // The password comes from memory (the keyring's were read when the window started); none
    // while it has not arrived yet or cannot be had (HoldForPassword then settles the script).
    server.login.password = w.Passwords->PasswordFor(serverKey);
    server.login.ssh = ReadSshRoute(*w.Settings, serverKey);
    server.name = ReadSetting(*w.Settings, serverKey, Store::NameKey);
    server.key = serverKey;
    return server;
}

void HoldForPassword(frmMain& w, const ScriptServer& server, quint64 serial)
{
    // A password that has not arrived yet holds the script, and the scripts queued after it, until
    // it has; one that cannot be had drops the script, with the reason, before it connects.
    if (server.login.password)
        return;
    QPointer<ServerSession> session(w.Session);
    w.Passwords->WhenPasswordKnown(server.key, [session, serial](const std::optional<QString>& password,
                                                                 const QString& reason) {
        if (!session)
            return;
        if (password)
            session->ProvidePassword(serial, *password);
        else
            session->DropHeldScript(serial, reason);
    });
}

bool Queued(frmMain& w, const ScriptServer& server, const QueuedScript& script)
{
    if (!script) {
        w.ShowMessage(script.refusal, MsgIcon::Exclamation);
        return false;
    }
    HoldForPassword(w, server, script.serial);
    return true;
}

void frmMain::QueueScriptHead(const QString& serverKey, bool required, const ScriptLabel& label)
{
    // The record as it is now: a script keeps these values even if the record changes before it runs.
    const ScriptServer server = ScriptServerOf(*this, serverKey);
    ScriptLabel named = label;
    named.server = server.name;
    named.serverKey = server.key;
    HoldForPassword(*this, server, Session->QueueScriptHead(server.login, required, named));
}

void frmMain::QueueLoadDomains(const QString& serverKey, bool required)
{
    const ScriptServer scriptServer = ScriptServerOf(*this, serverKey);
    Queued(*this, scriptServer, Scripts::LoadDomains(*Session, scriptServer, required));
}

void frmMain::QueueLoadUsers(const QString& domainNodeKey, bool required)
{
    const QModelIndex domain = NodeByKey(domainNodeKey);
    if (!domain.isValid())
        return;
    // A name the server sent with a quote inside is shown, but never sent back under another name.
    const ScriptServer scriptServer = ScriptServerOf(*this, NodeKey(domain.parent()));
    Queued(*this, scriptServer, Scripts::LoadUsers(*Session, scriptServer, NodeText(domain),
                                     domainNodeKey, required));
}

void frmMain::QueueLoadCustomDomain(const QString& customDomainNodeKey)
{
    const QModelIndex node = NodeByKey(customDomainNodeKey);
    if (!node.isValid())
        return;
    const ScriptServer scriptServer = ScriptServerOf(*this, NodeKey(node.parent()));
    Queued(*this, scriptServer, Scripts::LoadCustomDomain(*Session, scriptServer, NodeText(node)));
}

void frmMain::QueueLoadAccount(const QString& accountNodeKey)
{
    const QModelIndex account = NodeByKey(accountNodeKey);
    if (!account.isValid())
        return;
    const QModelIndex domain = account.parent();
    const QString tag = NodeTag(account);
    const ScriptServer server = ScriptServerOf(*this, NodeKey(domain.parent()));
    if (tag == QLatin1String("U") || tag == QLatin1String("M")) {
        Queued(*this, server, Scripts::LoadAccount(*Session, server, NodeText(domain), NodeText(account),
                                           tag == QLatin1String("M")));
        return;
    }
    // A node of another kind: only the account's own line is read.
    const QString d = NodeText(domain);
    const QString a = NodeText(account);
    if (!CheckSendable({d, a}))
        return;
    QueueScriptHead(server.key, false, ScriptLabel::read(QStringLiteral("read account ") + a + QLatin1Char('@') + d));
    Session->QueueCommand(GetUser);
    Session->QueueArgument(d);
    Session->QueueArgument(a);
    Session->QueueCommand(Quit);
    Session->StartQueue();
}

bool frmMain::CheckSendable(const QStringList& values)
{
    const QString refusal = Scripts::UnsendableMessage(values);
    if (refusal.isEmpty())
        return true;
    ShowMessage(refusal, MsgIcon::Exclamation);
    return false;
}
