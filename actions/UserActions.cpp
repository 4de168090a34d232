// The user panel's commands: add and delete accounts (users and mailing lists), set an account's
// password, add and remove members of a mailing list. Each reads the tree selection and the panel,
// refuses values the server could not read, and queues one whole script.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <optional>

#include "engine/Protocol.h"
#include "store/ServerStore.h"
#include "window/frmMain.h"

namespace {
// What a command acts on, read from the tree selection when the button is pressed.
struct Target {
    QString serverKey;  // K
    QString domain;     // D
    QString domainKey;  // DK
    QString account;    // A
};

// The selected server and domain; nothing when either is not selected or its node has gone.
std::optional<Target> SelectedDomain(const frmMain& w)
{
    if (!w.SelectedServerIndex.isValid() || !w.SelectedDomainIndex.isValid())
        return std::nullopt;
    Target t;
    t.serverKey = w.NodeKey(w.SelectedServerIndex);
    t.domain = w.NodeText(w.SelectedDomainIndex);
    t.domainKey = w.NodeKey(w.SelectedDomainIndex);
    return t;
}

// The selected server, domain and account.
std::optional<Target> SelectedAccount(const frmMain& w)
{
    auto t = SelectedDomain(w);
    if (!t || !w.SelectedUserIndex.isValid())
        return std::nullopt;
    t->account = w.NodeText(w.SelectedUserIndex);
    return t;
}
}  // namespace

// After an account is added or removed the domain's accounts are read again and replace its
// children in the tree; the panel is then ready for the next account.
static void QueueAccountsRefresh(frmMain& w, const Target& t)
{
    w.Session->QueueCommand(Pseudo::UserList);
    w.Session->QueueArgument(t.domain);
    w.Session->QueueCommand(Pseudo::AddUsersToList);
    w.Session->QueueArgument(t.domainKey);
    w.Session->QueueCommand(Pseudo::ShowUserProperties);
}

// After a member is added or removed the member list is read again.
static void QueueMembersRefresh(frmMain& w, const Target& t)
{
    w.Session->QueueCommand(Pseudo::MlUserList);
    w.Session->QueueArgument(t.domain);
    w.Session->QueueArgument(t.account);
    w.Session->QueueCommand(Pseudo::ShowListUser);
}

static void QueueStep(frmMain& w, const QString& pseudo, const QStringList& args)
{
    w.Session->QueueCommand(pseudo);
    for (const QString& a : args)
        w.Session->QueueArgument(a);
}

static void QueueTail(frmMain& w)
{
    w.Session->QueueCommand(Pseudo::Quit);
    w.Session->StartQueue();
}

void frmMain::cmdAddUser_Click()
{
    const auto t = SelectedDomain(*this);
    if (!t)
        return;
    // Account names are lower case on the server; the password keeps its case.
    const QString name = TrimSpaces(txtUserName->text()).toLower();
    const QString password = TrimSpaces(txtPassword->text());
    const QString kind = chkAsList->isChecked() ? QStringLiteral("M") : QStringLiteral("U");
    if (!CheckSendable({t->domain, name, password}))
        return;

    QueueScriptHead(t->serverKey, true,
                    ScriptLabel::change((kind == QLatin1String("M") ? QStringLiteral("add mailing list ")
                                                                    : QStringLiteral("add account ")) +
                                        name + QLatin1Char('@') + t->domain));
    QueueStep(*this, Pseudo::UserAdd, {t->domain, name, password, kind});
    QueueAccountsRefresh(*this, *t);
    QueueTail(*this);
}

void frmMain::cmdDeleteUser_Click()
{
    const auto t = SelectedAccount(*this);
    if (!t)
        return;
    if (!CheckSendable({t->domain, t->account}))
        return;
    // The same question serves users and mailing lists.
    const QString address = t->account + QLatin1Char('@') + t->domain;
    if (!AskYesNo(QStringLiteral("Are you sure you want to delete this user?\r\n\r\nAccount: ") + address +
                      QStringLiteral("\r\nServer: ") + ReadSetting(*Settings, t->serverKey, Store::NameKey),
                  MessageTitle, true))
        return;
    // The panels stay hidden until the refreshed list shows the panel for a new account.
    HideAllPanels();

    QueueScriptHead(t->serverKey, true, ScriptLabel::change(QStringLiteral("delete account ") + address));
    QueueStep(*this, Pseudo::UserDel, {t->domain, t->account});
    QueueAccountsRefresh(*this, *t);
    QueueTail(*this);
}

void frmMain::cmdSavePassword_Click()
{
    const auto t = SelectedAccount(*this);
    if (!t)
        return;
    // A password of blanks only is sent as the empty text, as the server expects it.
    const QString password = TrimSpaces(txtPassword->text());
    if (!CheckSendable({t->domain, t->account, password}))
        return;

    QueueScriptHead(t->serverKey, true,
                    ScriptLabel::change(QStringLiteral("set the password of ") + t->account + QLatin1Char('@') +
                                        t->domain));
    QueueStep(*this, Pseudo::UserPasswd, {t->domain, t->account, password});
    // Reading the account back shows what the server now holds.
    QueueStep(*this, Pseudo::GetUser, {t->domain, t->account});
    QueueTail(*this);
}

void frmMain::cmdAddListUser_Click()
{
    const QString address = TrimSpaces(txtListUser->text());
    if (address.isEmpty())
        return;
    const auto t = SelectedAccount(*this);
    if (!t)
        return;
    // "R" reads only; "RW" reads and posts, also when neither option is chosen.
    const QString access = optReadOnly->isChecked() ? QStringLiteral("R") : QStringLiteral("RW");
    if (!CheckSendable({t->domain, t->account, address}))
        return;

    QueueScriptHead(t->serverKey, true,
                    ScriptLabel::change(QStringLiteral("add member %1 to %2@%3").arg(address, t->account, t->domain)));
    QueueStep(*this, Pseudo::MlUserAdd, {t->domain, t->account, address, access});
    QueueMembersRefresh(*this, *t);
    QueueTail(*this);
}

void frmMain::cmdDeleteListUser_Click()
{
    const QList<QListWidgetItem*> selected = lstListUsers->selectedItems();
    if (selected.isEmpty())
        return;
    const auto t = SelectedAccount(*this);
    if (!t)
        return;
    // A member entry reads "R - address" or "W - address".
    const QString address = selected.first()->text().mid(4);
    if (!CheckSendable({t->domain, t->account, address}))
        return;

    QueueScriptHead(t->serverKey, true,
                    ScriptLabel::change(
                        QStringLiteral("remove member %1 from %2@%3").arg(address, t->account, t->domain)));
    QueueStep(*this, Pseudo::MlUserDel, {t->domain, t->account, address});
    QueueMembersRefresh(*this, *t);
    QueueTail(*this);
}
