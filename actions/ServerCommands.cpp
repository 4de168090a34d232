// The server panel's commands: add a server in the next free slot, save changes to the server
// whose record the panel shows, remove it. None of them talks to a server. Each waits for the
// system keyring first (the password goes into it, or out of it), through the event loop; the
// panel's buttons wait meanwhile, and nothing is written when the keyring is locked or refuses.
#include <QLineEdit>
#include <QTreeView>

#include "store/RecordPasswords.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/ServerTree.h"
#include "window/ServerPasswords.h"
#include "window/frmMain.h"

namespace {
const QString SlotsUsedText = QStringLiteral(
    "No more servers can be added: all 32767 server slots have been used.");
const QString PasswordNotStorableText = QStringLiteral(
    "The password holds a character that cannot be stored. Only characters of the Western "
    "European (Latin-1) character set can be used in a server password.");
const QString RemoveQuestion = QStringLiteral(
    "Are you sure you want to remove this server from Tazel Administrator?");

const QString NoNameText = QStringLiteral("Enter a name for the server.");

// The port box takes a whole number from 1 to 65535 (spaces around it are allowed); a connection
// to anything else would silently go to the default port.
bool PortValid(const QString& text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 && !text.trimmed().startsWith(QLatin1Char('+'));
}

// Tells the user that a change of the stored servers did not reach the disk; false when it did not.
bool Saved(frmMain& w, bool ok, const QString& what)
{
    if (!ok)
        w.ShowMessage(QStringLiteral("%1 could not be saved: the settings file \"%2\" could not be written "
                                     "(it could not be read at start, is read-only, or the disk refused "
                                     "it). What is on disk was kept as it was.")
                          .arg(what, w.Settings->fileName()),
                      MsgIcon::Exclamation);
    return ok;
}

// The stored password form keeps one byte per character.
bool PasswordStorable(const QString& password)
{
    for (const QChar c : password)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// What the keyring said, for a command it kept from going ahead.
bool KeyringStoppedIt(const PasswordResult& r)
{
    return r.kind == PasswordResult::Locked || r.kind == PasswordResult::Refused ||
           r.kind == PasswordResult::OtherError || r.kind == PasswordResult::NoAnswer;
}

// Saves the panel's record (values exactly as typed), its password into the keyring when one
// answers, then runs onSaved. When it was not saved the user is told why.
void SavePanelRecord(frmMain& w, const QString& section, std::function<void()> onSaved)
{
    const ServerRecord record{w.txtServerName->text(), w.txtServerAddress->text(), w.txtServerPort->text(),
                              w.txtServerLoginName->text(), w.txtServerPassword->text()};
    w.Passwords->setBusy(true);
    w.Passwords->records().save(section, record, [&w, section, record, onSaved](const RecordPasswords::Saved& saved) {
        w.Passwords->setBusy(false);
        w.Passwords->noteSaved(section, record.password, saved);
        if (KeyringStoppedIt(saved.keyring)) {
            w.ShowMessage(QStringLiteral("The server %1 was not saved: its password could not be put into the "
                                         "system keyring, because %2.\r\n\r\nNothing was changed.")
                              .arg(record.name.trimmed(), KeyringProblemText(saved.keyring)),
                          MsgIcon::Exclamation);
            return;
        }
        if (Saved(w, saved.written, QStringLiteral("The server")))
            onSaved();
    });
}
}  // namespace

// The panel's values can be stored and used: a name, a port, a password of Latin-1 characters.
static bool ServerFieldsValid(frmMain& w)
{
    const QString name = w.txtServerName->text().trimmed();
    if (name.isEmpty()) {
        w.ShowMessage(NoNameText, MsgIcon::Exclamation);
        return false;
    }
    if (!PortValid(w.txtServerPort->text())) {
        w.ShowMessage(QStringLiteral("The port of the server %1 must be a whole number from 1 to 65535 (the "
                                     "Tazel control port is 6017). \"%2\" cannot be used.\r\n\r\nNothing "
                                     "was saved.")
                          .arg(name, w.txtServerPort->text()),
                      MsgIcon::Exclamation);
        return false;
    }
    if (!PasswordStorable(w.txtServerPassword->text())) {
        w.ShowMessage(PasswordNotStorableText, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

void frmMain::cmdAddServer_Click()
{
    if (Passwords->busy() || !ServerFieldsValid(*this))
        return;
    // Slots are never reused: a removed server leaves a gap. A count that was damaged or edited by
    // hand may lag behind the records; the new server then goes past them rather than over one.
    const QStringList sections = Settings->childGroups();
    int slot = ServerCount + 1;
    while (slot <= Store::MaxSlot && sections.contains(ServerSection(slot)))
        ++slot;
    if (slot > Store::MaxSlot) {
        ShowMessage(SlotsUsedText, MsgIcon::Exclamation);
        return;
    }
    // The record first, then the count: a keyring that refuses the password leaves the file as it
    // was, and a record past the count is never overwritten (see above).
    const QString section = ServerSection(slot);
    const QString name = txtServerName->text();
    SavePanelRecord(*this, section, [this, slot, section, name] {
        if (!Saved(*this, WriteSetting(*Settings, Store::ServersSection, Store::ServerCountKey, QString::number(slot)),
                   QStringLiteral("The server")))
            return;
        ServerCount = slot;
        const QModelIndex node = AddServerToTree(*this, section, name);
        if (node.isValid())
            DomainList->setCurrentIndex(node);
    });
}

// Save Changes and Remove Server act on the server whose record the panel was filled from. The
// tree's highlighted node may be another one: expanding a server shows its panel without moving
// the highlight, and removing a domain shows its server while the domain stays highlighted.
void frmMain::cmdUpdateServer_Click()
{
    if (Passwords->busy() || !SelectedServerIndex.isValid() || NodeLevel(SelectedServerIndex) != 1)
        return;
    if (!ServerFieldsValid(*this))
        return;
    const QString section = NodeKey(SelectedServerIndex);
    // An empty box that never held the record's password must not replace it.
    if (Passwords->passwordBoxUnread(section)) {
        ShowMessage(Passwords->passwordProblem(section) +
                        QStringLiteral("\r\n\r\nType the password again to save the server. Nothing was saved."),
                    MsgIcon::Exclamation);
        return;
    }
    SavePanelRecord(*this, section, [this, section] {
        BuildServerTree();
        const QModelIndex node = NodeByKey(section);
        if (node.isValid())
            DomainList->setCurrentIndex(node);
    });
}

void frmMain::cmdRemoveServer_Click()
{
    if (Passwords->busy() || !SelectedServerIndex.isValid() || NodeLevel(SelectedServerIndex) != 1)
        return;
    const QString section = NodeKey(SelectedServerIndex);
    const QString name = ReadSetting(*Settings, section, Store::NameKey);
    if (!AskYesNo(RemoveQuestion + QStringLiteral("\r\n\r\nServer: ") +
                      ReadSetting(*Settings, section, Store::NameKey) + QStringLiteral(" (") +
                      ReadSetting(*Settings, section, Store::AddressKey).trimmed() + QLatin1Char(')'),
                  MessageTitle, true))
        return;
    // The keyring entry first: a keyring that is locked or refuses leaves the record as it was.
    Passwords->setBusy(true);
    Passwords->records().remove(section, [this, section, name](const RecordPasswords::Removed& removed) {
        Passwords->setBusy(false);
        if (KeyringStoppedIt(removed.keyring)) {
            ShowMessage(QStringLiteral("The server %1 was not removed: its password could not be removed from "
                                       "the system keyring, because %2.\r\n\r\nNothing was changed.")
                            .arg(name.trimmed(), KeyringProblemText(removed.keyring)),
                        MsgIcon::Exclamation);
            return;
        }
        if (!Saved(*this, removed.written, QStringLiteral("The removal of the server")))
            return;
        Passwords->noteRemoved(section);
        HideAllPanels();
        BuildServerTree();
        if (removed.keyring.kind == PasswordResult::NoKeyring) {
            Passwords->noteAnswer(removed.keyring);
            ShowMessage(QStringLiteral("The server %1 was removed. Its password stays in the system keyring "
                                       "(service \"%2\", key \"%3\"), because %4.")
                            .arg(name.trimmed(), Store::KeyringService, section,
                                 KeyringProblemText(removed.keyring)),
                        MsgIcon::Information);
        }
    });
}
