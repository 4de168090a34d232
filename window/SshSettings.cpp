#include "window/SshSettings.h"

#include <QEvent>
#include <QPushButton>

#include "session/ServerSession.h"
#include "session/SshTransport.h"
#include "store/ServerStore.h"
#include "window/MessageSeam.h"
#include "window/ServerTreeModel.h"
#include "window/SshDialog.h"
#include "window/frmMain.h"

SshSettings::SshSettings(frmMain* window, QPushButton* button)
    : QObject(window), cmdSshSettings(button), w_(window)
{
    cmdSshSettings->setAccessibleName(QStringLiteral("SSH settings"));
    cmdSshSettings->setToolTip(QStringLiteral("Reach this server's control port through an SSH host"));
    connect(cmdSshSettings, &QPushButton::clicked, this, &SshSettings::cmdSshSettings_Click);
    // The settings belong to a record: the button shows when "Remove Server" does.
    cmdSshSettings->setVisible(!w_->cmdRemoveServer->isHidden());
    removeButton_ = w_->cmdRemoveServer;
    sshButton_ = cmdSshSettings;
    w_->cmdRemoveServer->installEventFilter(this);
    // The window's connections: through SSH for a record with an SSH host, ssh's questions in a dialog.
    w_->Session->SetTransportMaker(&SshSettings::MakeTransport);
    // The tree's lock on a server reached through SSH.
    w_->DomainModel->serverLocked = [this](const QString& section) { return routeOf(section).isSet(); };
}

bool SshSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == removeButton_ && sshButton_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        sshButton_->setVisible(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}

SshRoute SshSettings::routeOf(const QString& section) const
{
    if (!w_->Settings || section.isEmpty())
        return {};
    return ReadSshRoute(*w_->Settings, section);
}

void SshSettings::cmdSshSettings_Click()
{
    if (dialog_ || !w_->SelectedServerIndex.isValid() || w_->NodeLevel(w_->SelectedServerIndex) != 1)
        return;
    const QString section = w_->NodeKey(w_->SelectedServerIndex);
    auto* dialog = new SshDialog(*w_->Settings, section,
                                 [this](const QString& text) { w_->ShowMessage(text, MsgIcon::Exclamation); }, w_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SshDialog::saved, this, [this](const QString& key, const SshRoute&) {
        w_->DomainModel->refreshImage(key);
    });
    dialog_ = dialog;
    dialog->open();
}

Transport* SshSettings::MakeTransport(const SshRoute& route, QObject* parent)
{
    return MakeRouteTransport(route, route.isSet() ? SshTransport::askpassHelperPath() : QString(), parent);
}
