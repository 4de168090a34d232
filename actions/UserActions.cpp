// The user panel's commands: add and delete accounts (users and mailing lists), set an account's
// password, add and remove members of a mailing list. Each reads the tree selection and the panel,
// refuses values the server could not read, and queues one whole script.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <optional>

#include "actions/ScriptTarget.h"
#include "protocol/Protocol.h"
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

void frmMain::cmdAddUser_Click()
{
    const auto t = SelectedDomain(*this);
    if (!t)
        return;
    // The name is trimmed and lower case on the server, the password trimmed (in the shared script).
    const ScriptServer scriptServer = ScriptServerOf(*this, t->serverKey);
    Queued(*this, scriptServer, Scripts::AddUser(*Session, scriptServer, t->domain, t->domainKey,
                                   txtUserName->text(), txtPassword->text(), chkAsList->isChecked()));
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
    const ScriptServer scriptServer = ScriptServerOf(*this, t->serverKey);
    Queued(*this, scriptServer, Scripts::DeleteUser(*Session, scriptServer, t->domain, t->domainKey,
                                      t->account));
}

void frmMain::cmdSavePassword_Click()
{
    const auto t = SelectedAccount(*this);
    if (!t)
        return;
    // A password of blanks only is sent as the empty text, as the server expects it.
    const ScriptServer scriptServer = ScriptServerOf(*this, t->serverKey);
    Queued(*this, scriptServer, Scripts::SetPassword(*Session, scriptServer, t->domain, t->account,
                                       txtPassword->text()));
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
    const ScriptServer scriptServer = ScriptServerOf(*this, t->serverKey);
    Queued(*this, scriptServer, Scripts::AddListMember(*Session, scriptServer, t->domain, t->account,
                                         address, optReadOnly->isChecked()));
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
    const ScriptServer scriptServer = ScriptServerOf(*this, t->serverKey);
    Queued(*this, scriptServer, Scripts::RemoveListMember(*Session, scriptServer, t->domain, t->account,
                                            address));
}
