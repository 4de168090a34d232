// The server panel's commands: add a server in the next free slot, save changes to the server
// whose record the panel shows, remove it. None of them talks to a server.
#include <QLineEdit>
#include <QTreeView>

#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

namespace {
const QString SlotsUsedText = QStringLiteral(
    "No more servers can be added: all 32767 server slots have been used.");
const QString PasswordNotStorableText = QStringLiteral(
    "The password holds a character that cannot be stored. Only characters of the Western "
    "European (Latin-1) character set can be used in a server password.");
const QString RemoveQuestion = QStringLiteral(
    "Are you sure you want to remove this server from Tazel Administrator?");

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
}  // namespace

bool frmMain::SaveServerRecord(const QString& section)
{
    // Values are stored exactly as typed.
    return Saved(*this,
                 WriteServerRecord(*Settings, section,
                                   {txtServerName->text(), txtServerAddress->text(), txtServerPort->text(),
                                    txtServerLoginName->text(), txtServerPassword->text()}),
                 QStringLiteral("The server"));
}

void frmMain::cmdAddServer_Click()
{
    if (txtServerName->text().trimmed().isEmpty())
        return;
    if (!PasswordStorable(txtServerPassword->text())) {
        ShowMessage(PasswordNotStorableText, MsgIcon::Exclamation);
        return;
    }
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
    if (!Saved(*this, WriteSetting(*Settings, Store::ServersSection, Store::ServerCountKey, QString::number(slot)),
               QStringLiteral("The server")))
        return;
    ServerCount = slot;
    const QString section = ServerSection(ServerCount);
    if (!SaveServerRecord(section))
        return;
    const QModelIndex node = AddServerToTree(*this, section, txtServerName->text());
    if (node.isValid())
        DomainList->setCurrentIndex(node);
}

// Save Changes and Remove Server act on the server whose record the panel was filled from. The
// tree's highlighted node may be another one: expanding a server shows its panel without moving
// the highlight, and removing a domain shows its server while the domain stays highlighted.
void frmMain::cmdUpdateServer_Click()
{
    if (!SelectedServerIndex.isValid() || NodeLevel(SelectedServerIndex) != 1)
        return;
    if (!PasswordStorable(txtServerPassword->text())) {
        ShowMessage(PasswordNotStorableText, MsgIcon::Exclamation);
        return;
    }
    const QString section = NodeKey(SelectedServerIndex);
    if (!SaveServerRecord(section))
        return;
    BuildServerTree();
    const QModelIndex node = NodeByKey(section);
    if (node.isValid())
        DomainList->setCurrentIndex(node);
}

void frmMain::cmdRemoveServer_Click()
{
    if (!SelectedServerIndex.isValid() || NodeLevel(SelectedServerIndex) != 1)
        return;
    const QString section = NodeKey(SelectedServerIndex);
    if (!AskYesNo(RemoveQuestion))
        return;
    if (!Saved(*this, DeleteServerRecord(*Settings, section), QStringLiteral("The removal of the server")))
        return;
    HideAllPanels();
    BuildServerTree();
}
