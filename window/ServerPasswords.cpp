#include "window/ServerPasswords.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QGroupBox>
#include <QSettings>
#include <algorithm>

#include "store/KeyringPasswords.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

namespace {
ServerPasswords::StoreFactory& Factory()
{
    static ServerPasswords::StoreFactory factory;
    return factory;
}

const QString FileLineText = QStringLiteral("Password kept in the settings file: no system keyring");
}  // namespace

void ServerPasswords::SetStoreFactory(StoreFactory factory)
{
    Factory() = std::move(factory);
}

ServerPasswords::ServerPasswords(frmMain& window) : QObject(&window), w_(window)
{
    if (Factory())
        store_ = Factory()();
    else
        store_ = std::make_unique<KeyringPasswords>();
    records_ = std::make_unique<RecordPasswords>(*w_.Settings, store_.get());

    // One line of its own along the frame's foot, under the buttons, in a face a step smaller than
    // the captions': the room under the login name belongs to "SSH...".
    fileLine_ = new QLabel(FileLineText, w_.fraServerProperties);
    QFont note = fileLine_->font();
    note.setPointSizeF(note.pointSizeF() * 7 / 8);
    fileLine_->setFont(note);
    fileLine_->setObjectName(QStringLiteral("lblPasswordPlace"));
    fileLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fileLine_->setGeometry(w_.Px(240), w_.Px(2310), std::max(w_.Px(4455), fileLine_->sizeHint().width()),
                           w_.Px(195));
    fileLine_->hide();
}

ServerPasswords::~ServerPasswords() = default;

QString ServerPasswords::serverName(const QString& section) const
{
    return ReadSetting(*w_.Settings, section, Store::NameKey);
}

void ServerPasswords::readAll()
{
    bool any = false;
    for (const QString& section : ServerRecordSections(*w_.Settings)) {
        if (!PasswordInKeyring(*w_.Settings, section))
            continue;
        any = true;
        cache_[section] = Entry();
        records_->read(section, [this, section](const PasswordResult& r) { arrived(section, r); });
    }
    // No record asks the keyring yet: ask only whether one is there (no entry is read, so it never
    // asks to be unlocked), so that the panel can say whether new passwords will go into it.
    if (!any && store_)
        store_->probe([this](const PasswordResult& r) { noteAnswer(r); });
}

void ServerPasswords::arrived(const QString& section, const PasswordResult& result)
{
    noteAnswer(result);
    auto it = cache_.find(section);
    if (it == cache_.end() || it->state != Entry::Reading)
        return;  // saved or removed meanwhile: that is newer
    if (result.ok()) {
        it->state = Entry::Known;
        it->password = result.password;
    } else {
        it->state = Entry::Failed;
        it->failure = result;
    }
    if (boxWaitsFor_ == section) {
        boxWaitsFor_.clear();
        if (result.ok() && !w_.txtServerPassword->isModified())
            w_.txtServerPassword->setText(result.password);
    }
    answerWaiters(section);
}

void ServerPasswords::WhenPasswordKnown(const QString& serverKey, PasswordWaiter waiter)
{
    const auto it = cache_.constFind(serverKey);
    if (PasswordInKeyring(*w_.Settings, serverKey) && it != cache_.constEnd() && it->state == Entry::Reading) {
        waiters_[serverKey].push_back(std::move(waiter));
        return;
    }
    const auto password = PasswordFor(serverKey);
    waiter(password, password ? QString() : UnavailableText(serverKey));
}

void ServerPasswords::answerWaiters(const QString& section)
{
    auto waiting = waiters_.take(section);
    for (auto& waiter : waiting) {
        const auto password = PasswordFor(section);
        waiter(password, password ? QString() : UnavailableText(section));
    }
}

void ServerPasswords::noteAnswer(const PasswordResult& result)
{
    fileLine_->setVisible(result.kind == PasswordResult::NoKeyring && store_);
}

std::optional<QString> ServerPasswords::PasswordFor(const QString& serverKey) const
{
    if (!PasswordInKeyring(*w_.Settings, serverKey))
        return ReadServerPassword(*w_.Settings, serverKey);
    const auto it = cache_.constFind(serverKey);
    if (it != cache_.constEnd() && it->state == Entry::Known)
        return it->password;
    return std::nullopt;
}

QString ServerPasswords::passwordProblem(const QString& serverKey) const
{
    const QString name = serverName(serverKey);
    const auto it = cache_.constFind(serverKey);
    if (it == cache_.constEnd() || it->state == Entry::Reading)
        return QStringLiteral("The password of the server %1 is still being read from the system keyring.").arg(name);
    return QStringLiteral("The password of the server %1 could not be read: %2.")
        .arg(name, KeyringProblemText(it->failure));
}

QString ServerPasswords::UnavailableText(const QString& serverKey) const
{
    const auto it = cache_.constFind(serverKey);
    if (it == cache_.constEnd() || it->state == Entry::Reading)
        return passwordProblem(serverKey) + QStringLiteral(" Try the action again in a moment.");
    QString advice;
    if (it->failure.kind == PasswordResult::NotFound)
        advice = QStringLiteral(" Enter the password in the server's properties and save them.");
    else if (it->failure.kind == PasswordResult::Locked)
        advice = QStringLiteral(" Unlock the keyring, then start the program again.");
    return passwordProblem(serverKey) + QStringLiteral(" The action was not started.") + advice;
}

void ServerPasswords::fillPasswordBox(const QString& serverKey)
{
    const auto password = PasswordFor(serverKey);
    w_.txtServerPassword->setText(password.value_or(QString()));
    const auto it = cache_.constFind(serverKey);
    boxWaitsFor_ = !password && it != cache_.constEnd() && it->state == Entry::Reading ? serverKey : QString();
}

bool ServerPasswords::passwordBoxUnread(const QString& serverKey) const
{
    return !PasswordFor(serverKey) && !w_.txtServerPassword->isModified();
}

void ServerPasswords::noteSaved(const QString& section, const QString& password, const RecordPasswords::Saved& saved)
{
    if (saved.written || !saved.keyring.ok())  // the keyring was asked
        noteAnswer(saved.keyring);
    if (!saved.written)
        return;
    Entry e;
    e.state = Entry::Known;
    e.password = password;
    cache_[section] = e;
    if (boxWaitsFor_ == section)
        boxWaitsFor_.clear();
    answerWaiters(section);  // scripts held for the old password log in with the new one
}

void ServerPasswords::noteRemoved(const QString& section)
{
    cache_.remove(section);
    // The record has gone: its held scripts go too.
    for (auto& waiter : waiters_.take(section))
        waiter(std::nullopt, QStringLiteral("The server was removed before the action could start."));
}

void ServerPasswords::setBusy(bool busy)
{
    busy_ = busy;
    for (QPushButton* b : {w_.cmdAddServer, w_.cmdUpdateServer, w_.cmdRemoveServer})
        b->setEnabled(!busy);
}

void ServerPasswords::movePasswords()
{
    if (busy_)
        return;
    // The passwords the file holds now are those the records will have in the keyring.
    for (const QString& section : ServerRecordSections(*w_.Settings)) {
        if (PasswordInKeyring(*w_.Settings, section))
            continue;
        Entry e;
        e.state = Entry::Known;
        e.password = ReadServerPassword(*w_.Settings, section);
        cache_[section] = e;
    }
    setBusy(true);
    records_->moveAll([this](const RecordPasswords::Moved& m) {
        setBusy(false);
        if (m.moved > 0 || !m.failure.ok())  // the keyring was asked
            noteAnswer(m.failure);
        const QString moved = m.moved == 1 ? QStringLiteral("1 password was moved to the system keyring.")
                                           : QStringLiteral("%1 passwords were moved to the system keyring.").arg(m.moved);
        if (!m.written) {
            w_.ShowMessage(moved + QStringLiteral(" The settings file \"%1\" could not be written, so %2 "
                                                  "password(s) stay in it.")
                                       .arg(w_.Settings->fileName())
                                       .arg(m.left),
                           MsgIcon::Exclamation);
        } else if (!m.failure.ok()) {
            w_.ShowMessage(moved + QStringLiteral(" %1 password(s) stay in the settings file: %2.")
                                       .arg(m.left)
                                       .arg(KeyringProblemText(m.failure)),
                           MsgIcon::Exclamation);
        } else if (m.moved == 0) {
            w_.ShowMessage(QStringLiteral("No password is kept in the settings file: there was nothing to move."),
                           MsgIcon::Information);
        } else {
            w_.ShowMessage(moved + QStringLiteral(" The settings file holds none of them any more."),
                           MsgIcon::Information);
        }
    });
}
